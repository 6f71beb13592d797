// Writing a design file: the model merged into the document it was read
// from (unknown keys and their order kept), saved atomically.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

#include "host/design.h"
#include "host/host.h"

namespace orlune::host {

// The design's file text: each object read from the file keeps its keys in
// their order, the known ones updated in place, new keys after them; entries
// the conversation created are appended, deleted ones dropped. A design
// without a document gets a fresh file. Canonical layout (host/json.h).
std::string designText(const Design& design);

// Replaces the file at `path` by `bytes` atomically: a temporary file in the
// same folder, written, flushed to disk and renamed over the original with
// the original's permissions; then the folder is flushed. A symbolic link at
// `path` is replaced itself, never written through. A file that the caller
// may not write in place is not replaced. On any failure the original is
// untouched, the temporary file removed and `reason` says what failed
// ("NAME: ..."; `name` is how the reason names the file). Temporary files
// that an earlier write of the same file left when its process died are
// removed first. `failStage`, when set, is asked at each stage; true makes
// the stage fail as if the system had failed. With `prepared` set, the
// save stops before the rename and leaves the temporary file's name there,
// for commitPrepared(): several files then change together or not at all.
bool saveAtomically(const std::string& path, std::string_view name, std::string_view bytes,
                    const std::function<bool(SaveStage)>& failStage, std::string& reason,
                    std::string* prepared = nullptr);
// Renames a prepared temporary file over `path`; on failure it is removed.
bool commitPrepared(const std::string& temp, const std::string& path, std::string_view name,
                    const std::function<bool(SaveStage)>& failStage, std::string& reason);

// The system calls of an atomic save, in one place so that a test sees them
// in their real order or makes one fail as the system would. The defaults
// are the system's own.
struct SaveCalls {
    int (*access)(const char* path, int mode);  // for the effective user
    int (*open)(const char* path, int flags, mode_t mode);
    ssize_t (*write)(int fd, const void* data, size_t size);
    int (*fsync)(int fd);
    int (*close)(int fd);
    int (*rename)(const char* from, const char* to);
};
SaveCalls& saveCalls();

// The names of a file's companions in its folder, each within the folder's
// limit on a name's length for every name the folder accepts: the file's
// name in full where it fits, else its beginning and a hash of the whole.
// The lock file: "BASE.lock".
std::string lockFileName(const std::string& folder, std::string_view base);
// What every temporary file of a save of `base` begins with:
// ".BASE.orlune-", followed by the saving process's id, "-" and 6 letters.
std::string temporaryPrefix(const std::string& folder, std::string_view base);

// `path` split at its last "/": the folder ("." when none) and the name.
void splitPath(const std::string& path, std::string& folder, std::string& base);

}  // namespace orlune::host

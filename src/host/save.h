// Writing a design file: the model merged into the document it was read
// from (unknown keys and their order kept), saved atomically.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
    // Swaps the two names' files (renameat2 with RENAME_EXCHANGE); with
    // `to` absent, renames without replacing (RENAME_NOREPLACE).
    int (*exchange)(const char* from, const char* to, bool toExists);
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

// The journal of a save of several files, beside the lock of `base`:
// ".BASE.orlune-journal".
std::string journalFileName(const std::string& folder, std::string_view base);
// The journal's path for the design whose lock guards `lockedFile`.
std::string journalPathFor(const std::string& lockedFile);

// One file of a save: its path as the design names it (a symbolic link is
// written through to its target, and stays), how reasons name it, its new
// bytes, and the bytes it held when read (none: it did not exist).
struct FileChange {
    std::string path;
    std::string name;
    std::string bytes;
    std::optional<std::string> read;
};

// Saves every file or none. Each new text goes to a temporary file beside
// its target with the target's permissions, owner and extended attributes
// (its ACL among them), flushed to disk; the journal at `journal` lists
// them; then each temporary file is exchanged with its target, so that the
// old bytes stay at the temporary name until every file is done (where the
// file system has no exchange, a hard link keeps them while the new file is
// renamed over the target). What an
// exchange brings out must be what was read: another program's save in
// between is swapped back and the save refused, naming the file. Any
// failure swaps back what was swapped; the journal lets recoverSave()
// finish or undo a save that was killed. `failStage` as for
// saveAtomically(), asked at Rename before each exchange and at Renamed
// after it (true: fails as if the system had failed there).
bool saveFiles(const std::string& journal, const std::vector<FileChange>& changes,
               const std::function<bool(SaveStage)>& failStage, std::string& reason);

// Finishes (when the journal shows every file was exchanged) or undoes a
// save that ended without removing its journal, then removes its
// temporary files and the journal. True when there was nothing to do or
// it was done; false with `reason` when it could not be, the journal kept.
// The caller holds the design's lock.
bool recoverSave(const std::string& journal, std::string& reason);

// Removes the temporary files beginning with `prefix` in `folder` whose
// saving process is gone.
void removeStaleTemporaries(const std::string& folder, const std::string& prefix);

// `path` split at its last "/": the folder ("." when none) and the name.
void splitPath(const std::string& path, std::string& folder, std::string& base);

}  // namespace orlune::host

// Writing a design file: the model merged into the document it was read
// from (unknown keys and their order kept), saved atomically.
#pragma once

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
// the original's permissions. On any failure the original is untouched, the
// temporary file removed and `reason` says what failed ("NAME: ..."; `name`
// is how the reason names the file). `failStage`, when set, is asked at each
// stage; true makes the stage fail as if the system had failed.
bool saveAtomically(const std::string& path, std::string_view name, std::string_view bytes,
                    const std::function<bool(SaveStage)>& failStage, std::string& reason);

}  // namespace orlune::host

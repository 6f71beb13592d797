// Name-based uuids for the items ORLUNE writes into KiCad files. KiCad keeps
// an item's uuid across loading and saving, so a uuid derived from what the
// item annotates lets a later run find exactly its own items again.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace orlune::kicad {

// The 20-byte SHA-1 digest of `data`.
std::array<uint8_t, 20> sha1(std::string_view data);

// A name-based uuid in the layout of RFC 4122 version 5 (SHA-1 of a fixed
// namespace and `name`), lower-case 8-4-4-4-12 as KiCad writes uuids.
std::string nameUuid(std::string_view name);

// The uuid of row `row` of the ORLUNE text of a label on one sheet
// instance. `instancePath` is the instance's uuid path with the root uuid
// ("/ROOT/S1"); a text that serves every instance of a reused file uses the
// empty path.
std::string ownedTextUuid(std::string_view labelUuid, std::string_view instancePath, int row);

// The name of the text variable that holds a label's per-instance list on a
// reused sheet, "ORL_" and ten hex digits: short, stable, and distinct for
// every label and row of a file.
std::string perInstanceVariable(std::string_view labelUuid, int row);

}  // namespace orlune::kicad

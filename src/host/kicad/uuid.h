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
// empty path. `occurrence` counts the labels before this one in its file
// that carry the same uuid (a copied block): each gets a uuid of its own.
// Its last six bytes check the first ten, so that ORLUNE knows its own
// texts by their uuid alone, even when their label is gone.
std::string ownedTextUuid(std::string_view labelUuid, std::string_view instancePath, int row, int occurrence = 0);

// Whether `uuid` carries the check of ownedTextUuid(): one of ORLUNE's own
// texts (a random uuid passes it once in 2^48).
bool isOwnedTextUuid(std::string_view uuid);

// The uuid earlier versions gave the same text (a plain name-based uuid of
// label, path and row), still recognised so that they are replaced.
std::string legacyOwnedTextUuid(std::string_view labelUuid, std::string_view instancePath, int row);

// The name of the text variable that holds a label's per-instance list on a
// reused sheet, "ORL_" and ten hex digits: short, stable, and distinct for
// every label and row of a file. `below` names the sheet symbols between
// the sheet symbol that holds the list and the page (empty where the page's
// own sheet symbol holds it).
std::string perInstanceVariable(std::string_view labelUuid, int row, int occurrence = 0, std::string_view below = {});

}  // namespace orlune::kicad

// The nodes ORLUNE writes into a KiCad schematic, each in the exact form
// KiCad itself writes for the file's version: the two-space form with
// unquoted uuids before 20231120, the tab form with quoted uuids from then
// on. Numbers and strings are written as KiCad writes them, and no token is
// written that the file's version does not know. Lines are separated by
// '\n' and carry their indentation; the splice turns them into the file's
// own line ends.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/kicad/schematic.h"

namespace orlune::kicad {

// First version written in the tab form (KiCad 8).
inline constexpr int64_t kTabFormVersion = 20231120;
// First version of KiCad 7.0: a text's angle is kept upright from here on.
inline constexpr int64_t kUprightTextVersion = 20230121;
// First version whose labels carry fields of any name.
inline constexpr int64_t kLabelFieldsVersion = 20220103;
// First version that writes no `(id N)` on fields.
inline constexpr int64_t kNoFieldIdVersion = 20220929;

// A coordinate or size in internal units as KiCad prints it: mm with up to
// ten significant digits, no trailing zeros ("104.14", "-3.81", "0").
std::string formatIu(int64_t iu);
// A database unit value (10 nm) rounded to internal units as KiCad rounds.
int64_t dbToIu(int64_t db);

// A string quoted with KiCad's escapes; rows separated by CR LF (or LF)
// become the two characters \n.
std::string quoted(std::string_view text);

// Where a text runs from its point: to the right (justification 4), to the
// left (justification 6), or upward and downward along a vertical label.
enum class TextRun : uint8_t { Right, Left, Up, Down };

// The run of a text for ORLUNE's justification (4: text right of its
// point, 6: left of it) beside a label of spin `labelSpin` (0, 90, 180,
// 270): vertical labels get texts rotated like them, running the way the
// label body points.
TextRun runFor(int justification, int labelSpin);

struct TextParams {
    std::string text;      // rows separated by CR LF
    int64_t x = 0, y = 0;  // database units (10 nm)
    TextRun run = TextRun::Right;
    int32_t height = 12700;  // internal units
    int32_t width = 12700;
    std::string uuid;
};

// A top-level `(text …)` node.
std::string textNode(const TextParams& params, int64_t version);

struct FieldParams {
    std::string name;
    std::string value;
    sch::Point at;  // internal units
    int32_t height = 12700;
    int32_t width = 12700;
    int id = -1;  // written before 20220929 only (KiCad 6 places fields by id)
};

// A hidden `(property …)` node at nesting level `nest` (a child of a
// top-level item is at 2).
std::string hiddenFieldNode(const FieldParams& params, int64_t version, int nest);

}  // namespace orlune::kicad

// What KiCad draws on a printed page, as boxes: symbol bodies from the
// file's embedded symbols with their pins, pin numbers and names, visible
// fields, wires, buses, bus entries, junctions, no-connect marks, labels,
// texts, text boxes, graphics, images, sheet symbols with their pins, and
// the drawing frame with its title block. Text extents follow KiCad's
// stroke font. The layout state of a text says whether a reader sees it on
// paper alone.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/kicad/project.h"

namespace orlune::kicad::layout {

// Internal units, Y down; x1 <= x2, y1 <= y2.
struct Box {
    int64_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    // The interiors meet: boxes that only touch leave the paper between them.
    bool overlaps(const Box& o) const { return x1 < o.x2 && o.x1 < x2 && y1 < o.y2 && o.y1 < y2; }
    bool inside(const Box& o) const { return x1 >= o.x1 && x2 <= o.x2 && y1 >= o.y1 && y2 <= o.y2; }
};

struct Drawn {
    Box box;
    std::string what;  // as a reader names it: "C44", "a wire", "label CLK", "the title block"
    int text = -1;     // a free text: its index into the file's texts
};

// The page of one sheet instance: everything drawn on it and the area inside
// KiCad's default frame (10 mm margins, the 2 mm ruler band).
struct Page {
    std::vector<Drawn> drawn;
    Box area;
    // Indexes into `drawn` by bands of the page's height, so that a text is
    // checked against what lies near it, not the whole page.
    std::vector<std::vector<uint32_t>> bands;
};
// The pages of each global label's name, for KiCad's reference lists: found
// once per project, shared by its pages.
using GlobalPages = std::map<std::string, std::set<int>>;
Page pageOf(const sch::Project& project, const sch::SheetInstance& instance, GlobalPages& globalPages);

// The box of a free text of `file` as KiCad draws it.
Box textBox(const sch::SchematicFile& file, const sch::FreeText& text);

// "free", "off the sheet", or "over " and what it overlaps ("over C44, a wire").
std::string stateOf(const Page& page, const sch::SchematicFile& file, int text);

inline constexpr const char* kFree = "free";
inline constexpr const char* kOffSheet = "off the sheet";

}  // namespace orlune::kicad::layout

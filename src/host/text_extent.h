// Text extents: how much room a free text takes, for the bounds that a text
// item delivers (see the design-file page: "Text styles and text extents").
#pragma once

#include <cstdint>
#include <string_view>

#include "dbx/records.h"

namespace orlune::host {

struct TextStyle;

// Width of the widest row and height of all rows, in database units.
// Computed in 64 bits: a long text of wide characters may exceed 32 bits.
struct TextExtent {
    int64_t width = 0;
    int64_t height = 0;
};

// Measures UTF-8 `text` in `style`; null measures with charWidth 1 and
// height 1. A character's advance is style.advances[code point] when given,
// else charWidth. Rows end at CR LF, at a lone CR and at a lone LF.
// A malformed UTF-8 byte counts as one character of charWidth.
TextExtent measureText(std::string_view text, const TextStyle* style);

// The box of a text at (x, y): justification 6 puts it left of x, every
// other code (4 included) right of x; vertically centred on y, with
// y1 = y - h/2 and y2 = y1 + h. Each coordinate is clamped to the 32-bit
// range: a box that cannot be held is delivered as large as a record can
// carry rather than wrapped to a small or inverted one.
dbx::Box textBounds(int32_t x, int32_t y, int32_t justification, const TextExtent& extent);

}  // namespace orlune::host

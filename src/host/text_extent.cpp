#include "host/text_extent.h"

#include <algorithm>
#include <limits>

#include "host/design.h"
#include "host/utf8.h"

namespace orlune::host {

namespace {

int32_t clamp32(int64_t v) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

TextExtent measureText(std::string_view text, const TextStyle* style) {
    const int64_t charWidth = style ? style->charWidth : 1;
    const int64_t height = style ? style->height : 1;
    int64_t widest = 0;
    int64_t row = 0;
    int64_t rows = 1;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char32_t c = nextUtf8(text, pos);  // kBadUtf8 has no advance of its own
        if (c == U'\r' || c == U'\n') {
            // CR LF is one row end; a lone CR or LF is one too.
            if (c == U'\r' && pos < text.size() && text[pos] == '\n') ++pos;
            widest = std::max(widest, row);
            row = 0;
            ++rows;
            continue;
        }
        if (style && !style->advances.empty()) {
            const auto found = style->advances.find(c);
            row += found != style->advances.end() ? found->second : charWidth;
        } else {
            row += charWidth;
        }
    }
    widest = std::max(widest, row);
    return {widest, height * rows};
}

dbx::Box textBounds(int32_t x, int32_t y, int32_t justification, const TextExtent& extent) {
    int64_t x1 = x;
    int64_t x2 = int64_t{x} + extent.width;
    if (justification == 6) {
        x1 = int64_t{x} - extent.width;
        x2 = x;
    }
    const int64_t y1 = int64_t{y} - extent.height / 2;
    const int64_t y2 = y1 + extent.height;
    return {clamp32(x1), clamp32(y1), clamp32(x2), clamp32(y2)};
}

}  // namespace orlune::host

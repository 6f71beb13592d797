// The pieces of `orlune render` that tests reach directly.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/design.h"

namespace orlune::app {

// UTF-8 text made safe for XML character data and attribute values: the
// five special characters as entities, characters that XML 1.0 cannot hold
// (most controls) and malformed UTF-8 as U+FFFD.
std::string xmlEscape(std::string_view utf8);

// The SVG picture of one sheet; empty when the design has no such sheet.
std::string renderSheetSvg(const host::Design& design, int32_t sheetId);

}  // namespace orlune::app

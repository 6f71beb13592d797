// Designs for the tests of the host's file side.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "host/host.h"

namespace orlune::host {

// Names a save stage in test output.
inline void PrintTo(SaveStage stage, std::ostream* os) {
    static const char* const names[] = {"Access", "CreateTemp", "Write", "Flush", "Rename"};
    *os << names[static_cast<int>(stage)];
}

}  // namespace orlune::host

namespace orlune::host::test {

// The contract's minimal design, as the design-file page prints it.
inline constexpr std::string_view kMinimalDesign = R"({
  "format": "orlune-design", "version": 1, "units": 1, "workspace": [25400000, 17780000],
  "textStyles": [ { "number": 0, "name": "Default", "height": 228600, "charWidth": 152400 } ],
  "sheets": [ { "id": 1, "name": "Main" }, { "id": 2, "name": "Power" } ],
  "nets": [ { "id": 1, "name": "VBAT" } ],
  "components": [
    { "refDes": "SC1", "type": "SH_CONN", "kind": 2, "attributes": [],
      "pins": [ { "x": 1000000, "y": 500000, "sheet": 1, "net": 1 } ],
      "symbol": { "sheet": 1, "x": 1000000, "y": 500000, "flipped": false } },
    { "refDes": "SC2", "type": "SH_CONN", "kind": 2,
      "pins": [ { "x": 2000000, "y": 500000, "sheet": 2, "net": 1 } ],
      "symbol": { "sheet": 2, "x": 2000000, "y": 500000, "flipped": true } }
  ],
  "items": [], "attributes": []
}
)";

// Every kind of entry, one object per line (the line numbers matter to the
// tests of reasons).
inline constexpr std::string_view kFullDesign = R"({
  "format": "orlune-design",
  "version": 1,
  "units": 1,
  "workspace": [25400000, 17780000],
  "textStyles": [
    { "number": 0, "name": "Default", "height": 228600, "charWidth": 152400 },
    { "number": 1, "id": 7, "name": "Small", "height": 100, "charWidth": 60, "advances": { "@": 100, "€": 80 } }
  ],
  "sheets": [ { "id": 1, "name": "Main" }, { "id": 2, "name": "Power" }, { "id": 0, "name": "Board" } ],
  "nets": [ { "id": 1, "name": "VBAT" }, { "id": -2, "name": "GND" } ],
  "buses": [ { "name": "D", "nets": [1, -2] } ],
  "components": [
    { "refDes": "SC1", "type": "SH_CONN", "kind": 2, "attributes": [ { "name": "SH_TYPE", "value": "1" } ],
      "pins": [ { "x": 1000000, "y": 500000, "sheet": 1, "net": 1 } ],
      "symbol": { "sheet": 1, "x": 1000000, "y": 500000, "flipped": false } },
    { "refDes": "SC2", "type": "SH_CONN", "kind": 2,
      "pins": [ { "x": 2000000, "y": 500000, "sheet": 2, "net": 1 }, { "x": 1, "y": 2, "sheet": 0, "net": 0 } ],
      "symbol": { "sheet": 2, "x": 2000000, "y": 500000, "flipped": true, "highlight": 3, "selected": true } },
    { "refDes": "R1", "type": "RES", "kind": 0, "pins": [ { "x": 0, "y": 0, "sheet": 1 } ], "symbol": { "sheet": 1, "x": 0, "y": 0 } }
  ],
  "items": [
    { "type": "text", "sheet": 1, "text": "@2", "style": 0, "x": 644400, "y": 500000, "justification": 6 },
    { "type": "bus", "sheet": 1, "bus": "D", "x1": 0, "y1": 0, "x2": 10, "y2": 0, "selected": true },
    { "type": "wire", "sheet": 2, "net": -2, "x1": 0, "y1": 0, "x2": 10, "y2": 0 },
    { "type": "line", "sheet": 0, "x1": -5, "y1": 0, "x2": 10, "y2": 0 }
  ],
  "attributes": [ { "name": "ORLUNE", "value": "x", "units": 1 }, { "name": "NOTE", "value": "" } ]
}
)";

// `text` with the first occurrence of `from` replaced by `to`; throws when
// `from` is not there, so that a test cannot pass on a stale pattern.
std::string replaced(std::string_view text, std::string_view from, std::string_view to);

}  // namespace orlune::host::test

// Running the command line in-process on designs the tests write.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace orlune::test {

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs `orlune ARGS...` through runCommandLine with captured streams.
CliResult runCli(const std::vector<std::string>& args);

// The minimal two-sheet design: SC1 on sheet 1, SC2 (flipped) on sheet 2,
// both on net 1.
std::string minimalDesign();

// A design with the given JSON arrays spliced in. Components, items and
// attributes are JSON array bodies (without brackets).
struct DesignParts {
    int units = 1;
    int sheets = 2;
    std::string textStyles = R"({ "number": 0, "name": "Default", "height": 228600, "charWidth": 152400 })";
    std::string components;
    std::string items;
    std::string attributes;
};
std::string makeDesign(const DesignParts& parts);

// A sheet connector on `sheet` at (x, 500000) on net 1, with optional
// SH_TYPE value (empty: no attribute).
std::string connector(const std::string& refDes, int sheet, int x, bool flipped, const std::string& shType = {});

// A free text item.
std::string textItem(const std::string& text, int sheet, int x = 0, int y = 0);

}  // namespace orlune::test

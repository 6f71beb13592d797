// Small design files for the annotation tests, and reading back the texts
// that a pass left in them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "run/run.h"
#include "support/test_support.h"

namespace orlune::test {

// Style 0 measures "@" as 100, "@2," as 180 and "@22," as 240; style 1 the
// same, so that the style a text carries is visible without changing widths.
struct DesignPlan {
    int32_t units = 1;
    int32_t workspaceX = 25400000;
    int32_t workspaceY = 17780000;
    std::optional<int32_t> textLimit;
    int32_t sheets = 2;      // ids 1..sheets
    bool layerZero = false;  // also declare a layer of id 0
    int32_t nets = 1;        // ids 1..nets
    std::vector<std::pair<std::string, std::vector<int32_t>>> buses;
    std::vector<std::string> components;  // JSON objects
    std::vector<std::string> items;       // JSON objects

    std::string json() const;
};

struct PinAt {
    int32_t x = 0;
    int32_t y = 0;
    int32_t sheet = 1;
    int32_t net = 0;
};

using Attributes = std::vector<std::pair<std::string, std::string>>;

std::string connector(const std::string& refDes, PinAt pin, bool flipped = false, const std::string& type = "SH_CONN",
                      const Attributes& attributes = {});
// A component that is no sheet connector, with pins on the given sheets of
// one net: what makes a net reach those sheets.
std::string part(const std::string& refDes, int32_t net, const std::vector<int32_t>& sheets);
std::string textItem(int32_t sheet, const std::string& text, int32_t x = 0, int32_t y = 0, int32_t style = 0,
                     int32_t justification = 4);
std::string busItem(int32_t sheet, const std::string& bus, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

// A free text as a layer walk of a later conversation delivers it.
struct SeenText {
    int32_t layer = 0;
    std::string text;
    int32_t x = 0;
    int32_t y = 0;
    int32_t justification = 0;
    int32_t style = 0;
};

// Every free text on every layer, in walk order, read in a conversation of
// its own.
std::vector<SeenText> designTexts(HostedRun& hosted);
// Only the texts of the given layer.
std::vector<std::string> textsOn(HostedRun& hosted, int32_t layer);

// The start-up values an update pass needs, for unit mil: 140 mil to the
// left, 190 mil to the right, rows of at most `maxRow` database units.
void prepareUpdate(Run& run, int32_t maxRow = 1000000);

// One Update command: open, count the sheets, the pass, close.
bool runUpdate(HostedRun& hosted);

}  // namespace orlune::test

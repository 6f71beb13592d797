// Pictures of the sheets: well-formed SVG, everything where the design puts
// it (SVG unit = 1000 database units, y negated where the design's grows
// upward), own texts linked.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/inspect.h"
#include "app/inspect_support.h"
#include "app/inspect_svg.h"
#include "support/test_support.h"

namespace orlune::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Texts of every kind, a bus, a highlighted and a selected connector, a
// selected wire; sheet 1 carries most of it.
constexpr std::string_view kRenderDesign = R"({
  "format": "orlune-design", "version": 1, "units": 1, "workspace": [5080000, 2540000],
  "textStyles": [
    { "number": 0, "name": "Default", "height": 100000, "charWidth": 60000, "advances": { "@": 100000, ",": 20000 } },
    { "number": 1, "name": "Small", "height": 50000, "charWidth": 30000 }
  ],
  "sheets": [ { "id": 1, "name": "Main <A&B>" }, { "id": 2, "name": "Power" }, { "id": 3, "name": "IO" } ],
  "nets": [ { "id": 1, "name": "VCC" }, { "id": 2, "name": "GND" } ],
  "buses": [ { "name": "DATA<0..7>", "nets": [1, 2] } ],
  "components": [
    { "refDes": "SC1", "type": "SH_CONN", "kind": 2,
      "pins": [ { "x": 1000000, "y": 500000, "sheet": 1, "net": 1 } ],
      "symbol": { "sheet": 1, "x": 1000000, "y": 500000, "highlight": 15 } },
    { "refDes": "SC2", "type": "SH_CONN", "kind": 2,
      "pins": [ { "x": 2000000, "y": 500000, "sheet": 2, "net": 1 } ],
      "symbol": { "sheet": 2, "x": 2000000, "y": 500000, "flipped": true, "selected": true } },
    { "refDes": "U1", "type": "MCU", "kind": 0,
      "pins": [ { "x": 2800000, "y": 1100000, "sheet": 1, "net": 1 }, { "x": 3200000, "y": 900000, "sheet": 1, "net": 2 },
                { "x": 3000000, "y": 900000, "sheet": 3, "net": 2 } ],
      "symbol": { "sheet": 1, "x": 3000000, "y": 1000000 } }
  ],
  "items": [
    { "type": "text", "sheet": 1, "text": "@2,3", "style": 0, "x": 644400, "y": 500000, "justification": 6 },
    { "type": "text", "sheet": 1, "text": "@1,2,\r\n3", "style": 0, "x": 1500000, "y": 800000, "justification": 4 },
    { "type": "text", "sheet": 1, "text": "@9", "style": 0, "x": 1500000, "y": 1200000, "justification": 4 },
    { "type": "text", "sheet": 1, "text": "<R&D> \"q\" 'a' \u0001 é", "style": 1, "x": 100000, "y": 2000000,
      "justification": 4 },
    { "type": "text", "sheet": 1, "text": "AB", "style": 7, "x": 100000, "y": 300000, "justification": 5 },
    { "type": "text", "sheet": 2, "text": "@@", "style": 0, "x": 2482600, "y": 500000, "justification": 4 },
    { "type": "bus", "sheet": 1, "bus": "DATA<0..7>", "x1": 4000000, "y1": 1500000, "x2": 4000000, "y2": 500000 },
    { "type": "wire", "sheet": 1, "net": 1, "x1": 1000000, "y1": 500000, "x2": 2800000, "y2": 500000,
      "selected": true },
    { "type": "line", "sheet": 3, "x1": 0, "y1": 0, "x2": 1000000, "y2": 0 }
  ],
  "attributes": []
}
)";

struct Rendered {
    int status = 0;
    std::string out;
    std::string err;
};

Rendered render(const std::filesystem::path& design, const std::filesystem::path& dir, int sheet = 0) {
    std::ostringstream out;
    std::ostringstream err;
    app::RenderOptions options;
    options.designPath = design.string();
    options.outputDir = dir.string();
    options.sheet = sheet;
    Rendered r;
    r.status = app::runRender(options, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

XmlNode parsed(const std::filesystem::path& file) {
    XmlNode root;
    std::string error;
    EXPECT_TRUE(parseXml(readFile(file), root, error)) << file << ": " << error;
    return root;
}

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(design, kRenderDesign);
        const Rendered r = render(design, out);
        ASSERT_EQ(r.status, 0) << r.err;
        sheet1 = parsed(out / "sheet-1.svg");
        sheet2 = parsed(out / "sheet-2.svg");
    }

    // The group of the text item anchored at (x, y), in design units.
    const XmlNode* textAt(const XmlNode& svg, int x, int y) {
        for (const XmlNode* g : svg.byClass("text-item")) {
            if (g->attribute("data-x") == std::to_string(x) && g->attribute("data-y") == std::to_string(y)) return g;
        }
        ADD_FAILURE() << "no text at " << x << ", " << y;
        return nullptr;
    }

    TempDir dir;
    std::filesystem::path design = dir.file("design.json");
    std::filesystem::path out = dir.file("pictures");
    XmlNode sheet1;
    XmlNode sheet2;
};

TEST_F(RenderTest, WritesOneWellFormedPicturePerSheetAndAnIndexShowingThemAll) {
    for (int id : {1, 2, 3}) {
        const XmlNode svg = parsed(out / ("sheet-" + std::to_string(id) + ".svg"));
        EXPECT_EQ(svg.name, "svg");
        EXPECT_EQ(svg.attribute("data-sheet"), std::to_string(id));
    }
    // The sheet name is escaped in the title.
    EXPECT_EQ(sheet1.byName("title").front()->allText(), "Sheet 1: Main <A&B>");

    const std::string index = readFile(out / "index.html");
    for (int id : {1, 2, 3})
        EXPECT_THAT(index, HasSubstr("data=\"sheet-" + std::to_string(id) + ".svg\""));
    EXPECT_THAT(index, HasSubstr("Main &lt;A&amp;B&gt;"));
    EXPECT_THAT(index, ::testing::Not(HasSubstr("<A&B>")));
}

TEST_F(RenderTest, TheFrameIsTheWorkspaceWithYGrowingUpward) {
    const auto frames = sheet1.byClass("frame");
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0]->attribute("x"), "0");
    EXPECT_EQ(frames[0]->attribute("y"), "-2540");
    EXPECT_EQ(frames[0]->attribute("width"), "5080");
    EXPECT_EQ(frames[0]->attribute("height"), "2540");
    // The picture's pixel size keeps the proportions, the longer side 1600.
    EXPECT_EQ(sheet1.attribute("width"), "1600");
    const int height = std::stoi(*sheet1.attribute("height"));
    EXPECT_GT(height, 700);
    EXPECT_LT(height, 1000);
}

struct TextCase {
    int x, y;
    std::string boxX, boxY, boxWidth, boxHeight;  // the extent, SVG units
    std::string anchorX;
    bool endAnchored;
    std::vector<std::string> rowBaselines;
    std::vector<std::string> rowLengths;
};

TEST_F(RenderTest, EveryTextStandsAtItsPlaceWithItsJustificationRowsAndExtent) {
    const std::vector<TextCase> cases = {
        // Justification 6: the text ends at its point; 240000 wide, one row.
        {644400, 500000, "404.4", "-550", "240", "100", "644.4", true, {"-470"}, {"240"}},
        // Justification 4, two rows: the box is centred on y; rows measured apart.
        {1500000, 800000, "1500", "-900", "260", "200", "1500", false, {"-820", "-720"}, {"260", "60"}},
        // An unknown style measures with the first; an unknown justification reads as 4.
        {100000, 300000, "100", "-350", "120", "100", "100", false, {"-270"}, {"120"}},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        const XmlNode* g = textAt(sheet1, c.x, c.y);
        ASSERT_NE(g, nullptr);
        const auto boxes = g->byClass("extent");
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0]->attribute("x"), c.boxX);
        EXPECT_EQ(boxes[0]->attribute("y"), c.boxY);
        EXPECT_EQ(boxes[0]->attribute("width"), c.boxWidth);
        EXPECT_EQ(boxes[0]->attribute("height"), c.boxHeight);
        const auto rows = g->byName("text");
        ASSERT_EQ(rows.size(), c.rowBaselines.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i]->attribute("x"), c.anchorX);
            EXPECT_EQ(rows[i]->attribute("y"), c.rowBaselines[i]);
            EXPECT_EQ(rows[i]->attribute("textLength"), c.rowLengths[i]);
            EXPECT_EQ(rows[i]->attribute("text-anchor"),
                      c.endAnchored ? std::optional<std::string>("end") : std::nullopt);
        }
    }
}

TEST_F(RenderTest, EverySheetNumberOfAnOwnTextLinksToThatSheetsPicture) {
    const XmlNode* g = textAt(sheet1, 1500000, 800000);
    ASSERT_NE(g, nullptr);
    EXPECT_TRUE(g->hasClass("own"));
    const auto rows = g->byName("text");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]->allText(), "@1,2,");
    EXPECT_EQ(rows[1]->allText(), "3");

    std::vector<std::string> targets;
    for (const XmlNode* a : g->byName("a")) {
        EXPECT_EQ(a->attribute("href"), a->attribute("xlink:href"));
        EXPECT_EQ(a->attribute("href"), "sheet-" + a->allText() + ".svg");
        targets.push_back(*a->attribute("href"));
    }
    EXPECT_THAT(targets, ElementsAre("sheet-1.svg", "sheet-2.svg", "sheet-3.svg"));

    // A number that names no sheet of the design leads nowhere.
    const XmlNode* nowhere = textAt(sheet1, 1500000, 1200000);
    ASSERT_NE(nowhere, nullptr);
    EXPECT_TRUE(nowhere->byName("a").empty());
    EXPECT_EQ(nowhere->byName("text").front()->allText(), "@9");
}

TEST_F(RenderTest, RefusedTextsAreMarkedAndUserTextsStayPlain) {
    const XmlNode* refused = textAt(sheet2, 2482600, 500000);
    ASSERT_NE(refused, nullptr);
    EXPECT_TRUE(refused->hasClass("refused"));
    EXPECT_FALSE(refused->hasClass("own"));
    EXPECT_TRUE(refused->byName("a").empty());

    const XmlNode* user = textAt(sheet1, 100000, 2000000);
    ASSERT_NE(user, nullptr);
    EXPECT_TRUE(user->hasClass("user"));
    // Markup characters arrive as text; a control character XML cannot
    // carry becomes U+FFFD.
    EXPECT_EQ(user->byName("text").front()->allText(), "<R&D> \"q\" 'a' \xEF\xBF\xBD \xC3\xA9");
}

TEST_F(RenderTest, ConnectorFlagsPointTheWayTheirTextGoes) {
    auto tipX = [](const XmlNode& svg, const std::string& refDes, double& pinX) {
        for (const XmlNode* g : svg.byClass("sheet-connector")) {
            if (g->attribute("data-refdes") != refDes) continue;
            const XmlNode* flag = g->byName("polygon").front();
            std::istringstream points(*flag->attribute("points"));
            double first = 0;
            double tip = 0;
            std::string pair;
            bool firstSeen = false;
            while (points >> pair) {
                const double x = std::stod(pair.substr(0, pair.find(',')));
                if (!firstSeen) first = x, tip = x, firstSeen = true;
                if (std::abs(x - first) > std::abs(tip - first)) tip = x;
            }
            pinX = first;
            return tip;
        }
        ADD_FAILURE() << "no connector " << refDes;
        return 0.0;
    };
    double pin = 0;
    const double leftTip = tipX(sheet1, "SC1", pin);
    EXPECT_EQ(pin, 1000);
    EXPECT_LT(leftTip, pin);  // unflipped: the text goes left
    const double rightTip = tipX(sheet2, "SC2", pin);
    EXPECT_EQ(pin, 2000);
    EXPECT_GT(rightTip, pin);  // flipped: to the right

    const auto names = sheet1.byClass("conname");
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0]->allText(), "SC1 VCC");
}

TEST_F(RenderTest, HighlightSelectionPartsAndBusesShow) {
    const auto flags = sheet1.byName("polygon");
    ASSERT_EQ(flags.size(), 1u);
    EXPECT_EQ(flags[0]->attribute("data-highlight"), "15");
    EXPECT_THAT(*flags[0]->attribute("style"), HasSubstr("fill:#"));

    // The selected wire is marked along its length; the selected connector
    // of sheet 2 by a frame.
    const auto marks1 = sheet1.byClass("selected");
    ASSERT_EQ(marks1.size(), 1u);
    EXPECT_EQ(marks1[0]->name, "line");
    EXPECT_EQ(marks1[0]->attribute("x2"), "2800");
    EXPECT_EQ(sheet2.byClass("selected").size(), 1u);

    // A part is a box around its pins on this sheet, named.
    const auto parts = sheet1.byClass("component");
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0]->attribute("data-refdes"), "U1");
    EXPECT_EQ(parts[0]->byClass("refdes").front()->allText(), "U1");
    EXPECT_EQ(parts[0]->byClass("pin").size(), 2u);

    const auto buses = sheet1.byClass("bus");
    ASSERT_EQ(buses.size(), 1u);
    EXPECT_EQ(buses[0]->attribute("y1"), "-1500");
    EXPECT_EQ(sheet1.byClass("busname").front()->allText(), "DATA<0..7>");

    // U1's pin on sheet 3 shows there although its symbol is on sheet 1.
    const XmlNode sheet3 = parsed(out / "sheet-3.svg");
    EXPECT_EQ(sheet3.byClass("pin").size(), 1u);
    EXPECT_TRUE(sheet3.byClass("component").empty());
}

TEST(Render, OneSheetAloneWritesOnlyItsPicture) {
    TempDir dir;
    writeFile(dir.file("d.json"), kRenderDesign);
    const Rendered r = render(dir.file("d.json"), dir.file("out"), 2);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir.file("out") / "sheet-2.svg"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out") / "sheet-1.svg"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out") / "index.html"));
}

TEST(Render, RefusesASheetTheDesignLacksAndADesignItCannotRead) {
    TempDir dir;
    writeFile(dir.file("d.json"), kRenderDesign);
    Rendered r = render(dir.file("d.json"), dir.file("out"), 7);
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.err, HasSubstr("no sheet 7"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out")));

    writeFile(dir.file("bad.json"), "{ \"format\": \"orlune-design\", ");
    r = render(dir.file("bad.json"), dir.file("out"));
    EXPECT_EQ(r.status, 3);
    EXPECT_THAT(r.err, HasSubstr("bad.json"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out")));
}

TEST(Render, EscapesTextForXml) {
    struct Case {
        std::string in;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"plain", "plain"},
        {"a<b>&\"c\"'d'", "a&lt;b&gt;&amp;&quot;c&quot;&apos;d&apos;"},
        {"tab\tcr\rlf\n", "tab&#9;cr&#13;lf&#10;"},  // as references: attributes keep them
        {std::string("nul\0x", 5), "nul\xEF\xBF\xBDx"},
        {"\x01\x1F", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xC3\xA9\xE2\x82\xAC", "\xC3\xA9\xE2\x82\xAC"},  // é €
        {"bad\xC3(", "bad\xEF\xBF\xBD("},                  // truncated sequence
        {"\xEF\xBF\xBE", "\xEF\xBF\xBD"},                  // U+FFFE is no XML character
    };
    for (const Case& c : cases)
        EXPECT_EQ(app::xmlEscape(c.in), c.out) << c.in;
}

TEST(Render, ExampleBoardAfterAnUpdateLinksEveryOwnTextToAnExistingPicture) {
    TempDir dir;
    const std::filesystem::path board = dir.file("board.json");
    std::filesystem::copy_file(std::filesystem::path(ORLUNE_EXAMPLES) / "board.json", board);
    std::ostringstream sink;
    app::UpdateOptions update;
    update.designs = {board.string()};
    ASSERT_EQ(app::runUpdate(update, sink, sink), 0) << sink.str();
    const Rendered r = render(board, dir.file("out"));
    ASSERT_EQ(r.status, 0) << r.err;

    int ownTexts = 0;
    std::set<std::string> targets;
    for (int id = 1; id <= 8; ++id) {
        const XmlNode svg = parsed(dir.file("out") / ("sheet-" + std::to_string(id) + ".svg"));
        for (const XmlNode* g : svg.byClass("own")) {
            ++ownTexts;
            EXPECT_FALSE(g->byName("a").empty());
            for (const XmlNode* a : g->byName("a"))
                targets.insert(*a->attribute("href"));
        }
    }
    EXPECT_EQ(ownTexts, 77);  // every connector with another sheet to list
    for (const std::string& target : targets)
        EXPECT_TRUE(std::filesystem::exists(dir.file("out") / target)) << target;
    EXPECT_EQ(targets.size(), 8u);
}

// KiCad's y grows downward: the page reads the same way up as in KiCad,
// labels named by their text and page, escapes shown as their characters.
TEST(Render, AKicadPageStandsAsKicadDrawsItWithItsLabelsNamed) {
    const std::filesystem::path demo = std::filesystem::path(ORLUNE_KICAD9_DEMOS) / "tiny_tapeout";
    if (!std::filesystem::exists(demo / "tinytapeout-demo.kicad_pro")) GTEST_SKIP() << "no KiCad demos in " << demo;
    TempDir dir;
    ASSERT_EQ(render(demo / "tinytapeout-demo.kicad_pro", dir.file("out")).status, 0);
    for (const char* page : {"sheet-1.svg", "sheet-2.svg"})
        EXPECT_THAT(readFile(dir.file("out") / page), ::testing::Not(HasSubstr("{slash}"))) << page;
    // In rp2040.kicad_sch GPIO26/AD0 stands at y 121.92 mm, 7.62 mm above GPIO29/AD3.
    const XmlNode svg = parsed(dir.file("out") / "sheet-2.svg");
    std::map<std::string, double> flagY;
    for (const XmlNode* g : svg.byClass("sheet-connector")) {
        const std::string label = g->byClass("conname").front()->allText();
        if (label != "GPIO26/AD0" && label != "GPIO29/AD3") continue;
        EXPECT_EQ(g->byName("title").front()->allText(), label + " on page 2 /RP2040/");
        const std::string points = *g->byName("polygon").front()->attribute("points");
        flagY[label] = std::stod(points.substr(points.find(',') + 1));
    }
    ASSERT_EQ(flagY.size(), 2u);
    EXPECT_DOUBLE_EQ(flagY["GPIO29/AD3"] - flagY["GPIO26/AD0"], 762);
}

TEST(Render, TheXmlCheckerRefusesWhatIsNotWellFormed) {
    const std::vector<std::string> bad = {
        "<a><b></a></b>", "<a x=1/>", "<a x=\"1\" x=\"2\"/>",     "<a x=\"<\"/>", "<a>&nbsp;</a>",       "<a>&amp</a>",
        "<a/><b/>",       "<a>",      std::string("<a>\x01</a>"), "<a>\xC3(</a>", "<a x=\"1\"y=\"2\"/>", "text",
    };
    for (const std::string& doc : bad) {
        XmlNode root;
        std::string error;
        EXPECT_FALSE(parseXml(doc, root, error)) << doc;
    }
    XmlNode root;
    std::string error;
    ASSERT_TRUE(parseXml("<?xml version=\"1.0\"?>\n<a k='v &amp; w'>x<!-- c --><b>&#x41;&#66;</b>y</a>\n", root, error))
        << error;
    EXPECT_EQ(root.attribute("k"), "v & w");
    EXPECT_EQ(root.allText(), "xABy");
}

}  // namespace
}  // namespace orlune::test

// The layout check of placed texts on KiCad pages, through the real
// program: after `update`, `report` gives each text's state and
// `verify --layout` exits 4 where a text lies over drawing or off the sheet.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/json.h"
#include "kicad10.h"
#include "kicad_test_support.h"

namespace orlune::kicad {
namespace {

namespace fs = std::filesystem;

// A copy of a demo folder, removed afterwards.
struct DemoCopy {
    explicit DemoCopy(const fs::path& demo) {
        dir = fs::temp_directory_path() /
              ("orlune-layout-" + std::to_string(::getpid()) + "-" + demo.filename().string());
        fs::remove_all(dir);
        fs::copy(demo, dir, fs::copy_options::recursive);
    }
    ~DemoCopy() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path dir;
};

// Label "|" page number -> its text's layout, from `report --json`.
std::map<std::string, std::string> layouts(const std::string& project) {
    std::string out;
    EXPECT_EQ(test::orlune("report --json '" + project + "'", out, false), 0);
    host::JsonDocument d;
    host::JsonError error;
    std::map<std::string, std::string> states;
    if (!host::parseJson(std::make_shared<const std::string>(out), d, error)) {
        ADD_FAILURE() << out;
        return states;
    }
    const host::JsonIndex list = d.find(d.root, "connectors");
    for (uint32_t i = 0; i < d.size(list); ++i) {
        const host::JsonIndex line = d.element(list, i);
        const std::string page(d.text(d.find(line, "page")));
        const host::JsonIndex layout = d.find(line, "layout");
        states[std::string(d.text(d.find(line, "label"))) + "|" + page.substr(0, page.find(' '))] =
            d.type(layout) == host::JsonType::Null ? "null" : std::string(d.text(layout));
    }
    return states;
}

struct DemoLayoutCase {
    std::string name;
    fs::path demo;                                // the folder
    std::string file;                             // its project file
    std::map<std::string, std::string> expected;  // label|page -> layout
    size_t free;                                  // at least this many texts stand on paper alone
};

void PrintTo(const DemoLayoutCase& c, std::ostream* os) {
    *os << c.name;
}

class KicadLayoutDemos : public testing::TestWithParam<DemoLayoutCase> {};

TEST_P(KicadLayoutDemos, TheCheckFindsTheTextsOverDrawingOrOffTheSheet) {
    const DemoLayoutCase& c = GetParam();
    if (!fs::exists(c.demo / c.file)) GTEST_SKIP() << c.demo << " not installed";
    const DemoCopy copy(c.demo);
    const std::string project = (copy.dir / c.file).string();
    std::string out;
    ASSERT_EQ(test::orlune("update '" + project + "'", out, false), 0) << out;
    const std::map<std::string, std::string> states = layouts(project);
    for (const auto& [label, layout] : c.expected) {
        ASSERT_TRUE(states.count(label)) << label;
        EXPECT_EQ(states.at(label), layout) << label;
    }
    size_t free = 0;
    for (const auto& [label, layout] : states)
        free += layout == "free";
    EXPECT_GE(free, c.free);
    out.clear();
    EXPECT_EQ(test::orlune("verify '" + project + "'", out, false), 0) << out;
    out.clear();
    EXPECT_EQ(test::orlune("verify --layout '" + project + "'", out, false), 4);
    EXPECT_NE(out.find(c.expected.begin()->second), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(Demos, KicadLayoutDemos,
                         testing::Values(DemoLayoutCase{"v9_video",
                                                        test::kKicad9Demos / "video",
                                                        "video.kicad_pro",
                                                        {{"RED|8", "over C44"},
                                                         {"GREEN|8", "over C44"},
                                                         {"BLUE|8", "over C44"},
                                                         {"SELECT-|2", "over W1"},
                                                         {"DQ[0..15]|3", "off the sheet"}},
                                                        140},
                                         DemoLayoutCase{"v10_video",
                                                        test::kKicad10Demos / "video",
                                                        "video.kicad_pro",
                                                        {{"RED|8", "over C44"}, {"BLUE|8", "over C44"}},
                                                        140},
                                         DemoLayoutCase{"v9_multichannel",
                                                        test::kKicad9Demos / "multichannel",
                                                        "multichannel_mixer.kicad_pro",
                                                        {{"OUT|2", "off the sheet"}, {"OUT|5", "off the sheet"}},
                                                        0},
                                         DemoLayoutCase{
                                             "v9_vme_wren",
                                             test::kKicad9Demos / "vme-wren",
                                             "vme-wren.kicad_pro",
                                             {{"F_IO[0..31]|33", "off the sheet"}, {"IO[0..31]|33", "off the sheet"}},
                                             300}),
                         [](const testing::TestParamInfo<DemoLayoutCase>& c) { return c.param.name; });

// One global label "G" on two pages, each on a resistor's pin; on the root
// page a box symbol stands to the right of the label, turned and mirrored
// as given, or the label stands near the right edge of the A4 sheet.
struct SyntheticCase {
    const char* name;
    const char* labelX;  // mm
    const char* box;     // the box symbol's "(at …) (mirror …)", empty: none
    const char* layout;
};

std::string page(const SyntheticCase& c, const std::string& path, bool root) {
    const std::string font = "(effects (font (size 1.27 1.27)) (justify left bottom))";
    std::string items =
        "(lib_symbols (symbol \"l:R\" (symbol \"R_1_1\" (pin passive line (at 0 0 0) (length 2.54) (name \"~\" " +
        font + ") (number \"1\" " + font +
        "))))\n (symbol \"l:BOX\" (symbol \"BOX_1_1\" (rectangle (start 0 1) (end 10 -1)))))\n";
    const auto symbol = [&](const std::string& lib, const std::string& at, const std::string& ref,
                            const std::string& uuid) {
        return "(symbol (lib_id \"" + lib + "\") " + at + " (unit 1) (uuid \"" + uuid +
               "\") (property \"Reference\" \"" + ref +
               "\" (at 0 0 0) (effects (hide yes))) (instances (project \"p\" "
               "(path \"" +
               path + "\" (reference \"" + ref + "\") (unit 1)))))\n";
    };
    const std::string x = root ? c.labelX : "50";
    items += "(global_label \"G\" (shape input) (at " + x + " 50 0) " + font +
             " (uuid \"f0000000-0000-0000-0000-00000000000" + (root ? "1" : "2") + "\"))\n";
    items += symbol("l:R", "(at " + x + " 50 0)", root ? "R1" : "R3",
                    root ? "f1000000-0000-0000-0000-000000000001" : "f1000000-0000-0000-0000-000000000002");
    if (root && *c.box) items += symbol("l:BOX", c.box, "R2", "f1000000-0000-0000-0000-000000000003");
    if (root)
        items += test::sheet("a0000000-0000-0000-0000-000000000001", "S", "sub.kicad_sch", "2") +
                 "(sheet_instances (path \"/\" (page \"1\")))";
    return test::schematic(items, "20250114",
                           root ? "00000000-0000-0000-0000-0000000000aa" : "b0000000-0000-0000-0000-000000000009");
}

class KicadLayoutSynthetic : public testing::TestWithParam<SyntheticCase> {};

TEST_P(KicadLayoutSynthetic, ASymbolPlacedByItsTurnAndMirrorOrTheSheetEdge) {
    const SyntheticCase& c = GetParam();
    const std::string root = "/00000000-0000-0000-0000-0000000000aa";
    const test::TempProject dir({{"top.kicad_sch", page(c, root, true)},
                                 {"sub.kicad_sch", page(c, root + "/a0000000-0000-0000-0000-000000000001", false)}});
    const std::string project = dir.path("top.kicad_sch");
    std::string out;
    ASSERT_EQ(test::orlune("update '" + project + "'", out, false), 0) << out;
    const std::map<std::string, std::string> states = layouts(project);
    EXPECT_EQ(states, (std::map<std::string, std::string>{{"G|1", c.layout}, {"G|2", "free"}}));
    out.clear();
    EXPECT_EQ(test::orlune("verify --layout '" + project + "'", out, false), std::string(c.layout) == "free" ? 0 : 4)
        << out;
}

INSTANTIATE_TEST_SUITE_P(Pages, KicadLayoutSynthetic,
                         testing::Values(SyntheticCase{"clean", "50", "", "free"},
                                         SyntheticCase{"box_beyond_the_text", "50", "(at 64 50 0)", "free"},
                                         SyntheticCase{"box_turned_back_over_it", "50", "(at 64 50 180)", "over R2"},
                                         SyntheticCase{"box_mirrored_over_it", "50", "(at 64 50 0) (mirror y)",
                                                       "over R2"},
                                         SyntheticCase{"near_the_right_edge", "282", "", "off the sheet"}),
                         [](const testing::TestParamInfo<SyntheticCase>& c) { return std::string(c.param.name); });

}  // namespace
}  // namespace orlune::kicad

// `orlune report` on KiCad projects: each label by its text and page, with
// the pages its signal reaches by KiCad's connectivity; labels of reused
// sheets whose lists differ per page.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "host/json.h"
#include "host/kicad/to_connectivity.h"
#include "host/kicad/to_design.h"
#include "kicad_test_support.h"

namespace orlune::kicad {
namespace {

namespace fs = std::filesystem;

// `orlune ARGS`' exit status; its standard output parsed into `doc` when it is JSON.
int orlune(const std::string& args, host::JsonDocument* doc = nullptr) {
    FILE* pipe = ::popen((std::string(ORLUNE_BINARY) + " " + args + " 2>/dev/null").c_str(), "r");
    std::string out;
    for (char b[4096]; pipe != nullptr && std::fgets(b, sizeof b, pipe);)
        out += b;
    const int raw = pipe != nullptr ? ::pclose(pipe) : -1;
    host::JsonError error;
    if (doc) {
        EXPECT_TRUE(host::parseJson(std::make_shared<const std::string>(out), *doc, error)) << out;
    }
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// A connector's key: null as "null", a list of numbers as "3,5".
std::string get(const host::JsonDocument& d, host::JsonIndex line, std::string_view key) {
    const host::JsonIndex v = d.find(line, key);
    if (d.type(v) == host::JsonType::Null) return "null";
    if (d.type(v) != host::JsonType::Array) return std::string(d.text(v));
    std::string list;
    for (uint32_t k = 0; k < d.size(v); ++k)
        list += (k ? "," : "") + std::string(d.text(d.element(v, k)));
    return list;
}

struct ReportCase {
    std::string name;  // the demo's test name
    fs::path project;
    uint32_t connectors;
};

void PrintTo(const ReportCase& c, std::ostream* os) {
    *os << c.name;
}

class KicadReportDemos : public testing::TestWithParam<ReportCase> {};

TEST_P(KicadReportDemos, LabelsByTextAndPageWithThePagesTheirSignalsReach) {
    const auto& [name, project, count] = GetParam();
    if (!fs::exists(project)) GTEST_SKIP() << project << " not installed";
    const sch::Project p = sch::readProject(project.string());
    const ConnectivityInput input = toConnectivityInput(p);
    const DesignView v = toDesign(p, input, computeConnectivity(input));
    std::map<int32_t, std::set<int32_t>> pagesOfNet;  // where each net has pins
    for (const host::Component& comp : v.design.components)
        for (const host::Pin& pin : comp.pins)
            if (comp.kind != 2) pagesOfNet[pin.net].insert(pin.sheet);
    std::map<std::string, std::vector<int32_t>> busNets;
    for (const host::Bus& bus : v.design.buses)
        busNets[bus.name] = bus.nets;

    host::JsonDocument d;
    EXPECT_EQ(orlune("report --json '" + project.string() + "'", &d), 0);
    const host::JsonIndex list = d.find(d.root, "connectors");
    ASSERT_EQ(d.size(list), count);
    // Page by page; a connector found by its reference designator and page.
    std::map<std::string, size_t> byRefDes;
    for (size_t k = 0; k < v.design.components.size(); ++k)
        if (v.design.components[k].kind == 2)
            byRefDes[v.design.components[k].refDes + "|" + std::to_string(v.design.components[k].pins[0].sheet)] = k;
    int32_t lastSheet = 0;
    for (uint32_t i = 0; i < d.size(list); ++i) {
        const host::JsonIndex line = d.element(list, i);
        const std::string key = get(d, line, "refDes") + "|" + get(d, line, "sheet");
        ASSERT_TRUE(byRefDes.count(key)) << key;
        const size_t k = byRefDes.at(key);
        EXPECT_GE(v.design.components[k].pins[0].sheet, lastSheet) << "not in page order";
        lastSheet = v.design.components[k].pins[0].sheet;
        const sch::SheetInstance& in = p.instances[size_t(v.components[k].instance)];
        const sch::Label& label = p.fileOf(in).labels[size_t(v.components[k].label)];
        EXPECT_EQ(get(d, line, "refDes"), v.design.components[k].refDes);
        EXPECT_EQ(get(d, line, "label"), label.text);
        EXPECT_EQ(get(d, line, "uuid"), label.uuid);
        EXPECT_EQ(get(d, line, "page"), in.pageString + " " + in.humanPath);
        // Every page where the signal (each member of a bus) has pins, its own left out.
        const std::string bus = get(d, line, "bus");
        std::set<int32_t> reached;
        for (int32_t net : bus == "null" ? std::vector{v.design.components[k].pins[0].net} : busNets.at(bus))
            if (net != 0) reached.insert(pagesOfNet[net].begin(), pagesOfNet[net].end());
        reached.erase(in.page);
        std::string expected;
        for (int32_t page : reached)
            expected += (expected.empty() ? "" : ",") + std::to_string(page);
        EXPECT_EQ(get(d, line, "sheets"), expected) << label.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Demos, KicadReportDemos,
    testing::Values(ReportCase{"v6_video", test::kKicad6Demos / "video/video.kicad_pro", 162},
                    ReportCase{"v9_video", test::kKicad9Demos / "video/video.kicad_pro", 162},
                    ReportCase{"v9_kit_dev_coldfire_xilinx_5213",
                               test::kKicad9Demos / "kit-dev-coldfire-xilinx_5213/"
                                                    "kit-dev-coldfire-xilinx_5213.kicad_pro",
                               43},
                    ReportCase{"v6_flat_hierarchy", test::kKicad6Demos / "flat_hierarchy/flat_hierarchy.kicad_pro", 8},
                    ReportCase{"v9_pic_programmer", test::kKicad9Demos / "pic_programmer/pic_programmer.kicad_pro", 4}),
    [](const testing::TestParamInfo<ReportCase>& c) { return c.param.name; });

// A global label of a file shown on pages 4 and 5 through a file that is
// itself shown twice, in KiCad 8 files (which a KiCad 8 may open: only KiCad
// 9's resolution along the page's path is relied on): its lists differ
// ("@5", "@4") and no sheet symbol is one per page, so no text can be
// placed. A user's "@" text is no stray.
TEST(KicadReport, AReusedLabelWhoseListsDifferPerPage) {
    const std::string r = "00000000-0000-0000-0000-0000000000aa", a = "a0000000-0000-0000-0000-000000000001",
                      b = "b0000000-0000-0000-0000-000000000002", l = "c0000000-0000-0000-0000-000000000003";
    const auto path = [&](const std::string& sheet, const std::string& tail) {
        return "(path \"/" + r + "/" + sheet + tail + "\" ";
    };
    const std::string mid = test::schematic(
        "(sheet (at 10 10) (size 20 20) (uuid \"" + l +
            "\") (property \"Sheetname\" \"L\" (at 0 0 0)) (property \"Sheetfile\" \"leaf.kicad_sch\" (at 0 0 0)) "
            "(instances (project \"p\" " +
            path(a, "") + "(page \"4\")) " + path(b, "") + "(page \"5\")))))",
        "20231120", "d0000000-0000-0000-0000-000000000004");
    const std::string font = "(effects (font (size 1.27 1.27)) (justify left bottom))";
    const std::string leaf = test::schematic(
        "(lib_symbols (symbol \"l:R\" (symbol \"R_1_1\" (pin passive line (at 0 0 0) (length 2.54) (name \"~\" " +
            font + ") (number \"1\" " + font + ")))))\n(text \"@4,5\" (at 10 10 0) " + font +
            " (uuid \"f2000000-0000-0000-0000-000000000008\"))\n(global_label \"G\" (shape input) (at 50 50 0) " +
            font +
            " (uuid \"f0000000-0000-0000-0000-000000000006\"))\n(symbol (lib_id \"l:R\") (at 50 50 0) (unit 1) (uuid "
            "\"f1000000-0000-0000-0000-000000000007\") (property \"Reference\" \"R1\" (at 0 0 0)) (instances (project "
            "\"p\" " +
            path(a, "/" + l) + "(reference \"R1\") (unit 1)) " + path(b, "/" + l) + "(reference \"R2\") (unit 1)))))",
        "20231120", "e0000000-0000-0000-0000-000000000005");
    const test::TempProject dir({{"top.kicad_sch", test::schematic(test::sheet(a, "A", "mid.kicad_sch", "2") +
                                                                       test::sheet(b, "B", "mid.kicad_sch", "3") +
                                                                       "(sheet_instances (path \"/\" (page \"1\")))",
                                                                   "20231120")},
                                 {"mid.kicad_sch", mid},
                                 {"leaf.kicad_sch", leaf}});
    const std::string project = "'" + dir.path("top.kicad_sch") + "'";
    EXPECT_EQ(orlune("verify " + project), 0);
    host::JsonDocument d;
    ASSERT_EQ(orlune("report --json " + project, &d), 0);
    const host::JsonIndex list = d.find(d.root, "connectors");
    ASSERT_EQ(d.size(list), 2u);
    for (uint32_t i = 0; i < 2; ++i) {
        const host::JsonIndex line = d.element(list, i);
        EXPECT_EQ(get(d, line, "page"), i == 0 ? "4 /A/L/" : "5 /B/L/");
        EXPECT_EQ(get(d, line, "sheets"), i == 0 ? "5" : "4");
        EXPECT_EQ(get(d, line, "state"), "differs per page");
        EXPECT_EQ(get(d, line, "expected"), "null");
    }
    EXPECT_EQ(d.size(d.find(d.root, "strayTexts")), 0u);
    EXPECT_EQ(d.size(d.find(d.root, "userTexts")), 2u);  // one per page
}

}  // namespace
}  // namespace orlune::kicad

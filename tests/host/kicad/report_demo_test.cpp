// `orlune report` on KiCad projects: each label by its text and page, with
// the pages its signal reaches by KiCad's connectivity; labels of reused
// sheets whose lists differ per page.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
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

TEST(KicadReport, DemoLabelsByTextAndPageWithThePagesTheirSignalsReach) {
    const std::pair<fs::path, uint32_t> cases[] = {
        {test::kKicad6Demos / "video/video.kicad_pro", 162},
        {test::kKicad9Demos / "video/video.kicad_pro", 162},
        {test::kKicad9Demos / "kit-dev-coldfire-xilinx_5213/kit-dev-coldfire-xilinx_5213.kicad_pro", 43},
        {test::kKicad6Demos / "flat_hierarchy/flat_hierarchy.kicad_pro", 8},
        {test::kKicad9Demos / "pic_programmer/pic_programmer.kicad_pro", 4},
    };
    for (const auto& [project, count] : cases) {
        if (!fs::exists(project)) GTEST_SKIP() << "no KiCad demos installed";
        SCOPED_TRACE(project.string());
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
        for (uint32_t i = 0, k = 0; i < d.size(list); ++i, ++k) {
            while (v.design.components[k].kind != 2)
                ++k;  // connectors in the order of the component walk
            const host::JsonIndex line = d.element(list, i);
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
}

// A global label of the sheet file that complex_hierarchy shows on pages 2
// and 3: its lists differ ("@3", "@2"), and update gives each page its own
// through the sheet symbols' fields. A user's "@" text is no stray.
TEST(KicadReport, AReusedLabelWhoseListsDifferPerPage) {
    const fs::path demo = test::kKicad9Demos / "complex_hierarchy";
    if (!fs::exists(demo)) GTEST_SKIP() << "no KiCad demos installed";
    const test::TempProject dir({});
    const fs::path folder = fs::path(dir.path("ch"));
    fs::copy(demo, folder, fs::copy_options::recursive);
    std::ifstream in(folder / "ampli_ht.kicad_sch", std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    bytes.insert(bytes.find("\t(label \"PIEZO_OUT\""),
                 "\t(global_label \"R\" (shape input) (at 254 109.22 0) (effects (font (size 1.27 1.27)) (justify "
                 "left)) (uuid \"11111111-2222-4333-8444-555555555555\"))\n\t(text \"@2,3\" (at 10 10 0) (effects "
                 "(font (size 1.27 1.27)) (justify left bottom)) (uuid \"11111111-2222-4333-8444-666666666666\"))\n");
    std::ofstream(folder / "ampli_ht.kicad_sch", std::ios::binary) << bytes;
    const std::string project = "'" + (folder / "complex_hierarchy.kicad_pro").string() + "'";
    ASSERT_EQ(orlune("update " + project), 0);
    EXPECT_EQ(orlune("verify " + project), 0);
    host::JsonDocument d;
    ASSERT_EQ(orlune("report --json " + project, &d), 0);
    const host::JsonIndex list = d.find(d.root, "connectors");
    ASSERT_EQ(d.size(list), 2u);
    for (uint32_t i = 0; i < 2; ++i) {
        const host::JsonIndex line = d.element(list, i);
        EXPECT_EQ(get(d, line, "state"), "differs per page");
        EXPECT_EQ(get(d, line, "text"), i == 0 ? "@3" : "@2");
    }
    EXPECT_EQ(d.size(d.find(d.root, "strayTexts")), 0u);
    EXPECT_EQ(d.size(d.find(d.root, "userTexts")), 2u);  // one per page
}

}  // namespace
}  // namespace orlune::kicad

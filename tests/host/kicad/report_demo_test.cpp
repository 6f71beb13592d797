// `orlune report` on KiCad projects: every global and hierarchical label by
// its text and page, with the pages its signal reaches by KiCad's own
// connectivity; a label of a reused sheet whose lists differ per page.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/json.h"
#include "host/kicad/to_connectivity.h"
#include "host/kicad/to_design.h"
#include "kicad_test_support.h"

namespace orlune::kicad {
namespace {

namespace fs = std::filesystem;

// `orlune report --json PROJECT`, parsed; its exit status in `status`.
std::unique_ptr<host::JsonDocument> reportJson(const std::string& project, int& status) {
    FILE* pipe = ::popen((std::string(ORLUNE_BINARY) + " report --json '" + project + "' 2>/dev/null").c_str(), "r");
    std::string out;
    char buffer[4096];
    while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe))
        out += buffer;
    const int raw = pipe != nullptr ? ::pclose(pipe) : -1;
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    auto doc = std::make_unique<host::JsonDocument>();
    host::JsonError error;
    if (!host::parseJson(std::make_shared<const std::string>(out), *doc, error)) return nullptr;
    return doc;
}

std::string field(const host::JsonDocument& doc, host::JsonIndex object, std::string_view key) {
    const host::JsonIndex v = doc.find(object, key);
    return v == host::kNoNode || doc.type(v) == host::JsonType::Null ? "null" : std::string(doc.text(v));
}

TEST(KicadReport, DemoConnectorsByLabelAndPageWithThePagesTheirSignalsReach) {
    const struct {
        fs::path project;
        uint32_t connectors;
    } cases[] = {
        {test::kKicad6Demos / "video/video.kicad_pro", 162},
        {test::kKicad9Demos / "video/video.kicad_pro", 162},
        {test::kKicad9Demos / "kit-dev-coldfire-xilinx_5213/kit-dev-coldfire-xilinx_5213.kicad_pro", 43},
        {test::kKicad6Demos / "flat_hierarchy/flat_hierarchy.kicad_pro", 8},
        {test::kKicad9Demos / "pic_programmer/pic_programmer.kicad_pro", 4},
    };
    size_t tested = 0;
    for (const auto& c : cases) {
        if (!fs::exists(c.project)) continue;
        SCOPED_TRACE(c.project.string());
        ++tested;
        // KiCad's connectivity, in process: the pages where each net has pins.
        const sch::Project p = sch::readProject(c.project.string());
        const ConnectivityInput input = toConnectivityInput(p);
        const DesignView v = toDesign(p, input, computeConnectivity(input));
        std::map<int32_t, std::set<int32_t>> pagesOfNet;
        for (const host::Component& comp : v.design.components)
            if (comp.kind != 2)
                for (const host::Pin& pin : comp.pins)
                    if (pin.net != 0) pagesOfNet[pin.net].insert(pin.sheet);
        std::map<std::string, size_t> byRefDes;
        for (size_t k = 0; k < v.design.components.size(); ++k)
            byRefDes[v.design.components[k].refDes] = k;
        std::map<std::string, const host::Bus*> buses;
        for (const host::Bus& bus : v.design.buses)
            buses[bus.name] = &bus;

        int status = -1;
        const auto doc = reportJson(c.project.string(), status);
        ASSERT_TRUE(doc);
        EXPECT_EQ(status, 0);
        const host::JsonIndex list = doc->find(doc->root, "connectors");
        ASSERT_EQ(doc->size(list), c.connectors);
        for (uint32_t i = 0; i < doc->size(list); ++i) {
            const host::JsonIndex line = doc->element(list, i);
            const std::string refDes = field(*doc, line, "refDes");
            SCOPED_TRACE(refDes);
            ASSERT_TRUE(byRefDes.count(refDes));
            const size_t k = byRefDes[refDes];
            const ComponentOrigin& origin = v.components[k];
            const sch::SheetInstance& in = p.instances[size_t(origin.instance)];
            const sch::Label& label = p.fileOf(in).labels[size_t(origin.label)];
            EXPECT_EQ(field(*doc, line, "label"), label.text);
            EXPECT_EQ(field(*doc, line, "page"), in.pageString + " " + in.humanPath);
            EXPECT_EQ(field(*doc, line, "uuid"), label.uuid);
            EXPECT_EQ(field(*doc, line, "sheet"), std::to_string(in.page));
            // The pages listed are those where the signal (each member of a
            // bus) has pins, the label's own page left out.
            std::set<int32_t> expected;
            std::vector<int32_t> nets{v.design.components[k].pins.front().net};
            if (field(*doc, line, "bus") != "null") nets = buses.at(field(*doc, line, "bus"))->nets;
            for (int32_t net : nets)
                expected.insert(pagesOfNet[net].begin(), pagesOfNet[net].end());
            expected.erase(in.page);
            std::set<int32_t> listed;
            const host::JsonIndex sheets = doc->find(line, "sheets");
            for (uint32_t s = 0; s < doc->size(sheets); ++s)
                listed.insert(std::stoi(std::string(doc->text(doc->element(sheets, s)))));
            EXPECT_EQ(listed, expected);
        }
    }
    if (tested == 0) GTEST_SKIP() << "no KiCad demos installed";
}

// A global label in a file shown on pages 4 and 5, below a file that is
// itself shown twice: the lists differ ("@5" and "@4") and no sheet symbol
// is one per page, so no text is placed. A user's "@" text beside it is
// reported as such, and verify agrees.
TEST(KicadReport, AReusedLabelWhoseListsDifferPerPage) {
    const std::string root = "00000000-0000-0000-0000-0000000000aa", a = "a0000000-0000-0000-0000-000000000001",
                      b = "b0000000-0000-0000-0000-000000000002", leaf = "c0000000-0000-0000-0000-000000000003";
    const std::string mid =
        test::schematic("(sheet (at 10 10) (size 20 20) (uuid \"" + leaf +
                            "\") (property \"Sheetname\" \"L\" (at 0 0 0)) (property \"Sheetfile\" \"leaf.kicad_sch\" "
                            "(at 0 0 0)) (instances (project \"p\" (path \"/" +
                            root + "/" + a + "\" (page \"4\")) (path \"/" + root + "/" + b + "\" (page \"5\")))))",
                        "20250114", "d0000000-0000-0000-0000-000000000004");
    const std::string leafFile = test::schematic(
        "(lib_symbols (symbol \"l:R\" (symbol \"R_1_1\" (pin passive line (at 0 0 0) (length 2.54) (name \"~\" "
        "(effects (font (size 1.27 1.27)))) (number \"1\" (effects (font (size 1.27 1.27))))))))\n"
        "(text \"@4,5\" (at 10 10 0) (effects (font (size 1.27 1.27)) (justify left bottom)) (uuid "
        "\"f2000000-0000-0000-0000-000000000008\"))\n"
        "(global_label \"G\" (shape input) (at 50 50 0) (effects (font (size 1.27 1.27)) (justify left)) (uuid "
        "\"f0000000-0000-0000-0000-000000000006\"))\n"
        "(symbol (lib_id \"l:R\") (at 50 50 0) (unit 1) (uuid \"f1000000-0000-0000-0000-000000000007\") (property "
        "\"Reference\" \"R1\" (at 0 0 0)) (instances (project \"p\" (path \"/" +
            root + "/" + a + "/" + leaf + "\" (reference \"R1\") (unit 1)) (path \"/" + root + "/" + b + "/" + leaf +
            "\" (reference \"R2\") (unit 1)))))",
        "20250114", "e0000000-0000-0000-0000-000000000005");
    test::TempProject dir({{"top.kicad_sch", test::schematic(test::sheet(a, "A", "mid.kicad_sch", "2") +
                                                             test::sheet(b, "B", "mid.kicad_sch", "3") +
                                                             "(sheet_instances (path \"/\" (page \"1\")))")},
                           {"mid.kicad_sch", mid},
                           {"leaf.kicad_sch", leafFile}});
    int status = -1;
    const auto doc = reportJson(dir.path("top.kicad_sch"), status);
    ASSERT_TRUE(doc);
    EXPECT_EQ(status, 0);
    const host::JsonIndex list = doc->find(doc->root, "connectors");
    ASSERT_EQ(doc->size(list), 2u);
    const char* const pages[] = {"4 /A/L/", "5 /B/L/"};
    const char* const lists[] = {"5", "4"};
    for (uint32_t i = 0; i < 2; ++i) {
        const host::JsonIndex line = doc->element(list, i);
        EXPECT_EQ(field(*doc, line, "label"), "G");
        EXPECT_EQ(field(*doc, line, "page"), pages[i]);
        EXPECT_EQ(field(*doc, line, "state"), "differs per page");
        EXPECT_EQ(field(*doc, line, "expected"), "null");
        EXPECT_EQ(std::string(doc->text(doc->element(doc->find(line, "sheets"), 0))), lists[i]);
    }
    EXPECT_EQ(doc->size(doc->find(doc->root, "strayTexts")), 0u);
    const host::JsonIndex users = doc->find(doc->root, "userTexts");
    ASSERT_EQ(doc->size(users), 2u);  // one per page the file is shown on
    EXPECT_EQ(field(*doc, doc->element(users, 0), "text"), "@4,5");
    const std::string verify =
        std::string(ORLUNE_BINARY) + " verify '" + dir.path("top.kicad_sch") + "' >/dev/null 2>&1";
    EXPECT_EQ(WEXITSTATUS(std::system(verify.c_str())), 0);
}

}  // namespace
}  // namespace orlune::kicad

// Each label keeps its own text, by the record of the pass rather than by
// where the text stands: the real program on generated projects with
// labels stacked closer than the gap to their texts, drawn twice at one
// point and copied with their uuid; ORLUNE's texts whose label is gone;
// lists of sheets reused inside reused sheets, drawn by kicad-cli.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "host/json.h"
#include "host/kicad/sexpr.h"
#include "host/kicad/uuid.h"
#include "kicad10.h"
#include "kicad_test_support.h"

namespace orlune::kicad {
namespace {

namespace fs = std::filesystem;

using test::orlune;

using test::filesOf;

const std::string kRoot = "00000000-0000-0000-0000-0000000000aa";
const std::string kFont = "(effects (font (size 1.27 1.27)) (justify left))";

std::string uuidOf(int n) {
    char b[40];
    std::snprintf(b, sizeof b, "%08x-0000-4000-8000-%012x", 0x1abe1000 + n / 4096, n);
    return b;
}

// A page of global labels, each on a symbol pin (or alone, so that lists
// differ): columns of vertical labels 2.54 mm apart, horizontal rows, a
// label drawn twice at one point, a copied label with its uuid.
std::string pageItems(std::mt19937& rng, const std::string& path, int& serial, int& reference) {
    std::string items =
        "(lib_symbols (symbol \"l:R\" (symbol \"R_1_1\" (pin passive line (at 0 0 0) (length 2.54) (name \"~\" " +
        kFont + ") (number \"1\" " + kFont + ")))))\n";
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::string lastUuid;
    for (int column = 0; column < 3; ++column) {
        const int spin = column == 0 ? 90 : column == 1 ? 270 : 0;
        const int count = 2 + pick(5);
        for (int k = 0; k < count; ++k) {
            const double x = spin == 0 ? 150 : 50 + 40 * column;
            const double y = spin == 0 ? 40 + 10.16 * k : 60 + 2.54 * k;
            const int times = pick(4) == 0 ? 2 : 1;  // drawn twice at one point
            const std::string name = "G" + std::to_string(pick(6));
            for (int t = 0; t < times; ++t) {
                // A copied label keeps the uuid of the one before.
                const std::string uuid = !lastUuid.empty() && pick(4) == 0 ? lastUuid : uuidOf(++serial);
                lastUuid = uuid;
                char at[64];
                std::snprintf(at, sizeof at, "(at %g %g %d)", x, y, spin);
                items +=
                    "(global_label \"" + name + "\" (shape input) " + at + " " + kFont + " (uuid \"" + uuid + "\"))\n";
            }
            if (pick(3) != 0) {
                char at[64];
                std::snprintf(at, sizeof at, "(at %g %g 0)", x, y);
                const std::string ref = "R" + std::to_string(++reference);
                items += "(symbol (lib_id \"l:R\") " + std::string(at) + " (unit 1) (uuid \"" + uuidOf(++serial) +
                         "\") (property \"Reference\" \"" + ref + "\" (at 0 0 0)) (instances (project \"p\" (path \"" +
                         path + "\" (reference \"" + ref + "\") (unit 1)))))\n";
            }
        }
    }
    return items;
}

// Right after update, verify agrees; a second update changes no byte and
// delete gives every byte back, on many generated projects.
TEST(KicadLabelOwnership, VerifyAgreesRightAfterUpdateOnGeneratedProjects) {
    for (unsigned seed = 1; seed <= 16; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        const std::string version = seed % 2 ? "20250114" : "20231120";
        int serial = 0, reference = 0;
        const std::string a = uuidOf(900000), b = uuidOf(900001);
        std::string root = pageItems(rng, "/" + kRoot, serial, reference) + test::sheet(a, "A", "a.kicad_sch", "2") +
                           test::sheet(b, "B", "b.kicad_sch", "3");
        const test::TempProject dir(
            {{"top.kicad_sch", test::schematic(root, version)},
             {"a.kicad_sch",
              test::schematic(pageItems(rng, "/" + kRoot + "/" + a, serial, reference), version, uuidOf(900002))},
             {"b.kicad_sch",
              test::schematic(pageItems(rng, "/" + kRoot + "/" + b, serial, reference), version, uuidOf(900003))}});
        const fs::path folder = fs::path(dir.path("top.kicad_sch")).parent_path();
        const std::string project = "'" + dir.path("top.kicad_sch") + "'";
        const auto before = filesOf(folder);
        std::string out;
        ASSERT_EQ(orlune("update --list " + project, out), 0) << out;
        const auto updated = filesOf(folder);
        // Every text listed is written: one text node per listed text (one
        // line of six tab-separated fields each).
        const std::regex line("(^|\n)[^\t\n]*(\t[^\t\n]*){5}(?=\n)");
        const auto listed = static_cast<size_t>(
            std::distance(std::sregex_iterator(out.begin(), out.end(), line), std::sregex_iterator()));
        size_t written = 0;
        for (const auto& [path, bytes] : updated)
            for (size_t at = bytes.find("(text \"@"); at != std::string::npos; at = bytes.find("(text \"@", at + 1))
                ++written;
        EXPECT_GT(written, 0u);
        EXPECT_EQ(written, listed) << out;
        out.clear();
        EXPECT_EQ(orlune("verify " + project, out), 0) << out;
        out.clear();
        ASSERT_EQ(orlune("update " + project, out), 0) << out;
        EXPECT_TRUE(updated == filesOf(folder)) << "a second update changed a file";
        ASSERT_EQ(orlune("delete " + project, out), 0) << out;
        EXPECT_TRUE(before == filesOf(folder)) << "delete left a trace";
        // A label dragged onto another's point after update keeps a text of
        // its own: update puts every text right again, verify agrees.
        for (const auto& [path, bytes] : updated)
            std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        const fs::path top = dir.path("top.kicad_sch");
        std::string edited = updated.at(top);
        const std::regex at(R"(\(global_label "[^"]*" \(shape input\) \(at ([^)]*)\))");
        std::vector<std::smatch> labels(std::sregex_iterator(edited.begin(), edited.end(), at), std::sregex_iterator());
        const auto other =
            std::find_if(labels.begin(), labels.end(), [&](const std::smatch& m) { return m[1] != labels.front()[1]; });
        ASSERT_NE(other, labels.end());
        edited.replace(static_cast<size_t>(labels.front().position(1)), labels.front()[1].length(), (*other)[1].str());
        std::ofstream(top, std::ios::binary | std::ios::trunc) << edited;
        out.clear();
        ASSERT_EQ(orlune("update " + project, out), 0) << out;
        out.clear();
        EXPECT_EQ(orlune("verify " + project, out), 0) << out;
    }
}

// A label deleted in KiCad after update leaves its text: ORLUNE knows it as
// its own by its uuid, report names it, verify finds it, update and delete
// take it away (a user's "@" text stays).
TEST(KicadLabelOwnership, TextsWhoseLabelIsGoneAreRemoved) {
    const std::string label =
        "(global_label \"GONE\" (shape input) (at 50 60 0) " + kFont + " (uuid \"" + uuidOf(1) + "\"))\n";
    const std::string symbol = "(symbol (lib_id \"l:R\") (at 50 60 0) (unit 1) (uuid \"" + uuidOf(2) +
                               "\") (property \"Reference\" \"R1\" (at 0 0 0)) (instances (project \"p\" (path \"/" +
                               kRoot + "/" + uuidOf(3) + "\" (reference \"R1\") (unit 1)))))\n";
    const std::string lib =
        "(lib_symbols (symbol \"l:R\" (symbol \"R_1_1\" (pin passive line (at 0 0 0) (length "
        "2.54) (name \"~\" " +
        kFont + ") (number \"1\" " + kFont + ")))))\n";
    const std::string user = "(text \"@mine\" (at 10 10 0) " + kFont + " (uuid \"" + uuidOf(4) + "\"))\n";
    const test::TempProject dir(
        {{"top.kicad_sch",
          test::schematic(lib + user + "(global_label \"GONE\" (shape input) (at 30 30 0) " + kFont + " (uuid \"" +
                          uuidOf(5) + "\"))\n(symbol (lib_id \"l:R\") (at 30 30 0) (unit 1) (uuid \"" + uuidOf(6) +
                          "\") (property \"Reference\" \"R2\" (at 0 0 0)) (instances (project \"p\" (path \"/" + kRoot +
                          "\" (reference \"R2\") (unit 1)))))\n" + test::sheet(uuidOf(3), "A", "a.kicad_sch", "2"))},
         {"a.kicad_sch", test::schematic(lib + label + symbol, "20250114", uuidOf(7))}});
    const std::string project = "'" + dir.path("top.kicad_sch") + "'";
    std::string out;
    ASSERT_EQ(orlune("update " + project, out), 0) << out;
    const std::string placed = readFile(dir.path("a.kicad_sch"));
    ASSERT_NE(placed.find("(text \"@1\""), std::string::npos) << placed;
    // The label goes, as KiCad would save it: its text stays behind.
    std::string edited = placed;
    edited.erase(edited.find(label), label.size());
    std::ofstream(dir.path("a.kicad_sch"), std::ios::binary | std::ios::trunc) << edited;
    out.clear();
    EXPECT_EQ(orlune("report " + project, out), 0);
    EXPECT_TRUE(std::regex_search(out, std::regex("\"@1\" +stray"))) << out;
    out.clear();
    EXPECT_EQ(orlune("verify " + project, out), 4);
    EXPECT_NE(out.find("\"@1\" stands beside no connector"), std::string::npos) << out;
    const std::string commands[] = {"update", "delete"};
    for (const std::string& command : commands) {
        SCOPED_TRACE(command);
        std::ofstream(dir.path("a.kicad_sch"), std::ios::binary | std::ios::trunc) << edited;
        out.clear();
        ASSERT_EQ(orlune(command + " " + project, out), 0) << out;
        const std::string now = readFile(dir.path("a.kicad_sch"));
        EXPECT_EQ(now.find("(text \"@1\""), std::string::npos) << now;
        EXPECT_NE(readFile(dir.path("top.kicad_sch")).find("\"@mine\""), std::string::npos);
        out.clear();
        EXPECT_EQ(orlune("verify " + project, out), 0) << out;
    }
}

// vme-wren as KiCad 9 and as KiCad 10 save it, each drawn by its own KiCad.
struct VmeWren {
    std::string name;
    fs::path demo;
    bool kicad10;
};

class KicadNestedReuse : public ::testing::TestWithParam<VmeWren> {};

// vme-wren reuses io_driver four times in io_driver_8x, itself reused four
// times: every label gets its text, and kicad-cli draws on every page the
// list report gives that page's label (each text's shown value is written
// into the SVG as a <desc> element).
TEST_P(KicadNestedReuse, SheetsReusedInsideReusedSheetsShowEachPagesList) {
    const fs::path demo = GetParam().demo;
    if (!fs::exists(demo)) GTEST_SKIP() << "no KiCad demos";
    std::string cli = "kicad-cli";
    if (GetParam().kicad10) {
        REQUIRE_KICAD_CLI_10();
        cli = test::kicadCli10();
    } else if (std::system("command -v kicad-cli >/dev/null 2>&1") != 0) {
        if (std::getenv("CI")) FAIL() << "kicad-cli is missing in CI";
        GTEST_SKIP() << "kicad-cli is not installed";
    }
    test::TempProject tmp({});
    const fs::path dir = tmp.path("p");
    fs::copy(demo, dir, fs::copy_options::recursive);
    const std::string pro = "'" + (dir / "vme-wren.kicad_pro").string() + "'";
    std::string out;
    ASSERT_EQ(orlune("update " + pro, out), 0) << out;
    EXPECT_EQ(out.find("no text placed"), std::string::npos) << out;
    out.clear();
    EXPECT_EQ(orlune("verify " + pro, out), 0) << out;
    std::string json;
    ASSERT_EQ(orlune("report --json " + pro, json, false), 0);
    host::JsonDocument d;
    host::JsonError error;
    ASSERT_TRUE(host::parseJson(std::make_shared<const std::string>(json), d, error));
    // The lists each page must show, by the page's SVG file.
    std::map<std::string, std::multiset<std::string>> wanted;
    const host::JsonIndex lines = d.find(d.root, "connectors");
    size_t reusedTwice = 0;
    for (uint32_t k = 0; k < d.size(lines); ++k) {
        const host::JsonIndex line = d.element(lines, k);
        const host::JsonIndex expected = d.find(line, "expected");
        if (d.type(expected) != host::JsonType::String) continue;
        std::string page(d.text(d.find(line, "page")));
        page = page.substr(page.find(' ') + 1);  // the path: "/io_drivers_fp/bank0/io01/"
        reusedTwice += page.find("/io01/") != std::string::npos;
        std::string name = "vme-wren";
        for (size_t at = 1, next; (next = page.find('/', at)) != std::string::npos; at = next + 1)
            name += "-" + page.substr(at, next - at);
        wanted[name + ".svg"].insert(std::regex_replace(std::string(d.text(expected)), std::regex("\r\n"), "\n"));
    }
    EXPECT_GT(reusedTwice, 0u);
    const std::map<std::string, std::string> pages = test::drawnTexts(dir / "vme-wren.kicad_sch", cli);
    for (const auto& [file, lists] : wanted) {
        SCOPED_TRACE(file);
        ASSERT_TRUE(pages.count(file));
        const std::string& drawn = pages.at(file);
        std::multiset<std::string> shown;
        const std::regex desc("<desc>(@[^<]*)</desc>");
        for (auto it = std::sregex_iterator(drawn.begin(), drawn.end(), desc); it != std::sregex_iterator(); ++it)
            shown.insert((*it)[1].str());
        for (const std::string& list : std::set<std::string>(lists.begin(), lists.end()))
            EXPECT_GE(shown.count(list), lists.count(list)) << list << " is not drawn on its page";
        EXPECT_EQ(drawn.find("${ORL_"), std::string::npos) << "a reference left unresolved";
    }
}

INSTANTIATE_TEST_SUITE_P(Demos, KicadNestedReuse,
                         ::testing::Values(VmeWren{"v9", test::kKicad9Demos / "vme-wren", false},
                                           VmeWren{"v10", test::kKicad10Demos / "vme-wren", true}),
                         [](const auto& p) { return p.param.name; });

// Two projects of one folder that share a sheet (board variants): each
// shows its own list there, through a field of its own root's sheet
// symbol; neither takes the other's text for a user's or a stale one, and
// the second update leaves the shared sheet as the first wrote it. A plain
// text another project placed there earlier goes. Delete takes the shared
// reference with it; the other project's next update puts it back.
TEST(KicadLabelOwnership, ProjectsSharingASheetEachShowTheirOwnList) {
    const std::string lib =
        "(lib_symbols (symbol \"l:R\" (symbol \"R_1_1\" (pin passive line (at 0 0 0) (length 2.54) (name \"~\" " +
        kFont + ") (number \"1\" " + kFont + ")))))\n";
    const std::string ra = uuidOf(1), rb = uuidOf(2), sa = uuidOf(3), sb = uuidOf(5);
    // A label X with a pin under it, the pin's reference on each path.
    auto page = [&](int n, const std::vector<std::string>& paths, const std::string& extra = "") {
        std::string instances;
        for (const std::string& path : paths)
            instances += "(project \"p\" (path \"" + path + "\" (reference \"R" + std::to_string(n) + "\") (unit 1)))";
        return test::schematic(lib + extra + "(global_label \"X\" (shape input) (at 50 50 0) " + kFont + " (uuid \"" +
                                   uuidOf(10 * n) +
                                   "\"))\n(symbol (lib_id \"l:R\") (at 50 50 0) (unit 1) "
                                   "(uuid \"" +
                                   uuidOf(10 * n + 1) + "\") (property \"Reference\" \"R" + std::to_string(n) +
                                   "\" (at 0 0 0)) (instances " + instances + "))\n",
                               "20250114", uuidOf(10 * n + 2));
    };
    const std::string stale = "(text \"@9\" (at 60 50 0) " + kFont + " (uuid \"" +
                              ownedTextUuid(uuidOf(10), "/" + rb + "/" + sb, 0) + "\"))\n";
    const test::TempProject dir(
        {{"a.kicad_pro", "{}"},
         {"b.kicad_pro", "{}"},
         {"a.kicad_sch", test::schematic(test::sheet(sa, "S", "shared.kicad_sch", "2", ra) +
                                             test::sheet(uuidOf(4), "O", "onlya.kicad_sch", "3", ra),
                                         "20250114", ra)},
         {"b.kicad_sch", test::schematic(test::sheet(sb, "S", "shared.kicad_sch", "2", rb) +
                                             test::sheet(uuidOf(6), "O", "onlyb.kicad_sch", "4", rb),
                                         "20250114", rb)},
         {"shared.kicad_sch", page(1, {"/" + ra + "/" + sa, "/" + rb + "/" + sb}, stale)},
         {"onlya.kicad_sch", page(2, {"/" + ra + "/" + uuidOf(4)})},
         {"onlyb.kicad_sch", page(3, {"/" + rb + "/" + uuidOf(6)})}});
    const std::string a = "'" + dir.path("a.kicad_pro") + "'", b = "'" + dir.path("b.kicad_pro") + "'";
    const auto texts = [&] {
        const std::string bytes = readFile(dir.path("shared.kicad_sch"));
        size_t n = 0;
        for (size_t at = bytes.find("(text "); at != std::string::npos; at = bytes.find("(text ", at + 1))
            ++n;
        return n;
    };
    std::string out;
    ASSERT_EQ(orlune("update " + a, out), 0) << out;
    ASSERT_EQ(orlune("update " + b, out), 0) << out;
    const std::string shared = readFile(dir.path("shared.kicad_sch"));
    EXPECT_EQ(1u, texts()) << shared;
    EXPECT_EQ(std::string::npos, shared.find("\"@9\""));
    ASSERT_EQ(orlune("update " + a, out), 0) << out;
    EXPECT_EQ(shared, readFile(dir.path("shared.kicad_sch")));
    for (const std::string& project : {a, b}) {
        out.clear();
        EXPECT_EQ(orlune("verify " + project, out), 0) << project << out;
    }
    EXPECT_NE(std::string::npos, readFile(dir.path("a.kicad_sch")).find("\"@3\""));
    EXPECT_NE(std::string::npos, readFile(dir.path("b.kicad_sch")).find("\"@4\""));
    ASSERT_EQ(orlune("delete " + a, out), 0) << out;
    EXPECT_EQ(0u, texts());
    EXPECT_EQ(std::string::npos, readFile(dir.path("a.kicad_sch")).find("ORL_"));
    out.clear();
    EXPECT_EQ(orlune("verify " + b, out), 4) << out;
    ASSERT_EQ(orlune("update " + b, out), 0) << out;
    out.clear();
    EXPECT_EQ(orlune("verify " + b, out), 0) << out;
}

}  // namespace
}  // namespace orlune::kicad

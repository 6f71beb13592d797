#include <gtest/gtest.h>

#include <sys/wait.h>
#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>

#include "host/kicad/project_file_edit.h"
#include "host/kicad/uuid.h"
#include "host/kicad/write_back.h"
#include "kicad_test_support.h"

namespace orlune::kicad {
namespace {

namespace fs = std::filesystem;

void writeAll(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

// kicad-cli is the oracle; without it these checks skip, except in CI.
#define REQUIRE_KICAD_CLI()                                                \
    do {                                                                   \
        if (!test::haveKicadCli()) {                                       \
            if (std::getenv("CI")) FAIL() << "kicad-cli is missing in CI"; \
            GTEST_SKIP() << "kicad-cli is not installed";                  \
        }                                                                  \
    } while (0)

// A netlist without the date, the sheets' ORLUNE fields and the uuids of a
// part's units (KiCad lists them in any order). KiCad 10 writes a list over
// several lines: a (tstamps …) or (property …) left open on its line is
// taken whole.
std::string comparable(const std::string& s) {
    if (s.empty()) return "kicad-cli failed";
    std::string kept;
    std::string block;  // the lines of an open list
    int open = 0;
    for (size_t b = 0; b < s.size();) {
        size_t e = s.find('\n', b);
        e = e == std::string::npos ? s.size() : e + 1;
        const std::string line = s.substr(b, e - b);
        b = e;
        size_t from = 0;
        if (open == 0) {
            from = std::min(line.find("(tstamps"), line.find("(property"));
            if (from == std::string::npos) from = line.size();
        }
        for (size_t k = from; k < line.size(); ++k)
            open += line[k] == '(' ? 1 : line[k] == ')' ? -1 : 0;
        block += line;
        if (open > 0) continue;
        open = 0;
        if (block.find("(date \"") == std::string::npos && block.find("(name \"ORL_") == std::string::npos &&
            block.find("(tstamps") == std::string::npos)
            kept += block;
        block.clear();
    }
    return kept + block;
}

// The netlist `cli` exports for a root schematic, comparable.
std::string netlist(const fs::path& root, const std::string& cli) {
    return comparable(test::exportNetlist(root, cli));
}

// KiCad's netlist of the demo as installed, comparable.
std::string netlist(const test::Demo& demo) {
    const fs::path cached = test::demoNetlist(demo);
    return comparable(cached.empty() ? std::string() : readFile(cached));
}

std::vector<std::string_view> linesOf(const std::string& s) {
    std::vector<std::string_view> out;
    for (size_t b = 0; b < s.size();) {
        const size_t e = std::min(s.find('\n', b), s.size());
        out.emplace_back(s.data() + b, e - b);
        b = e + 1;
    }
    return out;
}

// The lines of `after` are those of `before` in order, with other lines
// put in between them.
void expectOnlyLinesInserted(const std::string& before, const std::string& after) {
    const auto a = linesOf(before), b = linesOf(after);
    size_t i = 0;
    for (size_t j = 0; j < b.size() && i < a.size(); ++j)
        if (a[i] == b[j]) ++i;
    EXPECT_EQ(i, a.size()) << "line " << i + 1 << " of the file changed";
}

std::set<std::string> listHeads(const Sexpr& doc) {
    std::set<std::string> out;
    for (NodeIndex i = 0; i < doc.size(); ++i)
        if (doc.isList(i)) out.insert(std::string(doc.head(i)));
    return out;
}

// A text for every global and hierarchical label on every page: a short
// list, a long one (KiCad 6 and 7 write those on more lines) and one of two
// rows; every other list names its page, so that lists on reused sheets
// differ per page.
std::vector<PlacedText> textsForLabels(const sch::Project& p) {
    std::vector<PlacedText> out;
    for (size_t i = 0; i < p.instances.size(); ++i) {
        const sch::SchematicFile& f = p.fileOf(p.instances[i]);
        for (size_t k = 0; k < f.labels.size(); ++k) {
            const sch::Label& l = f.labels[k];
            if (l.kind != sch::LabelKind::Global && l.kind != sch::LabelKind::Hierarchical) continue;
            PlacedText t{int(i), int(k), 0, {}};
            t.params.text = k % 3 == 0   ? "@2,5"
                            : k % 3 == 1 ? "@1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21"
                                         : "@1,2\r\n3,4";
            if (k % 2 == 0) t.params.text += "," + p.instances[i].pageString;
            t.params.x = int64_t{l.at.x} * 10 + 25000;
            t.params.y = int64_t{l.at.y} * 10;
            t.params.run = runFor(l.spin == 180 ? 6 : 4, l.spin);
            t.params.height = l.size.height;
            t.params.width = l.size.width;
            out.push_back(t);
        }
    }
    return out;
}

// "SH_TYPE" on every other global and hierarchical label where the
// version allows it.
std::vector<Insertion> shTypes(const sch::SchematicFile& f) {
    std::vector<Insertion> out;
    for (size_t k = 0; k < f.labels.size() && labelFieldsAllowed(f.version); k += 2)
        if (f.labels[k].kind == sch::LabelKind::Global || f.labels[k].kind == sch::LabelKind::Hierarchical)
            out.push_back(shTypeInsertion(f, f.labels[k]));
    return out;
}

std::vector<NodeIndex> shTypeFields(const sch::SchematicFile& f) {
    std::vector<NodeIndex> out;
    for (const sch::Label& l : f.labels)
        if (const NodeIndex field = findField(f.doc, l.node, "SH_TYPE"); field != kNone) out.push_back(field);
    return out;
}

// List heads a file of this version may gain from ORLUNE.
std::set<std::string> headsAllowed(const sch::SchematicFile& f) {
    std::set<std::string> out = listHeads(f.doc);
    out.insert({"text", "at", "effects", "font", "size", "justify", "uuid"});
    if (f.version >= kTabFormVersion) out.insert({"exclude_from_sim", "hide"});
    if (labelFieldsAllowed(f.version)) out.insert("property");
    return out;
}

class KicadWriteBackDemos : public ::testing::TestWithParam<test::Demo> {};

// Each multi-page demo, in a copy: texts (and "SH_TYPE" fields) go in,
// KiCad reads the same netlist, only inserted lines differ, no file gains
// a token its version lacks, the same texts again change nothing, and
// removing everything gives back every byte.
TEST_P(KicadWriteBackDemos, TextsGoInAndOutLeavingEveryOtherByte) {
    const test::Demo& demo = GetParam();
    if (demo.project.empty()) GTEST_SKIP() << "no KiCad demos installed";
    REQUIRE_KICAD_CLI();
    REQUIRE_KICAD_CLI_10();
    test::TempProject tmp({});
    const fs::path dir = tmp.path("p");
    fs::copy(demo.project.parent_path(), dir, fs::copy_options::recursive);
    const fs::path root = dir / fs::path(demo.project).replace_extension(".kicad_sch").filename();
    const std::string before = netlist(demo);
    const sch::Project p = sch::readProject(root.string());
    const std::vector<PlacedText> texts = textsForLabels(p);
    const WriteBack plan = planWriteBack(p, texts);
    EXPECT_TRUE(plan.foreignTexts.empty());
    for (const auto& [f, bytes] : plan.files) {
        const sch::SchematicFile& file = p.files[size_t(f)];
        expectOnlyLinesInserted(file.doc.bytes(), bytes);
        const std::set<std::string> allowed = headsAllowed(file);
        for (const std::string& h : listHeads(sch::readSchematic(file.path, bytes).doc))
            EXPECT_TRUE(allowed.count(h)) << file.path << " gained (" << h << " …)";
        writeAll(file.path, bytes);
    }
    for (const sch::SchematicFile& file : sch::readProject(root.string()).files) {
        const std::string edited = applyEdits(file, {}, shTypes(file));
        expectOnlyLinesInserted(file.doc.bytes(), edited);
        writeAll(file.path, edited);
    }
    const std::string after = netlist(root, test::demoCli(demo));
    const auto diff = std::mismatch(before.begin(), before.end(), after.begin(), after.end());
    EXPECT_TRUE(diff.first == before.end() && diff.second == after.end())
        << "KiCad reads another netlist from line " << std::count(before.begin(), diff.first, '\n') + 1 << ": "
        << after.substr(static_cast<size_t>(diff.second - after.begin()), 200);
    const sch::Project q = sch::readProject(root.string());
    EXPECT_TRUE(planWriteBack(q, texts).files.empty()) << "the same texts again changed a file";
    std::map<int, std::string> deleted;
    for (auto& [f, bytes] : planWriteBack(q, {}).files)
        deleted[f] = std::move(bytes);
    for (size_t f = 0; f < q.files.size(); ++f) {
        const std::string& bytes = deleted.count(int(f)) ? deleted[int(f)] : q.files[f].doc.bytes();
        const sch::SchematicFile file = sch::readSchematic(q.files[f].path, bytes);
        EXPECT_EQ(applyEdits(file, shTypeFields(file), {}), p.files[f].doc.bytes()) << file.path;
    }
}

INSTANTIATE_TEST_SUITE_P(Demos, KicadWriteBackDemos, ::testing::ValuesIn(test::multiPageDemos()), test::DemoName());

// The nodes as KiCad writes them for each version.
TEST(KicadTextNode, EachVersionGetsKicadsOwnForm) {
    const struct {
        int64_t version;
        TextRun run;
        std::string text;
        std::string expected;
    } cases[] = {
        {20211123, TextRun::Right, "@2,5",
         "  (text \"@2,5\" (at 104.14 48.26 0)\n    (effects (font (size 1.27 1.27)) (justify left bottom))\n"
         "    (uuid 0123)\n  )"},
        {20211123, TextRun::Left, "@1\r\n2",
         "  (text \"@1\\n2\" (at 104.14 48.26 180)\n    (effects (font (size 1.27 1.27)) (justify right bottom))\n"
         "    (uuid 0123)\n  )"},
        {20211123, TextRun::Down, std::string("@") + std::string(49, '1'),
         "  (text \"@" + std::string(49, '1') +
             "\"\n    (at 104.14 48.26 270)\n    (effects (font (size 1.27 1.27)) (justify right bottom))\n"
             "    (uuid 0123)\n  )"},
        {20230121, TextRun::Left, "@\"x\\",
         "  (text \"@\\\"x\\\\\" (at 104.14 48.26 0)\n    (effects (font (size 1.27 1.27)) (justify right bottom))\n"
         "    (uuid 0123)\n  )"},
        {20230121, TextRun::Down, "@3",
         "  (text \"@3\" (at 104.14 48.26 90)\n    (effects (font (size 1.27 1.27)) (justify right bottom))\n"
         "    (uuid 0123)\n  )"},
        {20250114, TextRun::Up, "@2,5",
         "\t(text \"@2,5\"\n\t\t(exclude_from_sim no)\n\t\t(at 104.14 48.26 90)\n\t\t(effects\n\t\t\t(font\n"
         "\t\t\t\t(size 1.27 1.27)\n\t\t\t)\n\t\t\t(justify left bottom)\n\t\t)\n\t\t(uuid \"0123\")\n\t)"},
    };
    for (const auto& c : cases) {
        TextParams t{c.text, 10414000, 4826004, c.run, 12700, 12700, "0123"};
        EXPECT_EQ(textNode(t, c.version), c.expected) << c.version;
    }
    // KiCad's rounding to internal units and its number format.
    for (const auto& [db, text] : std::vector<std::pair<int64_t, std::string>>{
             {0, "0"}, {-381000, "-3.81"}, {23813075, "238.1308"}, {-15, "-0.0002"}, {4, "0"}, {1000000000, "10000"}})
        EXPECT_EQ(formatIu(dbToIu(db)), text) << db;
    EXPECT_EQ(std::vector({runFor(4, 0), runFor(6, 180), runFor(4, 90), runFor(6, 270)}),
              std::vector({TextRun::Right, TextRun::Left, TextRun::Up, TextRun::Down}));
    // SHA-1's own test vectors (one and two blocks), and the version 5 layout.
    auto hex = [](std::string_view s) {
        std::string out;
        for (uint8_t b : sha1(s))
            out += "0123456789abcdef"[b >> 4], out += "0123456789abcdef"[b & 15];
        return out;
    };
    EXPECT_EQ(hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    const std::string u = ownedTextUuid("11111111-0000-0000-0000-000000000001", "/a", 0);
    EXPECT_TRUE(u.size() == 36 && u[14] == '5' && std::string("89ab").find(u[19]) != std::string::npos) << u;
    EXPECT_NE(u, ownedTextUuid("11111111-0000-0000-0000-000000000001", "/a", 1));
    EXPECT_EQ(
        hiddenFieldNode({"ORL_1", "@2", {1000, 20000}, 12700, 12700, 2}, 20211123, 2),
        "    (property \"ORL_1\" \"@2\" (id 2) (at 0.1 2 0)\n      (effects (font (size 1.27 1.27)) hide)\n    )");
    EXPECT_EQ(
        hiddenFieldNode({"SH_TYPE", "1", {0, 0}, 12700, 12700, 0}, 20231120, 2),
        "\t\t(property \"SH_TYPE\" \"1\"\n\t\t\t(at 0 0 0)\n\t\t\t(effects\n\t\t\t\t(font\n\t\t\t\t\t(size 1.27 1.27)\n"
        "\t\t\t\t)\n\t\t\t\t(hide yes)\n\t\t\t)\n\t\t)");
}

// Where new texts go, and that taking them out again gives back every
// byte, in each layout a file can have.
TEST(KicadWriteBack, TextsGoWhereKicadPutsThemAndComeOutWithoutATrace) {
    const std::string label =
        "  (hierarchical_label \"A\" (shape input) (at 10 20 0)\n"
        "    (effects (font (size 1.27 1.27)) (justify left))\n    (uuid 11111111-0000-0000-0000-000000000001)\n  )\n";
    const std::string v6 =
        "(kicad_sch (version 20211123) (generator eeschema)\n\n  (uuid 00000000-0000-0000-0000-0000000000aa)\n\n"
        "  (paper \"A4\")\n\n  (wire (pts (xy 0 20) (xy 10 20)))\n\n" +
        label + ")\n";
    const std::string userText =
        "  (text \"@9 by hand\" (at 1 1 0)\n    (effects (font (size 1.27 1.27)) (justify left bottom))\n"
        "    (uuid 22222222-0000-0000-0000-000000000002)\n  )\n";
    const std::string v6WithText =
        "(kicad_sch (version 20211123) (generator eeschema)\n\n  (paper \"A4\")\n\n" + userText + "\n" + label + ")\n";
    const std::string v9 =
        "(kicad_sch\n\t(version 20250114)\n\t(generator \"eeschema\")\n\t(uuid "
        "\"00000000-0000-0000-0000-0000000000aa\")\n"
        "\t(paper \"A4\")\n\t(lib_symbols)\n\t(hierarchical_label \"A\"\n\t\t(shape input)\n\t\t(at 10 20 0)\n"
        "\t\t(effects\n\t\t\t(font\n\t\t\t\t(size 1.27 1.27)\n\t\t\t)\n\t\t\t(justify left)\n\t\t)\n"
        "\t\t(uuid \"11111111-0000-0000-0000-000000000001\")\n\t)\n)\n";
    const std::string compact =
        "(kicad_sch (version 20230121) (generator eeschema) (paper \"A4\") (hierarchical_label \"A\" "
        "(shape input) (at 10 20 0) (effects (font (size 1.27 1.27))) (uuid 11111111-0000-0000-0000-000000000001)))";
    const std::string v6NoBlank =
        "(kicad_sch (version 20211123) (generator eeschema)\n\n  (paper \"A4\")\n\n  (wire (pts (xy 0 20) (xy 10 "
        "20)))\n" +
        label + ")\n";
    const std::string v6WiresLast = "(kicad_sch (version 20211123) (generator eeschema)\n\n  (paper \"A4\")\n\n" +
                                    label + "\n  (wire (pts (xy 0 20) (xy 10 20)))\n)\n";
    std::string v9Blank = std::regex_replace(v9, std::regex("\t\\(hierarchical_label"), "\n\t(hierarchical_label");
    v9Blank = std::regex_replace(v9Blank, std::regex("\t\\)\n\\)\n$"), "\t)\n\n)\n");
    const struct {
        std::string name, bytes, textAfter;  // the new text follows this
    } cases[] = {
        {"KiCad 6, no text", v6, "(xy 10 20)))\n\n"},
        {"KiCad 6, CRLF", std::regex_replace(v6, std::regex("\n"), "\r\n"), "(xy 10 20)))\r\n\r\n"},
        {"KiCad 6, a user's text", v6WithText, "000000000002)\n  )\n"},
        {"KiCad 9", v9, "(lib_symbols)\n"},
        {"compact", compact, "(paper \"A4\")\n"},
        {"KiCad 6, no blank line before the labels", v6NoBlank, "(xy 10 20)))\n"},
        {"KiCad 6, wires last", v6WiresLast, "(paper \"A4\")\n\n"},
        {"KiCad 6, a user's text, CRLF", std::regex_replace(v6WithText, std::regex("\n"), "\r\n"),
         "000000000002)\r\n  )\r\n"},
        {"KiCad 9, CRLF", std::regex_replace(v9, std::regex("\n"), "\r\n"), "(lib_symbols)\r\n"},
        {"KiCad 9, blank lines", v9Blank, "(lib_symbols)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const sch::SchematicFile f = sch::readSchematic(c.name, c.bytes);
        const sch::Label& l = f.labels.at(0);
        const std::string path = "/00000000-0000-0000-0000-0000000000aa";
        TextParams t{"@2,3", 1100000, 2000000, TextRun::Right, 12700, 12700, ownedTextUuid(l.uuid, path, 0)};
        const std::string edited = applyEdits(f, {}, {{0, textNode(t, f.version)}});
        const size_t at = edited.find(c.textAfter);
        ASSERT_NE(at, std::string::npos) << edited;
        const std::string next = f.version >= kTabFormVersion ? "\t(text " : "  (text ";
        EXPECT_EQ(edited.compare(at + c.textAfter.size(), next.size(), next), 0) << edited;
        const bool crlfFile = c.bytes.find("\r\n") != std::string::npos;
        EXPECT_EQ(std::count(edited.begin(), edited.end(), '\r'),
                  crlfFile ? std::count(edited.begin(), edited.end(), '\n') : 0);
        const sch::SchematicFile again = sch::readSchematic(c.name, edited);
        const TextOwnership own = classifyTexts(again, {path});
        ASSERT_EQ(own.owned.size(), 1u);
        EXPECT_EQ(own.foreign.size(), c.bytes.find("by hand") != std::string::npos ? 1u : 0u);
        EXPECT_EQ(applyEdits(again, {again.texts[size_t(own.owned[0].text)].node}, {}), c.bytes);
        // Another list takes the old one's place.
        t.text = "@4";
        std::string expected = edited;
        expected.replace(expected.find("\"@2,3\""), 6, "\"@4\"");
        EXPECT_EQ(applyEdits(again, {again.texts[size_t(own.owned[0].text)].node}, {{0, textNode(t, f.version)}}),
                  expected);
    }
}

// ORLUNE's text where an editor left it, between blank lines or not: its
// removal takes its line and, only where blank lines frame it on both
// sides, one of them, so that the items around keep their layout.
TEST(KicadWriteBack, RemovalKeepsTheBlankLinesAroundAsTheyWere) {
    const std::string root = "00000000-0000-0000-0000-0000000000aa", labelUuid = "11111111-0000-0000-0000-000000000001";
    const std::string head = "(kicad_sch (version 20211123) (generator eeschema)\n\n  (uuid " + root + ")\n\n";
    const std::string wire = "  (wire (pts (xy 0 20) (xy 10 20)))\n";
    const std::string label =
        "  (hierarchical_label \"A\" (shape input) (at 10 20 0)\n    (uuid " + labelUuid + ")\n  )\n";
    const std::string text =
        "  (text \"@2\" (at 11 20 0)\n    (uuid " + ownedTextUuid(labelUuid, "/" + root, 0) + ")\n  )\n";
    const struct {
        const char* name;
        std::string with, without;
    } cases[] = {
        {"a blank line before", wire + "\n" + text + label, wire + "\n" + label},
        {"a blank line after", wire + text + "\n" + label, wire + "\n" + label},
        {"blank lines on both sides", wire + "\n" + text + "\n" + label, wire + "\n" + label},
        {"none", wire + text + label, wire + label},
        {"the last item", label + "\n" + text + "\n", label + "\n"},
    };
    for (const auto& c : cases)
        for (const bool crlf : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (crlf ? ", CRLF" : ""));
            const auto layout = [&](const std::string& items) {
                const std::string bytes = head + items + ")\n";
                return crlf ? std::regex_replace(bytes, std::regex("\n"), "\r\n") : bytes;
            };
            const sch::SchematicFile f = sch::readSchematic(c.name, layout(c.with));
            const TextOwnership own = classifyTexts(f, {"/" + root});
            ASSERT_EQ(own.owned.size(), 1u);
            EXPECT_EQ(applyEdits(f, {f.texts[size_t(own.owned[0].text)].node}, {}), layout(c.without));
        }
}

// The reused sheet of complex_hierarchy (one file, pages 2 and 3) gets one
// `${ORL_…}` text and each sheet symbol its own list: KiCad draws each
// page with its own list. kicad-cli draws texts as strokes and writes the
// shown text of each into the SVG as a <desc> element; that is what is
// looked for, page by page.
TEST(KicadWriteBack, ReusedSheetShowsEachPagesOwnList) {
    const fs::path demos[] = {test::kKicad6Demos / "complex_hierarchy", test::kKicad9Demos / "complex_hierarchy"};
    for (const fs::path& demo : demos) {
        if (!fs::exists(demo)) continue;
        REQUIRE_KICAD_CLI();
        SCOPED_TRACE(demo.string());
        test::TempProject tmp({});
        const fs::path dir = tmp.path("p");
        fs::copy(demo, dir, fs::copy_options::recursive);
        const fs::path root = dir / "complex_hierarchy.kicad_sch";
        const sch::Project p = sch::readProject(root.string());
        const int reused = p.instances[1].file;
        ASSERT_EQ(instancePathsOf(p, reused).size(), 2u);
        ASSERT_TRUE(perInstanceFieldsPossible(p, reused));
        const std::string labelUuid = "33333333-0000-0000-0000-000000000003";
        const std::string variable = perInstanceVariable(labelUuid, 0);
        std::map<int, std::vector<Insertion>> edits;
        const sch::SchematicFile& child = p.files[size_t(reused)];
        TextParams t{perInstanceText(variable),      5000000, 5000000, TextRun::Right, 12700, 12700,
                     ownedTextUuid(labelUuid, "", 0)};
        edits[reused].push_back({0, textNode(t, child.version)});
        std::map<std::string, std::string> expected;  // sheet name -> list
        for (size_t i = 1; i < p.instances.size(); ++i) {
            const std::string list = "@1," + p.instances[i].pageString + "7";
            const FileInsertion fi = perInstanceField(p, int(i), variable, list);
            edits[fi.file].push_back(fi.insertion);
            std::string name = p.instances[i].humanPath;
            expected[name.substr(1, name.size() - 2)] = list;
        }
        std::map<int, std::string> originals;
        for (const auto& [file, ins] : edits) {
            const sch::SchematicFile& f = p.files[size_t(file)];
            originals[file] = f.doc.bytes();
            writeAll(f.path, applyEdits(f, {}, ins));
        }
        const std::map<std::string, std::string> pages = test::drawnTexts(root, test::kKicadCli9);
        expected["root"] = "";  // the fields are hidden: the root page shows no list
        for (const auto& [name, list] : expected) {
            const std::string svg = name == "root" ? "complex_hierarchy.svg" : "complex_hierarchy-" + name + ".svg";
            ASSERT_TRUE(pages.count(svg)) << svg;
            const std::string& drawn = pages.at(svg);
            for (const auto& [other, otherList] : expected) {
                if (other == "root") continue;
                EXPECT_EQ(drawn.find("<desc>" + otherList + "</desc>") != std::string::npos, other == name)
                    << name << " shows " << otherList;
            }
        }
        // Read back: each page resolves its own list, and the fields and the
        // text come out again without a trace.
        const sch::Project q = sch::readProject(root.string());
        for (size_t i = 1; i < q.instances.size(); ++i) {
            const std::string name = q.instances[i].humanPath;
            EXPECT_EQ(resolvePerInstance(q, int(i), perInstanceText(variable)),
                      expected[name.substr(1, name.size() - 2)]);
        }
        const sch::SchematicFile& parent = q.files[0];
        EXPECT_EQ(ownedSheetFields(parent).size(), 2u);
        std::vector<Insertion> same;
        for (size_t i = 1; i < q.instances.size(); ++i)
            same.push_back(perInstanceField(q, int(i), variable, "@1," + q.instances[i].pageString + "7", 0).insertion);
        EXPECT_EQ(applyEdits(parent, ownedSheetFields(parent), same), parent.doc.bytes());
        EXPECT_EQ(applyEdits(parent, ownedSheetFields(parent), {}), originals[0]);
        const sch::SchematicFile& again = q.files[size_t(reused)];
        ASSERT_FALSE(again.texts.empty());
        EXPECT_EQ(applyEdits(again, {again.texts.back().node}, {}), originals[reused]);
    }
}

// The settings variable goes where KiCad's writer puts it (keys in byte
// order, the file's indentation and line ends); nothing else changes.
TEST(KicadProjectFile, SettingsVariableIsWrittenWhereKicadWouldWriteIt) {
    const struct {
        std::string before, after;
    } cases[] = {
        {"{\n  \"sheets\": [],\n  \"text_variables\": {}\n}\n",
         "{\n  \"sheets\": [],\n  \"text_variables\": {\n    \"ORLUNE\": \"a \\\"b\\\"\"\n  }\n}\n"},
        {"{\n  \"text_variables\": {\n    \"ADDRESS1\": \"Genève\",\n    \"PROJECT\": \"X\"\n  }\n}\n",
         "{\n  \"text_variables\": {\n    \"ADDRESS1\": \"Genève\",\n    \"ORLUNE\": \"a \\\"b\\\"\",\n    "
         "\"PROJECT\": \"X\"\n  }\n}\n"},
        {"{\n  \"text_variables\": {\n    \"A\": \"\",\n    \"ORLUNE\": \"old\"\n  }\n}\n",
         "{\n  \"text_variables\": {\n    \"A\": \"\",\n    \"ORLUNE\": \"a \\\"b\\\"\"\n  }\n}\n"},
        {"{\r\n  \"sheets\": [\r\n    [\"x\", \"\"]\r\n  ]\r\n}\r\n",
         "{\r\n  \"sheets\": [\r\n    [\"x\", \"\"]\r\n  ],\r\n  \"text_variables\": {\r\n    \"ORLUNE\": \"a "
         "\\\"b\\\"\"\r\n  }\r\n}\r\n"},
        {"{\n  \"board\": {},\n  \"zone\": 1\n}",
         "{\n  \"board\": {},\n  \"text_variables\": {\n    \"ORLUNE\": \"a \\\"b\\\"\"\n  },\n  \"zone\": 1\n}"},
        {"{}", "{\n  \"text_variables\": {\n    \"ORLUNE\": \"a \\\"b\\\"\"\n  }\n}"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(setTextVariable(c.before, "ORLUNE", "a \"b\""), c.after) << c.before;
    for (const char* bad : {"", "[1]", "{\"a\": }", "{\"a\": 1", "{\"text_variables\": 3}"})
        EXPECT_THROW(setTextVariable(bad, "ORLUNE", "x"), ReadError) << bad;
    // Every demo project file takes the variable, once.
    for (const fs::path& set : {test::kKicad6Demos, test::kKicad9Demos}) {
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(set, ec)) {
            if (e.path().extension() != ".kicad_pro") continue;
            const std::string once = setTextVariable(readFile(e.path()), "ORLUNE", "1");
            EXPECT_EQ(setTextVariable(once, "ORLUNE", "1"), once) << e.path();
            EXPECT_NE(once.find("\"ORLUNE\": \"1\""), std::string::npos) << e.path();
        }
    }
}

TEST(KicadLock, AnOpenSchematicNamesWhoHasItOpen) {
    test::TempProject tmp(std::map<std::string, std::string>{{"board.kicad_sch", "(kicad_sch)"}});
    EXPECT_FALSE(kicadLock(tmp.path("board.kicad_sch")).has_value());
    writeAll(tmp.path("~board.kicad_sch.lck"), "{\"hostname\":\"bench-2\",\"username\":\"ann\"}");
    const std::optional<KicadLock> lock = kicadLock(tmp.path("board.kicad_sch"));
    ASSERT_TRUE(lock.has_value());
    EXPECT_EQ(kicadLockReason(tmp.path("board.kicad_sch"), *lock),
              "board.kicad_sch is open in KiCad by ann on bench-2: close the schematic in KiCad first");
}

using test::orlune;

using test::filesOf;

// The real program on each multi-page demo, in a copy holding a user's "@"
// text, after one update. Two cases, so that KiCad's exports and the
// program's runs under the sanitizers each stay well under a minute.
class KicadUpdateDemos : public ::testing::TestWithParam<test::Demo> {
protected:
    void SetUp() override {
        const test::Demo& demo = GetParam();
        if (demo.project.empty()) GTEST_SKIP() << "no KiCad demos installed";
        REQUIRE_KICAD_CLI();
        REQUIRE_KICAD_CLI_10();
        dir = tmp.path("p");
        fs::copy(demo.project.parent_path(), dir, fs::copy_options::recursive);
        pro = dir / demo.project.filename();
        root = fs::path(pro).replace_extension(".kicad_sch");
        const sch::SchematicFile f = sch::readSchematic(root.string(), readFile(root));
        TextParams user;
        user.text = "@mine";
        user.uuid = "0badc0de-0000-4000-8000-000000000001";
        writeAll(root, applyEdits(f, {}, {{0, textNode(user, f.version)}}));
        before = filesOf(dir);
        std::string out;
        ASSERT_EQ(0, orlune("update '" + pro.string() + "'", out)) << out;
        EXPECT_NE(out.find("\"@mine\" begins with '@' but was not placed by ORLUNE"), std::string::npos) << out;
        updated = filesOf(dir);
    }

    test::TempProject tmp{std::map<std::string, std::string>{}};
    fs::path dir, pro, root;
    std::map<fs::path, std::string> before, updated;
};

// Update only inserts text nodes, KiCad reads the netlist of the demo as
// installed (a text joins no net) and draws the texts, and verify agrees.
TEST_P(KicadUpdateDemos, UpdateInsertsTextsOnlyThatKicadDraws) {
    bool placed = false;
    for (const auto& [path, bytes] : updated) {
        SCOPED_TRACE(path.string());
        ASSERT_TRUE(before.count(path));
        if (bytes == before.at(path)) continue;
        ASSERT_EQ(path.extension(), ".kicad_sch");
        expectOnlyLinesInserted(before.at(path), bytes);
        const sch::SchematicFile was = sch::readSchematic(path.string(), before.at(path));
        for (const std::string& h : listHeads(sch::readSchematic(path.string(), bytes).doc))
            EXPECT_TRUE(headsAllowed(was).count(h)) << "gained (" << h << " …)";
        placed = true;
    }
    const test::Demo& demo = GetParam();
    EXPECT_EQ(netlist(demo), netlist(root, test::demoCli(demo)));
    if (placed) {
        const std::map<std::string, std::string> pages = test::drawnTexts(root, test::demoCli(demo));
        ASSERT_FALSE(pages.empty()) << "kicad-cli could not draw the project";
        std::string drawn;
        for (const auto& [page, texts] : pages)
            drawn += texts;
        EXPECT_TRUE(std::regex_search(drawn, std::regex("<desc>@[0-9]"))) << "no text drawn";
    }
    // Every label has its text, on every page: verify agrees at once.
    std::string out;
    EXPECT_EQ(0, orlune("verify '" + pro.string() + "'", out)) << out;
}

// Update twice then delete gives back every byte, the user's text included.
TEST_P(KicadUpdateDemos, UpdateTwiceThenDeleteGivesBackEveryByte) {
    std::string out;
    EXPECT_EQ(0, orlune("update '" + pro.string() + "'", out)) << out;
    EXPECT_EQ(updated, filesOf(dir)) << "a second update changed a file";
    EXPECT_EQ(0, orlune("delete '" + pro.string() + "'", out)) << out;
    EXPECT_EQ(before, filesOf(dir)) << "delete left a trace";
}

INSTANTIATE_TEST_SUITE_P(Demos, KicadUpdateDemos, ::testing::ValuesIn(test::multiPageDemos()), test::DemoName());

// What no demo holds: a vertical label, a CRLF file, and a reused sheet
// whose label has a different list on each page (a local label of the
// KiCad 9 complex_hierarchy made a global one, upward).
TEST(KicadUpdate, VerticalLabelOnAReusedCrlfSheetShowsEachPagesList) {
    const fs::path demo = test::kKicad9Demos / "complex_hierarchy";
    if (!fs::exists(demo)) GTEST_SKIP() << "no KiCad demos";
    REQUIRE_KICAD_CLI();
    test::TempProject tmp({});
    const fs::path dir = tmp.path("p");
    fs::copy(demo, dir, fs::copy_options::recursive);
    const fs::path child = dir / "ampli_ht.kicad_sch";
    std::string bytes = readFile(child);
    const std::string local = "\t(label \"PIEZO_OUT\"\n\t\t(at 254 109.22 0)";
    ASSERT_NE(bytes.find(local), std::string::npos);
    bytes.replace(bytes.find(local), local.size(),
                  "\t(global_label \"PIEZO_OUT\"\n\t\t(shape input)\n\t\t(at 254 109.22 90)");
    bytes = std::regex_replace(bytes, std::regex("\n"), "\r\n");
    writeAll(child, bytes);
    const auto before = filesOf(dir);
    const std::string pro = "'" + (dir / "complex_hierarchy.kicad_pro").string() + "'";
    std::string out;
    ASSERT_EQ(0, orlune("update " + pro, out)) << out;
    const std::string after = readFile(child);
    expectOnlyLinesInserted(bytes, after);
    EXPECT_EQ(std::count(after.begin(), after.end(), '\n'), std::count(after.begin(), after.end(), '\r'));
    EXPECT_TRUE(std::regex_search(
        after, std::regex(R"(\(text "\$\{ORL_[0-9a-f]+\}"\r\n(.*\r\n)*?\t\t\(at [0-9.]+ [0-9.]+ 90\))")))
        << "no upright text for the vertical label";
    std::map<std::string, std::string> pages = test::drawnTexts(dir / "complex_hierarchy.kicad_sch", test::kKicadCli9);
    EXPECT_NE(pages["complex_hierarchy-ampli_ht_vertical.svg"].find("<desc>@3</desc>"), std::string::npos);
    EXPECT_NE(pages["complex_hierarchy-ampli_ht_horizontal.svg"].find("<desc>@2</desc>"), std::string::npos);
    out.clear();
    EXPECT_EQ(0, orlune("verify " + pro, out)) << out;
    EXPECT_EQ(0, orlune("delete " + pro, out)) << out;
    EXPECT_TRUE(before == filesOf(dir)) << "delete left a trace";
}

}  // namespace
}  // namespace orlune::kicad

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "host/kicad/project.h"
#include "kicad_test_support.h"

namespace orlune::kicad {
namespace {

namespace fs = std::filesystem;
using test::kKicad6Demos;
using test::kKicad9Demos;

struct Counts {
    size_t pages = 0, global = 0, hierarchical = 0, local = 0;
};

Counts countsOf(const sch::Project& p) {
    Counts c;
    c.pages = p.instances.size();
    for (const sch::SheetInstance& in : p.instances)
        for (const sch::Label& l : p.fileOf(in).labels) {
            c.global += l.kind == sch::LabelKind::Global;
            c.hierarchical += l.kind == sch::LabelKind::Hierarchical;
            c.local += l.kind == sch::LabelKind::Local;
        }
    return c;
}

class KicadReadDemos : public testing::TestWithParam<test::Demo> {};

TEST_P(KicadReadDemos, EveryDemoProjectReadsWithEverySymbolPlaced) {
    const fs::path pro = GetParam().project;
    if (pro.empty()) GTEST_SKIP() << "no KiCad demos in " << kKicad6Demos << " or " << kKicad9Demos;
    // Pages and labels per sheet instance, as KiCad itself counts them.
    const std::map<std::string, Counts> expected = {
        {"video", {8, 0, 162, 1179}},      {"kit-dev-coldfire-xilinx_5213", {3, 0, 43, 324}},
        {"flat_hierarchy", {3, 8, 0, 25}}, {"complex_hierarchy", {3, 0, 0, 9}},
        {"pic_programmer", {2, 0, 4, 31}}, {"vme-wren", {73, 0, 492, 2715}},
    };
    sch::Project p;
    ASSERT_NO_THROW(p = sch::readProject(pro.string()));
    for (const sch::SheetInstance& in : p.instances) {
        const sch::SchematicFile& f = p.fileOf(in);
        EXPECT_GE(in.page, 1);
        for (size_t s = 0; s < f.symbols.size(); ++s) {
            EXPECT_GE(f.symbols[s].libSymbol, 0) << f.symbols[s].libId;
            EXPECT_FALSE(in.symbols[s].reference.empty()) << f.symbols[s].uuid;
            EXPECT_GE(in.symbols[s].unit, 1);
        }
    }
    if (const auto it = expected.find(pro.stem().string()); it != expected.end()) {
        const Counts c = countsOf(p);
        EXPECT_EQ(c.pages, it->second.pages);
        EXPECT_EQ(c.global, it->second.global);
        EXPECT_EQ(c.hierarchical, it->second.hierarchical);
        EXPECT_EQ(c.local, it->second.local);
    }
}

INSTANTIATE_TEST_SUITE_P(Demos, KicadReadDemos, testing::ValuesIn(test::demoProjects(false)), test::DemoName());

// (human path, page) of every instance, and (human path, reference, unit)
// of every symbol on every instance.
std::pair<std::vector<std::string>, std::set<std::string>> hierarchyOf(const sch::Project& p) {
    std::vector<std::string> pages;
    std::set<std::string> refs;
    for (const sch::SheetInstance& in : p.instances) {
        pages.push_back(in.pageString + " " + in.humanPath);
        for (const sch::SymbolOnInstance& s : in.symbols)
            refs.insert(in.humanPath + " " + s.reference + "." + std::to_string(s.unit));
    }
    return {pages, refs};
}

TEST(KicadDemos, BothStorageFormsGiveTheSamePagesAndReferences) {
    const fs::path six = kKicad6Demos / "complex_hierarchy/complex_hierarchy.kicad_pro";
    const fs::path nine = kKicad9Demos / "complex_hierarchy/complex_hierarchy.kicad_pro";
    if (!fs::exists(six) || !fs::exists(nine)) GTEST_SKIP() << "complex_hierarchy of KiCad 6 and 9 not installed";
    const sch::Project p6 = sch::readProject(six.string()), p9 = sch::readProject(nine.string());
    EXPECT_LT(p6.files[0].version, 20221002);
    const auto [pages6, refs6] = hierarchyOf(p6);
    const auto [pages9, refs9] = hierarchyOf(p9);
    EXPECT_EQ(pages6, (std::vector<std::string>{"1 /", "2 /ampli_ht_vertical/", "3 /ampli_ht_horizontal/"}));
    EXPECT_EQ(pages9, pages6);
    // One file on two pages, with references of its own on each (the two
    // demo sets are annotated differently).
    EXPECT_EQ(p9.instances[1].file, p9.instances[2].file);
    EXPECT_EQ(refs6.size(), refs9.size());
    EXPECT_TRUE(refs6.count("/ampli_ht_vertical/ Q1.1") && refs6.count("/ampli_ht_horizontal/ Q5.1"));
    EXPECT_TRUE(refs9.count("/ampli_ht_vertical/ R203.1") && refs9.count("/ampli_ht_horizontal/ R303.1"));
}

TEST(KicadDemos, NestedReuseKeepsKicadsPageNumbers) {
    const fs::path pro = kKicad9Demos / "vme-wren/vme-wren.kicad_pro";
    if (!fs::exists(pro)) GTEST_SKIP() << pro << " not installed";
    const sch::Project p = sch::readProject(pro.string());
    ASSERT_EQ(p.instances.size(), 73u);
    std::map<int, int> pages;
    int ioDrivers = 0, deepest = 0;
    for (const sch::SheetInstance& in : p.instances) {
        ++pages[in.page];
        ioDrivers += fs::path(p.fileOf(in).path).filename() == "io_driver.kicad_sch";
        deepest = std::max(deepest, in.depth);
    }
    // The second "26" and "33" print as KiCad 10 prints them.
    EXPECT_EQ(pages[26], 1);
    EXPECT_EQ(pages[33], 1);
    EXPECT_EQ(pages[71] + pages[72], 2);
    EXPECT_EQ(pages.rbegin()->first, 73);
    EXPECT_EQ(ioDrivers, 16);
    EXPECT_EQ(deepest, 3);
    // One warning names the file's duplicates and what KiCad 9 prints.
    ASSERT_EQ(p.warnings.size(), 1u);
    EXPECT_NE(p.warnings[0].find("26"), std::string::npos);
    // Reused files get per-instance references: no reference and unit repeats.
    std::set<std::string> seen;
    for (const sch::SheetInstance& in : p.instances)
        for (const sch::SymbolOnInstance& s : in.symbols)
            if (s.reference[0] != '#') {
                EXPECT_TRUE(seen.insert(s.reference + "." + std::to_string(s.unit)).second) << s.reference;
            }
}

TEST(KicadReader, RefusesWhatItCannotReadWithTheReason) {
    const std::string sub = test::schematic("", "20250114", "00000000-0000-0000-0000-0000000000bb");
    const struct {
        const char* name;
        std::map<std::string, std::string> files;
        const char* open;
        std::vector<std::string> reason;
    } cases[] = {
        {"future version",
         {{"p.kicad_sch", test::schematic("", "20270101")}},
         "p.kicad_sch",
         {"p.kicad_sch:1", "version 20270101", "newer"}},
        {"missing sub-sheet",
         {{"p.kicad_sch",
           test::schematic(test::sheet("00000000-0000-0000-0000-000000000001", "child", "gone.kicad_sch", "2"))}},
         "p.kicad_sch",
         {"p.kicad_sch:2", "\"child\"", "gone.kicad_sch", "does not exist"}},
        {"page not a number",
         {{"p.kicad_sch",
           test::schematic(test::sheet("00000000-0000-0000-0000-000000000001", "child", "s.kicad_sch", "A"))},
          {"s.kicad_sch", sub}},
         "p.kicad_sch",
         {"p.kicad_sch:2", "page \"A\"", "/child/", "whole number"}},
        {"page above 100",
         {{"p.kicad_sch",
           test::schematic(test::sheet("00000000-0000-0000-0000-000000000001", "child", "s.kicad_sch", "101"))},
          {"s.kicad_sch", sub}},
         "p.kicad_sch",
         {"page \"101\""}},
        {"self-including sheet",
         {{"p.kicad_sch",
           test::schematic(test::sheet("00000000-0000-0000-0000-000000000001", "me", "p.kicad_sch", "2"))}},
         "p.kicad_sch",
         {"p.kicad_sch:2", "contains this sheet itself"}},
        {"derived symbol",
         {{"p.kicad_sch", test::schematic("(lib_symbols (symbol \"l:B\" (extends \"A\")))")}},
         "p.kicad_sch",
         {"p.kicad_sch:2", "\"l:B\"", "extends"}},
        {"several top-level sheets",
         {{"p.kicad_pro",
           R"({"schematic": {"top_level_sheets": [{"filename": "p.kicad_sch"}, {"filename": "q.kicad_sch"}]}})"},
          {"p.kicad_sch", test::schematic("")}},
         "p.kicad_pro",
         {"p.kicad_pro", "2 top-level sheets"}},
        {"sheets reused without end",
         [] {
             // Each file holds the next one twice: 2^10 sheets, each with its page.
             const std::string a = "10000000-0000-0000-0000-000000000001", b = "20000000-0000-0000-0000-000000000002";
             std::map<std::string, std::string> files;
             std::vector<std::string> parents{"/00000000-0000-0000-0000-0000000000aa"};
             for (int k = 0; k <= 10; ++k) {
                 std::string items;
                 for (const std::string& uuid : {a, b}) {
                     if (k == 10) break;
                     items += "(sheet (at 0 0) (size 1 1) (uuid \"" + uuid + "\") (property \"Sheetname\" \"" + uuid +
                              "\") (property \"Sheetfile\" \"f" + std::to_string(k + 1) +
                              ".kicad_sch\") (instances (project \"f0\"";
                     for (const std::string& parent : parents)
                         items += " (path \"" + parent + "\" (page \"1\"))";
                     items += ")))\n";
                 }
                 files["f" + std::to_string(k) + ".kicad_sch"] = test::schematic(items);
                 std::vector<std::string> next;
                 for (const std::string& parent : parents)
                     next.insert(next.end(), {parent + "/" + a, parent + "/" + b});
                 parents = std::move(next);
             }
             return files;
         }(),
         "f0.kicad_sch",
         {"more than 1000 sheets"}},
        {"KiCad 5 file", {{"p.kicad_sch", "EESchema Schematic File Version 4\n"}}, "p.kicad_sch", {"KiCad 5"}},
        {"KiCad 5 project",
         {{"p.pro", "update=22/05/2015\n"}, {"p.sch", "EESchema Schematic File Version 4\n"}},
         "p.pro",
         {"p.pro", "KiCad 5 project", "KiCad 6 or newer"}},
        {"KiCad 5 schematic named", {{"p.sch", "EESchema Schematic File Version 4\n"}}, "p.sch", {"KiCad 5 project"}},
        {"a sheet named instead of its project's root",
         {{"p.kicad_pro", "{}"},
          {"p.kicad_sch",
           test::schematic(test::sheet("00000000-0000-0000-0000-000000000001", "child", "s.kicad_sch", "2"))},
          {"s.kicad_sch", sub}},
         "s.kicad_sch",
         {"s.kicad_sch", "is a sheet of the project p.kicad_pro", "not its root"}},
        {"broken list",
         {{"p.kicad_sch", "(kicad_sch (version 20250114)\n (wire (pts (xy 1 2) (xy 3 4))\n"}},
         "p.kicad_sch",
         {"p.kicad_sch:2", "not closed"}},
        {"coordinate beyond the design's range",
         {{"p.kicad_sch", test::schematic("(wire (pts (xy 0 0) (xy 20000 0)))")}},
         "p.kicad_sch",
         {"p.kicad_sch:2", "20000 mm lies beyond 10 m"}},
        {"comma decimal",
         {{"p.kicad_sch", test::schematic("(junction (at 1,5 2))")}},
         "p.kicad_sch",
         {"p.kicad_sch:2", "\"1,5\" is not a number"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempProject dir(c.files);
        try {
            sch::readProject(dir.path(c.open));
            ADD_FAILURE() << "read";
        } catch (const ReadError& e) {
            const std::string what = e.what();
            EXPECT_EQ(what.find('\n'), std::string::npos) << what;
            for (const std::string& part : c.reason)
                EXPECT_NE(what.find(part), std::string::npos) << what;
        }
    }
}

// The highest page the refusal above allows is read as itself.
TEST(KicadReader, ReadsPageOneHundred) {
    test::TempProject dir({{"p.kicad_sch", test::schematic(test::sheet("00000000-0000-0000-0000-000000000001", "child",
                                                                       "s.kicad_sch", "100"))},
                           {"s.kicad_sch", test::schematic("", "20250114", "00000000-0000-0000-0000-0000000000bb")}});
    const sch::Project p = sch::readProject(dir.path("p.kicad_sch"));
    ASSERT_EQ(p.instances.size(), 2u);
    EXPECT_EQ(p.instances[1].page, 100);
}

}  // namespace
}  // namespace orlune::kicad

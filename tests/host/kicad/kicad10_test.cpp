// Behaviour KiCad 10 fixes: buses that only sheet pins name, bus members
// with markup, and pages that share a number.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <set>

#include "host/kicad/connectivity.h"
#include "host/kicad/convert_oracle.h"
#include "host/kicad/project.h"
#include "host/kicad/to_connectivity.h"
#include "kicad10.h"
#include "kicad_test_support.h"

namespace orlune::kicad {
namespace {

const std::string kFont = "(effects (font (size 1.27 1.27)) (justify left bottom))";
const std::string kRoot = "00000000-0000-0000-0000-0000000000aa";

// A parent with two sheet symbols of one child, A at (10, 10) and B at `b`
// (mm); each sheet pin `bus` hangs on a bus wire of its own without a
// label, or with `joined` on one bus wire from one pin to the other. The
// child's pins carry the member labels m0 and m1.
std::map<std::string, std::string> twoCopies(const std::string& bus, const std::string& m0, const std::string& m1,
                                             const std::string& pageB, std::pair<int, int> b = {60, 10},
                                             bool joined = false) {
    const auto sheet = [&](const std::string& u, const std::string& name, int x, int y, const std::string& page) {
        const std::string X = std::to_string(x), E = std::to_string(x + 20), F = std::to_string(x + 30);
        const std::string Y = std::to_string(y), P = std::to_string(y + 5);
        return "(sheet (at " + X + " " + Y + ") (size 20 20) (uuid \"" + u + "\") (property \"Sheetname\" \"" + name +
               "\" (at " + X + " " + std::to_string(y - 1) + " 0) " + kFont +
               ") (property \"Sheetfile\" \"child.kicad_sch\" (at " + X + " " + std::to_string(y + 21) + " 0) " +
               kFont + ") (pin \"" + bus + "\" input (at " + E + " " + P + " 0) (uuid \"p" + u + "\") " + kFont +
               ") (instances (project \"p\" (path \"/" + kRoot + "\" (page \"" + page + "\")))))\n(bus (pts (xy " + E +
               " " + P + ") (xy " + F + " " + P + ")) (uuid \"b" + u + "\"))\n";
    };
    const std::string a = "10000000-0000-0000-0000-000000000001", u = "10000000-0000-0000-0000-000000000002";
    const std::string pin = "(name \"~\" " + kFont + ") (number \"";
    const std::string child =
        "(lib_symbols (symbol \"l:R\" (symbol \"R_1_1\" (pin passive line (at 0 0 0) (length 2.54) " + pin + "1\" " +
        kFont + ")) (pin passive line (at 0 -5.08 0) (length 2.54) " + pin + "2\" " + kFont + ")))))\n" +
        "(bus (pts (xy 20 20) (xy 40 20)) (uuid \"c1\"))\n(hierarchical_label \"" + bus +
        "\" (shape input) (at 20 20 180) " + kFont + " (uuid \"c2\"))\n(label \"" + m0 + "\" (at 50 50 0) " + kFont +
        " (uuid \"c3\"))\n(label \"" + m1 + "\" (at 50 55.08 0) " + kFont +
        " (uuid \"c4\"))\n(symbol (lib_id \"l:R\") (at 50 50 0) (unit 1) (uuid \"c5\") (property \"Reference\" \"R\" "
        "(at 0 0 0) " +
        kFont + ") (instances (project \"p\" (path \"/" + kRoot + "/" + a +
        "\" (reference \"R1\") (unit 1)) (path \"/" + kRoot + "/" + u + "\" (reference \"R2\") (unit 1)))))";
    return {{"p.kicad_pro", "{}"},
            {"p.kicad_sch", test::schematic(sheet(a, "A", 10, 10, "2") + sheet(u, "B", b.first, b.second, pageB) +
                                            (joined ? "(bus (pts (xy 40 15) (xy 40 40)) (uuid \"j1\"))\n"
                                                      "(bus (pts (xy 40 40) (xy 90 40)) (uuid \"j2\"))\n"
                                                      "(bus (pts (xy 90 40) (xy 90 15)) (uuid \"j3\"))\n"
                                                    : "") +
                                            "(sheet_instances (path \"/\" (page \"1\")))")},
            {"child.kicad_sch", test::schematic(child, "20250114", "00000000-0000-0000-0000-0000000000cc")}};
}

TEST(WeakBuses, TwoSheetPinsOfOneNameKeepTheirMembersApart) {
    for (const auto& [bus, m0, m1] : {std::tuple{"Q[0..1]", "Q0", "Q1"}, std::tuple{"Q{A B}", "Q.A", "Q.B"}}) {
        SCOPED_TRACE(bus);
        test::TempProject dir(twoCopies(bus, m0, m1, "3"));
        const sch::Project project = sch::readProject(dir.path("p.kicad_pro"));
        const ConnectivityInput input = toConnectivityInput(project);
        const ConnectivityResult r = computeConnectivity(input);
        // KiCad 10 (and 9): four nets of one pin each.
        std::multiset<size_t> sizes;
        for (const Net& net : r.nets)
            if (!net.pins.empty()) sizes.insert(net.pins.size());
        EXPECT_EQ(sizes, (std::multiset<size_t>{1, 1, 1, 1}));
    }
}

// Pin partition of a computed connectivity: "REF:PIN" per net.
test::Partition partitionOf(const ConnectivityInput& in, const ConnectivityResult& r) {
    test::Partition out;
    for (const Net& net : r.nets) {
        std::set<std::string> pins;
        for (const PinRef& p : net.pins) {
            const Symbol& s = in.instances[p.instance].symbols[p.symbol];
            pins.insert(s.reference + ":" + s.pins[p.pin].number);
        }
        if (!pins.empty()) out.insert(pins);
    }
    return out;
}

TEST(MarkupBuses, MembersKeepTheirMarkupThroughSheetPins) {
    // One bus joins the two copies' sheet pins: a child label joins its
    // twin when it names a member as KiCad 10 spells it (KiCad 9 dropped the
    // markup: CS0, B.R, ...). m0 is KiCad 10's member, m1 is not.
    const struct {
        const char* bus;
        const char* m0;
        const char* m1;
    } kCases[] = {
        {"~{CS[0..1]}", "~{CS0}", "CS1"},   // overbar around a vector
        {"D_{x}[0..1]", "D_{x}0", "Dx1"},   // subscript in its prefix
        {"B{~{R} X}", "B.~{R}", "B.R"},     // overbar on a group member
        {"I_{S}{R X}", "I_{S}.R", "IS.X"},  // subscript in a group's name
        {"SWD{~{RST}, IO}", "SWD.IO", "SWD.RST"},
    };
    const test::Partition expected = {{"R1:1", "R2:1"}, {"R1:2"}, {"R2:2"}};
    std::vector<std::unique_ptr<test::TempProject>> dirs;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.bus);
        dirs.push_back(std::make_unique<test::TempProject>(twoCopies(c.bus, c.m0, c.m1, "3", {60, 10}, true)));
        const ConnectivityInput input = toConnectivityInput(sch::readProject(dirs.back()->path("p.kicad_pro")));
        EXPECT_EQ(partitionOf(input, computeConnectivity(input)), expected);
    }
    // KiCad 10 gives the same partition.
    REQUIRE_KICAD_CLI_10();
    for (size_t k = 0; k < dirs.size(); ++k) {
        SCOPED_TRACE(kCases[k].bus);
        const std::string net = test::exportNetlist(dirs[k]->path("p.kicad_sch"));
        ASSERT_FALSE(net.empty());
        std::ofstream(dirs[k]->path("k10.net"), std::ios::binary) << net;
        test::Partition theirs;
        for (const auto& [name, pins] : test::kicadNetlist(dirs[k]->path("k10.net")))
            theirs.insert(pins);
        EXPECT_EQ(theirs, expected);
    }
}

// A and B share page 2: in hierarchy order (sheet symbols by x, then y,
// then uuid) the first keeps it and KiCad 10 prints the other as 3, the
// lowest number no page uses (kicad-cli 10's netlist of each case).
TEST(SharedPages, PrintAsKicad10Does) {
    const struct {
        std::pair<int, int> b;  // where B lies; A is at (10, 10)
        int pageA, pageB;
        const char* moved;
    } cases[] = {
        {{60, 10}, 2, 3, "\"2\": /B/ as 3"},
        {{5, 60}, 3, 2, "\"2\": /A/ as 3"},   // left of A, though below it
        {{10, 5}, 3, 2, "\"2\": /A/ as 3"},   // one x: above A
        {{10, 10}, 2, 3, "\"2\": /B/ as 3"},  // one place: by uuid
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.b.first) + "," + std::to_string(c.b.second));
        test::TempProject dir(twoCopies("Q[0..1]", "Q0", "Q1", "2", c.b));
        const sch::Project project = sch::readProject(dir.path("p.kicad_pro"));
        ASSERT_EQ(project.instances.size(), 3u);
        std::map<std::string, int> pages;
        for (const sch::SheetInstance& in : project.instances) {
            pages[in.humanPath] = in.page;
            EXPECT_EQ(in.pageString, std::to_string(in.page));
        }
        EXPECT_EQ(pages["/A/"], c.pageA);
        EXPECT_EQ(pages["/B/"], c.pageB);
        ASSERT_EQ(project.warnings.size(), 1u);
        EXPECT_NE(project.warnings[0].find(c.moved), std::string::npos) << project.warnings[0];
    }
}

}  // namespace
}  // namespace orlune::kicad

#include <gtest/gtest.h>

#include "host/kicad/project.h"
#include "host/kicad/to_connectivity.h"
#include "kicad_test_support.h"

namespace orlune::kicad {
namespace {

namespace fs = std::filesystem;

// A library pin at (1.27, 2.54) in the library's Y-up frame, i.e. (12700,
// -25400) internal units Y down, placed at (100, 50) mm in every rotation
// and mirror: the connection points follow KiCad's orientation matrices.
TEST(KicadGeometry, PinPointsUnderEveryRotationAndMirror) {
    const struct {
        int rotation;
        const char* mirror;
        sch::Point offset;
    } cases[] = {
        {0, "", {12700, -25400}},     {90, "", {-25400, -12700}},  {180, "", {-12700, 25400}},
        {270, "", {25400, 12700}},    {0, "x", {12700, 25400}},    {90, "x", {-25400, 12700}},
        {180, "x", {-12700, -25400}}, {270, "x", {25400, -12700}}, {0, "y", {-12700, -25400}},
        {90, "y", {25400, -12700}},   {180, "y", {12700, 25400}},  {270, "y", {-25400, 12700}},
    };
    std::string items =
        "(lib_symbols (symbol \"t:P\" (symbol \"P_1_1\" (pin passive line (at 1.27 2.54 270) (length 1.27)"
        " (name \"~\") (number \"1\")))))\n";
    for (const auto& c : cases)
        items += "(symbol (lib_id \"t:P\") (at 100 50 " + std::to_string(c.rotation) + ")" +
                 (*c.mirror ? std::string(" (mirror ") + c.mirror + ")" : "") + " (unit 1) (uuid \"u" +
                 std::to_string(c.rotation) + c.mirror + "\") (property \"Reference\" \"P\" (at 0 0 0)))\n";
    test::TempProject dir({{"g.kicad_sch", test::schematic(items)}});
    const sch::Project p = sch::readProject(dir.path("g.kicad_sch"));
    const sch::SchematicFile& f = p.files[0];
    ASSERT_EQ(f.symbols.size(), std::size(cases));
    for (size_t k = 0; k < std::size(cases); ++k) {
        SCOPED_TRACE(std::to_string(cases[k].rotation) + cases[k].mirror);
        ASSERT_EQ(f.symbols[k].libSymbol, 0);
        const sch::LibPin& pin = f.libSymbols[0].pins.at(0);
        EXPECT_EQ(pin.name, "");  // '~' was an empty name before 20250318
        EXPECT_EQ(f.symbols[k].pinPoint(pin), (sch::Point{1000000 + cases[k].offset.x, 500000 + cases[k].offset.y}));
    }
}

// The worked example: R203 in the reused file of complex_hierarchy, whose
// pins end on wires at (104.14, 50.8) and (96.52, 50.8).
TEST(KicadGeometry, PinsOfAReusedSheetsSymbolReachTheConnectivityInput) {
    const fs::path pro = test::kKicad9Demos / "complex_hierarchy/complex_hierarchy.kicad_pro";
    if (!fs::exists(pro)) GTEST_SKIP() << pro << " not installed";
    const ConnectivityInput in = toConnectivityInput(sch::readProject(pro.string()));
    ASSERT_EQ(in.instances.size(), 3u);
    int found = 0;
    for (const SheetInstance& si : in.instances)
        for (const Symbol& s : si.symbols) {
            if (s.reference != "R203" && s.reference != "R303") continue;
            ++found;
            ASSERT_EQ(s.pins.size(), 2u);
            EXPECT_EQ(s.pins[0].number, "1");
            EXPECT_EQ(s.pins[0].at, (Point{1041400, 508000}));
            EXPECT_EQ(s.pins[1].at, (Point{965200, 508000}));
            EXPECT_EQ(s.reference == "R203" ? "/ampli_ht_vertical/" : "/ampli_ht_horizontal/", si.humanPath);
        }
    EXPECT_EQ(found, 2);
}

// Units and hidden power pins: a two-unit part with a common hidden power
// pin keeps the pins of its own unit only; an alternate function sets the
// pin's type; text variables in labels resolve per instance; jumpers and the
// unit suffix reach the connectivity.
TEST(KicadGeometry, UnitsHiddenPowerPinsAlternatesAndLabelTexts) {
    const std::string items =
        "(lib_symbols (symbol \"t:G\" (duplicate_pin_numbers_are_jumpers yes) (jumper_pin_groups (\"1\" \"2\"))"
        " (symbol \"G_0_1\" (pin power_in line (at 0 0 0) (length 0) hide (name \"VCC\") (number \"14\")))"
        " (symbol \"G_1_1\" (pin input line (at 0 2.54 0) (length 0) (name \"A\") (number \"1\")"
        "   (alternate \"PWR\" power_in line)))"
        " (symbol \"G_2_1\" (pin input line (at 0 5.08 0) (length 0) (name \"B\") (number \"2\")))"
        " (symbol \"G_1_2\" (pin input line (at 0 7.62 0) (length 0) (name \"D\") (number \"1\")))))\n"
        "(symbol (lib_id \"t:G\") (at 0 0 0) (unit 2) (uuid \"s1\") (property \"Reference\" \"U1\" (at 0 0 0))"
        " (pin \"1\" (alternate \"PWR\")))\n"
        "(symbol (lib_id \"t:G\") (at 0 0 0) (unit 1) (uuid \"s2\") (property \"Reference\" \"U1\" (at 0 0 0))"
        " (pin \"1\" (alternate \"PWR\")))\n"
        "(label \"N_${VAR}\" (at 1 1 0) (effects (font (size 1.524 1.27)) (justify right)) (uuid \"l1\"))\n";
    test::TempProject dir(
        {{"q.kicad_sch", test::schematic(items, "20211123")},
         {"q.kicad_pro",
          R"({"text_variables": {"VAR": "x"}, "schematic": {"subpart_id_separator": 46, "subpart_first_id": 49}})"}});
    const sch::Project p = sch::readProject(dir.path("q.kicad_pro"));
    EXPECT_EQ(p.files[0].labels.at(0).spin, 180);
    EXPECT_EQ(p.files[0].labels.at(0).size.height, 15240);
    const ConnectivityInput in = toConnectivityInput(p);
    EXPECT_EQ(in.subpartSeparator, '.');
    EXPECT_EQ(in.subpartFirstId, '1');
    const std::vector<Symbol>& symbols = in.instances.at(0).symbols;
    // KiCad 10 jumpers: the listed group, and pin "1" that the part has twice.
    EXPECT_EQ(symbols.at(0).jumperGroups, (std::vector<std::vector<std::string>>{{"1", "2"}, {"1"}}));
    ASSERT_EQ(symbols.size(), 2u);
    EXPECT_EQ(symbols[0].unitCount, 2);
    ASSERT_EQ(symbols[0].pins.size(), 2u);  // VCC and B
    EXPECT_TRUE(symbols[0].pins[0].hidden);
    EXPECT_EQ(symbols[0].pins[0].type, PinType::PowerIn);
    EXPECT_EQ(symbols[0].pins[1].name, "B");
    ASSERT_EQ(symbols[1].pins.size(), 2u);  // VCC and A, not the De Morgan D
    EXPECT_EQ(symbols[1].pins[1].name, "A");
    EXPECT_EQ(symbols[1].pins[1].type, PinType::PowerIn);
    EXPECT_EQ(symbols[1].pins[1].at, (Point{0, -25400}));
    EXPECT_EQ(in.instances[0].labelTexts, (std::vector<std::string>{"N_x"}));
}

}  // namespace
}  // namespace orlune::kicad

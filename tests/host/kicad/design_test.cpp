#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "host/kicad/to_connectivity.h"
#include "host/kicad/to_design.h"
#include "host/kicad/uuid.h"
#include "host/load.h"
#include "kicad_test_support.h"

namespace orlune::kicad {
namespace {

namespace fs = std::filesystem;

DesignView designOf(const sch::Project& p) {
    return toDesign(p, toConnectivityInput(p), ConnectivityResult{});
}

struct DesignCase {
    std::string name;  // the demo's test name
    fs::path project;
    size_t sheets, components, connectors;
};

void PrintTo(const DesignCase& c, std::ostream* os) {
    *os << c.name;
}

class KicadDesignDemos : public testing::TestWithParam<DesignCase> {};

TEST_P(KicadDesignDemos, GiveKicadsPartsAndConnectors) {
    const DesignCase& c = GetParam();
    if (!fs::exists(c.project)) GTEST_SKIP() << c.project << " not installed";
    const DesignView v = designOf(sch::readProject(c.project.string()));
    EXPECT_EQ(v.design.sheets.size(), c.sheets);
    size_t components = 0, connectors = 0;
    for (const host::Component& comp : v.design.components) {
        ++(comp.kind == 2 ? connectors : components);
        for (const host::Pin& pin : comp.pins)
            EXPECT_TRUE(pin.sheet >= 1 && pin.sheet <= int32_t(c.sheets));
    }
    // Names the program's fields hold unchanged, and no two alike.
    std::set<std::string> names;
    for (const host::Component& comp : v.design.components) {
        EXPECT_EQ(host::textFieldNameProblem(comp.refDes), "") << comp.refDes;
        EXPECT_TRUE(names.insert(comp.refDes).second) << comp.refDes;
    }
    for (const host::Bus& bus : v.design.buses)
        EXPECT_EQ(host::textFieldNameProblem(bus.name), "") << bus.name;
    EXPECT_EQ(components, c.components);
    EXPECT_EQ(connectors, c.connectors);
    EXPECT_EQ(v.design.units, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Demos, KicadDesignDemos,
    testing::Values(
        DesignCase{"v9_video", test::kKicad9Demos / "video/video.kicad_pro", 8, 189, 162},
        DesignCase{"v9_kit_dev_coldfire_xilinx_5213",
                   test::kKicad9Demos / "kit-dev-coldfire-xilinx_5213/kit-dev-coldfire-xilinx_5213.kicad_pro", 3, 160,
                   43},
        DesignCase{"v9_flat_hierarchy", test::kKicad9Demos / "flat_hierarchy/flat_hierarchy.kicad_pro", 3, 64, 8},
        DesignCase{"v6_flat_hierarchy", test::kKicad6Demos / "flat_hierarchy/flat_hierarchy.kicad_pro", 3, 58, 8},
        DesignCase{"v6_complex_hierarchy", test::kKicad6Demos / "complex_hierarchy/complex_hierarchy.kicad_pro", 3, 68,
                   0},
        DesignCase{"v9_pic_programmer", test::kKicad9Demos / "pic_programmer/pic_programmer.kicad_pro", 2, 63, 4},
        DesignCase{"v9_vme_wren", test::kKicad9Demos / "vme-wren/vme-wren.kicad_pro", 73, 1507, 492}),
    [](const testing::TestParamInfo<DesignCase>& c) { return c.param.name; });

// KiCad places its own intersheet reference of the global label VCC_PIC
// (output, 1.524 mm, label ratio 0.3, offset ratio 0) 12.0707 mm from the
// anchor: exactly where the label body ends.
TEST(KicadDesign, LabelBodyEndsWhereKicadPlacesItsReference) {
    const fs::path pro = test::kKicad9Demos / "flat_hierarchy/flat_hierarchy.kicad_pro";
    if (!fs::exists(pro)) GTEST_SKIP() << pro << " not installed";
    const sch::Project p = sch::readProject(pro.string());
    int found = 0;
    for (const sch::SchematicFile& f : p.files)
        for (const sch::Label& l : f.labels)
            if (l.text == "VCC_PIC" && l.at == sch::Point{2260600, 965200}) {
                ++found;
                EXPECT_EQ(labelBodyLength(l, p.drawing), 120707);
            }
    EXPECT_EQ(found, 1);
}

// Two bus labels at one height on one page, and an ORLUNE text: each bus
// connector's own bus is the first the unchanged bus search finds, and the
// old text becomes an item centred on its rows.
TEST(KicadDesign, EveryBusConnectorFindsItsOwnBusAndOldTextsAreItems) {
    const std::string items =
        "(hierarchical_label \"A[0..3]\" (shape input) (at 100 50 180) (effects (font (size 1.27 1.27)) (justify "
        "right)) (uuid \"11111111-0000-0000-0000-000000000001\"))\n"
        "(hierarchical_label \"B[0..3]\" (shape input) (at 120 50 0) (effects (font (size 1.27 1.27)) (justify left))"
        " (uuid \"11111111-0000-0000-0000-000000000002\"))\n"
        "(global_label \"CΩ{X Y}\" (shape passive) (at 90 50 180) (effects (font (size 1.27 1.27)) (justify right))"
        " (uuid \"11111111-0000-0000-0000-000000000003\"))\n"
        "(global_label \"SIG\" (shape input) (at 90 70 0) (effects (font (size 1.524 1.524))) (uuid "
        "\"44444444-0000-0000-0000-000000000004\") (property \"SH_TYPE\" \"1\" (at 0 0 0)))\n"
        "(text \"@2,3\\n@4\" (at 140 60 0) (effects (font (size 1.27 1.27)) (justify left bottom)) (uuid \"" +
        ownedTextUuid("44444444-0000-0000-0000-000000000004", "/00000000-0000-0000-0000-0000000000aa", 0) +
        "\"))\n"
        "(text \"@ by hand\" (at 140 80 0) (effects (font (size 1.27 1.27))) (uuid \"t2\"))\n"
        "(text \"@5\" (at 140 90 0) (effects (font (size 1.27 1.27))) (uuid \"t3\"))\n";
    test::TempProject dir({{"b.kicad_sch", test::schematic(items)}});
    const DesignView v = designOf(sch::readProject(dir.path("b.kicad_sch")));
    const host::Design& d = v.design;
    ASSERT_EQ(d.components.size(), 4u);
    // The search of the update pass (mm designs: 8.9 mm).
    const auto search = [&](const host::Component& c) -> const host::Item* {
        const host::Pin& pin = c.pins[0];
        for (const host::Item& item : d.items) {
            if (item.type != host::ItemType::Bus || item.sheet != pin.sheet || item.x1 != item.x2) continue;
            if (pin.y != item.y1 && pin.y != item.y2) continue;
            if ((c.symbol.flipped ? pin.x - item.x1 : item.x1 - pin.x) <= 890000) return &item;
        }
        return nullptr;
    };
    // A character the program's fields cannot hold becomes '?'.
    const std::string busNames[] = {"A[0..3]", "B[0..3]", "C?{X Y}"};
    for (size_t k = 0; k < 3; ++k) {
        const host::Component& c = d.components[k];
        EXPECT_EQ(c.type.rfind("SH_BUS_", 0), 0u) << c.type;
        const host::Item* bus = search(c);
        ASSERT_NE(bus, nullptr) << c.refDes;
        EXPECT_EQ(bus->bus, busNames[k]);
    }
    // Texts go beyond the body: to the left of a label pointing left.
    EXPECT_FALSE(d.components[0].symbol.flipped);
    EXPECT_TRUE(d.components[1].symbol.flipped);
    const host::Component& sig = d.components[3];
    EXPECT_EQ(sig.type, kGlobalConnectorType);
    EXPECT_EQ(sig.refDes, "GL1:44444444");
    ASSERT_EQ(sig.attributes.size(), 1u);
    EXPECT_EQ(sig.attributes[0].value, "1");
    EXPECT_GT(sig.pins[0].x, 9000000);  // beyond the label body, not on the anchor

    // Styles by size, with the stroke font's advances as KiCad rounds them.
    ASSERT_EQ(d.textStyles.size(), 2u);
    EXPECT_EQ(d.textStyles[0].name, "1.27 mm");
    EXPECT_EQ(d.textStyles[0].charWidth, 120950);
    EXPECT_EQ(d.textStyles[0].advances.at(U'@'), 163290);
    EXPECT_EQ(d.textStyles[1].name, "1.524 mm");
    EXPECT_EQ(d.textStyles[1].charWidth, 145140);
    EXPECT_EQ(d.textStyles[1].advances.at(U','), 72570);

    // Only ORLUNE's own text (its uuid derived from its label) is an item;
    // a user's "@" texts are left alone and named.
    EXPECT_EQ(std::count_if(v.warnings.begin(), v.warnings.end(),
                            [](const std::string& w) { return w.find("not placed by ORLUNE") != std::string::npos; }),
              2);
    size_t texts = 0;
    for (const host::Item& item : d.items) {
        if (item.type != host::ItemType::Text) continue;
        ++texts;
        EXPECT_EQ(item.text, "@2,3\r\n@4");
        EXPECT_EQ(item.justification, 4);
        EXPECT_EQ(item.y, 6000000 - d.textStyles[0].height);  // two rows above a bottom anchor
    }
    EXPECT_EQ(texts, 1u);
}

// Each angle and justification a label may be written with: its connector's
// pin lies where the body ends, on the side the body points to (kicad-cli 9
// draws a label at 90 degrees justified right below its anchor), and only a
// body pointing left flips the text.
TEST(KicadDesign, LabelTextsGoBeyondTheBodyOnTheSideItPoints) {
    const struct {
        int angle;
        const char* justify;
        int dx, dy;  // the sign of the pin's offset from the anchor
    } cases[] = {
        {0, "", 1, 0},   {0, "left", 1, 0},   {0, "right", -1, 0},  {180, "right", -1, 0},
        {90, "", 0, -1}, {90, "right", 0, 1}, {270, "right", 0, 1}, {270, "", 0, 1},
    };
    std::string items;
    for (size_t k = 0; k < std::size(cases); ++k)
        items += "(global_label \"S" + std::to_string(k) + "\" (shape input) (at 100 " + std::to_string(20 + 20 * k) +
                 " " + std::to_string(cases[k].angle) + ") (effects (font (size 1.27 1.27))" +
                 (*cases[k].justify ? std::string(" (justify ") + cases[k].justify + ")" : "") + ") (uuid \"1111111" +
                 std::to_string(k) + "-0000-0000-0000-000000000001\"))\n";
    test::TempProject dir({{"l.kicad_sch", test::schematic(items)}});
    const DesignView v = designOf(sch::readProject(dir.path("l.kicad_sch")));
    ASSERT_EQ(v.design.components.size(), std::size(cases));
    const auto sign = [](int64_t d) { return (d > 0) - (d < 0); };
    for (size_t k = 0; k < std::size(cases); ++k) {
        SCOPED_TRACE(std::to_string(cases[k].angle) + " " + cases[k].justify);
        const host::Component& c = v.design.components[k];
        const int64_t dx = int64_t{c.pins[0].x} - 10000000,
                      dy = int64_t{c.pins[0].y} - (2000000 + 2000000 * int64_t(k));
        EXPECT_EQ(sign(dx), cases[k].dx);
        EXPECT_EQ(sign(dy), cases[k].dy);
        EXPECT_EQ(c.symbol.flipped, cases[k].dx >= 0);
    }
}

}  // namespace
}  // namespace orlune::kicad

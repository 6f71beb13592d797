#include "annotate/connector_scan.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "annotate/annotate_fixture.h"
#include "annotate/text_place.h"
#include "dbx/connection.h"
#include "dbx/dbx32.h"

namespace orlune::test {
namespace {

// The minimal design of the design-file page, as it stands there.
constexpr const char* kMinimalDesign = R"({
  "format": "orlune-design", "version": 1, "units": 1, "workspace": [25400000, 17780000],
  "textStyles": [ { "number": 0, "name": "Default", "height": 228600, "charWidth": 152400 } ],
  "sheets": [ { "id": 1, "name": "Main" }, { "id": 2, "name": "Power" } ],
  "nets": [ { "id": 1, "name": "VBAT" } ],
  "components": [
    { "refDes": "SC1", "type": "SH_CONN", "kind": 2, "attributes": [],
      "pins": [ { "x": 1000000, "y": 500000, "sheet": 1, "net": 1 } ],
      "symbol": { "sheet": 1, "x": 1000000, "y": 500000, "flipped": false } },
    { "refDes": "SC2", "type": "SH_CONN", "kind": 2,
      "pins": [ { "x": 2000000, "y": 500000, "sheet": 2, "net": 1 } ],
      "symbol": { "sheet": 2, "x": 2000000, "y": 500000, "flipped": true } }
  ],
  "items": [], "attributes": []
}
)";

TEST(UpdateConnectors, AnnotatesTheMinimalDesign) {
    HostedRun hosted(kMinimalDesign);
    prepareUpdate(*hosted.run);
    EXPECT_TRUE(runUpdate(hosted));

    const auto texts = designTexts(hosted);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].layer, 1);
    EXPECT_EQ(texts[0].text, "@2");
    EXPECT_EQ(texts[0].x, 644400);
    EXPECT_EQ(texts[0].y, 500000);
    EXPECT_EQ(texts[0].justification, 6);
    EXPECT_EQ(texts[1].layer, 2);
    EXPECT_EQ(texts[1].text, "@1");
    EXPECT_EQ(texts[1].x, 2482600);
    EXPECT_EQ(texts[1].y, 500000);
    EXPECT_EQ(texts[1].justification, 4);

    const auto& placed = hosted.run->list.PlacedTexts;
    ASSERT_EQ(placed.size(), 2u);
    EXPECT_EQ(placed[0].refDes, "SC1");
    EXPECT_EQ(placed[0].text, "@2");
    EXPECT_EQ(placed[1].refDes, "SC2");
    EXPECT_EQ(placed[1].x, 2482600);
    EXPECT_TRUE(hosted.platform.boxes.empty());
}

TEST(UpdateConnectors, ReplacesEarlierTextsInsteadOfAddingToThem) {
    HostedRun hosted(kMinimalDesign);
    prepareUpdate(*hosted.run);
    EXPECT_TRUE(runUpdate(hosted));
    EXPECT_TRUE(runUpdate(hosted));
    EXPECT_EQ(textsOn(hosted, 1), std::vector<std::string>{"@2"});
    EXPECT_EQ(textsOn(hosted, 2), std::vector<std::string>{"@1"});
    EXPECT_EQ(hosted.run->list.PlacedTexts.size(), 2u);
}

struct CollectCase {
    int32_t connectorSheet;
    std::vector<int32_t> nodeSheets;  // in the order the net walk meets them
    std::optional<std::string> expected;
};

TEST(UpdateConnectors, ListsEachOtherSheetOnceInAscendingOrder) {
    const std::vector<CollectCase> cases = {
        {2, {5, 2, 5, 7}, "@5,7"},
        {1, {12, 3, 9}, "@3,9,12"},
        {4, {4, 4}, std::nullopt},
        {4, {}, std::nullopt},
        {3, {11, 10, 9, 1, 2}, "@1,2,9,10,11"},
    };
    for (const CollectCase& c : cases) {
        SCOPED_TRACE(c.expected.value_or("no text"));
        DesignPlan plan;
        plan.sheets = 12;
        plan.components = {connector("SC1", {1000000, 500000, c.connectorSheet, 1}), part("P1", 1, c.nodeSheets)};
        HostedRun hosted(plan.json());
        prepareUpdate(*hosted.run);
        EXPECT_TRUE(runUpdate(hosted));
        const auto texts = textsOn(hosted, c.connectorSheet);
        if (c.expected) {
            EXPECT_EQ(texts, std::vector<std::string>{*c.expected});
        } else {
            EXPECT_TRUE(texts.empty());
            EXPECT_TRUE(hosted.run->list.PlacedTexts.empty());
        }
    }
}

TEST(UpdateConnectors, StoresAndSortsSheetNumbersAbove255) {
    DesignPlan plan;
    plan.sheets = 300;
    plan.components = {connector("SC1", {1000000, 500000, 1, 1}), part("P1", 1, {300, 256, 44, 256, 1})};
    HostedRun hosted(plan.json());
    prepareUpdate(*hosted.run);
    EXPECT_TRUE(runUpdate(hosted));
    EXPECT_EQ(textsOn(hosted, 1), std::vector<std::string>{"@44,256,300"});
}

TEST(UpdateConnectors, WithoutConnectorsOnlyRemovesTheOwnTexts) {
    DesignPlan plan;
    plan.components = {part("P1", 1, {1, 2})};
    plan.items = {textItem(1, "@old"), textItem(2, "NOTE"), textItem(2, "@@")};
    HostedRun hosted(plan.json());
    prepareUpdate(*hosted.run);
    EXPECT_TRUE(runUpdate(hosted));
    const auto texts = designTexts(hosted);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "NOTE");
    EXPECT_TRUE(hosted.run->list.PlacedTexts.empty());
    EXPECT_TRUE(hosted.platform.boxes.empty());
}

// Sheets of the bus "D": net 2 on sheets 2 and 3, net 3 on sheets 3 and 4.
// The connector's own net reaches sheet 5 only; bus "E" reaches sheet 6.
DesignPlan busDesign(const std::string& type, bool flipped, const std::vector<std::string>& items, int32_t units = 1) {
    DesignPlan plan;
    plan.units = units;
    plan.sheets = 6;
    plan.nets = 4;
    plan.buses = {{"D", {2, 3}}, {"E", {4}}};
    plan.components = {connector("SC1", {1000, 500000, 1, 1}, flipped, type), part("P1", 1, {5}), part("P2", 2, {2, 3}),
                       part("P3", 3, {3, 4}), part("P4", 4, {6})};
    plan.items = items;
    return plan;
}

struct BusCase {
    const char* what;
    bool flipped;
    std::vector<std::string> items;
    std::optional<std::string> expected;
    int16_t unit = 1;
};

TEST(UpdateConnectors, FindsTheBusBesideABusConnector) {
    const std::vector<BusCase> cases = {
        {"at the limit", false, {busItem(1, "D", 890000, 500000, 890000, 900000)}, "@2,3,4"},
        {"past the limit", false, {busItem(1, "D", 890001, 500000, 890001, 900000)}, std::nullopt},
        {"behind the pin, far", false, {busItem(1, "D", -4999000, 500000, -4999000, 100000)}, "@2,3,4"},
        {"flipped, at the limit", true, {busItem(1, "D", -888000, 500000, -888000, 900000)}, "@2,3,4"},
        {"flipped, past the limit", true, {busItem(1, "D", -888001, 500000, -888001, 900000)}, std::nullopt},
        {"flipped, behind the pin", true, {busItem(1, "D", 5001000, 100000, 5001000, 500000)}, "@2,3,4"},
        {"second end at the pin's height", false, {busItem(1, "D", 2000, 0, 2000, 500000)}, "@2,3,4"},
        {"no end at the pin's height", false, {busItem(1, "D", 2000, 0, 2000, 900000)}, std::nullopt},
        {"horizontal bus", false, {busItem(1, "D", 1100, 500000, 200000, 500000)}, std::nullopt},
        {"bus on another sheet", false, {busItem(2, "D", 2000, 500000, 2000, 900000)}, std::nullopt},
        {"first bus that passes wins",
         false,
         {busItem(1, "D", 1100, 500000, 200000, 500000), busItem(1, "E", 2000, 500000, 2000, 0),
          busItem(1, "D", 3000, 500000, 3000, 0)},
         "@6"},
        {"mm: at the limit", false, {busItem(1, "D", 891000, 500000, 891000, 0)}, "@2,3,4", 2},
        {"mm: past the limit", false, {busItem(1, "D", 891001, 500000, 891001, 0)}, std::nullopt, 2},
        {"inch: at the limit", false, {busItem(1, "D", 890000, 500000, 890000, 0)}, "@2,3,4", 4},
        {"unsupported unit: distance 0", false, {busItem(1, "D", 1000, 500000, 1000, 0)}, "@2,3,4", 3},
        {"unsupported unit: past 0", false, {busItem(1, "D", 1001, 500000, 1001, 0)}, std::nullopt, 3},
    };
    for (const BusCase& c : cases) {
        SCOPED_TRACE(c.what);
        HostedRun hosted(busDesign("SH_BUS_DATA", c.flipped, c.items, c.unit).json());
        orlune::Run& run = *hosted.run;
        prepareUpdate(run);
        run.settings.UnitCode = c.unit;
        EXPECT_TRUE(runUpdate(hosted));
        const auto texts = textsOn(hosted, 1);
        if (c.expected) {
            EXPECT_EQ(texts, std::vector<std::string>{*c.expected});
        } else {
            EXPECT_TRUE(texts.empty());
        }
    }
}

struct TypeCase {
    std::string type;
    std::string expected;
};

TEST(UpdateConnectors, OnlyAnExactBusPrefixMakesABusConnector) {
    const std::vector<TypeCase> cases = {
        {"SH_BUS_DATA", "@2,3,4"}, {"SH_BUS_", "@2,3,4"}, {"  SH_BUS_X  ", "@2,3,4"}, {"SH_BUS", "@5"},
        {"sh_bus_data", "@5"},     {"SH_CONN", "@5"},     {"XSH_BUS_", "@5"},
    };
    for (const TypeCase& c : cases) {
        SCOPED_TRACE(c.type);
        HostedRun hosted(busDesign(c.type, false, {busItem(1, "D", 2000, 500000, 2000, 0)}).json());
        prepareUpdate(*hosted.run);
        EXPECT_TRUE(runUpdate(hosted));
        EXPECT_EQ(textsOn(hosted, 1), std::vector<std::string>{c.expected});
    }
}

struct ShTypeCase {
    const char* what;
    Attributes attributes;
    bool moreRows;
};

TEST(UpdateConnectors, ChoosesMoreRowsOnlyForShTypeOne) {
    const std::vector<ShTypeCase> cases = {
        {"value 1", {{"SH_TYPE", "1"}}, true},
        {"value 1 with trailing spaces", {{"SH_TYPE", "1  "}}, true},
        {"value 1 with leading spaces", {{"SH_TYPE", " 1"}}, true},
        {"after another attribute", {{"OTHER", "0"}, {"SH_TYPE", "1"}}, true},
        {"value 0", {{"SH_TYPE", "0"}}, false},
        {"empty value", {{"SH_TYPE", ""}}, false},
        {"leading zero", {{"SH_TYPE", "01"}}, false},
        {"name in lower case", {{"sh_type", "1"}}, false},
        {"no attribute", {}, false},
        {"only another attribute of value 1", {{"OTHER", "1"}}, false},
        {"the match ends the search", {{"SH_TYPE", "0"}, {"X", "1"}}, false},
    };
    for (const ShTypeCase& c : cases) {
        SCOPED_TRACE(c.what);
        DesignPlan plan;
        plan.sheets = 4;
        plan.components = {connector("SC1", {1000000, 500000, 4, 1}, false, "SH_CONN", c.attributes),
                           part("P1", 1, {1, 2, 3})};
        HostedRun hosted(plan.json());
        prepareUpdate(*hosted.run, 200);
        EXPECT_TRUE(runUpdate(hosted));
        EXPECT_EQ(textsOn(hosted, 4), std::vector<std::string>{c.moreRows ? "@1,\r\n2,3" : "@1,2,3"});
    }
}

TEST(UpdateConnectors, ARefusedTextLeavesTheTooLongMarker) {
    DesignPlan plan;
    plan.sheets = 4;
    plan.textLimit = 5;
    plan.nets = 2;
    plan.components = {connector("SC1", {1000000, 500000, 4, 1}), connector("SC2", {1000000, 500000, 1, 2}),
                       part("P1", 1, {1, 2, 3}), part("P2", 2, {3})};
    HostedRun hosted(plan.json());
    prepareUpdate(*hosted.run);
    EXPECT_TRUE(runUpdate(hosted));
    EXPECT_EQ(textsOn(hosted, 4), std::vector<std::string>{"@@"});
    EXPECT_EQ(textsOn(hosted, 1), std::vector<std::string>{"@3"});
    const auto& placed = hosted.run->list.PlacedTexts;
    ASSERT_EQ(placed.size(), 2u);
    EXPECT_EQ(placed[0].refDes, "SC1");
    EXPECT_EQ(placed[0].text, "@@");
    EXPECT_EQ(placed[0].x, 644400);
    EXPECT_EQ(placed[1].text, "@3");
}

TEST(UpdateConnectors, TheRowWarningEndsThePass) {
    DesignPlan plan;
    plan.sheets = 4;
    plan.nets = 3;
    plan.components = {connector("SC1", {1000000, 500000, 1, 1}),
                       connector("SC2", {1000000, 900000, 1, 2}, false, "SH_CONN", {{"SH_TYPE", "1"}}),
                       connector("SC3", {1000000, 1300000, 1, 3}),
                       part("P1", 1, {2}),
                       part("P2", 2, {2, 3}),
                       part("P3", 3, {4})};
    HostedRun hosted(plan.json());
    orlune::Run& run = *hosted.run;
    prepareUpdate(run, 150);
    EXPECT_FALSE(runUpdate(hosted));
    EXPECT_TRUE(run.list.PassEndedEarly);
    EXPECT_EQ(textsOn(hosted, 1), std::vector<std::string>{"@2"});
    ASSERT_EQ(run.list.PlacedTexts.size(), 1u);
    EXPECT_EQ(run.list.PlacedTexts[0].refDes, "SC1");
    ASSERT_EQ(hosted.platform.boxes.size(), 1u);
    EXPECT_EQ(hosted.platform.boxes[0].text,
              "Allowed width is too short\r    for numbers placing\r         (more rows)");
    EXPECT_EQ(hosted.platform.boxes[0].title, "Warning");
    EXPECT_EQ(hosted.platform.boxes[0].icon, Icon::Warning);

    // A wider row lets the next pass finish, and it says so.
    run.settings.MaxRowLength = 1000;
    EXPECT_TRUE(runUpdate(hosted));
    EXPECT_FALSE(run.list.PassEndedEarly);
    EXPECT_EQ(textsOn(hosted, 1), (std::vector<std::string>{"@2", "@2,3", "@4"}));
    EXPECT_EQ(run.list.PlacedTexts.size(), 3u);
}

TEST(UpdateConnectors, AConnectorWhoseTextFallsOutsideTheCoordinatesDoesNotStopThePass) {
    DesignPlan plan;
    plan.nets = 2;
    plan.components = {connector("SC12", {std::numeric_limits<int32_t>::min() + 1000, 500000, 1, 1}),
                       connector("SC13", {1000000, 500000, 1, 2}), part("P1", 1, {2}), part("P2", 2, {2})};
    HostedRun hosted(plan.json());
    orlune::Run& run = *hosted.run;
    prepareUpdate(run);
    EXPECT_TRUE(runUpdate(hosted));
    EXPECT_FALSE(run.list.PassEndedEarly);
    EXPECT_EQ(textsOn(hosted, 1), std::vector<std::string>{"@2"});
    ASSERT_EQ(run.list.PlacedTexts.size(), 1u);
    EXPECT_EQ(run.list.PlacedTexts[0].refDes, "SC13");
    ASSERT_EQ(hosted.platform.boxes.size(), 1u);
    EXPECT_EQ(hosted.platform.boxes[0].text, "Text of SC12 lies outside the design's coordinates");
}

TEST(UpdateConnectors, PlacedTextsCarryTheChosenStyle) {
    for (int listIndex : {1, 0, -1}) {
        SCOPED_TRACE(listIndex);
        HostedRun hosted(kMinimalDesign);
        orlune::Run& run = *hosted.run;
        prepareUpdate(run);
        run.form.at("cboTextStyle").listIndex = listIndex;
        EXPECT_TRUE(runUpdate(hosted));
        const auto texts = designTexts(hosted);
        ASSERT_EQ(texts.size(), 2u);
        for (const SeenText& t : texts)
            EXPECT_EQ(t.style, listIndex < 0 ? 0 : listIndex);
    }
}

// Many connectors on one net, and many bus connectors on one bus: each
// places exactly its own list, and a connector served from a walk kept
// earlier in the pass leaves the records as walking again would.
TEST(UpdateConnectors, ManyConnectorsOnOneNetOrBusEachPlaceTheirListAndLeaveTheRecordsAsAWalk) {
    constexpr int kConnectors = 120;
    for (const bool busLast : {false, true}) {
        SCOPED_TRACE(busLast);
        DesignPlan plan;
        plan.sheets = 12;
        plan.nets = 3;
        plan.buses = {{"B", {2, 3}}};
        std::vector<std::string> onNet, onBus;
        std::vector<std::string> expectedNet, expectedBus;
        for (int k = 0; k < kConnectors; ++k) {
            const int32_t sheet = 1 + k % 8;
            const int32_t x = 1000000 + 10000 * k;
            onNet.push_back(connector("SN" + std::to_string(k), {x, 500000, sheet, 1}, k % 3 == 0));
            std::string list = "@";
            for (int32_t other = 1; other <= 8; ++other) {
                if (other != sheet) list += (list.size() > 1 ? "," : "") + std::to_string(other);
            }
            expectedNet.push_back(list);
            onBus.push_back(connector("SB" + std::to_string(k), {x, 2000000, sheet, 0}, false, "SH_BUS_IN"));
            plan.items.push_back(busItem(sheet, "B", x + 100000, 2000000, x + 100000, 2100000));
            expectedBus.push_back("@9,10,11");
        }
        std::vector<int32_t> wide(70);
        for (std::size_t i = 0; i < wide.size(); ++i)
            wide[i] = 9 + static_cast<int32_t>(i % 2);
        plan.components = {part("P2", 2, wide), part("P3", 3, {11})};
        const auto& first = busLast ? onNet : onBus;
        const auto& second = busLast ? onBus : onNet;
        plan.components.insert(plan.components.end(), first.begin(), first.end());
        plan.components.insert(plan.components.end(), second.begin(), second.end());

        HostedRun hosted(plan.json());
        orlune::Run& run = *hosted.run;
        prepareUpdate(run);
        Design_Open(run.connection, run.platform);
        Count_Sheets(run);
        ASSERT_TRUE(Update_Connectors(run));

        std::vector<std::string> expected = busLast ? expectedNet : expectedBus;
        const auto& more = busLast ? expectedBus : expectedNet;
        expected.insert(expected.end(), more.begin(), more.end());
        std::vector<std::string> placed;
        for (const PlacedText& t : run.list.PlacedTexts)
            placed.push_back(t.text);
        EXPECT_EQ(placed, expected);

        // Walk again what the last connector's list came from.
        dbx::ItemRecord item = run.records.ItemRec;
        dbx::NetRecord net = run.records.NetRec;
        int32_t nodeSheet = 0;
        auto walkNodes = [&](int32_t netId) {
            for (int32_t st = TGetFirstNetNode(&run.connection.DesignContext, netId, &item); st == dbx::kStatusOk;
                 st = TGetNextNetNode(&run.connection.DesignContext, &item))
                nodeSheet = item.pinPart.layerId;
        };
        if (busLast) {
            std::vector<int32_t> members;
            for (int32_t st = TGetFirstBusNet(&run.connection.DesignContext, "B", &net); st == dbx::kStatusOk;
                 st = TGetNextBusNet(&run.connection.DesignContext, &net))
                members.push_back(net.netId);
            EXPECT_EQ(members, (std::vector<int32_t>{2, 3}));
            for (int32_t id : members)
                walkNodes(id);
        } else {
            walkNodes(1);
        }
        EXPECT_EQ(std::memcmp(&item, &run.records.ItemRec, sizeof item), 0);
        EXPECT_EQ(std::memcmp(&net, &run.records.NetRec, sizeof net), 0);
        EXPECT_EQ(nodeSheet, run.connector.NodeSheet);
        Design_Close(run.connection);
    }
}

}  // namespace
}  // namespace orlune::test

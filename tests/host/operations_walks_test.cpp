// Walk orders, nesting and lookups of the DBX operations, through a design
// file opened with TOpenDesign.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/operations_support.h"

namespace orlune::host::test {
namespace {

using ::testing::ElementsAre;
using Strings = std::vector<std::string>;

// Sheets in the array order 2, 1, 0; symbols, pins and items spread over
// them so that every walk order shows.
const std::string kDesign =
    designJson(R"([ { "id": 2, "name": "Power" }, { "id": 1, "name": "Main" }, { "id": 0, "name": "Border" } ])",
               R"([
      { "refDes": "SC1", "type": "SH_CONN", "kind": 2,
        "attributes": [ { "name": "SH_TYPE", "value": "1" }, { "name": "NOTE", "value": "n" } ],
        "pins": [ { "x": 1000, "y": 500, "sheet": 1, "net": 1 } ],
        "symbol": { "sheet": 1, "x": 1000, "y": 500 } },
      { "refDes": "R1", "type": "RES", "kind": 0,
        "pins": [ { "x": 10, "y": 11, "sheet": 2, "net": 2 }, { "x": 20, "y": 21, "sheet": 2, "net": 1 } ],
        "symbol": { "sheet": 2, "x": 10, "y": 10, "selected": true, "highlight": 3 } },
      { "refDes": "SC2", "type": "SH_BUS_X", "kind": 2,
        "pins": [ { "x": 2000, "y": 500, "sheet": 2, "net": 1 } ],
        "symbol": { "sheet": 2, "x": 2000, "y": 500, "flipped": true } },
      { "refDes": "C1", "type": "CAP", "kind": 5,
        "pins": [ { "x": 30, "y": 31, "sheet": 1, "net": 2 }, { "x": 40, "y": 41, "sheet": 1, "net": 3 } ],
        "symbol": { "sheet": 1, "x": 30, "y": 30, "selected": true } },
      { "refDes": "TP1", "type": "TP", "kind": 7, "pins": [], "symbol": { "sheet": 0, "x": 0, "y": 0 } }
    ])",
               R"([
      { "type": "text", "sheet": 1, "text": "@2", "style": 0, "x": 644400, "y": 500000, "justification": 6 },
      { "type": "bus", "sheet": 1, "bus": "DATA", "x1": 5000, "y1": 0, "x2": 5000, "y2": 1000, "selected": true },
      { "type": "text", "sheet": 2, "text": "hello", "style": 1, "x": 0, "y": 0, "justification": 4 },
      { "type": "wire", "sheet": 1, "net": 1, "x1": 0, "y1": 0, "x2": 10, "y2": 0 },
      { "type": "line", "sheet": 2, "x1": 0, "y1": 0, "x2": 10, "y2": 10, "selected": true },
      { "type": "text", "sheet": 2, "text": "@1", "style": 0, "x": 2482600, "y": 500000, "justification": 4,
        "selected": true }
    ])",
               "", R"([ { "id": 1, "name": "VBAT" }, { "id": 2, "name": "GND" }, { "id": 3, "name": "D0" },
            { "id": 4, "name": "D1" }, { "id": 5, "name": "NC" } ])",
               R"([ { "name": "DATA", "nets": [4, 3] }, { "name": "EMPTY", "nets": [] } ])",
               R"([ { "name": "ORLUNE", "value": "1_140_190_600_", "units": 1 }, { "name": "Other", "value": "v" } ])");

class Walks : public DbxTest {
protected:
    void SetUp() override { openDesign(kDesign); }
};

TEST_F(Walks, DesignInfoDeliversUnitsAndWorkspace) {
    dbx::DesignInfoRecord info{};
    ASSERT_EQ(0, TGetDesignInfo(&context, &info));
    EXPECT_EQ(1, info.units);
    EXPECT_EQ(25400000, info.workspaceExtent.x);
    EXPECT_EQ(17780000, info.workspaceExtent.y);
}

TEST_F(Walks, TextStylesAnswerByNumberWithIdDefaultingToTheNumber) {
    dbx::TextStyleRecord style{};
    ASSERT_EQ(0, TGetTextStyle(&context, 0, &style));
    EXPECT_EQ(0, style.styleId);
    EXPECT_EQ("Default", field(style.styleName));
    ASSERT_EQ(0, TGetTextStyle(&context, 1, &style));
    EXPECT_EQ(7, style.styleId);
    EXPECT_EQ("Big", field(style.styleName));
    EXPECT_EQ(kNotFound, TGetTextStyle(&context, 2, &style));
    EXPECT_EQ(kNotFound, TGetTextStyle(&context, -1, &style));
}

TEST_F(Walks, LayersComeInArrayOrderIncludingLayerZero) {
    std::vector<int32_t> ids;
    dbx::LayerRecord layer{};
    for (int32_t s = TGetFirstLayer(&context, &layer); s == 0; s = TGetNextLayer(&context, &layer))
        ids.push_back(layer.layerId);
    EXPECT_THAT(ids, ElementsAre(2, 1, 0));
    EXPECT_EQ(kWalkEnded, TGetNextLayer(&context, &layer));
}

TEST_F(Walks, LayerItemsAreSymbolsInComponentOrderThenItemsInArrayOrder) {
    EXPECT_THAT(layerItems(1), ElementsAre("S:SC1", "S:C1", "T:@2", "B:DATA", "W"));
    EXPECT_THAT(layerItems(2), ElementsAre("S:R1", "S:SC2", "T:hello", "L", "T:@1"));
    EXPECT_THAT(layerItems(0), ElementsAre("S:TP1"));
}

TEST_F(Walks, AnUndeclaredLayerAnswersNotFoundAndEndsTheWalk) {
    dbx::ItemRecord item{};
    ASSERT_EQ(0, TGetFirstLayerItem(&context, 1, &item));
    EXPECT_EQ(kNotFound, TGetFirstLayerItem(&context, 3, &item));
    EXPECT_EQ(kWalkEnded, TGetNextLayerItem(&context, &item));
}

TEST_F(Walks, NextWithoutFirstAnswersWalkEnded) {
    dbx::ItemRecord item{};
    dbx::LayerRecord layer{};
    dbx::ComponentRecord component{};
    dbx::NetRecord net{};
    dbx::AttributeRecord attribute{};
    EXPECT_EQ(kWalkEnded, TGetNextLayer(&context, &layer));
    EXPECT_EQ(kWalkEnded, TGetNextLayerItem(&context, &item));
    EXPECT_EQ(kWalkEnded, TGetNextComponent(&context, &component));
    EXPECT_EQ(kWalkEnded, TGetNextSelectedItem(&context, &item));
    EXPECT_EQ(kWalkEnded, TGetNextNetNode(&context, &item));
    EXPECT_EQ(kWalkEnded, TGetNextBusNet(&context, &net));
    EXPECT_EQ(kWalkEnded, TGetNextCompAttribute(&context, &attribute));
    EXPECT_EQ(kWalkEnded, TGetNextDesignAttribute(&context, &attribute));
}

TEST_F(Walks, ATextItemDeliversItsTextPartWithBoundsFromTheStyle) {
    dbx::ItemRecord item{};
    ASSERT_EQ(0, TGetFirstLayerItem(&context, 1, &item));
    ASSERT_EQ(0, TGetNextLayerItem(&context, &item));
    ASSERT_EQ(0, TGetNextLayerItem(&context, &item));
    ASSERT_EQ(13, item.itemKind);
    const dbx::TextRecord& text = item.textPart;
    EXPECT_EQ(0, text.textStyleId);
    EXPECT_EQ("@2", field(text.text));
    EXPECT_EQ(1, text.layerId);
    EXPECT_EQ(6, text.justification);
    EXPECT_EQ(644400, text.location.x);
    EXPECT_EQ(500000, text.location.y);
    // "@2" is 100 + 60 wide, one row of 100 high, left of its point.
    EXPECT_EQ(644400 - 160, text.bounds.x1);
    EXPECT_EQ(644400, text.bounds.x2);
    EXPECT_EQ(500000 - 50, text.bounds.y1);
    EXPECT_EQ(500000 + 50, text.bounds.y2);
    // The field holds the text, a NUL and padding spaces.
    EXPECT_EQ(0, std::memcmp(text.text, "@2\0   ", 6));
    EXPECT_EQ(' ', text.text[255]);
}

TEST_F(Walks, ATextInAStyleOfItsOwnIsMeasuredInIt) {
    dbx::ItemRecord item{};
    ASSERT_EQ(0, TGetFirstLayerItem(&context, 2, &item));
    ASSERT_EQ(0, TGetNextLayerItem(&context, &item));
    ASSERT_EQ(0, TGetNextLayerItem(&context, &item));
    ASSERT_EQ("T:hello", describe(item));
    EXPECT_EQ(1, item.textPart.textStyleId);
    EXPECT_EQ(0, item.textPart.bounds.x1);
    EXPECT_EQ(5 * 120, item.textPart.bounds.x2);
    EXPECT_EQ(-100, item.textPart.bounds.y1);
    EXPECT_EQ(100, item.textPart.bounds.y2);
}

TEST_F(Walks, ABusItemDeliversItsBusPart) {
    dbx::ItemRecord item{};
    ASSERT_EQ(0, TGetFirstLayerItem(&context, 1, &item));
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(0, TGetNextLayerItem(&context, &item));
    ASSERT_EQ(45, item.itemKind);
    EXPECT_EQ(5000, item.busPart.x1);
    EXPECT_EQ(0, item.busPart.y1);
    EXPECT_EQ(5000, item.busPart.x2);
    EXPECT_EQ(1000, item.busPart.y2);
    EXPECT_EQ("DATA", field(item.busPart.busName));
}

TEST_F(Walks, ASymbolItemDeliversRefDesFlippedAndHighlighted) {
    dbx::ItemRecord item{};
    ASSERT_EQ(0, TGetFirstLayerItem(&context, 2, &item));
    ASSERT_EQ(35, item.itemKind);
    EXPECT_EQ("R1", field(item.symbolPart.refDes));
    EXPECT_EQ(0, item.symbolPart.flipped);
    EXPECT_NE(0, item.symbolPart.highlighted);
    ASSERT_EQ(0, TGetNextLayerItem(&context, &item));
    EXPECT_EQ("SC2", field(item.symbolPart.refDes));
    EXPECT_EQ(1, item.symbolPart.flipped);
    EXPECT_EQ(0, item.symbolPart.highlighted);
}

TEST_F(Walks, ADeliveredItemLeavesNoStaleBytesOfAnEarlierOne) {
    dbx::ItemRecord item;
    std::memset(&item, 0x5A, sizeof item);
    ASSERT_EQ(0, TGetFirstLayerItem(&context, 1, &item));  // a symbol
    EXPECT_EQ(0, item.textPart.textStyleId);
    EXPECT_EQ(0, item.busPart.x1);
    EXPECT_EQ(0, item.pinPart.layerId);
    ASSERT_EQ(0, TGetNextLayerItem(&context, &item));
    ASSERT_EQ(0, TGetNextLayerItem(&context, &item));  // a text
    EXPECT_EQ(0, item.symbolPart.flipped);
    EXPECT_EQ(0, item.textPart.textFlag1);
    EXPECT_EQ(1, item.textPart.textFlag2);
}

TEST_F(Walks, ComponentsComeInArrayOrder) {
    std::vector<std::string> seen;
    dbx::ComponentRecord component{};
    for (int32_t s = TGetFirstComponent(&context, &component); s == 0; s = TGetNextComponent(&context, &component))
        seen.push_back(field(component.refDes) + "/" + field(component.compType) + "/" +
                       std::to_string(component.compKind));
    EXPECT_THAT(seen, ElementsAre("SC1/SH_CONN/2", "R1/RES/0", "SC2/SH_BUS_X/2", "C1/CAP/5", "TP1/TP/7"));
    EXPECT_EQ(kWalkEnded, TGetNextComponent(&context, &component));
}

TEST_F(Walks, SelectedItemsAreSelectedSymbolsThenSelectedItems) {
    EXPECT_THAT(selectedItems(), ElementsAre("S:R1", "S:C1", "B:DATA", "L", "T:@1"));
}

TEST_F(Walks, NetNodesArePinsInComponentAndPinOrder) {
    EXPECT_THAT(netNodes(1), ElementsAre("P:1", "P:2", "P:2"));
    EXPECT_THAT(netNodes(2), ElementsAre("P:2", "P:1"));
}

TEST_F(Walks, ANetNodeDeliversItsPinInPinPart) {
    dbx::ItemRecord item{};
    ASSERT_EQ(0, TGetFirstNetNode(&context, 1, &item));
    ASSERT_EQ(0, TGetNextNetNode(&context, &item));
    EXPECT_EQ(7, item.itemKind);
    EXPECT_EQ(20, item.pinPart.location.x);
    EXPECT_EQ(21, item.pinPart.location.y);
    EXPECT_EQ(2, item.pinPart.layerId);
    EXPECT_EQ(1, item.pinPart.netId);
}

TEST_F(Walks, NetZeroAndUnknownNetsAnswerNonZeroAndANetWithoutPinsIsEmpty) {
    dbx::ItemRecord item{};
    EXPECT_NE(0, TGetFirstNetNode(&context, 0, &item));
    EXPECT_EQ(kNotFound, TGetFirstNetNode(&context, 99, &item));
    EXPECT_EQ(kWalkEnded, TGetFirstNetNode(&context, 5, &item));
    EXPECT_EQ(kWalkEnded, TGetNextNetNode(&context, &item));
}

TEST_F(Walks, BusNetsComeInArrayOrder) {
    std::vector<int32_t> nets;
    dbx::NetRecord net{};
    for (int32_t s = TGetFirstBusNet(&context, "DATA", &net); s == 0; s = TGetNextBusNet(&context, &net))
        nets.push_back(net.netId);
    EXPECT_THAT(nets, ElementsAre(4, 3));
    EXPECT_EQ(kWalkEnded, TGetFirstBusNet(&context, "EMPTY", &net));
    EXPECT_EQ(kNotFound, TGetFirstBusNet(&context, "NOBUS", &net));
    EXPECT_EQ(kNotFound, TGetFirstBusNet(&context, "data", &net));
}

TEST_F(Walks, TheBusNameFieldOfAWalkedBusNamesItsBus) {
    dbx::ItemRecord item{};
    ASSERT_EQ(0, TGetFirstSelectedItem(&context, &item));
    ASSERT_EQ(0, TGetNextSelectedItem(&context, &item));
    ASSERT_EQ(0, TGetNextSelectedItem(&context, &item));
    ASSERT_EQ("B:DATA", describe(item));
    dbx::BusRecord bus;
    std::memcpy(&bus, &item.busPart, sizeof bus);
    dbx::NetRecord net{};
    ASSERT_EQ(0, TGetFirstBusNet(&context, bus.busName, &net));
    EXPECT_EQ(4, net.netId);
}

TEST_F(Walks, PerComponentLookupsFindTheComponentByItsExactRefDes) {
    dbx::ComponentRecord component{};
    ASSERT_EQ(0, TGetCompByRefDes(&context, "SC2", &component));
    EXPECT_EQ("SH_BUS_X", field(component.compType));
    EXPECT_EQ(2, component.compKind);
    EXPECT_EQ(kNotFound, TGetCompByRefDes(&context, "sc2", &component));
    EXPECT_EQ(kNotFound, TGetCompByRefDes(&context, "SC", &component));
    EXPECT_EQ(kNotFound, TGetCompByRefDes(&context, "SC2 ", &component));

    dbx::SymbolRecord symbol{};
    ASSERT_EQ(0, TGetCompSymbolByRefDes(&context, "SC2", &symbol));
    EXPECT_EQ("SC2", field(symbol.refDes));
    EXPECT_EQ(1, symbol.flipped);
    EXPECT_EQ(kNotFound, TGetCompSymbolByRefDes(&context, "X9", &symbol));

    dbx::PinRecord pin{};
    ASSERT_EQ(0, TGetFirstCompPin(&context, "R1", &pin));
    EXPECT_EQ(10, pin.location.x);
    EXPECT_EQ(11, pin.location.y);
    EXPECT_EQ(2, pin.layerId);
    EXPECT_EQ(2, pin.netId);
    EXPECT_EQ(kNotFound, TGetFirstCompPin(&context, "TP1", &pin));
    EXPECT_EQ(kNotFound, TGetFirstCompPin(&context, "X9", &pin));
}

TEST_F(Walks, AnUnconnectedFirstPinDeliversNetZero) {
    const std::string json = designJson(R"([ { "id": 1, "name": "Main" } ])", R"([
      { "refDes": "U1", "type": "IC", "kind": 0, "pins": [ { "x": 1, "y": 2, "sheet": 1 } ],
        "symbol": { "sheet": 1, "x": 0, "y": 0 } } ])",
                                        "[]");
    ASSERT_EQ(0, TCloseDesign(&context, ""));
    openDesign(json);
    dbx::PinRecord pin{};
    ASSERT_EQ(0, TGetFirstCompPin(&context, "U1", &pin));
    EXPECT_EQ(0, pin.netId);
}

TEST_F(Walks, ComponentAttributesComeInOrder) {
    dbx::AttributeRecord attribute{};
    ASSERT_EQ(0, TGetFirstCompAttribute(&context, "SC1", &attribute));
    EXPECT_EQ("SH_TYPE", field(attribute.name));
    EXPECT_EQ("1", field(attribute.value));
    ASSERT_EQ(0, TGetNextCompAttribute(&context, &attribute));
    EXPECT_EQ("NOTE", field(attribute.name));
    EXPECT_EQ(kWalkEnded, TGetNextCompAttribute(&context, &attribute));
    EXPECT_EQ(kWalkEnded, TGetFirstCompAttribute(&context, "R1", &attribute));
    EXPECT_EQ(kNotFound, TGetFirstCompAttribute(&context, "NONE", &attribute));
}

TEST_F(Walks, DesignAttributesComeInOrderWithTheirUnits) {
    dbx::AttributeRecord attribute{};
    ASSERT_EQ(0, TGetFirstDesignAttribute(&context, &attribute));
    EXPECT_EQ("ORLUNE", field(attribute.name));
    EXPECT_EQ("1_140_190_600_", field(attribute.value));
    EXPECT_EQ(1, attribute.units);
    ASSERT_EQ(0, TGetNextDesignAttribute(&context, &attribute));
    EXPECT_EQ("Other", field(attribute.name));
    EXPECT_EQ(kWalkEnded, TGetNextDesignAttribute(&context, &attribute));
}

TEST_F(Walks, ItemsDeletedInALayerWalkLeaveTheSelectionToo) {
    dbx::ItemRecord item{};
    for (int32_t s = TGetFirstLayerItem(&context, 2, &item); s == 0; s = TGetNextLayerItem(&context, &item)) {
        if (item.itemKind == 13 || item.itemKind == 9) {
            EXPECT_EQ(0, TDeleteItem(&context, &item));
        }
    }
    EXPECT_THAT(layerItems(2), ElementsAre("S:R1", "S:SC2"));
    EXPECT_THAT(selectedItems(), ElementsAre("S:R1", "S:C1", "B:DATA"));
}

TEST_F(Walks, ABusSegmentIsDeletedByItsItemRecord) {
    dbx::ItemRecord item{};
    ASSERT_EQ(0, TGetFirstSelectedItem(&context, &item));
    ASSERT_EQ(0, TGetNextSelectedItem(&context, &item));
    ASSERT_EQ(0, TGetNextSelectedItem(&context, &item));
    ASSERT_EQ("B:DATA", describe(item));
    dbx::ItemRecord moved = item;
    moved.busPart.x1 += 1;  // no longer the segment that the identity names
    EXPECT_EQ(kNotFound, TDeleteItem(&context, &moved));
    ASSERT_EQ(0, TDeleteItem(&context, &item));
    EXPECT_THAT(layerItems(1), ElementsAre("S:SC1", "S:C1", "T:@2", "W"));
}

// The update pass's nesting: inside the component walk, per-component
// lookups and item, net, bus and attribute walks.
TEST_F(Walks, WalksOfDifferentKindsNestWithoutDisturbingEachOther) {
    std::vector<std::string> trace;
    dbx::ComponentRecord component{};
    dbx::ItemRecord item{};
    dbx::ItemRecord node{};
    dbx::NetRecord net{};
    dbx::AttributeRecord attribute{};
    dbx::LayerRecord layer{};
    ASSERT_EQ(0, TGetFirstLayer(&context, &layer));
    for (int32_t s = TGetFirstComponent(&context, &component); s == 0; s = TGetNextComponent(&context, &component)) {
        const std::string refDes = field(component.refDes);
        std::string line = refDes + ":";
        dbx::PinRecord pin{};
        if (TGetFirstCompPin(&context, refDes.c_str(), &pin) != 0) continue;
        for (int32_t i = TGetFirstLayerItem(&context, pin.layerId, &item); i == 0;
             i = TGetNextLayerItem(&context, &item)) {
            if (item.itemKind != 45) continue;
            for (int32_t b = TGetFirstBusNet(&context, item.busPart.busName, &net); b == 0;
                 b = TGetNextBusNet(&context, &net)) {
                line += " bus" + std::to_string(net.netId);
                for (int32_t n = TGetFirstNetNode(&context, net.netId, &node); n == 0;
                     n = TGetNextNetNode(&context, &node))
                    line += "+";
            }
        }
        for (int32_t n = TGetFirstNetNode(&context, pin.netId, &node); n == 0; n = TGetNextNetNode(&context, &node)) {
            line += " " + std::to_string(node.pinPart.layerId);
            for (int32_t a = TGetFirstCompAttribute(&context, refDes.c_str(), &attribute); a == 0;
                 a = TGetNextCompAttribute(&context, &attribute))
                line += "a";
        }
        trace.push_back(line);
        // The layer walk, begun before the component walk, goes on.
        if (TGetNextLayer(&context, &layer) == 0) trace.push_back("layer " + std::to_string(layer.layerId));
    }
    EXPECT_THAT(trace, ElementsAre("SC1: bus4 bus3+ 1aa 2aa 2aa", "layer 1", "R1: 2 1", "layer 0", "SC2: 1 2 2",
                                   "C1: bus4 bus3+ 2 1"));
}

}  // namespace
}  // namespace orlune::host::test

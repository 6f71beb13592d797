// The DBX operations that open, close and change the design, and the
// Windows-1252 boundary, through design files opened with TOpenDesign.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/operations_support.h"

namespace orlune::host::test {
namespace {

using ::testing::ElementsAre;

const std::string kSheets = R"([ { "id": 1, "name": "Main" }, { "id": 2, "name": "Power" } ])";

const std::string kConnectors = R"([
  { "refDes": "SC1", "type": "SH_CONN", "kind": 2,
    "attributes": [ { "name": "SH_TYPE", "value": "0" }, { "name": "SH_TYPE", "value": "1" } ],
    "pins": [ { "x": 1000000, "y": 500000, "sheet": 1, "net": 1 } ],
    "symbol": { "sheet": 1, "x": 1000000, "y": 500000 } },
  { "refDes": "SC2", "type": "SH_CONN", "kind": 2,
    "pins": [ { "x": 2000000, "y": 500000, "sheet": 2, "net": 1 } ],
    "symbol": { "sheet": 2, "x": 2000000, "y": 500000, "flipped": true } } ])";

const std::string kNets = R"([ { "id": 1, "name": "VBAT" } ])";

std::string designWith(std::string_view items, std::string_view more = "", std::string_view attributes = "[]",
                       std::string_view components = kConnectors) {
    return designJson(kSheets, components, items, more, kNets, "[]", attributes);
}

const std::string kTexts = designWith(R"([
  { "type": "text", "sheet": 1, "text": "@2", "style": 0, "x": 100, "y": 200, "justification": 6 },
  { "type": "text", "sheet": 1, "text": "keep", "style": 0, "x": 0, "y": 0, "justification": 4 },
  { "type": "text", "sheet": 1, "text": "@3", "style": 0, "x": 300, "y": 200, "justification": 6 },
  { "type": "wire", "sheet": 1, "x1": 0, "y1": 0, "x2": 1, "y2": 1 },
  { "type": "text", "sheet": 1, "text": "@4", "style": 0, "x": 500, "y": 200, "justification": 6 } ])");

dbx::TextRecord textRecord(std::string_view text, int32_t layer, int32_t x, int32_t y, int32_t justification = 4,
                           int32_t style = 0) {
    dbx::TextRecord record{};
    dbx::writeField(record.text, text);
    record.layerId = layer;
    record.location = {x, y};
    record.justification = justification;
    record.textStyleId = style;
    return record;
}

// --- Opening and closing ----------------------------------------------------

TEST(OpenDesign, WithoutAHostBoundThereIsNoDesign) {
    dbx::DesignContext context{};
    EXPECT_EQ(kNoDesign, TOpenDesign(0, 16000, "SCH", &context));
    dbx::DesignInfoRecord info{};
    EXPECT_EQ(kNotOpen, TGetDesignInfo(&context, &info));
}

TEST(OpenDesign, AHostWithoutADesignFileAnswersNoDesign) {
    Host host;
    HostBinding binding(host);
    dbx::DesignContext context{};
    EXPECT_EQ(kNoDesign, TOpenDesign(0, 16000, "SCH", &context));
}

class Conversations : public DbxTest {};

TEST_F(Conversations, AnotherDbxVersionOrDesignKindIsIncompatible) {
    run = std::make_unique<orlune::test::HostedRun>(designWith("[]"));
    EXPECT_EQ(kIncompatible, TOpenDesign(0, 15000, "SCH", &context));
    EXPECT_EQ(kIncompatible, TOpenDesign(0, 16000, "PCB", &context));
    EXPECT_EQ(kIncompatible, TOpenDesign(0, 16000, "SC", &context));
    EXPECT_EQ(0, TOpenDesign(0, 16000, "SCH", &context));
}

TEST_F(Conversations, TheContextNamesTheOpenConversationOnly) {
    openDesign(designWith("[]"));
    dbx::DesignInfoRecord info{};
    EXPECT_EQ(0, TGetDesignInfo(&context, &info));

    dbx::DesignContext forged{};
    EXPECT_EQ(kNotOpen, TGetDesignInfo(&forged, &info));
    EXPECT_EQ(kNotOpen, TGetDesignInfo(nullptr, &info));
    dbx::DesignContext altered = context;
    altered.bytes[4] ^= 1;
    EXPECT_EQ(kNotOpen, TGetDesignInfo(&altered, &info));

    const dbx::DesignContext first = context;
    reopen();
    dbx::DesignContext stale = first;
    EXPECT_EQ(kNotOpen, TGetDesignInfo(&stale, &info)) << "a context of an ended conversation";
    EXPECT_EQ(0, TGetDesignInfo(&context, &info));
}

TEST_F(Conversations, AfterCloseEveryOperationAnswersNotOpen) {
    openDesign(designWith("[]"));
    ASSERT_EQ(0, TCloseDesign(&context, ""));
    dbx::DesignInfoRecord info{};
    dbx::ComponentRecord component{};
    dbx::TextRecord text = textRecord("@1", 1, 0, 0);
    EXPECT_EQ(kNotOpen, TGetDesignInfo(&context, &info));
    EXPECT_EQ(kNotOpen, TGetFirstComponent(&context, &component));
    EXPECT_EQ(kNotOpen, TPlaceText(&context, &text));
    EXPECT_EQ(kNotOpen, TCloseDesign(&context, ""));
}

TEST_F(Conversations, ASecondOpenIsRefusedAndTheOpenConversationGoesOn) {
    openDesign(designWith("[]"));
    const dbx::DesignContext open = context;
    dbx::DesignContext other{};
    other.bytes[0] = 1;
    EXPECT_EQ(kNotOpen, TOpenDesign(0, 16000, "SCH", &context));
    EXPECT_EQ(kNotOpen, TOpenDesign(0, 16000, "SCH", &other));
    EXPECT_EQ(0, std::memcmp(open.bytes, context.bytes, sizeof open.bytes));
    EXPECT_EQ(dbx::DesignContext{}.bytes[0], other.bytes[0]);  // names nothing
    dbx::DesignInfoRecord info{};
    EXPECT_EQ(0, TGetDesignInfo(&context, &info));
    EXPECT_EQ(0, TCloseDesign(&context, ""));
}

TEST_F(Conversations, OnCallRunsAtTheStartOfEveryOperationWithItsName) {
    openDesign(designWith("[]"));
    std::vector<std::string> calls;
    host().onCall = [&](std::string_view name) { calls.emplace_back(name); };
    dbx::ComponentRecord component{};
    dbx::TextRecord text = textRecord("@1", 9, 0, 0);
    TGetFirstComponent(&context, &component);
    TGetNextComponent(&context, &component);
    TPlaceText(&context, &text);
    TCloseDesign(&context, "");
    TOpenDesign(0, 16000, "SCH", &context);
    EXPECT_THAT(calls,
                ElementsAre("TGetFirstComponent", "TGetNextComponent", "TPlaceText", "TCloseDesign", "TOpenDesign"));
}

// A window click delivered from inside a DBX call may make calls of its own;
// the walk in progress goes on.
TEST_F(Conversations, CallsMadeFromTheHookDoNotDisturbTheWalkInProgress) {
    openDesign(designWith("[]"));
    bool inside = false;
    int nested = 0;
    host().onCall = [&](std::string_view name) {
        if (inside || name != "TGetNextComponent") return;
        inside = true;
        dbx::ComponentRecord other{};
        dbx::DesignInfoRecord info{};
        if (TGetDesignInfo(&context, &info) == 0 && TGetCompByRefDes(&context, "SC1", &other) == 0) ++nested;
        inside = false;
    };
    std::vector<std::string> seen;
    dbx::ComponentRecord component{};
    for (int32_t s = TGetFirstComponent(&context, &component); s == 0; s = TGetNextComponent(&context, &component))
        seen.push_back(field(component.refDes));
    EXPECT_THAT(seen, ElementsAre("SC1", "SC2"));
    EXPECT_EQ(2, nested);
}

TEST_F(Conversations, ADesignOpenedAndClosedWithoutChangesIsNotRewritten) {
    openDesign(designWith("[]"));
    const std::string before = run->designText();
    dbx::SymbolRecord symbol{};
    ASSERT_EQ(0, TGetCompSymbolByRefDes(&context, "SC1", &symbol));
    ASSERT_EQ(0, THighlightSymbol(&context, 0, &symbol));  // the colour it has
    EXPECT_FALSE(design().changed);
    ASSERT_EQ(0, TCloseDesign(&context, ""));
    EXPECT_EQ(before, run->designText());
}

// --- Placing texts --------------------------------------------------------------

class Texts : public DbxTest {};

TEST_F(Texts, APlacedTextIsAppendedToItsSheetAndKeptByTheSave) {
    openDesign(kTexts);
    dbx::TextRecord text = textRecord("@5", 1, 700, 200, 6);
    ASSERT_EQ(0, TPlaceText(&context, &text));
    EXPECT_TRUE(design().changed);
    EXPECT_THAT(layerItems(1), ElementsAre("S:SC1", "T:@2", "T:keep", "T:@3", "W", "T:@4", "T:@5"));
    reopen();
    EXPECT_THAT(layerItems(1), ElementsAre("S:SC1", "T:@2", "T:keep", "T:@3", "W", "T:@4", "T:@5"));
    EXPECT_NE(std::string::npos, run->designText().find("\"@5\""));
}

TEST_F(Texts, APlacedTextCarriesItsStyleJustificationAndPlace) {
    openDesign(designWith("[]"));
    dbx::TextRecord text = textRecord("@22,", 2, 2482600, 500000, 4, 1);
    ASSERT_EQ(0, TPlaceText(&context, &text));
    dbx::ItemRecord item{};
    ASSERT_EQ(0, TGetFirstLayerItem(&context, 2, &item));
    ASSERT_EQ(0, TGetNextLayerItem(&context, &item));
    ASSERT_EQ("T:@22,", describe(item));
    EXPECT_EQ(1, item.textPart.textStyleId);
    EXPECT_EQ(4, item.textPart.justification);
    EXPECT_EQ(2482600, item.textPart.location.x);
    EXPECT_EQ(500000, item.textPart.location.y);
    EXPECT_EQ(2, item.textPart.layerId);
    EXPECT_EQ(2482600 + 4 * 120, item.textPart.bounds.x2);
}

TEST_F(Texts, AnUndeclaredLayerGetsNoText) {
    openDesign(designWith("[]"));
    dbx::TextRecord text = textRecord("@1", 3, 0, 0);
    EXPECT_EQ(kNotFound, TPlaceText(&context, &text));
    text.layerId = 0;
    EXPECT_EQ(kNotFound, TPlaceText(&context, &text));
    EXPECT_FALSE(design().changed);
}

TEST_F(Texts, ATextUpToTheLimitIsPlacedAndALongerOneRefusedWith32232) {
    openDesign(designWith("[]", "\"textLimit\": 5,"));
    dbx::TextRecord exact = textRecord("@1234", 1, 0, 0);
    EXPECT_EQ(0, TPlaceText(&context, &exact));
    dbx::TextRecord longer = textRecord("@12345", 1, 0, 0);
    EXPECT_EQ(32232, TPlaceText(&context, &longer));
    EXPECT_THAT(layerItems(1), ElementsAre("S:SC1", "T:@1234"));
}

TEST_F(Texts, CarriageReturnAndLineFeedCountTowardsTheLimit) {
    openDesign(designWith("[]", "\"textLimit\": 5,"));
    dbx::TextRecord fits = textRecord("@1\r\n2", 1, 0, 0);
    EXPECT_EQ(0, TPlaceText(&context, &fits));
    dbx::TextRecord over = textRecord("@1\r\n23", 1, 0, 0);
    EXPECT_EQ(32232, TPlaceText(&context, &over));
}

TEST_F(Texts, TheDefaultLimitIs255AndAFullFieldWithoutNulIsCounted) {
    openDesign(designWith("[]"));
    dbx::TextRecord fits = textRecord(std::string(255, 'x'), 1, 0, 0);
    EXPECT_EQ(0, TPlaceText(&context, &fits));
    dbx::TextRecord full = textRecord(std::string(256, 'x'), 1, 0, 0);  // no room for the NUL
    EXPECT_EQ(32232, TPlaceText(&context, &full));
}

TEST_F(Texts, TheLimitCountsWindows1252CharactersAsReceived) {
    openDesign(designWith("[]", "\"textLimit\": 3,"));
    dbx::TextRecord euros = textRecord("\x80\x80\x80", 1, 0, 0);  // 3 bytes, 9 in UTF-8
    EXPECT_EQ(0, TPlaceText(&context, &euros));
}

TEST_F(Texts, TheWorkedExampleMeasuresAsTheDesignFilePageSays) {
    openDesign(designWith("[]"));
    std::vector<int32_t> widths;
    for (const char* trial : {"@", "@2,", "@22,"}) {
        dbx::TextRecord text = textRecord(trial, 1, 12700000, 8890000, 6);
        ASSERT_EQ(0, TPlaceText(&context, &text));
    }
    dbx::ItemRecord item{};
    for (int32_t s = TGetFirstLayerItem(&context, 1, &item); s == 0; s = TGetNextLayerItem(&context, &item))
        if (item.itemKind == 13) widths.push_back(item.textPart.bounds.x2 - item.textPart.bounds.x1);
    EXPECT_THAT(widths, ElementsAre(100, 180, 240));
}

TEST_F(Texts, AMultiRowTextIsAsWideAsItsWidestRowOnEitherSide) {
    openDesign(designWith("[]"));
    dbx::TextRecord left = textRecord("@2,\r\n@22,\r\n@", 1, 1000, 1000, 6);
    ASSERT_EQ(0, TPlaceText(&context, &left));
    dbx::TextRecord right = textRecord("@\r\n@22,", 2, 1000, 1000, 4);
    ASSERT_EQ(0, TPlaceText(&context, &right));
    dbx::ItemRecord item{};
    ASSERT_EQ(0, TGetFirstLayerItem(&context, 1, &item));
    ASSERT_EQ(0, TGetNextLayerItem(&context, &item));
    EXPECT_EQ(1000 - 240, item.textPart.bounds.x1);
    EXPECT_EQ(1000, item.textPart.bounds.x2);
    EXPECT_EQ(1000 - 150, item.textPart.bounds.y1);
    EXPECT_EQ(1000 + 150, item.textPart.bounds.y2);
    ASSERT_EQ(0, TGetFirstLayerItem(&context, 2, &item));
    ASSERT_EQ(0, TGetNextLayerItem(&context, &item));
    EXPECT_EQ(1000, item.textPart.bounds.x1);
    EXPECT_EQ(1000 + 240, item.textPart.bounds.x2);
    EXPECT_EQ(1000 - 100, item.textPart.bounds.y1);
    EXPECT_EQ(1000 + 100, item.textPart.bounds.y2);
}

TEST_F(Texts, ATextOfAnUnknownStyleIsMeasuredWithTheFirstStyle) {
    openDesign(designWith("[]"));
    dbx::TextRecord text = textRecord("@2,", 1, 0, 0, 4, 42);
    ASSERT_EQ(0, TPlaceText(&context, &text));
    dbx::ItemRecord item{};
    ASSERT_EQ(0, TGetFirstLayerItem(&context, 1, &item));
    ASSERT_EQ(0, TGetNextLayerItem(&context, &item));
    EXPECT_EQ(42, item.textPart.textStyleId);
    EXPECT_EQ(180, item.textPart.bounds.x2);
}

TEST_F(Texts, WithoutStylesATextIsMeasuredOneUnitPerCharacter) {
    openDesign(designJson(kSheets, kConnectors, "[]", "", kNets, "[]", "[]", "[]"));
    dbx::TextRecord text = textRecord("@22,\r\n@", 1, 0, 0);
    ASSERT_EQ(0, TPlaceText(&context, &text));
    EXPECT_EQ(4, text.bounds.x2 - text.bounds.x1) << "the placed record gets its bounds too";
    EXPECT_EQ(2, text.bounds.y2 - text.bounds.y1);
}

// --- Deleting texts and items ------------------------------------------------------

// As Delete_OwnTexts does it: every text beginning with "@" is deleted
// with the item record as the walk left it, and the walk goes on.
TEST_F(Texts, DeletingTheItemInHandLeavesTheWalkOnTheItemThatFollowed) {
    openDesign(kTexts);
    std::vector<std::string> seen;
    dbx::ItemRecord item{};
    for (int32_t s = TGetFirstLayerItem(&context, 1, &item); s == 0; s = TGetNextLayerItem(&context, &item)) {
        seen.push_back(describe(item));
        if (item.itemKind == 13 && item.textPart.text[0] == '@') {
            EXPECT_EQ(0, TDeleteItem(&context, &item));
        }
    }
    // "@4", the last item, was deleted too, and the walk ended after it.
    EXPECT_THAT(seen, ElementsAre("S:SC1", "T:@2", "T:keep", "T:@3", "W", "T:@4"));
    EXPECT_THAT(layerItems(1), ElementsAre("S:SC1", "T:keep", "W"));
    reopen();
    EXPECT_THAT(layerItems(1), ElementsAre("S:SC1", "T:keep", "W"));
    EXPECT_EQ(std::string::npos, run->designText().find("@3"));
}

TEST_F(Texts, DeletingTheLastItemEndsTheWalk) {
    openDesign(kTexts);
    dbx::ItemRecord item{};
    ASSERT_EQ(0, TGetFirstLayerItem(&context, 1, &item));
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(0, TGetNextLayerItem(&context, &item));
    ASSERT_EQ("T:@4", describe(item));
    ASSERT_EQ(0, TDeleteItem(&context, &item));
    EXPECT_EQ(kWalkEnded, TGetNextLayerItem(&context, &item));
    EXPECT_EQ(kNotFound, TDeleteItem(&context, &item)) << "already deleted";
}

TEST_F(Texts, DeletingTheTextInHandByItsTextRecordAlsoLeavesTheWalkOnTheNextItem) {
    openDesign(kTexts);
    dbx::ItemRecord item{};
    ASSERT_EQ(0, TGetFirstLayerItem(&context, 1, &item));
    ASSERT_EQ(0, TGetNextLayerItem(&context, &item));
    ASSERT_EQ("T:@2", describe(item));
    dbx::TextRecord copy;
    std::memcpy(&copy, &item.textPart, sizeof copy);
    ASSERT_EQ(0, TDeleteText(&context, &copy));
    ASSERT_EQ(0, TGetNextLayerItem(&context, &item));
    EXPECT_EQ("T:keep", describe(item));
    EXPECT_THAT(layerItems(1), ElementsAre("S:SC1", "T:keep", "T:@3", "W", "T:@4"));
}

// As Measure_Text does it: place, find it again in a walk, copy its
// textPart into the TextRecord, delete it with that record.
TEST_F(Texts, DeleteTextFindsTheTextThatACopiedTextPartDescribes) {
    openDesign(kTexts);
    dbx::TextRecord text = textRecord("@", 2, 12700000, 8890000, 6);
    ASSERT_EQ(0, TPlaceText(&context, &text));
    dbx::ItemRecord item{};
    ASSERT_EQ(0, TGetFirstLayerItem(&context, 2, &item));
    ASSERT_EQ(0, TGetNextLayerItem(&context, &item));
    ASSERT_EQ("T:@", describe(item));
    std::memcpy(&text, &item.textPart, sizeof text);
    EXPECT_EQ(100, text.bounds.x2 - text.bounds.x1);
    ASSERT_EQ(0, TDeleteText(&context, &text));
    EXPECT_THAT(layerItems(2), ElementsAre("S:SC2"));
    EXPECT_EQ(kNotFound, TDeleteText(&context, &text));
}

TEST_F(Texts, DeleteTextWithoutAnIdentityMatchesLayerPlaceAndText) {
    openDesign(kTexts);
    dbx::TextRecord text = textRecord("@3", 1, 300, 200);
    text.reserved0 = 0;
    ASSERT_EQ(0, TDeleteText(&context, &text));
    EXPECT_THAT(layerItems(1), ElementsAre("S:SC1", "T:@2", "T:keep", "W", "T:@4"));
}

TEST_F(Texts, DeleteTextWhoseIdentityNamesAnotherTextFallsBackToTheText) {
    openDesign(kTexts);
    dbx::TextRecord text = textRecord("@4", 1, 500, 200);
    text.reserved0 = 1;  // "@2"'s identity
    ASSERT_EQ(0, TDeleteText(&context, &text));
    EXPECT_THAT(layerItems(1), ElementsAre("S:SC1", "T:@2", "T:keep", "T:@3", "W"));
}

TEST_F(Texts, DeleteTextOfNoSuchTextAnswersNotFound) {
    openDesign(kTexts);
    for (dbx::TextRecord text : {textRecord("@3", 1, 301, 200), textRecord("@3", 2, 300, 200),
                                 textRecord("@33", 1, 300, 200), textRecord("@3", 7, 300, 200)}) {
        EXPECT_EQ(kNotFound, TDeleteText(&context, &text));
    }
    EXPECT_FALSE(design().changed);
}

TEST_F(Texts, DeleteItemRefusesASymbol) {
    openDesign(kTexts);
    dbx::ItemRecord item{};
    ASSERT_EQ(0, TGetFirstLayerItem(&context, 1, &item));
    ASSERT_EQ("S:SC1", describe(item));
    EXPECT_NE(0, TDeleteItem(&context, &item));
    EXPECT_THAT(layerItems(1), ElementsAre("S:SC1", "T:@2", "T:keep", "T:@3", "W", "T:@4"));
}

TEST_F(Texts, DeleteItemRemovesAWire) {
    openDesign(kTexts);
    dbx::ItemRecord item{};
    ASSERT_EQ(0, TGetFirstLayerItem(&context, 1, &item));
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(0, TGetNextLayerItem(&context, &item));
    ASSERT_EQ("W", describe(item));
    ASSERT_EQ(0, TDeleteItem(&context, &item));
    EXPECT_THAT(layerItems(1), ElementsAre("S:SC1", "T:@2", "T:keep", "T:@3", "T:@4"));
}

// --- Attributes -----------------------------------------------------------------------

class Attributes : public DbxTest {};

const std::string kAttributes = R"([ { "name": "A", "value": "1" }, { "name": "ORLUNE", "value": "1_2_3_4_" },
                                     { "name": "B", "value": "2", "units": 4 } ])";

TEST_F(Attributes, AnAddedDesignAttributeIsAppendedWithItsUnits) {
    openDesign(designWith("[]", "", kAttributes));
    dbx::AttributeRecord attribute{};
    ASSERT_EQ(0, TGetFirstDesignAttribute(&context, &attribute));  // the record as a search leaves it
    dbx::writeField(attribute.name, "ORLUNE2");
    dbx::writeField(attribute.value, "1_140_190_600_");
    attribute.attrFlag2 = 0;
    attribute.units = 2;
    ASSERT_EQ(0, TAddDesignAttribute(&context, &attribute));
    EXPECT_TRUE(design().changed);
    reopen();
    std::vector<std::string> seen;
    for (int32_t s = TGetFirstDesignAttribute(&context, &attribute); s == 0;
         s = TGetNextDesignAttribute(&context, &attribute))
        seen.push_back(field(attribute.name) + "=" + field(attribute.value) + "/" + std::to_string(attribute.units));
    EXPECT_THAT(seen, ElementsAre("A=1/0", "ORLUNE=1_2_3_4_/0", "B=2/4", "ORLUNE2=1_140_190_600_/2"));
}

TEST_F(Attributes, AModifiedDesignAttributeGetsValueAndUnitsFromAFieldWithoutNul) {
    openDesign(designWith("[]", "", kAttributes));
    dbx::AttributeRecord attribute{};
    ASSERT_EQ(0, TGetFirstDesignAttribute(&context, &attribute));
    ASSERT_EQ(0, TGetNextDesignAttribute(&context, &attribute));
    ASSERT_EQ("ORLUNE", field(attribute.name));
    // As Command5_Click writes it: trimmed value, padded, no NUL.
    dbx::writeField(attribute.value, "2_3.6_4.8_15.2_", false);
    attribute.units = 2;
    ASSERT_EQ(0, TModifyDesignAttribute(&context, &attribute));
    reopen();
    ASSERT_EQ(0, TGetFirstDesignAttribute(&context, &attribute));
    ASSERT_EQ(0, TGetNextDesignAttribute(&context, &attribute));
    EXPECT_EQ("2_3.6_4.8_15.2_", field(attribute.value));
    EXPECT_EQ(2, attribute.units);
}

TEST_F(Attributes, ModifyingToTheSameValueAndUnitsChangesNothing) {
    openDesign(designWith("[]", "", kAttributes));
    dbx::AttributeRecord attribute{};
    ASSERT_EQ(0, TGetFirstDesignAttribute(&context, &attribute));
    ASSERT_EQ(0, TGetNextDesignAttribute(&context, &attribute));
    ASSERT_EQ(0, TGetNextDesignAttribute(&context, &attribute));
    dbx::writeField(attribute.value, "2", false);
    ASSERT_EQ(0, TModifyDesignAttribute(&context, &attribute));
    EXPECT_FALSE(design().changed);
}

TEST_F(Attributes, ADeletedDesignAttributeLeavesTheWalkOnTheOneThatFollowed) {
    openDesign(designWith("[]", "", kAttributes));
    std::vector<std::string> seen;
    dbx::AttributeRecord attribute{};
    for (int32_t s = TGetFirstDesignAttribute(&context, &attribute); s == 0;
         s = TGetNextDesignAttribute(&context, &attribute)) {
        seen.push_back(field(attribute.name));
        if (field(attribute.name) != "B") {
            EXPECT_EQ(0, TDeleteDesignAttribute(&context, &attribute));
        }
    }
    EXPECT_THAT(seen, ElementsAre("A", "ORLUNE", "B"));
    reopen();
    ASSERT_EQ(0, TGetFirstDesignAttribute(&context, &attribute));
    EXPECT_EQ("B", field(attribute.name));
    EXPECT_EQ(kWalkEnded, TGetNextDesignAttribute(&context, &attribute));
}

TEST_F(Attributes, DeletingAnAttributeThatIsNotThereAnswersNotFound) {
    openDesign(designWith("[]", "", kAttributes));
    dbx::AttributeRecord attribute{};
    dbx::writeField(attribute.name, "NONE");
    EXPECT_EQ(kNotFound, TDeleteDesignAttribute(&context, &attribute));
    EXPECT_EQ(kNotFound, TModifyDesignAttribute(&context, &attribute));
    dbx::writeField(attribute.name, "");
    EXPECT_NE(0, TAddDesignAttribute(&context, &attribute));
    EXPECT_FALSE(design().changed);
}

TEST_F(Attributes, TheComponentAttributeThatTheRecordDescribesIsModified) {
    openDesign(designWith("[]"));
    dbx::AttributeRecord attribute{};
    ASSERT_EQ(0, TGetFirstCompAttribute(&context, "SC1", &attribute));
    ASSERT_EQ(0, TGetNextCompAttribute(&context, &attribute));  // the second SH_TYPE
    ASSERT_EQ("1", field(attribute.value));
    dbx::writeField(attribute.value, "0");
    ASSERT_EQ(0, TModifyCompAttribute(&context, "SC1", &attribute));
    reopen();
    std::vector<std::string> values;
    for (int32_t s = TGetFirstCompAttribute(&context, "SC1", &attribute); s == 0;
         s = TGetNextCompAttribute(&context, &attribute))
        values.push_back(field(attribute.value));
    EXPECT_THAT(values, ElementsAre("0", "0"));
}

TEST_F(Attributes, AComponentAttributeIsAddedToTheComponentThatRefDesNames) {
    openDesign(designWith("[]"));
    dbx::AttributeRecord attribute{};
    ASSERT_EQ(0, TGetFirstCompAttribute(&context, "SC1", &attribute));  // what a search leaves
    dbx::writeField(attribute.name, "SH_TYPE");
    dbx::writeField(attribute.value, "0");
    attribute.attrFlag1 = 0;
    attribute.attrFlag2 = 0;
    ASSERT_EQ(0, TAddCompAttribute(&context, "SC2", &attribute));
    EXPECT_EQ(kNotFound, TAddCompAttribute(&context, "SC9", &attribute));
    reopen();
    ASSERT_EQ(0, TGetFirstCompAttribute(&context, "SC2", &attribute));
    EXPECT_EQ("SH_TYPE", field(attribute.name));
    EXPECT_EQ("0", field(attribute.value));
    EXPECT_EQ(kWalkEnded, TGetNextCompAttribute(&context, &attribute));
}

TEST_F(Attributes, ModifyingAnAttributeTheComponentLacksAnswersNotFound) {
    openDesign(designWith("[]"));
    dbx::AttributeRecord attribute{};
    ASSERT_EQ(0, TGetFirstCompAttribute(&context, "SC1", &attribute));
    EXPECT_EQ(kNotFound, TModifyCompAttribute(&context, "SC2", &attribute));
    EXPECT_EQ(kNotFound, TModifyCompAttribute(&context, "SC9", &attribute));
    EXPECT_FALSE(design().changed);
}

// --- Highlight ----------------------------------------------------------------------------

TEST_F(Conversations, HighlightSetsTheColourOfTheSymbolThatTheRecordNames) {
    openDesign(designWith("[]"));
    dbx::SymbolRecord symbol{};
    ASSERT_EQ(0, TGetCompSymbolByRefDes(&context, "SC2", &symbol));
    EXPECT_EQ(0, symbol.highlighted);
    ASSERT_EQ(0, THighlightSymbol(&context, 15, &symbol));
    reopen();
    ASSERT_EQ(0, TGetCompSymbolByRefDes(&context, "SC2", &symbol));
    EXPECT_NE(0, symbol.highlighted);
    ASSERT_EQ(0, TGetCompSymbolByRefDes(&context, "SC1", &symbol));
    EXPECT_EQ(0, symbol.highlighted);
    EXPECT_NE(std::string::npos, run->designText().find("\"highlight\": 15"));
    dbx::writeField(symbol.refDes, "NONE");
    EXPECT_EQ(kNotFound, THighlightSymbol(&context, 15, &symbol));
}

// --- The Windows-1252 boundary and field reading ---------------------------------------------

const std::string kEncoded = designJson(kSheets, R"([
  { "refDes": "R€1", "type": "Ω-type", "kind": 0,
    "attributes": [ { "name": "ÄNAME", "value": "→x" } ],
    "pins": [], "symbol": { "sheet": 1, "x": 0, "y": 0 } } ])",
                                        R"([
  { "type": "text", "sheet": 1, "text": "€ → ü", "style": 0, "x": 0, "y": 0, "justification": 4 } ])");

class Encoding : public DbxTest {};

TEST_F(Encoding, TextsAreDeliveredInWindows1252WithQuestionMarksForTheRest) {
    openDesign(kEncoded);
    dbx::ComponentRecord component{};
    ASSERT_EQ(0, TGetFirstComponent(&context, &component));
    EXPECT_EQ(
        "R\x80"
        "1",
        field(component.refDes));
    EXPECT_EQ("?-type", field(component.compType));
    dbx::AttributeRecord attribute{};
    ASSERT_EQ(0, TGetFirstCompAttribute(&context,
                                        "R\x80"
                                        "1",
                                        &attribute));
    EXPECT_EQ("\xC4NAME", field(attribute.name));
    EXPECT_EQ("?x", field(attribute.value));
    dbx::ItemRecord item{};
    ASSERT_EQ(0, TGetFirstLayerItem(&context, 1, &item));
    ASSERT_EQ(0, TGetNextLayerItem(&context, &item));
    EXPECT_EQ("\x80 ? \xFC", field(item.textPart.text));
}

TEST_F(Encoding, TextsReceivedAreStoredAsUtf8) {
    openDesign(kEncoded);
    dbx::TextRecord text = textRecord("@\x80\xFC", 1, 0, 0);
    ASSERT_EQ(0, TPlaceText(&context, &text));
    dbx::AttributeRecord attribute{};
    dbx::writeField(attribute.name, "N\xE4me");
    dbx::writeField(attribute.value, "\x80 5");
    ASSERT_EQ(0, TAddDesignAttribute(&context, &attribute));
    reopen();
    const std::string saved = run->designText();
    EXPECT_NE(std::string::npos, saved.find("\"@€ü\"")) << saved;
    EXPECT_NE(std::string::npos, saved.find("\"Näme\"")) << saved;
    EXPECT_NE(std::string::npos, saved.find("\"€ 5\"")) << saved;
}

TEST_F(Encoding, AnUnchangedValueKeepsCharactersThatWindows1252Lacks) {
    openDesign(kEncoded);
    dbx::AttributeRecord attribute{};
    ASSERT_EQ(0, TGetFirstCompAttribute(&context,
                                        "R\x80"
                                        "1",
                                        &attribute));
    ASSERT_EQ(0, TModifyCompAttribute(&context,
                                      "R\x80"
                                      "1",
                                      &attribute));  // "?x" given back
    EXPECT_FALSE(design().changed);
    ASSERT_EQ(0, TCloseDesign(&context, ""));
    EXPECT_NE(std::string::npos, run->designText().find("→x"));
}

TEST_F(Encoding, ATextDeliveredWithQuestionMarksIsStillDeletedByItsRecord) {
    openDesign(kEncoded);
    dbx::ItemRecord item{};
    ASSERT_EQ(0, TGetFirstLayerItem(&context, 1, &item));
    ASSERT_EQ(0, TGetNextLayerItem(&context, &item));
    dbx::TextRecord text;
    std::memcpy(&text, &item.textPart, sizeof text);
    text.reserved0 = 0;  // found by layer, place and text
    EXPECT_EQ(0, TDeleteText(&context, &text));
}

TEST_F(Encoding, AFieldWithoutNulLosesItsPaddingSpacesAndOneWithANulKeepsThem) {
    openDesign(kEncoded);
    dbx::AttributeRecord attribute{};
    dbx::writeField(attribute.name, "PADDED", false);
    dbx::writeField(attribute.value, "v  ", false);
    ASSERT_EQ(0, TAddDesignAttribute(&context, &attribute));
    dbx::writeField(attribute.name, "KEPT");
    dbx::writeField(attribute.value, "v  ");
    ASSERT_EQ(0, TAddDesignAttribute(&context, &attribute));
    std::memcpy(attribute.name, "AFTER\0garbage", 13);
    dbx::writeField(attribute.value, "w");
    ASSERT_EQ(0, TAddDesignAttribute(&context, &attribute));
    std::vector<std::string> seen;
    for (int32_t s = TGetFirstDesignAttribute(&context, &attribute); s == 0;
         s = TGetNextDesignAttribute(&context, &attribute))
        seen.push_back("[" + field(attribute.name) + "=" + field(attribute.value) + "]");
    EXPECT_THAT(seen, ElementsAre("[PADDED=v]", "[KEPT=v  ]", "[AFTER=w]"));
}

TEST_F(Encoding, AFullTextFieldWithoutNulIsReadToItsEnd) {
    openDesign(designWith("[]"));
    dbx::TextRecord text{};
    const std::string full = "@" + std::string(250, '1') + "2345";  // 255 + 1 characters, no NUL
    std::memcpy(text.text, full.data(), 255);
    text.text[255] = ' ';  // a padding space at the end: not part of the text
    text.layerId = 1;
    ASSERT_EQ(0, TPlaceText(&context, &text));
    dbx::ItemRecord item{};
    ASSERT_EQ(0, TGetFirstLayerItem(&context, 1, &item));
    ASSERT_EQ(0, TGetNextLayerItem(&context, &item));
    EXPECT_EQ(full.substr(0, 255), field(item.textPart.text));
}

TEST_F(Encoding, RefDesAndBusNameArgumentsAreWindows1252) {
    openDesign(designJson(kSheets, R"([
      { "refDes": "X€", "type": "T", "kind": 0, "pins": [], "symbol": { "sheet": 1, "x": 0, "y": 0 } } ])",
                          R"([ { "type": "bus", "sheet": 1, "bus": "B€", "x1": 0, "y1": 0, "x2": 0, "y2": 9 } ])", "",
                          kNets, R"([ { "name": "B€", "nets": [1] } ])"));
    dbx::ComponentRecord component{};
    EXPECT_EQ(0, TGetCompByRefDes(&context, "X\x80", &component));
    EXPECT_EQ(kNotFound, TGetCompByRefDes(&context, "X€", &component)) << "UTF-8 bytes are not Windows-1252";
    dbx::NetRecord net{};
    EXPECT_EQ(0, TGetFirstBusNet(&context, "B\x80", &net));
    dbx::ItemRecord item{};
    ASSERT_EQ(0, TGetFirstLayerItem(&context, 1, &item));
    ASSERT_EQ(0, TGetNextLayerItem(&context, &item));
    EXPECT_EQ("B\x80", field(item.busPart.busName));
}

}  // namespace
}  // namespace orlune::host::test

#include "annotate/text_place.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "annotate/annotate_fixture.h"
#include "annotate/sheet_text.h"
#include "dbx/connection.h"

namespace orlune::test {
namespace {

std::vector<std::string> allTexts(HostedRun& hosted) {
    std::vector<std::string> out;
    for (const SeenText& t : designTexts(hosted))
        out.push_back(std::to_string(t.layer) + ":" + t.text);
    return out;
}

// A connector in hand, as the scan leaves it before placing its text.
void holdConnector(Run& run, int32_t x, int32_t y, int32_t sheet, int32_t flipped) {
    run.connector.CurrentRefDes = "SC7";
    run.connector.ConnectorX = x;
    run.connector.ConnectorY = y;
    run.connector.ConnectorSheet = sheet;
    run.connector.ConnectorFlipped = flipped;
}

struct SideCase {
    int32_t flipped;
    int32_t x;
    int32_t justification;
};

TEST(PlaceSheetText, PutsTheTextOnTheSideTheSymbolFaces) {
    for (const SideCase& c : {SideCase{0, 644400, 6}, SideCase{1, 1482600, 4}, SideCase{-1, 1482600, 4}}) {
        SCOPED_TRACE(c.flipped);
        DesignPlan plan;
        plan.sheets = 3;
        HostedRun hosted(plan.json());
        orlune::Run& run = *hosted.run;
        prepareUpdate(run);
        Design_Open(run.connection, run.platform);
        holdConnector(run, 1000000, 500000, 3, c.flipped);
        run.records.TextRec.textStyleId = 1;
        run.list.SheetText = "@1,2";
        Place_SheetText(run);
        Design_Close(run.connection);

        const auto texts = designTexts(hosted);
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].layer, 3);
        EXPECT_EQ(texts[0].text, "@1,2");
        EXPECT_EQ(texts[0].x, c.x);
        EXPECT_EQ(texts[0].y, 500000);
        EXPECT_EQ(texts[0].justification, c.justification);
        EXPECT_EQ(texts[0].style, 1);
        ASSERT_EQ(run.list.PlacedTexts.size(), 1u);
        const PlacedText& placed = run.list.PlacedTexts[0];
        EXPECT_EQ(placed.refDes, "SC7");
        EXPECT_EQ(placed.layerId, 3);
        EXPECT_EQ(placed.x, c.x);
        EXPECT_EQ(placed.y, 500000);
        EXPECT_EQ(placed.justification, c.justification);
        EXPECT_EQ(placed.text, "@1,2");
    }
}

struct TooLongCase {
    int32_t textLimit;
    std::string text;
    std::string expected;
};

TEST(PlaceSheetText, ARefusedTextBecomesTheTooLongMarkerAtTheSamePlace) {
    const std::string longest = "@" + std::string(254, '1');
    const std::string overlong = "@" + std::string(299, '2');  // cut at the field, still refused
    for (const TooLongCase& c : {TooLongCase{5, "@1,2,3", "@@"}, TooLongCase{6, "@1,2,3", "@1,2,3"},
                                 TooLongCase{255, longest, longest}, TooLongCase{255, overlong, "@@"}}) {
        SCOPED_TRACE(c.text.size());
        DesignPlan plan;
        plan.textLimit = c.textLimit;
        HostedRun hosted(plan.json());
        orlune::Run& run = *hosted.run;
        prepareUpdate(run);
        Design_Open(run.connection, run.platform);
        holdConnector(run, 1000000, 500000, 2, 0);
        run.list.SheetText = c.text;
        Place_SheetText(run);
        Design_Close(run.connection);

        const auto texts = designTexts(hosted);
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].text, c.expected);
        EXPECT_EQ(texts[0].layer, 2);
        EXPECT_EQ(texts[0].x, 644400);
        EXPECT_EQ(texts[0].justification, 6);
        ASSERT_EQ(run.list.PlacedTexts.size(), 1u);
        EXPECT_EQ(run.list.PlacedTexts[0].text, c.expected);
    }
}

TEST(PlaceSheetText, ARefusedTextCountsOnceAsTooLong) {
    DesignPlan plan;
    plan.textLimit = 5;
    HostedRun hosted(plan.json());
    orlune::Run& run = *hosted.run;
    prepareUpdate(run);
    Design_Open(run.connection, run.platform);
    Count_Sheets(run);
    holdConnector(run, 1000000, 500000, 1, 0);
    run.list.SheetText = "@2,3,4";
    Place_SheetText(run);
    Count_OwnTexts(run);
    Design_Close(run.connection);
    EXPECT_EQ(run.counts.TooLongCount, 1);
    EXPECT_EQ(run.counts.AssignedCount, 0);
}

struct OutsideCase {
    int32_t x;
    int32_t flipped;
};

TEST(PlaceSheetText, APlaceOutsideTheCoordinatesIsNotPlacedAndTheUserIsTold) {
    constexpr int32_t lowest = std::numeric_limits<int32_t>::min();
    constexpr int32_t highest = std::numeric_limits<int32_t>::max();
    for (const OutsideCase& c : {OutsideCase{lowest + 355599, 0}, OutsideCase{highest - 482599, 1}}) {
        SCOPED_TRACE(c.x);
        DesignPlan plan;
        HostedRun hosted(plan.json());
        orlune::Run& run = *hosted.run;
        prepareUpdate(run);
        Design_Open(run.connection, run.platform);
        holdConnector(run, c.x, 0, 1, c.flipped);
        run.connector.CurrentRefDes = "SC12";
        run.list.SheetText = "@2";
        Place_SheetText(run);
        Design_Close(run.connection);

        EXPECT_TRUE(designTexts(hosted).empty());
        EXPECT_TRUE(run.list.PlacedTexts.empty());
        ASSERT_EQ(hosted.platform.boxes.size(), 1u);
        EXPECT_EQ(hosted.platform.boxes[0].text, "Text of SC12 lies outside the design's coordinates");
        EXPECT_EQ(hosted.platform.boxes[0].title, "Warning");
        EXPECT_EQ(hosted.platform.boxes[0].icon, Icon::Warning);
        EXPECT_EQ(hosted.platform.boxes[0].buttons, Buttons::Ok);
    }
}

TEST(DeleteOwnTexts, RemovesEveryTextBeginningWithTheMarkerOnLayersZeroToTheSheetCount) {
    DesignPlan plan;
    plan.sheets = 3;
    plan.layerZero = true;
    plan.items = {textItem(0, "@0"), textItem(1, "@a"),          textItem(1, "@b"), textItem(1, "NOTE"),
                  textItem(1, "@c"), textItem(2, "@user typed"), textItem(2, "x@"), textItem(2, " @lead"),
                  textItem(2, "@@"), textItem(3, "@added late")};
    HostedRun hosted(plan.json());
    orlune::Run& run = *hosted.run;
    Design_Open(run.connection, run.platform);
    run.counts.SheetCount = 2;  // sheet 3 came after start-up
    Delete_OwnTexts(run);
    Design_Close(run.connection);

    EXPECT_EQ(allTexts(hosted), (std::vector<std::string>{"1:NOTE", "2:x@", "2: @lead", "3:@added late"}));
    EXPECT_TRUE(hosted.platform.boxes.empty());
}

TEST(DeleteOwnTexts, LeavesADesignWithoutOwnTextsUntouched) {
    DesignPlan plan;
    plan.items = {textItem(1, "NOTE"), textItem(2, "a@b")};
    HostedRun hosted(plan.json());
    const std::string before = hosted.designText();
    orlune::Run& run = *hosted.run;
    Design_Open(run.connection, run.platform);
    Count_Sheets(run);
    Delete_OwnTexts(run);
    Design_Close(run.connection);
    EXPECT_EQ(hosted.designText(), before);
    EXPECT_TRUE(hosted.platform.boxes.empty());
}

TEST(CountOwnTexts, CountsAssignedAndTooLongTextsOnTheCountedSheets) {
    DesignPlan plan;
    plan.sheets = 3;
    plan.layerZero = true;
    plan.items = {textItem(0, "@0"),   textItem(1, "@1,2"), textItem(1, "@"),   textItem(2, "@@"),   textItem(2, "@@x"),
                  textItem(2, "NOTE"), textItem(2, "a@"),   textItem(2, "@x@"), textItem(3, "@late")};
    HostedRun hosted(plan.json());
    orlune::Run& run = *hosted.run;
    Design_Open(run.connection, run.platform);
    run.counts.SheetCount = 2;
    run.counts.AssignedCount = 99;
    run.counts.TooLongCount = 99;
    Count_OwnTexts(run);
    Design_Close(run.connection);
    EXPECT_EQ(run.counts.AssignedCount, 3);
    EXPECT_EQ(run.counts.TooLongCount, 2);
}

TEST(LocateOwnText, TakesTheStyleOfTheFirstOwnTextBySheetNumber) {
    DesignPlan plan;
    plan.sheets = 5;
    plan.layerZero = true;
    plan.items = {textItem(0, "@zero", 0, 0, 0), textItem(5, "@five", 0, 0, 0), textItem(2, "NOTE", 0, 0, 0),
                  textItem(2, "@two", 0, 0, 1)};
    HostedRun hosted(plan.json());
    orlune::Run& run = *hosted.run;
    Design_Open(run.connection, run.platform);
    Count_Sheets(run);
    run.settings.StyleIndex = 7;
    EXPECT_EQ(Locate_OwnText(run, 1), 1);
    EXPECT_EQ(run.settings.StyleIndex, 7);
    EXPECT_EQ(dbx::readField(run.records.TextRec.text), "@two");
    EXPECT_EQ(Locate_OwnText(run, 0), 1);
    EXPECT_EQ(run.settings.StyleIndex, 1);
    Design_Close(run.connection);
}

TEST(LocateOwnText, FindsNothingWhenNoCountedSheetHoldsAnOwnText) {
    DesignPlan plan;
    plan.layerZero = true;
    plan.items = {textItem(0, "@zero", 0, 0, 1), textItem(1, "NOTE", 0, 0, 1)};
    HostedRun hosted(plan.json());
    orlune::Run& run = *hosted.run;
    Design_Open(run.connection, run.platform);
    Count_Sheets(run);
    run.settings.StyleIndex = 7;
    EXPECT_EQ(Locate_OwnText(run, 0), 0);
    EXPECT_EQ(run.settings.StyleIndex, 7);
    Design_Close(run.connection);
}

TEST(CountSheets, CountsEveryLayerButLayerZero) {
    DesignPlan plan;
    plan.sheets = 4;
    plan.layerZero = true;
    HostedRun hosted(plan.json());
    orlune::Run& run = *hosted.run;
    Design_Open(run.connection, run.platform);
    run.counts.SheetCount = 42;
    Count_Sheets(run);
    Design_Close(run.connection);
    EXPECT_EQ(run.counts.SheetCount, 4);
}

TEST(MeasureText, MeasuresATrialTextAndRemovesIt) {
    DesignPlan plan;
    plan.items = {textItem(1, "NOTE")};
    HostedRun hosted(plan.json());
    orlune::Run& run = *hosted.run;
    prepareUpdate(run);
    Design_Open(run.connection, run.platform);
    Count_Sheets(run);
    Calibrate_Widths(run);
    Design_Close(run.connection);
    EXPECT_EQ(run.list.WidthAt, 100);
    EXPECT_EQ(run.list.WidthOneDigit, 80);
    EXPECT_EQ(run.list.WidthTwoDigits, 140);
    EXPECT_EQ(allTexts(hosted), std::vector<std::string>{"1:NOTE"});
}

// The host refuses "@22," (longer than 3 characters): nothing is found, and
// the record still describes a user's text, which must survive.
TEST(MeasureText, AnUnplacedTrialTextDeletesNothingAndMeasuresZero) {
    DesignPlan plan;
    plan.textLimit = 3;
    plan.items = {textItem(1, "NOTE", 0, 0, 0), textItem(2, "KEEP", 0, 0, 0)};
    HostedRun hosted(plan.json());
    orlune::Run& run = *hosted.run;
    prepareUpdate(run);
    run.form.at("cboTextStyle").listIndex = 1;
    Design_Open(run.connection, run.platform);
    Count_Sheets(run);
    Calibrate_Widths(run);
    EXPECT_EQ(run.list.MeasuredWidth, 0);
    EXPECT_EQ(run.list.WidthAt, 100);
    EXPECT_EQ(run.list.WidthOneDigit, 80);
    // Later texts still carry the chosen style and the calibration's flags.
    EXPECT_EQ(run.records.TextRec.textStyleId, 1);
    EXPECT_EQ(run.records.TextRec.textFlag1, 0);
    EXPECT_EQ(run.records.TextRec.textFlag2, 1);
    Design_Close(run.connection);
    EXPECT_EQ(allTexts(hosted), (std::vector<std::string>{"1:NOTE", "2:KEEP"}));
}

// The placement's status decides nothing: whatever the host answered, the
// trial text is looked for, so one that a host placed with a warning status
// cannot stay behind.
TEST(MeasureText, LooksForTheTrialTextWhateverThePlacementAnswered) {
    DesignPlan plan;
    plan.textLimit = 3;
    plan.items = {textItem(1, "NOTE"), textItem(2, "KEEP")};
    HostedRun hosted(plan.json());
    orlune::Run& run = *hosted.run;
    prepareUpdate(run);
    Design_Open(run.connection, run.platform);
    Count_Sheets(run);
    std::vector<std::string> calls;
    hosted.host.onCall = [&](std::string_view op) { calls.emplace_back(op); };
    Measure_Text(run, "@22,");
    hosted.host.onCall = nullptr;
    Design_Close(run.connection);
    EXPECT_EQ(calls, (std::vector<std::string>{"TPlaceText", "TGetFirstLayerItem", "TGetNextLayerItem",
                                               "TGetFirstLayerItem", "TGetNextLayerItem"}));
    EXPECT_EQ(run.list.MeasuredWidth, 0);
}

TEST(MeasureText, AnUpdateNeverRemovesATextThatDoesNotBeginWithTheMarker) {
    DesignPlan plan;
    plan.textLimit = 3;
    plan.components = {connector("SC1", {1000000, 500000, 1, 1}), part("P1", 1, {2})};
    plan.items = {textItem(1, "NOTE"), textItem(1, "@old"), textItem(2, "KEEP")};
    HostedRun hosted(plan.json());
    prepareUpdate(*hosted.run);
    EXPECT_TRUE(runUpdate(hosted));
    EXPECT_EQ(allTexts(hosted), (std::vector<std::string>{"1:NOTE", "1:@2", "2:KEEP"}));
}

TEST(CalibrateWidths, PlacesTheTrialTextsAtHalfTheExtentRoundedToEven) {
    DesignPlan plan;
    plan.workspaceX = 25400001;
    plan.workspaceY = 17780003;
    HostedRun hosted(plan.json());
    orlune::Run& run = *hosted.run;
    prepareUpdate(run);
    run.settings.DesignExtent = {25400001, 17780003};
    Design_Open(run.connection, run.platform);
    Count_Sheets(run);
    Calibrate_Widths(run);
    Design_Close(run.connection);
    // The record describes the last trial text as the host held it.
    EXPECT_EQ(dbx::readField(run.records.TextRec.text), "@22,");
    EXPECT_EQ(run.records.TextRec.location.x, 12700000);
    EXPECT_EQ(run.records.TextRec.location.y, 8890002);
    EXPECT_EQ(run.records.TextRec.layerId, 1);
    EXPECT_EQ(run.records.TextRec.justification, 6);
}

}  // namespace
}  // namespace orlune::test

#include "annotate/sheet_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "annotate/annotate_fixture.h"

namespace orlune::test {
namespace {

constexpr const char* kRowWarning = "Allowed width is too short\r    for numbers placing\r         (more rows)";

void setList(Run& run, const std::vector<int32_t>& sheets) {
    run.list.ListCount = static_cast<int32_t>(sheets.size());
    for (std::size_t i = 0; i < sheets.size(); ++i)
        run.list.SheetList[i] = sheets[i];
}

struct RowEndCase {
    const char* what;
    std::vector<int32_t> sheets;
    int32_t maxRow;
    int32_t start;
    int32_t expected;  // 0: the warning
    int32_t widthAt = 100;
};

TEST(LocateRowEnd, TakesTheLongestRowNotWiderThanTheMaximum) {
    const std::vector<int32_t> worked = {1, 2, 3, 4, 5, 11, 12};
    const std::vector<RowEndCase> cases = {
        {"first row of the worked example", worked, 400, 1, 3},
        {"second row", worked, 400, 4, 6},
        {"last row", worked, 400, 7, 7},
        {"whole list fits", worked, 100000, 1, 7},
        {"row exactly as wide as the maximum", {7}, 180, 1, 1},
        {"one unit too narrow", {7}, 179, 1, 0},
        {"two numbers, the first does not fit", {1, 2}, 150, 1, 0},
        {"one number that does not fit", {1}, 150, 1, 0},
        {"9 counts as one digit", {9, 10}, 100 + 80 + 140, 1, 2},
        {"10 counts as two digits", {9, 10}, 100 + 80 + 139, 1, 1},
        {"three digits count as two", {100}, 240, 1, 1},
        {"three digits too wide", {100}, 239, 1, 0},
        {"marker alone wider than the maximum", {1, 2}, 99, 1, 0},
        {"later rows start without the marker", {1, 12}, 140, 2, 2},
        {"later row cannot take its first number", {1, 12}, 120, 2, 0, 20},
    };
    for (const RowEndCase& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingPlatform platform;
        orlune::Run run(platform);
        run.list.WidthAt = c.widthAt;
        run.list.WidthOneDigit = 80;
        run.list.WidthTwoDigits = 140;
        run.settings.MaxRowLength = c.maxRow;
        setList(run, c.sheets);
        EXPECT_EQ(Locate_RowEnd(run, c.start), c.expected);
        if (c.expected == 0) {
            ASSERT_EQ(platform.boxes.size(), 1u);
            EXPECT_EQ(platform.boxes[0].text, kRowWarning);
            EXPECT_EQ(platform.boxes[0].title, "Warning");
            EXPECT_EQ(platform.boxes[0].icon, Icon::Warning);
            EXPECT_EQ(platform.boxes[0].buttons, Buttons::Ok);
        } else {
            EXPECT_TRUE(platform.boxes.empty());
        }
    }
}

TEST(LocateRowEnd, WideNumbersDoNotWrapToAWidthThatSeemsToFit) {
    RecordingPlatform platform;
    orlune::Run run(platform);
    run.list.WidthAt = 100;
    run.list.WidthOneDigit = std::numeric_limits<int32_t>::max() / 2;
    run.list.WidthTwoDigits = std::numeric_limits<int32_t>::max() / 2;
    run.settings.MaxRowLength = std::numeric_limits<int32_t>::max();
    setList(run, {1, 2, 3, 4, 5});
    EXPECT_EQ(Locate_RowEnd(run, 1), 1);
    EXPECT_EQ(Locate_RowEnd(run, 2), 3);
}

struct AppendCase {
    std::vector<int32_t> sheets;
    int32_t start;
    int32_t end;
    std::string expected;
};

TEST(AppendRow, EndsARowWithCommaAndLineBreakUnlessTheListEnds) {
    for (const AppendCase& c : {AppendCase{{1, 2, 3}, 1, 2, "@1,2,\r\n"}, AppendCase{{1, 2, 3}, 3, 3, "@3"},
                                AppendCase{{1, 2, 3}, 1, 3, "@1,2,3"}, AppendCase{{7, 300}, 1, 1, "@7,\r\n"}}) {
        SCOPED_TRACE(c.expected);
        RecordingPlatform platform;
        orlune::Run run(platform);
        setList(run, c.sheets);
        run.list.SheetText = "@";
        Append_Row(run, c.start, c.end);
        EXPECT_EQ(run.list.SheetText, c.expected);
    }
}

struct WorkedCase {
    bool moreRows;
    int32_t maxRow;
    std::vector<int32_t> sheets;
    std::optional<std::string> expected;  // none: the warning ends the pass
    bool ranges = false;
};

std::vector<int32_t> span(std::vector<int32_t> sheets, int32_t from, int32_t to) {
    for (int32_t s = from; s <= to; ++s)
        sheets.push_back(s);
    return sheets;
}

// Through whole update passes: the widths come from measuring the style.
TEST(SheetListText, FollowsTheWorkedExamples) {
    const std::vector<WorkedCase> cases = {
        {false, 10, {1, 3, 12}, "@1,3,12"},
        {false, 10, {4}, "@4"},
        {true, 400, {1, 2, 3, 4, 5, 11, 12}, "@1,2,3,\r\n4,5,11,\r\n12"},
        {true, 1000, {1, 2, 3}, "@1,2,3"},
        {true, 180, {7}, "@7"},
        {true, 340, {1, 2, 3, 4}, "@1,2,3,\r\n4"},
        {true, 150, {1, 2}, std::nullopt},
        {true, 150, {1}, std::nullopt},
        // Ranges: runs of three or more; a run is an entry no row breaks
        // ("7-18," is "7-" 120 wide, then "18," 140).
        {false, 10, span({3, 19}, 22, 46), "@3,19,22-46", true},
        {false, 10, {3, 4}, "@3,4", true},
        {false, 10, {1, 2, 3, 5, 7, 8}, "@1-3,5,7,8", true},
        {false, 10, {1, 2, 4, 5, 7, 8, 9, 10}, "@1,2,4,5,7-10", true},
        {false, 10, {9, 10, 11}, "@9-11", true},
        {true, 480, span(span(span({}, 7, 18), 20, 20), 22, 26), "@7-18,\r\n20,22-26", true},
        {true, 420, span(span(span({}, 7, 18), 20, 20), 22, 26), "@7-18,\r\n20,\r\n22-26", true},
        // Never split, even where the row cannot hold it ("@7-18," is 360 wide).
        {true, 340, span({}, 7, 18), std::nullopt, true},
        {true, 340, {1, 2, 3, 4}, "@1-4", true},
    };
    for (const WorkedCase& c : cases) {
        SCOPED_TRACE(c.expected.value_or("warning"));
        DesignPlan plan;
        plan.sheets = std::max(12, *std::max_element(c.sheets.begin(), c.sheets.end()));
        Attributes attributes;
        if (c.moreRows) attributes = {{"SH_TYPE", "1"}};
        plan.components = {connector("SC1", {1000000, 500000, 6, 1}, false, "SH_CONN", attributes),
                           part("P1", 1, c.sheets)};
        HostedRun hosted(plan.json());
        orlune::Run& run = *hosted.run;
        prepareUpdate(run, c.maxRow);
        run.settings.Ranges = c.ranges;
        const bool completed = runUpdate(hosted);

        EXPECT_EQ(run.list.WidthAt, 100);
        EXPECT_EQ(run.list.WidthOneDigit, 80);
        EXPECT_EQ(run.list.WidthTwoDigits, 140);
        if (c.expected) {
            EXPECT_TRUE(completed);
            EXPECT_FALSE(run.list.PassEndedEarly);
            EXPECT_EQ(textsOn(hosted, 6), std::vector<std::string>{*c.expected});
            ASSERT_EQ(run.list.PlacedTexts.size(), 1u);
            EXPECT_EQ(run.list.PlacedTexts[0].text, *c.expected);
            EXPECT_TRUE(hosted.platform.boxes.empty());
        } else {
            EXPECT_FALSE(completed);
            EXPECT_TRUE(run.list.PassEndedEarly);
            EXPECT_TRUE(textsOn(hosted, 6).empty());
            EXPECT_TRUE(run.list.PlacedTexts.empty());
            ASSERT_EQ(hosted.platform.boxes.size(), 1u);
            EXPECT_EQ(hosted.platform.boxes[0].text, kRowWarning);
        }
    }
}

TEST(CalibrateWidths, TakesTheStyleFromTheListPosition) {
    for (int listIndex : {1, 0, -1}) {
        SCOPED_TRACE(listIndex);
        DesignPlan plan;
        HostedRun hosted(plan.json());
        orlune::Run& run = *hosted.run;
        prepareUpdate(run);
        run.form.at("cboTextStyle").listIndex = listIndex;
        run.settings.StyleIndex = 9;
        run.records.TextRec.textFlag1 = 5;
        run.records.TextRec.textFlag2 = 5;
        runUpdate(hosted);
        const int32_t expected = listIndex < 0 ? 0 : listIndex;
        EXPECT_EQ(run.settings.StyleIndex, expected);
        EXPECT_EQ(run.records.TextRec.textStyleId, expected);
        EXPECT_EQ(run.records.TextRec.textFlag1, 0);
        EXPECT_EQ(run.records.TextRec.textFlag2, 1);
    }
}

}  // namespace
}  // namespace orlune::test

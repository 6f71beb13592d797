#include "settings/startup.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dbx/records.h"
#include "run/page_state.h"
#include "run/run.h"
#include "settings/units.h"
#include "settings_fixture.h"
#include "support/test_support.h"

namespace orlune {
namespace {

using test::attributeJson;
using test::designJson;
using test::DesignSpec;
using test::HostedRun;
using test::storedAttributes;

// --- Next_Field ----------------------------------------------------------

class NextFieldTest : public ::testing::Test {
protected:
    test::RecordingPlatform platform;
    orlune::Run run{platform};

    int readAt(const std::string& value, int32_t pos) {
        run.settings.FieldValue = value;
        run.settings.FieldPos = pos;
        run.settings.FieldText = "stale";
        return Next_Field(run);
    }
};

TEST_F(NextFieldTest, ReadsOneFieldPerCall) {
    const struct {
        std::string value;
        int32_t pos;
        int result;
        std::string text;
        int32_t posAfter;
    } cases[] = {
        {"140_", 0, 1, "140", 4},
        {"__", 0, 1, "", 1},
        {"__", 1, 1, "", 2},
        {" a b _", 0, 1, "a b", 6},
        {"0123456789_", 0, 1, "0123456789", 11},    // ten characters still fit
        {"01234567890_", 0, 0, "01234567890", 10},  // the eleventh fails and stays put
        {"abc", 0, 0, "abc", 3},                    // no closing "_"
        {"", 0, 0, "", 0},
        {"1_", 2, 0, "", 2},  // beyond the end
        {"1_", -1, 0, "", -1},
        {"x_123456789012_", 2, 0, "12345678901", 12},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(readAt(c.value, c.pos), c.result) << "\"" << c.value << "\" at " << c.pos;
        EXPECT_EQ(run.settings.FieldText, c.text) << "\"" << c.value << "\" at " << c.pos;
        EXPECT_EQ(run.settings.FieldPos, c.posAfter) << "\"" << c.value << "\" at " << c.pos;
    }
}

TEST_F(NextFieldTest, WalksAStoredValueAndIgnoresItsTail) {
    run.settings.FieldValue = "1_140_190_600_junk";
    run.settings.FieldPos = 0;
    std::vector<std::string> fields;
    while (Next_Field(run) == 1)
        fields.push_back(run.settings.FieldText);
    EXPECT_EQ(fields, (std::vector<std::string>{"1", "140", "190", "600"}));
    EXPECT_EQ(run.settings.FieldText, "junk");
}

// --- Start-up --------------------------------------------------------------

class FormLoadTest : public ::testing::Test {
protected:
    std::unique_ptr<HostedRun> hosted;

    // The old run goes first: its binding gives the thread back to no host.
    orlune::Run& open(const DesignSpec& shape) {
        hosted.reset();
        hosted = std::make_unique<HostedRun>(designJson(shape));
        return *hosted->run;
    }
    orlune::Run& load(const DesignSpec& shape) {
        orlune::Run& run = open(shape);
        Form_Load(run);
        return run;
    }
    std::vector<test::ShownBox>& boxes() { return hosted->platform.boxes; }
    std::vector<test::StoredAttribute> attributes() { return storedAttributes(hosted->platform); }
};

TEST_F(FormLoadTest, MilDesignWithoutAttributeStartsWithTheDefaults) {
    orlune::Run& run = load(test::design(1));
    const std::string before = hosted->designText();

    EXPECT_EQ(run.settings.UnitCode, 1);
    EXPECT_EQ(run.settings.LeftStart, 355600);
    EXPECT_EQ(run.settings.RightStart, 482600);
    EXPECT_EQ(run.settings.MaxRowLength, 1524000);
    EXPECT_EQ(run.settings.DesignExtent.x, 25400000);
    EXPECT_EQ(run.settings.DesignExtent.y, 17780000);
    EXPECT_EQ(run.counts.SheetCount, 1);
    EXPECT_EQ(run.settings.BusDistanceByUnit, (std::array<std::string, 5>{"", "350", "8.9", "", "0.35"}));
    EXPECT_EQ(run.settings.UnitNames, (std::array<std::string, 5>{"", "mil", "mm", "0", "inch"}));
    EXPECT_TRUE(boxes().empty());

    // The page and the window as start-up leaves them.
    const ui::FormModel& form = run.form;
    EXPECT_EQ(form.at("Text1").caption, "140");
    EXPECT_EQ(form.at("Text2").caption, "190");
    EXPECT_EQ(form.at("Text3").caption, "600");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(form.at("Label6", i).caption, "mil");
    EXPECT_FALSE(form.at("Frame2").visible);
    EXPECT_FALSE(form.at("Frame3").visible);
    for (const char* name : {"Command1", "Command2", "Command3", "Command4", "Command6", "Command10"}) {
        EXPECT_TRUE(form.at(name).visible) << name;
    }
    EXPECT_EQ(form.at("Command3").caption, "Exit");
    EXPECT_TRUE(form.hasFocus("Command3"));
    EXPECT_EQ(form.selectedTab, 0);
    EXPECT_EQ(run.page.FocusButton, kFocusExit);
    EXPECT_EQ(run.page.ActivePage, kPageMain);
    EXPECT_FALSE(run.connection.DesignOpen);
    EXPECT_FALSE(run.settings.SettingsChanged);
    EXPECT_TRUE(run.settings.SettingsLoaded);

    // Nothing is stored until the user asks for it.
    EXPECT_TRUE(attributes().empty());
    EXPECT_EQ(hosted->designText(), before);
}

TEST_F(FormLoadTest, ShowsWaitOnExitWhileTheDesignIsRead) {
    orlune::Run& run = open(test::design(1));
    std::vector<std::string> seen;
    run.form.onRefresh = [&] {
        seen.push_back(run.form.at("Command3").caption + (run.form.at("Command1").visible ? "+main" : ""));
    };
    Form_Load(run);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), "Wait");
}

TEST_F(FormLoadTest, StoredSettingsOfTheDesignsUnitAreUsedAndKept) {
    const std::string value = "2_3.6_4.8_15.2_";
    orlune::Run& run = load(test::design(2).withAttributes(attributeJson("ORLUNE", "2_3.6_4.8_15.2_", 2)));
    EXPECT_EQ(run.settings.LeftStartByUnit[2], "3.6");
    EXPECT_EQ(run.settings.RightStartByUnit[2], "4.8");
    EXPECT_EQ(run.settings.MaxRowByUnit[2], "15.2");
    EXPECT_EQ(run.settings.LeftStartByUnit[1], "");  // only the design's unit is filled
    EXPECT_EQ(run.settings.LeftStart, 360000);
    EXPECT_EQ(run.settings.RightStart, 480000);
    EXPECT_EQ(run.settings.MaxRowLength, 1520000);
    EXPECT_EQ(run.form.at("Label6", 1).caption, "mm");
    EXPECT_TRUE(boxes().empty());
    ASSERT_EQ(attributes().size(), 1u);
    EXPECT_EQ(attributes()[0].value, value);
}

TEST_F(FormLoadTest, LoadedValuesOfEveryShape) {
    const struct {
        int units;
        std::string value;
        std::string left, right, maxRow;
        int32_t leftDb;
        bool ranges = false;
    } cases[] = {
        {1, "1_150_200_700_", "150", "200", "700", 381000},
        {1, "1____", "", "", "", 0},
        {1, "1_140_190_600_junk", "140", "190", "600", 355600},
        {1, " 1 _ 10 _20 _ 30_", "10", "20", "30", 25400},
        {1, "1.4_5_6_7_", "5", "6", "7", 12700},   // the unit is rounded
        {2, "2.5_1_2_3_", "1", "2", "3", 100000},  // half to even: 2
        {4, "&H4_0.1_0.2_0.3_", "0.1", "0.2", "0.3", 254000},
        {1, "1_0000000140_n_._", "0000000140", "n", ".", 355600},
        // Ranges: a fifth field "1"; anything else, or none, is off.
        {1, "1_150_200_700_1_", "150", "200", "700", 381000, true},
        {1, "1_150_200_700_0_", "150", "200", "700", 381000, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        orlune::Run& run = load(test::design(c.units).withAttributes(attributeJson("ORLUNE", c.value)));
        EXPECT_EQ(run.settings.LeftStartByUnit[c.units], c.left);
        EXPECT_EQ(run.settings.RightStartByUnit[c.units], c.right);
        EXPECT_EQ(run.settings.MaxRowByUnit[c.units], c.maxRow);
        EXPECT_EQ(run.form.at("Text1").caption, c.left);
        EXPECT_EQ(run.settings.LeftStart, c.leftDb);
        EXPECT_EQ(run.settings.Ranges, c.ranges);
        EXPECT_EQ(run.form.at("Check1").checked, c.ranges);
        EXPECT_TRUE(boxes().empty());
        const auto stored = attributes();
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(stored[0].value, c.value);
    }
}

TEST_F(FormLoadTest, UnusableAttributesAreDeletedSilently) {
    const char* values[] = {
        "1_12345678901_190_600_",  // eleven characters
        "1_140_190_600",           // no final "_"
        "1_140_190_",              // a field missing
        "3_0_0_0_",                // unsupported unit
        "0_1_2_3_",
        "5_1_2_3_",
        "x_1_2_3_",            // no number: 0
        "99999_140_190_600_",  // not a 16-bit unit
        "65537_140_190_600_",  // would wrap to 1
        "-65535_140_190_600_",
        "12345678901_1_2_3_",  // first field too long
        "",
    };
    for (const char* value : values) {
        SCOPED_TRACE(value);
        orlune::Run& run = load(test::design(1).withAttributes(
            attributeJson("Other", "x") + "," + attributeJson("ORLUNE", value, 1) + "," + attributeJson("Last", "y")));
        EXPECT_TRUE(boxes().empty());
        EXPECT_EQ(run.settings.LeftStartByUnit[1], "140");
        EXPECT_EQ(run.settings.RightStartByUnit[1], "190");
        EXPECT_EQ(run.settings.MaxRowByUnit[1], "600");
        EXPECT_EQ(run.settings.LeftStart, 355600);
        const auto stored = attributes();
        ASSERT_EQ(stored.size(), 2u);
        EXPECT_EQ(stored[0].name, "Other");
        EXPECT_EQ(stored[1].name, "Last");
    }
}

TEST_F(FormLoadTest, AnotherUnitWarnsAndFallsBackToTheDesignsDefaults) {
    orlune::Run& run = load(test::design(1).withAttributes(attributeJson("ORLUNE", "2_3.6_4.8_15.2_", 2)));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, "Changed units (selected DEFAULT)!!!");
    EXPECT_EQ(boxes()[0].title, "Warning");
    EXPECT_EQ(boxes()[0].icon, Icon::Warning);
    EXPECT_EQ(boxes()[0].buttons, Buttons::Ok);
    EXPECT_EQ(run.form.at("Text1").caption, "140");
    EXPECT_EQ(run.form.at("Text2").caption, "190");
    EXPECT_EQ(run.form.at("Text3").caption, "600");
    EXPECT_EQ(run.settings.LeftStart, 355600);
    EXPECT_TRUE(attributes().empty());
}

TEST_F(FormLoadTest, OnlyTheFirstAttributeNamedOrluneIsExamined) {
    // Unusable first: deleted; the second is neither read nor deleted.
    orlune::Run& run = load(test::design(1).withAttributes(attributeJson("ORLUNE", "1_140_190_600") + "," +
                                                           attributeJson("ORLUNE", "1_150_200_700_")));
    EXPECT_EQ(run.settings.LeftStartByUnit[1], "140");
    auto stored = attributes();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].value, "1_150_200_700_");

    // Usable first: read; the second stays as it is.
    orlune::Run& second = load(test::design(1).withAttributes(attributeJson("ORLUNE", "1_150_200_700_") + "," +
                                                              attributeJson("ORLUNE", "nonsense")));
    EXPECT_EQ(second.settings.LeftStartByUnit[1], "150");
    EXPECT_EQ(attributes().size(), 2u);
}

TEST_F(FormLoadTest, TheNameIsComparedExactlyAfterTrimming) {
    orlune::Run& run = load(test::design(1).withAttributes(attributeJson("orlune", "1_150_200_700_") + "," +
                                                           attributeJson(" ORLUNE ", "1_160_200_700_")));
    EXPECT_EQ(run.settings.LeftStartByUnit[1], "160");
    EXPECT_EQ(attributes().size(), 2u);
}

TEST_F(FormLoadTest, UnsupportedDesignUnitsWarnAndWorkInWholeUnits) {
    for (int units : {3, 7, 0, -1, 70000}) {
        SCOPED_TRACE(units);
        orlune::Run& run = load(test::design(units).withAttributes(attributeJson("ORLUNE", "3_0_0_0_")));
        ASSERT_FALSE(boxes().empty());
        EXPECT_EQ(boxes()[0].text, "System errors concerning UNIT !!!");
        EXPECT_EQ(boxes()[0].title, "Warning");
        EXPECT_EQ(boxes()[0].icon, Icon::Warning);
        EXPECT_EQ(boxes().size(), 1u);
        EXPECT_FALSE(Check_Unit(run.settings.UnitCode));
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(run.form.at("Label6", i).caption, "0");
        EXPECT_EQ(run.form.at("Text1").caption, "0");
        EXPECT_EQ(run.settings.LeftStart, 0);
        EXPECT_EQ(run.settings.RightStart, 0);
        EXPECT_EQ(run.settings.MaxRowLength, 0);
        EXPECT_TRUE(attributes().empty());
        EXPECT_TRUE(run.settings.SettingsLoaded);
    }
}

TEST_F(FormLoadTest, StoredTextsThatDoNotConvertFallBackToTheDefaults) {
    orlune::Run& run = load(test::design(1).withAttributes(attributeJson("ORLUNE", "1_99999999_190_600_")));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, "Left side start is out of range: 99999999");
    EXPECT_EQ(run.settings.LeftStart, 355600);
    EXPECT_EQ(run.form.at("Text1").caption, "140");
    // The stored value is not the program's to throw away.
    ASSERT_EQ(attributes().size(), 1u);
    EXPECT_EQ(attributes()[0].value, "1_99999999_190_600_");
}

TEST_F(FormLoadTest, ReadsTheDesignInOrderBehindTheHiddenMainButtons) {
    orlune::Run& run = open(test::design(1));
    // The window as the host sees it when the design is opened and closed.
    const auto window = [&run] {
        const ui::FormModel& form = run.form;
        std::string state = form.at("Command3").visible ? form.at("Command3").caption : "hidden";
        if (form.hasFocus("Command3")) state += " focused";
        for (const char* name : {"Command1", "Command2", "Command4", "Command6", "Command10"}) {
            if (form.at(name).visible) state += std::string(" ") + name;
        }
        return state + " page " + std::to_string(run.page.ActivePage) + (run.settings.SettingsLoaded ? " loaded" : "");
    };
    std::vector<std::string> calls;
    std::vector<std::string> windows;
    hosted->host.onCall = [&](std::string_view op) {
        calls.emplace_back(op);
        if (op == "TOpenDesign" || op == "TCloseDesign") windows.push_back(window());
    };
    Form_Load(run);
    hosted->host.onCall = nullptr;

    std::vector<std::string> expected = {"TOpenDesign",    "TGetFirstLayer",           "TGetNextLayer",
                                         "TGetDesignInfo", "TGetFirstDesignAttribute", "TGetFirstLayerItem"};
    expected.insert(expected.end(), 100, "TGetTextStyle");  // every style number, though three answer
    expected.emplace_back("TCloseDesign");
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(windows, (std::vector<std::string>{
                           "Wait focused page 0",
                           "Exit focused Command1 Command2 Command4 Command6 Command10 page 1",
                       }));
    EXPECT_TRUE(run.settings.SettingsLoaded);
}

TEST_F(FormLoadTest, OneHundredSheetsPass) {
    orlune::Run& run = load(test::design(1).withSheets(100));
    EXPECT_EQ(run.counts.SheetCount, 100);
    EXPECT_TRUE(boxes().empty());
    EXPECT_TRUE(run.settings.SettingsLoaded);
}

TEST_F(FormLoadTest, MoreThanOneHundredSheetsEndTheProgram) {
    orlune::Run& run = open(test::design(1).withSheets(101).withAttributes(attributeJson("ORLUNE", "1_bad_")));
    const std::string before = hosted->designText();
    EXPECT_THROW(Form_Load(run), ProgramEnded);
    EXPECT_EQ(hosted->platform.endCount, 1);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, "Number of sheets > 100 !!!");
    EXPECT_EQ(boxes()[0].title, "Error");
    EXPECT_EQ(boxes()[0].icon, Icon::Error);
    EXPECT_EQ(boxes()[0].buttons, Buttons::Ok);
    EXPECT_FALSE(run.connection.DesignOpen);
    EXPECT_FALSE(run.settings.SettingsLoaded);
    // Nothing read, nothing written: the unusable attribute is still there.
    EXPECT_EQ(run.settings.UnitCode, 0);
    EXPECT_EQ(hosted->designText(), before);
}

// --- Create_combo ------------------------------------------------------------

std::string ownText(int sheet, int style, const std::string& text = "@2") {
    return R"({ "type": "text", "sheet": )" + std::to_string(sheet) + R"(, "text": ")" + text + R"(", "style": )" +
           std::to_string(style) + R"(, "x": 0, "y": 0, "justification": 4 })";
}

TEST_F(FormLoadTest, TheListHoldsEveryStyleWithItsNumber) {
    orlune::Run& run = load(test::design(1));
    const ui::Control& list = run.form.at("cboTextStyle");
    using Entry = std::pair<std::string, int32_t>;
    EXPECT_EQ(list.items, (std::vector<Entry>{{"Default", 0}, {"Big", 11}, {"Small", 12}}));
    EXPECT_EQ(list.listIndex, 0);
    EXPECT_EQ(list.caption, "Default");
    EXPECT_EQ(run.settings.StyleIndex, 0);
}

TEST_F(FormLoadTest, TheFirstPlacedTextChoosesTheStyle) {
    const struct {
        std::string items;
        int32_t style;
        std::string caption;
    } cases[] = {
        {ownText(1, 2), 2, "Small"},
        {R"({ "type": "text", "sheet": 1, "text": "note", "style": 2, "x": 0, "y": 0, "justification": 4 },)" +
             ownText(2, 1) + "," + ownText(1, 2),
         2, "Small"},  // sheets in order, other texts ignored
        {ownText(2, 1) + "," + ownText(3, 2), 1, "Big"},
        {ownText(1, 7), 0, "Default"},  // a style the list does not have
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.items);
        orlune::Run& run = load(test::design(1).withSheets(3).withItems(c.items));
        const ui::Control& list = run.form.at("cboTextStyle");
        EXPECT_EQ(run.settings.StyleIndex, c.style);
        EXPECT_EQ(list.listIndex, c.style);
        EXPECT_EQ(list.caption, c.caption);
    }
}

// --- Command5_Click ----------------------------------------------------------

TEST_F(FormLoadTest, UpdateAddsTheAttributeThenModifiesIt) {
    orlune::Run& run = load(test::design(1).withAttributes(attributeJson("Other", "keep", 9)));
    run.settings.SettingsChanged = true;
    Command5_Click(run);
    auto stored = attributes();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[1].name, "ORLUNE");
    EXPECT_EQ(stored[1].value, "1_140_190_600_");
    EXPECT_EQ(stored[1].units, 1);
    EXPECT_EQ(stored[0].value, "keep");
    EXPECT_FALSE(run.settings.SettingsChanged);
    EXPECT_FALSE(run.connection.DesignOpen);

    run.form.at("Text1").caption = " 150 ";
    run.form.at("Text3").caption = "700";
    Command5_Click(run);
    stored = attributes();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[1].value, "1_ 150 _190_700_");
    EXPECT_EQ(run.settings.LeftStartByUnit[1], "150");
    EXPECT_EQ(run.settings.MaxRowByUnit[1], "700");
    EXPECT_EQ(run.settings.LeftStart, 381000);
    EXPECT_EQ(run.settings.MaxRowLength, 1778000);
    EXPECT_TRUE(hosted->platform.boxes.empty());
    run.form.at("Check1").checked = true;  // ranges: a fifth field
    Command5_Click(run);
    EXPECT_EQ(attributes()[1].value, "1_ 150 _190_700_1_");

    // The next start-up reads back what was stored.
    test::RecordingPlatform platform;
    orlune::Run next(platform);
    Form_Load(next);
    EXPECT_EQ(next.form.at("Text1").caption, "150");
    EXPECT_EQ(next.settings.LeftStart, 381000);
    EXPECT_TRUE(next.settings.Ranges);
}

TEST_F(FormLoadTest, UpdateFillsOnlyItsOwnFieldsOfTheSharedAttributeRecord) {
    const std::string nul(1, '\0');
    const auto spaces = [](std::size_t n) { return std::string(n, ' '); };
    std::optional<dbx::AttributeRecord> sent;
    const auto capture = [&](orlune::Run& run) {
        hosted->host.onCall = [&](std::string_view op) {
            if (op == "TAddDesignAttribute" || op == "TModifyDesignAttribute") sent = run.records.AttributeRec;
        };
    };

    // Added: whatever the search left in the record travels along.
    orlune::Run& run = load(test::design(1));
    run.records.AttributeRec.attrFlag1 = 7;
    run.records.AttributeRec.attrFlag2 = 9;
    dbx::writeField(run.records.AttributeRec.reservedText1, "left by the search");
    capture(run);
    Command5_Click(run);
    hosted->host.onCall = nullptr;
    ASSERT_TRUE(sent);
    EXPECT_EQ(std::string(sent->name, sizeof sent->name), "ORLUNE" + nul + spaces(93));
    EXPECT_EQ(std::string(sent->value, sizeof sent->value), "1_140_190_600_" + nul + spaces(241));
    EXPECT_EQ(sent->attrFlag1, 7);
    EXPECT_EQ(sent->attrFlag2, 0);
    EXPECT_EQ(sent->units, 1);
    EXPECT_EQ(dbx::readField(sent->reservedText1), "left by the search");

    // Modified: the name stays as read; the value is space-filled without a NUL.
    sent.reset();
    orlune::Run& again = load(test::design(1).withAttributes(attributeJson(" ORLUNE", "1_140_190_600_", 1)));
    again.form.at("Text1").caption = "150";
    capture(again);
    Command5_Click(again);
    hosted->host.onCall = nullptr;
    ASSERT_TRUE(sent);
    EXPECT_EQ(std::string(sent->name, sizeof sent->name), " ORLUNE" + nul + spaces(92));
    EXPECT_EQ(std::string(sent->value, sizeof sent->value), "1_150_190_600_" + spaces(242));
    EXPECT_EQ(sent->units, 1);
}

TEST_F(FormLoadTest, UpdateModifiesTheFirstOfTwoAttributes) {
    orlune::Run& run = load(test::design(2).withAttributes(attributeJson("ORLUNE", "2_1_2_3_", 2) + "," +
                                                           attributeJson("ORLUNE", "2_4_5_6_", 2)));
    run.form.at("Text2").caption = "2.5";
    Command5_Click(run);
    const auto stored = attributes();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].value, "2_1_2.5_3_");
    EXPECT_EQ(stored[0].units, 2);
    EXPECT_EQ(stored[1].value, "2_4_5_6_");
    EXPECT_EQ(run.settings.RightStart, 250000);
}

TEST_F(FormLoadTest, TenCharactersAreStoredAndReadBack) {
    orlune::Run& run = load(test::design(1));
    run.form.at("Text1").caption = "0000000150";
    Command5_Click(run);
    ASSERT_EQ(attributes().size(), 1u);
    EXPECT_EQ(attributes()[0].value, "1_0000000150_190_600_");

    test::RecordingPlatform platform;
    orlune::Run next(platform);
    Form_Load(next);
    EXPECT_EQ(next.form.at("Text1").caption, "0000000150");
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(FormLoadTest, UpdateRefusesTextsThatCannotBeStoredOrApplied) {
    const struct {
        const char* left;
        const char* right;
        std::string message;
    } cases[] = {
        {"99999999", "190", "Left side start is out of range: 99999999"},
        {"1_2", "190", "Left side start must not contain \"_\": 1_2"},
        // The next start-up would throw away a longer stored text.
        {"00000000150", "190", "Left side start is longer than 10 characters: 00000000150"},
        {"140", "1_00000000000", "Right side start must not contain \"_\": 1_00000000000"},
        {"140", "_", "Right side start must not contain \"_\": _"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        orlune::Run& run = load(test::design(1));
        const std::string before = hosted->designText();
        run.form.at("Text1").caption = c.left;
        run.form.at("Text2").caption = c.right;
        run.settings.SettingsChanged = true;
        Command5_Click(run);
        ASSERT_EQ(boxes().size(), 1u);
        EXPECT_EQ(boxes()[0].text, c.message);
        EXPECT_EQ(boxes()[0].title, "Warning");
        EXPECT_EQ(hosted->designText(), before);
        EXPECT_EQ(run.settings.LeftStartByUnit[1], "140");
        EXPECT_EQ(run.settings.LeftStart, 355600);
        EXPECT_TRUE(run.settings.SettingsChanged);  // the edits are still unsaved
        EXPECT_FALSE(run.connection.DesignOpen);
    }
}

TEST_F(FormLoadTest, UnsupportedUnitStoresItsCodeAndWholeNumbers) {
    orlune::Run& run = load(test::design(3));
    run.form.at("Text1").caption = "1000";
    Command5_Click(run);
    EXPECT_EQ(run.settings.LeftStart, 1000);
    EXPECT_EQ(run.settings.LeftStartByUnit[3], "1000");
    ASSERT_EQ(attributes().size(), 1u);
    EXPECT_EQ(attributes()[0].value, "3_1000_0_0_");
    EXPECT_EQ(attributes()[0].units, 3);
}

}  // namespace
}  // namespace orlune

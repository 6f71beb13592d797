#include "settings/settings_page.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "run/page_state.h"
#include "run/run.h"
#include "settings/startup.h"
#include "settings/units.h"
#include "settings_fixture.h"
#include "support/test_support.h"

namespace orlune {
namespace {

const char* const kQuestion = "Your settings is changed !!!\r   Do you want update ?";

// --- Key_Filter ------------------------------------------------------------------

TEST(KeyFilter, PassesOnlyBackspacePointDigitsAndN) {
    const std::set<int> accepted = {8, 46, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 110};
    test::RecordingPlatform platform;
    for (int code = -1; code <= 300; ++code) {
        orlune::Run run(platform);
        int16_t key = static_cast<int16_t>(code);
        Key_Filter(run, key);
        if (accepted.count(code) != 0) {
            EXPECT_EQ(key, code);
            EXPECT_TRUE(run.settings.SettingsChanged) << code;
        } else {
            EXPECT_EQ(key, 0) << code;
            EXPECT_FALSE(run.settings.SettingsChanged) << code;
        }
    }
}

TEST(KeyFilter, EveryDistanceBoxFiltersAndNeedsNoLoadedSettings) {
    test::RecordingPlatform platform;
    for (auto handler : {Text1_KeyPress, Text2_KeyPress, Text3_KeyPress}) {
        orlune::Run run(platform);
        run.settings.SettingsLoaded = false;
        for (char c : std::string("a-,_N\x16\r")) {
            int16_t key = static_cast<int16_t>(c);
            handler(run, key);
            EXPECT_EQ(key, 0) << int{c};
        }
        EXPECT_FALSE(run.settings.SettingsChanged);
        int16_t seven = '7';
        handler(run, seven);
        EXPECT_EQ(seven, '7');
        EXPECT_TRUE(run.settings.SettingsChanged);
        // A swallowed key does not take the mark back.
        int16_t letter = 'a';
        handler(run, letter);
        EXPECT_TRUE(run.settings.SettingsChanged);
    }
}

TEST(TextStyleChange, MarksThePageOnlyOnceSettingsAreLoaded) {
    test::RecordingPlatform platform;
    orlune::Run run(platform);
    cboTextStyle_Change(run);
    EXPECT_FALSE(run.settings.SettingsChanged);
    run.settings.SettingsLoaded = true;
    cboTextStyle_Change(run);
    EXPECT_TRUE(run.settings.SettingsChanged);
}

// --- SSTab1_Click without a design -------------------------------------------------

// The window as start-up leaves it, without touching a design.
class SettingsTabTest : public ::testing::Test {
protected:
    SettingsTabTest() {
        ui::Control& list = run.form.at("cboTextStyle");
        list.items = {{"Default", 0}, {"Big", 1}, {"Small", 2}};
        list.listIndex = 0;
        run.settings.UnitCode = 1;
        Set_Defaults(run);
        Apply_Settings(run);
        run.form.at("Frame2").visible = false;
        run.form.at("Frame3").visible = false;
        En_DisableMainMenu(run, true);
        run.page.ActivePage = kPageMain;
        run.settings.SettingsLoaded = true;
    }

    test::RecordingPlatform platform;
    orlune::Run run{platform};
};

TEST_F(SettingsTabTest, NothingHappensDuringStartUp) {
    run.settings.SettingsLoaded = false;
    run.form.setFocus("Text1");
    Select_Tab(run, 1);
    EXPECT_EQ(run.form.selectedTab, 1);
    EXPECT_EQ(run.page.ActivePage, kPageMain);
    EXPECT_TRUE(run.form.hasFocus("Text1"));
}

TEST_F(SettingsTabTest, EnteringRemembersTheSelectedStyle) {
    run.form.at("cboTextStyle").listIndex = 2;
    Select_Tab(run, 1);
    EXPECT_EQ(run.form.selectedTab, 1);
    EXPECT_EQ(run.page.ActivePage, kPageSettings);
    EXPECT_EQ(run.settings.SavedStyleIndex, 2);
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(SettingsTabTest, LeavingUnchangedAsksNothing) {
    Select_Tab(run, 1);
    run.form.setFocus("Text1");
    // The Delete key and the box's own menu change the text without the filter.
    run.form.at("Text1").caption = "14";
    Select_Tab(run, 0);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_EQ(run.page.ActivePage, kPageMain);
    EXPECT_TRUE(run.form.hasFocus("Command3"));
    EXPECT_EQ(run.page.FocusButton, kFocusExit);
    EXPECT_EQ(run.settings.LeftStart, 355600);
}

TEST_F(SettingsTabTest, RefusedOverTheUtilitiesAndStatusPages) {
    const struct {
        uint8_t page;
        uint8_t focus;
        const char* button;
        const char* frame;
    } cases[] = {{kPageUtils, kFocusUtilsOk, "Command11", "Frame2"},
                 {kPageStatus, kFocusStatusOk, "Command9", "Frame3"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        En_DisableMainMenu(run, false);
        run.form.at(c.frame).visible = true;
        run.page.ActivePage = c.page;
        run.page.FocusButton = c.focus;
        run.form.setFocus("Text1");
        Select_Tab(run, 1);
        EXPECT_EQ(run.form.selectedTab, 0);
        EXPECT_EQ(run.page.ActivePage, c.page);
        EXPECT_TRUE(run.form.hasFocus(c.button));
        // The nested run for tab 0 must not bring the main buttons back.
        EXPECT_FALSE(run.form.at("Command1").visible);
        EXPECT_TRUE(platform.boxes.empty());
    }
}

TEST_F(SettingsTabTest, RefusedWhileACommandHoldsTheDesign) {
    run.connection.DesignOpen = true;
    run.page.FocusButton = kFocusUpdate;
    run.form.at("Command1").caption = "Wait";
    run.form.setFocus("Text2");
    Select_Tab(run, 1);
    EXPECT_EQ(run.form.selectedTab, 0);
    EXPECT_EQ(run.page.ActivePage, kPageMain);
    EXPECT_TRUE(run.form.hasFocus("Command1"));
    EXPECT_EQ(run.page.FocusButton, kFocusUpdate);
}

TEST_F(SettingsTabTest, AnotherStyleAsksAndNoKeepsTheChoiceUnstored) {
    Select_Tab(run, 1);
    run.form.at("cboTextStyle").listIndex = 1;
    run.form.at("Text1").caption = "150";
    platform.answers = {Answer::No};
    Select_Tab(run, 0);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, kQuestion);
    EXPECT_EQ(platform.boxes[0].title, "Question");
    EXPECT_EQ(platform.boxes[0].icon, Icon::Question);
    EXPECT_EQ(platform.boxes[0].buttons, Buttons::YesNo);
    EXPECT_FALSE(run.settings.SettingsChanged);
    EXPECT_EQ(run.form.at("cboTextStyle").listIndex, 1);
    EXPECT_EQ(run.form.at("Text1").caption, "150");
    EXPECT_EQ(run.settings.LeftStartByUnit[1], "140");
    EXPECT_EQ(run.settings.LeftStart, 355600);
    EXPECT_EQ(run.page.ActivePage, kPageMain);
    EXPECT_TRUE(run.form.hasFocus("Command3"));

    // The same style at the next entry is no change.
    Select_Tab(run, 1);
    EXPECT_EQ(run.settings.SavedStyleIndex, 1);
    Select_Tab(run, 0);
    EXPECT_EQ(platform.boxes.size(), 1u);
}

TEST_F(SettingsTabTest, AnEditAsksEvenWithTheSameStyle) {
    Select_Tab(run, 1);
    int16_t key = '5';
    Text2_KeyPress(run, key);
    platform.answers = {Answer::No};
    Select_Tab(run, 0);
    EXPECT_EQ(platform.boxes.size(), 1u);
    EXPECT_FALSE(run.settings.SettingsChanged);
}

TEST_F(SettingsTabTest, SelectingTheSameTabRunsNothing) {
    Select_Tab(run, 1);
    run.settings.SettingsChanged = true;
    Select_Tab(run, 1);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_EQ(run.page.ActivePage, kPageSettings);
}

TEST_F(SettingsTabTest, TabZeroOnTheMainPageGivesTheFocusBack) {
    run.page.FocusButton = kFocusDelete;
    run.form.setFocus("Text3");
    SSTab1_Click(run, 0);
    EXPECT_TRUE(run.form.hasFocus("Command6"));
    EXPECT_EQ(run.page.ActivePage, kPageMain);
}

// --- SSTab1_Click with a design: Yes stores --------------------------------------------

class SettingsTabDesignTest : public ::testing::Test {
protected:
    SettingsTabDesignTest() { Form_Load(run); }

    test::HostedRun hosted{test::designJson(test::design(2))};
    orlune::Run& run = *hosted.run;
    test::RecordingPlatform& platform = hosted.platform;
};

TEST_F(SettingsTabDesignTest, YesStoresAndAppliesTheEdits) {
    Select_Tab(run, 1);
    run.form.at("Text1").caption = "5";
    int16_t key = '5';
    Text1_KeyPress(run, key);
    platform.answers = {Answer::Yes};
    Select_Tab(run, 0);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, kQuestion);
    EXPECT_EQ(run.settings.LeftStartByUnit[2], "5");
    EXPECT_EQ(run.settings.LeftStart, 500000);
    EXPECT_FALSE(run.settings.SettingsChanged);
    EXPECT_FALSE(run.connection.DesignOpen);
    EXPECT_EQ(run.page.ActivePage, kPageMain);
    EXPECT_TRUE(run.form.hasFocus("Command3"));
    const auto stored = test::storedAttributes(platform);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].value, "2_5_4.8_15.2_");
}

TEST_F(SettingsTabDesignTest, NoWritesNothing) {
    const std::string before = hosted.designText();
    Select_Tab(run, 1);
    int16_t key = '1';
    Text3_KeyPress(run, key);
    run.form.at("Text3").caption = "15.21";
    platform.answers = {Answer::No};
    Select_Tab(run, 0);
    EXPECT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(hosted.designText(), before);
    EXPECT_EQ(run.settings.MaxRowLength, 1520000);
}

TEST_F(SettingsTabDesignTest, StoringOnThePageLeavesNothingToAsk) {
    Select_Tab(run, 1);
    int16_t key = '9';
    Text2_KeyPress(run, key);
    run.form.at("Text2").caption = "4.89";
    Command5_Click(run);
    EXPECT_EQ(run.settings.RightStart, 489000);
    Select_Tab(run, 0);
    EXPECT_TRUE(platform.boxes.empty());

    // A style chosen after storing still asks.
    Select_Tab(run, 1);
    Command5_Click(run);
    run.form.at("cboTextStyle").listIndex = 2;
    Select_Tab(run, 0);
    EXPECT_EQ(platform.boxes.size(), 1u);
}

}  // namespace
}  // namespace orlune

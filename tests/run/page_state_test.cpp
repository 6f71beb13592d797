#include "run/page_state.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/run.h"
#include "support/test_support.h"

namespace orlune {
namespace {

const std::vector<std::string> kMainButtons = {"Command1", "Command2", "Command3", "Command4", "Command6", "Command10"};

class PageStateTest : public ::testing::Test {
protected:
    test::RecordingPlatform platform;
    orlune::Run run{platform};
};

TEST_F(PageStateTest, HidingTheMainButtonsLeavesFocusAndFocusButtonAlone) {
    run.form.setFocus("Command9");
    run.page.FocusButton = kFocusStatusOk;
    En_DisableMainMenu(run, false);
    for (const std::string& name : kMainButtons)
        EXPECT_FALSE(run.form.at(name).visible) << name;
    EXPECT_TRUE(run.form.hasFocus("Command9"));
    EXPECT_EQ(run.page.FocusButton, kFocusStatusOk);
}

TEST_F(PageStateTest, ShowingTheMainButtonsAlwaysFocusesExit) {
    for (uint8_t before : {kFocusUpdate, kFocusDelete, kFocusStatusOk, kFocusUtilsOk, uint8_t{9}}) {
        En_DisableMainMenu(run, false);
        run.page.FocusButton = before;
        run.form.setFocus("Command11");
        En_DisableMainMenu(run, true);
        for (const std::string& name : kMainButtons)
            EXPECT_TRUE(run.form.at(name).visible) << name;
        EXPECT_TRUE(run.form.hasFocus("Command3")) << int{before};
        EXPECT_EQ(run.page.FocusButton, kFocusExit);
    }
}

TEST_F(PageStateTest, OnlyTheMainButtonsChangeVisibility) {
    run.form.at("Frame2").visible = false;
    run.form.at("Command9").visible = true;
    En_DisableMainMenu(run, false);
    EXPECT_FALSE(run.form.at("Frame2").visible);
    EXPECT_TRUE(run.form.at("Command9").visible);
    EXPECT_TRUE(run.form.at("Command5").visible);
}

TEST_F(PageStateTest, RestoreFocusGoesToTheNamedButton) {
    const struct {
        uint8_t code;
        const char* button;
    } cases[] = {{kFocusUpdate, "Command1"},
                 {kFocusDelete, "Command6"},
                 {kFocusExit, "Command3"},
                 {kFocusStatusOk, "Command9"},
                 {kFocusUtilsOk, "Command11"}};
    for (const auto& c : cases) {
        run.form.setFocus("Text1");
        run.page.FocusButton = c.code;
        Restore_Focus(run);
        EXPECT_TRUE(run.form.hasFocus(c.button)) << int{c.code} << " focus on " << run.form.focusName();
        EXPECT_EQ(run.page.FocusButton, c.code);
    }
}

TEST_F(PageStateTest, RestoreFocusIgnoresTheWaitCaption) {
    run.form.at("Command1").caption = "Wait";
    run.page.FocusButton = kFocusUpdate;
    Restore_Focus(run);
    EXPECT_TRUE(run.form.hasFocus("Command1"));
}

TEST_F(PageStateTest, RestoreFocusWithAnUnknownCodeChangesNothing) {
    for (uint8_t code : {uint8_t{5}, uint8_t{200}, uint8_t{255}}) {
        run.form.setFocus("Text2");
        run.page.FocusButton = code;
        Restore_Focus(run);
        EXPECT_TRUE(run.form.hasFocus("Text2")) << int{code};
        EXPECT_EQ(run.page.FocusButton, code);
    }
}

}  // namespace
}  // namespace orlune

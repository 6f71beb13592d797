#include "ui/command_flow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "settings/startup.h"
#include "support/test_support.h"
#include "utils/connector_designs.h"

namespace orlune::test {
namespace {

const char* const kMainButtons[] = {"Command1", "Command2", "Command3", "Command4", "Command6", "Command10"};

// SC1 on sheet 1 and SC2 on sheet 2 share a net; an old own text waits on
// sheet 1.
std::string flowDesign() {
    return designJson({{"SC1", {{"SH_TYPE", "0"}}, 0, false, 2, 1}, {"SC2", {}, 0, false, 2, 2}}, {textItem("@9")});
}

class CommandFlow : public ::testing::Test {
protected:
    CommandFlow() : h(flowDesign()) {}

    void SetUp() override {
        Form_Load(run());
        ASSERT_EQ(run().page.ActivePage, 1);
        ASSERT_TRUE(h.platform.boxes.empty());
        h.host.onCall = [this](std::string_view op) {
            calls.emplace_back(op);
            if (op == "TOpenDesign" || op == "TCloseDesign" || !duringPass) return;
            // Once, at the first operation inside the conversation.
            auto action = std::move(duringPass);
            duringPass = nullptr;
            action();
        };
    }

    orlune::Run& run() { return *h.run; }

    int callsOf(std::string_view op) const { return static_cast<int>(std::count(calls.begin(), calls.end(), op)); }

    std::vector<std::string> texts() {
        std::vector<std::string> out;
        if (host::Design* d = h.host.design()) {
            for (const host::Item& item : d->items) {
                if (item.type == host::ItemType::Text && !item.deleted) out.push_back(item.text);
            }
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    void expectMainButtons(bool visible) {
        for (const char* name : kMainButtons)
            EXPECT_EQ(run().form.at(name).visible, visible) << name;
    }

    void expectMainPage() {
        expectMainButtons(true);
        EXPECT_FALSE(run().form.at("Frame2").visible);
        EXPECT_FALSE(run().form.at("Frame3").visible);
        EXPECT_EQ(run().page.ActivePage, 1);
        EXPECT_TRUE(run().form.hasFocus("Command3"));
        EXPECT_EQ(run().page.FocusButton, 2);
    }

    HostedRun h;
    std::vector<std::string> calls;
    std::function<void()> duringPass;
};

// --- Update and Delete -------------------------------------------------------

TEST_F(CommandFlow, UpdateShowsWaitDuringThePassThenHandsTheFocusToExit) {
    std::string paintedCaption;
    int opensBeforePaint = -1;
    run().form.onRefresh = [&] {
        paintedCaption = run().form.at("Command1").caption;
        opensBeforePaint = callsOf("TOpenDesign");
    };
    bool checked = false;
    duringPass = [&] {
        checked = true;
        EXPECT_TRUE(run().connection.DesignOpen);
        EXPECT_EQ(run().form.at("Command1").caption, "Wait");
        EXPECT_EQ(run().page.FocusButton, 0);
    };
    Command1_Click(run());
    EXPECT_TRUE(checked);
    EXPECT_EQ(paintedCaption, "Wait");
    EXPECT_EQ(opensBeforePaint, 0);
    EXPECT_EQ(run().form.at("Command1").caption, "Update");
    EXPECT_FALSE(run().connection.DesignOpen);
    expectMainPage();
    EXPECT_EQ(texts(), (std::vector<std::string>{"@1", "@2"}));
    EXPECT_EQ(callsOf("TOpenDesign"), 1);
    EXPECT_EQ(callsOf("TCloseDesign"), 1);
}

TEST_F(CommandFlow, UpdateClickedAfterAnUpdateFinishedRunsAgain) {
    Command1_Click(run());
    Command1_Click(run());
    EXPECT_EQ(callsOf("TOpenDesign"), 2);
    EXPECT_EQ(texts(), (std::vector<std::string>{"@1", "@2"}));
    expectMainPage();
}

TEST_F(CommandFlow, DeleteShowsWaitDuringThePassThenHandsTheFocusToExit) {
    std::string paintedCaption;
    run().form.onRefresh = [&] { paintedCaption = run().form.at("Command6").caption; };
    bool checked = false;
    duringPass = [&] {
        checked = true;
        EXPECT_EQ(run().form.at("Command6").caption, "Wait");
        EXPECT_EQ(run().form.at("Command1").caption, "Update");
        EXPECT_EQ(run().page.FocusButton, 1);
    };
    Command6_Click(run());
    EXPECT_TRUE(checked);
    EXPECT_EQ(paintedCaption, "Wait");
    EXPECT_EQ(run().form.at("Command6").caption, "Delete");
    expectMainPage();
    EXPECT_TRUE(texts().empty());
    EXPECT_EQ(callsOf("TOpenDesign"), 1);
}

// --- The busy guard ----------------------------------------------------------

struct GuardCase {
    const char* name;
    std::function<void(orlune::Run&)> click;
};

void PrintTo(const GuardCase& c, std::ostream* os) {
    *os << c.name;
}

const GuardCase kGuardCases[] = {
    {"Update", [](orlune::Run& r) { Command1_Click(r); }},
    {"Delete", [](orlune::Run& r) { Command6_Click(r); }},
    {"Utils", [](orlune::Run& r) { Command10_Click(r); }},
    {"Status", [](orlune::Run& r) { Command2_Click(r); }},
    {"Help", [](orlune::Run& r) { Command4_Click(r); }},
    {"HighlightOneRow", [](orlune::Run& r) { Command8_Click(r, 0); }},
    {"HighlightMoreRows", [](orlune::Run& r) { Command8_Click(r, 1); }},
    {"InvertHighlighted", [](orlune::Run& r) { Command8_Click(r, 2); }},
    {"InvertSelected", [](orlune::Run& r) { Command8_Click(r, 3); }},
    {"AddAttribute", [](orlune::Run& r) { Command8_Click(r, 4); }},
};

class CommandFlowGuard : public CommandFlow, public ::testing::WithParamInterface<GuardCase> {};

TEST_P(CommandFlowGuard, ClickDuringUpdateOnlyReturnsTheFocus) {
    bool clicked = false;
    duringPass = [&] {
        clicked = true;
        ASSERT_TRUE(run().form.hasFocus("Command3"));  // where start-up left it
        GetParam().click(run());
        EXPECT_TRUE(run().form.hasFocus("Command1"));
        EXPECT_EQ(run().page.FocusButton, 0);
        EXPECT_EQ(run().form.at("Command1").caption, "Wait");
        EXPECT_EQ(run().form.at("Command6").caption, "Delete");
        EXPECT_EQ(run().form.at("Command9").caption, "Ok");
        EXPECT_TRUE(run().connection.DesignOpen);
        EXPECT_EQ(run().page.ActivePage, 1);
        expectMainButtons(true);
        EXPECT_FALSE(run().form.at("Frame2").visible);
        EXPECT_FALSE(run().form.at("Frame3").visible);
    };
    const std::string before = h.designText();
    Command1_Click(run());
    EXPECT_TRUE(clicked);
    EXPECT_TRUE(h.platform.boxes.empty());
    EXPECT_EQ(callsOf("TOpenDesign"), 1);
    EXPECT_EQ(callsOf("TCloseDesign"), 1);
    expectMainPage();

    // Only the update changed the design.
    EXPECT_EQ(texts(), (std::vector<std::string>{"@1", "@2"}));
    EXPECT_EQ(highlightOf(h.host, "SC1"), 0);
    EXPECT_EQ(highlightOf(h.host, "SC2"), 0);
    EXPECT_EQ(attributeValue(h.host, "SC1", "SH_TYPE"), "0");
    EXPECT_EQ(attributeCount(h.host, "SC2", "SH_TYPE"), 0);
    const std::string after = h.designText();
    EXPECT_NE(after, before);
    EXPECT_EQ(after.find("\"highlight\": 15"), std::string::npos);
    EXPECT_NE(after.find("\"@2\""), std::string::npos);
    EXPECT_EQ(after.find("\"@9\""), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Clicks, CommandFlowGuard, ::testing::ValuesIn(kGuardCases),
                         [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST_F(CommandFlow, ClickDuringDeleteReturnsTheFocusToDelete) {
    duringPass = [&] {
        Command1_Click(run());
        EXPECT_TRUE(run().form.hasFocus("Command6"));
    };
    Command6_Click(run());
    EXPECT_EQ(callsOf("TOpenDesign"), 1);
    EXPECT_TRUE(texts().empty());
    expectMainPage();
}

TEST_F(CommandFlow, ClickDuringAUtilityReturnsTheFocusToTheUtilitiesOk) {
    Command10_Click(run());
    duringPass = [&] {
        Command8_Click(run(), 4);
        EXPECT_TRUE(run().form.hasFocus("Command11"));
        EXPECT_EQ(run().page.FocusButton, 4);
    };
    Command8_Click(run(), 0);
    EXPECT_EQ(callsOf("TOpenDesign"), 1);
    EXPECT_EQ(attributeCount(h.host, "SC2", "SH_TYPE"), 0);
    EXPECT_EQ(highlightOf(h.host, "SC2"), 15);
}

TEST_F(CommandFlow, ClickDuringStatusCountingReturnsTheFocusToTheStatusOk) {
    duringPass = [&] {
        Command1_Click(run());
        EXPECT_TRUE(run().form.hasFocus("Command9"));
        EXPECT_EQ(run().form.at("Command1").caption, "Update");
    };
    Command2_Click(run());
    EXPECT_EQ(callsOf("TOpenDesign"), 1);
    EXPECT_EQ(texts(), (std::vector<std::string>{"@9"}));
    EXPECT_EQ(run().page.ActivePage, 3);
}

// --- Pages -------------------------------------------------------------------

TEST_F(CommandFlow, UtilitiesPageStaysUntilItsOkIsClicked) {
    Command10_Click(run());
    EXPECT_TRUE(calls.empty());
    expectMainButtons(false);
    EXPECT_TRUE(run().form.at("Frame2").visible);
    EXPECT_EQ(run().page.ActivePage, 2);
    EXPECT_TRUE(run().form.hasFocus("Command11"));
    EXPECT_EQ(run().page.FocusButton, 4);

    for (int16_t index : {int16_t{1}, int16_t{0}}) {
        run().form.setFocus("Command8", index);
        Command8_Click(run(), index);
        EXPECT_TRUE(run().form.at("Frame2").visible);
        EXPECT_EQ(run().page.ActivePage, 2);
        EXPECT_TRUE(run().form.hasFocus("Command11"));
        EXPECT_EQ(run().page.FocusButton, 4);
        EXPECT_FALSE(run().connection.DesignOpen);
    }
    EXPECT_EQ(callsOf("TOpenDesign"), 2);
    EXPECT_EQ(run().form.at("Command8", 0).caption, " Highlight \"one row\" ");
    EXPECT_EQ(highlightOf(h.host, "SC1"), 15);
    EXPECT_EQ(highlightOf(h.host, "SC2"), 15);

    Command11_Click(run());
    expectMainPage();
}

TEST_F(CommandFlow, UtilitiesOkClickedWhileAUtilityRunsKeepsTheMainPage) {
    Command10_Click(run());
    duringPass = [&] { Command11_Click(run()); };
    Command8_Click(run(), 0);
    expectMainPage();
    EXPECT_EQ(highlightOf(h.host, "SC2"), 15);
    Command1_Click(run());
    EXPECT_EQ(callsOf("TOpenDesign"), 2);
}

TEST_F(CommandFlow, StatusPageShowsCountsAndOkReturnsToTheMainPage) {
    Command2_Click(run());
    expectMainButtons(false);
    EXPECT_TRUE(run().form.at("Frame3").visible);
    EXPECT_EQ(run().page.ActivePage, 3);
    EXPECT_TRUE(run().form.hasFocus("Command9"));
    EXPECT_EQ(run().page.FocusButton, 3);
    EXPECT_EQ(run().form.at("Text4", 0).caption, " 2");
    EXPECT_EQ(run().form.at("Text4", 2).caption, " 1");
    EXPECT_EQ(run().form.at("Text4", 3).caption, " 1");
    EXPECT_TRUE(h.platform.boxes.empty());

    Command9_Click(run());
    expectMainPage();
}

TEST_F(CommandFlow, StatusOkClickedWhileCountingLeavesTheFocusOnTheMainPage) {
    duringPass = [&] { Command9_Click(run()); };
    Command2_Click(run());
    expectMainPage();
    EXPECT_EQ(run().form.at("Command9").caption, "Ok");
    EXPECT_FALSE(run().connection.DesignOpen);

    // The next visit works as usual.
    Command2_Click(run());
    EXPECT_TRUE(run().form.at("Frame3").visible);
    EXPECT_TRUE(run().form.hasFocus("Command9"));
    EXPECT_EQ(run().page.FocusButton, 3);
    EXPECT_EQ(callsOf("TOpenDesign"), 2);
}

TEST_F(CommandFlow, OkOfAHiddenPageChangesNothing) {
    run().form.setFocus("Command1");
    run().page.FocusButton = 0;
    Command9_Click(run());
    Command11_Click(run());
    EXPECT_TRUE(run().form.hasFocus("Command1"));
    EXPECT_EQ(run().page.FocusButton, 0);
    EXPECT_EQ(run().page.ActivePage, 1);
}

TEST_F(CommandFlow, UtilityIndexOutsideTheArrayStartsNothing) {
    Command10_Click(run());
    for (int16_t index : {int16_t{-1}, int16_t{5}, int16_t{7}})
        Command8_Click(run(), index);
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(h.platform.boxes.empty());
    EXPECT_TRUE(run().form.hasFocus("Command11"));
}

// --- Help and Exit -----------------------------------------------------------

TEST_F(CommandFlow, HelpShowsTheAboutBoxThenFocusesExit) {
    run().form.setFocus("Command4");
    run().page.FocusButton = 0;
    Command4_Click(run());
    ASSERT_EQ(h.platform.boxes.size(), 1u);
    const ShownBox& box = h.platform.boxes[0];
    EXPECT_EQ(box.text,
              "ORLUNE is schematic DBX utility for showing\rsheet and bus connectors in human readable mode\r\r"
              "orlune@example.org");
    EXPECT_EQ(box.title, "ORLUNE version 1.0");
    EXPECT_EQ(box.icon, Icon::None);
    EXPECT_EQ(box.buttons, Buttons::Ok);
    EXPECT_TRUE(run().form.hasFocus("Command3"));
    EXPECT_EQ(run().page.FocusButton, 2);
    EXPECT_TRUE(calls.empty());
}

TEST_F(CommandFlow, ExitEndsTheProgramOnEveryPage) {
    EXPECT_THROW(Command3_Click(run()), ProgramEnded);
    Command10_Click(run());
    EXPECT_THROW(Command3_Click(run()), ProgramEnded);
    Command11_Click(run());
    Command2_Click(run());
    EXPECT_THROW(Command3_Click(run()), ProgramEnded);
    EXPECT_EQ(h.platform.endCount, 3);
    EXPECT_TRUE(h.platform.boxes.empty());
}

TEST_F(CommandFlow, ExitDuringUpdateEndsAtOnceAndSavesNothing) {
    const std::string before = h.designText();
    duringPass = [&] { Command3_Click(run()); };
    EXPECT_THROW(Command1_Click(run()), ProgramEnded);
    EXPECT_EQ(h.platform.endCount, 1);
    EXPECT_EQ(callsOf("TCloseDesign"), 0);
    EXPECT_EQ(h.designText(), before);
}

TEST_F(CommandFlow, FailedOpenEndsTheProgramWithoutRunningThePass) {
    h.host.setDesignFile((h.dir.path() / "missing.json").string());
    EXPECT_THROW(Command1_Click(run()), ProgramEnded);
    ASSERT_EQ(h.platform.boxes.size(), 1u);
    EXPECT_EQ(h.platform.boxes[0].text, "Design connection error");
    EXPECT_EQ(h.platform.boxes[0].title, "Error");
    EXPECT_EQ(callsOf("TGetFirstComponent"), 0);
    EXPECT_EQ(callsOf("TGetFirstLayer"), 0);
}

}  // namespace
}  // namespace orlune::test

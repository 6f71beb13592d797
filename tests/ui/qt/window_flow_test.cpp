// The commands through real clicks on a real small design: captions, pages,
// focus and message boxes as the user meets them.
#include <gtest/gtest.h>

#include <ostream>

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "window_fixture.h"

namespace orlune::test {
namespace {

const char* const kMainButtons[] = {"Command1", "Command2", "Command3", "Command4", "Command6", "Command10"};

class WindowFlow : public ::testing::Test {
protected:
    void SetUp() override {
        f.window->onDbxCall = [this](std::string_view op) {
            calls.emplace_back(op);
            if (op == "TOpenDesign" || op == "TCloseDesign" || !duringPass) return;
            // Once, from inside the first operation of the conversation.
            auto action = std::move(duringPass);
            duringPass = nullptr;
            action();
        };
        f.window->startUp();
        ASSERT_FALSE(f.window->ended());
        ASSERT_TRUE(f.hosted.platform.boxes.empty());
        calls.clear();
    }

    int callsOf(std::string_view op) const { return static_cast<int>(std::count(calls.begin(), calls.end(), op)); }

    void expectMainPage() {
        for (const char* name : kMainButtons)
            EXPECT_FALSE(f.widget(name)->isHidden()) << name;
        EXPECT_TRUE(f.widget("Frame2")->isHidden());
        EXPECT_TRUE(f.widget("Frame3")->isHidden());
        EXPECT_EQ(f.focused(), "Command3");
    }

    WindowFixture f;
    std::vector<std::string> calls;
    std::function<void()> duringPass;
};

TEST_F(WindowFlow, StartUpLeavesTheMainPageAndFillsTheSettings) {
    expectMainPage();
    EXPECT_EQ(f.text("Command3"), "Exit");
    auto* styles = static_cast<QComboBox*>(f.widget("cboTextStyle"));
    ASSERT_EQ(styles->count(), 2);
    EXPECT_EQ(styles->itemText(1), "Small");
    EXPECT_EQ(f.text("cboTextStyle"), "Default");
    EXPECT_EQ(f.text("Text1"), "140");
    EXPECT_EQ(f.text("Text2"), "190");
    EXPECT_EQ(f.text("Text3"), "600");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(f.text("Label6", i), "mil") << i;
}

TEST(WindowStartUp, ShowsWaitOnExitWhileItReadsTheDesign) {
    WindowFixture f;
    QString exitDuringOpen;
    bool exitShown = false;
    f.window->onDbxCall = [&](std::string_view op) {
        if (op != "TOpenDesign") return;
        exitDuringOpen = f.text("Command3");
        exitShown = !f.widget("Command3")->isHidden();
    };
    f.window->startUp();
    EXPECT_EQ(exitDuringOpen, "Wait");
    EXPECT_TRUE(exitShown);
    EXPECT_EQ(f.text("Command3"), "Exit");
}

TEST(WindowStartUp, PaintsTheWindowWithWaitBeforeItOpensTheDesign) {
    struct WaitPaints : QObject {
        int count = 0;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Paint && static_cast<QPushButton*>(watched)->text() == "Wait") ++count;
            return false;
        }
    } paints;
    HostedRun hosted(smallDesign());
    qt::MainWindow window(*hosted.run, hosted.host);
    window.onEnded = [](int) {};
    window.control("Command3")->installEventFilter(&paints);
    int paintsAtOpen = -1;
    window.onDbxCall = [&](std::string_view op) {
        if (op == "TOpenDesign") paintsAtOpen = paints.count;
    };
    window.show();
    window.startUp();  // at once, as a window system that has not shown it yet
    EXPECT_GT(paintsAtOpen, 0);
    EXPECT_FALSE(window.ended());
}

// A KiCad project that KiCad has open cannot keep what the window changes:
// the open is refused in the window's box, with the reason.
TEST(WindowStartUp, AProjectOpenInKicadIsRefusedInTheBox) {
    WindowFixture f;
    const auto sheet = f.hosted.dir.file("p.kicad_sch");
    writeFile(sheet,
              "(kicad_sch (version 20250114) (generator \"eeschema\") (uuid "
              "\"00000000-0000-0000-0000-0000000000aa\") (paper \"A4\"))\n");
    writeFile(f.hosted.dir.file("~p.kicad_sch.lck"), R"({"hostname":"bench","username":"alice"})");
    f.hosted.host.setDesignFile(sheet.string());
    f.window->startUp();
    ASSERT_EQ(f.hosted.platform.boxes.size(), 1u);
    EXPECT_EQ(f.hosted.platform.boxes[0].text.rfind("Design connection error\r\r", 0), 0u);
    EXPECT_NE(f.hosted.platform.boxes[0].text.find("p.kicad_sch is open in KiCad by alice on bench"), std::string::npos)
        << f.hosted.platform.boxes[0].text;
    EXPECT_TRUE(f.window->ended());
    EXPECT_EQ(f.window->exitStatus(), qt::kExitEnded);
}

TEST(WindowStartUp, AFailedOpenEndsTheProgramAfterItsBox) {
    WindowFixture f("{ not a design");
    f.window->startUp();
    ASSERT_EQ(f.hosted.platform.boxes.size(), 1u);
    EXPECT_EQ(f.hosted.platform.boxes[0].text.rfind("Design connection error\r\r", 0), 0u);
    EXPECT_NE(f.hosted.platform.boxes[0].text.find("design.json:1: not JSON"), std::string::npos);
    EXPECT_EQ(f.hosted.platform.boxes[0].title, "Error");
    EXPECT_TRUE(f.window->ended());
    EXPECT_EQ(f.window->exitStatus(), qt::kExitEnded);
    EXPECT_EQ(f.endedWith, qt::kExitEnded);
    // Nothing is handled after the end.
    f.click("Command4");
    EXPECT_EQ(f.hosted.platform.boxes.size(), 1u);
}

TEST_F(WindowFlow, UpdateShowsWaitWhileItRunsThenPlacesTheTextsAndFocusesExit) {
    QString captionDuringPass;
    duringPass = [&] { captionDuringPass = f.text("Command1"); };
    f.click("Command1");
    EXPECT_EQ(captionDuringPass, "Wait");
    EXPECT_EQ(f.text("Command1"), "Update");
    EXPECT_EQ(f.focused(), "Command3");
    const std::string design = f.hosted.designText();
    EXPECT_NE(design.find("\"@2\""), std::string::npos);
    EXPECT_NE(design.find("\"@1\""), std::string::npos);
    EXPECT_TRUE(f.hosted.platform.boxes.empty());
}

TEST_F(WindowFlow, ClicksWhileUpdateHoldsTheDesignStartNothing) {
    duringPass = [&] {
        for (const char* name : {"Command6", "Command10", "Command2", "Command4", "Command1"})
            f.click(name);
        f.clickTab(1);
    };
    f.click("Command1");
    EXPECT_EQ(callsOf("TOpenDesign"), 1);
    EXPECT_EQ(callsOf("TCloseDesign"), 1);
    EXPECT_TRUE(f.hosted.platform.boxes.empty());  // no Help box
    EXPECT_EQ(f.window->tabControl()->currentIndex(), 0);
    expectMainPage();
    // The update ran to its end once.
    EXPECT_NE(f.hosted.designText().find("\"@2\""), std::string::npos);
}

TEST_F(WindowFlow, ARefusedClickDuringUpdateGivesTheFocusBackToUpdate) {
    QString focusAfterRefusal;
    duringPass = [&] {
        f.click("Command6");
        focusAfterRefusal = f.focused();
    };
    f.click("Command1");
    EXPECT_EQ(focusAfterRefusal, "Command1");
}

TEST_F(WindowFlow, ExitDuringAPassEndsTheProgramAndNothingMoreIsHandled) {
    const std::string before = f.hosted.designText();
    duringPass = [&] { f.click("Command3"); };
    f.click("Command1");
    EXPECT_TRUE(f.window->ended());
    EXPECT_EQ(f.endedWith, 0);
    // The pass is abandoned at its next operation; nothing is saved.
    EXPECT_EQ(callsOf("TCloseDesign"), 0);
    EXPECT_EQ(f.hosted.designText(), before);
    f.click("Command4");
    EXPECT_TRUE(f.hosted.platform.boxes.empty());
}

// Real input delivered by the event loop while a pass runs: a timer that
// fires inside the pass clicks as a user would.
TEST_F(WindowFlow, ClicksDeliveredDuringAPassMeetTheBusyGuardAndNothingRunsAfterIt) {
    f.window->eventIntervalMs = 0;
    bool fired = false;
    bool openThen = false;
    QString captionThen;
    QString focusThen;
    QTimer::singleShot(0, f.window.get(), [&] {
        fired = true;
        openThen = f.run().connection.DesignOpen;
        captionThen = f.text("Command1");
        for (const char* name : {"Command6", "Command4", "Command10", "Command2"})
            f.click(name);
        f.clickTab(1);
        focusThen = f.focused();
    });
    f.click("Command1");
    EXPECT_TRUE(fired);
    EXPECT_TRUE(openThen);
    EXPECT_EQ(captionThen, "Wait");
    EXPECT_EQ(focusThen, "Command1");
    QTest::qWait(20);  // anything still queued would run now
    EXPECT_EQ(callsOf("TOpenDesign"), 1);
    EXPECT_TRUE(f.hosted.platform.boxes.empty());
    EXPECT_EQ(f.window->tabControl()->currentIndex(), 0);
    expectMainPage();
    EXPECT_NE(f.hosted.designText().find("\"@2\""), std::string::npos);
}

TEST_F(WindowFlow, InputQueuedLateInAPassIsRefusedWhenThePassEnds) {
    f.click("Command1");
    f.window->eventIntervalMs = 1 << 30;  // no round of events inside the pass
    bool posted = false;
    f.window->onDbxCall = [&](std::string_view op) {
        if (op != "TCloseDesign" || posted) return;
        posted = true;
        QWidget* button = f.widget("Command6");
        const QPointF at = button->rect().center();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QCoreApplication::postEvent(button, new QMouseEvent(type, at, button->mapToGlobal(at), Qt::LeftButton,
                                                                Qt::LeftButton, Qt::NoModifier));
        }
    };
    f.click("Command1");
    QTest::qWait(20);
    EXPECT_TRUE(posted);
    EXPECT_NE(f.hosted.designText().find("\"@2\""), std::string::npos);  // Delete never ran
    EXPECT_EQ(f.focused(), "Command3");
}

TEST_F(WindowFlow, ReturnAndEnterOnAFocusedButtonClickIt) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        f.widget("Command4")->setFocus();
        QTest::keyClick(f.widget("Command4"), key);
    }
    ASSERT_EQ(f.hosted.platform.boxes.size(), 2u);
    EXPECT_EQ(f.hosted.platform.boxes[1].title, "ORLUNE version 1.0");
}

TEST_F(WindowFlow, EnteringTheSettingsTabFocusesItsFirstField) {
    f.clickTab(1);
    EXPECT_EQ(f.focused(), "cboTextStyle");
    f.clickTab(0);
    f.clickTab(1);
    EXPECT_EQ(f.focused(), "cboTextStyle");
}

TEST_F(WindowFlow, DeleteShowsWaitAndRemovesThePlacedTexts) {
    f.click("Command1");
    ASSERT_NE(f.hosted.designText().find("\"@2\""), std::string::npos);
    QString captionDuringPass;
    duringPass = [&] { captionDuringPass = f.text("Command6"); };
    f.click("Command6");
    EXPECT_EQ(captionDuringPass, "Wait");
    EXPECT_EQ(f.text("Command6"), "Delete");
    EXPECT_EQ(f.hosted.designText().find("\"@2\""), std::string::npos);
    EXPECT_EQ(f.focused(), "Command3");
}

TEST_F(WindowFlow, UtilsPageRunsUtilitiesUntilItsOkIsClicked) {
    f.click("Command10");
    EXPECT_FALSE(f.widget("Frame2")->isHidden());
    for (const char* name : kMainButtons)
        EXPECT_TRUE(f.widget(name)->isHidden()) << name;
    EXPECT_EQ(f.focused(), "Command11");

    f.click("Command8", 4);  // adds "SH_TYPE" where it is missing, silently
    EXPECT_TRUE(f.hosted.platform.boxes.empty());
    EXPECT_NE(f.hosted.designText().find("SH_TYPE"), std::string::npos);
    EXPECT_EQ(f.focused(), "Command11");
    f.click("Command8", 4);
    ASSERT_EQ(f.hosted.platform.boxes.size(), 1u);
    EXPECT_EQ(f.hosted.platform.boxes[0].text, "All SHEET conn. already have SH_TYPE attribute");
    EXPECT_EQ(callsOf("TOpenDesign"), 2);
    EXPECT_FALSE(f.widget("Frame2")->isHidden());
    EXPECT_EQ(f.focused(), "Command11");

    f.click("Command11");
    expectMainPage();
}

TEST_F(WindowFlow, StatusPageCountsWithWaitOnItsOkThenReturns) {
    QString okDuringCount;
    duringPass = [&] { okDuringCount = f.text("Command9"); };
    f.click("Command2");
    EXPECT_EQ(okDuringCount, "Wait");
    EXPECT_EQ(f.text("Command9"), "Ok");
    EXPECT_FALSE(f.widget("Frame3")->isHidden());
    // Two one-row connectors, both without "SH_TYPE", no texts yet.
    EXPECT_EQ(f.text("Text4", 0).trimmed(), "2");
    EXPECT_EQ(f.text("Text4", 1).trimmed(), "0");
    EXPECT_EQ(f.text("Text4", 2).trimmed(), "2");
    EXPECT_EQ(f.text("Text4", 3).trimmed(), "0");
    EXPECT_EQ(f.focused(), "Command9");
    f.click("Command9");
    expectMainPage();
}

TEST_F(WindowFlow, HelpShowsItsBoxThenFocusesExit) {
    f.click("Command4");
    ASSERT_EQ(f.hosted.platform.boxes.size(), 1u);
    const ShownBox& box = f.hosted.platform.boxes[0];
    EXPECT_EQ(box.title, "ORLUNE version 1.0");
    EXPECT_EQ(box.icon, Icon::None);
    EXPECT_EQ(box.buttons, Buttons::Ok);
    EXPECT_EQ(box.text.rfind("ORLUNE is schematic DBX utility for showing\r", 0), 0u);
    EXPECT_EQ(f.focused(), "Command3");
}

TEST_F(WindowFlow, ExitAndTheCloseBoxEndTheProgramNormally) {
    f.click("Command3");
    EXPECT_TRUE(f.window->ended());
    EXPECT_EQ(f.endedWith, 0);
    f.click("Command1");  // no further event is handled
    EXPECT_EQ(callsOf("TOpenDesign"), 0);

    WindowFixture other;
    other.window->startUp();
    other.window->close();
    EXPECT_TRUE(other.window->ended());
    EXPECT_EQ(other.endedWith, 0);
}

TEST_F(WindowFlow, AFailedSaveIsReportedOnceInAnErrorBox) {
    f.hosted.host.failSave = [](host::SaveStage stage) { return stage == host::SaveStage::Rename; };
    const std::string before = f.hosted.designText();
    f.click("Command1");
    ASSERT_EQ(f.hosted.platform.boxes.size(), 1u);
    const ShownBox& box = f.hosted.platform.boxes[0];
    EXPECT_EQ(box.title, "Error");
    EXPECT_EQ(box.icon, Icon::Error);
    EXPECT_EQ(box.text.rfind("The design could not be saved: ", 0), 0u);
    EXPECT_GT(box.text.size(), std::string("The design could not be saved: ").size());
    EXPECT_EQ(f.hosted.designText(), before);
    // Commands without a conversation do not repeat it.
    f.click("Command10");
    f.click("Command11");
    EXPECT_EQ(f.hosted.platform.boxes.size(), 1u);
}

// --- Settings tab ----------------------------------------------------------

TEST_F(WindowFlow, SettingsTabOpensAndLeavesWithoutAQuestionWhenNothingChanged) {
    f.clickTab(1);
    EXPECT_EQ(f.window->tabControl()->currentIndex(), 1);
    EXPECT_TRUE(f.widget("Text1")->isVisible());
    f.clickTab(0);
    EXPECT_EQ(f.window->tabControl()->currentIndex(), 0);
    EXPECT_TRUE(f.hosted.platform.boxes.empty());
    expectMainPage();
}

TEST_F(WindowFlow, SettingsTabIsRefusedOverTheUtilsAndStatusPages) {
    f.click("Command10");
    f.clickTab(1);
    EXPECT_EQ(f.window->tabControl()->currentIndex(), 0);
    EXPECT_EQ(f.focused(), "Command11");
    f.click("Command11");
    f.click("Command2");
    f.clickTab(1);
    EXPECT_EQ(f.window->tabControl()->currentIndex(), 0);
    EXPECT_EQ(f.focused(), "Command9");
}

TEST_F(WindowFlow, ChangedDistancesAreStoredWhenTheQuestionIsAnsweredYes) {
    f.clickTab(1);
    QTest::keyClicks(f.widget("Text1"), "5");
    EXPECT_EQ(f.text("Text1"), "1405");
    f.hosted.platform.answers.push_back(Answer::Yes);
    f.clickTab(0);
    ASSERT_EQ(f.hosted.platform.boxes.size(), 1u);
    EXPECT_EQ(f.hosted.platform.boxes[0].title, "Question");
    EXPECT_EQ(f.hosted.platform.boxes[0].text, "Your settings is changed !!!\r   Do you want update ?");
    EXPECT_EQ(f.hosted.platform.boxes[0].buttons, Buttons::YesNo);
    EXPECT_NE(f.hosted.designText().find("\"ORLUNE\""), std::string::npos);
    EXPECT_NE(f.hosted.designText().find("1405"), std::string::npos);
    expectMainPage();
}

TEST_F(WindowFlow, AnsweringNoKeepsTheEditedTextButStoresNothing) {
    f.clickTab(1);
    QTest::keyClicks(f.widget("Text3"), "0");
    f.hosted.platform.answers.push_back(Answer::No);
    f.clickTab(0);
    EXPECT_EQ(f.hosted.platform.boxes.size(), 1u);
    EXPECT_EQ(f.hosted.designText().find("\"ORLUNE\""), std::string::npos);
    f.clickTab(1);
    EXPECT_EQ(f.text("Text3"), "6000");
}

TEST_F(WindowFlow, ChoosingAnotherStyleAsksWhenTheTabIsLeft) {
    f.clickTab(1);
    QWidget* combo = f.widget("cboTextStyle");
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(f.text("cboTextStyle"), "Small");
    EXPECT_EQ(f.run().form.at("cboTextStyle").listIndex, 1);
    f.clickTab(0);
    EXPECT_EQ(f.hosted.platform.boxes.size(), 1u);
}

TEST_F(WindowFlow, TypingIntoTheStyleListMarksTheSettingsChanged) {
    f.clickTab(1);
    auto* combo = static_cast<QComboBox*>(f.widget("cboTextStyle"));
    QTest::keyClicks(combo->lineEdit(), "x");
    EXPECT_EQ(f.run().form.at("cboTextStyle").caption, "Defaultx");
    EXPECT_TRUE(f.run().settings.SettingsChanged);
}

TEST_F(WindowFlow, TheSettingsUpdateButtonStoresAtOnce) {
    f.clickTab(1);
    QTest::keyClicks(f.widget("Text2"), "1");
    f.click("Command5");
    EXPECT_NE(f.hosted.designText().find("1901"), std::string::npos);
    f.clickTab(0);
    EXPECT_TRUE(f.hosted.platform.boxes.empty());
}

TEST_F(WindowFlow, TheSettingsUpdateCannotOpenASecondConversation) {
    f.clickTab(1);
    QTest::keyClicks(f.widget("Text1"), "1");
    static_cast<QComboBox*>(f.widget("cboTextStyle"))->setFocus();
    QTest::keyClick(f.widget("cboTextStyle"), Qt::Key_Down);  // leaving would ask
    f.hosted.platform.answers.push_back(Answer::Yes);
    duringPass = [&] {
        f.click("Command5");
        f.clickTab(0);
    };
    f.click("Command5");
    EXPECT_EQ(callsOf("TOpenDesign"), 1);
    EXPECT_TRUE(f.hosted.platform.boxes.empty());
    EXPECT_EQ(f.window->tabControl()->currentIndex(), 1);
    EXPECT_NE(f.hosted.designText().find("\"ORLUNE\""), std::string::npos);
}

TEST(WindowText, StyleNamesShowTheirOwnCharacters) {
    std::string design = smallDesign();
    design.replace(design.find("\"Small\""), 7, "\"Größe\"");
    WindowFixture f(design);
    f.window->startUp();
    auto* combo = static_cast<QComboBox*>(f.widget("cboTextStyle"));
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->itemText(1), QString::fromUtf8("Größe"));
}

// --- Key filter ------------------------------------------------------------

struct KeyCase {
    const char* typed;
    const char* shown;  // after "140"
    bool marksChanged;
};

void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << "typed \"" << c.typed << "\"";
}

class KeyFilter : public WindowFlow, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyFilter, TypedCharactersPassOnlyWhenTheFilterTakesThem) {
    f.clickTab(1);
    QTest::keyClicks(f.widget("Text1"), GetParam().typed);
    EXPECT_EQ(f.text("Text1").toStdString(), GetParam().shown);
    EXPECT_EQ(f.run().form.at("Text1").caption, GetParam().shown);
    EXPECT_EQ(f.run().settings.SettingsChanged, GetParam().marksChanged);
}

INSTANTIATE_TEST_SUITE_P(Window, KeyFilter,
                         ::testing::Values(KeyCase{"a", "140", false}, KeyCase{"-,_", "140", false},
                                           KeyCase{"7", "1407", true}, KeyCase{".n", "140.n", true},
                                           KeyCase{"x9 ", "1409", true}));

TEST_F(WindowFlow, BackspaceMarksTheSettingsChangedButDeleteDoesNot) {
    f.clickTab(1);
    auto* edit = static_cast<QLineEdit*>(f.widget("Text2"));
    edit->setFocus();
    edit->setCursorPosition(0);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(f.text("Text2"), "90");
    EXPECT_EQ(f.run().form.at("Text2").caption, "90");
    EXPECT_FALSE(f.run().settings.SettingsChanged);
    f.clickTab(0);
    EXPECT_TRUE(f.hosted.platform.boxes.empty());

    f.clickTab(1);
    edit->setFocus();
    edit->setCursorPosition(2);
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(f.text("Text2"), "9");
    EXPECT_TRUE(f.run().settings.SettingsChanged);
}

TEST_F(WindowFlow, KeyboardPasteIsRefused) {
    f.clickTab(1);
    auto* edit = static_cast<QLineEdit*>(f.widget("Text1"));
    edit->setFocus();
    edit->selectAll();
    edit->copy();
    ASSERT_EQ(QGuiApplication::clipboard()->text(), "140");
    edit->setCursorPosition(3);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(f.text("Text1"), "140");
    EXPECT_FALSE(f.run().settings.SettingsChanged);
}

}  // namespace
}  // namespace orlune::test

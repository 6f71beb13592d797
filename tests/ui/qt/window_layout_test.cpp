// The window as it is created: one widget per control, named, placed and
// hinted as the form model says, in the model's tab order.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <map>
#include <vector>

#include "window_fixture.h"

namespace orlune::test {
namespace {

using ui::Control;
using ui::ControlKind;

class WindowLayout : public ::testing::Test {
protected:
    int px(int twips) const { return qRound(twips * f.window->logicalDpiX() / 1440.0); }
    int py(int twips) const { return qRound(twips * f.window->logicalDpiY() / 1440.0); }
    WindowFixture f;
};

const char* expectedClass(ControlKind kind) {
    switch (kind) {
        case ControlKind::TabControl:
            return "QTabWidget";
        case ControlKind::Frame:
            return "QGroupBox";
        case ControlKind::Button:
            return "QPushButton";
        case ControlKind::Label:
            return "QLabel";
        case ControlKind::TextBox:
            return "QLineEdit";
        case ControlKind::ComboBox:
            return "QComboBox";
    }
    return "";
}

TEST_F(WindowLayout, EveryControlHasAWidgetNamedHintedAndPlacedInItsContainer) {
    for (const Control& c : f.run().form.controls()) {
        SCOPED_TRACE(c.name + "(" + std::to_string(c.index) + ")");
        QWidget* w = f.widget(c.name, c.index);
        ASSERT_NE(w, nullptr);
        const QString name = QString::fromStdString(c.name) + (c.index >= 0 ? "_" + QString::number(c.index) : "");
        EXPECT_EQ(w->objectName(), name);
        EXPECT_TRUE(w->inherits(expectedClass(c.kind)));
        EXPECT_EQ(w->toolTip(), QString::fromStdString(c.hint));
        EXPECT_EQ(w->size(), QSize(px(c.width), py(c.height)));
        const QPoint expected(px(c.left), py(c.top));
        if (c.container == "Form1") {
            EXPECT_EQ(w->parentWidget(), f.window.get());
            EXPECT_EQ(w->pos(), expected);
        } else if (c.container == "SSTab1") {
            // Measured from the whole tab control, tab strip included.
            EXPECT_EQ(f.inTabControl(w), expected);
            EXPECT_EQ(w->parentWidget(), f.window->tabControl()->widget(c.tab));
        } else {
            EXPECT_EQ(w->parentWidget(), f.widget(c.container));
            EXPECT_EQ(w->pos(), expected);
        }
    }
}

TEST_F(WindowLayout, CaptionsAndHintsAreTheFormsOwn) {
    // A few spelled out, spaces included, so that a slip in the model shows.
    EXPECT_EQ(f.text("Command8", 0), " Highlight \"one row\" ");
    EXPECT_EQ(f.widget("Command1")->toolTip(), "Update all Sheet and Bus connections ");
    EXPECT_EQ(f.text("Label1", 4), "Too long  texts:");
    EXPECT_EQ(f.text("Frame2"), "U T I L S");
    EXPECT_EQ(f.widget("Label3")->toolTip(), "Distance  from origin on left side");
    EXPECT_TRUE(f.widget("Text1")->toolTip().isEmpty());
    QTabWidget* tabs = f.window->tabControl();
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), "Update");
    EXPECT_EQ(tabs->tabText(1), "Settings");
}

TEST_F(WindowLayout, EachTabHoldsOnlyItsOwnControls) {
    QTabWidget* tabs = f.window->tabControl();
    std::map<int, int> perTab;
    for (const Control& c : f.run().form.controls()) {
        for (int tab = 0; tab < 2; ++tab) {
            if (f.widget(c.name, c.index)->parentWidget() == tabs->widget(tab)) ++perTab[tab];
        }
    }
    EXPECT_EQ(perTab[0], 8);
    EXPECT_EQ(perTab[1], 12);

    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_TRUE(f.widget("Command1")->isVisible());
    EXPECT_FALSE(f.widget("Text1")->isVisible());
    tabs->setCurrentIndex(1);  // before start-up the handlers let any tab show
    EXPECT_FALSE(f.widget("Command1")->isVisible());
    EXPECT_TRUE(f.widget("Text1")->isVisible());
}

TEST_F(WindowLayout, WindowIsFixedCannotBeMaximizedAndTheTabControlIsCutOff) {
    QWidget& w = *f.window;
    EXPECT_EQ(w.windowTitle(), "ORLUNE");
    const QSize client(px(ui::kFormWidth), py(ui::kFormHeight));
    EXPECT_EQ(w.size(), client);
    EXPECT_EQ(w.minimumSize(), client);
    EXPECT_EQ(w.maximumSize(), client);
    const Qt::WindowFlags flags = w.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    // 10 twips wider and 15 higher than the client area.
    const QRect tabs = f.window->tabControl()->geometry();
    EXPECT_EQ(tabs.topLeft(), QPoint(0, 0));
    EXPECT_EQ(tabs.width(), px(2920));
    EXPECT_EQ(tabs.height(), py(3735));
    EXPECT_GE(tabs.width(), client.width());
    EXPECT_GT(tabs.height(), client.height());
    // The icon is drawn for 32 x 32.
    EXPECT_FALSE(w.windowIcon().isNull());
    EXPECT_EQ(w.windowIcon().availableSizes().value(0), QSize(32, 32));
}

TEST_F(WindowLayout, TheUtilityOkSitsWhereExitSits) {
    EXPECT_EQ(QRect(f.inTabControl(f.widget("Command11")), f.widget("Command11")->size()),
              QRect(f.inTabControl(f.widget("Command3")), f.widget("Command3")->size()));
}

TEST_F(WindowLayout, TabOrderFollowsTheModel) {
    std::vector<const Control*> order;
    for (const Control& c : f.run().form.controls())
        order.push_back(&c);
    std::sort(order.begin(), order.end(), [](const Control* a, const Control* b) { return a->tabOrder < b->tabOrder; });
    std::vector<QWidget*> expected;
    for (const Control* c : order) {
        QWidget* w = f.widget(c->name, c->index);
        if (c->kind == ControlKind::TabControl) w = f.window->tabControl()->tabBar();
        if (w->focusPolicy() != Qt::NoFocus) expected.push_back(w);
    }
    ASSERT_EQ(expected.size(), 24u);  // 14 buttons, 8 text boxes, the list and the tab strip

    // Walk the focus chain from the tab strip and keep the controls' widgets.
    std::vector<QWidget*> chain;
    QWidget* start = expected.front();
    QWidget* w = start;
    do {
        if (std::find(expected.begin(), expected.end(), w) != expected.end()) chain.push_back(w);
        w = w->nextInFocusChain();
    } while (w && w != start && chain.size() < 100);
    ASSERT_EQ(chain.size(), expected.size());
    for (size_t i = 0; i < chain.size(); ++i)
        EXPECT_EQ(chain[i], expected[i]) << i;
}

TEST_F(WindowLayout, TabKeyMovesThroughTheSettingsBoxesInOrder) {
    f.window->tabControl()->setCurrentIndex(1);
    f.widget("Text1")->setFocus();
    QTest::keyClick(f.widget("Text1"), Qt::Key_Tab);
    EXPECT_EQ(f.focused(), "Text2");
    QTest::keyClick(f.widget("Text2"), Qt::Key_Tab);
    EXPECT_EQ(f.focused(), "Text3");
}

}  // namespace
}  // namespace orlune::test

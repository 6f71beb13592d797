// The window as it is created: one widget per control, named, placed and
// hinted as the form model says, in the model's tab order.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolTip>
#include <algorithm>
#include <functional>
#include <map>
#include <vector>

#include "window_fixture.h"

namespace orlune::test {
namespace {

using ui::Control;

class WindowLayout : public ::testing::Test {
protected:
    int px(int twips) const { return qRound(twips * f.window->logicalDpiX() / 1440.0); }
    int py(int twips) const { return qRound(twips * f.window->logicalDpiY() / 1440.0); }
    WindowFixture f;
};

// The form as it is laid down, written out here rather than taken from the
// model that builds the window: name, index, class, container, left, top,
// width, height (twips).
const struct Placed {
    const char* name;
    int index;
    const char* cls;
    const char* container;
    int left, top, width, height;
} kPlaced[] = {
    {"SSTab1", -1, "QTabWidget", "Form1", 0, 0, 2920, 3735},
    {"Command1", -1, "QPushButton", "tab0", 480, 600, 855, 495},
    {"Command6", -1, "QPushButton", "tab0", 480, 1200, 855, 495},
    {"Command10", -1, "QPushButton", "tab0", 480, 1800, 855, 495},
    {"Command2", -1, "QPushButton", "tab0", 480, 2400, 855, 495},
    {"Command4", -1, "QPushButton", "tab0", 480, 3000, 855, 495},
    {"Command3", -1, "QPushButton", "tab0", 1800, 1800, 735, 495},
    {"Frame2", -1, "QGroupBox", "tab0", 120, 360, 2655, 3255},
    {"Frame3", -1, "QGroupBox", "tab0", 120, 360, 2655, 3255},
    {"Command8", 0, "QPushButton", "Frame2", 240, 240, 1095, 495},
    {"Command8", 1, "QPushButton", "Frame2", 240, 840, 1095, 495},
    {"Command8", 2, "QPushButton", "Frame2", 240, 1440, 1095, 495},
    {"Command8", 3, "QPushButton", "Frame2", 240, 2040, 1095, 495},
    {"Command8", 4, "QPushButton", "Frame2", 240, 2640, 1095, 495},
    {"Command11", -1, "QPushButton", "Frame2", 1680, 1440, 735, 495},
    {"Label1", 0, "QLabel", "Frame3", 120, 360, 735, 375},
    {"Label1", 1, "QLabel", "Frame3", 120, 840, 735, 375},
    {"Label1", 2, "QLabel", "Frame3", 120, 1440, 735, 375},
    {"Label1", 3, "QLabel", "Frame3", 120, 2040, 735, 375},
    {"Label1", 4, "QLabel", "Frame3", 120, 2640, 735, 375},
    {"Text4", 0, "QLineEdit", "Frame3", 960, 360, 735, 285},
    {"Text4", 1, "QLineEdit", "Frame3", 960, 960, 735, 285},
    {"Text4", 2, "QLineEdit", "Frame3", 960, 1560, 735, 285},
    {"Text4", 3, "QLineEdit", "Frame3", 960, 2160, 735, 285},
    {"Text4", 4, "QLineEdit", "Frame3", 960, 2760, 735, 285},
    {"Command9", -1, "QPushButton", "Frame3", 1920, 1440, 495, 495},
    {"Label2", -1, "QLabel", "tab1", 240, 600, 855, 255},
    {"cboTextStyle", -1, "QComboBox", "tab1", 1080, 600, 1575, 315},
    {"Label3", -1, "QLabel", "tab1", 240, 1200, 855, 375},
    {"Text1", -1, "QLineEdit", "tab1", 1080, 1200, 735, 285},
    {"Label6", 0, "QLabel", "tab1", 2040, 1200, 615, 255},
    {"Label4", -1, "QLabel", "tab1", 240, 1800, 855, 495},
    {"Text2", -1, "QLineEdit", "tab1", 1080, 1800, 735, 315},
    {"Label6", 1, "QLabel", "tab1", 2040, 1800, 495, 255},
    {"Label5", -1, "QLabel", "tab1", 240, 2400, 735, 495},
    {"Text3", -1, "QLineEdit", "tab1", 1080, 2400, 735, 315},
    {"Label6", 2, "QLabel", "tab1", 2040, 2400, 495, 255},
    {"Check1", -1, "QCheckBox", "tab1", 240, 2760, 2415, 255},
    {"Command5", -1, "QPushButton", "tab1", 1080, 3120, 855, 375},
};

TEST_F(WindowLayout, EveryControlIsBuiltNamedAndPlacedAsTheFormLaysItDown) {
    ASSERT_EQ(f.run().form.controls().size(), std::size(kPlaced));
    for (const Placed& c : kPlaced) {
        SCOPED_TRACE(std::string(c.name) + "(" + std::to_string(c.index) + ")");
        QWidget* w = f.widget(c.name, c.index);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->objectName(), QString(c.name) + (c.index >= 0 ? "_" + QString::number(c.index) : ""));
        EXPECT_TRUE(w->inherits(c.cls));
        EXPECT_EQ(w->size(), QSize(px(c.width), py(c.height)));
        const QPoint expected(px(c.left), py(c.top));
        const std::string container = c.container;
        if (container == "Form1") {
            EXPECT_EQ(w->parentWidget(), f.window.get());
            EXPECT_EQ(w->pos(), expected);
        } else if (container == "tab0" || container == "tab1") {
            // Measured from the whole tab control, tab strip included.
            EXPECT_EQ(f.inTabControl(w), expected);
            EXPECT_EQ(w->parentWidget(), f.window->tabControl()->widget(container == "tab0" ? 0 : 1));
        } else {
            EXPECT_EQ(w->parentWidget(), f.widget(container));
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

TEST_F(WindowLayout, CaptionsFitTheirButtonsClearOfTheEdgesAndQuotesStayWhole) {
    const QList<QPushButton*> buttons = f.window->findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 14);
    for (QPushButton* button : buttons) {
        SCOPED_TRACE(button->objectName().toStdString());
        const QFontMetrics metrics = button->fontMetrics();
        const QRect area = qt::captionArea(*button);
        const QStringList lines = qt::captionLines(button->text(), metrics, area.width());
        EXPECT_LE(lines.size() * metrics.lineSpacing(), area.height());
        for (const QString& line : lines) {
            EXPECT_EQ(line.count(QLatin1Char('"')) % 2, 0) << line.toStdString();
            // Clear of the button's frame by more than its own border.
            EXPECT_LE(metrics.horizontalAdvance(line), button->width() - 8) << line.toStdString();
        }
    }
    // Hints speak in the window's face and size.
    EXPECT_EQ(QToolTip::font(), f.window->font());
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
    EXPECT_EQ(perTab[1], 13);

    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_TRUE(f.widget("Command1")->isVisible());
    EXPECT_FALSE(f.widget("Text1")->isVisible());
    tabs->setCurrentIndex(1);  // before start-up the handlers let any tab show
    EXPECT_FALSE(f.widget("Command1")->isVisible());
    EXPECT_TRUE(f.widget("Text1")->isVisible());
}

TEST_F(WindowLayout, WindowIsFixedCannotBeMaximizedAndTheTabControlIsCutOff) {
    QWidget& w = *f.window;
    EXPECT_EQ(w.windowTitle(), "ORLUNE - design.json");  // the design it works on
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

// Tab pressed through each page of the real window, from the tab strip,
// against the order the form lays down (hidden and label controls skipped).
TEST(WindowTabOrder, TabWalksEachPageInTheFormsOrder) {
    WindowFixture f;
    f.window->startUp();
    const struct {
        std::function<void()> open;
        std::vector<QString> order;
    } pages[] = {
        {[] {}, {"SSTab1", "Command3", "Command1", "Command10", "Command4", "Command6", "Command2"}},
        {[&] { f.click("Command10"); },
         {"SSTab1", "Command8_0", "Command8_1", "Command8_2", "Command8_3", "Command8_4", "Command11"}},
        {[&] {
             f.click("Command11");
             f.click("Command2");
         },
         {"SSTab1", "Text4_0", "Text4_1", "Text4_2", "Command9", "Text4_3", "Text4_4"}},
        {[&] {
             f.click("Command9");
             f.clickTab(1);
         },
         {"SSTab1", "cboTextStyle", "Text1", "Text2", "Text3", "Check1", "Command5"}},
    };
    for (const auto& page : pages) {
        page.open();
        SCOPED_TRACE(page.order[1].toStdString());
        f.window->tabControl()->tabBar()->setFocus();
        std::vector<QString> walked;
        for (size_t i = 0; i <= page.order.size(); ++i) {
            walked.push_back(f.focused());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        std::vector<QString> expected = page.order;
        expected.push_back("SSTab1");  // and round again
        EXPECT_EQ(walked, expected);
    }
}

}  // namespace
}  // namespace orlune::test

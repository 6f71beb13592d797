// The real message boxes: icon, title, lines, buttons and the answer, read
// from the modal box while it waits and answered by a click.
#include "ui/qt/qt_platform.h"

#include <gtest/gtest.h>

#include <ostream>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <sstream>

namespace orlune::qt {
namespace {

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QFont font;
};

// Shows one box through the platform and clicks `press` on it.
Answer showAndPress(Platform& platform, std::string_view text, std::string_view title, Icon icon, Buttons buttons,
                    QMessageBox::StandardButton press, SeenBox& seen) {
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        poll.stop();
        seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons(), box->font()};
        QTest::mouseClick(box->button(press), Qt::LeftButton);
    });
    poll.start();
    return platform.messageBox(text, title, icon, buttons);
}

struct IconCase {
    Icon icon;
    QMessageBox::Icon shown;
};

void PrintTo(const IconCase& c, std::ostream* os) {
    *os << "icon " << static_cast<int>(c.icon);
}

TEST(QtPlatform, BoxesSpeakInTheFaceOfTheirWindow) {
    QWidget window;
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPointSizeF(7.0);
    window.setFont(small);
    QtPlatform platform;
    platform.setParent(&window);
    SeenBox seen;
    showAndPress(platform, "text", "Title", Icon::Warning, Buttons::Ok, QMessageBox::Ok, seen);
    EXPECT_EQ(seen.font, small);
}

class QtPlatformIcons : public ::testing::TestWithParam<IconCase> {};

TEST_P(QtPlatformIcons, EachIconShowsItsOwn) {
    QtPlatform platform;
    SeenBox seen;
    EXPECT_EQ(showAndPress(platform, "text", "Title", GetParam().icon, Buttons::Ok, QMessageBox::Ok, seen), Answer::Ok);
    EXPECT_EQ(seen.icon, GetParam().shown);
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

INSTANTIATE_TEST_SUITE_P(Window, QtPlatformIcons,
                         ::testing::Values(IconCase{Icon::None, QMessageBox::NoIcon},
                                           IconCase{Icon::Error, QMessageBox::Critical},
                                           IconCase{Icon::Warning, QMessageBox::Warning},
                                           IconCase{Icon::Information, QMessageBox::Information},
                                           IconCase{Icon::Question, QMessageBox::Question}));

TEST(QtPlatform, LinesSeparatedByCarriageReturnsShowAsLines) {
    QtPlatform platform;
    SeenBox seen;
    showAndPress(platform, "Allowed width is too short\r    for numbers placing\r\r(more rows)", "Warning",
                 Icon::Warning, Buttons::Ok, QMessageBox::Ok, seen);
    EXPECT_EQ(seen.title, "Warning");
    EXPECT_EQ(seen.text, "Allowed width is too short\n    for numbers placing\n\n(more rows)");
}

TEST(QtPlatform, QuestionsAnswerWithTheButtonPressed) {
    QtPlatform platform;
    SeenBox seen;
    EXPECT_EQ(showAndPress(platform, "q", "Question", Icon::Question, Buttons::YesNo, QMessageBox::Yes, seen),
              Answer::Yes);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(showAndPress(platform, "q", "Question", Icon::Question, Buttons::YesNo, QMessageBox::No, seen),
              Answer::No);
}

TEST(QtPlatform, TextsOfTheRunAndOfTheHostBothShowTheirCharacters) {
    // Windows-1252 from a DBX field, and UTF-8 from the host's reasons.
    EXPECT_EQ(fromRunText("Gr\xf6\xdf"
                          "e"),
              QString::fromUtf8("Größe"));
    EXPECT_EQ(fromRunText("/tmp/Größe.json"), QString::fromUtf8("/tmp/Größe.json"));
    EXPECT_EQ(toRunText(QString::fromUtf8("Größe")),
              "Gr\xf6\xdf"
              "e");
}

TEST(StreamPlatform, WritesTitleAndLinesAndNeverWaits) {
    std::ostringstream out;
    StreamPlatform platform(out);
    EXPECT_EQ(platform.messageBox("a\rb", "Warning", Icon::Warning, Buttons::Ok), Answer::Ok);
    EXPECT_EQ(platform.messageBox("Store?", "Question", Icon::Question, Buttons::YesNo), Answer::No);
    EXPECT_EQ(out.str(), "Warning: a\nb\nQuestion: Store?\n");
}

}  // namespace
}  // namespace orlune::qt

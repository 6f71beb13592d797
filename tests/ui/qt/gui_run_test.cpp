// The window's entry as the command line calls it, in screenshot mode.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "ui/qt/gui.h"
#include "window_fixture.h"

namespace orlune::test {
namespace {

// Runs the window as the command line does; an empty picture opens it for a person.
int runScreenshot(const std::string& design, const std::string& picture, const std::string& page) {
    std::vector<char> name{'o', 'r', 'l', 'u', 'n', 'e', '\0'};
    char* argv[] = {name.data(), nullptr};
    int argc = 1;
    qt::GuiOptions options;
    options.designPath = design;
    options.screenshotFile = picture;
    options.page = page;
    return qt::runGui(argc, argv, options);
}

class GuiScreenshot : public ::testing::TestWithParam<const char*> {};

TEST_P(GuiScreenshot, WritesAPictureOfTheWholeWindow) {
    TempDir dir;
    writeFile(dir.file("design.json"), smallDesign());
    const std::string picture = dir.file("window.png").string();
    ASSERT_EQ(runScreenshot(dir.file("design.json").string(), picture, GetParam()), 0);
    QImage image;
    ASSERT_TRUE(image.load(QString::fromStdString(picture)));
    EXPECT_GT(image.width(), 150);
    EXPECT_GT(image.height(), 200);
    // Start-up does not change the design.
    EXPECT_EQ(readFile(dir.file("design.json")), smallDesign());
}

INSTANTIATE_TEST_SUITE_P(Pages, GuiScreenshot, ::testing::Values("main", "utils", "status", "settings"));

TEST(GuiRun, ScreenshotOfADesignThatCannotBeOpenedEndsWithStatus3) {
    TempDir dir;
    const std::string picture = dir.file("window.png").string();
    testing::internal::CaptureStderr();
    const int status = runScreenshot(dir.file("missing.json").string(), picture, "main");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 3);
    EXPECT_NE(err.find("Error: Design connection error"), std::string::npos) << err;
    EXPECT_NE(err.find("missing.json"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(picture));
}

TEST(GuiRun, APictureThatCannotBeWrittenEndsWithStatus3) {
    TempDir dir;
    writeFile(dir.file("design.json"), smallDesign());
    testing::internal::CaptureStderr();
    const int status = runScreenshot(dir.file("design.json").string(), dir.file("no/such/w.png").string(), "main");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 3);
    EXPECT_NE(err.find("Error: cannot write the picture"), std::string::npos) << err;
}

TEST(GuiRun, AScreenshotWhoseStartUpCannotSaveEndsWithStatus3) {
    // Start-up deletes the unusable settings attribute; the save fails.
    std::string design = smallDesign();
    design.replace(design.find("\"attributes\": []\n}"), 17,
                   R"("attributes": [ { "name": "ORLUNE", "value": "1_140" } ])");
    TempDir dir;
    writeFile(dir.file("design.json"), design);
    const std::string picture = dir.file("w.png").string();
    std::vector<char> name{'o', 'r', 'l', 'u', 'n', 'e', '\0'};
    char* argv[] = {name.data(), nullptr};
    int argc = 1;
    qt::GuiOptions options;
    options.designPath = dir.file("design.json").string();
    options.screenshotFile = picture;
    options.page = "status";
    options.prepareHost = [](host::Host& h) { h.failSave = [](host::SaveStage) { return true; }; };
    testing::internal::CaptureStderr();
    const int status = qt::runGui(argc, argv, options);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 3);
    EXPECT_NE(err.find("Error: The design could not be saved: "), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(picture));
    EXPECT_EQ(readFile(dir.file("design.json")), design);
}

TEST(GuiRun, UnknownPageIsAUsageError) {
    TempDir dir;
    writeFile(dir.file("design.json"), smallDesign());
    testing::internal::CaptureStderr();
    EXPECT_EQ(runScreenshot(dir.file("design.json").string(), dir.file("w.png").string(), "about"), 2);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("about"), std::string::npos);
}

// Answers whatever the running window asks: accepts each message box (noting
// its text) and clicks Exit once the main page shows.
class Operator {
public:
    Operator() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { step(); });
        timer_.start();
    }
    std::vector<std::string> boxes;
    bool clickedExit = false;

private:
    void step() {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxes.push_back(box->text().toStdString());
            box->accept();
            return;
        }
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* exit = top->findChild<QPushButton*>(QStringLiteral("Command3"));
            if (top->objectName() == "Form1" && exit && exit->isVisible() && exit->text() == "Exit") {
                clickedExit = true;
                QTest::mouseClick(exit, Qt::LeftButton);
                return;
            }
        }
    }
    QTimer timer_;
};

TEST(GuiRun, TheWindowRunsStartUpAndExitEndsItWithStatus0) {
    TempDir dir;
    writeFile(dir.file("design.json"), smallDesign());
    Operator user;
    EXPECT_EQ(runScreenshot(dir.file("design.json").string(), "", "main"), 0);
    EXPECT_TRUE(user.clickedExit);
    EXPECT_TRUE(user.boxes.empty());
}

TEST(GuiRun, TheWindowShowsTheOpenErrorThenEndsWithStatus3) {
    TempDir dir;
    Operator user;
    testing::internal::CaptureStderr();
    EXPECT_EQ(runScreenshot(dir.file("missing.json").string(), "", "main"), 3);
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(user.boxes.size(), 1u);
    // The box says why, not only standard error.
    EXPECT_EQ(user.boxes[0].rfind("Design connection error\n\n", 0), 0u);
    EXPECT_NE(user.boxes[0].find("missing.json: cannot be read"), std::string::npos);
    EXPECT_FALSE(user.clickedExit);
    EXPECT_NE(err.find("missing.json"), std::string::npos) << err;
}

}  // namespace
}  // namespace orlune::test

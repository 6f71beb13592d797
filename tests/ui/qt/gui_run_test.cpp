// The window's entry as the command line calls it, in screenshot mode.
#include <gtest/gtest.h>

#include <QImage>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "ui/qt/gui.h"
#include "window_fixture.h"

namespace orlune::test {
namespace {

int runScreenshot(const std::string& design, const std::string& picture, const std::string& page) {
    std::vector<char> name{'o', 'r', 'l', 'u', 'n', 'e', '\0'};
    char* argv[] = {name.data(), nullptr};
    int argc = 1;
    return qt::runGui(argc, argv, qt::GuiOptions{design, picture, page});
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

TEST(GuiRun, UnknownPageIsAUsageError) {
    TempDir dir;
    writeFile(dir.file("design.json"), smallDesign());
    testing::internal::CaptureStderr();
    EXPECT_EQ(runScreenshot(dir.file("design.json").string(), dir.file("w.png").string(), "about"), 2);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("about"), std::string::npos);
}

}  // namespace
}  // namespace orlune::test

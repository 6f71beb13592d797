// The window's tests: one QApplication on a headless platform, fixed locale.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>
#include <clocale>

int main(int argc, char** argv) {
    // Test discovery runs this program at build time, outside ctest's
    // environment: without a platform it would need a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(QLocale::c());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

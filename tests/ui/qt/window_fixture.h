// A window on a small design of its own, with message boxes recorded.
#pragma once

#include <QPoint>
#include <QString>
#include <memory>
#include <string>
#include <string_view>

#include "support/test_support.h"
#include "ui/qt/main_window.h"

class QWidget;

namespace orlune::test {

// Two sheets, two connectors on one net, two text styles, unit mil.
std::string smallDesign();

class WindowFixture {
public:
    explicit WindowFixture(std::string_view designJson = smallDesign());
    ~WindowFixture();

    Run& run() { return *hosted.run; }
    QWidget* widget(std::string_view name, int index = -1) const;
    QString text(std::string_view name, int index = -1) const;

    // The widget's position in the coordinates of the tab control.
    QPoint inTabControl(const QWidget* w) const;

    void click(std::string_view name, int index = -1);
    void clickTab(int tab);
    // The widget that holds the focus within the window.
    QString focused() const;

    HostedRun hosted;
    std::unique_ptr<qt::MainWindow> window;
    int endedWith = -1;
    bool active = false;  // the window became the active one (focus checks need it)
};

}  // namespace orlune::test

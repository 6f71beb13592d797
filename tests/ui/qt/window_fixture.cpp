#include "window_fixture.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

namespace orlune::test {

std::string smallDesign() {
    return R"({
  "format": "orlune-design", "version": 1, "units": 1, "workspace": [25400000, 17780000],
  "textStyles": [ { "number": 0, "name": "Default", "height": 228600, "charWidth": 152400 },
                  { "number": 1, "name": "Small", "height": 127000, "charWidth": 76200 } ],
  "sheets": [ { "id": 1, "name": "Main" }, { "id": 2, "name": "Power" } ],
  "nets": [ { "id": 1, "name": "VBAT" } ],
  "components": [
    { "refDes": "SC1", "type": "SH_CONN", "kind": 2, "attributes": [],
      "pins": [ { "x": 1000000, "y": 500000, "sheet": 1, "net": 1 } ],
      "symbol": { "sheet": 1, "x": 1000000, "y": 500000, "flipped": false } },
    { "refDes": "SC2", "type": "SH_CONN", "kind": 2,
      "pins": [ { "x": 2000000, "y": 500000, "sheet": 2, "net": 1 } ],
      "symbol": { "sheet": 2, "x": 2000000, "y": 500000, "flipped": true, "selected": true } }
  ],
  "items": [], "attributes": []
}
)";
}

WindowFixture::WindowFixture(std::string_view designJson) : hosted(designJson) {
    window = std::make_unique<qt::MainWindow>(*hosted.run, hosted.host);
    window->onEnded = [this](int status) { endedWith = status; };
    window->show();
    window->activateWindow();
    active = QTest::qWaitForWindowActive(window.get());
}

WindowFixture::~WindowFixture() {
    window.reset();
}

QWidget* WindowFixture::widget(std::string_view name, int index) const {
    return window->control(name, index);
}

QString WindowFixture::text(std::string_view name, int index) const {
    QWidget* w = widget(name, index);
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
    if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->currentText();
    if (auto* frame = qobject_cast<QGroupBox*>(w)) return frame->title();
    return {};
}

QPoint WindowFixture::inTabControl(const QWidget* w) const {
    return w->mapTo(window->tabControl(), QPoint(0, 0));
}

void WindowFixture::click(std::string_view name, int index) {
    QTest::mouseClick(widget(name, index), Qt::LeftButton);
}

void WindowFixture::clickTab(int tab) {
    QTabBar* bar = window->tabControl()->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
}

QString WindowFixture::focused() const {
    QWidget* f = window->focusWidget();
    if (f == window->tabControl()->tabBar()) return QStringLiteral("SSTab1");
    return f ? f->objectName() : QString();
}

}  // namespace orlune::test

#include "ui/qt/gui.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QStyleFactory>
#include <QTimer>
#include <algorithm>
#include <iostream>
#include <memory>
#include <vector>

#include "host/host.h"
#include "run/run.h"
#include "settings/settings_page.h"
#include "ui/command_flow.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_platform.h"

namespace orlune::qt {

namespace {

bool knownPage(const std::string& page) {
    return page == "main" || page == "utils" || page == "status" || page == "settings";
}

// Without a platform named, the toolkit needs an X11 or Wayland display.
bool displayAvailable() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

void centre(QWidget& window) {
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    window.move(area.center() - QPoint(window.width() / 2, window.height() / 2));
}

// When start-up or a page ended the program because the design could not be
// opened, the host knows why; the box alone does not say.
void printOpenReason(const host::Host& host) {
    if (!host.lastOpenError().empty()) std::cerr << host.lastOpenError() << '\n';
}

// What a window manager would draw: the title above the window.
QPixmap underTitle(const QPixmap& content, const QString& title, const QFont& font) {
    const QFontMetrics metrics(font);
    const int bar = metrics.height() + 8;
    QPixmap framed(content.width() + 2, content.height() + bar + 1);
    framed.fill(QColor(0x40, 0x40, 0x40));
    QPainter painter(&framed);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(6, 0, framed.width() - 12, bar), Qt::AlignVCenter | Qt::AlignLeft, title);
    painter.drawPixmap(1, bar, content);
    return framed;
}

// The window under its title, and beside it each box written from `first` on.
QPixmap withBoxes(MainWindow& window, const std::vector<StreamPlatform::Box>& boxes, std::size_t first) {
    QFont titleFont = window.font();
    titleFont.setBold(true);
    std::vector<QPixmap> parts{underTitle(window.grab(), window.windowTitle(), titleFont)};
    for (std::size_t k = first; k < boxes.size(); ++k) {
        QMessageBox box(toQtIcon(boxes[k].icon), fromRunText(boxes[k].title), boxText(boxes[k].text), QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.setFont(window.font());
        box.show();
        QCoreApplication::processEvents();
        parts.push_back(underTitle(box.grab(), box.windowTitle(), titleFont));
        box.hide();
    }
    constexpr int kGap = 12;
    int width = 0;
    int height = 0;
    for (const QPixmap& part : parts) {
        width += part.width() + kGap;
        height = std::max(height, part.height());
    }
    QPixmap picture(width + kGap, height + 2 * kGap);
    picture.fill(QColor(0xD8, 0xD8, 0xD8));
    QPainter painter(&picture);
    int x = kGap;
    for (const QPixmap& part : parts) {
        painter.drawPixmap(x, kGap, part);
        x += part.width() + kGap;
    }
    return picture;
}

int takeScreenshot(MainWindow& window, host::Host& host, Run& run, StreamPlatform& boxes, const GuiOptions& options) {
    // The window reports a failed save in its box and goes on; a run from
    // the command line ends there, as every other command does. Only the
    // start-up and the status page hold a conversation, one each.
    auto saveFailed = [&host] { return !host.lastSaveError().empty(); };
    window.startUp();
    const std::size_t firstBox = boxes.written.size();
    if (!options.pass.empty() && !window.ended() && !saveFailed()) {
        if (options.pass == "update") {
            window.click("Command1");
        } else if (options.pass == "delete") {
            window.click("Command6");
        } else {
            window.click("Command10");
            window.click("Command8", 4);
            window.click("Command11");
        }
    }
    if (!window.ended() && !saveFailed()) {
        if (options.page == "utils") {
            window.forward([&run] { Command10_Click(run); });
        } else if (options.page == "status") {
            window.forward([&run] { Command2_Click(run); });
        } else if (options.page == "settings") {
            window.forward([&run] { Select_Tab(run, 1); });
        }
    }
    if (window.ended()) return window.exitStatus();  // its box said why
    if (saveFailed()) return kExitEnded;
    QCoreApplication::processEvents();
    const QPixmap picture = options.pass.empty() ? window.grab() : withBoxes(window, boxes.written, firstBox);
    if (!picture.save(QString::fromStdString(options.screenshotFile), "PNG")) {
        // Status 1 says that an update pass ended early; a file that cannot
        // be written ends the program as an unwritable design does.
        std::cerr << "Error: cannot write the picture " << options.screenshotFile << '\n';
        return kExitEnded;
    }
    return 0;
}

}  // namespace

int runGui(int& argc, char** argv, const GuiOptions& options) {
    if (!options.pass.empty() && options.pass != "update" && options.pass != "delete" &&
        options.pass != "add-attribute") {
        std::cerr << "orlune: unknown pass \"" << options.pass << "\" (update, delete or add-attribute)\n";
        return 2;
    }
    if (!options.screenshotFile.empty() && !knownPage(options.page)) {
        std::cerr << "orlune: unknown page \"" << options.page << "\" (main, utils, status or settings)\n";
        return 2;
    }
    // A screenshot needs no display; it must not flash a window on one either.
    if (!options.screenshotFile.empty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    std::unique_ptr<QApplication> ownApp;
    if (!QApplication::instance() && !displayAvailable()) {
        // The toolkit would abort the process; say what is missing instead.
        std::cerr << "Error: there is no display to open the window on (set DISPLAY, or use --screenshot FILE)\n";
        return 2;
    }
    if (!QApplication::instance()) {
        ownApp = std::make_unique<QApplication>(argc, argv);
        // One look on every desktop, so that the fixed layout fits its captions.
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    }

    host::Host host;
    host.setDesignFile(options.designPath);
    if (options.prepareHost) options.prepareHost(host);
    host::HostBinding binding(host);

    QtPlatform windowPlatform;
    StreamPlatform streamPlatform(std::cerr);
    const bool screenshot = !options.screenshotFile.empty();
    Platform& platform = screenshot ? static_cast<Platform&>(streamPlatform) : windowPlatform;
    Run run(platform);
    MainWindow window(run, host);
    windowPlatform.setParent(&window);
    centre(window);
    window.show();

    if (screenshot) return takeScreenshot(window, host, run, streamPlatform, options);

    // Start-up runs from the event loop, once the window is on the screen.
    window.onEnded = [](int status) { QCoreApplication::exit(status); };
    QTimer::singleShot(0, &window, [&window] { window.startUp(); });
    const int status = QApplication::exec();
    if (window.ended() && window.exitStatus() != 0) printOpenReason(host);
    return window.ended() ? window.exitStatus() : status;
}

}  // namespace orlune::qt

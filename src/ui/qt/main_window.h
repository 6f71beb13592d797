// The window Form1: one widget per control of the form model. It only shows
// the model and forwards the user's events to the handlers; every decision
// is taken by the handlers over the model.
//
// The passes run synchronously on this (the GUI) thread and stay free of the
// toolkit. The window keeps alive through them from the host's call hook:
// every DBX operation of a command that holds the design may process the
// pending events (at most every few milliseconds), so the window repaints,
// shows "Wait" and a busy pointer, and a click reaches the handlers' busy
// guard at once instead of running after the command. Exit meanwhile ends
// the program at the next operation: the command is abandoned, nothing saved.
#pragma once

#include <QElapsedTimer>
#include <QRect>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ui/window_feedback.h"

class QFontMetrics;
class QKeyEvent;
class QPushButton;
class QTabWidget;

namespace orlune {
struct Run;
namespace host {
class Host;
}
}  // namespace orlune

namespace orlune::qt {

// Exit status when the program ends other than by Exit or the close box: the
// design could not be opened, or it has too many sheets.
inline constexpr int kExitEnded = 3;

// Where a command button draws its caption, and the caption's lines there:
// broken at spaces outside double quotes, as few lines as fit the width.
QRect captionArea(const QPushButton& button);
QStringList captionLines(const QString& caption, const QFontMetrics& metrics, int width);

class MainWindow : public QWidget {
public:
    MainWindow(Run& run, host::Host& host, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up (Form_Load), with the window already shown.
    void startUp();

    // Runs one handler as an event of the window: ending the program is
    // caught here, then the model is shown and a failed save is reported.
    // `endStatus` is the exit status if the handler ends the program.
    void forward(const std::function<void()>& handler, int endStatus = kExitEnded);

    // Copies the model into the widgets.
    void sync();

    // A click on a control of the model, as a person's click arrives.
    void click(const std::string& name, int index = -1) { onClicked(name, index); }

    // The widget of a control of the model; null when there is none.
    QWidget* control(std::string_view name, int index = -1) const;
    QTabWidget* tabControl() const { return tabs_; }

    // Pixels for a length in twips, through the screen's logical resolution.
    int toPixelsX(int twips) const;
    int toPixelsY(int twips) const;

    bool ended() const { return ended_; }
    int exitStatus() const { return exitStatus_; }

    // Called once when the program ends; by default it leaves the event loop
    // with the exit status.
    std::function<void(int status)> onEnded;

    // Runs at the start of every DBX operation (the host's call hook belongs
    // to the window, which counts the conversations' closes through it).
    std::function<void(std::string_view operation)> onDbxCall;

    // Least time between two rounds of event processing inside a command.
    int eventIntervalMs = 40;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct Key {
        std::string name;
        int index;
        bool operator<(const Key& other) const { return name != other.name ? name < other.name : index < other.index; }
    };

    void build();
    void placeControls();
    void setTabOrder();
    void connectEvents();
    void syncControl(const Key& key, QWidget* widget);
    void onClicked(const std::string& name, int index);
    bool onTextKey(const std::string& name, QKeyEvent* event);
    void onFocusChanged(QWidget* now);
    void noteSaveResult();
    void reportSaveErrors();
    void end(int status);
    void keepAlive();
    void refuseQueuedInput();
    void reportNews();

    Run& run_;
    host::Host& host_;
    QTabWidget* tabs_ = nullptr;
    QWidget* pages_[2] = {nullptr, nullptr};
    std::map<Key, QWidget*> widgets_;
    std::map<QWidget*, Key> keys_;
    bool ended_ = false;
    int exitStatus_ = 0;
    int depth_ = 0;
    bool syncing_ = false;
    // A conversation was closed and its save result is not read yet; the
    // reasons of failed saves wait to be shown when the event ends.
    bool closePending_ = false;
    std::vector<std::string> saveErrors_;
    std::function<void(std::string_view)> previousOnCall_;
    std::vector<QMetaObject::Connection> connections_;
    // Processing events from inside a command: not again from a nested call.
    bool pumping_ = false;
    // The current event held the design; input queued meanwhile is refused.
    bool heldDesign_ = false;
    bool draining_ = false;
    bool busyPointer_ = false;
    bool appeared_ = false;  // the window was given its time to appear
    QElapsedTimer sincePump_;
    // The host's warnings and writes are told after start-up and passes.
    ui::WindowFeedback feedback_;
    enum class News { None, StartUp, Pass } news_ = News::None;
};

}  // namespace orlune::qt

// The window Form1: one widget per control of the form model. It only shows
// the model and forwards the user's events to the handlers; every decision
// is taken by the handlers over the model.
//
// The passes run synchronously on this (the GUI) thread and the window
// processes no input while one runs: there is no processEvents() inside a
// pass, and the message boxes that a pass shows are modal. Before a pass
// starts, the handler asks for a refresh, which repaints the window at once so
// that its "Wait" caption is visible. A click that reaches a handler while a
// command holds the design anyway (a nested event loop, a test) meets the
// handlers' busy guard, so no second command starts.
#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QKeyEvent;
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
};

}  // namespace orlune::qt

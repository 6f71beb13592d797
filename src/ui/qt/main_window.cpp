#include "ui/qt/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTabBar>
#include <QTabWidget>
#include <QThread>
#include <QToolTip>
#include <QWindow>
#include <algorithm>
#include <stdexcept>
#include <utility>

#include "host/cp1252.h"
#include "host/host.h"
#include "run/page_state.h"
#include "run/run.h"
#include "settings/settings_page.h"
#include "settings/startup.h"
#include "ui/command_flow.h"
#include "ui/qt/app_icon.h"
#include "ui/qt/qt_platform.h"

namespace orlune::qt {

namespace {

using ui::Control;
using ui::ControlKind;

// How long start-up waits for the window system to show the window.
constexpr int kExposeWaitMs = 2000;

// Captions of the tab control's two tabs.
const char* const kTabCaptions[] = {"Update", "Settings"};

// A command button whose caption wraps onto several lines when it is wider
// than the button, as the form's narrow buttons need. Return and Enter click
// it as Space does.
class WrapButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const QString caption = option.text;
        option.text.clear();
        painter.drawControl(QStyle::CE_PushButton, option);
        const QRect area = captionArea(*this);
        const QStringList lines = captionLines(caption, fontMetrics(), area.width());
        painter.drawItemText(area, Qt::AlignCenter | Qt::TextShowMnemonic, option.palette, isEnabled(),
                             lines.join(QLatin1Char('\n')), QPalette::ButtonText);
    }

    void keyPressEvent(QKeyEvent* event) override {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
            !(event->modifiers() & ~Qt::KeypadModifier)) {
            click();
            return;
        }
        QPushButton::keyPressEvent(event);
    }
};

// A frame as the form draws it: an etched border whose top line carries the
// caption, so that the frame's controls may start just below the caption.
class FrameBox : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        const int lineY = metrics.height() / 2;
        const QRect border = rect().adjusted(0, lineY, -2, -2);
        const QString caption = title();
        const int gapStart = 6;
        const int gapEnd = caption.isEmpty() ? gapStart : gapStart + metrics.horizontalAdvance(caption) + 4;
        for (const auto& [role, shift] : {std::pair{QPalette::Mid, 0}, std::pair{QPalette::Light, 1}}) {
            painter.setPen(palette().color(role));
            const QRect r = border.translated(shift, shift);
            painter.drawLine(r.left(), r.top(), gapStart, r.top());
            painter.drawLine(gapEnd, r.top(), r.right(), r.top());
            painter.drawLine(r.left(), r.top(), r.left(), r.bottom());
            painter.drawLine(r.right(), r.top(), r.right(), r.bottom());
            painter.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
        }
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        painter.drawText(QRect(gapStart + 2, 0, gapEnd - gapStart, metrics.height()), Qt::AlignCenter, caption);
    }
};

QString fromModel(const std::string& text) {
    return QString::fromStdString(host::fromCp1252(text));
}

QString objectNameOf(const Control& c) {
    QString name = QString::fromStdString(c.name);
    if (c.index >= 0) name += QLatin1Char('_') + QString::number(c.index);
    return name;
}

// The character that a key press types, as the key-press handlers take it
// (a Windows-1252 code, control characters included), or -1 for a key that
// types nothing and is left to the text box (moving, Delete, Tab).
int characterCode(const QKeyEvent& event) {
    const int key = event.key();
    const Qt::KeyboardModifiers mods = event.modifiers() & ~Qt::KeypadModifier;
    switch (key) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Delete:
            return -1;
        case Qt::Key_Backspace:
            return (mods & Qt::ControlModifier) ? 127 : 8;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Escape:
            return 27;
        default:
            break;
    }
    // Keyboard paste in every form carries the paste character, so that the
    // filter can refuse it.
    if (event.matches(QKeySequence::Paste)) return 22;
    if ((mods & Qt::ControlModifier) && !(mods & (Qt::AltModifier | Qt::MetaModifier)) && key >= Qt::Key_A &&
        key <= Qt::Key_Z) {
        return key - Qt::Key_A + 1;
    }
    const QList<uint> chars = event.text().toUcs4();
    if (chars.isEmpty()) return -1;
    const uint cp = chars.front();
    if (cp == 127) return -1;
    if (cp < 128) return static_cast<int>(cp);
    const int byte = host::cp1252Byte(static_cast<char32_t>(cp));
    return byte >= 0 ? byte : '?';
}

using ClickHandler = void (*)(Run&);

ClickHandler clickHandler(const std::string& name) {
    static const std::pair<const char*, ClickHandler> kHandlers[] = {
        {"Command1", Command1_Click}, {"Command2", Command2_Click},   {"Command3", Command3_Click},
        {"Command4", Command4_Click}, {"Command5", Command5_Click},   {"Command6", Command6_Click},
        {"Command9", Command9_Click}, {"Command10", Command10_Click}, {"Command11", Command11_Click},
    };
    for (const auto& [n, handler] : kHandlers) {
        if (name == n) return handler;
    }
    return nullptr;
}

using KeyHandler = void (*)(Run&, int16_t&);

KeyHandler keyHandler(const std::string& name) {
    if (name == "Text1") return Text1_KeyPress;
    if (name == "Text2") return Text2_KeyPress;
    if (name == "Text3") return Text3_KeyPress;
    return nullptr;
}

}  // namespace

QRect captionArea(const QPushButton& button) {
    QStyleOptionButton option;
    option.initFrom(&button);
    const QRect contents = button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button);
    // The caption keeps clear of the button's edges by about a character.
    const int margin = std::max(3, button.fontMetrics().averageCharWidth());
    return contents.adjusted(margin, 0, -margin, 0);
}

QStringList captionLines(const QString& caption, const QFontMetrics& metrics, int width) {
    // Words are separated by spaces outside double quotes: a quoted name
    // stays on one line.
    QStringList words;
    QString word;
    bool quoted = false;
    for (const QChar c : caption) {
        if (c == QLatin1Char('"')) quoted = !quoted;
        if (c == QLatin1Char(' ') && !quoted) {
            if (!word.isEmpty()) words.push_back(std::exchange(word, QString()));
            continue;
        }
        word += c;
    }
    if (!word.isEmpty()) words.push_back(word);
    QStringList lines;
    for (const QString& w : words) {
        if (!lines.isEmpty()) {
            const QString longer = lines.back() + QLatin1Char(' ') + w;
            if (metrics.horizontalAdvance(longer) <= width) {
                lines.back() = longer;
                continue;
            }
        }
        lines.push_back(w);
    }
    return lines;
}

MainWindow::MainWindow(Run& run, host::Host& host, QWidget* parent) : QWidget(parent), run_(run), host_(host) {
    onEnded = [](int status) { QCoreApplication::exit(status); };
    previousOnCall_ = host_.onCall;
    host_.onCall = [this](std::string_view operation) {
        noteSaveResult();
        if (operation == "TCloseDesign") closePending_ = true;
        if (previousOnCall_) previousOnCall_(operation);
        if (onDbxCall) onDbxCall(operation);
        keepAlive();
    };
    run_.connection.OpenFailureReason = [this] { return host_.lastOpenError(); };
    run_.form.title = ui::Window_Title(host_.designFile());
    ui::Limit_Utilities(run_, host_.cannotHighlight());
    build();
    setTabOrder();
    connectEvents();
    run_.form.onRefresh = [this] {
        sync();
        // Start-up refreshes before it opens the design, which may wait for
        // another run: a window not yet on the screen would stay black that
        // long, so it is first given the time to appear (input waits). Once:
        // a minimized window is not kept waiting for.
        QElapsedTimer waited;
        waited.start();
        while (!appeared_ && isVisible() && windowHandle() && !windowHandle()->isExposed() &&
               waited.elapsed() < kExposeWaitMs) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
            QThread::msleep(5);
        }
        if (isVisible()) appeared_ = true;
        repaint();  // paints at once: "Wait" shows before the pass starts
    };
    sync();
}

MainWindow::~MainWindow() {
    // The children outlive this object's own part; while they go, they must
    // reach neither the handlers nor this window.
    ended_ = true;
    for (const QMetaObject::Connection& connection : connections_)
        QObject::disconnect(connection);
    for (QWidget* page : pages_)
        page->removeEventFilter(this);
    for (const auto& [widget, key] : keys_)
        widget->removeEventFilter(this);
    run_.form.onRefresh = nullptr;
    run_.connection.OpenFailureReason = nullptr;
    host_.onCall = previousOnCall_;
}

int MainWindow::toPixelsX(int twips) const {
    return qRound(twips * logicalDpiX() / 1440.0);
}
int MainWindow::toPixelsY(int twips) const {
    return qRound(twips * logicalDpiY() / 1440.0);
}

void MainWindow::build() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("ORLUNE"));
    setWindowIcon(appIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // A small sans-serif face lets every caption fit the form's fixed sizes.
    QFont face(QStringLiteral("DejaVu Sans"));
    face.setPointSizeF(7.0);
    setFont(face);
    // Hints and message boxes speak in the window's own face and size.
    QToolTip::setFont(face);
    setFixedSize(toPixelsX(ui::kFormWidth), toPixelsY(ui::kFormHeight));

    for (const Control& c : run_.form.controls()) {
        QWidget* widget = nullptr;
        if (c.kind == ControlKind::TabControl) {
            tabs_ = new QTabWidget(this);
            for (int tab = 0; tab < 2; ++tab) {
                pages_[tab] = new QWidget;
                pages_[tab]->setObjectName(QStringLiteral("SSTab1_tab%1").arg(tab));
                pages_[tab]->installEventFilter(this);
                tabs_->addTab(pages_[tab], QString::fromLatin1(kTabCaptions[tab]));
            }
            tabs_->setGeometry(toPixelsX(c.left), toPixelsY(c.top), toPixelsX(c.width), toPixelsY(c.height));
            tabs_->setCurrentIndex(0);
            widget = tabs_;
        } else {
            QWidget* container = nullptr;
            if (c.container == "SSTab1") {
                if (!tabs_ || c.tab < 0 || c.tab > 1) throw std::logic_error("control outside a tab: " + c.name);
                container = pages_[c.tab];
            } else {
                container = control(c.container);
                if (!container) throw std::logic_error("container not built before " + c.name);
            }
            switch (c.kind) {
                case ControlKind::Frame:
                    widget = new FrameBox(container);
                    break;
                case ControlKind::Button:
                    widget = new WrapButton(container);
                    break;
                case ControlKind::Label: {
                    auto* label = new QLabel(container);
                    label->setTextFormat(Qt::PlainText);
                    label->setWordWrap(true);
                    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                    widget = label;
                    break;
                }
                case ControlKind::TextBox: {
                    auto* edit = new QLineEdit(container);
                    // Input methods would bypass the key filter.
                    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
                    widget = edit;
                    break;
                }
                case ControlKind::ComboBox: {
                    auto* combo = new QComboBox(container);
                    combo->setEditable(true);
                    combo->setInsertPolicy(QComboBox::NoInsert);
                    combo->setCompleter(nullptr);
                    widget = combo;
                    break;
                }
                case ControlKind::CheckBox:
                    widget = new QCheckBox(container);
                    break;
                case ControlKind::TabControl:
                    break;
            }
            if (c.container != "SSTab1") {
                widget->setGeometry(toPixelsX(c.left), toPixelsY(c.top), toPixelsX(c.width), toPixelsY(c.height));
            }
        }
        widget->setObjectName(objectNameOf(c));
        if (!c.hint.empty()) widget->setToolTip(fromModel(c.hint));
        const Key key{c.name, c.index};
        widgets_[key] = widget;
        keys_[widget] = key;
    }
    placeControls();
}

// The controls of a tab are measured from the whole tab control, tab strip
// included; the page that holds them starts below the strip. Only the shown
// page is laid out, and every page takes its place, so the shown one gives
// the offset for both.
void MainWindow::placeControls() {
    const QPoint offset = tabs_->currentWidget()->mapTo(tabs_, QPoint(0, 0));
    for (const auto& [widget, key] : keys_) {
        if (widget->parentWidget() != pages_[0] && widget->parentWidget() != pages_[1]) continue;
        const Control& c = run_.form.at(key.name, key.index);
        widget->setGeometry(toPixelsX(c.left) - offset.x(), toPixelsY(c.top) - offset.y(), toPixelsX(c.width),
                            toPixelsY(c.height));
    }
}

void MainWindow::setTabOrder() {
    std::vector<const Control*> order;
    for (const Control& c : run_.form.controls())
        order.push_back(&c);
    std::sort(order.begin(), order.end(), [](const Control* a, const Control* b) { return a->tabOrder < b->tabOrder; });
    QWidget* previous = nullptr;
    for (const Control* c : order) {
        QWidget* widget = control(c->name, c->index);
        if (widget == tabs_) widget = tabs_->tabBar();
        if (widget->focusPolicy() == Qt::NoFocus) continue;
        if (previous) QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

void MainWindow::connectEvents() {
    for (const auto& [key, widget] : widgets_) {
        const std::string name = key.name;
        const int index = key.index;
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            connections_.push_back(
                connect(button, &QPushButton::clicked, this, [this, name, index] { onClicked(name, index); }));
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            if (keyHandler(name)) edit->installEventFilter(this);
            // Every change the user makes reaches the model, also those that
            // type no character (Delete, the context menu).
            connections_.push_back(
                connect(edit, &QLineEdit::textEdited, this, [this, name, index](const QString& text) {
                    forward([this, &name, index, &text] { run_.form.at(name, index).caption = toRunText(text); });
                }));
        } else if (auto* box = qobject_cast<QCheckBox*>(widget)) {
            connections_.push_back(connect(box, &QCheckBox::toggled, this, [this, name, index](bool checked) {
                forward([this, &name, index, checked] {
                    run_.form.at(name, index).checked = checked;
                    Check1_Click(run_);
                });
            }));
        } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            connections_.push_back(
                connect(combo, &QComboBox::activated, this, [this, name, index, combo](int position) {
                    forward([this, &name, index, combo, position] {
                        Control& c = run_.form.at(name, index);
                        c.listIndex = position;
                        c.caption = toRunText(combo->itemText(position));
                    });
                }));
            connections_.push_back(
                connect(combo->lineEdit(), &QLineEdit::textEdited, this, [this, name, index](const QString& text) {
                    forward([this, &name, index, &text] {
                        run_.form.at(name, index).caption = toRunText(text);
                        cboTextStyle_Change(run_);
                    });
                }));
        }
    }
    connections_.push_back(connect(tabs_, &QTabWidget::currentChanged, this, [this](int tab) {
        if (tab == run_.form.selectedTab) return;
        if (draining_) {
            forward([this] { Restore_Focus(run_); });
            return;
        }
        // Leaving the settings page may store the settings; not while the
        // page's own Update holds the design. Nor does a tab change during
        // start-up, before the settings are loaded.
        if (run_.connection.DesignOpen && (run_.page.ActivePage == kPageSettings || !run_.settings.SettingsLoaded)) {
            sync();
            return;
        }
        forward([this, tab] { Select_Tab(run_, tab); });
    }));
    connections_.push_back(
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { onFocusChanged(now); }));
}

QWidget* MainWindow::control(std::string_view name, int index) const {
    const auto it = widgets_.find(Key{std::string(name), index});
    return it == widgets_.end() ? nullptr : it->second;
}

void MainWindow::startUp() {
    news_ = News::StartUp;
    forward([this] { Form_Load(run_); });
}

void MainWindow::forward(const std::function<void()>& handler, int endStatus) {
    if (ended_) return;
    bool endsProgram = false;
    ++depth_;
    try {
        handler();
    } catch (const ProgramEnded&) {
        endsProgram = true;
    }
    --depth_;
    if (depth_ == 0) {
        if (std::exchange(heldDesign_, false) && !ended_ && !endsProgram) refuseQueuedInput();
        if (busyPointer_) {
            QApplication::restoreOverrideCursor();
            busyPointer_ = false;
        }
    }
    if (ended_) return;  // a nested event ended the program
    if (!endsProgram) sync();
    if (depth_ == 0) reportSaveErrors();
    if (depth_ == 0 && !endsProgram && !ended_) reportNews();
    if (endsProgram) end(endStatus);
}

void MainWindow::keepAlive() {
    if (pumping_ || draining_ || depth_ == 0 || !run_.connection.DesignOpen) return;
    // Exit was clicked meanwhile: the command is abandoned here. Its
    // conversation is never closed, so nothing of it is saved.
    if (ended_) throw ProgramEnded();
    heldDesign_ = true;
    if (sincePump_.isValid() && sincePump_.elapsed() < eventIntervalMs) return;
    if (!busyPointer_) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        busyPointer_ = true;
    }
    pumping_ = true;
    sync();
    QCoreApplication::processEvents();
    pumping_ = false;
    sincePump_.start();
    if (ended_) throw ProgramEnded();
}

// Input that arrived while the command held the design, after the last round
// inside it (during its save, say), was meant for a busy window: it meets the
// busy guard instead of starting a command now.
void MainWindow::refuseQueuedInput() {
    draining_ = true;
    QCoreApplication::processEvents();
    draining_ = false;
}

void MainWindow::noteSaveResult() {
    if (!closePending_) return;
    closePending_ = false;
    if (!host_.lastSaveError().empty()) saveErrors_.push_back(host_.lastSaveError());
}

void MainWindow::reportSaveErrors() {
    noteSaveResult();
    std::vector<std::string> errors;
    errors.swap(saveErrors_);
    for (const std::string& reason : errors) {
        try {
            run_.platform.messageBox("The design could not be saved: " + reason, "Error", Icon::Error, Buttons::Ok);
        } catch (const ProgramEnded&) {
            end(kExitEnded);
            return;
        }
    }
}

void MainWindow::reportNews() {
    const News news = std::exchange(news_, News::None);
    if (news == News::None) return;
    ui::HostNews said{host_.warnings(), host_.writtenFiles().size(), host_.wording().afterWrite};
    host_.forgetWrittenFiles();
    if (news == News::StartUp) {
        feedback_.afterStartUp(said);
        return;
    }
    try {
        feedback_.afterPass(run_, said);
    } catch (const ProgramEnded&) {
        end(kExitEnded);
    }
}

void MainWindow::end(int status) {
    if (ended_) return;
    ended_ = true;
    exitStatus_ = status;
    if (onEnded) onEnded(status);
}

void MainWindow::onClicked(const std::string& name, int index) {
    // The buttons without a busy guard of their own (Exit and the two Ok)
    // act at once; every other one is refused as a busy window refuses it.
    if (draining_ && name != "Command3" && name != "Command9" && name != "Command11") {
        forward([this] { Restore_Focus(run_); });
        return;
    }
    if (name == "Command8") {
        news_ = News::Pass;
        forward([this, index] { Command8_Click(run_, static_cast<int16_t>(index)); });
        return;
    }
    // The settings page's Update has no busy guard of its own; it must not
    // open a second conversation inside a running one (the page is only
    // left for another command, which the tab control refuses meanwhile).
    if (name == "Command5" && run_.connection.DesignOpen) return;
    const ClickHandler handler = clickHandler(name);
    if (!handler) return;
    // The passes that change the design: the host's news follow them.
    if (name == "Command1" || name == "Command6" || name == "Command5") news_ = News::Pass;
    // Exit ends the program as the user asked: a normal end.
    forward([this, handler] { handler(run_); }, name == "Command3" ? 0 : kExitEnded);
}

bool MainWindow::onTextKey(const std::string& name, QKeyEvent* event) {
    const int code = characterCode(*event);
    if (code < 0) return false;
    if (ended_) return true;
    const KeyHandler handler = keyHandler(name);
    auto key = static_cast<int16_t>(code);
    forward([this, handler, &key] { handler(run_, key); });
    if (key == 0) return true;
    if (key != code) {
        // The handler typed another character in place of this one.
        auto* edit = static_cast<QLineEdit*>(control(name));
        edit->insert(fromModel(std::string(1, static_cast<char>(key))));
        run_.form.at(name).caption = toRunText(edit->text());
        return true;
    }
    return false;
}

void MainWindow::onFocusChanged(QWidget* now) {
    // Only the user moves the focus here; while the window shows the model or
    // a handler runs, the model decides.
    if (syncing_ || depth_ > 0 || ended_ || !now || now->window() != this) return;
    for (QWidget* w = now; w && w != this; w = w->parentWidget()) {
        const auto it = keys_.find(w);
        if (it == keys_.end()) continue;
        const Control& c = run_.form.at(it->second.name, it->second.index);
        if (!run_.form.hasFocus(c.name, c.index)) run_.form.setFocus(c.name, c.index);
        return;
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if ((event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
        (watched == pages_[0] || watched == pages_[1])) {
        placeControls();
        return false;
    }
    if (event->type() == QEvent::KeyPress) {
        const auto it = keys_.find(qobject_cast<QWidget*>(watched));
        if (it != keys_.end() && keyHandler(it->second.name)) {
            return onTextKey(it->second.name, static_cast<QKeyEvent*>(event));
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The close box is Exit: the program ends, nothing is saved.
    if (!ended_) forward([this] { Command3_Click(run_); }, 0);
    event->accept();
}

void MainWindow::syncControl(const Key& key, QWidget* widget) {
    const Control& c = run_.form.at(key.name, key.index);
    if (widget->isHidden() == c.visible) widget->setVisible(c.visible);
    if (widget->isEnabled() != c.enabled) widget->setEnabled(c.enabled);
    if (const QString hint = fromModel(c.hint); widget->toolTip() != hint) widget->setToolTip(hint);
    const QString caption = fromModel(c.caption);
    switch (c.kind) {
        case ControlKind::TabControl:
            break;
        case ControlKind::Frame: {
            auto* frame = static_cast<QGroupBox*>(widget);
            if (frame->title() != caption) frame->setTitle(caption);
            break;
        }
        case ControlKind::Button: {
            auto* button = static_cast<QPushButton*>(widget);
            QString text = caption;
            text.replace(QLatin1Char('&'), QLatin1String("&&"));
            if (button->text() != text) button->setText(text);
            break;
        }
        case ControlKind::Label: {
            auto* label = static_cast<QLabel*>(widget);
            if (label->text() != caption) label->setText(caption);
            break;
        }
        case ControlKind::TextBox: {
            auto* edit = static_cast<QLineEdit*>(widget);
            // Setting an equal text would move the cursor of a box in use.
            if (edit->text() != caption) edit->setText(caption);
            break;
        }
        case ControlKind::ComboBox: {
            auto* combo = static_cast<QComboBox*>(widget);
            bool same = combo->count() == static_cast<int>(c.items.size());
            for (int i = 0; same && i < combo->count(); ++i) {
                const auto& [text, itemData] = c.items[static_cast<size_t>(i)];
                same = combo->itemText(i) == fromModel(text) && combo->itemData(i).toInt() == itemData;
            }
            if (!same) {
                combo->clear();
                for (const auto& [text, itemData] : c.items)
                    combo->addItem(fromModel(text), itemData);
            }
            const int position = c.listIndex < combo->count() ? c.listIndex : -1;
            if (combo->currentIndex() != position) combo->setCurrentIndex(position);
            if (combo->currentText() != caption) combo->setEditText(caption);
            break;
        }
        case ControlKind::CheckBox: {
            auto* box = static_cast<QCheckBox*>(widget);
            if (box->text() != caption) box->setText(caption);
            if (box->isChecked() != c.checked) box->setChecked(c.checked);
            break;
        }
    }
}

void MainWindow::sync() {
    syncing_ = true;
    // The design's path is UTF-8, as the file system names it.
    if (const QString title = QString::fromStdString(run_.form.title); windowTitle() != title) setWindowTitle(title);
    for (const auto& [key, widget] : widgets_) {
        const QSignalBlocker blocker(widget);
        syncControl(key, widget);
    }
    {
        const QSignalBlocker blocker(tabs_);
        if (tabs_->currentIndex() != run_.form.selectedTab) tabs_->setCurrentIndex(run_.form.selectedTab);
    }
    QWidget* focus = control(run_.form.focusName(), run_.form.focusIndex());
    if (focus == tabs_) focus = tabs_->tabBar();
    if (focus && focusWidget() != focus && !(focus->focusProxy() && focusWidget() == focus->focusProxy())) {
        focus->setFocus(Qt::OtherFocusReason);
    }
    syncing_ = false;
}

}  // namespace orlune::qt

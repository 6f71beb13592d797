// The platform of the window: modal Qt message boxes, and a non-blocking one
// that writes its boxes to a stream (screenshots, where nobody answers).
#pragma once

#include <QMessageBox>
#include <QString>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "dbx/platform.h"

class QWidget;

namespace orlune::qt {

// Texts of the run are Windows-1252 (they come from DBX fields); the host's
// own reasons are UTF-8. Valid UTF-8 is taken as such, anything else as
// Windows-1252, so both kinds show correctly.
QString fromRunText(std::string_view text);

// The Qt icon of a box.
QMessageBox::Icon toQtIcon(Icon icon);
// A text typed into the window, as the run keeps it (Windows-1252).
std::string toRunText(const QString& text);

// A box text with its lines separated by "\r" alone, as lines of the toolkit.
QString boxText(std::string_view text);

class QtPlatform : public Platform {
public:
    // Boxes are centred on `parent` (the main window, once it exists).
    void setParent(QWidget* parent) { parent_ = parent; }
    Answer messageBox(std::string_view text, std::string_view title, Icon icon, Buttons buttons) override;

private:
    QWidget* parent_ = nullptr;
};

// Writes each box as "TITLE: TEXT" (one line per text line) and answers No
// to questions, so that nothing waits for a person.
class StreamPlatform : public Platform {
public:
    explicit StreamPlatform(std::ostream& out) : out_(out) {}
    Answer messageBox(std::string_view text, std::string_view title, Icon icon, Buttons buttons) override;

    // Every box written, so that a screenshot can show them too.
    struct Box {
        std::string title;
        std::string text;
        Icon icon = Icon::None;
    };
    std::vector<Box> written;

private:
    std::ostream& out_;
};

}  // namespace orlune::qt

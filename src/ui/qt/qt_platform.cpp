#include "ui/qt/qt_platform.h"

#include <QMessageBox>
#include <QStringDecoder>
#include <ostream>

#include "host/cp1252.h"

namespace orlune::qt {

QMessageBox::Icon toQtIcon(Icon icon) {
    switch (icon) {
        case Icon::Error:
            return QMessageBox::Critical;
        case Icon::Warning:
            return QMessageBox::Warning;
        case Icon::Information:
            return QMessageBox::Information;
        case Icon::Question:
            return QMessageBox::Question;
        case Icon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QString fromRunText(std::string_view text) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    if (!utf8.hasError()) return decoded;
    return QString::fromStdString(host::fromCp1252(text));
}

std::string toRunText(const QString& text) {
    return host::toCp1252(text.toStdString());
}

QString boxText(std::string_view text) {
    QString s = fromRunText(text);
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

Answer QtPlatform::messageBox(std::string_view text, std::string_view title, Icon icon, Buttons buttons) {
    const QMessageBox::StandardButtons qtButtons = buttons == Buttons::YesNo
                                                       ? (QMessageBox::Yes | QMessageBox::No)
                                                       : QMessageBox::StandardButtons(QMessageBox::Ok);
    QMessageBox box(toQtIcon(icon), fromRunText(title), boxText(text), qtButtons, parent_);
    box.setTextFormat(Qt::PlainText);
    if (parent_) box.setFont(parent_->font());  // the window's face and size
    if (buttons == Buttons::YesNo) box.setDefaultButton(QMessageBox::Yes);
    const int result = box.exec();
    if (buttons == Buttons::Ok) return Answer::Ok;
    return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

Answer StreamPlatform::messageBox(std::string_view text, std::string_view title, Icon icon, Buttons buttons) {
    written.push_back({std::string(title), std::string(text), icon});
    std::string line(title);
    line += ": ";
    for (char c : text)
        line += c == '\r' ? '\n' : c;
    out_ << line << '\n' << std::flush;
    return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
}

}  // namespace orlune::qt

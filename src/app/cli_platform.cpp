#include "app/cli_platform.h"

#include <ostream>

#include "app/escape.h"

namespace orlune::app {

std::string formatBox(std::string_view title, std::string_view text) {
    // A box's text may quote a field of a record (Windows-1252) and a name
    // of the design: its own line breaks stay, every other control character
    // is written out as in every other output.
    const std::string utf8 = asUtf8(text);
    const std::string_view body = utf8;
    std::string line;
    line.reserve(title.size() + text.size() + 3);
    if (!title.empty()) {
        line.append(escapeText(asUtf8(title)));
        line.append(": ");
    }
    std::size_t from = 0;
    for (std::size_t i = 0; i <= body.size(); ++i) {
        if (i < body.size() && body[i] != '\r') continue;
        line.append(escapeText(body.substr(from, i - from)));
        if (i == body.size()) break;
        line.push_back('\n');
        if (i + 1 < body.size() && body[i + 1] == '\n') ++i;
        from = i + 1;
    }
    line.push_back('\n');
    return line;
}

Answer CliPlatform::messageBox(std::string_view text, std::string_view title, Icon icon, Buttons buttons) {
    if (icon == Icon::Warning) ++warnings_;
    lastTitle_ = std::string(title);
    lastText_ = std::string(text);
    err_ << formatBox(title, text) << std::flush;
    // Nobody is there to answer: a question must not change anything.
    return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
}

}  // namespace orlune::app

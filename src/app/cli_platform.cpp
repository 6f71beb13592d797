#include "app/cli_platform.h"

#include <ostream>

namespace orlune::app {

std::string formatBox(std::string_view title, std::string_view text) {
    std::string line;
    line.reserve(title.size() + text.size() + 3);
    if (!title.empty()) {
        line.append(title);
        line.append(": ");
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            line.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line.push_back(text[i]);
        }
    }
    line.push_back('\n');
    return line;
}

Answer CliPlatform::messageBox(std::string_view text, std::string_view title, Icon, Buttons buttons) {
    lastTitle_ = std::string(title);
    lastText_ = std::string(text);
    err_ << formatBox(title, text) << std::flush;
    // Nobody is there to answer: a question must not change anything.
    return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
}

}  // namespace orlune::app

// The platform of the command line: message boxes go to standard error,
// questions are answered No, and ending the program ends the design's run.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

#include "dbx/platform.h"

namespace orlune::app {

// "TITLE: TEXT" with every carriage return (alone or before a line feed)
// turned into a line break, and a final line break.
std::string formatBox(std::string_view title, std::string_view text);

class CliPlatform : public Platform {
public:
    explicit CliPlatform(std::ostream& err) : err_(err) {}

    Answer messageBox(std::string_view text, std::string_view title, Icon icon, Buttons buttons) override;

    // The box written last, so that the launcher can tell why the program ended.
    const std::string& lastTitle() const { return lastTitle_; }
    const std::string& lastText() const { return lastText_; }
    // How many warning boxes were written, for the command's summary.
    std::size_t warnings() const { return warnings_; }

private:
    std::ostream& err_;
    std::string lastTitle_;
    std::string lastText_;
    std::size_t warnings_ = 0;
};

}  // namespace orlune::app

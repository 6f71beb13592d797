// What the procedures need from the platform they run on: modal message
// boxes and ending the program. The window, the command line and the tests
// each provide their own.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace orlune {

enum class Icon { None, Error, Warning, Information, Question };
enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No };

// Carries "the program ends" out of a run; whoever started the run catches it.
class ProgramEnded : public std::exception {
public:
    const char* what() const noexcept override { return "the program ended"; }
};

class Platform {
public:
    virtual ~Platform() = default;

    // Shows a modal box and waits for its answer. Lines of `text` are
    // separated by a carriage return alone.
    virtual Answer messageBox(std::string_view text, std::string_view title, Icon icon, Buttons buttons) = 0;

    // Ends the program at once; never returns. The default throws ProgramEnded.
    [[noreturn]] virtual void endProgram();
};

}  // namespace orlune

// What the window tells beyond its controls: the design in its title, the
// utilities the design's storage cannot serve, and after a pass one box with
// the warnings not shown yet and, once, what the user must do to see a
// change (reload the schematic in its editor). Plain logic over the control
// model and the platform; the Qt window gathers the host's news and shows it.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace orlune {
struct Run;
}

namespace orlune::ui {

// "ORLUNE - NAME" where NAME is the file name of the design's path.
std::string Window_Title(std::string_view designPath);

// The highlight and invert utilities disabled, each with `reason` as its
// hint, where the storage keeps no highlight or selection (empty: it does).
void Limit_Utilities(Run& run, const std::string& reason);

// What the host says after an event of the window.
struct HostNews {
    std::vector<std::string> warnings;  // of the last read and save, each line once or more
    std::size_t filesWritten = 0;       // by the saves of this event
    std::string afterWrite;             // what to do once a file changed; empty: nothing
};

class WindowFeedback {
public:
    // Start-up's warnings wait for the box after the first pass.
    void afterStartUp(const HostNews& news);
    // After a pass: one "Warning" box with every warning not shown yet and,
    // the first time files were written where the storage asks for it, the
    // reminder; the reminder alone is an information box.
    void afterPass(Run& run, const HostNews& news);

private:
    void note(const HostNews& news);

    std::set<std::string> seen_;
    std::vector<std::string> pending_;
    bool reminded_ = false;
};

}  // namespace orlune::ui

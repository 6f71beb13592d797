// The window on a design: start-up, then the user's clicks until Exit.
#pragma once

#include <functional>
#include <string>

namespace orlune::host {
class Host;
}

namespace orlune::qt {

struct GuiOptions {
    std::string designPath;
    std::string screenshotFile;  // non-empty: run start-up, show `page`, write a PNG, end
    std::string page = "main";   // main, utils, status or settings
    // With a screenshot: after start-up, this pass (update, delete or
    // add-attribute) as its button's click; the picture then shows the
    // window under its title with the boxes the pass ended with beside it.
    std::string pass;
    // Test hook: prepares the design's host before start-up (for example to
    // make its saves fail).
    std::function<void(host::Host&)> prepareHost;
};

// Runs the window and answers the process exit status. Creates the
// QApplication itself from argc/argv.
int runGui(int& argc, char** argv, const GuiOptions& options);

}  // namespace orlune::qt

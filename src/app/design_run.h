// One design's run on the command line: a host of its own serving the file,
// the command-line platform, and the run that the window would hold.
#pragma once

#include <functional>
#include <iosfwd>
#include <set>
#include <string>

#include "app/cli_platform.h"
#include "host/host.h"
#include "run/run.h"

namespace orlune::app {

// Exit statuses of the command line.
inline constexpr int kExitOk = 0;
inline constexpr int kExitPassEndedEarly = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitEnded = 3;
inline constexpr int kExitDiffers = 4;

// Test hook: when set, prepares each design's host before its first
// conversation (for example to make its saves fail).
extern std::function<void(host::Host&)> prepareHostForTests;

class DesignRun {
public:
    DesignRun(const std::string& path, std::ostream& err);
    DesignRun(const DesignRun&) = delete;
    DesignRun& operator=(const DesignRun&) = delete;

    // Runs one step (start-up, or one click) unless the program has ended.
    // Afterwards reports an ended program (with the host's reason when the
    // design could not be opened) and a save that failed, which also ends
    // the run. Answers whether the run goes on.
    bool step(const std::function<void(Run&)>& action);

    bool ended() const { return ended_; }
    // kExitOk, or kExitEnded once the program has ended.
    int status() const { return ended_ ? kExitEnded : kExitOk; }

    // The warnings written so far: the host's and the warning boxes.
    std::size_t warnings() const { return warned_.size() + platform_.warnings(); }

    Run& run() { return run_; }
    host::Host& host() { return host_; }

private:
    void reportSaveFailure();

    std::ostream& err_;
    std::string path_;
    host::Host host_;
    host::HostBinding binding_{host_};
    CliPlatform platform_;
    Run run_{platform_};
    bool ended_ = false;
    std::set<std::string> warned_;  // each warning once, also those a save adds
};

}  // namespace orlune::app

#include "app/design_run.h"

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <ostream>

#include "app/escape.h"
#include "host/host_impl.h"

namespace orlune::app {

namespace {

bool isOpenFailure(const CliPlatform& platform) {
    return platform.lastTitle() == "Error" &&
           (platform.lastText() == "Design connection error" || platform.lastText() == "Incompatible DBX version");
}

// With ORLUNE_TRACE_START set, the first DBX call of the process writes the
// wall-clock moment it happened, so that a benchmark can measure the start-up
// from the moment it started the process.
void traceFirstCall(host::Host& host) {
    static bool wanted = std::getenv("ORLUNE_TRACE_START") != nullptr;
    if (!wanted) return;
    host.onCall = [](std::string_view) {
        if (!wanted) return;
        wanted = false;
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        std::fprintf(stderr, "orlune: first DBX call at %lld ns\n",
                     static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    };
}

}  // namespace

std::function<void(host::Host&)> prepareHostForTests;

DesignRun::DesignRun(const std::string& path, std::ostream& err) : err_(err), path_(path), platform_(err) {
    host_.setDesignFile(path);
    // One command is one run: its conversations (start-up, then the pass)
    // hold the design from the first to the end, so that no other run
    // comes in between them.
    host_.holdDesign(true);
    traceFirstCall(host_);
    if (prepareHostForTests) prepareHostForTests(host_);
}

bool DesignRun::step(const std::function<void(Run&)>& action) {
    if (ended_) return false;
    try {
        action(run_);
    } catch (const ProgramEnded&) {
        ended_ = true;
        if (isOpenFailure(platform_) && !host_.lastOpenError().empty())
            err_ << escapeText(host_.lastOpenError()) << '\n';
    } catch (const std::exception& e) {
        // Not a condition of the procedures: say so rather than pass it off as a result.
        ended_ = true;
        err_ << "orlune: " << escapeText(path_) << ": internal error: " << escapeText(e.what()) << '\n';
    }
    reportSaveFailure();
    // Each once, after the step that read the design or saved it (looked at
    // in place: handing it out would cost the next conversation its indexes).
    for (const std::string& w : host_.warnings())
        if (warned_.insert(w).second) err_ << "warning: " << escapeText(path_) << ": " << escapeText(w) << '\n';
    return !ended_;
}

void DesignRun::reportSaveFailure() {
    // Every step holds at most one conversation, so looking after each step
    // sees every failed save.
    const std::string& reason = host_.lastSaveError();
    if (reason.empty()) return;
    err_ << "Error: the design could not be saved: " << escapeText(reason) << '\n';
    ended_ = true;
}

}  // namespace orlune::app

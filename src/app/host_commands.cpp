// The commands that act as the editor would, on the host's side: they
// change the design file directly, outside any conversation.
#include <ostream>

#include "app/commands.h"
#include "app/design_run.h"
#include "host/host.h"

namespace orlune::app {

namespace {

int report(int32_t status, const std::string& reason, std::ostream& err) {
    switch (status) {
        case host::kOk:
            return kExitOk;
        case host::kNotFound:  // named what the design lacks; nothing was changed
            err << "orlune: " << escapeText(reason) << '\n';
            return kExitUsage;
        case host::kSaveFailed:
            err << "Error: the design could not be saved: " << escapeText(reason) << '\n';
            return kExitEnded;
        default:
            err << "orlune: " << escapeText(reason) << '\n';
            return kExitEnded;
    }
}

}  // namespace

int runSelect(const std::string& design, const std::vector<std::string>& refDes, Verbosity verbosity, std::ostream& out,
              std::ostream& err) {
    if (std::optional<int> refusal = refusedForHighlight(design, err)) return *refusal;
    host::Host host;
    host.setDesignFile(design);
    if (prepareHostForTests) prepareHostForTests(host);
    std::string reason;
    const int32_t status = host.selectSymbols(refDes, reason);
    if (status == host::kOk)
        printSummary(out, verbosity, design,
                     refDes.empty() ? std::string("selection cleared")
                                    : std::to_string(refDes.size()) +
                                          (refDes.size() == 1 ? " component" : " components") + " selected",
                     host, 0);
    return report(status, reason, err);
}

int runUnhighlight(const std::string& design, Verbosity verbosity, std::ostream& out, std::ostream& err) {
    if (std::optional<int> refusal = refusedForHighlight(design, err)) return *refusal;
    host::Host host;
    host.setDesignFile(design);
    if (prepareHostForTests) prepareHostForTests(host);
    std::string reason;
    const int32_t status = host.clearHighlights(reason);
    if (status == host::kOk) printSummary(out, verbosity, design, "highlights cleared", host, 0);
    return report(status, reason, err);
}

}  // namespace orlune::app

// Temporary stand-ins until the read-only views land; they refuse to run.
#include <ostream>

#include "app/inspect.h"

namespace orlune::app {

namespace {
int notAvailable(std::ostream& err) {
    err << "orlune: not available yet\n";
    return 2;
}
}  // namespace

int runRender(const RenderOptions&, std::ostream&, std::ostream& err) {
    return notAvailable(err);
}
int runReport(const std::string&, ReportFormat, std::ostream&, std::ostream& err) {
    return notAvailable(err);
}
int runVerify(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
    return notAvailable(err);
}

}  // namespace orlune::app

// The read-only views of a design: pictures of its sheets, the connector
// report and the check that every connector's text is current.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace orlune::app {

struct RenderOptions {
    std::string designPath;
    std::string outputDir;
    int sheet = 0;  // 0: every sheet
};
int runRender(const RenderOptions& options, std::ostream& out, std::ostream& err);

enum class ReportFormat { Text, Json, Csv };
int runReport(const std::string& designPath, ReportFormat format, std::ostream& out, std::ostream& err);

// Text: one line per connector that differs. Gcc: "FILE:LINE:COLUMN: error:
// MESSAGE" at the connector's place in the file the user edits, where the
// storage knows it ("DESIGN: error: MESSAGE" where not), for editors and CI.
enum class VerifyFormat { Text, Gcc };
// `layout`: also a line (and exit 4) for each placed text that lies over
// other drawing or leaves the drawing area, where the storage knows how its
// pages print (a KiCad project); a design file says it has nothing to check.
int runVerify(const std::vector<std::string>& designPaths, std::ostream& out, std::ostream& err,
              VerifyFormat format = VerifyFormat::Text, bool layout = false);

}  // namespace orlune::app

// What depends on where a design is stored, asked of the host without
// knowing which storage it is: the refusals of commands a storage cannot
// serve, and `convert`, which writes any design as a design file.
#include <sys/stat.h>

#include <cstdlib>
#include <ostream>
#include <string>

#include "app/commands.h"
#include "app/design_run.h"
#include "host/host.h"
#include "host/save.h"

namespace orlune::app {

namespace {

std::optional<int> refused(const std::string& design, const std::string& why, int status, std::ostream& err) {
    if (why.empty()) return std::nullopt;
    err << "orlune: " << escapeText(design) << ": " << escapeText(why) << '\n';
    return status;
}

// The same file, or both missing: compared by device and inode.
bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool endsWith(const std::string& s, std::string_view tail) {
    return s.size() >= tail.size() && std::string_view(s).substr(s.size() - tail.size()) == tail;
}

// A file of the kinds a KiCad project is made of: its board, sheets,
// project, local settings, libraries and their tables, rules, worksheets.
bool isKicadFile(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    static constexpr std::string_view kKinds[] = {".kicad_sch", ".kicad_pro", ".kicad_pcb",
                                                  ".kicad_prl", ".kicad_sym", ".kicad_mod",
                                                  ".kicad_dru", ".kicad_wks", ".kicad_jobset"};
    for (const std::string_view kind : kKinds)
        if (endsWith(name, kind)) return true;
    return name == "sym-lib-table" || name == "fp-lib-table";
}

}  // namespace

std::optional<int> refusedForWriting(const std::string& design, std::ostream& err) {
    host::Host host;
    host.setDesignFile(design);
    return refused(design, host.cannotWrite(), kExitEnded, err);
}

std::optional<int> refusedForHighlight(const std::string& design, std::ostream& err) {
    host::Host host;
    host.setDesignFile(design);
    return refused(design, host.cannotHighlight(), kExitUsage, err);
}

bool keepsChanges(host::Host& host) {
    return host.cannotWrite().empty();
}

void printWarnings(const std::string& design, const std::vector<std::string>& warnings, std::ostream& err) {
    for (const std::string& w : warnings)
        err << "warning: " << escapeText(design) << ": " << escapeText(w) << '\n';
}

void printSummary(std::ostream& out, Verbosity verbosity, const std::string& design, const std::string& what,
                  host::Host& host, std::size_t warnings) {
    if (verbosity == Verbosity::Quiet) return;
    const std::vector<std::string>& files = host.writtenFiles();
    std::string line = escapeText(design) + ": " + what;
    line += files.empty() ? ", nothing written"
                          : ", " + std::to_string(files.size()) + (files.size() == 1 ? " file" : " files") + " written";
    if (warnings > 0) line += ", " + std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings");
    if (const std::string after = host.wording().afterWrite; !files.empty() && !after.empty()) line += "; " + after;
    out << line << '\n';
    if (verbosity == Verbosity::Verbose)
        for (const std::string& file : files)
            out << "  wrote " << escapeText(file) << '\n';
}

int runConvert(const ConvertOptions& options, std::ostream& out, std::ostream& err) {
    const std::string& target = options.output;
    // Never over the design itself, nor over a file of a KiCad project,
    // whatever --force says: a design file is not a project's file.
    if (sameFile(options.design, target) || isKicadFile(target)) {
        err << "orlune: " << escapeText(target) << ": convert does not write over a design or a project's file\n";
        return kExitUsage;
    }
    struct stat st {};
    if (!options.force && ::lstat(target.c_str(), &st) == 0) {
        err << "orlune: " << escapeText(target) << " exists; give --force to replace it\n";
        return kExitUsage;
    }
    host::Host host;
    host::DesignSummary summary;
    std::string text;
    std::string reason;
    if (host.exportDesign(options.design, text, summary, reason) != host::kOk) {
        err << "orlune: " << escapeText(reason) << '\n';
        return kExitEnded;
    }
    printWarnings(options.design, summary.warnings, err);
    if (!host::saveAtomically(target, target, text, {}, reason)) {
        err << "orlune: " << escapeText(reason) << '\n';
        return kExitEnded;
    }
    out << "wrote " << escapeText(target) << ": " << std::to_string(summary.sheets) << " sheets, "
        << std::to_string(summary.components) << " components, " << std::to_string(summary.sheetConnectors)
        << " sheet connectors, " << std::to_string(summary.nets) << " nets, " << std::to_string(summary.buses)
        << " buses\n";
    return kExitOk;
}

}  // namespace orlune::app

// The commands of the command line, each over one or more designs. Each
// answers its exit status; with several designs the highest of theirs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/escape.h"

namespace orlune::host {
class Host;
}

namespace orlune::app {

// How much a command that writes tells on standard output: nothing, one
// summary line per design, or that line and one per file written.
enum class Verbosity { Quiet, Normal, Verbose };

struct UpdateOptions {
    std::vector<std::string> designs;
    std::optional<std::string> style;  // a style name, as the settings page lists it
    bool list = false;                 // the listing is the whole output: no summary line
    Verbosity verbosity = Verbosity::Normal;
};
int runUpdate(const UpdateOptions& options, std::ostream& out, std::ostream& err);

int runDelete(const std::vector<std::string>& designs, Verbosity verbosity, std::ostream& out, std::ostream& err);

int runStatus(const std::vector<std::string>& designs, bool json, std::ostream& out, std::ostream& err);

// `index` is the utility's position in the utilities page.
int runUtility(int16_t index, const std::string& design, Verbosity verbosity, std::ostream& out, std::ostream& err);

struct SettingsOptions {
    std::string design;
    std::optional<std::string> left;
    std::optional<std::string> right;
    std::optional<std::string> maxRow;
    std::optional<bool> ranges;
    Verbosity verbosity = Verbosity::Normal;
};
int runSettings(const SettingsOptions& options, std::ostream& out, std::ostream& err);

// The host's side: the named symbols become the selection (none: it is
// cleared); a reference designator the design lacks is a usage error.
int runSelect(const std::string& design, const std::vector<std::string>& refDes, Verbosity verbosity, std::ostream& out,
              std::ostream& err);
int runUnhighlight(const std::string& design, Verbosity verbosity, std::ostream& out, std::ostream& err);

int runCheck(const std::vector<std::string>& designs, std::ostream& out, std::ostream& err);

// Writes the design (a KiCad project, say) as a design file, atomically; an
// existing output is replaced only with `force`.
struct ConvertOptions {
    std::string design;
    std::string output;
    bool force = false;
};
int runConvert(const ConvertOptions& options, std::ostream& out, std::ostream& err);

// --- Where the design is stored ---------------------------------------------

// A command that would change a design its storage cannot write is refused
// before anything runs (exit 3); one that needs highlight or selection where
// the storage keeps none, too (exit 2). Each prints the storage's reason.
std::optional<int> refusedForWriting(const std::string& design, std::ostream& err);
std::optional<int> refusedForHighlight(const std::string& design, std::ostream& err);
// Whether the design's storage keeps changes; where it does not, a command
// that only reads runs read-only (start-up may want to store settings).
bool keepsChanges(host::Host& host);
// The reading's warnings, one line each, on standard error.
void printWarnings(const std::string& design, const std::vector<std::string>& warnings, std::ostream& err);
// The summary line of a command that writes: "DESIGN: WHAT, N files written,
// W warnings; AFTER" (AFTER: what the storage asks of the user once a file
// changed), and with Verbose one line per file written.
void printSummary(std::ostream& out, Verbosity verbosity, const std::string& design, const std::string& what,
                  host::Host& host, std::size_t warnings);

// --- Helpers shared with the parser and the tests ---------------------------

// The utility names of the command line, by index.
inline constexpr std::string_view kUtilityNames[] = {"highlight-one-row", "highlight-more-rows", "invert-highlighted",
                                                     "invert-selected", "add-attribute"};
std::optional<int16_t> utilityIndex(std::string_view name);

// Empty when the settings page would accept every character of `text`;
// otherwise why not, naming the first character it refuses.
std::string distanceError(std::string_view text);

}  // namespace orlune::app

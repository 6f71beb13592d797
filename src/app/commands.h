// The commands of the command line, each over one or more designs. Each
// answers its exit status; with several designs the highest of theirs.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/escape.h"

namespace orlune::app {

struct UpdateOptions {
    std::vector<std::string> designs;
    std::optional<std::string> style;  // a style name, as the settings page lists it
    bool list = false;
};
int runUpdate(const UpdateOptions& options, std::ostream& out, std::ostream& err);

int runDelete(const std::vector<std::string>& designs, std::ostream& out, std::ostream& err);

int runStatus(const std::vector<std::string>& designs, bool json, std::ostream& out, std::ostream& err);

// `index` is the utility's position in the utilities page.
int runUtility(int16_t index, const std::string& design, std::ostream& out, std::ostream& err);

struct SettingsOptions {
    std::string design;
    std::optional<std::string> left;
    std::optional<std::string> right;
    std::optional<std::string> maxRow;
};
int runSettings(const SettingsOptions& options, std::ostream& out, std::ostream& err);

// The host's side: the named symbols become the selection (none: it is
// cleared); a reference designator the design lacks is a usage error.
int runSelect(const std::string& design, const std::vector<std::string>& refDes, std::ostream& out, std::ostream& err);
int runUnhighlight(const std::string& design, std::ostream& out, std::ostream& err);

int runCheck(const std::vector<std::string>& designs, std::ostream& out, std::ostream& err);

// --- Helpers shared with the parser and the tests ---------------------------

// The utility names of the command line, by index.
inline constexpr std::string_view kUtilityNames[] = {"highlight-one-row", "highlight-more-rows", "invert-highlighted",
                                                     "invert-selected", "add-attribute"};
std::optional<int16_t> utilityIndex(std::string_view name);

// Empty when the settings page would accept every character of `text`;
// otherwise why not, naming the first character it refuses.
std::string distanceError(std::string_view text);

}  // namespace orlune::app

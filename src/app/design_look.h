// A read-only look into a design before a command changes it, so that a
// command line naming something the design lacks is refused untouched.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orlune::host {
class Host;
}

namespace orlune::app {

struct DesignLook {
    int16_t unitCode = 0;
    // The text styles as the settings page lists them: Windows-1252 names,
    // in the order of their numbers.
    std::vector<std::string> styleNames;
    // The same styles' names as the design file holds them (UTF-8, whole).
    std::vector<std::string> styleNamesAsInFile;
    std::vector<std::string> refDes;  // UTF-8, as in the file
};

// Opens a conversation on a copy in memory that is never saved. nullopt
// when the design cannot be opened; the real run then reports why.
std::optional<DesignLook> lookIntoDesign(const std::string& path);

// The same look through `host`, which names the design: a host that holds
// its design (Host::holdDesign) keeps it from the look to the command's
// end, so that what the look found still holds when the command acts on it.
// The look changes nothing, so nothing is saved.
std::optional<DesignLook> lookIntoDesign(host::Host& host);

}  // namespace orlune::app

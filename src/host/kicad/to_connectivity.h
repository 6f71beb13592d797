// What the connectivity computation needs, taken from a project as read:
// every file's drawing once, and per sheet instance the symbols with their
// per-instance reference, unit, value and placed pins.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/kicad/connectivity.h"
#include "host/kicad/project.h"

namespace orlune::kicad {

ConnectivityInput toConnectivityInput(const sch::Project& project);

// The text KiCad shows for `text` on a sheet instance: each ${NAME} resolved
// from `fields` (the item's own), the sheet symbols from the instance up to
// the root, the page variables (#, ##, SHEETNAME, SHEETPATH) and the
// project's text variables; an unknown name stays as written.
std::string resolveTextVariables(const sch::Project& project, int instance, std::string_view text,
                                 const std::vector<sch::Property>* fields = nullptr);

}  // namespace orlune::kicad

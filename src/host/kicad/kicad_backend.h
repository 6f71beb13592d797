// A KiCad project as a host backend: the project read (sch::readProject),
// its connectivity computed as KiCad computes it, and the design mapped
// with toDesign. The backend keeps the project and the view for the
// write-back: a changed design goes back into the files as the write-back
// layer splices it, every file or none.
#pragma once

#include <memory>
#include <string>

#include "host/backend.h"

namespace orlune::kicad {

// `file`: the project file or root schematic the user names.
std::unique_ptr<host::Backend> makeKicadBackend(const std::string& file);

// Whether the file begins (after blanks) with a KiCad schematic's first
// token. Reads a few bytes of a regular file only.
bool holdsKicadSchematic(const std::string& path);

// Why highlight and selection are refused on a KiCad project.
inline constexpr const char* kCannotHighlightKicad =
    "KiCad projects keep no highlight and no selection; this command works on design files only";

}  // namespace orlune::kicad

// A KiCad project as a host backend: the project read (sch::readProject),
// its connectivity computed as KiCad computes it, and the design mapped
// with toDesign. The backend keeps the project and the view for the
// write-back; until that exists a changed design is never written.
#pragma once

#include <memory>
#include <string>

#include "host/backend.h"

namespace orlune::kicad {

std::unique_ptr<host::Backend> makeKicadBackend();

// Whether the file begins (after blanks) with a KiCad schematic's first
// token. Reads a few bytes of a regular file only.
bool holdsKicadSchematic(const std::string& path);

// Why a changed KiCad design is not written, and why highlight and
// selection are refused on a KiCad project.
inline constexpr const char* kCannotWriteKicad = "writing KiCad projects is not supported yet";
inline constexpr const char* kCannotHighlightKicad =
    "KiCad projects keep no highlight and no selection; this command works on design files only";

}  // namespace orlune::kicad

// A KiCad project as read: the project file's settings, every schematic file
// once, and the hierarchy of sheet instances with their page numbers and the
// reference and unit of every symbol on each instance.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/kicad/schematic.h"

namespace orlune::kicad::sch {

// A symbol's reference and unit on one sheet instance.
struct SymbolOnInstance {
    std::string reference;
    int unit = 1;
    std::string value;
};

// One placement of a schematic file in the hierarchy: one printed page.
struct SheetInstance {
    int file = 0;            // index into Project::files
    int parent = -1;         // index into Project::instances; -1 for the root
    int sheetInParent = -1;  // index of the sheet symbol in the parent's file
    std::string path;        // uuid path with the root uuid: "/ROOT/S1/S2"; the root: "/ROOT"
    std::string shortPath;   // without the root uuid: "/S1/S2"; the root: "/"
    std::string humanPath;   // "/" then each sheet name and '/': "/ampli_ht_horizontal/"
    std::string pageString;  // as KiCad 10 prints it in the title block
    int page = 0;            // the page KiCad 10 prints, 0..100: the page string unless shared
    int depth = 0;
    std::vector<SymbolOnInstance> symbols;  // parallel to the file's symbols
};

struct DrawingSettings {
    int32_t defaultTextSize = 12700;  // internal units
    double textOffsetRatio = 0.15;
    double labelSizeRatio = 0.375;
    bool intersheetsRefShow = false;
};

struct Project {
    std::string folder;
    std::string name;         // the project file's base name
    std::string projectFile;  // the .kicad_pro, or empty when there is none
    std::string rootFile;     // the root schematic the project file names (KiCad 10), else empty
    std::vector<std::pair<std::string, std::string>> textVariables;
    std::vector<BusAlias> busAliases;  // from the project file (KiCad 10); files hold their own too
    DrawingSettings drawing;
    // How a unit shows in a reference ("U1B"): separator and first id, as
    // character codes (`schematic.subpart_id_separator`, `subpart_first_id`).
    int subpartSeparator = 0;
    int subpartFirstId = 'A';
    std::vector<SchematicFile> files;      // files[0] is the root schematic
    std::vector<SheetInstance> instances;  // depth first, children by position then uuid; [0] is the root
    std::vector<std::string> warnings;
    // Per file: the other projects of the folder that use it as a sheet
    // too (board variants sharing sheets); empty until markSharedFiles().
    std::vector<std::vector<std::string>> otherProjects;

    const SchematicFile& fileOf(const SheetInstance& i) const { return files[static_cast<size_t>(i.file)]; }
};

// Reads a project from its `.kicad_pro` or its root `.kicad_sch`. Refuses
// (ReadError, one line naming the file and what is wrong) a schematic newer
// than this reader, several top-level sheets, a missing or self-including
// sheet file, a derived embedded symbol, a page that is not a whole number
// from 0 to 100, a KiCad 5 project, a sheet named instead of its project's
// root, and anything unreadable.
Project readProject(const std::string& path);

// Fills Project::otherProjects: every other `.kicad_pro` of the project's
// folder that reads is read, and each of its files that is one of ours
// marks that file. A project that does not read shares nothing.
void markSharedFiles(Project& project);

// The root schematic of the project at `path` (a `.kicad_pro` or a root
// `.kicad_sch`): the one the project file names, else the project's name.
std::string rootSchematicPath(const std::string& path);

// True when `path` names a KiCad project (by name, then by content).
bool isKicadProject(const std::string& path);

}  // namespace orlune::kicad::sch

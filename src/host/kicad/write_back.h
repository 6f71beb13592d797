// Writing ORLUNE's items back into KiCad schematics: the bytes of removed
// nodes go, new nodes come in at the place KiCad itself would put them, and
// every other byte of the file stays as it was. Pure: bytes and the tree in,
// new bytes out (only kicadLock() looks at the file system).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/kicad/project.h"
#include "host/kicad/text_node.h"

namespace orlune::kicad {

// More rows than this per label and instance are not recognised as ORLUNE's.
inline constexpr int kMaxOwnedRows = 16;

// A node to put into a file: a top-level text (parent: the root, 0) or a
// field of a sheet symbol or a label (parent: that node), rendered by
// textNode() or hiddenFieldNode().
struct Insertion {
    NodeIndex parent = 0;
    std::string node;
};

// The file's bytes with the `removals` taken out, each with the line that
// held it (and a blank line that only framed removed texts), and the
// `insertions` put in: top-level texts after the last text that stays, else
// where KiCad writes its texts for that version; fields after the parent's
// last field. Inserted nodes are ordered by their bytes, whatever order they
// come in. A removal whose node reads the same as an insertion cancels it,
// so that writing the same texts again gives back the same bytes.
std::string applyEdits(const sch::SchematicFile& file, const std::vector<NodeIndex>& removals,
                       std::vector<Insertion> insertions);

// An ORLUNE text of a file: a top-level text that begins with "@" (or is a
// per-instance `${ORL_…}` reference) and whose uuid is derived from a label
// of the file, an instance path and a row.
struct OwnedText {
    int text = -1;  // index into the file's texts
    int label = -1;
    std::string path;  // an instance path of the file, or empty: the text serves every instance
    int row = 0;
};

struct TextOwnership {
    std::vector<OwnedText> owned;
    std::vector<int> orphans;  // ORLUNE's by their uuid, but their label (or page) is gone: removed, reported
    std::vector<int> foreign;  // texts beginning with "@" that a user wrote: left alone, reported
};

// For each label of a file, how many global and hierarchical labels before
// it carry the same uuid (0 for a uuid of its own).
std::vector<int> labelOccurrences(const sch::SchematicFile& file);

// `instancePaths` are the uuid paths (with the root uuid) of the file's
// sheet instances.
TextOwnership classifyTexts(const sch::SchematicFile& file, const std::vector<std::string>& instancePaths);

// The instance paths of a file of the project.
std::vector<std::string> instancePathsOf(const sch::Project& project, int file);

// Reused sheets. A file used by several instances holds one text per label;
// where the lists differ per instance, the text reads `${ORL_…}` and the
// sheet symbol of every instance, in the parent file, carries that variable
// as a hidden field with the instance's list. That needs a parent file used
// by one instance only (its sheet symbol is then one per instance), or, in
// a project of KiCad 9 files, a grandparent file used once: the page's
// sheet symbol then refers (`${ORL_…}` again) to a field of its parent's
// sheet symbol, which KiCad finds along the page's path.
bool perInstanceFieldsPossible(const sch::Project& project, int file);

// The first file version whose KiCad (9) resolves a sheet field's value
// along the page's path: older KiCads may open older projects.
inline constexpr int64_t kNestedVariablesVersion = 20250114;

// The text of a per-instance reference.
std::string perInstanceText(const std::string& variable);

// The field holding `value` (rows separated by CR LF) for one instance: the
// file to change (the parent's) and the insertion into its sheet symbol.
struct FileInsertion {
    int file = -1;
    Insertion insertion;
};
// `ordinal` counts the fields ORLUNE puts into that sheet symbol before
// this one (KiCad 6 numbers fields).
FileInsertion perInstanceField(const sch::Project& project, int instance, const std::string& variable,
                               const std::string& value, int ordinal = 0);

// The ORLUNE fields in the sheet symbols of a file ("ORL_" and ten hex
// digits), to remove.
std::vector<NodeIndex> ownedSheetFields(const sch::SchematicFile& file);

// The text a per-instance reference shows on an instance: the value of the
// field in the instance's sheet symbol, or the text itself when there is
// none.
std::string resolvePerInstance(const sch::Project& project, int instance, const std::string& text);

// One text the update pass placed, for a label of a file on one sheet
// instance; the uuid is filled in by planWriteBack().
struct PlacedText {
    int instance = -1;  // index into Project::instances
    int label = -1;     // index into the labels of that instance's file
    int row = 0;
    TextParams params;
};

struct WriteBack {
    std::vector<std::pair<int, std::string>> files;   // (index into Project::files, new bytes): changed files only
    std::vector<std::pair<int, int>> differsPerPage;  // (file, label): lists differ per page, no text placed
    std::vector<std::pair<int, int>> foreignTexts;    // (file, text): "@" texts a user wrote, left alone
};

// The project's files with ORLUNE's texts (and per-instance fields) as
// `texts` says: every text and field ORLUNE owns goes, the new ones come
// in. No texts: everything ORLUNE wrote is removed. A file of one instance
// gets its texts as they are; a reused file one text per label where every
// instance has the same, else a per-instance reference where the parent
// allows it, else nothing (differsPerPage).
WriteBack planWriteBack(const sch::Project& project, const std::vector<PlacedText>& texts);

// Label fields ("SH_TYPE"): KiCad 6 files cannot hold them.
inline bool labelFieldsAllowed(int64_t version) {
    return version >= kLabelFieldsVersion;
}
// Why a file refuses label fields, in one line naming it.
std::string labelFieldsRefusal(const sch::SchematicFile& file);
// The hidden "SH_TYPE" = "1" field for a label of a file whose version
// allows it.
Insertion shTypeInsertion(const sch::SchematicFile& file, const sch::Label& label);
// A field of a sheet symbol or label by name, or kNone.
NodeIndex findField(const Sexpr& doc, NodeIndex parent, std::string_view name);

// KiCad's lock on an open schematic: `~NAME.kicad_sch.lck` beside the root
// schematic, JSON with "username" and "hostname". Looked at without
// blocking.
struct KicadLock {
    std::string user;
    std::string host;
    bool notRegular = false;  // something else is at the lock's place
};
std::optional<KicadLock> kicadLock(const std::string& rootSchematic);
// "NAME.kicad_sch is open in KiCad by USER on HOST: close the schematic in
// KiCad first".
std::string kicadLockReason(const std::string& rootSchematic, const KicadLock& lock);

}  // namespace orlune::kicad

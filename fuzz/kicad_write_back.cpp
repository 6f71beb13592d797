// Bytes as a KiCad schematic: where the reader accepts them, a text for
// every connector label (and "SH_TYPE" where the version allows it) goes in,
// the result reads again with those texts recognised as ORLUNE's, and
// taking them out gives back every byte. Bytes as a project file: setting
// the settings variable refuses them or gives JSON where setting it again
// changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/kicad/project_file_edit.h"
#include "host/kicad/uuid.h"
#include "host/kicad/write_back.h"

namespace {

using namespace orlune::kicad;

void require(bool condition) {
    if (!condition) std::abort();
}

void schematic(std::string bytes) {
    sch::SchematicFile file;
    try {
        file = sch::readSchematic("fuzz.kicad_sch", std::move(bytes));
    } catch (const ReadError&) {
        return;
    }
    std::vector<Insertion> insertions;
    size_t texts = 0;
    for (const sch::Label& l : file.labels) {
        if (l.kind != sch::LabelKind::Global && l.kind != sch::LabelKind::Hierarchical) continue;
        const TextParams params{"@1,2\r\n\"3\\", int64_t{l.at.x} * 10, int64_t{l.at.y} * 10,          TextRun::Left,
                                l.size.height,   l.size.width,         ownedTextUuid(l.uuid, "/p", 0)};
        insertions.push_back({0, textNode(params, file.version)});
        ++texts;
        if (labelFieldsAllowed(file.version) && findField(file.doc, l.node, "SH_TYPE") == kNone)
            insertions.push_back(shTypeInsertion(file, l));
    }
    // A file that holds ORLUNE's texts already gives them back as well.
    if (insertions.empty() || !classifyTexts(file, {"/p"}).owned.empty()) return;
    const sch::SchematicFile edited = sch::readSchematic("edited.kicad_sch", applyEdits(file, {}, insertions));
    const TextOwnership own = classifyTexts(edited, {"/p"});
    std::vector<NodeIndex> removals;
    for (const OwnedText& o : own.owned)
        removals.push_back(edited.texts[static_cast<size_t>(o.text)].node);
    for (const sch::Label& l : edited.labels)
        if (const NodeIndex f = findField(edited.doc, l.node, "SH_TYPE"); f != kNone) removals.push_back(f);
    // Labels sharing a uuid share their texts' uuids too; one of them is enough.
    require(own.owned.size() <= texts);
    if (own.owned.size() == texts) require(applyEdits(edited, removals, {}) == file.doc.bytes());
}

void projectFile(const std::string& bytes) {
    std::string once;
    try {
        once = setTextVariable(bytes, "ORLUNE", "a\"b\\\n");
    } catch (const ReadError&) {
        return;
    }
    require(setTextVariable(once, "ORLUNE", "a\"b\\\n") == once);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (!bytes.empty() && bytes[0] == '{')
        projectFile(bytes);
    else
        schematic(std::move(bytes));
    return 0;
}

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/kicad/uuid.h"
#include "host/kicad/write_back.h"

namespace orlune::kicad {
namespace {

// Every text of one file, each found owned (with its label, path and row),
// the user's, or neither, whatever the others around it are: the uuids are
// derived row by row, and a later row must still be found.
TEST(KicadOwnership, EachTextClassifiedWhateverItsRow) {
    const std::string labelUuid = "11111111-0000-0000-0000-000000000001";
    const std::string path = "/00000000-0000-0000-0000-0000000000aa/00000000-0000-0000-0000-0000000000bb";
    enum class Is { Owned, Foreign, Orphan, Neither };
    const struct {
        std::string text, uuid;
        Is is;
        std::string path;
        int row;
    } cases[] = {
        {"@2,3", ownedTextUuid(labelUuid, path, 0), Is::Owned, path, 0},
        {"@4", ownedTextUuid(labelUuid, "", 0), Is::Owned, "", 0},
        {"@5", ownedTextUuid(labelUuid, path, kMaxOwnedRows - 1), Is::Owned, path, kMaxOwnedRows - 1},
        {perInstanceText(perInstanceVariable(labelUuid, 2)), ownedTextUuid(labelUuid, "", 2), Is::Owned, "", 2},
        // Uuids as files written by earlier versions hold them (row 1; the
        // derivation before the check bytes): still ORLUNE's own.
        {"@9", "783b1680-97cc-5cc4-a058-61648513bef7", Is::Owned, path, 1},
        {"@10", "ce8b2339-62aa-53f6-b908-b0fd97b0a389", Is::Owned, path, 0},
        {"@11", "651eedf2-f8b7-5cee-883e-073c371ec952", Is::Owned, path, 2},
        // Ours, but no label explains them: the pass removes them.
        {"${ORL_0000000000}", ownedTextUuid(labelUuid, "", 1), Is::Orphan, "", 0},
        {"@6 by hand", "22222222-0000-0000-0000-000000000002", Is::Foreign, "", 0},
        {"@7", ownedTextUuid(labelUuid, path, kMaxOwnedRows), Is::Orphan, "", 0},
        {"@8", ownedTextUuid("33333333-0000-0000-0000-000000000003", path, 0), Is::Orphan, "", 0},
        {"${ORL_0123456789}", ownedTextUuid("33333333-0000-0000-0000-000000000003", "", 0), Is::Orphan, "", 0},
        {"a note", ownedTextUuid(labelUuid, path, 3), Is::Neither, "", 0},
    };
    std::string bytes =
        "(kicad_sch (version 20250114) (generator \"eeschema\") (uuid \"00000000-0000-0000-0000-0000000000bb\")"
        " (paper \"A4\") (lib_symbols)\n"
        " (hierarchical_label \"A\" (shape input) (at 10 20 0) (effects (font (size 1.27 1.27)))"
        " (uuid \"" +
        labelUuid + "\"))\n";
    for (const auto& c : cases)
        bytes += " (text \"" + c.text + "\" (at 1 1 0) (effects (font (size 1.27 1.27))) (uuid \"" + c.uuid + "\"))\n";
    bytes += ")\n";
    const sch::SchematicFile f = sch::readSchematic("owned.kicad_sch", bytes);
    ASSERT_EQ(f.texts.size(), std::size(cases));
    const TextOwnership own = classifyTexts(f, {path});
    for (size_t t = 0; t < std::size(cases); ++t) {
        const auto& c = cases[t];
        SCOPED_TRACE(c.text);
        const auto owned = std::find_if(own.owned.begin(), own.owned.end(),
                                        [&](const OwnedText& o) { return o.text == static_cast<int>(t); });
        const bool foreign =
            std::find(own.foreign.begin(), own.foreign.end(), static_cast<int>(t)) != own.foreign.end();
        EXPECT_EQ(owned != own.owned.end(), c.is == Is::Owned);
        EXPECT_EQ(foreign, c.is == Is::Foreign);
        const bool orphan = std::find(own.orphans.begin(), own.orphans.end(), static_cast<int>(t)) != own.orphans.end();
        EXPECT_EQ(orphan, c.is == Is::Orphan);
        if (owned == own.owned.end()) continue;
        EXPECT_EQ(owned->label, 0);
        EXPECT_EQ(owned->path, c.path);
        EXPECT_EQ(owned->row, c.row);
    }
    // In the file's order, as callers list them.
    EXPECT_TRUE(std::is_sorted(own.owned.begin(), own.owned.end(),
                               [](const OwnedText& a, const OwnedText& b) { return a.text < b.text; }));
}

}  // namespace
}  // namespace orlune::kicad

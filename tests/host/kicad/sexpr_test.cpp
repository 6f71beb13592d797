#include "host/kicad/sexpr.h"

#include <gtest/gtest.h>

namespace orlune::kicad {
namespace {

TEST(Sexpr, KeepsEveryNodesBytesAndDecodesStringsOnDemand) {
    const std::string text =
        "(kicad_sch (version 20250114)\n"
        "# a comment line (with a paren\n"
        "  (label \"A\\\"B\\\\C\\nD\\x41\\101\" (at 1.5 -2 0))\r\n"
        "  (bare|atom) ())";
    const Sexpr doc = Sexpr::parse(text);
    const NodeIndex root = doc.root();
    EXPECT_EQ(doc.head(root), "kicad_sch");
    EXPECT_EQ(doc.source(root), text);
    const NodeIndex label = doc.find(root, "label");
    ASSERT_NE(label, kNone);
    EXPECT_EQ(doc.source(label), "(label \"A\\\"B\\\\C\\nD\\x41\\101\" (at 1.5 -2 0))");
    EXPECT_EQ(doc.text(doc.child(label, 1)), "A\"B\\C\nDAA");
    EXPECT_EQ(doc.source(doc.find(label, "at")), "(at 1.5 -2 0)");
    EXPECT_EQ(doc.raw(doc.child(doc.find(label, "at"), 2)), "-2");
    EXPECT_EQ(doc.lineOf(doc.node(label).begin), 3u);
    // The comment is skipped; the empty list and the atom with '|' are kept.
    int children = 0;
    doc.forEachChild(root, [&](NodeIndex) { ++children; });
    EXPECT_EQ(children, 5);
    EXPECT_EQ(doc.raw(doc.child(doc.find(root, "bare|atom"), 0)), "bare|atom");
    // Atoms and absent lists have no children (a reader asks for optional lists).
    EXPECT_EQ(doc.first(doc.child(label, 1)), kNone);
    EXPECT_EQ(doc.first(doc.find(root, "members")), kNone);
}

TEST(Sexpr, RefusesMalformedInputNamingTheLine) {
    const struct {
        const char* text;
        uint32_t line;
        const char* what;
    } cases[] = {
        {"(a\n (b \"open\n x))", 2, "not closed on its line"},
        {"(a (b)\n", 1, "not closed before the end"},
        {"(a))", 1, "unbalanced"},
        {"(a) (b)", 1, "after the end"},
        {"  \n", 1, "holds no list"},
        {"word (a)", 1, "does not start with '('"},
    };
    for (const auto& c : cases) {
        try {
            Sexpr::parse(c.text);
            ADD_FAILURE() << c.text;
        } catch (const SexprError& e) {
            EXPECT_EQ(e.line, c.line) << c.text;
            EXPECT_NE(std::string(e.what()).find(c.what), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace orlune::kicad

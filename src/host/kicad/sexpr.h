// The S-expression tree of a KiCad file. The file's bytes are kept as read
// and every node records its byte range [begin, end), so that a writer can
// splice nodes in and out without touching any other byte. Nodes lie in one
// vector in document order; a list's children follow it, and each node
// knows the index just past its own subtree, so walking the children needs
// no per-node allocation. Strings stay escaped until a caller asks for them.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orlune::kicad {

using NodeIndex = uint32_t;
inline constexpr NodeIndex kNone = UINT32_MAX;

enum class NodeKind : uint8_t { List, Atom, String };

struct SexprNode {
    uint32_t begin = 0;   // '(' of a list, first byte of an atom, opening quote of a string
    uint32_t end = 0;     // one past ')' / the atom / the closing quote
    NodeIndex after = 0;  // the first node after this node's subtree
    NodeKind kind = NodeKind::Atom;
    bool escaped = false;  // a string holding a backslash: text() decodes it
};

// Malformed input: `offset` is the byte where reading stopped, `line` its
// 1-based line.
struct SexprError : std::runtime_error {
    SexprError(uint32_t at, uint32_t onLine, const std::string& what)
        : std::runtime_error(what), offset(at), line(onLine) {}
    uint32_t offset;
    uint32_t line;
};

class Sexpr {
public:
    // Reads one top-level list (KiCad's lexer rules: quoted strings with C
    // escapes that do not span lines, bare atoms, lines starting with '#'
    // are comments). Throws SexprError.
    static Sexpr parse(std::string bytes);

    const std::string& bytes() const { return bytes_; }
    const SexprNode& node(NodeIndex i) const { return nodes_[i]; }
    size_t size() const { return nodes_.size(); }
    NodeIndex root() const { return 0; }

    bool isList(NodeIndex i) const { return i != kNone && nodes_[i].kind == NodeKind::List; }
    // The raw text of an atom, or a string's bytes between its quotes (still
    // escaped); empty for a list.
    std::string_view raw(NodeIndex i) const;
    // An atom's text, or a string's decoded text.
    std::string text(NodeIndex i) const;
    // The node's whole source, e.g. "(at 1 2 0)".
    std::string_view source(NodeIndex i) const {
        return {bytes_.data() + nodes_[i].begin, nodes_[i].end - nodes_[i].begin};
    }

    // Children of a list: first(), then next() until kNone.
    // A node that is not a list (or kNone) has no children.
    NodeIndex first(NodeIndex list) const { return isList(list) && list + 1 < nodes_[list].after ? list + 1 : kNone; }
    NodeIndex next(NodeIndex parent, NodeIndex child) const {
        const NodeIndex n = nodes_[child].after;
        return n < nodes_[parent].after ? n : kNone;
    }
    // The k-th child (0 is the head), or kNone.
    NodeIndex child(NodeIndex list, unsigned k) const;
    // The head atom of a list ("wire" for "(wire ...)"), or empty.
    std::string_view head(NodeIndex list) const;
    // The first child list whose head is `name`, or kNone.
    NodeIndex find(NodeIndex list, std::string_view name) const;
    // True when the list holds the bare atom `name` (e.g. "hide").
    bool hasAtom(NodeIndex list, std::string_view name) const;

    // 1-based line of a byte offset, for messages.
    uint32_t lineOf(uint32_t offset) const;

    template <typename F>
    void forEachChild(NodeIndex list, F&& f) const {
        for (NodeIndex c = first(list); c != kNone; c = next(list, c))
            f(c);
    }

private:
    SexprError errorAt(uint32_t offset, const std::string& what) const;

    std::string bytes_;
    std::vector<SexprNode> nodes_;
};

// A file or project ORLUNE cannot read; the message is one line that names
// the file (and the line where it helps) and what is wrong.
struct ReadError : std::runtime_error {
    explicit ReadError(const std::string& what) : std::runtime_error(oneLine(what)) {}

private:
    // Names taken from a file may hold line breaks; the reason stays one line.
    static std::string oneLine(std::string s) {
        for (char& c : s)
            if (c == '\n' || c == '\r') c = ' ';
        return s;
    }
};

// A whole file's bytes. Throws ReadError.
std::string readFile(const std::string& path);

// Decodes KiCad's string escapes: \" \\ \a \b \f \n \r \t \v, \xHH, octal.
std::string unescape(std::string_view raw);

}  // namespace orlune::kicad

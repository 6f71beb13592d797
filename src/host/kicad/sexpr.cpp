#include "host/kicad/sexpr.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>

namespace orlune::kicad {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\0';
}

bool isSeparator(char c) {
    return isSpace(c) || c == '(' || c == ')';
}

// Deeper lists than this are refused: no KiCad file comes near it, and the
// callers walk the tree recursively.
constexpr size_t kMaxDepth = 1000;

}  // namespace

Sexpr Sexpr::parse(std::string bytes) {
    Sexpr doc;
    doc.bytes_ = std::move(bytes);
    const std::string& s = doc.bytes_;
    if (s.size() >= UINT32_MAX) throw doc.errorAt(0, "the file is larger than 4 GB");
    const auto n = static_cast<uint32_t>(s.size());
    doc.nodes_.reserve(n / 6 + 16);
    std::vector<NodeIndex> open;
    open.reserve(64);
    bool lineStart = true;
    uint32_t i = 0;
    // A byte order mark is allowed before the first list.
    if (n >= 3 && std::memcmp(s.data(), "\xEF\xBB\xBF", 3) == 0) i = 3;
    auto push = [&](uint32_t begin, uint32_t end, NodeKind kind, bool escaped) {
        if (open.empty()) {
            if (!doc.nodes_.empty()) throw doc.errorAt(begin, "text after the end of the file's list");
            throw doc.errorAt(begin, "the file does not start with '('");
        }
        const auto index = static_cast<NodeIndex>(doc.nodes_.size());
        doc.nodes_.push_back({begin, end, index + 1, kind, escaped});
    };
    while (i < n) {
        const char c = s[i];
        if (c == '\n') {
            lineStart = true;
            ++i;
            continue;
        }
        if (isSpace(c)) {
            ++i;
            continue;
        }
        if (c == '#' && lineStart) {
            const void* eol = std::memchr(s.data() + i, '\n', n - i);
            i = eol ? static_cast<uint32_t>(static_cast<const char*>(eol) - s.data()) : n;
            continue;
        }
        lineStart = false;
        if (c == '(') {
            if (open.empty() && !doc.nodes_.empty()) throw doc.errorAt(i, "text after the end of the file's list");
            if (open.size() >= kMaxDepth) throw doc.errorAt(i, "lists nested too deeply");
            const auto index = static_cast<NodeIndex>(doc.nodes_.size());
            doc.nodes_.push_back({i, 0, 0, NodeKind::List, false});
            open.push_back(index);
            ++i;
        } else if (c == ')') {
            if (open.empty()) throw doc.errorAt(i, "unbalanced ')'");
            SexprNode& list = doc.nodes_[open.back()];
            list.end = i + 1;
            list.after = static_cast<NodeIndex>(doc.nodes_.size());
            open.pop_back();
            ++i;
        } else if (c == '"') {
            const uint32_t begin = i++;
            bool escaped = false;
            for (;;) {
                // Scan for the next quote, backslash or line end in one go.
                while (i < n && s[i] != '"' && s[i] != '\\' && s[i] != '\n')
                    ++i;
                if (i >= n || s[i] == '\n') throw doc.errorAt(begin, "a quoted string is not closed on its line");
                if (s[i] == '"') break;
                escaped = true;
                i += 2;  // the escaped character never ends the string
                if (i > n) throw doc.errorAt(begin, "a quoted string is not closed on its line");
            }
            ++i;
            push(begin, i, NodeKind::String, escaped);
        } else {
            const uint32_t begin = i;
            while (i < n && !isSeparator(s[i]))
                ++i;
            push(begin, i, NodeKind::Atom, false);
        }
    }
    if (!open.empty())
        throw doc.errorAt(doc.nodes_[open.back()].begin, "a list is not closed before the end of the file");
    if (doc.nodes_.empty()) throw doc.errorAt(0, "the file holds no list");
    if (doc.nodes_[0].kind != NodeKind::List)
        throw doc.errorAt(doc.nodes_[0].begin, "the file does not start with '('");
    return doc;
}

std::string_view Sexpr::raw(NodeIndex i) const {
    const SexprNode& nd = nodes_[i];
    switch (nd.kind) {
        case NodeKind::Atom:
            return {bytes_.data() + nd.begin, nd.end - nd.begin};
        case NodeKind::String:
            return {bytes_.data() + nd.begin + 1, nd.end - nd.begin - 2};
        case NodeKind::List:
            break;
    }
    return {};
}

std::string Sexpr::text(NodeIndex i) const {
    if (i == kNone) return {};
    const std::string_view r = raw(i);
    return nodes_[i].escaped ? unescape(r) : std::string(r);
}

NodeIndex Sexpr::child(NodeIndex list, unsigned k) const {
    if (!isList(list)) return kNone;
    NodeIndex c = first(list);
    while (c != kNone && k-- > 0)
        c = next(list, c);
    return c;
}

std::string_view Sexpr::head(NodeIndex list) const {
    if (!isList(list)) return {};
    const NodeIndex c = first(list);
    return c != kNone && nodes_[c].kind == NodeKind::Atom ? raw(c) : std::string_view{};
}

NodeIndex Sexpr::find(NodeIndex list, std::string_view name) const {
    if (!isList(list)) return kNone;
    for (NodeIndex c = first(list); c != kNone; c = next(list, c))
        if (nodes_[c].kind == NodeKind::List && head(c) == name) return c;
    return kNone;
}

bool Sexpr::hasAtom(NodeIndex list, std::string_view name) const {
    if (!isList(list)) return false;
    for (NodeIndex c = first(list); c != kNone; c = next(list, c))
        if (nodes_[c].kind == NodeKind::Atom && raw(c) == name) return true;
    return false;
}

SexprError Sexpr::errorAt(uint32_t offset, const std::string& what) const {
    return SexprError(offset, lineOf(offset), what);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) throw ReadError(path + ": cannot be opened");
    const std::streamoff size = in.tellg();
    if (size < 0) throw ReadError(path + ": cannot be read");
    std::string bytes(static_cast<size_t>(size), '\0');
    in.seekg(0);
    if (!in.read(bytes.data(), size)) throw ReadError(path + ": cannot be read");
    return bytes;
}

uint32_t Sexpr::lineOf(uint32_t offset) const {
    const auto end = bytes_.begin() + std::min<size_t>(offset, bytes_.size());
    return static_cast<uint32_t>(std::count(bytes_.begin(), end, '\n')) + 1;
}

std::string unescape(std::string_view r) {
    std::string out;
    out.reserve(r.size());
    for (size_t i = 0; i < r.size(); ++i) {
        if (r[i] != '\\' || i + 1 >= r.size()) {
            out += r[i];
            continue;
        }
        const char e = r[++i];
        switch (e) {
            case 'a':
                out += '\x07';
                break;
            case 'b':
                out += '\x08';
                break;
            case 'f':
                out += '\x0c';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'v':
                out += '\x0b';
                break;
            case 'x': {
                int value = 0, digits = 0;
                while (digits < 2 && i + 1 < r.size() && std::isxdigit(static_cast<unsigned char>(r[i + 1]))) {
                    const char h = r[++i];
                    value = value * 16 + (h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
                    ++digits;
                }
                out += digits ? static_cast<char>(value) : 'x';
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    int value = e - '0', digits = 1;
                    while (digits < 3 && i + 1 < r.size() && r[i + 1] >= '0' && r[i + 1] <= '7') {
                        value = value * 8 + (r[++i] - '0');
                        ++digits;
                    }
                    out += static_cast<char>(value);
                } else if (e == '"' || e == '\\') {
                    out += e;
                } else {
                    // KiCad reads an unknown escape as a backslash followed by the character.
                    out += '\\';
                    out += e;
                }
        }
    }
    return out;
}

}  // namespace orlune::kicad

#include "app/inspect_support.h"

#include <cstddef>
#include <cstdint>
#include <set>

#include "host/utf8.h"

namespace orlune::test {

namespace {

// Decodes one UTF-8 character; false when malformed.
bool nextChar(std::string_view s, std::size_t& pos, char32_t& out) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    int len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (b0 < 0x80) {
        out = b0;
        ++pos;
        return true;
    }
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2, cp = b0 & 0x1Fu, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3, cp = b0 & 0x0Fu, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4, cp = b0 & 0x07u, min = 0x10000;
    } else {
        return false;
    }
    if (pos + static_cast<std::size_t>(len) > s.size()) return false;
    for (int i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + static_cast<std::size_t>(i)]);
        if ((b & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (b & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    pos += static_cast<std::size_t>(len);
    out = cp;
    return true;
}

bool xmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

bool nameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
}
bool nameChar(char c) {
    return nameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

class Reader {
public:
    explicit Reader(std::string_view s) : s_(s) {}

    bool document(XmlNode& root, std::string& error) {
        if (!checkCharacters()) return fail(error);
        if (s_.substr(0, 5) == "<?xml") {
            const std::size_t end = s_.find("?>");
            if (end == std::string_view::npos) return fail(error, "unterminated XML declaration");
            pos_ = end + 2;
        }
        if (!misc()) return fail(error);
        if (pos_ >= s_.size() || s_[pos_] != '<') return fail(error, "no root element");
        if (!element(root)) return fail(error);
        if (!misc()) return fail(error);
        if (pos_ != s_.size()) return fail(error, "content after the root element");
        return true;
    }

private:
    bool fail(std::string& error, std::string_view why = {}) {
        if (!why.empty()) message_ = std::string(why);
        error = message_ + " at byte " + std::to_string(pos_);
        return false;
    }
    bool problem(std::string_view why) {
        message_ = std::string(why);
        return false;
    }

    bool checkCharacters() {
        std::size_t p = 0;
        while (p < s_.size()) {
            char32_t c = 0;
            const std::size_t at = p;
            if (!nextChar(s_, p, c)) {
                pos_ = at;
                return problem("malformed UTF-8");
            }
            if (!xmlChar(c)) {
                pos_ = at;
                return problem("a character XML cannot hold");
            }
        }
        return true;
    }

    void spaces() {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\n' || s_[pos_] == '\r' || s_[pos_] == '\t'))
            ++pos_;
    }

    // Whitespace and comments between top-level parts.
    bool misc() {
        for (;;) {
            spaces();
            if (s_.substr(pos_, 4) == "<!--") {
                if (!comment()) return false;
                continue;
            }
            return true;
        }
    }

    bool comment() {
        const std::size_t end = s_.find("-->", pos_ + 4);
        if (end == std::string_view::npos) return problem("unterminated comment");
        if (s_.substr(pos_ + 4, end - pos_ - 4).find("--") != std::string_view::npos)
            return problem("\"--\" inside a comment");
        pos_ = end + 3;
        return true;
    }

    bool name(std::string& out) {
        if (pos_ >= s_.size() || !nameStart(s_[pos_])) return problem("a name expected");
        const std::size_t start = pos_;
        while (pos_ < s_.size() && nameChar(s_[pos_]))
            ++pos_;
        out = std::string(s_.substr(start, pos_ - start));
        return true;
    }

    // After "&": one of the five entities or a character reference.
    bool entity(std::string& out) {
        const std::size_t end = s_.find(';', pos_);
        if (end == std::string_view::npos || end - pos_ > 10) return problem("\"&\" that starts no entity");
        const std::string_view ref = s_.substr(pos_ + 1, end - pos_ - 1);
        if (ref == "amp") {
            out += '&';
        } else if (ref == "lt") {
            out += '<';
        } else if (ref == "gt") {
            out += '>';
        } else if (ref == "quot") {
            out += '"';
        } else if (ref == "apos") {
            out += '\'';
        } else if (ref.size() > 1 && ref[0] == '#') {
            const bool hex = ref[1] == 'x';
            const std::string_view digits = ref.substr(hex ? 2 : 1);
            if (digits.empty()) return problem("empty character reference");
            uint32_t value = 0;
            for (char c : digits) {
                uint32_t d = 0;
                if (c >= '0' && c <= '9') {
                    d = static_cast<uint32_t>(c - '0');
                } else if (hex && c >= 'a' && c <= 'f') {
                    d = static_cast<uint32_t>(c - 'a' + 10);
                } else if (hex && c >= 'A' && c <= 'F') {
                    d = static_cast<uint32_t>(c - 'A' + 10);
                } else {
                    return problem("bad character reference");
                }
                value = value * (hex ? 16u : 10u) + d;
                if (value > 0x10FFFF) return problem("character reference out of range");
            }
            if (!xmlChar(value)) return problem("character reference to a character XML cannot hold");
            host::appendUtf8(out, value);
        } else {
            return problem("unknown entity");
        }
        pos_ = end + 1;
        return true;
    }

    bool element(XmlNode& node) {
        ++pos_;  // '<'
        if (!name(node.name)) return false;
        std::set<std::string> seen;
        for (;;) {
            const std::size_t before = pos_;
            spaces();
            if (pos_ >= s_.size()) return problem("unterminated start tag");
            if (s_[pos_] == '/') {
                if (s_.substr(pos_, 2) != "/>") return problem("\"/\" not followed by \">\"");
                pos_ += 2;
                return true;
            }
            if (s_[pos_] == '>') {
                ++pos_;
                break;
            }
            if (pos_ == before) return problem("attributes must be separated by white space");
            std::string key;
            if (!name(key)) return false;
            if (!seen.insert(key).second) return problem("attribute " + key + " repeated");
            spaces();
            if (pos_ >= s_.size() || s_[pos_] != '=') return problem("\"=\" expected after an attribute name");
            ++pos_;
            spaces();
            if (pos_ >= s_.size() || (s_[pos_] != '"' && s_[pos_] != '\'')) return problem("unquoted attribute");
            const char quote = s_[pos_++];
            std::string value;
            while (pos_ < s_.size() && s_[pos_] != quote) {
                if (s_[pos_] == '<') return problem("\"<\" inside an attribute value");
                if (s_[pos_] == '&') {
                    if (!entity(value)) return false;
                    continue;
                }
                value += s_[pos_++];
            }
            if (pos_ >= s_.size()) return problem("unterminated attribute value");
            ++pos_;
            node.attributes.emplace_back(std::move(key), std::move(value));
        }
        // Content.
        for (;;) {
            if (pos_ >= s_.size()) return problem("element " + node.name + " not closed");
            const char c = s_[pos_];
            if (c == '&') {
                if (!entity(node.text)) return false;
                continue;
            }
            if (c != '<') {
                if (s_.substr(pos_, 3) == "]]>") return problem("\"]]>\" in character data");
                node.text += c;
                ++pos_;
                continue;
            }
            if (s_.substr(pos_, 2) == "</") {
                pos_ += 2;
                std::string closing;
                if (!name(closing)) return false;
                if (closing != node.name) return problem("</" + closing + "> closes <" + node.name + ">");
                spaces();
                if (pos_ >= s_.size() || s_[pos_] != '>') return problem("unterminated end tag");
                ++pos_;
                return true;
            }
            if (s_.substr(pos_, 4) == "<!--") {
                if (!comment()) return false;
                continue;
            }
            if (s_.substr(pos_, 9) == "<![CDATA[") {
                const std::size_t end = s_.find("]]>", pos_);
                if (end == std::string_view::npos) return problem("unterminated CDATA section");
                node.text += s_.substr(pos_ + 9, end - pos_ - 9);
                pos_ = end + 3;
                continue;
            }
            node.childAt.push_back(node.text.size());
            node.children.emplace_back();
            if (!element(node.children.back())) return false;
        }
    }

    std::string_view s_;
    std::size_t pos_ = 0;
    std::string message_;
};

void collect(const XmlNode& node, const std::function<bool(const XmlNode&)>& match, std::vector<const XmlNode*>& out) {
    for (const XmlNode& child : node.children) {
        if (match(child)) out.push_back(&child);
        collect(child, match, out);
    }
}

}  // namespace

std::optional<std::string> XmlNode::attribute(std::string_view key) const {
    for (const auto& [k, v] : attributes) {
        if (k == key) return v;
    }
    return std::nullopt;
}

bool XmlNode::hasClass(std::string_view cls) const {
    const std::optional<std::string> value = attribute("class");
    if (!value) return false;
    std::size_t start = 0;
    while (start <= value->size()) {
        std::size_t end = value->find(' ', start);
        if (end == std::string::npos) end = value->size();
        if (std::string_view(*value).substr(start, end - start) == cls) return true;
        start = end + 1;
    }
    return false;
}

std::string XmlNode::allText() const {
    std::string out;
    std::size_t from = 0;
    for (std::size_t i = 0; i < children.size(); ++i) {
        out += text.substr(from, childAt[i] - from);
        from = childAt[i];
        out += children[i].allText();
    }
    out += text.substr(from);
    return out;
}

std::vector<const XmlNode*> XmlNode::findAll(const std::function<bool(const XmlNode&)>& match) const {
    std::vector<const XmlNode*> out;
    collect(*this, match, out);
    return out;
}

std::vector<const XmlNode*> XmlNode::byName(std::string_view element) const {
    return findAll([&](const XmlNode& n) { return n.name == element; });
}

std::vector<const XmlNode*> XmlNode::byClass(std::string_view cls) const {
    return findAll([&](const XmlNode& n) { return n.hasClass(cls); });
}

bool parseXml(std::string_view document, XmlNode& root, std::string& error) {
    root = XmlNode{};
    return Reader(document).document(root, error);
}

std::string inspectScenarioDesign() {
    // Units mil: texts go 355600 left of an unflipped connector's pin and
    // 482600 right of a flipped one's. The text limit of 4 characters makes
    // the host refuse "@1,3,4".
    return R"({
  "format": "orlune-design", "version": 1, "units": 1, "workspace": [5080000, 2540000],
  "textLimit": 4,
  "textStyles": [
    { "number": 0, "name": "Default", "height": 100, "charWidth": 60, "advances": { "@": 100, ",": 20 } },
    { "number": 1, "name": "Small", "height": 50, "charWidth": 30 }
  ],
  "sheets": [ { "id": 1, "name": "One" }, { "id": 2, "name": "Two" }, { "id": 3, "name": "Three" },
              { "id": 4, "name": "Four" } ],
  "nets": [ { "id": 1, "name": "N1" }, { "id": 2, "name": "N2" }, { "id": 3, "name": "N3" },
            { "id": 4, "name": "N4" }, { "id": 5, "name": "B0" }, { "id": 6, "name": "B1" } ],
  "buses": [ { "name": "DATA", "nets": [5, 6] } ],
  "components": [
    { "refDes": "SC1", "type": "SH_CONN", "kind": 2,
      "pins": [ { "x": 1000000, "y": 500000, "sheet": 1, "net": 1 } ],
      "symbol": { "sheet": 1, "x": 1000000, "y": 500000 } },
    { "refDes": "SC2", "type": "SH_CONN", "kind": 2,
      "pins": [ { "x": 2000000, "y": 600000, "sheet": 1, "net": 2 } ],
      "symbol": { "sheet": 1, "x": 2000000, "y": 600000, "flipped": true } },
    { "refDes": "SC3", "type": "SH_CONN", "kind": 2,
      "pins": [ { "x": 1000000, "y": 500000, "sheet": 2, "net": 1 } ],
      "symbol": { "sheet": 2, "x": 1000000, "y": 500000 } },
    { "refDes": "SC4", "type": "SH_CONN", "kind": 2,
      "pins": [ { "x": 2000000, "y": 700000, "sheet": 2, "net": 3 } ],
      "symbol": { "sheet": 2, "x": 2000000, "y": 700000, "flipped": true } },
    { "refDes": "SC5", "type": "SH_CONN", "kind": 2,
      "pins": [ { "x": 1000000, "y": 500000, "sheet": 3, "net": 4 } ],
      "symbol": { "sheet": 3, "x": 1000000, "y": 500000 } },
    { "refDes": "SB1", "type": "SH_BUS_OUT", "kind": 2,
      "pins": [ { "x": 1000000, "y": 500000, "sheet": 4 } ],
      "symbol": { "sheet": 4, "x": 1000000, "y": 500000, "flipped": true } },
    { "refDes": "SB2", "type": "SH_BUS_IN", "kind": 2,
      "pins": [ { "x": 3000000, "y": 800000, "sheet": 3 } ],
      "symbol": { "sheet": 3, "x": 3000000, "y": 800000 } },
    { "refDes": "R1", "type": "RES", "kind": 1, "pins": [ { "x": 300000, "y": 1500000, "sheet": 3, "net": 1 } ],
      "symbol": { "sheet": 3, "x": 300000, "y": 1500000 } },
    { "refDes": "R2", "type": "RES", "kind": 1, "pins": [ { "x": 400000, "y": 1500000, "sheet": 3, "net": 5 } ],
      "symbol": { "sheet": 3, "x": 400000, "y": 1500000 } },
    { "refDes": "R3", "type": "RES", "kind": 1, "pins": [ { "x": 400000, "y": 1500000, "sheet": 4, "net": 5 } ],
      "symbol": { "sheet": 4, "x": 400000, "y": 1500000 } },
    { "refDes": "R4", "type": "RES", "kind": 1, "pins": [ { "x": 400000, "y": 1500000, "sheet": 1, "net": 6 } ],
      "symbol": { "sheet": 1, "x": 400000, "y": 1500000 } },
    { "refDes": "R5", "type": "RES", "kind": 1, "pins": [ { "x": 600000, "y": 1500000, "sheet": 3, "net": 4 } ],
      "symbol": { "sheet": 3, "x": 600000, "y": 1500000 } },
    { "refDes": "P1", "type": "PAD", "kind": 0, "pins": [ { "x": 600000, "y": 1500000, "sheet": 2, "net": 2 } ],
      "symbol": { "sheet": 2, "x": 600000, "y": 1500000 } },
    { "refDes": "Q1", "type": "QUAD", "kind": 0,
      "pins": [ { "x": 700000, "y": 1500000, "sheet": 1, "net": 3 }, { "x": 700000, "y": 1400000, "sheet": 3, "net": 3 },
                { "x": 700000, "y": 1300000, "sheet": 4, "net": 3 } ],
      "symbol": { "sheet": 1, "x": 700000, "y": 1500000 } }
  ],
  "items": [
    { "type": "text", "sheet": 1, "text": "Title", "style": 0, "x": 100000, "y": 2000000, "justification": 4 },
    { "type": "text", "sheet": 1, "text": "@2,3", "style": 0, "x": 644400, "y": 500000, "justification": 6 },
    { "type": "text", "sheet": 1, "text": "@3", "style": 0, "x": 2482600, "y": 600000, "justification": 4 },
    { "type": "text", "sheet": 2, "text": "@@", "style": 0, "x": 2482600, "y": 700000, "justification": 4 },
    { "type": "text", "sheet": 3, "text": "@1,4", "style": 0, "x": 2644400, "y": 800000, "justification": 6 },
    { "type": "text", "sheet": 4, "text": "@4", "style": 0, "x": 100000, "y": 100000, "justification": 4 },
    { "type": "bus", "sheet": 3, "bus": "DATA", "x1": 3508000, "y1": 800000, "x2": 3508000, "y2": 300000 },
    { "type": "wire", "sheet": 1, "net": 1, "x1": 1000000, "y1": 500000, "x2": 1500000, "y2": 500000 }
  ],
  "attributes": []
}
)";
}

}  // namespace orlune::test

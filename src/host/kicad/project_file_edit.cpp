#include "host/kicad/project_file_edit.h"

#include <vector>

#include "host/kicad/sexpr.h"

namespace orlune::kicad {

namespace {

struct Member {
    size_t keyBegin = 0;  // the key's opening quote
    std::string key;
    size_t valueBegin = 0, valueEnd = 0;
};

class Scanner {
public:
    explicit Scanner(const std::string& s) : s_(s) {}

    size_t ws(size_t i) const {
        while (i < s_.size() && (s_[i] == ' ' || s_[i] == '\t' || s_[i] == '\n' || s_[i] == '\r'))
            ++i;
        return i;
    }

    // One past the end of the value starting at i (after whitespace).
    size_t value(size_t i, int depth = 0) const {
        if (depth > 200) fail();
        i = ws(i);
        if (i >= s_.size()) fail();
        const char c = s_[i];
        if (c == '"') return string(i);
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            i = ws(i + 1);
            if (i < s_.size() && s_[i] == close) return i + 1;
            for (;;) {
                if (c == '{') {
                    i = ws(i);
                    if (i >= s_.size() || s_[i] != '"') fail();
                    i = ws(string(i));
                    if (i >= s_.size() || s_[i] != ':') fail();
                    ++i;
                }
                i = ws(value(i, depth + 1));
                if (i < s_.size() && s_[i] == ',') {
                    ++i;
                    continue;
                }
                if (i < s_.size() && s_[i] == close) return i + 1;
                fail();
            }
        }
        size_t e = i;
        while (e < s_.size() && s_[e] != ',' && s_[e] != '}' && s_[e] != ']' && s_[e] != ' ' && s_[e] != '\n' &&
               s_[e] != '\r' && s_[e] != '\t')
            ++e;
        if (e == i) fail();
        return e;
    }

    size_t string(size_t i) const {
        for (++i; i < s_.size(); ++i) {
            if (s_[i] == '\\')
                ++i;
            else if (s_[i] == '"')
                return i + 1;
        }
        fail();
    }

    // The members of the object whose '{' is at i.
    std::vector<Member> members(size_t i) const {
        std::vector<Member> out;
        i = ws(i + 1);
        if (i < s_.size() && s_[i] == '}') return out;
        for (;;) {
            i = ws(i);
            Member m;
            m.keyBegin = i;
            const size_t ke = string(i);
            m.key = unescape(std::string_view(s_).substr(i + 1, ke - i - 2));
            i = ws(ke);
            if (i >= s_.size() || s_[i] != ':') fail();
            m.valueBegin = ws(i + 1);
            m.valueEnd = value(m.valueBegin);
            out.push_back(m);
            i = ws(m.valueEnd);
            if (i < s_.size() && s_[i] == ',') {
                ++i;
                continue;
            }
            if (i < s_.size() && s_[i] == '}') return out;
            fail();
        }
    }

    [[noreturn]] static void fail() { throw ReadError("the project file is not a JSON object"); }

private:
    const std::string& s_;
};

}  // namespace

std::string jsonQuoted(const std::string& s) {
    static const char hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : s) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    out += "\\u00";
                    out += hex[(c >> 4) & 0xf];
                    out += hex[c & 0xf];
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string setTextVariable(const std::string& json, const std::string& name, const std::string& value) {
    const Scanner sc(json);
    // A byte order mark stays where it is, before the object.
    const size_t open = sc.ws(json.starts_with("\xEF\xBB\xBF") ? 3 : 0);
    if (open >= json.size() || json[open] != '{') Scanner::fail();
    const std::vector<Member> top = sc.members(open);
    const size_t lf = json.find('\n');
    const std::string eol = lf != std::string::npos && lf > 0 && json[lf - 1] == '\r' ? "\r\n" : "\n";
    // The indentation of one level, as the file's first key has it.
    std::string unit = "  ";
    if (!top.empty()) {
        size_t b = top.front().keyBegin;
        while (b > 0 && (json[b - 1] == ' ' || json[b - 1] == '\t'))
            --b;
        if (b < top.front().keyBegin && b > 0 && json[b - 1] == '\n') unit = json.substr(b, top.front().keyBegin - b);
    }
    const std::string entry = jsonQuoted(name) + ": " + jsonQuoted(value);
    auto splice = [&](size_t b, size_t e, const std::string& with) {
        return json.substr(0, b) + with + json.substr(e);
    };
    // Members go in byte order of their keys, as KiCad's writer sorts them.
    auto insertMember = [&](const std::vector<Member>& ms, size_t objectOpen, const std::string& member,
                            const std::string& key, const std::string& indent, const std::string& outer) {
        for (const Member& m : ms)
            if (m.key > key) return splice(m.keyBegin, m.keyBegin, member + "," + eol + indent);
        if (!ms.empty()) return splice(ms.back().valueEnd, ms.back().valueEnd, "," + eol + indent + member);
        const size_t close = sc.value(objectOpen);
        return splice(objectOpen, close, "{" + eol + indent + member + eol + outer + "}");
    };
    for (const Member& m : top) {
        if (m.key != "text_variables") continue;
        // KiCad writes null for a project without variables.
        if (json.compare(m.valueBegin, m.valueEnd - m.valueBegin, "null") == 0)
            return splice(m.valueBegin, m.valueEnd, "{" + eol + unit + unit + entry + eol + unit + "}");
        if (json[m.valueBegin] != '{') throw ReadError("its \"text_variables\" is not a JSON object");
        const std::vector<Member> vars = sc.members(m.valueBegin);
        for (const Member& v : vars)
            if (v.key == name) return splice(v.valueBegin, v.valueEnd, jsonQuoted(value));
        return insertMember(vars, m.valueBegin, entry, name, unit + unit, unit);
    }
    const std::string object = jsonQuoted("text_variables") + ": {" + eol + unit + unit + entry + eol + unit + "}";
    return insertMember(top, open, object, "text_variables", unit, "");
}

}  // namespace orlune::kicad

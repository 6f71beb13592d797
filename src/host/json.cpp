#include "host/json.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <utility>

#include "host/utf8.h"

namespace orlune::host {

JsonIndex JsonDocument::find(JsonIndex object, std::string_view name) const {
    const uint32_t n = size(object);
    for (uint32_t k = 0; k < n; ++k) {
        if (text(key(object, k)) == name) return value(object, k);
    }
    return kNoNode;
}

bool JsonDocument::isInt32(JsonIndex i, int32_t& out) const {
    if (type(i) != JsonType::Number) return false;
    // By hand: this runs for every integer of the file when it is read and
    // again when it is written, and the parser has checked the lexeme's form
    // (no leading zeros), so at most ten digits can fit.
    const std::string_view s = text(i);
    const bool negative = !s.empty() && s[0] == '-';
    const std::size_t first = negative ? 1 : 0;
    if (s.size() == first || s.size() - first > 10) return false;
    int64_t v = 0;
    for (std::size_t k = first; k < s.size(); ++k) {
        const char c = s[k];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (negative) v = -v;
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) return false;
    out = static_cast<int32_t>(v);
    return true;
}

namespace {

struct ParseFailure {
    const char* at;
    std::string message;
    bool duplicateKey = false;
};

class Parser {
public:
    Parser(const std::string& input, JsonDocument& doc)
        : begin_(input.data()), p_(input.data()), end_(input.data() + input.size()), doc_(doc) {}

    JsonIndex parseDocument() {
        if (end_ - p_ >= 3 && std::memcmp(p_, "\xEF\xBB\xBF", 3) == 0) p_ += 3;
        skipSpace();
        if (p_ == end_) throw ParseFailure{nullptr, "the file is empty"};
        const JsonIndex root = parseValue(0);
        skipSpace();
        if (p_ != end_) fail("unexpected characters after the JSON value");
        return root;
    }

    const char* lineStart(const char* at) const {
        const char* s = at;
        while (s > begin_ && s[-1] != '\n')
            --s;
        return s;
    }
    uint32_t line() const { return line_; }

private:
    [[noreturn]] void fail(std::string message) { throw ParseFailure{p_, std::move(message)}; }

    void skipSpace() {
        while (p_ != end_) {
            const char c = *p_;
            if (c == '\n') {
                ++line_;
            } else if (c != ' ' && c != '\t' && c != '\r') {
                return;
            }
            ++p_;
        }
    }

    JsonIndex addNode(JsonType type, uint32_t offset, uint32_t size, bool pooled = false) {
        doc_.nodes.push_back(JsonNode{type, pooled, line_, offset, size});
        return static_cast<JsonIndex>(doc_.nodes.size() - 1);
    }

    static std::string describe(char c) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) return "a character";
        return std::string("'") + c + "'";
    }

    JsonIndex parseValue(int depth) {
        if (p_ == end_) fail("the file ends where a value is expected");
        switch (*p_) {
            case '{':
                return parseObject(depth + 1);
            case '[':
                return parseArray(depth + 1);
            case '"':
                return parseString();
            case 't':
                return literal("true", JsonType::True);
            case 'f':
                return literal("false", JsonType::False);
            case 'n':
                return literal("null", JsonType::Null);
            default:
                if (*p_ == '-' || (*p_ >= '0' && *p_ <= '9')) return parseNumber();
                fail("expected a value, found " + describe(*p_));
        }
    }

    JsonIndex literal(std::string_view word, JsonType type) {
        if (static_cast<size_t>(end_ - p_) < word.size() || std::string_view(p_, word.size()) != word) {
            fail("expected a value, found " + describe(*p_));
        }
        p_ += word.size();
        return addNode(type, 0, 0);
    }

    JsonIndex parseNumber() {
        const char* start = p_;
        const auto digits = [&] {
            const char* d = p_;
            while (p_ != end_ && *p_ >= '0' && *p_ <= '9')
                ++p_;
            return p_ - d;
        };
        if (*p_ == '-') ++p_;
        if (p_ == end_ || *p_ < '0' || *p_ > '9') fail("a number needs a digit after '-'");
        if (*p_ == '0') {
            ++p_;
            if (p_ != end_ && *p_ >= '0' && *p_ <= '9') fail("a number may not have leading zeros");
        } else {
            digits();
        }
        if (p_ != end_ && *p_ == '.') {
            ++p_;
            if (digits() == 0) fail("a number needs a digit after '.'");
        }
        if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
            ++p_;
            if (p_ != end_ && (*p_ == '+' || *p_ == '-')) ++p_;
            if (digits() == 0) fail("a number needs a digit in its exponent");
        }
        return addNode(JsonType::Number, static_cast<uint32_t>(start - begin_), static_cast<uint32_t>(p_ - start));
    }

    unsigned hex4() {
        if (end_ - p_ < 4) fail("\\u needs four hexadecimal digits");
        unsigned v = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = *p_++;
            v <<= 4;
            if (c >= '0' && c <= '9') {
                v |= static_cast<unsigned>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                v |= static_cast<unsigned>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                v |= static_cast<unsigned>(c - 'A' + 10);
            } else {
                --p_;
                fail("\\u needs four hexadecimal digits");
            }
        }
        return v;
    }

    // Scans a string; one with escapes is decoded into the pool.
    JsonIndex parseString() {
        ++p_;  // opening quote
        const char* start = p_;
        std::string* pool = nullptr;
        size_t poolStart = 0;
        const char* copied = start;  // input before this is already in the pool
        for (;;) {
            if (p_ == end_) fail("the file ends inside a string");
            const auto c = static_cast<unsigned char>(*p_);
            if (c == '"') break;
            if (c < 0x20) fail("a control character inside a string must be escaped");
            if (c >= 0x80) {
                size_t pos = static_cast<size_t>(p_ - begin_);
                if (nextUtf8(std::string_view(begin_, static_cast<size_t>(end_ - begin_)), pos) == kBadUtf8) {
                    fail("invalid UTF-8");
                }
                p_ = begin_ + pos;
                continue;
            }
            if (c != '\\') {
                ++p_;
                continue;
            }
            if (pool == nullptr) {
                pool = &doc_.pool;
                poolStart = pool->size();
            }
            pool->append(copied, p_);
            ++p_;
            if (p_ == end_) fail("the file ends inside a string");
            const char e = *p_++;
            switch (e) {
                case '"':
                    *pool += '"';
                    break;
                case '\\':
                    *pool += '\\';
                    break;
                case '/':
                    *pool += '/';
                    break;
                case 'b':
                    *pool += '\b';
                    break;
                case 'f':
                    *pool += '\f';
                    break;
                case 'n':
                    *pool += '\n';
                    break;
                case 'r':
                    *pool += '\r';
                    break;
                case 't':
                    *pool += '\t';
                    break;
                case 'u': {
                    char32_t cp = hex4();
                    if (cp >= 0xDC00 && cp <= 0xDFFF) fail("a lone surrogate in a \\u escape");
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u') fail("a lone surrogate in a \\u escape");
                        p_ += 2;
                        const char32_t low = hex4();
                        if (low < 0xDC00 || low > 0xDFFF) fail("a lone surrogate in a \\u escape");
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    }
                    appendUtf8(*pool, cp);
                    break;
                }
                default:
                    --p_;
                    fail("an unknown escape in a string");
            }
            copied = p_;
        }
        JsonIndex node;
        if (pool != nullptr) {
            pool->append(copied, p_);
            node = addNode(JsonType::String, static_cast<uint32_t>(poolStart),
                           static_cast<uint32_t>(pool->size() - poolStart), true);
        } else {
            node = addNode(JsonType::String, static_cast<uint32_t>(start - begin_), static_cast<uint32_t>(p_ - start));
        }
        ++p_;  // closing quote
        return node;
    }

    void enter(int depth) {
        if (depth > kMaxJsonDepth) fail("nesting deeper than " + std::to_string(kMaxJsonDepth) + " levels");
    }

    // Moves the children gathered on the scratch stack since `mark` to the
    // document's kids.
    uint32_t settle(size_t mark) {
        const auto first = static_cast<uint32_t>(doc_.kids.size());
        doc_.kids.insert(doc_.kids.end(), stack_.begin() + static_cast<std::ptrdiff_t>(mark), stack_.end());
        stack_.resize(mark);
        return first;
    }

    JsonIndex parseArray(int depth) {
        enter(depth);
        const JsonIndex node = addNode(JsonType::Array, 0, 0);
        ++p_;
        const size_t mark = stack_.size();
        skipSpace();
        if (p_ != end_ && *p_ == ']') {
            ++p_;
        } else {
            for (;;) {
                const JsonIndex v = parseValue(depth);
                stack_.push_back(v);
                skipSpace();
                if (p_ == end_) fail("the file ends inside an array");
                if (*p_ == ',') {
                    ++p_;
                    skipSpace();
                    continue;
                }
                if (*p_ == ']') {
                    ++p_;
                    break;
                }
                fail("expected ',' or ']' after an array element, found " + describe(*p_));
            }
        }
        const auto count = static_cast<uint32_t>(stack_.size() - mark);
        const uint32_t first = settle(mark);
        JsonNode& n = doc_.nodes[static_cast<size_t>(node)];
        n.offset = first;
        n.size = count;
        return node;
    }

    JsonIndex parseObject(int depth) {
        enter(depth);
        const JsonIndex node = addNode(JsonType::Object, 0, 0);
        ++p_;
        const size_t mark = stack_.size();
        skipSpace();
        if (p_ != end_ && *p_ == '}') {
            ++p_;
        } else {
            for (;;) {
                if (p_ == end_) fail("the file ends inside an object");
                if (*p_ != '"') fail("expected a key in quotes, found " + describe(*p_));
                const JsonIndex k = parseString();
                skipSpace();
                if (p_ == end_ || *p_ != ':') fail("expected ':' after a key");
                ++p_;
                skipSpace();
                const JsonIndex v = parseValue(depth);
                stack_.push_back(k);
                stack_.push_back(v);
                skipSpace();
                if (p_ == end_) fail("the file ends inside an object");
                if (*p_ == ',') {
                    ++p_;
                    skipSpace();
                    continue;
                }
                if (*p_ == '}') {
                    ++p_;
                    break;
                }
                fail("expected ',' or '}' after an object member, found " + describe(*p_));
            }
        }
        const auto count = static_cast<uint32_t>((stack_.size() - mark) / 2);
        checkKeys(mark, count);
        const uint32_t first = settle(mark);
        JsonNode& n = doc_.nodes[static_cast<size_t>(node)];
        n.offset = first;
        n.size = count;
        return node;
    }

    [[noreturn]] void duplicate(JsonIndex key) {
        const JsonNode& n = doc_.nodes[static_cast<size_t>(key)];
        line_ = n.line;
        throw ParseFailure{nullptr, "the key \"" + std::string(doc_.text(key)) + "\" appears twice in one object",
                           true};
    }

    void checkKeys(size_t mark, uint32_t count) {
        if (count < 2) return;
        if (count <= 16) {
            for (uint32_t a = 1; a < count; ++a) {
                const std::string_view ka = doc_.text(stack_[mark + 2 * a]);
                for (uint32_t b = 0; b < a; ++b) {
                    if (doc_.text(stack_[mark + 2 * b]) == ka) duplicate(stack_[mark + 2 * a]);
                }
            }
            return;
        }
        std::vector<std::pair<std::string_view, JsonIndex>> keys;
        keys.reserve(count);
        for (uint32_t a = 0; a < count; ++a)
            keys.emplace_back(doc_.text(stack_[mark + 2 * a]), stack_[mark + 2 * a]);
        std::sort(keys.begin(), keys.end());
        for (size_t a = 1; a < keys.size(); ++a) {
            if (keys[a].first == keys[a - 1].first) duplicate(std::max(keys[a].second, keys[a - 1].second));
        }
    }

    const char* begin_;
    const char* p_;
    const char* end_;
    JsonDocument& doc_;
    uint32_t line_ = 1;
    std::vector<JsonIndex> stack_;
};

}  // namespace

bool parseJson(std::shared_ptr<const std::string> input, JsonDocument& doc, JsonError& error) {
    doc = JsonDocument{};
    doc.input = std::move(input);
    const std::string& text = *doc.input;
    if (text.size() >= std::numeric_limits<uint32_t>::max()) {
        error = {1, 1, "the file is too large (4 GB or more)"};
        return false;
    }
    // A design file in the canonical layout has one node per 7 bytes and a
    // child per 13 (measured on generated designs); a little more, so that
    // the vectors are not copied as they grow. Pages never reached cost
    // nothing.
    doc.nodes.reserve(text.size() / 6 + 16);
    doc.kids.reserve(text.size() / 11 + 16);
    Parser parser(text, doc);
    try {
        doc.root = parser.parseDocument();
        return true;
    } catch (const ParseFailure& failure) {
        error.line = parser.line();
        error.column = 0;
        if (failure.at != nullptr) {
            const std::string_view lineText(parser.lineStart(failure.at),
                                            static_cast<size_t>(failure.at - parser.lineStart(failure.at)));
            error.column = 1;
            for (const char c : lineText) {
                if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++error.column;
            }
        }
        error.message = failure.message;
        error.duplicateKey = failure.duplicateKey;
        doc = JsonDocument{};
        return false;
    }
}

// ---------------------------------------------------------------------------

void JsonWriter::newline() {
    out_ += '\n';
    out_.append(2 * levels_.size(), ' ');
}

void JsonWriter::beforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (levels_.empty()) return;
    Level& level = levels_.back();
    if (!level.empty) out_ += ',';
    level.empty = false;
    newline();
}

void JsonWriter::beginObject() {
    beforeValue();
    out_ += '{';
    levels_.push_back({});
}

void JsonWriter::endObject() {
    const bool empty = levels_.back().empty;
    levels_.pop_back();
    if (!empty) newline();
    out_ += '}';
}

void JsonWriter::beginArray() {
    beforeValue();
    out_ += '[';
    levels_.push_back({});
}

void JsonWriter::endArray() {
    const bool empty = levels_.back().empty;
    levels_.pop_back();
    if (!empty) newline();
    out_ += ']';
}

void JsonWriter::key(std::string_view name) {
    beforeValue();
    quoted(name);
    out_ += ": ";
    afterKey_ = true;
}

void JsonWriter::quoted(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out_ += '"';
    size_t run = 0;  // start of the bytes not yet written
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            // Bytes that are not UTF-8 (a path from the command line) would
            // make the document undecodable: each becomes U+FFFD.
            size_t next = i;
            if (nextUtf8(text, next) != kBadUtf8) {
                i = next - 1;
                continue;
            }
            out_.append(text.data() + run, i - run);
            run = i + 1;
            out_ += "\xEF\xBF\xBD";
            continue;
        }
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        out_.append(text.data() + run, i - run);
        run = i + 1;
        switch (c) {
            case '"':
                out_ += "\\\"";
                break;
            case '\\':
                out_ += "\\\\";
                break;
            case '\b':
                out_ += "\\b";
                break;
            case '\f':
                out_ += "\\f";
                break;
            case '\n':
                out_ += "\\n";
                break;
            case '\r':
                out_ += "\\r";
                break;
            case '\t':
                out_ += "\\t";
                break;
            default:
                out_ += "\\u00";
                out_ += kHex[c >> 4];
                out_ += kHex[c & 15];
        }
    }
    out_.append(text.data() + run, text.size() - run);
    out_ += '"';
}

void JsonWriter::string(std::string_view text) {
    beforeValue();
    quoted(text);
}

void JsonWriter::number(std::string_view lexeme) {
    beforeValue();
    out_ += lexeme;
}

void JsonWriter::integer(int64_t value) {
    beforeValue();
    char buf[24];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    (void)ec;
    out_.append(buf, end);
}

void JsonWriter::boolean(bool value) {
    beforeValue();
    out_ += value ? "true" : "false";
}

void JsonWriter::null() {
    beforeValue();
    out_ += "null";
}

void JsonWriter::copy(const JsonDocument& doc, JsonIndex value) {
    const JsonNode& n = doc.node(value);
    switch (n.type) {
        case JsonType::Null:
            null();
            break;
        case JsonType::False:
            boolean(false);
            break;
        case JsonType::True:
            boolean(true);
            break;
        case JsonType::Number:
            number(doc.text(value));
            break;
        case JsonType::String:
            string(doc.text(value));
            break;
        case JsonType::Array:
            beginArray();
            for (uint32_t k = 0; k < n.size; ++k)
                copy(doc, doc.element(value, k));
            endArray();
            break;
        case JsonType::Object:
            beginObject();
            for (uint32_t k = 0; k < n.size; ++k) {
                key(doc.text(doc.key(value, k)));
                copy(doc, doc.value(value, k));
            }
            endObject();
            break;
    }
}

void JsonWriter::finish() {
    out_ += '\n';
}

std::string writeJson(const JsonDocument& doc) {
    std::string out;
    out.reserve(doc.input ? doc.input->size() + doc.input->size() / 4 : 0);
    JsonWriter w(out);
    if (doc.root != kNoNode) w.copy(doc, doc.root);
    w.finish();
    return out;
}

}  // namespace orlune::host

// A compact JSON document for the design file: every value is a node in one
// vector, strings point into the input where they hold no escape, numbers
// keep their lexeme (so unknown fields are written back exactly as read),
// objects keep their key order and every node knows its line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orlune::host {

enum class JsonType : uint8_t { Null, False, True, Number, String, Array, Object };

// Index of a node in its document; kNoNode: none.
using JsonIndex = int32_t;
inline constexpr JsonIndex kNoNode = -1;

// Objects and arrays deeper than this are refused (no stack overflow).
inline constexpr int kMaxJsonDepth = 256;

struct JsonNode {
    JsonType type = JsonType::Null;
    bool pooled = false;  // a string whose decoded text lives in the pool
    uint32_t line = 0;    // 1-based line of the value's first character
    // String, number: offset and length of the text. Array: first element
    // in `kids` and element count. Object: first key in `kids` (keys and
    // values alternate) and member count.
    uint32_t offset = 0;
    uint32_t size = 0;
};

struct JsonDocument {
    std::shared_ptr<const std::string> input;
    std::vector<JsonNode> nodes;
    std::vector<JsonIndex> kids;
    std::string pool;  // decoded strings that held escapes
    JsonIndex root = kNoNode;

    const JsonNode& node(JsonIndex i) const { return nodes[static_cast<size_t>(i)]; }
    JsonType type(JsonIndex i) const { return node(i).type; }
    uint32_t line(JsonIndex i) const { return node(i).line; }
    bool isObject(JsonIndex i) const {
        return i >= 0 && static_cast<size_t>(i) < nodes.size() && type(i) == JsonType::Object;
    }

    // A string's decoded UTF-8 text, or a number's lexeme.
    std::string_view text(JsonIndex i) const {
        const JsonNode& n = node(i);
        const char* base = n.pooled ? pool.data() : input->data();
        return {base + n.offset, n.size};
    }
    // Element count of an array, member count of an object.
    uint32_t size(JsonIndex i) const { return node(i).size; }
    JsonIndex element(JsonIndex array, uint32_t k) const { return kids[node(array).offset + k]; }
    JsonIndex key(JsonIndex object, uint32_t k) const { return kids[node(object).offset + 2 * k]; }
    JsonIndex value(JsonIndex object, uint32_t k) const { return kids[node(object).offset + 2 * k + 1]; }
    // The value of `name` in `object`, or kNoNode.
    JsonIndex find(JsonIndex object, std::string_view name) const;

    // True when the node is a JSON integer (no fraction, no exponent) that
    // fits 32 bits; `out` then holds it.
    bool isInt32(JsonIndex i, int32_t& out) const;
};

struct JsonError {
    uint32_t line = 0;
    uint32_t column = 0;  // 1-based, in characters; 0: not given
    std::string message;
    // Well-formed JSON, but a key repeats in one object, which the design
    // file does not allow.
    bool duplicateKey = false;
};

// Parses `input` (UTF-8; a leading byte order mark is skipped). Refuses
// malformed JSON, invalid UTF-8, lone surrogates, a key repeated in one
// object, nesting deeper than kMaxJsonDepth and trailing characters.
bool parseJson(std::shared_ptr<const std::string> input, JsonDocument& doc, JsonError& error);

// Writes JSON in the canonical layout of the design file: two-space
// indentation, every array element and object member on a line of its own,
// empty arrays and objects as [] and {}, UTF-8 as it is (only the quote,
// the backslash and control characters escaped).
class JsonWriter {
public:
    explicit JsonWriter(std::string& out) : out_(out) {}

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    void key(std::string_view name);
    void string(std::string_view text);
    void number(std::string_view lexeme);
    void integer(int64_t value);
    void boolean(bool value);
    void null();
    // A value of a document, as it was read (numbers keep their lexeme).
    void copy(const JsonDocument& doc, JsonIndex value);
    // Ends the document with its final newline.
    void finish();

private:
    void beforeValue();
    void newline();
    void quoted(std::string_view text);

    std::string& out_;
    struct Level {
        bool empty = true;
    };
    std::vector<Level> levels_;
    bool afterKey_ = false;
};

// The canonical text of a whole document.
std::string writeJson(const JsonDocument& doc);

}  // namespace orlune::host

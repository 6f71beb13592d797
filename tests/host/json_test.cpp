// The design file's JSON: parsing with lines and lexemes kept, refusals,
// and the canonical writer.
#include <gtest/gtest.h>

#include <ostream>

#include <cctype>
#include <string>

#include "host/json.h"

namespace orlune::host {
namespace {

struct Parsed {
    bool ok = false;
    JsonDocument doc;
    JsonError error;
};

Parsed parse(std::string text) {
    Parsed p;
    p.ok = parseJson(std::make_shared<const std::string>(std::move(text)), p.doc, p.error);
    return p;
}

TEST(JsonParse, ObjectsKeepTheirKeyOrderAndValuesTheirLines) {
    const Parsed p = parse("{\n  \"b\": 1,\n  \"a\": [true, null,\n  \"x\"],\n  \"c\": {}\n}\n");
    ASSERT_TRUE(p.ok) << p.error.message;
    const JsonDocument& d = p.doc;
    ASSERT_EQ(JsonType::Object, d.type(d.root));
    ASSERT_EQ(3u, d.size(d.root));
    EXPECT_EQ("b", d.text(d.key(d.root, 0)));
    EXPECT_EQ("a", d.text(d.key(d.root, 1)));
    EXPECT_EQ("c", d.text(d.key(d.root, 2)));
    const JsonIndex a = d.find(d.root, "a");
    EXPECT_EQ(3u, d.line(a));
    EXPECT_EQ(JsonType::True, d.type(d.element(a, 0)));
    EXPECT_EQ(JsonType::Null, d.type(d.element(a, 1)));
    EXPECT_EQ(4u, d.line(d.element(a, 2)));
    EXPECT_EQ("x", d.text(d.element(a, 2)));
    EXPECT_EQ(5u, d.line(d.find(d.root, "c")));
    EXPECT_EQ(kNoNode, d.find(d.root, "d"));
}

TEST(JsonParse, NumbersKeepTheirLexeme) {
    const Parsed p = parse(R"([1.50, 1e3, -0, 12345678901234567890, 2.5E-3])");
    ASSERT_TRUE(p.ok);
    const JsonDocument& d = p.doc;
    EXPECT_EQ("1.50", d.text(d.element(d.root, 0)));
    EXPECT_EQ("1e3", d.text(d.element(d.root, 1)));
    EXPECT_EQ("-0", d.text(d.element(d.root, 2)));
    EXPECT_EQ("12345678901234567890", d.text(d.element(d.root, 3)));
    EXPECT_EQ("2.5E-3", d.text(d.element(d.root, 4)));
}

struct IntCase {
    const char* lexeme;
    bool isInt;
    int32_t value;
};

void PrintTo(const IntCase& c, std::ostream* os) {
    *os << c.lexeme;
}

class JsonInt32 : public ::testing::TestWithParam<IntCase> {};

TEST_P(JsonInt32, OnlyIntegersWithoutFractionOrExponentThatFit32BitsAreIntegers) {
    const IntCase& c = GetParam();
    const Parsed p = parse(std::string("[") + c.lexeme + "]");
    ASSERT_TRUE(p.ok) << c.lexeme;
    int32_t v = 12345;
    EXPECT_EQ(c.isInt, p.doc.isInt32(p.doc.element(p.doc.root, 0), v)) << c.lexeme;
    if (c.isInt) {
        EXPECT_EQ(c.value, v);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, JsonInt32,
                         ::testing::Values(IntCase{"0", true, 0}, IntCase{"-0", true, 0}, IntCase{"42", true, 42},
                                           IntCase{"2147483647", true, 2147483647},
                                           IntCase{"-2147483648", true, -2147483647 - 1},
                                           IntCase{"2147483648", false, 0}, IntCase{"-2147483649", false, 0},
                                           IntCase{"99999999999999999999", false, 0}, IntCase{"1.0", false, 0},
                                           IntCase{"1e3", false, 0}, IntCase{"1E0", false, 0},
                                           IntCase{"\"1\"", false, 0}, IntCase{"true", false, 0}));

TEST(JsonParse, StringsAreDecoded) {
    const Parsed p = parse(R"(["a\"b\\c\/\b\f\n\r\t", "\u00e9\u20AC", "\ud83d\ude00", "é€😀", "\u0000x"])");
    ASSERT_TRUE(p.ok) << p.error.message;
    const JsonDocument& d = p.doc;
    EXPECT_EQ("a\"b\\c/\b\f\n\r\t", d.text(d.element(d.root, 0)));
    EXPECT_EQ("é€", d.text(d.element(d.root, 1)));
    EXPECT_EQ("😀", d.text(d.element(d.root, 2)));
    EXPECT_EQ("é€😀", d.text(d.element(d.root, 3)));
    EXPECT_EQ(std::string("\0x", 2), d.text(d.element(d.root, 4)));
}

TEST(JsonParse, ALeadingByteOrderMarkIsSkipped) {
    const Parsed p = parse("\xEF\xBB\xBF{\"a\": 1}");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(1u, p.doc.size(p.doc.root));
}

struct BadCase {
    const char* name;
    std::string text;
    uint32_t line;
    const char* message;  // part of the message
};

void PrintTo(const BadCase& c, std::ostream* os) {
    *os << c.name;
}

class JsonRefusal : public ::testing::TestWithParam<BadCase> {};

TEST_P(JsonRefusal, IsRefusedWithLineAndWhy) {
    const BadCase& c = GetParam();
    const Parsed p = parse(c.text);
    ASSERT_FALSE(p.ok) << c.name;
    EXPECT_EQ(c.line, p.error.line) << c.name << ": " << p.error.message;
    EXPECT_NE(std::string::npos, p.error.message.find(c.message)) << c.name << ": " << p.error.message;
    EXPECT_EQ(std::string(c.name).find("duplicate key") == 0, p.error.duplicateKey) << c.name;
}

std::string caseName(const ::testing::TestParamInfo<BadCase>& param) {
    std::string n;
    for (const char c : std::string(param.param.name))
        n += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return n;
}

std::string nested(int depth) {
    return std::string(static_cast<size_t>(depth), '[') + std::string(static_cast<size_t>(depth), ']');
}

INSTANTIATE_TEST_SUITE_P(
    Table, JsonRefusal,
    ::testing::Values(BadCase{"empty", "", 1, "empty"}, BadCase{"only spaces", "  \n ", 2, "empty"},
                      BadCase{"truncated object", "{\n\"a\": 1,\n", 3, "ends inside an object"},
                      BadCase{"truncated string", "[\"abc", 1, "ends inside a string"},
                      BadCase{"missing comma", "{\"a\": 1\n\"b\": 2}", 2, "expected ',' or '}'"},
                      BadCase{"trailing comma", "[1, 2,]", 1, "expected a value"},
                      BadCase{"trailing garbage", "{}\n{}", 2, "after the JSON value"},
                      BadCase{"single quotes", "{'a': 1}", 1, "expected a key"},
                      BadCase{"leading zero", "[01]", 1, "leading zeros"},
                      BadCase{"bare fraction", "[1.]", 1, "digit after '.'"},
                      BadCase{"bad exponent", "[1e]", 1, "exponent"}, BadCase{"NaN", "[NaN]", 1, "expected a value"},
                      BadCase{"raw newline in a string", "[\"a\nb\"]", 1, "control character"},
                      BadCase{"unknown escape", "[\"\\x\"]", 1, "unknown escape"},
                      BadCase{"short unicode escape", "[\"\\u12\"]", 1, "four hexadecimal"},
                      BadCase{"lone high surrogate", "[\"\\ud800\"]", 1, "lone surrogate"},
                      BadCase{"lone low surrogate", "[\"\\udc00x\"]", 1, "lone surrogate"},
                      BadCase{"invalid UTF-8", "[\"\xff\"]", 1, "invalid UTF-8"},
                      BadCase{"overlong UTF-8", "[\"\xc0\xaf\"]", 1, "invalid UTF-8"},
                      BadCase{"truncated UTF-8", "[\"\xe2\x82\"]", 1, "invalid UTF-8"},
                      BadCase{"UTF-8 surrogate", "[\"\xed\xa0\x80\"]", 1, "invalid UTF-8"},
                      BadCase{"duplicate key", "{\"a\": 1,\n\"b\": 2,\n\"a\": 3}", 3, "\"a\" appears twice"},
                      BadCase{"duplicate key in a large object",
                              [] {
                                  std::string s = "{";
                                  for (int i = 0; i < 40; ++i)
                                      s += "\"k" + std::to_string(i) + "\": 0,\n";
                                  return s + "\"k7\": 1}";
                              }(),
                              41, "\"k7\" appears twice"},
                      BadCase{"nesting too deep", nested(kMaxJsonDepth + 1), 1, "nesting deeper"},
                      BadCase{"very deep nesting", nested(1000000), 1, "nesting deeper"}),
    caseName);

TEST(JsonParse, NestingUpToTheLimitIsAccepted) {
    EXPECT_TRUE(parse(nested(kMaxJsonDepth)).ok);
}

TEST(JsonParse, TheColumnOfAnErrorCountsCharacters) {
    const Parsed p = parse("{\"é\": x}");
    ASSERT_FALSE(p.ok);
    EXPECT_EQ(7u, p.error.column);
}

TEST(JsonWrite, TheCanonicalLayoutHasOneValuePerLine) {
    const Parsed p = parse(R"({"a":[1,2.50,{"b":null,"c":[]}],"d":{},"e":"x","f":[true,false]})");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(R"({
  "a": [
    1,
    2.50,
    {
      "b": null,
      "c": []
    }
  ],
  "d": {},
  "e": "x",
  "f": [
    true,
    false
  ]
}
)",
              writeJson(p.doc));
}

TEST(JsonWrite, OnlyQuoteBackslashAndControlCharactersAreEscaped) {
    const Parsed p = parse(R"(["é€😀 \"q\" \\ / \u0001\u001f\n\r\t\b\f \u007f"])");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ("[\n  \"é€😀 \\\"q\\\" \\\\ / \\u0001\\u001f\\n\\r\\t\\b\\f \x7f\"\n]\n", writeJson(p.doc));
}

TEST(JsonWrite, WritingWhatWasWrittenChangesNothing) {
    const Parsed p = parse(R"({"z": [1e3, -0, "\u00e9"], "a": {"k": [[], {}]}})");
    ASSERT_TRUE(p.ok);
    const std::string once = writeJson(p.doc);
    const Parsed again = parse(once);
    ASSERT_TRUE(again.ok);
    EXPECT_EQ(once, writeJson(again.doc));
}

}  // namespace
}  // namespace orlune::host

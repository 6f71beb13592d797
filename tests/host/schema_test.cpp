// docs/design.schema.json in step with the loader: the same keys, and the
// designs the loader accepts (or refuses for what a schema can say) are
// valid (or invalid) by the schema. A small validator of the keywords the
// schema uses does the checking.
#include <gtest/gtest.h>

#include <ostream>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "host/file_support.h"
#include "host/json.h"
#include "host/load.h"
#include "host/utf8.h"
#include "support/test_support.h"

namespace orlune::host {
namespace {

using test::kFullDesign;
using test::kMinimalDesign;
using test::replaced;

const std::filesystem::path kSchemaPath =
    std::filesystem::path(ORLUNE_EXAMPLES).parent_path() / "docs" / "design.schema.json";

std::shared_ptr<JsonDocument> parse(std::string text) {
    auto doc = std::make_shared<JsonDocument>();
    JsonError error;
    EXPECT_TRUE(parseJson(std::make_shared<const std::string>(std::move(text)), *doc, error)) << error.message;
    return doc;
}

std::wstring wide(std::string_view utf8) {
    std::wstring w;
    for (size_t pos = 0; pos < utf8.size();)
        w += static_cast<wchar_t>(nextUtf8(utf8, pos));
    return w;
}

// The keywords of JSON Schema 2020-12 that the design schema uses.
class Validator {
public:
    Validator(const JsonDocument& schema, const JsonDocument& doc) : s_(schema), d_(doc) {}

    std::vector<std::string> errors() {
        errors_.clear();
        check(s_.root, d_.root, "$");
        return errors_;
    }

private:
    JsonIndex keyword(JsonIndex schema, std::string_view name) const {
        return s_.type(schema) == JsonType::Object ? s_.find(schema, name) : kNoNode;
    }

    static double number(const JsonDocument& doc, JsonIndex v) {
        return std::strtod(std::string(doc.text(v)).c_str(), nullptr);
    }

    bool sameValue(JsonIndex schemaValue, JsonIndex v) const {
        const JsonType a = s_.type(schemaValue);
        const JsonType b = d_.type(v);
        if (a != b) return false;
        if (a == JsonType::Number) return number(s_, schemaValue) == number(d_, v);
        if (a == JsonType::String) return s_.text(schemaValue) == d_.text(v);
        return a != JsonType::Array && a != JsonType::Object;  // not used by the schema
    }

    bool hasType(std::string_view type, JsonIndex v) const {
        const JsonType t = d_.type(v);
        if (type == "object") return t == JsonType::Object;
        if (type == "array") return t == JsonType::Array;
        if (type == "string") return t == JsonType::String;
        if (type == "boolean") return t == JsonType::True || t == JsonType::False;
        if (type == "integer") return t == JsonType::Number && std::floor(number(d_, v)) == number(d_, v);
        if (type == "number") return t == JsonType::Number;
        return false;
    }

    bool valid(JsonIndex schema, JsonIndex v) {
        const size_t before = errors_.size();
        check(schema, v, "");
        const bool ok = errors_.size() == before;
        errors_.resize(before);
        return ok;
    }

    void fail(const std::string& at, const std::string& what) { errors_.push_back(at + ": " + what); }

    void check(JsonIndex schema, JsonIndex v, const std::string& at) {
        if (s_.type(schema) == JsonType::False) return fail(at, "not allowed");
        if (s_.type(schema) != JsonType::Object) return;
        if (const JsonIndex ref = keyword(schema, "$ref"); ref != kNoNode) {
            const std::string_view target = s_.text(ref);
            ASSERT_EQ(0u, target.find("#/$defs/"));
            const JsonIndex def = s_.find(s_.find(s_.root, "$defs"), target.substr(8));
            ASSERT_NE(kNoNode, def) << target;
            check(def, v, at);
        }
        if (const JsonIndex t = keyword(schema, "type"); t != kNoNode && !hasType(s_.text(t), v)) {
            return fail(at, "is not of type " + std::string(s_.text(t)));
        }
        if (const JsonIndex c = keyword(schema, "const"); c != kNoNode && !sameValue(c, v))
            fail(at, "is not the constant");
        if (const JsonIndex e = keyword(schema, "enum"); e != kNoNode) {
            bool any = false;
            for (uint32_t k = 0; k < s_.size(e); ++k)
                any = any || sameValue(s_.element(e, k), v);
            if (!any) fail(at, "is none of the enumerated values");
        }
        if (const JsonIndex n = keyword(schema, "not"); n != kNoNode && valid(n, v))
            fail(at, "matches what is forbidden");
        if (const JsonIndex all = keyword(schema, "allOf"); all != kNoNode) {
            for (uint32_t k = 0; k < s_.size(all); ++k)
                check(s_.element(all, k), v, at);
        }
        if (const JsonIndex condition = keyword(schema, "if"); condition != kNoNode && valid(condition, v)) {
            if (const JsonIndex then = keyword(schema, "then"); then != kNoNode) check(then, v, at);
        }
        const JsonType t = d_.type(v);
        if (t == JsonType::Number) {
            const double x = number(d_, v);
            if (const JsonIndex m = keyword(schema, "minimum"); m != kNoNode && x < number(s_, m))
                fail(at, "is too small");
            if (const JsonIndex m = keyword(schema, "maximum"); m != kNoNode && x > number(s_, m))
                fail(at, "is too large");
        }
        if (t == JsonType::String) checkString(schema, d_.text(v), at);
        if (t == JsonType::Array) checkArray(schema, v, at);
        if (t == JsonType::Object) checkObject(schema, v, at);
    }

    void checkString(JsonIndex schema, std::string_view text, const std::string& at) {
        const std::wstring w = wide(text);
        if (const JsonIndex m = keyword(schema, "minLength");
            m != kNoNode && static_cast<double>(w.size()) < number(s_, m))
            fail(at, "is too short");
        if (const JsonIndex m = keyword(schema, "maxLength");
            m != kNoNode && static_cast<double>(w.size()) > number(s_, m))
            fail(at, "is too long");
        if (const JsonIndex p = keyword(schema, "pattern"); p != kNoNode) {
            const std::wregex re(wide(s_.text(p)), std::regex::ECMAScript);
            if (!std::regex_search(w, re)) fail(at, "does not match the pattern");
        }
    }

    void checkArray(JsonIndex schema, JsonIndex v, const std::string& at) {
        const uint32_t n = d_.size(v);
        if (const JsonIndex m = keyword(schema, "minItems"); m != kNoNode && n < number(s_, m))
            fail(at, "has too few elements");
        if (const JsonIndex m = keyword(schema, "maxItems"); m != kNoNode && n > number(s_, m))
            fail(at, "has too many elements");
        uint32_t first = 0;
        if (const JsonIndex prefix = keyword(schema, "prefixItems"); prefix != kNoNode) {
            for (; first < n && first < s_.size(prefix); ++first) {
                check(s_.element(prefix, first), d_.element(v, first), at + "[" + std::to_string(first) + "]");
            }
        }
        if (const JsonIndex items = keyword(schema, "items"); items != kNoNode) {
            for (uint32_t k = first; k < n; ++k)
                check(items, d_.element(v, k), at + "[" + std::to_string(k) + "]");
        }
    }

    void checkObject(JsonIndex schema, JsonIndex v, const std::string& at) {
        if (const JsonIndex required = keyword(schema, "required"); required != kNoNode) {
            for (uint32_t k = 0; k < s_.size(required); ++k) {
                const std::string_view key = s_.text(s_.element(required, k));
                if (d_.find(v, key) == kNoNode) fail(at, "lacks " + std::string(key));
            }
        }
        const JsonIndex properties = keyword(schema, "properties");
        const JsonIndex additional = keyword(schema, "additionalProperties");
        const JsonIndex names = keyword(schema, "propertyNames");
        for (uint32_t k = 0; k < d_.size(v); ++k) {
            const std::string_view key = d_.text(d_.key(v, k));
            const std::string where = at + "." + std::string(key);
            if (names != kNoNode) checkString(names, key, where);
            const JsonIndex sub = properties != kNoNode ? s_.find(properties, key) : kNoNode;
            if (sub != kNoNode) {
                check(sub, d_.value(v, k), where);
            } else if (additional != kNoNode) {
                check(additional, d_.value(v, k), where);
            }
        }
    }

    const JsonDocument& s_;
    const JsonDocument& d_;
    std::vector<std::string> errors_;
};

class Schema : public ::testing::Test {
protected:
    void SetUp() override {
        schema = parse(orlune::test::readFile(kSchemaPath));
        ASSERT_EQ(JsonType::Object, schema->type(schema->root)) << kSchemaPath;
        defs = schema->find(schema->root, "$defs");
    }

    std::vector<std::string> errorsOf(std::string_view design) {
        const auto doc = parse(std::string(design));
        return Validator(*schema, *doc).errors();
    }

    std::set<std::string> keysOf(JsonIndex object, std::string_view keyword) const {
        std::set<std::string> keys;
        const JsonIndex v = object != kNoNode ? schema->find(object, keyword) : kNoNode;
        if (v == kNoNode) return keys;
        for (uint32_t k = 0; k < schema->size(v); ++k) {
            keys.emplace(schema->type(v) == JsonType::Object ? schema->text(schema->key(v, k))
                                                             : schema->text(schema->element(v, k)));
        }
        return keys;
    }

    std::shared_ptr<JsonDocument> schema;
    JsonIndex defs = kNoNode;
};

TEST_F(Schema, DescribesExactlyTheKeysTheLoaderReads) {
    for (const KnownObject& known : knownObjects()) {
        const std::string name(known.name);
        const JsonIndex object = name == "design" ? schema->root : schema->find(defs, name);
        ASSERT_NE(kNoNode, object) << name << " is not in the schema";
        std::set<std::string> properties = keysOf(object, "properties");
        std::set<std::string> required = keysOf(object, "required");
        if (name.size() > 4 && name.substr(name.size() - 4) == "Item") {
            const JsonIndex item = schema->find(defs, "item");
            properties.merge(keysOf(item, "properties"));
            required.merge(keysOf(item, "required"));
        }
        std::set<std::string> loaderAll;
        std::set<std::string> loaderRequired;
        for (auto k : known.required)
            loaderRequired.emplace(k), loaderAll.emplace(k);
        for (auto k : known.optional)
            loaderAll.emplace(k);
        EXPECT_EQ(loaderAll, properties) << name;
        EXPECT_EQ(loaderRequired, required) << name;
    }
}

TEST_F(Schema, TheDesignsOfTheTestsAreValid) {
    EXPECT_EQ(std::vector<std::string>{}, errorsOf(kMinimalDesign));
    EXPECT_EQ(std::vector<std::string>{}, errorsOf(kFullDesign));
}

TEST_F(Schema, EveryBundledExampleLoadsAndIsValid) {
    if (!std::filesystem::exists(ORLUNE_EXAMPLES)) GTEST_SKIP() << "no examples folder";
    for (const auto& entry : std::filesystem::directory_iterator(ORLUNE_EXAMPLES)) {
        if (entry.path().extension() != ".json") continue;
        const std::string text = orlune::test::readFile(entry.path());
        std::unique_ptr<Design> design;
        std::string reason;
        EXPECT_EQ(kOk, loadDesign(std::make_shared<const std::string>(text), entry.path().string(), design, reason))
            << reason;
        EXPECT_EQ(std::vector<std::string>{}, errorsOf(text)) << entry.path();
    }
}

TEST_F(Schema, TheNameRulesAreInThePattern) {
    EXPECT_EQ(std::vector<std::string>{"$.components[2].refDes: does not match the pattern"},
              errorsOf(replaced(kFullDesign, "\"R1\"", "\"R1 \"")));
    EXPECT_EQ(std::vector<std::string>{"$.components[2].refDes: does not match the pattern"},
              errorsOf(replaced(kFullDesign, "\"R1\"", "\"\\u0081\"")));
    EXPECT_EQ(std::vector<std::string>{}, errorsOf(replaced(kFullDesign, "\"R1\"", "\"R 1 €Ÿ\"")));
    EXPECT_EQ(std::vector<std::string>{"$.components[1].pins: has too few elements"},
              errorsOf(replaced(kFullDesign,
                                "\"pins\": [ { \"x\": 2000000, \"y\": 500000, \"sheet\": 2, \"net\": 1 }, { \"x\": 1, "
                                "\"y\": 2, \"sheet\": 0, \"net\": 0 } ]",
                                "\"pins\": []")));
}

struct Invalid {
    const char* name;
    std::string_view from;
    std::string_view to;
};

void PrintTo(const Invalid& c, std::ostream* os) {
    *os << c.name;
}

class SchemaRefusal : public Schema, public ::testing::WithParamInterface<Invalid> {};

TEST_P(SchemaRefusal, WhatTheLoaderRefusesTheSchemaRefusesToo) {
    const std::string text = replaced(kFullDesign, GetParam().from, GetParam().to);
    std::unique_ptr<Design> design;
    std::string reason;
    EXPECT_NE(kOk, loadDesign(std::make_shared<const std::string>(text), "d.json", design, reason));
    EXPECT_NE(std::vector<std::string>{}, errorsOf(text)) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, SchemaRefusal,
    ::testing::Values(
        Invalid{"format", "\"orlune-design\"", "\"other\""}, Invalid{"version", "\"version\": 1", "\"version\": 2"},
        Invalid{"units missing", "\"units\": 1,", ""},
        Invalid{"workspace of three", "[25400000, 17780000]", "[1, 2, 3]"},
        Invalid{"workspace beyond 32 bits", "[25400000, 17780000]", "[2147483648, 1]"},
        Invalid{"text limit", "\"units\": 1,", "\"units\": 1, \"textLimit\": 256,"},
        Invalid{"style number", "{ \"number\": 1,", "{ \"number\": 100,"},
        Invalid{"style height", "\"height\": 100,", "\"height\": 0,"},
        Invalid{"advance key", "\"@\": 100", "\"@@\": 100"},
        Invalid{"net 0", "{ \"id\": 1, \"name\": \"VBAT\" }", "{ \"id\": 0, \"name\": \"VBAT\" }"},
        Invalid{"bus name space", "{ \"name\": \"D\",", "{ \"name\": \" D\","},
        Invalid{"refDes empty", "\"R1\"", "\"\""}, Invalid{"refDes trailing space", "\"R1\"", "\"R1 \""},
        Invalid{"refDes not Windows-1252", "\"R1\"", "\"R\u4e2d\""}, Invalid{"refDes NUL", "\"R1\"", "\"R\\u0000\""},
        Invalid{
            "refDes of 100", "\"R1\"",
            "\"RRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRR\""},
        Invalid{"connector without pins",
                "\"pins\": [ { \"x\": 2000000, \"y\": 500000, \"sheet\": 2, \"net\": 1 }, { \"x\": 1, \"y\": 2, "
                "\"sheet\": 0, \"net\": 0 } ]",
                "\"pins\": []"},
        Invalid{"pin x fractional", "{ \"x\": 0, \"y\": 0, \"sheet\": 1 }", "{ \"x\": 0.5, \"y\": 0, \"sheet\": 1 }"},
        Invalid{"flipped a number", "\"flipped\": false", "\"flipped\": 0"},
        Invalid{"symbol missing", ", \"symbol\": { \"sheet\": 1, \"x\": 0, \"y\": 0 }", ""},
        Invalid{"item type", "\"type\": \"line\"", "\"type\": \"arc\""},
        Invalid{"text without text", "\"text\": \"@2\", ", ""},
        Invalid{"line without y2", ", \"x2\": 10, \"y2\": 0 }\n  ]", ", \"x2\": 10 }\n  ]"},
        Invalid{"attribute units", "\"units\": 1 }", "\"units\": \"mil\" }"}),
    [](const ::testing::TestParamInfo<Invalid>& param) {
        std::string n;
        for (const char c : std::string(param.param.name))
            n += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return n;
    });

}  // namespace
}  // namespace orlune::host

// Loading a design file: the model it gives, and every refusal with its
// status and its one-line reason.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "host/file_support.h"
#include "host/json.h"
#include "host/load.h"

namespace orlune::host {
namespace {

using test::kFullDesign;
using test::kMinimalDesign;
using test::replaced;

struct Loaded {
    int32_t status = -1;
    std::string reason;
    std::unique_ptr<Design> design;
};

Loaded load(std::string_view text) {
    Loaded l;
    l.status = loadDesign(std::make_shared<const std::string>(text), "design.json", l.design, l.reason);
    return l;
}

TEST(Load, TheMinimalDesignOfTheContractLoads) {
    const Loaded l = load(kMinimalDesign);
    ASSERT_EQ(kOk, l.status) << l.reason;
    const Design& d = *l.design;
    EXPECT_EQ(1, d.units);
    EXPECT_EQ(25400000, d.workspaceX);
    EXPECT_EQ(17780000, d.workspaceY);
    EXPECT_EQ(255, d.textLimit);
    ASSERT_EQ(1u, d.textStyles.size());
    EXPECT_EQ(0, d.textStyles[0].id);  // id defaults to the number
    ASSERT_EQ(2u, d.components.size());
    EXPECT_EQ("SC2", d.components[1].refDes);
    EXPECT_TRUE(d.components[1].symbol.flipped);
    EXPECT_TRUE(d.components[1].attributes.empty());
    EXPECT_FALSE(d.changed);
    ASSERT_NE(nullptr, d.document);
}

TEST(Load, EveryFieldReachesTheModel) {
    const Loaded l = load(kFullDesign);
    ASSERT_EQ(kOk, l.status) << l.reason;
    const Design& d = *l.design;
    const JsonDocument& doc = *d.document;

    ASSERT_EQ(2u, d.textStyles.size());
    const TextStyle& small = d.textStyles[1];
    EXPECT_EQ(1, small.number);
    EXPECT_EQ(7, small.id);
    EXPECT_EQ("Small", small.name);
    EXPECT_EQ(100, small.height);
    EXPECT_EQ(60, small.charWidth);
    EXPECT_EQ(100, small.advances.at(U'@'));
    EXPECT_EQ(80, small.advances.at(U'€'));
    EXPECT_EQ("Small", doc.text(doc.find(small.source, "name")));

    ASSERT_EQ(3u, d.sheets.size());
    EXPECT_EQ(0, d.sheets[2].id);
    EXPECT_EQ("Board", d.sheets[2].name);
    ASSERT_EQ(2u, d.nets.size());
    EXPECT_EQ(-2, d.nets[1].id);
    ASSERT_EQ(1u, d.buses.size());
    EXPECT_EQ((std::vector<int32_t>{1, -2}), d.buses[0].nets);

    ASSERT_EQ(3u, d.components.size());
    const Component& sc1 = d.components[0];
    EXPECT_EQ("SH_CONN", sc1.type);
    EXPECT_EQ(2, sc1.kind);
    ASSERT_EQ(1u, sc1.attributes.size());
    EXPECT_EQ("SH_TYPE", sc1.attributes[0].name);
    EXPECT_EQ("1", sc1.attributes[0].value);
    EXPECT_FALSE(sc1.attributes[0].units.has_value());
    const Component& sc2 = d.components[1];
    ASSERT_EQ(2u, sc2.pins.size());
    EXPECT_EQ(2000000, sc2.pins[0].x);
    EXPECT_EQ(2, sc2.pins[0].sheet);
    EXPECT_EQ(1, sc2.pins[0].net);
    EXPECT_EQ(0, sc2.pins[1].sheet);
    EXPECT_EQ(3, sc2.symbol.highlight);
    EXPECT_TRUE(sc2.symbol.selected);
    EXPECT_EQ(0, d.components[2].pins[0].net);  // absent: unconnected
    EXPECT_FALSE(d.components[2].symbol.flipped);
    EXPECT_EQ(0, d.components[2].symbol.highlight);
    EXPECT_NE(sc2.source, sc2.symbol.source);
    EXPECT_EQ(JsonType::Object, doc.type(sc2.pins[1].source));

    ASSERT_EQ(4u, d.items.size());
    EXPECT_EQ(ItemType::Text, d.items[0].type);
    EXPECT_EQ("@2", d.items[0].text);
    EXPECT_EQ(644400, d.items[0].x);
    EXPECT_EQ(6, d.items[0].justification);
    EXPECT_EQ(ItemType::Bus, d.items[1].type);
    EXPECT_EQ("D", d.items[1].bus);
    EXPECT_TRUE(d.items[1].selected);
    EXPECT_EQ(ItemType::Wire, d.items[2].type);
    EXPECT_EQ(-2, d.items[2].net);
    EXPECT_EQ(ItemType::Line, d.items[3].type);
    EXPECT_EQ(-5, d.items[3].x1);
    EXPECT_EQ(0, d.items[3].sheet);

    ASSERT_EQ(2u, d.attributes.size());
    EXPECT_EQ(1, d.attributes[0].units.value_or(-1));
    EXPECT_FALSE(d.attributes[1].units.has_value());
}

TEST(Load, TheSummaryCountsWhatCheckPrints) {
    const Loaded l = load(kFullDesign);
    ASSERT_EQ(kOk, l.status);
    const DesignSummary s = summarize(*l.design);
    EXPECT_EQ(2, s.sheets);  // the layer of id 0 is no sheet
    EXPECT_EQ(3, s.components);
    EXPECT_EQ(2, s.sheetConnectors);
    EXPECT_EQ(2, s.nets);
    EXPECT_EQ(1, s.buses);
    EXPECT_EQ(4, s.items);
}

TEST(Load, MissingArraysAreEmpty) {
    const Loaded l = load(R"({"format": "orlune-design", "version": 1, "units": 2, "workspace": [1, 2]})");
    ASSERT_EQ(kOk, l.status) << l.reason;
    EXPECT_TRUE(l.design->components.empty());
    EXPECT_TRUE(l.design->sheets.empty());
    EXPECT_EQ(2, l.design->units);
}

TEST(Load, UnknownKeysAreAcceptedWithAnyValue) {
    std::string text = replaced(kFullDesign, "\"units\": 1,", "\"units\": 1, \"extra\": {\"a\": [1.5, null]},");
    text = replaced(text, "\"value\": \"1\" }", "\"value\": \"1\", \"units\": \"mm\" }");  // not a key here
    text = replaced(text, "\"flipped\": false }", "\"flipped\": false, \"rotation\": 90.5 }");
    const Loaded l = load(text);
    ASSERT_EQ(kOk, l.status) << l.reason;
    EXPECT_FALSE(l.design->components[0].attributes[0].units.has_value());
}

TEST(Load, AReferenceDesignatorOf99Windows1252BytesIsAccepted) {
    std::string name;
    for (int i = 0; i < 99; ++i)
        name += "é";  // two bytes in UTF-8, one in Windows-1252
    const Loaded l = load(replaced(kFullDesign, "\"R1\"", "\"" + name + "\""));
    ASSERT_EQ(kOk, l.status) << l.reason;
    EXPECT_EQ(name, l.design->components[2].refDes);
}

TEST(Load, AFreeTextKeepsItsNulCharacter) {
    const Loaded l = load(replaced(kFullDesign, "\"text\": \"@2\"", R"("text": "@2\u0000tail")"));
    ASSERT_EQ(kOk, l.status) << l.reason;
    EXPECT_EQ(std::string("@2\0tail", 7), l.design->items[0].text);
}

TEST(Load, ATextLimitOf1To255IsAccepted) {
    for (const char* limit : {"1", "255"}) {
        const Loaded l =
            load(replaced(kFullDesign, "\"units\": 1,", std::string("\"units\": 1, \"textLimit\": ") + limit + ","));
        ASSERT_EQ(kOk, l.status) << l.reason;
        EXPECT_EQ(std::stoi(limit), l.design->textLimit);
    }
}

struct Refusal {
    const char* name;
    std::string text;
    int32_t status;
    std::string reason;  // the whole reason
};

void PrintTo(const Refusal& r, std::ostream* os) {
    *os << r.name;
}

class LoadRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(LoadRefusal, GivesItsStatusAndOneLineReason) {
    const Refusal& r = GetParam();
    const Loaded l = load(r.text);
    EXPECT_EQ(r.status, l.status) << r.name;
    EXPECT_EQ(r.reason, l.reason) << r.name;
    EXPECT_EQ(nullptr, l.design);
    EXPECT_EQ(std::string::npos, l.reason.find('\n'));
}

std::string refusalName(const ::testing::TestParamInfo<Refusal>& param) {
    std::string n;
    for (const char c : std::string(param.param.name))
        n += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return n;
}

// `from` -> `to` in the full design.
Refusal change(const char* name, std::string_view from, std::string_view to, std::string reason,
               int32_t status = kInvalidDesign) {
    return {name, replaced(kFullDesign, from, to), status, "design.json:" + std::move(reason)};
}

INSTANTIATE_TEST_SUITE_P(
    NotJson, LoadRefusal,
    ::testing::Values(
        Refusal{"empty file", "", kNotJson, "design.json:1: not JSON: the file is empty"},
        Refusal{"not JSON at all", "format = orlune\n", kNotJson,
                "design.json:1: not JSON: expected a value, found 'f' (column 1)"},
        change("missing comma", "\"units\": 1,", "\"units\": 1",
               "5: not JSON: expected ',' or '}' after an object member, found '\"' (column 3)", kNotJson),
        Refusal{"truncated", std::string(kFullDesign.substr(0, kFullDesign.size() / 2)), kNotJson,
                "design.json:17: not JSON: the file ends inside a string (column 45)"},
        change("invalid UTF-8", "\"Main\"", "\"M\xe4in\"", "10: not JSON: invalid UTF-8 (column 36)", kNotJson),
        Refusal{"deep nesting", "{\"x\": " + std::string(300, '[') + std::string(300, ']') + "}", kNotJson,
                "design.json:1: not JSON: nesting deeper than 256 levels (column 262)"}),
    refusalName);

INSTANTIATE_TEST_SUITE_P(
    TopLevel, LoadRefusal,
    ::testing::Values(
        Refusal{"an array", "[]", kInvalidDesign, "design.json:1: the top level must be an object"},
        change("format missing", "\"format\": \"orlune-design\",", "",
               "1: \"format\" is missing: a design file has \"format\": \"orlune-design\""),
        change("another format", "\"orlune-design\"", "\"kicad\"", "2: format: \"kicad\" is not \"orlune-design\""),
        change("version 2", "\"version\": 1", "\"version\": 2",
               "3: version: 2 is not supported (this host reads version 1)", kIncompatible),
        change("version 2 wins over other faults", "\"version\": 1,\n  \"units\": 1,", "\"version\": 2,",
               "3: version: 2 is not supported (this host reads version 1)", kIncompatible),
        change("version as a string", "\"version\": 1", "\"version\": \"1\"",
               "3: version: must be an integer, not a string"),
        change("version 1.0", "\"version\": 1", "\"version\": 1.0",
               "3: version: 1.0 is not an integer (write it without a fraction or an exponent)"),
        change("version missing", "\"version\": 1,", "", "1: \"version\" is missing"),
        change("units missing", "\"units\": 1,", "", "1: \"units\" is missing"),
        change("duplicate key", "\"units\": 1,", "\"units\": 1, \"units\": 2,",
               "4: the key \"units\" appears twice in one object"),
        change("units 1e0", "\"units\": 1,", "\"units\": 1e0,",
               "4: units: 1e0 is not an integer (write it without a fraction or an exponent)"),
        change("workspace of one", "[25400000, 17780000]", "[25400000]",
               "5: workspace: must be an array of two integers [x, y]"),
        change("workspace beyond 32 bits", "[25400000, 17780000]", "[2147483648, 17780000]",
               "5: workspace[0]: 2147483648 does not fit a 32-bit integer"),
        change("workspace below 32 bits", "[25400000, 17780000]", "[0, -2147483649]",
               "5: workspace[1]: -2147483649 does not fit a 32-bit integer"),
        change("text limit 0", "\"units\": 1,", "\"units\": 1, \"textLimit\": 0,", "4: textLimit: 0 is outside 1..255"),
        change("text limit 256", "\"units\": 1,", "\"units\": 1, \"textLimit\": 256,",
               "4: textLimit: 256 is outside 1..255"),
        change("items not an array", "\"items\": [", "\"items\": {}, \"x\": [",
               "22: items: must be an array, not an object")),
    refusalName);

INSTANTIATE_TEST_SUITE_P(
    StylesSheetsNetsBuses, LoadRefusal,
    ::testing::Values(
        change("style number repeated", "{ \"number\": 1,", "{ \"number\": 0,",
               "8: textStyles[1].number: 0 is used twice (also textStyles[0])"),
        change("style number gap", "{ \"number\": 1,", "{ \"number\": 2,",
               "8: textStyles[1].number: 2 leaves a gap: the style numbers must be 0..1"),
        change("style number 100", "{ \"number\": 1,", "{ \"number\": 100,",
               "8: textStyles[1].number: 100 is outside 0..99"),
        change("style height 0", "\"height\": 100,", "\"height\": 0,",
               "8: textStyles[1].height: must be greater than 0"),
        change("style name missing", "\"name\": \"Small\", ", "", "8: textStyles[1]: \"name\" is missing"),
        change("advance of two characters", "\"@\": 100", "\"@@\": 100",
               "8: textStyles[1].advances[\"@@\"]: a key of \"advances\" must be one character"),
        change("advance not an integer", "\"@\": 100", "\"@\": 1.5",
               "8: textStyles[1].advances[\"@\"]: 1.5 is not an integer (write it without a fraction or an exponent)"),
        change("sheet gap", "{ \"id\": 2, \"name\": \"Power\" }", "{ \"id\": 3, \"name\": \"Power\" }",
               "10: sheets[1].id: 3 is outside 1..2: the sheets other than 0 are numbered 1..N without gaps"),
        change("sheet repeated", "{ \"id\": 2, \"name\": \"Power\" }", "{ \"id\": 1, \"name\": \"Power\" }",
               "10: sheets[1].id: 1 is used twice (also sheets[0])"),
        change("two layers 0", "{ \"id\": 2, \"name\": \"Power\" }", "{ \"id\": 0, \"name\": \"Power\" }",
               "10: sheets[2].id: 0 is used twice (also sheets[1])"),
        change("negative sheet", "{ \"id\": 2, \"name\": \"Power\" }", "{ \"id\": -1, \"name\": \"Power\" }",
               "10: sheets[1].id: -1 is outside 1..2: the sheets other than 0 are numbered 1..N without gaps"),
        change("sheet name a number", "\"name\": \"Main\"", "\"name\": 1",
               "10: sheets[0].name: must be a string, not a number"),
        change("net 0", "{ \"id\": 1, \"name\": \"VBAT\" }", "{ \"id\": 0, \"name\": \"VBAT\" }",
               "11: nets[0].id: 0 is not a net id (0 means unconnected)"),
        change("net repeated", "{ \"id\": -2, \"name\": \"GND\" }", "{ \"id\": 1, \"name\": \"GND\" }",
               "11: nets[1].id: 1 is used twice (also nets[0])"),
        change("bus net unknown", "\"nets\": [1, -2]", "\"nets\": [1, 9]", "12: buses[0].nets[1]: no net has the id 9"),
        change("bus name with a space", "{ \"name\": \"D\",", "{ \"name\": \"D \",",
               "12: buses[0].name: \"D \" begins or ends with a space"),
        change("bus name empty", "{ \"name\": \"D\",", "{ \"name\": \"\",", "12: buses[0].name: \"\" is empty"),
        change("bus repeated", "\"buses\": [ { \"name\": \"D\", \"nets\": [1, -2] } ]",
               "\"buses\": [ { \"name\": \"D\", \"nets\": [1, -2] }, { \"name\": \"D\" } ]",
               "12: buses[1].name: \"D\" is used twice (also buses[0])")),
    refusalName);

INSTANTIATE_TEST_SUITE_P(
    Components, LoadRefusal,
    ::testing::Values(
        change("refDes repeated", "\"R1\"", "\"SC1\"",
               "20: components[2].refDes: \"SC1\" is used twice (also components[0])"),
        change("refDes empty", "\"R1\"", "\"\"", "20: components[2].refDes: \"\" is empty"),
        change("refDes leading space", "\"R1\"", "\" R1\"",
               "20: components[2].refDes: \" R1\" begins or ends with a space"),
        change("refDes trailing space", "\"R1\"", "\"R1 \"",
               "20: components[2].refDes: \"R1 \" begins or ends with a space"),
        change("refDes not Windows-1252", "\"R1\"", "\"R\u4e2d\"",
               "20: components[2].refDes: \"R\u4e2d\" holds a character that Windows-1252 cannot hold (U+4E2D)"),
        change("refDes unassigned byte", "\"R1\"", "\"R\\u0081\"",
               "20: components[2].refDes: \"R\u0081\" holds a character that Windows-1252 cannot hold (U+0081)"),
        change("refDes NUL", "\"R1\"", "\"R\\u00001\"",
               "20: components[2].refDes: \"R\\u00001\" holds a NUL character"),
        change("refDes of 100", "\"R1\"", "\"" + std::string(100, 'R') + "\"",
               "20: components[2].refDes: \"" + std::string(60, 'R') + "...\" is 100 characters long (at most 99)"),
        change("refDes a number", "\"R1\"", "1", "20: components[2].refDes: must be a string, not a number"),
        change("kind missing", "\"kind\": 0, ", "", "20: components[2]: \"kind\" is missing"),
        change("symbol missing", ", \"symbol\": { \"sheet\": 1, \"x\": 0, \"y\": 0 }", "",
               "20: components[2]: \"symbol\" is missing"),
        change("connector without pins",
               "\"pins\": [ { \"x\": 2000000, \"y\": 500000, \"sheet\": 2, \"net\": 1 }, { \"x\": 1, \"y\": 2, "
               "\"sheet\": 0, \"net\": 0 } ]",
               "\"pins\": []", "18: components[1].pins: a sheet connector (kind 2) needs at least one pin"),
        change("connector pins missing",
               "\"pins\": [ { \"x\": 2000000, \"y\": 500000, \"sheet\": 2, \"net\": 1 }, { \"x\": 1, \"y\": 2, "
               "\"sheet\": 0, \"net\": 0 } ],",
               "", "17: components[1].pins: a sheet connector (kind 2) needs at least one pin"),
        change("pin on an undeclared sheet", "\"sheet\": 1, \"net\": 1 }", "\"sheet\": 5, \"net\": 1 }",
               "15: components[0].pins[0].sheet: 5 is not a declared sheet"),
        change("pin on an unknown net", "\"sheet\": 1, \"net\": 1 }", "\"sheet\": 1, \"net\": 9 }",
               "15: components[0].pins[0].net: no net has the id 9"),
        change("pin x fractional", "{ \"x\": 0, \"y\": 0, \"sheet\": 1 }", "{ \"x\": 0.5, \"y\": 0, \"sheet\": 1 }",
               "20: components[2].pins[0].x: 0.5 is not an integer (write it without a fraction or an exponent)"),
        change("symbol on an undeclared sheet", "\"symbol\": { \"sheet\": 1, \"x\": 0",
               "\"symbol\": { \"sheet\": 3, \"x\": 0", "20: components[2].symbol.sheet: 3 is not a declared sheet"),
        change("flipped as a number", "\"flipped\": false", "\"flipped\": 0",
               "16: components[0].symbol.flipped: must be true or false, not a number"),
        change("highlight as a boolean", "\"highlight\": 3", "\"highlight\": true",
               "19: components[1].symbol.highlight: must be an integer, not a boolean"),
        change("attribute value missing", ", \"value\": \"1\"", "",
               "14: components[0].attributes[0]: \"value\" is missing"),
        change("attributes not an array", "\"attributes\": [ { \"name\": \"SH_TYPE\", \"value\": \"1\" } ]",
               "\"attributes\": null", "14: components[0].attributes: must be an array, not null"),
        change("component not an object", "{ \"refDes\": \"R1\"", "7, { \"refDes\": \"R1\"",
               "20: components[2]: must be an object, not a number")),
    refusalName);

INSTANTIATE_TEST_SUITE_P(
    ItemsAndAttributes, LoadRefusal,
    ::testing::Values(change("item type unknown", "\"type\": \"line\"", "\"type\": \"arc\"",
                             "26: items[3].type: \"arc\" is not an item type (text, bus, wire, line)"),
                      change("item type missing", "\"type\": \"line\", ", "", "26: items[3]: \"type\" is missing"),
                      change("item on an undeclared sheet", "\"type\": \"wire\", \"sheet\": 2",
                             "\"type\": \"wire\", \"sheet\": 4", "25: items[2].sheet: 4 is not a declared sheet"),
                      change("text without its text", "\"text\": \"@2\", ", "", "23: items[0]: \"text\" is missing"),
                      change("text style fractional", "\"style\": 0,", "\"style\": 0.0,",
                             "23: items[0].style: 0.0 is not an integer (write it without a fraction or an exponent)"),
                      change("bus item of an unknown bus", "\"bus\": \"D\"", "\"bus\": \"E\"",
                             "24: items[1].bus: no bus is named \"E\""),
                      change("wire on an unknown net", "\"net\": -2, \"x1\"", "\"net\": 3, \"x1\"",
                             "25: items[2].net: no net has the id 3"),
                      change("selected as a string", "\"y2\": 0, \"selected\": true }",
                             "\"y2\": 0, \"selected\": \"yes\" }",
                             "24: items[1].selected: must be true or false, not a string"),
                      change("line without y2", ", \"x2\": 10, \"y2\": 0 }\n  ]", ", \"x2\": 10 }\n  ]",
                             "26: items[3]: \"y2\" is missing"),
                      change("design attribute units as a string", "\"units\": 1 }", "\"units\": \"mil\" }",
                             "28: attributes[0].units: must be an integer, not a string"),
                      change("design attribute name missing", "{ \"name\": \"NOTE\", ", "{ ",
                             "28: attributes[1]: \"name\" is missing")),
    refusalName);

TEST(LoadNames, TheRulesOfReferenceDesignatorsAndBusNames) {
    EXPECT_EQ("", textFieldNameProblem("SC1"));
    EXPECT_EQ("", textFieldNameProblem("€ Š\t"));  // inner spaces and tabs are kept by the trim
    EXPECT_EQ("is empty", textFieldNameProblem(""));
    EXPECT_EQ("begins or ends with a space", textFieldNameProblem(" "));
    EXPECT_EQ("", textFieldNameProblem(std::string(99, 'x')));
    EXPECT_EQ("is 100 characters long (at most 99)", textFieldNameProblem(std::string(100, 'x')));
}

}  // namespace
}  // namespace orlune::host

// Bad and extreme input through the command line: a design the host refuses
// is named with its reason and left as it was; whatever the host accepts
// (odd characters, NUL, huge texts, thousands of attributes, coordinates at
// the 32-bit limits) is updated without a crash, and what the program does
// not own comes back unchanged.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>

#include "app/cli_support.h"
#include "app/design_run.h"

namespace orlune::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

std::string replacedOnce(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    if (at == std::string::npos) throw std::runtime_error("no " + from);
    return text.replace(at, from.size(), to);
}

// The minimal design with one more top-level key before "textStyles".
std::string withKey(const std::string& keyAndValue) {
    return replacedOnce(minimalDesign(), "\"textStyles\"", keyAndValue + ",\n  \"textStyles\"");
}

class BadInput : public ::testing::Test {
protected:
    std::string write(const std::string& json) {
        const std::filesystem::path p = dir.file("d.json");
        writeFile(p, json);
        return p.string();
    }
    TempDir dir;
};

struct Refused {
    const char* what;
    std::string json;
    const char* reason;  // a part of the host's reason
};

TEST_F(BadInput, ARefusedDesignIsNamedWithItsReasonAndLeftAsItWas) {
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const Refused cases[] = {
        {"nesting far too deep", withKey("\"deep\": " + deep), "not JSON: nesting deeper than 256 levels"},
        {"top level nested", deep, "not JSON: nesting deeper than 256 levels"},
        {"x beyond 32 bits", replacedOnce(minimalDesign(), "\"x\": 1000000", "\"x\": 2147483648"),
         "2147483648 does not fit a 32-bit integer"},
        {"y below 32 bits", replacedOnce(minimalDesign(), "\"y\": 500000", "\"y\": -2147483649"),
         "-2147483649 does not fit a 32-bit integer"},
        {"a fraction", replacedOnce(minimalDesign(), "\"kind\": 2", "\"kind\": 2.0"), "2.0 is not an integer"},
        {"NUL in a refDes", replacedOnce(minimalDesign(), "\"SC1\"", "\"S\\u0000C1\""), "holds a NUL character"},
        {"a refDes Windows-1252 lacks", replacedOnce(minimalDesign(), "\"SC1\"", "\"SC\u2713\""),
         "holds a character that Windows-1252 cannot hold (U+2713)"},
        {"a refDes over its field", replacedOnce(minimalDesign(), "\"SC1\"", "\"" + std::string(100, 'R') + "\""),
         "is 100 characters long (at most 99)"},
        {"a raw NUL byte", replacedOnce(minimalDesign(), "VBAT", std::string("VB\0AT", 5)),
         "not JSON: a control character inside a string must be escaped"},
        {"not UTF-8", replacedOnce(minimalDesign(), "VBAT", "VB\xff"), "not JSON: invalid UTF-8"},
        {"a lone surrogate", replacedOnce(minimalDesign(), "VBAT", "VB\\ud800"), "not JSON: a lone surrogate"},
        {"empty", "", "the file is empty"},
        {"a repeated key", replacedOnce(minimalDesign(), "\"units\": 1", "\"units\": 1, \"units\": 2"),
         "appears twice in one object"},
    };
    for (const Refused& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string d = write(c.json);
        const CliResult check = runCli({"check", d});
        EXPECT_EQ(3, check.status);
        EXPECT_THAT(check.out, HasSubstr(c.reason));
        EXPECT_LT(check.out.size(), 400u) << "a reason is one short line";

        const CliResult update = runCli({"update", d, "--list"});
        EXPECT_EQ(3, update.status);
        EXPECT_EQ("", update.out);
        EXPECT_THAT(update.err, ::testing::StartsWith("Error: Design connection error\n" + d + ":"));
        EXPECT_THAT(update.err, HasSubstr(c.reason));
        EXPECT_EQ(c.json, readFile(d));
    }
}

TEST_F(BadInput, WhatTheProgramDoesNotOwnComesBackUnchanged) {
    // Texts the program only reads: a NUL, characters Windows-1252 lacks,
    // texts over every field's width, numbers the model does not read, a
    // deep and a huge unknown value.
    const std::string longText(300, 'T');
    const std::string huge(4 << 20, 'h');
    const std::string nested = std::string(250, '[') + "1e400" + std::string(250, ']');
    DesignParts parts;
    parts.textStyles =
        R"({ "number": 0, "name": ")" + std::string(150, 'S') + R"(", "height": 228600, "charWidth": 152400 })";
    parts.components = connector("SC1", 1, 1000000, false) + ",\n" + connector("SC2", 2, 2000000, true) + ",\n" +
                       R"({ "refDes": ")" + std::string(99, 'R') + R"(", "type": ")" + std::string(150, 'X') +
                       R"(", "kind": 0, "attributes": [ { "name": "Value", "value": "10 \u03a9 )" + longText +
                       R"(" } ], "pins": [], "symbol": { "sheet": 1, "x": 0, "y": 0 } })";
    parts.items = textItem("ab\\u0000cd", 1) + ",\n" + textItem("\u2192 \u2713 \u4e2d", 2) + ",\n" +
                  textItem(longText, 1) + ",\n" +
                  R"({ "type": "line", "sheet": 2, "x1": 0, "y1": 0, "x2": 1, "y2": 1, )" + R"("extra": )" + nested +
                  R"(, "blob": ")" + huge + "\" }";
    parts.attributes = R"({ "name": "\u0394 note", "value": "\u2713" })";
    const std::string d = write(makeDesign(parts));

    const CliResult r = runCli({"update", d, "--list"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("SC1\t1\t644400\t500000\t6\t@2\nSC2\t2\t2482600\t500000\t4\t@1\n", r.out);
    const std::string after = readFile(d);
    for (const std::string& kept :
         {std::string(R"("ab\u0000cd")"), std::string("\"\u2192 \u2713 \u4e2d\""), "\"" + longText + "\"",
          "\"10 \u03a9 " + longText + "\"", "\"" + std::string(99, 'R') + "\"", "\"" + std::string(150, 'X') + "\"",
          "\"" + std::string(150, 'S') + "\"", std::string("\"\u0394 note\""), std::string("1e400"),
          "\"blob\": \"" + huge + "\""}) {
        EXPECT_THAT(after, HasSubstr(kept)) << kept.substr(0, 80);
    }
    // A second update changes nothing more.
    const CliResult again = runCli({"update", d});
    EXPECT_EQ(0, again.status) << again.err;
    EXPECT_EQ(after, readFile(d));
}

TEST_F(BadInput, AnOwnTextOverTheFieldsWidthIsStillRecognisedAndReplaced) {
    DesignParts parts;
    parts.components = connector("SC1", 1, 1000000, false) + ",\n" + connector("SC2", 2, 2000000, true);
    std::string stale = "@";
    while (stale.size() < 400)
        stale += "1,";
    parts.items = textItem(stale, 1) + ",\n" + textItem("@@", 2);
    const std::string d = write(makeDesign(parts));
    const CliResult r = runCli({"update", d});
    EXPECT_EQ(0, r.status) << r.err;
    const std::string after = readFile(d);
    EXPECT_THAT(after, Not(HasSubstr("\"@1,1,")));
    EXPECT_THAT(after, Not(HasSubstr("\"@@\"")));
    EXPECT_EQ(0, runCli({"verify", d}).status);
}

TEST_F(BadInput, ThousandsOfAttributesAreWalkedToTheirEnd) {
    std::string many;
    for (int i = 0; i < 3000; ++i)
        many += R"({ "name": "A)" + std::to_string(i) + R"(", "value": ")" + std::to_string(i) + "\" },\n";
    DesignParts parts;
    parts.components = replacedOnce(connector("SC1", 1, 1000000, false), "\"attributes\": [ ",
                                    "\"attributes\": [ " + many + R"({ "name": "SH_TYPE", "value": "1" })") +
                       ",\n" + connector("SC2", 2, 2000000, true);
    parts.attributes = many + R"({ "name": "ORLUNE", "value": "1_150_190_600_", "units": 1 })";
    const std::string d = write(makeDesign(parts));

    const CliResult status = runCli({"status", d});
    EXPECT_EQ(0, status.status) << status.err;
    EXPECT_THAT(status.out, HasSubstr("More rows SC: 1\n"));
    const CliResult settings = runCli({"settings", d});
    EXPECT_THAT(settings.out, HasSubstr("Left side start: 150\n"));
    const CliResult update = runCli({"update", d, "--list"});
    EXPECT_EQ(0, update.status) << update.err;
    EXPECT_THAT(update.out, HasSubstr("SC1\t1\t619000\t500000\t6\t@2\n"));  // 1000000 - 150 mil
}

TEST_F(BadInput, ATextWhosePlaceFallsOutside32BitsIsNotPlacedAndTheUserIsTold) {
    DesignParts parts;
    // SC1's text goes to the left of the smallest x, SC2's to the right of
    // the largest; SC3 and SC4 sit at the extremes with room to spare.
    parts.sheets = 4;
    const int lowest = std::numeric_limits<int>::min();
    const int highest = std::numeric_limits<int>::max();
    parts.components = connector("SC1", 1, lowest, false) + ",\n" + connector("SC2", 2, highest, true) + ",\n" +
                       connector("SC3", 3, highest, false) + ",\n" + connector("SC4", 4, lowest, true);
    const std::string d = write(makeDesign(parts));
    const CliResult r = runCli({"update", d, "--list"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(
        "Warning: Text of SC1 lies outside the design's coordinates\n"
        "Warning: Text of SC2 lies outside the design's coordinates\n",
        r.err);
    // 140 mil to the left of the largest x, 190 mil to the right of the
    // smallest.
    EXPECT_EQ("SC3\t3\t" + std::to_string(highest - 140 * 2540) + "\t500000\t6\t@1,2,4\n" + "SC4\t4\t" +
                  std::to_string(lowest + 190 * 2540) + "\t500000\t4\t@1,2,3\n",
              r.out);
}

TEST_F(BadInput, TextsOfTheLargestStyleAreMeasuredWithoutWrapping) {
    DesignParts parts;
    parts.textStyles = R"({ "number": 0, "name": "Huge", "height": 2147483647, "charWidth": 2147483647 })";
    parts.components = connector("SC1", 1, 1000000, false) + ",\n" + connector("SC2", 2, 2000000, true, "1");
    const std::string d = write(makeDesign(parts));
    // One row needs no width; more rows find that no number fits.
    const CliResult r = runCli({"update", d, "--list"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("SC1\t1\t644400\t500000\t6\t@2\n", r.out);
    EXPECT_EQ("Warning: Allowed width is too short\n    for numbers placing\n         (more rows)\n", r.err);
}

}  // namespace
}  // namespace orlune::test

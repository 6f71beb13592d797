#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>

#include "app/cli_support.h"
#include "app/design_run.h"

namespace orlune::test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

// A folder with design files written by the test.
class CommandLine : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::string& json) {
        std::filesystem::path p = dir.file(name);
        writeFile(p, json);
        return p.string();
    }
    static std::string read(const std::string& path) { return readFile(path); }

    TempDir dir;
};

// Settings of a mil design whose stored value lacks its final "_": start-up
// deletes it, so a run that got as far as start-up changes the file.
const char* const kBrokenSettings = R"({ "name": "ORLUNE", "value": "1_140_190_600" })";

TEST_F(CommandLine, UpdateListsTheTextsOfTheMinimalDesign) {
    std::string d = write("d.json", minimalDesign());
    CliResult r = runCli({"update", d, "--list"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("SC1\t1\t644400\t500000\t6\t@2\nSC2\t2\t2482600\t500000\t4\t@1\n", r.out);
    EXPECT_EQ("", r.err);
    EXPECT_THAT(read(d), HasSubstr("\"text\": \"@2\""));
}

// The summary line of each command that writes, with the files the host
// wrote: none when the design already held what the command would write.
TEST_F(CommandLine, CommandsThatWriteSummariseWhatTheyDid) {
    struct Case {
        std::vector<std::vector<std::string>> before;  // run first, output not looked at
        std::vector<std::string> args;                 // "D" stands for the design
        std::string out;                               // "D" stands for the design
    };
    const Case cases[] = {
        {{}, {"update", "D"}, "D: 2 texts placed on 2 sheets, 1 file written\n"},
        {{{"update", "D"}}, {"update", "D"}, "D: 2 texts placed on 2 sheets, nothing written\n"},
        {{}, {"-q", "update", "D"}, ""},
        {{}, {"update", "--quiet", "D"}, ""},
        {{}, {"update", "-v", "D"}, "D: 2 texts placed on 2 sheets, 1 file written\n  wrote D\n"},
        {{{"update", "D"}}, {"delete", "D"}, "D: 2 texts removed from 2 sheets, 1 file written\n"},
        {{}, {"delete", "D"}, "D: no texts to remove, nothing written\n"},
        {{}, {"utility", "add-attribute", "D"}, "D: add-attribute, 1 file written\n"},
        {{}, {"select", "D", "SC1"}, "D: 1 component selected, 1 file written\n"},
        {{}, {"-q", "select", "D", "SC1"}, ""},
    };
    for (const Case& c : cases) {
        std::string d = write("d.json", minimalDesign());
        auto withDesign = [&d](std::string text) {
            for (std::size_t at; (at = text.find('D')) != std::string::npos;)
                text.replace(at, 1, d);
            return text;
        };
        std::vector<std::string> args;
        for (const std::string& a : c.args)
            args.push_back(a == "D" ? d : a);
        for (std::vector<std::string> before : c.before) {
            for (std::string& a : before)
                a = a == "D" ? d : a;
            ASSERT_EQ(0, runCli(before).status);
        }
        CliResult r = runCli(args);
        EXPECT_EQ(0, r.status) << c.args[0] << r.err;
        EXPECT_EQ(withDesign(c.out), r.out) << c.args[0];
    }
    // Nothing to annotate: said so, whatever start-up stored.
    DesignParts none;
    std::string d = write("none.json", makeDesign(none));
    EXPECT_THAT(runCli({"update", d}).out, StartsWith(d + ": nothing to annotate: no sheet connectors, "));
    // A warning box is counted in the summary; the box itself stays on stderr.
    DesignParts tight;
    tight.components = connector("SC2", 2, 2000000, true) + ",\n" + connector("SC1", 1, 1000000, false, "1");
    tight.attributes = R"({ "name": "ORLUNE", "value": "1_140_190_1_" })";
    d = write("tight.json", makeDesign(tight));
    CliResult r = runCli({"update", d});
    EXPECT_THAT(r.err, HasSubstr("Warning: Allowed width is too short"));
    EXPECT_EQ(d + ": 1 text placed on 1 sheet, 1 file written, 1 warning\n", r.out);
}

TEST_F(CommandLine, UpdateThatEndsEarlyWritesTheWarningAndExitsOne) {
    // The maximum row of 1 mil cannot take even "@"; SC2 comes first and
    // keeps its text, SC1 (more rows) stops the pass.
    DesignParts parts;
    parts.components = connector("SC2", 2, 2000000, true) + ",\n" + connector("SC1", 1, 1000000, false, "1");
    parts.attributes = R"({ "name": "ORLUNE", "value": "1_140_190_1_" })";
    std::string d = write("d.json", makeDesign(parts));
    CliResult r = runCli({"update", d, "--list"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("SC2\t2\t2482600\t500000\t4\t@1\n", r.out);
    EXPECT_EQ("Warning: Allowed width is too short\n    for numbers placing\n         (more rows)\n", r.err);
}

TEST_F(CommandLine, UpdateListsMoreRowsWithEscapedLineBreaks) {
    DesignParts parts;
    parts.sheets = 4;
    parts.textStyles = R"({ "number": 0, "name": "Default", "height": 100, "charWidth": 2540 })";
    // "@" is 1 mil, a one-digit number with its comma 2 mil: rows of at most 4 mil.
    parts.components = connector("SC1", 1, 1000000, false, "1") + ",\n" + connector("SC2", 2, 1000000, false) + ",\n" +
                       connector("SC3", 3, 1000000, false) + ",\n" + connector("SC4", 4, 1000000, false);
    parts.attributes = R"({ "name": "ORLUNE", "value": "1_140_190_4_" })";
    std::string d = write("d.json", makeDesign(parts));
    CliResult r = runCli({"update", d, "--list"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_THAT(r.out, StartsWith("SC1\t1\t644400\t500000\t6\t@2,\\n3,4\n"));
}

TEST_F(CommandLine, StyleOptionPicksTheStyleByName) {
    DesignParts parts;
    parts.textStyles = R"({ "number": 0, "name": "Default", "height": 228600, "charWidth": 152400 },
                          { "number": 1, "name": "Small", "height": 100000, "charWidth": 50000 })";
    parts.components = connector("SC1", 1, 1000000, false) + ",\n" + connector("SC2", 2, 2000000, true);
    std::string d = write("d.json", makeDesign(parts));
    CliResult r = runCli({"update", d, "--style", "Small"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_THAT(read(d), HasSubstr("\"style\": 1"));
    EXPECT_THAT(read(d), ::testing::Not(HasSubstr("\"style\": 0")));
    // A later start-up selects the style of the placed texts again.
    r = runCli({"settings", d});
    EXPECT_THAT(r.out, HasSubstr("Text style: Small\n"));
}

TEST_F(CommandLine, StatusPrintsTheFiveRows) {
    DesignParts parts;
    parts.sheets = 3;
    parts.components = connector("SC1", 1, 1000000, false, "1") + ",\n" + connector("SC2", 2, 1000000, false, "0") +
                       ",\n" + connector("SC3", 3, 1000000, false);
    parts.items =
        textItem("@2", 1) + ", " + textItem("@1,3", 2) + ", " + textItem("@@", 3) + ", " + textItem("plain", 1);
    std::string d = write("d.json", makeDesign(parts));
    std::string before = read(d);

    CliResult r = runCli({"status", d});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("One row SC: 2\nMore rows SC: 1\nNo SH_T attribute: 1\nAssigned texts: 2\nToo long  texts: 1\n", r.out);
    EXPECT_EQ("", r.err);

    r = runCli({"status", d, "--json"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("{\"oneRow\":2,\"moreRows\":1,\"noShType\":1,\"assigned\":2,\"tooLong\":1}\n", r.out);
    EXPECT_EQ(before, read(d));  // counting changes nothing
}

TEST_F(CommandLine, DeleteRemovesOnlyOwnTexts) {
    DesignParts parts;
    parts.components = connector("SC1", 1, 1000000, false) + ",\n" + connector("SC2", 2, 2000000, true);
    parts.items = textItem("@2", 1) + ", " + textItem("@@", 2) + ", " + textItem("keep me", 2);
    std::string d = write("d.json", makeDesign(parts));
    CliResult r = runCli({"delete", d});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(d + ": 2 texts removed from 2 sheets, 1 file written\n", r.out);
    EXPECT_EQ("", r.err);
    std::string after = read(d);
    EXPECT_THAT(after, HasSubstr("keep me"));
    EXPECT_THAT(after, ::testing::Not(HasSubstr("\"@")));
}

struct UtilityCase {
    const char* name;
    bool connectors;
    const char* err;
};

// Names the case in test output; printed byte by byte, the struct's padding
// would be read uninitialised (valgrind reports it).
void PrintTo(const UtilityCase& c, std::ostream* os) {
    *os << c.name << (c.connectors ? " with connectors" : " without connectors");
}

class Utility : public CommandLine, public ::testing::WithParamInterface<UtilityCase> {};

TEST_P(Utility, WritesItsClosingMessage) {
    const UtilityCase& c = GetParam();
    DesignParts parts;
    if (c.connectors)
        parts.components = connector("SC1", 1, 1000000, false) + ",\n" + connector("SC2", 2, 2000000, true);
    std::string d = write("d.json", makeDesign(parts));
    CliResult r = runCli({"utility", c.name, d});
    EXPECT_EQ(0, r.status);
    EXPECT_THAT(r.out, StartsWith(d + ": " + c.name + ", "));
    EXPECT_EQ(c.err, r.err);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, Utility,
    ::testing::Values(
        UtilityCase{"highlight-one-row", true, "Information: Design contains SHEET conn. without SH_TYPE attribute\n"},
        UtilityCase{"highlight-more-rows", true,
                    "Information: Design contains SHEET conn. without SH_TYPE attribute\n"},
        UtilityCase{"invert-highlighted", true, "Warning: SHEET connectors are not highlighted !!!\n"},
        UtilityCase{"invert-selected", true, "Warning: SHEET connectors are not selected !!!\n"},
        UtilityCase{"add-attribute", true, ""},
        UtilityCase{"highlight-one-row", false, "Warning: This design doesn't contain SHEET connectors !!!\n"},
        UtilityCase{"add-attribute", false, "Warning: This design doesn't contain SHEET connectors !!!\n"},
        UtilityCase{"invert-selected", false, "Warning: SHEET connectors are not selected !!!\n"}));

TEST_F(CommandLine, AddAttributeTwiceSaysTheSecondTimeThatNothingIsMissing) {
    std::string d = write("d.json", minimalDesign());
    EXPECT_EQ("", runCli({"utility", "add-attribute", d}).err);
    EXPECT_THAT(read(d), HasSubstr("\"SH_TYPE\""));
    CliResult r = runCli({"utility", "add-attribute", d});
    EXPECT_EQ("Information: All SHEET conn. already have SH_TYPE attribute\n", r.err);
    r = runCli({"status", d, "--json"});
    EXPECT_EQ("{\"oneRow\":2,\"moreRows\":0,\"noShType\":0,\"assigned\":0,\"tooLong\":0}\n", r.out);
}

TEST_F(CommandLine, HighlightOneRowHighlightsTheSymbols) {
    std::string d = write("d.json", minimalDesign());
    runCli({"utility", "highlight-one-row", d});
    EXPECT_THAT(read(d), HasSubstr("\"highlight\": 15"));
}

TEST_F(CommandLine, SettingsPrintsTheSettingsInForce) {
    std::string d = write("d.json", minimalDesign());
    std::string before = read(d);
    CliResult r = runCli({"settings", d});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(
        "Unit: mil\nText style: Default\nLeft side start: 140\nRight side start: 190\nMax row lenght: 600\nRanges: "
        "off\n",
        r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ(before, read(d));
}

TEST_F(CommandLine, SettingsOfAMillimetreDesignUseItsDefaults) {
    DesignParts parts;
    parts.units = 2;
    std::string d = write("d.json", makeDesign(parts));
    CliResult r = runCli({"settings", d});
    EXPECT_EQ(
        "Unit: mm\nText style: Default\nLeft side start: 3.6\nRight side start: 4.8\nMax row lenght: 15.2\nRanges: "
        "off\n",
        r.out);
}

TEST_F(CommandLine, SettingsOfAnUnknownUnitCodeAreThoseOfTheUnsupportedUnit) {
    DesignParts parts;
    parts.units = 5;
    std::string d = write("d.json", makeDesign(parts));
    CliResult r = runCli({"settings", d});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("Unit: 0\nText style: Default\nLeft side start: 0\nRight side start: 0\nMax row lenght: 0\nRanges: off\n",
              r.out);
    EXPECT_EQ("Warning: System errors concerning UNIT !!!\n", r.err);
}

TEST_F(CommandLine, SettingsOptionOfAWholeNumberUnitThatIsNoNumberIsRefused) {
    DesignParts parts;
    parts.units = 3;
    std::string d = write("d.json", makeDesign(parts));
    std::string before = read(d);
    CliResult r = runCli({"settings", d, "--right", "1n"});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ("orlune: --right: Right side start is not a number: 1n\n", r.err);
    EXPECT_EQ(before, read(d));
}

TEST_F(CommandLine, SettingsOptionsAreStoredAndPutIntoForce) {
    std::string d = write("d.json", minimalDesign());
    CliResult r = runCli({"settings", d, "--left", "150", "--max-row", "700.5"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(d + ": settings stored, 1 file written\nUnit: mil\nText style: Default\nLeft side start: 150\n"
                  "Right side start: 190\nMax row lenght: 700.5\nRanges: off\n",
              r.out);
    EXPECT_THAT(read(d), HasSubstr("\"value\": \"1_150_190_700.5_\""));

    // The next run reads them back, and an update places by them.
    r = runCli({"settings", d});
    EXPECT_THAT(r.out, HasSubstr("Left side start: 150\n"));
    r = runCli({"update", d, "--list"});
    EXPECT_THAT(r.out, HasSubstr("SC1\t1\t619000\t500000\t6\t@2\n"));  // 1000000 - 150 mil
}

TEST_F(CommandLine, RangesAreStoredAndUpdateWritesRunsOfSheetsAsRanges) {
    DesignParts parts;
    parts.sheets = 5;
    for (int sheet = 1; sheet <= 5; ++sheet)
        parts.components += (sheet > 1 ? ",\n" : "") + connector("SC" + std::to_string(sheet), sheet, 1000000, false);
    std::string d = write("d.json", makeDesign(parts));
    CliResult r = runCli({"settings", d, "--ranges", "on"});
    EXPECT_THAT(r.out, HasSubstr("Max row lenght: 600\nRanges: on\n")) << r.err;
    EXPECT_THAT(read(d), HasSubstr("\"value\": \"1_140_190_600_1_\""));
    r = runCli({"update", d, "--list"});
    EXPECT_THAT(r.out, HasSubstr("SC1\t1\t644400\t500000\t6\t@2-5\n"));
    EXPECT_THAT(r.out, HasSubstr("\t@1,2,4,5\n"));  // runs of two stay as they are
    EXPECT_EQ(0, runCli({"verify", d}).status);
}

// A refused command line leaves the design byte for byte as it was.
struct UsageCase {
    std::vector<std::string> args;  // "D" stands for the design
    const char* err;
};

void PrintTo(const UsageCase& c, std::ostream* os) {
    for (const std::string& a : c.args)
        *os << a << ' ';
}

class UsageError : public CommandLine, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(UsageError, ExitsTwoAndChangesNothing) {
    DesignParts parts;
    parts.textStyles = R"({ "number": 0, "name": "Default", "height": 228600, "charWidth": 152400 },
                          { "number": 1, "name": "Small", "height": 100000, "charWidth": 50000 })";
    parts.components = connector("SC1", 1, 1000000, false) + ",\n" + connector("SC2", 2, 2000000, true);
    parts.attributes = kBrokenSettings;
    std::string d = write("d.json", makeDesign(parts));
    std::string before = read(d);
    std::vector<std::string> args = GetParam().args;
    for (std::string& a : args) {
        if (a == "D") a = d;
    }
    CliResult r = runCli(args);
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_THAT(r.err, StartsWith("orlune: "));
    EXPECT_THAT(r.err, HasSubstr(GetParam().err));
    EXPECT_EQ(before, read(d));
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, UsageError,
    ::testing::Values(UsageCase{{"frobnicate", "D"}, "unknown command \"frobnicate\""},
                      UsageCase{{"update", "D", "--frob"}, "--frob"}, UsageCase{{"update"}, "DESIGN is required"},
                      UsageCase{{"status", "D", "--csv"}, "--csv"},
                      UsageCase{{"settings", "D", "--left", "1,5"}, "--left: the character \",\" is not accepted"},
                      UsageCase{{"settings", "D", "--right", "-3"}, "the character \"-\""},
                      UsageCase{{"settings", "D", "--max-row", "1\xc3\xa9"}, "the character \"\xc3\xa9\""},
                      UsageCase{{"settings", "D", "--left", "12345678901"}, "longer than the 10 characters"},
                      UsageCase{{"settings", "D", "--ranges", "yes"}, "--ranges"},
                      UsageCase{{"settings", "D", "--left", "99999999999"}, "longer than"},
                      UsageCase{{"settings", "D", "--max-row", "9999999999"},
                                "--max-row: Max row lenght is out of range: 9999999999"},
                      UsageCase{{"update", "D", "--style", "Huge"},
                                "has no text style \"Huge\"; its text styles: \"Default\", \"Small\""},
                      UsageCase{{"update", "D", "--style", "small"}, "no text style \"small\""},
                      UsageCase{{"utility", "blink", "D"}, "unknown utility \"blink\""},
                      UsageCase{{"utility", "D"}, "NAME"},
                      UsageCase{{"gui", "D", "--page", "utils"}, "--page requires --screenshot"},
                      UsageCase{{"gui", "D", "--screenshot", "x.png", "--page", "other"}, "other"},
                      UsageCase{{"render", "D"}, "--output is required"},
                      UsageCase{{"render", "D", "-o", "out", "--sheet", "0"}, "--sheet"},
                      UsageCase{{"report", "D", "--json", "--csv"}, "excludes"}));

TEST_F(CommandLine, StyleNamesAreMatchedAsTheListHoldsThemSpacesIncluded) {
    DesignParts parts;
    parts.textStyles = R"({ "number": 0, "name": "Default", "height": 228600, "charWidth": 152400 },
                          { "number": 1, "name": "Small ", "height": 100000, "charWidth": 50000 })";
    parts.components = connector("SC1", 1, 1000000, false) + ",\n" + connector("SC2", 2, 2000000, true);
    parts.attributes = kBrokenSettings;
    std::string d = write("d.json", makeDesign(parts));
    std::string before = read(d);

    // The list has no "Small": refused before start-up deletes the attribute.
    CliResult r = runCli({"update", d, "--style", "Small"});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("orlune: " + d + " has no text style \"Small\"; its text styles: \"Default\", \"Small \"\n", r.err);
    EXPECT_EQ(before, read(d));

    r = runCli({"update", d, "--style", "Small "});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_THAT(read(d), HasSubstr("\"style\": 1"));
}

TEST_F(CommandLine, UnknownStyleInTheSecondDesignLeavesTheFirstUntouched) {
    std::string a = write("a.json", minimalDesign());
    DesignParts parts;
    parts.textStyles = R"({ "number": 0, "name": "Other", "height": 228600, "charWidth": 152400 })";
    parts.components = connector("SC1", 1, 1000000, false) + ",\n" + connector("SC2", 2, 2000000, true);
    std::string b = write("b.json", makeDesign(parts));
    std::string before = read(a);
    CliResult r = runCli({"update", a, b, "--style", "Default"});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("orlune: " + b + " has no text style \"Default\"; its text styles: \"Other\"\n", r.err);
    EXPECT_EQ(before, read(a));
}

TEST_F(CommandLine, SeveralDesignsGetHeadersAndTheHighestStatus) {
    std::string a = write("a.json", minimalDesign());
    std::string missing = dir.file("missing.json").string();
    DesignParts parts;
    parts.components = connector("SC1", 1, 1000000, false, "1") + ",\n" + connector("SC2", 2, 2000000, true);
    parts.attributes = R"({ "name": "ORLUNE", "value": "1_140_190_1_" })";
    std::string early = write("early.json", makeDesign(parts));
    std::string c = write("c.json", minimalDesign());

    CliResult r = runCli({"update", "--list", a, missing, early, c});
    EXPECT_EQ(3, r.status);
    EXPECT_EQ("== " + a + "\nSC1\t1\t644400\t500000\t6\t@2\nSC2\t2\t2482600\t500000\t4\t@1\n" + "== " + missing + "\n" +
                  "== " + early + "\n" + "== " + c +
                  "\nSC1\t1\t644400\t500000\t6\t@2\nSC2\t2\t2482600\t500000\t4\t@1\n",
              r.out);
    EXPECT_THAT(r.err, StartsWith("Error: Design connection error\n"));
    EXPECT_THAT(r.err, HasSubstr("Warning: Allowed width is too short\n"));

    // Without the missing design the highest status is the early end's.
    r = runCli({"update", a, early});
    EXPECT_EQ(1, r.status);
}

TEST_F(CommandLine, MissingDesignPrintsTheHostsReasonAndTheNextDesignStillRuns) {
    std::string missing = dir.file("missing.json").string();
    std::string d = write("d.json", minimalDesign());
    CliResult r = runCli({"status", missing, d});
    EXPECT_EQ(3, r.status);
    ASSERT_THAT(r.err, StartsWith("Error: Design connection error\n"));
    std::string reason = r.err.substr(std::string("Error: Design connection error\n").size());
    EXPECT_THAT(reason, HasSubstr("missing.json"));
    EXPECT_EQ('\n', reason.back());
    EXPECT_EQ(1, std::count(reason.begin(), reason.end(), '\n'));
    EXPECT_THAT(r.out, HasSubstr("== " + d + "\nOne row SC: 2\n"));
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(CommandLine, UnsupportedVersionIsAnIncompatibleDesign) {
    std::string json = minimalDesign();
    json.replace(json.find("\"version\": 1"), 12, "\"version\": 9");
    std::string d = write("d.json", json);
    CliResult r = runCli({"delete", d});
    EXPECT_EQ(3, r.status);
    EXPECT_THAT(r.err, StartsWith("Error: Incompatible DBX version\n"));
    EXPECT_GT(std::count(r.err.begin(), r.err.end(), '\n'), 1);
}

TEST_F(CommandLine, MoreThanAHundredSheetsEndsTheRun) {
    DesignParts parts;
    parts.sheets = 101;
    parts.components = connector("SC1", 1, 1000000, false) + ",\n" + connector("SC2", 101, 2000000, true);
    parts.attributes = kBrokenSettings;
    std::string d = write("d.json", makeDesign(parts));
    std::string before = read(d);
    CliResult r = runCli({"update", d, "--list"});
    EXPECT_EQ(3, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ("Error: Number of sheets > 100 !!!\n", r.err);
    EXPECT_EQ(before, read(d));
}

TEST_F(CommandLine, FailedSaveIsReportedWithStatusThree) {
    std::string d = write("d.json", minimalDesign());
    std::string before = read(d);
    app::prepareHostForTests = [](host::Host& h) { h.failSave = [](host::SaveStage) { return true; }; };
    CliResult r = runCli({"update", d, "--list"});
    app::prepareHostForTests = nullptr;
    EXPECT_EQ(3, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_THAT(r.err, StartsWith("Error: the design could not be saved: "));
    EXPECT_EQ(before, read(d));
}

TEST_F(CommandLine, FailedSaveOfStartUpStopsBeforeTheCommand) {
    DesignParts parts;
    parts.components = connector("SC1", 1, 1000000, false) + ",\n" + connector("SC2", 2, 2000000, true);
    parts.attributes = kBrokenSettings;
    std::string d = write("d.json", makeDesign(parts));
    int conversations = 0;
    app::prepareHostForTests = [&conversations](host::Host& h) {
        h.failSave = [](host::SaveStage) { return true; };
        h.onCall = [&conversations](std::string_view op) {
            if (op == "TOpenDesign") ++conversations;
        };
    };
    CliResult r = runCli({"status", d});
    app::prepareHostForTests = nullptr;
    EXPECT_EQ(3, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n'));
    EXPECT_EQ(1, conversations);
}

TEST_F(CommandLine, CheckPrintsCountsOrTheReason) {
    std::string good = write("good.json", minimalDesign());
    DesignParts parts;
    parts.components = connector("SC1", 1, 1000000, false) + ",\n" + connector("SC1", 2, 2000000, true);
    std::string bad = write("bad.json", makeDesign(parts));
    std::string before = read(bad);

    CliResult r = runCli({"check", good});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("ok: 2 sheets, 2 components, 2 sheet connectors, 1 net, 0 buses, 0 items\n", r.out);

    r = runCli({"check", good, bad});
    EXPECT_EQ(3, r.status);
    EXPECT_THAT(r.out, StartsWith("== " + good + "\nok: 2 sheets"));
    EXPECT_THAT(r.out, HasSubstr("== " + bad + "\ninvalid: "));
    EXPECT_THAT(r.out, HasSubstr("SC1"));
    EXPECT_EQ(before, read(bad));
}

TEST_F(CommandLine, CheckCountsEveryKindAndWritesNothing) {
    DesignParts parts;
    parts.components = connector("SC1", 1, 1000000, false);
    parts.items =
        textItem("@2", 1) + ", " + R"({ "type": "bus", "sheet": 1, "bus": "D", "x1": 0, "y1": 0, "x2": 1, "y2": 1 })";
    parts.attributes = kBrokenSettings;
    std::string json = makeDesign(parts);
    json.replace(json.find("\"components\""), 0, R"("buses": [ { "name": "D", "nets": [1] } ], )");
    std::string d = write("d.json", json);
    std::string before = read(d);
    CliResult r = runCli({"check", d});
    EXPECT_EQ("ok: 2 sheets, 1 component, 1 sheet connector, 1 net, 1 bus, 2 items\n", r.out);
    EXPECT_EQ(before, read(d));
}

#ifndef ORLUNE_WITH_GUI
TEST_F(CommandLine, WindowIsRefusedWithoutTheGui) {
    std::string d = write("d.json", minimalDesign());
    for (const std::vector<std::string>& args : {std::vector<std::string>{"gui", d}, std::vector<std::string>{d}}) {
        CliResult r = runCli(args);
        EXPECT_EQ(2, r.status);
        EXPECT_THAT(r.err, HasSubstr("no window"));
    }
}
#endif

TEST_F(CommandLine, VersionAndHelp) {
    CliResult r = runCli({"--version"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("orlune 1.0.0\n", r.out);
    r = runCli({"--help"});
    EXPECT_EQ(0, r.status);
    EXPECT_THAT(r.out, HasSubstr("update"));
    EXPECT_THAT(r.out, HasSubstr("check"));
    r = runCli({});
    EXPECT_EQ(2, r.status);
}

}  // namespace
}  // namespace orlune::test

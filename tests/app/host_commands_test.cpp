#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/cli_support.h"
#include "app/design_run.h"

namespace orlune::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class HostCommands : public ::testing::Test {
protected:
    std::string write(const std::string& json) {
        writeFile(path, json);
        return path.string();
    }
    std::string read() const { return readFile(path); }

    TempDir dir;
    std::filesystem::path path = dir.file("d.json");
};

TEST_F(HostCommands, SelectedConnectorsAreWhatInvertSelectedWorksOn) {
    DesignParts parts;
    parts.components = connector("SC1", 1, 1000000, false, "0") + ",\n" + connector("SC2", 2, 2000000, true, "0");
    std::string d = write(makeDesign(parts));

    CliResult r = runCli({"select", d, "SC2"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(d + ": 1 component selected, 1 file written\n", r.out);
    EXPECT_EQ("", r.err);
    r = runCli({"utility", "invert-selected", d});
    EXPECT_EQ("", r.err);
    r = runCli({"status", d, "--json"});
    EXPECT_EQ("{\"oneRow\":1,\"moreRows\":1,\"noShType\":0,\"assigned\":0,\"tooLong\":0}\n", r.out);
}

TEST_F(HostCommands, SelectWithoutNamesClearsTheSelection) {
    DesignParts parts;
    parts.components = connector("SC1", 1, 1000000, false, "0");
    parts.components.replace(parts.components.find("\"flipped\": false"), 16, "\"flipped\": false, \"selected\": true");
    parts.items = R"({ "type": "line", "sheet": 1, "selected": true, "x1": 0, "y1": 0, "x2": 5, "y2": 5 })";
    std::string d = write(makeDesign(parts));
    ASSERT_EQ(2u, occurrences(read(), "\"selected\": true"));

    EXPECT_EQ(0, runCli({"select", d}).status);
    EXPECT_EQ(0u, occurrences(read(), "\"selected\": true"));
    EXPECT_EQ("Warning: SHEET connectors are not selected !!!\n", runCli({"utility", "invert-selected", d}).err);
}

TEST_F(HostCommands, SelectKeepsHighlights) {
    std::string d = write(minimalDesign());
    runCli({"utility", "highlight-one-row", d});
    ASSERT_EQ(2u, occurrences(read(), "\"highlight\": 15"));
    EXPECT_EQ(0, runCli({"select", d, "SC1"}).status);
    EXPECT_EQ(2u, occurrences(read(), "\"highlight\": 15"));
    EXPECT_EQ(1u, occurrences(read(), "\"selected\": true"));
}

TEST_F(HostCommands, UnknownReferenceDesignatorIsNamedAndChangesNothing) {
    DesignParts parts;
    parts.components = connector("SC1", 1, 1000000, false, "0");
    parts.components.replace(parts.components.find("\"flipped\": false"), 16, "\"flipped\": false, \"selected\": true");
    std::string d = write(makeDesign(parts));
    std::string before = read();
    CliResult r = runCli({"select", d, "SC1", "U9"});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_THAT(r.err, HasSubstr("\"U9\""));
    EXPECT_THAT(r.err, Not(HasSubstr("\"SC1\"")));
    EXPECT_EQ(before, read());
}

TEST_F(HostCommands, UnhighlightChangesOnlyTheHighlights) {
    std::string d = write(minimalDesign());
    runCli({"utility", "highlight-one-row", d});
    std::string highlighted = read();
    ASSERT_EQ(2u, occurrences(highlighted, "\"highlight\": 15"));

    CliResult r = runCli({"unhighlight", d});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.err);
    std::string expected = highlighted;
    for (std::size_t at; (at = expected.find("\"highlight\": 15")) != std::string::npos;)
        expected.replace(at, 15, "\"highlight\": 0");
    EXPECT_EQ(expected, read());
}

TEST_F(HostCommands, UnhighlightWithNothingHighlightedDoesNotRewrite) {
    std::string d = write(minimalDesign());
    std::string before = read();
    EXPECT_EQ(0, runCli({"unhighlight", d}).status);
    EXPECT_EQ(before, read());
}

TEST_F(HostCommands, FailuresEndWithStatusThree) {
    CliResult r = runCli({"unhighlight", dir.file("missing.json").string()});
    EXPECT_EQ(3, r.status);
    EXPECT_THAT(r.err, HasSubstr("missing.json"));

    std::string d = write(minimalDesign());
    std::string before = read();
    app::prepareHostForTests = [](host::Host& h) { h.failSave = [](host::SaveStage) { return true; }; };
    r = runCli({"select", d, "SC1"});
    app::prepareHostForTests = nullptr;
    EXPECT_EQ(3, r.status);
    EXPECT_THAT(r.err, ::testing::StartsWith("Error: the design could not be saved: "));
    EXPECT_EQ(before, read());
}

}  // namespace
}  // namespace orlune::test

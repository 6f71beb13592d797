// The connector report and verify: what stands beside each connector
// against what an update pass would place, without ever changing the file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>

#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/inspect.h"
#include "app/inspect_support.h"
#include "host/json.h"
#include "support/test_support.h"

namespace orlune::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

struct Output {
    int status = 0;
    std::string out;
    std::string err;
};

Output report(const std::filesystem::path& design, app::ReportFormat format) {
    std::ostringstream out;
    std::ostringstream err;
    Output r;
    r.status = app::runReport(design.string(), format, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

Output verify(const std::vector<std::filesystem::path>& designs, bool layout = false) {
    std::vector<std::string> paths;
    for (const auto& d : designs)
        paths.push_back(d.string());
    std::ostringstream out;
    std::ostringstream err;
    Output r;
    r.status = app::runVerify(paths, out, err, app::VerifyFormat::Text, layout);
    r.out = out.str();
    r.err = err.str();
    return r;
}

void update(const std::filesystem::path& design) {
    std::ostringstream sink;
    app::UpdateOptions options;
    options.designs = {design.string()};
    ASSERT_EQ(app::runUpdate(options, sink, sink), 0) << sink.str();
}

// One connector of the JSON report, by reference designator.
struct JsonConnector {
    std::string state;
    std::string text;  // "null" when none
    std::string expected;
    std::vector<int> sheets;
    std::string net;
    std::string bus;
    std::string rowMode;
    std::string point;  // "x,y,j" or "null"
};

std::string valueText(const host::JsonDocument& doc, host::JsonIndex v) {
    if (v == host::kNoNode || doc.type(v) == host::JsonType::Null) return "null";
    return std::string(doc.text(v));
}

std::map<std::string, JsonConnector> parseReport(const std::string& json, std::vector<std::string>* strays = nullptr,
                                                 bool* endsEarly = nullptr) {
    host::JsonDocument doc;
    host::JsonError error;
    EXPECT_TRUE(host::parseJson(std::make_shared<const std::string>(json), doc, error)) << error.message;
    std::map<std::string, JsonConnector> result;
    const host::JsonIndex connectors = doc.find(doc.root, "connectors");
    for (uint32_t i = 0; i < doc.size(connectors); ++i) {
        const host::JsonIndex c = doc.element(connectors, i);
        JsonConnector line;
        line.state = valueText(doc, doc.find(c, "state"));
        line.text = valueText(doc, doc.find(c, "text"));
        line.expected = valueText(doc, doc.find(c, "expected"));
        line.net = valueText(doc, doc.find(c, "net"));
        line.bus = valueText(doc, doc.find(c, "bus"));
        line.rowMode = valueText(doc, doc.find(c, "rowMode"));
        const host::JsonIndex sheets = doc.find(c, "sheets");
        for (uint32_t k = 0; k < doc.size(sheets); ++k) {
            int32_t sheet = 0;
            EXPECT_TRUE(doc.isInt32(doc.element(sheets, k), sheet));
            line.sheets.push_back(sheet);
        }
        const host::JsonIndex point = doc.find(c, "point");
        line.point = doc.type(point) == host::JsonType::Null
                         ? "null"
                         : valueText(doc, doc.find(point, "x")) + "," + valueText(doc, doc.find(point, "y")) + "," +
                               valueText(doc, doc.find(point, "justification"));
        result[valueText(doc, doc.find(c, "refDes"))] = line;
    }
    if (strays) {
        const host::JsonIndex list = doc.find(doc.root, "strayTexts");
        for (uint32_t i = 0; i < doc.size(list); ++i)
            strays->push_back(valueText(doc, doc.find(doc.element(list, i), "text")));
    }
    if (endsEarly) *endsEarly = doc.type(doc.find(doc.root, "updateEndsEarly")) == host::JsonType::True;
    return result;
}

class InspectTest : public ::testing::Test {
protected:
    void SetUp() override { writeFile(design, inspectScenarioDesign()); }

    TempDir dir;
    std::filesystem::path design = dir.file("design.json");
};

TEST_F(InspectTest, ReportGivesEveryConnectorItsListTextAndState) {
    const Output r = report(design, app::ReportFormat::Json);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> strays;
    const auto connectors = parseReport(r.out, &strays);

    struct Expect {
        std::string refDes, state, text, expected;
        std::vector<int> sheets;
        std::string point;
    };
    const std::vector<Expect> table = {
        {"SC1", "current", "@2,3", "@2,3", {2, 3}, "644400,500000,6"},
        {"SC2", "stale", "@3", "@2", {2}, "2482600,600000,4"},
        {"SC3", "missing", "null", "@1,3", {1, 3}, "644400,500000,6"},
        {"SC4", "too long", "@@", "@@", {1, 3, 4}, "2482600,700000,4"},
        {"SC5", "no other sheet", "null", "null", {}, "644400,500000,6"},
        {"SB1", "no bus", "null", "null", {}, "1482600,500000,4"},
        {"SB2", "current", "@1,4", "@1,4", {1, 4}, "2644400,800000,6"},
    };
    ASSERT_EQ(connectors.size(), table.size());
    for (const Expect& e : table) {
        SCOPED_TRACE(e.refDes);
        const JsonConnector& c = connectors.at(e.refDes);
        EXPECT_EQ(c.state, e.state);
        EXPECT_EQ(c.text, e.text);
        EXPECT_EQ(c.expected, e.expected);
        EXPECT_EQ(c.sheets, e.sheets);
        EXPECT_EQ(c.point, e.point);
        EXPECT_EQ(c.rowMode, "one row");
    }
    EXPECT_EQ(connectors.at("SC1").net, "N1");
    EXPECT_EQ(connectors.at("SC1").bus, "null");
    EXPECT_EQ(connectors.at("SB2").bus, "DATA");
    EXPECT_EQ(connectors.at("SB2").net, "null");
    EXPECT_EQ(connectors.at("SB1").bus, "null");
    EXPECT_EQ(strays, std::vector<std::string>{"@4"});
}

TEST_F(InspectTest, ReportAsTableAndAsCsv) {
    Output r = report(design, app::ReportFormat::Text);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, StartsWith("REFDES  SHEET  SIGNAL"));
    EXPECT_THAT(r.out, HasSubstr("\"@3\""));
    EXPECT_THAT(r.out, HasSubstr("stale\n"));
    EXPECT_THAT(r.out, HasSubstr("bus DATA"));
    EXPECT_THAT(r.out, HasSubstr("stray\n"));

    r = report(design, app::ReportFormat::Csv);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 1u + 7u + 1u);  // header, connectors, the stray text
    EXPECT_EQ(lines[0], "refDes,sheet,net,bus,rowMode,sheets,x,y,justification,text,expected,state\r");
    // A field holding a comma is quoted; the sheets are separated by spaces;
    // a text beginning with "@" is guarded against formulas.
    EXPECT_EQ(lines[1], "SC1,1,N1,,one row,2 3,644400,500000,6,\"'@2,3\",\"'@2,3\",current\r");
    EXPECT_EQ(lines[8], ",4,,,,,100000,100000,4,'@4,,stray\r");
}

TEST_F(InspectTest, ReportAndVerifyNeverChangeTheFile) {
    // An old modification time shows any rewrite, even of the same bytes.
    const struct timeval old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimes(design.c_str(), old), 0);
    const std::string before = readFile(design);
    const auto stamp = std::filesystem::last_write_time(design);

    EXPECT_EQ(report(design, app::ReportFormat::Text).status, 0);
    EXPECT_EQ(verify({design}).status, 4);

    EXPECT_EQ(readFile(design), before);
    EXPECT_EQ(std::filesystem::last_write_time(design), stamp);
}

TEST_F(InspectTest, VerifyNamesEveryConnectorThatDiffers) {
    const Output r = verify({design});
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.out,
              "SC2 (sheet 1): stale: stands \"@3\", Update would place \"@2\"\n"
              "SC3 (sheet 2): missing: no text, Update would place \"@1,3\"\n"
              "sheet 4 (100000, 100000): \"@4\" stands beside no connector, Update would remove it\n");
}

TEST_F(InspectTest, VerifyPassesAfterAnUpdate) {
    update(design);
    Output r = verify({design});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "ok: 7 sheet connectors as Update would leave them\n");
    // A design file keeps its own placement: --layout checks nothing more, and says so.
    r = verify({design}, true);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out,
              "layout: a design file keeps its own placement rules; no page layout to check\n"
              "ok: 7 sheet connectors as Update would leave them\n");

    // After the update the report agrees: the refused list stays "too long".
    r = report(design, app::ReportFormat::Json);
    const auto connectors = parseReport(r.out);
    EXPECT_EQ(connectors.at("SC4").state, "too long");
    EXPECT_EQ(connectors.at("SC3").state, "current");
}

TEST_F(InspectTest, ATextInAnotherStyleOrAtAnotherJustificationDiffers) {
    update(design);
    std::string text = readFile(design);
    // SC3's text "@1,3" on sheet 2: first its style, then its justification.
    const std::string placed = R"("text": "@1,3",)";
    ASSERT_THAT(text, HasSubstr(placed));
    std::string restyled = text;
    const auto at = restyled.find(R"("style": 0)", restyled.find(placed));
    ASSERT_NE(at, std::string::npos);
    restyled.replace(at, 10, R"("style": 1)");
    writeFile(design, restyled);
    Output r = verify({design});
    EXPECT_EQ(r.status, 4);
    EXPECT_THAT(r.out, HasSubstr("SC3 (sheet 2): stale: stands \"@1,3\" in style 1, Update would place it in style 0"));

    std::string moved = text;
    const auto j = moved.find(R"("justification": 6)", moved.find(placed));
    ASSERT_NE(j, std::string::npos);
    moved.replace(j, 18, R"("justification": 4)");
    writeFile(design, moved);
    r = verify({design});
    EXPECT_EQ(r.status, 4);
    // Matched by sheet, point and justification: the text no longer belongs to SC3.
    EXPECT_THAT(r.out, HasSubstr("SC3 (sheet 2): missing"));
    EXPECT_THAT(r.out, HasSubstr("\"@1,3\" stands beside no connector"));
}

TEST_F(InspectTest, ADuplicateTextIsAStray) {
    update(design);
    std::string text = readFile(design);
    const std::string duplicate =
        R"({ "type": "text", "sheet": 1, "text": "@2,3", "style": 0, "x": 644400, "y": 500000, "justification": 6 },)";
    text.replace(text.find("\"items\": [") + 10, 0, "\n    " + duplicate);
    writeFile(design, text);
    const Output r = verify({design});
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.out, "sheet 1 (644400, 500000): \"@2,3\" stands beside no connector, Update would remove it\n");
}

// "@" alone is wider than the longest row: the pass ends on the first
// more-rows connector with sheets to list.
constexpr std::string_view kEndsEarly = R"({
  "format": "orlune-design", "version": 1, "units": 1, "workspace": [5080000, 2540000],
  "textStyles": [ { "number": 0, "name": "Wide", "height": 100, "charWidth": 60, "advances": { "@": 9000000 } } ],
  "sheets": [ { "id": 1, "name": "One" }, { "id": 2, "name": "Two" } ],
  "nets": [ { "id": 1, "name": "N1" } ],
  "components": [
    { "refDes": "SC1", "type": "SH_CONN", "kind": 2, "pins": [ { "x": 1000000, "y": 500000, "sheet": 1, "net": 1 } ],
      "symbol": { "sheet": 1, "x": 1000000, "y": 500000 } },
    { "refDes": "SC2", "type": "SH_CONN", "kind": 2, "attributes": [ { "name": "SH_TYPE", "value": "1" } ],
      "pins": [ { "x": 1000000, "y": 500000, "sheet": 2, "net": 1 } ],
      "symbol": { "sheet": 2, "x": 1000000, "y": 500000 } },
    { "refDes": "SC3", "type": "SH_CONN", "kind": 2, "pins": [ { "x": 1000000, "y": 900000, "sheet": 2, "net": 1 } ],
      "symbol": { "sheet": 2, "x": 1000000, "y": 900000 } }
  ],
  "items": [ { "type": "text", "sheet": 1, "text": "@2", "style": 0, "x": 644400, "y": 500000, "justification": 6 } ]
}
)";

TEST(Verify, AnUpdatePassThatWouldEndEarlyCountsAsADifference) {
    TempDir dir;
    const std::filesystem::path design = dir.file("d.json");
    writeFile(design, kEndsEarly);
    const std::string before = readFile(design);

    Output r = verify({design});
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.out, "The update pass would end early: a row cannot take a sheet number\n");
    EXPECT_THAT(r.err, HasSubstr("Warning: Allowed width is too short"));

    r = report(design, app::ReportFormat::Json);
    EXPECT_EQ(r.status, 0);
    bool endsEarly = false;
    const auto connectors = parseReport(r.out, nullptr, &endsEarly);
    EXPECT_TRUE(endsEarly);
    EXPECT_EQ(connectors.at("SC1").state, "current");
    EXPECT_EQ(connectors.at("SC2").state, "not reached");
    EXPECT_EQ(connectors.at("SC2").rowMode, "more rows");
    EXPECT_EQ(connectors.at("SC3").state, "not reached");
    EXPECT_EQ(readFile(design), before);
}

TEST(Verify, ChecksEveryDesignAndAnswersTheWorstStatus) {
    TempDir dir;
    const std::filesystem::path good = dir.file("good.json");
    const std::filesystem::path stale = dir.file("stale.json");
    writeFile(good, inspectScenarioDesign());
    update(good);
    writeFile(stale, inspectScenarioDesign());

    Output r = verify({good, stale});
    EXPECT_EQ(r.status, 4);
    EXPECT_THAT(r.out, StartsWith("== " + good.string() + "\nok: 7 sheet connectors"));
    EXPECT_THAT(r.out, HasSubstr("== " + stale.string() + "\nSC2 (sheet 1): stale"));

    // A design that cannot be opened ends its run (3); the others still run.
    r = verify({dir.file("missing.json"), good});
    EXPECT_EQ(r.status, 3);
    EXPECT_THAT(r.err, HasSubstr("Design connection error"));
    EXPECT_THAT(r.out, HasSubstr("== " + good.string() + "\nok:"));
    EXPECT_THAT(r.out, Not(HasSubstr("missing.json\nok")));
}

TEST(Report, ListsTheSheetsOfEveryNetOfABus) {
    // The example board: the bus connector on sheet 3 lists the sheets of
    // the data lines, and the power rows break where Update breaks them.
    TempDir dir;
    const std::filesystem::path board = dir.file("board.json");
    std::filesystem::copy_file(std::filesystem::path(ORLUNE_EXAMPLES) / "board.json", board);
    Output r = report(board, app::ReportFormat::Json);
    ASSERT_EQ(r.status, 0) << r.err;
    auto connectors = parseReport(r.out);
    EXPECT_EQ(connectors.at("SC33").bus, "DATA[0..7]");
    EXPECT_EQ(connectors.at("SC33").sheets, (std::vector<int>{4, 6}));
    EXPECT_EQ(connectors.at("SC5").expected, "@1,3,4,5,6,7,\r\n8");
    EXPECT_EQ(connectors.at("SC5").state, "missing");
    EXPECT_EQ(connectors.at("SC99").state, "no other sheet");

    update(board);
    r = report(board, app::ReportFormat::Json);
    connectors = parseReport(r.out);
    for (const auto& [refDes, c] : connectors) {
        if (refDes != "SC99") {
            EXPECT_EQ(c.state, "current") << refDes;
        }
    }
}

}  // namespace
}  // namespace orlune::test

// What the command line prints, as an attacker's design would meet it:
// control characters written out, one record per line, JSON that always
// decodes, CSV that a spreadsheet cannot take for formulas, short reasons.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli_support.h"
#include "app/escape.h"
#include "host/json.h"
#include "support/test_support.h"

namespace orlune::test {
namespace {

using ::testing::HasSubstr;

std::string jsonText(std::string_view s) {
    std::string out;
    host::JsonWriter(out).string(s);
    return out;
}

struct Connector {
    std::string refDes;
    int sheet = 1;
    int x = 1000000;
    int y = 500000;
    int net = 1;
    bool flipped = false;
    std::string type = "SH_CONN";
    bool moreRows = false;
};

std::string connectorJson(const Connector& c) {
    const std::string at = R"("x": )" + std::to_string(c.x) + R"(, "y": )" + std::to_string(c.y) + R"(, "sheet": )" +
                           std::to_string(c.sheet);
    return R"({ "refDes": )" + jsonText(c.refDes) + R"(, "type": ")" + c.type + R"(", "kind": 2, "attributes": [)" +
           (c.moreRows ? R"({ "name": "SH_TYPE", "value": "1" })" : "") + R"(], "pins": [ { )" + at + R"(, "net": )" +
           std::to_string(c.net) + R"( } ], "symbol": { )" + at + R"(, "flipped": )" + (c.flipped ? "true" : "false") +
           " } }";
}

struct Plan {
    int sheets = 2;
    std::vector<std::string> netNames = {"N1"};
    std::vector<std::string> styleNames = {"Default"};
    std::vector<std::pair<std::string, std::vector<int>>> buses;
    std::vector<std::string> components;
    std::vector<std::string> items;
};

std::string designJson(const Plan& p) {
    auto join = [](const std::vector<std::string>& parts) {
        std::string s;
        for (const std::string& part : parts)
            s += (s.empty() ? "" : ",\n") + part;
        return s;
    };
    std::vector<std::string> styles, sheets, nets, buses;
    for (std::size_t i = 0; i < p.styleNames.size(); ++i)
        styles.push_back(R"({ "number": )" + std::to_string(i) + R"(, "name": )" + jsonText(p.styleNames[i]) +
                         R"(, "height": 228600, "charWidth": 152400 })");
    for (int id = 1; id <= p.sheets; ++id)
        sheets.push_back(R"({ "id": )" + std::to_string(id) + R"(, "name": "S" })");
    for (std::size_t i = 0; i < p.netNames.size(); ++i)
        nets.push_back(R"({ "id": )" + std::to_string(i + 1) + R"(, "name": )" + jsonText(p.netNames[i]) + " }");
    for (const auto& [name, members] : p.buses) {
        std::string list;
        for (int n : members)
            list += (list.empty() ? "" : ", ") + std::to_string(n);
        buses.push_back(R"({ "name": )" + jsonText(name) + R"(, "nets": [)" + list + "] }");
    }
    return R"({ "format": "orlune-design", "version": 1, "units": 1, "workspace": [25400000, 17780000],
  "textStyles": [)" +
           join(styles) + R"(], "sheets": [)" + join(sheets) + R"(], "nets": [)" + join(nets) + R"(], "buses": [)" +
           join(buses) + R"(], "components": [)" + join(p.components) + R"(], "items": [)" + join(p.items) +
           R"(], "attributes": [] })";
}

// A plain component (kind 1) with one pin: what makes a net reach a sheet.
std::string plainPart(const std::string& refDes, int net, int sheet) {
    std::string s = connectorJson({refDes, sheet, 0, 0, net});
    s.replace(s.find(R"("kind": 2)"), 9, R"("kind": 1)");
    return s;
}

// No control character but the line breaks and tabs of the layout, and no
// malformed UTF-8: escaping changes nothing but the doubled backslashes.
bool printable(std::string_view text) {
    std::string rest;
    std::string doubled;
    for (char c : text) {
        if (c == '\n' || c == '\t') continue;
        rest += c;
        doubled += c == '\\' ? "\\\\" : std::string(1, c);
    }
    return app::escapeText(rest) == doubled;
}

std::size_t lines(std::string_view text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(Escape, WritesOutEveryControlCharacterAndKeepsTheRest) {
    struct Case {
        std::string in;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"SC1", "SC1"},
        {"a\r\nb\nc\rd\te\\f", "a\\nb\\nc\\rd\\te\\\\f"},
        {"SC\x1B]0;owned\x07\x1B[2J", "SC\\x1B]0;owned\\x07\\x1B[2J"},
        {std::string("nul\0del\x7F", 8), "nul\\x00del\\x7F"},
        {"c1 \xC2\x9B[ \xC2\x85 \xC2\x9F", "c1 \\x9B[ \\x85 \\x9F"},         // U+009B (CSI), U+0085, the last
        {"raw \x9B byte \xFF", "raw \\x9B byte \\xFF"},                      // not UTF-8
        {"\xC3\xB6\xE2\x9C\x93 \xC2\xA0", "\xC3\xB6\xE2\x9C\x93 \xC2\xA0"},  // ö✓ NBSP
    };
    for (const Case& c : cases)
        EXPECT_EQ(app::escapeText(c.in), c.out) << c.in;
}

// Names that try to take over the terminal and to split records reach no
// output raw.
TEST(Readable, EveryOutputWritesOutControlCharactersAndKeepsOneRecordPerLine) {
    TempDir dir;
    Plan p;
    p.netNames = {"N\x1B[41m\tX"};
    p.components = {connectorJson({"SC\x1B]0;owned\x07\x1B[2J\t\n\x7F!", 1, 1000000, 500000, 1}),
                    connectorJson({"SC2\r\nX", 2, 1000000, 500000, 1, true}), plainPart("P1", 1, 2)};
    p.items = {R"({ "type": "text", "sheet": 1, "text": "@9\u001b[41m", "style": 0, "x": 0, "y": 0,
                    "justification": 4 })"};
    const std::filesystem::path design = dir.file("d\x1B[2J.json");
    writeFile(design, designJson(p));
    const std::string d = design.string();
    struct Case {
        std::vector<std::string> args;
        int status;
        std::size_t outLines;  // 0: not counted
    };
    const std::vector<Case> cases = {
        {{"verify", d}, 4, 1 + 1 + 1},    // SC1 stale, SC2 missing, the stray "@9..."
        {{"report", d}, 0, 1 + 2 + 1},    // header, two connectors, the stray
        {{"update", d, "--list"}, 0, 2},  // one line per placed text, tab-separated
        {{"verify", d, d}, 0, 2 + 2},     // "== PATH" and "ok" twice
        {{"status", d, d}, 0, 2 * 6},     // "== PATH" and five counts twice
        {{"update", d, "--style", "x\x1B[2J"}, 2, 0},
        {{"select", d, "NO\x1B[2J"}, 2, 0},
        {{"bogus\x1B[2J"}, 2, 0},
    };
    for (const Case& c : cases) {
        const CliResult r = runCli(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[0] << r.err;
        EXPECT_TRUE(printable(r.out)) << c.args[0] << ": " << r.out;
        EXPECT_TRUE(printable(r.err)) << c.args[0] << ": " << r.err;
        if (c.outLines) {
            EXPECT_EQ(lines(r.out), c.outLines) << c.args[0] << ": " << r.out;
        }
    }
    const CliResult listed = runCli({"update", d, "--list"});
    // Six tab-separated fields on each line, whatever the reference designator holds.
    std::istringstream in(listed.out);
    for (std::string line; std::getline(in, line);)
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 5) << line;
    EXPECT_THAT(listed.out, HasSubstr("SC\\x1B]0;owned\\x07\\x1B[2J\\t\\n\\x7F!\t"));

    // A reason that quotes a value of the file.
    writeFile(design, "{\"format\": \"orlune-design\x1B[2J\"}");
    const CliResult check = runCli({"check", d});
    EXPECT_EQ(check.status, 3);
    EXPECT_TRUE(printable(check.out)) << check.out;
    EXPECT_THAT(check.out, HasSubstr("\\x1B[2J"));
}

TEST(Json, EveryOutputDecodesAlsoForPathsThatAreNotUtf8) {
    TempDir dir;
    const std::filesystem::path design = dir.file("bad\xFF\xC3(.json");
    writeFile(design, minimalDesign());
    for (const auto& args : std::vector<std::vector<std::string>>{{"report", design.string(), "--json"},
                                                                  {"status", design.string(), "--json"}}) {
        const CliResult r = runCli(args);
        ASSERT_EQ(r.status, 0) << r.err;
        host::JsonDocument doc;
        host::JsonError error;
        EXPECT_TRUE(host::parseJson(std::make_shared<const std::string>(r.out), doc, error))
            << args[0] << ": " << error.message << "\n"
            << r.out;
    }
    // Each byte that is not UTF-8 becomes U+FFFD; valid text is kept.
    std::string out;
    host::JsonWriter(out).string("bad\xFF\xC3(\xC3\xA9");
    EXPECT_EQ(out, "\"bad\xEF\xBF\xBD\xEF\xBF\xBD(\xC3\xA9\"");
}

// Reads CSV with Python's csv module and prints each field on its own line as
// a JSON string, so that the test sees the cells as a spreadsheet program would.
std::vector<std::vector<std::string>> readCsvWithPython(const std::filesystem::path& file) {
    const std::string script =
        "import csv, json, sys\n"
        "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
        "    for row in csv.reader(f):\n"
        "        print(json.dumps(row))\n";
    const std::string command = "python3 -c \"$ORLUNE_CSV_READER\" '" + file.string() + "'";
    ::setenv("ORLUNE_CSV_READER", script.c_str(), 1);
    std::vector<std::vector<std::string>> rows;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) return rows;
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
        text.append(buffer, n);
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        host::JsonDocument doc;
        host::JsonError error;
        if (!host::parseJson(std::make_shared<const std::string>(line), doc, error)) return {};
        std::vector<std::string> row;
        for (uint32_t k = 0; k < doc.size(doc.root); ++k)
            row.emplace_back(doc.text(doc.element(doc.root, k)));
        rows.push_back(std::move(row));
    }
    return rows;
}

TEST(Csv, ARealReaderGetsEveryCellBackGuardedAgainstFormulas) {
    TempDir dir;
    Plan p;
    p.netNames = {"-12V", "=cmd|' /C calc'!A0"};
    p.components = {connectorJson({"@A\"B,C\nD", 1, 1000000, 500000, 1}), connectorJson({"'+1", 2, 1000000, 500000, 2}),
                    plainPart("P1", 1, 2), plainPart("P2", 2, 1)};
    const std::filesystem::path design = dir.file("d.json");
    writeFile(design, designJson(p));
    ASSERT_EQ(runCli({"update", design.string()}).status, 0);
    const CliResult r = runCli({"report", design.string(), "--csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::filesystem::path csv = dir.file("report.csv");
    writeFile(csv, r.out);

    const auto rows = readCsvWithPython(csv);
    ASSERT_EQ(rows.size(), 3u) << r.out;
    const std::vector<std::vector<std::string>> expected = {
        {"refDes", "sheet", "net", "bus", "rowMode", "sheets", "x", "y", "justification", "text", "expected", "state"},
        {"'@A\"B,C\\nD", "1", "'-12V", "", "one row", "2", "644400", "500000", "6", "'@2", "'@2", "current"},
        {"''+1", "2", "'=cmd|' /C calc'!A0", "", "one row", "1", "644400", "500000", "6", "'@1", "'@1", "current"},
    };
    EXPECT_EQ(rows, expected) << r.out;
}

TEST(Reasons, AHugeValueIsCutInTheReason) {
    TempDir dir;
    const std::filesystem::path design = dir.file("d.json");
    std::string text = minimalDesign();
    text.replace(text.find("\"units\": 1"), 10, "\"units\": 1" + std::string(1000000, '0'));
    writeFile(design, text);
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"check", design.string()}, {"update", design.string()}}) {
        const CliResult r = runCli(args);
        EXPECT_EQ(r.status, 3);
        EXPECT_LT(r.out.size() + r.err.size(), 400u) << r.out << r.err;
        EXPECT_THAT(r.out + r.err, HasSubstr("units: 1000000000")) << args[0];
        EXPECT_THAT(r.out + r.err, HasSubstr("0... does not fit")) << args[0];
    }
}

TEST(Style, ANameOutsideWindows1252OrLongerThanTheFieldIsChosenByItsName) {
    TempDir dir;
    Plan p;
    const std::string longName(120, 'L'), gross = "Gr\xC3\xB6\xC3\x9F";                      // "Größ"
    p.styleNames = {"Default", gross + "e\xE2\x9C\x93", longName, gross + "e\xE2\x9C\x97"};  // ✓ and ✗
    p.components = {connectorJson({"SC1", 1, 1000000, 500000, 1}), plainPart("P1", 1, 2)};
    const std::filesystem::path design = dir.file("d.json");
    writeFile(design, designJson(p));
    for (std::size_t n = 1; n < p.styleNames.size(); ++n) {
        const CliResult r = runCli({"update", design.string(), "--style", p.styleNames[n]});
        ASSERT_EQ(r.status, 0) << p.styleNames[n] << r.err;
        EXPECT_THAT(readFile(design), HasSubstr("\"style\": " + std::to_string(n))) << p.styleNames[n];
        EXPECT_EQ(runCli({"verify", design.string()}).status, 0);
    }
    const CliResult unknown = runCli({"update", design.string(), "--style", gross + "e?"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_THAT(unknown.err, HasSubstr("\"" + gross + "e\xE2\x9C\x93\", \"" + longName + "\", \"" + gross));
}

// Random designs in which connectors often share their point: right after
// an update, verify agrees with every connector.
std::string randomDesign(unsigned seed) {
    std::mt19937 random(seed);
    auto pick = [&](int from, int to) { return std::uniform_int_distribution<int>(from, to)(random); };
    Plan p;
    p.sheets = pick(2, 5);
    p.netNames = {"A", "B", "C", "D"};
    p.buses = {{"BUS1", {1, 2}}, {"BUS2", {3}}};
    for (int k = pick(2, 14); k > 0; --k) {
        const Connector c{"SC" + std::to_string(k),
                          pick(1, p.sheets),
                          1000000 + 100000 * pick(0, 1),
                          500000 + 100000 * pick(0, 1),
                          pick(0, 4),
                          pick(0, 3) == 0,
                          pick(0, 4) == 0 ? "SH_BUS_IN" : "SH_CONN",
                          pick(0, 2) == 0};
        p.components.push_back(connectorJson(c));
        if (c.type == "SH_CONN" || pick(0, 1) == 0) continue;
        const std::string x = std::to_string(c.x + (c.flipped ? -200000 : 200000));
        p.items.push_back(R"({ "type": "bus", "sheet": )" + std::to_string(c.sheet) + R"(, "bus": "BUS)" +
                          std::to_string(pick(1, 2)) + R"(", "x1": )" + x + R"(, "y1": )" + std::to_string(c.y) +
                          R"(, "x2": )" + x + R"(, "y2": 2000000 })");
    }
    for (int k = pick(0, 6); k > 0; --k)
        p.components.push_back(plainPart("P" + std::to_string(k), pick(1, 4), pick(1, p.sheets)));
    // Texts of an earlier pass, some at connectors' points.
    for (int k = pick(0, 4); k > 0; --k)
        p.items.push_back(R"({ "type": "text", "sheet": )" + std::to_string(pick(1, p.sheets)) + R"(, "text": "@)" +
                          std::to_string(pick(1, 9)) + R"(", "style": 0, "x": 644400, "y": 500000,
                          "justification": 6 })");
    return designJson(p);
}

TEST(Verify, AgreesRightAfterAnUpdateOnRandomDesigns) {
    const unsigned seeds[] = {1,    2,     3,     5,     8,     13,    21,     34,     55,
                              89,   144,   233,   377,   610,   987,   1597,   2584,   4181,
                              6765, 10946, 17711, 28657, 46368, 75025, 121393, 196418, 317811};
    TempDir dir;
    const std::filesystem::path design = dir.file("d.json");
    int updated = 0;
    for (unsigned seed : seeds) {
        writeFile(design, randomDesign(seed));
        const CliResult update = runCli({"update", design.string()});
        ASSERT_LE(update.status, 1) << "seed " << seed << ": " << update.err;
        if (update.status != 0) continue;  // a pass that ends early is reported by verify too
        ++updated;
        const CliResult verify = runCli({"verify", design.string()});
        EXPECT_EQ(verify.status, 0) << "seed " << seed << ":\n" << verify.out << readFile(design);
    }
    EXPECT_GE(updated, 20);
}

}  // namespace
}  // namespace orlune::test

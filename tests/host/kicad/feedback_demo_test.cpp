// What the command line tells a KiCad user, through the real program on
// copies of KiCad's demos: the summary line with the files the backend
// wrote, labels named by text and page with positions in millimetres, and
// verify's FILE:LINE:COLUMN lines at the label in its file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "kicad_test_support.h"

namespace orlune::kicad {
namespace {

namespace fs = std::filesystem;

struct Ran {
    int status = -1;
    std::string out;
};

// `orlune ARGS` run in `dir`: its exit status and standard output.
Ran orlune(const fs::path& dir, const std::string& args) {
    const std::string command = "cd '" + dir.string() + "' && " + ORLUNE_BINARY + " " + args + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    Ran r;
    for (char b[4096]; pipe != nullptr && std::fgets(b, sizeof b, pipe);)
        r.out += b;
    const int raw = pipe != nullptr ? ::pclose(pipe) : -1;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

std::string readAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::map<std::string, std::string> filesOf(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file()) files[e.path().filename().string()] = readAll(e.path());
    return files;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class DemoCopy {
public:
    explicit DemoCopy(const fs::path& demo) {
        static int counter = 0;
        dir_ = fs::temp_directory_path() /
               ("orlune-feedback-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        fs::create_directories(dir_);
        for (const auto& e : fs::directory_iterator(demo))
            if (e.is_regular_file()) fs::copy_file(e.path(), dir_ / e.path().filename());
    }
    ~DemoCopy() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    const fs::path& dir() const { return dir_; }

private:
    fs::path dir_;
};

struct DemoCase {
    const char* demo;   // a folder of the KiCad 9 demos, its project named alike
    const char* texts;  // what the summary says was placed; empty: nothing to annotate
};

class KicadFeedback : public ::testing::TestWithParam<DemoCase> {};

// The summary counts what the pass placed and the files the backend wrote
// (exactly those whose bytes changed, -v naming them); a second update
// writes nothing; a project without labels says so.
TEST_P(KicadFeedback, UpdateSummarisesTheFilesTheBackendWrote) {
    const DemoCase& c = GetParam();
    const fs::path demo = test::kKicad9Demos / c.demo;
    if (!fs::exists(demo)) GTEST_SKIP() << "no KiCad demos installed";
    DemoCopy copy(demo);
    const std::string project = std::string(c.demo) + ".kicad_pro";
    const auto before = filesOf(copy.dir());
    const Ran first = orlune(copy.dir(), "-v update " + project);
    ASSERT_EQ(first.status, 0) << first.out;
    const auto after = filesOf(copy.dir());
    std::vector<std::string> changed;
    for (const auto& [name, bytes] : after)
        if (before.count(name) && before.at(name) != bytes) changed.push_back(name);
    const std::vector<std::string> lines = linesOf(first.out);
    ASSERT_FALSE(lines.empty());
    if (std::string(c.texts).empty()) {
        EXPECT_EQ(lines[0], project + ": nothing to annotate: no global or hierarchical labels, nothing written");
        EXPECT_TRUE(changed.empty());
        return;
    }
    EXPECT_EQ(lines[0], project + ": " + c.texts + ", " + std::to_string(changed.size()) +
                            (changed.size() == 1 ? " file" : " files") + " written; reload the schematic in KiCad");
    std::vector<std::string> named;
    for (std::size_t k = 1; k < lines.size(); ++k) {
        ASSERT_THAT(lines[k], ::testing::StartsWith("  wrote "));
        named.push_back(fs::path(lines[k].substr(8)).filename().string());
    }
    std::sort(named.begin(), named.end());
    EXPECT_EQ(named, changed);

    const Ran again = orlune(copy.dir(), "update " + project);
    EXPECT_EQ(again.out, project + ": " + c.texts + ", nothing written\n");
    EXPECT_EQ(orlune(copy.dir(), "-q update " + project).out, "");
}

INSTANTIATE_TEST_SUITE_P(Demos, KicadFeedback,
                         ::testing::Values(DemoCase{"video", "162 texts placed on 7 pages"},
                                           DemoCase{"pic_programmer", "4 texts placed on 1 page"},
                                           DemoCase{"complex_hierarchy", ""}),
                         [](const auto& demo) { return std::string(demo.param.demo); });

// Before any update every label lacks its text: each verify line in gcc
// form points at the line and column where the label's node starts in its
// file, and names that label.
TEST(KicadFeedbackPlaces, VerifyPointsAtEachLabelInItsFile) {
    const fs::path demo = test::kKicad9Demos / "video";
    if (!fs::exists(demo)) GTEST_SKIP() << "no KiCad demos installed";
    DemoCopy copy(demo);
    const Ran r = orlune(copy.dir(), "verify --format gcc video.kicad_pro");
    EXPECT_EQ(r.status, 4);
    const std::regex form(R"re(^(.+\.kicad_sch):(\d+):(\d+): error: "([^"]+)" on page .+: missing: .*$)re");
    const std::vector<std::string> lines = linesOf(r.out);
    EXPECT_EQ(lines.size(), 162u);
    std::map<std::string, std::vector<std::string>> fileLines;
    for (const std::string& line : lines) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, form)) << line;
        auto& text = fileLines[m[1]];
        if (text.empty()) text = linesOf(readAll(copy.dir() / m[1].str()));  // relative to where it ran
        const std::size_t row = std::stoul(m[2]);
        const std::size_t column = std::stoul(m[3]);
        ASSERT_LE(row, text.size()) << line;
        ASSERT_LE(column, text[row - 1].size()) << line;
        const std::string at = text[row - 1].substr(column - 1);
        EXPECT_THAT(at, ::testing::MatchesRegex(R"(\((hierarchical|global)_label ".*)")) << line;
        EXPECT_THAT(at, ::testing::HasSubstr("\"" + m[4].str() + "\"")) << line;
    }
}

// `update --list` names each text by its label's text and page, gives its
// position in millimetres, and lists page by page as report does.
TEST(KicadFeedbackPlaces, ListAndReportByLabelAndPage) {
    const fs::path demo = test::kKicad9Demos / "video";
    if (!fs::exists(demo)) GTEST_SKIP() << "no KiCad demos installed";
    DemoCopy copy(demo);
    const Ran listed = orlune(copy.dir(), "update --list video.kicad_pro");
    ASSERT_EQ(listed.status, 0);
    const std::regex form(R"(^([^\t]+)\t(\d+) (/[^\t]*)\t(-?\d+(\.\d+)?)\t(-?\d+(\.\d+)?)\t\d\t@[0-9,\\n@]*$)");
    int lastPage = 0;
    const std::vector<std::string> lines = linesOf(listed.out);
    EXPECT_EQ(lines.size(), 162u);
    for (const std::string& line : lines) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, form)) << line;
        // An A3 or A4 page measures below 500 mm; database units would not.
        EXPECT_LT(std::stod(m[4]), 500.0) << line;
        EXPECT_LT(std::stod(m[6]), 500.0) << line;
        EXPECT_GE(std::stoi(m[2]), lastPage) << line;
        lastPage = std::stoi(m[2]);
    }
    const Ran report = orlune(copy.dir(), "report --csv video.kicad_pro");
    int lastSheet = 0;
    const std::vector<std::string> rows = linesOf(report.out);
    ASSERT_GT(rows.size(), 1u);
    for (std::size_t k = 1; k < rows.size(); ++k) {
        const std::string sheet = rows[k].substr(rows[k].find(',') + 1);
        if (sheet.empty() || !std::isdigit(static_cast<unsigned char>(sheet[0]))) continue;
        const int page = std::stoi(sheet);
        if (rows[k].rfind(',', 0) == 0) break;  // strays and users' texts follow the connectors
        EXPECT_GE(page, lastSheet) << rows[k];
        lastSheet = page;
    }
}

}  // namespace
}  // namespace orlune::kicad

// Saving a design: the model merged into the file it was read from, and the
// atomic replacement of the file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ostream>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "host/file_support.h"
#include "host/json.h"
#include "host/load.h"
#include "host/save.h"
#include "support/test_support.h"

namespace orlune::host {
namespace {

using test::kFullDesign;
using test::replaced;

std::unique_ptr<Design> load(std::string_view text) {
    std::unique_ptr<Design> design;
    std::string reason;
    const int32_t status = loadDesign(std::make_shared<const std::string>(text), "design.json", design, reason);
    EXPECT_EQ(kOk, status) << reason;
    return design;
}

std::string canonical(std::string_view text) {
    JsonDocument doc;
    JsonError error;
    EXPECT_TRUE(parseJson(std::make_shared<const std::string>(text), doc, error)) << error.message;
    return writeJson(doc);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

// A line diff: "-line" for each line of `before` that `after` lacks, "+line"
// for each line that `after` adds, in order.
std::vector<std::string> changedLines(const std::string& before, const std::string& after) {
    const auto a = lines(before);
    const auto b = lines(after);
    std::vector<std::vector<size_t>> lcs(a.size() + 1, std::vector<size_t>(b.size() + 1, 0));
    for (size_t i = a.size(); i-- > 0;) {
        for (size_t j = b.size(); j-- > 0;) {
            lcs[i][j] = a[i] == b[j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
        }
    }
    std::vector<std::string> out;
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() || j < b.size()) {
        if (i < a.size() && j < b.size() && a[i] == b[j]) {
            ++i, ++j;
        } else if (i < a.size() && (j == b.size() || lcs[i + 1][j] >= lcs[i][j + 1])) {
            out.push_back("-" + a[i++]);
        } else {
            out.push_back("+" + b[j++]);
        }
    }
    return out;
}

// Unknown keys in every kind of object, numbers that only their lexeme
// keeps, and keys in no particular order.
const std::string kRichDesign = R"({
  "comment": "kept",
  "version": 1,
  "format": "orlune-design",
  "units": 1,
  "workspace": [25400000, 17780000],
  "meta": {"ratio": 1.50, "big": 1e3, "neg": -0, "nested": [1.0, {"z": null, "a": [true, false]}], "empty": {}},
  "textStyles": [
    { "name": "Default", "number": 0, "height": 228600, "charWidth": 152400, "font": "Sans", "advances": {"@": 100, "1": 50} }
  ],
  "sheets": [ { "id": 1, "name": "Main", "size": "A4" }, { "name": "Power", "id": 2 } ],
  "nets": [ { "id": 1, "name": "VBAT", "class": "power" } ],
  "buses": [ { "nets": [1], "name": "D", "width": 8 } ],
  "components": [
    { "refDes": "SC1", "type": "SH_CONN", "kind": 2, "attributes": [ { "name": "SH_TYPE", "value": "1", "visible": false } ],
      "pins": [ { "x": -0, "y": 500000, "sheet": 1, "net": 1, "name": "1" } ],
      "symbol": { "sheet": 1, "x": 1000000, "y": 500000, "flipped": false, "rotation": 90.0 }, "footprint": "SC" },
    { "symbol": { "sheet": 2, "x": 2000000, "y": 500000, "flipped": true, "highlight": 3 },
      "refDes": "SC2", "type": "SH_CONN", "kind": 2,
      "pins": [ { "x": 2000000, "y": 500000, "sheet": 2, "net": 1 } ] }
  ],
  "items": [
    { "type": "text", "sheet": 1, "text": "@2", "style": 0, "x": 644400, "y": 500000, "justification": 6, "font": {"size": 2.5e1} },
    { "type": "line", "sheet": 2, "x1": 0, "y1": 0, "x2": 10, "y2": 0, "width": 0.25 }
  ],
  "attributes": [ { "name": "ORLUNE", "value": "x", "units": 1, "by": "tool" } ],
  "trailer": [1, "two", 3.0]
}
)";

TEST(Save, ARoundTripLosesNothing) {
    const std::string text = canonical(kRichDesign);
    const auto design = load(text);
    EXPECT_EQ(text, designText(*design));
}

TEST(Save, AFileInAnotherLayoutOnlyChangesItsLayout) {
    const auto design = load(kRichDesign);
    const std::string out = designText(*design);
    EXPECT_EQ(canonical(kRichDesign), out);
    EXPECT_NE(std::string::npos, out.find("\"ratio\": 1.50,"));
    EXPECT_NE(std::string::npos, out.find("\"big\": 1e3,"));
    EXPECT_NE(std::string::npos, out.find("\"neg\": -0,"));
    EXPECT_NE(std::string::npos, out.find("\"x\": -0,"));
    EXPECT_NE(std::string::npos, out.find("\"size\": 2.5e1"));
}

TEST(Save, AChangedHighlightChangesOnlyItsLine) {
    const std::string text = canonical(kRichDesign);
    auto design = load(text);
    design->components[1].symbol.highlight = 5;
    EXPECT_EQ((std::vector<std::string>{"-        \"highlight\": 3", "+        \"highlight\": 5"}),
              changedLines(text, designText(*design)));
}

TEST(Save, ANewKeyFollowsTheExistingOnesOfItsObject) {
    const std::string text = canonical(kRichDesign);
    auto design = load(text);
    design->components[0].symbol.selected = true;
    EXPECT_EQ((std::vector<std::string>{"-        \"rotation\": 90.0", "+        \"rotation\": 90.0,",
                                        "+        \"selected\": true"}),
              changedLines(text, designText(*design)));
}

TEST(Save, DefaultsTheFileLacksStayAbsent) {
    const std::string text = canonical(kRichDesign);
    auto design = load(text);
    // Values equal to the defaults of keys the file does not have.
    design->components[1].symbol.selected = false;
    design->items[1].selected = false;
    design->textLimit = 255;
    design->changed = true;
    EXPECT_EQ(text, designText(*design));
}

TEST(Save, APlacedTextIsAppendedToTheItems) {
    const std::string text = canonical(kRichDesign);
    auto design = load(text);
    Item placed;
    placed.type = ItemType::Text;
    placed.sheet = 2;
    placed.text = "@1\r\n\"q\"";
    placed.style = 0;
    placed.x = 2482600;
    placed.y = 500000;
    placed.justification = 4;
    design->items.push_back(placed);
    const std::string out = designText(*design);
    EXPECT_NE(std::string::npos, out.find(R"(      "width": 0.25
    },
    {
      "type": "text",
      "sheet": 2,
      "text": "@1\r\n\"q\"",
      "style": 0,
      "x": 2482600,
      "y": 500000,
      "justification": 4
    }
  ],
  "attributes": [)"));
    const auto again = load(out);
    ASSERT_EQ(3u, again->items.size());
    EXPECT_EQ(placed.text, again->items[2].text);
}

TEST(Save, ADeletedItemIsDropped) {
    const std::string text = canonical(kRichDesign);
    auto design = load(text);
    design->items[0].deleted = true;
    const auto again = load(designText(*design));
    ASSERT_EQ(1u, again->items.size());
    EXPECT_EQ(ItemType::Line, again->items[0].type);
}

TEST(Save, ItemsAreAddedWhereTheFileHadNone) {
    const std::string text = canonical(replaced(kRichDesign, "\"items\": [", "\"oldItems\": ["));
    auto design = load(text);
    ASSERT_TRUE(design->items.empty());
    Item line;
    line.type = ItemType::Line;
    line.sheet = 1;
    design->items.push_back(line);
    const std::string out = designText(*design);
    EXPECT_EQ(out.rfind("\"items\""), out.find("\"items\""));
    EXPECT_GT(out.find("\"items\""), out.find("\"trailer\""));  // after the existing keys
    EXPECT_EQ(1u, load(out)->items.size());
}

TEST(Save, AttributesAddedModifiedAndRemovedKeepTheRest) {
    const std::string text = canonical(kRichDesign);
    auto design = load(text);
    Attribute added;
    added.name = "ADDED";
    added.value = "v";
    added.units = 2;  // a component attribute's units are not part of the file
    design->components[0].attributes.push_back(added);
    design->components[0].attributes[0].value = "2";
    design->attributes[0].units.reset();
    Attribute note;
    note.name = "NOTE";
    note.value = "n";
    note.units = 4;
    design->attributes.push_back(note);
    const std::string out = designText(*design);
    const auto again = load(out);
    const auto& attrs = again->components[0].attributes;
    ASSERT_EQ(2u, attrs.size());
    EXPECT_EQ("2", attrs[0].value);
    EXPECT_EQ("ADDED", attrs[1].name);
    EXPECT_NE(std::string::npos, out.find("\"visible\": false"));
    EXPECT_EQ(std::string::npos, out.find("\"units\": 2"));
    ASSERT_EQ(2u, again->attributes.size());
    EXPECT_FALSE(again->attributes[0].units.has_value());
    EXPECT_NE(std::string::npos, out.find("\"by\": \"tool\""));  // the rest of the entry stays
    EXPECT_EQ(4, again->attributes[1].units.value_or(0));

    design->attributes.erase(design->attributes.begin());
    const auto third = load(designText(*design));
    ASSERT_EQ(1u, third->attributes.size());
    EXPECT_EQ("NOTE", third->attributes[0].name);
}

TEST(Save, ChangedAdvancesAreWrittenByCodePoint) {
    const std::string text = canonical(kRichDesign);
    auto design = load(text);
    design->textStyles[0].advances[U'€'] = 70;
    const std::string out = designText(*design);
    EXPECT_NE(std::string::npos,
              out.find("\"advances\": {\n        \"1\": 50,\n        \"@\": 100,\n        \"€\": 70\n      }"));
}

TEST(Save, ADesignWithoutADocumentGetsAFreshFile) {
    Design d;
    d.units = 2;
    d.workspaceX = 10;
    d.workspaceY = 20;
    d.textLimit = 40;
    d.sheets.push_back({1, "Main", kNoSource});
    d.nets.push_back({1, "N", kNoSource});
    Component c;
    c.refDes = "SC1";
    c.type = "SH_CONN";
    c.kind = 2;
    c.pins.push_back({1, 2, 1, 1, kNoSource});
    c.symbol.sheet = 1;
    c.symbol.flipped = true;
    d.components.push_back(c);
    const std::string out = designText(d);
    EXPECT_EQ(0u, out.find("{\n  \"format\": \"orlune-design\",\n  \"version\": 1,\n  \"units\": 2,"));
    const auto again = load(out);
    EXPECT_EQ(40, again->textLimit);
    ASSERT_EQ(1u, again->components.size());
    EXPECT_TRUE(again->components[0].symbol.flipped);
    EXPECT_EQ(out, designText(*again));
}

// ---------------------------------------------------------------------------

std::vector<std::string> folder(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(AtomicSave, ReplacesTheFileKeepingItsPermissions) {
    orlune::test::TempDir dir;
    const auto path = dir.file("design.json");
    orlune::test::writeFile(path, "old");
    ASSERT_EQ(0, ::chmod(path.c_str(), 0640));
    struct stat before {};
    ASSERT_EQ(0, ::stat(path.c_str(), &before));
    std::string reason;
    ASSERT_TRUE(saveAtomically(path.string(), "design.json", "new text\n", nullptr, reason)) << reason;
    EXPECT_EQ("new text\n", orlune::test::readFile(path));
    struct stat after {};
    ASSERT_EQ(0, ::stat(path.c_str(), &after));
    EXPECT_EQ(0640u, after.st_mode & 07777);
    EXPECT_NE(before.st_ino, after.st_ino);  // a new file renamed over the old
    EXPECT_EQ((std::vector<std::string>{"design.json"}), folder(dir.path()));
}

struct StageCase {
    SaveStage stage;
    const char* reason;
};

void PrintTo(const StageCase& c, std::ostream* os) {
    PrintTo(c.stage, os);
}

class AtomicSaveFailure : public ::testing::TestWithParam<StageCase> {};

TEST_P(AtomicSaveFailure, LeavesTheOriginalByteForByteAndSaysWhy) {
    orlune::test::TempDir dir;
    const auto path = dir.file("design.json");
    const std::string original = canonical(kRichDesign);
    orlune::test::writeFile(path, original);
    std::vector<SaveStage> asked;
    const auto hook = [&](SaveStage s) {
        asked.push_back(s);
        return s == GetParam().stage;
    };
    std::string reason;
    EXPECT_FALSE(saveAtomically(path.string(), "design.json", std::string(100000, 'x'), hook, reason));
    EXPECT_EQ(original, orlune::test::readFile(path));
    EXPECT_EQ(0u, reason.find(std::string("design.json: ") + GetParam().reason)) << reason;
    EXPECT_EQ((std::vector<std::string>{"design.json"}), folder(dir.path()));  // no temporary file left
    EXPECT_EQ(GetParam().stage, asked.back());
}

INSTANTIATE_TEST_SUITE_P(EveryStage, AtomicSaveFailure,
                         ::testing::Values(StageCase{SaveStage::Access, "cannot be written: Permission denied"},
                                           StageCase{SaveStage::CreateTemp, "cannot create a temporary file in "},
                                           StageCase{SaveStage::Write, "cannot write its new contents: No space"},
                                           StageCase{SaveStage::Flush, "cannot flush its new contents to disk: "},
                                           StageCase{SaveStage::Rename, "cannot be replaced by its new contents: "}));

TEST(AtomicSave, TheHookIsAskedAtEveryStageInOrder) {
    orlune::test::TempDir dir;
    const auto path = dir.file("design.json");
    orlune::test::writeFile(path, "old");
    std::vector<SaveStage> asked;
    std::string reason;
    ASSERT_TRUE(saveAtomically(
        path.string(), "design.json", "new",
        [&](SaveStage s) {
            asked.push_back(s);
            return false;
        },
        reason));
    EXPECT_EQ((std::vector<SaveStage>{SaveStage::Access, SaveStage::CreateTemp, SaveStage::Write, SaveStage::Flush,
                                      SaveStage::Rename}),
              asked);
}

// The system calls themselves, seen through the seam: what reaches the disk
// and in which order. A call answers what the system answered, or fails
// with the error `failing` names.
struct Recorder {
    static inline std::vector<std::string> calls;
    static inline std::string failing;  // "access", "fsync temp", ...
    static inline int tempFd = -1;

    template <class Real>
    static auto call(const std::string& name, Real real) -> decltype(real()) {
        if (!calls.empty() && calls.back() == name && name == "write") calls.pop_back();
        calls.push_back(name);
        if (name != failing) return real();
        errno = EIO;
        return -1;
    }
    static SaveCalls recording() {
        return {[](const char* p, int m) {
                    return call("access", [&] { return ::faccessat(AT_FDCWD, p, m, AT_EACCESS); });
                },
                [](const char* p, int f, mode_t m) {
                    if (f & O_DIRECTORY) return call("open folder", [&] { return ::open(p, f, m); });
                    return tempFd = call("create temp", [&] { return ::open(p, f, m); });
                },
                [](int fd, const void* d, size_t n) { return call("write", [&] { return ::write(fd, d, n); }); },
                [](int fd) { return call(fd == tempFd ? "fsync temp" : "fsync folder", [&] { return ::fsync(fd); }); },
                [](int fd) {
                    const int closed = ::close(fd);  // even when it is to fail: no descriptor left open
                    const bool temp = fd == tempFd;
                    if (temp) tempFd = -1;  // the number may serve the folder next
                    return call(temp ? "close temp" : "close folder", [&] { return closed; });
                },
                [](const char* a, const char* b) { return call("rename", [&] { return ::rename(a, b); }); },
                [](const char* a, const char* b, bool exists) {
                    return call("exchange", [&] {
                        return ::renameat2(AT_FDCWD, a, AT_FDCWD, b, exists ? RENAME_EXCHANGE : RENAME_NOREPLACE);
                    });
                }};
    }
};

class SaveCallsTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = saveCalls();
        saveCalls() = Recorder::recording();
        Recorder::calls.clear();
        Recorder::failing.clear();
        orlune::test::writeFile(path, "old");
    }
    void TearDown() override { saveCalls() = saved_; }

    orlune::test::TempDir dir;
    std::filesystem::path path = dir.file("design.json");
    SaveCalls saved_{};
};

TEST_F(SaveCallsTest, TheContentsReachTheDiskBeforeTheRenameAndTheRenameWithTheFolder) {
    std::string reason;
    ASSERT_TRUE(saveAtomically(path.string(), "design.json", std::string(3u << 20, 'x'), nullptr, reason)) << reason;
    EXPECT_EQ((std::vector<std::string>{"access", "create temp", "write", "fsync temp", "close temp", "rename",
                                        "open folder", "fsync folder", "close folder"}),
              Recorder::calls);
}

TEST_F(SaveCallsTest, AFailingCallRefusesTheSaveWithTheOriginalIntact) {
    for (const char* call : {"access", "create temp", "write", "fsync temp", "close temp", "rename"}) {
        SCOPED_TRACE(call);
        Recorder::failing = call;
        std::string reason;
        EXPECT_FALSE(saveAtomically(path.string(), "design.json", "new", nullptr, reason));
        EXPECT_EQ(0u, reason.find("design.json: cannot ")) << reason;
        EXPECT_NE(std::string::npos, reason.find("Input/output error")) << reason;
        EXPECT_EQ("old", orlune::test::readFile(path));
        EXPECT_EQ((std::vector<std::string>{"design.json"}), folder(dir.path()));
    }
}

TEST(AtomicSave, RemovesTheTemporaryFilesOfDeadProcessesOnly) {
    orlune::test::TempDir dir;
    const auto path = dir.file("d.json");
    orlune::test::writeFile(path, "old");
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ASSERT_EQ(child, ::waitpid(child, nullptr, 0));  // its id now names no process
    const std::string prefix = temporaryPrefix(dir.path().string(), "d.json");
    const std::vector<std::string> kept = {prefix + std::to_string(::getpid()) + "-Ab12Cd", prefix + "x-Ab12Cd",
                                           ".d.json.Ab12Cd", "d.json"};
    for (const std::string& name : kept)
        orlune::test::writeFile(dir.file(name), "x");
    orlune::test::writeFile(dir.file(prefix + std::to_string(child) + "-Ab12Cd"), "torn");
    std::string reason;
    ASSERT_TRUE(saveAtomically(path.string(), "d.json", "new", nullptr, reason)) << reason;
    std::vector<std::string> expected = kept;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, folder(dir.path()));
}

}  // namespace
}  // namespace orlune::host

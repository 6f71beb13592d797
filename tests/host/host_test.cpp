// The host around the design file: open and close, saving only a change,
// the cache, read-only conversations, check, and the host-side commands.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/file_support.h"
#include "host/host_impl.h"
#include "host/load.h"
#include "support/test_support.h"

namespace orlune::host {
namespace {

using orlune::test::readFile;
using orlune::test::writeFile;
using test::kFullDesign;

struct FileState {
    ino_t inode = 0;
    timespec mtime{};
    std::string bytes;
    bool operator==(const FileState& o) const {
        return inode == o.inode && mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec &&
               bytes == o.bytes;
    }
};

class HostFile : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("design.json");
        writeFile(path, kFullDesign);
        agePath();
        host.setDesignFile(path.string());
        host.setLockWait(0);
    }

    // Puts the file's time in the past, so that a rewrite shows in it.
    void agePath() {
        const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
        ASSERT_EQ(0, ::utimensat(AT_FDCWD, path.c_str(), times, 0));
    }

    FileState state() const {
        struct stat st {};
        EXPECT_EQ(0, ::stat(path.c_str(), &st));
        return {st.st_ino, st.st_mtim, readFile(path)};
    }

    int32_t open() { return host.impl().open(); }
    int32_t close() { return host.impl().close(); }
    Design& design() { return *host.design(); }

    // The design as the file now holds it.
    std::unique_ptr<Design> onDisk() const {
        std::unique_ptr<Design> d;
        std::string reason;
        EXPECT_EQ(kOk, loadDesign(std::make_shared<const std::string>(readFile(path)), "design.json", d, reason))
            << reason;
        return d;
    }

    bool lockFileExists() const { return std::filesystem::exists(path.string() + ".lock"); }

    orlune::test::TempDir dir;
    std::filesystem::path path;
    Host host;
};

TEST_F(HostFile, NoDesignNamedIsAnOpenErrorWithAReason) {
    Host empty;
    EXPECT_EQ(kNoDesign, empty.impl().open());
    EXPECT_EQ("no design file named", empty.lastOpenError());
    EXPECT_EQ(nullptr, empty.design());
}

TEST_F(HostFile, AMissingFileIsUnreadable) {
    host.setDesignFile(dir.file("missing.json").string());
    EXPECT_EQ(kFileUnreadable, open());
    EXPECT_EQ(dir.file("missing.json").string() + ": cannot be read: No such file or directory", host.lastOpenError());
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing.json.lock")));
}

TEST_F(HostFile, AFolderIsUnreadable) {
    host.setDesignFile(dir.path().string());
    EXPECT_EQ(kFileUnreadable, open());
    EXPECT_NE(std::string::npos, host.lastOpenError().find("not a regular file but a folder")) << host.lastOpenError();
}

TEST_F(HostFile, ADeviceIsNotRead) {
    DesignSummary s;
    std::string reason;
    EXPECT_EQ(kFileUnreadable, host.check("/dev/zero", s, reason));
    EXPECT_EQ(0u, reason.find("/dev/zero: cannot be read: ")) << reason;
}

TEST_F(HostFile, AnInvalidDesignIsRefusedWithItsReasonAndNoLockIsKept) {
    writeFile(path, test::replaced(kFullDesign, "\"R1\"", "\"SC1\""));
    EXPECT_EQ(kInvalidDesign, open());
    EXPECT_EQ(path.string() + ":20: components[2].refDes: \"SC1\" is used twice (also components[0])",
              host.lastOpenError());
    EXPECT_EQ(nullptr, host.design());
    EXPECT_FALSE(lockFileExists());
    EXPECT_EQ(kNotOpen, close());
}

TEST_F(HostFile, AnotherVersionIsIncompatible) {
    writeFile(path, test::replaced(kFullDesign, "\"version\": 1", "\"version\": 2"));
    EXPECT_EQ(kIncompatible, open());
}

TEST_F(HostFile, OpenAndCloseWithoutAChangeDoNotRewriteTheFile) {
    const FileState before = state();
    ASSERT_EQ(kOk, open()) << host.lastOpenError();
    EXPECT_TRUE(lockFileExists());
    EXPECT_EQ(kOk, close());
    EXPECT_TRUE(before == state());
    EXPECT_FALSE(lockFileExists());
    EXPECT_EQ("", host.lastSaveError());
}

TEST_F(HostFile, AChangeThatLeavesTheTextAsItWasDoesNotRewriteTheFile) {
    // After this save the file holds the text the design gives.
    ASSERT_EQ(kOk, open());
    design().components[1].symbol.highlight = 4;
    design().changed = true;
    ASSERT_EQ(kOk, close());
    agePath();
    const FileState before = state();
    ASSERT_EQ(kOk, open());
    design().components[1].symbol.highlight = 4;
    design().changed = true;
    EXPECT_EQ(kOk, close());
    EXPECT_TRUE(before == state());
}

TEST_F(HostFile, CloseSavesAChangeAndKeepsEverythingElse) {
    ASSERT_EQ(kOk, open());
    design().components[2].symbol.highlight = 9;
    design().changed = true;
    ASSERT_EQ(kOk, close()) << host.lastSaveError();
    const std::string text = readFile(path);
    EXPECT_NE(std::string::npos, text.find("\"highlight\": 9"));
    EXPECT_EQ(9, onDisk()->components[2].symbol.highlight);
    EXPECT_FALSE(design().changed);
    EXPECT_FALSE(lockFileExists());
    EXPECT_EQ('\n', text.back());
}

TEST_F(HostFile, TheSavedDesignServesTheNextConversation) {
    ASSERT_EQ(kOk, open());
    Design* first = host.design();
    design().components[2].symbol.highlight = 9;
    design().changed = true;
    ASSERT_EQ(kOk, close());
    ASSERT_EQ(kOk, open());
    EXPECT_EQ(first, host.design());  // not read again
    EXPECT_EQ(9, design().components[2].symbol.highlight);
    // A second save from the kept design writes the same text again.
    design().components[2].symbol.highlight = 8;
    design().changed = true;
    ASSERT_EQ(kOk, close());
    EXPECT_EQ(8, onDisk()->components[2].symbol.highlight);
    EXPECT_EQ(3, onDisk()->components.size());
}

TEST_F(HostFile, AnUnchangedFileIsNotParsedAgain) {
    ASSERT_EQ(kOk, open());
    Design* first = host.design();
    ASSERT_EQ(kOk, close());
    ASSERT_EQ(kOk, open());
    EXPECT_EQ(first, host.design());
    ASSERT_EQ(kOk, close());
}

TEST_F(HostFile, AFileChangedByAnotherProgramIsReadAfresh) {
    ASSERT_EQ(kOk, open());
    ASSERT_EQ(kOk, close());
    // Same size, one byte different.
    writeFile(path, test::replaced(kFullDesign, "\"highlight\": 3", "\"highlight\": 7"));
    agePath();
    ASSERT_EQ(kOk, open());
    EXPECT_EQ(7, design().components[1].symbol.highlight);
    ASSERT_EQ(kOk, close());
    // And one that became invalid is refused, not served from the cache.
    writeFile(path, "{");
    EXPECT_EQ(kNotJson, open());
}

TEST_F(HostFile, AFailedSaveAnswersNonZeroKeepsTheReasonAndTheOriginal) {
    const FileState before = state();
    host.failSave = [](SaveStage s) { return s == SaveStage::Write; };
    ASSERT_EQ(kOk, open());
    design().components[1].symbol.highlight = 0;
    design().changed = true;
    EXPECT_EQ(kSaveFailed, close());
    EXPECT_EQ(0u, host.lastSaveError().find(path.string() + ": cannot write its new contents: "))
        << host.lastSaveError();
    EXPECT_NE(std::string::npos, host.lastSaveError().find("No space left on device"));
    EXPECT_TRUE(before == state());
    EXPECT_FALSE(lockFileExists());
    // The change that was not saved is not served as if it were.
    host.failSave = nullptr;
    ASSERT_EQ(kOk, open());
    EXPECT_EQ(3, design().components[1].symbol.highlight);
    EXPECT_EQ(kOk, close());
    EXPECT_EQ("", host.lastSaveError());
}

class HostSaveFailure : public HostFile, public ::testing::WithParamInterface<SaveStage> {};

TEST_P(HostSaveFailure, AtAnyStageLeavesTheFolderAsItWas) {
    const FileState before = state();
    host.failSave = [](SaveStage s) { return s == GetParam(); };
    ASSERT_EQ(kOk, open());
    design().items[0].deleted = true;
    design().changed = true;
    EXPECT_EQ(kSaveFailed, close());
    EXPECT_EQ(0u, host.lastSaveError().find(path.string() + ": cannot ")) << host.lastSaveError();
    EXPECT_TRUE(before == state());
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(std::vector<std::string>{"design.json"}, names);
}

INSTANTIATE_TEST_SUITE_P(EveryStage, HostSaveFailure,
                         ::testing::Values(SaveStage::Access, SaveStage::CreateTemp, SaveStage::Write, SaveStage::Flush,
                                           SaveStage::Rename));

TEST_F(HostFile, ReadOnlyConversationsCarryTheirChangesButNeverWrite) {
    host.setReadOnly(true);
    const FileState before = state();
    ASSERT_EQ(kOk, open());
    design().components[1].symbol.highlight = 0;
    design().changed = true;
    EXPECT_EQ(kOk, close());
    EXPECT_TRUE(before == state());
    ASSERT_EQ(kOk, open());
    EXPECT_EQ(0, design().components[1].symbol.highlight);  // the copy's change is carried
    EXPECT_EQ(kOk, close());
    EXPECT_TRUE(before == state());
    // Leaving read-only mode drops the changed copy.
    host.setReadOnly(false);
    ASSERT_EQ(kOk, open());
    EXPECT_EQ(3, design().components[1].symbol.highlight);
    EXPECT_EQ(kOk, close());
    EXPECT_TRUE(before == state());
}

TEST_F(HostFile, ASecondOpenWithoutCloseIsRefused) {
    ASSERT_EQ(kOk, open());
    EXPECT_EQ(kNotOpen, open());
    EXPECT_EQ(kOk, close());
    EXPECT_EQ(kNotOpen, close());
}

TEST_F(HostFile, ADesignReachedThroughALinkIsSavedIntoItsTarget) {
    const auto link = dir.file("link.json");
    std::filesystem::create_symlink(path, link);
    host.setDesignFile(link.string());
    ASSERT_EQ(kOk, open());
    design().components[2].symbol.highlight = 2;
    design().changed = true;
    ASSERT_EQ(kOk, close());
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(2, onDisk()->components[2].symbol.highlight);
}

TEST_F(HostFile, CheckCountsWithoutAConversation) {
    DesignSummary s;
    std::string reason;
    const FileState before = state();
    ASSERT_EQ(kOk, host.check(path.string(), s, reason)) << reason;
    EXPECT_EQ(2, s.sheets);
    EXPECT_EQ(3, s.components);
    EXPECT_EQ(2, s.sheetConnectors);
    EXPECT_EQ(2, s.nets);
    EXPECT_EQ(1, s.buses);
    EXPECT_EQ(4, s.items);
    EXPECT_EQ("", reason);
    EXPECT_TRUE(before == state());
    EXPECT_FALSE(lockFileExists());

    writeFile(path, test::replaced(kFullDesign, "\"sheet\": 1, \"net\": 1 }", "\"sheet\": 9, \"net\": 1 }"));
    EXPECT_EQ(kInvalidDesign, host.check(path.string(), s, reason));
    EXPECT_EQ(path.string() + ":15: components[0].pins[0].sheet: 9 is not a declared sheet", reason);
    EXPECT_EQ(kFileUnreadable, host.check(dir.file("none.json").string(), s, reason));
}

TEST_F(HostFile, SelectSymbolsMakesExactlyTheseTheSelection) {
    std::string reason;
    ASSERT_EQ(kOk, host.selectSymbols({"SC1", "R1"}, reason)) << reason;
    const auto d = onDisk();
    EXPECT_TRUE(d->components[0].symbol.selected);
    EXPECT_FALSE(d->components[1].symbol.selected);  // was selected
    EXPECT_TRUE(d->components[2].symbol.selected);
    for (const Item& item : d->items)
        EXPECT_FALSE(item.selected);
    EXPECT_FALSE(lockFileExists());
    // The same selection again changes nothing, so nothing is written.
    agePath();
    const FileState before = state();
    ASSERT_EQ(kOk, host.selectSymbols({"R1", "SC1"}, reason));
    EXPECT_TRUE(before == state());
}

TEST_F(HostFile, SelectingNoSymbolClearsTheSelection) {
    std::string reason;
    ASSERT_EQ(kOk, host.selectSymbols({}, reason)) << reason;
    const auto d = onDisk();
    for (const Component& c : d->components)
        EXPECT_FALSE(c.symbol.selected);
    for (const Item& item : d->items)
        EXPECT_FALSE(item.selected);
}

TEST_F(HostFile, SelectingAnUnknownComponentChangesNothing) {
    const FileState before = state();
    std::string reason;
    EXPECT_EQ(kNotFound, host.selectSymbols({"SC1", "U9", "X 1", "U9"}, reason));
    EXPECT_EQ(path.string() + ": no component has the reference designator \"U9\", \"X 1\"", reason);
    EXPECT_TRUE(before == state());
    EXPECT_FALSE(lockFileExists());
}

TEST_F(HostFile, ClearHighlightsSetsEveryHighlightTo0) {
    std::string reason;
    ASSERT_EQ(kOk, host.clearHighlights(reason)) << reason;
    const auto d = onDisk();
    for (const Component& c : d->components)
        EXPECT_EQ(0, c.symbol.highlight);
    agePath();
    const FileState before = state();
    ASSERT_EQ(kOk, host.clearHighlights(reason));
    EXPECT_TRUE(before == state());
}

TEST_F(HostFile, HostSideCommandsReportOpenAndSaveFailures) {
    std::string reason;
    writeFile(path, "[]");
    EXPECT_EQ(kInvalidDesign, host.clearHighlights(reason));
    EXPECT_EQ(path.string() + ":1: the top level must be an object", reason);
    writeFile(path, kFullDesign);
    host.failSave = [](SaveStage s) { return s == SaveStage::Rename; };
    EXPECT_EQ(kSaveFailed, host.selectSymbols({"R1"}, reason));
    EXPECT_EQ(0u, reason.find(path.string() + ": cannot be replaced")) << reason;
    EXPECT_EQ(kFullDesign, readFile(path));
}

TEST(HostBindingTest, BindingsNestAndRestoreThePreviousHost) {
    EXPECT_EQ(nullptr, currentHost());
    Host a;
    Host b;
    {
        HostBinding ba(a);
        EXPECT_EQ(&a, currentHost());
        {
            HostBinding bb(b);
            EXPECT_EQ(&b, currentHost());
        }
        EXPECT_EQ(&a, currentHost());
    }
    EXPECT_EQ(nullptr, currentHost());
}

}  // namespace
}  // namespace orlune::host

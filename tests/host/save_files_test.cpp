// Saving several files as one: every file or none, whatever fails, whoever
// else saves, and wherever the process is killed.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "host/save.h"
#include "support/test_support.h"

namespace orlune::host {
namespace {

namespace fs = std::filesystem;
using orlune::test::readFile;
using orlune::test::writeFile;

// The system's own calls, for the tests' stand-ins to pass on to.
const SaveCalls& saved() {
    static const SaveCalls system = saveCalls();
    return system;
}

std::vector<std::string> names(const fs::path& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// Three files of one design in one folder, "old N" in each, to become
// "new N".
class SaveFiles : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = saved();
        for (int k = 0; k < kFiles; ++k)
            writeFile(file(k), "old " + std::to_string(k));
    }
    void TearDown() override { saveCalls() = saved_; }

    static constexpr int kFiles = 3;
    fs::path file(int k) const { return dir.file("f" + std::to_string(k)); }
    std::string journal() const { return journalPathFor(file(0).string()); }
    std::vector<FileChange> changes() const {
        std::vector<FileChange> out;
        for (int k = 0; k < kFiles; ++k)
            out.push_back(
                {file(k).string(), "f" + std::to_string(k), "new " + std::to_string(k), "old " + std::to_string(k)});
        return out;
    }
    // "old" or "new" when every file holds its old or its new bytes, else
    // what each holds.
    std::string state() const {
        std::string all;
        for (const char* which : {"old", "new"}) {
            bool same = true;
            for (int k = 0; k < kFiles; ++k)
                same = same && readFile(file(k)) == std::string(which) + " " + std::to_string(k);
            if (same) return which;
        }
        for (int k = 0; k < kFiles; ++k)
            all += readFile(file(k)) + ";";
        return all;
    }
    std::vector<std::string> onlyTheFiles() const { return {"f0", "f1", "f2"}; }

    orlune::test::TempDir dir;
    SaveCalls saved_{};
};

TEST_F(SaveFiles, AFailureAtOrAfterAnyExchangeGivesEveryFileItsOldBytes) {
    for (const SaveStage stage : {SaveStage::Rename, SaveStage::Renamed}) {
        for (int n = 0; n < kFiles; ++n) {
            SCOPED_TRACE(std::string(stage == SaveStage::Rename ? "at" : "after") + " exchange " + std::to_string(n));
            int seen = 0;
            std::string reason;
            EXPECT_FALSE(saveFiles(
                journal(), changes(), [&](SaveStage s) { return s == stage && seen++ == n; }, reason));
            EXPECT_EQ("old", state());
            EXPECT_EQ(0u, reason.find("f" + std::to_string(n) + ": cannot be replaced by its new contents: "))
                << reason;
            EXPECT_NE(std::string::npos, reason.find("; nothing written")) << reason;
            EXPECT_EQ(onlyTheFiles(), names(dir.path()));  // no temporary file, no journal
        }
    }
    std::string reason;
    ASSERT_TRUE(saveFiles(journal(), changes(), nullptr, reason)) << reason;
    EXPECT_EQ("new", state());
    EXPECT_EQ(onlyTheFiles(), names(dir.path()));
}

// Another program saves a file (new bytes renamed over it, as an editor
// does) just before ORLUNE's exchange reaches it: its save stays, and so
// does every other file's old content.
TEST_F(SaveFiles, AnotherProgramsSaveInBetweenIsKeptAndTheSaveRefused) {
    static int target;
    static fs::path other;
    for (target = 0; target < kFiles; ++target) {
        SCOPED_TRACE(target);
        for (int k = 0; k < kFiles; ++k)
            writeFile(file(k), "old " + std::to_string(k));
        other = file(target);
        saveCalls().exchange = [](const char* from, const char* to, bool exists) {
            if (fs::path(to) == fs::canonical(other)) {
                writeFile(other.string() + ".editor", "theirs");
                fs::rename(other.string() + ".editor", other);
            }
            return saved().exchange(from, to, exists);
        };
        std::string reason;
        EXPECT_FALSE(saveFiles(journal(), changes(), nullptr, reason));
        EXPECT_EQ(0u, reason.find("f" + std::to_string(target) + ": another program saved it")) << reason;
        for (int k = 0; k < kFiles; ++k)
            EXPECT_EQ(k == target ? "theirs" : "old " + std::to_string(k), readFile(file(k))) << k;
        EXPECT_EQ(onlyTheFiles(), names(dir.path()));
        saveCalls() = saved();
    }
}

// A child saves and is killed (SIGKILL, by itself) right after its Nth
// rename of any kind, the journal's included, for every N the save makes;
// the next recovery finds every file old or every file new, and nothing
// beside them.
TEST_F(SaveFiles, AKillAfterAnyRenameIsFinishedOrUndoneByTheNextRecovery) {
    static int killAfter;
    static int renames;
    const auto counting = [] {
        SaveCalls calls = saveCalls();
        calls.rename = [](const char* a, const char* b) {
            const int r = saved().rename(a, b);
            if (++renames == killAfter) ::raise(SIGKILL);
            return r;
        };
        calls.exchange = [](const char* a, const char* b, bool exists) {
            const int r = saved().exchange(a, b, exists);
            if (++renames == killAfter) ::raise(SIGKILL);
            return r;
        };
        return calls;
    };
    std::string reason;
    killAfter = -1;
    renames = 0;
    saveCalls() = counting();
    ASSERT_TRUE(saveFiles(journal(), changes(), nullptr, reason)) << reason;
    saveCalls() = saved();
    const int total = renames;
    ASSERT_EQ(kFiles + 3, total);  // the journal thrice, each file once

    std::vector<std::string> outcomes;
    for (killAfter = 1; killAfter <= total; ++killAfter) {
        SCOPED_TRACE(killAfter);
        for (int k = 0; k < kFiles; ++k)
            writeFile(file(k), "old " + std::to_string(k));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            renames = 0;
            saveCalls() = counting();
            std::string why;
            saveFiles(journal(), changes(), nullptr, why);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(child, ::waitpid(child, &status, 0));
        ASSERT_TRUE(WIFSIGNALED(status));
        ASSERT_TRUE(recoverSave(journal(), reason)) << reason;
        outcomes.push_back(state());
        EXPECT_EQ(onlyTheFiles(), names(dir.path()));
    }
    // Undone until the journal says every file is done, finished from then.
    std::vector<std::string> expected(static_cast<size_t>(total), "old");
    expected[static_cast<size_t>(total) - 1] = "new";
    EXPECT_EQ(expected, outcomes);
}

TEST_F(SaveFiles, AJournalNotWrittenByASaveIsKeptAndSaidSo) {
    writeFile(journal(), "something else\n");
    std::string reason;
    EXPECT_FALSE(recoverSave(journal(), reason));
    EXPECT_NE(std::string::npos, reason.find("is not one ORLUNE wrote")) << reason;
    EXPECT_EQ("something else\n", readFile(journal()));
}

// A file reached through a symbolic link is written at the link's target:
// the link stays, the target keeps its mode, its extended attributes and
// its ACL. One file under two names cannot take two contents.
TEST_F(SaveFiles, ALinkIsWrittenThroughAndTheTargetKeepsItsRightsAndAttributes) {
    const fs::path shared = dir.file("shared");
    fs::create_directory(shared);
    const fs::path target = shared / "real";
    writeFile(target, "old 0");
    ASSERT_EQ(0, ::chmod(target.c_str(), 0600));
    fs::remove(file(0));
    fs::create_symlink(target, file(0));
    const bool attributes = ::setxattr(target.c_str(), "user.orlune", "kept", 4, 0) == 0;
    // An ACL granting user 4242 read: user::rw-, user:4242:r--, group::---,
    // mask::r--, other::---.
    struct Entry {
        uint16_t tag, perm;
        uint32_t id;
    };
    const Entry acl[] = {
        {0x01, 6, 0xffffffff}, {0x02, 4, 4242}, {0x04, 0, 0xffffffff}, {0x10, 4, 0xffffffff}, {0x20, 0, 0xffffffff}};
    std::string aclBytes("\x02\x00\x00\x00", 4);
    aclBytes.append(reinterpret_cast<const char*>(acl), sizeof acl);
    const bool withAcl =
        ::setxattr(target.c_str(), "system.posix_acl_access", aclBytes.data(), aclBytes.size(), 0) == 0;

    std::string reason;
    ASSERT_TRUE(saveFiles(journal(), changes(), nullptr, reason)) << reason;
    EXPECT_TRUE(fs::is_symlink(file(0)));
    EXPECT_EQ("new 0", readFile(target));
    struct stat st {};
    ASSERT_EQ(0, ::stat(target.c_str(), &st));
    EXPECT_EQ(withAcl ? 0640u : 0600u, st.st_mode & 07777);  // an ACL's mask shows as the group's bits
    char value[64] = {};
    if (attributes) {
        EXPECT_EQ(4, ::getxattr(target.c_str(), "user.orlune", value, sizeof value));
        EXPECT_EQ("kept", std::string(value, 4));
    }
    if (withAcl) {
        std::string got(256, '\0');
        const ssize_t n = ::getxattr(target.c_str(), "system.posix_acl_access", got.data(), got.size());
        ASSERT_GT(n, 0);
        EXPECT_EQ(aclBytes, got.substr(0, static_cast<size_t>(n)));
    }
    EXPECT_EQ((std::vector<std::string>{"real"}), names(shared));

    std::vector<FileChange> twice = changes();
    twice[1].path = (shared / "real").string();
    EXPECT_FALSE(saveFiles(journal(), twice, nullptr, reason));
    EXPECT_NE(std::string::npos, reason.find("reached by two names")) << reason;
    EXPECT_EQ("new 0", readFile(target));
    if (!attributes || !withAcl) GTEST_SKIP() << "this file system keeps no extended attributes or ACLs";
}

}  // namespace
}  // namespace orlune::host

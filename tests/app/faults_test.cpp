// Faults around the design file, through the command line: a save that fails
// at any stage, a process killed in the middle of its save, and two processes
// on one design. Whatever happens, the design holds either what it held or
// what the command wrote, never a part of it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "app/cli_support.h"
#include "app/design_run.h"
#include "host/host_impl.h"
#include "host/save.h"

namespace orlune::test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

const char* const kListed = "SC1\t1\t644400\t500000\t6\t@2\nSC2\t2\t2482600\t500000\t4\t@1\n";

const char* stageName(host::SaveStage stage) {
    switch (stage) {
        case host::SaveStage::Access:
            return "Access";
        case host::SaveStage::CreateTemp:
            return "CreateTemp";
        case host::SaveStage::Write:
            return "Write";
        case host::SaveStage::Flush:
            return "Flush";
        case host::SaveStage::Rename:
            return "Rename";
        case host::SaveStage::Renamed:
            return "Renamed";
    }
    return "?";
}

// The names in a folder, sorted.
std::vector<std::string> names(const std::filesystem::path& folder) {
    std::vector<std::string> out;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        out.push_back(entry.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

class Faults : public ::testing::TestWithParam<host::SaveStage> {
protected:
    void SetUp() override {
        design = dir.file("d.json");
        writeFile(design, minimalDesign());
        original = readFile(design);
    }
    void TearDown() override { app::prepareHostForTests = nullptr; }

    TempDir dir;
    std::filesystem::path design;
    std::string original;
};

TEST_P(Faults, AFailedSaveSaysWhyExitsThreeAndLeavesTheFolderAsItWas) {
    const host::SaveStage stage = GetParam();
    app::prepareHostForTests = [stage](host::Host& h) {
        h.failSave = [stage](host::SaveStage s) { return s == stage; };
    };
    const CliResult r = runCli({"update", design.string(), "--list"});
    EXPECT_EQ(3, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_THAT(r.err, StartsWith("Error: the design could not be saved: " + design.string() + ": "));
    EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
    EXPECT_EQ(original, readFile(design));
    EXPECT_THAT(names(dir.path()), ::testing::ElementsAre("d.json"));  // no temporary file, no lock file

    // Nothing is left in the way of the next save.
    app::prepareHostForTests = nullptr;
    const CliResult again = runCli({"update", design.string(), "--list"});
    EXPECT_EQ(0, again.status) << again.err;
    EXPECT_EQ(kListed, again.out);
}

// A child process runs `orlune update` through the real host and is killed
// when its save reaches `stage`: before the temporary file exists, before it
// is written, after it is written and before it is flushed, after it is
// flushed and before it replaces the design.
TEST_P(Faults, AProcessKilledDuringItsSaveLeavesTheDesignWhole) {
    const host::SaveStage stage = GetParam();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        app::prepareHostForTests = [stage](host::Host& h) {
            h.failSave = [stage](host::SaveStage s) {
                if (s == stage) ::raise(SIGKILL);
                return false;
            };
        };
        std::string path = design.string();
        char command[] = "update";
        char* argv[] = {const_cast<char*>("orlune"), command, path.data(), nullptr};
        std::ostringstream out;
        std::ostringstream err;
        app::runCommandLine(3, argv, out, err);
        ::_exit(0);  // not killed: the test fails below
    }
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    ASSERT_TRUE(WIFSIGNALED(status)) << stageName(stage);
    EXPECT_EQ(SIGKILL, WTERMSIG(status));

    // The design is byte for byte what it was; a stale temporary file and
    // the dead process's lock file may stay beside it.
    EXPECT_EQ(original, readFile(design));
    for (const std::string& name : names(dir.path())) {
        EXPECT_TRUE(name == "d.json" || name == "d.json.lock" || name.rfind(".d.json.", 0) == 0) << name;
    }

    // The next run is neither blocked by the dead process's lock nor misled
    // by its leftovers, and removes them.
    const CliResult r = runCli({"update", design.string(), "--list"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(kListed, r.out);
    EXPECT_THAT(names(dir.path()), ::testing::ElementsAre("d.json"));
    EXPECT_THAT(readFile(design), HasSubstr("\"@2\""));
    EXPECT_EQ(0, runCli({"verify", design.string()}).status);
}

INSTANTIATE_TEST_SUITE_P(EveryStage, Faults,
                         ::testing::Values(host::SaveStage::Access, host::SaveStage::CreateTemp, host::SaveStage::Write,
                                           host::SaveStage::Flush, host::SaveStage::Rename),
                         [](const auto& stage) { return std::string(stageName(stage.param)); });

// --- What stands at the design's place and beside it ---------------------------

TEST(DesignPlace, WhatIsNoRegularFileIsRefusedUnreadAndTheReasonSaysSo) {
    TempDir dir;
    const std::string fifo = dir.file("f.json").string();
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));  // no writer: a read would wait for ever
    int ends[2];
    ASSERT_EQ(0, ::pipe(ends));  // what `orlune status <(cat board.json)` is given
    const std::string piped = "/dev/fd/" + std::to_string(ends[0]);
    const std::pair<std::string, std::string> cases[] = {
        {fifo, "a pipe"}, {piped, "a pipe"}, {dir.path().string(), "a folder"}, {"/dev/null", "a device"}};
    for (const auto& [path, kind] : cases) {
        for (const char* command : {"status", "update", "check"}) {
            SCOPED_TRACE(path + " " + command);
            const CliResult r = runCli({command, path});
            EXPECT_EQ(3, r.status);
            EXPECT_THAT(r.out + r.err, HasSubstr(path + ": cannot be read: it is not a regular file but " + kind));
        }
    }
    ::close(ends[0]);
    ::close(ends[1]);
    EXPECT_THAT(names(dir.path()), ::testing::ElementsAre("f.json"));
}

TEST(DesignPlace, ADesignOfAnyNameTheSystemTakesIsSavedAndLeavesNothingBesideIt) {
    for (const std::size_t length : {248u, 251u, 255u}) {
        SCOPED_TRACE(length);
        TempDir dir;
        const std::string name = std::string(length - 5, 'd') + ".json";
        writeFile(dir.file(name), minimalDesign());
        const CliResult r = runCli({"update", dir.file(name).string(), "--list"});
        EXPECT_EQ(0, r.status) << r.err;
        EXPECT_EQ(kListed, r.out);
        EXPECT_THAT(names(dir.path()), ::testing::ElementsAre(name));
    }
}

TEST(DesignPlace, APictureReplacesALinkAtItsPlaceAndAFailedOneLeavesTheEarlier) {
    TempDir dir;
    writeFile(dir.file("d.json"), minimalDesign());
    const std::filesystem::path out = dir.file("out");
    std::filesystem::create_directories(out);
    writeFile(dir.file("precious.txt"), "mine");
    std::filesystem::create_symlink(dir.file("precious.txt"), out / "sheet-1.svg");
    CliResult r = runCli({"render", dir.file("d.json").string(), "-o", out.string()});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("mine", readFile(dir.file("precious.txt")));
    EXPECT_FALSE(std::filesystem::is_symlink(out / "sheet-1.svg"));
    EXPECT_THAT(readFile(out / "sheet-1.svg"), HasSubstr("<svg"));

    writeFile(out / "sheet-1.svg", "earlier");
    const host::SaveCalls real = host::saveCalls();
    host::saveCalls().write = [](int, const void*, size_t) -> ssize_t {
        errno = ENOSPC;  // a full disk
        return -1;
    };
    r = runCli({"render", dir.file("d.json").string(), "-o", out.string()});
    host::saveCalls() = real;
    EXPECT_EQ(3, r.status);
    EXPECT_EQ(
        "orlune: " + (out / "sheet-1.svg").string() + ": cannot write its new contents: No space left on device\n",
        r.err);
    EXPECT_EQ("earlier", readFile(out / "sheet-1.svg"));
    EXPECT_THAT(names(out), ::testing::ElementsAre("index.html", "sheet-1.svg", "sheet-2.svg"));
}

// --- Two processes on one design ----------------------------------------------

// Runs the built program with `environment` ("NAME=value ...") in front;
// answers its exit status and fills `output` with its standard error.
int runBinary(const std::string& environment, const std::string& arguments, const std::filesystem::path& errFile,
              std::string& output) {
    const std::string command =
        environment + " '" + ORLUNE_BINARY + "' " + arguments + " >/dev/null 2>'" + errFile.string() + "'";
    const int raw = std::system(command.c_str());
    output = readFile(errFile);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// Another process holds the design's lock (an open conversation) until the
// test lets it go, or for `holdMs` when that is not negative.
class Holder {
public:
    explicit Holder(const std::string& design, int holdMs = -1) : waitsForTest_(holdMs < 0) {
        int up[2];
        int down[2];
        if (::pipe(up) != 0 || ::pipe(down) != 0) std::abort();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(up[0]);
            ::close(down[1]);
            host::Host host;
            host.setDesignFile(design);
            const char opened = host.impl().open() == host::kOk ? 'o' : 'x';
            if (::write(up[1], &opened, 1) != 1) ::_exit(2);
            if (holdMs >= 0) {
                ::usleep(static_cast<useconds_t>(holdMs) * 1000);
            } else {
                char c;
                (void)!::read(down[0], &c, 1);
            }
            ::_exit(host.impl().close() == host::kOk ? 0 : 3);
        }
        ::close(up[1]);
        ::close(down[0]);
        toChild_ = down[1];
        char c = 0;
        opened_ = ::read(up[0], &c, 1) == 1 && c == 'o';
        ::close(up[0]);
    }
    ~Holder() { release(); }
    bool opened() const { return opened_; }
    void release() {
        if (pid_ <= 0) return;
        const char c = 'q';
        if (waitsForTest_) (void)!::write(toChild_, &c, 1);
        ::close(toChild_);
        ::waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }

private:
    bool waitsForTest_;
    pid_t pid_ = 0;
    int toChild_ = -1;
    bool opened_ = false;
};

TEST(TwoProcesses, TheSecondSaysTheDesignIsBusyAndChangesNothing) {
    TempDir dir;
    const std::filesystem::path design = dir.file("d.json");
    writeFile(design, minimalDesign());
    const std::string before = readFile(design);
    Holder holder(design.string());
    ASSERT_TRUE(holder.opened());

    std::string err;
    EXPECT_EQ(3, runBinary("ORLUNE_LOCK_WAIT_MS=200", "update '" + design.string() + "'", dir.file("err"), err));
    EXPECT_THAT(err, StartsWith("Error: Design connection error\n" + design.string() +
                                ": the design is busy: another process has it open (waited 200 ms"));
    EXPECT_EQ(before, readFile(design));

    holder.release();
    EXPECT_EQ(0, runBinary("ORLUNE_LOCK_WAIT_MS=200", "update '" + design.string() + "'", dir.file("err"), err)) << err;
    EXPECT_THAT(readFile(design), HasSubstr("\"@2\""));
}

TEST(TwoProcesses, TheSecondWaitsForTheFirstToClose) {
    TempDir dir;
    const std::filesystem::path design = dir.file("d.json");
    writeFile(design, minimalDesign());
    Holder holder(design.string(), 300);  // lets go while the program waits
    ASSERT_TRUE(holder.opened());
    std::string err;
    EXPECT_EQ(0, runBinary("ORLUNE_LOCK_WAIT_MS=20000", "update '" + design.string() + "'", dir.file("err"), err))
        << err;
    EXPECT_THAT(readFile(design), HasSubstr("\"@2\""));
}

// Another run tries the design between the start-up and the pass of an
// update: it must find it busy, not slip in between.
TEST(TwoProcesses, NoOtherRunComesBetweenTheConversationsOfOne) {
    TempDir dir;
    const std::string design = dir.file("d.json").string();
    writeFile(design, minimalDesign());
    int conversations = 0;
    int other = -1;
    std::string otherErr;
    app::prepareHostForTests = [&](host::Host& h) {
        h.onCall = [&](std::string_view op) {
            if (op == "TOpenDesign" && ++conversations == 2)
                other = runBinary("ORLUNE_LOCK_WAIT_MS=0", "delete '" + design + "'", dir.file("err"), otherErr);
        };
    };
    const CliResult r = runCli({"update", design, "--list"});
    app::prepareHostForTests = nullptr;
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(kListed, r.out);
    EXPECT_EQ(3, other);
    EXPECT_THAT(otherErr, HasSubstr(design + ": the design is busy"));
    EXPECT_EQ(0, runCli({"verify", design}).status);
}

TEST(TwoProcesses, ConcurrentUpdatesLeaveOneWholeAnnotation) {
    TempDir dir;
    const std::filesystem::path design = dir.file("d.json");
    writeFile(design, minimalDesign());
    std::vector<pid_t> children;
    for (int i = 0; i < 4; ++i) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const std::string command = "ORLUNE_LOCK_WAIT_MS=20000 '" + std::string(ORLUNE_BINARY) + "' update '" +
                                        design.string() + "' >/dev/null 2>&1";
            const int raw = std::system(command.c_str());
            ::_exit(WIFEXITED(raw) ? WEXITSTATUS(raw) : 99);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(child, ::waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    // One text per connector, and the design is what one update leaves.
    const std::string text = readFile(design);
    EXPECT_EQ(2, std::count(text.begin(), text.end(), '@')) << text;  // "@2" and "@1"
    EXPECT_EQ(0, runCli({"verify", design.string()}).status);
}

}  // namespace
}  // namespace orlune::test

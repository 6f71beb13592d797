// Two processes on one design: the lock held from open to close.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "host/file_support.h"
#include "host/host_impl.h"
#include "support/test_support.h"

namespace orlune::host {
namespace {

// A second process that opens the design through a host of its own, tells
// the parent, and closes it after `holdMs` or when the parent writes to it.
class OtherProcess {
public:
    OtherProcess(const std::string& design, int holdMs) : waitsForParent_(holdMs < 0) {
        int up[2];
        int down[2];
        if (::pipe(up) != 0 || ::pipe(down) != 0) std::abort();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(up[0]);
            ::close(down[1]);
            Host host;
            host.setDesignFile(design);
            const char status = host.impl().open() == kOk ? 'o' : 'x';
            if (::write(up[1], &status, 1) != 1) ::_exit(2);
            if (holdMs >= 0) {
                ::usleep(static_cast<useconds_t>(holdMs) * 1000);
            } else {
                char c;
                (void)!::read(down[0], &c, 1);
            }
            host.impl().design->changed = true;
            host.impl().design->components[0].symbol.highlight = 42;
            ::_exit(host.impl().close() == kOk ? 0 : 3);
        }
        ::close(up[1]);
        ::close(down[0]);
        toChild_ = down[1];
        char c = 0;
        opened_ = ::read(up[0], &c, 1) == 1 && c == 'o';
        ::close(up[0]);
    }
    ~OtherProcess() { finish(); }

    bool opened() const { return opened_; }
    // Lets the process close its conversation; answers its exit status.
    int finish() {
        if (pid_ <= 0) return status_;
        // A process that closes by itself may be gone: no write to its pipe.
        const char c = 'q';
        if (waitsForParent_) (void)!::write(toChild_, &c, 1);
        ::close(toChild_);
        int wstatus = 0;
        ::waitpid(pid_, &wstatus, 0);
        pid_ = 0;
        status_ = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
        return status_;
    }

private:
    bool waitsForParent_;
    pid_t pid_ = 0;
    int toChild_ = -1;
    bool opened_ = false;
    int status_ = -1;
};

class DesignLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("board.json").string();
        orlune::test::writeFile(path, test::kFullDesign);
        host.setDesignFile(path);
    }

    orlune::test::TempDir dir;
    std::string path;
    Host host;
};

TEST_F(DesignLockTest, ASecondProcessFindsTheDesignBusy) {
    OtherProcess other(path, -1);
    ASSERT_TRUE(other.opened());
    host.setLockWait(200);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(kDesignBusy, host.impl().open());
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_EQ(0u, host.lastOpenError().find(path + ": the design is busy: another process has it open"))
        << host.lastOpenError();
    EXPECT_EQ(nullptr, host.design());
    EXPECT_EQ(0, other.finish());
    // Once the other process closed, the design opens with its change.
    ASSERT_EQ(kOk, host.impl().open()) << host.lastOpenError();
    EXPECT_EQ(42, host.design()->components[0].symbol.highlight);
    EXPECT_EQ(kOk, host.impl().close());
}

TEST_F(DesignLockTest, AnOpenWaitsForTheOtherProcessToClose) {
    OtherProcess other(path, 300);
    ASSERT_TRUE(other.opened());
    host.setLockWait(10000);
    ASSERT_EQ(kOk, host.impl().open()) << host.lastOpenError();
    // Read only after the other process wrote its change.
    EXPECT_EQ(42, host.design()->components[0].symbol.highlight);
    EXPECT_EQ(kOk, host.impl().close());
    EXPECT_EQ(0, other.finish());
}

TEST_F(DesignLockTest, TheWaitComesFromTheEnvironmentByDefault) {
    OtherProcess other(path, -1);
    ASSERT_TRUE(other.opened());
    for (const std::string wait : {"50", "0"}) {
        ::setenv("ORLUNE_LOCK_WAIT_MS", wait.c_str(), 1);
        const auto start = std::chrono::steady_clock::now();
        const int32_t status = host.impl().open();
        const auto waited = std::chrono::steady_clock::now() - start;
        ::unsetenv("ORLUNE_LOCK_WAIT_MS");
        EXPECT_EQ(kDesignBusy, status);
        EXPECT_LT(waited, std::chrono::milliseconds(3000));
        EXPECT_NE(std::string::npos, host.lastOpenError().find("waited " + wait + " ms")) << host.lastOpenError();
    }
}

TEST_F(DesignLockTest, TwoHostsOfOneProcessExcludeEachOtherToo) {
    Host second;
    second.setDesignFile(path);
    second.setLockWait(0);
    ASSERT_EQ(kOk, host.impl().open());
    EXPECT_EQ(kDesignBusy, second.impl().open());
    EXPECT_EQ(kOk, host.impl().close());
    EXPECT_EQ(kOk, second.impl().open());
    EXPECT_EQ(kOk, second.impl().close());
}

TEST_F(DesignLockTest, TheLockFileIsBesideTheDesignOnlyWhileItIsOpen) {
    ASSERT_EQ(kOk, host.impl().open());
    EXPECT_TRUE(std::filesystem::exists(path + ".lock"));
    EXPECT_EQ(kOk, host.impl().close());
    EXPECT_FALSE(std::filesystem::exists(path + ".lock"));
}

// What stands at the lock file's place is never followed nor used, and the
// open says why.
TEST_F(DesignLockTest, ALockFileThatIsNoRegularFileRefusesTheOpen) {
    const std::string target = dir.file("elsewhere").string();
    const std::string lock = path + ".lock";
    const std::vector<std::pair<std::function<int()>, std::string>> cases = {
        {[&] { return ::symlink(target.c_str(), lock.c_str()); }, "it is a symbolic link, which is not followed"},
        {[&] { return ::mkfifo(lock.c_str(), 0600); }, "it is not a regular file"},
        {[&] { return ::mkdir(lock.c_str(), 0700); }, "Is a directory"},
    };
    for (const auto& [make, why] : cases) {
        SCOPED_TRACE(why);
        ASSERT_EQ(0, make());
        EXPECT_EQ(kFileUnreadable, host.impl().open());
        EXPECT_NE(std::string::npos, host.lastOpenError().find(why)) << host.lastOpenError();
        EXPECT_FALSE(std::filesystem::exists(target));
        std::filesystem::remove(lock);
    }
}

TEST_F(DesignLockTest, ADestroyedHostReleasesItsLock) {
    {
        Host gone;
        gone.setDesignFile(path);
        ASSERT_EQ(kOk, gone.impl().open());
    }
    host.setLockWait(0);
    EXPECT_EQ(kOk, host.impl().open());
    EXPECT_EQ(kOk, host.impl().close());
}

TEST_F(DesignLockTest, ManyProcessesSerialiseTheirConversations) {
    // Each process holds the lock a moment and writes; none may fail.
    ::setenv("ORLUNE_LOCK_WAIT_MS", "20000", 1);
    {
        OtherProcess a(path, 100);
        OtherProcess b(path, 100);  // waits for a inside its constructor's child
        EXPECT_TRUE(a.opened());
        EXPECT_TRUE(b.opened());
        EXPECT_EQ(0, a.finish());
        EXPECT_EQ(0, b.finish());
    }
    ::unsetenv("ORLUNE_LOCK_WAIT_MS");
    EXPECT_FALSE(std::filesystem::exists(path + ".lock"));
}

// True once a child of this process has the file `path` open.
bool aChildHasOpen(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const auto& task : fs::directory_iterator("/proc/self/task", ec)) {
        std::ifstream children(task.path() / "children");
        for (std::string pid; children >> pid;)
            for (const auto& fd : fs::directory_iterator("/proc/" + pid + "/fd", ec))
                if (fs::read_symlink(fd.path(), ec).string().starts_with(path)) return true;
    }
    return false;
}

// A process waiting for the lock while its holder closes: the holder
// removes the lock file before it unlocks, so the waiter's lock is on a file
// no longer at the lock's path. It must lock the file there instead, or a
// third process would get the design at the same time.
TEST_F(DesignLockTest, AWaiterWhoseLockFileWasRemovedLocksTheNewOne) {
    ::setenv("ORLUNE_LOCK_WAIT_MS", "20000", 1);
    OtherProcess holder(path, -1);
    ASSERT_TRUE(holder.opened());
    std::unique_ptr<OtherProcess> waiter;
    std::thread start([&] { waiter = std::make_unique<OtherProcess>(path, -1); });
    const std::string lock = std::filesystem::canonical(path + ".lock").string();
    bool waiting = false;
    for (int k = 0; k < 1000 && !(waiting = aChildHasOpen(lock)); ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(waiting) << "the waiter never opened the lock file";
    EXPECT_EQ(0, holder.finish());
    start.join();
    ::unsetenv("ORLUNE_LOCK_WAIT_MS");
    ASSERT_TRUE(waiter->opened());
    Host third;
    third.setDesignFile(path);
    third.setLockWait(0);
    EXPECT_EQ(kDesignBusy, third.impl().open()) << "two processes hold the design";
    EXPECT_EQ(0, waiter->finish());
    EXPECT_FALSE(std::filesystem::exists(path + ".lock"));
}

}  // namespace
}  // namespace orlune::host

#include "host/lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "host/host.h"
#include "host/save.h"

namespace orlune::host {

int defaultLockWaitMs() {
    if (const char* env = std::getenv("ORLUNE_LOCK_WAIT_MS"); env != nullptr && *env != '\0') {
        char* end = nullptr;
        const long v = std::strtol(env, &end, 10);
        if (*end == '\0' && v >= 0 && v <= 3600000) return static_cast<int>(v);
    }
    return 5000;
}

namespace {
// The holder's words in a lock file (DesignLock::describe), on one line;
// empty when it holds none. The file is a regular one, opened already.
std::string holderOf(int fd) {
    char buf[1024];
    const ssize_t n = ::pread(fd, buf, sizeof buf, 0);
    if (n <= 0) return {};
    std::string out(buf, static_cast<size_t>(n));
    out.erase(std::find(out.begin(), out.end(), '\n'), out.end());
    // Anyone who may write the folder may write these words: no control
    // character of theirs reaches a terminal.
    std::replace_if(
        out.begin(), out.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, '?');
    return out;
}
}  // namespace

void DesignLock::describe(const std::string& holder) {
    if (fd_ < 0 || holder.empty()) return;
    const std::string line = holder + "\n";
    if (::ftruncate(fd_, 0) != 0) return;
    // Best effort: a lock file that cannot say its holder still locks.
    [[maybe_unused]] const ssize_t n = ::pwrite(fd_, line.data(), line.size(), 0);
}

int32_t DesignLock::acquire(const std::string& designPath, const std::string& name, int waitMs, std::string& reason) {
    release();
    std::string folder;
    std::string base;
    splitPath(designPath, folder, base);
    const std::string path = folder + "/" + lockFileName(folder, base);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        // Never through a link, and never a pipe or a device, which an open
        // could block on or a write reach: a link there could make the lock
        // create a file anywhere the user (or root) may write.
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
        if (fd < 0) {
            const int saved = errno;
            reason = name + ": cannot create the lock file " + path + ": " +
                     (saved == ELOOP ? std::string("it is a symbolic link, which is not followed")
                                     : std::string(std::strerror(saved)));
            return kFileUnreadable;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            reason = name + ": cannot use the lock file " + path + ": it is not a regular file";
            return kFileUnreadable;
        }
        bool locked = false;
        for (;;) {
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                locked = true;
                break;
            }
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK) {
                reason = name + ": cannot lock " + path + ": " + std::strerror(errno);
                ::close(fd);
                return kFileUnreadable;
            }
            if (std::chrono::steady_clock::now() >= deadline) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!locked) {
            const std::string holder = holderOf(fd);
            ::close(fd);
            reason = name + ": the design is busy: " + (holder.empty() ? "another process has it open" : holder) +
                     " (waited " + std::to_string(waitMs) + " ms for " + path + ")";
            return kDesignBusy;
        }
        // A holder removes the lock file before it unlocks: the lock counts
        // only when the file we locked is still the one at `path`.
        struct stat current {};
        if (::lstat(path.c_str(), &current) == 0 && st.st_dev == current.st_dev && st.st_ino == current.st_ino) {
            fd_ = fd;
            path_ = path;
            design_ = designPath;
            return 0;
        }
        ::close(fd);
    }
}

void DesignLock::release() {
    if (fd_ < 0) return;
    ::unlink(path_.c_str());
    ::close(fd_);  // releases the flock
    fd_ = -1;
    path_.clear();
    design_.clear();
}

}  // namespace orlune::host

// The exclusive advisory lock that a conversation holds on its design: an
// flock on the companion file DESIGN.lock beside the design (the design's
// own inode is replaced by every atomic save, so it cannot carry the lock);
// for a name too long to take ".lock", a shortened name (host/save.h). A
// backend may lock something wider than one file (all KiCad projects of a
// folder) and say in the lock file who holds it.
#pragma once

#include <cstdint>
#include <string>

namespace orlune::host {

// How long an open waits for a lock held elsewhere: ORLUNE_LOCK_WAIT_MS when
// set to a number, else 5000.
int defaultLockWaitMs();

class DesignLock {
public:
    DesignLock() = default;
    ~DesignLock() { release(); }
    DesignLock(const DesignLock&) = delete;
    DesignLock& operator=(const DesignLock&) = delete;

    // Takes the lock for the design at `designPath`, waiting up to `waitMs`
    // while another holder has it. Answers 0, kDesignBusy when the wait ran
    // out, or kFileUnreadable when the lock file cannot be created or is not
    // a regular file (a symbolic link is never followed); `name` is how
    // `reason` names the design.
    int32_t acquire(const std::string& designPath, const std::string& name, int waitMs, std::string& reason);
    // Writes `holder` into the held lock file (the only bytes it holds), so
    // that a process kept waiting names who holds it; nothing when empty.
    void describe(const std::string& holder);
    // Removes the lock file and releases the lock; nothing when not held.
    void release();
    bool held() const { return fd_ >= 0; }
    // The design the lock is held for; empty when none.
    const std::string& design() const { return design_; }

private:
    int fd_ = -1;
    std::string path_;
    std::string design_;
};

}  // namespace orlune::host

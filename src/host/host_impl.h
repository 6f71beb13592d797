// Inside the host: the state shared by the file side (host.cpp: load, save,
// lock, cache) and the operation side (operations.cpp: walks and changes).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/backend.h"
#include "host/conversation.h"
#include "host/design.h"
#include "host/host.h"
#include "host/lock.h"

namespace orlune::host {

struct Host::Impl {
    explicit Impl(Host& owner) : host(owner) {}

    Host& host;
    std::string file;
    bool readOnly = false;
    std::string openError;
    std::string saveError;

    // The design of the open (or last) conversation.
    std::unique_ptr<Design> design;
    bool conversationOpen = false;
    // Walk positions and indexes of the open conversation.
    Conversation conversation;
    // The design was handed out by Host::design(), so it may have been
    // changed outside a conversation: the next one builds its indexes anew.
    bool designHandedOut = false;

    // File side. open(): reads (or reuses) and validates the file, takes the
    // lock, sets `design`; answers a status and keeps the reason in
    // openError. close(): saves when the design changed (unless read-only),
    // releases the lock; answers 0 or kSaveFailed with saveError set.
    int32_t open();
    int32_t close();

    // File side's own state (host.cpp).
    std::string path;  // `file` with symbolic links resolved
    DesignLock lock;
    int lockWaitMs = -1;  // -1: defaultLockWaitMs()
    bool hold = false;    // the lock outlasts a close (Host::holdDesign)
    // Where the design of `file` is stored (chosen by its name and content
    // on first use), and whether `design` may serve the next conversation
    // while the backend's files still hold what it read.
    std::unique_ptr<Backend> backend;
    std::string backendFile;  // the `file` it was chosen for
    bool cached = false;
    std::vector<std::string> written;  // Host::writtenFiles
    Backend& storage();
    // Lock, then read (or reuse) and validate; release saves when needed.
    int32_t acquire();
    int32_t release();
};

// The host bound to the calling thread, or null.
Host* currentHost();

}  // namespace orlune::host

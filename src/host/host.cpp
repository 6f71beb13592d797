// The file side of the host: naming the design, opening it (lock, read,
// validate, cache), closing it (atomic save), and the host-side commands.
#include "host/host.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

#include "host/backend.h"
#include "host/host_impl.h"
#include "host/load.h"
#include "host/save.h"

namespace orlune::host {

namespace {
thread_local Host* current = nullptr;

// The design's path with symbolic links resolved, so that the lock and the
// atomic save act on the file itself; false with errno when it is missing.
bool resolve(const std::string& file, std::string& out) {
    char* real = ::realpath(file.c_str(), nullptr);
    if (real == nullptr) return false;
    out = real;
    std::free(real);
    return true;
}

// Under the design's lock (`status`: how taking it went), a save that a
// killed process left half done is finished or undone before anything
// reads the files, so that every command sees the design wholly old or
// wholly new. Where no lock can be had (a folder this user may not write)
// nothing can be mended, and a half-done save is refused rather than read
// (`reason` comes in as why the lock failed). A journal under another lock
// than the one held (an older version's name) is settled under that lock
// too, so that a save still running there is never undone.
int32_t settleInterruptedSave(int32_t status, const Backend& backend, const std::string& locked,
                              const std::string& path, const std::string& name, int waitMs, std::string& reason) {
    for (const Backend::Journal& j : backend.journals(locked, path)) {
        struct stat st {};
        if (::lstat(j.journal.c_str(), &st) != 0) continue;
        DesignLock other;
        int32_t got = status;
        if (got == kOk && j.locked != locked) got = other.acquire(j.locked, name, waitMs, reason);
        if (got == kDesignBusy) return got;
        if (got != kOk) {
            reason = name + ": a save that ended early left the design's files half written (" + j.journal +
                     "), which only a command that takes the design's lock finishes or undoes: " + reason;
            return kFileUnreadable;
        }
        if (!recoverSave(j.journal, reason)) {
            reason = name + ": " + reason;
            return kFileUnreadable;
        }
    }
    return kOk;
}
}  // namespace

Host::Host() : impl_(std::make_unique<Impl>(*this)) {}
Host::~Host() {
    // A conversation left open releases its lock without saving.
    if (impl_->conversationOpen) {
        impl_->conversation.stop();
        impl_->conversationOpen = false;
    }
}

void Host::setDesignFile(std::string path) {
    if (path != impl_->file) {
        impl_->cached = false;
        if (!impl_->conversationOpen) impl_->lock.release();
    }
    impl_->file = std::move(path);
}
const std::string& Host::designFile() const {
    return impl_->file;
}

void Host::setReadOnly(bool readOnly) {
    // A copy changed in read-only mode must never reach a save, and a saving
    // host must not serve that copy either.
    if (readOnly != impl_->readOnly) impl_->cached = false;
    impl_->readOnly = readOnly;
}

void Host::holdDesign(bool hold) {
    impl_->hold = hold;
    if (!hold && !impl_->conversationOpen) impl_->lock.release();
}

void Host::setLockWait(int milliseconds) {
    impl_->lockWaitMs = milliseconds;
}
const std::string& Host::lastOpenError() const {
    return impl_->openError;
}
const std::string& Host::lastSaveError() const {
    return impl_->saveError;
}
Design* Host::design() {
    impl_->designHandedOut = true;
    return impl_->design.get();
}

int32_t Host::check(const std::string& path, DesignSummary& summary, std::string& reason) {
    return read(path, nullptr, summary, reason);
}

int32_t Host::exportDesign(const std::string& path, std::string& text, DesignSummary& summary, std::string& reason) {
    return read(path, &text, summary, reason);
}

int32_t Host::read(const std::string& path, std::string* text, DesignSummary& summary, std::string& reason) {
    std::unique_ptr<Backend> backend = chooseBackend(path);
    // Read under the design's lock, as a read-only conversation reads: no
    // save of another process comes in between, and a killed one's is
    // settled first. What is no regular file is left to the read to refuse.
    DesignLock lock;
    std::string resolved;
    if (struct stat st{}; ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && resolve(path, resolved)) {
        const std::string locked = backend->lockedFile(resolved, path);
        const int waitMs = impl_->lockWaitMs >= 0 ? impl_->lockWaitMs : defaultLockWaitMs();
        const int32_t got = lock.acquire(locked, path, waitMs, reason);
        if (got == kDesignBusy) return got;
        if (got == kOk) lock.describe(backend->lockHolder(resolved));
        if (const int32_t settled = settleInterruptedSave(got, *backend, locked, resolved, path, waitMs, reason);
            settled != kOk)
            return settled;
    }
    std::unique_ptr<Design> design;
    const int32_t status = backend->read(path, path, design, reason);
    if (status != kOk) return status;
    summary = summarize(*design);
    summary.warnings = backend->warnings();
    if (text) *text = backend->designFileText(*design);
    reason.clear();
    return kOk;
}

std::string Host::cannotWrite() {
    return impl_->file.empty() ? std::string() : impl_->storage().cannotWrite();
}
std::string Host::cannotHighlight() {
    return impl_->file.empty() ? std::string() : impl_->storage().cannotHighlight();
}

const std::vector<std::string>& Host::writtenFiles() const {
    return impl_->written;
}
void Host::forgetWrittenFiles() {
    impl_->written.clear();
}
Wording Host::wording() {
    return impl_->file.empty() ? Wording{} : impl_->storage().wording();
}

const std::vector<std::string>& Host::warnings() const {
    static const std::vector<std::string> none;
    return impl_->backend ? impl_->backend->warnings() : none;
}

Backend& Host::Impl::storage() {
    // Chosen anew for another file, but never under an open conversation:
    // its close saves where it read.
    if (!backend || (backendFile != file && !conversationOpen)) {
        backend = chooseBackend(file);
        backendFile = file;
        cached = false;
    }
    return *backend;
}

int32_t Host::Impl::acquire() {
    openError.clear();
    if (file.empty()) {
        openError = "no design file named";
        return kNoDesign;
    }
    // Refused before the lock, and before a path such as /dev/fd/63 (a
    // pipe) is resolved to a name that does not exist.
    if (struct stat st{}; ::stat(file.c_str(), &st) == 0) {
        if (std::string kind = notRegularFile(st.st_mode); !kind.empty()) {
            openError = file + ": cannot be read: " + kind;
            lock.release();
            cached = false;
            return kFileUnreadable;
        }
    }
    std::string resolved;
    if (!resolve(file, resolved)) {
        openError = file + ": cannot be read: " + std::strerror(errno);
        cached = false;
        return kFileUnreadable;
    }
    if (resolved != path) cached = false;
    path = resolved;

    Backend& store = storage();
    // A held design keeps its lock from the last conversation.
    if (const std::string locked = store.lockedFile(path, file); !lock.held() || lock.design() != locked) {
        std::string reason;
        const int waitMs = lockWaitMs >= 0 ? lockWaitMs : defaultLockWaitMs();
        const int32_t status = lock.acquire(locked, file, waitMs, reason);
        // A read-only conversation needs no lock where none can be created
        // (a design in a folder this user may not write).
        if (status == kDesignBusy || (status != kOk && !readOnly)) {
            openError = reason;
            return status;
        }
        if (const int32_t settled = settleInterruptedSave(status, store, locked, path, file, waitMs, reason);
            settled != kOk) {
            openError = reason;
            lock.release();
            cached = false;
            return settled == kDesignBusy ? settled : kFileUnreadable;
        }
    }
    // The lock names the design now held: a sibling project opened under
    // the same folder lock says so to whoever waits.
    if (lock.held()) lock.describe(store.lockHolder(path));

    // A conversation that may change the design is not begun on one that
    // cannot keep a change (a KiCad project that KiCad has open): the
    // refusal is the open's, so the window's box says it.
    if (!readOnly) {
        if (const std::string why = store.cannotWrite(); !why.empty()) {
            openError = file + ": " + why;
            lock.release();
            cached = false;
            return kDesignBusy;
        }
    }

    // The design read before serves again while the files hold what it was
    // read from.
    if (cached && design) {
        const int same = store.unchanged(path, file, openError);
        if (same == 1) return kOk;
        if (same < 0) {
            lock.release();
            cached = false;
            return kFileUnreadable;
        }
    }
    std::unique_ptr<Design> loaded;
    const int32_t status = store.read(path, file, loaded, openError);
    if (status == kFileUnreadable) {
        lock.release();
        cached = false;
        return status;
    }
    conversation.forget();
    if (status != kOk) {
        lock.release();
        design.reset();
        cached = false;
        return status;
    }
    design = std::move(loaded);
    cached = true;
    return kOk;
}

int32_t Host::Impl::release() {
    saveError.clear();
    int32_t status = kOk;
    if (design && design->changed && !readOnly) {
        // The backend that read the design writes it, whatever file was
        // named since.
        if (std::string why = backend->cannotWrite(); !why.empty()) {
            saveError = file + ": " + why;
            status = kSaveFailed;
        } else {
            status = backend->write(path, file, *design, host.failSave, saveError);
        }
        if (status == kOk) {
            design->changed = false;
            for (const std::string& f : backend->lastWritten())
                if (std::find(written.begin(), written.end(), f) == written.end()) written.push_back(f);
        } else {
            status = kSaveFailed;
            // The files still hold what was read: the next open reads them.
            cached = false;
        }
    }
    if (!hold) lock.release();
    return status;
}

int32_t Host::Impl::open() {
    if (conversationOpen) {
        openError = "a conversation is already open";
        return kNotOpen;
    }
    const int32_t status = acquire();
    if (status != kOk) return status;
    if (designHandedOut) {
        conversation.forget();
        designHandedOut = false;
    }
    conversation.start(*design);
    conversationOpen = true;
    return kOk;
}

int32_t Host::Impl::close() {
    if (!conversationOpen) return kNotOpen;
    conversation.stop();
    conversationOpen = false;
    return release();
}

int32_t Host::selectSymbols(const std::vector<std::string>& refDes, std::string& reason) {
    Impl& m = *impl_;
    if (m.conversationOpen) {
        reason = "a conversation is open";
        return kNotOpen;
    }
    if (std::string why = cannotHighlight(); !why.empty()) {
        reason = m.file + ": " + why;
        return kBadArgument;
    }
    if (const int32_t status = m.acquire(); status != kOk) {
        reason = m.openError;
        return status;
    }
    Design& d = *m.design;
    // Changed outside a conversation: the indexes are built anew.
    m.conversation.forget();
    std::unordered_set<std::string_view> wanted(refDes.begin(), refDes.end());
    std::unordered_set<std::string_view> known;
    known.reserve(d.components.size());
    for (const Component& c : d.components)
        known.insert(c.refDes);
    std::string unknown;
    std::unordered_set<std::string_view> named;
    for (const std::string& r : refDes) {
        if (known.count(r) == 0 && named.insert(r).second) unknown += (unknown.empty() ? "\"" : ", \"") + r + "\"";
    }
    if (!unknown.empty()) {
        m.release();
        reason = m.file + ": no component has the reference designator " + unknown;
        return kNotFound;
    }
    bool changed = false;
    for (Component& c : d.components) {
        const bool selected = wanted.count(c.refDes) != 0;
        changed = changed || c.symbol.selected != selected;
        c.symbol.selected = selected;
    }
    for (Item& item : d.items) {
        changed = changed || item.selected;
        item.selected = false;
    }
    if (changed) d.changed = true;
    const int32_t status = m.release();
    if (status != kOk) reason = m.saveError;
    return status;
}

int32_t Host::clearHighlights(std::string& reason) {
    Impl& m = *impl_;
    if (m.conversationOpen) {
        reason = "a conversation is open";
        return kNotOpen;
    }
    if (std::string why = cannotHighlight(); !why.empty()) {
        reason = m.file + ": " + why;
        return kBadArgument;
    }
    if (const int32_t status = m.acquire(); status != kOk) {
        reason = m.openError;
        return status;
    }
    Design& d = *m.design;
    // Changed outside a conversation: the indexes are built anew.
    m.conversation.forget();
    for (Component& c : d.components) {
        if (c.symbol.highlight != 0) d.changed = true;
        c.symbol.highlight = 0;
    }
    const int32_t status = m.release();
    if (status != kOk) reason = m.saveError;
    return status;
}

Host* currentHost() {
    return current;
}

HostBinding::HostBinding(Host& host) : previous_(current) {
    current = &host;
}
HostBinding::~HostBinding() {
    current = previous_;
}

}  // namespace orlune::host

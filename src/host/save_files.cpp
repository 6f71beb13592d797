// Saving several files as one: the journal beside the lock, the exchanges
// that keep the old bytes until every file is done, and the undo that the
// failed save and the next command after a killed one share.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "host/save.h"

namespace orlune::host {

namespace {

constexpr std::string_view kJournalHeader = "orlune-journal 1\n";

// A file of the save: its target (a link's target), the temporary file
// beside it and that file's identity. Before its exchange the temporary
// name holds the new bytes; after it, the old ones.
struct Entry {
    std::string target;
    std::string temp;
    unsigned long long dev = 0;
    unsigned long long ino = 0;
};

bool readAll(const std::string& path, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    out.clear();
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(fd);
            return n == 0;
        }
        out.append(buffer, static_cast<size_t>(n));
    }
}

void syncFolder(const std::string& path) {
    std::string folder;
    std::string base;
    splitPath(path, folder, base);
    const SaveCalls& sys = saveCalls();
    const int fd = sys.open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd >= 0) {
        sys.fsync(fd);
        sys.close(fd);
    }
}

bool sameFile(const std::string& path, const Entry& e) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && st.st_dev == e.dev && st.st_ino == e.ino;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The file a save of `path` writes: the target of a symbolic link, as an
// absolute path, so that the journal means the same from any folder.
bool resolveTarget(const std::string& path, const std::string& name, std::string& target, std::string& reason) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 && errno == ENOENT) {
        std::string folder;
        std::string base;
        splitPath(path, folder, base);
        char* real = ::realpath(folder.c_str(), nullptr);
        if (real == nullptr) {
            reason = name + ": cannot be created: " + std::strerror(errno);
            return false;
        }
        target = std::string(real) + "/" + base;
        std::free(real);
        return true;
    }
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) {
        reason = name + ": cannot be written: " +
                 (S_ISLNK(st.st_mode) ? "it is a symbolic link to a file that cannot be reached: " : "") +
                 std::strerror(errno);
        return false;
    }
    target = real;
    std::free(real);
    if (struct stat t{}; ::stat(target.c_str(), &t) == 0 && !S_ISREG(t.st_mode)) {
        reason = name + ": cannot be written: " + target + " is not a regular file";
        return false;
    }
    return true;
}

void field(std::string& out, const std::string& s) {
    out += std::to_string(s.size());
    out += ' ';
    out += s;
    out += ' ';
}

bool writeJournal(const std::string& journal, std::string_view state, const std::vector<Entry>& entries,
                  std::string& reason) {
    std::string text(kJournalHeader);
    text += state;
    text += '\n';
    for (const Entry& e : entries) {
        text += "F ";
        field(text, e.target);
        field(text, e.temp);
        text += std::to_string(e.dev) + " " + std::to_string(e.ino) + "\n";
    }
    std::string why;
    if (saveAtomically(journal, journal, text, nullptr, why)) return true;
    reason = "cannot write the journal of the save: " + why;
    return false;
}

bool readJournal(const std::string& text, std::string& state, std::vector<Entry>& entries) {
    if (text.compare(0, kJournalHeader.size(), kJournalHeader) != 0) return false;
    size_t at = kJournalHeader.size();
    const size_t eol = text.find('\n', at);
    if (eol == std::string::npos) return false;
    state = text.substr(at, eol - at);
    at = eol + 1;
    const auto number = [&](unsigned long long& v) {
        const size_t end = text.find_first_of(" \n", at);
        if (end == std::string::npos || end == at || end - at > 20) return false;
        v = 0;
        for (size_t k = at; k < end; ++k) {
            if (text[k] < '0' || text[k] > '9') return false;
            v = v * 10 + static_cast<unsigned long long>(text[k] - '0');
        }
        at = end + 1;
        return true;
    };
    const auto string = [&](std::string& s) {
        unsigned long long n = 0;
        if (!number(n) || n > text.size() - at) return false;
        s = text.substr(at, n);
        at += n;
        return at < text.size() && text[at++] == ' ';
    };
    while (at < text.size()) {
        Entry e;
        if (text.compare(at, 2, "F ") != 0) return false;
        at += 2;
        if (!string(e.target) || !string(e.temp) || !number(e.dev) || !number(e.ino)) return false;
        if (text[at - 1] != '\n') return false;
        entries.push_back(std::move(e));
    }
    return state == "prepare" || state == "exchange" || state == "commit";
}

// Where the fallback for a file system without renameat2's flags keeps a
// file's old bytes: the temporary file's name with other letters, so that
// the journal needs no more names and a stale one is removed as any
// temporary file is.
std::string oldBytesName(const std::string& temp) {
    static const std::string kLetters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string out = temp;
    for (size_t k = out.size() >= 6 ? out.size() - 6 : 0; k < out.size(); ++k) {
        const size_t at = kLetters.find(out[k]);
        out[k] = kLetters[at == std::string::npos ? 0 : (at + 1) % kLetters.size()];
    }
    return out;
}

// Where the old bytes wait once the target holds the new ones: the
// temporary name after an exchange, the old-bytes name after the
// fallback; empty for a file the save created.
std::string oldBytesAt(const Entry& e) {
    if (const std::string old = oldBytesName(e.temp); exists(old)) return old;
    if (exists(e.temp) && !sameFile(e.temp, e)) return e.temp;
    return {};
}

bool unsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == ENOTSUP;
}

// Puts the new bytes at the target: one exchange where the file system has
// it; else the old file keeps a second name (a hard link) and the new one
// is renamed over the target, which readers never find missing. A file
// that did not exist is linked into place, which fails when another
// program created it meanwhile. 0, or -1 with errno.
int swapIn(const Entry& e, bool replaces) {
    const SaveCalls& sys = saveCalls();
    if (sys.exchange(e.temp.c_str(), e.target.c_str(), replaces) == 0) return 0;
    if (!unsupported(errno)) return -1;
    if (!replaces) {
        if (::link(e.temp.c_str(), e.target.c_str()) != 0) return -1;
        ::unlink(e.temp.c_str());
        return 0;
    }
    const std::string old = oldBytesName(e.temp);
    if (::link(e.target.c_str(), old.c_str()) != 0) return -1;
    if (sys.rename(e.temp.c_str(), e.target.c_str()) != 0) {
        const int saved = errno;
        ::unlink(old.c_str());
        errno = saved;
        return -1;
    }
    return 0;
}

// Gives the target back what it held before the save, wherever the save
// got to: once the target holds the new bytes, the old ones are put back
// (none for a file the save created); before that, the new ones are
// dropped. A target that another program replaced since keeps that
// program's file.
bool undo(const Entry& e, std::string& reason) {
    if (e.temp.empty()) return true;
    if (sameFile(e.target, e)) {
        const std::string from = oldBytesAt(e);
        const bool ok =
            !from.empty() ? saveCalls().rename(from.c_str(), e.target.c_str()) == 0 : ::unlink(e.target.c_str()) == 0;
        if (!ok) {
            reason = e.target + ": cannot be given its old bytes back: " + std::strerror(errno);
            return false;
        }
        // A second name of the new file, which the fallback's link left.
        if (from != e.temp) ::unlink(e.temp.c_str());
        return true;
    }
    ::unlink(e.temp.c_str());
    ::unlink(oldBytesName(e.temp).c_str());
    return true;
}

// Once every file holds its new bytes: the old ones go.
void dropOldBytes(const std::vector<Entry>& entries) {
    for (const Entry& e : entries) {
        if (e.temp.empty()) continue;
        if (!sameFile(e.temp, e)) ::unlink(e.temp.c_str());
        ::unlink(oldBytesName(e.temp).c_str());
    }
}

bool undoAll(const std::vector<Entry>& entries, std::string& reason) {
    bool ok = true;
    for (size_t k = entries.size(); k-- > 0;)
        ok = undo(entries[k], reason) && ok;
    return ok;
}

void removeJournal(const std::string& journal) {
    ::unlink(journal.c_str());
    syncFolder(journal);
}

void removeStale(const std::vector<Entry>& entries) {
    for (const Entry& e : entries) {
        std::string folder;
        std::string base;
        splitPath(e.target, folder, base);
        removeStaleTemporaries(folder, temporaryPrefix(folder, base));
    }
}

void syncFolders(const std::vector<Entry>& entries) {
    std::set<std::string> folders;
    for (const Entry& e : entries) {
        std::string folder;
        std::string base;
        splitPath(e.target, folder, base);
        if (folders.insert(folder).second) syncFolder(e.target);
    }
}

}  // namespace

bool saveFiles(const std::string& journal, const std::vector<FileChange>& changes,
               const std::function<bool(SaveStage)>& failStage, std::string& reason) {
    const auto simulated = [&](SaveStage stage, int error) {
        if (failStage && failStage(stage)) {
            errno = error;
            return true;
        }
        return false;
    };
    std::vector<Entry> entries(changes.size());
    for (size_t k = 0; k < changes.size(); ++k) {
        if (!resolveTarget(changes[k].path, changes[k].name, entries[k].target, reason)) {
            reason += "; nothing written";
            return false;
        }
        for (size_t j = 0; j < k; ++j)
            if (entries[j].target == entries[k].target) {
                reason = changes[k].name + " and " + changes[j].name + " are one file (" + entries[k].target +
                         ") reached by two names, which would need two contents; nothing written";
                return false;
            }
    }
    if (!writeJournal(journal, "prepare", entries, reason)) return false;
    const auto abandon = [&](size_t prepared) {
        for (size_t j = 0; j < prepared; ++j)
            ::unlink(entries[j].temp.c_str());
        removeJournal(journal);
        reason += "; nothing written";
        return false;
    };
    for (size_t k = 0; k < changes.size(); ++k) {
        if (!saveAtomically(entries[k].target, changes[k].name, changes[k].bytes, failStage, reason, &entries[k].temp))
            return abandon(k);
        struct stat st {};
        if (::lstat(entries[k].temp.c_str(), &st) != 0) {
            reason = changes[k].name + ": its new contents vanished: " + std::strerror(errno);
            return abandon(k + 1);
        }
        entries[k].dev = st.st_dev;
        entries[k].ino = st.st_ino;
    }
    if (!writeJournal(journal, "exchange", entries, reason)) return abandon(changes.size());

    const auto failed = [&](std::string why) {
        std::string undoReason;
        if (!undoAll(entries, undoReason)) {
            // The journal stays: the next command that opens the design
            // tries again.
            reason = why + "; and " + undoReason + "; the next command on the design gives it back";
            return false;
        }
        syncFolders(entries);
        removeJournal(journal);
        reason = why + "; nothing written";
        return false;
    };
    std::string was;
    for (size_t k = 0; k < changes.size(); ++k) {
        const FileChange& c = changes[k];
        const Entry& e = entries[k];
        const bool replaces = c.read.has_value();
        if (simulated(SaveStage::Rename, EBUSY) || swapIn(e, replaces) != 0) {
            const int saved = errno;
            if (replaces && saved == ENOENT) return failed(c.name + ": another program removed it while ORLUNE saved");
            if (!replaces && saved == EEXIST) return failed(c.name + ": another program created it while ORLUNE saved");
            return failed(c.name + ": cannot be replaced by its new contents: " + std::strerror(saved));
        }
        // What was swapped out is what was read, or another program saved
        // the file in between: its save is put back.
        if (replaces && (!readAll(oldBytesAt(e), was) || was != *c.read))
            return failed(c.name + ": another program saved it while ORLUNE saved; its save is kept");
        if (simulated(SaveStage::Renamed, EIO))
            return failed(c.name + ": cannot be replaced by its new contents: " + std::strerror(EIO));
    }
    syncFolders(entries);
    if (!writeJournal(journal, "commit", entries, reason)) return failed(reason);
    dropOldBytes(entries);
    syncFolders(entries);
    removeJournal(journal);
    return true;
}

bool recoverSave(const std::string& journal, std::string& reason) {
    std::string text;
    if (!readAll(journal, text)) {
        if (errno == ENOENT) return true;
        reason = journal + ": the journal of an interrupted save cannot be read: " + std::strerror(errno);
        return false;
    }
    std::string state;
    std::vector<Entry> entries;
    if (!readJournal(text, state, entries)) {
        reason = journal +
                 ": the journal of an interrupted save is not one ORLUNE wrote; remove it once the "
                 "design's files are checked";
        return false;
    }
    if (state == "exchange") {
        if (!undoAll(entries, reason)) {
            reason = "an interrupted save cannot be undone: " + reason;
            return false;
        }
    } else if (state == "commit") {
        dropOldBytes(entries);
    }
    removeStale(entries);
    syncFolders(entries);
    removeJournal(journal);
    return true;
}

}  // namespace orlune::host

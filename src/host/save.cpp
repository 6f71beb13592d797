#include "host/save.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "host/json.h"
#include "host/utf8.h"

namespace orlune::host {

namespace {

// A callable by reference, without an allocation.
struct Emit {
    void (*fn)(const void*, JsonIndex);
    const void* ctx;
    void operator()(JsonIndex original) const { fn(ctx, original); }
};
template <class F>
Emit emitOf(const F& f) {
    return {[](const void* c, JsonIndex original) { (*static_cast<const F*>(c))(original); }, &f};
}

class Merger {
public:
    Merger(const Design& design, std::string& out) : design_(design), doc_(design.document.get()), w_(out) {}

    void write() {
        writeDesign();
        w_.finish();
    }

private:
    // One object: the known fields are declared, then end() writes the
    // original's members in order (known ones from the model, unknown ones
    // as they were) followed by the known fields the original lacked.
    class Object {
    public:
        Object(Merger& m, SourceRef source) : m_(m), source_(m.valid(source) ? source : kNoNode) {}

        void integer(std::string_view key, int32_t v) { add(key, Kind::Int, true).i = v; }
        void optionalInteger(std::string_view key, int32_t v, int32_t absent) {
            add(key, Kind::Int, v != absent).i = v;
        }
        void optionalInteger(std::string_view key, const std::optional<int32_t>& v) {
            Field& f = add(key, Kind::Int, v.has_value());
            f.i = v.value_or(0);
            f.keep = v.has_value();
        }
        void string(std::string_view key, std::string_view v) { add(key, Kind::Str, true).s = v; }
        void optionalBoolean(std::string_view key, bool v) { add(key, Kind::Bool, v).b = v; }
        void custom(std::string_view key, Emit emit, bool addIfAbsent) {
            add(key, Kind::Custom, addIfAbsent).emit = emit;
        }

        void end() {
            const JsonDocument* d = m_.doc_;
            JsonWriter& w = m_.w_;
            w.beginObject();
            if (source_ != kNoNode) {
                const uint32_t n = d->size(source_);
                for (uint32_t k = 0; k < n; ++k) {
                    const std::string_view key = d->text(d->key(source_, k));
                    const JsonIndex value = d->value(source_, k);
                    Field* f = find(key);
                    if (f == nullptr) {
                        w.key(key);
                        w.copy(*d, value);
                        continue;
                    }
                    f->done = true;
                    if (!f->keep) continue;
                    w.key(key);
                    emit(*f, value);
                }
            }
            for (size_t i = 0; i < count_; ++i) {
                Field& f = fields_[i];
                if (f.done || !f.addIfAbsent) continue;
                w.key(f.key);
                emit(f, kNoNode);
            }
            w.endObject();
        }

    private:
        enum class Kind : uint8_t { Int, Bool, Str, Custom };
        // Trivial, so that the array of them costs nothing to set up: add()
        // sets every member.
        struct Field {
            std::string_view key;
            Kind kind;
            bool addIfAbsent;  // written when the original lacks the key
            bool keep;         // kept when the original has it
            bool done;
            bool b;
            int32_t i;
            std::string_view s;
            Emit emit;
        };

        Field& add(std::string_view key, Kind kind, bool addIfAbsent) {
            Field& f = fields_[count_++];
            f = Field{key, kind, addIfAbsent, true, false, false, 0, {}, {nullptr, nullptr}};
            return f;
        }

        Field* find(std::string_view key) {
            for (size_t i = 0; i < count_; ++i) {
                if (fields_[i].key == key) return &fields_[i];
            }
            return nullptr;
        }

        void emit(const Field& f, JsonIndex original) {
            switch (f.kind) {
                case Kind::Int:
                    m_.integer(f.i, original);
                    break;
                case Kind::Bool:
                    m_.w_.boolean(f.b);
                    break;
                case Kind::Str:
                    m_.w_.string(f.s);
                    break;
                case Kind::Custom:
                    f.emit(original);
                    break;
            }
        }

        Merger& m_;
        SourceRef source_;
        std::array<Field, 12> fields_;
        size_t count_ = 0;
    };

    bool valid(SourceRef source) const { return doc_ != nullptr && doc_->isObject(source); }

    // An integer written as the original wrote it when unchanged.
    void integer(int32_t v, JsonIndex original) {
        int32_t old;
        if (original != kNoNode && doc_->isInt32(original, old) && old == v) {
            w_.number(doc_->text(original));
        } else {
            w_.integer(v);
        }
    }

    // An array of integers, the original's elements kept where unchanged.
    void integers(const int32_t* v, size_t n, JsonIndex original) {
        const bool merge = original != kNoNode && doc_->type(original) == JsonType::Array;
        w_.beginArray();
        for (size_t k = 0; k < n; ++k) {
            integer(v[k],
                    merge && k < doc_->size(original) ? doc_->element(original, static_cast<uint32_t>(k)) : kNoNode);
        }
        w_.endArray();
    }

    template <class T, class F>
    void entries(const std::vector<T>& list, F&& each) {
        w_.beginArray();
        for (const T& e : list)
            each(e);
        w_.endArray();
    }

    void writeDesign() {
        const Design& d = design_;
        Object o(*this, doc_ != nullptr ? doc_->root : kNoNode);
        o.string("format", "orlune-design");
        o.integer("version", d.version);
        o.integer("units", d.units);
        const int32_t workspace[2] = {d.workspaceX, d.workspaceY};
        const auto ws = [&](JsonIndex original) { integers(workspace, 2, original); };
        o.custom("workspace", emitOf(ws), true);
        o.optionalInteger("textLimit", d.textLimit, 255);
        const auto styles = [&](JsonIndex) { entries(d.textStyles, [&](const TextStyle& s) { writeStyle(s); }); };
        o.custom("textStyles", emitOf(styles), !d.textStyles.empty());
        const auto sheets = [&](JsonIndex) {
            entries(d.sheets, [&](const Sheet& s) {
                Object so(*this, s.source);
                so.integer("id", s.id);
                so.string("name", s.name);
                so.end();
            });
        };
        o.custom("sheets", emitOf(sheets), !d.sheets.empty());
        const auto nets = [&](JsonIndex) {
            entries(d.nets, [&](const Net& n) {
                Object no(*this, n.source);
                no.integer("id", n.id);
                no.string("name", n.name);
                no.end();
            });
        };
        o.custom("nets", emitOf(nets), !d.nets.empty());
        const auto buses = [&](JsonIndex) { entries(d.buses, [&](const Bus& b) { writeBus(b); }); };
        o.custom("buses", emitOf(buses), !d.buses.empty());
        const auto components = [&](JsonIndex) {
            entries(d.components, [&](const Component& c) { writeComponent(c); });
        };
        o.custom("components", emitOf(components), !d.components.empty());
        const auto items = [&](JsonIndex) {
            w_.beginArray();
            for (const Item& item : d.items) {
                if (!item.deleted) writeItem(item);
            }
            w_.endArray();
        };
        const bool anyItem = std::any_of(d.items.begin(), d.items.end(), [](const Item& i) { return !i.deleted; });
        o.custom("items", emitOf(items), anyItem);
        const auto attributes = [&](JsonIndex) {
            entries(d.attributes, [&](const Attribute& a) { writeAttribute(a, true); });
        };
        o.custom("attributes", emitOf(attributes), !d.attributes.empty());
        o.end();
    }

    void writeStyle(const TextStyle& s) {
        Object o(*this, s.source);
        o.integer("number", s.number);
        o.optionalInteger("id", s.id, s.number);
        o.string("name", s.name);
        o.integer("height", s.height);
        o.integer("charWidth", s.charWidth);
        const auto advances = [&](JsonIndex original) { writeAdvances(s, original); };
        o.custom("advances", emitOf(advances), !s.advances.empty());
        o.end();
    }

    // The original object when it holds exactly the model's advances, else
    // the advances by code point.
    void writeAdvances(const TextStyle& s, JsonIndex original) {
        if (original != kNoNode && doc_->type(original) == JsonType::Object &&
            doc_->size(original) == s.advances.size()) {
            bool same = true;
            for (uint32_t k = 0; same && k < doc_->size(original); ++k) {
                const std::string_view key = doc_->text(doc_->key(original, k));
                size_t pos = 0;
                const char32_t cp = key.empty() ? kBadUtf8 : nextUtf8(key, pos);
                const auto it = s.advances.find(cp);
                int32_t v;
                same = pos == key.size() && it != s.advances.end() && doc_->isInt32(doc_->value(original, k), v) &&
                       v == it->second;
            }
            if (same) {
                w_.copy(*doc_, original);
                return;
            }
        }
        std::vector<std::pair<char32_t, int32_t>> sorted(s.advances.begin(), s.advances.end());
        std::sort(sorted.begin(), sorted.end());
        w_.beginObject();
        std::string key;
        for (const auto& [cp, advance] : sorted) {
            key.clear();
            appendUtf8(key, cp);
            w_.key(key);
            w_.integer(advance);
        }
        w_.endObject();
    }

    void writeBus(const Bus& b) {
        Object o(*this, b.source);
        o.string("name", b.name);
        const auto nets = [&](JsonIndex original) { integers(b.nets.data(), b.nets.size(), original); };
        o.custom("nets", emitOf(nets), !b.nets.empty());
        o.end();
    }

    void writeAttribute(const Attribute& a, bool designAttribute) {
        Object o(*this, a.source);
        o.string("name", a.name);
        o.string("value", a.value);
        // A component attribute's units are not part of the file.
        if (designAttribute) o.optionalInteger("units", a.units);
        o.end();
    }

    void writeComponent(const Component& c) {
        Object o(*this, c.source);
        o.string("refDes", c.refDes);
        o.string("type", c.type);
        o.integer("kind", c.kind);
        const auto attributes = [&](JsonIndex) {
            entries(c.attributes, [&](const Attribute& a) { writeAttribute(a, false); });
        };
        o.custom("attributes", emitOf(attributes), !c.attributes.empty());
        const auto pins = [&](JsonIndex) {
            entries(c.pins, [&](const Pin& p) {
                Object po(*this, p.source);
                po.integer("x", p.x);
                po.integer("y", p.y);
                po.integer("sheet", p.sheet);
                po.optionalInteger("net", p.net, 0);
                po.end();
            });
        };
        o.custom("pins", emitOf(pins), !c.pins.empty());
        const auto symbol = [&](JsonIndex) {
            const Symbol& s = c.symbol;
            Object so(*this, s.source);
            so.integer("sheet", s.sheet);
            so.integer("x", s.x);
            so.integer("y", s.y);
            so.optionalBoolean("flipped", s.flipped);
            so.optionalInteger("highlight", s.highlight, 0);
            so.optionalBoolean("selected", s.selected);
            so.end();
        };
        o.custom("symbol", emitOf(symbol), true);
        o.end();
    }

    void writeItem(const Item& item) {
        Object o(*this, item.source);
        switch (item.type) {
            case ItemType::Text:
                o.string("type", "text");
                break;
            case ItemType::Bus:
                o.string("type", "bus");
                break;
            case ItemType::Wire:
                o.string("type", "wire");
                break;
            case ItemType::Line:
                o.string("type", "line");
                break;
        }
        o.integer("sheet", item.sheet);
        if (item.type == ItemType::Text) {
            o.string("text", item.text);
            o.integer("style", item.style);
            o.integer("x", item.x);
            o.integer("y", item.y);
            o.integer("justification", item.justification);
        } else {
            if (item.type == ItemType::Bus) o.string("bus", item.bus);
            if (item.type == ItemType::Wire) o.optionalInteger("net", item.net, 0);
            o.integer("x1", item.x1);
            o.integer("y1", item.y1);
            o.integer("x2", item.x2);
            o.integer("y2", item.y2);
        }
        o.optionalBoolean("selected", item.selected);
        o.end();
    }

    const Design& design_;
    const JsonDocument* doc_;
    JsonWriter w_;
};

}  // namespace

std::string designText(const Design& design) {
    std::string out;
    if (design.document && design.document->input) out.reserve(design.document->input->size() + 4096);
    Merger(design, out).write();
    return out;
}

namespace {

int openFile(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}

int exchangeFiles(const char* from, const char* to, bool toExists) {
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, toExists ? RENAME_EXCHANGE : RENAME_NOREPLACE);
}

int accessFile(const char* path, int mode) {
    return ::faccessat(AT_FDCWD, path, mode, AT_EACCESS);
}

// The longest name the folder takes.
std::size_t nameMax(const std::string& folder) {
    const long max = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return max > 0 ? static_cast<std::size_t>(max) : NAME_MAX;
}

// `base` when it has at most `room` bytes, else its beginning (cut between
// two UTF-8 characters) followed by "~" and a hash of the whole name, so
// that two long names that begin alike still get companions of their own.
std::string fitted(std::string_view base, std::size_t room) {
    if (base.size() <= room) return std::string(base);
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const char c : base) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    static const char kHex[] = "0123456789abcdef";
    std::string tail = "~";
    for (int shift = 60; shift >= 0; shift -= 4)
        tail.push_back(kHex[(hash >> shift) & 0xf]);
    std::size_t keep = room > tail.size() ? room - tail.size() : 0;
    while (keep > 0 && (static_cast<unsigned char>(base[keep]) & 0xC0) == 0x80)
        --keep;
    return std::string(base.substr(0, keep)) + tail;
}

constexpr std::string_view kTempMark = ".orlune-";
// What follows the prefix of a temporary file: up to 10 digits of the
// process id, "-", 6 letters.
constexpr std::size_t kTempTail = 10 + 1 + 6;

bool processAlive(long pid) {
    return pid > 0 && pid <= std::numeric_limits<pid_t>::max() &&
           (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

}  // namespace

// Removes the temporary files of earlier saves of this file whose process
// is gone: a process killed during its save leaves its temporary file.
void removeStaleTemporaries(const std::string& folder, const std::string& prefix) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) continue;
        const std::string_view tail = name.substr(prefix.size());
        const std::size_t dash = tail.find('-');
        if (dash == 0 || dash == std::string_view::npos || dash > 10 || tail.size() != dash + 7) continue;
        long pid = 0;
        bool digits = true;
        for (const char c : tail.substr(0, dash)) {
            digits = digits && c >= '0' && c <= '9';
            pid = pid * 10 + (c - '0');
        }
        if (digits && !processAlive(pid)) ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

namespace {

// Gives `to` every extended attribute of the file `from` (its ACL is one):
// false with errno when one cannot be set.
bool copyExtendedAttributes(const char* from, int to) {
    const int fd = ::open(from, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return true;  // nothing to copy from: the access check passed, so it is gone
    std::vector<char> names;
    ssize_t size = ::flistxattr(fd, nullptr, 0);
    for (int attempt = 0; size > 0 && attempt < 4; ++attempt) {
        names.resize(static_cast<size_t>(size));
        size = ::flistxattr(fd, names.data(), names.size());
        if (size >= 0 || errno != ERANGE) break;
        size = ::flistxattr(fd, nullptr, 0);
    }
    bool ok = true;
    std::vector<char> value;
    for (ssize_t at = 0; ok && size > 0 && at < size; at += static_cast<ssize_t>(std::strlen(&names[at])) + 1) {
        const char* name = &names[static_cast<size_t>(at)];
        const ssize_t n = ::fgetxattr(fd, name, nullptr, 0);
        if (n < 0) continue;
        value.resize(static_cast<size_t>(n));
        const ssize_t got = n == 0 ? 0 : ::fgetxattr(fd, name, value.data(), value.size());
        if (got < 0) continue;
        // An attribute that the system sets itself (a security label this
        // process may not set) is the system's to give the new file.
        if (::fsetxattr(to, name, value.data(), static_cast<size_t>(got), 0) != 0 &&
            std::strncmp(name, "security.", 9) != 0)
            ok = false;
    }
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return ok;
}

// Six letters that make a temporary file's name unique.
std::string uniqueLetters() {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::atomic<uint64_t> counter{0};
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t v = (static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(now.tv_sec) << 30)) +
                 0x9E3779B97F4A7C15ull * ++counter;
    std::string out;
    for (int i = 0; i < 6; ++i) {
        out.push_back(kLetters[v % 62]);
        v /= 62;
    }
    return out;
}

}  // namespace

SaveCalls& saveCalls() {
    static SaveCalls calls{accessFile, openFile, ::write, ::fsync, ::close, ::rename, exchangeFiles};
    return calls;
}

void splitPath(const std::string& path, std::string& folder, std::string& base) {
    const size_t slash = path.rfind('/');
    folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    base = slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string lockFileName(const std::string& folder, std::string_view base) {
    constexpr std::string_view kSuffix = ".lock";
    return fitted(base, nameMax(folder) - kSuffix.size()) + std::string(kSuffix);
}

std::string journalFileName(const std::string& folder, std::string_view base) {
    constexpr std::string_view kSuffix = ".orlune-journal";
    return "." + fitted(base, nameMax(folder) - 1 - kSuffix.size()) + std::string(kSuffix);
}

std::string journalPathFor(const std::string& lockedFile) {
    std::string folder;
    std::string base;
    splitPath(lockedFile, folder, base);
    return folder + "/" + journalFileName(folder, base);
}

std::string temporaryPrefix(const std::string& folder, std::string_view base) {
    return "." + fitted(base, nameMax(folder) - 1 - kTempMark.size() - kTempTail) + std::string(kTempMark);
}

bool saveAtomically(const std::string& path, std::string_view name, std::string_view bytes,
                    const std::function<bool(SaveStage)>& failStage, std::string& reason, std::string* prepared) {
    const SaveCalls& sys = saveCalls();
    const auto simulated = [&](SaveStage stage, int error) {
        if (failStage && failStage(stage)) {
            errno = error;
            return true;
        }
        return false;
    };
    std::string dir;
    std::string base;
    splitPath(path, dir, base);

    // A symbolic link is replaced itself: only a file's own permissions and
    // owner pass to its successor.
    struct stat original {};
    const bool haveOriginal = ::lstat(path.c_str(), &original) == 0 && S_ISREG(original.st_mode);
    if (haveOriginal && (simulated(SaveStage::Access, EACCES) || sys.access(path.c_str(), W_OK) != 0)) {
        const int saved = errno;
        reason = std::string(name) + ": cannot be written: " + std::strerror(saved);
        return false;
    }

    const std::string prefix = temporaryPrefix(dir, base);
    removeStaleTemporaries(dir, prefix);
    std::string temp;
    int fd = -1;
    const auto failed = [&](const std::string& what) {
        const int saved = errno;
        if (fd >= 0) sys.close(fd);
        ::unlink(temp.c_str());
        reason = std::string(name) + ": " + what + ": " + std::strerror(saved);
        return false;
    };

    if (!simulated(SaveStage::CreateTemp, EACCES)) {
        const std::string start = dir + "/" + prefix + std::to_string(::getpid()) + "-";
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            temp = start + uniqueLetters();
            // The umask applies to a file that has no original to follow.
            fd = sys.open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST) break;
        }
    }
    if (fd < 0) {
        const int saved = errno;
        reason = std::string(name) + ": cannot create a temporary file in " + dir + ": " + std::strerror(saved);
        return false;
    }
    if (haveOriginal && ::fchmod(fd, original.st_mode & 07777) != 0) {
        return failed("cannot give its new contents the file's permissions");
    }
    if (haveOriginal && (original.st_uid != ::geteuid() || original.st_gid != ::getegid())) {
        // Keep the owner where we may; a failure leaves the file ours.
        (void)!::fchown(fd, original.st_uid, original.st_gid);
    }
    if (haveOriginal && !copyExtendedAttributes(path.c_str(), fd)) {
        return failed("cannot give its new contents the file's extended attributes (its ACL)");
    }

    // A failing write is simulated as on a full disk: half of the text
    // reaches the file, then no more.
    const bool writeFails = simulated(SaveStage::Write, 0);
    const size_t total = writeFails ? bytes.size() / 2 : bytes.size();
    size_t done = 0;
    while (done < total) {
        const size_t chunk = std::min<size_t>(total - done, size_t{1} << 20);
        const ssize_t n = sys.write(fd, bytes.data() + done, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failed("cannot write its new contents");
        done += static_cast<size_t>(n);
    }
    if (writeFails) {
        errno = ENOSPC;
        return failed("cannot write its new contents");
    }
    // The contents reach the disk before the name points at them: a power
    // cut after the rename must not leave an empty or torn file.
    if (simulated(SaveStage::Flush, EIO) || sys.fsync(fd) != 0) return failed("cannot flush its new contents to disk");
    const int closing = fd;
    fd = -1;
    if (sys.close(closing) != 0) return failed("cannot flush its new contents to disk");
    if (prepared) {
        *prepared = temp;
        return true;
    }
    return commitPrepared(temp, path, name, failStage, reason);
}

bool commitPrepared(const std::string& temp, const std::string& path, std::string_view name,
                    const std::function<bool(SaveStage)>& failStage, std::string& reason) {
    const SaveCalls& sys = saveCalls();
    std::string dir;
    std::string base;
    splitPath(path, dir, base);
    const auto failed = [&](const std::string& what) {
        const int saved = errno;
        ::unlink(temp.c_str());
        reason = std::string(name) + ": " + what + ": " + std::strerror(saved);
        return false;
    };
    bool simulated = false;
    if (failStage && failStage(SaveStage::Rename)) {
        errno = EBUSY;
        simulated = true;
    }
    if (simulated || sys.rename(temp.c_str(), path.c_str()) != 0) {
        return failed("cannot be replaced by its new contents");
    }
    // The rename itself reaches the disk with the folder.
    const int dirFd = sys.open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (dirFd >= 0) {
        sys.fsync(dirFd);
        sys.close(dirFd);
    }
    return true;
}

}  // namespace orlune::host

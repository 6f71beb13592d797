#include "host/load.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>
#include <unordered_map>

#include "host/cp1252.h"
#include "host/json.h"
#include "host/utf8.h"

namespace orlune::host {

namespace {

// Opens a design file for reading; -1 with `reason` set when it cannot be
// read. Only a regular file is a design: a pipe is read once (the next
// conversation would find it empty or wait for ever), a device may never
// end, so either is refused before a byte is read, and the open does not
// wait for a pipe's writer.
int openDesign(const std::string& path, std::string_view name, struct stat& st, std::string& reason) {
    // Looked at first, so that a pipe's writer is not even woken.
    if (::stat(path.c_str(), &st) == 0) {
        if (std::string kind = notRegularFile(st.st_mode); !kind.empty()) {
            reason = std::string(name) + ": cannot be read: " + kind;
            return -1;
        }
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        reason = std::string(name) + ": cannot be read: " + std::strerror(errno);
        return -1;
    }
    if (::fstat(fd, &st) != 0) {
        reason = std::string(name) + ": cannot be read: " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    if (std::string kind = notRegularFile(st.st_mode); !kind.empty()) {
        reason = std::string(name) + ": cannot be read: " + kind;
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads up to `size` bytes at `out`; the count read (short only at the
// file's end), or -1 with errno set.
ssize_t readFully(int fd, char* out, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, out + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

}  // namespace

std::string notRegularFile(mode_t mode) {
    if (S_ISREG(mode)) return {};
    const char* what = S_ISDIR(mode)                    ? "a folder"
                       : S_ISFIFO(mode)                 ? "a pipe"
                       : S_ISSOCK(mode)                 ? "a socket"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                                                        : "of another kind";
    return std::string("it is not a regular file but ") + what + "; a design is read from a regular file only";
}

bool readDesignBytes(const std::string& path, std::string_view name, std::string& bytes, std::string& reason) {
    struct stat st {};
    const int fd = openDesign(path, name, st, reason);
    if (fd < 0) return false;
    bytes.clear();
    if (st.st_size > 0) bytes.reserve(static_cast<size_t>(st.st_size));
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = readFully(fd, buf, sizeof buf);
        if (n < 0) {
            reason = std::string(name) + ": cannot be read: " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        bytes.append(buf, static_cast<size_t>(n));
        if (static_cast<size_t>(n) < sizeof buf) break;
    }
    ::close(fd);
    return true;
}

int sameDesignBytes(const std::string& path, std::string_view name, std::string_view bytes, std::string& reason) {
    struct stat st {};
    const int fd = openDesign(path, name, st, reason);
    if (fd < 0) return -1;
    if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) != bytes.size()) {
        ::close(fd);
        return 0;
    }
    // Chunk by chunk against the bytes in memory: no second copy of the file.
    std::string chunk(size_t{1} << 18, '\0');
    size_t done = 0;
    int same = 1;
    for (;;) {
        const ssize_t n = readFully(fd, chunk.data(), chunk.size());
        if (n < 0) {
            reason = std::string(name) + ": cannot be read: " + std::strerror(errno);
            same = -1;
            break;
        }
        const auto got = static_cast<size_t>(n);
        if (got > bytes.size() - done || std::memcmp(chunk.data(), bytes.data() + done, got) != 0) {
            same = 0;
            break;
        }
        done += got;
        if (got < chunk.size()) {
            same = done == bytes.size() ? 1 : 0;
            break;
        }
    }
    ::close(fd);
    return same;
}

std::string textFieldNameProblem(std::string_view name) {
    if (name.empty()) return "is empty";
    if (name.front() == ' ' || name.back() == ' ') return "begins or ends with a space";
    size_t bytes = 0;
    size_t pos = 0;
    while (pos < name.size()) {
        const char32_t cp = nextUtf8(name, pos);
        if (cp == 0) return "holds a NUL character";
        if (cp == kBadUtf8 || cp1252Byte(cp) < 0) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
            return std::string("holds a character that Windows-1252 cannot hold (") + buf + ")";
        }
        ++bytes;
    }
    if (bytes > 99) return "is " + std::to_string(bytes) + " characters long (at most 99)";
    return {};
}

namespace {

// ---------------------------------------------------------------------------
// The keys of each kind of object. The loader reads through these tables and
// knownObjects() publishes them, so the two cannot drift apart.

struct KeySpec {
    std::string_view name;
    bool required;
};

constexpr KeySpec kDesignKeys[] = {{"format", true},      {"version", true},    {"units", true},
                                   {"workspace", true},   {"textLimit", false}, {"textStyles", false},
                                   {"sheets", false},     {"nets", false},      {"buses", false},
                                   {"components", false}, {"items", false},     {"attributes", false}};
enum {
    DFormat,
    DVersion,
    DUnits,
    DWorkspace,
    DTextLimit,
    DStyles,
    DSheets,
    DNets,
    DBuses,
    DComponents,
    DItems,
    DAttributes
};

constexpr KeySpec kStyleKeys[] = {{"number", true}, {"id", false},       {"name", true},
                                  {"height", true}, {"charWidth", true}, {"advances", false}};
enum { SNumber, SId, SName, SHeight, SCharWidth, SAdvances };

constexpr KeySpec kSheetKeys[] = {{"id", true}, {"name", true}};
constexpr KeySpec kNetKeys[] = {{"id", true}, {"name", true}};
constexpr KeySpec kBusKeys[] = {{"name", true}, {"nets", false}};

constexpr KeySpec kComponentKeys[] = {{"refDes", true},      {"type", true},  {"kind", true},
                                      {"attributes", false}, {"pins", false}, {"symbol", true}};
enum { CRefDes, CType, CKind, CAttributes, CPins, CSymbol };

constexpr KeySpec kCompAttributeKeys[] = {{"name", true}, {"value", true}};
constexpr KeySpec kDesignAttributeKeys[] = {{"name", true}, {"value", true}, {"units", false}};

constexpr KeySpec kPinKeys[] = {{"x", true}, {"y", true}, {"sheet", true}, {"net", false}};
enum { PX, PY, PSheet, PNet };

constexpr KeySpec kSymbolKeys[] = {{"sheet", true},    {"x", true},          {"y", true},
                                   {"flipped", false}, {"highlight", false}, {"selected", false}};
enum { YSheet, YX, YY, YFlipped, YHighlight, YSelected };

// Items: the common keys, then those of each type.
constexpr KeySpec kItemKeys[] = {{"type", true}, {"sheet", true}, {"selected", false}};
constexpr KeySpec kTextItemKeys[] = {
    {"text", true}, {"style", true}, {"x", true}, {"y", true}, {"justification", true}};
constexpr KeySpec kBusItemKeys[] = {{"bus", true}, {"x1", true}, {"y1", true}, {"x2", true}, {"y2", true}};
constexpr KeySpec kWireItemKeys[] = {{"net", false}, {"x1", true}, {"y1", true}, {"x2", true}, {"y2", true}};
constexpr KeySpec kLineItemKeys[] = {{"x1", true}, {"y1", true}, {"x2", true}, {"y2", true}};

// ---------------------------------------------------------------------------

// How many bytes of a value a reason shows: at most 60, ending at a
// character's start, so that a huge value cannot make a huge reason.
size_t shownLength(std::string_view s) {
    size_t n = s.size();
    if (n > 60) {
        n = 60;
        while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
            --n;
    }
    return n;
}

// A number as it was written, cut like a quoted text.
std::string cut(std::string_view lexeme) {
    const size_t n = shownLength(lexeme);
    return std::string(lexeme.substr(0, n)) + (n < lexeme.size() ? "..." : "");
}

// A text as a JSON string, cut after 60 bytes (at a character's start).
std::string quote(std::string_view s) {
    const size_t n = shownLength(s);
    std::string out;
    JsonWriter w(out);
    w.string(s.substr(0, n));
    if (n < s.size()) out.insert(out.size() - 1, "...");
    return out;
}

// Where a value is, for reasons; rendered only when something is wrong.
struct Path {
    const Path* parent = nullptr;
    std::string_view key;
    int64_t index = -1;

    Path at(std::string_view k) const { return Path{this, k, -1}; }
    Path at(size_t i) const { return Path{this, {}, static_cast<int64_t>(i)}; }

    std::string str() const {
        std::string s = parent ? parent->str() : std::string();
        if (index >= 0) {
            s += "[" + std::to_string(index) + "]";
        } else if (!key.empty()) {
            bool plain = true;
            for (const char c : key)
                plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
            if (plain) {
                if (!s.empty()) s += '.';
                s += key;
            } else {
                s += "[" + quote(key) + "]";
            }
        }
        return s;
    }
};

struct Refusal {
    int32_t status;
    uint32_t line;
    std::string path;
    std::string what;
};

class Loader {
public:
    Loader(const JsonDocument& doc, Design& design) : d_(doc), design_(design) {}

    void load() {
        const Path top;
        if (d_.type(d_.root) != JsonType::Object) fail(d_.root, top, "the top level must be an object");
        JsonIndex f[std::size(kDesignKeys)];
        gatherHeader(d_.root, f);

        design_.units = integer(f[DUnits], top.at("units"));
        loadWorkspace(f[DWorkspace], top.at("workspace"));
        if (f[DTextLimit] != kNoNode) {
            design_.textLimit = integer(f[DTextLimit], top.at("textLimit"));
            if (design_.textLimit < 1 || design_.textLimit > 255) {
                fail(f[DTextLimit], top.at("textLimit"), std::to_string(design_.textLimit) + " is outside 1..255");
            }
        }
        loadStyles(f[DStyles], top.at("textStyles"));
        loadSheets(f[DSheets], top.at("sheets"));
        loadNets(f[DNets], top.at("nets"));
        loadBuses(f[DBuses], top.at("buses"));
        loadComponents(f[DComponents], top.at("components"));
        loadItems(f[DItems], top.at("items"));
        loadAttributes(f[DAttributes], top.at("attributes"), design_.attributes, true);
    }

private:
    [[noreturn]] void fail(JsonIndex node, const Path& path, std::string what, int32_t status = kInvalidDesign) {
        throw Refusal{status, d_.line(node), path.str(), std::move(what)};
    }

    static const char* typeName(JsonType t) {
        switch (t) {
            case JsonType::Null:
                return "null";
            case JsonType::False:
            case JsonType::True:
                return "a boolean";
            case JsonType::Number:
                return "a number";
            case JsonType::String:
                return "a string";
            case JsonType::Array:
                return "an array";
            case JsonType::Object:
                return "an object";
        }
        return "?";
    }

    [[noreturn]] void wrongType(JsonIndex v, const Path& p, const char* wanted) {
        fail(v, p, std::string("must be ") + wanted + ", not " + typeName(d_.type(v)));
    }

    int32_t integer(JsonIndex v, const Path& p) {
        int32_t out;
        if (d_.isInt32(v, out)) return out;
        if (d_.type(v) != JsonType::Number) wrongType(v, p, "an integer");
        const std::string_view lexeme = d_.text(v);
        if (lexeme.find_first_of(".eE") != std::string_view::npos) {
            fail(v, p, cut(lexeme) + " is not an integer (write it without a fraction or an exponent)");
        }
        fail(v, p, cut(lexeme) + " does not fit a 32-bit integer");
    }

    std::string_view string(JsonIndex v, const Path& p) {
        if (d_.type(v) != JsonType::String) wrongType(v, p, "a string");
        return d_.text(v);
    }

    bool boolean(JsonIndex v, const Path& p) {
        if (d_.type(v) == JsonType::True) return true;
        if (d_.type(v) == JsonType::False) return false;
        wrongType(v, p, "true or false");
    }

    // Element count of an optional array (missing: empty).
    uint32_t array(JsonIndex v, const Path& p) {
        if (v == kNoNode) return 0;
        if (d_.type(v) != JsonType::Array) wrongType(v, p, "an array");
        return d_.size(v);
    }

    // Fills out[i] with the value of table[i] (kNoNode when missing); a
    // missing required key is refused.
    void gather(JsonIndex obj, const Path& p, std::span<const KeySpec> table, JsonIndex* out) {
        if (d_.type(obj) != JsonType::Object) wrongType(obj, p, "an object");
        for (size_t i = 0; i < table.size(); ++i)
            out[i] = kNoNode;
        const uint32_t n = d_.size(obj);
        for (uint32_t k = 0; k < n; ++k) {
            const std::string_view key = d_.text(d_.key(obj, k));
            for (size_t i = 0; i < table.size(); ++i) {
                if (table[i].name == key) {
                    out[i] = d_.value(obj, k);
                    break;
                }
            }
        }
        for (size_t i = 0; i < table.size(); ++i) {
            if (table[i].required && out[i] == kNoNode)
                fail(obj, p, "\"" + std::string(table[i].name) + "\" is missing");
        }
    }

    // format and version first: a file of another version may differ in
    // anything else.
    void gatherHeader(JsonIndex root, JsonIndex* f) {
        const Path top;
        const JsonIndex format = d_.find(root, "format");
        if (format == kNoNode)
            fail(root, top, "\"format\" is missing: a design file has \"format\": \"orlune-design\"");
        if (string(format, top.at("format")) != "orlune-design") {
            fail(format, top.at("format"), quote(d_.text(format)) + " is not \"orlune-design\"");
        }
        const JsonIndex version = d_.find(root, "version");
        if (version == kNoNode) fail(root, top, "\"version\" is missing");
        design_.version = integer(version, top.at("version"));
        if (design_.version != 1) {
            fail(version, top.at("version"),
                 std::to_string(design_.version) + " is not supported (this host reads version 1)", kIncompatible);
        }
        gather(root, top, kDesignKeys, f);
    }

    void loadWorkspace(JsonIndex v, const Path& p) {
        if (array(v, p) != 2) fail(v, p, "must be an array of two integers [x, y]");
        design_.workspaceX = integer(d_.element(v, 0), p.at(size_t{0}));
        design_.workspaceY = integer(d_.element(v, 1), p.at(size_t{1}));
    }

    void loadStyles(JsonIndex v, const Path& p) {
        const uint32_t n = array(v, p);
        design_.textStyles.resize(n);
        int firstWith[100];
        std::fill(std::begin(firstWith), std::end(firstWith), -1);
        for (uint32_t i = 0; i < n; ++i) {
            const JsonIndex obj = d_.element(v, i);
            const Path at = p.at(i);
            JsonIndex f[std::size(kStyleKeys)];
            gather(obj, at, kStyleKeys, f);
            TextStyle& s = design_.textStyles[i];
            s.source = obj;
            s.number = integer(f[SNumber], at.at("number"));
            if (s.number < 0 || s.number > 99)
                fail(f[SNumber], at.at("number"), std::to_string(s.number) + " is outside 0..99");
            if (firstWith[s.number] >= 0) {
                fail(
                    f[SNumber], at.at("number"),
                    std::to_string(s.number) + " is used twice (also " + p.at(size_t(firstWith[s.number])).str() + ")");
            }
            firstWith[s.number] = static_cast<int>(i);
            s.id = f[SId] != kNoNode ? integer(f[SId], at.at("id")) : s.number;
            s.name = string(f[SName], at.at("name"));
            s.height = integer(f[SHeight], at.at("height"));
            if (s.height <= 0) fail(f[SHeight], at.at("height"), "must be greater than 0");
            s.charWidth = integer(f[SCharWidth], at.at("charWidth"));
            if (s.charWidth <= 0) fail(f[SCharWidth], at.at("charWidth"), "must be greater than 0");
            if (f[SAdvances] != kNoNode) loadAdvances(f[SAdvances], at.at("advances"), s);
        }
        for (uint32_t i = 0; i < n; ++i) {
            const TextStyle& s = design_.textStyles[i];
            if (s.number >= static_cast<int32_t>(n)) {
                fail(d_.find(s.source, "number"), p.at(i).at("number"),
                     std::to_string(s.number) + " leaves a gap: the style numbers must be 0.." + std::to_string(n - 1));
            }
        }
    }

    void loadAdvances(JsonIndex v, const Path& p, TextStyle& s) {
        if (d_.type(v) != JsonType::Object) wrongType(v, p, "an object");
        const uint32_t n = d_.size(v);
        s.advances.reserve(n);
        for (uint32_t k = 0; k < n; ++k) {
            const std::string_view key = d_.text(d_.key(v, k));
            const Path at = p.at(key);
            size_t pos = 0;
            const char32_t cp = key.empty() ? kBadUtf8 : nextUtf8(key, pos);
            if (key.empty() || pos != key.size()) fail(d_.key(v, k), at, "a key of \"advances\" must be one character");
            s.advances[cp] = integer(d_.value(v, k), at);
        }
    }

    void loadSheets(JsonIndex v, const Path& p) {
        const uint32_t n = array(v, p);
        design_.sheets.resize(n);
        int32_t numbered = 0;
        for (uint32_t i = 0; i < n; ++i) {
            const JsonIndex obj = d_.element(v, i);
            const Path at = p.at(i);
            JsonIndex f[std::size(kSheetKeys)];
            gather(obj, at, kSheetKeys, f);
            Sheet& s = design_.sheets[i];
            s.source = obj;
            s.id = integer(f[0], at.at("id"));
            s.name = string(f[1], at.at("name"));
            if (s.id != 0) ++numbered;
        }
        // The ids other than 0 are exactly 1..N.
        sheetIndex_.assign(static_cast<size_t>(numbered) + 1, -1);
        for (uint32_t i = 0; i < n; ++i) {
            const Sheet& s = design_.sheets[i];
            const Path entry = p.at(i);
            const Path at = entry.at("id");
            const JsonIndex idNode = d_.find(s.source, "id");
            if (s.id < 0 || s.id > numbered) {
                fail(idNode, at,
                     std::to_string(s.id) + " is outside 1.." + std::to_string(numbered) +
                         ": the sheets other than 0 are numbered 1..N without gaps");
            }
            int& first = sheetIndex_[static_cast<size_t>(s.id)];
            if (first >= 0) {
                fail(idNode, at, std::to_string(s.id) + " is used twice (also " + p.at(size_t(first)).str() + ")");
            }
            first = static_cast<int>(i);
        }
    }

    void checkSheet(JsonIndex v, const Path& p, int32_t id) {
        if (id < 0 || static_cast<size_t>(id) >= sheetIndex_.size() || sheetIndex_[static_cast<size_t>(id)] < 0) {
            fail(v, p, std::to_string(id) + " is not a declared sheet");
        }
    }

    void checkNet(JsonIndex v, const Path& p, int32_t id) {
        if (id != 0 && netIndex_.find(id) == netIndex_.end()) fail(v, p, "no net has the id " + std::to_string(id));
    }

    void loadNets(JsonIndex v, const Path& p) {
        const uint32_t n = array(v, p);
        design_.nets.resize(n);
        netIndex_.reserve(n);
        for (uint32_t i = 0; i < n; ++i) {
            const JsonIndex obj = d_.element(v, i);
            const Path at = p.at(i);
            JsonIndex f[std::size(kNetKeys)];
            gather(obj, at, kNetKeys, f);
            Net& net = design_.nets[i];
            net.source = obj;
            net.id = integer(f[0], at.at("id"));
            net.name = string(f[1], at.at("name"));
            if (net.id == 0) fail(f[0], at.at("id"), "0 is not a net id (0 means unconnected)");
            const auto [it, fresh] = netIndex_.emplace(net.id, i);
            if (!fresh) {
                fail(f[0], at.at("id"),
                     std::to_string(net.id) + " is used twice (also " + p.at(it->second).str() + ")");
            }
        }
    }

    void loadBuses(JsonIndex v, const Path& p) {
        const uint32_t n = array(v, p);
        design_.buses.resize(n);
        busIndex_.reserve(n);
        for (uint32_t i = 0; i < n; ++i) {
            const JsonIndex obj = d_.element(v, i);
            const Path at = p.at(i);
            JsonIndex f[std::size(kBusKeys)];
            gather(obj, at, kBusKeys, f);
            Bus& bus = design_.buses[i];
            bus.source = obj;
            const std::string_view name = string(f[0], at.at("name"));
            if (std::string problem = textFieldNameProblem(name); !problem.empty()) {
                fail(f[0], at.at("name"), quote(name) + " " + problem);
            }
            bus.name = name;
            const auto [it, fresh] = busIndex_.emplace(name, i);
            if (!fresh) fail(f[0], at.at("name"), quote(name) + " is used twice (also " + p.at(it->second).str() + ")");
            const Path netsPath = at.at("nets");
            const uint32_t count = array(f[1], netsPath);
            bus.nets.resize(count);
            for (uint32_t k = 0; k < count; ++k) {
                const JsonIndex e = d_.element(f[1], k);
                bus.nets[k] = integer(e, netsPath.at(k));
                if (bus.nets[k] == 0) fail(e, netsPath.at(k), "0 is not a net id");
                checkNet(e, netsPath.at(k), bus.nets[k]);
            }
        }
    }

    void loadAttributes(JsonIndex v, const Path& p, std::vector<Attribute>& out, bool design) {
        const uint32_t n = array(v, p);
        out.resize(n);
        for (uint32_t i = 0; i < n; ++i) {
            const JsonIndex obj = d_.element(v, i);
            const Path at = p.at(i);
            JsonIndex f[std::size(kDesignAttributeKeys)];
            if (design) {
                gather(obj, at, kDesignAttributeKeys, f);
            } else {
                gather(obj, at, kCompAttributeKeys, f);
                f[2] = kNoNode;
            }
            Attribute& a = out[i];
            a.source = obj;
            a.name = string(f[0], at.at("name"));
            a.value = string(f[1], at.at("value"));
            if (f[2] != kNoNode) a.units = integer(f[2], at.at("units"));
        }
    }

    void loadComponents(JsonIndex v, const Path& p) {
        const uint32_t n = array(v, p);
        design_.components.resize(n);
        std::unordered_map<std::string_view, uint32_t> refDesIndex;
        refDesIndex.reserve(n);
        for (uint32_t i = 0; i < n; ++i) {
            const JsonIndex obj = d_.element(v, i);
            const Path at = p.at(i);
            JsonIndex f[std::size(kComponentKeys)];
            gather(obj, at, kComponentKeys, f);
            Component& c = design_.components[i];
            c.source = obj;
            const std::string_view refDes = string(f[CRefDes], at.at("refDes"));
            if (std::string problem = textFieldNameProblem(refDes); !problem.empty()) {
                fail(f[CRefDes], at.at("refDes"), quote(refDes) + " " + problem);
            }
            const auto [it, fresh] = refDesIndex.emplace(refDes, i);
            if (!fresh) {
                fail(f[CRefDes], at.at("refDes"),
                     quote(refDes) + " is used twice (also " + p.at(it->second).str() + ")");
            }
            c.refDes = refDes;
            c.type = string(f[CType], at.at("type"));
            c.kind = integer(f[CKind], at.at("kind"));
            loadAttributes(f[CAttributes], at.at("attributes"), c.attributes, false);
            loadPins(f[CPins], at.at("pins"), c.pins);
            if (c.kind == 2 && c.pins.empty()) {
                fail(f[CPins] != kNoNode ? f[CPins] : obj, at.at("pins"),
                     "a sheet connector (kind 2) needs at least one pin");
            }
            loadSymbol(f[CSymbol], at.at("symbol"), c.symbol);
        }
    }

    void loadPins(JsonIndex v, const Path& p, std::vector<Pin>& pins) {
        const uint32_t n = array(v, p);
        pins.resize(n);
        for (uint32_t i = 0; i < n; ++i) {
            const JsonIndex obj = d_.element(v, i);
            const Path at = p.at(i);
            JsonIndex f[std::size(kPinKeys)];
            gather(obj, at, kPinKeys, f);
            Pin& pin = pins[i];
            pin.source = obj;
            pin.x = integer(f[PX], at.at("x"));
            pin.y = integer(f[PY], at.at("y"));
            pin.sheet = integer(f[PSheet], at.at("sheet"));
            checkSheet(f[PSheet], at.at("sheet"), pin.sheet);
            if (f[PNet] != kNoNode) {
                pin.net = integer(f[PNet], at.at("net"));
                checkNet(f[PNet], at.at("net"), pin.net);
            }
        }
    }

    void loadSymbol(JsonIndex obj, const Path& at, Symbol& s) {
        JsonIndex f[std::size(kSymbolKeys)];
        gather(obj, at, kSymbolKeys, f);
        s.source = obj;
        s.sheet = integer(f[YSheet], at.at("sheet"));
        checkSheet(f[YSheet], at.at("sheet"), s.sheet);
        s.x = integer(f[YX], at.at("x"));
        s.y = integer(f[YY], at.at("y"));
        if (f[YFlipped] != kNoNode) s.flipped = boolean(f[YFlipped], at.at("flipped"));
        if (f[YHighlight] != kNoNode) s.highlight = integer(f[YHighlight], at.at("highlight"));
        if (f[YSelected] != kNoNode) s.selected = boolean(f[YSelected], at.at("selected"));
    }

    void loadItems(JsonIndex v, const Path& p) {
        const uint32_t n = array(v, p);
        // Room for the texts that a conversation places (a few per
        // component at most), so that placing them does not move every item.
        design_.items.reserve(static_cast<size_t>(n) + design_.components.size() + 16);
        design_.items.resize(n);
        for (uint32_t i = 0; i < n; ++i) {
            const JsonIndex obj = d_.element(v, i);
            const Path at = p.at(i);
            JsonIndex f[std::size(kItemKeys)];
            gather(obj, at, kItemKeys, f);
            Item& item = design_.items[i];
            item.source = obj;
            const std::string_view type = string(f[0], at.at("type"));
            item.sheet = integer(f[1], at.at("sheet"));
            checkSheet(f[1], at.at("sheet"), item.sheet);
            if (f[2] != kNoNode) item.selected = boolean(f[2], at.at("selected"));
            JsonIndex g[5];
            const auto coords = [&](size_t first) {
                item.x1 = integer(g[first], at.at("x1"));
                item.y1 = integer(g[first + 1], at.at("y1"));
                item.x2 = integer(g[first + 2], at.at("x2"));
                item.y2 = integer(g[first + 3], at.at("y2"));
            };
            if (type == "text") {
                item.type = ItemType::Text;
                gather(obj, at, kTextItemKeys, g);
                item.text = string(g[0], at.at("text"));
                item.style = integer(g[1], at.at("style"));
                item.x = integer(g[2], at.at("x"));
                item.y = integer(g[3], at.at("y"));
                item.justification = integer(g[4], at.at("justification"));
            } else if (type == "bus") {
                item.type = ItemType::Bus;
                gather(obj, at, kBusItemKeys, g);
                item.bus = string(g[0], at.at("bus"));
                if (busIndex_.find(item.bus) == busIndex_.end())
                    fail(g[0], at.at("bus"), "no bus is named " + quote(item.bus));
                coords(1);
            } else if (type == "wire") {
                item.type = ItemType::Wire;
                gather(obj, at, kWireItemKeys, g);
                if (g[0] != kNoNode) {
                    item.net = integer(g[0], at.at("net"));
                    checkNet(g[0], at.at("net"), item.net);
                }
                coords(1);
            } else if (type == "line") {
                item.type = ItemType::Line;
                gather(obj, at, kLineItemKeys, g);
                coords(0);
            } else {
                fail(f[0], at.at("type"), quote(type) + " is not an item type (text, bus, wire, line)");
            }
        }
    }

    const JsonDocument& d_;
    Design& design_;
    std::vector<int> sheetIndex_;  // by id: index in sheets, -1: not declared
    std::unordered_map<int32_t, uint32_t> netIndex_;
    std::unordered_map<std::string_view, uint32_t> busIndex_;
};

std::vector<std::string_view> keysOf(std::span<const KeySpec> table, bool required) {
    std::vector<std::string_view> out;
    for (const KeySpec& k : table) {
        if (k.required == required) out.push_back(k.name);
    }
    return out;
}

std::string location(std::string_view name, uint32_t line) {
    return std::string(name) + ":" + std::to_string(line) + ": ";
}

}  // namespace

int32_t loadDesign(std::shared_ptr<const std::string> bytes, std::string_view name, std::unique_ptr<Design>& design,
                   std::string& reason) {
    auto doc = std::make_shared<JsonDocument>();
    JsonError error;
    if (!parseJson(std::move(bytes), *doc, error)) {
        if (error.duplicateKey) {
            reason = location(name, error.line) + error.message;
            return kInvalidDesign;
        }
        reason = location(name, error.line) + "not JSON: " + error.message;
        if (error.column > 0) reason += " (column " + std::to_string(error.column) + ")";
        return kNotJson;
    }
    auto loaded = std::make_unique<Design>();
    try {
        Loader(*doc, *loaded).load();
    } catch (const Refusal& r) {
        reason = location(name, r.line) + (r.path.empty() ? "" : r.path + ": ") + r.what;
        return r.status;
    }
    loaded->document = std::move(doc);
    design = std::move(loaded);
    return kOk;
}

DesignSummary summarize(const Design& design) {
    DesignSummary s;
    for (const Sheet& sheet : design.sheets)
        s.sheets += sheet.id != 0 ? 1 : 0;
    s.components = static_cast<int>(design.components.size());
    for (const Component& c : design.components)
        s.sheetConnectors += c.kind == 2 ? 1 : 0;
    s.nets = static_cast<int>(design.nets.size());
    s.buses = static_cast<int>(design.buses.size());
    for (const Item& item : design.items)
        s.items += item.deleted ? 0 : 1;
    return s;
}

const std::vector<KnownObject>& knownObjects() {
    static const std::vector<KnownObject> objects = [] {
        std::vector<KnownObject> v;
        const auto add = [&](std::string_view name, std::span<const KeySpec> table,
                             std::span<const KeySpec> more = {}) {
            KnownObject o{name, keysOf(table, true), keysOf(table, false)};
            for (auto k : keysOf(more, true))
                o.required.push_back(k);
            for (auto k : keysOf(more, false))
                o.optional.push_back(k);
            v.push_back(std::move(o));
        };
        add("design", kDesignKeys);
        add("textStyle", kStyleKeys);
        add("sheet", kSheetKeys);
        add("net", kNetKeys);
        add("bus", kBusKeys);
        add("component", kComponentKeys);
        add("componentAttribute", kCompAttributeKeys);
        add("designAttribute", kDesignAttributeKeys);
        add("pin", kPinKeys);
        add("symbol", kSymbolKeys);
        add("textItem", kItemKeys, kTextItemKeys);
        add("busItem", kItemKeys, kBusItemKeys);
        add("wireItem", kItemKeys, kWireItemKeys);
        add("lineItem", kItemKeys, kLineItemKeys);
        return v;
    }();
    return objects;
}

}  // namespace orlune::host

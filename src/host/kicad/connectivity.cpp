#include "host/kicad/connectivity.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string_view>
#include <unordered_map>
#include <utility>

// The computation follows KiCad's own: items of one sheet instance join at
// equal points (with KiCad's exceptions), labels join the wires under them,
// names join subgraphs, sheet pins join hierarchical labels, and bus members
// join by index or name. A union-find over items, name nodes and bus member
// nodes holds all of it; nets are its components.

namespace orlune::kicad {

namespace {

// ---------------------------------------------------------------- union-find

class UnionFind {
public:
    int add() {
        parent_.push_back(static_cast<int>(parent_.size()));
        return parent_.back();
    }
    int find(int x) {
        int root = x;
        while (parent_[root] != root)
            root = parent_[root];
        while (parent_[x] != root) {
            const int next = parent_[x];
            parent_[x] = root;
            x = next;
        }
        return root;
    }
    bool unite(int a, int b) {
        a = find(a);
        b = find(b);
        if (a == b) return false;
        if (a < b) std::swap(a, b);
        parent_[a] = b;
        return true;
    }
    int size() const { return static_cast<int>(parent_.size()); }

private:
    std::vector<int> parent_;
};

struct PointHash {
    std::size_t operator()(const Point& p) const noexcept {
        const auto x = static_cast<std::uint64_t>(p.x);
        const auto y = static_cast<std::uint64_t>(p.y);
        return static_cast<std::size_t>((x * 0x9E3779B97F4A7C15ULL) ^
                                        (y + 0x632BE59BD9B4E019ULL + (x << 6) + (x >> 2)));
    }
};

// ---------------------------------------------------------------- names

// KiCad's net-name escaping of a shown text: '/' becomes {slash}, line breaks
// go.
std::string escapeNetName(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '/')
            out += "{slash}";
        else if (c != '\n' && c != '\r')
            out += c;
    }
    return out;
}

std::string unescapeNetName(std::string_view s) {
    if (s.size() <= 2) return std::string(s);
    static const std::pair<std::string_view, std::string_view> kTokens[] = {
        {"dblquote", "\""}, {"quote", "'"}, {"lt", "<"},      {"gt", ">"},    {"backslash", "\\"},
        {"slash", "/"},     {"bar", "|"},   {"comma", ","},   {"colon", ":"}, {"space", " "},
        {"dollar", "$"},    {"tab", "\t"},  {"return", "\n"}, {"brace", "{"}};
    std::string out;
    out.reserve(s.size());
    char prev = 0;
    char ch = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        prev = ch;
        ch = s[i];
        if (ch != '{') {
            out += ch;
            continue;
        }
        std::string token;
        int depth = 1;
        bool terminated = false;
        for (i = i + 1; i < s.size(); ++i) {
            ch = s[i];
            if (ch == '{')
                ++depth;
            else if (ch == '}')
                --depth;
            if (depth <= 0) {
                terminated = true;
                break;
            }
            token += ch;
        }
        if (!terminated) {
            out += "{" + unescapeNetName(token);
            continue;
        }
        if (prev == '$' || prev == '~' || prev == '^' || prev == '_') {
            out += "{" + unescapeNetName(token) + "}";
            continue;
        }
        bool known = false;
        for (const auto& [name, value] : kTokens) {
            if (token == name) {
                out += value;
                known = true;
                break;
            }
        }
        if (!known) out += "{" + unescapeNetName(token) + "}";
    }
    return out;
}

// A label's name as KiCad compares it: the shown text, escaped.
std::string netNameOf(std::string_view text) {
    return escapeNetName(unescapeNetName(text));
}

// ---------------------------------------------------------------- bus names

bool isMarkup(char c) {
    return c == '_' || c == '^' || c == '~';
}

bool isEscapedAt(std::string_view s, std::size_t pos) {
    int count = 0;
    while (pos > 0 && s[pos - 1] == '\\') {
        ++count;
        --pos;
    }
    return count % 2 == 1;
}

// `PREFIX[a..b]SUFFIX` on the unescaped text. Markup around or inside the
// name stays in every member, as KiCad 10 names them: `~{CS[0..1]}` is
// ~{CS0} and ~{CS1} (KiCad 9 dropped it: CS0, CS1).
bool parseBusVector(std::string_view bus, std::string* prefixOut, std::vector<std::string>* members) {
    const std::size_t n = bus.size();
    std::size_t i = 0;
    std::string prefix;
    std::string suffix;
    int braces = 0;
    bool quoted = false;
    for (; i < n; ++i) {
        const char c = bus[i];
        if (c == '"' && !isEscapedAt(bus, i)) {
            quoted = !quoted;
            continue;
        }
        if (quoted) {
            if (c == '\\' && i + 1 < n)
                prefix += bus[++i];
            else
                prefix += c;
            continue;
        }
        if (c == '{') {
            if (i > 0 && isMarkup(bus[i - 1])) {
                ++braces;
                prefix += c;
                continue;
            }
            return false;
        }
        if (c == '}') {
            --braces;
            prefix += c;
            continue;
        }
        if (c == '\\' && i + 1 < n && bus[i + 1] == ' ') {
            prefix += bus[++i];
            continue;
        }
        if (c == ' ' || c == ']') return false;
        if (c == '[') break;
        prefix += c;
    }
    ++i;
    if (i >= n) return false;
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::string digits;
    long begin = 0;
    long end = 0;
    for (; i < n; ++i) {
        if (bus[i] == '.' && i + 1 < n && bus[i + 1] == '.') {
            begin = digits.empty() ? 0 : std::strtol(digits.c_str(), nullptr, 10);
            i += 2;
            break;
        }
        if (!isDigit(bus[i])) return false;
        digits += bus[i];
    }
    digits.clear();
    if (i >= n) return false;
    for (; i < n; ++i) {
        if (bus[i] == ']') {
            end = digits.empty() ? 0 : std::strtol(digits.c_str(), nullptr, 10);
            ++i;
            break;
        }
        if (!isDigit(bus[i])) return false;
        digits += bus[i];
    }
    for (; i < n; ++i) {
        const char c = bus[i];
        if (c == '}')
            --braces;
        else if (c != '+' && c != '-' && c != 'P' && c != 'N')
            return false;
        suffix += c;
    }
    if (braces != 0 || begin == end) return false;
    if (begin > end) std::swap(begin, end);
    // Beyond the limit the label names no bus (busSizeRefusal() says why).
    if (end - begin >= kMaxBusVectorMembers) return false;
    if (prefixOut) *prefixOut = prefix;
    if (members) {
        for (long k = begin; k <= end; ++k)
            members->push_back(prefix + std::to_string(k) + suffix);
    }
    return true;
}

// `PREFIX{m1 m2 …}` on the unescaped text; members come back escaped.
// Markup stays in the prefix and the members, as KiCad 10 reads them:
// `I2C_{SYS}{SCL ~{INT}}` is I2C_{SYS}.SCL and I2C_{SYS}.~{INT} (KiCad 9
// dropped part of it, so that such members never met their labels).
bool parseBusGroup(std::string_view group, std::string* prefixOut, std::vector<std::string>* members) {
    const std::size_t n = group.size();
    std::size_t i = 0;
    std::string prefix;
    int braces = 0;
    bool quoted = false;
    const auto keep = [](const std::string& member) {
        std::string escaped;
        for (const char c : member) {
            if (c == ' ')
                escaped += "\\ ";
            else
                escaped += c;
        }
        return escapeNetName(escaped);
    };
    for (; i < n; ++i) {
        const char c = group[i];
        if (c == '"' && !isEscapedAt(group, i)) {
            quoted = !quoted;
            continue;
        }
        if (quoted) {
            if (c == '\\' && i + 1 < n)
                prefix += group[++i];
            else
                prefix += c;
            continue;
        }
        if (c == '{') {
            if (i > 0 && isMarkup(group[i - 1])) {
                ++braces;
                prefix += c;
                continue;
            }
            break;
        }
        if (c == '}') --braces;
        if (c == '\\' && i + 1 < n && group[i + 1] == ' ') {
            prefix += group[++i];
            continue;
        }
        if (c == ' ' || c == '[' || c == ']') return false;
        prefix += c;
    }
    if (braces != 0) return false;
    ++i;
    if (i >= n) return false;
    std::string tmp;
    std::vector<std::string> found;
    quoted = false;
    for (; i < n; ++i) {
        const char c = group[i];
        if (c == '"' && !isEscapedAt(group, i)) {
            quoted = !quoted;
            continue;
        }
        if (quoted) {
            if (c == '\\' && i + 1 < n)
                tmp += group[++i];
            else
                tmp += c;
            continue;
        }
        if (c == '{') {
            if (i > 0 && isMarkup(group[i - 1])) {
                ++braces;
                tmp += c;
                continue;
            }
            return false;
        }
        if (c == '}') {
            if (braces) {
                --braces;
                tmp += c;
                continue;
            }
            if (!tmp.empty()) found.push_back(keep(tmp));
            if (prefixOut) *prefixOut = prefix;
            if (members) *members = std::move(found);
            return true;
        }
        if (c == '\\' && i + 1 < n && group[i + 1] == ' ') {
            tmp += group[++i];
            continue;
        }
        if (c == ' ' || c == ',') {
            if (!tmp.empty()) found.push_back(keep(tmp));
            tmp.clear();
            continue;
        }
        tmp += c;
    }
    return false;
}

// One member of a bus, flattened: `key` matches members of buses joined to
// this one (the index for a vector bus, the name without prefix in a group),
// `name` is the member's net name.
struct BusMember {
    std::string key;
    std::string name;
};

using AliasMap = std::unordered_map<std::string, const BusAlias*>;

// The members of a bus name in KiCad's order; false when the text is no bus.
bool busMembers(const std::string& text, const AliasMap& aliases, std::vector<BusMember>& out) {
    out.clear();
    const std::string plain = unescapeNetName(text);
    std::vector<std::string> names;
    std::string prefix;
    if (parseBusVector(plain, &prefix, &names)) {
        for (std::size_t k = 0; k < names.size(); ++k)
            out.push_back({"#" + std::to_string(k), escapeNetName(names[k])});
        return true;
    }
    if (!parseBusGroup(plain, &prefix, &names)) return false;
    const std::string memberPrefix = prefix.empty() ? std::string() : prefix + ".";
    const auto addMember = [&](const std::string& label) {
        std::vector<std::string> vector;
        if (parseBusVector(unescapeNetName(label), nullptr, &vector)) {
            for (const std::string& m : vector)
                out.push_back({m, memberPrefix + escapeNetName(m)});
        } else {
            out.push_back({label, memberPrefix + label});
        }
    };
    for (const std::string& member : names) {
        const auto alias = aliases.find(member);
        if (alias != aliases.end()) {
            for (const std::string& m : alias->second->members)
                addMember(escapeNetName(m));
        } else {
            addMember(member);
        }
    }
    return true;
}

// The vector's size, however large, when the text is `PREFIX[a..b]SUFFIX`;
// 0 when it is not (read as parseBusVector() reads it, without the limit).
long vectorSize(std::string_view text) {
    const std::size_t open = text.find('[');
    const std::size_t dots = text.find("..", open == std::string_view::npos ? 0 : open);
    const std::size_t close = text.find(']', dots == std::string_view::npos ? 0 : dots);
    if (open == std::string_view::npos || dots == std::string_view::npos || close == std::string_view::npos) return 0;
    const auto number = [](std::string_view d) {
        long v = 0;
        for (const char c : d) {
            if (c < '0' || c > '9') return -1L;
            v = std::min(v * 10 + (c - '0'), 1L << 40);
        }
        return v;
    };
    const long a = number(text.substr(open + 1, dots - open - 1));
    const long b = number(text.substr(dots + 2, close - dots - 2));
    return a < 0 || b < 0 ? 0 : std::labs(a - b) + 1;
}

// The number of members a bus label or pin names, counted without making
// them: a vector's size, a group's members with its aliases' and vectors'.
long busSize(const std::string& text, const AliasMap& aliases, std::string& vectorOver) {
    const std::string plain = unescapeNetName(text);
    const auto vector = [&](const std::string& t) {
        const long n = vectorSize(t);
        if (n > kMaxBusVectorMembers && vectorOver.empty()) vectorOver = t;
        return n;
    };
    if (const long n = vector(plain); n > 0) return n;
    std::vector<std::string> names;
    std::string prefix;
    if (!parseBusGroup(plain, &prefix, &names)) return 0;
    long total = 0;
    for (const std::string& member : names) {
        const auto alias = aliases.find(member);
        if (alias == aliases.end()) {
            total += std::max(1L, vector(unescapeNetName(member)));
            continue;
        }
        for (const std::string& m : alias->second->members)
            total += std::max(1L, vector(m));
    }
    return total;
}

// ---------------------------------------------------------------- geometry

bool onSegment(const Segment& s, const Point& p) {
    if (p.x < std::min(s.a.x, s.b.x) || p.x > std::max(s.a.x, s.b.x) || p.y < std::min(s.a.y, s.b.y) ||
        p.y > std::max(s.a.y, s.b.y))
        return false;
    // Coordinates stay within 31 bits, so both products are exact in 64 bits.
    return (s.b.x - s.a.x) * (p.y - s.a.y) == (s.b.y - s.a.y) * (p.x - s.a.x);
}

bool isEnd(const Segment& s, const Point& p) {
    return s.a == p || s.b == p;
}

// Distance from p to the segment is at most one unit (KiCad's hit test of a
// label on a line).
bool nearSegment(const Segment& s, const Point& p) {
    const double dx = static_cast<double>(s.b.x - s.a.x);
    const double dy = static_cast<double>(s.b.y - s.a.y);
    const double px = static_cast<double>(p.x - s.a.x);
    const double py = static_cast<double>(p.y - s.a.y);
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? (px * dx + py * dy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double ex = px - t * dx;
    const double ey = py - t * dy;
    return ex * ex + ey * ey <= 1.0;
}

// Segments of one layer, found by the points they pass through: horizontal
// ones by their y, vertical ones by their x, the rare slanted ones in a list.
class SegmentIndex {
public:
    explicit SegmentIndex(const std::vector<Segment>& segments) : segments_(segments) {
        for (int i = 0; i < static_cast<int>(segments.size()); ++i) {
            const Segment& s = segments[i];
            if (s.a == s.b) continue;  // KiCad drops zero-length lines
            if (s.a.y == s.b.y)
                horizontal_[s.a.y].push_back(i);
            else if (s.a.x == s.b.x)
                vertical_[s.a.x].push_back(i);
            else
                slanted_.push_back(i);
        }
    }

    // Calls f(index) for every segment whose distance to p is at most `slack`
    // on the axis across it (0: exactly on it).
    template <class F>
    void near(const Point& p, int slack, F&& f) const {
        for (std::int64_t d = -slack; d <= slack; ++d) {
            if (const auto it = horizontal_.find(p.y + d); it != horizontal_.end())
                for (const int i : it->second)
                    if (p.x >= std::min(segments_[i].a.x, segments_[i].b.x) &&
                        p.x <= std::max(segments_[i].a.x, segments_[i].b.x))
                        f(i);
            if (const auto it = vertical_.find(p.x + d); it != vertical_.end())
                for (const int i : it->second)
                    if (p.y >= std::min(segments_[i].a.y, segments_[i].b.y) &&
                        p.y <= std::max(segments_[i].a.y, segments_[i].b.y))
                        f(i);
        }
        for (const int i : slanted_)
            if (slack == 0 ? onSegment(segments_[i], p) : nearSegment(segments_[i], p)) f(i);
    }

    bool any(const Point& p) const {
        bool found = false;
        near(p, 0, [&](int) { found = true; });
        return found;
    }

    // Runs of collinear segments that overlap over more than a point, with
    // the two ends of each run: KiCad merges such a run into one line on open.
    struct Run {
        std::vector<int> members;
        Point from;
        Point to;
    };
    std::vector<Run> overlaps() const {
        std::vector<Run> runs;
        const auto sweep = [&](const std::vector<int>& list, bool byX, std::int64_t across) {
            std::vector<std::pair<std::int64_t, std::pair<std::int64_t, int>>> spans;
            for (const int i : list) {
                const Segment& s = segments_[i];
                const std::int64_t lo = byX ? std::min(s.a.x, s.b.x) : std::min(s.a.y, s.b.y);
                const std::int64_t hi = byX ? std::max(s.a.x, s.b.x) : std::max(s.a.y, s.b.y);
                spans.push_back({lo, {hi, i}});
            }
            std::sort(spans.begin(), spans.end());
            Run run;
            std::int64_t lo = 0;
            std::int64_t reach = 0;
            const auto close = [&] {
                if (run.members.size() < 2) return;
                run.from = byX ? Point{lo, across} : Point{across, lo};
                run.to = byX ? Point{reach, across} : Point{across, reach};
                runs.push_back(std::move(run));
            };
            for (const auto& [start, rest] : spans) {
                if (run.members.empty() || start >= reach) {
                    close();
                    run = Run{};
                    lo = start;
                    reach = rest.first;
                } else {
                    reach = std::max(reach, rest.first);
                }
                run.members.push_back(rest.second);
            }
            close();
        };
        for (const auto& [y, list] : horizontal_)
            sweep(list, true, y);
        for (const auto& [x, list] : vertical_)
            sweep(list, false, x);
        return runs;
    }

private:
    const std::vector<Segment>& segments_;
    std::unordered_map<std::int64_t, std::vector<int>> horizontal_;
    std::unordered_map<std::int64_t, std::vector<int>> vertical_;
    std::vector<int> slanted_;
};

// What one file's drawing gives every instance of it: the points where its
// lines connect (ends, plus junctions and bus-entry ends on their interior,
// where KiCad breaks them), the overlapping pairs, and which lines each
// label lies on. This is the clean-up the editor applies on open; kicad-cli 9
// applies it only in part (it shortens a broken line without adding the rest
// and merges no overlap), which the editor and the board do not share.
struct ScreenGeometry {
    std::vector<std::vector<Point>> wirePoints;
    std::vector<std::vector<Point>> busPoints;
    std::vector<std::pair<int, int>> wireOverlaps;
    std::vector<std::pair<int, int>> busOverlaps;
    std::vector<std::vector<int>> labelBuses;  // buses within one unit of the anchor
    std::vector<std::vector<int>> labelWires;
    std::vector<int> labelLines;      // lines within one unit of the anchor
    std::vector<bool> entryOnBus[2];  // per bus entry end: lies on a bus
    std::vector<bool> junctionOnBus;
};

ScreenGeometry analyse(const Screen& screen) {
    ScreenGeometry g;
    const SegmentIndex wires(screen.wires);
    const SegmentIndex buses(screen.buses);
    const auto points = [](const std::vector<Segment>& segments) {
        std::vector<std::vector<Point>> out(segments.size());
        for (std::size_t i = 0; i < segments.size(); ++i)
            if (!(segments[i].a == segments[i].b)) out[i] = {segments[i].a, segments[i].b};
        return out;
    };
    g.wirePoints = points(screen.wires);
    g.busPoints = points(screen.buses);
    std::vector<Point> breaks = screen.junctions;
    for (const BusEntry& e : screen.busEntries) {
        breaks.push_back(e.at);
        breaks.push_back({e.at.x + e.size.x, e.at.y + e.size.y});
    }
    std::sort(breaks.begin(), breaks.end(),
              [](const Point& a, const Point& b) { return a.x != b.x ? a.x < b.x : a.y < b.y; });
    breaks.erase(std::unique(breaks.begin(), breaks.end()), breaks.end());
    for (const Point& p : breaks) {
        wires.near(p, 0, [&](int i) {
            if (!isEnd(screen.wires[i], p)) g.wirePoints[i].push_back(p);
        });
        buses.near(p, 0, [&](int i) {
            if (!isEnd(screen.buses[i], p)) g.busPoints[i].push_back(p);
        });
    }
    // A merged run connects at its two ends and where a junction or a bus
    // entry broke one of its lines; the ends of its lines inside it are gone.
    const auto merge = [](const SegmentIndex& index, std::vector<std::vector<Point>>& linePoints,
                          std::vector<std::pair<int, int>>& pairs) {
        for (SegmentIndex::Run& run : index.overlaps()) {
            std::vector<Point> kept = {run.from, run.to};
            for (const int m : run.members) {
                kept.insert(kept.end(), linePoints[m].begin() + 2, linePoints[m].end());
                linePoints[m].clear();
                if (m != run.members.front()) pairs.emplace_back(run.members.front(), m);
            }
            linePoints[run.members.front()] = std::move(kept);
        }
    };
    merge(wires, g.wirePoints, g.wireOverlaps);
    merge(buses, g.busPoints, g.busOverlaps);
    const std::size_t labels = screen.labels.size();
    g.labelBuses.resize(labels);
    g.labelWires.resize(labels);
    g.labelLines.resize(labels);
    for (std::size_t i = 0; i < labels; ++i) {
        const Point& p = screen.labels[i].at;
        const auto keep = [&](const std::vector<Segment>& segs, std::vector<int>& out) {
            return [&segs, &out, &p](int k) {
                if (nearSegment(segs[k], p) && std::find(out.begin(), out.end(), k) == out.end()) out.push_back(k);
            };
        };
        buses.near(p, 1, keep(screen.buses, g.labelBuses[i]));
        wires.near(p, 1, keep(screen.wires, g.labelWires[i]));
        std::sort(g.labelBuses[i].begin(), g.labelBuses[i].end());
        std::sort(g.labelWires[i].begin(), g.labelWires[i].end());
        g.labelLines[i] = static_cast<int>(g.labelBuses[i].size() + g.labelWires[i].size());
    }
    for (int end = 0; end < 2; ++end) {
        for (const BusEntry& e : screen.busEntries) {
            const Point p = end == 0 ? e.at : Point{e.at.x + e.size.x, e.at.y + e.size.y};
            g.entryOnBus[end].push_back(buses.any(p));
        }
    }
    for (const Point& j : screen.junctions)
        g.junctionOnBus.push_back(buses.any(j));
    return g;
}

// ---------------------------------------------------------------- items

enum class Kind : std::uint8_t { Pin, Wire, Bus, Junction, NoConnect, Entry, Label, SheetPin };

struct Item {
    Kind kind;
    int node;
    bool busName = false;  // a label whose text is a bus
    bool onBus = false;    // for entries and junctions: a bus passes through this point
};

bool mayJoin(const Item& a, const Item& b) {
    if ((a.kind == Kind::Wire && b.kind == Kind::Bus) || (a.kind == Kind::Bus && b.kind == Kind::Wire)) return false;
    const auto entryRule = [](const Item& entry, const Item& other) {
        if (entry.onBus) return false;  // at a bus, an entry joins nothing: the labels pick the member
        switch (other.kind) {
            case Kind::Bus:
            case Kind::Entry:
                return false;
            case Kind::Junction:
                return !other.onBus;
            case Kind::Label:
                return !other.busName;
            default:
                return true;
        }
    };
    if (a.kind == Kind::Entry && !entryRule(a, b)) return false;
    if (b.kind == Kind::Entry && !entryRule(b, a)) return false;
    return true;
}

bool isGlobalPower(const Symbol& s, const Pin& p) {
    return p.type == PinType::PowerIn && (p.hidden || s.power != PowerKind::None);
}

// The unit suffix of a reference: "A".."Z", "AA"…, or the number when the
// first id is a digit, after the separator if the project sets one.
std::string unitSuffix(int unit, const ConnectivityInput& in) {
    std::string out;
    if (unit < 1) return out;
    if (in.subpartFirstId >= '0' && in.subpartFirstId <= '9') {
        out = std::to_string(unit);
    } else {
        do {
            const int u = (unit - 1) % 26;
            out.insert(out.begin(), static_cast<char>(in.subpartFirstId + u));
            unit = (unit - u) / 26;
        } while (unit > 0);
    }
    if (in.subpartSeparator != 0) out.insert(out.begin(), static_cast<char>(in.subpartSeparator));
    return out;
}

// The name of the global net a power pin is on (isGlobalPower): a power
// symbol's value, but its hidden pin's name in files from before 8.0 (which
// KiCad copies into the value on open); the pin name on other symbols.
std::string powerNetName(const Symbol& s, const Pin& p, int rootVersion) {
    const bool legacy = rootVersion < 20230221 && p.hidden;
    return escapeNetName(s.power != PowerKind::None && !legacy ? s.value : p.name);
}

// KiCad's default name of a net that only pins drive.
std::string pinNetName(const Symbol& s, const Pin& p, bool forceNoConnect, const ConnectivityInput& in) {
    const bool unconnected = forceNoConnect || p.type == PinType::NoConnect;
    std::string name = unconnected ? "unconnected-(" : "Net-(";
    if (!s.reference.empty() && s.reference.back() == '?') return name + s.uuid + "-Pad" + p.number + ")";
    if (!p.name.empty() && p.name != p.number) {
        bool multiple = false;
        for (const Pin& other : s.pins)
            if (other.name == p.name && other.number != p.number && unconnected == (other.type == PinType::NoConnect))
                multiple = true;
        name += s.reference;
        if (s.unitCount > 1) name += unitSuffix(s.unit, in);
        name += "-" + escapeNetName(p.name);
        if (unconnected || multiple) name += "-Pad" + escapeNetName(p.number);
        return name + ")";
    }
    return name + s.reference + "-Pad" + escapeNetName(p.number) + ")";
}

// A candidate for a net's name and what ranks it.
struct NameCandidate {
    int rank = -1;  // higher wins
    int depth = 0;  // lower wins
    std::string name;
    bool better(const NameCandidate& o) const {
        if (rank != o.rank) return rank > o.rank;
        if (depth != o.depth) return depth < o.depth;
        return name < o.name;
    }
};

// Ranks, highest first: a global label names its net, then a global power
// pin (of a power symbol before a hidden one of another symbol), then a
// local power symbol (KiCad 10, named with its sheet's path), then a bus
// member (ranked by the item that names it), then local label, hierarchical
// label, sheet pin, and last the pins.
enum Rank : int {
    kPinName = 1,
    kSheetPin = 2,
    kHierLabel = 3,
    kLocalLabel = 4,
    kGlobalBus = 7,
    kBusMember = 50,
    kLocalPower = 80,
    kPower = 90,
    kGlobal = 100
};

struct BusItem {
    int instance;
    int node;
    bool global;
    int rank;  // of the item naming the members
    std::vector<BusMember> members;
    std::vector<int> memberNodes;
    bool ownNames = false;  // members named on no sheet: a renamed weak bus
};

}  // namespace

std::string busSizeRefusal(const ConnectivityInput& input) {
    AliasMap aliases;
    for (const BusAlias& a : input.busAliases)
        aliases.emplace(a.name, &a);
    long total = 0;
    std::string over;
    const auto refusal = [&](const std::string& file, const std::string& text) -> std::string {
        const long n = busSize(text, aliases, over);
        total += n;
        if (!over.empty())
            return file + ": the label \"" + text + "\" names a bus vector \"" + over + "\" of " +
                   std::to_string(vectorSize(over)) + " members; at most " + std::to_string(kMaxBusVectorMembers) +
                   " are read";
        if (total > kMaxBusMembersInProject)
            return file + ": the label \"" + text + "\" brings the project's bus members beyond " +
                   std::to_string(kMaxBusMembersInProject) + ", more than ORLUNE reads";
        return {};
    };
    for (const Screen& screen : input.screens) {
        for (const Label& label : screen.labels)
            if (std::string why = refusal(screen.file, label.text); !why.empty()) return why;
        for (const SheetSymbol& sheet : screen.sheets)
            for (const SheetPin& pin : sheet.pins)
                if (std::string why = refusal(screen.file, pin.text); !why.empty()) return why;
    }
    // Each page's own texts, where text variables made them differ.
    for (const SheetInstance& in : input.instances)
        for (const std::string& text : in.labelTexts)
            if (std::string why = refusal(input.screens[static_cast<size_t>(in.screen)].file, text); !why.empty())
                return why;
    return {};
}

ConnectivityResult computeConnectivity(const ConnectivityInput& input) {
    ConnectivityResult result;
    const int instanceCount = static_cast<int>(input.instances.size());
    UnionFind uf;

    AliasMap aliases;
    for (const BusAlias& a : input.busAliases)
        aliases.emplace(a.name, &a);

    std::vector<ScreenGeometry> geometry;
    geometry.reserve(input.screens.size());
    for (const Screen& s : input.screens)
        geometry.push_back(analyse(s));

    std::vector<int> depth(instanceCount, 0);
    std::map<std::pair<int, int>, int> childOf;  // (parent instance, sheet symbol) -> instance
    for (int i = 0; i < instanceCount; ++i) {
        const SheetInstance& inst = input.instances[i];
        if (inst.parent >= 0) {
            depth[i] = depth[inst.parent] + 1;
            childOf[{inst.parent, inst.parentSheet}] = i;
        }
    }

    const auto labelText = [&](int instance, int label) -> const std::string& {
        const SheetInstance& inst = input.instances[instance];
        if (inst.labelTexts.size() == input.screens[inst.screen].labels.size()) return inst.labelTexts[label];
        return input.screens[inst.screen].labels[label].text;
    };

    // Nodes of every item, per instance.
    struct InstanceNodes {
        std::vector<std::vector<int>> pins;
        std::vector<int> labels;
        std::vector<std::vector<int>> sheetPins;
        std::vector<std::string> labelNames;  // escaped
    };
    std::vector<InstanceNodes> nodes(instanceCount);
    std::vector<BusMember> scratch;
    std::vector<int> noConnectNodes;

    // 1. Geometry, instance by instance.
    for (int ii = 0; ii < instanceCount; ++ii) {
        const SheetInstance& inst = input.instances[ii];
        const Screen& screen = input.screens[inst.screen];
        const ScreenGeometry& g = geometry[inst.screen];
        InstanceNodes& n = nodes[ii];
        std::unordered_map<Point, std::vector<Item>, PointHash> at;
        at.reserve(screen.wires.size() * 2 + screen.labels.size() + 64);

        n.pins.resize(inst.symbols.size());
        for (std::size_t s = 0; s < inst.symbols.size(); ++s) {
            for (const Pin& p : inst.symbols[s].pins) {
                const int node = uf.add();
                n.pins[s].push_back(node);
                if (p.type != PinType::NoConnect) at[p.at].push_back({Kind::Pin, node});
            }
        }
        for (std::size_t s = 0; s < inst.symbols.size(); ++s) {
            const Symbol& sym = inst.symbols[s];
            for (const auto& group : sym.jumperGroups) {
                int first = -1;
                for (std::size_t p = 0; p < sym.pins.size(); ++p) {
                    if (std::find(group.begin(), group.end(), sym.pins[p].number) == group.end()) continue;
                    if (first < 0)
                        first = n.pins[s][p];
                    else
                        uf.unite(first, n.pins[s][p]);
                }
            }
        }
        std::vector<int> wireNodes(screen.wires.size());
        for (std::size_t w = 0; w < screen.wires.size(); ++w) {
            wireNodes[w] = uf.add();
            for (const Point& p : g.wirePoints[w])
                at[p].push_back({Kind::Wire, wireNodes[w]});
        }
        std::vector<int> busNodes(screen.buses.size());
        for (std::size_t b = 0; b < screen.buses.size(); ++b) {
            busNodes[b] = uf.add();
            for (const Point& p : g.busPoints[b])
                at[p].push_back({Kind::Bus, busNodes[b]});
        }
        for (const auto& [a, b] : g.wireOverlaps)
            uf.unite(wireNodes[a], wireNodes[b]);
        for (const auto& [a, b] : g.busOverlaps)
            uf.unite(busNodes[a], busNodes[b]);
        for (std::size_t j = 0; j < screen.junctions.size(); ++j)
            at[screen.junctions[j]].push_back({Kind::Junction, uf.add(), false, g.junctionOnBus[j]});
        for (const Point& p : screen.noConnects) {
            noConnectNodes.push_back(uf.add());
            at[p].push_back({Kind::NoConnect, noConnectNodes.back()});
        }
        for (std::size_t e = 0; e < screen.busEntries.size(); ++e) {
            const BusEntry& entry = screen.busEntries[e];
            const int node = uf.add();
            at[entry.at].push_back({Kind::Entry, node, false, g.entryOnBus[0][e]});
            at[{entry.at.x + entry.size.x, entry.at.y + entry.size.y}].push_back(
                {Kind::Entry, node, false, g.entryOnBus[1][e]});
        }
        n.labels.resize(screen.labels.size());
        n.labelNames.resize(screen.labels.size());
        for (std::size_t l = 0; l < screen.labels.size(); ++l) {
            n.labels[l] = uf.add();
            n.labelNames[l] = netNameOf(labelText(ii, static_cast<int>(l)));
            const bool bus =
                screen.labels[l].kind != LabelKind::Directive && busMembers(n.labelNames[l], aliases, scratch);
            at[screen.labels[l].at].push_back({Kind::Label, n.labels[l], bus});
        }
        n.sheetPins.resize(screen.sheets.size());
        for (std::size_t s = 0; s < screen.sheets.size(); ++s) {
            for (const SheetPin& sp : screen.sheets[s].pins) {
                const int node = uf.add();
                n.sheetPins[s].push_back(node);
                at[sp.at].push_back({Kind::SheetPin, node});
            }
        }

        for (auto& [point, items] : at) {
            if (items.size() < 2) continue;
            for (std::size_t a = 0; a < items.size(); ++a)
                for (std::size_t b = a + 1; b < items.size(); ++b)
                    if (mayJoin(items[a], items[b])) uf.unite(items[a].node, items[b].node);
        }

        // Labels off the line ends join the line under them.
        for (std::size_t l = 0; l < screen.labels.size(); ++l) {
            const Point& p = screen.labels[l].at;
            const int node = n.labels[l];
            // On a crossing of lines it joins all of them.
            if (g.labelLines[l] >= 2) {
                for (const int b : g.labelBuses[l])
                    uf.unite(node, busNodes[b]);
                for (const int w : g.labelWires[l])
                    uf.unite(node, wireNodes[w]);
            }
            bool onItem = false;
            if (const auto it = at.find(p); it != at.end()) {
                for (const Item& other : it->second) {
                    if (other.node == node) continue;
                    if (other.kind == Kind::Pin || other.kind == Kind::Label || other.kind == Kind::SheetPin ||
                        other.kind == Kind::NoConnect)
                        onItem = true;
                }
            }
            // NoConnect-type pins are not in the point map but still count here.
            if (!onItem) {
                for (std::size_t s = 0; s < inst.symbols.size() && !onItem; ++s)
                    for (const Pin& pin : inst.symbols[s].pins)
                        if (pin.type == PinType::NoConnect && pin.at == p) onItem = true;
            }
            if (onItem) continue;
            if (!g.labelBuses[l].empty())
                uf.unite(node, busNodes[g.labelBuses[l].front()]);
            else if (!g.labelWires[l].empty())
                uf.unite(node, wireNodes[g.labelWires[l].front()]);
        }
    }

    // Which geometric subgraphs hold a no-connect flag (their pins are named
    // "unconnected-") and which hold a bus label (their sheet pins do not name
    // members).
    std::vector<char> noConnectRoot(uf.size(), 0);
    for (const int node : noConnectNodes)
        noConnectRoot[uf.find(node)] = 1;
    std::vector<std::vector<std::vector<int>>> geometricRoot(instanceCount);
    for (int ii = 0; ii < instanceCount; ++ii) {
        geometricRoot[ii].resize(nodes[ii].pins.size());
        for (std::size_t s = 0; s < nodes[ii].pins.size(); ++s)
            for (const int node : nodes[ii].pins[s])
                geometricRoot[ii][s].push_back(uf.find(node));
    }
    std::vector<char> busLabelRoot(uf.size(), 0);
    for (int ii = 0; ii < instanceCount; ++ii) {
        const Screen& screen = input.screens[input.instances[ii].screen];
        for (std::size_t l = 0; l < screen.labels.size(); ++l)
            if (screen.labels[l].kind != LabelKind::Directive && busMembers(nodes[ii].labelNames[l], aliases, scratch))
                busLabelRoot[uf.find(nodes[ii].labels[l])] = 1;
    }

    // A sheet pin that alone drives its subgraph, under a name no other
    // subgraph is driven by, counts as a label of its sheet: KiCad promotes it
    // to a strong driver, so it joins the subgraphs that hold a label of that
    // name besides their own driver.
    struct Driver {
        int rank = 0;  // global label 7, power pin 6, local power pin 5, local 4, hierarchical 3, sheet pin 2
        std::string local;
        std::string full;
        int instance = 0;
        int sheetPin = -1;  // node of the sheet pin when one drives
    };
    std::unordered_map<int, Driver> driverOf;
    const auto consider = [&](int node, int rank, const std::string& local, int instance, int sheetPin) {
        Driver& d = driverOf[uf.find(node)];
        if (rank < d.rank || (rank == d.rank && local >= d.local)) return;
        const std::string& path = input.instances[instance].humanPath;
        d = {rank, local, rank >= 6 ? local : path + local, instance, sheetPin};
    };
    for (int ii = 0; ii < instanceCount; ++ii) {
        const SheetInstance& inst = input.instances[ii];
        const Screen& screen = input.screens[inst.screen];
        for (std::size_t l = 0; l < screen.labels.size(); ++l) {
            const LabelKind kind = screen.labels[l].kind;
            if (kind == LabelKind::Directive) continue;
            const int rank = kind == LabelKind::Global ? 7 : kind == LabelKind::Local ? 4 : 3;
            consider(nodes[ii].labels[l], rank, nodes[ii].labelNames[l], ii, -1);
        }
        for (std::size_t s = 0; s < inst.symbols.size(); ++s)
            for (std::size_t p = 0; p < inst.symbols[s].pins.size(); ++p)
                if (isGlobalPower(inst.symbols[s], inst.symbols[s].pins[p]))
                    consider(nodes[ii].pins[s][p], inst.symbols[s].power == PowerKind::Local ? 5 : 6,
                             powerNetName(inst.symbols[s], inst.symbols[s].pins[p], input.rootVersion), ii, -1);
        for (std::size_t s = 0; s < screen.sheets.size(); ++s)
            for (std::size_t p = 0; p < screen.sheets[s].pins.size(); ++p)
                consider(nodes[ii].sheetPins[s][p], 2, netNameOf(screen.sheets[s].pins[p].text), ii,
                         nodes[ii].sheetPins[s][p]);
    }
    std::unordered_map<std::string, int> driverNames;
    std::unordered_map<std::string, std::vector<int>> globalDriverSheets;
    for (const auto& [root, d] : driverOf) {
        ++driverNames[d.full];
        if (d.rank >= 6) globalDriverSheets[d.full].push_back(d.instance);
    }
    std::vector<const Driver*> promoted;
    for (const auto& [root, d] : driverOf) {
        if (d.rank != 2 || driverNames[d.full] != 1 || busMembers(d.local, aliases, scratch)) continue;
        const auto conflict = globalDriverSheets.find(d.local);
        if (conflict != globalDriverSheets.end() &&
            std::find(conflict->second.begin(), conflict->second.end(), d.instance) != conflict->second.end())
            continue;
        promoted.push_back(&d);
    }

    // 2. Names.
    std::unordered_map<std::string, int> globalNames;
    const auto nameNode = [&](std::unordered_map<std::string, int>& map, const std::string& name) {
        const auto [it, added] = map.try_emplace(name, 0);
        if (added) it->second = uf.add();
        return it->second;
    };
    std::vector<BusItem> busItems;
    std::vector<std::unordered_map<std::string, int>> localNames(instanceCount);
    for (int ii = 0; ii < instanceCount; ++ii) {
        const SheetInstance& inst = input.instances[ii];
        const Screen& screen = input.screens[inst.screen];
        auto& local = localNames[ii];
        for (std::size_t l = 0; l < screen.labels.size(); ++l) {
            const Label& label = screen.labels[l];
            if (label.kind == LabelKind::Directive) continue;
            const std::string& name = nodes[ii].labelNames[l];
            const int node = nodes[ii].labels[l];
            uf.unite(node, nameNode(local, name));
            if (label.kind == LabelKind::Global) uf.unite(node, nameNode(globalNames, name));
            if (busMembers(name, aliases, scratch)) {
                const int rank = label.kind == LabelKind::Global  ? kGlobalBus
                                 : label.kind == LabelKind::Local ? kLocalLabel
                                                                  : kHierLabel;
                busItems.push_back({ii, node, label.kind == LabelKind::Global, rank, scratch, {}});
            }
        }
        for (std::size_t s = 0; s < inst.symbols.size(); ++s) {
            const Symbol& sym = inst.symbols[s];
            for (std::size_t p = 0; p < sym.pins.size(); ++p) {
                const Pin& pin = sym.pins[p];
                if (!isGlobalPower(sym, pin)) continue;
                const std::string name = powerNetName(sym, pin, input.rootVersion);
                const int node = nodes[ii].pins[s][p];
                uf.unite(node, nameNode(local, name));
                if (sym.power != PowerKind::Local) uf.unite(node, nameNode(globalNames, name));
            }
        }
    }
    for (const Driver* d : promoted)
        uf.unite(d->sheetPin, nameNode(localNames[d->instance], d->local));
    // Sheet pins join the hierarchical labels of the same name below them.
    for (int ii = 0; ii < instanceCount; ++ii) {
        const Screen& screen = input.screens[input.instances[ii].screen];
        for (std::size_t s = 0; s < screen.sheets.size(); ++s) {
            const auto child = childOf.find({ii, static_cast<int>(s)});
            for (std::size_t p = 0; p < screen.sheets[s].pins.size(); ++p) {
                const std::string name = netNameOf(screen.sheets[s].pins[p].text);
                const int node = nodes[ii].sheetPins[s][p];
                if (child != childOf.end()) {
                    const int c = child->second;
                    const Screen& childScreen = input.screens[input.instances[c].screen];
                    for (std::size_t l = 0; l < childScreen.labels.size(); ++l)
                        if (childScreen.labels[l].kind == LabelKind::Hierarchical && nodes[c].labelNames[l] == name)
                            uf.unite(node, nodes[c].labels[l]);
                }
                if (!busLabelRoot[uf.find(node)] && busMembers(name, aliases, scratch))
                    busItems.push_back({ii, node, false, kSheetPin, scratch, {}});
            }
        }
    }
    // Buses that only sheet pins name are weakly driven: where two of them
    // carry one name on one sheet, KiCad keeps that name for one and renames
    // the others, so their members stay apart (two sheets' copies of one bus
    // would otherwise be shorted by name).
    {
        std::map<std::pair<int, std::string>, int> firstBus;  // (instance, bus name) -> its subgraph
        for (BusItem& b : busItems) {
            if (b.rank != kSheetPin) continue;
            const int bus = uf.find(b.node);
            std::string name;
            for (const BusMember& m : b.members)
                name += m.name + '\n';
            const auto [it, added] = firstBus.try_emplace({b.instance, name}, bus);
            if (!added && uf.find(it->second) != bus) b.ownNames = true;
        }
    }
    // Bus members: each member of a naming item is that name on its sheet
    // (and a global name too for a global label) ...
    for (BusItem& b : busItems) {
        for (const BusMember& m : b.members) {
            const int v = uf.add();
            b.memberNodes.push_back(v);
            if (!b.ownNames) uf.unite(v, nameNode(localNames[b.instance], m.name));
            if (b.global) uf.unite(v, nameNode(globalNames, m.name));
        }
    }
    // ... and the members of naming items of one bus are matched by key, until
    // nothing more joins.
    for (bool changed = true; changed;) {
        changed = false;
        std::unordered_map<int, std::unordered_map<std::string, int>> byBus;
        for (BusItem& b : busItems) {
            auto& keys = byBus[uf.find(b.node)];
            for (std::size_t k = 0; k < b.members.size(); ++k) {
                const auto [it, added] = keys.try_emplace(b.members[k].key, b.memberNodes[k]);
                if (!added && uf.unite(it->second, b.memberNodes[k])) changed = true;
            }
        }
    }

    // 3. Nets: the components holding a pin, a net label, a net sheet pin or a
    // bus member, named as KiCad names them.
    struct Draft {
        NameCandidate best;
        bool strong = false;
        std::vector<PinRef> pins;
        bool noConnect = false;
    };
    std::unordered_map<int, int> draftOf;
    std::vector<Draft> drafts;
    const auto draft = [&](int node) -> Draft& {
        const auto [it, added] = draftOf.try_emplace(uf.find(node), static_cast<int>(drafts.size()));
        if (added) drafts.emplace_back();
        return drafts[it->second];
    };
    const auto offer = [](Draft& d, NameCandidate c) {
        if (d.best.rank < 0 || c.better(d.best)) d.best = std::move(c);
    };
    for (int ii = 0; ii < instanceCount; ++ii) {
        const SheetInstance& inst = input.instances[ii];
        const Screen& screen = input.screens[inst.screen];
        const std::string& path = inst.humanPath;
        for (std::size_t l = 0; l < screen.labels.size(); ++l) {
            const Label& label = screen.labels[l];
            if (label.kind == LabelKind::Directive || busMembers(nodes[ii].labelNames[l], aliases, scratch)) continue;
            Draft& d = draft(nodes[ii].labels[l]);
            d.strong = true;
            const std::string& name = nodes[ii].labelNames[l];
            if (label.kind == LabelKind::Global)
                offer(d, {kGlobal, 0, name});
            else
                offer(d, {label.kind == LabelKind::Local ? kLocalLabel : kHierLabel, depth[ii], path + name});
        }
        for (std::size_t s = 0; s < screen.sheets.size(); ++s)
            for (std::size_t p = 0; p < screen.sheets[s].pins.size(); ++p) {
                const std::string name = netNameOf(screen.sheets[s].pins[p].text);
                if (busMembers(name, aliases, scratch)) continue;
                offer(draft(nodes[ii].sheetPins[s][p]), {kSheetPin, depth[ii], path + name});
            }
    }
    for (const BusItem& b : busItems) {
        const std::string& path = input.instances[b.instance].humanPath;
        for (std::size_t k = 0; k < b.members.size(); ++k) {
            Draft& d = draft(b.memberNodes[k]);
            d.strong = true;
            offer(d, {kBusMember + b.rank, depth[b.instance], (b.global ? std::string() : path) + b.members[k].name});
        }
    }
    // Pins: power pins name their nets; other pins only nets nothing else names.
    for (int ii = 0; ii < instanceCount; ++ii) {
        const SheetInstance& inst = input.instances[ii];
        for (std::size_t s = 0; s < inst.symbols.size(); ++s) {
            const Symbol& sym = inst.symbols[s];
            for (std::size_t p = 0; p < sym.pins.size(); ++p) {
                Draft& d = draft(nodes[ii].pins[s][p]);
                d.pins.push_back({ii, static_cast<int>(s), static_cast<int>(p)});
                if (sym.pins[p].type == PinType::NoConnect || noConnectRoot[geometricRoot[ii][s][p]])
                    d.noConnect = true;
                if (isGlobalPower(sym, sym.pins[p])) {
                    d.strong = true;
                    const std::string name = powerNetName(sym, sym.pins[p], input.rootVersion);
                    if (sym.power == PowerKind::Local)
                        offer(d, {kLocalPower, depth[ii], inst.humanPath + name});
                    else
                        offer(d, {kPower + (sym.power != PowerKind::None ? 1 : 0), 0, name});
                }
            }
        }
    }
    for (Draft& d : drafts) {
        if (d.best.rank >= 0 || d.pins.empty()) continue;
        // Only pins drive it: the best pin names it, "unconnected-" when a
        // no-connect flag is on it or only one pin drives it.
        int drivers = 0;
        for (const PinRef& r : d.pins) {
            const Symbol& sym = input.instances[r.instance].symbols[r.symbol];
            if (sym.reference.empty() || sym.reference.back() != '?' || isGlobalPower(sym, sym.pins[r.pin])) ++drivers;
        }
        // Pins of unannotated symbols do not drive: with nothing else, KiCad
        // gives them no net at all.
        if (drivers == 0) continue;
        const bool alone = drivers == 1;
        // Pins of symbols off the board and of unannotated ones do not drive;
        // a net of such pins alone (KiCad leaves it unnamed) takes its name
        // from any of them.
        NameCandidate pinBest;
        bool bestDrives = false;
        bool bestLow = false;
        for (const PinRef& r : d.pins) {
            const Symbol& sym = input.instances[r.instance].symbols[r.symbol];
            const bool annotated = !sym.reference.empty() && sym.reference.back() != '?';
            const bool drives = !sym.reference.empty() && sym.reference.front() != '#' && !sym.excludedFromBoard &&
                                (annotated || isGlobalPower(sym, sym.pins[r.pin]));
            std::string name = pinNetName(sym, sym.pins[r.pin], d.noConnect || alone, input);
            const bool low = name.find("-Pad") != std::string::npos;
            const bool better =
                pinBest.rank < 0 || (drives && !bestDrives) ||
                (drives == bestDrives && ((bestLow && !low) || (bestLow == low && name < pinBest.name)));
            if (better) {
                pinBest = {kPinName, 0, std::move(name)};
                bestDrives = drives;
                bestLow = low;
            }
        }
        d.best = std::move(pinBest);
    }

    // Nets with equal names are one net (KiCad groups by name); weakly driven
    // ones that collide get a suffix instead.
    std::unordered_map<std::string, int> strongByName;
    for (std::size_t i = 0; i < drafts.size(); ++i) {
        if (!drafts[i].strong || drafts[i].best.rank < 0) continue;
        strongByName.try_emplace(drafts[i].best.name, static_cast<int>(i));
    }
    // Final net ids.
    std::vector<int> netOfDraft(drafts.size(), -1);
    std::unordered_map<std::string, int> netByName;
    for (std::size_t i = 0; i < drafts.size(); ++i) {
        Draft& d = drafts[i];
        if (d.best.rank < 0) continue;
        std::string name = d.best.rank >= 0 ? d.best.name : std::string();
        if (d.strong) {
            const auto [it, added] = netByName.try_emplace(name, static_cast<int>(result.nets.size()));
            if (added) result.nets.push_back({name, {}});
            netOfDraft[i] = it->second;
        } else {
            if (netByName.count(name) || strongByName.count(name)) {
                for (int k = 1;; ++k) {
                    std::string candidate = name + "_" + std::to_string(k);
                    if (!netByName.count(candidate) && !strongByName.count(candidate)) {
                        name = std::move(candidate);
                        break;
                    }
                }
            }
            netByName.emplace(name, static_cast<int>(result.nets.size()));
            netOfDraft[i] = static_cast<int>(result.nets.size());
            result.nets.push_back({name, {}});
        }
        auto& pins = result.nets[netOfDraft[i]].pins;
        pins.insert(pins.end(), d.pins.begin(), d.pins.end());
    }
    const auto netOf = [&](int node) {
        const auto it = draftOf.find(uf.find(node));
        return it == draftOf.end() ? -1 : netOfDraft[it->second];
    };

    // 4. Per item answers.
    result.labelNet.resize(instanceCount);
    result.labelMembers.resize(instanceCount);
    result.sheetPinNet.resize(instanceCount);
    result.pinNet.resize(instanceCount);
    for (int ii = 0; ii < instanceCount; ++ii) {
        const SheetInstance& inst = input.instances[ii];
        const Screen& screen = input.screens[inst.screen];
        auto& labelNet = result.labelNet[ii];
        labelNet.assign(screen.labels.size(), -1);
        result.labelMembers[ii].resize(screen.labels.size());
        for (std::size_t l = 0; l < screen.labels.size(); ++l) {
            if (screen.labels[l].kind == LabelKind::Directive) {
                labelNet[l] = netOf(nodes[ii].labels[l]);
                continue;
            }
            if (busMembers(nodes[ii].labelNames[l], aliases, scratch)) {
                for (const BusMember& m : scratch) {
                    const auto& names = screen.labels[l].kind == LabelKind::Global ? globalNames : localNames[ii];
                    const auto it = names.find(m.name);
                    result.labelMembers[ii][l].push_back(it == names.end() ? -1 : netOf(it->second));
                }
            } else {
                labelNet[l] = netOf(nodes[ii].labels[l]);
            }
        }
        result.sheetPinNet[ii].resize(screen.sheets.size());
        for (std::size_t s = 0; s < screen.sheets.size(); ++s)
            for (std::size_t p = 0; p < screen.sheets[s].pins.size(); ++p) {
                const bool bus = busMembers(netNameOf(screen.sheets[s].pins[p].text), aliases, scratch);
                result.sheetPinNet[ii][s].push_back(bus ? -1 : netOf(nodes[ii].sheetPins[s][p]));
            }
        result.pinNet[ii].resize(inst.symbols.size());
        for (std::size_t s = 0; s < inst.symbols.size(); ++s)
            for (std::size_t p = 0; p < inst.symbols[s].pins.size(); ++p)
                result.pinNet[ii][s].push_back(netOf(nodes[ii].pins[s][p]));
    }
    return result;
}

}  // namespace orlune::kicad

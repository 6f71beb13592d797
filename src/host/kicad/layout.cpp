#include "host/kicad/layout.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <string_view>

#include "host/kicad/text_node.h"
#include "host/kicad/to_design.h"

namespace orlune::kicad::layout {

namespace {

constexpr int64_t kMm = 10000;
// KiCad's default pens and marks (schematic defaults, in mils).
constexpr int64_t kWireHalfPen = 762;  // 6 mils wide
constexpr int64_t kBusHalfPen = 1524;  // 12 mils wide
constexpr int64_t kJunctionRadius = 4572;
constexpr int64_t kNoConnectHalf = 6096;
constexpr int64_t kPinTextMargin = 1016;  // 4 mils between a pin and its number or name

Box around(int64_t x, int64_t y, int64_t half) {
    return {x - half, y - half, x + half, y + half};
}

Box spanning(sch::Point a, sch::Point b, int64_t half) {
    return {std::min<int64_t>(a.x, b.x) - half, std::min<int64_t>(a.y, b.y) - half, std::max<int64_t>(a.x, b.x) + half,
            std::max<int64_t>(a.y, b.y) + half};
}

void grow(Box& b, const Box& o) {
    b = {std::min(b.x1, o.x1), std::min(b.y1, o.y1), std::max(b.x2, o.x2), std::max(b.y2, o.y2)};
}

// Rows of a text: KiCad breaks at '\n'.
std::vector<std::string> rowsOf(std::string_view text) {
    std::vector<std::string> rows;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string_view::npos; start = nl + 1) {
        std::string_view row = text.substr(start, nl - start);
        if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
        rows.emplace_back(row);
    }
    rows.emplace_back(text.substr(start));
    return rows;
}

// A text's box around its anchor `at`: justified `h` ('l', 'c', 'r') along
// its reading direction and `v` ('t', 'c', 'b') across it, then turned by
// `angle` (0, 90, 180, 270; counter-clockwise on the page).
Box textAt(sch::Point at, std::string_view text, const sch::TextSize& size, char h, char v, int angle) {
    int64_t width = 0;
    const std::vector<std::string> rows = rowsOf(text);
    for (const std::string& row : rows)
        width = std::max<int64_t>(width, strokeTextWidth(row, size));
    // KiCad's line pitch for the stroke font.
    const int64_t pitch = std::llround(size.height * 1.68 * 0.9583);
    const int64_t height = static_cast<int64_t>(rows.size() - 1) * pitch + size.height;
    const int64_t x1 = h == 'l' ? 0 : h == 'r' ? -width : -width / 2;
    const int64_t y1 = v == 't' ? 0 : v == 'b' ? -height : -height / 2;
    const int64_t x2 = x1 + width, y2 = y1 + height;
    Box b;
    switch (angle) {
        case 90:  // (x, y) -> (y, -x)
            b = {y1, -x2, y2, -x1};
            break;
        case 180:
            b = {-x2, -y2, -x1, -y1};
            break;
        case 270:  // (x, y) -> (-y, x)
            b = {-y2, x1, -y1, x2};
            break;
        default:
            b = {x1, y1, x2, y2};
            break;
    }
    return {b.x1 + at.x, b.y1 + at.y, b.x2 + at.x, b.y2 + at.y};
}

constexpr size_t kBands = 64;

// The first and last band a box reaches (those beyond the page clamped).
std::pair<size_t, size_t> bandsOf(const Page& page, const Box& b) {
    const int64_t height = std::max<int64_t>(page.area.y2 + page.area.y1, 1);  // the paper's height
    const auto band = [&](int64_t y) {
        return static_cast<size_t>(
            std::clamp<int64_t>(y * static_cast<int64_t>(kBands) / height, 0, static_cast<int64_t>(kBands) - 1));
    };
    return {band(b.y1), band(b.y2)};
}

class PageReader {
public:
    PageReader(const sch::Project& p, const sch::SheetInstance& in, GlobalPages& globalPages)
        : p_(p), in_(in), f_(p.fileOf(in)), d_(f_.doc), globalPages_(globalPages) {}

    Page read() {
        const int64_t w = f_.paperSize.x, h = f_.paperSize.y;
        // KiCad's default page layout: the border 10 mm in, the ruler band 2 mm
        // inside it, the title block in the lower right corner, 110 x 32 mm.
        page_.area = {12 * kMm, 12 * kMm, w - 12 * kMm, h - 12 * kMm};
        add({w - 120 * kMm, h - 44 * kMm, w - 12 * kMm, h - 12 * kMm}, "the title block");
        for (size_t s = 0; s < f_.symbols.size(); ++s)
            symbol(s);
        for (const sch::Line& l : f_.lines)
            add(spanning(l.a, l.b, l.bus ? kBusHalfPen : kWireHalfPen), l.bus ? "a bus" : "a wire");
        for (const sch::BusEntry& e : f_.busEntries)
            add(spanning(e.at, {e.at.x + e.size.x, e.at.y + e.size.y}, kWireHalfPen), "a bus entry");
        for (const sch::Marker& j : f_.junctions)
            add(around(j.at.x, j.at.y, kJunctionRadius), "a junction");
        for (const sch::Marker& n : f_.noConnects)
            add(around(n.at.x, n.at.y, kNoConnectHalf), "a no-connect mark");
        for (const sch::Label& l : f_.labels)
            label(l);
        for (size_t t = 0; t < f_.texts.size(); ++t) {
            Drawn drawn{textBox(f_, f_.texts[t]), "text \"" + shownName(f_.texts[t].text) + "\"", static_cast<int>(t)};
            page_.drawn.push_back(std::move(drawn));
        }
        for (const sch::SheetSymbol& s : f_.sheets)
            sheet(s);
        d_.forEachChild(d_.root(), [&](NodeIndex n) { topLevel(n); });
        page_.bands.resize(kBands);
        for (size_t k = 0; k < page_.drawn.size(); ++k) {
            const auto [first, last] = bandsOf(page_, page_.drawn[k].box);
            for (size_t b = first; b <= last; ++b)
                page_.bands[b].push_back(static_cast<uint32_t>(k));
        }
        return std::move(page_);
    }

private:
    void add(const Box& b, std::string what) { page_.drawn.push_back({b, std::move(what), -1}); }

    int64_t mm(NodeIndex n) const {
        if (n == kNone || d_.isList(n)) return 0;
        const std::string_view r = d_.raw(n);
        double v = 0;
        std::from_chars(r.data(), r.data() + r.size(), v);
        return std::isfinite(v) ? std::llround(std::clamp(v, -1e4, 1e4) * kMm) : 0;
    }
    sch::Point xy(NodeIndex list, bool yUp) const {
        const int64_t y = mm(d_.child(list, 2));
        return {static_cast<int32_t>(mm(d_.child(list, 1))), static_cast<int32_t>(yUp ? -y : y)};
    }
    int angleOf(NodeIndex at) const {
        const int a = static_cast<int>(mm(d_.child(at, 3)) / kMm) % 360;
        return ((a < 0 ? a + 360 : a) + 45) / 90 % 4 * 90;
    }
    bool hidden(NodeIndex n) const {
        const auto yes = [&](NodeIndex h) {
            const NodeIndex v = d_.child(h, 1);
            return v == kNone || d_.raw(v) == "yes" || d_.raw(v) == "true";
        };
        const NodeIndex effects = d_.find(n, "effects");
        if (d_.hasAtom(effects, "hide") || d_.hasAtom(n, "hide")) return true;
        const NodeIndex h1 = d_.find(n, "hide"), h2 = d_.find(effects, "hide");
        return (h1 != kNone && yes(h1)) || (h2 != kNone && yes(h2));
    }
    sch::TextSize sizeOf(NodeIndex n) const {
        sch::TextSize s;
        s.height = s.width = p_.drawing.defaultTextSize;
        const NodeIndex font = d_.find(d_.find(n, "effects"), "font");
        if (const NodeIndex z = d_.find(font, "size"); z != kNone) {
            s.height = static_cast<int32_t>(mm(d_.child(z, 1)));
            s.width = static_cast<int32_t>(mm(d_.child(z, 2)));
        }
        if (const NodeIndex t = d_.find(font, "thickness"); t != kNone)
            s.thickness = static_cast<int32_t>(mm(d_.child(t, 1)));
        s.bold = d_.hasAtom(font, "bold") || d_.find(font, "bold") != kNone;
        return s;
    }
    // Justification of a text node: centred where the file writes none.
    std::pair<char, char> justification(NodeIndex n) const {
        const NodeIndex j = d_.find(d_.find(n, "effects"), "justify");
        const char h = d_.hasAtom(j, "left") ? 'l' : d_.hasAtom(j, "right") ? 'r' : 'c';
        const char v = d_.hasAtom(j, "top") ? 't' : d_.hasAtom(j, "bottom") ? 'b' : 'c';
        return {h, v};
    }

    // The reference as this page prints it, unit letter included.
    std::string referenceOf(const sch::PlacedSymbol& s, size_t index, int& unit) const {
        unit = s.unit;
        std::string ref = s.reference;
        if (index < in_.symbols.size()) {
            if (!in_.symbols[index].reference.empty()) ref = in_.symbols[index].reference;
            unit = in_.symbols[index].unit;
        }
        const bool units = s.libSymbol >= 0 && f_.libSymbols[static_cast<size_t>(s.libSymbol)].unitCount > 1;
        if (!units || unit < 1) return ref;
        // The unit as the project's settings write it: "A".."Z", "AA"…, or
        // its number, after the separator where one is set.
        std::string suffix;
        if (p_.subpartFirstId >= '0' && p_.subpartFirstId <= '9') {
            suffix = std::to_string(unit);
        } else {
            for (int u = unit; u > 0;) {
                const int digit = (u - 1) % 26;
                suffix.insert(suffix.begin(), static_cast<char>(p_.subpartFirstId + digit));
                u = (u - digit) / 26;
            }
        }
        if (p_.subpartSeparator != 0) suffix.insert(suffix.begin(), static_cast<char>(p_.subpartSeparator));
        return ref + suffix;
    }

    void symbol(size_t index) {
        const sch::PlacedSymbol& s = f_.symbols[index];
        int unit = 1;
        std::string name = referenceOf(s, index, unit);
        const bool power = s.libSymbol >= 0 && f_.libSymbols[static_cast<size_t>(s.libSymbol)].power;
        if (power || name.empty() || name[0] == '#') name = "the symbol " + shownName(s.value);
        const sch::Transform& m = s.transform;
        // A box in the symbol's own frame (Y down) placed on the page.
        const auto placed = [&](const Box& local) {
            const sch::Point a = m.apply({static_cast<int32_t>(local.x1), static_cast<int32_t>(local.y1)});
            const sch::Point b = m.apply({static_cast<int32_t>(local.x2), static_cast<int32_t>(local.y2)});
            return spanning({a.x + s.at.x, a.y + s.at.y}, {b.x + s.at.x, b.y + s.at.y}, 0);
        };
        if (s.libSymbol >= 0) {
            const NodeIndex lib = f_.libSymbols[static_cast<size_t>(s.libSymbol)].node;
            PinText pins;
            if (const NodeIndex n = d_.find(lib, "pin_numbers"); n != kNone) pins.numbers = !hidden(n);
            if (const NodeIndex n = d_.find(lib, "pin_names"); n != kNone) {
                pins.names = !hidden(n);
                if (const NodeIndex o = d_.find(n, "offset"); o != kNone) pins.offset = mm(d_.child(o, 1));
            }
            const auto body = [&](NodeIndex part) {
                d_.forEachChild(part, [&](NodeIndex g) {
                    for (const Box& b : graphic(g, true))
                        add(placed(b), name);
                    if (d_.head(g) == "pin") pin(g, pins, [&](const Box& b) { add(placed(b), name); });
                });
            };
            body(lib);
            d_.forEachChild(lib, [&](NodeIndex part) {
                if (d_.head(part) != "symbol") return;
                int u = 0, style = 0;
                unitOf(d_.text(d_.child(part, 1)), u, style);
                if ((u == 0 || u == unit) && (style == 0 || style == s.bodyStyle)) body(part);
            });
        }
        // Fields: the file holds where they show; KiCad turns their box with
        // the symbol about its anchor.
        const sch::Transform inverse{m.x1, m.x2, m.y1, m.y2};
        d_.forEachChild(s.node, [&](NodeIndex f) {
            if (d_.head(f) != "property" || hidden(f)) return;
            const std::string key = d_.text(d_.child(f, 1));
            std::string value = d_.text(d_.child(f, 2));
            if (key == "Reference") value = referenceOf(s, index, unit);
            if (key == "Value" && index < in_.symbols.size() && !in_.symbols[index].value.empty())
                value = in_.symbols[index].value;
            const NodeIndex at = d_.find(f, "at");
            if (value.empty() || value == "~" || at == kNone) return;
            const sch::Point shown = xy(at, false);
            const sch::Point local = inverse.apply({shown.x - s.at.x, shown.y - s.at.y});
            const auto [h, v] = justification(f);
            const Box b = textAt(local, shownName(value), sizeOf(f), h, v, angleOf(at));
            add(placed(b), name);
        });
    }

    static void unitOf(const std::string& name, int& unit, int& style) {
        const size_t last = name.rfind('_');
        const size_t prev = last == std::string::npos || last == 0 ? std::string::npos : name.rfind('_', last - 1);
        if (prev == std::string::npos) return;
        std::from_chars(name.data() + prev + 1, name.data() + last, unit);
        std::from_chars(name.data() + last + 1, name.data() + name.size(), style);
    }

    struct PinText {
        bool numbers = true;
        bool names = true;
        int64_t offset = 5080;  // KiCad's default name offset, 20 mils
    };

    // A pin's line, number and name in the symbol's frame (Y down).
    template <typename Add>
    void pin(NodeIndex p, const PinText& shown, Add&& addBox) {
        if (hidden(p)) return;
        const NodeIndex at = d_.find(p, "at");
        if (at == kNone) return;
        const sch::Point a = xy(at, true);
        const int angle = angleOf(at);
        const int64_t length = mm(d_.child(d_.find(p, "length"), 1));
        const int dx = angle == 0 ? 1 : angle == 180 ? -1 : 0, dy = angle == 90 ? -1 : angle == 270 ? 1 : 0;
        const sch::Point end{static_cast<int32_t>(a.x + dx * length), static_cast<int32_t>(a.y + dy * length)};
        addBox(spanning(a, end, kWireHalfPen));
        const bool across = dx != 0;  // text runs along a horizontal pin
        const auto textOf = [&](std::string_view key, std::string& text, sch::TextSize& size) {
            const NodeIndex n = d_.find(p, key);
            if (n == kNone) return false;
            text = shownName(d_.text(d_.child(n, 1)));
            size = sizeOf(n);
            return !text.empty() && text != "~" && !hidden(n);
        };
        std::string text;
        sch::TextSize size;
        const sch::Point mid{(a.x + end.x) / 2, (a.y + end.y) / 2};
        const int turned = across ? 0 : 90;
        const bool inside = shown.offset > 0;
        if (shown.names && textOf("name", text, size)) {
            if (inside) {
                const sch::Point from{static_cast<int32_t>(end.x + dx * shown.offset),
                                      static_cast<int32_t>(end.y + dy * shown.offset)};
                // Reading away from the pin, whichever side the body lies on.
                const char h = across ? (dx > 0 ? 'l' : 'r') : (dy < 0 ? 'l' : 'r');
                addBox(textAt(from, text, size, h, 'c', turned));
            } else {
                addBox(offsetText(mid, text, size, across, -1));
            }
        }
        if (shown.numbers && textOf("number", text, size)) addBox(offsetText(mid, text, size, across, inside ? -1 : 1));
    }

    // A pin text centred on the pin, above (side -1) or below (1) its line.
    static Box offsetText(sch::Point mid, std::string_view text, const sch::TextSize& size, bool across, int side) {
        const int64_t gap = kPinTextMargin + kWireHalfPen;
        if (across) {
            const sch::Point at{mid.x, static_cast<int32_t>(mid.y + side * gap)};
            return textAt(at, text, size, 'c', side < 0 ? 'b' : 't', 0);
        }
        // A vertical pin's text reads upward: "above" lies left of the line.
        const sch::Point at{static_cast<int32_t>(mid.x + side * gap), mid.y};
        return textAt(at, text, size, 'c', side < 0 ? 'b' : 't', 90);
    }

    // Whether a shape's inside is painted: an open one leaves paper within.
    bool filled(NodeIndex g) const {
        const NodeIndex type = d_.find(d_.find(g, "fill"), "type");
        return type != kNone && d_.raw(d_.child(type, 1)) != "none";
    }

    // A graphic shape's boxes: a filled one whole, an open one its outline
    // (a rectangle's four sides, a circle's bounding square's sides, each
    // segment of a line); Y negated in symbol libraries.
    std::vector<Box> graphic(NodeIndex g, bool yUp) const {
        const std::string_view h = d_.head(g);
        std::vector<Box> boxes;
        const auto outline = [&](const Box& b) {
            if (filled(g)) {
                boxes.push_back(b);
                return;
            }
            const int64_t p = kWireHalfPen;
            boxes.push_back({b.x1, b.y1, b.x2, b.y1 + 2 * p});
            boxes.push_back({b.x1, b.y2 - 2 * p, b.x2, b.y2});
            boxes.push_back({b.x1, b.y1, b.x1 + 2 * p, b.y2});
            boxes.push_back({b.x2 - 2 * p, b.y1, b.x2, b.y2});
        };
        if (h == "rectangle") {
            const NodeIndex s = d_.find(g, "start"), e = d_.find(g, "end");
            if (s != kNone && e != kNone) outline(spanning(xy(s, yUp), xy(e, yUp), kWireHalfPen));
        } else if (h == "circle") {
            if (const NodeIndex c = d_.find(g, "center"); c != kNone) {
                const sch::Point p = xy(c, yUp);
                outline(around(p.x, p.y, mm(d_.child(d_.find(g, "radius"), 1)) + kWireHalfPen));
            }
        } else if (h == "arc") {
            std::optional<Box> box;
            for (const char* key : {"start", "mid", "end"})
                if (const NodeIndex n = d_.find(g, key); n != kNone) {
                    const sch::Point p = xy(n, yUp);
                    const Box b = around(p.x, p.y, kWireHalfPen);
                    if (box)
                        grow(*box, b);
                    else
                        box = b;
                }
            if (box) boxes.push_back(*box);
        } else if (h == "polyline" || h == "bezier") {
            std::optional<sch::Point> last;
            const bool closed = filled(g);
            std::optional<Box> all;
            d_.forEachChild(d_.find(g, "pts"), [&](NodeIndex n) {
                if (d_.head(n) != "xy") return;
                const sch::Point p = xy(n, yUp);
                if (last) boxes.push_back(spanning(*last, p, kWireHalfPen));
                const Box b = around(p.x, p.y, kWireHalfPen);
                if (all)
                    grow(*all, b);
                else
                    all = b;
                last = p;
            });
            if (closed && all) boxes = {*all};
        } else if (h == "text" && yUp) {
            const NodeIndex at = d_.find(g, "at");
            if (at != kNone && !hidden(g)) {
                const auto [jh, jv] = justification(g);
                boxes.push_back(
                    textAt(xy(at, true), shownName(d_.text(d_.child(g, 1))), sizeOf(g), jh, jv, angleOf(at) % 180));
            }
        }
        return boxes;
    }

    // KiCad's reference list of a global label: the pages with a global
    // label of its name, in the long (wider) form.
    std::string referencesOf(const std::string& text) {
        if (globalPages_.empty())
            for (const sch::SheetInstance& in : p_.instances)
                for (const sch::Label& l : p_.fileOf(in).labels)
                    if (l.kind == sch::LabelKind::Global) globalPages_[l.text].insert(in.page);
        std::string out = "[";
        for (int page : globalPages_[text])
            out += (out.size() > 1 ? "," : "") + std::to_string(page);
        return out + "]";
    }

    void label(const sch::Label& l) {
        const NodeIndex n = l.node;
        const int32_t h = l.size.height;
        int64_t along = labelBodyLength(l, p_.drawing), lo = 0, hi = 0;
        const std::string text = shownName(l.text);
        if (l.kind == sch::LabelKind::Local) {
            along = strokeTextWidth(l.text, l.size);
            lo = -(h + std::llround(p_.drawing.textOffsetRatio * h));
        } else if (l.kind == sch::LabelKind::Directive) {
            along = 2 * h;
            lo = -h / 2;
            hi = h / 2;
        } else {
            hi = h / 2 + std::llround(p_.drawing.labelSizeRatio * h);
            lo = -hi;
            // Where the project shows KiCad's reference list, it follows the body.
            if (l.kind == sch::LabelKind::Global && p_.drawing.intersheetsRefShow)
                along +=
                    2 * std::llround(p_.drawing.textOffsetRatio * h) + strokeTextWidth(referencesOf(l.text), l.size);
        }
        // Along the spin; across it "above" is up for horizontal labels and
        // left for vertical ones.
        Box b;
        switch (l.spin) {
            case 90:
                b = {l.at.x + lo, l.at.y - along, l.at.x + hi, l.at.y};
                break;
            case 180:
                b = {l.at.x - along, l.at.y + lo, l.at.x, l.at.y + hi};
                break;
            case 270:
                b = {l.at.x + lo, l.at.y, l.at.x + hi, l.at.y + along};
                break;
            default:
                b = {l.at.x, l.at.y + lo, l.at.x + along, l.at.y + hi};
                break;
        }
        add(b, "label " + text);
        d_.forEachChild(n, [&](NodeIndex f) {
            if (d_.head(f) != "property" || hidden(f)) return;
            const std::string value = d_.text(d_.child(f, 2));
            const NodeIndex at = d_.find(f, "at");
            // KiCad's intersheet references are drawn from the project's
            // setting, not this field's value.
            if (value.empty() || at == kNone || value.find("INTERSHEET_REFS") != std::string::npos) return;
            const auto [jh, jv] = justification(f);
            add(textAt(xy(at, false), shownName(value), sizeOf(f), jh, jv, angleOf(at)), "label " + text);
        });
    }

    void sheet(const sch::SheetSymbol& s) {
        const std::string name = "sheet " + shownName(s.name);
        add(spanning(s.at, {s.at.x + s.size.x, s.at.y + s.size.y}, kWireHalfPen), name);
        d_.forEachChild(s.node, [&](NodeIndex f) {
            if (d_.head(f) != "property" || hidden(f)) return;
            const std::string value = d_.text(d_.child(f, 2));
            const NodeIndex at = d_.find(f, "at");
            if (value.empty() || at == kNone) return;
            const auto [jh, jv] = justification(f);
            std::string shown = shownName(value);
            // KiCad prints the file field as "File: name".
            const std::string key = d_.text(d_.child(f, 1));
            if (key == "Sheetfile" || key == "Sheet file") shown = "File: " + shown;
            add(textAt(xy(at, false), shown, sizeOf(f), jh, jv, angleOf(at)), name);
        });
        for (const sch::SheetPin& pin : s.pins)
            add(around(pin.at.x, pin.at.y, p_.drawing.defaultTextSize), name);
    }

    void topLevel(NodeIndex n) {
        const std::string_view h = d_.head(n);
        if (h == "text_box") {
            const NodeIndex at = d_.find(n, "at"), size = d_.find(n, "size");
            const NodeIndex start = d_.find(n, "start"), end = d_.find(n, "end");
            if (at != kNone && size != kNone) {
                const sch::Point a = xy(at, false), z = xy(size, false);
                add(spanning(a, {a.x + z.x, a.y + z.y}, kWireHalfPen), "a text box");
            } else if (start != kNone && end != kNone) {
                add(spanning(xy(start, false), xy(end, false), kWireHalfPen), "a text box");
            }
        } else if (h == "table") {
            d_.forEachChild(d_.find(n, "cells"), [&](NodeIndex c) {
                const NodeIndex at = d_.find(c, "at"), size = d_.find(c, "size");
                if (at == kNone || size == kNone) return;
                const sch::Point a = xy(at, false), z = xy(size, false);
                add(spanning(a, {a.x + z.x, a.y + z.y}, kWireHalfPen), "a table");
            });
        } else if (h == "image") {
            image(n);
        } else {
            for (const Box& b : graphic(n, false))
                add(b, "a drawing");
        }
    }

    // A bitmap's size from its PNG header (and resolution chunk, else
    // KiCad's 300 pixels per inch), centred on its position.
    void image(NodeIndex n) {
        const NodeIndex at = d_.find(n, "at");
        if (at == kNone) return;
        std::string encoded;
        d_.forEachChild(d_.find(n, "data"), [&](NodeIndex c) {
            if (!d_.isList(c) && encoded.size() < 4096 && d_.raw(c) != "data") encoded += d_.raw(c);
        });
        const std::string png = base64(encoded);
        const auto be32 = [&](size_t i) {
            return i + 4 <= png.size() ? (uint32_t(uint8_t(png[i])) << 24) | (uint32_t(uint8_t(png[i + 1])) << 16) |
                                             (uint32_t(uint8_t(png[i + 2])) << 8) | uint32_t(uint8_t(png[i + 3]))
                                       : 0u;
        };
        if (png.size() < 24 || png.compare(12, 4, "IHDR") != 0) return;
        const double pw = be32(16), ph = be32(20);
        double ppm = 300 / 0.0254;  // pixels per metre
        for (size_t i = 8; i + 12 <= png.size();) {
            const uint32_t length = be32(i);
            if (png.compare(i + 4, 4, "pHYs") == 0 && i + 17 <= png.size() && png[i + 16] == 1 && be32(i + 8) > 0)
                ppm = be32(i + 8);
            if (png.compare(i + 4, 4, "IDAT") == 0) break;
            i += 12 + static_cast<size_t>(length);
        }
        double scale = 1;
        if (const NodeIndex s = d_.find(n, "scale"); s != kNone) scale = static_cast<double>(mm(d_.child(s, 1))) / kMm;
        const sch::Point c = xy(at, false);
        const int64_t hw = std::llround(pw / ppm * 1e7 * scale / 2), hh = std::llround(ph / ppm * 1e7 * scale / 2);
        add({c.x - hw, c.y - hh, c.x + hw, c.y + hh}, "an image");
    }

    static std::string base64(std::string_view in) {
        std::string out;
        uint32_t bits = 0;
        int count = 0;
        for (char ch : in) {
            int v = ch >= 'A' && ch <= 'Z'   ? ch - 'A'
                    : ch >= 'a' && ch <= 'z' ? ch - 'a' + 26
                    : ch >= '0' && ch <= '9' ? ch - '0' + 52
                    : ch == '+'              ? 62
                    : ch == '/'              ? 63
                                             : -1;
            if (v < 0) continue;
            bits = (bits << 6) | static_cast<uint32_t>(v);
            if ((count += 6) >= 8) {
                count -= 8;
                out.push_back(static_cast<char>((bits >> count) & 0xFF));
            }
        }
        return out;
    }

    const sch::Project& p_;
    const sch::SheetInstance& in_;
    const sch::SchematicFile& f_;
    const Sexpr& d_;
    GlobalPages& globalPages_;
    Page page_;
};

}  // namespace

Page pageOf(const sch::Project& project, const sch::SheetInstance& instance, GlobalPages& globalPages) {
    return PageReader(project, instance, globalPages).read();
}

Box textBox(const sch::SchematicFile& file, const sch::FreeText& text) {
    const Sexpr& d = file.doc;
    const NodeIndex j = d.find(d.find(text.node, "effects"), "justify");
    char h = d.hasAtom(j, "left") ? 'l' : d.hasAtom(j, "right") ? 'r' : 'c';
    const char v = d.hasAtom(j, "top") ? 't' : d.hasAtom(j, "bottom") ? 'b' : 'c';
    int angle = text.angle % 360 / 90 * 90;
    // KiCad 7 and later keep texts upright: half a turn flips the justification.
    if (file.version >= kUprightTextVersion && angle >= 180) {
        angle -= 180;
        h = h == 'l' ? 'r' : h == 'r' ? 'l' : 'c';
    }
    return textAt(text.at, shownName(text.text), text.size, h, v, angle);
}

std::string stateOf(const Page& page, const sch::SchematicFile& file, int text) {
    const Box box = textBox(file, file.texts[static_cast<size_t>(text)]);
    if (!box.inside(page.area)) return kOffSheet;
    std::vector<uint32_t> near;
    const auto [first, last] = bandsOf(page, box);
    for (size_t b = first; b <= last && b < page.bands.size(); ++b)
        near.insert(near.end(), page.bands[b].begin(), page.bands[b].end());
    std::sort(near.begin(), near.end());
    near.erase(std::unique(near.begin(), near.end()), near.end());
    std::vector<std::string> over;
    for (uint32_t k : near) {
        const Drawn& d = page.drawn[k];
        if (d.text == text || !d.box.overlaps(box)) continue;
        if (std::find(over.begin(), over.end(), d.what) == over.end()) over.push_back(d.what);
    }
    if (over.empty()) return kFree;
    std::string state = "over";
    for (size_t k = 0; k < over.size() && k < 3; ++k)
        state += (k ? ", " : " ") + over[k];
    if (over.size() > 3) state += " and " + std::to_string(over.size() - 3) + " more";
    return state;
}

}  // namespace orlune::kicad::layout

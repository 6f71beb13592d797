#include "host/kicad/schematic.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>

namespace orlune::kicad::sch {

namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

struct Paper {
    std::string_view name;
    int32_t width, height;  // landscape, in internal units
};

// KiCad's page sizes (common/page_info.cpp), landscape; US sizes are inches.
constexpr Paper kPapers[] = {
    {"A5", 2100000, 1480000},       {"A4", 2970000, 2100000},      {"A3", 4200000, 2970000},
    {"A2", 5940000, 4200000},       {"A1", 8410000, 5940000},      {"A0", 11890000, 8410000},
    {"A", 2794000, 2159000},        {"B", 4318000, 2794000},       {"C", 5588000, 4318000},
    {"D", 8636000, 5588000},        {"E", 11176000, 8636000},      {"GERBER", 8128000, 8128000},
    {"USLetter", 2794000, 2159000}, {"USLegal", 3556000, 2159000}, {"USLedger", 4318000, 2794000},
};

class Reader {
public:
    explicit Reader(SchematicFile& file) : f_(file), d_(file.doc) {}

    void read() {
        const NodeIndex root = d_.root();
        if (d_.head(root) != "kicad_sch") {
            if (d_.head(root) == "kicad_symbol_lib") fail(root, "is a symbol library, not a schematic");
            fail(root, "is not a KiCad schematic (it does not start with \"(kicad_sch\")");
        }
        const NodeIndex version = d_.find(root, "version");
        if (version == kNone) fail(root, "has no (version …): not a schematic KiCad 6 or newer wrote");
        f_.version = integer(d_.child(version, 1), "version");
        if (f_.version > kNewestSchematicVersion)
            fail(version, "has version " + std::to_string(f_.version) + ", newer than the newest this program reads (" +
                              std::to_string(kNewestSchematicVersion) + ", KiCad 10.0)");
        d_.forEachChild(root, [&](NodeIndex n) { topLevel(n); });
    }

private:
    [[noreturn]] void fail(NodeIndex n, const std::string& what) const { throw ReadError(f_.where(n) + ": " + what); }

    NodeIndex need(NodeIndex list, unsigned k, std::string_view what) const {
        const NodeIndex c = d_.child(list, k);
        if (c == kNone || d_.isList(c))
            fail(list, "(" + std::string(d_.head(list)) + " …) lacks its " + std::string(what));
        return c;
    }

    double number(NodeIndex n, std::string_view what) const {
        if (n == kNone || d_.isList(n)) fail(n == kNone ? d_.root() : n, "expected a number for " + std::string(what));
        const std::string_view r = d_.raw(n);
        double value = 0;
        const auto [end, ec] = std::from_chars(r.data(), r.data() + r.size(), value);
        if (ec != std::errc() || end != r.data() + r.size() || !std::isfinite(value))
            fail(n, "\"" + std::string(r) + "\" is not a number (" + std::string(what) + ")");
        return value;
    }

    int64_t integer(NodeIndex n, std::string_view what) const {
        if (n == kNone || d_.isList(n))
            fail(n == kNone ? d_.root() : n, "expected a whole number for " + std::string(what));
        const std::string_view r = d_.raw(n);
        int64_t value = 0;
        const auto [end, ec] = std::from_chars(r.data(), r.data() + r.size(), value);
        if (ec != std::errc() || end != r.data() + r.size())
            fail(n, "\"" + std::string(r) + "\" is not a whole number (" + std::string(what) + ")");
        return value;
    }

    // Millimetres to internal units, rounded half away from zero as KiCad
    // rounds them. Beyond 10 m a value is refused: KiCad's own limit is far
    // wider, but the design's 32-bit database units (10 nm) would overflow.
    int32_t iu(NodeIndex n, std::string_view what) const {
        const double v = number(n, what) * 10000.0;
        if (std::fabs(v) > kMaxCoordinate)
            fail(n, std::string(what) + " " + std::string(d_.raw(n)) + " mm lies beyond 10 m");
        return static_cast<int32_t>(std::lround(v));
    }

    // The child list `name` of `list`, which the format requires.
    NodeIndex required(NodeIndex list, std::string_view name) const {
        const NodeIndex c = d_.find(list, name);
        if (c == kNone) fail(list, "(" + std::string(d_.head(list)) + " …) has no (" + std::string(name) + " …)");
        return c;
    }

    Point xy(NodeIndex list, unsigned k, std::string_view what) const {
        return {iu(need(list, k, what), what), iu(need(list, k + 1, what), what)};
    }

    int angle(NodeIndex n, std::string_view what) const {
        const double a = std::fmod(number(n, what), 360.0);
        int r = static_cast<int>(std::lround(a)) % 360;
        if (r < 0) r += 360;
        return r;
    }

    std::string str(NodeIndex n) const { return d_.text(n); }

    bool yes(NodeIndex list) const {
        // `(hide)`/`(in_bom yes)`: a missing value means yes.
        const NodeIndex v = d_.child(list, 1);
        return v == kNone || d_.raw(v) == "yes" || d_.raw(v) == "true";
    }

    TextSize textSize(NodeIndex effects) const {
        TextSize size;
        const NodeIndex s = d_.find(d_.find(effects, "font"), "size");
        if (s != kNone) {
            size.height = iu(need(s, 1, "height"), "text height");
            size.width = iu(need(s, 2, "width"), "text width");
        }
        const NodeIndex font = d_.find(effects, "font");
        if (const NodeIndex t = d_.find(font, "thickness"); t != kNone)
            size.thickness = iu(d_.child(t, 1), "thickness");
        size.bold = d_.hasAtom(font, "bold");
        if (const NodeIndex b = d_.find(font, "bold"); b != kNone) size.bold = yes(b);
        return size;
    }

    bool justifiedRight(NodeIndex effects) const { return d_.hasAtom(d_.find(effects, "justify"), "right"); }

    Property property(NodeIndex p) const {
        Property prop;
        prop.name = str(need(p, 1, "name"));
        prop.value = str(need(p, 2, "value"));
        if (const NodeIndex id = d_.find(p, "id"); id != kNone)
            prop.id = static_cast<int>(integer(d_.child(id, 1), "field id"));
        return prop;
    }

    std::string uuidOf(NodeIndex list) const {
        const NodeIndex u = d_.find(list, "uuid");
        return u == kNone ? std::string() : str(d_.child(u, 1));
    }

    void topLevel(NodeIndex n) {
        if (!d_.isList(n)) return;
        const std::string_view h = d_.head(n);
        if (h == "uuid") {
            f_.uuid = str(d_.child(n, 1));
        } else if (h == "paper") {
            paper(n);
        } else if (h == "lib_symbols") {
            d_.forEachChild(n, [&](NodeIndex s) {
                if (d_.head(s) == "symbol") libSymbol(s);
            });
        } else if (h == "symbol") {
            symbol(n);
        } else if (h == "label" || h == "global_label" || h == "hierarchical_label" || h == "directive_label" ||
                   h == "netclass_flag") {
            label(n, h);
        } else if (h == "wire" || h == "bus") {
            const NodeIndex pts = d_.find(n, "pts");
            const NodeIndex a = d_.child(pts, 1), b = d_.child(pts, 2);
            if (d_.head(a) != "xy" || d_.head(b) != "xy") fail(n, "a " + std::string(h) + " needs two points");
            f_.lines.push_back({xy(a, 1, "point"), xy(b, 1, "point"), h == "bus", n});
        } else if (h == "bus_entry") {
            f_.busEntries.push_back({xy(required(n, "at"), 1, "position"), xy(required(n, "size"), 1, "size"), n});
        } else if (h == "junction") {
            f_.junctions.push_back({xy(required(n, "at"), 1, "position"), n});
        } else if (h == "no_connect") {
            f_.noConnects.push_back({xy(required(n, "at"), 1, "position"), n});
        } else if (h == "sheet") {
            sheet(n);
        } else if (h == "text") {
            FreeText t;
            t.text = str(need(n, 1, "text"));
            const NodeIndex at = required(n, "at");
            t.at = xy(at, 1, "position");
            t.angle = d_.child(at, 3) == kNone ? 0 : angle(d_.child(at, 3), "text angle");
            const NodeIndex effects = d_.find(n, "effects");
            t.size = textSize(effects);
            const NodeIndex justify = d_.find(effects, "justify");
            t.right = d_.hasAtom(justify, "right");
            t.vertical = d_.hasAtom(justify, "bottom") ? 'b' : d_.hasAtom(justify, "top") ? 't' : 0;
            t.uuid = uuidOf(n);
            t.node = n;
            f_.texts.push_back(std::move(t));
        } else if (h == "bus_alias") {
            BusAlias alias;
            alias.name = str(need(n, 1, "name"));
            d_.forEachChild(d_.find(n, "members"), [&](NodeIndex m) {
                if (!d_.isList(m) && d_.raw(m) != "members") alias.members.push_back(str(m));
            });
            f_.busAliases.push_back(std::move(alias));
        } else if (h == "sheet_instances") {
            d_.forEachChild(n, [&](NodeIndex p) {
                if (d_.head(p) == "path")
                    f_.sheetInstances.push_back({{}, str(need(p, 1, "path")), str(d_.child(d_.find(p, "page"), 1))});
            });
        } else if (h == "symbol_instances") {
            d_.forEachChild(n, [&](NodeIndex p) {
                if (d_.head(p) != "path") return;
                RootSymbolInstance e;
                e.path = str(need(p, 1, "path"));
                e.reference = str(d_.child(d_.find(p, "reference"), 1));
                if (const NodeIndex u = d_.find(p, "unit"); u != kNone)
                    e.unit = static_cast<int>(integer(d_.child(u, 1), "unit"));
                e.value = str(d_.child(d_.find(p, "value"), 1));
                f_.symbolInstances.push_back(std::move(e));
            });
        }
        // Graphics, images, tables, title block, rule areas and anything
        // newer carry no connectivity; the bytes stay in the tree.
    }

    void paper(NodeIndex n) {
        const std::string name = str(need(n, 1, "size name"));
        f_.paper = name;
        if (name == "User") {
            f_.paperSize = {iu(need(n, 2, "width"), "page width"), iu(need(n, 3, "height"), "page height")};
        } else {
            bool known = false;
            for (const Paper& p : kPapers)
                if (p.name == name) {
                    f_.paperSize = {p.width, p.height};
                    known = true;
                }
            if (!known) fail(n, "unknown page size \"" + name + "\"");
            if (d_.hasAtom(n, "portrait")) std::swap(f_.paperSize.x, f_.paperSize.y);
        }
    }

    static PinType pinType(std::string_view t, bool& ok) {
        ok = true;
        if (t == "input") return PinType::Input;
        if (t == "output") return PinType::Output;
        if (t == "bidirectional") return PinType::Bidirectional;
        if (t == "tri_state") return PinType::TriState;
        if (t == "passive") return PinType::Passive;
        if (t == "unspecified") return PinType::Unspecified;
        if (t == "power_in") return PinType::PowerIn;
        if (t == "power_out") return PinType::PowerOut;
        if (t == "open_collector") return PinType::OpenCollector;
        if (t == "open_emitter") return PinType::OpenEmitter;
        if (t == "free") return PinType::Free;
        if (t == "no_connect" || t == "unconnected") return PinType::NoConnect;
        ok = false;
        return PinType::Unspecified;
    }

    void libSymbol(NodeIndex s) {
        LibSymbol lib;
        lib.name = str(need(s, 1, "name"));
        lib.node = s;
        if (d_.find(s, "extends") != kNone)
            fail(d_.find(s, "extends"),
                 "the embedded symbol \"" + lib.name +
                     "\" is derived from another one ((extends …)), which a schematic may not hold");
        if (const NodeIndex p = d_.find(s, "power"); p != kNone) {
            lib.power = true;
            lib.localPower = d_.hasAtom(p, "local");
        }
        if (const NodeIndex j = d_.find(s, "duplicate_pin_numbers_are_jumpers"); j != kNone)
            lib.duplicatePinsAreJumpers = yes(j);
        d_.forEachChild(d_.find(s, "jumper_pin_groups"), [&](NodeIndex group) {
            if (!d_.isList(group)) return;
            std::vector<std::string> numbers;
            d_.forEachChild(group, [&](NodeIndex n) {
                if (!d_.isList(n)) numbers.push_back(str(n));
            });
            lib.jumperGroups.push_back(std::move(numbers));
        });
        const size_t colon = lib.name.find(':');
        const std::string item = colon == std::string::npos ? lib.name : lib.name.substr(colon + 1);
        d_.forEachChild(s, [&](NodeIndex c) {
            const std::string_view h = d_.head(c);
            if (h == "pin") {
                libPin(c, lib, 0, 0);
            } else if (h == "symbol") {
                const std::string name = str(need(c, 1, "name"));
                int unit = 0, body = 0;
                if (!unitSuffix(name, item, unit, body))
                    fail(c,
                         "the unit \"" + name + "\" of the symbol \"" + lib.name + "\" is not named ITEM_UNIT_STYLE");
                lib.unitCount = std::max(lib.unitCount, unit);
                d_.forEachChild(c, [&](NodeIndex p) {
                    if (d_.head(p) == "pin") libPin(p, lib, unit, body);
                });
            }
        });
        f_.libSymbols.push_back(std::move(lib));
    }

    static bool unitSuffix(std::string_view name, std::string_view item, int& unit, int& body) {
        // "<item>_<unit>_<body style>"; the item name may itself hold '_'.
        if (name.size() <= item.size() + 1 || name.substr(0, item.size()) != item || name[item.size()] != '_') {
            // Some files were written with a different item name; read the suffix alone.
            const size_t last = name.rfind('_');
            if (last == std::string_view::npos || last == 0) return false;
            const size_t prev = name.rfind('_', last - 1);
            if (prev == std::string_view::npos) return false;
            name = name.substr(prev + 1);
        } else {
            name = name.substr(item.size() + 1);
        }
        const size_t sep = name.find('_');
        if (sep == std::string_view::npos) return false;
        const std::string_view u = name.substr(0, sep), b = name.substr(sep + 1);
        const auto r1 = std::from_chars(u.data(), u.data() + u.size(), unit);
        const auto r2 = std::from_chars(b.data(), b.data() + b.size(), body);
        return r1.ec == std::errc() && r1.ptr == u.data() + u.size() && r2.ec == std::errc() &&
               r2.ptr == b.data() + b.size() && !u.empty() && !b.empty();
    }

    void libPin(NodeIndex p, LibSymbol& lib, int unit, int body) {
        LibPin pin;
        pin.unit = unit;
        pin.bodyStyle = body;
        bool ok = false;
        pin.type = pinType(d_.raw(need(p, 1, "type")), ok);
        if (!ok) fail(p, "unknown pin type \"" + std::string(d_.raw(d_.child(p, 1))) + "\" in \"" + lib.name + "\"");
        const NodeIndex at = required(p, "at");
        const Point local = xy(at, 1, "pin position");
        pin.at = {local.x, -local.y};  // libraries are Y up
        pin.angle = d_.child(at, 3) == kNone ? 0 : angle(d_.child(at, 3), "pin angle");
        if (const NodeIndex len = d_.find(p, "length"); len != kNone) pin.length = iu(d_.child(len, 1), "pin length");
        pin.hidden = d_.hasAtom(p, "hide");
        if (const NodeIndex h = d_.find(p, "hide"); h != kNone) pin.hidden = yes(h);
        pin.name = str(d_.child(d_.find(p, "name"), 1));
        pin.number = str(d_.child(d_.find(p, "number"), 1));
        // Before 20250318 a lone '~' meant an empty text.
        if (f_.version < 20250318) {
            if (pin.name == "~") pin.name.clear();
            if (pin.number == "~") pin.number.clear();
        }
        d_.forEachChild(p, [&](NodeIndex a) {
            if (d_.head(a) != "alternate") return;
            bool known = false;
            const PinType t = pinType(d_.raw(need(a, 2, "type")), known);
            if (!known) fail(a, "unknown pin type \"" + std::string(d_.raw(d_.child(a, 2))) + "\"");
            pin.alternates.emplace_back(str(d_.child(a, 1)), t);
        });
        lib.pins.push_back(std::move(pin));
    }

    void symbol(NodeIndex n) {
        PlacedSymbol s;
        s.node = n;
        int rotation = 0;
        char mirror = 0;
        d_.forEachChild(n, [&](NodeIndex c) {
            const std::string_view h = d_.head(c);
            if (h == "lib_id") {
                s.libId = str(need(c, 1, "library id"));
            } else if (h == "lib_name") {
                s.libName = str(need(c, 1, "library name"));
            } else if (h == "at") {
                s.at = xy(c, 1, "position");
                const NodeIndex a = d_.child(c, 3);
                // KiCad reads the angle as a whole number of degrees.
                const double r = a == kNone ? 0.0 : std::trunc(number(a, "orientation"));
                if (r != 0 && r != 90 && r != 180 && r != 270)
                    fail(c, "a symbol's orientation must be 0, 90, 180 or 270");
                // KiCad sets the rotation here and mirrors afterwards, in file order.
                rotation = static_cast<int>(r);
                s.transform = Transform::of(rotation, 0);
            } else if (h == "mirror") {
                const std::string_view m = d_.raw(need(c, 1, "axis"));
                if (m != "x" && m != "y") fail(c, "a symbol mirrors about x or y");
                mirror = m[0];
                s.transform = s.transform.mirrored(mirror);
            } else if (h == "unit") {
                s.unit = static_cast<int>(integer(d_.child(c, 1), "unit"));
            } else if (h == "convert" || h == "body_style") {
                s.bodyStyle = static_cast<int>(integer(d_.child(c, 1), "body style"));
            } else if (h == "on_board") {
                s.onBoard = yes(c);
            } else if (h == "in_bom") {
                s.inBom = yes(c);
            } else if (h == "uuid") {
                s.uuid = str(d_.child(c, 1));
            } else if (h == "property") {
                Property p = property(c);
                if (p.id == 0 || (p.id < 0 && p.name == "Reference")) s.reference = p.value;
                if (p.id == 1 || (p.id < 0 && p.name == "Value")) s.value = p.value;
                s.properties.push_back(std::move(p));
            } else if (h == "pin") {
                if (const NodeIndex alt = d_.find(c, "alternate"); alt != kNone)
                    s.pinAlternates.emplace_back(str(d_.child(c, 1)), str(d_.child(alt, 1)));
            } else if (h == "instances") {
                symbolInstances(c, s);
            }
        });
        s.rotation = rotation;
        s.mirror = mirror;
        s.libSymbol = findLibSymbol(s.libName.empty() ? s.libId : s.libName);
        f_.symbols.push_back(std::move(s));
    }

    void symbolInstances(NodeIndex list, PlacedSymbol& s) {
        d_.forEachChild(list, [&](NodeIndex proj) {
            if (d_.head(proj) != "project") return;
            const std::string project = str(d_.child(proj, 1));
            d_.forEachChild(proj, [&](NodeIndex p) {
                if (d_.head(p) != "path") return;
                SymbolInstanceEntry e;
                e.project = project;
                e.path = str(need(p, 1, "path"));
                e.reference = str(d_.child(d_.find(p, "reference"), 1));
                if (const NodeIndex u = d_.find(p, "unit"); u != kNone)
                    e.unit = static_cast<int>(integer(d_.child(u, 1), "unit"));
                e.value = str(d_.child(d_.find(p, "value"), 1));
                s.instances.push_back(std::move(e));
            });
        });
    }

    int findLibSymbol(std::string name) const {
        // `{slash}` in these names means '/'.
        for (size_t at; (at = name.find("{slash}")) != std::string::npos;)
            name.replace(at, 7, "/");
        for (size_t i = 0; i < f_.libSymbols.size(); ++i) {
            std::string lib = f_.libSymbols[i].name;
            for (size_t at; (at = lib.find("{slash}")) != std::string::npos;)
                lib.replace(at, 7, "/");
            if (lib == name) return static_cast<int>(i);
        }
        return -1;
    }

    void label(NodeIndex n, std::string_view h) {
        Label l;
        l.node = n;
        l.kind = h == "label"                ? LabelKind::Local
                 : h == "global_label"       ? LabelKind::Global
                 : h == "hierarchical_label" ? LabelKind::Hierarchical
                                             : LabelKind::Directive;
        l.text = str(need(n, 1, "text"));
        const NodeIndex at = required(n, "at");
        l.at = xy(at, 1, "position");
        l.spin = d_.child(at, 3) == kNone ? 0 : angle(d_.child(at, 3), "label angle");
        if (l.spin % 90 != 0) l.spin = 0;  // KiCad reads any other angle as "right"
        const NodeIndex effects = d_.find(n, "effects");
        // KiCad 7+ may write LEFT and BOTTOM as 0/90 justified right.
        if ((l.spin == 0 || l.spin == 90) && justifiedRight(effects)) l.spin += 180;
        l.size = textSize(effects);
        if (const NodeIndex shape = d_.find(n, "shape"); shape != kNone) l.shape = str(d_.child(shape, 1));
        l.uuid = uuidOf(n);
        d_.forEachChild(n, [&](NodeIndex p) {
            if (d_.head(p) == "property") l.properties.push_back(property(p));
        });
        f_.labels.push_back(std::move(l));
    }

    void sheet(NodeIndex n) {
        SheetSymbol s;
        s.node = n;
        s.at = xy(required(n, "at"), 1, "position");
        s.size = xy(required(n, "size"), 1, "size");
        s.uuid = uuidOf(n);
        bool haveName = false, haveFile = false;
        d_.forEachChild(n, [&](NodeIndex c) {
            const std::string_view h = d_.head(c);
            if (h == "property") {
                Property p = property(c);
                // KiCad 6 places fields by id (names may be translated);
                // later files match the names.
                if (p.id == 0 ||
                    (p.id < 0 && (equalsNoCase(p.name, "Sheetname") || equalsNoCase(p.name, "Sheet name")))) {
                    s.name = p.value;
                    haveName = true;
                } else if (p.id == 1 ||
                           (p.id < 0 && (equalsNoCase(p.name, "Sheetfile") || equalsNoCase(p.name, "Sheet file")))) {
                    s.file = p.value;
                    haveFile = true;
                }
                s.fields.push_back(std::move(p));
            } else if (h == "pin") {
                SheetPin pin;
                pin.node = c;
                pin.text = str(need(c, 1, "name"));
                pin.shape = str(need(c, 2, "shape"));
                const NodeIndex at = required(c, "at");
                pin.at = xy(at, 1, "position");
                pin.side = d_.child(at, 3) == kNone ? 0 : angle(d_.child(at, 3), "sheet pin side");
                pin.uuid = uuidOf(c);
                s.pins.push_back(std::move(pin));
            } else if (h == "instances") {
                d_.forEachChild(c, [&](NodeIndex proj) {
                    if (d_.head(proj) != "project") return;
                    const std::string project = str(d_.child(proj, 1));
                    d_.forEachChild(proj, [&](NodeIndex p) {
                        if (d_.head(p) == "path")
                            s.instances.push_back(
                                {project, str(need(p, 1, "path")), str(d_.child(d_.find(p, "page"), 1))});
                    });
                });
            }
        });
        if (!haveFile || s.file.empty()) fail(n, "a sheet symbol names no file");
        if (!haveName) s.name = s.file;
        f_.sheets.push_back(std::move(s));
    }

    SchematicFile& f_;
    const Sexpr& d_;
};

}  // namespace

Transform Transform::of(int rotation, char mirror) {
    Transform t;
    switch (rotation) {
        case 90:
            t = {0, 1, -1, 0};
            break;
        case 180:
            t = {-1, 0, 0, -1};
            break;
        case 270:
            t = {0, -1, 1, 0};
            break;
        default:
            break;
    }
    return t.mirrored(mirror);
}

Transform Transform::mirrored(char axis) const {
    if (axis != 'x' && axis != 'y') return *this;
    const Transform m = axis == 'x' ? Transform{1, 0, 0, -1} : Transform{-1, 0, 0, 1};
    return {x1 * m.x1 + x2 * m.y1, y1 * m.x1 + y2 * m.y1, x1 * m.x2 + x2 * m.y2, y1 * m.x2 + y2 * m.y2};
}

std::string SchematicFile::where(NodeIndex node) const {
    if (node == kNone || node >= doc.size()) return path;
    return path + ":" + std::to_string(doc.lineOf(doc.node(node).begin));
}

SchematicFile readSchematic(std::string path, std::string bytes) {
    SchematicFile file;
    file.path = std::move(path);
    if (bytes.rfind("EESchema Schematic File", 0) == 0)
        throw ReadError(file.path + ": is a KiCad 5 schematic; open and save it with KiCad 6 or newer first");
    try {
        file.doc = Sexpr::parse(std::move(bytes));
    } catch (const SexprError& e) {
        throw ReadError(file.path + ":" + std::to_string(e.line) + ": " + e.what());
    }
    Reader(file).read();
    return file;
}

SchematicFile loadSchematic(const std::string& path) {
    return readSchematic(path, readFile(path));
}

}  // namespace orlune::kicad::sch

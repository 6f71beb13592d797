// One `.kicad_sch` file as read: the S-expression tree with its bytes, and
// the items ORLUNE needs, each with the index of the node it came from.
// Coordinates are KiCad's internal units (100 nm), Y down, exactly as KiCad
// rounds them, so that points compare by equality.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/kicad/sexpr.h"

// The model of the files as read lives in its own namespace: the
// connectivity computation has plain types of the same names.
namespace orlune::kicad::sch {

// Newest schematic file version this reader knows (KiCad 10.0).
inline constexpr int64_t kNewestSchematicVersion = 20260101;

// Largest coordinate or size read, in internal units (10 m): sums of two
// stay inside 32 bits in the design's database units (10 per unit).
inline constexpr int32_t kMaxCoordinate = 100000000;

struct Point {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
    friend auto operator<=>(const Point&, const Point&) = default;
};

// KiCad's symbol orientation matrix: x' = x1*x + y1*y, y' = x2*x + y2*y.
struct Transform {
    int x1 = 1, y1 = 0, x2 = 0, y2 = 1;
    Point apply(Point p) const { return {x1 * p.x + y1 * p.y, x2 * p.x + y2 * p.y}; }
    // Rotation in degrees (0, 90, 180, 270), then an optional mirror ('x'
    // flips Y, 'y' flips X), in the order KiCad applies them.
    static Transform of(int rotation, char mirror);
    // This orientation followed by a mirror about 'x' (flips Y) or 'y'.
    Transform mirrored(char axis) const;
};

struct TextSize {
    int32_t height = 12700;  // 1.27 mm, KiCad's default
    int32_t width = 12700;
    int32_t thickness = 0;  // 0: KiCad's default pen for the size
    bool bold = false;
};

struct Property {
    std::string name;
    std::string value;
    int id = -1;  // KiCad 6's field id; -1 where none is written
};

enum class PinType : uint8_t {
    Input,
    Output,
    Bidirectional,
    TriState,
    Passive,
    Unspecified,
    PowerIn,
    PowerOut,
    OpenCollector,
    OpenEmitter,
    Free,
    NoConnect
};

struct LibPin {
    Point at;  // connection point in the symbol's frame, Y down
    int angle = 0;
    int32_t length = 0;
    PinType type = PinType::Passive;
    bool hidden = false;
    int unit = 0;       // 0: common to all units
    int bodyStyle = 0;  // 0: common to all body styles
    std::string name;
    std::string number;
    std::vector<std::pair<std::string, PinType>> alternates;
};

struct LibSymbol {
    std::string name;  // "lib:item", as in the lib_symbols list
    bool power = false;
    bool localPower = false;  // KiCad 10 `(power local)`
    int unitCount = 1;
    // KiCad 10: pin numbers that are one net wherever the pins lie.
    std::vector<std::vector<std::string>> jumperGroups;
    bool duplicatePinsAreJumpers = false;
    std::vector<LibPin> pins;
    NodeIndex node = kNone;
};

// A placed symbol's reference and unit on one sheet instance (KiCad 7+
// keep them inside the symbol).
struct SymbolInstanceEntry {
    std::string project;
    std::string path;  // sheet-instance path, root uuid first (no symbol uuid)
    std::string reference;
    int unit = 0;       // 0: not given
    std::string value;  // given by some 7.0 development files only
};

struct PlacedSymbol {
    std::string libId;
    std::string libName;  // `(lib_name …)`, else empty
    int libSymbol = -1;   // index into SchematicFile::libSymbols; -1: not embedded
    Point at;
    int rotation = 0;
    char mirror = 0;  // 0, 'x' or 'y'
    Transform transform;
    int unit = 1;
    int bodyStyle = 1;
    bool onBoard = true;
    bool inBom = true;
    std::string uuid;
    std::string reference;  // the Reference field, used where no instance entry matches
    std::string value;
    std::vector<Property> properties;
    std::vector<std::pair<std::string, std::string>> pinAlternates;  // pin number, alternate name
    std::vector<SymbolInstanceEntry> instances;
    NodeIndex node = kNone;

    // Where a library pin of this symbol connects.
    Point pinPoint(const LibPin& pin) const {
        const Point p = transform.apply(pin.at);
        return {p.x + at.x, p.y + at.y};
    }
};

enum class LabelKind : uint8_t { Local, Global, Hierarchical, Directive };

struct Label {
    LabelKind kind = LabelKind::Local;
    std::string text;   // as stored (KiCad's own escapes such as {slash} kept)
    Point at;           // the connection point
    int spin = 0;       // 0 right, 90 up, 180 left, 270 down: the side the body lies on
    std::string shape;  // input, output, bidirectional, tri_state, passive, dot, …; empty for local labels
    TextSize size;
    std::string uuid;
    std::vector<Property> properties;
    NodeIndex node = kNone;
};

struct Line {
    Point a, b;
    bool bus = false;
    NodeIndex node = kNone;
};

struct BusEntry {
    Point at;
    Point size;  // the other end is at + size
    NodeIndex node = kNone;
};

struct Marker {  // junctions and no-connect flags
    Point at;
    NodeIndex node = kNone;
};

struct SheetPin {
    std::string text;
    std::string shape;
    Point at;
    int side = 0;  // 0 right, 90 top, 180 left, 270 bottom of the sheet box
    std::string uuid;
    NodeIndex node = kNone;
};

struct SheetInstanceEntry {
    std::string project;
    std::string path;  // KiCad 7+: the parent instance's path; KiCad 6 root table: the sheet's own path
    std::string page;
};

struct SheetSymbol {
    Point at;
    Point size;
    std::string name;
    std::string file;
    std::string uuid;
    std::vector<Property> fields;
    std::vector<SheetPin> pins;
    std::vector<SheetInstanceEntry> instances;
    NodeIndex node = kNone;
};

struct FreeText {
    std::string text;
    Point at;
    int angle = 0;
    TextSize size;
    bool right = false;  // `(justify right …)`
    char vertical = 0;   // 't' top, 'b' bottom, 0 centre (as written)
    std::string uuid;
    NodeIndex node = kNone;
};

struct BusAlias {
    std::string name;
    std::vector<std::string> members;
};

struct RootSymbolInstance {  // KiCad 6 `symbol_instances` entry
    std::string path;        // sheet path without the root uuid, then the symbol uuid
    std::string reference;
    int unit = 0;
    std::string value;
};

struct SchematicFile {
    std::string path;
    Sexpr doc;
    int64_t version = 0;
    std::string uuid;
    std::string paper = "A4";
    Point paperSize{2970000, 2100000};
    std::vector<LibSymbol> libSymbols;
    std::vector<PlacedSymbol> symbols;
    std::vector<Label> labels;
    std::vector<Line> lines;  // wires and buses
    std::vector<BusEntry> busEntries;
    std::vector<Marker> junctions;
    std::vector<Marker> noConnects;
    std::vector<SheetSymbol> sheets;
    std::vector<FreeText> texts;
    std::vector<BusAlias> busAliases;
    std::vector<SheetInstanceEntry> sheetInstances;   // root table (all versions write the root's page here)
    std::vector<RootSymbolInstance> symbolInstances;  // KiCad 6 root table

    // "FILE:LINE" of a node, for messages.
    std::string where(NodeIndex node) const;
};

// Reads one schematic file from its bytes; `path` names it in messages.
// Throws ReadError.
SchematicFile readSchematic(std::string path, std::string bytes);

// Loads and reads a schematic file. Throws ReadError.
SchematicFile loadSchematic(const std::string& path);

// Pins of a placed symbol: those of its unit and body style (unit 0 and
// body style 0 are common), for the given unit.
template <typename F>
void forEachPin(const SchematicFile& file, const PlacedSymbol& symbol, int unit, F&& f) {
    if (symbol.libSymbol < 0) return;
    for (const LibPin& pin : file.libSymbols[static_cast<size_t>(symbol.libSymbol)].pins) {
        if (pin.unit != 0 && pin.unit != unit) continue;
        if (pin.bodyStyle != 0 && pin.bodyStyle != symbol.bodyStyle) continue;
        f(pin);
    }
}

}  // namespace orlune::kicad::sch

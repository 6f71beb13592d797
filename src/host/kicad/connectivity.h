#pragma once

// KiCad's connectivity over a project that the reader has already placed:
// nets with KiCad's names, the net of every label and sheet pin, and the
// member nets of every bus-named label. Plain data only, so that the reader
// and this computation know nothing of each other's types.
//
// Coordinates are schematic internal units (100 nm, i.e. mm x 10000 rounded
// half away from zero), so that point equality is exact integer equality.

#include <cstdint>
#include <string>
#include <vector>

namespace orlune::kicad {

struct Point {
    std::int64_t x = 0;
    std::int64_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// A straight wire or bus segment, `(pts (xy a) (xy b))`.
struct Segment {
    Point a;
    Point b;
};

// `(bus_entry (at x y) (size dx dy))`: ends at `at` and `at + size`.
struct BusEntry {
    Point at;
    Point size;
};

enum class PinType {
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
    NoConnect,  // KiCad 6 writes `unconnected`
};

// Pins of one placed symbol on one sheet instance: those of its per-instance
// unit and its body style, after any alternate function has set the type.
struct Pin {
    std::string number;  // as shown ("~" already read as empty where the version says so)
    std::string name;
    PinType type = PinType::Passive;
    bool hidden = false;
    Point at;  // the connection point, placed (rotation, mirror, position)
};

enum class PowerKind {
    None,    // an ordinary symbol (its hidden power_in pins are still global, by pin name)
    Global,  // `(power)` / `(power global)`
    Local,   // `(power local)`
};

// One symbol as placed on one sheet instance.
struct Symbol {
    std::string reference;  // per instance, e.g. "R12", "#PWR03", "U3?" (not annotated)
    std::string uuid;       // the symbol's uuid in its file
    std::string libId;      // "lib:name"
    std::string value;      // Value field per instance, text variables resolved
    int unit = 1;           // per instance
    int unitCount = 1;      // units of the library symbol (a letter is added when > 1)
    PowerKind power = PowerKind::None;
    bool excludedFromBoard = false;  // `(on_board no)`
    std::vector<Pin> pins;
    // KiCad 10 jumpers: pin numbers that are one net wherever the pins lie
    // (`jumper_pin_groups`; `duplicate_pin_numbers_are_jumpers` makes each
    // repeated number such a group).
    std::vector<std::vector<std::string>> jumperGroups;
};

enum class LabelKind { Local, Global, Hierarchical, Directive };

struct Label {
    LabelKind kind = LabelKind::Local;
    std::string text;  // as in the file (unescaped by the reader's string rules)
    Point at;          // the anchor
    std::string uuid;
};

struct SheetPin {
    std::string text;
    Point at;
    std::string uuid;
};

// A sheet symbol `(sheet …)` placed in a file; which child instance it leads
// to depends on the parent instance (SheetInstance::parent / parentSheet).
struct SheetSymbol {
    std::string uuid;
    std::string name;  // Sheetname
    std::vector<SheetPin> pins;
};

// Everything one schematic file draws; the same for every instance of it.
struct Screen {
    std::string file;  // for messages
    std::vector<Segment> wires;
    std::vector<Segment> buses;
    std::vector<BusEntry> busEntries;
    std::vector<Point> junctions;
    std::vector<Point> noConnects;
    std::vector<Label> labels;
    std::vector<SheetSymbol> sheets;
};

struct SheetInstance {
    int screen = 0;         // index into ConnectivityInput::screens
    int parent = -1;        // index of the parent instance, -1 for the root
    int parentSheet = -1;   // index of the sheet symbol in the parent's screen
    std::string path;       // uuid path with the root uuid, "/ROOT/S1/S2"
    std::string humanPath;  // "/" for the root, else "/name1/name2/"
    std::string page;       // the page string
    // The shown text of each label of the screen on this instance (text
    // variables resolved); empty when it equals Label::text for every label.
    std::vector<std::string> labelTexts;
    std::vector<Symbol> symbols;
};

struct BusAlias {
    std::string name;
    std::vector<std::string> members;
};

struct ConnectivityInput {
    std::vector<Screen> screens;
    // Parents before children; instance 0 is the root.
    std::vector<SheetInstance> instances;
    // From every file and from the project file.
    std::vector<BusAlias> busAliases;
    // `(version N)` of the root file: older files name power nets by pin name.
    int rootVersion = 0;
    // The project's unit suffix of references ("schematic.subpart_id_separator"
    // and "subpart_first_id"): a multi-unit U1's unit 2 is "U1B" by default.
    int subpartSeparator = 0;
    int subpartFirstId = 'A';
};

// A pin of the result: instance, symbol within it, pin within that.
struct PinRef {
    int instance = 0;
    int symbol = 0;
    int pin = 0;
    friend bool operator==(const PinRef&, const PinRef&) = default;
};

struct Net {
    std::string name;  // KiCad's name, escaped as KiCad writes it ("/VPP{slash}MCLR")
    std::vector<PinRef> pins;
};

struct ConnectivityResult {
    std::vector<Net> nets;  // every net with a pin, a label, a sheet pin or a bus member
    // Per instance, per label of its screen: the net of the label, -1 when the
    // label is a bus (see labelMembers) or not connectable.
    std::vector<std::vector<int>> labelNet;
    // Per instance, per label: the member nets of a bus-named label in KiCad's
    // member order (vector: ascending index; group: as written); empty if the
    // text is not a bus name.
    std::vector<std::vector<std::vector<int>>> labelMembers;
    // Per instance, per sheet symbol of its screen, per sheet pin: the net, -1
    // for a bus pin.
    std::vector<std::vector<std::vector<int>>> sheetPinNet;
    // Per instance, per symbol, per pin: the net (pins of NoConnect type and
    // lone pins still get a net of their own, as KiCad names them; -1 for pins
    // of unannotated symbols that nothing else drives, which KiCad leaves
    // without a net).
    std::vector<std::vector<std::vector<int>>> pinNet;
};

// Bus vectors are read up to this many members (a real design's widest
// bus has a few hundred), and a project's bus texts up to this many in all,
// so that a label's few bytes cannot ask for unbounded time and memory.
inline constexpr long kMaxBusVectorMembers = 4096;
inline constexpr long kMaxBusMembersInProject = 1000000;

// Why the project's buses are refused (naming the file and the label), or
// empty: a vector beyond kMaxBusVectorMembers, or bus texts naming more
// than kMaxBusMembersInProject members in all.
std::string busSizeRefusal(const ConnectivityInput& input);

ConnectivityResult computeConnectivity(const ConnectivityInput& input);

}  // namespace orlune::kicad

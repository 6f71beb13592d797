// KiCad's connectivity on small drawn cases that the demo projects do not
// hold: each case draws a few items and states the pin partition KiCad gives
// and, where it matters, the net names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/kicad/connectivity.h"

namespace orlune::kicad {
namespace {

// Drawing helpers: coordinates in millimetres, turned into internal units.
constexpr std::int64_t kMm = 10000;
Point at(double x, double y) {
    return {static_cast<std::int64_t>(x * kMm), static_cast<std::int64_t>(y * kMm)};
}

struct Drawing {
    ConnectivityInput in;

    Drawing() {
        in.rootVersion = 20250114;
        in.screens.emplace_back();
        in.instances.push_back({0, -1, -1, "/root", "/", "1", {}, {}});
    }
    Screen& screen(int s = 0) { return in.screens[s]; }
    void wire(double x1, double y1, double x2, double y2, int s = 0) {
        screen(s).wires.push_back({at(x1, y1), at(x2, y2)});
    }
    void bus(double x1, double y1, double x2, double y2, int s = 0) {
        screen(s).buses.push_back({at(x1, y1), at(x2, y2)});
    }
    void label(const std::string& text, double x, double y, LabelKind kind = LabelKind::Local, int s = 0) {
        screen(s).labels.push_back({kind, text, at(x, y), "uuid"});
    }
    // A pin of the symbol `ref` on instance `i`, the symbol made on first use.
    Symbol& pin(const std::string& ref, const std::string& number, double x, double y, int i = 0,
                PinType type = PinType::Passive, const std::string& name = "", bool hidden = false) {
        auto& symbols = in.instances[i].symbols;
        auto it = std::find_if(symbols.begin(), symbols.end(), [&](const Symbol& s) { return s.reference == ref; });
        if (it == symbols.end()) {
            symbols.push_back({ref, "uuid-" + ref, "lib:x", "", 1, 1, PowerKind::None, false, {}, {}});
            it = symbols.end() - 1;
        }
        it->pins.push_back({number, name, type, hidden, at(x, y)});
        return *it;
    }
    void power(const std::string& ref, const std::string& value, const std::string& pinName, double x, double y,
               bool hidden = true, int i = 0, PowerKind kind = PowerKind::Global) {
        Symbol& s = pin(ref, "1", x, y, i, PinType::PowerIn, pinName, hidden);
        s.value = value;
        s.power = kind;
    }
    // A child sheet (a new file unless `screen` names one) under instance `parent`,
    // drawn as sheet symbol `name` on the parent's file; returns the instance.
    int sheet(const std::string& name, int parent = 0, int screenIndex = -1) {
        Screen& p = screen(in.instances[parent].screen);
        p.sheets.push_back({"uuid-" + name, name, {}});
        if (screenIndex < 0) {
            in.screens.emplace_back();
            screenIndex = static_cast<int>(in.screens.size()) - 1;
        }
        const SheetInstance& up = in.instances[parent];
        in.instances.push_back({screenIndex,
                                parent,
                                static_cast<int>(screen(up.screen).sheets.size()) - 1,
                                up.path + "/" + name,
                                up.humanPath + name + "/",
                                "",
                                {},
                                {}});
        return static_cast<int>(in.instances.size()) - 1;
    }
    void sheetPin(const std::string& text, double x, double y, int parent = 0) {
        screen(in.instances[parent].screen).sheets.back().pins.push_back({text, at(x, y), "uuid"});
    }
};

std::string pinText(const ConnectivityInput& in, const PinRef& r) {
    const Symbol& s = in.instances[r.instance].symbols[r.symbol];
    return s.reference + "." + s.pins[r.pin].number;
}

// "R1.1 R2.1 | U1.1": the nets' pins of symbols that go on the board, sorted.
std::string partition(const ConnectivityInput& in, const ConnectivityResult& r) {
    std::set<std::string> groups;
    for (const Net& net : r.nets) {
        std::set<std::string> pins;
        for (const PinRef& p : net.pins)
            if (in.instances[p.instance].symbols[p.symbol].reference[0] != '#') pins.insert(pinText(in, p));
        std::string g;
        for (const std::string& p : pins)
            g += (g.empty() ? "" : " ") + p;
        if (!g.empty()) groups.insert(g);
    }
    std::string out;
    for (const std::string& g : groups)
        out += (out.empty() ? "" : " | ") + g;
    return out;
}

// The name of the net of pin "REF.NUM".
std::string nameOf(const ConnectivityInput& in, const ConnectivityResult& r, const std::string& pin) {
    for (const Net& net : r.nets)
        for (const PinRef& p : net.pins)
            if (pinText(in, p) == pin) return net.name;
    return "(none)";
}

struct Case {
    const char* title;
    std::function<void(Drawing&)> draw;
    const char* partition;
    std::map<std::string, std::string> names;  // pin -> net name
};

const Case kCases[] = {
    {"a label on a wire's interior names the wire",
     [](Drawing& d) {
         d.wire(0, 0, 10, 0);
         d.pin("R1", "1", 0, 0);
         d.label("A", 5, 0);
         d.wire(20, 0, 30, 0);
         d.pin("R2", "1", 30, 0);
         d.label("A", 25, 0);
     },
     "R1.1 R2.1",
     {{"R1.1", "/A"}}},
    // A junction splits the wire as the editor does (kicad-cli 9 drops the part beyond).
    {"a junction on a wire's interior joins the wire ending there; a T without one does not",
     [](Drawing& d) {
         d.wire(0, 0, 10, 0);
         d.wire(5, 0, 5, 5);
         d.screen().junctions.push_back(at(5, 0));
         d.pin("R1", "1", 0, 0);
         d.pin("R2", "1", 5, 5);
         d.pin("R3", "1", 10, 0);
         d.wire(0, 10, 10, 10);
         d.wire(5, 10, 5, 15);
         d.pin("R4", "1", 0, 10);
         d.pin("R5", "1", 5, 15);
         d.pin("R6", "1", 7, 10);  // on the interior
     },
     "R1.1 R2.1 R3.1 | R4.1 | R5.1 | R6.1",
     {{"R1.1", "Net-(R1-Pad1)"}, {"R4.1", "unconnected-(R4-Pad1)"}}},
    // The editor merges them (kicad-cli 9 does not); the ends inside the
    // merged wire are gone, unless a junction holds one.
    {"overlapping collinear wires are one wire, without the ends inside it",
     [](Drawing& d) {
         d.wire(0, 0, 6, 0);
         d.wire(4, 0, 10, 0);
         d.wire(0, 5, 0, 10);
         d.wire(0, 7, 0, 9);
         d.pin("R1", "1", 0, 0);
         d.pin("R2", "1", 10, 0);
         d.pin("R3", "1", 0, 5);
         d.pin("R4", "1", 0, 9);
         d.pin("R5", "1", 6, 0);
         d.pin("R6", "1", 0, 7);
         d.screen().junctions.push_back(at(0, 7));
     },
     "R1.1 R2.1 | R3.1 R6.1 | R4.1 | R5.1",
     {}},
    {"a bus entry joins its wire side only; labels pick the member",
     [](Drawing& d) {
         d.bus(0, 0, 0, 20);
         d.label("D[0..3]", 0, 2);
         d.screen().busEntries.push_back({at(0, 10), at(2.54, 2.54)});
         d.wire(2.54, 12.54, 10, 12.54);
         d.label("D1", 10, 12.54);
         d.pin("R1", "1", 10, 12.54);
         d.wire(0, 10, -10, 10);  // ends on the bus where the entry starts
         d.pin("R2", "1", -10, 10);
         d.wire(20, 0, 30, 0);
         d.label("D1", 25, 0);
         d.pin("R3", "1", 30, 0);
     },
     "R1.1 R3.1 | R2.1",
     {{"R1.1", "/D1"}}},
    {"a no-connect pin stacked on a passive pin joins nothing",
     [](Drawing& d) {
         d.pin("U1", "1", 0, 0, 0, PinType::NoConnect);
         d.pin("U1", "2", 0, 0);
         d.wire(0, 0, 10, 0);
         d.pin("R1", "1", 10, 0);
         d.pin("R2", "1", 20, 0);
         d.screen().noConnects.push_back(at(20, 0));
     },
     "R1.1 U1.2 | R2.1 | U1.1",
     {{"U1.1", "unconnected-(U1-Pad1)"}, {"R2.1", "unconnected-(R2-Pad1)"}}},
    {"hidden power pins are global by pin name, wired or not, and name the wired net",
     [](Drawing& d) {
         d.pin("U1", "7", 0, 0, 0, PinType::PowerIn, "GND", true);
         d.power("#PWR01", "GND", "GND", 20, 0);
         d.wire(20, 0, 30, 0);
         d.pin("R1", "2", 30, 0);
         d.pin("U2", "14", 40, 0, 0, PinType::PowerIn, "VCC", true);
         d.wire(40, 0, 50, 0);
         d.label("X", 50, 0);
         d.pin("R2", "1", 50, 0);
         d.pin("U3", "14", 60, 0, 0, PinType::PowerIn, "VCC", true);
         d.pin("U4", "3", 70, 0, 0, PinType::PowerIn, "VCC", false);  // visible: an ordinary pin
     },
     "R1.2 U1.7 | R2.1 U2.14 U3.14 | U4.3",
     {{"R2.1", "VCC"}, {"U1.7", "GND"}}},
    {"a local label and a power symbol of one name join on their sheet only",
     [](Drawing& d) {
         d.wire(0, 0, 10, 0);
         d.label("BAT", 0, 0);
         d.pin("R1", "1", 10, 0);
         d.power("#PWR01", "BAT", "BAT", 20, 0);
         d.wire(20, 0, 30, 0);
         d.pin("R2", "1", 30, 0);
         const int sub = d.sheet("sub");
         d.wire(0, 0, 10, 0, 1);
         d.label("BAT", 0, 0, LabelKind::Local, 1);
         d.pin("R3", "1", 10, 0, sub);
         d.power("#PWR02", "BAT", "BAT", 20, 0, true, sub);
         d.pin("R4", "1", 20, 0, sub);
         d.wire(40, 0, 50, 0, 1);
         d.label("LOC", 40, 0, LabelKind::Local, 1);
         d.pin("R5", "1", 50, 0, sub);
         d.wire(40, 0, 50, 0);
         d.label("LOC", 40, 0);
         d.pin("R6", "1", 50, 0);
     },
     "R1.1 R2.1 R3.1 R4.1 | R5.1 | R6.1",
     {{"R1.1", "BAT"}, {"R5.1", "/sub/LOC"}, {"R6.1", "/LOC"}}},
    {"before 8.0 a power symbol's hidden pin name is the net; since then its value",
     [](Drawing& d) {
         d.in.rootVersion = 20230121;  // KiCad 7.0's first file version
         d.power("#PWR01", "+5V_VAL", "+5V", 0, 0);
         d.pin("R1", "1", 0, 0);
         d.pin("U1", "8", 10, 0, 0, PinType::PowerIn, "+5V", true);
     },
     "R1.1 U1.8",
     {{"R1.1", "+5V"}}},
    {"since 8.0 the power symbol's value names the net",
     [](Drawing& d) {
         d.in.rootVersion = 20230221;  // the first file version of the new rule
         d.power("#PWR01", "+5V_VAL", "+5V", 0, 0);
         d.pin("R1", "1", 0, 0);
         d.pin("U1", "8", 10, 0, 0, PinType::PowerIn, "+5V", true);
     },
     "R1.1 | U1.8",
     {{"R1.1", "+5V_VAL"}, {"U1.8", "+5V"}}},
    {"a vector bus through a sheet pin matches members by index across ranges",
     [](Drawing& d) {
         d.bus(0, 0, 20, 0);
         d.label("ADDR[8..15]", 5, 0);
         const int sub = d.sheet("sub");
         d.sheetPin("A[0..7]", 20, 0);
         d.wire(0, 10, 10, 10);
         d.label("ADDR9", 0, 10);
         d.pin("R1", "1", 10, 10);
         d.bus(0, 0, 20, 0, 1);
         d.label("A[0..7]", 0, 0, LabelKind::Hierarchical, 1);
         d.wire(0, 10, 10, 10, 1);
         d.label("A1", 0, 10, LabelKind::Local, 1);
         d.pin("R2", "1", 10, 10, sub);
         d.wire(0, 20, 10, 20, 1);
         d.label("A2", 0, 20, LabelKind::Local, 1);
         d.pin("R3", "1", 10, 20, sub);
     },
     "R1.1 R2.1 | R3.1",
     {{"R1.1", "/ADDR9"}, {"R3.1", "/ADDR10"}}},
    {"the members of a global bus label are global names, and labels of their sheet",
     [](Drawing& d) {
         const int sub = d.sheet("sub");
         for (const int i : {0, 1}) {
             d.bus(0, 0, 20, 0, i);
             d.label("G[0..1]", 0, 0, LabelKind::Global, i);
             d.wire(0, 10, 10, 10, i);
             d.label("G0", 0, 10, LabelKind::Local, i);
         }
         d.pin("R1", "1", 10, 10);
         d.pin("R2", "1", 10, 10, sub);
     },
     "R1.1 R2.1",
     {{"R1.1", "G0"}}},
    {"a group bus matches members by name without the prefix",
     [](Drawing& d) {
         d.bus(0, 0, 20, 0);
         d.label("I2C_54{SCL,SDA}", 5, 0);
         const int sub = d.sheet("sub");
         d.sheetPin("I2C{SCL SDA}", 20, 0);
         d.wire(0, 10, 10, 10);
         d.label("I2C_54.SDA", 0, 10);
         d.pin("R1", "1", 10, 10);
         d.bus(0, 0, 20, 0, 1);
         d.label("I2C{SCL SDA}", 0, 0, LabelKind::Hierarchical, 1);
         d.wire(0, 10, 10, 10, 1);
         d.label("I2C.SDA", 0, 10, LabelKind::Local, 1);
         d.pin("R2", "1", 10, 10, sub);
         d.wire(0, 20, 10, 20, 1);
         d.label("I2C.SCL", 0, 20, LabelKind::Local, 1);
         d.pin("R3", "1", 10, 20, sub);
     },
     "R1.1 R2.1 | R3.1",
     {{"R2.1", "/I2C_54.SDA"}, {"R3.1", "/I2C_54.SCL"}}},
    {"a pin with a name names the net after the unit, in the project's unit notation",
     [](Drawing& d) {
         d.in.subpartSeparator = '.';
         d.in.subpartFirstId = '1';
         Symbol& u1 = d.pin("U1", "3", 0, 0, 0, PinType::Input, "IN");
         u1.unit = 2;
         u1.unitCount = 2;
         d.pin("R1", "1", 0, 0);
     },
     "R1.1 U1.3",
     {{"R1.1", "Net-(U1.2-IN)"}}},
    {"jumper pins are one net wherever they lie",
     [](Drawing& d) {
         d.pin("J1", "1", 0, 0);
         d.pin("J1", "2", 10, 0).jumperGroups = {{"1", "2"}};
         d.pin("J1", "3", 20, 0);
     },
     "J1.1 J1.2 | J1.3",
     {}},
    {"pins of unannotated symbols join nets but drive none of their own",
     [](Drawing& d) {
         d.wire(0, 0, 10, 0);
         d.pin("R?", "1", 0, 0).uuid = "u1";
         d.pin("R1", "1", 10, 0);
         d.pin("R?", "2", 20, 0);
     },
     "R1.1 R?.1",
     {{"R1.1", "unconnected-(R1-Pad1)"}}},
    {"a local power symbol names its net on its own sheet only",
     [](Drawing& d) {
         d.power("#PWR01", "VL", "VL", 0, 0, false, 0, PowerKind::Local);
         d.pin("R1", "1", 0, 0);
         const int sub = d.sheet("sub");
         d.power("#PWR02", "VL", "VL", 0, 0, false, sub, PowerKind::Local);
         d.pin("R2", "1", 0, 0, sub);
         d.power("#PWR03", "VL", "VL", 10, 0, false, sub, PowerKind::Local);
         d.pin("R3", "1", 10, 0, sub);
     },
     "R1.1 | R2.1 R3.1",
     {{"R1.1", "/VL"}, {"R2.1", "/sub/VL"}}},
    // KiCad promotes a sheet pin that drives alone under a name no subgraph
    // is driven by; it then joins a subgraph holding that name as a second label.
    {"a sheet pin driving alone joins a second label of its name, not a first",
     [](Drawing& d) {
         d.sheet("sub");
         d.sheetPin("X", 0, 0);
         d.sheetPin("Y", 0, 10);
         d.wire(0, 0, -10, 0);
         d.pin("R1", "1", -10, 0);
         d.wire(0, 10, -10, 10);
         d.pin("R3", "1", -10, 10);
         d.wire(20, 0, 30, 0);
         d.label("A", 20, 0);
         d.label("X", 25, 0);
         d.pin("R2", "1", 30, 0);
         d.wire(20, 10, 30, 10);
         d.label("Y", 25, 10);
         d.pin("R4", "1", 30, 10);
     },
     "R1.1 R2.1 | R3.1 | R4.1",
     {{"R1.1", "/A"}, {"R3.1", "/Y_1"}, {"R4.1", "/Y"}}},
    // kicad-cli 9: the global and the local label of one name on one sheet
    // are one net, which the sheet pin of that name does not join.
    {"a sheet pin joins only hierarchical labels of its name below it",
     [](Drawing& d) {
         const int sub = d.sheet("sub");
         d.sheetPin("X", 0, 0);
         d.wire(0, 0, 10, 0);
         d.pin("R1", "1", 10, 0);
         d.label("X", 0, 0, LabelKind::Global, 1);
         d.pin("R2", "1", 0, 0, sub);
         d.label("X", 20, 0, LabelKind::Local, 1);
         d.pin("R3", "1", 20, 0, sub);
     },
     "R1.1 | R2.1 R3.1",
     {{"R1.1", "/X"}, {"R2.1", "X"}}},
    {"one file on two pages: each instance joins its own sheet pin",
     [](Drawing& d) {
         const int a = d.sheet("a");
         d.sheetPin("IN", 0, 0);
         const int b = d.sheet("b", 0, 1);
         d.sheetPin("IN", 0, 10);
         d.wire(-10, 0, 0, 0);
         d.pin("R1", "1", -10, 0);
         d.wire(-10, 10, 0, 10);
         d.pin("R2", "1", -10, 10);
         d.wire(0, 0, 10, 0, 1);
         d.label("IN", 0, 0, LabelKind::Hierarchical, 1);
         d.pin("R3", "1", 10, 0, a);
         d.pin("R13", "1", 10, 0, b);
     },
     "R1.1 R3.1 | R13.1 R2.1",
     {{"R1.1", "/a/IN"}, {"R2.1", "/b/IN"}}},
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.title;
}

class Connectivity : public testing::TestWithParam<Case> {};

TEST_P(Connectivity, GivesKiCadsNets) {
    Drawing d;
    GetParam().draw(d);
    const ConnectivityResult r = computeConnectivity(d.in);
    EXPECT_EQ(GetParam().partition, partition(d.in, r));
    for (const auto& [pin, name] : GetParam().names)
        EXPECT_EQ(name, nameOf(d.in, r, pin)) << pin;
}

INSTANTIATE_TEST_SUITE_P(Drawn, Connectivity, testing::ValuesIn(kCases), [](const testing::TestParamInfo<Case>& param) {
    std::string name;
    for (const char* c = param.param.title; *c; ++c)
        if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
    return name.substr(0, 60) + std::to_string(param.index);
});

TEST(ConnectivityBus, BusLabelsListTheirMemberNetsInKiCadOrder) {
    Drawing d;
    d.in.busAliases.push_back({"PAIR", {"P", "N"}});
    d.bus(0, 0, 20, 0);
    d.label("DIG{D5 D[1..2] PAIR}", 5, 0);
    d.wire(0, 10, 10, 10);
    d.label("DIG.D2", 0, 10);
    d.pin("R1", "1", 10, 10);
    d.bus(0, 30, 20, 30);
    d.label("Q[3..0]", 5, 30);
    d.wire(0, 40, 10, 40);
    d.label("Q0", 0, 40);
    d.pin("R2", "1", 10, 40);
    const ConnectivityResult r = computeConnectivity(d.in);
    const auto names = [&](int label) {
        std::string out;
        for (const int net : r.labelMembers[0][label])
            out += (net < 0 ? "-" : r.nets[net].name) + " ";
        return out;
    };
    EXPECT_EQ("/DIG.D5 /DIG.D1 /DIG.D2 /DIG.P /DIG.N ", names(0));
    EXPECT_EQ("/Q0 /Q1 /Q2 /Q3 ", names(2));
    EXPECT_EQ(r.labelMembers[0][2][0], r.labelNet[0][3]);
    EXPECT_EQ(-1, r.labelNet[0][0]);
    EXPECT_EQ("/DIG.D2", r.nets[r.labelNet[0][1]].name);
}

// The largest buses read, and the smallest refused: a vector of 4096
// members, and a million members in the project.
TEST(ConnectivityBus, BusSizesUpToTheBoundsAreReadBeyondThemRefused) {
    const struct {
        std::vector<std::string> labels;
        const char* refusal;  // a part of it; empty: read
    } cases[] = {
        {{"D[0..4095]"}, ""},
        {{"D[1..4097]"}, "names a bus vector \"D[1..4097]\" of 4097 members; at most 4096"},
        {{"D[4096..0]"}, "of 4097 members"},
        {{"G{A D[0..4096]}"}, "of 4097 members"},
        {std::vector<std::string>(244, "D[0..4095]"), ""},  // 999424 members
        {std::vector<std::string>(245, "D[0..4095]"), "bus members beyond 1000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.labels.front() + " x" + std::to_string(c.labels.size()));
        Drawing d;
        for (const std::string& text : c.labels)
            d.label(text, 0, 0);
        const std::string why = busSizeRefusal(d.in);
        if (*c.refusal == '\0')
            EXPECT_EQ(why, "");
        else
            EXPECT_NE(why.find(c.refusal), std::string::npos) << why;
    }
}

}  // namespace
}  // namespace orlune::kicad

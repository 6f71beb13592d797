#include "host/kicad/to_connectivity.h"

#include <map>

namespace orlune::kicad {

namespace {

Point point(sch::Point p) {
    return {p.x, p.y};
}

// The two enumerations list KiCad's electrical types in the same order.
static_assert(static_cast<int>(PinType::PowerIn) == static_cast<int>(sch::PinType::PowerIn));
static_assert(static_cast<int>(PinType::NoConnect) == static_cast<int>(sch::PinType::NoConnect));

PinType pinType(sch::PinType t) {
    return static_cast<PinType>(static_cast<int>(t));
}

std::string lookup(const sch::Project& project, int instance, std::string_view name,
                   const std::vector<sch::Property>* fields, bool& found) {
    found = true;
    if (fields)
        for (const sch::Property& f : *fields)
            if (f.name == name) return f.value;
    const sch::SheetInstance& in = project.instances[static_cast<size_t>(instance)];
    if (name == "#") return in.pageString;
    if (name == "##") return std::to_string(project.instances.size());
    if (name == "SHEETPATH") return in.humanPath;
    for (int i = instance; i > 0; i = project.instances[static_cast<size_t>(i)].parent) {
        const sch::SheetInstance& at = project.instances[static_cast<size_t>(i)];
        const sch::SheetInstance& parent = project.instances[static_cast<size_t>(at.parent)];
        const sch::SheetSymbol& sheet = project.fileOf(parent).sheets[static_cast<size_t>(at.sheetInParent)];
        if (i == instance && name == "SHEETNAME") return sheet.name;
        for (const sch::Property& f : sheet.fields)
            if (f.name == name) return f.value;
    }
    if (instance == 0 && name == "SHEETNAME") return "";
    for (const auto& [key, value] : project.textVariables)
        if (key == name) return value;
    found = false;
    return {};
}

}  // namespace

std::string resolveTextVariables(const sch::Project& project, int instance, std::string_view text,
                                 const std::vector<sch::Property>* fields) {
    if (text.find("${") == std::string_view::npos) return std::string(text);
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        const size_t start = text.find("${", i);
        if (start == std::string_view::npos) break;
        const size_t close = text.find('}', start + 2);
        if (close == std::string_view::npos) break;
        out.append(text.substr(i, start - i));
        bool found = false;
        const std::string value = lookup(project, instance, text.substr(start + 2, close - start - 2), fields, found);
        out.append(found ? std::string_view(value) : text.substr(start, close + 1 - start));
        i = close + 1;
    }
    out.append(text.substr(i));
    return out;
}

ConnectivityInput toConnectivityInput(const sch::Project& project) {
    ConnectivityInput in;
    in.rootVersion = static_cast<int>(project.files[0].version);
    in.subpartSeparator = project.subpartSeparator;
    in.subpartFirstId = project.subpartFirstId;
    in.screens.reserve(project.files.size());
    for (const sch::SchematicFile& f : project.files) {
        Screen s;
        s.file = f.path;
        for (const sch::Line& l : f.lines)
            (l.bus ? s.buses : s.wires).push_back({point(l.a), point(l.b)});
        for (const sch::BusEntry& e : f.busEntries)
            s.busEntries.push_back({point(e.at), point(e.size)});
        for (const sch::Marker& j : f.junctions)
            s.junctions.push_back(point(j.at));
        for (const sch::Marker& n : f.noConnects)
            s.noConnects.push_back(point(n.at));
        for (const sch::Label& l : f.labels) {
            const LabelKind kind = l.kind == sch::LabelKind::Local          ? LabelKind::Local
                                   : l.kind == sch::LabelKind::Global       ? LabelKind::Global
                                   : l.kind == sch::LabelKind::Hierarchical ? LabelKind::Hierarchical
                                                                            : LabelKind::Directive;
            s.labels.push_back({kind, l.text, point(l.at), l.uuid});
        }
        for (const sch::SheetSymbol& sheet : f.sheets) {
            SheetSymbol out{sheet.uuid, sheet.name, {}};
            for (const sch::SheetPin& p : sheet.pins)
                out.pins.push_back({p.text, point(p.at), p.uuid});
            s.sheets.push_back(std::move(out));
        }
        for (const sch::BusAlias& a : f.busAliases)
            in.busAliases.push_back({a.name, a.members});
        in.screens.push_back(std::move(s));
    }
    for (const sch::BusAlias& a : project.busAliases)
        in.busAliases.push_back({a.name, a.members});

    in.instances.reserve(project.instances.size());
    for (size_t k = 0; k < project.instances.size(); ++k) {
        const sch::SheetInstance& si = project.instances[k];
        const sch::SchematicFile& f = project.fileOf(si);
        const int index = static_cast<int>(k);
        SheetInstance out;
        out.screen = si.file;
        out.parent = si.parent;
        out.parentSheet = si.sheetInParent;
        out.path = si.path;
        out.humanPath = si.humanPath;
        out.page = si.pageString;
        bool resolved = false;
        for (const sch::Label& l : f.labels)
            resolved |= l.text.find("${") != std::string::npos;
        if (resolved)
            for (const sch::Label& l : f.labels)
                out.labelTexts.push_back(resolveTextVariables(project, index, l.text, &l.properties));
        out.symbols.reserve(f.symbols.size());
        for (size_t s = 0; s < f.symbols.size(); ++s) {
            const sch::PlacedSymbol& placed = f.symbols[s];
            const sch::SymbolOnInstance& here = si.symbols[s];
            Symbol sym;
            sym.reference = here.reference;
            sym.uuid = placed.uuid;
            sym.libId = placed.libId;
            sym.value = resolveTextVariables(project, index, here.value, &placed.properties);
            sym.unit = here.unit;
            sym.excludedFromBoard = !placed.onBoard;
            if (placed.libSymbol >= 0) {
                const sch::LibSymbol& lib = f.libSymbols[static_cast<size_t>(placed.libSymbol)];
                sym.unitCount = lib.unitCount;
                sym.power = !lib.power ? PowerKind::None : lib.localPower ? PowerKind::Local : PowerKind::Global;
                sym.jumperGroups = lib.jumperGroups;
                if (lib.duplicatePinsAreJumpers) {
                    std::map<std::string, int> count;
                    for (const sch::LibPin& pin : lib.pins)
                        ++count[pin.number];
                    for (const auto& [number, n] : count)
                        if (n > 1) sym.jumperGroups.push_back({number});
                }
            }
            sch::forEachPin(f, placed, here.unit, [&](const sch::LibPin& pin) {
                Pin p{pin.number, pin.name, pinType(pin.type), pin.hidden, point(placed.pinPoint(pin))};
                for (const auto& [number, alternate] : placed.pinAlternates) {
                    if (number != pin.number) continue;
                    for (const auto& [name, type] : pin.alternates)
                        if (name == alternate) p.type = pinType(type);
                }
                sym.pins.push_back(std::move(p));
            });
            out.symbols.push_back(std::move(sym));
        }
        in.instances.push_back(std::move(out));
    }
    return in;
}

}  // namespace orlune::kicad

#include "app/inspect_connectors.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "app/commands.h"
#include "app/design_run.h"
#include "host/backend.h"
#include "host/cp1252.h"
#include "host/load.h"
#include "run/run.h"
#include "settings/startup.h"
#include "settings/units.h"
#include "ui/command_flow.h"

namespace orlune::app {

namespace {

constexpr std::string_view kBusTypePrefix = "SH_BUS_";
constexpr int32_t kJustifyLeft = 6;
constexpr int32_t kJustifyRight = 4;

using PointKey = std::tuple<int32_t, int32_t, int32_t, int32_t>;  // sheet, x, y, justification

bool isOwn(const host::Item& item) {
    return item.type == host::ItemType::Text && !item.deleted && !item.text.empty() && item.text[0] == '@';
}

// The attribute as the program compares it: through its Windows-1252 field,
// cut at a NUL and trimmed of spaces.
std::string asProgramSees(const std::string& utf8) {
    return Trim_Nul(host::toCp1252(utf8));
}

bool isMoreRows(const host::Component& component) {
    for (const host::Attribute& attribute : component.attributes) {
        if (asProgramSees(attribute.name) == "SH_TYPE") return asProgramSees(attribute.value) == "1";
    }
    return false;
}

class SheetsOfNets {
public:
    explicit SheetsOfNets(const host::Design& design) {
        for (const host::Component& component : design.components) {
            for (const host::Pin& pin : component.pins) {
                if (pin.net != 0) sheets_[pin.net].insert(pin.sheet);
            }
        }
    }
    bool reachesBeyond(int32_t net, int32_t sheet) const {
        auto it = sheets_.find(net);
        if (it == sheets_.end()) return false;
        return it->second.size() > 1 || (it->second.size() == 1 && *it->second.begin() != sheet);
    }

private:
    std::unordered_map<int32_t, std::set<int32_t>> sheets_;
};

bool fitsInt32(int64_t v) {
    return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

}  // namespace

void settleReusedLabels(ConnectorAnalysis& analysis) {
    std::map<std::string, std::vector<ConnectorLine*>> shared;
    for (ConnectorLine& line : analysis.connectors)
        if (line.note && !line.note->sharedKey.empty()) shared[line.note->sharedKey].push_back(&line);
    for (auto& entry : shared) {
        std::vector<ConnectorLine*>& lines = entry.second;
        bool differ = false;
        for (const ConnectorLine* line : lines)
            differ = differ || line->expected != lines.front()->expected;
        if (!differ) continue;
        for (ConnectorLine* line : lines) {
            if (line->state == ConnectorState::NotReached) continue;
            if (!line->note->perPageValues) {
                line->expected.reset();
                line->state = line->now ? ConnectorState::Stale : ConnectorState::DiffersPerPage;
            } else if (line->state == ConnectorState::Current) {
                line->state = ConnectorState::DiffersPerPage;
            }
        }
    }
}

namespace {

// Whether a bus item of the pin's sheet is the one the pass would find.
bool busBeside(const host::Item& item, const host::Pin& pin, bool flipped, int32_t busDistance) {
    if (item.x1 != item.x2 || (pin.y != item.y1 && pin.y != item.y2)) return false;
    // Signed, as the pass compares: a bus behind the pin is found at any distance.
    const int64_t distance = flipped ? int64_t{pin.x} - item.x1 : int64_t{item.x1} - pin.x;
    return distance <= busDistance;
}

}  // namespace

const host::Item* findConnectorBus(const host::Design& design, const host::Pin& pin, bool flipped,
                                   int32_t busDistance) {
    for (const host::Item& item : design.items) {
        if (item.deleted || item.type != host::ItemType::Bus || item.sheet != pin.sheet) continue;
        if (busBeside(item, pin, flipped, busDistance)) return &item;
    }
    return nullptr;
}

int32_t busDistanceForUnits(int32_t units) {
    switch (units) {
        case 1:
        case 4:
            return 889000;  // 350 mil, 0.35 inch
        case 2:
            return 890000;  // 8.9 mm
        default:
            return 0;
    }
}

std::unique_ptr<host::Design> readDesignAsIs(const std::string& path, std::string& reason, host::DesignNotes* notes) {
    std::unique_ptr<host::Design> design;
    const std::unique_ptr<host::Backend> backend = host::chooseBackend(path);
    if (backend->read(path, path, design, reason) != host::kOk) return nullptr;
    if (notes) *notes = backend->describe(*design);
    return design;
}

std::string_view stateName(ConnectorState state) {
    switch (state) {
        case ConnectorState::Current:
            return "current";
        case ConnectorState::Stale:
            return "stale";
        case ConnectorState::Missing:
            return "missing";
        case ConnectorState::TooLong:
            return "too long";
        case ConnectorState::NoOtherSheet:
            return "no other sheet";
        case ConnectorState::NoBus:
            return "no bus";
        case ConnectorState::NotPlaced:
            return "not placed";
        case ConnectorState::NotReached:
            return "not reached";
        case ConnectorState::DiffersPerPage:
            return "differs per page";
    }
    return "?";
}

bool stateAgrees(ConnectorState state) {
    switch (state) {
        case ConnectorState::Current:
        case ConnectorState::TooLong:
        case ConnectorState::NoOtherSheet:
        case ConnectorState::NoBus:
        case ConnectorState::NotPlaced:
        case ConnectorState::DiffersPerPage:
            return true;
        case ConnectorState::Stale:
        case ConnectorState::Missing:
        case ConnectorState::NotReached:
            return false;
    }
    return false;
}

ConnectorAnalysis compareWithPass(const host::Design& design, const Run& run, const host::DesignNotes& notes) {
    ConnectorAnalysis analysis;
    analysis.passEndsEarly = run.list.PassEndedEarly;
    analysis.noted = !notes.connectors.empty();
    analysis.foreignTexts = notes.foreignTexts;
    analysis.layoutChecked = !notes.layouts.empty();
    // A user's "@" text is no own text: Update leaves it where it is.
    std::set<std::size_t> foreign;
    for (const host::ForeignText& text : notes.foreignTexts)
        if (text.item >= 0) foreign.insert(static_cast<std::size_t>(text.item));

    // By the position in the component walk: names that differ only in
    // characters Windows-1252 lacks look the same through the records.
    std::unordered_map<int32_t, const PlacedText*> placedByComponent;
    for (const PlacedText& placed : run.list.PlacedTexts)
        placedByComponent.emplace(placed.component, &placed);

    // The own texts as they stand: those the backend knows the connector
    // of, by that connector; the others by the point they are anchored at.
    // A connector claims one, whatever stays unclaimed stands beside none.
    std::map<PointKey, std::vector<std::size_t>> ownAt;
    std::unordered_map<int32_t, std::vector<std::size_t>> ownedBy;
    std::vector<OwnText> own;
    for (std::size_t k = 0; k < design.items.size(); ++k) {
        const host::Item& item = design.items[k];
        if (!isOwn(item) || foreign.count(k)) continue;
        if (item.owner >= 0)
            ownedBy[item.owner].push_back(own.size());
        else
            ownAt[{item.sheet, item.x, item.y, item.justification}].push_back(own.size());
        own.push_back({item.sheet, item.x, item.y, item.justification, item.style, item.text,
                       k < notes.layouts.size() ? notes.layouts[k] : std::string()});
    }
    std::vector<bool> claimed(own.size(), false);

    const SheetsOfNets sheetsOfNets(design);
    std::unordered_map<int32_t, const std::string*> netNames;
    for (const host::Net& net : design.nets)
        netNames.emplace(net.id, &net.name);
    // The bus items of each sheet, in item order: looking through every item
    // of the design for each bus connector cost the square of the design.
    std::unordered_map<int32_t, std::vector<const host::Item*>> busItemsOnSheet;
    for (const host::Item& item : design.items) {
        if (!item.deleted && item.type == host::ItemType::Bus) busItemsOnSheet[item.sheet].push_back(&item);
    }
    auto busOf = [&](const host::Pin& pin, bool flipped) -> const host::Item* {
        auto on = busItemsOnSheet.find(pin.sheet);
        if (on == busItemsOnSheet.end()) return nullptr;
        for (const host::Item* item : on->second) {
            if (busBeside(*item, pin, flipped, run.settings.BusDistance)) return item;
        }
        return nullptr;
    };
    std::unordered_map<std::string, const host::Bus*> busesByName;
    for (const host::Bus& bus : design.buses)
        busesByName.emplace(bus.name, &bus);

    std::vector<bool> placedOnes;
    std::vector<bool> reachesOther;
    std::vector<bool> movedAway;  // its own text stands elsewhere than Update puts it
    for (std::size_t index = 0; index < design.components.size(); ++index) {
        const host::Component& component = design.components[index];
        if (component.kind != 2 || component.pins.empty()) continue;
        ConnectorLine line;
        line.refDes = component.refDes;
        if (index < notes.connectors.size()) line.note = notes.connectors[index];
        const host::Pin& pin = component.pins.front();
        line.sheet = pin.sheet;
        line.net = pin.net;
        line.busConnector = Trim_Nul(component.type).starts_with(kBusTypePrefix);
        line.moreRows = isMoreRows(component);
        const bool flipped = component.symbol.flipped;

        bool reaches = false;
        if (line.busConnector) {
            if (const host::Item* bus = busOf(pin, flipped)) {
                line.bus = bus->bus;
                if (auto it = busesByName.find(bus->bus); it != busesByName.end()) {
                    for (int32_t net : it->second->nets)
                        reaches = reaches || sheetsOfNets.reachesBeyond(net, pin.sheet);
                }
            }
        } else {
            if (auto it = netNames.find(pin.net); it != netNames.end()) line.netName = *it->second;
            reaches = pin.net != 0 && sheetsOfNets.reachesBeyond(pin.net, pin.sheet);
        }

        auto placed = placedByComponent.find(static_cast<int32_t>(index));
        if (placed != placedByComponent.end()) {
            const PlacedText& text = *placed->second;
            line.hasPoint = true;
            line.sheet = text.layerId;
            line.x = text.x;
            line.y = text.y;
            line.justification = text.justification;
            line.expected = host::fromCp1252(text.text);
            line.expectedStyle = run.settings.StyleIndex;
            line.sheets = text.sheets;
        } else {
            const int64_t x =
                flipped ? int64_t{pin.x} + run.settings.RightStart : int64_t{pin.x} - run.settings.LeftStart;
            line.hasPoint = fitsInt32(x);
            line.x = line.hasPoint ? static_cast<int32_t>(x) : 0;
            line.y = pin.y;
            line.justification = flipped ? kJustifyRight : kJustifyLeft;
        }

        bool moved = false;
        if (auto mine = ownedBy.find(static_cast<int32_t>(index)); mine != ownedBy.end()) {
            const OwnText& text = own[mine->second.front()];
            claimed[mine->second.front()] = true;
            moved = !line.hasPoint || text.sheet != line.sheet || text.x != line.x || text.y != line.y ||
                    text.justification != line.justification;
            line.now = text;
        }

        placedOnes.push_back(placed != placedByComponent.end());
        reachesOther.push_back(reaches);
        movedAway.push_back(moved);
        analysis.connectors.push_back(std::move(line));
    }

    // Texts are matched to connectors in rounds, so that where several
    // connectors share a point no connector takes the text that another one
    // would place: first each connector takes a text that equals what Update
    // would place for it; then a connector left without one takes any text
    // that is left at its point, those that expect a text first.
    auto claim = [&](ConnectorLine& line, bool agreeingOnly) {
        if (line.now || !line.hasPoint) return;
        auto at = ownAt.find({line.sheet, line.x, line.y, line.justification});
        if (at == ownAt.end()) return;
        for (std::size_t k : at->second) {
            if (claimed[k]) continue;
            const bool agrees = line.expected && own[k].text == *line.expected && own[k].style == line.expectedStyle;
            if (agreeingOnly && !agrees) continue;
            claimed[k] = true;
            line.now = own[k];
            return;
        }
    };
    for (ConnectorLine& line : analysis.connectors)
        claim(line, true);
    for (ConnectorLine& line : analysis.connectors) {
        if (line.expected) claim(line, false);
    }
    for (ConnectorLine& line : analysis.connectors)
        claim(line, false);

    // A pass that ends early stops on a more-rows connector with sheets to
    // list, after the last text it placed; it looks at nothing after that.
    std::size_t stop = analysis.connectors.size();
    if (run.list.PassEndedEarly) {
        std::size_t from = 0;
        for (std::size_t k = 0; k < placedOnes.size(); ++k) {
            if (placedOnes[k]) from = k + 1;
        }
        for (std::size_t k = from; k < analysis.connectors.size(); ++k) {
            if (analysis.connectors[k].moreRows && reachesOther[k]) {
                stop = k;
                break;
            }
        }
    }

    for (std::size_t k = 0; k < analysis.connectors.size(); ++k) {
        ConnectorLine& line = analysis.connectors[k];
        if (k >= stop) {
            line.state = ConnectorState::NotReached;
        } else if (line.expected) {
            if (!line.now) {
                line.state = ConnectorState::Missing;
            } else if (line.now->text == *line.expected && line.now->style == line.expectedStyle && !movedAway[k]) {
                line.state = line.expected->starts_with("@@") ? ConnectorState::TooLong : ConnectorState::Current;
            } else {
                line.state = ConnectorState::Stale;
            }
        } else if (line.now) {
            line.state = ConnectorState::Stale;  // Update would remove it
        } else if (line.busConnector && !line.bus) {
            line.state = ConnectorState::NoBus;
        } else if (!reachesOther[k]) {
            line.state = ConnectorState::NoOtherSheet;
        } else {
            line.state = ConnectorState::NotPlaced;
        }
    }

    settleReusedLabels(analysis);
    for (std::size_t k = 0; k < own.size(); ++k) {
        if (!claimed[k]) analysis.strays.push_back(own[k]);
    }
    return analysis;
}

int analyseDesign(const std::string& path, std::ostream& err, ConnectorAnalysis& analysis) {
    DesignRun d(path, err);
    // Start-up's own changes (the settings attribute) stay in memory too.
    d.host().setReadOnly(true);
    d.step(Form_Load);
    d.step(Command1_Click);
    if (d.ended()) return d.status();

    std::string reason;
    host::DesignNotes notes;
    std::unique_ptr<host::Design> asIs = readDesignAsIs(path, reason, &notes);
    if (!asIs) {
        err << escapeText(reason) << '\n';
        return kExitEnded;
    }
    analysis = compareWithPass(*asIs, d.run(), notes);
    // As the user reads the schematic: page by page.
    std::stable_sort(analysis.connectors.begin(), analysis.connectors.end(),
                     [](const ConnectorLine& a, const ConnectorLine& b) { return a.sheet < b.sheet; });
    return kExitOk;
}

std::string millimetres(int32_t databaseUnits) {
    constexpr int64_t kPerMm = 100000;
    const int64_t v = databaseUnits;
    const int64_t magnitude = v < 0 ? -v : v;
    std::string text = (v < 0 ? "-" : "") + std::to_string(magnitude / kPerMm);
    std::string fraction = std::to_string(magnitude % kPerMm + kPerMm).substr(1);
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    if (!fraction.empty()) text += "." + fraction;
    return text;
}

std::string quotedText(std::string_view utf8) {
    return '"' + escapeText(utf8) + '"';
}

}  // namespace orlune::app

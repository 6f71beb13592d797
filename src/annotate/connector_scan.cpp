#include "annotate/connector_scan.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "annotate/sheet_text.h"
#include "annotate/text_place.h"
#include "dbx/dbx32.h"
#include "dbx/records.h"
#include "run/run.h"
#include "settings/units.h"

namespace orlune {

namespace {

constexpr std::string_view kBusTypePrefix = "SH_BUS_";

int32_t busDistanceFor(const Run& run) {
    if (run.UnitCode != 1 && run.UnitCode != 2 && run.UnitCode != 4) return 0;
    return To_DbUnits(run, run.BusDistanceByUnit[static_cast<std::size_t>(run.UnitCode)]).value_or(0);
}

// Looks on the connector's own sheet for a vertical bus that ends at the
// connector's height, on the side its text faces; fills BusRec with it.
bool findBus(Run& run) {
    run.connection.LastStatus = TGetFirstLayerItem(&run.connection.DesignContext, run.ConnectorSheet, &run.ItemRec);
    while (run.connection.LastStatus == dbx::kStatusOk) {
        if (run.ItemRec.itemKind == dbx::kItemBus) {
            run.BusRec = run.ItemRec.busPart;
            const dbx::BusRecord& bus = run.BusRec;
            if (bus.x1 == bus.x2 && (run.ConnectorY == bus.y1 || run.ConnectorY == bus.y2)) {
                // Signed on purpose: a bus behind the pin is accepted at any
                // distance. 64 bits keep far coordinates from wrapping.
                const int64_t distance =
                    run.ConnectorFlipped == 0 ? int64_t{bus.x1} - run.ConnectorX : int64_t{run.ConnectorX} - bus.x1;
                if (distance <= run.BusDistance) return true;
            }
        }
        run.connection.LastStatus = TGetNextLayerItem(&run.connection.DesignContext, &run.ItemRec);
    }
    return false;
}

// A net or a bus reaches the same sheets for every connector on it; only
// the connector's own sheet is left out of its list. A long walk is therefore
// kept for the rest of the pass: without it, N connectors on one net cost N
// walks of N nodes. What is kept includes the records exactly as the walk
// left them, because later calls see what earlier ones left there; a short
// walk is simply walked again, which keeps the memory small.
constexpr std::size_t kKeptWalk = 64;

struct Reach {
    std::vector<int32_t> sheets;                // each sheet of the nodes once, in the order the walk meets them
    std::unique_ptr<dbx::ItemRecord> lastItem;  // null: the walk delivered no node
    std::optional<dbx::NetRecord> lastNet;      // a bus's last net, when it had one
    int32_t nodeSheet = 0;
    int32_t status = 0;
};

struct Reaches {
    std::unordered_map<int32_t, Reach> nets;
    std::unordered_map<std::string, Reach> buses;
};

void restore(Run& run, const Reach& reach) {
    if (reach.lastItem) {
        run.ItemRec = *reach.lastItem;
        run.NodeSheet = reach.nodeSheet;
    }
    if (reach.lastNet) run.NetRec = *reach.lastNet;
    run.connection.LastStatus = reach.status;
}

// Adds the sheets that the list lacks (the connector's own sheet is never
// listed), in the order given, while the list has room.
void mergeSheets(Run& run, const std::vector<int32_t>& sheets) {
    // The sheets 0..100 that are listed (or the connector's own) at a
    // glance: scanning the list at every sheet made a net that reaches
    // every sheet cost the square of the design.
    std::array<bool, kSheetListSize + 1> listed{};
    const auto inRange = [](int32_t sheet) { return sheet >= 0 && sheet <= kSheetListSize; };
    for (int32_t i = 0; i < run.ListCount; ++i) {
        const int32_t sheet = run.SheetList[static_cast<std::size_t>(i)];
        if (inRange(sheet)) listed[static_cast<std::size_t>(sheet)] = true;
    }
    if (inRange(run.ConnectorSheet)) listed[static_cast<std::size_t>(run.ConnectorSheet)] = true;

    for (const int32_t sheet : sheets) {
        // A full list cannot occur with at most 100 sheets; the guard keeps
        // a malformed design from writing past it.
        if (run.ListCount >= kSheetListSize) return;
        bool known = false;
        if (inRange(sheet)) {
            known = listed[static_cast<std::size_t>(sheet)];
        } else {
            known = sheet == run.ConnectorSheet;
            for (int32_t i = 0; i < run.ListCount && !known; ++i) {
                known = run.SheetList[static_cast<std::size_t>(i)] == sheet;
            }
        }
        if (known) continue;
        run.SheetList[static_cast<std::size_t>(run.ListCount)] = sheet;
        ++run.ListCount;
        if (inRange(sheet)) listed[static_cast<std::size_t>(sheet)] = true;
    }
}

// Appends to `sheets` each sheet of `more` that it lacks; `seen` marks those
// it holds.
void addDistinct(std::vector<int32_t>& sheets, std::unordered_set<int32_t>& seen, const std::vector<int32_t>& more) {
    for (const int32_t sheet : more) {
        if (seen.insert(sheet).second) sheets.push_back(sheet);
    }
}

// The sheets of the net's nodes, each once, in node order: from the walk
// kept earlier in the pass, else by walking the nodes. `work` grows by the
// nodes walked; `delivered` is set when a node was (or would have been)
// delivered into the records.
const std::vector<int32_t>& netSheets(Run& run, Reaches& reaches, int32_t netId, Reach& scratch, std::size_t& work,
                                      bool& delivered) {
    if (auto kept = reaches.nets.find(netId); kept != reaches.nets.end()) {
        restore(run, kept->second);
        ++work;
        delivered = true;  // only walks with nodes are kept
        return kept->second.sheets;
    }
    scratch = Reach{};
    std::unordered_set<int32_t> seen;
    std::size_t nodes = 0;
    run.connection.LastStatus = TGetFirstNetNode(&run.connection.DesignContext, netId, &run.ItemRec);
    while (run.connection.LastStatus == dbx::kStatusOk) {
        run.NodeSheet = run.ItemRec.pinPart.layerId;
        if (seen.insert(run.NodeSheet).second) scratch.sheets.push_back(run.NodeSheet);
        ++nodes;
        run.connection.LastStatus = TGetNextNetNode(&run.connection.DesignContext, &run.ItemRec);
    }
    work += nodes + 1;
    delivered = delivered || nodes > 0;
    if (nodes < kKeptWalk) return scratch.sheets;
    scratch.lastItem = std::make_unique<dbx::ItemRecord>(run.ItemRec);
    scratch.nodeSheet = run.NodeSheet;
    scratch.status = run.connection.LastStatus;
    return reaches.nets.emplace(netId, std::move(scratch)).first->second.sheets;
}

// The sheets of every net of the bus, each once, in the order of its nets
// and their nodes.
const std::vector<int32_t>& busSheets(Run& run, Reaches& reaches, const std::string& busName, Reach& scratch) {
    if (auto kept = reaches.buses.find(busName); kept != reaches.buses.end()) {
        restore(run, kept->second);
        return kept->second.sheets;
    }
    Reach bus;
    std::unordered_set<int32_t> seen;
    std::size_t work = 0;
    bool delivered = false;
    run.connection.LastStatus = TGetFirstBusNet(&run.connection.DesignContext, busName.c_str(), &run.NetRec);
    while (run.connection.LastStatus == dbx::kStatusOk) {
        bus.lastNet = run.NetRec;
        addDistinct(bus.sheets, seen, netSheets(run, reaches, run.NetRec.netId, scratch, work, delivered));
        run.connection.LastStatus = TGetNextBusNet(&run.connection.DesignContext, &run.NetRec);
        ++work;
    }
    bus.status = run.connection.LastStatus;
    if (work < kKeptWalk) {
        scratch = std::move(bus);
        return scratch.sheets;
    }
    if (delivered) {
        bus.lastItem = std::make_unique<dbx::ItemRecord>(run.ItemRec);
        bus.nodeSheet = run.NodeSheet;
    }
    return reaches.buses.emplace(busName, std::move(bus)).first->second.sheets;
}

void sortSheets(Run& run) {
    for (int32_t i = 0; i < run.ListCount; ++i) {
        for (int32_t j = i; j < run.ListCount; ++j) {
            auto& a = run.SheetList[static_cast<std::size_t>(i)];
            auto& b = run.SheetList[static_cast<std::size_t>(j)];
            if (b < a) std::swap(a, b);
        }
    }
}

// True for a more-rows connector: it carries "SH_TYPE" with the value "1".
bool isMoreRows(Run& run) {
    run.ShTypeFound = 0;
    run.connection.LastStatus =
        TGetFirstCompAttribute(&run.connection.DesignContext, run.CurrentRefDes.c_str(), &run.AttributeRec);
    while (run.connection.LastStatus == dbx::kStatusOk) {
        if (Trim_Nul(dbx::readField(run.AttributeRec.name)) == "SH_TYPE") {
            run.ShTypeFound = 1;
            break;
        }
        run.connection.LastStatus = TGetNextCompAttribute(&run.connection.DesignContext, &run.AttributeRec);
    }
    return run.ShTypeFound == 1 && Trim_Nul(dbx::readField(run.AttributeRec.value)) == "1";
}

// Handles the component in hand; false when the pass must end.
bool handleComponent(Run& run, Reaches& reaches) {
    if (run.ComponentRec.compKind != dbx::kCompSheetConnector) return true;
    run.CurrentRefDes = Trim_Nul(dbx::readField(run.ComponentRec.refDes));
    run.ConnectorTypeName = Trim_Nul(dbx::readField(run.ComponentRec.compType));

    run.connection.LastStatus = TGetFirstCompPin(&run.connection.DesignContext, run.CurrentRefDes.c_str(), &run.PinRec);
    run.ConnectorX = run.PinRec.location.x;
    run.ConnectorY = run.PinRec.location.y;
    run.ConnectorSheet = run.PinRec.layerId;
    run.ConnectorNet = run.PinRec.netId;
    run.connection.LastStatus =
        TGetCompSymbolByRefDes(&run.connection.DesignContext, run.CurrentRefDes.c_str(), &run.SymbolRec);
    run.ConnectorFlipped = run.SymbolRec.flipped;

    Reach scratch;
    if (run.ConnectorTypeName.starts_with(kBusTypePrefix)) {
        if (!findBus(run)) return true;
        run.ListCount = 0;
        // A copy: the field may fill its whole width without a NUL. Cut at a
        // NUL as the host reads it, so that one bus is kept under one name.
        const std::string field = dbx::readField(run.BusRec.busName);
        const std::string busName(field.c_str());
        mergeSheets(run, busSheets(run, reaches, busName, scratch));
    } else {
        run.ListCount = 0;
        std::size_t work = 0;
        bool delivered = false;
        mergeSheets(run, netSheets(run, reaches, run.ConnectorNet, scratch, work, delivered));
    }
    if (run.ListCount == 0) return true;

    sortSheets(run);
    if (!isMoreRows(run)) {
        Build_OneRow(run);
        return true;
    }
    return Build_MoreRows(run);
}

}  // namespace

bool Update_Connectors(Run& run) {
    run.PlacedTexts.clear();
    run.PassEndedEarly = false;
    run.BusDistance = busDistanceFor(run);
    run.StyleIndex = Selected_StyleIndex(run);
    Delete_OwnTexts(run);
    Calibrate_Widths(run);

    Reaches reaches;
    int32_t component = 0;
    run.connection.LastStatus = TGetFirstComponent(&run.connection.DesignContext, &run.ComponentRec);
    while (run.connection.LastStatus == dbx::kStatusOk) {
        const std::size_t before = run.PlacedTexts.size();
        const bool goOn = handleComponent(run, reaches);
        for (std::size_t k = before; k < run.PlacedTexts.size(); ++k)
            run.PlacedTexts[k].component = component;
        if (!goOn) {
            run.PassEndedEarly = true;
            return false;
        }
        ++component;
        run.connection.LastStatus = TGetNextComponent(&run.connection.DesignContext, &run.ComponentRec);
    }
    return true;
}

}  // namespace orlune

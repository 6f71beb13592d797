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
    if (run.settings.UnitCode != 1 && run.settings.UnitCode != 2 && run.settings.UnitCode != 4) return 0;
    return To_DbUnits(run, run.settings.BusDistanceByUnit[static_cast<std::size_t>(run.settings.UnitCode)]).value_or(0);
}

// Looks on the connector's own sheet for a vertical bus that ends at the
// connector's height, on the side its text faces; fills BusRec with it.
bool findBus(Run& run) {
    run.connection.LastStatus =
        TGetFirstLayerItem(&run.connection.DesignContext, run.connector.ConnectorSheet, &run.records.ItemRec);
    while (run.connection.LastStatus == dbx::kStatusOk) {
        if (run.records.ItemRec.itemKind == dbx::kItemBus) {
            run.records.BusRec = run.records.ItemRec.busPart;
            const dbx::BusRecord& bus = run.records.BusRec;
            if (bus.x1 == bus.x2 && (run.connector.ConnectorY == bus.y1 || run.connector.ConnectorY == bus.y2)) {
                // Signed on purpose: a bus behind the pin is accepted at any
                // distance. 64 bits keep far coordinates from wrapping.
                const int64_t distance = run.connector.ConnectorFlipped == 0
                                             ? int64_t{bus.x1} - run.connector.ConnectorX
                                             : int64_t{run.connector.ConnectorX} - bus.x1;
                if (distance <= run.settings.BusDistance) return true;
            }
        }
        run.connection.LastStatus = TGetNextLayerItem(&run.connection.DesignContext, &run.records.ItemRec);
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
        run.records.ItemRec = *reach.lastItem;
        run.connector.NodeSheet = reach.nodeSheet;
    }
    if (reach.lastNet) run.records.NetRec = *reach.lastNet;
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
    for (int32_t i = 0; i < run.list.ListCount; ++i) {
        const int32_t sheet = run.list.SheetList[static_cast<std::size_t>(i)];
        if (inRange(sheet)) listed[static_cast<std::size_t>(sheet)] = true;
    }
    if (inRange(run.connector.ConnectorSheet)) listed[static_cast<std::size_t>(run.connector.ConnectorSheet)] = true;

    for (const int32_t sheet : sheets) {
        // A full list cannot occur with at most 100 sheets; the guard keeps
        // a malformed design from writing past it.
        if (run.list.ListCount >= kSheetListSize) return;
        bool known = false;
        if (inRange(sheet)) {
            known = listed[static_cast<std::size_t>(sheet)];
        } else {
            known = sheet == run.connector.ConnectorSheet;
            for (int32_t i = 0; i < run.list.ListCount && !known; ++i) {
                known = run.list.SheetList[static_cast<std::size_t>(i)] == sheet;
            }
        }
        if (known) continue;
        run.list.SheetList[static_cast<std::size_t>(run.list.ListCount)] = sheet;
        ++run.list.ListCount;
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
    run.connection.LastStatus = TGetFirstNetNode(&run.connection.DesignContext, netId, &run.records.ItemRec);
    while (run.connection.LastStatus == dbx::kStatusOk) {
        run.connector.NodeSheet = run.records.ItemRec.pinPart.layerId;
        if (seen.insert(run.connector.NodeSheet).second) scratch.sheets.push_back(run.connector.NodeSheet);
        ++nodes;
        run.connection.LastStatus = TGetNextNetNode(&run.connection.DesignContext, &run.records.ItemRec);
    }
    work += nodes + 1;
    delivered = delivered || nodes > 0;
    if (nodes < kKeptWalk) return scratch.sheets;
    scratch.lastItem = std::make_unique<dbx::ItemRecord>(run.records.ItemRec);
    scratch.nodeSheet = run.connector.NodeSheet;
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
    run.connection.LastStatus = TGetFirstBusNet(&run.connection.DesignContext, busName.c_str(), &run.records.NetRec);
    while (run.connection.LastStatus == dbx::kStatusOk) {
        bus.lastNet = run.records.NetRec;
        addDistinct(bus.sheets, seen, netSheets(run, reaches, run.records.NetRec.netId, scratch, work, delivered));
        run.connection.LastStatus = TGetNextBusNet(&run.connection.DesignContext, &run.records.NetRec);
        ++work;
    }
    bus.status = run.connection.LastStatus;
    if (work < kKeptWalk) {
        scratch = std::move(bus);
        return scratch.sheets;
    }
    if (delivered) {
        bus.lastItem = std::make_unique<dbx::ItemRecord>(run.records.ItemRec);
        bus.nodeSheet = run.connector.NodeSheet;
    }
    return reaches.buses.emplace(busName, std::move(bus)).first->second.sheets;
}

void sortSheets(Run& run) {
    for (int32_t i = 0; i < run.list.ListCount; ++i) {
        for (int32_t j = i; j < run.list.ListCount; ++j) {
            auto& a = run.list.SheetList[static_cast<std::size_t>(i)];
            auto& b = run.list.SheetList[static_cast<std::size_t>(j)];
            if (b < a) std::swap(a, b);
        }
    }
}

// True for a more-rows connector: it carries "SH_TYPE" with the value "1".
bool isMoreRows(Run& run) {
    run.connector.ShTypeFound = 0;
    run.connection.LastStatus = TGetFirstCompAttribute(&run.connection.DesignContext,
                                                       run.connector.CurrentRefDes.c_str(), &run.records.AttributeRec);
    while (run.connection.LastStatus == dbx::kStatusOk) {
        if (Trim_Nul(dbx::readField(run.records.AttributeRec.name)) == "SH_TYPE") {
            run.connector.ShTypeFound = 1;
            break;
        }
        run.connection.LastStatus = TGetNextCompAttribute(&run.connection.DesignContext, &run.records.AttributeRec);
    }
    return run.connector.ShTypeFound == 1 && Trim_Nul(dbx::readField(run.records.AttributeRec.value)) == "1";
}

// Handles the component in hand; false when the pass must end.
bool handleComponent(Run& run, Reaches& reaches) {
    if (run.records.ComponentRec.compKind != dbx::kCompSheetConnector) return true;
    run.connector.CurrentRefDes = Trim_Nul(dbx::readField(run.records.ComponentRec.refDes));
    run.connector.ConnectorTypeName = Trim_Nul(dbx::readField(run.records.ComponentRec.compType));

    run.connection.LastStatus =
        TGetFirstCompPin(&run.connection.DesignContext, run.connector.CurrentRefDes.c_str(), &run.records.PinRec);
    run.connector.ConnectorX = run.records.PinRec.location.x;
    run.connector.ConnectorY = run.records.PinRec.location.y;
    run.connector.ConnectorSheet = run.records.PinRec.layerId;
    run.connector.ConnectorNet = run.records.PinRec.netId;
    run.connection.LastStatus = TGetCompSymbolByRefDes(&run.connection.DesignContext,
                                                       run.connector.CurrentRefDes.c_str(), &run.records.SymbolRec);
    run.connector.ConnectorFlipped = run.records.SymbolRec.flipped;

    Reach scratch;
    if (run.connector.ConnectorTypeName.starts_with(kBusTypePrefix)) {
        if (!findBus(run)) return true;
        run.list.ListCount = 0;
        // A copy: the field may fill its whole width without a NUL. Cut at a
        // NUL as the host reads it, so that one bus is kept under one name.
        const std::string field = dbx::readField(run.records.BusRec.busName);
        const std::string busName(field.c_str());
        mergeSheets(run, busSheets(run, reaches, busName, scratch));
    } else {
        run.list.ListCount = 0;
        std::size_t work = 0;
        bool delivered = false;
        mergeSheets(run, netSheets(run, reaches, run.connector.ConnectorNet, scratch, work, delivered));
    }
    if (run.list.ListCount == 0) return true;

    sortSheets(run);
    if (!isMoreRows(run)) {
        Build_OneRow(run);
        return true;
    }
    return Build_MoreRows(run);
}

}  // namespace

bool Update_Connectors(Run& run) {
    run.list.PlacedTexts.clear();
    run.list.PassEndedEarly = false;
    run.settings.BusDistance = busDistanceFor(run);
    run.settings.StyleIndex = Selected_StyleIndex(run);
    Delete_OwnTexts(run);
    Calibrate_Widths(run);

    Reaches reaches;
    int32_t component = 0;
    run.connection.LastStatus = TGetFirstComponent(&run.connection.DesignContext, &run.records.ComponentRec);
    while (run.connection.LastStatus == dbx::kStatusOk) {
        const std::size_t before = run.list.PlacedTexts.size();
        const bool goOn = handleComponent(run, reaches);
        for (std::size_t k = before; k < run.list.PlacedTexts.size(); ++k)
            run.list.PlacedTexts[k].component = component;
        if (!goOn) {
            run.list.PassEndedEarly = true;
            return false;
        }
        ++component;
        run.connection.LastStatus = TGetNextComponent(&run.connection.DesignContext, &run.records.ComponentRec);
    }
    return true;
}

}  // namespace orlune

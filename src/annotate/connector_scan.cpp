#include "annotate/connector_scan.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "annotate/sheet_text.h"
#include "annotate/text_place.h"
#include "dbx/dbx32.h"
#include "dbx/records.h"
#include "settings/units.h"
#include "ui/run.h"

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
    run.LastStatus = TGetFirstLayerItem(&run.DesignContext, run.ConnectorSheet, &run.ItemRec);
    while (run.LastStatus == dbx::kStatusOk) {
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
        run.LastStatus = TGetNextLayerItem(&run.DesignContext, &run.ItemRec);
    }
    return false;
}

// Adds the sheets of the net's nodes that the list lacks, in node order.
void collectSheets(Run& run, int32_t netId) {
    // The sheets 0..100 that are listed (or the connector's own) at a
    // glance: scanning the list at every node made a net that reaches every
    // sheet cost the square of the design.
    std::array<bool, kSheetListSize + 1> listed{};
    const auto inRange = [](int32_t sheet) { return sheet >= 0 && sheet <= kSheetListSize; };
    for (int32_t i = 0; i < run.ListCount; ++i) {
        const int32_t sheet = run.SheetList[static_cast<std::size_t>(i)];
        if (inRange(sheet)) listed[static_cast<std::size_t>(sheet)] = true;
    }
    if (inRange(run.ConnectorSheet)) listed[static_cast<std::size_t>(run.ConnectorSheet)] = true;

    run.LastStatus = TGetFirstNetNode(&run.DesignContext, netId, &run.ItemRec);
    while (run.LastStatus == dbx::kStatusOk) {
        run.NodeSheet = run.ItemRec.pinPart.layerId;
        bool known = false;
        if (inRange(run.NodeSheet)) {
            known = listed[static_cast<std::size_t>(run.NodeSheet)];
        } else {
            known = run.NodeSheet == run.ConnectorSheet;
            for (int32_t i = 0; i < run.ListCount && !known; ++i) {
                known = run.SheetList[static_cast<std::size_t>(i)] == run.NodeSheet;
            }
        }
        // A full list cannot occur with at most 100 sheets; the guard keeps
        // a malformed design from writing past it.
        if (!known && run.ListCount < kSheetListSize) {
            run.SheetList[static_cast<std::size_t>(run.ListCount)] = run.NodeSheet;
            ++run.ListCount;
            if (inRange(run.NodeSheet)) listed[static_cast<std::size_t>(run.NodeSheet)] = true;
        }
        run.LastStatus = TGetNextNetNode(&run.DesignContext, &run.ItemRec);
    }
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
    run.LastStatus = TGetFirstCompAttribute(&run.DesignContext, run.CurrentRefDes.c_str(), &run.AttributeRec);
    while (run.LastStatus == dbx::kStatusOk) {
        if (Trim_Nul(dbx::readField(run.AttributeRec.name)) == "SH_TYPE") {
            run.ShTypeFound = 1;
            break;
        }
        run.LastStatus = TGetNextCompAttribute(&run.DesignContext, &run.AttributeRec);
    }
    return run.ShTypeFound == 1 && Trim_Nul(dbx::readField(run.AttributeRec.value)) == "1";
}

// Handles the component in hand; false when the pass must end.
bool handleComponent(Run& run) {
    if (run.ComponentRec.compKind != dbx::kCompSheetConnector) return true;
    run.CurrentRefDes = Trim_Nul(dbx::readField(run.ComponentRec.refDes));
    run.ConnectorTypeName = Trim_Nul(dbx::readField(run.ComponentRec.compType));

    run.LastStatus = TGetFirstCompPin(&run.DesignContext, run.CurrentRefDes.c_str(), &run.PinRec);
    run.ConnectorX = run.PinRec.location.x;
    run.ConnectorY = run.PinRec.location.y;
    run.ConnectorSheet = run.PinRec.layerId;
    run.ConnectorNet = run.PinRec.netId;
    run.LastStatus = TGetCompSymbolByRefDes(&run.DesignContext, run.CurrentRefDes.c_str(), &run.SymbolRec);
    run.ConnectorFlipped = run.SymbolRec.flipped;

    if (run.ConnectorTypeName.starts_with(kBusTypePrefix)) {
        if (!findBus(run)) return true;
        run.ListCount = 0;
        // A copy: the field may fill its whole width without a NUL.
        const std::string busName = dbx::readField(run.BusRec.busName);
        run.LastStatus = TGetFirstBusNet(&run.DesignContext, busName.c_str(), &run.NetRec);
        while (run.LastStatus == dbx::kStatusOk) {
            collectSheets(run, run.NetRec.netId);
            run.LastStatus = TGetNextBusNet(&run.DesignContext, &run.NetRec);
        }
    } else {
        run.ListCount = 0;
        collectSheets(run, run.ConnectorNet);
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

    int32_t component = 0;
    run.LastStatus = TGetFirstComponent(&run.DesignContext, &run.ComponentRec);
    while (run.LastStatus == dbx::kStatusOk) {
        const std::size_t before = run.PlacedTexts.size();
        const bool goOn = handleComponent(run);
        for (std::size_t k = before; k < run.PlacedTexts.size(); ++k)
            run.PlacedTexts[k].component = component;
        if (!goOn) {
            run.PassEndedEarly = true;
            return false;
        }
        ++component;
        run.LastStatus = TGetNextComponent(&run.DesignContext, &run.ComponentRec);
    }
    return true;
}

}  // namespace orlune

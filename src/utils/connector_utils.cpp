#include "utils/connector_utils.h"

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "dbx/dbx32.h"
#include "run/run.h"
#include "settings/units.h"

namespace orlune {

namespace {

constexpr int32_t kHighlightColour = 15;
constexpr std::string_view kShType = "SH_TYPE";

// The status page shows these; a wrapped count would show a negative number.
void countOne(int32_t& counter) {
    if (counter < std::numeric_limits<int32_t>::max()) ++counter;
}

template <std::size_t N>
std::string fieldText(const char (&field)[N]) {
    return Trim_Nul(std::string_view(field, N));
}

template <std::size_t N>
void setCurrentRefDes(Run& run, const char (&refDes)[N]) {
    run.connector.CurrentRefDes = fieldText(refDes);
    run.connector.CurrentRefDes.push_back('\0');
}

// What the component walk and the selection walk do for each connector.
void visitConnector(Run& run, const int16_t& index) {
    run.counts.ConnectorFound = 1;
    run.connector.ShTypeFound = 0;
    run.connection.LastStatus = TGetFirstCompAttribute(&run.connection.DesignContext,
                                                       run.connector.CurrentRefDes.c_str(), &run.records.AttributeRec);
    Connector_Action(run, index);
    if (run.connector.ShTypeFound == 0) run.counts.ShTypeMissing = 1;
}

void walkComponents(Run& run, const int16_t& index) {
    int32_t status = TGetFirstComponent(&run.connection.DesignContext, &run.records.ComponentRec);
    run.connection.LastStatus = status;
    while (status == dbx::kStatusOk) {
        if (run.records.ComponentRec.compKind == dbx::kCompSheetConnector) {
            setCurrentRefDes(run, run.records.ComponentRec.refDes);
            visitConnector(run, index);
        }
        status = TGetNextComponent(&run.connection.DesignContext, &run.records.ComponentRec);
        run.connection.LastStatus = status;
    }
}

// Answers false when nothing is selected.
bool walkSelection(Run& run, const int16_t& index) {
    int32_t status = TGetFirstSelectedItem(&run.connection.DesignContext, &run.records.ItemRec);
    run.connection.LastStatus = status;
    if (status != dbx::kStatusOk) return false;
    while (status == dbx::kStatusOk) {
        if (run.records.ItemRec.itemKind == dbx::kItemSymbol) {
            run.records.SymbolRec = run.records.ItemRec.symbolPart;
            setCurrentRefDes(run, run.records.SymbolRec.refDes);
            run.connection.LastStatus = TGetCompByRefDes(
                &run.connection.DesignContext, run.connector.CurrentRefDes.c_str(), &run.records.ComponentRec);
            // A failed look-up leaves the previous component in the record;
            // taking its kind would treat this symbol as that component.
            if (run.connection.LastStatus == dbx::kStatusOk &&
                run.records.ComponentRec.compKind == dbx::kCompSheetConnector) {
                visitConnector(run, index);
            }
        }
        status = TGetNextSelectedItem(&run.connection.DesignContext, &run.records.ItemRec);
        run.connection.LastStatus = status;
    }
    return true;
}

void warn(Run& run, const char* text) {
    run.platform.messageBox(text, "Warning", Icon::Warning, Buttons::Ok);
}

void inform(Run& run, const char* text) {
    run.platform.messageBox(text, "Information", Icon::Information, Buttons::Ok);
}

}  // namespace

void Run_Utility(Run& run, const int16_t& index) {
    run.counts.ConnectorFound = 0;
    run.counts.ShTypeMissing = 0;
    run.counts.HighlightedFound = 0;

    if (index == kUtilInvertSelected) {
        if (!walkSelection(run, index)) {
            warn(run, "SHEET connectors are not selected !!!");
            return;
        }
    } else {
        walkComponents(run, index);
    }

    if (index == kUtilCount) return;
    if (run.counts.ConnectorFound == 0) {
        warn(run, index == kUtilInvertSelected ? "SHEET connectors are not selected !!!"
                                               : "This design doesn't contain SHEET connectors !!!");
        return;
    }
    if (index == kUtilInvertHighlighted && run.counts.HighlightedFound == 0) {
        warn(run, "SHEET connectors are not highlighted !!!");
        return;
    }
    if (index >= kUtilHighlightOneRow && index <= kUtilInvertSelected && run.counts.ShTypeMissing == 1) {
        inform(run, "Design contains SHEET conn. without SH_TYPE attribute");
        return;
    }
    if (index == kUtilAddAttribute && run.counts.ShTypeMissing == 0) {
        inform(run, "All SHEET conn. already have SH_TYPE attribute");
    }
}

void Connector_Action(Run& run, const int16_t& index) {
    while (run.connection.LastStatus == dbx::kStatusOk) {
        if (fieldText(run.records.AttributeRec.name) == kShType) {
            run.connector.ShTypeFound = 1;
            break;
        }
        run.connection.LastStatus = TGetNextCompAttribute(&run.connection.DesignContext, &run.records.AttributeRec);
    }

    const std::string value = fieldText(run.records.AttributeRec.value);
    const bool found = run.connector.ShTypeFound == 1;
    switch (index) {
        case kUtilHighlightOneRow:
            if (value == "0" || !found) Highlight_Connector(run);
            break;
        case kUtilHighlightMoreRows:
            if (value == "1" && found) Highlight_Connector(run);
            break;
        case kUtilInvertHighlighted:
            if (found) {
                run.connection.LastStatus = TGetCompSymbolByRefDes(
                    &run.connection.DesignContext, run.connector.CurrentRefDes.c_str(), &run.records.SymbolRec);
                // Without a fresh symbol the record still shows the previous
                // connector's highlight, which must not invert this one.
                if (run.connection.LastStatus == dbx::kStatusOk && run.records.SymbolRec.highlighted != 0) {
                    Invert_ShType(run);
                    run.counts.HighlightedFound = 1;
                }
            }
            break;
        case kUtilInvertSelected:
            if (found) Invert_ShType(run);
            break;
        case kUtilAddAttribute:
            if (!found) {
                dbx::writeField(run.records.AttributeRec.name, kShType);
                dbx::writeField(run.records.AttributeRec.value, "0");
                run.records.AttributeRec.attrFlag1 = 0;
                run.records.AttributeRec.attrFlag2 = 0;
                run.connection.LastStatus = TAddCompAttribute(
                    &run.connection.DesignContext, run.connector.CurrentRefDes.c_str(), &run.records.AttributeRec);
            }
            break;
        case kUtilCount:
            if (found) {
                countOne(value == "1" ? run.counts.MoreRowsCount : run.counts.OneRowCount);
            } else {
                countOne(run.counts.NoShTypeCount);
                countOne(run.counts.OneRowCount);
            }
            break;
        default:
            break;
    }
}

void Highlight_Connector(Run& run) {
    run.connection.LastStatus = TGetCompSymbolByRefDes(&run.connection.DesignContext,
                                                       run.connector.CurrentRefDes.c_str(), &run.records.SymbolRec);
    // A failed look-up leaves another connector's symbol in the record.
    if (run.connection.LastStatus != dbx::kStatusOk) return;
    run.connection.LastStatus =
        THighlightSymbol(&run.connection.DesignContext, kHighlightColour, &run.records.SymbolRec);
}

void Invert_ShType(Run& run) {
    const std::string old = fieldText(run.records.AttributeRec.value);
    dbx::writeField(run.records.AttributeRec.value, old == "0" ? "1" : "0");
    run.connection.LastStatus = TModifyCompAttribute(&run.connection.DesignContext, run.connector.CurrentRefDes.c_str(),
                                                     &run.records.AttributeRec);
}

}  // namespace orlune

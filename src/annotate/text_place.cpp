#include "annotate/text_place.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "dbx/dbx32.h"
#include "dbx/records.h"
#include "run/run.h"
#include "settings/units.h"

namespace orlune {

namespace {

constexpr int32_t kJustifyLeft = 6;   // the text ends at its point
constexpr int32_t kJustifyRight = 4;  // the text starts at its point

bool fitsInt32(int64_t v) {
    return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

// The own-text test works on the raw field: the first character decides,
// exactly as the text was stored.
bool isOwnText(const dbx::TextRecord& text) {
    return text.text[0] == '@';
}
bool isTooLongText(const dbx::TextRecord& text) {
    return text.text[0] == '@' && text.text[1] == '@';
}

// Copies the text part of the item in hand into the shared text record when
// the item is a free text; answers whether it was one.
bool takeTextItem(Run& run) {
    if (run.records.ItemRec.itemKind != dbx::kItemText) return false;
    run.records.TextRec = run.records.ItemRec.textPart;
    return true;
}

void recordPlaced(Run& run, const std::string& text) {
    const auto count = std::clamp(run.list.ListCount, int32_t{0}, int32_t{kSheetListSize});
    std::vector<int32_t> sheets(run.list.SheetList.begin(), run.list.SheetList.begin() + count);
    run.list.PlacedTexts.push_back({-1, run.connector.CurrentRefDes, run.records.TextRec.layerId,
                                    run.records.TextRec.location.x, run.records.TextRec.location.y,
                                    run.records.TextRec.justification, text, std::move(sheets)});
}

}  // namespace

void Count_Sheets(Run& run) {
    run.counts.SheetCount = 0;
    run.connection.LastStatus = TGetFirstLayer(&run.connection.DesignContext, &run.records.LayerRec);
    while (run.connection.LastStatus == dbx::kStatusOk) {
        if (run.records.LayerRec.layerId != 0) ++run.counts.SheetCount;
        run.connection.LastStatus = TGetNextLayer(&run.connection.DesignContext, &run.records.LayerRec);
    }
}

void Place_SheetText(Run& run) {
    // The distances are user settings: a connector near the edge of the
    // coordinate range could push its text past 32 bits, where it would wrap
    // to the far side of the design.
    const bool toTheLeft = run.connector.ConnectorFlipped == 0;
    const int64_t x = toTheLeft ? int64_t{run.connector.ConnectorX} - run.settings.LeftStart
                                : int64_t{run.connector.ConnectorX} + run.settings.RightStart;
    if (!fitsInt32(x)) {
        run.platform.messageBox("Text of " + run.connector.CurrentRefDes + " lies outside the design's coordinates",
                                "Warning", Icon::Warning, Buttons::Ok);
        return;
    }

    run.records.TextRec.layerId = run.connector.ConnectorSheet;
    run.records.TextRec.location.y = run.connector.ConnectorY;
    run.records.TextRec.location.x = static_cast<int32_t>(x);
    run.records.TextRec.justification = toTheLeft ? kJustifyLeft : kJustifyRight;
    // A text of the field's full width goes without its NUL; the host reads
    // it to the field's end.
    dbx::writeField(run.records.TextRec.text, run.list.SheetText);
    run.connection.LastStatus = TPlaceText(&run.connection.DesignContext, &run.records.TextRec);
    if (run.connection.LastStatus == dbx::kStatusOk) {
        recordPlaced(run, run.list.SheetText.substr(0, sizeof run.records.TextRec.text));
        return;
    }
    if (run.connection.LastStatus != dbx::kStatusTextTooLong) return;

    dbx::writeField(run.records.TextRec.text, "@@");
    run.connection.LastStatus = TPlaceText(&run.connection.DesignContext, &run.records.TextRec);
    if (run.connection.LastStatus == dbx::kStatusOk) recordPlaced(run, "@@");
}

void Measure_Text(Run& run, const std::string& trial) {
    dbx::writeField(run.records.TextRec.text, trial);
    // The placement's status is not consulted: a host may answer a warning
    // and still have placed the text, which must not stay in the design.
    run.connection.LastStatus = TPlaceText(&run.connection.DesignContext, &run.records.TextRec);
    const dbx::TextRecord prepared = run.records.TextRec;

    run.list.MeasuredWidth = 0;
    // Only the trial text itself may be measured and deleted. When the host
    // did not place it, the search ends on some other text (or none), and
    // deleting what the record then describes would remove a user's text.
    if (Locate_OwnText(run, 1) == 1 && Trim_Nul(dbx::readField(run.records.TextRec.text)) == trial) {
        const int64_t width = int64_t{run.records.TextRec.bounds.x2} - run.records.TextRec.bounds.x1;
        run.list.MeasuredWidth = fitsInt32(width) ? static_cast<int32_t>(width)
                                 : width < 0      ? std::numeric_limits<int32_t>::min()
                                                  : std::numeric_limits<int32_t>::max();
        run.connection.LastStatus = TDeleteText(&run.connection.DesignContext, &run.records.TextRec);
        return;
    }
    // Keep the record as the calibration prepared it, so that the texts of
    // this pass still carry the chosen style rather than a stranger's.
    run.records.TextRec = prepared;
}

int Locate_OwnText(Run& run, int16_t keepStyle) {
    for (int32_t n = 1; n <= run.counts.SheetCount; ++n) {
        run.connection.LastStatus = TGetFirstLayerItem(&run.connection.DesignContext, n, &run.records.ItemRec);
        while (run.connection.LastStatus == dbx::kStatusOk) {
            if (takeTextItem(run) && isOwnText(run.records.TextRec)) {
                if (keepStyle == 0) run.settings.StyleIndex = run.records.TextRec.textStyleId;
                return 1;
            }
            run.connection.LastStatus = TGetNextLayerItem(&run.connection.DesignContext, &run.records.ItemRec);
        }
    }
    return 0;
}

void Delete_OwnTexts(Run& run) {
    // Layer 0 is walked too: own texts may have been put there by hand.
    for (int32_t n = 0; n <= run.counts.SheetCount; ++n) {
        run.connection.LastStatus = TGetFirstLayerItem(&run.connection.DesignContext, n, &run.records.ItemRec);
        while (run.connection.LastStatus == dbx::kStatusOk) {
            if (takeTextItem(run) && isOwnText(run.records.TextRec)) {
                run.connection.LastStatus = TDeleteItem(&run.connection.DesignContext, &run.records.ItemRec);
            }
            run.connection.LastStatus = TGetNextLayerItem(&run.connection.DesignContext, &run.records.ItemRec);
        }
    }
}

void Count_OwnTexts(Run& run) {
    run.counts.AssignedCount = 0;
    run.counts.TooLongCount = 0;
    for (int32_t n = 1; n <= run.counts.SheetCount; ++n) {
        run.connection.LastStatus = TGetFirstLayerItem(&run.connection.DesignContext, n, &run.records.ItemRec);
        while (run.connection.LastStatus == dbx::kStatusOk) {
            if (takeTextItem(run) && isOwnText(run.records.TextRec)) {
                if (isTooLongText(run.records.TextRec)) {
                    ++run.counts.TooLongCount;
                } else {
                    ++run.counts.AssignedCount;
                }
            }
            run.connection.LastStatus = TGetNextLayerItem(&run.connection.DesignContext, &run.records.ItemRec);
        }
    }
}

}  // namespace orlune

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
    if (run.ItemRec.itemKind != dbx::kItemText) return false;
    run.TextRec = run.ItemRec.textPart;
    return true;
}

void recordPlaced(Run& run, const std::string& text) {
    const auto count = std::clamp(run.ListCount, int32_t{0}, int32_t{kSheetListSize});
    std::vector<int32_t> sheets(run.SheetList.begin(), run.SheetList.begin() + count);
    run.PlacedTexts.push_back({-1, run.CurrentRefDes, run.TextRec.layerId, run.TextRec.location.x,
                               run.TextRec.location.y, run.TextRec.justification, text, std::move(sheets)});
}

}  // namespace

void Count_Sheets(Run& run) {
    run.SheetCount = 0;
    run.connection.LastStatus = TGetFirstLayer(&run.connection.DesignContext, &run.LayerRec);
    while (run.connection.LastStatus == dbx::kStatusOk) {
        if (run.LayerRec.layerId != 0) ++run.SheetCount;
        run.connection.LastStatus = TGetNextLayer(&run.connection.DesignContext, &run.LayerRec);
    }
}

void Place_SheetText(Run& run) {
    // The distances are user settings: a connector near the edge of the
    // coordinate range could push its text past 32 bits, where it would wrap
    // to the far side of the design.
    const bool toTheLeft = run.ConnectorFlipped == 0;
    const int64_t x = toTheLeft ? int64_t{run.ConnectorX} - run.LeftStart : int64_t{run.ConnectorX} + run.RightStart;
    if (!fitsInt32(x)) {
        run.platform.messageBox("Text of " + run.CurrentRefDes + " lies outside the design's coordinates", "Warning",
                                Icon::Warning, Buttons::Ok);
        return;
    }

    run.TextRec.layerId = run.ConnectorSheet;
    run.TextRec.location.y = run.ConnectorY;
    run.TextRec.location.x = static_cast<int32_t>(x);
    run.TextRec.justification = toTheLeft ? kJustifyLeft : kJustifyRight;
    // A text of the field's full width goes without its NUL; the host reads
    // it to the field's end.
    dbx::writeField(run.TextRec.text, run.SheetText);
    run.connection.LastStatus = TPlaceText(&run.connection.DesignContext, &run.TextRec);
    if (run.connection.LastStatus == dbx::kStatusOk) {
        recordPlaced(run, run.SheetText.substr(0, sizeof run.TextRec.text));
        return;
    }
    if (run.connection.LastStatus != dbx::kStatusTextTooLong) return;

    dbx::writeField(run.TextRec.text, "@@");
    run.connection.LastStatus = TPlaceText(&run.connection.DesignContext, &run.TextRec);
    if (run.connection.LastStatus == dbx::kStatusOk) recordPlaced(run, "@@");
}

void Measure_Text(Run& run, const std::string& trial) {
    dbx::writeField(run.TextRec.text, trial);
    // The placement's status is not consulted: a host may answer a warning
    // and still have placed the text, which must not stay in the design.
    run.connection.LastStatus = TPlaceText(&run.connection.DesignContext, &run.TextRec);
    const dbx::TextRecord prepared = run.TextRec;

    run.MeasuredWidth = 0;
    // Only the trial text itself may be measured and deleted. When the host
    // did not place it, the search ends on some other text (or none), and
    // deleting what the record then describes would remove a user's text.
    if (Locate_OwnText(run, 1) == 1 && Trim_Nul(dbx::readField(run.TextRec.text)) == trial) {
        const int64_t width = int64_t{run.TextRec.bounds.x2} - run.TextRec.bounds.x1;
        run.MeasuredWidth = fitsInt32(width) ? static_cast<int32_t>(width)
                            : width < 0      ? std::numeric_limits<int32_t>::min()
                                             : std::numeric_limits<int32_t>::max();
        run.connection.LastStatus = TDeleteText(&run.connection.DesignContext, &run.TextRec);
        return;
    }
    // Keep the record as the calibration prepared it, so that the texts of
    // this pass still carry the chosen style rather than a stranger's.
    run.TextRec = prepared;
}

int Locate_OwnText(Run& run, int16_t keepStyle) {
    for (int32_t n = 1; n <= run.SheetCount; ++n) {
        run.connection.LastStatus = TGetFirstLayerItem(&run.connection.DesignContext, n, &run.ItemRec);
        while (run.connection.LastStatus == dbx::kStatusOk) {
            if (takeTextItem(run) && isOwnText(run.TextRec)) {
                if (keepStyle == 0) run.StyleIndex = run.TextRec.textStyleId;
                return 1;
            }
            run.connection.LastStatus = TGetNextLayerItem(&run.connection.DesignContext, &run.ItemRec);
        }
    }
    return 0;
}

void Delete_OwnTexts(Run& run) {
    // Layer 0 is walked too: own texts may have been put there by hand.
    for (int32_t n = 0; n <= run.SheetCount; ++n) {
        run.connection.LastStatus = TGetFirstLayerItem(&run.connection.DesignContext, n, &run.ItemRec);
        while (run.connection.LastStatus == dbx::kStatusOk) {
            if (takeTextItem(run) && isOwnText(run.TextRec)) {
                run.connection.LastStatus = TDeleteItem(&run.connection.DesignContext, &run.ItemRec);
            }
            run.connection.LastStatus = TGetNextLayerItem(&run.connection.DesignContext, &run.ItemRec);
        }
    }
}

void Count_OwnTexts(Run& run) {
    run.AssignedCount = 0;
    run.TooLongCount = 0;
    for (int32_t n = 1; n <= run.SheetCount; ++n) {
        run.connection.LastStatus = TGetFirstLayerItem(&run.connection.DesignContext, n, &run.ItemRec);
        while (run.connection.LastStatus == dbx::kStatusOk) {
            if (takeTextItem(run) && isOwnText(run.TextRec)) {
                if (isTooLongText(run.TextRec)) {
                    ++run.TooLongCount;
                } else {
                    ++run.AssignedCount;
                }
            }
            run.connection.LastStatus = TGetNextLayerItem(&run.connection.DesignContext, &run.ItemRec);
        }
    }
}

}  // namespace orlune

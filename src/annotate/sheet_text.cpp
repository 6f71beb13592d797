#include "annotate/sheet_text.h"

#include <cstdint>
#include <limits>
#include <string>

#include "annotate/text_place.h"
#include "dbx/records.h"
#include "run/run.h"

namespace orlune {

namespace {

constexpr int32_t kJustifyLeft = 6;

int32_t saturate(int64_t v) {
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(v);
}

// Half of a coordinate, to the nearest whole number; an exact half goes to
// the even neighbour.
int32_t halfToEven(int32_t v) {
    const int64_t wide = v;
    int64_t floorHalf = wide >= 0 ? wide / 2 : -((-wide + 1) / 2);
    if (wide % 2 != 0 && floorHalf % 2 != 0) ++floorHalf;
    return static_cast<int32_t>(floorHalf);
}

// Widths of a number with its comma: three digits are counted as two.
int64_t numberWidth(const Run& run, int32_t sheet) {
    return sheet < 10 ? run.list.WidthOneDigit : run.list.WidthTwoDigits;
}

int32_t sheetAt(const Run& run, int32_t position) {
    return run.list.SheetList[static_cast<std::size_t>(position - 1)];
}

// The last position of the entry that starts at `position`: with ranges on,
// the end of a run of three or more consecutive sheets ("3-7"); else
// `position` itself. Rows break only between entries.
int32_t entryEnd(const Run& run, int32_t position) {
    if (!run.settings.Ranges) return position;
    int32_t end = position;
    while (end < run.list.ListCount && int64_t{sheetAt(run, end + 1)} == int64_t{sheetAt(run, end)} + 1)
        ++end;
    return end - position >= 2 ? end : position;
}

// The width of an entry with its comma.
int64_t entryWidth(const Run& run, int32_t start, int32_t end) {
    const int64_t last = numberWidth(run, sheetAt(run, end));
    if (start == end) return last;
    return numberWidth(run, sheetAt(run, start)) - run.list.WidthOneDigit + run.list.WidthDigitDash + last;
}

void appendEntry(Run& run, int32_t start, int32_t end) {
    run.list.SheetText += std::to_string(sheetAt(run, start));
    if (end != start) run.list.SheetText += '-' + std::to_string(sheetAt(run, end));
}

}  // namespace

int32_t Selected_StyleIndex(const Run& run) {
    const int index = run.form.at("cboTextStyle").listIndex;
    return index < 0 ? 0 : index;
}

void Calibrate_Widths(Run& run) {
    run.settings.StyleIndex = Selected_StyleIndex(run);
    run.records.TextRec.textStyleId = run.settings.StyleIndex;
    run.records.TextRec.layerId = 1;
    run.records.TextRec.justification = kJustifyLeft;
    run.records.TextRec.location.x = halfToEven(run.settings.DesignExtent.x);
    run.records.TextRec.location.y = halfToEven(run.settings.DesignExtent.y);
    run.records.TextRec.textFlag1 = 0;
    run.records.TextRec.textFlag2 = 1;

    Measure_Text(run, "@");
    run.list.WidthAt = run.list.MeasuredWidth;
    Measure_Text(run, "@2,");
    run.list.WidthOneDigit = saturate(int64_t{run.list.MeasuredWidth} - run.list.WidthAt);
    Measure_Text(run, "@22,");
    run.list.WidthTwoDigits = saturate(int64_t{run.list.MeasuredWidth} - run.list.WidthAt);
    run.list.WidthDigitDash = run.list.WidthOneDigit;
    if (run.settings.Ranges) {
        Measure_Text(run, "@2-2,");
        run.list.WidthDigitDash = saturate(int64_t{run.list.MeasuredWidth} - run.list.WidthAt - run.list.WidthOneDigit);
    }
}

int32_t Locate_RowEnd(Run& run, int32_t start) {
    // Summed in 64 bits: a list of 99 wide numbers must not wrap to a
    // small width that seems to fit.
    int64_t w = start == 1 ? run.list.WidthAt : 0;
    int32_t c = start;
    int32_t last = start;  // where the entry added last begins
    int32_t end = 0;
    for (;;) {
        if (c > run.list.ListCount) {
            end = w <= run.settings.MaxRowLength ? run.list.ListCount : last - 1;
            break;
        }
        if (w > run.settings.MaxRowLength) {
            end = last - 1;
            break;
        }
        const int32_t entry = entryEnd(run, c);
        w += entryWidth(run, c, entry);
        last = c;
        c = entry + 1;
    }
    if (end < start) {
        run.platform.messageBox("Allowed width is too short\r    for numbers placing\r         (more rows)", "Warning",
                                Icon::Warning, Buttons::Ok);
        return 0;
    }
    return end;
}

void Append_Row(Run& run, int32_t start, int32_t end) {
    for (int32_t k = start; k <= end;) {
        const int32_t entry = entryEnd(run, k);
        appendEntry(run, k, entry);
        if (entry != run.list.ListCount) run.list.SheetText += ',';
        k = entry + 1;
    }
    if (end != run.list.ListCount) run.list.SheetText += "\r\n";
}

void Build_OneRow(Run& run) {
    run.list.SheetText = "@";
    for (int32_t k = 1; k <= run.list.ListCount;) {
        if (k != 1) run.list.SheetText += ',';
        const int32_t entry = entryEnd(run, k);
        appendEntry(run, k, entry);
        k = entry + 1;
    }
    Place_SheetText(run);
}

bool Build_MoreRows(Run& run) {
    run.list.SheetText = "@";
    int32_t start = 1;
    for (;;) {
        const int32_t end = Locate_RowEnd(run, start);
        if (end == 0) return false;
        if (start == 1 && end == run.list.ListCount) {
            Build_OneRow(run);
            return true;
        }
        Append_Row(run, start, end);
        if (end == run.list.ListCount) {
            Place_SheetText(run);
            return true;
        }
        start = end + 1;
    }
}

}  // namespace orlune

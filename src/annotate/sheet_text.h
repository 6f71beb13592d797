// The sheet-list text of a connector, on one row or broken into rows.
#pragma once

#include <cstdint>

namespace orlune {

struct Run;

// The position of the chosen entry of the text style list, from 0; no
// choice counts as the first entry.
int32_t Selected_StyleIndex(const Run& run);

void Calibrate_Widths(Run& run);
// 1-based position of the last number that fits the row starting at `start`,
// or 0 after the "Allowed width is too short" warning.
int32_t Locate_RowEnd(Run& run, int32_t start);
void Append_Row(Run& run, int32_t start, int32_t end);
void Build_OneRow(Run& run);
// The row loop of a more-rows connector; false when the pass must end.
bool Build_MoreRows(Run& run);

}  // namespace orlune

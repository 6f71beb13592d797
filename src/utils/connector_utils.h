// The connector utilities and the connector counts of the status page.
#pragma once

#include <cstdint>

namespace orlune {

struct Run;

// Utility indices: the Command8 array, and 5 for the status counts.
inline constexpr int16_t kUtilHighlightOneRow = 0;
inline constexpr int16_t kUtilHighlightMoreRows = 1;
inline constexpr int16_t kUtilInvertHighlighted = 2;
inline constexpr int16_t kUtilInvertSelected = 3;
inline constexpr int16_t kUtilAddAttribute = 4;
inline constexpr int16_t kUtilCount = 5;

void Run_Utility(Run& run, const int16_t& index);
void Connector_Action(Run& run, const int16_t& index);
void Highlight_Connector(Run& run);
void Invert_ShType(Run& run);

}  // namespace orlune

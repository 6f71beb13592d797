// The update pass: every sheet connector gets the list of the other sheets
// its signal reaches.
#pragma once

namespace orlune {

struct Run;

// Answers false when the pass ended early because a row could not take a
// number (the warning was shown).
bool Update_Connectors(Run& run);

}  // namespace orlune

// The settings tab: key filter, change tracking, entering and leaving.
#pragma once

#include <cstdint>

namespace orlune {

struct Run;

// Passes backspace, ".", digits and "n" (marking the page changed) and
// swallows every other key by setting it to 0.
void Key_Filter(Run& run, int16_t& keyAscii);
void Text1_KeyPress(Run& run, int16_t& keyAscii);
void Text2_KeyPress(Run& run, int16_t& keyAscii);
void Text3_KeyPress(Run& run, int16_t& keyAscii);

// The "ranges" box changed: the page now differs from what is stored.
void Check1_Click(Run& run);

void cboTextStyle_Change(Run& run);

// Runs on every change of SSTab1's selected tab.
void SSTab1_Click(Run& run, int previousTab);

// Selects a tab of SSTab1 and, when that changes the selection, runs
// SSTab1_Click, as the tab control itself does.
void Select_Tab(Run& run, int tab);

}  // namespace orlune

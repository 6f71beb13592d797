// Which page shows and which button gets the focus back.
#pragma once

#include <cstdint>

namespace orlune {

struct Run;

// FocusButton codes.
inline constexpr uint8_t kFocusUpdate = 0;    // Command1
inline constexpr uint8_t kFocusDelete = 1;    // Command6
inline constexpr uint8_t kFocusExit = 2;      // Command3
inline constexpr uint8_t kFocusStatusOk = 3;  // Command9
inline constexpr uint8_t kFocusUtilsOk = 4;   // Command11

// ActivePage codes.
inline constexpr uint8_t kPageMain = 1;
inline constexpr uint8_t kPageUtils = 2;
inline constexpr uint8_t kPageStatus = 3;
inline constexpr uint8_t kPageSettings = 4;

// Shows or hides the six main buttons; showing them puts the focus on Exit.
void En_DisableMainMenu(Run& run, bool show);

// Puts the focus on the button that FocusButton names.
void Restore_Focus(Run& run);

}  // namespace orlune

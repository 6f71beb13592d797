// The window's command handlers: guard, busy caption, pass, focus.
#pragma once

#include <cstdint>

namespace orlune {

struct Run;

void Command1_Click(Run& run);   // Update
void Command6_Click(Run& run);   // Delete
void Command10_Click(Run& run);  // Utils
void Command8_Click(Run& run, int16_t index);
void Command11_Click(Run& run);  // Ok of the utilities page
void Command2_Click(Run& run);   // Status
void Command9_Click(Run& run);   // Ok of the status page
void Command4_Click(Run& run);   // Help
void Command3_Click(Run& run);   // Exit: ends the program

}  // namespace orlune

// The conversation with the open design: one per command, never held
// between commands.
#pragma once

namespace orlune {

struct Run;

// Opens the conversation. Returns only when it is open; otherwise tells the
// user why and ends the program.
void Design_Open(Run& run);

// Ends the conversation; DesignOpen becomes false whatever the host answers.
void Design_Close(Run& run);

}  // namespace orlune

// Start-up and the settings attribute "ORLUNE" stored in the design.
#pragma once

namespace orlune {

struct Run;

// Start-up, run once when the window is created.
void Form_Load(Run& run);

// Reads the next "_"-terminated field of FieldValue, from FieldPos, into
// FieldText; 1 when a field was read.
int Next_Field(Run& run);

// Fills the settings page: text styles, distances and unit labels.
void Create_combo(Run& run);

// The settings page's "Update": writes the attribute and puts the page's
// values into force.
void Command5_Click(Run& run);

}  // namespace orlune

// Start-up and the settings attribute "ORLUNE" stored in the design.
#pragma once

#include <string>

namespace orlune {

struct Run;

// Start-up, run once when the window is created.
void Form_Load(Run& run);

// Reads the next "_"-terminated field of the value in FieldText's source
// (the value being read, `value`) from FieldPos into FieldText; 1 when read.
int Next_Field(Run& run, const std::string& value);

// Fills the settings page: text styles, distances and unit labels.
void Create_combo(Run& run);

// The settings page's "Update": writes the attribute and puts the page's
// values into force.
void Command5_Click(Run& run);

}  // namespace orlune

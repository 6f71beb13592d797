// The program's own texts (beginning with "@"): placing one beside a
// connector, measuring trial texts, finding, deleting and counting them.
#pragma once

#include <cstdint>
#include <string>

namespace orlune {

struct Run;

void Count_Sheets(Run& run);
void Place_SheetText(Run& run);
void Measure_Text(Run& run, const std::string& trial);
int Locate_OwnText(Run& run, int16_t keepStyle);
void Delete_OwnTexts(Run& run);
void Count_OwnTexts(Run& run);

}  // namespace orlune

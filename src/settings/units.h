// Units, the per-unit setting texts and their conversion into database
// units (0.01 um: 1 mil = 2540, 1 mm = 100000, 1 inch = 2540000).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orlune {

struct Run;

bool Check_Unit(int16_t code);

// The position of the per-unit tables (UnitNames, the setting tables,
// BusDistanceByUnit) that serves a unit code: the code itself for 1 to 4.
// Any other code has no position of its own and is served like 3, the
// unsupported unit: label "0", defaults "0", whole-number conversion.
// BusDistanceByUnit has no text at position 3; it does not convert, and the
// connector scan then uses a bus distance of 0.
int Unit_Slot(int16_t unitCode);

// Writes the factory defaults into every position of the three setting tables.
void Set_Defaults(Run& run);

// Converts the entries at UnitCode into LeftStart, RightStart and
// MaxRowLength. When a text does not convert (not finite, outside 32 bits,
// or not a number under the whole-number conversion), the settings in force
// stay as they were, a warning names each such setting by its caption with
// its text, and the answer is false.
bool Apply_Settings(Run& run);

// Empty when the three texts all convert for the design's unit; otherwise
// the warning text, one line per setting that does not.
std::string Check_Settings(const Run& run, std::string_view left, std::string_view right, std::string_view maxRow);

// The text in database units for the design's unit; nullopt when the value
// is not finite or does not fit 32 bits.
std::optional<int32_t> To_DbUnits(const Run& run, std::string_view text);
std::optional<int32_t> Mil_To_Db(std::string_view text);
std::optional<int32_t> Mm_To_Db(std::string_view text);
std::optional<int32_t> Inch_To_Db(std::string_view text);
// The whole-number conversion used for any other unit code: the whole text,
// blanks around it allowed, must be one number; nullopt when it is not.
std::optional<int32_t> Whole_To_Db(std::string_view text);

// Reads the longest leading number of `text` (blanks, tabs and line feeds
// dropped anywhere; sign, digits, one ".", exponent E or D, &H and &O
// prefixes; "." whatever the locale). No number reads as 0. A sign does not
// combine with &H or &O; such a text reads as 0.
double Read_Number(std::string_view text);

// Rounds to the nearest whole number, halves to even.
double Round_Even(double value);

// The text before its first NUL, spaces removed at both ends.
std::string Trim_Nul(std::string_view text);

}  // namespace orlune

// Windows-1252, the 8-bit text of the DBX records, against the UTF-8 of the
// design file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orlune::host {

// UTF-8 to Windows-1252; a character that Windows-1252 cannot hold becomes "?".
std::string toCp1252(std::string_view utf8);

// The same, but nullopt when any character cannot be held (or the UTF-8 is
// malformed): for names that must pass the boundary unchanged.
std::optional<std::string> toCp1252Exact(std::string_view utf8);

// Windows-1252 to UTF-8 (the five unassigned bytes map to U+FFFD).
std::string fromCp1252(std::string_view bytes);

// The Windows-1252 byte of a Unicode character, or -1 when it has none.
int cp1252Byte(char32_t cp);

}  // namespace orlune::host

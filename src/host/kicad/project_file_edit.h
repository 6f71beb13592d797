// ORLUNE's settings in a KiCad project file: the project text variable
// "ORLUNE" under "text_variables". The file's JSON is edited where the
// value lies, in KiCad's own layout (keys in byte order, two-space
// indentation, the file's line ends), every other byte kept.
#pragma once

#include <string>

namespace orlune::kicad {

// The project file's bytes with text variable `name` set to `value`: the
// value replaced where the variable is, else the variable (and, where
// missing, "text_variables") inserted where KiCad would write it. Throws
// ReadError when the bytes are not a JSON object.
std::string setTextVariable(const std::string& projectJson, const std::string& name, const std::string& value);

// A JSON string literal as KiCad's JSON writer gives it (UTF-8 kept).
std::string jsonQuoted(const std::string& s);

}  // namespace orlune::kicad

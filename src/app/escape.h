// How every human-readable output of the command line shows a name, a text
// or a path: control characters written out, so that a field can neither
// steer the terminal nor break the one-record-per-line layout.
#pragma once

#include <string>
#include <string_view>

namespace orlune::app {

// CR LF and a lone LF as the two characters \n, a lone CR as \r, a tab as
// \t, a backslash doubled; every other control character (C0, DEL, C1) as
// \xHH with its code, and each byte that is not part of valid UTF-8 as \xHH
// with its value. Everything else is kept as it is.
std::string escapeText(std::string_view text);

// Text that reached the program as UTF-8 or, failing that, Windows-1252 (a
// message box's text, which may quote a field of a DBX record), as UTF-8.
std::string asUtf8(std::string_view text);

}  // namespace orlune::app

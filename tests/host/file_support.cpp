#include "host/file_support.h"

#include <stdexcept>

namespace orlune::host::test {

std::string replaced(std::string_view text, std::string_view from, std::string_view to) {
    std::string s(text);
    const size_t at = s.find(from);
    if (at == std::string::npos) throw std::invalid_argument("pattern not found: " + std::string(from));
    s.replace(at, from.size(), to);
    return s;
}

}  // namespace orlune::host::test

#include "host/cp1252.h"

#include "host/utf8.h"

namespace orlune::host {

namespace {

// 0x80..0x9F; 0 marks the five bytes that Windows-1252 leaves unassigned.
constexpr char16_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// Converts; a character without a byte becomes "?" unless `exact`, which
// then fails.
std::optional<std::string> convert(std::string_view utf8, bool exact) {
    std::string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t cp = nextUtf8(utf8, pos);
        const int b = cp == kBadUtf8 ? -1 : cp1252Byte(cp);
        if (b < 0) {
            if (exact) return std::nullopt;
            out += '?';
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

}  // namespace

int cp1252Byte(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (int i = 0; i < 32; ++i) {
        if (kHigh[i] != 0 && kHigh[i] == cp) return 0x80 + i;
    }
    return -1;
}

std::string toCp1252(std::string_view utf8) {
    return *convert(utf8, false);
}

std::optional<std::string> toCp1252Exact(std::string_view utf8) {
    return convert(utf8, true);
}

std::string fromCp1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80 && b < 0xA0) {
            const char16_t cp = kHigh[b - 0x80];
            appendUtf8(out, cp != 0 ? cp : 0xFFFD);
        } else {
            appendUtf8(out, b);
        }
    }
    return out;
}

}  // namespace orlune::host

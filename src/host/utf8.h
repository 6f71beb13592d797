// UTF-8 decoding shared by the JSON parser, the loader and the Windows-1252
// conversion.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orlune::host {

inline constexpr char32_t kBadUtf8 = 0xFFFFFFFF;

// Decodes the character at `pos` and advances past it. A malformed sequence
// (overlong, surrogate, beyond U+10FFFF, truncated) yields kBadUtf8 and
// advances by one byte.
inline char32_t nextUtf8(std::string_view s, size_t& pos) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char b0 = byte(pos);
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    int len;
    char32_t cp;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2, cp = b0 & 0x1Fu, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3, cp = b0 & 0x0Fu, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4, cp = b0 & 0x07u, min = 0x10000;
    } else {
        ++pos;
        return kBadUtf8;
    }
    if (pos + static_cast<size_t>(len) > s.size()) {
        ++pos;
        return kBadUtf8;
    }
    for (int i = 1; i < len; ++i) {
        const unsigned char b = byte(pos + static_cast<size_t>(i));
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return kBadUtf8;
        }
        cp = (cp << 6) | (b & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return kBadUtf8;
    }
    pos += static_cast<size_t>(len);
    return cp;
}

inline void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace orlune::host

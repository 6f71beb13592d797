#include "app/escape.h"

#include "host/cp1252.h"
#include "host/utf8.h"

namespace orlune::app {

namespace {

void appendHex(std::string& out, unsigned value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[(value >> 4) & 0xF];
    out += kHex[value & 0xF];
}

bool validUtf8(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        if (host::nextUtf8(text, pos) == host::kBadUtf8) return false;
    }
    return true;
}

}  // namespace

std::string escapeText(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            std::size_t next = i;
            const char32_t cp = host::nextUtf8(text, next);
            if (cp == host::kBadUtf8 || cp <= 0x9F) {
                // A C1 control; or a stray byte, which some terminals take for one.
                appendHex(escaped, cp == host::kBadUtf8 ? c : static_cast<unsigned>(cp));
            } else {
                escaped.append(text.substr(i, next - i));
            }
            i = next;
            continue;
        }
        ++i;
        switch (c) {
            case '\r':
                if (i < text.size() && text[i] == '\n') {
                    escaped += "\\n";
                    ++i;
                } else {
                    escaped += "\\r";
                }
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\t':
                escaped += "\\t";
                break;
            case '\\':
                escaped += "\\\\";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    appendHex(escaped, c);
                } else {
                    escaped.push_back(static_cast<char>(c));
                }
        }
    }
    return escaped;
}

std::string asUtf8(std::string_view text) {
    return validUtf8(text) ? std::string(text) : host::fromCp1252(text);
}

}  // namespace orlune::app

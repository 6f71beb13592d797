#include "host/kicad/uuid.h"

#include <algorithm>

namespace orlune::kicad {

namespace {

uint32_t rotl(uint32_t v, int n) {
    return (v << n) | (v >> (32 - n));
}

// ORLUNE's own namespace for its names (itself a version-4 uuid).
constexpr std::array<uint8_t, 16> kNamespace = {0x6f, 0x72, 0x6c, 0x75, 0x6e, 0x65, 0x4b, 0x69,
                                                0x83, 0x61, 0x64, 0x2d, 0x74, 0x65, 0x78, 0x74};

const char kHex[] = "0123456789abcdef";

}  // namespace

std::array<uint8_t, 20> sha1(std::string_view data) {
    uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    // The message, a 0x80 byte, zeros, and the bit length in 64 bits: whole
    // 64-byte blocks.
    std::string m(data);
    const uint64_t bits = uint64_t{data.size()} * 8;
    m += '\x80';
    while (m.size() % 64 != 56)
        m += '\0';
    for (int i = 7; i >= 0; --i)
        m += static_cast<char>((bits >> (i * 8)) & 0xff);
    for (size_t block = 0; block < m.size(); block += 64) {
        uint32_t w[80];
        for (int i = 0; i < 16; ++i) {
            const auto* p = reinterpret_cast<const unsigned char*>(m.data() + block + 4 * static_cast<size_t>(i));
            w[i] = uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
        }
        for (int i = 16; i < 80; ++i)
            w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int i = 0; i < 80; ++i) {
            uint32_t f = 0, k = 0;
            if (i < 20) {
                f = (b & c) | (~b & d);
                k = 0x5A827999;
            } else if (i < 40) {
                f = b ^ c ^ d;
                k = 0x6ED9EBA1;
            } else if (i < 60) {
                f = (b & c) | (b & d) | (c & d);
                k = 0x8F1BBCDC;
            } else {
                f = b ^ c ^ d;
                k = 0xCA62C1D6;
            }
            const uint32_t t = rotl(a, 5) + f + e + k + w[i];
            e = d;
            d = c;
            c = rotl(b, 30);
            b = a;
            a = t;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
    }
    std::array<uint8_t, 20> out{};
    for (size_t i = 0; i < 20; ++i)
        out[i] = static_cast<uint8_t>(h[i / 4] >> (24 - 8 * (i % 4)));
    return out;
}

namespace {

std::string hexUuid(const uint8_t* d) {
    std::string out;
    out.reserve(36);
    for (size_t i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        out += kHex[d[i] >> 4];
        out += kHex[d[i] & 0x0f];
    }
    return out;
}

// The six check bytes of a text uuid's first ten bytes.
std::array<uint8_t, 20> checkOf(const uint8_t* head) {
    std::string input = "orlune-own-text\n";
    input.append(reinterpret_cast<const char*>(head), 10);
    return sha1(input);
}

std::string textName(std::string_view labelUuid, std::string_view instancePath, int row) {
    std::string name = "text\n";
    name += labelUuid;
    name += '\n';
    name += instancePath;
    name += '\n';
    name += std::to_string(row);
    return name;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string nameUuid(std::string_view name) {
    std::string input(reinterpret_cast<const char*>(kNamespace.data()), kNamespace.size());
    input += name;
    std::array<uint8_t, 20> d = sha1(input);
    d[6] = static_cast<uint8_t>((d[6] & 0x0f) | 0x50);  // version 5
    d[8] = static_cast<uint8_t>((d[8] & 0x3f) | 0x80);  // variant 10
    return hexUuid(d.data());
}

std::string ownedTextUuid(std::string_view labelUuid, std::string_view instancePath, int row, int occurrence) {
    std::string name = textName(labelUuid, instancePath, row);
    if (occurrence > 0) name += "\n#" + std::to_string(occurrence);
    std::string input(reinterpret_cast<const char*>(kNamespace.data()), kNamespace.size());
    input += name;
    std::array<uint8_t, 20> d = sha1(input);
    d[6] = static_cast<uint8_t>((d[6] & 0x0f) | 0x50);  // version 5, as name-based uuids read
    d[8] = static_cast<uint8_t>((d[8] & 0x3f) | 0x80);  // variant 10
    const std::array<uint8_t, 20> check = checkOf(d.data());
    std::copy(check.begin(), check.begin() + 6, d.begin() + 10);
    return hexUuid(d.data());
}

bool isOwnedTextUuid(std::string_view uuid) {
    if (uuid.size() != 36) return false;
    uint8_t d[16];
    size_t k = 0;
    for (size_t i = 0; i < uuid.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (uuid[i] != '-') return false;
            continue;
        }
        const int hi = hexValue(uuid[i]), lo = i + 1 < uuid.size() ? hexValue(uuid[i + 1]) : -1;
        if (hi < 0 || lo < 0 || k >= 16) return false;
        d[k++] = static_cast<uint8_t>(hi << 4 | lo);
        ++i;
    }
    if (k != 16) return false;
    const std::array<uint8_t, 20> check = checkOf(d);
    return std::equal(check.begin(), check.begin() + 6, d + 10);
}

std::string legacyOwnedTextUuid(std::string_view labelUuid, std::string_view instancePath, int row) {
    return nameUuid(textName(labelUuid, instancePath, row));
}

std::string perInstanceVariable(std::string_view labelUuid, int row, int occurrence, std::string_view below) {
    std::string name = "variable\n";
    name += labelUuid;
    name += '\n';
    name += std::to_string(row);
    if (occurrence > 0) name += "\n#" + std::to_string(occurrence);
    if (!below.empty()) {
        name += "\nbelow ";
        name += below;
    }
    const std::array<uint8_t, 20> d = sha1(name);
    std::string out = "ORL_";
    for (size_t i = 0; i < 5; ++i) {
        out += kHex[d[i] >> 4];
        out += kHex[d[i] & 0x0f];
    }
    return out;
}

}  // namespace orlune::kicad

// The records exchanged with the DBX operations, byte for byte as the
// library lays them out: packed, little-endian 32-bit words, fixed-width
// 8-bit (Windows-1252) text fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orlune::dbx {

static_assert(sizeof(int32_t) == 4);

// Packed, and every word sits at a multiple of four within its record; the
// records are 4-aligned so that a word can be read in place.
#pragma pack(push, 1)

struct alignas(4) Pair {
    int32_t x;
    int32_t y;
};

struct alignas(4) Box {
    int32_t x1;
    int32_t y1;
    int32_t x2;
    int32_t y2;
};

// Opaque conversation block; only the library reads it.
struct alignas(4) DesignContext {
    uint8_t bytes[28];
};

struct alignas(4) AttributeRecord {
    int32_t reserved0;
    char name[100];
    char value[256];
    char reservedText1[512];
    char reservedText2[256];
    int32_t reservedWords1[6];
    Pair reservedPair;
    Box reservedBox;
    int32_t reservedWords2[6];
    int32_t attrFlag1;
    int32_t attrFlag2;
    int32_t units;
};

struct alignas(4) BusRecord {
    int32_t reserved0;
    int32_t x1;
    int32_t y1;
    int32_t x2;
    int32_t y2;
    int32_t reserved20;
    char busName[100];
    int32_t reservedWords[3];
};

struct alignas(4) ComponentRecord {
    int32_t reserved0;
    char refDes[100];
    char compType[100];
    char reservedText1[100];
    char reservedText2[100];
    char reservedText3[256];
    Pair reservedPair;
    Box reservedBox;
    int32_t reservedWords1[8];
    int32_t compKind;
    int32_t reservedWords2[2];
    char reservedText4[100];
    char reservedText5[100];
    int32_t reserved928;
};

struct alignas(4) PinRecord {
    int32_t reserved0;
    char reservedText1[100];
    int32_t reservedWords1[4];
    Pair location;
    int32_t layerId;
    int32_t reservedWords2[3];
    int32_t netId;
    Box reservedBox;
    int32_t reserved164;
    uint8_t reservedPart[228];
    char reservedText2[100];
};

struct alignas(4) NetRecord {
    int32_t netId;
    char reservedText[100];
    int32_t reservedWords[3];
};

struct alignas(4) LayerRecord {
    int32_t layerId;
    char reservedText[100];
    int32_t reservedWords[11];
};

struct alignas(4) SymbolRecord {
    int32_t reserved0;
    char reservedText1[100];
    char refDes[100];
    int32_t reservedWords[3];
    Pair reservedPair;
    Box reservedBox;
    int32_t reserved240;
    int32_t flipped;
    int32_t highlighted;
    int32_t reserved252;
    char reservedText2[100];
    char reservedText3[100];
};

struct alignas(4) TextRecord {
    int32_t reserved0;
    int32_t textStyleId;
    char text[256];
    int32_t layerId;
    int32_t justification;
    Pair location;
    Box bounds;
    int32_t reserved296;
    int32_t textFlag1;
    int32_t textFlag2;
    int32_t reserved308;
};

struct alignas(4) TextStyleRecord {
    int32_t styleId;
    char styleName[100];
    int32_t reservedWords1[2];
    char reservedText[100];
    int32_t reservedWords2[3];
};

struct alignas(4) DesignInfoRecord {
    char reservedTexts[8][100];
    Pair workspaceExtent;
    Box reservedBox;
    int32_t reservedWords1[3];
    int32_t units;
    Pair reservedPair;
    int32_t reservedWords2[2];
};

struct alignas(4) ItemRecord {
    int32_t itemKind;
    int32_t reservedWords[15];
    AttributeRecord attributePart;  // reserved
    BusRecord busPart;
    uint8_t reserved1412[208];
    ComponentRecord componentPart;  // reserved
    uint8_t reserved2552[228];
    DesignInfoRecord designInfoPart;  // reserved
    uint8_t reserved3636[804];
    uint8_t reserved4440[556];
    uint8_t reserved4996[300];
    uint8_t reserved5296[260];
    LayerRecord layerPart;  // reserved
    uint8_t reserved5704[60];
    uint8_t reserved5764[32];
    NetRecord netPart;  // reserved
    uint8_t reserved5912[108];
    uint8_t reserved6020[484];
    uint8_t reserved6504[44];
    uint8_t reserved6548[136];
    NetRecord netPart2;  // reserved
    PinRecord pinPart;
    uint8_t reserved7296[320];
    uint8_t reserved7616[40];
    uint8_t reserved7656[44];
    uint8_t reserved7700[60];
    uint8_t reserved7760[264];
    uint8_t reserved8024[164];
    SymbolRecord symbolPart;
    uint8_t reserved8644[312];
    TextRecord textPart;
    TextStyleRecord textStylePart;  // reserved
    uint8_t reserved9492[52];
    uint8_t reserved9544[44];
    uint8_t reserved9588[112];
};

#pragma pack(pop)

// Item kinds that the program tests.
inline constexpr int32_t kItemText = 13;
inline constexpr int32_t kItemSymbol = 35;
inline constexpr int32_t kItemBus = 45;
// Component kind of a sheet connector.
inline constexpr int32_t kCompSheetConnector = 2;

// DBX statuses that the program tests.
inline constexpr int32_t kStatusOk = 0;
inline constexpr int32_t kStatusIncompatibleVersion = 32006;
inline constexpr int32_t kStatusTextTooLong = 32232;

// Writes `text` into a fixed-width field: the text, a NUL (unless `withNul`
// is false), then spaces up to the field's width. A longer text is cut at the
// field's end, so a text of exactly the field's width has no NUL.
void writeField(char* field, std::size_t width, std::string_view text, bool withNul = true);

// Reads a fixed-width field up to its first NUL, or to its end.
std::string readField(const char* field, std::size_t width);

template <std::size_t N>
void writeField(char (&field)[N], std::string_view text, bool withNul = true) {
    writeField(field, N, text, withNul);
}

template <std::size_t N>
std::string readField(const char (&field)[N]) {
    return readField(field, N);
}

}  // namespace orlune::dbx

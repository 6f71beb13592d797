#include "dbx/records.h"

#include <algorithm>
#include <cstring>

namespace orlune::dbx {

// The library reads these records by address, so every size and offset is
// part of the interface.
#define ORLUNE_AT(type, field, offset) static_assert(offsetof(type, field) == (offset), #type "." #field)

static_assert(sizeof(Pair) == 8);
static_assert(alignof(ItemRecord) == 4 && alignof(AttributeRecord) == 4 && alignof(TextStyleRecord) == 4);
static_assert(sizeof(Box) == 16);
static_assert(sizeof(DesignContext) == 28);

static_assert(sizeof(AttributeRecord) == 1212);
ORLUNE_AT(AttributeRecord, name, 4);
ORLUNE_AT(AttributeRecord, value, 104);
ORLUNE_AT(AttributeRecord, reservedText1, 360);
ORLUNE_AT(AttributeRecord, reservedText2, 872);
ORLUNE_AT(AttributeRecord, reservedWords1, 1128);
ORLUNE_AT(AttributeRecord, reservedPair, 1152);
ORLUNE_AT(AttributeRecord, reservedBox, 1160);
ORLUNE_AT(AttributeRecord, reservedWords2, 1176);
ORLUNE_AT(AttributeRecord, attrFlag1, 1200);
ORLUNE_AT(AttributeRecord, attrFlag2, 1204);
ORLUNE_AT(AttributeRecord, units, 1208);

static_assert(sizeof(BusRecord) == 136);
ORLUNE_AT(BusRecord, x1, 4);
ORLUNE_AT(BusRecord, y1, 8);
ORLUNE_AT(BusRecord, x2, 12);
ORLUNE_AT(BusRecord, y2, 16);
ORLUNE_AT(BusRecord, busName, 24);
ORLUNE_AT(BusRecord, reservedWords, 124);

static_assert(sizeof(ComponentRecord) == 932);
ORLUNE_AT(ComponentRecord, refDes, 4);
ORLUNE_AT(ComponentRecord, compType, 104);
ORLUNE_AT(ComponentRecord, reservedText1, 204);
ORLUNE_AT(ComponentRecord, reservedText2, 304);
ORLUNE_AT(ComponentRecord, reservedText3, 404);
ORLUNE_AT(ComponentRecord, reservedPair, 660);
ORLUNE_AT(ComponentRecord, reservedBox, 668);
ORLUNE_AT(ComponentRecord, reservedWords1, 684);
ORLUNE_AT(ComponentRecord, compKind, 716);
ORLUNE_AT(ComponentRecord, reservedWords2, 720);
ORLUNE_AT(ComponentRecord, reservedText4, 728);
ORLUNE_AT(ComponentRecord, reservedText5, 828);
ORLUNE_AT(ComponentRecord, reserved928, 928);

static_assert(sizeof(PinRecord) == 496);
ORLUNE_AT(PinRecord, reservedText1, 4);
ORLUNE_AT(PinRecord, reservedWords1, 104);
ORLUNE_AT(PinRecord, location, 120);
ORLUNE_AT(PinRecord, layerId, 128);
ORLUNE_AT(PinRecord, reservedWords2, 132);
ORLUNE_AT(PinRecord, netId, 144);
ORLUNE_AT(PinRecord, reservedBox, 148);
ORLUNE_AT(PinRecord, reserved164, 164);
ORLUNE_AT(PinRecord, reservedPart, 168);
ORLUNE_AT(PinRecord, reservedText2, 396);

static_assert(sizeof(NetRecord) == 116);
ORLUNE_AT(NetRecord, netId, 0);
ORLUNE_AT(NetRecord, reservedText, 4);
ORLUNE_AT(NetRecord, reservedWords, 104);

static_assert(sizeof(LayerRecord) == 148);
ORLUNE_AT(LayerRecord, layerId, 0);
ORLUNE_AT(LayerRecord, reservedText, 4);
ORLUNE_AT(LayerRecord, reservedWords, 104);

static_assert(sizeof(SymbolRecord) == 456);
ORLUNE_AT(SymbolRecord, reservedText1, 4);
ORLUNE_AT(SymbolRecord, refDes, 104);
ORLUNE_AT(SymbolRecord, reservedWords, 204);
ORLUNE_AT(SymbolRecord, reservedPair, 216);
ORLUNE_AT(SymbolRecord, reservedBox, 224);
ORLUNE_AT(SymbolRecord, reserved240, 240);
ORLUNE_AT(SymbolRecord, flipped, 244);
ORLUNE_AT(SymbolRecord, highlighted, 248);
ORLUNE_AT(SymbolRecord, reserved252, 252);
ORLUNE_AT(SymbolRecord, reservedText2, 256);
ORLUNE_AT(SymbolRecord, reservedText3, 356);

static_assert(sizeof(TextRecord) == 312);
ORLUNE_AT(TextRecord, textStyleId, 4);
ORLUNE_AT(TextRecord, text, 8);
ORLUNE_AT(TextRecord, layerId, 264);
ORLUNE_AT(TextRecord, justification, 268);
ORLUNE_AT(TextRecord, location, 272);
ORLUNE_AT(TextRecord, bounds, 280);
ORLUNE_AT(TextRecord, reserved296, 296);
ORLUNE_AT(TextRecord, textFlag1, 300);
ORLUNE_AT(TextRecord, textFlag2, 304);
ORLUNE_AT(TextRecord, reserved308, 308);

static_assert(sizeof(TextStyleRecord) == 224);
ORLUNE_AT(TextStyleRecord, styleId, 0);
ORLUNE_AT(TextStyleRecord, styleName, 4);
ORLUNE_AT(TextStyleRecord, reservedWords1, 104);
ORLUNE_AT(TextStyleRecord, reservedText, 112);
ORLUNE_AT(TextStyleRecord, reservedWords2, 212);

static_assert(sizeof(DesignInfoRecord) == 856);
ORLUNE_AT(DesignInfoRecord, reservedTexts, 0);
ORLUNE_AT(DesignInfoRecord, workspaceExtent, 800);
ORLUNE_AT(DesignInfoRecord, reservedBox, 808);
ORLUNE_AT(DesignInfoRecord, reservedWords1, 824);
ORLUNE_AT(DesignInfoRecord, units, 836);
ORLUNE_AT(DesignInfoRecord, reservedPair, 840);
ORLUNE_AT(DesignInfoRecord, reservedWords2, 848);

static_assert(sizeof(ItemRecord) == 9700);
ORLUNE_AT(ItemRecord, itemKind, 0);
ORLUNE_AT(ItemRecord, reservedWords, 4);
ORLUNE_AT(ItemRecord, attributePart, 64);
ORLUNE_AT(ItemRecord, busPart, 1276);
ORLUNE_AT(ItemRecord, reserved1412, 1412);
ORLUNE_AT(ItemRecord, componentPart, 1620);
ORLUNE_AT(ItemRecord, reserved2552, 2552);
ORLUNE_AT(ItemRecord, designInfoPart, 2780);
ORLUNE_AT(ItemRecord, reserved3636, 3636);
ORLUNE_AT(ItemRecord, reserved4440, 4440);
ORLUNE_AT(ItemRecord, reserved4996, 4996);
ORLUNE_AT(ItemRecord, reserved5296, 5296);
ORLUNE_AT(ItemRecord, layerPart, 5556);
ORLUNE_AT(ItemRecord, reserved5704, 5704);
ORLUNE_AT(ItemRecord, reserved5764, 5764);
ORLUNE_AT(ItemRecord, netPart, 5796);
ORLUNE_AT(ItemRecord, reserved5912, 5912);
ORLUNE_AT(ItemRecord, reserved6020, 6020);
ORLUNE_AT(ItemRecord, reserved6504, 6504);
ORLUNE_AT(ItemRecord, reserved6548, 6548);
ORLUNE_AT(ItemRecord, netPart2, 6684);
ORLUNE_AT(ItemRecord, pinPart, 6800);
ORLUNE_AT(ItemRecord, reserved7296, 7296);
ORLUNE_AT(ItemRecord, reserved7616, 7616);
ORLUNE_AT(ItemRecord, reserved7656, 7656);
ORLUNE_AT(ItemRecord, reserved7700, 7700);
ORLUNE_AT(ItemRecord, reserved7760, 7760);
ORLUNE_AT(ItemRecord, reserved8024, 8024);
ORLUNE_AT(ItemRecord, symbolPart, 8188);
ORLUNE_AT(ItemRecord, reserved8644, 8644);
ORLUNE_AT(ItemRecord, textPart, 8956);
ORLUNE_AT(ItemRecord, textStylePart, 9268);
ORLUNE_AT(ItemRecord, reserved9492, 9492);
ORLUNE_AT(ItemRecord, reserved9544, 9544);
ORLUNE_AT(ItemRecord, reserved9588, 9588);

#undef ORLUNE_AT

void writeField(char* field, std::size_t width, std::string_view text, bool withNul) {
    const std::size_t n = std::min(width, text.size());
    std::memcpy(field, text.data(), n);
    std::size_t pos = n;
    if (withNul && pos < width) field[pos++] = '\0';
    std::memset(field + pos, ' ', width - pos);
}

std::string readField(const char* field, std::size_t width) {
    const void* nul = std::memchr(field, '\0', width);
    const std::size_t n = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : width;
    return std::string(field, n);
}

}  // namespace orlune::dbx

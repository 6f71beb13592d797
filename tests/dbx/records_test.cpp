#include <gtest/gtest.h>

#include <cstring>

#include "dbx/records.h"

namespace orlune::dbx {
namespace {

TEST(TextField, WritesTextNulAndSpacePadding) {
    char field[8];
    writeField(field, "abc");
    EXPECT_EQ(0, std::memcmp(field, "abc\0    ", 8));
}

TEST(TextField, WithoutNulPadsWithSpacesDirectly) {
    char field[8];
    writeField(field, "abc", false);
    EXPECT_EQ(0, std::memcmp(field, "abc     ", 8));
}

TEST(TextField, TextOfExactlyTheWidthHasNoNul) {
    char field[4];
    writeField(field, "abcd");
    EXPECT_EQ(0, std::memcmp(field, "abcd", 4));
    EXPECT_EQ("abcd", readField(field));
}

TEST(TextField, LongerTextIsCutAtTheFieldsEnd) {
    char field[4];
    writeField(field, "abcdef");
    EXPECT_EQ("abcd", readField(field));
}

TEST(TextField, ReadingStopsAtFirstNulAndIgnoresBytesAfterIt) {
    char field[16];
    std::memcpy(field, "SH_TYPE\0garbage!", 16);
    EXPECT_EQ("SH_TYPE", readField(field));
}

TEST(TextField, ReadingKeepsPaddingSpacesWhenThereIsNoNul) {
    char field[6];
    writeField(field, "ab", false);
    EXPECT_EQ("ab    ", readField(field));
}

TEST(TextField, EmptyText) {
    char field[3];
    writeField(field, "");
    EXPECT_EQ(0, std::memcmp(field, "\0  ", 3));
    EXPECT_EQ("", readField(field));
}

TEST(Records, SizesMatchTheLibrarysLayout) {
    // The offsets are checked at compile time; the sizes are repeated here so
    // that a layout change shows up as a failing test too.
    EXPECT_EQ(28u, sizeof(DesignContext));
    EXPECT_EQ(9700u, sizeof(ItemRecord));
    EXPECT_EQ(932u, sizeof(ComponentRecord));
    EXPECT_EQ(496u, sizeof(PinRecord));
    EXPECT_EQ(456u, sizeof(SymbolRecord));
    EXPECT_EQ(116u, sizeof(NetRecord));
    EXPECT_EQ(136u, sizeof(BusRecord));
    EXPECT_EQ(148u, sizeof(LayerRecord));
    EXPECT_EQ(312u, sizeof(TextRecord));
    EXPECT_EQ(224u, sizeof(TextStyleRecord));
    EXPECT_EQ(1212u, sizeof(AttributeRecord));
    EXPECT_EQ(856u, sizeof(DesignInfoRecord));
}

TEST(Records, PartsOfAnItemAreCopiedByteForByte) {
    ItemRecord item{};
    item.itemKind = kItemText;
    writeField(item.textPart.text, "@2,5");
    item.textPart.bounds = {1, 2, 30, 4};
    const auto* raw = reinterpret_cast<const unsigned char*>(&item);
    TextRecord copy;
    std::memcpy(&copy, raw + 8956, sizeof copy);
    EXPECT_EQ("@2,5", readField(copy.text));
    EXPECT_EQ(29, copy.bounds.x2 - copy.bounds.x1);
}

}  // namespace
}  // namespace orlune::dbx

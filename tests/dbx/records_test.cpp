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

}  // namespace
}  // namespace orlune::dbx

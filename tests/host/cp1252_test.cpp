// Windows-1252 at the DBX boundary against the UTF-8 of the design file.
#include <gtest/gtest.h>

#include <string>

#include "host/cp1252.h"

namespace orlune::host {
namespace {

TEST(Cp1252, AsciiAndLatin1PassAsTheirOwnBytes) {
    EXPECT_EQ("SC1 @2,3", toCp1252("SC1 @2,3"));
    EXPECT_EQ("\xE9\xFF\xA0", toCp1252("é\u00ff\u00a0"));
    EXPECT_EQ("é\u00ff\u00a0", fromCp1252("\xE9\xFF\xA0"));
    EXPECT_EQ(std::string("a\0b", 3), toCp1252(std::string("a\0b", 3)));
}

TEST(Cp1252, TheBytes80To9FHoldTheirOwnCharacters) {
    EXPECT_EQ("\x80\x8A\x99\x9F", toCp1252("€Š™Ÿ"));
    EXPECT_EQ("€Š™Ÿ", fromCp1252("\x80\x8A\x99\x9F"));
    EXPECT_EQ(0x80, cp1252Byte(U'€'));
    EXPECT_EQ(0x85, cp1252Byte(U'…'));
    EXPECT_EQ(-1, cp1252Byte(0x81));  // the C1 control has no byte
}

TEST(Cp1252, EveryByteRoundTripsExceptTheFiveUnassigned) {
    for (int b = 1; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        const std::string utf8 = fromCp1252(byte);
        if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) {
            EXPECT_EQ("\uFFFD", utf8) << b;
            EXPECT_EQ("?", toCp1252(utf8)) << b;
            EXPECT_FALSE(toCp1252Exact(utf8).has_value()) << b;
        } else {
            EXPECT_EQ(byte, toCp1252(utf8)) << b;
            EXPECT_EQ(byte, toCp1252Exact(utf8).value_or("")) << b;
        }
    }
}

TEST(Cp1252, ACharacterWithoutAByteBecomesAQuestionMark) {
    EXPECT_EQ("a?b?", toCp1252("a中b😀"));
    EXPECT_FALSE(toCp1252Exact("a中b").has_value());
    EXPECT_EQ("x", toCp1252Exact("x").value_or(""));
}

TEST(Cp1252, MalformedUtf8BecomesOneQuestionMarkPerByte) {
    EXPECT_EQ("?(", toCp1252("\xC3("));
    EXPECT_EQ("??", toCp1252("\xE2\x82"));
    EXPECT_FALSE(toCp1252Exact("\xFF").has_value());
}

}  // namespace
}  // namespace orlune::host

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "host/design.h"
#include "host/text_extent.h"

namespace orlune::host {
namespace {

// The style of the worked example on the design-file page.
TextStyle exampleStyle() {
    TextStyle style;
    style.name = "Default";
    style.height = 100;
    style.charWidth = 60;
    style.advances = {{U'@', 100}, {U',', 20}};
    return style;
}

TEST(TextExtent, MeasuresTheWorkedExampleOfTheDesignFilePage) {
    const TextStyle style = exampleStyle();
    EXPECT_EQ(100, measureText("@", &style).width);
    EXPECT_EQ(180, measureText("@2,", &style).width);
    EXPECT_EQ(240, measureText("@22,", &style).width);
    EXPECT_EQ(100, measureText("@22,", &style).height);
}

TEST(TextExtent, WidthIsTheWidestRowAndHeightCountsEveryRow) {
    const TextStyle style = exampleStyle();
    const TextExtent crlf = measureText("@2,\r\n@22,\r\n@", &style);
    EXPECT_EQ(240, crlf.width);
    EXPECT_EQ(300, crlf.height);
}

TEST(TextExtent, ALoneCarriageReturnOrLineFeedAlsoEndsARow) {
    const TextStyle style = exampleStyle();
    EXPECT_EQ(180, measureText("@2,\r@", &style).width);
    EXPECT_EQ(200, measureText("@2,\r@", &style).height);
    EXPECT_EQ(200, measureText("@\n@2,", &style).height);
    EXPECT_EQ(180, measureText("@\n@2,", &style).width);
    // LF CR is two row ends, CR LF one.
    EXPECT_EQ(300, measureText("@\n\r@", &style).height);
    EXPECT_EQ(200, measureText("@\r\n@", &style).height);
}

TEST(TextExtent, AnEmptyTextIsOneEmptyRowAndATrailingRowEndAddsARow) {
    const TextStyle style = exampleStyle();
    EXPECT_EQ(0, measureText("", &style).width);
    EXPECT_EQ(100, measureText("", &style).height);
    EXPECT_EQ(200, measureText("@\r\n", &style).height);
}

TEST(TextExtent, AdvancesAreLookedUpByCodePoint) {
    TextStyle style = exampleStyle();
    style.advances[U'€'] = 7;
    EXPECT_EQ(7 + 60, measureText("€x", &style).width);
}

TEST(TextExtent, WithoutAStyleEveryCharacterIsOneWideAndARowOneHigh) {
    const TextExtent extent = measureText("abc\r\nde", nullptr);
    EXPECT_EQ(3, extent.width);
    EXPECT_EQ(2, extent.height);
}

TEST(TextBounds, JustificationFourPutsTheTextRightOfItsPoint) {
    const dbx::Box box = textBounds(1000, 500, 4, {240, 100});
    EXPECT_EQ(1000, box.x1);
    EXPECT_EQ(1240, box.x2);
    EXPECT_EQ(450, box.y1);
    EXPECT_EQ(550, box.y2);
}

TEST(TextBounds, JustificationSixPutsTheTextLeftOfItsPoint) {
    const dbx::Box box = textBounds(1000, 500, 6, {240, 100});
    EXPECT_EQ(760, box.x1);
    EXPECT_EQ(1000, box.x2);
}

TEST(TextBounds, AnyOtherJustificationIsLikeFour) {
    for (int32_t justification : {0, 1, 5, 7, -1}) {
        const dbx::Box box = textBounds(1000, 500, justification, {240, 100});
        EXPECT_EQ(1000, box.x1) << justification;
        EXPECT_EQ(1240, box.x2) << justification;
    }
}

TEST(TextBounds, HalfTheHeightIsAnIntegerDivision) {
    const dbx::Box box = textBounds(0, 10, 4, {1, 7});
    EXPECT_EQ(10 - 3, box.y1);
    EXPECT_EQ(10 - 3 + 7, box.y2);
    const dbx::Box negative = textBounds(0, -10, 4, {1, 7});
    EXPECT_EQ(-13, negative.y1);
    EXPECT_EQ(-6, negative.y2);
}

TEST(TextBounds, ABoxBeyondThirtyTwoBitsIsClampedNotWrapped) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    const dbx::Box right = textBounds(kMax - 10, 0, 4, {100, 2});
    EXPECT_EQ(kMax - 10, right.x1);
    EXPECT_EQ(kMax, right.x2);
    const dbx::Box left = textBounds(kMin + 10, 0, 6, {100, 2});
    EXPECT_EQ(kMin, left.x1);
    EXPECT_EQ(kMin + 10, left.x2);
    const dbx::Box tall = textBounds(0, 0, 4, {1, int64_t{1} << 40});
    EXPECT_EQ(kMin, tall.y1);
    EXPECT_EQ(kMax, tall.y2);
}

TEST(TextExtent, ALongTextOfWideCharactersIsMeasuredInSixtyFourBits) {
    TextStyle style;
    style.height = std::numeric_limits<int32_t>::max();
    style.charWidth = std::numeric_limits<int32_t>::max();
    const std::string text(255, 'W');
    const TextExtent extent = measureText(text + "\n" + text, &style);
    EXPECT_EQ(int64_t{255} * std::numeric_limits<int32_t>::max(), extent.width);
    EXPECT_EQ(int64_t{2} * std::numeric_limits<int32_t>::max(), extent.height);
}

}  // namespace
}  // namespace orlune::host

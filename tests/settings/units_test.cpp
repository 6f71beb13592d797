#include "settings/units.h"

#include <gtest/gtest.h>

#include <ostream>

#include <clocale>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>

#include "run/run.h"
#include "support/test_support.h"

namespace orlune {
namespace {

using test::RecordingPlatform;

struct ReadCase {
    std::string text;
    double expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class ReadNumberTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadNumberTest, ReadsTheLongestLeadingNumber) {
    const ReadCase& c = GetParam();
    EXPECT_DOUBLE_EQ(Read_Number(c.text), c.expected) << "text: \"" << c.text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    ReadingRules, ReadNumberTest,
    ::testing::Values(ReadCase{"", 0.0}, ReadCase{"n", 0.0}, ReadCase{"140", 140.0}, ReadCase{"3.6", 3.6},
                      ReadCase{"1.2.3", 1.2}, ReadCase{"12n5", 12.0}, ReadCase{" 3 5", 35.0},
                      ReadCase{"\t1\n2 .\t5", 12.5}, ReadCase{"3,6", 3.0}, ReadCase{".5", 0.5}, ReadCase{"5.", 5.0},
                      ReadCase{".", 0.0}, ReadCase{"-", 0.0}, ReadCase{"+7", 7.0}, ReadCase{"-2.25", -2.25},
                      ReadCase{"- 4", -4.0}, ReadCase{"--4", 0.0}, ReadCase{"1E3", 1000.0}, ReadCase{"1e3", 1000.0},
                      ReadCase{"2D2", 200.0}, ReadCase{"2d-1", 0.2}, ReadCase{"1.5E+2", 150.0}, ReadCase{"1E", 1.0},
                      ReadCase{"1E+", 1.0}, ReadCase{"1Ex", 1.0}, ReadCase{"&H1F", 31.0}, ReadCase{"&hff", 255.0},
                      ReadCase{"&O17", 15.0}, ReadCase{"&O19", 1.0}, ReadCase{"&H", 0.0}, ReadCase{"&HG", 0.0},
                      ReadCase{"&X5", 0.0}, ReadCase{"-&H10", 0.0}, ReadCase{"& H 1 0", 16.0}, ReadCase{"0001.50", 1.5},
                      ReadCase{"0.000", 0.0}, ReadCase{"1E-400", 0.0}, ReadCase{"abc", 0.0}, ReadCase{"_12", 0.0}));

TEST(ReadNumber, HugeExponentsOverflowToInfinityWithTheirSign) {
    EXPECT_EQ(Read_Number("1E400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(Read_Number("-1D99999999999999999999"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(Read_Number("0E99999"), 0.0);
}

TEST(ReadNumber, ManyDigitsKeepTheirMagnitude) {
    EXPECT_DOUBLE_EQ(Read_Number("0." + std::string(30, '0') + "1E31"), 1.0);
    EXPECT_DOUBLE_EQ(Read_Number("1" + std::string(20, '0') + "E-20"), 1.0);
}

TEST(ReadNumber, IgnoresTheLocaleDecimalComma) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "de_DE")) {
        GTEST_SKIP() << "no German locale installed";
    }
    const double point = Read_Number("3.6");
    const double comma = Read_Number("3,6");
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_DOUBLE_EQ(point, 3.6);
    EXPECT_DOUBLE_EQ(comma, 3.0);
}

TEST(RoundEven, HalvesGoToTheEvenNeighbour) {
    const struct {
        double in;
        double out;
    } cases[] = {{0.5, 0.0},   {1.5, 2.0},    {2.5, 2.0},    {3.5, 4.0},   {-0.5, 0.0}, {-1.5, -2.0},
                 {-2.5, -2.0}, {2.4999, 2.0}, {2.5001, 3.0}, {-2.6, -3.0}, {7.0, 7.0},  {1e300, 1e300}};
    for (const auto& c : cases)
        EXPECT_EQ(Round_Even(c.in), c.out) << c.in;
    EXPECT_TRUE(std::isnan(Round_Even(std::nan(""))));
}

struct ConversionCase {
    const char* unit;
    std::optional<int32_t> (*convert)(std::string_view);
    std::string text;
    std::optional<int32_t> expected;
};

void PrintTo(const ConversionCase& c, std::ostream* os) {
    *os << '"' << c.text << "\" " << c.unit;
}

class ScaledConversionTest : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(ScaledConversionTest, ConvertsToDatabaseUnits) {
    const ConversionCase& c = GetParam();
    EXPECT_EQ(c.convert(c.text), c.expected) << c.unit << " \"" << c.text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    WorkedValues, ScaledConversionTest,
    ::testing::Values(ConversionCase{"mil", Mil_To_Db, "140", 355600}, ConversionCase{"mm", Mm_To_Db, "3.6", 360000},
                      ConversionCase{"inch", Inch_To_Db, "0.14", 355600},
                      ConversionCase{"mil", Mil_To_Db, "600", 1524000}, ConversionCase{"mm", Mm_To_Db, "15.2", 1520000},
                      ConversionCase{"inch", Inch_To_Db, "0.35", 889000}, ConversionCase{"mil", Mil_To_Db, "0.5", 1270},
                      ConversionCase{"mil", Mil_To_Db, "350", 889000}, ConversionCase{"mm", Mm_To_Db, "8.9", 890000},
                      ConversionCase{"mil", Mil_To_Db, "", 0}, ConversionCase{"mm", Mm_To_Db, "", 0},
                      ConversionCase{"inch", Inch_To_Db, "", 0}, ConversionCase{"mm", Mm_To_Db, "3,6", 300000},
                      ConversionCase{"mil", Mil_To_Db, "n", 0}, ConversionCase{"mil", Mil_To_Db, "-140", -355600},
                      ConversionCase{"mil", Mil_To_Db, "&H10", 40640},
                      // The range ends: about 845466 mil, 21474.836 mm, 845.466 inch.
                      ConversionCase{"mil", Mil_To_Db, "845466", 2147483640},
                      ConversionCase{"mil", Mil_To_Db, "845467", std::nullopt},
                      ConversionCase{"mil", Mil_To_Db, "-845466", -2147483640},
                      ConversionCase{"mm", Mm_To_Db, "21474.836", 2147483600},
                      ConversionCase{"mm", Mm_To_Db, "21474.837", std::nullopt},
                      ConversionCase{"inch", Inch_To_Db, "845.466", 2147483640},
                      ConversionCase{"inch", Inch_To_Db, "845.467", std::nullopt},
                      ConversionCase{"mil", Mil_To_Db, "99999999", std::nullopt},
                      ConversionCase{"mm", Mm_To_Db, "1E400", std::nullopt},
                      ConversionCase{"mm", Mm_To_Db, "-1D400", std::nullopt}));

TEST(WholeToDb, ReadsTheWholeTextOrFails) {
    const struct {
        const char* text;
        std::optional<int32_t> expected;
    } cases[] = {{"0", 0},
                 {"123", 123},
                 {"  -45\t", -45},
                 {"2.5", 2},
                 {"3.5", 4},
                 {"-2.5", -2},
                 {"1E3", 1000},
                 {"&H10", 16},
                 {"2147483647", 2147483647},
                 {"-2147483648", std::numeric_limits<int32_t>::min()},
                 {"2147483648", std::nullopt},
                 {"", std::nullopt},
                 {"   ", std::nullopt},
                 {"n", std::nullopt},
                 {"12n", std::nullopt},
                 {"1 2", std::nullopt},
                 {"3,6", std::nullopt},
                 {".", std::nullopt},
                 {"1E", std::nullopt},
                 {"1E999", std::nullopt}};
    for (const auto& c : cases)
        EXPECT_EQ(Whole_To_Db(c.text), c.expected) << "\"" << c.text << "\"";
}

TEST(ToDbUnits, ChoosesTheConversionByUnitCode) {
    RecordingPlatform platform;
    orlune::Run run(platform);
    const struct {
        int16_t unit;
        const char* text;
        std::optional<int32_t> expected;
    } cases[] = {{1, "1", 2540}, {2, "1", 100000},        {4, "1", 2540000},     {3, "1", 1}, {3, "2.5", 2},
                 {0, "7", 7},    {-1, "x", std::nullopt}, {5, "", std::nullopt}, {1, "x", 0}, {3, "350", 350}};
    for (const auto& c : cases) {
        run.settings.UnitCode = c.unit;
        EXPECT_EQ(To_DbUnits(run, c.text), c.expected) << "unit " << c.unit << " \"" << c.text << "\"";
    }
}

TEST(CheckUnit, AcceptsMilMmAndInchOnly) {
    for (int16_t code : std::initializer_list<int16_t>{1, 2, 4})
        EXPECT_TRUE(Check_Unit(code)) << code;
    for (int16_t code : std::initializer_list<int16_t>{0, 3, 5, -1, 32767, -32768}) {
        EXPECT_FALSE(Check_Unit(code)) << code;
    }
}

TEST(UnitSlot, UnsupportedCodesShareTheUnsupportedPosition) {
    for (int16_t code : std::initializer_list<int16_t>{1, 2, 3, 4})
        EXPECT_EQ(Unit_Slot(code), code);
    for (int16_t code : std::initializer_list<int16_t>{0, 5, -1, 1000})
        EXPECT_EQ(Unit_Slot(code), 3);
}

TEST(TrimNul, CutsAtTheFirstNulAndTrimsSpacesOnly) {
    using namespace std::string_literals;
    EXPECT_EQ(Trim_Nul("  abc\0xyz"s), "abc");
    EXPECT_EQ(Trim_Nul("  abc  "), "abc");
    EXPECT_EQ(Trim_Nul("\0abc"s), "");
    EXPECT_EQ(Trim_Nul(""), "");
    EXPECT_EQ(Trim_Nul("     "), "");
    EXPECT_EQ(Trim_Nul("\tabc \t"), "\tabc \t");
    EXPECT_EQ(Trim_Nul(" a b "), "a b");
    EXPECT_EQ(Trim_Nul("ORLUNE\0    "s), "ORLUNE");
}

class ApplySettingsTest : public ::testing::Test {
protected:
    RecordingPlatform platform;
    orlune::Run run{platform};
};

TEST_F(ApplySettingsTest, DefaultsGiveTheFactorySettingsOfEveryUnit) {
    const struct {
        int16_t unit;
        int32_t left, right, maxRow;
    } cases[] = {{1, 355600, 482600, 1524000},
                 {2, 360000, 480000, 1520000},
                 {4, 355600, 482600, 1524000},
                 {3, 0, 0, 0},
                 {0, 0, 0, 0},
                 {9, 0, 0, 0}};
    for (const auto& c : cases) {
        run.settings.UnitCode = c.unit;
        Set_Defaults(run);
        ASSERT_TRUE(Apply_Settings(run)) << c.unit;
        EXPECT_EQ(run.settings.LeftStart, c.left) << c.unit;
        EXPECT_EQ(run.settings.RightStart, c.right) << c.unit;
        EXPECT_EQ(run.settings.MaxRowLength, c.maxRow) << c.unit;
    }
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(ApplySettingsTest, SetDefaultsFillsAllFourPositions) {
    Set_Defaults(run);
    EXPECT_EQ(run.settings.LeftStartByUnit, (std::array<std::string, 5>{"", "140", "3.6", "0", "0.14"}));
    EXPECT_EQ(run.settings.RightStartByUnit, (std::array<std::string, 5>{"", "190", "4.8", "0", "0.19"}));
    EXPECT_EQ(run.settings.MaxRowByUnit, (std::array<std::string, 5>{"", "600", "15.2", "0", "0.6"}));
}

TEST_F(ApplySettingsTest, OutOfRangeKeepsTheSettingsInForceAndTellsTheUser) {
    run.settings.UnitCode = 1;
    Set_Defaults(run);
    ASSERT_TRUE(Apply_Settings(run));

    run.settings.LeftStartByUnit[1] = "99999999";
    run.settings.RightStartByUnit[1] = "10";  // convertible, yet must not take effect alone
    EXPECT_FALSE(Apply_Settings(run));
    EXPECT_EQ(run.settings.LeftStart, 355600);
    EXPECT_EQ(run.settings.RightStart, 482600);
    EXPECT_EQ(run.settings.MaxRowLength, 1524000);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, "Left side start is out of range: 99999999");
    EXPECT_EQ(platform.boxes[0].title, "Warning");
    EXPECT_EQ(platform.boxes[0].icon, Icon::Warning);
    EXPECT_EQ(platform.boxes[0].buttons, Buttons::Ok);
}

TEST_F(ApplySettingsTest, EveryFailingSettingIsNamedOnItsOwnLine) {
    run.settings.UnitCode = 2;
    Set_Defaults(run);
    run.settings.RightStartByUnit[2] = "1E400";
    run.settings.MaxRowByUnit[2] = "30000";
    EXPECT_FALSE(Apply_Settings(run));
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, "Right side start is out of range: 1E400\rMax row lenght is out of range: 30000");
    EXPECT_EQ(run.settings.LeftStart, 0);  // nothing was applied
}

TEST_F(ApplySettingsTest, WholeNumberUnitsRejectTextsThatAreNoNumber) {
    run.settings.UnitCode = 3;
    Set_Defaults(run);
    run.settings.MaxRowByUnit[3] = "12n";
    EXPECT_FALSE(Apply_Settings(run));
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, "Max row lenght is not a number: 12n");
}

}  // namespace
}  // namespace orlune

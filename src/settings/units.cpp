#include "settings/units.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

#include "run/run.h"

namespace orlune {

namespace {

constexpr double kMilFactor = 2540.0;
constexpr double kMmFactor = 100000.0;
constexpr double kInchFactor = 2540000.0;

// Exponents beyond this make every mantissa overflow or vanish; clamping keeps
// the arithmetic on the exponent itself from overflowing.
constexpr int kExponentClamp = 100000;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A number found at the start of a text: its value, how many characters it
// took, and whether it held a digit at all.
struct Leading {
    double value = 0.0;
    std::size_t length = 0;
    bool hasDigits = false;
};

Leading readRadix(std::string_view text, std::size_t start, int radix) {
    Leading result;
    std::size_t i = start;
    double value = 0.0;
    while (i < text.size()) {
        const int digit = hexValue(text[i]);
        if (digit < 0 || digit >= radix) break;
        value = value * radix + digit;
        ++i;
        result.hasDigits = true;
    }
    result.value = value;
    result.length = i;
    return result;
}

// Decimal with an optional sign, one ".", and an exponent introduced by E or
// D. The value is computed by std::from_chars, which ignores the locale.
Leading readDecimal(std::string_view text) {
    Leading result;
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::string mantissa;
    int pointShift = 0;  // digits after the point, which scale the mantissa down
    while (i < text.size() && isDigit(text[i]))
        mantissa += text[i++];
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            mantissa += text[i++];
            ++pointShift;
        }
    }
    if (mantissa.empty()) return result;  // a sign or "." alone is no number
    result.hasDigits = true;

    long exponent = 0;
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
        std::size_t j = i + 1;
        bool negativeExponent = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            negativeExponent = text[j] == '-';
            ++j;
        }
        if (j < text.size() && isDigit(text[j])) {
            while (j < text.size() && isDigit(text[j])) {
                if (exponent < kExponentClamp) exponent = exponent * 10 + (text[j] - '0');
                ++j;
            }
            if (negativeExponent) exponent = -exponent;
            i = j;
        }
        // An exponent letter without digits is not part of the number.
    }
    result.length = i;

    const std::size_t firstNonZero = mantissa.find_first_not_of('0');
    if (firstNonZero == std::string::npos) {
        result.value = negative ? -0.0 : 0.0;
        return result;
    }
    const long scale = exponent - pointShift;
    const std::string normal = mantissa.substr(firstNonZero) + "e" + std::to_string(scale);
    double value = 0.0;
    const auto [end, error] = std::from_chars(normal.data(), normal.data() + normal.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        // The decimal magnitude decides between overflow and underflow.
        const long magnitude = scale + static_cast<long>(mantissa.size() - firstNonZero);
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    result.value = negative ? -value : value;
    return result;
}

Leading readLeading(std::string_view text) {
    if (text.size() >= 2 && text[0] == '&') {
        const char prefix = text[1];
        if (prefix == 'H' || prefix == 'h') return readRadix(text, 2, 16);
        if (prefix == 'O' || prefix == 'o') return readRadix(text, 2, 8);
        return {};
    }
    return readDecimal(text);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

std::optional<int32_t> toInt32(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    const double rounded = Round_Even(value);
    if (rounded < static_cast<double>(std::numeric_limits<int32_t>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<int32_t>::max())) {
        return std::nullopt;
    }
    return static_cast<int32_t>(rounded);
}

std::optional<int32_t> scaled(std::string_view text, double factor) {
    return toInt32(Read_Number(text) * factor);
}

// The whole text as one number; blanks may surround it but not split it.
std::optional<double> wholeNumber(std::string_view text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    const std::string_view body = text.substr(first, last - first);
    const Leading number = readLeading(body);
    if (!number.hasDigits || number.length != body.size()) return std::nullopt;
    return number.value;
}

// The settings-page caption of each setting, used to name it in messages.
constexpr const char* kLeftCaption = "Left side start";
constexpr const char* kRightCaption = "Right side start";
constexpr const char* kMaxRowCaption = "Max row lenght";

}  // namespace

int Unit_Slot(int16_t unitCode) {
    return (unitCode >= 1 && unitCode <= 4) ? unitCode : 3;
}

bool Check_Unit(int16_t code) {
    return code == 1 || code == 2 || code == 4;
}

void Set_Defaults(Run& run) {
    run.settings.LeftStartByUnit[1] = "140";
    run.settings.LeftStartByUnit[2] = "3.6";
    run.settings.LeftStartByUnit[3] = "0";
    run.settings.LeftStartByUnit[4] = "0.14";
    run.settings.RightStartByUnit[1] = "190";
    run.settings.RightStartByUnit[2] = "4.8";
    run.settings.RightStartByUnit[3] = "0";
    run.settings.RightStartByUnit[4] = "0.19";
    run.settings.MaxRowByUnit[1] = "600";
    run.settings.MaxRowByUnit[2] = "15.2";
    run.settings.MaxRowByUnit[3] = "0";
    run.settings.MaxRowByUnit[4] = "0.6";
}

std::string Check_Settings(const Run& run, std::string_view left, std::string_view right, std::string_view maxRow) {
    const struct {
        const char* caption;
        std::string_view text;
    } settings[] = {{kLeftCaption, left}, {kRightCaption, right}, {kMaxRowCaption, maxRow}};
    std::string message;
    for (const auto& s : settings) {
        if (To_DbUnits(run, s.text)) continue;
        if (!message.empty()) message += '\r';
        const bool notNumber = !Check_Unit(run.settings.UnitCode) && !wholeNumber(s.text);
        message +=
            std::string(s.caption) + (notNumber ? " is not a number: " : " is out of range: ") + std::string(s.text);
    }
    return message;
}

bool Apply_Settings(Run& run) {
    const int slot = Unit_Slot(run.settings.UnitCode);
    const std::string problem = Check_Settings(run, run.settings.LeftStartByUnit[slot],
                                               run.settings.RightStartByUnit[slot], run.settings.MaxRowByUnit[slot]);
    if (!problem.empty()) {
        run.platform.messageBox(problem, "Warning", Icon::Warning, Buttons::Ok);
        return false;
    }
    run.settings.LeftStart = *To_DbUnits(run, run.settings.LeftStartByUnit[slot]);
    run.settings.RightStart = *To_DbUnits(run, run.settings.RightStartByUnit[slot]);
    run.settings.MaxRowLength = *To_DbUnits(run, run.settings.MaxRowByUnit[slot]);
    return true;
}

std::optional<int32_t> To_DbUnits(const Run& run, std::string_view text) {
    switch (run.settings.UnitCode) {
        case 1:
            return Mil_To_Db(text);
        case 2:
            return Mm_To_Db(text);
        case 4:
            return Inch_To_Db(text);
        default:
            return Whole_To_Db(text);
    }
}

std::optional<int32_t> Mil_To_Db(std::string_view text) {
    return scaled(text, kMilFactor);
}
std::optional<int32_t> Mm_To_Db(std::string_view text) {
    return scaled(text, kMmFactor);
}
std::optional<int32_t> Inch_To_Db(std::string_view text) {
    return scaled(text, kInchFactor);
}

std::optional<int32_t> Whole_To_Db(std::string_view text) {
    const std::optional<double> number = wholeNumber(text);
    if (!number) return std::nullopt;
    return toInt32(*number);
}

double Read_Number(std::string_view text) {
    std::string cleaned;
    cleaned.reserve(text.size());
    for (char c : text) {
        if (!isBlank(c)) cleaned += c;
    }
    return readLeading(cleaned).value;
}

double Round_Even(double value) {
    if (!std::isfinite(value)) return value;
    const double below = std::floor(value);
    const double fraction = value - below;
    if (fraction > 0.5) return below + 1.0;
    if (fraction < 0.5) return below;
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

std::string Trim_Nul(std::string_view text) {
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

}  // namespace orlune

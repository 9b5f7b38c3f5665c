#include "common/numtext.h"

#include "common/failure.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace nuvok {

namespace {

bool isSkipped(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Collects the characters of the leading number, without the skipped blanks,
// in a form std::from_chars understands ("-12.5e+3").
struct NumberScan {
    std::string chars;
    bool negativeExponent = false;
};

NumberScan scanNumber(std::string_view text) {
    NumberScan scan;
    enum class Stage { Sign, Mantissa, ExponentSign, Exponent } stage = Stage::Sign;
    bool seenPoint = false;
    bool seenMantissaDigit = false;
    bool seenExponentDigit = false;
    std::size_t exponentStart = 0;
    for (char c : text) {
        if (isSkipped(c))
            continue;
        if (stage == Stage::Sign) {
            stage = Stage::Mantissa;
            if (c == '-' || c == '+') {
                if (c == '-')
                    scan.chars += '-';
                continue;
            }
        }
        if (stage == Stage::Mantissa) {
            if (isDigit(c)) {
                scan.chars += c;
                seenMantissaDigit = true;
            } else if (c == '.' && !seenPoint) {
                if (!seenMantissaDigit)
                    scan.chars += '0'; // from_chars wants a digit before the point
                scan.chars += c;
                seenPoint = true;
            } else if ((c == 'E' || c == 'e' || c == 'D' || c == 'd') && seenMantissaDigit) {
                exponentStart = scan.chars.size();
                scan.chars += 'e';
                stage = Stage::ExponentSign;
            } else {
                break;
            }
            continue;
        }
        if (stage == Stage::ExponentSign) {
            stage = Stage::Exponent;
            if (c == '-' || c == '+') {
                scan.chars += c;
                scan.negativeExponent = c == '-';
                continue;
            }
        }
        if (isDigit(c)) {
            scan.chars += c;
            seenExponentDigit = true;
        } else {
            break;
        }
    }
    if (!seenMantissaDigit)
        return {};
    if (exponentStart > 0 && !seenExponentDigit) {
        scan.chars.resize(exponentStart);
        scan.negativeExponent = false;
    }
    return scan;
}

// The shortest digits that read back as the value, with the decimal point
// moved into place by hand rather than by an exponent.
std::string positionalText(std::string_view scientific, char decimalSeparator) {
    std::string sign;
    if (!scientific.empty() && scientific.front() == '-') {
        sign = "-";
        scientific.remove_prefix(1);
    }
    const std::size_t e = scientific.find('e');
    if (e == std::string_view::npos)
        return sign + std::string(scientific); // inf, nan
    std::string digits;
    for (char c : scientific.substr(0, e))
        if (c != '.')
            digits += c;
    int exponent = 0;
    std::from_chars(scientific.data() + e + 1 + (scientific[e + 1] == '+'),
                    scientific.data() + scientific.size(), exponent);
    const long long pointAt = 1LL + exponent; // digits before the point
    const auto count = static_cast<long long>(digits.size());
    if (pointAt >= count)
        return sign + digits + std::string(static_cast<std::size_t>(pointAt - count), '0');
    if (pointAt > 0)
        return sign + digits.substr(0, static_cast<std::size_t>(pointAt)) + decimalSeparator +
               digits.substr(static_cast<std::size_t>(pointAt));
    return sign + '0' + decimalSeparator + std::string(static_cast<std::size_t>(-pointAt), '0') +
           digits;
}

template <typename T>
std::string shortestText(T value, char decimalSeparator, bool positional = false) {
    if (value == 0)
        value = 0; // no "-0"
    char buffer[64];
    auto [end, ec] = positional ? std::to_chars(buffer, buffer + sizeof buffer, value,
                                                std::chars_format::scientific)
                                : std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec != std::errc())
        return "0";
    if (positional)
        return positionalText(std::string_view(buffer, static_cast<std::size_t>(end - buffer)),
                              decimalSeparator);
    std::string text(buffer, end);
    for (char& c : text) {
        if (c == '.')
            c = decimalSeparator;
        else if (c == 'e')
            c = 'E';
    }
    return text;
}

template <typename T> std::string signedText(T value) {
    std::string text = shortestText(value, '.');
    if (text.empty() || text.front() != '-')
        text.insert(text.begin(), ' ');
    return text;
}

} // namespace

double numericValue(std::string_view text) {
    const NumberScan scan = scanNumber(text);
    if (scan.chars.empty())
        return 0.0;
    std::string_view digits = scan.chars;
    const bool negative = digits.front() == '-';
    if (negative)
        digits.remove_prefix(1);
    double value = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (result.ec == std::errc::result_out_of_range)
        value = scan.negativeExponent ? 0.0 : std::numeric_limits<double>::infinity();
    return negative ? -value : value;
}

// Positional: an exponent after a decimal comma would not be read back, so
// "2,2E+09" would become 2 where "2200000000" stays what it was.
std::string plainNumberText(double value, char decimalSeparator) {
    return shortestText(value, decimalSeparator, true);
}

std::string plainNumberText(float value, char decimalSeparator) {
    return shortestText(value, decimalSeparator, true);
}

std::string signedNumberText(double value) {
    return signedText(value);
}
std::string signedNumberText(float value) {
    return signedText(value);
}

std::int32_t roundHalfEvenToInt32(double value) {
    const double rounded = std::nearbyint(value); // default rounding mode: halves to even
    if (!(rounded >= std::numeric_limits<std::int32_t>::min() &&
          rounded <= std::numeric_limits<std::int32_t>::max()))
        throw Failure("Overflow: " + plainNumberText(value) + " does not fit a whole number");
    return static_cast<std::int32_t>(rounded);
}

bool isDecimalDigits(std::string_view text) {
    if (text.empty())
        return false;
    for (const char c : text)
        if (!isDigit(c))
            return false;
    return true;
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace nuvok

#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nuvok {

// Numeric value of a text: blanks, tabs and line feeds are skipped wherever they
// stand; then an optional sign, digits with at most one full stop, and an
// optional exponent (E or D) are read up to the first character that cannot
// continue the number. No leading number gives 0. The decimal separator is
// always the full stop, whatever the user's locale.
double numericValue(std::string_view text);

// Shortest positional decimal form (never an exponent) with no leading blank,
// using the given decimal separator (the user's number format), so a whole
// number reads back as itself whatever the separator. The float overload
// prints the shortest form that reads back as the same single-precision value.
std::string plainNumberText(double value, char decimalSeparator = '.');
std::string plainNumberText(float value, char decimalSeparator = '.');

// Shortest decimal form with a full stop and a sign position: a blank for zero
// and positive numbers, a minus for negative ones (" 5000", "-5").
std::string signedNumberText(double value);
std::string signedNumberText(float value);

// Nearest 32-bit integer, halves to the even neighbour (8080.5 -> 8080,
// 8081.5 -> 8082). Throws Failure when the value does not fit.
std::int32_t roundHalfEvenToInt32(double value);

// The value of one hexadecimal digit (either case), or -1 for any other character.
int hexDigitValue(char c);

// Whether the text is one or more decimal digits and nothing else.
bool isDecimalDigits(std::string_view text);

} // namespace nuvok

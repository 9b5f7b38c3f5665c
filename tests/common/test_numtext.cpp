#include "support/check.h"

#include "common/failure.h"
#include "common/numtext.h"

#include <cmath>

using namespace nuvok;

TEST_CASE("numeric value reads the leading number and skips blanks anywhere") {
    struct Row {
        const char* text;
        double value;
    };
    const Row rows[] = {
        {" 8080 x", 8080}, {"abc", 0},       {"1E3", 1000},   {"1D3", 1000}, {"1e3", 1000},
        {"8 0 8 0", 8080}, {"-", 0},         {"-5", -5},      {".5", 0.5},   {"1.2.3", 1.2},
        {"", 0},           {"+7", 7},        {"\t\n12", 12},  {"2E-1", 0.2}, {"3E", 3},
        {"3E+", 3},        {"65536", 65536}, {"1 E 2", 100},  {"- 4", -4},   {"80.5", 80.5},
        {"80,5", 80},      {".", 0},         {"-.25", -0.25}, {"0x10", 0},   {"12abc34", 12},
        {"1E-999", 0},     {"\r5", 0},       {"00042", 42},
    };
    for (const Row& row : rows)
        CHECK_EQ(numericValue(row.text), row.value);
}

TEST_CASE("numeric value of an overlong exponent is infinite, not garbage") {
    CHECK(std::isinf(numericValue("1E999")));
    CHECK(numericValue("-1E999") < 0);
}

TEST_CASE("plain number text is the shortest positional form in the user's separator") {
    struct Row {
        double value;
        char separator;
        const char* text;
    };
    const Row rows[] = {
        {5000, '.', "5000"},
        {12.5, '.', "12.5"},
        {12.5, ',', "12,5"},
        {80.5, ',', "80,5"},
        {-0.0, '.', "0"},
        {-3, '.', "-3"},
        {22E8, ',', "2200000000"},
        {25000000, ',', "25000000"},
        {1E23, '.', "100000000000000000000000"},
        {1E-7, ',', "0,0000001"},
        {-65536.25, ',', "-65536,25"},
    };
    for (const Row& row : rows)
        CHECK_EQ(plainNumberText(row.value, row.separator), std::string(row.text));
    CHECK_EQ(plainNumberText(8080.5f), std::string("8080.5"));
    CHECK_EQ(plainNumberText(0.1f), std::string("0.1"));
    CHECK_EQ(plainNumberText(3E10f, ','), std::string("30000000000"));
}

TEST_CASE("plain number text reads back as the same number, whole numbers in any separator") {
    const double wholes[] = {22E8, 25000000, 65536, 1E15, 1E308, -1E308, 123456789012};
    for (double v : wholes) {
        CHECK_EQ(numericValue(plainNumberText(v, ',')), v);
        CHECK_EQ(numericValue(plainNumberText(v, '.')), v);
    }
    const double fractions[] = {0.1, 1E-7, 65535.5, 4.9406564584124654E-324,
                                1.7976931348623157E308};
    for (double v : fractions)
        CHECK_EQ(numericValue(plainNumberText(v, '.')), v);
}

TEST_CASE("plain number text with a decimal comma reads back as its whole part") {
    CHECK_EQ(numericValue(plainNumberText(80.5, ',')), 80.0);
}

TEST_CASE("signed number text has a sign position") {
    CHECK_EQ(signedNumberText(5000.0), std::string(" 5000"));
    CHECK_EQ(signedNumberText(65530.0f), std::string(" 65530"));
    CHECK_EQ(signedNumberText(0.0), std::string(" 0"));
    CHECK_EQ(signedNumberText(-0.0), std::string(" 0"));
    CHECK_EQ(signedNumberText(-5.0), std::string("-5"));
    CHECK_EQ(signedNumberText(80.5f), std::string(" 80.5"));
}

TEST_CASE("signed number text reads back as the same number") {
    const float values[] = {0.0f, 1.0f, 65535.0f, 8080.5f, -1.0f, 0.1f};
    for (float v : values)
        CHECK_EQ(static_cast<float>(numericValue(signedNumberText(v))), v);
}

TEST_CASE("rounding to a whole number takes halves to the even neighbour") {
    CHECK_EQ(roundHalfEvenToInt32(8080.5), 8080);
    CHECK_EQ(roundHalfEvenToInt32(8081.5), 8082);
    CHECK_EQ(roundHalfEvenToInt32(-2.5), -2);
    CHECK_EQ(roundHalfEvenToInt32(97.33), 97);
    CHECK_EQ(roundHalfEvenToInt32(2147483647.0), 2147483647);
    CHECK_THROWS(roundHalfEvenToInt32(2147483648.0));
    CHECK_THROWS(roundHalfEvenToInt32(std::nan("")));
}

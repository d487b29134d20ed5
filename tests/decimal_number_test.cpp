// Tests of reading decimal numbers from settings texts, as doubles and as exact thousandths.
#include "conversion/decimal_number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

struct ThousandthsCase {
    const char* text;
    int32_t expected;
};

TEST(DecimalToThousandthsTest, ExactDecimalValueTruncatedTowardZero) {
    const ThousandthsCase cases[] = {
        // Doubles would give 289.99..., 1004.99... or round 1.9999 up; the digits must not move.
        {"0.29", 290},
        {"1.005", 1005},
        {"1.9999", 1999},
        {"-1.9999", -1999},
        {"0.5", 500},
        {"-0.25", -250},
        {"-0.0009", 0},
        {"-0", 0},
        {"0.000", 0},
        {"12", 12000},
        {"007.5", 7500},
        {".5", 500},
        {"5.", 5000},
        {"+.5e+1", 5000},
        {"1e-3", 1},
        {"1E-4", 0},
        {"2.5e2", 250000},
        {"0.0000000000000000000001e22", 1000},
        {"123456789012345678901234567890e-27", 123456},
        {"2147483.647", 2147483647},
        {"2147483.6479", 2147483647},
        {"-2147483.648", -2147483647 - 1},
        {"-2147483.6489", -2147483647 - 1},
        {"0e999999999", 0},
        {"1e-999999999", 0},
        {"1e-99999999999999999999999999", 0},
    };
    for (const ThousandthsCase& c : cases) {
        int32_t thousandths = 77;
        EXPECT_TRUE(DecimalToThousandths(c.text, &thousandths)) << c.text;
        EXPECT_EQ(thousandths, c.expected) << c.text;
    }
}

TEST(DecimalToThousandthsTest, LongestNumberPrefixAfterBlanksElseZero) {
    const ThousandthsCase cases[] = {
        {" \t\n\v\f\r7", 7000},
        {"  12.5mA", 12500},
        {"1.2.3", 1200},
        {"1,5", 1000},
        {"1e", 1000},
        {"1e+", 1000},
        {"1e-x", 1000},
        {"-3 V", -3000},
        // No hexadecimal, infinity or NaN: only the leading "0" or nothing is a number.
        {"0x10", 0},
        {"inf", 0},
        {"-INFINITY", 0},
        {"nan", 0},
        {"abc", 0},
        {"", 0},
        {"-", 0},
        {".", 0},
        {"+.e1", 0},
        {"- 1", 0},
        {"\xA0"
         "1",
         0},
    };
    for (const ThousandthsCase& c : cases) {
        int32_t thousandths = 77;
        EXPECT_TRUE(DecimalToThousandths(c.text, &thousandths)) << c.text;
        EXPECT_EQ(thousandths, c.expected) << c.text;
    }
}

TEST(DecimalToThousandthsTest, OutsideInt32IsReportedAndLeavesTheResultAlone) {
    const char* const texts[] = {
        "2147483.648", "-2147483.649", "1e20",         "-1e20",
        "99999999999", "1e999999999",  "-1e999999999", "1e99999999999999999999999999",
    };
    for (const char* text : texts) {
        int32_t thousandths = 77;
        EXPECT_FALSE(DecimalToThousandths(text, &thousandths)) << text;
        EXPECT_EQ(thousandths, 77) << text;
    }
}

TEST(DecimalToThousandthsTest, LongDigitStrings) {
    const std::string zeros(5000, '0');
    int32_t thousandths = 77;
    EXPECT_TRUE(DecimalToThousandths(("0." + zeros + "1").c_str(), &thousandths));
    EXPECT_EQ(thousandths, 0);
    EXPECT_TRUE(DecimalToThousandths(("1" + zeros + "e-5000").c_str(), &thousandths));
    EXPECT_EQ(thousandths, 1000);
    EXPECT_TRUE(DecimalToThousandths((zeros + "42.4219" + zeros + "9").c_str(), &thousandths));
    EXPECT_EQ(thousandths, 42421);
    EXPECT_FALSE(DecimalToThousandths(("1" + zeros).c_str(), &thousandths));
}

TEST(DecimalToDoubleTest, AgreesWithStrtodWhereTheGrammarsAgree) {
    const char* const texts[] = {
        "0",
        "-0",
        "3.7",
        "  -1.5e3xyz",
        "0.29",
        "18.75",
        "1e",
        "1e+",
        ".5",
        "5.",
        "405.09259259259",
        "2.2250738585072014e-308",
        "4e-320",
        "1e400",
        "-1e400",
        "1e-400",
        "1.7976931348623157e308",
    };
    for (const char* text : texts) {
        const double expected = strtod(text, nullptr);
        const double actual = DecimalToDouble(text);
        EXPECT_EQ(actual, expected) << text;
        EXPECT_EQ(std::signbit(actual), std::signbit(expected)) << text;
    }
}

TEST(DecimalToDoubleTest, NoHexInfinityOrNaN) {
    EXPECT_EQ(DecimalToDouble("0x10"), 0.0);
    EXPECT_EQ(DecimalToDouble("inf"), 0.0);
    EXPECT_EQ(DecimalToDouble("nan"), 0.0);
    EXPECT_EQ(DecimalToDouble("abc"), 0.0);
    EXPECT_EQ(DecimalToDouble("."), 0.0);
    EXPECT_EQ(DecimalToDouble("1e999999999"), HUGE_VAL);
    EXPECT_EQ(DecimalToDouble("-1e99999999999999999999"), -HUGE_VAL);
    EXPECT_EQ(DecimalToDouble("1e-99999999999999999999"), 0.0);
}

TEST(DecimalToDoubleTest, DigitsBeyondTheKeptOnesStillDecideTheRounding) {
    // 2^53 + 1 lies halfway between two doubles: exactly on it, ties go to the even 2^53; the
    // smallest excess, hundreds of digits further on, must round up instead.
    const std::string halfway = "9007199254740993";
    const std::string zeros(1000, '0');
    EXPECT_EQ(DecimalToDouble(halfway.c_str()), 9007199254740992.0);
    EXPECT_EQ(DecimalToDouble((halfway + "." + zeros).c_str()), 9007199254740992.0);
    EXPECT_EQ(DecimalToDouble((halfway + "." + zeros + "1").c_str()), 9007199254740994.0);
    EXPECT_EQ(DecimalToDouble(("0.000" + halfway + zeros + "1e19").c_str()), 9007199254740994.0);
}

}  // namespace

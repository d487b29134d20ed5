// Reading C-locale decimal numbers from settings texts, as a double and as exact thousandths.
#include "conversion/decimal_number.h"

#include <cstdio>
#include <cstdlib>

namespace {

// Exponents are clamped here: every result has saturated (to zero, infinity or out of range)
// long before, and the clamp keeps the arithmetic on them from overflowing.
constexpr int64_t kExponentLimit = 1000000000;

// A decimal whose significant digits are cut after this many, with one non-zero digit appended
// when anything non-zero was cut, still rounds to the same double: the exact midpoint between
// two doubles never has more than 767 significant digits, so the cut value lies on the same
// side of every midpoint as the full one.
constexpr size_t kMaxKeptDigits = 768;

constexpr int64_t kThousandthsDigits = 3;  // the decimal places that times 1000 moves over
constexpr int64_t kMaxInt32Digits = 10;    // INT32_MAX and INT32_MIN have ten digits

// A number as its digits: the value is 0.digits times ten to the power pointPosition.
struct DecimalParts {
    bool negative;
    char digits[kMaxKeptDigits + 2];  // significant digits, no leading zeros; terminated
    size_t kept;                      // digits held, a trailing cut marker included
    int64_t pointPosition;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads the exponent that starts at text (just after the "e"). Returns its value, clamped, or 0
// when no digit follows the optional sign (the "e" is then not part of the number).
int64_t ScanExponent(const char* text) {
    const char* p = text;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (!IsDigit(*p)) {
        return 0;
    }
    int64_t exponent = 0;
    for (; IsDigit(*p); ++p) {
        if (exponent < kExponentLimit) {
            exponent = exponent * 10 + (*p - '0');
        }
    }
    return negative ? -exponent : exponent;
}

// Splits the longest number prefix of text into parts; a text without one gives no digits.
void ScanDecimal(const char* text, DecimalParts* parts) {
    parts->negative = false;
    parts->kept = 0;
    parts->pointPosition = 0;
    parts->digits[0] = '\0';

    const char* p = text;
    while (IsBlank(*p)) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }

    bool anyDigit = false;
    bool seenPoint = false;
    bool seenSignificant = false;
    bool cutNonZero = false;
    int64_t pointPosition = 0;
    for (;; ++p) {
        if (*p == '.' && !seenPoint) {
            seenPoint = true;
            continue;
        }
        if (!IsDigit(*p)) {
            break;
        }
        anyDigit = true;
        if (!seenSignificant && *p == '0') {
            if (seenPoint) {
                --pointPosition;
            }
            continue;
        }
        seenSignificant = true;
        if (!seenPoint) {
            ++pointPosition;
        }
        if (parts->kept < kMaxKeptDigits) {
            parts->digits[parts->kept++] = *p;
        } else if (*p != '0') {
            cutNonZero = true;
        }
    }
    parts->negative = negative && anyDigit;
    if (!seenSignificant) {
        return;  // no number, or a zero
    }
    if (cutNonZero) {
        parts->digits[parts->kept++] = '1';
    }
    parts->digits[parts->kept] = '\0';
    if (*p == 'e' || *p == 'E') {
        pointPosition += ScanExponent(p + 1);
    }
    parts->pointPosition = pointPosition;
}

}  // namespace

double DecimalToDouble(const char* text) {
    DecimalParts parts;
    ScanDecimal(text, &parts);
    if (parts.kept == 0) {
        return parts.negative ? -0.0 : 0.0;
    }
    // The digits as an integer with an exponent: no decimal point, so the user's locale has no
    // say in how strtod reads it.
    int64_t exponent = parts.pointPosition - static_cast<int64_t>(parts.kept);
    if (exponent > kExponentLimit) {
        exponent = kExponentLimit;
    } else if (exponent < -kExponentLimit) {
        exponent = -kExponentLimit;
    }
    char canonical[sizeof parts.digits + 16];
    snprintf(canonical, sizeof canonical, "%s%se%d", parts.negative ? "-" : "", parts.digits,
             static_cast<int>(exponent));
    return strtod(canonical, nullptr);
}

bool DecimalToThousandths(const char* text, int32_t* thousandths) {
    DecimalParts parts;
    ScanDecimal(text, &parts);
    // The digits left of the point once the value is multiplied by 1000.
    const int64_t integerDigits = parts.kept == 0 ? 0 : parts.pointPosition + kThousandthsDigits;
    if (integerDigits > kMaxInt32Digits) {
        return false;  // the first digit is not zero, so the value is at least 10^10
    }
    int64_t magnitude = 0;
    for (int64_t i = 0; i < integerDigits; ++i) {
        const size_t index = static_cast<size_t>(i);
        magnitude = magnitude * 10 + (index < parts.kept ? parts.digits[index] - '0' : 0);
    }
    const int64_t value = parts.negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX) {
        return false;
    }
    *thousandths = static_cast<int32_t>(value);
    return true;
}

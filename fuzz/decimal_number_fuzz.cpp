// libFuzzer harness: the decimal number readers against a slow reading of the same text.
//
// The reference scans the grammar on its own and does the arithmetic on the digit string, so a
// fault in the digit handling or the range check of DecimalToThousandths shows up as a mismatch;
// DecimalToDouble is compared with strtod on the prefix the reference found.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "conversion/decimal_number.h"
#include "text/text_limits.h"

namespace {

// Any exponent beyond this leaves 31 characters of digits far out of range or at zero.
constexpr long kExponentSaturation = 1000;
constexpr int kThousandthsShift = 3;
constexpr size_t kInt32Digits = 10;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The longest number prefix of text, split up: every digit as written (point left out), how
// many of them follow the point, and the exponent.
struct Reading {
    bool found = false;
    bool negative = false;
    std::string prefix;  // the characters of the number, for strtod
    std::string digits;
    long fractionDigits = 0;
    long exponent = 0;
};

Reading Read(const char* text) {
    Reading reading;
    const char* p = text;
    while (IsBlank(*p)) {
        ++p;
    }
    const char* start = p;
    if (*p == '+' || *p == '-') {
        reading.negative = *p == '-';
        ++p;
    }
    for (; IsDigit(*p); ++p) {
        reading.digits += *p;
    }
    if (*p == '.') {
        for (++p; IsDigit(*p); ++p) {
            reading.digits += *p;
            ++reading.fractionDigits;
        }
    }
    if (reading.digits.empty()) {
        return Reading();
    }
    reading.found = true;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        bool negativeExponent = false;
        if (*q == '+' || *q == '-') {
            negativeExponent = *q == '-';
            ++q;
        }
        if (IsDigit(*q)) {
            for (; IsDigit(*q); ++q) {
                reading.exponent = reading.exponent * 10 + (*q - '0');
                if (reading.exponent > kExponentSaturation) {
                    reading.exponent = kExponentSaturation;
                }
            }
            if (negativeExponent) {
                reading.exponent = -reading.exponent;
            }
            p = q;
        }
    }
    reading.prefix.assign(start, p);
    return reading;
}

// The value times 1000 truncated toward zero, by moving the point over the digit string.
// Returns false when it lies outside int32_t.
bool SlowThousandths(const Reading& reading, int32_t* thousandths) {
    if (!reading.found) {
        *thousandths = 0;
        return true;
    }
    const long shift = reading.exponent - reading.fractionDigits + kThousandthsShift;
    std::string whole = reading.digits;
    if (shift >= 0) {
        whole.append(static_cast<size_t>(shift), '0');
    } else if (static_cast<size_t>(-shift) >= whole.size()) {
        whole.clear();
    } else {
        whole.resize(whole.size() - static_cast<size_t>(-shift));
    }
    const size_t firstNonZero = whole.find_first_not_of('0');
    whole = firstNonZero == std::string::npos ? "" : whole.substr(firstNonZero);
    if (whole.size() > kInt32Digits) {
        return false;
    }
    int64_t magnitude = 0;
    for (char digit : whole) {
        magnitude = magnitude * 10 + (digit - '0');
    }
    const int64_t value = reading.negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX) {
        return false;
    }
    *thousandths = static_cast<int32_t>(value);
    return true;
}

void Fail(const char* what, const char* text) {
    fprintf(stderr, "%s for text \"%s\"\n", what, text);
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A settings text: at most 31 characters, up to its first zero byte.
    char text[kMaxTextValueChars + 1];
    const size_t length = size < kMaxTextValueChars ? size : kMaxTextValueChars;
    memcpy(text, data, length);
    text[length] = '\0';

    const Reading reading = Read(text);

    int32_t expected = 0;
    const bool expectedInRange = SlowThousandths(reading, &expected);
    const int32_t untouched = 0x5A5A5A5A;
    int32_t thousandths = untouched;
    const bool inRange = DecimalToThousandths(text, &thousandths);
    if (inRange != expectedInRange) {
        Fail("DecimalToThousandths range answer differs", text);
    }
    if (inRange ? thousandths != expected : thousandths != untouched) {
        Fail("DecimalToThousandths value differs", text);
    }

    const double value = DecimalToDouble(text);
    const double reference = reading.found ? strtod(reading.prefix.c_str(), nullptr) : 0.0;
    if (memcmp(&value, &reference, sizeof value) != 0) {
        Fail("DecimalToDouble differs from strtod", text);
    }
    return 0;
}

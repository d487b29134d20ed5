// The parts of the code page conversion that every platform shares.
#include "text/codepage.h"

#include <cctype>
#include <cstdlib>

#include "text/ascii_case.h"

namespace {

// Windows has no code page above this number; longer digit strings are not code pages.
constexpr unsigned long kMaxCodepageNumber = 65535;

bool StartsWithNoCase(const std::string& text, std::string_view prefix, size_t* length) {
    if (text.size() < prefix.size() ||
        !EqualsAsciiNoCase(std::string_view(text).substr(0, prefix.size()), prefix)) {
        return false;
    }
    *length = prefix.size();
    return true;
}

void AppendUtf8(char32_t code, std::string* utf8) {
    if (code < 0x80) {
        utf8->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        utf8->push_back(static_cast<char>(0xC0 | (code >> 6)));
        utf8->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        utf8->push_back(static_cast<char>(0xE0 | (code >> 12)));
        utf8->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        utf8->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        utf8->push_back(static_cast<char>(0xF0 | (code >> 18)));
        utf8->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        utf8->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        utf8->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// The lead bytes of the double-byte ANSI code pages, as Windows' GetCPInfo gives them (iconv
// leaves the pairs of some lead bytes undefined, so they are not found by converting).
struct LeadByteRange {
    unsigned int codepage;
    unsigned char first;
    unsigned char last;
};
const LeadByteRange kLeadByteRanges[] = {
    {932, 0x81, 0x9F}, {932, 0xE0, 0xFC},  // Japanese (Shift JIS)
    {936, 0x81, 0xFE},                     // Simplified Chinese (GBK)
    {949, 0x81, 0xFE},                     // Korean (Unified Hangul Code)
    {950, 0x81, 0xFE},                     // Traditional Chinese (Big5)
};

}  // namespace

bool ParseCodepageName(const std::string& name, unsigned int* number) {
    size_t prefix = 0;
    if (!StartsWithNoCase(name, "windows-", &prefix) && !StartsWithNoCase(name, "cp", &prefix)) {
        prefix = 0;
    }
    const std::string digits = name.substr(prefix);
    if (digits.empty() || digits.size() > 5) {
        return false;
    }
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    const unsigned long value = std::strtoul(digits.c_str(), nullptr, 10);
    if (value == 0 || value > kMaxCodepageNumber) {
        return false;
    }
    *number = static_cast<unsigned int>(value);
    return true;
}

void Codepage::Survey() {
    constexpr char16_t kAsciiEnd = 0x80;
    std::u16string units;
    std::string bytes;
    for (char16_t unit = 0; unit < kAsciiEnd; ++unit) {
        units.push_back(unit);
        bytes.push_back(static_cast<char>(unit));
    }
    std::u16string toUnits;
    std::string toBytes;
    keepsAscii_ = ToUtf16(bytes, &toUnits) && toUnits == units && FromUtf16(units, &toBytes) &&
                  toBytes == bytes;
    leadBytes_.reset();
    for (const LeadByteRange& range : kLeadByteRanges) {
        if (range.codepage == number_) {
            for (unsigned int byte = range.first; byte <= range.last; ++byte) {
                leadBytes_.set(byte);
            }
        }
    }
}

bool Codepage::ToUtf8(const std::string& ansi, std::string* utf8) const {
    if (keepsAscii_ && IsAscii(ansi)) {
        *utf8 = ansi;  // ASCII is the same in both
        return true;
    }
    std::u16string text;
    const bool defined = ToUtf16(ansi, &text);
    utf8->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code < 0xE000) {
            code = 0xFFFD;
        }
        AppendUtf8(code, utf8);
    }
    return defined;
}

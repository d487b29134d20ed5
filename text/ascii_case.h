// ASCII case-insensitive comparison: the one rule for every name matched regardless of case.
#pragma once

#include <string_view>

// The first character beyond ASCII, in any of the forms text takes here.
constexpr char32_t kFirstNonAscii = 0x80;

// True when every byte of text is ASCII.
constexpr bool IsAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= kFirstNonAscii) {
            return false;
        }
    }
    return true;
}

// c with A-Z made a-z; every other character, code-page letters above 0x7F included, as it is.
constexpr char32_t AsciiLower(char32_t c) {
    return c >= U'A' && c <= U'Z' ? c - U'A' + U'a' : c;
}

// Returns true when a and b are as long and hold the same characters but for the case of ASCII
// letters; bytes count as unsigned, so a byte above 0x7F matches only itself.
bool EqualsAsciiNoCase(std::string_view a, std::string_view b);
bool EqualsAsciiNoCase(std::u16string_view a, std::string_view b);

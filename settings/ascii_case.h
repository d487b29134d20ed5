// ASCII case-insensitive comparison: the one rule for every name matched regardless of case.
#pragma once

#include <string_view>

// c with A-Z made a-z; every other character, code-page letters above 0x7F included, as it is.
constexpr char32_t AsciiLower(char32_t c) {
    return c >= U'A' && c <= U'Z' ? c - U'A' + U'a' : c;
}

// Returns true when a and b are as long and hold the same characters but for the case of ASCII
// letters; bytes count as unsigned, so a byte above 0x7F matches only itself.
bool EqualsAsciiNoCase(std::string_view a, std::string_view b);
bool EqualsAsciiNoCase(std::u16string_view a, std::string_view b);

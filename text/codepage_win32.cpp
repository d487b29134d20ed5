// Code page conversion over the Windows conversion functions themselves.
#include <windows.h>

#include "text/codepage.h"

Codepage::~Codepage() {}

bool Codepage::Open(const std::string& name, std::string* error) {
    unsigned int number = 0;
    if (!ParseCodepageName(name, &number) || !IsValidCodePage(number)) {
        *error = "unknown code page \"" + name + "\"";
        return false;
    }
    number_ = number;
    name_ = name;
    Survey();
    return true;
}

bool Codepage::FromUtf16(std::u16string_view text, std::string* ansi) const {
    ansi->clear();
    if (text.empty()) {
        return true;
    }
    const WCHAR* units = reinterpret_cast<const WCHAR*>(text.data());
    const int length = static_cast<int>(text.size());
    // A character takes up to four bytes (UTF-8, GB18030): the system says how many in all.
    const int needed = WideCharToMultiByte(number_, 0, units, length, NULL, 0, NULL, NULL);
    if (needed <= 0) {
        return false;
    }
    ansi->resize(static_cast<size_t>(needed));
    const int written =
        WideCharToMultiByte(number_, 0, units, length, &(*ansi)[0], needed, NULL, NULL);
    ansi->resize(written > 0 ? written : 0);
    // Best-fit letters do not count as used defaults: the way back tells them apart.
    std::u16string back;
    return ToUtf16(*ansi, &back) && back == text;
}

bool Codepage::ToUtf16(std::string_view ansi, std::u16string* text) const {
    text->clear();
    if (ansi.empty()) {
        return true;
    }
    const int length = static_cast<int>(ansi.size());
    text->resize(ansi.size());
    const int written = MultiByteToWideChar(number_, 0, ansi.data(), length,
                                            reinterpret_cast<WCHAR*>(&(*text)[0]), length);
    text->resize(written > 0 ? written : 0);
    // The strict conversion fails exactly when some byte has no character.
    return MultiByteToWideChar(number_, MB_ERR_INVALID_CHARS, ansi.data(), length, NULL, 0) > 0;
}

bool OpenSystemCodepage(Codepage* codepage, std::string* error) {
    return codepage->Open("Windows-" + std::to_string(GetACP()), error);
}

char16_t RegistryUpcase(char16_t unit) {
    WCHAR upper = unit;
    if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, reinterpret_cast<const WCHAR*>(&unit), 1,
                     &upper, 1) != 1) {
        return unit;
    }
    return upper;
}

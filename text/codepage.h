// Conversion between UTF-16 / UTF-8 and one Windows ANSI code page, as Windows converts.
#pragma once

#include <bitset>
#include <cstddef>
#include <string>
#include <string_view>

class Codepage {
  public:
    Codepage() = default;
    ~Codepage();
    Codepage(const Codepage&) = delete;
    Codepage& operator=(const Codepage&) = delete;

    // Selects the code page by name ("Windows-1252", "CP1252", "1252", ...). Returns false with
    // *error naming it when it is unknown.
    bool Open(const std::string& name, std::string* error);

    // UTF-16LE text to ANSI, one byte per UTF-16 unit as RegQueryValueExA gives it: characters
    // outside the code page become their best-fit letter or '?'. Returns true when every
    // character had an exact counterpart.
    bool FromUtf16(std::u16string_view text, std::string* ansi) const;

    // ANSI text to UTF-8 (every byte maps). Returns false only for bytes the code page leaves
    // undefined.
    bool ToUtf8(const std::string& ansi, std::string* utf8) const;

    // ANSI text to UTF-16. Returns false only for bytes the code page leaves undefined.
    bool ToUtf16(std::string_view ansi, std::u16string* text) const;

    // True when every ASCII character is its own single byte both ways, as in every Windows ANSI
    // code page: ASCII text then needs no conversion, which the bulk of a registry is.
    bool keepsAscii() const { return keepsAscii_; }

    // The offset just past the character that starts at pos of text: pos + 2 for a lead byte
    // followed by another byte in the double-byte code pages of East Asia (932, 936, 949, 950),
    // whose second byte may be the byte of '\' or '|'; otherwise pos + 1.
    size_t NextCharacter(std::string_view text, size_t pos) const {
        return leadBytes_[static_cast<unsigned char>(text[pos])] && pos + 1 < text.size() ? pos + 2
                                                                                          : pos + 1;
    }

    const std::string& name() const { return name_; }
    unsigned int number() const { return number_; }

  private:
    // Sets keepsAscii_ from what the conversions make of the ASCII characters, and leadBytes_.
    void Survey();

    std::string name_;
    bool keepsAscii_ = false;
    std::bitset<256> leadBytes_;  // the bytes that begin a character of two bytes
    unsigned int number_ = 0;     // the number Windows knows the code page by, e.g. 1252
    void* fromUtf16_ = nullptr;   // iconv descriptors, opened once
    void* toUtf16_ = nullptr;
};

// Selects the system's ANSI code page into *codepage, the one the ANSI functions of Windows
// (file names, the registry, the profile-string service) take text in, under the name
// "Windows-N". Returns false with *error where there is none: on every platform but Windows.
bool OpenSystemCodepage(Codepage* codepage, std::string* error);

// Upper-cases one UTF-16 unit as the registry does when it compares and sorts names.
char16_t RegistryUpcase(char16_t unit);

// The number of a Windows code page named "Windows-1252", "CP1252" or "1252" (any case).
// Returns false when the name has none of these forms.
bool ParseCodepageName(const std::string& name, unsigned int* number);

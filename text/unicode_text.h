// UTF-16 text in the byte forms files and the registry keep it: little-endian units and UTF-8.
#pragma once

#include <cstring>
#include <string>
#include <string_view>

constexpr unsigned kBitsPerByte = 8;

// The UTF-16 unit held by the two little-endian bytes at bytes. Inline: the export reader calls
// it for every unit of a file.
inline char16_t LoadUtf16Le(const char* bytes) {
    return static_cast<char16_t>(static_cast<unsigned char>(bytes[0]) |
                                 static_cast<unsigned char>(bytes[1]) << kBitsPerByte);
}

// True where a char16_t is stored as UTF-16LE is: such text is then copied as it lies.
inline bool HostIsLittleEndian() {
    const char16_t one = 1;
    unsigned char first = 0;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

// Stores unit as two little-endian bytes at bytes.
inline void StoreUtf16Le(char16_t unit, char* bytes) {
    bytes[0] = static_cast<char>(unit);
    bytes[1] = static_cast<char>(unit >> kBitsPerByte);
}

// Appends every unit of text as two little-endian bytes to *bytes.
void AppendUtf16Le(std::u16string_view text, std::string* bytes);

// Appends the units of little-endian bytes to *text; an odd last byte belongs to no unit and is
// left out.
void AppendUtf16FromLe(std::string_view bytes, std::u16string* text);

// Appends the UTF-16 form of UTF-8 bytes to *text; each malformed sequence (overlong, a
// surrogate, past U+10FFFF, cut short) becomes U+FFFD.
void AppendUtf8Decoded(std::string_view bytes, std::u16string* text);

// The pieces of a line of a registry export below the line machine: blanks, comments, quoted
// text with regedit's escapes, and a value's data in its four forms ("text", dword:, hex: and
// hex(N):), read into what the registry stores.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class Codepage;

// True for the blanks regedit passes over between the parts of a line.
bool IsExportBlank(char16_t c);

// The position of the first character at or after pos that is not a blank.
size_t SkipBlanks(std::u16string_view line, size_t pos);

// True when nothing but blanks and a ";" comment follows pos.
bool OnlyCommentFollows(std::u16string_view line, size_t pos);

// The value of a hex digit, or -1 when c is none.
int HexDigitValue(char16_t c);

// Reads a quoted text that starts after its opening quote at *pos, with regedit's escapes (in
// data, isData, \n and \r too), into *text: the line's own characters when it has no escapes,
// else *unescaped. Returns false when it has no closing quote; else *pos is just past that quote.
bool Unescape(std::u16string_view line, size_t* pos, bool isData, std::u16string* unescaped,
              std::u16string_view* text);

// The forms a value's data may take, told apart by how the data starts.
enum class DataForm { kString, kDword, kHex, kTypedHex };
struct ValueForm {
    const char16_t* prefix;
    DataForm form;
    uint32_t type;  // for kTypedHex the type follows the prefix: hex(N):
};

// The form of the data at pos, or null when it starts as none of them.
const ValueForm* FindValueForm(std::u16string_view line, size_t pos);

// Reads the number of dword: data from pos, after the prefix, into *value. Returns false when
// it is not 1 to 8 hex digits followed by nothing but a comment.
bool ParseDword(std::u16string_view line, size_t pos, uint32_t* value);

// Reads the type of hex(N): data from *pos, after the prefix, into *type and moves *pos past
// its "):". Returns false when it is not 1 to 8 hex digits and "):".
bool ParseHexType(std::u16string_view line, size_t* pos, uint32_t* type);

// How a run of hex data bytes ended.
enum class HexBytesEnd {
    kValue,         // at the end of the line or a comment: the value is complete
    kContinued,     // in ",\": the value goes on on the next line
    kTextAfterEnd,  // text after the "\" that continues it
    kMalformed,     // something but bytes of one or two hex digits between the commas
};

// Reads the comma-separated bytes from pos to the end of the line, appending them to *data
// unless data is null, or setting *tooLong instead once it holds kMaxExportValueBytes.
HexBytesEnd ParseHexBytes(std::u16string_view line, size_t pos, std::string* data, bool* tooLong);

// Makes the hex bytes of a text value what the registry stores of them: UTF-16LE ending in a
// terminator. In utf16 (an export of UTF-16 text) the bytes are that text already and only get
// their terminator when they lack it; otherwise they are 8-bit text in codepage, terminated and
// then converted.
void StoreHexText(bool utf16, const Codepage& codepage, std::string* data);

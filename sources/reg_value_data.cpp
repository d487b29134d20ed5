// Reading the parts of an export line: blanks, quoted text and the data of values.
#include "sources/reg_value_data.h"

#include "registry/registry_types.h"
#include "text/codepage.h"
#include "text/unicode_text.h"

namespace {

constexpr size_t kMaxDwordDigits = 8;
constexpr size_t kMaxHexByteDigits = 2;
constexpr size_t kMaxHexTypeDigits = 8;

// Tried in order: the first prefix the data starts with gives its form.
// clang-format off
const ValueForm kValueForms[] = {
    // prefix     form                 type
    {u"\"",       DataForm::kString,   kRegSz},
    {u"dword:",   DataForm::kDword,    kRegDword},
    {u"hex:",     DataForm::kHex,      kRegBinary},
    {u"hex(",     DataForm::kTypedHex, 0},
};
// clang-format on

bool StartsWith(std::u16string_view line, size_t pos, const char16_t* prefix) {
    for (size_t i = 0; prefix[i] != u'\0'; ++i) {
        if (pos + i >= line.size() || line[pos + i] != prefix[i]) {
            return false;
        }
    }
    return true;
}

// Reads hex digits from *pos into *value, moving *pos past them. Returns their number.
size_t ReadHexDigits(std::u16string_view line, size_t* pos, uint32_t* value) {
    size_t digits = 0;
    *value = 0;
    for (; *pos < line.size() && HexDigitValue(line[*pos]) >= 0; ++*pos, ++digits) {
        *value = (*value << 4) | static_cast<uint32_t>(HexDigitValue(line[*pos]));
    }
    return digits;
}

}  // namespace

bool IsExportBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

size_t SkipBlanks(std::u16string_view line, size_t pos) {
    while (pos < line.size() && IsExportBlank(line[pos])) {
        ++pos;
    }
    return pos;
}

bool OnlyCommentFollows(std::u16string_view line, size_t pos) {
    pos = SkipBlanks(line, pos);
    return pos == line.size() || line[pos] == u';';
}

int HexDigitValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    return -1;
}

bool Unescape(std::u16string_view line, size_t* pos, bool isData, std::u16string* unescaped,
              std::u16string_view* text) {
    size_t i = *pos;
    while (i < line.size() && line[i] != u'"' && line[i] != u'\\') {
        ++i;
    }
    if (i == line.size()) {
        return false;
    }
    if (line[i] == u'"') {
        *text = line.substr(*pos, i - *pos);
        *pos = i + 1;
        return true;
    }
    unescaped->assign(line.substr(*pos, i - *pos));
    for (; i < line.size(); ++i) {
        char16_t c = line[i];
        if (c == u'"') {
            *text = *unescaped;
            *pos = i + 1;
            return true;
        }
        if (c == u'\\') {
            if (++i == line.size()) {
                return false;
            }
            c = line[i];
            if (isData && c == u'n') {
                c = u'\n';
            } else if (isData && c == u'r') {
                c = u'\r';
            }
        }
        unescaped->push_back(c);
    }
    return false;
}

const ValueForm* FindValueForm(std::u16string_view line, size_t pos) {
    for (const ValueForm& candidate : kValueForms) {
        if (StartsWith(line, pos, candidate.prefix)) {
            return &candidate;
        }
    }
    return nullptr;
}

bool ParseDword(std::u16string_view line, size_t pos, uint32_t* value) {
    pos = SkipBlanks(line, pos);
    const size_t digits = ReadHexDigits(line, &pos, value);
    return digits != 0 && digits <= kMaxDwordDigits && OnlyCommentFollows(line, pos);
}

bool ParseHexType(std::u16string_view line, size_t* pos, uint32_t* type) {
    size_t at = *pos;
    uint32_t number = 0;
    const size_t digits = ReadHexDigits(line, &at, &number);
    if (digits == 0 || digits > kMaxHexTypeDigits || !StartsWith(line, at, u"):")) {
        return false;
    }
    *type = number;
    *pos = at + 2;
    return true;
}

HexBytesEnd ParseHexBytes(std::u16string_view line, size_t pos, std::string* data, bool* tooLong) {
    for (;;) {
        pos = SkipBlanks(line, pos);
        if (pos == line.size() || line[pos] == u';') {
            return HexBytesEnd::kValue;
        }
        if (line[pos] == u'\\') {
            return OnlyCommentFollows(line, pos + 1) ? HexBytesEnd::kContinued
                                                     : HexBytesEnd::kTextAfterEnd;
        }
        uint32_t byte = 0;
        const size_t digits = ReadHexDigits(line, &pos, &byte);
        if (digits == 0 || digits > kMaxHexByteDigits) {
            return HexBytesEnd::kMalformed;
        }
        if (data != nullptr) {
            if (data->size() < kMaxExportValueBytes) {
                data->push_back(static_cast<char>(byte));
            } else {
                *tooLong = true;
            }
        }
        pos = SkipBlanks(line, pos);
        if (pos < line.size() && line[pos] == u',') {
            ++pos;
            continue;
        }
        return OnlyCommentFollows(line, pos) ? HexBytesEnd::kValue : HexBytesEnd::kMalformed;
    }
}

void StoreHexText(bool utf16, const Codepage& codepage, std::string* data) {
    if (utf16) {
        const size_t size = data->size();
        if (size < 2 || size % 2 != 0 || (*data)[size - 1] != '\0' || (*data)[size - 2] != '\0') {
            data->append(2, '\0');
        }
        return;
    }
    if (data->empty() || data->back() != '\0') {
        data->push_back('\0');
    }
    std::u16string text;
    codepage.ToUtf16(*data, &text);
    data->clear();
    AppendUtf16Le(text, data);
}

// Profile-string edits applied to the bytes of an INI file in memory.
#include "conversion/ini_edit.h"

#include <cstring>
#include <iterator>

namespace {

constexpr char kNewLine[] = "\r\n";  // what the profile-string service ends its own lines with
constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr size_t kUtf8MarkSize = sizeof kUtf8Mark - 1;

// Windows-1252 bytes 0x80 to 0x9F as Unicode; the five the code page leaves undefined map to
// the control characters of the same number, as Windows maps them.
constexpr unsigned kHighControlBase = 0x80;
constexpr char16_t kWindows1252High[] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

// The characters the service ignores around section and key names and values.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\x1A';
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// A run of bytes inside the text: [begin, end).
struct Span {
    size_t begin;
    size_t end;
};

Span Trimmed(const std::string& text, Span span) {
    while (span.begin < span.end && IsBlank(text[span.begin])) {
        ++span.begin;
    }
    while (span.end > span.begin && IsBlank(text[span.end - 1])) {
        --span.end;
    }
    return span;
}

// True when the bytes of span, blanks around them ignored, are name in any ASCII case.
bool NameMatches(const std::string& text, Span span, const std::string& name) {
    span = Trimmed(text, span);
    Span wanted = Trimmed(name, {0, name.size()});
    if (span.end - span.begin != wanted.end - wanted.begin) {
        return false;
    }
    for (size_t i = 0; i < span.end - span.begin; ++i) {
        if (AsciiLower(text[span.begin + i]) != AsciiLower(name[wanted.begin + i])) {
            return false;
        }
    }
    return true;
}

// One line: its content [begin, contentEnd) and the start of the next line. A line ends at
// CR LF, LF or a lone CR; the last line of a file may have no ending.
struct Line {
    size_t begin;
    size_t contentEnd;
    size_t next;
};

Line LineAt(const std::string& text, size_t begin) {
    size_t end = begin;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') {
        ++end;
    }
    size_t next = end;
    if (next < text.size() && text[next] == '\r') {
        ++next;
    }
    if (next < text.size() && text[next] == '\n') {
        ++next;
    }
    return {begin, end, next};
}

bool IsBlankLine(const std::string& text, const Line& line) {
    Span content = Trimmed(text, {line.begin, line.contentEnd});
    return content.begin == content.end;
}

// When line is a section header ("[NAME]", blanks before it allowed, the name running to the
// last ']'), sets *name to the span between the brackets and returns true.
bool SectionHeader(const std::string& text, const Line& line, Span* name) {
    Span content = Trimmed(text, {line.begin, line.contentEnd});
    if (content.begin == content.end || text[content.begin] != '[') {
        return false;
    }
    size_t close = content.end;
    while (close > content.begin + 1 && text[close - 1] != ']') {
        --close;
    }
    if (close == content.begin + 1) {
        return false;  // no ']': an ordinary line of the current section
    }
    *name = {content.begin + 1, close - 1};
    return true;
}

// ANSI text (Windows-1252) as UTF-8, for files that declare themselves UTF-8.
std::string Windows1252ToUtf8(const std::string& ansi) {
    std::string utf8;
    for (char c : ansi) {
        unsigned byte = static_cast<unsigned char>(c);
        char16_t unit = byte;
        if (byte >= kHighControlBase && byte < kHighControlBase + std::size(kWindows1252High)) {
            unit = kWindows1252High[byte - kHighControlBase];
        }
        if (unit < 0x80) {
            utf8 += static_cast<char>(unit);
        } else if (unit < 0x800) {
            utf8 += static_cast<char>(0xC0 | (unit >> 6));
            utf8 += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | (unit >> 12));
            utf8 += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    return utf8;
}

// Sets key in the existing line of a key: the bytes up to and including its first '=' stay and
// the value after it is replaced, unless it already reads as value. A line without '=' names a
// key with no value; it keeps its bytes and gets "=value" after them.
void ReplaceValue(std::string* text, const Line& line, const std::string& value) {
    const char* content = text->data() + line.begin;
    const void* equals = memchr(content, '=', line.contentEnd - line.begin);
    if (equals == nullptr) {
        text->insert(line.contentEnd, "=" + value);
        return;
    }
    size_t valueBegin = static_cast<const char*>(equals) - text->data() + 1;
    Span current = Trimmed(*text, {valueBegin, line.contentEnd});
    if (text->compare(current.begin, current.end - current.begin, value) == 0) {
        return;
    }
    text->replace(valueBegin, line.contentEnd - valueBegin, value);
}

// Puts a new line right after line, which may be the file's last line with no ending.
void InsertLineAfter(std::string* text, const Line& line, const std::string& newLine) {
    if (line.next == line.contentEnd) {
        text->insert(line.contentEnd, kNewLine + newLine);
    } else {
        text->insert(line.next, newLine);
    }
}

void AppendSection(std::string* text, size_t bodyBegin, const std::string& section,
                   const std::string& entryLine) {
    if (text->size() > bodyBegin && text->back() != '\n' && text->back() != '\r') {
        *text += kNewLine;
    }
    *text += "[" + section + "]" + kNewLine + entryLine;
}

// One write: the first section matching section, in it the first key matching key.
void ApplyEntry(std::string* text, size_t bodyBegin, const std::string& section,
                const std::string& key, const std::string& value) {
    const std::string entryLine = key + "=" + value + kNewLine;
    bool inSection = false;
    Line lastNonBlank = {};
    for (size_t at = bodyBegin; at < text->size();) {
        Line line = LineAt(*text, at);
        at = line.next;
        Span name;
        if (SectionHeader(*text, line, &name)) {
            if (inSection) {
                InsertLineAfter(text, lastNonBlank, entryLine);
                return;
            }
            if (NameMatches(*text, name, section)) {
                inSection = true;
                lastNonBlank = line;
            }
            continue;
        }
        if (!inSection || IsBlankLine(*text, line)) {
            continue;
        }
        lastNonBlank = line;
        const void* equals = memchr(text->data() + line.begin, '=', line.contentEnd - line.begin);
        size_t nameEnd = equals ? static_cast<const char*>(equals) - text->data() : line.contentEnd;
        if (NameMatches(*text, {line.begin, nameEnd}, key)) {
            ReplaceValue(text, line, value);
            return;
        }
    }
    if (inSection) {
        InsertLineAfter(text, lastNonBlank, entryLine);
    } else {
        AppendSection(text, bodyBegin, section, entryLine);
    }
}

bool StartsWith(const std::string& text, const char* prefix, size_t size) {
    return text.size() >= size && text.compare(0, size, prefix, size) == 0;
}

}  // namespace

IniEditStatus ApplyIniEntries(std::string* text, const RecipeEntryList& entries) {
    if (StartsWith(*text, "\xFF\xFE", 2) || StartsWith(*text, "\xFE\xFF", 2)) {
        return IniEditStatus::kNotEditable;
    }
    const bool utf8 = StartsWith(*text, kUtf8Mark, kUtf8MarkSize);
    const size_t bodyBegin = utf8 ? kUtf8MarkSize : 0;
    const std::string original = *text;
    for (const RecipeEntry& entry : entries) {
        if (utf8) {
            ApplyEntry(text, bodyBegin, Windows1252ToUtf8(entry.section),
                       Windows1252ToUtf8(entry.key), Windows1252ToUtf8(entry.text));
        } else {
            ApplyEntry(text, bodyBegin, entry.section, entry.key, entry.text);
        }
    }
    return *text == original ? IniEditStatus::kUnchanged : IniEditStatus::kChanged;
}

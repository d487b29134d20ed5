// Profile-string edits applied to the bytes of an INI file in memory.
#include "conversion/ini_edit.h"

#include "settings/ascii_case.h"
#include "settings/codepage.h"

#include <cstring>

namespace {

constexpr char kNewLine[] = "\r\n";  // what the profile-string service ends its own lines with
constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr size_t kUtf8MarkSize = sizeof kUtf8Mark - 1;

// The characters the service ignores around section and key names and values.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\x1A';
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
    return EqualsAsciiNoCase(
        std::string_view(text).substr(span.begin, span.end - span.begin),
        std::string_view(name).substr(wanted.begin, wanted.end - wanted.begin));
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

// Sets key in the existing line of a key: the bytes up to and including its first '=' stay and
// the value after it is replaced, unless it already reads as value. A line without '=' names a
// key with no value; it keeps its bytes and gets "=value" after them. Returns true when the
// text changed.
bool ReplaceValue(std::string* text, const Line& line, const std::string& value) {
    const char* content = text->data() + line.begin;
    const void* equals = memchr(content, '=', line.contentEnd - line.begin);
    if (equals == nullptr) {
        text->insert(line.contentEnd, "=" + value);
        return true;
    }
    size_t valueBegin = static_cast<const char*>(equals) - text->data() + 1;
    Span current = Trimmed(*text, {valueBegin, line.contentEnd});
    if (text->compare(current.begin, current.end - current.begin, value) == 0) {
        return false;
    }
    text->replace(valueBegin, line.contentEnd - valueBegin, value);
    return true;
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

// Where a write of one key lands: the first section matching its section, in it the first key
// matching its key.
struct EntryPlace {
    enum Kind {
        kKeyLine,     // line is the key's line
        kAfterLine,   // no such key: a new line goes after line, the section's last non-blank
        kNewSection,  // no such section: it goes at the end of the file
    } kind;
    Line line;
};

EntryPlace FindEntry(const std::string& text, size_t bodyBegin, const std::string& section,
                     const std::string& key) {
    bool inSection = false;
    Line lastNonBlank = {};
    for (size_t at = bodyBegin; at < text.size();) {
        Line line = LineAt(text, at);
        at = line.next;
        Span name;
        if (SectionHeader(text, line, &name)) {
            if (inSection) {
                return {EntryPlace::kAfterLine, lastNonBlank};
            }
            if (NameMatches(text, name, section)) {
                inSection = true;
                lastNonBlank = line;
            }
            continue;
        }
        if (!inSection || IsBlankLine(text, line)) {
            continue;
        }
        lastNonBlank = line;
        const void* equals = memchr(text.data() + line.begin, '=', line.contentEnd - line.begin);
        size_t nameEnd = equals ? static_cast<const char*>(equals) - text.data() : line.contentEnd;
        if (NameMatches(text, {line.begin, nameEnd}, key)) {
            return {EntryPlace::kKeyLine, line};
        }
    }
    if (inSection) {
        return {EntryPlace::kAfterLine, lastNonBlank};
    }
    return {EntryPlace::kNewSection, {}};
}

// One write. Returns true when it changed the text.
bool ApplyEntry(std::string* text, size_t bodyBegin, const std::string& section,
                const std::string& key, const std::string& value) {
    const EntryPlace place = FindEntry(*text, bodyBegin, section, key);
    const std::string entryLine = key + "=" + value + kNewLine;
    switch (place.kind) {
        case EntryPlace::kKeyLine:
            return ReplaceValue(text, place.line, value);
        case EntryPlace::kAfterLine:
            InsertLineAfter(text, place.line, entryLine);
            return true;
        case EntryPlace::kNewSection:
            AppendSection(text, bodyBegin, section, entryLine);
            return true;
    }
    return false;
}

bool StartsWith(const std::string& text, const char* prefix, size_t size) {
    return text.size() >= size && text.compare(0, size, prefix, size) == 0;
}

bool IsUtf16(const std::string& text) {
    return StartsWith(text, "\xFF\xFE", 2) || StartsWith(text, "\xFE\xFF", 2);
}

size_t BodyBegin(const std::string& text) {
    return StartsWith(text, kUtf8Mark, kUtf8MarkSize) ? kUtf8MarkSize : 0;
}

}  // namespace

IniEditStatus ApplyIniEntries(std::string* text, const RecipeEntryList& entries,
                              const Codepage& codepage, size_t* changedEntries) {
    if (IsUtf16(*text)) {
        return IniEditStatus::kNotEditable;
    }
    const size_t bodyBegin = BodyBegin(*text);
    const bool utf8 = bodyBegin != 0;
    const std::string original = *text;
    size_t changed = 0;
    for (const RecipeEntry& entry : entries) {
        if (!utf8) {
            if (ApplyEntry(text, bodyBegin, entry.section, entry.key, entry.text)) {
                ++changed;
            }
            continue;
        }
        std::string section;
        std::string key;
        std::string value;
        if (!codepage.ToUtf8(entry.section, &section) || !codepage.ToUtf8(entry.key, &key) ||
            !codepage.ToUtf8(entry.text, &value)) {
            *text = original;
            return IniEditStatus::kUnconvertible;
        }
        if (ApplyEntry(text, bodyBegin, section, key, value)) {
            ++changed;
        }
    }
    if (changedEntries != nullptr) {
        *changedEntries = changed;
    }
    return *text == original ? IniEditStatus::kUnchanged : IniEditStatus::kChanged;
}

bool IniHasEntry(const std::string& text, const char* section, const char* key) {
    return !IsUtf16(text) &&
           FindEntry(text, BodyBegin(text), section, key).kind == EntryPlace::kKeyLine;
}

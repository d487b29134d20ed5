// Profile-string edits applied to the bytes of an INI file in memory.
#include "conversion/ini_edit.h"

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

IniEditStatus ApplyIniEntries(std::string* text, const RecipeEntryList& entries,
                              const Codepage& codepage) {
    if (StartsWith(*text, "\xFF\xFE", 2) || StartsWith(*text, "\xFE\xFF", 2)) {
        return IniEditStatus::kNotEditable;
    }
    const bool utf8 = StartsWith(*text, kUtf8Mark, kUtf8MarkSize);
    const size_t bodyBegin = utf8 ? kUtf8MarkSize : 0;
    const std::string original = *text;
    for (const RecipeEntry& entry : entries) {
        if (!utf8) {
            ApplyEntry(text, bodyBegin, entry.section, entry.key, entry.text);
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
        ApplyEntry(text, bodyBegin, section, key, value);
    }
    return *text == original ? IniEditStatus::kUnchanged : IniEditStatus::kChanged;
}

namespace {

// True when the two names match as the editor matches them: blanks around them ignored, in any
// ASCII case.
bool SameName(const char* a, const char* b) {
    if (a == b) {
        return true;  // the same literal of the conversion table
    }
    const char* aEnd = a + strlen(a);
    const char* bEnd = b + strlen(b);
    while (a < aEnd && IsBlank(*a)) {
        ++a;
    }
    while (b < bEnd && IsBlank(*b)) {
        ++b;
    }
    while (aEnd > a && IsBlank(aEnd[-1])) {
        --aEnd;
    }
    while (bEnd > b && IsBlank(bEnd[-1])) {
        --bEnd;
    }
    if (aEnd - a != bEnd - b) {
        return false;
    }
    for (; a < aEnd; ++a, ++b) {
        if (AsciiLower(*a) != AsciiLower(*b)) {
            return false;
        }
    }
    return true;
}

// A section of a new file: its name as first written, then its entries by index.
struct NewSection {
    const char* name;
    size_t entries[kMaxRecipeEntries];
    size_t count;
};

}  // namespace

std::string NewIniText(const RecipeEntryList& entries) {
    NewSection sections[kMaxRecipeEntries];
    size_t sectionCount = 0;
    // Each entry's text, or the earlier text it keeps when a later write only differs in blanks.
    const char* texts[kMaxRecipeEntries];
    for (size_t i = 0; i < entries.size(); ++i) {
        const RecipeEntry& entry = entries[i];
        texts[i] = entry.text;
        NewSection* section = nullptr;
        for (size_t s = 0; s < sectionCount && section == nullptr; ++s) {
            if (SameName(sections[s].name, entry.section)) {
                section = &sections[s];
            }
        }
        if (section == nullptr) {
            section = &sections[sectionCount++];
            *section = {entry.section, {}, 0};
        }
        size_t* same = nullptr;
        for (size_t k = 0; k < section->count && same == nullptr; ++k) {
            if (SameName(entries[section->entries[k]].key, entry.key)) {
                same = &section->entries[k];
            }
        }
        if (same == nullptr) {
            section->entries[section->count++] = i;
            continue;
        }
        // The editor keeps the first spelling of the key and compares values without blanks.
        const std::string kept = texts[*same];
        const Span keptValue = Trimmed(kept, {0, kept.size()});
        if (kept.compare(keptValue.begin, keptValue.end - keptValue.begin, entry.text) != 0) {
            texts[*same] = entry.text;
        }
    }
    std::string text;
    for (size_t s = 0; s < sectionCount; ++s) {
        text += '[';
        text += sections[s].name;
        text += ']';
        text += kNewLine;
        for (size_t k = 0; k < sections[s].count; ++k) {
            const size_t index = sections[s].entries[k];
            text += entries[index].key;
            text += '=';
            text += texts[index];
            text += kNewLine;
        }
    }
    return text;
}

// Profile-string edits applied to the bytes of an INI file in memory.
#include "recipes/ini_edit.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "text/ascii_case.h"
#include "text/codepage.h"

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

// A name as the editor matches it: its bytes without the blanks around them, in any ASCII case.
struct MatchedName {
    const char* begin;
    size_t size;
};

MatchedName NameOf(const char* name, size_t size) {
    const char* end = name + size;
    while (name < end && IsBlank(*name)) {
        ++name;
    }
    while (end > name && IsBlank(end[-1])) {
        --end;
    }
    return {name, static_cast<size_t>(end - name)};
}

MatchedName NameOf(const char* name) {
    return NameOf(name, strlen(name));
}

// True when the two names are the same to the editor.
bool SameName(const MatchedName& a, const MatchedName& b) {
    if (a.size != b.size) {
        return false;
    }
    if (a.begin == b.begin) {
        return true;  // the same literal of the conversion table
    }
    return EqualsAsciiNoCase(std::string_view(a.begin, a.size), std::string_view(b.begin, b.size));
}

// True when the bytes of span, whose blanks are already dropped, are name in any ASCII case.
bool SpanIs(const std::string& text, Span span, const MatchedName& name) {
    return SameName({text.data() + span.begin, span.end - span.begin}, name);
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

// When content, a line without its blanks, is a section header ("[NAME]", the name running to
// the last ']'), sets *name to the span between the brackets and returns true.
bool SectionHeader(const std::string& text, const Span& content, Span* name) {
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

// A line as the editor sees it, so that the lines are read once and not again for every
// entry: a section header with its name, a blank line, or a line of a section with the name of
// its key (the bytes up to its first '=', or all of them). Names are without their blanks.
struct IndexedLine {
    Line line;
    bool header;
    bool blank;
    Span name;
};

// The lines of a text, and where its section headers are among them.
struct IniIndex {
    std::vector<IndexedLine> lines;
    std::vector<size_t> headers;
};

// The lines of text from bodyBegin into *index.
void IndexLines(const std::string& text, size_t bodyBegin, IniIndex* index) {
    index->lines.clear();
    index->headers.clear();
    for (size_t at = bodyBegin; at < text.size();) {
        IndexedLine indexed = {LineAt(text, at), false, false, {0, 0}};
        const Line& line = indexed.line;
        at = line.next;
        const Span content = Trimmed(text, {line.begin, line.contentEnd});
        if (SectionHeader(text, content, &indexed.name)) {
            indexed.header = true;
            indexed.name = Trimmed(text, indexed.name);
            index->headers.push_back(index->lines.size());
        } else if (content.begin == content.end) {
            indexed.blank = true;
        } else {
            const void* equals =
                memchr(text.data() + line.begin, '=', line.contentEnd - line.begin);
            const size_t nameEnd =
                equals ? static_cast<const char*>(equals) - text.data() : line.contentEnd;
            indexed.name = Trimmed(text, {line.begin, nameEnd});
        }
        index->lines.push_back(indexed);
    }
}

// Sets key in the existing line of a key: the bytes up to and including its first '=' stay and
// the value after it is replaced, unless it already reads as value. A line without '=' names a
// key with no value; it keeps its bytes and gets "=value" after them. Returns true when the
// text changed.
bool ReplaceValue(std::string* text, const Line& line, const char* value) {
    const char* content = text->data() + line.begin;
    const void* equals = memchr(content, '=', line.contentEnd - line.begin);
    if (equals == nullptr) {
        text->insert(line.contentEnd, std::string("=") + value);
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

void AppendSection(std::string* text, size_t bodyBegin, const char* section,
                   const std::string& entryLine) {
    if (text->size() > bodyBegin && text->back() != '\n' && text->back() != '\r') {
        *text += kNewLine;
    }
    *text += "[" + std::string(section) + "]" + kNewLine + entryLine;
}

// The line of a new entry.
std::string EntryLine(const char* key, const char* value) {
    return std::string(key) + "=" + value + kNewLine;
}

// Where a write of section and key lands in a text with that index: the first section
// matching section, in it the first key matching key.
struct EntryPlace {
    enum Kind {
        kKeyLine,     // line is the key's line
        kAfterLine,   // no such key: a new line goes after line, the section's last non-blank
        kNewSection,  // no such section: it goes at the end of the file
    } kind;
    Line line;
};

EntryPlace FindEntry(const std::string& text, const IniIndex& index, const char* section,
                     const char* key) {
    const MatchedName sectionName = NameOf(section);
    const std::vector<IndexedLine>& lines = index.lines;
    size_t header = lines.size();
    for (size_t candidate : index.headers) {
        if (SpanIs(text, lines[candidate].name, sectionName)) {
            header = candidate;
            break;
        }
    }
    if (header == lines.size()) {
        return {EntryPlace::kNewSection, {}};
    }
    const MatchedName keyName = NameOf(key);
    Line lastNonBlank = lines[header].line;
    for (size_t i = header + 1; i < lines.size() && !lines[i].header; ++i) {
        if (lines[i].blank) {
            continue;
        }
        lastNonBlank = lines[i].line;
        if (SpanIs(text, lines[i].name, keyName)) {
            return {EntryPlace::kKeyLine, lines[i].line};
        }
    }
    return {EntryPlace::kAfterLine, lastNonBlank};
}

// One write. index is that of text. Returns true when the text changed (its index is then out
// of date).
bool ApplyEntry(std::string* text, const IniIndex& index, size_t bodyBegin, const char* section,
                const char* key, const char* value) {
    const EntryPlace place = FindEntry(*text, index, section, key);
    switch (place.kind) {
        case EntryPlace::kKeyLine:
            return ReplaceValue(text, place.line, value);
        case EntryPlace::kAfterLine:
            InsertLineAfter(text, place.line, EntryLine(key, value));
            return true;
        case EntryPlace::kNewSection:
            AppendSection(text, bodyBegin, section, EntryLine(key, value));
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
    IniIndex index;
    IndexLines(*text, bodyBegin, &index);
    size_t changed = 0;
    std::string utf8Section;
    std::string utf8Key;
    std::string utf8Value;
    for (const RecipeEntry& entry : entries) {
        const char* section = entry.section;
        const char* key = entry.key;
        const char* value = entry.text;
        if (utf8) {
            if (!codepage.ToUtf8(section, &utf8Section) || !codepage.ToUtf8(key, &utf8Key) ||
                !codepage.ToUtf8(value, &utf8Value)) {
                *text = original;
                return IniEditStatus::kUnconvertible;
            }
            section = utf8Section.c_str();
            key = utf8Key.c_str();
            value = utf8Value.c_str();
        }
        if (ApplyEntry(text, index, bodyBegin, section, key, value)) {
            IndexLines(*text, bodyBegin, &index);
            ++changed;
        }
    }
    if (changedEntries != nullptr) {
        *changedEntries = changed;
    }
    return *text == original ? IniEditStatus::kUnchanged : IniEditStatus::kChanged;
}

std::string IniEditRefusal(IniEditStatus status, const std::string& path,
                           const Codepage& codepage) {
    if (status == IniEditStatus::kNotEditable) {
        return "cannot edit " + path + ": the file is UTF-16 text";
    }
    return "cannot edit " + path + ": the file is UTF-8 text and " + codepage.name() +
           " has no character for a byte of the recipe";
}

bool IniHasEntry(const std::string& text, const char* section, const char* key) {
    if (IsUtf16(text)) {
        return false;
    }
    IniIndex index;
    IndexLines(text, BodyBegin(text), &index);
    return FindEntry(text, index, section, key).kind == EntryPlace::kKeyLine;
}

namespace {

// A section of a new file: its name as first written, then its entries by index.
struct NewSection {
    MatchedName name;
    size_t nameSize;  // the size of the name as first written
    size_t entries[kRecipeEntryCapacity];
    size_t count;
};

// Copies size bytes of from to *at and moves *at past them.
void Put(char** at, const char* from, size_t size) {
    memcpy(*at, from, size);
    *at += size;
}

}  // namespace

std::string NewIniText(const RecipeEntryList& entries) {
    const size_t newLineSize = strlen(kNewLine);
    NewSection sections[kRecipeEntryCapacity];
    size_t sectionCount = 0;
    NewSection* section = nullptr;  // the section of the entry before
    MatchedName keys[kRecipeEntryCapacity];
    size_t keySizes[kRecipeEntryCapacity];
    // Each entry's text, or the earlier text it keeps when a later write only differs in blanks.
    const char* texts[kRecipeEntryCapacity];
    size_t textSizes[kRecipeEntryCapacity];
    size_t size = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const RecipeEntry& entry = entries[i];
        keySizes[i] = strlen(entry.key);
        keys[i] = NameOf(entry.key, keySizes[i]);
        texts[i] = entry.text;
        textSizes[i] = strlen(entry.text);
        // The conversion writes the entries of a section one after the other.
        if (section == nullptr || entry.section != entries[section->entries[0]].section) {
            const size_t sectionSize = strlen(entry.section);
            const MatchedName sectionName = NameOf(entry.section, sectionSize);
            section = nullptr;
            for (size_t s = 0; s < sectionCount && section == nullptr; ++s) {
                if (SameName(sections[s].name, sectionName)) {
                    section = &sections[s];
                }
            }
            if (section == nullptr) {
                section = &sections[sectionCount++];
                section->name = sectionName;
                section->nameSize = sectionSize;
                section->count = 0;
                size += sectionSize + newLineSize + 2;
            }
        }
        size_t* same = nullptr;
        for (size_t k = 0; k < section->count && same == nullptr; ++k) {
            if (SameName(keys[section->entries[k]], keys[i])) {
                same = &section->entries[k];
            }
        }
        if (same == nullptr) {
            section->entries[section->count++] = i;
            size += keySizes[i] + textSizes[i] + newLineSize + 1;
            continue;
        }
        // The editor keeps the first spelling of the key and compares values without blanks.
        const MatchedName kept = NameOf(texts[*same], textSizes[*same]);
        if (kept.size != textSizes[i] || memcmp(kept.begin, entry.text, textSizes[i]) != 0) {
            size += textSizes[i] - textSizes[*same];
            texts[*same] = entry.text;
            textSizes[*same] = textSizes[i];
        }
    }
    std::string text(size, '\0');
    char* at = &text[0];
    for (size_t s = 0; s < sectionCount; ++s) {
        Put(&at, "[", 1);
        Put(&at, entries[sections[s].entries[0]].section, sections[s].nameSize);
        Put(&at, "]", 1);
        Put(&at, kNewLine, newLineSize);
        for (size_t k = 0; k < sections[s].count; ++k) {
            const size_t index = sections[s].entries[k];
            Put(&at, entries[index].key, keySizes[index]);
            Put(&at, "=", 1);
            Put(&at, texts[index], textSizes[index]);
            Put(&at, kNewLine, newLineSize);
        }
    }
    return text;
}

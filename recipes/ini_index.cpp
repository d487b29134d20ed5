// Reading INI text as the profile-string service reads it: its lines, sections and keys.
#include "recipes/ini_index.h"

#include <cstring>
#include <string_view>

#include "text/ascii_case.h"

namespace {

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr size_t kUtf8MarkSize = sizeof kUtf8Mark - 1;

// True when the bytes of span, whose blanks are already dropped, are name in any ASCII case.
bool SpanIs(const std::string& text, IniSpan span, const MatchedName& name) {
    return SameName({text.data() + span.begin, span.end - span.begin}, name);
}

IniLine LineAt(const std::string& text, size_t begin) {
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
bool SectionHeader(const std::string& text, const IniSpan& content, IniSpan* name) {
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

bool StartsWith(const std::string& text, const char* prefix, size_t size) {
    return text.size() >= size && text.compare(0, size, prefix, size) == 0;
}

}  // namespace

bool IsIniBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\x1A';
}

IniSpan Trimmed(const std::string& text, IniSpan span) {
    while (span.begin < span.end && IsIniBlank(text[span.begin])) {
        ++span.begin;
    }
    while (span.end > span.begin && IsIniBlank(text[span.end - 1])) {
        --span.end;
    }
    return span;
}

MatchedName NameOf(const char* name, size_t size) {
    const char* end = name + size;
    while (name < end && IsIniBlank(*name)) {
        ++name;
    }
    while (end > name && IsIniBlank(end[-1])) {
        --end;
    }
    return {name, static_cast<size_t>(end - name)};
}

MatchedName NameOf(const char* name) {
    return NameOf(name, strlen(name));
}

bool SameName(const MatchedName& a, const MatchedName& b) {
    if (a.size != b.size) {
        return false;
    }
    if (a.begin == b.begin) {
        return true;  // the same literal of the conversion table
    }
    return EqualsAsciiNoCase(std::string_view(a.begin, a.size), std::string_view(b.begin, b.size));
}

void IndexLines(const std::string& text, size_t bodyBegin, IniIndex* index) {
    index->lines.clear();
    index->headers.clear();
    for (size_t at = bodyBegin; at < text.size();) {
        IndexedLine indexed = {LineAt(text, at), false, false, {0, 0}};
        const IniLine& line = indexed.line;
        at = line.next;
        const IniSpan content = Trimmed(text, {line.begin, line.contentEnd});
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
    IniLine lastNonBlank = lines[header].line;
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

bool IsUtf16Text(const std::string& text) {
    return StartsWith(text, "\xFF\xFE", 2) || StartsWith(text, "\xFE\xFF", 2);
}

size_t IniBodyBegin(const std::string& text) {
    return StartsWith(text, kUtf8Mark, kUtf8MarkSize) ? kUtf8MarkSize : 0;
}

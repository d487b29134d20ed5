// Profile-string edits applied to the bytes of an INI file in memory.
#include "recipes/ini_edit.h"

#include <cstring>

#include "recipes/ini_index.h"
#include "text/codepage.h"

namespace {

constexpr char kNewLine[] = "\r\n";  // what the profile-string service ends its own lines with

// Sets key in the existing line of a key: the bytes up to and including its first '=' stay and
// the value after it is replaced, unless it already reads as value. A line without '=' names a
// key with no value; it keeps its bytes and gets "=value" after them. Returns true when the
// text changed.
bool ReplaceValue(std::string* text, const IniLine& line, const char* value) {
    const char* content = text->data() + line.begin;
    const void* equals = memchr(content, '=', line.contentEnd - line.begin);
    if (equals == nullptr) {
        text->insert(line.contentEnd, std::string("=") + value);
        return true;
    }
    size_t valueBegin = static_cast<const char*>(equals) - text->data() + 1;
    IniSpan current = Trimmed(*text, {valueBegin, line.contentEnd});
    if (text->compare(current.begin, current.end - current.begin, value) == 0) {
        return false;
    }
    text->replace(valueBegin, line.contentEnd - valueBegin, value);
    return true;
}

// Puts a new line right after line, which may be the file's last line with no ending.
void InsertLineAfter(std::string* text, const IniLine& line, const std::string& newLine) {
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

}  // namespace

IniEditStatus ApplyIniEntries(std::string* text, const RecipeEntryList& entries,
                              const Codepage& codepage, size_t* changedEntries) {
    if (IsUtf16Text(*text)) {
        return IniEditStatus::kNotEditable;
    }
    const size_t bodyBegin = IniBodyBegin(*text);
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
    if (IsUtf16Text(text)) {
        return false;
    }
    IniIndex index;
    IndexLines(text, IniBodyBegin(text), &index);
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

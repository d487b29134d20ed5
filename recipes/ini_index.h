// INI text as the profile-string service reads it: its lines, its sections and keys, and where
// a write of a key lands. The names are matched as the service matches them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// True for the characters the service ignores around section and key names and values.
bool IsIniBlank(char c);

// A run of bytes inside the text: [begin, end).
struct IniSpan {
    size_t begin;
    size_t end;
};

// span without the blanks at either end.
IniSpan Trimmed(const std::string& text, IniSpan span);

// A name as the editor matches it: its bytes without the blanks around them, in any ASCII case.
struct MatchedName {
    const char* begin;
    size_t size;
};

// The name of size bytes at name, or of the text name, as the editor matches it.
MatchedName NameOf(const char* name, size_t size);
MatchedName NameOf(const char* name);

// True when the two names are the same to the editor.
bool SameName(const MatchedName& a, const MatchedName& b);

// One line: its content [begin, contentEnd) and the start of the next line. A line ends at
// CR LF, LF or a lone CR; the last line of a file may have no ending.
struct IniLine {
    size_t begin;
    size_t contentEnd;
    size_t next;
};

// A line as the editor sees it, so that the lines are read once and not again for every
// entry: a section header with its name, a blank line, or a line of a section with the name of
// its key (the bytes up to its first '=', or all of them). Names are without their blanks.
struct IndexedLine {
    IniLine line;
    bool header;
    bool blank;
    IniSpan name;
};

// The lines of a text, and where its section headers are among them.
struct IniIndex {
    std::vector<IndexedLine> lines;
    std::vector<size_t> headers;
};

// The lines of text from bodyBegin into *index.
void IndexLines(const std::string& text, size_t bodyBegin, IniIndex* index);

// Where a write of section and key lands in a text with that index: the first section
// matching section, in it the first key matching key.
struct EntryPlace {
    enum Kind {
        kKeyLine,     // line is the key's line
        kAfterLine,   // no such key: a new line goes after line, the section's last non-blank
        kNewSection,  // no such section: it goes at the end of the file
    } kind;
    IniLine line;
};

EntryPlace FindEntry(const std::string& text, const IniIndex& index, const char* section,
                     const char* key);

// True when text starts with a UTF-16 byte-order mark: the editor leaves such a file alone.
bool IsUtf16Text(const std::string& text);

// Where the lines of text begin: after its UTF-8 byte-order mark, if it has one.
size_t IniBodyBegin(const std::string& text);

// Reading a written recipe back as the profile-string service reads it, and comparing.
#include "recipes/recipe_read_back.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "text/ascii_case.h"

namespace {

// The blanks the service drops around names, values and lines (Ctrl-Z among them).
const char kBlanks[] = "\t\n\v\f\r\x1a ";
const char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";
// The quotes the service takes off a value that starts and ends with the same one.
const char kQuotes[] = "\"'";

std::string_view Trimmed(std::string_view text) {
    const size_t begin = text.find_first_not_of(kBlanks);
    if (begin == std::string_view::npos) {
        return {};
    }
    return text.substr(begin, text.find_last_not_of(kBlanks) - begin + 1);
}

// One line of an INI file as the service reads it.
struct ReadLine {
    bool section;       // a heading: name is the section's
    std::string name;   // the section's name or the key (a line without '=' is all key)
    std::string value;  // what follows '=' ("" for a heading or a line without '=')
    bool hasValue;      // the line holds '='
    // The line as the service would write it back.
    std::string Normalized() const {
        if (section) {
            return "[" + name + "]";
        }
        return hasValue ? name + "=" + value : name;
    }
};

// The non-blank lines of text, which may start with a UTF-8 byte-order mark and end its lines
// in CR LF, LF or CR.
std::vector<ReadLine> ReadLines(std::string_view text) {
    if (text.substr(0, std::strlen(kUtf8ByteOrderMark)) == kUtf8ByteOrderMark) {
        text.remove_prefix(std::strlen(kUtf8ByteOrderMark));
    }
    std::vector<ReadLine> lines;
    while (!text.empty()) {
        const size_t end = text.find_first_of("\r\n");
        const std::string_view line = Trimmed(text.substr(0, end));
        size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end != std::string_view::npos && text[end] == '\r' && next < text.size() &&
            text[next] == '\n') {
            ++next;
        }
        text.remove_prefix(next);
        if (line.empty()) {
            continue;
        }
        const size_t close = line.rfind(']');
        if (line[0] == '[' && close != std::string_view::npos) {
            lines.push_back({true, std::string(Trimmed(line.substr(1, close - 1))), "", false});
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            lines.push_back({false, std::string(line), "", false});
        } else {
            lines.push_back({false, std::string(Trimmed(line.substr(0, equals))),
                             std::string(Trimmed(line.substr(equals + 1))), true});
        }
    }
    return lines;
}

bool SameName(const std::string& name, const char* entryName) {
    return EqualsAsciiNoCase(name, Trimmed(entryName));
}

// True when some entry writes key in section.
bool IsWritten(const RecipeEntryList& entries, const std::string& section, const std::string& key) {
    for (const RecipeEntry& entry : entries) {
        if (SameName(section, entry.section) && SameName(key, entry.key)) {
            return true;
        }
    }
    return false;
}

// True when lines have a heading of section.
bool HasSection(const std::vector<ReadLine>& lines, const char* section) {
    for (const ReadLine& line : lines) {
        if (line.section && SameName(line.name, section)) {
            return true;
        }
    }
    return false;
}

// The lines the writes did not concern, as the service writes them: lines of written keys go,
// and so do headings of sections that before did not have (before_ = the lines before).
std::vector<std::string> LinesNotWritten(const std::vector<ReadLine>& lines,
                                         const std::vector<ReadLine>& before,
                                         const RecipeEntryList& entries) {
    std::vector<std::string> kept;
    std::string section;
    bool inSection = false;
    for (const ReadLine& line : lines) {
        if (line.section) {
            section = line.name;
            inSection = true;
            bool added = false;
            for (const RecipeEntry& entry : entries) {
                added = added ||
                        (SameName(line.name, entry.section) && !HasSection(before, entry.section));
            }
            if (added) {
                continue;
            }
        } else if (inSection && IsWritten(entries, section, line.name)) {
            continue;
        }
        kept.push_back(line.Normalized());
    }
    return kept;
}

}  // namespace

bool ReadBackMatches(const char* written, const std::string& readBack) {
    const std::string_view text = Trimmed(written);
    if (readBack == text) {
        return true;
    }
    return text.size() >= 2 && std::strchr(kQuotes, text.front()) != nullptr &&
           text.back() == text.front() && readBack == text.substr(1, text.size() - 2);
}

bool KeepsOtherLines(const std::string& before, const std::string& after,
                     const RecipeEntryList& entries, std::string* difference) {
    const std::vector<ReadLine> beforeLines = ReadLines(before);
    const std::vector<std::string> expected = LinesNotWritten(beforeLines, beforeLines, entries);
    const std::vector<std::string> found = LinesNotWritten(ReadLines(after), beforeLines, entries);
    size_t i = 0;
    while (i < expected.size() && i < found.size() && expected[i] == found[i]) {
        ++i;
    }
    if (i < expected.size()) {
        *difference = "its line \"" + expected[i] + "\" is missing or changed";
        return false;
    }
    if (i < found.size()) {
        *difference = "it holds a line \"" + found[i] + "\" that was not written to it";
        return false;
    }
    return true;
}

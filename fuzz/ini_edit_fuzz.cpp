// libFuzzer harness: recipe entries applied to arbitrary existing file bytes, and what must hold.
//
// Input layout: the last byte says how many entries follow (counted from the end), each entry
// being a byte picking a section and key of the conversion table, a byte giving the text's length
// and that many text bytes; everything before them is the existing file. Seed files therefore
// stay mostly intact. Checked after every edit:
//  - the status matches what happened to the bytes, and UTF-16 files are never touched;
//  - applying the same entries again changes nothing;
//  - reading the file back the way the editor finds keys gives each key the last text written;
//  - every line of the old file that does not name one of the keys written is still there, in
//    order and with its line ending, and every new line is a written key or section.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "conversion/conversion_rules.h"
#include "recipes/ini_edit.h"
#include "recipes/recipe_entries.h"
#include "text/ascii_case.h"
#include "text/codepage.h"

namespace {

// The sections and keys the conversion writes.
constexpr std::array<RecipeKey, kMaxRecipeEntries> kTableEntries = RecipeKeys();
constexpr size_t kMaxFuzzEntries = 8;
constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr size_t kUtf8MarkSize = sizeof kUtf8Mark - 1;

[[noreturn]] void Fail(const char* what) {
    fprintf(stderr, "ini edit invariant broken: %s\n", what);
    abort();
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\x1A';
}

std::string Trim(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

// The code page of the fuzzed entries, the one most instrument PCs use.
const Codepage& Windows1252() {
    static Codepage* const windows1252 = [] {
        Codepage* codepage = new Codepage;
        std::string error;
        if (!codepage->Open("1252", &error)) {
            Fail("code page 1252 is missing");
        }
        return codepage;
    }();
    return *windows1252;
}

// What an entry's text reads as in a file with a UTF-8 mark.
std::string Utf8FromWindows1252(const std::string& ansi) {
    std::string utf8;
    Windows1252().ToUtf8(ansi, &utf8);
    return utf8;
}

struct Line {
    std::string content;
    std::string ending;  // "", "\r", "\n" or "\r\n"
};

std::vector<Line> SplitLines(const std::string& text, size_t begin) {
    std::vector<Line> lines;
    size_t at = begin;
    while (at < text.size()) {
        size_t end = at;
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
        lines.push_back({text.substr(at, end - at), text.substr(end, next - end)});
        at = next;
    }
    return lines;
}

// The section name of a header line, or false for any other line.
bool HeaderName(const std::string& content, std::string* name) {
    const std::string trimmed = Trim(content);
    const size_t close = trimmed.rfind(']');
    if (trimmed.empty() || trimmed[0] != '[' || close == std::string::npos || close == 0) {
        return false;
    }
    *name = trimmed.substr(1, close - 1);
    return true;
}

std::string KeyName(const std::string& content) {
    return Trim(content.substr(0, content.find('=')));
}

// The value of key in the first section named section, found as the editor finds it; false when
// there is none.
bool ReadBack(const std::vector<Line>& lines, const std::string& section, const std::string& key,
              std::string* value) {
    bool inSection = false;
    for (const Line& line : lines) {
        std::string name;
        if (HeaderName(line.content, &name)) {
            if (inSection) {
                return false;
            }
            inSection = EqualsAsciiNoCase(Trim(name), section);
            continue;
        }
        if (!inSection || Trim(line.content).empty() ||
            !EqualsAsciiNoCase(KeyName(line.content), key)) {
            continue;
        }
        const size_t equals = line.content.find('=');
        *value = equals == std::string::npos ? "" : Trim(line.content.substr(equals + 1));
        return true;
    }
    return false;
}

struct FuzzEntry {
    const RecipeKey* names;
    std::string text;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t end = size;
    auto takeByte = [&](uint8_t* byte) {
        if (end == 0) {
            return false;
        }
        *byte = data[--end];
        return true;
    };
    uint8_t count = 0;
    takeByte(&count);
    std::vector<FuzzEntry> fuzzEntries;
    for (size_t i = 0; i < count % kMaxFuzzEntries + 1; ++i) {
        uint8_t pick = 0;
        uint8_t length = 0;
        if (!takeByte(&pick) || !takeByte(&length)) {
            break;
        }
        FuzzEntry entry = {&kTableEntries[pick % std::size(kTableEntries)], ""};
        for (size_t n = length % (kMaxEntryTextChars + 1); n > 0 && end > 0; --n) {
            char c = static_cast<char>(data[--end]);
            if (c == '\0') {
                break;  // the entry's text ends at a zero, as a C string does
            }
            // A line break never reaches an entry: the conversion refuses such texts.
            entry.text += (c == '\r' || c == '\n') ? ' ' : c;
        }
        fuzzEntries.push_back(entry);
    }
    const std::string original(reinterpret_cast<const char*>(data), end);

    RecipeEntryList entries;
    for (const FuzzEntry& entry : fuzzEntries) {
        entries.WriteEntry(entry.names->section, entry.names->key, entry.text.c_str());
    }

    std::string text = original;
    const IniEditStatus status = ApplyIniEntries(&text, entries, Windows1252());
    const bool utf16 =
        original.compare(0, 2, "\xFF\xFE") == 0 || original.compare(0, 2, "\xFE\xFF") == 0;
    if (utf16) {
        if (status != IniEditStatus::kNotEditable || text != original) {
            Fail("a UTF-16 file was edited");
        }
        return 0;
    }
    if (status == IniEditStatus::kNotEditable) {
        Fail("an 8-bit file was refused");
    }
    if ((status == IniEditStatus::kUnchanged) != (text == original)) {
        Fail("the status does not match the bytes");
    }

    std::string again = text;
    if (ApplyIniEntries(&again, entries, Windows1252()) != IniEditStatus::kUnchanged ||
        again != text) {
        Fail("applying the same entries twice changed the file again");
    }

    const bool utf8 = original.compare(0, kUtf8MarkSize, kUtf8Mark) == 0;
    const size_t bodyBegin = utf8 ? kUtf8MarkSize : 0;
    if (text.compare(0, bodyBegin, original, 0, bodyBegin) != 0) {
        Fail("the UTF-8 mark was lost");
    }
    const std::vector<Line> oldLines = SplitLines(original, bodyBegin);
    const std::vector<Line> newLines = SplitLines(text, bodyBegin);

    // The last text written to each key is what the key now reads.
    for (size_t i = 0; i < fuzzEntries.size(); ++i) {
        bool overwritten = false;
        for (size_t j = i + 1; j < fuzzEntries.size(); ++j) {
            overwritten = overwritten || fuzzEntries[j].names == fuzzEntries[i].names;
        }
        if (overwritten) {
            continue;
        }
        const std::string expected =
            Trim(utf8 ? Utf8FromWindows1252(fuzzEntries[i].text) : fuzzEntries[i].text);
        std::string value;
        if (!ReadBack(newLines, fuzzEntries[i].names->section, fuzzEntries[i].names->key, &value)) {
            Fail("a written key cannot be found");
        }
        if (value != expected) {
            Fail("a written key reads another text");
        }
    }

    // Old lines that name none of the written keys survive in order; the new file holds nothing
    // else but lines of written keys and headers of written sections.
    auto namesWrittenKey = [&](const std::string& content) {
        for (const FuzzEntry& entry : fuzzEntries) {
            if (EqualsAsciiNoCase(KeyName(content), entry.names->key)) {
                return true;
            }
        }
        return false;
    };
    auto isWrittenHeader = [&](const std::string& content) {
        for (const FuzzEntry& entry : fuzzEntries) {
            if (content == std::string("[") + entry.names->section + "]") {
                return true;
            }
        }
        return false;
    };
    size_t next = 0;
    for (size_t i = 0; i < oldLines.size(); ++i) {
        const Line& old = oldLines[i];
        if (namesWrittenKey(old.content)) {
            continue;
        }
        const bool last = i + 1 == oldLines.size();
        for (;; ++next) {
            if (next == newLines.size()) {
                Fail("a line of the old file is gone");
            }
            const Line& line = newLines[next];
            const bool sameEnding =
                line.ending == old.ending || (last && old.ending.empty() && line.ending == "\r\n");
            if (line.content == old.content && sameEnding) {
                break;
            }
            if (!namesWrittenKey(line.content) && !isWrittenHeader(line.content)) {
                Fail("a line that was never written appeared");
            }
        }
        ++next;
    }
    for (; next < newLines.size(); ++next) {
        if (!namesWrittenKey(newLines[next].content) && !isWrittenHeader(newLines[next].content)) {
            Fail("a line that was never written appeared at the end");
        }
    }
    return 0;
}

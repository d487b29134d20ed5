// Unified diffs of recipe texts: the hunks from dtl, the headers and line marks our own.
#include "recipes/recipe_diff.h"

#include <dtl/dtl.hpp>

#include <cstdio>
#include <vector>

namespace {

using Lines = std::vector<std::string>;
using LineDiff = dtl::Diff<std::string, Lines>;
using EditedLine = std::pair<std::string, dtl::elemInfo>;
using Hunk = dtl::uniHunk<EditedLine>;

static_assert(kDiffContextLines == dtl::DTL_CONTEXT_SIZE, "dtl makes the hunks");

const char kNoNewline[] = "\\ No newline at end of file\n";
const char kNoFile[] = "/dev/null";

// The lines of text as patch reads them: each up to and including its LF.
Lines SplitLines(const std::string& text) {
    Lines lines;
    for (size_t begin = 0; begin < text.size();) {
        size_t end = text.find('\n', begin);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(begin, end - begin));
        begin = end;
    }
    return lines;
}

// DEL; it and every byte beyond ASCII are written in octal.
constexpr unsigned char kDelete = 0x7F;
constexpr size_t kOctalEscapeSize = sizeof "\\377";

// The bytes C writes as a backslash and a letter.
const struct {
    char byte;
    char letter;
} kLetterEscapes[] = {{'\a', 'a'}, {'\b', 'b'}, {'\t', 't'}, {'\n', 'n'}, {'\v', 'v'},
                      {'\f', 'f'}, {'\r', 'r'}, {'"', '"'},  {'\\', '\\'}};

bool NeedsQuotes(unsigned char c) {
    return c <= ' ' || c == '"' || c == '\\' || c >= kDelete;
}

// name as a diff header names it: as it is, or in double quotes with C escapes (octal for
// bytes without a letter escape), which patch turns back into the same bytes.
std::string HeaderName(const std::string& name) {
    bool quote = false;
    for (unsigned char c : name) {
        quote = quote || NeedsQuotes(c);
    }
    if (!quote) {
        return name;
    }
    std::string quoted = "\"";
    for (unsigned char c : name) {
        char letter = '\0';
        for (const auto& escape : kLetterEscapes) {
            if (static_cast<unsigned char>(escape.byte) == c) {
                letter = escape.letter;
            }
        }
        if (letter != '\0') {
            quoted += '\\';
            quoted += letter;
        } else if (c != ' ' && NeedsQuotes(c)) {
            char octal[kOctalEscapeSize];
            snprintf(octal, sizeof octal, "\\%03o", c);
            quoted += octal;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

void AppendLine(std::string* diff, char mark, const std::string& line) {
    *diff += mark;
    *diff += line;
    if (line.back() != '\n') {
        *diff += '\n';
        *diff += kNoNewline;
    }
}

// "-START,COUNT" or "+START,COUNT" of a hunk header, COUNT left out when it is 1 and START
// naming the line before an empty range, as diff writes them.
std::string Range(char mark, long long start, long long count) {
    std::string range(1, mark);
    range += std::to_string(count == 0 ? start - 1 : start);
    if (count != 1) {
        range += "," + std::to_string(count);
    }
    return range;
}

bool IsContext(const EditedLine* line) {
    return line->second.type == dtl::SES_COMMON;
}

// A hunk as we print it: its lines, each side's first line number and count.
struct DiffHunk {
    std::vector<const EditedLine*> lines;
    long long oldStart = 1;
    long long newStart = 1;
    long long oldCount = 0;
    long long newCount = 0;
};

// Takes dtl's hunk with at most kDiffContextLines of context at either end (dtl may give one
// more) and works out where it starts on each side. A side without lines is an empty file, so
// its range starts at line 1 (written as 0, the line before it).
DiffHunk Trimmed(const Hunk& hunk) {
    DiffHunk trimmed;
    for (const auto* part : {&hunk.common[0], &hunk.change, &hunk.common[1]}) {
        for (const EditedLine& line : *part) {
            trimmed.lines.push_back(&line);
        }
    }
    std::vector<const EditedLine*>& lines = trimmed.lines;
    size_t leading = 0;
    while (leading < lines.size() && IsContext(lines[leading])) {
        ++leading;
    }
    size_t trailing = 0;
    while (trailing < lines.size() - leading && IsContext(lines[lines.size() - 1 - trailing])) {
        ++trailing;
    }
    const size_t context = kDiffContextLines;
    if (trailing > context) {
        lines.resize(lines.size() - (trailing - context));
    }
    if (leading > context) {
        lines.erase(lines.begin(), lines.begin() + (leading - context));
    }
    for (const EditedLine* line : lines) {
        if (line->second.type != dtl::SES_ADD && trimmed.oldCount++ == 0) {
            trimmed.oldStart = line->second.beforeIdx;
        }
        if (line->second.type != dtl::SES_DELETE && trimmed.newCount++ == 0) {
            trimmed.newStart = line->second.afterIdx;
        }
    }
    return trimmed;
}

// Joins next to hunk when their lines meet or overlap, as diff joins changes that are at most
// twice the context apart. Returns false when they stay apart.
bool Joined(DiffHunk* hunk, const DiffHunk& next) {
    const long long oldEnd = hunk->oldStart + hunk->oldCount;
    if (next.oldCount == 0 || next.oldStart > oldEnd) {
        return false;
    }
    for (const EditedLine* line : next.lines) {
        if (IsContext(line) && line->second.beforeIdx < oldEnd) {
            continue;  // context both hunks show
        }
        hunk->lines.push_back(line);
        hunk->oldCount += line->second.type != dtl::SES_ADD;
        hunk->newCount += line->second.type != dtl::SES_DELETE;
    }
    return true;
}

void AppendHunk(std::string* diff, const DiffHunk& hunk) {
    *diff += "@@ " + Range('-', hunk.oldStart, hunk.oldCount) + " " +
             Range('+', hunk.newStart, hunk.newCount) + " @@\n";
    for (const EditedLine* line : hunk.lines) {
        const char mark = line->second.type == dtl::SES_ADD      ? '+'
                          : line->second.type == dtl::SES_DELETE ? '-'
                                                                 : ' ';
        AppendLine(diff, mark, line->first);
    }
}

}  // namespace

std::string RecipeDiff(const std::string& fileName, const std::string* before,
                       const std::string& after) {
    const std::string empty;
    const std::string& old = before != nullptr ? *before : empty;
    if (before != nullptr && old == after) {
        return "";
    }
    LineDiff lineDiff(SplitLines(old), SplitLines(after));
    lineDiff.compose();
    lineDiff.composeUnifiedHunks();
    std::string diff = "--- " + (before != nullptr ? HeaderName("a/" + fileName) : kNoFile) +
                       "\n+++ " + HeaderName("b/" + fileName) + "\n";
    const std::vector<Hunk> hunks = lineDiff.getUniHunks();
    std::vector<DiffHunk> joined;
    for (const Hunk& hunk : hunks) {
        DiffHunk trimmed = Trimmed(hunk);
        if (joined.empty() || !Joined(&joined.back(), trimmed)) {
            joined.push_back(std::move(trimmed));
        }
    }
    for (const DiffHunk& hunk : joined) {
        AppendHunk(&diff, hunk);
    }
    return diff;
}

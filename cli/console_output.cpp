// Output formatting of rcpconv: stdout for names and recipes, stderr for everything else.
#include "cli/console_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "recipes/ini_edit.h"
#include "recipes/recipe_file_name.h"
#include "sources/offline_store.h"
#include "text/codepage.h"

namespace {

const char kProgramPrefix[] = "rcpconv: ";
// Recipes use CR LF; the name line before each one matches so the output is one INI text.
const char kRecipeLineEnd[] = "\r\n";

// Why the first write to stdout that failed did; 0 while none has.
int stdoutFailure = 0;

}  // namespace

void WriteStdoutText(const std::string& text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() && stdoutFailure == 0) {
        stdoutFailure = errno != 0 ? errno : EIO;
    }
}

std::string QuotedSetName(const std::string& setName, const Codepage& codepage) {
    return "\"" + DisplayName(setName, codepage) + "\"";
}

std::string CountOf(size_t count, const char* singular, const char* plural) {
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

void WriteStdoutBytes(const std::string& bytes) {
#ifdef _WIN32
    // The bytes carry their own line ends; text mode would put a CR before every LF.
    static const int binary = _setmode(_fileno(stdout), _O_BINARY);
    (void)binary;
#endif
    WriteStdoutText(bytes);
}

std::string DisplayName(const std::string& setName, const Codepage& codepage) {
#ifdef _WIN32
    (void)codepage;
    return setName;
#else
    std::string utf8;
    return codepage.ToUtf8(setName, &utf8) ? utf8 : setName;
#endif
}

bool FinishStdout(std::string* error) {
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    if (flushed && !std::ferror(stdout) && stdoutFailure == 0) {
        return true;
    }
    // A stream error that no write of ours saw came from another writer, or the flush.
    const int reason = stdoutFailure != 0 ? stdoutFailure : errno != 0 ? errno : EIO;
    *error = std::string("cannot write to standard output: ") + std::strerror(reason);
    return false;
}

void PrintError(const std::string& message) {
    std::fprintf(stderr, "%s%s\n", kProgramPrefix, message.c_str());
}

void PrintSourceWarning(const SourceWarning& warning) {
    const std::string line = warning.line == 0 ? "" : ":" + std::to_string(warning.line);
    PrintError(warning.path + line + ": " + warning.message);
}

void PrintSetNames(const std::vector<ListedSet>& sets, const Codepage& codepage) {
    for (const ListedSet& set : sets) {
        WriteStdoutText(DisplayName(set.name, codepage) + "\n");
    }
}

void PrintSetNamesWithOrigins(const std::vector<ListedSet>& sets,
                              const std::vector<SetOrigin>& origins,
                              const std::string& machineSource,
                              const std::string& virtualStoreSource, const Codepage& codepage) {
    for (size_t i = 0; i < sets.size(); ++i) {
        std::string from;
        if (i >= origins.size()) {
            from = "registry";
        } else {
            if (origins[i].machine) {
                from = "machine (" + machineSource + ")";
            }
            if (origins[i].virtualStore) {
                from += (from.empty() ? "" : ", ") + std::string("virtual store (") +
                        virtualStoreSource + ")";
            }
        }
        WriteStdoutText(DisplayName(sets[i].name, codepage) + "\t" + from + "\n");
    }
}

void PrintSetProblems(const BatchReport& report, const Codepage& codepage) {
    for (const SetNotConverted& set : report.notConverted) {
        PrintError(QuotedSetName(set.setName, codepage) + " not converted: " + set.reason);
    }
    for (const std::string& setName : report.empty) {
        PrintError("warning: " + QuotedSetName(setName, codepage) +
                   " holds no value to convert; no recipe written");
    }
}

void PrintBatchReport(const BatchReport& report, const std::string& directory, bool toStdout,
                      const Codepage& codepage) {
    PrintSetProblems(report, codepage);
    if (!report.finishError.empty()) {
        PrintError(report.finishError);
    }
    std::string summary = CountOf(report.written.size(), "recipe", "recipes");
    if (toStdout) {
        summary += " printed";
    } else if (report.finishError.empty()) {
        summary += " written to " + directory;
    } else {
        summary += " changed in " + directory + " but not flushed to the disk";
    }
    if (!report.unchanged.empty()) {
        summary += ", " + std::to_string(report.unchanged.size()) + " already up to date";
    }
    if (!report.notConverted.empty()) {
        summary += ", " + CountOf(report.notConverted.size(), "set", "sets") + " not converted";
    }
    PrintError(summary);
}

StdoutRecipeTarget::StdoutRecipeTarget() {
#ifdef _WIN32
    // The recipes carry their own CR LF; text mode would double the CR.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

bool StdoutRecipeTarget::WriteRecipe(const std::string& path, const std::string&,
                                     const RecipeEntryList& entries, bool* changed, std::string*) {
    const std::string fileName = path.substr(path.find_last_of(kPathSeparator) + 1);
    WriteStdoutText("; " + fileName + kRecipeLineEnd + NewIniText(entries));
    *changed = true;
    return true;
}

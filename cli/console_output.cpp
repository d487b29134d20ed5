// Output formatting of rcpconv: stdout for names and recipes, stderr for everything else.
#include "cli/console_output.h"

#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "conversion/ini_edit.h"
#include "conversion/recipe_file_name.h"
#include "settings/codepage.h"

namespace {

const char kProgramPrefix[] = "rcpconv: ";
// Recipes use CR LF; the name line before each one matches so the output is one INI text.
const char kRecipeLineEnd[] = "\r\n";

void WriteStdout(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

// The set name as the terminal shows it, in double quotes.
std::string Quoted(const std::string& setName, const Codepage& codepage) {
    return "\"" + DisplayName(setName, codepage) + "\"";
}

// "N THINGS": the count with the singular or plural noun that goes with it.
std::string CountOf(size_t count, const char* singular, const char* plural) {
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

}  // namespace

std::string DisplayName(const std::string& setName, const Codepage& codepage) {
#ifdef _WIN32
    (void)codepage;
    return setName;
#else
    std::string utf8;
    return codepage.ToUtf8(setName, &utf8) ? utf8 : setName;
#endif
}

void PrintError(const std::string& message) {
    std::fprintf(stderr, "%s%s\n", kProgramPrefix, message.c_str());
}

void PrintExportWarning(const std::string& exportPath, size_t line, const std::string& message) {
    PrintError(exportPath + ":" + std::to_string(line) + ": " + message);
}

void PrintSetNames(const std::vector<ListedSet>& sets, const Codepage& codepage) {
    for (const ListedSet& set : sets) {
        WriteStdout(DisplayName(set.name, codepage) + "\n");
    }
}

void PrintBatchReport(const BatchReport& report, const std::string& directory, bool toStdout,
                      const Codepage& codepage) {
    for (const SetNotConverted& set : report.notConverted) {
        PrintError(Quoted(set.setName, codepage) + " not converted: " + set.reason);
    }
    for (const std::string& setName : report.empty) {
        PrintError("warning: " + Quoted(setName, codepage) +
                   " holds no value to convert; no recipe written");
    }
    if (!report.finishError.empty()) {
        PrintError(report.finishError);
    }
    std::string summary = CountOf(report.written.size(), "recipe", "recipes");
    summary += toStdout ? " printed" : " written to " + directory;
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
                                     const RecipeEntryList& entries, std::string*) {
    const std::string fileName = path.substr(path.find_last_of(kPathSeparator) + 1);
    WriteStdout("; " + fileName + kRecipeLineEnd + NewIniText(entries));
    return true;
}

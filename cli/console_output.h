// What rcpconv prints: set names, recipes on stdout, and its messages on stderr.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "conversion/batch_conversion.h"
#include "settings/settings_store.h"

class Codepage;

// A set name as the terminal shows it: UTF-8 on Linux, the ANSI bytes on Windows.
std::string DisplayName(const std::string& setName, const Codepage& codepage);

// "rcpconv: MESSAGE" on stderr.
void PrintError(const std::string& message);

// A line of the export that was skipped: "rcpconv: PATH:LINE: MESSAGE" on stderr.
void PrintExportWarning(const std::string& exportPath, size_t line, const std::string& message);

// The set names, one per line, on stdout.
void PrintSetNames(const std::vector<ListedSet>& sets, const Codepage& codepage);

// The outcome of a run on stderr: a line per set not converted with its reason, a warning per
// set without entries, the error that kept the recipes from being made durable, and the
// summary (recipes written or printed, and where).
void PrintBatchReport(const BatchReport& report, const std::string& directory, bool toStdout,
                      const Codepage& codepage);

// The target of --stdout: each recipe as a new file would hold it, after "; NAME.rcp".
class StdoutRecipeTarget : public RecipeTarget {
  public:
    StdoutRecipeTarget();
    bool WriteRecipe(const std::string& path, const std::string& setName,
                     const RecipeEntryList& entries, std::string* error) override;
};

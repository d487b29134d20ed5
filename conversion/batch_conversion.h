// Converts a selection of settings sets into recipe files in one directory.
#pragma once

#include <string>
#include <vector>

#include "conversion/settings_conversion.h"
#include "recipes/recipe_entries.h"
#include "recipes/recipe_file.h"
#include "registry/settings_store.h"

class Codepage;

// Where the recipes of a run go: files (RecipeFileWriter) or, for the command line, a stream.
class RecipeTarget {
  public:
    virtual ~RecipeTarget() = default;
    // Writes one set's entries (never empty) to the recipe at path. Returns true, *changed
    // false when the recipe already held them; or false with *error.
    virtual bool WriteRecipe(const std::string& path, const std::string& setName,
                             const RecipeEntryList& entries, bool* changed, std::string* error) = 0;
    // Called once after the last recipe: makes the run's output last. Returns false with *error.
    virtual bool Finish(std::string*) { return true; }
};

// The target that writes recipe files with a RecipeFileWriter, the entries being in codepage
// (may be null on Windows: see RecipeFileWriter).
class RecipeFileTarget : public RecipeTarget {
  public:
    explicit RecipeFileTarget(const Codepage* codepage) : writer_(codepage) {}
    bool WriteRecipe(const std::string& path, const std::string& setName,
                     const RecipeEntryList& entries, bool* changed, std::string* error) override;
    bool Finish(std::string* error) override;

  private:
    RecipeFileWriter writer_;
};

struct SetNotConverted {
    std::string setName;  // as listed (ANSI code page)
    std::string reason;   // one line of English for the user
};

struct BatchReport {
    std::vector<std::string> written;    // recipes created or changed, in run order
    std::vector<std::string> unchanged;  // recipes that already held what the run writes
    std::vector<std::string> empty;      // sets that gave no entry at all: no file
    std::vector<SetNotConverted> notConverted;
    // Why the recipes written could not be made durable at the end of the run ("" when they
    // were): a crash soon after may lose them.
    std::string finishError;
};

// Told, for each set converted, which of its rules wrote nothing and why.
class SkippedRulesListener {
  public:
    virtual ~SkippedRulesListener() = default;
    // Called after the set's recipe was handed to the target (or, for a set without entries,
    // was not); skipped is in rule order and may be empty.
    virtual void SetConverted(const std::string& setName, const std::string& path,
                              const std::vector<SkippedRule>& skipped) = 0;
};

// Told after each set of a run has been dealt with, so that a window can stay answering
// through a long run.
class BatchProgress {
  public:
    virtual ~BatchProgress() = default;
    virtual void SetDone() = 0;
};

struct BatchRequest {
    const char* rootPath;               // the settings root found at start-up
    std::vector<std::string> setNames;  // in the order to convert them
    std::string directory;              // existing destination directory
    const Codepage* namesCodepage;      // the code page of the set names
    // The code page of the platform's file names (and of directory): Windows' ANSI code page,
    // or null for UTF-8 (Linux).
    const Codepage* fileNamesCodepage;
    SkippedRulesListener* skippedRules = nullptr;  // null when nobody asks
    BatchProgress* progress = nullptr;             // null when nobody asks
};

// Converts every named set of the root into "<directory><separator><name>.rcp", the name in the
// file names' code page. A set whose name is no Windows file name or has a character the file
// names' code page lacks, whose path is over kMaxRecipePathChars, that cannot be opened, or
// whose recipe cannot be written, is listed in report->notConverted with its reason; the
// others are converted; then the target is finished (a failure there is report->finishError).
// Returns false with *error (and converts nothing) when the root cannot be opened.
bool ConvertSelectedSets(SettingsStore& store, const BatchRequest& request, RecipeTarget& target,
                         BatchReport* report, std::string* error);

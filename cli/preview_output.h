// What rcpconv prints when it previews recipes, shows their diffs or explains skipped entries.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "conversion/batch_conversion.h"

class Codepage;

// How many recipes a dry run would create, update and leave as they are.
struct PreviewCounts {
    size_t created = 0;
    size_t updated = 0;
    size_t unchanged = 0;
};

// The target of --dry-run and --diff. A dry run (writer null) works each recipe out with the
// portable INI editor, touches nothing, and prints a line per recipe on stderr saying what
// would happen to it; with diff, each recipe that would change gets its unified diff on stdout.
// A real run with --diff (writer not null, diff true) has writer write each recipe and prints
// the diff of each file that changed.
class PreviewTarget : public RecipeTarget {
  public:
    PreviewTarget(const Codepage& codepage, RecipeTarget* writer, bool diff);
    bool WriteRecipe(const std::string& path, const std::string& setName,
                     const RecipeEntryList& entries, bool* changed, std::string* error) override;
    // Makes the writer's recipes last; a preview has nothing to make last.
    bool Finish(std::string* error) override;

    const PreviewCounts& counts() const { return counts_; }

  private:
    bool Preview(const std::string& path, const RecipeEntryList& entries, bool* changed,
                 std::string* error);
    bool WriteAndShow(const std::string& path, const std::string& setName,
                      const RecipeEntryList& entries, bool* changed, std::string* error);

    const Codepage& codepage_;
    RecipeTarget* writer_;
    bool diff_;
    PreviewCounts counts_;
};

// The listener of --explain: prints on stderr, for each entry a set's rules did not write, why
// not. When recipesOnDisk and the set's recipe holds that entry, it adds that the recipe keeps
// its old value.
class SkippedRulesPrinter : public SkippedRulesListener {
  public:
    SkippedRulesPrinter(const Codepage& codepage, bool recipesOnDisk)
        : codepage_(codepage), recipesOnDisk_(recipesOnDisk) {}
    void SetConverted(const std::string& setName, const std::string& path,
                      const std::vector<SkippedRule>& skipped) override;

  private:
    const Codepage& codepage_;
    bool recipesOnDisk_;
};

// The outcome of a dry run on stderr, as PrintBatchReport gives that of a real one: a line per
// set not converted, a warning per set without entries, and a summary of what would be done.
void PrintPreviewReport(const BatchReport& report, const PreviewCounts& counts,
                        const std::string& directory, const Codepage& codepage);

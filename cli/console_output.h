// What rcpconv prints: set names, recipes on stdout, and its messages on stderr.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "conversion/batch_conversion.h"
#include "registry/settings_store.h"

class Codepage;
struct SetOrigin;
struct SourceWarning;

// A set name as the terminal shows it: UTF-8 on Linux, the ANSI bytes on Windows.
std::string DisplayName(const std::string& setName, const Codepage& codepage);

// The set name in double quotes, as the terminal shows it.
std::string QuotedSetName(const std::string& setName, const Codepage& codepage);

// "N THINGS": the count with the singular or plural noun that goes with it.
std::string CountOf(size_t count, const char* singular, const char* plural);

// "rcpconv: MESSAGE" on stderr.
void PrintError(const std::string& message);

// Writes text to stdout (on Windows in text mode: a CR before each LF).
void WriteStdoutText(const std::string& text);

// Writes bytes to stdout exactly as they are (on Windows, too: no CR added before an LF).
void WriteStdoutBytes(const std::string& bytes);

// Flushes stdout. Returns true when everything written to it went out; false with *error, one
// line for the user, when a write or the flush failed (a full disk, a closed pipe).
bool FinishStdout(std::string* error);

// What a source reported: "rcpconv: PATH:LINE: MESSAGE" (a line of an export that was
// skipped) or "rcpconv: PATH: MESSAGE" on stderr.
void PrintSourceWarning(const SourceWarning& warning);

// The set names, one per line, on stdout.
void PrintSetNames(const std::vector<ListedSet>& sets, const Codepage& codepage);

// A line per set not converted with its reason, then a warning per set without entries, on
// stderr.
void PrintSetProblems(const BatchReport& report, const Codepage& codepage);

// The set names, one per line on stdout, each followed by a tab and where the set comes from:
// "machine (PATH)", "virtual store (PATH)" or both, joined by ", "; "registry" for the live
// registry (origins empty).
void PrintSetNamesWithOrigins(const std::vector<ListedSet>& sets,
                              const std::vector<SetOrigin>& origins,
                              const std::string& machineSource,
                              const std::string& virtualStoreSource, const Codepage& codepage);

// The outcome of a run on stderr: a line per set not converted with its reason, a warning per
// set without entries, the error that kept the recipes from being made durable, and the
// summary: the recipes written (or changed but not flushed to the disk, or printed) and where,
// and those already up to date.
void PrintBatchReport(const BatchReport& report, const std::string& directory, bool toStdout,
                      const Codepage& codepage);

// The target of --stdout: each recipe as a new file would hold it, after "; NAME.rcp".
class StdoutRecipeTarget : public RecipeTarget {
  public:
    StdoutRecipeTarget();
    bool WriteRecipe(const std::string& path, const std::string& setName,
                     const RecipeEntryList& entries, bool* changed, std::string* error) override;
};

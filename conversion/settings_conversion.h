// Turns one saved settings set into the entries of its recipe.
#pragma once

#include <cstddef>
#include <cstdint>

#include "conversion/conversion_rules.h"
#include "recipes/recipe_entries.h"
#include "registry/settings_store.h"

// Why a conversion rule wrote nothing.
enum class SkipReason {
    kMissing,           // the set has no value of that name
    kTooLong,           // the data is longer than the reader takes; detail: its size in bytes
    kTextTooLong,       // text filling the reader without a terminating zero; detail: characters
    kNotFourBytes,      // integer data of another size; detail: its size in bytes
    kLineBreak,         // text holding a CR or LF
    kNoData,            // a flag or bitmask with no data byte at all
    kOutOfRange,        // a number whose thousandths lie outside a 32-bit integer
    kEtchControlMode,   // an etch control mode with no recipe counterpart; detail: the mode
    kNoSecondMaterial,  // a positive material percentage without "Mat2"; detail: the percentage
};

// One rule that wrote nothing: the value that stopped it, why, and the entries it would have
// written. Names are literals of the conversion table.
struct SkippedRule {
    const char* valueName;
    SkipReason reason;
    int64_t detail;  // see SkipReason; 0 where it names none
    RecipeKey entries[kMaxRuleEntries];
    size_t entryCount;
};

// Told of every rule that writes nothing, in rule order, while the conversion runs.
class SkipReporter {
  public:
    virtual ~SkipReporter() = default;
    virtual void RuleSkipped(const SkippedRule& rule) = 0;
};

// Runs the conversion rules in order on an open set, reading through store and writing each
// resulting entry to writer. Absent values silence only their own rule; each rule silenced goes
// to skipped when it is not null, which changes nothing that is written. Needs
// BuildFrequencyTable to have run. No result.
void ConvertSettingsSet(SettingsStore& store, SettingsKey set, RecipeWriter& writer,
                        SkipReporter* skipped = nullptr);

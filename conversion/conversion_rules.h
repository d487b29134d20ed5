// The conversion table: the values each rule reads and the recipe entries it writes.
#pragma once

#include <array>
#include <cstddef>
#include <iterator>

#include "recipes/recipe_entries.h"

// How a rule forms its entry text from the values it reads (settings_conversion.cpp).
enum class RuleKind {
    kCopied,        // a text value as it is
    kThousandths,   // a decimal text as integer thousandths
    kCarrierIndex,  // kilohertz as the index of the nearest carrier frequency
    kDecimal,       // an integer in decimal
    kTextPair,      // two text values: "FIRST SECOND"
    kIntegerPair,   // two integers: "FIRST SECOND"
    kFlag,          // "1" or "0" by the first data byte
    kMaterial,      // "Mat1", or "Mat1 +F Mat2" with the second material's share
    kAutoSave,      // one flag per section of kAutoSaveSections, from a bitmask
    kEtchMode,      // the instrument's modes 0 to 2 as the recipe's 1 to 3
};

constexpr size_t kMaxRuleValues = 3;  // the material rule reads three values
constexpr size_t kMaxRuleKeys = 2;    // the area-compensation flag goes to two keys

struct ConversionRule {
    RuleKind kind;
    const char* values[kMaxRuleValues];  // value names, read in this order
    const char* section;
    const char* keys[kMaxRuleKeys];  // every key gets the same entry text
};

// One bit of the "AutoSave" bitmask per section, bit 0 first.
inline constexpr const char* kAutoSaveSections[] = {"IV", "CV", "DP", "ETCH"};
// The section column of the "AutoSave" rule, which takes its sections from kAutoSaveSections.
constexpr const char* kNoSection = nullptr;

// The rules in the order they run. Each reads its values in the order given, stops at the first
// absent one and then writes nothing; otherwise it writes its entries in key order.
// clang-format off
inline constexpr ConversionRule kConversionRules[] = {
    // entry text formed by   values read, in order       section     keys
    {RuleKind::kMaterial,     {"Mat1", "%Mat2", "Mat2"},  "GENERAL",  {"Material"}},
    {RuleKind::kCopied,       {"Electrolyte"},            "GENERAL",  {"Electrolyte"}},
    {RuleKind::kThousandths,  {"AmpCar"},                 "GENERAL",  {"Amplitude"}},
    {RuleKind::kCarrierIndex, {"FreqCar"},                "GENERAL",  {"F1ix"}},
    {RuleKind::kCopied,       {"ImLimDark"},              "GENERAL",  {"I-Meas Limit"}},
    {RuleKind::kCopied,       {"V-Step"},                 "GENERAL",  {"dV"}},
    {RuleKind::kDecimal,      {"Model"},                  "GENERAL",  {"Model"}},
    {RuleKind::kAutoSave,     {"AutoSave"},               kNoSection, {"AutoSave"}},
    {RuleKind::kTextPair,     {"IV-Imin", "IV-Imax"},     "IV",       {"I-Range"}},
    {RuleKind::kTextPair,     {"IV-Vmin", "IV-Vmax"},     "IV",       {"V-Range"}},
    {RuleKind::kTextPair,     {"CV-Vmin", "CV-Vmax"},     "CV",       {"V-Range"}},
    {RuleKind::kCopied,       {"CV-Cmax"},                "CV",       {"C-max"}},
    {RuleKind::kDecimal,      {"CV-Show"},                "CV",       {"Show"}},
    {RuleKind::kTextPair,     {"DP-Vmin", "DP-Vmax"},     "DP",       {"V-Range"}},
    {RuleKind::kIntegerPair,  {"DP-Nmin", "DP-Nmax"},     "DP",       {"N-Range"}},
    {RuleKind::kCopied,       {"DP-Xmax"},                "DP",       {"X-Scale"}},
    {RuleKind::kFlag,         {"DP-Reverse"},             "DP",       {"Reverse"}},
    {RuleKind::kIntegerPair,  {"EP-Nmin", "EP-Nmax"},     "ETCH",     {"N-range"}},
    {RuleKind::kCopied,       {"EP-Xend"},                "ETCH",     {"W-end"}},
    {RuleKind::kCopied,       {"EP-Vmeas"},               "ETCH",     {"V-Meas"}},
    {RuleKind::kFlag,         {"End@Wr"},                 "ETCH",     {"End At Wr"}},
    {RuleKind::kFlag,         {"ExAreaComp"},             "ETCH",     {"Use EA Comp", "AreaIllum"}},
    {RuleKind::kFlag,         {"Settle-Auto"},            "ETCH",     {"Auto Settle"}},
    {RuleKind::kDecimal,      {"Settle-Delay"},           "ETCH",     {"Settle Delay"}},
    {RuleKind::kCopied,       {"Settle-Delta"},           "ETCH",     {"Settle Delta"}},
    {RuleKind::kThousandths,  {"Resolution"},             "ETCH",     {"Resolution"}},
    {RuleKind::kDecimal,      {"CycLamp1"},               "ETCH",     {"Lamp Intensity"}},
    {RuleKind::kCopied,       {"CycVetch1"},              "ETCH",     {"V-Etch"}},
    {RuleKind::kEtchMode,     {"AIe"},                    "ETCH",     {"Etch Control Mode"}},
    {RuleKind::kCopied,       {"AIeVlim"},                "ETCH",     {"V-Etch Max"}},
    {RuleKind::kCopied,       {"CycIeLim1"},              "ETCH",     {"I-Etch"}},
};
// clang-format on
constexpr size_t kConversionRuleCount = 31;  // the rules the recipe format asks for
static_assert(std::size(kConversionRules) == kConversionRuleCount,
              "a rule added to or lost from the table");

struct RecipeKey {
    const char* section;
    const char* key;
};

// The entries rule writes when every value it reads is there, in the order it writes them, into
// entries (unless null). Returns their number.
constexpr size_t RuleEntries(const ConversionRule& rule, RecipeKey* entries = nullptr) {
    size_t count = 0;
    const auto add = [&](const char* section, const char* key) {
        if (entries != nullptr) {
            entries[count] = {section, key};
        }
        ++count;
    };
    for (const char* key : rule.keys) {
        if (key == nullptr) {
            continue;
        }
        if (rule.kind != RuleKind::kAutoSave) {
            add(rule.section, key);
            continue;
        }
        for (const char* section : kAutoSaveSections) {
            add(section, key);
        }
    }
    return count;
}

constexpr size_t CountRecipeEntries() {
    size_t entries = 0;
    for (const ConversionRule& rule : kConversionRules) {
        entries += RuleEntries(rule);
    }
    return entries;
}

constexpr size_t MostEntriesOfARule() {
    size_t most = 0;
    for (const ConversionRule& rule : kConversionRules) {
        most = RuleEntries(rule) > most ? RuleEntries(rule) : most;
    }
    return most;
}

// The most entries one set can give: every rule writing every entry it can.
constexpr size_t kMaxRecipeEntries = CountRecipeEntries();
static_assert(kMaxRecipeEntries <= kRecipeEntryCapacity,
              "a recipe's entry list cannot hold every entry the table writes");
// The most entries one rule writes ("AutoSave": one in each of its sections).
constexpr size_t kMaxRuleEntries = MostEntriesOfARule();

// Every section and key the table writes, in the order the rules write them.
constexpr std::array<RecipeKey, kMaxRecipeEntries> RecipeKeys() {
    std::array<RecipeKey, kMaxRecipeEntries> all{};
    size_t count = 0;
    for (const ConversionRule& rule : kConversionRules) {
        count += RuleEntries(rule, all.data() + count);
    }
    return all;
}

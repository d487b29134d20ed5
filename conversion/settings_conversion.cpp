// The rules of the conversion table at work: one saved settings set into its recipe entries.
#include "conversion/settings_conversion.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "conversion/conversion_rules.h"
#include "conversion/decimal_number.h"
#include "conversion/frequency_index.h"
#include "text/text_limits.h"

namespace {

constexpr double kHertzPerKilohertz = 1000.0;
constexpr unsigned kPercent = 100;
constexpr unsigned kThousandthsPerPercent = 10;
// The instrument's etch control modes 0, 1 and 2 are the recipe's 1, 2 and 3; higher modes have
// no recipe counterpart.
constexpr int32_t kEtchControlModeCount = 3;

using TextValue = char[kMaxTextValueChars + 1];
using EntryText = char[kMaxEntryTextChars + 1];

struct RuleContext {
    SettingsStore& store;
    SettingsKey set;
    RecipeWriter& writer;
    SkipReporter* skipped;  // null when nobody asks why a rule wrote nothing
};

// Tells the reporter, if any, that rule writes nothing because of the value name. Returns
// false, so that a reader can end with it.
bool Skip(const ConversionRule& rule, const RuleContext& context, const char* name,
          SkipReason reason, int64_t detail = 0) {
    if (context.skipped == nullptr) {
        return false;
    }
    SkippedRule skipped = {};
    skipped.valueName = name;
    skipped.reason = reason;
    skipped.detail = detail;
    skipped.entryCount = RuleEntries(rule, skipped.entries);
    context.skipped->RuleSkipped(skipped);
    return false;
}

// Reports why a reader answered 0: the value is missing (reported as whenMissing with its
// detail) or longer than the reader's buffer.
bool SkipUnread(const ConversionRule& rule, const RuleContext& context, const char* name,
                const ValueReadOutcome& outcome, SkipReason whenMissing = SkipReason::kMissing,
                int64_t missingDetail = 0) {
    if (outcome.status == QueryStatus::kMissing) {
        return Skip(rule, context, name, whenMissing, missingDetail);
    }
    return Skip(rule, context, name, SkipReason::kTooLong, outcome.length);
}

// Reads a text value: its data up to the first zero byte, or all of it when there is none.
// Returns false when the value is absent, longer than kMaxTextValueChars, or holds a CR or LF
// (written raw into the recipe, a line break would plant keys or sections of its own). A
// missing value is reported as whenMissing.
bool ReadText(const ConversionRule& rule, const RuleContext& context, const char* name,
              TextValue& text, SkipReason whenMissing = SkipReason::kMissing,
              int64_t missingDetail = 0) {
    TextValueData data;
    ValueReadOutcome outcome;
    if (!ReadTextValue(context.store, context.set, name, &data, &outcome)) {
        return SkipUnread(rule, context, name, outcome, whenMissing, missingDetail);
    }
    size_t length = 0;
    for (; length < data.length && data.bytes[length] != '\0'; ++length) {
        if (data.bytes[length] == '\r' || data.bytes[length] == '\n') {
            return Skip(rule, context, name, SkipReason::kLineBreak);
        }
    }
    if (length > kMaxTextValueChars) {
        return Skip(rule, context, name, SkipReason::kTextTooLong, length);
    }
    memcpy(text, data.bytes, length);
    text[length] = '\0';
    return true;
}

// Reads the first data byte of a flag or bitmask. Returns false when the value is absent or has
// no data at all.
bool ReadFirstByte(const ConversionRule& rule, const RuleContext& context, const char* name,
                   unsigned char* first) {
    TextValueData data;
    ValueReadOutcome outcome;
    if (!ReadTextValue(context.store, context.set, name, &data, &outcome)) {
        return SkipUnread(rule, context, name, outcome);
    }
    if (data.length == 0) {
        return Skip(rule, context, name, SkipReason::kNoData);
    }
    *first = data.bytes[0];
    return true;
}

// Returns true and sets *value when the value is a 32-bit integer.
bool ReadInteger(const ConversionRule& rule, const RuleContext& context, const char* name,
                 int32_t* value) {
    ValueReadOutcome outcome;
    if (ReadIntValue(context.store, context.set, name, value, &outcome) == 1) {
        return true;
    }
    if (outcome.status == QueryStatus::kMissing) {
        return Skip(rule, context, name, SkipReason::kMissing);
    }
    return Skip(rule, context, name, SkipReason::kNotFourBytes, outcome.length);
}

// Returns the recipe's text for a flag: "1" when on, else "0".
const char* FlagText(bool on) {
    return on ? "1" : "0";
}

void WriteToEveryKey(const ConversionRule& rule, const RuleContext& context, const char* text) {
    for (const char* key : rule.keys) {
        if (key != nullptr) {
            context.writer.WriteEntry(rule.section, key, text);
        }
    }
}

// Puts value in decimal at at, which has room for any 32-bit integer, and returns its end.
char* PutDecimal(char* at, int32_t value) {
    constexpr size_t kMaxInt32Chars = 11;  // "-2147483648"
    return std::to_chars(at, at + kMaxInt32Chars, value).ptr;
}

// Puts text at at and returns its end.
char* PutText(char* at, const char* text) {
    const size_t length = strlen(text);
    memcpy(at, text, length);
    return at + length;
}

// Writes value in decimal to every key of the rule; returns nothing, as every write does.
void WriteDecimal(const ConversionRule& rule, const RuleContext& context, int32_t value) {
    EntryText entry;
    *PutDecimal(entry, value) = '\0';
    WriteToEveryKey(rule, context, entry);
}

void ConvertCopied(const ConversionRule& rule, const RuleContext& context) {
    TextValue text;
    if (ReadText(rule, context, rule.values[0], text)) {
        WriteToEveryKey(rule, context, text);
    }
}

// The registry holds these quantities as decimal texts, the recipe as integer thousandths.
void ConvertThousandths(const ConversionRule& rule, const RuleContext& context) {
    TextValue text;
    int32_t thousandths = 0;
    if (!ReadText(rule, context, rule.values[0], text)) {
        return;
    }
    if (!DecimalToThousandths(text, &thousandths)) {
        Skip(rule, context, rule.values[0], SkipReason::kOutOfRange);
        return;
    }
    WriteDecimal(rule, context, thousandths);
}

// The registry holds the carrier frequency in kilohertz, the recipe the index of the nearest
// carrier frequency the recipe application offers.
void ConvertFrequencyIndex(const ConversionRule& rule, const RuleContext& context) {
    TextValue text;
    if (ReadText(rule, context, rule.values[0], text)) {
        WriteDecimal(rule, context, FrequencyIndex(DecimalToDouble(text) * kHertzPerKilohertz));
    }
}

void ConvertDecimal(const ConversionRule& rule, const RuleContext& context) {
    int32_t value = 0;
    if (ReadInteger(rule, context, rule.values[0], &value)) {
        WriteDecimal(rule, context, value);
    }
}

void ConvertTextPair(const ConversionRule& rule, const RuleContext& context) {
    TextValue first;
    TextValue second;
    if (ReadText(rule, context, rule.values[0], first) &&
        ReadText(rule, context, rule.values[1], second)) {
        static_assert(sizeof(EntryText) >= 2 * sizeof(TextValue), "both texts fit an entry");
        EntryText entry;
        char* end = PutText(entry, first);
        *end++ = ' ';
        *PutText(end, second) = '\0';
        WriteToEveryKey(rule, context, entry);
    }
}

void ConvertIntegerPair(const ConversionRule& rule, const RuleContext& context) {
    int32_t first = 0;
    int32_t second = 0;
    if (ReadInteger(rule, context, rule.values[0], &first) &&
        ReadInteger(rule, context, rule.values[1], &second)) {
        EntryText entry;
        char* end = PutDecimal(entry, first);
        *end++ = ' ';
        *PutDecimal(end, second) = '\0';
        WriteToEveryKey(rule, context, entry);
    }
}

// Only the first byte counts, so the text "0" is on and a little-endian integer 256 is off.
void ConvertFlag(const ConversionRule& rule, const RuleContext& context) {
    unsigned char first = 0;
    if (ReadFirstByte(rule, context, rule.values[0], &first)) {
        WriteToEveryKey(rule, context, FlagText(first != 0));
    }
}

// "Mat1" alone when the second material's share is not positive; otherwise "Mat1 +F Mat2", F
// being the share as a fraction with three decimals and no leading zero below one (30 per cent
// gives ".300", 250 per cent "2.500"), computed in integers so that no digit is rounded.
void ConvertMaterial(const ConversionRule& rule, const RuleContext& context) {
    TextValue first;
    int32_t percentage = 0;
    if (!ReadText(rule, context, rule.values[0], first) ||
        !ReadInteger(rule, context, rule.values[1], &percentage)) {
        return;
    }
    if (percentage <= 0) {
        WriteToEveryKey(rule, context, first);
        return;
    }
    // A share of a second material that is not there: no material text can be formed.
    TextValue second;
    if (!ReadText(rule, context, rule.values[2], second, SkipReason::kNoSecondMaterial,
                  percentage)) {
        return;
    }
    const unsigned share = static_cast<unsigned>(percentage);
    const unsigned whole = share / kPercent;
    const unsigned thousandths = share % kPercent * kThousandthsPerPercent;
    EntryText entry;
    if (whole == 0) {
        snprintf(entry, sizeof entry, "%s +.%03u %s", first, thousandths, second);
    } else {
        snprintf(entry, sizeof entry, "%s +%u.%03u %s", first, whole, thousandths, second);
    }
    WriteToEveryKey(rule, context, entry);
}

// One entry per section of kAutoSaveSections, from bits 0 to 3 of the first byte.
void ConvertAutoSave(const ConversionRule& rule, const RuleContext& context) {
    unsigned char first = 0;
    if (!ReadFirstByte(rule, context, rule.values[0], &first)) {
        return;
    }
    unsigned bit = 1;
    for (const char* section : kAutoSaveSections) {
        context.writer.WriteEntry(section, rule.keys[0], FlagText((first & bit) != 0));
        bit <<= 1;
    }
}

void ConvertEtchControlMode(const ConversionRule& rule, const RuleContext& context) {
    int32_t mode = 0;
    if (!ReadInteger(rule, context, rule.values[0], &mode)) {
        return;
    }
    if (mode >= kEtchControlModeCount) {
        Skip(rule, context, rule.values[0], SkipReason::kEtchControlMode, mode);
        return;
    }
    WriteDecimal(rule, context, mode + 1);
}

// Forms and writes the entries of one rule by its kind.
void RunRule(const ConversionRule& rule, const RuleContext& context) {
    switch (rule.kind) {
        case RuleKind::kCopied:
            return ConvertCopied(rule, context);
        case RuleKind::kThousandths:
            return ConvertThousandths(rule, context);
        case RuleKind::kCarrierIndex:
            return ConvertFrequencyIndex(rule, context);
        case RuleKind::kDecimal:
            return ConvertDecimal(rule, context);
        case RuleKind::kTextPair:
            return ConvertTextPair(rule, context);
        case RuleKind::kIntegerPair:
            return ConvertIntegerPair(rule, context);
        case RuleKind::kFlag:
            return ConvertFlag(rule, context);
        case RuleKind::kMaterial:
            return ConvertMaterial(rule, context);
        case RuleKind::kAutoSave:
            return ConvertAutoSave(rule, context);
        case RuleKind::kEtchMode:
            return ConvertEtchControlMode(rule, context);
    }
}

}  // namespace

void ConvertSettingsSet(SettingsStore& store, SettingsKey set, RecipeWriter& writer,
                        SkipReporter* skipped) {
    const RuleContext context{store, set, writer, skipped};
    for (const ConversionRule& rule : kConversionRules) {
        RunRule(rule, context);
    }
}

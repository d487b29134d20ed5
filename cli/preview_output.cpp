// Dry runs, diffs and explanations of rcpconv: what it would do, what it did, what it skipped.
#include "cli/preview_output.h"

#include "cli/console_output.h"
#include "recipes/ini_edit.h"
#include "recipes/recipe_diff.h"
#include "recipes/recipe_file_name.h"
#include "recipes/recipe_preview.h"
#include "registry/settings_store.h"
#include "text/text_limits.h"

namespace {

// The recipe's file name, as the dry run's lines name it.
std::string FileNameOf(const std::string& path) {
    return path.substr(path.find_last_of(kPathSeparator) + 1);
}

// The diff names the file the run writes, which for a link is the file it leads to: patch
// edits no link.
void PrintDiff(const RecipeFileBytes& before, const std::string& after) {
    WriteStdoutBytes(RecipeDiff(before.fileName, before.exists ? &before.text : nullptr, after));
}

// What a dry run would do to one recipe, in a line for the user.
std::string PreviewLine(const std::string& path, const RecipePreview& preview) {
    const std::string quoted = "\"" + FileNameOf(path) + "\"";
    switch (preview.change) {
        case RecipeChange::kCreate:
            return "would create " + quoted + " (" +
                   CountOf(preview.changedEntries, "entry", "entries") + ")";
        case RecipeChange::kUpdate:
            return "would update " + quoted + " (" +
                   CountOf(preview.changedEntries, "entry changes", "entries change") + ")";
        case RecipeChange::kUnchanged:
            break;
    }
    return "would leave " + quoted + " unchanged";
}

// Why a rule wrote nothing, in the words of someone who knows the instrument, not the code.
std::string SkipText(const SkippedRule& rule) {
    const std::string value = std::string("\"") + rule.valueName + "\"";
    const std::string detail = std::to_string(rule.detail);
    switch (rule.reason) {
        case SkipReason::kMissing:
            return "the setting " + value + " is missing";
        case SkipReason::kTooLong:
            return "the setting " + value + " holds " + detail + " bytes, more than the " +
                   std::to_string(kTextValueSize) + " the reader takes";
        case SkipReason::kTextTooLong:
            return "the text of " + value + " has " + detail + " characters, more than the " +
                   std::to_string(kMaxTextValueChars) + " the reader takes";
        case SkipReason::kNotFourBytes:
            return "the setting " + value + " holds " + detail + " bytes, where an integer has " +
                   std::to_string(kIntValueSize);
        case SkipReason::kLineBreak:
            return "the text of " + value + " holds a line break";
        case SkipReason::kNoData:
            return "the setting " + value + " holds no data";
        case SkipReason::kOutOfRange:
            return "the number in " + value +
                   ", in thousandths, lies outside the range of a recipe integer";
        case SkipReason::kEtchControlMode:
            return "the etch control mode " + value + " is " + detail +
                   "; only modes 0 to 2 have a recipe counterpart";
        case SkipReason::kNoSecondMaterial:
            return "the second material " + value + " is missing though its percentage is " +
                   detail;
    }
    return "";
}

}  // namespace

PreviewTarget::PreviewTarget(const Codepage& codepage, RecipeTarget* writer, bool diff)
    : codepage_(codepage), writer_(writer), diff_(diff) {}

bool PreviewTarget::Finish(std::string* error) {
    return writer_ == nullptr || writer_->Finish(error);
}

bool PreviewTarget::WriteRecipe(const std::string& path, const std::string& setName,
                                const RecipeEntryList& entries, bool* changed, std::string* error) {
    return writer_ == nullptr ? Preview(path, entries, changed, error)
                              : WriteAndShow(path, setName, entries, changed, error);
}

bool PreviewTarget::Preview(const std::string& path, const RecipeEntryList& entries, bool* changed,
                            std::string* error) {
    RecipePreview preview;
    if (!PreviewRecipeFile(path, entries, codepage_, &preview, error)) {
        return false;
    }
    *changed = preview.change != RecipeChange::kUnchanged;
    PrintError(PreviewLine(path, preview));
    switch (preview.change) {
        case RecipeChange::kCreate:
            ++counts_.created;
            break;
        case RecipeChange::kUpdate:
            ++counts_.updated;
            break;
        case RecipeChange::kUnchanged:
            ++counts_.unchanged;
            return true;
    }
    if (diff_) {
        PrintDiff(preview.before, preview.after);
    }
    return true;
}

// The diff of a real run is that of the bytes on disk before and after the write, whatever
// wrote them.
bool PreviewTarget::WriteAndShow(const std::string& path, const std::string& setName,
                                 const RecipeEntryList& entries, bool* changed,
                                 std::string* error) {
    RecipeFileBytes before;
    std::string readError;
    const bool readBefore = ReadRecipeFile(path.c_str(), &before, &readError);
    if (!writer_->WriteRecipe(path, setName, entries, changed, error)) {
        return false;
    }
    RecipeFileBytes after;
    if (!readBefore || !ReadRecipeFile(path.c_str(), &after, &readError)) {
        PrintError("warning: no diff of " + path + ": " + readError);
    } else if (after.exists && (!before.exists || before.text != after.text)) {
        before.fileName = after.fileName;
        PrintDiff(before, after.text);
    }
    return true;
}

void SkippedRulesPrinter::SetConverted(const std::string& setName, const std::string& path,
                                       const std::vector<SkippedRule>& skipped) {
    RecipeFileBytes recipe;
    std::string error;
    const bool lookUp = recipesOnDisk_ && !skipped.empty() &&
                        ReadRecipeFile(path.c_str(), &recipe, &error) && recipe.exists;
    const std::string quotedSet = QuotedSetName(setName, codepage_);
    for (const SkippedRule& rule : skipped) {
        const std::string why = SkipText(rule);
        for (size_t i = 0; i < rule.entryCount; ++i) {
            const char* section = rule.entries[i].section;
            const char* key = rule.entries[i].key;
            std::string line = quotedSet + " [" + section + "] " + key + " not written: " + why;
            if (lookUp && IniHasEntry(recipe.text, section, key)) {
                line += "; the recipe keeps its old value";
            }
            PrintError(line);
        }
    }
}

void PrintPreviewReport(const BatchReport& report, const PreviewCounts& counts,
                        const std::string& directory, const Codepage& codepage) {
    PrintSetProblems(report, codepage);
    std::string summary = "would create " + CountOf(counts.created, "recipe", "recipes") +
                          ", update " + std::to_string(counts.updated) + " and leave " +
                          std::to_string(counts.unchanged) + " unchanged in " + directory;
    if (!report.notConverted.empty()) {
        summary += ", " + CountOf(report.notConverted.size(), "set", "sets") + " not converted";
    }
    PrintError(summary);
}

// The batch run: each chosen set of the root converted into its recipe, failures reported.
#include "conversion/batch_conversion.h"

#include "conversion/settings_conversion.h"
#include "recipes/recipe_file_name.h"

namespace {

const char kCannotOpenSet[] = "the set cannot be opened";

// Keeps the rules of one set that wrote nothing.
class SkippedRuleList : public SkipReporter {
  public:
    void RuleSkipped(const SkippedRule& rule) override { rules.push_back(rule); }
    std::vector<SkippedRule> rules;
};

void ConvertOneSet(SettingsStore& store, SettingsKey root, const BatchRequest& request,
                   const std::string& setName, RecipeTarget& target, BatchReport* report) {
    std::string baseName;
    std::string path;
    std::string reason;
    if (!RecipeFileBaseName(setName, *request.namesCodepage, request.fileNamesCodepage, &baseName,
                            &reason) ||
        !FormRecipePath(request.directory, baseName, request.fileNamesCodepage, &path, &reason)) {
        report->notConverted.push_back({setName, reason});
        return;
    }
    SettingsKey set = nullptr;
    if (!store.OpenSettingsSet(root, setName.c_str(), &set)) {
        report->notConverted.push_back({setName, kCannotOpenSet});
        return;
    }
    RecipeEntryList entries;
    SkippedRuleList skipped;
    ConvertSettingsSet(store, set, entries, request.skippedRules != nullptr ? &skipped : nullptr);
    store.CloseSettingsKey(set);

    // A set without a single value would have made the profile service create no file.
    bool changed = false;
    if (entries.empty()) {
        report->empty.push_back(setName);
    } else if (target.WriteRecipe(path, setName, entries, &changed, &reason)) {
        (changed ? report->written : report->unchanged).push_back(path);
    } else {
        report->notConverted.push_back({setName, reason});
    }
    if (request.skippedRules != nullptr) {
        request.skippedRules->SetConverted(setName, path, skipped.rules);
    }
}

}  // namespace

bool RecipeFileTarget::WriteRecipe(const std::string& path, const std::string&,
                                   const RecipeEntryList& entries, bool* changed,
                                   std::string* error) {
    return writer_.Write(path.c_str(), entries, changed, error);
}

bool RecipeFileTarget::Finish(std::string* error) {
    return writer_.Finish(error);
}

bool ConvertSelectedSets(SettingsStore& store, const BatchRequest& request, RecipeTarget& target,
                         BatchReport* report, std::string* error) {
    SettingsKey root = nullptr;
    if (!store.OpenSettingsRoot(request.rootPath, &root)) {
        *error = std::string("cannot open the settings root ") + request.rootPath;
        return false;
    }
    report->written.reserve(report->written.size() + request.setNames.size());
    for (const std::string& setName : request.setNames) {
        ConvertOneSet(store, root, request, setName, target, report);
        if (request.progress != nullptr) {
            request.progress->SetDone();
        }
    }
    store.CloseSettingsKey(root);
    target.Finish(&report->finishError);
    return true;
}

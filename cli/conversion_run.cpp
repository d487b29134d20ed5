// Set listing, set selection and the batch run behind rcpconv.
#include "cli/conversion_run.h"

#include <algorithm>
#include <unordered_set>

#include "cli/console_output.h"
#include "cli/options.h"
#include "cli/output_directory.h"
#include "cli/preview_output.h"
#include "conversion/batch_conversion.h"
#include "text/ascii_case.h"
#include "text/codepage.h"

namespace {

// The report of a set the listing names only in look-alike letters of the code page.
SetNotConverted NotInCodepage(const ListedSet& set, const Codepage& codepage) {
    return {set.name, "its name has characters outside " + codepage.name() +
                          ", which the Windows program cannot open"};
}

// Returns true when items holds item.
template <typename T>
bool Contains(const std::vector<T>& items, const T& item) {
    for (const T& held : items) {
        if (held == item) {
            return true;
        }
    }
    return false;
}

// Chooses every listed set, each name once (two sets may be listed under one name, when the code
// page writes two characters alike), except those whose listed name is not their own, which go
// to *unconvertible.
void ChooseEverySet(const std::vector<ListedSet>& listed, const Codepage& codepage,
                    std::vector<std::string>* chosenNames,
                    std::vector<SetNotConverted>* unconvertible) {
    // The repeated names are found by sorting, which needs far less memory than a set of names.
    std::vector<const ListedSet*> byName;
    for (const ListedSet& set : listed) {
        if (set.nameInCodepage) {
            byName.push_back(&set);
        }
    }
    std::sort(byName.begin(), byName.end(), [](const ListedSet* a, const ListedSet* b) {
        return a->name != b->name ? a->name < b->name : a < b;
    });
    std::vector<bool> repeated(listed.size());
    for (size_t i = 1; i < byName.size(); ++i) {
        if (byName[i]->name == byName[i - 1]->name) {
            repeated[static_cast<size_t>(byName[i] - listed.data())] = true;
        }
    }
    byName = std::vector<const ListedSet*>();
    chosenNames->reserve(listed.size());
    for (size_t i = 0; i < listed.size(); ++i) {
        if (!listed[i].nameInCodepage) {
            unconvertible->push_back(NotInCodepage(listed[i], codepage));
        } else if (!repeated[i]) {
            chosenNames->push_back(listed[i].name);
        }
    }
}

// Chooses the sets to convert: every listed one, or the named ones in the order given (each
// once, spelled as listed). A set whose listed name is not its own is not chosen but added to
// *unconvertible: converting that name would open another set, or none; a requested name
// matches such a set only when no set has it as its own. Returns false, printing each unknown
// name, when one is not listed.
bool ChooseSets(const std::vector<ListedSet>& listed, const CliOptions& options,
                const Codepage& codepage, std::vector<std::string>* chosenNames,
                std::vector<SetNotConverted>* unconvertible) {
    if (options.setNames.empty()) {
        ChooseEverySet(listed, codepage, chosenNames, unconvertible);
        return true;
    }
    std::unordered_set<std::string> chosen;
    bool allKnown = true;
    std::vector<const ListedSet*> reported;
    for (const std::string& requested : options.setNames) {
        const ListedSet* match = nullptr;
        for (const ListedSet& set : listed) {
            // Registry names match regardless of ASCII case.
            if (EqualsAsciiNoCase(DisplayName(set.name, codepage), requested) &&
                (match == nullptr || (!match->nameInCodepage && set.nameInCodepage))) {
                match = &set;
            }
        }
        if (match == nullptr) {
            PrintError("no set named \"" + requested +
                       "\" in the settings (--list shows their names)");
            allKnown = false;
        } else if (match->nameInCodepage) {
            if (chosen.insert(match->name).second) {
                chosenNames->push_back(match->name);
            }
        } else if (!Contains(reported, match)) {
            reported.push_back(match);
            unconvertible->push_back(NotInCodepage(*match, codepage));
        }
    }
    return allKnown;
}

}  // namespace

bool ListSettingsSets(SettingsStore& store, const char** rootPath, std::vector<ListedSet>* sets,
                      bool* complete, std::string* error) {
    if (!ListSetNames(store, rootPath, sets, complete)) {
        *error = std::string("no settings found: neither HKEY_LOCAL_MACHINE\\") +
                 kSettingsRootPaths[0] + " nor HKEY_LOCAL_MACHINE\\" + kSettingsRootPaths[1] +
                 " exists";
        return false;
    }
    if (!*complete) {
        PrintError(std::string("not every set under HKEY_LOCAL_MACHINE\\") + *rootPath +
                   " could be listed: some may be missing");
    }
    return true;
}

int RunConversion(SettingsStore& store, const char* rootPath, const std::vector<ListedSet>& listed,
                  const CliOptions& options, const Codepage& codepage,
                  const Codepage* fileNamesCodepage) {
    const std::string directory =
        WithoutTrailingSeparators(options.outputDirectory, fileNamesCodepage);
    BatchRequest request;
    request.rootPath = rootPath;
    request.directory = directory;
    request.namesCodepage = &codepage;
    request.fileNamesCodepage = fileNamesCodepage;
    std::vector<SetNotConverted> unconvertible;
    if (!ChooseSets(listed, options, codepage, &request.setNames, &unconvertible)) {
        return kExitUnreadable;
    }
    std::string error;
    bool directoryReady = true;
    if (options.dryRun) {
        directoryReady = DirectoriesCanBeMade(directory, fileNamesCodepage, &error);
    } else if (!options.toStdout) {
        directoryReady = MakeDirectories(directory, fileNamesCodepage, &error);
    }
    if (!directoryReady) {
        PrintError(error);
        return kExitIncomplete;
    }

    RecipeFileTarget files(&codepage);
    StdoutRecipeTarget printed;
    PreviewTarget previewed(codepage, options.dryRun ? nullptr : &files, options.diff);
    RecipeTarget* target = &files;
    if (options.toStdout) {
        target = &printed;
    } else if (options.dryRun || options.diff) {
        target = &previewed;
    }
    SkippedRulesPrinter explainer(codepage, !options.toStdout);
    if (options.explain) {
        request.skippedRules = &explainer;
    }
    BatchReport report;
    if (!ConvertSelectedSets(store, request, *target, &report, &error)) {
        PrintError(error);
        return kExitUnreadable;
    }
    report.notConverted.insert(report.notConverted.end(), unconvertible.begin(),
                               unconvertible.end());
    std::string outputError;
    const bool outputWritten = FinishStdout(&outputError);
    if (options.dryRun) {
        PrintPreviewReport(report, previewed.counts(), directory, codepage);
    } else if (options.toStdout && !outputWritten) {
        PrintSetProblems(report, codepage);  // no recipe was printed whole
    } else {
        PrintBatchReport(report, directory, options.toStdout, codepage);
    }
    if (!outputWritten) {
        PrintError(outputError);
        return kExitUnreadable;
    }
    return report.notConverted.empty() && report.finishError.empty() ? kExitConverted
                                                                     : kExitIncomplete;
}

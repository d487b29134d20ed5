// rcpconv: converts saved instrument settings into recipe files from the command line.
#include <string>
#include <vector>

#include "cli/console_output.h"
#include "cli/conversion_run.h"
#include "cli/options.h"
#include "cli/settings_source.h"
#include "conversion/frequency_index.h"
#include "sources/offline_store.h"
#include "text/codepage.h"

namespace {

// --list: the names, and with --verbose where each set comes from.
void PrintList(const OpenedSettings& opened, const std::vector<ListedSet>& sets,
               const CliOptions& options, const Codepage& codepage) {
    if (!options.verbose) {
        PrintSetNames(sets, codepage);
        return;
    }
    std::vector<SetOrigin> origins;
    std::string machine;
    std::string store;
    if (opened.offline != nullptr) {
        for (const ListedSet& set : sets) {
            origins.push_back(opened.offline->OriginOfSet(set));
        }
        machine = opened.offline->machineSource();
        store = opened.offline->virtualStoreSource();
    }
    PrintSetNamesWithOrigins(sets, origins, machine, store, codepage);
}

// exitCode, or kExitUnreadable with a message when what went to stdout could not be written.
int CheckedExit(int exitCode) {
    std::string error;
    if (FinishStdout(&error)) {
        return exitCode;
    }
    PrintError(error);
    return kExitUnreadable;
}

}  // namespace

int main(int argc, char** argv) {
    CliOptions options;
    int exitCode = kExitConverted;
    if (!ParseCommandLine(argc, argv, &options, &exitCode)) {
        return CheckedExit(exitCode);  // the help and the version go to stdout
    }
    std::string error;
    Codepage codepage;
    if (!codepage.Open(options.codepage, &error)) {
        PrintError(error);
        return kExitUnreadable;
    }
    // Windows names files in its ANSI code page; elsewhere file names are UTF-8.
    Codepage systemCodepage;
    std::string noSystemCodepage;
    const Codepage* fileNamesCodepage =
        OpenSystemCodepage(&systemCodepage, &noSystemCodepage) ? &systemCodepage : nullptr;
    // The live registry hands out its names and texts in this PC's code page, whatever the
    // option says.
    if (options.sources.empty() && fileNamesCodepage != nullptr &&
        !codepage.Open(systemCodepage.name(), &error)) {
        PrintError(error);
        return kExitUnreadable;
    }
    OpenedSettings opened;
    const char* rootPath = nullptr;
    std::vector<ListedSet> sets;
    bool listedAll = true;
    if (!OpenSettingsSource(options, codepage, &opened, &error) ||
        !ListSettingsSets(*opened.store, &rootPath, &sets, &listedAll, &error)) {
        PrintError(error);
        return kExitUnreadable;
    }

    if (options.list) {
        PrintList(opened, sets, options, codepage);
        exitCode = CheckedExit(kExitConverted);
    } else {
        BuildFrequencyTable();
        exitCode =
            RunConversion(*opened.store, rootPath, sets, options, codepage, fileNamesCodepage);
    }
    return exitCode == kExitConverted && (opened.skipped || !listedAll) ? kExitIncomplete
                                                                        : exitCode;
}

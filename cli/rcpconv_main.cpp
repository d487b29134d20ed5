// rcpconv: converts saved instrument settings into recipe files from the command line.
#include <memory>
#include <string>
#include <vector>

#include "cli/console_output.h"
#include "cli/conversion_run.h"
#include "cli/options.h"
#include "cli/settings_source.h"
#include "conversion/frequency_index.h"
#include "settings/codepage.h"

int main(int argc, char** argv) {
    CliOptions options;
    int exitCode = kExitConverted;
    if (!ParseCommandLine(argc, argv, &options, &exitCode)) {
        return exitCode;
    }
    std::string error;
    Codepage codepage;
    if (!codepage.Open(options.codepage, &error)) {
        PrintError(error);
        return kExitUnreadable;
    }
    bool malformedLines = false;
    std::unique_ptr<SettingsStore> store =
        OpenSettingsSource(options, codepage, &malformedLines, &error);
    const char* rootPath = nullptr;
    std::vector<ListedSet> sets;
    bool listedAll = true;
    if (store == nullptr || !ListSettingsSets(*store, &rootPath, &sets, &listedAll, &error)) {
        PrintError(error);
        return kExitUnreadable;
    }

    if (options.list) {
        PrintSetNames(sets, codepage);
        exitCode = kExitConverted;
    } else {
        BuildFrequencyTable();
        exitCode = RunConversion(*store, rootPath, sets, options, codepage);
    }
    return exitCode == kExitConverted && (malformedLines || !listedAll) ? kExitIncomplete
                                                                        : exitCode;
}

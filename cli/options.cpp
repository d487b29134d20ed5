// Option parsing for rcpconv with CLI11.
#include "cli/options.h"

#include <CLI/CLI.hpp>

bool ParseCommandLine(int argc, char** argv, CliOptions* options, int* exitCode) {
    CLI::App app("Converts saved QZ7165 measurement setups into Wafrline recipe files (.rcp).",
                 "rcpconv");
    app.set_version_flag("--version", "rcpconv " RC_VERSION);
    app.add_option("EXPORT", options->exportPath,
                   "Registry export (.reg) of the settings; without it, the live registry "
                   "(Windows only)");
    app.add_option("-o,--output", options->outputDirectory,
                   "Directory for the recipes, created with its parents if missing")
        ->capture_default_str();
    CLI::Option* sets =
        app.add_option("-s,--set", options->setNames,
                       "Convert only this set (repeatable; converted in the order given)")
            ->allow_extra_args(false)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    CLI::Option* list =
        app.add_flag("-l,--list", options->list, "Print the set names in listing order and stop")
            ->excludes(sets);
    CLI::Option* toStdout =
        app.add_flag("--stdout", options->toStdout,
                     "Print each recipe as a new file would hold it, after a line \"; NAME.rcp\", "
                     "instead of writing files")
            ->excludes(list);
    app.add_flag("-n,--dry-run", options->dryRun,
                 "Change nothing, not even the output directory: tell for each set whether its "
                 "recipe would be created, updated (how many entries change) or left unchanged")
        ->excludes(list)
        ->excludes(toStdout);
    app.add_flag("--diff", options->diff,
                 "Print a unified diff of each recipe that changes, old against new, for "
                 "\"patch -p1 --binary\" in the output directory")
        ->excludes(list)
        ->excludes(toStdout);
    app.add_flag("--explain", options->explain,
                 "Tell for each set which entries were not written and why; an existing recipe "
                 "keeps its old value for them")
        ->excludes(list);
    app.add_option("--codepage", options->codepage,
                   "ANSI code page of the Windows machine the settings come from")
        ->capture_default_str();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        // Help and version end the run successfully; every other parse failure is a usage error.
        *exitCode =
            code == static_cast<int>(CLI::ExitCodes::Success) ? kExitConverted : kExitUnreadable;
        return false;
    }
    return true;
}

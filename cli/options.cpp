// Option parsing for rcpconv with CLI11.
#include "cli/options.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <sstream>

#include "cli/console_output.h"

bool ParseCommandLine(int argc, char** argv, CliOptions* options, int* exitCode) {
    CLI::App app("Converts saved QZ7165 measurement setups into Wafrline recipe files (.rcp).",
                 "rcpconv");
    app.set_version_flag("--version", "rcpconv " RC_VERSION);
    app.add_option("SOURCE", options->sources,
                   "Where the settings are: registry exports (.reg) and, in the Linux build, "
                   "registry hive files (a SOFTWARE hive, a user's UsrClass.dat) read with the "
                   "transaction logs beside them, told apart by their content. Several are "
                   "merged as the 32-bit instrument software saw "
                   "them: the machine's settings and one user's virtual store. Without any, "
                   "the live registry (Windows only)");
    app.add_option("-o,--output", options->outputDirectory,
                   "Directory for the recipes, created with its parents if missing")
        ->capture_default_str();
    CLI::Option* sets =
        app.add_option("-s,--set", options->setNames,
                       "Convert only this set (repeatable; converted in the order given)")
            ->allow_extra_args(false)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    CLI::Option* list =
        app.add_flag("-l,--list", options->list,
                     "Print the set names in the registry's order (names compared upper-cased) "
                     "and stop")
            ->excludes(sets);
    app.add_flag("-v,--verbose", options->verbose,
                 "With --list: after each name, a tab and where the set comes from (the "
                 "machine's settings, the user's virtual store, or both)")
        ->needs(list);
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
                   "ANSI code page of the Windows machine the settings come from (the live "
                   "registry gives them in this PC's)")
        ->capture_default_str();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Through rcpconv's own writers, so that a failed write of the help is seen.
        std::ostringstream out;
        std::ostringstream err;
        const int code = app.exit(e, out, err);
        WriteStdoutText(out.str());
        std::fputs(err.str().c_str(), stderr);
        // Help and version end the run successfully; every other parse failure is a usage error.
        *exitCode =
            code == static_cast<int>(CLI::ExitCodes::Success) ? kExitConverted : kExitUnreadable;
        return false;
    }
    return true;
}

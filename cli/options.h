// The command line of rcpconv and its parsing.
#pragma once

#include <string>
#include <vector>

// Exit codes of rcpconv.
constexpr int kExitConverted = 0;  // every requested set converted
constexpr int kExitIncomplete =
    1;  // a set not converted or listed, or something skipped in a source
// A usage error, settings that cannot be read, or stdout that cannot be written.
constexpr int kExitUnreadable = 2;

struct CliOptions {
    std::vector<std::string> sources;  // exports and hive files; none for the live registry
    std::string outputDirectory = "Recipes";
    std::vector<std::string> setNames;  // as given; empty for every set
    bool list = false;
    bool verbose = false;  // --list also says where each set comes from
    bool toStdout = false;
    bool dryRun = false;   // write nothing; tell what a run would do to each recipe
    bool diff = false;     // print a unified diff of each recipe that changes
    bool explain = false;  // tell why each entry that was not written was not
    std::string codepage = "Windows-1252";
};

// Parses argv into *options. Returns true to go on; false when the run ends here (help,
// version, or a usage error already printed), with the exit code in *exitCode.
bool ParseCommandLine(int argc, char** argv, CliOptions* options, int* exitCode);

// The command line of rcpconv and its parsing.
#pragma once

#include <string>
#include <vector>

// Exit codes of rcpconv.
constexpr int kExitConverted = 0;   // every requested set converted
constexpr int kExitIncomplete = 1;  // a set not converted or listed, or malformed export lines
constexpr int kExitUnreadable = 2;  // a usage error, or settings that cannot be read

struct CliOptions {
    std::string exportPath;  // "" for the live registry
    std::string outputDirectory = "Recipes";
    std::vector<std::string> setNames;  // as given; empty for every set
    bool list = false;
    bool toStdout = false;
    std::string codepage = "Windows-1252";
};

// Parses argv into *options. Returns true to go on; false when the run ends here (help,
// version, or a usage error already printed), with the exit code in *exitCode.
bool ParseCommandLine(int argc, char** argv, CliOptions* options, int* exitCode);

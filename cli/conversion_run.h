// The two jobs of rcpconv on an open store: listing the sets, and converting them.
#pragma once

#include <string>
#include <vector>

#include "registry/settings_store.h"

class Codepage;
struct CliOptions;

// Finds the settings root and lists its sets in listing order, printing a warning when some
// may be missing (*complete false then). Returns false with *error when the store has no
// settings root.
bool ListSettingsSets(SettingsStore& store, const char** rootPath, std::vector<ListedSet>* sets,
                      bool* complete, std::string* error);

// Converts the sets the options choose (every listed set when none is named, each name once)
// into the output directory, or onto stdout, and prints the outcome. A set whose listed name is
// not its own (see EnumStatus::kNameNotInCodepage) is reported as not converted. codepage is
// that of the settings; fileNamesCodepage that of this system's file names, or null for UTF-8.
// Returns the exit code: kExitUnreadable when what it printed on stdout could not be written.
int RunConversion(SettingsStore& store, const char* rootPath, const std::vector<ListedSet>& listed,
                  const CliOptions& options, const Codepage& codepage,
                  const Codepage* fileNamesCodepage);

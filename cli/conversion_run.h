// The two jobs of rcpconv on an open store: listing the sets, and converting them.
#pragma once

#include <string>
#include <vector>

#include "settings/settings_store.h"

class Codepage;
struct CliOptions;

// Finds the settings root and lists its sets in listing order. Returns false with *error when
// the store has no settings root.
bool ListSettingsSets(SettingsStore& store, const char** rootPath,
                      std::vector<std::string>* setNames, std::string* error);

// Converts the sets the options choose (every listed set when none is named) into the output
// directory, or onto stdout, and prints the outcome. Returns the exit code.
int RunConversion(SettingsStore& store, const char* rootPath,
                  const std::vector<std::string>& listed, const CliOptions& options,
                  const Codepage& codepage);

// Where rcpconv reads the settings from: a registry export, or the live registry on Windows.
#pragma once

#include <memory>
#include <string>

#include "settings/settings_store.h"

class Codepage;
struct CliOptions;

// Opens the settings named by the options: the export when one is given (its skipped lines
// printed to stderr, and *malformedLines set when there were any), else the live registry.
// Returns the store, or null with *error (one line for the user) when there is none to read.
std::unique_ptr<SettingsStore> OpenSettingsSource(const CliOptions& options,
                                                  const Codepage& codepage, bool* malformedLines,
                                                  std::string* error);

// The live registry of this machine, or null with *error where there is none.
std::unique_ptr<SettingsStore> OpenLiveRegistry(std::string* error);

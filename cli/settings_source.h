// Where rcpconv reads the settings from: exports and hive files, or the live registry on Windows.
#pragma once

#include <memory>
#include <string>

#include "registry/settings_store.h"

class Codepage;
class OfflineSettingsStore;
struct CliOptions;

struct OpenedSettings {
    std::unique_ptr<SettingsStore> store;
    const OfflineSettingsStore* offline = nullptr;  // the store when it reads sources
    bool skipped = false;  // a source had something left out: malformed lines, a value
};

// Opens the settings named by the options: the sources when any are given (what they report
// printed to stderr, before any error), else the live registry. Returns false with *error (one
// line for the user) when there is nothing to read.
bool OpenSettingsSource(const CliOptions& options, const Codepage& codepage, OpenedSettings* opened,
                        std::string* error);

// The live registry of this machine, or null with *error where there is none.
std::unique_ptr<SettingsStore> OpenLiveRegistry(std::string* error);

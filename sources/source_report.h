// What the user is told about the sources of a run: why their merged view holds no settings, and
// which of them add nothing to it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sets/source_settings.h"
#include "sources/source_readers.h"

using SourceList = std::vector<std::unique_ptr<SourceSettings>>;

// The sources of a run as the merge sees them: paths[i] names sources[i]; machine and store are
// the indexes of the one source holding the machine's settings and the one holding a virtual
// store (sources.size() where none does).
struct SourceMerge {
    const std::vector<std::string>& paths;
    const SourceList& sources;
    size_t machine;
    size_t store;
    SettingsView view;  // the view the run uses
};

// "A", "A, B" for a message.
std::string PathList(const std::vector<std::string>& paths);

// One line for the user saying why the merged view holds no settings root.
std::string NoSettingsMessage(const SourceMerge& merge);

// Appends a warning, as a skipped part of a source, for each source the run reads nothing from:
// one that holds no settings, or whose settings lie only in the view the run does not use or
// under a root path other than root (the index of the one in use), saying why.
void ReportUnusedSources(const SourceMerge& merge, size_t root,
                         std::vector<SourceWarning>* warnings);

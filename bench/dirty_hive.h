// The benchmark's hive not closed cleanly: a big hive with its new-format transaction logs.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Writes into directory a copy of the hive at hivePath that was not closed cleanly (its
// sequence numbers 256 and 255) as SOFTWARE, and its logs: SOFTWARE.LOG2 holding the earlier
// entries, SOFTWARE.LOG1 the later ones, logBytes in all. The entries rewrite 1 MB runs of the
// hive's bins as they stand; the last one adds the set settingsSet below settingsPath (names
// from the top key). Returns false with *error.
bool WriteDirtyHive(const std::string& hivePath, const std::string& directory, size_t logBytes,
                    const std::vector<std::string>& settingsPath, const std::string& settingsSet,
                    std::string* error);

// Transaction logs named as sources, as a shell glob such as SOFTWARE* gives them with their hive.
#pragma once

#include <string>
#include <vector>

// Copies into *sources the paths that are settings sources: every one but the transaction logs
// (files whose base block says so) of the hives among paths and the empty files named as such
// logs (Windows leaves HIVE.LOG empty), which are read with their hive. Returns false with *error
// (one line for the user) when a log is not beside a hive on the line under a log's name.
bool LeaveOutHiveLogs(const std::vector<std::string>& paths, std::vector<std::string>* sources,
                      std::string* error);

// The names of a hive's transaction logs: the hive's file name with .LOG1, .LOG2 or (Windows XP)
// .LOG, beside it; copies from a Windows disk come in any case, so case is ignored.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The logs of a hive, in the order Windows tries them.
constexpr const char* kHiveLogSuffixes[] = {".LOG1", ".LOG2", ".LOG"};
constexpr size_t kHiveLogCount = sizeof kHiveLogSuffixes / sizeof kHiveLogSuffixes[0];
constexpr size_t kXpLog = 2;  // HIVE.LOG: Windows XP's only log, left empty by later versions

// Whether fileName names the log of the hive file hiveName with kHiveLogSuffixes[slot].
bool IsHiveLogName(std::string_view hiveName, std::string_view fileName, size_t slot);

// Whether fileName names a file of the transactional registry that Windows keeps beside the hive
// file hiveName: HIVE{GUID}.TM.blf and HIVE{GUID}.TMContainerNNN.regtrans-ms. They hold no
// settings.
bool IsHiveTransactionFileName(std::string_view hiveName, std::string_view fileName);

// The name of the hive whose log fileName names, or "" when it ends in none of the suffixes.
std::string HiveNameOfLog(std::string_view fileName);

// path split into its directory, with the separator ("" for none), and its file name.
void SplitPath(const std::string& path, std::string* directory, std::string* fileName);

// Measuring the listing of a source, and (hive_list_bench compare) the listing of a dirty hive
// with its logs against the clean hive's.
#pragma once

#include <cstdint>
#include <string>

// What loading a file and listing its sets took.
struct Measurement {
    bool loaded = false;
    size_t sets = 0;
    double seconds = 0;
    long peakRssKilobytes = 0;
    long peakAnonKilobytes = 0;
    long anonBeforeKilobytes = 0;
    long peakMemoryKilobytes = 0;  // resident and in memory files, sampled
};

// Loads the file at path as rcpconv does and lists its sets, printing its warnings to stderr.
Measurement Measure(const char* path);

double Megabytes(double kilobytes);
uint64_t FileBytes(const std::string& path);

// Lists directory/SOFTWARE and directory/dirty/SOFTWARE, each in a process of its own running
// "hive_list_bench measure FILE", and copies directory/SOFTWARE into memory, trials times after
// one round that warms the caches; prints the medians, the ratio of the dirty listing's time to
// the clean one's plus the copy's, and the dirty listing's peak memory against the hive's size
// plus the logs' plus 20 MB. Returns 0 when both are within their budgets, 1 otherwise.
int CompareListings(const std::string& directory, int trials);

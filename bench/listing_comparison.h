// hive_list_bench compare: the listing of a dirty hive with its logs against the clean hive's.
#pragma once

#include <string>

// Lists directory/SOFTWARE and directory/dirty/SOFTWARE, each in a process of its own running
// "hive_list_bench measure FILE", and copies directory/SOFTWARE into memory, trials times after
// one round that warms the caches; prints the medians, the ratio of the dirty listing's time to
// the clean one's plus the copy's, and the dirty listing's peak memory against the hive's size
// plus the logs' plus 20 MB. Returns 0 when both are within their budgets, 1 otherwise.
int CompareListings(const std::string& directory, int trials);

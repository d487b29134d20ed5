// Whether two paths name one file, as the system tells files apart.
#pragma once

#include <string>

// Returns true when the paths a and b lead to one and the same file, however they spell it
// (another name of its directory, a link, a hard link); false when they lead to two files, or
// either cannot be looked at.
bool IsSameFile(const std::string& a, const std::string& b);

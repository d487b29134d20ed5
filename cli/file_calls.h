// The few file-system calls rcpconv makes itself on the paths it is given, one implementation
// per platform.
#pragma once

#include <string>

// What is at path: returns 0, *directory telling whether it is a directory, when something is
// there; else the errno that says why not (ENOENT when nothing is).
int LookAt(const std::string& path, bool* directory);

// Creates the one directory path, its parent being there. Returns 0, or the errno that says why
// not.
int MakeOneDirectory(const std::string& path);

// Returns true when a directory could be made in the existing directory parent, as far as the
// platform tells without making one.
bool CanCreateIn(const std::string& parent);

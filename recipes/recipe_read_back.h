// Checks a recipe the profile-string service wrote against what it was asked to write.
//
// The service may report success and still leave a file short: on a full disk a new recipe can
// stay empty and a rewritten one be cut at a page. These checks compare what the file holds
// afterwards with what it should hold, in the terms the service itself reads a file in, so that
// a service that re-writes the whole file in its own form (Wine's) agrees with one that edits it
// in place (Windows').
#pragma once

#include <string>

#include "recipes/recipe_entries.h"

// Returns true when readBack, what GetPrivateProfileString gives for a key, is the text that was
// written to it: the service reads a value without the blanks around it and without one pair of
// quotes (" or ') that encloses it.
bool ReadBackMatches(const char* written, const std::string& readBack);

// Returns true when after, the bytes of a recipe once entries were written to it, holds the
// lines of before (its bytes before the writes; "" for a new recipe) that the writes did not
// concern, in the same order, and besides them only lines of the written keys and the headings
// of the sections the writes added. Lines are compared as the service reads them: blank lines,
// blanks around a line, a key and its value, and text after a section's closing bracket do not
// count. Otherwise returns false with *difference, naming the first line that differs.
bool KeepsOtherLines(const std::string& before, const std::string& after,
                     const RecipeEntryList& entries, std::string* difference);

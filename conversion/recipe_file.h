// Writes one recipe's entries into its file, creating or updating it.
#pragma once

#include <string>

#include "conversion/recipe_entries.h"

class Codepage;

// Applies entries to the recipe file at path as WritePrivateProfileStringA would, one after
// the other: creates the file when it is missing and entries is not empty; otherwise edits it
// in place. On Windows each entry goes through WritePrivateProfileStringA, a failed one not
// stopping the rest (see WriteEachEntry); elsewhere the whole set is applied in memory and the
// file replaced atomically, and left untouched when nothing changes; there a link is followed
// only to a file in its own directory, and any other link is an error that touches nothing.
// codepage is the ANSI code page of the entries, for a recipe that is UTF-8 text; on Windows the
// service converts with the system's own and it may be null. Returns true on success; false
// with *error saying why.
bool WriteRecipeFile(const char* path, const RecipeEntryList& entries, const Codepage* codepage,
                     std::string* error);

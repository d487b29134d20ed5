// What converting a set would do to its recipe file, worked out without touching anything.
#pragma once

#include <cstddef>
#include <string>

#include "recipes/recipe_entries.h"
#include "recipes/recipe_file.h"

class Codepage;

enum class RecipeChange {
    kCreate,     // no file yet: it would be made
    kUpdate,     // the file would be edited
    kUnchanged,  // every entry already has its value: the file would not be written
};

struct RecipePreview {
    RecipeChange change;
    size_t changedEntries;   // entries that change the text; every entry of a new file
    RecipeFileBytes before;  // the file as the writer finds it
    std::string after;       // the bytes the file would hold
};

// Works out with the portable INI editor what writing entries (not empty) into the recipe at
// path would do: what RecipeFileWriter makes of it where it uses that editor, and what Windows'
// profile-string service makes of a file in its own form. Refuses as the writer would a file
// it cannot read or edit, or could not write (see CheckRecipeWritable). codepage is the ANSI
// code page of the entries. Returns true with *preview; false with *error, one line for the
// user.
bool PreviewRecipeFile(const std::string& path, const RecipeEntryList& entries,
                       const Codepage& codepage, RecipePreview* preview, std::string* error);

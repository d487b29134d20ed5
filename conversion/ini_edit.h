// Edits INI text in memory the way the profile-string service edits a file.
#pragma once

#include <string>

#include "conversion/recipe_entries.h"

enum class IniEditStatus {
    kChanged,      // text now holds the edited file
    kUnchanged,    // every entry already had its value; text is as it was
    kNotEditable,  // the text is UTF-16 (byte-order mark); text is as it was
};

// Applies entries, in order, to text, the bytes of an existing file ("" for a new one).
// Returns what happened.
IniEditStatus ApplyIniEntries(std::string* text, const RecipeEntryList& entries);

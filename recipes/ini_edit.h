// Edits INI text in memory the way the profile-string service edits a file.
#pragma once

#include <cstddef>
#include <string>

#include "recipes/recipe_entries.h"

class Codepage;

enum class IniEditStatus {
    kChanged,        // text now holds the edited file
    kUnchanged,      // every entry already had its value; text is as it was
    kNotEditable,    // the text is UTF-16 (byte-order mark); text is as it was
    kUnconvertible,  // a UTF-8 file, and an entry holds a byte codepage leaves undefined
};

// Applies entries, in order, to text, the bytes of an existing file ("" for a new one). The
// entries are in codepage, the ANSI code page; a file that starts with a UTF-8 byte-order mark
// gets them converted to UTF-8, as the profile-string service converts them. When the edit is
// made and changedEntries is not null, it gets the number of entries that changed the text (a
// key given the value it already had does not). Returns what happened.
IniEditStatus ApplyIniEntries(std::string* text, const RecipeEntryList& entries,
                              const Codepage& codepage, size_t* changedEntries = nullptr);

// Why ApplyIniEntries refused to edit the file at path (status kNotEditable or kUnconvertible).
std::string IniEditRefusal(IniEditStatus status, const std::string& path, const Codepage& codepage);

// Returns true when text, the bytes of an INI file, holds key in section where a write of it
// would find it (the first matching section, names compared as a write compares them); false
// when it does not, or the text is UTF-16.
bool IniHasEntry(const std::string& text, const char* section, const char* key);

// The text ApplyIniEntries makes of entries on an empty file, built in one pass: the sections
// in the order of their first entry, each entry once, a later write of a key replacing its
// value. Sections and keys are names as the conversion table has them: no line breaks, '='
// or ']' in them.
std::string NewIniText(const RecipeEntryList& entries);

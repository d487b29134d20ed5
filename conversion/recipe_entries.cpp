// The in-memory list of one recipe's entries, and writing them one by one.
#include "conversion/recipe_entries.h"

void RecipeEntryList::WriteEntry(const char* section, const char* key, const char* text) {
    if (count_ == kMaxRecipeEntries) {
        return;  // the conversion table cannot yield more; nothing to keep beyond it
    }
    RecipeEntry& entry = entries_[count_++];
    entry.section = section;
    entry.key = key;
    CopyBounded(entry.text, sizeof entry.text, text);
}

bool WriteEachEntry(const RecipeEntryList& entries, const char* path, RecipeEntryWrite write,
                    std::string* error) {
    bool allWritten = true;
    for (const RecipeEntry& entry : entries) {
        std::string reason;
        if (write(entry, path, &reason) || !allWritten) {
            continue;
        }
        allWritten = false;
        *error = std::string("cannot write [") + entry.section + "] " + entry.key + " to " + path +
                 ": " + reason;
    }
    return allWritten;
}

// The in-memory list of one recipe's entries.
#include "recipes/recipe_entries.h"

void RecipeEntryList::WriteEntry(const char* section, const char* key, const char* text) {
    if (count_ == kRecipeEntryCapacity) {
        return;  // the conversion table cannot yield more; nothing to keep beyond it
    }
    RecipeEntry& entry = entries_[count_++];
    entry.section = section;
    entry.key = key;
    CopyBounded(entry.text, sizeof entry.text, text);
}

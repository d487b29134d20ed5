// Turns one saved settings set into the entries of its recipe.
#pragma once

#include "conversion/recipe_entries.h"
#include "settings/settings_store.h"

// Runs the conversion rules in order on an open set, reading through store and writing each
// resulting entry to writer. Absent values silence only their own rule. Needs
// BuildFrequencyTable to have run. No result.
void ConvertSettingsSet(SettingsStore& store, SettingsKey set, RecipeWriter& writer);

// Recipe previews: the file read as the writer reads it, the edit made in memory only.
#include "recipes/recipe_preview.h"

#include "recipes/ini_edit.h"
#include "text/codepage.h"

bool PreviewRecipeFile(const std::string& path, const RecipeEntryList& entries,
                       const Codepage& codepage, RecipePreview* preview, std::string* error) {
    if (!ReadRecipeFile(path.c_str(), &preview->before, error) ||
        (preview->before.exists && FindInterruptedRewrite(path.c_str(), error))) {
        return false;
    }
    preview->after = preview->before.text;
    preview->changedEntries = 0;
    const IniEditStatus status =
        ApplyIniEntries(&preview->after, entries, codepage, &preview->changedEntries);
    switch (status) {
        case IniEditStatus::kNotEditable:
        case IniEditStatus::kUnconvertible:
            *error = IniEditRefusal(status, path, codepage);
            return false;
        case IniEditStatus::kUnchanged:
            preview->change = RecipeChange::kUnchanged;
            return true;
        case IniEditStatus::kChanged:
            break;
    }
    preview->change = preview->before.exists ? RecipeChange::kUpdate : RecipeChange::kCreate;
    return CheckRecipeWritable(path.c_str(), error);
}

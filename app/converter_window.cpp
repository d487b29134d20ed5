// The converter dialog: start-up state, the dialog procedure and the commands but Convert.
#include "app/converter_window.h"

#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/resource.h"
#include "settings/registry_store_win32.h"

ConverterState g_converter;

const char kMainDialogTemplate[] = "DIAL";

namespace {

// GetModuleFileNameA gets more room than any path whose directory could still take
// "\Recipes" within kMaxDirectoryChars, so a long path is seen whole and refused, not cut.
constexpr DWORD kModulePathChars = 1024;

const char kBrowseTitle[] = "Highlight the folder to receive Recipes";

// Says, once the list is filled, that the registry failed before the end of the list.
void ShowListIncomplete(HWND dialog) {
    const std::string text =
        std::string("Not every set of settings under HKEY_LOCAL_MACHINE\\") +
        g_converter.settingsRoot +
        " could be read from the registry, so some may be missing from the list.\nStart the "
        "program again to read them afresh.";
    ShowMessage(dialog, text.c_str(), "Settings list incomplete");
}

BOOL OnInitDialog(HWND dialog) {
    SetDlgItemTextA(dialog, IDC_RECIPE_DIR, g_converter.recipeDirectory);

    RegistrySettingsStore store;
    std::vector<ListedSet> sets;
    bool listedAll = true;
    if (!ListSetNames(store, &g_converter.settingsRoot, &sets, &listedAll)) {
        g_converter.settingsRoot = nullptr;
        ShowMessage(dialog, "No Registry entries found", "Error");
        return TRUE;
    }
    for (const ListedSet& set : sets) {
        SendDlgItemMessageA(dialog, IDC_SET_LIST, LB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(set.name.c_str()));
    }
    if (!listedAll) {
        ShowListIncomplete(dialog);
    }
    // TRUE puts the focus on the first tab stop, Convert.
    return TRUE;
}

void OnSelectAll(HWND dialog) {
    SendDlgItemMessageA(dialog, IDC_SET_LIST, LB_SETSEL, TRUE, -1);
}

// Lets the user pick the folder. Only a file-system path that fits RecipeDirectory replaces
// it; anything else leaves the directory as it was.
void OnSelectDir(HWND dialog) {
    char displayName[MAX_PATH];
    BROWSEINFOA request = {};
    request.hwndOwner = dialog;
    request.pidlRoot = nullptr;
    request.pszDisplayName = displayName;
    request.lpszTitle = kBrowseTitle;
    request.ulFlags = BIF_RETURNONLYFSDIRS;

    LPITEMIDLIST item = SHBrowseForFolderA(&request);
    if (item == nullptr) {
        return;
    }
    char path[MAX_PATH];
    const BOOL isFileSystemPath = SHGetPathFromIDListA(item, path);
    CoTaskMemFree(item);
    if (!isFileSystemPath) {
        return;
    }
    if (std::strlen(path) > kMaxDirectoryChars) {
        const std::string text = "The path of this folder is longer than " +
                                 std::to_string(kMaxDirectoryChars) + " characters:\n\n" + path +
                                 "\n\nThe Recipes directory stays as it was.";
        ShowMessage(dialog, text.c_str(), "Directory not changed");
        return;
    }
    CopyBounded(g_converter.recipeDirectory, sizeof g_converter.recipeDirectory, path);
    SetDlgItemTextA(dialog, IDC_RECIPE_DIR, g_converter.recipeDirectory);
}

void OnClose() {
    PostQuitMessage(0);
}

// Only a notification code of 0 (a click, Enter or Escape) acts: the whole wParam is the id.
BOOL OnCommand(HWND dialog, WPARAM command) {
    switch (command) {
        case IDOK:
            OnConvert(dialog);
            return TRUE;
        case IDCANCEL:
            OnClose();
            return TRUE;
        case IDC_SELECT_ALL:
            OnSelectAll(dialog);
            return TRUE;
        case IDC_SELECT_DIR:
            OnSelectDir(dialog);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

bool SetDefaultRecipeDirectory(HINSTANCE instance) {
    g_converter.recipeDirectory[0] = '\0';
    char modulePath[kModulePathChars];
    const DWORD length = GetModuleFileNameA(instance, modulePath, sizeof modulePath);
    if (length == 0 || length >= sizeof modulePath) {
        return false;
    }
    char* lastBackslash = std::strrchr(modulePath, '\\');
    if (lastBackslash != nullptr) {
        *lastBackslash = '\0';
    }
    char directory[kModulePathChars + sizeof "\\Recipes"];
    const int written = snprintf(directory, sizeof directory, "%s\\Recipes", modulePath);
    if (written < 0 || static_cast<size_t>(written) >= sizeof directory) {
        return false;
    }
    if (!CopyBounded(g_converter.recipeDirectory, sizeof g_converter.recipeDirectory, directory)) {
        g_converter.recipeDirectory[0] = '\0';
        return false;
    }
    return true;
}

void ShowMessage(HWND owner, const char* text, const char* caption) {
    MessageBoxA(owner, text, caption, MB_OK);
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    // Nothing may unwind through the window manager's frames.
    try {
        switch (message) {
            case WM_INITDIALOG:
                return OnInitDialog(dialog);
            case WM_COMMAND:
                return OnCommand(dialog, wParam);
            default:
                return FALSE;
        }
    } catch (...) {
        ShowMessage(dialog, "Out of memory: the command was not completed.", "Error");
        return TRUE;
    }
}

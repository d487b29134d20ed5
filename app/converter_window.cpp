// The converter dialog: start-up state, the dialog procedure and the commands but Convert.
#include "app/converter_window.h"

#include <shlobj.h>

#include <string>
#include <utility>
#include <vector>

#include "app/resource.h"
#include "registry/registry_store_win32.h"

ConverterState g_converter;

const char kMainDialogTemplate[] = "DIAL";

namespace {

// GetModuleFileNameW gets more room than any path whose directory could still take
// "\Recipes" within kMaxDirectoryChars, so a long path is seen whole and refused, not cut.
constexpr DWORD kModulePathChars = 1024;

const char kBrowseTitle[] = "Highlight the folder to receive Recipes";
const char kDirectoryNotChanged[] = "Directory not changed";
const wchar_t kDirectoryStays[] = L"\n\nThe Recipes directory stays as it was.";

// Why a path cannot be the recipes directory.
enum class DirectoryFit {
    kFits,
    kTooLong,        // more than kMaxDirectoryChars characters
    kNotInCodepage,  // a character the system's code page lacks: the ANSI path names another
};

// Makes path the recipes directory when it fits (see DirectoryFit); else leaves it as it was.
DirectoryFit SetRecipeDirectory(const std::wstring& path) {
    if (path.size() > kMaxDirectoryChars) {
        return DirectoryFit::kTooLong;
    }
    std::string ansi;
    const std::u16string units(path.begin(), path.end());
    if (!g_converter.codepage.FromUtf16(units, &ansi)) {
        return DirectoryFit::kNotInCodepage;
    }
    CopyBounded(g_converter.recipeDirectory, sizeof g_converter.recipeDirectory, ansi.c_str());
    return DirectoryFit::kFits;
}

std::string OutsideCodepage() {
    return "characters outside this PC's code page (" +
           std::to_string(g_converter.codepage.number()) + ")";
}

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
    // A name the code page lacks characters of is shown as the set's own, not as the
    // look-alike the code page makes of it.
    for (const ListedSet& set : sets) {
        if (set.ownName.empty()) {
            SendDlgItemMessageA(dialog, IDC_SET_LIST, LB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(set.name.c_str()));
        } else {
            const std::wstring own(set.ownName.begin(), set.ownName.end());
            SendDlgItemMessageW(dialog, IDC_SET_LIST, LB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(own.c_str()));
        }
    }
    g_converter.sets = std::move(sets);
    if (!listedAll) {
        ShowListIncomplete(dialog);
    }
    // TRUE puts the focus on the first tab stop, Convert.
    return TRUE;
}

void OnSelectAll(HWND dialog) {
    SendDlgItemMessageA(dialog, IDC_SET_LIST, LB_SETSEL, TRUE, -1);
}

// Lets the user pick the folder. Only a file-system path that fits RecipeDirectory (see
// SetRecipeDirectory) replaces it; for anything else the user is told, and the directory stays.
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
    wchar_t path[MAX_PATH];
    const BOOL isFileSystemPath = SHGetPathFromIDListW(item, path);
    CoTaskMemFree(item);
    if (!isFileSystemPath) {
        ShowMessage(dialog,
                    L"The chosen item has no folder path Windows programs can use: it is not a "
                    L"folder on a disk, or its path is longer than " +
                        std::to_wstring(MAX_PATH - 1) + L" characters." + kDirectoryStays,
                    kDirectoryNotChanged);
        return;
    }
    switch (SetRecipeDirectory(path)) {
        case DirectoryFit::kFits:
            SetDlgItemTextA(dialog, IDC_RECIPE_DIR, g_converter.recipeDirectory);
            return;
        case DirectoryFit::kTooLong:
            ShowMessage(dialog,
                        L"The path of this folder is longer than " +
                            std::to_wstring(kMaxDirectoryChars) + L" characters:\n\n" + path +
                            kDirectoryStays,
                        kDirectoryNotChanged);
            return;
        case DirectoryFit::kNotInCodepage:
            ShowMessage(dialog,
                        L"The path of this folder has " + Widened(OutsideCodepage()) +
                            L", which the program cannot write to:\n\n" + path + kDirectoryStays,
                        kDirectoryNotChanged);
            return;
    }
}

void OnClose() {
    PostQuitMessage(0);
}

// Only a notification code of 0 (a click, Enter or Escape) acts: the whole wParam is the id.
// While a run is under way no command acts, however it comes.
BOOL OnCommand(HWND dialog, WPARAM command) {
    if (g_converter.converting) {
        return TRUE;
    }
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

// Keeps the wait cursor over the window while a run is under way. Returns TRUE when it set it.
BOOL OnSetCursor(HWND dialog) {
    if (!g_converter.converting) {
        return FALSE;
    }
    SetCursor(LoadCursor(nullptr, IDC_WAIT));
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
    return TRUE;
}

}  // namespace

bool SetDefaultRecipeDirectory(HINSTANCE instance) {
    g_converter.recipeDirectory[0] = '\0';
    const std::string beside = "The \"Recipes\" folder beside the program";
    wchar_t modulePath[kModulePathChars];
    const DWORD length = GetModuleFileNameW(instance, modulePath, kModulePathChars);
    std::wstring directory(modulePath, length < kModulePathChars ? length : 0);
    directory = directory.substr(0, directory.rfind(L'\\'));
    directory += L"\\Recipes";
    DirectoryFit fit = DirectoryFit::kTooLong;
    if (length > 0 && length < kModulePathChars) {
        fit = SetRecipeDirectory(directory);
    }
    switch (fit) {
        case DirectoryFit::kFits:
            return true;
        case DirectoryFit::kTooLong:
            g_converter.noDirectoryReason = beside + " would have a path longer than " +
                                            std::to_string(kMaxDirectoryChars) + " characters.";
            return false;
        case DirectoryFit::kNotInCodepage:
            g_converter.noDirectoryReason = beside + " has a path with " + OutsideCodepage() + ".";
            return false;
    }
    return false;
}

std::wstring Widened(const std::string& text) {
    std::u16string units;
    g_converter.codepage.ToUtf16(text, &units);
    return std::wstring(units.begin(), units.end());
}

void ShowMessage(HWND owner, const char* text, const char* caption) {
    MessageBoxA(owner, text, caption, MB_OK);
}

void ShowMessage(HWND owner, const std::wstring& text, const char* caption) {
    MessageBoxW(owner, text.c_str(), Widened(caption).c_str(), MB_OK);
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    // Nothing may unwind through the window manager's frames.
    try {
        switch (message) {
            case WM_INITDIALOG:
                return OnInitDialog(dialog);
            case WM_COMMAND:
                return OnCommand(dialog, wParam);
            case WM_SETCURSOR:
                return OnSetCursor(dialog);
            default:
                return FALSE;
        }
    } catch (...) {
        ShowMessage(dialog, "Out of memory: the command was not completed.", "Error");
        return TRUE;
    }
}

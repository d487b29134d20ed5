// The Convert command: directory check, the batch run over the selected list entries, and
// the report of the sets not converted.
#include <string>
#include <vector>

#include "app/converter_window.h"
#include "app/resource.h"
#include "conversion/batch_conversion.h"
#include "settings/registry_store_win32.h"

namespace {

const char kNotConvertedCaption[] = "Recipes not converted";
const char kInvalidDirectoryCaption[] = "Invalid Recipes directory";
// A message box taller than the screen would hide its OK button: past this many sets the
// report only counts the rest.
constexpr size_t kMaxReportedSets = 20;

// Returns true when RecipeDirectory exists (as a folder or as anything else by that name:
// the writes then fail and are reported) or has just been created; otherwise tells the user.
bool EnsureRecipeDirectory(HWND dialog) {
    if (g_converter.recipeDirectory[0] == '\0') {
        const std::string text =
            "The \"Recipes\" folder beside the program would have a path longer than " +
            std::to_string(kMaxDirectoryChars) +
            " characters.\nChoose a directory with Select Dir ...";
        ShowMessage(dialog, text.c_str(), kInvalidDirectoryCaption);
        return false;
    }
    if (CreateDirectoryA(g_converter.recipeDirectory, nullptr) ||
        GetLastError() == ERROR_ALREADY_EXISTS) {
        return true;
    }
    ShowMessage(dialog, g_converter.recipeDirectory, kInvalidDirectoryCaption);
    return false;
}

// Reads the text of entry index of the set list into *name, however long. Returns false when
// the list box does not hand it over whole.
bool ReadListEntry(HWND dialog, int index, std::string* name) {
    const LRESULT length = SendDlgItemMessageA(dialog, IDC_SET_LIST, LB_GETTEXTLEN, index, 0);
    if (length == LB_ERR) {
        return false;
    }
    name->assign(static_cast<size_t>(length) + 1, '\0');  // LB_GETTEXT adds a terminator
    const LRESULT copied = SendDlgItemMessageA(dialog, IDC_SET_LIST, LB_GETTEXT, index,
                                               reinterpret_cast<LPARAM>(&(*name)[0]));
    if (copied == LB_ERR || copied > length) {
        return false;
    }
    name->resize(static_cast<size_t>(copied));
    return true;
}

// Appends the text of every selected entry of the set list to names, in list order; an entry
// whose text cannot be read back goes to unreadable as a set not converted.
void ReadSelectedSetNames(HWND dialog, std::vector<std::string>* names,
                          std::vector<SetNotConverted>* unreadable) {
    const LRESULT count = SendDlgItemMessageA(dialog, IDC_SET_LIST, LB_GETSELCOUNT, 0, 0);
    if (count == LB_ERR || count <= 0) {
        return;
    }
    std::vector<int> indices(static_cast<size_t>(count));
    const LRESULT filled = SendDlgItemMessageA(dialog, IDC_SET_LIST, LB_GETSELITEMS, count,
                                               reinterpret_cast<LPARAM>(indices.data()));
    if (filled == LB_ERR) {
        return;
    }
    indices.resize(static_cast<size_t>(filled));
    for (int index : indices) {
        std::string name;
        if (ReadListEntry(dialog, index, &name)) {
            names->push_back(name);
        } else {
            unreadable->push_back({"List entry " + std::to_string(index + 1),
                                   "its name could not be read back from the list"});
        }
    }
}

std::string FormatNotConverted(const std::vector<SetNotConverted>& sets) {
    std::string text = "These settings were not converted:\n";
    for (size_t i = 0; i < sets.size() && i < kMaxReportedSets; ++i) {
        text += "\n";
        text += sets[i].setName;
        text += ": ";
        text += sets[i].reason;
    }
    if (sets.size() > kMaxReportedSets) {
        text += "\n... and " + std::to_string(sets.size() - kMaxReportedSets) + " more.";
    }
    return text;
}

void ClearSelection(HWND dialog) {
    SendDlgItemMessageA(dialog, IDC_SET_LIST, LB_SETSEL, FALSE, -1);
}

}  // namespace

void OnConvert(HWND dialog) {
    if (!EnsureRecipeDirectory(dialog)) {
        return;
    }
    // With no root found at start-up the list is empty: nothing to convert, nothing to say.
    if (g_converter.settingsRoot == nullptr) {
        ClearSelection(dialog);
        return;
    }
    BatchRequest request;
    request.rootPath = g_converter.settingsRoot;
    std::vector<SetNotConverted> unreadable;
    ReadSelectedSetNames(dialog, &request.setNames, &unreadable);
    request.directory = g_converter.recipeDirectory;
    request.fileNameCodepage = nullptr;

    RegistrySettingsStore store;
    RecipeFileTarget target(nullptr);  // the profile-string service converts the text itself
    BatchReport report;
    std::string error;
    if (!ConvertSelectedSets(store, request, target, &report, &error)) {
        ShowMessage(dialog, g_converter.settingsRoot, "Can't Open Registry Key");
        return;
    }
    ClearSelection(dialog);
    report.notConverted.insert(report.notConverted.end(), unreadable.begin(), unreadable.end());
    if (!report.notConverted.empty()) {
        ShowMessage(dialog, FormatNotConverted(report.notConverted).c_str(), kNotConvertedCaption);
    }
}

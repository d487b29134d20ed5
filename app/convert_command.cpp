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

// Appends the text of every selected entry of the set list to names, in list order.
void ReadSelectedSetNames(HWND dialog, std::vector<std::string>* names) {
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
    // Every entry came from the registry, whose key names fit this storage.
    char name[kMaxRegistryKeyChars + 1];
    for (int index : indices) {
        const LRESULT length = SendDlgItemMessageA(dialog, IDC_SET_LIST, LB_GETTEXTLEN, index, 0);
        if (length == LB_ERR || static_cast<size_t>(length) > kMaxRegistryKeyChars) {
            continue;
        }
        if (SendDlgItemMessageA(dialog, IDC_SET_LIST, LB_GETTEXT, index,
                                reinterpret_cast<LPARAM>(name)) == LB_ERR) {
            continue;
        }
        names->push_back(name);
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
    ReadSelectedSetNames(dialog, &request.setNames);
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
    if (!report.notConverted.empty()) {
        ShowMessage(dialog, FormatNotConverted(report.notConverted).c_str(), kNotConvertedCaption);
    }
}

// The Convert command: directory check, the batch run over the selected list entries with the
// window kept answering, and the report of the sets not converted.
#include <string>
#include <unordered_map>
#include <vector>

#include "app/converter_window.h"
#include "app/resource.h"
#include "conversion/batch_conversion.h"
#include "recipes/recipe_file_name.h"
#include "registry/registry_store_win32.h"
#include "text/system_error.h"

namespace {

const char kInvalidDirectoryCaption[] = "Invalid Recipes directory";
const char kHoldsNoValue[] = "the set holds no value to convert; no recipe written";

// Returns true when RecipeDirectory can take the recipes: it exists (as a folder, or as
// anything else by that name: the writes then fail and are reported), or has just been created.
// Otherwise tells the user why not.
bool EnsureRecipeDirectory(HWND dialog) {
    const char* directory = g_converter.recipeDirectory;
    if (directory[0] == '\0') {
        const std::string text =
            g_converter.noDirectoryReason + "\nChoose a directory with Select Dir ...";
        ShowMessage(dialog, text.c_str(), kInvalidDirectoryCaption);
        return false;
    }
    // An existing folder is never created again: CreateDirectoryA fails on a drive's root
    // ("E:\") with ERROR_ACCESS_DENIED.
    const bool exists = GetFileAttributesA(directory) != INVALID_FILE_ATTRIBUTES;
    std::string reason;
    switch (
        RecipeDirectoryStep(exists, CountCharacters(directory, &g_converter.codepage), &reason)) {
        case DirectoryStep::kConvertInto:
            return true;
        case DirectoryStep::kCreate:
            if (CreateDirectoryA(directory, nullptr)) {
                return true;
            }
            reason = DescribeSystemError(GetLastError());
            break;
        case DirectoryStep::kRefuse:
            break;
    }
    ShowMessage(dialog, (std::string(directory) + "\n\n" + reason).c_str(),
                kInvalidDirectoryCaption);
    return false;
}

// The indices of the selected entries of the set list, ascending.
std::vector<int> SelectedEntries(HWND dialog) {
    const LRESULT count = SendDlgItemMessageA(dialog, IDC_SET_LIST, LB_GETSELCOUNT, 0, 0);
    if (count == LB_ERR || count <= 0) {
        return {};
    }
    std::vector<int> indices(static_cast<size_t>(count));
    const LRESULT filled = SendDlgItemMessageA(dialog, IDC_SET_LIST, LB_GETSELITEMS, count,
                                               reinterpret_cast<LPARAM>(indices.data()));
    indices.resize(filled == LB_ERR ? 0 : static_cast<size_t>(filled));
    return indices;
}

void ClearSelection(HWND dialog) {
    SendDlgItemMessageA(dialog, IDC_SET_LIST, LB_SETSEL, FALSE, -1);
}

// True for the messages the user's keys and mouse make.
bool IsInput(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

// Keeps the window answering through a run, with the wait cursor: between two sets the
// messages waiting for the program are handled (painting, other programs' questions), but the
// user's input is dropped, so that nothing acts on a run half done and Windows never takes the
// program for hung. A quit message is left for the message loop.
class AnsweringRun : public BatchProgress {
  public:
    AnsweringRun() : cursor_(SetCursor(LoadCursor(nullptr, IDC_WAIT))) {
        g_converter.converting = true;
    }
    ~AnsweringRun() override {
        g_converter.converting = false;
        SetCursor(cursor_);
    }
    AnsweringRun(const AnsweringRun&) = delete;
    AnsweringRun& operator=(const AnsweringRun&) = delete;

    void SetDone() override {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam));
                return;
            }
            if (!IsInput(message.message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
    }

  private:
    HCURSOR cursor_;
};

// The name a set has in the report: its own, where the code page lacks some of its characters.
std::wstring ReportedName(const ListedSet& set) {
    return set.ownName.empty() ? Widened(set.name)
                               : std::wstring(set.ownName.begin(), set.ownName.end());
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
    // A set listed under a name that is not its own is never opened: the registry would give
    // another set of that name, or none.
    const std::vector<int> selected = SelectedEntries(dialog);
    BatchRequest request;
    request.rootPath = g_converter.settingsRoot;
    for (int index : selected) {
        const ListedSet& set = g_converter.sets.at(static_cast<size_t>(index));
        if (set.nameInCodepage) {
            request.setNames.push_back(set.name);
        }
    }
    request.directory = g_converter.recipeDirectory;
    request.namesCodepage = &g_converter.codepage;
    request.fileNamesCodepage = &g_converter.codepage;

    RegistrySettingsStore store;
    RecipeFileTarget target(nullptr);  // the profile-string service converts the text itself
    BatchReport report;
    std::string error;
    bool opened = false;
    {
        AnsweringRun run;
        request.progress = &run;
        opened = ConvertSelectedSets(store, request, target, &report, &error);
    }
    if (!opened) {
        ShowMessage(dialog, g_converter.settingsRoot, "Can't Open Registry Key");
        return;
    }
    ClearSelection(dialog);

    // The report follows the list's order; set names of the code page are unique in it.
    std::unordered_map<std::string, std::string> reasons;
    for (const SetNotConverted& set : report.notConverted) {
        reasons.emplace(set.setName, set.reason);
    }
    for (const std::string& setName : report.empty) {
        reasons.emplace(setName, kHoldsNoValue);
    }
    std::vector<std::wstring> lines;
    for (int index : selected) {
        const ListedSet& set = g_converter.sets.at(static_cast<size_t>(index));
        const auto reason = reasons.find(set.name);
        if (!set.nameInCodepage) {
            lines.push_back(ReportedName(set) + L": " +
                            Widened(OutsideCodepageReason(g_converter.codepage)));
        } else if (reason != reasons.end()) {
            lines.push_back(ReportedName(set) + L": " + Widened(reason->second));
        }
    }
    if (!lines.empty()) {
        ShowNotConverted(dialog, lines);
    }
}

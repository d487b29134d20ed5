// The converter window: its process-wide state, its dialog procedure and its message box.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "registry/settings_store.h"
#include "text/codepage.h"
#include "text/text_limits.h"

// Everything the window keeps from start-up to exit.
struct ConverterState {
    const char* settingsRoot;  // one of kSettingsRootPaths, or null when neither exists
    // Where recipes go, in the system's code page: up to kMaxDirectoryChars characters, each of
    // up to kMaxAnsiBytesPerUnit bytes. Empty when no usable directory is known; then
    // noDirectoryReason says why.
    char recipeDirectory[kMaxDirectoryChars * kMaxAnsiBytesPerUnit + 1];
    std::string noDirectoryReason;
    // The system's ANSI code page: that of the registry's set names, the file names and every
    // text the window shows.
    Codepage codepage;
    std::vector<ListedSet> sets;  // the entries of the set list, index for index
    bool converting;              // a run is under way: input to the window is ignored
};

extern ConverterState g_converter;

// The name of the dialog template in converter.rc.
extern const char kMainDialogTemplate[];

// Sets g_converter.recipeDirectory to "Recipes" beside the executable of instance. Returns
// false, leaving it empty and the reason in g_converter.noDirectoryReason, when that path is
// longer than kMaxDirectoryChars (it is never cut into another path) or has characters the
// system's code page lacks (it would name another folder).
bool SetDefaultRecipeDirectory(HINSTANCE instance);

// The dialog procedure. Returns TRUE for the messages it handles, FALSE otherwise.
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Every message the program shows: OK only, owned by owner; text and caption in the system's
// code page, or text in UTF-16 where it names what the code page cannot. Returns nothing.
void ShowMessage(HWND owner, const char* text, const char* caption);
void ShowMessage(HWND owner, const std::wstring& text, const char* caption);

// Text in the system's code page as UTF-16.
std::wstring Widened(const std::string& text);

// The Convert command.
void OnConvert(HWND dialog);

// The report after a run: "These settings were not converted:" and one line per set, as many
// as the screen has room for in a message box, then how many more there are. Returns nothing.
void ShowNotConverted(HWND owner, const std::vector<std::wstring>& lines);

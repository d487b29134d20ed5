// The converter window: its process-wide state, its dialog procedure and its message box.
#pragma once

#include <windows.h>

#include "settings/text_limits.h"

// Everything the window keeps from start-up to exit.
struct ConverterState {
    const char* settingsRoot;  // one of kSettingsRootPaths, or null when neither exists
    // Where recipes go; empty when no usable directory is known (the default did not fit).
    char recipeDirectory[kMaxDirectoryChars + 1];
};

extern ConverterState g_converter;

// The name of the dialog template in converter.rc.
extern const char kMainDialogTemplate[];

// Sets g_converter.recipeDirectory to "Recipes" beside the executable of instance. Returns
// false, leaving it empty, when that path is longer than kMaxDirectoryChars: it is never cut
// into another path.
bool SetDefaultRecipeDirectory(HINSTANCE instance);

// The dialog procedure. Returns TRUE for the messages it handles, FALSE otherwise.
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Every message the program shows: OK only, owned by owner. Returns nothing.
void ShowMessage(HWND owner, const char* text, const char* caption);

// The Convert command.
void OnConvert(HWND dialog);

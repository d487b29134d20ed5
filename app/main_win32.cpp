// Process entry of RecipeConverter.exe: start-up, the dialog and its message loop.
#include <windows.h>

#include <string>

#include "app/converter_window.h"
#include "conversion/frequency_index.h"

namespace {
// No window, or a broken message loop; Close gives 0.
constexpr int kFailureExitCode = 1;
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    BuildFrequencyTable();
    // Windows always has an ANSI code page; were it unknown, number 0 still converts with it.
    std::string noCodepage;
    (void)OpenSystemCodepage(&g_converter.codepage, &noCodepage);
    // A directory that does not fit stays empty; Convert then says so.
    (void)SetDefaultRecipeDirectory(instance);
    // The shell's folder browser expects COM on the thread that calls it.
    const HRESULT com = CoInitialize(nullptr);

    // WM_INITDIALOG runs inside this call and uses the window it is given.
    const HWND dialog =
        CreateDialogParamA(instance, kMainDialogTemplate, nullptr, MainDialogProc, 0);
    int exitCode = kFailureExitCode;
    if (dialog == nullptr) {
        ShowMessage(nullptr, "The window could not be created.", "Error");
    } else {
        MSG message;
        BOOL got;
        while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
            if (!IsDialogMessageA(dialog, &message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
        DestroyWindow(dialog);
        exitCode = got == 0 ? static_cast<int>(message.wParam) : kFailureExitCode;
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return exitCode;
}

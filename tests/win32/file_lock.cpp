// Holds a file open the way another Windows program may, until told to let go.
//
// Usage: file_lock PATH none|read UNTIL
// Opens PATH for reading and writing, sharing it with nobody (none) or with readers only
// (read), prints "locked" and waits until a file UNTIL exists (up to kWaitMilliseconds); then
// closes PATH. Exit code 0 after letting go, 1 when PATH cannot be opened or UNTIL never came,
// 2 for usage.
#include <windows.h>

#include <stdio.h>
#include <string.h>

namespace {

// A hang, not a speed limit: the test creates UNTIL once its own steps are done.
constexpr DWORD kWaitMilliseconds = 300000;
constexpr DWORD kPollMilliseconds = 100;

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 || (strcmp(argv[2], "none") != 0 && strcmp(argv[2], "read") != 0)) {
        fprintf(stderr, "usage: file_lock PATH none|read UNTIL\n");
        return 2;
    }
    const DWORD share = strcmp(argv[2], "read") == 0 ? FILE_SHARE_READ : 0;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "cannot open %s: error %lu\n", argv[1], GetLastError());
        return 1;
    }
    printf("locked\n");
    fflush(stdout);
    const DWORD start = GetTickCount();
    while (GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start >= kWaitMilliseconds) {
            fprintf(stderr, "%s never came\n", argv[3]);
            CloseHandle(file);
            return 1;
        }
        Sleep(kPollMilliseconds);
    }
    CloseHandle(file);
    return 0;
}

// rcpconv's own file-system calls on Windows, through the system itself: the C runtime's stat
// takes a path whose last byte is that of '\' for a directory path and drops that byte, but in
// code page 932 that byte may end a character (表 is 95 5C).
#include "cli/file_calls.h"

#include <direct.h>
#include <windows.h>

#include <cerrno>

int LookAt(const std::string& path, bool* directory) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        *directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        return 0;
    }
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
            return EACCES;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        default:
            return EINVAL;
    }
}

int MakeOneDirectory(const std::string& path) {
    return _mkdir(path.c_str()) == 0 ? 0 : errno;
}

// Windows tells whether a folder may be made there only by trying.
bool CanCreateIn(const std::string&) {
    return true;
}

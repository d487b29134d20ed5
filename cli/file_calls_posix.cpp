// rcpconv's own file-system calls on Linux.
#include "cli/file_calls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

int LookAt(const std::string& path, bool* directory) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        return errno;
    }
    *directory = S_ISDIR(info.st_mode);
    return 0;
}

int MakeOneDirectory(const std::string& path) {
    return mkdir(path.c_str(), 0777) == 0 ? 0 : errno;
}

bool CanCreateIn(const std::string& parent) {
    return faccessat(AT_FDCWD, parent.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

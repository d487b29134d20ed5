// Opening and reading a recipe on Linux as the writer does, for the writer and for previews.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/fs.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>

#include "recipes/recipe_file_posix.h"

namespace {

constexpr mode_t kAnyWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
// Never waits for a writer to open a pipe, nor opens a device as its controlling terminal.
constexpr int kReadFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

}  // namespace

std::string BaseNameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

bool FollowLink(const char* path, std::string* target, std::string* error) {
    char resolved[PATH_MAX];
    char resolvedDirectory[PATH_MAX];
    if (realpath(path, resolved) == nullptr) {
        *error = FailureReason("read", path, errno);
        return false;
    }
    if (realpath(DirectoryOf(path).c_str(), resolvedDirectory) == nullptr ||
        DirectoryOf(resolved) != resolvedDirectory) {
        *error = std::string(path) + " is a link to a file outside its directory";
        return false;
    }
    *target = resolved;
    return true;
}

std::string NameTooLong(const std::string& path, int directoryFd) {
    const long limit = directoryFd >= 0 ? fpathconf(directoryFd, _PC_NAME_MAX) : -1;
    return "cannot write " + path + ": its name is too long for this file system (" +
           std::to_string(BaseNameOf(path).size()) + " bytes, at most " +
           std::to_string(limit > 0 ? limit : NAME_MAX) + ")";
}

int OpenRecipe(const RecipeDirectory& directory, const char* path, std::string* name,
               struct stat* info, std::string* error) {
    error->clear();
    int fd = openat(directory.fd, name->c_str(), kReadFlags);
    if (fd < 0 && errno == ELOOP) {
        std::string target;
        if (!FollowLink(path, &target, error)) {
            return -1;
        }
        *name = BaseNameOf(target);
        fd = openat(directory.fd, name->c_str(), kReadFlags);
    }
    if (fd < 0) {
        if (errno == ENAMETOOLONG) {
            *error = NameTooLong(path, directory.fd);
        } else if (errno != ENOENT) {
            *error = FailureReason("read", path, errno);
        }
        return -1;
    }
    const int failure = fstat(fd, info) != 0 ? errno : S_ISDIR(info->st_mode) ? EISDIR : 0;
    if (failure != 0) {
        *error = FailureReason("read", path, failure);
    } else if (!S_ISREG(info->st_mode)) {
        *error = std::string(path) + " is not a regular file";
    } else {
        return fd;
    }
    close(fd);
    return -1;
}

bool ReadAll(int fd, off_t size, std::string* text) {
    text->resize(static_cast<size_t>(size) + 1);  // one byte more sees the end in one read
    size_t done = 0;
    for (;;) {
        const ssize_t got = read(fd, &(*text)[done], text->size() - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            text->resize(done);
            return got == 0;
        }
        done += static_cast<size_t>(got);
        if (done == text->size()) {
            text->resize(done * 2);  // it grew while being read
        }
    }
}

// Renaming over a file ignores its own permissions and flags, so they are asked here.
int WritableError(const RecipeDirectory& directory, const char* name, int fd,
                  const struct stat& info, uid_t user) {
    if ((info.st_mode & kAnyWriteBits) == 0) {
        return EACCES;
    }
    if ((KeptInodeFlags(fd) & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0) {
        return EPERM;
    }
    // For its owner the owner's bits decide (an access control list keeps them as its owner
    // entry), so only someone else's file needs asking.
    if (info.st_uid == user) {
        return (info.st_mode & S_IWUSR) != 0 || user == 0 ? 0 : EACCES;
    }
    if (faccessat(directory.fd, name, W_OK, AT_EACCESS) != 0) {
        return errno;
    }
    return 0;
}

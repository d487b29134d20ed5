// Recipe files where there is no profile-string service: edited in memory, replaced atomically.
#include "conversion/recipe_file.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "conversion/ini_edit.h"
#include "settings/codepage.h"

namespace {

constexpr mode_t kNewFileMode = 0666;  // narrowed by the umask, as any new file
constexpr mode_t kAnyWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr mode_t kPermissionBits = 07777;
constexpr int kTempNameAttempts = 100;
constexpr size_t kReadChunk = 65536;

// "cannot WHAT PATH: <error text>", the message of a failed step.
std::string Reason(const char* what, const std::string& path, int error) {
    return std::string("cannot ") + what + " " + path + ": " + strerror(error);
}

// The file's bytes into *text. Returns false with errno set when it cannot be read; a missing
// file is not a failure: *exists tells it apart.
bool ReadWholeFile(const std::string& path, std::string* text, bool* exists, struct stat* info) {
    *exists = false;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT;
    }
    bool ok = fstat(fd, info) == 0;
    char chunk[kReadChunk];
    while (ok) {
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        text->append(chunk, static_cast<size_t>(got));
    }
    int savedErrno = errno;
    close(fd);
    errno = savedErrno;
    *exists = ok;
    return ok;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t put = write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0) {
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

// The directory part of path ("." for a bare name), where the temporary file must live for the
// rename to be atomic.
std::string DirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Opens a new temporary file in the directory of path. Its name is short and fixed in form, so
// that a recipe whose own name is near the file-name limit still gets one. Returns its
// descriptor, or -1 with errno set.
int CreateTempBeside(const std::string& path, mode_t mode, std::string* tempPath) {
    std::string directory = DirectoryOf(path);
    if (directory.back() != '/') {
        directory += '/';
    }
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        char name[32];
        snprintf(name, sizeof name, ".rcp-%ld-%d.tmp", static_cast<long>(getpid()), attempt);
        *tempPath = directory + name;
        int fd = open(tempPath->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// Writes text to a temporary file beside path, flushes it to the disk and renames it over
// path, so that a reader (or a crash) sees the old file or the new one, never part of one.
// Returns 0, or the errno of the step that failed.
int ReplaceAtomically(const std::string& path, const std::string& text, mode_t mode,
                      bool keepMode) {
    std::string tempPath;
    int fd = CreateTempBeside(path, mode, &tempPath);
    if (fd < 0) {
        return errno;
    }
    int failure = 0;
    if ((keepMode && fchmod(fd, mode) != 0) || !WriteAll(fd, text) || fsync(fd) != 0) {
        failure = errno;
    }
    if (close(fd) != 0 && failure == 0) {
        failure = errno;
    }
    if (failure == 0 && rename(tempPath.c_str(), path.c_str()) != 0) {
        failure = errno;
    }
    if (failure != 0) {
        unlink(tempPath.c_str());
        return failure;
    }
    int dirFd = open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);  // makes the rename itself durable; the new file is complete either way
        close(dirFd);
    }
    return 0;
}

// Renaming over a file ignores its own permissions; a file nobody may write stays unwritten,
// as Windows keeps a read-only file even for an administrator.
int WritableError(const std::string& path, const struct stat& info) {
    if ((info.st_mode & kAnyWriteBits) == 0) {
        return EACCES;
    }
    if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
        return errno;
    }
    return 0;
}

// The file to edit for path into *target: path itself, or the file a link there names, as
// Windows follows it. A link is followed only to a file in its own directory, so that nothing
// outside the output directory is ever touched; a link that leads elsewhere, or nowhere, is an
// error. Returns true, or false with *error.
bool FollowLink(const char* path, std::string* target, std::string* error) {
    struct stat info;
    if (lstat(path, &info) != 0 || !S_ISLNK(info.st_mode)) {
        *target = path;
        return true;
    }
    char resolved[PATH_MAX];
    char resolvedDirectory[PATH_MAX];
    if (realpath(path, resolved) == nullptr) {
        *error = Reason("read", path, errno);
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

}  // namespace

bool WriteRecipeFile(const char* path, const RecipeEntryList& entries, const Codepage* codepage,
                     std::string* error) {
    std::string target;
    if (!FollowLink(path, &target, error)) {
        return false;
    }

    std::string text;
    bool exists = false;
    struct stat info = {};
    if (!ReadWholeFile(target, &text, &exists, &info)) {
        *error = Reason("read", path, errno);
        return false;
    }
    if (!exists && entries.empty()) {
        return true;
    }
    switch (ApplyIniEntries(&text, entries, *codepage)) {
        case IniEditStatus::kUnchanged:
            return true;
        case IniEditStatus::kNotEditable:
            *error = std::string("cannot edit ") + path + ": the file is UTF-16 text";
            return false;
        case IniEditStatus::kUnconvertible:
            *error = std::string("cannot edit ") + path + ": the file is UTF-8 text and " +
                     codepage->name() + " has no character for a byte of the recipe";
            return false;
        case IniEditStatus::kChanged:
            break;
    }
    int failure = exists ? WritableError(target, info) : 0;
    if (failure == 0) {
        mode_t mode = exists ? (info.st_mode & kPermissionBits) : kNewFileMode;
        failure = ReplaceAtomically(target, text, mode, exists);
    }
    if (failure != 0) {
        *error = Reason("write", path, failure);
        return false;
    }
    return true;
}

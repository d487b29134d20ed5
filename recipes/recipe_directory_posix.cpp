// Recipe directories on Linux: opened once a run, their temporary files, and the removal of
// those that earlier runs abandoned.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "recipes/recipe_file_posix.h"

namespace {

constexpr char kTempPrefix[] = ".rcp-";
constexpr char kTempSuffix[] = ".tmp";
constexpr size_t kTempPrefixSize = sizeof kTempPrefix - 1;
constexpr size_t kTempSuffixSize = sizeof kTempSuffix - 1;
constexpr int kTempNameAttempts = 100;
constexpr size_t kMaxHostNameChars = 64;
// A writer keeps its temporary file for well under a second; one a day old that no writer
// holds is abandoned whoever made it, even on another computer sharing the directory.
constexpr time_t kAbandonedAfterSeconds = 24 * 60 * 60;

bool IsDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// Splits ".rcp-HOST-PID-N.tmp" into *host and *pid. The form of older versions,
// ".rcp-PID-N.tmp", gives an empty host. Returns false for any other name.
bool ParseTempName(const std::string& name, std::string* host, long* pid) {
    if (name.size() <= kTempPrefixSize + kTempSuffixSize ||
        name.compare(0, kTempPrefixSize, kTempPrefix) != 0 ||
        name.compare(name.size() - kTempSuffixSize, kTempSuffixSize, kTempSuffix) != 0) {
        return false;
    }
    const std::string middle =
        name.substr(kTempPrefixSize, name.size() - kTempPrefixSize - kTempSuffixSize);
    const size_t counterDash = middle.rfind('-');
    if (counterDash == std::string::npos || !IsDigits(middle.substr(counterDash + 1))) {
        return false;
    }
    const std::string hostAndPid = middle.substr(0, counterDash);
    const size_t pidDash = hostAndPid.rfind('-');
    const std::string pidText =
        pidDash == std::string::npos ? hostAndPid : hostAndPid.substr(pidDash + 1);
    *host = pidDash == std::string::npos ? "" : hostAndPid.substr(0, pidDash);
    if (!IsDigits(pidText) || (pidDash != std::string::npos && host->empty())) {
        return false;
    }
    *pid = std::strtol(pidText.c_str(), nullptr, 10);
    return true;
}

// True when the temporary file name in the directory looks abandoned by its name and age: made
// on this host by a process that is gone, or not touched for a day. Neither proves it: the
// process may run in another PID namespace, or the clock of a file server may be behind; only
// a writer's lock on the file does (see RemoveIfUnlocked). A file of an older version, which
// took no lock, is judged by these alone.
bool LooksAbandoned(int directoryFd, const char* name, const std::string& host, time_t now) {
    std::string madeOn;
    long pid = 0;
    struct stat info;
    if (!ParseTempName(name, &madeOn, &pid) ||
        fstatat(directoryFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    if (now - info.st_mtime > kAbandonedAfterSeconds) {
        return true;
    }
    return madeOn == host && pid != getpid() && kill(static_cast<pid_t>(pid), 0) != 0 &&
           errno == ESRCH;
}

// Removes the temporary file name when no writer holds its lock, and the name still leads to
// the file whose lock was taken. A file that cannot be opened or locked stays.
void RemoveIfUnlocked(int directoryFd, const char* name) {
    const int fd = openat(directoryFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        IsStillNamed(directoryFd, name, fd)) {
        unlinkat(directoryFd, name, 0);
    }
    close(fd);
}

}  // namespace

std::string FailureReason(const char* what, const std::string& path, int error) {
    return std::string("cannot ") + what + " " + path + ": " + strerror(error);
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, const std::string& text, off_t offset) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = offset < 0 ? write(fd, text.data() + done, text.size() - done)
                                       : pwrite(fd, text.data() + done, text.size() - done,
                                                offset + static_cast<off_t>(done));
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

bool OpenRecipeDirectory(const std::string& path, RecipeDirectory* directory) {
    directory->path = path;
    directory->fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    directory->readable = directory->fd >= 0;
    if (directory->fd < 0 && errno == EACCES) {
        directory->fd = open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    return directory->fd >= 0;
}

void CloseRecipeDirectory(RecipeDirectory* directory) {
    if (directory->fd >= 0) {
        close(directory->fd);
        directory->fd = -1;
    }
}

std::string HostNameForFiles() {
    char name[kMaxHostNameChars + 1] = "";
    gethostname(name, sizeof name - 1);
    std::string host = name;
    for (char& c : host) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!plain) {
            c = '_';
        }
    }
    return host.empty() ? "localhost" : host;
}

TempFileNaming TempFileNamingOfThisProcess() {
    TempFileNaming naming;
    naming.host = HostNameForFiles();
    naming.prefix = kTempPrefix + naming.host + "-" + std::to_string(getpid()) + "-";
    return naming;
}

int CreateTempFile(const RecipeDirectory& directory, TempFileNaming* naming, mode_t mode,
                   std::string* name) {
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        *name = naming->prefix + std::to_string(naming->next++) + kTempSuffix;
        const int fd =
            openat(directory.fd, name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST) {
            return -1;
        }
        if (fd < 0) {
            continue;
        }
        // A run cleaning up that holds the lock already took the new file for abandoned (its
        // name can name a process of another PID namespace) and removes it: another name is
        // tried. Where the file system keeps no locks, no run can take one either.
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) {
            return fd;
        }
        close(fd);
    }
    errno = EEXIST;
    return -1;
}

bool IsStillNamed(int directoryFd, const std::string& name, int fd) {
    struct stat named;
    struct stat opened;
    return fstatat(directoryFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           fstat(fd, &opened) == 0 && named.st_dev == opened.st_dev &&
           named.st_ino == opened.st_ino;
}

void RemoveStaleTempFiles(const RecipeDirectory& directory, const std::string& host) {
    if (!directory.readable) {
        return;  // nothing to list; the files stay until a run can see them
    }
    const int listFd = dup(directory.fd);
    DIR* listing = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (listing == nullptr) {
        if (listFd >= 0) {
            close(listFd);
        }
        return;
    }
    const time_t now = time(nullptr);
    while (const dirent* entry = readdir(listing)) {
        if (LooksAbandoned(directory.fd, entry->d_name, host, now)) {
            RemoveIfUnlocked(directory.fd, entry->d_name);
        }
    }
    closedir(listing);
}

// Where the Linux writer keeps the backup of a recipe it rewrites in place: beside it, in the
// user's cache, or in a private directory under /var/tmp.
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "recipes/recipe_backup_posix.h"

namespace {

constexpr mode_t kReadWriteBits = 0666;
constexpr mode_t kGroupBits = S_IRWXG;
constexpr mode_t kOwnerOnlyMode = 0600;  // a backup's mode until it has the recipe's group
constexpr mode_t kPrivateDirectoryMode = 0700;
constexpr mode_t kNotPrivateBits = 0077;
constexpr char kSharedTemporaryDirectory[] = "/var/tmp";

// The places in the order they are tried.
enum class Place { kBeside, kCache, kShared, kCount };

// The user's cache directory for this program: $XDG_CACHE_HOME/rcpconv or ~/.cache/rcpconv
// ("" when there is no home directory).
std::string CacheDirectoryPath() {
    const char* cacheHome = getenv("XDG_CACHE_HOME");
    if (cacheHome != nullptr && cacheHome[0] == '/') {
        return std::string(cacheHome) + "/rcpconv";
    }
    const char* home = getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const passwd* user = getpwuid(geteuid());
        home = user != nullptr ? user->pw_dir : nullptr;
    }
    return home != nullptr && home[0] == '/' ? std::string(home) + "/.cache/rcpconv" : "";
}

std::string SharedDirectoryPath() {
    return std::string(kSharedTemporaryDirectory) + "/rcpconv-" + std::to_string(geteuid());
}

// How the place is named in messages.
std::string PlacePath(Place place, const std::string& besidePath) {
    switch (place) {
        case Place::kBeside:
            return besidePath;
        case Place::kCache: {
            const std::string path = CacheDirectoryPath();
            return path.empty() ? "~/.cache/rcpconv" : path;
        }
        case Place::kShared:
        case Place::kCount:
            break;
    }
    return SharedDirectoryPath();
}

// How many missing directories at the end of the place's path a run creates: the cache
// directory and its parent ($XDG_CACHE_HOME or ~/.cache), never the home directory itself; the
// private directory under /var/tmp.
int CreatedLevels(Place place) {
    return place == Place::kCache ? 2 : place == Place::kShared ? 1 : 0;
}

std::string BackupName(Place place, const struct stat& recipe) {
    if (place == Place::kBeside) {
        return ".rcp-" + std::to_string(recipe.st_ino) + ".bak";
    }
    return std::to_string(recipe.st_dev) + "-" + std::to_string(recipe.st_ino) + ".bak";
}

// True for the failures that mean nothing can be created in a directory, not that this backup
// is at fault.
bool CannotCreateThere(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == ENOSPC ||
           error == EDQUOT;
}

// A directory under /var/tmp, which everyone may write to, is trusted only when it is this
// user's and nobody else's: someone else could read the backups, or swap them.
bool IsPrivate(const struct stat& directory) {
    return S_ISDIR(directory.st_mode) && directory.st_uid == geteuid() &&
           (directory.st_mode & kNotPrivateBits) == 0;
}

// Opens the place (not beside) into *directory, creating it as CreatedLevels says. Returns 0 or
// the errno that says why it cannot hold a backup.
int OpenPlace(Place place, RecipeDirectory* directory) {
    if (directory->fd >= 0) {
        return 0;
    }
    const std::string path = place == Place::kCache ? CacheDirectoryPath() : SharedDirectoryPath();
    if (path.empty()) {
        return ENOENT;
    }
    if (place == Place::kCache && mkdir(DirectoryOf(path).c_str(), kPrivateDirectoryMode) != 0 &&
        errno != EEXIST) {
        return errno;
    }
    if (mkdir(path.c_str(), kPrivateDirectoryMode) != 0 && errno != EEXIST) {
        return errno;
    }
    if (place == Place::kCache) {
        return OpenRecipeDirectory(path, directory) ? 0 : errno;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0 || !IsPrivate(info)) {
        const int failure = fd < 0 && errno != ELOOP ? errno : EACCES;  // a link is no private
        if (fd >= 0) {
            close(fd);
        }
        return failure;
    }
    directory->path = path;
    directory->fd = fd;
    directory->readable = true;
    return 0;
}

// Gives the new backup fd the recipe's group and read and write permissions; where the group
// cannot be its, its group gets no permission. Returns false with errno set.
bool TakeRecipeAccess(int fd, const struct stat& recipe) {
    mode_t mode = recipe.st_mode & kReadWriteBits;
    if (fchown(fd, static_cast<uid_t>(-1), recipe.st_gid) != 0) {
        mode &= ~kGroupBits;
    }
    return fchmod(fd, mode) == 0;
}

// Gives the temporary file the name, which must be free: a backup is never overwritten.
// Returns 0 or the errno.
int NameBackup(const RecipeDirectory& directory, const std::string& tempName,
               const std::string& name) {
    if (renameat2(directory.fd, tempName.c_str(), directory.fd, name.c_str(), RENAME_NOREPLACE) ==
        0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    if (linkat(directory.fd, tempName.c_str(), directory.fd, name.c_str(), 0) != 0) {
        return errno;
    }
    unlinkat(directory.fd, tempName.c_str(), 0);
    return 0;
}

// Writes text into a new temporary file in directory, makes it durable and names it name.
// Returns 0 with *fd open on it (locked), or the errno of the step that failed (nothing left).
int WriteBackup(RecipeDirectory& directory, TempFileNaming* naming, const std::string& name,
                const struct stat& recipe, const std::string& text, int* fd) {
    std::string tempName;
    *fd = CreateTempFile(directory, naming, kOwnerOnlyMode, &tempName);
    if (*fd < 0) {
        return errno;
    }
    int failure = 0;
    if (!TakeRecipeAccess(*fd, recipe) || !WriteAll(*fd, text) || fsync(*fd) != 0) {
        failure = errno;
    }
    if (failure == 0) {
        failure = NameBackup(directory, tempName, name);
    }
    if (failure == 0 && (directory.readable ? fsync(directory.fd) : syncfs(*fd)) != 0) {
        failure = errno;
        unlinkat(directory.fd, name.c_str(), 0);
    }
    if (failure != 0) {
        unlinkat(directory.fd, tempName.c_str(), 0);
        close(*fd);
        *fd = -1;
    }
    return failure;
}

// The errno that creating a file in the directory at path would meet, 0 when it would not:
// levels missing directories at the end of path would be created first.
int PredictedCreateError(const std::string& path, int levels) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        return errno != ENOENT || levels == 0 ? errno
                                              : PredictedCreateError(DirectoryOf(path), levels - 1);
    }
    if (!S_ISDIR(info.st_mode)) {
        return ENOTDIR;
    }
    return faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) != 0 ? errno : 0;
}

// The same for the place of a backup of a recipe in the directory besidePath.
int PredictedPlaceError(Place place, const std::string& besidePath) {
    if (place == Place::kBeside) {
        return PredictedCreateError(besidePath, 0);
    }
    const std::string path = place == Place::kCache ? CacheDirectoryPath() : SharedDirectoryPath();
    if (path.empty()) {
        return ENOENT;
    }
    struct stat info;
    if (place == Place::kShared && lstat(path.c_str(), &info) == 0 && !IsPrivate(info)) {
        return EACCES;
    }
    return PredictedCreateError(path, CreatedLevels(place));
}

// "cannot back up PATH in A (reason), in B (reason) or in C (reason)".
std::string NoPlaceError(const std::string& path, const std::string& besidePath,
                         const std::vector<int>& errors) {
    std::string message = "cannot back up " + path;
    for (size_t i = 0; i < errors.size(); ++i) {
        message += i == 0 ? " in " : i + 1 < errors.size() ? ", in " : " or in ";
        message += PlacePath(static_cast<Place>(i), besidePath) + " (" + strerror(errors[i]) + ")";
    }
    return message;
}

}  // namespace

void CloseBackupDirectories(BackupDirectories* directories) {
    CloseRecipeDirectory(&directories->cache);
    CloseRecipeDirectory(&directories->shared);
}

bool OpenExistingCacheDirectory(RecipeDirectory* cache) {
    const std::string path = CacheDirectoryPath();
    return !path.empty() && OpenRecipeDirectory(path, cache);
}

bool MakeBackup(RecipeDirectory& directory, BackupDirectories* elsewhere, TempFileNaming* naming,
                const struct stat& recipe, const std::string& text, const std::string& path,
                Backup* backup, std::string* error) {
    std::vector<int> errors;
    for (int i = 0; i < static_cast<int>(Place::kCount); ++i) {
        const Place place = static_cast<Place>(i);
        RecipeDirectory* where = place == Place::kBeside  ? &directory
                                 : place == Place::kCache ? &elsewhere->cache
                                                          : &elsewhere->shared;
        if (place != Place::kBeside) {
            if (const int failure = OpenPlace(place, where)) {
                errors.push_back(failure);
                continue;
            }
            if (!where->written) {  // its first backup of the run
                RemoveStaleTempFiles(*where, naming->host);
            }
        }
        const std::string name = BackupName(place, recipe);
        const int failure = WriteBackup(*where, naming, name, recipe, text, &backup->fd);
        if (failure == 0) {
            backup->place = where;
            backup->name = name;
            where->written = true;
            return true;
        }
        if (failure == EEXIST) {
            *error = "cannot back up " + path + ": " + where->path + "/" + name +
                     " is there already, left by an earlier run: check the recipe, then remove it";
            return false;
        }
        if (!CannotCreateThere(failure)) {
            *error = FailureReason("back up", path, failure);
            return false;
        }
        errors.push_back(failure);
    }
    *error = NoPlaceError(path, directory.path, errors);
    return false;
}

int RemoveBackup(Backup* backup) {
    const int failure = unlinkat(backup->place->fd, backup->name.c_str(), 0) == 0 ? 0 : errno;
    ReleaseBackup(backup);
    return failure;
}

void ReleaseBackup(Backup* backup) {
    if (backup->fd >= 0) {
        close(backup->fd);
        backup->fd = -1;
    }
}

bool NoPlaceForBackup(const std::string& directory, const std::string& path, std::string* error) {
    std::vector<int> errors;
    for (int i = 0; i < static_cast<int>(Place::kCount); ++i) {
        const int failure = PredictedPlaceError(static_cast<Place>(i), directory);
        if (failure == 0) {
            return false;
        }
        errors.push_back(failure);
    }
    *error = NoPlaceError(path, directory, errors);
    return true;
}

std::string BackupNameBeside(const struct stat& recipe) {
    return BackupName(Place::kBeside, recipe);
}

std::string BackupNameElsewhere(const struct stat& recipe) {
    return BackupName(Place::kCache, recipe);
}

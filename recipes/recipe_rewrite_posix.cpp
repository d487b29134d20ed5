// Rewriting a recipe in place on Linux, with a backup that outlives a crash in the middle.
//
// A backup is named after the file's inode (and, in the shared cache directory, its device), not
// after the recipe's name: every name of a hard-linked recipe then finds it, and a long recipe
// name still leaves room for it.
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>

#include "recipes/recipe_file_posix.h"

namespace {

constexpr mode_t kReadWriteBits = 0666;
constexpr mode_t kPrivateDirectoryMode = 0700;  // what a cache directory is made with

std::string BesideName(const struct stat& recipe) {
    return ".rcp-" + std::to_string(recipe.st_ino) + ".bak";
}

std::string CacheName(const struct stat& recipe) {
    return std::to_string(recipe.st_dev) + "-" + std::to_string(recipe.st_ino) + ".bak";
}

bool Exists(int directoryFd, const std::string& name) {
    struct stat info;
    return fstatat(directoryFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

// True for the failures that mean nothing can be created in a directory, not that this backup
// is at fault.
bool CannotCreateThere(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == ENOSPC ||
           error == EDQUOT;
}

// Creates path and its missing parents, private to the user. Returns false with errno set.
bool MakePrivateDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (mkdir(prefix.c_str(), kPrivateDirectoryMode) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            return true;
        }
    }
}

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

// Opens the cache directory into *cache, creating it when missing. Returns false with errno.
bool OpenCache(RecipeDirectory* cache) {
    if (cache->fd >= 0) {
        return true;
    }
    const std::string path = CacheDirectoryPath();
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    return MakePrivateDirectories(path) && OpenRecipeDirectory(path, cache);
}

// Creates the backup name in directory holding text and makes it and its name durable.
// Returns 0, or the errno of the step that failed (the backup then removed).
int WriteBackup(const RecipeDirectory& directory, const std::string& name, mode_t mode,
                const std::string& text) {
    const int fd =
        openat(directory.fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        return errno;
    }
    int failure = 0;
    if (!WriteAll(fd, text) || fsync(fd) != 0 ||
        (directory.readable ? fsync(directory.fd) : syncfs(fd)) != 0) {
        failure = errno;
    }
    if (close(fd) != 0 && failure == 0) {
        failure = errno;
    }
    if (failure != 0) {
        unlinkat(directory.fd, name.c_str(), 0);
    }
    return failure;
}

// Makes a durable copy of text, the recipe's bytes, beside it or, where nothing can be created
// or written there, in the cache directory. Returns true with the directory and name of the
// copy, or false with *error.
bool MakeBackup(RecipeDirectory& directory, RecipeDirectory* cache, const struct stat& recipe,
                const std::string& text, const std::string& path, RecipeDirectory** place,
                std::string* name, std::string* error) {
    const mode_t mode = recipe.st_mode & kReadWriteBits;  // readable by whoever reads the recipe
    *place = &directory;
    *name = BesideName(recipe);
    int failure = WriteBackup(directory, *name, mode, text);
    if (CannotCreateThere(failure)) {
        *place = cache;
        *name = CacheName(recipe);
        failure = OpenCache(cache) ? WriteBackup(*cache, *name, mode, text) : errno;
    }
    if (failure != 0) {
        *error = FailureReason("back up", path, failure);
        return false;
    }
    (*place)->written = true;
    return true;
}

// Puts text into the open file in place of what it holds, and flushes it. The room a longer
// text needs is reserved first, so that a full disk stops the rewrite before it starts.
// Returns 0 or the errno of the step that failed.
int Rewrite(int fd, const std::string& text, off_t size) {
    const off_t newSize = static_cast<off_t>(text.size());
    if (newSize > size && fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, newSize) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS) {
        return errno;
    }
    if (!WriteAll(fd, text, 0) || ftruncate(fd, newSize) != 0 || fsync(fd) != 0) {
        return errno;
    }
    return 0;
}

}  // namespace

bool OpenExistingCacheDirectory(RecipeDirectory* cache) {
    const std::string path = CacheDirectoryPath();
    return !path.empty() && OpenRecipeDirectory(path, cache);
}

bool FindBackup(const BackupPlaces& places, const struct stat& old, std::string* backupPath) {
    if (Exists(places.beside->fd, BesideName(old))) {
        *backupPath = places.beside->path + "/" + BesideName(old);
        return true;
    }
    if (places.cache != nullptr && Exists(places.cache->fd, CacheName(old))) {
        *backupPath = places.cache->path + "/" + CacheName(old);
        return true;
    }
    return false;
}

bool RewriteInPlace(RecipeDirectory& directory, RecipeDirectory* cache, const char* name,
                    const struct stat& old, const std::string& oldText, const std::string& newText,
                    const std::string& path, std::string* error) {
    const int fd = openat(directory.fd, name, O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat opened;
    if (fd < 0 || fstat(fd, &opened) != 0) {
        *error = FailureReason("write", path, errno);
        if (fd >= 0) {
            close(fd);
        }
        return false;
    }
    if (opened.st_dev != old.st_dev || opened.st_ino != old.st_ino) {
        close(fd);
        *error = "cannot write " + path + ": it was replaced while being converted";
        return false;
    }
    RecipeDirectory* place = nullptr;
    std::string backupName;
    if (!MakeBackup(directory, cache, old, oldText, path, &place, &backupName, error)) {
        close(fd);
        return false;
    }
    const std::string backupPath = place->path + "/" + backupName;
    directory.written = true;
    int failure = Rewrite(fd, newText, old.st_size);
    const bool restored =
        failure == 0 || Rewrite(fd, oldText, static_cast<off_t>(newText.size())) == 0;
    if (close(fd) != 0 && failure == 0) {
        failure = errno;
    }
    if (!restored) {
        *error =
            FailureReason("write", path, failure) + "; its previous text is kept in " + backupPath;
        return false;
    }
    if (unlinkat(place->fd, backupName.c_str(), 0) != 0) {
        *error = path + " is " + (failure == 0 ? "written" : "unchanged") + ", but its backup " +
                 backupPath + " cannot be removed: " + strerror(errno);
        return false;
    }
    if (failure != 0) {
        *error = FailureReason("write", path, failure);
        return false;
    }
    return true;
}

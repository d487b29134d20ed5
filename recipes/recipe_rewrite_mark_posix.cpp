// The mark a recipe carries while the Linux writer rewrites it in place, and how a later run
// (or one running at the same time) finds a rewrite that has not finished.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>

#include "recipes/recipe_backup_posix.h"

namespace {

constexpr size_t kMaxMarkBytes = PATH_MAX + 32;  // the directory's inode number, a blank, a path

// What a look at the place of a backup found.
enum class BackupState {
    kAbsent,
    kLeft,         // there, and no run holds it: the run that made it ended before removing it
    kInUse,        // there, and a live run holds its lock
    kUnreachable,  // its place cannot be looked into: it may be there
};

BackupState StateOf(int directoryFd, const std::string& name) {
    struct stat info;
    if (fstatat(directoryFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? BackupState::kAbsent
                                                   : BackupState::kUnreachable;
    }
    const int fd =
        openat(directoryFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return BackupState::kLeft;  // no telling whether its run lives: the safe answer
    }
    const bool inUse = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return inUse ? BackupState::kInUse : BackupState::kLeft;
}

// Sets *message for a backup found at backupPath. Returns false when there is none.
bool Report(BackupState state, const char* path, const std::string& backupPath,
            std::string* message) {
    switch (state) {
        case BackupState::kAbsent:
            return false;
        case BackupState::kInUse:
            *message = "another run is rewriting " + std::string(path) +
                       " now: convert it again once that run has ended";
            return true;
        case BackupState::kLeft:
        case BackupState::kUnreachable:
            break;
    }
    *message = "an earlier run stopped while rewriting " + std::string(path) +
               "; its previous text is kept in " + backupPath +
               ": check the recipe, then remove the backup";
    return true;
}

// The mark on the open recipe fd into *directoryInode and *backupPath. Returns false when it has
// none; true with an empty *backupPath when the mark cannot be read.
bool ReadMark(int fd, ino_t* directoryInode, std::string* backupPath) {
    char value[kMaxMarkBytes];
    const ssize_t size = fgetxattr(fd, kRewriteMark, value, sizeof value);
    backupPath->clear();
    if (size < 0) {
        return errno != ENODATA && errno != ENOTSUP;
    }
    const std::string mark(value, static_cast<size_t>(size));
    const size_t blank = mark.find(' ');
    if (blank != std::string::npos && blank > 0 && mark.find_first_not_of("0123456789") == blank &&
        blank + 1 < mark.size() && mark[blank + 1] == '/') {
        *directoryInode = static_cast<ino_t>(std::strtoull(mark.c_str(), nullptr, 10));
        *backupPath = mark.substr(blank + 1);
    }
    return true;
}

// True when the directory at the path the mark gives is still the one the backup was made in,
// so that a backup missing from it was removed, not merely left where this run cannot see it
// (the file system mounted elsewhere, the directory renamed).
bool IsMarkedDirectory(const std::string& backupPath, ino_t directoryInode) {
    struct stat info;
    return stat(DirectoryOf(backupPath).c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_ino == directoryInode;
}

// The absolute path of the open directory into *path, as the kernel knows it: it needs no
// permission to look into the directories above it. Returns false with errno set.
bool AbsolutePathOf(const RecipeDirectory& directory, std::string* path) {
    char resolved[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(directory.fd);
    const ssize_t size = readlink(link.c_str(), resolved, sizeof resolved);
    if (size > 0 && static_cast<size_t>(size) < sizeof resolved && resolved[0] == '/') {
        path->assign(resolved, static_cast<size_t>(size));
        return true;
    }
    if (realpath(directory.path.c_str(), resolved) == nullptr) {  // no /proc mounted
        return false;
    }
    *path = resolved;
    return true;
}

}  // namespace

int MarkRewrite(int fd, const Backup& backup) {
    std::string directory;
    struct stat info;
    if (!AbsolutePathOf(*backup.place, &directory) || fstat(backup.place->fd, &info) != 0) {
        return errno;
    }
    const std::string separator = directory == "/" ? "" : "/";
    const std::string value =
        std::to_string(info.st_ino) + " " + directory + separator + backup.name;
    // Durable before any byte of the recipe changes: a torn recipe always carries it.
    if (fsetxattr(fd, kRewriteMark, value.data(), value.size(), 0) != 0 || fsync(fd) != 0) {
        return errno;
    }
    return 0;
}

void UnmarkRewrite(int fd) {
    fremovexattr(fd, kRewriteMark);
}

int MarkUnsupported(int fd) {
    if (fgetxattr(fd, kRewriteMark, nullptr, 0) >= 0 || errno == ENODATA) {
        return 0;
    }
    return errno;
}

std::string UnmarkableError(const std::string& path, int error) {
    return "cannot write " + path +
           ": it can only be rewritten in place, and it cannot be marked while it is: " +
           strerror(error);
}

bool FindUnfinishedRewrite(const RecipeDirectory& directory, const RecipeDirectory* cache, int fd,
                           const struct stat& recipe, const char* path, std::string* message) {
    // First where backups lie by their names: the only places where the backups of versions
    // that set no mark can be found.
    const std::string beside = BackupNameBeside(recipe);
    if (Report(StateOf(directory.fd, beside), path, directory.path + "/" + beside, message)) {
        return true;
    }
    const std::string elsewhere = BackupNameElsewhere(recipe);
    if (cache != nullptr &&
        Report(StateOf(cache->fd, elsewhere), path, cache->path + "/" + elsewhere, message)) {
        return true;
    }
    ino_t directoryInode = 0;
    std::string backupPath;
    if (!ReadMark(fd, &directoryInode, &backupPath)) {
        return false;
    }
    if (!backupPath.empty() && Report(StateOf(AT_FDCWD, backupPath), path, backupPath, message)) {
        return true;
    }
    if (!backupPath.empty() && IsMarkedDirectory(backupPath, directoryInode)) {
        return false;  // the user checked the recipe and removed the backup
    }
    *message = "an earlier run stopped while rewriting " + std::string(path) +
               "; its previous text was kept in " +
               (backupPath.empty() ? std::string("a backup") : backupPath) +
               ", which cannot be found from here: check the recipe, then remove its extended "
               "attribute " +
               kRewriteMark;
    return true;
}

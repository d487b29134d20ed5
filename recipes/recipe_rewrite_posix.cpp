// Rewriting a recipe in place on Linux, with a backup and a mark that outlive a crash in the
// middle (see recipe_backup_posix.h).
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "recipes/recipe_backup_posix.h"
#include "recipes/recipe_file_posix.h"

namespace {

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

bool RewriteInPlace(RecipeDirectory& directory, BackupDirectories* elsewhere,
                    TempFileNaming* naming, const char* name, const struct stat& old,
                    const std::string& oldText, const std::string& newText, const std::string& path,
                    std::string* error) {
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
    // Only a mark on the file itself tells every later run that a crash tore it, whatever path,
    // user or mount reaches it; a file that cannot carry one is not rewritten.
    if (const int unmarkable = MarkUnsupported(fd)) {
        close(fd);
        *error = UnmarkableError(path, unmarkable);
        return false;
    }
    Backup backup;
    if (!MakeBackup(directory, elsewhere, naming, old, oldText, path, &backup, error)) {
        close(fd);
        return false;
    }
    const std::string backupPath = backup.place->path + "/" + backup.name;
    if (const int unmarked = MarkRewrite(fd, backup)) {
        UnmarkRewrite(fd);
        close(fd);
        RemoveBackup(&backup);
        *error = UnmarkableError(path, unmarked);
        return false;
    }
    directory.written = true;
    int failure = Rewrite(fd, newText, old.st_size);
    const bool restored =
        failure == 0 || Rewrite(fd, oldText, static_cast<off_t>(newText.size())) == 0;
    if (restored) {
        UnmarkRewrite(fd);
    }
    if (close(fd) != 0 && failure == 0) {
        failure = errno;
    }
    if (!restored) {
        ReleaseBackup(&backup);
        *error =
            FailureReason("write", path, failure) + "; its previous text is kept in " + backupPath;
        return false;
    }
    if (const int kept = RemoveBackup(&backup)) {
        *error = path + " is " + (failure == 0 ? "written" : "unchanged") + ", but its backup " +
                 backupPath + " cannot be removed: " + strerror(kept);
        return false;
    }
    if (failure != 0) {
        *error = FailureReason("write", path, failure);
        return false;
    }
    return true;
}

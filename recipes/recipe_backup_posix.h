// Backups of recipes rewritten in place on Linux: where they go, the mark a recipe carries while
// it is rewritten, and how a later run finds a rewrite that did not finish.
//
// A backup is named after the recipe's inode (and, outside the recipe's own directory, its
// device), not after its name: every name of a hard-linked recipe then finds it, and a long
// recipe name still leaves room for it. The mark on the recipe itself names the backup, so that
// every path to the file, whoever follows it, and whatever device number its file system has
// this time, leads to the backup.
#pragma once

#include <sys/stat.h>

#include <string>

#include "recipes/recipe_file_posix.h"

// The extended attribute that marks a recipe being rewritten in place. Its value: the inode
// number of the backup's directory, a blank, and the backup's absolute path.
constexpr char kRewriteMark[] = "user.rcpconv.backup";

// The directories besides a recipe's own that take its backup, opened when first needed.
struct BackupDirectories {
    RecipeDirectory cache;   // $XDG_CACHE_HOME/rcpconv or ~/.cache/rcpconv
    RecipeDirectory shared;  // /var/tmp/rcpconv-UID: outlives a reboot, unlike /tmp
};

void CloseBackupDirectories(BackupDirectories* directories);

// Opens the user's cache directory into *cache when it exists. Returns false when it does not
// or cannot be opened.
bool OpenExistingCacheDirectory(RecipeDirectory* cache);

// The name of a backup of the recipe whose stat is recipe: beside it, and in any other place.
std::string BackupNameBeside(const struct stat& recipe);
std::string BackupNameElsewhere(const struct stat& recipe);

// A backup that MakeBackup made.
struct Backup {
    RecipeDirectory* place = nullptr;  // the directory that holds it
    std::string name;
    int fd = -1;  // holds its lock until RemoveBackup or ReleaseBackup
};

// Makes a durable copy of text, the bytes of the recipe whose stat is recipe, with the recipe's
// group and read and write permissions, beside it in directory or, where nothing can be created
// there, in the cache directory, or else in the private directory under /var/tmp (each created
// when missing). The copy appears under its name whole and locked. Returns true with *backup;
// false with *error naming path (and, when no place takes the copy, every place tried).
bool MakeBackup(RecipeDirectory& directory, BackupDirectories* elsewhere, TempFileNaming* naming,
                const struct stat& recipe, const std::string& text, const std::string& path,
                Backup* backup, std::string* error);

// Removes the backup, then releases its lock. Returns 0 or the errno of the removal.
int RemoveBackup(Backup* backup);

// Releases the backup's lock and leaves it where it is.
void ReleaseBackup(Backup* backup);

// Returns true with *error when MakeBackup would find no place for a backup of the recipe at
// path in directory, with the error it would give; worked out without creating anything.
bool NoPlaceForBackup(const std::string& directory, const std::string& path, std::string* error);

// Marks the open recipe fd as being rewritten, naming backup, and makes the mark durable.
// Returns 0 or the errno of the step that failed.
int MarkRewrite(int fd, const Backup& backup);

// Removes the mark from the open recipe fd.
void UnmarkRewrite(int fd);

// The error of a recipe that only a rewrite in place can write and that cannot be marked.
std::string UnmarkableError(const std::string& path, int error);

// Returns 0 when the open recipe fd could carry the mark, else the errno that says why not.
int MarkUnsupported(int fd);

// Returns true with *message when the recipe open as fd, whose stat is recipe, in directory
// (path names it for the user), is in the middle of a rewrite: a crash interrupted one and left
// its backup (beside it, in cache, or where its mark says), or its mark names a backup that
// cannot be found, or another run is rewriting it now. cache may be null.
bool FindUnfinishedRewrite(const RecipeDirectory& directory, const RecipeDirectory* cache, int fd,
                           const struct stat& recipe, const char* path, std::string* message);

// What the Linux writer would meet at a recipe, found without changing anything: for previews.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <vector>

#include "recipes/recipe_backup_posix.h"
#include "recipes/recipe_file.h"
#include "recipes/recipe_file_posix.h"

namespace {

// The recipe at path and its directory, opened as the writer opens them, closed when it goes.
struct OpenedRecipe {
    RecipeDirectory directory;
    std::string name;
    int fd = -1;
    struct stat info = {};

    ~OpenedRecipe() {
        if (fd >= 0) {
            close(fd);
        }
        CloseRecipeDirectory(&directory);
    }

    // Returns true when the recipe is open; false with *error empty when there is none (nor,
    // perhaps, its directory), or with *error when it cannot be opened.
    bool Open(const char* path, std::string* error) {
        error->clear();
        name = BaseNameOf(path);
        if (!OpenRecipeDirectory(DirectoryOf(path), &directory)) {
            if (errno != ENOENT) {
                *error = FailureReason("read", path, errno);
            }
            return false;
        }
        fd = OpenRecipe(directory, path, &name, &info, error);
        return fd >= 0;
    }
};

bool IsMemberOf(gid_t group) {
    if (group == getegid()) {
        return true;
    }
    const int count = getgroups(0, nullptr);
    std::vector<gid_t> groups(count > 0 ? static_cast<size_t>(count) : 0);
    const int got = count > 0 ? getgroups(count, groups.data()) : 0;
    for (int i = 0; i < got; ++i) {
        if (groups[static_cast<size_t>(i)] == group) {
            return true;
        }
    }
    return false;
}

// True when the writer would rewrite the recipe in place, not replace it by a new file: it has
// other links, it is someone else's, its directory takes no new file, or a new file could not
// take its group or its inode flags (see ReplaceByRename).
bool RewrittenInPlace(const OpenedRecipe& recipe) {
    const uid_t user = geteuid();
    return recipe.info.st_nlink != 1 || recipe.info.st_uid != user ||
           faccessat(recipe.directory.fd, ".", W_OK | X_OK, AT_EACCESS) != 0 ||
           (user != 0 && !IsMemberOf(recipe.info.st_gid)) ||
           KeptInodeFlags(recipe.fd) != InheritedInodeFlags(recipe.directory.fd);
}

// The check of CheckRecipeWritable for a recipe not there yet, whose directory may be missing
// too (the run makes it first).
bool CanCreate(const char* path, const RecipeDirectory& directory, std::string* error) {
    const long limit = directory.fd >= 0 ? fpathconf(directory.fd, _PC_NAME_MAX) : NAME_MAX;
    if (limit > 0 && BaseNameOf(path).size() > static_cast<size_t>(limit)) {
        *error = NameTooLong(path, directory.fd);
        return false;
    }
    if (directory.fd >= 0 && faccessat(directory.fd, ".", W_OK | X_OK, AT_EACCESS) != 0) {
        *error = FailureReason("write", path, errno);
        return false;
    }
    return true;
}

}  // namespace

bool ReadRecipeFile(const char* path, RecipeFileBytes* recipe, std::string* error) {
    recipe->exists = false;
    recipe->text.clear();
    OpenedRecipe opened;
    const bool open = opened.Open(path, error);
    recipe->fileName = opened.name;
    if (!open) {
        return error->empty();
    }
    if (!ReadAll(opened.fd, opened.info.st_size, &recipe->text)) {
        *error = FailureReason("read", path, errno);
        return false;
    }
    recipe->exists = true;
    return true;
}

bool FindInterruptedRewrite(const char* path, std::string* message) {
    OpenedRecipe recipe;
    std::string unreadable;
    if (!recipe.Open(path, &unreadable)) {
        return false;
    }
    RecipeDirectory cache;
    const bool cacheOpen = OpenExistingCacheDirectory(&cache);
    const bool found = FindUnfinishedRewrite(recipe.directory, cacheOpen ? &cache : nullptr,
                                             recipe.fd, recipe.info, path, message);
    CloseRecipeDirectory(&cache);
    return found;
}

bool CheckRecipeWritable(const char* path, std::string* error) {
    OpenedRecipe recipe;
    if (!recipe.Open(path, error)) {
        return error->empty() && CanCreate(path, recipe.directory, error);
    }
    int failure =
        WritableError(recipe.directory, recipe.name.c_str(), recipe.fd, recipe.info, geteuid());
    // A read-only file system stops whichever road the writer takes.
    if (failure == 0 &&
        faccessat(recipe.directory.fd, recipe.name.c_str(), W_OK, AT_EACCESS) != 0 &&
        errno == EROFS) {
        failure = EROFS;
    }
    if (failure != 0) {
        *error = FailureReason("write", path, failure);
        return false;
    }
    if (!RewrittenInPlace(recipe)) {
        return true;
    }
    if (const int unmarkable = MarkUnsupported(recipe.fd)) {
        *error = UnmarkableError(path, unmarkable);
        return false;
    }
    return !NoPlaceForBackup(recipe.directory.path, path, error);
}

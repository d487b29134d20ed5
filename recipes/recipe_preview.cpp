// Recipe previews: the file read as the writer reads it, the edit made in memory only.
#include "recipes/recipe_preview.h"

#include <errno.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "recipes/ini_edit.h"
#include "recipes/recipe_file.h"
#include "recipes/recipe_file_name.h"
#ifndef _WIN32
#include "recipes/recipe_file_posix.h"
#endif
#include "text/codepage.h"

namespace {

constexpr size_t kReadChunk = 65536;

std::string Reason(const char* what, const std::string& path, int error) {
    return std::string("cannot ") + what + " " + path + ": " + strerror(error);
}

#ifdef _WIN32
bool LinkLeavesDirectory(const std::string&, std::string*) {
    return false;
}

// Returns 0 when the file at path could be written, else the errno that says why not.
int WriteDenied(const std::string& path, bool exists) {
    return exists && _access(path.c_str(), 2) != 0 ? errno : 0;
}
#else
// The writer touches nothing outside the recipe's directory: a link to a file elsewhere, or
// to none, is refused. Returns true with *error then.
bool LinkLeavesDirectory(const std::string& path, std::string* error) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        return false;
    }
    std::string target;
    return !FollowLink(path.c_str(), &target, error);
}

// Returns 0 when the file at path (or, when it does not exist, a new file in its directory)
// could be written, else the errno that says why not. A file without any write permission
// counts as unwritable even for root, as the writer treats it.
int WriteDenied(const std::string& path, bool exists) {
    if (!exists) {
        const std::string directory = DirectoryOf(path);
        struct stat info;
        if (stat(directory.c_str(), &info) != 0) {
            return 0;  // the run makes the directory first
        }
        return faccessat(AT_FDCWD, directory.c_str(), W_OK | X_OK, AT_EACCESS) != 0 ? errno : 0;
    }
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        return EACCES;
    }
    return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 ? errno : 0;
}
#endif

}  // namespace

bool ReadRecipeFile(const std::string& path, std::string* text, bool* exists, std::string* error) {
    *exists = false;
    text->clear();
    if (LinkLeavesDirectory(path, error)) {
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        if (errno == ENOENT) {
            return true;
        }
        *error = Reason("read", path, errno);
        return false;
    }
    char chunk[kReadChunk];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        text->append(chunk, got);
    }
    const bool failed = std::ferror(file) != 0;
    const int readErrno = errno;
    std::fclose(file);
    if (failed) {
        *error = Reason("read", path, readErrno);
        return false;
    }
    *exists = true;
    return true;
}

bool PreviewRecipeFile(const std::string& path, const RecipeEntryList& entries,
                       const Codepage& codepage, RecipePreview* preview, std::string* error) {
    if (!ReadRecipeFile(path, &preview->before, &preview->existed, error) ||
        (preview->existed && FindInterruptedRewrite(path.c_str(), error))) {
        return false;
    }
    preview->after = preview->before;
    preview->changedEntries = 0;
    const IniEditStatus status =
        ApplyIniEntries(&preview->after, entries, codepage, &preview->changedEntries);
    switch (status) {
        case IniEditStatus::kNotEditable:
        case IniEditStatus::kUnconvertible:
            *error = IniEditRefusal(status, path, codepage);
            return false;
        case IniEditStatus::kUnchanged:
            preview->change = RecipeChange::kUnchanged;
            return true;
        case IniEditStatus::kChanged:
            break;
    }
    preview->change = preview->existed ? RecipeChange::kUpdate : RecipeChange::kCreate;
    const int denied = WriteDenied(path, preview->existed);
    if (denied != 0) {
        *error = Reason("write", path, denied);
        return false;
    }
    return true;
}

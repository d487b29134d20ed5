// Recipe files where there is no profile-string service: each recipe edited in memory, then
// written by the cheapest road that loses nothing (see recipe_file.h).
#include "recipes/recipe_file.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "recipes/ini_edit.h"
#include "recipes/recipe_file_posix.h"
#include "text/codepage.h"

namespace {

constexpr mode_t kAnyWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr int kReadFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

std::string BaseNameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// The rest of the open file fd, whose size is about size, into *text. Returns false with errno.
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

// Renaming over a file ignores its own permissions; a file nobody may write stays unwritten,
// as Windows keeps a read-only file even for an administrator.
int WritableError(const RecipeDirectory& directory, const char* name, const struct stat& info,
                  uid_t user) {
    if ((info.st_mode & kAnyWriteBits) == 0) {
        return EACCES;
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

// The message of a recipe whose rewrite a crash interrupted.
std::string InterruptedRewrite(const char* path, const std::string& backup) {
    return "an earlier run stopped while rewriting " + std::string(path) +
           "; its previous text is kept in " + backup +
           ": check the recipe, then remove the backup";
}

}  // namespace

struct RecipeFileWriter::Run {
    const Codepage* codepage;
    const uid_t user = geteuid();  // whose the files this run creates are
    TempFileNaming naming = TempFileNamingOfThisProcess();
    std::vector<RecipeDirectory> directories;  // every one written into, opened on first use
    RecipeDirectory cache;                     // where backups go that cannot lie beside
    bool cacheLookedFor = false;

    ~Run() {
        for (RecipeDirectory& directory : directories) {
            CloseRecipeDirectory(&directory);
        }
        CloseRecipeDirectory(&cache);
    }

    // The open directory at path, the abandoned temporary files in it removed on first use.
    // Returns null with errno set when it cannot be opened.
    RecipeDirectory* Directory(const std::string& path) {
        for (RecipeDirectory& directory : directories) {
            if (directory.path == path) {
                return &directory;
            }
        }
        RecipeDirectory opened;
        if (!OpenRecipeDirectory(path, &opened)) {
            return nullptr;
        }
        RemoveStaleTempFiles(opened, naming.host);
        directories.push_back(opened);
        return &directories.back();
    }

    // The cache directory when it exists, for the backups an earlier run may have left there.
    const RecipeDirectory* Cache() {
        if (!cacheLookedFor) {
            cacheLookedFor = true;
            OpenExistingCacheDirectory(&cache);
        }
        return cache.fd >= 0 ? &cache : nullptr;
    }

    // Applies entries to the existing recipe open as fd (name in directory, path for the
    // user). Returns true, *changed false when the recipe already held them; or false with
    // *error.
    bool Update(RecipeDirectory& directory, int fd, const char* name, const char* path,
                const RecipeEntryList& entries, bool* changed, std::string* error) {
        struct stat info;
        if (fstat(fd, &info) != 0) {
            *error = FailureReason("read", path, errno);
            return false;
        }
        if (S_ISDIR(info.st_mode)) {
            *error = FailureReason("read", path, EISDIR);
            return false;
        }
        if (!S_ISREG(info.st_mode)) {
            *error = std::string(path) + " is not a regular file";
            return false;
        }
        std::string backup;
        if (FindBackup({&directory, Cache()}, info, &backup)) {
            *error = InterruptedRewrite(path, backup);
            return false;
        }
        std::string oldText;
        if (!ReadAll(fd, info.st_size, &oldText)) {
            *error = FailureReason("read", path, errno);
            return false;
        }
        // A recipe just as a new conversion writes it stays so: the entries would change nothing.
        if (oldText == NewIniText(entries)) {
            return true;
        }
        std::string text = oldText;
        const IniEditStatus status = ApplyIniEntries(&text, entries, *codepage);
        switch (status) {
            case IniEditStatus::kUnchanged:
                return true;
            case IniEditStatus::kNotEditable:
            case IniEditStatus::kUnconvertible:
                *error = IniEditRefusal(status, path, *codepage);
                return false;
            case IniEditStatus::kChanged:
                break;
        }
        if (const int failure = WritableError(directory, name, info, user)) {
            *error = FailureReason("write", path, failure);
            return false;
        }
        // A file with other links, or someone else's, is not ours to replace.
        if (info.st_nlink == 1 && info.st_uid == user) {
            const ReplaceResult result =
                ReplaceByRename(directory, &naming, name, text, fd, &info, path, error);
            if (result != ReplaceResult::kKeepsIdentity) {
                *changed = result == ReplaceResult::kReplaced;
                return *changed;
            }
        }
        *changed = RewriteInPlace(directory, &cache, name, info, oldText, text, path, error);
        return *changed;
    }
};

RecipeFileWriter::RecipeFileWriter(const Codepage* codepage) : run_(new Run) {
    run_->codepage = codepage;
}

RecipeFileWriter::~RecipeFileWriter() = default;

bool RecipeFileWriter::Write(const char* path, const RecipeEntryList& entries, bool* changed,
                             std::string* error) {
    *changed = false;
    RecipeDirectory* directory = run_->Directory(DirectoryOf(path));
    if (directory == nullptr) {
        *error = FailureReason("write", path, errno);
        return false;
    }
    std::string name = BaseNameOf(path);
    int fd = openat(directory->fd, name.c_str(), kReadFlags);
    if (fd < 0 && errno == ELOOP) {
        std::string target;
        if (!FollowLink(path, &target, error)) {
            return false;
        }
        name = BaseNameOf(target);
        fd = openat(directory->fd, name.c_str(), kReadFlags);
    }
    if (fd < 0 && errno != ENOENT) {
        *error = FailureReason("read", path, errno);
        return false;
    }
    if (fd < 0) {
        *changed = !entries.empty() &&
                   ReplaceByRename(*directory, &run_->naming, name.c_str(), NewIniText(entries), -1,
                                   nullptr, path, error) == ReplaceResult::kReplaced;
        return entries.empty() || *changed;
    }

    const bool updated = run_->Update(*directory, fd, name.c_str(), path, entries, changed, error);
    close(fd);
    return updated;
}

bool RecipeFileWriter::Finish(std::string* error) {
    std::vector<dev_t> flushed;  // file systems already synced
    const auto flush = [&flushed, error](RecipeDirectory& directory) {
        struct stat info;
        if (!directory.written || fstat(directory.fd, &info) != 0) {
            return true;
        }
        directory.written = false;
        bool ok = true;
        if (!directory.readable) {
            sync();  // a directory that cannot be read cannot name its file system
        } else {
            const bool seen =
                std::find(flushed.begin(), flushed.end(), info.st_dev) != flushed.end();
            ok = (seen || syncfs(directory.fd) == 0) && fsync(directory.fd) == 0;
            flushed.push_back(info.st_dev);
        }
        if (!ok) {
            *error = "cannot flush the recipes written to " + directory.path +
                     " to the disk: " + strerror(errno);
        }
        return ok;
    };
    for (RecipeDirectory& directory : run_->directories) {
        if (!flush(directory)) {
            return false;
        }
    }
    return flush(run_->cache);
}

bool FindInterruptedRewrite(const char* path, std::string* message) {
    struct stat info;
    RecipeDirectory directory;
    if (stat(path, &info) != 0 || !OpenRecipeDirectory(DirectoryOf(path), &directory)) {
        return false;
    }
    RecipeDirectory cache;
    const bool cacheOpen = OpenExistingCacheDirectory(&cache);
    std::string backup;
    const bool found = FindBackup({&directory, cacheOpen ? &cache : nullptr}, info, &backup);
    CloseRecipeDirectory(&directory);
    CloseRecipeDirectory(&cache);
    if (found) {
        *message = InterruptedRewrite(path, backup);
    }
    return found;
}

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
#include "recipes/recipe_backup_posix.h"
#include "recipes/recipe_file_posix.h"
#include "text/codepage.h"

namespace {

// A new recipe is tried again as an update when another run made it meanwhile; one more
// attempt than that means the two keep racing, and the error is reported.
constexpr int kNewRecipeAttempts = 2;

}  // namespace

struct RecipeFileWriter::Run {
    const Codepage* codepage;
    const uid_t user = geteuid();  // whose the files this run creates are
    TempFileNaming naming = TempFileNamingOfThisProcess();
    std::vector<RecipeDirectory> directories;  // every one written into, opened on first use
    BackupDirectories elsewhere;  // where backups go that cannot lie beside their recipe
    bool cacheLookedFor = false;

    ~Run() {
        for (RecipeDirectory& directory : directories) {
            CloseRecipeDirectory(&directory);
        }
        CloseBackupDirectories(&elsewhere);
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
        if (!cacheLookedFor && elsewhere.cache.fd < 0) {
            cacheLookedFor = true;
            OpenExistingCacheDirectory(&elsewhere.cache);
        }
        return elsewhere.cache.fd >= 0 ? &elsewhere.cache : nullptr;
    }

    // Applies entries to the existing recipe open as fd, whose stat is info (name in directory,
    // path for the user). Returns true, *changed false when the recipe already held them; or
    // false with *error.
    bool Update(RecipeDirectory& directory, int fd, const struct stat& info, const char* name,
                const char* path, const RecipeEntryList& entries, bool* changed,
                std::string* error) {
        if (FindUnfinishedRewrite(directory, Cache(), fd, info, path, error)) {
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
        if (const int failure = WritableError(directory, name, fd, info, user)) {
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
        *changed =
            RewriteInPlace(directory, &elsewhere, &naming, name, info, oldText, text, path, error);
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
    for (int attempt = 1;; ++attempt) {
        std::string name = BaseNameOf(path);
        struct stat info;
        const int fd = OpenRecipe(*directory, path, &name, &info, error);
        if (fd >= 0) {
            const bool updated =
                run_->Update(*directory, fd, info, name.c_str(), path, entries, changed, error);
            close(fd);
            return updated;
        }
        if (!error->empty()) {
            return false;
        }
        if (entries.empty()) {
            return true;
        }
        const ReplaceResult result = ReplaceByRename(*directory, &run_->naming, name.c_str(),
                                                     NewIniText(entries), -1, nullptr, path, error);
        // Another run made the recipe since it was looked for: update the file it made.
        if (result != ReplaceResult::kNameTaken || attempt == kNewRecipeAttempts) {
            *changed = result == ReplaceResult::kReplaced;
            return *changed;
        }
        error->clear();
    }
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
    return flush(run_->elsewhere.cache) && flush(run_->elsewhere.shared);
}

// Recipe files on Windows: each set's entries written through the profile-string service and
// read back; a recipe the service left short or mixed goes back to what it was.
//
// The service re-writes a file as it likes and may say it succeeded when the disk was full
// (Wine then leaves a new file empty and cuts an old one at a page), so nothing it answers is
// taken on trust: an existing recipe is first copied to a backup beside it, and after the writes
// every entry is read back through the service and every other line compared with the backup.
#include "recipes/recipe_file.h"

#include <windows.h>

#include <cstring>
#include <utility>

#include "recipes/recipe_read_back.h"
#include "recipes/recipe_file_name.h"
#include "recipes/recipe_preview.h"
#include "text/system_error.h"

namespace {

// A backup is named after its recipe with this in place of ".rcp": a name as long as the
// recipe's, so that any recipe path Windows takes leaves room for its backup beside it.
const char kBackupExtension[] = ".rc~";
// What GetPrivateProfileStringA gives for a missing key: no value read from a file holds a
// line break.
const char kMissingValue[] = "\n?";
// Room for the longest entry text and more, so that a longer value read back shows as such.
constexpr DWORD kReadBackBytes = 2 * (kMaxEntryTextChars + 1);

std::string BackupPathOf(const std::string& path) {
    const size_t extension = std::strlen(kRecipeExtension);
    if (path.size() > extension &&
        path.compare(path.size() - extension, extension, kRecipeExtension) == 0) {
        return path.substr(0, path.size() - extension) + kBackupExtension;
    }
    return path + kBackupExtension;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string InterruptedRewrite(const std::string& path, const std::string& backup) {
    return "an earlier run stopped while rewriting " + path + "; its previous text is kept in " +
           backup + ": check the recipe, then remove the backup";
}

bool IsUtf16(const std::string& text) {
    return text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0;
}

// Copies the recipe at path to backup and reads what it holds into *before. Returns false with
// *error, and no backup left, when either fails or the recipe is UTF-16 text, which the
// service writes in another form than the one read back here.
bool MakeBackup(const std::string& path, const std::string& backup, std::string* before,
                std::string* error) {
    if (!CopyFileA(path.c_str(), backup.c_str(), TRUE)) {
        const DWORD failure = GetLastError();
        DeleteFileA(backup.c_str());
        *error = "cannot back up " + path + " before changing it: " + DescribeSystemError(failure);
        return false;
    }
    // The copy takes the recipe's attributes; a read-only one could not be removed afterwards.
    SetFileAttributesA(backup.c_str(), FILE_ATTRIBUTE_NORMAL);
    RecipeFileBytes copy;
    std::string unread;
    if (!ReadRecipeFile(backup.c_str(), &copy, &unread) || !copy.exists) {
        *error = "cannot back up " + path + ": " +
                 (unread.empty() ? "the copy " + backup + " vanished" : unread);
    } else if (IsUtf16(copy.text)) {
        *error = "cannot edit " + path + ": the file is UTF-16 text";
    } else {
        *before = std::move(copy.text);
        return true;
    }
    DeleteFileA(backup.c_str());
    return false;
}

// Writes entries one by one, stopping at the first that fails. Returns false with *error.
bool WriteEntries(const RecipeEntryList& entries, const std::string& path, std::string* error) {
    for (const RecipeEntry& entry : entries) {
        if (!WritePrivateProfileStringA(entry.section, entry.key, entry.text, path.c_str())) {
            *error = std::string("cannot write [") + entry.section + "] " + entry.key + " to " +
                     path + ": " + DescribeSystemError(GetLastError());
            return false;
        }
    }
    return true;
}

// Reads every entry back through the service and compares the rest of the file with before.
// Returns true with the file's bytes in *after, or false with *error saying what is wrong.
bool CheckWritten(const std::string& path, const std::string& before,
                  const RecipeEntryList& entries, std::string* after, std::string* error) {
    // The service may answer from what it keeps of the file in memory; this makes it read the
    // file itself again (documented: all three names null flush its cache).
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
    const std::string notWhole = path + " was not written whole (is the disk full?): ";
    for (const RecipeEntry& entry : entries) {
        char text[kReadBackBytes];
        GetPrivateProfileStringA(entry.section, entry.key, kMissingValue, text, sizeof text,
                                 path.c_str());
        if (ReadBackMatches(entry.text, text)) {
            continue;
        }
        const std::string key = std::string("[") + entry.section + "] " + entry.key;
        *error = notWhole + (std::strcmp(text, kMissingValue) == 0
                                 ? key + " is missing"
                                 : key + " reads \"" + text + "\", not \"" + entry.text + "\"");
        return false;
    }
    RecipeFileBytes written;
    std::string difference;
    if (!ReadRecipeFile(path.c_str(), &written, error)) {
        return false;
    }
    *after = std::move(written.text);
    if (!KeepsOtherLines(before, *after, entries, &difference)) {
        *error = notWhole + difference;
        return false;
    }
    return true;
}

// Puts the recipe at path back as it was after writes that failed: its old bytes from backup,
// or no file when there was none. Returns what became of it, to follow the failure's reason.
std::string Undo(const std::string& path, const std::string* backup, const std::string& before) {
    if (backup == nullptr) {
        if (DeleteFileA(path.c_str())) {
            return "; the unfinished recipe was removed";
        }
        return IsFile(path) ? "; the unfinished recipe could not be removed" : "";
    }
    RecipeFileBytes now;
    std::string unread;
    const bool unchanged =
        ReadRecipeFile(path.c_str(), &now, &unread) && now.exists && now.text == before;
    // A rename needs no room on a full disk; a copy keeps the file itself.
    if ((unchanged && DeleteFileA(backup->c_str())) ||
        MoveFileExA(backup->c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) ||
        (CopyFileA(backup->c_str(), path.c_str(), FALSE) && DeleteFileA(backup->c_str()))) {
        return "; the recipe keeps its old text";
    }
    return "; its old text is kept in " + *backup;
}

}  // namespace

struct RecipeFileWriter::Run {};

RecipeFileWriter::RecipeFileWriter(const Codepage*) {}

RecipeFileWriter::~RecipeFileWriter() = default;

bool RecipeFileWriter::Write(const char* path, const RecipeEntryList& entries, bool* changed,
                             std::string* error) {
    *changed = false;
    const std::string recipe = path;
    const std::string backup = BackupPathOf(recipe);
    if (Exists(backup)) {
        *error = InterruptedRewrite(recipe, backup);
        return false;
    }
    const bool existed = IsFile(recipe);
    std::string before;
    if (existed && !MakeBackup(recipe, backup, &before, error)) {
        return false;
    }
    std::string after;
    if (!WriteEntries(entries, recipe, error) ||
        !CheckWritten(recipe, before, entries, &after, error)) {
        *error += Undo(recipe, existed ? &backup : nullptr, before);
        return false;
    }
    *changed = !existed || after != before;
    if (existed && !DeleteFileA(backup.c_str())) {
        *error = recipe + " is written, but its backup " + backup +
                 " cannot be removed: " + DescribeSystemError(GetLastError());
        return false;
    }
    return true;
}

// The service has written each entry through to its file.
bool RecipeFileWriter::Finish(std::string*) {
    return true;
}

bool FindInterruptedRewrite(const char* path, std::string* message) {
    const std::string backup = BackupPathOf(path);
    if (!Exists(backup)) {
        return false;
    }
    *message = InterruptedRewrite(path, backup);
    return true;
}

// The pieces of the Linux recipe writer: directories open for a run, temporary files, the
// replacement by rename and the rewrite in place with a backup.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

// "cannot WHAT PATH: <error text>", the message of a failed step.
std::string FailureReason(const char* what, const std::string& path, int error);

// The directory part of path ("." for a bare name).
std::string DirectoryOf(const std::string& path);

// The file a link at path names into *target, as Windows follows it. A link is followed only to
// a file in its own directory, so that nothing outside the output directory is ever touched; a
// link that leads elsewhere, or nowhere, is an error. Returns true, or false with *error.
bool FollowLink(const char* path, std::string* target, std::string* error);

// Writes all of text at the file's current offset (offset < 0) or at offset. Returns false
// with errno set.
bool WriteAll(int fd, const std::string& text, off_t offset = -1);

// A directory the run writes recipes into, open for the whole run.
struct RecipeDirectory {
    std::string path;       // as the recipe paths spell it
    int fd = -1;            // open for reading, or only for lookups when it cannot be read
    bool readable = false;  // fd can be flushed and listed
    bool written = false;   // a file in it was created, replaced or rewritten
};

// Opens path for the run into *directory. Returns false with errno set.
bool OpenRecipeDirectory(const std::string& path, RecipeDirectory* directory);
void CloseRecipeDirectory(RecipeDirectory* directory);

// The name this machine goes by in temporary file names: its host name, with every character
// that does not belong in a file name replaced.
std::string HostNameForFiles();

// How this process names its temporary files: ".rcp-HOST-PID-N.tmp", so that a later run can
// tell whether one was abandoned.
struct TempFileNaming {
    std::string host;    // see HostNameForFiles
    std::string prefix;  // ".rcp-HOST-PID-"
    unsigned next = 0;   // N of the next one
};

TempFileNaming TempFileNamingOfThisProcess();

// Creates a new, empty temporary file in directory with mode (narrowed by the umask). Returns
// its descriptor with its name in *name, or -1 with errno set.
int CreateTempFile(const RecipeDirectory& directory, TempFileNaming* naming, mode_t mode,
                   std::string* name);

// Removes the temporary files of this program that certainly belong to no running writer:
// made on this host by a process that is gone, or not touched for a day. Other files, and
// temporary files it cannot judge, stay.
void RemoveStaleTempFiles(const RecipeDirectory& directory, const std::string& host);

// What ReplaceByRename did.
enum class ReplaceResult {
    kReplaced,       // the file at name holds text
    kKeepsIdentity,  // the old file has something a new one would lose: nothing done
    kFailed,         // *error says why; the old file (if any) is as it was
};

// Writes text to a temporary file in directory and renames it to name. old is the file there
// now (oldFd open on it), or null when there is none (oldFd -1): then the new file needs no flush
// of its own (it holds no old data, and the run is made durable at its end), and a file that
// appears there meanwhile is not replaced. With old, the new file gets its owner group, permissions
// and extended attributes and is flushed before it replaces it; where they cannot be made the same,
// or the directory cannot take a new file, nothing is done. path names the recipe in *error.
ReplaceResult ReplaceByRename(RecipeDirectory& directory, TempFileNaming* naming, const char* name,
                              const std::string& text, int oldFd, const struct stat* old,
                              const std::string& path, std::string* error);

// Where a backup made before a rewrite in place lies, when a crash left it there.
struct BackupPlaces {
    const RecipeDirectory* beside;  // the recipe's own directory
    const RecipeDirectory* cache;   // the user's cache directory, or null when it does not exist
};

// Looks for a backup of the file old (a recipe) left by an interrupted rewrite. Returns true
// with its path in *backupPath when there is one.
bool FindBackup(const BackupPlaces& places, const struct stat& old, std::string* backupPath);

// Opens the user's cache directory for this program ($XDG_CACHE_HOME/rcpconv or
// ~/.cache/rcpconv) into *cache when it exists. Returns false when it does not or cannot be
// opened.
bool OpenExistingCacheDirectory(RecipeDirectory* cache);

// Rewrites the file name in directory, whose stat is old and whose bytes are oldText, to hold
// newText, keeping the file itself (its links, owner and attributes). First a copy of oldText
// is made durable beside it, or, where nothing can be created there, in the cache directory
// (created when missing; *cache opened on it); the new text is reserved, written and flushed;
// then the copy is removed. When the rewrite fails the old text is put back. Returns true, or
// false with *error naming path.
bool RewriteInPlace(RecipeDirectory& directory, RecipeDirectory* cache, const char* name,
                    const struct stat& old, const std::string& oldText, const std::string& newText,
                    const std::string& path, std::string* error);

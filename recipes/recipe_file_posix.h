// The pieces of the Linux recipe writer: directories open for a run, the recipe opened as the
// writer reads it, temporary files, the replacement by rename and the rewrite in place.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

struct BackupDirectories;

// "cannot WHAT PATH: <error text>", the message of a failed step.
std::string FailureReason(const char* what, const std::string& path, int error);

// The directory part of path ("." for a bare name), and the name after it.
std::string DirectoryOf(const std::string& path);
std::string BaseNameOf(const std::string& path);

// The file a link at path names into *target, as Windows follows it. A link is followed only to
// a file in its own directory, so that nothing outside the output directory is ever touched; a
// link that leads elsewhere, or nowhere, is an error. Returns true, or false with *error.
bool FollowLink(const char* path, std::string* target, std::string* error);

// Writes all of text at the file's current offset (offset < 0) or at offset. Returns false
// with errno set.
bool WriteAll(int fd, const std::string& text, off_t offset = -1);

// The rest of the open file fd, whose size is about size, into *text. Returns false with errno.
bool ReadAll(int fd, off_t size, std::string* text);

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

// Opens the recipe *name in directory (path names it for the user) for reading as the writer
// reads it: without waiting for a pipe or device, a link followed as FollowLink follows it
// (*name then the name of the file it leads to). Returns its descriptor with *info; -1 with
// *error empty when there is no file; -1 with *error when it is no regular file, its name is
// too long for the file system, or it cannot be opened.
int OpenRecipe(const RecipeDirectory& directory, const char* path, std::string* name,
               struct stat* info, std::string* error);

// The error of a recipe whose name the file system of directory cannot hold.
std::string NameTooLong(const std::string& path, int directoryFd);

// Returns 0 when the file name in directory, open as fd, whose stat is info, may be written by
// user, else the errno that says why not. A file nobody may write stays unwritten, even by the
// superuser, as Windows keeps a read-only file even for an administrator; so does an immutable
// or append-only one.
int WritableError(const RecipeDirectory& directory, const char* name, int fd,
                  const struct stat& info, uid_t user);

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

// Creates a new, empty temporary file in directory with mode (narrowed by the umask) and locks
// it (flock) for as long as the descriptor stays open, so that no other run takes it for
// abandoned. Returns its descriptor with its name in *name, or -1 with errno set.
int CreateTempFile(const RecipeDirectory& directory, TempFileNaming* naming, mode_t mode,
                   std::string* name);

// True when name in the directory directoryFd is still the file open as fd: nobody removed it
// or put another file in its place.
bool IsStillNamed(int directoryFd, const std::string& name, int fd);

// Removes the temporary files of this program that certainly belong to no running writer:
// unlocked, and made on this host by a process that is gone or not touched for a day. Other
// files, and temporary files it cannot judge, stay.
void RemoveStaleTempFiles(const RecipeDirectory& directory, const std::string& host);

// The inode flags of the open file (chattr's attributes) that a new file does not take over
// by itself; 0 where the file system keeps none.
unsigned KeptInodeFlags(int fd);

// The flags a new file in the open directory takes from it; 0 where it passes on none.
unsigned InheritedInodeFlags(int directoryFd);

// What ReplaceByRename did.
enum class ReplaceResult {
    kReplaced,       // the file at name holds text
    kKeepsIdentity,  // the old file has something a new one would lose: nothing done
    kNameTaken,      // no old file, but one appeared at name meanwhile: nothing done
    kFailed,         // *error says why; the old file (if any) is as it was
};

// Writes text to a temporary file in directory and renames it to name. old is the file there
// now (oldFd open on it), or null when there is none (oldFd -1): then the new file needs no flush
// of its own (it holds no old data, and the run is made durable at its end), and a file that
// appears there meanwhile is not replaced. With old, the new file is made accessible to nobody
// but its owner, gets the old one's group, permissions, inode flags and extended attributes and
// is flushed before it replaces it; where they cannot be made the same, or the directory cannot
// take a new file, nothing is done. A temporary file that is no longer the one written is not
// renamed. path names the recipe in *error.
ReplaceResult ReplaceByRename(RecipeDirectory& directory, TempFileNaming* naming, const char* name,
                              const std::string& text, int oldFd, const struct stat* old,
                              const std::string& path, std::string* error);

// Rewrites the file name in directory, whose stat is old and whose bytes are oldText, to hold
// newText, keeping the file itself (its links, owner and attributes). First a copy of oldText
// is made durable (see MakeBackup) and the file marked with where it is (see MarkRewrite); the
// new text is reserved, written and flushed; then the mark and the copy are removed. When the
// rewrite fails the old text is put back. Returns true, or false with *error naming path.
bool RewriteInPlace(RecipeDirectory& directory, BackupDirectories* elsewhere,
                    TempFileNaming* naming, const char* name, const struct stat& old,
                    const std::string& oldText, const std::string& newText, const std::string& path,
                    std::string* error);

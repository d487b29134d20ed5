// Writes recipes' entries into their files, creating or updating them, for one run.
#pragma once

#include <memory>
#include <string>

#include "recipes/recipe_entries.h"

class Codepage;

// One run's recipe writes. Write each recipe, then call Finish once before telling the user
// that the recipes are written.
//
// Each Write applies entries to the recipe file at path as WritePrivateProfileStringA would,
// one after the other: it creates the file when it is missing and entries is not empty;
// otherwise it edits it in place. On Windows each entry goes through WritePrivateProfileStringA:
// an existing recipe is first copied to a backup beside it (NAME.rc~), and the entries and the
// file's other lines are read back afterwards; when a write fails or the file does not hold what
// it should (a full disk), the recipe gets its old bytes back, or a new one is removed. A backup
// left behind is an interrupted rewrite, as below.
// Elsewhere the whole set is applied in memory and the file left untouched when nothing changes;
// a new file is written beside its name and renamed into place (when another run made it
// meanwhile, that file is updated instead); an existing one is replaced the same way (flushed
// first) where the result cannot be told from the old file but for its text, and otherwise
// rewritten in place, marked and with a backup kept until the new text is on the disk. A
// backup that a crash left behind is never overwritten: that recipe is an error until the user
// removes it, and so is a recipe another run is rewriting at the same time. A link is followed
// only to a file in its own directory; any other link is an error that touches nothing. The
// first write into a directory removes the temporary files that earlier runs certainly
// abandoned there.
class RecipeFileWriter {
  public:
    // codepage is the ANSI code page of the entries, for a recipe that is UTF-8 text; on
    // Windows the service converts with the system's own and it may be null.
    explicit RecipeFileWriter(const Codepage* codepage);
    ~RecipeFileWriter();
    RecipeFileWriter(const RecipeFileWriter&) = delete;
    RecipeFileWriter& operator=(const RecipeFileWriter&) = delete;

    // Returns true on success, *changed saying whether the file is new or its text changed
    // (false when it already held every entry); false with *error (one line naming the file)
    // saying why.
    bool Write(const char* path, const RecipeEntryList& entries, bool* changed, std::string* error);

    // Makes everything written so far durable: on Linux one flush of each file system written
    // to, then of each directory. Returns false with *error when that fails.
    bool Finish(std::string* error);

  private:
    struct Run;
    std::unique_ptr<Run> run_;
};

// The checks a preview makes to tell what the writer would meet, found without changing
// anything.

// A recipe file as the writer finds it.
struct RecipeFileBytes {
    bool exists = false;
    // The name, in the recipe's directory, of the file the writer writes: the recipe's own, or
    // that of the file a link leads to.
    std::string fileName;
    std::string text;  // its bytes
};

// Reads the recipe file at path into *recipe as the writer reads it: where files can be links
// (not on Windows) a link is followed only to a file in its own directory, and anything but a
// regular file is refused without waiting for it (a pipe). Returns true, recipe->exists false
// when there is no file; false with *error (the writer's) when it cannot be read.
bool ReadRecipeFile(const char* path, RecipeFileBytes* recipe, std::string* error);

// Returns true with *message when the writer would refuse the recipe at path because a rewrite
// of it has not finished: a crash interrupted one and left its backup (the user checks the
// recipe, then removes the backup), or (not on Windows) another run is rewriting it now.
bool FindInterruptedRewrite(const char* path, std::string* message);

// Returns true when the writer could write a changed text into the recipe at path (or create
// it); false with *error, the writer's own, when it would refuse: no permission, a name too long
// for the file system, or (not on Windows) a recipe that only a rewrite in place can write and
// that cannot be marked while it is, or whose backup no place would take.
bool CheckRecipeWritable(const char* path, std::string* error);

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
// a new file is written beside its name and renamed into place; an existing one is replaced the
// same way (flushed first) where the result cannot be told from the old file but for its text,
// and otherwise rewritten in place with a backup kept until the new text is on the disk. A
// backup that a crash left behind is never overwritten: that recipe is an error until the user
// removes it. A link is followed only to a file in its own directory; any other link is an
// error that touches nothing. The first write into a directory removes the temporary files
// that earlier runs certainly abandoned there.
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

// Returns true with *message when a crash left the backup of an interrupted rewrite of the
// recipe at path: the writer refuses that recipe until the user has checked it and removed the
// backup, and so does a preview.
bool FindInterruptedRewrite(const char* path, std::string* message);

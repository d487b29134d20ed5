// The recipe file name of a settings set and the path it goes to, by Windows' file-name rules.
#pragma once

#include <cstddef>
#include <string>

class Codepage;

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

constexpr const char* kRecipeExtension = ".rcp";

// The longest directory path CreateDirectory makes: with its terminator it must leave room in
// MAX_PATH for an 8.3 file name (248 of 260).
constexpr size_t kMaxCreatableDirectoryChars = 247;

// Checks a file name (without extension) against what Windows accepts: none of < > : " / \ | ?
// *, no control character, not empty, and not a device name (CON, PRN, AUX, NUL, CONIN$,
// CONOUT$, COM1-COM9, LPT1-LPT9, and COM or LPT with a superscript 1, 2 or 3, in any case,
// alone or followed by a dot and more). fileName is text in codepage, or UTF-8 when codepage is
// null: its characters are checked, never single bytes of them (in code page 932 the second byte
// of many a character is the byte of '\' or '|'). The recipes are for Windows, so the rule holds
// on every platform; on Linux it also keeps "../x" inside the directory.
// Returns true when the name can be used; false with *reason, one line for the user in the
// encoding of fileName.
bool CheckWindowsFileName(const std::string& fileName, const Codepage* codepage,
                          std::string* reason);

// The reason a set is not converted when its name has characters the code page of this PC's
// file names (and of its registry listing) lacks: "its name has characters outside this PC's
// code page (1252)".
std::string OutsideCodepageReason(const Codepage& systemCodepage);

// Turns a set name (text in namesCodepage) into the base name of its recipe file: text in
// fileNamesCodepage, the code page of the platform's file names (Windows' ANSI code page), or
// UTF-8 when it is null (Linux). Returns false with *reason when the name holds a byte
// namesCodepage leaves undefined, has a character fileNamesCodepage lacks (it would be written
// under a look-alike name), or fails CheckWindowsFileName.
bool RecipeFileBaseName(const std::string& setName, const Codepage& namesCodepage,
                        const Codepage* fileNamesCodepage, std::string* fileName,
                        std::string* reason);

// The number of characters of text (in codepage, or UTF-8 when it is null) as Windows counts
// them against its path limits: UTF-16 units, a byte that forms no character counting as one.
size_t CountCharacters(const std::string& text, const Codepage* codepage);

// Forms directory, kPathSeparator (unless directory ends in one, as a drive's root "E:\" does),
// baseName and kRecipeExtension into *path; both parts are in codepage, or UTF-8 when it is
// null. A path of more than kMaxRecipePathChars characters is refused, never cut into another
// name: returns false with *reason then, else true.
bool FormRecipePath(const std::string& directory, const std::string& baseName,
                    const Codepage* codepage, std::string* path, std::string* reason);

// What the window does with its recipes directory before a run.
enum class DirectoryStep {
    kConvertInto,  // something is there already: it is used as it is (a drive's root, which
                   // CreateDirectory refuses, or a plain file, whose writes then fail one by one)
    kCreate,       // nothing is there: it is created
    kRefuse,       // nothing is there and Windows cannot create it: *reason says why
};

// Decides the step for a directory of the given number of characters (see CountCharacters),
// which exists or not. Returns it, with *reason for kRefuse.
DirectoryStep RecipeDirectoryStep(bool exists, size_t characters, std::string* reason);

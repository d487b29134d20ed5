// The recipe file name of a settings set and the path it goes to, by Windows' file-name rules.
#pragma once

#include <string>

class Codepage;

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

constexpr const char* kRecipeExtension = ".rcp";

// Checks a file name (without extension) against what Windows accepts: none of < > : " / \ | ?
// *, no control character, not empty, and not a device name (CON, PRN, AUX, NUL, CONIN$,
// CONOUT$, COM1-COM9, LPT1-LPT9, and COM or LPT with a superscript 1, 2 or 3, in any case,
// alone or followed by a dot and more). The name is in the encoding of the platform's file
// names (see FileNameCharacters): the superscripts are characters, not bytes. The recipes are
// for Windows, so the rule holds on every platform; on Linux it also keeps "../x" inside the
// directory.
// Returns true when the name can be used; false with *reason, one line for the user.
bool CheckWindowsFileName(const std::string& fileName, std::string* reason);

// Turns a set name (ANSI code page) into the base name of its recipe file: the name itself
// when codepage is null, else its UTF-8 form. Returns false with *reason when the name holds
// a byte the code page leaves undefined or fails CheckWindowsFileName.
bool RecipeFileBaseName(const std::string& setName, const Codepage* codepage, std::string* fileName,
                        std::string* reason);

// The number of characters of text: UTF-8 sequences count once when utf8, else every byte.
size_t CountCharacters(const std::string& text, bool utf8);

// Forms directory, kPathSeparator, baseName and kRecipeExtension into *path. A path of more
// than kMaxRecipePathChars characters is refused, never cut into another name: returns false
// with *reason then, else true.
bool FormRecipePath(const std::string& directory, const std::string& baseName, bool utf8,
                    std::string* path, std::string* reason);

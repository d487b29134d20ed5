// The output directory of rcpconv: its spelling cleaned of separators at its end, and making it
// with its missing parents, or telling without making anything whether that would work.
//
// A path is text in codepage (the code page of Windows' file names), or UTF-8 when codepage is
// null: its separators are characters, never the second byte of one (in code page 932 many a
// character ends in the byte of '\').
#pragma once

#include <string>

class Codepage;

// The directory without the separators that end it, a root such as / or C:\ kept whole:
// msvcrt's stat fails on a directory path that ends in a backslash, and DIR/ would give recipe
// paths DIR//NAME.rcp a character longer than they need be.
std::string WithoutTrailingSeparators(const std::string& directory, const Codepage* codepage);

// Creates directory and its missing parents. Returns false with *error when it is not a
// directory afterwards.
bool MakeDirectories(const std::string& directory, const Codepage* codepage, std::string* error);

// What MakeDirectories would meet, found without making anything. Returns true when directory
// exists or could be made; false with the error MakeDirectories would give.
bool DirectoriesCanBeMade(const std::string& directory, const Codepage* codepage,
                          std::string* error);

// Fixed text limits of the data model and the one bounded copy used for fixed storage.
#pragma once

#include <cstddef>

// Characters, without the terminating zero.
constexpr size_t kMaxDirectoryChars = 255;    // RecipeDirectory
constexpr size_t kMaxSetNameChars = 31;       // a set name as the instrument software writes it
constexpr size_t kMaxRegistryKeyChars = 255;  // the longest key name the registry allows
constexpr size_t kMaxTextValueChars = 31;     // a text value read into 32 bytes
constexpr size_t kMaxRecipePathChars = 259;   // MAX_PATH less its terminator
constexpr size_t kMaxEntryTextChars = 77;     // the longest recipe entry (the material text)

// The most bytes one UTF-16 unit takes in an ANSI code page (UTF-8 and GB18030 take four).
constexpr size_t kMaxAnsiBytesPerUnit = 4;

// Copies at most size - 1 bytes of source into destination and always terminates it.
// Returns true when the whole source fitted, false when it was cut (or size is 0).
bool CopyBounded(char* destination, size_t size, const char* source);

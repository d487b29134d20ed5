// Making rcpconv's output directory, its separators found character by character.
#include "cli/output_directory.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "cli/file_calls.h"
#include "text/codepage.h"

namespace {

// Returns true when path names an existing directory.
bool IsDirectory(const std::string& path) {
    bool directory = false;
    return LookAt(path, &directory) == 0 && directory;
}

bool IsSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

// The offsets of the separators of path, in order. In UTF-8 no byte of a character beyond ASCII
// is that of a separator.
std::vector<size_t> SeparatorsOf(const std::string& path, const Codepage* codepage) {
    std::vector<size_t> separators;
    for (size_t i = 0; i < path.size();
         i = codepage != nullptr ? codepage->NextCharacter(path, i) : i + 1) {
        if (IsSeparator(path[i])) {
            separators.push_back(i);
        }
    }
    return separators;
}

// The directories from the first below the root down to directory: each prefix that ends
// before a separator, then directory itself.
std::vector<std::string> PathsDownTo(const std::string& directory, const Codepage* codepage) {
    std::vector<std::string> paths;
    for (size_t separator : SeparatorsOf(directory, codepage)) {
        if (separator > 0) {
            paths.push_back(directory.substr(0, separator));
        }
    }
    paths.push_back(directory);
    return paths;
}

// The directory that holds path: what comes before its last separator.
std::string ParentOf(const std::string& path, const Codepage* codepage) {
    const std::vector<size_t> separators = SeparatorsOf(path, codepage);
    if (separators.empty()) {
        return ".";
    }
    const size_t last = separators.back();
    return last == 0 ? path.substr(0, 1) : path.substr(0, last);
}

std::string CannotCreate(const std::string& directory, int lastErrno) {
    return "cannot create the directory " + directory + ": " +
           std::strerror(lastErrno != 0 ? lastErrno : ENOTDIR);
}

}  // namespace

std::string WithoutTrailingSeparators(const std::string& directory, const Codepage* codepage) {
    size_t rootEnd = 1;
#ifdef _WIN32
    if (directory.size() >= 3 && directory[1] == ':') {
        rootEnd = 3;  // "C:\" is a root; "C:" alone would name the drive's current directory
    }
#endif
    std::vector<size_t> separators = SeparatorsOf(directory, codepage);
    size_t end = directory.size();
    while (end > rootEnd && !separators.empty() && separators.back() == end - 1) {
        separators.pop_back();
        --end;
    }
    return directory.substr(0, end);
}

bool MakeDirectories(const std::string& directory, const Codepage* codepage, std::string* error) {
    int lastErrno = 0;
    for (const std::string& path : PathsDownTo(directory, codepage)) {
        // Existing parts (and drive names) fail with EEXIST or worse; only the end result counts.
        if (!IsDirectory(path)) {
            if (const int failure = MakeOneDirectory(path)) {
                lastErrno = failure;
            }
        }
    }
    if (IsDirectory(directory)) {
        return true;
    }
    *error = CannotCreate(directory, lastErrno);
    return false;
}

bool DirectoriesCanBeMade(const std::string& directory, const Codepage* codepage,
                          std::string* error) {
    int lastErrno = 0;
    bool parentIsDirectory = true;  // the current path's parent (the working directory first)
    for (const std::string& path : PathsDownTo(directory, codepage)) {
        if (IsDirectory(path)) {
            parentIsDirectory = true;
            continue;
        }
        bool directory = false;
        const int found = LookAt(path, &directory);
        if (found == ENOENT && parentIsDirectory && CanCreateIn(ParentOf(path, codepage))) {
            return true;  // made from here on down, as the run would make it
        }
        // Like mkdir: a file in the way exists; below it, or where nothing may be made, the
        // reason the system gives.
        lastErrno = found == 0 ? EEXIST : found == ENOENT && parentIsDirectory ? EACCES : found;
        parentIsDirectory = false;
    }
    if (IsDirectory(directory)) {
        return true;
    }
    *error = CannotCreate(directory, lastErrno);
    return false;
}

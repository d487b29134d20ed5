// What the Windows writer would meet at a recipe, found without changing anything: for previews.
#include <errno.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "recipes/recipe_file.h"

namespace {

constexpr size_t kReadChunk = 65536;
constexpr int kWriteAccess = 2;  // _access: may the file be written

std::string Reason(const char* what, const char* path, int error) {
    return std::string("cannot ") + what + " " + path + ": " + strerror(error);
}

}  // namespace

bool ReadRecipeFile(const char* path, RecipeFileBytes* recipe, std::string* error) {
    recipe->exists = false;
    recipe->text.clear();
    // Paths are in the system's code page, where the second byte of a character may be that of
    // '\'.
    const char* name = path;
    for (const char* c = path; *c != '\0'; ++c) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*c)) && c[1] != '\0') {
            ++c;
        } else if (*c == '\\' || *c == '/') {
            name = c + 1;
        }
    }
    recipe->fileName = name;
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        if (errno == ENOENT) {
            return true;
        }
        *error = Reason("read", path, errno);
        return false;
    }
    char chunk[kReadChunk];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        recipe->text.append(chunk, got);
    }
    const bool failed = std::ferror(file) != 0;
    const int readErrno = errno;
    std::fclose(file);
    if (failed) {
        *error = Reason("read", path, readErrno);
        return false;
    }
    recipe->exists = true;
    return true;
}

bool CheckRecipeWritable(const char* path, std::string* error) {
    if (_access(path, 0) == 0 && _access(path, kWriteAccess) != 0) {
        *error = Reason("write", path, errno);
        return false;
    }
    return true;
}

// Recipe files on Windows: every entry written through the profile-string service.
#include "conversion/recipe_file.h"

#include <windows.h>

#include <stdio.h>

namespace {

constexpr size_t kMaxSystemMessage = 256;

// "error N: the system's message for N", without the message's trailing line break and stop.
std::string DescribeError(DWORD code) {
    char message[kMaxSystemMessage] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, message, sizeof message, nullptr);
    while (length > 0 && (message[length - 1] == '\r' || message[length - 1] == '\n' ||
                          message[length - 1] == '.' || message[length - 1] == ' ')) {
        message[--length] = '\0';
    }
    char text[kMaxSystemMessage + 32];
    snprintf(text, sizeof text, "error %lu: %s", static_cast<unsigned long>(code), message);
    return text;
}

bool WriteProfileEntry(const RecipeEntry& entry, const char* path, std::string* reason) {
    if (WritePrivateProfileStringA(entry.section, entry.key, entry.text, path)) {
        return true;
    }
    *reason = DescribeError(GetLastError());
    return false;
}

}  // namespace

struct RecipeFileWriter::Run {};

RecipeFileWriter::RecipeFileWriter(const Codepage*) {}

RecipeFileWriter::~RecipeFileWriter() = default;

bool RecipeFileWriter::Write(const char* path, const RecipeEntryList& entries, std::string* error) {
    return WriteEachEntry(entries, path, WriteProfileEntry, error);
}

// The service has written each entry through to its file.
bool RecipeFileWriter::Finish(std::string*) {
    return true;
}

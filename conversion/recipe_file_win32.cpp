// Recipe files on Windows: every entry written through the profile-string service.
#include "conversion/recipe_file.h"

#include <windows.h>

#include <stdio.h>

namespace {

constexpr size_t kMaxSystemMessage = 256;
constexpr DWORD kReadPieceBytes = 4096;

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

// The bytes of the file at path into *bytes; "" when it cannot be read (a missing file, a
// directory), which only makes a changed file look new.
void ReadFileText(const char* path, std::string* bytes) {
    bytes->clear();
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    char buffer[kReadPieceBytes];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        bytes->append(buffer, got);
    }
    CloseHandle(file);
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

// The service says nothing of whether a write changed the file: its bytes before and after do.
bool RecipeFileWriter::Write(const char* path, const RecipeEntryList& entries, bool* changed,
                             std::string* error) {
    std::string before;
    ReadFileText(path, &before);
    const bool written = WriteEachEntry(entries, path, WriteProfileEntry, error);
    std::string after;
    ReadFileText(path, &after);
    *changed = after != before;
    return written;
}

// The service has written each entry through to its file.
bool RecipeFileWriter::Finish(std::string*) {
    return true;
}

bool FindInterruptedRewrite(const char*, std::string*) {
    return false;
}

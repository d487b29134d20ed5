// The system's own words for a Windows error code (FormatMessageA).
#include "text/system_error.h"

#include <windows.h>

#include <stdio.h>

namespace {
constexpr size_t kMaxSystemMessage = 256;
}  // namespace

std::string DescribeSystemError(unsigned long code) {
    char message[kMaxSystemMessage] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, message, sizeof message, nullptr);
    while (length > 0 && (message[length - 1] == '\r' || message[length - 1] == '\n' ||
                          message[length - 1] == '.' || message[length - 1] == ' ')) {
        message[--length] = '\0';
    }
    char text[kMaxSystemMessage + 32];
    snprintf(text, sizeof text, "error %lu: %s", code, message);
    return text;
}

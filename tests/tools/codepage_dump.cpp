// codepage_dump: prints how Codepage writes every character of the basic plane from U+0080
// on, in the form of tests/win32/codepage_dump.cpp, for comparison with Windows' own.
//
//   codepage_dump CODEPAGE
#include <cstdio>
#include <string>

#include "text/codepage.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: codepage_dump CODEPAGE\n");
        return 2;
    }
    Codepage codepage;
    std::string error;
    if (!codepage.Open(argv[1], &error)) {
        std::fprintf(stderr, "codepage_dump: %s\n", error.c_str());
        return 2;
    }
    for (unsigned int code = 0x80; code <= 0xFFFF; ++code) {
        if (code >= 0xD800 && code < 0xE000) {
            continue;
        }
        std::string bytes;
        codepage.FromUtf16(std::u16string(1, static_cast<char16_t>(code)), &bytes);
        std::printf("%04X", code);
        for (unsigned char byte : bytes) {
            std::printf(" %02x", byte);
        }
        std::printf("\n");
    }
    return 0;
}

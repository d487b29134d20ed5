// codepage_dump: prints how WideCharToMultiByte writes every character of the basic plane
// from U+0080 on in a code page, one "XXXX BYTES" line each, for comparison with Codepage.
//
//   codepage_dump CODEPAGE-NUMBER
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: codepage_dump CODEPAGE-NUMBER\n");
        return 2;
    }
    const UINT codepage = static_cast<UINT>(std::strtoul(argv[1], NULL, 10));
    for (unsigned int code = 0x80; code <= 0xFFFF; ++code) {
        if (code >= 0xD800 && code < 0xE000) {
            continue;
        }
        const WCHAR unit = static_cast<WCHAR>(code);
        char bytes[8];
        const int count =
            WideCharToMultiByte(codepage, 0, &unit, 1, bytes, sizeof(bytes), NULL, NULL);
        std::printf("%04X", code);
        for (int i = 0; i < count; ++i) {
            std::printf(" %02x", static_cast<unsigned char>(bytes[i]));
        }
        std::printf("\n");
    }
    return 0;
}

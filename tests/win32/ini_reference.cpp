// Applies a script of profile-string writes to one file with the real WritePrivateProfileStringA.
//
// Usage: ini_reference SCRIPT TARGET
// SCRIPT holds one write per line, "section<TAB>key<TAB>text", applied in order to TARGET.
// The text runs to the end of the line (LF or CR LF), so it may hold anything but a line break.
// Exit code: 0 when every write succeeded, 1 on the first failed write (reported on stderr),
// 2 when the arguments or the script are unusable.
#include <windows.h>

#include <stdio.h>
#include <string.h>

namespace {

constexpr int kExitWriteFailed = 1;
constexpr int kExitUsage = 2;
constexpr size_t kMaxScriptLine = 1024;  // far more than any section, key and entry text

// Splits line in place at its first two TABs. Returns false when it has fewer than two.
bool SplitWrite(char* line, char** section, char** key, char** text) {
    char* firstTab = strchr(line, '\t');
    if (firstTab == nullptr) {
        return false;
    }
    char* secondTab = strchr(firstTab + 1, '\t');
    if (secondTab == nullptr) {
        return false;
    }
    *firstTab = '\0';
    *secondTab = '\0';
    *section = line;
    *key = firstTab + 1;
    *text = secondTab + 1;
    return true;
}

void StripLineEnd(char* line) {
    size_t length = strlen(line);
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) {
        line[--length] = '\0';
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: ini_reference SCRIPT TARGET\n");
        return kExitUsage;
    }
    FILE* script = fopen(argv[1], "rb");
    if (script == nullptr) {
        fprintf(stderr, "cannot open script %s\n", argv[1]);
        return kExitUsage;
    }
    int result = 0;
    char line[kMaxScriptLine];
    unsigned lineNumber = 0;
    while (fgets(line, sizeof line, script) != nullptr) {
        ++lineNumber;
        StripLineEnd(line);
        if (line[0] == '\0') {
            continue;
        }
        char* section;
        char* key;
        char* text;
        if (!SplitWrite(line, &section, &key, &text)) {
            fprintf(stderr, "script line %u: not section<TAB>key<TAB>text\n", lineNumber);
            result = kExitUsage;
            break;
        }
        if (!WritePrivateProfileStringA(section, key, text, argv[2])) {
            fprintf(stderr, "write %u [%s] %s failed: error %lu\n", lineNumber, section, key,
                    GetLastError());
            result = kExitWriteFailed;
            break;
        }
    }
    fclose(script);
    return result;
}

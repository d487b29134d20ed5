// registry_dump: prints what the registry answers a 32-bit ANSI program about a settings
// root, in the canonical form of tests/settings_dump.h.
//
//   registry_dump [--view64] ROOT NAMES     the dump; NAMES holds escaped value names
//   registry_dump [--view64] --names ROOT   the escaped names of every value of every set
//
// ROOT is a path under HKEY_LOCAL_MACHINE, opened as a 32-bit program on 64-bit Windows
// sees it (KEY_WOW64_32KEY) unless --view64 is given.
#include <windows.h>

#include "../dump_names.h"

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

const DWORD kShortNameSize = 32;
const DWORD kLongNameSize = 256;
const DWORD kValueNameSize = 16384;
const DWORD kTextSize = 32;
const DWORD kIntSize = 4;
const unsigned char kUntouched = 0xCC;

void PrintQuery(HKEY set, const std::string& name, DWORD size) {
    unsigned char buffer[kTextSize];
    std::memset(buffer, kUntouched, sizeof(buffer));
    DWORD length = size;
    const LONG status = RegQueryValueExA(set, name.c_str(), NULL, NULL, buffer, &length);
    std::printf("value %s %lu %ld", EscapeDumpName(name).c_str(), size, status);
    if (status == ERROR_SUCCESS) {
        std::printf(" %lu", length);
        for (DWORD i = 0; i < length; ++i) {
            std::printf(" %02x", buffer[i]);
        }
    } else if (status == ERROR_MORE_DATA) {
        std::printf(" %lu", length);
    }
    std::printf("\n");
}

std::vector<std::string> ListSets(HKEY root, bool print) {
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char shortName[kShortNameSize];
        const LONG status = RegEnumKeyA(root, index, shortName, kShortNameSize);
        if (print) {
            std::printf("enum32 %lu %ld", index, status);
            if (status == ERROR_SUCCESS) {
                std::printf(" %s", EscapeDumpName(shortName).c_str());
            }
            std::printf("\n");
        }
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        char longName[kLongNameSize];
        if (RegEnumKeyA(root, index, longName, kLongNameSize) == ERROR_SUCCESS) {
            names.push_back(longName);
        }
    }
    return names;
}

void PrintValueNames(HKEY root, const std::vector<std::string>& sets) {
    std::set<std::string> names;
    for (size_t i = 0; i < sets.size(); ++i) {
        HKEY set;
        if (RegOpenKeyExA(root, sets[i].c_str(), 0, KEY_READ, &set) != ERROR_SUCCESS) {
            continue;
        }
        static char name[kValueNameSize];
        for (DWORD index = 0;; ++index) {
            DWORD nameLength = kValueNameSize;
            if (RegEnumValueA(set, index, name, &nameLength, NULL, NULL, NULL, NULL) !=
                ERROR_SUCCESS) {
                break;
            }
            names.insert(std::string(name, nameLength));
        }
        RegCloseKey(set);
    }
    for (std::set<std::string>::const_iterator it = names.begin(); it != names.end(); ++it) {
        std::printf("%s\n", EscapeDumpName(*it).c_str());
    }
}

bool ReadNames(const char* path, std::vector<std::string>* names) {
    FILE* file = std::fopen(path, "rb");
    if (file == NULL) {
        return false;
    }
    char line[kValueNameSize * 4];
    while (std::fgets(line, sizeof(line), file) != NULL) {
        std::string text(line);
        while (!text.empty() && (text[text.size() - 1] == '\n' || text[text.size() - 1] == '\r')) {
            text.erase(text.size() - 1);
        }
        std::string name;
        if (!text.empty() && UnescapeDumpName(text, &name)) {
            names->push_back(name);
        }
    }
    std::fclose(file);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    REGSAM view = KEY_WOW64_32KEY;
    int arg = 1;
    if (arg < argc && std::strcmp(argv[arg], "--view64") == 0) {
        view = KEY_WOW64_64KEY;
        ++arg;
    }
    const bool listNames = arg < argc && std::strcmp(argv[arg], "--names") == 0;
    if (listNames) {
        ++arg;
    }
    if (argc != arg + (listNames ? 1 : 2)) {
        std::fprintf(stderr, "usage: registry_dump [--view64] ROOT NAMES | --names ROOT\n");
        return 2;
    }
    HKEY root;
    const LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, argv[arg], 0, KEY_READ | view, &root);
    if (opened != ERROR_SUCCESS) {
        std::printf("root none\n");
        return 0;
    }
    if (listNames) {
        PrintValueNames(root, ListSets(root, false));
        RegCloseKey(root);
        return 0;
    }
    std::vector<std::string> values;
    if (!ReadNames(argv[arg + 1], &values)) {
        std::fprintf(stderr, "registry_dump: cannot read %s\n", argv[arg + 1]);
        return 2;
    }
    std::printf("root %s\n", argv[arg]);
    const std::vector<std::string> sets = ListSets(root, true);
    for (size_t i = 0; i < sets.size(); ++i) {
        std::printf("set %s\n", EscapeDumpName(sets[i]).c_str());
        HKEY set;
        const LONG status = RegOpenKeyExA(root, sets[i].c_str(), 0, KEY_READ | view, &set);
        std::printf("open %ld\n", status);
        if (status != ERROR_SUCCESS) {
            continue;
        }
        for (size_t v = 0; v < values.size(); ++v) {
            PrintQuery(set, values[v], kTextSize);
            PrintQuery(set, values[v], kIntSize);
        }
        RegCloseKey(set);
    }
    RegCloseKey(root);
    return 0;
}

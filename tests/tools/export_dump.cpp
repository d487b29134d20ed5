// export_dump: prints what the export-backed settings store answers, in the canonical form
// of tests/settings_dump.h, for comparison with the registry after Wine imported the export.
//
//   export_dump [--codepage NAME] EXPORT NAMES
//
// NAMES holds one escaped value name a line. Malformed lines go to stderr as
// "export_dump: LINE: MESSAGE". Exit status: 0, or 2 when the export cannot be loaded.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "sources/offline_store.h"
#include "tests/settings_dump.h"
#include "text/codepage.h"

namespace {

constexpr int kExitLoadFailed = 2;
constexpr char kDefaultCodepage[] = "Windows-1252";

bool ReadNames(const char* path, std::vector<std::string>* names) {
    std::ifstream input(path, std::ios::binary);
    if (!input) {
        return false;
    }
    std::string line;
    while (std::getline(input, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::string name;
        if (line.empty() || !UnescapeDumpName(line, &name)) {
            continue;
        }
        names->push_back(name);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string codepageName = kDefaultCodepage;
    int arg = 1;
    if (argc > arg + 1 && std::strcmp(argv[arg], "--codepage") == 0) {
        codepageName = argv[arg + 1];
        arg += 2;
    }
    if (argc != arg + 2) {
        std::fprintf(stderr, "usage: export_dump [--codepage NAME] EXPORT NAMES\n");
        return kExitLoadFailed;
    }
    std::string error;
    Codepage codepage;
    if (!codepage.Open(codepageName, &error)) {
        std::fprintf(stderr, "export_dump: %s\n", error.c_str());
        return kExitLoadFailed;
    }
    std::vector<std::string> names;
    if (!ReadNames(argv[arg + 1], &names)) {
        std::fprintf(stderr, "export_dump: cannot read %s\n", argv[arg + 1]);
        return kExitLoadFailed;
    }
    OfflineSettingsStore store;
    const bool loaded = store.Load({argv[arg]}, codepage, &error);
    for (const SourceWarning& warning : store.warnings()) {
        std::fprintf(stderr, "export_dump: %zu: %s\n", warning.line, warning.message.c_str());
    }
    if (!loaded) {
        std::fprintf(stderr, "export_dump: %s\n", error.c_str());
        return kExitLoadFailed;
    }
    std::fputs(DumpSettingsStore(store, names).c_str(), stdout);
    return 0;
}

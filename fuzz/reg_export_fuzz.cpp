// libFuzzer harness: arbitrary bytes read as a registry export, then every set and value read back.
//
// The bytes are loaded through OfflineSettingsStore::Load (from an in-memory file) once with the
// Western code page and once with a double-byte one, so that both conversion paths see them.
// Every set listed is opened and every value name the file mentions is queried through exactly
// sized 32- and 4-byte buffers, as the conversion queries them; the conversion then runs on the
// set. Checked on the way:
//  - a failed load names the file; a successful one has a settings root to open;
//  - warnings are numbered lines in file order, no more than the reported limit plus one;
//  - listed names fit the buffer given, and a smaller buffer gets the same name or none;
//  - a query either fits its buffer or leaves it untouched, and the 32- and 4-byte queries agree;
//  - every entry the conversion writes is short enough and holds no line break.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "conversion/frequency_index.h"
#include "conversion/settings_conversion.h"
#include "recipes/recipe_entries.h"
#include "registry/settings_store.h"
#include "sources/offline_store.h"
#include "sources/reg_export_parser.h"
#include "text/codepage.h"
#include "text/text_limits.h"

namespace {

const char* const kCodepageNames[] = {"1252", "932"};
Codepage g_codepages[std::size(kCodepageNames)];  // opened once: iconv_open is slow
// Value names queried per set beyond the conversion's own: enough for any seed file.
constexpr size_t kMaxQueriedNames = 64;
constexpr unsigned char kUntouched = 0xA5;

[[noreturn]] void Fail(const char* what) {
    fprintf(stderr, "export store invariant broken: %s\n", what);
    abort();
}

// Collects every value name of the file, whatever its key.
class ValueNameSink : public RegExportSink {
  public:
    bool OnKey(RegRootKey, const std::vector<std::u16string_view>&) override { return true; }
    void OnDeleteKey(RegRootKey, const std::vector<std::u16string_view>&) override {}
    void OnValue(std::u16string_view name, uint32_t, std::string_view) override {
        if (names.size() < kMaxQueriedNames) {
            names.emplace(name);
        }
    }
    void OnDeleteValue(std::u16string_view) override {}

    std::set<std::u16string> names;
};

// The export as a file the store can open by name, kept in memory.
struct MemoryFile {
    int fd = -1;
    std::string path;
};

const MemoryFile& ScratchFile() {
    static const MemoryFile file = [] {
        MemoryFile made;
        made.fd = memfd_create("reg_export_fuzz", 0);
        if (made.fd < 0) {
            Fail("memfd_create failed");
        }
        made.path = "/proc/self/fd/" + std::to_string(made.fd);
        return made;
    }();
    return file;
}

void WriteScratch(const uint8_t* data, size_t size) {
    const MemoryFile& file = ScratchFile();
    if (ftruncate(file.fd, 0) != 0 ||
        (size > 0 && pwrite(file.fd, data, size, 0) != static_cast<ssize_t>(size))) {
        Fail("cannot write the scratch file");
    }
}

// Queries name through a buffer of exactly size bytes. Returns the data, or false.
bool Query(OfflineSettingsStore& store, SettingsKey set, const char* name, uint32_t size,
           std::string* data) {
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[size]);
    memset(buffer.get(), kUntouched, size);
    uint32_t length = UINT32_MAX;
    if (store.QueryValue(set, name, buffer.get(), size, &length) != QueryStatus::kFound) {
        for (uint32_t i = 0; i < size; ++i) {
            if (buffer[i] != kUntouched) {
                Fail("a failed query wrote into the buffer");
            }
        }
        return false;
    }
    if (length > size) {
        Fail("a query gave more bytes than its buffer holds");
    }
    data->assign(reinterpret_cast<const char*>(buffer.get()), length);
    return true;
}

void QueryEveryValue(OfflineSettingsStore& store, SettingsKey set,
                     const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        std::string text;
        std::string integer;
        const bool asText = Query(store, set, name.c_str(), kTextValueSize, &text);
        const bool asInteger = Query(store, set, name.c_str(), kIntValueSize, &integer);
        if (asInteger && (!asText || text != integer)) {
            Fail("a value that fits 4 bytes reads otherwise through 32");
        }
        if (asText && text.size() <= kIntValueSize && !asInteger) {
            Fail("a value of at most 4 bytes does not fit 4");
        }
    }
    RecipeEntryList entries;
    ConvertSettingsSet(store, set, entries);
    for (const RecipeEntry& entry : entries) {
        if (strlen(entry.text) > kMaxEntryTextChars || strpbrk(entry.text, "\r\n") != nullptr) {
            Fail("the conversion wrote an entry it must not write");
        }
    }
}

void ReadEverything(OfflineSettingsStore& store, const std::vector<std::string>& valueNames) {
    const char* rootPath = nullptr;
    SettingsKey found = nullptr;
    if (!store.FindSettingsRoot(&rootPath, &found)) {
        Fail("a loaded export has no settings root");
    }
    store.CloseSettingsKey(found);
    for (const char* path : kSettingsRootPaths) {
        SettingsKey root = nullptr;
        if (!store.OpenSettingsRoot(path, &root)) {
            continue;
        }
        for (uint32_t index = 0;; ++index) {
            const size_t nameSize = kMaxListedNameBytes;
            std::unique_ptr<char[]> name(new char[nameSize]);
            const EnumStatus status = store.EnumerateSetName(root, index, name.get(), nameSize);
            if (status == EnumStatus::kNoMoreItems) {
                break;
            }
            if (status != EnumStatus::kName && status != EnumStatus::kNameNotInCodepage) {
                continue;
            }
            if (strlen(name.get()) >= nameSize) {
                Fail("a listed name overruns its buffer");
            }
            // The same index through the set-name buffer: the same name, or too long for it.
            char shortName[kMaxSetNameChars + 1];
            const EnumStatus shortStatus =
                store.EnumerateSetName(root, index, shortName, sizeof shortName);
            if (shortStatus == status ? strcmp(shortName, name.get()) != 0
                                      : shortStatus != EnumStatus::kNameTooLong) {
                Fail("a name is listed differently through a smaller buffer");
            }
            SettingsKey set = nullptr;
            if (store.OpenSettingsSet(root, name.get(), &set)) {
                QueryEveryValue(store, set, valueNames);
                store.CloseSettingsKey(set);
            }
        }
        store.CloseSettingsKey(root);
    }
}

void CheckWarnings(const std::vector<SourceWarning>& warnings) {
    if (warnings.size() > kMaxReportedExportWarnings + 1) {
        Fail("more warnings than the limit");
    }
    size_t previous = 1;
    for (const SourceWarning& warning : warnings) {
        // Line 0 is a warning about a hive file as a whole, which the bytes may form.
        if ((warning.line != 0 && warning.line < previous) || warning.message.empty()) {
            Fail("warnings out of line order or without a message");
        }
        previous = warning.line == 0 ? previous : warning.line;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    BuildFrequencyTable();
    for (size_t i = 0; i < std::size(kCodepageNames); ++i) {
        std::string error;
        if (!g_codepages[i].Open(kCodepageNames[i], &error)) {
            Fail("a code page is missing from iconv");
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WriteScratch(data, size);
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (const Codepage& codepage : g_codepages) {
        // The names to query, as the program would spell them in the code page.
        ValueNameSink sink;
        RegExportParser parser(codepage, sink);
        std::istringstream input(bytes);
        std::string parseError;
        parser.Parse(input, &parseError);
        std::vector<std::string> valueNames;
        for (const std::u16string& name : sink.names) {
            valueNames.emplace_back();
            codepage.FromUtf16(name, &valueNames.back());
        }

        OfflineSettingsStore store;
        std::string error;
        const bool loaded = store.Load({ScratchFile().path}, codepage, &error);
        CheckWarnings(store.warnings());
        if (!loaded) {
            if (error.compare(0, ScratchFile().path.size() + 2, ScratchFile().path + ": ") != 0) {
                Fail("a failed load does not name the file");
            }
            continue;
        }
        ReadEverything(store, valueNames);
    }
    return 0;
}

// The settings store over exports and hives: reads each source, merges them as Windows' registry
// virtualisation shows them to a 32-bit program, answers as the registry.
#include "sources/offline_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "sets/merged_sets.h"
#include "sets/source_settings.h"
#include "sets/value_names.h"
#include "sources/file_identity.h"
#include "sources/hive_format.h"
#include "sources/hive_log_sources.h"
#include "sources/source_report.h"
#include "text/ascii_case.h"
#include "text/codepage.h"

namespace {

// Reads one source: a hive when it starts with the hive signature, else an export.
bool ReadSource(const std::string& path, const Codepage& codepage, SourceSettings* settings,
                std::vector<SourceWarning>* warnings, std::string* error) {
    std::ifstream input(path, std::ios::binary);
    if (!input) {
        *error = path + ": cannot be opened: " + std::strerror(errno);
        return false;
    }
    char signature[kHiveSignatureBytes] = {};
    input.read(signature, sizeof signature);
    std::string reason;
    if (static_cast<size_t>(input.gcount()) == sizeof signature &&
        std::memcmp(signature, kHiveSignature, sizeof signature) == 0) {
        input.close();
        if (!ReadHiveSource(path, settings, warnings, &reason)) {
            *error = path + ": " + reason;
            return false;
        }
        return true;
    }
    input.clear();
    input.seekg(0);
    if (!ReadExportSource(input, path, codepage, settings, warnings, &reason)) {
        *error = path + ": " + reason;
        return false;
    }
    return true;
}

// Finds the one source that holds place. Returns false with *error when two do.
bool FindOnlyHolder(const SourceList& sources, const std::vector<std::string>& paths,
                    SettingsPlace place, size_t* holder, std::string* error) {
    *holder = sources.size();
    for (size_t i = 0; i < sources.size(); ++i) {
        if (!sources[i]->Holds(place)) {
            continue;
        }
        if (*holder == sources.size()) {
            *holder = i;
            continue;
        }
        const std::string both = paths[*holder] + " and " + paths[i] + " both hold ";
        *error = place == SettingsPlace::kMachine
                     ? both + "a machine's settings: convert one PC at a time, one of them per run"
                     : both +
                           "a user's virtual store: convert one user at a time, running this "
                           "program once per user with the machine's settings and that user's "
                           "store";
        return false;
    }
    return true;
}

// The ANSI name a caller gives, upper-cased as the registry compares it, into *upper.
void UpcaseAnsiName(const Codepage& codepage, const char* name, std::u16string* upper) {
    size_t length = 0;
    while (name[length] != '\0' && static_cast<unsigned char>(name[length]) < kFirstNonAscii) {
        ++length;
    }
    if (name[length] == '\0' && codepage.keepsAscii()) {
        upper->resize(length);
        char16_t* units = &(*upper)[0];
        for (size_t i = 0; i < length; ++i) {
            units[i] = UpcaseUnit(static_cast<char16_t>(name[i]));
        }
        return;
    }
    codepage.ToUtf16(name, upper);
    for (char16_t& unit : *upper) {
        unit = UpcaseUnit(unit);
    }
}

}  // namespace

struct OfflineSettingsStore::Data {
    const Codepage* codepage = nullptr;  // reads the ANSI names callers give
    std::unique_ptr<SettingsArena> arena;
    SourceList sources;  // what the merged roots are made of
    MergedRoot roots[kRootCount];
    std::vector<SourceWarning> warnings;
    std::string machineSource;
    std::string virtualStoreSource;
    std::u16string name;    // a name a caller gives, as it is looked up
    std::string ansi;       // a set name as it is listed
    NameGuess<char> guess;  // the value names callers ask for, in their order
    size_t nextSet = 0;     // the set listed after the one opened last
};

OfflineSettingsStore::OfflineSettingsStore() : data_(new Data) {}

OfflineSettingsStore::~OfflineSettingsStore() = default;

bool OfflineSettingsStore::Load(const std::vector<std::string>& given, const Codepage& codepage,
                                std::string* error) {
    data_.reset(new Data);
    std::vector<std::string> paths;
    if (!LeaveOutHiveLogs(given, &paths, error)) {
        return false;
    }
    data_->codepage = &codepage;
    data_->arena.reset(new SettingsArena(codepage));
    SourceList& sources = data_->sources;
    std::vector<std::string> read;  // the paths of sources, each file once
    bool wow64 = false;
    for (const std::string& path : paths) {
        const auto earlier =
            std::find_if(read.begin(), read.end(),
                         [&path](const std::string& other) { return IsSameFile(other, path); });
        if (earlier != read.end()) {
            data_->warnings.push_back(
                {path, 0, "the same file as " + *earlier + ", given before it: read once", true});
            continue;
        }
        read.push_back(path);
        sources.emplace_back(new SourceSettings(data_->arena.get()));
        if (!ReadSource(path, codepage, sources.back().get(), &data_->warnings, error)) {
            return false;
        }
        const std::set<std::string>& users = sources.back()->storeUsers;
        if (users.size() > 1) {
            *error = path + ": holds the virtual stores of several users (" +
                     PathList({users.begin(), users.end()}) +
                     "): convert one user at a time, running this program once per user with "
                     "an export of that user's store alone";
            return false;
        }
        wow64 = wow64 || sources.back()->wow64;
    }
    size_t machine = 0;
    size_t store = 0;
    if (!FindOnlyHolder(sources, read, SettingsPlace::kMachine, &machine, error) ||
        !FindOnlyHolder(sources, read, SettingsPlace::kVirtualStore, &store, error)) {
        return false;
    }

    const SourceMerge merge{read, sources, machine, store,
                            wow64 ? SettingsView::kWow64 : SettingsView::kPlain};
    size_t rootInUse = kRootCount;
    for (size_t index = 0; index < kRootCount; ++index) {
        MergedRoot& merged = data_->roots[index];
        MergeSets(machine < sources.size()
                      ? &sources[machine]->Root(SettingsPlace::kMachine, merge.view, index)
                      : nullptr,
                  store < sources.size()
                      ? &sources[store]->Root(SettingsPlace::kVirtualStore, merge.view, index)
                      : nullptr,
                  &merged);
        rootInUse = rootInUse == kRootCount && merged.exists ? index : rootInUse;
    }
    if (rootInUse == kRootCount) {
        *error = NoSettingsMessage(merge);
        return false;
    }
    ReportUnusedSources(merge, rootInUse, &data_->warnings);
    if (machine < sources.size()) {
        data_->machineSource = read[machine];
    }
    if (store < sources.size()) {
        data_->virtualStoreSource = read[store];
    }
    return true;
}

const std::vector<SourceWarning>& OfflineSettingsStore::warnings() const {
    return data_->warnings;
}

const std::string& OfflineSettingsStore::machineSource() const {
    return data_->machineSource;
}

const std::string& OfflineSettingsStore::virtualStoreSource() const {
    return data_->virtualStoreSource;
}

SetOrigin OfflineSettingsStore::OriginOfSet(const ListedSet& set) const {
    for (MergedRoot& root : data_->roots) {
        if (root.exists) {
            return OriginOfListedSet(*data_->codepage, &root, set);
        }
    }
    return {false, false};
}

bool OfflineSettingsStore::FindSettingsRoot(const char** rootPath, SettingsKey* root) {
    for (size_t index = 0; index < kRootCount; ++index) {
        if (OpenSettingsRoot(kSettingsRootPaths[index], root)) {
            *rootPath = kSettingsRootPaths[index];
            return true;
        }
    }
    return false;
}

EnumStatus OfflineSettingsStore::EnumerateSetName(SettingsKey root, uint32_t index, char* name,
                                                  size_t nameSize) {
    const MergedRoot* open = reinterpret_cast<const MergedRoot*>(root);
    if (index >= open->sets.size()) {
        return EnumStatus::kNoMoreItems;
    }
    std::string& ansi = data_->ansi;
    const bool exact = data_->codepage->FromUtf16(open->sets[index].name(), &ansi);
    if (ansi.size() >= nameSize) {
        return EnumStatus::kNameTooLong;
    }
    std::memcpy(name, ansi.c_str(), ansi.size() + 1);
    return exact ? EnumStatus::kName : EnumStatus::kNameNotInCodepage;
}

bool OfflineSettingsStore::OpenSettingsRoot(const char* rootPath, SettingsKey* root) {
    for (size_t index = 0; index < kRootCount; ++index) {
        if (data_->roots[index].exists && EqualsAsciiNoCase(rootPath, kSettingsRootPaths[index])) {
            *root = reinterpret_cast<SettingsKey>(&data_->roots[index]);
            return true;
        }
    }
    return false;
}

bool OfflineSettingsStore::OpenSettingsSet(SettingsKey root, const char* setName,
                                           SettingsKey* set) {
    // As RegOpenKeyExA does: the ANSI name back to UTF-16, then looked up. A listed name that
    // lost characters to the code page finds nothing, or another set.
    const MergedRoot* open = reinterpret_cast<const MergedRoot*>(root);
    std::u16string& upper = data_->name;
    UpcaseAnsiName(*data_->codepage, setName, &upper);
    const size_t index = FindMergedSet(*open, upper, data_->nextSet);
    if (index == open->sets.size()) {
        return false;
    }
    data_->nextSet = index + 1;
    *set = reinterpret_cast<SettingsKey>(const_cast<MergedSet*>(&open->sets[index]));
    return true;
}

QueryStatus OfflineSettingsStore::QueryValue(SettingsKey set, const char* valueName, void* buffer,
                                             uint32_t size, uint32_t* length) {
    const MergedSet* open = reinterpret_cast<const MergedSet*>(set);
    const SettingsArena& arena = *data_->arena;
    const std::string_view spelled(valueName);
    uint32_t name = data_->guess.Guess(spelled);
    if (name != kNoValueName) {
        data_->guess.Held(name);
    } else {
        if (!data_->codepage->keepsAscii() || !arena.names().FindAscii(valueName, &name)) {
            UpcaseAnsiName(*data_->codepage, valueName, &data_->name);
            name = arena.names().Find(data_->name);
        }
        if (name != kNoValueName) {
            data_->guess.Learn(name, spelled);
        }
    }
    std::string_view data;
    if (name == kNoValueName || !FindMergedValue(arena, *open, name, &data)) {
        return QueryStatus::kMissing;
    }
    *length = static_cast<uint32_t>(data.size());
    if (data.size() > size) {
        return QueryStatus::kTooLong;
    }
    std::memcpy(buffer, data.data(), data.size());
    return QueryStatus::kFound;
}

void OfflineSettingsStore::CloseSettingsKey(SettingsKey) {}

// The settings store over exports and hives: reads each source, merges them as Windows' registry
// virtualisation shows them to a 32-bit program, answers as the registry.
#include "settings/offline_store.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>

#include "settings/codepage.h"
#include "settings/source_settings.h"
#include "settings/unicode_text.h"

namespace {

std::u16string Widen(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

// A set as the program sees it: the machine's values with the virtual store's laid over them.
struct MergedSet {
    std::u16string name;                           // the machine's spelling, when it has the set
    std::map<std::u16string, std::string> values;  // by upper-cased name: what an ANSI caller gets
    SetOrigin origin{false, false};
};
struct MergedRoot {
    bool exists = false;
    std::map<std::u16string, MergedSet> sets;  // by upper-cased name: the registry's order
    struct ListedName {
        std::string ansi;
        bool exact;  // every character had its counterpart in the code page
        const MergedSet* set;
    };
    std::vector<ListedName> listing;  // in the registry's order
};

// Text-like types reach an ANSI caller converted, terminator included; a trailing odd byte is
// not part of any character and is dropped, as the registry drops it.
std::string ToAnsiData(const StoredValue& value, const Codepage& codepage) {
    if (value.type != kRegSz && value.type != kRegExpandSz && value.type != kRegMultiSz) {
        return value.data;
    }
    std::u16string text;
    AppendUtf16FromLe(value.data, &text);
    std::string ansi;
    codepage.FromUtf16(text, &ansi);
    return ansi;
}

// Lays the sets of one place over those merged so far: new sets are added, and the values of
// this place replace those of the same name.
void MergeSets(const StoredRoot& stored, SettingsPlace place, const Codepage& codepage,
               MergedRoot* merged) {
    if (!stored.exists) {
        return;
    }
    merged->exists = true;
    for (const auto& entry : stored.sets) {
        MergedSet& set = merged->sets[entry.first];
        if (set.name.empty()) {
            set.name = entry.second.name;
        }
        (place == SettingsPlace::kMachine ? set.origin.machine : set.origin.virtualStore) = true;
        for (const auto& value : entry.second.values) {
            set.values[value.first] = ToAnsiData(value.second, codepage);
        }
    }
}

// "A", "A, B" for a message.
std::string PathList(const std::vector<std::string>& paths) {
    std::string list;
    for (const std::string& path : paths) {
        list += (list.empty() ? "" : ", ") + path;
    }
    return list;
}

// Why the merged view holds no settings root.
std::string NoSettingsMessage(const std::vector<std::string>& paths,
                              const std::vector<SourceSettings>& sources, SettingsView view) {
    const std::string subject =
        paths.size() == 1 ? paths[0] + ": holds no" : PathList(paths) + ": none holds any";
    bool otherView = false;
    for (const SourceSettings& source : sources) {
        otherView = otherView || source.Holds(SettingsPlace::kMachine) ||
                    source.Holds(SettingsPlace::kVirtualStore);
    }
    if (otherView && view == SettingsView::kWow64) {
        return subject +
               " settings that the 32-bit instrument software sees: the registry comes from "
               "64-bit Windows (it holds SOFTWARE\\WOW6432Node), where that software reads "
               "SOFTWARE\\WOW6432Node\\Quorix or SOFTWARE\\WOW6432Node\\Zentyl, but the "
               "settings lie only under SOFTWARE\\Quorix or SOFTWARE\\Zentyl, which 64-bit "
               "programs use";
    }
    return subject + " settings: no key " + kSettingsRootPaths[0] + " or " + kSettingsRootPaths[1] +
           " (nor under SOFTWARE\\WOW6432Node) of the machine (HKEY_LOCAL_MACHINE, a SOFTWARE "
           "hive) or of a user's virtual store (Software\\Classes\\VirtualStore\\MACHINE, a "
           "UsrClass.dat hive)";
}

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
bool FindOnlyHolder(const std::vector<SourceSettings>& sources,
                    const std::vector<std::string>& paths, SettingsPlace place, size_t* holder,
                    std::string* error) {
    *holder = sources.size();
    for (size_t i = 0; i < sources.size(); ++i) {
        if (!sources[i].Holds(place)) {
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
                           "a user's virtual store: convert one user at a time, running rcpconv "
                           "once per user with the machine's settings and that user's store";
        return false;
    }
    return true;
}

}  // namespace

struct OfflineSettingsStore::Data {
    const Codepage* codepage = nullptr;  // reads the ANSI names callers give
    MergedRoot roots[kRootCount];
    std::vector<SourceWarning> warnings;
    std::string machineSource;
    std::string virtualStoreSource;
};

OfflineSettingsStore::OfflineSettingsStore() : data_(new Data) {}

OfflineSettingsStore::~OfflineSettingsStore() = default;

bool OfflineSettingsStore::Load(const std::vector<std::string>& paths, const Codepage& codepage,
                                std::string* error) {
    data_.reset(new Data);
    data_->codepage = &codepage;
    std::vector<SourceSettings> sources(paths.size());
    bool wow64 = false;
    for (size_t i = 0; i < paths.size(); ++i) {
        if (!ReadSource(paths[i], codepage, &sources[i], &data_->warnings, error)) {
            return false;
        }
        const std::set<std::string>& users = sources[i].storeUsers;
        if (users.size() > 1) {
            std::string sids;
            for (const std::string& sid : users) {
                sids += (sids.empty() ? "" : ", ") + sid;
            }
            *error = paths[i] + ": holds the virtual stores of several users (" + sids +
                     "): convert one user at a time, running rcpconv once per user with an "
                     "export of that user's store alone";
            return false;
        }
        wow64 = wow64 || sources[i].wow64;
    }
    size_t machine = 0;
    size_t store = 0;
    if (!FindOnlyHolder(sources, paths, SettingsPlace::kMachine, &machine, error) ||
        !FindOnlyHolder(sources, paths, SettingsPlace::kVirtualStore, &store, error)) {
        return false;
    }

    // Machine first, so that the virtual store's values win.
    const SettingsView view = wow64 ? SettingsView::kWow64 : SettingsView::kPlain;
    bool anyRoot = false;
    for (size_t index = 0; index < kRootCount; ++index) {
        MergedRoot& merged = data_->roots[index];
        if (machine < sources.size()) {
            MergeSets(sources[machine].Root(SettingsPlace::kMachine, view, index),
                      SettingsPlace::kMachine, codepage, &merged);
        }
        if (store < sources.size()) {
            MergeSets(sources[store].Root(SettingsPlace::kVirtualStore, view, index),
                      SettingsPlace::kVirtualStore, codepage, &merged);
        }
        for (const auto& entry : merged.sets) {
            std::string ansi;
            const bool exact = codepage.FromUtf16(entry.second.name, &ansi);
            merged.listing.push_back({ansi, exact, &entry.second});
        }
        anyRoot = anyRoot || merged.exists;
    }
    if (!anyRoot) {
        *error = NoSettingsMessage(paths, sources, view);
        return false;
    }
    if (machine < sources.size()) {
        data_->machineSource = paths[machine];
    }
    if (store < sources.size()) {
        data_->virtualStoreSource = paths[store];
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
    for (const MergedRoot& root : data_->roots) {
        if (!root.exists) {
            continue;
        }
        for (const MergedRoot::ListedName& listed : root.listing) {
            if (listed.ansi == set.name && listed.exact == set.nameInCodepage) {
                return listed.set->origin;
            }
        }
        break;
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
    if (index >= open->listing.size()) {
        return EnumStatus::kNoMoreItems;
    }
    const MergedRoot::ListedName& listed = open->listing[index];
    if (listed.ansi.size() >= nameSize) {
        return EnumStatus::kNameTooLong;
    }
    std::memcpy(name, listed.ansi.c_str(), listed.ansi.size() + 1);
    return listed.exact ? EnumStatus::kName : EnumStatus::kNameNotInCodepage;
}

bool OfflineSettingsStore::OpenSettingsRoot(const char* rootPath, SettingsKey* root) {
    for (size_t index = 0; index < kRootCount; ++index) {
        if (data_->roots[index].exists &&
            UpcaseName(Widen(rootPath)) == UpcaseName(Widen(kSettingsRootPaths[index]))) {
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
    std::u16string name;
    data_->codepage->ToUtf16(setName, &name);
    const auto found = open->sets.find(UpcaseName(name));
    if (found == open->sets.end()) {
        return false;
    }
    *set = reinterpret_cast<SettingsKey>(const_cast<MergedSet*>(&found->second));
    return true;
}

QueryStatus OfflineSettingsStore::QueryValue(SettingsKey set, const char* valueName, void* buffer,
                                             uint32_t size, uint32_t* length) {
    const MergedSet* open = reinterpret_cast<const MergedSet*>(set);
    std::u16string name;
    data_->codepage->ToUtf16(valueName, &name);
    const auto found = open->values.find(UpcaseName(name));
    if (found == open->values.end()) {
        return QueryStatus::kMissing;
    }
    const std::string& data = found->second;
    *length = static_cast<uint32_t>(data.size());
    if (data.size() > size) {
        return QueryStatus::kTooLong;
    }
    std::memcpy(buffer, data.data(), data.size());
    return QueryStatus::kFound;
}

void OfflineSettingsStore::CloseSettingsKey(SettingsKey) {}

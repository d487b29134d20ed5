// The settings store over exports and hives: reads each source, merges them as Windows' registry
// virtualisation shows them to a 32-bit program, answers as the registry.
#include "settings/offline_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <tuple>

#include "settings/ascii_case.h"
#include "settings/codepage.h"
#include "settings/hive_log_sources.h"
#include "settings/source_settings.h"
#include "settings/value_names.h"

namespace {

// A set as the program sees it: the machine's values with the virtual store's laid over them.
struct MergedSet {
    const StoredSet* machine;  // null when the machine does not hold the set
    const StoredSet* store;    // null when the virtual store does not hold it

    // The machine's spelling, when it has the set.
    std::u16string_view name() const { return (machine != nullptr ? machine : store)->name(); }
    SetOrigin origin() const { return {machine != nullptr, store != nullptr}; }
};
struct MergedRoot {
    bool exists = false;
    std::vector<MergedSet> sets;  // in the registry's order
    // The listed names in name order, made when a set's origin is first asked for.
    struct ListedName {
        std::string ansi;
        bool exact;  // every character had its counterpart in the code page
        size_t index;
    };
    std::vector<ListedName> byListedName;
};

// Merges the sets of the machine's place and the virtual store's, both in the registry's order.
void MergeSets(const StoredRoot* machine, const StoredRoot* store, MergedRoot* merged) {
    const std::vector<const StoredSet*> machineSets =
        machine != nullptr ? machine->Sorted() : std::vector<const StoredSet*>();
    const std::vector<const StoredSet*> storeSets =
        store != nullptr ? store->Sorted() : std::vector<const StoredSet*>();
    merged->exists = (machine != nullptr && machine->exists) || (store != nullptr && store->exists);
    merged->sets.reserve(machineSets.size() + storeSets.size());
    size_t m = 0;
    size_t v = 0;
    while (m < machineSets.size() || v < storeSets.size()) {
        const int order = m == machineSets.size() ? 1
                          : v == storeSets.size()
                              ? -1
                              : CompareNames(machineSets[m]->name(), storeSets[v]->name());
        merged->sets.push_back(
            {order <= 0 ? machineSets[m] : nullptr, order >= 0 ? storeSets[v] : nullptr});
        m += order <= 0 ? 1 : 0;
        v += order >= 0 ? 1 : 0;
    }
    merged->sets.shrink_to_fit();
}

using Sources = std::vector<std::unique_ptr<SourceSettings>>;

// "A", "A, B" for a message.
std::string PathList(const std::vector<std::string>& paths) {
    std::string list;
    for (const std::string& path : paths) {
        list += (list.empty() ? "" : ", ") + path;
    }
    return list;
}

// Why the merged view holds no settings root.
std::string NoSettingsMessage(const std::vector<std::string>& paths, const Sources& sources,
                              SettingsView view) {
    const std::string subject =
        paths.size() == 1 ? paths[0] + ": holds no" : PathList(paths) + ": none holds any";
    bool otherView = false;
    for (const auto& source : sources) {
        otherView = otherView || source->Holds(SettingsPlace::kMachine) ||
                    source->Holds(SettingsPlace::kVirtualStore);
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
bool FindOnlyHolder(const Sources& sources, const std::vector<std::string>& paths,
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
                           "a user's virtual store: convert one user at a time, running rcpconv "
                           "once per user with the machine's settings and that user's store";
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
    Sources sources;  // what the merged roots are made of
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
    Sources& sources = data_->sources;
    bool wow64 = false;
    for (size_t i = 0; i < paths.size(); ++i) {
        sources.emplace_back(new SourceSettings(data_->arena.get()));
        if (!ReadSource(paths[i], codepage, sources[i].get(), &data_->warnings, error)) {
            return false;
        }
        const std::set<std::string>& users = sources[i]->storeUsers;
        if (users.size() > 1) {
            *error = paths[i] + ": holds the virtual stores of several users (" +
                     PathList({users.begin(), users.end()}) +
                     "): convert one user at a time, running rcpconv once per user with an "
                     "export of that user's store alone";
            return false;
        }
        wow64 = wow64 || sources[i]->wow64;
    }
    size_t machine = 0;
    size_t store = 0;
    if (!FindOnlyHolder(sources, paths, SettingsPlace::kMachine, &machine, error) ||
        !FindOnlyHolder(sources, paths, SettingsPlace::kVirtualStore, &store, error)) {
        return false;
    }

    const SettingsView view = wow64 ? SettingsView::kWow64 : SettingsView::kPlain;
    bool anyRoot = false;
    for (size_t index = 0; index < kRootCount; ++index) {
        MergedRoot& merged = data_->roots[index];
        MergeSets(machine < sources.size()
                      ? &sources[machine]->Root(SettingsPlace::kMachine, view, index)
                      : nullptr,
                  store < sources.size()
                      ? &sources[store]->Root(SettingsPlace::kVirtualStore, view, index)
                      : nullptr,
                  &merged);
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
    for (MergedRoot& root : data_->roots) {
        if (!root.exists) {
            continue;
        }
        if (root.byListedName.size() != root.sets.size()) {
            for (size_t i = 0; i < root.sets.size(); ++i) {
                std::string ansi;
                const bool exact = data_->codepage->FromUtf16(root.sets[i].name(), &ansi);
                root.byListedName.push_back({ansi, exact, i});
            }
            std::sort(root.byListedName.begin(), root.byListedName.end(),
                      [](const MergedRoot::ListedName& a, const MergedRoot::ListedName& b) {
                          return std::tie(a.ansi, a.exact, a.index) <
                                 std::tie(b.ansi, b.exact, b.index);
                      });
        }
        // Sets listed under the same look-alike name give the first one's origin.
        const auto found =
            std::lower_bound(root.byListedName.begin(), root.byListedName.end(), set,
                             [](const MergedRoot::ListedName& listed, const ListedSet& wanted) {
                                 return std::tie(listed.ansi, listed.exact) <
                                        std::tie(wanted.name, wanted.nameInCodepage);
                             });
        if (found != root.byListedName.end() && found->ansi == set.name &&
            found->exact == set.nameInCodepage) {
            return root.sets[found->index].origin();
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
    // Sets are mostly opened in the order they are listed.
    size_t index = data_->nextSet;
    if (index >= open->sets.size() || CompareWithUpcased(open->sets[index].name(), upper) != 0) {
        const auto found =
            std::lower_bound(open->sets.begin(), open->sets.end(), upper,
                             [](const MergedSet& held, const std::u16string& wanted) {
                                 return CompareWithUpcased(held.name(), wanted) < 0;
                             });
        if (found == open->sets.end() || CompareWithUpcased(found->name(), upper) != 0) {
            return false;
        }
        index = static_cast<size_t>(found - open->sets.begin());
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
    // The virtual store's value wins over the machine's.
    if (name == kNoValueName ||
        ((open->store == nullptr || !FindStoredValue(arena, *open->store, name, &data)) &&
         (open->machine == nullptr || !FindStoredValue(arena, *open->machine, name, &data)))) {
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

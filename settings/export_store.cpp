// The settings store over a registry export: keeps the settings roots, answers as the registry.
#include "settings/export_store.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

#include "settings/codepage.h"
#include "settings/reg_export_parser.h"
#include "settings/text_limits.h"
#include "settings/unicode_text.h"

namespace {

constexpr size_t kRootCount = sizeof(kSettingsRootPaths) / sizeof(kSettingsRootPaths[0]);
// Where each root path may lie in an export: as the 32-bit view of 64-bit Windows keeps it,
// then as written. The 32-bit view comes first because the instrument software is 32-bit.
constexpr size_t kPlacesPerRoot = 2;
const char kSoftware[] = "SOFTWARE";
const char kWow64Node[] = "WOW6432Node";

// Names compare as the registry compares them: unit by unit, upper-cased.
std::u16string UpcaseName(const std::u16string& name) {
    std::u16string key(name);
    for (char16_t& unit : key) {
        unit = RegistryUpcase(unit);
    }
    return key;
}

std::u16string Widen(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

struct StoredValue {
    std::u16string name;   // as first written
    std::string ansiData;  // what RegQueryValueExA hands over
};
struct StoredSet {
    std::u16string name;                           // as first written
    std::map<std::u16string, StoredValue> values;  // by upper-cased name
};
// One place a root may lie in the export.
struct Place {
    std::vector<std::u16string> path;  // upper-cased names below HKEY_LOCAL_MACHINE
    bool exists = false;
    std::map<std::u16string, StoredSet> sets;  // by upper-cased name: the registry's order
};
// A root path as the program sees it: the first of its places that exists.
struct OpenableRoot {
    const Place* place = nullptr;
    struct ListedName {
        std::string ansi;
        bool exact;  // every character had its counterpart in the code page
    };
    std::vector<ListedName> listing;  // in the registry's order
};

// Collects what lies under the places of the settings roots and drops everything else.
class SettingsCollector : public RegExportSink {
  public:
    SettingsCollector(Place* places, size_t placeCount, const Codepage& codepage)
        : places_(places), placeCount_(placeCount), codepage_(codepage) {}

    bool OnKey(RegRootKey root, const std::vector<std::u16string>& path) override {
        current_ = nullptr;
        if (root != RegRootKey::kLocalMachine) {
            return false;
        }
        const std::vector<std::u16string> upper = Upcase(path);
        for (Place& place : Places()) {
            if (!IsPrefix(place.path, upper)) {
                continue;
            }
            place.exists = true;
            if (upper.size() == place.path.size()) {
                return false;
            }
            // A set, or a key below one: either way the set now exists.
            const std::u16string& setKey = upper[place.path.size()];
            StoredSet& set = place.sets[setKey];
            if (set.name.empty()) {
                set.name = path[place.path.size()];
            }
            if (upper.size() == place.path.size() + 1) {
                current_ = &set;
                return true;
            }
            return false;
        }
        return false;
    }

    void OnDeleteKey(RegRootKey root, const std::vector<std::u16string>& path) override {
        current_ = nullptr;
        if (root != RegRootKey::kLocalMachine) {
            return;
        }
        const std::vector<std::u16string> upper = Upcase(path);
        for (Place& place : Places()) {
            if (IsPrefix(upper, place.path)) {
                place.exists = false;
                place.sets.clear();
            } else if (IsPrefix(place.path, upper) && upper.size() == place.path.size() + 1) {
                place.sets.erase(upper.back());
            }
        }
    }

    void OnValue(const std::u16string& name, uint32_t type, std::string&& data) override {
        StoredValue& value = current_->values[UpcaseName(name)];
        if (value.name.empty()) {
            value.name = name;
        }
        value.ansiData = ToAnsiData(type, data);
    }

    void OnDeleteValue(const std::u16string& name) override {
        current_->values.erase(UpcaseName(name));
    }

  private:
    static std::vector<std::u16string> Upcase(const std::vector<std::u16string>& path) {
        std::vector<std::u16string> upper;
        upper.reserve(path.size());
        for (const std::u16string& name : path) {
            upper.push_back(UpcaseName(name));
        }
        return upper;
    }

    static bool IsPrefix(const std::vector<std::u16string>& prefix,
                         const std::vector<std::u16string>& path) {
        if (prefix.size() > path.size()) {
            return false;
        }
        for (size_t i = 0; i < prefix.size(); ++i) {
            if (prefix[i] != path[i]) {
                return false;
            }
        }
        return true;
    }

    // Text-like types reach an ANSI caller converted, terminator included; a trailing odd
    // byte is not part of any character and is dropped, as the registry drops it.
    std::string ToAnsiData(uint32_t type, const std::string& data) const {
        if (type != kRegSz && type != kRegExpandSz && type != kRegMultiSz) {
            return data;
        }
        std::u16string text;
        AppendUtf16FromLe(data, &text);
        std::string ansi;
        codepage_.FromUtf16(text, &ansi);
        return ansi;
    }

    struct PlaceRange {
        Place* first;
        Place* last;
        Place* begin() const { return first; }
        Place* end() const { return last; }
    };
    PlaceRange Places() const { return {places_, places_ + placeCount_}; }

    Place* places_;
    size_t placeCount_;
    const Codepage& codepage_;
    StoredSet* current_ = nullptr;
};

std::vector<std::u16string> SplitRootPath(const char* rootPath, bool wow64) {
    std::vector<std::u16string> names;
    std::string name;
    for (const char* p = rootPath;; ++p) {
        if (*p == '\\' || *p == '\0') {
            names.push_back(UpcaseName(Widen(name)));
            if (wow64 && name == kSoftware) {
                names.push_back(UpcaseName(Widen(kWow64Node)));
            }
            name.clear();
            if (*p == '\0') {
                break;
            }
        } else {
            name.push_back(*p);
        }
    }
    return names;
}

}  // namespace

struct ExportSettingsStore::Data {
    const Codepage* codepage = nullptr;  // reads the ANSI names callers give
    Place places[kRootCount * kPlacesPerRoot];
    OpenableRoot roots[kRootCount];
    std::vector<ExportWarning> warnings;
};

ExportSettingsStore::ExportSettingsStore() : data_(new Data) {}

ExportSettingsStore::~ExportSettingsStore() = default;

bool ExportSettingsStore::Load(const std::string& path, const Codepage& codepage,
                               std::string* error) {
    data_.reset(new Data);
    data_->codepage = &codepage;
    for (size_t root = 0; root < kRootCount; ++root) {
        for (size_t view = 0; view < kPlacesPerRoot; ++view) {
            data_->places[root * kPlacesPerRoot + view].path =
                SplitRootPath(kSettingsRootPaths[root], view == 0);
        }
    }

    std::ifstream input(path, std::ios::binary);
    if (!input) {
        *error = path + ": cannot be opened: " + std::strerror(errno);
        return false;
    }
    SettingsCollector collector(data_->places, std::size(data_->places), codepage);
    RegExportParser parser(codepage, collector);
    std::string parseError;
    const bool parsed = parser.Parse(input, &parseError);
    for (const RegExportWarning& warning : parser.warnings()) {
        data_->warnings.push_back({warning.line, warning.message});
    }
    if (!parsed) {
        *error = path + ": " + parseError;
        return false;
    }

    bool anyRoot = false;
    for (size_t root = 0; root < kRootCount; ++root) {
        OpenableRoot& found = data_->roots[root];
        for (size_t view = 0; view < kPlacesPerRoot && found.place == nullptr; ++view) {
            const Place& place = data_->places[root * kPlacesPerRoot + view];
            if (place.exists) {
                found.place = &place;
            }
        }
        if (found.place == nullptr) {
            continue;
        }
        anyRoot = true;
        for (const auto& entry : found.place->sets) {
            std::string ansi;
            const bool exact = codepage.FromUtf16(entry.second.name, &ansi);
            found.listing.push_back({ansi, exact});
        }
    }
    if (!anyRoot) {
        *error = path + ": holds no settings: no key HKEY_LOCAL_MACHINE\\" + kSettingsRootPaths[0] +
                 " or HKEY_LOCAL_MACHINE\\" + kSettingsRootPaths[1] +
                 ", nor their copies under SOFTWARE\\WOW6432Node";
        return false;
    }
    return true;
}

const std::vector<ExportWarning>& ExportSettingsStore::warnings() const {
    return data_->warnings;
}

bool ExportSettingsStore::FindSettingsRoot(const char** rootPath, SettingsKey* root) {
    for (size_t index = 0; index < kRootCount; ++index) {
        if (OpenSettingsRoot(kSettingsRootPaths[index], root)) {
            *rootPath = kSettingsRootPaths[index];
            return true;
        }
    }
    return false;
}

EnumStatus ExportSettingsStore::EnumerateSetName(SettingsKey root, uint32_t index, char* name,
                                                 size_t nameSize) {
    const OpenableRoot* open = reinterpret_cast<const OpenableRoot*>(root);
    if (index >= open->listing.size()) {
        return EnumStatus::kNoMoreItems;
    }
    const OpenableRoot::ListedName& listed = open->listing[index];
    if (listed.ansi.size() >= nameSize) {
        return EnumStatus::kNameTooLong;
    }
    std::memcpy(name, listed.ansi.c_str(), listed.ansi.size() + 1);
    return listed.exact ? EnumStatus::kName : EnumStatus::kNameNotInCodepage;
}

bool ExportSettingsStore::OpenSettingsRoot(const char* rootPath, SettingsKey* root) {
    for (size_t index = 0; index < kRootCount; ++index) {
        if (data_->roots[index].place != nullptr &&
            UpcaseName(Widen(rootPath)) == UpcaseName(Widen(kSettingsRootPaths[index]))) {
            *root = reinterpret_cast<SettingsKey>(&data_->roots[index]);
            return true;
        }
    }
    return false;
}

bool ExportSettingsStore::OpenSettingsSet(SettingsKey root, const char* setName, SettingsKey* set) {
    // As RegOpenKeyExA does: the ANSI name back to UTF-16, then looked up. A listed name that
    // lost characters to the code page finds nothing, or another set.
    const OpenableRoot* open = reinterpret_cast<const OpenableRoot*>(root);
    std::u16string name;
    data_->codepage->ToUtf16(setName, &name);
    const auto found = open->place->sets.find(UpcaseName(name));
    if (found == open->place->sets.end()) {
        return false;
    }
    *set = reinterpret_cast<SettingsKey>(const_cast<StoredSet*>(&found->second));
    return true;
}

QueryStatus ExportSettingsStore::QueryValue(SettingsKey set, const char* valueName, void* buffer,
                                            uint32_t size, uint32_t* length) {
    const StoredSet* open = reinterpret_cast<const StoredSet*>(set);
    std::u16string name;
    data_->codepage->ToUtf16(valueName, &name);
    const auto found = open->values.find(UpcaseName(name));
    if (found == open->values.end()) {
        return QueryStatus::kMissing;
    }
    const std::string& data = found->second.ansiData;
    *length = static_cast<uint32_t>(data.size());
    if (data.size() > size) {
        return QueryStatus::kTooLong;
    }
    std::memcpy(buffer, data.data(), data.size());
    return QueryStatus::kFound;
}

void ExportSettingsStore::CloseSettingsKey(SettingsKey) {}

// The settings of one source: recognising the places of the settings roots in registry paths.
#include "settings/source_settings.h"

#include "settings/codepage.h"
#include "settings/settings_store.h"

namespace {

const char16_t kSoftware[] = u"SOFTWARE";
const char16_t kClasses[] = u"CLASSES";
const char16_t kVirtualStore[] = u"VIRTUALSTORE";
const char16_t kMachine[] = u"MACHINE";
const char16_t kWow64Node[] = u"WOW6432NODE";
const char16_t kClassesSuffix[] = u"_CLASSES";
constexpr size_t kMaxFormNames = 5;
// The names of a root path below SOFTWARE: "Quorix\Layrscan\Settings".
constexpr size_t kRootNamesBelowSoftware = 3;

// How a registry path reaches the SOFTWARE key that a place's settings roots lie under.
struct PlaceForm {
    RegRootKey root;
    const char16_t* sidSuffix;  // null, or the path starts with a user's SID and this suffix
    const char16_t* names[kMaxFormNames];
    size_t nameCount;
    SettingsPlace place;
};
const PlaceForm kPlaceForms[] = {
    // HKEY_LOCAL_MACHINE\SOFTWARE
    {RegRootKey::kLocalMachine, nullptr, {kSoftware}, 1, SettingsPlace::kMachine},
    // HKEY_CURRENT_USER\Software\Classes\VirtualStore\MACHINE\SOFTWARE
    {RegRootKey::kCurrentUser,
     nullptr,
     {kSoftware, kClasses, kVirtualStore, kMachine, kSoftware},
     5,
     SettingsPlace::kVirtualStore},
    // HKEY_USERS\<SID>_Classes\VirtualStore\MACHINE\SOFTWARE, where UsrClass.dat is loaded
    {RegRootKey::kUsers,
     kClassesSuffix,
     {kVirtualStore, kMachine, kSoftware},
     3,
     SettingsPlace::kVirtualStore},
    // HKEY_USERS\<SID>\Software\Classes\VirtualStore\MACHINE\SOFTWARE, a link to the one above
    {RegRootKey::kUsers,
     u"",
     {kSoftware, kClasses, kVirtualStore, kMachine, kSoftware},
     5,
     SettingsPlace::kVirtualStore},
};

enum class Reach {
    kNone,   // the path lies in no place
    kAbove,  // the path ends at or above a place's SOFTWARE key
    kBelow,  // the path goes on below a place's SOFTWARE key
};

bool EndsWith(const std::u16string& text, const char16_t* suffix) {
    const std::u16string tail(suffix);
    return text.size() > tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Finds the place an upper-cased path lies in. For kBelow, *below is the index of the first
// name under SOFTWARE; for HKEY_USERS, *sid is the user's SID as the path spells it.
Reach FindPlace(RegRootKey root, const std::vector<std::u16string>& path,
                const std::vector<std::u16string>& upper, const PlaceForm** form, size_t* below,
                std::u16string* sid) {
    for (const PlaceForm& candidate : kPlaceForms) {
        if (candidate.root != root) {
            continue;
        }
        size_t pos = 0;
        if (candidate.sidSuffix != nullptr) {
            if (upper.empty()) {
                *form = &candidate;
                return Reach::kAbove;
            }
            const bool classes = EndsWith(upper[0], kClassesSuffix);
            if (classes != (candidate.sidSuffix[0] != u'\0')) {
                continue;
            }
            const size_t suffixLength = std::u16string(candidate.sidSuffix).size();
            *sid = path[0].substr(0, path[0].size() - suffixLength);
            pos = 1;
        }
        bool differs = false;
        for (size_t i = 0; i < candidate.nameCount && pos + i < upper.size(); ++i) {
            if (upper[pos + i] != candidate.names[i]) {
                differs = true;
                break;
            }
        }
        if (differs) {
            continue;
        }
        *form = &candidate;
        if (upper.size() <= pos + candidate.nameCount) {
            return Reach::kAbove;
        }
        *below = pos + candidate.nameCount;
        return Reach::kBelow;
    }
    return Reach::kNone;
}

// The upper-cased names of root path number root below SOFTWARE.
const std::vector<std::u16string>& RootNames(size_t root) {
    static const std::vector<std::vector<std::u16string>> names = [] {
        std::vector<std::vector<std::u16string>> all;
        for (const char* path : kSettingsRootPaths) {
            std::vector<std::u16string> split(1);
            for (const char* p = path; *p != '\0'; ++p) {
                if (*p == '\\') {
                    split.emplace_back();
                } else {
                    split.back().push_back(RegistryUpcase(static_cast<char16_t>(*p)));
                }
            }
            split.erase(split.begin());  // SOFTWARE
            all.push_back(split);
        }
        return all;
    }();
    return names[root];
}

// The number of names of root that path follows from pos (all of them at most), or -1 when
// one of them differs.
int FollowedRootNames(const std::vector<std::u16string>& upper, size_t pos, size_t root) {
    const std::vector<std::u16string>& names = RootNames(root);
    size_t count = 0;
    for (; count < names.size() && pos + count < upper.size(); ++count) {
        if (upper[pos + count] != names[count]) {
            return -1;
        }
    }
    return static_cast<int>(count);
}

std::vector<std::u16string> Upcase(const std::vector<std::u16string>& path) {
    std::vector<std::u16string> upper;
    upper.reserve(path.size());
    for (const std::u16string& name : path) {
        upper.push_back(UpcaseName(name));
    }
    return upper;
}

// A SID as message text: its characters are ASCII.
std::string Narrow(const std::u16string& text) {
    std::string narrow;
    for (char16_t unit : text) {
        narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return narrow;
}

void Clear(StoredRoot* root) {
    root->exists = false;
    root->sets.clear();
}

}  // namespace

static_assert(sizeof(kSettingsRootPaths) / sizeof(kSettingsRootPaths[0]) == kRootCount,
              "one stored root per root path");

StoredRoot& SourceSettings::Root(SettingsPlace place, SettingsView view, size_t root) {
    return roots[static_cast<size_t>(place)][static_cast<size_t>(view)][root];
}

const StoredRoot& SourceSettings::Root(SettingsPlace place, SettingsView view, size_t root) const {
    return roots[static_cast<size_t>(place)][static_cast<size_t>(view)][root];
}

bool SourceSettings::Holds(SettingsPlace place) const {
    for (const auto& view : roots[static_cast<size_t>(place)]) {
        for (const StoredRoot& root : view) {
            if (root.exists) {
                return true;
            }
        }
    }
    return false;
}

std::u16string UpcaseName(const std::u16string& name) {
    std::u16string key(name);
    for (char16_t& unit : key) {
        unit = RegistryUpcase(unit);
    }
    return key;
}

bool SettingsCollector::OnKey(RegRootKey root, const std::vector<std::u16string>& path) {
    current_ = nullptr;
    const std::vector<std::u16string> upper = Upcase(path);
    const PlaceForm* form = nullptr;
    size_t pos = 0;
    std::u16string sid;
    if (FindPlace(root, path, upper, &form, &pos, &sid) != Reach::kBelow) {
        return false;
    }
    SettingsView view = SettingsView::kPlain;
    if (upper[pos] == kWow64Node) {
        settings_->wow64 = true;
        view = SettingsView::kWow64;
        ++pos;
    }
    for (size_t index = 0; index < kRootCount; ++index) {
        if (FollowedRootNames(upper, pos, index) != static_cast<int>(kRootNamesBelowSoftware)) {
            continue;
        }
        StoredRoot& stored = settings_->Root(form->place, view, index);
        stored.exists = true;
        if (form->sidSuffix != nullptr) {
            settings_->storeUsers.insert(Narrow(sid));
        }
        const size_t setPos = pos + kRootNamesBelowSoftware;
        if (upper.size() == setPos) {
            return false;
        }
        // A set, or a key below one: either way the set now exists.
        StoredSet& set = stored.sets[upper[setPos]];
        if (set.name.empty()) {
            set.name = path[setPos];
        }
        if (upper.size() == setPos + 1) {
            current_ = &set;
            return true;
        }
        return false;
    }
    return false;
}

void SettingsCollector::OnDeleteKey(RegRootKey root, const std::vector<std::u16string>& path) {
    current_ = nullptr;
    const std::vector<std::u16string> upper = Upcase(path);
    const PlaceForm* form = nullptr;
    size_t pos = 0;
    std::u16string sid;
    const Reach reach = FindPlace(root, path, upper, &form, &pos, &sid);
    if (reach == Reach::kNone) {
        return;
    }
    for (size_t view = 0; view < kViewCount; ++view) {
        size_t from = pos;
        if (reach == Reach::kBelow && static_cast<SettingsView>(view) == SettingsView::kWow64) {
            if (upper[from] != kWow64Node) {
                continue;
            }
            ++from;
        }
        for (size_t index = 0; index < kRootCount; ++index) {
            StoredRoot& stored =
                settings_->Root(form->place, static_cast<SettingsView>(view), index);
            if (reach == Reach::kAbove || from == upper.size()) {
                Clear(&stored);
                continue;
            }
            if (FollowedRootNames(upper, from, index) < 0) {
                continue;
            }
            const size_t below = upper.size() - from;
            if (below <= kRootNamesBelowSoftware) {
                Clear(&stored);
            } else if (below == kRootNamesBelowSoftware + 1) {
                stored.sets.erase(upper.back());
            }
        }
    }
}

void SettingsCollector::OnValue(const std::u16string& name, uint32_t type, std::string&& data) {
    StoredValue& value = current_->values[UpcaseName(name)];
    if (value.name.empty()) {
        value.name = name;
    }
    value.type = type;
    value.data = std::move(data);
}

void SettingsCollector::OnDeleteValue(const std::u16string& name) {
    current_->values.erase(UpcaseName(name));
}

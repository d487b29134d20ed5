// The settings of one source: recognising the places of the settings roots in registry paths.
#include "sets/source_settings.h"

#include "registry/settings_store.h"
#include "text/codepage.h"

namespace {

const char16_t kSoftware[] = u"SOFTWARE";
const char16_t kClasses[] = u"CLASSES";
const char16_t kVirtualStore[] = u"VIRTUALSTORE";
const char16_t kMachine[] = u"MACHINE";
const char16_t kWow64Node[] = u"WOW6432NODE";
const char16_t kClassesSuffix[] = u"_CLASSES";
constexpr size_t kMaxFormNames = 5;

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

using Path = std::vector<std::u16string_view>;

// True when name, upper-cased, is upper.
bool NameIs(std::u16string_view name, std::u16string_view upper) {
    return CompareWithUpcased(name, upper) == 0;
}

// True when name, upper-cased, ends in the upper-cased suffix and has more before it.
bool EndsWith(std::u16string_view name, std::u16string_view suffix) {
    return name.size() > suffix.size() && NameIs(name.substr(name.size() - suffix.size()), suffix);
}

// Finds the place a path lies in. For kBelow, *below is the index of the first name under
// SOFTWARE; for HKEY_USERS, *sid is the user's SID as the path spells it.
Reach FindPlace(RegRootKey root, const Path& path, const PlaceForm** form, size_t* below,
                std::u16string* sid) {
    for (const PlaceForm& candidate : kPlaceForms) {
        if (candidate.root != root) {
            continue;
        }
        size_t pos = 0;
        if (candidate.sidSuffix != nullptr) {
            if (path.empty()) {
                *form = &candidate;
                return Reach::kAbove;
            }
            const bool classes = EndsWith(path[0], kClassesSuffix);
            if (classes != (candidate.sidSuffix[0] != u'\0')) {
                continue;
            }
            const size_t suffixLength = std::u16string_view(candidate.sidSuffix).size();
            sid->assign(path[0].substr(0, path[0].size() - suffixLength));
            pos = 1;
        }
        bool differs = false;
        for (size_t i = 0; i < candidate.nameCount && pos + i < path.size(); ++i) {
            if (!NameIs(path[pos + i], candidate.names[i])) {
                differs = true;
                break;
            }
        }
        if (differs) {
            continue;
        }
        *form = &candidate;
        if (path.size() <= pos + candidate.nameCount) {
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
        for (size_t index = 0; index < kRootCount; ++index) {
            std::vector<std::u16string> upper;
            for (const std::string& name : SettingsRootNames(index)) {
                upper.emplace_back();
                for (char c : name) {
                    upper.back().push_back(RegistryUpcase(static_cast<char16_t>(c)));
                }
            }
            all.push_back(upper);
        }
        return all;
    }();
    return names[root];
}

// The number of names of root that path follows from pos (all of them at most), or -1 when
// one of them differs.
int FollowedRootNames(const Path& path, size_t pos, size_t root) {
    const std::vector<std::u16string>& names = RootNames(root);
    size_t count = 0;
    for (; count < names.size() && pos + count < path.size(); ++count) {
        if (!NameIs(path[pos + count], names[count])) {
            return -1;
        }
    }
    return static_cast<int>(count);
}

// A SID as message text: its characters are ASCII.
std::string Narrow(const std::u16string& text) {
    std::string narrow;
    for (char16_t unit : text) {
        narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return narrow;
}

}  // namespace

static_assert(sizeof(kSettingsRootPaths) / sizeof(kSettingsRootPaths[0]) == kRootCount,
              "one stored root per root path");

const std::vector<std::string>& SettingsRootNames(size_t root) {
    static const std::vector<std::vector<std::string>> names = [] {
        std::vector<std::vector<std::string>> all;
        for (const char* path : kSettingsRootPaths) {
            std::vector<std::string> split(1);
            for (const char* p = path; *p != '\0'; ++p) {
                if (*p == '\\') {
                    split.emplace_back();
                } else {
                    split.back().push_back(*p);
                }
            }
            split.erase(split.begin());  // SOFTWARE
            all.push_back(split);
        }
        return all;
    }();
    return names[root];
}

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

bool SettingsCollector::OnKey(RegRootKey root, const Path& path) {
    writer_.End();
    const PlaceForm* form = nullptr;
    size_t pos = 0;
    std::u16string sid;
    if (FindPlace(root, path, &form, &pos, &sid) != Reach::kBelow) {
        return false;
    }
    SettingsView view = SettingsView::kPlain;
    if (NameIs(path[pos], kWow64Node)) {
        settings_->wow64 = true;
        view = SettingsView::kWow64;
        ++pos;
    }
    for (size_t index = 0; index < kRootCount; ++index) {
        const size_t rootNames = RootNames(index).size();
        if (FollowedRootNames(path, pos, index) != static_cast<int>(rootNames)) {
            continue;
        }
        StoredRoot& stored = settings_->Root(form->place, view, index);
        stored.exists = true;
        if (form->sidSuffix != nullptr) {
            settings_->storeUsers.insert(Narrow(sid));
        }
        const size_t setPos = pos + rootNames;
        if (path.size() == setPos) {
            return false;
        }
        // A set, or a key below one: either way the set now exists.
        writer_.Begin(&stored, path[setPos]);
        if (path.size() == setPos + 1) {
            return true;
        }
        writer_.End();
        return false;
    }
    return false;
}

void SettingsCollector::OnDeleteKey(RegRootKey root, const Path& path) {
    writer_.End();
    const PlaceForm* form = nullptr;
    size_t pos = 0;
    std::u16string sid;
    const Reach reach = FindPlace(root, path, &form, &pos, &sid);
    if (reach == Reach::kNone) {
        return;
    }
    for (size_t view = 0; view < kViewCount; ++view) {
        size_t from = pos;
        if (reach == Reach::kBelow && static_cast<SettingsView>(view) == SettingsView::kWow64) {
            if (!NameIs(path[from], kWow64Node)) {
                continue;
            }
            ++from;
        }
        for (size_t index = 0; index < kRootCount; ++index) {
            StoredRoot& stored =
                settings_->Root(form->place, static_cast<SettingsView>(view), index);
            if (reach == Reach::kAbove || from == path.size()) {
                stored.Clear();
                continue;
            }
            if (FollowedRootNames(path, from, index) < 0) {
                continue;
            }
            const size_t below = path.size() - from;
            const size_t rootNames = RootNames(index).size();
            if (below <= rootNames) {
                stored.Clear();
            } else if (below == rootNames + 1) {
                const std::u16string upper = UpcaseName(path.back());
                StoredSet* set = stored.Find(upper, HashUnits(upper));
                if (set != nullptr) {
                    set->deleted = true;
                }
            }
        }
    }
}

void SettingsCollector::OnValue(std::u16string_view name, uint32_t type, std::string_view data) {
    writer_.SetValue(name, type, data);
}

void SettingsCollector::OnDeleteValue(std::u16string_view name) {
    writer_.DeleteValue(name);
}

void SettingsCollector::Finish() {
    writer_.End();
    for (auto& place : settings_->roots) {
        for (auto& view : place) {
            for (StoredRoot& root : view) {
                root.FinishReading();
            }
        }
    }
}

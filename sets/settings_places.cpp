// The table of the places of the settings: which key paths and hive keys lead to them.
#include "sets/settings_places.h"

#include "registry/settings_store.h"
#include "sets/value_names.h"

namespace {

const char kSoftwareKey[] = "SOFTWARE";
const char kClassesKey[] = "Classes";
const char kMachineKey[] = "MACHINE";
// A user's classes key under HKEY_USERS is the user's SID with this suffix.
const char16_t kClassesSuffix[] = u"_CLASSES";
constexpr size_t kMaxHiveTopNames = 2;

// Whether a key path under HKEY_USERS starts with a user's key, and which.
enum class UserKey {
    kNone,     // the path does not start with a user's SID
    kClasses,  // <SID>_Classes: the user's Software\Classes
    kProfile,  // <SID>: the user's HKEY_CURRENT_USER
};

// How a key path reaches the key that the top of a place's hive file stands for; from there
// HiveKeysToSoftware leads on to the place's SOFTWARE key.
struct PlaceForm {
    RegRootKey root;
    UserKey user;
    const char* toHiveTop[kMaxHiveTopNames];  // unused ones null
    SettingsPlace place;
};
const PlaceForm kPlaceForms[] = {
    // HKEY_LOCAL_MACHINE\SOFTWARE
    {RegRootKey::kLocalMachine, UserKey::kNone, {kSoftwareKey}, SettingsPlace::kMachine},
    // HKEY_CURRENT_USER\Software\Classes
    {RegRootKey::kCurrentUser,
     UserKey::kNone,
     {kSoftwareKey, kClassesKey},
     SettingsPlace::kVirtualStore},
    // HKEY_USERS\<SID>_Classes, where UsrClass.dat is loaded
    {RegRootKey::kUsers, UserKey::kClasses, {}, SettingsPlace::kVirtualStore},
    // HKEY_USERS\<SID>\Software\Classes, a link to the one above
    {RegRootKey::kUsers,
     UserKey::kProfile,
     {kSoftwareKey, kClassesKey},
     SettingsPlace::kVirtualStore},
};
constexpr size_t kFormCount = sizeof kPlaceForms / sizeof kPlaceForms[0];

using Path = std::vector<std::u16string_view>;

// An ASCII name as the registry compares it.
std::u16string Upcased(const std::string& ascii) {
    return UpcaseName(std::u16string(ascii.begin(), ascii.end()));
}

// True when name, upper-cased, is upper.
bool NameIs(std::u16string_view name, std::u16string_view upper) {
    return CompareWithUpcased(name, upper) == 0;
}

// True when name, upper-cased, ends in the upper-cased suffix and has more before it.
bool EndsWith(std::u16string_view name, std::u16string_view suffix) {
    return name.size() > suffix.size() && NameIs(name.substr(name.size() - suffix.size()), suffix);
}

// The upper-cased names of form number form after its root and SID, down to its place's
// SOFTWARE key.
const std::vector<std::u16string>& FormNames(size_t form) {
    static const std::vector<std::vector<std::u16string>> names = [] {
        std::vector<std::vector<std::u16string>> all;
        for (const PlaceForm& candidate : kPlaceForms) {
            all.emplace_back();
            for (const char* name : candidate.toHiveTop) {
                if (name != nullptr) {
                    all.back().push_back(Upcased(name));
                }
            }
            for (const char* name : HiveKeysToSoftware(candidate.place)) {
                all.back().push_back(Upcased(name));
            }
        }
        return all;
    }();
    return names[form];
}

// The upper-cased names of root path number root below SOFTWARE.
const std::vector<std::u16string>& RootNames(size_t root) {
    static const std::vector<std::vector<std::u16string>> names = [] {
        std::vector<std::vector<std::u16string>> all;
        for (size_t index = 0; index < kRootCount; ++index) {
            std::vector<std::u16string> upper;
            for (const std::string& name : SettingsRootNames(index)) {
                upper.push_back(Upcased(name));
            }
            all.push_back(upper);
        }
        return all;
    }();
    return names[root];
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

const std::vector<const char*>& HiveKeysToSoftware(SettingsPlace place) {
    static const std::vector<const char*> machine;
    static const std::vector<const char*> virtualStore = {kVirtualStoreKey, kMachineKey,
                                                          kSoftwareKey};
    return place == SettingsPlace::kMachine ? machine : virtualStore;
}

PathPlace FindPlace(RegRootKey root, const Path& path) {
    PathPlace found;
    for (size_t form = 0; form < kFormCount; ++form) {
        const PlaceForm& candidate = kPlaceForms[form];
        if (candidate.root != root) {
            continue;
        }
        size_t pos = 0;
        if (candidate.user != UserKey::kNone) {
            if (path.empty()) {
                found.reach = PathPlace::kAbove;
                found.place = candidate.place;
                found.ofUser = true;
                return found;
            }
            const bool classes = EndsWith(path[0], kClassesSuffix);
            if (classes != (candidate.user == UserKey::kClasses)) {
                continue;
            }
            const size_t suffixLength = classes ? std::u16string_view(kClassesSuffix).size() : 0;
            found.sid = path[0].substr(0, path[0].size() - suffixLength);
            pos = 1;
        }
        const std::vector<std::u16string>& names = FormNames(form);
        bool differs = false;
        for (size_t i = 0; i < names.size() && pos + i < path.size(); ++i) {
            if (!NameIs(path[pos + i], names[i])) {
                differs = true;
                break;
            }
        }
        if (differs) {
            continue;
        }
        found.place = candidate.place;
        found.ofUser = candidate.user != UserKey::kNone;
        if (path.size() <= pos + names.size()) {
            found.reach = PathPlace::kAbove;
            return found;
        }
        found.below = pos + names.size();
        found.reach = PathPlace::kBelow;
        return found;
    }
    return PathPlace();
}

bool IsWow64Key(std::u16string_view name) {
    static const std::u16string upper = Upcased(kWow64Key);
    return NameIs(name, upper);
}

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

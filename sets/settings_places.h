// The places in the registry where the instrument's settings may lie, and how a key path or a
// hive file reaches them: the one table of the keys on the way.
//
// The instrument software keeps its settings under HKEY_LOCAL_MACHINE\SOFTWARE. On 64-bit
// Windows a 32-bit program's SOFTWARE is SOFTWARE\WOW6432Node; and when a standard user ran the
// software on Windows Vista or later, Windows wrote its settings into that user's virtual store
// instead, the same paths under ...\VirtualStore\MACHINE\SOFTWARE. So each root path of
// kSettingsRootPaths may lie in eight places: machine or virtual store, plain or WOW6432Node.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "registry/registry_types.h"

enum class SettingsPlace {
    kMachine,       // HKEY_LOCAL_MACHINE\SOFTWARE, a SOFTWARE hive
    kVirtualStore,  // a user's Classes\VirtualStore\MACHINE\SOFTWARE, a UsrClass.dat hive
};
enum class SettingsView {
    kPlain,  // SOFTWARE\Quorix\...: 32-bit Windows
    kWow64,  // SOFTWARE\WOW6432Node\Quorix\...: the 32-bit programs of 64-bit Windows
};
constexpr size_t kPlaceCount = 2;
constexpr size_t kViewCount = 2;
constexpr size_t kRootCount = 2;  // the entries of kSettingsRootPaths

// Keys on the way to the settings, as Windows spells them; the registry matches names in any case.
inline constexpr char kWow64Key[] = "WOW6432Node";  // in SOFTWARE: the 32-bit programs' view
inline constexpr char kVirtualStoreKey[] = "VirtualStore";  // in a user's Software\Classes

// The names of root path number root of kSettingsRootPaths below SOFTWARE, spelled as there:
// "Quorix", "Layrscan", "Settings".
const std::vector<std::string>& SettingsRootNames(size_t root);

// The keys from the top of a hive file that holds place down to its SOFTWARE key: none in a
// SOFTWARE hive, whose top is HKEY_LOCAL_MACHINE\SOFTWARE; VirtualStore, MACHINE, SOFTWARE in a
// UsrClass.dat, whose top is its user's Software\Classes.
const std::vector<const char*>& HiveKeysToSoftware(SettingsPlace place);

// Where a key path below a root key lies among the places.
struct PathPlace {
    enum Reach {
        kNone,   // in no place
        kAbove,  // at or above a place's SOFTWARE key
        kBelow,  // below a place's SOFTWARE key
    } reach = kNone;
    SettingsPlace place = SettingsPlace::kMachine;
    size_t below = 0;         // for kBelow: the index of the first name under SOFTWARE
    bool ofUser = false;      // the path starts with a user's SID, under HKEY_USERS
    std::u16string_view sid;  // that SID, as the path spells it
};

// Finds where path, below root, lies.
PathPlace FindPlace(RegRootKey root, const std::vector<std::u16string_view>& path);

// True when name is the WOW6432Node key.
bool IsWow64Key(std::u16string_view name);

// The number of names of root path number root that path follows from pos (all of them at
// most), or -1 when one of them differs.
int FollowedRootNames(const std::vector<std::u16string_view>& path, size_t pos, size_t root);

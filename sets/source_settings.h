// What one source (a registry export or a hive file) holds of the instrument's settings, and
// the collector that fills it from the keys and values the source hands over.
//
// Each root path of kSettingsRootPaths may lie in eight places (sets/settings_places.h). A source
// keeps every one of them apart; which of them the program sees is decided when the sources are
// merged (sets/merged_sets.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "registry/registry_types.h"
#include "sets/settings_places.h"
#include "sets/set_writer.h"
#include "sets/stored_sets.h"

// What a hive file looks like by the keys at its top: for the user, when it holds no settings.
enum class HiveKind {
    kNotAHive,     // an export
    kSoftware,     // a SOFTWARE hive: HKEY_LOCAL_MACHINE\SOFTWARE
    kUserProfile,  // a user's NTUSER.DAT: HKEY_CURRENT_USER, which holds no virtual store
    kUserClasses,  // a user's UsrClass.dat: HKEY_CURRENT_USER\Software\Classes
    kOther,        // any other hive
};

struct SourceSettings {
    // arena keeps the sets of every source of a store; it must outlive the source.
    explicit SourceSettings(SettingsArena* arena) : arena(arena) {}
    SourceSettings(const SourceSettings&) = delete;
    SourceSettings& operator=(const SourceSettings&) = delete;

    SettingsArena* arena;
    StoredRoot roots[kPlaceCount][kViewCount][kRootCount];
    // The source holds HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node, or a virtual store's
    // MACHINE\SOFTWARE\WOW6432Node: it comes from 64-bit Windows.
    bool wow64 = false;
    // The users under HKEY_USERS whose virtual store holds a settings root, by SID.
    // HKEY_CURRENT_USER is one of them, or the only one, and is not listed.
    std::set<std::string> storeUsers;
    HiveKind hiveKind = HiveKind::kNotAHive;

    StoredRoot& Root(SettingsPlace place, SettingsView view, size_t root);
    const StoredRoot& Root(SettingsPlace place, SettingsView view, size_t root) const;
    // Returns true when a settings root exists in place, in either view.
    bool Holds(SettingsPlace place) const;
};

// Keeps what the keys and values handed to it hold in the places of a SourceSettings and
// drops everything else. A registry export hands over the key paths it holds through
// RegExportParser; a hive reader, which knows where its keys lie, hands over places instead:
// OnWow64Key, OnRootKey and OnSetKey, each set followed by its values. Finish must be called once
// the source has handed over everything.
class SettingsCollector : public RegExportSink {
  public:
    explicit SettingsCollector(SourceSettings* settings)
        : settings_(settings), writer_(settings->arena) {}

    bool OnKey(RegRootKey root, const std::vector<std::u16string_view>& path) override;
    void OnDeleteKey(RegRootKey root, const std::vector<std::u16string_view>& path) override;
    void OnValue(std::u16string_view name, uint32_t type, std::string_view data) override;
    void OnDeleteValue(std::u16string_view name) override;

    // A SOFTWARE key of the source holds WOW6432Node: the source comes from 64-bit Windows.
    void OnWow64Key();
    // Root path number root exists in place, in view.
    void OnRootKey(SettingsPlace place, SettingsView view, size_t root);
    // The set name of that root: it exists, and the values handed over next are its own.
    void OnSetKey(SettingsPlace place, SettingsView view, size_t root, std::u16string_view name);

    // Keeps the last set handed over, and frees what only the reading needs.
    void Finish();

  private:
    SourceSettings* settings_;
    SetWriter writer_;
};

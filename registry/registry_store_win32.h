// The settings store on the live Windows registry, as the instrument software wrote it.
#pragma once

#include "registry/settings_store.h"

// Reads HKEY_LOCAL_MACHINE through the 32-bit registry view in every build, because the
// instrument software is a 32-bit program: on 64-bit Windows its setups live under
// SOFTWARE\WOW6432Node. Keys are HKEYs; each is closed by whoever opened it.
class RegistrySettingsStore : public SettingsStore {
  public:
    // RegOpenKeyExA with KEY_ENUMERATE_SUB_KEYS on each root path in turn.
    bool FindSettingsRoot(const char** rootPath, SettingsKey* root) override;

    // RegEnumKeyA. A name that does not fit nameSize gives kNameTooLong; give
    // kMaxListedNameBytes to list every name the registry allows in any code page. Any other
    // failure than a name too long or the end of the list gives kFailed: the key can no longer
    // be listed. A name that is not what RegEnumKeyW gives for the same index, read back
    // through the system's code page, gives kNameNotInCodepage: RegEnumKeyA wrote look-alike
    // letters or '?' for characters the code page lacks.
    EnumStatus EnumerateSetName(SettingsKey root, uint32_t index, char* name,
                                size_t nameSize) override;

    // RegEnumKeyW.
    bool OwnSetName(SettingsKey root, uint32_t index, std::u16string* name) override;

    // RegOpenKeyExA with KEY_READ, under HKEY_LOCAL_MACHINE or under the open root.
    bool OpenSettingsRoot(const char* rootPath, SettingsKey* root) override;
    bool OpenSettingsSet(SettingsKey root, const char* setName, SettingsKey* set) override;

    // RegQueryValueExA without asking for the type: kFound exactly when it answers
    // ERROR_SUCCESS, kTooLong for ERROR_MORE_DATA, kMissing for any other answer.
    QueryStatus QueryValue(SettingsKey set, const char* valueName, void* buffer, uint32_t size,
                           uint32_t* length) override;

    // RegCloseKey.
    void CloseSettingsKey(SettingsKey key) override;
};

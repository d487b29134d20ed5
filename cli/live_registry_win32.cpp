// On Windows, rcpconv without an export reads the live registry, as the dialog program does.
#include "cli/settings_source.h"
#include "registry/registry_store_win32.h"

std::unique_ptr<SettingsStore> OpenLiveRegistry(std::string*) {
    return std::make_unique<RegistrySettingsStore>();
}

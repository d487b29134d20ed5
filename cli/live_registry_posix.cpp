// Without Windows there is no live registry: rcpconv needs an export.
#include "cli/settings_source.h"

std::unique_ptr<SettingsStore> OpenLiveRegistry(std::string* error) {
    *error =
        "no registry on this system: give a registry export (.reg) of the settings, "
        "made with regedit or reg export on the instrument's PC";
    return nullptr;
}

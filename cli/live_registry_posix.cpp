// Without Windows there is no live registry: rcpconv needs an export or a hive.
#include "cli/settings_source.h"

std::unique_ptr<SettingsStore> OpenLiveRegistry(std::string* error) {
    *error =
        "no registry on this system: give a registry export (.reg) of the settings, made with "
        "regedit or reg export on the instrument's PC, or its registry hive files (SOFTWARE, "
        "and the user's UsrClass.dat)";
    return nullptr;
}

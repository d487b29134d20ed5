// Store choice for rcpconv: the offline store over the sources given, otherwise the live registry.
#include "cli/settings_source.h"

#include "cli/console_output.h"
#include "cli/options.h"
#include "sources/offline_store.h"

bool OpenSettingsSource(const CliOptions& options, const Codepage& codepage, OpenedSettings* opened,
                        std::string* error) {
    if (options.sources.empty()) {
        opened->store = OpenLiveRegistry(error);
        return opened->store != nullptr;
    }
    auto store = std::make_unique<OfflineSettingsStore>();
    const bool loaded = store->Load(options.sources, codepage, error);
    for (const SourceWarning& warning : store->warnings()) {
        PrintSourceWarning(warning);
        opened->skipped = opened->skipped || warning.skipped;
    }
    if (!loaded) {
        return false;
    }
    opened->offline = store.get();
    opened->store = std::move(store);
    return true;
}

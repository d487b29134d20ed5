// Store choice for rcpconv: the export reader for a .reg file, otherwise the live registry.
#include "cli/settings_source.h"

#include "cli/console_output.h"
#include "cli/options.h"
#include "settings/export_store.h"

std::unique_ptr<SettingsStore> OpenSettingsSource(const CliOptions& options,
                                                  const Codepage& codepage, bool* malformedLines,
                                                  std::string* error) {
    *malformedLines = false;
    if (options.exportPath.empty()) {
        return OpenLiveRegistry(error);
    }
    auto store = std::make_unique<ExportSettingsStore>();
    if (!store->Load(options.exportPath, codepage, error)) {
        return nullptr;
    }
    for (const ExportWarning& warning : store->warnings()) {
        PrintExportWarning(options.exportPath, warning.line, warning.message);
    }
    *malformedLines = !store->warnings().empty();
    return store;
}

// Reading a registry export into the settings of one source.
#include "sources/source_readers.h"

#include "sources/reg_export_parser.h"

bool ReadExportSource(std::istream& input, const std::string& path, const Codepage& codepage,
                      SourceSettings* settings, std::vector<SourceWarning>* warnings,
                      std::string* error) {
    SettingsCollector collector(settings);
    RegExportParser parser(codepage, collector);
    std::string parseError;
    const bool parsed = parser.Parse(input, &parseError);
    collector.Finish();
    for (const RegExportWarning& warning : parser.warnings()) {
        warnings->push_back({path, warning.line, warning.message, true});
    }
    if (!parsed) {
        *error = parseError;
        return false;
    }
    return true;
}

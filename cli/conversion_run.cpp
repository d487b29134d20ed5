// Set listing, set selection and the batch run behind rcpconv.
#include "cli/conversion_run.h"

#include <cctype>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#ifdef _WIN32
#include <direct.h>
#endif

#include "cli/console_output.h"
#include "cli/options.h"
#include "conversion/batch_conversion.h"
#include "settings/codepage.h"

namespace {

bool IsDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == S_IFDIR;
}

int MakeOneDirectory(const std::string& path) {
#ifdef _WIN32
    return _mkdir(path.c_str());
#else
    return mkdir(path.c_str(), 0777);
#endif
}

bool IsSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

// Creates directory and its missing parents. Returns false with *error when it is not a
// directory afterwards.
bool MakeDirectories(const std::string& directory, std::string* error) {
    int lastErrno = 0;
    for (size_t i = 1; i <= directory.size(); ++i) {
        if (i < directory.size() && !IsSeparator(directory[i])) {
            continue;
        }
        const std::string prefix = directory.substr(0, i);
        // Existing parts (and drive names) fail with EEXIST or worse; only the end result counts.
        if (!IsDirectory(prefix) && MakeOneDirectory(prefix) != 0) {
            lastErrno = errno;
        }
    }
    if (IsDirectory(directory)) {
        return true;
    }
    *error = "cannot create the directory " + directory + ": " +
             std::strerror(lastErrno != 0 ? lastErrno : ENOTDIR);
    return false;
}

// Registry names match regardless of ASCII case.
bool SameSetName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        const unsigned char x = static_cast<unsigned char>(a[i]);
        const unsigned char y = static_cast<unsigned char>(b[i]);
        if (x != y && !(x < 0x80 && y < 0x80 && std::tolower(x) == std::tolower(y))) {
            return false;
        }
    }
    return true;
}

// Chooses the sets to convert: every listed one, or the named ones in the order given (each
// once, spelled as listed). Returns false, printing each unknown name, when one is not listed.
bool ChooseSets(const std::vector<std::string>& listed, const CliOptions& options,
                const Codepage& codepage, std::vector<std::string>* chosen) {
    if (options.setNames.empty()) {
        *chosen = listed;
        return true;
    }
    bool allKnown = true;
    for (const std::string& requested : options.setNames) {
        const std::string* match = nullptr;
        for (const std::string& name : listed) {
            if (SameSetName(DisplayName(name, codepage), requested)) {
                match = &name;
                break;
            }
        }
        if (match == nullptr) {
            PrintError("no set named \"" + requested +
                       "\" in the settings (--list shows their names)");
            allKnown = false;
            continue;
        }
        bool already = false;
        for (const std::string& name : *chosen) {
            already = already || name == *match;
        }
        if (!already) {
            chosen->push_back(*match);
        }
    }
    return allKnown;
}

}  // namespace

bool ListSettingsSets(SettingsStore& store, const char** rootPath,
                      std::vector<std::string>* setNames, std::string* error) {
    if (!ListSetNames(store, rootPath, setNames)) {
        *error = std::string("no settings found: neither HKEY_LOCAL_MACHINE\\") +
                 kSettingsRootPaths[0] + " nor HKEY_LOCAL_MACHINE\\" + kSettingsRootPaths[1] +
                 " exists";
        return false;
    }
    return true;
}

int RunConversion(SettingsStore& store, const char* rootPath,
                  const std::vector<std::string>& listed, const CliOptions& options,
                  const Codepage& codepage) {
    BatchRequest request;
    request.rootPath = rootPath;
    request.directory = options.outputDirectory;
#ifdef _WIN32
    request.fileNameCodepage = nullptr;
#else
    request.fileNameCodepage = &codepage;
#endif
    if (!ChooseSets(listed, options, codepage, &request.setNames)) {
        return kExitUnreadable;
    }
    std::string error;
    if (!options.toStdout && !MakeDirectories(options.outputDirectory, &error)) {
        PrintError(error);
        return kExitIncomplete;
    }

    RecipeFileTarget files(&codepage);
    StdoutRecipeTarget printed(codepage);
    RecipeTarget& target = options.toStdout ? static_cast<RecipeTarget&>(printed) : files;
    BatchReport report;
    if (!ConvertSelectedSets(store, request, target, &report, &error)) {
        PrintError(error);
        return kExitUnreadable;
    }
    PrintBatchReport(report, options.outputDirectory, options.toStdout, codepage);
    return report.notConverted.empty() ? kExitConverted : kExitIncomplete;
}

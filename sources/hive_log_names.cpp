// Matching a hive's file name with its logs' names, case ignored.
#include "sources/hive_log_names.h"

#include <cstring>

#include "text/ascii_case.h"

namespace {

#ifdef _WIN32
const char kPathSeparators[] = "/\\";
#else
const char kPathSeparators[] = "/";
#endif

// The names of the transactional registry's files: the hive's name, a GUID in braces, one of
// these endings.
const char kTransactionMark = '{';
const char* const kTransactionEndings[] = {".TM.blf", ".regtrans-ms"};

bool EndsWithNoCase(std::string_view text, std::string_view ending) {
    return text.size() >= ending.size() &&
           EqualsAsciiNoCase(text.substr(text.size() - ending.size()), ending);
}

}  // namespace

bool IsHiveLogName(std::string_view hiveName, std::string_view fileName, size_t slot) {
    const std::string_view suffix = kHiveLogSuffixes[slot];
    return fileName.size() == hiveName.size() + suffix.size() &&
           EqualsAsciiNoCase(fileName.substr(0, hiveName.size()), hiveName) &&
           EqualsAsciiNoCase(fileName.substr(hiveName.size()), suffix);
}

bool IsHiveTransactionFileName(std::string_view hiveName, std::string_view fileName) {
    if (fileName.size() <= hiveName.size() ||
        !EqualsAsciiNoCase(fileName.substr(0, hiveName.size()), hiveName) ||
        fileName[hiveName.size()] != kTransactionMark) {
        return false;
    }
    for (const char* ending : kTransactionEndings) {
        if (EndsWithNoCase(fileName, ending)) {
            return true;
        }
    }
    return false;
}

std::string HiveNameOfLog(std::string_view fileName) {
    for (const char* suffix : kHiveLogSuffixes) {
        const size_t length = std::strlen(suffix);
        if (fileName.size() > length && EndsWithNoCase(fileName, suffix)) {
            return std::string(fileName.substr(0, fileName.size() - length));
        }
    }
    return "";
}

void SplitPath(const std::string& path, std::string* directory, std::string* fileName) {
    const size_t separator = path.find_last_of(kPathSeparators);
    const size_t name = separator == std::string::npos ? 0 : separator + 1;
    *directory = path.substr(0, name);
    *fileName = path.substr(name);
}

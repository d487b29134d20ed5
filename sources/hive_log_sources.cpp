// Telling the logs among the sources from the hives, by their base blocks and their names.
#include "sources/hive_log_sources.h"

#include <cstring>
#include <fstream>

#include "sources/file_identity.h"
#include "sources/hive_format.h"
#include "sources/hive_log_names.h"

namespace {

enum class SourceKind { kOther, kHive, kLog, kEmpty };

SourceKind KindOf(const std::string& path) {
    unsigned char head[kFileTypeOffset + 4] = {};
    std::ifstream input(path, std::ios::binary);
    input.read(reinterpret_cast<char*>(head), sizeof head);
    const size_t got = static_cast<size_t>(input.gcount());
    if (!input && got == 0) {
        return input.eof() ? SourceKind::kEmpty : SourceKind::kOther;
    }
    if (got < kHiveSignatureBytes || std::memcmp(head, kHiveSignature, kHiveSignatureBytes) != 0) {
        return SourceKind::kOther;
    }
    return IsLogFileHead(head, got) ? SourceKind::kLog : SourceKind::kHive;
}

// Whether two directories, as split from paths ("" for the current one), are one, however they
// are spelled: "SOFTWARE" and "./SOFTWARE.LOG1" lie side by side.
bool IsSameDirectory(const std::string& a, const std::string& b) {
    return a == b || IsSameFile(a.empty() ? "." : a, b.empty() ? "." : b);
}

// Whether the file at path bears the name of a log of one of the hives (or, with
// transactionFiles, of a file of the transactional registry beside one).
bool IsBesideHive(const std::string& path, const std::vector<std::string>& hives,
                  bool transactionFiles) {
    std::string directory;
    std::string name;
    SplitPath(path, &directory, &name);
    for (const std::string& hive : hives) {
        std::string hiveDirectory;
        std::string hiveName;
        SplitPath(hive, &hiveDirectory, &hiveName);
        if (!IsSameDirectory(directory, hiveDirectory)) {
            continue;
        }
        for (size_t slot = 0; slot < kHiveLogCount; ++slot) {
            if (IsHiveLogName(hiveName, name, slot)) {
                return true;
            }
        }
        if (transactionFiles && IsHiveTransactionFileName(hiveName, name)) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool LeaveOutHiveLogs(const std::vector<std::string>& paths, std::vector<std::string>* sources,
                      std::string* error) {
    std::vector<SourceKind> kinds;
    std::vector<std::string> hives;
    for (const std::string& path : paths) {
        kinds.push_back(KindOf(path));
        if (kinds.back() == SourceKind::kHive) {
            hives.push_back(path);
        }
    }
    sources->clear();
    for (size_t i = 0; i < paths.size(); ++i) {
        const bool logName = IsBesideHive(paths[i], hives, false);
        if (kinds[i] == SourceKind::kLog && !logName) {
            std::string directory;
            std::string name;
            SplitPath(paths[i], &directory, &name);
            const std::string hive = HiveNameOfLog(name);
            *error = paths[i] +
                     ": is a transaction log of a registry hive, not a settings source: " +
                     (hive.empty() ? "give its hive instead, with the log beside it named as "
                                     "the hive's logs are (HIVE.LOG1, HIVE.LOG2 or HIVE.LOG)"
                                   : "give its hive, " + directory + hive +
                                         ", instead: the logs beside a hive are read with it");
            return false;
        }
        const bool readWithHive =
            kinds[i] == SourceKind::kLog ||
            (kinds[i] != SourceKind::kHive && IsBesideHive(paths[i], hives, true));
        if (!readWithHive) {
            sources->push_back(paths[i]);
        }
    }
    return true;
}

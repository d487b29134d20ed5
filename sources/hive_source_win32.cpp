// The Windows build reads no hive files: loading one needs privileges and calls that Windows XP
// lacks, and the Linux build reads them with libhivex.
#include "sources/source_readers.h"

bool ReadHiveSource(const std::string&, SourceSettings*, std::vector<SourceWarning>*,
                    std::string* error) {
    *error =
        "is a registry hive file, which the Linux build of this program reads; on Windows, load "
        "it with regedit (File, Load Hive) and export the settings as a .reg file";
    return false;
}

// File identity on Windows: the volume's serial number and the file's index on it, which the C
// runtime's stat does not give.
#include "sources/file_identity.h"

#include <windows.h>

namespace {

// The identity of the file at path into *info. Returns false when it cannot be opened.
bool IdentifyFile(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
    // No access asked for: only its attributes are read, whoever holds it open.
    HANDLE file =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool identified = GetFileInformationByHandle(file, info) != 0;
    CloseHandle(file);
    return identified;
}

}  // namespace

bool IsSameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION first;
    BY_HANDLE_FILE_INFORMATION second;
    return IdentifyFile(a, &first) && IdentifyFile(b, &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

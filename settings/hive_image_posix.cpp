// The hive as libhivex reads it: its logs found beside it and mapped, the recovered copy built
// in a memory file.
#include "settings/hive_image_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "settings/hive_log_names.h"
#include "settings/hive_recovery.h"

namespace {

constexpr size_t kMinimumHiveBytes = 2 * kHiveBaseBlockBytes;  // a base block and one bin
const char kMemoryFileName[] = "recovered hive";
const char kSelfFdDirectory[] = "/proc/self/fd/";

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// A file opened for reading only and mapped whole, when it holds anything.
class MappedFile {
  public:
    MappedFile() = default;
    ~MappedFile() { Close(); }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Returns false when path is no regular file that can be read.
    bool Open(const std::string& path) {
        fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info;
        if (fd_ < 0 || fstat(fd_, &info) != 0) {
            return false;
        }
        if (!S_ISREG(info.st_mode)) {
            errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
            return false;
        }
        size_ = static_cast<size_t>(info.st_size);
        if (size_ > 0) {
            void* data = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd_, 0);
            data_ = data == MAP_FAILED ? nullptr : data;
        }
        return size_ == 0 || data_ != nullptr;
    }
    // Gives up the mapping, keeping the file open.
    void Unmap() {
        if (data_ != nullptr) {
            munmap(data_, size_);
            data_ = nullptr;
        }
    }
    void Close() {
        Unmap();
        if (fd_ >= 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ByteView bytes() const { return {static_cast<const unsigned char*>(data_), size_}; }
    int fd() const { return fd_; }

  private:
    int fd_ = -1;
    void* data_ = nullptr;
    size_t size_ = 0;
};

// Finds and maps the logs beside the hive at path. Where case alone tells two names apart, the
// one spelled as the hive is taken, else the first in byte order.
void FindLogs(const std::string& path, HiveLogFiles* logs,
              std::array<MappedFile, kHiveLogCount>* mapped) {
    std::string directory;
    std::string hiveName;
    SplitPath(path, &directory, &hiveName);
    for (size_t slot = 0; slot < kHiveLogCount; ++slot) {
        (*logs)[slot].name = hiveName + kHiveLogSuffixes[slot];
    }
    std::array<bool, kHiveLogCount> exact{};
    std::array<std::string, kHiveLogCount> names;
    if (DIR* entries = opendir(directory.empty() ? "." : directory.c_str())) {
        while (const dirent* entry = readdir(entries)) {
            const std::string name = entry->d_name;
            for (size_t slot = 0; slot < kHiveLogCount; ++slot) {
                const bool same = name == (*logs)[slot].name;
                if (IsHiveLogName(hiveName, name, slot) && !exact[slot] &&
                    (same || names[slot].empty() || name < names[slot])) {
                    names[slot] = name;
                    exact[slot] = same;
                }
            }
        }
        closedir(entries);
    }
    for (size_t slot = 0; slot < kHiveLogCount; ++slot) {
        HiveLogFile& log = (*logs)[slot];
        MappedFile& file = (*mapped)[slot];
        if (!names[slot].empty() && file.Open(directory + names[slot])) {
            log.name = names[slot];
            log.found = true;
            log.bytes = file.bytes();
        }
    }
}

// Reads up to size bytes at offset of fd into buffer. Returns the bytes read, or -1.
ssize_t ReadAt(int fd, unsigned char* buffer, size_t size, off_t offset) {
    size_t done = 0;
    while (done < size) {
        const ssize_t got = pread(fd, buffer + done, size - done, offset + done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

// The hive's end as its base block announces it must lie within size bytes.
bool CheckAnnouncedSize(const unsigned char* baseBlock, uint64_t size, std::string* error) {
    const uint64_t announced = kHiveBaseBlockBytes + ReadLittle32(baseBlock + kBinsSizeOffset);
    if (size < announced) {
        *error = HiveDamagedError("it is cut short (" + std::to_string(size) +
                                  " bytes, where its header announces " +
                                  std::to_string(announced) + ")");
        return false;
    }
    return true;
}

}  // namespace

std::string HiveDamagedError(const std::string& what) {
    return "cannot be read as a registry hive: " + what +
           ": copy it again from the PC's disk, or load it on a Windows PC with regedit's Load "
           "Hive and export the settings from there";
}

HiveImage::~HiveImage() {
    if (memoryFile_ >= 0) {
        close(memoryFile_);
    }
}

bool HiveImage::Open(const std::string& path, std::vector<SourceWarning>* warnings,
                     std::string* error) {
    MappedFile hive;
    if (!hive.Open(path)) {
        *error = ErrnoText("cannot be opened");
        return false;
    }
    const ByteView bytes = hive.bytes();
    if (bytes.size < kMinimumHiveBytes) {
        *error = HiveDamagedError("it is cut short (" + std::to_string(bytes.size) +
                                  " bytes, where the smallest hive has " +
                                  std::to_string(kMinimumHiveBytes) + ")");
        return false;
    }
    HiveLogFiles logs;
    std::array<MappedFile, kHiveLogCount> mapped;
    HiveRecovery recovery;
    if (IsDirtyHive(bytes)) {
        FindLogs(path, &logs, &mapped);
        PlanHiveRecovery(bytes, logs, &recovery);
    }
    for (const std::string& message : HiveRecoveryMessages(recovery, logs)) {
        warnings->push_back({path, 0, message, false});
    }
    readPath_ = path;
    if (!recovery.applies) {
        return CheckAnnouncedSize(bytes.data, bytes.size, error);
    }
    // The copy: the hive's bytes read (not mapped, which would count them twice), then the
    // logs' pages written over them.
    hive.Unmap();
    memoryFile_ = memfd_create(kMemoryFileName, MFD_CLOEXEC);
    void* image = MAP_FAILED;
    if (memoryFile_ >= 0 && ftruncate(memoryFile_, static_cast<off_t>(recovery.imageSize)) == 0) {
        image =
            mmap(nullptr, recovery.imageSize, PROT_READ | PROT_WRITE, MAP_SHARED, memoryFile_, 0);
    }
    if (image == MAP_FAILED) {
        *error = ErrnoText("cannot be read with its logs applied");
        return false;
    }
    const size_t copied = std::min<uint64_t>(bytes.size, recovery.imageSize);
    const bool read = ReadAt(hive.fd(), static_cast<unsigned char*>(image), copied, 0) ==
                      static_cast<ssize_t>(copied);
    if (read) {
        ApplyHiveRecovery(recovery, static_cast<unsigned char*>(image));
        readPath_ = kSelfFdDirectory + std::to_string(memoryFile_);
    } else {
        *error = ErrnoText("cannot be read");
    }
    munmap(image, recovery.imageSize);
    return read && CheckAnnouncedSize(recovery.baseBlock.data(), recovery.imageSize, error);
}

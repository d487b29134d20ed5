// The hive as libhivex reads it: its logs found beside it and mapped, the recovered copy built
// in a memory file.
#include "sources/hive_image_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "sources/hive_format.h"
#include "sources/hive_log_names.h"
#include "sources/hive_recovery.h"

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

    // Returns false when path is no regular file that can be read; a pipe or a device is not
    // waited on. populate maps every page at once, for a file that is to be read whole: far
    // fewer faults than one page at a time.
    bool Open(const std::string& path, bool populate) {
        fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
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
            void* data = mmap(nullptr, size_, PROT_READ,
                              MAP_PRIVATE | (populate ? MAP_POPULATE : 0), fd_, 0);
            data_ = data == MAP_FAILED ? nullptr : data;
        }
        return size_ == 0 || data_ != nullptr;
    }
    // Maps every page of the file at once, as Open with populate does; where that fails, the
    // mapping stays as it was.
    void Populate() {
        if (data_ != nullptr) {
            void* data = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd_, 0);
            if (data != MAP_FAILED) {
                munmap(data_, size_);
                data_ = data;
            }
        }
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
    } else {
        // A directory that may be entered but not listed: the logs can still be opened by the
        // names Windows gives them.
        for (size_t slot = 0; slot < kHiveLogCount; ++slot) {
            names[slot] = (*logs)[slot].name;
        }
    }
    for (size_t slot = 0; slot < kHiveLogCount; ++slot) {
        HiveLogFile& log = (*logs)[slot];
        MappedFile& file = (*mapped)[slot];
        if (!names[slot].empty() && file.Open(directory + names[slot], false)) {
            // Only what looks like a log is read whole: another file may bear a log's name.
            if (IsLogFileHead(file.bytes().data, file.bytes().size)) {
                file.Populate();
            }
            log.name = names[slot];
            log.found = true;
            log.bytes = file.bytes();
        }
    }
}

// Writes size bytes at offset of fd. Returns false with errno set when it cannot.
bool WriteAll(int fd, const unsigned char* data, size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t done = pwrite(fd, data, size, offset);
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            return false;
        }
        data += done;
        size -= static_cast<size_t>(done);
        offset += done;
    }
    return true;
}

// Copies the first size bytes of from to to, but those that a write of recovery covers.
bool CopyHive(int from, int to, uint64_t size, const HiveRecovery& recovery) {
    std::vector<std::pair<uint64_t, uint64_t>> covered;
    for (const ImageWrite& write : recovery.writes) {
        covered.emplace_back(write.offset, write.offset + write.size);
    }
    std::sort(covered.begin(), covered.end());
    covered.emplace_back(size, size);
    uint64_t next = 0;  // the first byte not yet copied or covered
    for (const auto& [start, end] : covered) {
        off_t offset = static_cast<off_t>(next);
        const off_t until = static_cast<off_t>(std::min(start, size));
        if (offset < until && lseek(to, offset, SEEK_SET) != offset) {
            return false;
        }
        while (offset < until) {
            const ssize_t done = sendfile(to, from, &offset, static_cast<size_t>(until - offset));
            if (done < 0 && errno == EINTR) {
                continue;
            }
            if (done <= 0) {
                return false;
            }
        }
        next = std::max(next, end);
    }
    return true;
}

// Writes into the memory file what recovery puts over the hive's bytes.
bool WriteRecoveredHive(const HiveRecovery& recovery, int memoryFile) {
    for (const ImageWrite& write : recovery.writes) {
        if (!WriteAll(memoryFile, write.data, write.size, static_cast<off_t>(write.offset))) {
            return false;
        }
    }
    return WriteAll(memoryFile, recovery.baseBlock.data(), recovery.baseBlock.size(), 0);
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
    if (!hive.Open(path, false)) {
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
    // The copy, made by the kernel rather than through a mapping, whose page faults would cost
    // more than the copying itself: the hive's bytes but those the logs' pages cover, then
    // those pages.
    hive.Unmap();
    memoryFile_ = memfd_create(kMemoryFileName, MFD_CLOEXEC);
    const bool built = memoryFile_ >= 0 &&
                       ftruncate(memoryFile_, static_cast<off_t>(recovery.imageSize)) == 0 &&
                       CopyHive(hive.fd(), memoryFile_,
                                std::min<uint64_t>(bytes.size, recovery.imageSize), recovery) &&
                       WriteRecoveredHive(recovery, memoryFile_);
    if (!built) {
        *error = ErrnoText("cannot be read with its logs applied");
        return false;
    }
    readPath_ = kSelfFdDirectory + std::to_string(memoryFile_);
    return CheckAnnouncedSize(recovery.baseBlock.data(), recovery.imageSize, error);
}

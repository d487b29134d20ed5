// libFuzzer harness: a hive and its transaction logs from one input, through recovery and the
// settings walk.
//
// The input: one byte of options, then the hive, the .LOG1 and the .LOG2, each after its length
// (4 bytes, little-endian; a length past the end takes what is left), and the rest as the .LOG.
// They are written as SOFTWARE and its logs into a directory in memory (a log of no bytes is left
// out) and loaded through OfflineSettingsStore::Load as rcpconv loads them; every set listed is
// opened and its values queried. The options repair what a mutation breaks at once, so that
// the fuzzer reaches past the checks: bit 0 sets the two hashes of every log entry, bit 1 the
// checksum of every base block. Checked on the way:
//  - the plan of a recovery writes only within its image, and only bytes of the logs;
//  - a failed load names the file, and every warning is about the hive;
//  - the hive and its logs are as they were written: nothing writes to them.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "text/codepage.h"
#include "sources/hive_format.h"
#include "sources/hive_recovery.h"
#include "sources/marvin32.h"
#include "sources/offline_store.h"
#include "registry/settings_store.h"

namespace {

constexpr uint8_t kFixEntryHashes = 1;
constexpr uint8_t kFixChecksums = 2;
constexpr size_t kLengthBytes = 4;
constexpr size_t kSetNameBuffer = 256;
const char* const kFileNames[] = {"SOFTWARE", "SOFTWARE.LOG1", "SOFTWARE.LOG2", "SOFTWARE.LOG"};
constexpr size_t kFiles = sizeof kFileNames / sizeof kFileNames[0];
const char* const kValueNames[] = {"Mat1", "Electrolyte", "AmpCar", "Model", "CalTable"};

Codepage g_codepage;
std::string g_directory;

[[noreturn]] void Fail(const char* what) {
    fprintf(stderr, "hive recovery invariant broken: %s\n", what);
    abort();
}

// The next part of the input: a length, then that many bytes (or what is left).
std::string TakePart(const uint8_t** data, size_t* size) {
    if (*size < kLengthBytes) {
        *data += *size;
        *size = 0;
        return "";
    }
    size_t length = ReadLittle32(*data);
    *data += kLengthBytes;
    *size -= kLengthBytes;
    length = length < *size ? length : *size;
    std::string part(reinterpret_cast<const char*>(*data), length);
    *data += length;
    *size -= length;
    return part;
}

unsigned char* Bytes(std::string* text) {
    return reinterpret_cast<unsigned char*>(&(*text)[0]);
}

void FixChecksum(std::string* file) {
    if (file->size() >= kLogBaseBlockBytes) {
        WriteLittle32(Bytes(file) + kChecksumOffset, BaseBlockChecksum(Bytes(file)));
    }
}

// Gives every entry of a new-format log that the walk reaches the hashes of what it holds.
void FixEntryHashes(std::string* log) {
    for (size_t at = kLogSectorBytes; at + kEntryHeaderBytes <= log->size();) {
        unsigned char* entry = Bytes(log) + at;
        const size_t size = ReadLittle32(entry + kEntrySizeOffset);
        if (size < kEntryHeaderBytes || size % kLogSectorBytes != 0 || size > log->size() - at) {
            return;
        }
        const uint64_t hash1 =
            Marvin32(entry + kEntryHeaderBytes, size - kEntryHeaderBytes, kLogEntryHashSeed);
        WriteLittle32(entry + kEntryHash1Offset, static_cast<uint32_t>(hash1));
        WriteLittle32(entry + kEntryHash1Offset + 4, static_cast<uint32_t>(hash1 >> 32));
        const uint64_t hash2 = Marvin32(entry, kEntryHash2Offset, kLogEntryHashSeed);
        WriteLittle32(entry + kEntryHash2Offset, static_cast<uint32_t>(hash2));
        WriteLittle32(entry + kEntryHash2Offset + 4, static_cast<uint32_t>(hash2 >> 32));
        at += size;
    }
}

std::string PathOf(size_t file) {
    return g_directory + "/" + kFileNames[file];
}

void WriteFiles(const std::string (&files)[kFiles]) {
    for (size_t i = 0; i < kFiles; ++i) {
        const std::string path = PathOf(i);
        unlink(path.c_str());
        if (i > 0 && files[i].empty()) {
            continue;
        }
        FILE* out = fopen(path.c_str(), "wb");
        if (out == nullptr || fwrite(files[i].data(), 1, files[i].size(), out) != files[i].size() ||
            fclose(out) != 0) {
            Fail("cannot write the scratch files");
        }
    }
}

std::string ReadBack(const std::string& path) {
    std::string bytes;
    if (FILE* in = fopen(path.c_str(), "rb")) {
        char buffer[4096];
        for (size_t got; (got = fread(buffer, 1, sizeof buffer, in)) > 0;) {
            bytes.append(buffer, got);
        }
        fclose(in);
    }
    return bytes;
}

// The pure plan over the same bytes: every write lies in the image and comes from a log.
void CheckPlan(const std::string (&files)[kFiles]) {
    HiveLogFiles logs;
    for (size_t slot = 0; slot < kHiveLogCount; ++slot) {
        const std::string& log = files[slot + 1];
        logs[slot].name = kFileNames[slot + 1];
        logs[slot].found = !log.empty();
        logs[slot].bytes = {reinterpret_cast<const unsigned char*>(log.data()), log.size()};
    }
    HiveRecovery recovery;
    PlanHiveRecovery({reinterpret_cast<const unsigned char*>(files[0].data()), files[0].size()},
                     logs, &recovery);
    if (!recovery.applies) {
        return;
    }
    if (recovery.imageSize <
        kHiveBaseBlockBytes + uint64_t{ReadLittle32(recovery.baseBlock.data() + kBinsSizeOffset)}) {
        Fail("the image is smaller than its base block says");
    }
    for (const ImageWrite& write : recovery.writes) {
        bool fromLog = false;
        for (const HiveLogFile& log : logs) {
            fromLog = fromLog || (write.data >= log.bytes.data && write.size <= log.bytes.size &&
                                  write.data - log.bytes.data <=
                                      static_cast<ptrdiff_t>(log.bytes.size - write.size));
        }
        if (!fromLog || write.offset < kHiveBaseBlockBytes ||
            write.offset + write.size > recovery.imageSize) {
            Fail("a write lies outside the image or outside the logs");
        }
    }
}

void ReadSets(OfflineSettingsStore& store) {
    for (const char* path : kSettingsRootPaths) {
        SettingsKey root = nullptr;
        if (!store.OpenSettingsRoot(path, &root)) {
            continue;
        }
        for (uint32_t index = 0;; ++index) {
            char name[kSetNameBuffer];
            const EnumStatus status = store.EnumerateSetName(root, index, name, sizeof name);
            if (status == EnumStatus::kNoMoreItems) {
                break;
            }
            SettingsKey set = nullptr;
            if (status == EnumStatus::kNameTooLong || !store.OpenSettingsSet(root, name, &set)) {
                continue;
            }
            for (const char* value : kValueNames) {
                TextValueData text;
                ReadTextValue(store, set, value, &text);
            }
            store.CloseSettingsKey(set);
        }
        store.CloseSettingsKey(root);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string error;
    if (!g_codepage.Open("Windows-1252", &error)) {
        Fail("Windows-1252 is missing from iconv");
    }
    char pattern[] = "/dev/shm/hive_fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        Fail("cannot make the scratch directory");
    }
    g_directory = pattern;
    atexit([] {
        for (size_t i = 0; i < kFiles; ++i) {
            unlink(PathOf(i).c_str());
        }
        rmdir(g_directory.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint8_t options = data[0];
    ++data;
    --size;
    std::string files[kFiles];
    for (size_t i = 0; i + 1 < kFiles; ++i) {
        files[i] = TakePart(&data, &size);
    }
    files[kFiles - 1].assign(reinterpret_cast<const char*>(data), size);
    for (std::string& file : files) {
        if ((options & kFixEntryHashes) != 0 && &file != &files[0]) {
            FixEntryHashes(&file);
        }
        if ((options & kFixChecksums) != 0) {
            FixChecksum(&file);
        }
    }
    WriteFiles(files);
    CheckPlan(files);

    OfflineSettingsStore store;
    std::string error;
    const std::string hive = PathOf(0);
    if (!store.Load({hive}, g_codepage, &error)) {
        if (error.compare(0, hive.size() + 2, hive + ": ") != 0) {
            Fail("a failed load does not name the file");
        }
    } else {
        ReadSets(store);
    }
    for (const SourceWarning& warning : store.warnings()) {
        if (warning.path != hive || warning.message.empty()) {
            Fail("a warning not about the hive");
        }
    }
    for (size_t i = 0; i < kFiles; ++i) {
        if ((i == 0 || !files[i].empty()) && ReadBack(PathOf(i)) != files[i]) {
            Fail("the hive or a log was changed");
        }
    }
    return 0;
}

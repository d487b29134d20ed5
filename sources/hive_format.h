// The layout of registry hive files and their transaction logs, as the published format gives it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// The base block, at the start of a hive and (its first sector) of each of its logs.
constexpr size_t kHiveBaseBlockBytes = 4096;
constexpr size_t kLogBaseBlockBytes = 512;  // a log keeps the first sector of it
// Every hive and log starts with this signature; a source starting with it is read as a hive.
constexpr char kHiveSignature[] = "regf";
constexpr size_t kHiveSignatureBytes = sizeof kHiveSignature - 1;
constexpr size_t kBaseSignatureOffset = 0;
constexpr size_t kPrimarySequenceOffset = 4;
constexpr size_t kSecondarySequenceOffset = 8;
constexpr size_t kTimestampOffset = 12;  // last written, a FILETIME
constexpr size_t kFileTypeOffset = 28;
constexpr size_t kBinsSizeOffset = 0x28;  // bytes of hive bins after the base block
constexpr size_t kBaseFlagsOffset = 0x90;
constexpr size_t kChecksumOffset = 0x1FC;  // XOR of the 32-bit words before it
constexpr uint32_t kPrimaryFileType = 0;
constexpr uint32_t kOldLogFileType = 1;      // Windows XP to 8: a dirty vector and dirty pages
constexpr uint32_t kNewLogFileType = 6;      // Windows 8.1 and later: log entries
constexpr uint32_t kBaseFlagsFromEntry = 1;  // the one flag a log entry carries

// A hive bin: a header, then cells; bins are whole multiples of this size.
constexpr size_t kHiveBinAlignment = 4096;
constexpr size_t kBinHeaderBytes = 0x20;
constexpr size_t kBinOffsetOffset = 4;  // where the bin starts, counted from the first bin
constexpr size_t kBinSizeOffset = 8;
constexpr size_t kBinTimestampOffset = 0x14;  // of the first bin only: the base block's backup

// An old-format log: after its base block, "DIRT" and a bitmap of the 512-byte pages of the hive
// bins that changed, then those pages in order, from the next sector on.
constexpr size_t kLogSectorBytes = 512;
constexpr size_t kDirtyPageBytes = 512;

// A new-format log entry, from the second sector on, each at a multiple of the sector size.
constexpr size_t kEntrySizeOffset = 4;
constexpr size_t kEntryFlagsOffset = 8;
constexpr size_t kEntrySequenceOffset = 12;
constexpr size_t kEntryBinsSizeOffset = 16;
constexpr size_t kEntryPageCountOffset = 20;
constexpr size_t kEntryHash1Offset = 24;  // Marvin32 of the entry from its page references on
constexpr size_t kEntryHash2Offset = 32;  // Marvin32 of the entry's first 32 bytes
constexpr size_t kEntryHeaderBytes = 40;
constexpr size_t kPageReferenceBytes = 8;  // offset in the hive bins, then size
constexpr size_t kPageReferenceSizeOffset = 4;
// The published format writes the seed as the bytes 82 EF 4D 88 7A 4E 55 C5; Windows uses them
// as this number, not read little-endian.
constexpr uint64_t kLogEntryHashSeed = 0x82EF4D887A4E55C5;

inline uint32_t ReadLittle32(const unsigned char* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

inline uint64_t ReadLittle64(const unsigned char* bytes) {
    return static_cast<uint64_t>(ReadLittle32(bytes + 4)) << 32 | ReadLittle32(bytes);
}

inline void WriteLittle32(unsigned char* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

// The XOR of the words of a base block before its checksum (at least kChecksumOffset bytes).
inline uint32_t BaseBlockChecksum(const unsigned char* baseBlock) {
    uint32_t sum = 0;
    for (size_t offset = 0; offset < kChecksumOffset; offset += 4) {
        sum ^= ReadLittle32(baseBlock + offset);
    }
    return sum;
}

// Whether a base block's checksum is right. Windows stores 1 for a sum of 0 and 0xFFFFFFFE for
// 0xFFFFFFFF; libhivex wants the plain sum, which a recovered hive therefore gets.
inline bool BaseBlockChecksumRight(const unsigned char* baseBlock) {
    const uint32_t sum = BaseBlockChecksum(baseBlock);
    const uint32_t stored = ReadLittle32(baseBlock + kChecksumOffset);
    return stored == sum || (sum == 0 && stored == 1) || (sum == UINT32_MAX && stored == sum - 1);
}

// Whether a file that starts with these size bytes is a transaction log, of either format, by
// its base block's signature and file type alone.
inline bool IsLogFileHead(const unsigned char* head, size_t size) {
    if (size < kFileTypeOffset + 4 ||
        std::memcmp(head + kBaseSignatureOffset, kHiveSignature, kHiveSignatureBytes) != 0) {
        return false;
    }
    const uint32_t type = ReadLittle32(head + kFileTypeOffset);
    return type == kOldLogFileType || type == kNewLogFileType;
}

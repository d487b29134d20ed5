// Old-format transaction logs: the dirty pages of one log, written bin by bin.
#include <algorithm>
#include <cstring>

#include "settings/hive_log_replay.h"

namespace {

const char kDirtyVectorSignature[] = "DIRT";
constexpr size_t kSignatureBytes = sizeof kDirtyVectorSignature - 1;
constexpr size_t kBitsPerByte = 8;
const char kBinSignature[] = "hbin";

size_t RoundUpToSector(size_t bytes) {
    return (bytes + kLogSectorBytes - 1) / kLogSectorBytes * kLogSectorBytes;
}

// The size of the bin whose header is at header (offset counted from the first bin), or 0 when
// the header is not that of a bin there within binsSize bytes of bins.
uint64_t BinSize(const unsigned char* header, uint64_t offset, uint64_t binsSize) {
    const uint64_t size = ReadLittle32(header + kBinSizeOffset);
    const bool sound = std::memcmp(header, kBinSignature, kSignatureBytes) == 0 &&
                       ReadLittle32(header + kBinOffsetOffset) == offset && size != 0 &&
                       size % kHiveBinAlignment == 0 && offset + size <= binsSize;
    return sound ? size : 0;
}

bool IsSet(const unsigned char* bitmap, size_t bit) {
    return (bitmap[bit / kBitsPerByte] >> (bit % kBitsPerByte) & 1) != 0;
}

}  // namespace

bool OldLogApplies(const DirtyHive& hive, const ByteView& log) {
    const uint64_t written = ReadLittle64(log.data + kTimestampOffset);
    // A crash may come before the first bin, which keeps a copy of the timestamp, is rewritten.
    return hive.baseBlockValid ? written == hive.timestamp : written >= hive.firstBinTimestamp;
}

bool PlanDirtyPages(const DirtyHive& hive, const ByteView& log, size_t index,
                    HiveRecovery* recovery) {
    LogResult& result = recovery->logs[index];
    const uint32_t binsSize = ReadLittle32(log.data + kBinsSizeOffset);
    // One bit per page of the hive bins, in whole bytes since bins are whole 4096-byte blocks.
    const size_t bitmapBytes = binsSize / kDirtyPageBytes / kBitsPerByte;
    const size_t vector = kLogBaseBlockBytes;
    if (binsSize == 0 || binsSize % kHiveBinAlignment != 0 || binsSize > hive.binsLimit ||
        log.size < vector + kSignatureBytes + bitmapBytes ||
        std::memcmp(log.data + vector, kDirtyVectorSignature, kSignatureBytes) != 0) {
        result.problem = LogProblem::kBaseBlockDamaged;
        return false;
    }
    const unsigned char* bitmap = log.data + vector + kSignatureBytes;
    const size_t pages = vector + RoundUpToSector(kSignatureBytes + bitmapBytes);
    const size_t held = log.size > pages ? (log.size - pages) / kDirtyPageBytes : 0;
    recovery->oldLog = index;
    size_t page = 0;  // dirty pages so far
    const size_t bits = bitmapBytes * kBitsPerByte;
    for (size_t bit = 0; bit < bits;) {
        if (!IsSet(bitmap, bit)) {
            ++bit;
            continue;
        }
        size_t run = 0;
        while (bit + run < bits && IsSet(bitmap, bit + run)) {
            ++run;
        }
        // The log may end before the run does, or before it starts.
        const size_t inLog = page < held ? std::min(run, held - page) : 0;
        const size_t from = std::min(pages + page * kDirtyPageBytes, log.size);
        recovery->writes.push_back(
            {kHiveBaseBlockBytes + bit * kDirtyPageBytes, log.data + from, run * kDirtyPageBytes});
        recovery->firstPages.push_back(page);
        recovery->heldBytes.push_back(inLog * kDirtyPageBytes);
        page += run;
        bit += run;
    }
    result.total = page;
    return true;
}

void ApplyDirtyPages(HiveRecovery* recovery, uint64_t binsSize, unsigned char* image) {
    LogResult& result = recovery->logs[recovery->oldLog];
    unsigned char* bins = image + kHiveBaseBlockBytes;
    uint64_t nextBin = 0;  // where the first bin not yet passed starts
    const auto stop = [&result](LogProblem problem) {
        result.problem = problem;
        result.failed = result.applied + 1;
    };
    for (size_t i = 0; i < recovery->writes.size(); ++i) {
        const ImageWrite& write = recovery->writes[i];
        const uint64_t start = write.offset - kHiveBaseBlockBytes;
        const uint64_t end = start + write.size;
        const uint64_t held = start + recovery->heldBytes[i];
        // The bins before this run stand as the hive or an earlier run left them.
        for (uint64_t size = 0; nextBin < start && nextBin < binsSize &&
                                (size = BinSize(bins + nextBin, nextBin, binsSize)) != 0;) {
            nextBin += size;
        }
        for (uint64_t at = start; at < end;) {
            // The run's part in a bin that starts before it, or a bin that starts in it.
            uint64_t binEnd = nextBin;
            if (at >= nextBin) {
                if (at != nextBin || at >= binsSize) {
                    return stop(LogProblem::kPageDamaged);
                }
                if (held < at + kBinHeaderBytes) {
                    return stop(LogProblem::kPageMissing);
                }
                const uint64_t size = BinSize(write.data + (at - start), at, binsSize);
                if (size == 0) {
                    return stop(LogProblem::kPageDamaged);
                }
                binEnd = at + size;
            }
            const uint64_t until = binEnd < end ? binEnd : end;
            if (until > held) {
                return stop(LogProblem::kPageMissing);
            }
            std::memcpy(bins + at, write.data + (at - start), until - at);
            result.applied += (until - at) / kDirtyPageBytes;
            nextBin = binEnd > nextBin ? binEnd : nextBin;
            at = until;
        }
    }
}

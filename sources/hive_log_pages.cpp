// Old-format transaction logs: the dirty pages of one log, each dirty bin checked before any
// page of the log is written.
#include <algorithm>
#include <cstring>

#include "sources/hive_log_replay.h"

namespace {

const char kDirtyVectorSignature[] = "DIRT";
constexpr size_t kSignatureBytes = sizeof kDirtyVectorSignature - 1;
constexpr size_t kBitsPerByte = 8;
const char kBinSignature[] = "hbin";

size_t RoundUpToSector(size_t bytes) {
    return (bytes + kLogSectorBytes - 1) / kLogSectorBytes * kLogSectorBytes;
}

bool IsSet(const unsigned char* bitmap, size_t bit) {
    return (bitmap[bit / kBitsPerByte] >> (bit % kBitsPerByte) & 1) != 0;
}

// A run of dirty pages: where in the hive bins, and its first page's number among the dirty.
struct DirtyRun {
    uint64_t start;
    uint64_t end;
    size_t firstPage;
};

// The hive bins as recovery would leave them, read without writing them: a dirty page from the
// log, any other from the hive.
class RecoveredBins {
  public:
    RecoveredBins(const ByteView& hive, const std::vector<DirtyRun>& runs,
                  const unsigned char* pages)
        : hive_(hive), runs_(runs), pages_(pages) {}

    // The size of the bin whose header is at offset within binsSize bytes of bins, or 0 when
    // no sound bin header is there.
    uint64_t BinSize(uint64_t offset, uint64_t binsSize) const {
        const unsigned char* header = Header(offset);
        if (header == nullptr || std::memcmp(header, kBinSignature, kSignatureBytes) != 0 ||
            ReadLittle32(header + kBinOffsetOffset) != offset) {
            return 0;
        }
        const uint64_t size = ReadLittle32(header + kBinSizeOffset);
        return size != 0 && size % kHiveBinAlignment == 0 && offset + size <= binsSize ? size : 0;
    }

  private:
    // The bin header's bytes at offset, or null where neither holds them whole.
    const unsigned char* Header(uint64_t offset) const {
        const auto run =
            std::upper_bound(runs_.begin(), runs_.end(), offset,
                             [](uint64_t at, const DirtyRun& dirty) { return at < dirty.start; });
        if (run != runs_.begin() && offset < std::prev(run)->end) {
            const DirtyRun& dirty = *std::prev(run);
            return offset + kBinHeaderBytes <= dirty.end
                       ? pages_ + (dirty.firstPage * kDirtyPageBytes + (offset - dirty.start))
                       : nullptr;
        }
        const uint64_t at = kHiveBaseBlockBytes + offset;
        return at + kBinHeaderBytes <= hive_.size ? hive_.data + at : nullptr;
    }

    const ByteView& hive_;
    const std::vector<DirtyRun>& runs_;
    const unsigned char* pages_;
};

// The dirty page (1-based) at which the bins recovered from runs stop being sound, or 0 when
// every dirty bin is.
size_t FirstBadPage(const RecoveredBins& bins, const std::vector<DirtyRun>& runs,
                    uint64_t binsSize) {
    uint64_t nextBin = 0;  // the first bin not yet passed
    for (const DirtyRun& run : runs) {
        while (nextBin < run.start) {
            const uint64_t size = bins.BinSize(nextBin, binsSize);
            if (size == 0) {
                return run.firstPage + 1;  // no sound bin leads up to the run
            }
            nextBin += size;
        }
        while (nextBin < run.end) {
            const uint64_t size = bins.BinSize(nextBin, binsSize);
            if (size == 0) {
                return run.firstPage + (nextBin - run.start) / kDirtyPageBytes + 1;
            }
            nextBin += size;
        }
    }
    return 0;
}

}  // namespace

bool OldLogApplies(const DirtyHive& hive, const ByteView& log) {
    const uint64_t written = ReadLittle64(log.data + kTimestampOffset);
    // A crash may come before the first bin, which keeps a copy of the timestamp, is rewritten.
    return hive.baseBlockValid ? written == hive.timestamp : written >= hive.firstBinTimestamp;
}

bool PlanDirtyPages(const DirtyHive& hive, const ByteView& hiveBytes, const ByteView& log,
                    uint64_t binsSize, LogResult* result, std::vector<ImageWrite>* writes) {
    const uint32_t logBins = ReadLittle32(log.data + kBinsSizeOffset);
    // One bit per page of the hive bins, in whole bytes since bins are whole 4096-byte blocks.
    const size_t bitmapBytes = logBins / kDirtyPageBytes / kBitsPerByte;
    const size_t vector = kLogBaseBlockBytes;
    if (logBins == 0 || logBins % kHiveBinAlignment != 0 || logBins > hive.binsLimit ||
        log.size < vector + kSignatureBytes + bitmapBytes ||
        std::memcmp(log.data + vector, kDirtyVectorSignature, kSignatureBytes) != 0) {
        result->problem = LogProblem::kBaseBlockDamaged;
        return false;
    }
    const unsigned char* bitmap = log.data + vector + kSignatureBytes;
    const size_t pages = vector + RoundUpToSector(kSignatureBytes + bitmapBytes);
    const size_t held = log.size > pages ? (log.size - pages) / kDirtyPageBytes : 0;
    std::vector<DirtyRun> runs;
    size_t page = 0;  // dirty pages so far
    for (size_t bit = 0; bit < bitmapBytes * kBitsPerByte; ++bit) {
        if (!IsSet(bitmap, bit)) {
            continue;
        }
        const uint64_t start = bit * uint64_t{kDirtyPageBytes};
        if (!runs.empty() && runs.back().end == start) {
            runs.back().end += kDirtyPageBytes;
        } else {
            runs.push_back({start, start + kDirtyPageBytes, page});
        }
        ++page;
    }
    result->total = page;
    if (held < page) {
        result->problem = LogProblem::kPageMissing;
        result->failed = held + 1;
        return false;
    }
    const RecoveredBins bins(hiveBytes, runs, log.data + pages);
    result->failed = FirstBadPage(bins, runs, binsSize);
    if (result->failed != 0) {
        result->problem = LogProblem::kPageDamaged;
        return false;
    }
    for (const DirtyRun& run : runs) {
        writes->push_back({kHiveBaseBlockBytes + run.start,
                           log.data + pages + run.firstPage * kDirtyPageBytes,
                           static_cast<size_t>(run.end - run.start)});
    }
    result->applied = page;
    return true;
}

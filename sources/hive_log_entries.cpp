// New-format transaction logs: log entries replayed in consecutive sequence across the logs.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "sources/hive_log_replay.h"
#include "sources/marvin32.h"

namespace {

const char kEntrySignature[] = "HvLE";
constexpr size_t kSignatureBytes = sizeof kEntrySignature - 1;
constexpr size_t kHash2Bytes = 32;  // the entry's first bytes, Hash-1 included

// One entry's header as it stands in a log.
struct EntryHeader {
    size_t offset;  // in the log
    uint32_t size;
    uint32_t sequence;
    bool walkable;  // its size is a whole number of sectors that the log holds
};

// The entry header at offset, or false at the end of the log's entries (no signature there).
bool ReadHeader(const ByteView& log, size_t offset, EntryHeader* header) {
    if (offset > log.size || log.size - offset < kEntryHeaderBytes ||
        std::memcmp(log.data + offset, kEntrySignature, kSignatureBytes) != 0) {
        return false;
    }
    const unsigned char* entry = log.data + offset;
    header->offset = offset;
    header->size = ReadLittle32(entry + kEntrySizeOffset);
    header->sequence = ReadLittle32(entry + kEntrySequenceOffset);
    header->walkable = header->size >= kEntryHeaderBytes && header->size % kLogSectorBytes == 0 &&
                       header->size <= log.size - offset;
    return true;
}

// Whether the log ends inside an entry's header: its signature there with fewer bytes after it
// than a header takes. That is a log cut short, not the end of its entries.
bool EndsInHeader(const ByteView& log, size_t offset) {
    return offset < log.size && log.size - offset < kEntryHeaderBytes &&
           log.size - offset >= kSignatureBytes &&
           std::memcmp(log.data + offset, kEntrySignature, kSignatureBytes) == 0;
}

// Checks the whole entry and, when it is sound, appends its pages to writes. Returns the
// problem that stops recovery there, or kNone.
LogProblem CheckEntry(const ByteView& log, const EntryHeader& header, const DirtyHive& hive,
                      std::vector<ImageWrite>* writes, uint32_t* binsSize) {
    if (header.size > log.size - header.offset) {
        return LogProblem::kEntryCutShort;
    }
    if (!header.walkable) {
        return LogProblem::kEntryDamaged;
    }
    const unsigned char* entry = log.data + header.offset;
    const uint64_t hash1 =
        Marvin32(entry + kEntryHeaderBytes, header.size - kEntryHeaderBytes, kLogEntryHashSeed);
    const uint64_t hash2 = Marvin32(entry, kHash2Bytes, kLogEntryHashSeed);
    *binsSize = ReadLittle32(entry + kEntryBinsSizeOffset);
    const uint32_t pageCount = ReadLittle32(entry + kEntryPageCountOffset);
    if (hash1 != ReadLittle64(entry + kEntryHash1Offset) ||
        hash2 != ReadLittle64(entry + kEntryHash2Offset) || *binsSize == 0 ||
        *binsSize % kHiveBinAlignment != 0 || *binsSize > hive.binsLimit ||
        pageCount > (header.size - kEntryHeaderBytes) / kPageReferenceBytes) {
        return LogProblem::kEntryDamaged;
    }
    const size_t first = writes->size();
    size_t data = kEntryHeaderBytes + pageCount * kPageReferenceBytes;
    for (uint32_t page = 0; page < pageCount; ++page) {
        const unsigned char* reference = entry + kEntryHeaderBytes + page * kPageReferenceBytes;
        const uint32_t offset = ReadLittle32(reference);
        const uint32_t size = ReadLittle32(reference + kPageReferenceSizeOffset);
        if (size == 0 || static_cast<uint64_t>(offset) + size > *binsSize ||
            size > header.size - data) {
            writes->resize(first);
            return LogProblem::kEntryDamaged;
        }
        writes->push_back({kHiveBaseBlockBytes + offset, entry + data, size});
        data += size;
    }
    return LogProblem::kNone;
}

// Counts the entries from the one at offset on that continue the sequence from sequence.
size_t CountFollowing(const ByteView& log, size_t offset, uint32_t sequence) {
    size_t count = 0;
    EntryHeader header;
    while (ReadHeader(log, offset, &header) && header.walkable && header.sequence == sequence) {
        ++count;
        ++sequence;
        offset += header.size;
    }
    return count;
}

// The sequence number after the last of the run of entries that starts with the one numbered
// due, by their headers alone (due when the log holds no such entry).
uint32_t RunEnd(const ByteView& log, uint32_t due) {
    EntryHeader header;
    for (size_t offset = kLogSectorBytes; ReadHeader(log, offset, &header) && header.walkable;
         offset += header.size) {
        if (header.sequence == due) {
            return due + 1 +
                   static_cast<uint32_t>(CountFollowing(log, offset + header.size, due + 1));
        }
        if (header.sequence > due) {
            break;
        }
    }
    return due;
}

// The replay across the logs.
class Replay {
  public:
    Replay(const DirtyHive& hive, HiveRecovery* recovery, EntryReplay* replay)
        : hive_(hive), recovery_(recovery), replay_(replay) {}

    // Applies what the log holds from the next entry due on; before any entry has applied, the
    // log's first entry due is the one its base block (or the hive's, when higher) names.
    // Returns false when recovery stops in this log.
    bool Log(const ByteView& log, size_t index) {
        LogResult& result = recovery_->logs[index];
        if (!applied_) {
            next_ = std::max(ReadLittle32(log.data + kPrimarySequenceOffset),
                             hive_.baseBlockValid ? hive_.primarySequence : 0);
        }
        EntryHeader header;
        size_t offset = kLogSectorBytes;
        for (; ReadHeader(log, offset, &header); offset += header.size) {
            if (header.sequence < next_) {
                // Applied before this log's first entry due, or left over after its last one.
                if (result.applied > 0 || !header.walkable) {
                    break;
                }
                continue;
            }
            uint32_t binsSize = 0;
            const LogProblem problem =
                header.sequence != next_
                    ? LogProblem::kEntryOutOfSequence
                    : CheckEntry(log, header, hive_, &recovery_->writes, &binsSize);
            if (problem != LogProblem::kNone) {
                result.problem = problem;
                result.failed = result.applied + 1;
                result.total = result.failed +
                               (header.walkable
                                    ? CountFollowing(log, offset + header.size, header.sequence + 1)
                                    : 0);
                return false;
            }
            replay_->sequence = header.sequence;
            replay_->binsSize = binsSize;
            replay_->flags = ReadLittle32(log.data + offset + kEntryFlagsOffset);
            ++next_;
            ++result.applied;
            applied_ = true;
        }
        if (EndsInHeader(log, offset)) {
            result.problem = LogProblem::kEntryCutShort;
            result.failed = result.applied + 1;
            result.total = result.failed;
            return false;
        }
        result.total = result.applied;
        if (result.applied == 0) {
            result.problem = LogProblem::kOtherState;
        }
        return true;
    }

  private:
    const DirtyHive& hive_;
    HiveRecovery* recovery_;
    EntryReplay* replay_;
    uint32_t next_ = 0;
    bool applied_ = false;
};

}  // namespace

bool ReplayLogEntries(const DirtyHive& hive, const HiveLogFiles& logs,
                      const std::vector<size_t>& candidates, HiveRecovery* recovery,
                      EntryReplay* replay) {
    std::vector<size_t> order = candidates;
    const auto sequenceOf = [&logs](size_t index) {
        return ReadLittle32(logs[index].bytes.data + kPrimarySequenceOffset);
    };
    std::stable_sort(order.begin(), order.end(),
                     [&sequenceOf](size_t a, size_t b) { return sequenceOf(a) < sequenceOf(b); });
    // Without the hive's own base block, Windows takes the base block of the log that holds the
    // latest entries and replays that log alone: a log it switched to just before the crash may
    // hold none yet. Otherwise a log whose entries stop short of the next log's first one is
    // left out, and those before it: Windows went on to the next log only once the hive held
    // them.
    size_t first = order.size() - 1;
    if (!hive.baseBlockValid) {
        const auto holdsNone = [&logs, &sequenceOf](size_t index) {
            return RunEnd(logs[index].bytes, sequenceOf(index)) == sequenceOf(index);
        };
        while (first > 0 && holdsNone(order[first])) {
            --first;
        }
        for (size_t i = first + 1; i < order.size(); ++i) {
            recovery->logs[order[i]].problem = LogProblem::kOtherState;
        }
        order.resize(first + 1);
    }
    while (hive.baseBlockValid && first > 0) {
        const size_t earlier = order[first - 1];
        const uint32_t due = std::max(sequenceOf(earlier), hive.primarySequence);
        if (RunEnd(logs[earlier].bytes, due) < sequenceOf(order[first])) {
            break;
        }
        --first;
    }
    for (size_t i = 0; i < first; ++i) {
        recovery->logs[order[i]].problem = LogProblem::kOtherState;
    }
    order.erase(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(first));
    replay->baseLog = order.back();
    Replay walk(hive, recovery, replay);
    for (size_t index : order) {
        if (!walk.Log(logs[index].bytes, index)) {
            break;
        }
    }
    return std::any_of(recovery->logs.begin(), recovery->logs.end(),
                       [](const LogResult& result) { return result.applied > 0; });
}

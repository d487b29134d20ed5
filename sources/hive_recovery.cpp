// Recovery of a dirty hive: which logs are there and valid, which format applies, the base block
// and size of the recovered hive.
#include "sources/hive_recovery.h"

#include <algorithm>
#include <cstring>

#include "sources/hive_log_replay.h"

namespace {

constexpr size_t kFirstBinTimestamp = kHiveBaseBlockBytes + kBinTimestampOffset;

// The problem of a log's base block, or kNone when it is a valid base block of a log in
// either format.
LogProblem CheckLogBaseBlock(const ByteView& log) {
    if (!IsLogFileHead(log.data, log.size)) {
        return LogProblem::kNotALog;
    }
    const uint32_t type = ReadLittle32(log.data + kFileTypeOffset);
    // Only the old format asks for equal sequence numbers; the new one numbers its entries.
    if (log.size < kLogBaseBlockBytes || !BaseBlockChecksumRight(log.data) ||
        (type == kOldLogFileType && ReadLittle32(log.data + kPrimarySequenceOffset) !=
                                        ReadLittle32(log.data + kSecondarySequenceOffset))) {
        return LogProblem::kBaseBlockDamaged;
    }
    return LogProblem::kNone;
}

// The recovered base block: the hive's own, or the log's where the hive's is damaged, with one
// sequence number in both places, the hive bins size, and its checksum as libhivex checks it.
void MakeBaseBlock(const ByteView& file, const ByteView* fromLog, uint32_t sequence,
                   uint32_t binsSize, HiveRecovery* recovery) {
    unsigned char* base = recovery->baseBlock.data();
    std::memcpy(base, file.data, kHiveBaseBlockBytes);
    if (fromLog != nullptr) {
        std::memcpy(base, fromLog->data, kLogBaseBlockBytes);
        WriteLittle32(base + kFileTypeOffset, kPrimaryFileType);
    }
    WriteLittle32(base + kPrimarySequenceOffset, sequence);
    WriteLittle32(base + kSecondarySequenceOffset, sequence);
    WriteLittle32(base + kBinsSizeOffset, binsSize);
    WriteLittle32(base + kChecksumOffset, BaseBlockChecksum(base));
    recovery->imageSize =
        std::max<uint64_t>(recovery->imageSize, kHiveBaseBlockBytes + uint64_t{binsSize});
}

void RecoverFromEntries(const ByteView& file, const DirtyHive& hive, const HiveLogFiles& logs,
                        const std::vector<size_t>& candidates, HiveRecovery* recovery) {
    recovery->newFormat = true;
    EntryReplay replay;
    if (!ReplayLogEntries(hive, logs, candidates, recovery, &replay)) {
        return;
    }
    recovery->applies = true;
    const ByteView* fromLog = hive.baseBlockValid ? nullptr : &logs[replay.baseLog].bytes;
    MakeBaseBlock(file, fromLog, replay.sequence, replay.binsSize, recovery);
    unsigned char* flags = recovery->baseBlock.data() + kBaseFlagsOffset;
    WriteLittle32(
        flags, (ReadLittle32(flags) & ~kBaseFlagsFromEntry) | (replay.flags & kBaseFlagsFromEntry));
    WriteLittle32(recovery->baseBlock.data() + kChecksumOffset,
                  BaseBlockChecksum(recovery->baseBlock.data()));
}

void RecoverFromPages(const ByteView& file, const DirtyHive& hive, const HiveLogFiles& logs,
                      const std::vector<size_t>& candidates, HiveRecovery* recovery) {
    // The first log that applies and whose dirty bins are sound; Windows switches to the next
    // log when one fails.
    for (size_t index : candidates) {
        const ByteView& log = logs[index].bytes;
        LogResult& result = recovery->logs[index];
        if (!OldLogApplies(hive, log)) {
            result.problem = LogProblem::kOtherState;
            continue;
        }
        const uint32_t logBins = ReadLittle32(log.data + kBinsSizeOffset);
        // The hive's own size counts only where its file holds those bins.
        const bool hiveHeld = hive.binsSize <= file.size - kHiveBaseBlockBytes;
        const uint32_t binsSize =
            hive.baseBlockValid && hiveHeld ? std::max(hive.binsSize, logBins) : logBins;
        if (!PlanDirtyPages(hive, file, log, binsSize, &result, &recovery->writes)) {
            continue;
        }
        const uint32_t sequence = hive.baseBlockValid
                                      ? hive.primarySequence
                                      : ReadLittle32(log.data + kPrimarySequenceOffset);
        MakeBaseBlock(file, hive.baseBlockValid ? nullptr : &log, sequence, binsSize, recovery);
        recovery->applies = true;
        return;
    }
}

}  // namespace

bool IsDirtyHive(ByteView head) {
    return head.size >= kHiveBaseBlockBytes &&
           (!BaseBlockChecksumRight(head.data) ||
            ReadLittle32(head.data + kPrimarySequenceOffset) !=
                ReadLittle32(head.data + kSecondarySequenceOffset));
}

void PlanHiveRecovery(ByteView file, const HiveLogFiles& logs, HiveRecovery* recovery) {
    *recovery = HiveRecovery();
    recovery->dirty = IsDirtyHive(file);
    if (!recovery->dirty) {
        return;
    }
    DirtyHive hive;
    hive.baseBlockValid = BaseBlockChecksumRight(file.data);
    hive.primarySequence = ReadLittle32(file.data + kPrimarySequenceOffset);
    hive.timestamp = ReadLittle64(file.data + kTimestampOffset);
    hive.firstBinTimestamp =
        file.size >= kFirstBinTimestamp + 8 ? ReadLittle64(file.data + kFirstBinTimestamp) : 0;
    hive.binsSize = ReadLittle32(file.data + kBinsSizeOffset);
    hive.binsLimit = file.size;
    recovery->imageSize = file.size;

    // Windows XP keeps one log, HIVE.LOG; later versions two, and an empty HIVE.LOG.
    const bool xp = logs[kXpLog].found && logs[kXpLog].bytes.size > 0;
    std::vector<size_t> newLogs;
    std::vector<size_t> oldLogs;
    for (size_t i = 0; i < kHiveLogCount; ++i) {
        const HiveLogFile& log = logs[i];
        LogResult& result = recovery->logs[i];
        if (!log.found || log.bytes.size == 0) {
            result.problem = i == kXpLog ? LogProblem::kNone
                             : xp        ? LogProblem::kNone
                             : log.found ? LogProblem::kEmpty
                                         : LogProblem::kNotFound;
            continue;
        }
        result.problem = CheckLogBaseBlock(log.bytes);
        if (result.problem == LogProblem::kNone) {
            // Only a log may add bins to the hive, not any file that bears a log's name.
            hive.binsLimit += log.bytes.size;
            const bool entries = ReadLittle32(log.bytes.data + kFileTypeOffset) == kNewLogFileType;
            (entries ? newLogs : oldLogs).push_back(i);
        }
    }
    if (!newLogs.empty()) {
        RecoverFromEntries(file, hive, logs, newLogs, recovery);
    } else {
        RecoverFromPages(file, hive, logs, oldLogs, recovery);
    }
    if (!recovery->applies) {
        recovery->writes.clear();
        return;
    }
    // A log that held nothing for the hive is of no concern once another applied.
    for (LogResult& result : recovery->logs) {
        if (result.problem == LogProblem::kOtherState) {
            result.problem = LogProblem::kNone;
        }
    }
    // An entry may have written beyond the hive bins of the last one.
    for (const ImageWrite& write : recovery->writes) {
        recovery->imageSize = std::max<uint64_t>(recovery->imageSize, write.offset + write.size);
    }
}

// The two formats of transaction logs, each replayed on its own; settings/hive_recovery.cpp
// decides which applies and makes the recovered base block.
#pragma once

#include <cstdint>
#include <vector>

#include "sources/hive_recovery.h"

// What recovery needs to know of the hive itself.
struct DirtyHive {
    bool baseBlockValid;  // its checksum is right
    uint32_t primarySequence;
    uint64_t timestamp;
    uint64_t firstBinTimestamp;  // 0 when the file has no first bin
    uint32_t binsSize;
    // Every byte of a recovered hive comes from the hive or a log: no entry or base block may
    // claim more hive bins than the two hold together.
    uint64_t binsLimit;
};

// Where new-format replay ended.
struct EntryReplay {
    size_t baseLog = 0;     // the log whose base block a damaged hive base block is taken from
    uint32_t sequence = 0;  // of the last entry applied
    uint32_t binsSize = 0;
    uint32_t flags = 0;
};

// Replays the entries of the new-format logs (indexes into logs, each with a valid base block)
// into recovery's writes and per-log results; logs that held nothing due are marked
// kOtherState. Returns false when no entry applied.
bool ReplayLogEntries(const DirtyHive& hive, const HiveLogFiles& logs,
                      const std::vector<size_t>& candidates, HiveRecovery* recovery,
                      EntryReplay* replay);

// Whether the old-format log (with a valid base block) was written for the hive as it is.
bool OldLogApplies(const DirtyHive& hive, const ByteView& log);

// Plans the writes of the dirty pages of an old-format log that applies, into a hive of binsSize
// bytes of bins whose file holds hiveBytes, after checking every dirty bin as recovery would
// leave it (signature, offset, size). Returns false, with *result saying why, when the log's
// dirty vector is damaged, it is cut short, or a dirty bin is bad; nothing of it applies then.
bool PlanDirtyPages(const DirtyHive& hive, const ByteView& hiveBytes, const ByteView& log,
                    uint64_t binsSize, LogResult* result, std::vector<ImageWrite>* writes);

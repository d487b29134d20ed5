// Applying the transaction logs of a hive that was not closed cleanly, in memory, as Windows
// applies them when it loads such a hive. Pure: the caller reads the files and builds the
// recovered hive from the hive's bytes and the writes worked out here.
//
// Use:
//   HiveRecovery recovery;
//   PlanHiveRecovery(hive, logs, &recovery);  // the hive's bytes; logs: .LOG1, .LOG2, .LOG
//   if (recovery.applies) {
//       the recovered hive: recovery.imageSize bytes, the hive's bytes first and zeros after
//       them, each of recovery.writes written over them in order, then recovery.baseBlock
//   }
//   for (const std::string& line : HiveRecoveryMessages(recovery, logs)) tell the user
//
// The rules, from the published format of hives and their logs:
//  - A hive is dirty when its base block's checksum is wrong or its two sequence numbers
//    differ; a clean hive is read as it is, whatever its logs hold.
//  - A log's format is told by its base block: file type 6 holds log entries (Windows 8.1 and
//    later), file type 1 a dirty vector and dirty pages (Windows XP to 8). New-format logs are
//    used when any has a valid base block, else the old-format ones.
//  - New format: the entries are applied in consecutive sequence across the logs, the log that
//    starts earlier first. A log's first entry due is the one numbered as its base block, or
//    as the hive's primary sequence number when that is higher; entries below are already
//    applied and skipped. A log whose entries stop short of the next log's first one is
//    already in the hive (Windows goes on to the other log once the hive holds them) and is
//    left out, lest an old entry undo what the hive holds. Each entry is checked by its two
//    Marvin32 hashes and its hive bins size (a multiple of 4096); recovery stops at the first entry
//    that is damaged or out of sequence, keeping those before it. The hive takes the hive bins size
//    and flag of the last entry applied.
//  - Old format: the first of .LOG1, .LOG2, .LOG applies whose base block is valid (checksum,
//    equal sequence numbers), whose last-written timestamp equals the hive's (when the hive's
//    base block is damaged: is not older than the first bin's timestamp), and whose dirty bins
//    are sound (signature, offset, size) as its dirty pages would leave them. A log with a bad
//    dirty bin applies not at all: half its pages would leave a hive of two times.
//  - A hive whose base block is damaged takes the base block of the log that applies (new
//    format: only the log that starts last is used then).
//  - The recovered base block has two equal sequence numbers and its checksum recomputed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sources/hive_format.h"
#include "sources/hive_log_names.h"

struct ByteView {
    const unsigned char* data = nullptr;
    size_t size = 0;
};

// A log as found beside the hive, at the index of its suffix in kHiveLogSuffixes.
struct HiveLogFile {
    std::string name;    // as found beside the hive, or the name looked for
    bool found = false;  // a file of that name is there
    ByteView bytes;      // its contents
};
using HiveLogFiles = std::array<HiveLogFile, kHiveLogCount>;

// What became of one log.
enum class LogProblem {
    kNone,              // applied, not needed, or not looked at
    kNotFound,          // missing beside a dirty hive
    kEmpty,             // a file without a byte
    kNotALog,           // its base block is not that of a transaction log
    kBaseBlockDamaged,  // or, in the old format, the dirty vector after it
    kOtherState,        // nothing in it applies to the hive as it is
    kEntryDamaged,      // new format: stopped at entry failed
    kEntryCutShort,
    kEntryOutOfSequence,
    kPageDamaged,  // old format: page failed starts or lies in a bad bin; none applied
    kPageMissing,  // old format: the log ends before page failed; none applied
};

struct LogResult {
    LogProblem problem = LogProblem::kNone;
    size_t applied = 0;  // entries (new format) or pages (old format) applied from it
    size_t failed = 0;   // the 1-based number of the entry or page where recovery stopped
    size_t total = 0;    // the entries or pages it holds from the first one due
};

// Bytes of a log to be written into the recovered hive at offset (counted from its start).
struct ImageWrite {
    uint64_t offset;
    const unsigned char* data;
    size_t size;
};

struct HiveRecovery {
    bool dirty = false;
    bool applies = false;    // entries of a log, or the dirty pages of one, apply
    bool newFormat = false;  // the logs used hold entries, not dirty pages
    std::array<LogResult, kHiveLogCount> logs;
    // What the recovered hive is made of, when anything applies: its size, the writes in
    // order (a later one wins), and its base block.
    uint64_t imageSize = 0;
    std::vector<ImageWrite> writes;
    std::array<unsigned char, kHiveBaseBlockBytes> baseBlock{};
};

// Whether the hive whose first bytes are head was not closed cleanly: its base block's checksum
// is wrong or its sequence numbers differ.
bool IsDirtyHive(ByteView head);

// Works out how the logs recover the hive whose file holds hive. Of a new-format recovery only
// the base block is read; an old-format one reads the headers of the hive's bins.
void PlanHiveRecovery(ByteView hive, const HiveLogFiles& logs, HiveRecovery* recovery);

// What the user should hear of a recovery: what was applied, or a warning that nothing was,
// then a warning per log that was missing or could not be applied in full. Nothing for a clean
// hive.
std::vector<std::string> HiveRecoveryMessages(const HiveRecovery& recovery,
                                              const HiveLogFiles& logs);

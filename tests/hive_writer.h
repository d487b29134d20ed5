// Registry hive files for the tests, made here rather than copied from any Windows installation:
// an empty hive written from the published format, then keys and values added with libhivex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Writes an empty hive at path: a base block and one bin holding the top key, its security
// cell and free space. Returns false with *error.
bool WriteEmptyHive(const std::string& path, std::string* error);

// Writes a hive at path holding what the registry export at exportPath (read in Windows-1252)
// holds under HKEY_LOCAL_MACHINE\SOFTWARE, the top of a SOFTWARE hive, and under a user's
// classes key (HKEY_CURRENT_USER\Software\Classes or HKEY_USERS\<SID>_Classes), the top of a
// UsrClass.dat. Each key is added with its values as the registry stores them after importing
// the export. Returns false with *error.
bool WriteHiveFromExport(const std::string& path, const std::string& exportPath,
                         std::string* error);

// The states of one hive as Windows would write them one after another: states[0] made from the
// export at basePath as WriteHiveFromExport makes it, and each next one from the one before by
// libhivex, adding the next key line of the export at stepsPath ("" for none) with its values.
bool MakeHiveStates(const std::string& basePath, const std::string& stepsPath,
                    std::vector<std::string>* states, std::string* error);

// Transaction logs, written from the published format (tests/hive_log_writer.cpp). A log as
// written, with where its parts lie, for the tests that damage or cut it.
struct WrittenLog {
    std::string bytes;
    std::vector<size_t> entryOffsets;  // new format: where each entry starts
    size_t pagesOffset = 0;            // old format: where the dirty pages start
    size_t pageCount = 0;              // old format: how many there are
    std::vector<size_t> binPages;      // old format: the dirty pages (0-based) that start a bin
};

// One new-format log entry: the change from states[state - 1] to states[state].
struct LogEntryPlan {
    size_t state;
    uint32_t sequence;
    uint32_t flags = 0;
};

// A new-format log: its base block that of states[baseState] with both sequence numbers
// baseSequence, then the entries in order, each holding the 4096-byte blocks of its state's
// hive bins that changed, padded to end on a 4096-byte boundary of the file as Windows does.
WrittenLog NewFormatLog(const std::vector<std::string>& states, size_t baseState,
                        uint32_t baseSequence, const std::vector<LogEntryPlan>& entries);
// Runs of a hive's bins (offset counted from the first bin, size), whole 4096-byte blocks.
using BinRuns = std::vector<std::pair<size_t, size_t>>;
// The blocks of after's hive bins that differ from before's (or lie beyond its end).
BinRuns ChangedBlocks(const std::string& before, const std::string& after);
// The base block a new-format log starts with: state's, numbered sequence.
std::string NewFormatLogStart(const std::string& state, uint32_t sequence);
// The entry that writes the runs of state's hive bins, with state's hive bins size; startsAt is
// where in the log it starts.
std::string NewFormatLogEntry(const std::string& state, const BinRuns& runs, uint32_t sequence,
                              uint32_t flags, size_t startsAt);
// Sets the two hashes of a log entry for what it holds.
void ApplyLogEntryHashes(std::string* entry);

// An old-format log of the change from from to to: to's base block with both sequence numbers
// sequence and the last-written timestamp, the dirty vector, and to's changed pages.
WrittenLog OldFormatLog(const std::string& from, const std::string& to, uint32_t sequence,
                        uint64_t timestamp);

// hive with its base block's sequence numbers, timestamp and hive bins size set.
std::string WithBaseBlock(std::string hive, uint32_t primary, uint32_t secondary,
                          uint64_t timestamp, uint32_t binsSize);

// Writes at hivePath a hive and, beside it, its logs, as plan says, one line each ('#' starts a
// comment):
//   hive STATE PRIMARY SECONDARY [length S | bins B] [timestamp T] [bin-timestamp T] [damaged]
//       the hive file: states[STATE] with these sequence numbers, the hive bins size of state S
//       (or B bytes), the last-written timestamp T, its first bin's timestamp T, its checksum
//       made wrong
//   new NAME SEQUENCE [STATE@SEQUENCE ...]
//       a new-format log: its base block numbered SEQUENCE (taken from the state before its
//       first entry at or after that number), then one entry per STATE@SEQUENCE
//   old NAME FROM TO [timestamp T]
//       an old-format log of the change from states[FROM] to states[TO], with the hive's primary
//       sequence number and, unless given, its timestamp
//   damage NAME entry N | bin N | base 1   a bit of entry N's Hash-1, of the Nth dirty bin's
//                                          signature, of the base block changed
//   cut NAME entry N | header N | bin N    the log cut in the middle of entry N, of its
//                                          header, before the Nth dirty bin
//   claim NAME entry N BYTES               entry N says the hive bins take BYTES, its hashes
//                                          made right for that
// The logs as written go to *written when it is given. Returns false with *error when the plan
// is wrong.
bool WriteHiveWithLogs(const std::string& hivePath, const std::vector<std::string>& states,
                       const std::string& plan, std::string* error,
                       std::map<std::string, WrittenLog>* written = nullptr);

// Writes at inputPath an input of fuzz/hive_fuzz.cpp holding the hive at hivePath and the logs
// beside it: no options, then the hive, .LOG1 and .LOG2 after their lengths, then .LOG.
void WriteHiveFuzzInput(const std::string& hivePath, const std::string& inputPath);

// Byte offsets in a hive file that the damage tests use, from the published format.
constexpr size_t kHiveBaseBlockBytes = 4096;
constexpr size_t kHivePrimarySequenceOffset = 4;
constexpr size_t kHiveSecondarySequenceOffset = 8;
constexpr size_t kHiveRootCellOffset = 0x24;  // relative to the first bin
constexpr size_t kHiveBinsSizeOffset = 0x28;
constexpr size_t kHiveChecksumOffset = 0x1FC;  // XOR of the dwords before it
constexpr size_t kHiveFileTypeOffset = 28;
constexpr size_t kHiveFlagsOffset = 0x90;
constexpr size_t kLogEntryHash1Offset = 24;
constexpr size_t kLogEntryHash2Offset = 32;
// In a key (nk) cell, counted from the cell's size field.
constexpr size_t kKeySubkeyCountOffset = 0x18;
constexpr size_t kKeySubkeyListOffset = 0x20;
// In a value (vk) cell, counted from the cell's size field.
constexpr size_t kValueLengthOffset = 0x08;
constexpr size_t kValueDataOffset = 0x0C;

// The checksum a base block needs at kHiveChecksumOffset.
uint32_t HiveChecksum(const std::string& hive);
uint32_t ReadLittleEndian32(const std::string& bytes, size_t offset);
void WriteLittleEndian32(std::string* bytes, size_t offset, uint32_t value);

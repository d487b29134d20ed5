// Transaction logs for the tests, laid out byte by byte from the published format of hives and
// their logs, apart from the reader's code: new-format log entries and old-format dirty pages
// made from the changes between hive states, and a plan that puts a dirty hive and its logs
// together (see tests/hive_writer.h).
#include <cctype>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <vector>

#include "tests/hive_writer.h"
#include "tests/test_support.h"

namespace {

constexpr size_t kSector = 512;
constexpr size_t kBlock = 4096;  // Windows tracks changes in blocks of this size
constexpr size_t kTimestampField = 12;
constexpr uint32_t kOldLogType = 1;
constexpr uint32_t kNewLogType = 6;
constexpr size_t kEntryHeader = 40;
constexpr size_t kEntrySizeField = 4;
constexpr size_t kEntryFlagsField = 8;
constexpr size_t kEntrySequenceField = 12;
constexpr size_t kEntryBinsSizeField = 16;
constexpr size_t kEntryPageCountField = 20;
constexpr size_t kPageReference = 8;
constexpr size_t kBinTimestampField = 0x14;
const uint64_t kSeed = 0x82EF4D887A4E55C5;
const char* const kLogSuffixes[] = {".LOG1", ".LOG2", ".LOG"};

std::string UpperCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

// Marvin32 as its reference describes it, kept apart from the product's.
uint64_t Marvin(const std::string& bytes, size_t from, size_t size) {
    uint32_t lo = static_cast<uint32_t>(kSeed);
    uint32_t hi = static_cast<uint32_t>(kSeed >> 32);
    const auto rotl = [](uint32_t x, int n) { return (x << n) | (x >> (32 - n)); };
    const auto block = [&](uint32_t word) {
        lo += word;
        hi ^= lo;
        lo = rotl(lo, 20) + hi;
        hi = rotl(hi, 9) ^ lo;
        lo = rotl(lo, 27) + hi;
        hi = rotl(hi, 19);
    };
    size_t at = from;
    for (; at + 4 <= from + size; at += 4) {
        block(ReadLittleEndian32(bytes, at));
    }
    uint32_t last = 0x80;
    for (size_t i = from + size; i > at; --i) {
        last = last << 8 | static_cast<unsigned char>(bytes[i - 1]);
    }
    block(last);
    block(0);
    return static_cast<uint64_t>(hi) << 32 | lo;
}

void Put64(std::string* bytes, size_t offset, uint64_t value) {
    WriteLittleEndian32(bytes, offset, static_cast<uint32_t>(value));
    WriteLittleEndian32(bytes, offset + 4, static_cast<uint32_t>(value >> 32));
}

uint32_t BinsSizeOf(const std::string& state) {
    return ReadLittleEndian32(state, kHiveBinsSizeOffset);
}

// The base block of state with other sequence numbers and file type, its checksum made anew.
std::string BaseBlockOf(const std::string& state, uint32_t sequence, uint32_t fileType) {
    std::string base = state.substr(0, kHiveBaseBlockBytes);
    WriteLittleEndian32(&base, kHivePrimarySequenceOffset, sequence);
    WriteLittleEndian32(&base, kHiveSecondarySequenceOffset, sequence);
    WriteLittleEndian32(&base, kHiveFileTypeOffset, fileType);
    WriteLittleEndian32(&base, kHiveChecksumOffset, HiveChecksum(base));
    return base;
}

size_t RoundUp(size_t size, size_t multiple) {
    return (size + multiple - 1) / multiple * multiple;
}

}  // namespace

BinRuns ChangedBlocks(const std::string& before, const std::string& after) {
    BinRuns runs;
    for (size_t block = 0; block < BinsSizeOf(after); block += kBlock) {
        const size_t at = kHiveBaseBlockBytes + block;
        if (before.size() >= at + kBlock && before.compare(at, kBlock, after, at, kBlock) == 0) {
            continue;
        }
        if (!runs.empty() && runs.back().first + runs.back().second == block) {
            runs.back().second += kBlock;
        } else {
            runs.push_back({block, kBlock});
        }
    }
    return runs;
}

void ApplyLogEntryHashes(std::string* entry) {
    Put64(entry, kLogEntryHash1Offset, Marvin(*entry, kEntryHeader, entry->size() - kEntryHeader));
    Put64(entry, kLogEntryHash2Offset, Marvin(*entry, 0, kLogEntryHash1Offset + 8));
}

std::string NewFormatLogEntry(const std::string& state, const BinRuns& runs, uint32_t sequence,
                              uint32_t flags, size_t startsAt) {
    std::string entry(kEntryHeader, '\0');
    std::memcpy(&entry[0], "HvLE", 4);
    WriteLittleEndian32(&entry, kEntryFlagsField, flags);
    WriteLittleEndian32(&entry, kEntrySequenceField, sequence);
    WriteLittleEndian32(&entry, kEntryBinsSizeField, BinsSizeOf(state));
    WriteLittleEndian32(&entry, kEntryPageCountField, static_cast<uint32_t>(runs.size()));
    for (const auto& run : runs) {
        std::string reference(kPageReference, '\0');
        WriteLittleEndian32(&reference, 0, static_cast<uint32_t>(run.first));
        WriteLittleEndian32(&reference, 4, static_cast<uint32_t>(run.second));
        entry += reference;
    }
    for (const auto& run : runs) {
        entry.append(state, kHiveBaseBlockBytes + run.first, run.second);
    }
    // Windows pads each entry to end on a block of the log file.
    entry.resize(RoundUp(startsAt + entry.size(), kBlock) - startsAt, '\0');
    WriteLittleEndian32(&entry, kEntrySizeField, static_cast<uint32_t>(entry.size()));
    ApplyLogEntryHashes(&entry);
    return entry;
}

std::string NewFormatLogStart(const std::string& state, uint32_t sequence) {
    return BaseBlockOf(state, sequence, kNewLogType).substr(0, kSector);
}

WrittenLog NewFormatLog(const std::vector<std::string>& states, size_t baseState,
                        uint32_t baseSequence, const std::vector<LogEntryPlan>& entries) {
    WrittenLog log;
    log.bytes = NewFormatLogStart(states[baseState], baseSequence);
    for (const LogEntryPlan& plan : entries) {
        const std::string& state = states[plan.state];
        log.entryOffsets.push_back(log.bytes.size());
        log.bytes += NewFormatLogEntry(state, ChangedBlocks(states[plan.state - 1], state),
                                       plan.sequence, plan.flags, log.bytes.size());
    }
    return log;
}

WrittenLog OldFormatLog(const std::string& from, const std::string& to, uint32_t sequence,
                        uint64_t timestamp) {
    WrittenLog log;
    std::string base = BaseBlockOf(to, sequence, kOldLogType);
    Put64(&base, kTimestampField, timestamp);
    WriteLittleEndian32(&base, kHiveChecksumOffset, HiveChecksum(base));
    log.bytes = base.substr(0, kSector);
    // One bit per 512-byte page of the hive bins, least significant bit first.
    std::string bitmap(BinsSizeOf(to) / kSector / 8, '\0');
    std::string pages;
    for (const auto& run : ChangedBlocks(from, to)) {
        for (size_t page = run.first; page < run.first + run.second; page += kSector) {
            bitmap[page / kSector / 8] |= static_cast<char>(1 << (page / kSector % 8));
            if (to.compare(kHiveBaseBlockBytes + page, 4, "hbin") == 0) {
                log.binPages.push_back(pages.size() / kSector);
            }
            pages += to.substr(kHiveBaseBlockBytes + page, kSector);
        }
    }
    log.bytes += "DIRT" + bitmap;
    log.bytes.resize(RoundUp(log.bytes.size(), kSector), '\0');
    log.pagesOffset = log.bytes.size();
    log.pageCount = pages.size() / kSector;
    log.bytes += pages;
    return log;
}

std::string WithBaseBlock(std::string hive, uint32_t primary, uint32_t secondary,
                          uint64_t timestamp, uint32_t binsSize) {
    WriteLittleEndian32(&hive, kHivePrimarySequenceOffset, primary);
    WriteLittleEndian32(&hive, kHiveSecondarySequenceOffset, secondary);
    Put64(&hive, kTimestampField, timestamp);
    WriteLittleEndian32(&hive, kHiveBinsSizeOffset, binsSize);
    WriteLittleEndian32(&hive, kHiveChecksumOffset, HiveChecksum(hive));
    return hive;
}

namespace {

// Reads the plan, line by line, into the files it makes.
class PlanReader {
  public:
    explicit PlanReader(const std::vector<std::string>& states) : states_(states) {}

    bool Line(const std::string& line, std::string* error) {
        std::istringstream words(line);
        std::string verb;
        if (!(words >> verb) || verb[0] == '#') {
            return true;
        }
        if (verb == "hive") {
            return Hive(words, error);
        }
        std::string name;
        words >> name;
        if (verb == "new") {
            return NewLog(name, words, error);
        }
        if (verb == "old") {
            return OldLog(name, words, error);
        }
        const auto found = logs_.find(name);
        std::string what;
        size_t number = 0;
        words >> what >> number;
        if (found == logs_.end() || number == 0) {
            *error = "plan: no log or number in \"" + line + "\"";
            return false;
        }
        if (verb == "damage" || verb == "cut") {
            return Change(verb, what, number, &found->second, error);
        }
        uint32_t claimed = 0;
        if (verb == "claim" && what == "entry" && words >> claimed) {
            return Claim(number, claimed, &found->second, error);
        }
        *error = "plan: unknown line \"" + line + "\"";
        return false;
    }

    const std::string& hive() const { return hive_; }
    const std::map<std::string, WrittenLog>& logs() const { return logs_; }

  private:
    bool State(std::istream& words, size_t* state, std::string* error) {
        if (!(words >> *state) || *state >= states_.size()) {
            *error = "plan: no such state";
            return false;
        }
        return true;
    }

    // hive STATE PRIMARY SECONDARY [length STATE] [timestamp T] [bin-timestamp T] [damaged]
    bool Hive(std::istream& words, std::string* error) {
        size_t state = 0;
        if (!State(words, &state, error) || !(words >> primary_ >> secondary_)) {
            *error = "plan: hive STATE PRIMARY SECONDARY";
            return false;
        }
        size_t lengthOf = state;
        uint32_t binsSize = 0;
        bool damaged = false;
        uint64_t binTimestamp = 0;
        for (std::string option; words >> option;) {
            if (option == "length") {
                State(words, &lengthOf, error);
            } else if (option == "bins") {
                words >> binsSize;
            } else if (option == "timestamp") {
                words >> timestamp_;
            } else if (option == "bin-timestamp") {
                words >> binTimestamp;
            } else {
                damaged = option == "damaged";
            }
        }
        hive_ = states_[state];
        Put64(&hive_, kHiveBaseBlockBytes + kBinTimestampField, binTimestamp);
        hive_ = WithBaseBlock(hive_, primary_, secondary_, timestamp_,
                              binsSize != 0 ? binsSize : BinsSizeOf(states_[lengthOf]));
        if (damaged) {
            WriteLittleEndian32(&hive_, kHiveChecksumOffset, HiveChecksum(hive_) ^ 1);
        }
        return true;
    }

    // new NAME BASE-SEQUENCE [STATE@SEQUENCE...]: its base block from the state before its first
    // entry due (at or after the base sequence).
    bool NewLog(const std::string& name, std::istream& words, std::string* error) {
        uint32_t base = 0;
        words >> base;
        std::vector<LogEntryPlan> entries;
        size_t baseState = 0;
        bool due = false;
        for (std::string entry; words >> entry;) {
            const size_t at = entry.find('@');
            LogEntryPlan plan{std::stoul(entry.substr(0, at)),
                              static_cast<uint32_t>(std::stoul(entry.substr(at + 1)))};
            if (at == std::string::npos || plan.state == 0 || plan.state >= states_.size()) {
                *error = "plan: entry STATE@SEQUENCE, STATE from 1";
                return false;
            }
            if (!due) {
                baseState = plan.state - 1;
                due = plan.sequence >= base;
            }
            entries.push_back(plan);
        }
        logs_[name] = NewFormatLog(states_, baseState, base, entries);
        return true;
    }

    // old NAME FROM TO [timestamp T]: with the hive's primary sequence number and timestamp.
    bool OldLog(const std::string& name, std::istream& words, std::string* error) {
        size_t from = 0;
        size_t to = 0;
        uint64_t timestamp = timestamp_;
        if (!State(words, &from, error) || !State(words, &to, error)) {
            return false;
        }
        for (std::string option; words >> option;) {
            words >> timestamp;
        }
        logs_[name] = OldFormatLog(states_[from], states_[to], primary_, timestamp);
        return true;
    }

    // claim NAME entry N BYTES: entry N says the hive bins take BYTES, its hashes still right.
    bool Claim(size_t number, uint32_t binsSize, WrittenLog* log, std::string* error) {
        if (number > log->entryOffsets.size()) {
            *error = "plan: no entry " + std::to_string(number) + " to claim a size";
            return false;
        }
        const size_t entry = log->entryOffsets[number - 1];
        std::string header = log->bytes.substr(entry, kEntryHeader);
        WriteLittleEndian32(&header, kEntryBinsSizeField, binsSize);
        Put64(&header, kLogEntryHash2Offset, Marvin(header, 0, kLogEntryHash1Offset + 8));
        log->bytes.replace(entry, kEntryHeader, header);
        return true;
    }

    // damage NAME entry|bin|base N, cut NAME entry|header|page N
    bool Change(const std::string& verb, const std::string& what, size_t number, WrittenLog* log,
                std::string* error) {
        std::string& bytes = log->bytes;
        const size_t index = number - 1;
        if (what == "entry" && index < log->entryOffsets.size()) {
            const size_t entry = log->entryOffsets[index];
            if (verb == "cut") {
                bytes.resize(entry + ReadLittleEndian32(bytes, entry + kEntrySizeField) / 2);
            } else {
                bytes[entry + kLogEntryHash1Offset] ^= 1;
            }
        } else if (what == "header" && verb == "cut" && index < log->entryOffsets.size()) {
            bytes.resize(log->entryOffsets[index] + kEntryHeader / 2);
        } else if (what == "bin" && index < log->binPages.size()) {
            const size_t page = log->pagesOffset + log->binPages[index] * kSector;
            if (verb == "cut") {
                bytes.resize(page);
            } else {
                bytes[page] ^= 1;
            }
        } else if (what == "base") {
            bytes[kHivePrimarySequenceOffset] ^= 1;
        } else {
            *error = "plan: cannot " + verb + " " + what + " " + std::to_string(number);
            return false;
        }
        return true;
    }

    const std::vector<std::string>& states_;
    std::string hive_;
    uint32_t primary_ = 0;
    uint32_t secondary_ = 0;
    uint64_t timestamp_ = 0;
    std::map<std::string, WrittenLog> logs_;
};

}  // namespace

bool WriteHiveWithLogs(const std::string& hivePath, const std::vector<std::string>& states,
                       const std::string& plan, std::string* error,
                       std::map<std::string, WrittenLog>* written) {
    PlanReader reader(states);
    std::istringstream lines(plan);
    for (std::string line; std::getline(lines, line);) {
        if (!reader.Line(line, error)) {
            return false;
        }
    }
    if (reader.hive().empty()) {
        *error = "plan: no hive line";
        return false;
    }
    WriteFileBytes(hivePath, reader.hive());
    const std::string directory = hivePath.substr(0, hivePath.find_last_of('/') + 1);
    for (const auto& [name, log] : reader.logs()) {
        WriteFileBytes(directory + name, log.bytes);
    }
    if (written != nullptr) {
        *written = reader.logs();
    }
    return true;
}

void WriteHiveFuzzInput(const std::string& hivePath, const std::string& inputPath) {
    const std::string directory = hivePath.substr(0, hivePath.find_last_of('/') + 1);
    const std::string hiveName = hivePath.substr(directory.size());
    std::string logs[3];
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        const std::string name = entry.path().filename().string();
        for (size_t slot = 0; slot < 3; ++slot) {
            const std::string suffix = kLogSuffixes[slot];
            if (name.size() == hiveName.size() + suffix.size() &&
                UpperCase(name) == UpperCase(hiveName + suffix)) {
                logs[slot] = ReadFileBytes(entry.path().string());
            }
        }
    }
    std::string input(1, '\0');
    for (const std::string& part : {ReadFileBytes(hivePath), logs[0], logs[1]}) {
        std::string length(4, '\0');
        WriteLittleEndian32(&length, 0, static_cast<uint32_t>(part.size()));
        input += length + part;
    }
    WriteFileBytes(inputPath, input + logs[2]);
}

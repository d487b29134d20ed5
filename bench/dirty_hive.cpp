// The benchmark's dirty hive: the change libhivex makes, and runs of unchanged blocks, as log
// entries written by the tests' log writer.
#include "bench/dirty_hive.h"

#include <hivex.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "tests/hive_writer.h"
#include "tests/test_support.h"

namespace {

constexpr size_t kRunBytes = 1 << 20;  // the blocks each filler entry rewrites
constexpr uint32_t kHiveSequence = 256;
constexpr uint32_t kFirstEntry = 287;  // logs run ahead of their hive, as real ones do

// state with the set added below path, as libhivex commits it.
bool AddSet(const std::string& hivePath, const std::string& scratch,
            const std::vector<std::string>& path, const std::string& set, std::string* after,
            std::string* error) {
    hive_h* hive = hivex_open(hivePath.c_str(), HIVEX_OPEN_WRITE);
    if (hive == nullptr) {
        *error = hivePath + ": hivex_open: " + std::strerror(errno);
        return false;
    }
    hive_node_h node = hivex_root(hive);
    for (const std::string& name : path) {
        node = node == 0 ? 0 : hivex_node_get_child(hive, node, name.c_str());
    }
    char text[] = "G\0a\0A\0s\0\0";  // "GaAs" in UTF-16LE with its terminator
    hive_set_value value = {const_cast<char*>("Mat1"), hive_t_REG_SZ, sizeof text - 1, text};
    const hive_node_h added = node == 0 ? 0 : hivex_node_add_child(hive, node, set.c_str());
    const bool made = added != 0 && hivex_node_set_values(hive, added, 1, &value, 0) == 0 &&
                      hivex_commit(hive, scratch.c_str(), 0) == 0;
    if (!made) {
        *error = hivePath + ": cannot add the set: " + std::strerror(errno);
    }
    hivex_close(hive);
    *after = ReadFileBytes(scratch);
    unlink(scratch.c_str());
    return made;
}

}  // namespace

bool WriteDirtyHive(const std::string& hivePath, const std::string& directory, size_t logBytes,
                    const std::vector<std::string>& settingsPath, const std::string& settingsSet,
                    std::string* error) {
    const std::string before = ReadFileBytes(hivePath);
    std::string after;
    if (!AddSet(hivePath, directory + "/after", settingsPath, settingsSet, &after, error)) {
        return false;
    }
    const size_t binsSize = ReadLittleEndian32(after, kHiveBinsSizeOffset);
    const BinRuns change = ChangedBlocks(before, after);
    // The filler entries first, spread over the hive; the change last, in .LOG1.
    std::vector<BinRuns> entries;
    const size_t fillers = logBytes / kRunBytes - 1;
    for (size_t i = 0; i < fillers; ++i) {
        const size_t offset = binsSize / fillers * i / kHiveBaseBlockBytes * kHiveBaseBlockBytes;
        entries.push_back({{offset, std::min(kRunBytes, binsSize - offset)}});
    }
    entries.push_back(change);
    std::string logs[2] = {NewFormatLogStart(before, kFirstEntry), ""};
    const size_t split = entries.size() / 2;
    for (size_t i = 0; i < entries.size(); ++i) {
        std::string& log = logs[i < split ? 0 : 1];
        if (log.empty()) {
            log = NewFormatLogStart(after, kFirstEntry + static_cast<uint32_t>(i));
        }
        log += NewFormatLogEntry(after, entries[i], kFirstEntry + static_cast<uint32_t>(i), 0,
                                 log.size());
    }
    WriteFileBytes(directory + "/SOFTWARE",
                   WithBaseBlock(before, kHiveSequence, kHiveSequence - 1, 0,
                                 ReadLittleEndian32(before, kHiveBinsSizeOffset)));
    WriteFileBytes(directory + "/SOFTWARE.LOG2", logs[0]);
    WriteFileBytes(directory + "/SOFTWARE.LOG1", logs[1]);
    return true;
}

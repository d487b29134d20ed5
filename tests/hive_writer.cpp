// Test hives: the empty hive laid out byte by byte, the keys of an export added through libhivex.
#include "tests/hive_writer.h"

#include <hivex.h>
#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <vector>

#include "sets/value_names.h"
#include "sources/reg_export_parser.h"
#include "tests/test_support.h"

namespace {

// The empty hive: a base block, then one bin of one page.
constexpr size_t kBinBytes = 4096;
constexpr size_t kBinHeaderBytes = 0x20;
constexpr uint32_t kMajorVersion = 1;
constexpr uint32_t kMinorVersion = 3;
constexpr size_t kMajorVersionOffset = 0x14;
constexpr size_t kMinorVersionOffset = 0x18;
constexpr size_t kFileFormatOffset = 0x20;
constexpr uint32_t kDirectMemoryLoad = 1;
constexpr size_t kClusteringOffset = 0x2C;
constexpr size_t kBinOffsetField = 4;
constexpr size_t kBinSizeField = 8;
constexpr size_t kCellAlignment = 8;
constexpr uint32_t kNoCell = 0xFFFFFFFF;

// The top key: KEY_HIVE_ENTRY | KEY_NO_DELETE | KEY_COMP_NAME.
const char kTopKeyName[] = "ROOT";
constexpr uint16_t kTopKeyFlags = 0x2C;
constexpr size_t kKeyHeaderBytes = 0x50;  // from the size field to the name
constexpr size_t kKeyFlagsOffset = 0x06;
constexpr size_t kKeyParentOffset = 0x14;
constexpr size_t kKeyVolatileListOffset = 0x24;
constexpr size_t kKeyValueListOffset = 0x2C;
constexpr size_t kKeySecurityOffset = 0x30;
constexpr size_t kKeyClassOffset = 0x34;
constexpr size_t kKeyNameLengthOffset = 0x4C;

// Its security cell, with a descriptor that has no DACL: everyone may do everything.
constexpr size_t kSecurityHeaderBytes = 0x18;
constexpr size_t kSecurityLinkOffset = 0x08;  // forward, then backward link: itself
constexpr size_t kSecurityCountOffset = 0x10;
constexpr size_t kSecuritySizeOffset = 0x14;
const unsigned char kSecurityDescriptor[] = {1, 0, 0x00, 0x80, 0, 0, 0, 0, 0, 0,
                                             0, 0, 0,    0,    0, 0, 0, 0, 0, 0};

size_t CellSize(size_t bytes) {
    return (bytes + kCellAlignment - 1) / kCellAlignment * kCellAlignment;
}

void Put16(std::string* bytes, size_t offset, uint16_t value) {
    (*bytes)[offset] = static_cast<char>(value & 0xFF);
    (*bytes)[offset + 1] = static_cast<char>(value >> 8);
}

// A cell's size field: negative while the cell is in use.
void PutCellSize(std::string* bytes, size_t offset, size_t size, bool used) {
    const int32_t field = used ? -static_cast<int32_t>(size) : static_cast<int32_t>(size);
    WriteLittleEndian32(bytes, offset, static_cast<uint32_t>(field));
}

std::string EmptyHiveBytes() {
    std::string hive(kHiveBaseBlockBytes + kBinBytes, '\0');
    const size_t bin = kHiveBaseBlockBytes;
    std::memcpy(&hive[bin], "hbin", 4);
    WriteLittleEndian32(&hive, bin + kBinOffsetField, 0);
    WriteLittleEndian32(&hive, bin + kBinSizeField, kBinBytes);

    const size_t nameLength = std::strlen(kTopKeyName);
    const size_t keyCell = kBinHeaderBytes;  // offsets in cells count from the first bin
    const size_t keySize = CellSize(kKeyHeaderBytes + nameLength);
    const size_t securityCell = keyCell + keySize;
    const size_t key = bin + keyCell;
    PutCellSize(&hive, key, keySize, true);
    std::memcpy(&hive[key + 4], "nk", 2);
    Put16(&hive, key + kKeyFlagsOffset, kTopKeyFlags);
    WriteLittleEndian32(&hive, key + kKeyParentOffset, kNoCell);
    WriteLittleEndian32(&hive, key + kKeySubkeyListOffset, kNoCell);
    WriteLittleEndian32(&hive, key + kKeyVolatileListOffset, kNoCell);
    WriteLittleEndian32(&hive, key + kKeyValueListOffset, kNoCell);
    WriteLittleEndian32(&hive, key + kKeySecurityOffset, static_cast<uint32_t>(securityCell));
    WriteLittleEndian32(&hive, key + kKeyClassOffset, kNoCell);
    Put16(&hive, key + kKeyNameLengthOffset, static_cast<uint16_t>(nameLength));
    std::memcpy(&hive[key + kKeyHeaderBytes], kTopKeyName, nameLength);

    const size_t securitySize = CellSize(kSecurityHeaderBytes + sizeof kSecurityDescriptor);
    const size_t security = bin + securityCell;
    PutCellSize(&hive, security, securitySize, true);
    std::memcpy(&hive[security + 4], "sk", 2);
    WriteLittleEndian32(&hive, security + kSecurityLinkOffset, static_cast<uint32_t>(securityCell));
    WriteLittleEndian32(&hive, security + kSecurityLinkOffset + 4,
                        static_cast<uint32_t>(securityCell));
    WriteLittleEndian32(&hive, security + kSecurityCountOffset, 1);
    WriteLittleEndian32(&hive, security + kSecuritySizeOffset, sizeof kSecurityDescriptor);
    std::memcpy(&hive[security + kSecurityHeaderBytes], kSecurityDescriptor,
                sizeof kSecurityDescriptor);

    const size_t freeCell = securityCell + securitySize;
    PutCellSize(&hive, bin + freeCell, kBinBytes - freeCell, false);

    std::memcpy(&hive[0], "regf", 4);
    WriteLittleEndian32(&hive, kHivePrimarySequenceOffset, 1);
    WriteLittleEndian32(&hive, kHiveSecondarySequenceOffset, 1);
    WriteLittleEndian32(&hive, kMajorVersionOffset, kMajorVersion);
    WriteLittleEndian32(&hive, kMinorVersionOffset, kMinorVersion);
    WriteLittleEndian32(&hive, kFileFormatOffset, kDirectMemoryLoad);
    WriteLittleEndian32(&hive, kHiveRootCellOffset, static_cast<uint32_t>(keyCell));
    WriteLittleEndian32(&hive, kHiveBinsSizeOffset, kBinBytes);
    WriteLittleEndian32(&hive, kClusteringOffset, 1);
    WriteLittleEndian32(&hive, kHiveChecksumOffset, HiveChecksum(hive));
    return hive;
}

// A value as the registry stores it.
struct KeyValue {
    std::u16string name;  // as first written
    uint32_t type = 0;
    std::string data;
};

// A key of the hive to be: its values as stored, its subkeys by upper-cased name.
struct KeyTree {
    std::u16string name;
    std::map<std::u16string, KeyValue> values;
    std::map<std::u16string, KeyTree> children;
};

// Builds the tree of the keys an export holds under the hive's top key.
class TreeSink : public RegExportSink {
  public:
    explicit TreeSink(KeyTree* top) : top_(top) {}

    bool OnKey(RegRootKey root, const std::vector<std::u16string_view>& path) override {
        current_ = nullptr;
        size_t below = 0;
        if (!InHive(root, path, &below)) {
            return false;
        }
        KeyTree* key = top_;
        for (size_t i = below; i < path.size(); ++i) {
            KeyTree& child = key->children[UpcaseName(path[i])];
            if (child.name.empty()) {
                child.name = path[i];
            }
            key = &child;
        }
        current_ = key;
        return true;
    }

    void OnDeleteKey(RegRootKey root, const std::vector<std::u16string_view>& path) override {
        current_ = nullptr;
        size_t below = 0;
        if (!InHive(root, path, &below) || below == path.size()) {
            return;
        }
        KeyTree* key = top_;
        for (size_t i = below; i + 1 < path.size() && key != nullptr; ++i) {
            const auto found = key->children.find(UpcaseName(path[i]));
            key = found == key->children.end() ? nullptr : &found->second;
        }
        if (key != nullptr) {
            key->children.erase(UpcaseName(path.back()));
        }
    }

    void OnValue(std::u16string_view name, uint32_t type, std::string_view data) override {
        KeyValue& value = current_->values[UpcaseName(name)];
        if (value.name.empty()) {
            value.name = name;
        }
        value.type = type;
        value.data = data;
    }

    void OnDeleteValue(std::u16string_view name) override {
        current_->values.erase(UpcaseName(name));
    }

  private:
    // Whether path lies in the hive; *below is the index of its first name under the top key.
    static bool InHive(RegRootKey root, const std::vector<std::u16string_view>& path,
                       size_t* below) {
        const std::vector<std::u16string> upper = [&path] {
            std::vector<std::u16string> names;
            for (const std::u16string_view name : path) {
                names.push_back(UpcaseName(name));
            }
            return names;
        }();
        if (root == RegRootKey::kLocalMachine && !upper.empty() && upper[0] == u"SOFTWARE") {
            *below = 1;
            return true;
        }
        if (root == RegRootKey::kCurrentUser && upper.size() >= 2 && upper[0] == u"SOFTWARE" &&
            upper[1] == u"CLASSES") {
            *below = 2;
            return true;
        }
        const std::u16string suffix = u"_CLASSES";
        if (root == RegRootKey::kUsers && !upper.empty() && upper[0].size() > suffix.size() &&
            upper[0].compare(upper[0].size() - suffix.size(), suffix.size(), suffix) == 0) {
            *below = 1;
            return true;
        }
        return false;
    }

    KeyTree* top_;
    KeyTree* current_ = nullptr;
};

// Makes each key line of an export a change of its own: the key, created with its parents when
// missing, and its values set.
class StepSink : public RegExportSink {
  public:
    bool OnKey(RegRootKey root, const std::vector<std::u16string_view>& path) override {
        steps_.push_back(std::make_unique<KeyTree>());
        current_ = std::make_unique<TreeSink>(steps_.back().get());
        return current_->OnKey(root, path);
    }
    void OnDeleteKey(RegRootKey, const std::vector<std::u16string_view>&) override {}
    void OnValue(std::u16string_view name, uint32_t type, std::string_view data) override {
        current_->OnValue(name, type, data);
    }
    void OnDeleteValue(std::u16string_view) override {}

    const std::vector<std::unique_ptr<KeyTree>>& steps() const { return steps_; }

  private:
    std::vector<std::unique_ptr<KeyTree>> steps_;
    std::unique_ptr<TreeSink> current_;
};

// hivex takes names in UTF-8 and stores them in Latin-1 or UTF-16 as they need.
std::string ToUtf8(const std::u16string& text) {
    std::string utf16;
    for (char16_t unit : text) {
        utf16.push_back(static_cast<char>(unit & 0xFF));
        utf16.push_back(static_cast<char>(unit >> 8));
    }
    iconv_t convert = iconv_open("UTF-8", "UTF-16LE");
    std::string utf8(utf16.size() * 2 + 1, '\0');
    char* in = utf16.data();
    size_t inLeft = utf16.size();
    char* out = utf8.data();
    size_t outLeft = utf8.size();
    iconv(convert, &in, &inLeft, &out, &outLeft);
    iconv_close(convert);
    utf8.resize(utf8.size() - outLeft);
    return utf8;
}

// Sets the values of key on node, keeping its others, and merges its subkeys into node's.
bool MergeKeys(hive_h* hive, hive_node_h node, const KeyTree& key, std::string* error) {
    for (const auto& entry : key.values) {
        const KeyValue& value = entry.second;
        std::string name = ToUtf8(value.name);
        hive_set_value set = {name.data(), hive_t_none, value.data.size(),
                              const_cast<char*>(value.data.data())};
        std::memcpy(&set.t, &value.type, sizeof value.type);
        if (hivex_node_set_value(hive, node, &set, 0) != 0) {
            *error = std::string("hivex_node_set_value: ") + std::strerror(errno);
            return false;
        }
    }
    for (const auto& entry : key.children) {
        const std::string name = ToUtf8(entry.second.name);
        hive_node_h child = hivex_node_get_child(hive, node, name.c_str());
        if (child == 0) {
            child = hivex_node_add_child(hive, node, name.c_str());
        }
        if (child == 0) {
            *error = std::string("hivex_node_add_child: ") + std::strerror(errno);
            return false;
        }
        if (!MergeKeys(hive, child, entry.second, error)) {
            return false;
        }
    }
    return true;
}

}  // namespace

uint32_t ReadLittleEndian32(const std::string& bytes, size_t offset) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
    }
    return value;
}

void WriteLittleEndian32(std::string* bytes, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) {
        (*bytes)[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

uint32_t HiveChecksum(const std::string& hive) {
    uint32_t sum = 0;
    for (size_t offset = 0; offset < kHiveChecksumOffset; offset += 4) {
        sum ^= ReadLittleEndian32(hive, offset);
    }
    return sum;
}

bool WriteEmptyHive(const std::string& path, std::string* error) {
    WriteFileBytes(path, EmptyHiveBytes());
    if (!FileExists(path)) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

bool WriteHiveFromExport(const std::string& path, const std::string& exportPath,
                         std::string* error) {
    KeyTree top;
    TreeSink sink(&top);
    RegExportParser parser(Windows1252(), sink);
    std::ifstream input(exportPath, std::ios::binary);
    std::string parseError;
    if (!input || !parser.Parse(input, &parseError)) {
        *error = exportPath + ": " + parseError;
        return false;
    }
    if (!WriteEmptyHive(path, error)) {
        return false;
    }
    hive_h* hive = hivex_open(path.c_str(), HIVEX_OPEN_WRITE);
    if (hive == nullptr) {
        *error = path + ": hivex_open: " + std::strerror(errno);
        return false;
    }
    bool written = MergeKeys(hive, hivex_root(hive), top, error);
    if (written && hivex_commit(hive, nullptr, 0) != 0) {
        *error = path + ": hivex_commit: " + std::strerror(errno);
        written = false;
    }
    hivex_close(hive);
    return written;
}

bool MakeHiveStates(const std::string& basePath, const std::string& stepsPath,
                    std::vector<std::string>* states, std::string* error) {
    ScratchDir scratch;
    std::string previous = scratch.File("state0");
    if (!WriteHiveFromExport(previous, basePath, error)) {
        return false;
    }
    states->assign(1, ReadFileBytes(previous));
    if (stepsPath.empty()) {
        return true;
    }
    StepSink sink;
    RegExportParser parser(Windows1252(), sink);
    std::ifstream input(stepsPath, std::ios::binary);
    std::string parseError;
    if (!input || !parser.Parse(input, &parseError)) {
        *error = stepsPath + ": " + parseError;
        return false;
    }
    for (const std::unique_ptr<KeyTree>& step : sink.steps()) {
        const std::string next = scratch.File("state" + std::to_string(states->size()));
        hive_h* hive = hivex_open(previous.c_str(), HIVEX_OPEN_WRITE);
        if (hive == nullptr) {
            *error = previous + ": hivex_open: " + std::strerror(errno);
            return false;
        }
        bool made = MergeKeys(hive, hivex_root(hive), *step, error);
        if (made && hivex_commit(hive, next.c_str(), 0) != 0) {
            *error = next + ": hivex_commit: " + std::strerror(errno);
            made = false;
        }
        hivex_close(hive);
        if (!made) {
            return false;
        }
        states->push_back(ReadFileBytes(next));
        previous = next;
    }
    return true;
}

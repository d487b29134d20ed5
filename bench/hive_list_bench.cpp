// hive_list_bench: lists the sets of a big SOFTWARE hive and of the equivalent registry export,
// and of the hive not closed cleanly with its transaction logs, with the time and the peak
// memory of each.
//
//   hive_list_bench generate DIR [MEGABYTES]   (default 200) writes DIR/SOFTWARE, a hive of many
//                                              unrelated keys with the settings root in the middle
//                                              holding 1,000 sets, DIR/SOFTWARE.reg, the same
//                                              keys as Windows exports them (UTF-16LE), and
//                                              DIR/dirty/: that hive not closed cleanly, and in
//                                              its .LOG2 and .LOG1 (new format) 30 MB of entries,
//                                              the last one adding a set
//   hive_list_bench list FILE...               loads the files as rcpconv does and lists the sets
//   hive_list_bench compare DIR [TRIALS]       (default 5) lists DIR/SOFTWARE and
//   DIR/dirty/SOFTWARE
//                                              and copies DIR/SOFTWARE into memory (/dev/shm), each
//                                              trial in processes of their own; prints the medians,
//                                              the dirty listing's time over the clean one's plus
//                                              the copy's, and its peak memory against the hive's
//                                              size, the logs' and 20 MB
//
// Run "list" once per file, each in a process of its own, so that each peak is its own. The
// peak resident size counts the hive's mapped pages, which are the file's page cache (or, for
// a recovered hive, its copy in memory); the peak of anonymous memory (sampled) is what the
// reading itself allocates.
#include <hivex.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/dirty_hive.h"
#include "bench/listing_measures.h"
#include "sources/offline_store.h"
#include "tests/hive_writer.h"
#include "text/codepage.h"

namespace {

constexpr size_t kBytesPerMegabyte = 1 << 20;
constexpr size_t kDefaultMegabytes = 200;
constexpr size_t kSettingsSets = 1000;
constexpr size_t kVendors = 64;
constexpr size_t kProductsPerVendor = 16;  // components spread below these, a few hundred each
constexpr size_t kBlobBytes = 2048;        // a large binary value in each filler key
constexpr size_t kHiveBytesPerFillerKey = 4160;  // what libhivex took for one, measured
constexpr size_t kHexBytesPerLine = 25;          // regedit wraps hex data near column 77
constexpr size_t kLogMegabytes = 30;
constexpr int kDefaultTrials = 5;
const char* const kSettingsPath[] = {"WOW6432Node", "Quorix", "Layrscan", "Settings"};

const char kSoftware[] = "HKEY_LOCAL_MACHINE\\SOFTWARE";

// Writes text as Windows' regedit does: UTF-16LE with a byte-order mark, CR LF.
class ExportWriter {
  public:
    explicit ExportWriter(const std::string& path) : out_(path, std::ios::binary) {
        out_.write("\xff\xfe", 2);
        Line("Windows Registry Editor Version 5.00");
    }
    void Line(const std::string& ascii) {
        std::string bytes;
        for (char c : ascii + "\r\n") {
            bytes.push_back(c);
            bytes.push_back('\0');
        }
        out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    void Key(const std::string& path) {
        Line("");
        Line("[" + std::string(kSoftware) + "\\" + path + "]");
    }
    void Hex(const std::string& name, const std::string& prefix, const std::string& data) {
        std::string line = "\"" + name + "\"=" + prefix;
        for (size_t i = 0; i < data.size(); ++i) {
            char byte[4];
            std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(data[i]));
            line += byte;
            if (i + 1 < data.size()) {
                line += ",";
                if ((i + 1) % kHexBytesPerLine == 0) {
                    Line(line + "\\");
                    line = "  ";
                }
            }
        }
        Line(line);
    }

  private:
    std::ofstream out_;
};

// Text as a quoted .reg string holds it.
std::string Escaped(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '\\' || c == '"') {
            escaped.push_back('\\');
        }
        escaped.push_back(c);
    }
    return escaped;
}

std::string Utf16(const std::string& ascii) {
    std::string bytes;
    for (char c : ascii) {
        bytes.push_back(c);
        bytes.push_back('\0');
    }
    return bytes + std::string(2, '\0');
}

// Adds one key with its values to the hive and the export alike.
class TwinWriter {
  public:
    TwinWriter(hive_h* hive, ExportWriter* writer) : hive_(hive), writer_(writer) {}

    // The key at path (names joined by '\', each parent added before), child of parent.
    hive_node_h Key(hive_node_h parent, const std::string& path, const std::string& name) {
        writer_->Key(path);
        const hive_node_h node = hivex_node_add_child(hive_, parent, name.c_str());
        if (node == 0) {
            std::fprintf(stderr, "hivex_node_add_child %s: %s\n", path.c_str(),
                         std::strerror(errno));
            std::exit(1);
        }
        return node;
    }
    struct Value {
        std::string name;
        hive_type type;
        std::string data;  // for REG_SZ, the text (ASCII) without its terminator
    };
    void Values(hive_node_h node, const std::vector<Value>& values) {
        std::vector<std::string> stored;
        for (const Value& value : values) {
            stored.push_back(value.type == hive_t_REG_SZ ? Utf16(value.data) : value.data);
        }
        std::vector<hive_set_value> set;
        for (size_t i = 0; i < values.size(); ++i) {
            const Value& value = values[i];
            set.push_back({const_cast<char*>(value.name.c_str()), value.type, stored[i].size(),
                           const_cast<char*>(stored[i].data())});
            if (value.type == hive_t_REG_SZ) {
                writer_->Line("\"" + value.name + "\"=\"" + Escaped(value.data) + "\"");
            }
        }
        for (const Value& value : values) {
            if (value.type == hive_t_REG_SZ) {
                continue;
            }
            char prefix[16];
            std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
            writer_->Hex(value.name, value.type == hive_t_REG_BINARY ? "hex:" : prefix, value.data);
        }
        if (hivex_node_set_values(hive_, node, set.size(), set.data(), 0) != 0) {
            std::fprintf(stderr, "hivex_node_set_values: %s\n", std::strerror(errno));
            std::exit(1);
        }
    }

  private:
    hive_h* hive_;
    ExportWriter* writer_;
};

void SettingsRoot(TwinWriter* twin, hive_node_h wow64) {
    hive_node_h node = twin->Key(wow64, "WOW6432Node\\Quorix", "Quorix");
    node = twin->Key(node, "WOW6432Node\\Quorix\\Layrscan", "Layrscan");
    const std::string rootPath = "WOW6432Node\\Quorix\\Layrscan\\Settings";
    const hive_node_h root = twin->Key(node, rootPath, "Settings");
    for (size_t i = 0; i < kSettingsSets; ++i) {
        const std::string name = "Setup " + std::to_string(i);
        const hive_node_h set = twin->Key(root, rootPath + "\\" + name, name);
        twin->Values(set, {{"Mat1", hive_t_REG_SZ, "GaAs"},
                           {"Electrolyte", hive_t_REG_SZ, "KOH 0.1M"},
                           {"AmpCar", hive_t_REG_SZ, "0.5"},
                           {"FreqCar", hive_t_REG_SZ, "3000"},
                           {"Model", hive_t_REG_DWORD, std::string("\x02\0\0\0", 4)},
                           {"AutoSave", hive_t_REG_BINARY, std::string("\x05", 1)}});
    }
}

int Generate(const std::string& directory, size_t megabytes) {
    const std::string hivePath = directory + "/SOFTWARE";
    std::string error;
    if (!WriteEmptyHive(hivePath, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    hive_h* hive = hivex_open(hivePath.c_str(), HIVEX_OPEN_WRITE);
    if (hive == nullptr) {
        std::fprintf(stderr, "hivex_open: %s\n", std::strerror(errno));
        return 1;
    }
    ExportWriter writer(hivePath + ".reg");
    TwinWriter twin(hive, &writer);
    writer.Line("");
    writer.Line("[" + std::string(kSoftware) + "]");
    const hive_node_h top = hivex_root(hive);
    const hive_node_h wow64 = twin.Key(top, "WOW6432Node", "WOW6432Node");
    // Each filler key: a path, a version, and a blob, as installed software leaves them.
    const size_t keys = megabytes * kBytesPerMegabyte / kHiveBytesPerFillerKey;
    const size_t perProduct = keys / (kVendors * kProductsPerVendor) + 1;
    std::string blob(kBlobBytes, '\0');
    for (size_t i = 0; i < blob.size(); ++i) {
        blob[i] = static_cast<char>(i * 7 + 3);
    }
    size_t written = 0;
    for (size_t vendor = 0; vendor < kVendors; ++vendor) {
        if (vendor == kVendors / 2) {
            SettingsRoot(&twin, wow64);
        }
        const std::string vendorName = "Vendor" + std::to_string(vendor);
        const hive_node_h vendorNode = twin.Key(top, vendorName, vendorName);
        for (size_t product = 0; product < kProductsPerVendor; ++product) {
            const std::string productName = "Product" + std::to_string(product);
            const std::string productPath = vendorName + "\\" + productName;
            const hive_node_h productNode = twin.Key(vendorNode, productPath, productName);
            for (size_t component = 0; component < perProduct && written < keys; ++component) {
                const std::string name = "Component" + std::to_string(component);
                const hive_node_h node = twin.Key(productNode, productPath + "\\" + name, name);
                twin.Values(node, {{"InstallPath", hive_t_REG_SZ,
                                    "C:\\Program Files\\" + vendorName + "\\" + name},
                                   {"Version", hive_t_REG_DWORD,
                                    std::string(reinterpret_cast<const char*>(&written), 4)},
                                   {"Blob", hive_t_REG_BINARY, blob}});
                ++written;
            }
        }
    }
    if (hivex_commit(hive, nullptr, 0) != 0) {
        std::fprintf(stderr, "hivex_commit: %s\n", std::strerror(errno));
        return 1;
    }
    hivex_close(hive);
    std::printf("wrote %s and %s.reg: %zu filler keys, %zu sets\n", hivePath.c_str(),
                hivePath.c_str(), written, kSettingsSets);
    const std::string dirty = directory + "/dirty";
    if (mkdir(dirty.c_str(), 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "mkdir %s: %s\n", dirty.c_str(), std::strerror(errno));
        return 1;
    }
    if (!WriteDirtyHive(hivePath, dirty, kLogMegabytes * kBytesPerMegabyte,
                        {std::begin(kSettingsPath), std::end(kSettingsPath)},
                        "Saved Before The Crash", &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("wrote %s/SOFTWARE not closed cleanly, with %zu MB of logs\n", dirty.c_str(),
                kLogMegabytes);
    return 0;
}

int List(const char* path) {
    const Measurement measured = Measure(path);
    if (!measured.loaded) {
        return 1;
    }
    std::printf(
        "%-20s %7.1f MB  %zu sets  %6.2f s  peak RSS %6.1f MB  peak anonymous %5.1f MB "
        "(+%.1f MB)  peak with memory files %6.1f MB\n",
        path, static_cast<double>(FileBytes(path)) / kBytesPerMegabyte, measured.sets,
        measured.seconds, Megabytes(measured.peakRssKilobytes),
        Megabytes(measured.peakAnonKilobytes),
        Megabytes(measured.peakAnonKilobytes - measured.anonBeforeKilobytes),
        Megabytes(measured.peakMemoryKilobytes));
    return 0;
}

// "measure FILE": the seconds and the peak resident size of listing it, for "compare".
int MeasureForCompare(const char* path) {
    const Measurement measured = Measure(path);
    std::printf("%.6f %ld %ld\n", measured.seconds, measured.peakRssKilobytes,
                measured.peakMemoryKilobytes);
    return measured.loaded ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "generate") == 0) {
        return Generate(argv[2], argc > 3 ? std::strtoul(argv[3], nullptr, 10) : kDefaultMegabytes);
    }
    if (argc == 3 && std::strcmp(argv[1], "measure") == 0) {
        return MeasureForCompare(argv[2]);
    }
    if (argc >= 3 && std::strcmp(argv[1], "compare") == 0) {
        return CompareListings(argv[2], argc > 3 ? std::atoi(argv[3]) : kDefaultTrials);
    }
    if (argc >= 3 && std::strcmp(argv[1], "list") == 0) {
        for (int i = 2; i < argc; ++i) {
            if (List(argv[i]) != 0) {
                return 1;
            }
        }
        return 0;
    }
    std::fprintf(stderr,
                 "usage: hive_list_bench generate DIR [MEGABYTES] | list FILE... | "
                 "compare DIR [TRIALS]\n");
    return 2;
}

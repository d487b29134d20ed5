// Tests of reading hive files: a hive made from an export answers as the export does, a hive not
// closed cleanly is read with a warning, and a damaged one is refused with a clear error.
#include <hivex.h>

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "registry/registry_types.h"
#include "sources/offline_store.h"
#include "tests/hive_writer.h"
#include "tests/settings_dump.h"
#include "tests/test_support.h"
#include "text/codepage.h"

namespace {

const char kV5[] = "Windows Registry Editor Version 5.00\r\n";
const char kStoreRoot[] =
    "[HKEY_USERS\\S-1-5-21-1001_Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node\\Quorix\\"
    "Layrscan\\Settings";
const char kDamageAdvice[] =
    ": copy it again from the PC's disk, or load it on a Windows PC with regedit's Load Hive "
    "and export the settings from there";

class HiveSourceTest : public ::testing::Test {
  protected:
    std::string Fixture(const std::string& name) {
        return std::string(RC_TEST_DATA_DIR) + "/exports/" + name;
    }
    // The hive made from an export, at a path named after it.
    std::string HiveOf(const std::string& exportPath, const std::string& name) {
        const std::string hive = scratch_.File(name);
        std::string error;
        EXPECT_TRUE(WriteHiveFromExport(hive, exportPath, &error)) << error;
        return hive;
    }
    std::string Text(const std::string& name, const std::string& text) {
        const std::string path = scratch_.File(name);
        WriteFileBytes(path, text);
        return path;
    }
    // What a store over the sources answers, or the load error.
    std::string Dump(const std::vector<std::string>& sources,
                     const std::vector<std::string>& valueNames) {
        OfflineSettingsStore store;
        std::string error;
        if (!store.Load(sources, Windows1252(), &error)) {
            return "error " + error;
        }
        return DumpSettingsStore(store, valueNames);
    }

    ScratchDir scratch_;
};

std::vector<std::string> ReadValueNames(const std::string& fixture) {
    std::vector<std::string> names;
    std::istringstream lines(ReadTestData("exports/" + fixture + ".names"));
    std::string line;
    while (std::getline(lines, line)) {
        std::string name;
        if (UnescapeDumpName(line, &name)) {
            names.push_back(name);
        }
    }
    return names;
}

// The export fixtures hold every value type regedit writes, empty data, long names and names
// outside the code page; Wine's registry answered the same as the export reader for them.
TEST_F(HiveSourceTest, AHiveAnswersAsTheExportItWasMadeFrom) {
    for (const char* name :
         {"windows_utf16", "ansi_cp1252", "regedit4", "utf8_bom", "odd_forms", "sort_order"}) {
        SCOPED_TRACE(name);
        const std::string fixture = Fixture(std::string(name) + ".reg");
        const std::vector<std::string> values = ReadValueNames(name);
        const std::string fromExport = Dump({fixture}, values);
        ASSERT_EQ(0u, fromExport.find("root SOFTWARE")) << fromExport;
        EXPECT_EQ(fromExport, Dump({HiveOf(fixture, "SOFTWARE")}, values));
    }
}

// A UsrClass.dat stands for the user's classes key: its VirtualStore is the user's virtual store.
TEST_F(HiveSourceTest, AUserHiveHoldsTheVirtualStoreAndMergesAsItsExportDoes) {
    const std::string machine = Fixture("windows_utf16.reg");
    const std::string store =
        Text("store.reg", std::string(kV5) + kStoreRoot +
                              "\\GaAs-AlGaAs HEMT]\r\n\"Text31\"=\"store\"\r\n" + kStoreRoot +
                              "\\Only in store]\r\n\"Dword\"=dword:00000007\r\n");
    const std::vector<std::string> values = ReadValueNames("windows_utf16");
    const std::string machineHive = HiveOf(machine, "SOFTWARE");
    const std::string storeHive = HiveOf(store, "UsrClass.dat");
    const std::string merged = Dump({machine, store}, values);
    ASSERT_NE(std::string::npos, merged.find("set Only\\x20in\\x20store")) << merged;
    EXPECT_EQ(merged, Dump({machineHive, storeHive}, values));
    EXPECT_EQ(merged, Dump({storeHive, machine}, values));
    EXPECT_EQ(Dump({store}, values), Dump({storeHive}, values));
    EXPECT_EQ("error " + machineHive + " and " + machine +
                  " both hold a machine's settings: convert one PC at a time, one of them per run",
              Dump({machineHive, machine}, values));
}

// A hive without settings is named by what its top keys say it is: NTUSER.DAT and UsrClass.dat
// are easy to confuse, and only the second holds a virtual store.
TEST_F(HiveSourceTest, AHiveWithoutSettingsIsNamedByWhatItLooksLike) {
    const std::string noKey =
        "no key SOFTWARE\\Quorix\\Layrscan\\Settings or SOFTWARE\\Zentyl\\Layrscan\\Settings (nor "
        "under SOFTWARE\\WOW6432Node)";
    const struct {
        const char* key;
        std::string looks;
    } cases[] = {
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows",
         "it looks like a SOFTWARE hive, but has " + noKey},
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Environment",
         "it looks like a user's NTUSER.DAT (its top key holds Control Panel or Environment), "
         "which holds no virtual store: Windows keeps that in the user's UsrClass.dat, in "
         "Users\\NAME\\AppData\\Local\\Microsoft\\Windows"},
        {"HKEY_CURRENT_USER\\Software\\Classes\\Local Settings\\Software",
         "it looks like a user's UsrClass.dat, but its virtual store has " + noKey},
        {"HKEY_CURRENT_USER\\Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\Other",
         "it looks like a user's UsrClass.dat, but its virtual store has " + noKey},
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\ControlSet001\\Services",
         "it is a registry hive, but neither a SOFTWARE hive nor a user's UsrClass.dat"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        const std::string hive =
            HiveOf(Text("keys.reg", std::string(kV5) + "[" + c.key + "]\r\n"), "hive");
        EXPECT_EQ("error " + hive + ": holds no settings: " + c.looks, Dump({hive}, {}));
    }
}

TEST_F(HiveSourceTest, AHiveNotClosedCleanlyIsReadWithAWarning) {
    const std::string hive = HiveOf(Fixture("regedit4.reg"), "SOFTWARE");
    std::string bytes = ReadFileBytes(hive);
    WriteLittleEndian32(&bytes, kHiveSecondarySequenceOffset,
                        ReadLittleEndian32(bytes, kHivePrimarySequenceOffset) + 1);
    WriteLittleEndian32(&bytes, kHiveChecksumOffset, HiveChecksum(bytes));
    WriteFileBytes(hive, bytes);
    OfflineSettingsStore store;
    std::string error;
    ASSERT_TRUE(store.Load({hive}, Windows1252(), &error)) << error;
    ASSERT_EQ(1u, store.warnings().size());
    const SourceWarning& warning = store.warnings()[0];
    EXPECT_EQ(hive, warning.path);
    EXPECT_EQ(0u, warning.line);
    EXPECT_FALSE(warning.skipped);
    EXPECT_EQ(
        "warning: the hive was not closed cleanly (its two sequence numbers differ): its latest "
        "changes may sit in SOFTWARE.LOG1 and SOFTWARE.LOG2 beside it, which are not applied "
        "here. To include them, copy the .LOG1 and .LOG2 files along with the hive, load it on "
        "a Windows PC with regedit (File, Load Hive, which applies them) and export the settings "
        "from there",
        warning.message);
    EXPECT_EQ(Dump({Fixture("regedit4.reg")}, ReadValueNames("regedit4")),
              DumpSettingsStore(store, ReadValueNames("regedit4")));
}

// hivex writes no value that long, so the value's length field is made to claim it: the
// reader must leave the value out on that length alone, without reading its data.
TEST_F(HiveSourceTest, AValueTooLongToKeepIsLeftOutAndReported) {
    const std::string hive = HiveOf(Fixture("regedit4.reg"), "SOFTWARE");
    hive_h* reader = hivex_open(hive.c_str(), 0);
    ASSERT_NE(nullptr, reader);
    hive_node_h set = hivex_root(reader);
    for (const char* name : {"WOW6432Node", "Zentyl", "Layrscan", "Settings", "Old Setup"}) {
        set = hivex_node_get_child(reader, set, name);
        ASSERT_NE(0u, set) << name;
    }
    const hive_value_h value = hivex_node_get_value(reader, set, "Mat1");
    ASSERT_NE(0u, value);
    hivex_close(reader);
    std::string bytes = ReadFileBytes(hive);
    WriteLittleEndian32(&bytes, value + kValueLengthOffset,
                        static_cast<uint32_t>(kMaxExportValueBytes + 1));
    WriteFileBytes(hive, bytes);

    OfflineSettingsStore store;
    std::string error;
    ASSERT_TRUE(store.Load({hive}, Windows1252(), &error)) << error;
    ASSERT_EQ(1u, store.warnings().size());
    EXPECT_TRUE(store.warnings()[0].skipped);
    EXPECT_EQ("value \"Mat1\" of set \"Old Setup\" ignored: data longer than 1048576 bytes",
              store.warnings()[0].message);
    SettingsKey root = nullptr;
    SettingsKey opened = nullptr;
    ASSERT_TRUE(store.OpenSettingsRoot(kSettingsRootPaths[1], &root));
    ASSERT_TRUE(store.OpenSettingsSet(root, "Old Setup", &opened));
    TextValueData text;
    EXPECT_EQ(0, ReadTextValue(store, opened, "Mat1", &text));
    EXPECT_EQ(1, ReadTextValue(store, opened, "Expand", &text));
}

// Every damage gives an error naming the file, nothing read, and no crash (this table also
// runs under AddressSanitizer and UndefinedBehaviorSanitizer; see the README).
TEST_F(HiveSourceTest, ADamagedHiveIsRefusedWithAClearError) {
    const std::string good = ReadFileBytes(HiveOf(Fixture("windows_utf16.reg"), "good"));
    // Cell offsets of the keys and values on the way to the settings, from libhivex itself.
    hive_h* reader = hivex_open(scratch_.File("good").c_str(), 0);
    ASSERT_NE(nullptr, reader);
    hive_node_h settings = hivex_root(reader);
    hive_node_h quorix = 0;
    for (const char* name : {"WOW6432Node", "Quorix", "Layrscan", "Settings"}) {
        settings = hivex_node_get_child(reader, settings, name);
        ASSERT_NE(0u, settings) << name;
        quorix = std::string(name) == "Quorix" ? settings : quorix;
    }
    const hive_node_h set = hivex_node_get_child(reader, settings, "GaAs-AlGaAs HEMT");
    ASSERT_NE(0u, set);
    hive_value_h* values = hivex_node_values(reader, set);
    ASSERT_NE(nullptr, values);
    const size_t value = values[0];
    free(values);
    hivex_close(reader);

    const auto withSum = [](std::string bytes) {
        WriteLittleEndian32(&bytes, kHiveChecksumOffset, HiveChecksum(bytes));
        return bytes;
    };
    const auto with32 = [&good](size_t offset, uint32_t field) {
        std::string bytes = good;
        WriteLittleEndian32(&bytes, offset, field);
        return bytes;
    };
    const std::string size = std::to_string(good.size());
    const uint32_t outside = 0x7FFFFFF0;
    struct Case {
        const char* about;
        std::string bytes;
        std::string damage;
    };
    const Case cases[] = {
        {"cut inside the base block", good.substr(0, 100),
         "it is cut short (100 bytes, where the smallest hive has 8192)"},
        {"cut after the base block", good.substr(0, kHiveBaseBlockBytes),
         "it is cut short (4096 bytes, where the smallest hive has 8192)"},
        {"cut inside a bin", good.substr(0, good.size() - 100),
         "it is cut short (" + std::to_string(good.size() - 100) +
             " bytes, where its header announces " + size + ")"},
        {"cut at the last bin", good.substr(0, good.size() - kHiveBaseBlockBytes),
         "it is cut short (" + std::to_string(good.size() - kHiveBaseBlockBytes) +
             " bytes, where its header announces " + size + ")"},
        {"cut at the last bin, the header made to match",
         withSum(with32(kHiveBinsSizeOffset,
                        static_cast<uint32_t>(good.size() - 2 * kHiveBaseBlockBytes))
                     .substr(0, good.size() - kHiveBaseBlockBytes)),
         "its keys are damaged"},
        {"bad checksum", with32(kHiveChecksumOffset, HiveChecksum(good) ^ 1),
         "its header is damaged"},
        {"the signature and nothing else", withSum("regf" + std::string(8188, '\0')),
         "its structure is damaged"},
        {"top key offset outside the file", withSum(with32(kHiveRootCellOffset, outside)),
         "its structure is damaged"},
        {"first bin's size past the end", with32(kHiveBaseBlockBytes + 8, outside & ~0xFFFu),
         "its structure is damaged"},
        {"subkey list of a key on the way outside the file",
         with32(quorix + kKeySubkeyListOffset, outside), "its keys are damaged"},
        {"a key on the way counting more subkeys than it lists",
         with32(settings + kKeySubkeyCountOffset,
                ReadLittleEndian32(good, settings + kKeySubkeyCountOffset) + 1),
         "its keys are damaged"},
        {"a value's data in the middle of a cell",
         with32(value + kValueDataOffset, ReadLittleEndian32(good, value + kValueDataOffset) + 2),
         "its values are damaged"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.about);
        const std::string path = Text("SOFTWARE", c.bytes);
        OfflineSettingsStore store;
        std::string error;
        EXPECT_FALSE(store.Load({path}, Windows1252(), &error));
        EXPECT_EQ(path + ": cannot be read as a registry hive: " + c.damage + kDamageAdvice, error);
    }
}

}  // namespace

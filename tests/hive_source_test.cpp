// Tests of reading hive files: a hive made from an export answers as the export does, a hive not
// closed cleanly is read with a warning, and a damaged one is refused with a clear error.
#include <hivex.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>

#include "registry/registry_types.h"
#include "sources/hive_image_posix.h"
#include "sources/marvin32.h"
#include "sources/offline_store.h"
#include "sources/reg_export_parser.h"
#include "tests/hive_writer.h"
#include "tests/settings_dump.h"
#include "tests/test_support.h"
#include "text/codepage.h"

namespace {

const char kV5[] = "Windows Registry Editor Version 5.00\r\n";
const char kStoreRoot[] =
    "[HKEY_USERS\\S-1-5-21-1001_Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node\\Quorix\\"
    "Layrscan\\Settings";
const char kNoneApplies[] =
    "warning: the hive was not closed cleanly and none of its logs applies: it is read as it "
    "was last written, without its latest changes";
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

// Without its logs, a dirty hive is read as it was last written, and the user told which logs
// to copy along with it.
TEST_F(HiveSourceTest, AHiveNotClosedCleanlyWithoutItsLogsIsReadWithWarnings) {
    const std::string hive = HiveOf(Fixture("regedit4.reg"), "SOFTWARE");
    std::string bytes = ReadFileBytes(hive);
    WriteLittleEndian32(&bytes, kHiveSecondarySequenceOffset,
                        ReadLittleEndian32(bytes, kHivePrimarySequenceOffset) + 1);
    WriteLittleEndian32(&bytes, kHiveChecksumOffset, HiveChecksum(bytes));
    WriteFileBytes(hive, bytes);
    OfflineSettingsStore store;
    std::string error;
    ASSERT_TRUE(store.Load({hive}, Windows1252(), &error)) << error;
    std::vector<std::string> messages;
    for (const SourceWarning& warning : store.warnings()) {
        EXPECT_EQ(hive, warning.path);
        EXPECT_EQ(0u, warning.line);
        EXPECT_FALSE(warning.skipped);
        messages.push_back(warning.message);
    }
    const std::string notFound =
        ": not found; the hive's latest changes may sit in it: copy it from the PC's disk along "
        "with the hive";
    EXPECT_EQ(std::vector<std::string>({kNoneApplies, "warning: SOFTWARE.LOG1" + notFound,
                                        "warning: SOFTWARE.LOG2" + notFound}),
              messages);
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

// Marvin32 as .NET's tests publish it: seeds and data, and the hashes, high word first.
TEST(Marvin32Test, MatchesThePublishedTestVectors) {
    constexpr uint64_t kSeed1 = 0x4FB61A001BDBCC;
    constexpr uint64_t kSeed2 = 0x804FB61A001BDBCC;
    constexpr uint64_t kSeed3 = 0x804FB61A801BDBCC;
    const struct {
        uint64_t seed;
        std::vector<unsigned char> data;
        uint64_t hash;
    } vectors[] = {
        {kSeed1, {}, 0x30ED35C100CD3C7D},
        {kSeed1, {0xAF}, 0x48E73FC77D75DDC1},
        {kSeed1, {0xE7, 0x0F}, 0xB5F6E1FC485DBFF8},
        {kSeed1, {0x37, 0xF4, 0x95}, 0xF0B07C789B8CF7E8},
        {kSeed1, {0x86, 0x42, 0xDC, 0x59}, 0x7008F2E87E9CF556},
        {kSeed1, {0x15, 0x3F, 0xB7, 0x98, 0x26}, 0xE6C08C6DA2AFA997},
        {kSeed1, {0x09, 0x32, 0xE6, 0x24, 0x6C, 0x47}, 0x6F04BF1A5EA24060},
        {kSeed1, {0xAB, 0x42, 0x7E, 0xA8, 0xD1, 0x0F, 0xC7}, 0xE11847E4F0678C41},
        {kSeed2, {}, 0x10A9D5D3996FD65D},
        {kSeed2, {0xAF}, 0x68201F91960EBF91},
        {kSeed2, {0xE7, 0x0F}, 0x64B581631F6AB378},
        {kSeed2, {0x37, 0xF4, 0x95}, 0xE1F2DFA6E5131408},
        {kSeed2, {0x86, 0x42, 0xDC, 0x59}, 0x36289D9654FB49F6},
        {kSeed2, {0x15, 0x3F, 0xB7, 0x98, 0x26}, 0x0A06114B13464DBD},
        {kSeed2, {0x09, 0x32, 0xE6, 0x24, 0x6C, 0x47}, 0xD6DD5E40AD1BC2ED},
        {kSeed2, {0xAB, 0x42, 0x7E, 0xA8, 0xD1, 0x0F, 0xC7}, 0xE203987DBA252FB3},
        {kSeed3, {0x00}, 0xA37FB0DA2ECAE06C},
        {kSeed3, {0xFF}, 0xFECEF370701AE054},
        {kSeed3, {0x00, 0xFF}, 0xA638E75700048880},
        {kSeed3, {0xFF, 0x00}, 0xBDFB46D969730E2A},
        {kSeed3, {0xFF, 0x00, 0xFF}, 0x9D8577C0FE0D30BF},
        {kSeed3, {0x00, 0xFF, 0x00}, 0x4F9FBDDE15099497},
        {kSeed3, {0x00, 0xFF, 0x00, 0xFF}, 0x24EAA279D9A529CA},
        {kSeed3, {0xFF, 0x00, 0xFF, 0x00}, 0xD3BEC7726B057943},
        {kSeed3, {0xFF, 0x00, 0xFF, 0x00, 0xFF}, 0x920B62BBCA3E0B72},
        {kSeed3, {0x00, 0xFF, 0x00, 0xFF, 0x00}, 0x1D7DDF9DFDF3C1BF},
        {kSeed3, {0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF}, 0xEC21276A17E821A5},
        {kSeed3, {0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00}, 0x6911A53CA8C12254},
        {kSeed3, {0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF}, 0xFDFD187B1D3CE784},
        {kSeed3, {0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00}, 0x71876F2EFB1B0EE8},
    };
    for (const auto& vector : vectors) {
        EXPECT_EQ(vector.hash, Marvin32(vector.data.data(), vector.data.size(), vector.seed))
            << std::hex << vector.hash;
    }
}

constexpr size_t kGrowingValueBytes = 6000;  // more than the first bin has free

// The life of a hive for the recovery tests: the regedit4 fixture, then five changes, each
// adding a set; the third holds a value too big for the hive's bin, so the hive grows.
const std::vector<std::string>& HiveStates() {
    static const std::vector<std::string> states = [] {
        const std::string root =
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Zentyl\\Layrscan\\Settings\\Step ";
        std::string steps = "REGEDIT4\r\n";
        for (int step = 1; step <= 5; ++step) {
            steps += "\r\n" + root + std::to_string(step) + "]\r\n\"Mat1\"=\"GaAs " +
                     std::to_string(step) + "\"\r\n";
            if (step == 3) {
                std::string table;
                for (size_t byte = 0; byte < kGrowingValueBytes; ++byte) {
                    table += byte == 0 ? "55" : ",55";
                }
                steps += "\"CalTable\"=hex:" + table + "\r\n";
            }
        }
        ScratchDir scratch;
        WriteFileBytes(scratch.File("steps.reg"), steps);
        std::vector<std::string> made;
        std::string error;
        if (!MakeHiveStates(std::string(RC_TEST_DATA_DIR) + "/exports/regedit4.reg",
                            scratch.File("steps.reg"), &made, &error)) {
            ADD_FAILURE() << error;
        }
        return made;
    }();
    return states;
}

// A dirty hive and its logs, made as the plan says (see tests/hive_writer.h), and what reading
// it gives: the hive bins of a state with a base block as Windows leaves a recovered hive, or
// the hive as it is; and the messages. In these, "#" stands for the number of dirty pages of the
// old-format log pagesOf and "@" for the number of the page where its second dirty bin starts.
struct RecoveryCase {
    const char* about;
    std::string plan;
    int state;          // whose hive bins the recovered hive holds; -1: the hive is read as it is
    uint32_t sequence;  // both sequence numbers of the recovered base block
    std::vector<std::string> messages;
    const char* pagesOf = "";
};

const char kApplied[] = "the hive was not closed cleanly: applied ";

std::string Filled(std::string message, const std::map<std::string, WrittenLog>& logs,
                   const char* pagesOf) {
    const auto found = logs.find(pagesOf);
    if (found == logs.end()) {
        return message;
    }
    const WrittenLog& log = found->second;
    const size_t second = log.binPages.size() > 1 ? log.binPages[1] : 0;
    for (const auto& [token, value] :
         {std::pair<char, size_t>{'#', log.pageCount}, {'@', second + 1}}) {
        for (size_t at; (at = message.find(token)) != std::string::npos;) {
            message.replace(at, 1, std::to_string(value));
        }
    }
    return message;
}

TEST_F(HiveSourceTest, ADirtyHiveIsReadWithItsLogsAppliedAsWindowsAppliesThem) {
    const std::vector<std::string>& states = HiveStates();
    ASSERT_EQ(6u, states.size());
    ASSERT_GT(ReadLittleEndian32(states[3], kHiveBinsSizeOffset),
              ReadLittleEndian32(states[2], kHiveBinsSizeOffset))
        << "the third change must grow the hive";
    const std::string newLog = "new SOFTWARE.LOG1 287 1@287 2@288 3@289 4@290 5@291\n";
    const std::string staleLog2 = "new SOFTWARE.LOG2 250\n";
    const std::string windows10 = "hive 0 256 255\n";
    const std::string windows7 = "hive 0 8 7 length 3 timestamp 1000\n";
    const std::string otherState = "written for another state of the hive";
    const RecoveryCase cases[] = {
        {"new format in one log, the other log stale",
         windows10 + newLog + staleLog2,
         5,
         291,
         {kApplied + std::string("5 log entries from SOFTWARE.LOG1")}},
        {"entries split across the logs, the second one holding the earlier ones",
         windows10 + "new SOFTWARE.LOG2 287 1@287 2@288\nnew SOFTWARE.LOG1 289 3@289 4@290 5@291\n",
         5,
         291,
         {kApplied + std::string("5 log entries from SOFTWARE.LOG1 and SOFTWARE.LOG2")}},
        {"entries before the log's first one due are already applied, even a damaged one",
         "hive 2 256 255\nnew SOFTWARE.LOG1 289 1@287 2@288 3@289 4@290 5@291\n"
         "damage SOFTWARE.LOG1 entry 1\n" +
             staleLog2,
         5,
         291,
         {kApplied + std::string("3 log entries from SOFTWARE.LOG1")}},
        {"entries below the hive's own sequence number are already applied",
         "hive 2 289 288\n" + newLog + "damage SOFTWARE.LOG1 entry 2\n" + staleLog2,
         5,
         291,
         {kApplied + std::string("3 log entries from SOFTWARE.LOG1")}},
        {"a bad Hash-1 in entry 3 of 5",
         windows10 + newLog + "damage SOFTWARE.LOG1 entry 3\n" + staleLog2,
         2,
         288,
         {kApplied + std::string("2 log entries from SOFTWARE.LOG1"),
          "warning: SOFTWARE.LOG1: entry 3 of 5 damaged, the first 2 applied"}},
        {"a gap in the sequence numbers",
         windows10 + "new SOFTWARE.LOG1 287 1@287 2@288 3@290 4@291\n" + staleLog2,
         2,
         288,
         {kApplied + std::string("2 log entries from SOFTWARE.LOG1"),
          "warning: SOFTWARE.LOG1: entry 3 of 4 out of sequence, the first 2 applied"}},
        {"a log that stops short of the other log's first entry is already in the hive",
         "hive 2 256 255\nnew SOFTWARE.LOG1 287 1@287 2@288\nnew SOFTWARE.LOG2 290 3@290 4@291\n",
         4,
         291,
         {kApplied + std::string("2 log entries from SOFTWARE.LOG2")}},
        {"one old entry with a smaller hive bins size that does not lead into the other log",
         "hive 2 256 255\nnew SOFTWARE.LOG2 270 1@270\nnew SOFTWARE.LOG1 287 3@287 4@288 5@289\n",
         5,
         289,
         {kApplied + std::string("3 log entries from SOFTWARE.LOG1")}},
        {"the other log out of sequence after the first",
         windows10 + "new SOFTWARE.LOG1 287 1@287 2@288\nnew SOFTWARE.LOG2 289 3@290 4@291\n",
         2,
         288,
         {kApplied + std::string("2 log entries from SOFTWARE.LOG1"),
          "warning: SOFTWARE.LOG2: entry 1 of 2 out of sequence, none applied"}},
        {"a hive grown by its log",
         windows10 + "new SOFTWARE.LOG1 287 1@287 2@288 3@289\n" + staleLog2,
         3,
         289,
         {kApplied + std::string("3 log entries from SOFTWARE.LOG1")}},
        {"a log cut short",
         windows10 + newLog + "cut SOFTWARE.LOG1 entry 3\n" + staleLog2,
         2,
         288,
         {kApplied + std::string("2 log entries from SOFTWARE.LOG1"),
          "warning: SOFTWARE.LOG1: entry 3 of 3 cut short, the first 2 applied"}},
        {"a bad hive base block, taken from the log that starts last",
         "hive 2 256 255 damaged\nnew SOFTWARE.LOG1 287 1@287 2@288\n"
         "new SOFTWARE.LOG2 289 3@289 4@290\n",
         4,
         290,
         {kApplied + std::string("2 log entries from SOFTWARE.LOG2")}},
        {"a bad hive base block, and the log switched to last holds no entry yet",
         "hive 2 256 255 damaged\nnew SOFTWARE.LOG1 287 1@287 2@288 3@289\n"
         "new SOFTWARE.LOG2 290\n",
         3,
         289,
         {kApplied + std::string("3 log entries from SOFTWARE.LOG1")}},
        {"a log cut inside an entry's header",
         windows10 + newLog + "cut SOFTWARE.LOG1 header 3\n" + staleLog2,
         2,
         288,
         {kApplied + std::string("2 log entries from SOFTWARE.LOG1"),
          "warning: SOFTWARE.LOG1: entry 3 of 3 cut short, the first 2 applied"}},
        {"the logs of another hive",
         windows10 + "new SOFTWARE.LOG1 5 1@5 2@6\nnew SOFTWARE.LOG2 7 3@7\n",
         -1,
         0,
         {kNoneApplies, "warning: SOFTWARE.LOG1: " + otherState,
          "warning: SOFTWARE.LOG2: " + otherState}},
        {"a clean hive with log entries", "hive 0 256 256\n" + newLog, -1, 0, {}},
        {"lower-case log names",
         windows10 + "new software.log1 287 1@287 2@288\nnew software.log2 250\n",
         2,
         288,
         {kApplied + std::string("2 log entries from software.log1")}},
        {"old format: .LOG1",
         windows7 + "old SOFTWARE.LOG1 0 3\nold SOFTWARE.LOG2 0 3 timestamp 999\n",
         3,
         8,
         {kApplied + std::string("# changed pages from SOFTWARE.LOG1")},
         "SOFTWARE.LOG1"},
        {"old format: .LOG1 of another timestamp, .LOG2 valid",
         windows7 + "old SOFTWARE.LOG1 0 3 timestamp 999\nold SOFTWARE.LOG2 0 3\n",
         3,
         8,
         {kApplied + std::string("# changed pages from SOFTWARE.LOG2")},
         "SOFTWARE.LOG2"},
        {"old format: Windows XP's single .LOG",
         windows7 + "old SOFTWARE.LOG 0 3\n",
         3,
         8,
         {kApplied + std::string("# changed pages from SOFTWARE.LOG")},
         "SOFTWARE.LOG"},
        {"old format: a bad hive base block, taken from the log",
         "hive 0 9 7 length 3 timestamp 1000 damaged\nold SOFTWARE.LOG1 0 3\n"
         "old SOFTWARE.LOG2 0 3 timestamp 999\n",
         3,
         9,
         {kApplied + std::string("# changed pages from SOFTWARE.LOG1")},
         "SOFTWARE.LOG1"},
        {"old format: a bad hive base block and logs older than its first bin",
         "hive 0 8 7 timestamp 1000 bin-timestamp 2000 damaged\nold SOFTWARE.LOG1 0 3\n"
         "old SOFTWARE.LOG2 0 3 timestamp 1500\n",
         -1,
         0,
         {kNoneApplies, "warning: SOFTWARE.LOG1: " + otherState,
          "warning: SOFTWARE.LOG2: " + otherState}},
        {"old format: a damaged dirty bin, the other log applied instead",
         "hive 0 8 7 timestamp 1000\nold SOFTWARE.LOG1 0 3\ndamage SOFTWARE.LOG1 bin 2\n"
         "old SOFTWARE.LOG2 0 3\n",
         3,
         8,
         {kApplied + std::string("# changed pages from SOFTWARE.LOG2"),
          "warning: SOFTWARE.LOG1: page @ of # damaged, none applied"},
         "SOFTWARE.LOG1"},
        {"old format: a hive bins size its file does not hold is not kept",
         "hive 0 8 7 timestamp 1000 bins 268435456\nold SOFTWARE.LOG1 0 3\n"
         "old SOFTWARE.LOG2 0 3 timestamp 999\n",
         3,
         8,
         {kApplied + std::string("# changed pages from SOFTWARE.LOG1")},
         "SOFTWARE.LOG1"},
        {"old format: a log cut short, none applied",
         "hive 0 8 7 timestamp 1000\nold SOFTWARE.LOG1 0 3\ncut SOFTWARE.LOG1 bin 2\n"
         "old SOFTWARE.LOG2 0 3 timestamp 9\n",
         -1,
         0,
         {kNoneApplies,
          "warning: SOFTWARE.LOG1: page @ of # missing (the log is cut short), none applied",
          "warning: SOFTWARE.LOG2: " + otherState},
         "SOFTWARE.LOG1"},
    };
    for (const RecoveryCase& c : cases) {
        SCOPED_TRACE(c.about);
        ScratchDir directory;
        const std::string hive = directory.File("SOFTWARE");
        std::map<std::string, WrittenLog> logs;
        std::string error;
        ASSERT_TRUE(WriteHiveWithLogs(hive, states, c.plan, &error, &logs)) << error;
        const std::string before = ReadFileBytes(hive);
        HiveImage image;
        std::vector<SourceWarning> warnings;
        ASSERT_TRUE(image.Open(hive, &warnings, &error)) << error;
        std::vector<std::string> messages;
        for (const SourceWarning& warning : warnings) {
            messages.push_back(warning.message);
        }
        std::vector<std::string> expected;
        for (const std::string& message : c.messages) {
            expected.push_back(Filled(message, logs, c.pagesOf));
        }
        EXPECT_EQ(expected, messages);
        EXPECT_EQ(before, ReadFileBytes(hive)) << "the hive was written";
        if (c.state < 0) {
            EXPECT_EQ(hive, image.readPath());
            continue;
        }
        const std::string read = ReadFileBytes(image.readPath());
        const std::string& want = states[c.state];
        const uint32_t bins = ReadLittleEndian32(want, kHiveBinsSizeOffset);
        ASSERT_GE(read.size(), kHiveBaseBlockBytes + bins);
        EXPECT_TRUE(read.compare(kHiveBaseBlockBytes, bins, want, kHiveBaseBlockBytes, bins) == 0)
            << "the hive bins differ from those of state " << c.state;
        EXPECT_EQ(bins, ReadLittleEndian32(read, kHiveBinsSizeOffset));
        EXPECT_EQ(c.sequence, ReadLittleEndian32(read, kHivePrimarySequenceOffset));
        EXPECT_EQ(c.sequence, ReadLittleEndian32(read, kHiveSecondarySequenceOffset));
        EXPECT_EQ(HiveChecksum(read), ReadLittleEndian32(read, kHiveChecksumOffset));
        EXPECT_EQ(0u, ReadLittleEndian32(read, kHiveFileTypeOffset));
        const std::string clean = directory.File("clean");
        WriteFileBytes(clean, want);
        EXPECT_EQ(Dump({clean}, {"Mat1", "CalTable"}), Dump({hive}, {"Mat1", "CalTable"}));
    }
}

// The recovered base block takes its flag from the last entry applied, whatever the hive had.
TEST_F(HiveSourceTest, TheRecoveredBaseBlockTakesTheFlagOfTheLastEntry) {
    const std::vector<std::string>& states = HiveStates();
    for (const uint32_t flag : {0u, 1u}) {
        SCOPED_TRACE(flag);
        ScratchDir directory;
        std::string hive = states[0];
        WriteLittleEndian32(&hive, kHiveFlagsOffset, flag ^ 1);
        WriteFileBytes(
            directory.File("SOFTWARE"),
            WithBaseBlock(hive, 256, 255, 0, ReadLittleEndian32(hive, kHiveBinsSizeOffset)));
        WriteFileBytes(directory.File("SOFTWARE.LOG1"),
                       NewFormatLog(states, 0, 287, {{1, 287, flag ^ 1}, {2, 288, flag}}).bytes);
        HiveImage image;
        std::vector<SourceWarning> warnings;
        std::string error;
        ASSERT_TRUE(image.Open(directory.File("SOFTWARE"), &warnings, &error)) << error;
        const std::string read = ReadFileBytes(image.readPath());
        EXPECT_EQ(flag, ReadLittleEndian32(read, kHiveFlagsOffset));
        EXPECT_EQ(HiveChecksum(read), ReadLittleEndian32(read, kHiveChecksumOffset));
    }
}

// Logs that are missing, empty, not logs at all or damaged are each named with the reason; the
// hive is read as it is, its damaged header refused by the reader.
TEST_F(HiveSourceTest, LogsThatCannotBeAppliedAreNamedWithTheReason) {
    const std::vector<std::string>& states = HiveStates();
    ScratchDir directory;
    const std::string hive = directory.File("SOFTWARE");
    std::string error;
    ASSERT_TRUE(WriteHiveWithLogs(hive, states,
                                  "hive 0 256 255\nnew SOFTWARE.LOG2 287 1@287\n"
                                  "damage SOFTWARE.LOG2 base 1\n",
                                  &error))
        << error;
    WriteFileBytes(directory.File("SOFTWARE.LOG1"), states[1]);
    WriteFileBytes(directory.File("software.log"), "");
    const std::vector<std::string> values = {"Mat1"};
    OfflineSettingsStore store;
    ASSERT_TRUE(store.Load({hive}, Windows1252(), &error)) << error;
    std::vector<std::string> messages;
    for (const SourceWarning& warning : store.warnings()) {
        messages.push_back(warning.message);
    }
    EXPECT_EQ(
        std::vector<std::string>({kNoneApplies, "warning: SOFTWARE.LOG1: not a transaction log",
                                  "warning: SOFTWARE.LOG2: base block damaged"}),
        messages);
    WriteFileBytes(directory.File("clean"), states[0]);
    EXPECT_EQ(Dump({directory.File("clean")}, values), DumpSettingsStore(store, values));

    WriteFileBytes(directory.File("SOFTWARE.LOG1"), "");
    std::string damaged = ReadFileBytes(hive);
    damaged[kHiveChecksumOffset] ^= 1;
    WriteFileBytes(hive, damaged);
    EXPECT_EQ("error " + hive + ": cannot be read as a registry hive: its header is damaged" +
                  kDamageAdvice,
              Dump({hive}, values));
    EXPECT_FALSE(store.Load({hive}, Windows1252(), &error));
    messages.clear();
    for (const SourceWarning& warning : store.warnings()) {
        messages.push_back(warning.message);
    }
    EXPECT_EQ(std::vector<std::string>({kNoneApplies, "warning: SOFTWARE.LOG1: empty",
                                        "warning: SOFTWARE.LOG2: base block damaged"}),
              messages);

    // A file that bears a log's name but is none gives an entry no room to claim, and a pipe
    // of a log's name is not waited on.
    ScratchDir other;
    const std::string grown = other.File("SOFTWARE");
    const std::string plan = "hive 0 256 255\nnew SOFTWARE.LOG1 287 1@287\n";
    ASSERT_TRUE(WriteHiveWithLogs(grown, states, plan, &error)) << error;
    const size_t room =
        ReadFileBytes(grown).size() + ReadFileBytes(other.File("SOFTWARE.LOG1")).size();
    const uint32_t claimed =
        static_cast<uint32_t>((room / kHiveBaseBlockBytes + 4) * kHiveBaseBlockBytes);
    ASSERT_TRUE(WriteHiveWithLogs(
        grown, states, plan + "claim SOFTWARE.LOG1 entry 1 " + std::to_string(claimed) + "\n",
        &error))
        << error;
    WriteFileBytes(other.File("SOFTWARE.LOG2"), std::string(claimed, '\0'));
    ASSERT_EQ(0, mkfifo(other.File("SOFTWARE.LOG").c_str(), 0600));
    ASSERT_TRUE(store.Load({grown}, Windows1252(), &error)) << error;
    messages.clear();
    for (const SourceWarning& warning : store.warnings()) {
        messages.push_back(warning.message);
    }
    EXPECT_EQ(std::vector<std::string>(
                  {kNoneApplies, "warning: SOFTWARE.LOG1: entry 1 of 1 damaged, none applied",
                   "warning: SOFTWARE.LOG2: not a transaction log"}),
              messages);
}

// A hive's logs named as sources, as a glob such as SOFTWARE* gives them, are read with the
// hive, and the files of its transactional registry left out; a log without its hive on the
// line is refused with the hive to give instead.
TEST_F(HiveSourceTest, LogsNamedAsSourcesAreReadWithTheirHive) {
    const std::vector<std::string>& states = HiveStates();
    ScratchDir directory;
    const std::string hive = directory.File("SOFTWARE");
    std::string error;
    ASSERT_TRUE(WriteHiveWithLogs(hive, states,
                                  "hive 0 256 255\nnew SOFTWARE.LOG1 287 1@287 2@288\n"
                                  "new software.log2 289 3@289\n",
                                  &error))
        << error;
    WriteFileBytes(directory.File("SOFTWARE.LOG"), "");
    // The transactional registry's files beside a hive, which a glob gives too.
    const std::string blf = directory.File("SOFTWARE{016888bd-6c6f-11de-8d1d-001e0bcde3ec}.TM.blf");
    const std::string container = directory.File(
        "software{016888bd-6c6f-11de-8d1d-001e0bcde3ec}.TMContainer00000000000000000001.regtrans-"
        "ms");
    WriteFileBytes(blf, std::string(1024, '\x15'));
    WriteFileBytes(container, "");
    const std::vector<std::string> values = {"Mat1", "CalTable"};
    const std::string recovered = Dump({hive}, values);
    ASSERT_EQ(std::string::npos, recovered.find("error")) << recovered;
    ASSERT_NE(std::string::npos, recovered.find("set Step\\x203")) << recovered;
    EXPECT_EQ(recovered,
              Dump({blf, directory.File("SOFTWARE.LOG"), hive, directory.File("SOFTWARE.LOG1"),
                    directory.File("software.log2"), container},
                   values));
    EXPECT_EQ("error " + blf +
                  ": not a registry export: the first line is not \"REGEDIT4\" or \"Windows "
                  "Registry Editor Version 5.00\"",
              Dump({blf}, values));
    const std::string refused =
        ": is a transaction log of a registry hive, not a settings source: give its hive, ";
    EXPECT_EQ("error " + directory.File("SOFTWARE.LOG1") + refused + hive +
                  ", instead: the logs beside a hive are read with it",
              Dump({directory.File("SOFTWARE.LOG1")}, values));
    const std::string other = Text("other.reg", std::string(kV5));
    EXPECT_EQ("error " + directory.File("software.log2") + refused + directory.File("software") +
                  ", instead: the logs beside a hive are read with it",
              Dump({other, directory.File("software.log2")}, values));
    const std::string renamed = directory.File("backup.bin");
    WriteFileBytes(renamed, ReadFileBytes(directory.File("SOFTWARE.LOG1")));
    EXPECT_EQ("error " + renamed +
                  ": is a transaction log of a registry hive, not a settings source: give its "
                  "hive instead, with the log beside it named as the hive's logs are "
                  "(HIVE.LOG1, HIVE.LOG2 or HIVE.LOG)",
              Dump({hive, renamed}, values));
    EXPECT_EQ("error " + directory.File("SOFTWARE.LOG") + ": not a registry export: it is empty",
              Dump({directory.File("SOFTWARE.LOG")}, values));
}
}  // namespace

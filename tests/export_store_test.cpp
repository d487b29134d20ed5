// Tests of the export-backed settings store: golden dumps of Wine's registry after importing
// each fixture, the choice of root, opening sets by name, and the load errors.
#include "settings/export_store.h"

#include <gtest/gtest.h>

#include <sstream>

#include "settings/codepage.h"
#include "tests/settings_dump.h"
#include "tests/test_support.h"

namespace {

const char kV5[] = "Windows Registry Editor Version 5.00\r\n";
const char kWowRoot1[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Quorix\\Layrscan\\Settings";
const char kPlainRoot1[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\Layrscan\\Settings";
const char kWowRoot2[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Zentyl\\Layrscan\\Settings";

class ExportStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(codepage_.Open("Windows-1252", &error)) << error;
    }

    std::string Fixture(const std::string& name) {
        return std::string(RC_TEST_DATA_DIR) + "/exports/" + name;
    }
    bool LoadText(const std::string& text, std::string* error) {
        path_ = scratch_.File("export.reg");
        WriteFileBytes(path_, text);
        return store_.Load(path_, codepage_, error);
    }
    // The names of every set, in listing order, through a 256-byte buffer.
    std::string Listing() {
        const char* rootPath = nullptr;
        SettingsKey root = nullptr;
        if (!store_.FindSettingsRoot(&rootPath, &root)) {
            return "no root";
        }
        std::string names = std::string(rootPath) + ":";
        char name[kDumpLongNameSize];
        for (uint32_t i = 0;; ++i) {
            const EnumStatus status = store_.EnumerateSetName(root, i, name, sizeof(name));
            if (status != EnumStatus::kName && status != EnumStatus::kNameNotInCodepage) {
                break;
            }
            names += std::string(" ") + name;
        }
        store_.CloseSettingsKey(root);
        return names;
    }

    Codepage codepage_;
    ExportSettingsStore store_;
    ScratchDir scratch_;
    std::string path_;
};

// Each fixture's dump was taken from Wine's registry after regedit /S imported it (see
// tests/data/exports/README.md); the reader must give the same answers byte for byte.
TEST_F(ExportStoreTest, AnswersAsTheRegistryDidAfterImportingEachFixture) {
    for (const char* name :
         {"windows_utf16", "ansi_cp1252", "regedit4", "utf8_bom", "odd_forms", "sort_order"}) {
        SCOPED_TRACE(name);
        std::string error;
        ASSERT_TRUE(store_.Load(Fixture(std::string(name) + ".reg"), codepage_, &error)) << error;
        std::vector<std::string> valueNames;
        std::istringstream lines(ReadTestData(std::string("exports/") + name + ".names"));
        std::string line;
        while (std::getline(lines, line)) {
            std::string valueName;
            ASSERT_TRUE(UnescapeDumpName(line, &valueName)) << line;
            valueNames.push_back(valueName);
        }
        EXPECT_EQ(ReadTestData(std::string("exports/") + name + ".dump"),
                  DumpSettingsStore(store_, valueNames));
    }
}

TEST_F(ExportStoreTest, ReportsEachSkippedLineOfTheOddFormsFixture) {
    std::string error;
    ASSERT_TRUE(store_.Load(Fixture("odd_forms.reg"), codepage_, &error)) << error;
    std::string warnings;
    for (const ExportWarning& warning : store_.warnings()) {
        warnings += std::to_string(warning.line) + ": " + warning.message + "\n";
    }
    EXPECT_EQ(
        "14: value ignored, and this line with it: hex data continued by a line that is not "
        "hex\n"
        "15: value ignored: dword: needs 1 to 8 hex digits\n"
        "16: value ignored: dword: needs 1 to 8 hex digits\n"
        "18: value ignored: hex data must be bytes of one or two hex digits\n"
        "19: value ignored: text without its closing quote, or with more after it\n"
        "20: value ignored: text without its closing quote, or with more after it\n"
        "21: line ignored: not a key, a value or a comment\n"
        "30: key line ignored: a blank after \"[\" or no closing \"]\"\n"
        "32: key ignored: it does not start with a known root such as HKEY_LOCAL_MACHINE\n"
        "37: value ignored: no key before it\n",
        warnings);
}

TEST_F(ExportStoreTest, TakesEachRootFromTheWow64ViewFirstAndNeverMixesPlaces) {
    std::string error;
    ASSERT_TRUE(LoadText(std::string(kV5) + kPlainRoot1 + "\\Plain]\r\n" + kWowRoot1 +
                             "\\Wow]\r\n" + kWowRoot2 + "\\Second]\r\n",
                         &error))
        << error;
    EXPECT_EQ("SOFTWARE\\Quorix\\Layrscan\\Settings: Wow", Listing());
    SettingsKey root = nullptr;
    ASSERT_TRUE(store_.OpenSettingsRoot("software\\zentyl\\layrscan\\settings", &root));
    char name[kDumpShortNameSize];
    EXPECT_EQ(EnumStatus::kName, store_.EnumerateSetName(root, 0, name, sizeof(name)));
    EXPECT_STREQ("Second", name);
    EXPECT_EQ(EnumStatus::kNoMoreItems, store_.EnumerateSetName(root, 1, name, sizeof(name)));

    // The WOW6432Node copy deleted: the plain one is what is left of the first root.
    ASSERT_TRUE(LoadText(std::string(kV5) + kWowRoot1 + "\\Wow]\r\n" + kPlainRoot1 +
                             "\\Plain]\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Quorix]\r\n",
                         &error))
        << error;
    EXPECT_EQ("SOFTWARE\\Quorix\\Layrscan\\Settings: Plain", Listing());
    // A root with no sets still is the root, as an empty key is on Windows.
    ASSERT_TRUE(
        LoadText(std::string(kV5) + kWowRoot1 + "]\r\n" + kWowRoot2 + "\\Second]\r\n", &error))
        << error;
    EXPECT_EQ("SOFTWARE\\Quorix\\Layrscan\\Settings:", Listing());
}

TEST_F(ExportStoreTest, OpensSetsAndValuesByNameAsRegOpenKeyExADoes) {
    std::string error;
    ASSERT_TRUE(LoadText(std::string(kV5) + kWowRoot1 + "\\GaAs]\r\n\"Mat1\"=\"GaAs\"\r\n" +
                             kWowRoot1 + "\\Caf\xc3\xa9]\r\n" + kWowRoot1 +
                             "\\gaas]\r\n\"MAT1\"=\"merged\"\r\n\"Gone\"=\"x\"\r\n" + kWowRoot1 +
                             "\\GAAS]\r\n\"gone\"=-\r\n" + kWowRoot1 + "\\\xc5\x81od]\r\n" +
                             kWowRoot1 + "\\Lod]\r\n\"Mat1\"=\"plain L\"\r\n",
                         &error))
        << error;
    // Written in 8-bit text, "Café" is read in the code page: "CafÃ©". Keys merge
    // case-insensitively and keep their first spelling.
    EXPECT_EQ("SOFTWARE\\Quorix\\Layrscan\\Settings: Caf\xc3\xa9 GaAs Lod \xc5\x81od", Listing());
    SettingsKey root = nullptr;
    ASSERT_TRUE(store_.OpenSettingsRoot(kSettingsRootPaths[0], &root));
    SettingsKey set = nullptr;
    ASSERT_TRUE(store_.OpenSettingsSet(root, "gAaS", &set));
    TextValueData text;
    ASSERT_EQ(1, ReadTextValue(store_, set, "mat1", &text));
    EXPECT_EQ(std::string("merged", 7), std::string(reinterpret_cast<char*>(text.bytes), 7));
    EXPECT_EQ(0, ReadTextValue(store_, set, "Gone", &text));
    EXPECT_FALSE(store_.OpenSettingsSet(root, "Nowhere", &set));
}

// Such a name is listed in its best-fit form and marked as not the set's own; the names that
// fit the code page exactly are not marked.
TEST_F(ExportStoreTest, ASetNamedOutsideTheCodePageIsListedButCannotBeOpened) {
    std::string error;
    ASSERT_TRUE(store_.Load(Fixture("windows_utf16.reg"), codepage_, &error)) << error;
    const char* rootPath = nullptr;
    std::vector<ListedSet> listed;
    bool complete = false;
    ASSERT_TRUE(ListSetNames(store_, &rootPath, &listed, &complete));
    EXPECT_TRUE(complete);
    std::string names;
    for (const ListedSet& set : listed) {
        names += (set.nameInCodepage ? "[" : "[not in code page: ") + set.name + "]";
    }
    EXPECT_EQ(names,
              "[1234567890123456789012345678901][12345678901234567890123456789012][caf\xe9]"
              "[GaAs-AlGaAs HEMT][InP Laser 1550nm][Si Reference Wafer Batch 2019 Q3 Line A]"
              "[not in code page: L\xf3"
              "dz sample][not in code page: Omega]");

    SettingsKey root = nullptr;
    ASSERT_TRUE(store_.OpenSettingsRoot(kSettingsRootPaths[0], &root));
    char name[kDumpShortNameSize];
    EXPECT_EQ(EnumStatus::kNameNotInCodepage, store_.EnumerateSetName(root, 7, name, sizeof name));
    EXPECT_STREQ("Omega", name);
    SettingsKey set = nullptr;
    EXPECT_FALSE(store_.OpenSettingsSet(root, "Lodz sample", &set));
    EXPECT_FALSE(store_.OpenSettingsSet(root,
                                        "L\xf3"
                                        "dz sample",
                                        &set));
    EXPECT_FALSE(store_.OpenSettingsSet(root, "Omega", &set));
    EXPECT_TRUE(store_.OpenSettingsSet(root, "CAF\xc9", &set));
}

TEST_F(ExportStoreTest, LoadErrorsNameTheFile) {
    std::string error;
    const std::string missing = scratch_.File("missing.reg");
    EXPECT_FALSE(store_.Load(missing, codepage_, &error));
    EXPECT_EQ(missing + ": cannot be opened: No such file or directory", error);
    EXPECT_FALSE(LoadText("REGEDIT5\r\n", &error));
    EXPECT_EQ(path_ +
                  ": not a registry export: the first line is not \"REGEDIT4\" or \"Windows "
                  "Registry Editor Version 5.00\"",
              error);
    EXPECT_FALSE(LoadText(std::string("W\0i\0n\0", 6), &error));
    EXPECT_EQ(path_ + ": unreadable encoding (UTF-16 without a little-endian byte-order mark)",
              error);
    EXPECT_FALSE(LoadText(std::string(kV5) +
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\Layrscan]\r\n"
                              "[HKEY_CURRENT_USER\\SOFTWARE\\Quorix\\Layrscan\\Settings\\A]\r\n"
                              "junk\r\n",
                          &error));
    EXPECT_EQ(path_ +
                  ": holds no settings: no key HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\Layrscan\\"
                  "Settings or HKEY_LOCAL_MACHINE\\SOFTWARE\\Zentyl\\Layrscan\\Settings, nor "
                  "their copies under SOFTWARE\\WOW6432Node",
              error);
    ASSERT_EQ(1u, store_.warnings().size());
    EXPECT_EQ(4u, store_.warnings()[0].line);
}

}  // namespace

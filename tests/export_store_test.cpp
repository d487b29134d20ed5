// Tests of the settings store over exports: golden dumps of Wine's registry after importing
// each fixture, the choice of view and root, the merge of the virtual store, opening sets by
// name, and the load errors.
#include "sources/offline_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "tests/settings_dump.h"
#include "tests/test_support.h"
#include "text/codepage.h"

namespace {

namespace fs = std::filesystem;

const char kV5[] = "Windows Registry Editor Version 5.00\r\n";
const char kWowRoot1[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Quorix\\Layrscan\\Settings";
const char kPlainRoot1[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\Layrscan\\Settings";
const char kWowRoot2[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Zentyl\\Layrscan\\Settings";
const char kPlainRoot2[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zentyl\\Layrscan\\Settings";
// The values the merge tests put in their sets.
const char* const kMergeValueNames[] = {"Mat1", "Mat2", "X"};

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
        return store_.Load({path_}, codepage_, error);
    }
    // Loads each text as an export of its own, named Path(index).
    bool LoadTexts(const std::vector<std::string>& texts, std::string* error) {
        std::vector<std::string> paths;
        for (size_t i = 0; i < texts.size(); ++i) {
            paths.push_back(Path(i));
            WriteFileBytes(paths.back(), texts[i]);
        }
        return store_.Load(paths, codepage_, error);
    }
    std::string Path(size_t index) {
        return scratch_.File("source" + std::to_string(index) + ".reg");
    }
    // Each set of the root as NAME[VALUE=TEXT ...] from machine|store|machine+store.
    std::string Merged() {
        const char* rootPath = nullptr;
        std::vector<ListedSet> sets;
        bool complete = false;
        if (!ListSetNames(store_, &rootPath, &sets, &complete)) {
            return "no root";
        }
        SettingsKey root = nullptr;
        store_.OpenSettingsRoot(rootPath, &root);
        std::string merged;
        for (const ListedSet& listed : sets) {
            merged += (merged.empty() ? "" : " ") + listed.name + "[";
            SettingsKey set = nullptr;
            EXPECT_TRUE(store_.OpenSettingsSet(root, listed.name.c_str(), &set));
            std::string values;
            for (const char* name : kMergeValueNames) {
                TextValueData text;
                if (ReadTextValue(store_, set, name, &text) == 1) {
                    values += (values.empty() ? "" : " ") + std::string(name) + "=" +
                              reinterpret_cast<const char*>(text.bytes);
                }
            }
            const SetOrigin origin = store_.OriginOfSet(listed);
            merged += values + "] from " + (origin.machine ? "machine" : "") +
                      (origin.machine && origin.virtualStore ? "+" : "") +
                      (origin.virtualStore ? "store" : "");
        }
        return merged;
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
    OfflineSettingsStore store_;
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
        ASSERT_TRUE(store_.Load({Fixture(std::string(name) + ".reg")}, codepage_, &error)) << error;
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
    ASSERT_TRUE(store_.Load({Fixture("odd_forms.reg")}, codepage_, &error)) << error;
    std::string warnings;
    for (const SourceWarning& warning : store_.warnings()) {
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

// The program is 32-bit: on 64-bit Windows it sees only the WOW6432Node roots, on 32-bit Windows
// only the plain ones. The sources tell which: any SOFTWARE\WOW6432Node key means 64-bit.
TEST_F(ExportStoreTest, DecidesTheViewOnceFromEverySource) {
    struct Case {
        const char* about;
        std::vector<std::string> exports;
        const char* listing;
    };
    const std::string store =
        "[HKEY_CURRENT_USER\\Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE";
    const Case cases[] = {
        {"a WOW6432Node root hides a plain one before it",
         {std::string(kV5) + kPlainRoot1 + "\\Plain]\r\n" + kWowRoot2 + "\\Second]\r\n"},
         "SOFTWARE\\Zentyl\\Layrscan\\Settings: Second"},
        {"plain roots only: the first one",
         {std::string(kV5) + kPlainRoot2 + "\\Second]\r\n" + kPlainRoot1 + "\\Plain]\r\n"},
         "SOFTWARE\\Quorix\\Layrscan\\Settings: Plain"},
        {"the Wow6432Node that every 64-bit user hive has under Classes does not count",
         {std::string(kV5) + kPlainRoot2 + "\\Second]\r\n" +
          "[HKEY_CURRENT_USER\\Software\\Classes\\Wow6432Node\\CLSID]\r\n" +
          "[HKEY_USERS\\S-1-5-21-7_Classes\\Wow6432Node\\CLSID]\r\n"},
         "SOFTWARE\\Zentyl\\Layrscan\\Settings: Second"},
        {"a virtual store's MACHINE\\SOFTWARE\\WOW6432Node decides for the machine's export too",
         {std::string(kV5) + kPlainRoot1 + "\\Plain]\r\n",
          std::string(kV5) + store + "\\WOW6432Node\\Zentyl\\Layrscan\\Settings\\Stored]\r\n"},
         "SOFTWARE\\Zentyl\\Layrscan\\Settings: Stored"},
        {"a root with no sets still is the root, as an empty key is on Windows",
         {std::string(kV5) + kWowRoot1 + "]\r\n" + kWowRoot2 + "\\Second]\r\n"},
         "SOFTWARE\\Quorix\\Layrscan\\Settings:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.about);
        std::string error;
        ASSERT_TRUE(LoadTexts(c.exports, &error)) << error;
        EXPECT_EQ(c.listing, Listing());
    }

    // Only the plain Quorix root is left once its WOW6432Node copy is deleted, and the
    // 32-bit program on 64-bit Windows does not see it.
    std::string error;
    EXPECT_FALSE(
        LoadText(std::string(kV5) + kWowRoot1 + "\\Wow]\r\n" + kPlainRoot1 +
                     "\\Plain]\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Quorix]\r\n",
                 &error));
    EXPECT_EQ(path_ +
                  ": holds no settings that the 32-bit instrument software sees: the registry "
                  "comes from 64-bit Windows (it holds SOFTWARE\\WOW6432Node), where that "
                  "software reads SOFTWARE\\WOW6432Node\\Quorix or SOFTWARE\\WOW6432Node\\Zentyl, "
                  "but the settings lie only under SOFTWARE\\Quorix or SOFTWARE\\Zentyl, which "
                  "64-bit programs use",
              error);
}

// Windows' registry virtualisation: a root exists when the machine or the user's virtual store
// holds it; the sets of both are listed; in a set both hold, the virtual store's values win.
TEST_F(ExportStoreTest, MergesTheVirtualStoreOverTheMachineAsVirtualisationDoes) {
    const std::string hkcu = "[HKEY_CURRENT_USER\\Software\\Classes\\VirtualStore\\MACHINE";
    const std::string classes = "[HKEY_USERS\\S-1-5-21-1001_Classes\\VirtualStore\\MACHINE";
    const std::string userKey =
        "[HKEY_USERS\\S-1-5-21-1001\\Software\\Classes\\VirtualStore\\MACHINE";
    const std::string inStore = "\\SOFTWARE\\WOW6432Node\\Quorix\\Layrscan\\Settings";
    struct Case {
        const char* about;
        std::vector<std::string> exports;
        const char* merged;
    };
    const Case cases[] = {
        {"machine only",
         {std::string(kV5) + kWowRoot1 + "\\A]\r\n\"Mat1\"=\"m\"\r\n"},
         "A[Mat1=m] from machine"},
        {"virtual store only",
         {std::string(kV5) + hkcu + inStore + "\\A]\r\n\"Mat1\"=\"s\"\r\n"},
         "A[Mat1=s] from store"},
        {"both, sets and values overlapping, the store in a second export",
         {std::string(kV5) + kWowRoot1 + "\\A]\r\n\"Mat1\"=\"m\"\r\n\"Mat2\"=\"m\"\r\n" +
              kWowRoot1 + "\\B]\r\n\"Mat1\"=\"m\"\r\n",
          std::string(kV5) + classes + inStore + "\\a]\r\n\"MAT1\"=\"s\"\r\n\"X\"=\"s\"\r\n" +
              classes + inStore + "\\C]\r\n\"X\"=\"s\"\r\n"},
         "A[Mat1=s Mat2=m X=s] from machine+store B[Mat1=m] from machine C[X=s] from store"},
        {"both in one export; HKEY_CURRENT_USER and one SID are one user",
         {std::string(kV5) + userKey + inStore + "\\A]\r\n\"X\"=\"s\"\r\n" + kWowRoot1 +
          "\\A]\r\n\"Mat1\"=\"m\"\r\n\"X\"=\"m\"\r\n" + hkcu + inStore +
          "\\D]\r\n\"Mat2\"=\"s\"\r\n"},
         "A[Mat1=m X=s] from machine+store D[Mat2=s] from store"},
        {"the first root that exists in either place, though the machine holds only the second",
         {std::string(kV5) + kWowRoot2 + "\\Z]\r\n\"Mat1\"=\"m\"\r\n" + hkcu + inStore +
          "\\Q]\r\n\"Mat1\"=\"s\"\r\n"},
         "Q[Mat1=s] from store"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.about);
        std::string error;
        ASSERT_TRUE(LoadTexts(c.exports, &error)) << error;
        EXPECT_EQ(c.merged, Merged());
    }
}

TEST_F(ExportStoreTest, OneMachineAndOneUserPerRun) {
    const std::string set = "\\WOW6432Node\\Quorix\\Layrscan\\Settings\\A]\r\n";
    const std::string hkcu =
        std::string(kV5) +
        "[HKEY_CURRENT_USER\\Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE" + set;
    const std::string user2 =
        std::string(kV5) + "[HKEY_USERS\\S-1-5-21-1002_Classes\\VirtualStore\\MACHINE\\SOFTWARE" +
        set;
    const std::string machine = std::string(kV5) + kWowRoot1 + "\\A]\r\n";
    const std::string none = std::string(kV5) + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n";
    std::string error;
    EXPECT_FALSE(LoadTexts({machine, none, machine}, &error));
    EXPECT_EQ(Path(0) + " and " + Path(2) +
                  " both hold a machine's settings: convert one PC at a time, one of them per run",
              error);
    EXPECT_FALSE(LoadTexts({hkcu, user2}, &error));
    EXPECT_EQ(Path(0) + " and " + Path(1) +
                  " both hold a user's virtual store: convert one user at a time, running "
                  "this program once per user with the machine's settings and that user's store",
              error);
    const std::string both =
        user2 + "[HKEY_USERS\\S-1-5-21-1001\\Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE" +
        set;
    EXPECT_FALSE(LoadTexts({both}, &error));
    EXPECT_EQ(Path(0) +
                  ": holds the virtual stores of several users (S-1-5-21-1001, S-1-5-21-1002): "
                  "convert one user at a time, running this program once per user with an "
                  "export of that user's store alone",
              error);
    // A source holding no settings is read beside one that does (and named: see below).
    ASSERT_TRUE(LoadTexts({none, hkcu}, &error)) << error;
    EXPECT_EQ("", store_.machineSource());
    EXPECT_EQ(Path(1), store_.virtualStoreSource());
    EXPECT_EQ("A[] from store", Merged());
}

// A source the run reads nothing from is named with the reason, as a part of a source left
// out; a file given twice is read once. The sources read give what they hold.
TEST_F(ExportStoreTest, NamesEachSourceTheRunReadsNothingFrom) {
    const std::string store =
        std::string(kV5) + "[HKEY_CURRENT_USER\\Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE";
    const std::string machine = std::string(kV5) + kWowRoot1 + "\\A]\r\n";
    struct Case {
        const char* about;
        std::vector<std::string> exports;
        const char* merged;
        std::string warnings;  // "SOURCE-INDEX: MESSAGE" lines
    };
    const Case cases[] = {
        {"machine and store both read",
         {machine, store + "\\WOW6432Node\\Quorix\\Layrscan\\Settings\\B]\r\n"},
         "A[] from machine B[] from store",
         ""},
        {"the store under the root path after the one in use",
         {machine, store + "\\WOW6432Node\\Zentyl\\Layrscan\\Settings\\B]\r\n"},
         "A[] from machine",
         "1: its virtual store settings are not used: they lie only under "
         "SOFTWARE\\WOW6432Node\\Zentyl\\Layrscan\\Settings, and the instrument software reads "
         "only the first of its settings keys that exists: "
         "SOFTWARE\\WOW6432Node\\Quorix\\Layrscan\\Settings, which 0 holds\n"},
        {"one export of 64-bit Windows whose store lies in the plain view only",
         {machine + store.substr(sizeof kV5 - 1) + "\\Quorix\\Layrscan\\Settings\\B]\r\n"},
         "A[] from machine",
         "0: its virtual store settings are not used: they lie only under "
         "SOFTWARE\\Quorix\\Layrscan\\Settings, which the 32-bit instrument software reads on "
         "32-bit Windows, but it holds SOFTWARE\\WOW6432Node: the settings come from 64-bit "
         "Windows, where that software reads SOFTWARE\\WOW6432Node\\Quorix\\Layrscan\\Settings\n"},
        {"a source holding nothing",
         {std::string(kV5) + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n", machine},
         "A[] from machine",
         "0: not used: it holds no settings: no key SOFTWARE\\Quorix\\Layrscan\\Settings or "
         "SOFTWARE\\Zentyl\\Layrscan\\Settings (nor under SOFTWARE\\WOW6432Node) of the machine "
         "(HKEY_LOCAL_MACHINE, a SOFTWARE hive) or of a user's virtual store "
         "(Software\\Classes\\VirtualStore\\MACHINE, a UsrClass.dat hive)\n"},
    };
    const auto named = [this](std::string text) {
        for (size_t i = 0; i < 2; ++i) {
            for (size_t at; (at = text.find(Path(i))) != std::string::npos;) {
                text.replace(at, Path(i).size(), std::to_string(i));
            }
        }
        return text;
    };
    const auto warnings = [&]() {
        std::string lines;
        for (const SourceWarning& warning : store_.warnings()) {
            EXPECT_TRUE(warning.skipped);
            lines += named(warning.path + ": " + warning.message) + "\n";
        }
        return lines;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.about);
        std::string error;
        ASSERT_TRUE(LoadTexts(c.exports, &error)) << error;
        EXPECT_EQ(c.merged, Merged());
        EXPECT_EQ(c.warnings, warnings());
    }

    std::string error;
    ASSERT_TRUE(LoadTexts({machine}, &error)) << error;
    const std::string again = scratch_.path() + "/./" + fs::path(Path(0)).filename().string();
    ASSERT_TRUE(store_.Load({Path(0), again}, codepage_, &error)) << error;
    EXPECT_EQ("A[] from machine", Merged());
    EXPECT_EQ(named(again) + ": the same file as 0, given before it: read once\n", warnings());
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

// A set's values are kept packed, their offsets one to eight bytes wide as the set's data needs;
// a set deleted and written again starts afresh, spelled as written the second time.
TEST_F(ExportStoreTest, ValuesOfEverySizeReadBackWholeAndADeletedSetComesBackEmpty) {
    const auto hex = [](size_t size) {
        std::string text = "hex:";
        for (size_t i = 0; i < size; ++i) {
            char byte[4];
            snprintf(byte, sizeof byte, i == 0 ? "%02x" : ",%02x", static_cast<unsigned>(i % 251));
            text += byte;
        }
        return text;
    };
    const size_t sizes[] = {1, 300, 70000};
    std::string text = std::string(kV5) + kWowRoot1 + "\\Sizes]\r\n";
    for (size_t size : sizes) {
        text += "\"V" + std::to_string(size) + "\"=" + hex(size) + "\r\n";
    }
    text += std::string(kWowRoot1) + "\\Small]\r\n\"V\"=" + hex(200) + "\r\n" + kWowRoot1 +
            "\\Mid]\r\n\"V\"=" + hex(300) + "\r\n" + kWowRoot1 + "\\Other]\r\n\"X\"=\"x\"\r\n[-" +
            (kWowRoot1 + 1) + "\\other]\r\n" + kWowRoot1 + "\\OTHER]\r\n\"Y\"=\"y\"\r\n";
    std::string error;
    ASSERT_TRUE(LoadText(text, &error)) << error;
    EXPECT_EQ("SOFTWARE\\Quorix\\Layrscan\\Settings: Mid OTHER Sizes Small", Listing());
    SettingsKey root = nullptr;
    ASSERT_TRUE(store_.OpenSettingsRoot(kSettingsRootPaths[0], &root));
    std::vector<unsigned char> buffer(kDumpWholeValueSize);
    const auto query = [&](const char* setName, const std::string& valueName) {
        SettingsKey set = nullptr;
        uint32_t length = 0;
        if (!store_.OpenSettingsSet(root, setName, &set) ||
            store_.QueryValue(set, valueName.c_str(), buffer.data(), kDumpWholeValueSize,
                              &length) != QueryStatus::kFound) {
            return std::string("missing");
        }
        return std::string(reinterpret_cast<char*>(buffer.data()), length);
    };
    const auto bytes = [](size_t size) {
        std::string data;
        for (size_t i = 0; i < size; ++i) {
            data.push_back(static_cast<char>(i % 251));
        }
        return data;
    };
    for (size_t size : sizes) {
        EXPECT_EQ(bytes(size), query("Sizes", "V" + std::to_string(size))) << size;
    }
    EXPECT_EQ(bytes(200), query("Small", "V"));
    EXPECT_EQ(bytes(300), query("Mid", "V"));
    EXPECT_EQ("missing", query("Other", "X"));
    EXPECT_EQ(std::string("y", 2), query("other", "Y"));
}

// A deletion reaches the settings from within a root, as regedit deletes it; a root key itself
// cannot be deleted, so its deletion is reported and the sets read before it stay.
TEST_F(ExportStoreTest, OnlyDeletionsWithinARootReachTheSettings) {
    const std::string before = std::string(kV5) + kPlainRoot1 + "\\Before]\r\n";
    const std::string after = std::string(kPlainRoot1) + "\\After]\r\n";
    struct Case {
        const char* deletion;
        const char* listing;
        size_t warnings;
    };
    const Case cases[] = {
        {"[-HKEY_LOCAL_MACHINE]", "SOFTWARE\\Quorix\\Layrscan\\Settings: After Before", 1},
        {"[-HKEY_LOCAL_MACHINE\\]", "SOFTWARE\\Quorix\\Layrscan\\Settings: After Before", 1},
        {"[-HKEY_LOCAL_MACHINE\\SOFTWARE]", "SOFTWARE\\Quorix\\Layrscan\\Settings: After", 0},
        {"[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix]", "SOFTWARE\\Quorix\\Layrscan\\Settings: After",
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.deletion);
        std::string error;
        ASSERT_TRUE(LoadText(before + c.deletion + "\r\n" + after, &error)) << error;
        EXPECT_EQ(c.listing, Listing());
        EXPECT_EQ(c.warnings, store_.warnings().size());
    }
}

// Such a name is listed in its best-fit form and marked as not the set's own; the names that
// fit the code page exactly are not marked.
TEST_F(ExportStoreTest, ASetNamedOutsideTheCodePageIsListedButCannotBeOpened) {
    std::string error;
    ASSERT_TRUE(store_.Load({Fixture("windows_utf16.reg")}, codepage_, &error)) << error;
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
    EXPECT_FALSE(store_.Load({missing}, codepage_, &error));
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
                  ": holds no settings: no key SOFTWARE\\Quorix\\Layrscan\\Settings or "
                  "SOFTWARE\\Zentyl\\Layrscan\\Settings (nor under SOFTWARE\\WOW6432Node) of "
                  "the machine (HKEY_LOCAL_MACHINE, a SOFTWARE hive) or of a user's virtual "
                  "store (Software\\Classes\\VirtualStore\\MACHINE, a UsrClass.dat hive)",
              error);
    ASSERT_EQ(1u, store_.warnings().size());
    EXPECT_EQ(4u, store_.warnings()[0].line);
}

}  // namespace

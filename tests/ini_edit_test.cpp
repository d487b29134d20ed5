// Tests of the in-memory INI edits against the golden files in tests/data/ini.
#include "recipes/ini_edit.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "recipes/recipe_read_back.h"
#include "tests/test_support.h"
#include "text/codepage.h"

namespace {

struct Write {
    const char* section;
    const char* key;
    const char* text;
};

constexpr char kMaterial[] = "GaAs +.300 AlAs";

RecipeEntryList Entries(std::initializer_list<Write> writes) {
    RecipeEntryList entries;
    for (const Write& write : writes) {
        entries.WriteEntry(write.section, write.key, write.text);
    }
    return entries;
}

// A golden case: tests/data/ini/NAME.before.rcp (none for a new file), the writes applied to
// it, and NAME.after.rcp, the bytes expected (none when nothing may change).
struct GoldenCase {
    const char* name;
    bool hasBefore;
    bool changes;
    std::initializer_list<Write> writes;
};

const GoldenCase kGoldenCases[] = {
    // Sections in order of first write, entries in order written, a rewritten key in place.
    {"new-file",
     false,
     true,
     {{"GENERAL", "Material", "InP"},
      {"IV", "AutoSave", "1"},
      {"CV", "AutoSave", "0"},
      {"GENERAL", "Model", "3"},
      {"ETCH", "V-Etch", "0.6"},
      {"GENERAL", "Material", kMaterial}}},
    // Bytes up to the first '=' stay, blanks and all; a value holding '=' is replaced whole;
    // an empty text empties the value; the same value leaves its line alone.
    {"replace-in-place",
     true,
     true,
     {{"GENERAL", "Material", kMaterial},
      {"GENERAL", "I-Meas Limit", "0.9"},
      {"GENERAL", "Model", ""},
      {"ETCH", "V-Etch", "0.6"},
      {"ETCH", "I-Etch", "0.01"}}},
    // Values that already read the same once their blanks are ignored.
    {"same-value",
     true,
     false,
     {{"GENERAL", "Material", kMaterial}, {"GENERAL", "Model", "3"}, {"ETCH", "V-Etch", "0.6"}}},
    // A new key follows the last non-blank line of its section (a comment counts, blank lines
    // stay after it); in a section of blank lines only, it follows the header.
    {"new-key",
     true,
     true,
     {{"GENERAL", "Model", "3"}, {"ETCH", "I-Etch", "0.01"}, {"IV", "AutoSave", "1"}}},
    // New sections go after everything, trailing blank lines included.
    {"new-section",
     true,
     true,
     {{"ETCH", "V-Etch", "0.6"}, {"ETCH", "I-Etch", "0.01"}, {"IV", "AutoSave", "1"}}},
    // A last line without a line break gets one before anything is added after it.
    {"no-final-break", true, true, {{"GENERAL", "Material", kMaterial}, {"IV", "AutoSave", "1"}}},
    {"no-final-break-new-section",
     true,
     true,
     {{"GENERAL", "Model", "3"}, {"ETCH", "V-Etch", "0.6"}}},
    // Names match in any ASCII case with TAB, LF, VT, FF, CR, Ctrl-Z and space around them;
    // text after a section's ']' is ignored.
    {"name-matching",
     true,
     true,
     {{"GENERAL", "Material", kMaterial}, {"GENERAL", "Model", "3"}, {"ETCH", "V-Etch", "0.6"}}},
    // The first matching section, and in it the first matching key; later ones stay.
    {"first-match", true, true, {{"ETCH", "V-Etch", "0.6"}, {"ETCH", "I-Etch", "0.01"}}},
    // Keys before the first section belong to none and are never matched.
    {"before-first-section",
     true,
     true,
     {{"GENERAL", "Material", kMaterial}, {"GENERAL", "Model", "3"}}},
    // A section's name runs to the line's last ']'; a '[' line without one is a plain line.
    {"section-names", true, true, {{"GENERAL", "Model", "3"}, {"ETCH", "V-Etch", "0.6"}}},
    // A line without '=' is a key without a value: its bytes stay and "=text" follows them.
    {"key-without-value",
     true,
     true,
     {{"GENERAL", "Material", kMaterial}, {"GENERAL", "Model", "3"}}},
    // Existing LF or CR line ends stay; the lines added end in CR LF.
    {"lf-line-ends",
     true,
     true,
     {{"GENERAL", "Material", kMaterial},
      {"GENERAL", "Model", "3"},
      {"ETCH", "V-Etch", "0.6"},
      {"IV", "AutoSave", "1"}}},
    {"cr-line-ends",
     true,
     true,
     {{"GENERAL", "Material", kMaterial},
      {"GENERAL", "Model", "3"},
      {"ETCH", "V-Etch", "0.6"},
      {"IV", "AutoSave", "1"}}},
    // Past a UTF-8 mark the first line is a section; Windows-1252 text is added as UTF-8.
    {"utf8-mark",
     true,
     true,
     {{"GENERAL", "Material",
       "Ga\xB5"
       "As \x80 \x81"},
      {"ETCH", "V-Etch", "0.6"}}},
};

class IniEditGolden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(IniEditGolden, GivesTheExpectedBytes) {
    const GoldenCase& golden = GetParam();
    const std::string prefix = std::string("ini/") + golden.name;
    const std::string before = golden.hasBefore ? ReadTestData(prefix + ".before.rcp") : "";
    ASSERT_TRUE(!golden.hasBefore || !before.empty()) << "missing " << prefix << ".before.rcp";
    const std::string expected = golden.changes ? ReadTestData(prefix + ".after.rcp") : before;
    ASSERT_FALSE(expected.empty()) << "missing " << prefix << ".after.rcp";

    std::string text = before;
    IniEditStatus status = ApplyIniEntries(&text, Entries(golden.writes), Windows1252());

    EXPECT_EQ(status, golden.changes ? IniEditStatus::kChanged : IniEditStatus::kUnchanged);
    EXPECT_EQ(text, expected);
    if (!golden.hasBefore) {
        EXPECT_EQ(NewIniText(Entries(golden.writes)), expected) << "built in one pass";
    }
    // The check after a write on Windows takes a file edited in place as whole.
    std::string difference;
    EXPECT_TRUE(KeepsOtherLines(before, expected, Entries(golden.writes), &difference))
        << difference;
}

INSTANTIATE_TEST_SUITE_P(Cases, IniEditGolden, ::testing::ValuesIn(kGoldenCases),
                         [](const ::testing::TestParamInfo<GoldenCase>& info) {
                             std::string name = info.param.name;
                             for (char& c : name) {
                                 c = c == '-' ? '_' : c;
                             }
                             return name;
                         });

TEST(IniEdit, NoEntriesChangeNothing) {
    std::string empty;
    EXPECT_EQ(ApplyIniEntries(&empty, RecipeEntryList(), Windows1252()), IniEditStatus::kUnchanged);
    EXPECT_EQ(empty, "");

    std::string text = "[GENERAL]\nModel=1";
    EXPECT_EQ(ApplyIniEntries(&text, RecipeEntryList(), Windows1252()), IniEditStatus::kUnchanged);
    EXPECT_EQ(text, "[GENERAL]\nModel=1");
}

TEST(IniEdit, RefusesUtf16InEitherByteOrder) {
    const RecipeEntryList entries = Entries({{"GENERAL", "Model", "3"}});
    for (std::string mark : {"\xFF\xFE", "\xFE\xFF"}) {
        std::string text = mark + std::string("[\0G\0]\0\r\0\n\0", 10);
        const std::string before = text;
        EXPECT_EQ(ApplyIniEntries(&text, entries, Windows1252()), IniEditStatus::kNotEditable);
        EXPECT_EQ(text, before);
    }
}

TEST(IniEdit, Utf8MarkAloneIsAnEmptyFile) {
    std::string text = "\xEF\xBB\xBF";
    EXPECT_EQ(ApplyIniEntries(&text, Entries({{"IV", "AutoSave", "1"}}), Windows1252()),
              IniEditStatus::kChanged);
    EXPECT_EQ(text, "\xEF\xBB\xBF[IV]\r\nAutoSave=1\r\n");
}

TEST(IniEdit, WithoutMarkTextStaysInTheCodePage) {
    std::string text = "[GENERAL]\r\nMaterial=InP\r\n";
    EXPECT_EQ(ApplyIniEntries(&text,
                              Entries({{"GENERAL", "Material",
                                        "Ga\xB5"
                                        "As"}}),
                              Windows1252()),
              IniEditStatus::kChanged);
    EXPECT_EQ(text,
              "[GENERAL]\r\nMaterial=Ga\xB5"
              "As\r\n");
}

// A UTF-8 recipe gets the entries converted from the instrument PC's code page, whichever it is.
TEST(IniEdit, Utf8FileTakesTextFromTheGivenCodePage) {
    Codepage cyrillic;
    std::string error;
    ASSERT_TRUE(cyrillic.Open("Windows-1251", &error)) << error;
    const RecipeEntryList entries = Entries({{"GENERAL", "Electrolyte", "\xC6\xE5\xEB"}});
    std::string text = "\xEF\xBB\xBF[GENERAL]\r\n";
    EXPECT_EQ(ApplyIniEntries(&text, entries, cyrillic), IniEditStatus::kChanged);
    EXPECT_EQ(text, "\xEF\xBB\xBF[GENERAL]\r\nElectrolyte=\xD0\x96\xD0\xB5\xD0\xBB\r\n");

    // 0x98 is undefined in Windows-1251 and, as Windows reads it, U+0098; 0xAA is undefined in
    // Windows-1253 with no such stand-in, so that file stays as it was.
    EXPECT_EQ(ApplyIniEntries(&text, Entries({{"GENERAL", "Model", "\x98"}}), cyrillic),
              IniEditStatus::kChanged);
    EXPECT_EQ(
        text,
        "\xEF\xBB\xBF[GENERAL]\r\nElectrolyte=\xD0\x96\xD0\xB5\xD0\xBB\r\nModel=\xC2\x98\r\n");
    Codepage greek;
    ASSERT_TRUE(greek.Open("Windows-1253", &error)) << error;
    const std::string before = text;
    EXPECT_EQ(ApplyIniEntries(&text, Entries({{"GENERAL", "Model", "\xAA"}}), greek),
              IniEditStatus::kUnconvertible);
    EXPECT_EQ(text, before);
}

// A comment line is a key whose name starts with ';' or '#', so it never matches our keys.
TEST(IniEdit, CommentedKeysAreNotTheirKeys) {
    std::string text = "[ETCH]\r\n;V-Etch=0.1\r\n#V-Etch=0.2\r\n";
    EXPECT_EQ(ApplyIniEntries(&text, Entries({{"ETCH", "V-Etch", "0.6"}}), Windows1252()),
              IniEditStatus::kChanged);
    EXPECT_EQ(text, "[ETCH]\r\n;V-Etch=0.1\r\n#V-Etch=0.2\r\nV-Etch=0.6\r\n");
}

// Converting the same set twice gives the file of converting it once, whatever was there.
TEST(IniEdit, SecondApplicationChangesNothing) {
    const RecipeEntryList entries = Entries({{"GENERAL", "Material", kMaterial},
                                             {"IV", "AutoSave", "1"},
                                             {"ETCH", "V-Etch", "0.6"},
                                             {"GENERAL", "Model", "3"}});
    for (const char* name : {"new-key", "lf-line-ends", "cr-line-ends", "name-matching"}) {
        std::string text = ReadTestData(std::string("ini/") + name + ".before.rcp");
        ApplyIniEntries(&text, entries, Windows1252());
        const std::string once = text;
        EXPECT_EQ(ApplyIniEntries(&text, entries, Windows1252()), IniEditStatus::kUnchanged)
            << name;
        EXPECT_EQ(text, once) << name;
    }
}

// A new file's text built in one pass is what the editor makes of an empty file, also where
// names differ in case or blanks and keys are written again.
TEST(IniEdit, NewFileTextIsTheEditorsText) {
    const std::initializer_list<Write> cases[] = {
        {},
        {{"GENERAL", "Model", "1"}},
        {{"GENERAL", "Model", "1"}, {"general", "MODEL", "2"}, {"IV", "AutoSave", "1"}},
        {{"GENERAL", "Model", " 1 "}, {"GENERAL", "Model", "1"}, {"GENERAL", "Model", "1"}},
        {{"GENERAL", "Model", "1"}, {" GENERAL\t", "Model ", " 1"}, {"CV", "Show", ""}},
        {{"DP", "V-Range", "-1 1"}, {"CV", "V-Range", "-3 0"}, {"dp", "v-range", "-2 2"}},
    };
    for (const auto& writes : cases) {
        const RecipeEntryList entries = Entries(writes);
        std::string edited;
        ApplyIniEntries(&edited, entries, Windows1252());
        EXPECT_EQ(NewIniText(entries), edited);
    }
}

}  // namespace

// A preview says how many entries change: a key given the value it has does not count, an
// added key or section does, in ANSI and UTF-8 files alike.
TEST(IniEdit, CountsTheEntriesThatChangeTheText) {
    const RecipeEntryList entries = Entries({{"GENERAL", "Material", kMaterial},
                                             {"GENERAL", "Model", "3"},
                                             {"ETCH", "V-Etch", "0.6"},
                                             {"IV", "AutoSave", "1"}});
    for (const char* mark : {"", "\xEF\xBB\xBF"}) {
        std::string text = std::string(mark) + "[general]\r\nMaterial = " + kMaterial +
                           "\r\nModel=2\r\n[ETCH]\r\nV-Etch=0.6 \r\n";
        size_t changed = 99;
        EXPECT_EQ(ApplyIniEntries(&text, entries, Windows1252(), &changed),
                  IniEditStatus::kChanged);
        EXPECT_EQ(changed, 2u) << "Model replaced, [IV] added";
        EXPECT_EQ(ApplyIniEntries(&text, entries, Windows1252(), &changed),
                  IniEditStatus::kUnchanged);
        EXPECT_EQ(changed, 0u);
    }
    std::string empty;
    size_t changed = 0;
    ApplyIniEntries(&empty, entries, Windows1252(), &changed);
    EXPECT_EQ(changed, 4u);
    // A key without '=' gets its value even when that value is empty.
    std::string bare = "[GENERAL]\r\nModel\r\n";
    ApplyIniEntries(&bare, Entries({{"GENERAL", "Model", ""}}), Windows1252(), &changed);
    EXPECT_EQ(changed, 1u);
}

// An entry is found where a write would find it: the first matching section, names in any case
// with blanks around them, never before the first section.
TEST(IniEdit, FindsAnEntryWhereAWriteWouldFindIt) {
    const std::string text = ReadTestData("ini/first-match.before.rcp");
    EXPECT_TRUE(IniHasEntry(text, "ETCH", "V-Etch"));
    EXPECT_FALSE(IniHasEntry(text, "ETCH", "Model"));
    EXPECT_FALSE(IniHasEntry(text, "GENERAL", "V-Etch"));
    EXPECT_TRUE(IniHasEntry(" [ general ]\nMODEL =1", "GENERAL", "Model"));
    EXPECT_TRUE(IniHasEntry("\xEF\xBB\xBF[GENERAL]\r\nModel\r\n", "GENERAL", "Model"));
    EXPECT_FALSE(IniHasEntry("Model=1\r\n[GENERAL]\r\n", "GENERAL", "Model"));
    EXPECT_FALSE(IniHasEntry("[GENERAL]\r\n[ETCH]\r\nModel=1\r\n", "GENERAL", "Model"));
    EXPECT_FALSE(IniHasEntry("\xFF\xFE[GENERAL]\r\nModel=1\r\n", "GENERAL", "Model"));
}

// What GetPrivateProfileStringA gives for the values written, as Wine 8 reads them back: blanks
// around the value gone (Ctrl-Z among them, a no-break space not), and one pair of enclosing
// quotes of either kind.
TEST(RecipeCheck, ReadBackIsTheValueAsTheServiceReadsIt) {
    const std::pair<const char*, const char*> readBacks[] = {
        {"plain", "plain"},
        {"  lead", "lead"},
        {"trail  ", "trail"},
        {"\"q\"", "q"},
        {"'single'", "single"},
        {"\"", "\""},
        {"\"\"", ""},
        {"\"a\"b\"", "a\"b"},
        {"\tx\t", "x"},
        {"a\x0b", "a"},
        {"\x1az", "z"},
        {"x\xa0", "x\xa0"},
        {"", ""},
        {"GaAs +.300 AlAs", "GaAs +.300 AlAs"},
    };
    for (const auto& [written, read] : readBacks) {
        EXPECT_TRUE(ReadBackMatches(written, read)) << written;
    }
    EXPECT_FALSE(ReadBackMatches("GaAs", ""));
    EXPECT_FALSE(ReadBackMatches("GaAs", "GaA"));
    EXPECT_FALSE(ReadBackMatches("\"q'", "q"));
    EXPECT_FALSE(ReadBackMatches("0.5", "\n?"));
}

// Wine re-writes the whole file in its own form on every change; its file keeps every line
// the write did not concern, read as the service reads lines.
TEST(RecipeCheck, WinesRewrittenFileKeepsTheOtherLines) {
    const std::string before =
        "\xEF\xBB\xBFpre = 1\r\n\r\n  [ GENERAL ] tail \r\n Material = old \r\n;comment\r\n"
        "noequals\r\n\t key2\t=\t v2 \t\r\n[A]x]\r\nk=\r\n[GENERAL]\r\nMaterial=second\r\n"
        "[x\r\ny=1\n\rz=2";
    // As Wine 8's WritePrivateProfileStringA left it after [GENERAL] Material=new, and after
    // [NEWSEC] k=v.
    const std::string rewritten =
        "\xEF\xBB\xBFpre=1\r\n[GENERAL]\r\nMaterial=new\r\n;comment\r\nnoequals\r\n"
        "key2=v2\r\n[A]x]\r\nk=\r\n[GENERAL]\r\nMaterial=second\r\n[x\r\ny=1\r\nz=2\r\n";
    const std::string added =
        "\xEF\xBB\xBFpre=1\r\n[GENERAL]\r\nMaterial=old\r\n;comment\r\nnoequals\r\n"
        "key2=v2\r\n[A]x]\r\nk=\r\n[GENERAL]\r\nMaterial=second\r\n[x\r\ny=1\r\nz=2\r\n"
        "[NEWSEC]\r\nk=v\r\n";
    std::string difference;
    EXPECT_TRUE(
        KeepsOtherLines(before, rewritten, Entries({{"GENERAL", "Material", "new"}}), &difference))
        << difference;
    EXPECT_TRUE(KeepsOtherLines(before, added, Entries({{"NEWSEC", "k", "v"}}), &difference))
        << difference;
}

// A file the service cut short (Wine cuts a file at a page on a full disk) or filled with
// something else is told from one it kept.
TEST(RecipeCheck, AFileCutShortOrGrownIsNotKept) {
    const std::string before = ReadTestData("ini/new-key.before.rcp");
    const RecipeEntryList entries = Entries({{"GENERAL", "Model", "3"}, {"IV", "AutoSave", "1"}});
    std::string after = before;
    ApplyIniEntries(&after, entries, Windows1252());
    std::string difference;
    ASSERT_TRUE(KeepsOtherLines(before, after, entries, &difference)) << difference;

    // Cut between two lines, and within one.
    EXPECT_FALSE(
        KeepsOtherLines(before, after.substr(0, after.find("; end")), entries, &difference));
    EXPECT_EQ(difference, "its line \"; end of recipe\" is missing or changed");
    EXPECT_FALSE(
        KeepsOtherLines(before, after.substr(0, after.find("5\r\n")), entries, &difference));
    EXPECT_EQ(difference, "its line \"V-Etch=0.5\" is missing or changed");
    EXPECT_FALSE(KeepsOtherLines(before, "", entries, &difference));
    EXPECT_EQ(difference, "its line \"[GENERAL]\" is missing or changed");
    EXPECT_FALSE(KeepsOtherLines(before, after + "Extra=1\r\n", entries, &difference));
    EXPECT_EQ(difference, "it holds a line \"Extra=1\" that was not written to it");
    // A new recipe holds nothing but its entries; the values are read back on their own.
    EXPECT_TRUE(KeepsOtherLines("", NewIniText(entries), entries, &difference)) << difference;
    EXPECT_TRUE(KeepsOtherLines("", "", entries, &difference)) << difference;
}

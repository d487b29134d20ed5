// Tests of the recipe file-name rule and of the recipe path limit.
#include "conversion/recipe_file_name.h"

#include <gtest/gtest.h>

#include <string>

#include "settings/codepage.h"

namespace {

std::string RejectionOf(const std::string& fileName) {
    std::string reason;
    return CheckWindowsFileName(fileName, &reason) ? "" : reason;
}

TEST(RecipeFileName, AcceptsNamesWindowsCanStore) {
    for (const char* name :
         {"GaAs 1e18", "InP.etch", "Si (100)", "CONSOLE", "COM10", "LPT0", "xCON", "AUX-2", "..x",
          ". leading", "trailing.", "\x7f", "\xe9t\xe9", "a b+c,d;e=f[g]h'i"}) {
        EXPECT_EQ(RejectionOf(name), "") << name;
    }
}

TEST(RecipeFileName, RejectsForbiddenCharactersByName) {
    EXPECT_EQ(RejectionOf("Si 1:2"),
              "its name holds ':', which Windows does not allow in a file name");
    EXPECT_EQ(RejectionOf("../x"),
              "its name holds '/', which Windows does not allow in a file name");
    EXPECT_EQ(RejectionOf("a\\b"),
              "its name holds '\\', which Windows does not allow in a file name");
    for (const char* name : {"a<b", "a>b", "say \"hi\"", "a|b", "what?", "*"}) {
        EXPECT_NE(RejectionOf(name), "") << name;
    }
    EXPECT_EQ(RejectionOf("tab\there"),
              "its name holds a control character, which Windows does not allow in a file name");
    EXPECT_NE(RejectionOf("\x1f"), "");
    EXPECT_EQ(RejectionOf(""), "its name is empty");
}

TEST(RecipeFileName, RejectsDeviceNamesAloneOrBeforeADot) {
    EXPECT_EQ(RejectionOf("CON"), "Windows takes its name for the device CON");
    EXPECT_EQ(RejectionOf("con.txt"), "Windows takes its name for the device CON");
    EXPECT_EQ(RejectionOf("Lpt9.a.b"), "Windows takes its name for the device LPT9");
    EXPECT_EQ(RejectionOf("nul."), "Windows takes its name for the device NUL");
    // Windows drops the blanks that end the part before the dot when it looks for devices.
    EXPECT_EQ(RejectionOf("CON .rcp"), "Windows takes its name for the device CON");
    for (const char* name : {"PRN", "aux", "Com1", "COM9", "lpt1", "nul  "}) {
        EXPECT_NE(RejectionOf(name), "") << name;
    }
    EXPECT_EQ(RejectionOf("CONIN$"), "Windows takes its name for the device CONIN$");
    EXPECT_EQ(RejectionOf("conout$.txt"), "Windows takes its name for the device CONOUT$");
}

// COM and LPT with a superscript digit are characters on Linux in UTF-8; a byte B9, B2 or B3
// alone is no such character there (Windows-1252 has the superscripts at those bytes, other code
// pages other letters).
TEST(RecipeFileName, RejectsPortsWithASuperscriptDigit) {
    EXPECT_EQ(RejectionOf("COM\xc2\xb9"), "Windows takes its name for the device COM\xc2\xb9");
    EXPECT_EQ(RejectionOf("lpt\xc2\xb2.x"), "Windows takes its name for the device LPT\xc2\xb2");
    EXPECT_EQ(RejectionOf("Lpt\xc2\xb3 .rcp"), "Windows takes its name for the device LPT\xc2\xb3");
    EXPECT_EQ(RejectionOf("cOm\xc2\xb2."), "Windows takes its name for the device COM\xc2\xb2");
    for (const char* name :
         {"COM\xb9", "LPT\xb3.x", "COM\xc4\x85", "LPT\xd1\x96", "COM\xc2\xb9\xc2\xb9",
          "COM\xc2\xb9x", "COM\xe2\x81\xb4", "COMM\xc2\xb9", "CONIN", "CONOUT$x"}) {
        EXPECT_EQ(RejectionOf(name), "") << name;
    }

    // The set name comes in the code page of the settings: B9 is superscript one only in some.
    Codepage codepage;
    std::string error;
    std::string fileName;
    std::string reason;
    ASSERT_TRUE(codepage.Open("Windows-1252", &error)) << error;
    EXPECT_FALSE(RecipeFileBaseName("COM\xb9", &codepage, &fileName, &reason));
    EXPECT_EQ(reason, "Windows takes its name for the device COM\xc2\xb9");
    ASSERT_TRUE(codepage.Open("Windows-1250", &error)) << error;
    EXPECT_TRUE(RecipeFileBaseName("COM\xb9", &codepage, &fileName, &reason)) << reason;
    EXPECT_EQ(fileName, "COM\xc4\x85");  // Polish a with ogonek
    ASSERT_TRUE(codepage.Open("Windows-1251", &error)) << error;
    EXPECT_TRUE(RecipeFileBaseName("LPT\xb3", &codepage, &fileName, &reason)) << reason;
    EXPECT_EQ(fileName, "LPT\xd1\x96");  // Cyrillic i
}

TEST(RecipeFileName, ConvertsTheSetNameToUtf8BeforeTheRule) {
    Codepage codepage;
    std::string error;
    ASSERT_TRUE(codepage.Open("Windows-1252", &error)) << error;
    std::string fileName;
    std::string reason;
    ASSERT_TRUE(RecipeFileBaseName("Si \xe9tch \x80", &codepage, &fileName, &reason)) << reason;
    EXPECT_EQ(fileName, "Si \xc3\xa9tch \xe2\x82\xac");
    ASSERT_TRUE(RecipeFileBaseName("Si \xe9tch", nullptr, &fileName, &reason)) << reason;
    EXPECT_EQ(fileName, "Si \xe9tch");
    EXPECT_FALSE(RecipeFileBaseName("a:b", &codepage, &fileName, &reason));
    EXPECT_EQ(reason, "its name holds ':', which Windows does not allow in a file name");
}

TEST(RecipePath, JoinsDirectorySeparatorNameAndExtension) {
    std::string path;
    std::string reason;
    ASSERT_TRUE(FormRecipePath("out/dir", "GaAs", true, &path, &reason));
    EXPECT_EQ(path, "out/dir/GaAs.rcp");
}

TEST(RecipePath, RefusesMoreThan259CharactersInsteadOfCutting) {
    const std::string directory(250, 'd');
    std::string path = "unchanged";
    std::string reason;
    // 250 + 1 + 4 + 4 = 259: the longest path there is room for.
    ASSERT_TRUE(FormRecipePath(directory, "abcd", true, &path, &reason));
    EXPECT_EQ(path.size(), 259u);
    path = "unchanged";
    EXPECT_FALSE(FormRecipePath(directory, "abcde", true, &path, &reason));
    EXPECT_EQ(reason, "its recipe path would be 260 characters long, over the limit of 259");
    EXPECT_EQ(path, "unchanged");
}

TEST(RecipePath, CountsCharactersNotBytes) {
    const std::string directory(250, 'd');
    const std::string fourAccented = "\xc3\xa9\xc3\xa9\xc3\xa9\xe2\x82\xac";  // 4 characters
    std::string path;
    std::string reason;
    EXPECT_TRUE(FormRecipePath(directory, fourAccented, true, &path, &reason));
    // The same bytes as ANSI text are 9 characters.
    EXPECT_FALSE(FormRecipePath(directory, fourAccented, false, &path, &reason));
    EXPECT_EQ(CountCharacters(fourAccented, true), 4u);
    EXPECT_EQ(CountCharacters(fourAccented, false), 9u);
}

}  // namespace

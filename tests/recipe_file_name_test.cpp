// Tests of the recipe file-name rule and of the recipe path limit.
#include "recipes/recipe_file_name.h"

#include <gtest/gtest.h>

#include <string>

#include "text/codepage.h"

namespace {

// Why a UTF-8 file name is refused, or "" when it is not.
std::string RejectionOf(const std::string& fileName) {
    std::string reason;
    return CheckWindowsFileName(fileName, nullptr, &reason) ? "" : reason;
}

void OpenOrFail(Codepage* codepage, const char* name) {
    std::string error;
    ASSERT_TRUE(codepage->Open(name, &error)) << error;
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
    std::string fileName;
    std::string reason;
    OpenOrFail(&codepage, "Windows-1252");
    EXPECT_FALSE(RecipeFileBaseName("COM\xb9", codepage, nullptr, &fileName, &reason));
    EXPECT_EQ(reason, "Windows takes its name for the device COM\xc2\xb9");
    // On Windows the file name keeps the code page's bytes, and so does the reason.
    EXPECT_FALSE(RecipeFileBaseName("COM\xb9", codepage, &codepage, &fileName, &reason));
    EXPECT_EQ(reason, "Windows takes its name for the device COM\xb9");
    OpenOrFail(&codepage, "Windows-1250");
    EXPECT_TRUE(RecipeFileBaseName("COM\xb9", codepage, nullptr, &fileName, &reason)) << reason;
    EXPECT_EQ(fileName, "COM\xc4\x85");  // Polish a with ogonek
    EXPECT_TRUE(RecipeFileBaseName("COM\xb9", codepage, &codepage, &fileName, &reason)) << reason;
    EXPECT_EQ(fileName, "COM\xb9");
    OpenOrFail(&codepage, "Windows-1251");
    EXPECT_TRUE(RecipeFileBaseName("LPT\xb3", codepage, nullptr, &fileName, &reason)) << reason;
    EXPECT_EQ(fileName, "LPT\xd1\x96");  // Cyrillic i
}

TEST(RecipeFileName, ConvertsTheSetNameToUtf8BeforeTheRule) {
    Codepage codepage;
    OpenOrFail(&codepage, "Windows-1252");
    std::string fileName;
    std::string reason;
    ASSERT_TRUE(RecipeFileBaseName("Si \xe9tch \x80", codepage, nullptr, &fileName, &reason))
        << reason;
    EXPECT_EQ(fileName, "Si \xc3\xa9tch \xe2\x82\xac");
    ASSERT_TRUE(RecipeFileBaseName("Si \xe9tch", codepage, &codepage, &fileName, &reason))
        << reason;
    EXPECT_EQ(fileName, "Si \xe9tch");
    EXPECT_FALSE(RecipeFileBaseName("a:b", codepage, nullptr, &fileName, &reason));
    EXPECT_EQ(reason, "its name holds ':', which Windows does not allow in a file name");
}

// In the double-byte code pages the second byte of many a character is the byte of '\' (5C) or
// '|' (7C). Windows names the file by characters, so these names are fine there, and the
// characters of a name are checked wherever the file is named in such a code page.
TEST(RecipeFileName, ChecksDoubleByteNamesByCharacterNotByte) {
    struct Name {
        const char* codepage;
        const char* bytes;
    };
    const Name names[] = {
        {"932", "\x83\x7c\x83\x8a\x83\x56\x83\x8a\x83\x52\x83\x93"},       // polysilicon, 837C
        {"932", "\x95\x5c\x96\xca"},                                       // surface, 955C
        {"932", "\x83\x5c \x94\x5c \x8f\x5c \x90\x5c \x97\x5c \x8d\x5c"},  // ... 5C each
        {"936", "\x81\x5c\x83\x7c"},                                       // 815C, 837C
    };
    for (const Name& name : names) {
        Codepage codepage;
        OpenOrFail(&codepage, name.codepage);
        std::string fileName;
        std::string reason;
        EXPECT_TRUE(CheckWindowsFileName(name.bytes, &codepage, &reason)) << reason;
        EXPECT_TRUE(RecipeFileBaseName(name.bytes, codepage, &codepage, &fileName, &reason))
            << name.codepage << ": " << reason;
        EXPECT_EQ(fileName, name.bytes);
    }
    // A real backslash or bar among them is still one.
    Codepage japanese;
    OpenOrFail(&japanese, "932");
    std::string reason;
    EXPECT_FALSE(CheckWindowsFileName("\x95\x5c\\\x96\xca", &japanese, &reason));
    EXPECT_EQ(reason, "its name holds '\\', which Windows does not allow in a file name");
    EXPECT_FALSE(CheckWindowsFileName("\x95\x5c|", &japanese, &reason));
    EXPECT_EQ(reason, "its name holds '|', which Windows does not allow in a file name");
}

// A set name in one code page goes to a file named in another only when every character has
// its counterpart there: never under a look-alike or '?'.
TEST(RecipeFileName, RefusesCharactersTheFileNamesCodePageLacks) {
    Codepage polish;
    Codepage western;
    OpenOrFail(&polish, "Windows-1250");
    OpenOrFail(&western, "Windows-1252");
    const std::string lodz = "\xa3\xf3\x64\x9f pr\xf3\x62ka";  // Lodz sample, in Polish letters
    std::string fileName = "unchanged";
    std::string reason;
    EXPECT_FALSE(RecipeFileBaseName(lodz, polish, &western, &fileName, &reason));
    EXPECT_EQ(reason, "its name has characters outside this PC's code page (1252)");
    EXPECT_TRUE(RecipeFileBaseName(lodz, polish, nullptr, &fileName, &reason)) << reason;
    EXPECT_EQ(fileName, "\xc5\x81\xc3\xb3\x64\xc5\xba pr\xc3\xb3\x62ka");
    // Letters both code pages have are carried over as the file names' code page has them.
    EXPECT_TRUE(RecipeFileBaseName("pr\xf3\x62ka", polish, &western, &fileName, &reason)) << reason;
    EXPECT_EQ(fileName, "pr\xf3\x62ka");
}

TEST(RecipePath, JoinsDirectorySeparatorNameAndExtension) {
    std::string path;
    std::string reason;
    ASSERT_TRUE(FormRecipePath("out/dir", "GaAs", nullptr, &path, &reason));
    EXPECT_EQ(path, "out/dir/GaAs.rcp");
    // A directory that ends in the separator already, as a drive's root does: no second one.
    ASSERT_TRUE(FormRecipePath("E:/", "GaAs", nullptr, &path, &reason));
    EXPECT_EQ(path, "E:/GaAs.rcp");
}

TEST(RecipePath, RefusesMoreThan259CharactersInsteadOfCutting) {
    const std::string directory(250, 'd');
    std::string path = "unchanged";
    std::string reason;
    // 250 + 1 + 4 + 4 = 259: the longest path there is room for.
    ASSERT_TRUE(FormRecipePath(directory, "abcd", nullptr, &path, &reason));
    EXPECT_EQ(path.size(), 259u);
    path = "unchanged";
    EXPECT_FALSE(FormRecipePath(directory, "abcde", nullptr, &path, &reason));
    EXPECT_EQ(reason, "its recipe path would be 260 characters long, over the limit of 259");
    EXPECT_EQ(path, "unchanged");
}

// Windows counts a path's characters in UTF-16, whatever the bytes of its code page.
TEST(RecipePath, CountsCharactersNotBytes) {
    const std::string directory(250, 'd');
    const std::string fourAccented = "\xc3\xa9\xc3\xa9\xc3\xa9\xe2\x82\xac";  // 4 characters
    std::string path;
    std::string reason;
    EXPECT_TRUE(FormRecipePath(directory, fourAccented, nullptr, &path, &reason));
    EXPECT_EQ(CountCharacters(fourAccented, nullptr), 4u);
    // The same bytes as Windows-1252 text are 9 characters.
    Codepage western;
    OpenOrFail(&western, "Windows-1252");
    EXPECT_FALSE(FormRecipePath(directory, fourAccented, &western, &path, &reason));
    EXPECT_EQ(CountCharacters(fourAccented, &western), 9u);
    // A character beyond the basic plane is two UTF-16 units, as Windows counts it.
    EXPECT_EQ(CountCharacters("\xf0\x9f\x98\x80", nullptr), 2u);

    // Code page 932: 30 characters of two bytes each in a path of 241 characters, 271 bytes.
    Codepage japanese;
    OpenOrFail(&japanese, "932");
    std::string name;
    for (int i = 0; i < 15; ++i) {
        name += "\x95\x5c\x96\xca";  // surface
    }
    ASSERT_TRUE(FormRecipePath(std::string(206, 'd'), name, &japanese, &path, &reason)) << reason;
    EXPECT_EQ(path.size(), 271u);
    EXPECT_EQ(CountCharacters(path, &japanese), 241u);
    EXPECT_FALSE(FormRecipePath(std::string(225, 'd'), name, &japanese, &path, &reason));
    EXPECT_EQ(reason, "its recipe path would be 260 characters long, over the limit of 259");
}

// The window converts into a directory that exists without creating it (CreateDirectoryA
// refuses a drive's root, "E:\\", with ERROR_ACCESS_DENIED), and does not ask Windows to create
// one it refuses for its length.
TEST(RecipeDirectory, UsesWhatExistsAndCreatesOnlyWhatWindowsCan) {
    std::string reason;
    EXPECT_EQ(RecipeDirectoryStep(true, 3, &reason), DirectoryStep::kConvertInto);
    EXPECT_EQ(RecipeDirectoryStep(true, 255, &reason), DirectoryStep::kConvertInto);
    EXPECT_EQ(RecipeDirectoryStep(false, 3, &reason), DirectoryStep::kCreate);
    EXPECT_EQ(RecipeDirectoryStep(false, 247, &reason), DirectoryStep::kCreate);
    EXPECT_EQ(RecipeDirectoryStep(false, 248, &reason), DirectoryStep::kRefuse);
    EXPECT_EQ(reason,
              "Windows creates no folder whose path is longer than 247 characters; this one has "
              "248");
}

}  // namespace

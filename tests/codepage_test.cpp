// Tests of the code page conversion: names, best-fit letters, the five Windows-1252 C1 bytes.
#include "text/codepage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

Codepage* OpenOrFail(Codepage* codepage, const std::string& name) {
    std::string error;
    EXPECT_TRUE(codepage->Open(name, &error)) << error;
    return codepage;
}

TEST(CodepageTest, NamesWindowsUsesSelectTheSamePage) {
    for (const char* name : {"Windows-1252", "windows-1252", "CP1252", "cp1252", "1252"}) {
        unsigned int number = 0;
        EXPECT_TRUE(ParseCodepageName(name, &number)) << name;
        EXPECT_EQ(1252u, number) << name;
    }
    for (const char* name : {"", "Latin-1", "CP", "Windows-", "12a52", "CP70000", "0"}) {
        unsigned int number = 0;
        EXPECT_FALSE(ParseCodepageName(name, &number)) << name;
    }
    Codepage codepage;
    std::string error;
    EXPECT_FALSE(codepage.Open("UTF-7", &error));
    EXPECT_EQ("unknown code page \"UTF-7\"", error);
    ASSERT_TRUE(codepage.Open("CP1252", &error));
    EXPECT_EQ("CP1252", codepage.name());
    EXPECT_EQ(1252u, codepage.number());
}

TEST(CodepageTest, FromUtf16WritesWhatWideCharToMultiByteWrites) {
    Codepage codepage;
    OpenOrFail(&codepage, "Windows-1252");
    std::string ansi;
    EXPECT_TRUE(codepage.FromUtf16(u"L\u00f6sung 5\u2030 \u20ac", &ansi));
    EXPECT_EQ("L\xf6sung 5\x89 \x80", ansi);
    // Best-fit letters, then '?'; each half of a surrogate pair is one '?'.
    EXPECT_FALSE(codepage.FromUtf16(u"\u0141\u00f3d\u017a \u03a9 \uff21 \u4e2d", &ansi));
    EXPECT_EQ(
        "L\xf3"
        "dz O A ?",
        ansi);
    EXPECT_FALSE(codepage.FromUtf16(u"a\U0001F600b", &ansi));
    EXPECT_EQ("a??b", ansi);
    // The five bytes the standard leaves undefined; U+0080 is not one of them.
    EXPECT_TRUE(codepage.FromUtf16(u"\u0081\u008d\u008f\u0090\u009d", &ansi));
    EXPECT_EQ("\x81\x8d\x8f\x90\x9d", ansi);
    EXPECT_FALSE(codepage.FromUtf16(u"\u0080", &ansi));
    EXPECT_EQ("?", ansi);
    EXPECT_TRUE(codepage.FromUtf16(std::u16string(u"a\0b", 3), &ansi));
    EXPECT_EQ(std::string("a\0b", 3), ansi);
}

TEST(CodepageTest, ToUtf16AndToUtf8MapEveryWindows1252Byte) {
    Codepage codepage;
    OpenOrFail(&codepage, "1252");
    std::u16string text;
    EXPECT_TRUE(codepage.ToUtf16("\x80\x81\x8d\x8f\x90\x9d\xe9", &text));
    EXPECT_EQ(u"\u20ac\u0081\u008d\u008f\u0090\u009d\u00e9", text);
    std::string all;
    for (int byte = 1; byte < 256; ++byte) {
        all.push_back(static_cast<char>(byte));
    }
    EXPECT_TRUE(codepage.ToUtf16(all, &text));
    EXPECT_EQ(all.size(), text.size());
    std::string back;
    EXPECT_TRUE(codepage.FromUtf16(text, &back));
    EXPECT_EQ(all, back);
    std::string utf8;
    EXPECT_TRUE(
        codepage.ToUtf8("Gr\xfc\xdf"
                        "e \x80",
                        &utf8));
    EXPECT_EQ("Gr\u00fc\u00dfe \u20ac", utf8);
}

TEST(CodepageTest, OtherCodePagesConvertWithoutTheLatinSupplement) {
    Codepage cyrillic;
    OpenOrFail(&cyrillic, "Windows-1251");
    std::string ansi;
    EXPECT_TRUE(cyrillic.FromUtf16(u"\u0416", &ansi));
    EXPECT_EQ("\xc6", ansi);
    std::u16string text;
    // 0x98, the one byte Windows-1251 leaves undefined, is U+0098 both ways, as in Windows.
    EXPECT_TRUE(cyrillic.ToUtf16("\x98", &text));
    EXPECT_EQ(u"\u0098", text);
    EXPECT_TRUE(cyrillic.FromUtf16(u"\u0098", &ansi));
    EXPECT_EQ("\x98", ansi);
    EXPECT_FALSE(cyrillic.FromUtf16(u"\u0081", &ansi));
    EXPECT_EQ("?", ansi);
    // Windows-1253 leaves 0xAA undefined too, with no character standing in for it.
    Codepage greek;
    OpenOrFail(&greek, "Windows-1253");
    EXPECT_FALSE(greek.ToUtf16("\xaa", &text));
    EXPECT_EQ(u"\ufffd", text);
}

// The characters of a path are stepped through whole: the second byte of a double-byte
// character may be that of '\\' (0x5C) or '|' (0x7C), and is never taken for it.
TEST(CodepageTest, NextCharacterStepsOverBothBytesOfADoubleByteCharacter) {
    struct Case {
        const char* codepage;
        std::string text;  // the characters, then '\\'
        std::vector<size_t> starts;
    };
    const Case cases[] = {
        // 表 (95 5C), half-width katakana ｱ (B1, one byte), ソ (83 5C), 能 (94 5C)
        {"Windows-932", "\x95\x5c\xb1\x83\x5c\x94\x5c\\", {0, 2, 3, 5, 7}},
        // 中 (D6 D0), 乗 (81 5C: a second byte of '\\' in GBK too), 倈 (82 7C)
        {"936", "\xd6\xd0\x81\x5c\x82\x7c\\", {0, 2, 4, 6}},
        // 功 (A5 5C) in Big5; 한 (C7 D1) in Unified Hangul Code
        {"950", "\xa5\x5c\\", {0, 2}},
        {"949", "\xc7\xd1\\", {0, 2}},
        // Every byte is a character in the single-byte code pages.
        {"Windows-1252", "\x95\x5c\xe9\\", {0, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        Codepage codepage;
        OpenOrFail(&codepage, c.codepage);
        std::vector<size_t> starts;
        for (size_t i = 0; i < c.text.size(); i = codepage.NextCharacter(c.text, i)) {
            starts.push_back(i);
        }
        EXPECT_EQ(c.starts, starts) << c.codepage;
    }
    // A lead byte at the very end, cut from its second byte, is a character of its own.
    Codepage japanese;
    OpenOrFail(&japanese, "932");
    EXPECT_EQ(1u, japanese.NextCharacter("\x95", 0));
}

TEST(CodepageTest, RegistryUpcaseComparesAsWindowsSortsKeys) {
    EXPECT_EQ(u'A', RegistryUpcase(u'a'));
    EXPECT_EQ(u'_', RegistryUpcase(u'_'));
    EXPECT_EQ(u'[', RegistryUpcase(u'['));
    EXPECT_EQ(u'\u00c9', RegistryUpcase(u'\u00e9'));
    EXPECT_EQ(u'\u0178', RegistryUpcase(u'\u00ff'));
    EXPECT_EQ(u'\u0141', RegistryUpcase(u'\u0142'));
    EXPECT_EQ(u'\u03a9', RegistryUpcase(u'\u03c9'));
}

}  // namespace

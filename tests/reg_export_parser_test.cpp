// Tests of the .reg reader: encodings, headers, every value form, line ends, skipped lines,
// and lines cut by the ends of the pieces it reads.
#include "sources/reg_export_parser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "tests/test_support.h"
#include "text/codepage.h"
#include "text/unicode_text.h"

namespace {

const char kV5[] = "Windows Registry Editor Version 5.00\r\n";
const char kKey[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\r\n";

// Writes every event as one line of text, values as hex bytes.
class RecordingSink : public RegExportSink {
  public:
    bool OnKey(RegRootKey root, const std::vector<std::u16string_view>& path) override {
        events += "key " + Root(root) + Path(path) + "\n";
        return wanted;
    }
    void OnDeleteKey(RegRootKey root, const std::vector<std::u16string_view>& path) override {
        events += "delete key " + Root(root) + Path(path) + "\n";
    }
    void OnValue(std::u16string_view name, uint32_t type, std::string_view data) override {
        events += "value " + Narrow(name) + " type " + std::to_string(type) + ":";
        for (unsigned char byte : data) {
            char hex[4];
            snprintf(hex, sizeof(hex), " %02x", byte);
            events += hex;
        }
        events += "\n";
    }
    void OnDeleteValue(std::u16string_view name) override {
        events += "delete value " + Narrow(name) + "\n";
    }

    bool wanted = true;
    std::string events;

  private:
    static std::string Root(RegRootKey root) {
        return root == RegRootKey::kLocalMachine ? "HKLM" : "other";
    }
    static std::string Narrow(std::u16string_view text) {
        std::string narrow;
        for (char16_t unit : text) {
            if (unit < 0x80) {
                narrow.push_back(static_cast<char>(unit));
            } else {
                char escaped[8];
                snprintf(escaped, sizeof(escaped), "<%04X>", unit);
                narrow += escaped;
            }
        }
        return narrow;
    }
    static std::string Path(const std::vector<std::u16string_view>& path) {
        std::string text;
        for (const std::u16string_view name : path) {
            text += "\\" + Narrow(name);
        }
        return text;
    }
};

class RegExportParserTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(codepage_.Open("Windows-1252", &error)) << error;
    }

    // Parses bytes; returns the events, and the warnings as "LINE: MESSAGE" lines.
    bool Parse(const std::string& bytes, std::string* error = nullptr) {
        std::istringstream input(bytes);
        RegExportParser parser(codepage_, sink_);
        std::string ignored;
        const bool ok = parser.Parse(input, error != nullptr ? error : &ignored);
        warnings_.clear();
        for (const RegExportWarning& warning : parser.warnings()) {
            warnings_ += std::to_string(warning.line) + ": " + warning.message + "\n";
        }
        return ok;
    }
    std::string ParseError(const std::string& bytes) {
        std::string error;
        EXPECT_FALSE(Parse(bytes, &error));
        return error;
    }
    static std::string Utf16(const std::u16string& text) {
        std::string bytes = "\xff\xfe";
        AppendUtf16Le(text, &bytes);
        return bytes;
    }

    Codepage codepage_;
    RecordingSink sink_;
    std::string warnings_;
};

TEST_F(RegExportParserTest, RejectsWhatRegeditWouldNotImport) {
    const std::string header =
        "not a registry export: the first line is not \"REGEDIT4\" or \"Windows Registry Editor "
        "Version 5.00\"";
    EXPECT_EQ("not a registry export: it is empty", ParseError(""));
    EXPECT_EQ(header, ParseError("REGEDIT\r\n"));
    EXPECT_EQ(header, ParseError("REGEDIT4 \r\n"));
    EXPECT_EQ(header, ParseError("\r\nREGEDIT4\r\n"));
    EXPECT_EQ(header, ParseError("Windows Registry Editor Version 5.0\r\n"));
    const std::string encoding =
        "unreadable encoding (UTF-16 without a little-endian byte-order mark)";
    EXPECT_EQ(encoding, ParseError(std::string("R\0E\0", 4)));
    EXPECT_EQ(encoding, ParseError(std::string("\xfe\xff\0R", 4)));
    EXPECT_EQ("", sink_.events);
    EXPECT_TRUE(Parse(" \tREGEDIT4"));
}

TEST_F(RegExportParserTest, ReadsEveryValueFormAsTheRegistryStoresIt) {
    ASSERT_TRUE(Parse(std::string(kV5) + kKey +
                      "\"Text\"=\"a\\\\b\\\"c\\n\\r\\x\"\r\n"
                      "@=\"default\"\r\n"
                      "\"Dword\" = dword:0000ABcd ; comment\r\n"
                      "\"Short\"=dword:1\r\n"
                      "\"Bin\"=hex:00,ff,\t7 , 10\r\n"
                      "\"Empty\"=hex:\r\n"
                      "\"Qword\"=hex(b):01,02,03,04,05,06,07,08\r\n"
                      "\"Typed\"=hex(ffff0010):aa\r\n"
                      "\"Expand\"=hex(2):41,e9\r\n"
                      "\"Ended\"=hex(7):41,00,00\r\n"  // "A", NUL, NUL in an ANSI file
                      "\"Sz\"=hex(1):\r\n"
                      "\"Name \\\"q\\\" \\\\ \\n\"=-\r\n"));
    EXPECT_EQ(
        "key HKLM\\SOFTWARE\\Test\n"
        "value Text type 1: 61 00 5c 00 62 00 22 00 63 00 0a 00 0d 00 78 00 00 00\n"
        "value  type 1: 64 00 65 00 66 00 61 00 75 00 6c 00 74 00 00 00\n"
        "value Dword type 4: cd ab 00 00\n"
        "value Short type 4: 01 00 00 00\n"
        "value Bin type 3: 00 ff 07 10\n"
        "value Empty type 3:\n"
        "value Qword type 11: 01 02 03 04 05 06 07 08\n"
        "value Typed type 4294901776: aa\n"
        "value Expand type 2: 41 00 e9 00 00 00\n"
        "value Ended type 7: 41 00 00 00 00 00\n"
        "value Sz type 1: 00 00\n"
        "delete value Name \"q\" \\ n\n",
        sink_.events);
    EXPECT_EQ("", warnings_);
}

TEST_F(RegExportParserTest, HexTextFollowsTheFileEncoding) {
    const std::u16string body =
        u"Windows Registry Editor Version 5.00\r\n"
        u"[HKEY_LOCAL_MACHINE\\S]\r\n"
        u"\"Odd\"=hex(2):41,00,42\r\n"
        u"\"Ended\"=hex(2):41,00,00,00\r\n"
        u"\"Name\u0141\"=\"\u0141\"\r\n";
    ASSERT_TRUE(Parse(Utf16(body)));
    EXPECT_EQ(
        "key HKLM\\S\n"
        "value Odd type 2: 41 00 42 00 00\n"
        "value Ended type 2: 41 00 00 00\n"
        "value Name<0141> type 1: 41 01 00 00\n",
        sink_.events);
    // A version 5 export in UTF-8 came from a UTF-16 one: its hex text is UTF-16 already.
    sink_.events.clear();
    ASSERT_TRUE(
        Parse("\xef\xbb\xbfWindows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\S]\n"
              "\"A\"=hex(2):e9,00\n\"B\"=\"\xc5\x81\"\n"));
    EXPECT_EQ("key HKLM\\S\nvalue A type 2: e9 00 00 00\nvalue B type 1: 41 01 00 00\n",
              sink_.events);
    // REGEDIT4 text is ANSI, even in a UTF-8 file; and an ANSI file is never taken for UTF-8.
    sink_.events.clear();
    ASSERT_TRUE(Parse("\xef\xbb\xbfREGEDIT4\n[HKEY_LOCAL_MACHINE\\S]\n\"A\"=hex(2):e9\n"));
    EXPECT_EQ("key HKLM\\S\nvalue A type 2: e9 00 00 00\n", sink_.events);
    sink_.events.clear();
    ASSERT_TRUE(Parse("REGEDIT4\n[HKEY_LOCAL_MACHINE\\S]\n\"A\"=\"\xc3\xa9\x81\"\n"));
    EXPECT_EQ("key HKLM\\S\nvalue A type 1: c3 00 a9 00 81 00 00 00\n", sink_.events);
}

TEST_F(RegExportParserTest, ContinuedHexSkipsBlankAndCommentLinesAndEndsAtTheFileEnd) {
    ASSERT_TRUE(Parse(std::string(kV5) + kKey +
                      "\"A\"=hex:01,\\\r\n"
                      "\r\n"
                      "  ; comment\r\n"
                      "\t02,03,\\ ; comment after the backslash\r\n"
                      "04\r\n"
                      "\"B\"=hex:05,\\\r\n"
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Swallowed]\r\n"
                      "\"C\"=hex:06,\\\r\n"
                      "  07,\\"));
    EXPECT_EQ(
        "key HKLM\\SOFTWARE\\Test\n"
        "value A type 3: 01 02 03 04\n"
        "value C type 3: 06 07\n",
        sink_.events);
    EXPECT_EQ(
        "9: value ignored, and this line with it: hex data continued by a line that is not "
        "hex\n",
        warnings_);
}

TEST_F(RegExportParserTest, KeyLinesAsRegeditReadsThem) {
    ASSERT_TRUE(Parse(std::string(kV5) +
                      "[hkey_local_machine\\\\A\\\\B\\] trailing text ]\r\n"
                      "\"V\"=\"1\"\r\n"
                      "[ HKEY_LOCAL_MACHINE\\Blank]\r\n"
                      "\"StillB\"=\"2\"\r\n"
                      "[HKEY_LOCAL_MACHINE\\NoClose\r\n"
                      "[HKLM\\A]\r\n"
                      "\"Dropped\"=\"3\"\r\n"
                      "[HKEY_CURRENT_USER\\X]\r\n"
                      "[-HKEY_LOCAL_MACHINE\\A]\r\n"
                      "\"NoKey\"=\"4\"\r\n"
                      "[HKEY_LOCAL_MACHINE\\" +
                      std::string(256, 'k') + "]\r\n"));
    EXPECT_EQ(
        "key HKLM\\A\\B\\] trailing text \n"
        "value V type 1: 31 00 00 00\n"
        "value StillB type 1: 32 00 00 00\n"
        "key other\\X\n"
        "delete key HKLM\\A\n",
        sink_.events);
    EXPECT_EQ(
        "4: key line ignored: a blank after \"[\" or no closing \"]\"\n"
        "6: key line ignored: a blank after \"[\" or no closing \"]\"\n"
        "7: key ignored: it does not start with a known root such as HKEY_LOCAL_MACHINE\n"
        "11: value ignored: no key before it\n"
        "12: key ignored: a name longer than 255 characters\n",
        warnings_);
}

// Windows cannot delete a root key: such a line is reported, and what was read before it stays.
TEST_F(RegExportParserTest, ARootKeyIsNeverDeleted) {
    ASSERT_TRUE(Parse(std::string(kV5) + kKey +
                      "\"A\"=\"1\"\r\n"
                      "[-HKEY_LOCAL_MACHINE]\r\n"
                      "\"Dropped\"=\"2\"\r\n"
                      "[-hkey_current_user\\\\]\r\n"
                      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\r\n"));
    EXPECT_EQ(
        "key HKLM\\SOFTWARE\\Test\n"
        "value A type 1: 31 00 00 00\n"
        "delete key HKLM\\SOFTWARE\\Test\n",
        sink_.events);
    EXPECT_EQ(
        "4: key deletion ignored: HKEY_LOCAL_MACHINE is a root key, which cannot be deleted\n"
        "6: key deletion ignored: HKEY_CURRENT_USER is a root key, which cannot be deleted\n",
        warnings_);
}

// Old DOS and Windows tools end a text file with Ctrl-Z on a line of its own: regedit passes
// over it, in either encoding and whatever blank lines follow; anywhere else it is stray text.
TEST_F(RegExportParserTest, AFinalCtrlZIsPassedOverInSilence) {
    const std::string body = std::string(kV5) + kKey + "\"A\"=\"1\"\r\n";
    for (const char* end : {"\x1a", "\x1a\r\n", "\x1a\r\n\r\n  \r\n"}) {
        ASSERT_TRUE(Parse(body + end));
        EXPECT_EQ("", warnings_) << end;
    }
    ASSERT_TRUE(Parse(Utf16(u"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\S]\r\n\x1a\r\n")));
    EXPECT_EQ("", warnings_);
    ASSERT_TRUE(Parse(body + "\x1a\r\n\r\n\"B\"=\"2\"\r\n\x1a x\r\n"));
    EXPECT_EQ(
        "4: line ignored: not a key, a value or a comment\n"
        "7: line ignored: not a key, a value or a comment\n",
        warnings_);
}

TEST_F(RegExportParserTest, MalformedValuesAreSkippedAndReportedByLine) {
    // Lines end in CR LF, LF and CR alike; a CR LF counts once.
    ASSERT_TRUE(Parse(std::string(kV5) + kKey +
                      "\"D9\"=dword:123456789\n"
                      "\"D0\"=dword:\r"
                      "\"Dx\"=dword:0x1\r\n"
                      "\"H3\"=hex:123\n"
                      "\"Hc\"=hex:01 02\n"
                      "\"Hb\"=hex:01\\\n"
                      "\"Open\"=\"abc\n"
                      "\"After\"=\"abc\" x\n"
                      "\"NoEquals\" \"x\"\n"
                      "\"Unknown\"=str:\"x\"\n"
                      "\"Del\"=- x\n"
                      "\"NoEnd\n"
                      "stray text\n"
                      "; comment\n"
                      "# comment\n"
                      "\"Good\"=dword:1\n"
                      "\"Hx\"=hex:41,42,\\x\n"
                      "\"Hy\"=hex:41,\\\n"
                      "  42,\\ x\n"));
    EXPECT_EQ("key HKLM\\SOFTWARE\\Test\nvalue Good type 4: 01 00 00 00\n", sink_.events);
    EXPECT_EQ(
        "3: value ignored: dword: needs 1 to 8 hex digits\n"
        "4: value ignored: dword: needs 1 to 8 hex digits\n"
        "5: value ignored: dword: needs 1 to 8 hex digits\n"
        "6: value ignored: hex data must be bytes of one or two hex digits\n"
        "7: value ignored: hex data must be bytes of one or two hex digits\n"
        "8: value ignored: hex data must be bytes of one or two hex digits\n"
        "9: value ignored: text without its closing quote, or with more after it\n"
        "10: value ignored: text without its closing quote, or with more after it\n"
        "11: value ignored: no \"=\" after its name\n"
        "12: value ignored: its data is not \"text\", dword:, hex: or hex(N):\n"
        "13: value ignored: text after \"=-\"\n"
        "14: value ignored: no closing quote after its name\n"
        "15: line ignored: not a key, a value or a comment\n"
        "19: value ignored: text after the \"\\\" that continues its hex data\n"
        "21: value ignored: text after the \"\\\" that continues its hex data\n",
        warnings_);
}

TEST_F(RegExportParserTest, ABadValueLineBeforeAnyKeyGetsOneWarning) {
    ASSERT_TRUE(Parse(std::string(kV5) + "\"A\"=dword:zz\r\n\"B\"=hex:01,\\x\r\n" + kKey));
    EXPECT_EQ("2: value ignored: no key before it\n3: value ignored: no key before it\n",
              warnings_);
}

// Serves its text, then fails as a broken disk or network file would.
class FailingBuffer : public std::streambuf {
  public:
    explicit FailingBuffer(std::string text) : text_(std::move(text)) {
        setg(&text_[0], &text_[0], &text_[0] + text_.size());
    }

  protected:
    int_type underflow() override { throw std::ios_base::failure("read error"); }

  private:
    std::string text_;
};

TEST_F(RegExportParserTest, SuccessIsTheReadsNotTheCallersErrorString) {
    std::string error = "left over from an earlier call";
    std::istringstream good(std::string(kV5) + kKey);
    RegExportParser parser(codepage_, sink_);
    EXPECT_TRUE(parser.Parse(good, &error));

    FailingBuffer buffer(std::string(kV5) + kKey);
    std::istream broken(&buffer);
    RegExportParser failing(codepage_, sink_);
    error.clear();
    EXPECT_FALSE(failing.Parse(broken, &error));
    EXPECT_EQ("cannot be read", error);
}

TEST_F(RegExportParserTest, UnwantedKeysAreCheckedButTheirDataIsDropped) {
    sink_.wanted = false;
    ASSERT_TRUE(Parse(std::string(kV5) + kKey + "\"A\"=hex:01,\\\n  02\n\"B\"=dword:zz\n"));
    EXPECT_EQ("key HKLM\\SOFTWARE\\Test\n", sink_.events);
    EXPECT_EQ("5: value ignored: dword: needs 1 to 8 hex digits\n", warnings_);
}

TEST_F(RegExportParserTest, HardLimitsBoundWhatIsKept) {
    std::string bytes = std::string(kV5) + kKey;
    bytes += "\"Long\"=\"" + std::string(kMaxExportLineChars, 'x') + "\"\n";
    bytes += "\"Big\"=hex:";
    for (size_t i = 0; i <= kMaxExportValueBytes / 16; ++i) {
        bytes += "00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,\\\n";
    }
    bytes += "00\n";
    for (size_t i = 0; i < kMaxReportedExportWarnings + 5; ++i) {
        bytes += "junk\n";
    }
    ASSERT_TRUE(Parse(bytes));
    EXPECT_EQ("key HKLM\\SOFTWARE\\Test\n", sink_.events);
    const size_t bigEnd = 4 + kMaxExportValueBytes / 16 + 1;
    std::istringstream lines(warnings_);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ("3: line skipped: longer than 1048576 characters", line);
    std::getline(lines, line);
    EXPECT_EQ(std::to_string(bigEnd) + ": value ignored: data longer than 1048576 bytes", line);
    size_t count = 2;
    std::string last;
    while (std::getline(lines, line)) {
        ++count;
        last = line;
    }
    EXPECT_EQ(kMaxReportedExportWarnings + 1, count);
    EXPECT_EQ(std::to_string(bigEnd + kMaxReportedExportWarnings - 1) +
                  ": and 7 more malformed lines not listed",
              last);
}

// Valid UTF-8 to UTF-16.
std::u16string FromUtf8(const std::string& text) {
    std::u16string units;
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const size_t extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        char32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
        for (size_t k = 1; k <= extra; ++k) {
            code = code << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        i += extra + 1;
        if (code >= 0x10000) {
            units.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(code));
        }
    }
    return units;
}

// The reader takes a file in pieces of kExportReadPieceBytes and carries what a piece cuts in
// two over to the next. A comment line before the settings moves each feature below one unit at
// a time from six units before that mark to five after it, so that a piece ends in turn before,
// inside and after it (and, in UTF-16, inside its units); every placement must read as the
// file without the comment does, down to the line numbers.
TEST_F(RegExportParserTest, ReadsTheSameWhereverAPieceOfTheFileEnds) {
    // UTF-8 text; "\n" stands for the line end under test.
    const std::string kBody =
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\Layrscan\\Set \xc3\xa9]\n"
        "\"Name \xf0\x9f\x98\x80\"=\"text \xf0\x9f\x98\x80 \xc3\xa9\"\n"
        "\"Bin\"=hex:01,02,03,04,05,06,07,08,\\\n"
        "  09,0a,0b\n"
        "\"Expand\"=hex(2):41,00,42,00,00,00\n"
        "\"Dword\"=dword:0000abcd\n"
        "stray\n";  // its warning's line number shows a line end read as two
    const char* const kFeatures[] = {
        "[HKEY",               // the key line and the line end before it
        "Layrscan",            // the middle of the key line
        "\xf0\x9f\x98\x80\"",  // a surrogate pair in a value name
        "\xf0\x9f\x98\x80 ",   // and in text data
        "\"\n\"Bin",           // a value's line end
        ",\\\n",               // a hex line continued on the next
    };
    const std::string kUnicodeEvents =
        "key HKLM\\SOFTWARE\\Quorix\\Layrscan\\Set <00E9>\n"
        "value Name <D83D><DE00> type 1: 74 00 65 00 78 00 74 00 20 00 3d d8 00 de 20 00 e9 00 "
        "00 00\n"
        "value Bin type 3: 01 02 03 04 05 06 07 08 09 0a 0b\n"
        "value Expand type 2: 41 00 42 00 00 00\n"
        "value Dword type 4: cd ab 00 00\n"
        "8: line ignored: not a key, a value or a comment\n";
    // An 8-bit file is read in the code page, UTF-8 or not, and its hex(2) text too.
    const std::string kAnsiEvents =
        "key HKLM\\SOFTWARE\\Quorix\\Layrscan\\Set <00C3><00A9>\n"
        "value Name <00F0><0178><02DC><20AC> type 1: 74 00 65 00 78 00 74 00 20 00 f0 00 78 01 "
        "dc 02 ac 20 20 00 c3 00 a9 00 00 00\n"
        "value Bin type 3: 01 02 03 04 05 06 07 08 09 0a 0b\n"
        "value Expand type 2: 41 00 00 00 42 00 00 00 00 00 00 00\n"
        "value Dword type 4: cd ab 00 00\n"
        "8: line ignored: not a key, a value or a comment\n";
    struct Encoding {
        const char* name;
        const char* mark;
        size_t unitBytes;
        const std::string& events;
    };
    const Encoding kEncodings[] = {{"UTF-16LE", "\xff\xfe", 2, kUnicodeEvents},
                                   {"ANSI", "", 1, kAnsiEvents},
                                   {"UTF-8", "\xef\xbb\xbf", 1, kUnicodeEvents}};
    struct LineEnd {
        const char* bytes;
        const char* name;
    };
    const LineEnd kLineEnds[] = {{"\r\n", "CR LF"}, {"\n", "LF"}, {"\r", "CR"}};

    ScratchDir scratch;
    const std::string path = scratch.File("big.reg");
    for (const Encoding& encoding : kEncodings) {
        const auto encode = [&](const std::string& text) {
            if (encoding.unitBytes == 1) {
                return text;
            }
            std::string bytes;
            AppendUtf16Le(FromUtf8(text), &bytes);
            return bytes;
        };
        for (const LineEnd& ending : kLineEnds) {
            const char* lineEnd = ending.bytes;
            const auto withLineEnds = [&](std::string text) {
                for (size_t at = text.find('\n'); at != std::string::npos;
                     at = text.find('\n', at + std::strlen(lineEnd))) {
                    text.replace(at, 1, lineEnd);
                }
                return text;
            };
            const std::string header =
                encoding.mark + encode(withLineEnds("Windows Registry Editor Version 5.00\n"));
            const std::string body = withLineEnds(kBody);
            // The events, then the warnings with the line numbers they have without the comment.
            const auto read = [&](const std::string& bytes, size_t commentLines) {
                WriteFileBytes(path, bytes);
                std::ifstream input(path, std::ios::binary);
                RecordingSink sink;
                RegExportParser parser(codepage_, sink);
                std::string error;
                EXPECT_TRUE(parser.Parse(input, &error)) << error;
                for (const RegExportWarning& warning : parser.warnings()) {
                    sink.events +=
                        std::to_string(warning.line - commentLines) + ": " + warning.message + "\n";
                }
                return sink.events;
            };
            SCOPED_TRACE(std::string(encoding.name) + " " + ending.name);
            ASSERT_EQ(encoding.events, read(header + encode(body), 0));
            for (const char* feature : kFeatures) {
                const size_t at = body.find(withLineEnds(feature));
                ASSERT_NE(std::string::npos, at) << feature;
                const size_t before =
                    header.size() + encode(std::string(";") + lineEnd + body.substr(0, at)).size();
                for (size_t padding = 0; padding < 12; ++padding) {
                    const size_t featureStart = kExportReadPieceBytes +
                                                padding * encoding.unitBytes -
                                                6 * encoding.unitBytes;
                    const std::string comment =
                        ";" + std::string((featureStart - before) / encoding.unitBytes, 'c') +
                        lineEnd;
                    const std::string bytes = header + encode(comment + body);
                    ASSERT_EQ(featureStart,
                              bytes.find(encode(withLineEnds(feature)), header.size()));
                    EXPECT_EQ(encoding.events, read(bytes, 1)) << feature << " at " << featureStart;
                }
            }
        }
    }
}

}  // namespace

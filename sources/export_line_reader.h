// The lines of a registry export as UTF-16 text, read piece by piece in the file's encoding.
#pragma once

#include <cstddef>
#include <istream>
#include <memory>
#include <string>
#include <string_view>

class Codepage;

// The file is read in pieces of this many bytes; a line or a UTF-16 unit that a piece cuts in
// two is carried over to the next.
constexpr size_t kExportReadPieceBytes = 1 << 16;
// Longer lines are not decoded: the reader says they were too long.
constexpr size_t kMaxExportLineChars = 1 << 20;

// How the file's text is stored, as its byte-order mark says.
enum class ExportEncoding {
    kUtf16,  // FF FE: UTF-16LE, as Windows writes exports
    kAnsi,   // no mark: 8-bit text in the ANSI code page, even when it looks like UTF-8
    kUtf8,   // EF BB BF: UTF-8 (which regedit itself refuses)
};

class ExportLineReader {
  public:
    // codepage decodes 8-bit files; it must outlive the reader.
    explicit ExportLineReader(const Codepage& codepage);
    ~ExportLineReader();
    ExportLineReader(const ExportLineReader&) = delete;
    ExportLineReader& operator=(const ExportLineReader&) = delete;

    // Starts reading input from its first byte (its byte-order mark, if any, is not a line's).
    // Returns false with *error when it cannot be read or is UTF-16 without a little-endian
    // byte-order mark. The reader keeps input until the next Start.
    bool Start(std::istream& input, std::string* error);

    ExportEncoding encoding() const { return encoding_; }

    // Cuts the next line at CR LF, LF or CR and decodes it into *line, which stays valid until
    // the next call: a byte the code page leaves undefined, or a malformed UTF-8 sequence,
    // becomes U+FFFD. A line longer than kMaxExportLineChars is not decoded: *line is empty and
    // *tooLong true. Returns false at the end of the input or when it cannot be read (see
    // failed()).
    bool Next(std::u16string_view* line, bool* tooLong);

    // True when the last Next stopped because the input could not be read.
    bool failed() const { return failed_; }

  private:
    // Reads the next piece of the input after what is left of the last one. Returns false when
    // the input cannot be read.
    bool Refill();
    // The buffer as the bytes read into it.
    char* Bytes();
    // The offset of the first CR or LF in the buffer from byte pos up to byte end (its unit in
    // *unit), or end.
    size_t FindLineEnd(size_t pos, size_t end, char16_t* unit) const;
    // Moves past the CR or LF unit at byte pos (the buffer's units end at byte end), and past
    // the LF of a CR LF.
    void EndLine(size_t pos, size_t end, char16_t unit);
    // Adds count bytes of the line, cut out of the buffer, to what is kept of it.
    void Keep(const char* bytes, size_t count);
    // Decodes the kept bytes of an 8-bit or UTF-8 line into line_.
    void DecodeBytes();

    const Codepage& codepage_;
    std::istream* input_ = nullptr;
    ExportEncoding encoding_ = ExportEncoding::kAnsi;
    // The undecoded rest of the input between reads: the bytes [bufferPos_, bufferSize_). Kept
    // from one Start to the next, so that reading many files reuses its storage.
    std::unique_ptr<char16_t[]> buffer_;
    bool inPlace_ = false;  // the file's units are char16_t as they lie in the buffer
    size_t bufferSize_ = 0;
    size_t bufferPos_ = 0;
    std::string lineBytes_;  // an 8-bit or UTF-8 line being cut out, undecoded
    std::u16string line_;    // the line decoded; both keep their storage from line to line
    bool endOfInput_ = false;
    bool failed_ = false;
    bool skipLineFeed_ = false;  // the last line ended in CR: an LF right after it belongs to it
};

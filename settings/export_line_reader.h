// The lines of a registry export as UTF-16 text, read piece by piece in the file's encoding.
#pragma once

#include <cstddef>
#include <istream>
#include <memory>
#include <string>

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

    // Cuts the next line at CR LF, LF or CR and decodes it into *line: a byte the code page
    // leaves undefined, or a malformed UTF-8 sequence, becomes U+FFFD. A line longer than
    // kMaxExportLineChars is not decoded: *line is empty and *tooLong true. Returns false at
    // the end of the input or when it cannot be read (see failed()).
    bool Next(std::u16string* line, bool* tooLong);

    // True when the last Next stopped because the input could not be read.
    bool failed() const { return failed_; }

  private:
    void Decode(const std::string& bytes, std::u16string* line) const;

    const Codepage& codepage_;
    std::istream* input_ = nullptr;
    ExportEncoding encoding_ = ExportEncoding::kAnsi;
    // The undecoded rest of the input between reads: buffer_[bufferPos_, bufferSize_). Kept
    // from one Start to the next, so that reading many files reuses its storage.
    std::unique_ptr<char[]> buffer_;
    size_t bufferSize_ = 0;
    size_t bufferPos_ = 0;
    std::string lineBytes_;  // the line being cut out, kept so its storage is reused
    bool endOfInput_ = false;
    bool failed_ = false;
    bool skipLineFeed_ = false;  // the last line ended in CR: an LF right after it belongs to it
};

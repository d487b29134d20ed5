// Cutting a registry export into lines and decoding them from UTF-16LE, ANSI or UTF-8.
#include "sources/export_line_reader.h"

#include <cstdint>
#include <cstring>

#include "text/ascii_case.h"
#include "text/codepage.h"
#include "text/unicode_text.h"

namespace {

constexpr size_t kSniffBytes = 3;  // enough for any byte-order mark
// One piece after the half UTF-16 unit at most that the last one left over.
constexpr size_t kBufferBytes = kExportReadPieceBytes + 1;
static_assert(kSniffBytes <= kBufferBytes, "the first read fits the buffer");
constexpr size_t kUtf16UnitBytes = sizeof(char16_t);

// Four UTF-16 units in one 64-bit word, each in a lane of 16 bits: a lane at or below CR makes
// (word - 0x000E in every lane) & ~word & the top bit of every lane non-zero; with none, no
// lane borrows and the result is zero.
constexpr size_t kUnitsPerWord = 4;
constexpr uint64_t kLanesAfterCr = 0x000E000E000E000Eull;
constexpr uint64_t kLaneTopBits = 0x8000800080008000ull;
// The same for the eight bytes of an 8-bit file.
constexpr uint64_t kBytesAfterCr = 0x0E0E0E0E0E0E0E0Eull;
constexpr uint64_t kByteTopBits = 0x8080808080808080ull;

bool IsLineEnd(char16_t unit) {
    return unit <= u'\r' && (unit == u'\r' || unit == u'\n');
}

}  // namespace

ExportLineReader::ExportLineReader(const Codepage& codepage) : codepage_(codepage) {}

ExportLineReader::~ExportLineReader() = default;

bool ExportLineReader::Start(std::istream& input, std::string* error) {
    if (!buffer_) {
        // Not zero-filled: only what the reads bring in is ever looked at. Its units are
        // char16_t objects, which the lines of a UTF-16 file are handed over as.
        buffer_.reset(new char16_t[(kBufferBytes + 1) / kUtf16UnitBytes]);
    }
    input_ = &input;
    failed_ = false;
    skipLineFeed_ = false;
    char* start = Bytes();
    input.read(start, kSniffBytes);
    const size_t got = static_cast<size_t>(input.gcount());
    bufferSize_ = got;
    bufferPos_ = 0;
    endOfInput_ = got < kSniffBytes;
    if (input.bad()) {
        failed_ = true;
        *error = "cannot be read";
        return false;
    }
    const unsigned char b0 = got > 0 ? static_cast<unsigned char>(start[0]) : 0;
    const unsigned char b1 = got > 1 ? static_cast<unsigned char>(start[1]) : 0;
    const unsigned char b2 = got > 2 ? static_cast<unsigned char>(start[2]) : 0;
    if (b0 == 0xFF && b1 == 0xFE) {
        encoding_ = ExportEncoding::kUtf16;
        bufferPos_ = 2;
    } else if (b0 == 0xEF && b1 == 0xBB && b2 == 0xBF) {
        encoding_ = ExportEncoding::kUtf8;
        bufferPos_ = 3;
    } else if ((b0 == 0xFE && b1 == 0xFF) || (got >= 2 && (b0 == 0 || b1 == 0))) {
        *error = "unreadable encoding (UTF-16 without a little-endian byte-order mark)";
        return false;
    } else {
        encoding_ = ExportEncoding::kAnsi;
    }
    // Where a char16_t is stored as UTF-16LE is, a line is handed over where it lies.
    inPlace_ = encoding_ == ExportEncoding::kUtf16 && HostIsLittleEndian();
    return true;
}

char* ExportLineReader::Bytes() {
    return reinterpret_cast<char*>(buffer_.get());
}

bool ExportLineReader::Refill() {
    // What is left is less than one unit (half a UTF-16 one at most): it goes first, so that
    // the units of a UTF-16 file always start at an even offset.
    char* bytes = Bytes();
    const size_t kept = bufferSize_ - bufferPos_;
    std::memmove(bytes, bytes + bufferPos_, kept);
    bufferPos_ = 0;
    input_->read(bytes + kept, kExportReadPieceBytes);
    const size_t got = static_cast<size_t>(input_->gcount());
    bufferSize_ = kept + got;
    if (input_->bad()) {
        failed_ = true;
        return false;
    }
    endOfInput_ = got == 0;
    return true;
}

void ExportLineReader::Keep(const char* bytes, size_t count) {
    if (encoding_ != ExportEncoding::kUtf16) {
        lineBytes_.append(bytes, count);
        return;
    }
    AppendUtf16FromLe({bytes, count}, &line_);
}

size_t ExportLineReader::FindLineEnd(size_t pos, size_t end, char16_t* unit) const {
    const char* data = reinterpret_cast<const char*>(buffer_.get());
    if (inPlace_) {
        const char16_t* units = buffer_.get();
        size_t i = pos / kUtf16UnitBytes;
        const size_t last = end / kUtf16UnitBytes;
        while (i < last) {
            // Four units at a time while none of them is a control character.
            uint64_t four = 0;
            if (i + kUnitsPerWord <= last) {
                std::memcpy(&four, units + i, sizeof four);
                if (((four - kLanesAfterCr) & ~four & kLaneTopBits) == 0) {
                    i += kUnitsPerWord;
                    continue;
                }
            }
            if (IsLineEnd(units[i])) {
                break;
            }
            ++i;
        }
        if (i < last) {
            *unit = units[i];
        }
        return i * kUtf16UnitBytes;
    }
    if (encoding_ == ExportEncoding::kUtf16) {
        for (; pos < end; pos += kUtf16UnitBytes) {
            *unit = LoadUtf16Le(data + pos);
            if (IsLineEnd(*unit)) {
                break;
            }
        }
        return pos;
    }
    while (pos < end) {
        // Eight bytes at a time while none of them is a control character.
        uint64_t eight = 0;
        if (pos + sizeof eight <= end) {
            std::memcpy(&eight, data + pos, sizeof eight);
            if (((eight - kBytesAfterCr) & ~eight & kByteTopBits) == 0) {
                pos += sizeof eight;
                continue;
            }
        }
        *unit = static_cast<unsigned char>(data[pos]);
        if (IsLineEnd(*unit)) {
            break;
        }
        ++pos;
    }
    return pos;
}

void ExportLineReader::EndLine(size_t pos, size_t end, char16_t unit) {
    const size_t unitBytes = encoding_ == ExportEncoding::kUtf16 ? kUtf16UnitBytes : 1;
    bufferPos_ = pos + unitBytes;
    skipLineFeed_ = unit == u'\r';
    // The LF of a CR LF, when the buffer holds it already.
    if (skipLineFeed_ && bufferPos_ < end) {
        const char* data = Bytes() + bufferPos_;
        const char16_t next =
            unitBytes == kUtf16UnitBytes ? LoadUtf16Le(data) : static_cast<unsigned char>(*data);
        skipLineFeed_ = false;
        if (next == u'\n') {
            bufferPos_ += unitBytes;
        }
    }
}

bool ExportLineReader::Next(std::u16string_view* line, bool* tooLong) {
    const size_t unitBytes = encoding_ == ExportEncoding::kUtf16 ? kUtf16UnitBytes : 1;
    const size_t maxBytes = kMaxExportLineChars * unitBytes;
    size_t lineBytes = 0;
    line_.clear();
    lineBytes_.clear();
    bool sawAny = false;
    *tooLong = false;
    for (;;) {
        if (bufferSize_ - bufferPos_ < unitBytes) {
            if (endOfInput_) {
                break;
            }
            if (!Refill()) {
                return false;
            }
            continue;
        }
        const char* data = Bytes();
        const size_t end = bufferSize_ - (bufferSize_ - bufferPos_) % unitBytes;
        if (skipLineFeed_) {
            skipLineFeed_ = false;
            const char16_t first = unitBytes == kUtf16UnitBytes
                                       ? LoadUtf16Le(data + bufferPos_)
                                       : static_cast<unsigned char>(data[bufferPos_]);
            if (first == u'\n') {
                bufferPos_ += unitBytes;
                continue;
            }
        }
        char16_t unit = 0;
        const size_t pos = FindLineEnd(bufferPos_, end, &unit);
        const bool lineEnd = pos < end;
        const size_t take = pos - bufferPos_;
        if (lineEnd && inPlace_ && lineBytes == 0 && !*tooLong && take <= maxBytes) {
            // The whole line lies in the buffer: handed over where it is.
            *line = std::u16string_view(buffer_.get() + bufferPos_ / kUtf16UnitBytes,
                                        take / kUtf16UnitBytes);
            EndLine(pos, end, unit);
            return true;
        }
        sawAny = sawAny || lineEnd || take > 0;
        if (!*tooLong && lineBytes + take <= maxBytes) {
            Keep(data + bufferPos_, take);
            lineBytes += take;
        } else {
            *tooLong = true;
        }
        if (lineEnd) {
            EndLine(pos, end, unit);
            break;
        }
        bufferPos_ = pos;
    }
    if (!sawAny) {
        return false;
    }
    if (*tooLong) {
        line_.clear();
    } else if (unitBytes == 1) {
        DecodeBytes();
    }
    *line = line_;
    return true;
}
void ExportLineReader::DecodeBytes() {
    if (encoding_ == ExportEncoding::kUtf8) {
        AppendUtf8Decoded(lineBytes_, &line_);
        return;
    }
    // ASCII, which nearly every line is, is widened as it is.
    line_.resize(lineBytes_.size());
    char16_t* units = &line_[0];
    for (size_t i = 0; i < lineBytes_.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(lineBytes_[i]);
        if (byte >= kFirstNonAscii) {
            codepage_.ToUtf16(lineBytes_, &line_);
            return;
        }
        units[i] = byte;
    }
}

// Cutting a registry export into lines and decoding them from UTF-16LE, ANSI or UTF-8.
#include "settings/export_line_reader.h"

#include <cstring>

#include "settings/codepage.h"
#include "settings/unicode_text.h"

namespace {

constexpr size_t kSniffBytes = 3;  // enough for any byte-order mark
// One piece after the half UTF-16 unit at most that the last one left over.
constexpr size_t kBufferBytes = kExportReadPieceBytes + 1;
static_assert(kSniffBytes <= kBufferBytes, "the first read fits the buffer");
constexpr size_t kUtf16UnitBytes = 2;

}  // namespace

ExportLineReader::ExportLineReader(const Codepage& codepage) : codepage_(codepage) {}

ExportLineReader::~ExportLineReader() = default;

bool ExportLineReader::Start(std::istream& input, std::string* error) {
    if (!buffer_) {
        // Not zero-filled: only what the reads bring in is ever looked at.
        buffer_.reset(new char[kBufferBytes]);
    }
    input_ = &input;
    failed_ = false;
    skipLineFeed_ = false;
    const char* start = buffer_.get();
    input.read(buffer_.get(), kSniffBytes);
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
    return true;
}

bool ExportLineReader::Next(std::u16string* line, bool* tooLong) {
    const size_t unitBytes = encoding_ == ExportEncoding::kUtf16 ? kUtf16UnitBytes : 1;
    const size_t maxBytes = kMaxExportLineChars * unitBytes;
    std::string& bytes = lineBytes_;
    bytes.clear();
    bool sawAny = false;
    *tooLong = false;
    for (;;) {
        if (bufferSize_ - bufferPos_ < unitBytes) {
            if (endOfInput_) {
                break;
            }
            // What is left is less than one unit (half a UTF-16 one at most): it goes first.
            const size_t kept = bufferSize_ - bufferPos_;
            std::memmove(buffer_.get(), buffer_.get() + bufferPos_, kept);
            bufferPos_ = 0;
            input_->read(buffer_.get() + kept, kExportReadPieceBytes);
            const size_t got = static_cast<size_t>(input_->gcount());
            bufferSize_ = kept + got;
            if (input_->bad()) {
                failed_ = true;
                return false;
            }
            endOfInput_ = got == 0;
            continue;
        }
        const char* data = buffer_.get();
        const size_t end = bufferSize_ - (bufferSize_ - bufferPos_) % unitBytes;
        size_t pos = bufferPos_;
        char16_t unit = 0;
        bool lineEnd = false;
        for (; pos < end; pos += unitBytes) {
            unit = unitBytes == kUtf16UnitBytes ? LoadUtf16Le(data + pos)
                                                : static_cast<unsigned char>(data[pos]);
            if (skipLineFeed_) {
                skipLineFeed_ = false;
                if (unit == u'\n') {
                    bufferPos_ = pos + unitBytes;
                    continue;
                }
            }
            sawAny = true;
            if (unit == u'\r' || unit == u'\n') {
                lineEnd = true;
                break;
            }
        }
        const size_t take = pos - bufferPos_;
        if (bytes.size() + take <= maxBytes) {
            bytes.append(data + bufferPos_, take);
        } else {
            *tooLong = true;
        }
        if (lineEnd) {
            skipLineFeed_ = unit == u'\r';
            bufferPos_ = pos + unitBytes;
            break;
        }
        bufferPos_ = pos;
    }
    if (!sawAny) {
        return false;
    }
    line->clear();
    if (!*tooLong) {
        Decode(bytes, line);
    }
    return true;
}

void ExportLineReader::Decode(const std::string& bytes, std::u16string* line) const {
    switch (encoding_) {
        case ExportEncoding::kUtf16:
            AppendUtf16FromLe(bytes, line);
            return;
        case ExportEncoding::kUtf8:
            AppendUtf8Decoded(bytes, line);
            return;
        case ExportEncoding::kAnsi:
            break;
    }
    bool ascii = true;
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        line->assign(bytes.begin(), bytes.end());
    } else {
        codepage_.ToUtf16(bytes, line);
    }
}

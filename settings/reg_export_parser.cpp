// The registry export reader: a line state machine over UTF-16, ANSI or UTF-8 text.
#include "settings/reg_export_parser.h"

#include <cstring>

#include "settings/ascii_case.h"
#include "settings/codepage.h"
#include "settings/text_limits.h"

namespace {

constexpr size_t kReadChunkBytes = 1 << 16;
constexpr size_t kSniffBytes = 3;  // enough for any byte-order mark
// One read after the half UTF-16 unit at most that the last one left over.
constexpr size_t kBufferBytes = kReadChunkBytes + 1;
static_assert(kSniffBytes <= kBufferBytes, "the first read fits the buffer");
constexpr size_t kMaxDwordDigits = 8;
constexpr size_t kMaxHexByteDigits = 2;
constexpr size_t kMaxHexTypeDigits = 8;

const char16_t kHeaderVersion4[] = u"REGEDIT4";
const char16_t kHeaderVersion5[] = u"Windows Registry Editor Version 5.00";

struct RootName {
    const char* name;
    RegRootKey key;
};
const RootName kRootNames[] = {
    {"HKEY_LOCAL_MACHINE", RegRootKey::kLocalMachine},
    {"HKEY_USERS", RegRootKey::kUsers},
    {"HKEY_CLASSES_ROOT", RegRootKey::kClassesRoot},
    {"HKEY_CURRENT_CONFIG", RegRootKey::kCurrentConfig},
    {"HKEY_CURRENT_USER", RegRootKey::kCurrentUser},
    {"HKEY_DYN_DATA", RegRootKey::kDynData},
};

enum class DataForm { kString, kDword, kHex, kTypedHex };

// The forms a value's data may take, told apart by how the data starts.
struct ValueForm {
    const char16_t* prefix;
    DataForm form;
    uint32_t type;  // for kTypedHex the type follows the prefix: hex(N):
};
const ValueForm kValueForms[] = {
    // prefix     form                 type
    {u"\"", DataForm::kString, kRegSz},
    {u"dword:", DataForm::kDword, kRegDword},
    {u"hex:", DataForm::kHex, kRegBinary},
    {u"hex(", DataForm::kTypedHex, 0},
};

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

int HexDigitValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    return -1;
}

size_t SkipBlanks(const std::u16string& line, size_t pos) {
    while (pos < line.size() && IsBlank(line[pos])) {
        ++pos;
    }
    return pos;
}

// True when nothing but blanks and a ";" comment follows pos.
bool OnlyCommentFollows(const std::u16string& line, size_t pos) {
    pos = SkipBlanks(line, pos);
    return pos == line.size() || line[pos] == u';';
}

bool StartsWith(const std::u16string& line, size_t pos, const char16_t* prefix) {
    for (size_t i = 0; prefix[i] != u'\0'; ++i) {
        if (pos + i >= line.size() || line[pos + i] != prefix[i]) {
            return false;
        }
    }
    return true;
}

// Reads a quoted text that starts after its opening quote at *pos, with regedit's escapes.
// Returns false when it has no closing quote; else *pos is just past that quote.
bool Unescape(const std::u16string& line, size_t* pos, bool isData, std::u16string* text) {
    text->clear();
    for (size_t i = *pos; i < line.size(); ++i) {
        char16_t c = line[i];
        if (c == u'"') {
            *pos = i + 1;
            return true;
        }
        if (c == u'\\') {
            if (++i == line.size()) {
                return false;
            }
            c = line[i];
            if (isData && c == u'n') {
                c = u'\n';
            } else if (isData && c == u'r') {
                c = u'\r';
            }
        }
        text->push_back(c);
    }
    return false;
}

void AppendUtf16Le(const std::u16string& text, std::string* bytes) {
    for (char16_t unit : text) {
        bytes->push_back(static_cast<char>(unit & 0xFF));
        bytes->push_back(static_cast<char>(unit >> 8));
    }
}

void AppendUtf8Decoded(const std::string& bytes, std::u16string* text) {
    constexpr char16_t kReplacement = 0xFFFD;
    size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        size_t extra = 0;
        char32_t code = 0;
        if (lead < 0x80) {
            code = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            code = lead & 0x07;
        } else {
            text->push_back(kReplacement);
            ++i;
            continue;
        }
        size_t used = 1;
        for (; used <= extra && i + used < bytes.size(); ++used) {
            const unsigned char next = static_cast<unsigned char>(bytes[i + used]);
            if ((next & 0xC0) != 0x80) {
                break;
            }
            code = (code << 6) | (next & 0x3F);
        }
        const char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (used != extra + 1 || code < kMinimum[extra] || code > 0x10FFFF ||
            (code >= 0xD800 && code < 0xE000)) {
            text->push_back(kReplacement);
            i += used;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            text->push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            text->push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            text->push_back(static_cast<char16_t>(code));
        }
        i += used;
    }
}

}  // namespace

RegExportParser::RegExportParser(const Codepage& codepage, RegExportSink& sink)
    : codepage_(codepage), sink_(sink) {}

bool RegExportParser::Parse(std::istream& input, std::string* error) {
    if (!buffer_) {
        // Not zero-filled: only what the reads bring in is ever looked at.
        buffer_.reset(new char[kBufferBytes]);
    }
    const char* start = buffer_.get();
    input.read(buffer_.get(), kSniffBytes);
    const size_t got = static_cast<size_t>(input.gcount());
    bufferSize_ = got;
    bufferPos_ = 0;
    endOfInput_ = got < kSniffBytes;
    if (input.bad()) {
        *error = "cannot be read";
        return false;
    }
    const unsigned char b0 = got > 0 ? static_cast<unsigned char>(start[0]) : 0;
    const unsigned char b1 = got > 1 ? static_cast<unsigned char>(start[1]) : 0;
    const unsigned char b2 = got > 2 ? static_cast<unsigned char>(start[2]) : 0;
    if (b0 == 0xFF && b1 == 0xFE) {
        encoding_ = Encoding::kUtf16;
        bufferPos_ = 2;
    } else if (b0 == 0xEF && b1 == 0xBB && b2 == 0xBF) {
        encoding_ = Encoding::kUtf8;
        bufferPos_ = 3;
    } else if ((b0 == 0xFE && b1 == 0xFF) || (got >= 2 && (b0 == 0 || b1 == 0))) {
        *error = "unreadable encoding (UTF-16 without a little-endian byte-order mark)";
        return false;
    } else {
        encoding_ = Encoding::kAnsi;
    }

    std::u16string line;
    bool tooLong = false;
    readFailed_ = false;
    while (NextLine(input, &line, &tooLong)) {
        ++lineNumber_;
        if (state_ == State::kHeader) {
            if (!HandleHeader(line)) {
                *error =
                    "not a registry export: the first line is not \"REGEDIT4\" or "
                    "\"Windows Registry Editor Version 5.00\"";
                return false;
            }
            continue;
        }
        if (tooLong) {
            Warn("line skipped: longer than " + std::to_string(kMaxExportLineChars) +
                 " characters");
            state_ = State::kLineStart;
            continue;
        }
        if (state_ == State::kHexContinuation) {
            HandleHexContinuation(line);
        } else {
            HandleLine(line);
        }
    }
    if (readFailed_) {
        *error = "cannot be read";
        return false;
    }
    if (state_ == State::kHeader) {
        *error = "not a registry export: it is empty";
        return false;
    }
    if (state_ == State::kHexContinuation) {
        FinishValue();
    }
    if (unreportedWarnings_ > 0) {
        warnings_.push_back({firstUnreportedLine_, "and " + std::to_string(unreportedWarnings_) +
                                                       " more malformed lines not listed"});
    }
    return true;
}

// Cuts the next line out of the input at CR LF, LF or CR. Returns false at the end of the
// input, or with readFailed_ set when it cannot be read.
bool RegExportParser::NextLine(std::istream& input, std::u16string* line, bool* tooLong) {
    const size_t unitBytes = encoding_ == Encoding::kUtf16 ? 2 : 1;
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
            input.read(buffer_.get() + kept, kReadChunkBytes);
            const size_t got = static_cast<size_t>(input.gcount());
            bufferSize_ = kept + got;
            if (input.bad()) {
                readFailed_ = true;
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
            unit = static_cast<unsigned char>(data[pos]);
            if (unitBytes == 2) {
                unit |= static_cast<char16_t>(static_cast<unsigned char>(data[pos + 1]) << 8);
            }
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
        DecodeLine(bytes, line);
    }
    return true;
}

// Turns one line's bytes into UTF-16; a byte the code page leaves undefined becomes U+FFFD.
void RegExportParser::DecodeLine(const std::string& bytes, std::u16string* line) {
    switch (encoding_) {
        case Encoding::kUtf16:
            for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
                line->push_back(
                    static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8));
            }
            return;
        case Encoding::kUtf8:
            AppendUtf8Decoded(bytes, line);
            return;
        case Encoding::kAnsi:
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

bool RegExportParser::HandleHeader(const std::u16string& line) {
    const std::u16string header = line.substr(SkipBlanks(line, 0));
    if (header == kHeaderVersion4) {
        version5_ = false;
    } else if (header == kHeaderVersion5) {
        version5_ = true;
    } else {
        return false;
    }
    state_ = State::kLineStart;
    return true;
}

void RegExportParser::HandleLine(const std::u16string& line) {
    const size_t start = SkipBlanks(line, 0);
    if (start == line.size()) {
        return;
    }
    switch (line[start]) {
        case u'[':
            HandleKeyLine(line, start);
            return;
        case u'"':
        case u'@':
            HandleValueLine(line, start);
            return;
        case u';':
        case u'#':
            return;
        default:
            Warn("line ignored: not a key, a value or a comment");
            return;
    }
}

void RegExportParser::HandleKeyLine(const std::u16string& line, size_t open) {
    const size_t close = line.rfind(u']');
    if (open + 1 == line.size() || IsBlank(line[open + 1]) || close == std::u16string::npos ||
        close <= open) {
        Warn("key line ignored: a blank after \"[\" or no closing \"]\"");
        return;
    }
    size_t pos = open + 1;
    const bool deletion = line[pos] == u'-';
    if (deletion) {
        ++pos;
    }
    std::vector<std::u16string> names;
    while (pos < close) {
        size_t next = line.find(u'\\', pos);
        if (next == std::u16string::npos || next > close) {
            next = close;
        }
        if (next > pos) {
            names.push_back(line.substr(pos, next - pos));
        }
        pos = next + 1;
    }
    const RootName* root = nullptr;
    if (!names.empty()) {
        for (const RootName& candidate : kRootNames) {
            if (EqualsAsciiNoCase(names.front(), candidate.name)) {
                root = &candidate;
            }
        }
    }
    if (root == nullptr) {
        Warn("key ignored: it does not start with a known root such as HKEY_LOCAL_MACHINE");
        currentKey_ = CurrentKey::kRejected;
        return;
    }
    names.erase(names.begin());
    for (const std::u16string& name : names) {
        if (name.size() > kMaxRegistryKeyChars) {
            Warn("key ignored: a name longer than " + std::to_string(kMaxRegistryKeyChars) +
                 " characters");
            currentKey_ = CurrentKey::kRejected;
            return;
        }
    }
    if (deletion) {
        sink_.OnDeleteKey(root->key, names);
        currentKey_ = CurrentKey::kNone;
        return;
    }
    currentKey_ = sink_.OnKey(root->key, names) ? CurrentKey::kWanted : CurrentKey::kUnwanted;
}

void RegExportParser::HandleValueLine(const std::u16string& line, size_t start) {
    pending_ = PendingValue();
    pendingTooLong_ = false;
    size_t pos = start + 1;
    if (line[start] == u'"' && !Unescape(line, &pos, false, &pending_.name)) {
        Warn("value ignored: no closing quote after its name");
        return;
    }
    pos = SkipBlanks(line, pos);
    if (pos == line.size() || line[pos] != u'=') {
        Warn("value ignored: no \"=\" after its name");
        return;
    }
    if (pending_.name.size() > kMaxValueNameChars) {
        Warn("value ignored: a name longer than " + std::to_string(kMaxValueNameChars) +
             " characters");
        return;
    }
    if (currentKey_ == CurrentKey::kNone) {
        Warn("value ignored: no key before it");
    }
    pending_.keep = currentKey_ == CurrentKey::kWanted;
    pos = SkipBlanks(line, pos + 1);
    if (pos < line.size() && line[pos] == u'-') {
        if (!OnlyCommentFollows(line, pos + 1)) {
            Warn("value ignored: text after \"=-\"");
        } else if (pending_.keep) {
            sink_.OnDeleteValue(pending_.name);
        }
        return;
    }
    ParseValueData(line, pos);
}

// Parses the data after "=". Returns false (reported) when it is malformed.
bool RegExportParser::ParseValueData(const std::u16string& line, size_t pos) {
    const ValueForm* form = nullptr;
    for (const ValueForm& candidate : kValueForms) {
        if (StartsWith(line, pos, candidate.prefix)) {
            form = &candidate;
            break;
        }
    }
    if (form == nullptr) {
        Warn("value ignored: its data is not \"text\", dword:, hex: or hex(N):");
        return false;
    }
    pos += std::char_traits<char16_t>::length(form->prefix);
    pending_.type = form->type;
    switch (form->form) {
        case DataForm::kString: {
            std::u16string text;
            if (!Unescape(line, &pos, true, &text) || !OnlyCommentFollows(line, pos)) {
                Warn("value ignored: text without its closing quote, or with more after it");
                return false;
            }
            text.push_back(u'\0');
            if (pending_.keep) {
                AppendUtf16Le(text, &pending_.data);
            }
            FinishValue();
            return true;
        }
        case DataForm::kDword: {
            pos = SkipBlanks(line, pos);
            uint32_t value = 0;
            size_t digits = 0;
            for (; pos < line.size() && HexDigitValue(line[pos]) >= 0; ++pos, ++digits) {
                value = (value << 4) | static_cast<uint32_t>(HexDigitValue(line[pos]));
            }
            if (digits == 0 || digits > kMaxDwordDigits || !OnlyCommentFollows(line, pos)) {
                Warn("value ignored: dword: needs 1 to 8 hex digits");
                return false;
            }
            if (pending_.keep) {
                for (int i = 0; i < 4; ++i) {
                    pending_.data.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
                }
            }
            FinishValue();
            return true;
        }
        case DataForm::kTypedHex: {
            uint32_t type = 0;
            size_t digits = 0;
            for (; pos < line.size() && HexDigitValue(line[pos]) >= 0; ++pos, ++digits) {
                type = (type << 4) | static_cast<uint32_t>(HexDigitValue(line[pos]));
            }
            if (digits == 0 || digits > kMaxHexTypeDigits || !StartsWith(line, pos, u"):")) {
                Warn("value ignored: hex( needs a hex type number and \"):\"");
                return false;
            }
            pending_.type = type;
            pos += 2;
            break;
        }
        case DataForm::kHex:
            break;
    }
    pending_.fromHex = true;
    return ParseHexItems(line, pos);
}

// Parses comma-separated bytes from pos to the end of the line. A line ending in ",\" leaves
// the value open for the next line. Returns false (reported) when the bytes are malformed.
bool RegExportParser::ParseHexItems(const std::u16string& line, size_t pos) {
    for (;;) {
        pos = SkipBlanks(line, pos);
        if (pos == line.size() || line[pos] == u';') {
            break;
        }
        if (line[pos] == u'\\') {
            if (!OnlyCommentFollows(line, pos + 1)) {
                Warn("value ignored: text after the \"\\\" that continues its hex data");
                state_ = State::kLineStart;
                return false;
            }
            state_ = State::kHexContinuation;
            return true;
        }
        unsigned int byte = 0;
        size_t digits = 0;
        for (; pos < line.size() && HexDigitValue(line[pos]) >= 0; ++pos, ++digits) {
            byte = (byte << 4) | static_cast<unsigned int>(HexDigitValue(line[pos]));
        }
        if (digits == 0 || digits > kMaxHexByteDigits) {
            Warn("value ignored: hex data must be bytes of one or two hex digits");
            state_ = State::kLineStart;
            return false;
        }
        if (pending_.keep) {
            if (pending_.data.size() < kMaxExportValueBytes) {
                pending_.data.push_back(static_cast<char>(byte));
            } else {
                pendingTooLong_ = true;
            }
        }
        pos = SkipBlanks(line, pos);
        if (pos < line.size() && line[pos] == u',') {
            ++pos;
            continue;
        }
        if (!OnlyCommentFollows(line, pos)) {
            Warn("value ignored: hex data must be bytes of one or two hex digits");
            state_ = State::kLineStart;
            return false;
        }
        break;
    }
    state_ = State::kLineStart;
    FinishValue();
    return true;
}

void RegExportParser::HandleHexContinuation(const std::u16string& line) {
    const size_t pos = SkipBlanks(line, 0);
    if (pos == line.size() || line[pos] == u';') {
        return;
    }
    if (HexDigitValue(line[pos]) < 0) {
        Warn("value ignored, and this line with it: hex data continued by a line that is not hex");
        state_ = State::kLineStart;
        return;
    }
    ParseHexItems(line, pos);
}

// Hands the value just read to the sink, as the registry would store it.
void RegExportParser::FinishValue() {
    if (!pending_.keep) {
        return;
    }
    if (pendingTooLong_ || pending_.data.size() > kMaxExportValueBytes) {
        Warn("value ignored: data longer than " + std::to_string(kMaxExportValueBytes) + " bytes");
        return;
    }
    const bool textType =
        pending_.type == kRegSz || pending_.type == kRegExpandSz || pending_.type == kRegMultiSz;
    std::string& data = pending_.data;
    if (textType && pending_.fromHex) {
        // A UTF-8 file of version 5 is a converted UTF-16 export, so its hex text is UTF-16.
        const bool utf16Text =
            encoding_ == Encoding::kUtf16 || (encoding_ == Encoding::kUtf8 && version5_);
        if (utf16Text) {
            const size_t size = data.size();
            if (size < 2 || size % 2 != 0 || data[size - 1] != '\0' || data[size - 2] != '\0') {
                data.append(2, '\0');
            }
        } else {
            if (data.empty() || data.back() != '\0') {
                data.push_back('\0');
            }
            std::u16string text;
            codepage_.ToUtf16(data, &text);
            data.clear();
            AppendUtf16Le(text, &data);
        }
    }
    sink_.OnValue(pending_.name, pending_.type, std::move(data));
}

// Each malformed line is reported once, by the first fault found in it.
void RegExportParser::Warn(const std::string& message) {
    if (lineNumber_ == lastWarnedLine_) {
        return;
    }
    lastWarnedLine_ = lineNumber_;
    if (warnings_.size() < kMaxReportedExportWarnings) {
        warnings_.push_back({lineNumber_, message});
    } else if (unreportedWarnings_++ == 0) {
        firstUnreportedLine_ = lineNumber_;
    }
}

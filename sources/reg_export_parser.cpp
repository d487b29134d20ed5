// The .reg grammar: a line state machine over the lines the export line reader decodes.
#include "sources/reg_export_parser.h"

#include "sources/reg_value_data.h"
#include "text/ascii_case.h"
#include "text/text_limits.h"
#include "text/unicode_text.h"

namespace {

const char16_t kHeaderVersion4[] = u"REGEDIT4";
const char16_t kHeaderVersion5[] = u"Windows Registry Editor Version 5.00";
const char16_t kEndOfFileMark[] = u"\x1a";  // Ctrl-Z
const char kStrayLine[] = "line ignored: not a key, a value or a comment";

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

}  // namespace

RegExportParser::RegExportParser(const Codepage& codepage, RegExportSink& sink)
    : codepage_(codepage), sink_(sink), reader_(codepage) {}

bool RegExportParser::Parse(std::istream& input, std::string* error) {
    if (!reader_.Start(input, error)) {
        return false;
    }
    std::u16string_view line;
    bool tooLong = false;
    while (reader_.Next(&line, &tooLong)) {
        ++lineNumber_;
        if (endOfFileMarkLine_ != 0 && (tooLong || SkipBlanks(line, 0) < line.size())) {
            WarnAt(endOfFileMarkLine_, kStrayLine);  // the mark was not the last line after all
            endOfFileMarkLine_ = 0;
        }
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
    if (reader_.failed()) {
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

bool RegExportParser::HandleHeader(std::u16string_view line) {
    const std::u16string_view header = line.substr(SkipBlanks(line, 0));
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

void RegExportParser::HandleLine(std::u16string_view line) {
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
            // Old DOS and Windows tools end a text file with Ctrl-Z, which regedit passes over.
            if (line == kEndOfFileMark) {
                endOfFileMarkLine_ = lineNumber_;
                return;
            }
            Warn(kStrayLine);
            return;
    }
}

void RegExportParser::HandleKeyLine(std::u16string_view line, size_t open) {
    const size_t close = line.rfind(u']');
    if (open + 1 == line.size() || IsExportBlank(line[open + 1]) ||
        close == std::u16string_view::npos || close <= open) {
        Warn("key line ignored: a blank after \"[\" or no closing \"]\"");
        return;
    }
    size_t pos = open + 1;
    const bool deletion = line[pos] == u'-';
    if (deletion) {
        ++pos;
    }
    std::vector<std::u16string_view>& names = keyPath_;
    names.clear();
    while (pos < close) {
        size_t next = line.find(u'\\', pos);
        if (next == std::u16string_view::npos || next > close) {
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
    if (deletion && names.empty()) {
        // Windows cannot delete a root key; reading it as a deletion would drop every set read.
        Warn(std::string("key deletion ignored: ") + root->name +
             " is a root key, which cannot be deleted");
        currentKey_ = CurrentKey::kRejected;
        return;
    }
    for (const std::u16string_view name : names) {
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

void RegExportParser::HandleValueLine(std::u16string_view line, size_t start) {
    pending_.name = std::u16string_view();
    pending_.type = 0;
    pending_.data.clear();
    pending_.keep = false;
    pending_.fromHex = false;
    pendingTooLong_ = false;
    size_t pos = start + 1;
    if (line[start] == u'"' &&
        !Unescape(line, &pos, false, &pending_.nameStorage, &pending_.name)) {
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
bool RegExportParser::ParseValueData(std::u16string_view line, size_t pos) {
    const ValueForm* form = FindValueForm(line, pos);
    if (form == nullptr) {
        Warn("value ignored: its data is not \"text\", dword:, hex: or hex(N):");
        return false;
    }
    pos += std::char_traits<char16_t>::length(form->prefix);
    pending_.type = form->type;
    switch (form->form) {
        case DataForm::kString: {
            std::u16string_view text;
            if (!Unescape(line, &pos, true, &text_, &text) || !OnlyCommentFollows(line, pos)) {
                Warn("value ignored: text without its closing quote, or with more after it");
                return false;
            }
            if (pending_.keep) {
                AppendUtf16Le(text, &pending_.data);
                pending_.data.push_back('\0');  // the terminator: one UTF-16 unit
                pending_.data.push_back('\0');
            }
            FinishValue();
            return true;
        }
        case DataForm::kDword: {
            uint32_t value = 0;
            if (!ParseDword(line, pos, &value)) {
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
        case DataForm::kTypedHex:
            if (!ParseHexType(line, &pos, &pending_.type)) {
                Warn("value ignored: hex( needs a hex type number and \"):\"");
                return false;
            }
            break;
        case DataForm::kHex:
            break;
    }
    pending_.fromHex = true;
    return ParseHexItems(line, pos);
}

// Parses comma-separated bytes from pos to the end of the line. A line ending in ",\" leaves
// the value open for the next line. Returns false (reported) when the bytes are malformed.
bool RegExportParser::ParseHexItems(std::u16string_view line, size_t pos) {
    state_ = State::kLineStart;
    switch (ParseHexBytes(line, pos, pending_.keep ? &pending_.data : nullptr, &pendingTooLong_)) {
        case HexBytesEnd::kValue:
            FinishValue();
            return true;
        case HexBytesEnd::kContinued:
            state_ = State::kHexContinuation;
            // The name must outlive the line it was read from.
            if (pending_.name.data() != pending_.nameStorage.data()) {
                pending_.nameStorage.assign(pending_.name);
                pending_.name = pending_.nameStorage;
            }
            return true;
        case HexBytesEnd::kTextAfterEnd:
            Warn("value ignored: text after the \"\\\" that continues its hex data");
            return false;
        case HexBytesEnd::kMalformed:
            break;
    }
    Warn("value ignored: hex data must be bytes of one or two hex digits");
    return false;
}

void RegExportParser::HandleHexContinuation(std::u16string_view line) {
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
    if (IsTextType(pending_.type) && pending_.fromHex) {
        // A UTF-8 file of version 5 is a converted UTF-16 export, so its hex text is UTF-16.
        const ExportEncoding encoding = reader_.encoding();
        StoreHexText(
            encoding == ExportEncoding::kUtf16 || (encoding == ExportEncoding::kUtf8 && version5_),
            codepage_, &pending_.data);
    }
    sink_.OnValue(pending_.name, pending_.type, pending_.data);
}

void RegExportParser::Warn(const std::string& message) {
    WarnAt(lineNumber_, message);
}

// Each malformed line is reported once, by the first fault found in it.
void RegExportParser::WarnAt(size_t line, const std::string& message) {
    if (line == lastWarnedLine_) {
        return;
    }
    lastWarnedLine_ = line;
    if (warnings_.size() < kMaxReportedExportWarnings) {
        warnings_.push_back({line, message});
    } else if (unreportedWarnings_++ == 0) {
        firstUnreportedLine_ = line;
    }
}

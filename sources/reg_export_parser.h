// A streaming reader of registry export (.reg) files that hands each key and value to a sink.
//
// It reads what regedit and reg export write and takes each line as Windows' importer takes
// it: a byte-order mark FF FE means UTF-16LE, EF BB BF UTF-8 (which regedit itself refuses),
// anything else 8-bit text in the ANSI code page, even when it looks like UTF-8. The first
// line must be "REGEDIT4" or "Windows Registry Editor Version 5.00". A line that regedit
// would skip is skipped and reported with its number; the rest is read. So is the deletion of
// a root key such as [-HKEY_LOCAL_MACHINE], which Windows refuses. A last line holding only
// Ctrl-Z, the end-of-file mark of old DOS and Windows tools, is passed over without a word.
//
// Values arrive as the registry would store them after the import: quoted text as UTF-16LE
// with its terminator, dword: as 4 little-endian bytes, hex: and hex(N): as their bytes, with
// the terminator regedit appends to hex(1), hex(2) and hex(7) and, in an 8-bit file, that text
// converted to UTF-16LE.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "registry/registry_types.h"
#include "sources/export_line_reader.h"

class Codepage;

// Further malformed lines are only counted, so that a damaged or hostile file cannot fill memory
// with warnings (values longer than kMaxExportValueBytes and lines longer than
// kMaxExportLineChars are skipped and reported).
constexpr size_t kMaxReportedExportWarnings = 1000;

struct RegExportWarning {
    size_t line;  // 1-based
    std::string message;
};

class RegExportParser {
  public:
    // codepage reads 8-bit files and the text in their hex(1), hex(2) and hex(7) data.
    RegExportParser(const Codepage& codepage, RegExportSink& sink);

    // Reads the whole input. Returns true when it had a known header and was read to its
    // end, the malformed lines being in warnings(). Returns false with *error (no file name)
    // when the input cannot be read, is UTF-16 without a byte-order mark, or its header is
    // missing or unknown; the sink may then have had part of the file.
    bool Parse(std::istream& input, std::string* error);

    // Lines skipped, in file order: at most kMaxReportedExportWarnings of them, and then one
    // more saying how many others were skipped.
    const std::vector<RegExportWarning>& warnings() const { return warnings_; }

  private:
    enum class State {
        kHeader,           // the first line: the file's version header
        kLineStart,        // any line: a key, a value, or something ignored
        kHexContinuation,  // after a hex line ending in ",\": more bytes of that value
    };
    enum class CurrentKey {
        kNone,      // before the first key line or after a deletion: values are an error
        kRejected,  // after a bad key line, already reported: values are dropped quietly
        kUnwanted,  // a good key the sink does not keep
        kWanted,
    };
    struct PendingValue {
        std::u16string_view name;    // in the line read, or in nameStorage
        std::u16string nameStorage;  // a name unescaped, or kept past its line
        uint32_t type = 0;
        std::string data;
        bool keep = false;     // the sink wants it: collect its data
        bool fromHex = false;  // written as hex bytes rather than quoted text
    };

    void HandleLine(std::u16string_view line);
    bool HandleHeader(std::u16string_view line);
    void HandleKeyLine(std::u16string_view line, size_t open);
    void HandleValueLine(std::u16string_view line, size_t start);
    bool ParseValueData(std::u16string_view line, size_t pos);
    bool ParseHexItems(std::u16string_view line, size_t pos);
    void HandleHexContinuation(std::u16string_view line);
    void FinishValue();
    // Reports the line being read, or line, as skipped with message.
    void Warn(const std::string& message);
    void WarnAt(size_t line, const std::string& message);

    const Codepage& codepage_;
    RegExportSink& sink_;
    State state_ = State::kHeader;
    CurrentKey currentKey_ = CurrentKey::kNone;
    PendingValue pending_;
    bool pendingTooLong_ = false;
    size_t lineNumber_ = 0;
    size_t lastWarnedLine_ = 0;     // no line has number 0
    size_t endOfFileMarkLine_ = 0;  // a line holding only Ctrl-Z, ignored if nothing follows
    bool version5_ = false;         // "Windows Registry Editor Version 5.00" rather than REGEDIT4
    size_t unreportedWarnings_ = 0;
    size_t firstUnreportedLine_ = 0;
    std::vector<RegExportWarning> warnings_;

    // Kept from line to line and from one Parse to the next, so that their storage is reused.
    ExportLineReader reader_;
    std::vector<std::u16string_view> keyPath_;  // the names of a key line, within the line
    std::u16string text_;                       // a quoted text without its escapes
};

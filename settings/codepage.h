// Conversion between UTF-16 / UTF-8 and one Windows ANSI code page, as Windows converts.
#pragma once

#include <string>

class Codepage {
  public:
    Codepage() = default;
    ~Codepage();
    Codepage(const Codepage&) = delete;
    Codepage& operator=(const Codepage&) = delete;

    // Selects the code page by name ("Windows-1252", "CP1252", "1252", ...). Returns false with
    // *error naming it when it is unknown.
    bool Open(const std::string& name, std::string* error);

    // UTF-16LE text to ANSI, one byte per UTF-16 unit as RegQueryValueExA gives it: characters
    // outside the code page become their best-fit letter or '?'. Returns true when every
    // character had an exact counterpart.
    bool FromUtf16(const std::u16string& text, std::string* ansi) const;

    // ANSI text to UTF-8 (every byte maps). Returns false only for bytes the code page leaves
    // undefined.
    bool ToUtf8(const std::string& ansi, std::string* utf8) const;

    // ANSI text to UTF-16.
    bool ToUtf16(const std::string& ansi, std::u16string* text) const;

    const std::string& name() const { return name_; }

  private:
    std::string name_;
    void* fromUtf16_ = nullptr;  // iconv descriptors, opened once
    void* toUtf16_ = nullptr;
};

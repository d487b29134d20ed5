// The readers of the two kinds of settings source: registry exports and registry hive files.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "sets/source_settings.h"

class Codepage;

// Something in a source that the user should hear of but that does not stop the run.
struct SourceWarning {
    std::string path;     // the source, as given
    size_t line;          // 1-based line of an export, or 0 when the warning is about no line
    std::string message;  // one line of English, without the path or line number
    bool skipped;         // something in the source was left out (a malformed line, a value)
};

// Reads an export from input into *settings, converting 8-bit text with codepage, and appends
// its skipped lines to *warnings. Returns false with *error (without the path) when it cannot
// be read, its encoding is unreadable, or its header is missing or unknown.
bool ReadExportSource(std::istream& input, const std::string& path, const Codepage& codepage,
                      SourceSettings* settings, std::vector<SourceWarning>* warnings,
                      std::string* error);

// Reads the places of the settings from the hive file at path into *settings: at the hive's
// top as a SOFTWARE hive holds them (the hive stands for HKEY_LOCAL_MACHINE\SOFTWARE), and
// under VirtualStore\MACHINE\SOFTWARE as a user's UsrClass.dat holds them (the hive stands
// for that user's Software\Classes). Appends to *warnings what the user should know (a hive
// not closed cleanly, a value too long to keep). Returns false with *error (without the path)
// when the file is not a hive that can be read, or this build reads no hives.
bool ReadHiveSource(const std::string& path, SourceSettings* settings,
                    std::vector<SourceWarning>* warnings, std::string* error);

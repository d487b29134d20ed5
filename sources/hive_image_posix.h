// A hive file as libhivex is to read it: the file itself, or, when the hive was not closed
// cleanly and its transaction logs apply, a copy with them applied that lives in memory only
// (a memory file, which libhivex opens through /proc/self/fd). The hive and its logs are only
// read: never written, never locked.
#pragma once

#include <string>
#include <vector>

#include "sources/source_readers.h"

class HiveImage {
  public:
    HiveImage() = default;
    ~HiveImage();
    HiveImage(const HiveImage&) = delete;
    HiveImage& operator=(const HiveImage&) = delete;

    // Reads the hive file at path and, when it is dirty, applies the logs found beside it
    // (HIVE.LOG1, HIVE.LOG2, HIVE.LOG, names compared regardless of case). Appends to *warnings
    // what the user should hear of that. Returns false with *error (without the path) when the
    // file cannot be opened or read, is cut short, or no memory is left for the copy.
    bool Open(const std::string& path, std::vector<SourceWarning>* warnings, std::string* error);

    // The file libhivex is to open: the hive itself, or its recovered copy.
    const std::string& readPath() const { return readPath_; }

  private:
    int memoryFile_ = -1;
    std::string readPath_;
};

// The error of a hive that cannot be read for the reason what, with the remedy.
std::string HiveDamagedError(const std::string& what);

// Helpers shared by the unit tests: scratch directories and whole-file reads and writes.
#pragma once

#include <string>

class Codepage;

// A fresh empty directory under the system's temporary directory, removed with its contents
// when the object goes.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// The bytes of a file; "" when it cannot be read (use FileExists to tell the two apart).
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// Windows-1252, the code page the recipes of most instrument PCs are in.
const Codepage& Windows1252();

// The bytes of a fixture under tests/data.
std::string ReadTestData(const std::string& relativePath);

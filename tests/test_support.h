// Helpers shared by the unit tests: scratch directories, whole-file reads and writes, and the
// setting up of a child process.
#pragma once

#include <sys/types.h>

#include <cstddef>
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

// A scratch directory with a tmpfs of its own of the given size mounted on it, a file system
// that fills up fast, or keeps a test's many files off the disk. Only the superuser may mount
// one: elsewhere mounted() is false and it is an ordinary scratch directory.
class ScratchTmpfs {
  public:
    explicit ScratchTmpfs(size_t kilobytes);
    ~ScratchTmpfs();
    ScratchTmpfs(const ScratchTmpfs&) = delete;
    ScratchTmpfs& operator=(const ScratchTmpfs&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& path() const { return dir_.path(); }
    std::string File(const std::string& name) const { return dir_.File(name); }

  private:
    ScratchDir dir_;
    bool mounted_;
};

// Makes every write that would take a file beyond bytes fail with EFBIG in this process and the
// programs it starts, as a full disk fails it: the stand-in where no tmpfs can be mounted.
void LimitFileSize(size_t bytes);

// The user a child process runs as, when the tests run as root, so that permission bits stop it.
constexpr uid_t kNobody = 65534;

// In a child process: becomes kNobody when the superuser. Returns false when it cannot.
bool BecomeUnprivileged();

// In a child process: gives it a mount namespace of its own in which directory is mounted over
// /var/tmp, read-only when readOnly. Returns false when this is not allowed here (not root).
bool BindOverVarTmp(const std::string& directory, bool readOnly);

// The bytes of a file; "" when it cannot be read (use FileExists to tell the two apart).
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// Windows-1252, the code page the recipes of most instrument PCs are in.
const Codepage& Windows1252();

// The bytes of a fixture under tests/data.
std::string ReadTestData(const std::string& relativePath);

// Scratch directories and file helpers for the unit tests.
#include "tests/test_support.h"

#include <grp.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "text/codepage.h"

ScratchDir::ScratchDir() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/rc-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    // A test may have left directories that take no new file, nor lose one.
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    for (std::filesystem::recursive_directory_iterator it(path_, ignored), end;
         !ignored && it != end; it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
    }
    std::filesystem::remove_all(path_, ignored);
}

ScratchTmpfs::ScratchTmpfs(size_t kilobytes) {
    const std::string options = "size=" + std::to_string(kilobytes) + "k";
    mounted_ = mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, options.c_str()) == 0;
}

ScratchTmpfs::~ScratchTmpfs() {
    if (mounted_) {
        umount2(dir_.path().c_str(), MNT_DETACH);
    }
}

void LimitFileSize(size_t bytes) {
    signal(SIGXFSZ, SIG_IGN);  // the write then fails with EFBIG instead of ending the process
    const rlimit limit = {bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &limit);
}

bool BecomeUnprivileged() {
    return geteuid() != 0 ||
           (setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0);
}

bool BindOverVarTmp(const std::string& directory, bool readOnly) {
    return unshare(CLONE_NEWNS) == 0 &&
           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount(directory.c_str(), "/var/tmp", nullptr, MS_BIND, nullptr) == 0 &&
           (!readOnly ||
            mount(nullptr, "/var/tmp", nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0);
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

std::string ReadTestData(const std::string& relativePath) {
    return ReadFileBytes(std::string(RC_TEST_DATA_DIR) + "/" + relativePath);
}

const Codepage& Windows1252() {
    static const Codepage* const codepage = [] {
        auto* opened = new Codepage;
        std::string error;
        if (!opened->Open("Windows-1252", &error)) {
            throw std::runtime_error(error);
        }
        return opened;
    }();
    return *codepage;
}

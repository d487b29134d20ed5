// Tests of the recipe file writers: the portable one on disk, and the Windows one's entry loop.
#include "conversion/recipe_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "tests/test_support.h"

namespace {

constexpr char kRecipe[] = "[GENERAL]\r\nMaterial=GaAs\r\nModel=3\r\n[IV]\r\nAutoSave=1\r\n";
constexpr time_t kOldTime = 1000000000;  // 2001: far from any time the test itself runs at

RecipeEntryList RecipeEntries() {
    RecipeEntryList entries;
    entries.WriteEntry("GENERAL", "Material", "GaAs");
    entries.WriteEntry("GENERAL", "Model", "3");
    entries.WriteEntry("IV", "AutoSave", "1");
    return entries;
}

std::set<std::string> FilesIn(const std::string& directory) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

struct stat StatOf(const std::string& path) {
    struct stat info = {};
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return info;
}

void SetOldTime(const std::string& path) {
    struct timespec times[2] = {{kOldTime, 0}, {kOldTime, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Writes RecipeEntries() to path, as an unprivileged user when the tests run as the superuser
// (whom permission bits do not stop), in a child process. Returns "" on success, else the error.
std::string WriteWithoutPrivileges(const std::string& path) {
    constexpr uid_t kNobody = 65534;
    auto write = [&path]() {
        std::string error;
        return WriteRecipeFile(path.c_str(), RecipeEntries(), &Windows1252(), &error)
                   ? std::string()
                   : error;
    };
    if (geteuid() != 0) {
        return write();
    }
    int pipeEnds[2];
    EXPECT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0) {
            _exit(1);
        }
        const std::string result = write();
        const ssize_t written = ::write(pipeEnds[1], result.data(), result.size());
        _exit(written == static_cast<ssize_t>(result.size()) ? 0 : 1);
    }
    close(pipeEnds[1]);
    std::string result;
    char buffer[512];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        result.append(buffer, static_cast<size_t>(got));
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the unprivileged writer failed";
    return result;
}

TEST(RecipeFile, NewFileHoldsTheEntriesAndNothingElse) {
    ScratchDir dir;
    const std::string path = dir.File("set.rcp");
    std::string error;

    ASSERT_TRUE(WriteRecipeFile(path.c_str(), RecipeEntries(), &Windows1252(), &error)) << error;

    EXPECT_EQ(ReadFileBytes(path), kRecipe);
    EXPECT_EQ(FilesIn(dir.path()), std::set<std::string>{"set.rcp"});
}

TEST(RecipeFile, NoEntriesMakeNoFile) {
    ScratchDir dir;
    const std::string path = dir.File("set.rcp");
    std::string error;

    ASSERT_TRUE(WriteRecipeFile(path.c_str(), RecipeEntryList(), &Windows1252(), &error)) << error;

    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(error, "");
}

// A file whose entries already hold their values keeps its inode and its time, even when it
// is read-only: nothing needs writing.
TEST(RecipeFile, UnchangedFileIsNotTouched) {
    ScratchDir dir;
    const std::string path = dir.File("set.rcp");
    WriteFileBytes(path, std::string("; kept\n") + kRecipe);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    SetOldTime(path);
    const struct stat before = StatOf(path);
    std::string error;

    ASSERT_TRUE(WriteRecipeFile(path.c_str(), RecipeEntries(), &Windows1252(), &error)) << error;
    ASSERT_TRUE(WriteRecipeFile(path.c_str(), RecipeEntryList(), &Windows1252(), &error)) << error;

    const struct stat after = StatOf(path);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtime, kOldTime);
    EXPECT_EQ(ReadFileBytes(path), std::string("; kept\n") + kRecipe);
}

// A change replaces the file by a new one (a new inode: the old one was never written into),
// with the old file's permissions, and leaves no temporary file behind.
TEST(RecipeFile, ChangedFileIsReplacedWhole) {
    ScratchDir dir;
    const std::string path = dir.File("set.rcp");
    WriteFileBytes(path, "[GENERAL]\nModel=1\n");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    const struct stat before = StatOf(path);
    std::string error;

    ASSERT_TRUE(WriteRecipeFile(path.c_str(), RecipeEntries(), &Windows1252(), &error)) << error;

    const struct stat after = StatOf(path);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadFileBytes(path), "[GENERAL]\nModel=3\nMaterial=GaAs\r\n[IV]\r\nAutoSave=1\r\n");
    EXPECT_EQ(FilesIn(dir.path()), std::set<std::string>{"set.rcp"});
}

// The file a link names is edited when it lies in the link's own directory, however the link
// spells it; the link stays a link.
TEST(RecipeFile, LinkIsFollowedWithinItsDirectory) {
    ScratchDir dir;
    const std::string target = dir.File("target.rcp");
    WriteFileBytes(target, "[GENERAL]\r\nModel=1\r\n");
    ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0755), 0);
    const std::string links[] = {dir.File("absolute.rcp"), dir.File("relative.rcp"),
                                 dir.File("roundabout.rcp")};
    ASSERT_EQ(symlink(target.c_str(), links[0].c_str()), 0);
    ASSERT_EQ(symlink("target.rcp", links[1].c_str()), 0);
    ASSERT_EQ(symlink("sub/../target.rcp", links[2].c_str()), 0);

    for (const std::string& link : links) {
        WriteFileBytes(target, "[GENERAL]\r\nModel=1\r\n");
        std::string error;
        ASSERT_TRUE(WriteRecipeFile(link.c_str(), RecipeEntries(), &Windows1252(), &error))
            << error;

        struct stat info = {};
        ASSERT_EQ(lstat(link.c_str(), &info), 0);
        EXPECT_TRUE(S_ISLNK(info.st_mode)) << link;
        EXPECT_EQ(ReadFileBytes(target),
                  "[GENERAL]\r\nModel=3\r\nMaterial=GaAs\r\n[IV]\r\nAutoSave=1\r\n")
            << link;
    }
    EXPECT_EQ(FilesIn(dir.path()), (std::set<std::string>{"absolute.rcp", "relative.rcp",
                                                          "roundabout.rcp", "sub", "target.rcp"}));
}

// A link that leads out of its directory, even to a subdirectory, or to nothing, is refused
// and nothing is touched: neither the file it names nor the link.
TEST(RecipeFile, LinkOutOfItsDirectoryIsAnErrorAndTouchesNothing) {
    ScratchDir dir;
    ScratchDir elsewhere;
    const std::string outside = elsewhere.File("outside.rcp");
    WriteFileBytes(outside, "[GENERAL]\r\nModel=1\r\n");
    ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0755), 0);
    const std::string below = dir.File("sub/below.rcp");
    WriteFileBytes(below, "[GENERAL]\r\nModel=1\r\n");
    struct Case {
        std::string link;
        std::string target;
        std::string error;
    };
    const Case cases[] = {
        {dir.File("out.rcp"), outside,
         dir.File("out.rcp") + " is a link to a file outside its directory"},
        {dir.File("down.rcp"), "sub/below.rcp",
         dir.File("down.rcp") + " is a link to a file outside its directory"},
        {dir.File("nowhere.rcp"), elsewhere.File("missing.rcp"),
         "cannot read " + dir.File("nowhere.rcp") + ": No such file or directory"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(symlink(c.target.c_str(), c.link.c_str()), 0);
        std::string error;
        EXPECT_FALSE(WriteRecipeFile(c.link.c_str(), RecipeEntries(), &Windows1252(), &error))
            << c.link;
        EXPECT_EQ(error, c.error);
        struct stat info = {};
        ASSERT_EQ(lstat(c.link.c_str(), &info), 0);
        EXPECT_TRUE(S_ISLNK(info.st_mode)) << c.link;
    }
    EXPECT_EQ(ReadFileBytes(outside), "[GENERAL]\r\nModel=1\r\n");
    EXPECT_EQ(ReadFileBytes(below), "[GENERAL]\r\nModel=1\r\n");
    EXPECT_EQ(FilesIn(elsewhere.path()), std::set<std::string>{"outside.rcp"});
    EXPECT_EQ(FilesIn(dir.path()),
              (std::set<std::string>{"down.rcp", "nowhere.rcp", "out.rcp", "sub"}));
}

// The temporary file's name does not grow with the recipe's: a name of 250 bytes, near the
// file-name limit of 255, is written and updated, and no temporary file is left behind.
TEST(RecipeFile, NameNearTheFileNameLimitIsWritten) {
    constexpr size_t kLongNameBytes = 250;
    ScratchDir dir;
    const std::string name = std::string(kLongNameBytes - 4, 'n') + ".rcp";
    const std::string path = dir.File(name);
    std::string error;

    ASSERT_TRUE(WriteRecipeFile(path.c_str(), RecipeEntries(), &Windows1252(), &error)) << error;
    EXPECT_EQ(ReadFileBytes(path), kRecipe);
    WriteFileBytes(path, "[GENERAL]\r\nModel=1\r\n");
    ASSERT_TRUE(WriteRecipeFile(path.c_str(), RecipeEntries(), &Windows1252(), &error)) << error;

    EXPECT_EQ(ReadFileBytes(path),
              "[GENERAL]\r\nModel=3\r\nMaterial=GaAs\r\n[IV]\r\nAutoSave=1\r\n");
    EXPECT_EQ(FilesIn(dir.path()), std::set<std::string>{name});
}

TEST(RecipeFile, ReadOnlyFileIsAnErrorAndStaysAsItWas) {
    ScratchDir dir;
    const std::string path = dir.File("set.rcp");
    WriteFileBytes(path, "[GENERAL]\r\nModel=1\r\n");
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    std::string error;

    EXPECT_FALSE(WriteRecipeFile(path.c_str(), RecipeEntries(), &Windows1252(), &error));

    EXPECT_EQ(error, "cannot write " + path + ": Permission denied");
    EXPECT_EQ(ReadFileBytes(path), "[GENERAL]\r\nModel=1\r\n");
    EXPECT_EQ(FilesIn(dir.path()), std::set<std::string>{"set.rcp"});
}

TEST(RecipeFile, UnreadableFileIsAnError) {
    ScratchDir dir;
    const std::string path = dir.File("set.rcp");
    WriteFileBytes(path, "[GENERAL]\r\nModel=1\r\n");
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);  // only the file bars the way

    EXPECT_EQ(WriteWithoutPrivileges(path), "cannot read " + path + ": Permission denied");
}

TEST(RecipeFile, UnwritableDirectoryIsAnError) {
    ScratchDir dir;
    const std::string path = dir.File("set.rcp");
    ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);

    EXPECT_EQ(WriteWithoutPrivileges(path), "cannot write " + path + ": Permission denied");
    EXPECT_FALSE(FileExists(path));
}

TEST(RecipeFile, PathsThatCannotHoldAFileAreErrors) {
    ScratchDir dir;
    WriteFileBytes(dir.File("plain"), "not a directory");
    ASSERT_EQ(mkdir(dir.File("folder.rcp").c_str(), 0755), 0);
    struct Case {
        std::string path;
        std::string error;
    };
    const Case cases[] = {
        {dir.File("missing/set.rcp"),
         "cannot write " + dir.File("missing/set.rcp") + ": No such file or directory"},
        {dir.File("plain/set.rcp"),
         "cannot read " + dir.File("plain/set.rcp") + ": Not a directory"},
        {dir.File("folder.rcp"), "cannot read " + dir.File("folder.rcp") + ": Is a directory"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(WriteRecipeFile(c.path.c_str(), RecipeEntries(), &Windows1252(), &error))
            << c.path;
        EXPECT_EQ(error, c.error);
    }
    EXPECT_EQ(FilesIn(dir.path()), (std::set<std::string>{"folder.rcp", "plain"}));
    EXPECT_TRUE(FilesIn(dir.File("folder.rcp")).empty());
}

TEST(RecipeFile, Utf16FileIsAnErrorAndStaysAsItWas) {
    ScratchDir dir;
    const std::string path = dir.File("set.rcp");
    const std::string utf16("\xFF\xFE[\0G\0]\0\r\0\n\0", 12);
    WriteFileBytes(path, utf16);
    std::string error;

    EXPECT_FALSE(WriteRecipeFile(path.c_str(), RecipeEntries(), &Windows1252(), &error));

    EXPECT_EQ(error, "cannot edit " + path + ": the file is UTF-16 text");
    EXPECT_EQ(ReadFileBytes(path), utf16);
}

// The Windows writer's loop: entries that fail (the keys starting with 'x') do not stop the
// rest, and the first failure is the one reported.
TEST(RecipeFile, EachEntryIsTriedPastAFailureAndTheFirstIsReported) {
    RecipeEntryList entries;
    for (const char* key : {"Material", "xModel", "AutoSave", "xShow", "dV"}) {
        entries.WriteEntry("GENERAL", key, "1");
    }
    static std::string tried;
    tried.clear();
    const RecipeEntryWrite failsOnX = [](const RecipeEntry& entry, const char* path,
                                         std::string* reason) {
        tried += std::string(path) + ":" + entry.key + " ";
        *reason = std::string("locked at ") + entry.key;
        return entry.key[0] != 'x';
    };
    std::string error;
    EXPECT_FALSE(WriteEachEntry(entries, "r", failsOnX, &error));
    EXPECT_EQ(tried, "r:Material r:xModel r:AutoSave r:xShow r:dV ");
    EXPECT_EQ(error, "cannot write [GENERAL] xModel to r: locked at xModel");

    error.clear();
    EXPECT_TRUE(WriteEachEntry(RecipeEntries(), "r", failsOnX, &error));
    EXPECT_EQ(error, "");
}

}  // namespace

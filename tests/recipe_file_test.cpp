// Tests of the recipe file writers: the portable one on disk, and the Windows one's entry loop.
#include "recipes/recipe_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "recipes/recipe_file_posix.h"
#include "tests/test_support.h"

namespace {

constexpr char kRecipe[] = "[GENERAL]\r\nMaterial=GaAs\r\nModel=3\r\n[IV]\r\nAutoSave=1\r\n";
// A recipe before RecipeEntries() are written into it, and after.
constexpr char kOldRecipe[] = "[GENERAL]\r\nModel=1\r\n";
constexpr char kUpdatedRecipe[] = "[GENERAL]\r\nModel=3\r\nMaterial=GaAs\r\n[IV]\r\nAutoSave=1\r\n";
constexpr time_t kOldTime = 1000000000;  // 2001: far from any time the test itself runs at

RecipeEntryList RecipeEntries() {
    RecipeEntryList entries;
    entries.WriteEntry("GENERAL", "Material", "GaAs");
    entries.WriteEntry("GENERAL", "Model", "3");
    entries.WriteEntry("IV", "AutoSave", "1");
    return entries;
}

// One run that writes one recipe: a fresh writer, its Write, then its Finish.
bool WriteRecipe(const std::string& path, const RecipeEntryList& entries, std::string* error) {
    RecipeFileWriter writer(&Windows1252());
    bool changed = false;
    return writer.Write(path.c_str(), entries, &changed, error) && writer.Finish(error);
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

// Hands path to the user the writer runs as (see InChild), so that it is the writer's own.
void GiveToWriter(const std::string& path) {
    if (geteuid() == 0) {
        ASSERT_EQ(lchown(path.c_str(), kNobody, kNobody), 0) << path;
    }
}

// How InChild runs its work.
struct ChildSetting {
    bool unprivileged = true;  // as kNobody when the tests run as the superuser
    std::string cacheHome;     // XDG_CACHE_HOME, when not empty
    size_t fileSizeLimit = 0;  // see LimitFileSize, when not 0
    std::string varTmp;        // bound over /var/tmp (see BindOverVarTmp), when not empty
};

// Runs work in a child process set up as setting says, so that permission bits stop it even
// when the tests run as the superuser and nothing it changes reaches the test. Returns what work
// returned.
std::string InChild(const std::function<std::string()>& work, const ChildSetting& setting = {}) {
    int pipeEnds[2];
    EXPECT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        if (!setting.cacheHome.empty()) {
            setenv("XDG_CACHE_HOME", setting.cacheHome.c_str(), 1);
        }
        if (setting.fileSizeLimit != 0) {
            LimitFileSize(setting.fileSizeLimit);
        }
        if ((!setting.varTmp.empty() && !BindOverVarTmp(setting.varTmp, false)) ||
            (setting.unprivileged && !BecomeUnprivileged())) {
            _exit(1);
        }
        const std::string result = work();
        const ssize_t written = write(pipeEnds[1], result.data(), result.size());
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
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child failed";
    return result;
}

// Writes RecipeEntries() to path in a child (see InChild). Returns "" on success, else the error.
std::string WriteInChild(const std::string& path, const ChildSetting& setting = {}) {
    return InChild(
        [&path]() {
            std::string error;
            return WriteRecipe(path, RecipeEntries(), &error) ? std::string() : error;
        },
        setting);
}

TEST(RecipeFile, NewFileHoldsTheEntriesAndNothingElse) {
    ScratchDir dir;
    const std::string path = dir.File("set.rcp");
    std::string error;

    ASSERT_TRUE(WriteRecipe(path, RecipeEntries(), &error)) << error;

    EXPECT_EQ(ReadFileBytes(path), kRecipe);
    EXPECT_EQ(FilesIn(dir.path()), std::set<std::string>{"set.rcp"});
}

TEST(RecipeFile, NoEntriesMakeNoFile) {
    ScratchDir dir;
    const std::string path = dir.File("set.rcp");
    std::string error;

    ASSERT_TRUE(WriteRecipe(path, RecipeEntryList(), &error)) << error;

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

    ASSERT_TRUE(WriteRecipe(path, RecipeEntries(), &error)) << error;
    ASSERT_TRUE(WriteRecipe(path, RecipeEntryList(), &error)) << error;

    const struct stat after = StatOf(path);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtime, kOldTime);
    EXPECT_EQ(ReadFileBytes(path), std::string("; kept\n") + kRecipe);
}

// The writer tells a recipe it created or changed, by whichever road, from one that already held
// every entry, so that a run can count the recipes it left as they were.
TEST(RecipeFile, WriteSaysWhetherTheRecipeChanged) {
    ScratchDir dir;
    const std::string path = dir.File("set.rcp");
    const std::string linked = dir.File("linked.rcp");
    WriteFileBytes(linked, kOldRecipe);
    ASSERT_EQ(link(linked.c_str(), dir.File("second name.rcp").c_str()), 0);
    RecipeFileWriter writer(&Windows1252());
    std::string error;
    const auto changes = [&](const std::string& recipe) {
        bool changed = false;
        EXPECT_TRUE(writer.Write(recipe.c_str(), RecipeEntries(), &changed, &error)) << error;
        return changed;
    };
    EXPECT_TRUE(changes(path));     // created
    EXPECT_FALSE(changes(path));    // as it was
    EXPECT_TRUE(changes(linked));   // rewritten in place
    EXPECT_FALSE(changes(linked));  // as it was
    WriteFileBytes(path, kOldRecipe);
    EXPECT_TRUE(changes(path));  // replaced
    EXPECT_TRUE(writer.Finish(&error)) << error;
    EXPECT_EQ(ReadFileBytes(linked), kUpdatedRecipe);
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

    ASSERT_TRUE(WriteRecipe(path, RecipeEntries(), &error)) << error;

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
    WriteFileBytes(target, kOldRecipe);
    ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0755), 0);
    const std::string links[] = {dir.File("absolute.rcp"), dir.File("relative.rcp"),
                                 dir.File("roundabout.rcp")};
    ASSERT_EQ(symlink(target.c_str(), links[0].c_str()), 0);
    ASSERT_EQ(symlink("target.rcp", links[1].c_str()), 0);
    ASSERT_EQ(symlink("sub/../target.rcp", links[2].c_str()), 0);

    for (const std::string& link : links) {
        WriteFileBytes(target, kOldRecipe);
        std::string error;
        ASSERT_TRUE(WriteRecipe(link, RecipeEntries(), &error)) << error;

        struct stat info = {};
        ASSERT_EQ(lstat(link.c_str(), &info), 0);
        EXPECT_TRUE(S_ISLNK(info.st_mode)) << link;
        EXPECT_EQ(ReadFileBytes(target), kUpdatedRecipe) << link;
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
    WriteFileBytes(outside, kOldRecipe);
    ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0755), 0);
    const std::string below = dir.File("sub/below.rcp");
    WriteFileBytes(below, kOldRecipe);
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
        EXPECT_FALSE(WriteRecipe(c.link, RecipeEntries(), &error)) << c.link;
        EXPECT_EQ(error, c.error);
        struct stat info = {};
        ASSERT_EQ(lstat(c.link.c_str(), &info), 0);
        EXPECT_TRUE(S_ISLNK(info.st_mode)) << c.link;
    }
    EXPECT_EQ(ReadFileBytes(outside), kOldRecipe);
    EXPECT_EQ(ReadFileBytes(below), kOldRecipe);
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

    ASSERT_TRUE(WriteRecipe(path, RecipeEntries(), &error)) << error;
    EXPECT_EQ(ReadFileBytes(path), kRecipe);
    WriteFileBytes(path, kOldRecipe);
    ASSERT_TRUE(WriteRecipe(path, RecipeEntries(), &error)) << error;

    EXPECT_EQ(ReadFileBytes(path), kUpdatedRecipe);
    EXPECT_EQ(FilesIn(dir.path()), std::set<std::string>{name});
}

TEST(RecipeFile, ReadOnlyFileIsAnErrorAndStaysAsItWas) {
    ScratchDir dir;
    const std::string path = dir.File("set.rcp");
    WriteFileBytes(path, kOldRecipe);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    std::string error;

    EXPECT_FALSE(WriteRecipe(path, RecipeEntries(), &error));

    EXPECT_EQ(error, "cannot write " + path + ": Permission denied");
    EXPECT_EQ(ReadFileBytes(path), kOldRecipe);
    EXPECT_EQ(FilesIn(dir.path()), std::set<std::string>{"set.rcp"});
}

TEST(RecipeFile, UnreadableFileIsAnError) {
    ScratchDir dir;
    const std::string path = dir.File("set.rcp");
    WriteFileBytes(path, kOldRecipe);
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);  // only the file bars the way

    EXPECT_EQ(WriteInChild(path), "cannot read " + path + ": Permission denied");
}

TEST(RecipeFile, UnwritableDirectoryIsAnError) {
    ScratchDir dir;
    const std::string path = dir.File("set.rcp");
    ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);

    EXPECT_EQ(WriteInChild(path), "cannot write " + path + ": Permission denied");
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
         "cannot write " + dir.File("plain/set.rcp") + ": Not a directory"},
        {dir.File("folder.rcp"), "cannot read " + dir.File("folder.rcp") + ": Is a directory"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(WriteRecipe(c.path, RecipeEntries(), &error)) << c.path;
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

    EXPECT_FALSE(WriteRecipe(path, RecipeEntries(), &error));

    EXPECT_EQ(error, "cannot edit " + path + ": the file is UTF-16 text");
    EXPECT_EQ(ReadFileBytes(path), utf16);
}

// The value of a file's extended attribute, "" when it has none of that name.
std::string AttributeOf(const std::string& path, const char* name) {
    char value[256];
    const ssize_t size = getxattr(path.c_str(), name, value, sizeof value);
    return size < 0 ? std::string() : std::string(value, static_cast<size_t>(size));
}

// An access control list as the kernel stores it: the owner may read and write, user 65533
// and the group may read, others nothing.
std::string ReadableForOneMoreUser() {
    struct Entry {
        uint16_t tag;
        uint16_t permissions;
        uint32_t id;
    };
    constexpr uint32_t kVersion = 2;
    constexpr uint32_t kNoId = 0xFFFFFFFF;
    constexpr uint16_t kRead = 4;
    constexpr uint16_t kReadWrite = 6;
    const Entry entries[] = {{0x01, kReadWrite, kNoId},
                             {0x02, kRead, 65533},
                             {0x04, kRead, kNoId},
                             {0x10, kRead, kNoId},
                             {0x20, 0, kNoId}};
    std::string acl(reinterpret_cast<const char*>(&kVersion), sizeof kVersion);
    acl.append(reinterpret_cast<const char*>(entries), sizeof entries);
    return acl;
}

// A recipe with a second name is rewritten in place: both names still share one file, which
// holds the new text, and the backup made on the way is gone.
TEST(RecipeFile, HardLinkedRecipeIsRewrittenInPlace) {
    ScratchDir dir;
    const std::string path = dir.File("set.rcp");
    const std::string other = dir.File("other name.rcp");
    WriteFileBytes(path, kOldRecipe);
    ASSERT_EQ(link(path.c_str(), other.c_str()), 0);
    GiveToWriter(dir.path());
    GiveToWriter(path);
    const struct stat before = StatOf(path);

    EXPECT_EQ(WriteInChild(path), "");

    const struct stat after = StatOf(path);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_nlink, 2u);
    EXPECT_EQ(ReadFileBytes(other), kUpdatedRecipe);
    EXPECT_EQ(FilesIn(dir.path()), (std::set<std::string>{"other name.rcp", "set.rcp"}));
}

// Another user's recipe that we may write stays theirs: rewritten in place, not replaced by a
// file of ours, although the directory would take one.
TEST(RecipeFile, ForeignRecipeKeepsItsOwner) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "only the superuser can give the writer a recipe of another user";
    }
    ScratchDir dir;
    const std::string path = dir.File("set.rcp");
    WriteFileBytes(path, kOldRecipe);
    ASSERT_EQ(chmod(path.c_str(), 0666), 0);
    GiveToWriter(dir.path());
    const struct stat before = StatOf(path);

    EXPECT_EQ(WriteInChild(path), "");

    const struct stat after = StatOf(path);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_mode & 07777, 0666u);
    EXPECT_EQ(ReadFileBytes(path), kUpdatedRecipe);
    EXPECT_EQ(FilesIn(dir.path()), std::set<std::string>{"set.rcp"});
}

// A writable recipe in a directory that takes no new file is updated, as Windows updates it:
// in place, with the backup in the user's cache directory, which is empty again afterwards.
TEST(RecipeFile, WritableRecipeInReadOnlyDirectoryIsRewrittenInPlace) {
    ScratchDir dir;
    ScratchDir cacheHome;
    const std::string path = dir.File("set.rcp");
    WriteFileBytes(path, kOldRecipe);
    GiveToWriter(path);
    GiveToWriter(cacheHome.path());
    ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
    const struct stat before = StatOf(path);
    ChildSetting setting;
    setting.cacheHome = cacheHome.path();

    EXPECT_EQ(WriteInChild(path, setting), "");

    EXPECT_EQ(StatOf(path).st_ino, before.st_ino);
    EXPECT_EQ(ReadFileBytes(path), kUpdatedRecipe);
    EXPECT_EQ(FilesIn(dir.path()), std::set<std::string>{"set.rcp"});
    EXPECT_EQ(FilesIn(cacheHome.path()), std::set<std::string>{"rcpconv"});
    EXPECT_EQ(FilesIn(cacheHome.File("rcpconv")), std::set<std::string>{});
}

// Extended attributes, an access control list among them, survive the update with the
// permission bits that go with them.
TEST(RecipeFile, ExtendedAttributesAreKept) {
    ScratchDir dir;
    const std::string path = dir.File("set.rcp");
    WriteFileBytes(path, kOldRecipe);
    GiveToWriter(dir.path());
    GiveToWriter(path);
    const std::string acl = ReadableForOneMoreUser();
    if (setxattr(path.c_str(), "user.origin", "lab 3", 5, 0) != 0 ||
        setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0) {
        GTEST_SKIP() << "the file system of " << dir.path()
                     << " keeps no extended attributes or access control lists: "
                     << strerror(errno);
    }
    const struct stat before = StatOf(path);

    EXPECT_EQ(WriteInChild(path), "");

    EXPECT_EQ(ReadFileBytes(path), kUpdatedRecipe);
    EXPECT_EQ(AttributeOf(path, "user.origin"), "lab 3");
    EXPECT_EQ(AttributeOf(path, "system.posix_acl_access"), acl);
    EXPECT_EQ(StatOf(path).st_mode, before.st_mode);
    EXPECT_EQ(StatOf(path).st_uid, before.st_uid);
    EXPECT_EQ(FilesIn(dir.path()), std::set<std::string>{"set.rcp"});
}

// A backup that an interrupted rewrite left, beside the recipe or in the cache directory, stops
// every later write of that recipe, even one that would change nothing, until the user removes
// it; the recipe is not touched.
TEST(RecipeFile, BackupLeftByAnInterruptedRewriteStopsTheWrite) {
    ScratchDir dir;
    ScratchDir cacheHome;
    const std::string path = dir.File("set.rcp");
    const std::string damaged = "[GENERAL]\r\nMod";
    WriteFileBytes(path, damaged);
    const struct stat info = StatOf(path);
    const std::string inode = std::to_string(info.st_ino);
    const std::string backups[] = {
        dir.File(".rcp-" + inode + ".bak"),
        cacheHome.File("rcpconv/" + std::to_string(info.st_dev) + "-" + inode + ".bak")};
    ASSERT_EQ(mkdir(cacheHome.File("rcpconv").c_str(), 0700), 0);
    ChildSetting setting;
    setting.unprivileged = false;
    setting.cacheHome = cacheHome.path();

    for (const std::string& backup : backups) {
        WriteFileBytes(backup, kOldRecipe);
        EXPECT_EQ(WriteInChild(path, setting), "an earlier run stopped while rewriting " + path +
                                                   "; its previous text is kept in " + backup +
                                                   ": check the recipe, then remove the backup");
        EXPECT_EQ(ReadFileBytes(path), damaged);
        ASSERT_EQ(unlink(backup.c_str()), 0);
    }
    WriteFileBytes(path, kUpdatedRecipe);
    WriteFileBytes(backups[0], kOldRecipe);
    EXPECT_NE(WriteInChild(path, setting), "") << "an unchanged recipe is reported too";
    ASSERT_EQ(unlink(backups[0].c_str()), 0);

    EXPECT_EQ(WriteInChild(path, setting), "");
}

// The temporary files that earlier runs left are removed when they are certainly abandoned:
// made on this host by a process that is gone, or untouched for a day, and locked by no
// writer. Others stay, the live writer's among them whatever its name and age say.
TEST(RecipeFile, AbandonedTempFilesAreRemoved) {
    ScratchDir dir;
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    const std::string gone = std::to_string(child);
    const std::string host = HostNameForFiles();
    struct Case {
        std::string name;
        bool old;
        bool locked;  // by a live writer (in another PID namespace, for one)
        bool stays;
    };
    const Case cases[] = {
        {".rcp-" + host + "-" + gone + "-0.tmp", false, false, false},
        {".rcp-" + host + "-1-0.tmp", false, false, true},  // process 1 runs
        {".rcp-other-pc-" + gone + "-0.tmp", false, false, true},
        {".rcp-other-pc-" + gone + "-1.tmp", true, false, false},
        {".rcp-" + gone + "-0.tmp", false, false, true},  // an older version's: the host is unknown
        {".rcp-" + gone + "-1.tmp", true, false, false},
        {".rcp-" + host + "-" + gone + "-x.tmp", true, false, true},
        {".rcp-" + host + ".tmp", true, false, true},
        {"notes.tmp", true, false, true},
        {".rcp-" + host + "-" + gone + "-2.tmp", false, true, true},
        {".rcp-other-pc-" + gone + "-2.tmp", true, true, true},
    };
    std::set<std::string> staying = {"set.rcp"};
    std::vector<int> locks;
    for (const Case& c : cases) {
        WriteFileBytes(dir.File(c.name), "[GENERAL]\r\nMod");
        if (c.old) {
            SetOldTime(dir.File(c.name));
        }
        if (c.locked) {
            locks.push_back(open(dir.File(c.name).c_str(), O_RDONLY | O_CLOEXEC));
            ASSERT_EQ(flock(locks.back(), LOCK_EX), 0);
        }
        if (c.stays) {
            staying.insert(c.name);
        }
    }
    std::string error;

    ASSERT_TRUE(WriteRecipe(dir.File("set.rcp"), RecipeEntries(), &error)) << error;

    EXPECT_EQ(FilesIn(dir.path()), staying);
    for (const int lock : locks) {
        close(lock);
    }
}

// A recipe with inode flags (chattr's attributes, here "no dump") is told apart from a new file
// by them: it is rewritten in place and keeps them.
TEST(RecipeFile, InodeFlagsAreKept) {
    ScratchDir dir;
    const std::string path = dir.File("set.rcp");
    WriteFileBytes(path, kOldRecipe);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    int flags = 0;
    const bool flagged = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                         (flags |= FS_NODUMP_FL, ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
    const int why = errno;
    close(fd);
    if (!flagged) {
        GTEST_SKIP() << "the file system of " << dir.path()
                     << " keeps no inode flags: " << strerror(why);
    }
    const struct stat before = StatOf(path);
    std::string error;

    ASSERT_TRUE(WriteRecipe(path, RecipeEntries(), &error)) << error;

    EXPECT_EQ(StatOf(path).st_ino, before.st_ino);
    EXPECT_EQ(ReadFileBytes(path), kUpdatedRecipe);
    const int after = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    int flagsAfter = 0;
    EXPECT_EQ(ioctl(after, FS_IOC_GETFLAGS, &flagsAfter), 0);
    close(after);
    EXPECT_NE(flagsAfter & FS_NODUMP_FL, 0);
    EXPECT_EQ(FilesIn(dir.path()), std::set<std::string>{"set.rcp"});
}

// On a full disk nothing is half written, whichever road a recipe takes: a new recipe is not
// made, a changed one keeps its old text, no temporary file or backup stays, and each failure
// is reported, for a backup with every place tried. Where no small tmpfs can be mounted, a file
// size limit fails the writes.
TEST(RecipeFile, FullDiskLeavesEveryRecipeAsItWas) {
    constexpr size_t kDiskKilobytes = 200;
    ScratchTmpfs disk(kDiskKilobytes);
    ScratchDir elsewhere;
    ChildSetting setting;
    setting.unprivileged = false;
    setting.cacheHome = disk.File("cache");
    const std::string fresh = disk.File("new.rcp");
    const std::string renamed = disk.File("renamed.rcp");
    const std::string linked = disk.File("linked.rcp");
    // A whole page of the tmpfs: the longer new text needs room the disk no longer has.
    constexpr size_t kPageBytes = 4096;
    const std::string oldRecipe =
        "; " + std::string(kPageBytes - 4 - strlen(kOldRecipe), '-') + "\r\n" + kOldRecipe;
    for (const std::string& path : {renamed, linked}) {
        WriteFileBytes(path, oldRecipe);
    }
    ASSERT_EQ(link(linked.c_str(), disk.File("linked copy.rcp").c_str()), 0);
    std::string full = strerror(EFBIG);
    std::string noBackup = "cannot back up " + linked + ": " + full;
    if (disk.mounted()) {
        setting.varTmp = disk.File("vartmp");
        ASSERT_EQ(mkdir(setting.varTmp.c_str(), 0), 0);
        ASSERT_EQ(chmod(setting.varTmp.c_str(), 01777), 0);
        const std::string filler(2 * kDiskKilobytes * 1024, 'x');
        const int fd = open(disk.File("filler").c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        EXPECT_LT(write(fd, filler.data(), filler.size()), static_cast<ssize_t>(filler.size()));
        close(fd);
        full = strerror(ENOSPC);
        noBackup = "cannot back up " + linked + " in " + disk.path() + " (" + full + "), in " +
                   setting.cacheHome + "/rcpconv (" + full + ") or in /var/tmp/rcpconv-" +
                   std::to_string(geteuid()) + " (" + full + ")";
    } else {
        std::cout << "no tmpfs can be mounted here: a file size limit stands in for a full disk\n";
        setting.fileSizeLimit = 1;
    }
    const std::set<std::string> before = FilesIn(disk.path());

    EXPECT_EQ(WriteInChild(fresh, setting), "cannot write " + fresh + ": " + full);
    EXPECT_EQ(WriteInChild(renamed, setting), "cannot write " + renamed + ": " + full);
    EXPECT_EQ(WriteInChild(linked, setting), noBackup);
    if (disk.mounted()) {
        // With room for the backup elsewhere, the rewrite itself finds the disk full.
        setting.cacheHome = elsewhere.path();
        EXPECT_EQ(WriteInChild(linked, setting), "cannot write " + linked + ": " + full);
        EXPECT_EQ(FilesIn(elsewhere.File("rcpconv")), std::set<std::string>{});
    }

    EXPECT_EQ(ReadFileBytes(renamed), oldRecipe);
    EXPECT_EQ(ReadFileBytes(linked), oldRecipe);
    std::set<std::string> after = FilesIn(disk.path());
    after.erase("cache");
    EXPECT_EQ(after, before);
}

}  // namespace

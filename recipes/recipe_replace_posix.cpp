// Replacing a recipe on Linux by a new file renamed over it, where nobody can tell the two apart.
#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "recipes/recipe_backup_posix.h"
#include "recipes/recipe_file_posix.h"

namespace {

constexpr mode_t kNewFileMode = 0666;  // narrowed by the umask, as any new file
// A replacement is nobody's but its owner's until it has the old file's group and permissions:
// a descriptor opened on it before would keep the access it was opened with.
constexpr mode_t kOwnerOnlyMode = 0600;
constexpr mode_t kPermissionBits = 07777;

// The flags of chattr that a file carries for its users; a new file may take some of them from
// its directory, but none from the file it replaces.
constexpr unsigned kKeptFlags = FS_SECRM_FL | FS_UNRM_FL | FS_COMPR_FL | FS_SYNC_FL |
                                FS_IMMUTABLE_FL | FS_APPEND_FL | FS_NODUMP_FL | FS_NOATIME_FL |
                                FS_NOCOMP_FL | FS_JOURNAL_DATA_FL | FS_NOTAIL_FL | FS_NOCOW_FL |
                                FS_DAX_FL;
// Those of them a directory passes on to the files made in it.
constexpr unsigned kInheritedFlags = kKeptFlags & ~(FS_IMMUTABLE_FL | FS_APPEND_FL);

unsigned InodeFlags(int fd) {
    int flags = 0;  // the kernel reads and writes an int, whatever the request's type says
    return ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 ? static_cast<unsigned>(flags) : 0;
}

// The names of a file's extended attributes into *names (each ends in a zero byte). A file
// system without them gives none. Returns false with errno set.
bool ListAttributes(int fd, std::vector<char>* names) {
    for (;;) {
        const ssize_t size = flistxattr(fd, nullptr, 0);
        if (size < 0) {
            names->clear();
            return errno == ENOTSUP;
        }
        names->resize(static_cast<size_t>(size));
        const ssize_t got = size == 0 ? 0 : flistxattr(fd, names->data(), names->size());
        if (got >= 0) {
            names->resize(static_cast<size_t>(got));
            return true;
        }
        if (errno != ERANGE) {  // ERANGE: one was added meanwhile; ask again
            return false;
        }
    }
}

bool HasName(const std::vector<char>& names, const char* name) {
    for (size_t at = 0; at < names.size(); at += strlen(names.data() + at) + 1) {
        if (strcmp(names.data() + at, name) == 0) {
            return true;
        }
    }
    return false;
}

// Gives the file to the extended attributes of from (the access control list among them), and
// none other. Returns false when they cannot be made the same; sets *changed when it changed
// any.
bool CopyAttributes(int from, int to, bool* changed) {
    std::vector<char> wanted;
    std::vector<char> present;
    if (!ListAttributes(from, &wanted) || !ListAttributes(to, &present)) {
        return false;
    }
    for (size_t at = 0; at < present.size(); at += strlen(present.data() + at) + 1) {
        const char* name = present.data() + at;
        if (!HasName(wanted, name) && fremovexattr(to, name) != 0) {
            return false;
        }
        *changed = true;
    }
    std::vector<char> value;
    for (size_t at = 0; at < wanted.size(); at += strlen(wanted.data() + at) + 1) {
        const char* name = wanted.data() + at;
        if (strcmp(name, kRewriteMark) == 0) {
            continue;  // the mark of a rewrite whose backup is gone: the new file has none
        }
        const ssize_t size = fgetxattr(from, name, nullptr, 0);
        value.resize(size > 0 ? static_cast<size_t>(size) : 0);
        if (size < 0 || fgetxattr(from, name, value.data(), value.size()) != size ||
            fsetxattr(to, name, value.data(), value.size(), 0) != 0) {
            return false;
        }
        *changed = true;
    }
    return true;
}

// Makes the new file fd look like the old one: its group, permissions and extended
// attributes (the owner is ours, as the caller made sure), its inode flags being the same
// already. Returns false when it cannot.
bool TakeIdentity(int fd, int oldFd, const struct stat& old) {
    struct stat made;
    if (KeptInodeFlags(fd) != KeptInodeFlags(oldFd) || fstat(fd, &made) != 0) {
        return false;
    }
    bool changed = false;
    if (made.st_gid != old.st_gid) {
        // Changing the group clears the set-id bits, so the mode is set again after it.
        if (fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
            return false;
        }
        changed = true;
    }
    if ((changed || (made.st_mode & kPermissionBits) != (old.st_mode & kPermissionBits)) &&
        fchmod(fd, old.st_mode & kPermissionBits) != 0) {
        return false;
    }
    if (!CopyAttributes(oldFd, fd, &changed)) {
        return false;
    }
    // An access control list sets the mode's group bits; a set-group-id bit may have been
    // dropped: the result must be the old file's.
    return !changed ||
           (fstat(fd, &made) == 0 && made.st_uid == old.st_uid && made.st_gid == old.st_gid &&
            (made.st_mode & kPermissionBits) == (old.st_mode & kPermissionBits));
}

// Renames the temporary file over name; with noReplace, fails with EEXIST when name exists
// (a file made meanwhile by someone else), where the file system can tell.
int RenameInto(const RecipeDirectory& directory, const std::string& tempName, const char* name,
               bool noReplace) {
    if (noReplace) {
        if (renameat2(directory.fd, tempName.c_str(), directory.fd, name, RENAME_NOREPLACE) == 0) {
            return 0;
        }
        if (errno != EINVAL && errno != ENOSYS) {
            return errno;
        }
    }
    return renameat(directory.fd, tempName.c_str(), directory.fd, name) == 0 ? 0 : errno;
}

// A network file system reports a failed write when a descriptor of the file is closed. Closing
// a copy of fd reports it while fd keeps the file's lock. Returns 0, or -1 with errno set.
int CloseCopy(int fd) {
    const int copy = dup(fd);
    return copy < 0 ? -1 : close(copy);
}

// Removes the temporary file tempName, open as fd, while its lock still keeps it ours (unless
// someone else's file has taken its name), then closes it.
void DiscardTempFile(const RecipeDirectory& directory, const std::string& tempName, int fd) {
    if (IsStillNamed(directory.fd, tempName, fd)) {
        unlinkat(directory.fd, tempName.c_str(), 0);
    }
    close(fd);
}

}  // namespace

unsigned KeptInodeFlags(int fd) {
    return InodeFlags(fd) & kKeptFlags;
}

unsigned InheritedInodeFlags(int directoryFd) {
    return InodeFlags(directoryFd) & kInheritedFlags;
}

ReplaceResult ReplaceByRename(RecipeDirectory& directory, TempFileNaming* naming, const char* name,
                              const std::string& text, int oldFd, const struct stat* old,
                              const std::string& path, std::string* error) {
    std::string tempName;
    const int fd = CreateTempFile(directory, naming, old != nullptr ? kOwnerOnlyMode : kNewFileMode,
                                  &tempName);
    if (fd < 0) {
        if (old != nullptr && (errno == EACCES || errno == EPERM)) {
            return ReplaceResult::kKeepsIdentity;  // no new file here: only an edit in place
        }
        *error = FailureReason("write", path, errno);
        return ReplaceResult::kFailed;
    }
    if (old != nullptr && !TakeIdentity(fd, oldFd, *old)) {
        DiscardTempFile(directory, tempName, fd);
        return ReplaceResult::kKeepsIdentity;
    }
    int failure = 0;
    if (!WriteAll(fd, text) || (old != nullptr && fsync(fd) != 0) || CloseCopy(fd) != 0) {
        failure = errno;
    }
    if (failure == 0 && !IsStillNamed(directory.fd, tempName, fd)) {
        close(fd);
        *error = "cannot write " + path + ": its temporary file " + tempName +
                 " was removed or replaced by another program";
        return ReplaceResult::kFailed;
    }
    if (failure == 0) {
        failure = RenameInto(directory, tempName, name, old == nullptr);
    }
    if (failure != 0) {
        DiscardTempFile(directory, tempName, fd);
        *error = FailureReason("write", path, failure);
        return old == nullptr && failure == EEXIST ? ReplaceResult::kNameTaken
                                                   : ReplaceResult::kFailed;
    }
    close(fd);  // only now: its lock kept the temporary file ours until it was renamed
    directory.written = true;
    return ReplaceResult::kReplaced;
}

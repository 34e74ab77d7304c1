#include "lock.h"

#include "platform/toolerror.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace chflags {
namespace {

using vorpel::ToolError;
using vorpel::errnoText;

constexpr mode_t kAllWrite = S_IWUSR | S_IWGRP | S_IWOTH;

bool noXattrErrno(int err) { return err == ENOTSUP || err == EOPNOTSUPP; }

struct stat lstatOrThrow(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) throw ToolError(path, errnoText(errno));
    if (S_ISLNK(st.st_mode)) throw ToolError(path, "is a symbolic link");
    return st;
}

// chmod() would follow a link swapped in after our lstat(); this never does.
void setMode(const std::string& path, mode_t mode) {
    if (::fchmodat(AT_FDCWD, path.c_str(), mode, AT_SYMLINK_NOFOLLOW) == 0) return;
    int err = errno;
    if (err == ENOTSUP || err == EOPNOTSUPP) {
        // Without /proc glibc cannot do the no-follow variant; the item was just checked not to be a link.
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode) && ::chmod(path.c_str(), mode) == 0) return;
        err = errno;
    }
    throw ToolError(path, errnoText(err));
}

// The recorded mode, nullopt when there is none. Throws NoXattrSupport where attributes don't exist.
// Reading an attribute needs read permission: an owner without it lends it to itself for the moment.
std::optional<mode_t> readRecord(const std::string& path, mode_t mode) {
    char buf[32];
    ssize_t n = ::lgetxattr(path.c_str(), kModeAttr, buf, sizeof buf - 1);
    if (n < 0 && (errno == EACCES || errno == EPERM) && !(mode & S_IRUSR) && ::geteuid() != 0) {
        setMode(path, mode | S_IRUSR);
        n = ::lgetxattr(path.c_str(), kModeAttr, buf, sizeof buf - 1);
        const int err = errno;
        setMode(path, mode);
        errno = err;
    }
    if (n < 0) {
        if (errno == ENODATA) return std::nullopt;
        if (noXattrErrno(errno)) throw NoXattrSupport(path);
        if (errno == ERANGE) throw ToolError(path, std::string("malformed lock record ") + kModeAttr);
        throw ToolError(path, errnoText(errno));
    }
    const long recorded = parseModeText(std::string(buf, size_t(n)));
    if (recorded < 0) throw ToolError(path, std::string("malformed lock record ") + kModeAttr);
    return mode_t(recorded);
}

// Runs an attribute change that needs write permission on the item, adding owner write for
// the moment when the owner lacks it. Returns 0 or the errno of the failure.
template <typename Change>
int withOwnerWrite(const std::string& path, mode_t mode, Change change) {
    if (change() == 0) return 0;
    int err = errno;
    if ((err == EACCES || err == EPERM) && !(mode & S_IWUSR) && ::geteuid() != 0) {
        setMode(path, mode | S_IWUSR);
        err = change() == 0 ? 0 : errno;
        if (err != 0) setMode(path, mode);
    }
    return err;
}

} // namespace

std::string modeText(mode_t mode) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04o", unsigned(mode & 07777));
    return buf;
}

long parseModeText(const std::string& text) {
    if (text.empty() || text.size() > 6) return -1;
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '7') return -1;
        value = value * 8 + (c - '0');
    }
    return value <= 07777 ? value : -1;
}

void lockItem(const std::string& path) {
    const struct stat st = lstatOrThrow(path);
    const mode_t mode = st.st_mode & 07777;
    if (!readRecord(path, mode)) {
        // XATTR_CREATE: an existing record is the true original, never replace it.
        const std::string value = modeText(mode);
        const int err = withOwnerWrite(path, mode, [&] {
            return ::lsetxattr(path.c_str(), kModeAttr, value.data(), value.size(), XATTR_CREATE);
        });
        if (noXattrErrno(err)) throw NoXattrSupport(path);
        if (err != 0 && err != EEXIST) throw ToolError(path, "cannot record the mode: " + errnoText(err));
    }
    const mode_t locked = mode & ~kAllWrite;
    // Also when nothing changes: undoes the owner write withOwnerWrite may have added.
    struct stat now {};
    if (::lstat(path.c_str(), &now) != 0 || (now.st_mode & 07777) != locked) setMode(path, locked);
}

void unlockItem(const std::string& path) {
    const struct stat st = lstatOrThrow(path);
    const mode_t mode = st.st_mode & 07777;
    std::optional<mode_t> recorded;
    try {
        recorded = readRecord(path, mode);
    } catch (const NoXattrSupport&) {
        // Nothing can have been recorded here: treat as an item locked by other means.
    }
    if (!recorded) {
        if (!(mode & S_IWUSR)) setMode(path, mode | S_IWUSR);
        return;
    }
    // Restore first, then drop the record: a failure in between leaves the record for a retry.
    setMode(path, *recorded | S_IWUSR);
    if (::lremovexattr(path.c_str(), kModeAttr) != 0 && errno != ENODATA) {
        const int err = errno;
        throw ToolError(path, "cannot remove the lock record: " + errnoText(err));
    }
    if (!(*recorded & S_IWUSR)) setMode(path, *recorded);
}

} // namespace chflags

#pragma once

// What the chflags tests share: running the tool, reading back a file's mode and the mode
// record the tool keeps in an extended attribute, and trees deeper than a path can reach.

#include "testsupport.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace chflagskit {

inline const char* const kAttr = "user.vorpelconverter.mode";

inline vorpeltest::ProcessResult chflags(std::vector<std::string> args) {
    args.insert(args.begin(), vorpeltest::toolPath("chflags").string());
    return vorpeltest::runProcess(args);
}

inline mode_t modeOf(const std::filesystem::path& p) {
    struct stat st {};
    EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777;
}

// The recorded mode, if the item carries one.
inline std::optional<std::string> record(const std::filesystem::path& p) {
    char buf[64];
    const ssize_t n = ::lgetxattr(p.c_str(), kAttr, buf, sizeof buf);
    if (n < 0) return std::nullopt;
    return std::string(buf, size_t(n));
}

inline std::optional<std::string> recordOf(int fd) {
    char buf[64];
    const ssize_t n = ::fgetxattr(fd, kAttr, buf, sizeof buf);
    if (n < 0) return std::nullopt;
    return std::string(buf, size_t(n));
}

// A chain of `depth` folders "level" below `root`, each folder (root too) holding a file
// "file", the last one also a symbolic link "link" to `linkTarget`. Built with descriptors only: its paths
// are longer than any path the system takes.
inline void makeDeepTree(const std::filesystem::path& root, int depth,
                         const std::filesystem::path& linkTarget) {
    ASSERT_EQ(::mkdir(root.c_str(), 0755), 0);
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int level = 0;; ++level) {
        const int f = ::openat(fd, "file", O_CREAT | O_EXCL | O_WRONLY, 0644);
        ASSERT_GE(f, 0) << "level " << level;
        ASSERT_EQ(::write(f, "x", 1), 1);
        ::close(f);
        ASSERT_EQ(::fchmodat(fd, "file", 0644, 0), 0);
        ASSERT_EQ(::fchmod(fd, 0755), 0);
        if (level == depth) break;
        ASSERT_EQ(::mkdirat(fd, "level", 0755), 0) << "level " << level;
        const int next = ::openat(fd, "level", O_RDONLY | O_DIRECTORY);
        ASSERT_GE(next, 0) << "level " << level;
        ::close(fd);
        fd = next;
    }
    ASSERT_EQ(::symlinkat(linkTarget.c_str(), fd, "link"), 0);
    ::close(fd);
}

// Mode and record of each folder of a deep tree and of the file in it, top first.
struct Level {
    mode_t folder = 0, file = 0;
    std::optional<std::string> folderRecord, fileRecord;
};

inline std::vector<Level> deepTreeLevels(const std::filesystem::path& root) {
    std::vector<Level> levels;
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    while (fd >= 0) {
        Level l;
        struct stat st {};
        ::fstat(fd, &st);
        l.folder = st.st_mode & 07777;
        l.folderRecord = recordOf(fd);
        const int f = ::openat(fd, "file", O_RDONLY | O_NOFOLLOW);
        if (f >= 0 && ::fstat(f, &st) == 0) {
            l.file = st.st_mode & 07777;
            l.fileRecord = recordOf(f);
        }
        if (f >= 0) ::close(f);
        levels.push_back(l);
        const int next = ::openat(fd, "level", O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        ::close(fd);
        fd = next;
    }
    return levels;
}

// Removes a tree of any depth, one folder descriptor at a time (rm and std::filesystem stop at
// the path limit), locked folders included.
inline void removeTree(const std::filesystem::path& root) {
    ::chmod(root.c_str(), 0700);
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    std::vector<std::string> below; // folder names from root down to fd
    while (fd >= 0) {
        // Unlink everything that is not a folder; go down into the first folder.
        std::string sub;
        DIR* d = ::fdopendir(::dup(fd));
        if (!d) break;
        ::rewinddir(d);
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            struct stat st {};
            if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
                sub = name;
                break;
            }
            ::unlinkat(fd, name.c_str(), 0);
        }
        ::closedir(d);
        if (!sub.empty()) {
            ::fchmodat(fd, sub.c_str(), 0700, 0);
            const int child = ::openat(fd, sub.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
            ::close(fd);
            fd = child;
            below.push_back(sub);
            continue;
        }
        if (below.empty()) break;
        const int parent = ::openat(fd, "..", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = parent;
        ::unlinkat(fd, below.back().c_str(), AT_REMOVEDIR);
        below.pop_back();
    }
    if (fd >= 0) ::close(fd);
    ::rmdir(root.c_str());
}

} // namespace chflagskit

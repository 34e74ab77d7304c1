#pragma once

// What the chflags tests share: running the tool and reading back a file's mode and the mode
// record the tool keeps in an extended attribute.

#include "testsupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
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

} // namespace chflagskit

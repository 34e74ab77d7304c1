#pragma once

// An ordinary user for tests that must see permissions bite (the tests run as root).
// Created once per suite with useradd, removed with userdel; commands run through setpriv.

#include "testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace vorpeltest {

class ThrowawayUser {
public:
    // Empty name: no user could be made (not root, or no useradd/setpriv).
    explicit ThrowawayUser(const std::string& prefix) {
        if (::geteuid() != 0 || !haveProgram("useradd") || !haveProgram("setpriv")) return;
        const std::string name = prefix + std::to_string(::getpid());
        if (runProcess({"useradd", "--no-create-home", "--shell", "/bin/sh", name}).status != 0) return;
        name_ = name;
        uid_ = uid_t(std::stoul(runProcess({"id", "-u", name_}).out));
        gid_ = gid_t(std::stoul(runProcess({"id", "-g", name_}).out));
    }
    ~ThrowawayUser() {
        if (!name_.empty()) runProcess({"userdel", name_});
    }
    ThrowawayUser(const ThrowawayUser&) = delete;
    ThrowawayUser& operator=(const ThrowawayUser&) = delete;

    bool ok() const { return !name_.empty(); }
    uid_t uid() const { return uid_; }
    gid_t gid() const { return gid_; }

    ProcessResult run(std::vector<std::string> argv, const std::string& input = {}) const {
        argv.insert(argv.begin(), {"setpriv", "--reuid=" + std::to_string(uid_),
                                   "--regid=" + std::to_string(gid_), "--clear-groups", "--"});
        return runProcess(argv, input);
    }

    // Gives one file or folder (not its contents) to the user.
    bool give(const std::filesystem::path& p) const { return ::lchown(p.c_str(), uid_, gid_) == 0; }

private:
    std::string name_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
};

// A suite whose tests act as one ordinary user, made once per suite, in a folder of their own;
// skipped where no user can be made.
class AsOrdinaryUser : public ::testing::Test {
protected:
    static void SetUpTestSuite() { user_ = new ThrowawayUser("vorpelt"); }
    static void TearDownTestSuite() {
        delete user_;
        user_ = nullptr;
    }
    void SetUp() override {
        if (!user_->ok()) GTEST_SKIP() << "needs root with useradd and setpriv to test as an ordinary user";
    }
    // The tool with its arguments, run as the user.
    static ProcessResult runTool(const std::string& tool, std::vector<std::string> args, const std::string& input = {}) {
        args.insert(args.begin(), toolPath(tool).string());
        return user_->run(args, input);
    }
    static inline ThrowawayUser* user_ = nullptr;
    TempDir dir;
};

} // namespace vorpeltest

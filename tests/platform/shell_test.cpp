// The command runner: status, merged output, PATH with the stand-in tools, the seam.
#include "platform/shell.h"
#include "testsupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace fs = std::filesystem;
using vorpel::Shell;
using vorpel::ShellOutcome;

namespace {

class ShellRunner : public ::testing::Test {
protected:
    void TearDown() override {
        Shell::setRunner({});
        Shell::setIdleHook({});
        Shell::setToolDir("");
    }
    Shell run(const std::string& command) {
        Shell sh;
        sh.Execute(command);
        return sh;
    }
};

TEST_F(ShellRunner, StatusAndBothStreamsInOrder) {
    const Shell sh = run("echo out; echo err >&2; echo more; exit 3");
    EXPECT_EQ(sh.ErrorCode, 3);
    EXPECT_EQ(sh.Result, "out\nerr\nmore\n");
    EXPECT_EQ(run("true").ErrorCode, 0);
    EXPECT_EQ(run("true").Result, "");
}

TEST_F(ShellRunner, SignalGivesOneHundredTwentyEightPlusIt) {
    EXPECT_EQ(run("kill -TERM $$").ErrorCode, 128 + 15);
}

TEST_F(ShellRunner, StandardInputIsEmpty) {
    const Shell sh = run("cat; echo end");
    EXPECT_EQ(sh.ErrorCode, 0);
    EXPECT_EQ(sh.Result, "end\n");
}

TEST_F(ShellRunner, LargeOutputArrivesWhole) {
    const Shell sh = run("head -c 3000000 /dev/zero | tr '\\000' a");
    EXPECT_EQ(sh.ErrorCode, 0);
    EXPECT_EQ(sh.Result, std::string(3000000, 'a'));
}

TEST_F(ShellRunner, BackgroundChildDoesNotHoldTheCommandOpen) {
    vorpeltest::TempDir dir;
    const fs::path mark = dir / "late";
    const Shell sh = run("(sleep 2; touch '" + mark.string() + "') & echo started");
    EXPECT_EQ(sh.Result, "started\n");
    // Returned before the background child finished.
    EXPECT_FALSE(fs::exists(mark));
}

TEST_F(ShellRunner, ToolDirComesFirstInPath) {
    vorpeltest::TempDir dir;
    const fs::path tool = dir / "du";
    vorpeltest::writeFile(tool, "#!/bin/sh\necho stand-in \"$@\"\n");
    ::chmod(tool.c_str(), 0755);
    Shell::setToolDir(dir.path().string());
    EXPECT_EQ(run("du -h /x").Result, "stand-in -h /x\n");
    Shell::setToolDir("");
    EXPECT_NE(run("command -v du").Result, tool.string() + "\n");
}

TEST_F(ShellRunner, IdleHookRunsWhileTheCommandWaits) {
    int calls = 0;
    bool runningInside = false;
    Shell::setIdleHook([&] {
        ++calls;
        runningInside = runningInside || Shell::running();
    });
    run("sleep 0.1");
    EXPECT_GT(calls, 0);
    EXPECT_TRUE(runningInside);
    EXPECT_FALSE(Shell::running());
}

TEST_F(ShellRunner, SeamReplacesTheRunnerUntilCleared) {
    std::vector<std::string> seen;
    bool runningInside = false;
    Shell::setRunner([&](const std::string& c) {
        seen.push_back(c);
        runningInside = Shell::running();
        return ShellOutcome{7, "recorded\n"};
    });
    const Shell sh = run("echo real");
    EXPECT_EQ(seen, std::vector<std::string>{"echo real"});
    EXPECT_TRUE(runningInside);
    EXPECT_EQ(sh.ErrorCode, 7);
    EXPECT_EQ(sh.Result, "recorded\n");
    Shell::setRunner({});
    EXPECT_EQ(run("echo real").Result, "real\n");
    EXPECT_EQ(seen.size(), 1u);
}

} // namespace

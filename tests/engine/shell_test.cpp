// The real command runner: /bin/sh, merged output, exit status, /dev/null input, tool folder.
#include "platform/folderitem.h"
#include "platform/shell.h"
#include "testsupport.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using vorpel::Shell;
using vorpeltest::TempDir;

class RealRunner : public ::testing::Test {
protected:
    void SetUp() override {
        Shell::setRunner({});
        Shell::setToolDir("");
    }
    void TearDown() override { Shell::setToolDir(""); }
};

TEST_F(RealRunner, OutputAndErrorAreMergedInTheOrderPrinted) {
    const auto out = Shell::runDirect("echo one; echo two >&2; echo three; printf four >&2");
    EXPECT_EQ(out.result, "one\ntwo\nthree\nfour");
    EXPECT_EQ(out.errorCode, 0);
}

TEST_F(RealRunner, ExitStatusIsTheErrorCode) {
    EXPECT_EQ(Shell::runDirect("exit 3").errorCode, 3);
    EXPECT_EQ(Shell::runDirect("false").errorCode, 1);
    EXPECT_EQ(Shell::runDirect("true").errorCode, 0);
    // Only the last command of a pipeline counts.
    EXPECT_EQ(Shell::runDirect("false | true").errorCode, 0);
    EXPECT_EQ(Shell::runDirect("true | false").errorCode, 1);
}

TEST_F(RealRunner, MissingCommandOrSignalIsNonZero) {
    EXPECT_NE(Shell::runDirect("no-such-command-vorpel-xyz").errorCode, 0);
    const auto killed = Shell::runDirect("kill -KILL $$");
    EXPECT_NE(killed.errorCode, 0);
    EXPECT_EQ(killed.errorCode, 128 + SIGKILL);
    EXPECT_NE(Shell::runDirect("kill -TERM $$").errorCode, 0);
}

TEST_F(RealRunner, StandardInputIsDevNull) {
    const auto out = Shell::runDirect("readlink /proc/self/fd/0; cat; echo end");
    EXPECT_EQ(out.result, "/dev/null\nend\n");
}

// A host that ignores SIGPIPE (some launchers do) must not hand that on to the tools: the
// writer of a pipeline whose reader is done would print "Broken pipe" into the result.
TEST_F(RealRunner, ToolsGetDefaultSignalHandlingWhateverTheHostIgnores) {
    struct sigaction ignore {}, old {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &old);
    const auto pipeline = Shell::runDirect("yes | head -n 1");
    const auto ignored = Shell::runDirect("exec grep SigIgn /proc/self/status");
    ::sigaction(SIGPIPE, &old, nullptr);
    EXPECT_EQ(pipeline.result, "y\n");
    EXPECT_EQ(pipeline.errorCode, 0);
    ASSERT_EQ(ignored.result.rfind("SigIgn:\t", 0), 0u) << ignored.result;
    const unsigned long long mask = std::stoull(ignored.result.substr(8), nullptr, 16);
    EXPECT_EQ(mask & (1ull << (SIGPIPE - 1)), 0u) << ignored.result;
}

TEST_F(RealRunner, LargeOutputIsReadWhole) {
    const auto out = Shell::runDirect("head -c 3000000 /dev/zero; echo tail >&2");
    EXPECT_EQ(out.result.size(), 3000000u + 5u);
    EXPECT_EQ(out.result.substr(out.result.size() - 5), "tail\n");
}

// A background child that keeps the output open must not keep the routine waiting.
TEST_F(RealRunner, BackgroundChildHoldingTheOutputDoesNotHoldTheCommand) {
    const auto start = std::chrono::steady_clock::now();
    const auto out = Shell::runDirect("sleep 20 & echo $!");
    const auto took = std::chrono::steady_clock::now() - start;
    const int pid = std::atoi(out.result.c_str());
    if (pid > 0) ::kill(pid, SIGKILL);
    EXPECT_EQ(out.errorCode, 0);
    EXPECT_GT(pid, 0);
    EXPECT_LT(took, std::chrono::seconds(10));
}

TEST_F(RealRunner, ToolFolderComesFirstInPath) {
    TempDir tools;
    const auto tool = tools / "textutil";
    vorpeltest::writeFile(tool, "#!/bin/sh\necho stand-in \"$@\"\n");
    ::chmod(tool.c_str(), 0755);
    // An unrelated program of a common name must lose against the stand-in too.
    vorpeltest::writeFile(tools / "ls", "#!/bin/sh\necho not-the-system-ls\n");
    ::chmod((tools / "ls").c_str(), 0755);
    Shell::setToolDir(tools.path().string());

    EXPECT_EQ(Shell::runDirect("textutil -convert rtf x").result, "stand-in -convert rtf x\n");
    EXPECT_EQ(Shell::runDirect("ls").result, "not-the-system-ls\n");
    const auto path = Shell::runDirect("printf %s \"$PATH\"").result;
    EXPECT_EQ(path.rfind(tools.path().string() + ":", 0), 0u) << path;
    // The rest of PATH is kept: system tools still work.
    EXPECT_EQ(Shell::runDirect("du -h /dev/null").errorCode, 0);
}

// An empty PATH must not turn into "tools:", whose empty entry means the current folder.
TEST_F(RealRunner, EmptyPathGetsTheToolFolderAlone) {
    TempDir tools;
    Shell::setToolDir(tools.path().string());
    const std::string saved = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", "", 1);
    const auto out = Shell::runDirect("printf %s \"$PATH\"");
    ::setenv("PATH", saved.c_str(), 1);
    EXPECT_EQ(out.result, tools.path().string());
}

TEST_F(RealRunner, ExecuteGoesThroughTheSeamOrTheRealRunner) {
    Shell real;
    real.Execute("echo hi; exit 4");
    EXPECT_EQ(real.Result, "hi\n");
    EXPECT_EQ(real.ErrorCode, 4);
    std::string seen;
    Shell::setRunner([&](const std::string& c) {
        seen = c;
        EXPECT_TRUE(Shell::running());
        return vorpel::ShellOutcome{7, "scripted"};
    });
    Shell seamed;
    seamed.Execute("anything");
    Shell::setRunner({});
    EXPECT_EQ(seen, "anything");
    EXPECT_EQ(seamed.ErrorCode, 7);
    EXPECT_EQ(seamed.Result, "scripted");
    EXPECT_FALSE(Shell::running());
}

// The escaped path must come back from a real shell as exactly the file's path.
TEST_F(RealRunner, ShellPathsSurviveARealShell) {
    TempDir dir;
    const std::vector<std::string> names = {
        "plain.txt",       "with blank.txt", "it's.txt",        "say \"hi\".txt",
        "a$HOME`x`.txt",   "semi;colon&amp", "\xC3\xBCnic\xC3\xB8" "de \xE6\x96\x87.txt",
        "new\nline.txt",   "-dash.txt",      "star*?[a].txt",   "back\\slash.txt",
        "tab\there.txt",   "~tilde",         "#hash",           "bang!.txt",
        "\xFF\xFE raw bytes.txt"};
    for (const std::string& n : names) {
        SCOPED_TRACE(n);
        const auto file = dir / n;
        vorpeltest::writeFile(file, "content of " + n);
        const vorpel::FolderItem item(file);
        const auto out = Shell::runDirect("cat " + item.ShellPath());
        EXPECT_EQ(out.errorCode, 0);
        EXPECT_EQ(out.result, "content of " + n);
        // And the output side of a redirection.
        const vorpel::FolderItem target = item.Parent().Child(n + ".out");
        ASSERT_FALSE(target.isNull());
        EXPECT_EQ(Shell::runDirect("cat < " + item.ShellPath() + " >  " + target.ShellPath()).errorCode, 0);
        EXPECT_EQ(vorpeltest::readFile(target.path()), "content of " + n);
    }
}

} // namespace

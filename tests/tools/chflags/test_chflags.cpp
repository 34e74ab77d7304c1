// Runs the built chflags tool on real trees, as root and as a throwaway ordinary user.

#include "chflagskit.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace fs = std::filesystem;
using vorpeltest::ProcessResult;
using vorpeltest::TempDir;
using vorpeltest::haveProgram;
using vorpeltest::listDir;
using vorpeltest::readFile;
using vorpeltest::runProcess;
using vorpeltest::toolPath;
using vorpeltest::writeFile;

namespace {

using chflagskit::chflags;
using chflagskit::kAttr;
using chflagskit::modeOf;
using chflagskit::record;

fs::path makeFile(const fs::path& p, mode_t mode, const std::string& content = "data\n") {
    writeFile(p, content);
    ::chmod(p.c_str(), mode);
    return p;
}

fs::path makeDir(const fs::path& p, mode_t mode) {
    fs::create_directory(p);
    ::chmod(p.c_str(), mode);
    return p;
}

std::string octal(mode_t m) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04o", unsigned(m));
    return buf;
}

class ChflagsTest : public ::testing::Test {
protected:
    TempDir dir;
};

// Suite names carry the tool's name so `ctest -R chflags` picks them up.
using chflags_modes = ChflagsTest;
using chflags_tree = ChflagsTest;
using chflags_errors = ChflagsTest;

// --- exact round trips of the mode ---

TEST_F(chflags_modes, LockClearsWriteBitsAndUnlockRestoresTheExactMode) {
    struct Case {
        const char* name;
        mode_t mode;
        bool folder;
    };
    const Case cases[] = {{"f640", 0640, false}, {"f444", 0444, false}, {"f604", 0604, false},
                          {"f4755", 04755, false}, {"f666", 0666, false}, {"d2750", 02750, true},
                          {"d755", 0755, true}, {"d1777", 01777, true}, {"d555", 0555, true}};
    std::vector<std::string> args{"-R", "uchg"};
    for (const Case& c : cases) {
        c.folder ? makeDir(dir / c.name, c.mode) : makeFile(dir / c.name, c.mode);
        args.push_back((dir / c.name).string());
    }
    ProcessResult r = chflags(args);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(octal(modeOf(dir / c.name)), octal(c.mode & ~0222));
        EXPECT_EQ(record(dir / c.name), octal(c.mode));
    }
    args[1] = "nouchg";
    r = chflags(args);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(octal(modeOf(dir / c.name)), octal(c.mode));
        EXPECT_EQ(record(dir / c.name), std::nullopt) << "record left behind";
    }
}

TEST_F(chflags_modes, LockingTwiceKeepsTheFirstRecordAndUnlockingTwiceIsHarmless) {
    const fs::path f = makeFile(dir / "f", 0640);
    const fs::path d = makeDir(dir / "d", 02750);
    for (const char* flag : {"uchg", "uchange"}) {
        ASSERT_EQ(chflags({"-R", flag, f.string(), d.string()}).status, 0) << flag;
    }
    EXPECT_EQ(record(f), "0640") << "second lock overwrote the record with the locked mode";
    EXPECT_EQ(record(d), "2750");
    for (const char* flag : {"nouchg", "nouchange"}) {
        ASSERT_EQ(chflags({"-R", flag, f.string(), d.string()}).status, 0) << flag;
        EXPECT_EQ(octal(modeOf(f)), "0640") << flag;
        EXPECT_EQ(octal(modeOf(d)), "2750") << flag;
    }
}

TEST_F(chflags_modes, UnlockWithoutRecordGivesTheOwnerWrite) {
    const fs::path f = makeFile(dir / "f", 0444);
    const fs::path d = makeDir(dir / "d", 0555);
    ASSERT_EQ(chflags({"nouchg", f.string(), d.string()}).status, 0);
    EXPECT_EQ(octal(modeOf(f)), "0644");
    EXPECT_EQ(octal(modeOf(d)), "0755");
}

TEST_F(chflags_modes, MalformedRecordIsReportedAndTheModeKept) {
    const fs::path f = makeFile(dir / "f", 0444);
    ASSERT_EQ(::lsetxattr(f.c_str(), kAttr, "rw-r", 4, 0), 0);
    const ProcessResult r = chflags({"nouchg", f.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("chflags: " + f.string() + ": malformed"), std::string::npos) << r.err;
    EXPECT_EQ(octal(modeOf(f)), "0444");
}

// --- recursion ---

TEST_F(chflags_tree, RecursiveLockNeverTouchesLinkTargetsOrSpecialFiles) {
    const fs::path outsideFile = makeFile(dir / "outside.txt", 0666);
    const fs::path outsideDir = makeDir(dir / "outside", 0775);
    const fs::path outsideInner = makeFile(outsideDir / "inner.txt", 0664);
    const fs::path tree = makeDir(dir / "tree", 0755);
    const fs::path file = makeFile(tree / "a.txt", 0640);
    const fs::path sub = makeDir(tree / "sub", 02750);
    const fs::path deep = makeFile(sub / "b.txt", 0604);
    fs::create_symlink(outsideFile, tree / "link-to-file");
    fs::create_symlink(outsideDir, sub / "link-to-dir");
    const fs::path fifo = tree / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    ::chmod(fifo.c_str(), 0666);

    ProcessResult r = chflags({"-R", "uchg", tree.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(octal(modeOf(tree)), "0555");
    EXPECT_EQ(octal(modeOf(file)), "0440");
    EXPECT_EQ(octal(modeOf(sub)), "2550");
    EXPECT_EQ(octal(modeOf(deep)), "0404");
    EXPECT_EQ(octal(modeOf(fifo)), "0666");
    EXPECT_EQ(octal(modeOf(outsideFile)), "0666") << "a link's target was changed";
    EXPECT_EQ(octal(modeOf(outsideDir)), "0775");
    EXPECT_EQ(octal(modeOf(outsideInner)), "0664") << "walked into a linked folder";
    EXPECT_EQ(record(outsideFile), std::nullopt);
    EXPECT_TRUE(fs::is_symlink(tree / "link-to-file"));

    r = chflags({"-R", "nouchg", tree.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(octal(modeOf(tree)), "0755");
    EXPECT_EQ(octal(modeOf(file)), "0640");
    EXPECT_EQ(octal(modeOf(sub)), "2750");
    EXPECT_EQ(octal(modeOf(deep)), "0604");
    EXPECT_EQ(octal(modeOf(outsideFile)), "0666");
}

TEST_F(chflags_tree, TreeDeeperThanThePathLimitLocksAndUnlocksWhole) {
    constexpr int kDepth = 2000; // "level/" 2,000 times: three times the 4,096 characters of a path
    const fs::path outside = makeFile(dir / "outside.txt", 0666);
    const fs::path next = makeFile(dir / "next.txt", 0644);
    const fs::path tree = dir / "deep";
    chflagskit::makeDeepTree(tree, kDepth, outside);
    if (HasFatalFailure()) return;
    const auto count = [&](mode_t folder, mode_t file, const std::optional<std::string>& folderRecord,
                           const std::optional<std::string>& fileRecord) {
        const std::vector<chflagskit::Level> levels = chflagskit::deepTreeLevels(tree);
        EXPECT_EQ(levels.size(), size_t(kDepth + 1));
        int wrong = 0;
        for (const auto& l : levels) {
            wrong += l.folder != folder || l.file != file || l.folderRecord != folderRecord ||
                     l.fileRecord != fileRecord;
        }
        return wrong;
    };
    // Relative operands, one after the tree: the walk must come back to where it started.
    const std::string tool = toolPath("chflags").string();
    const auto inDir = [&](const std::string& args) {
        return runProcess({"/bin/sh", "-c", "cd '" + dir.path().string() + "' && '" + tool + "' " + args});
    };
    ProcessResult r = inDir("-R uchg deep next.txt");
    ASSERT_EQ(r.status, 0) << r.err.substr(0, 1000);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(count(0555, 0444, "0755", "0644"), 0) << "levels not locked";
    EXPECT_EQ(octal(modeOf(next)), "0444");
    EXPECT_EQ(octal(modeOf(outside)), "0666") << "the link at the bottom was followed";

    r = inDir("-R nouchg deep next.txt");
    ASSERT_EQ(r.status, 0) << r.err.substr(0, 1000);
    EXPECT_EQ(count(0755, 0644, std::nullopt, std::nullopt), 0) << "levels not unlocked";
    EXPECT_EQ(octal(modeOf(next)), "0644");
    EXPECT_EQ(record(outside), std::nullopt);

    chflagskit::removeTree(tree);
    EXPECT_FALSE(fs::exists(tree));
}

TEST_F(chflags_tree, HardLinkedFileIsRestoredOnce) {
    const fs::path tree = makeDir(dir / "tree", 0755);
    const fs::path a = makeFile(tree / "a", 0444);
    fs::create_hard_link(a, tree / "b");
    ASSERT_EQ(chflags({"-R", "uchg", tree.string()}).status, 0);
    ASSERT_EQ(chflags({"-R", "nouchg", tree.string(), a.string()}).status, 0);
    EXPECT_EQ(octal(modeOf(a)), "0444") << "unlocked twice in one run";
}

TEST_F(chflags_tree, WithoutRecursionOnlyTheNamedItemChanges) {
    const fs::path tree = makeDir(dir / "tree", 0755);
    const fs::path file = makeFile(tree / "a.txt", 0644);
    ASSERT_EQ(chflags({"uchg", tree.string()}).status, 0);
    EXPECT_EQ(octal(modeOf(tree)), "0555");
    EXPECT_EQ(octal(modeOf(file)), "0644");
    EXPECT_EQ(record(file), std::nullopt);
}

TEST_F(chflags_tree, SymlinkOperandIsLeftAlone) {
    const fs::path target = makeFile(dir / "target", 0644);
    fs::create_symlink(target, dir / "link");
    ASSERT_EQ(chflags({"-R", "uchg", (dir / "link").string()}).status, 0);
    EXPECT_EQ(octal(modeOf(target)), "0644");
    EXPECT_EQ(record(target), std::nullopt);
}

// --- errors ---

TEST_F(chflags_errors, MissingPathIsReportedAndTheOthersStillChange) {
    const fs::path a = makeFile(dir / "a", 0644);
    const fs::path b = makeFile(dir / "b", 0644);
    const fs::path missing = dir / "missing";
    const ProcessResult r = chflags({"-R", "uchg", a.string(), missing.string(), b.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "chflags: " + missing.string() + ": No such file or directory\n");
    EXPECT_EQ(octal(modeOf(a)), "0444");
    EXPECT_EQ(octal(modeOf(b)), "0444");
}

TEST_F(chflags_errors, BadCommandLinesChangeNothing) {
    const fs::path f = makeFile(dir / "f", 0644);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-R", "schg", f.string()}, {"-R", "uchg"}, {}, {"-X", "uchg", f.string()}, {"-L", "uchg", f.string()}}) {
        const ProcessResult r = chflags(args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_TRUE(r.err.starts_with("chflags: ")) << r.err;
    }
    EXPECT_EQ(octal(modeOf(f)), "0644");
    const ProcessResult help = chflags({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: chflags"), std::string::npos);
}

TEST_F(chflags_errors, FileSystemWithoutXattrsIsRefusedUnchanged) {
    // ramfs keeps no user attributes; mount one in a private namespace.
    if (::geteuid() != 0 || !haveProgram("unshare")) GTEST_SKIP() << "needs root and unshare to mount a ramfs";
    const fs::path mnt = makeDir(dir / "ramfs", 0755);
    const std::string tool = toolPath("chflags").string();
    const std::string script = "mount -t ramfs none '" + mnt.string() + "' || exit 99\n"
                               "cd '" + mnt.string() + "' && mkdir d && echo x > d/f && chmod 640 d/f\n"
                               "'" + tool + "' -R uchg d; echo status=$?\n"
                               "stat -c '%a %n' d d/f\n";
    const ProcessResult r = runProcess({"unshare", "-m", "sh", "-c", script});
    if (r.status == 99) GTEST_SKIP() << "cannot mount a ramfs here: " << r.err;
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("status=1"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("does not support extended attributes"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("755 d\n640 d/f\n"), std::string::npos) << "modes changed without a record:\n" << r.out;
}

// --- as an ordinary user, the one the lock has to stop ---

class chflags_user : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (::geteuid() != 0 || !haveProgram("useradd") || !haveProgram("setpriv")) return;
        name_ = "vorpelt" + std::to_string(::getpid());
        const ProcessResult r = runProcess({"useradd", "--no-create-home", "--shell", "/bin/sh", name_});
        if (r.status != 0) {
            name_.clear();
            return;
        }
        const ProcessResult id = runProcess({"id", "-u", name_});
        const ProcessResult gid = runProcess({"id", "-g", name_});
        uid_ = std::stoi(id.out);
        gid_ = std::stoi(gid.out);
    }
    static void TearDownTestSuite() {
        if (!name_.empty()) runProcess({"userdel", name_});
        name_.clear();
    }

    void SetUp() override {
        if (name_.empty()) GTEST_SKIP() << "needs root with useradd and setpriv to test as an ordinary user";
        ASSERT_EQ(::chown(dir.path().c_str(), uid_, gid_), 0);
    }

    // Gives a tree made by the test (as root) to the user.
    void giveAway(const fs::path& p) {
        ASSERT_EQ(::lchown(p.c_str(), uid_, gid_), 0);
        if (fs::is_directory(fs::symlink_status(p))) {
            for (const auto& e : fs::recursive_directory_iterator(p)) ASSERT_EQ(::lchown(e.path().c_str(), uid_, gid_), 0);
        }
    }

    ProcessResult asUser(std::vector<std::string> argv) {
        argv.insert(argv.begin(), {"setpriv", "--reuid=" + std::to_string(uid_), "--regid=" + std::to_string(gid_),
                                   "--clear-groups", "--"});
        return runProcess(argv);
    }
    ProcessResult chflagsAsUser(std::vector<std::string> args) {
        args.insert(args.begin(), toolPath("chflags").string());
        return asUser(args);
    }
    bool userCan(const std::string& shellCommand) { return asUser({"sh", "-c", shellCommand}).status == 0; }

    TempDir dir;
    static inline std::string name_;
    static inline uid_t uid_ = 0;
    static inline gid_t gid_ = 0;
};

TEST_F(chflags_user, LockedFolderStopsItsOwnerAndUnlockGivesEverythingBack) {
    const fs::path tree = makeDir(dir / "tree", 0755);
    const fs::path file = makeFile(tree / "a.txt", 0644, "original\n");
    const fs::path sub = makeDir(tree / "sub", 0755);
    makeFile(sub / "b.txt", 0600);
    giveAway(tree);
    const std::string t = tree.string();

    ProcessResult r = chflagsAsUser({"-R", "uchg", t});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(userCan("rm -f '" + t + "/a.txt'")) << "deleted";
    EXPECT_FALSE(userCan("mv '" + t + "/a.txt' '" + t + "/renamed.txt'")) << "renamed";
    EXPECT_FALSE(userCan("echo more >> '" + t + "/a.txt'")) << "appended";
    EXPECT_FALSE(userCan("echo new > '" + t + "/new.txt'")) << "created a file";
    EXPECT_FALSE(userCan("mkdir '" + t + "/newdir'")) << "created a folder";
    EXPECT_FALSE(userCan("rm -rf '" + t + "/sub'")) << "removed a subfolder";
    EXPECT_FALSE(userCan("rm -f '" + t + "/sub/b.txt'")) << "deleted in a subfolder";
    EXPECT_EQ(readFile(file), "original\n");
    EXPECT_EQ(listDir(tree), (std::vector<std::string>{"a.txt", "sub"}));
    EXPECT_EQ(listDir(sub), std::vector<std::string>{"b.txt"});

    r = chflagsAsUser({"-R", "nouchg", t});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(octal(modeOf(tree)), "0755");
    EXPECT_EQ(octal(modeOf(file)), "0644");
    EXPECT_EQ(octal(modeOf(sub / "b.txt")), "0600");
    EXPECT_TRUE(userCan("echo more >> '" + t + "/a.txt'"));
    EXPECT_TRUE(userCan("echo new > '" + t + "/new.txt'"));
    EXPECT_TRUE(userCan("mv '" + t + "/a.txt' '" + t + "/renamed.txt'"));
    EXPECT_TRUE(userCan("rm -f '" + t + "/renamed.txt' && rm -rf '" + t + "/sub'"));
    EXPECT_EQ(listDir(tree), std::vector<std::string>{"new.txt"});
}

TEST_F(chflags_user, OwnerCanLockAndUnlockItemsWithoutWritePermission) {
    // Recording and removing the attribute needs write permission the owner has to lend itself.
    const fs::path tree = makeDir(dir / "tree", 0555);
    const fs::path ro = makeFile(dir / "ro.txt", 0444);
    const fs::path priv = makeFile(dir / "priv.txt", 0400);
    giveAway(tree);
    giveAway(ro);
    giveAway(priv);
    ProcessResult r = chflagsAsUser({"-R", "uchg", tree.string(), ro.string(), priv.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(record(tree), "0555");
    EXPECT_EQ(record(ro), "0444");
    EXPECT_EQ(record(priv), "0400");
    EXPECT_EQ(octal(modeOf(ro)), "0444");

    r = chflagsAsUser({"-R", "nouchg", tree.string(), ro.string(), priv.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(octal(modeOf(tree)), "0555");
    EXPECT_EQ(octal(modeOf(ro)), "0444");
    EXPECT_EQ(octal(modeOf(priv)), "0400");
    EXPECT_EQ(record(tree), std::nullopt);
    EXPECT_EQ(record(ro), std::nullopt);
    EXPECT_EQ(record(priv), std::nullopt);
}

TEST_F(chflags_user, ItemsOfOtherOwnersFailWithoutStoppingTheWalk) {
    const fs::path tree = makeDir(dir / "tree", 0755);
    const fs::path mine1 = makeFile(tree / "a-mine.txt", 0644);
    const fs::path rootOwned = makeFile(tree / "b-root.txt", 0644);
    const fs::path mine2 = makeFile(tree / "c-mine.txt", 0644);
    giveAway(tree);
    ASSERT_EQ(::chown(rootOwned.c_str(), 0, 0), 0);

    const ProcessResult r = chflagsAsUser({"-R", "uchg", tree.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("chflags: " + rootOwned.string() + ": "), std::string::npos) << r.err;
    EXPECT_EQ(octal(modeOf(rootOwned)), "0644");
    EXPECT_EQ(octal(modeOf(mine1)), "0444");
    EXPECT_EQ(octal(modeOf(mine2)), "0444");
    EXPECT_EQ(octal(modeOf(tree)), "0555");
}

} // namespace

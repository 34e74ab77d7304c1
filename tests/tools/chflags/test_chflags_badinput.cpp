// chflags against odd operands. It changes permissions only, so content is never its input:
// empty, garbage and cut-short files lock like any other and keep their bytes; what it cannot
// reach fails with one "chflags: PATH: reason" line and stays as it was.
#include "chflagskit.h"
#include "testsupport.h"
#include "throwawayuser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace fs = std::filesystem;
using vorpeltest::listDir;
using vorpeltest::ProcessResult;
using vorpeltest::readFile;
using vorpeltest::runProcess;
using vorpeltest::TempDir;
using vorpeltest::writeFile;

namespace {

using chflagskit::chflags;
using chflagskit::modeOf;
using chflagskit::record;

TEST(chflags_badinput, ContentIsNeverReadOrChanged) {
    TempDir dir;
    std::string garbage;
    for (unsigned i = 0; i < 5000; ++i) garbage += char((i * 2654435761u) >> 5);
    const std::vector<std::pair<std::string, std::string>> files = {
        {"empty.txt", ""}, {"garbage.bin", garbage}, {"cut.docx", std::string("PK\x03\x04\x14\0", 6)}};
    fs::create_directory(dir / "folder");
    std::vector<std::string> args{"-R", "uchg"};
    for (const auto& [name, bytes] : files) {
        writeFile(dir / "folder" / name, bytes);
        ::chmod((dir / "folder" / name).c_str(), 0644);
    }
    args.push_back((dir / "folder").string());
    ProcessResult r = chflags(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (const auto& [name, bytes] : files) {
        EXPECT_EQ(modeOf(dir / "folder" / name), 0444u) << name;
        EXPECT_EQ(readFile(dir / "folder" / name), bytes) << name;
    }
    args[1] = "nouchg";
    ASSERT_EQ(chflags(args).status, 0);
    for (const auto& [name, bytes] : files) {
        EXPECT_EQ(modeOf(dir / "folder" / name), 0644u) << name;
        EXPECT_EQ(readFile(dir / "folder" / name), bytes) << name;
    }
}

TEST(chflags_badinput, SpecialCharactersInNames) {
    TempDir dir;
    const std::string name = "a b'c\"d$e`f\\g!h&i;j|k*l?m[n]o{p}q(r)s<t>u#v~w%x^y=z,@+\t\xC3\xA9\xE2\x98\x83-";
    const fs::path folder = dir / (name + " folder");
    fs::create_directory(folder);
    ::chmod(folder.c_str(), 0750);
    writeFile(folder / name, "x");
    ::chmod((folder / name).c_str(), 0640);
    ASSERT_EQ(chflags({"-R", "uchg", folder.string()}).status, 0);
    EXPECT_EQ(modeOf(folder), 0550u);
    EXPECT_EQ(modeOf(folder / name), 0440u);
    ASSERT_EQ(chflags({"-R", "nouchg", folder.string()}).status, 0);
    EXPECT_EQ(modeOf(folder), 0750u);
    EXPECT_EQ(modeOf(folder / name), 0640u);

    const fs::path missing = dir / ("gone " + name + "\n");
    const ProcessResult r = chflags({"-R", "uchg", missing.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "chflags: " + missing.string() + ": No such file or directory\n");
    // A name starting with a dash after the flags is a path, not an option; "--" ends the
    // options before the flags or after them.
    const fs::path dash = dir / "-R";
    const fs::path dashes = dir / "--";
    for (const fs::path& p : {dash, dashes}) {
        writeFile(p, "d");
        ::chmod(p.c_str(), 0600);
    }
    const std::string tool = vorpeltest::toolPath("chflags").string();
    const auto inDir = [&](const std::string& args) {
        return runProcess({"/bin/sh", "-c", "cd '" + dir.path().string() + "' && '" + tool + "' " + args});
    };
    const struct {
        std::string args;
        fs::path changed;
        mode_t mode;
    } cases[] = {{"uchg -R", dash, 0400},        {"-R nouchg -- -R", dash, 0600}, {"-R uchg -- -R", dash, 0400},
                 {"-- nouchg -R", dash, 0600},   {"-- uchg -- --", dashes, 0400}, {"nouchg -- --", dashes, 0600}};
    for (const auto& c : cases) {
        const ProcessResult run = inDir(c.args);
        EXPECT_EQ(run.status, 0) << c.args << "\n" << run.err;
        EXPECT_EQ(run.err, "") << c.args;
        EXPECT_EQ(modeOf(c.changed), c.mode) << c.args;
    }
    EXPECT_EQ(inDir("-R uchg --").status, 2);
    EXPECT_EQ(modeOf(dash), 0600u);
    EXPECT_EQ(modeOf(dashes), 0600u);
}

class chflags_badinput_user : public vorpeltest::AsOrdinaryUser {
protected:
    void SetUp() override {
        AsOrdinaryUser::SetUp();
        if (IsSkipped()) return;
        ASSERT_TRUE(user_->give(dir.path()));
    }
    static ProcessResult chflagsAsUser(const std::vector<std::string>& args) { return runTool("chflags", args); }
};

TEST_F(chflags_badinput_user, OwnFileWithoutAnyPermissionStillLocksAndUnlocks) {
    const fs::path f = dir / "closed.txt";
    writeFile(f, "closed");
    ::chmod(f.c_str(), 0000);
    ASSERT_TRUE(user_->give(f));
    ProcessResult r = chflagsAsUser({"uchg", f.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(record(f), "0000");
    r = chflagsAsUser({"nouchg", f.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(modeOf(f), 0000u);
    EXPECT_EQ(record(f), std::nullopt);
    EXPECT_EQ(readFile(f), "closed");
}

TEST_F(chflags_badinput_user, SomeoneElsesUnreadableFileIsRefusedUnchanged) {
    const fs::path f = dir / "roots.txt";
    writeFile(f, "root's");
    ::chmod(f.c_str(), 0600);
    for (const char* flag : {"uchg", "nouchg"}) {
        const ProcessResult r = chflagsAsUser({"-R", flag, f.string()});
        EXPECT_EQ(r.status, 1) << flag;
        EXPECT_EQ(r.err.rfind("chflags: " + f.string() + ": ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(modeOf(f), 0600u) << flag;
        EXPECT_EQ(record(f), std::nullopt) << flag;
    }
}

TEST_F(chflags_badinput_user, FolderThatCannotBeListedIsReportedOnceAndComesBackWhole) {
    // Its entries cannot be reached; the folder itself is the user's to lock.
    const fs::path d = dir / "sealed";
    fs::create_directory(d);
    writeFile(d / "inside.txt", "in");
    ::chmod((d / "inside.txt").c_str(), 0644);
    ::chmod(d.c_str(), 0300);
    ASSERT_TRUE(user_->give(d));
    ProcessResult r = chflagsAsUser({"-R", "uchg", d.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "chflags: " + d.string() + ": Permission denied\n");
    EXPECT_EQ(modeOf(d), 0100u);
    EXPECT_EQ(record(d), "0300");
    EXPECT_EQ(modeOf(d / "inside.txt"), 0644u);
    r = chflagsAsUser({"-R", "nouchg", d.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "chflags: " + d.string() + ": Permission denied\n");
    EXPECT_EQ(modeOf(d), 0300u);
    EXPECT_EQ(record(d), std::nullopt);
    EXPECT_EQ(modeOf(d / "inside.txt"), 0644u);
}

TEST_F(chflags_badinput_user, ItemsInAFolderTheUserCannotWriteAreRefusedUnchanged) {
    // root's folder and root's file: neither the lock nor its record may be written.
    const fs::path d = dir / "roots";
    fs::create_directory(d);
    ::chmod(d.c_str(), 0755);
    ::chown(d.c_str(), 0, 0);
    writeFile(d / "a.txt", "a");
    ::chmod((d / "a.txt").c_str(), 0644);
    const ProcessResult r = chflagsAsUser({"-R", "uchg", d.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("chflags: " + (d / "a.txt").string() + ": "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("chflags: " + d.string() + ": "), std::string::npos) << r.err;
    EXPECT_EQ(modeOf(d), 0755u);
    EXPECT_EQ(modeOf(d / "a.txt"), 0644u);
    EXPECT_EQ(record(d), std::nullopt);
    EXPECT_EQ(record(d / "a.txt"), std::nullopt);
    EXPECT_EQ(listDir(d), std::vector<std::string>{"a.txt"});
}

} // namespace

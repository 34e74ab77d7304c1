// say against bad input files (-f): each case fails with one "say: PATH: reason" line, writes
// nothing and leaves the input as it was.
#include "testsupport.h"
#include "throwawayuser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

namespace fs = std::filesystem;
using vorpeltest::listDir;
using vorpeltest::ProcessResult;
using vorpeltest::readFile;
using vorpeltest::runProcess;
using vorpeltest::TempDir;
using vorpeltest::writeFile;

namespace {

std::string tool() { return vorpeltest::toolPath("say").string(); }

ProcessResult say(std::vector<std::string> args, const std::string& input = {}) {
    args.insert(args.begin(), tool());
    return runProcess(args, input);
}

void expectCleanFailure(const ProcessResult& r, const std::string& path, const std::string& what) {
    EXPECT_EQ(r.status, 1) << what << "\n" << r.err;
    EXPECT_EQ(r.err.rfind("say: " + path + ": ", 0), 0u) << what << "\n" << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << what << "\n" << r.err;
    EXPECT_EQ(r.out, "") << what;
}

std::string garbage(size_t n) {
    std::string g;
    for (unsigned i = 0; i < n; ++i) g += char((i * 2654435761u) >> 7);
    return g;
}

TEST(say_badinput, MissingFolderEmptyAndBinaryInputFiles) {
    TempDir dir;
    fs::create_directory(dir / "folder");
    writeFile(dir / "empty.txt", "");
    writeFile(dir / "garbage.bin", garbage(20000));
    // What a picture or an archive looks like when handed over as text.
    writeFile(dir / "picture.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + garbage(3000));
    const struct {
        std::string name, reason;
    } cases[] = {{"missing.txt", "No such file or directory"},
                 {"folder", "Is a directory"},
                 {"empty.txt", "no text to speak"},
                 {"garbage.bin", "not text"},
                 {"picture.png", "not text"}};
    const auto before = listDir(dir.path());
    for (const auto& c : cases) {
        const fs::path in = dir / c.name;
        const std::string bytes = fs::is_regular_file(in) ? readFile(in) : "";
        const ProcessResult r = say({"-v", "Alex", "-o", (dir / "Untitled.aiff").string(), "-f", in.string()});
        expectCleanFailure(r, in.string(), c.name);
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
        EXPECT_EQ(listDir(dir.path()), before) << c.name << ": something was written";
        if (fs::is_regular_file(in)) {
            EXPECT_EQ(readFile(in), bytes);
        }
    }
    // The same bytes down the pipe the app uses.
    const ProcessResult piped = say({"-o", (dir / "Untitled.aiff").string()}, garbage(20000));
    expectCleanFailure(piped, "standard input", "piped garbage");
    EXPECT_EQ(listDir(dir.path()), before);
}

TEST(say_badinput, TextCutInsideACharacterIsStillReadAsUtf8) {
    // "Köln é" with the last character cut short: the rest stays UTF-8, not Latin-1 mojibake.
    TempDir dir;
    const std::string whole = "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln.";
    writeFile(dir / "whole.txt", whole);
    writeFile(dir / "cut.txt", whole + "\xC3");
    ASSERT_EQ(say({"-o", (dir / "whole.aiff").string(), "-f", (dir / "whole.txt").string()}).status, 0);
    const ProcessResult r = say({"-o", (dir / "cut.aiff").string(), "-f", (dir / "cut.txt").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir / "cut.aiff"), readFile(dir / "whole.aiff")) << "the cut text was not read as UTF-8";
}

TEST(say_badinput, SpecialCharactersInNames) {
    TempDir dir;
    const std::string name = "a b'c\"d$e`f\\g!h&i;j|k*l?m[n]o{p}q(r)s<t>u#v~w%x^y=z,@+\t\xC3\xA9\xE2\x98\x83-";
    writeFile(dir / (name + ".txt"), "Hello.\n");
    const fs::path out = dir / (name + ".aiff");
    ProcessResult r = say({"-o", out.string(), "-f", (dir / (name + ".txt")).string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(out).substr(0, 4), "FORM");
    EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{name + ".aiff", name + ".txt"}));

    const fs::path missing = dir / ("gone " + name + "\n.txt");
    r = say({"-o", (dir / "x.aiff").string(), "-f", missing.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "say: " + missing.string() + ": No such file or directory\n");
    const fs::path badOut = dir / ("no folder " + name) / "x.aiff";
    r = say({"-o", badOut.string()}, "Hello.");
    expectCleanFailure(r, badOut.string(), "output in a missing folder");
    EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{name + ".aiff", name + ".txt"}));
}

class say_badinput_user : public vorpeltest::AsOrdinaryUser {};

TEST_F(say_badinput_user, UnreadableInputFileFailsAndWritesNothing) {
    ASSERT_TRUE(user_->give(dir.path()));
    const fs::path in = dir / "secret.txt";
    writeFile(in, "Secret words.\n");
    ::chmod(in.c_str(), 0000);
    const ProcessResult r = user_->run({tool(), "-o", (dir / "Untitled.aiff").string(), "-f", in.string()});
    expectCleanFailure(r, in.string(), "unreadable");
    EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
    EXPECT_EQ(listDir(dir.path()), std::vector<std::string>{"secret.txt"});
    ::chmod(in.c_str(), 0644);
    EXPECT_EQ(readFile(in), "Secret words.\n");
}

TEST_F(say_badinput_user, UnwritableOutputFolderFailsAndLeavesItAlone) {
    const fs::path in = dir / "words.txt";
    writeFile(in, "Some words.\n");
    ::chmod(dir.path().c_str(), 0755);  // root's: the user may read but not write here
    const fs::path out = dir / "Untitled.aiff";
    for (const ProcessResult& r : {user_->run({tool(), "-o", out.string(), "-f", in.string()}),
                                   user_->run({tool(), "-o", out.string()}, "Some words.\n")}) {
        expectCleanFailure(r, out.string(), "unwritable folder");
        EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
    }
    EXPECT_EQ(listDir(dir.path()), std::vector<std::string>{"words.txt"});
}

} // namespace

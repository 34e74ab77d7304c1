// ShellPath as a property over random names, and FolderItem's Parent and Child.
#include "platform/folderitem.h"
#include "platform/shell.h"
#include "testsupport.h"

#include <gtest/gtest.h>
#include <random>
#include <unistd.h>

namespace fs = std::filesystem;
using vorpel::FolderItem;
using vorpel::Shell;
using vorpel::shellQuote;

namespace {

// Runs the command in the given folder (so a stray "touch X" would land there).
std::string printThrough(const fs::path& cwd, const std::string& quoted) {
    const std::string cmd = "cd " + shellQuote(cwd.string()) + " && printf '%s\\n' " + quoted;
    return Shell::runDirect(cmd).result;
}

std::string printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7f) out += char(c);
        else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    return out;
}

const std::string kSpecials = " \t\n'\"$`\\!*?[]{}~#&;|<>()=%^,:@+-./";

std::string randomName(std::mt19937& rng, bool allowSlash) {
    std::uniform_int_distribution<int> len(1, 24), kind(0, 9), any(1, 255),
        special(0, int(kSpecials.size()) - 1), alpha(0, 25);
    std::string s;
    const int n = len(rng);
    for (int i = 0; i < n; ++i) {
        char c;
        switch (kind(rng)) {
        case 0: case 1: case 2: case 3: c = kSpecials[size_t(special(rng))]; break;
        case 4: case 5: c = char(0x80 + any(rng) % 0x80); break;  // not UTF-8 as a rule
        case 6: c = char(any(rng)); break;
        default: c = char('a' + alpha(rng)); break;
        }
        if (!allowSlash && c == '/') c = '_';
        s += c;
    }
    return s;
}

class ShellPathProperty : public ::testing::Test {
protected:
    void SetUp() override {
        // A file a glob could match, so unquoted patterns would show.
        vorpeltest::writeFile(dir / "X-glob", "");
    }
    void expectNothingRan() {
        EXPECT_EQ(vorpeltest::listDir(dir.path()), std::vector<std::string>{"X-glob"});
    }
    vorpeltest::TempDir dir;
};

TEST_F(ShellPathProperty, HostileNamesPrintExactlyAndRunNothing) {
    const std::vector<std::string> names = {
        "$(touch X)", ";touch X", "`touch X`", "|touch X", "&touch X", "\ntouch X",
        "a\n", "\n", "'$(touch X)'", "\"$(touch X)\"", "x\\", "\\", "'", "\"", "''",
        "-n", "~", "~root", "*", "X*", "?-glob", "[X]-glob", "{a,b}", "a b  c", "\t",
        "$HOME", "${IFS}", "!!", "#c", "a=b", "<in", ">out", "2>&1", "(touch X)",
        "\x81\x82\x83\x84\x85\x86\x87\x88", "caf\xe9", "\xff\xfe", "\xc3", "é",
    };
    for (const std::string& name : names) {
        const FolderItem item(dir.path() / name);
        ASSERT_EQ(item.Name(), name) << printable(name);
        EXPECT_EQ(printThrough(dir.path(), item.ShellPath()), item.AbsolutePath() + "\n")
            << printable(name) << " quoted as " << printable(item.ShellPath());
    }
    expectNothingRan();
}

TEST_F(ShellPathProperty, RandomNamesPrintExactlyAndRunNothing) {
    std::mt19937 rng(20261208);
    for (int i = 0; i < 300; ++i) {
        std::string name = randomName(rng, false);
        if (name == "." || name == "..") continue;
        const FolderItem item(dir.path() / name);
        ASSERT_EQ(item.Name(), name) << printable(name);
        ASSERT_EQ(printThrough(dir.path(), item.ShellPath()), item.AbsolutePath() + "\n")
            << "case " << i << ": " << printable(name) << " quoted as "
            << printable(item.ShellPath());
    }
    expectNothingRan();
}

TEST_F(ShellPathProperty, ShellQuoteKeepsAnyByteStringOneWord) {
    std::mt19937 rng(4711);
    for (int i = 0; i < 200; ++i) {
        const std::string word = randomName(rng, true);
        // One word: printf formats it once, so exactly one line comes back.
        ASSERT_EQ(printThrough(dir.path(), shellQuote(word)), word + "\n")
            << "case " << i << ": " << printable(word);
    }
    EXPECT_EQ(printThrough(dir.path(), shellQuote("")), "\n");
    expectNothingRan();
}

TEST(FolderItemTree, RootHasNoParent) {
    const FolderItem root("/");
    EXPECT_FALSE(root.isNull());
    EXPECT_TRUE(root.Parent().isNull());
    EXPECT_TRUE(FolderItem().Parent().isNull());
}

TEST(FolderItemTree, ParentWalksUpToTheRoot) {
    const FolderItem f("/a/b/c.txt");
    EXPECT_EQ(f.Parent().AbsolutePath(), "/a/b");
    EXPECT_EQ(f.Parent().Name(), "b");
    EXPECT_EQ(f.Parent().Parent().Parent().AbsolutePath(), "/");
    EXPECT_TRUE(f.Parent().Parent().Parent().Parent().isNull());
    // A trailing slash still names the folder itself.
    const FolderItem folder("/a/b/");
    EXPECT_EQ(folder.Name(), "b");
    EXPECT_EQ(folder.Parent().AbsolutePath(), "/a");
}

TEST(FolderItemTree, ChildJoinsOneComponent) {
    const FolderItem dir("/a/b");
    EXPECT_EQ(dir.Child("c d.txt").AbsolutePath(), "/a/b/c d.txt");
    EXPECT_EQ(dir.Child("c d.txt").Name(), "c d.txt");
    EXPECT_EQ(dir.Child(".aiff").Name(), ".aiff");
    EXPECT_EQ(FolderItem("/").Child("x").AbsolutePath(), "/x");
    const FolderItem source("/a/b/letter.rtf");
    EXPECT_EQ(source.Parent().Child(source.Name() + ".aiff").AbsolutePath(), "/a/b/letter.rtf.aiff");
}

TEST(FolderItemTree, ChildNameWithSlashOrNulIsNull) {
    const FolderItem dir("/a/b");
    EXPECT_TRUE(dir.Child("c/d").isNull());
    EXPECT_TRUE(dir.Child("/").isNull());
    EXPECT_TRUE(dir.Child(std::string("c\0d", 3)).isNull());
    EXPECT_TRUE(FolderItem().Child("x").isNull());
}

} // namespace

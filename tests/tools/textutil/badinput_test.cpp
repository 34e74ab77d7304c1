// textutil against bad input: each case fails with one "textutil: PATH: reason" line, writes
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

const std::vector<std::string> kFormats = {"txt", "rtf", "rtfd", "html", "webarchive", "docx", "odt", "wordml", "doc"};

std::string tool() { return vorpeltest::toolPath("textutil").string(); }

ProcessResult textutil(std::vector<std::string> args) {
    args.insert(args.begin(), tool());
    return runProcess(args);
}

// Every file of a tree with its bytes, to prove a tree unchanged.
std::vector<std::pair<std::string, std::string>> snapshot(const fs::path& root) {
    std::vector<std::pair<std::string, std::string>> out;
    if (!fs::exists(fs::symlink_status(root))) return out;
    if (!fs::is_directory(root)) return {{root.filename().string(), readFile(root)}};
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        out.emplace_back(fs::relative(e.path(), root).string(), e.is_regular_file() ? readFile(e.path()) : "<dir>");
    }
    std::sort(out.begin(), out.end());
    return out;
}

// One failure, as the app and a person need it: status 1, one line naming the path, no output.
void expectCleanFailure(const ProcessResult& r, const std::string& path, const std::string& what) {
    EXPECT_EQ(r.status, 1) << what << "\n" << r.err;
    EXPECT_EQ(r.err.rfind("textutil: " + path + ": ", 0), 0u) << what << "\n" << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << what << "\n" << r.err;
    EXPECT_GT(r.err.size(), ("textutil: " + path + ": \n").size()) << what << ": no reason given";
    EXPECT_EQ(r.out, "") << what;
}

// The conversions the Document panel and the speech pipeline run.
const std::vector<std::vector<std::string>> kCommands = {
    {"-convert", "txt"}, {"-convert", "rtf"}, {"-convert", "html"}, {"-convert", "rtfd"},
    {"-convert", "docx"}, {"-convert", "doc"}, {"-convert", "txt", "-stdout"}};

void expectEveryCommandFails(const TempDir& dir, const fs::path& input, const std::string& what) {
    const auto before = listDir(dir.path());
    const auto content = snapshot(input);
    for (std::vector<std::string> args : kCommands) {
        args.push_back(input.string());
        expectCleanFailure(textutil(args), input.string(), what + " with " + args[1] + (args.size() > 3 ? " -stdout" : ""));
    }
    EXPECT_EQ(listDir(dir.path()), before) << what << ": something was written";
    EXPECT_EQ(snapshot(input), content) << what << ": the input changed";
}

// A whole document of each format, made by the tool itself from the same text.
fs::path makeDocument(const TempDir& dir, const std::string& format) {
    const fs::path src = dir / "source.txt";
    std::string text;
    for (int i = 0; i < 60; ++i) text += "Paragraph " + std::to_string(i) + " of a letter that runs on for a while.\n";
    writeFile(src, text);
    const auto r = textutil({"-convert", format, "-output", (dir / ("whole." + format)).string(), src.string()});
    EXPECT_EQ(r.status, 0) << format << ": " << r.err;
    fs::remove(src);
    return dir / ("whole." + format);
}

TEST(textutil_badinput, MissingFolderEmptyAndGarbage) {
    TempDir dir;
    fs::create_directory(dir / "folder");
    writeFile(dir / "folder" / "inside.txt", "a file in a plain folder");
    writeFile(dir / "empty.rtf", "");
    std::string garbage;
    for (unsigned i = 0; i < 8192; ++i) garbage += char((i * 2654435761u) >> 11);
    writeFile(dir / "garbage.doc", garbage);
    writeFile(dir / "garbage.docx", "PK\x03\x04" + garbage);
    writeFile(dir / "garbage.webarchive", "bplist00" + garbage);
    const std::vector<std::string> cases = {"missing.rtf", "folder", "empty.rtf", "garbage.doc", "garbage.docx",
                                            "garbage.webarchive"};
    for (const std::string& name : cases) expectEveryCommandFails(dir, dir / name, name);
}

TEST(textutil_badinput, TruncatedDocumentOfEachStructuredFormat) {
    // Plain text and HTML are read leniently: see the test below.
    TempDir dir;
    for (const std::string& format : kFormats) {
        if (format == "txt" || format == "html") continue;
        SCOPED_TRACE(format);
        const fs::path whole = makeDocument(dir, format);
        ASSERT_TRUE(fs::exists(whole));
        const std::string ext = whole.extension().string();
        const fs::path cut = dir / ("cut" + ext);
        if (format == "rtfd") {
            // The bundle's text document is what can be cut short.
            fs::copy(whole, cut, fs::copy_options::recursive);
            const std::string rtf = readFile(cut / "TXT.rtf");
            writeFile(cut / "TXT.rtf", rtf.substr(0, rtf.size() / 2));
        } else {
            const std::string bytes = readFile(whole);
            writeFile(cut, bytes.substr(0, bytes.size() / 2));
        }
        fs::remove_all(whole);
        expectEveryCommandFails(dir, cut, "truncated " + format);
        fs::remove_all(cut);
    }
}

TEST(textutil_badinput, TruncatedTextAndHtmlKeepWhatIsThere) {
    // These formats have no end marker a reader could insist on: a cut document converts to the
    // text before the cut, and no more.
    TempDir dir;
    writeFile(dir / "cut.txt", std::string("\xFF\xFEH\0i\0!", 7));  // UTF-16 cut inside a character
    writeFile(dir / "cut.html", "<html><body><p>Hello <b>there</b></p><p>and mo");
    auto r = textutil({"-convert", "txt", "-stdout", (dir / "cut.txt").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Hi", 0), 0u) << r.out;
    r = textutil({"-convert", "txt", "-stdout", (dir / "cut.html").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Hello there\nand mo\n");
}

TEST(textutil_badinput, SpecialCharactersInNames) {
    TempDir dir;
    const std::string name = "a b'c\"d$e`f\\g!h&i;j|k*l?m[n]o{p}q(r)s<t>u#v~w%x^y=z,@+\t\xC3\xA9\xE2\x98\x83-";
    const fs::path src = dir / (name + ".txt");
    writeFile(src, "special\n");
    auto r = textutil({"-convert", "rtf", src.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{name + ".rtf", name + ".txt"}));
    EXPECT_EQ(readFile(src), "special\n");

    const fs::path missing = dir / ("missing " + name + "\n.rtf");
    r = textutil({"-convert", "txt", missing.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "textutil: " + missing.string() + ": No such file or directory\n");
    // A name starting with a dash is a file, not an option, once it has a folder in front.
    const fs::path dash = dir / "-convert";
    writeFile(dash, "dash\n");
    r = textutil({"-convert", "txt", "-stdout", dash.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "dash\n");
}

class textutil_badinput_user : public vorpeltest::AsOrdinaryUser {};

TEST_F(textutil_badinput_user, UnreadableInputFailsAndWritesNothing) {
    ASSERT_TRUE(user_->give(dir.path()));
    const fs::path src = dir / "secret.rtf";
    writeFile(src, "{\\rtf1 secret}");
    ::chmod(src.c_str(), 0000);
    const auto before = listDir(dir.path());
    for (const std::vector<std::string>& args : kCommands) {
        std::vector<std::string> argv{tool()};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.push_back(src.string());
        const ProcessResult r = user_->run(argv);
        expectCleanFailure(r, src.string(), args[1]);
        EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
    }
    EXPECT_EQ(listDir(dir.path()), before);
    ::chmod(src.c_str(), 0644);
    EXPECT_EQ(readFile(src), "{\\rtf1 secret}");
}

TEST_F(textutil_badinput_user, UnwritableOutputFolderFailsAndLeavesItAlone) {
    // The folder is root's: the user may read the input but write nothing beside it.
    const fs::path src = dir / "letter.txt";
    writeFile(src, "Dear reader\n");
    ::chmod(dir.path().c_str(), 0755);
    for (const std::string format : {"rtf", "html", "rtfd", "docx", "doc"}) {
        const ProcessResult r = user_->run({tool(), "-convert", format, src.string()});
        const std::string out = (dir / ("letter." + format)).string();
        EXPECT_EQ(r.status, 1) << format;
        EXPECT_EQ(r.err.rfind("textutil: " + out + ": ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
    }
    EXPECT_EQ(listDir(dir.path()), std::vector<std::string>{"letter.txt"});
    EXPECT_EQ(readFile(src), "Dear reader\n");
}

} // namespace

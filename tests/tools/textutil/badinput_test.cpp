// textutil against bad input: each case fails with one "textutil: PATH: reason" line, writes
// nothing and leaves the input as it was.
#include "fixtures.h"
#include "testsupport.h"
#include "zipfile.h"
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

// Every command fails, and the reason names what was wrong.
void expectEveryCommandFailsSaying(const TempDir& dir, const fs::path& input, const std::string& reason,
                                   const std::string& what) {
    expectEveryCommandFails(dir, input, what);
    const auto r = textutil({"-convert", "txt", "-stdout", input.string()});
    EXPECT_NE(r.err.find(reason), std::string::npos) << what << ": " << r.err;
}

TEST(textutil_badinput, LinksInABundleOrBesideAPageAreNotFollowed) {
    // A document someone sent must not carry the reader's own files away: a link inside it that
    // points elsewhere is refused, not read.
    TempDir dir;
    fs::create_directory(dir / "private");
    writeFile(dir / "private" / "secret.png", textutiltest::samplePng());
    writeFile(dir / "private" / "letter.rtf", "{\\rtf1 private letter}");

    fs::create_directory(dir / "picture.rtfd");
    writeFile(dir / "picture.rtfd" / "TXT.rtf", "{\\rtf1 see {{\\NeXTGraphic pw.png \\width40 \\height40}\\'ac}\\par}");
    fs::create_symlink(dir / "private" / "secret.png", dir / "picture.rtfd" / "pw.png");
    expectEveryCommandFailsSaying(dir, dir / "picture.rtfd", "pw.png is a symbolic link", "linked attachment");

    fs::create_directory(dir / "text.rtfd");
    fs::create_symlink("../private/letter.rtf", dir / "text.rtfd" / "TXT.rtf");
    expectEveryCommandFailsSaying(dir, dir / "text.rtfd", "TXT.rtf is a symbolic link", "linked TXT.rtf");

    // Pages: a linked picture, and a picture inside a linked folder.
    fs::create_symlink(dir / "private" / "secret.png", dir / "pw.png");
    fs::create_symlink(dir / "private", dir / "pictures");
    writeFile(dir / "linked.html", "<p>look <img src=\"pw.png\"></p>");
    writeFile(dir / "folder.html", "<p>look <img src=\"pictures/secret.png\"></p>");
    expectEveryCommandFailsSaying(dir, dir / "linked.html", "pw.png is a symbolic link", "linked picture");
    expectEveryCommandFailsSaying(dir, dir / "folder.html", "is a symbolic link", "linked folder");
    for (const std::string name : {"linked.html", "folder.html"}) {
        const auto r = textutil({"-convert", "html", "-noload", "-stdout", (dir / name).string()});
        EXPECT_EQ(r.status, 0) << name << ": nothing is loaded, so nothing is refused\n" << r.err;
    }
}

// A web archive nested `levels` deep: its main resource is a list of lists of lists...
std::string nestedXmlArchive(size_t levels) {
    std::string s = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>WebMainResource</key>";
    s.reserve(s.size() + levels * 15 + 64);
    for (size_t i = 0; i < levels; ++i) s += "<array>";
    for (size_t i = 0; i < levels; ++i) s += "</array>";
    return s + "</dict></plist>";
}

// The same as a binary property list; each list names the next `fanOut` times, so that a small
// file can also stand for an enormous tree.
std::string nestedBinaryArchive(size_t levels, unsigned fanOut) {
    const size_t count = levels + 3;  // root dict, its key, the lists, the innermost empty list
    const size_t refSize = count < 0x100 ? 1 : count < 0x10000 ? 2 : 3;
    std::string objects = "bplist00";
    std::vector<size_t> offsets;
    auto ref = [&](size_t r) {
        for (size_t b = refSize; b-- > 0;) objects += char((r >> (8 * b)) & 0xFF);
    };
    offsets.push_back(objects.size());
    objects += '\xD1';  // dict of one pair
    ref(1);
    ref(2);
    offsets.push_back(objects.size());
    objects += "\x5F\x10\x0FWebMainResource";
    for (size_t i = 0; i < levels; ++i) {
        offsets.push_back(objects.size());
        objects += char(0xA0 | fanOut);
        for (unsigned k = 0; k < fanOut; ++k) ref(3 + i);
    }
    offsets.push_back(objects.size());
    objects += '\xA0';
    const size_t table = objects.size();
    const size_t offsetSize = table < 0x100 ? 1 : table < 0x10000 ? 2 : table < 0x1000000 ? 3 : 4;
    for (size_t off : offsets)
        for (size_t b = offsetSize; b-- > 0;) objects += char((off >> (8 * b)) & 0xFF);
    std::string trailer(32, '\0');
    trailer[6] = char(offsetSize);
    trailer[7] = char(refSize);
    for (int b = 0; b < 8; ++b) {
        trailer[8 + b] = char((uint64_t(count) >> (8 * (7 - b))) & 0xFF);
        trailer[24 + b] = char((uint64_t(table) >> (8 * (7 - b))) & 0xFF);
    }
    return objects + trailer;
}

TEST(textutil_badinput, WebArchiveNestedOrRepeatedBeyondReason) {
    TempDir dir;
    writeFile(dir / "deep-xml.webarchive", nestedXmlArchive(1000000));
    writeFile(dir / "deep-binary.webarchive", nestedBinaryArchive(1000000, 1));
    writeFile(dir / "laughs.webarchive", nestedBinaryArchive(48, 2));  // 2^48 lists once expanded
    expectEveryCommandFailsSaying(dir, dir / "deep-xml.webarchive", "nested too deeply", "deep XML plist");
    expectEveryCommandFailsSaying(dir, dir / "deep-binary.webarchive", "nested too deeply", "deep binary plist");
    expectEveryCommandFailsSaying(dir, dir / "laughs.webarchive", "too often", "repeated lists");
    // A few levels are an ordinary (if useless) archive: refused for what it holds, not its shape.
    writeFile(dir / "shallow.webarchive", nestedBinaryArchive(8, 2));
    const auto r = textutil({"-convert", "txt", "-stdout", (dir / "shallow.webarchive").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no main resource"), std::string::npos) << r.err;
}

TEST(textutil_badinput, ZipEntryLargerThanItsHeaderSays) {
    // The headers claim 10,000 bytes; the entry inflates to 32 MB. Reading stops at the claim.
    TempDir dir;
    textutil::zip::Builder b;
    b.add("[Content_Types].xml", "<?xml version=\"1.0\"?><Types/>");
    std::string xml = "<?xml version=\"1.0\"?><w:document xmlns:w=\"http://schemas.openxmlformats.org/"
                      "wordprocessingml/2006/main\"><w:body><w:p><w:r><w:t>";
    xml.append(32 << 20, 'a');
    b.add("word/document.xml", xml + "</w:t></w:r></w:p></w:body></w:document>");
    const std::string honest = b.finish();
    const std::string name = "word/document.xml";
    auto withSize = [&](uint32_t size) {
        std::string zip = honest;
        for (const auto& [signature, sizeAt] : {std::pair{std::string("PK\x03\x04", 4), size_t(22)},  // local
                                                std::pair{std::string("PK\x01\x02", 4), size_t(24)}}) {  // central
            for (size_t at = zip.find(signature); at != std::string::npos; at = zip.find(signature, at + 1)) {
                const size_t nameAt = signature[2] == '\x01' ? at + 46 : at + 30;
                if (zip.compare(nameAt, name.size(), name) != 0) continue;
                for (int k = 0; k < 4; ++k) zip[at + sizeAt + k] = char((size >> (8 * k)) & 0xFF);
            }
        }
        return zip;
    };
    writeFile(dir / "lying.docx", withSize(10000));
    // Claiming more than a document could need is refused before anything is inflated.
    writeFile(dir / "huge.docx", withSize(uint32_t(3) << 30));
    expectEveryCommandFailsSaying(dir, dir / "huge.docx", "too large (over 1 GiB inflated)", "huge part");
    expectEveryCommandFailsSaying(dir, dir / "lying.docx", "larger than its header says", "lying zip");
}

TEST(textutil_badinput, ZipEntryDamagedFromItsFirstByte) {
    // The main part fails while its parser is being set up (a leak under the sanitizers before).
    TempDir dir;
    textutil::zip::Builder b;
    b.add("[Content_Types].xml", "<?xml version=\"1.0\"?><Types/>");
    b.add("word/document.xml", "<?xml version=\"1.0\"?><w:document xmlns:w=\"http://schemas.openxmlformats.org/"
                               "wordprocessingml/2006/main\"><w:body><w:p><w:r><w:t>text</w:t></w:r></w:p>"
                               "</w:body></w:document>");
    std::string zip = b.finish();
    const std::string name = "word/document.xml";
    size_t at = zip.find(std::string("PK\x03\x04", 4));
    while (at != std::string::npos && zip.compare(at + 30, name.size(), name) != 0)
        at = zip.find(std::string("PK\x03\x04", 4), at + 1);
    ASSERT_NE(at, std::string::npos);
    const size_t extra = uint8_t(zip[at + 28]) | uint8_t(zip[at + 29]) << 8;
    zip[at + 30 + name.size() + extra] = '\xFF'; // a deflate block of the reserved type
    writeFile(dir / "damaged.docx", zip);
    expectEveryCommandFailsSaying(dir, dir / "damaged.docx", "is damaged", "damaged zip entry");
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

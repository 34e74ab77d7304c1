// The textutil command as the app runs it: exact command prefixes through a shell,
// output naming and replacement, standard output, and the failure matrix.
#include "fixtures.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fstream>

namespace fs = std::filesystem;
using vorpeltest::listDir;
using vorpeltest::readFile;
using vorpeltest::runProcess;
using vorpeltest::TempDir;
using vorpeltest::writeFile;

namespace {

const std::string kRtf =
    "{\\rtf1\\ansi{\\fonttbl\\f0 Helvetica;}{\\colortbl;\\red0\\green0\\blue255;}"
    "\\pard Dear {\\b reader},\\par {\\cf1 blue} caf\\'e9\\par}";

std::string tool() { return vorpeltest::toolPath("textutil").string(); }

// Single-quoted for the shell, as the app escapes a path.
std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs a command line the way the app does: a literal prefix and the path, through sh.
vorpeltest::ProcessResult shell(const std::string& prefix, const fs::path& path) {
    std::string cmd = prefix;
    cmd.replace(0, std::string("textutil").size(), shellQuote(tool()));
    return runProcess({"/bin/sh", "-c", cmd + shellQuote(path.string())});
}

vorpeltest::ProcessResult textutil(std::vector<std::string> args, const std::string& input = {}) {
    args.insert(args.begin(), tool());
    return runProcess(args, input);
}

struct Prefix {
    std::string command;
    std::string output;   // name of the file or folder it must produce
    std::string marker;   // something the output must hold
};

TEST(textutilCommandLine, EveryAppPrefixConvertsAFileWithBlanksInItsName) {
    const Prefix prefixes[] = {
        {"textutil -convert txt ", "My Report 1.txt", "Dear reader,\nblue café\n"},
        {"textutil -convert txt  -encoding UTF-16 ", "My Report 1.txt", std::string("\xFF\xFE" "D\0e\0a\0r\0", 10)},
        {"textutil -convert rtf ", "My Report 1.rtf", "\\b reader}"},
        {"textutil -convert html  -encoding UTF-16  -editor ZENTO -Generator ZENTO ", "My Report 1.html", std::string("\xFF\xFE<\0!\0", 6)},
        {"textutil -convert html  -editor ZENTO -Generator ZENTO  ", "My Report 1.html", "content=\"ZENTO\""},
        {"textutil -convert html  -nostore  -editor ZENTO -Generator ZENTO  ", "My Report 1.html", "<b>reader</b>"},
        {"textutil -convert rtfd ", "My Report 1.rtfd", ""},
        {"textutil -convert webarchive -editor ZENTO -Generator ZENTO  ", "My Report 1.webarchive", "bplist00"},
        {"textutil -convert webarchive  -utf16  -editor ZENTO -Generator ZENTO  ", "My Report 1.webarchive", "UTF-16"},
        {"textutil -convert webarchive  -noload  -nostore  -editor ZENTO -Generator ZENTO  ", "My Report 1.webarchive", "WebMainResource"},
    };
    for (const Prefix& p : prefixes) {
        TempDir dir;
        const fs::path src = dir / "My Report 1.rtf";
        writeFile(src, kRtf);
        const auto r = shell(p.command, src);
        SCOPED_TRACE(p.command);
        EXPECT_EQ(r.status, 0) << p.command << r.err;
        EXPECT_EQ(r.out, "") << p.command;
        const fs::path out = dir / p.output;
        ASSERT_TRUE(fs::exists(out)) << p.command;
        if (fs::is_directory(out)) {
            EXPECT_EQ(listDir(out), std::vector<std::string>{"TXT.rtf"});
            EXPECT_NE(readFile(out / "TXT.rtf").find("reader"), std::string::npos);
        } else {
            const std::string data = readFile(out);
            EXPECT_NE(data.find(p.marker), std::string::npos) << p.command;
        }
        // Nothing else is left beside the input: no temporary files.
        EXPECT_EQ(listDir(dir.path()).size(), src.filename() == out.filename() ? 1u : 2u) << p.command;
    }
}

TEST(textutilCommandLine, SpeechPipelineGetsPlainTextOnStdout) {
    TempDir dir;
    writeFile(dir / "letter one.rtf", kRtf);
    writeFile(dir / "page.html", "<html><body><h1>Hi</h1><p>there &amp; <i>you</i></p></body></html>");
    auto r = shell("textutil -convert txt -stdout ", dir / "letter one.rtf");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Dear reader,\nblue café\n");
    r = shell("textutil -convert txt -stdout ", dir / "page.html");
    EXPECT_EQ(r.out, "Hi\nthere & you\n");
    EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"letter one.rtf", "page.html"}));
}

TEST(textutilCommandLine, OutputNamingAndReplacement) {
    TempDir dir;
    // Converting a file to its own format rewrites it in place.
    writeFile(dir / "notes.txt", "line one\r\nline two\r\n");
    auto r = textutil({"-convert", "txt", (dir / "notes.txt").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir / "notes.txt"), "line one\nline two\n");
    // An existing output is replaced; -extension and -output choose other names.
    writeFile(dir / "notes.html", "old");
    r = textutil({"-convert", "html", (dir / "notes.txt").string()});
    EXPECT_NE(readFile(dir / "notes.html").find("line two"), std::string::npos);
    r = textutil({"-convert", "html", "-extension", "htm", (dir / "notes.txt").string()});
    EXPECT_TRUE(fs::exists(dir / "notes.htm"));
    r = textutil({"-convert", "rtf", "-output", (dir / "other.doc.rtf").string(), (dir / "notes.txt").string()});
    EXPECT_TRUE(fs::exists(dir / "other.doc.rtf"));
    // An existing bundle is swapped for the new one as a whole.
    fs::create_directory(dir / "notes.rtfd");
    writeFile(dir / "notes.rtfd" / "stale.png", "x");
    r = textutil({"-convert", "rtfd", (dir / "notes.txt").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listDir(dir / "notes.rtfd"), std::vector<std::string>{"TXT.rtf"});
    // A bundle converted to its own format is rewritten in place with its attachments.
    writeFile(dir / "notes.rtfd" / "dot.png", textutiltest::samplePng());
    writeFile(dir / "notes.rtfd" / "TXT.rtf", "{\\rtf1 line one\\par line two{{\\NeXTGraphic dot.png \\width40 \\height40}\\'ac}\\par}");
    r = textutil({"-convert", "rtfd", (dir / "notes.rtfd").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listDir(dir / "notes.rtfd"), (std::vector<std::string>{"TXT.rtf", "dot.png"}));
    EXPECT_EQ(readFile(dir / "notes.rtfd" / "dot.png"), textutiltest::samplePng());
    // A bundle converts back out of a path given with a trailing slash.
    r = textutil({"-convert", "txt", "-output", (dir / "back.txt").string(), (dir / "notes.rtfd").string() + "/"});
    EXPECT_EQ(readFile(dir / "back.txt"), "line one\nline two\n");
    EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"back.txt", "notes.htm", "notes.html", "notes.rtfd",
                                                              "notes.txt", "other.doc.rtf"}));
}

TEST(textutilCommandLine, FailuresWriteNothing) {
    TempDir dir;
    fs::create_directory(dir / "folder");
    writeFile(dir / "empty.txt", "");
    writeFile(dir / "picture.png", textutiltest::samplePng());
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 2654435761u) >> 13);
    writeFile(dir / "garbage.rtf", garbage);
    writeFile(dir / "garbage.html", "existing output");
    const auto before = listDir(dir.path());
    for (const char* name : {"missing.rtf", "folder", "empty.txt", "picture.png", "garbage.rtf"}) {
        const std::string path = (dir / name).string();
        for (const char* prefix : {"textutil -convert html  -editor ZENTO -Generator ZENTO  ", "textutil -convert txt -stdout ",
                                   "textutil -convert rtfd "}) {
            const auto r = shell(prefix, dir / name);
            EXPECT_EQ(r.status, 1) << prefix << name;
            EXPECT_EQ(r.out, "") << prefix << name;
            EXPECT_EQ(r.err.rfind("textutil: " + path + ": ", 0), 0u) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
    }
    EXPECT_EQ(listDir(dir.path()), before);
    EXPECT_EQ(readFile(dir / "garbage.html"), "existing output");
    EXPECT_TRUE(listDir(dir / "folder").empty());
}

TEST(textutilCommandLine, InterruptedWriteRemovesTheTemporaryOutputAndDiesOfTheSignal) {
    TempDir dir;
    writeFile(dir / "notes.txt", "Some notes.\n");
    writeFile(dir / "notes.html", "earlier output");
    fs::create_directory(dir / "pic.rtfd");
    writeFile(dir / "pic.rtfd" / "dot.png", textutiltest::samplePng());
    writeFile(dir / "pic.rtfd" / "TXT.rtf", "{\\rtf1 a dot {{\\NeXTGraphic dot.png \\width40 \\height40}\\'ac}\\par}");
    const auto before = listDir(dir.path());
    const struct {
        std::vector<std::string> argv;
        int stop;              // the fsync a signal interrupts: for the bundle, of its second part
        size_t bundleEntries;  // then in the bundle's temporary folder: one part done, one being written
    } cases[] = {
        {{tool(), "-convert", "html", (dir / "notes.txt").string()}, 1, 0},
        {{tool(), "-convert", "rtfd", "-output", (dir / "out.rtfd").string(), (dir / "pic.rtfd").string()}, 2, 2},
    };
    for (const auto& c : cases) {
        for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
            SCOPED_TRACE(c.argv[2] + std::string(" ") + strsignal(sig));
            std::vector<std::string> temps, inBundle;
            const int status = vorpeltest::signalAtFsync(c.argv, sig, c.stop, [&] {
                for (const auto& name : listDir(dir.path())) {
                    if (name.find(".vorpel-") == std::string::npos) continue;
                    temps.push_back(name);
                    if (fs::is_directory(dir / name)) inBundle = listDir(dir / name);
                }
            });
            EXPECT_EQ(temps.size(), 1u) << "no temporary output while writing";
            EXPECT_EQ(inBundle.size(), c.bundleEntries);
            EXPECT_EQ(status, 128 + sig) << "did not die of the signal";
            EXPECT_EQ(listDir(dir.path()), before);
        }
    }
    EXPECT_EQ(readFile(dir / "notes.html"), "earlier output");
}

TEST(textutilCommandLine, UnwritableTargetLeavesExistingOutputAlone) {
    TempDir dir;
    writeFile(dir / "a.txt", "text");
    fs::create_directory(dir / "a.html");  // the output name is taken by a folder
    writeFile(dir / "a.html" / "keep", "k");
    const auto r = textutil({"-convert", "html", (dir / "a.txt").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("textutil: " + (dir / "a.html").string() + ": ", 0), 0u) << r.err;
    EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"a.html", "a.txt"}));
    EXPECT_EQ(readFile(dir / "a.html" / "keep"), "k");
}

// An RTF document of several megabytes: a page header, a footnote, a link and a table among
// justified paragraphs, in fonts and colours of its own.
std::string longRtf() {
    std::string s =
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Helvetica;}{\\f1 Courier;}{\\f2 Palatino;}}"
        "{\\colortbl;\\red200\\green0\\blue0;\\red0\\green120\\blue0;}\n"
        "{\\header \\pard\\qr {\\f1\\cf2 Running head}\\par}\n";
    for (int i = 0; s.size() < (6u << 20); ++i) {
        s += "\\pard\\qj Paragraph " + std::to_string(i) +
             " of many, {\\b bold words} and {\\cf1 red ones} in a "
             "line long enough to wrap twice over on any page, and a little more.";
        if (i == 9000) s += "{\\super\\chftn}{\\footnote\\pard {\\f2\\cf2 A note in the middle.}}";
        if (i % 5000 == 0)
            s += " {\\field{\\*\\fldinst{HYPERLINK \"https://example.org/\"}}{\\fldrslt a link}}";
        s += "\\par\n";
        if (i % 20000 == 0)
            s += "\\trowd\\cellx3000\\cellx6000\\pard\\intbl {\\f2 left}\\cell\\pard\\intbl\\qc "
                 "right\\cell\\row\n";
    }
    return s + "\\pard The end.\\par}\n";
}

// What the writer makes of the document without a sink: the bytes the tool wrote before it
// streamed.
std::string wholeOutput(const fs::path& input, const std::string& format, const fs::path& target,
                        const std::string& encoding = {}) {
    const textutil::Document doc = textutil::readDocument(input, {});
    textutil::WriteOptions opts;
    opts.outputPath = target;
    opts.encoding = encoding;
    return textutil::findFormat(format)->write(doc, opts).data;
}

// Long outputs go to their file or standard output as they are made, with the same bytes as
// the whole output, alone (-convert) or joined (-cat); other character sets as before.
TEST(textutilCommandLine, LongOutputsHaveTheBytesOfTheWholeOutput) {
    TempDir dir;
    const fs::path input = dir / "long.rtf";
    writeFile(input, longRtf());
    const struct {
        std::string format, encoding;
    } cases[] = {{"txt", ""}, {"rtf", ""},        {"html", ""},      {"docx", ""},
                 {"odt", ""}, {"webarchive", ""}, {"txt", "UTF-16"}, {"html", "ISO-8859-1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format + " " + c.encoding);
        const fs::path target = dir / ("out." + c.format);
        std::vector<std::string> encoding;
        if (!c.encoding.empty()) encoding = {"-encoding", c.encoding};
        auto args = [&](std::vector<std::string> a) {
            a.insert(a.begin() + 2, encoding.begin(), encoding.end());
            return a;
        };
        const std::string expected = wholeOutput(input, c.format, target, c.encoding);
        // Several chunks of text; a package, written into its file, only needs to be more than
        // tiny.
        const bool package = c.format == "docx" || c.format == "odt";
        ASSERT_GT(expected.size(), package ? size_t(100000) : 2 * textutil::kSinkChunk);
        auto r = textutil(args({"-convert", c.format, "-output", target.string(), input.string()}));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(readFile(target) == expected) << "-convert to a file";
        fs::remove(target);
        r = textutil(args({"-cat", c.format, "-output", target.string(), input.string()}));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(readFile(target) == expected) << "-cat to a file";
        fs::remove(target);
        const std::string toStdout = wholeOutput(input, c.format, {}, c.encoding);
        r = textutil(args({"-convert", c.format, "-stdout", input.string()}));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(r.out == toStdout) << "-convert to standard output";
    }
    EXPECT_EQ(listDir(dir.path()), std::vector<std::string>{"long.rtf"});
}

// A write that fails after part of a long output went to the temporary file (here: past the
// file size limit) leaves neither it nor a partial target; the earlier output stays.
TEST(textutilCommandLine, FailureInTheMiddleOfALongOutputLeavesNothing) {
    TempDir dir;
    const fs::path input = dir / "long.rtf";
    writeFile(input, longRtf());
    for (const std::string format : {"txt", "rtf", "html", "docx", "webarchive"}) {
        SCOPED_TRACE(format);
        const fs::path target = dir / ("out." + format);
        writeFile(target, "earlier output");
        const auto before = listDir(dir.path());
        // A limit of 128 KiB (in blocks of 512 bytes), below even the deflated package, and
        // EFBIG instead of the signal.
        const std::string cmd = "trap '' XFSZ; ulimit -f 256; exec " + shellQuote(tool()) +
                                " -convert " + format + " -output " + shellQuote(target.string()) +
                                " " + shellQuote(input.string());
        const auto r = runProcess({"/bin/sh", "-c", cmd});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.rfind("textutil: ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(listDir(dir.path()), before);
        EXPECT_EQ(readFile(target), "earlier output");
    }
}

TEST(textutilCommandLine, SeveralInputsConvertEachAndReportEachFailure) {
    TempDir dir;
    writeFile(dir / "one.txt", "1");
    writeFile(dir / "two.txt", "2");
    const auto r = textutil({"-convert", "rtf", (dir / "one.txt").string(), (dir / "nope.txt").string(),
                             (dir / "two.txt").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "textutil: " + (dir / "nope.txt").string() + ": No such file or directory\n");
    EXPECT_TRUE(fs::exists(dir / "one.rtf"));
    EXPECT_TRUE(fs::exists(dir / "two.rtf"));
}

TEST(textutilCommandLine, OtherModesAndOptions) {
    TempDir dir;
    writeFile(dir / "a.txt", "alpha\n");
    writeFile(dir / "b.rtf", kRtf);
    auto r = textutil({"-cat", "txt", "-output", (dir / "all.txt").string(), (dir / "a.txt").string(), (dir / "b.rtf").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir / "all.txt"), "alpha\nDear reader,\nblue café\n");
    r = textutil({"-info", (dir / "b.rtf").string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Type:  rtf"), std::string::npos);
    EXPECT_NE(r.out.find("Length:  22 characters"), std::string::npos);
    r = textutil({"-convert", "html", "-stdin", "-stdout", "-title", "T<1>", "-font", "Courier", "-fontsize", "10"}, "x & y");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("<title>T&lt;1&gt;</title>"), std::string::npos);
    EXPECT_NE(r.out.find("font-family: Courier; font-size: 10.0pt"), std::string::npos);
    EXPECT_NE(r.out.find("x &amp; y"), std::string::npos);
    r = textutil({"-convert", "txt", "-stdout", "-format", "txt", (dir / "b.rtf").string()});
    EXPECT_EQ(r.out.rfind("{\\rtf1", 0), 0u);  // read as plain text, as asked
    r = textutil({"-convert", "txt", "-stdout", "-inputencoding", "ISO-8859-5", "-"}, "\xbf");
    EXPECT_EQ(r.out, "П\n");
    r = textutil({"-convert", "TXT", "-stdout", (dir / "b.rtf").string()});
    EXPECT_EQ(r.out, "Dear reader,\nblue café\n");  // format names in any case
        r = textutil({"-help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("-convert FMT"), std::string::npos);
}

TEST(textutilCommandLine, UsageErrors) {
    TempDir dir;
    writeFile(dir / "a.txt", "x");
    const std::string a = (dir / "a.txt").string();
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"-convert", "pdf", a}, {"-convert"}, {"-convert", "txt"}, {"-bogus", a}, {a},
             {"-convert", "txt", "-encoding", "NOT-A-CHARSET", a}, {"-convert", "rtfd", "-stdout", a},
             {"-convert", "txt", "-output", "x", a, a}, {"-convert", "txt", "-info", a}}) {
        const auto r = textutil(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("textutil: ", 0) == 0 || r.err.rfind("Usage:", 0) == 0, true) << r.err;
    }
    EXPECT_EQ(listDir(dir.path()), std::vector<std::string>{"a.txt"});
}

TEST(textutilOracle, PandocReadsOurRtfAndHtml) {
    if (!vorpeltest::haveProgram("pandoc")) GTEST_SKIP() << "pandoc not installed";
    TempDir dir;
    const textutil::Document doc = textutiltest::richDocument();
    writeFile(dir / "doc.rtf", textutil::writeRtf(doc, {}).data);
    writeFile(dir / "doc.html", textutil::writeHtml(doc, {}).data);
    for (const char* name : {"doc.rtf", "doc.html"}) {
        const auto r = runProcess({"pandoc", "-t", "html", (dir / name).string()});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("<strong>bold</strong>"), std::string::npos) << name << r.out;
        EXPECT_NE(r.out.find("<em>"), std::string::npos) << name;
        EXPECT_NE(r.out.find("href=\"https://example.org/a?b=1&amp;c=2\""), std::string::npos) << name;
        EXPECT_NE(r.out.find("r1c2"), std::string::npos) << name;
        EXPECT_NE(r.out.find("<li>"), std::string::npos) << name;
        EXPECT_NE(r.out.find("<img"), std::string::npos) << name;
        EXPECT_NE(r.out.find("café €"), std::string::npos) << name;
    }
}

} // namespace

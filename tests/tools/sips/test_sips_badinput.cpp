// sips against bad input: each case fails with one "sips: PATH: reason" line, writes nothing
// and leaves the input as it was.
#include "sipstestutil.h"
#include "throwawayuser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <sys/stat.h>

namespace fs = std::filesystem;
using vorpeltest::listDir;
using vorpeltest::ProcessResult;
using vorpeltest::readFile;
using vorpeltest::TempDir;
using vorpeltest::writeFile;

namespace {

std::vector<std::string> appCommand(const std::string& format, const fs::path& src, const fs::path& out) {
    return {"--setProperty", "format", format, "--setProperty", "formatOptions", "best", src.string(), "--out",
            out.string()};
}

void expectCleanFailure(const ProcessResult& r, const std::string& path, const std::string& what) {
    EXPECT_EQ(r.status, 1) << what << "\n" << r.err;
    EXPECT_EQ(r.err.rfind("sips: " + path + ": ", 0), 0u) << what << "\n" << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << what << "\n" << r.err;
    EXPECT_GT(r.err.size(), ("sips: " + path + ": \n").size()) << what << ": no reason given";
    EXPECT_EQ(r.out, "") << what;
}

// Converting to a lossless and a lossy format and asking for properties all refuse the input.
void expectEveryCommandFails(const TempDir& dir, const fs::path& src, const std::string& what) {
    const auto before = listDir(dir.path());
    const std::string bytes = fs::is_regular_file(src) ? readFile(src) : std::string();
    for (const std::string fmt : {"png", "jpeg", "pdf"}) {
        expectCleanFailure(sipstest::sips(appCommand(fmt, src, dir / ("Untitled." + fmt))), src.string(),
                           what + " to " + fmt);
    }
    const ProcessResult query = sipstest::sips({"-g", "all", src.string()});
    EXPECT_EQ(query.status, 1) << what;
    EXPECT_EQ(query.err.rfind("sips: " + src.string() + ": ", 0), 0u) << query.err;
    EXPECT_EQ(listDir(dir.path()), before) << what << ": something was written";
    if (fs::is_regular_file(src)) {
        EXPECT_EQ(readFile(src), bytes) << what << ": the input changed";
    }
}

TEST(sipsBadInput, GarbageWithAnImageSignature) {
    // A file that starts like each format and goes on as noise.
    TempDir dir;
    std::string noise;
    for (unsigned i = 0; i < 4096; ++i) noise += char((i * 2654435761u) >> 9);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"noise.png", std::string("\x89PNG\r\n\x1a\n", 8) + noise},
        {"noise.jpg", std::string("\xFF\xD8\xFF\xE0", 4) + noise},
        {"noise.gif", "GIF89a" + noise},
        {"noise.bmp", "BM" + noise},
        {"noise.tiff", std::string("II*\0", 4) + noise},
        {"noise.psd", "8BPS" + noise},
        {"noise.icns", "icns" + noise},
        {"noise.pict", noise},
    };
    for (const auto& [name, bytes] : cases) {
        writeFile(dir / name, bytes);
        expectEveryCommandFails(dir, dir / name, name);
        fs::remove(dir / name);
    }
}

// Every format sips reads, cut to half its length.
class sipsTruncated : public ::testing::TestWithParam<std::string> {};

TEST_P(sipsTruncated, HalfAFileIsNotAPicture) {
    const std::string format = GetParam();
    TempDir dir;
    fs::path whole;
    if (format == "icns") {
        VORPEL_REQUIRE_CORPUS();
        whole = dir / "whole.icns";
        fs::copy_file(vorpeltest::corpusDir() / "icns/testICNS_basic.icns", whole);
    } else {
        // A picture with detail all the way down, so a cut loses real rows.
        sipstest::writeQuadrantPng(dir / "q.png");
        whole = dir / ("whole." + format);
        const ProcessResult r = sipstest::sips({"-s", "format", format, "-z", "200", "300",
                                                (dir / "q.png").string(), "-o", whole.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        fs::remove(dir / "q.png");
    }
    const std::string bytes = readFile(whole);
    fs::remove(whole);
    const fs::path cut = dir / ("cut." + format);
    writeFile(cut, bytes.substr(0, bytes.size() / 2));
    expectEveryCommandFails(dir, cut, "truncated " + format);
}

INSTANTIATE_TEST_SUITE_P(sips, sipsTruncated,
                         ::testing::Values("jpeg", "gif", "png", "tiff", "bmp", "pict", "psd", "jp2", "icns"));

TEST(sipsBadInput, SpecialCharactersInNames) {
    TempDir dir;
    const std::string name = "a b'c\"d$e`f\\g!h&i;j|k*l?m[n]o{p}q(r)s<t>u#v~w%x^y=z,@+\t\xC3\xA9\xE2\x98\x83-";
    const fs::path src = dir / (name + ".png");
    sipstest::writeQuadrantPng(src);
    const std::string bytes = readFile(src);
    const fs::path out = dir / (name + ".jpeg");
    const ProcessResult ok = sipstest::sips(appCommand("jpeg", src, out));
    ASSERT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(sipstest::readImage(out).columns(), size_t(sipstest::kWidth));
    EXPECT_EQ(readFile(src), bytes);
    EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{name + ".jpeg", name + ".png"}));

    const fs::path missing = dir / ("gone " + name + "\n.png");
    const ProcessResult r = sipstest::sips(appCommand("png", missing, dir / "x.png"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "sips: " + missing.string() + ": No such file or directory\n");
    EXPECT_FALSE(fs::exists(dir / "x.png"));
}

TEST(sipsBadInput, InterruptedWriteRemovesTheTemporaryOutputAndDiesOfTheSignal) {
    TempDir dir;
    sipstest::writeQuadrantPng(dir / "in.png");
    writeFile(dir / "out.jpg", "earlier output");
    std::vector<std::string> argv = appCommand("jpeg", dir / "in.png", dir / "out.jpg");
    argv.insert(argv.begin(), vorpeltest::toolPath("sips").string());
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(sig));
        std::vector<std::string> during;
        const int status = vorpeltest::signalAtFsync(argv, sig, 1, [&] { during = listDir(dir.path()); });
        EXPECT_EQ(during.size(), 3u) << "no temporary output while writing";
        EXPECT_EQ(status, 128 + sig) << "did not die of the signal";
        EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"in.png", "out.jpg"}));
        EXPECT_EQ(readFile(dir / "out.jpg"), "earlier output");
    }
}

class sipsAsUser : public vorpeltest::AsOrdinaryUser {
protected:
    static ProcessResult sipsAsTheUser(const std::vector<std::string>& args) { return runTool("sips", args); }
};

TEST_F(sipsAsUser, UnreadableInputFailsAndWritesNothing) {
    ASSERT_TRUE(user_->give(dir.path()));
    const fs::path src = dir / "private.png";
    sipstest::writeQuadrantPng(src);
    const std::string bytes = readFile(src);
    ::chmod(src.c_str(), 0000);
    for (const std::string fmt : {"png", "jpeg", "pdf"}) {
        const ProcessResult r = sipsAsTheUser(appCommand(fmt, src, dir / ("Untitled." + fmt)));
        expectCleanFailure(r, src.string(), fmt);
        EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
    }
    EXPECT_EQ(sipsAsTheUser({"-g", "all", src.string()}).status, 1);
    EXPECT_EQ(listDir(dir.path()), std::vector<std::string>{"private.png"});
    EXPECT_EQ(readFile(src), bytes);
}

TEST_F(sipsAsUser, UnwritableOutputFolderFailsAndLeavesItAlone) {
    const fs::path src = dir / "photo.png";
    sipstest::writeQuadrantPng(src);
    ::chmod(dir.path().c_str(), 0755);  // root's: readable, not writable, for the user
    for (const std::string fmt : {"png", "jpeg", "pdf"}) {
        const fs::path out = dir / ("Untitled." + fmt);
        const ProcessResult r = sipsAsTheUser(appCommand(fmt, src, out));
        expectCleanFailure(r, out.string(), fmt);
        EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
    }
    EXPECT_EQ(listDir(dir.path()), std::vector<std::string>{"photo.png"});
}

} // namespace

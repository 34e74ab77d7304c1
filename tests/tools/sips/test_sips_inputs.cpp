// What sips accepts and refuses: property queries, real-world files, bad input, odd names.
#include "sipstestutil.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace sipstest;

namespace {

TEST(sipsGetProperty, PrintsEachAskedPropertyUnderThePath) {
    vorpeltest::TempDir dir;
    writeQuadrantPng(dir / "a.png");
    writeQuadrantJpeg(dir / "b.jpg");
    const auto r = sips({"-g", "all", (dir / "a.png").string(), "--getProperty", "hasAlpha",
                         (dir / "b.jpg").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, (dir / "a.png").string() +
                         "\n  pixelWidth: 64\n  pixelHeight: 48\n  format: png\n  hasAlpha: "
                         "yes\n  hasAlpha: yes\n" +
                         (dir / "b.jpg").string() +
                         "\n  pixelWidth: 64\n  pixelHeight: 48\n  format: jpeg\n  hasAlpha: "
                         "no\n  hasAlpha: no\n");
    EXPECT_EQ(vorpeltest::listDir(dir.path()), (std::vector<std::string>{"a.png", "b.jpg"}))
        << "a query writes nothing";

    const auto bad = sips({"-g", "colour", (dir / "a.png").string()});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("unknown property 'colour'"), std::string::npos) << bad.err;
}

TEST(sipsCommandLine, UsageAndBadArguments) {
    const auto help = sips({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--setProperty format"), std::string::npos);
    EXPECT_EQ(sips({"-h"}).out, help.out);

    vorpeltest::TempDir dir;
    writeQuadrantPng(dir / "a.png");
    const std::string a = (dir / "a.png").string();
    const std::vector<std::vector<std::string>> bad{
        {"-s", "format", "webp", a, "-o", (dir / "x").string()},
        {"-s", "formatOptions", "superb", a, "-o", (dir / "x").string()},
        {"-s", "dpiWidth", "72", a},
        {"--frobnicate", a},
        {"-s", "format", "png"},
        {"-Z", "0", a},
        {"-z", "10", a},
        {a, "--out"},
        {a},
    };
    for (const auto& args : bad) {
        const auto r = sips(args);
        EXPECT_EQ(r.status, 2) << ::testing::PrintToString(args);
        EXPECT_EQ(r.err.rfind("sips: ", 0), 0u) << r.err;
    }
    EXPECT_EQ(vorpeltest::listDir(dir.path()), std::vector<std::string>{"a.png"});
}

// Real-world files of every readable format, read in place from the shared corpus.
struct CorpusCase {
    const char* file;
    int width, height; // as a viewer shows it
    bool alpha;
};

void PrintTo(const CorpusCase& c, std::ostream* os) {
    *os << c.file;
}

class CorpusInput : public ::testing::TestWithParam<CorpusCase> {};

TEST_P(CorpusInput, ConvertsToPngAndJpeg) {
    VORPEL_REQUIRE_CORPUS();
    const CorpusCase& c = GetParam();
    const fs::path src = vorpeltest::corpusDir() / c.file;
    vorpeltest::TempDir dir;
    for (const std::string fmt : {"png", "jpeg"}) {
        const fs::path out = dir / ("Untitled." + fmt);
        const auto r = sips({"--setProperty", "format", fmt, "--setProperty", "formatOptions",
                             "best", src.string(), "--out", out.string()});
        ASSERT_EQ(r.status, 0) << c.file << " -> " << fmt << ": " << r.err;
        // Reading every frame shows that only the first one was kept.
        std::vector<Magick::Image> frames;
        Magick::readImages(&frames, out.string());
        ASSERT_EQ(frames.size(), 1u) << c.file;
        EXPECT_EQ(frames[0].size(), Magick::Geometry(c.width, c.height)) << c.file;
        EXPECT_EQ(frames[0].matte(), fmt == "png" && c.alpha) << c.file;
        EXPECT_NE(frames[0].colorSpace(), Magick::CMYKColorspace);
        // Turned upright, so a viewer must not turn it again.
        EXPECT_TRUE(frames[0].orientation() == Magick::UndefinedOrientation ||
                    frames[0].orientation() == Magick::TopLeftOrientation)
            << c.file << " " << frames[0].orientation();
    }
}

INSTANTIATE_TEST_SUITE_P(
    sips, CorpusInput,
    ::testing::Values(CorpusCase{"bmp/pal8rle.bmp", 127, 64, false},
                      CorpusCase{"bmp/testBMP.bmp", 100, 75, false},
                      // The first frame of the animation is opaque.
                      CorpusCase{"gif/chi.gif", 320, 240, false},
                      CorpusCase{"jp2/test-card-lossy-tiled.jp2", 640, 480, false},
                      CorpusCase{"jp2/testJPEG.jp2", 100, 75, false},
                      // EXIF orientation 6: stored 1200x1800, shown turned.
                      CorpusCase{"jpeg/Landscape_6.jpg", 1800, 1200, false},
                      CorpusCase{"jpeg/pil_sample_cmyk.jpg", 100, 100, false},
                      CorpusCase{"pict/testPICT.pct", 100, 75, false},
                      CorpusCase{"png/pil123rgba.png", 162, 150, true},
                      CorpusCase{"png/transparent.png", 200, 150, true},
                      CorpusCase{"psd/hopper.psd", 128, 128, false},
                      CorpusCase{"psd/testPSD.psd", 537, 51, false},
                      CorpusCase{"tiff/g4-multi.tiff", 3307, 4677, false},
                      CorpusCase{"tiff/testTIFF_multipage.tif", 800, 600, false},
                      CorpusCase{"tiff/tiff_16bit_RGBa.tiff", 100, 40, true},
                      // Its masks are opaque; ImageMagick writes no alpha then.
                      CorpusCase{"icns/testICNS.icns", 32, 32, false},
                      CorpusCase{"icns/testICNS_basic.icns", 512, 512, true}),
    [](const auto& info) {
        std::string name = info.param.file;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

TEST(sipsIcns, TakesTheLargestImageOfTheFamily) {
    VORPEL_REQUIRE_CORPUS();
    const fs::path legacy = vorpeltest::corpusDir() / "icns/testICNS.icns";
    const auto props = sips({"-g", "all", legacy.string()});
    ASSERT_EQ(props.status, 0) << props.err;
    EXPECT_EQ(props.out, legacy.string() +
                             "\n  pixelWidth: 32\n  pixelHeight: 32\n  format: icns\n  "
                             "hasAlpha: yes\n");

    vorpeltest::TempDir dir;
    const fs::path out = dir / "icon.png";
    ASSERT_EQ(sips({"-s", "format", "png", legacy.string(), "-o", out.string()}).status, 0);
    // The il32 element's red channel opens with a run of 0xb1 and its mask is opaque there.
    EXPECT_EQ(pixelAt(readImage(out), 0, 0), (Rgba{0xb1, 17, 22, 255}));

    // An icon family cannot be written back as such: no format, no output.
    const auto inPlace = sips({"-Z", "16", legacy.string(), "--out", (dir / "x.icns").string()});
    EXPECT_EQ(inPlace.status, 1);
    EXPECT_NE(inPlace.err.find("--setProperty format"), std::string::npos) << inPlace.err;
    EXPECT_FALSE(fs::exists(dir / "x.icns"));
}

// HEIF and AVIF come through a libvips module that the tool loads only when such a file is met.
TEST(sipsHeif, ReadsAnAvifPicture) {
    vorpeltest::TempDir dir;
    // Opaque: ImageMagick's AVIF coder leaves alpha out.
    writeQuadrantJpeg(dir / "q.jpg");
    Magick::Image img = readImage(dir / "q.jpg");
    img.magick("AVIF");
    img.quality(100);
    Magick::Blob blob;
    try {
        img.write(&blob);
    } catch (const Magick::Exception& e) {
        GTEST_SKIP() << "ImageMagick cannot write AVIF here: " << e.what();
    }
    const fs::path src = dir / "q.avif";
    vorpeltest::writeFile(src, std::string(static_cast<const char*>(blob.data()), blob.length()));

    const auto props = sips({"-g", "format", "-g", "hasAlpha", src.string()});
    ASSERT_EQ(props.status, 0) << props.err;
    EXPECT_EQ(props.out, src.string() + "\n  format: heif\n  hasAlpha: no\n");

    const fs::path out = dir / "q.png";
    const auto r = sips({"-s", "format", "png", src.string(), "-o", out.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const Magick::Image back = readImage(out);
    EXPECT_EQ(back.size(), Magick::Geometry(kWidth, kHeight));
    // Lossy even at the top quality: the colours come back close.
    EXPECT_LE(channelDistance(pixelAt(back, kLeftX, kTopY), kRed), 16);
    EXPECT_LE(channelDistance(pixelAt(back, kRightX, kTopY), kBlue), 16);
}

// Inputs that are not images fail with the path and a reason, and write nothing.
struct BadInput {
    const char* name;
    const char* reason; // part of the message
};

void PrintTo(const BadInput& b, std::ostream* os) {
    *os << b.name;
}

class NotAnImage : public ::testing::TestWithParam<BadInput> {};

TEST_P(NotAnImage, FailsCleanlyAndKeepsTheOldTarget) {
    const BadInput& b = GetParam();
    vorpeltest::TempDir dir;
    const fs::path src = dir / b.name;
    const std::string name = b.name;
    if (name == "folder") fs::create_directory(src);
    if (name == "empty.png") vorpeltest::writeFile(src, "");
    if (name == "pipe.png") {
        ASSERT_EQ(::mkfifo(src.c_str(), 0600), 0);
    }
    if (name == "notes.txt") vorpeltest::writeFile(src, "Dear diary,\nnot a picture.\n");
    if (name == "garbage.jpg")
        vorpeltest::writeFile(src, std::string("\x13\x37\xca\xfe", 4) + std::string(5000, '\x42'));
    if (name == "document.pdf") {
        // PDF is an output only (ImageMagick may not read it here).
        writeQuadrantPng(dir / "q.png");
        ASSERT_EQ(
            sips({"-s", "format", "pdf", (dir / "q.png").string(), "-o", src.string()}).status, 0);
        fs::remove(dir / "q.png");
    }
    if (name == "truncated.png") {
        writeQuadrantPng(dir / "whole.png");
        vorpeltest::writeFile(src, vorpeltest::readFile(dir / "whole.png").substr(0, 60));
        fs::remove(dir / "whole.png");
    }
    const fs::path target = dir / "Untitled.png";
    vorpeltest::writeFile(target, "earlier version");
    const auto before = vorpeltest::listDir(dir.path());

    for (const std::string fmt : {"png", "pdf"}) {
        const auto r = sips({"--setProperty", "format", fmt, "--setProperty", "formatOptions",
                             "best", src.string(), "--out", target.string()});
        EXPECT_EQ(r.status, 1) << fmt;
        EXPECT_EQ(r.err.rfind("sips: " + src.string() + ": ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(b.reason), std::string::npos) << r.err;
        EXPECT_EQ(vorpeltest::readFile(target), "earlier version");
        EXPECT_EQ(vorpeltest::listDir(dir.path()), before) << "temporary file left behind";
    }
    EXPECT_EQ(sips({"-g", "format", src.string()}).status, 1);
}

INSTANTIATE_TEST_SUITE_P(sips, NotAnImage,
                         ::testing::Values(BadInput{"missing.png", "No such file"},
                                           BadInput{"folder", "folder"},
                                           BadInput{"empty.png", "empty"},
                                           BadInput{"pipe.png", "not a regular file"},
                                           BadInput{"notes.txt", "not an image"},
                                           BadInput{"garbage.jpg", "not an image"},
                                           BadInput{"truncated.png", "cannot read image"},
                                           BadInput{"document.pdf", "not an image"}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             return n.substr(0, n.find('.'));
                         });

TEST(sipsAtomicWrite, UnwritableTargetLeavesNothing) {
    vorpeltest::TempDir dir;
    writeQuadrantPng(dir / "a.png");
    const fs::path target = dir / "no such folder" / "out.png";
    const auto r = sips({"-s", "format", "png", (dir / "a.png").string(), "-o", target.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("sips: " + target.string() + ": ", 0), 0u) << r.err;
    EXPECT_EQ(vorpeltest::listDir(dir.path()), std::vector<std::string>{"a.png"});

    // A failure after decoding (the size exceeds ImageMagick's limits) leaves the old file too.
    const fs::path old = dir / "old.png";
    vorpeltest::writeFile(old, "old");
    const auto huge = sips({"-z", "60000", "60000", (dir / "a.png").string(), "-o", old.string()});
    EXPECT_EQ(huge.status, 1);
    EXPECT_EQ(huge.err.rfind("sips: " + (dir / "a.png").string() + ": ", 0), 0u) << huge.err;
    EXPECT_EQ(vorpeltest::readFile(old), "old");
    EXPECT_EQ(vorpeltest::listDir(dir.path()), (std::vector<std::string>{"a.png", "old.png"}));

    // A replaced target keeps the permissions it had.
    const fs::path kept = dir / "kept.png";
    vorpeltest::writeFile(kept, "old");
    ::chmod(kept.c_str(), 0640);
    ASSERT_EQ(sips({"-s", "format", "png", (dir / "a.png").string(), "-o", kept.string()}).status,
              0);
    EXPECT_EQ(fs::status(kept).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(readImage(kept).columns(), size_t(kWidth));
}

TEST(sipsNames, SpecialCharactersArePlainNames) {
    vorpeltest::TempDir dir;
    // ImageMagick would read these as a frame pattern, a frame index and a coder prefix.
    const std::vector<std::pair<std::string, std::string>> names{
        {"my holiday photo.png", "my holiday photo.jpeg"},
        {"it's \"quoted\".png", "Untitled \"copy\".gif"},
        {"Grüße ☃ ２.png", "Ergebnis ñ.tiff"},
        {"frame%d.png", "out%03d.bmp"},
        {"layer[0].png", "result[2].psd"},
        {"png:shot.png", "jpeg:shot.jpeg"},
        {"-dash.png", "pdf:-dash.pdf"},
        {"empty name.png", ".jpeg"}, // the app's output when the typed name is empty
    };
    for (const auto& [in, out] : names) {
        SCOPED_TRACE(in);
        writeQuadrantPng(dir / in);
        const std::string fmt = out.substr(out.rfind('.') + 1);
        const auto r = sips({"--setProperty", "format", fmt, "--setProperty", "formatOptions",
                             "best", (dir / in).string(), "--out", (dir / out).string()});
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_TRUE(fs::exists(dir / out));
        if (fmt != "pdf") {
            EXPECT_EQ(readImage(dir / out).columns(), size_t(kWidth));
        }
        fs::remove(dir / in);
        fs::remove(dir / out);
        EXPECT_TRUE(vorpeltest::listDir(dir.path()).empty()) << "stray file";
    }
}

} // namespace

namespace {

// Inputs the fuzz target (bench/fuzz) broke the decoder with: each is refused with one
// message and nothing written; under `make sanitize` a leak fails the run as well.
TEST(sipsFuzzRegressions, IconFamilyWithAnElementPastItsEndIsRefusedCleanly) {
    // libicns lost its copy of the data refusing it (LeakSanitizer).
    vorpeltest::TempDir dir;
    const fs::path src = dir / "broken.icns";
    fs::copy_file(fs::path(VORPEL_SOURCE_DIR) / "tests/tools/sips/regressions/icns-element-past-end.icns",
                  src);
    const auto r = sips({"-s", "format", "png", src.string(), "--out", (dir / "out.png").string()});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err, "sips: " + src.string() + ": damaged icon file\n");
    EXPECT_EQ(vorpeltest::listDir(dir.path()), std::vector<std::string>{"broken.icns"});
}

} // namespace

namespace {

TEST(sipsFuzzRegressions, IconFamilyWithBytesAfterItsEndIsRead) {
    // libicns refused the whole file, and lost its copy of it (LeakSanitizer).
    vorpeltest::TempDir dir;
    const fs::path src = dir / "trailing.icns";
    fs::copy_file(fs::path(VORPEL_SOURCE_DIR) / "tests/tools/sips/regressions/icns-bytes-after-the-family.icns",
                  src);
    const auto r = sips({"-g", "format", "-g", "pixelWidth", src.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, src.string() + "\n  format: icns\n  pixelWidth: 512\n");
    EXPECT_EQ(r.err, "");
}

} // namespace

// Conversions by the built sips, checked by decoding its output independently.
#include "sipstestutil.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>

namespace fs = std::filesystem;
using namespace sipstest;

namespace {

struct Target {
    std::string format; // the --setProperty format value
    std::string ext;    // the extension the app gives the output
    std::string coder;  // ImageMagick's name for what must come back ("" for pdf)
    bool keepsAlpha;
    int tolerance; // largest channel error on an opaque pixel
};

void PrintTo(const Target& t, std::ostream* os) {
    *os << t.format;
}

const std::vector<Target> kTargets{
    {"jpeg", ".jpeg", "JPEG", false, 6}, {"gif", ".gif", "GIF", true, 16},
    {"png", ".png", "PNG", true, 0},     {"tiff", ".tiff", "TIFF", true, 0},
    {"bmp", ".bmp", "BMP", false, 0},    {"pict", ".pict", "PICT", false, 0},
    {"psd", ".psd", "PSD", true, 0},     {"jp2", ".jp2", "JP2", true, 0},
    {"pdf", ".pdf", "", true, 0},
};

// Half-transparent green over white, what a viewer shows.
Rgba overWhite(const Rgba& c) {
    Rgba out{0, 0, 0, 255};
    for (size_t i = 0; i < 3; ++i)
        out[i] = (c[i] * c[3] + 255 * (255 - c[3]) + 127) / 255;
    return out;
}

Rgba pdfPixel(const PdfContents& pdf, int x, int y) {
    const size_t at = (size_t(y) * pdf.imageWidth + x) * 3;
    const int a = pdf.alpha.empty() ? 255 : pdf.alpha[size_t(y) * pdf.imageWidth + x];
    return {pdf.pixels[at], pdf.pixels[at + 1], pdf.pixels[at + 2], a};
}

class EveryFormat : public ::testing::TestWithParam<std::tuple<Target, bool>> {
protected:
    vorpeltest::TempDir dir;
};

TEST_P(EveryFormat, ConvertsWithTheAppsCommandLine) {
    const auto& [target, alphaSource] = GetParam();
    const fs::path src = dir / (alphaSource ? "photo.png" : "photo.jpg");
    alphaSource ? writeQuadrantPng(src) : writeQuadrantJpeg(src);
    const std::string before = vorpeltest::readFile(src);
    const fs::path out = dir / ("Untitled" + target.ext);

    const auto r = sips({"--setProperty", "format", target.format, "--setProperty", "formatOptions",
                         "best", src.string(), "--out", out.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(vorpeltest::readFile(src), before) << "input modified";
    EXPECT_EQ(vorpeltest::listDir(dir.path()).size(), 2u) << "stray file left behind";

    const Magick::Image source = readImage(src);
    const Rgba red = pixelAt(source, kLeftX, kTopY);
    const Rgba blue = pixelAt(source, kRightX, kTopY);

    if (target.format == "pdf") {
        const PdfContents pdf = parsePdf(vorpeltest::readFile(out));
        EXPECT_DOUBLE_EQ(pdf.pageWidth, kWidth);
        EXPECT_DOUBLE_EQ(pdf.pageHeight, kHeight);
        EXPECT_FALSE(pdf.hasLossyImage);
        ASSERT_EQ(pdf.imageWidth, kWidth);
        ASSERT_EQ(pdf.imageHeight, kHeight);
        ASSERT_EQ(pdf.colorSpace, "DeviceRGB");
        ASSERT_EQ(pdf.pixels.size(), size_t(kWidth) * kHeight * 3);
        EXPECT_EQ(pdfPixel(pdf, kLeftX, kTopY), red);
        EXPECT_EQ(pdfPixel(pdf, kRightX, kTopY), blue);
        ASSERT_EQ(pdf.alpha.empty(), !alphaSource);
        if (alphaSource) {
            EXPECT_EQ(pdfPixel(pdf, kLeftX, kBottomY)[3], 0);
            EXPECT_NEAR(pdfPixel(pdf, kRightX, kBottomY)[3], kGreenHalf[3], 1);
        }
        return;
    }

    const Magick::Image back = readImage(out);
    EXPECT_EQ(back.magick().rfind(target.coder, 0), 0u) << back.magick();
    EXPECT_EQ(back.columns(), size_t(kWidth));
    EXPECT_EQ(back.rows(), size_t(kHeight));
    EXPECT_LE(channelDistance(pixelAt(back, kLeftX, kTopY), red), target.tolerance);
    EXPECT_LE(channelDistance(pixelAt(back, kRightX, kTopY), blue), target.tolerance);

    if (!alphaSource) {
        EXPECT_FALSE(back.matte());
        return;
    }
    const Rgba clear = pixelAt(back, kLeftX, kBottomY);
    const Rgba half = pixelAt(back, kRightX, kBottomY);
    if (target.keepsAlpha) {
        EXPECT_TRUE(back.matte());
        EXPECT_EQ(clear[3], 0);
        if (target.format != "gif" && target.format != "psd") { // binary alpha; matted composite
            EXPECT_LE(channelDistance(half, kGreenHalf), 1);
        }
    } else {
        // Flattened onto white, not black.
        EXPECT_LE(channelDistance(clear, Rgba{255, 255, 255, 255}), target.tolerance + 1);
        EXPECT_LE(channelDistance(half, overWhite(kGreenHalf)), target.tolerance + 2);
    }
}

INSTANTIATE_TEST_SUITE_P(sips, EveryFormat,
                         ::testing::Combine(::testing::ValuesIn(kTargets), ::testing::Bool()),
                         [](const auto& info) {
                             return std::get<0>(info.param).format +
                                    (std::get<1>(info.param) ? "_fromPngWithAlpha" : "_fromJpeg");
                         });

TEST(sipsFormats, ReadsItsOwnOutputBack) {
    vorpeltest::TempDir dir;
    const fs::path src = dir / "in.png";
    writeQuadrantPng(src);
    for (const Target& target : kTargets) {
        if (target.format == "pdf") continue; // written, never read
        // No extension: the format must be recognised from the content.
        const fs::path out = dir / ("converted-" + target.format);
        ASSERT_EQ(sips({"-s", "format", target.format, src.string(), "-o", out.string()}).status,
                  0);
        const auto r = sips({"-g", "format", "-g", "pixelWidth", out.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, out.string() + "\n  format: " + target.format + "\n  pixelWidth: 64\n");
    }
}

// Lossless targets keep every pixel, not just the sampled ones.
TEST(sipsFidelity, LosslessFormatsKeepEveryPixel) {
    vorpeltest::TempDir dir;
    const fs::path src = dir / "noise.png";
    Magick::Image noise(Magick::Geometry(97, 61), Magick::Color("gray50"));
    noise.addNoise(Magick::GaussianNoise);
    noise.depth(8);
    noise.magick("PNG");
    noise.write(src.string());
    const Magick::Image original = readImage(src);
    for (const std::string fmt : {"png", "tiff", "jp2", "bmp", "psd"}) {
        const fs::path out = dir / ("out." + fmt);
        const auto r = sips(
            {"-s", "format", fmt, "-s", "formatOptions", "best", src.string(), "-o", out.string()});
        ASSERT_EQ(r.status, 0) << fmt << ": " << r.err;
        Magick::Image back = readImage(out);
        EXPECT_EQ(back.compare(original, Magick::AbsoluteErrorMetric), 0.0) << fmt;
    }
}

// Outputs of several megabytes reach the disk in many writes while the encoder still works:
// every byte must arrive, the TIFF's directory written after its strips included.
TEST(sipsFidelity, LargeOutputsKeepEveryPixel) {
    vorpeltest::TempDir dir;
    const fs::path src = dir / "noise.png";
    Magick::Image noise(Magick::Geometry(1500, 1100), Magick::Color("gray50"));
    noise.addNoise(Magick::GaussianNoise);
    noise.matte(true);
    noise.depth(8);
    noise.magick("PNG");
    noise.write(src.string());
    const Magick::Image original = readImage(src);
    for (const std::string fmt : {"tiff", "png", "psd"}) {
        const fs::path out = dir / ("out." + fmt);
        const auto r = sips(
            {"-s", "format", fmt, "-s", "formatOptions", "best", src.string(), "-o", out.string()});
        ASSERT_EQ(r.status, 0) << fmt << ": " << r.err;
        // Over the few megabytes after which writing to disk is started.
        EXPECT_GT(fs::file_size(out), 5'000'000u) << fmt;
        Magick::Image back = readImage(out);
        EXPECT_EQ(back.columns(), 1500u) << fmt;
        EXPECT_EQ(back.rows(), 1100u) << fmt;
        EXPECT_EQ(back.compare(original, Magick::AbsoluteErrorMetric), 0.0) << fmt;
    }

    // Several in one run: the write-out of one output goes on while the next is written, and
    // must neither hold up nor touch it.
    const fs::path other = dir / "other.png";
    Magick::Image flipped = noise;
    flipped.flip();
    flipped.write(other.string());
    fs::create_directory(dir / "both");
    const auto r = sips({"-s", "format", "tiff", "-s", "formatOptions", "best", src.string(),
                         other.string(), "-o", (dir / "both").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const auto& [out, from] : {std::pair{dir / "both" / "noise.tiff", src},
                                    std::pair{dir / "both" / "other.tiff", other}}) {
        EXPECT_GT(fs::file_size(out), 5'000'000u) << out;
        EXPECT_EQ(readImage(out).compare(readImage(from), Magick::AbsoluteErrorMetric), 0.0) << out;
    }
}

TEST(sipsFidelity, FormatOptionsSetTheQuality) {
    vorpeltest::TempDir dir;
    const fs::path src = dir / "noise.png";
    Magick::Image noise(Magick::Geometry(120, 80), Magick::Color("gray50"));
    noise.addNoise(Magick::GaussianNoise);
    noise.depth(8);
    noise.write(src.string());
    const Magick::Image original = readImage(src);

    std::map<std::string, size_t> quality;
    for (const std::string opt : {"best", "high", "normal", "low", "55%"}) {
        const fs::path out = dir / (opt + ".jpeg");
        ASSERT_EQ(sips({"-s", "format", "jpeg", "-s", "formatOptions", opt, src.string(), "-o",
                        out.string()})
                      .status,
                  0);
        quality[opt] = readImage(out).quality(); // estimated from the quantisation tables
    }
    EXPECT_EQ(quality["best"], 100u);
    EXPECT_GT(quality["high"], quality["normal"]);
    EXPECT_GT(quality["normal"], quality["low"]);
    EXPECT_EQ(quality["55%"], 55u);

    // JPEG 2000 is lossless only for "best".
    const fs::path lossy = dir / "low.jp2";
    ASSERT_EQ(sips({"-s", "format", "jp2", "-s", "formatOptions", "low", src.string(), "-o",
                    lossy.string()})
                  .status,
              0);
    EXPECT_GT(readImage(lossy).compare(original, Magick::AbsoluteErrorMetric), 0.0);
}

TEST(sipsResample, ScalesToTheGivenSizes) {
    vorpeltest::TempDir dir;
    const fs::path src = dir / "q.png";
    writeQuadrantPng(src);

    const fs::path max = dir / "max.png";
    ASSERT_EQ(sips({"-Z", "32", src.string(), "--out", max.string()}).status, 0);
    EXPECT_EQ(readImage(max).size(), Magick::Geometry(32, 24));

    // Height first, then width.
    const fs::path exact = dir / "exact.png";
    ASSERT_EQ(
        sips({"--resampleHeightWidth", "10", "20", src.string(), "-o", exact.string()}).status, 0);
    EXPECT_EQ(readImage(exact).size(), Magick::Geometry(20, 10));

    const fs::path up = dir / "up.jpeg";
    ASSERT_EQ(sips({"--resampleHeightWidthMax", "128", "-s", "format", "jpeg", src.string(), "-o",
                    up.string()})
                  .status,
              0);
    const Magick::Image big = readImage(up);
    EXPECT_EQ(big.size(), Magick::Geometry(128, 96));
    EXPECT_LE(channelDistance(pixelAt(big, 32, 24), kRed), 6);
}

TEST(sipsInPlace, ConvertsTheFileItselfAtomically) {
    vorpeltest::TempDir dir;
    const fs::path src = dir / "picture.png";
    writeQuadrantPng(src);
    const auto r = sips({"-s", "format", "jpeg", src.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(vorpeltest::listDir(dir.path()), std::vector<std::string>{"picture.png"});
    const Magick::Image back = readImage(src);
    EXPECT_EQ(back.magick(), "JPEG");
    EXPECT_LE(channelDistance(pixelAt(back, kLeftX, kBottomY), Rgba{255, 255, 255, 255}), 3);

    // Resampling alone keeps the format.
    ASSERT_EQ(sips({"-Z", "16", src.string()}).status, 0);
    const Magick::Image small = readImage(src);
    EXPECT_EQ(small.magick(), "JPEG");
    EXPECT_EQ(small.size(), Magick::Geometry(16, 12));
}

TEST(sipsOutput, FolderTargetAndSeveralSources) {
    vorpeltest::TempDir dir;
    fs::create_directory(dir / "out");
    writeQuadrantPng(dir / "a.png");
    writeQuadrantJpeg(dir / "b.jpg");
    const auto r = sips({"-s", "format", "tiff", (dir / "a.png").string(), (dir / "b.jpg").string(),
                         "--out", (dir / "out").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(vorpeltest::listDir(dir / "out"), (std::vector<std::string>{"a.tiff", "b.tiff"}));
    EXPECT_TRUE(readImage(dir / "out" / "a.tiff").matte());
    EXPECT_FALSE(readImage(dir / "out" / "b.tiff").matte());

    // One bad source among good ones: the others are still converted, the status tells.
    fs::remove_all(dir / "out");
    fs::create_directory(dir / "out");
    vorpeltest::writeFile(dir / "c.png", "not a picture");
    const auto mixed = sips({"-s", "format", "gif", (dir / "c.png").string(),
                             (dir / "a.png").string(), "-o", (dir / "out").string()});
    EXPECT_EQ(mixed.status, 1);
    EXPECT_EQ(mixed.err.rfind("sips: " + (dir / "c.png").string() + ": ", 0), 0u) << mixed.err;
    EXPECT_EQ(vorpeltest::listDir(dir / "out"), std::vector<std::string>{"a.gif"});

    // Several sources into one file cannot be right.
    const auto bad = sips({"-s", "format", "png", (dir / "a.png").string(),
                           (dir / "b.jpg").string(), "--out", (dir / "one.png").string()});
    EXPECT_EQ(bad.status, 2);
    EXPECT_FALSE(fs::exists(dir / "one.png"));
}

} // namespace

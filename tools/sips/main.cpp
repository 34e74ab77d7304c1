// sips: converts, resamples and queries images (libvips; ImageMagick for BMP, PSD and PICT
// reading and PICT writing, libicns for icons).
#include "imageio.h"
#include "magickio.h"
#include "options.h"

#include "platform/atomicfile.h"
#include "platform/toolerror.h"

#include <vips/vips8>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

namespace fs = std::filesystem;

namespace {

using sips::Options;
using vorpel::ToolError;

void printProperties(const fs::path& path, const sips::SourceImage& src,
                     const std::vector<std::string>& keys) {
    std::printf("%s\n", fs::absolute(path).lexically_normal().c_str());
    for (const auto& key : keys) {
        std::string value;
        if (key == "pixelWidth")
            value = std::to_string(src.image.width());
        else if (key == "pixelHeight")
            value = std::to_string(src.image.height());
        else if (key == "format")
            value = src.formatName;
        else if (key == "hasAlpha")
            value = src.hasAlpha ? "yes" : "no";
        std::printf("  %s: %s\n", key.c_str(), value.c_str());
    }
}

fs::path targetFor(const Options& o, const fs::path& source, sips::Format format) {
    if (!o.out) return source;
    std::error_code ec;
    if (fs::is_directory(*o.out, ec)) {
        return *o.out / (source.stem().string() + "." + sips::formatInfo(format).extension);
    }
    return *o.out;
}

// Larger outputs than this are refused rather than written for minutes (4 GB of RGBA).
constexpr double kMaxPixels = double(1 << 30);

vips::VImage scaleTo(const vips::VImage& img, int w, int h) {
    if (double(w) * double(h) > kMaxPixels)
        throw ToolError({}, "image too large (" + std::to_string(w) + " x " + std::to_string(h) +
                                " pixels)");
    if (w == img.width() && h == img.height()) return img;
    const double hscale = double(w) / img.width(), vscale = double(h) / img.height();
    // Scaled with premultiplied alpha, so that transparent pixels lend no colour to their
    // neighbours.
    const bool alpha = img.has_alpha();
    vips::VImage in = alpha ? img.premultiply() : img;
    vips::VImage out = in.resize(hscale, vips::VImage::option()->set("vscale", vscale));
    if (alpha) out = out.unpremultiply();
    out = out.cast(img.format()).copy(
        vips::VImage::option()->set("interpretation", img.interpretation()));
    // Rounding inside the scaler may be a pixel off.
    if (out.width() != w || out.height() != h)
        out = out.embed(0, 0, w, h, vips::VImage::option()->set("extend", VIPS_EXTEND_COPY));
    return out;
}

vips::VImage resample(vips::VImage img, const Options& o) {
    if (o.exactSize) img = scaleTo(img, o.exactSize->second, o.exactSize->first);
    if (o.maxSide) {
        const double longer = static_cast<double>(std::max(img.width(), img.height()));
        const double scale = *o.maxSide / longer;
        img = scaleTo(img, static_cast<int>(std::max(1.0, std::round(img.width() * scale))),
                      static_cast<int>(std::max(1.0, std::round(img.height() * scale))));
    }
    return img;
}

void processOne(const Options& o, const fs::path& source) {
    if (!o.getProperties.empty()) {
        const sips::SourceImage src = sips::loadImage(source);
        sips::checkPixels(src, source);
        printProperties(source, src, o.getProperties);
        std::fflush(stdout);
    }
    if (!o.converts()) return;

    // The pixels are read as they are written: a fresh pipeline.
    const sips::SourceImage src = sips::loadImage(source);
    const std::optional<sips::Format> format = o.format ? o.format : src.format;
    if (!format)
        throw ToolError(source.string(), "cannot write " + src.formatName +
                                             " files; choose a format with --setProperty format");
    const fs::path target = targetFor(o, source, *format);

    try {
        const vips::VImage img = resample(sips::upright(src), o);
        const bool unchanged = !src.jpeg.empty() && src.orientation == 1 &&
                               img.width() == src.image.width() &&
                               img.height() == src.image.height() && !o.exactSize && !o.maxSide;
        // The target itself is only replaced on commit: any failure before leaves it as it was.
        vorpel::AtomicFile out(target);
        sips::writeImage(img, *format, o.formatOptions.value_or(sips::FormatOptions{}), out,
                         unchanged ? &src.jpeg : nullptr);
        out.commit();
    } catch (const ToolError& e) {
        if (!e.path().empty()) throw;
        throw ToolError(source.string(), e.what(), e.status());
    } catch (const vips::VError& e) {
        throw ToolError(source.string(), sips::vipsReason(e));
    } catch (const Magick::Exception& e) {
        throw ToolError(source.string(), sips::magickReason(e));
    }
}

} // namespace

int main(int argc, char** argv) {
    return vorpel::runTool("sips", [&] {
        const Options o = sips::parseArguments(argc, argv);
        if (o.help) {
            std::fputs(sips::usageText(), stdout);
            return int(vorpel::ExitOk);
        }
        if (o.out && o.sources.size() > 1) {
            std::error_code ec;
            if (!fs::is_directory(*o.out, ec))
                throw ToolError(o.out->string(), "must be a folder when several images are given",
                                vorpel::ExitUsage);
        }
        sips::startEngine(argv[0]);

        int status = vorpel::ExitOk;
        for (const auto& source : o.sources) {
            try {
                processOne(o, source);
            } catch (const ToolError& e) {
                std::fprintf(stderr, "sips: %s\n", e.render().c_str());
                status = std::max(status, e.status());
            } catch (const std::exception& e) {
                std::fprintf(stderr, "sips: %s: %s\n", source.c_str(), e.what());
                status = std::max(status, int(vorpel::ExitFailure));
            }
        }
        return status;
    });
}

#include "options.h"

#include "platform/toolerror.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

namespace sips {
namespace {

using vorpel::ExitUsage;
using vorpel::ToolError;

constexpr std::array<std::string_view, 4> kProperties{"pixelWidth", "pixelHeight", "format",
                                                      "hasAlpha"};

[[noreturn]] void usageError(const std::string& message) {
    throw ToolError({}, message + " (see sips --help)", ExitUsage);
}

int parsePixels(std::string_view option, std::string_view value) {
    int n = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (value.empty() || ec != std::errc() || end != value.data() + value.size() || n < 1 ||
        n > 65535)
        usageError(std::string(option) + ": '" + std::string(value) + "' is not a size in pixels");
    return n;
}

void setProperty(Options& o, std::string_view key, std::string_view value) {
    if (key == "format") {
        o.format = formatFromName(value);
        if (!o.format)
            usageError("unknown format '" + std::string(value) +
                       "' (jpeg, gif, png, tiff, bmp, pict, psd, jp2 or pdf)");
    } else if (key == "formatOptions") {
        o.formatOptions = parseFormatOptions(value);
        if (!o.formatOptions)
            usageError("unknown formatOptions '" + std::string(value) +
                       "' (best, high, normal, low, default, a percentage, or for tiff: "
                       "none, lzw, packbits, zip)");
    } else {
        usageError("property '" + std::string(key) + "' cannot be set (format, formatOptions)");
    }
}

void getProperty(Options& o, std::string_view key) {
    if (key == "all") {
        for (auto p : kProperties)
            o.getProperties.emplace_back(p);
        return;
    }
    if (std::find(kProperties.begin(), kProperties.end(), key) == kProperties.end())
        usageError("unknown property '" + std::string(key) +
                   "' (pixelWidth, pixelHeight, format, hasAlpha, all)");
    o.getProperties.emplace_back(key);
}

} // namespace

Options parseArguments(int argc, char** argv) {
    Options o;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto next = [&](std::string_view what) -> std::string_view {
            if (i + 1 >= argc) usageError(std::string(arg) + " needs " + std::string(what));
            return argv[++i];
        };
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            o.sources.emplace_back(argv[i]);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            o.help = true;
        } else if (arg == "-s" || arg == "--setProperty") {
            const std::string_view key = next("a property and a value");
            setProperty(o, key, next("a value"));
        } else if (arg == "-g" || arg == "--getProperty") {
            getProperty(o, next("a property"));
        } else if (arg == "-Z" || arg == "--resampleHeightWidthMax") {
            o.maxSide = parsePixels(arg, next("a size in pixels"));
        } else if (arg == "-z" || arg == "--resampleHeightWidth") {
            const int h = parsePixels(arg, next("a height and a width"));
            const int w = parsePixels(arg, next("a width"));
            o.exactSize = {h, w};
        } else if (arg == "-o" || arg == "--out") {
            o.out = std::filesystem::path(next("a path"));
        } else {
            usageError("unknown option '" + std::string(arg) + "'");
        }
    }
    if (o.help) return o;
    if (o.sources.empty()) usageError("no image file given");
    if (!o.converts() && o.getProperties.empty()) usageError("nothing to do");
    return o;
}

const char* usageText() {
    return R"(Usage: sips [OPTIONS] IMAGE... [--out PATH]

Converts, resamples and queries image files. Without --out, each image is
replaced in place (atomically).

  -s, --setProperty format FMT   jpeg, gif, png, tiff, bmp, pict, psd, jp2, pdf
  -s, --setProperty formatOptions OPT
                                 best, high, normal, low, default or a
                                 percentage (JPEG and JPEG 2000 quality;
                                 best: JPEG quality 100, lossless JPEG 2000);
                                 for tiff also none, lzw, packbits, zip
  -g, --getProperty KEY          pixelWidth, pixelHeight, format, hasAlpha, all
  -Z, --resampleHeightWidthMax N scale so that the longer side is N pixels
  -z, --resampleHeightWidth H W  scale to H by W pixels
  -o, --out PATH                 output file, or folder for several images
  -h, --help                     this text

Reads the formats above except PDF (the first frame of an animation, the
merged image of a layered file) and icon files (.icns: the largest image).
Transparent images written as JPEG, BMP or PICT are flattened onto white.
Exit status: 0 success, 1 failure, 2 bad command line.
)";
}

} // namespace sips

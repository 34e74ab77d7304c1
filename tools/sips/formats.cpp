#include "formats.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace sips {
namespace {

constexpr std::array<FormatInfo, 9> kFormats{{
    {Format::Jpeg, "jpeg", "JPEG", "jpeg", false},
    {Format::Gif, "gif", "GIF", "gif", true},
    {Format::Png, "png", "PNG", "png", true},
    {Format::Tiff, "tiff", "TIFF", "tiff", true},
    // BMP3 rather than BMP: the version 3 layout without alpha opens everywhere.
    {Format::Bmp, "bmp", "BMP3", "bmp", false},
    // ImageMagick's PICT coder drops alpha: flatten it ourselves rather than show black.
    {Format::Pict, "pict", "PICT", "pict", false},
    {Format::Psd, "psd", "PSD", "psd", true},
    {Format::Jp2, "jp2", "JP2", "jp2", true},
    {Format::Pdf, "pdf", "", "pdf", true},
}};

struct Alias {
    const char* name;
    Format format;
};

constexpr std::array<Alias, 11> kAliases{{
    {"jpeg", Format::Jpeg},
    {"jpg", Format::Jpeg},
    {"gif", Format::Gif},
    {"png", Format::Png},
    {"tiff", Format::Tiff},
    {"tif", Format::Tiff},
    {"bmp", Format::Bmp},
    {"pict", Format::Pict},
    {"psd", Format::Psd},
    {"jp2", Format::Jp2},
    {"pdf", Format::Pdf},
}};

} // namespace

std::string toLower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

const FormatInfo& formatInfo(Format f) {
    return kFormats[static_cast<size_t>(f)];
}

std::optional<Format> formatFromName(std::string_view name) {
    const std::string lower = toLower(name);
    for (const auto& a : kAliases) {
        if (lower == a.name) return a.format;
    }
    return std::nullopt;
}

std::optional<Format> formatFromCoder(std::string_view coder) {
    const std::string c = toLower(coder);
    if (c == "jpeg" || c == "jpg") return Format::Jpeg;
    if (c == "gif" || c == "gif87") return Format::Gif;
    if (c == "png" || c == "png8" || c == "png24" || c == "png32" || c == "png48" || c == "png64")
        return Format::Png;
    if (c == "tiff" || c == "tif" || c == "tiff64") return Format::Tiff;
    if (c == "bmp" || c == "bmp2" || c == "bmp3") return Format::Bmp;
    if (c == "pict" || c == "pct") return Format::Pict;
    if (c == "psd") return Format::Psd;
    if (c == "jp2" || c == "j2k" || c == "jpc") return Format::Jp2;
    return std::nullopt;
}

std::optional<FormatOptions> parseFormatOptions(std::string_view value) {
    const std::string v = toLower(value);
    FormatOptions o;
    if (v == "best") {
        o.quality = 100;
    } else if (v == "high") {
        o.quality = 85;
    } else if (v == "normal") {
        o.quality = 70;
    } else if (v == "low") {
        o.quality = 40;
    } else if (v == "default") {
        // keeps the defaults
    } else if (v == "none") {
        o.tiffCompression = TiffCompression::None;
    } else if (v == "lzw") {
        o.tiffCompression = TiffCompression::Lzw;
    } else if (v == "packbits") {
        o.tiffCompression = TiffCompression::PackBits;
    } else if (v == "zip" || v == "deflate") {
        o.tiffCompression = TiffCompression::Zip;
    } else {
        std::string_view digits = v;
        if (!digits.empty() && digits.back() == '%') digits.remove_suffix(1);
        int q = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), q);
        if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || q < 1 ||
            q > 100)
            return std::nullopt;
        o.quality = q;
    }
    return o;
}

} // namespace sips

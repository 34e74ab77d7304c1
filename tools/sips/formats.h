#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sips {

enum class Format { Jpeg, Gif, Png, Tiff, Bmp, Pict, Psd, Jp2, Pdf };

struct FormatInfo {
    Format format;
    const char* name;      // as printed by --getProperty and given to --setProperty format
    const char* coder;     // ImageMagick coder that writes it; empty for PDF (written with Qt)
    const char* extension; // used when --out names a folder
    bool keepsAlpha;       // false: transparent sources are flattened onto white
};

const FormatInfo& formatInfo(Format f);

// "jpeg", "jpg", "tif", ... (case-insensitive).
std::optional<Format> formatFromName(std::string_view name);

// Format of a decoded image from ImageMagick's coder name ("JPEG", "BMP3", ...).
std::optional<Format> formatFromCoder(std::string_view coder);

enum class TiffCompression { None, Lzw, PackBits, Zip };

// The value of --setProperty formatOptions.
struct FormatOptions {
    int quality = 85; // 1..100; 100 means lossless where the format has a choice
    std::optional<TiffCompression> tiffCompression;
};

// "best", "high", "normal", "low", "default", "75", "75%", "lzw", ...; nullopt when unknown.
std::optional<FormatOptions> parseFormatOptions(std::string_view value);

std::string toLower(std::string_view s);

} // namespace sips

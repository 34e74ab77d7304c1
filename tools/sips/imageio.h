#pragma once

#include "formats.h"
#include "platform/atomicfile.h"

#include <vips/vips8>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace sips {

struct SourceImage {
    vips::VImage image;           // first frame as stored; decoded lazily, as it is written
    std::string formatName;       // "png", "icns", ... for --getProperty format
    std::optional<Format> format; // nullopt when sips cannot write the source's format
    bool hasAlpha = false;
    int orientation = 1;         // EXIF orientation that upright() applies
    std::filesystem::path jpeg;  // the file, when it is a JPEG read straight from disk
};

// Starts libvips for one-off pipelines, its warnings kept off standard error.
void startEngine(const char* argv0);

// Opens an image file; throws ToolError with a readable reason for anything that is not one.
// Damage further into the file shows when the pixels are read (checkPixels, writeImage).
SourceImage loadImage(const std::filesystem::path& path);
// The same for bytes in memory, which must outlive the image; path names them in messages and
// its extension is the only hint for PICT.
SourceImage decodeImage(std::string_view data, const std::filesystem::path& path);

// Decodes every pixel once, so that a query refuses a damaged file as a conversion would.
void checkPixels(const SourceImage& src, const std::filesystem::path& path);

// The pixels turned as the orientation tag says.
vips::VImage upright(const SourceImage& src);

// Encodes the image as the given format into the (uncommitted) output file. jpegSource, when
// given, is a JPEG file holding exactly these pixels, which PDF can embed as it is.
void writeImage(vips::VImage image, Format format, const FormatOptions& options,
                vorpel::AtomicFile& out, const std::filesystem::path* jpegSource = nullptr);

// libvips' error text on one line.
std::string vipsReason(const std::exception& e);

} // namespace sips

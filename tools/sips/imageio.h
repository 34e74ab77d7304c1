#pragma once

#include "formats.h"
#include "platform/atomicfile.h"

#include <Magick++.h>

#include <filesystem>
#include <optional>
#include <string>

namespace sips {

struct SourceImage {
    Magick::Image image;          // first frame, as stored (not yet auto-oriented)
    std::string formatName;       // "png", "icns", ... for --getProperty format
    std::optional<Format> format; // nullopt when sips cannot write the source's format
};

// Reads a whole image file; throws ToolError with a readable reason for anything else.
SourceImage loadImage(const std::filesystem::path& path);
// The same for bytes already in memory; path names them in messages and its extension is the
// only hint for PICT.
SourceImage decodeImage(const Magick::Blob& blob, const std::filesystem::path& path);

// Encodes the image as the given format into the (uncommitted) output file. Changes the image on
// the way (colour space, alpha, settings): pass one nothing else refers to, or Magick++ copies
// its pixels.
void writeImage(Magick::Image& image, Format format, const FormatOptions& options,
                vorpel::AtomicFile& out);

// ImageMagick's exception text without its "client: " prefix and " @ source" suffix.
std::string magickReason(const std::exception& e);

} // namespace sips

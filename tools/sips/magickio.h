#pragma once

#include "formats.h"

#include <Magick++.h>
#include <vips/vips8>

#include <filesystem>
#include <string>
#include <string_view>

namespace sips {

// Formats libvips has no coder for (BMP, PSD and PICT reading, PICT writing) go through
// ImageMagick, started only when one of them is met.
void startMagick();

// First frame (composite of a layered file), upright. Throws ToolError with a readable reason.
Magick::Image decodeWithMagick(const Magick::Blob& blob, const std::filesystem::path& path);

// The pixels as 8- or 16-bit sRGB, grey or RGBA; an alpha channel that is opaque everywhere is
// left out, as ImageMagick's own writers would.
vips::VImage magickToVips(Magick::Image& img);

// Encodes an 8-bit RGB or grey image with ImageMagick's coder for the format into fd.
void writeWithMagick(const vips::VImage& image, const FormatInfo& info, int fd);

// ImageMagick's exception text without its "client: " prefix and " @ source" suffix, one line.
std::string magickReason(const std::exception& e);

} // namespace sips

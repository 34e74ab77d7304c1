#pragma once

#include <vips/vips8>

#include <filesystem>

namespace sips {

// One PDF page the size of the image (one pixel per point): an 8-bit grey or RGB image, alpha
// as a soft mask, Flate-compressed; or, when jpegFile is given, that JPEG embedded as it is
// (it must hold the image's pixels).
void writePdf(const vips::VImage& image, int fd, const std::filesystem::path* jpegFile);

} // namespace sips

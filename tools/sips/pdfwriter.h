#pragma once

#include <Magick++.h>

#include <string>

namespace sips {

// One PDF page the size of the image (one pixel per point), the pixels embedded losslessly.
// ImageMagick's PDF coder is disabled by the system policy, so Qt writes it. QPainter needs a
// QGuiApplication (the offscreen platform will do) to exist while this runs.
std::string encodePdf(const Magick::Image& image);

} // namespace sips

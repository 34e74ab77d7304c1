// sips' decode path on the fuzz input: libvips, the icon-family reader or ImageMagick, as
// loadImage, with every pixel decoded.
#include "imageio.h"

#include <Magick++.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string_view>

extern "C" int LLVMFuzzerInitialize(int*, char*** argv) {
    sips::startEngine((*argv)[0]);
    Magick::InitializeMagick((*argv)[0]);
    // Keep a decoded bomb from eating the machine; sips itself runs with the system's limits.
    Magick::ResourceLimits::memory(256u << 20);
    Magick::ResourceLimits::map(256u << 20);
    Magick::ResourceLimits::disk(0);
    Magick::ResourceLimits::width(16384);
    Magick::ResourceLimits::height(16384);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    try {
        const sips::SourceImage src = sips::decodeImage(
            std::string_view(reinterpret_cast<const char*>(data), size), "input");
        // libvips has no pixel limit of its own: a huge header would decode for minutes.
        if (double(src.image.width()) * src.image.height() > 4096.0 * 4096.0) return 0;
        sips::checkPixels(src, "input");
    } catch (const std::exception&) {
    }
    return 0;
}

// sips' decode path on the fuzz input: the icon-family reader or ImageMagick, as loadImage.
#include "imageio.h"

#include <Magick++.h>

#include <cstddef>
#include <cstdint>
#include <exception>

extern "C" int LLVMFuzzerInitialize(int*, char*** argv) {
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
        Magick::Blob blob(data, size);
        sips::SourceImage src = sips::decodeImage(blob, "input");
        (void)src.image.columns();
    } catch (const std::exception&) {
    }
    return 0;
}

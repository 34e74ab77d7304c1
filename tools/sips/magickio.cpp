#include "magickio.h"

#include "platform/toolerror.h"

#include <glib.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace sips {
namespace {

using vorpel::ToolError;

bool isUnrecognised(const std::string& reason) {
    return reason.find("no decode delegate") != std::string::npos ||
           reason.find("improper image header") != std::string::npos ||
           reason.find("not authorized") != std::string::npos;
}

bool isForbidden(const std::string& reason) {
    return reason.find("security policy") != std::string::npos;
}

} // namespace

void startMagick() {
    static std::once_flag once;
    std::call_once(once, [] { Magick::InitializeMagick(nullptr); });
}

std::string magickReason(const std::exception& e) {
    std::string s = e.what();
    if (const size_t at = s.find(" @ "); at != std::string::npos) s.erase(at);
    if (const size_t colon = s.find(": "); colon != std::string::npos && colon < 40)
        s.erase(0, colon + 2);
    // Some delegates end their text with a line break: the report stays one line.
    std::string line;
    for (const char c : s) {
        const bool blank = c == '\n' || c == '\r' || c == '\t' || c == ' ';
        if (blank && (line.empty() || line.back() == ' ')) continue;
        line += blank ? ' ' : c;
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

Magick::Image decodeWithMagick(const Magick::Blob& blob, const fs::path& path) {
    startMagick();
    Magick::Image img;
    // Warnings are thrown after the pixels are read: only damaged data is worth refusing.
    img.quiet(false);
    img.subRange(1); // first frame of an animation, composite of a layered PSD
    bool read = false;
    try {
        img.read(blob);
        read = true;
    } catch (const Magick::WarningCorruptImage& w) {
        throw ToolError(path.string(), "cannot read image: " + magickReason(w));
    } catch (const Magick::Warning&) {
        read = true;
    } catch (const Magick::Exception& e) {
        const std::string reason = magickReason(e);
        // PDF and PostScript: the administrator's policy keeps ImageMagick from reading them.
        if (isForbidden(reason))
            throw ToolError(path.string(),
                            "not an image file sips can read (format blocked by the system's "
                            "ImageMagick policy)");
        if (!isUnrecognised(reason)) throw ToolError(path.string(), "cannot read image: " + reason);
    }
    if (!read) {
        // PICT files carry no signature ImageMagick trusts; their extension is the only hint.
        const std::string ext = toLower(path.extension().string());
        if (ext != ".pict" && ext != ".pct" && ext != ".pic")
            throw ToolError(path.string(), "not an image file (unknown or unsupported format)");
        try {
            img = Magick::Image();
            img.magick("PICT");
            img.read(blob);
        } catch (const Magick::Exception& e) {
            throw ToolError(path.string(), "cannot read image: " + magickReason(e));
        }
    }
    img.quiet(true); // warnings of later steps stay quiet
    const auto orientation = img.orientation();
    if (orientation != Magick::UndefinedOrientation && orientation != Magick::TopLeftOrientation)
        img.autoOrient();
    img.repage(); // drop the canvas offset of an animation frame
    return img;
}

vips::VImage magickToVips(Magick::Image& img) {
    if (img.colorSpace() != Magick::sRGBColorspace && img.colorSpace() != Magick::RGBColorspace)
        img.colorSpace(Magick::sRGBColorspace);
    MagickCore::ExceptionInfo* ex = MagickCore::AcquireExceptionInfo();
    const bool alpha =
        img.matte() && MagickCore::IsOpaqueImage(img.constImage(), ex) == MagickCore::MagickFalse;
    MagickCore::DestroyExceptionInfo(ex);
    const bool deep = img.depth() > 8;
    const int w = static_cast<int>(img.columns());
    const int h = static_cast<int>(img.rows());
    const int bands = alpha ? 4 : 3;
    const size_t size = size_t(w) * size_t(h) * size_t(bands) * (deep ? 2 : 1);
    void* pixels = g_malloc(size);
    try {
        img.write(0, 0, size_t(w), size_t(h), alpha ? "RGBA" : "RGB",
                  deep ? Magick::ShortPixel : Magick::CharPixel, pixels);
    } catch (...) {
        g_free(pixels);
        throw;
    }
    vips::VImage out = vips::VImage::new_from_memory_steal(
        pixels, size, w, h, bands, deep ? VIPS_FORMAT_USHORT : VIPS_FORMAT_UCHAR);
    return out.copy(vips::VImage::option()->set(
        "interpretation", deep ? VIPS_INTERPRETATION_RGB16 : VIPS_INTERPRETATION_sRGB));
}

void writeWithMagick(const vips::VImage& image, const FormatInfo& info, int outFd) {
    startMagick();
    size_t size = 0;
    void* pixels = image.write_to_memory(&size);
    Magick::Image img;
    try {
        img.read(size_t(image.width()), size_t(image.height()), image.bands() == 1 ? "I" : "RGB",
                 Magick::CharPixel, pixels);
    } catch (...) {
        g_free(pixels);
        throw;
    }
    g_free(pixels);
    img.magick(info.coder);
    // Magick++ only writes to names or blobs, so this goes through MagickCore with a stream we
    // own (on a duplicate, as closing it closes the descriptor).
    const int fd = ::dup(outFd);
    FILE* file = fd < 0 ? nullptr : ::fdopen(fd, "wb");
    if (file == nullptr) {
        const int err = errno;
        if (fd >= 0) ::close(fd);
        throw ToolError({}, vorpel::errnoText(err));
    }
    img.fileName(std::string(info.coder) + ":output"); // selects the coder; the stream is used
    MagickCore::ImageInfo* writeInfo = MagickCore::CloneImageInfo(img.constImageInfo());
    writeInfo->file = file;
    MagickCore::CopyMagickString(writeInfo->filename, img.fileName().c_str(), MaxTextExtent);
    const bool written = MagickCore::WriteImage(writeInfo, img.image()) != MagickCore::MagickFalse;
    MagickCore::DestroyImageInfo(writeInfo);
    const bool flushed = std::fflush(file) == 0;
    std::fclose(file);
    if (!written) {
        const MagickCore::ExceptionInfo& e = img.constImage()->exception;
        std::string reason = e.reason ? e.reason : "encoder failed";
        if (e.description) reason += std::string(" (") + e.description + ")";
        throw ToolError({}, std::string("cannot write ") + info.name + ": " + reason);
    }
    if (!flushed) throw ToolError({}, vorpel::errnoText(errno));
    struct stat st {};
    if (::fstat(outFd, &st) != 0 || st.st_size == 0)
        throw ToolError({}, std::string("cannot write ") + info.name);
}

} // namespace sips

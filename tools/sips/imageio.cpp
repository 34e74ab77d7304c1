#include "imageio.h"

#include "icnsreader.h"
#include "pdfwriter.h"
#include "platform/toolerror.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace sips {
namespace {

using vorpel::ToolError;

// The whole file in a blob that owns the buffer: large files are not copied a second time.
Magick::Blob readWholeFile(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw ToolError(path.string(), vorpel::errnoText(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) throw ToolError(path.string(), vorpel::errnoText(errno));
    if (S_ISDIR(st.st_mode)) throw ToolError(path.string(), "is a folder, not an image file");
    if (!S_ISREG(st.st_mode)) throw ToolError(path.string(), "not a regular file");
    if (st.st_size == 0) throw ToolError(path.string(), "empty file, not an image");
    const auto size = static_cast<size_t>(st.st_size);
    auto buffer = std::make_unique<char[]>(size);
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, buffer.get() + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw ToolError(path.string(), vorpel::errnoText(errno));
        if (n == 0) break;
        got += size_t(n);
    }
    if (got == 0) throw ToolError(path.string(), "empty file, not an image");
    Magick::Blob blob;
    blob.updateNoCopy(buffer.release(), got, Magick::Blob::NewAllocator);
    return blob;
}

bool isUnrecognised(const std::string& reason) {
    return reason.find("no decode delegate") != std::string::npos ||
           reason.find("improper image header") != std::string::npos ||
           reason.find("not authorized") != std::string::npos;
}

bool isForbidden(const std::string& reason) {
    return reason.find("security policy") != std::string::npos;
}

Magick::Image decodeWithMagick(const Magick::Blob& blob, const fs::path& path) {
    Magick::Image img;
    // Warnings are thrown after the pixels are read: only damaged data is worth refusing.
    img.quiet(false);
    img.subRange(1); // first frame of an animation, composite of a layered PSD
    try {
        img.read(blob);
        img.quiet(true);
        return img;
    } catch (const Magick::WarningCorruptImage& w) {
        // A cut-short JPEG decodes to grey rows where its data ended.
        throw ToolError(path.string(), "cannot read image: " + magickReason(w));
    } catch (const Magick::Warning&) {
        img.quiet(true); // warnings of later steps stay quiet
        return img;
    } catch (const Magick::Exception& e) {
        const std::string reason = magickReason(e);
        // PDF and PostScript: the administrator's policy keeps ImageMagick from reading them.
        if (isForbidden(reason))
            throw ToolError(path.string(),
                            "not an image file sips can read (format blocked by the system's "
                            "ImageMagick policy)");
        if (!isUnrecognised(reason)) throw ToolError(path.string(), "cannot read image: " + reason);
    }
    // PICT files carry no signature ImageMagick trusts; their extension is the only hint.
    const std::string ext = toLower(path.extension().string());
    if (ext == ".pict" || ext == ".pct" || ext == ".pic") {
        try {
            Magick::Image pict;
            pict.quiet(true);
            pict.magick("PICT");
            pict.read(blob);
            return pict;
        } catch (const Magick::Exception& e) {
            throw ToolError(path.string(), "cannot read image: " + magickReason(e));
        }
    }
    throw ToolError(path.string(), "not an image file (unknown or unsupported format)");
}

void applyQuality(Magick::Image& img, Format format, const FormatOptions& o) {
    switch (format) {
    case Format::Jpeg:
        img.quality(static_cast<size_t>(o.quality));
        // Optimised Huffman tables need a second pass over the picture (a third longer) for
        // a file about a sixth smaller; the pixels are the same either way.
        img.defineValue("jpeg", "optimize-coding", "false");
        break;
    case Format::Jp2:
        // The JP2 coder reads quality as a target PSNR in dB, except 100: the reversible,
        // lossless transform.
        img.quality(o.quality >= 100 ? 100 : static_cast<size_t>(25 + o.quality / 4));
        break;
    case Format::Png:
        // zlib level 1 with adaptive filtering: several times faster than the default level 7
        // on photographs for files only a few percent larger.
        img.defineValue("png", "compression-level", "1");
        img.defineValue("png", "compression-filter", "5");
        img.defineValue("png", "compression-strategy", "0");
        break;
    case Format::Tiff: {
        // Uncompressed unless asked: a JPEG-compressed source must not stay lossy.
        const TiffCompression c = o.tiffCompression.value_or(TiffCompression::None);
        img.compressType(c == TiffCompression::Lzw        ? Magick::LZWCompression
                         : c == TiffCompression::PackBits ? Magick::RLECompression
                         : c == TiffCompression::Zip      ? Magick::ZipCompression
                                                          : Magick::NoCompression);
        break;
    }
    case Format::Bmp:
        img.compressType(Magick::NoCompression); // RLE BMPs are not read everywhere
        break;
    case Format::Psd:
        // ImageMagick writes palette PSDs that no reader (itself included) accepts.
        if (img.classType() == Magick::PseudoClass)
            img.type(img.matte() ? Magick::TrueColorMatteType : Magick::TrueColorType);
        img.compressType(Magick::RLECompression);
        break;
    case Format::Pict:
        // An embedded ICC profile makes ImageMagick write a PICT with truncated pixel data.
        img.profile("ICC", Magick::Blob());
        break;
    case Format::Gif:
        break;
    case Format::Pdf:
        break;
    }
}

} // namespace

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
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

SourceImage loadImage(const fs::path& path) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (st.type() == fs::file_type::not_found)
        throw ToolError(path.string(), vorpel::errnoText(ENOENT));
    if (st.type() == fs::file_type::directory)
        throw ToolError(path.string(), "is a folder, not an image file");
    // Opening a pipe or a device could block or read forever.
    if (st.type() != fs::file_type::regular && st.type() != fs::file_type::unknown)
        throw ToolError(path.string(), "not a regular file");

    return decodeImage(readWholeFile(path), path);
}

SourceImage decodeImage(const Magick::Blob& blob, const fs::path& path) {
    const std::string_view data(static_cast<const char*>(blob.data()), blob.length());
    if (looksLikeIcns(data)) return {decodeIcns(data, path.string()), "icns", std::nullopt};

    Magick::Image img = decodeWithMagick(blob, path);
    if (img.columns() == 0 || img.rows() == 0)
        throw ToolError(path.string(), "image has no pixels");
    const std::optional<Format> format = formatFromCoder(img.magick());
    const std::string name = format ? formatInfo(*format).name : toLower(img.magick());
    return {std::move(img), name, format};
}

void writeImage(Magick::Image& img, Format format, const FormatOptions& options,
                vorpel::AtomicFile& out) {
    const FormatInfo& info = formatInfo(format);
    // CMYK stays only in the print formats: many viewers show CMYK JPEGs with wrong colours.
    if (img.colorSpace() == Magick::CMYKColorspace && format != Format::Tiff &&
        format != Format::Psd)
        img.colorSpace(Magick::sRGBColorspace);
    if (!info.keepsAlpha && img.matte()) {
        img.backgroundColor(Magick::Color("white"));
        img.alphaChannel(Magick::RemoveAlphaChannel);
        img.matte(false);
    }
    if (format == Format::Pdf) {
        out.write(encodePdf(img));
        return;
    }

    applyQuality(img, format, options);
    img.magick(info.coder);
    // Straight into the temporary file: an in-memory blob of a large picture costs more time
    // than the encoding. Magick++ only writes to names or blobs, so this goes through MagickCore
    // with a stream we own (on a duplicate, as closing it closes the descriptor).
    const int fd = ::dup(out.fd());
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
        const MagickCore::ExceptionInfo& ex = img.constImage()->exception;
        std::string reason = ex.reason ? ex.reason : "encoder failed";
        if (ex.description) reason += std::string(" (") + ex.description + ")";
        throw ToolError({}, std::string("cannot write ") + info.name + ": " + reason);
    }
    if (!flushed) throw ToolError({}, vorpel::errnoText(errno));
    struct stat st {};
    if (::fstat(out.fd(), &st) != 0 || st.st_size == 0)
        throw ToolError({}, std::string("cannot write ") + info.name);
}

} // namespace sips

#include "imageio.h"

#include "icnsreader.h"
#include "magickio.h"
#include "pdfwriter.h"
#include "rowwriters.h"
#include "platform/toolerror.h"

#include <gmodule.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace sips {
namespace {

using vips::VImage;
using vorpel::ToolError;

// The files libvips decodes itself; everything else goes to ImageMagick.
enum class Kind { Jpeg, Png, Gif, Tiff, Jp2, Webp, Heif, Icns, Other };

bool startsWith(std::string_view data, size_t at, std::string_view magic) {
    return data.size() >= at + magic.size() && data.compare(at, magic.size(), magic) == 0;
}

Kind sniff(std::string_view head) {
    using namespace std::string_view_literals;
    if (startsWith(head, 0, "\xff\xd8\xff"sv)) return Kind::Jpeg;
    if (startsWith(head, 0, "\x89PNG\r\n\x1a\n"sv)) return Kind::Png;
    if (startsWith(head, 0, "GIF87a"sv) || startsWith(head, 0, "GIF89a"sv)) return Kind::Gif;
    if (startsWith(head, 0, "II*\0"sv) || startsWith(head, 0, "MM\0*"sv) ||
        startsWith(head, 0, "II+\0"sv) || startsWith(head, 0, "MM\0+"sv))
        return Kind::Tiff;
    if (startsWith(head, 0, "\0\0\0\x0cjP  \r\n\x87\n"sv) ||
        startsWith(head, 0, "\xff\x4f\xff\x51"sv))
        return Kind::Jp2;
    if (startsWith(head, 0, "RIFF"sv) && startsWith(head, 8, "WEBP"sv)) return Kind::Webp;
    if (startsWith(head, 4, "ftyp"sv)) {
        for (const auto brand : {"heic"sv, "heix"sv, "hevc"sv, "heim"sv, "heis"sv, "mif1"sv,
                                 "msf1"sv, "avif"sv})
            if (startsWith(head, 8, brand)) return Kind::Heif;
    }
    if (looksLikeIcns(head)) return Kind::Icns;
    return Kind::Other;
}

struct KindInfo {
    const char* name;
    std::optional<Format> format;
};

KindInfo kindInfo(Kind k) {
    switch (k) {
    case Kind::Jpeg: return {"jpeg", Format::Jpeg};
    case Kind::Png: return {"png", Format::Png};
    case Kind::Gif: return {"gif", Format::Gif};
    case Kind::Tiff: return {"tiff", Format::Tiff};
    case Kind::Jp2: return {"jp2", Format::Jp2};
    case Kind::Webp: return {"webp", std::nullopt};
    case Kind::Heif: return {"heif", std::nullopt};
    case Kind::Icns: return {"icns", std::nullopt};
    case Kind::Other: break;
    }
    return {"", std::nullopt};
}

// Loads libvips' HEIF module, which start-up leaves out, from beside libvips itself.
void loadHeifModule() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (vips_type_find("VipsOperation", "heifload_source") != 0) return; // built in
        Dl_info info{};
        if (::dladdr(reinterpret_cast<void*>(&vips_init), &info) == 0 || !info.dli_fname) return;
        const fs::path module = fs::path(info.dli_fname).parent_path() /
                                ("vips-modules-" + std::to_string(VIPS_MAJOR_VERSION) + "." +
                                 std::to_string(VIPS_MINOR_VERSION)) /
                                "vips-heif.so";
        // Opening runs the module's initialiser, which registers its operations.
        if (GModule* m = g_module_open(module.c_str(), G_MODULE_BIND_LAZY))
            g_module_make_resident(m);
    });
}

VImage loadWithVips(Kind kind, const vips::VSource& source, VipsAccess access) {
    vips::VOption* o =
        VImage::option()->set("access", access)->set("fail_on", VIPS_FAIL_ON_ERROR);
    switch (kind) {
    case Kind::Jpeg: return VImage::jpegload_source(source, o);
    case Kind::Png: return VImage::pngload_source(source, o);
    case Kind::Gif: return VImage::gifload_source(source, o);
    case Kind::Tiff: return VImage::tiffload_source(source, o);
    case Kind::Jp2: return VImage::jp2kload_source(source, o);
    case Kind::Webp: return VImage::webpload_source(source, o);
    case Kind::Heif:
        loadHeifModule();
        return VImage::heifload_source(source, o);
    default: break;
    }
    delete o;
    throw ToolError({}, "no decoder");
}

// Opens the image through libvips; makeSource gives a fresh source for each attempt.
template <typename MakeSource>
SourceImage openWithVips(Kind kind, MakeSource makeSource, const fs::path& path) {
    const KindInfo info = kindInfo(kind);
    SourceImage src;
    src.formatName = info.name;
    src.format = info.format;
    try {
        // GIF frames are decoded whole anyway, and its alpha is looked at below.
        src.image =
            loadWithVips(kind, makeSource(), kind == Kind::Gif ? VIPS_ACCESS_RANDOM
                                                               : VIPS_ACCESS_SEQUENTIAL);
        src.orientation = vips_image_get_orientation(src.image.get_image());
        // Turning needs the whole picture at hand, not a stream of rows.
        if (src.orientation > 1 && src.orientation <= 8)
            src.image = loadWithVips(kind, makeSource(), VIPS_ACCESS_RANDOM);
        else
            src.orientation = 1;
        // libvips always gives GIF an alpha channel; an opaque frame has none.
        if (kind == Kind::Gif && src.image.bands() == 4 && src.image.extract_band(3).min() >= 255)
            src.image = src.image.extract_band(0, VImage::option()->set("n", 3));
    } catch (const vips::VError& e) {
        throw ToolError(path.string(), "cannot read image: " + vipsReason(e));
    }
    if (src.image.width() <= 0 || src.image.height() <= 0)
        throw ToolError(path.string(), "image has no pixels");
    src.hasAlpha = src.image.has_alpha();
    return src;
}

SourceImage fromMagick(Magick::Image img, const fs::path& path, bool icns) {
    if (img.columns() == 0 || img.rows() == 0)
        throw ToolError(path.string(), "image has no pixels");
    std::optional<Format> format;
    std::string name = "icns";
    if (!icns) {
        format = formatFromCoder(img.magick());
        name = format ? formatInfo(*format).name : toLower(img.magick());
    }
    SourceImage src;
    src.hasAlpha = img.matte();
    src.image = magickToVips(img);
    src.formatName = name;
    src.format = format;
    return src;
}

SourceImage decodeInMemory(Kind kind, const Magick::Blob& blob, const fs::path& path) {
    const std::string_view data(static_cast<const char*>(blob.data()), blob.length());
    if (kind == Kind::Icns) {
        startMagick();
        return fromMagick(decodeIcns(data, path.string()), path, true);
    }
    return fromMagick(decodeWithMagick(blob, path), path, false);
}

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

// The whole file in a blob that owns the buffer: large files are not copied a second time.
Magick::Blob readWholeFile(int fd, size_t size, const fs::path& path) {
    auto buffer = std::make_unique<char[]>(size);
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, buffer.get() + got, size - got, off_t(got));
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

// A file read through a large buffer. The PNG decoder asks for a few kilobytes at a time,
// each a system call of its own through a plain descriptor source: some ten thousand for a
// large picture.
class BufferedFile {
public:
    static vips::VSource open(int fd) {
        VipsSourceCustom* s = vips_source_custom_new();
        auto* self = new BufferedFile(fd);
        // The decoder keeps the source until the last row is read: it owns the reader.
        g_object_set_data_full(G_OBJECT(s), "sips-reader", self,
                               [](gpointer p) { delete static_cast<BufferedFile*>(p); });
        g_signal_connect(s, "read", G_CALLBACK(onRead), self);
        g_signal_connect(s, "seek", G_CALLBACK(onSeek), self);
        return vips::VSource(VIPS_SOURCE(s), vips::STEAL);
    }

private:
    static constexpr size_t kSize = size_t(1) << 20;

    explicit BufferedFile(int fd) : fd_(fd), buffer_(std::make_unique<char[]>(kSize)) {}
    ~BufferedFile() { ::close(fd_); }

    static gint64 onRead(VipsSourceCustom*, void* into, gint64 length, BufferedFile* self) {
        if (length <= 0) return 0;
        if (self->pos_ < self->start_ || self->pos_ >= self->start_ + self->filled_) {
            ssize_t n;
            do
                n = ::pread(self->fd_, self->buffer_.get(), kSize, off_t(self->pos_));
            while (n < 0 && errno == EINTR);
            if (n < 0) return -1;
            self->start_ = self->pos_;
            self->filled_ = n;
            if (n == 0) return 0;
        }
        const gint64 at = self->pos_ - self->start_;
        const gint64 n = std::min(length, self->filled_ - at);
        std::memcpy(into, self->buffer_.get() + at, size_t(n));
        self->pos_ += n;
        return n;
    }

    static gint64 onSeek(VipsSourceCustom*, gint64 offset, int whence, BufferedFile* self) {
        gint64 base = 0;
        if (whence == SEEK_CUR) base = self->pos_;
        if (whence == SEEK_END) {
            struct stat st {};
            if (::fstat(self->fd_, &st) != 0) return -1;
            base = gint64(st.st_size);
        }
        if (base + offset < 0) return -1;
        self->pos_ = base + offset;
        return self->pos_;
    }

    int fd_;
    std::unique_ptr<char[]> buffer_;
    gint64 start_ = 0, filled_ = 0, pos_ = 0;
};

std::mutex warningLock;
std::string lastWarning; // decoders often explain a failure only in a warning

void keepWarning(const gchar*, GLogLevelFlags, const gchar* message, gpointer) {
    if (message == nullptr) return;
    const std::string_view m = message;
    // libvips' summary ("read gave 2 warnings") says less than the warning itself.
    if (m.find("gave") != std::string_view::npos && m.find("warning") != std::string_view::npos)
        return;
    const std::lock_guard<std::mutex> hold(warningLock);
    if (lastWarning.empty()) lastWarning = message;
}

std::string firstWarning() {
    const std::lock_guard<std::mutex> hold(warningLock);
    return lastWarning;
}

} // namespace

void startEngine(const char* argv0) {
    // libvips loads every module it finds at start-up (ImageMagick, poppler, OpenSlide, JPEG XL,
    // HEIF): some 60 ms of each run for coders this tool does not use. A home whose module
    // folder cannot exist keeps them out; HEIF, the one needed, is loaded when a file asks.
    const char* home = std::getenv("VIPSHOME");
    const std::string saved = home ? home : "";
    ::setenv("VIPSHOME", "/dev/null", 1);
    const int rc = VIPS_INIT(argv0);
    if (home)
        ::setenv("VIPSHOME", saved.c_str(), 1);
    else
        ::unsetenv("VIPSHOME");
    if (rc != 0) throw ToolError({}, "cannot start libvips");
    // Each pipeline is used once: nothing is worth keeping in the operation cache.
    vips_cache_set_max(0);
    g_log_set_handler("VIPS", GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE),
                      keepWarning, nullptr);
}

std::string vipsReason(const std::exception& e) {
    // libvips stacks one line per failing step: the first says most.
    std::string s = e.what();
    if (const size_t nl = s.find('\n'); nl != std::string::npos) {
        std::string rest = s.substr(nl + 1);
        s.erase(nl);
        // "VipsJpeg: ..." under "jpegload_source: ..." is the more precise of the two.
        if (const size_t nl2 = rest.find('\n'); nl2 != std::string::npos) rest.erase(nl2);
        if (s.find("load") != std::string::npos && !rest.empty()) s = rest;
    }
    if (const size_t colon = s.find(": "); colon != std::string::npos && colon < 40)
        s.erase(0, colon + 2);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\r'))
        s.pop_back();
    if (s.empty()) {
        s = firstWarning();
        if (const size_t colon = s.find(": "); colon != std::string::npos && colon < 40)
            s.erase(0, colon + 2);
    }
    if (const size_t nl = s.find('\n'); nl != std::string::npos) s.erase(nl);
    return s.empty() ? "damaged or unsupported data" : s;
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

    Fd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) throw ToolError(path.string(), vorpel::errnoText(errno));
    struct stat info {};
    if (::fstat(file.fd, &info) != 0) throw ToolError(path.string(), vorpel::errnoText(errno));
    if (S_ISDIR(info.st_mode)) throw ToolError(path.string(), "is a folder, not an image file");
    if (!S_ISREG(info.st_mode)) throw ToolError(path.string(), "not a regular file");
    if (info.st_size == 0) throw ToolError(path.string(), "empty file, not an image");

    char head[32] = {};
    const ssize_t n = ::pread(file.fd, head, sizeof head, 0);
    if (n < 0) throw ToolError(path.string(), vorpel::errnoText(errno));
    const Kind kind = sniff(std::string_view(head, size_t(n)));
    if (kind == Kind::Icns || kind == Kind::Other)
        return decodeInMemory(kind, readWholeFile(file.fd, size_t(info.st_size), path), path);

    const int fd = file.fd;
    SourceImage src = openWithVips(
        kind,
        [fd, kind] {
            // Each source reads through its own descriptor, from the start.
            const int own = ::dup(fd);
            if (own < 0) throw ToolError({}, vorpel::errnoText(errno));
            if (kind == Kind::Png) return BufferedFile::open(own);
            ::lseek(own, 0, SEEK_SET);
            vips::VSource s = vips::VSource::new_from_descriptor(own);
            ::close(own);
            return s;
        },
        path);
    if (kind == Kind::Jpeg) src.jpeg = path;
    return src;
}

SourceImage decodeImage(std::string_view data, const fs::path& path) {
    if (data.empty()) throw ToolError(path.string(), "empty file, not an image");
    const Kind kind = sniff(data.substr(0, 32));
    if (kind == Kind::Icns || kind == Kind::Other) {
        startMagick();
        return decodeInMemory(kind, Magick::Blob(data.data(), data.size()), path);
    }
    return openWithVips(
        kind, [data] { return vips::VSource::new_from_memory(data.data(), data.size()); }, path);
}

void checkPixels(const SourceImage& src, const fs::path& path) {
    try {
        (void)src.image.avg();
    } catch (const vips::VError& e) {
        throw ToolError(path.string(), "cannot read image: " + vipsReason(e));
    }
}

VImage upright(const SourceImage& src) {
    if (src.orientation == 1) return src.image;
    return src.image.autorot();
}

namespace {

bool isCmyk(const VImage& img) {
    return img.interpretation() == VIPS_INTERPRETATION_CMYK;
}

bool isGrey(const VImage& img) {
    const VipsInterpretation i = img.interpretation();
    return i == VIPS_INTERPRETATION_B_W || i == VIPS_INTERPRETATION_GREY16 ||
           (img.bands() - (img.has_alpha() ? 1 : 0) == 1);
}

// Colour the writers understand: sRGB or grey, CMYK where the format keeps it, 8 or 16 bits.
VImage normaliseColour(VImage img, bool keepCmyk) {
    const VipsInterpretation i = img.interpretation();
    const bool plain = i == VIPS_INTERPRETATION_sRGB || i == VIPS_INTERPRETATION_RGB16 ||
                       i == VIPS_INTERPRETATION_B_W || i == VIPS_INTERPRETATION_GREY16;
    if (isCmyk(img) && img.bands() >= 4) {
        // CMYK stays only in the print formats: many viewers show CMYK JPEGs with wrong colours.
        if (!keepCmyk) img = img.colourspace(VIPS_INTERPRETATION_sRGB);
    } else if (!plain) {
        const int colours = img.bands() - (img.has_alpha() ? 1 : 0);
        if (colours == 1 || colours == 3) {
            // Many-band and one-band pictures without a colour space label: just say what they are.
            if (i == VIPS_INTERPRETATION_MULTIBAND || i == VIPS_INTERPRETATION_HISTOGRAM ||
                i == VIPS_INTERPRETATION_MATRIX || i == VIPS_INTERPRETATION_FOURIER)
                img = img.copy(VImage::option()->set(
                    "interpretation", colours == 1 ? VIPS_INTERPRETATION_B_W
                                                   : VIPS_INTERPRETATION_sRGB));
            else
                img = img.colourspace(colours == 1 ? VIPS_INTERPRETATION_B_W
                                                   : VIPS_INTERPRETATION_sRGB);
        } else {
            img = img.extract_band(0, VImage::option()->set("n", std::min(img.bands(), 3)));
            img = img.copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
        }
    }
    if (img.format() != VIPS_FORMAT_UCHAR && img.format() != VIPS_FORMAT_USHORT)
        img = img.cast(VIPS_FORMAT_UCHAR);
    return img;
}

VImage toEightBit(VImage img) {
    if (img.format() == VIPS_FORMAT_UCHAR) return img;
    const bool grey = isGrey(img);
    img = img.cast(VIPS_FORMAT_UCHAR, VImage::option()->set("shift", true));
    return img.copy(VImage::option()->set(
        "interpretation", grey ? VIPS_INTERPRETATION_B_W
                               : isCmyk(img) ? VIPS_INTERPRETATION_CMYK : VIPS_INTERPRETATION_sRGB));
}

VImage flattenOntoWhite(VImage img) {
    const double white = img.format() == VIPS_FORMAT_USHORT ? 65535.0 : 255.0;
    const VipsBandFormat format = img.format();
    const VipsInterpretation interpretation = img.interpretation();
    img = img.flatten(VImage::option()
                          ->set("background", std::vector<double>(size_t(img.bands() - 1), white))
                          ->set("max_alpha", white));
    return img.cast(format).copy(VImage::option()->set("interpretation", interpretation));
}

VImage toRgb(VImage img) {
    if (img.bands() - (img.has_alpha() ? 1 : 0) >= 3) return img;
    return img.colourspace(img.format() == VIPS_FORMAT_USHORT ? VIPS_INTERPRETATION_RGB16
                                                               : VIPS_INTERPRETATION_sRGB);
}

// The GIF encoder marks a palette entry transparent even in a picture without alpha, so that
// readers take an opaque picture for a transparent one. Clears the mark of the single frame.
void clearGifTransparency(int fd) {
    unsigned char buf[4096];
    const ssize_t n = ::pread(fd, buf, sizeof buf, 0);
    if (n < 13) return;
    size_t at = 13;
    if (buf[10] & 0x80) at += 3u << ((buf[10] & 7) + 1); // global colour table
    while (at + 3 < size_t(n) && buf[at] == 0x21) {
        if (buf[at + 1] == 0xf9 && buf[at + 2] == 4 && at + 3 < size_t(n)) {
            const unsigned char packed = buf[at + 3] & ~1u;
            writeAt(fd, &packed, 1, off_t(at + 3));
            return;
        }
        at += 2; // then the extension's sub-blocks
        while (at < size_t(n) && buf[at] != 0)
            at += size_t(buf[at]) + 1;
        ++at;
    }
}

// Hands the encoder's bytes to the file, starting their write-out as they come.
class DiskTarget {
public:
    explicit DiskTarget(int fd)
        : fd_(fd), target_(VIPS_TARGET(vips_target_custom_new()), vips::STEAL) {
        VipsTargetCustom* t = VIPS_TARGET_CUSTOM(target_.get_target());
        g_signal_connect(t, "write", G_CALLBACK(onWrite), this);
        g_signal_connect(t, "read", G_CALLBACK(onRead), this);
        g_signal_connect(t, "seek", G_CALLBACK(onSeek), this);
        g_signal_connect(t, "end", G_CALLBACK(onEnd), this);
    }
    DiskTarget(const DiskTarget&) = delete;
    DiskTarget& operator=(const DiskTarget&) = delete;

    const vips::VTarget& target() const { return target_; }

private:
    static gint64 onWrite(VipsTargetCustom*, const void* data, gint64 length, DiskTarget* self) {
        const auto* p = static_cast<const char*>(data);
        gint64 left = length;
        while (left > 0) {
            const ssize_t n = ::write(self->fd_, p, size_t(left));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return -1;
            p += n;
            left -= n;
        }
        wrote(self->fd_, size_t(length));
        return length;
    }

    static gint64 onRead(VipsTargetCustom*, void* buffer, gint64 length, DiskTarget* self) {
        for (;;) {
            const ssize_t n = ::read(self->fd_, buffer, size_t(length));
            if (n < 0 && errno == EINTR) continue;
            return n;
        }
    }

    static gint64 onSeek(VipsTargetCustom*, gint64 offset, int whence, DiskTarget* self) {
        return ::lseek(self->fd_, off_t(offset), whence);
    }

    static int onEnd(VipsTargetCustom*, DiskTarget*) { return 0; }

    int fd_;
    vips::VTarget target_;
};

void saveWithVips(const VImage& img, Format format, const FormatOptions& o, int fd) {
    const DiskTarget disk(fd);
    const vips::VTarget& target = disk.target();
    switch (format) {
    case Format::Jpeg:
        // Optimised Huffman tables need a second pass over the picture (a third longer) for a
        // file about a sixth smaller; the pixels are the same either way.
        img.jpegsave_target(target, VImage::option()->set("Q", o.quality)->set(
                                        "optimize_coding", false));
        return;
    case Format::Png:
        // zlib level 1 with adaptive filtering: several times faster than the default level on
        // photographs, for files some 9 to 17% larger.
        img.pngsave_target(target, VImage::option()
                                       ->set("compression", 1)
                                       ->set("filter", VIPS_FOREIGN_PNG_FILTER_ALL)
                                       ->set("interlace", false));
        return;
    case Format::Tiff: {
        // Uncompressed unless asked: a JPEG-compressed source must not stay lossy.
        const TiffCompression c = o.tiffCompression.value_or(TiffCompression::None);
        img.tiffsave_target(
            target, VImage::option()->set(
                        "compression", c == TiffCompression::Lzw ? VIPS_FOREIGN_TIFF_COMPRESSION_LZW
                                       : c == TiffCompression::PackBits
                                           ? VIPS_FOREIGN_TIFF_COMPRESSION_PACKBITS
                                       : c == TiffCompression::Zip
                                           ? VIPS_FOREIGN_TIFF_COMPRESSION_DEFLATE
                                           : VIPS_FOREIGN_TIFF_COMPRESSION_NONE));
        return;
    }
    case Format::Gif:
        // libimagequant's fastest setting still finds a palette as close as ImageMagick's and
        // GraphicsMagick's (higher PSNR, smaller files on photographs), four times sooner.
        // Without dithering a photograph takes a fifth less time and half the bytes, at a
        // higher PSNR; smooth gradients show bands instead of grain.
        img.gifsave_target(target, VImage::option()->set("effort", 1)->set("dither", 0.0));
        if (!img.has_alpha()) clearGifTransparency(fd);
        return;
    case Format::Jp2:
        // 100 is the reversible, lossless transform; below it a quality factor.
        if (o.quality >= 100)
            img.jp2ksave_target(target, VImage::option()->set("lossless", true));
        else
            img.jp2ksave_target(target, VImage::option()->set("Q", o.quality));
        return;
    default:
        break;
    }
    throw ToolError({}, "no encoder");
}

} // namespace

void writeImage(VImage img, Format format, const FormatOptions& options, vorpel::AtomicFile& out,
                const fs::path* jpegSource) {
    const FormatInfo& info = formatInfo(format);
    try {
        img = normaliseColour(img, format == Format::Tiff || format == Format::Psd);
        if (!info.keepsAlpha && img.has_alpha()) img = flattenOntoWhite(img);
        switch (format) {
        case Format::Jpeg:
        case Format::Png:
        case Format::Tiff:
        case Format::Gif:
        case Format::Jp2:
            saveWithVips(img, format, options, out.fd());
            break;
        case Format::Psd:
            writePsd(img, out.fd());
            break;
        case Format::Bmp:
            writeBmp(toRgb(toEightBit(img)), out.fd());
            break;
        case Format::Pict:
            // Rows of more than 4095 pixels do not fit the format's row length field; what
            // ImageMagick writes then is the best there is.
            if (img.width() <= 4095)
                writePict(toRgb(toEightBit(img)), out.fd());
            else
                writeWithMagick(toRgb(toEightBit(img)), info, out.fd());
            break;
        case Format::Pdf: {
            img = toEightBit(img);
            // Embedding the JPEG as it is loses nothing more; "best" asks for every pixel as
            // decoded, stored losslessly.
            const bool embed = jpegSource && options.quality < 100 && !isCmyk(img);
            writePdf(img, out.fd(), embed ? jpegSource : nullptr);
            break;
        }
        }
    } catch (const vips::VError& e) {
        // Pixels are decoded as they are written: most failures here are damaged input.
        const std::string reason = vipsReason(e);
        const bool writing = reason.find("write") != std::string::npos ||
                             reason.find("space") != std::string::npos;
        throw ToolError({}, (writing ? std::string("cannot write ") + info.name
                                     : std::string("cannot read image")) +
                                ": " + reason);
    }
    struct stat st {};
    if (::fstat(out.fd(), &st) != 0 || st.st_size == 0)
        throw ToolError({}, std::string("cannot write ") + info.name);
}

} // namespace sips

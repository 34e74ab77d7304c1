#include "pdfwriter.h"

#include "rowwriters.h"
#include "platform/toolerror.h"

#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <future>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace sips {
namespace {

using vorpel::ToolError;

// Sequential output that remembers where each object starts, for the cross-reference table.
class PdfOut {
public:
    explicit PdfOut(int fd) : fd_(fd) {}

    void put(std::string_view s) {
        buf_.append(s);
        if (buf_.size() >= (1u << 20)) flush();
    }
    void beginObject(int number) {
        if (offsets_.size() <= size_t(number)) offsets_.resize(size_t(number) + 1, 0);
        offsets_[size_t(number)] = pos_ + buf_.size();
        put(std::to_string(number) + " 0 obj\n");
    }
    uint64_t position() const { return pos_ + buf_.size(); }
    void flush() {
        writeAt(fd_, buf_.data(), buf_.size(), off_t(pos_));
        pos_ += buf_.size();
        buf_.clear();
    }
    void finish(int root, int info) {
        const uint64_t xref = position();
        char line[32];
        put("xref\n0 " + std::to_string(offsets_.size()) + "\n0000000000 65535 f \n");
        for (size_t i = 1; i < offsets_.size(); ++i) {
            std::snprintf(line, sizeof line, "%010llu 00000 n \n",
                          static_cast<unsigned long long>(offsets_[i]));
            put(line);
        }
        put("trailer\n<< /Size " + std::to_string(offsets_.size()) + " /Root " +
            std::to_string(root) + " 0 R /Info " + std::to_string(info) +
            " 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n");
        flush();
    }

private:
    int fd_;
    uint64_t pos_ = 0;
    std::string buf_;
    std::vector<uint64_t> offsets_;
};

class Deflater {
public:
    explicit Deflater(int level) {
        if (deflateInit(&zs_, level) != Z_OK) throw ToolError({}, "cannot start zlib");
    }
    ~Deflater() { deflateEnd(&zs_); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Compresses data (all of it when finishing) onto out.
    void add(const unsigned char* data, size_t size, std::string& out, bool finish = false) {
        zs_.next_in = const_cast<Bytef*>(data);
        zs_.avail_in = static_cast<uInt>(size);
        unsigned char chunk[1 << 16];
        int rc = Z_OK;
        do {
            zs_.next_out = chunk;
            zs_.avail_out = sizeof chunk;
            rc = deflate(&zs_, finish ? Z_FINISH : Z_NO_FLUSH);
            if (rc == Z_STREAM_ERROR) throw ToolError({}, "zlib failed");
            out.append(reinterpret_cast<const char*>(chunk), sizeof chunk - zs_.avail_out);
        } while (zs_.avail_out == 0 || (finish && rc != Z_STREAM_END));
    }

private:
    z_stream zs_{};
};

const char* colourSpace(int colours) {
    return colours == 1 ? "/DeviceGray" : "/DeviceRGB";
}

// The JPEG file as it is, into the stream; returns its length.
uint64_t copyFile(const std::filesystem::path& path, PdfOut& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw ToolError(path.string(), vorpel::errnoText(errno));
    std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* p) {
        ::close(*p);
        delete p;
    });
    std::string chunk(1 << 20, '\0');
    uint64_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw ToolError(path.string(), vorpel::errnoText(errno));
        if (n == 0) break;
        out.put(std::string_view(chunk.data(), size_t(n)));
        total += uint64_t(n);
    }
    return total;
}

} // namespace

void writePdf(const vips::VImage& image, int fd, const std::filesystem::path* jpegFile) {
    const int w = image.width(), h = image.height();
    const bool alpha = image.has_alpha() && !jpegFile;
    const int colours = image.bands() - (image.has_alpha() ? 1 : 0) >= 3 ? 3 : 1;
    const std::string size = std::to_string(w) + " " + std::to_string(h);

    PdfOut out(fd);
    out.put("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n");
    out.beginObject(1);
    out.put("<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
    out.beginObject(2);
    out.put("<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n");
    out.beginObject(3);
    out.put("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + size +
            "] /Resources << /XObject << /Im0 5 0 R >> >> /Contents 4 0 R >>\nendobj\n");
    const std::string draw = "q " + std::to_string(w) + " 0 0 " + std::to_string(h) +
                             " 0 0 cm /Im0 Do Q\n";
    out.beginObject(4);
    out.put("<< /Length " + std::to_string(draw.size()) + " >>\nstream\n" + draw +
            "endstream\nendobj\n");

    out.beginObject(5);
    out.put("<< /Type /XObject /Subtype /Image /Width " + std::to_string(w) + " /Height " +
            std::to_string(h) + " /ColorSpace " + colourSpace(colours) +
            " /BitsPerComponent 8 /Filter " + (jpegFile ? "/DCTDecode" : "/FlateDecode") +
            (alpha ? " /SMask 7 0 R" : "") + " /Length 6 0 R >>\nstream\n");
    const uint64_t start = out.position();
    std::string mask; // compressed alpha, written after the picture
    if (jpegFile) {
        copyFile(*jpegFile, out);
    } else {
        // Level 1 for the colours: the fast setting, as for PNG. Alpha is mostly smooth and a
        // third of the data: level 6 makes it much smaller, on the second core.
        Deflater pixels(1);
        std::unique_ptr<Deflater> alphaDeflater(alpha ? new Deflater(6) : nullptr);
        const int bands = image.bands();
        std::vector<unsigned char> rgb, a;
        std::string compressed;
        forEachStrip(image, [&](int, int rows, const unsigned char* px, size_t skip) {
            const size_t n = size_t(w) * size_t(rows);
            rgb.resize(n * size_t(colours));
            if (alpha) a.resize(n);
            for (int r = 0; r < rows; ++r) {
                const unsigned char* in = px + size_t(r) * skip;
                unsigned char* o = rgb.data() + size_t(r) * size_t(w) * size_t(colours);
                unsigned char* oa = alpha ? a.data() + size_t(r) * size_t(w) : nullptr;
                for (int x = 0; x < w; ++x, in += bands) {
                    // Under a clear mask the colour never shows: plain white packs to nothing,
                    // and is what a reader that ignores the mask shows on paper.
                    const bool clear = oa && in[bands - 1] == 0;
                    for (int c = 0; c < colours; ++c)
                        *o++ = clear ? 255 : in[c];
                    if (oa) *oa++ = in[bands - 1];
                }
            }
            std::future<void> maskDone;
            if (alpha)
                maskDone = std::async(std::launch::async,
                                      [&] { alphaDeflater->add(a.data(), a.size(), mask); });
            compressed.clear();
            pixels.add(rgb.data(), rgb.size(), compressed);
            out.put(compressed);
            if (maskDone.valid()) maskDone.get();
        });
        compressed.clear();
        pixels.add(nullptr, 0, compressed, true);
        out.put(compressed);
        if (alpha) alphaDeflater->add(nullptr, 0, mask, true);
    }
    const uint64_t length = out.position() - start;
    out.put("\nendstream\nendobj\n");
    out.beginObject(6);
    out.put(std::to_string(length) + "\nendobj\n");
    if (alpha) {
        out.beginObject(7);
        out.put("<< /Type /XObject /Subtype /Image /Width " + std::to_string(w) + " /Height " +
                std::to_string(h) +
                " /ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /FlateDecode /Length " +
                std::to_string(mask.size()) + " >>\nstream\n");
        out.put(mask);
        out.put("\nendstream\nendobj\n");
    }
    const int info = alpha ? 8 : 7;
    out.beginObject(info);
    out.put("<< /Producer (VorpelConverter sips) >>\nendobj\n");
    out.finish(1, info);
}

} // namespace sips

#include "rowwriters.h"

#include "platform/toolerror.h"

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace sips {
namespace {

using vorpel::ToolError;

struct StripState {
    const StripFn* fn;
    std::exception_ptr error;
};

int onStrip(VipsRegion* region, VipsRect* area, void* a) {
    auto* state = static_cast<StripState*>(a);
    try {
        const auto* first = reinterpret_cast<const unsigned char*>(
            VIPS_REGION_ADDR(region, area->left, area->top));
        (*state->fn)(area->top, area->height, first, size_t(VIPS_REGION_LSKIP(region)));
        return 0;
    } catch (...) {
        state->error = std::current_exception();
        vips_error("sips", "%s", "stopped");
        return -1;
    }
}

void put16(std::string& s, unsigned v) {
    s += char(v >> 8);
    s += char(v);
}

void put32(std::string& s, uint32_t v) {
    put16(s, v >> 16);
    put16(s, v & 0xffff);
}

void putLe16(std::string& s, unsigned v) {
    s += char(v);
    s += char(v >> 8);
}

void putLe32(std::string& s, uint32_t v) {
    putLe16(s, v & 0xffff);
    putLe16(s, v >> 16);
}

} // namespace

void forEachStrip(const vips::VImage& image, const StripFn& fn) {
    StripState state{&fn, nullptr};
    const int rc = vips_sink_disc(image.get_image(), onStrip, &state);
    if (state.error) {
        vips_error_clear();
        std::rethrow_exception(state.error);
    }
    if (rc != 0) throw vips::VError();
}

namespace {

// Starts the write-out on a thread of its own: the kernel may take milliseconds to queue the
// pages (more when the disk is busy), time the encoder would otherwise stand still.
class Flusher {
public:
    // Takes a duplicate of fd, so that the output may be closed while its pages are queued.
    void request(int fd) {
        const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (own < 0) return;
        int stale = -1;
        {
            const std::lock_guard<std::mutex> hold(lock_);
            if (!started_) {
                started_ = true;
                std::thread([this] { run(); }).detach();
            }
            // A request not yet taken up is covered by this one.
            stale = std::exchange(pending_, own);
        }
        if (stale >= 0) ::close(stale);
        wake_.notify_one();
    }

private:
    [[noreturn]] void run() {
        for (;;) {
            int fd;
            {
                std::unique_lock<std::mutex> hold(lock_);
                wake_.wait(hold, [this] { return pending_ >= 0; });
                fd = std::exchange(pending_, -1);
            }
            // Only starts the write-out; pages already on their way are left alone.
            ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
            ::close(fd);
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    int pending_ = -1;
    bool started_ = false;
};

} // namespace

void wrote(int fd, size_t bytes) {
    constexpr size_t kStep = size_t(4) << 20;
    static size_t unsynced = 0;
    unsynced += bytes;
    if (unsynced < kStep) return;
    // Never destroyed: its thread waits for work until the process ends.
    static Flusher* const flusher = new Flusher;
    flusher->request(fd);
    unsynced = 0;
}

void writeAt(int fd, const void* data, size_t size, off_t offset) {
    const size_t total = size;
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, p, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw ToolError({}, vorpel::errnoText(errno));
        p += n;
        size -= size_t(n);
        offset += n;
    }
    wrote(fd, total);
}

void writeBmp(const vips::VImage& image, int fd) {
    const auto w = uint64_t(image.width()), h = uint64_t(image.height());
    const uint64_t rowBytes = (w * 3 + 3) & ~uint64_t(3);
    constexpr uint32_t kHeader = 54;
    if (w > 0x7fffffff || h > 0x7fffffff || kHeader + rowBytes * h > 0xffffffffu)
        throw ToolError({}, "image too large for BMP (4 GB at most)");
    std::string header = "BM";
    putLe32(header, uint32_t(kHeader + rowBytes * h));
    putLe32(header, 0);
    putLe32(header, kHeader);
    putLe32(header, 40); // BITMAPINFOHEADER
    putLe32(header, uint32_t(w));
    putLe32(header, uint32_t(h)); // positive: bottom row first
    putLe16(header, 1);
    putLe16(header, 24);
    putLe32(header, 0); // no compression: RLE BMPs are not read everywhere
    putLe32(header, uint32_t(rowBytes * h));
    putLe32(header, 2835); // 72 dpi
    putLe32(header, 2835);
    putLe32(header, 0);
    putLe32(header, 0);
    writeAt(fd, header.data(), header.size(), 0);

    const int bands = image.bands();
    std::vector<unsigned char> buf;
    forEachStrip(image, [&](int top, int rows, const unsigned char* px, size_t skip) {
        // The strip's rows lie in the file in reverse order, one after another.
        buf.assign(size_t(rowBytes) * size_t(rows), 0);
        for (int r = 0; r < rows; ++r) {
            const unsigned char* in = px + size_t(r) * skip;
            unsigned char* o = buf.data() + size_t(rows - 1 - r) * rowBytes;
            for (uint64_t x = 0; x < w; ++x, in += bands, o += 3) {
                o[0] = in[2];
                o[1] = in[1];
                o[2] = in[0];
            }
        }
        const uint64_t lastRow = uint64_t(top + rows - 1);
        writeAt(fd, buf.data(), buf.size(), off_t(kHeader + (h - 1 - lastRow) * rowBytes));
    });
}

namespace {

// Apple's PackBits: runs of one byte as (1 - n, byte), other bytes as (n - 1, bytes...).
void packBits(const unsigned char* in, size_t n, std::string& out) {
    size_t i = 0;
    while (i < n) {
        size_t run = 1;
        while (i + run < n && run < 128 && in[i + run] == in[i])
            ++run;
        if (run >= 3) {
            out += char(1 - int(run));
            out += char(in[i]);
            i += run;
            continue;
        }
        // Literal bytes up to the next run of three.
        size_t lit = 0;
        while (i + lit < n && lit < 128) {
            if (i + lit + 2 < n && in[i + lit] == in[i + lit + 1] &&
                in[i + lit] == in[i + lit + 2])
                break;
            ++lit;
        }
        out += char(lit - 1);
        out.append(reinterpret_cast<const char*>(in + i), lit);
        i += lit;
    }
}

void putRect(std::string& s, int w, int h) {
    put16(s, 0);
    put16(s, 0);
    put16(s, unsigned(h));
    put16(s, unsigned(w));
}

} // namespace

void writePict(const vips::VImage& image, int fd) {
    const int w = image.width(), h = image.height();
    if (w > 32767 || h > 32767) throw ToolError({}, "image too large for PICT (32767 pixels a side)");
    const unsigned rowBytes = unsigned(w) * 4;
    if (rowBytes > 0x3fff) throw ToolError({}, "image too wide for PICT (4095 pixels at most)");
    std::string s(512, '\0'); // room for an application's header
    put16(s, 0);               // picture size: too small a field for pictures like these
    putRect(s, w, h);
    put16(s, 0x0011); // version 2
    put16(s, 0x02ff);
    put16(s, 0x0c00); // header
    put16(s, 0xfffe);
    put16(s, 0);
    put32(s, 0x00480000); // 72 dpi
    put32(s, 0x00480000);
    putRect(s, w, h);
    put32(s, 0);
    put16(s, 0x0001); // clip region: the whole picture
    put16(s, 10);
    putRect(s, w, h);
    put16(s, 0x009a); // DirectBitsRect
    put32(s, 0x000000ff);
    put16(s, rowBytes | 0x8000);
    putRect(s, w, h);
    put16(s, 0);          // pixmap version
    put16(s, 4);          // pack type: components apart, PackBits
    put32(s, 0);          // pack size
    put32(s, 0x00480000); // 72 dpi
    put32(s, 0x00480000);
    put16(s, 16); // direct RGB
    put16(s, 32); // bits a pixel
    put16(s, 3);  // components
    put16(s, 8);  // bits a component
    put32(s, 0);
    put32(s, 0);
    put32(s, 0);
    putRect(s, w, h); // source
    putRect(s, w, h); // destination
    put16(s, 0);      // copy
    uint64_t at = 0;
    const int bands = image.bands();
    std::vector<unsigned char> planes(size_t(w) * 3);
    std::string packed;
    forEachStrip(image, [&](int, int rows, const unsigned char* px, size_t skip) {
        for (int r = 0; r < rows; ++r) {
            const unsigned char* in = px + size_t(r) * skip;
            if (rowBytes < 8) {
                // Too short a row to pack: stored as it is, xRGB.
                for (int x = 0; x < w; ++x, in += bands) {
                    s += '\0';
                    s.append(reinterpret_cast<const char*>(in), 3);
                }
                continue;
            }
            for (int x = 0; x < w; ++x, in += bands) {
                planes[size_t(x)] = in[0];
                planes[size_t(w + x)] = in[1];
                planes[size_t(2 * w + x)] = in[2];
            }
            packed.clear();
            packBits(planes.data(), planes.size(), packed);
            // ImageMagick reads a two-byte count when the unpacked components, not rowBytes,
            // exceed 250 bytes; its files and their readers agree on that.
            if (planes.size() > 250)
                put16(s, unsigned(packed.size()));
            else
                s += char(packed.size());
            s += packed;
        }
        if (s.size() > (1u << 20)) {
            writeAt(fd, s.data(), s.size(), off_t(at));
            at += s.size();
            s.clear();
        }
    });
    if ((at + s.size()) % 2 != 0) s += '\0'; // opcodes start on even bytes
    put16(s, 0x00ff);                          // end
    writeAt(fd, s.data(), s.size(), off_t(at));
}

void writePsd(const vips::VImage& image, int fd) {
    const int w = image.width(), h = image.height();
    if (w > 30000 || h > 30000) throw ToolError({}, "image too large for PSD (30000 pixels a side)");
    const bool alpha = image.has_alpha();
    const int channels = image.bands();
    const int colours = channels - (alpha ? 1 : 0);
    const bool cmyk = image.interpretation() == VIPS_INTERPRETATION_CMYK && colours == 4;
    const int mode = cmyk ? 4 : colours >= 3 ? 3 : 1;
    const int written = cmyk ? 4 : colours >= 3 ? 3 : 1; // colour channels in the file
    const int fileChannels = written + (alpha ? 1 : 0);
    const int depth = image.format() == VIPS_FORMAT_USHORT ? 2 : 1;
    const uint64_t plane = uint64_t(w) * uint64_t(h) * uint64_t(depth);

    std::string head = "8BPS";
    put16(head, 1);
    head.append(6, '\0');
    put16(head, unsigned(fileChannels));
    put32(head, uint32_t(h));
    put32(head, uint32_t(w));
    put16(head, unsigned(depth * 8));
    put16(head, unsigned(mode));
    put32(head, 0); // colour mode data
    put32(head, 0); // image resources

    uint64_t layerData = 0; // where the layer's first channel starts
    uint64_t merged = 0;    // where the merged image's pixels start
    if (alpha) {
        std::string info;
        put16(info, 0xffff); // -1: one layer, and the merged image's last channel is its alpha
        put32(info, 0);
        put32(info, 0);
        put32(info, uint32_t(h));
        put32(info, uint32_t(w));
        put16(info, unsigned(fileChannels));
        for (int c = 0; c < fileChannels; ++c) {
            put16(info, c < written ? unsigned(c) : 0xffff);
            put32(info, uint32_t(2 + plane));
        }
        info += "8BIMnorm";
        info += char(255); // opacity
        info += '\0';      // clipping
        info += '\0';      // flags
        info += '\0';
        const std::string name = "\x07Layer 1"; // Pascal string, padded to 4 bytes
        put32(info, uint32_t(8 + name.size()));
        put32(info, 0); // no mask
        put32(info, 0); // no blending ranges
        info += name;
        uint64_t infoLength = info.size() + uint64_t(fileChannels) * (2 + plane);
        const bool pad = infoLength % 2 != 0;
        infoLength += pad ? 1 : 0;
        if (infoLength + 8 > 0xffffffffu) throw ToolError({}, "image too large for PSD");
        put32(head, uint32_t(infoLength + 8)); // layer and mask information
        put32(head, uint32_t(infoLength));
        head += info;
        layerData = head.size();
        // Then the layer's channels, the padding and an empty global mask.
        merged = layerData + uint64_t(fileChannels) * (2 + plane) + (pad ? 1 : 0) + 4;
    } else {
        put32(head, 0);
        merged = head.size();
    }
    merged += 2; // after the compression word (0, raw) of the merged image
    // Every gap left (compression words, padding) is zero, as files read back.
    writeAt(fd, head.data(), head.size(), 0);

    std::vector<unsigned char> buf;
    forEachStrip(image, [&](int top, int rows, const unsigned char* px, size_t skip) {
        const size_t rowBytes = size_t(w) * size_t(depth);
        buf.resize(rowBytes * size_t(rows));
        for (int c = 0; c < fileChannels; ++c) {
            const int band = c < written ? std::min(c, colours - 1) : channels - 1;
            for (int r = 0; r < rows; ++r) {
                unsigned char* o = buf.data() + size_t(r) * rowBytes;
                const unsigned char* row = px + size_t(r) * skip;
                if (depth == 1) {
                    const unsigned char* in = row + band;
                    for (int x = 0; x < w; ++x, in += channels)
                        o[x] = cmyk && c < written ? 255 - *in : *in;
                } else {
                    const auto* in = reinterpret_cast<const uint16_t*>(row) + band;
                    for (int x = 0; x < w; ++x, in += channels) {
                        // PSD stores CMYK as the amount of paper left, big-endian.
                        const unsigned v = cmyk && c < written ? 65535u - *in : *in;
                        o[2 * x] = static_cast<unsigned char>(v >> 8);
                        o[2 * x + 1] = static_cast<unsigned char>(v);
                    }
                }
            }
            const uint64_t at = uint64_t(top) * rowBytes;
            writeAt(fd, buf.data(), buf.size(), off_t(merged + uint64_t(c) * plane + at));
            if (alpha)
                writeAt(fd, buf.data(), buf.size(),
                        off_t(layerData + uint64_t(c) * (2 + plane) + 2 + at));
        }
    });
}

} // namespace sips

#include "media.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cstdint>
#include <memory>

namespace textutil {

std::string sniffMimeType(std::string_view d) {
    auto starts = [&](std::string_view p) { return d.substr(0, p.size()) == p; };
    if (starts("\x89PNG\r\n\x1a\n")) return "image/png";
    if (starts("\xFF\xD8\xFF")) return "image/jpeg";
    if (starts("GIF87a") || starts("GIF89a")) return "image/gif";
    if (starts("BM") && d.size() > 26) return "image/bmp";
    if (starts("II*") || starts("MM\0*")) return "image/tiff";
    if (starts("%PDF")) return "application/pdf";
    if (d.size() > 12 && starts("RIFF") && d.substr(8, 4) == "WEBP") return "image/webp";
    if (starts("<svg") || (starts("<?xml") && d.substr(0, 512).find("<svg") != std::string_view::npos))
        return "image/svg+xml";
    return "application/octet-stream";
}

std::string mimeForExtension(std::string_view ext) {
    std::string e(ext);
    std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return std::tolower(c); });
    if (e == "png") return "image/png";
    if (e == "jpg" || e == "jpeg") return "image/jpeg";
    if (e == "gif") return "image/gif";
    if (e == "bmp") return "image/bmp";
    if (e == "tif" || e == "tiff") return "image/tiff";
    if (e == "pdf") return "application/pdf";
    if (e == "svg") return "image/svg+xml";
    if (e == "webp") return "image/webp";
    if (e == "css") return "text/css";
    if (e == "js") return "text/javascript";
    return "application/octet-stream";
}

std::string extensionForMime(std::string_view mime) {
    if (mime == "image/png") return "png";
    if (mime == "image/jpeg") return "jpg";
    if (mime == "image/gif") return "gif";
    if (mime == "image/bmp") return "bmp";
    if (mime == "image/tiff") return "tiff";
    if (mime == "application/pdf") return "pdf";
    if (mime == "image/svg+xml") return "svg";
    if (mime == "image/webp") return "webp";
    return "bin";
}

bool isImageMime(std::string_view mime) { return mime.substr(0, 6) == "image/"; }

static uint32_t be16(std::string_view d, size_t i) {
    return (uint32_t(uint8_t(d[i])) << 8) | uint8_t(d[i + 1]);
}
static uint32_t be32(std::string_view d, size_t i) { return (be16(d, i) << 16) | be16(d, i + 2); }
static uint32_t le16(std::string_view d, size_t i) {
    return uint32_t(uint8_t(d[i])) | (uint32_t(uint8_t(d[i + 1])) << 8);
}

bool imagePixelSize(std::string_view d, int& w, int& h) {
    const std::string mime = sniffMimeType(d);
    if (mime == "image/png" && d.size() >= 24) {
        w = int(be32(d, 16));
        h = int(be32(d, 20));
        return w > 0 && h > 0;
    }
    if (mime == "image/gif" && d.size() >= 10) {
        w = int(le16(d, 6));
        h = int(le16(d, 8));
        return w > 0 && h > 0;
    }
    if (mime == "image/bmp" && d.size() >= 26) {
        w = int(le16(d, 18) | (le16(d, 20) << 16));
        h = std::abs(int32_t(le16(d, 22) | (le16(d, 24) << 16)));
        return w > 0 && h > 0;
    }
    if (mime == "image/jpeg") {
        // Walk the segments to the first start-of-frame marker.
        size_t i = 2;
        while (i + 9 < d.size()) {
            if (uint8_t(d[i]) != 0xFF) return false;
            const uint8_t m = uint8_t(d[i + 1]);
            if (m == 0xFF) { ++i; continue; }
            if (m == 0xD8 || (m >= 0xD0 && m <= 0xD7) || m == 0x01) { i += 2; continue; }
            const uint32_t len = be16(d, i + 2);
            if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) {
                h = int(be16(d, i + 5));
                w = int(be16(d, i + 7));
                return w > 0 && h > 0;
            }
            i += 2 + len;
        }
    }
    return false;
}

static const char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64Encode(std::string_view d) {
    std::string out;
    out.reserve((d.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < d.size(); i += 3) {
        const uint32_t v = (uint32_t(uint8_t(d[i])) << 16) | (uint32_t(uint8_t(d[i + 1])) << 8) | uint8_t(d[i + 2]);
        out += kB64[v >> 18];
        out += kB64[(v >> 12) & 63];
        out += kB64[(v >> 6) & 63];
        out += kB64[v & 63];
    }
    if (i < d.size()) {
        uint32_t v = uint32_t(uint8_t(d[i])) << 16;
        if (i + 1 < d.size()) v |= uint32_t(uint8_t(d[i + 1])) << 8;
        out += kB64[v >> 18];
        out += kB64[(v >> 12) & 63];
        out += i + 1 < d.size() ? kB64[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string base64Decode(std::string_view t) {
    static int8_t rev[256];
    static bool init = [] {
        std::fill(std::begin(rev), std::end(rev), int8_t(-1));
        for (int i = 0; i < 64; ++i) rev[uint8_t(kB64[i])] = int8_t(i);
        rev[uint8_t('-')] = 62;
        rev[uint8_t('_')] = 63;
        return true;
    }();
    (void)init;
    std::string out;
    out.reserve(t.size() * 3 / 4);
    uint32_t acc = 0;
    int bits = 0;
    for (unsigned char c : t) {
        const int v = rev[c];
        if (v < 0) continue;  // whitespace, padding
        acc = (acc << 6) | uint32_t(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((acc >> bits) & 0xFF);
        }
    }
    return out;
}

std::string percentDecode(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(uint8_t(s[i + 1])) && std::isxdigit(uint8_t(s[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string pictureAsPng(std::string_view data) {
    std::unique_ptr<GdkPixbufLoader, void (*)(void*)> loader(gdk_pixbuf_loader_new(), g_object_unref);
    if (!loader || data.empty()) return {};
    const bool read = gdk_pixbuf_loader_write(loader.get(), reinterpret_cast<const guchar*>(data.data()),
                                              data.size(), nullptr);
    // Closed even after a failed write, which it reports again.
    if (!gdk_pixbuf_loader_close(loader.get(), nullptr) || !read) return {};
    GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader.get());  // owned by the loader
    gchar* buf = nullptr;
    gsize size = 0;
    if (!pixbuf || !gdk_pixbuf_save_to_buffer(pixbuf, &buf, &size, "png", nullptr, nullptr)) return {};
    std::string png(buf, size);
    g_free(buf);
    return png;
}

void pictureSize(const Attachment& a, double& w, double& h) {
    w = a.width;
    h = a.height;
    int pw = 0, ph = 0;
    if ((w <= 0 || h <= 0) && imagePixelSize(a.data, pw, ph) && pw > 0 && ph > 0) {
        w = pw * 0.75;
        h = ph * 0.75;
    }
    if (w <= 0 || h <= 0) w = h = 72;
    if (w > kTextWidth) {
        h = h * kTextWidth / w;
        w = kTextWidth;
    }
}

} // namespace textutil

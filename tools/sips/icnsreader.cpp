#include "icnsreader.h"

#include "platform/toolerror.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

// libicns' header has no C++ guards of its own.
extern "C" {
#include <icns.h>
}

namespace sips {
namespace {

uint32_t readBigEndian32(std::string_view data, size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.data() + at);
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

bool startsWith(std::string_view data, size_t at, std::string_view magic) {
    return data.size() >= at + magic.size() && data.compare(at, magic.size(), magic) == 0;
}

// Newer icon types hold a whole PNG or JPEG 2000 file, some of which libicns 0.8 does not know.
bool isEmbeddedFile(std::string_view data, size_t at) {
    using namespace std::string_view_literals;
    return startsWith(data, at, "\x89PNG\r\n\x1a\n"sv) ||
           startsWith(data, at, "\0\0\0\x0cjP  "sv) || startsWith(data, at, "\xff\x4f\xff\x51"sv);
}

// Every element inside the declared length, and that length inside the data.
bool elementsFit(std::string_view data) {
    const size_t total = readBigEndian32(data, 4);
    if (total < 8 || total > data.size()) return false;
    for (size_t at = 8; at < total;) {
        if (at + 8 > total) return false;
        const uint32_t size = readBigEndian32(data, at + 4);
        if (size < 8 || size > total - at) return false;
        at += size;
    }
    return true;
}

struct FamilyDeleter {
    void operator()(icns_family_t* f) const { std::free(f); }
};

std::optional<Magick::Image> decodeLegacy(icns_family_t* family, uint32_t type) {
    const icns_icon_info_t info = icns_get_image_info_for_type(type);
    if (!info.isImage || info.iconWidth == 0 || info.iconHeight == 0) return std::nullopt;
    icns_image_t img{};
    if (icns_get_image32_with_mask_from_family(family, type, &img) != ICNS_STATUS_OK)
        return std::nullopt;
    std::optional<Magick::Image> out;
    if (img.imageChannels == 4 && img.imagePixelDepth == 8 &&
        img.imageDataSize >= uint64_t(img.imageWidth) * img.imageHeight * 4) {
        out.emplace(img.imageWidth, img.imageHeight, "RGBA", Magick::CharPixel, img.imageData);
    }
    icns_free_image(&img);
    return out;
}

std::optional<Magick::Image> decodeEmbedded(std::string_view data, size_t at, size_t size) {
    try {
        Magick::Image img;
        img.quiet(true);
        img.read(Magick::Blob(data.data() + at, size));
        return img;
    } catch (const Magick::Exception&) {
        return std::nullopt;
    }
}

} // namespace

bool looksLikeIcns(std::string_view data) {
    return data.size() >= 8 && data.compare(0, 4, "icns") == 0;
}

Magick::Image decodeIcns(std::string_view data, const std::string& path) {
    icns_set_print_errors(0);
    // libicns leaks its copy of the data when it refuses a family: refuse broken ones first.
    if (!elementsFit(data)) throw vorpel::ToolError(path, "damaged icon file");
    // Only the declared length: libicns refuses (and leaks) data with anything after it.
    const std::string_view family = data.substr(0, readBigEndian32(data, 4));
    std::vector<icns_byte_t> bytes(family.begin(), family.end());
    icns_family_t* raw = nullptr;
    if (icns_import_family_data(static_cast<icns_size_t>(bytes.size()), bytes.data(), &raw) !=
            ICNS_STATUS_OK ||
        raw == nullptr)
        throw vorpel::ToolError(path, "damaged icon file");
    std::unique_ptr<icns_family_t, FamilyDeleter> owned(raw);

    std::optional<Magick::Image> best;
    auto consider = [&best](std::optional<Magick::Image> candidate) {
        if (!candidate) return;
        const size_t area = candidate->columns() * candidate->rows();
        if (!best || area > best->columns() * best->rows()) best = std::move(candidate);
    };

    // Walk the elements ourselves: the header says which types are present.
    const size_t total = std::min<size_t>(data.size(), readBigEndian32(data, 4));
    for (size_t at = 8; at + 8 <= total;) {
        const uint32_t type = readBigEndian32(data, at);
        const uint32_t size = readBigEndian32(data, at + 4);
        if (size < 8 || at + size > total) break;
        if (isEmbeddedFile(data, at + 8)) {
            consider(decodeEmbedded(data, at + 8, size - 8));
        } else {
            consider(decodeLegacy(owned.get(), type));
        }
        at += size;
    }
    if (!best) throw vorpel::ToolError(path, "icon file holds no image that can be read");
    return *best;
}

} // namespace sips

#include "encoding.h"
#include "html.h"
#include "media.h"

#include <plist/plist.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <stdexcept>
#include <vector>

namespace textutil {

namespace {

std::string fileUrl(const std::string& path) {
    std::string out = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || std::strchr("/-_.~", c)) out += static_cast<char>(c);
        else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        }
    }
    return out;
}

plist_t resource(const std::string& url, const std::string& mime, std::string_view data) {
    plist_t r = plist_new_dict();
    plist_dict_set_item(r, "WebResourceURL", plist_new_string(url.c_str()));
    plist_dict_set_item(r, "WebResourceMIMEType", plist_new_string(mime.c_str()));
    plist_dict_set_item(r, "WebResourceData", plist_new_data(data.data(), data.size()));
    return r;
}

using Plist = std::unique_ptr<void, void (*)(plist_t)>;
using Encoded = std::unique_ptr<char, void (*)(char*)>;

// Counts what a writer makes, passing it on when there is somewhere to pass it.
class Counter : public Sink {
public:
    explicit Counter(Sink* to = nullptr) : to_(to) {}
    void write(std::string_view data) override {
        if (to_) to_->write(data);
        size += data.size();
    }
    uint64_t size = 0;

private:
    Sink* to_;
};

uint64_t bigEndian(const unsigned char* p, size_t n) {
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i)
        v = v << 8 | p[i];
    return v;
}

void appendBigEndian(std::string& out, uint64_t v, size_t n) {
    for (size_t i = n; i-- > 0;)
        out += static_cast<char>(v >> (8 * i));
}

// Bytes a binary property list's integer object needs: a power of two.
size_t widthFor(uint64_t v) {
    return v < 1u << 8 ? 1 : v < 1u << 16 ? 2 : v < uint64_t(1) << 32 ? 4 : 8;
}

// Bytes of each entry of the offset table: as few as hold the offset.
size_t offsetWidthFor(uint64_t v) {
    size_t n = 1;
    while (n < 8 && v >> (8 * n))
        ++n;
    return n;
}

// A data object's marker for `size` bytes: the size in the marker when it fits, else after it.
std::string dataMarker(uint64_t size) {
    std::string m;
    if (size < 15) return std::string(1, static_cast<char>(0x40 | size));
    m += static_cast<char>(0x4F);
    const size_t w = widthFor(size);
    m += static_cast<char>(0x10 | (w == 1 ? 0 : w == 2 ? 1 : w == 4 ? 2 : 3));
    appendBigEndian(m, size, w);
    return m;
}

// Stands for the page while the list is encoded; no picture or page has these bytes.
constexpr std::string_view kPlaceholder("\x00\xFFvorpel page\x00\x01\x02\x03\xFE\xFD\xFC\x00", 20);

} // namespace

Output writeWebArchive(const Document& doc, const WriteOptions& opts) {
    // The page's URL names the output; pictures sit beside it under their own names.
    std::string base = opts.outputPath.empty() ? std::string("/") : std::filesystem::absolute(opts.outputPath).parent_path().string();
    if (base.empty() || base.back() != '/') base += '/';
    const std::string stem = opts.outputPath.empty() ? std::string("index") : opts.outputPath.stem().string();
    const std::string mainUrl = fileUrl(base + stem + ".html");

    std::set<int> used;
    // Pictures are referenced relative to the page, which resolves to their subresource URLs.
    html::ImageSource source = [&](int index) -> std::string {
        if (opts.noStore) return {};
        used.insert(index);
        std::string url = fileUrl(doc.attachments[size_t(index)].fileName);
        return url.substr(7);  // "file://" dropped: a relative reference
    };
    auto list = [&](std::string_view page) {
        Plist root(plist_new_dict(), plist_free);
        plist_t main = resource(mainUrl, "text/html", page);
        plist_dict_set_item(main, "WebResourceTextEncodingName",
                            plist_new_string(opts.utf16 ? "UTF-16" : "UTF-8"));
        plist_dict_set_item(main, "WebResourceFrameName", plist_new_string(""));
        plist_dict_set_item(root.get(), "WebMainResource", main);
        if (!used.empty()) {
            plist_t subs = plist_new_array();
            for (int index : used) {
                const Attachment& a = doc.attachments[size_t(index)];
                plist_array_append_item(subs,
                                        resource(fileUrl(base + a.fileName), a.mimeType, a.data));
            }
            plist_dict_set_item(root.get(), "WebSubresources", subs);
        }
        return root;
    };
    auto encode = [](Plist root, uint32_t& len) {
        char* bin = nullptr;
        len = 0;
        plist_to_bin(root.get(), &bin, &len);
        return Encoded(bin, plist_to_bin_free);
    };

    Output o;
    uint32_t len = 0;
    if (!opts.sink || opts.utf16) {
        std::string data = html::render(doc, opts, source, opts.utf16 ? "UTF-16" : "UTF-8");
        if (opts.utf16) data = utf16WithBom(data);
        Plist root = list(data);
        std::string().swap(data); // the list holds its own copy
        const Encoded bin = encode(std::move(root), len);
        // Straight from the encoder's buffer: a long page is not copied once more.
        if (opts.sink) {
            opts.sink->write(std::string_view(bin.get(), len));
            o.streamed = true;
        } else {
            o.data.assign(bin.get(), len);
        }
        return o;
    }

    // A long page is never held: the list is encoded around a placeholder, and the page, made
    // a first time only to count its bytes (and find its pictures), is made again into its
    // place. The offsets after it move by the difference.
    Counter count;
    html::render(doc, opts, source, "UTF-8", &count);
    const Encoded bin = encode(list(kPlaceholder), len);
    const auto* b = reinterpret_cast<const unsigned char*>(bin.get());
    if (!b || len < 40) throw std::runtime_error("cannot encode the archive");
    const unsigned char* trailer = b + len - 32;
    const size_t offsetWidth = trailer[6];
    const uint64_t objects = bigEndian(trailer + 8, 8), table = bigEndian(trailer + 24, 8);
    if (offsetWidth < 1 || offsetWidth > 8 || table + objects * offsetWidth != len - 32u)
        throw std::runtime_error("cannot encode the archive");
    std::vector<uint64_t> offsets(objects);
    const std::string old = dataMarker(kPlaceholder.size()) + std::string(kPlaceholder);
    uint64_t at = 0;
    size_t found = 0;
    for (uint64_t i = 0; i < objects; ++i) {
        offsets[i] = bigEndian(b + table + i * offsetWidth, offsetWidth);
        if (offsets[i] + old.size() <= table &&
            std::memcmp(b + offsets[i], old.data(), old.size()) == 0) {
            at = offsets[i];
            ++found;
        }
    }
    if (found != 1) throw std::logic_error("the page's place in the archive is not known");
    const std::string marker = dataMarker(count.size);
    const uint64_t grown = marker.size() + count.size - old.size();
    Sink& out = *opts.sink;
    out.write(std::string_view(bin.get(), at));
    out.write(marker);
    Counter again(&out);
    html::render(doc, opts, source, "UTF-8", &again);
    if (again.size != count.size)
        throw std::logic_error("the page changed between its two makings");
    out.write(std::string_view(bin.get() + at + old.size(), table - at - old.size()));
    const uint64_t newTable = table + grown;
    const size_t width = offsetWidthFor(newTable);
    std::string tail;
    for (const uint64_t off : offsets)
        appendBigEndian(tail, off > at ? off + grown : off, width);
    tail.append(reinterpret_cast<const char*>(trailer), 6);
    tail += static_cast<char>(width);
    tail.append(reinterpret_cast<const char*>(trailer) + 7, 17);
    appendBigEndian(tail, newTable, 8);
    out.write(tail);
    o.streamed = true;
    return o;
}

} // namespace textutil

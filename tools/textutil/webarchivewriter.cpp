#include "encoding.h"
#include "html.h"
#include "media.h"

#include <plist/plist.h>

#include <cstring>
#include <memory>
#include <set>

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

plist_t resource(const std::string& url, const std::string& mime, const std::string& data) {
    plist_t r = plist_new_dict();
    plist_dict_set_item(r, "WebResourceURL", plist_new_string(url.c_str()));
    plist_dict_set_item(r, "WebResourceMIMEType", plist_new_string(mime.c_str()));
    plist_dict_set_item(r, "WebResourceData", plist_new_data(data.data(), data.size()));
    return r;
}

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
    std::string data = html::render(doc, opts, source, opts.utf16 ? "UTF-16" : "UTF-8");
    if (opts.utf16) data = utf16WithBom(data);

    std::unique_ptr<void, void (*)(plist_t)> root(plist_new_dict(), plist_free);
    plist_t main = resource(mainUrl, "text/html", data);
    std::string().swap(data);  // the list holds its own copy
    plist_dict_set_item(main, "WebResourceTextEncodingName", plist_new_string(opts.utf16 ? "UTF-16" : "UTF-8"));
    plist_dict_set_item(main, "WebResourceFrameName", plist_new_string(""));
    plist_dict_set_item(root.get(), "WebMainResource", main);
    if (!used.empty()) {
        plist_t subs = plist_new_array();
        for (int index : used) {
            const Attachment& a = doc.attachments[size_t(index)];
            plist_array_append_item(subs, resource(fileUrl(base + a.fileName), a.mimeType, a.data));
        }
        plist_dict_set_item(root.get(), "WebSubresources", subs);
    }
    char* bin = nullptr;
    uint32_t len = 0;
    plist_to_bin(root.get(), &bin, &len);
    root.reset();
    std::unique_ptr<char, void (*)(char*)> bytes(bin, plist_to_bin_free);
    Output o;
    // Straight from the encoder's buffer: a long page is not copied once more.
    if (opts.sink) {
        opts.sink->write(std::string_view(bin, len));
        o.streamed = true;
    } else {
        o.data.assign(bin, len);
    }
    return o;
}

} // namespace textutil

#include "html.h"
#include "media.h"

#include <plist/plist.h>

#include <map>
#include <memory>
#include <stdexcept>

namespace textutil {

namespace {

using PlistPtr = std::unique_ptr<void, void (*)(plist_t)>;

std::string stringValue(plist_t dict, const char* key) {
    plist_t n = dict ? plist_dict_get_item(dict, key) : nullptr;
    if (!n || plist_get_node_type(n) != PLIST_STRING) return {};
    // Read in place: the copying getter asserts on a string holding a NUL, and aborts.
    uint64_t len = 0;
    const char* v = plist_get_string_ptr(n, &len);
    return v ? std::string(v, size_t(len)) : std::string();
}

std::string dataValue(plist_t dict, const char* key) {
    plist_t n = dict ? plist_dict_get_item(dict, key) : nullptr;
    if (!n) return {};
    if (plist_get_node_type(n) == PLIST_STRING) return stringValue(dict, key);
    if (plist_get_node_type(n) != PLIST_DATA) return {};
    uint64_t len = 0;
    const char* v = plist_get_data_ptr(n, &len);
    return v ? std::string(v, size_t(len)) : std::string();
}

// Resolves a reference in the page against the page's own URL, as a browser would.
std::string resolveUrl(const std::string& base, const std::string& ref) {
    if (ref.find("://") != std::string::npos) return ref;
    const size_t schemeEnd = base.find("://");
    if (schemeEnd == std::string::npos) return ref;
    if (ref.rfind("//", 0) == 0) return base.substr(0, schemeEnd + 1) + ref;
    const size_t hostEnd = base.find('/', schemeEnd + 3);
    const std::string origin = hostEnd == std::string::npos ? base : base.substr(0, hostEnd);
    if (!ref.empty() && ref[0] == '/') return origin + ref;
    std::string dir = base.substr(0, base.find_first_of("?#"));
    const size_t slash = dir.rfind('/');
    dir = slash == std::string::npos || slash < schemeEnd + 3 ? origin + "/" : dir.substr(0, slash + 1);
    std::string path = dir + ref;
    // Fold "./" and "../" segments.
    size_t p;
    while ((p = path.find("/./")) != std::string::npos) path.erase(p, 2);
    while ((p = path.find("/../")) != std::string::npos && p > origin.size()) {
        const size_t prev = path.rfind('/', p - 1);
        if (prev == std::string::npos || prev < origin.size()) break;
        path.erase(prev, p + 3 - prev);
    }
    return path;
}

} // namespace

bool detectWebArchive(const Input& in) {
    if (in.isFolder) return false;
    const std::string_view d(in.bytes);
    if (d.substr(0, 8) == "bplist00") return d.find("WebMainResource") != std::string_view::npos;
    if (d.substr(0, 5) == "<?xml" || d.substr(0, 6) == "<plist") {
        const std::string_view head = d.substr(0, 4096);
        return head.find("<plist") != std::string_view::npos && d.find("<key>WebMainResource</key>") != std::string_view::npos;
    }
    return false;
}

Document readWebArchive(const Input& in, const ReadOptions& opts) {
    plist_t raw = nullptr;
    plist_from_memory(in.bytes.data(), uint32_t(in.bytes.size()), &raw);
    PlistPtr root(raw, plist_free);
    if (!raw || plist_get_node_type(raw) != PLIST_DICT) throw std::runtime_error("property list is damaged");
    plist_t main = plist_dict_get_item(raw, "WebMainResource");
    if (!main || plist_get_node_type(main) != PLIST_DICT) throw std::runtime_error("no main resource");
    const std::string data = dataValue(main, "WebResourceData");
    const std::string encoding = stringValue(main, "WebResourceTextEncodingName");
    const std::string mainUrl = stringValue(main, "WebResourceURL");
    const std::string mime = stringValue(main, "WebResourceMIMEType");

    std::map<std::string, html::Resource> resources;
    plist_t subs = plist_dict_get_item(raw, "WebSubresources");
    if (subs && plist_get_node_type(subs) == PLIST_ARRAY) {
        for (uint32_t i = 0; i < plist_array_get_size(subs); ++i) {
            plist_t r = plist_array_get_item(subs, i);
            if (!r || plist_get_node_type(r) != PLIST_DICT) continue;
            const std::string url = stringValue(r, "WebResourceURL");
            if (url.empty()) continue;
            resources[url] = html::Resource{dataValue(r, "WebResourceData"), stringValue(r, "WebResourceMIMEType")};
        }
    }
    if (mime == "text/plain") {
        Input text;
        text.bytes = data;
        return readTxt(text, opts);
    }
    html::ResourceLoader loader = [&resources, &mainUrl](const std::string& src) -> std::optional<html::Resource> {
        auto it = resources.find(src);
        if (it == resources.end()) it = resources.find(resolveUrl(mainUrl, src));
        if (it == resources.end()) return std::nullopt;
        return it->second;
    };
    return html::parse(data, opts, encoding, loader);
}

} // namespace textutil

#include "html.h"
#include "media.h"

#include <plist/plist.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

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

// A web archive needs a handful of levels (frames in frames); libplist builds and frees its
// tree recursively, so a list nested a million deep would overflow the stack.
constexpr size_t kMaxNesting = 64;

[[noreturn]] void tooDeep() { throw std::runtime_error("property list is nested too deeply"); }

uint64_t bigEndian(std::string_view d, size_t at, size_t width) {
    uint64_t v = 0;
    for (size_t i = 0; i < width; ++i) v = v << 8 | static_cast<unsigned char>(d[at + i]);
    return v;
}

// Walks the object graph of a binary property list without building it: no path may be deeper
// than kMaxNesting, no object may contain itself, and shared lists may not multiply the tree
// that libplist would build (each reference becomes a copy).
void checkBinaryNesting(std::string_view d) {
    if (d.size() < 8 + 32) throw std::runtime_error("property list is damaged");
    const size_t trailer = d.size() - 32;
    const size_t offsetSize = static_cast<unsigned char>(d[trailer + 6]);
    const size_t refSize = static_cast<unsigned char>(d[trailer + 7]);
    const uint64_t count = bigEndian(d, trailer + 8, 8);
    const uint64_t top = bigEndian(d, trailer + 16, 8);
    const uint64_t table = bigEndian(d, trailer + 24, 8);
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8 || count == 0 || top >= count ||
        table > trailer || count > (trailer - table) / offsetSize)
        throw std::runtime_error("property list is damaged");

    struct Refs {
        size_t start = 0, n = 0;  // n references of refSize bytes from start
    };
    auto refsOf = [&](uint64_t obj) {
        Refs r;
        const uint64_t off = bigEndian(d, size_t(table + obj * offsetSize), offsetSize);
        if (off >= trailer) return r;
        const unsigned char marker = static_cast<unsigned char>(d[off]);
        const int type = marker >> 4;
        if (type != 0xA && type != 0xC && type != 0xD) return r;
        uint64_t n = marker & 0xF;
        size_t at = size_t(off) + 1;
        if (n == 0xF) {
            if (at >= trailer || (static_cast<unsigned char>(d[at]) >> 4) != 1) return r;
            const size_t width = size_t(1) << (d[at] & 0x3);
            if (at + 1 + width > trailer) return r;
            n = bigEndian(d, at + 1, width);
            at += 1 + width;
        }
        if (type == 0xD) n = n > UINT64_MAX / 2 ? UINT64_MAX : n * 2;
        r.start = at;
        r.n = size_t(std::min<uint64_t>(n, (trailer - at) / refSize));
        return r;
    };

    enum : uint8_t { Unseen, Open, Done };
    std::vector<uint8_t> state(size_t(count), Unseen), height(size_t(count), 0);
    std::vector<uint32_t> nodes(size_t(count), 0);  // tree size below each, saturating
    struct Frame {
        uint64_t obj;
        Refs refs;
        size_t next = 0;
        uint64_t nodes = 1;
        uint8_t height = 1;
    };
    std::vector<Frame> stack;
    uint64_t references = 0;
    const uint64_t kNodeCap = UINT32_MAX;
    auto push = [&](uint64_t obj) {
        if (stack.size() >= kMaxNesting) tooDeep();
        state[obj] = Open;
        Frame f{obj, refsOf(obj)};
        references += f.refs.n;
        stack.push_back(f);
    };
    push(top);
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next < f.refs.n) {
            const uint64_t child = bigEndian(d, f.refs.start + f.next * refSize, refSize);
            ++f.next;
            if (child >= count) continue;  // libplist refuses the whole list
            if (state[child] == Open) throw std::runtime_error("property list contains itself");
            if (state[child] == Unseen) {
                push(child);
                continue;
            }
            if (stack.size() + height[child] > kMaxNesting) tooDeep();
            f.height = std::max<uint8_t>(f.height, uint8_t(height[child] + 1));
            f.nodes = std::min(kNodeCap, f.nodes + nodes[child]);
            continue;
        }
        const Frame done = f;
        stack.pop_back();
        state[done.obj] = Done;
        height[done.obj] = done.height;
        nodes[done.obj] = uint32_t(done.nodes);
        if (!stack.empty()) {
            Frame& parent = stack.back();
            parent.height = std::max<uint8_t>(parent.height, uint8_t(done.height + 1));
            parent.nodes = std::min(kNodeCap, parent.nodes + done.nodes);
        }
    }
    if (nodes[top] > references + 1 + 100000) throw std::runtime_error("property list repeats its lists too often");
}

// The same bound for an XML property list. Opening tags are counted everywhere, closing ones
// outside comments and CDATA only, so the count is never below what a parser sees.
void checkXmlNesting(std::string_view d) {
    auto opens = [&](size_t at) {
        for (std::string_view name : {"<array", "<dict"}) {
            if (d.compare(at, name.size(), name) != 0) continue;
            const size_t after = at + name.size();
            if (after < d.size() && d[after] != '>' && d[after] != '/' && !std::isspace(static_cast<unsigned char>(d[after])))
                return false;
            const size_t end = d.find('>', after);
            return end == std::string_view::npos || d[end - 1] != '/';
        }
        return false;
    };
    size_t depth = 0;
    auto open = [&] {
        if (++depth > kMaxNesting) tooDeep();
    };
    for (size_t at = d.find('<'); at != std::string_view::npos; at = d.find('<', at + 1)) {
        std::string_view skipTo;
        if (d.compare(at, 4, "<!--") == 0) skipTo = "-->";
        else if (d.compare(at, 9, "<![CDATA[") == 0) skipTo = "]]>";
        if (!skipTo.empty()) {
            const size_t end = std::min(d.find(skipTo, at), d.size());
            for (size_t i = d.find('<', at + 1); i < end; i = d.find('<', i + 1))
                if (opens(i)) open();
            if (end >= d.size()) break;
            at = end;
            continue;
        }
        if (opens(at)) open();
        else if ((d.compare(at, 7, "</array") == 0 || d.compare(at, 6, "</dict") == 0) && depth > 0) --depth;
    }
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
    if (in.bytes.compare(0, 8, "bplist00") == 0) checkBinaryNesting(in.bytes);
    else checkXmlNesting(in.bytes);
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

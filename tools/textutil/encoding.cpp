#include "encoding.h"

#include <uchardet/uchardet.h>

#include <cctype>
#include <cerrno>
#include <iconv.h>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace textutil {

bool isValidUtf8(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const size_t n = s.size();
    size_t i = 0;
    while (i < n) {
        // Skip ASCII quickly: most documents are mostly ASCII.
        while (i < n && p[i] < 0x80) ++i;
        if (i >= n) break;
        const unsigned char c = p[i];
        size_t len;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) { len = 2; cp = c & 0x1F; }
        else if (c >= 0xE0 && c <= 0xEF) { len = 3; cp = c & 0x0F; }
        else if (c >= 0xF0 && c <= 0xF4) { len = 4; cp = c & 0x07; }
        else return false;
        if (i + len > n) return false;
        for (size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += len;
    }
    return true;
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

uint32_t nextCodepoint(std::string_view s, size_t& pos) {
    const auto c = static_cast<unsigned char>(s[pos]);
    if (c < 0x80) { ++pos; return c; }
    size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
    if (len == 0 || pos + len > s.size()) { ++pos; return 0xFFFD; }
    uint32_t cp = c & (0x3F >> (len - 1));
    for (size_t k = 1; k < len; ++k) {
        const auto d = static_cast<unsigned char>(s[pos + k]);
        if ((d & 0xC0) != 0x80) { ++pos; return 0xFFFD; }
        cp = (cp << 6) | (d & 0x3F);
    }
    pos += len;
    return cp;
}

namespace {

// iconv descriptors are costly to open; RTF switches code pages per font, so keep them.
struct IconvCache {
    std::mutex m;
    std::map<std::pair<std::string, std::string>, iconv_t> open;
    ~IconvCache() {
        for (auto& [k, cd] : open) iconv_close(cd);
    }
    iconv_t get(const std::string& from, const std::string& to) {
        std::lock_guard lock(m);
        auto it = open.find({from, to});
        if (it != open.end()) {
            iconv(it->second, nullptr, nullptr, nullptr, nullptr);
            return it->second;
        }
        iconv_t cd = iconv_open(to.c_str(), from.c_str());
        if (cd == reinterpret_cast<iconv_t>(-1)) return cd;
        open.emplace(std::make_pair(from, to), cd);
        return cd;
    }
};

IconvCache& cache() {
    static IconvCache c;
    return c;
}

} // namespace

bool encodingKnown(const std::string& name) {
    return cache().get("UTF-8", name) != reinterpret_cast<iconv_t>(-1);
}

std::string convertEncoding(std::string_view data, const std::string& from, const std::string& to,
                            bool lossy) {
    iconv_t cd = cache().get(from, to);
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("unknown encoding " + (encodingKnown(from) ? to : from));
    // Room for the usual growth (UTF-16 doubles ASCII, UTF-8 takes 1.5 bytes per UTF-16 byte at
    // most); the loop below grows it when a text needs more.
    std::string out;
    const bool wide = to.rfind("UTF-16", 0) == 0 || to.rfind("UCS-2", 0) == 0;
    const bool wider = to.rfind("UTF-32", 0) == 0 || to.rfind("UCS-4", 0) == 0;
    out.resize(data.size() * (wider ? 4 : wide ? 2 : 1) + (wide || wider ? 0 : data.size() / 2) + 16);
    char* in = const_cast<char*>(data.data());
    size_t inLeft = data.size();
    size_t outPos = 0;
    // The descriptor is cached: start from its initial state whatever an earlier call left.
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    auto emitReplacement = [&] {
        // U+FFFD in the target encoding; "?" when the target cannot hold it.
        std::string rep = to == "UTF-8" ? std::string("\xEF\xBF\xBD") : std::string("?");
        out.replace(outPos, rep.size(), rep);
        outPos += rep.size();
    };
    while (true) {
        if (out.size() - outPos < 16) out.resize(out.size() * 2);
        char* o = out.data() + outPos;
        size_t oLeft = out.size() - outPos;
        const size_t rc = iconv(cd, inLeft ? &in : nullptr, inLeft ? &inLeft : nullptr, &o, &oLeft);
        outPos = static_cast<size_t>(o - out.data());
        if (rc != static_cast<size_t>(-1)) {
            if (inLeft == 0) break;
            continue;
        }
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else if (errno == EILSEQ || errno == EINVAL) {
            if (!lossy) throw std::runtime_error("text cannot be represented in " + (errno == EILSEQ ? to : from));
            if (out.size() - outPos < 8) out.resize(out.size() * 2);
            emitReplacement();
            ++in;
            --inLeft;
            if (inLeft == 0) break;
        } else {
            break;
        }
    }
    // Stateful decoders (CP1255, CP1258) hold the last character back in case a combining
    // mark follows: flush it, or it is lost.
    while (true) {
        if (out.size() - outPos < 16) out.resize(out.size() * 2);
        char* o = out.data() + outPos;
        size_t oLeft = out.size() - outPos;
        const size_t rc = iconv(cd, nullptr, nullptr, &o, &oLeft);
        outPos = static_cast<size_t>(o - out.data());
        if (rc != static_cast<size_t>(-1) || errno != E2BIG) break;
        out.resize(out.size() * 2);
    }
    out.resize(outPos);
    return out;
}

std::string utf16WithBom(std::string_view utf8) {
    std::string out = convertEncoding(utf8, "UTF-8", "UTF-16LE");
    out.insert(0, "\xFF\xFE");  // in place: the conversion leaves room
    return out;
}

std::string codePageName(int cp) {
    switch (cp) {
    case 10000: return "MACINTOSH";
    case 10007: return "MAC-CYRILLIC";
    case 10006: return "MACGREEK";
    case 10029: return "MACCENTRALEUROPE";
    case 65001: return "UTF-8";
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "BIG5";
    default:
        return "CP" + std::to_string(cp);
    }
}

std::string decodeCp1252(std::string_view data) {
    static const uint16_t high[32] = {
        0x20AC, 0x81, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x8D, 0x017D, 0x8F, 0x90, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D, 0x017E, 0x0178};
    std::string out;
    out.reserve(data.size() + data.size() / 4);
    for (unsigned char c : data) {
        if (c < 0x80) out += static_cast<char>(c);
        else if (c < 0xA0) appendUtf8(out, high[c - 0x80]);
        else appendUtf8(out, c);
    }
    return out;
}

bool looksLikeUtf16(std::string_view d) {
    if (d.size() >= 2 && ((d[0] == '\xFF' && d[1] == '\xFE') || (d[0] == '\xFE' && d[1] == '\xFF')))
        return true;
    // Without a BOM: mostly-Latin UTF-16 has a zero in every other byte.
    const size_t n = std::min<size_t>(d.size() & ~size_t(1), 4096);
    if (n < 4) return false;
    size_t evenZero = 0, oddZero = 0;
    for (size_t i = 0; i < n; i += 2) {
        if (d[i] == 0) ++evenZero;
        if (d[i + 1] == 0) ++oddZero;
    }
    const size_t pairs = n / 2;
    return (oddZero * 10 > pairs * 3 && evenZero * 20 < pairs) ||
           (evenZero * 10 > pairs * 3 && oddZero * 20 < pairs);
}

static std::string utf16Variant(std::string_view d) {
    size_t evenZero = 0;
    const size_t n = std::min<size_t>(d.size() & ~size_t(1), 4096);
    for (size_t i = 0; i < n; i += 2) evenZero += d[i] == 0;
    return evenZero * 10 > n / 2 * 3 ? "UTF-16BE" : "UTF-16LE";
}

std::string_view decodeText(std::string_view d, const std::string& forced, std::string& storage) {
    auto starts = [&](std::string_view p) { return d.substr(0, p.size()) == p; };
    if (!forced.empty()) {
        storage = convertEncoding(d, forced, "UTF-8");
        if (storage.compare(0, 3, "\xEF\xBB\xBF") == 0) storage.erase(0, 3);
        return storage;
    }
    if (starts("\xEF\xBB\xBF")) return d.substr(3);
    if (starts(std::string_view("\xFF\xFE\0\0", 4))) return storage = convertEncoding(d.substr(4), "UTF-32LE", "UTF-8");
    if (starts(std::string_view("\0\0\xFE\xFF", 4))) return storage = convertEncoding(d.substr(4), "UTF-32BE", "UTF-8");
    if (starts("\xFF\xFE")) return storage = convertEncoding(d.substr(2), "UTF-16LE", "UTF-8");
    if (starts("\xFE\xFF")) return storage = convertEncoding(d.substr(2), "UTF-16BE", "UTF-8");
    if (looksLikeUtf16(d)) return storage = convertEncoding(d, utf16Variant(d), "UTF-8");
    if (isValidUtf8(d)) return d;
    if (guessLegacyEncoding(d, &storage) == "CP1252") storage = decodeCp1252(d);
    return storage;
}

std::string decodeText(std::string_view d, const std::string& forced) {
    std::string storage;
    const std::string_view text = decodeText(d, forced, storage);
    return text.data() == storage.data() ? std::move(storage) : std::string(text);
}

std::string guessLegacyEncoding(std::string_view d, std::string* decoded) {
    const std::string fallback = "CP1252";
    size_t high = 0;
    for (unsigned char c : d)
        high += c >= 0x80;
    // A short word fits many code pages: a few non-ASCII bytes are no evidence.
    if (high < 8) return fallback;
    std::unique_ptr<uchardet, void (*)(uchardet_t)> detector(uchardet_new(), uchardet_delete);
    if (!detector) return fallback;
    // The first megabyte is evidence enough and bounds the work.
    const std::string_view sample = d.substr(0, size_t(1) << 20);
    if (uchardet_handle_data(detector.get(), sample.data(), sample.size()) != 0) return fallback;
    uchardet_data_end(detector.get());
    std::string name = uchardet_get_charset(detector.get());
    for (char& c : name)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    // Latin-1 is read as its superset; Unicode answers were ruled out before the guess.
    if (name.empty() || name == "ASCII" || name == "ISO-8859-1" || name == "WINDOWS-1252" ||
        name.rfind("UTF-", 0) == 0 || name.rfind("X-", 0) == 0 || !encodingKnown(name))
        return fallback;
    std::string text = convertEncoding(d, name, "UTF-8");
    // Undecodable bytes or C1 controls (Windows-1252 punctuation read as ISO-8859-x) mean a wrong
    // guess.
    size_t bad = 0;
    for (size_t pos = 0; pos < text.size();) {
        const uint32_t cp = nextCodepoint(text, pos);
        bad += cp == 0xFFFD || (cp >= 0x80 && cp < 0xA0);
    }
    if (bad * 100 > high) return fallback;
    if (decoded) *decoded = std::move(text);
    return name;
}

} // namespace textutil

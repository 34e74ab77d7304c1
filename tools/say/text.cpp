#include "text.h"

#include <algorithm>
#include <cctype>

namespace say {

namespace {

// Reads one well-formed character at p and moves past it; false (p unmoved) for anything else:
// overlongs, surrogates, values past U+10FFFF, a sequence cut short.
bool decodeUtf8(const unsigned char*& p, const unsigned char* end, char32_t& cp) {
    const unsigned char c = *p;
    if (c < 0x80) {
        cp = c;
        ++p;
        return true;
    }
    int len;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
    } else {
        return false;
    }
    if (end - p < len) return false;
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return false;
    if (cp >= 0xD800 && cp <= 0xDFFF) return false;
    p += len;
    return true;
}

// Nothing to see or say: Unicode's white space (no-break, em, ideographic space...), control
// codes and the invisible format characters (zero-width spaces and joiners, direction marks,
// soft hyphen, byte-order mark).
bool isSilent(char32_t c) {
    return c <= 0x20 || (c >= 0x7F && c <= 0xA0) || c == 0xAD || c == 0x1680 || c == 0x180E ||
           (c >= 0x2000 && c <= 0x200F) || (c >= 0x2028 && c <= 0x202F) ||
           (c >= 0x205F && c <= 0x206F) || c == 0x3000 || c == 0xFEFF;
}

} // namespace

bool isValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    char32_t cp;
    while (p < end) {
        if (!decodeUtf8(p, end, cp)) return false;
    }
    return true;
}

namespace {
// Bytes at the end that begin a UTF-8 sequence the text ends before finishing.
size_t cutShortTail(std::string_view bytes) {
    for (size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const auto c = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((c & 0xC0) == 0x80) continue; // a continuation byte: look further back
        const size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 1;
        return need > back ? back : 0;
    }
    return 0;
}
} // namespace

bool looksBinary(std::string_view bytes) {
    const size_t n = std::min<size_t>(bytes.size(), 65536);
    size_t control = 0;
    for (size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == 0) return true;
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v' && c != 0x1B)
            ++control;
    }
    return control * 100 > n;
}

std::string toSpeakableUtf8(std::string_view bytes) {
    std::string out;
    // A text cut inside its last character (a truncated file or pipe) is still UTF-8.
    const std::string_view whole = bytes.substr(0, bytes.size() - cutShortTail(bytes));
    if (isValidUtf8(bytes)) {
        out.assign(bytes);
    } else if (whole.size() < bytes.size() && isValidUtf8(whole)) {
        out.assign(whole);
    } else {
        out.reserve(bytes.size() + bytes.size() / 8);
        for (const char ch : bytes) {
            const auto c = static_cast<unsigned char>(ch);
            if (c < 0x80) {
                out += ch;
            } else {
                out += static_cast<char>(0xC0 | (c >> 6));
                out += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
    }
    for (char& ch : out) {
        if (ch == '\0') ch = ' ';
    }
    return out;
}

bool hasSpeakableText(std::string_view utf8) {
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    char32_t cp;
    while (p < end) {
        // Bytes that are not UTF-8 are left to the synthesizer to make sense of.
        if (!decodeUtf8(p, end, cp) || !isSilent(cp)) return true;
    }
    return false;
}

namespace {
// A letter (or digit) directly followed by a full stop: one link of a dotted chain. Returns the
// link's length in bytes, 0 if none starts at `at`.
size_t dottedLetterAt(std::string_view s, size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + at;
    const auto* end = reinterpret_cast<const unsigned char*>(s.data()) + s.size();
    const auto* start = p;
    char32_t cp;
    if (!decodeUtf8(p, end, cp)) return 0;
    const bool letter = cp >= 0x80 ? !isSilent(cp) : (std::isalnum(int(cp)) != 0);
    if (!letter || p == end || *p != '.') return 0;
    return size_t(p - start) + 1;
}
} // namespace

std::string breakDottedChains(std::string_view utf8, size_t maxLetters) {
    std::string out;
    size_t copied = 0; // bytes of utf8 already in out
    size_t chain = 0;  // letters in the chain so far
    size_t i = 0;
    while (i < utf8.size()) {
        const size_t link = dottedLetterAt(utf8, i);
        if (link == 0) {
            // Blanks and commas between links keep the chain going; anything else ends it.
            const char c = utf8[i];
            if (c != ' ' && c != '\t' && c != ',') chain = 0;
            ++i;
            continue;
        }
        if (chain == maxLetters) {
            out.append(utf8.substr(copied, i - copied));
            out += '\n';
            copied = i;
            chain = 0;
        }
        ++chain;
        i += link;
    }
    if (copied == 0) return std::string(utf8);
    out.append(utf8.substr(copied));
    return out;
}

} // namespace say

#include "encoding.h"
#include "formats.h"

namespace textutil {

bool detectTxt(const Input& in) {
    if (in.isFolder || in.bytes.empty()) return false;
    const std::string_view d(in.bytes);
    if (d.substr(0, 3) == "\xEF\xBB\xBF" || looksLikeUtf16(d)) return true;
    // Binary data (pictures, archives, garbage) has NULs or many control characters.
    const size_t n = std::min<size_t>(d.size(), 65536);
    size_t control = 0;
    for (size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(d[i]);
        if (c == 0) return false;
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v' && c != 0x1B) ++control;
    }
    return control * 100 <= n;
}

Document readTxt(const Input& in, const ReadOptions& opts) {
    std::string decoded;
    const std::string_view text = decodeText(in.bytes, opts.inputEncoding, decoded);
    Document doc;
    // One block per line: size the list once rather than growing (and copying) it.
    size_t lines = 1;
    for (size_t i = 0; i < text.size(); ++i)
        lines += text[i] == '\n' || text[i] == '\f' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'));
    doc.blocks.reserve(lines);
    const CharStyle plain;
    size_t start = 0;
    const size_t n = text.size();
    while (start <= n) {
        size_t end = text.find_first_of("\r\n\f", start);
        if (end == std::string_view::npos) end = n;
        if (end == n && start == n && !doc.blocks.empty()) break;  // final newline ends the last line
        Paragraph& p = doc.addParagraph();
        appendText(p, text.substr(start, end - start), plain);
        if (end == n) break;
        start = end + ((text[end] == '\r' && end + 1 < n && text[end + 1] == '\n') ? 2 : 1);
    }
    return doc;
}

} // namespace textutil

#include "document.h"

#include <algorithm>
#include <cstdlib>
#include <set>

namespace textutil {

int columnSpan(const std::string& stated) {
    const long v = std::strtol(stated.c_str(), nullptr, 10);
    return int(std::clamp(v, 1L, long(kMaxColumnSpan)));
}

std::string Paragraph::plainText() const {
    std::string s;
    for (const Run& r : runs) s += r.text;
    return s;
}

Paragraph& Document::addParagraph(const ParaStyle& style) {
    Block& b = blocks.emplace_back();
    b.paragraph.style = style;
    return b.paragraph;
}

int Document::addAttachment(Attachment a) {
    std::set<std::string> taken;
    for (const Attachment& x : attachments) taken.insert(x.fileName);
    // The name becomes a file in a bundle: keep it a plain name.
    for (char& c : a.fileName)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
    if (a.fileName.empty() || a.fileName[0] == '.') a.fileName = "Attachment" + a.fileName;
    if (taken.count(a.fileName)) {
        const size_t dot = a.fileName.rfind('.');
        const std::string stem = dot == std::string::npos || dot == 0 ? a.fileName : a.fileName.substr(0, dot);
        const std::string ext = dot == std::string::npos || dot == 0 ? "" : a.fileName.substr(dot);
        for (int n = 2;; ++n) {
            std::string candidate = stem + "-" + std::to_string(n) + ext;
            if (!taken.count(candidate)) {
                a.fileName = candidate;
                break;
            }
        }
    }
    attachments.push_back(std::move(a));
    return static_cast<int>(attachments.size() - 1);
}

std::string Document::plainText() const {
    std::string s;
    bool first = true;
    auto para = [&](const Paragraph& p) {
        if (!first) s += '\n';
        first = false;
        s += p.plainText();
    };
    for (const Block& b : blocks) {
        if (!b.table) {
            para(b.paragraph);
            continue;
        }
        for (const TableRow& row : b.table->rows) {
            if (!first) s += '\n';
            first = false;
            for (size_t c = 0; c < row.cells.size(); ++c) {
                if (c) s += '\t';
                for (size_t k = 0; k < row.cells[c].paragraphs.size(); ++k) {
                    if (k) s += ' ';
                    s += row.cells[c].paragraphs[k].plainText();
                }
            }
        }
    }
    return s;
}

void appendText(Paragraph& p, std::string_view text, const CharStyle& style) {
    if (text.empty()) return;
    if (!p.runs.empty() && p.runs.back().attachment < 0 && p.runs.back().style == style) {
        p.runs.back().text += text;
        return;
    }
    Run& r = p.runs.emplace_back();
    r.text = text;
    r.style = style;
}

} // namespace textutil

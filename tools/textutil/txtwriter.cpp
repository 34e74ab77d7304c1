#include "encoding.h"
#include "formats.h"

#include <algorithm>

namespace textutil {

namespace {

// Soft line breaks inside a paragraph become newlines; attachments have no text.
void appendRuns(std::string& out, const Paragraph& p) {
    for (const Run& r : p.runs) {
        if (r.attachment >= 0) continue;
        size_t pos = 0;
        while (true) {
            const size_t ls = r.text.find("\xE2\x80\xA8", pos);
            out.append(r.text, pos, ls == std::string::npos ? std::string::npos : ls - pos);
            if (ls == std::string::npos) break;
            out += '\n';
            pos = ls + 3;
        }
    }
}

void appendParagraph(std::string& out, const Paragraph& p) {
    if (p.style.listLevel > 0) {
        out.append(size_t(p.style.listLevel - 1), '\t');
        out += p.style.ordered ? std::to_string(std::max(1, p.style.listNumber)) + "." : std::string("\xE2\x80\xA2");
        out += '\t';
    }
    appendRuns(out, p);
    out += '\n';
}

} // namespace

// At least the size toPlainText gives: reserved at once, a large text is not copied as it grows.
size_t plainTextBound(const std::vector<Block>& blocks) {
    size_t n = 0;
    for (const Block& b : blocks) {
        if (b.table) {
            for (const TableRow& row : b.table->rows) {
                n += 1;
                for (const TableCell& cell : row.cells) n += 1 + plainTextBound(cell.blocks);
            }
            continue;
        }
        // Tabs and the widest number or bullet before a list item, the newline after.
        n += size_t(std::max(0, b.paragraph.style.listLevel)) + 16;
        for (const Run& r : b.paragraph.runs) n += r.text.size();
    }
    return n;
}

// With a sink the text goes there a chunk at a time; without, it all stays in `out`.
static void writePlainText(const Document& doc, std::string& out, Sink* sink) {
    if (!sink) out.reserve(plainTextBound(doc.blocks));
    for (const Block& b : doc.blocks) {
        drain(sink, out);
        if (!b.table) {
            appendParagraph(out, b.paragraph);
            continue;
        }
        // Tables degrade to one line per row, cells separated by tabs.
        for (const TableRow& row : b.table->rows) {
            drain(sink, out);
            for (size_t c = 0; c < row.cells.size(); ++c) {
                if (c) out += '\t';
                const std::vector<const Paragraph*> paras = flatParagraphs(row.cells[c].blocks);
                for (size_t k = 0; k < paras.size(); ++k) {
                    if (k) out += ' ';
                    appendRuns(out, *paras[k]);
                }
            }
            out += '\n';
        }
    }
    drain(sink, out, true);
}

std::string toPlainText(const Document& doc) {
    std::string out;
    writePlainText(doc, out, nullptr);
    return out;
}

Output writeTxt(const Document& doc, const WriteOptions& opts) {
    Output o;
    std::string enc = opts.encoding;
    std::transform(enc.begin(), enc.end(), enc.begin(), [](unsigned char c) { return std::toupper(c); });
    const bool utf8 = enc.empty() || enc == "UTF-8" || enc == "UTF8";
    // Plain text has no notes: numbered at their references, their text follows the body.
    if (utf8 && opts.sink) {
        std::string chunk;
        if (doc.notes.empty())
            writePlainText(doc, chunk, opts.sink);
        else
            writePlainText(notesAsText(doc), chunk, opts.sink);
        o.streamed = true;
        return o;
    }
    std::string text = doc.notes.empty() ? toPlainText(doc) : toPlainText(notesAsText(doc));
    if (utf8) {
        o.data = std::move(text);
    } else if (enc == "UTF-16" || enc == "UNICODE") {
        o.data = utf16WithBom(text);
    } else {
        o.data = convertEncoding(text, "UTF-8", opts.encoding);
    }
    return o;
}

} // namespace textutil

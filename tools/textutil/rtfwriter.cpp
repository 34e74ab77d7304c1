#include "encoding.h"
#include "formats.h"
#include "media.h"
#include "rtf.h"

#include <array>
#include <cmath>
#include <map>
#include <stdexcept>

namespace textutil {
namespace rtf {

namespace {

const char* const kDefaultFont = "Helvetica";

int twips(double points) { return int(std::lround(points * 20)); }

class Writer {
public:
    Writer(const Document& doc, bool bundle, const std::vector<const Attachment*>* files)
        : doc_(doc), bundle_(bundle), files_(files) {}

    // The font and colour tables lead the file, so they are complete before any text is
    // written: the text itself then goes to `sink`, when given, a chunk at a time.
    std::string run(Sink* sink) {
        fontIndex(kDefaultFont);
        collect();
        gather();
        frozen_ = true;
        std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
        for (size_t i = 0; i < fonts_.size(); ++i) {
            out += "{\\f" + std::to_string(i) + "\\fnil\\fcharset0 ";
            escape(out, fonts_[i]);
            out += ";}";
        }
        out += "}\n{\\colortbl;";
        for (const Color& c : colors_)
            out += "\\red" + std::to_string(c.r) + "\\green" + std::to_string(c.g) + "\\blue" + std::to_string(c.b) + ";";
        out += "}\n";
        writeStyles(out);
        writeLists(out);
        writeInfo(out);
        out += "\\paperw12240\\paperh15840\\margl1440\\margr1440\\margt1440\\margb1440\n";
        sink_ = sink;
        group_ = -1;
        for (const auto& [word, blocks] : furniture()) {
            if (blocks->empty()) continue;
            out += std::string("{\\") + word + "\n";
            for (const Block& b : *blocks) {
                if (b.table)
                    writeTable(out, *b.table, 1, kTextWidth);
                else
                    writeParagraph(out, b.paragraph, 0, "\\par\n");
            }
            out += "}\n";
        }
        for (size_t i = 0; i < doc_.blocks.size(); ++i) {
            drain(sink_, out);
            const Block& b = doc_.blocks[i];
            group_ = listGroup_[i];
            if (b.table)
                writeTable(out, *b.table, 1, kTextWidth);
            else
                writeParagraph(out, b.paragraph, 0, "\\par\n");
        }
        out += "}\n";
        drain(sink, out, true);
        return out;
    }

private:
    const Document& doc_;
    bool bundle_;
    const std::vector<const Attachment*>* files_;
    std::vector<std::string> fonts_;
    std::map<std::string, int> fontIdx_;
    std::vector<Color> colors_;
    bool hasLists_ = false;
    // Each run of list paragraphs is its own pair of lists (bullets, numbers), so that
    // numbering restarts where the source's did.
    std::vector<int> listGroup_;                 // per block; -1 outside lists
    std::vector<std::array<int, 9>> startAt_;    // per group: first number at each level
    int group_ = -1;
    std::string noteMark_; // leads the next paragraph: the first of a note
    bool inNote_ = false;
    bool frozen_ = false;  // the tables are written: nothing may join them
    Sink* sink_ = nullptr; // takes the text so far between blocks and rows

    using Furniture = std::array<std::pair<const char*, const std::vector<Block>*>, 2>;
    Furniture furniture() const { return {{{"header", &doc_.header}, {"footer", &doc_.footer}}}; }

    int fontIndex(const std::string& name) {
        auto it = fontIdx_.find(name);
        if (it != fontIdx_.end()) return it->second;
        if (frozen_) throw std::logic_error("font " + name + " missing from the font table");
        fonts_.push_back(name);
        return fontIdx_[name] = int(fonts_.size() - 1);
    }

    int colorIndex(const Color& c) {
        for (size_t i = 0; i < colors_.size(); ++i)
            if (colors_[i] == c) return int(i + 1);
        if (frozen_) throw std::logic_error("colour missing from the colour table");
        colors_.push_back(c);
        return int(colors_.size());
    }

    void collectParagraph(const Paragraph& p) {
        if (p.style.listLevel > 0) hasLists_ = true;
        for (const Run& r : p.runs) {
            if (!r.style->font.empty()) fontIndex(r.style->font);
            if (r.style->color) colorIndex(*r.style->color);
            if (r.style->background) colorIndex(*r.style->background);
        }
    }

    // Tables are written after the body is known, so gather fonts and colours first.
    void collect() {
        int previous = -1;
        for (const Block& b : doc_.blocks) {
            const int level = b.table ? 0 : b.paragraph.style.listLevel;
            if (level > 0) {
                if (previous < 0) {
                    startAt_.emplace_back();
                    startAt_.back().fill(0);
                }
                previous = int(startAt_.size()) - 1;
                int& start = startAt_.back()[size_t(std::min(level, 9) - 1)];
                if (start == 0) start = std::max(1, b.paragraph.style.listNumber);
            } else {
                previous = -1;
            }
            listGroup_.push_back(previous);
            if (!b.table) {
                collectParagraph(b.paragraph);
                continue;
            }
            for (const TableRow& row : b.table->rows)
                for (const TableCell& cell : row.cells)
                    for (const Paragraph* p : flatParagraphs(cell.blocks)) collectParagraph(*p);
        }
        // Lists inside table cells use the first group's lists.
        if (hasLists_ && startAt_.empty()) {
            startAt_.emplace_back();
            startAt_.back().fill(1);
        }
    }

    // What charProps will ask of the tables, in the order the text is written after the
    // tables collect() fills: notes' runs, links' colour, the header and the footer.
    void gatherStyle(const CharStyle& cs) {
        if (!cs.font.empty()) fontIndex(cs.font);
        if (cs.color)
            colorIndex(*cs.color);
        else if (!cs.link.empty())
            colorIndex(Color{0, 0, 238});
        if (cs.background) colorIndex(*cs.background);
    }

    void gatherBlocks(const std::vector<Block>& blocks) {
        for (const Block& b : blocks) {
            if (b.table)
                gatherTable(*b.table);
            else
                gatherParagraph(b.paragraph);
        }
    }

    void gatherTable(const Table& t) {
        for (const std::vector<CellSlot>& row : tableSlots(t))
            for (const CellSlot& s : row)
                if (!s.continued) gatherBlocks(s.cell->blocks);
    }

    // As writeParagraph and writeNote go: a note's text only at its first level.
    void gatherParagraph(const Paragraph& p) {
        for (const Run& r : p.runs) {
            gatherStyle(r.style);
            if (r.note < 0 || r.note >= int(doc_.notes.size()) || inNote_) continue;
            inNote_ = true;
            gatherBlocks(doc_.notes[size_t(r.note)].blocks);
            inNote_ = false;
        }
    }

    void gather() {
        gatherBlocks(doc_.blocks);
        for (const auto& [word, blocks] : furniture())
            gatherBlocks(*blocks);
    }

    static void escape(std::string& out, std::string_view text) {
        size_t i = 0;
        while (i < text.size()) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c < 0x80) {
                ++i;
                switch (c) {
                case '\\': out += "\\\\"; break;
                case '{': out += "\\{"; break;
                case '}': out += "\\}"; break;
                case '\t': out += "\\tab "; break;
                case '\n': out += "\\line "; break;
                case '\r': break;
                default: out += static_cast<char>(c);
                }
                continue;
            }
            const uint32_t cp = nextCodepoint(text, i);
            if (cp == 0x2028) {
                out += "\\line ";
            } else if (cp == 0xA0) {
                out += "\\~";
            } else if (cp >= 0x10000) {
                const uint32_t v = cp - 0x10000;
                out += "\\u" + std::to_string(int(0xD800 + (v >> 10)) - 65536) + "\\'3f";
                out += "\\u" + std::to_string(int(0xDC00 + (v & 0x3FF)) - 65536) + "\\'3f";
            } else {
                // The fallback as an escape: some readers drop a blank after a bare "?".
                out += "\\u" + std::to_string(cp > 32767 ? int(cp) - 65536 : int(cp)) + "\\'3f";
            }
        }
    }

    void writeStyles(std::string& out) {
        out += "{\\stylesheet{\\s0\\f0\\fs24 Normal;}";
        for (int level = 1; level <= 6; ++level) {
            out += "{\\s" + std::to_string(level) + "\\sbasedon0\\snext0\\outlinelevel" + std::to_string(level - 1) +
                   "\\b\\f0\\fs" + std::to_string(int(headingSize(level) * 2)) + " heading " + std::to_string(level) + ";}";
        }
        out += "}\n";
    }

    // Per list group g: list 2g+1 has bullets, list 2g+2 decimal numbers, nine levels each.
    void writeLists(std::string& out) {
        if (startAt_.empty()) return;
        out += "{\\*\\listtable";
        for (size_t g = 0; g < startAt_.size(); ++g) {
            for (int kind = 1; kind <= 2; ++kind) {
                const int id = int(2 * g) + kind;
                out += "{\\list\\listtemplateid" + std::to_string(id) + "\\listhybrid";
                for (int lvl = 0; lvl < 9; ++lvl) {
                    const int indent = 720 * (lvl + 1);
                    const int start = std::max(1, startAt_[g][size_t(lvl)]);
                    if (kind == 1) {
                        out += "{\\listlevel\\levelnfc23\\levelnfcn23\\leveljc0\\leveljcn0\\levelfollow0\\levelstartat1"
                               "{\\leveltext\\'01\\u8226 ?;}{\\levelnumbers;}";
                    } else {
                        out += "{\\listlevel\\levelnfc0\\levelnfcn0\\leveljc0\\leveljcn0\\levelfollow0\\levelstartat" +
                               std::to_string(start) + "{\\leveltext\\'02\\'0" + std::to_string(lvl) + ".;}{\\levelnumbers\\'01;}";
                    }
                    out += "\\fi-360\\li" + std::to_string(indent) + "\\lin" + std::to_string(indent) + "}";
                }
                out += "{\\listname ;}\\listid" + std::to_string(id) + "}";
            }
        }
        out += "}\n{\\*\\listoverridetable";
        for (size_t id = 1; id <= 2 * startAt_.size(); ++id)
            out += "{\\listoverride\\listid" + std::to_string(id) + "\\listoverridecount0\\ls" + std::to_string(id) + "}";
        out += "}\n";
    }

    void infoField(std::string& out, const char* word, const std::string& value) {
        if (value.empty()) return;
        out += "{\\";
        out += word;
        out += ' ';
        escape(out, value);
        out += '}';
    }

    void infoTime(std::string& out, const char* word, const std::string& iso) {
        int y, mo, d, h = 0, mi = 0, s = 0;
        if (std::sscanf(iso.c_str(), "%d-%d-%dT%d:%d:%d", &y, &mo, &d, &h, &mi, &s) < 3) return;
        out += std::string("{\\") + word + "\\yr" + std::to_string(y) + "\\mo" + std::to_string(mo) + "\\dy" +
               std::to_string(d) + "\\hr" + std::to_string(h) + "\\min" + std::to_string(mi) + "\\sec" + std::to_string(s) + "}";
    }

    void writeInfo(std::string& out) {
        const Metadata& m = doc_.meta;
        if (!m.generator.empty()) {
            out += "{\\*\\generator ";
            escape(out, m.generator);
            out += ";}";
        }
        std::string info;
        infoField(info, "title", m.title);
        infoField(info, "subject", m.subject);
        infoField(info, "author", m.author);
        infoField(info, "keywords", m.keywords);
        infoField(info, "doccomm", m.comment);
        infoField(info, "operator", m.editor);
        infoField(info, "*\\company", m.company);
        infoTime(info, "creatim", m.creationTime);
        infoTime(info, "revtim", m.modificationTime);
        if (!info.empty()) out += "{\\info" + info + "}\n";
    }

    // `depth`: the table nesting of the paragraph, 0 outside tables.
    void paragraphProps(std::string& out, const ParaStyle& ps, int depth) {
        out += "\\pard";
        if (depth > 0) out += "\\intbl";
        if (depth > 1) out += "\\itap" + std::to_string(depth);
        if (ps.pageBreakBefore) out += "\\pagebb";
        if (ps.heading) out += "\\s" + std::to_string(ps.heading) + "\\outlinelevel" + std::to_string(ps.heading - 1);
        switch (ps.align) {
        case Align::Left: out += "\\ql"; break;
        case Align::Center: out += "\\qc"; break;
        case Align::Right: out += "\\qr"; break;
        case Align::Justify: out += "\\qj"; break;
        case Align::Natural: break;
        }
        double left = ps.leftIndent, first = ps.firstIndent;
        if (ps.listLevel > 0) {
            left = std::max(left, 720.0 * ps.listLevel / 20);
            first = -18;
        }
        if (left) out += "\\li" + std::to_string(twips(left));
        if (ps.rightIndent) out += "\\ri" + std::to_string(twips(ps.rightIndent));
        if (first) out += "\\fi" + std::to_string(twips(first));
        if (ps.spaceBefore) out += "\\sb" + std::to_string(twips(ps.spaceBefore));
        if (ps.spaceAfter) out += "\\sa" + std::to_string(twips(ps.spaceAfter));
        if (ps.listLevel > 0) {
            const int g = std::max(0, group_);
            out += "\\ls" + std::to_string(2 * g + (ps.ordered ? 2 : 1)) + "\\ilvl" + std::to_string(std::min(ps.listLevel, 9) - 1);
        }
        out += ' ';
        if (ps.listLevel > 0) {
            // The marker, for readers that ignore the list table.
            out += "{\\listtext\\f0 ";
            out += ps.ordered ? std::to_string(std::max(1, ps.listNumber)) + "." : std::string("\\u8226\\'3f");
            out += "\\tab }";
        }
    }

    void charProps(std::string& out, const CharStyle& cs, const ParaStyle& ps) {
        // Each run is a group over a plain paragraph state, so no \\plain is needed (and some
        // readers let \\plain end a field's link).
        out += "\\f" + std::to_string(cs.font.empty() ? 0 : fontIndex(cs.font));
        double size = cs.size;
        bool bold = cs.bold;
        if (ps.heading) {
            if (size == 0) size = headingSize(ps.heading);
            bold = true;
        }
        out += "\\fs" + std::to_string(size > 0 ? int(std::lround(size * 2)) : 24);
        if (bold) out += "\\b";
        if (cs.italic) out += "\\i";
        if (cs.underline || !cs.link.empty()) out += "\\ul";
        if (cs.strike) out += "\\strike";
        if (cs.color) out += "\\cf" + std::to_string(colorIndex(*cs.color));
        else if (!cs.link.empty()) out += "\\cf" + std::to_string(colorIndex(Color{0, 0, 238}));
        if (cs.background) out += "\\highlight" + std::to_string(colorIndex(*cs.background)) +
                                  "\\chcbpat" + std::to_string(colorIndex(*cs.background));
        if (cs.baseline > 0) out += "\\super";
        if (cs.baseline < 0) out += "\\sub";
        out += ' ';
    }

    void writeAttachment(std::string& out, const Attachment& a) {
        int pw = 0, ph = 0;
        const bool sized = imagePixelSize(a.data, pw, ph);
        double w = a.width, h = a.height;
        if ((w <= 0 || h <= 0) && sized) {
            w = pw * 0.75;  // 96 dpi
            h = ph * 0.75;
        }
        if (bundle_) {
            out += "{{\\NeXTGraphic ";
            escape(out, a.fileName);
            if (w > 0 && h > 0) out += " \\width" + std::to_string(twips(w)) + " \\height" + std::to_string(twips(h));
            out += "}\\'ac}";
            return;
        }
        const char* blip = a.mimeType == "image/png" ? "\\pngblip" : a.mimeType == "image/jpeg" ? "\\jpegblip" : nullptr;
        if (!blip && isImageMime(a.mimeType)) {
            // Plain RTF has no portable form of other pictures: they go as PNG.
            Attachment png = a;
            png.data = pictureAsPng(a.data);
            png.mimeType = "image/png";
            if (png.data.empty()) return;
            png.width = w;
            png.height = h;
            writeAttachment(out, png);
            return;
        }
        if (!blip) return;
        // A bare \\pict: readers that know \\shppict also take it, and some know only this.
        out += "{\\pict";
        out += blip;
        if (sized) out += "\\picw" + std::to_string(pw) + "\\pich" + std::to_string(ph);
        if (w > 0 && h > 0) out += "\\picwgoal" + std::to_string(twips(w)) + "\\pichgoal" + std::to_string(twips(h));
        out += '\n';
        static const char hex[] = "0123456789abcdef";
        out.reserve(out.size() + a.data.size() * 2 + a.data.size() / 64 + 8);
        for (size_t i = 0; i < a.data.size(); ++i) {
            const auto b = static_cast<unsigned char>(a.data[i]);
            out += hex[b >> 4];
            out += hex[b & 15];
            if (i % 64 == 63) out += '\n';
        }
        out += "}";
    }

    // The reference's mark, then the note in its group, its first paragraph led by the same mark.
    void writeNote(std::string& out, const Run& r, const ParaStyle& ps) {
        std::string mark = "\\chftn";
        if (!r.text.empty()) {
            mark.clear();
            escape(mark, r.text);
        }
        out += "{";
        CharStyle cs = r.style;
        cs.baseline = 1;
        charProps(out, cs, ps);
        out += mark + "}";
        if (r.note >= int(doc_.notes.size()) || !noteMark_.empty() || inNote_)
            return; // a note in a note: its mark only
        const Note& n = doc_.notes[size_t(r.note)];
        out += n.kind == Note::Kind::Endnote ? "{\\footnote\\ftnalt" : "{\\footnote";
        noteMark_ = "{\\super " + mark + "} ";
        inNote_ = true;
        const int group = group_;
        const std::vector<Block>& blocks = n.blocks;
        if (blocks.empty() || blocks.front().table)
            writeParagraph(out, Paragraph(), 0, blocks.empty() ? "" : "\\par\n");
        for (size_t k = 0; k < blocks.size(); ++k) {
            if (blocks[k].table)
                writeTable(out, *blocks[k].table, 1, kTextWidth);
            else
                writeParagraph(out, blocks[k].paragraph, 0,
                               k + 1 == blocks.size() ? "" : "\\par\n");
        }
        group_ = group;
        inNote_ = false;
        noteMark_.clear();
        out += "}";
    }

    void writeParagraph(std::string& out, const Paragraph& p, int depth, const char* end) {
        paragraphProps(out, p.style, depth);
        out += noteMark_;
        noteMark_.clear();
        size_t i = 0;
        while (i < p.runs.size()) {
            const std::string& link = p.runs[i].style->link;
            size_t j = i + 1;
            if (!link.empty())
                while (j < p.runs.size() && p.runs[j].style->link == link) ++j;
            else
                j = i + 1;
            if (!link.empty()) {
                out += "{\\field{\\*\\fldinst{HYPERLINK \"";
                escape(out, link);
                out += "\"}}{\\fldrslt ";
            }
            for (size_t k = i; k < j; ++k) {
                const Run& r = p.runs[k];
                if (r.note >= 0) {
                    writeNote(out, r, p.style);
                    continue;
                }
                out += '{';
                charProps(out, r.style, p.style);
                if (files_ && r.attachment >= 0 && r.attachment < int(files_->size()))
                    writeAttachment(out, *(*files_)[size_t(r.attachment)]);
                else if (!files_ && r.attachment >= 0 && r.attachment < int(doc_.attachments.size()))
                    writeAttachment(out, doc_.attachments[size_t(r.attachment)]);
                else
                    escape(out, r.text);
                out += '}';
            }
            if (!link.empty()) out += "}}";
            i = j;
        }
        out += end;
    }

    static constexpr int kTextWidth = 9360; // twips across a letter page's text

    // The outermost table's rows carry their definition in front, as most readers want; a
    // nested table's follow its cells in \\nesttableprops. Columns share `width` equally, a
    // span takes the width of its columns, and a row span marks the cells below it.
    void writeTable(std::string& out, const Table& t, int depth, int width) {
        const int columns = int(std::max<size_t>(1, tableColumns(t)));
        const int colW = std::max(1, width / columns);
        const char* cellEnd = depth > 1 ? "\\nestcell\n" : "\\cell\n";
        const std::vector<std::vector<CellSlot>> slots = tableSlots(t);
        for (size_t r = 0; r < t.rows.size(); ++r) {
            drain(sink_, out);
            std::string def = "\\trowd\\trgaph108\\trleft0";
            if (int(r) < t.headerRows) def += "\\trhdr";
            for (const CellSlot& s : slots[r]) {
                if (s.continued)
                    def += "\\clvmrg";
                else if (s.cell->rowSpan > 1)
                    def += "\\clvmgf";
                def += "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10"
                       "\\clbrdrr\\brdrs\\brdrw10"
                       "\\cellx" +
                       std::to_string(colW * (s.column + std::max(1, s.cell->colSpan)));
            }
            if (depth == 1) out += def + '\n';
            for (const CellSlot& s : slots[r]) {
                const int cellWidth = colW * std::max(1, s.cell->colSpan) - 216;
                if (s.continued) {
                    paragraphProps(out, ParaStyle{}, depth);
                    out += cellEnd;
                    continue;
                }
                writeCell(out, *s.cell, depth, cellWidth);
            }
            if (depth == 1)
                out += "\\row\n";
            else
                out += "{\\*\\nesttableprops" + def + "\\nestrow}{\\nonesttables\\par}\n";
        }
        if (depth == 1) out += "\\pard\n";
    }

    void writeCell(std::string& out, const TableCell& cell, int depth, int width) {
        const char* cellEnd = depth > 1 ? "\\nestcell\n" : "\\cell\n";
        for (size_t k = 0; k < cell.blocks.size(); ++k) {
            const Block& b = cell.blocks[k];
            const bool last = k + 1 == cell.blocks.size();
            if (!b.table) {
                writeParagraph(out, b.paragraph, depth, last ? cellEnd : "\\par\n");
                continue;
            }
            writeTable(out, *b.table, depth + 1, std::max(720, width));
            // The cell ends in a paragraph of its own depth.
            if (last) {
                paragraphProps(out, ParaStyle{}, depth);
                out += cellEnd;
            }
        }
        if (cell.blocks.empty()) {
            paragraphProps(out, ParaStyle{}, depth);
            out += cellEnd;
        }
    }
};

} // namespace

std::string render(const Document& doc, bool bundle, const std::vector<const Attachment*>* files,
                   Sink* sink) {
    return Writer(doc, bundle, files).run(sink);
}

} // namespace rtf

Output writeRtf(const Document& doc, const WriteOptions& opts) {
    Output o;
    o.data = rtf::render(doc, false, nullptr, opts.sink);
    o.streamed = opts.sink != nullptr;
    return o;
}

} // namespace textutil

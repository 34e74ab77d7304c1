#include "formats.h"
#include "media.h"
#include "officexml.h"
#include "zipfile.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <stdexcept>

namespace textutil {

namespace {

const char* const kMime = "application/vnd.oasis.opendocument.text";
const char* const kNamespaces =
    "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
    "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
    "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
    "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
    "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
    "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" "
    "xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
    "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
    "xmlns:meta=\"urn:oasis:names:tc:opendocument:xmlns:meta:1.0\" "
    "xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\"";

std::string pt(double v) { return xml::num(v, 2) + "pt"; }

// Pictures that ODF readers display from the package.
bool embeddable(const std::string& mime) {
    return mime == "image/png" || mime == "image/jpeg" || mime == "image/gif" || mime == "image/bmp" ||
           mime == "image/tiff" || mime == "image/svg+xml";
}

class Writer {
public:
    // `prefix` sets the names of styles and pictures apart from another writer's.
    explicit Writer(const Document& doc, std::string prefix = {})
        : doc_(doc), prefix_(std::move(prefix)) {}

    Output run(Sink* sink) {
        // The automatic styles precede the text that uses them: a first pass over the body, its
        // text thrown away as it goes, finds them; the second deflates the text as it is made.
        // A long body is then never held whole.
        {
            Writer scout(doc_, prefix_);
            Discard discard;
            std::string scratch;
            scout.sink_ = &discard;
            scout.blocks(scratch, doc_.blocks);
            fonts_ = std::move(scout.fonts_);
            paraStyles_ = std::move(scout.paraStyles_);
            textStyles_ = std::move(scout.textStyles_);
            pictures_ = std::move(scout.pictures_);
            listStyles_ = std::move(scout.listStyles_);
        }
        // The page header and footer live in styles.xml, with automatic styles of their own.
        Writer furniture(doc_, "M");
        std::string header, footer;
        furniture.blocks(header, doc_.header);
        furniture.blocks(footer, doc_.footer);

        std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content ";
        head += kNamespaces;
        head += " office:version=\"1.2\"><office:font-face-decls>";
        for (const std::string& f : fonts_)
            head += "<style:font-face style:name=\"" + xml::escaped(f) +
                    "\" svg:font-family=\"&apos;" + xml::escaped(f) + "&apos;\"/>";
        head += "</office:font-face-decls><office:automatic-styles>";
        automaticStyles(head);
        head += "</office:automatic-styles><office:body><office:text>";
        zip::DeflatedPart content;
        content.write(head);
        const size_t known = fonts_.size() + paraStyles_.size() + textStyles_.size() +
                             pictures_.size() + listStyles_.size();
        {
            Deflate into(content);
            std::string body;
            sink_ = &into;
            blocks(body, doc_.blocks);
            drain(sink_, body, true);
            sink_ = nullptr;
        }
        if (fonts_.size() + paraStyles_.size() + textStyles_.size() + pictures_.size() +
                listStyles_.size() !=
            known)
            throw std::logic_error("the text uses a style the first pass did not find");
        content.write("</office:text></office:body></office:document-content>");

        zip::Builder z;
        z.add("mimetype", kMime, false);  // first and stored, so the type can be read at a fixed offset
        z.add("content.xml", std::move(content));
        z.add("styles.xml", styles(furniture, header, footer));
        z.add("meta.xml", meta());
        std::string manifest = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<manifest:manifest "
                               "xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" manifest:version=\"1.2\">"
                               "<manifest:file-entry manifest:full-path=\"/\" manifest:version=\"1.2\" manifest:media-type=\"";
        manifest += kMime;
        manifest += "\"/><manifest:file-entry manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\"/>"
                    "<manifest:file-entry manifest:full-path=\"styles.xml\" manifest:media-type=\"text/xml\"/>"
                    "<manifest:file-entry manifest:full-path=\"meta.xml\" manifest:media-type=\"text/xml\"/>";
        for (const auto* pictures : {&pictures_, &furniture.pictures_})
            for (const auto& [att, path] : *pictures) {
                manifest += "<manifest:file-entry manifest:full-path=\"" + xml::escaped(path) +
                            "\" manifest:media-type=\"" + doc_.attachments[size_t(att)].mimeType +
                            "\"/>";
                z.add(path, doc_.attachments[size_t(att)].data, false);
            }
        manifest += "</manifest:manifest>";
        z.add("META-INF/manifest.xml", manifest);
        Output o;
        if (sink && sink->fd() >= 0) {
            z.finish(sink->fd());
            o.streamed = true;
        } else {
            o.data = z.finish();
        }
        return o;
    }

private:
    class Discard : public Sink {
    public:
        void write(std::string_view) override {}
    };
    class Deflate : public Sink {
    public:
        explicit Deflate(zip::DeflatedPart& part) : part_(part) {}
        void write(std::string_view data) override { part_.write(data); }

    private:
        zip::DeflatedPart& part_;
    };

    const Document& doc_;
    std::string prefix_;
    Sink* sink_ = nullptr; // takes the body's text so far between blocks
    std::set<std::string> fonts_;
    std::map<std::string, std::string> paraStyles_, textStyles_;  // properties -> name
    std::map<int, std::string> pictures_;
    std::map<std::string, std::string> listStyles_;  // level kinds -> style name
    std::string listStyleName_;
    int depth_ = 0;         // open text:list elements
    bool itemOpen_ = false;  // a text:list-item is open at the innermost depth
    bool topOrdered_ = false;  // the open outermost list is numbered
    int frames_ = 0;
    int noteCount_[2] = {0, 0}; // footnotes and endnotes written
    bool inNote_ = false;

    // The styles the text written so far uses, and the fixed table and picture styles.
    void automaticStyles(std::string& out) {
        for (const auto& [props, name] : paraStyles_)
            out += "<style:style style:name=\"" + name + "\" style:family=\"paragraph\"" + props +
                   "</style:style>";
        for (const auto& [props, name] : textStyles_)
            out += "<style:style style:name=\"" + name +
                   "\" style:family=\"text\"><style:text-properties" + props + "/></style:style>";
        out += "<style:style style:name=\"Tbl\" style:family=\"table\"><style:table-properties "
               "style:width=\"" +
               pt(kTextWidth) +
               "\" table:align=\"margins\"/></style:style>"
               "<style:style style:name=\"TblCell\" "
               "style:family=\"table-cell\"><style:table-cell-properties "
               "fo:padding=\"2pt\" fo:border=\"0.5pt solid #000000\"/></style:style>"
               "<style:style style:name=\"Pic\" style:family=\"graphic\"><style:graphic-properties "
               "style:vertical-pos=\"top\" style:vertical-rel=\"baseline\"/></style:style>";
        for (const auto& [kinds, name] : listStyles_)
            listStyle(out, name, kinds);
    }

    // Body text or a table cell's content; lists end with it.
    void blocks(std::string& out, const std::vector<Block>& blocks) {
        for (size_t i = 0; i < blocks.size(); ++i) {
            drain(sink_, out);
            const Block& b = blocks[i];
            if (b.table) {
                closeLists(out, 0);
                table(out, *b.table);
                continue;
            }
            const ParaStyle& ps = b.paragraph.style;
            // A numbered list right after a bulleted one (or the reverse) is a list of its own.
            if (ps.listLevel == 1 && depth_ > 0 && ps.ordered != topOrdered_) closeLists(out, 0);
            if (ps.listLevel > 0 && depth_ == 0) {
                chooseListStyle(blocks, i);
                topOrdered_ = ps.ordered;
            }
            listItem(out, b.paragraph.style);
            paragraph(out, b.paragraph);
        }
        closeLists(out, 0);
    }

    // Nested lists take their look from the outermost list's style, so each list gets a
    // style whose levels are numbered or bulleted as its items are ("n"/"b" per level).
    void chooseListStyle(const std::vector<Block>& blocks, size_t first) {
        std::string kinds(10, '\0');
        const bool ordered = blocks[first].paragraph.style.ordered;
        for (size_t i = first; i < blocks.size(); ++i) {
            const Block& b = blocks[i];
            if (b.table || b.paragraph.style.listLevel == 0) break;
            if (i > first && b.paragraph.style.listLevel == 1 && b.paragraph.style.ordered != ordered) break;
            const size_t l = size_t(std::min(b.paragraph.style.listLevel, 10) - 1);
            if (!kinds[l]) kinds[l] = b.paragraph.style.ordered ? 'n' : 'b';
        }
        for (char& k : kinds)
            if (!k) k = 'b';
        auto it = listStyles_.find(kinds);
        if (it == listStyles_.end())
            it = listStyles_.emplace(kinds, prefix_ + "L" + std::to_string(listStyles_.size() + 1))
                     .first;
        listStyleName_ = it->second;
    }

    void listStyle(std::string& out, const std::string& name, const std::string& kinds) {
        static const char* const bullets[] = {"\xE2\x80\xA2", "\xE2\x97\xA6", "\xE2\x96\xAA"};
        out += "<text:list-style style:name=\"" + name + "\">";
        for (int l = 1; l <= 10; ++l) {
            const bool ordered = kinds[size_t(l - 1)] == 'n';
            const std::string level = std::to_string(l);
            if (ordered)
                out += "<text:list-level-style-number text:level=\"" + level +
                       "\" style:num-suffix=\".\" style:num-format=\"1\">";
            else
                out += "<text:list-level-style-bullet text:level=\"" + level + "\" text:bullet-char=\"" +
                       bullets[(l - 1) % 3] + "\">";
            out += "<style:list-level-properties text:list-level-position-and-space-mode=\"label-alignment\">"
                   "<style:list-level-label-alignment text:label-followed-by=\"listtab\" fo:text-indent=\"-18pt\" "
                   "fo:margin-left=\"" + pt(36.0 * l) + "\"/></style:list-level-properties>";
            out += ordered ? "</text:list-level-style-number>" : "</text:list-level-style-bullet>";
        }
        out += "</text:list-style>";
    }

    void closeLists(std::string& out, int to) {
        while (depth_ > to) {
            if (itemOpen_) out += "</text:list-item>";
            out += "</text:list>";
            --depth_;
            itemOpen_ = depth_ > 0;  // the enclosing item stays open
        }
    }

    // Opens or closes list elements so that the next paragraph sits at its level.
    void listItem(std::string& out, const ParaStyle& ps) {
        const int level = std::min(ps.listLevel, 10);
        if (level == 0) {
            closeLists(out, 0);
            return;
        }
        if (depth_ > level) closeLists(out, level);
        if (depth_ == level && itemOpen_) out += "</text:list-item>";
        while (depth_ < level) {
            if (depth_ == 0) firstItem_ = true;
            if (depth_ > 0 && !itemOpen_) out += "<text:list-item>";
            out += depth_ == 0 ? "<text:list text:style-name=\"" + listStyleName_ + "\">" : std::string("<text:list>");
            ++depth_;
            itemOpen_ = false;
            if (depth_ < level) {
                out += "<text:list-item>";
                itemOpen_ = true;
            }
        }
        out += "<text:list-item";
        if (ps.ordered && ps.listNumber > 0 && level == 1 && firstItem_) out += " text:start-value=\"" + std::to_string(ps.listNumber) + "\"";
        out += ">";
        firstItem_ = false;
        itemOpen_ = true;
    }
    bool firstItem_ = true;

    std::string paraStyle(const ParaStyle& ps) {
        std::string props;
        const std::string parent = ps.heading ? "Heading_20_" + std::to_string(std::min(ps.heading, 6)) : "Standard";
        props += " style:parent-style-name=\"" + parent + "\"";
        if (ps.listLevel > 0) props += " style:list-style-name=\"" + listStyleName_ + "\"";
        props += ">";
        std::string pp;
        switch (ps.align) {
        case Align::Left: pp += " fo:text-align=\"start\""; break;
        case Align::Center: pp += " fo:text-align=\"center\""; break;
        case Align::Right: pp += " fo:text-align=\"end\""; break;
        case Align::Justify: pp += " fo:text-align=\"justify\""; break;
        case Align::Natural: break;
        }
        if (ps.listLevel == 0) {
            if (ps.leftIndent) pp += " fo:margin-left=\"" + pt(ps.leftIndent) + "\"";
            if (ps.rightIndent) pp += " fo:margin-right=\"" + pt(ps.rightIndent) + "\"";
            if (ps.firstIndent) pp += " fo:text-indent=\"" + pt(ps.firstIndent) + "\"";
        }
        if (ps.spaceBefore) pp += " fo:margin-top=\"" + pt(ps.spaceBefore) + "\"";
        if (ps.spaceAfter) pp += " fo:margin-bottom=\"" + pt(ps.spaceAfter) + "\"";
        if (ps.pageBreakBefore) pp += " fo:break-before=\"page\"";
        if (!pp.empty()) props += "<style:paragraph-properties" + pp + "/>";
        if (ps.listLevel == 0 && !ps.heading && pp.empty()) return "Standard";
        auto it = paraStyles_.find(props);
        if (it != paraStyles_.end()) return it->second;
        const std::string name = prefix_ + "P" + std::to_string(paraStyles_.size() + 1);
        paraStyles_[props] = name;
        return name;
    }

    std::string textStyle(const CharStyle& cs) {
        std::string p;
        if (!cs.font.empty()) {
            fonts_.insert(cs.font);
            p += " style:font-name=\"" + xml::escaped(cs.font) + "\"";
        }
        if (cs.size > 0) p += " fo:font-size=\"" + pt(cs.size) + "\"";
        if (cs.bold) p += " fo:font-weight=\"bold\"";
        if (cs.italic) p += " fo:font-style=\"italic\"";
        if (cs.underline || !cs.link.empty())
            p += " style:text-underline-style=\"solid\" style:text-underline-width=\"auto\" style:text-underline-color=\"font-color\"";
        if (cs.strike) p += " style:text-line-through-style=\"solid\"";
        if (cs.color) p += " fo:color=\"#" + xml::hexColor(*cs.color) + "\"";
        else if (!cs.link.empty()) p += " fo:color=\"#0000EE\"";
        if (cs.background) p += " fo:background-color=\"#" + xml::hexColor(*cs.background) + "\"";
        if (cs.baseline > 0) p += " style:text-position=\"super 58%\"";
        if (cs.baseline < 0) p += " style:text-position=\"sub 58%\"";
        if (p.empty()) return {};
        auto it = textStyles_.find(p);
        if (it != textStyles_.end()) return it->second;
        const std::string name = prefix_ + "T" + std::to_string(textStyles_.size() + 1);
        textStyles_[p] = name;
        return name;
    }

    // Text with ODF's white-space rules: runs of spaces as text:s, tabs and breaks as elements.
    static void text(std::string& out, std::string_view t) {
        size_t i = 0;
        bool prevSpace = true;  // a leading space would be collapsed too
        while (i < t.size()) {
            const char c = t[i];
            if (c == ' ') {
                size_t j = i;
                while (j < t.size() && t[j] == ' ') ++j;
                size_t n = j - i;
                if (!prevSpace) {
                    out += ' ';
                    --n;
                }
                if (n > 0) out += n == 1 ? "<text:s/>" : "<text:s text:c=\"" + std::to_string(n) + "\"/>";
                prevSpace = true;
                i = j;
                continue;
            }
            prevSpace = false;
            if (c == '\t') {
                out += "<text:tab/>";
                prevSpace = true;
            } else if (c == '\n' || c == '\r' || c == '\v' || c == '\f') {
                out += "<text:line-break/>";
                prevSpace = true;
            } else if (t.compare(i, 3, "\xE2\x80\xA8") == 0) {
                out += "<text:line-break/>";
                prevSpace = true;
                i += 2;
            } else {
                xml::escape(out, std::string_view(&t[i], 1));
            }
            ++i;
        }
    }

    void picture(std::string& out, int att) {
        if (att < 0 || att >= int(doc_.attachments.size())) return;
        const Attachment& a = doc_.attachments[size_t(att)];
        if (!embeddable(a.mimeType)) return;
        auto it = pictures_.find(att);
        if (it == pictures_.end())
            it = pictures_
                     .emplace(att, "Pictures/" + prefix_ + std::to_string(pictures_.size() + 1) +
                                       "_" + a.fileName)
                     .first;
        double w = 0, h = 0;
        pictureSize(a, w, h);
        const std::string n = std::to_string(++frames_);
        out += "<draw:frame draw:style-name=\"Pic\" draw:name=\"Image" + n +
               "\" text:anchor-type=\"as-char\" svg:width=\"" + pt(w) + "\" svg:height=\"" + pt(h) +
               "\" draw:z-index=\"0\"><draw:image xlink:href=\"" + xml::escaped(it->second) +
               "\" xlink:type=\"simple\" xlink:show=\"embed\" xlink:actuate=\"onLoad\"/></draw:frame>";
    }

    void paragraph(std::string& out, const Paragraph& p) {
        const ParaStyle& ps = p.style;
        const std::string style = paraStyle(ps);
        if (ps.heading)
            out += "<text:h text:style-name=\"" + style + "\" text:outline-level=\"" + std::to_string(std::min(ps.heading, 6)) + "\">";
        else
            out += "<text:p text:style-name=\"" + style + "\">";
        size_t i = 0;
        while (i < p.runs.size()) {
            const std::string link = p.runs[i].attachment < 0 ? p.runs[i].style->link.str() : std::string();
            size_t j = i + 1;
            if (!link.empty())
                while (j < p.runs.size() && p.runs[j].attachment < 0 && p.runs[j].style->link == link) ++j;
            if (!link.empty()) out += "<text:a xlink:type=\"simple\" xlink:href=\"" + xml::escaped(link) + "\">";
            for (size_t k = i; k < j; ++k) {
                const Run& r = p.runs[k];
                if (r.note >= 0) {
                    note(out, r);
                    continue;
                }
                if (r.attachment >= 0) {
                    picture(out, r.attachment);
                    continue;
                }
                const std::string ts = textStyle(r.style);
                if (!ts.empty()) out += "<text:span text:style-name=\"" + ts + "\">";
                text(out, r.text);
                if (!ts.empty()) out += "</text:span>";
            }
            if (!link.empty()) out += "</text:a>";
            i = j;
        }
        out += ps.heading ? "</text:h>" : "</text:p>";
    }

    // The note in place, its text in the body of the citation; a note in a note shows its mark.
    void note(std::string& out, const Run& r) {
        if (r.note >= int(doc_.notes.size()) || inNote_) {
            Run mark;
            mark.text = noteMark(r);
            mark.style = r.style;
            mark.style.edit([](CharStyle& s) { s.baseline = 1; });
            const std::string ts = textStyle(mark.style);
            out += "<text:span text:style-name=\"" + ts + "\">";
            text(out, mark.text);
            out += "</text:span>";
            return;
        }
        const Note& n = doc_.notes[size_t(r.note)];
        const bool end = n.kind == Note::Kind::Endnote;
        const std::string number = std::to_string(++noteCount_[end]);
        out += std::string("<text:note text:id=\"") + (end ? "edn" : "ftn") + number +
               "\" text:note-class=\"" + (end ? "endnote" : "footnote") +
               "\"><text:note-citation>" + number + "</text:note-citation><text:note-body>";
        // The note's lists are its own.
        const int depth = depth_;
        const bool itemOpen = itemOpen_;
        const std::string listStyle = listStyleName_;
        depth_ = 0;
        itemOpen_ = false;
        inNote_ = true;
        if (n.blocks.empty()) out += "<text:p/>";
        blocks(out, n.blocks);
        inNote_ = false;
        depth_ = depth;
        itemOpen_ = itemOpen;
        listStyleName_ = listStyle;
        out += "</text:note-body></text:note>";
    }

    void table(std::string& out, const Table& t) {
        const size_t columns = std::max<size_t>(1, tableColumns(t));
        out += "<table:table table:style-name=\"Tbl\"><table:table-column table:number-columns-repeated=\"" +
               std::to_string(columns) + "\"/>";
        const std::string emptyCell = "<table:table-cell table:style-name=\"TblCell\" office:value-type=\"string\"><text:p/></table:table-cell>";
        const std::vector<std::vector<CellSlot>> slots = tableSlots(t);
        const size_t head = size_t(std::clamp(t.headerRows, 0, int(slots.size())));
        for (size_t r = 0; r < slots.size(); ++r) {
            if (r == 0 && head > 0) out += "<table:table-header-rows>";
            out += "<table:table-row>";
            size_t used = 0;
            for (const CellSlot& slot : slots[r]) {
                for (; used < size_t(slot.column); ++used) out += emptyCell;
                const TableCell& c = *slot.cell;
                const int span = std::max(1, c.colSpan);
                used += size_t(span);
                if (slot.continued) {
                    for (int k = 0; k < span; ++k) out += "<table:covered-table-cell/>";
                    continue;
                }
                out += "<table:table-cell table:style-name=\"TblCell\" office:value-type=\"string\"";
                if (span > 1) out += " table:number-columns-spanned=\"" + std::to_string(span) + "\"";
                // A span past the last row is cut there, as the covered cells stop there.
                const int rows = std::min(std::max(1, c.rowSpan), int(slots.size() - r));
                if (rows > 1) out += " table:number-rows-spanned=\"" + std::to_string(rows) + "\"";
                out += ">";
                if (c.blocks.empty()) out += "<text:p text:style-name=\"Table_20_Contents\"/>";
                blocks(out, c.blocks);
                out += "</table:table-cell>";
                for (int k = 1; k < span; ++k) out += "<table:covered-table-cell/>";
            }
            for (; used < columns; ++used) out += emptyCell;
            out += "</table:table-row>";
            if (r + 1 == head) out += "</table:table-header-rows>";
        }
        out += "</table:table>";
    }

    std::string styles(Writer& furniture, const std::string& header, const std::string& footer) {
        static const double sizes[] = {0, 24, 18, 14, 12, 10, 10};
        std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-styles ";
        s += kNamespaces;
        s +=
            " office:version=\"1.2\"><office:font-face-decls><style:font-face style:name=\"Times "
            "New Roman\" "
            "svg:font-family=\"&apos;Times New Roman&apos;\" style:font-family-generic=\"roman\"/>";
        for (const std::string& f : furniture.fonts_)
            if (f != "Times New Roman")
                s += "<style:font-face style:name=\"" + xml::escaped(f) +
                     "\" svg:font-family=\"&apos;" + xml::escaped(f) + "&apos;\"/>";
        s +=
            "</office:font-face-decls>"
            "<office:styles><style:default-style style:family=\"paragraph\"><style:text-properties "
            "style:font-name=\"Times New Roman\" fo:font-size=\"12pt\" fo:language=\"en\" "
            "fo:country=\"US\"/></style:default-style>"
            "<style:style style:name=\"Standard\" style:family=\"paragraph\" style:class=\"text\"/>"
            "<style:style style:name=\"Heading\" style:family=\"paragraph\" "
            "style:parent-style-name=\"Standard\" "
            "style:class=\"text\"><style:paragraph-properties fo:margin-top=\"12pt\" "
            "fo:margin-bottom=\"6pt\" "
            "fo:keep-with-next=\"always\"/><style:text-properties "
            "fo:font-weight=\"bold\"/></style:style>";
        for (int l = 1; l <= 6; ++l) {
            const std::string n = std::to_string(l);
            s += "<style:style style:name=\"Heading_20_" + n + "\" style:display-name=\"Heading " + n +
                 "\" style:family=\"paragraph\" style:parent-style-name=\"Heading\" style:next-style-name=\"Standard\" "
                 "style:default-outline-level=\"" + n + "\" style:class=\"text\"><style:text-properties fo:font-size=\"" +
                 pt(sizes[l]) + "\" fo:font-weight=\"bold\"/></style:style>";
        }
        s += "<style:style style:name=\"Table_20_Contents\" style:display-name=\"Table Contents\" "
             "style:family=\"paragraph\" style:parent-style-name=\"Standard\" "
             "style:class=\"extra\"/>"
             "</office:styles><office:automatic-styles><style:page-layout "
             "style:name=\"pm1\"><style:page-layout-properties "
             "fo:page-width=\"612pt\" fo:page-height=\"792pt\" fo:margin-top=\"72pt\" "
             "fo:margin-bottom=\"72pt\" "
             "fo:margin-left=\"72pt\" fo:margin-right=\"72pt\" "
             "style:print-orientation=\"portrait\"/></style:page-layout>";
        furniture.automaticStyles(s);
        s += "</office:automatic-styles><office:master-styles><style:master-page "
             "style:name=\"Standard\" "
             "style:page-layout-name=\"pm1\">";
        if (!header.empty()) s += "<style:header>" + header + "</style:header>";
        if (!footer.empty()) s += "<style:footer>" + footer + "</style:footer>";
        s += "</style:master-page></office:master-styles></office:document-styles>";
        return s;
    }

    std::string meta() {
        const Metadata& m = doc_.meta;
        std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-meta ";
        s += kNamespaces;
        s += " office:version=\"1.2\"><office:meta>";
        auto field = [&](const char* tag, const std::string& v) {
            if (!v.empty()) s += std::string("<") + tag + ">" + xml::escaped(v) + "</" + tag + ">";
        };
        field("meta:generator", m.generator.empty() ? std::string("textutil") : m.generator);
        field("dc:title", m.title);
        field("dc:subject", m.subject);
        field("dc:description", m.comment);
        field("meta:initial-creator", m.author);
        field("dc:creator", m.editor.empty() ? m.author : m.editor);
        field("meta:creation-date", m.creationTime.empty() ? "" : m.creationTime.substr(0, 19));
        field("dc:date", m.modificationTime.empty() ? "" : m.modificationTime.substr(0, 19));
        // Keywords are one element each.
        size_t start = 0;
        while (start < m.keywords.size()) {
            size_t comma = m.keywords.find(',', start);
            if (comma == std::string::npos) comma = m.keywords.size();
            std::string k = m.keywords.substr(start, comma - start);
            k.erase(0, k.find_first_not_of(' '));
            field("meta:keyword", k);
            start = comma + 1;
        }
        if (!m.company.empty())
            s += "<meta:user-defined meta:name=\"Company\">" + xml::escaped(m.company) + "</meta:user-defined>";
        s += "</office:meta></office:document-meta>";
        return s;
    }
};

} // namespace

Output writeOdt(const Document& doc, const WriteOptions& opts) {
    return Writer(doc).run(opts.sink);
}

} // namespace textutil

#include "encoding.h"
#include "html.h"
#include "media.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <stdexcept>

namespace textutil {
namespace html {

namespace {

std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

std::string hexColor(const Color& c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c.r, c.g, c.b);
    return buf;
}

class Writer {
public:
    Writer(const Document& doc, const WriteOptions& opts, const ImageSource& source, const std::string& charset)
        : doc_(doc), opts_(opts), source_(source), charset_(charset) {
        std::string lc = charset;
        std::transform(lc.begin(), lc.end(), lc.begin(), [](unsigned char c) { return std::tolower(c); });
        asciiOnly_ = lc != "utf-8" && lc.rfind("utf-16", 0) != 0;
        for (std::string e : opts.excludedElements) {
            std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return std::tolower(c); });
            excluded_.push_back(e);
        }
        inlineStyles_ = isExcluded("style");
    }

    // The head's style rules come first, so the classes are all known before any text is
    // written: the text itself then goes to `sink`, when given, a chunk at a time.
    std::string run(Sink* sink) {
        if (!inlineStyles_) {
            gatherClasses(doc_.blocks);
            for (const Note& n : doc_.notes)
                gatherClasses(n.blocks);
        }
        frozen_ = true;
        depth_ = 0;
        std::string out = "<!DOCTYPE html>\n";
        line(out, "<html>");
        ++depth_;
        line(out, "<head>");
        ++depth_;
        line(out, "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + charset_ + "\">");
        line(out, "<meta http-equiv=\"Content-Style-Type\" content=\"text/css\">");
        const Metadata& m = doc_.meta;
        if (!isExcluded("title")) line(out, "<title>" + escape(m.title) + "</title>");
        meta(out, "Generator", opts_.generator.empty() ? std::string("textutil") : opts_.generator);
        meta(out, "author", m.author);
        meta(out, "Description", m.subject);
        meta(out, "Keywords", m.keywords);
        meta(out, "Comment", m.comment);
        meta(out, "Editor", m.editor);
        meta(out, "Company", m.company);
        meta(out, "CreationTime", m.creationTime);
        meta(out, "ModificationTime", m.modificationTime);
        if (!inlineStyles_) {
            line(out, "<style type=\"text/css\">");
            line(out, "table.t1 {border-collapse: collapse}");
            line(out, "td.td1, th.td1 {border: 1px solid #000000; padding: 4px; vertical-align: top}");
            // In class order (p1, p2, ...), which is the order of first use.
            std::vector<std::pair<int, std::string>> rules;
            for (const auto& [key, cls] : paraClasses_)
                rules.emplace_back(std::stoi(cls.second.substr(1)), cls.first + "." + cls.second + " {" + key.substr(key.find('|') + 1) + "}");
            std::sort(rules.begin(), rules.end());
            for (const auto& r : rules) line(out, r.second);
            line(out, "</style>");
        }
        --depth_;
        line(out, "</head>");
        line(out, "<body>");
        depth_ = 2; // inside <html> and <body>
        sink_ = sink;
        blocks(out, doc_.blocks);
        notes(out);
        depth_ = 1;
        line(out, "</body>");
        --depth_;
        line(out, "</html>");
        drain(sink, out, true);
        return out;
    }

private:
    const Document& doc_;
    const WriteOptions& opts_;
    const ImageSource& source_;
    std::string charset_;
    bool asciiOnly_ = false;
    bool inlineStyles_ = false;
    std::vector<std::string> excluded_;
    std::map<std::string, std::pair<std::string, std::string>> paraClasses_;  // css -> (tag, class)
    bool frozen_ = false;  // the style rules are written: no class may join them
    Sink* sink_ = nullptr; // takes the text so far between blocks, in cells too
    int depth_ = 0;
    struct OpenList { bool ordered; bool itemOpen; };
    std::vector<OpenList> lists_;
    std::vector<bool> cited_; // per note: its reference has been written (and holds the id)
    std::string backLink_;    // ends the paragraph backLinkPara_ points at
    const Paragraph* backLinkPara_ = nullptr;

    bool isExcluded(const std::string& tag) const {
        return std::find(excluded_.begin(), excluded_.end(), tag) != excluded_.end();
    }

    void line(std::string& out, const std::string& text) {
        if (opts_.prefixSpaces > 0) out.append(size_t(depth_ * opts_.prefixSpaces), ' ');
        out += text;
        out += '\n';
    }

    void indent(std::string& out) {
        if (opts_.prefixSpaces > 0) out.append(size_t(depth_ * opts_.prefixSpaces), ' ');
    }

    void meta(std::string& out, const char* name, const std::string& value) {
        if (value.empty() || isExcluded("meta")) return;
        line(out, std::string("<meta name=\"") + name + "\" content=\"" + escape(value) + "\">");
    }

    std::string escape(std::string_view s) const {
        std::string out;
        out.reserve(s.size() + 16);
        size_t i = 0;
        while (i < s.size()) {
            const char c = s[i];
            switch (c) {
            case '&': out += "&amp;"; ++i; continue;
            case '<': out += "&lt;"; ++i; continue;
            case '>': out += "&gt;"; ++i; continue;
            case '"': out += "&quot;"; ++i; continue;
            default: break;
            }
            if (static_cast<unsigned char>(c) < 0x80) {
                out += c;
                ++i;
                continue;
            }
            const size_t start = i;
            const uint32_t cp = nextCodepoint(s, i);
            if (cp == 0x2028) out += "<br>";
            else if (asciiOnly_) out += "&#" + std::to_string(cp) + ";";
            else out.append(s.substr(start, i - start));
        }
        return out;
    }

    // A class for a paragraph's set of declarations, shared by every paragraph that has the
    // same set; a span's inline, as LibreOffice reads no class rules on spans.
    std::string styleAttr(const std::string& tag, const std::string& css, bool paragraph) {
        if (css.empty()) return {};
        if (inlineStyles_ || !paragraph) return " style=\"" + css + "\"";
        auto it = paraClasses_.find(tag + "|" + css);
        if (it == paraClasses_.end()) {
            if (frozen_) throw std::logic_error("paragraph class missing from the style rules");
            const std::string cls = "p" + std::to_string(paraClasses_.size() + 1);
            it = paraClasses_.emplace(tag + "|" + css, std::make_pair(tag, cls)).first;
        }
        return " class=\"" + it->second.second + "\"";
    }

    // Blanks that HTML would collapse: leading, trailing, doubled, or tabs.
    static bool needsPreWrap(const Paragraph& p) {
        const std::string t = p.plainText();
        return !t.empty() && (t.front() == ' ' || t.back() == ' ' || t.find("  ") != std::string::npos ||
                              t.find('\t') != std::string::npos);
    }

    std::string paragraphCss(const Paragraph& p) {
        const ParaStyle& s = p.style;
        std::string css;
        switch (s.align) {
        case Align::Left: css += "text-align: left; "; break;
        case Align::Center: css += "text-align: center; "; break;
        case Align::Right: css += "text-align: right; "; break;
        case Align::Justify: css += "text-align: justify; "; break;
        case Align::Natural: break;
        }
        if (s.listLevel == 0 && s.leftIndent) css += "margin-left: " + num(s.leftIndent) + "pt; ";
        if (s.rightIndent) css += "margin-right: " + num(s.rightIndent) + "pt; ";
        if (s.listLevel == 0 && s.firstIndent) css += "text-indent: " + num(s.firstIndent) + "pt; ";
        if (s.spaceBefore) css += "margin-top: " + num(s.spaceBefore) + "pt; ";
        if (s.spaceAfter) css += "margin-bottom: " + num(s.spaceAfter) + "pt; ";
        if (s.pageBreakBefore) css += "page-break-before: always; ";
        if (needsPreWrap(p)) css += "white-space: pre-wrap; ";
        if (!css.empty()) css.resize(css.size() - 2);
        return css;
    }

    std::string spanCss(const CharStyle& cs) {
        std::string css;
        if (!cs.font.empty()) {
            const bool quote = cs.font.find_first_of(" 0123456789") != std::string::npos;
            css += "font-family: " + (quote ? "'" + cs.font + "'" : cs.font.str()) + "; ";
        }
        if (cs.size > 0) css += "font-size: " + num(cs.size) + "pt; ";
        if (cs.color) css += "color: " + hexColor(*cs.color) + "; ";
        if (cs.background) css += "background-color: " + hexColor(*cs.background) + "; ";
        if (!css.empty()) css.resize(css.size() - 2);
        return css;
    }

    // An indented body paragraph is a block quote (a hanging indent is not).
    static bool isQuote(const Block& b) {
        const ParaStyle& s = b.paragraph.style;
        return !b.table && s.listLevel == 0 && s.heading == 0 && s.leftIndent >= 18 &&
               s.firstIndent >= 0;
    }

    // Body text or a cell's content; lists end with it, and neighbouring quotes share one
    // <blockquote>.
    void blocks(std::string& out, const std::vector<Block>& blocks) {
        bool quote = false;
        for (const Block& b : blocks) {
            drain(sink_, out);
            if (isQuote(b) != quote && !isExcluded("blockquote")) {
                closeLists(out, 0);
                quote = !quote;
                if (!quote) --depth_;
                line(out, quote ? "<blockquote>" : "</blockquote>");
                if (quote) ++depth_;
            }
            if (b.table) {
                closeLists(out, 0);
                table(out, *b.table);
            } else {
                paragraph(out, b.paragraph, true);
            }
        }
        closeLists(out, 0);
        if (quote) {
            --depth_;
            line(out, "</blockquote>");
        }
    }

    void closeLists(std::string& out, size_t keep) {
        while (lists_.size() > keep) {
            --depth_;
            if (lists_.back().itemOpen) line(out, "</li>");
            --depth_;
            line(out, lists_.back().ordered ? "</ol>" : "</ul>");
            lists_.pop_back();
        }
    }

    // The item's text goes straight into its <li>, which stays open for a nested list.
    void listItem(std::string& out, const Paragraph& p) {
        const ParaStyle& s = p.style;
        const size_t level = size_t(s.listLevel);
        closeLists(out, std::min(level, lists_.size()));
        if (lists_.size() == level && lists_.back().ordered != s.ordered) closeLists(out, level - 1);
        if (lists_.size() == level && lists_.back().itemOpen) {
            --depth_;
            line(out, "</li>");
            lists_.back().itemOpen = false;
        }
        while (lists_.size() < level) {
            std::string tag = s.ordered ? "<ol" : "<ul";
            if (s.ordered && s.listNumber > 1 && lists_.size() + 1 == level) tag += " start=\"" + std::to_string(s.listNumber) + "\"";
            line(out, tag + ">");
            ++depth_;
            lists_.push_back({s.ordered, false});
            if (lists_.size() < level) {
                line(out, "<li>");
                ++depth_;
                lists_.back().itemOpen = true;
            }
        }
        indent(out);
        out += "<li" + styleAttr("li", paragraphCss(p), true) + ">";
        runs(out, p);
        out += '\n';
        ++depth_;
        lists_.back().itemOpen = true;
    }

    void paragraph(std::string& out, const Paragraph& p, bool topLevel) {
        if (topLevel) {
            if (p.style.listLevel > 0) {
                listItem(out, p);
                return;
            }
            closeLists(out, 0);
        }
        const std::string tag = paragraphTag(p);
        indent(out);
        out += "<" + tag + styleAttr(tag, paragraphCss(p), true) + ">";
        runs(out, p);
        out += "</" + tag + ">\n";
    }

    std::string paragraphTag(const Paragraph& p) const {
        std::string tag = p.style.heading ? "h" + std::to_string(p.style.heading) : "p";
        if (isExcluded(tag)) tag = isExcluded("p") ? "div" : "p";
        return tag;
    }

    // The classes paragraph() and listItem() will use, numbered in the order they are written.
    void gatherClasses(const std::vector<Block>& blocks) {
        for (const Block& b : blocks) {
            if (b.table) {
                for (const TableRow& row : b.table->rows)
                    for (const TableCell& cell : row.cells)
                        gatherClasses(cell.blocks);
                continue;
            }
            const Paragraph& p = b.paragraph;
            styleAttr(p.style.listLevel > 0 ? std::string("li") : paragraphTag(p), paragraphCss(p),
                      true);
        }
    }

    // Neighbouring runs that share font, size and colours share one <span>.
    void runs(std::string& out, const Paragraph& p) {
        if (p.runs.empty()) {
            out += &p == backLinkPara_ ? backLink_ : std::string("<br>");
            return;
        }
        std::string link, spanCssOpen;
        bool spanOpen = false;
        auto closeSpan = [&] {
            if (spanOpen) out += "</span>";
            spanOpen = false;
        };
        for (const Run& r : p.runs) {
            if (r.note >= 0) {
                closeSpan();
                if (!link.empty()) out += "</a>";
                link.clear();
                noteReference(out, r);
                continue;
            }
            const bool picture = r.attachment >= 0 && r.attachment < int(doc_.attachments.size());
            const std::string css = picture || isExcluded("span") ? std::string() : spanCss(r.style);
            if (r.style->link != link) {
                closeSpan();
                if (!link.empty()) out += "</a>";
                link = r.style->link;
                if (!link.empty()) out += "<a href=\"" + escape(link) + "\">";
            }
            if (spanOpen && css != spanCssOpen) closeSpan();
            if (picture) {
                closeSpan();
                attachment(out, r.attachment);
                continue;
            }
            if (!spanOpen && !css.empty()) {
                out += "<span" + styleAttr("span", css, false) + ">";
                spanOpen = true;
                spanCssOpen = css;
            }
            const CharStyle& cs = r.style;
            std::vector<const char*> tags;
            if (cs.bold) tags.push_back("b");
            if (cs.italic) tags.push_back("i");
            if (cs.underline) tags.push_back("u");
            if (cs.strike) tags.push_back("s");
            if (cs.baseline > 0) tags.push_back("sup");
            if (cs.baseline < 0) tags.push_back("sub");
            tags.erase(std::remove_if(tags.begin(), tags.end(), [&](const char* t) { return isExcluded(t); }), tags.end());
            for (const char* t : tags) out += std::string("<") + t + ">";
            out += escape(r.text);
            for (auto it = tags.rbegin(); it != tags.rend(); ++it) out += std::string("</") + *it + ">";
        }
        closeSpan();
        if (!link.empty()) out += "</a>";
        if (&p == backLinkPara_) out += backLink_;
    }

    // A linked note: the reference points at the note's item after the body, which points back.
    void noteReference(std::string& out, const Run& r) {
        const std::string n = std::to_string(r.note + 1);
        out += "<a href=\"#fn" + n + "\"";
        if (r.note < int(doc_.notes.size())) {
            cited_.resize(doc_.notes.size());
            if (!cited_[size_t(r.note)]) out += " id=\"fnref" + n + "\"";
            cited_[size_t(r.note)] = true;
        }
        out += " class=\"footnote-ref\" role=\"doc-noteref\"><sup>" + escape(noteMark(r)) +
               "</sup></a>";
    }

    // The notes after the body, in one numbered list whose items the references point at.
    void notes(std::string& out) {
        if (doc_.notes.empty()) return;
        line(out, "<section class=\"footnotes\" role=\"doc-endnotes\">");
        ++depth_;
        line(out, "<hr>");
        line(out, "<ol>");
        ++depth_;
        for (size_t i = 0; i < doc_.notes.size(); ++i) {
            const Note& note = doc_.notes[i];
            const std::string n = std::to_string(i + 1);
            line(out, "<li id=\"fn" + n + "\"" +
                          (note.kind == Note::Kind::Endnote ? " class=\"endnote\"" : "") + ">");
            ++depth_;
            std::string back;
            if (i < cited_.size() && cited_[i])
                back = "<a href=\"#fnref" + n +
                       "\" class=\"footnote-back\" role=\"doc-backlink\">" +
                       escape("\xE2\x86\xA9") + "</a>";
            // The way back ends the note's last paragraph, or stands alone after a table.
            const bool inLast = !back.empty() && !note.blocks.empty() && !note.blocks.back().table;
            if (inLast) {
                backLink_ = back;
                backLinkPara_ = &note.blocks.back().paragraph;
            }
            blocks(out, note.blocks);
            backLinkPara_ = nullptr;
            if (!back.empty() && !inLast) line(out, "<p>" + back + "</p>");
            --depth_;
            line(out, "</li>");
        }
        --depth_;
        line(out, "</ol>");
        --depth_;
        line(out, "</section>");
    }

    void attachment(std::string& out, int index) {
        const Attachment& a = doc_.attachments[size_t(index)];
        const std::string src = source_ ? source_(index) : std::string();
        if (src.empty()) return;
        if (!isImageMime(a.mimeType)) {
            out += "<a href=\"" + escape(src) + "\">" + escape(a.fileName) + "</a>";
            return;
        }
        if (isExcluded("img")) return;
        out += "<img src=\"" + escape(src) + "\" alt=\"" + escape(a.fileName) + "\"";
        int pw = 0, ph = 0;
        double w = a.width, h = a.height;
        if ((w <= 0 || h <= 0) && imagePixelSize(a.data, pw, ph)) {
            w = pw * 0.75;
            h = ph * 0.75;
        }
        if (w > 0 && h > 0)
            out += " width=\"" + std::to_string(int(std::lround(w / 0.75))) + "\" height=\"" + std::to_string(int(std::lround(h / 0.75))) + "\"";
        out += ">";
    }

    void table(std::string& out, const Table& t) {
        line(out, inlineStyles_ ? "<table cellspacing=\"0\" cellpadding=\"4\" style=\"border-collapse: collapse\">"
                                : "<table cellspacing=\"0\" cellpadding=\"4\" class=\"t1\">");
        ++depth_;
        const size_t head = size_t(std::clamp(t.headerRows, 0, int(t.rows.size())));
        for (size_t r = 0; r < t.rows.size(); ++r) {
            if (head > 0 && (r == 0 || r == head)) {
                if (r == head) {
                    --depth_;
                    line(out, "</thead>");
                }
                line(out, r == 0 ? "<thead>" : "<tbody>");
                ++depth_;
            }
            line(out, "<tr>");
            ++depth_;
            const char* cellTag = r < head ? "th" : "td";
            for (const TableCell& cell : t.rows[r].cells) {
                std::string td = std::string("<") + cellTag;
                if (cell.colSpan > 1) td += " colspan=\"" + std::to_string(cell.colSpan) + "\"";
                const int rows = std::min(std::max(1, cell.rowSpan), int(t.rows.size() - r));
                if (rows > 1) td += " rowspan=\"" + std::to_string(rows) + "\"";
                td += inlineStyles_ ? " style=\"border: 1px solid #000000; padding: 4px; vertical-align: top\">" : " class=\"td1\">";
                line(out, td);
                ++depth_;
                blocks(out, cell.blocks);
                --depth_;
                line(out, std::string("</") + cellTag + ">");
            }
            --depth_;
            line(out, "</tr>");
        }
        if (head > 0) {
            --depth_;
            line(out, head < t.rows.size() ? "</tbody>" : "</thead>");
        }
        --depth_;
        line(out, "</table>");
    }
};

} // namespace

std::string render(const Document& doc, const WriteOptions& opts, const ImageSource& source,
                   const std::string& charset, Sink* sink) {
    return Writer(doc, opts, source, charset).run(sink);
}

} // namespace html

Output writeHtml(const Document& doc, const WriteOptions& opts) {
    // Pictures travel inside the page as data URLs, so the output stays one file.
    html::ImageSource source = [&doc, &opts](int index) -> std::string {
        if (opts.noStore) return {};
        const Attachment& a = doc.attachments[size_t(index)];
        return "data:" + a.mimeType + ";base64," + base64Encode(a.data);
    };
    std::string enc = opts.encoding.empty() ? std::string("UTF-8") : opts.encoding;
    std::string upper = enc;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    Output o;
    if (upper == "UTF-8" || upper == "UTF8") {
        o.data = html::render(doc, opts, source, "UTF-8", opts.sink);
        o.streamed = opts.sink != nullptr;
    } else if (upper == "UTF-16" || upper == "UNICODE") {
        o.data = utf16WithBom(html::render(doc, opts, source, "UTF-16"));
    } else {
        // Characters beyond the charset are written as references, so conversion cannot fail.
        o.data = convertEncoding(html::render(doc, opts, source, enc), "UTF-8", enc);
    }
    return o;
}

} // namespace textutil

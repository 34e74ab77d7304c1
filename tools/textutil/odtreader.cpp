#include "formats.h"
#include "media.h"
#include "officexml.h"
#include "zipfile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <stdexcept>

namespace textutil {

namespace {

// Text properties as they cascade from parent styles; unset fields inherit.
struct TextProps {
    std::optional<bool> bold, italic, underline, strike;
    std::optional<double> size, sizePercent;
    std::optional<std::string> font;
    std::optional<Color> color, background;
    std::optional<int> baseline;

    void over(const TextProps& o) {
        if (o.bold) bold = o.bold;
        if (o.italic) italic = o.italic;
        if (o.underline) underline = o.underline;
        if (o.strike) strike = o.strike;
        if (o.size) {
            size = o.size;
            sizePercent.reset();
        }
        if (o.sizePercent) size = size.value_or(12) * *o.sizePercent / 100;
        if (o.font) font = o.font;
        if (o.color) color = o.color;
        if (o.background) background = o.background;
        if (o.baseline) baseline = o.baseline;
    }
};

struct ParaProps {
    std::optional<Align> align;
    std::optional<double> left, right, first, before, after;
    std::optional<bool> breakBefore, breakAfter; // a page break
    void over(const ParaProps& o) {
        if (o.align) align = o.align;
        if (o.breakBefore) breakBefore = o.breakBefore;
        if (o.breakAfter) breakAfter = o.breakAfter;
        if (o.left) left = o.left;
        if (o.right) right = o.right;
        if (o.first) first = o.first;
        if (o.before) before = o.before;
        if (o.after) after = o.after;
    }
};

struct StyleDef {
    std::string parent, displayName, listStyle;
    int outline = 0;
    TextProps text;
    ParaProps para;
};

struct ListLevel {
    bool ordered = false;
    int start = 1;
};
using ListStyle = std::array<ListLevel, 10>;

// A length in points: "2cm", "0.5in", "12pt", "3mm", "1pc", "10px".
std::optional<double> length(const std::string& v) {
    if (v.empty()) return std::nullopt;
    char* end = nullptr;
    const double n = std::strtod(v.c_str(), &end);
    if (end == v.c_str()) return std::nullopt;
    const std::string unit(end);
    if (unit == "cm") return n * 72 / 2.54;
    if (unit == "mm") return n * 72 / 25.4;
    if (unit == "in" || unit == "inch") return n * 72;
    if (unit == "pc") return n * 12;
    if (unit == "px") return n * 0.75;
    return n;
}

std::string unquote(std::string s) {
    if (s.size() >= 2 && (s[0] == '\'' || s[0] == '"') && s.back() == s[0]) s = s.substr(1, s.size() - 2);
    return s;
}

std::string isoTime(const std::string& s) {
    if (s.size() < 10) return {};
    if (s.size() >= 19) return s.substr(0, 19) + "Z";
    return s.substr(0, 10) + "T00:00:00Z";
}

class Reader {
public:
    Reader(const zip::Archive& z, Document& doc) : z_(z), doc_(doc) {}

    void run() {
        const auto content = z_.read("content.xml");
        if (!content) throw std::runtime_error("the package has no content.xml");
        if (auto styles = z_.read("styles.xml")) {
            const auto sd = xml::parse(*styles, "styles.xml");
            const xmlNode* root = xmlDocGetRootElement(sd.get());
            fonts(xml::child(root, "font-face-decls"));
            styleList(xml::child(root, "styles"));
            // The header and footer use the automatic styles of styles.xml, which content.xml's
            // may override by name afterwards.
            styleList(xml::child(root, "automatic-styles"));
            masterPage(xml::child(root, "master-styles"));
        }
        if (auto meta = z_.read("meta.xml")) readMeta(*meta);
        const auto cd = xml::parse(*content, "content.xml");
        const xmlNode* root = xmlDocGetRootElement(cd.get());
        fonts(xml::child(root, "font-face-decls"));
        styleList(xml::child(root, "automatic-styles"));
        const xmlNode* text = xml::child(xml::child(root, "body"), "text");
        if (!text) throw std::runtime_error("content.xml has no office:text body");
        blocks(text, doc_.blocks, 0);
        // The notes' text, read once the body is; notes cited in a note follow its own text.
        readingNotes_ = true;
        for (size_t i = 0; i < notes_.size(); ++i) {
            std::vector<Block> note;
            blocks(notes_[i], note, 0);
            trimNoteStart(note);
            const std::vector<const xmlNode*> nested = std::move(nested_);
            nested_.clear();
            for (size_t k = 0; k < nested.size(); ++k) {
                std::vector<Block> inner;
                blocks(nested[k], inner, 0);
                trimNoteStart(inner);
                appendNoteText(note, std::move(inner), int(k + 1));
            }
            nested_.clear();
            doc_.notes[i].blocks = std::move(note);
        }
    }

    std::vector<const xmlNode*> notes_;  // note bodies, one per note of doc_.notes
    std::vector<const xmlNode*> nested_; // bodies of notes cited in the note being read
    bool readingNotes_ = false;

private:
    const zip::Archive& z_;
    Document& doc_;
    std::map<std::string, std::string> fonts_;
    std::map<std::string, StyleDef> styles_;  // "family:name"
    std::map<std::string, ListStyle> lists_;
    std::map<std::string, int> pictures_;
    std::string defaultParaStyle_ = "\x01" "default";

    // List context while walking nested text:list elements.
    struct ListContext {
        std::string style;
        int level = 0;
        std::array<int, 10> counters{};
        int pendingStart = 0;
        bool itemFirst = false;  // the next paragraph is the first of its list item
    };
    std::vector<ListContext*> listStack_;
    std::map<std::string, std::array<int, 10>> savedCounters_;  // by xml:id for continue-list

    void fonts(const xmlNode* decls) {
        if (!decls) return;
        for (const xmlNode* f = decls->children; f; f = f->next)
            if (xml::is(f, "font-face")) fonts_[xml::attr(f, "name")] = unquote(xml::attr(f, "font-family"));
    }

    TextProps textProps(const xmlNode* tp) {
        TextProps t;
        if (!tp) return t;
        const std::string weight = xml::attr(tp, "font-weight");
        if (!weight.empty()) t.bold = weight == "bold" || (std::atoi(weight.c_str()) >= 600);
        const std::string style = xml::attr(tp, "font-style");
        if (!style.empty()) t.italic = style == "italic" || style == "oblique";
        const std::string ul = xml::attr(tp, "text-underline-style");
        if (!ul.empty()) t.underline = ul != "none";
        const std::string lt = xml::attr(tp, "text-line-through-style");
        if (!lt.empty()) t.strike = lt != "none";
        const std::string size = xml::attr(tp, "font-size", "xsl-fo");
        if (!size.empty()) {
            if (size.back() == '%') t.sizePercent = std::strtod(size.c_str(), nullptr);
            else t.size = length(size);
        }
        std::string font = xml::attr(tp, "font-name");
        if (!font.empty()) {
            auto it = fonts_.find(font);
            t.font = it != fonts_.end() ? it->second : font;
        } else if (!(font = xml::attr(tp, "font-family", "xsl-fo")).empty()) {
            t.font = unquote(font);
        }
        const std::string color = xml::attr(tp, "color", "xsl-fo");
        if (auto c = xml::parseHexColor(color)) t.color = c;
        const std::string bg = xml::attr(tp, "background-color", "xsl-fo");
        if (bg == "transparent") t.background.reset();
        else if (auto c = xml::parseHexColor(bg)) t.background = c;
        const std::string pos = xml::attr(tp, "text-position");
        if (!pos.empty()) {
            if (pos.rfind("super", 0) == 0) t.baseline = 1;
            else if (pos.rfind("sub", 0) == 0) t.baseline = -1;
            else {
                const double v = std::strtod(pos.c_str(), nullptr);
                t.baseline = v > 0 ? 1 : v < 0 ? -1 : 0;
            }
        }
        return t;
    }

    ParaProps paraProps(const xmlNode* pp) {
        ParaProps p;
        if (!pp) return p;
        const std::string a = xml::attr(pp, "text-align");
        if (a == "start" || a == "left") p.align = Align::Left;
        else if (a == "center") p.align = Align::Center;
        else if (a == "end" || a == "right") p.align = Align::Right;
        else if (a == "justify") p.align = Align::Justify;
        p.left = length(xml::attr(pp, "margin-left", "xsl-fo"));
        p.right = length(xml::attr(pp, "margin-right", "xsl-fo"));
        p.first = length(xml::attr(pp, "text-indent", "xsl-fo"));
        p.before = length(xml::attr(pp, "margin-top", "xsl-fo"));
        p.after = length(xml::attr(pp, "margin-bottom", "xsl-fo"));
        if (const std::string b = xml::attr(pp, "break-before", "xsl-fo"); !b.empty())
            p.breakBefore = b == "page";
        if (const std::string b = xml::attr(pp, "break-after", "xsl-fo"); !b.empty())
            p.breakAfter = b == "page";
        return p;
    }

    void styleList(const xmlNode* styles) {
        if (!styles) return;
        for (const xmlNode* s = styles->children; s; s = s->next) {
            if (xml::is(s, "style") || xml::is(s, "default-style")) {
                StyleDef d;
                d.parent = xml::attr(s, "parent-style-name");
                d.displayName = xml::attr(s, "display-name");
                d.listStyle = xml::attr(s, "list-style-name");
                d.outline = std::atoi(xml::attr(s, "default-outline-level").c_str());
                d.text = textProps(xml::child(s, "text-properties"));
                d.para = paraProps(xml::child(s, "paragraph-properties"));
                const std::string family = xml::attr(s, "family");
                const std::string name = xml::is(s, "default-style") ? defaultParaStyle_ : xml::attr(s, "name");
                styles_[family + ":" + name] = std::move(d);
            } else if (xml::is(s, "list-style")) {
                ListStyle ls;
                for (const xmlNode* l = s->children; l; l = l->next) {
                    const int level = std::atoi(xml::attr(l, "level").c_str());
                    if (level < 1 || level > 10) continue;
                    ListLevel& lv = ls[size_t(level - 1)];
                    lv.ordered = xml::is(l, "list-level-style-number") && !xml::attr(l, "num-format").empty();
                    const std::string start = xml::attr(l, "start-value");
                    if (!start.empty()) lv.start = std::atoi(start.c_str());
                }
                lists_[xml::attr(s, "name")] = ls;
            }
        }
    }

    // Properties of a style with its ancestors, the family's default style first.
    void resolve(const std::string& family, const std::string& name, TextProps& t, ParaProps* p, int depth = 0) {
        if (depth == 0) {
            auto d = styles_.find(family + ":" + defaultParaStyle_);
            if (d != styles_.end()) {
                t.over(d->second.text);
                if (p) p->over(d->second.para);
            }
        }
        auto it = styles_.find(family + ":" + name);
        if (it == styles_.end() || depth > 20) return;
        if (!it->second.parent.empty() && it->second.parent != name) resolve(family, it->second.parent, t, p, depth + 1);
        t.over(it->second.text);
        if (p) p->over(it->second.para);
    }

    int outlineOf(const std::string& name) {
        for (std::string n = name; !n.empty();) {
            auto it = styles_.find("paragraph:" + n);
            if (it == styles_.end()) break;
            if (it->second.outline > 0) return it->second.outline;
            if (n.rfind("Heading_20_", 0) == 0) return std::atoi(n.c_str() + 11);
            if (n == it->second.parent) break;
            n = it->second.parent;
        }
        return 0;
    }

    std::string listStyleOf(const std::string& paraStyle) {
        for (std::string n = paraStyle; !n.empty();) {
            auto it = styles_.find("paragraph:" + n);
            if (it == styles_.end()) break;
            if (!it->second.listStyle.empty()) return it->second.listStyle;
            if (n == it->second.parent) break;
            n = it->second.parent;
        }
        return {};
    }

    void readMeta(const std::string& data) {
        const auto md = xml::parse(data, "meta.xml");
        const xmlNode* meta = xml::child(xmlDocGetRootElement(md.get()), "meta");
        if (!meta) return;
        Metadata& m = doc_.meta;
        for (const xmlNode* n = meta->children; n; n = n->next) {
            if (n->type != XML_ELEMENT_NODE) continue;
            const std::string v = xml::text(n);
            if (xml::is(n, "title")) m.title = v;
            else if (xml::is(n, "subject")) m.subject = v;
            else if (xml::is(n, "keyword")) m.keywords += (m.keywords.empty() ? "" : ", ") + v;
            else if (xml::is(n, "description")) m.comment = v;
            else if (xml::is(n, "initial-creator")) m.author = v;
            else if (xml::is(n, "creator")) m.editor = v;
            else if (xml::is(n, "creation-date")) m.creationTime = isoTime(v);
            else if (xml::is(n, "date")) m.modificationTime = isoTime(v);
            else if (xml::is(n, "generator")) m.generator = v;
            else if (xml::is(n, "user-defined") && xml::attr(n, "name") == "Company") m.company = v;
        }
        if (m.author.empty()) m.author = m.editor;
    }

    // The header and footer of the default master page ("Standard", else the first).
    void masterPage(const xmlNode* masters) {
        const xmlNode* page = nullptr;
        for (const xmlNode* m = masters ? masters->children : nullptr; m; m = m->next) {
            if (!xml::is(m, "master-page")) continue;
            if (!page || xml::attr(m, "name") == "Standard") page = m;
        }
        if (!page) return;
        // The first-page and left-page ones stand in when the page has no default one.
        for (const auto& [kind, into] : {std::pair<std::string, std::vector<Block>*>{"header", &doc_.header},
                                         std::pair<std::string, std::vector<Block>*>{"footer", &doc_.footer}}) {
            const xmlNode* n = xml::child(page, kind.c_str());
            if (!n) n = xml::child(page, (kind + "-first").c_str());
            if (!n) n = xml::child(page, (kind + "-left").c_str());
            if (n) blocks(n, *into, 0);
        }
        breakPending_ = false;
    }

    void blocks(const xmlNode* parent, std::vector<Block>& out, int) {
        for (const xmlNode* c = parent->children; c; c = c->next) {
            if (c->type != XML_ELEMENT_NODE) continue;
            if (xml::is(c, "p") || xml::is(c, "h")) {
                paragraph(c, out);
            } else if (xml::is(c, "list")) {
                list(c, out);
            } else if (xml::is(c, "table")) {
                Block& b = out.emplace_back();
                b.table = table(c);
            } else if (xml::is(c, "section") || xml::is(c, "index-body") || xml::is(c, "index-title") ||
                       xml::is(c, "table-of-content") || xml::is(c, "alphabetical-index") ||
                       xml::is(c, "illustration-index") || xml::is(c, "table-index") || xml::is(c, "user-index") ||
                       xml::is(c, "bibliography") || xml::is(c, "object-index")) {
                blocks(c, out, 0);
            }
            // Declarations, tracked changes and forms carry no body text.
        }
    }

    void list(const xmlNode* l, std::vector<Block>& out) {
        ListContext ctx;
        ListContext* outer = listStack_.empty() ? nullptr : listStack_.back();
        ctx.style = xml::attr(l, "style-name");
        if (outer) {
            ctx.level = outer->level + 1;
            if (ctx.style.empty()) ctx.style = outer->style;
            ctx.counters = outer->counters;
        } else {
            ctx.level = 1;
            const std::string cont = xml::attr(l, "continue-list");
            if (!cont.empty() && savedCounters_.count(cont)) ctx.counters = savedCounters_[cont];
            else if (xml::attr(l, "continue-numbering") == "true" && savedCounters_.count("\x01last"))
                ctx.counters = savedCounters_["\x01last"];
        }
        listStack_.push_back(&ctx);
        for (const xmlNode* item = l->children; item; item = item->next) {
            if (!xml::is(item, "list-item") && !xml::is(item, "list-header")) continue;
            const std::string start = xml::attr(item, "start-value");
            if (!start.empty()) ctx.pendingStart = std::atoi(start.c_str());
            ctx.itemFirst = true;
            for (const xmlNode* c = item->children; c; c = c->next) {
                if (xml::is(c, "list")) {
                    list(c, out);
                } else if (xml::is(c, "p") || xml::is(c, "h")) {
                    paragraph(c, out);
                } else if (xml::is(c, "table")) {
                    Block& b = out.emplace_back();
                    b.table = table(c);
                }
            }
        }
        listStack_.pop_back();
        if (outer) {
            // The nested list's counters for its own and deeper levels carry back out.
            for (int i = ctx.level - 1; i < 10; ++i) outer->counters[size_t(i)] = ctx.counters[size_t(i)];
        } else {
            const std::string id = xml::attr(l, "id");
            if (!id.empty()) savedCounters_[id] = ctx.counters;
            savedCounters_["\x01last"] = ctx.counters;
        }
    }

    void paragraph(const xmlNode* p, std::vector<Block>& out) {
        Block& b = out.emplace_back();
        Paragraph& para = b.paragraph;
        const std::string style = xml::attr(p, "style-name");
        TextProps t;
        ParaProps pp;
        resolve("paragraph", style, t, &pp);
        ParaStyle& ps = para.style;
        ps.align = pp.align.value_or(Align::Natural);
        ps.leftIndent = pp.left.value_or(0);
        ps.rightIndent = pp.right.value_or(0);
        ps.firstIndent = pp.first.value_or(0);
        ps.spaceBefore = pp.before.value_or(0);
        ps.spaceAfter = pp.after.value_or(0);
        ps.pageBreakBefore = pp.breakBefore.value_or(false) || breakPending_;
        breakPending_ = pp.breakAfter.value_or(false);
        if (xml::is(p, "h")) {
            const std::string lvl = xml::attr(p, "outline-level");
            ps.heading = lvl.empty() ? std::max(1, outlineOf(style)) : std::atoi(lvl.c_str());
        } else {
            ps.heading = outlineOf(style);
        }
        ps.heading = std::clamp(ps.heading, 0, 6);
        if (!listStack_.empty() && !listStack_.back()->itemFirst) {
            // Later paragraphs of an item have no marker of their own.
            ps.leftIndent = std::max(ps.leftIndent, 36.0 * listStack_.back()->level);
        } else if (!listStack_.empty()) {
            ListContext& ctx = *listStack_.back();
            ctx.itemFirst = false;
            std::string ls = ctx.style;
            if (ls.empty()) ls = listStyleOf(style);
            ListLevel lv;
            auto it = lists_.find(ls);
            if (it != lists_.end()) lv = it->second[size_t(std::min(ctx.level, 10) - 1)];
            ps.listLevel = ctx.level;
            ps.ordered = lv.ordered;
            auto& counter = ctx.counters[size_t(std::min(ctx.level, 10) - 1)];
            if (ctx.pendingStart > 0) {
                counter = ctx.pendingStart - 1;
                ctx.pendingStart = 0;
            } else if (counter == 0) {
                counter = lv.start - 1;
            }
            ps.listNumber = ++counter;
            for (int i = ctx.level; i < 10; ++i) ctx.counters[size_t(i)] = 0;
        }
        bool space = true;
        inlines(p, t, std::string(), para, space);
        // Whitespace at the end of a paragraph is not shown.
        while (!para.runs.empty() && para.runs.back().attachment < 0 && !para.runs.back().text.empty() &&
               para.runs.back().text.back() == ' ' && !trailingKept_) {
            para.runs.back().text.pop_back();
            if (para.runs.back().text.empty()) para.runs.pop_back();
        }
        trailingKept_ = false;
    }

    bool trailingKept_ = false;
    bool breakPending_ = false; // the last paragraph asked for a page break after it

    void text(Paragraph& para, std::string_view s, const TextProps& t, const std::string& link, bool& space) {
        // Collapse white space as ODF asks; text:s and text:tab are added literally.
        std::string out;
        out.reserve(s.size());
        for (char c : s) {
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
                if (space) continue;
                out += ' ';
                space = true;
            } else {
                out += c;
                space = false;
            }
        }
        literal(para, out, t, link);
        trailingKept_ = false;
    }

    void literal(Paragraph& para, const std::string& s, const TextProps& t, const std::string& link) {
        if (s.empty()) return;
        CharStyle cs;
        cs.bold = t.bold.value_or(false);
        cs.italic = t.italic.value_or(false);
        cs.underline = t.underline.value_or(false);
        cs.strike = t.strike.value_or(false);
        cs.size = t.size.value_or(0);
        cs.font = t.font.value_or("");
        cs.color = t.color;
        cs.background = t.background;
        cs.baseline = t.baseline.value_or(0);
        cs.link = link;
        appendText(para, s, cs);
    }

    void inlines(const xmlNode* parent, const TextProps& base, const std::string& link, Paragraph& para, bool& space) {
        for (const xmlNode* c = parent->children; c; c = c->next) {
            if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
                if (c->content) text(para, reinterpret_cast<const char*>(c->content), base, link, space);
                continue;
            }
            if (c->type != XML_ELEMENT_NODE) continue;
            const char* n = reinterpret_cast<const char*>(c->name);
            if (!std::strcmp(n, "span")) {
                TextProps t = base;
                TextProps own;
                resolve("text", xml::attr(c, "style-name"), own, nullptr);
                t.over(own);
                inlines(c, t, link, para, space);
            } else if (!std::strcmp(n, "a")) {
                std::string href = xml::attr(c, "href");
                TextProps t = base;
                const std::string st = xml::attr(c, "style-name");
                if (!st.empty()) {
                    TextProps own;
                    resolve("text", st, own, nullptr);
                    t.over(own);
                }
                inlines(c, t, href.empty() ? link : href, para, space);
            } else if (!std::strcmp(n, "s")) {
                const int count = std::max(1, std::atoi(xml::attr(c, "c").c_str()));
                literal(para, std::string(size_t(count), ' '), base, link);
                space = false;
                trailingKept_ = true;
            } else if (!std::strcmp(n, "tab")) {
                literal(para, "\t", base, link);
                space = true;
                trailingKept_ = true;
            } else if (!std::strcmp(n, "line-break")) {
                literal(para, "\xE2\x80\xA8", base, link);
                space = true;
            } else if (!std::strcmp(n, "frame")) {
                frame(c, para, base, link, space);
            } else if (!std::strcmp(n, "note")) {
                if (const xmlNode* body = xml::child(c, "note-body")) {
                    TextProps sup = base;
                    sup.baseline = 1;
                    if (readingNotes_) {
                        nested_.push_back(body);
                        literal(para, std::to_string(nested_.size()), sup, {});
                    } else {
                        notes_.push_back(body);
                        doc_.notes.emplace_back().kind = xml::attr(c, "note-class") == "endnote"
                                                             ? Note::Kind::Endnote
                                                             : Note::Kind::Footnote;
                        Run& r = para.runs.emplace_back();
                        r.note = int(doc_.notes.size()) - 1;
                        CharStyle mark;
                        mark.baseline = 1;
                        r.style = mark;
                    }
                    space = false;
                }
            } else if (!std::strcmp(n, "annotation") || !std::strcmp(n, "bookmark-start") ||
                       !std::strcmp(n, "soft-page-break") || !std::strcmp(n, "tracked-changes")) {
                continue;
            } else {
                // Fields (page numbers, dates, references), ruby, metadata spans: their text shows.
                inlines(c, base, link, para, space);
            }
        }
    }

    void frame(const xmlNode* f, Paragraph& para, const TextProps& base, const std::string& link, bool& space) {
        for (const xmlNode* c = f->children; c; c = c->next) {
            if (xml::is(c, "image")) {
                const int idx = picture(c, f);
                if (idx >= 0) {
                    Run& r = para.runs.emplace_back();
                    r.attachment = idx;
                    space = false;
                }
                return;  // later children are replacements of the same picture
            }
            if (xml::is(c, "text-box")) {
                // A caption frame: its paragraphs flow into this one, one line each.
                bool first = true;
                for (const xmlNode* p = c->children; p; p = p->next) {
                    if (!xml::is(p, "p") && !xml::is(p, "h")) continue;
                    if (!first || !para.runs.empty()) literal(para, "\xE2\x80\xA8", base, link);
                    first = false;
                    bool sp = true;
                    TextProps t = base;
                    TextProps own;
                    resolve("paragraph", xml::attr(p, "style-name"), own, nullptr);
                    t.over(own);
                    inlines(p, t, link, para, sp);
                }
                return;
            }
        }
    }

    int picture(const xmlNode* img, const xmlNode* frame) {
        std::string href = xml::attr(img, "href");
        if (href.rfind("./", 0) == 0) href = href.substr(2);
        auto known = pictures_.find(href);
        if (known != pictures_.end()) return known->second;
        Attachment a;
        if (const xmlNode* bin = xml::child(img, "binary-data")) {
            a.data = base64Decode(xml::text(bin));
            a.fileName = "image";
        } else {
            if (href.empty() || href.find("://") != std::string::npos) return -1;
            auto data = z_.read(href);
            if (!data) return -1;
            a.data = std::move(*data);
            a.fileName = href.substr(href.rfind('/') + 1);
        }
        if (a.data.empty()) return -1;
        a.mimeType = sniffMimeType(a.data);
        if (a.mimeType == "application/octet-stream") {
            const std::string mt = xml::attr(img, "mime-type");
            if (!mt.empty()) a.mimeType = mt;
        }
        if (a.fileName.find('.') == std::string::npos) a.fileName += "." + extensionForMime(a.mimeType);
        a.width = length(xml::attr(frame, "width", "svg")).value_or(0);
        a.height = length(xml::attr(frame, "height", "svg")).value_or(0);
        const int idx = doc_.addAttachment(std::move(a));
        if (!href.empty()) pictures_[href] = idx;
        return idx;
    }

    void rows(const xmlNode* parent, Table& t, bool head = false) {
        for (const xmlNode* r = parent->children; r; r = r->next) {
            if (xml::is(r, "table-header-rows") || xml::is(r, "table-rows") || xml::is(r, "table-row-group")) {
                rows(r, t, xml::is(r, "table-header-rows"));
                continue;
            }
            if (!xml::is(r, "table-row")) continue;
            // Header rows count only while they lead the table.
            if (head && t.headerRows == int(t.rows.size())) ++t.headerRows;
            TableRow& row = t.rows.emplace_back();
            for (const xmlNode* c = r->children; c; c = c->next) {
                // Covered cells are the positions a span takes: the spanning cell holds the content.
                if (!xml::is(c, "table-cell")) continue;
                const int repeat = std::clamp(std::atoi(xml::attr(c, "number-columns-repeated").c_str()), 1, 64);
                for (int k = 0; k < repeat; ++k) {
                    TableCell& cell = row.cells.emplace_back();
                    cell.colSpan = columnSpan(xml::attr(c, "number-columns-spanned"));
                    cell.rowSpan = rowSpan(xml::attr(c, "number-rows-spanned"));
                    auto saved = std::move(listStack_);
                    listStack_.clear();
                    blocks(c, cell.blocks, 0);
                    listStack_ = std::move(saved);
                }
            }
        }
    }

    Table table(const xmlNode* t) {
        Table out;
        rows(t, out);
        return out;
    }
};

const char* const kMime = "application/vnd.oasis.opendocument.text";

} // namespace

bool detectOdt(const Input& in) {
    if (in.isFolder) return false;
    const std::string_view d(in.bytes);
    if (d.substr(0, 4) != std::string_view("PK\x03\x04", 4)) return false;
    // The stored first entry "mimetype" puts the type at a fixed place.
    if (d.size() > 38 + std::strlen(kMime) && d.substr(30, 8) == "mimetype" && d.substr(38, std::strlen(kMime)) == kMime)
        return true;
    try {
        zip::Archive z(d);
        const auto mt = z.read("mimetype");
        return mt && (mt->rfind(kMime, 0) == 0) && z.has("content.xml");
    } catch (const std::exception&) {
        return false;
    }
}

Document readOdt(const Input& in, const ReadOptions&) {
    zip::Archive z(in.bytes, in.path);  // the file itself when the bytes were let go
    Document doc;
    Reader(z, doc).run();
    return doc;
}

} // namespace textutil

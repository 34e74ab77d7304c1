#include "reading.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>

namespace fidelity {

namespace {

// Blanks and marks outside ASCII that separate words: LibreOffice's RTF import turns a run
// of spaces into U+2006 and spaces, pandoc writes U+21A9 after a note.
bool separates(uint32_t cp) {
    return cp == 0xA0 || (cp >= 0x2000 && cp <= 0x206F) || cp == 0x3000 || cp == 0xFEFF ||
           (cp >= 0x2190 && cp <= 0x21FF) || (cp >= 0xFE00 && cp <= 0xFE0F);
}

// The code point of the UTF-8 sequence at s[i], and its length; a stray byte is itself.
uint32_t codePoint(const std::string& s, size_t i, size_t& len) {
    const auto u = static_cast<unsigned char>(s[i]);
    len = u < 0xC0 ? 1 : u < 0xE0 ? 2 : u < 0xF0 ? 3 : 4;
    if (i + len > s.size()) len = 1;
    if (len == 1) return u;
    uint32_t cp = u & (0x3F >> (len - 1));
    for (size_t k = 1; k < len; ++k)
        cp = cp << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    return cp;
}

} // namespace

void WordSink::text(const std::string& s, const Context& ctx) {
    for (size_t i = 0; i < s.size();) {
        const unsigned char u = static_cast<unsigned char>(s[i]);
        size_t len = 1;
        const uint32_t cp = u >= 0x80 ? codePoint(s, i, len) : u;
        const bool letter = u >= 0x80 ? !separates(cp) : std::isalpha(u) != 0;
        if (!letter) {
            end();
            if (u == '\t') ++tabs_;
            i += len;
            continue;
        }
        if (word_.empty()) ctx_ = ctx; // a word split over runs takes its first run's context
        if (u < 0x80)
            word_ += static_cast<char>(std::tolower(u));
        else
            word_.append(s, i, len);
        i += len;
    }
}

void WordSink::end() {
    if (word_.empty()) return;
    r_.words.push_back({word_, ctx_, paragraph_, breaks_, tabs_});
    word_.clear();
}

int WordSink::beginParagraph() {
    end();
    const int open = paragraph_;
    paragraph_ = ++next_;
    breaks_ = tabs_ = 0;
    return open;
}

void WordSink::resumeParagraph(int p) {
    end();
    paragraph_ = p;
}

double lengthInPoints(const std::string& s) {
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end == s.c_str() || v <= 0) return 0;
    std::string unit(end);
    while (!unit.empty() && unit.front() == ' ')
        unit.erase(unit.begin());
    if (unit == "in") return v * 72;
    if (unit == "cm") return v * 72 / 2.54;
    if (unit == "mm") return v * 72 / 25.4;
    if (unit == "pt") return v;
    if (unit == "pc") return v * 12;
    if (unit == "px" || unit.empty()) return v * 0.75;
    return 0;
}

Reading readPlainText(const std::string& text) {
    Reading r;
    WordSink sink(r);
    sink.beginParagraph();
    sink.text(text, Context{});
    sink.end();
    return r;
}

// ---- pandoc JSON ----

namespace {

std::string str(const QJsonValue& v) {
    return v.toString().toStdString();
}

// The text of inlines, for metadata.
void inlinesText(const QJsonArray& is, std::string& out) {
    for (const auto& v : is) {
        const QJsonObject o = v.toObject();
        const QString t = o["t"].toString();
        if (t == "Str")
            out += str(o["c"]);
        else if (t == "Space" || t == "SoftBreak" || t == "LineBreak")
            out += ' ';
        else if (o["c"].isArray()) {
            for (const auto& part : o["c"].toArray())
                if (part.isArray()) inlinesText(part.toArray(), out);
        }
    }
}

class PandocWalker {
public:
    explicit PandocWalker(Reading& r) : r_(r), sink_(r) {}

    void blocks(const QJsonArray& bs, const Context& ctx) {
        for (const auto& b : bs)
            block(b.toObject(), ctx);
    }

    void finish() { sink_.end(); }

private:
    static std::string attrId(const QJsonValue& attr) { return str(attr.toArray().at(0)); }

    void paragraph(const QJsonArray& is, const Context& ctx) {
        const int open = sink_.beginParagraph();
        inlines(is, ctx);
        sink_.resumeParagraph(open);
    }

    void block(const QJsonObject& b, Context ctx) {
        const QString t = b["t"].toString();
        const QJsonValue c = b["c"];
        if (t == "Para" || t == "Plain") {
            paragraph(c.toArray(), ctx);
        } else if (t == "Header") {
            const QJsonArray a = c.toArray();
            ctx.heading = a.at(0).toInt();
            if (!attrId(a.at(1)).empty()) ctx.ids.push_back(attrId(a.at(1)));
            paragraph(a.at(2).toArray(), ctx);
        } else if (t == "LineBlock") {
            const int open = sink_.beginParagraph();
            for (const auto& line : c.toArray()) {
                inlines(line.toArray(), ctx);
                sink_.lineBreak();
            }
            sink_.resumeParagraph(open);
        } else if (t == "BlockQuote") {
            ctx.quote = true;
            blocks(c.toArray(), ctx);
        } else if (t == "BulletList" || t == "OrderedList") {
            ctx.lists += t == "BulletList" ? 'b' : 'o';
            const QJsonArray items = t == "BulletList" ? c.toArray() : c.toArray().at(1).toArray();
            for (const auto& item : items)
                blocks(item.toArray(), ctx);
        } else if (t == "DefinitionList") {
            for (const auto& item : c.toArray()) {
                paragraph(item.toArray().at(0).toArray(), ctx);
                for (const auto& d : item.toArray().at(1).toArray())
                    blocks(d.toArray(), ctx);
            }
        } else if (t == "Div") {
            const QJsonArray a = c.toArray();
            if (!attrId(a.at(0)).empty()) ctx.ids.push_back(attrId(a.at(0)));
            blocks(a.at(1).toArray(), ctx);
        } else if (t == "Table") {
            table(c.toArray(), ctx);
        } else if (t == "CodeBlock") {
            const int open = sink_.beginParagraph();
            sink_.text(str(c.toArray().at(1)), ctx);
            sink_.resumeParagraph(open);
        }
    }

    void rows(const QJsonArray& rs, Context ctx) {
        for (const auto& row : rs) {
            for (const auto& cell : row.toArray().at(1).toArray()) {
                const QJsonArray a = cell.toArray();
                Context cc = ctx;
                cc.rowSpan = a.at(2).toInt(1);
                cc.colSpan = a.at(3).toInt(1);
                blocks(a.at(4).toArray(), cc);
            }
        }
    }

    // [attr, caption, colspecs, head, bodies, foot]
    void table(const QJsonArray& a, Context ctx) {
        ctx.tableDepth++;
        Context head = ctx;
        head.headRow = true;
        rows(a.at(3).toArray().at(1).toArray(), head);
        for (const auto& body : a.at(4).toArray()) {
            const QJsonArray ba = body.toArray();
            rows(ba.at(2).toArray(), head); // intermediate head rows
            rows(ba.at(3).toArray(), ctx);
        }
        rows(a.at(5).toArray().at(1).toArray(), ctx);
    }

    void inlines(const QJsonArray& is, const Context& ctx) {
        for (const auto& v : is)
            inlineOne(v.toObject(), ctx);
    }

    void inlineOne(const QJsonObject& o, Context ctx) {
        const QString t = o["t"].toString();
        const QJsonValue c = o["c"];
        if (t == "Str")
            sink_.text(str(c), ctx);
        else if (t == "Space" || t == "SoftBreak")
            sink_.end();
        else if (t == "LineBreak")
            sink_.lineBreak();
        else if (t == "Emph") {
            ctx.italic = true;
            inlines(c.toArray(), ctx);
        } else if (t == "Strong") {
            ctx.bold = true;
            inlines(c.toArray(), ctx);
        } else if (t == "Underline") {
            ctx.underline = true;
            inlines(c.toArray(), ctx);
        } else if (t == "Strikeout") {
            ctx.strike = true;
            inlines(c.toArray(), ctx);
        } else if (t == "Superscript") {
            ctx.sup = true;
            inlines(c.toArray(), ctx);
        } else if (t == "Subscript") {
            ctx.sub = true;
            inlines(c.toArray(), ctx);
        } else if (t == "SmallCaps")
            inlines(c.toArray(), ctx);
        else if (t == "Quoted")
            inlines(c.toArray().at(1).toArray(), ctx);
        else if (t == "Cite")
            inlines(c.toArray().at(1).toArray(), ctx);
        else if (t == "Code")
            sink_.text(str(c.toArray().at(1)), ctx);
        else if (t == "Span") {
            const QJsonArray a = c.toArray();
            if (!attrId(a.at(0)).empty()) ctx.ids.push_back(attrId(a.at(0)));
            inlines(a.at(1).toArray(), ctx);
        } else if (t == "Link") {
            const QJsonArray a = c.toArray();
            if (!attrId(a.at(0)).empty()) ctx.ids.push_back(attrId(a.at(0)));
            ctx.link = str(a.at(2).toArray().at(0));
            r_.linkTargets.push_back(ctx.link);
            inlines(a.at(1).toArray(), ctx);
        } else if (t == "Image") {
            const QJsonArray a = c.toArray();
            double w = 0, h = 0;
            for (const auto& kv : a.at(0).toArray().at(2).toArray()) {
                const std::string k = str(kv.toArray().at(0)), val = str(kv.toArray().at(1));
                if (k == "width") w = lengthInPoints(val);
                if (k == "height") h = lengthInPoints(val);
            }
            r_.pictures.push_back({w, h});
        } else if (t == "Note") {
            ctx.note = "note";
            sink_.end();
            blocks(c.toArray(), ctx);
        }
    }

    Reading& r_;
    WordSink sink_;
};

std::string metaText(const QJsonObject& meta, const char* key) {
    const QJsonObject v = meta[key].toObject();
    const QString t = v["t"].toString();
    std::string out;
    if (t == "MetaString") return str(v["c"]);
    if (t == "MetaInlines") inlinesText(v["c"].toArray(), out);
    if (t == "MetaList" && !v["c"].toArray().isEmpty()) {
        QJsonObject first;
        first[key] = v["c"].toArray().at(0);
        return metaText(first, key);
    }
    if (t == "MetaBlocks")
        for (const auto& b : v["c"].toArray())
            if (b.toObject()["c"].isArray()) inlinesText(b.toObject()["c"].toArray(), out);
    return out;
}

} // namespace

Reading readPandocJson(const std::string& json) {
    Reading r;
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &err);
    if (doc.isNull()) {
        r.error = "pandoc JSON unreadable: " + err.errorString().toStdString();
        return r;
    }
    const QJsonObject root = doc.object();
    PandocWalker w(r);
    w.blocks(root["blocks"].toArray(), Context{});
    w.finish();
    const QJsonObject meta = root["meta"].toObject();
    r.title = metaText(meta, "title");
    r.author = metaText(meta, "author");
    return r;
}

// ---- flat OpenDocument ----

namespace {

std::string attr(xmlNode* n, const char* name) {
    for (xmlAttr* a = n->properties; a; a = a->next) {
        if (std::strcmp(reinterpret_cast<const char*>(a->name), name) != 0) continue;
        xmlChar* v = xmlNodeListGetString(n->doc, a->children, 1);
        std::string s = v ? reinterpret_cast<const char*>(v) : "";
        xmlFree(v);
        return s;
    }
    return {};
}

bool is(xmlNode* n, const char* name) {
    return n->type == XML_ELEMENT_NODE &&
           std::strcmp(reinterpret_cast<const char*>(n->name), name) == 0;
}

struct Style {
    std::string parent, listStyle;
    std::map<std::string, std::string> props; // text and paragraph properties by local name
};

class OdtWalker {
public:
    explicit OdtWalker(Reading& r) : r_(r), sink_(r) {}

    void collect(xmlNode* n) {
        for (xmlNode* c = n ? n->children : nullptr; c; c = c->next) {
            if (is(c, "style")) {
                Style s;
                s.parent = attr(c, "parent-style-name");
                s.listStyle = attr(c, "list-style-name");
                for (xmlNode* p = c->children; p; p = p->next)
                    if (is(p, "text-properties") || is(p, "paragraph-properties"))
                        for (xmlAttr* a = p->properties; a; a = a->next) {
                            xmlChar* v = xmlNodeListGetString(p->doc, a->children, 1);
                            s.props[reinterpret_cast<const char*>(a->name)] =
                                v ? reinterpret_cast<const char*>(v) : "";
                            xmlFree(v);
                        }
                styles_[attr(c, "family") + ":" + attr(c, "name")] = s;
            } else if (is(c, "list-style")) {
                std::map<int, bool>& levels = lists_[attr(c, "name")];
                for (xmlNode* l = c->children; l; l = l->next) {
                    if (is(l, "list-level-style-number"))
                        levels[std::atoi(attr(l, "level").c_str())] =
                            !attr(l, "num-format").empty();
                    else if (is(l, "list-level-style-bullet") || is(l, "list-level-style-image"))
                        levels[std::atoi(attr(l, "level").c_str())] = false;
                }
            } else if (is(c, "font-face")) {
                std::string family = attr(c, "font-family");
                std::erase(family, '\'');
                fonts_[attr(c, "name")] = family;
            }
        }
    }

    void body(xmlNode* n, Context ctx) {
        for (xmlNode* c = n->children; c; c = c->next)
            node(c, ctx);
    }

    void finish() { sink_.end(); }

    void masterPages(xmlNode* masters) {
        for (xmlNode* m = masters ? masters->children : nullptr; m; m = m->next) {
            if (!is(m, "master-page")) continue;
            for (xmlNode* hf = m->children; hf; hf = hf->next) {
                if (hf->type != XML_ELEMENT_NODE) continue;
                Context ctx;
                const std::string name = reinterpret_cast<const char*>(hf->name);
                ctx.region = name.rfind("header", 0) == 0   ? "header"
                             : name.rfind("footer", 0) == 0 ? "footer"
                                                            : "";
                if (!ctx.region.empty()) body(hf, ctx);
            }
        }
    }

private:
    // A property of a style or the nearest of its ancestors.
    std::string prop(const std::string& family, std::string name, const char* key) const {
        for (int guard = 0; !name.empty() && guard < 32; ++guard) {
            const auto it = styles_.find(family + ":" + name);
            if (it == styles_.end()) break;
            const auto p = it->second.props.find(key);
            if (p != it->second.props.end()) return p->second;
            name = it->second.parent;
        }
        return {};
    }

    std::string listStyleOf(std::string name) const {
        for (int guard = 0; !name.empty() && guard < 32; ++guard) {
            const auto it = styles_.find("paragraph:" + name);
            if (it == styles_.end()) break;
            if (!it->second.listStyle.empty()) return it->second.listStyle;
            name = it->second.parent;
        }
        return {};
    }

    void applyText(const std::string& family, const std::string& name, Context& ctx) const {
        if (name.empty()) return;
        auto p = [&](const char* key) { return prop(family, name, key); };
        if (const auto v = p("font-weight"); !v.empty())
            ctx.bold = v == "bold" || std::atoi(v.c_str()) >= 600;
        if (const auto v = p("font-style"); !v.empty())
            ctx.italic = v == "italic" || v == "oblique";
        if (const auto v = p("text-underline-style"); !v.empty()) ctx.underline = v != "none";
        if (const auto v = p("text-line-through-style"); !v.empty()) ctx.strike = v != "none";
        if (const auto v = p("text-position"); !v.empty()) {
            const bool super = v.rfind("super", 0) == 0 || (std::atof(v.c_str()) > 0);
            const bool sub = v.rfind("sub", 0) == 0 || (std::atof(v.c_str()) < 0);
            ctx.sup = super;
            ctx.sub = sub;
        }
        if (const auto v = p("color"); !v.empty()) ctx.color = lower(v);
        if (const auto v = p("background-color"); !v.empty() && v != "transparent")
            ctx.highlight = lower(v);
        if (const auto v = p("font-name"); !v.empty())
            ctx.font = fonts_.count(v) ? fonts_.at(v) : v;
        if (const auto v = p("font-family"); !v.empty()) ctx.font = v;
        if (const auto v = p("font-size"); !v.empty() && v.back() != '%')
            ctx.size = lengthInPoints(v);
    }

    static std::string lower(std::string s) {
        for (char& c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }

    void paragraph(xmlNode* n, Context ctx) {
        const std::string style = attr(n, "style-name");
        applyText("paragraph", style, ctx);
        if (is(n, "h")) ctx.heading = std::max(1, std::atoi(attr(n, "outline-level").c_str()));
        ctx.align = prop("paragraph", style, "text-align");
        ctx.pageBreak = prop("paragraph", style, "break-before") == "page" || breakAfter_;
        breakAfter_ = prop("paragraph", style, "break-after") == "page";
        const double margin = lengthInPoints(prop("paragraph", style, "margin-left"));
        ctx.quote = ctx.lists.empty() && ctx.heading == 0 && margin > 10;
        const int open = sink_.beginParagraph();
        inlines(n, ctx);
        sink_.resumeParagraph(open);
    }

    void inlines(xmlNode* n, Context ctx) {
        for (xmlNode* c = n->children; c; c = c->next) {
            if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
                sink_.text(reinterpret_cast<const char*>(c->content), ctx);
            } else if (is(c, "span")) {
                Context cc = ctx;
                applyText("text", attr(c, "style-name"), cc);
                inlines(c, cc);
            } else if (is(c, "a")) {
                Context cc = ctx;
                cc.link = attr(c, "href");
                r_.linkTargets.push_back(cc.link);
                applyText("text", attr(c, "style-name"), cc);
                inlines(c, cc);
            } else if (is(c, "s")) {
                sink_.end();
            } else if (is(c, "tab")) {
                sink_.tab();
            } else if (is(c, "line-break")) {
                sink_.lineBreak();
            } else if (is(c, "note")) {
                Context cc = ctx;
                cc.note = attr(c, "note-class").empty() ? "footnote" : attr(c, "note-class");
                sink_.end();
                for (xmlNode* b = c->children; b; b = b->next)
                    if (is(b, "note-body")) body(b, cc);
            } else if (is(c, "frame")) {
                frame(c, ctx);
            } else if (is(c, "note-citation") || is(c, "bookmark") || is(c, "soft-page-break")) {
            } else if (c->type == XML_ELEMENT_NODE) {
                inlines(c, ctx); // fields, meta, ruby, ...: their text
            }
        }
    }

    void frame(xmlNode* f, const Context& ctx) {
        bool image = false;
        for (xmlNode* c = f->children; c; c = c->next) {
            if (is(c, "image")) image = true;
            if (is(c, "text-box")) body(c, ctx);
        }
        if (image)
            r_.pictures.push_back(
                {lengthInPoints(attr(f, "width")), lengthInPoints(attr(f, "height"))});
    }

    void node(xmlNode* c, Context ctx) {
        if (is(c, "p") || is(c, "h")) {
            // A paragraph can be a list item through its style alone.
            const std::string ls =
                ctx.lists.empty() ? listStyleOf(attr(c, "style-name")) : std::string();
            if (!ls.empty()) ctx.lists = std::string(1, ordered(ls, 1) ? 'o' : 'b');
            paragraph(c, ctx);
        } else if (is(c, "list")) {
            std::string style = attr(c, "style-name");
            if (style.empty()) style = list_.empty() ? std::string() : list_.back();
            list_.push_back(style);
            ctx.lists += ordered(style, int(ctx.lists.size()) + 1) ? 'o' : 'b';
            for (xmlNode* item = c->children; item; item = item->next)
                if (is(item, "list-item") || is(item, "list-header")) body(item, ctx);
            list_.pop_back();
        } else if (is(c, "table")) {
            ctx.tableDepth++;
            table(c, ctx);
        } else if (is(c, "section") || is(c, "index-body") || is(c, "table-of-content") ||
                   is(c, "alphabetical-index") || is(c, "illustration-index")) {
            body(c, ctx);
        } else if (is(c, "frame")) {
            frame(c, ctx);
        }
    }

    void table(xmlNode* t, const Context& ctx) {
        for (xmlNode* c = t->children; c; c = c->next) {
            if (is(c, "table-header-rows")) {
                Context h = ctx;
                h.headRow = true;
                table(c, h);
            } else if (is(c, "table-rows") || is(c, "table-row-group")) {
                table(c, ctx);
            } else if (is(c, "table-row")) {
                for (xmlNode* cell = c->children; cell; cell = cell->next) {
                    if (!is(cell, "table-cell")) continue;
                    Context cc = ctx;
                    cc.colSpan =
                        std::max(1, std::atoi(attr(cell, "number-columns-spanned").c_str()));
                    cc.rowSpan = std::max(1, std::atoi(attr(cell, "number-rows-spanned").c_str()));
                    cc.lists.clear();
                    const auto saved = list_;
                    list_.clear();
                    body(cell, cc);
                    list_ = saved;
                }
            }
        }
    }

    bool ordered(const std::string& listStyle, int level) const {
        const auto it = lists_.find(listStyle);
        if (it == lists_.end()) return false;
        const auto l = it->second.find(level);
        return l != it->second.end() && l->second;
    }

    Reading& r_;
    WordSink sink_;
    std::map<std::string, Style> styles_;
    std::map<std::string, std::map<int, bool>> lists_; // list style -> level -> numbered
    std::map<std::string, std::string> fonts_;
    std::vector<std::string> list_; // list styles of the open lists
    bool breakAfter_ = false;
};

xmlNode* child(xmlNode* n, const char* name) {
    for (xmlNode* c = n ? n->children : nullptr; c; c = c->next)
        if (is(c, name)) return c;
    return nullptr;
}

std::string textOf(xmlNode* n) {
    if (!n) return {};
    xmlChar* v = xmlNodeGetContent(n);
    std::string s = v ? reinterpret_cast<const char*>(v) : "";
    xmlFree(v);
    return s;
}

} // namespace

Reading readFlatOdt(const std::string& xml) {
    Reading r;
    xmlDoc* doc =
        xmlReadMemory(xml.data(), int(xml.size()), "doc.fodt", nullptr,
                      XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!doc) {
        r.error = "not well-formed flat OpenDocument";
        return r;
    }
    xmlNode* root = xmlDocGetRootElement(doc);
    OdtWalker w(r);
    w.collect(child(root, "font-face-decls"));
    w.collect(child(root, "styles"));
    w.collect(child(root, "automatic-styles"));
    w.masterPages(child(root, "master-styles"));
    if (xmlNode* text = child(child(root, "body"), "text")) w.body(text, Context{});
    w.finish();
    xmlNode* meta = child(root, "meta");
    r.title = textOf(child(meta, "title"));
    r.author = textOf(child(meta, "initial-creator"));
    if (r.author.empty()) r.author = textOf(child(meta, "creator"));
    xmlFreeDoc(doc);
    return r;
}

} // namespace fidelity

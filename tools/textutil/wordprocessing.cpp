#include "wordprocessing.h"

#include <cstdlib>

#include "encoding.h"
#include "media.h"
#include "officexml.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <set>

namespace textutil::wp {

namespace {

struct RProps {
    std::optional<bool> bold, italic, underline, strike;
    std::optional<double> size;
    std::optional<std::string> font;
    // Set to an empty colour when a run says "auto" over a style's colour.
    std::optional<std::optional<Color>> color, background;
    std::optional<int> baseline;

    void over(const RProps& o) {
        if (o.bold) bold = o.bold;
        if (o.italic) italic = o.italic;
        if (o.underline) underline = o.underline;
        if (o.strike) strike = o.strike;
        if (o.size) size = o.size;
        if (o.font) font = o.font;
        if (o.color) color = o.color;
        if (o.background) background = o.background;
        if (o.baseline) baseline = o.baseline;
    }
    CharStyle toStyle() const {
        CharStyle s;
        s.bold = bold.value_or(false);
        s.italic = italic.value_or(false);
        s.underline = underline.value_or(false);
        s.strike = strike.value_or(false);
        s.size = size.value_or(0);
        s.font = font.value_or("");
        s.color = color ? *color : std::nullopt;
        s.background = background ? *background : std::nullopt;
        s.baseline = baseline.value_or(0);
        return s;
    }
};

struct PProps {
    std::optional<Align> align;
    std::optional<double> left, right, first, before, after;
    std::optional<int> outline;  // 0-based outline level; 9 = body text
    std::optional<int> numId, ilvl;
    std::optional<bool> pageBreak;

    void over(const PProps& o) {
        if (o.align) align = o.align;
        if (o.left) left = o.left;
        if (o.right) right = o.right;
        if (o.first) first = o.first;
        if (o.before) before = o.before;
        if (o.after) after = o.after;
        if (o.outline) outline = o.outline;
        if (o.numId) numId = o.numId;
        if (o.ilvl) ilvl = o.ilvl;
        if (o.pageBreak) pageBreak = o.pageBreak;
    }
};

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

double toNumber(const std::string& s, double fallback = 0) {
    if (s.empty()) return fallback;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    return end == s.c_str() ? fallback : v;
}

// Whole numbers from the document, clamped: a cast of an out-of-range double is undefined.
int toInt(const std::string& s, int fallback = 0) {
    const double v = toNumber(s, fallback);
    if (!(v == v)) return fallback;
    return int(std::clamp(v, -1e9, 1e9));
}

// A toggle property: present means on unless its value says off.
std::optional<bool> toggle(const xmlNode* n) {
    if (!n) return std::nullopt;
    const std::string v = lower(xml::attr(n, "val"));
    return !(v == "0" || v == "false" || v == "off" || v == "none");
}

std::optional<Color> highlightColor(const std::string& name) {
    static const std::map<std::string, Color> colors = {
        {"yellow", {255, 255, 0}}, {"green", {0, 255, 0}}, {"cyan", {0, 255, 255}}, {"magenta", {255, 0, 255}},
        {"blue", {0, 0, 255}}, {"red", {255, 0, 0}}, {"darkBlue", {0, 0, 128}}, {"darkCyan", {0, 128, 128}},
        {"darkGreen", {0, 128, 0}}, {"darkMagenta", {128, 0, 128}}, {"darkRed", {128, 0, 0}},
        {"darkYellow", {128, 128, 0}}, {"darkGray", {128, 128, 128}}, {"lightGray", {192, 192, 192}},
        {"black", {0, 0, 0}}, {"white", {255, 255, 255}}};
    auto it = colors.find(name);
    if (it == colors.end()) return std::nullopt;
    return it->second;
}

RProps parseRPr(const xmlNode* rPr) {
    RProps p;
    if (!rPr) return p;
    for (const xmlNode* c = rPr->children; c; c = c->next) {
        if (c->type != XML_ELEMENT_NODE) continue;
        const char* n = reinterpret_cast<const char*>(c->name);
        if (!std::strcmp(n, "b")) p.bold = toggle(c);
        else if (!std::strcmp(n, "i")) p.italic = toggle(c);
        else if (!std::strcmp(n, "u")) p.underline = toggle(c);
        else if (!std::strcmp(n, "strike") || !std::strcmp(n, "dstrike")) p.strike = toggle(c);
        else if (!std::strcmp(n, "sz")) {
            const double hp = toNumber(xml::attr(c, "val"));
            if (hp > 0) p.size = hp / 2;
        } else if (!std::strcmp(n, "rFonts")) {
            std::string f = xml::attr(c, "ascii");
            if (f.empty()) f = xml::attr(c, "hAnsi");
            if (f.empty()) f = xml::attr(c, "h-ansi"); // Word 2003 XML
            if (!f.empty()) p.font = f;
        } else if (!std::strcmp(n, "color")) {
            const std::string v = xml::attr(c, "val");
            if (v == "auto") p.color = std::optional<Color>();
            else if (auto col = xml::parseHexColor(v)) p.color = col;
        } else if (!std::strcmp(n, "highlight")) {
            const std::string v = xml::attr(c, "val");
            if (v == "none") p.background = std::optional<Color>();
            else if (auto col = highlightColor(v)) p.background = col;
        } else if (!std::strcmp(n, "shd")) {
            const std::string fill = xml::attr(c, "fill");
            if (fill == "auto") p.background = std::optional<Color>();
            else if (auto col = xml::parseHexColor(fill)) p.background = col;
        } else if (!std::strcmp(n, "vertAlign")) {
            const std::string v = xml::attr(c, "val");
            p.baseline = v == "superscript" ? 1 : v == "subscript" ? -1 : 0;
        }
    }
    return p;
}

PProps parsePPr(const xmlNode* pPr) {
    PProps p;
    if (!pPr) return p;
    for (const xmlNode* c = pPr->children; c; c = c->next) {
        if (c->type != XML_ELEMENT_NODE) continue;
        const char* n = reinterpret_cast<const char*>(c->name);
        if (!std::strcmp(n, "jc")) {
            const std::string v = xml::attr(c, "val");
            if (v == "left" || v == "start") p.align = Align::Left;
            else if (v == "center") p.align = Align::Center;
            else if (v == "right" || v == "end") p.align = Align::Right;
            else if (v == "both" || v == "distribute") p.align = Align::Justify;
        } else if (!std::strcmp(n, "ind")) {
            auto twips = [&](const char* a, const char* b, std::optional<double>& to) {
                std::string v = xml::attr(c, a);
                if (v.empty() && b) v = xml::attr(c, b);
                if (!v.empty()) to = toNumber(v) / 20;
            };
            twips("left", "start", p.left);
            twips("right", "end", p.right);
            twips("firstLine", "first-line", p.first);
            std::optional<double> hanging;
            twips("hanging", nullptr, hanging);
            if (hanging) p.first = -*hanging;
        } else if (!std::strcmp(n, "spacing")) {
            if (xml::hasAttr(c, "before")) p.before = toNumber(xml::attr(c, "before")) / 20;
            if (xml::hasAttr(c, "after")) p.after = toNumber(xml::attr(c, "after")) / 20;
        } else if (!std::strcmp(n, "pageBreakBefore")) {
            p.pageBreak = toggle(c);
        } else if (!std::strcmp(n, "outlineLvl")) {
            p.outline = toInt(xml::attr(c, "val"), 9);
        } else if (!std::strcmp(n, "numPr") || !std::strcmp(n, "listPr")) {
            if (const xmlNode* l = xml::child(c, "ilvl")) p.ilvl = toInt(xml::attr(l, "val"));
            const xmlNode* id = xml::child(c, "numId");
            if (!id) id = xml::child(c, "ilfo");
            if (id) p.numId = toInt(xml::attr(id, "val"));
        }
    }
    return p;
}

struct StyleDef {
    std::string type, basedOn, name;
    RProps r;
    PProps p;
};

struct Level {
    bool ordered = false;
    int start = 1;
    bool markerless = false; // shows no number or bullet (LibreOffice's heading outline)
};
using Levels = std::array<Level, 9>;

class BodyReader {
public:
    BodyReader(const xmlNode* styles, const xmlNode* lists, const ReadHooks& hooks, Document& doc)
        : hooks_(hooks), doc_(doc) {
        loadStyles(styles);
        loadLists(lists);
        for (const xmlNode* part : {hooks.footnotes, hooks.endnotes}) {
            if (!part) continue;
            for (const xmlNode* n = part->children; n; n = n->next) {
                if (!xml::is(n, "footnote") && !xml::is(n, "endnote")) continue;
                const std::string type = xml::attr(n, "type");
                if (type.empty() || type == "normal")
                    noteParts_[std::string(xml::is(n, "footnote") ? "f" : "e") + xml::attr(n, "id")] = n;
            }
        }
    }

    void body(const xmlNode* n, std::vector<Block>& out) {
        for (const xmlNode* c = n->children; c; c = c->next)
            block(c, out);
    }

    // One child of a body, cell or content control.
    void block(const xmlNode* c, std::vector<Block>& out) {
        if (c->type != XML_ELEMENT_NODE) return;
        if (xml::is(c, "p")) {
            Block& b = out.emplace_back();
            b.paragraph = paragraph(c);
            b.paragraph.compact();
        } else if (xml::is(c, "tbl")) {
            Block& b = out.emplace_back();
            b.table = table(c);
        } else if (xml::is(c, "sdt")) {
            if (const xmlNode* content = xml::child(c, "sdtContent")) body(content, out);
        } else if (xml::is(c, "customXml") || xml::is(c, "sect") || xml::is(c, "sub-section") ||
                   xml::is(c, "pBdrGroup") || xml::is(c, "ins") || xml::is(c, "body")) {
            body(c, out);
        }
    }

private:
    const ReadHooks& hooks_;
    Document& doc_;
    std::map<std::string, StyleDef> styles_;
    std::map<std::string, std::pair<RProps, PProps>> resolved_;
    std::string defaultPara_;
    RProps defaultRun_;
    PProps defaultPara2_;
    std::map<int, Levels> lists_;
    std::map<int, std::array<int, 9>> counters_;
    std::map<std::string, const xmlNode*> noteParts_;  // "f"/"e" + id
    int noteDepth_ = 0;                                // notes being read, one inside another
    std::vector<const xmlNode*> nested_;               // notes cited in the note being read
    bool breakPending_ = false; // a page break ended the last paragraph's text

    void cite(const xmlNode* note, bool endnote, Paragraph& para, const RProps& rp,
              const std::string& link) {
        if (!note || inInstruction()) return;
        RProps sup = rp;
        sup.baseline = 1;
        if (noteDepth_ > 0) {
            // A note in a note has no place in most formats: numbered in the text, it follows
            // the note's own text.
            if (noteDepth_ > 1) return;
            nested_.push_back(note);
            text(para, std::to_string(nested_.size()), sup, link);
            return;
        }
        const int index = int(doc_.notes.size());
        doc_.notes.emplace_back().kind = endnote ? Note::Kind::Endnote : Note::Kind::Footnote;
        // The note's text is outside any field around its reference.
        std::vector<Field> outer = std::move(fields_);
        fields_.clear();
        ++noteDepth_;
        std::vector<Block> blocks;
        body(note, blocks);
        trimNoteStart(blocks);
        ++noteDepth_;
        for (size_t i = 0; i < nested_.size(); ++i) {
            std::vector<Block> inner;
            body(nested_[i], inner);
            trimNoteStart(inner);
            appendNoteText(blocks, std::move(inner), int(i + 1));
        }
        noteDepth_ -= 2;
        nested_.clear();
        fields_ = std::move(outer);
        doc_.notes[size_t(index)].blocks = std::move(blocks);
        Run& r = para.runs.emplace_back();
        r.note = index;
        r.style = sup.toStyle();
    }

    // Complex fields: the instruction, whether the result part has begun, and its link.
    struct Field {
        std::string instr;
        bool result = false;
        std::string link;
    };
    std::vector<Field> fields_;
    // Runs nested in runs: deeper is damage, and the recursion must stay bounded.
    static constexpr int kMaxNesting = 256;
    int depth_ = 0;

    void loadStyles(const xmlNode* styles) {
        if (!styles) return;
        if (const xmlNode* dd = xml::child(styles, "docDefaults")) {
            defaultRun_ = parseRPr(xml::child(xml::child(dd, "rPrDefault"), "rPr"));
            defaultPara2_ = parsePPr(xml::child(xml::child(dd, "pPrDefault"), "pPr"));
        }
        for (const xmlNode* s = styles->children; s; s = s->next) {
            if (!xml::is(s, "style")) continue;
            StyleDef d;
            d.type = xml::attr(s, "type");
            d.basedOn = xml::childVal(s, "basedOn");
            d.name = xml::childVal(s, "name");
            d.r = parseRPr(xml::child(s, "rPr"));
            d.p = parsePPr(xml::child(s, "pPr"));
            const std::string id = xml::attr(s, "styleId");
            const std::string def = lower(xml::attr(s, "default"));
            if (d.type == "paragraph" && (def == "1" || def == "on" || def == "true")) defaultPara_ = id;
            styles_[id] = std::move(d);
        }
    }

    const std::pair<RProps, PProps>& resolve(const std::string& id, int depth = 0) {
        static const std::pair<RProps, PProps> none;
        auto it = resolved_.find(id);
        if (it != resolved_.end()) return it->second;
        auto s = styles_.find(id);
        if (s == styles_.end() || depth > 20) return none;
        std::pair<RProps, PProps> r;
        if (!s->second.basedOn.empty() && s->second.basedOn != id) r = resolve(s->second.basedOn, depth + 1);
        r.first.over(s->second.r);
        r.second.over(s->second.p);
        return resolved_[id] = r;
    }

    // Built-in headings keep their English name whatever the id (localised ids differ).
    int headingOf(const std::string& id) {
        auto s = styles_.find(id);
        if (s != styles_.end())
            if (int h = headingFromStyleName(s->second.name)) return h;
        return headingFromStyleName(id);
    }

    void loadLists(const xmlNode* lists) {
        if (!lists) return;
        // docx: abstractNum/lvl + num; wordml: listDef/lvl + list.
        std::map<int, Levels> abstract;
        for (const xmlNode* a = lists->children; a; a = a->next) {
            if (!xml::is(a, "abstractNum") && !xml::is(a, "listDef")) continue;
            const int id = toInt(xml::attr(a, xml::is(a, "abstractNum") ? "abstractNumId" : "listDefId"), -1);
            Levels lv;
            for (const xmlNode* l = a->children; l; l = l->next) {
                if (!xml::is(l, "lvl")) continue;
                const int i = toInt(xml::attr(l, "ilvl"));
                if (i < 0 || i > 8) continue;
                const bool noText = xml::childVal(l, "lvlText").empty();
                if (const xmlNode* f = xml::child(l, "numFmt")) {
                    const std::string v = xml::attr(f, "val");
                    lv[size_t(i)].ordered = v != "bullet" && v != "none";
                    lv[size_t(i)].markerless = v == "none" && noText;
                } else if (const xmlNode* f2 = xml::child(l, "nfc")) {
                    const int v = toInt(xml::attr(f2, "val"));
                    lv[size_t(i)].ordered = v != 23 && v != 255;
                    lv[size_t(i)].markerless = v == 255 && noText;
                } else {
                    lv[size_t(i)].ordered = true;  // decimal is the default
                }
                lv[size_t(i)].start = toInt(xml::childVal(l, "start"), 1);
            }
            abstract[id] = lv;
        }
        for (const xmlNode* n = lists->children; n; n = n->next) {
            const bool docxNum = xml::is(n, "num");
            if (!docxNum && !xml::is(n, "list")) continue;
            const int id = toInt(xml::attr(n, docxNum ? "numId" : "ilfo"), -1);
            const int aid = toInt(xml::childVal(n, docxNum ? "abstractNumId" : "ilst"), -1);
            auto a = abstract.find(aid);
            if (a == abstract.end()) continue;
            Levels lv = a->second;
            for (const xmlNode* o = n->children; o; o = o->next) {
                if (!xml::is(o, "lvlOverride")) continue;
                const int i = toInt(xml::attr(o, "ilvl"));
                if (i < 0 || i > 8) continue;
                if (const xmlNode* so = xml::child(o, "startOverride"))
                    lv[size_t(i)].start = toInt(xml::attr(so, "val"), 1);
            }
            lists_[id] = lv;
        }
    }

    Paragraph paragraph(const xmlNode* p) {
        Paragraph para;
        const xmlNode* pPr = xml::child(p, "pPr");
        std::string styleId = xml::childVal(pPr, "pStyle");
        if (styleId.empty()) styleId = defaultPara_;
        PProps pp = defaultPara2_;
        RProps base = defaultRun_;
        const auto& st = resolve(styleId);
        pp.over(st.second);
        base.over(st.first);
        pp.over(parsePPr(pPr));

        ParaStyle& ps = para.style;
        ps.align = pp.align.value_or(Align::Natural);
        ps.leftIndent = pp.left.value_or(0);
        ps.rightIndent = pp.right.value_or(0);
        ps.firstIndent = pp.first.value_or(0);
        ps.spaceBefore = pp.before.value_or(0);
        ps.spaceAfter = pp.after.value_or(0);
        ps.pageBreakBefore = pp.pageBreak.value_or(false) || breakPending_;
        breakPending_ = false;
        ps.heading = headingOf(styleId);
        if (!ps.heading && pp.outline && *pp.outline >= 0 && *pp.outline < 6) ps.heading = *pp.outline + 1;
        if (ps.heading > 6) ps.heading = 6;
        if (pp.numId && *pp.numId > 0) {
            auto l = lists_.find(*pp.numId);
            const int lvl = std::clamp(pp.ilvl.value_or(0), 0, 8);
            if (l != lists_.end() && !l->second[size_t(lvl)].markerless) {
                const Level& level = l->second[size_t(lvl)];
                ps.listLevel = lvl + 1;
                ps.ordered = level.ordered;
                auto& counts = counters_[*pp.numId];
                if (counts[size_t(lvl)] == 0) counts[size_t(lvl)] = level.start - 1;
                ps.listNumber = ++counts[size_t(lvl)];
                for (int d = lvl + 1; d < 9; ++d) counts[size_t(d)] = 0;
            }
        }
        inlines(p, base, std::string(), para);
        return para;
    }

    std::string currentLink(const std::string& explicitLink) const {
        if (!explicitLink.empty()) return explicitLink;
        for (auto it = fields_.rbegin(); it != fields_.rend(); ++it)
            if (it->result && !it->link.empty()) return it->link;
        return {};
    }

    bool inInstruction() const { return !fields_.empty() && !fields_.back().result; }

    static std::string hyperlinkTarget(const std::string& instr) {
        const size_t k = instr.find("HYPERLINK");
        if (k == std::string::npos) return {};
        const size_t q1 = instr.find('"', k);
        if (q1 == std::string::npos) {
            // Unquoted target: the first word after the keyword.
            size_t a = k + 9;
            while (a < instr.size() && instr[a] == ' ') ++a;
            size_t b = instr.find(' ', a);
            std::string t = instr.substr(a, b == std::string::npos ? std::string::npos : b - a);
            return t.rfind("\\", 0) == 0 ? std::string() : t;
        }
        const size_t q2 = instr.find('"', q1 + 1);
        if (q2 == std::string::npos) return {};
        std::string target = instr.substr(q1 + 1, q2 - q1 - 1);
        if (instr.compare(k + 9, 4, " \\l ") == 0) target = "#" + target;
        return target;
    }

    void text(Paragraph& para, const std::string& s, const RProps& rp, const std::string& link) {
        if (s.empty() || inInstruction()) return;
        CharStyle cs = rp.toStyle();
        cs.link = currentLink(link);
        appendText(para, s, cs);
    }

    void inlines(const xmlNode* parent, const RProps& base, const std::string& link, Paragraph& para) {
        for (const xmlNode* c = parent->children; c; c = c->next)
            inlineNode(c, base, link, para);
    }

    // One element of paragraph content: a run, a link or field around runs, a picture.
    void inlineNode(const xmlNode* c, const RProps& base, const std::string& link,
                    Paragraph& para) {
        if (c->type != XML_ELEMENT_NODE) return;
        const char* n = reinterpret_cast<const char*>(c->name);
        if (!std::strcmp(n, "r")) {
            run(c, base, link, para);
        } else if (!std::strcmp(n, "hyperlink")) {
            std::string target;
            const std::string id = xml::attr(c, "id", "relationships");
            if (!id.empty() && hooks_.relationship) target = hooks_.relationship(id);
            if (target.empty()) {
                const std::string anchor = xml::attr(c, "anchor");
                if (!anchor.empty()) target = "#" + anchor;
            }
            inlines(c, base, target.empty() ? link : target, para);
        } else if (!std::strcmp(n, "hlink")) {
            // Word may give both: a page and a place in it.
            std::string target = xml::attr(c, "dest");
            const std::string bookmark = xml::attr(c, "bookmark");
            if (!bookmark.empty()) target += "#" + bookmark;
            inlines(c, base, target.empty() ? link : target, para);
        } else if (!std::strcmp(n, "fldSimple")) {
            const std::string target = hyperlinkTarget(xml::attr(c, "instr"));
            inlines(c, base, target.empty() ? link : target, para);
        } else if (!std::strcmp(n, "sdt")) {
            if (const xmlNode* content = xml::child(c, "sdtContent"))
                inlines(content, base, link, para);
        } else if (!std::strcmp(n, "ins") || !std::strcmp(n, "smartTag") ||
                   !std::strcmp(n, "customXml") || !std::strcmp(n, "dir") ||
                   !std::strcmp(n, "bdo") || !std::strcmp(n, "moveTo") ||
                   !std::strcmp(n, "content")) {
            inlines(c, base, link, para);
        } else if (!std::strcmp(n, "annotation")) {
            // wordml revision marks wrap inserted runs; comments are left out.
            if (xml::attr(c, "type").find("Insertion") != std::string::npos)
                inlines(c, base, link, para);
        } else if (!std::strcmp(n, "AlternateContent")) {
            const xmlNode* choice = xml::child(c, "Choice");
            inlines(choice ? choice : xml::child(c, "Fallback"), base, link, para);
        } else if (!std::strcmp(n, "pict") || !std::strcmp(n, "drawing")) {
            picture(c, para);
        }
    }

    void picture(const xmlNode* n, Paragraph& para) {
        if (inInstruction()) return;
        if (const xmlNode* box = xml::find(n, "txbxContent")) {
            // A text box: its paragraphs flow into this one, a line each.
            for (const xmlNode* p = box->children; p; p = p->next) {
                if (!xml::is(p, "p")) continue;
                if (!para.runs.empty()) appendText(para, "\xE2\x80\xA8", {});
                const auto& st = resolve(xml::childVal(xml::child(p, "pPr"), "pStyle"));
                RProps base = defaultRun_;
                base.over(st.first);
                inlines(p, base, std::string(), para);
            }
            return;
        }
        if (!hooks_.picture) return;
        const int idx = hooks_.picture(n);
        if (idx < 0) return;
        Run& r = para.runs.emplace_back();
        r.attachment = idx;
    }

    void run(const xmlNode* r, const RProps& base, const std::string& link, Paragraph& para) {
        const xmlNode* rPr = xml::child(r, "rPr");
        RProps rp = base;
        const std::string rStyle = xml::childVal(rPr, "rStyle");
        if (!rStyle.empty()) rp.over(resolve(rStyle).first);
        rp.over(parseRPr(rPr));
        for (const xmlNode* c = r->children; c; c = c->next) {
            if (c->type != XML_ELEMENT_NODE) continue;
            const char* n = reinterpret_cast<const char*>(c->name);
            if (!std::strcmp(n, "t")) {
                text(para, xml::text(c), rp, link);
            } else if (!std::strcmp(n, "tab") || !std::strcmp(n, "ptab")) {
                text(para, "\t", rp, link);
            } else if (!std::strcmp(n, "br") || !std::strcmp(n, "cr")) {
                const std::string type = xml::attr(c, "type");
                if (type == "page" && !inInstruction()) {
                    // A break after text starts the next paragraph on a new page.
                    if (para.runs.empty())
                        para.style.pageBreakBefore = true;
                    else
                        breakPending_ = true;
                } else if (type != "page" && type != "column") {
                    text(para, "\xE2\x80\xA8", rp, link);
                }
            } else if (!std::strcmp(n, "noBreakHyphen")) {
                text(para, "\xE2\x80\x91", rp, link);
            } else if (!std::strcmp(n, "sym")) {
                uint32_t cp = uint32_t(std::strtoul(xml::attr(c, "char").c_str(), nullptr, 16));
                if (cp >= 0xF000 && cp <= 0xF0FF) cp -= 0xF000;  // symbol fonts use the private area
                if (cp) {
                    std::string s;
                    appendUtf8(s, cp);
                    text(para, s, rp, link);
                }
            } else if (!std::strcmp(n, "fldChar")) {
                const std::string type = xml::attr(c, "fldCharType");
                if (type == "begin") {
                    fields_.emplace_back();
                } else if (type == "separate" && !fields_.empty()) {
                    fields_.back().result = true;
                    fields_.back().link = hyperlinkTarget(fields_.back().instr);
                } else if (type == "end" && !fields_.empty()) {
                    fields_.pop_back();
                }
            } else if (!std::strcmp(n, "footnoteReference") || !std::strcmp(n, "endnoteReference")) {
                auto it = noteParts_.find(std::string(n[0] == 'f' ? "f" : "e") + xml::attr(c, "id"));
                if (it != noteParts_.end()) cite(it->second, n[0] == 'e', para, rp, link);
            } else if (!std::strcmp(n, "footnote") || !std::strcmp(n, "endnote")) {
                // wordml: the note's text sits where it is cited; an endnote may be a footnote
                // in the endnote style, as we write them.
                const xmlNode* first = xml::child(c, "p");
                const bool end =
                    n[0] == 'e' || xml::childVal(xml::child(first, "pPr"), "pStyle") == "EndnoteText";
                cite(c, end, para, rp, link);
            } else if (!std::strcmp(n, "instrText")) {
                if (!fields_.empty() && !fields_.back().result) fields_.back().instr += xml::text(c);
            } else if (!std::strcmp(n, "drawing") || !std::strcmp(n, "pict") || !std::strcmp(n, "object")) {
                picture(c, para);
            } else if (!std::strcmp(n, "AlternateContent")) {
                const xmlNode* choice = xml::child(c, "Choice");
                if (const xmlNode* d = xml::find(choice, "drawing")) picture(d, para);
                else if (const xmlNode* fb = xml::find(xml::child(c, "Fallback"), "pict")) picture(fb, para);
            } else if (!std::strcmp(n, "rPr")) {
                continue;
            } else if (depth_ < kMaxNesting) {
                // Runs and links nested in a run (LibreOffice writes a link's text so) take this
                // run's style.
                ++depth_;
                inlineNode(c, rp, link, para);
                --depth_;
            }
        }
    }

    Table table(const xmlNode* tbl) {
        Table t;
        std::vector<std::vector<bool>> continued;
        bool head = true;
        rows(tbl, t, continued, head);
        foldRowSpans(t, continued);
        return t;
    }

    void rows(const xmlNode* parent, Table& t, std::vector<std::vector<bool>>& continued, bool& head) {
        for (const xmlNode* tr = parent->children; tr; tr = tr->next) {
            if (xml::is(tr, "sdt")) {
                if (const xmlNode* content = xml::child(tr, "sdtContent")) rows(content, t, continued, head);
                continue;
            }
            if (xml::is(tr, "customXml")) {
                rows(tr, t, continued, head);
                continue;
            }
            if (!xml::is(tr, "tr")) continue;
            // The head is the run of leading rows marked as repeated header rows.
            const xmlNode* th = xml::child(xml::child(tr, "trPr"), "tblHeader");
            head = head && toggle(th).value_or(false);
            if (head) t.headerRows = int(t.rows.size()) + 1;
            TableRow& row = t.rows.emplace_back();
            cells(tr, row, continued.emplace_back());
        }
    }

    void cells(const xmlNode* tr, TableRow& row, std::vector<bool>& continued) {
        for (const xmlNode* tc = tr->children; tc; tc = tc->next) {
            if (xml::is(tc, "sdt") || xml::is(tc, "customXml")) {
                if (const xmlNode* inner = xml::is(tc, "sdt") ? xml::child(tc, "sdtContent") : tc) cells(inner, row, continued);
                continue;
            }
            if (!xml::is(tc, "tc")) continue;
            TableCell& cell = row.cells.emplace_back();
            const xmlNode* tcPr = xml::child(tc, "tcPr");
            cell.colSpan = columnSpan(xml::childVal(tcPr, "gridSpan"));
            // A merged continuation shows nothing: the text lives in the first cell.
            const xmlNode* vm = xml::child(tcPr, "vMerge");
            if (!vm) vm = xml::child(tcPr, "vmerge");
            const bool cont = vm && xml::attr(vm, "val") != "restart";
            continued.push_back(cont);
            if (cont) continue;
            body(tc, cell.blocks);
            // The empty paragraph a cell must end with (alone, or after a table) is not content.
            const size_t n = cell.blocks.size();
            if (n > 0 && !cell.blocks[n - 1].table && cell.blocks[n - 1].paragraph.empty() &&
                (n == 1 || cell.blocks[n - 2].table))
                cell.blocks.pop_back();
        }
    }
};

} // namespace

int headingFromStyleName(const std::string& name) {
    std::string s = lower(name);
    s.erase(std::remove(s.begin(), s.end(), ' '), s.end());
    if (s == "title") return 1;
    if (s.rfind("heading", 0) == 0 && s.size() == 8 && s[7] >= '1' && s[7] <= '9') return s[7] - '0';
    return 0;
}

void readBody(const xmlNode* body, const xmlNode* styles, const xmlNode* lists, const ReadHooks& hooks, Document& doc) {
    BodyReader reader(styles, lists, hooks, doc);
    reader.body(body, doc.blocks);
}

void readBodyBlocks(const std::function<const xmlNode*()>& next, const xmlNode* styles,
                    const xmlNode* lists, const ReadHooks& hooks, Document& doc) {
    BodyReader reader(styles, lists, hooks, doc);
    while (const xmlNode* c = next())
        reader.block(c, doc.blocks);
}

void readStory(const xmlNode* story, const xmlNode* styles, const xmlNode* lists,
               const ReadHooks& hooks, Document& doc, std::vector<Block>& out) {
    BodyReader reader(styles, lists, hooks, doc);
    reader.body(story, out);
}

// ---------------------------------------------------------------------------------------------
// Writing

namespace {


int twips(double pt) { return int(std::lround(pt * 20)); }

class BodyWriter {
public:
    BodyWriter(const Document& doc, const std::vector<Block>& story, Dialect dialect,
               const WriteHooks& hooks, int firstList)
        : doc_(doc), story_(story), dialect_(dialect), hooks_(hooks), firstList_(firstList) {}

    BodyXml run() {
        out_.body.reserve(8192);
        blocks(out_.body, story_);
        // A table may not end the body, and a header or footer holds a paragraph at least.
        const bool body = &story_ == &doc_.blocks;
        if (story_.empty() ? !body : story_.back().table.has_value()) out_.body += "<w:p/>";
        if (hooks_.sink) {
            hooks_.sink(out_.body);
            out_.body.clear();
        }
        return std::move(out_);
    }

private:
    const Document& doc_;
    const std::vector<Block>& story_;
    Dialect dialect_;
    const WriteHooks& hooks_;
    int firstList_;
    BodyXml out_;
    std::map<bool, int> current_;  // list instance per kind of the list being written
    std::map<int, int> noteIds_;   // docx: note index -> w:id in its part
    int lastId_[2] = {0, 0};       // docx: last w:id given, footnotes and endnotes
    std::set<int> notesWritten_;   // wordml: notes already written at a reference
    std::string mark_;             // the note mark the next paragraph starts with
    const char* noteStyle_ = nullptr; // paragraph style inside the note being written

    void blocks(std::string& out, const std::vector<Block>& blocks) {
        bool lastWasList = false;
        for (const Block& b : blocks) {
            if (b.table) {
                lastWasList = false;
                table(out, *b.table);
                flush(out, blocks);
                continue;
            }
            const ParaStyle& ps = b.paragraph.style;
            int id = 0;
            if (ps.listLevel > 0) {
                // A new list starts after any non-list block; kinds get separate instances.
                if (!lastWasList) current_.clear();
                auto it = current_.find(ps.ordered);
                if (it == current_.end()) {
                    ListInstance li;
                    li.id = firstList_ + int(out_.lists.size());
                    li.ordered = ps.ordered;
                    li.start = ps.ordered && ps.listLevel == 1 ? std::max(1, ps.listNumber) : 1;
                    out_.lists.push_back(li);
                    it = current_.emplace(ps.ordered, li.id).first;
                }
                id = it->second;
                lastWasList = true;
            } else {
                lastWasList = false;
            }
            paragraph(out, b.paragraph, id);
            flush(out, blocks);
        }
        // A list inside a cell ends with the cell.
        if (lastWasList) current_.clear();
    }

    // Hands the body's XML so far to the sink once there is enough of it, between top-level blocks.
    void flush(std::string& out, const std::vector<Block>& blocks) {
        if (!hooks_.sink || &blocks != &story_ || &out != &out_.body || out.size() < (size_t(1) << 20)) return;
        hooks_.sink(out);
        out.clear();
    }

    void paragraph(std::string& out, const Paragraph& p, int listId) {
        const ParaStyle& ps = p.style;
        std::string pPr;
        if (ps.heading > 0) pPr += "<w:pStyle w:val=\"Heading" + std::to_string(std::min(ps.heading, 6)) + "\"/>";
        else if (ps.listLevel > 0) pPr += "<w:pStyle w:val=\"ListParagraph\"/>";
        else if (noteStyle_)
            pPr += std::string("<w:pStyle w:val=\"") + noteStyle_ + "\"/>";
        if (ps.pageBreakBefore) pPr += "<w:pageBreakBefore/>";
        if (ps.listLevel > 0 && listId > 0) {
            const std::string lvl = "<w:ilvl w:val=\"" + std::to_string(std::min(ps.listLevel, 9) - 1) + "\"/>";
            if (dialect_ == Dialect::Docx)
                pPr += "<w:numPr>" + lvl + "<w:numId w:val=\"" + std::to_string(listId) + "\"/></w:numPr>";
            else
                pPr += "<w:listPr>" + lvl + "<w:ilfo w:val=\"" + std::to_string(listId) + "\"/></w:listPr>";
        }
        if (ps.spaceBefore > 0 || ps.spaceAfter > 0)
            pPr += "<w:spacing w:before=\"" + std::to_string(twips(ps.spaceBefore)) + "\" w:after=\"" +
                   std::to_string(twips(ps.spaceAfter)) + "\"/>";
        if (ps.listLevel == 0 && (ps.leftIndent || ps.rightIndent || ps.firstIndent)) {
            pPr += "<w:ind w:left=\"" + std::to_string(twips(ps.leftIndent)) + "\" w:right=\"" +
                   std::to_string(twips(ps.rightIndent)) + "\"";
            if (ps.firstIndent > 0)
                pPr += std::string(dialect_ == Dialect::Docx ? " w:firstLine=\"" : " w:first-line=\"") +
                       std::to_string(twips(ps.firstIndent)) + "\"";
            else if (ps.firstIndent < 0)
                pPr += " w:hanging=\"" + std::to_string(twips(-ps.firstIndent)) + "\"";
            pPr += "/>";
        }
        switch (ps.align) {
        case Align::Left: pPr += "<w:jc w:val=\"left\"/>"; break;
        case Align::Center: pPr += "<w:jc w:val=\"center\"/>"; break;
        case Align::Right: pPr += "<w:jc w:val=\"right\"/>"; break;
        case Align::Justify: pPr += "<w:jc w:val=\"both\"/>"; break;
        case Align::Natural: break;
        }
        out += "<w:p>";
        if (!pPr.empty()) out += "<w:pPr>" + pPr + "</w:pPr>";
        out += mark_;
        mark_.clear();
        size_t i = 0;
        while (i < p.runs.size()) {
            const std::string& link =
                p.runs[i].attachment < 0 ? p.runs[i].style->link.str() : std::string();
            size_t j = i + 1;
            if (!link.empty())
                while (j < p.runs.size() && p.runs[j].attachment < 0 && p.runs[j].style->link == link) ++j;
            if (!link.empty()) {
                if (dialect_ == Dialect::Docx && hooks_.linkId) {
                    if (link[0] == '#')
                        out += "<w:hyperlink w:anchor=\"" + xml::escaped(link.substr(1)) + "\" w:history=\"1\">";
                    else
                        out += "<w:hyperlink r:id=\"" + hooks_.linkId(link) + "\" w:history=\"1\">";
                } else {
                    out += link[0] == '#' ? "<w:hlink w:bookmark=\"" + xml::escaped(link.substr(1)) + "\">"
                                          : "<w:hlink w:dest=\"" + xml::escaped(link) + "\">";
                }
            }
            for (size_t k = i; k < j; ++k) run(out, p.runs[k], ps);
            if (!link.empty()) out += dialect_ == Dialect::Docx && hooks_.linkId ? "</w:hyperlink>" : "</w:hlink>";
            i = j;
        }
        out += "</w:p>";
    }

    void runProps(std::string& out, const CharStyle& cs) {
        std::string r;
        if (!cs.link.empty()) r += "<w:rStyle w:val=\"Hyperlink\"/>";
        if (!cs.font.empty()) {
            const std::string f = xml::escaped(cs.font);
            r += "<w:rFonts w:ascii=\"" + f + (dialect_ == Dialect::Docx ? "\" w:hAnsi=\"" : "\" w:h-ansi=\"") + f +
                 "\" w:cs=\"" + f + "\"/>";
        }
        if (cs.bold) r += "<w:b/>";
        if (cs.italic) r += "<w:i/>";
        if (cs.strike) r += "<w:strike/>";
        if (cs.color) r += "<w:color w:val=\"" + xml::hexColor(*cs.color) + "\"/>";
        if (cs.size > 0) {
            const std::string hp = std::to_string(std::max(2, int(std::lround(cs.size * 2))));
            r += "<w:sz w:val=\"" + hp + (dialect_ == Dialect::Docx ? "\"/><w:szCs w:val=\"" : "\"/><w:sz-cs w:val=\"") + hp + "\"/>";
        }
        if (cs.underline) r += "<w:u w:val=\"single\"/>";
        if (cs.background)
            r += "<w:shd w:val=\"clear\" w:color=\"auto\" w:fill=\"" + xml::hexColor(*cs.background) + "\"/>";
        if (cs.baseline)
            r += std::string("<w:vertAlign w:val=\"") + (cs.baseline > 0 ? "superscript" : "subscript") + "\"/>";
        if (!r.empty()) out += "<w:rPr>" + r + "</w:rPr>";
    }

    void run(std::string& out, const Run& r, const ParaStyle&) {
        if (r.note >= 0) {
            noteReference(out, r);
            return;
        }
        if (r.attachment >= 0) {
            if (r.attachment >= int(doc_.attachments.size()) || !hooks_.picture) return;
            double w, h;
            pictureSize(doc_.attachments[size_t(r.attachment)], w, h);
            const std::string pic = hooks_.picture(r.attachment, w, h);
            if (!pic.empty()) out += "<w:r>" + pic + "</w:r>";
            return;
        }
        if (r.text.empty()) return;
        out += "<w:r>";
        runProps(out, r.style);
        const std::string_view t = r.text;
        size_t from = 0;  // start of the text not yet written
        size_t i = 0;
        auto flush = [&] {
            if (i > from) {
                out += "<w:t xml:space=\"preserve\">";
                xml::escape(out, std::string_view(t).substr(from, i - from));
                out += "</w:t>";
            }
        };
        for (; i < t.size(); ++i) {
            const char c = t[i];
            if (c == '\t') {
                flush();
                out += "<w:tab/>";
                from = i + 1;
            } else if (c == '\n' || c == '\r' || c == '\f' || c == '\v') {
                flush();
                out += "<w:br/>";
                from = i + 1;
            } else if (t.compare(i, 3, "\xE2\x80\xA8") == 0) {
                flush();
                out += "<w:br/>";
                i += 2;
                from = i + 1;
            }
        }
        flush();
        out += "</w:r>";
    }

    // docx: a reference to the note in its part; wordml: the note itself, where it is cited.
    void noteReference(std::string& out, const Run& r) {
        // A second reference to a wordml note, or one inside a note, shows its mark only.
        if (r.note >= int(doc_.notes.size()) || noteStyle_ ||
            (dialect_ == Dialect::WordML && notesWritten_.count(r.note))) {
            Run mark;
            mark.text = noteMark(r);
            mark.style = r.style;
            mark.style.edit([](CharStyle& s) { s.baseline = 1; });
            run(out, mark, {});
            return;
        }
        const Note& n = doc_.notes[size_t(r.note)];
        const bool end = n.kind == Note::Kind::Endnote;
        // LibreOffice's Word 2003 XML import drops the text of a w:endnote: there an endnote is a
        // footnote in the endnote styles, which our reader takes back as an endnote.
        const std::string kind = end && dialect_ == Dialect::Docx ? "endnote" : "footnote";
        const std::string ref = std::string("<w:r><w:rPr><w:rStyle w:val=\"") +
                                (end ? "EndnoteReference" : "FootnoteReference") + "\"/></w:rPr>";
        if (dialect_ == Dialect::Docx) {
            auto it = noteIds_.find(r.note);
            if (it == noteIds_.end()) {
                const std::string id = std::to_string(++lastId_[end]);
                it = noteIds_.emplace(r.note, lastId_[end]).first;
                std::string& part = end ? out_.endnotes : out_.footnotes;
                part += "<w:" + kind + " w:id=\"" + id + "\">";
                noteBody(part, n, ref + "<w:" + kind + "Ref/></w:r>");
                part += "</w:" + kind + ">";
            }
            out += ref + "<w:" + kind + "Reference w:id=\"" + std::to_string(it->second) +
                   "\"/></w:r>";
            return;
        }
        notesWritten_.insert(r.note);
        out += ref + "<w:" + kind + ">";
        noteBody(out, n, ref + "<w:" + kind + "Ref/></w:r>");
        out += "</w:" + kind + "></w:r>";
    }

    // The note's blocks, its first paragraph led by its mark.
    void noteBody(std::string& out, const Note& n, const std::string& mark) {
        std::map<bool, int> lists = std::move(current_);
        current_.clear();
        mark_ = mark + "<w:r><w:t xml:space=\"preserve\"> </w:t></w:r>";
        noteStyle_ = n.kind == Note::Kind::Endnote ? "EndnoteText" : "FootnoteText";
        if (n.blocks.empty() || n.blocks.front().table) paragraph(out, Paragraph(), 0);
        blocks(out, n.blocks);
        // A table may not end a note either.
        if (!n.blocks.empty() && n.blocks.back().table) out += "<w:p/>";
        mark_.clear();
        noteStyle_ = nullptr;
        current_ = std::move(lists);
    }

    void table(std::string& out, const Table& t) {
        const size_t columns = std::max<size_t>(1, tableColumns(t));
        const int colW = twips(kTextWidth) / int(columns);
        out += "<w:tbl><w:tblPr><w:tblW w:w=\"" + std::to_string(colW * int(columns)) + "\" w:type=\"dxa\"/><w:tblBorders>";
        for (const char* side : {"top", "left", "bottom", "right", "insideH", "insideV"})
            out += std::string("<w:") + side + " w:val=\"single\" w:sz=\"4\" w:space=\"0\" w:color=\"000000\"/>";
        out += "</w:tblBorders>";
        if (dialect_ == Dialect::Docx) out += "<w:tblLayout w:type=\"fixed\"/>";
        out += "</w:tblPr><w:tblGrid>";
        for (size_t c = 0; c < columns; ++c) out += "<w:gridCol w:w=\"" + std::to_string(colW) + "\"/>";
        out += "</w:tblGrid>";
        const char* vMerge = dialect_ == Dialect::Docx ? "vMerge" : "vmerge";
        const std::string emptyCell = "<w:tc><w:tcPr><w:tcW w:w=\"" + std::to_string(colW) + "\" w:type=\"dxa\"/></w:tcPr><w:p/></w:tc>";
        const std::vector<std::vector<CellSlot>> slots = tableSlots(t);
        for (size_t r = 0; r < slots.size(); ++r) {
            out += "<w:tr>";
            if (int(r) < t.headerRows) out += "<w:trPr><w:tblHeader/></w:trPr>";
            size_t used = 0;
            for (const CellSlot& slot : slots[r]) {
                // Gaps left by short rows above a covered position are filled with empty cells.
                for (; used < size_t(slot.column); ++used)
                    out += emptyCell;
                const TableCell& c = *slot.cell;
                const int span = std::max(1, c.colSpan);
                used += size_t(span);
                out += "<w:tc><w:tcPr><w:tcW w:w=\"" + std::to_string(colW * span) + "\" w:type=\"dxa\"/>";
                if (span > 1) out += "<w:gridSpan w:val=\"" + std::to_string(span) + "\"/>";
                // Word 2003 XML readers want the continuation spelled out.
                if (slot.continued) out += std::string("<w:") + vMerge + (dialect_ == Dialect::Docx ? "/>" : " w:val=\"continue\"/>");
                else if (c.rowSpan > 1) out += std::string("<w:") + vMerge + " w:val=\"restart\"/>";
                out += "</w:tcPr>";
                if (!slot.continued) blocks(out, c.blocks);
                // A cell ends with a paragraph.
                if (slot.continued || c.blocks.empty() || c.blocks.back().table) out += "<w:p/>";
                out += "</w:tc>";
            }
            // Short rows are padded so every row fills the grid.
            for (; used < columns; ++used)
                out += emptyCell;
            out += "</w:tr>";
        }
        out += "</w:tbl>";
    }
};

} // namespace

BodyXml writeBody(const Document& doc, Dialect dialect, const WriteHooks& hooks) {
    return BodyWriter(doc, doc.blocks, dialect, hooks, 1).run();
}

BodyXml writeStory(const Document& doc, const std::vector<Block>& story, Dialect dialect,
                   const WriteHooks& hooks, int firstList) {
    return BodyWriter(doc, story, dialect, hooks, firstList).run();
}

std::string writeStyles(Dialect dialect) {
    static const double sizes[] = {0, 24, 18, 14, 12, 10, 10};
    const bool docx = dialect == Dialect::Docx;
    const std::string on = docx ? "1" : "on";
    const std::string szCs = docx ? "szCs" : "sz-cs";
    std::string s;
    s += "<w:style w:type=\"paragraph\" w:default=\"" + on + "\" w:styleId=\"Normal\"><w:name w:val=\"Normal\"/>";
    if (docx) s += "<w:qFormat/>";
    s += "<w:rPr><w:sz w:val=\"24\"/><w:" + szCs + " w:val=\"24\"/></w:rPr></w:style>";
    s += "<w:style w:type=\"character\" w:default=\"" + on + "\" w:styleId=\"DefaultParagraphFont\"><w:name w:val=\"Default Paragraph Font\"/></w:style>";
    for (int level = 1; level <= 6; ++level) {
        const std::string n = std::to_string(level);
        const std::string hp = std::to_string(int(sizes[level] * 2));
        s += "<w:style w:type=\"paragraph\" w:styleId=\"Heading" + n + "\"><w:name w:val=\"heading " + n +
             "\"/><w:basedOn w:val=\"Normal\"/><w:next w:val=\"Normal\"/>";
        if (dialect == Dialect::Docx) s += "<w:qFormat/>";
        s += "<w:pPr><w:keepNext/><w:spacing w:before=\"240\" w:after=\"120\"/><w:outlineLvl w:val=\"" +
             std::to_string(level - 1) + "\"/></w:pPr><w:rPr><w:b/><w:sz w:val=\"" + hp + "\"/><w:" + szCs + " w:val=\"" + hp +
             "\"/></w:rPr></w:style>";
    }
    s += "<w:style w:type=\"paragraph\" w:styleId=\"ListParagraph\"><w:name w:val=\"List Paragraph\"/>"
         "<w:basedOn w:val=\"Normal\"/></w:style>";
    for (const char* kind : {"Footnote", "Endnote"}) {
        const std::string k = kind, lowerKind = k == "Footnote" ? "footnote" : "endnote";
        s += "<w:style w:type=\"paragraph\" w:styleId=\"" + k + "Text\"><w:name w:val=\"" +
             lowerKind +
             " text\"/><w:basedOn w:val=\"Normal\"/><w:rPr><w:sz w:val=\"20\"/><w:" + szCs +
             " w:val=\"20\"/></w:rPr></w:style>";
        s += "<w:style w:type=\"character\" w:styleId=\"" + k + "Reference\"><w:name w:val=\"" +
             lowerKind +
             " reference\"/><w:rPr><w:vertAlign w:val=\"superscript\"/></w:rPr></w:style>";
    }
    s += "<w:style w:type=\"character\" w:styleId=\"Hyperlink\"><w:name w:val=\"Hyperlink\"/>"
         "<w:basedOn w:val=\"DefaultParagraphFont\"/><w:rPr><w:color w:val=\"0000EE\"/><w:u w:val=\"single\"/></w:rPr></w:style>";
    return s;
}

std::string listLevels(bool ordered, Dialect dialect) {
    static const char* const bullets[] = {"\xE2\x80\xA2", "\xE2\x97\xA6", "\xE2\x96\xAA"};
    std::string s;
    for (int l = 0; l < 9; ++l) {
        const int indent = 720 * (l + 1);
        s += "<w:lvl w:ilvl=\"" + std::to_string(l) + "\"><w:start w:val=\"1\"/>";
        if (dialect == Dialect::Docx)
            s += ordered ? "<w:numFmt w:val=\"decimal\"/>" : "<w:numFmt w:val=\"bullet\"/>";
        else
            s += ordered ? "<w:nfc w:val=\"0\"/>" : "<w:nfc w:val=\"23\"/>";
        s += "<w:lvlText w:val=\"" + (ordered ? "%" + std::to_string(l + 1) + "." : std::string(bullets[l % 3])) + "\"/>";
        s += "<w:lvlJc w:val=\"left\"/><w:pPr><w:ind w:left=\"" + std::to_string(indent) + "\" w:hanging=\"360\"/></w:pPr>";
        if (!ordered)
            s += dialect == Dialect::Docx ? "<w:rPr><w:rFonts w:ascii=\"Arial\" w:hAnsi=\"Arial\" w:cs=\"Arial\"/></w:rPr>"
                                          : "<w:rPr><w:rFonts w:ascii=\"Arial\" w:h-ansi=\"Arial\" w:cs=\"Arial\"/></w:rPr>";
        s += "</w:lvl>";
    }
    return s;
}

double vmlLength(const std::string& style, const char* key) {
    size_t k = style.find(key);
    // "width:" must not match inside "mso-width-percent:".
    while (k != std::string::npos && k > 0 && style[k - 1] != ';' && style[k - 1] != ' ')
        k = style.find(key, k + 1);
    if (k == std::string::npos) return 0;
    const char* s = style.c_str() + k + std::strlen(key);
    char* end = nullptr;
    const double v = std::strtod(s, &end);
    const std::string unit(end, std::min<size_t>(2, std::strlen(end)));
    if (unit == "in") return v * 72;
    if (unit == "cm") return v * 28.35;
    if (unit == "mm") return v * 2.835;
    if (unit == "px") return v * 0.75;
    return v;
}

} // namespace textutil::wp

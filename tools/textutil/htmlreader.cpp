#include "encoding.h"
#include "html.h"
#include "media.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <utility>

namespace fs = std::filesystem;

namespace textutil {
namespace html {

namespace {

std::string lower(std::string_view s) {
    std::string r(s);
    std::transform(r.begin(), r.end(), r.begin(), [](unsigned char c) { return std::tolower(c); });
    return r;
}

std::string trimmed(std::string_view s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return std::string(s.substr(a, b - a));
}

// Browser habits: Latin-1 means Windows-1252, and a few common aliases.
std::string canonicalCharset(std::string name) {
    name = lower(trimmed(name));
    if (name == "iso-8859-1" || name == "latin1" || name == "us-ascii" || name == "ascii" || name == "windows-1252")
        return "CP1252";
    if (name == "x-sjis" || name == "shift-jis" || name == "sjis") return "SHIFT_JIS";
    if (name == "gb2312" || name == "gbk" || name == "x-gbk") return "CP936";
    if (name == "utf8") return "UTF-8";
    return name;
}

std::optional<Color> parseColor(std::string_view v) {
    std::string s = lower(trimmed(v));
    if (s.empty()) return std::nullopt;
    static const std::map<std::string, Color> named = {
        {"black", {0, 0, 0}}, {"white", {255, 255, 255}}, {"red", {255, 0, 0}}, {"green", {0, 128, 0}},
        {"blue", {0, 0, 255}}, {"yellow", {255, 255, 0}}, {"gray", {128, 128, 128}}, {"grey", {128, 128, 128}},
        {"silver", {192, 192, 192}}, {"maroon", {128, 0, 0}}, {"purple", {128, 0, 128}}, {"fuchsia", {255, 0, 255}},
        {"lime", {0, 255, 0}}, {"olive", {128, 128, 0}}, {"navy", {0, 0, 128}}, {"teal", {0, 128, 128}},
        {"aqua", {0, 255, 255}}, {"orange", {255, 165, 0}}};
    auto it = named.find(s);
    if (it != named.end()) return it->second;
    if (s[0] == '#' || (s.size() == 6 && std::all_of(s.begin(), s.end(), ::isxdigit))) {
        std::string h = s[0] == '#' ? s.substr(1) : s;
        if (h.size() == 3) h = {h[0], h[0], h[1], h[1], h[2], h[2]};
        if (h.size() != 6 || !std::all_of(h.begin(), h.end(), ::isxdigit)) return std::nullopt;
        const unsigned long v = std::stoul(h, nullptr, 16);
        return Color{uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    }
    if (s.rfind("rgb", 0) == 0) {
        int r, g, b;
        const size_t open = s.find('(');
        if (open != std::string::npos && std::sscanf(s.c_str() + open + 1, "%d ,%d ,%d", &r, &g, &b) == 3)
            return Color{uint8_t(std::clamp(r, 0, 255)), uint8_t(std::clamp(g, 0, 255)), uint8_t(std::clamp(b, 0, 255))};
    }
    return std::nullopt;
}

// Font size in points from a CSS length; `base` is the inherited size.
double parseFontSize(std::string_view v, double base) {
    const std::string s = lower(trimmed(v));
    static const std::map<std::string, double> named = {{"xx-small", 7}, {"x-small", 7.5}, {"small", 10},
        {"medium", 12}, {"large", 13.5}, {"x-large", 18}, {"xx-large", 24}, {"larger", 0}, {"smaller", 0}};
    auto it = named.find(s);
    if (it != named.end()) {
        if (s == "larger") return (base > 0 ? base : 12) * 1.2;
        if (s == "smaller") return (base > 0 ? base : 12) / 1.2;
        return it->second;
    }
    char* end = nullptr;
    const double n = std::strtod(s.c_str(), &end);
    if (end == s.c_str() || n <= 0) return 0;
    const std::string unit(end);
    if (unit == "pt") return n;
    if (unit == "px" || unit.empty()) return n * 0.75;
    if (unit == "em" || unit == "rem") return n * (base > 0 ? base : 12);
    if (unit == "%") return n / 100 * (base > 0 ? base : 12);
    return 0;
}

// A length in points from CSS ("36px", "0.5in", "2em" of `em` points).
double parseLength(std::string_view v, double em = 12) {
    const std::string s = lower(trimmed(v));
    char* end = nullptr;
    const double n = std::strtod(s.c_str(), &end);
    if (end == s.c_str()) return 0;
    const std::string unit(end);
    if (unit == "pt") return n;
    if (unit == "px" || unit.empty()) return n * 0.75;
    if (unit == "in") return n * 72;
    if (unit == "cm") return n * 28.35;
    if (unit == "mm") return n * 2.835;
    if (unit == "em" || unit == "rem") return n * em;
    if (unit == "pc") return n * 12;
    return 0;
}

using Declarations = std::vector<std::pair<std::string, std::string>>;

Declarations parseDeclarations(std::string_view css) {
    Declarations out;
    size_t i = 0;
    while (i < css.size()) {
        size_t semi = css.find(';', i);
        if (semi == std::string_view::npos) semi = css.size();
        const std::string_view decl = css.substr(i, semi - i);
        const size_t colon = decl.find(':');
        if (colon != std::string_view::npos) {
            std::string value = trimmed(decl.substr(colon + 1));
            const size_t imp = lower(value).find("!important");
            if (imp != std::string::npos) value = trimmed(value.substr(0, imp));
            out.emplace_back(lower(trimmed(decl.substr(0, colon))), value);
        }
        i = semi + 1;
    }
    return out;
}

// Rules of simple selectors only ("p", ".c", "p.c"), which is what generated HTML uses.
struct StyleSheet {
    std::map<std::string, Declarations> rules;  // key "tag.class", "tag", ".class"

    void add(std::string_view css) {
        // Drop comments, then read "selectors { declarations }".
        std::string text;
        text.reserve(css.size());
        for (size_t i = 0; i < css.size(); ++i) {
            if (css.compare(i, 2, "/*") == 0) {
                const size_t e = css.find("*/", i + 2);
                if (e == std::string_view::npos) break;
                i = e + 1;
                continue;
            }
            text += css[i];
        }
        size_t i = 0;
        while (i < text.size()) {
            const size_t open = text.find('{', i);
            if (open == std::string::npos) break;
            const size_t close = text.find('}', open);
            if (close == std::string::npos) break;
            const std::string selectors = text.substr(i, open - i);
            if (selectors.find('@') != std::string::npos) {  // skip at-rules with nested blocks
                size_t depth = 0, k = open;
                for (; k < text.size(); ++k) {
                    if (text[k] == '{') ++depth;
                    else if (text[k] == '}' && --depth == 0) break;
                }
                i = k + 1;
                continue;
            }
            const Declarations decls = parseDeclarations(std::string_view(text).substr(open + 1, close - open - 1));
            std::stringstream ss(selectors);
            std::string sel;
            while (std::getline(ss, sel, ',')) {
                sel = lower(trimmed(sel));
                if (sel.empty() || sel.find_first_of(" >+~:[#*") != std::string::npos) continue;
                auto& r = rules[sel];
                r.insert(r.end(), decls.begin(), decls.end());
            }
            i = close + 1;
        }
    }

    void match(const std::string& tag, const std::string& classes, Declarations& out) const {
        if (rules.empty()) return;
        auto take = [&](const std::string& key) {
            auto it = rules.find(key);
            if (it != rules.end()) out.insert(out.end(), it->second.begin(), it->second.end());
        };
        take(tag);
        std::stringstream ss(classes);
        std::string c;
        while (ss >> c) {
            c = lower(c);
            take("." + c);
            take(tag + "." + c);
        }
    }
};

const char* attr(xmlNode* n, const char* name) {
    for (xmlAttr* a = n->properties; a; a = a->next) {
        if (a->name && xmlStrcasecmp(a->name, BAD_CAST name) == 0 && a->children && a->children->content)
            return reinterpret_cast<const char*>(a->children->content);
    }
    return nullptr;
}

bool isBlock(const std::string& t) {
    static const char* blocks[] = {"p", "div", "h1", "h2", "h3", "h4", "h5", "h6", "li", "blockquote", "pre",
        "address", "center", "dt", "dd", "section", "article", "header", "footer", "nav", "aside", "main",
        "figure", "figcaption", "form", "fieldset", "ul", "ol", "dl", "hr", "body", "html", "caption", "menu",
        "dir", "details", "summary", "legend", "listing", "xmp", "plaintext"};
    for (const char* b : blocks)
        if (t == b) return true;
    return false;
}

bool isSkipped(const std::string& t) {
    static const char* skipped[] = {"head", "script", "style", "noscript", "template", "iframe", "object",
        "embed", "applet", "select", "textarea", "button", "svg", "math", "canvas", "video", "audio", "map",
        "frameset", "noframes", "input", "option"};
    for (const char* s : skipped)
        if (t == s) return true;
    return false;
}

// Refuses a node whose tree, counted from `depth` at the node, reaches past the walk's limit.
void checkDepth(xmlNode* root, int depth);

struct Context {
    CharStyle cs;
    ParaStyle ps;
    bool pre = false;
};

// An element between its start and its end: what its end needs to know.
struct Element {
    std::string tag;
    bool block = false;
    Declarations decls;
    const char* cls = nullptr;
    Context ctx;
};

class Builder {
public:
    Builder(const ReadOptions& opts, const ResourceLoader& loader) : opts_(opts), loader_(loader) {}

    Document build(htmlDocPtr hdoc) {
        xmlNode* root = xmlDocGetRootElement(hdoc);
        if (!root) return std::move(doc_);
        readHead(root);
        findNotes(root);
        Context ctx;
        walkChildren(root, ctx);
        closeParagraph();
        readNotes();
        return std::move(doc_);
    }

    // For a page read while it is parsed: the body's parts are read and freed as soon as the
    // parser has closed them, so a long page's tree is never whole. Only for pages without
    // notes, whose styles come before the body. `done` once the whole page is in.
    void feed(htmlDocPtr hdoc, bool done) {
        xmlNode* root = xmlDocGetRootElement(hdoc);
        if (!root) return;
        if (!body_) {
            for (xmlNode* c = root->children; c && !body_; c = c->next)
                if (c->type == XML_ELEMENT_NODE && xmlStrcasecmp(c->name, BAD_CAST "body") == 0)
                    body_ = c;
            if (!body_) {
                if (!done) return;
                // A page the parser gave no body (a frameset, nothing at all): read it whole.
                checkDepth(root, 0);
                readHead(root);
                walkChildren(root, Context());
                return;
            }
            // As a whole page is read: from the root's children on; each part's styles, title
            // and meta are read with it, the head's before any of the body.
            for (xmlNode* c = root->children; c != body_;) {
                xmlNode* next = c->next;
                readPart(c, Context(), 1);
                drop(c);
                c = next;
            }
            bodyShown_ = enter(body_, Context(), bodyElement_);
        }
        // A part is closed once a later one has begun.
        for (xmlNode* c = body_->children; c && (done || c->next);) {
            xmlNode* next = c->next;
            if (bodyShown_) readPart(c, bodyElement_.ctx, 2);
            drop(c);
            c = next;
        }
        if (!done) return;
        if (bodyShown_) leave(Context(), bodyElement_);
        for (xmlNode* c = body_->next; c;) {
            xmlNode* next = c->next;
            readPart(c, Context(), 1);
            drop(c);
            c = next;
        }
    }

    Document finish() {
        closeParagraph();
        return std::move(doc_);
    }

private:
    const ReadOptions& opts_;
    const ResourceLoader& loader_;
    Document doc_;
    xmlNode* body_ = nullptr; // while streaming: the body, once the parser has begun it
    Element bodyElement_;
    bool bodyShown_ = false;

    void readPart(xmlNode* n, const Context& ctx, int depth) {
        checkDepth(n, depth);
        if (n->type == XML_ELEMENT_NODE) readHead(n); // a title or meta inside the body
        walk(n, ctx);
    }

    static void drop(xmlNode* n) {
        xmlUnlinkNode(n);
        xmlFreeNode(n);
    }
    StyleSheet sheet_;
    Paragraph para_;
    bool paraOpen_ = false;
    bool afterSpace_ = true;  // at a paragraph start or after a blank: drop further blanks
    ParaStyle nextStyle_;
    // The cell being filled, innermost when tables nest; null outside tables.
    TableCell* cell_ = nullptr;
    std::vector<int> listCounters_;
    bool breakPending_ = false; // the next paragraph starts a new page

    // Linked notes: a reference is a link to an element after it (or to an anchor in one) that
    // holds the note's text, marked as a note reference or showing a short superscript mark.
    std::map<xmlNode*, xmlNode*> refNote_;   // reference -> note element
    std::map<xmlNode*, int> noteIndex_;      // note element -> index in doc_.notes
    std::set<std::string> backLinks_;        // hrefs leading back to a reference
    std::vector<xmlNode*> noteOrder_;        // note elements in the order of their references
    std::vector<xmlNode*> pending_;          // note elements per note of doc_.notes
    std::vector<xmlNode*> nested_;           // notes cited in the note being read
    std::vector<Block>* noteSink_ = nullptr; // the note being read
    bool readingNotes_ = false;

    static std::string textOf(xmlNode* n) {
        xmlChar* c = xmlNodeGetContent(n);
        std::string t = c ? reinterpret_cast<const char*>(c) : "";
        xmlFree(c);
        return collapse(t);
    }

    static bool hasWord(const char* value, const char* word) {
        return value && lower(value).find(word) != std::string::npos;
    }

    void findNotes(xmlNode* root) {
        // Elements with their place in reading order; only targets and links are kept, not
        // every element of a long page.
        std::map<std::string, std::pair<xmlNode*, size_t>> targets;
        std::vector<std::pair<xmlNode*, size_t>> links;
        size_t place = 0;
        for (xmlNode* n = root; n; n = nextNode(n, root)) {
            if (n->type != XML_ELEMENT_NODE) continue;
            const size_t at = place++;
            if (const char* id = attr(n, "id")) targets.emplace(id, std::pair(n, at));
            const std::string tag = lower(reinterpret_cast<const char*>(n->name));
            if (tag == "a") {
                if (const char* name = attr(n, "name")) targets.emplace(name, std::pair(n, at));
                const char* href = attr(n, "href");
                if (href && href[0] == '#' && href[1]) links.emplace_back(n, at);
            }
        }
        for (const auto& [a, aAt] : links) {
            const char* cls = attr(a, "class");
            const bool marked = hasWord(cls, "footnote-ref") || hasWord(cls, "noteref") ||
                                hasWord(cls, "sdfootnoteanc") || hasWord(cls, "sdendnoteanc") ||
                                hasWord(attr(a, "role"), "doc-noteref");
            const std::string mark = textOf(a);
            bool sup = false;
            for (xmlNode* x = a; x && !sup; x = x->parent)
                sup = x->type == XML_ELEMENT_NODE &&
                      lower(reinterpret_cast<const char*>(x->name)) == "sup";
            for (xmlNode* x = a->children; x && !sup; x = x->next)
                sup = x->type == XML_ELEMENT_NODE &&
                      lower(reinterpret_cast<const char*>(x->name)) == "sup";
            if (!marked && !(sup && !mark.empty() && mark.size() <= 4)) continue;
            auto t = targets.find(attr(a, "href") + 1);
            if (t == targets.end() || t->second.second <= aAt) continue;
            // An anchor inside the note (LibreOffice's) stands for the block around it.
            xmlNode* note = t->second.first;
            while (note->parent && note->parent->type == XML_ELEMENT_NODE &&
                   !isBlock(lower(reinterpret_cast<const char*>(note->name))))
                note = note->parent;
            if (lower(reinterpret_cast<const char*>(note->name)) == "p" && note != t->second.first &&
                note->parent && note->parent->type == XML_ELEMENT_NODE &&
                lower(reinterpret_cast<const char*>(note->parent->name)) == "div")
                note = note->parent;
            const std::string tag = lower(reinterpret_cast<const char*>(note->name));
            if (tag == "body" || tag == "html") continue;
            bool around = false; // a note does not hold its own reference
            for (xmlNode* x = a; x && !around; x = x->parent)
                around = x == note;
            if (around) continue;
            refNote_[a] = note;
            if (const char* id = attr(a, "id")) backLinks_.insert(std::string("#") + id);
            if (const char* name = attr(a, "name")) backLinks_.insert(std::string("#") + name);
        }
        for (const auto& [a, aAt] : links) {
            auto it = refNote_.find(a);
            if (it != refNote_.end() && noteIndex_.emplace(it->second, -1).second)
                noteOrder_.push_back(it->second);
        }
    }

    // A reference: a note of the document, or inside a note, a mark with the note's text after it.
    void noteReference(xmlNode* a, const Context& ctx) {
        xmlNode* note = refNote_[a];
        openParagraph();
        afterSpace_ = false;
        CharStyle sup = ctx.cs;
        sup.link.clear();
        sup.baseline = 1;
        if (readingNotes_) {
            if (std::find(nested_.begin(), nested_.end(), note) == nested_.end())
                nested_.push_back(note);
            appendText(para_, std::to_string(nested_.size()), sup);
            return;
        }
        int& index = noteIndex_[note];
        if (index < 0) {
            index = int(doc_.notes.size());
            const bool end =
                hasWord(attr(a, "class"), "endnote") || hasWord(attr(note, "class"), "endnote");
            doc_.notes.emplace_back().kind = end ? Note::Kind::Endnote : Note::Kind::Footnote;
            pending_.push_back(note);
        }
        Run& r = para_.runs.emplace_back();
        r.note = index;
        r.style = sup;
    }

    void readNote(xmlNode* note, std::vector<Block>& out) {
        noteSink_ = &out;
        cell_ = nullptr;
        nextStyle_ = ParaStyle();
        listCounters_.clear();
        walkChildren(note, Context());
        closeParagraph();
        noteSink_ = nullptr;
        trimNoteStart(out);
    }

    void readNotes() {
        readingNotes_ = true;
        for (size_t i = 0; i < pending_.size(); ++i) {
            std::vector<Block> blocks;
            readNote(pending_[i], blocks);
            const std::vector<xmlNode*> nested = std::move(nested_);
            nested_.clear();
            for (size_t k = 0; k < nested.size(); ++k) {
                std::vector<Block> inner;
                readNote(nested[k], inner);
                appendNoteText(blocks, std::move(inner), int(k + 1));
            }
            nested_.clear();
            doc_.notes[i].blocks = std::move(blocks);
        }
        // A note whose reference was never shown keeps its text, after the body.
        for (xmlNode* note : noteOrder_) {
            if (noteIndex_[note] >= 0) continue;
            std::vector<Block> blocks;
            readNote(note, blocks);
            for (Block& b : blocks)
                doc_.blocks.push_back(std::move(b));
        }
    }

    void readHead(xmlNode* root) {
        // <style> and <meta> may sit anywhere in broken pages: search the whole tree.
        for (xmlNode* n = root; n; n = nextNode(n, root)) {
            if (n->type != XML_ELEMENT_NODE) continue;
            const auto is = [n](const char* tag) {
                return xmlStrcasecmp(n->name, BAD_CAST tag) == 0;
            };
            if (is("style")) {
                xmlChar* c = xmlNodeGetContent(n);
                if (c) sheet_.add(reinterpret_cast<const char*>(c));
                xmlFree(c);
            } else if (is("title") && doc_.meta.title.empty()) {
                xmlChar* c = xmlNodeGetContent(n);
                if (c) doc_.meta.title = collapse(reinterpret_cast<const char*>(c));
                xmlFree(c);
            } else if (is("meta")) {
                const char* name = attr(n, "name");
                const char* content = attr(n, "content");
                if (!name || !content) continue;
                const std::string key = lower(name);
                Metadata& m = doc_.meta;
                if (key == "author") m.author = content;
                else if (key == "keywords") m.keywords = content;
                else if (key == "description" || key == "subject") m.subject = content;
                else if (key == "comment") m.comment = content;
                else if (key == "editor") m.editor = content;
                else if (key == "company") m.company = content;
                else if (key == "generator") m.generator = content;
                else if (key == "created" || key == "creationtime") m.creationTime = content;
                else if (key == "modified" || key == "modificationtime") m.modificationTime = content;
            }
        }
    }

    static xmlNode* nextNode(xmlNode* n, xmlNode* root) {
        if (n->children) return n->children;
        while (n && n != root) {
            if (n->next) return n->next;
            n = n->parent;
        }
        return nullptr;
    }

    static std::string collapse(std::string_view s) {
        std::string out;
        bool space = false;
        for (char c : s) {
            if (std::isspace(static_cast<unsigned char>(c))) {
                space = !out.empty();
                continue;
            }
            if (space) out += ' ';
            space = false;
            out += c;
        }
        return out;
    }

    std::vector<Block>& sink() {
        return cell_ ? cell_->blocks : noteSink_ ? *noteSink_ : doc_.blocks;
    }

    void openParagraph() {
        if (paraOpen_) return;
        para_ = Paragraph();
        para_.style = nextStyle_;
        paraOpen_ = true;
    }

    void closeParagraph() {
        afterSpace_ = true;
        if (!paraOpen_) return;
        paraOpen_ = false;
        // Trailing blanks of a paragraph are not content, nor is a last <br>, but a
        // paragraph holding only a <br> is an empty line.
        bool lineBreak = false;
        while (!para_.runs.empty() && para_.runs.back().attachment < 0) {
            RunText& t = para_.runs.back().text;
            while (!t.empty() && t.back() == ' ') t.pop_back();
            if (!lineBreak && t.size() >= 3 && t.view().compare(t.size() - 3, 3, "\xE2\x80\xA8") == 0) {
                t.erase(t.size() - 3);
                lineBreak = true;
            }
            if (!t.empty()) break;
            para_.runs.pop_back();
        }
        if (para_.runs.empty() && !lineBreak) return;
        if (breakPending_) para_.style.pageBreakBefore = true;
        breakPending_ = false;
        para_.compact();
        sink().emplace_back().paragraph = std::move(para_);
    }

    void addText(std::string_view text, const Context& ctx) {
        if (ctx.pre) {
            // Preformatted: newlines are paragraph breaks, blanks are kept.
            size_t start = 0;
            while (start <= text.size()) {
                const size_t nl = text.find('\n', start);
                const std::string_view line = text.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
                if (!line.empty()) {
                    openParagraph();
                    appendText(para_, line, ctx.cs);
                }
                if (nl == std::string_view::npos) break;
                if (!paraOpen_) openParagraph();
                // An empty line still counts as a paragraph inside <pre>.
                if (para_.runs.empty()) appendText(para_, " ", ctx.cs);
                closeParagraph();
                start = nl + 1;
            }
            return;
        }
        // Runs of white space become one blank, kept with the text before it.
        std::string out;
        out.reserve(text.size());
        for (char c : text) {
            if (c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\f') {
                if (!afterSpace_) out += ' ';
                afterSpace_ = true;
                continue;
            }
            afterSpace_ = false;
            out += c;
        }
        if (out.empty()) return;
        openParagraph();
        appendText(para_, out, ctx.cs);
    }

    // page-break-before: always (CSS 2) or break-before: page (CSS 3); likewise after.
    static bool breaksPage(const Declarations& decls, const std::string& side) {
        for (const auto& [prop, value] : decls) {
            const std::string v = lower(value);
            if ((prop == "page-break-" + side && (v == "always" || v == "left" || v == "right")) ||
                (prop == "break-" + side &&
                 (v == "page" || v == "left" || v == "right" || v == "recto" || v == "verso")))
                return true;
        }
        return false;
    }

    void applyCss(const Declarations& decls, Context& ctx, bool block) {
        for (const auto& [prop, value] : decls) {
            const std::string v = lower(value);
            if (prop == "font-weight") ctx.cs.bold = v == "bold" || v == "bolder" || std::atoi(v.c_str()) >= 600;
            else if (prop == "font-style") ctx.cs.italic = v == "italic" || v == "oblique";
            else if (prop == "text-decoration" || prop == "text-decoration-line") {
                if (v.find("underline") != std::string::npos) ctx.cs.underline = true;
                if (v.find("line-through") != std::string::npos) ctx.cs.strike = true;
                if (v == "none") ctx.cs.underline = ctx.cs.strike = false;
            } else if (prop == "color") {
                if (auto c = parseColor(v)) ctx.cs.color = c;
            } else if (prop == "background-color" || prop == "background") {
                if (auto c = parseColor(v)) ctx.cs.background = c;
            } else if (prop == "font-size") {
                if (double s = parseFontSize(v, ctx.cs.size)) ctx.cs.size = s;
            } else if (prop == "font-family") {
                setFamily(ctx, value);
            } else if (prop == "font") {
                // "bold 12px Helvetica": the size is the token with a unit, the family what follows.
                std::stringstream ss(value);
                std::string tok, family;
                bool afterSize = false;
                while (ss >> tok) {
                    const std::string lt = lower(tok);
                    if (afterSize) family += (family.empty() ? "" : " ") + tok;
                    else if (lt == "bold") ctx.cs.bold = true;
                    else if (lt == "italic") ctx.cs.italic = true;
                    else if (std::isdigit(static_cast<unsigned char>(lt[0]))) {
                        const std::string sizePart = lt.substr(0, lt.find('/'));
                        if (double s = parseFontSize(sizePart, ctx.cs.size)) {
                            ctx.cs.size = s;
                            afterSize = true;
                        }
                    }
                }
                if (!family.empty()) setFamily(ctx, family);
            } else if (prop == "white-space") {
                ctx.pre = v.rfind("pre", 0) == 0 || v == "break-spaces";
            } else if (prop == "vertical-align") {
                ctx.cs.baseline = v == "super" ? 1 : v == "sub" ? -1 : 0;
            } else if (block && prop == "text-align") {
                ctx.ps.align = v == "center" ? Align::Center : v == "right" ? Align::Right
                               : v == "justify" ? Align::Justify : v == "left" ? Align::Left : ctx.ps.align;
            } else if (block && prop == "margin-left") {
                ctx.ps.leftIndent = parseLength(v);
            } else if (block && prop == "text-indent") {
                ctx.ps.firstIndent = parseLength(v);
            }
        }
    }

    static void setFamily(Context& ctx, const std::string& value) {
        std::string f = trimmed(value.substr(0, value.find(',')));
        if (f.size() >= 2 && (f[0] == '"' || f[0] == '\'')) f = f.substr(1, f.size() - 2);
        const std::string lf = lower(f);
        if (lf == "inherit" || lf == "initial") return;
        if (!f.empty()) ctx.cs.font = f;
    }

    std::optional<Resource> loadImage(const std::string& src) {
        if (src.rfind("data:", 0) == 0) {
            const size_t comma = src.find(',');
            if (comma == std::string::npos) return std::nullopt;
            const std::string header = src.substr(5, comma - 5);
            Resource r;
            r.mimeType = lower(header.substr(0, header.find(';')));
            r.data = header.find(";base64") != std::string::npos ? base64Decode(std::string_view(src).substr(comma + 1))
                                                                 : percentDecode(std::string_view(src).substr(comma + 1));
            return r;
        }
        if (opts_.noLoad) return std::nullopt;
        return loader_ ? loader_(src) : std::nullopt;
    }

    void image(xmlNode* n, const Context& ctx) {
        const char* src = attr(n, "src");
        if (!src) return;
        std::optional<Resource> res = loadImage(src);
        if (!res || res->data.empty()) return;
        Attachment a;
        a.mimeType = sniffMimeType(res->data);
        if (a.mimeType == "application/octet-stream") a.mimeType = res->mimeType;
        if (!isImageMime(a.mimeType)) return;
        std::string name = std::string(src).rfind("data:", 0) == 0 ? std::string() : std::string(src);
        name = name.substr(0, name.find_first_of("?#"));
        name = percentDecode(name.substr(name.find_last_of('/') == std::string::npos ? 0 : name.find_last_of('/') + 1));
        const std::string ext = extensionForMime(a.mimeType);
        if (name.empty() || name.find('.') == std::string::npos)
            name = "image" + std::to_string(doc_.attachments.size() + 1) + "." + ext;
        // Our own pages name a data: picture in its alt text; keep that name.
        const char* alt = attr(n, "alt");
        if (std::string(src).rfind("data:", 0) == 0 && alt && std::strchr(alt, '.') && !std::strchr(alt, '/'))
            name = alt;
        a.fileName = name;
        a.data = std::move(res->data);
        displaySize(n, ctx, a);
        const int idx = doc_.addAttachment(std::move(a));
        openParagraph();
        Run& r = para_.runs.emplace_back();
        r.attachment = idx;
        r.style = ctx.cs;
        afterSpace_ = false;
    }

    // The width and height attributes (pixels), overridden by CSS; a side left out keeps the
    // picture's proportions. Percentages depend on the page and are ignored.
    void displaySize(xmlNode* n, const Context& ctx, Attachment& a) const {
        auto pixels = [](const char* v) {
            return v && !std::strchr(v, '%') ? std::atof(v) * 0.75 : 0.0;
        };
        double w = pixels(attr(n, "width")), h = pixels(attr(n, "height"));
        Declarations decls;
        const char* cls = attr(n, "class");
        sheet_.match("img", cls ? cls : "", decls);
        if (const char* style = attr(n, "style")) {
            const Declarations inl = parseDeclarations(style);
            decls.insert(decls.end(), inl.begin(), inl.end());
        }
        const double em = ctx.cs.size > 0 ? double(ctx.cs.size) : 12;
        for (const auto& [prop, value] : decls) {
            if (value.find('%') != std::string::npos) continue;
            if (prop == "width")
                w = parseLength(value, em);
            else if (prop == "height")
                h = parseLength(value, em);
        }
        if (!(w > 0) && !(h > 0)) return;
        int pw = 0, ph = 0;
        if (!(w > 0 && h > 0)) {
            if (!imagePixelSize(a.data, pw, ph) || pw <= 0 || ph <= 0) return;
            if (w > 0)
                h = w * ph / pw;
            else
                w = h * pw / ph;
        }
        // Beyond any page: damage, not a size.
        constexpr double kMaxPoints = 14400;
        a.width = std::min(w, kMaxPoints);
        a.height = std::min(h, kMaxPoints);
    }

    void walkChildren(xmlNode* n, const Context& ctx) {
        // The page's top-level parts are freed once read, so a long page's tree and its document
        // are not held whole at once; notes keep the tree, as they are read after the body.
        const bool drop = refNote_.empty() && (isTop(n) || (n->parent && isTop(n->parent)));
        for (xmlNode* c = n->children; c;) {
            xmlNode* next = c->next;
            walk(c, ctx);
            if (drop) {
                xmlUnlinkNode(c);
                xmlFreeNode(c);
            }
            c = next;
        }
    }

    static bool isTop(const xmlNode* n) {
        return n->parent && (n->parent->type == XML_DOCUMENT_NODE || n->parent->type == XML_HTML_DOCUMENT_NODE);
    }

    void startBlock(const Context& ctx) {
        closeParagraph();
        nextStyle_ = ctx.ps;
    }

    void endBlock(const Context& parent) {
        closeParagraph();
        nextStyle_ = parent.ps;
    }

    void walk(xmlNode* n, const Context& parent) {
        Element e;
        if (!enter(n, parent, e)) return;
        walkChildren(n, e.ctx);
        leave(parent, e);
    }

    // The start of a node; false when it was read whole here or is not shown.
    bool enter(xmlNode* n, const Context& parent, Element& e) {
        if (n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE) {
            if (n->content) addText(reinterpret_cast<const char*>(n->content), parent);
            return false;
        }
        if (n->type != XML_ELEMENT_NODE || !n->name) return false;
        e.tag = lower(reinterpret_cast<const char*>(n->name));
        const std::string& tag = e.tag;
        if (isSkipped(tag)) return false;
        if (tag == "br") {
            openParagraph();
            appendText(para_, "\xE2\x80\xA8", parent.cs);
            afterSpace_ = true;
            return false;
        }
        if (tag == "img") {
            image(n, parent);
            return false;
        }
        if (tag == "table") {
            table(n, parent);
            return false;
        }
        // Notes are read apart, after the body; in them, the way back to the reference is not text.
        if (!noteSink_ && noteIndex_.count(n)) return false;
        if (tag == "a") {
            if (refNote_.count(n)) {
                noteReference(n, parent);
                return false;
            }
            const char* href = attr(n, "href");
            if (noteSink_ && href && backLinks_.count(href)) return false;
        }

        Context& ctx = e.ctx;
        ctx = parent;
        e.block = isBlock(tag);
        const bool block = e.block;
        if (tag == "b" || tag == "strong") ctx.cs.bold = true;
        else if (tag == "i" || tag == "em" || tag == "cite" || tag == "var" || tag == "dfn" || tag == "address") ctx.cs.italic = true;
        else if (tag == "u" || tag == "ins") ctx.cs.underline = true;
        else if (tag == "s" || tag == "strike" || tag == "del") ctx.cs.strike = true;
        else if (tag == "sup") ctx.cs.baseline = 1;
        else if (tag == "sub") ctx.cs.baseline = -1;
        else if (tag == "code" || tag == "tt" || tag == "kbd" || tag == "samp") ctx.cs.font = "Courier";
        else if (tag == "pre" || tag == "listing" || tag == "xmp" || tag == "plaintext") {
            ctx.cs.font = "Courier";
            ctx.pre = true;
        } else if (tag == "mark") ctx.cs.background = Color{255, 255, 0};
        else if (tag == "big")
            ctx.cs.size = (ctx.cs.size > 0 ? double(ctx.cs.size) : 12) * 1.2;
        else if (tag == "small")
            ctx.cs.size = (ctx.cs.size > 0 ? double(ctx.cs.size) : 12) / 1.2;
        else if (tag == "center") ctx.ps.align = Align::Center;
        else if (tag == "blockquote" || tag == "dd") ctx.ps.leftIndent += 36;
        else if (tag == "a") {
            if (const char* href = attr(n, "href")) {
                if (href[0] && std::strncmp(href, "javascript:", 11) != 0) ctx.cs.link = href;
            }
        } else if (tag == "font") {
            if (const char* color = attr(n, "color"))
                if (auto c = parseColor(color)) ctx.cs.color = c;
            if (const char* face = attr(n, "face")) setFamily(ctx, face);
            if (const char* size = attr(n, "size")) {
                static const double sizes[] = {7.5, 10, 12, 13.5, 18, 24, 36};
                int s = std::atoi(size);
                if (size[0] == '+' || size[0] == '-') s += 3;
                ctx.cs.size = sizes[std::clamp(s, 1, 7) - 1];
            }
        } else if (tag.size() == 2 && tag[0] == 'h' && tag[1] >= '1' && tag[1] <= '6') {
            ctx.ps.heading = tag[1] - '0';
        }
        if (tag == "ul" || tag == "ol" || tag == "menu" || tag == "dir") {
            ctx.ps.listLevel = parent.ps.listLevel + 1;
            ctx.ps.ordered = tag == "ol";
            const char* start = attr(n, "start");
            listCounters_.push_back(start ? std::atoi(start) - 1 : 0);
        }
        if (const char* align = attr(n, "align"); align && block) {
            const std::string a = lower(align);
            ctx.ps.align = a == "center" ? Align::Center : a == "right" ? Align::Right : a == "justify" ? Align::Justify : Align::Left;
        }
        Declarations& decls = e.decls;
        e.cls = attr(n, "class");
        const char* cls = e.cls;
        sheet_.match(tag, cls ? cls : "", decls);
        if (const char* style = attr(n, "style")) {
            const Declarations inl = parseDeclarations(style);
            decls.insert(decls.end(), inl.begin(), inl.end());
        }
        for (const auto& [prop, value] : decls)
            if (prop == "display" && lower(value) == "none") return false;
        applyCss(decls, ctx, block);

        if (tag == "li") {
            if (ctx.ps.listLevel == 0) ctx.ps.listLevel = 1;
            if (!listCounters_.empty()) {
                if (const char* v = attr(n, "value")) listCounters_.back() = std::atoi(v) - 1;
                ctx.ps.listNumber = ++listCounters_.back();
            }
        }
        if (tag == "hr") {
            startBlock(ctx);
            return false;
        }
        if (block) startBlock(ctx);
        // A page break belongs to the first paragraph that follows, not to every one inside.
        if (block && breaksPage(decls, "before")) breakPending_ = true;
        return true;
    }

    void leave(const Context& parent, const Element& e) {
        const std::string& tag = e.tag;
        if (e.block) endBlock(parent);
        if (e.block && breaksPage(e.decls, "after")) breakPending_ = true;
        // LibreOffice starts a note's text with its mark, linked back to the reference: a blank
        // keeps the mark ("i") off the note's first word.
        if (tag == "a" && e.cls &&
            (std::strstr(e.cls, "sdfootnotesym") || std::strstr(e.cls, "sdendnotesym")))
            addText(" ", parent);
        if (tag == "ul" || tag == "ol" || tag == "menu" || tag == "dir") listCounters_.pop_back();
    }

    void table(xmlNode* n, const Context& parent) {
        closeParagraph();
        TableCell* outer = cell_;
        Table t;
        bool head = true;
        walkRows(n, parent, t, false, head);
        closeParagraph();
        cell_ = outer;
        if (!t.rows.empty()) sink().emplace_back().table = std::move(t);
        nextStyle_ = parent.ps;
    }

    // `head` stays true while the rows read so far are all head rows (in <thead> or all <th>).
    void walkRows(xmlNode* n, const Context& ctx, Table& t, bool inHead, bool& head) {
        for (xmlNode* c = n->children; c; c = c->next) {
            if (c->type != XML_ELEMENT_NODE) continue;
            const std::string tag = lower(reinterpret_cast<const char*>(c->name));
            if (tag == "thead" || tag == "tbody" || tag == "tfoot") {
                walkRows(c, ctx, t, tag == "thead", head);
            } else if (tag == "tr") {
                TableRow& row = t.rows.emplace_back();
                bool allTh = true;
                for (xmlNode* td = c->children; td; td = td->next) {
                    if (td->type != XML_ELEMENT_NODE) continue;
                    const std::string name = lower(reinterpret_cast<const char*>(td->name));
                    if (name != "td" && name != "th") continue;
                    allTh = allTh && name == "th";
                    Context cc = ctx;
                    cc.ps = ParaStyle();
                    if (name == "th") cc.cs.bold = true;
                    closeParagraph();
                    TableCell& cell = row.cells.emplace_back();
                    const char* colspan = attr(td, "colspan");
                    cell.colSpan = colspan ? columnSpan(colspan) : 1;
                    const char* rowspan = attr(td, "rowspan");
                    cell.rowSpan = rowspan ? rowSpan(rowspan) : 1;
                    cell_ = &cell;
                    // Lists in a cell count on their own.
                    std::vector<int> counters = std::move(listCounters_);
                    listCounters_.clear();
                    startBlock(cc);
                    walk(td, cc);
                    closeParagraph();
                    listCounters_ = std::move(counters);
                }
                head = head && (inHead || (allTh && !row.cells.empty()));
                if (head) t.headerRows = int(t.rows.size());
            }
        }
    }
};

// libxml2's HTML parser knows no DOCTYPE internal subset: it ends the DOCTYPE at the first
// '>' inside it and reads the rest, up to "]>", as text. The subset in the prologue, as
// offset and length, to be cut out.
std::optional<std::pair<size_t, size_t>> internalSubset(std::string_view d) {
    size_t i = d.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    auto skipPast = [&](size_t from, std::string_view end) {
        const size_t e = d.find(end, from);
        return e == std::string_view::npos ? d.size() : e + end.size();
    };
    while (i < d.size()) {
        if (std::isspace(static_cast<unsigned char>(d[i]))) ++i;
        else if (d.compare(i, 2, "<?") == 0) i = skipPast(i + 2, "?>");
        else if (d.compare(i, 4, "<!--") == 0) i = skipPast(i + 4, "-->");
        else break;
    }
    if (lower(d.substr(i, 9)) != "<!doctype") return std::nullopt;
    size_t open = i + 9;
    char quote = 0;
    for (; open < d.size() && (quote || (d[open] != '[' && d[open] != '>')); ++open) {
        if (quote) quote = d[open] == quote ? 0 : quote;
        else if (d[open] == '"' || d[open] == '\'') quote = d[open];
    }
    if (open >= d.size() || d[open] != '[') return std::nullopt;
    // The subset's declarations may hold '>' and ']' in quoted values and comments.
    size_t k = open + 1;
    while (k < d.size() && d[k] != ']') {
        if (d[k] == '"' || d[k] == '\'') k = skipPast(k + 1, d.substr(k, 1));
        else if (d.compare(k, 4, "<!--") == 0) k = skipPast(k + 4, "-->");
        else ++k;
    }
    if (k >= d.size()) return std::nullopt;
    return std::pair(open, k + 1 - open);
}

// The page is walked recursively, a few hundred bytes of stack per level: refuse what would
// overflow it rather than lose the text below some depth.
constexpr int kMaxDepth = 1000;

void checkDepth(xmlNode* root, int depth) {
    for (xmlNode* n = root; n;) {
        if (n->children) {
            if (++depth > kMaxDepth)
                throw std::runtime_error("HTML is nested more than " + std::to_string(kMaxDepth) + " levels deep");
            n = n->children;
            continue;
        }
        while (n && n != root && !n->next) {
            n = n->parent;
            --depth;
        }
        n = n && n != root ? n->next : nullptr;
    }
}

bool startsNoCase(std::string_view d, size_t at, std::string_view what) {
    if (at + what.size() > d.size()) return false;
    for (size_t k = 0; k < what.size(); ++k)
        if (std::tolower(static_cast<unsigned char>(d[at + k])) != what[k]) return false;
    return true;
}

// What the page's bytes say about reading it while it is parsed.
struct PageScan {
    // No link to a place in the page, which a note would be, and no style after the body
    // begins, as a style applies to the whole page.
    bool streamable = true;
    // The </html> end tags (offset, length): past one, the push parser drops what follows,
    // which a page read whole keeps, so they are left out.
    std::vector<std::pair<size_t, size_t>> htmlEnds;
};

PageScan scanPage(std::string_view d) {
    PageScan scan;
    const auto blank = [&](size_t i) {
        return std::isspace(static_cast<unsigned char>(d[i])) != 0;
    };
    // A '#' (or '&', which may be an entity for one) opening an href's value.
    for (const char mark : {'#', '&'}) {
        for (const char* p = d.data();
             scan.streamable &&
             (p = static_cast<const char*>(std::memchr(p, mark, d.data() + d.size() - p)));
             ++p) {
            size_t i = size_t(p - d.data());
            if (i > 0 && (d[i - 1] == '"' || d[i - 1] == '\'')) --i;
            while (i > 0 && blank(i - 1))
                --i;
            if (i == 0 || d[i - 1] != '=') continue;
            --i;
            while (i > 0 && blank(i - 1))
                --i;
            if (i >= 4 && startsNoCase(d, i - 4, "href")) scan.streamable = false;
        }
    }
    bool inBody = false;
    for (const char* p = d.data();
         (p = static_cast<const char*>(std::memchr(p, '<', d.data() + d.size() - p))); ++p) {
        const size_t at = size_t(p - d.data());
        if (startsNoCase(d, at + 1, "body"))
            inBody = true;
        else if (startsNoCase(d, at + 1, "style") && inBody)
            scan.streamable = false;
        else if (startsNoCase(d, at + 1, "/html")) {
            size_t close = at + 6;
            while (close < d.size() && blank(close))
                ++close;
            if (close < d.size() && d[close] == '>') scan.htmlEnds.emplace_back(at, close + 1 - at);
        }
        if (!scan.streamable) break;
    }
    return scan;
}

// libxml2 leaves the document it built to the caller, also when parsing fails.
struct PushParser {
    htmlParserCtxtPtr ctxt;
    explicit PushParser(htmlParserCtxtPtr c) : ctxt(c) {}
    PushParser(const PushParser&) = delete;
    PushParser& operator=(const PushParser&) = delete;
    ~PushParser() {
        if (!ctxt) return;
        if (ctxt->myDoc) xmlFreeDoc(ctxt->myDoc);
        htmlFreeParserCtxt(ctxt);
    }
};

} // namespace

std::string sniffEncoding(std::string_view d) {
    if (d.substr(0, 3) == "\xEF\xBB\xBF") return "UTF-8";
    if (d.substr(0, 2) == "\xFF\xFE") return "UTF-16LE";
    if (d.substr(0, 2) == "\xFE\xFF") return "UTF-16BE";
    if (looksLikeUtf16(d)) {
        size_t evenZero = 0;
        const size_t n = std::min<size_t>(d.size() & ~size_t(1), 4096);
        for (size_t i = 0; i < n; i += 2) evenZero += d[i] == 0;
        return evenZero * 10 > n / 2 * 3 ? "UTF-16BE" : "UTF-16LE";
    }
    // A declared charset, searched for in the first 64 KB (long script preambles exist).
    const std::string head = lower(d.substr(0, 65536));
    size_t pos = 0;
    while ((pos = head.find("charset", pos)) != std::string::npos) {
        pos += 7;
        size_t i = pos;
        while (i < head.size() && (head[i] == ' ' || head[i] == '=' || head[i] == '"' || head[i] == '\'')) ++i;
        if (i == pos) continue;
        size_t e = i;
        while (e < head.size() && (std::isalnum(static_cast<unsigned char>(head[e])) || std::strchr("-_:.", head[e]))) ++e;
        const std::string name = canonicalCharset(head.substr(i, e - i));
        // A page that says UTF-16 but has no UTF-16 shape is lying.
        if (name.empty() || name == "unicode" || name.rfind("utf-16", 0) == 0 || name.rfind("utf-32", 0) == 0) continue;
        if (encodingKnown(name)) return name == "utf-8" ? "UTF-8" : name;
    }
    if (isValidUtf8(d)) return "UTF-8";
    return guessLegacyEncoding(d);
}

Document parse(std::string_view bytes, const ReadOptions& opts, const std::string& encoding,
               const ResourceLoader& loader) {
    std::string enc = !opts.inputEncoding.empty() ? opts.inputEncoding
                      : !encoding.empty() ? canonicalCharset(encoding) : sniffEncoding(bytes);
    // UTF-8 pages are parsed in place; others are converted once.
    std::string converted;
    std::string_view utf8;
    if (enc == "UTF-8" || enc == "utf-8") {
        utf8 = bytes.substr(0, 3) == "\xEF\xBB\xBF" ? bytes.substr(3) : bytes;
        if (!isValidUtf8(utf8)) utf8 = converted = convertEncoding(utf8, "UTF-8", "UTF-8");
    } else if (enc == "CP1252") {
        utf8 = converted = decodeCp1252(bytes);
    } else {
        if ((enc == "UTF-16LE" || enc == "UTF-16BE") && (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF"))
            bytes.remove_prefix(2);
        utf8 = converted = convertEncoding(bytes, enc, "UTF-8");
    }
    if (const auto subset = internalSubset(utf8)) {
        if (utf8.data() != converted.data()) converted = std::string(utf8);
        converted.erase(subset->first, subset->second);
        utf8 = converted;
    }
    // Huge: without it libxml2 stops at 256 levels or a 10 MB text and keeps only what came before.
    constexpr int kFlags = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                           HTML_PARSE_NONET | HTML_PARSE_COMPACT | XML_PARSE_HUGE;
    const PageScan scan = scanPage(utf8);
    if (scan.streamable) {
        // The page is UTF-8 by now, whatever its meta element says.
        PushParser push(htmlCreatePushParserCtxt(nullptr, nullptr, nullptr, 0, nullptr,
                                                 XML_CHAR_ENCODING_UTF8));
        if (!push.ctxt) throw std::bad_alloc();
        htmlCtxtUseOptions(push.ctxt, kFlags | HTML_PARSE_IGNORE_ENC);
        Builder builder(opts, loader);
        // Small pieces: the nodes freed after each are reused while they are still in the cache.
        constexpr size_t kChunk = size_t(1) << 15;
        auto pushRange = [&](size_t from, size_t to) {
            for (size_t at = from; at < to; at += kChunk) {
                htmlParseChunk(push.ctxt, utf8.data() + at, int(std::min(kChunk, to - at)), 0);
                if (push.ctxt->disableSAX) throw std::runtime_error("HTML cannot be parsed");
                if (push.ctxt->myDoc) builder.feed(push.ctxt->myDoc, false);
            }
        };
        size_t at = 0;
        for (const auto& [end, length] : scan.htmlEnds) {
            pushRange(at, end);
            at = end + length;
        }
        pushRange(at, utf8.size());
        htmlParseChunk(push.ctxt, nullptr, 0, 1);
        if (!push.ctxt->myDoc || push.ctxt->disableSAX)
            throw std::runtime_error("HTML cannot be parsed");
        builder.feed(push.ctxt->myDoc, true);
        return builder.finish();
    }
    if (utf8.size() > size_t(INT_MAX)) throw std::runtime_error("HTML is too large");
    std::unique_ptr<htmlParserCtxt, void (*)(htmlParserCtxtPtr)> ctxt(htmlNewParserCtxt(), htmlFreeParserCtxt);
    if (!ctxt) throw std::bad_alloc();
    std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> hdoc(
        htmlCtxtReadMemory(ctxt.get(), utf8.data(), int(utf8.size()), nullptr, "UTF-8", kFlags),
        xmlFreeDoc);
    // A parser that halted has dropped the rest of the page.
    if (!hdoc || ctxt->disableSAX) throw std::runtime_error("HTML cannot be parsed");
    ctxt.reset();
    std::string().swap(converted);
    checkDepth(xmlDocGetRootElement(hdoc.get()), 0);
    return Builder(opts, loader).build(hdoc.get());
}

} // namespace html

bool detectHtml(const Input& in) {
    if (in.isFolder || in.bytes.empty()) return false;
    std::string_view d(in.bytes);
    std::string head;
    if (looksLikeUtf16(d)) {
        head = decodeText(d.substr(0, 4096));
    } else {
        head = std::string(d.substr(0, 65536));
    }
    std::transform(head.begin(), head.end(), head.begin(), [](unsigned char c) { return std::tolower(c); });
    // Markup that opens with a tag needs only a common element; prose that merely mentions
    // a tag needs the document elements themselves.
    size_t start = head.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (start < head.size() && std::isspace(static_cast<unsigned char>(head[start]))) ++start;
    for (const char* marker : {"<!doctype html", "<html", "<head>", "<body"})
        if (head.find(marker) != std::string::npos) return true;
    if (start >= head.size() || head[start] != '<') return false;
    for (const char* marker : {"<meta ", "<title", "<p>", "<p ", "<div", "<table", "<br", "<script", "<style", "<h1", "<span"})
        if (head.find(marker) != std::string::npos) return true;
    return false;
}

Document readHtml(const Input& in, const ReadOptions& opts) {
    const fs::path dir = in.path.empty() ? fs::current_path() : in.path.parent_path();
    const std::string baseUrl = opts.baseUrl;
    // Local pictures, relative to the document or to -baseurl when that is a file URL or folder.
    html::ResourceLoader loader = [dir, baseUrl](const std::string& src) -> std::optional<html::Resource> {
        std::string s = src;
        fs::path base = dir;
        if (!baseUrl.empty()) {
            std::string b = baseUrl.rfind("file://", 0) == 0 ? baseUrl.substr(7) : baseUrl;
            if (b.find("://") != std::string::npos) return std::nullopt;
            base = fs::path(b);
            if (!b.empty() && b.back() != '/' && !fs::is_directory(base)) base = base.parent_path();
        }
        if (s.rfind("file://", 0) == 0) s = s.substr(7);
        else if (s.find("://") != std::string::npos || s.rfind("//", 0) == 0) return std::nullopt;
        s = percentDecode(s.substr(0, s.find_first_of("?#")));
        const bool absolute = !s.empty() && s[0] == '/';
        const fs::path p = absolute ? fs::path(s) : base / s;
        std::optional<std::string> bytes = readReferencedFile(absolute ? fs::path("/") : base, s);
        if (!bytes) return std::nullopt;
        return html::Resource{std::move(*bytes), mimeForExtension(p.extension().string().substr(p.extension().empty() ? 0 : 1))};
    };
    return html::parse(in.bytes, opts, {}, loader);
}

} // namespace textutil

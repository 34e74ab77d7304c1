// Every format pair of textutil, judged by readers that are not ours: pandoc and
// LibreOffice make rich documents, textutil converts each to every format, and pandoc
// (-t json) and LibreOffice (to flat ODF) read every result back.
#include "reading.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <plist/plist.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using fidelity::Reading;
using fidelity::Word;
using vorpeltest::runProcess;

namespace {

enum Feature {
    Words,
    Headings,
    Bold,
    Italic,
    Underline,
    Strike,
    Superscript,
    Subscript,
    Link,
    BulletList,
    NumberedList,
    NestedList,
    Table,
    TableHeader,
    ColumnSpan,
    RowSpan,
    NestedTable,
    ListInCell,
    Footnote,
    Endnote,
    BlockQuote,
    LineBreak,
    Tab,
    Picture,
    PictureSize,
    PageBreak,
    Title,
    Author,
    Alignment,
    Colour,
    Highlight,
    Font,
    FontSize,
    Header,
    Footer,
    FeatureCount
};

const char* const kFeatureNames[FeatureCount] = {
    "words",        "headings 1-6",     "bold",          "italic",
    "underline",    "strikethrough",    "superscript",   "subscript",
    "link",         "bullet list",      "numbered list", "nested list",
    "table",        "table header row", "column span",   "row span",
    "nested table", "list in cell",     "footnote",      "endnote",
    "block quote",  "line break",       "tab",           "picture",
    "picture size", "page break",       "title",         "author",
    "alignment",    "colour",           "highlight",     "font family",
    "font size",    "header",           "footer"};

using Features = std::set<Feature>;

Features allFeatures() {
    Features f;
    for (int i = 0; i < FeatureCount; ++i)
        f.insert(Feature(i));
    return f;
}

Features allBut(const Features& out) {
    Features f = allFeatures();
    for (Feature x : out)
        f.erase(x);
    return f;
}

// The nine formats, in the order of the command line's format table.
struct FormatInfo {
    const char* name;
    const char* ext;
    Features holds; // what a document in this format can carry
};

const std::vector<FormatInfo>& formatInfos() {
    // Plain text keeps words only; HTML has no page furniture.
    static const std::vector<FormatInfo> t = {
        {"txt", "txt", {Words}},
        {"rtf", "rtf", allFeatures()},
        {"rtfd", "rtfd", allFeatures()},
        {"html", "html", allBut({Header, Footer})},
        {"webarchive", "webarchive", allBut({Header, Footer})},
        {"doc", "doc", allFeatures()},
        {"docx", "docx", allFeatures()},
        {"odt", "odt", allFeatures()},
        {"wordml", "xml", allFeatures()},
    };
    return t;
}

const FormatInfo& info(const std::string& name) {
    for (const FormatInfo& f : formatInfos())
        if (name == f.name) return f;
    throw std::runtime_error("no format " + name);
}

enum Reader { Pandoc, Office, Text, ReaderCount };
const char* const kReaderNames[ReaderCount] = {"pandoc", "soffice", "text"};

// What each independent reader can see in each format it reads: the features it cannot see
// are listed. A (feature, format) that no reader sees cannot be judged and is reported as such.
struct ReaderSight {
    Reader reader;
    const char* format;
    Features blind;
};

const Features kLayout = {PageBreak, Alignment, Colour, Highlight, Font, FontSize, Header, Footer};

const std::vector<ReaderSight>& kReaderSees() {
    static const std::vector<ReaderSight> t = [] {
        auto with = [](Features f, const Features& more) {
            f.insert(more.begin(), more.end());
            return f;
        };
        // pandoc keeps no layout (alignment, colours, fonts, page furniture) in its model, and
        // it has one kind of note: in HTML an endnote is a linked note like a footnote.
        // In docx it takes title and author from paragraphs in its own styles, not the document
        // properties, and a block quote only from its own style.
        const Features pandocDocx = with(kLayout, {Tab, Title, Author, BlockQuote});
        const Features pandocHtml = with(kLayout, {Tab, Endnote});
        // Its ODF reader drops tables with header rows or spans, text and all, and most styling.
        const Features pandocOdt = with(
            kLayout, {Words, Underline, Strike, Superscript, Subscript, TableHeader, ColumnSpan,
                      RowSpan, NestedTable, ListInCell, Endnote, BlockQuote, Tab, Title, Author});
        // Its RTF reader sees no notes, table structure, quotes or tabs, and loses their words; in
        // LibreOffice's RTF it finds no headings, links or pictures either.
        const Features pandocRtf =
            with(kLayout, {Words, Footnote, Endnote, TableHeader, ColumnSpan, RowSpan, NestedTable,
                           ListInCell, BlockQuote, Tab, Headings, Link, Picture, PictureSize});
        // LibreOffice reads HTML notes only in its own anchor convention, collapses tabs and
        // takes <del> for plain text.
        const Features officeHtml = {Footnote, Endnote, Tab, Strike, Header, Footer};
        // Its RTF import makes no table header rows and loses the nested tables of its own RTF.
        const Features officeRtf = {TableHeader, NestedTable};
        // Its Word 2003 XML import keeps paragraphs, bold, italic, links, lists, simple tables,
        // footnotes, pictures and page furniture, and little else.
        const Features officeWordML = {
            Headings, Underline,  Strike, Superscript, Subscript, TableHeader, RowSpan, ListInCell,
            Endnote,  BlockQuote, Tab,    PictureSize, Colour,    Highlight,   Font,    FontSize};
        return std::vector<ReaderSight>{
            {Text, "txt", allBut({Words})},
            {Pandoc, "html", pandocHtml},
            {Pandoc, "webarchive", pandocHtml},
            {Pandoc, "docx", pandocDocx},
            {Pandoc, "odt", pandocOdt},
            {Pandoc, "rtf", pandocRtf},
            {Pandoc, "rtfd", pandocRtf},
            {Office, "rtf", officeRtf},
            {Office, "rtfd", officeRtf},
            {Office, "html", officeHtml},
            {Office, "webarchive", officeHtml},
            {Office, "doc", {}},
            {Office, "docx", {}},
            {Office, "odt", {}},
            {Office, "wordml", officeWordML},
        };
    }();
    return t;
}

bool reads(Reader r, const std::string& format) {
    for (const ReaderSight& s : kReaderSees())
        if (s.reader == r && format == s.format) return true;
    return false;
}

bool sees(Reader r, const std::string& format, Feature f) {
    for (const ReaderSight& s : kReaderSees())
        if (s.reader == r && format == s.format)
            return !s.blind.count(f) && info(format).holds.count(f);
    return false;
}

// Today's losses: (feature, source formats, target formats), "*" for all nine. A loss listed
// here is expected to fail; one that passes is reported so the list only shrinks.
struct KnownLoss {
    Feature feature;
    const char* from;
    const char* to;
};

const std::vector<KnownLoss> kKnownLosses = {}; // none left

std::vector<std::string> splitWords(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

std::set<std::tuple<Feature, std::string, std::string>> knownLosses() {
    std::set<std::tuple<Feature, std::string, std::string>> out;
    auto expand = [](const char* list) {
        std::vector<std::string> names;
        if (std::string(list) == "*")
            for (const FormatInfo& f : formatInfos())
                names.push_back(f.name);
        else
            names = splitWords(list);
        return names;
    };
    for (const KnownLoss& k : kKnownLosses)
        for (const std::string& a : expand(k.from))
            for (const std::string& b : expand(k.to))
                out.insert({k.feature, a, b});
    return out;
}

// ---- checks on one reading ----

std::vector<const Word*> find(const Reading& r, const std::string& w) {
    std::vector<const Word*> out;
    for (const Word& x : r.words)
        if (x.text == w) out.push_back(&x);
    return out;
}

// "" when the word occurs with the property, else why not.
std::string wordWith(const Reading& r, const std::string& w,
                     const std::function<bool(const Word&)>& pred, const std::string& what) {
    const auto found = find(r, w);
    if (found.empty()) return "\"" + w + "\" missing";
    for (const Word* x : found)
        if (pred(*x)) return {};
    return "\"" + w + "\" not " + what;
}

bool near(double a, double b) {
    return std::abs(a - b) <= 0.05 * b;
}

std::string inOneParagraph(const Reading& r, const char* before, const char* after, bool breaks) {
    const auto a = find(r, before), b = find(r, after);
    if (a.empty() || b.empty())
        return std::string("\"") + (a.empty() ? before : after) + "\" missing";
    for (const Word* x : a)
        for (const Word* y : b)
            if (x->paragraph == y->paragraph &&
                (breaks ? y->breaks > x->breaks : y->tabs > x->tabs))
                return {};
    return std::string("no ") + (breaks ? "line break" : "tab") + " between \"" + before +
           "\" and \"" + after + "\"";
}

bool isNote(const Reading& r, const Word& w, const char* kind) {
    if (w.ctx.note == kind || w.ctx.note == "note") return true;
    // A linked note (HTML): the text sits in an element that a link points to.
    for (const std::string& id : w.ctx.ids)
        if (std::find(r.linkTargets.begin(), r.linkTargets.end(), "#" + id) != r.linkTargets.end())
            return true;
    return false;
}

std::string check(Feature f, const Reading& r, const std::set<std::string>& expectedWords) {
    using C = const Word&;
    switch (f) {
    case Words: {
        std::set<std::string> have;
        for (const Word& w : r.words)
            have.insert(w.text);
        std::string missing;
        int n = 0;
        for (const std::string& w : expectedWords)
            if (!have.count(w) && n++ < 8) missing += " " + w;
        return n ? std::to_string(n) + " words lost:" + missing : std::string();
    }
    case Headings: {
        static const char* const names[] = {"levelone",  "leveltwo",  "levelthree",
                                            "levelfour", "levelfive", "levelsix"};
        std::string bad;
        for (int level = 1; level <= 6; ++level)
            if (!wordWith(
                     r, names[level - 1], [&](C w) { return w.ctx.heading == level; }, "")
                     .empty())
                bad += " " + std::to_string(level);
        return bad.empty() ? bad : "levels not kept:" + bad;
    }
    case Bold:
        return wordWith(
            r, "boldword", [](C w) { return w.ctx.bold; }, "bold");
    case Italic:
        return wordWith(
            r, "italicword", [](C w) { return w.ctx.italic; }, "italic");
    case Underline:
        return wordWith(
            r, "underword", [](C w) { return w.ctx.underline; }, "underlined");
    case Strike:
        return wordWith(
            r, "strikeword", [](C w) { return w.ctx.strike; }, "struck through");
    case Superscript:
        return wordWith(
            r, "supword", [](C w) { return w.ctx.sup; }, "superscript");
    case Subscript:
        return wordWith(
            r, "subword", [](C w) { return w.ctx.sub; }, "subscript");
    case Link:
        return wordWith(
            r, "linkword",
            [](C w) { return w.ctx.link.rfind("https://example.org/fidelity", 0) == 0; },
            "linked to https://example.org/fidelity");
    case BulletList:
        return wordWith(
            r, "bulletone", [](C w) { return !w.ctx.lists.empty() && w.ctx.lists.back() == 'b'; },
            "a bullet item");
    case NumberedList:
        return wordWith(
            r, "numberone", [](C w) { return !w.ctx.lists.empty() && w.ctx.lists.back() == 'o'; },
            "a numbered item");
    case NestedList: {
        std::string a = wordWith(
            r, "bulletnested",
            [](C w) { return w.ctx.lists.size() >= 2 && w.ctx.lists.back() == 'b'; },
            "a level-2 bullet");
        std::string b = wordWith(
            r, "numbernested",
            [](C w) { return w.ctx.lists.size() >= 2 && w.ctx.lists.back() == 'o'; },
            "a level-2 number");
        return a.empty() ? b : b.empty() ? a : a + "; " + b;
    }
    case Table:
        return wordWith(
            r, "bodycell", [](C w) { return w.ctx.tableDepth >= 1; }, "in a table");
    case TableHeader:
        return wordWith(
            r, "heada", [](C w) { return w.ctx.headRow; }, "in a header row");
    case ColumnSpan:
        return wordWith(
            r, "spancols", [](C w) { return w.ctx.colSpan == 2; }, "spanning 2 columns");
    case RowSpan:
        return wordWith(
            r, "spanrows", [](C w) { return w.ctx.rowSpan == 2; }, "spanning 2 rows");
    case NestedTable:
        return wordWith(
            r, "innercell", [](C w) { return w.ctx.tableDepth >= 2; }, "in a nested table");
    case ListInCell:
        return wordWith(
            r, "celllistitem", [](C w) { return w.ctx.tableDepth >= 1 && !w.ctx.lists.empty(); },
            "a list item in a cell");
    case Footnote:
        return wordWith(
            r, "footnoteword", [&](C w) { return isNote(r, w, "footnote"); }, "in a footnote");
    case Endnote:
        return wordWith(
            r, "endnoteword", [&](C w) { return isNote(r, w, "endnote"); }, "in an endnote");
    case BlockQuote:
        return wordWith(
            r, "quoteword", [](C w) { return w.ctx.quote; }, "in a block quote");
    case LineBreak:
        return inOneParagraph(r, "linebefore", "lineafter", true);
    case Tab:
        return inOneParagraph(r, "tabbefore", "tabafter", false);
    case Picture:
        return r.pictures.empty() ? "no picture" : "";
    case PictureSize: {
        if (r.pictures.empty()) return "no picture";
        std::string seen;
        for (const auto& [w, h] : r.pictures) {
            if (near(w, 144) && near(h, 72)) return {};
            seen += " " + std::to_string(int(std::lround(w))) + "x" +
                    std::to_string(int(std::lround(h)));
        }
        return "not 144x72 pt:" + seen;
    }
    case PageBreak:
        return wordWith(
            r, "breakword", [](C w) { return w.ctx.pageBreak; }, "after a page break");
    case Title:
        return r.title == "Fidelity Sample" ? "" : "title \"" + r.title + "\"";
    case Author:
        return r.author == "Ada Tester" ? "" : "author \"" + r.author + "\"";
    case Alignment: {
        std::string a = wordWith(
            r, "centerword", [](C w) { return w.ctx.align == "center"; }, "centred");
        std::string b = wordWith(
            r, "rightword", [](C w) { return w.ctx.align == "end" || w.ctx.align == "right"; },
            "right-aligned");
        return a.empty() ? b : b.empty() ? a : a + "; " + b;
    }
    case Colour:
        return wordWith(
            r, "redword", [](C w) { return w.ctx.color == "#c00000"; }, "#c00000");
    case Highlight:
        return wordWith(
            r, "highlightword", [](C w) { return w.ctx.highlight == "#ffff00"; },
            "highlighted #ffff00");
    case Font:
        return wordWith(
            r, "monoword",
            [](C w) { return w.ctx.font.find("Liberation Mono") != std::string::npos; },
            "in Liberation Mono");
    case FontSize:
        return wordWith(
            r, "bigword", [](C w) { return near(w.ctx.size, 18); }, "18 pt");
    case Header:
        return wordWith(
            r, "headerword", [](C w) { return w.ctx.region == "header"; }, "in a page header");
    case Footer:
        return wordWith(
            r, "footerword", [](C w) { return w.ctx.region == "footer"; }, "in a page footer");
    case FeatureCount:
        break;
    }
    return "unknown feature";
}

// ---- the documents ----

struct Doc {
    std::string id;     // unique stem, e.g. "lo-docx" or "lo-docx__rtf"
    std::string format; // textutil's name for it
    fs::path path;
    std::string family; // "lo" or "pd": which source it descends from
    std::string error;  // why it does not exist
    Reading read[ReaderCount];
    bool readBy[ReaderCount] = {};
};

void runParallel(const std::vector<std::function<void()>>& jobs, unsigned n = 2) {
    std::atomic<size_t> next{0};
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < std::min<size_t>(n, jobs.size()); ++t)
        threads.emplace_back([&] {
            for (size_t i; (i = next++) < jobs.size();)
                jobs[i]();
        });
    for (auto& t : threads)
        t.join();
}

std::string sourceDir() {
    return std::string(VORPEL_SOURCE_DIR) + "/tests/tools/textutil_fidelity";
}

std::string profile(const fs::path& dir) {
    return "-env:UserInstallation=file://" + dir.string();
}

plist_t dataNode(const std::string& s) {
    return plist_new_data(s.data(), s.size());
}

// A web archive around an HTML file and the files it refers to, as a browser saves one.
void writeWebArchive(const fs::path& html, const std::vector<fs::path>& parts,
                     const fs::path& out) {
    const std::string base = "file:///fidelity/";
    plist_t root = plist_new_dict(), main = plist_new_dict();
    plist_dict_set_item(main, "WebResourceData", dataNode(vorpeltest::readFile(html)));
    plist_dict_set_item(main, "WebResourceMIMEType", plist_new_string("text/html"));
    plist_dict_set_item(main, "WebResourceTextEncodingName", plist_new_string("UTF-8"));
    plist_dict_set_item(main, "WebResourceURL",
                        plist_new_string((base + html.filename().string()).c_str()));
    plist_dict_set_item(main, "WebResourceFrameName", plist_new_string(""));
    plist_dict_set_item(root, "WebMainResource", main);
    if (!parts.empty()) {
        plist_t subs = plist_new_array();
        for (const fs::path& p : parts) {
            plist_t r = plist_new_dict();
            const std::string ext = p.extension().string();
            plist_dict_set_item(r, "WebResourceData", dataNode(vorpeltest::readFile(p)));
            plist_dict_set_item(r, "WebResourceMIMEType",
                                plist_new_string(("image/" + ext.substr(1)).c_str()));
            plist_dict_set_item(r, "WebResourceURL",
                                plist_new_string((base + p.filename().string()).c_str()));
            plist_array_append_item(subs, r);
        }
        plist_dict_set_item(root, "WebSubresources", subs);
    }
    char* bin = nullptr;
    uint32_t len = 0;
    plist_to_bin(root, &bin, &len);
    vorpeltest::writeFile(out, std::string(bin, len));
    plist_to_bin_free(bin);
    plist_free(root);
}

std::string dataOf(plist_t node) {
    char* v = nullptr;
    uint64_t n = 0;
    if (node && plist_get_node_type(node) == PLIST_DATA) plist_get_data_val(node, &v, &n);
    std::string s(v ? v : "", size_t(n));
    free(v);
    return s;
}

std::string stringOf(plist_t node) {
    char* v = nullptr;
    if (node && plist_get_node_type(node) == PLIST_STRING) plist_get_string_val(node, &v);
    std::string s = v ? v : "";
    free(v);
    return s;
}

// Unpacks a web archive into a folder: the main page as <stem>.html beside its subresources,
// each under the last part of its URL. Returns the page, or empty when it is no web archive.
fs::path unpackWebArchive(const fs::path& archive, const fs::path& dir, const std::string& stem) {
    const std::string bytes = vorpeltest::readFile(archive);
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), uint32_t(bytes.size()), &root);
    if (!root) return {};
    fs::create_directories(dir);
    const fs::path page = dir / (stem + ".html");
    plist_t main = plist_dict_get_item(root, "WebMainResource");
    vorpeltest::writeFile(page,
                          dataOf(main ? plist_dict_get_item(main, "WebResourceData") : nullptr));
    if (plist_t subs = plist_dict_get_item(root, "WebSubresources");
        subs && plist_get_node_type(subs) == PLIST_ARRAY) {
        for (uint32_t i = 0; i < plist_array_get_size(subs); ++i) {
            plist_t r = plist_array_get_item(subs, i);
            std::string url = stringOf(plist_dict_get_item(r, "WebResourceURL"));
            const std::string name = url.substr(url.find_last_of('/') + 1);
            if (!name.empty() && name != stem + ".html" && name.find("..") == std::string::npos)
                vorpeltest::writeFile(dir / name,
                                      dataOf(plist_dict_get_item(r, "WebResourceData")));
        }
    }
    plist_free(root);
    return page;
}

// An RTFD's text for readers of RTF alone, as a web archive is unpacked for HTML readers: each
// attachment that TXT.rtf names ({{\NeXTGraphic name \widthN \heightN}\'ac}) goes in as the
// \pict of the bundle's file at the size named, when that file is a PNG or JPEG picture. A
// name without its file, or with another type, stays as it is and so shows no picture.
std::string inlineRtfdPictures(const fs::path& bundle) {
    std::string rtf = vorpeltest::readFile(bundle / "TXT.rtf");
    const std::string tag = "{{\\NeXTGraphic ";
    for (size_t at = rtf.find(tag); at != std::string::npos; at = rtf.find(tag, at + 1)) {
        const size_t close = rtf.find('}', at + tag.size());
        if (close == std::string::npos) break;
        const std::string inner = rtf.substr(at + tag.size(), close - at - tag.size());
        const std::string name = inner.substr(0, inner.find(" \\"));
        auto number = [&](const char* word) {
            const size_t w = inner.find(word);
            return w == std::string::npos ? 0 : std::atoi(inner.c_str() + w + std::strlen(word));
        };
        size_t end = close + 1;
        for (const char* mark : {"\\'ac}", "\xAC}", "}"})
            if (rtf.compare(end, std::strlen(mark), mark) == 0) {
                end += std::strlen(mark);
                break;
            }
        std::error_code ec;
        if (name.find('/') != std::string::npos || !fs::is_regular_file(bundle / name, ec))
            continue;
        const std::string data = vorpeltest::readFile(bundle / name);
        const bool png = data.rfind("\x89PNG", 0) == 0, jpeg = data.rfind("\xFF\xD8\xFF", 0) == 0;
        if (!png && !jpeg) continue;
        std::string pict = std::string("{\\pict") + (png ? "\\pngblip" : "\\jpegblip");
        if (number("\\width") > 0 && number("\\height") > 0)
            pict += "\\picwgoal" + std::to_string(number("\\width")) + "\\pichgoal" +
                    std::to_string(number("\\height"));
        pict += "\n";
        static const char hex[] = "0123456789abcdef";
        for (unsigned char c : data) {
            pict += hex[c >> 4];
            pict += hex[c & 15];
        }
        pict += "}";
        rtf.replace(at, end - at, pict);
    }
    return rtf;
}

// FIDELITY_WORKDIR=path keeps the documents in that folder and reuses those already
// there on the next run (to re-judge without converting again).
class WorkDir {
public:
    WorkDir() {
        if (const char* d = std::getenv("FIDELITY_WORKDIR")) {
            kept_ = d;
            fs::create_directories(kept_);
        }
    }
    fs::path operator/(const std::string& name) const {
        return (kept_.empty() ? temp_.path() : kept_) / name;
    }
    bool reuse(const fs::path& p) const { return !kept_.empty() && fs::exists(p); }

private:
    vorpeltest::TempDir temp_;
    fs::path kept_;
};

class Fidelity {
public:
    WorkDir dir;
    std::vector<Doc> sources;
    std::map<std::pair<std::string, std::string>, Doc> outputs; // (source id, target format)
    std::map<std::string, std::set<std::string>> familyWords;
    std::vector<std::string> setupErrors;

    void build() {
        fs::create_directories(dir / "src");
        fs::create_directories(dir / "out");
        fs::create_directories(dir / "unpack");
        makeSources();
        convertAll();
        readAll();
    }

private:
    fs::path src(const std::string& name) { return dir / "src" / name; }

    void fail(const std::string& what) { setupErrors.push_back(what); }

    void addSource(const std::string& id, const std::string& format, const fs::path& p,
                   const std::string& family) {
        Doc d;
        d.id = id;
        d.format = format;
        d.path = p;
        d.family = family;
        if (!fs::exists(p)) d.error = "was not made";
        sources.push_back(d);
    }

    // Every source is named by its id ("lo-docx.docx"): LibreOffice names what it reads back by
    // stem.
    void makeSources() {
        const std::string html = sourceDir() + "/source.html", lua = sourceDir() + "/notes.lua";
        fs::copy_file(sourceDir() + "/source.fodt", src("lo.fodt"),
                      fs::copy_options::overwrite_existing);
        std::vector<std::function<void()>> jobs;
        // pandoc: docx, odt, rtf, HTML and plain text from the HTML source.
        for (const auto& [fmt, name] :
             std::vector<std::pair<std::string, std::string>>{{"docx", "pd-docx.docx"},
                                                              {"odt", "pd-odt.odt"},
                                                              {"rtf", "pd-rtf.rtf"},
                                                              {"html", "pd-html.html"},
                                                              {"plain", "txt.txt"}}) {
            if (dir.reuse(src(name))) continue;
            jobs.push_back([=, this] {
                const auto r = runProcess({"pandoc", "-s", "-f", "html", "--lua-filter", lua, "-t",
                                           fmt, html, "-o", src(name).string()});
                if (r.status != 0) fail("pandoc could not make " + name + ": " + r.err);
            });
        }
        // LibreOffice: one run per output filter, all sharing one private profile.
        jobs.push_back([this] {
            for (const auto& [filter, format] : std::vector<std::pair<std::string, std::string>>{
                     {"doc:MS Word 97", "doc"},
                     {"rtf:Rich Text Format", "rtf"},
                     {"xml:MS Word 2003 XML", "wordml"},
                     {"odt:writer8", "odt"},
                     {"docx:MS Word 2007 XML", "docx"},
                     {"html:HTML (StarWriter)", "html"}}) {
                const std::string ext = filter.substr(0, filter.find(':'));
                const fs::path made = src("lo." + ext), named = src("lo-" + format + "." + ext);
                if (dir.reuse(named)) continue;
                const auto r = runProcess({"soffice", profile(dir / "profile-a"), "--headless",
                                           "--convert-to", filter, "--outdir",
                                           (dir / "src").string(), src("lo.fodt").string()});
                std::error_code ec;
                fs::rename(made, named, ec);
                if (r.status != 0 || ec)
                    fail("LibreOffice could not make " + named.filename().string() + ": " + r.err);
            }
        });
        jobs.push_back([&] {
            const auto r =
                runProcess({"pandoc", "-f", "html", "--lua-filter", lua, "-t", "json", html});
            familyWords["pd"] = bodyWords(fidelity::readPandocJson(r.out));
        });
        runParallel(jobs);
        familyWords["lo"] = bodyWords(fidelity::readFlatOdt(vorpeltest::readFile(src("lo.fodt"))));

        // RTFD: the RTF as the bundle's text; web archives around the HTML pages and their
        // pictures.
        for (const std::string fam : {"pd", "lo"}) {
            fs::create_directories(src(fam + "-rtfd.rtfd"));
            std::error_code ec;
            fs::copy_file(src(fam + "-rtf.rtf"), src(fam + "-rtfd.rtfd") / "TXT.rtf",
                          fs::copy_options::overwrite_existing, ec);
            std::vector<fs::path> parts;
            for (const auto& e : fs::directory_iterator(dir / "src"))
                if (e.path().filename().string().rfind(fam + "_html_", 0) == 0)
                    parts.push_back(e.path());
            if (fs::exists(src(fam + "-html.html")))
                writeWebArchive(src(fam + "-html.html"), parts,
                                src(fam + "-webarchive.webarchive"));
        }
        addSource("txt", "txt", src("txt.txt"), "pd");
        for (const char* f : {"rtf", "rtfd", "html", "webarchive", "docx", "odt"})
            addSource(std::string("pd-") + f, f, src(std::string("pd-") + f + "." + info(f).ext),
                      "pd");
        for (const char* f : {"rtf", "rtfd", "html", "webarchive", "doc", "docx", "odt", "wordml"})
            addSource(std::string("lo-") + f, f, src(std::string("lo-") + f + "." + info(f).ext),
                      "lo");
    }

    static std::set<std::string> bodyWords(const Reading& r) {
        std::set<std::string> out;
        for (const Word& w : r.words)
            if (w.ctx.region.empty() && w.text.size() >= 3) out.insert(w.text);
        return out;
    }

    void convertAll() {
        std::vector<std::function<void()>> jobs;
        for (const Doc& s : sources) {
            for (const FormatInfo& t : formatInfos()) {
                Doc& o = outputs[{s.id, t.name}];
                o.id = s.id + "__" + t.name;
                o.format = t.name;
                o.family = s.family;
                o.path = dir / "out" / (o.id + "." + t.ext);
                if (!s.error.empty()) {
                    o.error = "source " + s.id + " " + s.error;
                    continue;
                }
                if (dir.reuse(o.path)) continue;
                jobs.push_back([&o, &s] {
                    const auto r =
                        runProcess({vorpeltest::toolPath("textutil").string(), "-convert", o.format,
                                    "-output", o.path.string(), s.path.string()});
                    if (r.status != 0)
                        o.error = "textutil failed (" + std::to_string(r.status) + "): " + r.err;
                });
            }
        }
        runParallel(jobs);
    }

    // The file each reader opens for a document: RTFD by its TXT.rtf with its pictures inlined,
    // a web archive by its page.
    struct Prepared {
        Doc* doc;
        std::string pandocFormat;
        fs::path file;
    };

    void readAll() {
        std::vector<Prepared> prepared;
        std::vector<Doc*> all;
        for (Doc& s : sources)
            all.push_back(&s);
        for (auto& [k, o] : outputs)
            all.push_back(&o);
        for (Doc* d : all) {
            if (!d->error.empty()) continue;
            fs::path file = d->path;
            std::string pf = d->format;
            if (d->format == "rtfd") {
                file = dir / "unpack" / (d->id + ".rtf");
                if (fs::exists(d->path / "TXT.rtf"))
                    vorpeltest::writeFile(file, inlineRtfdPictures(d->path));
                else
                    d->error = "RTFD bundle has no TXT.rtf";
                pf = "rtf";
            } else if (d->format == "webarchive") {
                file = unpackWebArchive(d->path, dir / "unpack" / d->id, d->id);
                if (file.empty()) d->error = "not a property list";
                pf = "html";
            }
            if (d->error.empty()) prepared.push_back({d, pf, file});
        }
        std::vector<std::function<void()>> jobs;
        std::vector<std::string> officeFiles;
        for (const Prepared& p : prepared) {
            if (reads(Text, p.doc->format)) {
                p.doc->read[Text] = fidelity::readPlainText(vorpeltest::readFile(p.file));
                p.doc->readBy[Text] = true;
            }
            if (reads(Pandoc, p.doc->format))
                jobs.push_back([p] {
                    const auto r =
                        runProcess({"pandoc", "-f", p.pandocFormat, "-t", "json", p.file.string()});
                    p.doc->read[Pandoc] =
                        r.status == 0 ? fidelity::readPandocJson(r.out) : Reading{};
                    if (r.status != 0)
                        p.doc->read[Pandoc].error =
                            "pandoc cannot read it: " + r.err.substr(0, 200);
                    p.doc->readBy[Pandoc] = true;
                });
            if (reads(Office, p.doc->format) &&
                !dir.reuse(dir / "flat" / (p.file.stem().string() + ".fodt")))
                officeFiles.push_back(p.file.string());
        }
        // LibreOffice reads everything to flat ODF in two runs side by side (it is slow to start):
        // HTML through Writer's own HTML import (else it opens in the web editor, which cannot
        // save flat ODF), the rest by detection.
        const fs::path flat = dir / "flat";
        for (int part = 0; part < 2; ++part) {
            std::vector<std::string> argv = {
                "soffice", profile(dir / (part ? "profile-b" : "profile-a")), "--headless"};
            if (part) argv.push_back("--infilter=HTML (StarWriter)");
            for (const std::string& s : {std::string("--convert-to"), std::string("fodt"),
                                         std::string("--outdir"), flat.string()})
                argv.push_back(s);
            size_t files = 0;
            for (const std::string& f : officeFiles)
                if ((fs::path(f).extension() == ".html") == bool(part)) {
                    argv.push_back(f);
                    ++files;
                }
            if (files == 0) continue;
            jobs.push_back([argv, this] {
                const auto r = runProcess(argv);
                if (r.status != 0) fail("LibreOffice read-back failed: " + r.err);
            });
        }
        runParallel(jobs);
        for (const Prepared& p : prepared) {
            if (!reads(Office, p.doc->format)) continue;
            const fs::path f = flat / (p.file.stem().string() + ".fodt");
            p.doc->readBy[Office] = true;
            if (fs::exists(f))
                p.doc->read[Office] = fidelity::readFlatOdt(vorpeltest::readFile(f));
            else
                p.doc->read[Office].error = "LibreOffice cannot open it";
        }
    }
};

Fidelity& fixture() {
    static Fidelity f;
    static bool built = false;
    if (!built) {
        built = true;
        f.build();
    }
    return f;
}

// Does a source hold a feature, as any reader sees it?
bool holds(const Doc& s, Feature f) {
    if (!info(s.format).holds.count(f)) return false;
    for (int r = 0; r < ReaderCount; ++r)
        if (s.readBy[r] && s.read[r].error.empty() && check(f, s.read[r], {}).empty()) return true;
    return false;
}

std::set<std::string> expectedWords(const Fidelity& fx, const Doc& s) {
    std::set<std::string> seen;
    for (int r = 0; r < ReaderCount; ++r)
        if (s.readBy[r])
            for (const Word& w : s.read[r].words)
                seen.insert(w.text);
    std::set<std::string> out;
    for (const std::string& w : fx.familyWords.at(s.family))
        if (seen.count(w)) out.insert(w);
    return out;
}

TEST(textutil_fidelity, EveryFeatureSurvivesEveryPair) {
    for (const char* p : {"pandoc", "soffice"})
        if (!vorpeltest::haveProgram(p))
            GTEST_SKIP() << p << " not installed; skipping the fidelity test";
    Fidelity& fx = fixture();
    for (const std::string& e : fx.setupErrors)
        ADD_FAILURE() << "set-up: " << e;
    for (const Doc& s : fx.sources)
        if (!s.error.empty()) ADD_FAILURE() << "source " << s.id << " " << s.error;
    ASSERT_FALSE(fx.familyWords["lo"].empty());
    ASSERT_FALSE(fx.familyWords["pd"].empty());

    // The reader table is honest: where a source holds a feature (some reader sees it), the
    // readers the table trusts with that format see it in the files their own tool made (the
    // other tool's markup may follow another convention, as HTML notes do) ...
    for (const Doc& s : fx.sources) {
        if (!s.error.empty()) continue;
        const auto expected = expectedWords(fx, s);
        for (int i = 0; i < FeatureCount; ++i) {
            const Feature f = Feature(i);
            if (!holds(s, f)) continue;
            for (int r = 0; r < ReaderCount; ++r)
                if (sees(Reader(r), s.format, f) &&
                    (r == Text || s.family == (r == Pandoc ? "pd" : "lo")) &&
                    (!s.readBy[r] || !check(f, s.read[r], expected).empty()))
                    ADD_FAILURE() << "reader table: " << kReaderNames[r] << " does not see "
                                  << kFeatureNames[f] << " in source " << s.id << " ("
                                  << check(f, s.read[r], expected)
                                  << "); mark it blind in kReaderSees";
        }
    }
    // ... and in at least one source of that format.
    for (const ReaderSight& rs : kReaderSees()) {
        for (int i = 0; i < FeatureCount; ++i) {
            const Feature f = Feature(i);
            if (!sees(rs.reader, rs.format, f)) continue;
            bool madeOne = false, seenOnce = false;
            for (const Doc& s : fx.sources) {
                if (s.format != rs.format || !s.readBy[rs.reader]) continue;
                madeOne = true;
                seenOnce = seenOnce || check(f, s.read[rs.reader], expectedWords(fx, s)).empty();
            }
            if (madeOne && !seenOnce)
                ADD_FAILURE() << "reader table: " << kReaderNames[rs.reader] << " does not see "
                              << kFeatureNames[f] << " in any " << rs.format
                              << " source; mark it blind in kReaderSees";
        }
    }

    // FIDELITY_TABLE=1 prints the format/feature table of the tool's README.
    if (std::getenv("FIDELITY_TABLE")) {
        std::cout << "| feature |";
        for (const FormatInfo& t : formatInfos())
            std::cout << " " << t.name << " |";
        std::cout << "\n|---|";
        for (size_t i = 0; i < formatInfos().size(); ++i)
            std::cout << "---|";
        std::cout << "\n";
        for (int i = 0; i < FeatureCount; ++i) {
            std::cout << "| " << kFeatureNames[i] << " |";
            for (const FormatInfo& t : formatInfos()) {
                std::string cell;
                if (!t.holds.count(Feature(i)))
                    cell = "no";
                else {
                    for (int r = 0; r < ReaderCount; ++r)
                        if (sees(Reader(r), t.name, Feature(i)))
                            cell += std::string(cell.empty() ? "" : "+") + "PLT"[r];
                    if (cell.empty()) cell = "unseen";
                }
                std::cout << " " << cell << " |";
            }
            std::cout << "\n";
        }
    }

    // FIDELITY_SHOW=<id> ("lo-docx", "lo-docx__rtf") prints what each reader saw in that document.
    if (const char* show = std::getenv("FIDELITY_SHOW")) {
        std::vector<const Doc*> docs;
        for (const Doc& s : fx.sources)
            docs.push_back(&s);
        for (const auto& [k, o] : fx.outputs)
            docs.push_back(&o);
        for (const Doc* d : docs) {
            if (d->id != show) continue;
            std::cout << d->id << " " << d->path << " " << d->error << "\n";
            for (int r = 0; r < ReaderCount; ++r) {
                if (!d->readBy[r]) continue;
                const Reading& rd = d->read[r];
                std::cout << " " << kReaderNames[r] << ": " << rd.error << " " << rd.words.size()
                          << " words\n";
                for (int i = 0; i < FeatureCount; ++i) {
                    const std::string c = check(Feature(i), rd, fx.familyWords.at(d->family));
                    std::cout << "   " << kFeatureNames[i] << ": " << (c.empty() ? "ok" : c)
                              << "\n";
                }
            }
        }
    }

    const auto known = knownLosses();
    std::set<std::tuple<Feature, std::string, std::string>> failing, judged;
    std::map<std::tuple<Feature, std::string, std::string>, std::string> why;
    std::set<std::pair<Feature, std::string>> unseen;
    for (const Doc& s : fx.sources) {
        if (!s.error.empty()) continue;
        const auto expected = expectedWords(fx, s);
        for (const FormatInfo& t : formatInfos()) {
            const Doc& o = fx.outputs.at({s.id, t.name});
            for (int i = 0; i < FeatureCount; ++i) {
                const Feature f = Feature(i);
                if (!t.holds.count(f) || !holds(s, f)) continue;
                const auto key = std::make_tuple(f, s.format, std::string(t.name));
                bool anyReader = false;
                std::string reasons;
                for (int r = 0; r < ReaderCount; ++r) {
                    if (!sees(Reader(r), t.name, f)) continue;
                    anyReader = true;
                    std::string bad = !o.error.empty()           ? o.error
                                      : !o.readBy[r]             ? "not read"
                                      : !o.read[r].error.empty() ? o.read[r].error
                                                                 : check(f, o.read[r], expected);
                    if (!bad.empty())
                        reasons += std::string(reasons.empty() ? "" : "; ") + s.id + " via " +
                                   kReaderNames[r] + ": " + bad;
                }
                if (!anyReader) {
                    unseen.insert({f, t.name});
                    continue;
                }
                judged.insert(key);
                if (!reasons.empty()) {
                    failing.insert(key);
                    why[key] += (why[key].empty() ? "" : " | ") + reasons;
                }
            }
        }
    }

    // The punch list: one line per (feature, pair).
    std::map<Feature, std::pair<int, int>> perFeature; // failing, judged
    for (const auto& key : judged) {
        const auto& [f, a, b] = key;
        perFeature[f].second++;
        const bool fails = failing.count(key), isKnown = known.count(key);
        if (fails) perFeature[f].first++;
        if (fails && !isKnown)
            ADD_FAILURE() << kFeatureNames[f] << ": " << a << " -> " << b << " lost (" << why[key]
                          << ")";
        if (!fails && isKnown)
            ADD_FAILURE() << kFeatureNames[f] << ": " << a << " -> " << b
                          << " survives now: remove it from kKnownLosses";
    }
    int totalFail = 0, totalJudged = 0;
    std::cout << "feature: failing/judged pairs\n";
    for (const auto& [f, c] : perFeature) {
        std::cout << "  " << kFeatureNames[f] << ": " << c.first << "/" << c.second << "\n";
        totalFail += c.first;
        totalJudged += c.second;
    }
    std::cout << "total: " << totalJudged - totalFail << " of " << totalJudged
              << " feature-pairs survive\n";
    for (const auto& [f, t] : unseen)
        std::cout << "  unseen by every reader: " << kFeatureNames[f] << " in " << t << "\n";

    // FIDELITY_KNOWN=1 prints the current losses in the form of kKnownLosses.
    if (std::getenv("FIDELITY_KNOWN")) {
        for (int i = 0; i < FeatureCount; ++i) {
            std::map<std::string, std::string> targetsBySource;
            for (const FormatInfo& a : formatInfos()) {
                std::string to;
                for (const FormatInfo& b : formatInfos())
                    if (failing.count({Feature(i), a.name, b.name}))
                        to += std::string(to.empty() ? "" : " ") + b.name;
                if (!to.empty())
                    targetsBySource[to] +=
                        std::string(targetsBySource[to].empty() ? "" : " ") + a.name;
            }
            static const char* const enumNames[] = {
                "Words",        "Headings",    "Bold",       "Italic",      "Underline",
                "Strike",       "Superscript", "Subscript",  "Link",        "BulletList",
                "NumberedList", "NestedList",  "Table",      "TableHeader", "ColumnSpan",
                "RowSpan",      "NestedTable", "ListInCell", "Footnote",    "Endnote",
                "BlockQuote",   "LineBreak",   "Tab",        "Picture",     "PictureSize",
                "PageBreak",    "Title",       "Author",     "Alignment",   "Colour",
                "Highlight",    "Font",        "FontSize",   "Header",      "Footer"};
            for (const auto& [to, from] : targetsBySource)
                std::cout << "{" << enumNames[i] << ", \"" << from << "\", \"" << to << "\"},\n";
        }
    }
}

} // namespace

#include "encoding.h"
#include "formats.h"
#include "media.h"
#include "ole.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <stdexcept>

namespace textutil {

namespace {

// Little-endian appends.
void put8(std::string& s, unsigned v) { s += char(v & 0xFF); }
void put16(std::string& s, unsigned v) {
    s += char(v & 0xFF);
    s += char((v >> 8) & 0xFF);
}
void put32(std::string& s, uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}
void set32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
}
void set16(std::string& s, size_t at, unsigned v) {
    s[at] = char(v & 0xFF);
    s[at + 1] = char((v >> 8) & 0xFF);
}
void sprm8(std::string& g, unsigned op, unsigned v) {
    put16(g, op);
    put8(g, v);
}
void sprm16(std::string& g, unsigned op, unsigned v) {
    put16(g, op);
    put16(g, v);
}
void sprm32(std::string& g, unsigned op, uint32_t v) {
    put16(g, op);
    put32(g, v);
}
void padTo(std::string& s, size_t boundary) { s.resize((s.size() + boundary - 1) / boundary * boundary, '\0'); }

int twips(double pt) { return int(std::lround(pt * 20)); }

const double kHeadingSize[] = {0, 24, 18, 14, 12, 10, 10};
const std::array<uint8_t, 16> kWordClassId = {0x06, 0x09, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                              0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// The nearest of the 16 classic Word colours, for readers that ignore 24-bit colour.
unsigned nearestIco(const Color& c) {
    static const Color ico[] = {{0, 0, 0},       {0, 0, 0},     {0, 0, 255},   {0, 255, 255}, {0, 255, 0},
                                {255, 0, 255},   {255, 0, 0},   {255, 255, 0}, {255, 255, 255}, {0, 0, 128},
                                {0, 128, 128},   {0, 128, 0},   {128, 0, 128}, {128, 0, 0},   {128, 128, 0},
                                {128, 128, 128}, {192, 192, 192}};
    unsigned best = 1;
    long bestD = -1;
    for (unsigned i = 1; i < 17; ++i) {
        const long dr = long(c.r) - ico[i].r, dg = long(c.g) - ico[i].g, db = long(c.b) - ico[i].b;
        const long d = dr * dr + dg * dg + db * db;
        if (bestD < 0 || d < bestD) {
            bestD = d;
            best = i;
        }
    }
    return best;
}

struct CharRun {
    uint32_t cpStart;
    std::string grpprl;
};

struct ParaMark {
    uint32_t cpEnd;        // first CP after the paragraph mark
    std::string grpprl;    // istd then modifiers
};

struct FieldChar {
    uint32_t cp;
    uint8_t ch, flags;
};

class Writer {
public:
    explicit Writer(const Document& doc) : doc_(doc) {}

    Output run() {
        fontIndex("Times New Roman");
        fontIndex("Symbol");
        fontIndex("Arial");
        cited_.assign(doc_.notes.size(), false);
        blocks(doc_.blocks);
        if (text_.empty() || text_.back() != 0x0D) paragraph(Paragraph{}, 0, 0x0D);
        ccpText_ = cp();
        // The text stream: the main document, then the footnote, header and endnote documents.
        // Each note story ends with a guard mark outside every note.
        story_ = Story::Note;
        if (!ftnCited_.empty()) {
            for (int n : ftnCited_) note(n, ftnTxt_);
            ftnTxt_.push_back(cp() - ccpText_);
            paragraph(Paragraph{}, 0, 0x0D);
        }
        ccpFtn_ = cp() - ccpText_;
        const uint32_t hddStart = cp();
        story_ = Story::Header;
        if (!doc_.header.empty() || !doc_.footer.empty()) {
            // The header document: the default header and footer stories, each ending with a
            // paragraph mark, then a guard mark. Their lists and links, which the main
            // document's tables index, become plain text.
            for (const std::vector<Block>* story : {&doc_.header, &doc_.footer}) {
                storyStarts_.push_back(cp() - hddStart);
                for (const Paragraph* p : flatParagraphs(*story)) {
                    Paragraph plain = *p;
                    plain.style.listLevel = 0;
                    for (Run& r : plain.runs)
                        r.style.edit([](CharStyle& s) { s.link = SharedText(); });
                    paragraph(plain, 0, 0x0D);
                }
            }
            storyStarts_.push_back(cp() - hddStart);
            paragraph(Paragraph{}, 0, 0x0D);
        }
        ccpHdd_ = cp() - hddStart;
        const uint32_t ednStart = cp();
        story_ = Story::Note;
        if (!ednCited_.empty()) {
            for (int n : ednCited_) note(n, ednTxt_);
            ednTxt_.push_back(cp() - ednStart);
            paragraph(Paragraph{}, 0, 0x0D);
        }
        ccpEdn_ = cp() - ednStart;
        // With any story besides the main one, one more paragraph mark ends the whole text.
        if (ccpFtn_ || ccpHdd_ || ccpEdn_) paragraph(Paragraph{}, 0, 0x0D);
        return assemble();
    }

private:
    const Document& doc_;
    std::u16string text_;
    uint32_t ccpText_ = 0, ccpFtn_ = 0, ccpHdd_ = 0, ccpEdn_ = 0; // the stories' lengths
    std::vector<uint32_t>
        storyStarts_; // header, footer and the end of both, in the header document
    enum class Story { Main, Note, Header };
    Story story_ = Story::Main;
    std::vector<bool> cited_;             // per note: its reference is written
    std::vector<int> ftnCited_, ednCited_; // notes in the order of their references
    std::vector<uint32_t> ftnRef_, ednRef_; // CPs of the references in the main document
    std::vector<uint32_t> ftnTxt_, ednTxt_; // where each note starts in its story, then the guard
    bool markPending_ = false;            // the next paragraph opens a note: its mark first
    std::vector<CharRun> runs_;
    std::vector<ParaMark> paras_;
    std::vector<FieldChar> fields_;
    std::vector<std::string> fonts_;
    std::map<std::string, int> fontIdx_;
    std::string data_;                 // the Data stream: pictures
    std::map<int, uint32_t> picAt_;    // attachment -> offset in data_

    int fontIndex(const std::string& name) {
        auto it = fontIdx_.find(name);
        if (it != fontIdx_.end()) return it->second;
        fonts_.push_back(name);
        return fontIdx_[name] = int(fonts_.size() - 1);
    }

    uint32_t cp() const { return uint32_t(text_.size()); }

    void setRun(const std::string& grpprl) {
        if (!runs_.empty() && runs_.back().grpprl == grpprl) return;
        if (!runs_.empty() && runs_.back().cpStart == cp()) {
            runs_.back().grpprl = grpprl;
            if (runs_.size() >= 2 && runs_[runs_.size() - 2].grpprl == grpprl) runs_.pop_back();
            return;
        }
        runs_.push_back({cp(), grpprl});
    }

    std::string charGrpprl(const CharStyle& cs, int heading) {
        std::string g;
        if (!cs.font.empty()) {
            const int f = fontIndex(cs.font);
            sprm16(g, 0x4A4F, unsigned(f));
            sprm16(g, 0x4A51, unsigned(f));
        }
        if (cs.bold) sprm8(g, 0x0835, 1);
        if (cs.italic) sprm8(g, 0x0836, 1);
        if (cs.strike) sprm8(g, 0x0837, 1);
        if (cs.underline || !cs.link.empty()) sprm8(g, 0x2A3E, 1);
        double size = cs.size;
        if (size <= 0 && heading) size = kHeadingSize[std::min(heading, 6)];
        if (size > 0) {
            const unsigned hps = unsigned(std::clamp(int(std::lround(size * 2)), 2, 3276));
            sprm16(g, 0x4A43, hps);
            sprm16(g, 0x4A61, hps);
        }
        std::optional<Color> color = cs.color;
        if (!color && !cs.link.empty()) color = Color{0, 0, 238};
        if (color) {
            sprm8(g, 0x2A42, nearestIco(*color));
            put16(g, 0x6870);
            put8(g, color->r);
            put8(g, color->g);
            put8(g, color->b);
            put8(g, 0);
        }
        if (cs.background) sprm8(g, 0x2A0C, nearestIco(*cs.background));
        if (cs.baseline) sprm8(g, 0x2A48, cs.baseline > 0 ? 1 : 2);
        return g;
    }

    void append(std::string_view utf8) {
        size_t i = 0;
        while (i < utf8.size()) {
            const uint32_t c = nextCodepoint(utf8, i);
            if (c == '\t') text_ += char16_t(0x09);
            else if (c == '\n' || c == '\r' || c == 0x2028 || c == '\v' || c == '\f') text_ += char16_t(0x0B);
            else if (c < 0x20) continue;
            else if (c >= 0x10000) {
                const uint32_t v = c - 0x10000;
                text_ += char16_t(0xD800 + (v >> 10));
                text_ += char16_t(0xDC00 + (v & 0x3FF));
            } else {
                text_ += char16_t(c);
            }
        }
    }

    void special(char16_t ch, const std::string& base, uint8_t fieldFlags, bool field) {
        std::string g = base;
        sprm8(g, 0x0855, 1);  // fSpec
        setRun(g);
        if (field) fields_.push_back({cp(), uint8_t(ch), fieldFlags});
        text_ += ch;
    }

    // A picture: the character 0x01 pointing at a picture header and drawing records in the Data stream.
    void picture(int att) {
        const Attachment& a = doc_.attachments[size_t(att)];
        const std::string mime = sniffMimeType(a.data);
        auto it = picAt_.find(att);
        if (it == picAt_.end()) {
            if (mime == "image/png" || mime == "image/jpeg") {
                it = picAt_.emplace(att, storePicture(a, mime)).first;
            } else {
                // Other pictures are stored as PNG, which every reader of the format shows.
                Attachment png = a;
                png.data = isImageMime(mime) ? pictureAsPng(a.data) : std::string();
                if (png.data.empty()) return;
                it = picAt_.emplace(att, storePicture(png, "image/png")).first;
            }
        }
        std::string g;
        sprm8(g, 0x0855, 1);
        sprm32(g, 0x6A03, it->second);
        setRun(g);
        text_ += char16_t(0x01);
    }

    uint32_t storePicture(const Attachment& a, const std::string& mime) {
        double w = 0, h = 0;
        pictureSize(a, w, h);
        const bool png = mime == "image/png";
        // The picture itself: a blip record inside a blip store entry.
        std::string blip;
        put16(blip, png ? 0x6E00 : 0x46A0);
        put16(blip, png ? 0xF01E : 0xF01D);
        put32(blip, uint32_t(17 + a.data.size()));
        blip.append(16, '\x11');  // identifier of the picture; any value
        put8(blip, 0xFF);
        blip += a.data;
        std::string bse;
        put16(bse, 0x0002 | ((png ? 6u : 5u) << 4));
        put16(bse, 0xF007);
        put32(bse, uint32_t(36 + blip.size()));
        put8(bse, png ? 6 : 5);
        put8(bse, png ? 6 : 5);
        bse.append(16, '\x11');
        put16(bse, 0xFF);
        put32(bse, uint32_t(blip.size()));
        put32(bse, 1);  // cRef
        put32(bse, 0);  // foDelay
        put32(bse, 0);  // unused, cbName, unused
        bse += blip;
        // The shape: a picture frame whose blip is the first entry above.
        std::string fsp;
        put16(fsp, 0x0002 | (75u << 4));  // msosptPictureFrame
        put16(fsp, 0xF00A);
        put32(fsp, 8);
        put32(fsp, 1025);
        put32(fsp, 0x0A00);  // fHaveAnchor | fHaveSpt
        std::string opt;
        put16(opt, 0x0003 | (1u << 4));  // one property
        put16(opt, 0xF00B);
        put32(opt, 6);
        put16(opt, 0x4104);  // pib, a blip id
        put32(opt, 1);
        std::string anchor;  // client anchor, as Word writes for inline shapes
        put16(anchor, 0x0000);
        put16(anchor, 0xF010);
        put32(anchor, 4);
        put32(anchor, 0x80000000);
        std::string sp;
        put16(sp, 0x000F);
        put16(sp, 0xF004);
        put32(sp, uint32_t(fsp.size() + opt.size() + anchor.size()));
        sp += fsp + opt + anchor;

        std::string picf(0x44, '\0');
        const uint32_t lcb = uint32_t(0x44 + sp.size() + bse.size());
        set32(picf, 0, lcb);
        set16(picf, 4, 0x44);
        set16(picf, 6, 0x64);  // MM_SHAPE
        set16(picf, 0x1C, unsigned(twips(w)));
        set16(picf, 0x1E, unsigned(twips(h)));
        set16(picf, 0x20, 1000);
        set16(picf, 0x22, 1000);
        const uint32_t at = uint32_t(data_.size());
        data_ += picf + sp + bse;
        return at;
    }

    void runs(const Paragraph& p, int heading) {
        size_t i = 0;
        while (i < p.runs.size()) {
            const Run& r = p.runs[i];
            if (r.note >= 0) {
                noteReference(r);
                ++i;
                continue;
            }
            if (r.attachment >= 0) {
                if (r.attachment < int(doc_.attachments.size())) picture(r.attachment);
                ++i;
                continue;
            }
            const std::string& link = r.style->link;
            size_t j = i + 1;
            if (!link.empty())
                while (j < p.runs.size() && p.runs[j].attachment < 0 && p.runs[j].note < 0 &&
                       p.runs[j].style->link == link)
                    ++j;
            if (!link.empty() && link.find('"') == std::string::npos) {
                // A HYPERLINK field: begin, instruction, separator, result, end.
                special(0x13, {}, 88, true);
                setRun({});
                append(link[0] == '#' ? " HYPERLINK \\l \"" + link.substr(1) + "\" " : " HYPERLINK \"" + link + "\" ");
                special(0x14, {}, 0, true);
                for (size_t k = i; k < j; ++k) {
                    setRun(charGrpprl(p.runs[k].style, heading));
                    append(p.runs[k].text);
                }
                special(0x15, {}, 0x80, true);  // fHasSep
            } else {
                for (size_t k = i; k < j; ++k) {
                    setRun(charGrpprl(p.runs[k].style, heading));
                    append(p.runs[k].text);
                }
            }
            i = j;
        }
    }

    // `depth`: table nesting, 0 outside tables; `innerCell`: the mark ends a nested table's cell.
    std::string paraGrpprl(const ParaStyle& ps, int depth, bool innerCell) {
        std::string g;
        const int heading = std::min(ps.heading, 6);
        put16(g, unsigned(heading));  // istd: Normal or Heading n
        int jc = -1;
        switch (ps.align) {
        case Align::Left: jc = 0; break;
        case Align::Center: jc = 1; break;
        case Align::Right: jc = 2; break;
        case Align::Justify: jc = 3; break;
        case Align::Natural: break;
        }
        if (jc >= 0) {
            sprm8(g, 0x2403, unsigned(jc));
            sprm8(g, 0x2461, unsigned(jc));
        }
        double left = ps.leftIndent, first = ps.firstIndent;
        if (ps.listLevel > 0) {
            left = std::max(left, 36.0 * ps.listLevel);
            first = -18;
        }
        if (left) {
            sprm16(g, 0x840F, unsigned(twips(left)) & 0xFFFF);
            sprm16(g, 0x845E, unsigned(twips(left)) & 0xFFFF);
        }
        if (ps.rightIndent) {
            sprm16(g, 0x840E, unsigned(twips(ps.rightIndent)) & 0xFFFF);
            sprm16(g, 0x845D, unsigned(twips(ps.rightIndent)) & 0xFFFF);
        }
        if (first) {
            sprm16(g, 0x8411, unsigned(twips(first)) & 0xFFFF);
            sprm16(g, 0x8460, unsigned(twips(first)) & 0xFFFF);
        }
        if (ps.spaceBefore > 0) sprm16(g, 0xA413, unsigned(twips(ps.spaceBefore)));
        if (ps.spaceAfter > 0) sprm16(g, 0xA414, unsigned(twips(ps.spaceAfter)));
        if (heading) sprm8(g, 0x2640, unsigned(heading - 1));
        if (ps.pageBreakBefore) sprm8(g, 0x2407, 1);
        if (ps.listLevel > 0 && !lists_.empty()) {
            // Level before list, as Word writes them: readers apply the list at the level already
            // read.
            sprm8(g, 0x260A, unsigned(std::min(ps.listLevel, 9) - 1));
            sprm16(g, 0x460B, unsigned(lists_.size())); // ilfo of the current list
        }
        if (depth > 0) {
            sprm8(g, 0x2416, 1);
            sprm32(g, 0x6649, unsigned(depth)); // sprmPItap
        }
        if (innerCell) sprm8(g, 0x244B, 1); // sprmPFInnerTableCell
        return g;
    }

    // One list definition and one override per contiguous list, its levels numbered or
    // bulleted as its items are, so that numbering restarts with each list.
    struct ListDef {
        std::string kinds;  // 'n' or 'b' per level
        int start = 1;
    };
    std::vector<ListDef> lists_;

    void startList(const std::vector<Block>& blocks, size_t first) {
        ListDef def;
        def.kinds.assign(9, '\0');
        for (size_t i = first; i < blocks.size(); ++i) {
            const Block& b = blocks[i];
            if (b.table || b.paragraph.style.listLevel == 0) break;
            const ParaStyle& ps = b.paragraph.style;
            if (i > first && ps.listLevel == 1 &&
                ps.ordered != blocks[first].paragraph.style.ordered)
                break;
            const size_t l = size_t(std::min(ps.listLevel, 9) - 1);
            if (!def.kinds[l]) def.kinds[l] = ps.ordered ? 'n' : 'b';
        }
        for (char& k : def.kinds)
            if (!k) k = 'b';
        const ParaStyle& ps = blocks[first].paragraph.style;
        if (ps.ordered && ps.listLevel == 1) def.start = std::max(1, ps.listNumber);
        lists_.push_back(def);
    }

    // PlfLst, the levels that follow it, and PlfLfo.
    struct ListTables {
        std::string lst, levels, lfo;
    };
    ListTables listTables() {
        std::string lst, lvls, lfo;
        put16(lst, unsigned(lists_.size()));
        for (size_t k = 0; k < lists_.size(); ++k) {
            const ListDef& d = lists_[k];
            put32(lst, uint32_t(0x1000 + k));  // lsid
            put32(lst, 0);                     // tplc
            for (int i = 0; i < 9; ++i) put16(lst, 0x0FFF);
            put8(lst, 0);
            put8(lst, 0);
            for (int l = 0; l < 9; ++l) {
                const bool ordered = d.kinds[size_t(l)] == 'n';
                std::string papx, chpx;
                sprm16(papx, 0x840F, unsigned(720 * (l + 1)));
                sprm16(papx, 0x8411, unsigned(-360) & 0xFFFF);
                if (!ordered) sprm16(chpx, 0x4A4F, 2);  // Arial has the bullet
                put32(lvls, uint32_t(l == 0 ? d.start : 1));
                put8(lvls, ordered ? 0 : 23);  // decimal or bullet
                put8(lvls, 0);
                for (int i = 0; i < 9; ++i) put8(lvls, ordered && i == 0 ? 1 : 0);  // where the number goes in the text
                put8(lvls, 0);   // a tab follows the number
                put32(lvls, 0);
                put32(lvls, 0);
                put8(lvls, unsigned(chpx.size()));
                put8(lvls, unsigned(papx.size()));
                put8(lvls, 0);
                put8(lvls, 0);
                lvls += papx + chpx;
                if (ordered) {
                    put16(lvls, 2);
                    put16(lvls, unsigned(l));  // placeholder for this level's number
                    put16(lvls, '.');
                } else {
                    put16(lvls, 1);
                    put16(lvls, 0x2022);
                }
            }
        }
        put32(lfo, uint32_t(lists_.size()));
        for (size_t k = 0; k < lists_.size(); ++k) {
            put32(lfo, uint32_t(0x1000 + k));
            put32(lfo, 0);
            put32(lfo, 0);
            put32(lfo, 0);
        }
        for (size_t k = 0; k < lists_.size(); ++k) put32(lfo, 0xFFFFFFFF);
        return {lst, lvls, lfo};
    }

    // A story's blocks: the main document's or a note's.
    void blocks(const std::vector<Block>& blocks) {
        bool inList = false, ordered = false;
        for (size_t i = 0; i < blocks.size(); ++i) {
            const Block& b = blocks[i];
            const ParaStyle& ps = b.paragraph.style;
            const bool listItem = !b.table && ps.listLevel > 0;
            // A numbered list right after a bulleted one (or the reverse) is a list of its own.
            if (listItem && (!inList || (ps.listLevel == 1 && ps.ordered != ordered))) {
                startList(blocks, i);
                ordered = ps.ordered;
            }
            inList = listItem;
            if (b.table) table(*b.table);
            else paragraph(b.paragraph, 0, 0x0D);
        }
    }

    // The first reference to a note in the main document is an auto-numbered mark the note
    // hangs on; any other (a second reference, one in a note or header) is its mark as text.
    void noteReference(const Run& r) {
        CharStyle cs = r.style;
        cs.baseline = 1;
        cs.link = SharedText();
        const bool real = story_ == Story::Main && r.note < int(doc_.notes.size()) &&
                          !cited_[size_t(r.note)];
        if (!real) {
            setRun(charGrpprl(cs, 0));
            append(noteMark(r));
            return;
        }
        cited_[size_t(r.note)] = true;
        const bool end = doc_.notes[size_t(r.note)].kind == Note::Kind::Endnote;
        (end ? ednCited_ : ftnCited_).push_back(r.note);
        (end ? ednRef_ : ftnRef_).push_back(cp());
        special(0x02, charGrpprl(cs, 0), 0, false);
    }

    // One note in its story; `starts` gets where it begins, relative to the story.
    void note(int n, std::vector<uint32_t>& starts) {
        const Note& nt = doc_.notes[size_t(n)];
        const uint32_t storyStart = nt.kind == Note::Kind::Endnote ? ccpText_ + ccpFtn_ + ccpHdd_ : ccpText_;
        starts.push_back(cp() - storyStart);
        markPending_ = true;
        // The mark leads a paragraph: one of its own before a table.
        if (nt.blocks.empty() || nt.blocks.front().table) paragraph(Paragraph{}, 0, 0x0D);
        blocks(nt.blocks);
        // A note ends with a paragraph mark, not a table's row mark.
        if (text_.back() != 0x0D) paragraph(Paragraph{}, 0, 0x0D);
    }

    // `depth`: table nesting, 0 outside tables; `innerCell`: the mark ends a nested table's cell.
    void paragraph(const Paragraph& p, int depth, char16_t mark, bool innerCell = false) {
        const ParaStyle& ps = p.style;
        if (markPending_) {
            // A note opens with its own mark. No space after it: readers that drop the mark
            // would keep the space as the note's first character.
            markPending_ = false;
            std::string g;
            sprm8(g, 0x2A48, 1);
            special(0x02, g, 0, false);
        }
        runs(p, ps.heading);
        setRun({});
        text_ += mark;
        paras_.push_back({cp(), paraGrpprl(ps, depth, innerCell)});
    }

    // A cell's blocks; the last paragraph carries the cell mark: 0x07 in the outermost table,
    // a paragraph mark with sprmPFInnerTableCell in a nested one.
    void cell(const TableCell& c, int depth, int width) {
        const char16_t cellMark = depth > 1 ? 0x0D : 0x07;
        bool inList = false;
        for (size_t k = 0; k < c.blocks.size(); ++k) {
            const Block& b = c.blocks[k];
            const bool last = k + 1 == c.blocks.size();
            const bool listItem = !b.table && b.paragraph.style.listLevel > 0;
            if (listItem && !inList) startList(c.blocks, k);
            inList = listItem;
            if (!b.table) {
                paragraph(b.paragraph, depth, last ? cellMark : char16_t(0x0D), last && depth > 1);
                continue;
            }
            table(*b.table, depth + 1, width);
            if (last) paragraph(Paragraph{}, depth, cellMark, depth > 1);
        }
        if (c.blocks.empty()) paragraph(Paragraph{}, depth, cellMark, depth > 1);
    }

    // One cell per grid position: a row span's lower positions are empty cells marked as
    // continuing it, a column span is one cell as wide as its columns. A nested table's row
    // ends in a paragraph mark with sprmPFInnerTtp, the outermost's in 0x07 with sprmPFTtp.
    void table(const Table& t, int depth = 1, int width = twips(kTextWidth)) {
        const int columns = int(std::max<size_t>(1, tableColumns(t)));
        const int colW = std::max(1, width / columns);
        const std::vector<std::vector<CellSlot>> slots = tableSlots(t);
        for (size_t r = 0; r < t.rows.size(); ++r) {
            if (slots[r].empty()) continue;
            for (const CellSlot& s : slots[r]) {
                if (s.continued)
                    paragraph(Paragraph{}, depth, depth > 1 ? 0x0D : 0x07, depth > 1);
                else
                    cell(*s.cell, depth, std::max(720, colW * std::max(1, s.cell->colSpan) - 216));
            }
            // The row end: a mark of its own carrying the cell boundaries.
            setRun({});
            text_ += char16_t(depth > 1 ? 0x0D : 0x07);
            std::string g;
            put16(g, 0);
            sprm8(g, 0x2416, 1);
            sprm32(g, 0x6649, unsigned(depth));
            sprm8(g, depth > 1 ? 0x244C : 0x2417, 1);       // sprmPFInnerTtp, sprmPFTtp
            if (int(r) < t.headerRows) sprm8(g, 0x3404, 1); // sprmTTableHeader
            sprm16(g, 0x9602, 108);  // half the gap between cells
            const size_t n = slots[r].size();
            std::string def;
            put8(def, unsigned(n));
            put16(def, 0);
            for (const CellSlot& s : slots[r])
                put16(def, unsigned(colW * (s.column + std::max(1, s.cell->colSpan))));
            for (const CellSlot& s : slots[r]) {
                // tcgrf: vertMerge 3 starts a row span, 1 continues it
                put16(def, s.continued ? 0x20u : s.cell->rowSpan > 1 ? 0x60u : 0u);
                put16(def, 0);  // wWidth
                for (int side = 0; side < 4; ++side) {
                    put8(def, 4);  // width in eighths of a point
                    put8(def, 1);  // single line
                    put8(def, 1);  // black
                    put8(def, 0);
                }
            }
            put16(g, 0xD608);
            put16(g, unsigned(def.size() + 1));
            g += def;
            if (g.size() > 300) {
                // Too big for a property page: the modifiers go to the Data stream, found through sprmPHugePapx.
                const uint32_t at = uint32_t(data_.size());
                put16(data_, unsigned(g.size() - 2));
                data_.append(g, 2);
                g.resize(2);
                sprm32(g, 0x6646, at);
            }
            paras_.push_back({cp(), g});
        }
    }

    // --- Binary layout ----------------------------------------------------------------

    std::string stylesheet() {
        std::string s;
        const unsigned cstd = 15;
        put16(s, 18);  // cbStshi
        put16(s, cstd);
        put16(s, 10);  // cbSTDBaseInFile
        put16(s, 1);   // fStdStylenamesWritten
        put16(s, 91);  // stiMaxWhenSaved
        put16(s, 15);  // istdMaxFixedWhenSaved
        put16(s, 0);   // nVerBuiltInNamesWhenSaved
        put16(s, 0);   // default fonts: Times New Roman for every script
        put16(s, 0);
        put16(s, 0);
        auto std_ = [&](unsigned sti, unsigned stk, unsigned base, unsigned next, const std::u16string& name,
                        const std::string& papx, const std::string& chpx, unsigned istd) {
            std::string d;
            put16(d, sti);
            put16(d, stk | (base << 4));
            put16(d, (stk == 1 ? 2u : 1u) | (next << 4));
            put16(d, 0);  // bchUpe, set below
            put16(d, 0);
            put16(d, unsigned(name.size()));
            for (char16_t c : name) put16(d, c);
            put16(d, 0);
            if (stk == 1) {
                if (d.size() & 1) d += '\0';
                put16(d, unsigned(2 + papx.size()));
                put16(d, istd);
                d += papx;
            }
            if (d.size() & 1) d += '\0';
            put16(d, unsigned(chpx.size()));
            d += chpx;
            if (d.size() & 1) d += '\0';
            set16(d, 6, unsigned(d.size()));
            put16(s, unsigned(d.size()));
            s += d;
        };
        std::string normalChp;
        sprm16(normalChp, 0x4A4F, 0);
        sprm16(normalChp, 0x4A51, 0);
        sprm16(normalChp, 0x4A43, 24);
        std_(0, 1, 0x0FFF, 0, u"Normal", {}, normalChp, 0);
        for (unsigned h = 1; h <= 6; ++h) {
            std::string papx, chpx;
            sprm16(papx, 0xA413, 240);
            sprm16(papx, 0xA414, 60);
            sprm8(papx, 0x2640, h - 1);
            sprm8(chpx, 0x0835, 1);
            sprm16(chpx, 0x4A43, unsigned(kHeadingSize[h] * 2));
            std::u16string name = u"heading ";
            name += char16_t(u'0' + h);
            std_(h, 1, 0, 0, name, papx, chpx, h);
        }
        for (unsigned i = 7; i < 10; ++i) put16(s, 0);  // headings 7-9 unused
        std_(65, 2, 0x0FFF, 10, u"Default Paragraph Font", {}, {}, 10);
        for (unsigned i = 11; i < cstd; ++i) put16(s, 0);
        return s;
    }

    std::string fontTable() {
        std::string s;
        put16(s, unsigned(fonts_.size()));
        put16(s, 0);
        for (const std::string& f : fonts_) {
            const std::string u16 = convertEncoding(f, "UTF-8", "UTF-16LE");
            std::string ffn;
            const bool symbol = f == "Symbol";
            put8(ffn, symbol ? 0x12 : 0x26);  // variable pitch, TrueType, roman or swiss
            put16(ffn, 400);
            put8(ffn, symbol ? 2 : 0);  // character set
            put8(ffn, 0);
            ffn.append(34, '\0');  // panose and signature
            ffn += u16;
            put16(ffn, 0);
            put8(s, unsigned(ffn.size()));  // size minus one, counting the size byte
            s += ffn;
        }
        return s;
    }

    // Packs character runs into 512-byte pages; returns the first FC of each page.
    void chpxPages(std::string& wd, uint32_t fcText, std::vector<uint32_t>& fcs, std::vector<uint32_t>& pns) {
        const uint32_t fcEnd = fcText + uint32_t(text_.size()) * 2;
        size_t i = 0;
        while (i < runs_.size()) {
            std::string page(512, '\0');
            std::vector<uint32_t> rfc;
            std::vector<uint8_t> rgb;
            size_t top = 511;
            std::map<std::string, uint8_t> placed;
            while (i < runs_.size()) {
                const std::string& g = runs_[i].grpprl;
                size_t need = 0;
                if (!g.empty() && !placed.count(g)) need = (1 + g.size() + 1) & ~size_t(1);
                const size_t crun = rfc.size() + 1;
                if ((crun + 1) * 4 + crun + need > top) {
                    if (rfc.empty()) throw std::runtime_error("character properties too large for a Word page");
                    break;
                }
                uint8_t off = 0;
                if (!g.empty()) {
                    auto it = placed.find(g);
                    if (it != placed.end()) {
                        off = it->second;
                    } else {
                        top = (top - (1 + g.size())) & ~size_t(1);
                        page[top] = char(g.size());
                        page.replace(top + 1, g.size(), g);
                        off = uint8_t(top / 2);
                        placed[g] = off;
                    }
                }
                rfc.push_back(fcText + runs_[i].cpStart * 2);
                rgb.push_back(off);
                ++i;
            }
            const uint32_t last = i < runs_.size() ? fcText + runs_[i].cpStart * 2 : fcEnd;
            const size_t crun = rfc.size();
            for (size_t k = 0; k < crun; ++k) set32(page, k * 4, rfc[k]);
            set32(page, crun * 4, last);
            for (size_t k = 0; k < crun; ++k) page[(crun + 1) * 4 + k] = char(rgb[k]);
            page[511] = char(crun);
            fcs.push_back(rfc.front());
            pns.push_back(uint32_t(wd.size() / 512));
            wd += page;
        }
        fcs.push_back(fcEnd);
    }

    void papxPages(std::string& wd, uint32_t fcText, std::vector<uint32_t>& fcs, std::vector<uint32_t>& pns) {
        size_t i = 0;
        uint32_t start = fcText;
        while (i < paras_.size()) {
            std::string page(512, '\0');
            std::vector<uint32_t> rfc;
            std::vector<uint8_t> offs;
            size_t top = 511;
            const uint32_t first = start;
            while (i < paras_.size()) {
                const std::string& g = paras_[i].grpprl;
                const size_t size = (g.size() & 1) ? 1 + g.size() : 2 + g.size();
                const size_t cpara = rfc.size() + 1;
                if ((cpara + 1) * 4 + cpara * 13 + size + 1 > top) {
                    if (rfc.empty()) throw std::runtime_error("paragraph properties too large for a Word page");
                    break;
                }
                top = (top - size) & ~size_t(1);
                if (g.size() & 1) {
                    page[top] = char((g.size() + 1) / 2);
                    page.replace(top + 1, g.size(), g);
                } else {
                    page[top] = 0;
                    page[top + 1] = char(g.size() / 2);
                    page.replace(top + 2, g.size(), g);
                }
                rfc.push_back(start);
                offs.push_back(uint8_t(top / 2));
                start = fcText + paras_[i].cpEnd * 2;
                ++i;
            }
            const size_t cpara = rfc.size();
            for (size_t k = 0; k < cpara; ++k) set32(page, k * 4, rfc[k]);
            set32(page, cpara * 4, start);
            for (size_t k = 0; k < cpara; ++k) page[(cpara + 1) * 4 + k * 13] = char(offs[k]);
            page[511] = char(cpara);
            fcs.push_back(first);
            pns.push_back(uint32_t(wd.size() / 512));
            wd += page;
        }
        fcs.push_back(start);
    }

    static std::string plc(const std::vector<uint32_t>& keys, const std::vector<uint32_t>& values) {
        std::string s;
        for (uint32_t k : keys) put32(s, k);
        for (uint32_t v : values) put32(s, v);
        return s;
    }

    Output assemble() {
        const uint32_t ccpText = ccpText_, ccpFtn = ccpFtn_, ccpHdd = ccpHdd_, ccpEdn = ccpEdn_;
        const uint32_t ftnStart = ccpText, ednStart = ccpText + ccpFtn + ccpHdd;
        const uint32_t fcText = 0x400;
        std::string wd(fcText, '\0');
        for (char16_t c : text_) put16(wd, c);
        const uint32_t fcTextEnd = uint32_t(wd.size());
        // Section properties: letter paper, one-inch margins.
        padTo(wd, 2);
        const uint32_t fcSepx = uint32_t(wd.size());
        std::string sepx;
        sprm16(sepx, 0xB01F, 12240);
        sprm16(sepx, 0xB020, 15840);
        sprm16(sepx, 0xB021, 1440);
        sprm16(sepx, 0xB022, 1440);
        sprm16(sepx, 0x9023, 1440);
        sprm16(sepx, 0x9024, 1440);
        put16(wd, unsigned(sepx.size()));
        wd += sepx;
        padTo(wd, 512);
        std::vector<uint32_t> chpFcs, chpPns, papFcs, papPns;
        if (runs_.empty() || runs_.front().cpStart != 0) runs_.insert(runs_.begin(), CharRun{0, {}});
        chpxPages(wd, fcText, chpFcs, chpPns);
        papxPages(wd, fcText, papFcs, papPns);
        // Streams under 4096 bytes live in the compound file's small-block area, which some readers reject here.
        if (wd.size() < 4096) wd.resize(4096, '\0');

        std::string tbl;
        auto place = [&](const std::string& part) {
            const uint32_t at = uint32_t(tbl.size());
            tbl += part;
            return std::pair<uint32_t, uint32_t>(at, uint32_t(part.size()));
        };
        const auto stsh = place(stylesheet());
        const auto bteChp = place(plc(chpFcs, chpPns));
        const auto btePap = place(plc(papFcs, papPns));
        const auto ffn = place(fontTable());
        std::string sed;
        put32(sed, 0);
        put32(sed, ccpText);
        put16(sed, 0);
        put32(sed, fcSepx);
        put16(sed, 0);
        put32(sed, 0xFFFFFFFF);
        const auto plcfSed = place(sed);
        // The fields of a story, their CPs relative to its start.
        auto fieldPlc = [&](uint32_t from, uint32_t length) {
            std::vector<FieldChar> in;
            for (const FieldChar& c : fields_)
                if (c.cp >= from && c.cp < from + length) in.push_back({c.cp - from, c.ch, c.flags});
            if (in.empty()) return std::pair<uint32_t, uint32_t>(0, 0);
            std::string f;
            for (const FieldChar& c : in) put32(f, c.cp);
            put32(f, length);
            for (const FieldChar& c : in) {
                put8(f, c.ch);
                put8(f, c.flags);
            }
            return place(f);
        };
        const auto fld = fieldPlc(0, ccpText);
        const auto fldFtn = fieldPlc(ftnStart, ccpFtn);
        const auto fldEdn = fieldPlc(ednStart, ccpEdn);
        // A note story: the references with their auto-numbering flags, then where each note starts.
        auto notePlcs = [&](const std::vector<uint32_t>& refs, const std::vector<uint32_t>& starts,
                            uint32_t length) {
            std::pair<std::pair<uint32_t, uint32_t>, std::pair<uint32_t, uint32_t>> at{};
            if (refs.empty()) return at;
            std::string ref;
            for (uint32_t c : refs) put32(ref, c);
            put32(ref, cp()); // ignored; the end of the text, as Word writes it
            for (size_t i = 0; i < refs.size(); ++i) put16(ref, 1);
            at.first = place(ref);
            std::vector<uint32_t> cps = starts; // the last is the guard mark, length - 1
            cps.push_back(length);
            std::string txt;
            for (uint32_t c : cps) put32(txt, c);
            at.second = place(txt);
            return at;
        };
        const auto ftn = notePlcs(ftnRef_, ftnTxt_, ccpFtn);
        const auto edn = notePlcs(ednRef_, ednTxt_, ccpEdn);
        std::string dop(500, '\0');
        dop[0] = char(1 << 5);  // fpc: footnotes at the bottom of the page
        set16(dop, 2, 1 << 2);  // footnotes numbered from 1
        set16(dop, 10, 720);  // default tab stop
        set16(dop, 52, 1 << 2); // endnotes numbered from 1
        dop[54] = 3;            // epc: endnotes at the end of the document
        const auto dopAt = place(dop);
        std::string clx;
        put8(clx, 2);
        put32(clx, 16);
        put32(clx, 0);
        put32(clx, cp());
        put16(clx, 0);
        put32(clx, fcText);  // 16-bit text, not compressed
        put16(clx, 0);
        const auto clxAt = place(clx);
        std::pair<uint32_t, uint32_t> plcfHdd{0, 0};
        if (ccpHdd > 0) {
            // Six separator stories (empty: the defaults), then the section's even and odd header,
            // even and odd footer, first-page header and footer; the end of the last story; a
            // last CP that readers ignore.
            const uint32_t header = storyStarts_[0], footer = storyStarts_[1],
                           end = storyStarts_[2];
            std::string h;
            for (uint32_t v :
                 {0u, 0u, 0u, 0u, 0u, 0u, header, header, footer, footer, end, end, end, ccpHdd})
                put32(h, v);
            plcfHdd = place(h);
        }
        std::pair<uint32_t, uint32_t> plfLst{0, 0}, plfLfo{0, 0};
        if (!lists_.empty()) {
            const ListTables lt = listTables();
            plfLst = place(lt.lst);
            tbl += lt.levels;  // the levels follow the list table, outside its count
            plfLfo = place(lt.lfo);
        }

        // The file information block.
        std::string fib;
        put16(fib, 0xA5EC);   // wIdent
        put16(fib, 0x00C1);   // nFib: Word 97
        put16(fib, 0);
        put16(fib, 0x0409);   // lid
        put16(fib, 0);        // pnNext
        put16(fib, 0x0200 | 0x1000 | (data_.empty() ? 0 : 0x0008));  // 1Table, fExtChar, fHasPic
        put16(fib, 0x00BF);   // nFibBack
        put32(fib, 0);        // lKey
        put8(fib, 0);         // envr
        put8(fib, 0);
        put16(fib, 0);
        put16(fib, 0);
        put32(fib, fcText);   // fcMin, for old readers
        put32(fib, fcTextEnd);
        put16(fib, 14);       // csw
        for (int i = 0; i < 13; ++i) put16(fib, 0);
        put16(fib, 0x0409);   // lidFE
        put16(fib, 22);       // cslw
        std::array<uint32_t, 22> lw{};
        lw[0] = uint32_t(wd.size());  // cbMac
        lw[3] = ccpText;
        lw[4] = ccpFtn;
        lw[5] = ccpHdd;
        lw[8] = ccpEdn;
        // Legacy page fields: readers that use them ignore formatting unless they match the bin tables.
        lw[11] = chpPns.empty() ? 0 : chpPns.front();
        lw[12] = lw[11];
        lw[13] = uint32_t(chpPns.size());
        lw[14] = papPns.empty() ? 0 : papPns.front();
        lw[15] = lw[14];
        lw[16] = uint32_t(papPns.size());
        for (uint32_t v : lw) put32(fib, v);
        put16(fib, 0x5D);     // cbRgFcLcb
        std::array<std::pair<uint32_t, uint32_t>, 0x5D> fc{};
        fc[0] = stsh;
        fc[1] = stsh;
        fc[2] = ftn.first;
        fc[3] = ftn.second;
        fc[6] = plcfSed;
        fc[11] = plcfHdd;
        fc[12] = bteChp;
        fc[13] = btePap;
        fc[15] = ffn;
        fc[16] = fld;
        fc[18] = fldFtn;
        fc[31] = dopAt;
        fc[33] = clxAt;
        fc[46] = edn.first;
        fc[47] = edn.second;
        fc[48] = fldEdn;
        fc[73] = plfLst;
        fc[74] = plfLfo;
        for (auto& [f, l] : fc) {
            if (l == 0) f = uint32_t(tbl.size());
            put32(fib, f);
            put32(fib, l);
        }
        put16(fib, 0);  // cswNew
        wd.replace(0, fib.size(), fib);

        std::vector<std::pair<std::string, std::string>> streams = {{"WordDocument", std::move(wd)}, {"1Table", std::move(tbl)}};
        if (!data_.empty()) streams.emplace_back("Data", data_);
        Output o;
        o.data = ole::build(streams, kWordClassId, &doc_.meta);
        return o;
    }
};

} // namespace

Output writeDoc(const Document& doc, const WriteOptions&) {
    return Writer(doc).run();
}

} // namespace textutil

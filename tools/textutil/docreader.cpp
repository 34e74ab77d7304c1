#include "encoding.h"
#include "formats.h"
#include "media.h"
#include "ole.h"
#include "wordprocessing.h"

#include "platform/toolerror.h"

#include <algorithm>
#include <array>
#include <map>
#include <stdexcept>
#include <tuple>

namespace textutil {

namespace {

// Bounds-checked little-endian reads: a damaged file fails instead of reading past its end.
struct Bytes {
    std::string_view d;
    void need(size_t at, size_t n) const {
        if (at > d.size() || n > d.size() - at) throw std::runtime_error("the document structure is damaged");
    }
    uint8_t u8(size_t i) const {
        need(i, 1);
        return uint8_t(d[i]);
    }
    uint16_t u16(size_t i) const {
        need(i, 2);
        return uint16_t(uint8_t(d[i]) | uint8_t(d[i + 1]) << 8);
    }
    uint32_t u32(size_t i) const {
        need(i, 4);
        return uint32_t(uint8_t(d[i])) | uint32_t(uint8_t(d[i + 1])) << 8 | uint32_t(uint8_t(d[i + 2])) << 16 |
               uint32_t(uint8_t(d[i + 3])) << 24;
    }
    int16_t i16(size_t i) const { return int16_t(u16(i)); }
    int32_t i32(size_t i) const { return int32_t(u32(i)); }
    std::string_view sub(size_t i, size_t n) const {
        need(i, n);
        return d.substr(i, n);
    }
};

// Operand size of a property modifier, from its opcode (and for variable ones, its first bytes).
size_t sprmOperandSize(uint16_t sprm, const Bytes& b, size_t at) {
    switch (sprm >> 13) {
    case 0:
    case 1: return 1;
    case 2:
    case 4:
    case 5: return 2;
    case 3: return 4;
    case 7: return 3;
    default:
        if (sprm == 0xD608 || sprm == 0xD606) return size_t(b.u16(at)) + 1;  // table definitions: 16-bit count
        if (sprm == 0xC615) {
            const uint8_t cb = b.u8(at);
            if (cb != 255) return size_t(cb) + 1;
            // Tab changes with a long form: deletions and additions counted separately.
            const uint8_t del = b.u8(at + 1);
            const uint8_t add = b.u8(at + 2 + size_t(del) * 4);
            return 1 + 1 + size_t(del) * 4 + 1 + size_t(add) * 3;
        }
        return size_t(b.u8(at)) + 1;
    }
}

// Calls f(sprm, operand offset, operand size) for each modifier of a group.
template <class F>
void forEachSprm(std::string_view grpprl, F&& f) {
    const Bytes b{grpprl};
    size_t i = 0;
    while (i + 2 <= grpprl.size()) {
        const uint16_t sprm = b.u16(i);
        if (i + 2 >= grpprl.size()) break;
        size_t n;
        try {
            n = sprmOperandSize(sprm, b, i + 2);
        } catch (const std::exception&) {
            break;
        }
        if (i + 2 + n > grpprl.size()) break;
        f(sprm, b, i + 2, n);
        i += 2 + n;
    }
}

const Color kIco[] = {{0, 0, 0},     {0, 0, 0},       {0, 0, 255},   {0, 255, 255}, {0, 255, 0},  {255, 0, 255},
                      {255, 0, 0},   {255, 255, 0},   {255, 255, 255}, {0, 0, 128}, {0, 128, 128}, {0, 128, 0},
                      {128, 0, 128}, {128, 0, 0},     {128, 128, 0}, {128, 128, 128}, {192, 192, 192}};

struct CharProps {
    bool bold = false, italic = false, underline = false, strike = false;
    double size = 10;
    int font = -1;
    std::optional<Color> color, background;
    int baseline = 0;
    bool special = false;  // fSpec: the character stands for an object
    int32_t picLocation = -1;
    int charStyle = -1;
};

struct ParaProps {
    int istd = 0;
    Align align = Align::Natural;
    double left = 0, right = 0, first = 0, before = 0, after = 0;
    int ilfo = 0, ilvl = 0, outline = 9;
    bool pageBreak = false;
    bool inTable = false, ttp = false, innerTtp = false, innerCell = false;
    bool header = false; // sprmTTableHeader: the row is a head row
    int itap = 0;
    std::vector<int> centers;        // cell boundaries of a table row, in twips
    std::vector<uint16_t> cellFlags; // per cell: TC's tcgrf (horizontal and vertical merge)
};

// Toggles may be relative to the style: 0x80 keeps the style's value, 0x81 inverts it.
bool toggle(uint8_t v, bool styleValue) {
    if (v == 0x80) return styleValue;
    if (v == 0x81) return !styleValue;
    return v != 0;
}

void applyChar(CharProps& c, const CharProps& style, uint16_t sprm, const Bytes& b, size_t at) {
    switch (sprm) {
    case 0x0835: c.bold = toggle(b.u8(at), style.bold); break;
    case 0x0836: c.italic = toggle(b.u8(at), style.italic); break;
    case 0x0837:
    case 0x2A53: c.strike = toggle(b.u8(at), style.strike); break;
    case 0x2A3E: c.underline = b.u8(at) != 0; break;
    case 0x4A43: c.size = b.u16(at) / 2.0; break;
    case 0x4A4F: c.font = b.u16(at); break;
    case 0x2A42: {
        const uint8_t ico = b.u8(at);
        if (ico == 0) c.color.reset();
        else if (ico < 17) c.color = kIco[ico];
        break;
    }
    case 0x6870:
        if (b.u8(at + 3) & 0xFF) c.color.reset();  // fAuto
        else c.color = Color{b.u8(at), b.u8(at + 1), b.u8(at + 2)};
        break;
    case 0x2A0C: {
        const uint8_t ico = b.u8(at);
        if (ico == 0) c.background.reset();
        else if (ico < 17) c.background = kIco[ico];
        break;
    }
    // Shading, which LibreOffice writes for highlighting: a clear pattern over a background.
    case 0x4866: {
        const unsigned shd = b.u16(at), ico = (shd >> 5) & 0x1F;
        if ((shd >> 10) == 0 && ico > 0 && ico < 17) c.background = kIco[ico];
        break;
    }
    case 0xCA71:
        if (b.u8(at) >= 10 && b.u16(at + 9) == 0 && b.u8(at + 8) == 0)
            c.background = Color{b.u8(at + 5), b.u8(at + 6), b.u8(at + 7)};
        break;
    case 0x2A48: {
        const uint8_t iss = b.u8(at);
        c.baseline = iss == 1 ? 1 : iss == 2 ? -1 : 0;
        break;
    }
    case 0x0855: c.special = b.u8(at) != 0; break;
    case 0x6A03: c.picLocation = b.i32(at); break;
    case 0x4A30: c.charStyle = b.u16(at); break;
    default: break;
    }
}

void applyPara(ParaProps& p, uint16_t sprm, const Bytes& b, size_t at) {
    switch (sprm) {
    case 0x4600: p.istd = b.u16(at); break;
    case 0x2403:
    case 0x2461: {
        const uint8_t jc = b.u8(at);
        p.align = jc == 0 ? Align::Left : jc == 1 ? Align::Center : jc == 2 ? Align::Right : jc >= 3 ? Align::Justify : p.align;
        break;
    }
    case 0x840F:
    case 0x845E: p.left = b.i16(at) / 20.0; break;
    case 0x840E:
    case 0x845D: p.right = b.i16(at) / 20.0; break;
    case 0x8411:
    case 0x8460: p.first = b.i16(at) / 20.0; break;
    case 0xA413: p.before = b.u16(at) / 20.0; break;
    case 0xA414: p.after = b.u16(at) / 20.0; break;
    case 0x460B: p.ilfo = b.i16(at); break;
    case 0x260A: p.ilvl = b.u8(at); break;
    case 0x2640: p.outline = b.u8(at); break;
    case 0x2407:
        p.pageBreak = b.u8(at) != 0;
        break;
    case 0x2416: p.inTable = b.u8(at) != 0; break;
    case 0x2417: p.ttp = b.u8(at) != 0; break;
    case 0x244C: p.innerTtp = b.u8(at) != 0; break;
    case 0x244B: p.innerCell = b.u8(at) != 0; break;
    case 0x6649: p.itap = b.i32(at); break;
    case 0x3404:
        p.header = b.u8(at) != 0;
        break;
    case 0xD608: {
        const size_t n = b.u8(at + 2);
        p.centers.clear();
        p.cellFlags.clear();
        for (size_t i = 0; i <= n; ++i) p.centers.push_back(b.i16(at + 3 + i * 2));
        const size_t tc = at + 3 + (n + 1) * 2;
        const size_t end = at + 2 + b.u16(at) - 1;
        for (size_t i = 0; i < n && tc + i * 20 + 2 <= end; ++i)
            p.cellFlags.push_back(b.u16(tc + i * 20));
        break;
    }
    default: break;
    }
}

struct Style {
    int stk = 0, base = 0x0FFF, sti = 0;
    std::string name;
    std::string_view papx, chpx;  // grpprls without the style index
};

struct FcRange {
    uint32_t start, end;
    std::string_view grpprl;
};

struct Piece {
    uint32_t cpStart, cpEnd, fc;
    bool compressed;
    uint16_t prm;
};

struct ListLevel {
    int start = 1;
    bool ordered = true;
    bool markerless = false; // shows no number or bullet (LibreOffice's heading outline)
};

// Word 97-2003 code points of the 8-bit pieces: Windows-1252.
char16_t cp1252(uint8_t c) {
    static const char16_t high[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                      0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    return c >= 0x80 && c < 0xA0 ? high[c - 0x80] : char16_t(c);
}

class Reader {
public:
    Reader(std::string_view wd, std::string_view table, std::optional<std::string> data, Document& doc)
        : wd_{wd}, tbl_{table}, dataStream_(std::move(data)), doc_(doc) {}

    void run() {
        fib();
        pieces();
        styles();
        fonts();
        lists();
        try {
            shapes();
        } catch (const std::exception&) {
            // Floating pictures are extras: damaged drawing data leaves them out.
        }
        fkps(pair(12), false);  // PlcBteChpx
        fkps(pair(13), true);   // PlcBtePapx
        text();
    }

private:
    Bytes wd_, tbl_;
    std::optional<std::string> dataStream_;
    Document& doc_;
    size_t fcLcbAt_ = 0;
    size_t cbRgFcLcb_ = 0;
    uint32_t ccpText_ = 0;
    size_t lwAt_ = 0;
    std::vector<Piece> pieces_;
    std::vector<std::string_view> prcs_;
    std::vector<Style> styles_;
    std::vector<std::string> fonts_;
    std::vector<FcRange> chpx_, papx_;
    std::map<int32_t, std::array<ListLevel, 9>> lists_;  // lsid
    std::vector<int32_t> lfos_;                          // ilfo-1 -> lsid
    std::map<int32_t, std::array<int, 9>> counters_;
    std::vector<std::pair<CharProps, ParaProps>> resolvedStyles_;
    std::vector<int> resolving_;

    std::pair<uint32_t, uint32_t> pair(size_t index) const {
        if (index >= cbRgFcLcb_) return {0, 0};
        return {wd_.u32(fcLcbAt_ + index * 8), wd_.u32(fcLcbAt_ + index * 8 + 4)};
    }

    void fib() {
        const size_t csw = wd_.u16(0x20);
        const size_t cslwAt = 0x22 + csw * 2;
        const size_t cslw = wd_.u16(cslwAt);
        const size_t lwAt = cslwAt + 2;
        lwAt_ = lwAt;
        ccpText_ = wd_.u32(lwAt + 3 * 4);
        const size_t cbAt = lwAt + cslw * 4;
        cbRgFcLcb_ = wd_.u16(cbAt);
        fcLcbAt_ = cbAt + 2;
        wd_.need(fcLcbAt_, cbRgFcLcb_ * 8);
    }

    void pieces() {
        const auto [fc, lcb] = pair(33);  // Clx
        if (lcb == 0) throw std::runtime_error("the document has no piece table");
        size_t i = fc;
        const size_t end = size_t(fc) + lcb;
        tbl_.need(fc, lcb);
        while (i < end && tbl_.u8(i) == 1) {  // Prc: property modifiers of fast-saved pieces
            const size_t cb = tbl_.u16(i + 1);
            prcs_.push_back(tbl_.sub(i + 3, cb));
            i += 3 + cb;
        }
        if (i >= end || tbl_.u8(i) != 2) throw std::runtime_error("the piece table is damaged");
        const uint32_t lcbPlc = tbl_.u32(i + 1);
        const size_t plc = i + 5;
        tbl_.need(plc, lcbPlc);
        const size_t n = (lcbPlc - 4) / 12;
        for (size_t k = 0; k < n; ++k) {
            Piece p;
            p.cpStart = tbl_.u32(plc + k * 4);
            p.cpEnd = tbl_.u32(plc + (k + 1) * 4);
            const size_t pcd = plc + (n + 1) * 4 + k * 8;
            const uint32_t fcv = tbl_.u32(pcd + 2);
            p.compressed = fcv & 0x40000000u;
            p.fc = p.compressed ? (fcv & 0x3FFFFFFFu) / 2 : fcv;
            p.prm = tbl_.u16(pcd + 6);
            if (p.cpEnd > p.cpStart) pieces_.push_back(p);
        }
    }

    void styles() {
        const auto [fc, lcb] = pair(1);  // Stshf
        if (lcb < 4) return;
        tbl_.need(fc, lcb);
        const size_t cbStshi = tbl_.u16(fc);
        const size_t stshi = fc + 2;
        const size_t cstd = tbl_.u16(stshi);
        const size_t cbBase = tbl_.u16(stshi + 2);
        size_t i = stshi + cbStshi;
        const size_t end = size_t(fc) + lcb;
        for (size_t s = 0; s < cstd && i + 2 <= end; ++s) {
            const size_t cbStd = tbl_.u16(i);
            Style st;
            if (cbStd >= cbBase && cbBase >= 10) {
                const size_t std = i + 2;
                st.sti = tbl_.u16(std) & 0x0FFF;
                st.stk = tbl_.u16(std + 2) & 0x000F;
                st.base = tbl_.u16(std + 2) >> 4;
                const size_t cupx = tbl_.u16(std + 4) & 0x000F;
                size_t p = std + cbBase;
                const size_t cch = tbl_.u16(p);
                std::u16string name;
                for (size_t k = 0; k < cch; ++k) name += char16_t(tbl_.u16(p + 2 + k * 2));
                st.name = convertEncoding(std::string_view(reinterpret_cast<const char*>(name.data()), name.size() * 2),
                                          "UTF-16LE", "UTF-8");
                p += 2 + cch * 2 + 2;
                const size_t stdEnd = std + cbStd;
                // UPXs: paragraph styles have papx then chpx, character styles chpx only.
                for (size_t u = 0; u < cupx && p + 2 <= stdEnd; ++u) {
                    if ((p - std) & 1) ++p;
                    const size_t cb = tbl_.u16(p);
                    std::string_view upx = tbl_.sub(p + 2, std::min(cb, stdEnd - (p + 2)));
                    if (st.stk == 1 && u == 0) st.papx = upx.size() >= 2 ? upx.substr(2) : std::string_view();
                    else if ((st.stk == 1 && u == 1) || (st.stk == 2 && u == 0)) st.chpx = upx;
                    p += 2 + cb;
                }
            }
            styles_.push_back(st);
            i += 2 + cbStd;
        }
        resolvedStyles_.assign(styles_.size(), {});
        resolving_.assign(styles_.size(), 0);
        for (size_t s = 0; s < styles_.size(); ++s) resolveStyle(int(s));
    }

    // 0 unresolved, 1 in progress, 2 done.
    const std::pair<CharProps, ParaProps>& resolveStyle(int istd) {
        static const std::pair<CharProps, ParaProps> none;
        if (istd < 0 || size_t(istd) >= styles_.size()) return none;
        auto& r = resolvedStyles_[size_t(istd)];
        if (resolving_[size_t(istd)]) return r;
        resolving_[size_t(istd)] = 1;
        const Style& st = styles_[size_t(istd)];
        if (st.base != 0x0FFF && st.base != istd) r = resolveStyle(st.base);
        const CharProps base = r.first;
        forEachSprm(st.chpx, [&](uint16_t sprm, const Bytes& b, size_t at, size_t) { applyChar(r.first, base, sprm, b, at); });
        forEachSprm(st.papx, [&](uint16_t sprm, const Bytes& b, size_t at, size_t) { applyPara(r.second, sprm, b, at); });
        r.second.istd = istd;
        resolving_[size_t(istd)] = 2;
        return r;
    }

    void fonts() {
        const auto [fc, lcb] = pair(15);  // SttbfFfn
        if (lcb < 4) return;
        tbl_.need(fc, lcb);
        const size_t count = tbl_.u16(fc);
        size_t i = fc + 4;
        const size_t end = size_t(fc) + lcb;
        for (size_t k = 0; k < count && i < end; ++k) {
            const size_t cb = size_t(tbl_.u8(i)) + 1;
            std::u16string name;
            for (size_t p = i + 40; p + 1 < i + cb; p += 2) {
                const char16_t c = char16_t(tbl_.u16(p));
                if (!c) break;
                name += c;
            }
            fonts_.push_back(convertEncoding(std::string_view(reinterpret_cast<const char*>(name.data()), name.size() * 2),
                                             "UTF-16LE", "UTF-8"));
            i += cb;
        }
    }

    void lists() {
        const auto [fcLst, lcbLst] = pair(73);
        const auto [fcLfo, lcbLfo] = pair(74);
        if (lcbLst >= 2) {
            const size_t n = size_t(tbl_.u16(fcLst));
            size_t lvl = size_t(fcLst) + lcbLst;  // the levels follow the list table
            for (size_t k = 0; k < n; ++k) {
                const size_t lstf = fcLst + 2 + k * 28;
                const int32_t lsid = tbl_.i32(lstf);
                const bool simple = tbl_.u8(lstf + 26) & 1;
                std::array<ListLevel, 9> levels;
                for (size_t l = 0; l < (simple ? 1u : 9u); ++l) {
                    levels[l].start = tbl_.i32(lvl);
                    const uint8_t nfc = tbl_.u8(lvl + 4);
                    levels[l].ordered = nfc != 23 && nfc != 255;
                    const size_t cbChpx = tbl_.u8(lvl + 24), cbPapx = tbl_.u8(lvl + 25);
                    lvl += 28 + cbChpx + cbPapx;
                    const size_t textLength = tbl_.u16(lvl); // the number text
                    levels[l].markerless = nfc == 255 && textLength == 0;
                    lvl += 2 + textLength * 2;
                }
                lists_[lsid] = levels;
            }
        }
        if (lcbLfo >= 4) {
            const size_t n = std::min<size_t>(tbl_.u32(fcLfo), 10000);
            for (size_t k = 0; k < n; ++k) lfos_.push_back(tbl_.i32(fcLfo + 4 + k * 16));
        }
    }

    // Reads the formatted disk pages a bin table points to into FC ranges.
    void fkps(std::pair<uint32_t, uint32_t> plc, bool para) {
        const auto [fc, lcb] = plc;
        if (lcb < 8) return;
        tbl_.need(fc, lcb);
        const size_t n = (lcb - 4) / 8;
        auto& out = para ? papx_ : chpx_;
        for (size_t k = 0; k < n; ++k) {
            const size_t page = size_t(tbl_.u32(fc + (n + 1) * 4 + k * 4) & 0x3FFFFF) * 512;
            wd_.need(page, 512);
            const size_t count = wd_.u8(page + 511);
            for (size_t r = 0; r < count; ++r) {
                FcRange range{wd_.u32(page + r * 4), wd_.u32(page + (r + 1) * 4), {}};
                const size_t off = para ? size_t(wd_.u8(page + (count + 1) * 4 + r * 13)) * 2
                                        : size_t(wd_.u8(page + (count + 1) * 4 + r)) * 2;
                if (off != 0 && off < 511) {
                    const size_t at = page + off;
                    if (para) {
                        size_t cb = wd_.u8(at);
                        size_t start = at + 1;
                        if (cb == 0) {
                            cb = size_t(wd_.u8(at + 1)) * 2;
                            start = at + 2;
                        } else {
                            cb = cb * 2 - 1;
                        }
                        if (start + cb <= page + 511) range.grpprl = wd_.sub(start, cb);
                    } else {
                        const size_t cb = wd_.u8(at);
                        if (at + 1 + cb <= page + 511) range.grpprl = wd_.sub(at + 1, cb);
                    }
                }
                out.push_back(range);
            }
        }
        std::stable_sort(out.begin(), out.end(), [](const FcRange& a, const FcRange& b) { return a.start < b.start; });
    }

    static const FcRange* lookup(const std::vector<FcRange>& v, uint32_t fc) {
        auto it = std::upper_bound(v.begin(), v.end(), fc, [](uint32_t f, const FcRange& r) { return f < r.start; });
        if (it == v.begin()) return nullptr;
        --it;
        return fc < it->end ? &*it : nullptr;
    }

    std::string_view prmGrpprl(uint16_t prm) const {
        if (!(prm & 1)) return {};
        const size_t i = prm >> 1;
        return i < prcs_.size() ? prcs_[i] : std::string_view();
    }

    ParaProps paraAt(uint32_t fc, const Piece& piece) {
        ParaProps p;
        if (const FcRange* r = lookup(papx_, fc); r && r->grpprl.size() >= 2) {
            const int istd = Bytes{r->grpprl}.u16(0);
            p = resolveStyle(istd).second;
            p.istd = istd;
            forEachSprm(r->grpprl.substr(2), [&](uint16_t sprm, const Bytes& b, size_t at, size_t) {
                if (sprm == 0x6646 && dataStream_) {
                    // sprmPHugePapx: the modifiers live in the Data stream.
                    const Bytes d{*dataStream_};
                    const size_t where = b.u32(at);
                    try {
                        const std::string_view huge = d.sub(where + 2, d.u16(where));
                        forEachSprm(huge, [&](uint16_t s2, const Bytes& b2, size_t a2, size_t) { applyPara(p, s2, b2, a2); });
                    } catch (const std::exception&) {
                    }
                    return;
                }
                applyPara(p, sprm, b, at);
            });
        } else {
            p = resolveStyle(0).second;
        }
        forEachSprm(prmGrpprl(piece.prm), [&](uint16_t sprm, const Bytes& b, size_t at, size_t) { applyPara(p, sprm, b, at); });
        return p;
    }

    CharProps charAt(uint32_t fc, const Piece& piece, const ParaProps& para) {
        CharProps style = resolveStyle(para.istd).first;
        CharProps c = style;
        const FcRange* r = lookup(chpx_, fc);
        if (r) {
            // A character style applies before the direct formatting.
            forEachSprm(r->grpprl, [&](uint16_t sprm, const Bytes& b, size_t at, size_t) {
                if (sprm == 0x4A30) {
                    const int cs = b.u16(at);
                    if (cs > 0 && size_t(cs) < styles_.size() && styles_[size_t(cs)].stk == 2) {
                        forEachSprm(styles_[size_t(cs)].chpx, [&](uint16_t sp, const Bytes& bb, size_t a2, size_t) {
                            applyChar(c, style, sp, bb, a2);
                        });
                    }
                }
            });
            forEachSprm(r->grpprl, [&](uint16_t sprm, const Bytes& b, size_t at, size_t) { applyChar(c, style, sprm, b, at); });
        }
        forEachSprm(prmGrpprl(piece.prm), [&](uint16_t sprm, const Bytes& b, size_t at, size_t) { applyChar(c, style, sprm, b, at); });
        return c;
    }

    // Floating shapes: anchors by CP, their shape ids, and the pictures of the blip store.
    struct Anchor {
        uint32_t spid;
        double width, height;
    };
    std::map<uint32_t, Anchor> anchors_;        // CP of the 0x08 character
    std::map<uint32_t, uint32_t> shapePib_;     // spid -> blip index (1-based)
    std::vector<std::pair<size_t, bool>> bses_;  // offset of the BSE body; true when its blip is embedded

    void shapes() {
        const auto [fcSpa, lcbSpa] = pair(40);    // PlcfSpaMom
        const auto [fcDgg, lcbDgg] = pair(50);    // OfficeArtContent
        if (lcbSpa < 4 + 26 || lcbDgg < 8) return;
        tbl_.need(fcSpa, lcbSpa);
        const size_t n = (lcbSpa - 4) / 30;
        for (size_t k = 0; k < n; ++k) {
            const size_t spa = fcSpa + (n + 1) * 4 + k * 26;
            // In double: the difference of two 32-bit coordinates of a broken file overflows int.
            const double w = (double(tbl_.i32(spa + 12)) - tbl_.i32(spa + 4)) / 20.0;
            const double h = (double(tbl_.i32(spa + 16)) - tbl_.i32(spa + 8)) / 20.0;
            anchors_[tbl_.u32(fcSpa + k * 4)] = {tbl_.u32(spa), w, h};
        }
        tbl_.need(fcDgg, lcbDgg);
        const size_t end = size_t(fcDgg) + lcbDgg;
        size_t p = fcDgg;
        while (p + 8 <= end) {
            const uint16_t type = tbl_.u16(p + 2);
            const size_t len = tbl_.u32(p + 4);
            if (type == 0xF000) records(p + 8, std::min(p + 8 + len, end), 0);
            else if (type == 0xF002) records(p + 8, std::min(p + 8 + len, end), 0);
            p += 8 + len;
            if (p < end && type == 0xF000) ++p;  // dgglbl before each drawing
            else if (p < end && type == 0xF002) ++p;
        }
    }

    // Walks drawing records: blip store entries, and shapes with their blip property.
    void records(size_t p, size_t end, int depth) {
        uint32_t spid = 0;
        while (p + 8 <= end && depth < 10) {
            const uint16_t verInst = tbl_.u16(p);
            const uint16_t type = tbl_.u16(p + 2);
            const size_t len = tbl_.u32(p + 4);
            const size_t body = p + 8;
            if (body + len > end) break;
            if ((verInst & 0xF) == 0xF) {
                records(body, body + len, depth + 1);
            } else if (type == 0xF007) {
                const size_t cbName = tbl_.u8(body + 33);
                bses_.emplace_back(body, len > 36 + cbName);
            } else if (type == 0xF00A) {
                spid = tbl_.u32(body);
            } else if (type == 0xF00B) {
                const size_t count = verInst >> 4;
                for (size_t i = 0; i < count && body + i * 6 + 6 <= body + len; ++i) {
                    if ((tbl_.u16(body + i * 6) & 0x3FFF) == 0x0104) shapePib_[spid] = tbl_.u32(body + i * 6 + 2);
                }
            }
            p = body + len;
        }
    }

    void floatingPicture(uint32_t cp) {
        auto a = anchors_.find(cp);
        if (a == anchors_.end()) return;
        auto pib = shapePib_.find(a->second.spid);
        if (pib == shapePib_.end() || pib->second == 0 || pib->second > bses_.size()) return;
        const auto [body, embedded] = bses_[pib->second - 1];
        std::string bytes;
        try {
            if (embedded) {
                const size_t cbName = tbl_.u8(body + 33);
                const size_t len = tbl_.u32(body - 4);
                bytes = findBlip(tbl_, body + 36 + cbName, body + len, 0);
            } else {
                const size_t at = tbl_.u32(body + 28);  // foDelay: the blip sits in the WordDocument stream
                bytes = findBlip(wd_, at, wd_.d.size(), 0);
            }
        } catch (const std::exception&) {
            return;
        }
        if (bytes.empty()) return;
        Attachment att;
        att.mimeType = sniffMimeType(bytes);
        att.data = std::move(bytes);
        att.fileName = "picture." + extensionForMime(att.mimeType);
        if (a->second.width > 0 && a->second.height > 0) {
            att.width = a->second.width;
            att.height = a->second.height;
        }
        para_.runs.emplace_back().attachment = doc_.addAttachment(std::move(att));
    }

    // --- Building the model -----------------------------------------------------------

    struct Field {
        std::string instr;
        bool result = false;
        std::string link;
    };
    std::vector<Field> fields_;
    Paragraph para_;
    std::map<int32_t, int> pictures_;

    // A table row's cell boundaries and cell flags, as its TTP mark gives them.
    struct RowGeometry {
        std::vector<int> centers;
        std::vector<uint16_t> flags;
        bool header = false;
    };
    // The table being read at each nesting depth, outermost first; empty outside tables.
    struct Level {
        Table table;
        TableRow row;
        TableCell cell;
        std::vector<RowGeometry> rows; // per row of table
    };
    std::vector<Level> levels_;
    static constexpr size_t kMaxDepth = 64; // deeper nesting is damage, kept at this depth

    std::string currentLink() const {
        for (auto it = fields_.rbegin(); it != fields_.rend(); ++it)
            if (it->result && !it->link.empty()) return it->link;
        return {};
    }

    CharStyle toStyle(const CharProps& c) const {
        CharStyle s;
        s.bold = c.bold;
        s.italic = c.italic;
        s.underline = c.underline;
        s.strike = c.strike;
        s.size = c.size;
        if (c.font >= 0 && size_t(c.font) < fonts_.size()) s.font = fonts_[size_t(c.font)];
        s.color = c.color;
        s.background = c.background;
        s.baseline = c.baseline;
        s.link = currentLink();
        return s;
    }

    // No text, picture or table: a cell a merge flag may fold away.
    static bool blank(const TableCell& c) {
        for (const Block& b : c.blocks)
            if (b.table || !b.paragraph.runs.empty()) return false;
        return true;
    }

    // Head rows; column spans from the rows' cell boundaries (cells wider than the common grid)
    // and merge flags; row spans from the vertical merge flags.
    static void spans(Level& l) {
        std::vector<int> grid;
        for (const RowGeometry& g : l.rows)
            grid.insert(grid.end(), g.centers.begin(), g.centers.end());
        std::sort(grid.begin(), grid.end());
        grid.erase(std::unique(grid.begin(), grid.end()), grid.end());
        Table& t = l.table;
        std::vector<std::vector<bool>> continued(t.rows.size());
        for (size_t r = 0; r < t.rows.size() && r < l.rows.size(); ++r) {
            const RowGeometry& g = l.rows[r];
            if (g.header && int(r) == t.headerRows) ++t.headerRows;
            auto& cells = t.rows[r].cells;
            if (g.centers.size() != cells.size() + 1) continue;
            std::vector<TableCell> kept;
            for (size_t i = 0; i < cells.size(); ++i) {
                int span = 0;
                for (int x : grid)
                    span += x > g.centers[i] && x <= g.centers[i + 1];
                const uint16_t flags = i < g.flags.size() ? g.flags[i] : 0;
                if ((flags & 2) && !kept.empty()) {
                    kept.back().colSpan =
                        std::min(kMaxColumnSpan, kept.back().colSpan + std::max(1, span));
                    // A merged cell's text is not lost.
                    if (!blank(cells[i]))
                        for (Block& b : cells[i].blocks)
                            kept.back().blocks.push_back(std::move(b));
                    continue;
                }
                cells[i].colSpan = std::clamp(span, 1, kMaxColumnSpan);
                // vertMerge 1 continues the cell above; one that holds text stays a cell.
                continued[r].push_back((flags & 0x60) == 0x20 && blank(cells[i]));
                kept.push_back(std::move(cells[i]));
            }
            cells = std::move(kept);
        }
        foldRowSpans(t, continued);
    }

    // Where paragraphs go: the body, or the note, header or footer being read.
    std::vector<Block>& out() { return story_ ? *story_ : doc_.blocks; }
    std::vector<Block>* story_ = nullptr;
    bool breakPending_ = false; // a page break character ended the text before it

    // Opens tables down to `depth` or ends those deeper: a nested table ends where the text of
    // the cell around it goes on.
    void enterDepth(size_t depth) {
        depth = std::min(depth, kMaxDepth);
        while (levels_.size() > depth) {
            Level l = std::move(levels_.back());
            levels_.pop_back();
            if (!l.cell.blocks.empty()) l.row.cells.push_back(std::move(l.cell));
            if (!l.row.cells.empty()) l.table.rows.push_back(std::move(l.row));
            if (l.table.rows.empty()) continue;
            spans(l);
            Block b;
            b.table = std::move(l.table);
            if (levels_.empty())
                out().push_back(std::move(b));
            else
                levels_.back().cell.blocks.push_back(std::move(b));
        }
        while (levels_.size() < depth)
            levels_.emplace_back();
    }

    void flushTable() { enterDepth(0); }

    void endParagraph(bool cellMark, const ParaProps& pp) {
        Paragraph p = std::move(para_);
        para_ = {};
        ParaStyle& ps = p.style;
        ps.align = pp.align;
        ps.leftIndent = pp.left;
        ps.rightIndent = pp.right;
        ps.firstIndent = pp.first;
        ps.spaceBefore = pp.before;
        ps.spaceAfter = pp.after;
        ps.pageBreakBefore = pp.pageBreak || breakPending_;
        breakPending_ = false;
        if (pp.istd >= 0 && size_t(pp.istd) < styles_.size()) {
            const Style& st = styles_[size_t(pp.istd)];
            if (st.sti >= 1 && st.sti <= 9) ps.heading = st.sti;
            else ps.heading = wp::headingFromStyleName(st.name);
        }
        if (!ps.heading && pp.outline < 6) ps.heading = pp.outline + 1;
        ps.heading = std::min(ps.heading, 6);
        if (pp.ilfo > 0 && size_t(pp.ilfo) <= lfos_.size()) {
            const int32_t lsid = lfos_[size_t(pp.ilfo - 1)];
            auto l = lists_.find(lsid);
            const int lvl = std::clamp(pp.ilvl, 0, 8);
            if (l != lists_.end() && !l->second[size_t(lvl)].markerless) {
                ps.listLevel = lvl + 1;
                ps.ordered = l->second[size_t(lvl)].ordered;
                auto& counts = counters_[lsid];
                if (counts[size_t(lvl)] == 0) counts[size_t(lvl)] = l->second[size_t(lvl)].start - 1;
                ps.listNumber = ++counts[size_t(lvl)];
                for (int d = lvl + 1; d < 9; ++d) counts[size_t(d)] = 0;
            }
        }
        const int depth = pp.inTable || pp.itap > 0 ? std::max(1, pp.itap) : 0;
        if (depth == 0) {
            flushTable();
            Block& b = out().emplace_back();
            b.paragraph = std::move(p);
            return;
        }
        enterDepth(size_t(depth));
        Level& l = levels_.back();
        // Cell and row ends: 0x07 marks in the outermost table, flagged paragraph marks deeper.
        const bool nested = levels_.size() > 1;
        if (nested ? pp.innerTtp : pp.ttp) {
            if (!l.cell.blocks.empty()) l.row.cells.push_back(std::move(l.cell));
            l.cell = {};
            l.rows.resize(l.table.rows.size());
            l.rows.push_back({pp.centers, pp.cellFlags, pp.header});
            l.table.rows.push_back(std::move(l.row));
            l.row = {};
            return;
        }
        // The empty paragraph that ends a cell after a nested table is no content.
        const bool afterTable = !l.cell.blocks.empty() && l.cell.blocks.back().table;
        if (!(afterTable && p.runs.empty())) l.cell.blocks.emplace_back().paragraph = std::move(p);
        if (nested ? pp.innerCell : cellMark) {
            l.row.cells.push_back(std::move(l.cell));
            l.cell = {};
        }
    }

    void picture(const CharProps& c) {
        if (c.picLocation < 0 || !dataStream_) return;
        auto known = pictures_.find(c.picLocation);
        if (known != pictures_.end()) {
            para_.runs.emplace_back().attachment = known->second;
            return;
        }
        try {
            const Bytes d{*dataStream_};
            const size_t at = size_t(c.picLocation);
            const uint32_t lcb = d.u32(at);
            const size_t cbHeader = d.u16(at + 4);
            const int16_t mm = d.i16(at + 6);
            const double w = d.i16(at + 0x1C) * (d.u16(at + 0x20) ? d.u16(at + 0x20) : 1000) / 1000.0 / 20;
            const double h = d.i16(at + 0x1E) * (d.u16(at + 0x22) ? d.u16(at + 0x22) : 1000) / 1000.0 / 20;
            size_t p = at + cbHeader;
            if (mm == 0x66) p += 1 + d.u8(p);
            const size_t end = std::min(at + lcb, dataStream_->size());
            std::string bytes = findBlip(d, p, end, 0);
            if (bytes.empty()) return;
            Attachment a;
            a.mimeType = sniffMimeType(bytes);
            a.data = std::move(bytes);
            a.fileName = "picture." + extensionForMime(a.mimeType);
            a.width = w > 0 ? w : 0;
            a.height = h > 0 ? h : 0;
            const int idx = doc_.addAttachment(std::move(a));
            pictures_[c.picLocation] = idx;
            para_.runs.emplace_back().attachment = idx;
        } catch (const std::exception&) {
            // A damaged picture is left out; the text still reads.
        }
    }

    // The first bitmap in a run of drawing records; metafiles are skipped.
    static std::string findBlip(const Bytes& d, size_t p, size_t end, int depth) {
        while (p + 8 <= end && depth < 8) {
            const uint16_t verInst = d.u16(p);
            const uint16_t type = d.u16(p + 2);
            const uint32_t len = d.u32(p + 4);
            const size_t body = p + 8;
            const size_t next = body + len;
            if ((verInst & 0xF) == 0xF) {  // container
                std::string s = findBlip(d, body, std::min(next, end), depth + 1);
                if (!s.empty()) return s;
            } else if (type == 0xF007) {  // file blip store entry with the picture inside
                const size_t cbName = d.u8(body + 33);
                std::string s = findBlip(d, body + 36 + cbName, std::min(next, end), depth + 1);
                if (!s.empty()) return s;
            } else if (type == 0xF01D || type == 0xF01E || type == 0xF01F || type == 0xF029 || type == 0xF02A) {
                const uint16_t inst = verInst >> 4;
                const size_t skip = 16 + ((inst & 1) ? 16 : 0) + 1;
                if (next > end || len < skip) return {};
                std::string data(d.sub(body + skip, len - skip));
                if (type == 0xF01F) {
                    // A device-independent bitmap becomes a BMP file.
                    const Bytes dib{data};
                    const uint32_t hdr = dib.u32(0);
                    const uint16_t bits = dib.u16(14);
                    uint32_t colors = hdr >= 36 ? dib.u32(32) : 0;
                    if (!colors && bits <= 8) colors = 1u << bits;
                    const uint32_t off = 14 + hdr + colors * 4;
                    std::string bmp = "BM";
                    const uint32_t size = uint32_t(14 + data.size());
                    for (uint32_t v : {size, 0u, off})
                        for (int k = 0; k < 4; ++k) bmp += char((v >> (8 * k)) & 0xFF);
                    data = bmp + data;
                }
                return data;
            }
            if (len == 0 && (verInst & 0xF) != 0xF) p = body;
            p = next;
        }
        return {};
    }

    static std::string hyperlinkTarget(const std::string& instr) {
        const size_t k = instr.find("HYPERLINK");
        if (k == std::string::npos) return {};
        const size_t q1 = instr.find('"', k);
        if (q1 == std::string::npos) return {};
        const size_t q2 = instr.find('"', q1 + 1);
        if (q2 == std::string::npos) return {};
        std::string target = instr.substr(q1 + 1, q2 - q1 - 1);
        if (instr.compare(k + 9, 4, " \\l ") == 0) target = "#" + target;
        return target;
    }

    // Notes: reference CPs in the main text, and the CP ranges of their text; endnote or not.
    struct NoteRef {
        uint32_t from = 0, to = 0;
        bool endnote = false;
    };
    std::map<uint32_t, NoteRef> noteRefs_;
    std::vector<NoteRef> cited_;         // per note of doc_.notes
    std::vector<Piece> ordered_;

    void loadNotes() {
        auto lw = [&](size_t i) { return wd_.u32(lwAt_ + i * 4); };
        const uint32_t ftnBase = ccpText_;
        const uint32_t ednBase = ccpText_ + lw(4) + lw(5) + lw(6) + lw(7);
        const std::array<std::tuple<size_t, size_t, uint32_t>, 2> kinds = {{{2, 3, ftnBase}, {46, 47, ednBase}}};
        for (const auto& [refIdx, txtIdx, base] : kinds) {
            const bool endnote = refIdx == 46;
            const auto [fcRef, lcbRef] = pair(refIdx);
            const auto [fcTxt, lcbTxt] = pair(txtIdx);
            if (lcbRef < 6 || lcbTxt < 8) continue;
            tbl_.need(fcRef, lcbRef);
            tbl_.need(fcTxt, lcbTxt);
            const size_t n = (lcbRef - 4) / 6;
            const size_t texts = lcbTxt / 4;
            for (size_t i = 0; i < n && i + 1 < texts; ++i)
                noteRefs_[tbl_.u32(fcRef + i * 4)] = {
                    base + tbl_.u32(fcTxt + i * 4), base + tbl_.u32(fcTxt + (i + 1) * 4), endnote};
        }
    }

    void text() {
        ordered_ = pieces_;
        std::sort(ordered_.begin(), ordered_.end(), [](const Piece& a, const Piece& b) { return a.cpStart < b.cpStart; });
        try {
            loadNotes();
        } catch (const std::exception&) {
            noteRefs_.clear();
        }
        story(0, ccpText_, 0);
        for (size_t i = 0; i < cited_.size(); ++i) {
            story_ = &doc_.notes[i].blocks;
            breakPending_ = false;
            story(cited_[i].from, cited_[i].to, int(i + 1));
            trimNoteStart(doc_.notes[i].blocks);
        }
        story_ = nullptr;
        try {
            furniture();
        } catch (const std::exception&) {
            // A damaged header table leaves the page header and footer out, not the body.
            doc_.header.clear();
            doc_.footer.clear();
        }
        story_ = nullptr;
    }

    // The first section's odd-page (default) header and footer stories, from PlcfHdd: six
    // separator stories, then per section even and odd header, even and odd footer, first-page
    // header and footer.
    void furniture() {
        const auto [fc, lcb] = pair(11);
        if (lcb < 4 * 11) return;
        tbl_.need(fc, lcb);
        auto lw = [&](size_t i) { return wd_.u32(lwAt_ + i * 4); };
        const uint32_t base = ccpText_ + lw(4); // after the footnotes
        const uint32_t end = base + lw(5);
        const size_t n = lcb / 4;
        // Odd (default), else first-page, else even: a stand-in keeps the text of a document
        // that has only those.
        for (const auto& [indices, into] :
             {std::pair<std::array<size_t, 3>, std::vector<Block>*>{{7, 10, 6}, &doc_.header},
              std::pair<std::array<size_t, 3>, std::vector<Block>*>{{9, 11, 8}, &doc_.footer}}) {
            uint32_t from = 0, to = 0;
            for (size_t index : indices) {
                if (index + 1 >= n) continue;
                from = base + tbl_.u32(fc + index * 4);
                to = base + tbl_.u32(fc + (index + 1) * 4);
                if (from < to && to <= end) break;
            }
            if (from >= to || to > end) continue;
            story_ = into;
            breakPending_ = false;
            story(from, to, 0);
            story_ = nullptr;
            // Word ends a story with an empty paragraph of its own.
            if (into->size() > 1 && !into->back().table && into->back().paragraph.empty())
                into->pop_back();
        }
    }

    // The characters of CPs [from, to): the main text, or the text of note number `note`.
    void story(uint32_t from, uint32_t to, int note) {
        std::string buf;
        CharStyle bufStyle;
        auto flush = [&] {
            if (!buf.empty()) appendText(para_, buf, bufStyle);
            buf.clear();
        };
        auto emit = [&](const std::string& s, const CharStyle& cs) {
            if (!fields_.empty() && !fields_.back().result) {
                fields_.back().instr += s;
                return;
            }
            if (!(cs == bufStyle)) {
                flush();
                bufStyle = cs;
            }
            buf += s;
        };
        const std::vector<Piece>& ordered = ordered_;
        const FcRange* lastChpx = nullptr;
        CharProps cp;
        CharStyle cs;
        ParaProps paraCache;
        uint32_t paraCacheEnd = 0;
        const Piece* paraCachePiece = nullptr;
        unsigned paraVersion = 0, lastParaVersion = 0;
        for (const Piece& piece : ordered) {
            if (piece.cpStart >= to) break;
            if (piece.cpEnd <= from) continue;
            const uint32_t count = std::min(piece.cpEnd, to) - piece.cpStart;
            const uint32_t first = from > piece.cpStart ? from - piece.cpStart : 0;
            const size_t bytes = piece.compressed ? count : size_t(count) * 2;
            wd_.need(piece.fc, bytes);
            lastChpx = nullptr;
            for (uint32_t k = first; k < count; ++k) {
                const uint32_t fc = piece.fc + (piece.compressed ? k : k * 2);
                uint32_t ch = piece.compressed ? cp1252(wd_.u8(fc)) : wd_.u16(fc);
                if (ch >= 0xD800 && ch < 0xDC00 && k + 1 < count && !piece.compressed) {
                    const uint32_t lo = wd_.u16(fc + 2);
                    if (lo >= 0xDC00 && lo < 0xE000) {
                        ch = 0x10000 + ((ch - 0xD800) << 10) + (lo - 0xDC00);
                        ++k;
                    }
                }
                // Paragraph properties come from the paragraph mark, found ahead of the text.
                if (paraCachePiece != &piece || fc >= paraCacheEnd) {
                    uint32_t markFc = fc;
                    const Piece* markPiece = &piece;
                    const bool marked = findMark(ordered, piece, k, to, markFc, markPiece);
                    paraCache = paraAt(markFc, *markPiece);
                    ++paraVersion;
                    // A mark in a later piece, or none at all, holds for the rest of this one.
                    paraCacheEnd = marked && markPiece == &piece ? markFc + (markPiece->compressed ? 1 : 2) : UINT32_MAX;
                    paraCachePiece = &piece;
                }
                // Character properties build on the paragraph's style: recompute when either changes.
                const FcRange* r = lookup(chpx_, fc);
                if (r != lastChpx || k == first || paraVersion != lastParaVersion) {
                    cp = charAt(fc, piece, paraCache);
                    lastChpx = r;
                    lastParaVersion = paraVersion;
                }
                cs = toStyle(cp);
                if (cp.special) {
                    if (ch == 0x01) {
                        flush();
                        if (fields_.empty() || fields_.back().result) picture(cp);
                        continue;
                    }
                    if (ch == 0x08) {
                        flush();
                        if (fields_.empty() || fields_.back().result) floatingPicture(piece.cpStart + k);
                        continue;
                    }
                    if (ch == 0x02) {
                        // A note reference; in the note itself, its mark, which the writers put
                        // back.
                        if (note) continue;
                        if (auto it = noteRefs_.find(piece.cpStart + k); it != noteRefs_.end()) {
                            flush();
                            cited_.push_back(it->second);
                            doc_.notes.emplace_back().kind =
                                it->second.endnote ? Note::Kind::Endnote : Note::Kind::Footnote;
                            Run& r = para_.runs.emplace_back();
                            r.note = int(doc_.notes.size()) - 1;
                            CharStyle mark = cs;
                            mark.baseline = 1;
                            r.style = mark;
                        }
                        continue;
                    }
                    if (ch != 0x13 && ch != 0x14 && ch != 0x15) continue;  // annotations and the like
                }
                switch (ch) {
                case 0x0D:
                case 0x07:
                    flush();
                    endParagraph(ch == 0x07, paraCache);
                    continue;
                case 0x0C:
                    // A page break: the text after it starts a new paragraph on a new page.
                    flush();
                    if (!para_.runs.empty()) endParagraph(false, paraCache);
                    breakPending_ = true;
                    continue;
                case 0x13: fields_.emplace_back(); continue;
                case 0x14:
                    if (!fields_.empty()) {
                        fields_.back().result = true;
                        fields_.back().link = hyperlinkTarget(fields_.back().instr);
                    }
                    continue;
                case 0x15:
                    flush();
                    if (!fields_.empty()) fields_.pop_back();
                    continue;
                case 0x0B: emit("\xE2\x80\xA8", cs); continue;
                case 0x09: emit("\t", cs); continue;
                case 0x1E: emit("\xE2\x80\x91", cs); continue;
                case 0xA0: emit("\xC2\xA0", cs); continue;
                default: break;
                }
                if (ch < 0x20 || ch == 0x1F) continue;
                std::string s;
                appendUtf8(s, ch);
                emit(s, cs);
            }
        }
        flush();
        if (!para_.runs.empty()) endParagraph(false, ParaProps{});
        flushTable();
    }

    // The FC of the paragraph mark ending the paragraph that holds character k of `piece`.
    bool findMark(const std::vector<Piece>& ordered, const Piece& piece, uint32_t k, uint32_t to, uint32_t& fc,
                  const Piece*& at) const {
        bool started = false;
        for (const Piece& p : ordered) {
            if (&p == &piece) started = true;
            if (!started) continue;
            if (p.cpStart >= to) break;
            const uint32_t count = std::min(p.cpEnd, to) - p.cpStart;
            for (uint32_t i = (&p == &piece ? k : 0); i < count; ++i) {
                const uint32_t f = p.fc + (p.compressed ? i : i * 2);
                const uint32_t ch = p.compressed ? wd_.u8(f) : wd_.u16(f);
                if (ch == 0x0D || ch == 0x07 || ch == 0x0C) {
                    fc = f;
                    at = &p;
                    return true;
                }
            }
        }
        return false;
    }
};

// Operand size of a Word 6 character modifier (one-byte opcodes); -1 when unknown.
int word6OperandSize(uint8_t op) {
    switch (op) {
    case 65: case 66: case 67: case 71: case 75: case 85: case 86: case 87: case 88: case 89: case 90: case 91:
    case 92: case 94: case 98: case 100: case 102: case 104: case 117: case 118:
        return 1;
    case 69: case 72: case 80: case 93: case 96: case 97: case 99: case 101: case 107: case 109: case 110:
        return 2;
    case 73: case 95: return 3;
    case 70: return 4;
    case 82: case 83: return 0;
    default: return -1;
    }
}

CharStyle word6Style(std::string_view g) {
    CharStyle cs;
    const Bytes b{g};
    size_t i = 0;
    while (i < g.size()) {
        const uint8_t op = b.u8(i);
        const int n = word6OperandSize(op);
        if (n < 0 || i + 1 + size_t(n) > g.size()) break;  // an unknown modifier ends what can be read
        const size_t at = i + 1;
        const uint8_t v = n > 0 ? b.u8(at) : 0;
        switch (op) {
        case 85: cs.bold = v == 1 || v == 0x81; break;
        case 86: cs.italic = v == 1 || v == 0x81; break;
        case 87: cs.strike = v == 1 || v == 0x81; break;
        case 94: cs.underline = v != 0; break;
        case 98:
            if (v > 0 && v < 17) cs.color = kIco[v];
            else cs.color.reset();
            break;
        case 99: cs.size = b.u16(at) / 2.0; break;
        case 104: cs.baseline = v == 1 ? 1 : v == 2 ? -1 : 0; break;
        default: break;
        }
        i = at + size_t(n);
    }
    return cs;
}

// Word 6 and Word 95 files: text of non-fast-saved documents with its direct character formatting.
void readWord6(const Bytes& wd, Document& doc) {
    if (wd.u16(0x0A) & 0x0004) throw std::runtime_error("fast-saved Word 6/95 documents are not supported");
    const uint32_t fcMin = wd.u32(0x18);
    const uint32_t ccpText = wd.u32(0x34);
    const int cp = ole::codePageForLanguage(wd.u16(6));
    const std::string_view raw = wd.sub(fcMin, ccpText);
    auto decode = [&](std::string_view bytes) {
        try {
            return cp == 1252 ? decodeCp1252(bytes) : convertEncoding(bytes, codePageName(cp), "UTF-8");
        } catch (const std::exception&) {
            return decodeCp1252(bytes);
        }
    };
    // Character pages: everything is in the one stream, page numbers are 16-bit, and pages
    // the bin table leaves out follow its last one.
    std::vector<FcRange> chpx;
    try {
        const uint32_t fcBte = wd.u32(0xB8), lcbBte = wd.u32(0xBC);
        const size_t cpnBte = wd.u16(0x18E);
        std::vector<size_t> pns;
        if (lcbBte >= 10) {
            const size_t n = (lcbBte - 4) / 6;
            for (size_t k = 0; k < n; ++k) pns.push_back(wd.u16(fcBte + (n + 1) * 4 + k * 2));
            for (size_t k = n; k < cpnBte && k < 4096; ++k) pns.push_back(pns.back() + 1);
        }
        for (size_t pn : pns) {
            const size_t page = pn * 512;
            wd.need(page, 512);
            const size_t count = wd.u8(page + 511);
            for (size_t r = 0; r < count; ++r) {
                FcRange range{wd.u32(page + r * 4), wd.u32(page + (r + 1) * 4), {}};
                const size_t off = size_t(wd.u8(page + (count + 1) * 4 + r)) * 2;
                if (off != 0 && off < 511) {
                    const size_t cb = wd.u8(page + off);
                    if (off + 1 + cb <= 511) range.grpprl = wd.sub(page + off + 1, cb);
                }
                chpx.push_back(range);
            }
        }
    } catch (const std::exception&) {
        chpx.clear();  // damaged formatting: the text alone
    }
    std::stable_sort(chpx.begin(), chpx.end(), [](const FcRange& x, const FcRange& y) { return x.start < y.start; });
    auto styleAt = [&](uint32_t fc) {
        auto it = std::upper_bound(chpx.begin(), chpx.end(), fc, [](uint32_t f, const FcRange& r) { return f < r.start; });
        if (it == chpx.begin()) return CharStyle{};
        --it;
        return fc < it->end ? word6Style(it->grpprl) : CharStyle{};
    };
    Paragraph* p = &doc.addParagraph();
    std::string buf;
    CharStyle bufStyle;
    auto flush = [&] {
        if (!buf.empty()) appendText(*p, decode(buf), bufStyle);
        buf.clear();
    };
    for (size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '\r' || c == '\x07' || c == '\x0C') {
            flush();
            p = &doc.addParagraph();
            continue;
        }
        if (c != '\x0B' && c != '\t' && static_cast<unsigned char>(c) < 0x20) continue;
        const CharStyle style = styleAt(uint32_t(fcMin + i));
        if (!(style == bufStyle)) {
            flush();
            bufStyle = style;
        }
        if (c == '\x0B') {
            flush();
            appendText(*p, "\xE2\x80\xA8", bufStyle);
        } else {
            buf += c;
        }
    }
    flush();
    if (p->empty() && doc.blocks.size() > 1) doc.blocks.pop_back();
}

} // namespace

bool detectDoc(const Input& in) {
    if (in.isFolder || !ole::isCompoundFile(in.bytes)) return false;
    try {
        return ole::Storage(in.bytes).has("WordDocument");
    } catch (const std::exception&) {
        // A damaged compound file is still reported as one, so that reading it says why.
        return true;
    }
}

Document readDoc(const Input& in, const ReadOptions&) {
    const std::string where = in.path.empty() ? std::string("stdin") : in.path.string();
    ole::Storage st(in.bytes);
    const auto wdData = st.stream("WordDocument");
    if (!wdData) throw std::runtime_error("the compound file holds no Word document");
    const Bytes wd{*wdData};
    if (wd.u16(0) != 0xA5EC && wd.u16(0) != 0xA5DC) throw std::runtime_error("the Word document header is damaged");
    const uint16_t flags = wd.u16(0x0A);
    if (flags & 0x0100) throw vorpel::ToolError(where, "the document is encrypted (password-protected) and cannot be read");
    Document doc;
    st.readMetadata(doc.meta);
    const uint16_t nFib = wd.u16(2);
    if (nFib < 0x00C1) {
        readWord6(wd, doc);
        return doc;
    }
    const auto table = st.stream((flags & 0x0200) ? "1Table" : "0Table");
    if (!table) throw std::runtime_error("the document has no table stream");
    Reader(*wdData, *table, st.stream("Data"), doc).run();
    return doc;
}

} // namespace textutil

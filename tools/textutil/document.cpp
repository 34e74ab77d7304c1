#include "document.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <ostream>
#include <set>
#include <stdexcept>
#include <unordered_map>

namespace textutil {

struct SharedText::Entry {
    explicit Entry(std::string_view s) : text(s) {}
    std::string text;
    size_t refs = 0;
    std::string_view key() const { return text; }
};

struct RunStyle::Entry {
    explicit Entry(const CharStyle& s) : style(s) {}
    CharStyle style;
    size_t refs = 0;
    const CharStyle& key() const { return style; }
};

namespace {

struct StyleHash {
    size_t operator()(const CharStyle& s) const {
        const auto color = [](const std::optional<Color>& c) {
            return c ? 0x1000000u | uint32_t(c->r) << 16 | uint32_t(c->g) << 8 | c->b : 0u;
        };
        const float size = float(double(s.size));
        uint32_t sizeBits;
        std::memcpy(&sizeBits, &size, sizeof sizeBits);
        uint64_t h = uint64_t(s.font.number()) * 0x9E3779B97F4A7C15ull;
        for (const uint64_t v : {uint64_t(s.link.number()), uint64_t(sizeBits),
                                 uint64_t(s.bold | s.italic << 1 | s.underline << 2 | s.strike << 3) |
                                     uint64_t(uint8_t(s.baseline)) << 8,
                                 uint64_t(color(s.color)) << 32 | color(s.background)})
            h = (h ^ v) * 0x9E3779B97F4A7C15ull;
        return size_t(h ^ h >> 29);
    }
};

// The entries by value and by number. Counted under one lock: runs are copied far less often
// than read, and an entry nobody holds is dropped (its number reused), so a long-lived process
// does not keep every link or style it saw. Reading goes by number without the lock: slots
// live in chunks that never move, and a slot is filled before its number is handed out.
template <class Entry, class Key, class Hash = std::hash<Key>>
struct InternTable {
    static constexpr uint32_t kChunkBits = 12;
    static constexpr uint32_t kChunkSize = 1u << kChunkBits;
    static constexpr uint32_t kChunks = 1u << 12;
    std::mutex lock;
    std::unordered_map<Key, uint32_t, Hash> ids;
    std::atomic<std::atomic<Entry*>*> chunks[kChunks] = {};
    std::vector<uint32_t> freeIds;
    uint32_t nextId = 1;

    Entry* at(uint32_t id) const {
        return chunks[id >> kChunkBits].load(std::memory_order_acquire)[id & (kChunkSize - 1)].load(
            std::memory_order_acquire);
    }
    // The number of the entry for `key`, made when there is none, held once more.
    uint32_t acquire(const Key& key) {
        std::lock_guard<std::mutex> hold(lock);
        auto it = ids.find(key);
        if (it == ids.end()) {
            auto e = std::make_unique<Entry>(key);
            const uint32_t id = add(e.get());
            it = ids.emplace(e.release()->key(), id).first;
        }
        ++at(it->second)->refs;
        return it->second;
    }
    void retain(uint32_t id) {
        std::lock_guard<std::mutex> hold(lock);
        ++at(id)->refs;
    }
    void release(uint32_t id) {
        std::lock_guard<std::mutex> hold(lock);
        Entry* e = at(id);
        if (--e->refs > 0) return;
        ids.erase(e->key());
        chunks[id >> kChunkBits].load(std::memory_order_relaxed)[id & (kChunkSize - 1)].store(
            nullptr, std::memory_order_relaxed);
        freeIds.push_back(id);
        delete e;
    }

private:
    // Under the lock.
    uint32_t add(Entry* e) {
        uint32_t id;
        if (!freeIds.empty()) {
            id = freeIds.back();
            freeIds.pop_back();
        } else {
            if (nextId >= kChunks * kChunkSize) throw std::length_error("too many shared strings or styles");
            id = nextId++;
        }
        auto& chunk = chunks[id >> kChunkBits];
        if (!chunk.load(std::memory_order_relaxed))
            chunk.store(new std::atomic<Entry*>[kChunkSize](), std::memory_order_release);
        chunk.load(std::memory_order_relaxed)[id & (kChunkSize - 1)].store(e, std::memory_order_release);
        return id;
    }
};

using SharedTable = InternTable<SharedText::Entry, std::string_view>;
using StyleTable = InternTable<RunStyle::Entry, CharStyle, StyleHash>;

// Never destroyed: runs may outlive static teardown.
SharedTable& sharedTable() {
    static SharedTable* t = new SharedTable;
    return *t;
}
StyleTable& styleTable() {
    static StyleTable* t = new StyleTable;
    return *t;
}

const std::string& emptyText() {
    static const std::string* e = new std::string;
    return *e;
}

} // namespace

SharedText::SharedText(std::string_view s) {
    if (!s.empty()) id_ = sharedTable().acquire(s);
}

SharedText::SharedText(const SharedText& o) : id_(o.id_) {
    if (id_) sharedTable().retain(id_);
}

SharedText& SharedText::operator=(const SharedText& o) {
    if (id_ != o.id_) {
        SharedText copy(o);
        std::swap(id_, copy.id_);
    }
    return *this;
}

SharedText& SharedText::operator=(SharedText&& o) noexcept {
    std::swap(id_, o.id_);
    return *this;
}

SharedText::~SharedText() {
    if (id_) sharedTable().release(id_);
}

const std::string& SharedText::str() const {
    return id_ ? sharedTable().at(id_)->text : emptyText();
}

RunStyle::RunStyle(const CharStyle& s) {
    if (!(s == CharStyle())) id_ = styleTable().acquire(s);
}

RunStyle::RunStyle(const RunStyle& o) : id_(o.id_) {
    if (id_) styleTable().retain(id_);
}

RunStyle& RunStyle::operator=(const RunStyle& o) {
    if (id_ != o.id_) {
        RunStyle copy(o);
        std::swap(id_, copy.id_);
    }
    return *this;
}

RunStyle& RunStyle::operator=(RunStyle&& o) noexcept {
    std::swap(id_, o.id_);
    return *this;
}

RunStyle::~RunStyle() {
    if (id_) styleTable().release(id_);
}

const CharStyle& RunStyle::get() const {
    static const CharStyle* plain = new CharStyle;
    return id_ ? styleTable().at(id_)->style : *plain;
}

std::string operator+(const std::string& a, const SharedText& b) {
    return a + b.str();
}
std::string operator+(const SharedText& a, const std::string& b) {
    return a.str() + b;
}
std::string operator+(const char* a, const SharedText& b) {
    return a + b.str();
}
std::string operator+(const SharedText& a, const char* b) {
    return a.str() + b;
}
std::string operator+(std::string&& a, const SharedText& b) {
    return std::move(a) + b.str();
}
std::ostream& operator<<(std::ostream& os, const SharedText& s) {
    return os << s.str();
}

namespace {

int statedSpan(const std::string& stated, int most) {
    const long v = std::strtol(stated.c_str(), nullptr, 10);
    return int(std::clamp(v, 1L, long(most)));
}

} // namespace

int columnSpan(const std::string& stated) { return statedSpan(stated, kMaxColumnSpan); }

int rowSpan(const std::string& stated) { return statedSpan(stated, kMaxRowSpan); }

RunText& RunText::operator=(RunText&& o) noexcept {
    if (this != &o) {
        release();
        std::memcpy(b_, o.b_, sizeof b_);
        o.setInline(0);
    }
    return *this;
}

void RunText::release() noexcept {
    if (!isInline()) std::free(heapPtr());
    setInline(0);
}

void RunText::setHeap(char* p, size_t size, size_t cap) {
    const uint32_t n = uint32_t(size), c = uint32_t(cap);
    std::memcpy(b_, &p, sizeof p);
    std::memcpy(b_ + 8, &n, sizeof n);
    std::memcpy(b_ + 12, &c, sizeof c);
}

void RunText::reserve(size_t n) {
    const size_t cap = isInline() ? 15 : heapCap();
    if (n <= cap) return;
    if (n >= (size_t(1) << 31)) throw std::length_error("run text over 2 GiB");
    const size_t grown = std::min(std::max(n, cap * 2), (size_t(1) << 31) - 1);
    char* p = static_cast<char*>(std::malloc(grown));
    if (!p) throw std::bad_alloc();
    const size_t size = this->size();
    std::memcpy(p, data(), size);
    release();
    setHeap(p, size, grown);
}

void RunText::resize(size_t n) {
    if (isInline()) setInline(n);
    else setHeap(heapPtr(), n, heapCap());
}

RunText& RunText::assign(std::string_view s) {
    if (s.size() <= 15 || (!isInline() && s.size() <= heapCap())) {
        // s may lie inside this text: move, then set the size.
        std::memmove(mutableData(), s.data(), s.size());
        resize(s.size());
        return *this;
    }
    RunText fresh;
    fresh.reserve(s.size());
    std::memcpy(fresh.mutableData(), s.data(), s.size());
    fresh.resize(s.size());
    return *this = std::move(fresh);
}

RunText& RunText::append(std::string_view s) {
    if (s.empty()) return *this;
    const size_t size = this->size();
    const char* old = data();
    if (s.data() >= old && s.data() < old + size) return append(std::string(s));  // s lies inside
    reserve(size + s.size());
    std::memcpy(mutableData() + size, s.data(), s.size());
    resize(size + s.size());
    return *this;
}

void RunText::erase(size_t at, size_t n) {
    const size_t size = this->size();
    if (at > size) throw std::out_of_range("RunText::erase");
    n = std::min(n, size - at);
    char* d = mutableData();
    std::memmove(d + at, d + at + n, size - at - n);
    resize(size - n);
}

void RunText::shrink_to_fit() {
    if (isInline()) return;
    const size_t size = heapSize();
    if (size == heapCap()) return;
    if (size <= 15) {
        char* p = heapPtr();
        std::memcpy(b_, p, size);
        setInline(size);
        std::free(p);
        return;
    }
    if (char* p = static_cast<char*>(std::realloc(heapPtr(), size))) setHeap(p, size, size);
}

std::string operator+(const std::string& a, const RunText& b) { return a + b.str(); }
std::string operator+(const RunText& a, const std::string& b) { return a.str() + b; }
std::string operator+(const char* a, const RunText& b) { return a + b.str(); }
std::string operator+(const RunText& a, const char* b) { return a.str() + b; }
std::ostream& operator<<(std::ostream& os, const RunText& s) { return os << s.view(); }

namespace {

Paragraph& appendParagraph(std::vector<Block>& blocks, const ParaStyle& style) {
    Block& b = blocks.emplace_back();
    b.paragraph.style = style;
    return b.paragraph;
}

} // namespace

std::string Paragraph::plainText() const {
    std::string s;
    for (const Run& r : runs) s += r.text;
    return s;
}

void Paragraph::compact() {
    for (Run& r : runs) r.text.shrink_to_fit();
    runs.shrink_to_fit();
}

Paragraph& Document::addParagraph(const ParaStyle& style) { return appendParagraph(blocks, style); }

Paragraph& TableCell::addParagraph(const ParaStyle& style) { return appendParagraph(blocks, style); }

int Document::addAttachment(Attachment a) {
    std::set<std::string> taken;
    for (const Attachment& x : attachments) taken.insert(x.fileName);
    // The name becomes a file in a bundle: keep it a plain name.
    for (char& c : a.fileName)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
    if (a.fileName.empty() || a.fileName[0] == '.') a.fileName = "Attachment" + a.fileName;
    if (taken.count(a.fileName)) {
        const size_t dot = a.fileName.rfind('.');
        const std::string stem = dot == std::string::npos || dot == 0 ? a.fileName : a.fileName.substr(0, dot);
        const std::string ext = dot == std::string::npos || dot == 0 ? "" : a.fileName.substr(dot);
        for (int n = 2;; ++n) {
            std::string candidate = stem + "-" + std::to_string(n) + ext;
            if (!taken.count(candidate)) {
                a.fileName = candidate;
                break;
            }
        }
    }
    attachments.push_back(std::move(a));
    return static_cast<int>(attachments.size() - 1);
}

namespace {

void plainTextOf(const std::vector<Block>& blocks, std::string& s, bool& first) {
    for (const Block& b : blocks) {
        if (!b.table) {
            if (!first) s += '\n';
            first = false;
            s += b.paragraph.plainText();
            continue;
        }
        for (const TableRow& row : b.table->rows) {
            if (!first) s += '\n';
            first = false;
            for (size_t c = 0; c < row.cells.size(); ++c) {
                if (c) s += '\t';
                const std::vector<const Paragraph*> paras = flatParagraphs(row.cells[c].blocks);
                for (size_t k = 0; k < paras.size(); ++k) {
                    if (k) s += ' ';
                    s += paras[k]->plainText();
                }
            }
        }
    }
}

void flatten(const std::vector<Block>& blocks, std::vector<const Paragraph*>& out) {
    for (const Block& b : blocks) {
        if (!b.table) {
            out.push_back(&b.paragraph);
            continue;
        }
        for (const TableRow& row : b.table->rows)
            for (const TableCell& c : row.cells) flatten(c.blocks, out);
    }
}

} // namespace

std::string Document::plainText() const {
    std::string s;
    bool first = true;
    plainTextOf(blocks, s, first);
    for (const Note& n : notes)
        plainTextOf(n.blocks, s, first);
    return s;
}

void Document::forEachParagraph(const std::function<void(Paragraph&)>& f) {
    textutil::forEachParagraph(blocks, f);
    for (Note& n : notes) textutil::forEachParagraph(n.blocks, f);
    textutil::forEachParagraph(header, f);
    textutil::forEachParagraph(footer, f);
}

std::vector<const Paragraph*> flatParagraphs(const std::vector<Block>& blocks) {
    std::vector<const Paragraph*> out;
    flatten(blocks, out);
    return out;
}

void forEachParagraph(std::vector<Block>& blocks, const std::function<void(Paragraph&)>& f) {
    for (Block& b : blocks) {
        if (!b.table) {
            f(b.paragraph);
            continue;
        }
        for (TableRow& row : b.table->rows)
            for (TableCell& c : row.cells) forEachParagraph(c.blocks, f);
    }
}

std::vector<std::vector<CellSlot>> tableSlots(const Table& t) {
    std::vector<std::vector<CellSlot>> out(t.rows.size());
    // Per grid column, the cell reaching down into later rows and the rows it still covers.
    struct Reach {
        const TableCell* cell = nullptr;
        int left = 0;
    };
    std::vector<Reach> reach;
    for (size_t r = 0; r < t.rows.size(); ++r) {
        size_t col = 0, next = 0;
        const std::vector<TableCell>& cells = t.rows[r].cells;
        auto covered = [&](size_t c) { return c < reach.size() && reach[c].left > 0; };
        size_t lastCovered = 0;  // one past the rightmost covered column
        for (size_t c = 0; c < reach.size(); ++c)
            if (reach[c].left > 0) lastCovered = c + 1;
        while (next < cells.size() || col < lastCovered) {
            if (!covered(col) && next == cells.size()) {  // a gap left of a covered column
                ++col;
                continue;
            }
            const size_t span = covered(col) ? size_t(std::max(1, reach[col].cell->colSpan))
                                             : size_t(std::max(1, cells[next].colSpan));
            if (reach.size() < col + span) reach.resize(col + span);
            if (covered(col)) {
                out[r].push_back({reach[col].cell, int(col), true});
                for (size_t k = col; k < col + span; ++k) --reach[k].left;
            } else {
                const TableCell& c = cells[next++];
                out[r].push_back({&c, int(col), false});
                for (size_t k = col; k < col + span; ++k) reach[k] = {&c, std::max(1, c.rowSpan) - 1};
            }
            col += span;
        }
    }
    return out;
}

size_t tableColumns(const Table& t) {
    size_t n = 0;
    for (const std::vector<CellSlot>& row : tableSlots(t))
        if (!row.empty()) n = std::max(n, size_t(row.back().column + std::max(1, row.back().cell->colSpan)));
    return n;
}

void foldRowSpans(Table& t, const std::vector<std::vector<bool>>& continued) {
    // Per grid column, the cell whose vertical run covers it so far.
    struct Origin {
        size_t row = SIZE_MAX, cell = 0, column = 0;
    };
    std::vector<Origin> origin;
    std::vector<std::vector<bool>> drop(t.rows.size());
    for (size_t r = 0; r < t.rows.size(); ++r) {
        std::vector<TableCell>& cells = t.rows[r].cells;
        drop[r].assign(cells.size(), false);
        size_t col = 0;
        for (size_t c = 0; c < cells.size(); ++c) {
            const size_t span = size_t(std::max(1, cells[c].colSpan));
            if (origin.size() < col + span) origin.resize(col + span);
            const bool cont = r < continued.size() && c < continued[r].size() && continued[r][c];
            const Origin o = origin[col];
            // Only a cell starting in the same column whose run reaches this very row goes on.
            if (cont && o.row < r && o.column == col) {
                TableCell& above = t.rows[o.row].cells[o.cell];
                if (o.row + size_t(std::max(1, above.rowSpan)) == r) {
                    ++above.rowSpan;
                    drop[r][c] = true;
                    col += span;
                    continue;
                }
            }
            for (size_t k = col; k < col + span; ++k) origin[k] = {r, c, col};
            col += span;
        }
    }
    for (size_t r = 0; r < t.rows.size(); ++r) {
        std::vector<TableCell> kept;
        for (size_t c = 0; c < t.rows[r].cells.size(); ++c)
            if (!drop[r][c]) kept.push_back(std::move(t.rows[r].cells[c]));
        t.rows[r].cells = std::move(kept);
    }
}

void appendText(Paragraph& p, std::string_view text, const CharStyle& style) {
    if (text.empty()) return;
    if (!p.runs.empty() && p.runs.back().attachment < 0 && p.runs.back().note < 0 &&
        p.runs.back().style == style) {
        p.runs.back().text += text;
        return;
    }
    Run& r = p.runs.emplace_back();
    r.text = text;
    r.style = style;
}

void appendNoteText(std::vector<Block>& out, std::vector<Block> note, int number) {
    CharStyle mark;
    mark.baseline = 1;
    bool first = true;
    for (Block& b : note) {
        if (b.table) {
            // A table's words stay; the number then leads a line of its own.
            if (first) appendText(appendParagraph(out, {}), std::to_string(number), mark);
            first = false;
            out.push_back(std::move(b));
            continue;
        }
        if (first) {
            Paragraph numbered;
            numbered.style = b.paragraph.style;
            appendText(numbered, std::to_string(number), mark);
            const bool spaced = !b.paragraph.runs.empty() && !b.paragraph.runs[0].text.empty() &&
                                b.paragraph.runs[0].text[0] == ' ';
            if (!spaced) appendText(numbered, " ", {});
            for (Run& r : b.paragraph.runs) numbered.runs.push_back(std::move(r));
            b.paragraph = std::move(numbered);
            first = false;
        }
        out.push_back(std::move(b));
    }
}

void trimNoteStart(std::vector<Block>& note) {
    if (note.empty() || note[0].table) return;
    std::vector<Run>& runs = note[0].paragraph.runs;
    while (!runs.empty() && runs[0].attachment < 0 && runs[0].note < 0) {
        RunText& t = runs[0].text;
        const size_t k = t.find_first_not_of(" \t");
        if (k != std::string::npos) {
            t.erase(0, k);
            break;
        }
        runs.erase(runs.begin());
    }
}

std::string noteMark(const Run& reference) {
    return reference.text.empty() ? std::to_string(reference.note + 1) : reference.text.str();
}

Document notesAsText(const Document& doc) {
    Document out = doc;
    out.notes.clear();
    auto mark = [&](Paragraph& p) {
        for (Run& r : p.runs) {
            if (r.note < 0) continue;
            r.text = noteMark(r);
            r.style.edit([](CharStyle& s) { s.baseline = 1; });
            r.note = -1;
        }
    };
    textutil::forEachParagraph(out.blocks, mark);
    for (size_t i = 0; i < doc.notes.size(); ++i) {
        std::vector<Block> note = doc.notes[i].blocks;
        textutil::forEachParagraph(note, mark);
        appendNoteText(out.blocks, std::move(note), int(i + 1));
    }
    return out;
}

} // namespace textutil

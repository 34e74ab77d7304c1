#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The document model every reader produces and every writer consumes: blocks (paragraphs
// of styled runs, and tables whose cells hold blocks again), notes, page header and
// footer, attachments and metadata. Lengths are in points, text is UTF-8.
namespace textutil {

struct Color {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Color&) const = default;
};

// A string that many runs repeat (a font, a link target), kept once per process and shared:
// a large document has a run every few words, and each would otherwise carry its own copies.
// Reads as a const std::string. Held as a 32-bit number of its entry (0 = empty), so a
// style's font and link take 8 bytes together.
class SharedText {
public:
    SharedText() = default;
    SharedText(std::string_view s);
    SharedText(const std::string& s) : SharedText(std::string_view(s)) {}
    SharedText(const char* s) : SharedText(std::string_view(s)) {}
    SharedText(const SharedText& o);
    SharedText(SharedText&& o) noexcept : id_(o.id_) { o.id_ = 0; }
    SharedText& operator=(const SharedText& o);
    SharedText& operator=(SharedText&& o) noexcept;
    ~SharedText();

    const std::string& str() const;
    operator const std::string&() const { return str(); }
    operator std::string_view() const { return str(); }
    bool empty() const { return id_ == 0; }
    void clear() { *this = SharedText(); }
    size_t size() const { return str().size(); }
    const char* c_str() const { return str().c_str(); }
    size_t find(std::string_view s, size_t at = 0) const { return str().find(s, at); }
    size_t find(char c, size_t at = 0) const { return str().find(c, at); }
    size_t find_first_of(std::string_view s, size_t at = 0) const {
        return str().find_first_of(s, at);
    }
    size_t rfind(std::string_view s, size_t at = std::string::npos) const {
        return str().rfind(s, at);
    }
    std::string substr(size_t at, size_t n = std::string::npos) const {
        return str().substr(at, n);
    }
    char operator[](size_t i) const { return str()[i]; }

    // Equal text is the same entry.
    bool operator==(const SharedText& o) const { return id_ == o.id_; }
    bool operator==(const std::string& s) const { return str() == s; }
    bool operator==(std::string_view s) const { return str() == s; }
    bool operator==(const char* s) const { return str() == s; }
    bool operator<(const SharedText& o) const { return str() < o.str(); }
    // Equal text, equal number (for hashing what holds shared text).
    uint32_t number() const { return id_; }

    struct Entry;

private:
    uint32_t id_ = 0;
};

std::string operator+(const std::string& a, const SharedText& b);
std::string operator+(const SharedText& a, const std::string& b);
std::string operator+(const char* a, const SharedText& b);
std::string operator+(const SharedText& a, const char* b);
std::string operator+(std::string&& a, const SharedText& b);
std::ostream& operator<<(std::ostream& os, const SharedText& s);

// A font size in points, held in 4 bytes: within [0, kMaxFontSize], where a float is exact to
// far below any writer's precision. A larger size (or NaN) in a document is damage.
class FontSize {
public:
    static constexpr double kMax = 16383.5; // RTF states half points in 16 bits
    FontSize() = default;
    FontSize(double points)
        : points_(points > 0 ? static_cast<float>(points < kMax ? points : kMax) : 0.0f) {}
    operator double() const { return points_; }

private:
    float points_ = 0;
};

// Packed into 24 bytes, as every run holds one.
struct CharStyle {
    SharedText font;           // family name; empty = writer's default
    SharedText link;           // target URL of a hyperlink
    FontSize size;             // points; 0 = default
    bool bold : 1 = false;
    bool italic : 1 = false;
    bool underline : 1 = false;
    bool strike : 1 = false;
    int8_t baseline = 0;             // 1 superscript, -1 subscript
    std::optional<Color> color;      // foreground
    std::optional<Color> background;
    bool operator==(const CharStyle&) const = default;
};
static_assert(sizeof(CharStyle) <= 24);

// A run's style, kept once per process and shared like SharedText: a large document has a run
// every few words but only a handful of styles. Reads as a const CharStyle (`run.style->bold`)
// and changes by assigning a whole style.
class RunStyle {
public:
    RunStyle() = default;  // the default style
    RunStyle(const CharStyle& s);
    RunStyle(const RunStyle& o);
    RunStyle(RunStyle&& o) noexcept : id_(o.id_) { o.id_ = 0; }
    RunStyle& operator=(const RunStyle& o);
    RunStyle& operator=(RunStyle&& o) noexcept;
    ~RunStyle();

    const CharStyle& get() const;
    operator const CharStyle&() const { return get(); }
    const CharStyle& operator*() const { return get(); }
    const CharStyle* operator->() const { return &get(); }
    // Equal styles are the same entry.
    bool operator==(const RunStyle& o) const { return id_ == o.id_; }
    bool operator==(const CharStyle& s) const { return get() == s; }
    // Changes the style through `change(CharStyle&)` on a copy; an unchanged style keeps its entry.
    template <class Change>
    void edit(Change&& change) {
        CharStyle s = get();
        change(s);
        if (!(s == get())) *this = RunStyle(s);
    }

    struct Entry;

private:
    uint32_t id_ = 0;  // 0 = the default style
};

enum class Align { Natural, Left, Center, Right, Justify };

struct ParaStyle {
    Align align = Align::Natural;
    double leftIndent = 0, rightIndent = 0, firstIndent = 0;
    double spaceBefore = 0, spaceAfter = 0;
    int heading = 0;           // 1..6, 0 = body text
    int listLevel = 0;         // 1.. nesting depth, 0 = not in a list
    bool ordered = false;      // numbered rather than bulleted
    int listNumber = 0;        // number shown for an ordered item (1-based)
    bool pageBreakBefore = false;  // starts a new page
    bool operator==(const ParaStyle&) const = default;
};

// A run's text: up to 15 bytes inside the run itself, longer text on the heap with a 32-bit
// size and capacity, so the run holds 16 bytes instead of a std::string's 32. Large documents
// have a run every few words. Reads as a std::string_view.
class RunText {
public:
    RunText() noexcept { setInline(0); }
    RunText(std::string_view s) : RunText() { assign(s); }
    RunText(const std::string& s) : RunText(std::string_view(s)) {}
    RunText(const char* s) : RunText(std::string_view(s)) {}
    RunText(const RunText& o) : RunText() { assign(o.view()); }
    RunText(RunText&& o) noexcept {
        std::memcpy(b_, o.b_, sizeof b_);
        o.setInline(0);
    }
    RunText& operator=(const RunText& o) {
        if (this != &o) assign(o.view());
        return *this;
    }
    RunText& operator=(RunText&& o) noexcept;
    RunText& operator=(std::string_view s) { return assign(s); }
    RunText& operator=(const std::string& s) { return assign(std::string_view(s)); }
    RunText& operator=(const char* s) { return assign(std::string_view(s)); }
    ~RunText() { release(); }

    RunText& assign(std::string_view s);
    RunText& append(std::string_view s);
    RunText& operator+=(std::string_view s) { return append(s); }
    RunText& operator+=(const std::string& s) { return append(std::string_view(s)); }
    RunText& operator+=(const char* s) { return append(std::string_view(s)); }
    RunText& operator+=(char c) { return append(std::string_view(&c, 1)); }

    size_t size() const { return isInline() ? b_[15] & 0x7F : heapSize(); }
    size_t length() const { return size(); }
    bool empty() const { return size() == 0; }
    const char* data() const { return isInline() ? reinterpret_cast<const char*>(b_) : heapPtr(); }
    const char* begin() const { return data(); }
    const char* end() const { return data() + size(); }
    char operator[](size_t i) const { return data()[i]; }
    char front() const { return data()[0]; }
    char back() const { return data()[size() - 1]; }
    std::string_view view() const { return {data(), size()}; }
    operator std::string_view() const { return view(); }
    std::string str() const { return std::string(view()); }

    size_t find(std::string_view s, size_t at = 0) const { return view().find(s, at); }
    size_t find(char c, size_t at = 0) const { return view().find(c, at); }
    size_t find_first_of(std::string_view s, size_t at = 0) const { return view().find_first_of(s, at); }
    size_t find_first_not_of(std::string_view s, size_t at = 0) const {
        return view().find_first_not_of(s, at);
    }
    std::string substr(size_t at, size_t n = std::string::npos) const {
        return std::string(view().substr(at, n));
    }

    void pop_back() { resize(size() - 1); }
    void clear() { resize(0); }
    // Drops n bytes from `at` on.
    void erase(size_t at, size_t n = std::string::npos);
    // Gives back spare capacity, moving short text into the run.
    void shrink_to_fit();

    bool operator==(const RunText& o) const { return view() == o.view(); }
    bool operator==(std::string_view s) const { return view() == s; }
    bool operator==(const std::string& s) const { return view() == std::string_view(s); }
    bool operator==(const char* s) const { return view() == std::string_view(s); }

private:
    static_assert(std::endian::native == std::endian::little, "the inline flag is the capacity's top byte");
    // Inline: bytes 0..14 text, byte 15 = 0x80 | size. Heap: pointer, 32-bit size, 32-bit
    // capacity below 2^31, so byte 15 has its top bit clear.
    alignas(8) unsigned char b_[16];

    bool isInline() const { return (b_[15] & 0x80) != 0; }
    void setInline(size_t n) { b_[15] = static_cast<unsigned char>(0x80 | n); }
    char* heapPtr() const {
        char* p;
        std::memcpy(&p, b_, sizeof p);
        return p;
    }
    uint32_t heapSize() const {
        uint32_t n;
        std::memcpy(&n, b_ + 8, sizeof n);
        return n;
    }
    uint32_t heapCap() const {
        uint32_t n;
        std::memcpy(&n, b_ + 12, sizeof n);
        return n;
    }
    void setHeap(char* p, size_t size, size_t cap);
    char* mutableData() { return isInline() ? reinterpret_cast<char*>(b_) : heapPtr(); }
    void resize(size_t n);     // n <= size()
    void reserve(size_t n);
    void release() noexcept;
};

std::string operator+(const std::string& a, const RunText& b);
std::string operator+(const RunText& a, const std::string& b);
std::string operator+(const char* a, const RunText& b);
std::string operator+(const RunText& a, const char* b);
std::ostream& operator<<(std::ostream& os, const RunText& s);

// A run is text with one style, one attachment (a picture or file) in the text flow, or
// the reference mark of a note.
struct Run {
    RunText text;              // for a note reference: its mark as printed; empty = the number
    RunStyle style;
    int attachment = -1;       // index into Document::attachments
    int note = -1;             // index into Document::notes: this run is its reference mark
};
static_assert(sizeof(Run) <= 32, "a large document has a run every few words");

struct Paragraph {
    ParaStyle style;
    std::vector<Run> runs;
    std::string plainText() const;
    bool empty() const { return runs.empty(); }
    // Gives back what growing the runs left spare, for a reader done with the paragraph: a
    // large document has many, each built by appending.
    void compact();
};

struct Block;

// A cell holds blocks: paragraphs, lists, nested tables. A cell spanning several rows or
// columns appears once, in its top row; the rows below leave out the positions it covers
// (as HTML does), so every row lists only the cells that start in it.
struct TableCell {
    std::vector<Block> blocks;
    int colSpan = 1;           // grid columns taken, 1..kMaxColumnSpan
    int rowSpan = 1;           // rows taken (vertical merge), 1..
    // Appends a paragraph block and returns it.
    Paragraph& addParagraph(const ParaStyle& style = {});
};

// Word's limit on columns: a wider span in a document is damage, and the writers lay out
// one grid column per spanned column.
constexpr int kMaxColumnSpan = 63;

// A span as a document states it, in [1, kMaxColumnSpan]; unreadable text gives 1.
int columnSpan(const std::string& stated);

// Word's limit on rows, the bound of a row span read from a document.
constexpr int kMaxRowSpan = 32767;
// A row span as a document states it, in [1, kMaxRowSpan]; unreadable text gives 1.
int rowSpan(const std::string& stated);

struct TableRow {
    std::vector<TableCell> cells;
};

struct Table {
    std::vector<TableRow> rows;
    int headerRows = 0;        // leading rows that are the table's head (repeated on each page)
};

// A block: a paragraph, or a table when `table` is set.
struct Block {
    Paragraph paragraph;
    std::optional<Table> table;
};

// A footnote or endnote; a run with Run::note refers to it from the text.
struct Note {
    enum class Kind { Footnote, Endnote };
    Kind kind = Kind::Footnote;
    std::vector<Block> blocks;
};

// One grid position of a row: a cell starting there, or one reaching down from a row above.
struct CellSlot {
    const TableCell* cell = nullptr;
    int column = 0;            // first grid column it takes
    bool continued = false;    // covered: the cell starts in an earlier row
};

// Each row's cells in column order, with the cells from rows above that cover it, for the
// formats that write a placeholder for every covered position.
std::vector<std::vector<CellSlot>> tableSlots(const Table& t);

// Grid columns of the table: the widest row, counting spans and covered positions.
size_t tableColumns(const Table& t);

// For readers of the formats that mark covered positions: `continued[r][c]` says cell c
// of row r continues the cell above it in the same grid column. Those cells are removed
// and the cells they continue get the row span; a mark with nothing above is kept as a cell.
void foldRowSpans(Table& t, const std::vector<std::vector<bool>>& continued);

// The paragraphs of blocks in reading order, nested tables' cells included, for writers
// that put only paragraphs into a cell.
std::vector<const Paragraph*> flatParagraphs(const std::vector<Block>& blocks);

// Calls f on every paragraph of blocks, inside table cells at any depth.
void forEachParagraph(std::vector<Block>& blocks, const std::function<void(Paragraph&)>& f);

struct Attachment {
    std::string data;          // raw bytes
    std::string mimeType;      // "image/png", "application/pdf", ...
    std::string fileName;      // bare name, unique within the document
    double width = 0, height = 0;  // display size in points; 0 = natural size
};

struct Metadata {
    std::string title, author, subject, keywords, comment, editor, company, generator;
    std::string creationTime, modificationTime;  // ISO 8601 "YYYY-MM-DDThh:mm:ssZ"
};

struct Document {
    std::vector<Block> blocks;
    std::vector<Note> notes;
    std::vector<Block> header, footer;  // the default page header and footer; empty = none
    std::vector<Attachment> attachments;
    Metadata meta;

    // Appends a paragraph block and returns it.
    Paragraph& addParagraph(const ParaStyle& style = {});
    // Adds an attachment, renaming it if its file name is taken; returns its index.
    int addAttachment(Attachment a);
    // All body text, paragraphs separated by newlines and table cells by tabs, then the notes'.
    std::string plainText() const;
    // Calls f on every paragraph: body, notes, header and footer, table cells included.
    void forEachParagraph(const std::function<void(Paragraph&)>& f);
};

// Appends text to a paragraph, merging with the last run when the style is the same.
void appendText(Paragraph& p, std::string_view text, const CharStyle& style);

// Appends a note's text after the body, for readers that number notes where they are cited:
// its first paragraph starts with the superscript `number`.
void appendNoteText(std::vector<Block>& out, std::vector<Block> note, int number);

// Drops the blanks a note's text starts with: the space or tab sources put after its mark.
void trimNoteStart(std::vector<Block>& note);

// The mark a note reference shows: its own text, else its note's place in the document from 1.
std::string noteMark(const Run& reference);

// For writers of formats without notes: the document with every reference as its mark in
// superscript and the notes' text after the body, so no word is lost.
Document notesAsText(const Document& doc);

} // namespace textutil

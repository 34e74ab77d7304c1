#pragma once

#include <cstdint>
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
// Reads as a const std::string; empty is a null pointer.
class SharedText {
public:
    SharedText() = default;
    SharedText(std::string_view s);
    SharedText(const std::string& s) : SharedText(std::string_view(s)) {}
    SharedText(const char* s) : SharedText(std::string_view(s)) {}
    SharedText(const SharedText& o);
    SharedText(SharedText&& o) noexcept : e_(o.e_) { o.e_ = nullptr; }
    SharedText& operator=(const SharedText& o);
    SharedText& operator=(SharedText&& o) noexcept;
    ~SharedText();

    const std::string& str() const;
    operator const std::string&() const { return str(); }
    operator std::string_view() const { return str(); }
    bool empty() const { return e_ == nullptr; }
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
    bool operator==(const SharedText& o) const { return e_ == o.e_; }
    bool operator==(const std::string& s) const { return str() == s; }
    bool operator==(std::string_view s) const { return str() == s; }
    bool operator==(const char* s) const { return str() == s; }
    bool operator<(const SharedText& o) const { return str() < o.str(); }

    struct Entry;

private:
    Entry* e_ = nullptr;
};

std::string operator+(const std::string& a, const SharedText& b);
std::string operator+(const SharedText& a, const std::string& b);
std::string operator+(const char* a, const SharedText& b);
std::string operator+(const SharedText& a, const char* b);
std::string operator+(std::string&& a, const SharedText& b);
std::ostream& operator<<(std::ostream& os, const SharedText& s);

struct CharStyle {
    SharedText font;           // family name; empty = writer's default
    SharedText link;           // target URL of a hyperlink
    double size = 0;           // points; 0 = default
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    std::optional<Color> color;      // foreground
    std::optional<Color> background;
    int baseline = 0;          // 1 superscript, -1 subscript
    bool operator==(const CharStyle&) const = default;
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

// A run is text with one style, one attachment (a picture or file) in the text flow, or
// the reference mark of a note.
struct Run {
    std::string text;          // for a note reference: its mark as printed; empty = the number
    CharStyle style;
    int attachment = -1;       // index into Document::attachments
    int note = -1;             // index into Document::notes: this run is its reference mark
};

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

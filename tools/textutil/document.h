#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The document model every reader produces and every writer consumes: paragraphs of
// styled runs (an attributed string cut at paragraph breaks), simple tables, attachments
// and metadata. Lengths are in points, text is UTF-8.
namespace textutil {

struct Color {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Color&) const = default;
};

struct CharStyle {
    std::string font;          // family name; empty = writer's default
    double size = 0;           // points; 0 = default
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    std::optional<Color> color;      // foreground
    std::optional<Color> background;
    std::string link;          // target URL of a hyperlink
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
    bool operator==(const ParaStyle&) const = default;
};

// A run is either text with one style or one attachment (a picture or file) in the text flow.
struct Run {
    std::string text;
    CharStyle style;
    int attachment = -1;       // index into Document::attachments
};

struct Paragraph {
    ParaStyle style;
    std::vector<Run> runs;
    std::string plainText() const;
    bool empty() const { return runs.empty(); }
};

struct TableCell {
    std::vector<Paragraph> paragraphs;
    int colSpan = 1;
};

// Word's limit on columns: a wider span in a document is damage, and the writers lay out
// one grid column per spanned column.
constexpr int kMaxColumnSpan = 63;

// A span as a document states it, in [1, kMaxColumnSpan]; unreadable text gives 1.
int columnSpan(const std::string& stated);

struct TableRow {
    std::vector<TableCell> cells;
};

struct Table {
    std::vector<TableRow> rows;
};

// A top-level block: a paragraph, or a table when `table` is set.
struct Block {
    Paragraph paragraph;
    std::optional<Table> table;
};

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
    std::vector<Attachment> attachments;
    Metadata meta;

    // Appends a paragraph block and returns it.
    Paragraph& addParagraph(const ParaStyle& style = {});
    // Adds an attachment, renaming it if its file name is taken; returns its index.
    int addAttachment(Attachment a);
    // All text, paragraphs separated by newlines and table cells by tabs.
    std::string plainText() const;
};

// Appends text to a paragraph, merging with the last run when the style is the same.
void appendText(Paragraph& p, std::string_view text, const CharStyle& style);

} // namespace textutil

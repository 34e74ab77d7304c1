#pragma once

#include <string>
#include <vector>

// What an independent reader saw in one document: every word with the formatting and
// structure around it, the pictures and the metadata.
namespace fidelity {

struct Context {
    int heading = 0;
    bool bold = false, italic = false, underline = false, strike = false, sup = false, sub = false;
    std::string link;
    std::string lists; // enclosing lists, outermost first: 'b' bullets, 'o' numbers
    int tableDepth = 0;
    bool headRow = false;
    int colSpan = 1, rowSpan = 1; // of the innermost cell
    std::string note;             // "footnote", "endnote", "note" (kind unknown), "" outside notes
    bool quote = false;
    std::string region;           // "header", "footer", "" for the body
    std::string align;            // "center", "right", ... as the reader names it
    bool pageBreak = false;       // the paragraph starts a new page
    std::string color, highlight; // "#rrggbb"
    std::string font;
    double size = 0;              // points
    std::vector<std::string> ids; // ids of the enclosing elements
};

struct Word {
    std::string text; // lower-case letters only
    Context ctx;
    int paragraph = 0;
    int breaks = 0, tabs = 0; // line breaks and tabs before it in its paragraph
};

struct Reading {
    std::string error; // empty when the document was read
    std::vector<Word> words;
    std::vector<std::pair<double, double>> pictures; // display size in points, 0 when not stated
    std::string title, author;
    std::vector<std::string> linkTargets;
};

// Cuts text into words (runs of letters; other bytes separate them) with one context.
class WordSink {
public:
    explicit WordSink(Reading& r) : r_(r) {}
    void text(const std::string& s, const Context& ctx);
    void lineBreak() {
        end();
        ++breaks_;
    }
    void tab() {
        end();
        ++tabs_;
    }
    // Starts a paragraph; returns the one that was open so a note can resume it.
    int beginParagraph();
    void resumeParagraph(int p);
    void end(); // ends the current word

private:
    Reading& r_;
    std::string word_;
    Context ctx_;
    int paragraph_ = 0, next_ = 0, breaks_ = 0, tabs_ = 0;
};

// A length such as "2in", "5.08cm", "144pt" or "192" (pixels) in points; 0 when unreadable.
double lengthInPoints(const std::string& s);

// Pandoc's JSON rendering of a document.
Reading readPandocJson(const std::string& json);
// A flat OpenDocument text (.fodt), as LibreOffice writes it.
Reading readFlatOdt(const std::string& xml);
// Plain UTF-8 text: words only.
Reading readPlainText(const std::string& text);

} // namespace fidelity

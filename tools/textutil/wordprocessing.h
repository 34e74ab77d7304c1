#pragma once

#include "document.h"

#include <libxml/tree.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// WordprocessingML shared by docx and Word 2003 XML: both use the same paragraphs, runs,
// properties, styles and tables and differ in lists, links and pictures.
namespace textutil::wp {

enum class Dialect { Docx, WordML };

struct ReadHooks {
    // Target URL of a docx relationship id; empty when unknown.
    std::function<std::string(const std::string& id)> relationship;
    // Attachment index of a picture element (w:drawing, w:pict, w:object), or -1.
    std::function<int(const xmlNode* node)> picture;
    // The w:footnotes and w:endnotes elements of a docx; wordml keeps its notes inline.
    const xmlNode* footnotes = nullptr;
    const xmlNode* endnotes = nullptr;
};

// Reads a w:body into `doc`, its footnotes and endnotes into `doc.notes`. `styles` is the w:styles
// element and `lists` the w:numbering (docx) or w:lists (wordml) element; both may be null.
// Elements are matched by local name, which reads both dialects.
void readBody(const xmlNode* body, const xmlNode* styles, const xmlNode* lists, const ReadHooks& hooks, Document& doc);
// The same for a body given one child element at a time: `next` returns the next one, or null
// at the end, and may free the one before, so a large part need not be held as one tree.
void readBodyBlocks(const std::function<const xmlNode*()>& next, const xmlNode* styles,
                    const xmlNode* lists, const ReadHooks& hooks, Document& doc);

// Reads a header or footer (w:hdr, w:ftr) into `out`, as readBody does the body.
void readStory(const xmlNode* story, const xmlNode* styles, const xmlNode* lists,
               const ReadHooks& hooks, Document& doc, std::vector<Block>& out);

// Heading level of a style from its name or id ("heading 2", "Heading2", "Title"); 0 if none.
int headingFromStyleName(const std::string& name);

// One list instance of the output: every contiguous list gets its own, per kind.
struct ListInstance {
    int id = 0;          // numId (docx) or ilfo (wordml), from 1
    bool ordered = false;
    int start = 1;
};

struct WriteHooks {
    // Relationship id of an external link (docx); null to write w:hlink (wordml).
    std::function<std::string(const std::string& url)> linkId;
    // Run content for a picture: a w:drawing or w:pict element; empty to leave it out.
    std::function<std::string(int attachment, double widthPt, double heightPt)> picture;
    // When set, gets the body's XML piece by piece between its blocks, and BodyXml::body keeps
    // only what is not handed over yet: a long text is not held as one string.
    std::function<void(std::string_view xml)> sink;
};

struct BodyXml {
    std::string body;                  // the block elements, without w:body
    std::vector<ListInstance> lists;   // list instances referenced by the body
    // docx: the w:footnote and w:endnote elements of the notes cited, separators not included
    // (wordml writes its notes where they are cited).
    std::string footnotes, endnotes;
};

BodyXml writeBody(const Document& doc, Dialect dialect, const WriteHooks& hooks);
// A header or footer's content (at least one paragraph); its list instances are numbered from
// `firstList`, after the body's.
BodyXml writeStory(const Document& doc, const std::vector<Block>& story, Dialect dialect,
                   const WriteHooks& hooks, int firstList);
// w:style elements for Normal, Heading 1-6, Hyperlink and List Paragraph.
std::string writeStyles(Dialect dialect);
// Levels of the bullet (abstract 1) and decimal (abstract 2) list definitions.
std::string listLevels(bool ordered, Dialect dialect);

// A length such as "width:120pt" or "height:3in" from a VML style, in points; 0 when absent.
double vmlLength(const std::string& style, const char* key);

} // namespace textutil::wp

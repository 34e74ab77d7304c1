#include "media.h"
#include "ole.h"
#include "sample.h"
#include "zipfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>

using namespace textutil;
using officetest::findParagraph;
using officetest::styleOf;

namespace {

void put16(std::string& s, unsigned v) {
    s += char(v & 0xFF);
    s += char((v >> 8) & 0xFF);
}

void put32(std::string& s, uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

// A Word 97 FIB up to its 32-bit field count: signature, version, US English, these flags,
// 14 16-bit fields and the count of 22 32-bit fields that follow.
std::string fibBase(unsigned flags) {
    std::string fib;
    put16(fib, 0xA5EC);
    put16(fib, 0x00C1);
    put16(fib, 0);
    put16(fib, 0x0409);
    put16(fib, 0);
    put16(fib, flags);
    fib.resize(0x20, '\0');
    put16(fib, 14);
    fib.resize(0x22 + 28, '\0');
    put16(fib, 22);
    return fib;
}

const char* const kW = "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
                       "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";

// A docx package around hand-written parts.
Document docx(const std::string& body, const std::string& styles = {}, const std::string& numbering = {},
              const std::string& extraRels = {}) {
    zip::Builder z;
    z.add("[Content_Types].xml", "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>");
    z.add("_rels/.rels", "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                         "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
                         "Target=\"word/document.xml\"/></Relationships>");
    std::string rels = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    if (!styles.empty()) {
        rels += "<Relationship Id=\"rS\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" Target=\"styles.xml\"/>";
        z.add("word/styles.xml", "<w:styles " + std::string(kW) + ">" + styles + "</w:styles>");
    }
    if (!numbering.empty()) {
        rels += "<Relationship Id=\"rN\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/numbering\" Target=\"numbering.xml\"/>";
        z.add("word/numbering.xml", "<w:numbering " + std::string(kW) + ">" + numbering + "</w:numbering>");
    }
    z.add("word/_rels/document.xml.rels", rels + extraRels + "</Relationships>");
    z.add("word/document.xml", "<w:document " + std::string(kW) + "><w:body>" + body + "</w:body></w:document>");
    return officetest::readBytes(z.finish(), "hand.docx");
}

TEST(textutil_office_docx_reader, StylesInheritAndDirectFormattingWins) {
    const std::string styles =
        "<w:docDefaults><w:rPrDefault><w:rPr><w:sz w:val=\"22\"/></w:rPr></w:rPrDefault></w:docDefaults>"
        "<w:style w:type=\"paragraph\" w:default=\"1\" w:styleId=\"Normal\"><w:name w:val=\"Normal\"/></w:style>"
        "<w:style w:type=\"paragraph\" w:styleId=\"Base\"><w:name w:val=\"Base\"/><w:basedOn w:val=\"Normal\"/>"
        "<w:pPr><w:jc w:val=\"right\"/></w:pPr><w:rPr><w:b/><w:color w:val=\"FF0000\"/></w:rPr></w:style>"
        "<w:style w:type=\"paragraph\" w:styleId=\"Derived\"><w:name w:val=\"Derived\"/><w:basedOn w:val=\"Base\"/>"
        "<w:rPr><w:i/><w:sz w:val=\"32\"/></w:rPr></w:style>"
        "<w:style w:type=\"paragraph\" w:styleId=\"Kop2\"><w:name w:val=\"heading 2\"/></w:style>"
        "<w:style w:type=\"character\" w:styleId=\"Strong\"><w:name w:val=\"Strong\"/><w:rPr><w:u w:val=\"single\"/></w:rPr></w:style>";
    const Document doc = docx(
        "<w:p><w:pPr><w:pStyle w:val=\"Derived\"/></w:pPr><w:r><w:t>inherited</w:t></w:r>"
        "<w:r><w:rPr><w:b w:val=\"0\"/><w:color w:val=\"auto\"/></w:rPr><w:t>direct</w:t></w:r>"
        "<w:r><w:rPr><w:rStyle w:val=\"Strong\"/></w:rPr><w:t>charstyle</w:t></w:r></w:p>"
        "<w:p><w:r><w:t>normal</w:t></w:r></w:p>"
        "<w:p><w:pPr><w:pStyle w:val=\"Kop2\"/></w:pPr><w:r><w:t>localised heading</w:t></w:r></w:p>"
        "<w:p><w:pPr><w:outlineLvl w:val=\"2\"/></w:pPr><w:r><w:t>outline heading</w:t></w:r></w:p>",
        styles);
    const Paragraph* p = findParagraph(doc, "inherited");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->style.align, Align::Right);
    const CharStyle* in = styleOf(*p, "inherited");
    EXPECT_TRUE(in->bold);
    EXPECT_TRUE(in->italic);
    EXPECT_DOUBLE_EQ(in->size, 16);
    EXPECT_EQ(in->color, (Color{255, 0, 0}));
    const CharStyle* direct = styleOf(*p, "direct");
    EXPECT_FALSE(direct->bold);
    EXPECT_FALSE(direct->color.has_value());
    EXPECT_TRUE(direct->italic);
    EXPECT_TRUE(styleOf(*p, "charstyle")->underline);
    EXPECT_TRUE(styleOf(*p, "charstyle")->bold);
    EXPECT_DOUBLE_EQ(styleOf(*findParagraph(doc, "normal"), "normal")->size, 11);
    EXPECT_EQ(findParagraph(doc, "localised heading")->style.heading, 2);
    EXPECT_EQ(findParagraph(doc, "outline heading")->style.heading, 3);
}

TEST(textutil_office_docx_reader, FieldsRevisionsAndSpecialCharacters) {
    const Document doc = docx(
        "<w:p><w:r><w:t xml:space=\"preserve\">see </w:t></w:r>"
        "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText> HYPERLINK \"http://a.example/\" </w:instrText></w:r>"
        "<w:r><w:fldChar w:fldCharType=\"separate\"/></w:r><w:r><w:t>field link</w:t></w:r>"
        "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r>"
        "<w:r><w:t xml:space=\"preserve\"> and </w:t></w:r>"
        "<w:hyperlink r:id=\"rL\"><w:r><w:t>rel link</w:t></w:r></w:hyperlink>"
        "<w:ins><w:r><w:t xml:space=\"preserve\"> inserted</w:t></w:r></w:ins>"
        "<w:del><w:r><w:delText> deleted</w:delText></w:r></w:del>"
        "<w:r><w:tab/><w:t>x</w:t><w:br/><w:t>y</w:t><w:br w:type=\"page\"/><w:sym w:font=\"Symbol\" w:char=\"F061\"/></w:r></w:p>"
        "<w:sdt><w:sdtContent><w:p><w:r><w:t>in a content control</w:t></w:r></w:p></w:sdtContent></w:sdt>",
        {}, {},
        "<Relationship Id=\"rL\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/hyperlink\" "
        "Target=\"http://b.example/\" TargetMode=\"External\"/>");
    const Paragraph* p = findParagraph(doc, "see");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->plainText(), "see field link and rel link inserted\tx\xE2\x80\xA8ya");
    EXPECT_EQ(styleOf(*p, "field link")->link, "http://a.example/");
    EXPECT_EQ(styleOf(*p, "rel link")->link, "http://b.example/");
    EXPECT_TRUE(styleOf(*p, " and ")->link.empty());
    EXPECT_TRUE(findParagraph(doc, "in a content control"));
}

TEST(textutil_office_docx_reader, NumberingOverridesAndMergedCells) {
    const std::string numbering =
        "<w:abstractNum w:abstractNumId=\"0\"><w:lvl w:ilvl=\"0\"><w:start w:val=\"1\"/><w:numFmt w:val=\"decimal\"/></w:lvl>"
        "<w:lvl w:ilvl=\"1\"><w:start w:val=\"1\"/><w:numFmt w:val=\"bullet\"/></w:lvl></w:abstractNum>"
        "<w:num w:numId=\"5\"><w:abstractNumId w:val=\"0\"/><w:lvlOverride w:ilvl=\"0\"><w:startOverride w:val=\"7\"/></w:lvlOverride></w:num>";
    auto item = [](const std::string& text, int lvl) {
        return "<w:p><w:pPr><w:numPr><w:ilvl w:val=\"" + std::to_string(lvl) + "\"/><w:numId w:val=\"5\"/></w:numPr></w:pPr>"
               "<w:r><w:t>" + text + "</w:t></w:r></w:p>";
    };
    const Document doc = docx(
        item("seven", 0) + item("sub", 1) + item("eight", 0) +
            "<w:tbl><w:tr><w:tc><w:tcPr><w:vMerge w:val=\"restart\"/></w:tcPr><w:p><w:r><w:t>tall</w:t></w:r></w:p></w:tc>"
            "<w:tc><w:tcPr><w:gridSpan w:val=\"2\"/></w:tcPr><w:p><w:r><w:t>wide</w:t></w:r></w:p></w:tc></w:tr>"
            "<w:tr><w:tc><w:tcPr><w:vMerge/></w:tcPr><w:p/></w:tc><w:tc><w:p><w:r><w:t>b</w:t></w:r></w:p>"
            "<w:tbl><w:tr><w:tc><w:p><w:r><w:t>nested</w:t></w:r></w:p></w:tc></w:tr></w:tbl></w:tc>"
            "<w:tc><w:p><w:r><w:t>c</w:t></w:r></w:p></w:tc></w:tr></w:tbl>",
        {}, numbering);
    EXPECT_EQ(findParagraph(doc, "seven")->style.listNumber, 7);
    EXPECT_TRUE(findParagraph(doc, "seven")->style.ordered);
    EXPECT_FALSE(findParagraph(doc, "sub")->style.ordered);
    EXPECT_EQ(findParagraph(doc, "sub")->style.listLevel, 2);
    EXPECT_EQ(findParagraph(doc, "eight")->style.listNumber, 8);
    const Table* t = officetest::firstTable(doc);
    ASSERT_TRUE(t);
    ASSERT_EQ(t->rows.size(), 2u);
    EXPECT_EQ(t->rows[0].cells[1].colSpan, 2);
    EXPECT_EQ(t->rows[0].cells[0].rowSpan, 2);
    ASSERT_EQ(t->rows[1].cells.size(), 2u) << "a merged continuation is no cell of its own";
    const std::vector<Block>& b = t->rows[1].cells[0].blocks;
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[0].paragraph.plainText(), "b");
    ASSERT_TRUE(b[1].table) << "a nested table stays a table";
    EXPECT_EQ(b[1].table->rows.at(0).cells.at(0).blocks.at(0).paragraph.plainText(), "nested");
}

// An odt package around a hand-written content.xml (and optional styles.xml).
Document odt(const std::string& autoStyles, const std::string& body, const std::string& styles = {}) {
    const std::string ns =
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" xmlns:xlink=\"http://www.w3.org/1999/xlink\"";
    zip::Builder z;
    z.add("mimetype", "application/vnd.oasis.opendocument.text", false);
    z.add("content.xml", "<office:document-content " + ns + "><office:automatic-styles>" + autoStyles +
                             "</office:automatic-styles><office:body><office:text>" + body +
                             "</office:text></office:body></office:document-content>");
    if (!styles.empty())
        z.add("styles.xml", "<office:document-styles " + ns + "><office:styles>" + styles + "</office:styles></office:document-styles>");
    return officetest::readBytes(z.finish(), "hand.odt");
}

TEST(textutil_office_odt_reader, WhiteSpaceCollapsesExceptWhereMarkedAndNotesAreKept) {
    const Document doc = odt("", "<text:p>  two   words\n  here <text:span>and</text:span> <text:s text:c=\"3\"/>kept<text:tab/>tab"
                                 "<text:line-break/>next<text:note><text:note-citation>*</text:note-citation><text:note-body>"
                                 "<text:p>noted</text:p></text:note-body></text:note> </text:p><text:p>last</text:p>");
    ASSERT_EQ(doc.blocks.size(), 2u);
    const Paragraph& p = doc.blocks[0].paragraph;
    EXPECT_EQ(p.plainText(), "two words here and    kept\ttab\xE2\x80\xA8next");  // the citation is numbered anew
    EXPECT_EQ(p.runs.back().note, 0);
    EXPECT_EQ(p.runs.back().style->baseline, 1);
    EXPECT_EQ(doc.blocks[1].paragraph.plainText(), "last");
    ASSERT_EQ(doc.notes.size(), 1u);
    EXPECT_EQ(doc.notes[0].kind, Note::Kind::Footnote);
    ASSERT_EQ(doc.notes[0].blocks.size(), 1u);
    EXPECT_EQ(doc.notes[0].blocks[0].paragraph.plainText(), "noted");
}

TEST(textutil_office_odt_reader, StylesCascadeFromCommonToAutomatic) {
    const std::string common =
        "<style:default-style style:family=\"paragraph\"><style:text-properties fo:font-size=\"10pt\"/></style:default-style>"
        "<style:style style:name=\"Loud\" style:family=\"paragraph\"><style:text-properties fo:font-weight=\"bold\" fo:font-size=\"150%\"/></style:style>"
        "<style:style style:name=\"Titel\" style:family=\"paragraph\" style:default-outline-level=\"2\"/>";
    const std::string automatic =
        "<style:style style:name=\"P1\" style:family=\"paragraph\" style:parent-style-name=\"Loud\">"
        "<style:paragraph-properties fo:text-align=\"center\" fo:margin-left=\"1in\"/></style:style>"
        "<style:style style:name=\"T1\" style:family=\"text\"><style:text-properties fo:font-style=\"italic\" "
        "fo:font-weight=\"normal\" style:text-underline-style=\"solid\" fo:color=\"#00ff00\" style:text-position=\"super 58%\"/></style:style>";
    const Document doc = odt(automatic,
                             "<text:p text:style-name=\"P1\">loud <text:span text:style-name=\"T1\">soft</text:span> "
                             "<text:a xlink:href=\"http://c.example/\">go</text:a></text:p>"
                             "<text:p text:style-name=\"Titel\">outline title</text:p><text:h>bare heading</text:h>",
                             common);
    const Paragraph* p = findParagraph(doc, "loud");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->style.align, Align::Center);
    EXPECT_DOUBLE_EQ(p->style.leftIndent, 72);
    EXPECT_TRUE(styleOf(*p, "loud")->bold);
    EXPECT_DOUBLE_EQ(styleOf(*p, "loud")->size, 15);
    const CharStyle* soft = styleOf(*p, "soft");
    EXPECT_FALSE(soft->bold);
    EXPECT_TRUE(soft->italic);
    EXPECT_TRUE(soft->underline);
    EXPECT_EQ(soft->color, (Color{0, 255, 0}));
    EXPECT_EQ(soft->baseline, 1);
    EXPECT_EQ(styleOf(*p, "go")->link, "http://c.example/");
    EXPECT_EQ(findParagraph(doc, "outline title")->style.heading, 2);
    EXPECT_EQ(findParagraph(doc, "bare heading")->style.heading, 1);
}

TEST(textutil_office_odt_reader, ListsContinueAndItemsKeepOneMarker) {
    const std::string automatic =
        "<text:list-style style:name=\"N\"><text:list-level-style-number text:level=\"1\" style:num-format=\"1\" text:start-value=\"3\"/>"
        "<text:list-level-style-bullet text:level=\"2\" text:bullet-char=\"-\"/></text:list-style>";
    const Document doc = odt(automatic,
                             "<text:list xml:id=\"L\" text:style-name=\"N\"><text:list-item><text:p>three</text:p><text:p>more of three</text:p>"
                             "<text:list><text:list-item><text:p>dash</text:p></text:list-item></text:list></text:list-item>"
                             "<text:list-item><text:p>four</text:p></text:list-item></text:list>"
                             "<text:p>pause</text:p>"
                             "<text:list text:style-name=\"N\" text:continue-list=\"L\"><text:list-item><text:p>five</text:p></text:list-item></text:list>");
    EXPECT_EQ(findParagraph(doc, "three")->style.listNumber, 3);
    EXPECT_TRUE(findParagraph(doc, "three")->style.ordered);
    const Paragraph* more = findParagraph(doc, "more of three");
    EXPECT_EQ(more->style.listLevel, 0);
    EXPECT_GT(more->style.leftIndent, 0);
    EXPECT_EQ(findParagraph(doc, "dash")->style.listLevel, 2);
    EXPECT_FALSE(findParagraph(doc, "dash")->style.ordered);
    EXPECT_EQ(findParagraph(doc, "four")->style.listNumber, 4);
    EXPECT_EQ(findParagraph(doc, "five")->style.listNumber, 5);
}

TEST(textutil_office_wordml_reader, LinksListsRevisionsAndPictures) {
    const std::string png = officetest::tinyPng();
    const std::string xml =
        "<?xml version=\"1.0\"?><?mso-application progid=\"Word.Document\"?>"
        "<w:wordDocument xmlns:w=\"http://schemas.microsoft.com/office/word/2003/wordml\" xmlns:v=\"urn:schemas-microsoft-com:vml\" "
        "xmlns:aml=\"http://schemas.microsoft.com/aml/2001/core\" xmlns:wx=\"http://schemas.microsoft.com/office/word/2003/auxHint\">"
        "<w:lists><w:listDef w:listDefId=\"0\"><w:lvl w:ilvl=\"0\"><w:start w:val=\"2\"/><w:nfc w:val=\"0\"/></w:lvl></w:listDef>"
        "<w:list w:ilfo=\"1\"><w:ilst w:val=\"0\"/></w:list></w:lists>"
        "<w:body><wx:sect><w:p><w:hlink w:dest=\"http://d.example/\"><w:r><w:t>dest</w:t></w:r></w:hlink>"
        "<aml:annotation w:type=\"Word.Insertion\"><aml:content><w:r><w:t xml:space=\"preserve\"> added</w:t></w:r></aml:content></aml:annotation>"
        "<aml:annotation w:type=\"Word.Comment\"><aml:content><w:p><w:r><w:t>a comment</w:t></w:r></w:p></aml:content></aml:annotation>"
        "<w:r><w:pict><w:binData w:name=\"wordml://1.png\">" + base64Encode(png) +
        "</w:binData><v:shape style=\"width:30pt;height:15pt\"><v:imagedata src=\"wordml://1.png\"/></v:shape></w:pict></w:r></w:p>"
        "<w:p><w:pPr><w:listPr><w:ilvl w:val=\"0\"/><w:ilfo w:val=\"1\"/></w:listPr></w:pPr><w:r><w:t>second</w:t></w:r></w:p>"
        "</wx:sect></w:body></w:wordDocument>";
    const Document doc = officetest::readBytes(xml, "hand.xml");
    const Paragraph* p = findParagraph(doc, "dest");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->plainText(), "dest added");
    EXPECT_EQ(styleOf(*p, "dest")->link, "http://d.example/");
    ASSERT_EQ(doc.attachments.size(), 1u);
    EXPECT_EQ(doc.attachments[0].data, png);
    EXPECT_DOUBLE_EQ(doc.attachments[0].width, 30);
    EXPECT_EQ(findParagraph(doc, "second")->style.listNumber, 2);
    EXPECT_TRUE(findParagraph(doc, "second")->style.ordered);
}

// Links as LibreOffice and Word write them: a run inside a run, a bookmark, a bookmark
// within a page, a simple field and a complex field around styled runs.
TEST(textutil_office_wordml_reader, LinkTextSurvivesEveryNesting) {
    const std::string xml =
        "<?xml version=\"1.0\"?><w:wordDocument "
        "xmlns:w=\"http://schemas.microsoft.com/office/word/2003/wordml\">"
        "<w:styles><w:style w:type=\"character\" w:styleId=\"Hyperlink\"><w:name "
        "w:val=\"Hyperlink\"/>"
        "<w:rPr><w:color w:val=\"0000FF\"/><w:u "
        "w:val=\"single\"/></w:rPr></w:style></w:styles><w:body>"
        "<w:p><w:r><w:t xml:space=\"preserve\">a hyperlink to the </w:t></w:r><w:hlink "
        "w:dest=\"http://example.org/x\">"
        "<w:r><w:rPr><w:rStyle w:val=\"Hyperlink\"/></w:rPr><w:r><w:t>example "
        "site</w:t></w:r></w:r></w:hlink>"
        "<w:r><w:t xml:space=\"preserve\"> and ends</w:t></w:r></w:p>"
        "<w:p><w:hlink w:dest=\"\" "
        "w:bookmark=\"bm\"><w:r><w:rPr/><w:r><w:rPr><w:b/></w:rPr><w:t>back "
        "up</w:t></w:r></w:r></w:hlink>"
        "<w:r><w:t xml:space=\"preserve\"> | </w:t></w:r>"
        "<w:hlink w:dest=\"http://example.org/page\" "
        "w:bookmark=\"part\"><w:r><w:t>within</w:t></w:r></w:hlink></w:p>"
        "<w:p><w:fldSimple w:instr=\" HYPERLINK &quot;http://simple.example/&quot; "
        "\"><w:r><w:r><w:t>simple</w:t></w:r></w:r></w:fldSimple>"
        "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText> HYPERLINK "
        "\"http://complex.example/\" </w:instrText></w:r>"
        "<w:r><w:fldChar w:fldCharType=\"separate\"/></w:r><w:r><w:rPr><w:i/></w:rPr><w:r><w:t "
        "xml:space=\"preserve\"> complex</w:t></w:r></w:r>"
        "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r><w:r><w:t xml:space=\"preserve\"> "
        "after</w:t></w:r></w:p>"
        "</w:body></w:wordDocument>";
    const Document doc = officetest::readBytes(xml, "links.xml");
    const Paragraph* first = findParagraph(doc, "a hyperlink");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->plainText(), "a hyperlink to the example site and ends");
    const CharStyle* site = styleOf(*first, "example site");
    ASSERT_TRUE(site);
    EXPECT_EQ(site->link, "http://example.org/x");
    EXPECT_TRUE(site->underline); // the outer run's character style reaches the inner run
    EXPECT_TRUE(styleOf(*first, "and ends")->link.empty());

    const Paragraph* second = findParagraph(doc, "back up");
    ASSERT_TRUE(second);
    EXPECT_EQ(styleOf(*second, "back up")->link, "#bm");
    EXPECT_TRUE(styleOf(*second, "back up")->bold);
    EXPECT_EQ(styleOf(*second, "within")->link, "http://example.org/page#part");

    const Paragraph* third = findParagraph(doc, "simple");
    ASSERT_TRUE(third);
    EXPECT_EQ(third->plainText(), "simple complex after");
    EXPECT_EQ(styleOf(*third, "simple")->link, "http://simple.example/");
    EXPECT_EQ(styleOf(*third, "complex")->link, "http://complex.example/");
    EXPECT_TRUE(styleOf(*third, "complex")->italic);
    EXPECT_TRUE(styleOf(*third, "after")->link.empty());
}

// Runs nested far deeper than any writer goes still give their text.
TEST(textutil_office_wordml_reader, DeeplyNestedRunsKeepTheirText) {
    std::string runs;
    for (int i = 0; i < 200; ++i)
        runs += "<w:r>";
    runs += "<w:t>deep</w:t>";
    for (int i = 0; i < 200; ++i)
        runs += "</w:r>";
    const std::string xml = "<?xml version=\"1.0\"?><w:wordDocument "
                            "xmlns:w=\"http://schemas.microsoft.com/office/word/2003/wordml\">"
                            "<w:body><w:p><w:r><w:t>top </w:t></w:r>" +
                            runs + "</w:p></w:body></w:wordDocument>";
    const Document doc = officetest::readBytes(xml, "deep.xml");
    const Paragraph* p = findParagraph(doc, "top");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->plainText(), "top deep");
}

// A Word 97 file built by hand: fast-saved pieces out of file order, 8-bit and 16-bit,
// with a piece-level modifier making one piece bold.
TEST(textutil_office_doc_reader, FastSavedPiecesReadInTextOrder) {
    std::string wd(0x600, '\0');
    // Second piece of the text first in the file: UTF-16 "wörld\r".
    const uint32_t fc16 = 0x400;
    std::string utf16;
    for (char16_t c : std::u16string(u"w\u00F6rld\r")) put16(utf16, c);
    wd.replace(fc16, utf16.size(), utf16);
    // First piece: 8-bit "\x93Hi\x94 " (curly quotes in Windows-1252).
    const uint32_t fc8 = 0x500;
    wd.replace(fc8, 5, "\x93Hi\x94 ");
    // Clx: one Prc (bold) and the piece table.
    std::string tbl(1, char(1));
    put16(tbl, 3);
    put16(tbl, 0x0835);
    tbl += char(1);
    tbl += char(2);
    put32(tbl, 4 * 3 + 8 * 2);
    put32(tbl, 0);
    put32(tbl, 5);
    put32(tbl, 11);
    put16(tbl, 0);
    put32(tbl, (fc8 * 2) | 0x40000000u);  // compressed
    put16(tbl, 0);
    put16(tbl, 0);
    put32(tbl, fc16);
    put16(tbl, (0 << 1) | 1);  // Prm1: the first Prc
    // FIB.
    std::string fib = fibBase(0x0200 | 0x0004);  // 1Table, fComplex
    std::string lw(88, '\0');
    lw[12] = 11;  // ccpText
    fib += lw;
    put16(fib, 0x5D);
    std::string pairs(0x5D * 8, '\0');
    auto setPair = [&](size_t i, uint32_t fc, uint32_t lcb) {
        for (int k = 0; k < 4; ++k) {
            pairs[i * 8 + size_t(k)] = char((fc >> (8 * k)) & 0xFF);
            pairs[i * 8 + 4 + size_t(k)] = char((lcb >> (8 * k)) & 0xFF);
        }
    };
    setPair(33, 0, uint32_t(tbl.size()));
    fib += pairs;
    wd.replace(0, fib.size(), fib);
    const std::string bytes = ole::build({{"WordDocument", wd}, {"1Table", tbl}},
                                         {0x06, 0x09, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46}, nullptr);
    const Document doc = officetest::readBytes(bytes, "fast.doc");
    ASSERT_EQ(doc.blocks.size(), 1u);
    const Paragraph& p = doc.blocks[0].paragraph;
    EXPECT_EQ(p.plainText(), "\xE2\x80\x9CHi\xE2\x80\x9D w\xC3\xB6rld");
    EXPECT_FALSE(styleOf(p, "Hi")->bold);
    EXPECT_TRUE(styleOf(p, "rld")->bold);
}

// A floating picture: the 0x08 character, its anchor in PlcfSpaMom, the shape's blip property
// and the blip store, all built by hand.
TEST(textutil_office_doc_reader, FloatingPicturesComeFromTheBlipStore) {
    auto record = [&](unsigned verInst, unsigned type, const std::string& body) {
        std::string r;
        put16(r, verInst);
        put16(r, type);
        put32(r, uint32_t(body.size()));
        return r + body;
    };
    const std::string png = officetest::tinyPng();
    std::string wd(0x800, '\0');
    const std::string text = "pic:\x08!\r";  // 8-bit piece at 0x400
    wd.replace(0x400, text.size(), text);
    // One character page: only the 0x08 is special.
    std::string page(512, '\0');
    const uint32_t fcs[] = {0x400, 0x404, 0x405, 0x400 + uint32_t(text.size())};
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k) page[size_t(i * 4 + k)] = char((fcs[i] >> (8 * k)) & 0xFF);
    page[16 + 1] = char(250);  // the second run's properties at byte 500
    page[500] = 3;
    page[501] = char(0x55);
    page[502] = char(0x08);
    page[503] = 1;  // sprmCFSpec
    page[511] = 3;
    wd.replace(0x600, 512, page);

    std::string tbl;
    auto place = [&](const std::string& part) {
        const auto at = uint32_t(tbl.size());
        tbl += part;
        return std::pair<uint32_t, uint32_t>(at, uint32_t(part.size()));
    };
    std::string clx(1, char(2));
    put32(clx, 16);
    put32(clx, 0);
    put32(clx, uint32_t(text.size()));
    put16(clx, 0);
    put32(clx, (0x400 * 2) | 0x40000000u);
    put16(clx, 0);
    const auto clxAt = place(clx);
    std::string bte;
    put32(bte, 0x400);
    put32(bte, 0x400 + uint32_t(text.size()));
    put32(bte, 3);  // the page at 0x600
    const auto bteAt = place(bte);
    std::string spa;
    put32(spa, 4);  // CP of the 0x08
    put32(spa, 6);
    put32(spa, 2049);  // spid
    for (int32_t v : {0, 0, 1440, 720}) put32(spa, uint32_t(v));
    put16(spa, 0);
    put32(spa, 0);
    const auto spaAt = place(spa);
    std::string blip;
    blip.append(16, 'u');
    blip += char(0xFF);
    blip += png;
    std::string bse;
    bse += char(6);
    bse += char(6);
    bse.append(16, 'u');
    put16(bse, 0xFF);
    put32(bse, uint32_t(8 + blip.size()));
    put32(bse, 1);
    put32(bse, 0);
    put32(bse, 0);
    bse += record(0x6E00, 0xF01E, blip);
    const std::string dgg = record(0x000F, 0xF000, record(0x001F, 0xF001, record(0x0062, 0xF007, bse)));
    std::string fsp;
    put32(fsp, 2049);
    put32(fsp, 0x0A00);
    std::string opt;
    put16(opt, 0x4104);
    put32(opt, 1);
    const std::string dg = record(0x000F, 0xF002, record(0x000F, 0xF003,
                                                         record(0x000F, 0xF004, record(0x04B2, 0xF00A, fsp) + record(0x0013, 0xF00B, opt))));
    const auto dggAt = place(dgg + std::string(1, '\0') + dg);

    std::string fib = fibBase(0x0200);
    std::string lw(88, '\0');
    lw[12] = char(text.size());
    fib += lw;
    put16(fib, 0x5D);
    std::string pairs(0x5D * 8, '\0');
    auto setPair = [&](size_t i, std::pair<uint32_t, uint32_t> v) {
        for (int k = 0; k < 4; ++k) {
            pairs[i * 8 + size_t(k)] = char((v.first >> (8 * k)) & 0xFF);
            pairs[i * 8 + 4 + size_t(k)] = char((v.second >> (8 * k)) & 0xFF);
        }
    };
    setPair(12, bteAt);
    setPair(33, clxAt);
    setPair(40, spaAt);
    setPair(50, dggAt);
    fib += pairs;
    wd.replace(0, fib.size(), fib);
    const std::string bytes = ole::build({{"WordDocument", wd}, {"1Table", tbl}},
                                         {0x06, 0x09, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46}, nullptr);
    const Document doc = officetest::readBytes(bytes, "floating.doc");
    ASSERT_EQ(doc.attachments.size(), 1u);
    EXPECT_EQ(doc.attachments[0].data, png);
    EXPECT_DOUBLE_EQ(doc.attachments[0].width, 72);
    EXPECT_DOUBLE_EQ(doc.attachments[0].height, 36);
    ASSERT_EQ(doc.blocks.size(), 1u);
    EXPECT_EQ(doc.blocks[0].paragraph.plainText(), "pic:!");
    ASSERT_EQ(doc.blocks[0].paragraph.runs.size(), 3u);
    EXPECT_EQ(doc.blocks[0].paragraph.runs[1].attachment, 0);
}

// A hand-made Word 97 file: 8-bit text in one piece, the listed characters marked special,
// and extra parts of the table stream at their FIB slots.
std::string miniDoc(const std::string& text, const std::vector<size_t>& special, const std::array<uint32_t, 9>& ccp,
                    const std::map<size_t, std::string>& parts) {
    std::string wd(0x800, '\0');
    wd.replace(0x400, text.size(), text);
    // Character runs: each special character alone, with sprmCFSpec.
    std::vector<uint32_t> bounds = {0x400};
    std::vector<bool> bits;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool sp = std::find(special.begin(), special.end(), i) != special.end();
        if (sp || (i > 0 && std::find(special.begin(), special.end(), i - 1) != special.end())) {
            if (bounds.back() != 0x400 + i) {
                bounds.push_back(uint32_t(0x400 + i));
                bits.push_back(false);
            }
        }
        if (sp) {
            bounds.push_back(uint32_t(0x400 + i + 1));
            bits.push_back(true);
        }
    }
    if (bounds.back() != 0x400 + text.size()) {
        bounds.push_back(uint32_t(0x400 + text.size()));
        bits.push_back(false);
    }
    std::string page(512, '\0');
    const size_t crun = bits.size();
    for (size_t i = 0; i < bounds.size(); ++i)
        for (int k = 0; k < 4; ++k) page[i * 4 + size_t(k)] = char((bounds[i] >> (8 * k)) & 0xFF);
    page[500] = 3;
    page[501] = char(0x55);
    page[502] = char(0x08);
    page[503] = 1;
    for (size_t i = 0; i < crun; ++i) page[(crun + 1) * 4 + i] = bits[i] ? char(250) : 0;
    page[511] = char(crun);
    wd.replace(0x600, 512, page);

    std::string tbl;
    std::map<size_t, std::pair<uint32_t, uint32_t>> at;
    auto place = [&](size_t slot, const std::string& part) {
        at[slot] = {uint32_t(tbl.size()), uint32_t(part.size())};
        tbl += part;
    };
    std::string clx(1, char(2));
    put32(clx, 16);
    put32(clx, 0);
    put32(clx, uint32_t(text.size()));
    put16(clx, 0);
    put32(clx, (0x400 * 2) | 0x40000000u);
    put16(clx, 0);
    place(33, clx);
    std::string bte;
    put32(bte, 0x400);
    put32(bte, 0x400 + uint32_t(text.size()));
    put32(bte, 3);
    place(12, bte);
    for (const auto& [slot, part] : parts) place(slot, part);

    std::string fib = fibBase(0x0200);
    std::string lw(88, '\0');
    for (size_t i = 3; i < 9; ++i)
        for (int k = 0; k < 4; ++k) lw[i * 4 + size_t(k)] = char((ccp[i] >> (8 * k)) & 0xFF);
    fib += lw;
    put16(fib, 0x5D);
    std::string pairs(0x5D * 8, '\0');
    for (const auto& [slot, v] : at)
        for (int k = 0; k < 4; ++k) {
            pairs[slot * 8 + size_t(k)] = char((v.first >> (8 * k)) & 0xFF);
            pairs[slot * 8 + 4 + size_t(k)] = char((v.second >> (8 * k)) & 0xFF);
        }
    fib += pairs;
    wd.replace(0, fib.size(), fib);
    return ole::build({{"WordDocument", wd}, {"1Table", tbl}}, {0x06, 0x09, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46},
                      nullptr);
}

std::string le32s(std::initializer_list<uint32_t> values) {
    std::string s;
    for (uint32_t v : values)
        for (int k = 0; k < 4; ++k) s += char((v >> (8 * k)) & 0xFF);
    return s;
}

// Footnote and endnote references in the main text, their text in the stories after it.
TEST(textutil_office_doc_reader, NotesComeFromTheirStories) {
    // Main text "See\x02 and\x02.\r" (13), footnote story "\x02 foot\r\r" (8), endnote story "\x02 end\r\r" (7).
    const std::string main = "See\x02 and\x02.\r";
    const std::string foot = "\x02 foot\r\r";
    const std::string end = "\x02 end\r\r";
    const uint32_t ccpText = uint32_t(main.size()), ccpFtn = uint32_t(foot.size()), ccpEdn = uint32_t(end.size());
    std::array<uint32_t, 9> ccp{};
    ccp[3] = ccpText;
    ccp[4] = ccpFtn;
    ccp[8] = ccpEdn;
    std::map<size_t, std::string> parts;
    parts[2] = le32s({3, ccpText}) + std::string("\x01\x00", 2);               // PlcffndRef: the first reference
    parts[3] = le32s({0, ccpFtn - 1, ccpFtn});                                 // PlcffndTxt
    parts[46] = le32s({8, ccpText}) + std::string("\x01\x00", 2);              // PlcfendRef: the second
    parts[47] = le32s({0, ccpEdn - 1, ccpEdn});                                // PlcfendTxt
    const std::string text = main + foot + end;
    const std::string bytes = miniDoc(text, {3, 8, ccpText, ccpText + ccpFtn}, ccp, parts);
    const Document doc = officetest::readBytes(bytes, "notes.doc");
    ASSERT_EQ(doc.blocks.size(), 1u);
    const Paragraph& p = doc.blocks[0].paragraph;
    std::vector<int> cited;
    for (const textutil::Run& r : p.runs)
        if (r.note >= 0) {
            cited.push_back(r.note);
            EXPECT_EQ(r.style->baseline, 1);
        }
    EXPECT_EQ(cited, (std::vector<int>{0, 1}));
    EXPECT_EQ(styleOf(p, " and")->baseline, 0);
    ASSERT_EQ(doc.notes.size(), 2u);
    EXPECT_EQ(doc.notes[0].kind, Note::Kind::Footnote);
    EXPECT_EQ(doc.notes[1].kind, Note::Kind::Endnote);
    EXPECT_EQ(doc.notes[0].blocks.at(0).paragraph.plainText(), "foot");
    EXPECT_EQ(doc.notes[1].blocks.at(0).paragraph.plainText(), "end");
}


// Header stories: the odd-page (default) one wins over the first-page one; with no default
// footer the even-page one stands in rather than being dropped.
TEST(textutil_office_doc_reader, DefaultHeaderWinsAndOtherStoriesStandIn) {
    const std::string main = "Body\r";
    // Stories 6-11: even header (empty), odd header, even footer, odd footer (empty), first
    // header, first footer (empty); then the closing mark.
    const std::string hdd = "Odd\rEvenFoot\rFirst\r\r";
    std::array<uint32_t, 9> ccp{};
    ccp[3] = uint32_t(main.size());
    ccp[5] = uint32_t(hdd.size());
    std::map<size_t, std::string> parts;
    parts[11] = le32s({0, 0, 0, 0, 0, 0, 0, 0, 4, 13, 13, 19, 19, 20});  // PlcfHdd
    const Document doc = officetest::readBytes(miniDoc(main + hdd, {}, ccp, parts), "furniture.doc");
    ASSERT_EQ(doc.blocks.size(), 1u);
    EXPECT_EQ(doc.blocks[0].paragraph.plainText(), "Body");
    ASSERT_EQ(doc.header.size(), 1u);
    EXPECT_EQ(doc.header[0].paragraph.plainText(), "Odd");
    ASSERT_EQ(doc.footer.size(), 1u);
    EXPECT_EQ(doc.footer[0].paragraph.plainText(), "EvenFoot");
}

} // namespace

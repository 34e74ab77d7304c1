// Page breaks, the page header and footer, block quotes and the author, through the readers
// and writers of the formats that hold them.
#include "fixtures.h"
#include "zipfile.h"

#include <gtest/gtest.h>

#include <string>

using namespace textutil;

namespace {

Document parse(const std::string& bytes, Document (*reader)(const Input&, const ReadOptions&)) {
    Input in;
    in.bytes = bytes;
    return reader(in, {});
}

std::string textOf(const std::vector<Block>& blocks) {
    std::string s;
    for (const Paragraph* p : flatParagraphs(blocks))
        s += (s.empty() ? "" : "|") + p->plainText();
    return s;
}

// The body paragraph with this text, or null.
const Paragraph* paragraph(const Document& doc, const std::string& text) {
    for (const Paragraph* p : flatParagraphs(doc.blocks))
        if (p->plainText() == text) return p;
    return nullptr;
}

// A body whose second paragraph starts a page, under a header with a link and a footer
// with a bold word.
Document pagedDocument() {
    Document doc;
    appendText(doc.addParagraph(), "First page", {});
    ParaStyle brk;
    brk.pageBreakBefore = true;
    appendText(doc.addParagraph(brk), "Second page", {});
    appendText(doc.addParagraph(), "Still second", {});
    CharStyle link;
    link.link = "https://example.org/head";
    Paragraph& head = doc.header.emplace_back().paragraph;
    appendText(head, "Running head", link);
    Attachment logo;
    logo.data = textutiltest::samplePng();
    logo.mimeType = "image/png";
    logo.fileName = "logo.png";
    head.runs.emplace_back().attachment = doc.addAttachment(logo);
    CharStyle bold;
    bold.bold = true;
    Paragraph& foot = doc.footer.emplace_back().paragraph;
    appendText(foot, "Page ", {});
    appendText(foot, "foot", bold);
    return doc;
}

class textutilPageLayout : public ::testing::TestWithParam<std::string> {};

TEST_P(textutilPageLayout, PageBreaksHeaderAndFooterSurvive) {
    const Document back = textutiltest::roundTrip(pagedDocument(), GetParam());
    EXPECT_EQ(back.plainText(), "First page\nSecond page\nStill second");
    const Paragraph* first = paragraph(back, "First page");
    const Paragraph* second = paragraph(back, "Second page");
    const Paragraph* third = paragraph(back, "Still second");
    ASSERT_TRUE(first && second && third);
    EXPECT_FALSE(first->style.pageBreakBefore);
    EXPECT_TRUE(second->style.pageBreakBefore);
    EXPECT_FALSE(third->style.pageBreakBefore);

    EXPECT_EQ(textOf(back.header), "Running head");
    EXPECT_EQ(textOf(back.footer), "Page foot");
    ASSERT_FALSE(back.header.empty());
    ASSERT_FALSE(back.header[0].paragraph.runs.empty());
    EXPECT_EQ(back.header[0].paragraph.runs[0].style->link, "https://example.org/head");
    // The header's picture is kept, with its bytes.
    const textutil::Run& logo = back.header[0].paragraph.runs.back();
    ASSERT_GE(logo.attachment, 0);
    ASSERT_LT(size_t(logo.attachment), back.attachments.size());
    EXPECT_EQ(back.attachments[size_t(logo.attachment)].data, textutiltest::samplePng());
    ASSERT_FALSE(back.footer.empty());
    const auto& runs = back.footer[0].paragraph.runs;
    ASSERT_FALSE(runs.empty());
    EXPECT_TRUE(runs.back().style->bold);
    EXPECT_EQ(runs.back().text, "foot");
}

INSTANTIATE_TEST_SUITE_P(Formats, textutilPageLayout,
                         ::testing::Values("rtf", "rtfd", "docx", "odt", "wordml"));

// A header and footer named by an earlier section, in a paragraph's properties, are found
// while the body streams past.
TEST(textutilPageLayoutDocx, FurnitureOfAnEarlierSection) {
    const std::string bytes = writeDocx(pagedDocument(), {}).data;
    zip::Archive in(bytes);
    zip::Builder out;
    for (const std::string& name : in.names()) {
        std::string data = *in.read(name);
        if (name == "word/document.xml") {
            const size_t from = data.find("<w:sectPr>");
            const size_t to = data.find("</w:sectPr>");
            ASSERT_NE(from, std::string::npos);
            ASSERT_NE(to, std::string::npos);
            const std::string sectPr = data.substr(from, to + 11 - from);
            ASSERT_NE(sectPr.find("headerReference"), std::string::npos) << sectPr;
            data.replace(from, sectPr.size(), "<w:sectPr/>");
            const size_t body = data.find("<w:body>");
            ASSERT_NE(body, std::string::npos);
            data.insert(body + 8, "<w:p><w:pPr>" + sectPr + "</w:pPr></w:p>");
        }
        out.add(name, data);
    }
    const Document back = parse(out.finish(), readDocx);
    EXPECT_EQ(textOf(back.header), "Running head");
    EXPECT_EQ(textOf(back.footer), "Page foot");
    EXPECT_NE(paragraph(back, "Still second"), nullptr);
}

// .doc header stories keep their text and styles; their links become plain text.
TEST(textutilPageLayoutDoc, PageBreaksAndHeaderStoriesSurvive) {
    const Document back = textutiltest::roundTrip(pagedDocument(), "doc");
    EXPECT_EQ(back.plainText(), "First page\nSecond page\nStill second");
    std::string breaks;
    for (const Paragraph* p : flatParagraphs(back.blocks))
        breaks += p->plainText() + (p->style.pageBreakBefore ? "!" : "") + "|";
    EXPECT_EQ(breaks, "First page|Second page!|Still second|");
    EXPECT_EQ(textOf(back.header), "Running head");
    EXPECT_EQ(textOf(back.footer), "Page foot");
    ASSERT_FALSE(back.footer.empty());
    ASSERT_FALSE(back.footer[0].paragraph.runs.empty());
    EXPECT_TRUE(back.footer[0].paragraph.runs.back().style->bold);

    Document onlyFooter = pagedDocument();
    onlyFooter.header.clear();
    const Document foot = textutiltest::roundTrip(onlyFooter, "doc");
    EXPECT_TRUE(foot.header.empty());
    EXPECT_EQ(textOf(foot.footer), "Page foot");
    EXPECT_EQ(foot.plainText(), "First page\nSecond page\nStill second");
}

TEST(textutilPageLayoutHtml, PageBreaksAsCssAndNoPageFurniture) {
    for (const char* fmt : {"html", "webarchive"}) {
        const Document back = textutiltest::roundTrip(pagedDocument(), fmt);
        EXPECT_EQ(back.plainText(), "First page\nSecond page\nStill second") << fmt;
        const Paragraph* second = paragraph(back, "Second page");
        const Paragraph* third = paragraph(back, "Still second");
        ASSERT_TRUE(second && third) << fmt;
        EXPECT_TRUE(second->style.pageBreakBefore) << fmt;
        EXPECT_FALSE(third->style.pageBreakBefore) << fmt;
    }
    // A break on a container belongs to its first paragraph; one after a paragraph to the next.
    const Document doc = parse("<div style=\"page-break-before: always\"><p>a</p><p>b</p></div>"
                               "<p style=\"break-after: page\">c</p><p>d</p><p>e</p>",
                               readHtml);
    std::string breaks;
    for (const Paragraph* p : flatParagraphs(doc.blocks))
        breaks += p->plainText() + (p->style.pageBreakBefore ? "!" : "");
    EXPECT_EQ(breaks, "a!bcd!e");
}

TEST(textutilPageLayoutHtml, IndentedParagraphsBecomeOneBlockQuote) {
    Document doc;
    appendText(doc.addParagraph(), "before", {});
    ParaStyle quote;
    quote.leftIndent = 36;
    appendText(doc.addParagraph(quote), "quoted one", {});
    appendText(doc.addParagraph(quote), "quoted two", {});
    ParaStyle hanging;
    hanging.leftIndent = 36;
    hanging.firstIndent = -36;
    appendText(doc.addParagraph(hanging), "hanging", {});
    ParaStyle item;
    item.listLevel = 1;
    item.leftIndent = 36;
    appendText(doc.addParagraph(item), "item", {});
    doc.meta.author = "Ana Lyra";

    const std::string html = writeHtml(doc, {}).data;
    const size_t open = html.find("<blockquote>");
    ASSERT_NE(open, std::string::npos);
    EXPECT_EQ(html.find("<blockquote>", open + 1), std::string::npos);
    const size_t close = html.find("</blockquote>");
    ASSERT_NE(close, std::string::npos);
    EXPECT_LT(open, html.find("quoted one"));
    EXPECT_LT(html.find("quoted two"), close);
    EXPECT_GT(html.find("hanging"), close);
    EXPECT_LT(html.find("before"), open);
    // Independent readers look for the author under the lower-case name.
    EXPECT_NE(html.find("<meta name=\"author\" content=\"Ana Lyra\">"), std::string::npos);

    const Document back = parse(html, readHtml);
    EXPECT_EQ(back.meta.author, "Ana Lyra");
    const Paragraph* one = paragraph(back, "quoted one");
    const Paragraph* before = paragraph(back, "before");
    const Paragraph* hang = paragraph(back, "hanging");
    ASSERT_TRUE(one && before && hang);
    EXPECT_DOUBLE_EQ(one->style.leftIndent, 36);
    EXPECT_DOUBLE_EQ(before->style.leftIndent, 0);
    EXPECT_DOUBLE_EQ(hang->style.leftIndent, 36);
    EXPECT_DOUBLE_EQ(hang->style.firstIndent, -36);
}

TEST(textutilPageLayoutRtf, PageControlWordsAndFurnitureDestinations) {
    const Document doc =
        parse("{\\rtf1\\ansi{\\headerf first page only}{\\header\\pard top\\par}"
              "{\\footerr\\pard bottom\\par}{\\footer second footer}"
              "\\pard one\\page two\\par\\pard\\pagebb three\\par\\pard four\\par}",
              readRtf);
    EXPECT_EQ(doc.plainText(), "one\ntwo\nthree\nfour");
    EXPECT_EQ(textOf(doc.header), "top");
    EXPECT_EQ(textOf(doc.footer), "bottom");
    std::string breaks;
    for (const Paragraph* p : flatParagraphs(doc.blocks))
        breaks += p->plainText() + (p->style.pageBreakBefore ? "!" : "") + " ";
    EXPECT_EQ(breaks, "one two! three! four ");
}

TEST(textutilPageLayoutWordML, PageBreakRunsAndSectionFurniture) {
    const std::string w = "xmlns:w=\"http://schemas.microsoft.com/office/word/2003/wordml\"";
    const Document doc = parse(
        "<?xml version=\"1.0\"?><?mso-application progid=\"Word.Document\"?><w:wordDocument " + w +
            "><w:body><w:p><w:r><w:t>one</w:t><w:br w:type=\"page\"/></w:r></w:p>"
            "<w:p><w:r><w:t>two</w:t></w:r></w:p>"
            "<w:p><w:r><w:br w:type=\"page\"/><w:t>three</w:t></w:r></w:p>"
            "<w:p><w:pPr><w:pageBreakBefore/></w:pPr><w:r><w:t>four</w:t></w:r></w:p>"
            "<w:p><w:pPr><w:pageBreakBefore w:val=\"off\"/></w:pPr><w:r><w:t>five</w:t></w:r></w:p>"
            "<w:sectPr><w:hdr w:type=\"first\"><w:p><w:r><w:t>title page</w:t></w:r></w:p></w:hdr>"
            "<w:hdr w:type=\"odd\"><w:p><w:r><w:t>top</w:t></w:r></w:p></w:hdr>"
            "<w:ftr w:type=\"odd\"><w:p><w:r><w:t>bottom</w:t></w:r></w:p></w:ftr></w:sectPr>"
            "</w:body></w:wordDocument>",
        readWordML);
    EXPECT_EQ(doc.plainText(), "one\ntwo\nthree\nfour\nfive");
    std::string breaks;
    for (const Paragraph* p : flatParagraphs(doc.blocks))
        breaks += p->plainText() + (p->style.pageBreakBefore ? "!" : "") + " ";
    EXPECT_EQ(breaks, "one two! three! four! five ");
    EXPECT_EQ(textOf(doc.header), "top");
    EXPECT_EQ(textOf(doc.footer), "bottom");
}

// First-page and left-page furniture stands in when there is no default, first-page first;
// it never replaces a default, wherever that default comes.
TEST(textutilPageLayoutRtf, FirstAndLeftPageFurnitureStandsInForAMissingDefault) {
    const Document doc =
        parse("{\\rtf1\\ansi\\titlepg\\facingp{\\headerl\\pard left head\\par}{\\headerf\\pard cover\\par}"
              "{\\footerf\\pard first foot\\par}{\\footerl\\pard left foot\\par}\\pard body\\par}",
              readRtf);
    EXPECT_EQ(doc.plainText(), "body");
    EXPECT_EQ(textOf(doc.header), "cover");
    EXPECT_EQ(textOf(doc.footer), "first foot");

    const Document left = parse("{\\rtf1\\ansi{\\headerl\\pard left head\\par}{\\footerf\\pard cover foot\\par}"
                                "{\\footer\\pard plain foot\\par}\\pard body\\par}",
                                readRtf);
    EXPECT_EQ(left.plainText(), "body");
    EXPECT_EQ(textOf(left.header), "left head");
    EXPECT_EQ(textOf(left.footer), "plain foot");
}

TEST(textutilPageLayoutWordML, FirstAndEvenFurnitureStandsInForAMissingDefault) {
    const std::string w = "xmlns:w=\"http://schemas.microsoft.com/office/word/2003/wordml\"";
    auto story = [](const char* kind, const char* type, const char* text) {
        return std::string("<w:") + kind + " w:type=\"" + type + "\"><w:p><w:r><w:t>" + text + "</w:t></w:r></w:p></w:" +
               kind + ">";
    };
    const Document doc = parse(
        "<?xml version=\"1.0\"?><?mso-application progid=\"Word.Document\"?><w:wordDocument " + w +
            "><w:body><w:p><w:r><w:t>body</w:t></w:r></w:p><w:sectPr>" + story("hdr", "even", "even top") +
            story("hdr", "first", "first top") + story("ftr", "even", "even bottom") + "</w:sectPr>" +
            "</w:body></w:wordDocument>",
        readWordML);
    EXPECT_EQ(doc.plainText(), "body");
    EXPECT_EQ(textOf(doc.header), "first top");
    EXPECT_EQ(textOf(doc.footer), "even bottom");
}

TEST(textutilPageLayoutDocx, FirstPageFurnitureOfAnEarlierSectionYieldsToALaterDefault) {
    const std::string w = "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
                          "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
    const std::string relType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    zip::Builder z;
    z.add("[Content_Types].xml", "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>");
    z.add("_rels/.rels", "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                         "<Relationship Id=\"rId1\" Type=\"" + relType + "officeDocument\" Target=\"word/document.xml\"/>"
                         "</Relationships>");
    std::string rels = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    auto part = [&](const std::string& id, const char* kind, const std::string& text) {
        rels += "<Relationship Id=\"" + id + "\" Type=\"" + relType + kind + "\" Target=\"" + id + ".xml\"/>";
        const std::string root = std::string(kind) == "header" ? "hdr" : "ftr";
        z.add("word/" + id + ".xml", "<w:" + root + " " + w + "><w:p><w:r><w:t>" + text + "</w:t></w:r></w:p></w:" + root + ">");
    };
    part("hFirst", "header", "cover head");
    part("hPlain", "header", "plain head");
    part("fEven", "footer", "even foot");
    z.add("word/_rels/document.xml.rels", rels + "</Relationships>");
    z.add("word/document.xml",
          "<w:document " + w + "><w:body>"
          "<w:p><w:pPr><w:sectPr><w:headerReference w:type=\"first\" r:id=\"hFirst\"/>"
          "<w:footerReference w:type=\"even\" r:id=\"fEven\"/><w:titlePg/></w:sectPr></w:pPr>"
          "<w:r><w:t>one</w:t></w:r></w:p><w:p><w:r><w:t>two</w:t></w:r></w:p>"
          "<w:sectPr><w:headerReference w:type=\"default\" r:id=\"hPlain\"/></w:sectPr></w:body></w:document>");
    const Document doc = parse(z.finish(), readDocx);
    EXPECT_EQ(doc.plainText(), "one\ntwo");
    EXPECT_EQ(textOf(doc.header), "plain head");
    EXPECT_EQ(textOf(doc.footer), "even foot");
}

TEST(textutilPageLayoutOdt, FirstAndLeftPageFurnitureStandsInForAMissingDefault) {
    const std::string ns =
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"";
    zip::Builder z;
    z.add("mimetype", "application/vnd.oasis.opendocument.text", false);
    z.add("content.xml", "<office:document-content " + ns +
                             "><office:body><office:text><text:p>body</text:p></office:text></office:body>"
                             "</office:document-content>");
    z.add("styles.xml", "<office:document-styles " + ns +
                            "><office:master-styles><style:master-page style:name=\"Standard\">"
                            "<style:header-left><text:p>left head</text:p></style:header-left>"
                            "<style:header-first><text:p>cover</text:p></style:header-first>"
                            "<style:footer-first><text:p>first foot</text:p></style:footer-first>"
                            "<style:footer><text:p>foot</text:p></style:footer>"
                            "</style:master-page></office:master-styles></office:document-styles>");
    const Document doc = parse(z.finish(), readOdt);
    EXPECT_EQ(doc.plainText(), "body");
    EXPECT_EQ(textOf(doc.header), "cover");
    EXPECT_EQ(textOf(doc.footer), "foot");
}

// LibreOffice ties its heading styles to an outline list whose levels show nothing; such a
// heading is no list item, while a heading with a visible number stays one.
TEST(textutilPageLayoutHeadings, MarkerlessOutlineNumberingIsNoList) {
    const Document rtf =
        parse("{\\rtf1\\ansi{\\stylesheet{\\s1 heading 1;}}"
              "\\pard\\s1\\outlinelevel0\\ilvl0{\\listtext\\pard\\plain \\tab}\\ls1 Outlined\\par"
              "\\pard\\s1\\outlinelevel0\\ilvl0{\\listtext 2.\\tab}\\ls2 Numbered\\par"
              "\\pard\\ilvl0{\\listtext\\tab}\\ls1 Item\\par}",
              readRtf);
    const Paragraph* outlined = paragraph(rtf, "Outlined");
    const Paragraph* numbered = paragraph(rtf, "Numbered");
    const Paragraph* item = paragraph(rtf, "Item");
    ASSERT_TRUE(outlined && numbered && item);
    EXPECT_EQ(outlined->style.heading, 1);
    EXPECT_EQ(outlined->style.listLevel, 0);
    EXPECT_EQ(numbered->style.heading, 1);
    EXPECT_EQ(numbered->style.listLevel, 1);
    EXPECT_EQ(numbered->style.listNumber, 2);
    EXPECT_EQ(item->style.listLevel, 1);

    const std::string w = "xmlns:w=\"http://schemas.microsoft.com/office/word/2003/wordml\"";
    auto level = [](int ilvl, const char* nfc, const char* text) {
        return std::string("<w:lvl w:ilvl=\"") + std::to_string(ilvl) +
               "\"><w:start w:val=\"1\"/><w:nfc w:val=\"" + nfc + "\"/><w:lvlText w:val=\"" + text +
               "\"/></w:lvl>";
    };
    const Document wml = parse(
        "<?xml version=\"1.0\"?><w:wordDocument " + w + "><w:lists><w:listDef w:listDefId=\"0\">" +
            level(0, "255", "") + level(1, "255", "Part ") +
            "</w:listDef><w:list w:ilfo=\"1\"><w:ilst w:val=\"0\"/></w:list>"
            "</w:lists><w:styles><w:style w:type=\"paragraph\" w:styleId=\"Heading1\"><w:name "
            "w:val=\"heading 1\"/>"
            "<w:pPr><w:listPr><w:ilvl w:val=\"0\"/><w:ilfo "
            "w:val=\"1\"/></w:listPr></w:pPr></w:style></w:styles><w:body>"
            "<w:p><w:pPr><w:pStyle w:val=\"Heading1\"/></w:pPr><w:r><w:t>Outlined</w:t></w:r></w:p>"
            "<w:p><w:pPr><w:listPr><w:ilvl w:val=\"1\"/><w:ilfo "
            "w:val=\"1\"/></w:listPr></w:pPr><w:r><w:t>Labelled</w:t></w:r></w:p>"
            "</w:body></w:wordDocument>",
        readWordML);
    const Paragraph* heading = paragraph(wml, "Outlined");
    const Paragraph* labelled = paragraph(wml, "Labelled");
    ASSERT_TRUE(heading && labelled);
    EXPECT_EQ(heading->style.heading, 1);
    EXPECT_EQ(heading->style.listLevel, 0);
    // A level without a number that still prints text is a list level.
    EXPECT_EQ(labelled->style.listLevel, 2);

    // The HTML output of the heading is a heading, not a list item.
    const std::string html = writeHtml(wml, {}).data;
    EXPECT_NE(html.find("<h1>Outlined</h1>"), std::string::npos);
}

} // namespace

#include "sample.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include "platform/toolerror.h"

using namespace textutil;
using officetest::findParagraph;
using officetest::styleOf;

namespace {

Document readCorpus(const std::string& rel) {
    return readDocument(vorpeltest::corpusDir() / rel, ReadOptions{});
}

int countHeadings(const Document& doc, int level) {
    int n = 0;
    for (const Block& b : doc.blocks) n += !b.table && b.paragraph.style.heading == level;
    return n;
}

int countTables(const Document& doc) {
    int n = 0;
    for (const Block& b : doc.blocks) n += bool(b.table);
    return n;
}

// Documents from word processors, read in place from the shared corpus.
TEST(textutil_office_corpus, DocxHeadingsListsLinksAndPictures) {
    VORPEL_REQUIRE_CORPUS();
    const Document h = readCorpus("docx/headers.docx");
    for (int level = 1; level <= 5; ++level) EXPECT_EQ(countHeadings(h, level), 1) << level;
    // Levels beyond six show as the deepest heading the model has.
    EXPECT_EQ(countHeadings(h, 6), 2);
    EXPECT_EQ(findParagraph(h, "Seventh level")->style.heading, 6);
    EXPECT_EQ(findParagraph(h, "Second Level")->style.heading, 2);
    EXPECT_EQ(findParagraph(h, "Some plain text.")->style.heading, 0);

    const Document list = readCorpus("docx/simple-list.docx");
    const Paragraph* apple = findParagraph(list, "Apple");
    ASSERT_TRUE(apple);
    EXPECT_EQ(apple->style.listLevel, 1);

    const Document nested = readCorpus("docx/created-in-pages-bulleted-lists.docx");
    EXPECT_EQ(findParagraph(nested, "Just because")->style.listLevel, 2);
    EXPECT_EQ(findParagraph(nested, "Why did the chicken")->style.listLevel, 1);

    const Document links = readCorpus("docx/par-hyperlinks.docx");
    const Paragraph* three = findParagraph(links, "Three hyperlinks");
    ASSERT_TRUE(three);
    std::vector<std::string> targets;
    for (const textutil::Run& r : three->runs)
        if (!r.style->link.empty() && (targets.empty() || targets.back() != r.style->link)) targets.push_back(r.style->link);
    EXPECT_EQ(targets, (std::vector<std::string>{"http://google.com/", "http://python.org/", "http://yahoo.com/"}));

    const Document pics = readCorpus("docx/having-images.docx");
    ASSERT_EQ(pics.attachments.size(), 3u);
    for (const Attachment& a : pics.attachments) {
        EXPECT_EQ(a.mimeType, "image/png");
        EXPECT_GT(a.width, 10);
    }
}

TEST(textutil_office_corpus, DocxTablesAndScripts) {
    VORPEL_REQUIRE_CORPUS();
    const Document t = readCorpus("docx/tables.docx");
    ASSERT_EQ(countTables(t), 3);
    const Table* first = officetest::firstTable(t);
    ASSERT_EQ(first->rows.size(), 4u);
    ASSERT_EQ(first->rows[1].cells.size(), 4u);
    EXPECT_EQ(first->rows[1].cells[0].blocks.at(0).paragraph.plainText(), "Lebron James");
    const Document ru = readCorpus("docx/drawing.docx");
    EXPECT_NE(ru.plainText().find("МОНИТОРИНГ СМИ"), std::string::npos);
    const Document zh = readCorpus("docx/libreoffice_conversion.docx");
    EXPECT_NE(zh.plainText().find("东阳八婺招标代理有限公司"), std::string::npos);
    EXPECT_GT(countTables(zh), 0);
    // Notes: a superscript reference where cited, the text in the note.
    const Document notes = readCorpus("docx/footnotes.docx");
    const Paragraph* cited = findParagraph(notes, "Ouch");
    ASSERT_TRUE(cited);
    std::vector<int> refs;
    for (const textutil::Run& r : cited->runs)
        if (r.note >= 0) {
            refs.push_back(r.note);
            EXPECT_EQ(r.style->baseline, 1);
        }
    EXPECT_EQ(refs, (std::vector<int>{0, 1}));
    ASSERT_EQ(notes.notes.size(), 2u);
    EXPECT_EQ(notes.notes[0].blocks.at(0).paragraph.plainText(), "A tachyon walks into a bar.");
    EXPECT_EQ(notes.notes[1].blocks.at(0).paragraph.plainText(), "Fin.");
    EXPECT_EQ(notes.plainText().find("1 A tachyon"), std::string::npos);
    // A Google Docs package has no document properties part.
    const Document g = readCorpus("docx/google_docs.docx");
    EXPECT_NE(g.plainText().find("Pop-up lomo waistcoat"), std::string::npos);
}

TEST(textutil_office_corpus, OdtSpansPicturesAndLineBreaks) {
    VORPEL_REQUIRE_CORPUS();
    const Document spans = readCorpus("odt/tableWithSpans.odt");
    const Table* t = officetest::firstTable(spans);
    ASSERT_TRUE(t);
    bool wide = false;
    for (const TableRow& r : t->rows)
        for (const TableCell& c : r.cells)
            if (c.colSpan == 2 && !c.blocks.empty() && c.blocks[0].paragraph.plainText() == "Columnspan 2") wide = true;
    EXPECT_TRUE(wide);

    const Document planes = readCorpus("odt/planes.odt");
    ASSERT_EQ(planes.attachments.size(), 3u);
    for (const Attachment& a : planes.attachments) EXPECT_EQ(a.mimeType, "image/jpeg");
    EXPECT_EQ(findParagraph(planes, "a Thunderbolt")->style.listLevel, 1);
    EXPECT_NE(planes.plainText().find("Illustration 1: Thunderbolt"), std::string::npos);

    const Document poem = readCorpus("odt/Le Dormeur du val.odt");
    const Paragraph* stanza = findParagraph(poem, "C'est un trou de verdure");
    ASSERT_TRUE(stanza);
    const std::string text = stanza->plainText();
    EXPECT_NE(text.find("rivière,\xE2\x80\xA8" "Accrochant"), std::string::npos);
    EXPECT_GT(countHeadings(poem, 1) + countHeadings(poem, 2), 0);
    EXPECT_FALSE(poem.meta.generator.empty());

    const Document img = readCorpus("odt/image.odt");
    EXPECT_EQ(img.attachments.size(), 1u);
}

TEST(textutil_office_corpus, DocPieceTablesTablesAndPictures) {
    VORPEL_REQUIRE_CORPUS();
    const Document table = readCorpus("doc/simple-table.doc");
    const Table* t = officetest::firstTable(table);
    ASSERT_TRUE(t);
    ASSERT_EQ(t->rows.size(), 2u);
    ASSERT_EQ(t->rows[1].cells.size(), 3u);
    EXPECT_EQ(t->rows[1].cells[2].blocks.at(0).paragraph.plainText(), "Cell 2,3");
    EXPECT_TRUE(findParagraph(table, "This text is below the table."));

    // Fast-saved: several pieces, 8-bit and 16-bit, out of file order.
    const Document fast = readCorpus("doc/Bug33519.doc");
    EXPECT_NE(fast.plainText().find("РУСЕНСКИ КЛУБ ЗА ПЪТЕШЕСТВИЯ БЯЛА ЗВЕЗДА"), std::string::npos);
    EXPECT_NE(fast.plainText().find("e-mail: biala_zvezda@abv.bg"), std::string::npos);

    const Document zh = readCorpus("doc/61490.doc");
    const Paragraph* chapter = findParagraph(zh, "章节1.1的内容");
    ASSERT_TRUE(chapter);
    EXPECT_GT(countHeadings(zh, 1) + countHeadings(zh, 2), 0);

    const Document he = readCorpus("doc/Bug45473 עברית.doc");
    EXPECT_NE(he.plainText().find("יותר מחצי שנה"), std::string::npos);

    const Document pics = readCorpus("doc/testPictures.doc");
    int jpeg = 0, png = 0;
    for (const Attachment& a : pics.attachments) {
        jpeg += a.mimeType == "image/jpeg";
        png += a.mimeType == "image/png";
    }
    EXPECT_GE(jpeg, 2);
    EXPECT_GE(png, 1);
}

TEST(textutil_office_corpus, DocOldAndEncryptedFiles) {
    VORPEL_REQUIRE_CORPUS();
    const Document w95 = readCorpus("doc/Word95.doc");
    EXPECT_NE(w95.plainText().find("The quick brown fox jumps over the lazy dog"), std::string::npos);
    EXPECT_TRUE(findParagraph(w95, "Last (4th) paragraph."));
    const Paragraph* colours = findParagraph(w95, "Has some RED text");
    ASSERT_TRUE(colours);
    EXPECT_EQ(styleOf(*colours, "RED")->color, (Color{255, 0, 0}));
    EXPECT_FALSE(styleOf(*colours, "RED")->bold);
    EXPECT_TRUE(styleOf(*colours, "BLUE BOLD")->bold);
    EXPECT_EQ(styleOf(*colours, "BLUE BOLD")->color, (Color{0, 0, 255}));
    EXPECT_FALSE(styleOf(*colours, "text in it")->color.has_value());
    EXPECT_EQ(styleOf(*findParagraph(w95, "Last (4"), "th")->baseline, 1);
    try {
        readCorpus("doc/PasswordProtected.doc");
        FAIL() << "an encrypted document was read";
    } catch (const vorpel::ToolError& e) {
        EXPECT_NE(std::string(e.what()).find("encrypted"), std::string::npos) << e.what();
        EXPECT_EQ(e.status(), 1);
    }
}

TEST(textutil_office_corpus, WordMLTablesPicturesAndProperties) {
    VORPEL_REQUIRE_CORPUS();
    const Document a = readCorpus("wordml/testWORD2003.xml");
    EXPECT_TRUE(officetest::firstTable(a));
    EXPECT_NE(a.plainText().find("We have always been at war with Eurasia"), std::string::npos);
    EXPECT_GE(a.attachments.size(), 1u);
    const Document b = readCorpus("wordml/testWORD_2003ml.xml");
    EXPECT_GE(b.attachments.size(), 1u);
    EXPECT_TRUE(officetest::firstTable(b));
    EXPECT_GT(countHeadings(b, 1), 0);
}

} // namespace

// Footnotes and endnotes: kept as notes by the formats that hold them, as numbered text by the
// others, and read from the shapes other writers give them.
#include "fixtures.h"
#include "rtf.h"

#include <gtest/gtest.h>

using namespace textutil;

namespace {

// "Before[1] middle[i] after." with a footnote of two paragraphs and a one-line endnote.
Document notedDocument() {
    Document doc;
    Paragraph& p = doc.addParagraph();
    appendText(p, "Before", {});
    p.runs.emplace_back().note = 0;
    appendText(p, " middle", {});
    p.runs.emplace_back().note = 1;
    appendText(p, " after.", {});
    appendText(doc.addParagraph(), "Next paragraph.", {});

    Note& foot = doc.notes.emplace_back();
    appendText(foot.blocks.emplace_back().paragraph, "Footnote words one two.", {});
    Paragraph& second = foot.blocks.emplace_back().paragraph;
    appendText(second, "Second ", {});
    CharStyle bold;
    bold.bold = true;
    appendText(second, "boldnote", bold);
    appendText(second, " paragraph.", {});

    Note& end = doc.notes.emplace_back();
    end.kind = Note::Kind::Endnote;
    appendText(end.blocks.emplace_back().paragraph, "Endnote words three four.", {});
    return doc;
}

// The body text before the first reference, and the notes its references point at in order.
struct Cited {
    std::string before;
    std::vector<int> notes;
};

Cited cited(const Paragraph& p) {
    Cited c;
    for (const Run& r : p.runs) {
        if (r.note >= 0)
            c.notes.push_back(r.note);
        else if (c.notes.empty())
            c.before += r.text;
    }
    return c;
}

std::string text(const std::vector<Block>& blocks) {
    Document d;
    d.blocks = blocks;
    return d.plainText();
}

class textutilNotes : public ::testing::TestWithParam<std::string> {};

TEST_P(textutilNotes, NotesStayNotesWithTheirKindTextAndPlace) {
    const Document back = textutiltest::roundTrip(notedDocument(), GetParam());
    ASSERT_EQ(back.notes.size(), 2u);
    ASSERT_FALSE(back.blocks.empty());
    const Paragraph& body = back.blocks[0].paragraph;
    EXPECT_EQ(body.plainText(), "Before middle after.");
    const Cited c = cited(body);
    EXPECT_EQ(c.before, "Before");
    ASSERT_EQ(c.notes.size(), 2u);
    const Note& foot = back.notes[size_t(c.notes[0])];
    const Note& end = back.notes[size_t(c.notes[1])];
    EXPECT_EQ(foot.kind, Note::Kind::Footnote);
    EXPECT_EQ(end.kind, Note::Kind::Endnote);
    // The mark the writers put in front of a note's text is not read as text.
    EXPECT_EQ(text(foot.blocks), "Footnote words one two.\nSecond boldnote paragraph.");
    EXPECT_EQ(text(end.blocks), "Endnote words three four.");
    ASSERT_EQ(foot.blocks.size(), 2u);
    bool bold = false;
    for (const textutil::Run& r : foot.blocks[1].paragraph.runs)
        bold = bold || (r.text == "boldnote" && r.style->bold);
    EXPECT_TRUE(bold);
    // Nothing of the notes is left in the body.
    std::string bodyText;
    for (const Block& b : back.blocks)
        bodyText += b.paragraph.plainText() + "\n";
    EXPECT_EQ(bodyText.find("Footnote"), std::string::npos) << bodyText;
    EXPECT_EQ(bodyText.find("Endnote"), std::string::npos) << bodyText;
    EXPECT_NE(bodyText.find("Next paragraph."), std::string::npos) << bodyText;
}

// Notes and the page header and footer are separate stories: none takes the others' text.
class textutilNotesPaged : public ::testing::TestWithParam<std::string> {};

TEST_P(textutilNotesPaged, NotesBesidePageHeaderAndFooter) {
    Document doc = notedDocument();
    appendText(doc.header.emplace_back().paragraph, "Running head", {});
    appendText(doc.footer.emplace_back().paragraph, "Running foot", {});
    const Document back = textutiltest::roundTrip(doc, GetParam());
    ASSERT_EQ(back.notes.size(), 2u);
    EXPECT_EQ(text(back.header), "Running head");
    EXPECT_EQ(text(back.footer), "Running foot");
    ASSERT_FALSE(back.blocks.empty());
    const Cited c = cited(back.blocks[0].paragraph);
    ASSERT_EQ(c.notes.size(), 2u);
    EXPECT_EQ(text(back.notes[size_t(c.notes[0])].blocks),
              "Footnote words one two.\nSecond boldnote paragraph.");
    EXPECT_EQ(text(back.notes[size_t(c.notes[1])].blocks), "Endnote words three four.");
    std::string bodyText;
    for (const Block& b : back.blocks)
        bodyText += b.paragraph.plainText() + "\n";
    EXPECT_EQ(bodyText, "Before middle after.\nNext paragraph.\n");
}

INSTANTIATE_TEST_SUITE_P(Formats, textutilNotes,
                         ::testing::Values("docx", "doc", "odt", "wordml", "rtf", "rtfd", "html",
                                           "webarchive"));
INSTANTIATE_TEST_SUITE_P(Formats, textutilNotesPaged,
                         ::testing::Values("docx", "doc", "odt", "wordml", "rtf", "rtfd"));

TEST(textutilNotesAsText, FormatsWithoutNotesNumberThemAndKeepTheirWords) {
    const Document flat = notesAsText(notedDocument());
    EXPECT_TRUE(flat.notes.empty());
    EXPECT_EQ(flat.plainText(),
              "Before1 middle2 after.\nNext paragraph.\n1 Footnote words one two.\n"
              "Second boldnote paragraph.\n2 Endnote words three four.");
    const textutil::Run* mark = textutiltest::findRun(flat, "1");
    ASSERT_NE(mark, nullptr);
    EXPECT_EQ(mark->style->baseline, 1);
    EXPECT_EQ(writeTxt(notedDocument(), {}).data,
              "Before1 middle2 after.\nNext paragraph.\n1 Footnote words one two.\n"
              "Second boldnote paragraph.\n2 Endnote words three four.\n");
}

TEST(textutilNotesReading, RtfNotesAsLibreOfficeAndWordWriteThem) {
    const Document doc = rtf::parse(
        "{\\rtf1\\ansi\\pard Before{\\super\\chftn}{\\*\\footnote\\pard\\plain{\\super\\chftn} "
        "Footnote words one two three.} middle{\\super\\chftn}{\\footnote\\ftnalt\\pard\\plain"
        "{\\super\\chftn}\\tab Endnote words four five.} after.\\par\\pard Next paragraph.\\par}");
    ASSERT_EQ(doc.blocks.size(), 2u);
    EXPECT_EQ(doc.blocks[0].paragraph.plainText(), "Before middle after.");
    EXPECT_EQ(doc.blocks[1].paragraph.plainText(), "Next paragraph.");
    ASSERT_EQ(doc.notes.size(), 2u);
    EXPECT_EQ(cited(doc.blocks[0].paragraph).notes, (std::vector<int>{0, 1}));
    EXPECT_EQ(doc.notes[0].kind, Note::Kind::Footnote);
    EXPECT_EQ(doc.notes[1].kind, Note::Kind::Endnote);
    EXPECT_EQ(text(doc.notes[0].blocks), "Footnote words one two three.");
    EXPECT_EQ(text(doc.notes[1].blocks), "Endnote words four five.");
}

TEST(textutilNotesReading, RtfNoteAfterHeaderGroupAndNoteInsideTable) {
    // The header's group ends before the body; a note cited in a cell goes to its note.
    const Document doc =
        rtf::parse("{\\rtf1\\ansi{\\header\\pard Head words\\par}\\pard Body{\\super\\chftn}"
                   "{\\footnote\\pard\\plain{\\super\\chftn} Note words.} text.\\par"
                   "\\trowd\\cellx2000\\cellx4000\\pard\\intbl A{\\super\\chftn}{\\footnote\\pard"
                   "\\plain Cell note.}\\cell B\\cell\\row\\pard After.\\par}");
    EXPECT_EQ(text(doc.header), "Head words");
    ASSERT_EQ(doc.notes.size(), 2u);
    EXPECT_EQ(text(doc.notes[0].blocks), "Note words.");
    EXPECT_EQ(text(doc.notes[1].blocks), "Cell note.");
    ASSERT_EQ(doc.blocks.size(), 3u);
    EXPECT_EQ(doc.blocks[0].paragraph.plainText(), "Body text.");
    ASSERT_TRUE(doc.blocks[1].table.has_value());
    ASSERT_EQ(doc.blocks[1].table->rows.size(), 1u);
    ASSERT_EQ(doc.blocks[1].table->rows[0].cells.size(), 2u);
    EXPECT_EQ(text(doc.blocks[1].table->rows[0].cells[0].blocks), "A");
    EXPECT_EQ(text(doc.blocks[1].table->rows[0].cells[1].blocks), "B");
    EXPECT_EQ(doc.blocks[2].paragraph.plainText(), "After.");
}

TEST(textutilNotesReading, HtmlLinkedNotesInPandocAndLibreOfficeShapes) {
    auto read = [](const std::string& markup) {
        Input in;
        in.bytes = markup;
        return readHtml(in, {});
    };
    const Document pandoc =
        read("<html><body><p>Noted<a href=\"#fn1\" class=\"footnote-ref\" id=\"fnref1\" "
             "role=\"doc-noteref\"><sup>1</sup></a>"
             " here.</p><section class=\"footnotes\" role=\"doc-endnotes\"><hr><ol><li "
             "id=\"fn1\"><p>Pandoc note words "
             "<a href=\"#fnref1\" class=\"footnote-back\" "
             "role=\"doc-backlink\">\xE2\x86\xA9</a></p></li></ol></section>"
             "</body></html>");
    ASSERT_EQ(pandoc.notes.size(), 1u);
    EXPECT_EQ(pandoc.notes[0].kind, Note::Kind::Footnote);
    EXPECT_EQ(text(pandoc.notes[0].blocks), "Pandoc note words");
    ASSERT_EQ(pandoc.blocks.size(), 1u);
    EXPECT_EQ(pandoc.blocks[0].paragraph.plainText(), "Noted here.");
    EXPECT_EQ(cited(pandoc.blocks[0].paragraph).notes, std::vector<int>{0});

    const Document office = read("<html><body><p>Noted,<a class=\"sdfootnoteanc\" "
                                 "name=\"sdfootnote1anc\" href=\"#sdfootnote1sym\"><sup>1</sup></a>"
                                 " and<a class=\"sdendnoteanc\" name=\"sdendnote1anc\" "
                                 "href=\"#sdendnote1sym\"><sup>i</sup></a> closes.</p>"
                                 "<div id=\"sdendnote1\"><p><a class=\"sdendnotesym\" "
                                 "name=\"sdendnote1sym\" href=\"#sdendnote1anc\">i</a>"
                                 "Office endnote words</p></div><div id=\"sdfootnote1\"><p><a "
                                 "class=\"sdfootnotesym\" name=\"sdfootnote1sym\" "
                                 "href=\"#sdfootnote1anc\">1</a>Office footnote words</p><p>and "
                                 "more</p></div></body></html>");
    ASSERT_EQ(office.notes.size(), 2u);
    EXPECT_EQ(office.notes[0].kind, Note::Kind::Footnote);
    EXPECT_EQ(office.notes[1].kind, Note::Kind::Endnote);
    EXPECT_EQ(text(office.notes[0].blocks), "Office footnote words\nand more");
    EXPECT_EQ(text(office.notes[1].blocks), "Office endnote words");
    ASSERT_EQ(office.blocks.size(), 1u);
    EXPECT_EQ(office.blocks[0].paragraph.plainText(), "Noted, and closes.");

    // A link to a place further on that is no note stays a link, and its target stays text.
    const Document plain = read("<html><body><p>See <a href=\"#part2\">the second part</a>.</p>"
                                "<h2 id=\"part2\">Part two</h2><p>Its words.</p></body></html>");
    EXPECT_TRUE(plain.notes.empty());
    EXPECT_EQ(plain.plainText(), "See the second part.\nPart two\nIts words.");
}

} // namespace

namespace {

// .doc: a note opening with a table, a note holding a list, notes cited out of order, a
// second reference to a note, and a reference inside a note.
TEST(textutilNotesDoc, TablesListsAndRepeatedReferences) {
    Document doc;
    Paragraph& p = doc.addParagraph();
    appendText(p, "A", {});
    p.runs.emplace_back().note = 2;
    appendText(p, " B", {});
    p.runs.emplace_back().note = 0;
    appendText(p, " C", {});
    p.runs.emplace_back().note = 2;
    appendText(p, ".", {});

    Note& tabled = doc.notes.emplace_back();
    Table& t = tabled.blocks.emplace_back().table.emplace();
    TableRow& row = t.rows.emplace_back();
    appendText(row.cells.emplace_back().addParagraph(), "Tabled", {});
    appendText(row.cells.emplace_back().addParagraph(), "note", {});
    Paragraph& after = tabled.blocks.emplace_back().paragraph;
    appendText(after, "After the table, see", {});
    after.runs.emplace_back().note = 2;

    Note& unused = doc.notes.emplace_back();  // never cited
    appendText(unused.blocks.emplace_back().paragraph, "Uncited", {});

    Note& listed = doc.notes.emplace_back();
    listed.kind = Note::Kind::Endnote;
    for (const char* item : {"First item", "Second item"}) {
        Paragraph& li = listed.blocks.emplace_back().paragraph;
        li.style.listLevel = 1;
        appendText(li, item, {});
    }

    const Document back = textutiltest::roundTrip(doc, "doc");
    ASSERT_FALSE(back.blocks.empty());
    const Cited c = cited(back.blocks[0].paragraph);
    // The first reference to each note is one; a repeated one is its mark as text.
    ASSERT_EQ(c.notes.size(), 2u);
    ASSERT_EQ(back.notes.size(), 2u);
    EXPECT_EQ(back.blocks[0].paragraph.plainText(), "A B C3.");
    const Note& end = back.notes[size_t(c.notes[0])];
    const Note& foot = back.notes[size_t(c.notes[1])];
    EXPECT_EQ(end.kind, Note::Kind::Endnote);
    EXPECT_EQ(foot.kind, Note::Kind::Footnote);

    ASSERT_EQ(end.blocks.size(), 2u);
    for (const Block& b : end.blocks) EXPECT_EQ(b.paragraph.style.listLevel, 1);
    EXPECT_EQ(text(end.blocks), "First item\nSecond item");

    const Block* table = nullptr;
    for (const Block& b : foot.blocks)
        if (b.table) table = &b;
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->table->rows.size(), 1u);
    ASSERT_EQ(table->table->rows[0].cells.size(), 2u);
    EXPECT_EQ(text(table->table->rows[0].cells[1].blocks), "note");
    ASSERT_FALSE(foot.blocks.back().table);
    EXPECT_EQ(foot.blocks.back().paragraph.plainText(), "After the table, see3");
}

} // namespace

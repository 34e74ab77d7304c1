#include "sample.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <functional>

using namespace textutil;
using vorpeltest::haveProgram;
using vorpeltest::runProcess;

namespace {

bool contains(const std::string& s, const std::string& needle) { return s.find(needle) != std::string::npos; }

// Independent readers open the writers' output: pandoc for docx and odt, antiword and catdoc for doc.
TEST(textutil_office_oracle, PandocReadsDocxAndOdtOutput) {
    if (!haveProgram("pandoc")) GTEST_SKIP() << "pandoc not installed; skipping the docx/odt oracle";
    vorpeltest::TempDir dir;
    for (const char* format : {"docx", "odt"}) {
        SCOPED_TRACE(format);
        const auto path = dir / (std::string("out.") + format);
        vorpeltest::writeFile(path, officetest::writeAs(officetest::sampleDocument(), format));
        const auto r = runProcess({"pandoc", "--wrap=none", "-f", format, "-t", "html", path.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string& h = r.out;
        EXPECT_TRUE(contains(h, "<h1")) << h;
        EXPECT_TRUE(contains(h, "Main Title"));
        EXPECT_TRUE(contains(h, "<h2"));
        EXPECT_TRUE(contains(h, "<strong>bold</strong>"));
        EXPECT_TRUE(contains(h, "<em>italic</em>"));
        EXPECT_TRUE(contains(h, "href=\"https://example.com/a?b=1&amp;c=2\""));
        EXPECT_TRUE(contains(h, "<ol"));
        EXPECT_TRUE(contains(h, "<ul"));
        EXPECT_TRUE(contains(h, "<table"));
        EXPECT_TRUE(contains(h, "R2C2"));
        EXPECT_TRUE(contains(h, "<img"));
        EXPECT_TRUE(contains(h, "Ωμέγα 漢字"));
    }
}

// One source for the documents pandoc and LibreOffice make; both must read back the same way.
const char* const kSharedSource =
    "<html><head><title>Made Elsewhere</title><meta name=\"author\" content=\"E. Lsewhere\"></head><body>"
    "<h1>Chapter</h1><p>Some <b>strong</b> and <i>soft</i> words with a <a href=\"http://example.org/\">link</a>.</p>"
    "<ol><li>one</li><li>two</li></ol><ul><li>dot</li></ul>"
    "<table><tr><th>A</th><th>B</th></tr><tr><td>a1</td><td>b1</td></tr></table></body></html>";

void checkMadeDocument(const Document& doc, bool checkMeta) {
    if (checkMeta) {
        EXPECT_EQ(doc.meta.title, "Made Elsewhere");
    }
    const Paragraph* chapter = officetest::findParagraph(doc, "Chapter");
    ASSERT_TRUE(chapter);
    EXPECT_EQ(chapter->style.heading, 1);
    const Paragraph* words = officetest::findParagraph(doc, "Some strong");
    ASSERT_TRUE(words);
    EXPECT_TRUE(officetest::styleOf(*words, "strong")->bold);
    EXPECT_FALSE(officetest::styleOf(*words, "Some")->bold);
    EXPECT_TRUE(officetest::styleOf(*words, "soft")->italic);
    EXPECT_EQ(officetest::styleOf(*words, "link")->link, "http://example.org/");
    const Paragraph* two = officetest::findParagraph(doc, "two");
    ASSERT_TRUE(two);
    EXPECT_TRUE(two->style.ordered);
    EXPECT_EQ(two->style.listNumber, 2);
    const Paragraph* dot = officetest::findParagraph(doc, "dot");
    ASSERT_TRUE(dot);
    EXPECT_EQ(dot->style.listLevel, 1);
    EXPECT_FALSE(dot->style.ordered);
    const Table* t = officetest::firstTable(doc);
    ASSERT_TRUE(t);
    ASSERT_EQ(t->rows.size(), 2u);
    EXPECT_EQ(t->rows.back().cells.at(1).blocks.at(0).paragraph.plainText(), "b1");
}

TEST(textutil_office_oracle, ReadsDocumentsMadeByPandoc) {
    if (!haveProgram("pandoc")) GTEST_SKIP() << "pandoc not installed; skipping pandoc-made inputs";
    vorpeltest::TempDir dir;
    vorpeltest::writeFile(dir / "src.html", kSharedSource);
    for (const char* format : {"docx", "odt"}) {
        SCOPED_TRACE(format);
        const auto out = dir / (std::string("made.") + format);
        const auto r = runProcess({"pandoc", "-s", "-f", "html", (dir / "src.html").string(), "-o", out.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        const Document doc = readDocument(out, ReadOptions{});
        checkMadeDocument(doc, true);
        EXPECT_EQ(doc.meta.author, "E. Lsewhere");
    }
}

// A profile of the test's own: instances sharing the default one collide when tests run in parallel.
std::string profileOption(const vorpeltest::TempDir& dir) {
    return "-env:UserInstallation=file://" + (dir / "lo-profile").string();
}

TEST(textutil_office_oracle, ReadsDocumentsMadeByLibreOffice) {
    if (!haveProgram("soffice")) GTEST_SKIP() << "LibreOffice not installed; skipping LibreOffice-made inputs";
    vorpeltest::TempDir dir;
    vorpeltest::writeFile(dir / "src.html", kSharedSource);
    for (const char* format : {"docx", "odt", "doc"}) {
        SCOPED_TRACE(format);
        const auto r = runProcess({"soffice", profileOption(dir), "--headless", "--convert-to", std::string(format) + ":" +
                                   (std::string(format) == "doc" ? "MS Word 97" : std::string(format) == "odt" ? "writer8" : "MS Word 2007 XML"),
                                   "--outdir", dir.path().string(), (dir / "src.html").string()});
        ASSERT_EQ(r.status, 0) << r.err;
        const Document doc = readDocument(dir / (std::string("src.") + format), ReadOptions{});
        checkMadeDocument(doc, true);
        EXPECT_EQ(doc.meta.author, "E. Lsewhere");
    }
}

TEST(textutil_office_oracle, AntiwordAndCatdocReadDocOutput) {
    const bool antiword = haveProgram("antiword"), catdoc = haveProgram("catdoc");
    if (!antiword && !catdoc) GTEST_SKIP() << "neither antiword nor catdoc installed; skipping the doc oracle";
    vorpeltest::TempDir dir;
    const auto path = dir / "out.doc";
    vorpeltest::writeFile(path, officetest::writeAs(officetest::sampleDocument(), "doc"));
    if (antiword) {
        const auto r = runProcess({"antiword", "-m", "UTF-8.txt", path.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        for (const char* s : {"Main Title", "Plain bold and italic", "Ωμέγα", "2.", "Step two", "R2C2", "Wide cell", "The end."})
            EXPECT_TRUE(contains(r.out, s)) << s << "\n" << r.out;
        // Table rows come out as rows: all three cells on one line.
        EXPECT_TRUE(contains(r.out, "|R2C1")) << r.out;
    }
    if (catdoc) {
        // catdoc drops the text before a picture (Word's own files included), so it reads a copy without one.
        Document noPicture = officetest::sampleDocument();
        for (Block& b : noPicture.blocks)
            std::erase_if(b.paragraph.runs, [](const textutil::Run& r) { return r.attachment >= 0; });
        const auto plain = dir / "plain.doc";
        vorpeltest::writeFile(plain, officetest::writeAs(noPicture, "doc"));
        const auto r = runProcess({"catdoc", "-d", "utf-8", plain.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        for (const char* s : {"Main Title", "Step two", "R1C1\tR1C2\tR1C3", "Wide cell\tR3C3", "The end."})
            EXPECT_TRUE(contains(r.out, s)) << s << "\n" << r.out;
    }
}

// wvHtml renders the formatting: heading styles, bold, lists, tables and alignment.
TEST(textutil_office_oracle, WvHtmlShowsDocFormatting) {
    if (!haveProgram("wvHtml")) GTEST_SKIP() << "wvHtml not installed; skipping the doc formatting oracle";
    vorpeltest::TempDir dir;
    const auto path = dir / "in.doc";
    vorpeltest::writeFile(path, officetest::writeAs(officetest::sampleDocument(), "doc"));
    const auto r = runProcess({"wvHtml", "--targetdir=" + dir.path().string(), path.string(), "out.html"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string h = vorpeltest::readFile(dir / "out.html");
    EXPECT_TRUE(contains(h, "name=\"heading 1\"")) << h;
    EXPECT_TRUE(contains(h, "name=\"heading 2\""));
    EXPECT_TRUE(contains(h, "<b>bold</b>"));
    EXPECT_TRUE(contains(h, "<i>"));
    EXPECT_TRUE(contains(h, "<u>"));
    EXPECT_TRUE(contains(h, "text-align: center"));
    EXPECT_TRUE(contains(h, "<ol"));
    EXPECT_TRUE(contains(h, "<ul"));
    EXPECT_TRUE(contains(h, "<table"));
    EXPECT_TRUE(contains(h, "R3C3"));
    EXPECT_TRUE(contains(h, "href=\"https://example.com/a?b=1"));
}

// pandoc sizes pictures in CSS (inches, centimetres); the size reaches the document.
TEST(textutil_office_oracle, PictureSizesOfPandocHtml) {
    if (!haveProgram("pandoc")) GTEST_SKIP() << "pandoc not installed; skipping pandoc-made HTML";
    vorpeltest::TempDir dir;
    vorpeltest::writeFile(dir / "pic.png", officetest::tinyPng());
    vorpeltest::writeFile(dir / "src.md", "Wide: ![](pic.png){width=2in height=1in}\n\nNarrow: "
                                          "![](pic.png){width=3cm height=1.5cm}\n");
    const auto r = runProcess({"pandoc", "-f", "markdown", "-t", "html", (dir / "src.md").string(),
                               "-o", (dir / "page.html").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const Document doc = readDocument(dir / "page.html", ReadOptions{});
    ASSERT_EQ(doc.attachments.size(), 2u) << vorpeltest::readFile(dir / "page.html");
    EXPECT_NEAR(doc.attachments[0].width, 144, 144 * 0.05);
    EXPECT_NEAR(doc.attachments[0].height, 72, 72 * 0.05);
    EXPECT_NEAR(doc.attachments[1].width, 85, 85 * 0.05);
    EXPECT_NEAR(doc.attachments[1].height, 42.5, 42.5 * 0.05);
}

// Alignment, colours, fonts, picture size, title and author as LibreOffice reads them from
// every office output and RTF (through its own format, which our reader then opens).
TEST(textutil_office_oracle, LibreOfficeSeesFormattingAndProperties) {
    if (!haveProgram("soffice"))
        GTEST_SKIP() << "LibreOffice not installed; skipping the formatting check";
    vorpeltest::TempDir dir;
    const Document doc = officetest::formattedDocument();
    std::vector<std::string> args = {
        "soffice", profileOption(dir), "--headless",         "--convert-to",
        "odt",     "--outdir",         (dir / "lo").string()};
    const std::vector<std::string> formatNames = {"doc", "docx", "odt", "wordml", "rtf"};
    for (const std::string& f : formatNames)
        args.push_back(officetest::storeAs(doc, *findFormat(f), dir.path(), "fmt-" + f).string());
    const auto r = runProcess(args);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const std::string& f : formatNames) {
        SCOPED_TRACE(f);
        // LibreOffice's Word 2003 XML import sizes no picture, Word's own files included.
        officetest::checkFormatting(readDocument(dir / "lo" / ("fmt-" + f + ".odt"), ReadOptions{}),
                                    f != "wordml");
    }
}

// LibreOffice takes a .doc paragraph's list level only when it comes before the list
// reference, as Word writes them; otherwise every item lands at the first level.
TEST(textutil_office_oracle, LibreOfficeSeesDocListNesting) {
    if (!haveProgram("soffice"))
        GTEST_SKIP() << "LibreOffice not installed; skipping the .doc nesting check";
    vorpeltest::TempDir dir;
    const auto path = dir / "nested.doc";
    vorpeltest::writeFile(path, officetest::writeAs(officetest::sampleDocument(), "doc"));
    const auto r = runProcess({"soffice", profileOption(dir), "--headless", "--convert-to", "html",
                               "--outdir", dir.path().string(), path.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const Document doc = readDocument(dir / "nested.html", ReadOptions{});
    const Paragraph* outer = officetest::findParagraph(doc, "First bullet");
    const Paragraph* inner = officetest::findParagraph(doc, "Nested number two");
    const Paragraph* back = officetest::findParagraph(doc, "Second bullet");
    ASSERT_TRUE(outer && inner && back);
    EXPECT_EQ(outer->style.listLevel, 1);
    EXPECT_EQ(inner->style.listLevel, 2);
    EXPECT_TRUE(inner->style.ordered);
    EXPECT_EQ(back->style.listLevel, 1);
    EXPECT_FALSE(back->style.ordered);
}

// A footnote cited in the body, an endnote of two paragraphs (one with a link) cited in a
// table cell, and a page header: the .doc writer's note stories sit on both sides of the
// header story.
Document notedDocument() {
    Document doc;
    Paragraph& p = doc.addParagraph();
    appendText(p, "Cited here", {});
    p.runs.emplace_back().note = 0;
    appendText(p, " and on.", {});
    Table& t = doc.blocks.emplace_back().table.emplace();
    Paragraph& cell = t.rows.emplace_back().cells.emplace_back().addParagraph();
    appendText(cell, "In a cell", {});
    cell.runs.emplace_back().note = 1;
    appendText(doc.addParagraph(), "Closing words.", {});
    appendText(doc.header.emplace_back().paragraph, "Running head", {});

    Note& foot = doc.notes.emplace_back();
    CharStyle bold;
    bold.bold = true;
    Paragraph& f = foot.blocks.emplace_back().paragraph;
    appendText(f, "Foot ", {});
    appendText(f, "heavy", bold);
    appendText(f, " words.", {});
    Note& end = doc.notes.emplace_back();
    end.kind = Note::Kind::Endnote;
    appendText(end.blocks.emplace_back().paragraph, "End first paragraph.", {});
    Paragraph& e = end.blocks.emplace_back().paragraph;
    CharStyle link;
    link.link = "https://example.com/note";
    appendText(e, "End ", {});
    appendText(e, "linked", link);
    appendText(e, " second.", {});
    return doc;
}

std::string blocksText(const std::vector<Block>& blocks) {
    Document d;
    d.blocks = blocks;
    return d.plainText();
}

// The notes the document cites, in order, with the body text and the header unchanged.
void checkNotes(const Document& doc) {
    std::vector<int> cited;
    std::function<void(const std::vector<Block>&)> collect = [&](const std::vector<Block>& blocks) {
        for (const Block& b : blocks) {
            if (b.table)
                for (const TableRow& row : b.table->rows)
                    for (const TableCell& c : row.cells)
                        collect(c.blocks);
            for (const textutil::Run& r : b.paragraph.runs)
                if (r.note >= 0) cited.push_back(r.note);
        }
    };
    collect(doc.blocks);
    ASSERT_EQ(cited.size(), 2u);
    ASSERT_EQ(doc.notes.size(), 2u);
    const Note& foot = doc.notes.at(size_t(cited[0]));
    const Note& end = doc.notes.at(size_t(cited[1]));
    EXPECT_EQ(foot.kind, Note::Kind::Footnote);
    EXPECT_EQ(end.kind, Note::Kind::Endnote);
    EXPECT_EQ(blocksText(foot.blocks), "Foot heavy words.");
    ASSERT_EQ(foot.blocks.size(), 1u);
    EXPECT_TRUE(officetest::styleOf(foot.blocks[0].paragraph, "heavy")->bold);
    EXPECT_FALSE(officetest::styleOf(foot.blocks[0].paragraph, "Foot")->bold);
    EXPECT_EQ(blocksText(end.blocks), "End first paragraph.\nEnd linked second.");
    ASSERT_EQ(end.blocks.size(), 2u);
    EXPECT_EQ(officetest::styleOf(end.blocks[1].paragraph, "linked")->link, "https://example.com/note");
    EXPECT_EQ(blocksText(doc.header), "Running head");
    const Paragraph* first = officetest::findParagraph(doc, "Cited here");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->plainText(), "Cited here and on.");
    const Table* t = officetest::firstTable(doc);
    ASSERT_TRUE(t);
    EXPECT_EQ(blocksText(t->rows.at(0).cells.at(0).blocks), "In a cell");
    // No note text in the body.
    const std::string body = blocksText(doc.blocks);
    EXPECT_FALSE(contains(body, "Foot")) << body;
    EXPECT_FALSE(contains(body, "End first")) << body;
}

// .doc notes are note stories: our reader and LibreOffice's both find each note of its kind,
// with its paragraphs, formatting and link.
TEST(textutil_office_oracle, DocNotesReadAsNotes) {
    const std::string bytes = officetest::writeAs(notedDocument(), "doc");
    {
        SCOPED_TRACE("our reader");
        checkNotes(officetest::readBytes(bytes, "notes.doc"));
    }
    if (!haveProgram("soffice")) GTEST_SKIP() << "LibreOffice not installed; skipping its reading of .doc notes";
    SCOPED_TRACE("LibreOffice");
    vorpeltest::TempDir dir;
    vorpeltest::writeFile(dir / "notes.doc", bytes);
    const auto r = runProcess({"soffice", profileOption(dir), "--headless", "--convert-to", "odt", "--outdir",
                               (dir / "lo").string(), (dir / "notes.doc").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    checkNotes(readDocument(dir / "lo" / "notes.odt", ReadOptions{}));
}

// The text readers keep every word of the notes (catdoc shows a link's field instruction too).
TEST(textutil_office_oracle, DocNotesKeepTheirWordsInTextReaders) {
    vorpeltest::TempDir dir;
    const auto path = dir / "notes.doc";
    vorpeltest::writeFile(path, officetest::writeAs(notedDocument(), "doc"));
    bool any = false;
    for (const std::vector<std::string>& cmd :
         {std::vector<std::string>{"antiword", "-m", "UTF-8.txt", path.string()},
          std::vector<std::string>{"catdoc", "-d", "utf-8", path.string()}}) {
        if (!haveProgram(cmd[0])) continue;
        SCOPED_TRACE(cmd[0]);
        any = true;
        const auto r = runProcess(cmd);
        ASSERT_EQ(r.status, 0) << r.err;
        for (const char* s : {"Cited here", "In a cell", "Closing words.", "Foot heavy words.",
                              "End first paragraph.", "linked", " second."})
            EXPECT_TRUE(contains(r.out, s)) << s << "\n" << r.out;
    }
    if (!any) GTEST_SKIP() << "neither antiword nor catdoc installed; skipping the .doc notes text check";
}

// Round trip through LibreOffice where it is installed: the writers' output opens and converts.
TEST(textutil_office_oracle, LibreOfficeOpensEveryOfficeOutput) {
    if (!haveProgram("soffice")) GTEST_SKIP() << "LibreOffice not installed; skipping the LibreOffice round trip";
    vorpeltest::TempDir dir;
    for (const char* format : {"docx", "odt", "wordml", "doc"}) {
        SCOPED_TRACE(format);
        const std::string ext = std::string(format) == "wordml" ? "xml" : format;
        const auto path = dir / (std::string("lo-") + format + "." + ext);
        vorpeltest::writeFile(path, officetest::writeAs(officetest::sampleDocument(), format));
        const auto r = runProcess({"soffice", profileOption(dir), "--headless", "--cat", path.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(contains(r.out, "Section Two"));
        EXPECT_TRUE(contains(r.out, "R2C2"));
    }
}

} // namespace

// Writers that hand a long output to a sink as they go: the bytes are those of the whole
// output, in pieces no larger than a chunk and a block, and what a writer declares before
// the text (fonts, colours, style classes) covers text it comes to only late.
#include "fixtures.h"
#include "html.h"
#include "rtf.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

using namespace textutil;

namespace {

class RecordingSink : public Sink {
public:
    void write(std::string_view data) override { pieces.emplace_back(data); }
    std::string joined() const {
        std::string all;
        for (const std::string& p : pieces)
            all += p;
        return all;
    }
    std::vector<std::string> pieces;
};

CharStyle styled(const char* font, Color color) {
    CharStyle cs;
    cs.font = std::string(font);
    cs.color = color;
    return cs;
}

// Several chunks of body text and a long table after the rich fixture, with fonts, colours and
// paragraph styles seen nowhere but in a note, the page header, the footer, a nested table's
// cell and a link.
Document lateStyledDocument() {
    Document doc = textutiltest::richDocument();
    const std::string words = "Words enough to fill a line of prose, and then some more of them. ";
    std::string text;
    for (int i = 0; i < 12; ++i)
        text += words;
    for (size_t n = 0; n < 3 * kSinkChunk / text.size(); ++n) {
        ParaStyle ps;
        ps.align = n % 3 == 0 ? Align::Justify : Align::Natural;
        ps.spaceAfter = double(n % 4);
        Paragraph& p = doc.addParagraph(ps);
        appendText(p, text, {});
        if (n == 1000) p.runs.emplace_back().note = 0;
    }
    // A table longer than a chunk, which goes out a few rows at a time.
    Block& big = doc.blocks.emplace_back();
    big.table.emplace();
    for (size_t n = 0; n < kSinkChunk / 400; ++n) {
        TableRow& row = big.table->rows.emplace_back();
        for (int c = 0; c < 2; ++c)
            appendText(row.cells.emplace_back().addParagraph(), text.substr(0, 300), {});
    }
    CharStyle late;
    late.link = "https://example.org/late";
    appendText(doc.addParagraph(), "a link at the very end", late);

    Note& note = doc.notes.emplace_back();
    ParaStyle centred;
    centred.align = Align::Center;
    centred.rightIndent = 7;
    appendText(note.blocks.emplace_back().paragraph, "note text", styled("Note Serif", {1, 2, 3}));
    note.blocks.back().paragraph.style = centred;

    ParaStyle right;
    right.align = Align::Right;
    right.spaceBefore = 9;
    appendText(doc.header.emplace_back().paragraph, "running head", styled("Head Mono", {4, 5, 6}));
    doc.header.back().paragraph.style = right;
    CharStyle foot;
    foot.background = Color{7, 8, 9};
    appendText(doc.footer.emplace_back().paragraph, "page foot", foot);

    // A table in a table at the end, its inner cell styled as nothing else is.
    Block& outer = doc.blocks.emplace_back();
    outer.table.emplace();
    TableCell& cell = outer.table->rows.emplace_back().cells.emplace_back();
    Block& innerBlock = cell.blocks.emplace_back();
    innerBlock.table.emplace();
    ParaStyle indented;
    indented.rightIndent = 11;
    appendText(innerBlock.table->rows.emplace_back().cells.emplace_back().addParagraph(indented),
               "deep cell", styled("Cell Sans", {10, 11, 12}));
    return doc;
}

const Document& bigDocument() {
    static const Document doc = lateStyledDocument();
    return doc;
}

// Writes with a sink and without, which must give the same bytes; returns the streamed pieces.
std::vector<std::string> streamedLikeWhole(const std::string& format, WriteOptions opts = {}) {
    const Format* f = findFormat(format);
    EXPECT_NE(f, nullptr);
    const Output whole = f->write(bigDocument(), opts);
    EXPECT_FALSE(whole.streamed);
    RecordingSink sink;
    opts.sink = &sink;
    const Output out = f->write(bigDocument(), opts);
    EXPECT_TRUE(out.streamed) << format;
    EXPECT_TRUE(out.data.empty()) << format;
    EXPECT_TRUE(sink.joined() == whole.data)
        << format << ": the streamed bytes differ from the whole output";
    return sink.pieces;
}

// The span of the first run whose text contains `needle`, in the body, a note or the header and
// footer.
const Run* runAnywhere(const Document& doc, const std::string& needle) {
    if (const Run* r = textutiltest::findRun(doc, needle)) return r;
    std::vector<const std::vector<Block>*> stories = {&doc.header, &doc.footer};
    for (const Note& n : doc.notes)
        stories.push_back(&n.blocks);
    for (const auto* blocks : stories)
        for (const Paragraph* p : flatParagraphs(*blocks))
            for (const Run& r : p->runs)
                if (r.text.find(needle) != std::string::npos) return &r;
    return nullptr;
}

} // namespace

TEST(textutilStreaming, LongOutputsGoOutInChunksWithTheBytesOfTheWholeOutput) {
    for (const std::string format : {"txt", "rtf", "html"}) {
        SCOPED_TRACE(format);
        const std::vector<std::string> pieces = streamedLikeWhole(format);
        EXPECT_GE(pieces.size(), 3u) << "not handed on as it was made";
        for (const std::string& p : pieces)
            EXPECT_LT(p.size(), kSinkChunk + 64 * 1024);
    }
    // Options that change the markup, not the character set, stream too.
    WriteOptions opts;
    opts.prefixSpaces = 3;
    opts.excludedElements = {"span", "blockquote"};
    EXPECT_GE(streamedLikeWhole("html", opts).size(), 3u);
}

// Fonts and colours are declared before the text: those met first in a note, the header, the
// footer, a nested cell or only as a link's colour are in the tables, under the right numbers.
TEST(textutilStreaming, RtfTablesHoldWhatTheTextMeetsLate) {
    RecordingSink sink;
    rtf::render(bigDocument(), false, nullptr, &sink);
    const Document back = rtf::parse(sink.joined());
    const struct {
        const char* text;
        const char* font;
        std::optional<Color> color, background;
    } expected[] = {
        {"note text", "Note Serif", Color{1, 2, 3}, {}},
        {"running head", "Head Mono", Color{4, 5, 6}, {}},
        {"page foot", "", {}, Color{7, 8, 9}},
        {"deep cell", "Cell Sans", Color{10, 11, 12}, {}},
        {"a link at the very end", "", Color{0, 0, 238}, {}},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.text);
        const textutil::Run* r = runAnywhere(back, e.text);
        ASSERT_NE(r, nullptr);
        if (*e.font) {
            EXPECT_EQ(std::string(r->style->font), e.font);
        }
        EXPECT_EQ(r->style->color, e.color);
        EXPECT_EQ(r->style->background, e.background);
    }
}

// The head's class rules come before the body: every class a paragraph uses has its rule, and
// classes are numbered in the order the page uses them, notes and nested cells included.
TEST(textutilStreaming, HtmlHeadDeclaresEveryClassInOrderOfUse) {
    RecordingSink sink;
    html::render(bigDocument(), {}, {}, "UTF-8", &sink);
    const std::string page = sink.joined();
    const size_t bodyAt = page.find("<body>");
    ASSERT_NE(bodyAt, std::string::npos);
    const std::string head = page.substr(0, bodyAt), body = page.substr(bodyAt);

    std::set<int> declared;
    const std::regex rule(R"(\n[a-z0-9]+\.p(\d+) \{)");
    for (auto it = std::sregex_iterator(head.begin(), head.end(), rule);
         it != std::sregex_iterator(); ++it)
        declared.insert(std::stoi((*it)[1]));
    std::vector<int> firstUse;
    std::set<int> seen;
    const std::regex use(R"re(class="p(\d+)")re");
    for (auto it = std::sregex_iterator(body.begin(), body.end(), use);
         it != std::sregex_iterator(); ++it) {
        const int n = std::stoi((*it)[1]);
        if (seen.insert(n).second) firstUse.push_back(n);
    }
    EXPECT_EQ(seen, declared);
    ASSERT_GE(firstUse.size(), 5u); // justified, spaced, centred, the note's, the cell's...
    for (size_t i = 0; i < firstUse.size(); ++i)
        EXPECT_EQ(firstUse[i], int(i + 1));
    // The note's and the nested cell's styles, which only the end of the page uses.
    EXPECT_NE(head.find("text-align: center; margin-right: 7.0pt"), std::string::npos);
    EXPECT_NE(head.find("margin-right: 11.0pt"), std::string::npos);
}

// A web archive is encoded around a stand-in for its page, which is then made into its place:
// the archive is the one encoded with the page in it, whether the page moves the offsets after
// it past a width (64 KiB, 16 MiB) or not, pictures and all.
TEST(textutilStreaming, WebArchivePageMadeIntoItsPlaceGivesTheWholeArchive) {
    std::vector<Document> docs;
    docs.push_back(textutiltest::richDocument());
    for (const size_t size : {65300, 65450, 65600})
        appendText(docs.emplace_back().addParagraph(), std::string(size, 'a'), {});
    for (Document& d : docs) {
        Attachment a;
        a.data = textutiltest::samplePng();
        a.mimeType = "image/png";
        a.fileName = "second.png";
        d.addParagraph().runs.emplace_back().attachment = d.addAttachment(a);
    }
    std::vector<const Document*> all = {&bigDocument()};
    for (const Document& d : docs)
        all.push_back(&d);
    for (const Document* doc : all) {
        WriteOptions opts;
        opts.outputPath = "/some/folder/page.webarchive";
        const Output whole = writeWebArchive(*doc, opts);
        RecordingSink sink;
        opts.sink = &sink;
        const Output out = writeWebArchive(*doc, opts);
        EXPECT_TRUE(out.streamed);
        EXPECT_TRUE(out.data.empty());
        EXPECT_TRUE(sink.joined() == whole.data)
            << "the archives differ, " << whole.data.size() << " bytes";
        if (doc == &bigDocument()) {
            EXPECT_GE(sink.pieces.size(), 3u);
        }
    }
}

#include "sample.h"
#include "testsupport.h"

#include <gtest/gtest.h>

namespace officetest {

using namespace textutil;

std::string tinyPng() {
    static const unsigned char png[] = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00,
        0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00,
        0x00, 0x00, 0x0D, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0x00, 0x01, 0x00, 0x00, 0x05, 0x00, 0x01,
        0x0D, 0x0A, 0x2D, 0xB4, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    return std::string(reinterpret_cast<const char*>(png), sizeof png);
}

// Adds a paragraph "Picture: " and a one-dot PNG shown at the given size.
static void addPicture(Document& doc, double width, double height) {
    Attachment a;
    a.data = tinyPng();
    a.mimeType = "image/png";
    a.fileName = "dot.png";
    a.width = width;
    a.height = height;
    const int idx = doc.addAttachment(a);
    Paragraph& pic = doc.addParagraph();
    appendText(pic, "Picture: ", {});
    pic.runs.emplace_back().attachment = idx;
}

Document sampleDocument() {
    Document doc;
    doc.meta.title = "Quarterly <Report> & Notes";
    doc.meta.author = "Zoë Writer";
    doc.meta.subject = "Sales";
    doc.meta.keywords = "alpha, beta";
    doc.meta.company = "Vorpel Ltd";

    ParaStyle h1;
    h1.heading = 1;
    appendText(doc.addParagraph(h1), "Main Title", {});
    ParaStyle h2;
    h2.heading = 2;
    appendText(doc.addParagraph(h2), "Section Two", {});

    Paragraph& styled = doc.addParagraph();
    CharStyle plain, bold, italic, under, strike, red, big, mono, link;
    bold.bold = true;
    italic.italic = true;
    under.underline = true;
    strike.strike = true;
    red.color = Color{200, 0, 0};
    big.size = 20;
    mono.font = "Courier New";
    link.link = "https://example.com/a?b=1&c=2";
    appendText(styled, "Plain ", plain);
    appendText(styled, "bold", bold);
    appendText(styled, " and ", plain);
    appendText(styled, "italic", italic);
    appendText(styled, " and ", plain);
    appendText(styled, "under", under);
    appendText(styled, " ", plain);
    appendText(styled, "struck", strike);
    appendText(styled, " ", plain);
    appendText(styled, "red", red);
    appendText(styled, " ", plain);
    appendText(styled, "large", big);
    appendText(styled, " ", plain);
    appendText(styled, "mono", mono);
    appendText(styled, " see ", plain);
    appendText(styled, "the site", link);
    appendText(styled, ". Ünïcödé: Ωμέγα 漢字 \xF0\x9F\x98\x80 tab\there", plain);

    ParaStyle centred;
    centred.align = Align::Center;
    appendText(doc.addParagraph(centred), "Centred line", {});

    auto item = [&](const std::string& text, int level, bool ordered, int number) {
        ParaStyle ps;
        ps.listLevel = level;
        ps.ordered = ordered;
        ps.listNumber = number;
        appendText(doc.addParagraph(ps), text, {});
    };
    item("First bullet", 1, false, 0);
    item("Nested number one", 2, true, 1);
    item("Nested number two", 2, true, 2);
    item("Second bullet", 1, false, 0);
    appendText(doc.addParagraph(), "Between lists", {});
    item("Step one", 1, true, 1);
    item("Step two", 1, true, 2);

    Table t;
    for (int r = 0; r < 3; ++r) {
        TableRow& row = t.rows.emplace_back();
        for (int c = 0; c < 3; ++c) {
            TableCell& cell = row.cells.emplace_back();
            appendText(cell.addParagraph(), "R" + std::to_string(r + 1) + "C" + std::to_string(c + 1), {});
        }
    }
    // The last row: one cell spanning two columns, then one more.
    t.rows[2].cells.erase(t.rows[2].cells.begin() + 1);
    t.rows[2].cells[0].colSpan = 2;
    t.rows[2].cells[0].blocks[0].paragraph.runs[0].text = "Wide cell";
    Block& tb = doc.blocks.emplace_back();
    tb.table = t;

    addPicture(doc, 72, 36);
    appendText(doc.addParagraph(), "The end.", {});
    return doc;
}

// Alignment, colours, fonts, a picture's display size and the title and author, in a
// document that every rich format can hold.
Document formattedDocument() {
    Document doc;
    doc.meta.title = "Pairs Of Formats";
    doc.meta.author = "Ada Quill";
    for (const auto& [text, align] :
         {std::pair{"Centred words", Align::Center}, std::pair{"Right words", Align::Right},
          std::pair{"Justified words", Align::Justify}}) {
        ParaStyle ps;
        ps.align = align;
        appendText(doc.addParagraph(ps), text, {});
    }
    Paragraph& p = doc.addParagraph();
    CharStyle red, marked, serif, large;
    red.color = Color{200, 30, 40};
    marked.background = Color{255, 255, 0};
    serif.font = "Georgia";
    large.size = 15;
    appendText(p, "Some ", {});
    appendText(p, "red", red);
    appendText(p, " then ", {});
    appendText(p, "marked", marked);
    appendText(p, " then ", {});
    appendText(p, "serif", serif);
    appendText(p, " then ", {});
    appendText(p, "large", large);
    appendText(p, " end.", {});

    addPicture(doc, 90, 45);
    return doc;
}

void checkFormatting(const Document& doc, bool pictureSize) {
    for (const auto& [text, align] :
         {std::pair{"Centred words", Align::Center}, std::pair{"Right words", Align::Right},
          std::pair{"Justified words", Align::Justify}}) {
        const Paragraph* p = findParagraph(doc, text);
        ASSERT_TRUE(p) << text;
        EXPECT_EQ(p->style.align, align) << text;
    }
    const Paragraph* p = findParagraph(doc, "Some red");
    ASSERT_TRUE(p);
    const CharStyle* red = styleOf(*p, "red");
    const CharStyle* marked = styleOf(*p, "marked");
    const CharStyle* serif = styleOf(*p, "serif");
    const CharStyle* large = styleOf(*p, "large");
    const CharStyle* plain = styleOf(*p, "Some");
    ASSERT_TRUE(red && marked && serif && large && plain);
    EXPECT_EQ(red->color, (Color{200, 30, 40}));
    EXPECT_EQ(marked->background, (Color{255, 255, 0}));
    EXPECT_EQ(serif->font, "Georgia");
    EXPECT_DOUBLE_EQ(large->size, 15);
    // Nothing spills onto the plain words (a reader may state the default colour).
    EXPECT_NE(plain->color, red->color);
    EXPECT_NE(plain->background, marked->background);
    ASSERT_EQ(doc.attachments.size(), 1u);
    if (pictureSize) {
        EXPECT_NEAR(doc.attachments[0].width, 90, 90 * 0.05);
        EXPECT_NEAR(doc.attachments[0].height, 45, 45 * 0.05);
    }
    EXPECT_EQ(doc.meta.title, "Pairs Of Formats");
    EXPECT_EQ(doc.meta.author, "Ada Quill");
}

std::string writeAs(const Document& doc, const std::string& format) {
    const Format* f = findFormat(format);
    if (!f) throw std::runtime_error("no format " + format);
    return f->write(doc, WriteOptions{}).data;
}

Document readBytes(const std::string& bytes, const std::string& name) {
    Input in;
    in.path = name;
    in.bytes = bytes;
    return readDocument(in, ReadOptions{});
}

Document roundTrip(const Document& doc, const std::string& format) {
    return readBytes(writeAs(doc, format), "roundtrip." + format);
}

std::filesystem::path storeAs(const Document& doc, const Format& format,
                              const std::filesystem::path& dir, const std::string& stem) {
    const Output out = format.write(doc, WriteOptions{});
    const auto path = dir / (stem + "." + std::string(format.extension));
    if (format.bundle) {
        std::filesystem::create_directories(path);
        for (const auto& [name, data] : out.files)
            vorpeltest::writeFile(path / name, data);
    } else {
        vorpeltest::writeFile(path, out.data);
    }
    return path;
}

const Paragraph* findParagraph(const Document& doc, const std::string& needle) {
    for (const Block& b : doc.blocks)
        if (!b.table && b.paragraph.plainText().find(needle) != std::string::npos) return &b.paragraph;
    return nullptr;
}

const CharStyle* styleOf(const Paragraph& p, const std::string& needle) {
    for (const Run& r : p.runs)
        if (r.attachment < 0 && r.text.find(needle) != std::string::npos) return &r.style.get();
    return nullptr;
}

const Table* firstTable(const Document& doc) {
    for (const Block& b : doc.blocks)
        if (b.table) return &*b.table;
    return nullptr;
}

} // namespace officetest

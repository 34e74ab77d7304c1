#include "sample.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace textutil;
using officetest::findParagraph;
using officetest::styleOf;

namespace {

// The office writers, each read back by the project's own reader.
class textutil_office_roundtrip : public ::testing::TestWithParam<std::string> {
protected:
    static Document sample() { return officetest::sampleDocument(); }
    Document back() const { return officetest::roundTrip(sample(), GetParam()); }
};

TEST_P(textutil_office_roundtrip, TextHeadingsAndAlignmentSurvive) {
    const Document src = sample();
    const Document doc = back();
    const Paragraph* h1 = findParagraph(doc, "Main Title");
    const Paragraph* h2 = findParagraph(doc, "Section Two");
    ASSERT_TRUE(h1 && h2);
    EXPECT_EQ(h1->style.heading, 1);
    EXPECT_EQ(h2->style.heading, 2);
    const Paragraph* styled = findParagraph(doc, "Plain bold");
    ASSERT_TRUE(styled);
    // Every character, including non-Latin scripts, an astral emoji and a tab, comes back.
    EXPECT_EQ(styled->plainText(), findParagraph(src, "Plain bold")->plainText());
    const Paragraph* centred = findParagraph(doc, "Centred line");
    ASSERT_TRUE(centred);
    EXPECT_EQ(centred->style.align, Align::Center);
    const Paragraph* end = findParagraph(doc, "The end.");
    ASSERT_TRUE(end);
    EXPECT_EQ(end->style.heading, 0);
}

TEST_P(textutil_office_roundtrip, CharacterStylesSurvive) {
    const Document doc = back();
    const Paragraph* p = findParagraph(doc, "Plain bold");
    ASSERT_TRUE(p);
    auto style = [&](const char* word) {
        const CharStyle* s = styleOf(*p, word);
        EXPECT_TRUE(s) << word;
        return s ? *s : CharStyle{};
    };
    EXPECT_TRUE(style("bold").bold);
    EXPECT_FALSE(style("Plain").bold);
    EXPECT_TRUE(style("italic").italic);
    EXPECT_FALSE(style("italic").bold);
    EXPECT_TRUE(style("under").underline);
    EXPECT_TRUE(style("struck").strike);
    ASSERT_TRUE(style("red").color.has_value());
    EXPECT_EQ(*style("red").color, (Color{200, 0, 0}));
    EXPECT_DOUBLE_EQ(style("large").size, 20);
    EXPECT_EQ(style("mono").font, "Courier New");
    EXPECT_EQ(style("the site").link, "https://example.com/a?b=1&c=2");
    EXPECT_TRUE(style(" see ").link.empty());
}

TEST_P(textutil_office_roundtrip, ListsKeepLevelsKindsAndNumbers) {
    const Document doc = back();
    const Paragraph* bullet = findParagraph(doc, "First bullet");
    const Paragraph* nested = findParagraph(doc, "Nested number two");
    const Paragraph* stepOne = findParagraph(doc, "Step one");
    const Paragraph* stepTwo = findParagraph(doc, "Step two");
    ASSERT_TRUE(bullet && nested && stepOne && stepTwo);
    EXPECT_EQ(bullet->style.listLevel, 1);
    EXPECT_FALSE(bullet->style.ordered);
    EXPECT_EQ(nested->style.listLevel, 2);
    EXPECT_TRUE(nested->style.ordered);
    EXPECT_EQ(nested->style.listNumber, 2);
    // A paragraph between lists restarts the numbering.
    EXPECT_TRUE(stepOne->style.ordered);
    EXPECT_EQ(stepOne->style.listNumber, 1);
    EXPECT_EQ(stepTwo->style.listNumber, 2);
    EXPECT_EQ(findParagraph(doc, "Between lists")->style.listLevel, 0);
}

TEST_P(textutil_office_roundtrip, TablesKeepCellsAndSpans) {
    const Document doc = back();
    const Table* t = officetest::firstTable(doc);
    ASSERT_TRUE(t);
    ASSERT_EQ(t->rows.size(), 3u);
    ASSERT_EQ(t->rows[0].cells.size(), 3u);
    EXPECT_EQ(t->rows[0].cells[0].blocks.at(0).paragraph.plainText(), "R1C1");
    EXPECT_EQ(t->rows[1].cells[2].blocks.at(0).paragraph.plainText(), "R2C3");
    ASSERT_EQ(t->rows[2].cells.size(), 2u);
    EXPECT_EQ(t->rows[2].cells[0].blocks.at(0).paragraph.plainText(), "Wide cell");
    EXPECT_EQ(t->rows[2].cells[1].blocks.at(0).paragraph.plainText(), "R3C3");
    EXPECT_EQ(t->rows[2].cells[0].colSpan, 2);
    EXPECT_EQ(t->rows[2].cells[1].colSpan, 1);
    // The paragraph after the table is outside it.
    EXPECT_TRUE(findParagraph(doc, "The end."));
}

TEST_P(textutil_office_roundtrip, PicturesAndMetadataSurvive) {
    const Document doc = back();
    ASSERT_EQ(doc.attachments.size(), 1u);
    EXPECT_EQ(doc.attachments[0].data, officetest::tinyPng());
    EXPECT_EQ(doc.attachments[0].mimeType, "image/png");
    EXPECT_NEAR(doc.attachments[0].width, 72, 0.5);
    EXPECT_NEAR(doc.attachments[0].height, 36, 0.5);
    const Paragraph* pic = findParagraph(doc, "Picture:");
    ASSERT_TRUE(pic);
    int pictures = 0;
    for (const textutil::Run& r : pic->runs) pictures += r.attachment == 0;
    EXPECT_EQ(pictures, 1);
    EXPECT_EQ(doc.meta.title, "Quarterly <Report> & Notes");
    EXPECT_EQ(doc.meta.author, "Zoë Writer");
    EXPECT_EQ(doc.meta.subject, "Sales");
    EXPECT_EQ(doc.meta.keywords, "alpha, beta");
    EXPECT_EQ(doc.meta.company, "Vorpel Ltd");
}

INSTANTIATE_TEST_SUITE_P(Formats, textutil_office_roundtrip, ::testing::Values("docx", "odt", "wordml", "doc"),
                         [](const auto& info) { return info.param; });

// Each of the nine formats as source and target: the text gets through every pair.
TEST(textutil_office_matrix, EveryFormatConvertsToEveryOther) {
    vorpeltest::TempDir dir;
    const Document sample = officetest::sampleDocument();
    auto store = [&](const Document& doc, const Format& f, const std::string& stem) {
        return officetest::storeAs(doc, f, dir.path(), stem);
    };
    int pairs = 0;
    for (const Format& from : formats()) {
        const Document src = readDocument(store(sample, from, "src-" + std::string(from.name)), ReadOptions{});
        for (const Format& to : formats()) {
            SCOPED_TRACE(std::string(from.name) + " -> " + std::string(to.name));
            const auto path = store(src, to, "out-" + std::string(from.name) + "-" + std::string(to.name));
            const Document got = readDocument(path, ReadOptions{});
            const std::string text = got.plainText();
            for (const char* needle : {"Main Title", "Plain bold and italic", "Ωμέγα 漢字", "Step two", "R2C2", "Wide cell", "The end."})
                EXPECT_NE(text.find(needle), std::string::npos) << needle;
            ++pairs;
        }
    }
    EXPECT_EQ(pairs, 81);
}

} // namespace

// Documents written by one format and read back keep their text, styles and pictures.
#include "fixtures.h"
#include "media.h"

#include <gtest/gtest.h>

using namespace textutil;
using textutiltest::findRun;

namespace {

class textutilRoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(textutilRoundTrip, TextSurvives) {
    const Document src = textutiltest::richDocument();
    const Document back = textutiltest::roundTrip(src, GetParam());
    EXPECT_EQ(back.plainText(), src.plainText());
}

TEST_P(textutilRoundTrip, CharacterStylesAndLinkSurvive) {
    const Document back = textutiltest::roundTrip(textutiltest::richDocument(), GetParam());
    const textutil::Run* bold = findRun(back, "bold");
    ASSERT_NE(bold, nullptr);
    EXPECT_TRUE(bold->style->bold);
    EXPECT_FALSE(bold->style->italic);
    const textutil::Run* it = findRun(back, "italic underlined");
    ASSERT_NE(it, nullptr);
    EXPECT_TRUE(it->style->italic);
    EXPECT_TRUE(it->style->underline);
    const textutil::Run* red = findRun(back, "red struck");
    ASSERT_NE(red, nullptr);
    EXPECT_TRUE(red->style->strike);
    ASSERT_TRUE(red->style->color.has_value());
    EXPECT_EQ(*red->style->color, (Color{200, 0, 0}));
    const textutil::Run* plain = findRun(back, "Plain");
    ASSERT_NE(plain, nullptr);
    EXPECT_FALSE(plain->style->bold);
    EXPECT_FALSE(plain->style->color.has_value());
    const textutil::Run* link = findRun(back, "a link");
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->style->link, "https://example.org/a?b=1&c=2");
}

TEST_P(textutilRoundTrip, ParagraphStructureSurvives) {
    const Document back = textutiltest::roundTrip(textutiltest::richDocument(), GetParam());
    const auto paras = textutiltest::allParagraphs(back);
    auto find = [&](const std::string& text) -> const Paragraph* {
        for (const Paragraph* p : paras)
            if (p->plainText() == text) return p;
        return nullptr;
    };
    const Paragraph* heading = find("Overview");
    ASSERT_NE(heading, nullptr);
    EXPECT_EQ(heading->style.heading, 1);
    const Paragraph* bullet = find("bullet 2");
    ASSERT_NE(bullet, nullptr);
    EXPECT_EQ(bullet->style.listLevel, 1);
    EXPECT_FALSE(bullet->style.ordered);
    const Paragraph* step = find("step 2");
    ASSERT_NE(step, nullptr);
    EXPECT_TRUE(step->style.ordered);
    EXPECT_EQ(step->style.listNumber, 2);
    const Paragraph* picture = find(" picture");
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->style.align, Align::Center);
    const Paragraph* after = find("After the table.");
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->style.listLevel, 0);

    const Table* table = nullptr;
    for (const Block& b : back.blocks)
        if (b.table) table = &*b.table;
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rows.size(), 2u);
    ASSERT_EQ(table->rows[1].cells.size(), 3u);
    ASSERT_EQ(table->rows[1].cells[2].blocks.size(), 1u);
    EXPECT_EQ(table->rows[1].cells[2].blocks[0].paragraph.plainText(), "r1c2");
}

TEST_P(textutilRoundTrip, PictureSurvivesInPlace) {
    const Document back = textutiltest::roundTrip(textutiltest::richDocument(), GetParam());
    ASSERT_EQ(back.attachments.size(), 1u);
    EXPECT_EQ(back.attachments[0].data, textutiltest::samplePng());
    EXPECT_EQ(back.attachments[0].mimeType, "image/png");
    bool referenced = false;
    for (const Paragraph* p : textutiltest::allParagraphs(back))
        for (const textutil::Run& r : p->runs)
            if (r.attachment == 0) referenced = p->plainText() == " picture";
    EXPECT_TRUE(referenced);
}

TEST_P(textutilRoundTrip, MetadataSurvives) {
    const Document back = textutiltest::roundTrip(textutiltest::richDocument(), GetParam());
    EXPECT_EQ(back.meta.title, "Quarterly notes");
    EXPECT_EQ(back.meta.author, "Ana Lyra");
}

INSTANTIATE_TEST_SUITE_P(Formats, textutilRoundTrip, ::testing::Values("rtf", "rtfd", "html", "webarchive"));

TEST(textutilRoundTripNames, BundleFormatsKeepAttachmentNames) {
    for (const char* fmt : {"rtfd", "html", "webarchive"}) {
        const Document back = textutiltest::roundTrip(textutiltest::richDocument(), fmt);
        ASSERT_EQ(back.attachments.size(), 1u) << fmt;
        EXPECT_EQ(back.attachments[0].fileName, "dot.png") << fmt;
    }
}

TEST(textutilRoundTripChain, EveryFormatFeedsTheNext) {
    // rtf -> html -> rtfd -> webarchive -> rtf -> txt: each reader takes the previous writer's output.
    Document doc = textutiltest::richDocument();
    for (const char* fmt : {"rtf", "html", "rtfd", "webarchive", "rtf"}) doc = textutiltest::roundTrip(doc, fmt);
    EXPECT_EQ(doc.plainText(), textutiltest::richDocument().plainText());
    ASSERT_NE(findRun(doc, "bold"), nullptr);
    EXPECT_TRUE(findRun(doc, "bold")->style->bold);
    ASSERT_EQ(doc.attachments.size(), 1u);
    EXPECT_EQ(doc.attachments[0].data, textutiltest::samplePng());
}

TEST(textutilRoundTripLists, NumberedListRightAfterABulletedOneKeepsItsKind) {
    // Two lists with nothing between them, each with a nested level of its own kind.
    Document src;
    auto item = [&](const std::string& text, int level, bool ordered, int number) {
        ParaStyle s;
        s.listLevel = level;
        s.ordered = ordered;
        s.listNumber = number;
        appendText(src.addParagraph(s), text, {});
    };
    item("dot one", 1, false, 0);
    item("dot two", 1, false, 0);
    item("dot nested", 2, false, 0);
    item("num one", 1, true, 1);
    item("num two", 1, true, 2);
    item("num nested", 2, true, 1);
    appendText(src.addParagraph(), "after", {});
    for (const char* fmt : {"rtf", "html", "doc", "docx", "odt", "wordml"}) {
        const Document back = textutiltest::roundTrip(src, fmt);
        ASSERT_EQ(back.blocks.size(), src.blocks.size()) << fmt;
        for (size_t i = 0; i < src.blocks.size(); ++i) {
            const Paragraph& want = src.blocks[i].paragraph;
            const Paragraph& got = back.blocks[i].paragraph;
            EXPECT_EQ(got.plainText(), want.plainText()) << fmt;
            EXPECT_EQ(got.style.listLevel, want.style.listLevel) << fmt << " " << want.plainText();
            EXPECT_EQ(got.style.ordered, want.style.ordered) << fmt << " " << want.plainText();
        }
    }
}

TEST(textutilRoundTripPictures, GifGoesIntoRtfAndDocAsPng) {
    // A 1x1 GIF: RTF and .doc hold only PNG and JPEG pictures.
    static const char gif[] = "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\x00,\x00\x00"
                              "\x00\x00\x01\x00\x01\x00\x00\x02\x02" "D\x01\x00;";
    Document src;
    Attachment a;
    a.data.assign(gif, sizeof gif - 1);
    a.mimeType = "image/gif";
    a.fileName = "dot.gif";
    a.width = 30;
    a.height = 15;
    const int idx = src.addAttachment(a);
    Paragraph& p = src.addParagraph();
    p.runs.emplace_back().attachment = idx;
    appendText(p, " caption", {});
    for (const char* fmt : {"rtf", "doc"}) {
        const Document back = textutiltest::roundTrip(src, fmt);
        ASSERT_EQ(back.attachments.size(), 1u) << fmt;
        const Attachment& got = back.attachments[0];
        EXPECT_EQ(got.mimeType, "image/png") << fmt;
        int w = 0, h = 0;
        EXPECT_TRUE(imagePixelSize(got.data, w, h)) << fmt;
        EXPECT_EQ(w, 1) << fmt;
        EXPECT_EQ(h, 1) << fmt;
        EXPECT_NEAR(got.width, 30, 0.1) << fmt;
        EXPECT_NEAR(got.height, 15, 0.1) << fmt;
        EXPECT_EQ(back.plainText(), " caption") << fmt;
    }
    // Bytes that are no picture are left out, not written as a broken one.
    Document junk = src;
    junk.attachments[0].data = "GIF89a but not really";
    EXPECT_TRUE(textutiltest::roundTrip(junk, "rtf").attachments.empty());
}

TEST(textutilRoundTripText, ListsAndTablesDegradeToReadableLines) {
    const Output out = writeTxt(textutiltest::richDocument(), {});
    EXPECT_NE(out.data.find("Overview\n"), std::string::npos);
    EXPECT_NE(out.data.find("\xE2\x80\xA2\tbullet 1\n"), std::string::npos);
    EXPECT_NE(out.data.find("2.\tstep 2\n"), std::string::npos);
    EXPECT_NE(out.data.find("r1c0\tr1c1\tr1c2\n"), std::string::npos);
    // Pictures have no text: nothing but the caption remains of that paragraph.
    EXPECT_NE(out.data.find("\n picture\n"), std::string::npos);
    Input in;
    in.bytes = out.data;
    const Document back = readTxt(in, {});
    EXPECT_EQ(writeTxt(back, {}).data, out.data);
}

} // namespace

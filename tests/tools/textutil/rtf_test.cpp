// The RTF reader on hand-made edge cases and on real-world RTF from several writers.
#include "fixtures.h"
#include "rtf.h"

#include "testsupport.h"

#include <gtest/gtest.h>

using namespace textutil;

namespace {

Document parse(const std::string& rtf) { return rtf::parse(rtf); }

TEST(textutilRtf, FontSizesStayWithinWhatRtfStates) {
    // Half points are 16-bit numbers in RTF: a larger one is damage, written back as the largest.
    const Document doc = parse("{\\rtf1\\ansi {\\fs99999999 big} {\\fs27 odd}}");
    EXPECT_EQ(textutiltest::runWith(doc, "big").style->size, textutil::FontSize::kMax);
    EXPECT_EQ(textutiltest::runWith(doc, "odd").style->size, 13.5);
    const std::string out = rtf::render(doc, false);
    EXPECT_NE(out.find("\\fs32767 big"), std::string::npos) << out;
    EXPECT_NE(out.find("\\fs27 odd"), std::string::npos) << out;
}

TEST(textutilRtfText, CodePagesAndEscapes) {
    // \ansicpg1251 bytes, a font whose charset overrides the code page, and Mac Roman.
    EXPECT_EQ(parse("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}").plainText(), "Привет");
    EXPECT_EQ(parse("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset238 Arial CE;}}"
                    "\\f0 \\'e9 \\f1 \\'e8}").plainText(),
              "é č");
    EXPECT_EQ(parse("{\\rtf1\\mac\\ansicpg10000 caf\\'8e}").plainText(), "café");
    // Hebrew's decoder holds a letter back for a following mark: the last one must still come out.
    EXPECT_EQ(parse("{\\rtf1\\ansi\\ansicpg1255 \\'f9\\'ec\\'e5\\'ed}").plainText(), "שלום");
    EXPECT_EQ(parse("{\\rtf1\\ansi\\ansicpg1255 \\'e0\\b x}").plainText(), "אx");
    // Double-byte code page: two escapes make one character.
    EXPECT_EQ(parse("{\\rtf1\\ansi\\ansicpg936 \\'b2\\'e2\\'ca\\'d4}").plainText(), "测试");
    EXPECT_EQ(parse("{\\rtf1 a\\{b\\}c\\\\d\\tab e\\~f\\emdash g}").plainText(), "a{b}c\\d\te\xC2\xA0" "f\xE2\x80\x94g");
}

TEST(textutilRtfText, UnicodeEscapesSkipTheirFallback) {
    EXPECT_EQ(parse("{\\rtf1\\uc1 \\u233?t\\u233?}").plainText(), "été");
    // Values above 32767 are written negative; the astral character is a surrogate pair.
    EXPECT_EQ(parse("{\\rtf1\\uc1 \\u-10179?\\u-8704?}").plainText(), "\xF0\x9F\x98\x80");
    EXPECT_EQ(parse("{\\rtf1\\uc1 \\u-4064?}").plainText(), "\xEF\x80\xA0");
    // \uc2: the fallback is two bytes, escaped or not; \uc0 has none.
    EXPECT_EQ(parse("{\\rtf1\\ansicpg936\\uc2 \\u27979\\'b2\\'e2\\u35797\\'ca\\'d4!}").plainText(), "测试!");
    EXPECT_EQ(parse("{\\rtf1\\uc2 \\u27979 ab c}").plainText(), "测 c");
    EXPECT_EQ(parse("{\\rtf1\\uc0 \\u8226 x}").plainText(), "•x");
    // A group resets \uc to its enclosing value.
    EXPECT_EQ(parse("{\\rtf1\\uc1 {\\uc3 \\u233 xyz}\\u233?}").plainText(), "éé");
}

TEST(textutilRtfText, DestinationsAndTablesDoNotLeakText) {
    const Document doc = parse(
        "{\\rtf1\\ansi{\\fonttbl{\\f0\\fswiss Helvetica;}{\\f1{\\*\\panose 0}Times;}}"
        "{\\colortbl;\\red255\\green0\\blue0;}{\\stylesheet{\\s0 Normal;}{\\s1 heading 1;}}"
        "{\\*\\generator Writer 1.0;}{\\info{\\title The title}{\\author Ann}{\\creatim\\yr2021\\mo3\\dy4\\hr5\\min6}}"
        "{\\*\\unknowndest secret}{\\header header text}{\\*\\bkmkstart mark}"
        "\\pard\\s1 Head\\par\\pard Body {\\nested {\\b deep}}{\\v  hidden} end\\par}");
    EXPECT_EQ(doc.plainText(), "Head\nBody deep end");
    EXPECT_EQ(doc.meta.title, "The title");
    EXPECT_EQ(doc.meta.author, "Ann");
    EXPECT_EQ(doc.meta.creationTime, "2021-03-04T05:06:00Z");
    ASSERT_EQ(doc.blocks.size(), 2u);
    EXPECT_EQ(doc.blocks[0].paragraph.style.heading, 1);
    EXPECT_EQ(doc.blocks[1].paragraph.style.heading, 0);
}

TEST(textutilRtfText, FootnotesAndEndnotesKeepTheirText) {
    // As LibreOffice and Word write them: the mark, then the note's group in place.
    const Document doc = parse(
        "{\\rtf1\\ansi\\pard Before{\\super\\chftn}{\\*\\footnote\\pard\\plain{\\super\\chftn} "
        "Footnote words one two three.} middle{\\super\\chftn}{\\footnote\\ftnalt\\pard\\plain"
        "{\\super\\chftn} Endnote words four five.} after.\\par\\pard Next paragraph.\\par}");
    ASSERT_GE(doc.blocks.size(), 2u);
    // The body paragraph stays whole, a reference at each mark, with no note text inside.
    EXPECT_EQ(doc.blocks[0].paragraph.plainText(), "Before middle after.");
    EXPECT_EQ(doc.blocks[1].paragraph.plainText(), "Next paragraph.");
    const std::string all = doc.plainText();
    EXPECT_NE(all.find("Footnote words one two three."), std::string::npos) << all;
    EXPECT_NE(all.find("Endnote words four five."), std::string::npos) << all;
    EXPECT_LT(all.find("Next paragraph."), all.find("Footnote words")) << all;
    // And they reach the outputs.
    for (auto* write : {&writeTxt, &writeHtml}) {
        const std::string out = write(doc, {}).data;
        EXPECT_NE(out.find("one two three."), std::string::npos);
        EXPECT_NE(out.find("four five."), std::string::npos);
    }
}

TEST(textutilRtfStyles, CharacterAndParagraphProperties) {
    const Document doc = parse(
        "{\\rtf1{\\fonttbl{\\f0 Helvetica;}{\\f1 Courier;}}{\\colortbl;\\red0\\green128\\blue0;\\red255\\green255\\blue0;}"
        "\\pard\\qc\\li720\\sa120 \\b bold\\b0  {\\i\\ul it}{\\strike s}{\\f1\\fs36 big}{\\cf1\\highlight2 green}"
        "{\\super 2}{\\sub x}\\par}");
    ASSERT_EQ(doc.blocks.size(), 1u);
    const Paragraph& p = doc.blocks[0].paragraph;
    EXPECT_EQ(p.style.align, Align::Center);
    EXPECT_DOUBLE_EQ(p.style.leftIndent, 36);
    EXPECT_DOUBLE_EQ(p.style.spaceAfter, 6);
    auto run = [&](const std::string& t) { return &textutiltest::runWith(doc, t); };
    EXPECT_TRUE(run("bold")->style->bold);
    EXPECT_FALSE(run(" ")->style->bold);
    EXPECT_TRUE(run("it")->style->italic && run("it")->style->underline);
    EXPECT_TRUE(run("s")->style->strike);
    EXPECT_EQ(run("big")->style->font, "Courier");
    EXPECT_DOUBLE_EQ(run("big")->style->size, 18);
    EXPECT_EQ(run("bold")->style->font, "Helvetica");
    EXPECT_EQ(run("green")->style->color, (Color{0, 128, 0}));
    EXPECT_EQ(run("green")->style->background, (Color{255, 255, 0}));
    EXPECT_EQ(run("2")->style->baseline, 1);
    EXPECT_EQ(run("x")->style->baseline, -1);
}

TEST(textutilRtfStructure, FieldsPicturesListsAndTables) {
    std::string hex;
    for (unsigned char c : textutiltest::samplePng()) {
        static const char* digits = "0123456789abcdef";
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    const Document doc = parse(
        "{\\rtf1 see {\\field{\\*\\fldinst{HYPERLINK \"http://x.org/\" \\\\o \"tip\"}}{\\fldrslt{\\ul site}}} now\\par"
        "{\\*\\shppict{\\pict\\pngblip\\picw2\\pich2\\picwgoal600\\pichgoal300 " + hex.substr(0, 40) + "\n" + hex.substr(40) + "}}"
        "{\\nonshppict{\\pict\\wmetafile8 0102}}\\par"
        "{\\pict\\wmetafile8\\picw1\\pich1 0100090000}\\par"
        "\\pard\\ls1\\ilvl1{\\listtext 3.\\tab}third\\par"
        "\\trowd\\cellx1000\\cellx2000\\pard\\intbl a1\\cell b1\\cell\\row"
        "\\trowd\\cellx1000\\cellx2000\\pard\\intbl a2\\par more\\cell b2\\cell\\row\\pard after\\par}");
    const textutil::Run* link = textutiltest::findRun(doc, "site");
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->style->link, "http://x.org/");
    EXPECT_TRUE(textutiltest::runWith(doc, " now").style->link.empty());
    // The PNG is kept once; metafiles have no portable form and are dropped.
    ASSERT_EQ(doc.attachments.size(), 1u);
    EXPECT_EQ(doc.attachments[0].data, textutiltest::samplePng());
    EXPECT_DOUBLE_EQ(doc.attachments[0].width, 30);
    EXPECT_DOUBLE_EQ(doc.attachments[0].height, 15);
    const auto paras = textutiltest::allParagraphs(doc);
    const Paragraph* third = nullptr;
    for (const Paragraph* p : paras)
        if (p->plainText() == "third") third = p;
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->style.listLevel, 2);
    EXPECT_TRUE(third->style.ordered);
    EXPECT_EQ(third->style.listNumber, 3);
    const Table* t = nullptr;
    for (const Block& b : doc.blocks)
        if (b.table) t = &*b.table;
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->rows.size(), 2u);
    ASSERT_EQ(t->rows[1].cells.size(), 2u);
    ASSERT_EQ(t->rows[1].cells[0].blocks.size(), 2u);
    EXPECT_EQ(t->rows[1].cells[0].blocks[1].paragraph.plainText(), "more");
    EXPECT_EQ(t->rows[1].cells[1].blocks[0].paragraph.plainText(), "b2");
    EXPECT_EQ(doc.blocks.back().paragraph.plainText(), "after");
}

TEST(textutilRtfStructure, ShapePictureTakesTheShapesFrame) {
    std::string hex;
    for (unsigned char c : textutiltest::samplePng()) {
        static const char* digits = "0123456789abcdef";
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    // As LibreOffice writes a picture: a shape whose "pib" holds it, in a frame of 144 x 72 pt,
    // with a second picture as the shape's fill and a result that repeats the picture.
    const Document doc =
        parse("{\\rtf1 before {\\field{\\*\\fldinst SHAPE "
              "}{\\fldrslt{\\shp{\\*\\shpinst\\shpleft0\\shptop-1440"
              "\\shpright2880\\shpbottom0{\\sp{\\sn shapeType}{\\sv 75}}{\\sp{\\sn pib}{\\sv "
              "{\\pict\\pngblip\\picw2\\pich2\n" +
              hex + "}}}{\\sp{\\sn fillBlip}{\\sv {\\pict\\pngblip " + hex +
              "}}}{\\shptxt boxed}}{\\shprslt{\\pict\\pngblip " + hex + "}}}}} after\\par}");
    ASSERT_EQ(doc.attachments.size(), 1u);
    EXPECT_EQ(doc.attachments[0].data, textutiltest::samplePng());
    EXPECT_DOUBLE_EQ(doc.attachments[0].width, 144);
    EXPECT_DOUBLE_EQ(doc.attachments[0].height, 72);
    EXPECT_EQ(doc.plainText(), "before  after");
    // A shape without a picture keeps its result, the only form of its content.
    const Document other =
        parse("{\\rtf1 {\\shp{\\*\\shpinst{\\sp{\\sn shapeType}{\\sv 1}}}{\\shprslt kept}}\\par}");
    EXPECT_EQ(other.plainText(), "kept");
}

TEST(textutilRtfStructure, CutShortDocumentsFailAndBytesAfterTheEndAreIgnored) {
    // The outer group's close ends the document; a file without it was cut short.
    EXPECT_EQ(parse("{\\rtf1 y}\\").plainText(), "y");
    EXPECT_EQ(parse(std::string("{\\rtf1 y}\r\n\0", 11)).plainText(), "y");
    EXPECT_EQ(parse("{\\rtf1 a{\\b b}}{\\rtf1 c}").plainText(), "ab");
    for (const char* cut : {"{\\rtf1 abc {\\b def", "{\\rtf1 abc {\\b def}", "{\\rtf1 x\\'4", "{\\rtf1 x\\}",
                            "{\\rtf1 {\\*\\generator x;}", "{\\rtf1 {\\pict\\pngblip 89504e"}) {
        SCOPED_TRACE(cut);
        EXPECT_THROW(parse(cut), std::runtime_error);
    }
    EXPECT_THROW(parse("not rtf"), std::runtime_error);
}

class textutilRtfCorpus : public ::testing::Test {
protected:
    Document read(const std::string& rel) {
        return readDocument(vorpeltest::corpusDir() / rel, {});
    }
};

TEST_F(textutilRtfCorpus, WritersAndCodePages) {
    VORPEL_REQUIRE_CORPUS();
    EXPECT_EQ(read("rtf/pile-of-poo.rtf").plainText().substr(0, 40), "Iñtërnâtiônàlizætiøn☃\xF0\x9F\x92\xA9");
    EXPECT_NE(read("rtf/bytes.rtf").plainText().find("УХВАЛА"), std::string::npos);
    EXPECT_NE(read("rtf/issue_28.rtf").plainText().find("印刷情况反映"), std::string::npos);
    EXPECT_NE(read("rtf/issue_11.rtf").plainText().find("测试"), std::string::npos);
    EXPECT_NE(read("rtf/unicode.rtf").plainText().find("柔道"), std::string::npos);
    EXPECT_NE(read("rtf/issue_55_1.rtf").plainText().find("เ"), std::string::npos);
    const std::string czech = "Článek týdne";
    EXPECT_EQ(read("rtf/testRTFWord2010CzechCharacters.rtf").plainText().substr(0, czech.size()), czech);
    const Document mac = read("rtf/os_x_text_edit_faces_mixed.rtf");
    ASSERT_NE(textutiltest::findRun(mac, "bold&italics"), nullptr);
    EXPECT_TRUE(textutiltest::runWith(mac, "bold&italics").style->italic);
}

TEST_F(textutilRtfCorpus, WordFeatures) {
    VORPEL_REQUIRE_CORPUS();
    const Document doc = read("rtf/testRTFVarious.rtf");
    const textutil::Run* link = textutiltest::findRun(doc, "This is a hyperlink");
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->style->link, "http://tika.apache.org");
    EXPECT_EQ(doc.meta.author, "Michael McCandless");
    int bullets = 0, numbers = 0;
    for (const Paragraph* p : textutiltest::allParagraphs(doc)) {
        if (p->style.listLevel && !p->style.ordered) ++bullets;
        if (p->style.listLevel && p->style.ordered) ++numbers;
    }
    EXPECT_EQ(bullets, 3);
    EXPECT_EQ(numbers, 3);
    EXPECT_NE(doc.plainText().find("Row 2 Col 3"), std::string::npos);
    EXPECT_EQ(doc.plainText().find("HYPERLINK"), std::string::npos);

    const Document pics = read("rtf/testRTFRegularImages.rtf");
    ASSERT_EQ(pics.attachments.size(), 2u);
    for (const Attachment& a : pics.attachments) EXPECT_EQ(a.mimeType, "image/jpeg");
}

TEST_F(textutilRtfCorpus, RtfdBundlesLoadTheirAttachments) {
    VORPEL_REQUIRE_CORPUS();
    const Document credits = read("rtfd/Credits.rtfd");
    ASSERT_EQ(credits.attachments.size(), 1u);
    EXPECT_EQ(credits.attachments[0].fileName, "nousoft.jpg");
    EXPECT_EQ(credits.attachments[0].data, vorpeltest::readFile(vorpeltest::corpusDir() / "rtfd/Credits.rtfd/nousoft.jpg"));
    // The attachment character after the reference is not text.
    EXPECT_EQ(credits.plainText().find("\xC2\xAC"), std::string::npos);
    const Document readme = read("rtfd/ReadMe.rtfd");
    ASSERT_EQ(readme.attachments.size(), 2u);
    EXPECT_EQ(readme.attachments[0].mimeType, "application/pdf");
}

TEST(textutilRtfWriter, SeparateListsKeepTheirOwnNumbering) {
    Document doc;
    auto item = [&](const std::string& text, int number) {
        ParaStyle s;
        s.listLevel = 1;
        s.ordered = true;
        s.listNumber = number;
        appendText(doc.addParagraph(s), text, {});
    };
    item("a", 1);
    item("b", 2);
    appendText(doc.addParagraph(), "between", {});
    item("e", 5);
    item("f", 6);
    const std::string out = rtf::render(doc, false);
    // Two list groups, the second starting at 5, so word processors number 1, 2 and 5, 6.
    EXPECT_NE(out.find("\\ls2\\ilvl0"), std::string::npos);
    EXPECT_NE(out.find("\\ls4\\ilvl0"), std::string::npos);
    EXPECT_NE(out.find("\\levelstartat5"), std::string::npos);
    const Document back = rtf::parse(out);
    ASSERT_EQ(back.blocks.size(), 5u);
    EXPECT_EQ(back.blocks[1].paragraph.style.listNumber, 2);
    EXPECT_EQ(back.blocks[2].paragraph.style.listLevel, 0);
    EXPECT_EQ(back.blocks[3].paragraph.style.listNumber, 5);
}

TEST(textutilRtfWriter, OutputIsPlainAsciiAndBalanced) {
    const std::string out = rtf::render(textutiltest::richDocument(), false);
    int depth = 0;
    bool ascii = true;
    for (size_t i = 0; i < out.size(); ++i) {
        const char c = out[i];
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
        if (c == '\\') ++i;
        else if (c == '{') ++depth;
        else if (c == '}') --depth;
        ASSERT_GE(depth, 0);
    }
    EXPECT_TRUE(ascii);
    EXPECT_EQ(depth, 0);
    EXPECT_NE(out.find("\\u-10179\\'3f\\u-8704\\'3f"), std::string::npos);  // the emoji as a surrogate pair
    EXPECT_NE(out.find("\\pngblip"), std::string::npos);
    const std::string bundle = rtf::render(textutiltest::richDocument(), true);
    EXPECT_NE(bundle.find("{{\\NeXTGraphic dot.png \\width30 \\height30}\\'ac}"), std::string::npos);
    EXPECT_EQ(bundle.find("\\pngblip"), std::string::npos);
}

} // namespace

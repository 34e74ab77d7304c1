// HTML and web-archive reading on broken markup, entities and real pages; HTML writing options.
#include "fixtures.h"
#include "html.h"
#include "media.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace textutil;

namespace {

Document html(const std::string& markup, const ReadOptions& opts = {}) {
    Input in;
    in.bytes = markup;
    return readHtml(in, opts);
}

TEST(textutilHtmlReader, EntitiesAndWhitespace) {
    const Document doc = html("<p>caf&eacute; &amp; cr&#232;me &#x1F600;&nbsp;x &lt;tag&gt;</p>"
                              "<p>  spread\n   over\tlines  </p><p>a<br>b</p><p><br></p>");
    ASSERT_EQ(doc.blocks.size(), 4u);
    EXPECT_EQ(doc.blocks[0].paragraph.plainText(), "café & crème \xF0\x9F\x98\x80\xC2\xA0x <tag>");
    EXPECT_EQ(doc.blocks[1].paragraph.plainText(), "spread over lines");
    EXPECT_EQ(doc.blocks[2].paragraph.plainText(), "a\xE2\x80\xA8" "b");
    EXPECT_EQ(doc.blocks[3].paragraph.plainText(), "");
}

TEST(textutilHtmlReader, BrokenMarkupKeepsTextAndStyles) {
    const Document doc = html("<html><body><p>one <b>bold <i>both</b> tail</p></div><p>two<p>three"
                              "<table><tr><td>cell</table><ul><li>x<li>y</ul><script>var hidden=1;</script>");
    const std::string text = doc.plainText();
    EXPECT_NE(text.find("one bold both tail"), std::string::npos);
    EXPECT_NE(text.find("two\nthree"), std::string::npos);
    EXPECT_NE(text.find("cell"), std::string::npos);
    EXPECT_EQ(text.find("hidden"), std::string::npos);
    EXPECT_TRUE(textutiltest::runWith(doc, "bold ").style->bold);
    const textutil::Run* both = textutiltest::findRun(doc, "both");
    EXPECT_TRUE(both->style->bold && both->style->italic);
    EXPECT_FALSE(textutiltest::runWith(doc, " tail").style->bold);
}

TEST(textutilHtmlReader, CssAndPresentationalStyles) {
    const Document doc = html(
        "<style>p.warn { color: #f00; text-align: right } .big { font-size: 18pt; font-family: 'Gill Sans', serif }</style>"
        "<p class=\"warn\">red <span class=\"big\">large</span> <font color=\"green\" face=\"Courier\">fc</font>"
        " <span style=\"font-weight:bold; text-decoration: underline line-through; background-color: rgb(1,2,3)\">css</span>"
        " <sup>up</sup><s>gone</s></p><h2 align=center>Title</h2>");
    const Paragraph& p = doc.blocks[0].paragraph;
    EXPECT_EQ(p.style.align, Align::Right);
    auto run = [&](const std::string& t) { return &textutiltest::runWith(doc, t); };
    EXPECT_EQ(run("red")->style->color, (Color{255, 0, 0}));
    EXPECT_DOUBLE_EQ(run("large")->style->size, 18);
    EXPECT_EQ(run("large")->style->font, "Gill Sans");
    EXPECT_EQ(run("fc")->style->color, (Color{0, 128, 0}));
    EXPECT_EQ(run("fc")->style->font, "Courier");
    const textutil::Run* css = run("css");
    EXPECT_TRUE(css->style->bold && css->style->underline && css->style->strike);
    EXPECT_EQ(css->style->background, (Color{1, 2, 3}));
    EXPECT_EQ(run("up")->style->baseline, 1);
    EXPECT_TRUE(run("gone")->style->strike);
    EXPECT_EQ(doc.blocks[1].paragraph.style.heading, 2);
    EXPECT_EQ(doc.blocks[1].paragraph.style.align, Align::Center);
}

TEST(textutilHtmlReader, ListsTablesAndLinks) {
    const Document doc = html("<ol start=4><li>four<ul><li>inner</ul><li>five</ol>"
                              "<table><tr><th>H</th><td colspan=2>wide</td></tr><tr><td>a<td>b<td>c</tr></table>"
                              "<p><a href='http://e.org/?q=1&amp;r=2'>go</a> <a href='javascript:void(0)'>no</a></p>");
    const auto paras = textutiltest::allParagraphs(doc);
    EXPECT_EQ(paras[0]->plainText(), "four");
    EXPECT_TRUE(paras[0]->style.ordered);
    EXPECT_EQ(paras[0]->style.listNumber, 4);
    EXPECT_EQ(paras[1]->plainText(), "inner");
    EXPECT_EQ(paras[1]->style.listLevel, 2);
    EXPECT_FALSE(paras[1]->style.ordered);
    EXPECT_EQ(paras[2]->style.listNumber, 5);
    const Table& t = *doc.blocks[3].table;
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[0].cells[1].colSpan, 2);
    EXPECT_TRUE(t.rows[0].cells[0].blocks[0].paragraph.runs[0].style->bold);
    EXPECT_EQ(t.rows[1].cells[2].blocks[0].paragraph.plainText(), "c");
    EXPECT_EQ(textutiltest::runWith(doc, "go").style->link, "http://e.org/?q=1&r=2");
    EXPECT_TRUE(textutiltest::runWith(doc, "no").style->link.empty());
}

TEST(textutilHtmlReader, PicturesFromDataUrlsAndLocalFiles) {
    vorpeltest::TempDir dir;
    vorpeltest::writeFile(dir / "pic one.png", textutiltest::samplePng());
    std::filesystem::create_directory(dir / "sub");
    vorpeltest::writeFile(dir / "sub" / "pic.png", textutiltest::samplePng());
    const std::string markup = "<p><img src=\"data:image/png;base64," + base64Encode(textutiltest::samplePng()) +
                               "\" width=40 height=20><img src=\"pic%20one.png\"><img src=\"missing.png\">"
                               "<img src=\"http://example.org/x.png\"><img src=\"sub/../sub/pic.png\"><img src=\"" +
                               (dir / "sub" / "pic.png").string() + "\"></p>";
    vorpeltest::writeFile(dir / "page.html", markup);
    const Document doc = readDocument(dir / "page.html", {});
    ASSERT_EQ(doc.attachments.size(), 4u);  // data:, beside the page, in a folder, by absolute path
    EXPECT_DOUBLE_EQ(doc.attachments[0].width, 30);
    EXPECT_EQ(doc.attachments[1].fileName, "pic one.png");
    EXPECT_EQ(doc.attachments[1].data, textutiltest::samplePng());
    ReadOptions noLoad;
    noLoad.noLoad = true;
    const Document bare = readDocument(dir / "page.html", noLoad);
    EXPECT_EQ(bare.attachments.size(), 1u);  // data: URLs are content, not loads
}

TEST(textutilHtmlReader, PictureDisplaySizeFromAttributesAndCss) {
    const std::string src =
        "data:image/png;base64," + base64Encode(textutiltest::samplePng()); // 2x2 pixels
    auto img = [&](const std::string& rest) { return "<img src=\"" + src + "\" " + rest + ">"; };
    const Document doc =
        html("<style>img.big { width: 72pt; height: 36pt }</style><p>" +
             img("style=\"width:2in;height:1in\"") + img("style=\"width: 3cm\"") +
             img("width=100 style=\"height:50mm\"") + "<span style=\"font-size:20pt\">" +
             img("style=\"width:10em;height:5em\"") + "</span>" +
             img("width=\"50%\" height=\"40\"") + img("class=\"big\" width=10 height=10") +
             img("style=\"width:1e999px;height:10px\"") + img("") + "</p>");
    const std::vector<std::pair<double, double>> want = {{144, 72},    {85.05, 85.05}, {75, 141.75},
                                                         {200, 100},   {30, 30},       {72, 36},
                                                         {14400, 7.5}, {0, 0}};
    ASSERT_EQ(doc.attachments.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(doc.attachments[i].width, want[i].first, 0.01);
        EXPECT_NEAR(doc.attachments[i].height, want[i].second, 0.01);
    }
    // A web archive made from such a page keeps the size.
    const Document back = textutiltest::roundTrip(
        html("<p>" + img("style=\"width:1in;height:0.5in\"") + "</p>"), "webarchive");
    ASSERT_EQ(back.attachments.size(), 1u);
    EXPECT_NEAR(back.attachments[0].width, 72, 72 * 0.05);
    EXPECT_NEAR(back.attachments[0].height, 36, 36 * 0.05);
}

TEST(textutilHtmlReader, DeepNestingIsReadWholeOrRefused) {
    // libxml2 alone stops at 256 levels and keeps only what came before.
    std::string markup = "<p>before</p>";
    for (int i = 0; i < 300; ++i) markup += "<div>";
    markup += "<p>deep</p>";
    for (int i = 0; i < 300; ++i) markup += "</div>";
    markup += "<p>after</p>";
    EXPECT_EQ(html(markup).plainText(), "before\ndeep\nafter");

    // Unclosed paragraphs close each other: 200,000 of them are flat, and all are kept.
    std::string flat;
    for (int i = 0; i < 200000; ++i) flat += "<p>w" + std::to_string(i);
    const Document doc = html(flat);
    ASSERT_EQ(doc.blocks.size(), 200000u);
    EXPECT_EQ(doc.blocks.back().paragraph.plainText(), "w199999");

    // Nesting deeper than the reader walks is refused, not cut.
    for (const std::string open : {"<div>", "<span>", "<b><i>"}) {
        std::string deep = "<p>before</p>";
        for (int i = 0; i < 200000; ++i) deep += open;
        deep += "lost?";
        try {
            (void)html(deep);
            ADD_FAILURE() << open << " x 200000 was read";
        } catch (const std::exception& e) {
            EXPECT_NE(std::string(e.what()).find("nested"), std::string::npos) << e.what();
        }
    }
}

TEST(textutilHtmlReader, XhtmlPrologueWithInternalSubset) {
    const std::string page =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- made by hand -->\n"
        "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" \"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\" [\n"
        "  <!ENTITY writer \"Ann ]> Lee\">\n  <!-- a ] b > c -->\n  <!ATTLIST p note CDATA 'x > y'>\n]>\n"
        "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>T</title></head><body><p>Hello</p></body></html>";
    EXPECT_EQ(html(page).plainText(), "Hello");
    // Brackets after the prologue are text.
    EXPECT_EQ(html("<!DOCTYPE html><p>a ]> b [c]</p>").plainText(), "a ]> b [c]");
}

TEST(textutilHtmlReader, CharsetDetection) {
    // Declared after a long preamble, declared wrongly beside a BOM, undeclared Latin-1, BOM-less UTF-16.
    const std::string preamble = "<script>" + std::string(5000, ' ') + "</script>";
    EXPECT_EQ(html(preamble + "<meta charset=\"windows-1251\"><p>\xcf\xf0\xe8</p>").plainText(), "При");
    EXPECT_EQ(html("<meta http-equiv=Content-Type content='text/html; charset=Shift_JIS'><p>\x82\xa0</p>").plainText(), "あ");
    EXPECT_EQ(html("\xEF\xBB\xBF<meta charset=unicode><p>\xC3\xA9</p>").plainText(), "é");
    EXPECT_EQ(html("<p>caf\xe9 \x80</p>").plainText(), "café €");
    std::string utf16;
    for (char c : std::string("<p>hi</p>")) {
        utf16 += c;
        utf16 += '\0';
    }
    EXPECT_EQ(html(utf16).plainText(), "hi");
    ReadOptions forced;
    forced.inputEncoding = "ISO-8859-5";
    EXPECT_EQ(html("<p>\xbf</p>", forced).plainText(), "П");
}

TEST(textutilHtmlReader, CorpusPages) {
    VORPEL_REQUIRE_CORPUS();
    const auto c = vorpeltest::corpusDir();
    EXPECT_NE(readDocument(c / "html/2ch ２ちゃんねる.html", {}).plainText().find("掲示板"), std::string::npos);
    const std::string plane1 = readDocument(c / "html/plane1-utf-16le.html", {}).plainText();
    EXPECT_NE(plane1.find("Unicode Plane 1 Example"), std::string::npos);
    EXPECT_NE(plane1.find("those on unicode-example-plane1.html"), std::string::npos);
    EXPECT_NE(readDocument(c / "html/big-preamble.html", {}).plainText().find("Аренда"), std::string::npos);
    EXPECT_NE(readDocument(c / "html/testHTMLNoisyMetaEncoding_1.html", {}).plainText().find("الاتحاد"), std::string::npos);
    EXPECT_EQ(readDocument(c / "html/testHTML_charset_utf16le.html", {}).plainText(), "This is a sample text");
    const Document tlm = readDocument(c / "html/tlm.html", {});
    EXPECT_NE(tlm.plainText().find("Tender Lovemaking"), std::string::npos);
    EXPECT_EQ(tlm.plainText().find("urchinTracker"), std::string::npos);
}

TEST(textutilWebArchive, CorpusArchivesWithSubresources) {
    VORPEL_REQUIRE_CORPUS();
    const auto c = vorpeltest::corpusDir();
    const Document tika = readDocument(c / "webarchive/testWEBARCHIVE.webarchive", {});
    EXPECT_NE(tika.plainText().find("Apache Tika"), std::string::npos);
    EXPECT_GE(tika.attachments.size(), 1u);
    for (const Attachment& a : tika.attachments) EXPECT_TRUE(isImageMime(a.mimeType)) << a.mimeType;
    const Document wiki = readDocument(c / "webarchive/Wikipedia.webarchive", {});
    EXPECT_NE(wiki.plainText().find("From Wikipedia, the free encyclopedia"), std::string::npos);
    EXPECT_GE(wiki.attachments.size(), 3u);
}

TEST(textutilWebArchive, WriterSettingsAndXmlPlists) {
    WriteOptions opts;
    opts.utf16 = true;
    opts.encoding = "UTF-16";
    opts.outputPath = "/tmp/some folder/out.webarchive";
    const Output out = writeWebArchive(textutiltest::richDocument(), opts);
    EXPECT_EQ(out.data.substr(0, 8), "bplist00");
    EXPECT_NE(out.data.find("WebResourceFrameName"), std::string::npos);
    Input in;
    in.bytes = out.data;
    const Document back = readDocument(in, {});
    EXPECT_EQ(back.plainText(), textutiltest::richDocument().plainText());
    EXPECT_EQ(back.attachments.size(), 1u);
    // The same archive as an XML property list reads the same.
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>WebMainResource</key><dict>"
        "<key>WebResourceData</key><data>" + base64Encode("<p>from <b>xml</b></p>") + "</data>"
        "<key>WebResourceMIMEType</key><string>text/html</string><key>WebResourceTextEncodingName</key><string>UTF-8</string>"
        "<key>WebResourceURL</key><string>file:///x.html</string></dict></dict></plist>";
    Input x;
    x.bytes = xml;
    const Document fromXml = readDocument(x, {});
    EXPECT_EQ(fromXml.plainText(), "from xml");
    EXPECT_TRUE(textutiltest::runWith(fromXml, "xml").style->bold);
}

TEST(textutilHtmlWriter, OptionsShapeTheMarkup) {
    const Document doc = textutiltest::richDocument();
    WriteOptions opts;
    opts.generator = "ZENTO";
    const std::string plain = writeHtml(doc, opts).data;
    EXPECT_NE(plain.find("<meta name=\"Generator\" content=\"ZENTO\">"), std::string::npos);
    EXPECT_NE(plain.find("<title>Quarterly notes</title>"), std::string::npos);
    EXPECT_NE(plain.find("<img src=\"data:image/png;base64,"), std::string::npos);
    EXPECT_NE(plain.find("href=\"https://example.org/a?b=1&amp;c=2\""), std::string::npos);

    opts.noStore = true;
    opts.excludedElements = {"span", "style"};
    opts.prefixSpaces = 2;
    const std::string stripped = writeHtml(doc, opts).data;
    EXPECT_EQ(stripped.find("<img"), std::string::npos);
    EXPECT_EQ(stripped.find("<span"), std::string::npos);
    EXPECT_EQ(stripped.find("<style"), std::string::npos);
    EXPECT_NE(stripped.find("\n    <h1>"), std::string::npos);  // body content two levels deep

    WriteOptions wide;
    wide.encoding = "UTF-16";
    const std::string u16 = writeHtml(doc, wide).data;
    EXPECT_EQ(u16.substr(0, 2), "\xFF\xFE");
    Input in;
    in.bytes = u16;
    EXPECT_EQ(readDocument(in, {}).plainText(), doc.plainText());

    WriteOptions latin;
    latin.encoding = "ISO-8859-1";
    const std::string l1 = writeHtml(doc, latin).data;
    EXPECT_NE(l1.find("&#128512;"), std::string::npos);  // outside Latin-1: a character reference
    EXPECT_NE(l1.find("caf&#233;"), std::string::npos);
}

TEST(textutilHtmlWriter, SpanStylesAreInlineAndReadBack) {
    // LibreOffice applies no class rules to spans: colours, fonts and sizes go on the span.
    Document doc;
    Paragraph& p = doc.addParagraph();
    CharStyle cs;
    cs.color = Color{192, 0, 0};
    cs.background = Color{255, 255, 0};
    cs.font = "Liberation Mono";
    cs.size = 18;
    appendText(p, "styled", cs);
    appendText(p, " plain", {});
    const std::string out = writeHtml(doc, {}).data;
    EXPECT_NE(
        out.find("<span style=\"font-family: 'Liberation Mono'; font-size: 18.0pt; color: #c00000; "
                 "background-color: #ffff00\">styled</span>"),
        std::string::npos)
        << out;
    EXPECT_EQ(out.find("span."), std::string::npos);
    const Document back = html(out);
    const CharStyle& got = textutiltest::runWith(back, "styled").style;
    EXPECT_EQ(got.color, cs.color);
    EXPECT_EQ(got.background, cs.background);
    EXPECT_EQ(got.font, cs.font);
    EXPECT_DOUBLE_EQ(got.size, 18);
    EXPECT_FALSE(textutiltest::runWith(back, "plain").style->color.has_value());
}

TEST(textutilHtmlReader, LibreOfficeNoteMarkStaysOffTheNoteText) {
    // LibreOffice's HTML: the note's text starts with its mark, a link back to the reference.
    const Document doc = html("<p>Said<a class=\"sdendnoteanc\" name=\"sdendnote1anc\" "
                              "href=\"#sdendnote1sym\"><sup>i</sup></a> here.</p>"
                              "<div id=\"sdendnote1\"><p class=\"sdendnote\"><a "
                              "class=\"sdendnotesym\" name=\"sdendnote1sym\" "
                              "href=\"#sdendnote1anc\">i</a>endnoteword closes it</p></div>");
    ASSERT_EQ(doc.notes.size(), 1u);
    EXPECT_EQ(doc.notes[0].kind, Note::Kind::Endnote);
    ASSERT_FALSE(doc.notes[0].blocks.empty());
    EXPECT_EQ(doc.notes[0].blocks[0].paragraph.plainText(), "endnoteword closes it");
    EXPECT_EQ(doc.plainText().find("iendnoteword"), std::string::npos) << doc.plainText();
}

} // namespace

namespace {

// A long page reads the same whether its tree is freed part by part as it is read (no notes)
// or kept for the notes after the body: every block, table and style survives either way.
// A size is kept in 4 bytes: what a damaged page states is bounded, never an infinity or NaN
// that writers would turn into garbage numbers.
TEST(textutilHtmlReader, FontSizesBeyondReasonAreBounded) {
    std::string nested = "<p>";
    for (int i = 0; i < 700; ++i)
        nested += "<big>";
    nested += "huge</p>";
    const Document doc =
        html("<p><span style=\"font-size: 1e300pt\">far</span> <span style=\"font-size: -4pt\">"
             "neg</span> <span style=\"font-size: nanpt\">nan</span> <span style=\"font-size: "
             "13.5pt\">usual</span></p>" +
             nested);
    EXPECT_EQ(textutiltest::runWith(doc, "far").style->size, textutil::FontSize::kMax);
    EXPECT_EQ(textutiltest::runWith(doc, "neg").style->size, 0);
    EXPECT_EQ(textutiltest::runWith(doc, "nan").style->size, 0);
    EXPECT_EQ(textutiltest::runWith(doc, "usual").style->size, 13.5);
    EXPECT_EQ(textutiltest::runWith(doc, "huge").style->size, textutil::FontSize::kMax);
}

// Parts of every kind the reader handles: tables, lists, styled blocks, loose text, paragraphs.
std::string longBody(int parts) {
    std::string body;
    for (int i = 0; i < parts; ++i) {
        const std::string n = std::to_string(i);
        switch (i % 5) {
        case 0: body += "<table><tr><td>cell " + n + "</td><td>next " + n + "</td></tr></table>"; break;
        case 1: body += "<ul><li>item " + n + "</li></ul>"; break;
        case 2: body += "<div class=\"big\">styled " + n + "</div>"; break;
        case 3: body += "loose " + n + " <b>bold " + n + "</b>"; break;
        default: body += "<p>para <i>" + n + "</i></p>"; break;
        }
    }
    return body;
}

void expectSameBlocks(const Document& a, const Document& b, size_t atLeast) {
    ASSERT_EQ(a.blocks.size(), b.blocks.size());
    EXPECT_GE(a.blocks.size(), atLeast);
    for (size_t i = 0; i + 1 < a.blocks.size(); ++i) {
        const Block& x = a.blocks[i];
        const Block& y = b.blocks[i];
        ASSERT_EQ(x.table.has_value(), y.table.has_value()) << i;
        if (x.table) {
            ASSERT_EQ(x.table->rows.size(), 1u) << i;
            ASSERT_EQ(x.table->rows[0].cells.size(), 2u) << i;
            ASSERT_EQ(y.table->rows[0].cells.size(), 2u) << i;
            EXPECT_EQ(x.table->rows[0].cells[1].blocks[0].paragraph.plainText(),
                      y.table->rows[0].cells[1].blocks[0].paragraph.plainText())
                << i;
            continue;
        }
        EXPECT_EQ(x.paragraph.plainText(), y.paragraph.plainText()) << i;
        EXPECT_EQ(x.paragraph.style, y.paragraph.style) << i;
        ASSERT_EQ(x.paragraph.runs.size(), y.paragraph.runs.size()) << i;
        for (size_t r = 0; r < x.paragraph.runs.size(); ++r)
            EXPECT_EQ(x.paragraph.runs[r].style, y.paragraph.runs[r].style) << i;
    }
}

const char* const kLongHead = "<html><head><style>.big { font-size: 20pt }</style></head><body>";

TEST(textutilHtmlReader, LongPagesReadTheSameWithAndWithoutNotes) {
    const std::string body = longBody(3000);
    const Document plain = html(kLongHead + body + "<p>end</p></body></html>");
    const Document noted = html(kLongHead + body +
                                "<p>end<a href=\"#n1\" class=\"footnote-ref\"><sup>1</sup></a></p>"
                                "<div id=\"n1\"><p>the note</p></div></body></html>");
    ASSERT_EQ(noted.notes.size(), 1u);
    expectSameBlocks(plain, noted, 3000);
    const std::string text = plain.plainText();
    for (const char* part : {"cell 2995", "item 2996", "styled 2997", "loose 2998 bold 2998", "para 2999", "end"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
    EXPECT_EQ(textutiltest::runWith(plain, "styled 2997").style->size, 20);
    EXPECT_TRUE(textutiltest::runWith(plain, "bold 2998").style->bold);
}

// A page of several megabytes is read while it is parsed, part by part; one with a style in
// its body is read as a whole tree. Both must give the same document, also for the parts the
// parser had only half read at a time.
TEST(textutilHtmlReader, PagesReadWhileParsedMatchWholeTrees) {
    const std::string body = longBody(60000);
    ASSERT_GT(body.size(), 2u << 20);
    const std::string tail =
        "<p>end</p><title>Late</title><meta name=\"author\" content=\"Kim\"></body></html>";
    const Document streamed = html(kLongHead + body + tail);
    const Document whole = html(kLongHead + body + "<style></style>" + tail);
    expectSameBlocks(streamed, whole, 60000);
    // A title in the body is shown, as browsers do, and still names the document.
    for (const Document* d : {&streamed, &whole}) {
        const std::string text = d->plainText();
        EXPECT_EQ(text.substr(text.size() - 8), "end\nLate");
    }
    EXPECT_EQ(streamed.meta.title, "Late");
    EXPECT_EQ(streamed.meta.author, "Kim");
    EXPECT_EQ(textutiltest::runWith(streamed, "styled 59997").style->size, 20);
    // A body hidden by its style hides the page either way.
    EXPECT_EQ(html("<html><body style=\"display:none\"><p>x</p></body></html>").plainText(), "");
    // Text after the body, even after the page's end, still counts.
    for (const char* after : {"</body></html>after", "</body></html><p>after</p>",
                              "</html>  <!-- c --> after", "</body>after</html>"})
        EXPECT_EQ(html(std::string("<html><body><p>in</p>") + after).plainText(), "in\nafter")
            << after;
}

} // namespace

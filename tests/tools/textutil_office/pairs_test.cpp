#include "sample.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace textutil;
using officetest::findParagraph;
using officetest::styleOf;

namespace {

// Alignment, colours, fonts, a picture's display size and the title and author, in a
// document that every rich format can hold.
Document formattedDocument() {
    Document doc;
    doc.meta.title = "Pairs Of Formats";
    doc.meta.author = "Ada Quill";
    for (const auto& [text, align] : {std::pair{"Centred words", Align::Center}, std::pair{"Right words", Align::Right},
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

    Attachment a;
    a.data = officetest::tinyPng();
    a.mimeType = "image/png";
    a.fileName = "dot.png";
    a.width = 90;
    a.height = 45;
    const int idx = doc.addAttachment(a);
    Paragraph& pic = doc.addParagraph();
    appendText(pic, "Picture: ", {});
    pic.runs.emplace_back().attachment = idx;
    return doc;
}

void checkFormatting(const Document& doc) {
    for (const auto& [text, align] : {std::pair{"Centred words", Align::Center}, std::pair{"Right words", Align::Right},
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
    EXPECT_FALSE(plain->color.has_value());
    EXPECT_FALSE(plain->background.has_value());
    ASSERT_EQ(doc.attachments.size(), 1u);
    EXPECT_NEAR(doc.attachments[0].width, 90, 90 * 0.05);
    EXPECT_NEAR(doc.attachments[0].height, 45, 45 * 0.05);
    EXPECT_EQ(doc.meta.title, "Pairs Of Formats");
    EXPECT_EQ(doc.meta.author, "Ada Quill");
}

// Every rich format as source and as target: what one writes, the next reads and writes on.
TEST(textutil_office_matrix, FormattingAndPropertiesSurviveEveryRichPair) {
    vorpeltest::TempDir dir;
    const Document sample = formattedDocument();
    int pairs = 0;
    for (const Format& from : formats()) {
        if (from.name == "txt") continue;
        const Document src = readDocument(officetest::storeAs(sample, from, dir.path(), "src-" + std::string(from.name)), {});
        {
            SCOPED_TRACE(std::string(from.name));
            checkFormatting(src);
        }
        for (const Format& to : formats()) {
            if (to.name == "txt") continue;
            SCOPED_TRACE(std::string(from.name) + " -> " + std::string(to.name));
            const std::string stem = "out-" + std::string(from.name) + "-" + std::string(to.name);
            checkFormatting(readDocument(officetest::storeAs(src, to, dir.path(), stem), {}));
            ++pairs;
        }
    }
    EXPECT_EQ(pairs, 64);
}

} // namespace

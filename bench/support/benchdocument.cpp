#include "benchdocument.h"

namespace vorpelbench {

using namespace textutil;

static std::string words(int seed, int n) {
    static const char* const w[] = {"office", "document", "converter", "the", "of", "table", "picture", "and",
                                    "heading", "list", "reader", "writer", "quietly", "with", "each", "page",
                                    "text", "in", "a", "to", "Ωμέγα", "naïve"};
    std::string s;
    for (int i = 0; i < n; ++i) s += std::string(i ? " " : "") + w[(seed * 13 + i * 7) % 22];
    return s + ". ";
}

Document twentyPages(const std::vector<std::string>& pictures) {
    Document doc;
    doc.meta.title = "Office benchmark";
    doc.meta.author = "textutil bench";
    for (int page = 0; page < 20; ++page) {
        ParaStyle h;
        h.heading = 1 + page % 2;
        appendText(doc.addParagraph(h), "Chapter " + std::to_string(page + 1), {});
        for (int p = 0; p < 5; ++p) {
            Paragraph& para = doc.addParagraph();
            for (int s = 0; s < 6; ++s) {
                CharStyle cs;
                cs.bold = s == 1;
                cs.italic = s == 2;
                cs.underline = s == 3;
                if (s == 4) cs.link = "https://example.org/" + std::to_string(page);
                if (s == 5) cs.color = Color{20, 80, 160};
                appendText(para, words(page * 50 + p * 7 + s, 12), cs);
            }
        }
        for (int i = 0; i < 4; ++i) {
            ParaStyle li;
            li.listLevel = 1 + i % 2;
            li.ordered = page % 2 == 0;
            li.listNumber = i / 2 + 1;
            appendText(doc.addParagraph(li), words(page + i, 6), {});
        }
        if (!pictures.empty()) {
            ParaStyle c;
            c.align = Align::Center;
            Attachment a;
            a.data = pictures[size_t(page) % pictures.size()];
            a.mimeType = a.data.substr(0, 4) == "\x89PNG" ? "image/png" : "image/jpeg";
            a.fileName = "pic" + std::to_string(page) + (a.mimeType == "image/png" ? ".png" : ".jpg");
            a.width = 200;
            a.height = 150;
            doc.addParagraph(c).runs.emplace_back().attachment = doc.addAttachment(a);
        }
        Block& b = doc.blocks.emplace_back();
        b.table.emplace();
        for (int row = 0; row < 6; ++row) {
            TableRow& tr = b.table->rows.emplace_back();
            for (int col = 0; col < 4; ++col) {
                CharStyle cs;
                cs.bold = row == 0;
                appendText(tr.cells.emplace_back().addParagraph(),
                           row == 0 ? "Column " + std::to_string(col + 1) : std::to_string(page * 100 + row * 4 + col), cs);
            }
        }
    }
    return doc;
}

} // namespace vorpelbench

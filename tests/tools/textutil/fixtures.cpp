#include "fixtures.h"

#include "testsupport.h"

namespace fs = std::filesystem;
using namespace textutil;

namespace textutiltest {

std::string samplePng() {
    static const unsigned char png[] = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
        0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00, 0x00, 0xfd, 0xd4, 0x9a, 0x73, 0x00, 0x00, 0x00,
        0x10, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0xf8, 0xcf, 0x00, 0x04, 0xff, 0x19, 0x20, 0x14, 0x00, 0x1b,
        0xf2, 0x03, 0xfd, 0xd6, 0x96, 0xf2, 0x2b, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60,
        0x82};
    return std::string(reinterpret_cast<const char*>(png), sizeof png);
}

Document richDocument() {
    Document doc;
    doc.meta.title = "Quarterly notes";
    doc.meta.author = "Ana Lyra";

    ParaStyle h;
    h.heading = 1;
    appendText(doc.addParagraph(h), "Overview", {});

    Paragraph& p = doc.addParagraph();
    appendText(p, "Plain, ", {});
    CharStyle bold;
    bold.bold = true;
    appendText(p, "bold", bold);
    appendText(p, " and ", {});
    CharStyle it;
    it.italic = true;
    it.underline = true;
    appendText(p, "italic underlined", it);
    appendText(p, ", ", {});
    CharStyle red;
    red.color = Color{200, 0, 0};
    red.strike = true;
    appendText(p, "red struck", red);
    appendText(p, " caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 ", {});
    CharStyle link;
    link.link = "https://example.org/a?b=1&c=2";
    appendText(p, "a link", link);

    ParaStyle centered;
    centered.align = Align::Center;
    Paragraph& pic = doc.addParagraph(centered);
    Attachment a;
    a.data = samplePng();
    a.mimeType = "image/png";
    a.fileName = "dot.png";
    Run& r = pic.runs.emplace_back();
    r.attachment = doc.addAttachment(a);
    appendText(pic, " picture", {});

    Block& tb = doc.blocks.emplace_back();
    tb.table.emplace();
    for (int row = 0; row < 2; ++row) {
        TableRow& tr = tb.table->rows.emplace_back();
        for (int col = 0; col < 3; ++col) {
            TableCell& c = tr.cells.emplace_back();
            appendText(c.addParagraph(), "r" + std::to_string(row) + "c" + std::to_string(col), {});
        }
    }
    appendText(doc.addParagraph(), "After the table.", {});
    for (int i = 1; i <= 2; ++i) {
        ParaStyle li;
        li.listLevel = 1;
        appendText(doc.addParagraph(li), "bullet " + std::to_string(i), {});
    }
    for (int i = 1; i <= 2; ++i) {
        ParaStyle li;
        li.listLevel = 1;
        li.ordered = true;
        li.listNumber = i;
        appendText(doc.addParagraph(li), "step " + std::to_string(i), {});
    }

    return doc;
}

Document roundTrip(const Document& doc, const std::string& format, const WriteOptions& opts) {
    const Format* f = findFormat(format);
    if (!f) throw std::runtime_error("no format " + format);
    Output out = f->write(doc, opts);
    if (!f->bundle) {
        Input in;
        in.bytes = out.data;
        return readDocument(in, {});
    }
    vorpeltest::TempDir dir;
    const fs::path bundle = dir / ("doc." + std::string(f->extension));
    fs::create_directory(bundle);
    for (const auto& [name, data] : out.files) vorpeltest::writeFile(bundle / name, data);
    return readDocument(bundle, {});
}

const Run* findRun(const Document& doc, const std::string& needle) {
    for (const Paragraph* p : allParagraphs(doc))
        for (const Run& r : p->runs)
            if (r.attachment < 0 && r.text.find(needle) != std::string::npos) return &r;
    return nullptr;
}

const Run& runWith(const Document& doc, const std::string& needle) {
    const Run* r = findRun(doc, needle);
    if (!r) throw std::runtime_error("no run containing \"" + needle + "\"");
    return *r;
}

std::vector<const Paragraph*> allParagraphs(const Document& doc) {
    return flatParagraphs(doc.blocks);
}

} // namespace textutiltest

#include "media.h"
#include "ole.h"
#include "officexml.h"
#include "sample.h"
#include "testsupport.h"
#include "zipfile.h"

#include <gtest/gtest.h>

#include <libxml/tree.h>

#include <array>
#include <fcntl.h>
#include <functional>
#include <set>
#include <unistd.h>

using namespace textutil;

namespace {

uint32_t le32(std::string_view d, size_t i) {
    return uint32_t(uint8_t(d[i])) | uint32_t(uint8_t(d[i + 1])) << 8 | uint32_t(uint8_t(d[i + 2])) << 16 |
           uint32_t(uint8_t(d[i + 3])) << 24;
}
uint16_t le16(std::string_view d, size_t i) { return uint16_t(uint8_t(d[i]) | uint8_t(d[i + 1]) << 8); }

// The structure of the written packages, which other readers depend on.
TEST(textutil_office_package, DocxPartsAreTypedAndRelationshipsResolve) {
    const std::string bytes = officetest::writeAs(officetest::sampleDocument(), "docx");
    zip::Archive z(bytes);
    const auto types = xml::parse(*z.read("[Content_Types].xml"), "types");
    std::set<std::string> defaults, overrides;
    for (xmlNode* n = xmlDocGetRootElement(types.get())->children; n; n = n->next) {
        if (xml::is(n, "Default")) defaults.insert(xml::attr(n, "Extension"));
        if (xml::is(n, "Override")) overrides.insert(xml::attr(n, "PartName"));
    }
    for (const std::string& name : z.names()) {
        if (name == "[Content_Types].xml") continue;
        const std::string ext = name.substr(name.rfind('.') + 1);
        EXPECT_TRUE(overrides.count("/" + name) || defaults.count(ext)) << name << " has no content type";
    }
    for (const char* part : {"/word/document.xml", "/word/styles.xml", "/word/numbering.xml", "/docProps/core.xml"})
        EXPECT_TRUE(overrides.count(part)) << part;
    for (const char* rels : {"_rels/.rels", "word/_rels/document.xml.rels"}) {
        const auto doc = xml::parse(*z.read(rels), rels);
        const std::string folder = std::string(rels) == "_rels/.rels" ? "" : "word/";
        int count = 0;
        for (xmlNode* r = xmlDocGetRootElement(doc.get())->children; r; r = r->next) {
            if (!xml::is(r, "Relationship")) continue;
            ++count;
            if (xml::attr(r, "TargetMode") == "External") continue;
            EXPECT_TRUE(z.has(folder + xml::attr(r, "Target"))) << rels << ": " << xml::attr(r, "Target");
        }
        EXPECT_GE(count, 2) << rels;
    }
}

TEST(textutil_office_package, DocxWithoutListsHasNoNumberingPart) {
    Document doc;
    appendText(doc.addParagraph(), "Just text", {});
    const std::string bytes = officetest::writeAs(doc, "docx");
    zip::Archive z(bytes);
    EXPECT_FALSE(z.has("word/numbering.xml"));
    EXPECT_EQ(z.read("word/_rels/document.xml.rels")->find("numbering"), std::string::npos);
}

TEST(textutil_office_package, OdtStartsWithStoredMimetype) {
    const std::string bytes = officetest::writeAs(officetest::sampleDocument(), "odt");
    const std::string mime = "application/vnd.oasis.opendocument.text";
    ASSERT_GT(bytes.size(), 38 + mime.size());
    EXPECT_EQ(bytes.substr(0, 4), std::string("PK\x03\x04", 4));
    EXPECT_EQ(le16(bytes, 8), 0) << "mimetype must be stored, not deflated";
    EXPECT_EQ(le16(bytes, 26), 8);
    EXPECT_EQ(le16(bytes, 28), 0) << "mimetype must have no extra field";
    EXPECT_EQ(bytes.substr(30, 8), "mimetype");
    EXPECT_EQ(bytes.substr(38, mime.size()), mime);
    zip::Archive z(bytes);
    const std::string manifest = *z.read("META-INF/manifest.xml");
    for (const std::string& name : z.names()) {
        if (name.rfind("Pictures/", 0) == 0) {
            EXPECT_NE(manifest.find("\"" + name + "\""), std::string::npos) << name;
        }
    }
    // Every automatic style used in the body is declared.
    const std::string content = *z.read("content.xml");
    for (const char* style : {"\"L1\"", "\"L2\"", "\"Tbl\"", "\"TblCell\"", "\"T1\""})
        EXPECT_NE(content.find(std::string("style:name=") + style), std::string::npos) << style;
}

TEST(textutil_office_package, WordMLIsOneXmlFileWithInlinePictures) {
    const std::string out = officetest::writeAs(officetest::sampleDocument(), "wordml");
    EXPECT_NE(out.find("<?mso-application progid=\"Word.Document\"?>"), std::string::npos);
    const auto doc = xml::parse(out, "wordml");
    const xmlNode* root = xmlDocGetRootElement(doc.get());
    ASSERT_TRUE(xml::is(root, "wordDocument"));
    EXPECT_STREQ(reinterpret_cast<const char*>(root->ns->href), "http://schemas.microsoft.com/office/word/2003/wordml");
    const xmlNode* bin = xml::find(root, "binData");
    ASSERT_TRUE(bin);
    EXPECT_EQ(base64Decode(xml::text(bin)), officetest::tinyPng());
    EXPECT_EQ(xml::text(xml::find(xml::child(root, "DocumentProperties"), "Title")), "Quarterly <Report> & Notes");
}

// Readers that use the legacy page fields of the FIB ignore formatting unless they match the bin tables.
TEST(textutil_office_package, DocFibPageFieldsMatchBinTables) {
    const Document sample = officetest::sampleDocument();
    const std::string bytes = officetest::writeAs(sample, "doc");
    ASSERT_TRUE(ole::isCompoundFile(bytes));
    ole::Storage st(bytes);
    const std::string wd = *st.stream("WordDocument");
    const std::string tbl = *st.stream("1Table");
    EXPECT_EQ(le16(wd, 0), 0xA5EC);
    EXPECT_EQ(le16(wd, 2), 0x00C1);
    EXPECT_TRUE(le16(wd, 0x0A) & 0x0200) << "the table stream is 1Table";
    const size_t lw = 0x22 + 14 * 2 + 2;
    EXPECT_EQ(le32(wd, lw), wd.size()) << "cbMac";
    const size_t fcLcb = lw + 22 * 4 + 2;
    auto bins = [&](size_t index) {
        const uint32_t fc = le32(wd, fcLcb + index * 8), lcb = le32(wd, fcLcb + index * 8 + 4);
        const size_t n = (lcb - 4) / 8;
        std::vector<uint32_t> pns;
        for (size_t k = 0; k < n; ++k) pns.push_back(le32(tbl, fc + (n + 1) * 4 + k * 4));
        return pns;
    };
    const auto chp = bins(12), pap = bins(13);
    ASSERT_FALSE(chp.empty());
    ASSERT_FALSE(pap.empty());
    EXPECT_EQ(le32(wd, lw + 11 * 4), chp.front());
    EXPECT_EQ(le32(wd, lw + 12 * 4), chp.front());
    EXPECT_EQ(le32(wd, lw + 13 * 4), chp.size());
    EXPECT_EQ(le32(wd, lw + 14 * 4), pap.front());
    EXPECT_EQ(le32(wd, lw + 15 * 4), pap.front());
    EXPECT_EQ(le32(wd, lw + 16 * 4), pap.size());
    // Pages are consecutive and each holds its own count of entries.
    for (size_t k = 1; k < chp.size(); ++k) EXPECT_EQ(chp[k], chp[k - 1] + 1);
    for (uint32_t pn : pap) EXPECT_GT(uint8_t(wd[pn * 512 + 511]), 0);
    // The root storage carries Word's class id.
    const uint32_t dirSector = le32(bytes, 0x30);
    const size_t root = (size_t(dirSector) + 1) * 512;
    EXPECT_EQ(bytes.substr(root + 0x50, 16), std::string("\x06\x09\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16));
    EXPECT_TRUE(st.has("\005SummaryInformation"));
}

TEST(textutil_office_package, DocWriterSplitsLongDocumentsOverManyPages) {
    Document doc;
    CharStyle bold;
    bold.bold = true;
    for (int i = 0; i < 600; ++i) {
        Paragraph& p = doc.addParagraph();
        appendText(p, "Paragraph " + std::to_string(i) + " ", {});
        appendText(p, "bold" + std::to_string(i), bold);
    }
    const Document back = officetest::readBytes(officetest::writeAs(doc, "doc"), "long.doc");
    ASSERT_EQ(back.blocks.size(), 600u);
    for (int i : {0, 299, 599}) {
        const Paragraph& p = back.blocks[size_t(i)].paragraph;
        EXPECT_EQ(p.plainText(), "Paragraph " + std::to_string(i) + " bold" + std::to_string(i));
        ASSERT_EQ(p.runs.size(), 2u) << i;
        EXPECT_FALSE(p.runs[0].style->bold);
        EXPECT_TRUE(p.runs[1].style->bold);
    }
}

// Wide rows overflow a property page and move to the Data stream; empty documents stay valid.
TEST(textutil_office_package, WideTablesAndEmptyDocumentsRoundTrip) {
    Document wide;
    Block& b = wide.blocks.emplace_back();
    b.table.emplace();
    for (int r = 0; r < 2; ++r) {
        TableRow& row = b.table->rows.emplace_back();
        for (int c = 0; c < 40; ++c) appendText(row.cells.emplace_back().addParagraph(), std::to_string(r * 100 + c), {});
    }
    appendText(wide.addParagraph(), "after", {});
    for (const char* format : {"doc", "docx", "odt", "wordml"}) {
        SCOPED_TRACE(format);
        const Document back = officetest::roundTrip(wide, format);
        const Table* t = officetest::firstTable(back);
        ASSERT_TRUE(t);
        ASSERT_EQ(t->rows.size(), 2u);
        ASSERT_EQ(t->rows[1].cells.size(), 40u);
        EXPECT_EQ(t->rows[1].cells[39].blocks.at(0).paragraph.plainText(), "139");
        EXPECT_TRUE(officetest::findParagraph(back, "after"));

        const Document empty = officetest::roundTrip(Document{}, format);
        EXPECT_EQ(empty.plainText(), "");
        EXPECT_TRUE(empty.attachments.empty());
    }
}

} // namespace

namespace {

std::string le(uint64_t v, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i) s += char((v >> (8 * i)) & 0xFF);
    return s;
}

// A SummaryInformation stream: code page 1251, a title in that code page, an author in
// UTF-16 and a creation date; `damage` edits the bytes before use.
std::string summaryStream(const std::function<void(std::string&)>& damage = {}) {
    const std::string fmtid("\xE0\x85\x9F\xF2\xF9\x4F\x68\x10\xAB\x91\x08\x00\x2B\x27\xB3\xD9", 16);
    std::string values;
    std::vector<std::pair<uint32_t, std::string>> props = {
        {1, le(2, 4) + le(1251, 2) + le(0, 2)},
        {2, le(0x1E, 4) + le(7, 4) + std::string("\xCF\xF0\xE8\xE2\xE5\xF2\0", 7) + std::string(1, '\0')},
        {4, le(0x1F, 4) + le(4, 4) + std::string("Z\0o\0\xEB\0\0\0", 8)},
        // 2021-03-04T05:06:07Z in 100 ns steps since 1601.
        {12, le(0x40, 4) + le((1614834367ULL + 11644473600ULL) * 10000000ULL, 8)},
    };
    const size_t table = 8 + 8 * props.size();
    std::string set = le(0, 4) + le(props.size(), 4);
    size_t at = table;
    for (const auto& [id, bytes] : props) {
        set += le(id, 4) + le(at, 4);
        at += bytes.size();
    }
    for (const auto& p : props) set += p.second;
    set.replace(0, 4, le(set.size(), 4));
    std::string stream = le(0xFFFE, 2) + le(0, 2) + le(0, 4) + std::string(16, '\0') + le(1, 4) + fmtid + le(48, 4);
    stream += set;
    if (damage) damage(stream);
    return stream;
}

Metadata metadataOf(const std::string& summary) {
    const std::string bytes = ole::build({{"WordDocument", std::string(1024, '\0')}, {"\005SummaryInformation", summary}},
                                         {}, nullptr);
    Metadata m;
    ole::Storage(bytes).readMetadata(m);
    return m;
}

} // namespace

TEST(textutil_office_package, SummaryPropertiesInTheirCodePagesAndDamagedOnesAbsent) {
    Metadata m = metadataOf(summaryStream());
    EXPECT_EQ(m.title, "Привет");
    EXPECT_EQ(m.author, "Zoë");
    EXPECT_EQ(m.creationTime, "2021-03-04T05:06:07Z");

    // Out-of-range offsets, counts and lengths leave the property (or the set) out, no more.
    const size_t set = 48, pairs = set + 8;
    const std::vector<std::pair<const char*, std::function<void(std::string&)>>> damages = {
        {"wrong byte order", [](std::string& s) { s[0] = 0; }},
        {"set past the end", [](std::string& s) { s.replace(44, 4, le(1u << 30, 4)); }},
        {"huge property count", [&](std::string& s) { s.replace(set + 4, 4, le(0xFFFFFFFF, 4)); }},
        {"title past the end", [&](std::string& s) { s.replace(pairs + 12, 4, le(0xFFFFFFF0, 4)); }},
        {"huge title length", [&](std::string& s) { s.replace(set + 8 + 32 + 12, 4, le(0xFFFFFFFF, 4)); }},
        {"cut in the middle", [](std::string& s) { s.resize(s.size() - 20); }},
    };
    // What each damage leaves: title, author, creation date.
    const std::vector<std::array<std::string, 3>> expected = {
        {"", "", ""},
        {"", "", ""},
        {"Привет", "Zoë", "2021-03-04T05:06:07Z"},  // the count is bounded by the set's size
        {"", "Zoë", "2021-03-04T05:06:07Z"},
        {"", "Zoë", "2021-03-04T05:06:07Z"},
        {"Привет", "", ""},
    };
    for (size_t i = 0; i < damages.size(); ++i) {
        SCOPED_TRACE(damages[i].first);
        m = metadataOf(summaryStream(damages[i].second));
        EXPECT_EQ(m.title, expected[i][0]);
        EXPECT_EQ(m.author, expected[i][1]);
        EXPECT_EQ(m.creationTime, expected[i][2]);
    }
}

namespace {

// Varied text that deflates in more than one block: words from a cheap generator.
std::string varied(size_t size) {
    std::string s;
    uint32_t x = 12345;
    while (s.size() < size) {
        x = x * 1103515245u + 12345u;
        s += "<w:t>" + std::to_string(x >> 13) + (x & 64 ? " alpha" : " beta") + "</w:t>";
    }
    return s;
}

} // namespace

// A part deflated while it is written makes the same package as the whole text given at once,
// so streaming the main part changes no byte of a docx.
TEST(textutil_office_package, DeflatedPartsMatchWholeEntries) {
    const std::string text = varied(3 << 20);
    zip::Builder whole, streamed;
    whole.add("first.xml", "<a/>");
    streamed.add("first.xml", "<a/>");
    whole.add("word/document.xml", text);
    zip::DeflatedPart part;
    for (size_t at = 0, step = 1; at < text.size(); at += step, step = step * 3 % 100003 + 1)
        part.write(std::string_view(text).substr(at, step));
    streamed.add("word/document.xml", std::move(part));
    whole.add("empty.xml", "");
    streamed.add("empty.xml", zip::DeflatedPart());
    const std::string a = whole.finish(), b = streamed.finish();
    EXPECT_EQ(a.size(), b.size());
    EXPECT_TRUE(a == b) << "the packages differ";
    zip::Archive z(b);
    EXPECT_EQ(*z.read("word/document.xml"), text);
    EXPECT_EQ(*z.read("empty.xml"), "");
    EXPECT_EQ(*z.read("first.xml"), "<a/>");
}

// Written into a file, a package has the bytes it has in memory: headers filled in after their
// data, a deflated part that spans several pieces, and nothing left of what the file held.
TEST(textutil_office_package, PackageWrittenIntoAFileMatchesTheOneInMemory) {
    // Bytes that do not deflate: the compressed part is as long as the text, several pieces.
    std::string noise(5 << 20, '\0');
    uint64_t x = 88172645463325252ull;
    for (char& c : noise) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        c = char(x >> 56);
    }
    const std::string text = varied(1 << 20);
    auto build = [&](zip::Builder& z) {
        z.add("mimetype", "application/x-test", false);
        zip::DeflatedPart part;
        for (size_t at = 0; at < noise.size(); at += 70001)
            part.write(std::string_view(noise).substr(at, 70001));
        z.add("noise.bin", std::move(part));
        z.add("word/document.xml", text);
        z.add("stored.bin", noise.substr(0, 3000), false);
    };
    zip::Builder inMemory, inFile;
    build(inMemory);
    build(inFile);
    const std::string expected = inMemory.finish();

    vorpeltest::TempDir dir;
    const std::filesystem::path path = dir / "out.zip";
    vorpeltest::writeFile(path,
                          std::string(expected.size() + 12345, 'x')); // longer than the package
    const int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    inFile.finish(fd);
    ::close(fd);
    const std::string written = vorpeltest::readFile(path);
    EXPECT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected) << "the packages differ";
    zip::Archive z(written);
    EXPECT_TRUE(*z.read("noise.bin") == noise);
    EXPECT_EQ(*z.read("word/document.xml"), text);
}

// A body long enough to be deflated in many pieces keeps every paragraph, list and link across
// the places it was cut.
TEST(textutil_office_package, LongDocxBodyReadsBackWhole) {
    Document doc;
    std::string expected;
    for (int i = 0; i < 40000; ++i) {
        ParaStyle ps;
        if (i % 50 >= 45) {
            ps.listLevel = 1;
            ps.ordered = i % 100 >= 50;
            ps.listNumber = i % 50 - 44;
        }
        Paragraph& p = doc.addParagraph(ps);
        const std::string words = "paragraph " + std::to_string(i) + " with some words to make it longer";
        appendText(p, words, {});
        CharStyle link;
        link.link = "http://example.com/" + std::to_string(i % 7);
        if (i % 13 == 0) appendText(p, " linked", link);
        expected += words + (i % 13 == 0 ? " linked" : "") + "\n";
    }
    const std::string bytes = officetest::writeAs(doc, "docx");
    EXPECT_GT(zip::Archive(bytes).read("word/document.xml")->size(), size_t(4) << 20);
    const Document back = officetest::readBytes(bytes, "long.docx");
    ASSERT_EQ(back.blocks.size(), doc.blocks.size());
    EXPECT_EQ(back.plainText(), doc.plainText());
    for (size_t i = 0; i < doc.blocks.size(); i += 997) {
        const Paragraph& want = doc.blocks[i].paragraph;
        const Paragraph& got = back.blocks[i].paragraph;
        EXPECT_EQ(got.style.listLevel, want.style.listLevel) << i;
        EXPECT_EQ(got.style.ordered, want.style.ordered) << i;
        if (i % 13 == 0) {
            ASSERT_EQ(got.runs.size(), 2u) << i;
            EXPECT_EQ(got.runs[1].style->link, want.runs[1].style->link) << i;
        }
    }
}

// A package named by its path is read from the file, not from bytes held beside the document,
// and reads as it does from memory; a file that changed after it was recognised fails cleanly.
TEST(textutil_office_package, PackagesAreReadFromTheirFiles) {
    vorpeltest::TempDir dir;
    for (const char* name : {"docx", "odt"}) {
        SCOPED_TRACE(name);
        const Format* f = findFormat(name);
        ASSERT_NE(f, nullptr);
        EXPECT_TRUE(f->readsFile);
        const std::string bytes = officetest::writeAs(officetest::formattedDocument(), name);
        const std::filesystem::path path = dir / (std::string("doc.") + name);
        vorpeltest::writeFile(path, bytes);

        Input fromFile;
        fromFile.path = path;
        fromFile.bytes = bytes;
        fromFile.ofFile = true;
        const Document viaFile = readAs(*f, fromFile, {});
        officetest::checkFormatting(viaFile);
        EXPECT_EQ(viaFile.plainText(), officetest::readBytes(bytes).plainText());

        vorpeltest::writeFile(path, "no longer a zip package, though it was one when detected");
        EXPECT_THROW(readAs(*f, fromFile, {}), std::runtime_error);
        std::filesystem::remove(path);
        EXPECT_THROW(readAs(*f, fromFile, {}), std::runtime_error);
    }
    // Bytes that were not read from the named file (standard input, a test's name) are read.
    Input piped;
    piped.path = dir / "missing.docx";
    piped.bytes = officetest::writeAs(officetest::formattedDocument(), "docx");
    officetest::checkFormatting(readAs(*findFormat("docx"), piped, {}));
}

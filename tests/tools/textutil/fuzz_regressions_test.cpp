// Inputs the fuzz targets (bench/fuzz) broke a reader or writer with. Each must now read
// cleanly: to a document or to a thrown refusal. `make sanitize` also checks the reading
// itself for the overflows and leaks the fuzzers reported.
#include "formats.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <exception>
#include <optional>
#include <stdexcept>
#include <string>

#include <sys/stat.h>
#include <zlib.h>

using namespace textutil;

namespace {

const std::filesystem::path kRegressions =
    std::filesystem::path(VORPEL_SOURCE_DIR) / "tests/tools/textutil/regressions";

// The named reader on the bytes; nullopt when it refused them with an exception. An RTFD
// reads the bytes as the TXT.rtf of a bundle.
std::optional<Document> readAs(const std::string& format, const std::string& bytes) {
    const Format* f = findFormat(format);
    if (!f || !f->read) throw std::logic_error("no reader for " + format);
    vorpeltest::TempDir dir;
    Input in;
    if (f->bundle) {
        vorpeltest::writeFile(dir / "TXT.rtf", bytes);
        in.path = dir.path();
        in.isFolder = true;
    } else {
        in.path = dir / ("input." + std::string(f->extension));
        in.bytes = bytes;
    }
    try {
        return f->read(in, ReadOptions{});
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// Every writer on the document; a thrown exception is a refusal, not a fault.
void writeWithEveryWriter(const Document& doc) {
    for (const Format& f : formats()) {
        if (!f.write) continue;
        try {
            (void)f.write(doc, WriteOptions{});
        } catch (const std::exception&) {
        }
    }
}

// Large inputs that are mostly zeros (compound files) are stored gzipped.
std::string gunzip(const std::string& gz) {
    z_stream z{};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) throw std::runtime_error("inflateInit2");
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gz.data()));
    z.avail_in = uInt(gz.size());
    std::string out;
    char buf[65536];
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof buf;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buf, sizeof buf - z.avail_out);
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END) throw std::runtime_error("bad gzip data");
    return out;
}

const Paragraph* paragraphWith(const Document& doc, const std::string& needle) {
    for (const Block& b : doc.blocks)
        if (!b.table && b.paragraph.plainText().find(needle) != std::string::npos) return &b.paragraph;
    return nullptr;
}

TEST(textutilFuzzRegressions, RtfListMarkerWithManyDigitsKeepsAPositiveNumber) {
    // The marker's digits overflowed the list number.
    const auto doc = readAs("rtf", "{\\rtf1{\\listtext 12345678901234567890.\\tab}Item\\par}");
    ASSERT_TRUE(doc);
    const Paragraph* p = paragraphWith(*doc, "Item");
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->style.ordered);
    EXPECT_GT(p->style.listNumber, 0);
}

TEST(textutilFuzzRegressions, HtmlPictureThatIsNoRegularFileIsSkipped) {
    // A pipe (as /dev/zero or a terminal) was read until it ended: never, or out of memory.
    vorpeltest::TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe.png").c_str(), 0600), 0);
    Input in;
    in.path = dir / "page.html";
    in.bytes = "<html><body><p>before<img src=\"pipe.png\"><img src=\"/dev/zero\">after</p></body></html>";
    const Document doc = readHtml(in, ReadOptions{});
    EXPECT_TRUE(doc.attachments.empty());
    EXPECT_NE(doc.plainText().find("beforeafter"), std::string::npos);
}

TEST(textutilFuzzRegressions, HugeNumbersInWordXmlAndSpansAreClamped) {
    // A list format number past int's range was cast (undefined); a span of billions made the
    // writers lay out billions of grid columns.
    const std::string wordml =
        "<?xml version=\"1.0\"?><w:wordDocument xmlns:w=\"http://schemas.microsoft.com/office/word/2003/wordml\">"
        "<w:lists><w:listDef w:listDefId=\"1e300\"><w:lvl w:ilvl=\"-1e300\"><w:start w:val=\"9e99\"/>"
        "<w:nfc w:val=\"6.6e112\"/></w:lvl></w:listDef></w:lists><w:body>"
        "<w:tbl><w:tr><w:tc><w:tcPr><w:gridSpan w:val=\"99999999999\"/></w:tcPr><w:p><w:r><w:t>wide</w:t></w:r></w:p></w:tc>"
        "<w:tc><w:tcPr><w:gridSpan w:val=\"-5\"/></w:tcPr><w:p><w:r><w:t>narrow</w:t></w:r></w:p></w:tc></w:tr></w:tbl>"
        "</w:body></w:wordDocument>";
    const auto doc = readAs("wordml", wordml);
    ASSERT_TRUE(doc);
    const Table* table = nullptr;
    for (const Block& b : doc->blocks)
        if (b.table) table = &*b.table;
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rows.at(0).cells.size(), 2u);
    EXPECT_EQ(table->rows[0].cells[0].colSpan, kMaxColumnSpan);
    EXPECT_EQ(table->rows[0].cells[1].colSpan, 1);
    writeWithEveryWriter(*doc);

    const auto html = readAs("html", "<table><tr><td colspan=\"4294967297\">a</td><td colspan=\"x\">b</td></tr></table>");
    ASSERT_TRUE(html);
    for (const Block& b : html->blocks)
        if (b.table) {
            EXPECT_EQ(b.table->rows.at(0).cells.at(0).colSpan, kMaxColumnSpan);
            EXPECT_EQ(b.table->rows.at(0).cells.at(1).colSpan, 1);
        }
}

TEST(textutilFuzzRegressions, WebArchiveStringsMayHoldANul) {
    // The property-list library's copying getter aborted on such a string.
    const auto doc = readAs("webarchive", vorpeltest::readFile(kRegressions / "webarchive-url-holding-a-nul.webarchive"));
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->plainText(), "kept text");
}

// Stored inputs, named <format>-<what>: the reader of that format ("writers": the format
// the content is detected as, then every writer) must not crash on them.
TEST(textutilFuzzRegressions, StoredInputsReadCleanly) {
    ASSERT_TRUE(std::filesystem::is_directory(kRegressions));
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kRegressions)) {
        const std::string name = entry.path().filename().string();
        const std::string format = name.substr(0, name.find('-'));
        SCOPED_TRACE(name);
        std::string bytes = vorpeltest::readFile(entry.path());
        if (entry.path().extension() == ".gz") bytes = gunzip(bytes);
        if (format == "writers") {
            Input in;
            in.bytes = bytes;
            const Format* f = detectFormat(in);
            ASSERT_NE(f, nullptr);
            const auto doc = readAs(std::string(f->name), bytes);
            if (doc) writeWithEveryWriter(*doc);
        } else {
            (void)readAs(format, bytes);
        }
        ++count;
    }
    EXPECT_GT(count, 0);
}

} // namespace

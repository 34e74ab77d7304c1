// Plain text: encoding detection, line endings, output encodings, and what is not text.
#include "encoding.h"
#include "fixtures.h"

#include "testsupport.h"

#include <gtest/gtest.h>

using namespace textutil;

namespace {

Document text(const std::string& bytes, const std::string& forced = {}) {
    Input in;
    in.bytes = bytes;
    ReadOptions o;
    o.inputEncoding = forced;
    return readTxt(in, o);
}

TEST(textutilPlainText, EncodingDetectionOrder) {
    EXPECT_EQ(text("\xEF\xBB\xBFhi \xC3\xA9").plainText(), "hi é");
    EXPECT_EQ(text(std::string("\xFF\xFEh\0i\0", 6)).plainText(), "hi");
    EXPECT_EQ(text(std::string("\xFE\xFF\0h\0i", 6)).plainText(), "hi");
    EXPECT_EQ(text(std::string("h\0e\0l\0l\0o\0", 10)).plainText(), "hello");
    EXPECT_EQ(text("na\xC3\xAFve").plainText(), "naïve");
    // Not UTF-8: Windows-1252, including its 0x80-0x9F punctuation.
    EXPECT_EQ(text("na\xEFve \x93q\x94 \x80").plainText(), "naïve “q” €");
    EXPECT_EQ(text("caf\x8e", "MACINTOSH").plainText(), "café");
    EXPECT_THROW(text("x", "NO-SUCH-CHARSET"), std::runtime_error);
}

TEST(textutilPlainText, StatefulCodePagesLoseNothingBetweenCalls) {
    // The converters are cached: a letter held back by one call must neither vanish nor
    // turn up in the next.
    EXPECT_EQ(convertEncoding("\xF9\xEC\xE5\xED", "CP1255", "UTF-8"), "שלום");
    EXPECT_EQ(convertEncoding("\xE0", "CP1255", "UTF-8"), "א");
    EXPECT_EQ(text("\xF9\xEC\xE5\xED\n\xE0", "windows-1255").plainText(), "שלום\nא");
}

TEST(textutilPlainText, LineEndingsMakeParagraphs) {
    const Document doc = text("one\r\ntwo\rthree\n\nfive\n");
    ASSERT_EQ(doc.blocks.size(), 5u);
    EXPECT_EQ(doc.blocks[2].paragraph.plainText(), "three");
    EXPECT_EQ(doc.blocks[3].paragraph.plainText(), "");
    EXPECT_EQ(writeTxt(doc, {}).data, "one\ntwo\nthree\n\nfive\n");
    EXPECT_EQ(text("no newline").blocks.size(), 1u);
}

TEST(textutilPlainText, OutputEncodings) {
    const Document doc = text("é€\n");
    WriteOptions o;
    o.encoding = "UTF-16";
    EXPECT_EQ(writeTxt(doc, o).data, std::string("\xFF\xFE\xE9\x00\xAC\x20\x0A\x00", 8));
    o.encoding = "windows-1252";
    EXPECT_EQ(writeTxt(doc, o).data, "\xE9\x80\n");
    o.encoding = "UTF-16BE";
    EXPECT_EQ(writeTxt(doc, o).data, std::string("\x00\xE9\x20\xAC\x00\x0A", 6));
}

TEST(textutilPlainText, BinaryIsNotText) {
    Input png;
    png.bytes = textutiltest::samplePng();
    EXPECT_FALSE(detectTxt(png));
    Input noise;
    for (int i = 0; i < 512; ++i) noise.bytes += static_cast<char>((i * 7919 + 13) % 251 + 1);
    EXPECT_FALSE(detectTxt(noise));
    EXPECT_EQ(detectFormat(noise), nullptr);
    Input plain;
    plain.bytes = "just words\twith a tab\f\n";
    EXPECT_TRUE(detectTxt(plain));
}

TEST(textutilPlainText, DetectionPrefersSignatures) {
    auto fmt = [](const std::string& bytes) {
        Input in;
        in.bytes = bytes;
        const Format* f = detectFormat(in);
        return f ? std::string(f->name) : std::string("none");
    };
    EXPECT_EQ(fmt("{\\rtf1 x}"), "rtf");
    EXPECT_EQ(fmt("<!DOCTYPE html><p>x"), "html");
    EXPECT_EQ(fmt("  <HTML><BODY>x"), "html");
    EXPECT_EQ(fmt("a < b and c > d"), "txt");
    EXPECT_EQ(fmt("Use <br> and <table> in your pages."), "txt");
    EXPECT_EQ(fmt("\n  <div>fragment</div>"), "html");
    EXPECT_EQ(fmt("bplist00 no archive here"), "txt");
}

TEST(textutilPlainText, CorpusEncodings) {
    VORPEL_REQUIRE_CORPUS();
    const auto c = vorpeltest::corpusDir();
    auto read = [&](const std::string& rel, const std::string& enc = {}) {
        ReadOptions o;
        o.inputEncoding = enc;
        return readDocument(c / rel, o).plainText();
    };
    EXPECT_NE(read("txt/utf16le-bom.txt").find("café naïve façade"), std::string::npos);
    EXPECT_NE(read("txt/utf-8-bom_ude_4.txt").find("コンソール"), std::string::npos);
    EXPECT_NE(read("txt/Molière cp1252.txt").find("MOLIÈRE"), std::string::npos);
    EXPECT_NE(read("txt/iso-8859-1_ude_2.txt").find("dépend"), std::string::npos);
    EXPECT_NE(read("txt/mac-roman.txt", "MACINTOSH").find("café naïve"), std::string::npos);
    EXPECT_NE(read("txt/sample-russian.txt", "MAC-CYRILLIC").find("систем"), std::string::npos);
    EXPECT_NE(read("txt/sample-chinese.txt", "BIG5").find("維基"), std::string::npos);
}

} // namespace

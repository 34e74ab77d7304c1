#include "sample.h"
#include "testsupport.h"
#include "zipfile.h"

#include <gtest/gtest.h>

using namespace textutil;
using vorpeltest::listDir;
using vorpeltest::runProcess;

namespace {

std::string tool() { return vorpeltest::toolPath("textutil").string(); }

// The command line with the office formats: output names beside the input, standard output.
TEST(textutil_office_cli, ConvertsBesideTheInputWithEachExtension) {
    vorpeltest::TempDir dir;
    const auto src = dir / "My Report.docx";
    vorpeltest::writeFile(src, officetest::writeAs(officetest::sampleDocument(), "docx"));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"wordml", "My Report.xml"}, {"doc", "My Report.doc"}, {"odt", "My Report.odt"}, {"txt", "My Report.txt"}};
    for (const auto& [format, name] : cases) {
        const auto r = runProcess({tool(), "-convert", format, src.string()});
        ASSERT_EQ(r.status, 0) << format << ": " << r.err;
        const Document back = readDocument(dir / name, ReadOptions{});
        EXPECT_NE(back.plainText().find("Section Two"), std::string::npos) << format;
    }
    // Back to docx from the binary format, replacing the original atomically.
    const auto r = runProcess({tool(), "-convert", "docx", (dir / "My Report.doc").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(officetest::findParagraph(readDocument(src, ReadOptions{}), "Main Title")->style.heading, 1);
    EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"My Report.doc", "My Report.docx", "My Report.odt",
                                                             "My Report.txt", "My Report.xml"}));
}

TEST(textutil_office_cli, SpeechPipelineReadsOfficeFilesToStandardOutput) {
    vorpeltest::TempDir dir;
    for (const char* format : {"docx", "odt", "doc"}) {
        const auto src = dir / (std::string("in.") + format);
        vorpeltest::writeFile(src, officetest::writeAs(officetest::sampleDocument(), format));
        const auto r = runProcess({tool(), "-convert", "txt", "-stdout", src.string()});
        ASSERT_EQ(r.status, 0) << format << ": " << r.err;
        EXPECT_EQ(r.out.rfind("Main Title\nSection Two\nPlain bold", 0), 0u) << format << ": " << r.out.substr(0, 80);
        EXPECT_NE(r.out.find("R1C1\tR1C2\tR1C3\n"), std::string::npos) << format;
    }
}

struct BadInput {
    std::string name, bytes, reason;
};

TEST(textutil_office_cli, DamagedAndForeignInputsFailCleanly) {
    vorpeltest::TempDir dir;
    zip::Builder notDoc;
    notDoc.add("hello.txt", "hello");
    zip::Builder brokenXml;
    brokenXml.add("[Content_Types].xml", "<Types/>");
    brokenXml.add("word/document.xml", "<w:document><w:body><w:p>");
    zip::Builder odtNoContent;
    odtNoContent.add("mimetype", "application/vnd.oasis.opendocument.text", false);
    const std::string doc = officetest::writeAs(officetest::sampleDocument(), "doc");
    std::string badFib = doc;
    const std::vector<BadInput> cases = {
        {"archive.docx", notDoc.finish(), "not a document"},
        {"broken.docx", brokenXml.finish(), "XML"},
        {"empty.odt", odtNoContent.finish(), "content.xml"},
        {"truncated.doc", doc.substr(0, 1536), "compound file"},
        {"garbage.doc", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(600, '\x7F'), "compound file"},
        {"broken.xml", "<?xml version=\"1.0\"?><?mso-application progid=\"Word.Document\"?><w:wordDocument "
                       "xmlns:w=\"http://schemas.microsoft.com/office/word/2003/wordml\"><w:body><w:p>",
         "XML"},
    };
    for (const BadInput& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = dir / c.name;
        vorpeltest::writeFile(path, c.bytes);
        const auto before = listDir(dir.path());
        for (const char* format : {"txt", "docx", "doc"}) {
            const auto r = runProcess({tool(), "-convert", format, path.string()});
            EXPECT_EQ(r.status, 1) << format;
            EXPECT_EQ(r.err.rfind("textutil: " + path.string() + ": ", 0), 0u) << r.err;
            EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
            EXPECT_EQ(listDir(dir.path()), before) << "something was written";
        }
        const auto out = runProcess({tool(), "-convert", "txt", "-stdout", path.string()});
        EXPECT_EQ(out.status, 1);
        EXPECT_TRUE(out.out.empty());
    }
}

TEST(textutil_office_cli, EncryptedDocumentFailsAndLeavesExistingOutput) {
    VORPEL_REQUIRE_CORPUS();
    vorpeltest::TempDir dir;
    const auto target = dir / "out.txt";
    vorpeltest::writeFile(target, "keep me");
    const auto src = vorpeltest::corpusDir() / "doc" / "PasswordProtected.doc";
    const auto r = runProcess({tool(), "-convert", "txt", "-output", target.string(), src.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "textutil: " + src.string() + ": the document is encrypted (password-protected) and cannot be read\n");
    EXPECT_EQ(vorpeltest::readFile(target), "keep me");
    EXPECT_EQ(listDir(dir.path()), std::vector<std::string>{"out.txt"});
}

} // namespace

// File types: registration on string conversion, withdrawal by setters and destruction,
// the "+" forms, and the exact values of the application's set.
#include "app/filetypes.h"
#include "platform/filetyperegistry.h"

#include <algorithm>
#include <gtest/gtest.h>

using vorpel::FileType;
using vorpel::FileTypeRegistry;
namespace FileTypes = vorpel::FileTypes;

namespace {

FileTypeRegistry& reg() { return FileTypeRegistry::instance(); }

void fill(FileType& t, const std::string& name, const std::string& ext = ".x") {
    t.setName(name);
    t.setExtensions(ext);
    t.setMacType("TYPE");
    t.setMacCreator("CRTR");
}

TEST(FileTypeRecord, StringConversionRegistersOnceAndYieldsTheName) {
    FileType t;
    fill(t, "test/one", ".one;.uno");
    EXPECT_FALSE(t.registered());
    EXPECT_FALSE(reg().contains("test/one"));
    const size_t before = reg().size();
    EXPECT_EQ(static_cast<std::string>(t), "test/one");
    EXPECT_EQ(t.toString(), "test/one");
    EXPECT_TRUE(t.registered());
    EXPECT_EQ(reg().size(), before + 1);
    const auto* e = reg().find("test/one");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->macCreator, "CRTR");
    EXPECT_EQ(e->macType, "TYPE");
    EXPECT_EQ(e->extensions, ".one;.uno");
    EXPECT_EQ(t.Icon(), nullptr);
}

TEST(FileTypeRecord, EverySetterWithdrawsTheRegistration) {
    FileType t;
    fill(t, "test/set");
    for (int which = 0; which < 4; ++which) {
        (void)t.toString();
        ASSERT_TRUE(reg().contains("test/set"));
        switch (which) {
        case 0: t.setExtensions(".new"); break;
        case 1: t.setMacType("NEWT"); break;
        case 2: t.setMacCreator("NEWC"); break;
        case 3: t.setName("test/set"); break;
        }
        EXPECT_FALSE(t.registered()) << which;
        EXPECT_FALSE(reg().contains("test/set")) << which;
    }
    // The next conversion registers the new values.
    (void)t.toString();
    const auto* e = reg().find("test/set");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->extensions, ".new");
    EXPECT_EQ(e->macType, "NEWT");
    EXPECT_EQ(e->macCreator, "NEWC");
}

TEST(FileTypeRecord, RenamingWithdrawsTheOldName) {
    FileType t;
    fill(t, "test/old");
    (void)t.toString();
    t.setName("test/new");
    EXPECT_FALSE(reg().contains("test/old"));
    EXPECT_FALSE(reg().contains("test/new"));
    (void)t.toString();
    EXPECT_TRUE(reg().contains("test/new"));
    EXPECT_FALSE(reg().contains("test/old"));
}

TEST(FileTypeRecord, DestructionWithdrawsOnlyARegisteredRecord) {
    {
        FileType t;
        fill(t, "test/gone");
        (void)t.toString();
        EXPECT_TRUE(reg().contains("test/gone"));
    }
    EXPECT_FALSE(reg().contains("test/gone"));
}

TEST(FileTypeRecord, PlusFormsJoinWithOneSemicolonAndRegister) {
    FileType a, b;
    fill(a, "test/a");
    fill(b, "test/b");
    EXPECT_EQ(a + b, "test/a;test/b");
    EXPECT_TRUE(a.registered());
    EXPECT_TRUE(b.registered());

    FileType c, d;
    fill(c, "test/c");
    fill(d, "test/d");
    EXPECT_EQ(c + std::string("text"), "test/c;text");
    EXPECT_TRUE(c.registered());
    EXPECT_EQ(std::string("text") + d, "text;test/d");
    EXPECT_TRUE(d.registered());
    EXPECT_TRUE(reg().contains("test/c"));
    EXPECT_TRUE(reg().contains("test/d"));
}

struct Expected {
    std::unique_ptr<FileType> FileTypes::Set::*member;
    const char* name;
    const char* extensions;
    const char* macType;
    const char* macCreator;
};

const Expected kSet[] = {
    {&FileTypes::Set::pTextHtml, "text/html", ".htm;.html;.html", "TEXT", "????"},
    {&FileTypes::Set::pApplicationRtf, "application/rtf", ".rtf", "RTF ", "MSWD"},
    {&FileTypes::Set::pApplicationText, "application/text", ".1st;.nfo;.readme;readme", "TEXT", "text"},
    {&FileTypes::Set::pApplicationXXml, "application/x-xml", ".xml", "TEXT", "DmWr"},
    {&FileTypes::Set::pSpecialAny, "special/any", "", "????", "????"},
    {&FileTypes::Set::pTextPlainCharsetUtf16, "text/plain; charset=\"utf-16\"", ".uni", "utxt",
     "St\xC3\xBFl"},
    {&FileTypes::Set::pAny, "any", "", "????", "????"},
    {&FileTypes::Set::pApplicationVndMsExcel, "application/vnd.ms-excel", ".xl", "XLS ", "XCEL"},
    {&FileTypes::Set::pUntitledType, "", "", "", ""},
    {&FileTypes::Set::pImageTiff, "image/tiff", ".jfx;.tif;.tiff", "TIFF", "????"},
};

class FileTypeSet : public ::testing::Test {
protected:
    void SetUp() override { FileTypes::Initialise(); }
    void TearDown() override { FileTypes::Release(); }
};

TEST_F(FileTypeSet, InitialiseRegistersTheTenRecordsWithTheirExactValues) {
    for (const Expected& x : kSet) {
        SCOPED_TRACE(x.name);
        const auto& rec = FileTypes::members().*(x.member);
        ASSERT_NE(rec, nullptr);
        EXPECT_TRUE(rec->registered());
        EXPECT_EQ(rec->Name(), x.name);
        EXPECT_EQ(rec->Extensions(), x.extensions);
        EXPECT_EQ(rec->MacType(), x.macType);
        EXPECT_EQ(rec->MacCreator(), x.macCreator);
        const auto* e = reg().find(x.name);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->extensions, x.extensions);
        EXPECT_EQ(e->macType, x.macType);
        EXPECT_EQ(e->macCreator, x.macCreator);
    }
}

TEST_F(FileTypeSet, OddValuesStandAsGiven) {
    const auto& s = FileTypes::members();
    // Four characters, the third U+00FF.
    const std::string creator = s.pTextPlainCharsetUtf16->MacCreator();
    const auto characters = std::count_if(creator.begin(), creator.end(),
                                          [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
    EXPECT_EQ(characters, 4);
    EXPECT_EQ(creator.substr(2, 2), "\xC3\xBF");  // U+00FF in UTF-8
    EXPECT_EQ(s.pTextPlainCharsetUtf16->Name(), R"(text/plain; charset="utf-16")");
    EXPECT_EQ(s.pApplicationRtf->MacType().size(), 4u);
    EXPECT_EQ(s.pApplicationVndMsExcel->MacType().back(), ' ');
    EXPECT_EQ(*s.pTextHtml + *s.pApplicationRtf, "text/html;application/rtf");
}

TEST_F(FileTypeSet, SpecialAnyAcceptsAnyFileOrFolder) {
    EXPECT_EQ(reg().accepts("special/any"), "any file or folder");
    EXPECT_TRUE(reg().acceptsItem("special/any", "a.bin", false));
    EXPECT_TRUE(reg().acceptsItem("special/any", "folder", true));
    EXPECT_TRUE(reg().acceptsItem("image/tiff", "Scan.TIFF", false));
    EXPECT_FALSE(reg().acceptsItem("image/tiff", "scan.png", false));
    EXPECT_FALSE(reg().acceptsItem("no/such-type", "a.bin", false));
    EXPECT_EQ(reg().accepts("no/such-type"), "");
}

TEST_F(FileTypeSet, ReleaseWithdrawsEveryRecord) {
    FileTypes::Release();
    for (const Expected& x : kSet) {
        EXPECT_FALSE(reg().contains(x.name)) << x.name;
        EXPECT_EQ(FileTypes::members().*(x.member), nullptr) << x.name;
    }
    EXPECT_EQ(reg().accepts("special/any"), "");
}

} // namespace

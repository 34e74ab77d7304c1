// Output names within one batch: which item keeps the name it wants, which one gets a
// numbered copy name, and what is replaced as before.
#include "engine/outputnames.h"

#include <cctype>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace {

using vorpel::OutputNames;

struct Claim {
    std::string source;    // the converted item
    std::string stem;      // name wanted, without the extension
    std::string extension;
    std::string expected;  // the name given; empty: none left
};

struct Row {
    const char* what;
    std::vector<std::string> queued;    // the batch's items
    std::vector<std::string> existing;  // on disk besides the queued items
    std::vector<Claim> claims;          // in batch order, all in /p
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.what; }

std::vector<Row> rows() {
    return {
        {"three images under the typed name",
         {"/p/a.png", "/p/b.gif", "/p/c.tiff"},
         {},
         {{"/p/a.png", "Untitled", ".jpeg", "Untitled.jpeg"},
          {"/p/b.gif", "Untitled", ".jpeg", "Untitled 2.jpeg"},
          {"/p/c.tiff", "Untitled", ".jpeg", "Untitled 3.jpeg"}}},
        {"two documents of one base name to TXT",
         {"/p/report.rtf", "/p/report.docx"},
         {},
         {{"/p/report.rtf", "report", ".txt", "report.txt"},
          {"/p/report.docx", "report", ".txt", "report 2.txt"}}},
        {"speech of two items",
         {"/p/a.txt", "/p/b.rtf"},
         {},
         {{"/p/a.txt", "Untitled", ".aiff", "Untitled.aiff"},
          {"/p/b.rtf", "Untitled", ".aiff", "Untitled 2.aiff"}}},
        {"no collision: every item keeps its name",
         {"/p/a.rtf", "/p/b.rtf"},
         {},
         {{"/p/a.rtf", "a", ".txt", "a.txt"}, {"/p/b.rtf", "b", ".txt", "b.txt"}}},
        {"a file from before the batch, not queued, is replaced",
         {"/p/a.png"},
         {"/p/Untitled.jpeg"},
         {{"/p/a.png", "Untitled", ".jpeg", "Untitled.jpeg"}}},
        {"a numbered name skips files already there",
         {"/p/a.png", "/p/b.png"},
         {"/p/Untitled.jpeg", "/p/Untitled 2.jpeg", "/p/Untitled 3.jpeg"},
         {{"/p/a.png", "Untitled", ".jpeg", "Untitled.jpeg"},
          {"/p/b.png", "Untitled", ".jpeg", "Untitled 4.jpeg"}}},
        {"an output that is a queued item is not written over",
         {"/p/a.rtf", "/p/a.txt"},
         {},
         {{"/p/a.rtf", "a", ".txt", "a 2.txt"}, {"/p/a.txt", "a", ".txt", "a.txt"}}},
        {"an item converted onto itself keeps its name",
         {"/p/a.txt", "/p/a.rtf"},
         {},
         {{"/p/a.txt", "a", ".txt", "a.txt"}, {"/p/a.rtf", "a", ".txt", "a 2.txt"}}},
        {"the same item queued twice writes two files",
         {"/p/a.png", "/p/a.png"},
         {},
         {{"/p/a.png", "Untitled", ".jpeg", "Untitled.jpeg"},
          {"/p/a.png", "Untitled", ".jpeg", "Untitled 2.jpeg"}}},
        {"a queued item under a numbered name is passed over",
         {"/p/a.png", "/p/b.png", "/p/Untitled 2.jpeg"},
         {},
         {{"/p/a.png", "Untitled", ".jpeg", "Untitled.jpeg"},
          {"/p/b.png", "Untitled", ".jpeg", "Untitled 3.jpeg"},
          {"/p/Untitled 2.jpeg", "Untitled", ".jpeg", "Untitled 4.jpeg"}}},
        {"auto names keep the source's extension in the stem",
         {"/p/photo.png", "/p/photo.png"},
         {},
         {{"/p/photo.png", "photo.png", ".jpeg", "photo.png.jpeg"},
          {"/p/photo.png", "photo.png", ".jpeg", "photo.png 2.jpeg"}}},
        {"an empty typed name numbers without a leading blank",
         {"/p/a.png", "/p/b.png"},
         {},
         {{"/p/a.png", "", ".jpeg", ".jpeg"}, {"/p/b.png", "", ".jpeg", "2.jpeg"}}},
        {"a typed name that ends in a number is numbered after it",
         {"/p/a.html", "/p/b.html"},
         {},
         {{"/p/a.html", "Page 2", ".html", "Page 2.html"},
          {"/p/b.html", "Page 2", ".html", "Page 2 2.html"}}},
        {"other extensions and other names do not collide",
         {"/p/a.html", "/p/b.html"},
         {},
         {{"/p/a.html", "Untitled", ".html", "Untitled.html"},
          {"/p/b.html", "Untitled", ".xhtml", "Untitled.xhtml"},
          {"/p/b.html", "untitled", ".html", "untitled.html"}}},
    };
}

class OutputNameRows : public ::testing::TestWithParam<Row> {};

TEST_P(OutputNameRows, NamesInBatchOrder) {
    const Row& row = GetParam();
    const std::set<std::string> queued(row.queued.begin(), row.queued.end());
    std::set<std::string> disk(row.existing.begin(), row.existing.end());
    disk.insert(queued.begin(), queued.end());
    OutputNames names([&](const std::string& p) { return queued.count(p) > 0; },
                      [&](const std::string& p) { return disk.count(p) > 0; });
    for (const Claim& c : row.claims) {
        const std::string got = names.claim(c.source, "/p", c.stem, c.extension);
        EXPECT_EQ(got, c.expected) << c.source;
        // The tool writes it before the next item is named.
        disk.insert("/p/" + got);
    }
}

INSTANTIATE_TEST_SUITE_P(Batch, OutputNameRows, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             std::string n;
                             for (const char* c = info.param.what; *c; ++c)
                                 n += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return n;
                         });

TEST(OutputNames, FoldersAreApartAndTheRootJoinsWithOneSlash) {
    std::set<std::string> seen;
    OutputNames names([](const std::string&) { return false; },
                      [&](const std::string& p) { return seen.count(p) > 0; });
    EXPECT_EQ(names.claim("/p/a.png", "/p", "Untitled", ".jpeg"), "Untitled.jpeg");
    EXPECT_EQ(names.claim("/q/a.png", "/q", "Untitled", ".jpeg"), "Untitled.jpeg");
    EXPECT_EQ(names.claim("/a.png", "/", "Untitled", ".jpeg"), "Untitled.jpeg");
    EXPECT_EQ(names.claim("/b.png", "/", "Untitled", ".jpeg"), "Untitled 2.jpeg");
    EXPECT_EQ(names.claim("/q/b.png", "/q", "Untitled", ".jpeg"), "Untitled 2.jpeg");
}

TEST(OutputNames, GivesUpWhenEveryNumberIsTaken) {
    OutputNames names([](const std::string&) { return false; },
                      [](const std::string& p) { return p != "/p/Untitled.jpeg"; });
    EXPECT_EQ(names.claim("/p/a.png", "/p", "Untitled", ".jpeg"), "Untitled.jpeg");
    EXPECT_EQ(names.claim("/p/b.png", "/p", "Untitled", ".jpeg"), "");
}

TEST(OutputNames, ScopeMarksTheBatchUnderWayAndNests) {
    EXPECT_EQ(OutputNames::current(), nullptr);
    OutputNames outer({}, {}), inner({}, {});
    {
        const OutputNames::Scope a(outer);
        EXPECT_EQ(OutputNames::current(), &outer);
        {
            const OutputNames::Scope b(inner);
            EXPECT_EQ(OutputNames::current(), &inner);
        }
        EXPECT_EQ(OutputNames::current(), &outer);
    }
    EXPECT_EQ(OutputNames::current(), nullptr);
}

// The base name textutil keeps when it writes report.txt for report.rtf: the tool replaces the
// extension with std::filesystem, and the engine must name the same file.
TEST(DocumentStem, AsTheToolReplacesTheExtension) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"report.rtf", "report"},          {"Report 1.docx", "Report 1"},
        {"archive.tar.gz", "archive.tar"}, {"README", "README"},
        {".profile", ".profile"},          {"a.", "a"},
        {"..a", "."},                      {"..", ".."},
        {"doc.rtfd", "doc"},               {"caf\xe9.rtf", "caf\xe9"},
    };
    for (const auto& [name, stem] : cases) {
        EXPECT_EQ(vorpel::documentStem(name), stem) << name;
        EXPECT_EQ(std::filesystem::path(name).stem().string(), stem) << name;
    }
}

} // namespace

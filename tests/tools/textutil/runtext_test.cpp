// A run's text keeps short text inside the run and longer text on the heap; every edit must
// read the same across that boundary.
#include "document.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace textutil;

namespace {

// Edits applied to a RunText and a std::string side by side must give the same text.
TEST(RunText, EditsAcrossTheInlineLimitMatchAString) {
    RunText t;
    std::string s;
    EXPECT_TRUE(t.empty());
    // Grow one byte at a time past the 15 held inline and through several reallocations.
    for (int i = 0; i < 100; ++i) {
        const char c = char('a' + i % 26);
        t += c;
        s += c;
        ASSERT_EQ(t.view(), s) << "after " << i + 1 << " bytes";
    }
    t.append("tail");
    s.append("tail");
    EXPECT_EQ(t, s);
    t.erase(10, 80);
    s.erase(10, 80);
    EXPECT_EQ(t, s);
    EXPECT_EQ(t.size(), 24u);
    t.shrink_to_fit();  // still on the heap: 24 bytes
    EXPECT_EQ(t, s);
    t.erase(3);
    s.erase(3);
    t.shrink_to_fit();  // back inside the run
    EXPECT_EQ(t, "abc");
    while (!t.empty()) t.pop_back();
    EXPECT_EQ(t.size(), 0u);
    t = "exactly fifteen";  // the longest inline text
    EXPECT_EQ(t.size(), 15u);
    EXPECT_EQ(t.back(), 'n');
    t += "!";
    EXPECT_EQ(t, "exactly fifteen!");
    t = "short";  // a short text assigned over heap text
    EXPECT_EQ(t, "short");
}

TEST(RunText, AppendingItsOwnTextAndCopyingKeepEachTextApart) {
    RunText t = "0123456789";
    t.append(t.view());          // reads from the buffer being grown
    EXPECT_EQ(t, "01234567890123456789");
    t.append(t.view().substr(5, 3));
    EXPECT_EQ(t, "01234567890123456789567");
    t = t.view().substr(2, 18);  // assigned from inside itself
    EXPECT_EQ(t, "234567890123456789");

    RunText copy = t;
    copy += "x";
    EXPECT_EQ(t, "234567890123456789");
    EXPECT_EQ(copy, "234567890123456789x");
    RunText moved = std::move(copy);
    EXPECT_EQ(moved, "234567890123456789x");
    EXPECT_TRUE(copy.empty());
    moved = RunText("tiny");
    EXPECT_EQ(moved, "tiny");

    // A growing vector moves its runs; each keeps its own text, inline or on the heap.
    std::vector<textutil::Run> runs;
    for (int i = 0; i < 200; ++i) runs.emplace_back().text = std::string(size_t(i % 40), char('A' + i % 26));
    for (int i = 0; i < 200; ++i) ASSERT_EQ(runs[size_t(i)].text, std::string(size_t(i % 40), char('A' + i % 26)));
}

TEST(RunText, ParagraphsMergeAndCompactRunsWithoutChangingTheirText) {
    Paragraph p;
    CharStyle bold;
    bold.bold = true;
    std::string expected;
    for (int i = 0; i < 50; ++i) {
        const std::string word = "word" + std::to_string(i) + " ";
        appendText(p, word, i % 7 == 3 ? bold : CharStyle());
        expected += word;
    }
    p.compact();
    EXPECT_EQ(p.plainText(), expected);
    ASSERT_EQ(p.runs.size(), 15u);  // plain, bold, plain, ... for seven bold words
    EXPECT_EQ(p.runs[1].text, "word3 ");
    EXPECT_TRUE(p.runs[1].style->bold);
}

} // namespace

namespace {

// Shared strings are numbered entries: equal text must share one, and a number freed and
// given to other text must read as that text.
TEST(SharedText, EntriesStayDistinctAcrossChunksAndReuse) {
    std::vector<SharedText> many;
    for (int i = 0; i < 10000; ++i) many.emplace_back("font-" + std::to_string(i));  // past one chunk
    for (int i = 0; i < 10000; i += 997) EXPECT_EQ(many[size_t(i)].str(), "font-" + std::to_string(i));
    EXPECT_EQ(SharedText("font-42"), many[42]);
    EXPECT_FALSE(many[42] == many[43]);

    many.erase(many.begin() + 100, many.begin() + 200);  // their numbers go free
    std::vector<SharedText> later;
    for (int i = 0; i < 150; ++i) later.emplace_back("link-" + std::to_string(i));
    for (int i = 0; i < 150; ++i) EXPECT_EQ(later[size_t(i)].str(), "link-" + std::to_string(i));
    for (size_t i = 0; i < many.size(); i += 331) {
        const int n = int(i < 100 ? i : i + 100);
        EXPECT_EQ(many[i].str(), "font-" + std::to_string(n));
    }
    SharedText copy = later[7];
    later.clear();  // the copy still holds its entry
    EXPECT_EQ(copy.str(), "link-7");
    EXPECT_TRUE(SharedText("").empty());
    EXPECT_EQ(SharedText().str(), "");
}

// Runs share style entries: equal styles are one entry, a change to one run leaves the others
// alone, and an entry freed and taken by another style reads as that style.
TEST(RunStyle, SharedStylesChangeOneRunAtATime) {
    auto coloured = [](int i) {
        CharStyle s;
        s.color = Color{uint8_t(i), uint8_t(i >> 8), 7};
        s.font = "font-" + std::to_string(i % 3);
        s.size = 9 + i % 5;
        return s;
    };
    std::vector<textutil::Run> runs(6000);
    for (size_t i = 0; i < runs.size(); ++i) runs[i].style = coloured(int(i));  // past one chunk
    EXPECT_TRUE(runs[5].style == RunStyle(coloured(5)));
    EXPECT_FALSE(runs[5].style == runs[6].style);
    for (size_t i = 0; i < runs.size(); i += 613) EXPECT_EQ(*runs[i].style, coloured(int(i)));

    textutil::Run a, b;
    CharStyle bold;
    bold.bold = true;
    a.style = bold;
    b = a;
    b.style.edit([](CharStyle& s) { s.italic = true; });
    EXPECT_TRUE(a.style->bold);
    EXPECT_FALSE(a.style->italic);
    EXPECT_TRUE(b.style->bold && b.style->italic);

    runs.erase(runs.begin() + 10, runs.begin() + 3000);  // their entries go free
    std::vector<textutil::Run> later(3000);
    for (size_t i = 0; i < later.size(); ++i) later[i].style = coloured(int(i) + 100000);
    for (size_t i = 0; i < later.size(); i += 97) EXPECT_EQ(*later[i].style, coloured(int(i) + 100000));
    for (size_t i = 10; i < runs.size(); i += 211) EXPECT_EQ(*runs[i].style, coloured(int(i) + 2990));
    textutil::Run plain;
    plain.style = CharStyle();
    EXPECT_TRUE(plain.style == RunStyle());
    EXPECT_EQ(*plain.style, CharStyle());
}

} // namespace

// The table geometry helpers the writers and readers of merged cells share.
#include "document.h"

#include <gtest/gtest.h>

using namespace textutil;

namespace {

TableCell cell(const std::string& text, int colSpan = 1, int rowSpan = 1) {
    TableCell c;
    appendText(c.addParagraph(), text, {});
    c.colSpan = colSpan;
    c.rowSpan = rowSpan;
    return c;
}

std::string text(const TableCell* c) { return c->blocks.at(0).paragraph.plainText(); }

// Each slot as "text@column", covered ones with a '+'.
std::string describe(const std::vector<CellSlot>& row) {
    std::string s;
    for (const CellSlot& slot : row) {
        if (!s.empty()) s += ' ';
        s += (slot.continued ? "+" : "") + text(slot.cell) + "@" + std::to_string(slot.column);
    }
    return s;
}

TEST(textutilModel, SlotsPlaceCoveredPositionsOfRowAndColumnSpans) {
    // A | B(2 rows) | C
    // D | (B)       | E
    // F(2 cols)     | G
    // H(2 cols, 2 rows) | I
    // (H)              | J
    Table t;
    t.rows.resize(5);
    t.rows[0].cells = {cell("A"), cell("B", 1, 2), cell("C")};
    t.rows[1].cells = {cell("D"), cell("E")};
    t.rows[2].cells = {cell("F", 2), cell("G")};
    t.rows[3].cells = {cell("H", 2, 2), cell("I")};
    t.rows[4].cells = {cell("J")};
    const auto slots = tableSlots(t);
    ASSERT_EQ(slots.size(), 5u);
    EXPECT_EQ(describe(slots[0]), "A@0 B@1 C@2");
    EXPECT_EQ(describe(slots[1]), "D@0 +B@1 E@2");
    EXPECT_EQ(describe(slots[2]), "F@0 G@2");
    EXPECT_EQ(describe(slots[3]), "H@0 I@2");
    EXPECT_EQ(describe(slots[4]), "+H@0 J@2");
    EXPECT_EQ(tableColumns(t), 3u);
}

TEST(textutilModel, SlotsKeepCoveredPositionsOfShortRowsAndStopAtTheTableEnd) {
    // A span on the right reaches into a row with fewer cells; one running past the last
    // row is cut there.
    Table t;
    t.rows.resize(2);
    t.rows[0].cells = {cell("A"), cell("B"), cell("C", 1, 5)};
    const auto slots = tableSlots(t);
    EXPECT_EQ(describe(slots[1]), "+C@2");
    EXPECT_EQ(tableColumns(t), 3u);
}

TEST(textutilModel, FoldingContinuationMarksGivesRowSpans) {
    // As a vertical-merge format lists it: every row has every position.
    Table t;
    t.rows.resize(4);
    t.rows[0].cells = {cell("A", 2), cell("B")};
    t.rows[1].cells = {cell("", 2), cell("C")};
    t.rows[2].cells = {cell("", 2), cell("")};
    t.rows[3].cells = {cell("D"), cell("E"), cell("F")};
    foldRowSpans(t, {{false, false}, {true, false}, {true, true}, {false, true, false}});
    ASSERT_EQ(t.rows[0].cells.size(), 2u);
    EXPECT_EQ(t.rows[0].cells[0].rowSpan, 3);
    EXPECT_EQ(t.rows[0].cells[1].rowSpan, 1);
    ASSERT_EQ(t.rows[1].cells.size(), 1u);
    EXPECT_EQ(text(&t.rows[1].cells[0]), "C");
    EXPECT_EQ(t.rows[1].cells[0].rowSpan, 2);
    EXPECT_TRUE(t.rows[2].cells.empty());
    // E's mark points into the middle of A's span: not a continuation, so it stays a cell.
    ASSERT_EQ(t.rows[3].cells.size(), 3u);
    EXPECT_EQ(tableSlots(t)[1].size(), 2u);
}

TEST(textutilModel, FoldingIgnoresMarksWithNothingAboveThem) {
    Table t;
    t.rows.resize(2);
    t.rows[0].cells = {cell("A")};
    t.rows[1].cells = {cell("B"), cell("C")};
    foldRowSpans(t, {{true}, {false, true}});
    EXPECT_EQ(t.rows[0].cells.size(), 1u);
    EXPECT_EQ(t.rows[0].cells[0].rowSpan, 1);
    EXPECT_EQ(t.rows[1].cells.size(), 2u);
}

TEST(textutilModel, FlatParagraphsReadNestedCellsInOrder) {
    Document d;
    appendText(d.addParagraph(), "before", {});
    Table inner;
    inner.rows.resize(1);
    inner.rows[0].cells = {cell("x"), cell("y")};
    Table outer;
    outer.rows.resize(1);
    outer.rows[0].cells = {cell("a")};
    outer.rows[0].cells[0].blocks.emplace_back().table = inner;
    d.blocks.emplace_back().table = outer;
    std::string all;
    for (const Paragraph* p : flatParagraphs(d.blocks)) all += p->plainText() + ";";
    EXPECT_EQ(all, "before;a;x;y;");
    EXPECT_EQ(d.plainText(), "before\na x y");
    int seen = 0;
    d.forEachParagraph([&](Paragraph&) { ++seen; });
    EXPECT_EQ(seen, 4);
}

} // namespace

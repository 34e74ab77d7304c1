// Table heads, row and column spans, and lists and tables inside cells: the model's
// geometry helpers, and the formats that hold them, read back by us and by independent readers.
#include "fixtures.h"
#include "testsupport.h"

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

// | Name | Kind | Size |        (head row)
// | tall (2 rows) | wide (2 columns) |
// |               | b + list + nested table | c |
// | d | e | f |
Document spannedDocument() {
    Document d;
    appendText(d.addParagraph(), "Before.", {});
    Table t;
    t.headerRows = 1;
    t.rows.resize(4);
    t.rows[0].cells = {cell("Name"), cell("Kind"), cell("Size")};
    t.rows[1].cells = {cell("tall", 1, 2), cell("wide", 2)};
    TableCell rich = cell("b");
    ParaStyle item;
    item.listLevel = 1;
    appendText(rich.addParagraph(item), "item one", {});
    appendText(rich.addParagraph(item), "item two", {});
    Table inner;
    inner.rows.resize(1);
    inner.rows[0].cells = {cell("n1"), cell("n2")};
    rich.blocks.emplace_back().table = inner;
    t.rows[2].cells = {rich, cell("c")};
    t.rows[3].cells = {cell("d"), cell("e"), cell("f")};
    d.blocks.emplace_back().table = t;
    appendText(d.addParagraph(), "After.", {});
    return d;
}

const Table& firstTable(const Document& d) {
    for (const Block& b : d.blocks)
        if (b.table) return *b.table;
    throw std::runtime_error("no table");
}

std::string cellText(const TableCell& c) {
    std::string s;
    for (const Paragraph* p : flatParagraphs(c.blocks)) s += (s.empty() ? "" : " ") + p->plainText();
    return s;
}

class textutilTables : public ::testing::TestWithParam<std::string> {};

TEST_P(textutilTables, HeadRowsSurvive) {
    const Document back = textutiltest::roundTrip(spannedDocument(), GetParam());
    const Table& t = firstTable(back);
    EXPECT_EQ(t.headerRows, 1);
    EXPECT_EQ(cellText(t.rows.at(0).cells.at(0)), "Name");
}

TEST_P(textutilTables, RowAndColumnSpansSurvive) {
    const Document back = textutiltest::roundTrip(spannedDocument(), GetParam());
    const Table& t = firstTable(back);
    ASSERT_EQ(t.rows.size(), 4u);
    ASSERT_EQ(t.rows[1].cells.size(), 2u);
    EXPECT_EQ(cellText(t.rows[1].cells[0]), "tall");
    EXPECT_EQ(t.rows[1].cells[0].rowSpan, 2);
    EXPECT_EQ(cellText(t.rows[1].cells[1]), "wide");
    EXPECT_EQ(t.rows[1].cells[1].colSpan, 2);
    ASSERT_EQ(t.rows[2].cells.size(), 2u) << "the covered position is no cell of its own";
    EXPECT_EQ(cellText(t.rows[2].cells[1]), "c");
    const auto slots = tableSlots(t);
    EXPECT_EQ(slots[2][0].continued, true);
    EXPECT_EQ(slots[3].size(), 3u);
    EXPECT_EQ(tableColumns(t), 3u);
}

TEST_P(textutilTables, ListsAndTablesInsideCellsSurvive) {
    const Document back = textutiltest::roundTrip(spannedDocument(), GetParam());
    const Table& t = firstTable(back);
    const std::vector<Block>& blocks = t.rows.at(2).cells.at(0).blocks;
    ASSERT_EQ(blocks.size(), 4u) << cellText(t.rows[2].cells[0]);
    EXPECT_EQ(blocks[0].paragraph.plainText(), "b");
    EXPECT_EQ(blocks[0].paragraph.style.listLevel, 0);
    EXPECT_EQ(blocks[1].paragraph.plainText(), "item one");
    EXPECT_EQ(blocks[1].paragraph.style.listLevel, 1);
    EXPECT_EQ(blocks[2].paragraph.style.listLevel, 1);
    ASSERT_TRUE(blocks[3].table);
    ASSERT_EQ(blocks[3].table->rows.size(), 1u);
    ASSERT_EQ(blocks[3].table->rows[0].cells.size(), 2u);
    EXPECT_EQ(cellText(blocks[3].table->rows[0].cells[1]), "n2");
    // Nothing strays out of the table.
    EXPECT_EQ(back.blocks.size(), 3u);
    EXPECT_EQ(back.blocks.back().paragraph.plainText(), "After.");
}

INSTANTIATE_TEST_SUITE_P(Formats, textutilTables,
                         ::testing::Values("docx", "wordml", "odt", "html", "webarchive", "rtf",
                                           "doc", "rtfd"),
                         [](const auto& info) { return info.param; });

TEST(textutilTablesRtf, ReadsMergeMarksMergedWidthsAndNestedTables) {
    // Spans as merge marks (\clmgf/\clmrg) and as one cell as wide as two columns of the grid;
    // the last row, as LibreOffice writes it, never ends its outer cell or row.
    const std::string rtf = R"({\rtf1\ansi
\trowd\trhdr\cellx1000\cellx2000\cellx3000
\pard\intbl h1\cell h2\cell h3\cell\row
\trowd\clmgf\cellx1000\clmrg\cellx2000\clvmgf\cellx3000
\pard\intbl wide\cell\cell tall\cell\row
\trowd\cellx1000\cellx2010\clvmrg\cellx3000
\pard\intbl a\cell b\cell\cell\row
\trowd\cellx2000\cellx3000
\pard\intbl merged width\cell c\cell\row
\trowd\cellx3000
\pard\intbl\itap2 in1\nestcell in2\nestcell{\*\nesttableprops\trowd\cellx1500\cellx3000\nestrow}{\nonesttables\par}
\pard after\par})";
    Input in;
    in.bytes = rtf;
    const Document d = readDocument(in, {});
    ASSERT_EQ(d.blocks.size(), 2u);
    ASSERT_TRUE(d.blocks[0].table);
    const Table& t = *d.blocks[0].table;
    EXPECT_EQ(t.headerRows, 1);
    ASSERT_EQ(t.rows.size(), 5u);
    ASSERT_EQ(t.rows[1].cells.size(), 2u);
    EXPECT_EQ(cellText(t.rows[1].cells[0]), "wide");
    EXPECT_EQ(t.rows[1].cells[0].colSpan, 2);
    EXPECT_EQ(cellText(t.rows[1].cells[1]), "tall");
    EXPECT_EQ(t.rows[1].cells[1].rowSpan, 2);
    ASSERT_EQ(t.rows[2].cells.size(), 2u) << "the continued cell is covered";
    EXPECT_EQ(cellText(t.rows[2].cells[1]), "b");
    EXPECT_EQ(t.rows[2].cells[1].colSpan, 1) << "edges 10 twips apart are one grid line";
    ASSERT_EQ(t.rows[3].cells.size(), 2u);
    EXPECT_EQ(t.rows[3].cells[0].colSpan, 2);
    ASSERT_EQ(t.rows[4].cells.size(), 1u);
    EXPECT_EQ(t.rows[4].cells[0].colSpan, 3);
    const std::vector<Block>& inner = t.rows[4].cells[0].blocks;
    ASSERT_EQ(inner.size(), 1u);
    ASSERT_TRUE(inner[0].table);
    ASSERT_EQ(inner[0].table->rows.size(), 1u);
    ASSERT_EQ(inner[0].table->rows[0].cells.size(), 2u);
    EXPECT_EQ(cellText(inner[0].table->rows[0].cells[1]), "in2");
    EXPECT_EQ(d.blocks[1].paragraph.plainText(), "after");
}

TEST(textutilTablesRtf, MergeMarksOnCellsWithTextKeepTheText) {
    Input in;
    in.bytes = R"({\rtf1\ansi
\trowd\clmgf\cellx1000\clmrg\cellx2000\clvmgf\cellx3000
\pard\intbl x\cell y\cell top\cell\row
\trowd\cellx1000\cellx2000\clvmrg\cellx3000
\pard\intbl a\cell b\cell below\cell\row})";
    const Document d = readDocument(in, {});
    const Table& t = firstTable(d);
    ASSERT_EQ(t.rows.size(), 2u);
    ASSERT_EQ(t.rows[0].cells.size(), 2u);
    EXPECT_EQ(cellText(t.rows[0].cells[0]), "x y");
    EXPECT_EQ(t.rows[0].cells[0].colSpan, 2);
    ASSERT_EQ(t.rows[1].cells.size(), 3u) << "a continuation with text stays a cell";
    EXPECT_EQ(cellText(t.rows[1].cells[2]), "below");
}

TEST(textutilTablesDoc, VerticalMergeFlagsOnCellsWithTextKeepTheText) {
    // Two one-cell rows, then both cells flagged as continuing the cell above (tcgrf
    // vertMerge 1): the first has nothing above it, the second holds text of its own.
    Document d;
    Table t;
    t.rows.resize(2);
    t.rows[0].cells = {cell("top")};
    t.rows[1].cells = {cell("below")};
    d.blocks.emplace_back().table = t;
    std::string bytes = findFormat("doc")->write(d, WriteOptions{}).data;
    std::string tc = std::string(4, '\0');
    for (int side = 0; side < 4; ++side) tc += std::string("\x04\x01\x01\x00", 4);
    int patched = 0;
    for (size_t at = bytes.find(tc); at != std::string::npos; at = bytes.find(tc, at + tc.size())) {
        bytes[at] = 0x20;
        ++patched;
    }
    ASSERT_EQ(patched, 2) << "one cell definition per row";
    Input in;
    in.bytes = bytes;
    const Document read = readDocument(in, {});
    const Table& back = firstTable(read);
    ASSERT_EQ(back.rows.size(), 2u);
    ASSERT_EQ(back.rows[1].cells.size(), 1u) << "a continuation with text stays a cell";
    EXPECT_EQ(cellText(back.rows[1].cells[0]), "below");
    EXPECT_EQ(back.rows[0].cells.at(0).rowSpan, 1);
}

TEST(textutilTablesText, PlainTextFlattensCellsRowByRow) {
    const Document back = textutiltest::roundTrip(spannedDocument(), "txt");
    const std::string text = back.plainText();
    for (const char* word : {"Name\tKind\tSize", "tall\twide", "b item one item two n1 n2\tc", "d\te\tf", "After."})
        EXPECT_NE(text.find(word), std::string::npos) << word << " in\n" << text;
}

// Independent readers see the same structure in what we write.
bool contains(const std::string& s, const std::string& needle) { return s.find(needle) != std::string::npos; }

TEST(textutilTablesOracle, PandocSeesHeadsSpansAndNesting) {
    if (!vorpeltest::haveProgram("pandoc")) GTEST_SKIP() << "pandoc not installed; skipping the table oracle";
    vorpeltest::TempDir dir;
    // pandoc's odt reader knows no spans, heads or nesting.
    for (const char* format : {"docx", "html"}) {
        SCOPED_TRACE(format);
        const Format* f = findFormat(format);
        ASSERT_TRUE(f);
        const auto path = dir / (std::string("t.") + format);
        vorpeltest::writeFile(path, f->write(spannedDocument(), WriteOptions{}).data);
        const auto r = vorpeltest::runProcess({"pandoc", "--wrap=none", "-f", format, "-t", "html", path.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string& h = r.out;
        EXPECT_TRUE(contains(h, "<thead>")) << h;
        EXPECT_TRUE(contains(h, "rowspan=\"2\"")) << h;
        EXPECT_TRUE(contains(h, "colspan=\"2\"")) << h;
        const size_t outer = h.find("<table");
        ASSERT_NE(outer, std::string::npos);
        EXPECT_NE(h.find("<table", outer + 1), std::string::npos) << "nested table: " << h;
        EXPECT_TRUE(contains(h, "<ul>")) << h;
    }
}

TEST(textutilTablesOracle, LibreOfficeSeesSpansAndNesting) {
    if (!vorpeltest::haveProgram("soffice")) GTEST_SKIP() << "LibreOffice not installed; skipping the table oracle";
    vorpeltest::TempDir dir;
    const std::string profile = "-env:UserInstallation=file://" + (dir / "profile").string();
    for (const char* format : {"docx", "odt", "wordml", "rtf", "doc"}) {
        SCOPED_TRACE(format);
        const Format* f = findFormat(format);
        ASSERT_TRUE(f);
        const auto path = dir / (std::string("t_") + format + "." + std::string(f->extension));
        vorpeltest::writeFile(path, f->write(spannedDocument(), WriteOptions{}).data);
        const auto out = dir / format;
        const auto r = vorpeltest::runProcess(
            {"soffice", profile, "--headless", "--convert-to", "html", "--outdir", out.string(), path.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string h = vorpeltest::readFile(out / (path.stem().string() + ".html"));
        // Not yet seen through LibreOffice's Word 2003 XML import; our own reader reads it.
        if (std::string(format) != "wordml") {
            EXPECT_TRUE(contains(h, "rowspan=\"2\"") || contains(h, "ROWSPAN=2")) << h;
        }
        EXPECT_TRUE(contains(h, "colspan=\"2\"") || contains(h, "COLSPAN=2")) << h;
        const size_t outer = h.find("<table");
        ASSERT_NE(outer, std::string::npos) << h;
        EXPECT_NE(h.find("<table", outer + 1), std::string::npos) << "nested table";
        EXPECT_TRUE(contains(h, "n2"));
    }
}

} // namespace

// Column statistics, automatic sizing, rotated text placement, row swaps and row colours.
#include "RowsFixture.h"

#include <QFontMetrics>
#include <gtest/gtest.h>

using namespace grid;
using namespace rowtest;

namespace {
std::unique_ptr<TZedEzeravIvur> numbers(const QStringList& values)
{
    auto g = makeGrid(int(values.size()) + 1, 3);
    for (int i = 0; i < values.size(); ++i)
        g->SetCells(1, i + 1, values[i]);
    return g;
}
} // namespace

TEST(Stats, SumAverageMinimumAndMaximum)
{
    auto g = numbers({"1", "2", "x", "5"});
    EXPECT_DOUBLE_EQ(double(g->ColumnSum(1, 1, 4)), 8.0);
    EXPECT_DOUBLE_EQ(double(g->ColumnAvg(1, 1, 4)), 2.0);
    EXPECT_DOUBLE_EQ(double(g->ColumnMin(1, 1, 4)), 1.0);
    EXPECT_DOUBLE_EQ(double(g->ColumnMax(1, 1, 4)), 5.0);
    try {
        g->ColumnMin(1, 3, 4);
        FAIL();
    } catch (const EZodUvuzError& e) {
        EXPECT_STREQ(e.what(), "Cell does not contain a float value");
    }
    auto money = numbers({"(1,200.50)", "$10", "-", ""});
    EXPECT_DOUBLE_EQ(double(money->ColumnSum(1, 1, 4)), -1190.5);

    // Hidden rows count when the range reaches beyond the displayed rows.
    g->HideRows(2, 2);
    EXPECT_DOUBLE_EQ(double(g->ColumnSum(1, 1, 3)), 6.0);
    EXPECT_DOUBLE_EQ(double(g->ColumnSum(1, 1, 4)), 8.0);
}

TEST(Stats, AGroupedAverageLeavesHeaderAndSummaryRowsOut)
{
    auto g = makeGrid(5, 4);
    const QStringList keys = {"A", "A", "B", "B"};
    const QStringList values = {"1", "3", "5", "7"};
    for (int i = 0; i < 4; ++i) {
        g->SetCells(2, i + 1, keys[i]);
        g->SetCells(3, i + 1, values[i]);
    }
    g->Grouping()->Summary = true;
    g->Group(2);   // header A, 1, 3, summary, header B, 5, 7, summary; the values now in column 2
    ASSERT_EQ(g->RowCount(), 9);
    EXPECT_DOUBLE_EQ(double(g->ColumnAvg(2, 1, 8)), 4.0);
    EXPECT_DOUBLE_EQ(double(g->ColumnAvg(2, 1, 4)), 2.0);
}

TEST(Stats, AutoSizeGrowsOnlyWhenAskedAndKeepsTheMinimum)
{
    auto g = makeGrid(3, 3);
    g->SetCells(1, 1, "a rather long text in the cell");
    g->SetColWidths(1, 500);
    g->AutoSizeColumn(1, true);
    EXPECT_EQ(g->ColWidths(1), 500);
    g->AutoSizeColumn(1, false);
    const int fitted = g->ColWidths(1);
    const int text = QFontMetrics(g->font()).horizontalAdvance("a rather long text in the cell");
    EXPECT_GE(fitted, text);
    EXPECT_LT(fitted, text + 20);

    g->SetColWidths(2, 50);   // column 2 is empty: the minimum of 10 holds
    g->AutoSizeColumn(2, false);
    EXPECT_EQ(g->ColWidths(2), 10);

    int asked = -1;
    g->OnUpdateColumnSize = [&](QObject*, int col, int& width) {
        asked = col;
        width += 1;
    };
    g->AutoSizeColumns(false, 10);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(g->ColWidths(1), fitted + 1 + 10);
    EXPECT_EQ(g->ColWidths(2), 10 + 10);   // the hook's 7 is raised to the minimum
    EXPECT_EQ(g->ColWidths(0), g->DefaultColWidth());   // fixed column left alone
}

TEST(Stats, RowLinesAndRotatedTextStart)
{
    auto g = makeGrid(3, 3);
    const int h = QFontMetrics(g->font()).boundingRect("gh").height();
    g->SetRowLines(1, 3, 4);
    EXPECT_EQ(g->RowHeights(1), std::max(4 + 3 * (h + h / 8), g->DefaultRowHeight()));

    QRect r(10, 20, 100, 80);
    g->RotatedTextStart(r, 90, vtaTop, taLeftJustify, "Rotated");
    const int w = QFontMetrics(g->font()).horizontalAdvance("Rotated");
    EXPECT_EQ(r.topLeft(), QPoint(12, 22 + w));
    QRect flat(10, 20, 100, 80);
    g->RotatedTextStart(flat, 0, vtaBottom, taRightJustify, "Rotated");
    EXPECT_EQ(flat.topLeft(), QPoint(108 - w, 98 - QFontMetrics(g->font()).height()));
}

TEST(Stats, SwappingTwiceRestoresRowsAndTheirOrderBeforeSorting)
{
    auto g = makeGrid(6, 3);
    g->SortSettings()->Column = 0;
    g->SortByColumn();   // fills the order before sorting
    const QStringList before = column(*g);
    const int swaps = g->SwapCount();
    g->SwapRows(1, 4);
    EXPECT_EQ(g->Cells(0, 1), "r4");
    EXPECT_EQ(g->RowHeights(1), 30);
    EXPECT_EQ(g->UnsortedRows().Items(1), 4);
    g->SwapRows(1, 4);
    EXPECT_EQ(column(*g), before);
    EXPECT_EQ(g->UnsortedRows().Items(1), 1);
    EXPECT_EQ(g->SwapCount(), swaps + 2);
}

TEST(Stats, RowColorNoneClearsColoursButKeepsMergesAndMarks)
{
    auto g = makeGrid(4, 4);
    g->MergeCells(1, 2, 2, 1);
    g->SetRowColor(2, 0x00FFFF);
    g->SetRowFontColor(2, 0x0000FF);
    g->GetCellProperties(3, 2)->ReadOnly = true;
    EXPECT_EQ(g->CellColor(2, 2), TColor(0x00FFFF));
    g->SetRowColor(2, gfx::clNone);
    EXPECT_EQ(g->CellColor(1, 2), gfx::clNone);
    EXPECT_EQ(g->CellPropertiesOrNull(1, 2)->FontColor, gfx::clNone);
    EXPECT_TRUE(g->IsMergedCell(2, 2));
    EXPECT_EQ(g->BaseCell(2, 2), QPoint(1, 2));
    EXPECT_TRUE(g->ReadOnly(3, 2));
}

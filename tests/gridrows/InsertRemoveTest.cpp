// Inserting, removing and clearing rows and columns with the grid's companions in step.
#include "RowsFixture.h"
#include "grid/ZodUvuzFooter.h"

#include <gtest/gtest.h>

using namespace grid;
using namespace rowtest;

TEST(InsertRemove, InsertedRowsAreEmptyAndTheOthersMoveWithHeightAndObjects)
{
    auto g = makeGrid();
    TCellProperties* props = g->CellPropertiesOrNull(0, 3);
    QRect changed;
    g->OnCellsChanged = [&](QObject*, const QRect& r) { changed = r; };
    g->InsertRows(2, 3);
    EXPECT_EQ(g->RowCount(), 13);
    EXPECT_EQ(column(*g), QStringList({"r0", "r1", "", "", "", "r2", "r3", "r4", "r5", "r6", "r7", "r8", "r9"}));
    for (int r = 2; r < 5; ++r) {
        EXPECT_EQ(g->RowHeights(r), g->DefaultRowHeight());
        EXPECT_FALSE(g->HasCellProperties(0, r));
    }
    EXPECT_EQ(g->CellPropertiesOrNull(0, 6), props);
    EXPECT_EQ(g->RowHeights(7), 30);
    EXPECT_EQ(changed, QRect(QPoint(0, 2), QPoint(2, 5)));
}

TEST(InsertRemove, RemovingTheLastRowsMovesTheCurrentRowAndRemovingAllHidesTheSelection)
{
    auto g = makeGrid();
    g->SetRow(9);
    g->RemoveRows(8, 2);
    EXPECT_EQ(g->RowCount(), 8);
    EXPECT_EQ(g->Row(), 7);
    EXPECT_FALSE(g->SelectionHidden());

    g->RemoveRows(1, 7);
    EXPECT_EQ(g->RowCount(), 1);
    EXPECT_TRUE(g->SelectionHidden());
}

TEST(InsertRemove, OutOfRangeAndOversizedCountsAndTheEditingOption)
{
    auto g = makeGrid();
    g->SetGridOptions(g->GridOptions() | tk::goEditing);
    g->RemoveRows(10, 1);
    g->RemoveRows(3, 0);
    EXPECT_EQ(g->RowCount(), 10);
    g->RemoveRows(8, 100);
    EXPECT_EQ(column(*g), names({0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_TRUE(g->GridOptions() & tk::goEditing);
    EXPECT_EQ(g->UpdateCount(), 0);

    g->SetGridOptions(g->GridOptions() & ~tk::goEditing);
    g->RemoveRows(2, 1);
    EXPECT_FALSE(g->GridOptions() & tk::goEditing);
}

TEST(InsertRemove, HiddenRowsBelowAndBetweenRemovedRowsComeBackInPlace)
{
    auto g = makeGrid();
    g->HideRows(3, 3);
    g->HideRows(7, 7);
    // Displayed 2..4 are real 2, 4 and 5 (real 3 lies between them).
    g->RemoveRows(2, 3);
    ASSERT_EQ(g->NumHiddenRows(), 2);
    EXPECT_EQ(g->HiddenRows()[0].Idx, 2);
    EXPECT_EQ(g->HiddenRows()[1].Idx, 4);
    g->InsertRows(1, 1);   // above both: they move down
    EXPECT_EQ(g->HiddenRows()[0].Idx, 3);
    g->UnHideRowsAll();
    EXPECT_EQ(column(*g), QStringList({"r0", "", "r1", "r3", "r6", "r7", "r8", "r9"}));
}

TEST(InsertRemove, MarkedRowsAreRemovedExactlyAndKeptByAnInsertAbove)
{
    for (bool insertAbove : {false, true}) {
        SCOPED_TRACE(insertAbove);
        auto g = makeGrid();
        g->MouseActions()->SetDisjunctRowSelect(true);
        for (int r : {2, 3, 5})
            g->SetRowSelected(r, true);
        if (insertAbove) {
            g->InsertRows(1, 1);
            g->SetCells(0, 1, "new");
        }
        g->RemoveMarkedRows();
        QStringList want = names({0, 1, 4, 6, 7, 8, 9});
        if (insertAbove)
            want.insert(1, "new");
        EXPECT_EQ(column(*g), want);
        for (int r = 0; r < g->RowCount(); ++r)
            EXPECT_FALSE(g->RowSelected(r)) << r;
    }
}

TEST(InsertRemove, RemovedRowsLeaveTheUnsortedOrderAndInsertedOnesJoinIt)
{
    auto g = makeGrid(6);
    g->SortSettings()->Column = 0;
    g->SortSettings()->Direction = sdDescending;
    g->SortByColumn();
    EXPECT_EQ(column(*g), names({0, 5, 4, 3, 2, 1}));
    g->RemoveRows(2, 1);   // r4
    g->InsertRows(1, 1);
    g->SetCells(0, 1, "new");
    EXPECT_EQ(g->UnsortedRows().Count(), g->RowCount());
    g->RestoreRowOrder();
    EXPECT_EQ(column(*g), QStringList({"r0", "new", "r1", "r2", "r3", "r5"}));
}

TEST(InsertRemove, ColumnsMoveWithTheirWidths)
{
    auto g = makeGrid(3, 5);
    for (int c = 0; c < 5; ++c) {
        g->SetColWidths(c, 10 * (c + 1));
        g->SetCells(c, 1, QString::number(c));
    }
    g->RemoveCols(1, 2);
    EXPECT_EQ(g->ColCount(), 3);
    EXPECT_EQ(g->Rows(1), QStringList({"0", "3", "4"}));
    EXPECT_EQ(g->ColWidths(1), 40);
    EXPECT_EQ(g->ColWidths(2), 50);
    g->InsertCols(1, 1);
    EXPECT_EQ(g->Rows(1), QStringList({"0", "", "3", "4"}));
    EXPECT_EQ(g->ColWidths(1), g->DefaultColWidth());
    EXPECT_EQ(g->ColWidths(2), 40);
}

TEST(InsertRemove, ClearRectFreesCellObjects)
{
    auto g = makeGrid();
    auto gr = std::make_unique<TCellGraphic>();
    gr->CellType = ctCheckBox;
    g->SetCellGraphic(1, 2, std::move(gr));
    g->SetCells(1, 2, "x");
    g->ClearRect(0, 2, 2, 3);
    EXPECT_FALSE(g->HasCellProperties(1, 2));
    EXPECT_FALSE(g->HasCellProperties(0, 3));
    EXPECT_EQ(g->Cells(1, 2), "");
    EXPECT_EQ(g->Cells(0, 3), "");
    EXPECT_EQ(g->Cells(0, 4), "r4");
}

TEST(InsertRemove, EqualRunsMergeAndUnmerge)
{
    auto g = makeGrid(6, 2);
    const QStringList values = {"A", "A", "B", "B", "B"};
    for (int i = 0; i < values.size(); ++i)
        g->SetCells(1, i + 1, values[i]);
    g->MergeEqualRuns(1, false);
    EXPECT_EQ(g->CellSpan(1, 1), QPoint(0, 1));
    EXPECT_EQ(g->CellSpan(1, 3), QPoint(0, 2));
    EXPECT_EQ(g->BaseCell(1, 5), QPoint(1, 3));
    g->UnmergeColumn(1);
    EXPECT_FALSE(g->IsMergedCell(1, 2));
    EXPECT_FALSE(g->IsMergedCell(1, 4));
}

TEST(InsertRemove, AddRowAtEndAppendsAnEmptyRow)
{
    auto g = makeGrid(3);
    g->AddRowAtEnd();
    EXPECT_EQ(column(*g), QStringList({"r0", "r1", "r2", ""}));
}

TEST(InsertRemove, AddRowAtEndGoesAboveAVisibleFooterRow)
{
    auto g = makeGrid(4);
    g->FloatingFooter()->SetVisible(true);
    g->SetCells(1, 3, "sum");
    g->AddRowAtEnd();
    EXPECT_EQ(column(*g), QStringList({"r0", "r1", "r2", "", "r3"}));
    EXPECT_EQ(g->Cells(1, 4), "sum");
    EXPECT_EQ(g->FixedFooters(), 1);
    g->FloatingFooter()->SetVisible(false);
    g->AddRowAtEnd();
    EXPECT_EQ(column(*g), QStringList({"r0", "r1", "r2", "", "r3", ""}));
}

TEST(InsertRemove, ClearingTheSelectionTheMarksOrEverything)
{
    auto g = makeGrid(6, 3);
    g->SetSelection(tk::TGridRect{0, 2, 0, 3});
    g->ClearSelectedArea();
    EXPECT_EQ(column(*g), QStringList({"r0", "r1", "", "", "r4", "r5"}));
    g->MouseActions()->SetDisjunctRowSelect(true);
    g->SetRowSelected(5, true);
    g->ClearSelectedArea();
    EXPECT_EQ(g->Cells(0, 5), "");
    EXPECT_EQ(g->Cells(0, 4), "r4");
    g->AddNode(1, 2);
    g->ClearAllCells();
    EXPECT_FALSE(g->HasNodes());
    EXPECT_EQ(column(*g), QStringList(6, QString()));
}

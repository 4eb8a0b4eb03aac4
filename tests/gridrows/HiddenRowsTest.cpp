// Hidden rows: real and displayed numbers, hiding and showing rows with their cells and heights.
#include "RowsFixture.h"

#include <gtest/gtest.h>

using namespace grid;
using namespace rowtest;

TEST(HiddenRows, HidingMapsRealAndDisplayedRowsAndIsIdempotent)
{
    auto g = makeGrid();
    g->HideRows(3, 5);
    EXPECT_EQ(g->RowCount(), 7);
    EXPECT_EQ(g->NumHiddenRows(), 3);
    EXPECT_EQ(g->DisplRowIndex(6), 3);
    EXPECT_EQ(g->RealRowIndex(3), 6);
    EXPECT_EQ(g->RealRowIndex(2), 2);
    EXPECT_TRUE(g->IsHiddenRow(4));
    EXPECT_FALSE(g->IsHiddenRow(6));
    EXPECT_EQ(column(*g), names({0, 1, 2, 6, 7, 8, 9}));

    g->HideRows(3, 5);
    EXPECT_EQ(g->RowCount(), 7);
    EXPECT_EQ(g->NumHiddenRows(), 3);
    EXPECT_EQ(column(*g), names({0, 1, 2, 6, 7, 8, 9}));
}

TEST(HiddenRows, ShowingGivesBackTheSameCellObjectsAndHeights)
{
    auto g = makeGrid();
    TCellProperties* props = g->CellPropertiesOrNull(0, 3);
    ASSERT_NE(props, nullptr);
    g->HideRows(3, 5);
    EXPECT_EQ(g->HiddenRows()[0].Object(0), props);
    EXPECT_EQ(g->HiddenRows()[1].Height, 30);
    EXPECT_EQ(g->HiddenRows()[0].Items().value(0), "r3");
    g->UnHideRows(3, 5);
    EXPECT_EQ(g->NumHiddenRows(), 0);
    EXPECT_EQ(column(*g), names({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(g->CellPropertiesOrNull(0, 3), props);
    EXPECT_EQ(g->CellPropertiesOrNull(0, 3)->BrushColor(), 0x00FF00u);
    EXPECT_EQ(g->RowHeights(4), 30);
    EXPECT_EQ(g->RowHeights(5), g->DefaultRowHeight());
}

TEST(HiddenRows, ARowListAndRowsAtTheEndComeBackInOrder)
{
    auto g = makeGrid();
    g->HideRowList({8, 1, 4, 9, 4});
    EXPECT_EQ(column(*g), names({0, 2, 3, 5, 6, 7}));
    EXPECT_EQ(g->DisplRowIndex(8), 6);
    EXPECT_EQ(g->RealRowIndex(5), 7);
    g->UnHideRowsAll();
    EXPECT_EQ(column(*g), names({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(g->RowHeights(4), 30);
}

TEST(HiddenRows, PartlyHiddenRangesLoseAndDoubleNothing)
{
    auto g = makeGrid();
    g->HideRows(4, 4);
    g->HideRows(3, 6);   // 3, 5 and 6 each leave their own place
    EXPECT_EQ(column(*g), names({0, 1, 2, 7, 8, 9}));
    ASSERT_EQ(g->NumHiddenRows(), 4);
    QStringList stored;
    for (const TGridItem& item : g->HiddenRows())
        stored << item.Items().value(0);
    EXPECT_EQ(stored, names({3, 4, 5, 6}));

    // FromReal 2 is displayed; the stored rows of the range still come back at their places.
    g->UnHideRows(2, 4);
    EXPECT_EQ(column(*g), names({0, 1, 2, 3, 4, 7, 8, 9}));
    g->HideRows(8, 8);
    g->UnHideRows(0, 9);   // several runs at once
    EXPECT_EQ(column(*g), names({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST(HiddenRows, HiddenRowObjectsAreFreedWithTheGrid)
{
    // Cell properties that count their own end: those of hidden rows go with the grid as well as
    // those of shown rows, each once.
    static int freed = 0;
    struct Counted : grid::TCellProperties {
        using TCellProperties::TCellProperties;
        ~Counted() override { ++freed; }
    };
    freed = 0;
    auto g = makeGrid();
    for (const int row : {1, 4, 5, 8})
        g->SetCellProperties(1, row, new Counted(g.get(), 1, row));
    g->HideRows(3, 6);
    ASSERT_EQ(g->NumHiddenRows(), 4);
    EXPECT_EQ(freed, 0);
    g.reset();
    EXPECT_EQ(freed, 4);
}

TEST(HiddenRows, TheColumnMapIsTheIdentity)
{
    auto g = makeGrid();
    EXPECT_FALSE(g->IsHiddenColumn(600));
    EXPECT_FALSE(g->IsHiddenColumn(2));
    EXPECT_EQ(g->NumHiddenColumns(), 0);
    EXPECT_EQ(g->RealColIndex(2), 2);
    EXPECT_EQ(g->DisplColIndex(700), 700);
}

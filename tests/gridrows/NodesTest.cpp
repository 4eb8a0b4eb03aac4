// Node rows (contracting hides their rows) and grouping by a column's values.
#include "RowsFixture.h"

#include <gtest/gtest.h>

using namespace grid;
using namespace rowtest;

namespace {
// One fixed row, then data rows whose column 2 holds A, A, B, B (column 1 names them).
std::unique_ptr<TZedEzeravIvur> groupGrid()
{
    auto g = makeGrid(5, 4);
    const QStringList keys = {"A", "A", "B", "B"};
    const QStringList names1 = {"a1", "a2", "b1", "b2"};
    g->SetCells(2, 0, "Key");
    g->SetColWidths(2, 77);
    for (int i = 0; i < 4; ++i) {
        g->SetCells(1, i + 1, names1[i]);
        g->SetCells(2, i + 1, keys[i]);
        g->SetCells(3, i + 1, QString::number(i));
    }
    return g;
}
} // namespace

TEST(Nodes, ContractingAnOuterNodeKeepsTheInnerOnesRowsAndShowsThemExpanded)
{
    auto g = makeGrid(10, 3);
    g->AddNode(1, 8);   // rows 1..8
    g->AddNode(3, 3);   // rows 3..5 inside
    EXPECT_EQ(g->NodeCount(), 2);
    EXPECT_EQ(g->GetNodeLevel(1), 1);
    EXPECT_EQ(g->GetNodeLevel(3), 2);
    EXPECT_EQ(g->GetParentNode(4), 3);
    EXPECT_EQ(g->GetParentNode(3), 1);
    EXPECT_EQ(g->GetParentNode(9), -1);
    EXPECT_EQ(g->GetNodeSpan(2), -1);

    g->ContractNode(3);
    EXPECT_EQ(column(*g), names({0, 1, 2, 3, 6, 7, 8, 9}));
    g->ContractNode(1);
    EXPECT_EQ(column(*g), names({0, 1, 9}));
    EXPECT_TRUE(g->IsNodeContracted(1));
    g->ExpandNode(1);
    EXPECT_EQ(column(*g), names({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_FALSE(g->IsNodeContracted(3));

    g->ContractAll();
    EXPECT_EQ(column(*g), names({0, 1, 9}));
    g->ExpandAll();
    EXPECT_EQ(g->RowCount(), 10);

    // Adding a node again replaces its span without counting it twice; a plain row is no node.
    g->AddNode(3, 2);
    EXPECT_EQ(g->NodeCount(), 2);
    EXPECT_EQ(g->GetNodeLevel(3), 2);
    EXPECT_EQ(g->GetCellProperties(0, 5)->NodeLevel, 1);
    g->RemoveNode(7);
    EXPECT_EQ(g->NodeCount(), 2);
    g->RemoveNode(3);
    EXPECT_EQ(g->NodeCount(), 1);
    g->RemoveAllNodes();
    EXPECT_FALSE(g->HasNodes());
}

TEST(Nodes, ExpandOneContractsTheNodeExpandedBefore)
{
    auto g = makeGrid(10, 3);
    g->AddNode(1, 3);
    g->AddNode(4, 3);
    g->CellNode()->ExpandOne = true;
    g->ContractAll();
    g->ExpandNode(1);
    EXPECT_EQ(column(*g), names({0, 1, 2, 3, 4, 7, 8, 9}));
    g->ExpandNode(4);
    EXPECT_TRUE(g->IsNodeContracted(1));
    EXPECT_EQ(column(*g), names({0, 1, 4, 5, 6, 7, 8, 9}));
}

TEST(Nodes, TheGlyphLiesInTheIndentOfTheNodesLevel)
{
    auto g = makeGrid(10, 3);
    g->CellNode()->SetNodeIndent(12);
    g->AddNode(1, 6);
    g->AddNode(2, 2);
    EXPECT_TRUE(g->PointOnNodeGlyph(2, 13));
    EXPECT_FALSE(g->PointOnNodeGlyph(2, 12));
    EXPECT_FALSE(g->PointOnNodeGlyph(2, 24));
    EXPECT_TRUE(g->PointOnNodeGlyph(1, 5));
    EXPECT_FALSE(g->PointOnNodeGlyph(3, 5));
}

TEST(Grouping, HeadersSpanTheirGroupsAndTheColumnGoes)
{
    auto g = groupGrid();
    g->Group(2);
    EXPECT_EQ(g->ColCount(), 3);
    EXPECT_EQ(column(*g, 1), QStringList({"r0", "A", "a1", "a2", "B", "b1", "b2"}).replaceInStrings("r0", ""));
    EXPECT_TRUE(g->IsNodeRow(1));
    EXPECT_TRUE(g->IsNodeRow(4));
    EXPECT_EQ(g->GetNodeSpan(1), 3);
    EXPECT_EQ(g->GetNodeSpan(4), 3);

    g->UnGroup();
    EXPECT_FALSE(g->HasNodes());
    EXPECT_EQ(g->ColCount(), 4);
    EXPECT_EQ(column(*g, 1), QStringList({"", "a1", "a2", "b1", "b2"}));
    EXPECT_EQ(column(*g, 2), QStringList({"Key", "A", "A", "B", "B"}));
    EXPECT_EQ(column(*g, 3), QStringList({"", "0", "1", "2", "3"}));
    EXPECT_EQ(g->ColWidths(2), 77);
}

TEST(Grouping, SummaryRowsCloseEachGroupAndGoAgainWhateverSummarySaysLater)
{
    auto g = groupGrid();
    g->Grouping()->Summary = true;
    g->Group(2);
    EXPECT_EQ(column(*g, 1), QStringList({"", "A", "a1", "a2", "", "B", "b1", "b2", ""}));
    EXPECT_TRUE(g->IsSummaryRow(4));
    EXPECT_TRUE(g->IsSummaryRow(8));
    EXPECT_EQ(g->GetNodeSpan(1), 3);
    EXPECT_EQ(g->GetNodeSpan(5), 3);

    g->Grouping()->Summary = false;
    g->UnGroup();
    EXPECT_EQ(column(*g, 1), QStringList({"", "a1", "a2", "b1", "b2"}));
    EXPECT_EQ(column(*g, 2), QStringList({"Key", "A", "A", "B", "B"}));
}

TEST(Grouping, NothingHappensWithoutRowsForTheNodeColumnOrWithTheFilterOn)
{
    auto g = groupGrid();
    g->Group(0);
    EXPECT_FALSE(g->HasNodes());
    g->Filter().Add().Condition = "*";
    g->SetFilterActive(true);
    g->Group(2);
    EXPECT_FALSE(g->HasNodes());
    g->SetFilterActive(false);

    auto empty = makeGrid(2, 4);   // a fixed row and a footer row only
    empty->SetFixedFooters(1);
    empty->Group(2);
    EXPECT_FALSE(empty->HasNodes());
    EXPECT_EQ(empty->ColCount(), 4);
}

TEST(Nodes, SortingNodesSortsEachExpandedGroupOnItsOwn)
{
    auto g = makeGrid(9, 3);
    const QStringList v = {"", "3", "1", "2", "", "9", "7", "8"};
    for (int i = 0; i < v.size(); ++i)
        g->SetCells(1, i + 1, v[i]);
    g->AddNode(1, 4);   // rows 1..4
    g->AddNode(5, 4);   // rows 5..8
    g->SortSettings()->Column = 1;
    g->SortNodes();
    EXPECT_EQ(column(*g, 1), QStringList({"", "", "1", "2", "3", "", "7", "8", "9"}));
    EXPECT_TRUE(g->IsNodeRow(1));
    EXPECT_TRUE(g->IsNodeRow(5));

    EXPECT_THROW(g->SortNodesByIndex(), EZodUvuzError);
    g->SortIndexes().AddSortColumn(1, false);
    g->ContractNode(5);   // contracted groups stay as they are
    g->SortNodesByIndex();
    g->ExpandNode(5);
    EXPECT_EQ(column(*g, 1), QStringList({"", "", "3", "2", "1", "", "7", "8", "9"}));
}

TEST(Grouping, HeaderAndSummaryRowsGetTheirLines)
{
    auto g = groupGrid();
    g->Grouping()->Summary = true;
    g->Grouping()->HeaderUnderline = true;
    g->Grouping()->SummaryLine = true;
    g->Grouping()->SummaryLineWidth = 3;
    g->Group(2);
    QPen pen;
    TCellBorders borders = 0;
    g->GetCellBorder(1, 1, pen, borders);
    EXPECT_EQ(borders, TCellBorders(1 << cbBottom));
    EXPECT_EQ(pen.width(), 2);
    borders = 0;
    g->GetCellBorder(1, 4, pen, borders);
    EXPECT_EQ(borders, TCellBorders(1 << cbTop));
    EXPECT_EQ(pen.width(), 3);
    borders = 0;
    g->GetCellBorder(0, 1, pen, borders);   // the node column keeps its own look
    g->GetCellBorder(1, 2, pen, borders);
    EXPECT_EQ(borders, TCellBorders(0));
}

TEST(Nodes, ChildRowsChangeTheSpansOfEveryCoveringNode)
{
    auto g = makeGrid(10, 3);
    g->AddNode(1, 8);
    g->AddNode(3, 3);
    g->ContractNode(3);
    g->InsertChildRow(4, 0);   // inside the inner node
    EXPECT_EQ(g->GetNodeSpan(3), 4);
    EXPECT_EQ(g->GetNodeSpan(1), 9);
    EXPECT_FALSE(g->IsNodeContracted(3));
    EXPECT_EQ(g->Cells(0, 4), "");
    EXPECT_EQ(g->GetCellProperties(0, 4)->NodeLevel, 2);
    g->RemoveChildRow(4);
    EXPECT_EQ(g->GetNodeSpan(3), 3);
    EXPECT_EQ(g->GetNodeSpan(1), 8);
    EXPECT_EQ(column(*g), names({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST(Grouping, SubGroupsNestInsideTheGroupsAndGoAgain)
{
    auto g = makeGrid(5, 5);   // column 4 stays empty: it takes the sub-group values
    const QStringList keys = {"A", "A", "B", "B"};
    const QStringList subs = {"x", "y", "z", "z"};
    for (int i = 0; i < 4; ++i) {
        g->SetCells(1, i + 1, QStringLiteral("n%1").arg(i));
        g->SetCells(2, i + 1, subs[i]);
        g->SetCells(3, i + 1, keys[i]);
    }
    g->SortSettings()->AutoSortForGrouping = false;   // already in order (the sort is not stable)
    g->Group(3);
    ASSERT_EQ(column(*g, 1), QStringList({"", "A", "n0", "n1", "B", "n2", "n3"}));
    g->SubGroup(2);
    // A (x (n0), y (n1)), B (z (n2, n3)): the sub-values stand in column 3 of their headers.
    EXPECT_EQ(column(*g, 1), QStringList({"", "A", "", "n0", "", "n1", "B", "", "n2", "n3"}));
    EXPECT_EQ(column(*g, 3), QStringList({"", "", "x", "", "y", "", "", "z", "", ""}));
    EXPECT_EQ(column(*g, 2), QStringList(10, QString()));
    EXPECT_EQ(g->GetNodeSpan(1), 5);
    EXPECT_EQ(g->GetNodeSpan(2), 2);
    EXPECT_EQ(g->GetNodeSpan(6), 4);
    EXPECT_EQ(g->GetNodeSpan(7), 3);
    EXPECT_EQ(g->GetNodeLevel(7), 2);

    g->UnSubGroup(2);
    EXPECT_EQ(column(*g, 1), QStringList({"", "A", "n0", "n1", "B", "n2", "n3"}));
    EXPECT_EQ(column(*g, 2), QStringList({"", "", "x", "y", "", "z", "z"}));
    EXPECT_EQ(g->GetNodeSpan(1), 3);
    EXPECT_EQ(g->GetNodeSpan(4), 3);
    g->UnGroup();
    EXPECT_EQ(column(*g, 3), QStringList({"", "A", "A", "B", "B"}));
    EXPECT_FALSE(g->HasNodes());
}

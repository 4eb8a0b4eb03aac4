// Where the current cell goes after an edit, and Tab past the last cell.
#include "Fixture.h"

#include <functional>
#include <vector>

using namespace gridedit;

namespace {
void makeCheckBox(TZedEzeravIvur* grid, int col, int row)
{
    auto g = std::make_unique<TCellGraphic>();
    g->CellType = ctCheckBox;
    grid->SetCellGraphic(col, row, std::move(g));
}
} // namespace

// The grid has normal columns 1..4 and normal rows 1..5.
TEST_F(GridEditFixture, EnterAdvancesToTheNextEditableCellInItsDirection)
{
    struct Case {
        const char* name;
        TAdvanceDirection dir;
        bool forward;
        QPoint from, to;
        int readOnlyCol;   // -1: none
    };
    const std::vector<Case> cases = {
        {"right", adLeftRight, true, {2, 2}, {3, 2}, -1},
        {"last column to the next row", adLeftRight, true, {4, 2}, {1, 3}, -1},
        {"last cell to the first", adLeftRight, true, {4, 5}, {1, 1}, -1},
        {"read-only column skipped", adLeftRight, true, {1, 1}, {3, 1}, 2},
        {"down", adTopBottom, true, {2, 2}, {2, 3}, -1},
        {"last row to the next column", adTopBottom, true, {2, 5}, {3, 1}, -1},
        {"last cell down to the first", adTopBottom, true, {4, 5}, {1, 1}, -1},
        {"backward left to the row above", adLeftRight, false, {1, 2}, {4, 1}, -1},
        {"backward up to the column before", adTopBottom, false, {2, 1}, {1, 5}, -1},
    };
    grid->Navigation()->AdvanceOnEnter = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int ro = c.readOnlyCol;
        grid->OnCanEditCell = [ro](QObject*, int, int col, bool& can) {
            if (col == ro)
                can = false;
        };
        grid->Navigation()->AdvanceDirection = c.dir;
        grid->FocusCell(c.from.x(), c.from.y(), true);
        grid->AdvanceCell(c.from.x(), c.from.y(), false, c.forward, false, false);
        EXPECT_EQ(QPoint(grid->Col(), grid->Row()), c.to);
    }
    // Without AdvanceOnEnter or Force nothing moves.
    grid->Navigation()->AdvanceOnEnter = false;
    grid->FocusCell(2, 2, true);
    grid->AdvanceCell(2, 2, false, true, false, false);
    EXPECT_EQ(QPoint(grid->Col(), grid->Row()), QPoint(2, 2));
}

TEST_F(GridEditFixture, AdvanceInsertAddsARowOrAColumnAtTheEnd)
{
    grid->Navigation()->AdvanceOnEnter = true;
    grid->Navigation()->AdvanceInsert = true;
    bool canAdd = false;
    int asked = 0;
    std::vector<int> added, insertedCols;
    grid->OnCanAddRow = [&](QObject*, bool& can) {
        ++asked;
        can = canAdd;
    };
    grid->OnAutoAddRow = [&](QObject*, int row) { added.push_back(row); };
    grid->OnAutoInsertCol = [&](QObject*, int col) { insertedCols.push_back(col); };

    // Refused: the row stays, the current cell goes to its first normal column.
    grid->FocusCell(4, 5, true);
    grid->AdvanceCell(4, 5, false, true, false, false);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(grid->RowCount(), 6);
    EXPECT_EQ(QPoint(grid->Col(), grid->Row()), QPoint(1, 5));
    EXPECT_TRUE(added.empty());

    canAdd = true;
    grid->FocusCell(4, 5, true);
    grid->AdvanceCell(4, 5, false, true, false, false);
    EXPECT_EQ(grid->RowCount(), 7);
    EXPECT_EQ(QPoint(grid->Col(), grid->Row()), QPoint(1, 6));
    EXPECT_EQ(added, std::vector<int>{6});

    // A fixed footer row stays the last row, with its text.
    grid->SetRowCount(6);
    grid->SetFixedFooters(1);
    grid->SetCells(2, 5, "Summe");
    added.clear();
    grid->FocusCell(4, 4, true);
    grid->AdvanceCell(4, 4, false, true, false, false);
    EXPECT_EQ(grid->RowCount(), 7);
    EXPECT_EQ(grid->Cells(2, 6), "Summe");
    EXPECT_EQ(grid->Cells(2, 5), "");
    EXPECT_EQ(QPoint(grid->Col(), grid->Row()), QPoint(1, 5));
    EXPECT_EQ(added, std::vector<int>{5});
    grid->SetFixedFooters(0);

    // Top to bottom a column is added after the last one.
    grid->Navigation()->AdvanceDirection = adTopBottom;
    grid->FocusCell(4, 6, true);
    grid->AdvanceCell(4, 6, false, true, false, false);
    EXPECT_EQ(grid->ColCount(), 6);
    EXPECT_EQ(QPoint(grid->Col(), grid->Row()), QPoint(5, 1));
    EXPECT_EQ(insertedCols, std::vector<int>{5});
}

TEST_F(GridEditFixture, AutoAdvanceMayRedirectOrRefuseAndCellChangingSeesBothEnds)
{
    grid->Navigation()->AdvanceOnEnter = true;
    QStringList events;
    grid->OnCellChanging = [&](QObject*, int orow, int ocol, int nrow, int ncol, bool&) {
        events << QString("changing %1,%2>%3,%4").arg(ocol).arg(orow).arg(ncol).arg(nrow);
    };
    bool allow = true;
    grid->OnAutoAdvance = [&](QObject*, int orow, int ocol, int& nrow, int& ncol, bool& a) {
        events << QString("advance %1,%2>%3,%4").arg(ocol).arg(orow).arg(ncol).arg(nrow);
        nrow = 4;
        ncol = 3;
        a = allow;
    };
    grid->FocusCell(1, 1, true);
    events.clear();
    grid->AdvanceCell(1, 1, false, true, false, false);
    EXPECT_EQ(QPoint(grid->Col(), grid->Row()), QPoint(3, 4));
    EXPECT_EQ(events, QStringList({"advance 1,1>2,1", "changing 1,1>3,4", "changing 1,1>3,4"}));

    allow = false;
    events.clear();
    grid->AdvanceCell(3, 4, false, true, false, false);
    EXPECT_EQ(QPoint(grid->Col(), grid->Row()), QPoint(3, 4));
    EXPECT_EQ(events, QStringList({"advance 3,4>4,4", "changing 3,4>3,4"}));
}

TEST_F(GridEditFixture, AdvancingOntoAControlCellFocusesTheGridAndChangesNoValue)
{
    grid->Navigation()->AdvanceOnEnter = true;
    makeCheckBox(grid, 2, 1);
    makeCheckBox(grid, 3, 1);
    int checkClicks = 0;
    grid->OnCheckBoxClick = [&](QObject*, int, int, bool) { ++checkClicks; };
    // From an open text editor onto a check box: the grid takes the focus, the box stays clear.
    open(1, 1, "text", edNormal);
    ASSERT_TRUE(inplace()->Focused());
    grid->mouseCalls.clear();
    grid->AdvanceCell(1, 1, false, true, false, false);
    ASSERT_EQ(QPoint(grid->Col(), grid->Row()), QPoint(2, 1));
    EXPECT_TRUE(grid->hasFocus());
    bool checked = true;
    grid->GetCheckBoxState(2, 1, checked);
    EXPECT_FALSE(checked);
    EXPECT_EQ(checkClicks, 0);
    EXPECT_TRUE(grid->mouseCalls.isEmpty());

    grid->AdvanceCell(2, 1, false, true, false, false);
    EXPECT_EQ(QPoint(grid->Col(), grid->Row()), QPoint(3, 1));
    grid->GetCheckBoxState(3, 1, checked);
    EXPECT_FALSE(checked);
    EXPECT_EQ(checkClicks, 0);

    // A text cell with KeepEditing gets its editor; from an edit-with-button cell it is hidden.
    kinds[{4, 1}] = edNormal;
    grid->AdvanceCell(3, 1, false, true, true, false);
    EXPECT_EQ(QPoint(grid->Col(), grid->Row()), QPoint(4, 1));
    ASSERT_NE(inplace(), nullptr);
    EXPECT_TRUE(inplace()->Visible());
    kinds[{4, 1}] = edEditBtn;
    grid->AdvanceCell(4, 1, false, true, true, false);
    EXPECT_EQ(QPoint(grid->Col(), grid->Row()), QPoint(1, 2));
    EXPECT_FALSE(inplace()->Visible());
}

TEST_F(GridEditFixture, TabPastTheLastCellMovesTheFocusOnOnlyWithTabToNextAtEnd)
{
    for (bool moveOn : {false, true}) {
        SCOPED_TRACE(moveOn);
        grid->Navigation()->TabToNextAtEnd = moveOn;
        grid->setFocus();
        grid->FocusCell(4, 5, true);
        grid->TabAdvance(false);
        QApplication::processEvents();
        EXPECT_EQ(QPoint(grid->Col(), grid->Row()), QPoint(1, 1));
        EXPECT_EQ(QApplication::focusWidget() == other, moveOn);
        // Inside the grid Tab never leaves it.
        grid->setFocus();
        grid->FocusCell(2, 2, true);
        grid->TabAdvance(false);
        QApplication::processEvents();
        EXPECT_TRUE(grid->hasFocus());
    }
}

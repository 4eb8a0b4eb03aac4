// Keys, typing, the incremental lookup, the timer tick and following the grid's width.
#include "InputFixture.h"
#include "grid/ZodUvuzControls.h"
#include "grid/ZodUvuzFooter.h"

#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QCursor>
#include <QPaintEvent>
#include <QTest>
#include <gtest/gtest.h>

using namespace grid;
using namespace inputtest;

namespace {

class KeyGrid : public TZedEzeravIvur {
public:
    std::vector<tk::TGridRect> hooked;
    tk::TGridRect hookResult{-1, -1, -1, -1};
    void KeySelectAllHook(tk::TGridRect& range) override
    {
        hooked.push_back(range);
        if (hookResult.Left >= 0)
            range = hookResult;
    }
};

struct Keys {
    std::unique_ptr<KeyGrid> grid = std::make_unique<KeyGrid>();
    std::vector<int> keyDowns;
    Keys()
    {
        auto src = fruitGrid();
        grid->SetColCount(5);
        grid->SetRowCount(10);
        for (int r = 0; r < 10; ++r)
            for (int c = 0; c < 5; ++c)
                grid->SetCells(c, r, src->Cells(c, r));
        grid->OnKeyDown = [this](QObject*, int& key, Qt::KeyboardModifiers) { keyDowns.push_back(key); };
        grid->resize(400, 300);
        grid->show();
    }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(grid.get(), k, m); }
    QPoint cell() const { return QPoint(grid->Col(), grid->Row()); }
    void go(int c, int r) { grid->FocusCell(c, r, true); }
};

} // namespace

TEST(Keys, HomeEndByRow)
{
    Keys k;
    k.grid->Navigation()->HomeEndKey = heFirstLastRow;
    k.go(2, 5);
    k.key(Qt::Key_End);
    EXPECT_EQ(k.cell(), QPoint(2, 9));
    k.key(Qt::Key_Home);
    EXPECT_EQ(k.cell(), QPoint(2, 1));
    EXPECT_EQ(k.keyDowns, (std::vector<int>{Qt::Key_End, Qt::Key_Home}));
    // Shift+End spans all columns from the old row.
    k.key(Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(k.grid->Selection(), (tk::TGridRect{0, 1, 4, 9}));

    // End stops above the footers and scrolls them into view; Home goes back to the first row.
    struct Case { int fixedFooters; bool floating; int endRow; };
    const Case cases[] = {{1, false, 8}, {0, true, 8}, {2, false, 7}};
    for (const Case& c : cases) {
        Keys f;
        f.grid->Navigation()->HomeEndKey = heFirstLastRow;
        f.grid->resize(400, 120);
        if (c.floating)
            f.grid->FloatingFooter()->SetVisible(true);
        else
            f.grid->SetFixedFooters(c.fixedFooters);
        f.go(2, 3);
        f.key(Qt::Key_End);
        EXPECT_EQ(f.cell(), QPoint(2, c.endRow));
        EXPECT_GT(f.grid->TopRow(), 1);
        EXPECT_EQ(f.grid->TopRow(), 10 - f.grid->VisibleRowCount());
        f.key(Qt::Key_Home);
        EXPECT_EQ(f.cell(), QPoint(2, 1));
        EXPECT_EQ(f.grid->TopRow(), 1);
    }
}

TEST(Keys, SkipFixedCellsAndAppendOnArrowDown)
{
    Keys k;
    k.grid->OnIsFixedCell = [](QObject*, int row, int col, bool& fixed) { fixed = row == 3 && col == 2; };
    k.go(1, 3);
    k.key(Qt::Key_Right);
    EXPECT_EQ(k.cell(), QPoint(3, 3));
    k.key(Qt::Key_Left);
    EXPECT_EQ(k.cell(), QPoint(1, 3));
    // Without SkipFixedCells the key does not jump, and a fixed cell refuses to become current.
    k.grid->Navigation()->SkipFixedCells = false;
    k.key(Qt::Key_Right);
    EXPECT_EQ(k.cell(), QPoint(1, 3));

    // Down on the last row asks whether a row may be added.
    bool allow = false;
    std::vector<int> added;
    k.grid->Navigation()->AppendOnArrowDown = true;
    k.grid->OnCanAddRow = [&](QObject*, bool& can) { can = allow; };
    k.grid->OnAutoAddRow = [&](QObject*, int row) { added.push_back(row); };
    k.go(1, 9);
    k.key(Qt::Key_Down);
    EXPECT_EQ(k.grid->RowCount(), 10);
    EXPECT_EQ(k.cell(), QPoint(1, 9));
    allow = true;
    k.key(Qt::Key_Down);
    EXPECT_EQ(k.grid->RowCount(), 11);
    EXPECT_EQ(k.cell(), QPoint(1, 10));
    EXPECT_EQ(added, std::vector<int>{9});

    // Above the floating footer the new row goes before it: the footer row keeps its texts and
    // its calculation, which counts the new row.
    Keys f;
    std::vector<int> addedAt;
    f.grid->Navigation()->AppendOnArrowDown = true;
    f.grid->OnAutoAddRow = [&](QObject*, int row) { addedAt.push_back(row); };
    f.grid->FloatingFooter()->SetVisible(true);
    f.grid->SetCells(1, 9, "Summe");
    f.grid->SetFooterCalc(2, 3);
    f.grid->UpdateFooter(-1);
    EXPECT_EQ(f.grid->Cells(2, 9), "8.00");
    f.go(1, 8);
    f.key(Qt::Key_Down);
    EXPECT_EQ(f.grid->RowCount(), 11);
    EXPECT_EQ(f.cell(), QPoint(1, 9));
    EXPECT_EQ(addedAt, std::vector<int>{9});
    EXPECT_EQ(f.grid->Rows(9).join(""), "");
    EXPECT_EQ(f.grid->Cells(1, 10), "Summe");
    EXPECT_EQ(f.grid->Cells(2, 10), "9.00");
    // The footer row itself is never current: Down on the new last row adds the next one.
    f.key(Qt::Key_Down);
    EXPECT_EQ(f.cell(), QPoint(1, 10));
    EXPECT_EQ(f.grid->RowCount(), 12);
    EXPECT_EQ(f.grid->Cells(1, 11), "Summe");
}

TEST(Keys, InsertAndDeleteRows)
{
    struct Case { TInsertPosition pos; bool allow; int rows; int emptyRow; int row; };
    const Case cases[] = {
        {pInsertAfter, true, 11, 4, 4},
        {pInsertBefore, true, 11, 3, 3},
        {pInsertAfter, false, 10, -1, 3},
    };
    for (const Case& c : cases) {
        Keys k;
        k.grid->Navigation()->AllowInsertRow = true;
        k.grid->Navigation()->InsertPosition = c.pos;
        std::vector<int> inserted;
        k.grid->OnCanInsertRow = [&](QObject*, int row, bool& can) { EXPECT_EQ(row, 3); can = c.allow; };
        k.grid->OnAutoInsertRow = [&](QObject*, int row) { inserted.push_back(row); };
        k.go(1, 3);
        k.key(Qt::Key_Insert);
        EXPECT_EQ(k.grid->RowCount(), c.rows);
        EXPECT_EQ(k.grid->Row(), c.row);
        if (c.emptyRow >= 0) {
            EXPECT_EQ(k.grid->Cells(1, c.emptyRow), "");
            EXPECT_EQ(inserted, std::vector<int>{c.emptyRow});
        }
        EXPECT_EQ(k.grid->Cells(1, 3 + (c.emptyRow == 3)), "Birne");
        // Ctrl+Insert is not an insertion.
        k.key(Qt::Key_Insert, Qt::ControlModifier);
        EXPECT_EQ(k.grid->RowCount(), c.rows);
    }

    Keys d;
    d.grid->Navigation()->AllowDeleteRow = true;
    bool allow = false;
    d.grid->OnCanDeleteRow = [&](QObject*, int, bool& can) { can = allow; };
    d.go(1, 3);
    d.key(Qt::Key_Delete);
    EXPECT_EQ(d.grid->RowCount(), 10);
    allow = true;
    d.key(Qt::Key_Delete);
    EXPECT_EQ(d.grid->RowCount(), 9);
    EXPECT_EQ(d.grid->Cells(1, 3), "Kirsche");
    // The only normal row is cleared, not removed.
    d.grid->SetRowCount(2);
    d.key(Qt::Key_Delete);
    EXPECT_EQ(d.grid->RowCount(), 2);
    EXPECT_EQ(d.grid->Cells(1, 1), "");
    EXPECT_EQ(d.grid->Cells(0, 1), "");
}

TEST(Keys, SelectAllThroughTheHook)
{
    Keys k;
    k.key(Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(k.grid->hooked.size(), 1u);
    EXPECT_EQ(k.grid->hooked[0], (tk::TGridRect{1, 1, 4, 9}));
    EXPECT_EQ(k.grid->Selection(), (tk::TGridRect{1, 1, 4, 9}));
    k.grid->hookResult = tk::TGridRect{2, 2, 3, 4};
    k.key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(k.grid->Selection(), (tk::TGridRect{2, 2, 3, 4}));
}

TEST(Keys, DisjunctRowMarks)
{
    Keys k;
    k.grid->MouseActions()->SetDisjunctRowSelect(true);
    auto marked = [&] {
        std::vector<int> rows;
        for (int r = 1; r < k.grid->RowCount(); ++r)
            if (k.grid->RowSelected(r))
                rows.push_back(r);
        return rows;
    };
    k.go(1, 2);
    k.key(Qt::Key_Space);
    EXPECT_EQ(marked(), std::vector<int>{2});
    k.key(Qt::Key_Down, Qt::ControlModifier);
    k.key(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(marked(), (std::vector<int>{2, 3, 4}));
    k.key(Qt::Key_Space);
    EXPECT_EQ(marked(), (std::vector<int>{2, 3}));
    k.key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(marked(), (std::vector<int>{4, 5}));
    k.key(Qt::Key_Down);
    EXPECT_EQ(marked(), std::vector<int>{});
}

TEST(Keys, SpaceOnControlCells)
{
    Keys k;
    k.grid->SetGridOptions(k.grid->GridOptions() | tk::goEditing);
    auto check = std::make_unique<TCellGraphic>();
    check->CellType = ctCheckBox;
    k.grid->SetCellGraphic(2, 2, std::move(check));
    auto radio = std::make_unique<TCellGraphic>();
    radio->CellType = ctRadio;
    radio->Options = QStringList{"a", "b", "c"};
    radio->CellIndex = 2;
    k.grid->SetCellGraphic(2, 3, std::move(radio));
    std::vector<std::tuple<int, int, bool>> checks;
    std::vector<int> radios;
    k.grid->OnCheckBoxClick = [&](QObject*, int c, int r, bool s) { checks.emplace_back(c, r, s); };
    k.grid->OnRadioClick = [&](QObject*, int, int, int i) { radios.push_back(i); };
    k.go(2, 2);
    k.key(Qt::Key_Space);
    EXPECT_EQ(checks, (std::vector<std::tuple<int, int, bool>>{{2, 2, true}}));
    k.go(2, 3);
    k.key(Qt::Key_Space);
    EXPECT_EQ(radios, std::vector<int>{0});
    // A refusing OnCanEditCell keeps the box as it is, unless the look keeps it always active.
    k.grid->SetGridOptions(k.grid->GridOptions() & ~tk::goEditing);
    k.go(2, 2);
    k.key(Qt::Key_Space);
    EXPECT_EQ(checks.size(), 1u);
    k.grid->ControlLook()->CheckAlwaysActive = true;
    k.key(Qt::Key_Space);
    EXPECT_EQ(checks.back(), std::make_tuple(2, 2, false));
    // Characters other than Enter do not reach a control cell.
    k.grid->SetGridOptions(k.grid->GridOptions() | tk::goEditing);
    QTest::keyClicks(k.grid.get(), "q");
    EXPECT_FALSE(k.grid->EditorVisible());
}

TEST(Keys, TypingOpensTheEditor)
{
    Keys k;
    k.grid->resize(400, 120);
    k.grid->MouseActions()->RangeSelectAndEdit = true;
    k.grid->FocusCell(2, 9, true);
    k.grid->SetTopRow(1);   // the current cell is out of view
    ASSERT_TRUE(k.grid->CellRect(2, 9).isEmpty());
    QTest::keyClicks(k.grid.get(), "x");
    EXPECT_TRUE(k.grid->GridOptions() & tk::goEditing);
    EXPECT_FALSE(k.grid->CellRect(2, 9).isEmpty());
    ASSERT_TRUE(k.grid->EditorVisible());
    EXPECT_EQ(k.grid->InplaceEditor()->Text(), "x");
    EXPECT_EQ(k.grid->PendingEditChar(), QChar('x'));
}

TEST(Keys, KeypadPointUnderGermanSettings)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    Keys k;
    k.grid->SetGridOptions(k.grid->GridOptions() | tk::goEditing);
    k.grid->ExcelStyleDecimalSeparator = true;
    k.go(2, 2);
    QTest::keyClick(k.grid.get(), Qt::Key_Period, Qt::KeypadModifier);
    ASSERT_TRUE(k.grid->EditorVisible());
    EXPECT_EQ(k.grid->InplaceEditor()->Text(), ",");
    // Without the option the point stays a point.
    Keys p;
    p.grid->SetGridOptions(p.grid->GridOptions() | tk::goEditing);
    QTest::keyClick(p.grid.get(), Qt::Key_Period, Qt::KeypadModifier);
    EXPECT_EQ(p.grid->InplaceEditor()->Text(), ".");
    QLocale::setDefault(before);
}

TEST(Keys, IncrementalLookup)
{
    Keys k;
    k.grid->Navigation()->AutoGotoWhenSorted = true;
    k.grid->Navigation()->AutoGotoIncremental = true;
    QTest::keyClicks(k.grid.get(), "b");
    EXPECT_EQ(k.grid->Row(), 2);   // Banane
    QTest::keyClicks(k.grid.get(), "i");
    EXPECT_EQ(k.grid->Row(), 3);   // Birne
    for (int i = 0; i < 3; ++i)
        k.grid->TimerTick();
    QTest::keyClicks(k.grid.get(), "rnb");
    EXPECT_EQ(k.grid->LookupText(), "birnb");
    EXPECT_EQ(k.grid->Row(), 7);   // Birnbaum
    for (int i = 0; i < 4; ++i)
        k.grid->TimerTick();
    EXPECT_EQ(k.grid->LookupText(), "");
    QTest::keyClicks(k.grid.get(), "m");
    EXPECT_EQ(k.grid->Row(), 8);   // Mango
    QTest::keyClick(k.grid.get(), Qt::Key_Backspace);
    EXPECT_EQ(k.grid->LookupText(), "");
    // A prefix that matches nothing is dropped; releasing Down drops the buffer too.
    QTest::keyClicks(k.grid.get(), "x");
    EXPECT_EQ(k.grid->LookupText(), "");
    QTest::keyClicks(k.grid.get(), "q");
    EXPECT_EQ(k.grid->LookupText(), "q");
    QTest::keyRelease(k.grid.get(), Qt::Key_Down);
    EXPECT_EQ(k.grid->LookupText(), "");

    // Without AutoGotoIncremental every key is a prefix of its own.
    k.grid->Navigation()->AutoGotoIncremental = false;
    QTest::keyClicks(k.grid.get(), "bz");
    EXPECT_EQ(k.grid->Row(), 9);   // Zitrone
    EXPECT_EQ(k.grid->LookupText(), "z");
}

TEST(Keys, F2OnAControlCellFocusesItsFirstControl)
{
    Keys k;
    k.grid->SetGridOptions(k.grid->GridOptions() | tk::goEditing);
    k.grid->SetColWidths(2, 160);
    k.grid->SetCells(2, 2, R"(<control type="check" id="c0" value="TRUE" width="16"> )"
                           R"(<control type="edit" id="e1" value="a" width="50"> )"
                           R"(<control type="edit" id="e2" value="b" width="50">)");
    k.go(2, 2);
    k.key(Qt::Key_F2);
    EXPECT_FALSE(k.grid->EditorVisible());
    ASSERT_TRUE(k.grid->ControlEdit()->isVisible());
    EXPECT_EQ(k.grid->ControlEdit()->text(), "a");
    EXPECT_EQ(k.grid->ControlEditType(), "EDIT");
    // The control's editor lies over the cell.
    EXPECT_TRUE(k.grid->CellRect(2, 2).intersects(k.grid->ControlEdit()->geometry()));
    k.grid->ControlEditDone();
    EXPECT_FALSE(k.grid->ControlEdit()->isVisible());

    // A cell with no editable control opens nothing.
    k.grid->SetCells(3, 3, R"(<control type="check" id="c1" value="FALSE" width="16">)");
    k.go(3, 3);
    k.key(Qt::Key_F2);
    EXPECT_FALSE(k.grid->EditorVisible());
    EXPECT_FALSE(k.grid->ControlEdit()->isVisible());

    k.go(2, 4);
    k.key(Qt::Key_F2);
    EXPECT_TRUE(k.grid->EditorVisible());
}

TEST(Timer, HoverMakesTheCellUnderThePointerCurrent)
{
    Keys k;
    k.grid->Hovering = true;
    const QPoint target = k.grid->CellRect(3, 6).center();
    QCursor::setPos(k.grid->viewport()->mapToGlobal(target));
    if (k.grid->viewport()->mapFromGlobal(QCursor::pos()) != target)
        GTEST_SKIP() << "the platform does not move the pointer";
    k.grid->TimerTick();
    EXPECT_EQ(k.cell(), QPoint(3, 6));
    // Over a fixed cell nothing changes.
    QCursor::setPos(k.grid->viewport()->mapToGlobal(k.grid->CellRect(0, 2).center()));
    k.grid->TimerTick();
    EXPECT_EQ(k.cell(), QPoint(3, 6));
}

namespace {
class PaintSpy : public QObject {
public:
    QRegion region;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            region += static_cast<QPaintEvent*>(e)->region();
        return false;
    }
};
} // namespace

TEST(Timer, BlinkRepaintsTheBlinkingCells)
{
    Keys k;
    k.grid->EnableBlink = true;
    k.grid->SetCells(2, 2, "<blink>a</blink>");
    k.grid->SetCells(3, 0, "<BLINK>Kopf</BLINK>");
    k.grid->SetCells(0, 5, "<blink>5</blink>");
    QApplication::processEvents();
    PaintSpy spy;
    k.grid->viewport()->installEventFilter(&spy);
    const bool phase = k.grid->BlinkPhase;
    k.grid->TimerTick();
    QApplication::processEvents();
    EXPECT_NE(k.grid->BlinkPhase, phase);
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 5; ++c) {
            const QRect cell = k.grid->CellRect(c, r);
            if (cell.isEmpty())
                continue;
            const bool blinking = QPoint(c, r) == QPoint(2, 2) || QPoint(c, r) == QPoint(3, 0)
                                  || QPoint(c, r) == QPoint(0, 5);
            EXPECT_EQ(spy.region.contains(cell.center()), blinking) << c << "," << r;
        }
}

TEST(Size, SynchWithGridScalesTheColumns)
{
    TZedEzeravIvur g;
    g.ColumnSize()->SynchWithGrid = true;
    g.resize(400, 200);
    g.show();
    ASSERT_EQ(g.ColWidths(2), 64);
    g.resize(600, 200);
    EXPECT_EQ(g.ColWidths(2), 96);
    g.ColumnSize()->SynchWithGrid = false;
    g.resize(300, 200);
    EXPECT_EQ(g.ColWidths(2), 96);
}

TEST(Size, AStretchColumnFillsTheWidthInsteadOfScaling)
{
    for (int stretchCol : {-1, 2}) {
        SCOPED_TRACE(stretchCol);
        TZedEzeravIvur g;
        g.ColumnSize()->SynchWithGrid = true;
        g.ColumnSize()->SetStretch(true);
        g.ColumnSize()->StretchColumn = stretchCol;
        g.resize(400, 200);
        g.show();
        const int col = stretchCol < 0 ? 4 : stretchCol;
        auto others = [&] {
            int sum = 0;
            for (int c = 0; c < g.ColCount(); ++c)
                sum += c == col ? 0 : g.ColWidths(c);
            return sum;
        };
        for (int width : {600, 450}) {
            g.resize(width, 200);
            EXPECT_EQ(g.ColWidths(col), g.viewport()->width() - others() - 1);
            EXPECT_EQ(g.ColWidths(col == 4 ? 3 : 4), 64);   // the others keep their widths
        }
    }
}

TEST(Keys, EditLimitAndFirstNormalColumn)
{
    Keys k;
    EXPECT_EQ(k.grid->FirstNormalColumn(), 1);
    k.grid->SetFixedCols(0);
    EXPECT_EQ(k.grid->FirstNormalColumn(), 0);
    k.grid->AddNode(2, 2);
    EXPECT_EQ(k.grid->FirstNormalColumn(), 1);
}

TEST(Keys, ClipboardShortcuts)
{
    Keys k;
    k.grid->Navigation()->AllowClipboardShortCuts = true;
    k.grid->Navigation()->AllowDeleteRow = true;
    QClipboard* cb = QApplication::clipboard();
    cb->setText("vorher");
    bool allowCopy = false;
    k.grid->OnClipboardCopy = [&](QObject*, bool& allow) { allow = allowCopy; };
    k.go(1, 3);
    k.key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(cb->text(), "vorher");
    allowCopy = true;
    k.key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(cb->text().trimmed(), "Birne");
    // Shift+Delete cuts the cell and deletes no row.
    k.go(1, 4);
    k.key(Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(cb->text().trimmed(), "Kirsche");
    EXPECT_EQ(k.grid->Cells(1, 4), "");
    EXPECT_EQ(k.grid->RowCount(), 10);
    // Without the option nothing reaches the clipboard.
    k.grid->Navigation()->AllowClipboardShortCuts = false;
    k.go(1, 5);
    k.key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(cb->text().trimmed(), "Kirsche");
}

TEST(Keys, EscapeRestoresTheText)
{
    Keys k;
    k.grid->SetGridOptions(k.grid->GridOptions() | tk::goEditing);
    k.go(1, 3);
    QTest::keyClicks(k.grid.get(), "x");
    ASSERT_TRUE(k.grid->EditorVisible());
    QTest::keyClicks(k.grid->InplaceEditor()->Widget(), "yz");
    ASSERT_TRUE(k.grid->EditingInProgress());
    QTest::keyClick(k.grid.get(), Qt::Key_Escape);
    EXPECT_EQ(k.grid->Cells(1, 3), "Birne");
}

TEST(Focus, PopupMarkSwallowsOneFocusInAndAlwaysEditShowsTheEditor)
{
    Keys k;
    k.grid->SetGridOptions(k.grid->GridOptions() | tk::goEditing);
    k.grid->Navigation()->AlwaysEdit = true;
    k.go(2, 2);
    k.grid->SetPopupEditorClosed();
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(k.grid.get(), &in);
    EXPECT_FALSE(k.grid->EditorVisible());
    EXPECT_FALSE(k.grid->PopupEditorClosed());
    QApplication::sendEvent(k.grid.get(), &in);
    EXPECT_TRUE(k.grid->EditorVisible());
}

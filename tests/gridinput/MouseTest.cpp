// Clicks, sorting by the header, links and form controls, header selections, the wheel and zoom.
#include "InputFixture.h"
#include "grid/GridHints.h"
#include "grid/ZodUvuzControls.h"
#include "grid/ZodUvuzFooter.h"
#include "grid/ZodUvuzInplace.h"
#include "grid/minihtml/MiniHTML.h"

#include <QApplication>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

using namespace grid;
using namespace inputtest;

namespace {

class MouseGrid : public TZedEzeravIvur {
public:
    using TZedEzeravIvur::CopyProgress;
    std::vector<std::pair<int, int>> progress;
    void CopyProgress(int stage, int index) override { progress.emplace_back(stage, index); }
};

struct Mouse {
    std::unique_ptr<MouseGrid> grid = std::make_unique<MouseGrid>();
    Mouse()
    {
        auto src = fruitGrid();
        grid->SetColCount(5);
        grid->SetRowCount(10);
        for (int r = 0; r < 10; ++r)
            for (int c = 0; c < 5; ++c)
                grid->SetCells(c, r, src->Cells(c, r));
        grid->resize(420, 300);
        grid->show();
    }
    QWidget* vp() const { return grid->viewport(); }
    QPoint mid(int c, int r) const { return grid->CellRect(c, r).center(); }
    // A point on the first characters of a cell's mini-HTML text.
    QPoint onText(int c, int r) const
    {
        return grid->CellRect(c, r).topLeft() + QPoint(grid->CellMarginX() + 4, grid->CellMarginY() + 8);
    }
    void click(QPoint p, Qt::KeyboardModifiers m = Qt::NoModifier, Qt::MouseButton b = Qt::LeftButton)
    {
        QTest::mouseClick(vp(), b, m, p);
    }
    void wheel(int notches, Qt::KeyboardModifiers m = Qt::NoModifier)
    {
        const QPoint p = mid(2, 2);
        QWheelEvent ev(p, vp()->mapToGlobal(p), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, m,
                       Qt::NoScrollPhase, false);
        QApplication::sendEvent(vp(), &ev);
    }
    QStringList column(int c) const
    {
        QStringList out;
        for (int r = 1; r < grid->RowCount(); ++r)
            out << grid->Cells(c, r);
        return out;
    }
};

} // namespace

TEST(Mouse, CanClickCellRefusing)
{
    Mouse m;
    int clicks = 0;
    m.grid->OnClickCell = [&](QObject*, int, int) { ++clicks; };
    m.grid->OnCanClickCell = [](QObject*, int row, int, bool& allow) { allow = row != 4; };
    m.click(m.mid(2, 4));
    EXPECT_EQ(QPoint(m.grid->Col(), m.grid->Row()), QPoint(1, 1));
    EXPECT_EQ(clicks, 0);
    m.click(m.mid(2, 5));
    EXPECT_EQ(QPoint(m.grid->Col(), m.grid->Row()), QPoint(2, 5));
    EXPECT_EQ(clicks, 1);
}

TEST(Mouse, SortRowClicks)
{
    Mouse m;
    const QStringList original = m.column(2);
    m.grid->SortSettings()->SetShow(true);
    m.grid->SortSettings()->UndoSort = true;
    std::vector<int> sorted;
    m.grid->OnClickSort = [&](QObject*, int col) { sorted.push_back(col); };
    QStringList asc = original;
    asc.sort();
    m.click(m.mid(2, 0));
    EXPECT_EQ(m.column(2), asc);
    m.click(m.mid(2, 0));
    QStringList desc = asc;
    std::reverse(desc.begin(), desc.end());
    EXPECT_EQ(m.column(2), desc);
    m.click(m.mid(2, 0));
    EXPECT_EQ(m.column(2), original);
    EXPECT_EQ(m.grid->SortSettings()->Column, -1);
    EXPECT_EQ(sorted, (std::vector<int>{2, 2, -1}));

    m.grid->OnCanSort = [](QObject*, int, bool& doSort) { doSort = false; };
    m.click(m.mid(2, 0));
    EXPECT_EQ(m.column(2), original);
    EXPECT_EQ(sorted.size(), 3u);
    // A press in a normal cell released on the header sorts nothing.
    m.grid->OnCanSort = nullptr;
    QTest::mousePress(m.vp(), Qt::LeftButton, {}, m.mid(2, 3));
    QTest::mouseRelease(m.vp(), Qt::LeftButton, {}, m.mid(2, 0));
    EXPECT_EQ(sorted.size(), 3u);
}

TEST(Mouse, IndexSortByShiftClicks)
{
    Mouse m;
    m.grid->SortSettings()->SetShow(true);
    m.grid->SortSettings()->IndexShow = true;
    auto keys = [&] {
        std::vector<std::pair<int, bool>> out;
        const TSortIndexList& idx = m.grid->SortIndexes();
        for (int i = 0; i < idx.Count(); ++i)
            out.emplace_back(idx.SortColumn(i), idx.Ascending(i));
        return out;
    };
    m.click(m.mid(1, 0), Qt::ShiftModifier);
    m.click(m.mid(2, 0), Qt::ShiftModifier);
    EXPECT_EQ(keys(), (std::vector<std::pair<int, bool>>{{1, true}, {2, true}}));
    m.click(m.mid(2, 0), Qt::ShiftModifier);
    EXPECT_EQ(keys(), (std::vector<std::pair<int, bool>>{{1, true}, {2, false}}));
    m.click(m.mid(3, 0));
    EXPECT_EQ(keys(), (std::vector<std::pair<int, bool>>{{3, true}}));
}

TEST(Mouse, CtrlPressOnAMarkedRowUnmarksOnRelease)
{
    Mouse m;
    m.grid->MouseActions()->SetDisjunctRowSelect(true);
    m.grid->SetRowSelected(3, true);
    m.grid->SetRowSelected(5, true);
    m.click(m.mid(2, 3), Qt::ControlModifier);
    EXPECT_FALSE(m.grid->RowSelected(3));
    EXPECT_TRUE(m.grid->RowSelected(5));
    m.click(m.mid(2, 7), Qt::ControlModifier);
    EXPECT_TRUE(m.grid->RowSelected(7));
    EXPECT_TRUE(m.grid->RowSelected(5));
    // A plain click keeps only the clicked row.
    m.click(m.mid(2, 2));
    for (int r = 1; r < 10; ++r)
        EXPECT_EQ(m.grid->RowSelected(r), r == 2) << r;
}

TEST(Mouse, Links)
{
    Mouse m;
    m.grid->SetColWidths(3, 120);
    std::vector<QUrl> opened;
    m.grid->LinkOpener = [&](const QUrl& u) { opened.push_back(u); };
    m.grid->SetCells(3, 1, R"(<a href="CELL://R5C2">Ziel</a>)");
    m.grid->SetCells(3, 2, R"(<a href="http://example.org">Web</a>)");
    m.grid->SetCells(3, 3, R"(<a href="file:///bin/sh">Shell</a>)");
    m.grid->SetCells(3, 4, R"(<a href="/usr/bin/xterm">Term</a>)");
    m.click(m.onText(3, 1));
    EXPECT_EQ(QPoint(m.grid->Col(), m.grid->Row()), QPoint(2, 5));
    m.click(m.onText(3, 2));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl("http://example.org"));
    m.click(m.onText(3, 3));
    m.click(m.onText(3, 4));
    EXPECT_EQ(opened.size(), 1u);
    // OnAnchorClick decides first.
    m.grid->OnAnchorClick = [](QObject*, int, int, const QString&, bool& autoHandle) { autoHandle = false; };
    m.click(m.onText(3, 2));
    EXPECT_EQ(opened.size(), 1u);

    struct Case { const char* link; bool openable; };
    const Case cases[] = {{"https://example.org/a?b=1", true}, {"mailto:info@example.org", true},
                          {"http://", false}, {"javascript:alert(1)", false}, {"smb://host/share", false},
                          {"file:///etc/passwd", false}, {"HTTP://EXAMPLE.ORG", true}};
    for (const Case& c : cases)
        EXPECT_EQ(TZedEzeravIvur::IsOpenableLink(c.link), c.openable) << c.link;
}

TEST(Mouse, CheckControlToggles)
{
    Mouse m;
    m.grid->SetColWidths(3, 120);
    m.grid->SetCells(3, 2, R"(<control type="CHECK" id="k1" value="FALSE" width="16">)");
    std::vector<QString> values;
    m.grid->OnControlClick = [&](QObject*, int row, int col, const QString& id, const QString& type,
                                 const QString& value) {
        EXPECT_EQ(QPoint(col, row), QPoint(3, 2));
        EXPECT_EQ(id, "k1");
        EXPECT_EQ(type.toUpper(), "CHECK");
        values.push_back(value);
    };
    m.click(m.onText(3, 2));
    EXPECT_TRUE(m.grid->Cells(3, 2).contains(R"(value="TRUE")", Qt::CaseInsensitive)) << m.grid->Cells(3, 2).toStdString();
    m.click(m.onText(3, 2));
    EXPECT_EQ(values, (std::vector<QString>{"TRUE", "FALSE"}));
    EXPECT_TRUE(m.grid->Cells(3, 2).contains(R"(value="FALSE")", Qt::CaseInsensitive)) << m.grid->Cells(3, 2).toStdString();
}

TEST(Mouse, PressOnAControlGoesToItsEditor)
{
    Mouse m;
    m.grid->SetColWidths(3, 140);
    m.grid->SetCells(3, 2, R"(<control type="EDIT" id="e1" value="abc" width="100">)");
    m.grid->SetCells(3, 3, R"(<control type="COMBO" id="cb" value="two" width="100">)");
    m.grid->SetCells(3, 4, R"(<control type="BUTTON" id="b1" value="Go" width="60">)");
    m.grid->OnControlComboList = [](QObject*, int, int, const QString&, const QString&, const QString&,
                                    QStringList& values, bool& edit, int&) {
        values = {"one", "two", "three"};
        edit = false;
    };
    std::vector<QString> clicked;
    m.grid->OnControlClick = [&](QObject*, int, int, const QString& id, const QString&, const QString&) {
        clicked.push_back(id);
    };

    m.click(m.onText(3, 2));
    ASSERT_TRUE(m.grid->ControlEdit()->isVisible());
    EXPECT_EQ(m.grid->ControlEdit()->text(), "abc");
    EXPECT_EQ(m.grid->ControlEditType(), "EDIT");
    m.grid->ControlEdit()->setText("xyz");

    // The next press ends the open edit (its value stored) and opens the combo.
    m.click(m.onText(3, 3));
    EXPECT_FALSE(m.grid->ControlEdit()->isVisible());
    EXPECT_TRUE(m.grid->Cells(3, 2).contains(R"(value="xyz")", Qt::CaseInsensitive)) << m.grid->Cells(3, 2).toStdString();
    ASSERT_TRUE(m.grid->ControlCombo()->isVisible());
    EXPECT_EQ(m.grid->ControlCombo()->currentText(), "two");
    m.grid->ControlCombo()->hidePopup();
    m.grid->ControlEditDone();

    EXPECT_FALSE(m.grid->ControlFocused());
    QTest::mousePress(m.vp(), Qt::LeftButton, {}, m.onText(3, 4));
    EXPECT_TRUE(m.grid->ControlFocused());
    QTest::mouseRelease(m.vp(), Qt::LeftButton, {}, m.onText(3, 4));
    EXPECT_FALSE(m.grid->ControlFocused());
    EXPECT_FALSE(m.grid->ControlEdit()->isVisible());
    EXPECT_EQ(clicked, (std::vector<QString>{"e1", "cb", "b1"}));

    // A cell that may not be edited opens nothing.
    m.grid->OnCanEditCell = [](QObject*, int row, int, bool& can) { can = row != 2; };
    m.click(m.onText(3, 2));
    EXPECT_FALSE(m.grid->ControlEdit()->isVisible());
    EXPECT_EQ(clicked.size(), 3u);
}

TEST(Mouse, PressOnARadioItemPicksIt)
{
    Mouse m;
    m.grid->SetColWidths(3, 220);
    m.grid->SetRowHeights(3, 70);
    TCellGraphic* side = m.grid->CreateCellGraphic(3, 2);
    side->CellType = ctRadio;
    side->Options = {"eins", "zwei", "drei"};
    side->CellIndex = -1; // the chosen text is the cell's
    side->CellBoolean = true; // side by side
    TCellGraphic* stacked = m.grid->CreateCellGraphic(3, 3);
    stacked->CellType = ctRadio;
    stacked->Options = {"rot", "gelb", "blau"};
    stacked->CellIndex = 0;
    std::vector<std::pair<QPoint, int>> picked;
    m.grid->OnRadioClick = [&](QObject*, int col, int row, int index) { picked.push_back({QPoint(col, row), index}); };

    const QFontMetrics fm(m.grid->font());
    const QRect r2 = m.grid->CellRect(3, 2), r3 = m.grid->CellRect(3, 3);
    const int end0 = fm.horizontalAdvance("eins") + 16;
    const QPoint onZwei(r2.left() + end0 + 4, r2.top() + 5);
    const int h = std::max(16, fm.height());
    const QPoint onBlau(r3.left() + 4, r3.top() + 2 * h + 2);

    // Not editable: the press picks nothing, unless radios are always active.
    m.click(onZwei);
    EXPECT_TRUE(picked.empty());
    EXPECT_EQ(m.grid->Cells(3, 2), "");
    m.grid->ControlLook()->RadioAlwaysActive = true;
    m.click(onZwei);
    EXPECT_EQ(m.grid->Cells(3, 2), "zwei");
    m.grid->ControlLook()->RadioAlwaysActive = false;

    m.grid->SetGridOptions(m.grid->GridOptions() | tk::goEditing);
    m.click(onBlau);
    EXPECT_EQ(stacked->CellIndex, 2);
    EXPECT_EQ(QPoint(m.grid->Col(), m.grid->Row()), QPoint(3, 3));
    using Pick = std::pair<QPoint, int>;
    EXPECT_EQ(picked, (std::vector<Pick>{{QPoint(3, 2), 1}, {QPoint(3, 3), 2}}));
}

TEST(Mouse, FixedCellEditingByPressKind)
{
    Mouse m;
    m.grid->SetCells(2, 0, "Name");
    m.grid->SetCells(0, 3, "Drei");
    TGridTransEdit* e = m.grid->FixedCellEditor();
    m.grid->MouseActions()->FixedRowsEdit = fceRightClick;

    // A right press edits a header cell; a left one does not.
    m.click(m.mid(2, 0));
    EXPECT_FALSE(e->isVisible());
    m.click(m.mid(2, 0), Qt::NoModifier, Qt::RightButton);
    ASSERT_TRUE(e->isVisible());
    EXPECT_EQ(e->text(), "Name");
    EXPECT_EQ(QPoint(e->Col, e->Row), QPoint(2, 0));
    EXPECT_TRUE(m.grid->CellRect(2, 0).contains(e->geometry()));
    e->setText("Sorte");
    EXPECT_TRUE(e->ValidateAndStore());
    EXPECT_EQ(m.grid->Cells(2, 0), "Sorte");
    EXPECT_FALSE(e->isVisible());
    // A right press on a normal cell edits nothing.
    m.click(m.mid(2, 3), Qt::NoModifier, Qt::RightButton);
    EXPECT_FALSE(e->isVisible());

    // Fixed columns by a left press, more than 4 pixels inside the edges when rows may be sized.
    m.grid->MouseActions()->FixedColsEdit = fceLeftClick;
    m.grid->SetGridOptions(m.grid->GridOptions() | tk::goRowSizing);
    const QRect r = m.grid->CellRect(0, 3);
    m.click(QPoint(r.center().x(), r.top() + 2));
    EXPECT_FALSE(e->isVisible());
    m.click(r.center());
    ASSERT_TRUE(e->isVisible());
    EXPECT_EQ(e->text(), "Drei");
    // Pressing another fixed cell stores the open edit first.
    e->setText("drei!");
    m.click(m.mid(0, 5));
    EXPECT_EQ(m.grid->Cells(0, 3), "drei!");
    EXPECT_EQ(QPoint(e->Col, e->Row), QPoint(0, 5));
    EXPECT_TRUE(e->ValidateAndStore());

    // A double click, and OnCanEditCell refusing.
    m.grid->MouseActions()->FixedRowsEdit = fceDblClick;
    m.grid->OnCanEditCell = [](QObject*, int, int col, bool& can) { can = col != 3; };
    QTest::mouseDClick(m.vp(), Qt::LeftButton, {}, m.mid(3, 0));
    EXPECT_FALSE(e->isVisible());
    QTest::mouseDClick(m.vp(), Qt::LeftButton, {}, m.mid(4, 0));
    ASSERT_TRUE(e->isVisible());
    EXPECT_EQ(QPoint(e->Col, e->Row), QPoint(4, 0));
}

TEST(Mouse, HeaderSelections)
{
    Mouse m;
    m.grid->MouseActions()->AllSelect = true;
    m.grid->MouseActions()->RowSelect = true;
    m.grid->MouseActions()->ColSelect = true;
    m.click(m.mid(0, 0));
    EXPECT_EQ(m.grid->progress, (std::vector<std::pair<int, int>>{{0, 0}, {1, 9}, {4, 0}}));
    EXPECT_EQ(m.grid->Selection(), (tk::TGridRect{1, 1, 4, 9}));
    m.click(m.mid(0, 4));
    EXPECT_EQ(m.grid->Selection(), (tk::TGridRect{1, 4, 4, 4}));
    m.click(m.mid(0, 6), Qt::ShiftModifier);
    EXPECT_EQ(m.grid->Selection(), (tk::TGridRect{1, 4, 4, 6}));
    m.click(m.mid(3, 0));
    EXPECT_EQ(m.grid->Selection(), (tk::TGridRect{3, 1, 3, 9}));
}

TEST(Mouse, CheckBoxesAndCheckAll)
{
    Mouse m;
    m.grid->SetGridOptions(m.grid->GridOptions() | tk::goEditing);
    m.grid->MouseActions()->CheckAllCheck = true;
    for (int r = 0; r < 10; ++r) {
        auto g = std::make_unique<TCellGraphic>();
        g->CellType = ctCheckBox;
        m.grid->SetCellGraphic(2, r, std::move(g));
    }
    std::vector<std::tuple<int, int, bool>> clicks;
    m.grid->OnCheckBoxClick = [&](QObject*, int c, int r, bool s) { clicks.emplace_back(c, r, s); };
    m.click(m.mid(2, 4));
    EXPECT_EQ(clicks, (std::vector<std::tuple<int, int, bool>>{{2, 4, true}}));
    EXPECT_EQ(QPoint(m.grid->Col(), m.grid->Row()), QPoint(2, 4));
    m.click(m.mid(2, 0));
    for (int r = 1; r < 10; ++r) {
        bool state = false;
        m.grid->GetCheckBoxState(2, r, state);
        EXPECT_TRUE(state) << r;
    }
}

TEST(Mouse, ButtonCellClicks)
{
    Mouse m;
    m.grid->SetGridOptions(m.grid->GridOptions() | tk::goEditing);
    auto g = std::make_unique<TCellGraphic>();
    g->CellType = ctButton;
    m.grid->SetCellGraphic(3, 3, std::move(g));
    int clicks = 0;
    m.grid->OnButtonClick = [&](QObject*, int c, int r) {
        EXPECT_EQ(QPoint(c, r), QPoint(3, 3));
        ++clicks;
    };
    m.click(m.mid(3, 3));
    EXPECT_EQ(clicks, 1);
    m.click(m.mid(3, 3), Qt::NoModifier, Qt::RightButton);
    EXPECT_EQ(clicks, 1);
    m.click(m.mid(3, 3));
    EXPECT_EQ(clicks, 2);
}

TEST(Mouse, RightClick)
{
    Mouse m;
    std::vector<QPoint> cells;
    m.grid->OnRightClickCell = [&](QObject*, int row, int col) { cells.emplace_back(col, row); };
    m.click(m.mid(3, 6), Qt::NoModifier, Qt::RightButton);
    EXPECT_EQ(cells, std::vector<QPoint>{QPoint(3, 6)});
    EXPECT_EQ(QPoint(m.grid->Col(), m.grid->Row()), QPoint(1, 1));
    m.grid->MouseActions()->SelectOnRightClick = true;
    m.click(m.mid(3, 6), Qt::NoModifier, Qt::RightButton);
    EXPECT_EQ(QPoint(m.grid->Col(), m.grid->Row()), QPoint(3, 6));
}

TEST(Mouse, AnchorEnterAndExitOnce)
{
    Mouse m;
    m.grid->SetColWidths(3, 120);
    m.grid->SetCells(3, 2, R"(<a href="http://example.org">Web</a>)");
    std::vector<QString> entered, left;
    m.grid->OnAnchorEnter = [&](QObject*, int, int, const QString& a) { entered.push_back(a); };
    m.grid->OnAnchorExit = [&](QObject*, int, int, const QString& a) { left.push_back(a); };
    QTest::mouseMove(m.vp(), m.onText(3, 2));
    QTest::mouseMove(m.vp(), m.onText(3, 2) + QPoint(1, 0));
    EXPECT_EQ(m.vp()->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseMove(m.vp(), m.mid(1, 5));
    QTest::mouseMove(m.vp(), m.mid(1, 6));
    EXPECT_EQ(entered, std::vector<QString>{"http://example.org"});
    EXPECT_EQ(left, std::vector<QString>{""});
    EXPECT_NE(m.vp()->cursor().shape(), Qt::PointingHandCursor);
}

TEST(Wheel, MoveSelectionAndScroll)
{
    QApplication::setWheelScrollLines(3);
    Mouse m;
    m.grid->FocusCell(1, 2, true);
    m.wheel(-1);
    EXPECT_EQ(m.grid->Row(), 5);
    m.wheel(-2);
    EXPECT_EQ(m.grid->Row(), 9);
    m.grid->SetFixedFooters(1);
    m.wheel(-1);
    EXPECT_EQ(m.grid->Row(), 8);
    m.wheel(1);
    EXPECT_EQ(m.grid->Row(), 5);

    Mouse s;
    s.grid->resize(420, 130);
    s.grid->MouseActions()->WheelAction = waScroll;
    s.grid->FocusCell(1, 2, true);
    s.wheel(-1);
    EXPECT_EQ(s.grid->TopRow(), 4);
    EXPECT_EQ(s.grid->Row(), 2);
    s.wheel(1);
    EXPECT_EQ(s.grid->TopRow(), 1);
    s.wheel(1);
    EXPECT_EQ(s.grid->TopRow(), 1);

    // One notch moves by the grid's own step only.
    Mouse w;
    w.grid->resize(420, 130);
    w.grid->FocusCell(1, 1, true);
    w.wheel(-1);
    EXPECT_EQ(w.grid->Row(), 4);
    EXPECT_LE(w.grid->TopRow(), 4);
}

TEST(Wheel, ZoomStopsWithinItsRange)
{
    for (int lines : {3, 1}) {
        QApplication::setWheelScrollLines(lines);
        Mouse m;
        m.grid->SetRowHeights(2, 12);
        for (int i = 0; i < 11; ++i)
            m.wheel(1, Qt::ControlModifier);
        EXPECT_EQ(m.grid->ZoomLevel(), lines == 3 ? -9 : -10);
        EXPECT_EQ(m.grid->ColWidths(1), 64 + m.grid->ZoomLevel());
        EXPECT_GT(m.grid->RowHeights(2), 0);
        EXPECT_EQ(m.grid->RowHeights(2), 12 + m.grid->ZoomLevel());
    }
    QApplication::setWheelScrollLines(3);
    Mouse z;
    z.grid->SetRowHeights(3, 4);
    z.wheel(1, Qt::ControlModifier);
    z.wheel(1, Qt::ControlModifier);
    EXPECT_EQ(z.grid->RowHeights(3), 1);   // 4 - 3, then kept above 0
    z.wheel(-2, Qt::ControlModifier);
    EXPECT_EQ(z.grid->ZoomLevel(), 0);
}

TEST(Mouse, MovedColumnTakesItsSettingsAlong)
{
    Mouse m;
    m.grid->SetColWidths(2, 80);
    m.grid->SortSettings()->Column = 2;
    m.grid->SortIndexes().AddSortColumn(2, false);
    m.grid->SortIndexes().AddSortColumn(3, true);
    m.grid->SortIndexes().AddSortColumn(1, true);
    m.grid->FocusCell(2, 3, true);
    m.grid->MoveColumnData(2, 4);
    EXPECT_EQ(m.grid->Cells(4, 3), "Apfel");
    EXPECT_EQ(m.grid->ColWidths(4), 80);
    EXPECT_EQ(m.grid->SortSettings()->Column, 4);
    const TSortIndexList& idx = m.grid->SortIndexes();
    ASSERT_EQ(idx.Count(), 3);
    EXPECT_EQ(std::make_pair(idx.SortColumn(0), idx.Ascending(0)), std::make_pair(4, false));
    EXPECT_EQ(std::make_pair(idx.SortColumn(1), idx.Ascending(1)), std::make_pair(2, true));
    EXPECT_EQ(std::make_pair(idx.SortColumn(2), idx.Ascending(2)), std::make_pair(1, true));
    EXPECT_EQ(m.grid->Col(), 4);
    EXPECT_EQ(m.grid->ColumnOrder().Items(4), 2);
    EXPECT_EQ(m.grid->ColumnOrder().Items(2), 3);
    // Back the other way the columns in between shift right.
    m.grid->MoveColumnData(4, 1);
    EXPECT_EQ(m.grid->SortSettings()->Column, 1);
    EXPECT_EQ(idx.SortColumn(1), 3);
    EXPECT_EQ(idx.SortColumn(2), 2);
}

TEST(Mouse, MovedRowStopsAboveTheFloatingFooter)
{
    Mouse m;
    m.grid->FloatingFooter()->SetVisible(true);
    m.grid->SetCells(1, 9, "Summe");
    m.grid->MoveRowData(2, 9);   // past the footer row: ignored
    EXPECT_EQ(m.grid->Cells(1, 2), "Banane");
    EXPECT_EQ(m.grid->Cells(1, 9), "Summe");
    m.grid->MoveRowData(9, 3);   // the footer row stays last
    EXPECT_EQ(m.grid->Cells(1, 3), "Birne");
    EXPECT_EQ(m.grid->Cells(1, 9), "Summe");
    m.grid->MoveRowData(2, 8);
    EXPECT_EQ(m.grid->Cells(1, 8), "Banane");
    EXPECT_EQ(m.grid->Cells(1, 9), "Summe");
    // Without the footer the last row is a row like the others.
    m.grid->FloatingFooter()->SetVisible(false);
    m.grid->MoveRowData(8, 9);
    EXPECT_EQ(m.grid->Cells(1, 9), "Banane");
}

TEST(Sizing, FixedColumnEdge)
{
    Mouse m;
    m.grid->SetFixedCols(2);
    const int edge = m.grid->ColWidths(0) + 1 + m.grid->ColWidths(1) + 1;   // right edge of column 1
    const int y = m.mid(1, 4).y();
    QTest::mouseMove(m.vp(), QPoint(edge + 3, y));
    EXPECT_EQ(m.grid->FixedSizingEdgeCol(), -1) << "only with SizeFixedCol";
    m.grid->MouseActions()->SizeFixedCol = true;
    for (int dx : {-3, 0, 3}) {
        QTest::mouseMove(m.vp(), QPoint(edge + dx, y));
        EXPECT_EQ(m.grid->FixedSizingEdgeCol(), 1) << dx;
    }
    EXPECT_EQ(m.vp()->cursor().shape(), Qt::SplitHCursor);
    QTest::mouseMove(m.vp(), QPoint(edge + 4, y));
    EXPECT_EQ(m.grid->FixedSizingEdgeCol(), -1);

    // Dragged to 100 pixels past its left edge, then released left of the column: width 0.
    std::vector<int> ended;
    m.grid->OnEndColumnSize = [&](QObject*, int col) { ended.push_back(col); };
    QTest::mouseMove(m.vp(), QPoint(edge, y));
    QTest::mousePress(m.vp(), Qt::LeftButton, {}, QPoint(edge, y));
    EXPECT_EQ(m.grid->FixedColSizing(), 1);
    QTest::mouseRelease(m.vp(), Qt::LeftButton, {}, QPoint(m.grid->ColWidths(0) + 100, y));
    EXPECT_EQ(m.grid->ColWidths(1), 100);
    const int edge2 = m.grid->ColWidths(0) + 1 + 100 + 1;
    QTest::mouseMove(m.vp(), QPoint(edge2, y));
    QTest::mousePress(m.vp(), Qt::LeftButton, {}, QPoint(edge2, y));
    QTest::mouseRelease(m.vp(), Qt::LeftButton, {}, QPoint(10, y));
    EXPECT_EQ(m.grid->ColWidths(1), 0);
    EXPECT_EQ(ended, (std::vector<int>{1, 1}));
}

TEST(Sizing, SizeHintVetoAndAbandon)
{
    Mouse m;
    m.grid->SetGridOptions(m.grid->GridOptions() | tk::goColSizing);
    m.grid->HintShowSizing = true;
    const QRect c2 = m.grid->CellRect(2, 0);
    const QPoint border(c2.right() + 1, c2.center().y());
    QTest::mousePress(m.vp(), Qt::LeftButton, {}, border);
    ASSERT_EQ(m.grid->GridState(), tk::gsColSizing);
    QTest::mouseMove(m.vp(), QPoint(c2.left() + 85, border.y()), -1);
    QMouseEvent move(QEvent::MouseMove, QPointF(c2.left() + 85, border.y()), m.vp()->mapToGlobal(QPointF(c2.left() + 85, border.y())),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m.vp(), &move);
    EXPECT_EQ(GridHints(m.grid.get())->HintWindow()->Text(), "cw=<b>85</b>");
    QTest::mouseRelease(m.vp(), Qt::LeftButton, {}, QPoint(c2.left() + 85, border.y()));
    EXPECT_EQ(m.grid->ColWidths(2), 85);
    EXPECT_FALSE(GridHints(m.grid.get())->HintWindow()->isVisible());

    // Released right of the grid: the width goes back.
    const QRect c1 = m.grid->CellRect(1, 0);
    QTest::mousePress(m.vp(), Qt::LeftButton, {}, QPoint(c1.right() + 1, border.y()));
    QMouseEvent far(QEvent::MouseMove, QPointF(m.vp()->width() + 30, border.y()),
                    m.vp()->mapToGlobal(QPointF(m.vp()->width() + 30, border.y())), Qt::NoButton, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(m.vp(), &far);
    QTest::mouseRelease(m.vp(), Qt::LeftButton, {}, QPoint(m.vp()->width() + 30, border.y()));
    EXPECT_EQ(m.grid->ColWidths(1), 64);
    EXPECT_EQ(m.grid->GridState(), tk::gsNormal);

    // A refusing OnColumnSize starts no sizing.
    m.grid->OnColumnSize = [](QObject*, int col, bool& allow) { allow = col != 2; };
    QTest::mousePress(m.vp(), Qt::LeftButton, {}, border + QPoint(0, 0));
    EXPECT_EQ(m.grid->GridState(), tk::gsNormal);
    QTest::mouseRelease(m.vp(), Qt::LeftButton, {}, border + QPoint(40, 0));
    EXPECT_EQ(m.grid->ColWidths(2), 85);
}

TEST(Mouse, HeaderDragSelectsWholeRowsUpToTheLastNormalRow)
{
    Mouse m;
    m.grid->MouseActions()->RowSelect = true;
    m.grid->SetFixedFooters(1);
    std::vector<tk::TGridRect> changes;
    m.grid->OnSelectionChanged = [&](QObject*, int l, int t, int r, int b) { changes.push_back({l, t, r, b}); };
    QTest::mousePress(m.vp(), Qt::LeftButton, {}, m.mid(0, 3));
    auto drag = [&](QPoint p) {
        QMouseEvent ev(QEvent::MouseMove, QPointF(p), m.vp()->mapToGlobal(QPointF(p)), Qt::NoButton, Qt::LeftButton,
                       Qt::NoModifier);
        QApplication::sendEvent(m.vp(), &ev);
    };
    drag(m.mid(0, 6));
    EXPECT_EQ(m.grid->Selection(), (tk::TGridRect{1, 3, 4, 6}));
    drag(m.mid(0, 9));   // the footer row
    EXPECT_EQ(m.grid->Selection(), (tk::TGridRect{1, 3, 4, 8}));
    drag(m.mid(0, 1));
    EXPECT_EQ(m.grid->Selection(), (tk::TGridRect{1, 1, 4, 3}));
    QTest::mouseRelease(m.vp(), Qt::LeftButton, {}, m.mid(0, 1));
    drag(m.mid(0, 5));   // after the release nothing follows
    EXPECT_EQ(m.grid->Selection(), (tk::TGridRect{1, 1, 4, 3}));
    EXPECT_EQ(changes.back(), (tk::TGridRect{1, 1, 4, 3}));
}

TEST(Pan, HorizontalPanningMovesOnlyTheColumnAndEndsByAKey)
{
    Mouse m;
    m.grid->IntelliPan = ipHorizontal;
    m.grid->FocusCell(2, 4, true);
    const QPoint origin = m.mid(2, 4);
    QTest::mousePress(m.vp(), Qt::MiddleButton, {}, origin);
    ASSERT_TRUE(m.grid->Panning());
    EXPECT_EQ(m.vp()->cursor().shape(), Qt::BitmapCursor);   // the still pan cursor
    m.grid->PanTick(origin + QPoint(0, 50));
    EXPECT_EQ(QPoint(m.grid->Col(), m.grid->Row()), QPoint(2, 4));
    m.grid->PanTick(origin + QPoint(50, 0));
    EXPECT_EQ(QPoint(m.grid->Col(), m.grid->Row()), QPoint(3, 4));
    m.grid->PanTick(origin + QPoint(4, 0));   // within 5 pixels: still
    EXPECT_EQ(m.grid->Col(), 3);
    for (int i = 0; i < 5; ++i)
        m.grid->PanTick(origin + QPoint(50, 0));
    EXPECT_EQ(m.grid->Col(), 4);   // stays inside the grid
    QTest::keyClick(m.grid.get(), Qt::Key_Down);
    EXPECT_FALSE(m.grid->Panning());
    EXPECT_EQ(m.grid->Row(), 4);
    EXPECT_EQ(m.vp()->cursor().shape(), Qt::ArrowCursor);

    // Vertical panning moves the row; a press ends it.
    m.grid->IntelliPan = ipVertical;
    QTest::mousePress(m.vp(), Qt::MiddleButton, {}, origin);
    m.grid->PanTick(origin + QPoint(50, -50));
    EXPECT_EQ(QPoint(m.grid->Col(), m.grid->Row()), QPoint(4, 3));
    QTest::mousePress(m.vp(), Qt::LeftButton, {}, origin);
    EXPECT_FALSE(m.grid->Panning());
    QTest::mouseRelease(m.vp(), Qt::LeftButton, {}, origin);
}

TEST(Mouse, DoubleClickOnAHeaderBorderSizesWithoutSorting)
{
    Mouse m;
    m.grid->SetGridOptions(m.grid->GridOptions() | tk::goColSizing);
    m.grid->SortSettings()->SetShow(true);
    m.grid->SetCells(2, 4, "ein sehr viel breiterer Text als die Spalte");
    int sorts = 0;
    m.grid->OnClickSort = [&](QObject*, int) { ++sorts; };
    const QRect c3 = m.grid->CellRect(3, 0);
    const QPoint nearLeft(c3.left() + 2, c3.center().y());   // the border of column 2
    QTest::mouseDClick(m.vp(), Qt::LeftButton, {}, nearLeft);
    EXPECT_GT(m.grid->ColWidths(2), 150);
    EXPECT_EQ(m.grid->ColWidths(3), 64);
    EXPECT_EQ(sorts, 0);
    EXPECT_EQ(m.grid->Cells(2, 1), "x1");
}

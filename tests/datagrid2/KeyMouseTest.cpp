// Keyboard and mouse of the data grid: the key table, the wheel, optimal and default widths,
// column moving and row sizing.
#include "tests/datagrid/GridFixture.h"
#include <QMenu>
#include <QWheelEvent>
#include <gtest/gtest.h>

using namespace xdb;
using gridtest::ListGrid;

namespace {

void Wheel(ListGrid& g, int delta)
{
    QWheelEvent wheel(QPointF(50, 80), g.grid->viewport()->mapToGlobal(QPointF(50, 80)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(g.grid->viewport(), &wheel);
}

// The toolkit's column move (what a title drag ends in).
struct GridAccess : TXDBGrid {
    using tk::TCustomGrid::MoveColumn;
};

} // namespace

TEST(GridKeyTable, TabAppendsOnlyWhereInsertingIsAllowedAndShiftTabWraps)
{
    for (const bool insertOff : {false, true}) {
        SCOPED_TRACE(insertOff);
        ListGrid g(3);
        if (insertOff)
            g.grid->SetOptions(g.grid->Options() | dgAllowInsertOff);
        g.ds.Last();
        g.grid->SetSelectedIndex(g.grid->Columns()->Count() - 1);
        g.Key(Qt::Key_Tab);
        EXPECT_EQ(g.ds.State(), insertOff ? db::dsBrowse : db::dsInsert);
        EXPECT_EQ(g.grid->SelectedIndex(), 1);     // the first column with a tab stop (_ID is read-only)
    }
    ListGrid g(3);
    g.ds.SetRecNo(2);
    g.grid->SetSelectedIndex(1);
    g.Key(Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(g.ds.RecNo(), 1);
    EXPECT_EQ(g.grid->SelectedIndex(), g.grid->Columns()->Count() - 1);
}

TEST(GridKeyTable, CtrlEndHomeAndPagesOnTenThousandRows)
{
    ListGrid g(10000);
    g.Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(g.ds.RecNo(), 10000);
    g.Key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(g.ds.RecNo(), 1);
    const int page = g.grid->VisibleRowCount();
    ASSERT_GT(page, 1);
    g.Key(Qt::Key_PageDown);
    EXPECT_EQ(g.ds.RecNo(), 1 + page);
    g.Key(Qt::Key_PageDown);
    EXPECT_EQ(g.ds.RecNo(), 1 + 2 * page);
    g.Key(Qt::Key_PageUp);
    EXPECT_EQ(g.ds.RecNo(), 1 + page);
}

TEST(GridKeyTable, WheelRowsAndPartialNotches)
{
    struct Case {
        int rows;
        int expected;     // records moved by one notch down
    };
    ListGrid probe(1);
    const Case cases[] = {{3, 3}, {-1, probe.grid->DataLink()->BufferCount()}, {0, tk::TCustomGrid::WheelScrollLines()}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.rows);
        ListGrid g(300);
        g.grid->SetWheelScrollRows(k.rows);
        Wheel(g, -120);
        EXPECT_EQ(g.ds.RecNo(), 1 + k.expected);
    }
    // A touchpad's half notches add up before anything moves.
    ListGrid g(300);
    g.grid->SetWheelScrollRows(3);
    Wheel(g, -60);
    EXPECT_EQ(g.ds.RecNo(), 1);
    Wheel(g, -60);
    EXPECT_EQ(g.ds.RecNo(), 4);
    // A handler that takes the wheel leaves the grid where it is.
    g.grid->OnMouseWheelDown = [](TXCustomDBGrid*, tk::TShiftState, const QPoint&, bool& handled) { handled = true; };
    Wheel(g, -120);
    EXPECT_EQ(g.ds.RecNo(), 4);
    Wheel(g, 120);
    EXPECT_EQ(g.ds.RecNo(), 1);
    // An untouched inserted record at the end: wheel down keeps it, wheel up cancels it.
    g.ds.Last();
    g.grid->SetSelectedIndex(g.grid->Columns()->Count() - 1);
    g.Key(Qt::Key_Tab);
    ASSERT_EQ(g.ds.State(), db::dsInsert);
    g.grid->OnMouseWheelDown = nullptr;
    Wheel(g, -120);
    EXPECT_EQ(g.ds.State(), db::dsInsert);
    Wheel(g, 120);
    EXPECT_EQ(g.ds.State(), db::dsBrowse);
}

TEST(GridMouse, BorderDoubleClickGivesTheOptimalWidthAndMiddleButtonTheDefault)
{
    ListGrid g(5);
    TXColumn* c = g.grid->Columns()->Items(2);    // Email
    const QFontMetrics fm(c->Font().Font());
    int widest = 0;
    for (int i = 1; i <= 5; ++i)
        widest = std::max(widest, fm.horizontalAdvance(QStringLiteral("user%1@example.com").arg(i, 3, 10, QLatin1Char('0'))));
    c->SetWidth(40);
    QApplication::processEvents();
    const QRect title = g.grid->CellRect(g.grid->DataColToGridCol(2), 0);
    const QPoint border(title.right() + 1, title.center().y());
    QTest::mouseDClick(g.grid->viewport(), Qt::LeftButton, Qt::NoModifier, border);
    EXPECT_EQ(c->Width(), widest + 4);

    const QRect title2 = g.grid->CellRect(g.grid->DataColToGridCol(2), 0);
    QTest::mouseClick(g.grid->viewport(), Qt::MiddleButton, Qt::NoModifier, QPoint(title2.right() + 1, title2.center().y()));
    EXPECT_EQ(c->Width(), c->DefaultWidth());
}

TEST(GridMouse, ColumnMovingCanBeRefused)
{
    ListGrid g(3);
    auto* grid = static_cast<GridAccess*>(g.grid.get());
    const QString first = grid->Columns()->Items(1)->FieldName();
    bool accept = false;
    int seenFrom = -1, seenTo = -1, moved = 0;
    grid->OnColumnMoving = [&](TXCustomDBGrid*, int from, int to, bool& ok) {
        seenFrom = from;
        seenTo = to;
        ok = accept;
    };
    grid->OnColumnMoved = [&](TXCustomDBGrid*, int, int) { ++moved; };
    const int w1 = grid->ColWidths(grid->DataColToGridCol(1));
    grid->MoveColumn(grid->DataColToGridCol(1), grid->DataColToGridCol(3));
    EXPECT_EQ(seenFrom, 1);
    EXPECT_EQ(seenTo, 3);
    EXPECT_EQ(grid->Columns()->Items(1)->FieldName(), first);
    EXPECT_EQ(grid->ColWidths(grid->DataColToGridCol(1)), w1);
    EXPECT_EQ(moved, 0);

    // A handler that throws refuses as well.
    grid->OnColumnMoving = [](TXCustomDBGrid*, int, int, bool&) { throw std::runtime_error("no"); };
    grid->MoveColumn(grid->DataColToGridCol(1), grid->DataColToGridCol(3));
    EXPECT_EQ(grid->Columns()->Items(1)->FieldName(), first);

    accept = true;
    grid->OnColumnMoving = [&](TXCustomDBGrid*, int, int, bool& ok) { ok = accept; };
    grid->MoveColumn(grid->DataColToGridCol(1), grid->DataColToGridCol(3));
    EXPECT_EQ(grid->Columns()->Items(3)->FieldName(), first);
    EXPECT_EQ(moved, 1);
}

TEST(GridMouse, RowSizingSetsLinesCount)
{
    ListGrid g(5);
    const int th = g.grid->TextHeight(g.grid->GridFont());
    const int line = g.grid->RowLineWidth();
    // (height - line - th/2 - 3) div th + 1
    struct Case {
        int height;
        int lines;
    };
    const Case cases[] = {{3 * th + line + th / 2 + 3, 4}, {3 * th + line + th / 2 + 2, 3}, {5, 1}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.height);
        EXPECT_EQ(g.grid->LinesForRowHeight(k.height), k.lines);
    }
    g.grid->SetRowHeights(g.grid->TitleOffset() + 1, 3 * th + line + th / 2 + 3);
    EXPECT_EQ(g.grid->LinesCount(), 4);
    g.grid->SetLinesCountMax(2);
    EXPECT_EQ(g.grid->LinesForRowHeight(10 * th), 2);
}

TEST(GridMouse, ClicksOnFillerBandsAndIndicatorAndTheRightButtonsMenus)
{
    ListGrid g(3);
    int filler = 0, indicator = 0, band = -1;
    TXColumn* bandColumn = nullptr;
    g.grid->OnFillerClick = [&](TXCustomDBGrid*) { ++filler; };
    g.grid->OnIndicatorClick = [&](TXCustomDBGrid*) { ++indicator; };
    g.grid->OnHeaderClick = [&](TXCustomDBGrid*, TXColumn* c, int b) {
        bandColumn = c;
        band = b;
    };
    TXColumn* email = g.grid->Columns()->Items(2);
    email->Title()->SetHeader(QStringLiteral("Kontakt|Mail"));
    QApplication::processEvents();
    QWidget* vp = g.grid->viewport();
    QTest::mouseClick(vp, Qt::LeftButton, Qt::NoModifier, g.grid->CellRect(0, 0).center());
    EXPECT_EQ(filler, 1);
    const QRect title = g.grid->CellRect(g.grid->DataColToGridCol(2), 0);
    QTest::mouseClick(vp, Qt::LeftButton, Qt::NoModifier,
                      QPoint(title.center().x(), title.top() + g.grid->HeaderHeight() + g.grid->HeaderHeight() / 2));
    EXPECT_EQ(bandColumn, email);
    EXPECT_EQ(band, 1);
    QTest::mouseClick(vp, Qt::LeftButton, Qt::NoModifier, g.grid->CellRect(0, g.grid->TitleOffset() + 1).center());
    EXPECT_EQ(indicator, 1);

    // Right button: titles without a menu show none, data rows fall back to the grid's menu.
    QMenu gridMenu, fillerMenu;
    gridMenu.addAction(QStringLiteral("Eintrag"));
    g.grid->SetPopupMenu(&gridMenu);
    g.grid->SetFillerPopupMenu(&fillerMenu);
    EXPECT_EQ(g.grid->PopupMenuAt(title.center()), nullptr);
    EXPECT_EQ(g.grid->PopupMenuAt(g.grid->CellRect(0, 0).center()), &fillerMenu);
    const QPoint data = g.grid->CellRect(g.grid->DataColToGridCol(1), g.grid->TitleOffset()).center();
    EXPECT_EQ(g.grid->PopupMenuAt(data), &gridMenu);
    QTest::mouseClick(vp, Qt::RightButton, Qt::NoModifier, data);
    EXPECT_TRUE(gridMenu.isVisible());
    gridMenu.hide();
}

TEST(GridMouse, TitleButtonsShowPressedAndHotStates)
{
    ListGrid g(3);
    TXColumn* email = g.grid->Columns()->Items(2);
    email->Title()->SetButton(true);
    QApplication::processEvents();
    QWidget* vp = g.grid->viewport();
    const QRect title = g.grid->CellRect(g.grid->DataColToGridCol(2), 0);
    auto move = [vp](QPoint p, Qt::MouseButtons buttons) {
        QMouseEvent e(QEvent::MouseMove, QPointF(p), vp->mapToGlobal(QPointF(p)), Qt::NoButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(vp, &e);
    };
    move(title.center(), Qt::NoButton);
    EXPECT_EQ(g.grid->TitleState(email), tk::tsHot);
    QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, title.center());
    EXPECT_EQ(g.grid->TitleState(email), tk::tsPressed);
    // Off the title the pressed look goes; back over it, it returns.
    move(QPoint(title.center().x(), title.bottom() + 10), Qt::LeftButton);
    EXPECT_NE(g.grid->TitleState(email), tk::tsPressed);
    QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, QPoint(title.center().x(), title.bottom() + 10));
    EXPECT_EQ(g.grid->TitleState(email), tk::tsNormal);
    // Without dgHotButtons nothing is hot.
    g.grid->SetOptions(g.grid->Options() & ~dgHotButtons);
    move(QPoint(title.center().x() + 1, title.center().y()), Qt::NoButton);
    EXPECT_EQ(g.grid->TitleState(email), tk::tsNormal);
}

TEST(GridMouse, TitleDragNeedsColumnMovingAndNotAHeaderBand)
{
    for (const bool moving : {false, true}) {
        SCOPED_TRACE(moving);
        ListGrid g(3);
        if (!moving)
            g.grid->SetResizeOptions(g.grid->ResizeOptions() & ~roColumnMoving);
        for (int i = 0; i < g.grid->Columns()->Count(); ++i)
            g.grid->Columns()->Items(i)->SetWidth(60);
        QApplication::processEvents();
        const QString first = g.grid->Columns()->Items(1)->FieldName();
        QWidget* vp = g.grid->viewport();
        const QRect from = g.grid->CellRect(g.grid->DataColToGridCol(1), 0);
        const QRect to = g.grid->CellRect(g.grid->DataColToGridCol(2), 0);
        QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, from.center());
        QMouseEvent move(QEvent::MouseMove, QPointF(to.center()), vp->mapToGlobal(QPointF(to.center())), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &move);
        QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, to.center());
        EXPECT_EQ(g.grid->Columns()->Items(2)->FieldName() == first, moving);
    }
}

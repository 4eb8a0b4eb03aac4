// The focus coming into the grid, the balloon shown by its timers, and a form button coming up.
#include "InputFixture.h"
#include "grid/GridHints.h"

#include <QApplication>
#include <QFocusEvent>
#include <QImage>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace grid;
using namespace inputtest;

TEST(Focus, EnteringFromOutsideRestartsTheEditTracking)
{
    QWidget form;
    auto* layout = new QVBoxLayout(&form);
    auto* other = new QLineEdit(&form);
    auto g = fruitGrid();
    layout->addWidget(other);
    layout->addWidget(g.get());
    form.resize(420, 360);
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    auto* inside = new QLineEdit(g.get());   // stands for one of the grid's editors

    g->SetGridOptions(g->GridOptions() | tk::goEditing);
    g->FocusCell(1, 2, true);
    g->setFocus(Qt::TabFocusReason);
    other->setFocus(Qt::TabFocusReason);
    // Changed while the focus is elsewhere: entering the grid takes the new text as the start.
    g->SetCells(1, 2, "Neu");
    EXPECT_EQ(g->EditStartText(), "Banane");
    g->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(g->EditStartText(), "Neu");

    struct Case { const char* what; std::function<void()> leave; Qt::FocusReason back; const char* start; };
    const Case cases[] = {
        {"back from the grid's own child", [&] { inside->setFocus(Qt::OtherFocusReason); }, Qt::OtherFocusReason, "Neu"},
        {"from another widget by the mouse", [&] { other->setFocus(Qt::TabFocusReason); }, Qt::MouseFocusReason, "Anders"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g->SetCells(1, 2, "Neu");
        g->setFocus(Qt::TabFocusReason);
        c.leave();
        g->SetCells(1, 2, "Anders");
        g->setFocus(c.back);
        EXPECT_TRUE(g->hasFocus());
        EXPECT_EQ(g->EditStartText(), c.start);
    }
    // The window's activation is no entering.
    g->SetCells(1, 2, "Fenster");
    EXPECT_EQ(g->EditStartText(), "Anders");
    QFocusEvent activated(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(g.get(), &activated);
    EXPECT_EQ(g->EditStartText(), "Anders");
}

TEST(Balloon, ShownByItsTimersAfterTheDelays)
{
    auto g = fruitGrid();
    g->resize(400, 300);
    g->show();
    TGridHints* h = GridHints(g.get());
    TBalloonSettings* b = h->Balloon();
    b->InitialDelay = 40;
    b->ReshowDelay = 7;
    b->AutoHideDelay = 150;
    b->SetEnable(true);
    TBalloonWindow* w = h->BalloonWindow();
    ASSERT_TRUE(w);
    auto inside = [&](int c, int r) { return g->CellRect(c, r).topLeft() + QPoint(4, 4); };

    QTest::mouseMove(g->viewport(), inside(1, 2));
    EXPECT_EQ(h->PendingBalloonDelay(), 40);
    EXPECT_FALSE(w->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->isVisible(); }, 3000));
    EXPECT_EQ(w->Text(), "Banane");
    EXPECT_EQ(h->BalloonCell(), QPoint(1, 2));
    // It goes after the auto-hide delay.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->isVisible(); }, 3000));

    // Soon after, the next cell's balloon comes after the shorter reshow delay.
    QTest::mouseMove(g->viewport(), inside(1, 3));
    EXPECT_EQ(h->PendingBalloonDelay(), 7);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->isVisible(); }, 3000));
    EXPECT_EQ(w->Text(), "Birne");
    // Moving within the cell starts nothing new; leaving the grid stops a pending one.
    QTest::mouseMove(g->viewport(), inside(1, 3) + QPoint(2, 0));
    EXPECT_EQ(h->PendingBalloonDelay(), -1);
    QTest::mouseMove(g->viewport(), inside(1, 4));
    EXPECT_NE(h->PendingBalloonDelay(), -1);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(g->viewport(), &leave);
    EXPECT_EQ(h->PendingBalloonDelay(), -1);
}

TEST(Mouse, AFormButtonComesUpOnReleaseAndFocusLoss)
{
    auto g = fruitGrid();
    g->SetGridOptions(g->GridOptions() | tk::goEditing);
    g->SetColWidths(3, 140);
    g->SetCells(3, 4, R"(<P><control type="BUTTON" id="b1" value="Los" width="80"></P>)");
    g->resize(420, 300);
    g->show();
    const QRect cell = g->CellRect(3, 4);
    const QPoint on = cell.topLeft() + QPoint(g->CellMarginX() + 8, g->CellMarginY() + 8);
    auto look = [&] { return g->viewport()->grab(cell).toImage(); };

    const QImage up = look();
    saveShot(g->grab(), "formbutton-up.png");
    QTest::mousePress(g->viewport(), Qt::LeftButton, {}, on);
    ASSERT_TRUE(g->ControlFocused());
    const QImage down = look();
    EXPECT_NE(down, up);
    saveShot(g->grab(), "formbutton-down.png");
    QTest::mouseRelease(g->viewport(), Qt::LeftButton, {}, on);
    EXPECT_FALSE(g->ControlFocused());
    EXPECT_EQ(look(), up);

    // Losing the focus while held brings it up too.
    QTest::mousePress(g->viewport(), Qt::LeftButton, {}, on);
    ASSERT_TRUE(g->ControlFocused());
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(g.get(), &out);
    EXPECT_FALSE(g->ControlFocused());
    EXPECT_EQ(look(), up);
    QTest::mouseRelease(g->viewport(), Qt::LeftButton, {}, on);
}

TEST(Mouse, ClickRaisesOnClickAndRestartsTheEditTracking)
{
    auto g = fruitGrid();
    g->SetGridOptions(g->GridOptions() | tk::goEditing | tk::goColSizing);
    g->resize(420, 300);
    g->show();
    int clicks = 0;
    g->OnClick = [&](QObject*) { ++clicks; };
    QWidget* vp = g->viewport();
    const QPoint on = g->CellRect(1, 2).center();

    g->FocusCell(1, 2, true);
    g->SetCells(1, 2, "Neu");
    QTest::mouseClick(vp, Qt::LeftButton, {}, on);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(g->EditStartText(), "Neu");

    // A refused press makes no click; neither does a header sizing.
    g->OnCanClickCell = [](QObject*, int, int, bool& allow) { allow = false; };
    QTest::mouseClick(vp, Qt::LeftButton, {}, on);
    g->OnCanClickCell = nullptr;
    const QRect c2 = g->CellRect(2, 0);
    QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(c2.right() + 1, c2.center().y()));
    ASSERT_EQ(g->GridState(), tk::gsColSizing);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(c2.right() + 20, c2.center().y()));
    EXPECT_EQ(clicks, 1);
    // A click on a header cell is one.
    QTest::mouseClick(vp, Qt::LeftButton, {}, c2.center());
    EXPECT_EQ(clicks, 2);
}

TEST(Mouse, DirectEditRangeSelectAndEditDragAndPartialRows)
{
    auto make = [] {
        auto g = fruitGrid();
        g->SetGridOptions(g->GridOptions() | tk::goEditing | tk::goRangeSelect);
        g->resize(420, 300);
        g->show();
        return g;
    };
    // DirectEdit: one click edits the cell; without it the click only selects.
    for (bool direct : {false, true}) {
        auto g = make();
        g->MouseActions()->DirectEdit = direct;
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->CellRect(2, 4).center());
        EXPECT_EQ(QPoint(g->Col(), g->Row()), QPoint(2, 4));
        EXPECT_EQ(g->EditorVisible(), direct);
    }

    // With RangeSelectAndEdit a drag out of the pressed cell selects; a tremble inside it does not.
    auto r = make();
    r->MouseActions()->RangeSelectAndEdit = true;
    QWidget* vp = r->viewport();
    QTest::mousePress(vp, Qt::LeftButton, {}, r->CellRect(1, 1).center());
    QTest::mouseMove(vp, r->CellRect(1, 1).center() + QPoint(2, 1));
    EXPECT_TRUE(r->GridOptions() & tk::goEditing);
    QTest::mouseMove(vp, r->CellRect(3, 4).center());
    QTest::mouseRelease(vp, Qt::LeftButton, {}, r->CellRect(3, 4).center());
    EXPECT_FALSE(r->GridOptions() & tk::goEditing);
    EXPECT_EQ(r->Selection(), (tk::TGridRect{1, 1, 3, 4}));

    // A click on the partly shown last row scrolls only without NoScrollOnPartialRow.
    for (bool noScroll : {false, true}) {
        auto g = make();
        g->MouseActions()->NoScrollOnPartialRow = noScroll;
        const int partial = 5;
        g->resize(420, g->height() - g->viewport()->height() + g->CellRect(1, partial - 1).bottom() + 10);
        ASSERT_EQ(g->TopRow() + g->VisibleRowCount(), partial);
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->CellRect(1, partial).topLeft() + QPoint(5, 3));
        EXPECT_EQ(g->Row(), partial);
        EXPECT_EQ(g->TopRow() == 1, noScroll);
    }
}

TEST(Mouse, DoubleClickEditsUnderRangeSelectAndEditAndAlwaysEditFollowsArrows)
{
    auto g = fruitGrid();
    g->MouseActions()->RangeSelectAndEdit = true;
    g->resize(420, 300);
    g->show();
    int doubles = 0;
    g->OnDblClickCell = [&](QObject*, int, int) { ++doubles; };
    const QPoint on = g->CellRect(2, 3).center();
    QTest::mouseDClick(g->viewport(), Qt::LeftButton, {}, on);
    EXPECT_EQ(doubles, 1);
    EXPECT_TRUE(g->GridOptions() & tk::goEditing);
    EXPECT_EQ(QPoint(g->Col(), g->Row()), QPoint(2, 3));
    EXPECT_TRUE(g->EditorVisible());

    auto a = fruitGrid();
    a->SetGridOptions(a->GridOptions() | tk::goEditing);
    a->Navigation()->AlwaysEdit = true;
    a->resize(420, 300);
    a->show();
    a->FocusCell(2, 3, true);
    a->HideEditor();
    QTest::keyClick(a.get(), Qt::Key_Down);
    EXPECT_EQ(a->Row(), 4);
    EXPECT_TRUE(a->EditorVisible());
    // Other keys leave it alone.
    a->HideEditor();
    QTest::keyClick(a.get(), Qt::Key_F5);
    EXPECT_FALSE(a->EditorVisible());
}

TEST(Mouse, ARangeDragReportsItsSelection)
{
    auto g = fruitGrid();
    g->SetGridOptions(g->GridOptions() | tk::goRangeSelect);
    g->resize(420, 300);
    g->show();
    std::vector<tk::TGridRect> seen;
    g->OnSelectionChanged = [&](QObject*, int l, int t, int r, int b) { seen.push_back({l, t, r, b}); };
    QWidget* vp = g->viewport();
    QTest::mousePress(vp, Qt::LeftButton, {}, g->CellRect(1, 2).center());
    QTest::mouseMove(vp, g->CellRect(1, 2).center() + QPoint(3, 0));   // same cell: nothing new
    QTest::mouseMove(vp, g->CellRect(2, 4).center());
    QTest::mouseRelease(vp, Qt::LeftButton, {}, g->CellRect(2, 4).center());
    EXPECT_EQ(seen, (std::vector<tk::TGridRect>{{1, 2, 1, 2}, {1, 2, 2, 4}}));
}

TEST(Mouse, KeepHorizScrollHoldsTheLeftColumnDuringADrag)
{
    for (bool keep : {false, true}) {
        SCOPED_TRACE(keep);
        auto g = fruitGrid();
        g->SetColCount(20);
        g->SetGridOptions(g->GridOptions() | tk::goRangeSelect);
        g->Navigation()->KeepHorizScroll = keep;
        g->resize(300, 250);
        g->show();
        QWidget* vp = g->viewport();
        const int partial = g->LeftCol() + g->VisibleColCount();   // shown only in part
        ASSERT_FALSE(g->CellRect(partial, 2).isEmpty());
        QTest::mousePress(vp, Qt::LeftButton, {}, g->CellRect(1, 2).center());
        QTest::mouseMove(vp, g->CellRect(partial, 2).topLeft() + QPoint(3, 3));
        QTest::mouseRelease(vp, Qt::LeftButton, {}, g->CellRect(1, 2).center());
        EXPECT_EQ(g->LeftCol() == 1, keep);
    }
}

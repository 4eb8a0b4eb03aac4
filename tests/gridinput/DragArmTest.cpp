// The mouse starting a drag: a press on the selection arms it, a move of more than 3 pixels
// starts it, a release without one selects the pressed cell. The drag itself is recorded by the
// drag executor (the real pointer is the desktop test's).
#include "InputFixture.h"

#include <QApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

using namespace grid;
using namespace inputtest;

namespace {

struct Arm {
    std::unique_ptr<TZedEzeravIvur> grid = fruitGrid();
    QStringList dragged;
    TZedEzeravIvur::TDragExecutor saved = TZedEzeravIvur::DragExecutor();

    Arm()
    {
        grid->resize(420, 300);
        grid->show();
        grid->DragDropSettings()->OleDropSource = true;
        grid->SetSelection(tk::TGridRect{1, 1, 2, 2});
        TZedEzeravIvur::DragExecutor() = [this](QMimeData* data, Qt::DropActions, TZedEzeravIvur*, const QPixmap&,
                                                QPoint) {
            dragged << data->text();
            delete data;
            return Qt::CopyAction;
        };
    }
    ~Arm() { TZedEzeravIvur::DragExecutor() = saved; }

    QWidget* vp() const { return grid->viewport(); }
    QPoint mid(int c, int r) const { return grid->CellRect(c, r).center(); }
    void moveWithButton(QPoint p)
    {
        QMouseEvent e(QEvent::MouseMove, p, vp()->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(vp(), &e);
    }
    QRect selection() const
    {
        const tk::TGridRect s = grid->Selection();
        return QRect(QPoint(s.Left, s.Top), QPoint(s.Right, s.Bottom));
    }
};

} // namespace

TEST(DragArm, AMoveOfMoreThanThreePixelsFromTheSelectionStartsTheDrag)
{
    struct Case {
        QPoint by;
        bool drags;
        QRect selectionAfter;
    };
    for (const Case& c : {Case{{3, 3}, false, QRect(1, 2, 1, 1)}, Case{{-3, 0}, false, QRect(1, 2, 1, 1)},
                          Case{{4, 0}, true, QRect(1, 1, 2, 2)}, Case{{0, -4}, true, QRect(1, 1, 2, 2)}}) {
        SCOPED_TRACE(testing::Message() << c.by.x() << "," << c.by.y());
        Arm a;
        int clicks = 0;
        a.grid->OnClickCell = [&](QObject*, int, int) { ++clicks; };
        const QPoint p = a.mid(1, 2);
        QTest::mousePress(a.vp(), Qt::LeftButton, {}, p);
        EXPECT_EQ(clicks, 1);
        EXPECT_EQ(a.selection(), QRect(1, 1, 2, 2)) << "the selection is decided on release";
        a.moveWithButton(p + c.by);
        QTest::mouseRelease(a.vp(), Qt::LeftButton, {}, p + c.by);
        EXPECT_EQ(a.dragged, c.drags ? QStringList{"Apfel\tx1\r\nBanane\tx2"} : QStringList{});
        EXPECT_EQ(a.selection(), c.selectionAfter);
    }
}

TEST(DragArm, NoDragFromOutsideTheSelectionWhileEditingOrWithoutDropSource)
{
    struct Case {
        const char* name;
        std::function<void(TZedEzeravIvur&)> setup;
        QPoint cell;
    };
    const std::vector<Case> cases{
        {"outside the selection", [](TZedEzeravIvur&) {}, {1, 4}},
        {"goEditing", [](TZedEzeravIvur& g) { g.SetGridOptions(g.GridOptions() | tk::goEditing); }, {1, 2}},
        {"no drop source", [](TZedEzeravIvur& g) { g.DragDropSettings()->OleDropSource = false; }, {1, 2}},
        {"column select", [](TZedEzeravIvur& g) { g.MouseActions()->ColSelect = true; }, {1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Arm a;
        c.setup(*a.grid);
        const QPoint p = a.mid(c.cell.x(), c.cell.y());
        QTest::mousePress(a.vp(), Qt::LeftButton, {}, p);
        EXPECT_FALSE(a.grid->OleDragArmed());
        a.moveWithButton(p + QPoint(30, 0));
        QTest::mouseRelease(a.vp(), Qt::LeftButton, {}, p + QPoint(30, 0));
        EXPECT_TRUE(a.dragged.isEmpty());
    }
}

TEST(DragArm, ARefusedDragSelectsFromThePressedCellInstead)
{
    Arm a;
    int asked = 0;
    a.grid->OnOleDrag = [&](QObject*, int row, int col, const QString& text, bool& allow) {
        ++asked;
        EXPECT_EQ(QPoint(col, row), QPoint(2, 2));
        EXPECT_EQ(text, "x2");
        allow = false;
    };
    const QPoint p = a.mid(2, 2);
    QTest::mousePress(a.vp(), Qt::LeftButton, {}, p);
    a.moveWithButton(a.mid(3, 4));
    a.moveWithButton(a.mid(3, 5));
    QTest::mouseRelease(a.vp(), Qt::LeftButton, {}, a.mid(3, 5));
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(a.dragged.isEmpty());
    EXPECT_EQ(a.selection(), QRect(QPoint(2, 2), QPoint(3, 5)));
}

TEST(DragArm, CtrlReleaseInDisjunctRowModeTogglesTheRowMark)
{
    Arm a;
    a.grid->SetGridOptions(a.grid->GridOptions() | tk::goRowSelect);
    a.grid->MouseActions()->SetDisjunctRowSelect(true);
    a.grid->SetSelection(tk::TGridRect{1, 3, 4, 3});
    a.grid->SetRowSelected(3, true);
    a.grid->SetRowSelected(5, true);
    ASSERT_TRUE(a.grid->IsCellSelected(2, 3));
    QTest::mousePress(a.vp(), Qt::LeftButton, Qt::ControlModifier, a.mid(2, 3));
    ASSERT_TRUE(a.grid->OleDragArmed());
    QTest::mouseRelease(a.vp(), Qt::LeftButton, Qt::ControlModifier, a.mid(2, 3));
    EXPECT_FALSE(a.grid->RowSelected(3));
    EXPECT_TRUE(a.grid->RowSelected(5));
    // Without Ctrl every other mark goes and the row becomes the selection.
    QTest::mousePress(a.vp(), Qt::LeftButton, {}, a.mid(2, 5));
    ASSERT_TRUE(a.grid->OleDragArmed());
    QTest::mouseRelease(a.vp(), Qt::LeftButton, {}, a.mid(2, 5));
    EXPECT_FALSE(a.grid->RowSelected(3));
    EXPECT_EQ(a.selection(), QRect(QPoint(1, 5), QPoint(4, 5)));
}

// The selection resizer's drag and the start of a drag of cells by the mouse.
#include "InputFixture.h"
#include "grid/exchange/DragData.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

using namespace grid;
using namespace inputtest;

namespace {

struct Resizer {
    std::unique_ptr<TZedEzeravIvur> grid = fruitGrid();
    std::vector<std::pair<tk::TGridRect, tk::TGridRect>> resize, resized;
    Resizer()
    {
        grid->SetSelectionResizer(true);
        grid->SetSelectionRectangle(true);
        grid->SetGridOptions(grid->GridOptions() | tk::goRangeSelect);
        grid->MouseActions()->RangeSelectAndEdit = true;
        grid->Navigation()->AllowSmartClipboard = true;
        grid->OnSelectionResize = [this](QObject*, const tk::TGridRect& o, const tk::TGridRect& n) {
            resize.emplace_back(o, n);
        };
        grid->OnSelectionResized = [this](QObject*, const tk::TGridRect& o, const tk::TGridRect& n) {
            resized.emplace_back(o, n);
        };
        grid->resize(420, 300);
        grid->show();
    }
    QWidget* vp() const { return grid->viewport(); }
    QPoint mid(int c, int r) const { return grid->CellRect(c, r).center(); }
    // Presses at p, moves to q with the button held and releases there.
    void drag(QPoint p, QPoint q)
    {
        QTest::mouseMove(vp(), p);
        QTest::mousePress(vp(), Qt::LeftButton, {}, p);
        QTest::mouseMove(vp(), q);
        QTest::mouseRelease(vp(), Qt::LeftButton, {}, q);
    }
    QStringList column(int c, int from, int to) const
    {
        QStringList out;
        for (int r = from; r <= to; ++r)
            out << grid->Cells(c, r);
        return out;
    }
};

} // namespace

TEST(Resizer, DragsASeriesFromItsOwnCopyAndLeavesTheClipboardAlone)
{
    Resizer z;
    z.grid->SetCells(2, 1, "1");
    z.grid->SetCells(2, 2, "2");
    z.grid->SetSelection(tk::TGridRect{2, 1, 2, 2});
    QApplication::clipboard()->setText("vom Desktop");
    const QRect handle = z.grid->SelectionResizerHandle();
    ASSERT_EQ(handle.size(), QSize(6, 6));

    z.drag(handle.center(), z.mid(2, 5));
    EXPECT_FALSE(z.grid->ResizingSelection());
    EXPECT_EQ(z.column(2, 1, 6), (QStringList{"1", "2", "3", "4", "5", "x6"}));
    EXPECT_EQ(z.grid->Selection(), (tk::TGridRect{2, 1, 2, 5}));
    saveShot(z.grid->grab(), "resizer.png");
    const auto both = std::make_pair(tk::TGridRect{2, 1, 2, 2}, tk::TGridRect{2, 1, 2, 5});
    EXPECT_EQ(z.resize, (std::vector{both}));
    EXPECT_EQ(z.resized, (std::vector{both}));
    // The desktop clipboard was neither written nor read.
    EXPECT_EQ(QApplication::clipboard()->text(), "vom Desktop");
    EXPECT_EQ(QApplication::clipboard()->mimeData()->formats(), QStringList{"text/plain"});

    // A word is repeated; a later paste takes the desktop clipboard again.
    z.grid->SetCells(3, 1, "Mo");
    z.grid->SetSelection(tk::TGridRect{3, 1, 3, 1});
    z.drag(z.grid->SelectionResizerHandle().center(), z.mid(3, 3));
    EXPECT_EQ(z.column(3, 1, 4), (QStringList{"Mo", "Mo", "Mo", ""}));
    z.grid->SetSelection(tk::TGridRect{4, 1, 4, 1});
    z.grid->PasteFromClipboard();
    EXPECT_EQ(z.grid->Cells(4, 1), "vom Desktop");
}

TEST(Resizer, OnlyTheHandleStartsIt)
{
    Resizer z;
    z.grid->SetCells(2, 1, "1");
    z.grid->SetCells(2, 2, "2");
    z.grid->SetSelection(tk::TGridRect{2, 1, 2, 2});
    const QRect handle = z.grid->SelectionResizerHandle();
    // Just outside the handle the press selects as usual: no resize, no fill.
    z.drag(handle.topLeft() - QPoint(1, 1), z.mid(2, 5));
    EXPECT_TRUE(z.resize.empty());
    EXPECT_EQ(z.column(2, 1, 5), (QStringList{"1", "2", "Apfel", "x4", "x5"}));

    // A resize whose release was lost ends with the next press: its release fills nothing.
    z.grid->SetSelection(tk::TGridRect{2, 1, 2, 2});
    QTest::mouseMove(z.vp(), handle.center());
    QTest::mousePress(z.vp(), Qt::LeftButton, {}, handle.center());
    ASSERT_TRUE(z.grid->ResizingSelection());
    QTest::mousePress(z.vp(), Qt::LeftButton, {}, z.mid(3, 6));
    EXPECT_FALSE(z.grid->ResizingSelection());
    QTest::mouseRelease(z.vp(), Qt::LeftButton, {}, z.mid(3, 6));
    EXPECT_TRUE(z.resize.empty());

    // Without SelectionRectangle there is no handle.
    z.grid->SetSelection(tk::TGridRect{2, 1, 2, 2});
    z.grid->SetSelectionRectangle(false);
    EXPECT_TRUE(z.grid->SelectionResizerHandle().isEmpty());
    z.drag(handle.center(), z.mid(2, 5));
    EXPECT_TRUE(z.resize.empty());
    EXPECT_EQ(z.grid->Cells(2, 5), "x5");
}

namespace {

// Records what the mouse hands to the drag instead of running one.
struct DragSpy {
    struct Drag { QString text; QByteArray column; };
    std::vector<Drag> drags;
    TZedEzeravIvur::TDragExecutor saved = TZedEzeravIvur::DragExecutor();
    DragSpy()
    {
        TZedEzeravIvur::DragExecutor() = [this](QMimeData* data, Qt::DropActions, TZedEzeravIvur*, const QPixmap&,
                                                QPoint) {
            std::unique_ptr<QMimeData> owned(data);
            drags.push_back({data->text(), data->data(exchange::GridColumnMime())});
            return Qt::CopyAction;
        };
    }
    ~DragSpy() { TZedEzeravIvur::DragExecutor() = saved; }
};

struct Dragging {
    std::unique_ptr<TZedEzeravIvur> grid = fruitGrid();
    DragSpy spy;
    std::vector<QPoint> started, clicked;
    Dragging()
    {
        grid->DragDropSettings()->OleDropSource = true;
        grid->SetGridOptions(grid->GridOptions() | tk::goRangeSelect);
        grid->OnOleDragStart = [this](QObject*, int row, int col) { started.emplace_back(col, row); };
        grid->OnClickCell = [this](QObject*, int row, int col) { clicked.emplace_back(col, row); };
        grid->resize(420, 300);
        grid->show();
        grid->SetSelection(tk::TGridRect{1, 1, 2, 2});
    }
    QWidget* vp() const { return grid->viewport(); }
    QPoint mid(int c, int r) const { return grid->CellRect(c, r).center(); }
};

} // namespace

TEST(DragStart, AMoveOfMoreThanThreePixelsFromTheSelectionDrags)
{
    Dragging d;
    const QPoint p = d.mid(1, 1);
    QTest::mousePress(d.vp(), Qt::LeftButton, {}, p);
    EXPECT_EQ(d.clicked, std::vector<QPoint>{QPoint(1, 1)});
    QTest::mouseMove(d.vp(), p + QPoint(3, -3));
    EXPECT_TRUE(d.spy.drags.empty());
    QTest::mouseMove(d.vp(), p + QPoint(4, 0));
    ASSERT_EQ(d.spy.drags.size(), 1u);
    EXPECT_EQ(d.spy.drags[0].text, "Apfel\tx1\r\nBanane\tx2");
    EXPECT_EQ(d.started, std::vector<QPoint>{QPoint(1, 1)});
    // The drag took the release: the selection is the dragged one still.
    QTest::mouseRelease(d.vp(), Qt::LeftButton, {}, d.mid(3, 4));
    EXPECT_EQ(d.grid->Selection(), (tk::TGridRect{1, 1, 2, 2}));
    QTest::mouseMove(d.vp(), d.mid(3, 6));
    EXPECT_EQ(d.spy.drags.size(), 1u);

    // A 3 pixel move starts nothing, and the release selects the cell.
    QTest::mousePress(d.vp(), Qt::LeftButton, {}, d.mid(2, 2));
    QTest::mouseMove(d.vp(), d.mid(2, 2) + QPoint(3, 3));
    QTest::mouseRelease(d.vp(), Qt::LeftButton, {}, d.mid(2, 2) + QPoint(3, 3));
    EXPECT_EQ(d.spy.drags.size(), 1u);
    EXPECT_EQ(d.grid->Selection(), (tk::TGridRect{2, 2, 2, 2}));
}

TEST(DragStart, WhatArmsIt)
{
    // Each case presses on `press`, moves to the middle of `to` and releases there.
    struct Case { const char* what; std::function<void(Dragging&)> setUp; QPoint press; QPoint to; int drags; tk::TGridRect sel; };
    const Case cases[] = {
        {"outside the selection the move selects", [](Dragging&) {}, {3, 3}, {4, 5}, 0, {3, 3, 4, 5}},
        {"OnOleDrag refusing: the move selects from the pressed cell",
         [](Dragging& d) { d.grid->OnOleDrag = [](QObject*, int, int, const QString&, bool& allow) { allow = false; }; },
         {1, 1}, {3, 4}, 0, {1, 1, 3, 4}},
        {"without OleDropSource", [](Dragging& d) { d.grid->DragDropSettings()->OleDropSource = false; }, {1, 1}, {3, 4}, 0, {1, 1, 3, 4}},
        {"with goEditing", [](Dragging& d) { d.grid->SetGridOptions(d.grid->GridOptions() | tk::goEditing); }, {1, 1}, {3, 4}, 0, {1, 1, 1, 1}},
        {"with AllSelect", [](Dragging& d) { d.grid->MouseActions()->AllSelect = true; }, {1, 1}, {3, 4}, 0, {1, 1, 3, 4}},
        {"on the selection", [](Dragging&) {}, {2, 2}, {3, 4}, 1, {1, 1, 2, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Dragging d;
        c.setUp(d);
        QTest::mousePress(d.vp(), Qt::LeftButton, {}, d.mid(c.press.x(), c.press.y()));
        QTest::mouseMove(d.vp(), d.mid(c.to.x(), c.to.y()));
        QTest::mouseRelease(d.vp(), Qt::LeftButton, {}, d.mid(c.to.x(), c.to.y()));
        EXPECT_EQ(int(d.spy.drags.size()), c.drags);
        EXPECT_EQ(d.grid->Selection(), c.sel);
    }

    // A header press drags its column when headers do not move columns.
    Dragging h;
    h.grid->EnhRowColMove = false;
    h.grid->DragDropSettings()->OleColumnDragDrop = true;
    QTest::mousePress(h.vp(), Qt::LeftButton, {}, h.mid(3, 0));
    QTest::mouseMove(h.vp(), h.mid(3, 0) + QPoint(0, 8));
    ASSERT_EQ(h.spy.drags.size(), 1u);
    EXPECT_EQ(h.spy.drags[0].column, QByteArray("\x03\x00\x00\x00", 4));
}

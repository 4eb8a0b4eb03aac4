// The selection resizer's drag and the start of a drag of cells by the mouse.
#include "InputFixture.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTest>
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

    // Without SelectionRectangle there is no handle.
    z.grid->SetSelection(tk::TGridRect{2, 1, 2, 2});
    z.grid->SetSelectionRectangle(false);
    EXPECT_TRUE(z.grid->SelectionResizerHandle().isEmpty());
    z.drag(handle.center(), z.mid(2, 5));
    EXPECT_TRUE(z.resize.empty());
    EXPECT_EQ(z.grid->Cells(2, 5), "x5");
}

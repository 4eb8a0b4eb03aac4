// What a press and its release leave behind besides the current cell: marked cells of disjunct
// cell selection, pressed and hot header cells, and where a range selection may go.
#include "InputFixture.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

using namespace grid;
using namespace inputtest;

namespace {

struct Press {
    std::unique_ptr<TZedEzeravIvur> grid = fruitGrid();
    Press()
    {
        grid->resize(420, 300);
        grid->show();
    }
    QWidget* vp() const { return grid->viewport(); }
    QPoint mid(int c, int r) const { return grid->CellRect(c, r).center(); }
    void click(QPoint p, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::mouseClick(vp(), Qt::LeftButton, m, p); }
    std::vector<QPoint> marks()
    {
        std::vector<QPoint> out;
        for (int i = 0; i < grid->CellMarks().Count(); ++i)
            out.push_back(grid->CellMarks().Items(i));
        return out;
    }
};

using Cells = std::vector<QPoint>;

} // namespace

TEST(DisjunctCells, ReleasesMarkTogglesAndReplaceCells)
{
    Press p;
    p.grid->MouseActions()->SetDisjunctCellSelect(true);
    p.click(p.mid(2, 3));
    EXPECT_EQ(p.marks(), (Cells{{2, 3}}));
    p.click(p.mid(3, 5), Qt::ControlModifier);
    p.click(p.mid(1, 7), Qt::ControlModifier);
    EXPECT_EQ(p.marks(), (Cells{{2, 3}, {3, 5}, {1, 7}}));
    // Ctrl on a marked cell takes it out again.
    p.click(p.mid(3, 5), Qt::ControlModifier);
    EXPECT_EQ(p.marks(), (Cells{{2, 3}, {1, 7}}));
    // A plain click starts over.
    p.click(p.mid(4, 2));
    EXPECT_EQ(p.marks(), (Cells{{4, 2}}));

    // A dragged range marks each of its cells once, also where one was marked already.
    p.click(p.mid(2, 2), Qt::ControlModifier);
    QTest::mousePress(p.vp(), Qt::LeftButton, Qt::ControlModifier, p.mid(2, 2));
    QTest::mouseMove(p.vp(), p.mid(3, 3));
    QTest::mouseRelease(p.vp(), Qt::LeftButton, Qt::ControlModifier, p.mid(3, 3));
    Cells marks = p.marks();
    std::sort(marks.begin(), marks.end(), [](QPoint a, QPoint b) { return std::pair(a.y(), a.x()) < std::pair(b.y(), b.x()); });
    EXPECT_EQ(marks, (Cells{{2, 2}, {3, 2}, {4, 2}, {2, 3}, {3, 3}}));
}

TEST(DisjunctCells, RefusedCellAndMergedCell)
{
    Press p;
    p.grid->MouseActions()->SetDisjunctCellSelect(true);
    p.click(p.mid(2, 3));
    // A cell the grid refuses to select keeps the marks as they were.
    p.grid->OnRowChanging = [](QObject*, int, int newRow, bool& allow) { allow = newRow != 6; };
    p.click(p.mid(2, 6), Qt::ControlModifier);
    EXPECT_EQ(p.marks(), (Cells{{2, 3}}));
    // A merged range is marked by its base cell.
    p.grid->MergeCells(3, 7, 2, 2);
    p.click(p.grid->CellRect(4, 8).center());
    EXPECT_EQ(p.marks(), (Cells{{3, 7}}));
}

TEST(DisjunctCells, MarkedCellsArePaintedSelected)
{
    Press p;
    p.grid->MouseActions()->SetDisjunctCellSelect(true);
    p.grid->SetSelectionColor(0x0000FF);   // red
    p.click(p.mid(2, 3));
    p.click(p.mid(3, 5), Qt::ControlModifier);
    p.click(p.mid(1, 6), Qt::ControlModifier);
    const QImage img = p.vp()->grab().toImage();
    saveShot(QPixmap::fromImage(img), "disjunct-cells.png");
    auto at = [&](int c, int r) { return img.pixelColor(p.grid->CellRect(c, r).topLeft() + QPoint(2, 2)); };
    EXPECT_EQ(at(2, 3), QColor(255, 0, 0));
    EXPECT_EQ(at(3, 5), QColor(255, 0, 0));
    EXPECT_NE(at(2, 4), QColor(255, 0, 0));
}

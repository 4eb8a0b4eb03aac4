// Selection marks of the string grid and the repaint routines they use.
#include "grid/GridStartup.h"
#include "grid/ZodUvuz.h"
#include "grid/minihtml/MiniHTML.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPaintEvent>
#include <QRegion>
#include <gtest/gtest.h>

using namespace grid;

namespace {

// Collects what the viewport repaints.
class PaintWatcher : public QObject {
public:
    int paints = 0;
    QRegion region;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) {
            ++paints;
            region += static_cast<QPaintEvent*>(e)->region();
        }
        return false;
    }
    void reset() { paints = 0; region = QRegion(); }
};

struct ShownGrid {
    TZedEzeravIvur g;
    PaintWatcher watcher;
    ShownGrid()
    {
        g.SetColCount(5);
        g.SetRowCount(20);
        g.resize(400, 300);
        g.show();
        QCoreApplication::processEvents();
        g.viewport()->installEventFilter(&watcher);
    }
    // Runs the pending paints and tells whether anything was repainted.
    bool repainted()
    {
        watcher.reset();
        QCoreApplication::processEvents();
        return watcher.paints > 0;
    }
};

template <class F>
QString errorOf(F&& f)
{
    try {
        f();
    } catch (const EZodUvuzError& e) {
        return e.message();
    }
    return QString();
}

} // namespace

TEST(SelectionMarks, RangeErrorsNameTheirIndexAndChangeNothing)
{
    TZedEzeravIvur g;
    g.SetColCount(4);
    g.SetRowCount(6);
    g.MouseActions()->SetDisjunctRowSelect(true);
    g.SetRowSelected(2, true);
    const QString row = "Invalid row accessed";
    const QString col = "Invalid column accessed";
    EXPECT_EQ(errorOf([&] { g.RowSelected(-1); }), row);
    EXPECT_EQ(errorOf([&] { g.RowSelected(6); }), row);
    EXPECT_EQ(errorOf([&] { g.SetRowSelected(6, true); }), row);
    EXPECT_EQ(errorOf([&] { g.SetRowSelected(-3, false); }), row);
    EXPECT_EQ(errorOf([&] { g.ColSelected(4); }), col);
    EXPECT_EQ(errorOf([&] { g.SetColSelected(-1, true); }), col);
    EXPECT_TRUE(g.RowSelected(2));
    // A row beyond the marks read so far is unmarked.
    EXPECT_FALSE(g.RowSelected(5));
    EXPECT_FALSE(g.ColSelected(3));
}

TEST(SelectionMarks, RowMarksInDisjunctModeAndTheSelectionOtherwise)
{
    TZedEzeravIvur g;
    g.SetColCount(4);
    g.SetRowCount(10);
    g.SetSelection({1, 5, 2, 3});   // rows 3 .. 5 (either order)
    EXPECT_TRUE(g.RowSelected(4));
    EXPECT_FALSE(g.RowSelected(6));
    g.MouseActions()->SetDisjunctRowSelect(true);
    EXPECT_FALSE(g.RowSelected(4));
    g.SetRowSelected(8, true);
    g.SelectionToRowMarks(false);
    for (int r : {3, 4, 5, 8})
        EXPECT_TRUE(g.RowSelected(r)) << r;
    g.SelectionToRowMarks(true);   // normal rows outside the selection lose their marks
    EXPECT_FALSE(g.RowSelected(8));
    EXPECT_TRUE(g.RowSelected(3));
    EXPECT_FALSE(g.RowSelected(0));

    // IsCellSelected: never in fixed cells; marks in disjunct modes, else the selection.
    EXPECT_TRUE(g.IsCellSelected(3, 4));
    EXPECT_FALSE(g.IsCellSelected(0, 4));
    EXPECT_FALSE(g.IsCellSelected(3, 8));
    g.MouseActions()->SetDisjunctRowSelect(false);
    g.MouseActions()->SetDisjunctColSelect(true);
    g.SetColSelected(3, true);
    EXPECT_TRUE(g.IsCellSelected(3, 8));
    EXPECT_FALSE(g.IsCellSelected(2, 4));
    g.MouseActions()->SetDisjunctColSelect(false);
    EXPECT_TRUE(g.IsCellSelected(2, 4));
    EXPECT_FALSE(g.IsCellSelected(3, 8));
    g.SelectionToColMarks(true);
    EXPECT_TRUE(g.ColSelected(1));
    EXPECT_TRUE(g.ColSelected(2));
    EXPECT_FALSE(g.ColSelected(3));
}

TEST(SelectionMarks, OnlyAChangedMarkRepaintsItsRow)
{
    ShownGrid s;
    TZedEzeravIvur& g = s.g;
    g.MouseActions()->SetDisjunctRowSelect(true);
    ASSERT_FALSE(s.repainted());
    g.SetRowSelected(3, false);
    EXPECT_FALSE(s.repainted());
    g.ClearRowMarks();
    EXPECT_FALSE(s.repainted());
    g.SetRowSelected(3, true);
    ASSERT_TRUE(s.repainted());
    const QRect row3 = g.CellRect(1, 3);
    EXPECT_TRUE(s.watcher.region.contains(row3.center()));
    EXPECT_TRUE(s.watcher.region.contains(g.CellRect(0, 3).center()));
    EXPECT_FALSE(s.watcher.region.contains(g.CellRect(1, 5).center()));
    g.SetRowSelected(3, true);
    EXPECT_FALSE(s.repainted());
    g.ClearRowMarks();
    ASSERT_TRUE(s.repainted());
    EXPECT_TRUE(s.watcher.region.contains(row3.center()));

    g.SetColSelected(2, true);
    ASSERT_TRUE(s.repainted());
    EXPECT_TRUE(s.watcher.region.contains(g.CellRect(2, 7).center()));
    EXPECT_FALSE(s.watcher.region.contains(g.CellRect(3, 7).center()));
    g.SetColSelected(2, true);
    EXPECT_FALSE(s.repainted());

    // The selection settings repaint only when their value changes.
    g.SetSelectionColor(g.SelectionColor());
    g.SetShowSelection(true);
    g.SetSelectionResizer(false);
    EXPECT_FALSE(s.repainted());
    g.SetSelectionColor(0x00FF00);
    EXPECT_TRUE(s.repainted());
    g.SetSelectionRectangle(true);
    EXPECT_TRUE(s.repainted());
}

TEST(SelectionMarks, RangesRepaintTheirCornersOrEverything)
{
    ShownGrid s;
    TZedEzeravIvur& g = s.g;
    g.RepaintRange({-1, 2, 3, 4});
    EXPECT_FALSE(s.repainted());
    g.RepaintRange({1, 2, 2, 4});
    ASSERT_TRUE(s.repainted());
    EXPECT_TRUE(s.watcher.region.contains(g.CellRect(1, 3).center()));
    EXPECT_FALSE(s.watcher.region.contains(g.CellRect(4, 8).center()));
    g.RepaintRange({1, 2, 4, 19});   // the bottom corner is out of view
    ASSERT_TRUE(s.repainted());
    EXPECT_TRUE(s.watcher.region.contains(g.CellRect(4, 8).center()));
    g.RepaintActiveHeaders(2, 3, 4, 1);
    ASSERT_TRUE(s.repainted());
    for (const QRect& r : {g.CellRect(2, 0), g.CellRect(0, 3), g.CellRect(1, 0), g.CellRect(0, 4)})
        EXPECT_TRUE(s.watcher.region.contains(r.center()));
    EXPECT_FALSE(s.watcher.region.contains(g.CellRect(2, 3).center()));
}

TEST(SelectionMarks, CellMarksKeepWholeRowsAndColumns)
{
    TZedEzeravIvur g;
    TCellMarks& marks = g.CellMarks();
    marks.Add(3, 70000);
    EXPECT_FALSE(marks.Contains(3, 4464));   // 70,000 and 4,464 share their low 16 bits
    marks.Add(3, 4464);
    marks.Add(70000, 1);
    EXPECT_EQ(marks.IndexOf(3, 4464), 1);
    EXPECT_EQ(marks.IndexOf(3, 70000), 0);
    EXPECT_FALSE(marks.Contains(4464, 1));
    marks.Delete(0);
    EXPECT_FALSE(marks.Contains(3, 70000));
    EXPECT_TRUE(marks.Contains(3, 4464));
}

TEST(GridPaintStartup, RendererUnitAllowsThemedControlsAndTheGridKeepsAPictureCache)
{
    minihtml::SetThemedControlsPossible(false);
    GridFamilyStartup();
    EXPECT_TRUE(minihtml::ThemedControlsPossible());
    GridFamilyShutdown();
    TZedEzeravIvur g;
    pictures::THTMLPicture* p = g.PictureCache().AddEmpty();
    p->LoadFromSource("FILE:///nonexistent/x.png");
    EXPECT_EQ(g.PictureCache().FindCached("FILE:///nonexistent/x.png"), p);
}

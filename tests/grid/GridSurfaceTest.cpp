// The string grid's selection hiding, screen-to-cell mapping, column and row moving, the
// components it refers to and its internal lists.
#include "grid/ZodUvuz.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QObject>
#include <QTimerEvent>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using namespace grid;

namespace {
tk::TGridRect rect(int l, int t, int r, int b) { return tk::TGridRect{l, t, r, b}; }
} // namespace

TEST(GridSurface, HideAndUnhideSelection)
{
    TZedEzeravIvur g;
    g.SetRowCount(6);
    g.SetSelection(rect(1, 2, 3, 4));
    g.HideSelection();
    EXPECT_TRUE(g.SelectionHidden());
    EXPECT_EQ(g.Selection(), rect(5, 6, 5, 6)) << "one cell outside the grid";
    g.UnHideSelection();
    EXPECT_FALSE(g.SelectionHidden());
    EXPECT_EQ(g.Selection(), rect(1, 2, 3, 4));

    // The remembered selection starts below the last row now: the first normal cell is selected.
    g.HideSelection();
    g.SetRowCount(2);
    g.UnHideSelection();
    EXPECT_EQ(g.Selection(), rect(1, 1, 1, 1));
    g.grab();   // painting with a selection outside the grid must not touch a missing cell
}

TEST(GridSurface, ScreenToCell)
{
    TZedEzeravIvur g;
    g.resize(400, 250);
    g.show();
    const QRect r = g.CellRect(2, 3);
    ASSERT_FALSE(r.isEmpty());
    int col = -5, row = -5;
    g.ScreenToCell(g.viewport()->mapToGlobal(r.center()), col, row);
    EXPECT_EQ(col, 2);
    EXPECT_EQ(row, 3);
    g.ScreenToCell(g.viewport()->mapToGlobal(QPoint(g.viewport()->width() + 50, 5)), col, row);
    EXPECT_EQ(col, -1);
}

TEST(GridSurface, MoveColumnAndRowData)
{
    TZedEzeravIvur g;
    for (int c = 0; c < 5; ++c)
        g.SetCells(c, 1, QString("c%1").arg(c));
    g.SetColWidths(1, 90);
    g.MoveColumnData(1, 3);
    EXPECT_EQ(g.ColumnOrder().CommaText(), "0,2,3,1,4") << "filled on the first move, then moved";
    EXPECT_EQ(g.Rows(1), QStringList({"c0", "c2", "c3", "c1", "c4"}));
    EXPECT_EQ(g.ColWidths(3), 90);

    g.SetCells(0, 2, "r2");
    g.SetCells(0, 5, "r5");
    g.MoveRowData(5, 2);
    EXPECT_EQ(g.Cells(0, 2), "r5");
    EXPECT_EQ(g.Cells(0, 3), "r2");
}

TEST(GridSurface, ReferencesAreClearedWhenTheirComponentGoesAway)
{
    TZedEzeravIvur g;
    auto images = std::make_unique<QObject>();
    auto pictures = std::make_unique<QObject>();
    QObject checker;
    g.SetGridImages(images.get());
    g.SetPictureContainer(pictures.get());
    g.SetCellChecker(&checker);

    images.reset();
    EXPECT_EQ(g.GridImages(), nullptr);
    EXPECT_EQ(g.PictureContainer(), pictures.get());

    g.Notification(pictures.get(), opInsert);
    EXPECT_EQ(g.PictureContainer(), pictures.get());
    g.Notification(pictures.get(), opRemove);
    EXPECT_EQ(g.PictureContainer(), nullptr);
    EXPECT_EQ(g.CellChecker(), &checker);

    // A replaced reference no longer reports to the grid.
    QObject other;
    g.SetCellChecker(&other);
    g.SetGridImages(&checker);
    {
        QObject gone;
        g.SetPictureContainer(&gone);
        g.SetPictureContainer(nullptr);
    }
    EXPECT_EQ(g.CellChecker(), &other);
    EXPECT_EQ(g.GridImages(), &checker);
}

TEST(GridSurface, GridDestroyedBeforeItsReferences)
{
    // The referred components outlive the grid untouched, and nothing of the grid stays attached
    // to them: destroying them afterwards reaches no freed grid.
    struct Watched : QObject {
        int destroyedReceivers() const { return receivers(SIGNAL(destroyed(QObject*))); }
    };
    Watched images, pictures, checker;
    {
        TZedEzeravIvur g;
        g.SetGridImages(&images);
        g.SetPictureContainer(&pictures);
        g.SetCellChecker(&checker);
        EXPECT_GT(images.destroyedReceivers(), 0);
    }
    for (const Watched* w : {&images, &pictures, &checker}) {
        EXPECT_EQ(w->destroyedReceivers(), 0);
        EXPECT_EQ(w->parent(), nullptr);
    }
}

TEST(GridSurface, InternalListsExistAndStartEmpty)
{
    TZedEzeravIvur g;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(g.IntLists(i).Count(), 0);
    EXPECT_EQ(g.SortIndexes().Count(), 0);
    EXPECT_EQ(g.CellControls().Count(), 0);
    EXPECT_EQ(g.ChangedCells().Count(), 0);
    EXPECT_EQ(g.SortList().Count(), 0);
    EXPECT_EQ(g.Cursor(), 0);
    EXPECT_EQ(g.ScrollBarsStyle(), ssBoth);
}

TEST(GridSurface, DefaultRowHeightCarriesTheFixedRowHeightOnlyAtDesignTime)
{
    for (const bool designing : {false, true}) {
        TZedEzeravIvur g(nullptr, designing);
        g.SetFixedRowHeight(30);
        EXPECT_EQ(g.RowHeights(0), 30);
        g.setProperty("DefaultRowHeight", 25);   // as the stream sets it
        EXPECT_EQ(g.DefaultRowHeight(), 25);
        EXPECT_EQ(g.RowHeights(3), 25);
        EXPECT_EQ(g.FixedRowHeight(), designing ? 25 : 30) << designing;
    }
}

namespace {
class BoundsGrid : public TZedEzeravIvur {
public:
    std::vector<QRect> bounds;
    int remerged = 0;
    void SetBounds(int left, int top, int width, int height) override
    {
        bounds.push_back(QRect(left, top, width, height));
        TZedEzeravIvur::SetBounds(left, top, width, height);
    }
    void ReMergeColumns() override { ++remerged; }
};
} // namespace

TEST(GridSurface, ColumnCountKeepsFixedColumnsAndAppliesTheBoundsAgain)
{
    BoundsGrid g;
    g.setGeometry(7, 9, 300, 200);
    g.SetFixedColAlways(true);
    g.SetFixedCols(2);
    g.SetColCount(2);
    EXPECT_EQ(g.FixedCols(), 1) << "every column was fixed";
    g.SetColCount(6);
    EXPECT_EQ(g.FixedCols(), 2) << "the remembered fixed columns come back";
    ASSERT_EQ(g.bounds.size(), 2u);
    EXPECT_EQ(g.bounds[1], QRect(7, 9, 300, 200));
    EXPECT_EQ(g.geometry(), QRect(7, 9, 300, 200));
}

TEST(GridSurface, EveryChangeOfTheMergeColumnsMergesAgain)
{
    BoundsGrid g;
    g.AutoMergeColumns().Add(0);
    g.AutoMergeColumns().Add(1);
    EXPECT_EQ(g.remerged, 2);
    g.AutoMergeColumns().SetItems(1, 2);
    g.AutoMergeColumns().Delete(0);
    EXPECT_EQ(g.remerged, 4);
    g.IntLists(0).Add(1);
    g.IntLists(3).Add(1);
    EXPECT_EQ(g.remerged, 4) << "only the merge columns re-merge";
}

namespace {
class CountingGrid : public TZedEzeravIvur {
public:
    using TZedEzeravIvur::TZedEzeravIvur;
    int invalidated = 0;
    int scrollBars = 0;
    int ticks = 0;
    void InvalidateGrid() override
    {
        ++invalidated;
        TZedEzeravIvur::InvalidateGrid();
    }
    void UpdateScrollBarsAlways() override { ++scrollBars; }
    void TimerTick() override { ++ticks; }
    void sendTimer(int id)
    {
        QTimerEvent e(id);
        timerEvent(&e);
    }
};

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};
} // namespace

TEST(GridSurface, TheTimerStartsWithTheWindowAndTicksIntoItsHook)
{
    CountingGrid g;
    EXPECT_FALSE(g.TimerRunning());
    g.show();
    ASSERT_TRUE(g.TimerRunning());
    // The tick of the grid's own timer reaches the hook; another timer's does not.
    for (int id = 1; id < 1000; ++id)
        g.sendTimer(id);
    EXPECT_EQ(g.ticks, 1);
}

TEST(GridSurface, ADesignedGridShowsTahomaUntilLoaded)
{
    TZedEzeravIvur running;
    const QString family = running.font().family();
    running.show();
    EXPECT_EQ(running.font().family(), family);
    TZedEzeravIvur designed(nullptr, true);
    designed.show();
    EXPECT_EQ(designed.font().family(), "Tahoma");
    TZedEzeravIvur loaded(nullptr, true);
    loaded.Loaded();
    loaded.show();
    EXPECT_EQ(loaded.font().family(), family);
}

TEST(GridSurface, OneRepaintCanBeSkipped)
{
    TZedEzeravIvur g;
    g.show();
    QCoreApplication::processEvents();
    PaintCounter counter;
    g.viewport()->installEventFilter(&counter);
    g.SkipNextInvalidate();
    g.InvalidateGrid();
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.paints, 0);
    g.InvalidateGrid();
    QCoreApplication::processEvents();
    EXPECT_GE(counter.paints, 1) << "the request is used up";
}

TEST(GridSurface, ResizingRepaintsAGradientBackgroundAndUpdatesTheScrollBars)
{
    CountingGrid g;
    g.resize(300, 200);
    g.show();
    QCoreApplication::processEvents();
    g.invalidated = g.scrollBars = 0;
    g.resize(320, 210);
    EXPECT_EQ(g.invalidated, 0) << "a tiled background needs no repaint";
    EXPECT_EQ(g.scrollBars, 1);
    g.BackGround()->SetDisplay(bdGradientVert);
    g.BackGround()->SetColorTo(0x00FF00);
    g.invalidated = 0;
    g.resize(340, 220);
    EXPECT_EQ(g.invalidated, 1);
    g.BackGround()->SetColorTo(gfx::clNone);
    g.invalidated = 0;
    g.resize(360, 230);
    EXPECT_EQ(g.invalidated, 0) << "no end colour, no gradient";

    g.scrollBars = 0;
    g.SetRowCount(20);
    g.SetColCount(7);
    g.Loaded();
    EXPECT_EQ(g.scrollBars, 3);
}

TEST(GridSurface, MeasuringACellsText)
{
    TZedEzeravIvur g;
    g.SetColWidths(1, 120);
    g.SetCells(1, 2, "Vor\rname");
    const QFontMetrics fm(g.font());
    const int lineHeight = fm.boundingRect("gh").height();
    QSize size;
    g.MeasureCellText(1, 2, size, false);
    EXPECT_EQ(size, QSize(fm.horizontalAdvance("Vor") + 4, lineHeight + 4)) << "the first line only";
    g.Multilinecells = true;
    g.MeasureCellText(1, 2, size, false);
    EXPECT_EQ(size, QSize(fm.horizontalAdvance("name") + 4, 2 * lineHeight + 4));

    g.SetCells(1, 3, "ein recht langer Text in einer schmalen Spalte");
    g.MeasureCellText(1, 3, size, true);
    EXPECT_GT(size.height(), 2 * lineHeight) << "wrapped at the column width";
    EXPECT_LE(size.width(), 120 - 8 + 4);

    // A fixed cell measures in the fixed font.
    g.SetCells(1, 0, "Kopf");
    g.FixedFont().SetHeight(-30);
    g.MeasureCellText(1, 0, size, false);
    EXPECT_EQ(size.width(), QFontMetrics(g.FixedFont().Font()).horizontalAdvance("Kopf") + 4);

    g.CellGraphicSize(1, 2, size);
    EXPECT_EQ(size, QSize(0, 0));
}

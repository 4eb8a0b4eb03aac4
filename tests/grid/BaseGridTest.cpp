// The base grid: cell properties, merged cells, keyboard over merged ranges, the change recorder,
// display texts and the grid's own painting.
#include "grid/BaseGrid.h"
#include "platform/grid/GridColors.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace grid;

namespace {

class Grid : public TBaseGrid {
public:
    Grid()
    {
        SetColCount(6);
        SetRowCount(8);
        resize(500, 260);
    }
    using TBaseGrid::DrawCellContent;
    // How often each cell's content was drawn.
    std::map<std::pair<int, int>, int> drawn;
    TColor gradientTo = gfx::clNone;
    std::pair<int, int> gradientCell{-1, -1};

protected:
    void DrawCellContent(QPainter& p, int col, tk::TGridDrawState state, const QRect& rect, int row) override
    {
        ++drawn[{col, row}];
        TBaseGrid::DrawCellContent(p, col, state, rect, row);
    }
    void GetCellColors(int col, int row, bool&, TAlignment&, TVAlignment&, tk::TFont&, TColor& colorTo,
                       TColor& brush, bool, bool, bool, tk::TGridDrawState&) override
    {
        if (std::make_pair(col, row) == gradientCell) {
            brush = gfx::clRed;
            colorTo = gradientTo;
        }
    }
};

QRgb rgbOf(TColor c, const QWidget& w) { return tk::ToQColor(c, w.palette()).rgb() & 0xFFFFFF; }
QRgb px(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFF; }

void press(QWidget* w, int key) { QTest::keyClick(w, Qt::Key(key)); }

} // namespace

TEST(BaseGrid, PropertiesAreCreatedOnceAndOwnedByTheGrid)
{
    Grid g;
    EXPECT_FALSE(g.HasCellProperties(2, 3));
    TCellProperties* p = g.GetCellProperties(2, 3);
    EXPECT_EQ(g.GetCellProperties(2, 3), p);
    EXPECT_TRUE(p->IsBaseCell);
    EXPECT_EQ(p->CellSpanX, -1);
    EXPECT_EQ(p->CellSpanY, -1);
    EXPECT_EQ(p->OwnerCol, 2);
    EXPECT_EQ(p->OwnerRow, 3);
    EXPECT_EQ(p->BrushColor(), gfx::clNone);
    EXPECT_EQ(p->Editor, edNormal);
    EXPECT_TRUE(p->WordWrap()) << "the grid's WordWrap";
    EXPECT_THROW(g.GetCellProperties(6, 0), EZodUvuzError);
    EXPECT_THROW(g.GetCellProperties(0, -1), EZodUvuzError);

    // Shrinking, deleting rows and replacing objects free what leaves the grid (ASan checks leaks).
    g.GetCellProperties(5, 7);
    g.GetCellProperties(1, 1);
    g.SetCellProperties(1, 1, new TCellProperties(&g, 1, 1));
    g.SetColCount(5);
    g.DeleteRow(3);
    EXPECT_FALSE(g.HasCellProperties(2, 3));
    g.GetCellProperties(0, 2);
    g.MoveRow(2, 5);
    EXPECT_TRUE(g.HasCellProperties(0, 5));
    EXPECT_FALSE(g.HasCellProperties(0, 2));
}

TEST(BaseGrid, AssignCopiesAllButGradientObjectAndGraphic)
{
    Grid g;
    TCellProperties* a = g.GetCellProperties(1, 1);
    a->SetBrushColor(gfx::clRed);
    a->SetBrushColorTo(gfx::clBlue);
    a->FontName = "Tahoma";
    a->ReadOnly = true;
    a->SetWordWrap(false);
    a->NodeLevel = 2;
    QObject obj;
    a->CellObject = &obj;
    TCellProperties* b = g.GetCellProperties(2, 2);
    b->Assign(*a);
    EXPECT_EQ(b->BrushColor(), gfx::clRed);
    EXPECT_EQ(b->BrushColorTo(), gfx::clNone);
    EXPECT_EQ(b->CellObject, nullptr);
    EXPECT_EQ(b->FontName, "Tahoma");
    EXPECT_TRUE(b->ReadOnly);
    EXPECT_FALSE(b->WordWrap());
    EXPECT_EQ(b->NodeLevel, 2);
    EXPECT_EQ(b->OwnerCol, 1) << "the owner fields are copied too";
}

TEST(BaseGrid, MergeCellsLinksTheRangeToItsBaseCell)
{
    Grid g;
    g.MergeCells(1, 1, 3, 2);
    const TCellProperties* base = g.GetCellProperties(1, 1);
    EXPECT_TRUE(base->IsBaseCell);
    EXPECT_EQ(base->CellSpanX, 2);
    EXPECT_EQ(base->CellSpanY, 1);
    const TCellProperties* last = g.GetCellProperties(3, 2);
    EXPECT_FALSE(last->IsBaseCell);
    EXPECT_EQ(last->CellSpanX, 2);
    EXPECT_EQ(last->CellSpanY, 1);
    EXPECT_EQ(g.BaseCell(3, 2), QPoint(1, 1));
    EXPECT_EQ(g.BaseCell(4, 2), QPoint(4, 2));
    EXPECT_EQ(g.CellSpan(2, 2), QPoint(2, 1));
    EXPECT_TRUE(g.IsXMergedCell(3, 2));
    EXPECT_TRUE(g.IsYMergedCell(2, 1));
    EXPECT_EQ(g.CellSize(2, 2), QSize(3 * 64, 2 * 24));

    g.SetCellText(3, 2, "merged");
    EXPECT_EQ(g.Cells(1, 1), "merged");
    EXPECT_EQ(g.Cells(3, 2), "");
    EXPECT_EQ(g.DisplayText(2, 1), "merged");

    // A single cell is a base cell with spans 0: not merged.
    g.MergeCells(4, 4, 1, 1);
    EXPECT_EQ(g.GetCellProperties(4, 4)->CellSpanX, 0);
    EXPECT_FALSE(g.IsMergedCell(4, 4));
    // Counts of 0 merge nothing; a range beyond the edges is cut.
    g.MergeCells(0, 5, 0, 2);
    EXPECT_FALSE(g.HasCellProperties(0, 5));
    g.MergeCells(4, 6, 5, 5);
    EXPECT_EQ(g.CellSpan(5, 7), QPoint(1, 1));
    EXPECT_EQ(g.BaseCell(5, 7), QPoint(4, 6));
}

TEST(BaseGrid, SplittingFromAnyCellRestoresTheWholeRange)
{
    for (int c = 1; c <= 3; ++c)
        for (int r = 1; r <= 2; ++r) {
            Grid g;
            g.MergeCells(1, 1, 3, 2);
            g.SplitCells(c, r);
            for (int cc = 1; cc <= 3; ++cc)
                for (int rr = 1; rr <= 2; ++rr) {
                    const TCellProperties* p = g.GetCellProperties(cc, rr);
                    EXPECT_TRUE(p->IsBaseCell && p->CellSpanX == -1 && p->CellSpanY == -1)
                        << "split at " << c << "," << r << " cell " << cc << "," << rr;
                }
        }
}

TEST(BaseGrid, AnOverlappingMergeSplitsTheOldRangeFirst)
{
    Grid g;
    g.MergeCells(1, 1, 2, 2);
    g.MergeCells(2, 2, 2, 2);
    // The old range is gone: none of its cells points at (1, 1) any more.
    EXPECT_FALSE(g.IsMergedCell(1, 1));
    EXPECT_EQ(g.BaseCell(2, 1), QPoint(2, 1));
    EXPECT_EQ(g.BaseCell(1, 2), QPoint(1, 2));
    EXPECT_EQ(g.BaseCell(3, 3), QPoint(2, 2));
    EXPECT_EQ(g.CellSpan(2, 2), QPoint(1, 1));
    EXPECT_TRUE(g.RowsInSameMerge(2, 3));
    EXPECT_FALSE(g.RowsInSameMerge(1, 2));
}

TEST(BaseGrid, ArrowKeysAroundARangeEndOnABaseCell)
{
    Grid g;
    g.show();
    g.MergeCells(2, 2, 2, 2);   // (2,2)..(3,3)
    struct Step { QPoint from; int key; QPoint to; };
    const Step steps[] = {
        {{1, 2}, Qt::Key_Right, {2, 2}},  // into the range: its base
        {{2, 2}, Qt::Key_Right, {4, 2}},  // out of the range to the right
        {{4, 3}, Qt::Key_Left, {2, 2}},   // into the range from the right
        {{2, 2}, Qt::Key_Down, {2, 4}},   // out below
        {{3, 4}, Qt::Key_Up, {2, 2}},     // into it from below
        {{3, 3}, Qt::Key_Left, {1, 2}},   // from a covered cell: from its base to the left
        {{3, 3}, Qt::Key_Up, {2, 1}},     // from a covered cell: from its base upwards
        {{2, 1}, Qt::Key_Down, {2, 2}},
    };
    for (const Step& s : steps) {
        g.FocusCell(s.from.x(), s.from.y(), true);
        ASSERT_EQ(QPoint(g.Col(), g.Row()), s.from);
        press(&g, s.key);
        EXPECT_EQ(QPoint(g.Col(), g.Row()), s.to) << "from " << s.from.x() << "," << s.from.y() << " key " << s.key;
    }
}

TEST(BaseGrid, RecorderKeepsTheLastMaxLevelChanges)
{
    struct Case { int maxLevel; int changes; int kept; int firstCol; };
    for (const Case& c : {Case{3, 5, 3, 2}, Case{0, 5, 5, 0}, Case{1, 2, 1, 1}}) {
        TZodUvuzUndoRedo rec;
        rec.SetMaxLevel(c.maxLevel);
        for (int i = 0; i < c.changes; ++i)
            rec.RegisterChange(i, 1, QString::number(i), "old");
        EXPECT_EQ(rec.Level(), c.kept);
        EXPECT_EQ(rec.Items().front().Col, c.firstCol);
        EXPECT_EQ(rec.Items().back().Value, QString::number(c.changes - 1));
        EXPECT_EQ(rec.Items().back().OrigValue, "old");
    }
    // Lowering the limit trims the oldest changes.
    TZodUvuzUndoRedo rec;
    for (int i = 0; i < 6; ++i)
        rec.RegisterChange(i, 0, "v", "o");
    rec.SetMaxLevel(2);
    ASSERT_EQ(rec.Level(), 2);
    EXPECT_EQ(rec.Items()[0].Col, 4);
    rec.RegisterChange(9, 0, "v", "o");
    EXPECT_EQ(rec.Level(), 2);
    EXPECT_EQ(rec.Items()[1].Col, 9);
}

TEST(BaseGrid, RecorderAndGridForgetEachOther)
{
    auto g = std::make_unique<Grid>();
    auto rec = std::make_unique<TZodUvuzUndoRedo>();
    g->SetUndoRedo(rec.get());
    EXPECT_EQ(rec->Grid(), g.get());
    rec.reset();
    EXPECT_EQ(g->UndoRedo(), nullptr);
    rec = std::make_unique<TZodUvuzUndoRedo>();
    g->SetUndoRedo(rec.get());
    g.reset();
    EXPECT_EQ(rec->Grid(), nullptr);
}

TEST(BaseGrid, DisplayTextEventsChangeWhatIsShownNotWhatIsStored)
{
    Grid g;
    g.SetCells(1, 1, "stored");
    g.OnGetDisplText = [](QObject*, int col, int row, QString& v) { v = QStringLiteral("%1@%2,%3").arg(v).arg(col).arg(row); };
    EXPECT_EQ(g.DisplayText(1, 1), "stored@1,1");
    EXPECT_EQ(g.Cells(1, 1), "stored");
    g.OnGetDisplWideText = [](QObject*, int, int, std::u16string& v) { v += u"\u00e4"; };
    EXPECT_EQ(g.DisplayText(1, 1), QStringLiteral("stored@1,1") + QChar(0xE4));
    // Rows at or beyond the limit get no events.
    g.SetDisplayTextRowLimit(1);
    EXPECT_EQ(g.DisplayText(1, 1), "stored");
    g.SetRowCount(9);
    EXPECT_EQ(g.DisplayTextRowLimit(), 9);
}

TEST(BaseGrid, ClearingDetachesAndFreeingDeletes)
{
    Grid g;
    TCellProperties* p = g.GetCellProperties(1, 1);
    g.SetCells(1, 1, "x");
    g.ClearCell(1, 1);
    EXPECT_FALSE(g.HasCellProperties(1, 1));
    EXPECT_EQ(g.Cells(1, 1), "");
    // Detached: the object now belongs to another cell.
    g.SetCellProperties(2, 2, p);
    EXPECT_EQ(g.GetCellProperties(2, 2), p);
    TCellProperties* q = g.GetCellProperties(3, 2);
    g.ClearRowCells(2);
    EXPECT_FALSE(g.HasCellProperties(3, 2));
    EXPECT_FALSE(g.HasCellProperties(2, 2));
    // Both were detached, not freed: their new owner (here the test) frees them.
    delete p;
    delete q;
    // Freeing deletes (ASan reports a leak or a double free otherwise).
    g.GetCellProperties(4, 4);
    g.GetCellProperties(5, 5);
    g.FreeCellProperties(4, 4, 5, 5);
    EXPECT_FALSE(g.HasCellProperties(4, 4));
    EXPECT_FALSE(g.HasCellProperties(5, 5));
}

// ------------------------------------------------------------------ painting

TEST(BaseGridPaint, LinesFixedCellsAndLineWidthZero)
{
    Grid g;
    g.show();
    g.FocusCell(5, 7, true);
    QImage img = g.PaintToImage();
    // Cell (1,1): x 64..127, y 24..47; its lines are its last column and row.
    EXPECT_EQ(px(img, 127, 35), 0xC0C0C0u);
    EXPECT_EQ(px(img, 90, 47), 0xC0C0C0u);
    EXPECT_EQ(px(img, 90, 35), rgbOf(gfx::clWindow, g));
    // Fixed cell (0,1): grey 0x808080 lines.
    EXPECT_EQ(px(img, 63, 35), 0x808080u);
    EXPECT_EQ(px(img, 30, 47), 0x808080u);

    g.SetGridLineColor(0x00FF00);
    g.SetGridLineWidth(2);
    img = g.PaintToImage();
    EXPECT_EQ(px(img, 126, 35), 0x00FF00u);
    EXPECT_EQ(px(img, 127, 35), 0x00FF00u);

    g.SetGridLineWidth(0);
    img = g.PaintToImage();
    EXPECT_EQ(px(img, 127, 35), rgbOf(gfx::clWindow, g));
    EXPECT_EQ(px(img, 90, 47), rgbOf(gfx::clWindow, g));
    EXPECT_EQ(px(img, 63, 35), 0x808080u) << "fixed cells keep their lines";
}

TEST(BaseGridPaint, GradientFromBrushToEndColour)
{
    Grid g;
    g.show();
    g.gradientCell = {2, 2};
    g.gradientTo = gfx::clBlue;
    QImage img = g.PaintToImage();
    // Cell (2,2): x 128..191, y 48..71.
    const QColor left = img.pixelColor(129, 60), right = img.pixelColor(189, 60);
    EXPECT_GT(left.red(), 230);
    EXPECT_LT(left.blue(), 25);
    EXPECT_GT(right.blue(), 220);
    EXPECT_LT(right.red(), 35);
    const QColor mid = img.pixelColor(160, 60);
    EXPECT_NEAR(mid.red(), 127, 12);
    EXPECT_NEAR(mid.blue(), 127, 12);
}

TEST(BaseGridPaint, AMergedRangeIsPaintedOnceWithItsTextCentred)
{
    Grid g;
    g.show();
    g.MergeCells(1, 1, 3, 2);   // x 64..255, y 24..71
    g.SetCellText(1, 1, "MMMM");
    g.FocusCell(5, 7, true);
    g.drawn.clear();
    QImage img = g.PaintToImage();
    EXPECT_EQ((g.drawn[{1, 1}]), 1);
    EXPECT_EQ((g.drawn[{2, 1}]), 0);
    EXPECT_EQ((g.drawn[{3, 2}]), 0);
    // No grid line inside the range.
    EXPECT_EQ(px(img, 127, 30), rgbOf(gfx::clWindow, g));
    EXPECT_EQ(px(img, 100, 47), rgbOf(gfx::clWindow, g));
    EXPECT_EQ(px(img, 255, 30), 0xC0C0C0u);
    // The text's dark pixels centre on the range.
    int minX = 10000, maxX = -1, minY = 10000, maxY = -1;
    for (int y = 24; y < 71; ++y)
        for (int x = 64; x < 254; ++x)
            if (qGray(img.pixel(x, y)) < 128) {
                minX = std::min(minX, x); maxX = std::max(maxX, x);
                minY = std::min(minY, y); maxY = std::max(maxY, y);
            }
    ASSERT_GE(maxX, 0) << "text drawn";
    if (qEnvironmentVariableIsSet("QLY_GRID_SHOT"))
        img.save(qEnvironmentVariable("QLY_GRID_SHOT"));
    EXPECT_NEAR((minX + maxX) / 2.0, 160, 3);
    EXPECT_NEAR((minY + maxY) / 2.0, 47.5, 4);
    // Scrolled so the base cell is out of view, a covered cell draws the range.
    g.drawn.clear();
    g.SetLeftCol(2);
    g.PaintToImage();
    EXPECT_EQ((g.drawn[{1, 1}]), 1);
}

TEST(BaseGridPaint, ActiveRowAndFooterRow)
{
    Grid g;
    g.show();
    g.FocusCell(1, 2, true);
    g.SetActiveRowShow(true);
    QImage img = g.PaintToImage();
    EXPECT_EQ(px(img, 150, 60), rgbOf(gfx::clInfoBk, g)) << "another cell of the current row";
    EXPECT_NE(px(img, 150, 30), rgbOf(gfx::clInfoBk, g));
    // A footer row is only filled with the grid's colour.
    g.SetLastRowIsFooter(true);
    g.SetRowCount(4);   // rows 0..3, the last at y 72..95
    img = g.PaintToImage();
    EXPECT_EQ(px(img, 127, 80), rgbOf(gfx::clWindow, g));
    EXPECT_EQ(px(img, 30, 95), rgbOf(gfx::clWindow, g));
}

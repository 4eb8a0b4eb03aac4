// Cell graphics: their layout, radio clicks, data check boxes, transparent bitmaps under the
// selection, progress cells without a number and the shared row check box.
#include "grid/ZodUvuz.h"
#include "platform/grid/GridColors.h"

#include <QApplication>
#include <QImage>
#include <gtest/gtest.h>

using namespace grid;

namespace {

struct Grid {
    TZedEzeravIvur g;
    Grid()
    {
        g.SetColCount(5);
        g.SetRowCount(8);
        for (int c = 0; c < 5; ++c)
            g.SetColWidths(c, 80);
        g.SetDefaultRowHeight(24);
        g.resize(420, 230);
    }
    TCellGraphic* add(int col, int row, TCellType type)
    {
        TCellGraphic* gr = g.CreateCellGraphic(col, row);
        gr->CellType = type;
        return gr;
    }
};

// An image list that the grid can refer to.
class ImageListObject : public QObject, public tk::TImageList {
public:
    ImageListObject() : tk::TImageList(16, 16) {}
};

} // namespace

TEST(GridGraphics, LayoutTable)
{
    Grid t;
    ImageListObject images;
    QImage img(16, 16, QImage::Format_RGB32);
    img.fill(Qt::red);
    images.Add(img);
    struct Case {
        TCellType type;
        bool withImages;
        QSize size;
        bool textVisible;
    } cases[] = {
        {ctBitmap, false, QSize(10, 7), true},      {ctCheckBox, false, QSize(15, 15), true},
        {ctDataCheckBox, false, QSize(15, 15), false}, {ctVirtCheckBox, false, QSize(15, 15), false},
        {ctRadio, false, QSize(0, 0), false},       {ctProgress, false, QSize(0, 0), false},
        {ctRotated, false, QSize(0, 0), false},     {ctImageList, false, QSize(0, 0), true},
        {ctImageList, true, QSize(16, 16), true},   {ctDataImage, true, QSize(16, 16), false},
        {ctDataImage, false, QSize(0, 0), true},    {ctProgressPie, false, QSize(20, 20), true},
        {ctButton, false, QSize(30, 12), true},     {ctImages, true, QSize(48, 16), true},
        {ctComment, false, QSize(0, 0), true},
    };
    for (const Case& c : cases) {
        t.g.SetGridImages(c.withImages ? &images : nullptr);
        TCellGraphic* gr = t.add(1, 1, c.type);
        gr->Picture = QImage(10, 7, QImage::Format_RGB32);
        gr->CellIndex = c.type == ctButton ? (30 | (12 << 16)) : 0;
        gr->Images = {0, 0, 0};
        gr->CellBoolean = true;
        TCellVAlign va;
        TCellHAlign ha;
        bool visible = true;
        int w = -1, h = -1;
        EXPECT_EQ(t.g.GetCellGraphicLayout(1, 1, va, ha, visible, h, w), gr);
        EXPECT_EQ(QSize(w, h), c.size) << int(c.type);
        EXPECT_EQ(visible, c.textVisible) << int(c.type);
    }
    EXPECT_TRUE(t.g.RemoveCellGraphicOfKind(1, 1, ctComment));
    EXPECT_FALSE(t.g.RemoveCellGraphic(1, 1));
    EXPECT_EQ(t.g.GetCellType(1, 1), ctEmpty);
    EXPECT_EQ(t.g.GetCellType(-1, 1), ctEmpty);
}

TEST(GridGraphics, SizesForAutoSizingAndPrinting)
{
    Grid t;
    t.g.SetColWidths(1, 90);
    t.g.SetRowHeights(1, 30);
    TCellGraphic* gr = t.add(1, 1, ctBitmap);
    gr->Picture = QImage(10, 7, QImage::Format_RGB32);
    QSize s;
    // A bitmap beside no text counts whole; over a text (default alignments) it adds nothing.
    t.g.CellGraphicSize(1, 1, s);
    EXPECT_EQ(s, QSize(10, 7));
    t.g.SetCells(1, 1, QStringLiteral("Text"));
    t.g.CellGraphicSize(1, 1, s);
    EXPECT_EQ(s, QSize(0, 0));
    gr->CellHAlign = haBeforeText;
    t.g.CellGraphicSize(1, 1, s);
    EXPECT_EQ(s, QSize(10, 0));
    gr->CellVAlign = vaFull;
    t.g.CellGraphicSize(1, 1, s);
    EXPECT_EQ(s, QSize(10, 30));
    // Printing counts bitmaps whole and has no whole-cell alignment.
    t.g.CellGraphicSizeScaled(1, 1, s, 2.0, 100, 100);
    EXPECT_EQ(s, QSize(10, 7));
    // A stretched picture fills the available area less its margin, divided by the scale.
    gr->CellType = ctPicture;
    gr->Picture = QImage(40, 20, QImage::Format_RGB32);
    gr->CellAngle = 1;
    gr->CellIndex = 4;
    t.g.CellGraphicSizeScaled(1, 1, s, 2.0, 104, 204);
    EXPECT_EQ(s, QSize(100, 50));
    gr->CellType = ctProgress;
    t.g.CellGraphicSizeScaled(1, 1, s, 2.0, 100, 100);
    EXPECT_EQ(s, QSize(90, 30));
}

TEST(GridGraphics, RotatedTextRunsUpwards)
{
    Grid t;
    t.g.SetRowHeights(1, 90);
    t.g.SetCells(1, 1, QStringLiteral("Drehung"));
    t.add(1, 1, ctRotated)->CellAngle = 90;
    t.g.SetRow(3);
    const QImage img = t.g.PaintToImage();
    img.save(QStringLiteral("/tmp/gridpaint-rotated.png"));
    const QRect r = t.g.CellRect(1, 1);
    QRect ink;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (qGray(img.pixel(x, y)) < 100)
                ink |= QRect(x, y, 1, 1);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_GT(ink.height(), 2 * ink.width());
    EXPECT_GT(ink.height(), QFontMetrics(t.g.font()).horizontalAdvance(QStringLiteral("Drehung")) - 6);
}

TEST(GridGraphics, RadioClicksInsideAndOnABoundary)
{
    Grid t;
    TCellGraphic* gr = t.add(2, 2, ctRadio);
    gr->Options = {QStringLiteral("eins"), QStringLiteral("zwei"), QStringLiteral("drei")};
    gr->CellIndex = -1;
    gr->CellBoolean = true; // side by side
    int clicked = -2;
    t.g.OnRadioClick = [&](QObject*, int, int, int idx) { clicked = idx; };
    const QFontMetrics fm(t.g.font());
    const int end0 = fm.horizontalAdvance(QStringLiteral("eins")) + 16; // item size 16 for csWinXP
    t.g.ClickRadioItem(2, 2, 5, end0 + 3);
    EXPECT_EQ(clicked, 1);
    EXPECT_EQ(t.g.Cells(2, 2), QStringLiteral("zwei"));
    clicked = -2;
    t.g.ClickRadioItem(2, 2, 5, end0); // exactly on the boundary: neither item
    EXPECT_EQ(clicked, -2);
    EXPECT_EQ(t.g.Cells(2, 2), QStringLiteral("zwei"));

    // Stacked, with an index: the item under Y is chosen, the text stays.
    gr->CellBoolean = false;
    gr->CellIndex = 0;
    const int h = std::max(16, fm.height());
    t.g.ClickRadioItem(2, 2, 2 * h + 1, 4);
    EXPECT_EQ(gr->CellIndex, 2);
    EXPECT_EQ(t.g.Cells(2, 2), QStringLiteral("zwei"));
}

TEST(GridGraphics, DataCheckBoxReadsYAndShowsNoText)
{
    Grid t;
    t.add(1, 1, ctDataCheckBox);
    t.add(1, 2, ctDataCheckBox);
    t.g.SetCells(1, 1, QStringLiteral("Y"));
    t.g.SetCells(1, 2, QStringLiteral("WWWWWW"));
    bool state = false;
    ASSERT_TRUE(t.g.GetCheckBoxState(1, 1, state));
    EXPECT_TRUE(state);
    ASSERT_TRUE(t.g.GetCheckBoxState(1, 2, state));
    EXPECT_FALSE(state);
    const QImage img = t.g.PaintToImage();
    img.save(QStringLiteral("/tmp/gridpaint-checks.png"));
    // Beside the box the cell stays empty.
    const QRect r = t.g.CellRect(1, 2);
    const QRect rest(r.left() + 20, r.top() + 1, r.width() - 24, r.height() - 3);
    for (int y = rest.top(); y <= rest.bottom(); ++y)
        for (int x = rest.left(); x <= rest.right(); ++x)
            ASSERT_EQ(img.pixel(x, y) | 0xFF000000u, 0xFFFFFFFFu) << x << "," << y;
    // Checked and unchecked boxes differ.
    EXPECT_NE(img.copy(t.g.CellRect(1, 1)), img.copy(t.g.CellRect(1, 2)));
}

TEST(GridGraphics, TransparentBitmapInSelectedRowShowsSelectionColour)
{
    Grid t;
    t.g.SetGridOptions(t.g.GridOptions() | tk::goRowSelect);
    QImage bmp(8, 8, QImage::Format_RGB32);
    bmp.fill(qRgb(255, 0, 255));
    bmp.setPixel(4, 4, qRgb(0, 0, 0));
    TCellGraphic* gr = t.add(2, 3, ctBitmap);
    gr->Picture = bmp;
    gr->CellTransparent = true;
    t.g.SetRow(3); // the selected row; the grid has no focus

    const QImage img = t.g.PaintToImage();
    const QRect r = t.g.CellRect(2, 3);
    // haLeft / vaTop: the bitmap starts one pixel inside the cell's content.
    const QColor expected = tk::ToQColor(0xEACAB6, QApplication::palette());
    EXPECT_EQ(QColor(img.pixel(r.left() + 2, r.top() + 2)), expected);
    EXPECT_EQ(QColor(img.pixel(r.left() + 2 + 4, r.top() + 2 + 4)), QColor(Qt::black));
}

TEST(GridGraphics, ProgressCellWithoutNumberDrawsNothing)
{
    Grid t;
    t.add(1, 1, ctProgress);
    t.add(1, 2, ctProgress);
    t.g.SetCells(1, 1, QStringLiteral("abc"));
    t.g.SetCells(1, 2, QStringLiteral("40"));
    t.g.SetRow(5);
    QImage img;
    EXPECT_NO_THROW(img = t.g.PaintToImage());
    const QRect r1 = t.g.CellRect(1, 1), r3 = t.g.CellRect(1, 3);
    EXPECT_EQ(img.copy(r1), img.copy(r3)); // like an empty cell
    EXPECT_NE(img.copy(t.g.CellRect(1, 2)), img.copy(r3));
}

TEST(GridGraphics, ProgressFormatMustBeOneIntegerConversion)
{
    // A cell's format is handed to printf with an integer: anything else shows "value%".
    Grid a, b;
    for (Grid* t : {&a, &b}) {
        t->add(1, 1, ctProgress)->CellErrLen = 100;
        t->g.SetCells(1, 1, QStringLiteral("40"));
        t->g.SetRow(5);
    }
    a.g.GetCellGraphic(1, 1)->CellText = QStringLiteral("%s%s%n");
    const QRect r = a.g.CellRect(1, 1);
    EXPECT_EQ(a.g.PaintToImage().copy(r), b.g.PaintToImage().copy(r));
    a.g.GetCellGraphic(1, 1)->CellText = QStringLiteral("%d Stück");
    EXPECT_NE(a.g.PaintToImage().copy(r), b.g.PaintToImage().copy(r));
}

TEST(GridGraphics, SharedRowCheckBoxSurvivesRemoval)
{
    Grid t;
    t.g.MouseActions()->SetHotmailRowSelect(true);
    t.g.MouseActions()->SetDisjunctRowSelect(true);
    TCellGraphic* shared = t.g.GetCellGraphicObject(0, 2);
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->CellType, ctRowCheckBox);
    EXPECT_EQ(t.g.GetCellType(0, 2), ctRowCheckBox);
    EXPECT_FALSE(t.g.RemoveCellGraphic(0, 2));
    t.g.CreateCellGraphic(0, 2);
    EXPECT_TRUE(t.g.RemoveCellGraphic(0, 2));
    t.g.FreeCellProperties(0, 2);
    t.g.SetRowSelected(2, true);
    // Still the same object, refreshed from the row mark (ASan catches a freed one).
    EXPECT_EQ(t.g.GetCellGraphicObject(0, 2), shared);
    EXPECT_TRUE(shared->CellBoolean);
    EXPECT_NO_THROW(t.g.PaintToImage());
}

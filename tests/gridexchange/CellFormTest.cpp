// The private cell form: cells with their properties and graphics between grids.
#include "ExchangeFixture.h"

#include "grid/GridStartup.h"
#include "grid/GridTypes.h"
#include "platform/grid/ObjectStream.h"
#include "platform/grid/WinCompat.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <gtest/gtest.h>

using namespace xtest;

namespace {

struct Grid : grid::TZedEzeravIvur {
    QPoint origin{-2, -2};
    tk::TGridRect target{-2, -2, -2, -2};
    void CellsPasted(QPoint o, const tk::TGridRect& t, bool) override { origin = o; target = t; }
};

std::unique_ptr<Grid> fmtGrid(int cols, int rows)
{
    auto g = std::make_unique<Grid>();
    g->SetColCount(cols);
    g->SetRowCount(rows);
    g->SetGridOptions(g->GridOptions() | tk::goEditing);
    g->Navigation()->AllowFmtClipboard = true;
    return g;
}

QImage testImage(QRgb a, QRgb b)
{
    QImage img(3, 2, QImage::Format_ARGB32);
    img.fill(a);
    img.setPixel(1, 1, b);
    return img;
}

void addGraphic(grid::TZedEzeravIvur& g, int c, int r, grid::TCellType type, const std::function<void(grid::TCellGraphic&)>& fill)
{
    auto gr = std::make_unique<grid::TCellGraphic>();
    gr->CellType = type;
    fill(*gr);
    g.SetCellGraphic(c, r, std::move(gr));
}

QByteArray block(grid::TZedEzeravIvur& g, const tk::TGridRect& range)
{
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    g.WriteCellsToStream(range, buf);
    return buf.data();
}

} // namespace

TEST(CellForm, CarriesPropertiesAndGraphicsToAnotherGrid)
{
    auto a = fmtGrid(4, 4);
    a->SetCells(1, 1, "coloured");
    grid::TCellProperties* p = a->GetCellProperties(1, 1);
    p->SetBrushColor(0x00FF00);
    p->FontColor = 0x0000FF;
    p->FontName = "DejaVu Serif";
    p->FontSize = 14;
    p->FontStyle = 1;
    p->Alignment = grid::taCenter;
    p->SetVAlignment(grid::vtaBottom);
    p->ReadOnly = true;
    addGraphic(*a, 2, 1, grid::ctCheckBox, [](grid::TCellGraphic& g) { g.CellBoolean = true; });
    addGraphic(*a, 1, 2, grid::ctRadio, [](grid::TCellGraphic& g) {
        g.Options = {"eins", "zwei"};
        g.CellIndex = 1;
        g.CellCreated = true;
    });
    addGraphic(*a, 2, 2, grid::ctBitmap, [](grid::TCellGraphic& g) {
        g.Picture = testImage(qRgb(1, 2, 3), qRgb(200, 100, 50));
        g.CellCreated = true;
    });
    addGraphic(*a, 3, 2, grid::ctPicture, [](grid::TCellGraphic& g) {
        g.Picture = testImage(qRgba(9, 8, 7, 128), qRgb(0, 0, 255));
        g.CellCreated = true;
    });
    a->SetSelection(tk::TGridRect{1, 1, 3, 2});
    a->CopyToClipboard();
    EXPECT_EQ(grid::TZedEzeravIvur::CellFormMime(), "application/x-qt-windows-mime;value=\"TZedEzeravIvur Cells\"");
    EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat(grid::TZedEzeravIvur::CellFormMime()));

    auto b = fmtGrid(6, 6);
    EXPECT_EQ(b->PasteFromClipboardAt(2, 3), 6);
    EXPECT_EQ(b->origin, QPoint(-1, -1));
    EXPECT_EQ(b->target, (tk::TGridRect{2, 3, 4, 4}));
    EXPECT_EQ(b->Cells(2, 3), "coloured");
    const grid::TCellProperties* q = b->CellPropertiesOrNull(2, 3);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->BrushColor(), 0x00FF00u);
    EXPECT_EQ(q->FontColor, 0x0000FFu);
    EXPECT_EQ(q->FontName, "DejaVu Serif");
    EXPECT_EQ(q->FontSize, 14);
    EXPECT_EQ(q->FontStyle, 1);
    EXPECT_EQ(q->Alignment, grid::taCenter);
    EXPECT_EQ(q->VAlignment(), grid::vtaBottom);
    EXPECT_TRUE(q->ReadOnly);
    ASSERT_NE(b->GetCellGraphic(3, 3), nullptr);
    EXPECT_EQ(b->GetCellGraphic(3, 3)->CellType, grid::ctCheckBox);
    EXPECT_TRUE(b->GetCellGraphic(3, 3)->CellBoolean);
    ASSERT_NE(b->GetCellGraphic(2, 4), nullptr);
    EXPECT_EQ(b->GetCellGraphic(2, 4)->Options, QStringList({"eins", "zwei"}));
    EXPECT_EQ(b->GetCellGraphic(2, 4)->CellIndex, 1);
    ASSERT_NE(b->GetCellGraphic(3, 4), nullptr);
    EXPECT_EQ(b->GetCellGraphic(3, 4)->Picture.convertToFormat(QImage::Format_ARGB32),
              testImage(qRgb(1, 2, 3), qRgb(200, 100, 50)));
    ASSERT_NE(b->GetCellGraphic(4, 4), nullptr);
    EXPECT_EQ(b->GetCellGraphic(4, 4)->Picture.convertToFormat(QImage::Format_ARGB32),
              testImage(qRgba(9, 8, 7, 128), qRgb(0, 0, 255)));

    // Pasted into its own grid, the copy origin comes along.
    EXPECT_EQ(a->PasteFromClipboardAt(0, 0), 6);
    EXPECT_EQ(a->origin, QPoint(1, 1));
}

TEST(CellForm, BlocksLandWhereTheyArePasted)
{
    // An empty top-left cell and an empty text after "abc".
    auto a = fmtGrid(4, 4);
    a->SetCells(2, 1, "abc");
    a->GetCellProperties(3, 1)->SetBrushColor(0x123456);
    QBuffer buf;
    buf.setData(block(*a, tk::TGridRect{1, 1, 3, 1}));
    buf.open(QIODevice::ReadOnly);
    auto b = fmtGrid(6, 6);
    b->SetCells(3, 3, "old");
    b->ReadCellsFromStream(QPoint(0, 3), buf);
    EXPECT_EQ(row(*b, 3), QStringList({"", "abc", "", "old", "", ""}));
    ASSERT_NE(b->CellPropertiesOrNull(2, 3), nullptr);
    EXPECT_EQ(b->CellPropertiesOrNull(2, 3)->BrushColor(), 0x123456u);

    // A row past 65,535 keeps its place.
    auto big = fmtGrid(2, 70001);
    big->SetCells(1, 70000, "far");
    buf.close();
    buf.setData(block(*big, tk::TGridRect{1, 69999, 1, 70000}));
    buf.open(QIODevice::ReadOnly);
    auto c = fmtGrid(2, 4);
    c->ReadCellsFromStream(QPoint(1, 1), buf);
    EXPECT_EQ(column(*c, 1), QStringList({"", "", "far", ""}));
}

TEST(CellForm, FullGridComesBackInPlace)
{
    auto a = fmtGrid(3, 3);
    a->StoreFixedCells = false;
    a->SetFixedRows(1);
    a->SetFixedCols(1);
    a->SetCells(0, 0, "corner");
    a->SetCells(1, 1, "x");
    a->SetCells(2, 2, "y");
    a->SetColWidths(2, 77);
    a->SetRowHeights(2, 33);
    QBuffer buf;
    buf.setData(block(*a, tk::TGridRect{1, 1, 2, 2}));
    buf.open(QIODevice::ReadOnly);
    auto b = fmtGrid(5, 5);
    b->SetFixedRows(1);
    b->SetFixedCols(1);
    b->SetCells(4, 4, "gone");
    const tk::TGridRect placed = b->ReadCellsFromStream(QPoint(3, 3), buf);
    EXPECT_EQ(placed, (tk::TGridRect{1, 1, 2, 2}));
    EXPECT_EQ(b->ColCount(), 3);
    EXPECT_EQ(b->RowCount(), 3);
    EXPECT_EQ(b->FixedRows(), 1);
    EXPECT_EQ(b->FixedCols(), 1);
    EXPECT_EQ(b->Cells(1, 1), "x");
    EXPECT_EQ(b->Cells(2, 2), "y");
    EXPECT_EQ(b->ColWidths(2), 77);
    EXPECT_EQ(b->RowHeights(2), 33);
}

TEST(CellForm, DamagedBlocksNeverCrash)
{
    auto a = fmtGrid(3, 3);
    a->SetCells(0, 0, "a");
    a->GetCellProperties(1, 1)->FontName = "Serif";
    addGraphic(*a, 2, 2, grid::ctBitmap, [](grid::TCellGraphic& g) {
        g.Picture = testImage(qRgb(1, 1, 1), qRgb(2, 2, 2));
        g.CellCreated = true;
    });
    const QByteArray whole = block(*a, tk::TGridRect{0, 0, 2, 2});
    for (qsizetype n = 0; n < whole.size(); ++n) {
        auto b = fmtGrid(3, 3);
        QBuffer buf;
        buf.setData(whole.left(n));
        buf.open(QIODevice::ReadOnly);
        try {
            b->ReadCellsFromStream(QPoint(0, 0), buf);
        } catch (const std::exception&) {
        }
    }

    // A header of 2^31 rows raises before anything changes.
    auto b = fmtGrid(3, 3);
    b->SetCells(1, 1, "kept");
    QByteArray bad = block(*a, tk::TGridRect{0, 0, 0, 0});
    {
        QBuffer in;
        in.setData(bad);
        in.open(QIODevice::ReadOnly);
        qsizetype pos = 0;
        std::unique_ptr<QObject> header(tk::ReadComponent(bad, pos));
        header->setProperty("RowCount", int(0x7FFFFFFF));
        header->setProperty("FullGrid", true);
        bad = tk::WriteComponent(header.get()) + bad.mid(pos);
    }
    QBuffer buf;
    buf.setData(bad);
    buf.open(QIODevice::ReadOnly);
    EXPECT_THROW(b->ReadCellsFromStream(QPoint(0, 0), buf), grid::EZodUvuzError);
    EXPECT_EQ(b->RowCount(), 3);
    EXPECT_EQ(b->Cells(1, 1), "kept");
}

TEST(CellForm, GraphicWithoutItsOwnObjectIsLeftOut)
{
    auto a = fmtGrid(2, 2);
    addGraphic(*a, 1, 1, grid::ctBitmap, [](grid::TCellGraphic& g) { g.Picture = testImage(1, 2); });
    a->SetCells(0, 1, "after");
    QBuffer buf;
    buf.setData(block(*a, tk::TGridRect{0, 1, 1, 1}));
    buf.open(QIODevice::ReadOnly);
    auto b = fmtGrid(2, 2);
    b->ReadCellsFromStream(QPoint(0, 0), buf);
    EXPECT_EQ(b->Cells(0, 0), "after");
    ASSERT_NE(b->CellPropertiesOrNull(1, 0), nullptr);
    EXPECT_EQ(b->GetCellGraphic(1, 0), nullptr);
}

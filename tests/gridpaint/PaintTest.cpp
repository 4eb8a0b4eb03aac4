// Painting of a real string grid: colours, alignment, text kinds, measuring, marks, background,
// update count and rich-text cells.
#include "grid/GridSearchBar.h"
#include "grid/GridUtils.h"
#include "grid/VOdoZozaRere.h"
#include "grid/ZodUvuz.h"
#include "grid/richtext/RichText.h"
#include "platform/graphics/VisualStyles.h"
#include "platform/grid/GridColors.h"

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QTextDocument>
#include <gtest/gtest.h>

using namespace grid;

namespace {

QRgb rgbOf(TColor c) { return tk::ToQColor(c, QApplication::palette()).rgb() | 0xFF000000u; }

// A grid of 5 x 8 cells of 64 x 24 pixels, one fixed row and column.
struct Grid {
    TZedEzeravIvur g;
    Grid()
    {
        g.SetColCount(5);
        g.SetRowCount(8);
        for (int c = 0; c < 5; ++c)
            g.SetColWidths(c, 64);
        g.SetDefaultRowHeight(24);
        g.resize(360, 230);
    }
    QImage paint() { return g.PaintToImage(); }
    // The middle pixel of a cell's right part (away from its text).
    QRgb cellColor(const QImage& img, int col, int row)
    {
        const QRect r = g.CellRect(col, row);
        return img.pixel(r.right() - 4, r.center().y()) | 0xFF000000u;
    }
    int countColor(const QImage& img, const QRect& r, QRgb rgb)
    {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                n += (img.pixel(x, y) | 0xFF000000u) == rgb;
        return n;
    }
    // Pixels clearly darker than the background.
    int countDark(const QImage& img, const QRect& r)
    {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                n += qGray(img.pixel(x, y)) < 100;
        return n;
    }
};

void save(const QImage& img, const char* name)
{
    if (qEnvironmentVariableIsSet("QLY_SHOTS"))
        img.save(QStringLiteral("/tmp/gridpaint-%1.png").arg(QLatin1String(name)));
}

} // namespace

TEST(GridPaintColors, CellColoursTable)
{
    Grid t;
    TZedEzeravIvur& g = t.g;
    g.SetLook(glStandard); // fixed cells plain, without the gradient look
    g.SetFixedFooters(1);
    g.Bands()->SetActive(true);
    g.Bands()->SetPrimaryColor(0x00FFFF);
    g.Bands()->SetSecondaryColor(0xFF00FF);
    g.Bands()->SetPrimaryLength(2);
    g.Bands()->SetSecondaryLength(1);
    // A cell of the fixed row with a colour of its own keeps it.
    g.GetCellProperties(2, 0)->SetBrushColor(0x00FF00);
    g.SetRow(1);
    g.SetCol(1);
    const QImage img = t.paint();
    save(img, "colours");
    EXPECT_EQ(t.cellColor(img, 2, 0), rgbOf(0x00FF00));
    EXPECT_NE(t.cellColor(img, 3, 0), rgbOf(0x00FF00));
    // Bands count from the first normal row: 2 primary, 1 secondary; the footer row is fixed.
    const QRgb bands[] = {rgbOf(0x00FFFF), rgbOf(0x00FFFF), rgbOf(0xFF00FF), rgbOf(0x00FFFF), rgbOf(0x00FFFF),
                          rgbOf(0xFF00FF)};
    for (int r = 1; r <= 6; ++r)
        EXPECT_EQ(t.cellColor(img, 3, r), bands[r - 1]) << "row " << r;
    EXPECT_EQ(t.cellColor(img, 3, 7), rgbOf(g.GridFixedColor()));
}

TEST(GridPaintColors, SelectedUnfocusedCellWithoutSelectionColourIsHighlight)
{
    Grid t;
    t.g.SetSelectionColor(gfx::clNone);
    t.g.SetSelection(tk::TGridRect{1, 1, 2, 2});
    const QImage img = t.paint();
    EXPECT_EQ(t.cellColor(img, 2, 2), rgbOf(gfx::clHighlight));
    EXPECT_EQ(t.cellColor(img, 3, 3), rgbOf(t.g.Color()));

    Grid u;
    u.g.SetSelection(tk::TGridRect{1, 1, 2, 2});
    const QImage img2 = u.paint();
    EXPECT_EQ(u.cellColor(img2, 2, 2), rgbOf(0xEACAB6));
}

TEST(GridPaintColors, AutoNumAlign)
{
    GridLocale german;
    german.decimalSeparator = QLatin1Char(',');
    german.thousandSeparator = QLatin1Char('.');
    const GridLocale old = CurrentGridLocale();
    SetGridLocale(german);
    Grid t;
    t.g.AutoNumAlign = true;
    struct {
        const char* text;
        TAlignment align;
    } cases[] = {{"1234", taRightJustify}, {"12,5", taRightJustify}, {"=1+2", taLeftJustify}, {"abc", taLeftJustify}};
    for (const auto& c : cases) {
        t.g.SetCells(1, 1, QString::fromLatin1(c.text));
        TAlignment h = taCenter;
        TVAlignment v = vtaBottom;
        t.g.ResolveCellAlignment(1, 1, h, v);
        EXPECT_EQ(h, c.align) << c.text;
        EXPECT_EQ(v, vtaTop);
    }
    // The cell's own alignment wins.
    t.g.SetCells(1, 1, QStringLiteral("1234"));
    t.g.GetCellProperties(1, 1)->Alignment = taCenter;
    TAlignment h = taLeftJustify;
    TVAlignment v = vtaTop;
    t.g.ResolveCellAlignment(1, 1, h, v);
    EXPECT_EQ(h, taCenter);
    SetGridLocale(old);
}

TEST(GridPaintMeasure, MeasureCellTextTable)
{
    Grid a, b;
    a.g.Multilinecells = true;
    for (Grid* t : {&a, &b})
        t->g.SetCells(1, 1, QStringLiteral("eins\rzwei\rdrei"));
    QSize sa, sb;
    a.g.MeasureCellText(1, 1, sa, false);
    b.g.MeasureCellText(1, 1, sb, false);
    const QFontMetrics fm(a.g.font());
    EXPECT_EQ(sa.height(), 3 * fm.height() + 4);
    EXPECT_EQ(sb.height(), fm.height() + 4);

    // URLs lose their scheme while it is not shown in full.
    Grid u;
    u.g.SetURLShow(true);
    u.g.SetCells(1, 1, QStringLiteral("http://example.de"));
    u.g.SetCells(2, 1, QStringLiteral("example.de"));
    QSize s1, s2;
    u.g.MeasureCellText(1, 1, s1, false);
    u.g.MeasureCellText(2, 1, s2, false);
    EXPECT_EQ(s1, s2);
    u.g.SetURLFull(true);
    u.g.MeasureCellText(1, 1, s1, false);
    EXPECT_GT(s1.width(), s2.width());

    // Mini-HTML is measured without its tags; rich text by its formatted content.
    Grid h;
    h.g.SetCells(1, 1, QStringLiteral("<B>Wort</B>"));
    h.g.SetCells(2, 1, QStringLiteral("Wort"));
    h.g.SetCells(3, 1, QStringLiteral("{\\rtf1 {\\b Wort} und mehr}"));
    QSize sh, sp, sr;
    h.g.MeasureCellText(1, 1, sh, false);
    h.g.MeasureCellText(2, 1, sp, false);
    h.g.MeasureCellText(3, 1, sr, false);
    QFont bold = h.g.font();
    bold.setBold(true);
    EXPECT_NEAR(sh.width(), QFontMetrics(bold).horizontalAdvance(QStringLiteral("Wort")) + 6, 2);
    EXPECT_LT(sh.width(), 80);
    // Rich text wraps at the column with the grid's word wrap (RTF's default size is 12 points).
    QSize srLong;
    h.g.SetWordWrap(false);
    h.g.MeasureCellText(3, 1, srLong, false);
    EXPECT_GT(srLong.width(), sp.width() * 2);
    EXPECT_GT(sr.height(), srLong.height());
    EXPECT_LE(sr.width(), 64);

    // A 90 degree turn swaps the sides and adds 12.
    h.g.SetCells(2, 2, QStringLiteral("Wort"));
    auto gr = std::make_unique<TCellGraphic>();
    gr->CellType = ctRotated;
    gr->CellAngle = 90;
    h.g.SetCellGraphic(2, 2, std::move(gr));
    QSize sturn;
    h.g.MeasureCellText(2, 2, sturn, false);
    EXPECT_EQ(sturn, QSize(sp.height() + 12, sp.width() + 12));
}

TEST(GridPaintText, FontZoomNeverGoesBelowOnePoint)
{
    Grid t;
    t.g.SetCells(1, 1, QStringLiteral("Wort"));
    QSize normal, tiny;
    t.g.MeasureCellText(1, 1, normal, false);
    t.g.FontZoom = -100;
    t.g.MeasureCellText(1, 1, tiny, false);
    EXPECT_LT(tiny.width(), normal.width());
    EXPECT_GT(tiny.width(), 4); // a 1-point font still has width
    QFont one = t.g.font();
    one.setPointSizeF(1);
    EXPECT_EQ(tiny.width(), QFontMetrics(one).horizontalAdvance(QStringLiteral("Wort")) + 4);
    EXPECT_NO_THROW(t.paint());
}

TEST(GridPaintText, PasswordCellShowsStars)
{
    Grid a, b;
    a.g.SetCells(1, 1, QStringLiteral("geheim"));
    a.g.OnIsPasswordCell = [](QObject*, int row, int col, bool& pw) { pw = col == 1 && row == 1; };
    b.g.SetCells(1, 1, QStringLiteral("******"));
    const QRect r = a.g.CellRect(1, 1);
    EXPECT_EQ(a.paint().copy(r), b.paint().copy(r));
    a.g.OnIsPasswordCell = nullptr;
    EXPECT_NE(a.paint().copy(r), b.paint().copy(r));
}

TEST(GridPaintText, MultilineOnlyInItsGrid)
{
    Grid a, b;
    a.g.Multilinecells = true;
    for (Grid* t : {&a, &b}) {
        t->g.SetWordWrap(false);
        t->g.SetRowHeights(1, 60);
        t->g.SetCells(1, 1, QStringLiteral("ab\rcd"));
    }
    const QImage ia = a.paint(), ib = b.paint();
    save(ia, "multiline");
    QRect second = a.g.CellRect(1, 1);
    second.setTop(second.top() + 4 + QFontMetrics(a.g.font()).height());
    second.setBottom(second.top() + QFontMetrics(a.g.font()).height() - 2);
    EXPECT_GT(a.countDark(ia, second), 5);
    EXPECT_EQ(b.countDark(ib, second), 0);
}

TEST(GridPaintMarks, SortIndicatorFocusAndResizer)
{
    Grid a, b;
    for (Grid* t : {&a, &b})
        t->g.SetCells(2, 0, QStringLiteral("Name"));
    a.g.SortSettings()->SetShow(true);
    a.g.SortSettings()->Column = 2;
    const QImage ia = a.paint(), ib = b.paint();
    save(ia, "sort");
    const QRect header = a.g.CellRect(2, 0);
    // The mark sits 10 pixels after the text: white and grey strokes where b has none.
    const QRect markArea(header.left() + 2 + QFontMetrics(a.g.FixedFont().Font()).horizontalAdvance(QStringLiteral("Name")) + 4,
                         header.top() + 2, 14, 14);
    EXPECT_GT(a.countColor(ia, markArea, qRgb(0x80, 0x80, 0x80)), 3);
    EXPECT_EQ(b.countColor(ib, markArea, qRgb(0x80, 0x80, 0x80)), 0);

    // The selection rectangle with its resizer: a black square at the bottom-right corner.
    Grid s;
    s.g.SetSelectionRectangle(true);
    s.g.SetSelectionResizer(true);
    s.g.SetSelection(tk::TGridRect{1, 1, 2, 3});
    const QImage is = s.paint();
    save(is, "resizer");
    const QRect corner = s.g.CellRect(2, 3);
    EXPECT_EQ(s.countColor(is, QRect(corner.right() - 4, corner.bottom() - 4, 3, 3), qRgb(0, 0, 0)), 9);
    const QRect inner = s.g.CellRect(1, 1);
    EXPECT_EQ(s.countColor(is, QRect(inner.right() - 4, inner.bottom() - 4, 3, 3), qRgb(0, 0, 0)), 0);

    // The focus rectangle of the current cell while the grid has the focus.
    Grid f;
    f.g.show();
    f.g.activateWindow();
    f.g.setFocus();
    QApplication::processEvents();
    if (!f.g.hasFocus())
        GTEST_SKIP() << "no keyboard focus on this platform";
    f.g.SetCol(2);
    f.g.SetRow(2);
    const QImage iff = f.paint();
    f.g.HideFocusRect = true;
    const QImage inof = f.paint();
    const QRect cur = f.g.CellRect(2, 2);
    EXPECT_NE(iff.copy(cur), inof.copy(cur));
}

TEST(GridPaintMarks, SizingLineDrawnTwiceIsGone)
{
    Grid t;
    const QImage before = t.paint();
    t.g.DrawColumnSizingLine(100);
    const QImage with = t.paint();
    EXPECT_NE(before, with);
    t.g.DrawColumnSizingLine(100);
    EXPECT_EQ(before, t.paint());
}

TEST(GridPaintBackground, TileContinuesAcrossCellsAndSkipsFixedCells)
{
    Grid t;
    t.g.SetGridLineWidth(0);
    // A 16 x 16 tile: one red pixel at (5, 7), the rest white.
    QImage tile(16, 16, QImage::Format_RGB32);
    tile.fill(Qt::white);
    tile.setPixel(5, 7, qRgb(255, 0, 0));
    t.g.BackGround()->SetBitmap(tile);
    const QImage img = t.paint();
    save(img, "tile");
    // Red pixels inside the normal cells lie on one 16-pixel lattice.
    const QRect normal(t.g.CellRect(1, 1).topLeft(), t.g.CellRect(4, 7).bottomRight());
    int red = 0;
    QPoint first(-1, -1);
    for (int y = normal.top(); y <= normal.bottom(); ++y)
        for (int x = normal.left(); x <= normal.right(); ++x)
            if ((img.pixel(x, y) | 0xFF000000u) == qRgb(255, 0, 0)) {
                if (first.x() < 0)
                    first = QPoint(x, y);
                EXPECT_EQ((x - first.x()) % 16, 0) << x << "," << y;
                EXPECT_EQ((y - first.y()) % 16, 0) << x << "," << y;
                ++red;
            }
    EXPECT_GT(red, 30);
    const QRect fixedRow(t.g.CellRect(0, 0).topLeft(), t.g.CellRect(4, 0).bottomRight());
    EXPECT_EQ(t.countColor(img, fixedRow, qRgb(255, 0, 0)), 0);
}

TEST(GridPaintBackground, OneGradientOverTheGrid)
{
    Grid t;
    t.g.SetGridLineWidth(0);
    t.g.BackGround()->SetDisplay(bdGradientHorz);
    t.g.BackGround()->SetColor(0x000000);
    t.g.BackGround()->SetColorTo(0xFFFFFF);
    const QImage img = t.paint();
    save(img, "gradient");
    // Brightness grows from cell to cell along a row, without steps back at the cell edges.
    const int y = t.g.CellRect(1, 3).center().y();
    int last = -1;
    for (int x = t.g.CellRect(1, 3).left() + 1; x < t.g.CellRect(4, 3).right(); ++x) {
        const int gray = qGray(img.pixel(x, y));
        EXPECT_GE(gray, last - 1) << x;
        last = std::max(last, gray);
    }
    const int w = t.g.viewport()->width();
    EXPECT_NEAR(qGray(img.pixel(t.g.CellRect(1, 3).left() + 1, y)), 255 * t.g.CellRect(1, 3).left() / w, 6);
}

TEST(GridPaintBackground, AdaptToTheme)
{
    struct {
        const char* name;
        TColor from, to, active, activeTo;
    } cases[] = {{"NormalColor", 0xFCE1CB, 0xE0A57D, 0x94E6FB, 0x1595EE},
                 {"HomeStead", 0xCFF0EA, 0x8CC0B1, 0x94E6FB, 0x1595EE},
                 {"Metallic", 0xECE2E1, 0xB39698, 0x94E6FB, 0x1595EE},
                 {"", gfx::clWhite, gfx::clBtnFace, gfx::clWhite, 0xFFD9B3}};
    for (const auto& c : cases) {
        visualstyles::SetCurrentThemeNameForTest({QString(), QString::fromLatin1(c.name), QString()});
        TZedEzeravIvur g;
        g.AdaptToTheme();
        EXPECT_EQ(g.FixedGradientColor, c.from) << c.name;
        EXPECT_EQ(g.FixedGradientColorTo, c.to) << c.name;
        EXPECT_EQ(g.ActiveCellColor(), c.active) << c.name;
        EXPECT_EQ(g.ActiveCellColorTo(), c.activeTo) << c.name;
        EXPECT_EQ(g.ControlLook()->FixedGradientFrom, *c.name ? c.from : gfx::clNone) << c.name;
        // The search bar takes the fixed cells' gradient (white to light blue without a scheme).
        EXPECT_EQ(g.SearchFooter()->Color(), c.from) << c.name;
        EXPECT_EQ(g.SearchFooter()->ColorTo(), *c.name ? c.to : TColor(0xFFD9B3)) << c.name;
    }
    // Switching AutoThemeAdapt on (as a stored property) under "Metallic".
    visualstyles::SetCurrentThemeNameForTest({QString(), QStringLiteral("Metallic"), QString()});
    TZedEzeravIvur g;
    EXPECT_EQ(g.FixedGradientColor, gfx::clWhite);
    g.setProperty("AutoThemeAdapt", true);
    EXPECT_TRUE(g.AutoThemeAdapt);
    EXPECT_EQ(g.FixedGradientColor, TColor(0xECE2E1));
    EXPECT_EQ(g.FixedGradientColorTo, TColor(0xB39698));
    visualstyles::SetCurrentThemeNameForTest({});
}

TEST(GridPaintUpdates, ClearUpdateCountKeepsAnEnclosingBeginUpdate)
{
    Grid t;
    t.g.show();
    t.g.BeginUpdate();
    t.g.IncUpdateCount();
    EXPECT_EQ(t.g.UpdateCount(), 2);
    t.g.ClearUpdateCount();
    EXPECT_EQ(t.g.UpdateCount(), 1);
    // Still held: nothing is painted.
    QImage blank(t.g.viewport()->size(), QImage::Format_RGB32);
    blank.fill(Qt::white);
    EXPECT_EQ(t.paint(), blank);
    t.g.EndUpdate();
    EXPECT_EQ(t.g.UpdateCount(), 0);
    EXPECT_NE(t.paint(), blank);
    // Without an enclosing BeginUpdate it goes back to 0.
    t.g.IncUpdateCount();
    t.g.ClearUpdateCount();
    EXPECT_EQ(t.g.UpdateCount(), 0);
}

TEST(GridPaintRichText, BoldRunSelectionColourAndEmptySave)
{
    Grid t;
    t.g.SetCells(1, 1, QStringLiteral("{\\rtf1\\fs16 {\\b WW}}"));
    t.g.SetCells(1, 2, QStringLiteral("{\\rtf1\\fs16 WW}"));
    QImage img = t.paint();
    save(img, "richtext");
    EXPECT_GT(t.countDark(img, t.g.CellRect(1, 1)), t.countDark(img, t.g.CellRect(1, 2)) * 5 / 4);

    // Selected (not the current cell): the selection's text colour, the cell's RTF unchanged.
    const QString rtf = QStringLiteral("{\\rtf1 {\\cf0 WWWW}}");
    t.g.SetCells(2, 3, rtf);
    t.g.SetSelectionTextColor(0x0000FF);
    t.g.SetSelection(tk::TGridRect{2, 3, 3, 3});
    img = t.paint();
    EXPECT_GT(t.countColor(img, t.g.CellRect(2, 3), qRgb(255, 0, 0)), 5);
    EXPECT_EQ(t.g.Cells(2, 3), rtf);

    VOdoZozaRere* edit = t.g.RichRender();
    QString saved = QStringLiteral("x");
    t.g.SetCells(4, 4, QString());
    t.g.LoadRichTextToEdit(4, 4, edit);
    t.g.SaveRichTextFromEdit(edit, saved);
    EXPECT_EQ(saved, QString());
    t.g.LoadRichTextToEdit(1, 1, edit);
    t.g.SaveRichTextFromEdit(edit, saved);
    EXPECT_TRUE(saved.startsWith(QStringLiteral("{\\rtf1")));
    EXPECT_EQ(edit->toPlainText(), QStringLiteral("WW"));

    t.g.SetCells(3, 5, QStringLiteral("<B>fett</B> &amp; mehr"));
    EXPECT_EQ(t.g.GetCellTextNoHTML(3, 5), QStringLiteral("fett &amp; mehr"));
}

TEST(GridPaintMarks, TreeLinesAndModifiedMark)
{
    Grid t;
    t.g.SetRowCount(10);
    t.g.CellNode()->SetTreeColor(0x00FF00); // green
    t.g.AddNode(2, 4);
    t.g.ShowModified()->Enabled = true;
    t.g.ShowModified()->SetColor(0xFF0000); // blue
    t.g.SetRowModified(6, true);
    const QImage img = t.paint();
    save(img, "tree");
    const QRgb green = qRgb(0, 255, 0);
    // The node row itself draws no line at its left; its rows below do, the last one only to the middle.
    EXPECT_GT(t.countColor(img, t.g.CellRect(0, 3), green), 10);
    const QRect last = t.g.CellRect(0, 5);
    EXPECT_GT(t.countColor(img, QRect(last.left(), last.top(), last.width(), last.height() / 2), green), 5);
    EXPECT_EQ(t.countColor(img, t.g.CellRect(0, 7), green), 0);
    // The modified row's strip at the right of column 0.
    const QRect m = t.g.CellRect(0, 6);
    EXPECT_EQ(QColor(img.pixel(m.right() - 2, m.center().y())), QColor(0, 0, 255));
    EXPECT_NE(QColor(img.pixel(t.g.CellRect(0, 7).right() - 2, t.g.CellRect(0, 7).center().y())), QColor(0, 0, 255));
}

TEST(GridPaintMarks, HiddenRowsWidenTheRowMarkRange)
{
    Grid t;
    t.g.SetRowCount(10);
    t.g.MouseActions()->SetDisjunctRowSelect(true);
    t.g.HideRows(2, 3);
    ASSERT_EQ(t.g.RowCount(), 8);
    EXPECT_NO_THROW(t.g.SetRowSelected(9, true));
    EXPECT_TRUE(t.g.RowSelected(9));
    try {
        t.g.SetRowSelected(10, true);
        ADD_FAILURE() << "row 10 accepted";
    } catch (const EZodUvuzError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Invalid row accessed"));
    }
}

TEST(GridPaintText, FloatFormatFromTheEvent)
{
    struct {
        const char* format;
        const char* shownLike;
    } cases[] = {{"%.1f", "3.1"}, {"%s", "3.14159"}, {"%.1f %n", "3.14159"}, {"%d", "3.14159"}, {"<%.3e>", "<3.142e+00>"}};
    for (const auto& c : cases) {
        Grid a, b;
        a.g.SetCells(1, 1, QStringLiteral("3.14159"));
        a.g.OnGetFloatFormat = [&](QObject*, int, int, bool& isFloat, QString& format) {
            isFloat = true;
            format = QString::fromLatin1(c.format);
        };
        b.g.SetCells(1, 1, QString::fromLatin1(c.shownLike));
        const QRect r = a.g.CellRect(1, 1);
        EXPECT_EQ(a.paint().copy(r), b.paint().copy(r)) << c.format;
    }
}

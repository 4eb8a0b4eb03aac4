// Painting: the cell text writer, indicator images, the status images, colours and the events
// that take part in painting.
#include "GridFixture.h"
#include <QPainter>
#include <QStyle>
#include <gtest/gtest.h>
#include <map>

using namespace gridtest;
using namespace xdb;

namespace {

int CountPixels(const QImage& img, const QRect& r, const std::function<bool(QColor)>& pred)
{
    int n = 0;
    for (int y = std::max(0, r.top()); y <= std::min(img.height() - 1, r.bottom()); ++y)
        for (int x = std::max(0, r.left()); x <= std::min(img.width() - 1, r.right()); ++x)
            if (pred(QColor(img.pixel(x, y))))
                ++n;
    return n;
}

bool IsRed(QColor c) { return c.red() > 180 && c.green() < 60 && c.blue() < 60; }
bool IsGreen(QColor c) { return c.green() > 120 && c.red() < 60 && c.blue() < 60; }
bool IsYellow(QColor c) { return c.red() > 230 && c.green() > 200 && c.blue() < 170; }
bool IsBlack(QColor c) { return c.red() < 20 && c.green() < 20 && c.blue() < 20; }

// Statuses 0, 1, 2 and 5 on the first four records.
void SetStatuses(ListGrid& g)
{
    const int statuses[] = {0, 1, 2, 5};
    for (int i = 0; i < 4; ++i)
        g.conn.Execute(QStringLiteral("UPDATE \"RL1\" SET \"Status\" = ? WHERE \"_ID\" = ?"), {statuses[i], i + 1});
    g.ds.Requery();
}

} // namespace

TEST(GridText, LayoutOfCellTexts)
{
    QFont font;
    font.setPixelSize(12);
    const QFontMetrics fm(font);
    const int lh = fm.height();
    const int dx = 2, dy = 2;
    const QRect two(10, 20, 400, 2 * lh + 2 * dy);          // two lines fit
    auto texts = [](const std::vector<TTextLine>& lines) {
        QStringList l;
        for (const auto& t : lines)
            l << t.text;
        return l;
    };

    // Hard breaks: CR, LF and CR LF; at most the lines that fit.
    EXPECT_EQ(texts(LayoutCellText(fm, QRect(0, 0, 400, 5 * lh + 4), dx, tvTopJustify, false, false, taLeftJustify,
                                   QStringLiteral("a\rb\nc\r\nd"), dy)),
              QStringList({"a", "b", "c", "d"}));
    EXPECT_EQ(texts(LayoutCellText(fm, two, dx, tvTopJustify, false, false, taLeftJustify, QStringLiteral("a\nb\nc"), dy)),
              QStringList({"a", "b"}));

    // A row lower than one line still shows one line, at the top.
    const auto tiny = LayoutCellText(fm, QRect(0, 50, 100, lh / 2), dx, tvCenter, true, true, taLeftJustify,
                                     QStringLiteral("x"), dy);
    ASSERT_EQ(tiny.size(), 1u);
    EXPECT_EQ(tiny[0].y, 50);

    // Word wrap at the last blank that fits; a word without blank is not broken.
    const int w = fm.horizontalAdvance(QStringLiteral("alpha beta")) + dx + 1;
    const QRect narrow(0, 0, w, 3 * lh + 2 * dy);
    EXPECT_EQ(texts(LayoutCellText(fm, narrow, dx, tvTopJustify, true, false, taLeftJustify,
                                   QStringLiteral("alpha beta gamma"), dy)),
              QStringList({"alpha beta", "gamma"}));
    EXPECT_EQ(texts(LayoutCellText(fm, QRect(0, 0, 20, 3 * lh + 2 * dy), dx, tvTopJustify, true, false, taLeftJustify,
                                   QStringLiteral("unbreakable"), dy)),
              QStringList({"unbreakable"}));
    // With ellipsis only (fitting lines - 1) breaks are inserted; the rest is cut with "...".
    const QRect oneLine(0, 0, w, lh + 2 * dy);
    const auto cut = LayoutCellText(fm, oneLine, dx, tvTopJustify, true, true, taLeftJustify,
                                    QStringLiteral("alpha beta gamma"), dy);
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_TRUE(cut[0].text.endsWith(QStringLiteral("...")));
    EXPECT_LE(fm.horizontalAdvance(cut[0].text), w - dx);
    // Without ellipsis any number of breaks; lines drawn stay limited.
    EXPECT_EQ(LayoutCellText(fm, oneLine, dx, tvTopJustify, true, false, taLeftJustify,
                             QStringLiteral("alpha beta gamma"), dy)[0].text,
              QStringLiteral("alpha beta"));
    // At least one character stays before "...".
    EXPECT_EQ(LayoutCellText(fm, QRect(0, 0, 3, lh + 4), dx, tvTopJustify, false, true, taLeftJustify,
                             QStringLiteral("abcdef"), dy)[0].text,
              QStringLiteral("a..."));

    // A value of megabytes (an imported note) lays out like its visible start, with and without
    // wrapping and ellipsis, and in no longer than a short one.
    QString longText;
    while (longText.size() < 2 * 1024 * 1024)
        longText += QStringLiteral("Notiz mit Umlauten äöü ");
    const QString start = longText.left(3000);
    for (const bool wrap : {false, true})
        for (const bool ell : {false, true}) {
            SCOPED_TRACE(testing::Message() << "wrap " << wrap << " ellipsis " << ell);
            EXPECT_EQ(texts(LayoutCellText(fm, two, dx, tvTopJustify, wrap, ell, taLeftJustify, longText, dy)),
                      texts(LayoutCellText(fm, two, dx, tvTopJustify, wrap, ell, taLeftJustify, start, dy)));
        }

    // Alignment.
    const QString t = QStringLiteral("abc");
    const int tw = fm.horizontalAdvance(t);
    EXPECT_EQ(LayoutCellText(fm, two, dx, tvTopJustify, false, true, taLeftJustify, t, dy)[0].x, 10 + dx);
    EXPECT_EQ(LayoutCellText(fm, two, dx, tvTopJustify, false, true, taRightJustify, t, dy)[0].x, 10 + 400 - 1 - dx - tw);
    EXPECT_EQ(LayoutCellText(fm, two, dx, tvTopJustify, false, true, taCenter, t, dy)[0].x, 10 + (400 - tw) / 2);
    const QRect tall(0, 0, 100, 4 * lh + 2 * dy);
    EXPECT_EQ(LayoutCellText(fm, tall, dx, tvTopJustify, false, true, taLeftJustify, t, dy)[0].y, dy);
    EXPECT_EQ(LayoutCellText(fm, tall, dx, tvBottomJustify, false, true, taLeftJustify, t, dy)[0].y, dy + 3 * lh);
    EXPECT_EQ(LayoutCellText(fm, tall, dx, tvCenter, false, true, taLeftJustify, t, dy)[0].y, dy + 3 * lh / 2);
}

TEST(GridDraw, StatusColumnShowsImagesCentredAndOtherValuesAsText)
{
    ListGrid g(6);
    SetStatuses(g);
    auto status = CreateStatusImageList();
    TXColumn* c = g.grid->ColumnByFieldName(QStringLiteral("Status"));
    c->SetImages(status.get());
    c->SetImageDraw(idCenter);
    c->SetTransparent(true);
    c->SetAlignment(taCenter);
    c->SetWidth(37);
    g.ds.SetRecNo(6); // the current row (drawn in the row colour) out of the way
    const QImage img = g.Shot();
    auto cell = [&](int dataRow) { return g.grid->ColumnCellRect(c, dataRow); };
    // Data rows 0..3 hold the records 1..4 (the window starts at the first record).
    ASSERT_EQ(g.grid->DataLink()->ActiveRecord(), 5);
    EXPECT_GT(CountPixels(img, cell(0), IsYellow), 20);
    EXPECT_GT(CountPixels(img, cell(1), IsGreen), 8);
    EXPECT_GT(CountPixels(img, cell(2), IsRed), 40);
    for (int r : {0, 1})
        EXPECT_EQ(CountPixels(img, cell(r), IsRed), 0);
    // 5 has no image: its text shows, no image colours.
    const QRect five = cell(3);
    EXPECT_EQ(CountPixels(img, five, IsYellow) + CountPixels(img, five, IsGreen) + CountPixels(img, five, IsRed), 0);
    EXPECT_GT(CountPixels(img, five, [](QColor q) { return q.lightness() < 90; }), 3);
    // The red sign is centred: its bounding box's centre is the cell's.
    const QRect r2 = cell(2);
    int minX = INT_MAX, maxX = -1, minY = INT_MAX, maxY = -1;
    for (int y = r2.top(); y <= r2.bottom(); ++y)
        for (int x = r2.left(); x <= r2.right(); ++x)
            if (IsRed(QColor(img.pixel(x, y)))) {
                minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
            }
    EXPECT_LE(std::abs((minX + maxX) / 2 - r2.center().x()), 1);
    EXPECT_LE(std::abs((minY + maxY) / 2 - r2.center().y()), 1);
}

TEST(GridDraw, FailingImageIndexHandlerDrawsNoImage)
{
    ListGrid g(4);
    SetStatuses(g);
    auto status = CreateStatusImageList();
    TXColumn* c = g.grid->ColumnByFieldName(QStringLiteral("Status"));
    c->SetImages(status.get());
    c->SetWidth(37);
    g.grid->OnCalcImageIndex = [](TXCustomDBGrid*, TXColumn* column, int&) {
        if (column)
            throw std::runtime_error("handler failed");
    };
    const QImage img = g.Shot();
    EXPECT_EQ(CountPixels(img, g.grid->ColumnCellRect(c, 2), IsRed), 0);
    EXPECT_EQ(CountPixels(img, g.grid->ColumnCellRect(c, 1), IsGreen), 0);
}

TEST(GridDraw, IndicatorImagePerRowState)
{
    tk::SetThemesEnabled(false);
    ListGrid g(8);
    g.grid->SetOptions(g.grid->Options() | dgMultiSelect);
    std::map<int, int> byId;   // _ID of the drawn row -> indicator image
    g.grid->OnCalcImageIndex = [&](TXCustomDBGrid*, TXColumn* column, int& index) {
        if (!column)
            byId[g.Id()] = index;
    };
    auto paint = [&] {
        byId.clear();
        g.Shot();
    };
    g.ds.SetRecNo(2);
    paint();
    EXPECT_EQ(byId[2], 0);           // current record, browsing
    EXPECT_EQ(byId[3], -1);
    g.grid->SelectCurrent();
    g.ds.SetRecNo(4);
    g.grid->SelectCurrent();
    paint();
    EXPECT_EQ(byId[4], 4);           // current and selected
    EXPECT_EQ(byId[2], 3);           // other selected record
    g.grid->SetSelectionAnchor(g.ds.GetBookmark());
    paint();
    EXPECT_EQ(byId[5], 6);           // extended mode: the current record is the anchor
    EXPECT_EQ(byId[2], 7);
    g.grid->SetSelectionAnchor(db::TBookmark());
    g.ds.Edit();
    paint();
    EXPECT_EQ(byId[4], 1);           // edit state
    g.ds.Cancel();
    g.ds.Insert();
    paint();
    EXPECT_EQ(byId[0], 2);           // the inserted record (no _ID yet) shows the insert image
    g.ds.Cancel();

    // The browse triangle is black pixels in the current row's indicator cell only.
    g.grid->OnCalcImageIndex = nullptr;
    g.grid->ClearSelectionAndAnchor();
    g.ds.SetRecNo(3);
    const QImage img = g.Shot();
    const QRect cur = g.grid->CellRect(0, g.grid->Row());
    const QRect other = g.grid->CellRect(0, g.grid->Row() + 1);
    EXPECT_GT(CountPixels(img, cur.adjusted(2, 2, -2, -2), IsBlack), 10);
    EXPECT_EQ(CountPixels(img, other.adjusted(2, 2, -2, -2), IsBlack), 0);
}

TEST(GridDraw, PaintColumnCellSeesSelectionsAndColoursText)
{
    ListGrid g(6);
    g.conn.Execute(QStringLiteral("UPDATE \"RL1\" SET \"Email\" = 'not an address' WHERE \"_ID\" = 3"));
    g.ds.Requery();
    g.grid->SetOptions(g.grid->Options() | dgMultiSelect);
    g.grid->SetStripeColor(gfx::clYellow);
    g.ds.SetRecNo(5);
    g.grid->SelectCurrent();
    g.ds.SetRecNo(2);
    TXColumn* email = g.grid->ColumnByFieldName(QStringLiteral("Email"));
    email->SetWidth(150);
    std::map<int, TSelections> seen;
    g.grid->OnPaintColumnCell = [&](TXCustomDBGrid*, const QRect&, int, TXColumn* column, bool, TSelections sel,
                                    TColor&, tk::TFont& font, const QImage*&) {
        if (column != email)
            return;
        seen[g.Id()] = sel;
        if (!g.Value(QStringLiteral("Email")).contains(QLatin1Char('@')))
            font.SetColor(gfx::clRed);
    };
    const QImage img = g.Shot();
    EXPECT_TRUE(seen[2] & slRowSelected);
    EXPECT_FALSE(seen[3] & slRowSelected);
    EXPECT_TRUE(seen[5] & slMultiSelected);
    EXPECT_FALSE(seen[4] & slMultiSelected);
    EXPECT_TRUE(seen[4] & slRowStriped);     // data row 3: odd
    EXPECT_FALSE(seen[3] & slRowStriped);
    EXPECT_GT(CountPixels(img, g.grid->ColumnCellRect(email, 2), IsRed), 5);
    EXPECT_EQ(CountPixels(img, g.grid->ColumnCellRect(email, 3), IsRed), 0);
    // Stripes: odd data rows yellow, even rows the grid colour.
    const QRect odd = g.grid->ColumnCellRect(email, 3);
    const QRect even = g.grid->ColumnCellRect(email, 2);
    EXPECT_EQ(QColor(img.pixel(odd.right() - 1, odd.top() + 1)), QColor(Qt::yellow));
    EXPECT_NE(QColor(img.pixel(even.right() - 1, even.top() + 1)), QColor(Qt::yellow));
    // A stripe colour of silver is drawn lighter.
    g.grid->SetStripeColor(gfx::clSilver);
    const QImage img2 = g.Shot();
    EXPECT_EQ(QColor(img2.pixel(odd.right() - 1, odd.top() + 1)), QColor(0xE8, 0xE8, 0xE8));
}

TEST(GridDraw, FailingPaintHandlerLeavesTheActiveRecordRestored)
{
    ListGrid g(10);
    g.ds.SetRecNo(4);
    const int active = g.grid->DataLink()->ActiveRecord();
    const int id = g.Id();
    g.grid->OnPaintColumnCell = [&](TXCustomDBGrid*, const QRect&, int, TXColumn*, bool, TSelections, TColor&,
                                    tk::TFont&, const QImage*&) {
        if (g.Id() == 7)
            throw std::runtime_error("paint handler failed");
    };
    QImage img(g.grid->viewport()->size(), QImage::Format_RGB32);
    QPainter p(&img);
    EXPECT_THROW(g.grid->PaintTo(p, img.rect()), std::runtime_error);
    EXPECT_EQ(g.grid->DataLink()->ActiveRecord(), active);
    EXPECT_EQ(g.Id(), id);
    EXPECT_EQ(g.grid->Canvas(), nullptr);
}

TEST(GridDraw, CheckBoxColumnWithoutFieldShowsTheSelection)
{
    tk::SetThemesEnabled(false);
    ListGrid g(5);
    TXDBGridColumns* cols = g.grid->Columns();
    cols->Clear();
    TXColumn* box = cols->Add();
    box->SetCheckBox(true);
    box->SetWidth(41);
    box->Title()->SetCaption(QStringLiteral("löschen"));
    cols->Add()->SetFieldName(QStringLiteral("Email"));
    g.ds.SetRecNo(3);
    g.grid->SelectCurrent();
    g.ds.SetRecNo(5);
    const QImage img = g.Shot();
    const QRect checked = g.grid->ColumnCellRect(box, 2);
    const QRect unchecked = g.grid->ColumnCellRect(box, 1);
    // The check mark: black pixels inside the box's frame.
    auto inner = [](const QRect& cell) { return QRect(cell.center() - QPoint(4, 4), QSize(9, 9)); };
    EXPECT_GT(CountPixels(img, inner(checked), IsBlack), 5);
    EXPECT_EQ(CountPixels(img, inner(unchecked), IsBlack), 0);
    EXPECT_EQ(box->Title()->Caption(), QStringLiteral("löschen"));
}

TEST(GridDraw, SharedHeaderBandsAndParentTitlesSpanTheirColumns)
{
    tk::SetThemesEnabled(false);
    ListGrid g(3);
    TXDBGridColumns* cols = g.grid->Columns();
    cols->Clear();
    const char* names[] = {"Email", "Last Name", "First Name"};
    for (const char* n : names) {
        TXColumn* c = cols->Add();
        c->SetFieldName(QString::fromLatin1(n));
        c->SetWidth(90);
    }
    cols->Items(0)->Title()->SetHeader(QStringLiteral("Kontakt|Adresse"));
    cols->Items(1)->Title()->SetHeader(QStringLiteral("Kontakt|Name"));
    cols->Items(2)->Title()->SetHeader(QStringLiteral("Kontakt|Name"));
    g.grid->SetHeaderColor(gfx::clAqua);
    const QImage img = g.Shot();
    const int hh = g.grid->HeaderHeight();
    ASSERT_GT(hh, 0);
    const QRect c0 = g.grid->CellRect(g.grid->DataColToGridCol(0), 0);
    const QRect c1 = g.grid->CellRect(g.grid->DataColToGridCol(1), 0);
    const QRect c2 = g.grid->CellRect(g.grid->DataColToGridCol(2), 0);
    auto isAqua = [&](int x, int y) { return QColor(img.pixel(x, y)) == QColor(Qt::cyan); };
    // Band 0 ("Kontakt") runs across all three columns: no line between them.
    const int y0 = c0.top() + 2;   // above the band text
    EXPECT_TRUE(isAqua(c0.right() + 1, y0));
    EXPECT_TRUE(isAqua(c1.right() + 1, y0));
    // Band 1: "Adresse" alone, "Name" shared by the last two.
    const int y1 = c0.top() + hh + 2;
    EXPECT_FALSE(isAqua(c0.right() + 1, y1));
    EXPECT_TRUE(isAqua(c1.right() + 1, y1));
    EXPECT_FALSE(isAqua(c2.right() + 1, y1));

    // A parent's title lies across its sub-columns, one title row above theirs.
    cols->Items(0)->Title()->SetHeader(QString());
    cols->Items(1)->Title()->SetHeader(QString());
    cols->Items(2)->Title()->SetHeader(QString());
    TXColumn* parent = cols->Items(0);
    parent->SetExpandCols(2);
    parent->Title()->SetColor(gfx::clYellow);
    EXPECT_EQ(g.grid->TitleOffset(), 2);
    EXPECT_FALSE(parent->Showing());
    const QImage img2 = g.Shot();
    const QRect s1 = g.grid->CellRect(g.grid->DataColToGridCol(1), 0);
    EXPECT_EQ(QColor(img2.pixel(s1.right() + 1, s1.center().y())), QColor(Qt::yellow));
    parent->SetExpanded(false);
    EXPECT_TRUE(parent->Showing());
    EXPECT_FALSE(cols->Items(1)->Showing());
    EXPECT_EQ(g.grid->TitleOffset(), 1);
}

TEST(GridDraw, ExpandButtonOnlyWhenTheTitleIsWideEnough)
{
    tk::SetThemesEnabled(false);
    ListGrid g(2);
    TXColumn* c = g.grid->ColumnByFieldName(QStringLiteral("Email"));
    c->SetExpandStyle(cesDropDown);
    c->Title()->SetCaption(QString());
    const int arrow = g.grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, g.grid.get());
    auto blackInTitle = [&] {
        const QImage img = g.Shot();
        const QRect t = g.grid->CellRect(g.grid->DataColToGridCol(c->Index()), 0).adjusted(2, 2, -2, -2);
        return CountPixels(img, t, IsBlack);
    };
    c->SetWidth(arrow + 20);
    EXPECT_GT(blackInTitle(), 3);      // the drop-down arrow
    c->SetWidth(arrow - 2);
    EXPECT_EQ(blackInTitle(), 0);
}

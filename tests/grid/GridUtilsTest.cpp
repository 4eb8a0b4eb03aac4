// The family's free routines: content and number tests, numbers and dates under given separators,
// the filter matcher, text transforms, packed wide text and the small drawing helpers.
#include "grid/GridUtils.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

using namespace grid;

namespace {
// Separators of a German desktop: "," decimal, "." thousands, "." in dates.
GridLocale german()
{
    GridLocale l;
    l.decimalSeparator = ',';
    l.thousandSeparator = '.';
    l.dateSeparator = '.';
    l.shortDateFormat = "dd.MM.yyyy";
    return l;
}
GridLocale us()
{
    GridLocale l;
    l.decimalSeparator = '.';
    l.thousandSeparator = ',';
    l.dateSeparator = '/';
    l.shortDateFormat = "MM/dd/yyyy";
    return l;
}
struct LocaleScope {
    explicit LocaleScope(const GridLocale& l) : saved(CurrentGridLocale()) { SetGridLocale(l); }
    ~LocaleScope() { SetGridLocale(saved); }
    GridLocale saved;
};
QString packed(const char16_t* s) { return PackWideCell(s); }
} // namespace

TEST(GridUtils, CellTextKinds)
{
    struct Case { QString text; bool html; int kind; };
    const Case cases[] = {
        {"", true, 0}, {"=A1+1", true, 3}, {packed(u"x"), true, 5}, {packed(u"=1"), true, 3},
        {QStringLiteral("|\\x="), true, 5},   // a fourth character "=" alone is no packed formula
        {"{\\rtf1", true, 2}, {"<b>x</b>", true, 1}, {"<b>x</b>", false, 0}, {"<b>x", true, 0}, {"<B>x", true, 1},
        {"plain", true, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CellTextKind(c.text, c.html), c.kind) << c.text.toStdString();
}

TEST(GridUtils, NumbersUnderBothSeparatorSets)
{
    {
        LocaleScope s(german());
        struct Case { const char* text; int kind; };
        for (const Case& c : {Case{"1.234,5", 1}, Case{"1.234.567", 2}, Case{"12", 0}, Case{"-", 0}, Case{"1-2", 2},
                              Case{"", 2}, Case{"1,5,5", 2}, Case{".123", 2}, Case{"1.23,4", 1}, Case{"12a", 2}})
            EXPECT_EQ(NumberKind(c.text), c.kind) << c.text;
        EXPECT_EQ(CleanNumberText(" (1.234,50) "), "-1234.50");
        EXPECT_EQ(CleanNumberText("$ 12"), "12");
        EXPECT_EQ(CleanNumberText("Euro 12"), "E");
        EXPECT_EQ(CleanNumberText("- 5 kg"), "-5");
        EXPECT_EQ(NormalizeNumberSeparators("1.234,5"), "1234.5");
    }
    LocaleScope s(us());
    EXPECT_EQ(NumberKind("1,234.5"), 1);
    EXPECT_EQ(NumberKind("1,234,567"), 2);
    EXPECT_EQ(NumberKind(",5"), 2);
    EXPECT_EQ(CleanNumberText("(1,234.50)"), "-1234.50");
}

TEST(GridUtils, FilterExpressions)
{
    LocaleScope s(us());
    struct Case { const char* expr; const char* value; bool match; };
    const Case cases[] = {
        {">10 & <20", "15", true}, {">10 & <20", "25", false}, {">=10", "10", true}, {">10", "10", false},
        {"<=10", "10", true}, {"Sm?th*", "Smithers", true}, {"Sm?th*", "Smyth", true}, {"Sm?th*", "Sith", false},
        {"!Sm*", "Smith", false}, {"!Sm*", "Jones", true}, {"=abc", "abc", true}, {">5", "3", false},
        {"a;b", "b", true}, {"a | b", "c", false}, {"x\\*", "x*", true}, {"x\\*", "xy", false}, {"", "", true},
        {">01/02/2005", "01/15/2005", true}, {">01/02/2005", "n/a", true}, {"<01/02/2005", "12/31/2004", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchFilterExpression(c.expr, c.value, true), c.match) << c.expr << " / " << c.value;
    EXPECT_TRUE(MatchFilterExpression("smith", "SMITH", false));
    EXPECT_FALSE(MatchFilterExpression("smith", "SMITH", true));

    LocaleScope g(german());
    // Dates with "." read as numbers once the thousand separators are gone.
    EXPECT_TRUE(MatchFilterExpression(">15.02.2005", "16.02.2005", true));
    EXPECT_FALSE(MatchFilterExpression(">15.02.2005", "01.03.2005", true)) << "compared as 1032005 < 15022005";
}

TEST(GridUtils, Dates)
{
    LocaleScope s(german());
    QDate d;
    EXPECT_TRUE(TextToDateByFormat("15.02.2005", d));
    EXPECT_EQ(d, QDate(2005, 2, 15));
    EXPECT_FALSE(TextToDateByFormat("32.01.2005", d));
    EXPECT_FALSE(TextToDateByFormat("30.02.2005", d));
    EXPECT_FALSE(TextToDateByFormat("1.2", d));
    EXPECT_TRUE(LooksLikeDate("1.2.3"));
    EXPECT_FALSE(LooksLikeDate(".2.3"));
    EXPECT_FALSE(LooksLikeDate("12.3"));

    struct Case { const char* text; QDate us; QDate eu; };
    for (const Case& c : {Case{"02/03/05", QDate(2005, 2, 3), QDate(2005, 3, 2)},
                          Case{"02/03/26", QDate(1926, 2, 3), QDate(1926, 3, 2)},
                          Case{"02-03-2005", QDate(2005, 2, 3), QDate(2005, 3, 2)},
                          Case{"2.3.1999", QDate(1999, 2, 3), QDate(1999, 3, 2)}, Case{"x/3/5", QDate(), QDate()},
                          Case{"20050203", QDate(), QDate()}}) {
        EXPECT_EQ(USDateToDate(c.text), c.us) << c.text;
        EXPECT_EQ(EUDateToDate(c.text), c.eu) << c.text;
    }
    EXPECT_THROW(USDateToDate("13/40/2005"), EConvertError);

    EXPECT_EQ(DateSeriesStep(0, 1, 0, QDate(2005, 12, 15), 0), QDate(2006, 1, 15));
    EXPECT_EQ(DateSeriesStep(0, 25, 0, QDate(2005, 12, 15), 0), QDate(2008, 1, 15));
    EXPECT_EQ(DateSeriesStep(0, -13, 0, QDate(2005, 1, 15), 0), QDate(2003, 12, 15));
    EXPECT_EQ(DateSeriesStep(0, 0, 10, QDate(2005, 12, 25), 0), QDate(2006, 1, 4));
    EXPECT_EQ(DateSeriesStep(2, 0, 0, QDate(2004, 3, 1), 0), QDate(2006, 3, 1));
    EXPECT_EQ(DateSeriesStep(1, 1, 0, QDate(2004, 3, 1), 7.0), QDate(2004, 3, 8));
    EXPECT_THROW(DateSeriesStep(0, 1, 0, QDate(2005, 1, 31), 0), EConvertError);
}

TEST(GridUtils, TextTransforms)
{
    struct Case { const char* in; const char* out; };
    for (const Case& c : {Case{"mcdonald", "McDonald"}, Case{"henry ii", "Henry II"}, Case{"o'neil-smith", "O'Neil-Smith"},
                          Case{"JOHN MCBRIDE iii", "John McBride III"}, Case{"anna", "Anna"}})
        EXPECT_EQ(ProperCaseName(c.in), c.out) << c.in;

    QString csv = "Zeile 1\r\nsagt \"hallo\"";
    CellTextToCSVField(csv);
    EXPECT_EQ(csv, QString("\"Zeile 1") + QChar(11) + "sagt \"\"hallo\"\"\"");
    QString vt = QString("a") + QChar(11) + "b";
    VTToCRLF(vt);
    EXPECT_EQ(vt, "a\r\nb");
    QString tilde = "a~b";
    TildeToCRLF(tilde);
    EXPECT_EQ(tilde, "a\r\nb");
    tilde = "^";
    TildeToCRLF(tilde);
    EXPECT_EQ(tilde, "");
    EXPECT_EQ(EscapedNewlinesToCR("Vor\\nname"), "Vor\rname");
    const QString packedBreaks = PackLineBreaks("a\r\nb");
    EXPECT_EQ(packedBreaks, QString("a") + QChar(9) + QChar(8) + "b");
    EXPECT_EQ(UnpackLineBreaks(packedBreaks, true), "a\r\nb");
    EXPECT_EQ(UnpackLineBreaks(packedBreaks, false), "a");
    EXPECT_EQ(PackLineBreaks("a\nb"), "a\nb");
    QString text = "eins\r\nzwei\rdrei", line;
    TakeFirstLine(text, true, line);
    EXPECT_EQ(line, "eins");
    EXPECT_EQ(text, "zwei\rdrei");
    TakeFirstLine(text, false, line);
    EXPECT_EQ(line, "zwei");
    EXPECT_EQ(text, "");
    EXPECT_EQ(LineCountOf("a\rb\rc", true), 3);
    EXPECT_EQ(LineCountOf("a\rb\rc", false), 1);
    EXPECT_EQ(UnescapeDoubledChar('"', "a\"\"b\"c"), "a\"bc");
    QString rest = "a;b;c", field;
    SplitOffField(rest, ';', field);
    EXPECT_EQ(field, "a");
    EXPECT_EQ(rest, "b;c");
    QPoint cell;
    EXPECT_TRUE(ParseCellRef("r12c3", cell));
    EXPECT_EQ(cell, QPoint(3, 12));
    EXPECT_FALSE(ParseCellRef("R1C", cell));
    QString url = "mailto:a@b.de";
    StripURLScheme(url);
    EXPECT_EQ(url, "a@b.de");
    EXPECT_EQ(ClampToLimits(5, 10, 20), 10);
    EXPECT_EQ(ClampToLimits(25, 0, 20), 20);
    EXPECT_EQ(ClampToLimits(25, 7, 7), 25);
}

TEST(GridUtils, PackedWideText)
{
    EXPECT_EQ(PackWideCell(u""), "|\\");
    EXPECT_EQ(UnpackWideCell("|\\"), u"");
    const std::u16string wide = u"\u20ac a\u4e2d";
    EXPECT_EQ(UnpackWideCell(PackWideCell(wide)), wide);
    EXPECT_EQ(UnpackWideCell(PackWideCell(wide) + QChar('x')), wide) << "a trailing odd character is ignored";
    EXPECT_EQ(UnpackWideCell("plain"), u"plain");
    EXPECT_EQ(WideTextPos(u"a\u4e2d", wide), 3);
    EXPECT_EQ(WideTextPos(u"", wide), 0);
    EXPECT_EQ(WideTextPos(u"longer than it", u"short"), 0);
}

// ------------------------------------------------------------------ drawing

namespace {
QImage canvas(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}
QRgb px(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFF; }
} // namespace

TEST(GridDrawing, GradientBands)
{
    QImage img = canvas(100, 10);
    QPainter p(&img);
    DrawGradientFill(p, gfx::RGBColor(0, 0, 0), gfx::RGBColor(200, 100, 0), 4, img.rect(), true);
    p.end();
    // Four bands of 25 pixels: 0, 50, 100, 150 red; the last band stops one step short.
    EXPECT_EQ(qRed(img.pixel(5, 5)), 0);
    EXPECT_EQ(qRed(img.pixel(30, 5)), 50);
    EXPECT_EQ(qRed(img.pixel(60, 5)), 100);
    EXPECT_EQ(qRed(img.pixel(99, 5)), 150);
    EXPECT_EQ(qGreen(img.pixel(99, 5)), 75);
    EXPECT_EQ(GradientColorAt(0x000000, 0x0000C8, 0, 4, 2), 0x000064);
    EXPECT_EQ(GradientColorAt(0x112233, 0x0000C8, 5, 5, 2), 0x112233) << "no range: the start colour";
    EXPECT_EQ(GradientColorAt(0x112233, gfx::clNone, 0, 4, 2), 0x112233);
}

TEST(GridDrawing, RangeBar)
{
    QImage img = canvas(104, 20);   // shrunk: x 2..101, half 50, centre 52
    QPainter p(&img);
    DrawRangeBar(p, img.rect(), 150, 100, true, gfx::clRed, gfx::clBlue);
    p.end();
    // Colours are 0x00BBGGRR, pixels 0xRRGGBB: clBlue shows as 0x0000FF.
    EXPECT_EQ(px(img, 100, 16), 0x0000FFu) << "the full right half";
    EXPECT_EQ(px(img, 53, 16), 0x0000FFu);
    EXPECT_EQ(px(img, 102, 16), 0xFFFFFFu);
    EXPECT_EQ(px(img, 40, 16), 0xFFFFFFu);
    QImage left = canvas(104, 20);
    QPainter q(&left);
    DrawRangeBar(q, left.rect(), -50, 100, false, gfx::clRed, gfx::clBlue);
    DrawRangeBar(q, QRect(0, 0, 104, 20), 50, 0, false, gfx::clRed, gfx::clBlue);   // range 0: nothing
    q.end();
    EXPECT_EQ(px(left, 30, 10), 0xFF0000u);
    EXPECT_EQ(px(left, 20, 10), 0xFFFFFFu);
    EXPECT_EQ(px(left, 60, 10), 0xFFFFFFu);
}

TEST(GridDrawing, ProgressBar)
{
    QImage img = canvas(110, 20);   // margins 5, 5: bar area x 5..104
    QPainter p(&img);
    p.setBrush(Qt::white);
    DrawProgressBar(p, img.rect(), gfx::clBlue, gfx::clWhite, gfx::clWhite, gfx::clBlack, 30, 5, 5, 0, 100, "",
                    gfx::clNone);
    p.end();
    EXPECT_EQ(px(img, 8, 7), 0x0000FFu);
    EXPECT_EQ(px(img, 80, 7), 0xFFFFFFu);
    EXPECT_EQ(px(img, 34, 6), 0x0000FFu) << "30 % of 100 pixels: x 5..34";
    EXPECT_EQ(px(img, 35, 6), 0xFFFFFFu);
    // Above 100 % the bar stops at the full width; a divisor of 0 draws nothing.
    QImage full = canvas(110, 20);
    QPainter q(&full);
    DrawProgressBar(q, full.rect(), gfx::clBlue, gfx::clWhite, gfx::clWhite, gfx::clBlack, 250, 5, 5, 0, 100, "",
                    gfx::clNone);
    DrawProgressBar(q, QRect(0, 0, 110, 20), gfx::clRed, gfx::clWhite, gfx::clRed, gfx::clBlack, 5, 5, 5, 0, 0,
                    "%d", gfx::clNone);
    q.end();
    EXPECT_EQ(px(full, 103, 6), 0x0000FFu);
    EXPECT_EQ(px(full, 108, 6), 0xFFFFFFu);
    EXPECT_NE(px(full, 60, 6), 0xFF0000u) << "the call with divisor 0 drew no bar";
}

TEST(GridDrawing, PieAt25AndZeroPercent)
{
    QImage img = canvas(41, 41);
    QPainter p(&img);
    DrawPieChart(p, QRect(0, 0, 40, 40), gfx::clRed, 25);
    p.end();
    EXPECT_EQ(px(img, 30, 10), 0xFF0000u) << "the first quarter";
    EXPECT_EQ(px(img, 10, 30), 0xFFFFFFu);
    EXPECT_EQ(px(img, 10, 10), 0xFFFFFFu);
    EXPECT_EQ(px(img, 20, 0), 0x808080u) << "grey outline";

    QImage none = canvas(41, 41);
    QPainter q(&none);
    DrawPieChart(q, QRect(0, 0, 40, 40), gfx::clRed, 0);
    q.end();
    for (int y = 1; y < 40; ++y)
        for (int x = 1; x < 40; ++x)
            ASSERT_NE(px(none, x, y), 0xFF0000u) << x << "," << y;
}

TEST(GridUtils, RunsPositionsAndCodePages)
{
    struct Case { const char* text; int firstEnd; int runs; };
    // '"' runs: an even run is an escaped quote, an odd one ends a field, one at the end always counts.
    for (const Case& c : {Case{"a\"b", 2, 1}, Case{"a\"\"b", 0, 0}, Case{"a\"\"\"b\"", 4, 2}, Case{"ab\"\"", 4, 1},
                          Case{"", 0, 0}, Case{"\"x\"\"y\"", 1, 2}})
    {
        EXPECT_EQ(OddRunEnd('"', c.text), c.firstEnd) << c.text;
        EXPECT_EQ(CountOddRuns('"', c.text), c.runs) << c.text;
    }
    int pos = 9;
    EXPECT_FALSE(CharPosVar('z', "abc", pos));
    EXPECT_EQ(pos, 9);
    EXPECT_TRUE(CharPosVar('c', "abc", pos));
    EXPECT_EQ(pos, 3);
    EXPECT_EQ(PosInUpperText("BC", "abcd"), 2);
    EXPECT_EQ(PosInUpperText("bc", "abcd"), 0);
    EXPECT_EQ(FirstCharOfSet(";,", "a,b;c"), QChar(','));
    EXPECT_TRUE(FirstCharOfSet(";", "abc").isNull());
    EXPECT_TRUE(CellInRange(QRect(QPoint(1, 1), QPoint(3, 2)), 3, 2));
    EXPECT_FALSE(CellInRange(QRect(QPoint(1, 1), QPoint(3, 2)), 4, 2));
    // OEM 0x84 (a umlaut) stored as the Windows-1252 character U+201E.
    EXPECT_EQ(OemTextToAnsi(QString(QChar(0x201E)) + "x"), QString(QChar(0xE4)) + "x");
}

TEST(GridDrawing, BitmapWithTransparentColour)
{
    QImage glyph(4, 4, QImage::Format_RGB32);
    glyph.fill(Qt::magenta);
    glyph.setPixel(2, 2, qRgb(0, 0, 0));
    QImage img = canvas(10, 10);
    QPainter p(&img);
    DrawBitmapTransparent(p, glyph, gfx::clLime, QRect(3, 3, 10, 10));
    p.end();
    EXPECT_EQ(px(img, 3, 3), 0x00FF00u) << "the key colour becomes the background";
    EXPECT_EQ(px(img, 5, 5), 0x000000u);
    EXPECT_EQ(px(img, 8, 8), 0xFFFFFFu) << "drawn at its own size";
}

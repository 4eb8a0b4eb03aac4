// The error wave, the drop-down glyph, the theme parts, resource bitmaps and window transparency.
#include "grid/GridUtils.h"
#include "platform/graphics/VisualStyles.h"
#include "platform/grid/WinCompat.h"

#include <QLineEdit>
#include <QPainter>
#include <QWidget>
#include <gtest/gtest.h>

using namespace grid;

namespace {
QImage blank(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(Qt::white);
    return img;
}
bool reddish(QRgb p) { return qRed(p) > 180 && qGreen(p) < 120 && qBlue(p) < 120; }
// The leftmost and rightmost columns holding a red pixel, {-1, -1} when none.
std::pair<int, int> redSpan(const QImage& img)
{
    int lo = -1, hi = -1;
    for (int x = 0; x < img.width(); ++x)
        for (int y = 0; y < img.height(); ++y)
            if (reddish(img.pixel(x, y))) {
                if (lo < 0)
                    lo = x;
                hi = x;
                break;
            }
    return {lo, hi};
}
} // namespace

TEST(DrawRoutines, ErrorWaveRunsUnderTheErrorRange)
{
    QWidget owner;
    const QFontMetrics fm(owner.font());
    const QString text = "Hallo Wlet heute";
    const QRect rect(0, 0, 300, fm.height() + 12);
    struct Case { int start, length; int fromX, toX; };
    const int after = 2 + fm.horizontalAdvance(text) + 4;
    const Case cases[] = {
        {6, 4, 2 + fm.horizontalAdvance(text.left(6)), 2 + fm.horizontalAdvance(text.left(9))},   // "Wlet"
        {0, 1, 2, 2},                                                                        // first char
        {40, 3, after, after},                                                               // start beyond
        {11, 50, 2 + fm.horizontalAdvance(text.left(11)), 2 + fm.horizontalAdvance(text.left(15)) + 4},
    };
    for (const Case& c : cases) {
        QImage img = blank(rect.width(), rect.height());
        {
            QPainter p(&img);
            DrawErrorWave(&owner, p, text, rect, 0, c.start, c.length);
        }
        const auto [lo, hi] = redSpan(img);
        ASSERT_GE(lo, 0) << c.start;
        EXPECT_NEAR(lo, c.fromX, 2) << c.start;
        // the zigzag passes the last character's start by up to two 3-pixel steps and the pen
        EXPECT_GE(hi, c.toX) << c.start;
        EXPECT_LE(hi, c.toX + 8) << c.start;
    }
    // A wave further down with the offset.
    QImage a = blank(rect.width(), rect.height() + 10), b = a;
    {
        QPainter p(&a);
        DrawErrorWave(&owner, p, text, rect, 0, 0, 3);
        QPainter q(&b);
        DrawErrorWave(&owner, q, text, rect, 5, 0, 3);
    }
    auto lowestRed = [](const QImage& img) {
        for (int y = img.height() - 1; y >= 0; --y)
            for (int x = 0; x < img.width(); ++x)
                if (reddish(img.pixel(x, y)))
                    return y;
        return -1;
    };
    EXPECT_EQ(lowestRed(b), lowestRed(a) + 5);
}

TEST(DrawRoutines, DropDownGlyphPaintsOnlyItsRectangle)
{
    EXPECT_EQ(DropDownGlyphRect(QRect(10, 5, 100, 20)), QRect(92, 6, 16, 18));
    QWidget window;
    visualstyles::LoadThemeLibrary();
    for (const bool themed : {false, true}) {
        QImage img = blank(120, 30);
        {
            QPainter p(&img);
            DrawDropDownGlyph(p, &window, QRect(10, 5, 100, 20), themed);
        }
        const QRect glyph = DropDownGlyphRect(QRect(10, 5, 100, 20));
        int inside = 0, outside = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixel(x, y) != qRgb(255, 255, 255))
                    ++(glyph.contains(x, y) ? inside : outside);
        EXPECT_GT(inside, 10) << themed;
        EXPECT_EQ(outside, 0) << themed;
    }
    visualstyles::FreeThemeLibrary();
}

TEST(DrawRoutines, ResourceBitmapDrawnWithItsKeyColourAsBackground)
{
    for (const QString& name : {QStringLiteral("glyph.bmp"), QStringLiteral(":/glyph.bmp")}) {
        QImage img = blank(10, 10);
        {
            QPainter p(&img);
            DrawResourceBitmapTransparent(p, 0x00FF00, QRect(3, 3, 8, 8), name);
        }
        EXPECT_EQ(img.pixel(3, 3), qRgb(0, 255, 0)) << "the top-left colour becomes the background";
        EXPECT_EQ(img.pixel(4, 4), qRgb(0, 0, 255));
        EXPECT_EQ(img.pixel(7, 7), qRgb(255, 255, 255)) << "drawn at the bitmap's own size";
    }
    QImage img = blank(10, 10);
    {
        QPainter p(&img);
        DrawResourceBitmapTransparent(p, 0x00FF00, QRect(0, 0, 8, 8), "missing.bmp");
    }
    EXPECT_EQ(img.pixel(0, 0), qRgb(255, 255, 255));
}

TEST(DrawRoutines, LayeredWindowAlpha)
{
    QWidget w;
    EXPECT_TRUE(tk::SetLayeredWindowAlpha(&w, 255 - 55));
    EXPECT_NEAR(w.windowOpacity(), 200 / 255.0, 0.01);
    EXPECT_TRUE(tk::SetLayeredWindowAlpha(&w, 300));
    EXPECT_DOUBLE_EQ(w.windowOpacity(), 1.0);
    EXPECT_FALSE(tk::SetLayeredWindowAlpha(nullptr, 10));
}

TEST(DrawRoutines, ThemePartsDrawInsideTheirRectangle)
{
    using namespace visualstyles;
    QWidget window;
    EXPECT_FALSE(OpenThemeData(nullptr, "button")) << "no handle without a window";
    ASSERT_TRUE(LoadThemeLibrary());
    struct Case { const char* cls; int part; int state; };
    const Case drawn[] = {{"button", BP_PUSHBUTTON, PBS_NORMAL}, {"button", BP_CHECKBOX, CBS_CHECKEDNORMAL},
                          {"button", BP_CHECKBOX, CBS_UNCHECKEDNORMAL}, {"button", BP_RADIOBUTTON, 5},
                          {"combobox", CP_DROPDOWNBUTTON, CBXS_PRESSED}, {"Progress", PP_BAR, 1},
                          {"Progress", PP_CHUNK, 1}};
    const QRect rect(10, 6, 20, 16);
    for (const Case& c : drawn) {
        HTheme theme = OpenThemeData(&window, c.cls);
        ASSERT_TRUE(theme) << c.cls;
        QImage img = blank(50, 30);
        {
            QPainter p(&img);
            EXPECT_TRUE(DrawThemeBackground(theme, p, c.part, c.state, rect)) << c.cls << " " << c.part;
        }
        int inside = 0, outside = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixel(x, y) != qRgb(255, 255, 255))
                    ++(rect.contains(x, y) ? inside : outside);
        EXPECT_GT(inside, 10) << c.cls << " " << c.part << " " << c.state;
        EXPECT_EQ(outside, 0) << c.cls << " " << c.part << " " << c.state;
        CloseThemeData(theme);
        EXPECT_FALSE(theme);
    }
    // A checked box differs from an unchecked one.
    auto box = [&](int state) {
        QImage img = blank(50, 30);
        QPainter p(&img);
        HTheme theme = OpenThemeData(&window, "button");
        DrawThemeBackground(theme, p, BP_CHECKBOX, state, rect);
        return img;
    };
    EXPECT_NE(box(CBS_CHECKEDNORMAL), box(CBS_UNCHECKEDNORMAL));
    // Parts and states the classes do not have draw nothing.
    const Case refused[] = {{"button", 9, 1}, {"button", BP_RADIOBUTTON, CBS_MIXEDNORMAL}, {"combobox", 2, 1},
                            {"Progress", 7, 1}, {"spin", 9, 1}};
    for (const Case& c : refused) {
        QImage img = blank(50, 30);
        QPainter p(&img);
        EXPECT_FALSE(DrawThemeBackground(OpenThemeData(&window, c.cls), p, c.part, c.state, rect)) << c.cls;
    }
    EXPECT_FALSE(OpenThemeData(&window, "toolbar")) << "a class the facade does not know";
    FreeThemeLibrary();
}

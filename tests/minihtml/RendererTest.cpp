// The mini-HTML renderer: layout, hit tests and pixels.
#include "grid/minihtml/MiniHTML.h"
#include "grid/pictures/Pictures.h"
#include "TestPictures.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>
#include <gtest/gtest.h>
#include <functional>

using namespace minihtml;

namespace {

QFont testFont(int pixelSize = 13)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixelSize);
    return f;
}

struct Call {
    TMiniHTMLInput in;
    TMiniHTMLResult out;
    Call(const QString& text, int width = 400, int height = 400)
    {
        in.Text = text;
        in.Rect = QRect(0, 0, width, height);
        in.Font = testFont();
        in.FontColor = gfx::clBlack;
    }
    TMiniHTMLResult& measure() { DrawMiniHTML(nullptr, in, out); return out; }
    QImage draw(int w = 200, int h = 60)
    {
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        DrawMiniHTML(&p, in, out);
        return img;
    }
};

void fillImages(tk::TImageList& list)
{
    for (int i = 0; i < 4; ++i) {
        QImage img(16, 16, QImage::Format_ARGB32);
        img.fill(Qt::green);
        list.Add(img);
    }
}

bool dominated(QRgb c, int channel)
{
    const int v[3] = {qRed(c), qGreen(c), qBlue(c)};
    return v[channel] > 150 && v[(channel + 1) % 3] + 80 < v[channel] && v[(channel + 2) % 3] + 80 < v[channel];
}

// Pixels of an area whose colour passes the test.
int countPixels(const QImage& img, const QRect& area, const std::function<bool(QRgb)>& test)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (test(img.pixel(x, y)))
                ++n;
    return n;
}

} // namespace

TEST(MiniHTMLLayout, TextAgainstExtentsLinesAndVisibleText)
{
    const QFontMetrics fm(testFont());
    auto W = [&](const char* s) { return fm.horizontalAdvance(QString::fromUtf8(s)); };
    const int gh = fm.lineSpacing();
    tk::TImageList images(16, 16);
    fillImages(images);
    // A rectangle where "aaa " fits and "aaa aa" does not (the text starts 1 pixel in).
    const int wrapWidth = W("aaa ") + 2 + 1;

    struct Row {
        const char* text;
        int width;
        int height;
        bool wrap;
        int extentX;
        int extentY;
        int lines;
        const char* visible;
    };
    const Row rows[] = {
        {"a&amp;b", 400, 400, true, W("a&b"), gh, 1, "a&b"},
        {"&permil;", 400, 400, true, W("\u2030"), gh, 1, "\u2030"},
        {"&AMP;x", 400, 400, true, W("&x"), gh, 1, "&x"},
        {"&NBSP;x", 400, 400, true, W("&NBSP;x"), gh, 1, "&NBSP;x"},
        {"&amp;lt;", 400, 400, true, W("&lt;"), gh, 1, "&lt;"},               // decoded once
        {"&lt;B&gt;", 400, 400, true, W("<B>"), gh, 1, "<B>"},
        {"<#Total>", 400, 400, true, W("#Total"), gh, 1, "#Total"},
        {"aaa aa", wrapWidth, 400, true, W("aaa ") - W(" "), 2 * gh, 2, "aaa aa"},   // trailing blank taken back
        {"aaa aa", wrapWidth, 400, false, W("aaa aa"), gh, 1, "aaa aa"},
        {"a<BR>b", 400, 400, true, W("a"), 2 * gh, 2, "a\rb"},
        {"a\r\nb\nc", 400, 400, true, W("bc"), 2 * gh, 2, "a\rbc"},
        {"", 400, 400, true, 0, gh, 0, ""},
        {"x<SUP>2</SUP>", 400, 400, true, W("x") + W("2"), gh + gh / 4, 1, "x2"},
        {"abcdef<IND x=\"5\">xyz", 400, 400, true, W("abcdef") + W("xyz"), gh, 1, "abcdefxyz"},
        {"ab<IND x=\"100\">c", 400, 400, true, 100 + W("c"), gh, 1, "abc"},
        {"abc<Z>hidden</Z>d", 400, 400, true, W("abc") + W("d"), gh, 1, "abchiddend"},
        {"<IMG SRC=\"IDX:-1\">x", 400, 400, true, W("x"), gh, 1, "x"},
        {"<IMG SRC=\"IDX:4\">x", 400, 400, true, W("x"), gh, 1, "x"},
        {"<IMG SRC=\"idx:1\">x", 400, 400, true, 16 + W("x"), std::max(gh, 16), 1, "x"},
        {"<UL><LI>a<LI>b</UL>", 400, 400, true, 12 + W("a"), 3 * gh, 3, "ab"},
        {"<CONTROL TYPE=\"EDIT\" ID=\"e\" VALUE=\"v\">x", 400, 400, true, W("x"), gh, 1, "x"},
        {"<CONTROL TYPE=\"CHECK\" ID=\"c\" WIDTH=\"50\">x", 400, 400, true, 16 + W("x"), std::max(gh, 16), 1, "x"},
        {"a<b", 400, 400, true, W("a"), gh, 1, "a"},                            // a tag without ">" ends the text
        {"a<", 400, 400, true, W("a"), gh, 1, "a"},
        // Only whole lines are drawn; the first one always.
        {"a<BR>b<BR>c", 400, 2 * gh + gh / 2, true, W("a"), 2 * gh, 2, "a\rb\r"},
        {"a<BR>b", 400, 1, true, W("a"), gh, 1, "a\r"},
    };
    for (const Row& r : rows) {
        Call c(QString::fromUtf8(r.text), r.width, r.height);
        c.in.WordWrap = r.wrap;
        c.in.Images = &images;
        const TMiniHTMLResult& res = c.measure();
        SCOPED_TRACE(r.text);
        EXPECT_EQ(res.ExtentX, r.extentX);
        EXPECT_EQ(res.ExtentY, r.extentY);
        EXPECT_EQ(res.Lines, r.lines);
        EXPECT_EQ(res.VisibleText, QString::fromUtf8(r.visible));
    }
}

TEST(MiniHTMLLayout, MeasureOnlyTakesEveryLineAndUnwrappedTextIsCutAfterItsFirstPiece)
{
    const QFontMetrics fm(testFont());
    Call all("a<BR>b<BR>c", 400, 1);
    all.in.MeasureOnly = true;
    EXPECT_EQ(all.measure().Lines, 3);
    EXPECT_EQ(all.out.ExtentY, 3 * fm.lineSpacing());

    // Without wrapping a later piece that does not fit ends the text after it.
    Call cut("aaaaaaaaaa <B>bb</B> cc<BR>more", fm.horizontalAdvance("aaaaaaaaaa ") + 5);
    cut.in.WordWrap = false;
    EXPECT_EQ(cut.measure().Lines, 1);
    EXPECT_EQ(cut.out.VisibleText, "aaaaaaaaaa bb");
}

TEST(MiniHTMLHitTest, LinksImagesAndControls)
{
    const QFontMetrics fm(testFont());
    const int gh = fm.lineSpacing();
    // A link and a point beside it; the HREF comes back as written.
    Call link("ab <A HREF=\"page1\" TITLE=\"Seite Eins\">Go</A> cd");
    link.in.HitTest = true;
    link.in.X = 1 + fm.horizontalAdvance("ab ") + fm.horizontalAdvance("Go") / 2;
    link.in.Y = gh / 2;
    EXPECT_TRUE(link.measure().Hit);
    EXPECT_EQ(link.out.AnchorValue, "page1");
    EXPECT_EQ(link.out.AnchorTitle, "Seite Eins");
    EXPECT_EQ(link.out.LinkCount, 1);
    link.in.X = 1 + fm.horizontalAdvance("ab Go c");
    EXPECT_FALSE(link.measure().Hit);
    EXPECT_TRUE(link.out.AnchorValue.isEmpty());

    // A linked image; the same image without a link is no hit.
    tk::TImageList images(16, 16);
    fillImages(images);
    Call image("<A HREF=\"img\"><IMG SRC=\"IDX:0\"></A>");
    image.in.Images = &images;
    image.in.HitTest = true;
    image.in.X = 8;
    image.in.Y = 8;
    EXPECT_TRUE(image.measure().Hit);
    EXPECT_EQ(image.out.AnchorValue, "img");
    Call plainImage("<IMG SRC=\"IDX:0\">");
    plainImage.in.Images = &images;
    plainImage.in.HitTest = true;
    plainImage.in.X = 8;
    plainImage.in.Y = 8;
    EXPECT_FALSE(plainImage.measure().Hit);

    // A control under the point, and the same control found through a preset ID.
    const QString controls = "x<CONTROL TYPE=\"edit\" ID=\"e1\" VALUE=\"a&amp;b\" WIDTH=\"50\">"
                             "<CONTROL TYPE=\"COMBO\" ID=\"c2\" VALUE=\"v2\" WIDTH=\"60\">";
    Call ctrl(controls);
    ctrl.in.HitTest = true;
    ctrl.in.X = 1 + fm.horizontalAdvance("x") + 25;
    ctrl.in.Y = 10;
    EXPECT_TRUE(ctrl.measure().Hit);
    EXPECT_EQ(ctrl.out.AnchorValue, "ctrl");
    EXPECT_EQ(ctrl.out.ControlID, "e1");
    EXPECT_EQ(ctrl.out.ControlType, "EDIT");
    EXPECT_EQ(ctrl.out.ControlValue, "a&b");
    const int height = 25;   // the combo box makes the line 25 high
    EXPECT_EQ(ctrl.out.ControlRect, QRect(1 + fm.horizontalAdvance("x"), 0, 50, gh + 6));
    (void)height;
    Call preset(controls);
    preset.in.HitTest = true;
    preset.in.ControlID = "c2";
    EXPECT_TRUE(preset.measure().Hit);
    EXPECT_EQ(preset.out.ControlID, "c2");
    EXPECT_EQ(preset.out.ControlValue, "v2");
    EXPECT_EQ(preset.out.ControlRect, QRect(1 + fm.horizontalAdvance("x") + 50, 0, 60, 25));
    preset.in.HitTest = false;   // without HitTest the preset ID means nothing
    EXPECT_FALSE(preset.measure().Hit);

    // A quote inside a value stays inside it: the value is decoded when it is read.
    Call quoted("<CONTROL TYPE=\"EDIT\" ID=\"q\" VALUE=\"sag &quot;ja&quot; &gt; nein\" WIDTH=\"80\">");
    quoted.in.HitTest = true;
    quoted.in.ControlID = "q";
    EXPECT_TRUE(quoted.measure().Hit);
    EXPECT_EQ(quoted.out.ControlValue, "sag \"ja\" > nein");
}

TEST(MiniHTMLHitTest, HoverRectOfALinkOverTwoLines)
{
    const QFontMetrics fm(testFont());
    const int gh = fm.lineSpacing();
    const int avail = fm.horizontalAdvance("aaa ") + fm.horizontalAdvance("bbb ") + 1;
    Call c("aaa <A HREF=\"l\">bbb ccc</A> d", avail + 1);
    c.in.HitTest = true;
    c.in.X = 1 + fm.horizontalAdvance("ccc") / 2;
    c.in.Y = gh + gh / 2;
    EXPECT_TRUE(c.measure().Hit);
    EXPECT_EQ(c.out.Lines, 2);
    EXPECT_EQ(c.out.HoverLinkIndex, 1);
    // The part on the link's last line.
    EXPECT_EQ(c.out.HoverRect, QRect(1, gh, fm.horizontalAdvance("ccc"), gh));
}

TEST(MiniHTMLPixels, NestedFontColoursParagraphBackgroundAndHighlight)
{
    QFont big = testFont(24);
    big.setBold(true);
    const QFontMetrics fm(big);
    Call c("<FONT COLOR=\"clred\">a<FONT COLOR=\"clblue\">b</FONT>c</FONT>");
    c.in.Font = big;
    const QImage img = c.draw(200, 60);
    auto span = [&](int from, const char* s) {
        return QRect(1 + from, 0, fm.horizontalAdvance(s), fm.lineSpacing());
    };
    const int wa = fm.horizontalAdvance("a");
    const int wb = fm.horizontalAdvance("b");
    auto red = [](QRgb p) { return dominated(p, 0); };
    auto blue = [](QRgb p) { return dominated(p, 2); };
    auto dark = [](QRgb p) { return qRed(p) < 60 && qGreen(p) < 60 && qBlue(p) < 60; };
    EXPECT_GT(countPixels(img, span(0, "a"), red), 20);
    EXPECT_GT(countPixels(img, span(wa, "b"), blue), 20);
    // </FONT> goes back to the starting colour, not to red.
    EXPECT_EQ(countPixels(img, span(wa + wb, "c"), red), 0);
    EXPECT_GT(countPixels(img, span(wa + wb, "c"), dark), 20);

    // <P BGCOLOR> fills its whole line, nothing below it.
    Call par("<P BGCOLOR=\"#FF0000\">x");
    const QImage p = par.draw(200, 60);
    const int gh = QFontMetrics(testFont()).lineSpacing();
    EXPECT_EQ(p.pixel(0, gh / 2), qRgb(255, 0, 0));
    EXPECT_EQ(p.pixel(199, gh / 2), qRgb(255, 0, 0));
    EXPECT_EQ(p.pixel(199, gh + 2), qRgb(255, 255, 255));

    // <HI> fills behind its text with the highlight colour.
    Call hi("<HI>xx</HI>yy");
    const QImage h = hi.draw(200, 60);
    const QRgb highlight = QApplication::palette().color(QPalette::Highlight).rgb();
    const QFontMetrics small(testFont());
    EXPECT_EQ(h.pixel(2, 0), highlight);
    EXPECT_EQ(h.pixel(small.horizontalAdvance("xx") - 1, gh - 1), highlight);
    EXPECT_NE(h.pixel(1 + small.horizontalAdvance("xx") + small.horizontalAdvance("yy") / 2, 0), highlight);
}

TEST(MiniHTMLPixels, HoverAndFocusDecorateOnlyTheirLink)
{
    const QFontMetrics fm(testFont());
    Call c("<A HREF=\"one\">aaaa</A> <A HREF=\"two\">bbbb</A>");
    c.in.HoverEnabled = true;
    c.in.HoverLink = 2;
    c.in.HoverColor = gfx::clYellow;
    c.in.FocusLink = 1;
    const QImage img = c.draw(200, 40);
    EXPECT_EQ(c.out.FocusAnchor, "two");
    const int second = 1 + fm.horizontalAdvance("aaaa") + fm.horizontalAdvance(" ");
    auto yellow = [](QRgb p) { return p == qRgb(255, 255, 0); };
    EXPECT_GT(countPixels(img, QRect(second, 0, fm.horizontalAdvance("bbbb"), fm.lineSpacing()), yellow), 20);
    EXPECT_EQ(countPixels(img, QRect(0, 0, second - 1, 40), yellow), 0);
}

TEST(MiniHTMLPixels, CheckedControlLooksLikeTheStylesCheckedBox)
{
    MiniHTMLUnitStartup();
    QWidget window;
    window.resize(100, 100);
    Call c("<CONTROL TYPE=\"CHECK\" ID=\"k\" VALUE=\"true\" WIDTH=\"16\">");
    c.in.Window = &window;
    const QImage drawn = c.draw(40, 30);
    const int bottom = std::max(QFontMetrics(testFont()).lineSpacing(), 16);
    const QRect box(QPoint(1 + 2, bottom - 15), QPoint(1 + 14, bottom - 1));

    auto styleBox = [&](bool on) {
        QImage img(40, 30, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        QStyleOptionButton opt;
        opt.initFrom(&window);
        opt.rect = box;
        opt.state = QStyle::State_Enabled | (on ? QStyle::State_On : QStyle::State_Off);
        window.style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &opt, &p, &window);
        return img;
    };
    const QImage checked = styleBox(true);
    const QImage unchecked = styleBox(false);
    ASSERT_NE(checked.copy(box), unchecked.copy(box));
    EXPECT_EQ(drawn.copy(box), checked.copy(box));

    Call off("<CONTROL TYPE=\"CHECK\" ID=\"k\" VALUE=\"no\" WIDTH=\"16\">");
    off.in.Window = &window;
    EXPECT_EQ(off.draw(40, 30).copy(box), unchecked.copy(box));
}

TEST(MiniHTMLPixels, BlinkingTextIsInvisibleWhileBlinkIsOff)
{
    auto darkPixels = [](const QImage& img) {
        return countPixels(img, img.rect(), [](QRgb p) { return qGray(p) < 128; });
    };
    Call on("<BLINK>xxxx</BLINK>");
    EXPECT_GT(darkPixels(on.draw()), 10);
    Call stray("</HI>xxxx");
    EXPECT_GT(darkPixels(stray.draw()), 10);
    Call offClear("<BLINK>xxxx</BLINK>");
    offClear.in.BlinkOn = false;
    EXPECT_EQ(darkPixels(offClear.draw()), 0);
    Call offWhite("<BLINK>xxxx</BLINK>yy");
    offWhite.in.BlinkOn = false;
    offWhite.in.BrushColor = gfx::clWhite;
    const QImage img = offWhite.draw();
    const int wx = QFontMetrics(testFont()).horizontalAdvance("xxxx");
    EXPECT_EQ(countPixels(img, QRect(0, 0, wx, 30), [](QRgb p) { return qGray(p) < 128; }), 0);
    EXPECT_GT(countPixels(img, QRect(wx + 1, 0, 40, 30), [](QRgb p) { return qGray(p) < 128; }), 5);
}

TEST(MiniHTMLPictures, ContainerAndCachePicturesTakeTheirPlace)
{
    pictures::TPictureContainer container;
    pictures::TPictureItem* item = container.Items().Add();
    item->Name = "Logo";
    QImage logo(20, 10, QImage::Format_RGB32);
    logo.fill(Qt::blue);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    logo.save(&buffer, "PNG");
    item->Picture()->LoadFromBytes(png);
    pictures::THTMLPictureCache cache;

    Call c("<IMG SRC=\"logo\">x<IMG SRC=\"RES://logo.PNG\"><IMG SRC=\"http://example.invalid/a.png\">");
    c.in.PictureContainer = &container;
    c.in.PictureCache = &cache;
    const QImage img = c.draw(200, 60);
    const int wx = QFontMetrics(testFont()).horizontalAdvance("x");
    EXPECT_EQ(c.out.ExtentX, 20 + wx + 4);   // the URL picture stays empty and takes no room
    EXPECT_EQ(img.pixel(1, 0), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(20, 9), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(1 + 20 + wx + 1, 1), qRgb(255, 0, 0));   // the resource, found ignoring case
    ASSERT_EQ(cache.Count(), 2);
    EXPECT_TRUE(cache.FindCached("http://example.invalid/a.png")->Empty());

    // Stretched into a huge size: drawn (only its visible part) without delay.
    Call huge("<IMG SRC=\"logo\" WIDTH=\"99999999\" HEIGHT=\"16384\">");
    huge.in.PictureContainer = &container;
    QElapsedTimer t;
    t.start();
    const QImage h = huge.draw(200, 60);
    EXPECT_LT(t.elapsed(), 2000);
    EXPECT_EQ(huge.out.ExtentX, 16384);
    EXPECT_EQ(h.pixel(100, 30), qRgb(0, 0, 255));

    // A background picture is tiled over the rectangle.
    Call body("<BODY BACKGROUND=\"logo\">x");
    body.in.PictureContainer = &container;
    const QImage b = body.draw(200, 60);
    EXPECT_EQ(b.pixel(199, 59), qRgb(0, 0, 255));
}

TEST(MiniHTMLPictures, ShellIconsHaveTheirListSizeAndAreDrawn)
{
    QImage img(80, 40, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    EXPECT_EQ(DrawSystemIcon(nullptr, 0, 0, "a.txt", false, false, false, 1.0), QSize(16, 16));
    EXPECT_EQ(DrawSystemIcon(&p, 0, 0, QString::fromUtf8(QLY_SOURCE_DIR), true, true, false, 1.0), QSize(32, 32));
    EXPECT_EQ(DrawSystemIcon(&p, 40, 0, "brief.pdf", false, true, true, 2.0), QSize(16, 16));
    p.end();
    auto painted = [](QRgb c) { return c != qRgb(255, 255, 255); };
    EXPECT_GT(countPixels(img, QRect(0, 0, 32, 32), painted), 0);
    EXPECT_GT(countPixels(img, QRect(40, 0, 32, 32), painted), 0);
    EXPECT_EQ(countPixels(img, QRect(73, 33, 7, 7), painted), 0);
    EXPECT_TRUE(IsDirectory(QString::fromUtf8(QLY_SOURCE_DIR)));
    EXPECT_FALSE(IsDirectory("/dev/null"));
}

TEST(MiniHTMLPictures, AGifFrameTakesItsSizeAndSitsAtItsOffset)
{
    pictures::TPictureContainer container;
    pictures::TPictureItem* item = container.Items().Add();
    item->Name = "anim";
    item->Picture()->LoadFromBytes(testpictures::threeFrameGif());
    item->Picture()->SetFrame(2);   // red 7 x 5 at (2, 1) of a 10 x 8 screen
    Call c("<IMG SRC=\"anim\">");
    c.in.PictureContainer = &container;
    c.in.BrushColor = gfx::clLime;
    const QImage img = c.draw(40, 30);
    EXPECT_EQ(c.out.ExtentX, 7);
    EXPECT_EQ(img.pixel(1 + 2, 1), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(1 + 8, 5), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(1 + 9, 5), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(1, 0), qRgb(255, 255, 255));
}

TEST(MiniHTMLPixels, TurnedTextRisesFromItsBaseline)
{
    auto darkAbove = [](const char* text) {
        Call c(QString::fromUtf8(text));
        c.in.Rect = QRect(0, 40, 200, 40);
        const QImage img = c.draw(200, 80);
        return countPixels(img, QRect(0, 0, 30, 40), [](QRgb p) { return qGray(p) < 128; });
    };
    EXPECT_EQ(darkAbove("abcdefgh"), 0);
    EXPECT_GT(darkAbove("<R a=\"90\">abcdefgh"), 10);   // an open <R> turns all that follows
    EXPECT_EQ(darkAbove("<R a=\"90\"></R>abcdefgh"), 0);
}

TEST(MiniHTMLHostile, NastyTextsEndQuietly)
{
    const char* texts[] = {
        "<", "<<<<<<<<", "<>", "</>", "<A", "<A HREF=\"", "<FONT SIZE=\"99999999\">x", "<FONT SIZE=\"-5\">x",
        "<P INDENT=\"-100\">x", "<IND x=\"999999999\">x", "<R a=\"720\">turned", "<UL><UL><UL><LI>x</UL></UL></UL></UL>",
        "</P></A></FONT></HI></Z>x", "<IMG SRC=\"FILE:///dev/zero\">x", "<IMG SRC=\"SSYS:\">", "<CONTROL WIDTH=\"abc\">",
        "<CONTROL TYPE=\"BUTTON\" WIDTH=\"99999999999\" VALUE=\"&quot;\">", "&&&&&;;;&amp", "<#<#<#>>",
        "<SUB><SUP><SHAD><E>x</E></SHAD></SUP></SUB>", "<BODY BGCOLOR=\"#\">x", "<FONT COLOR=\"#GGGGGG\">x",
    };
    pictures::THTMLPictureCache cache;
    for (const char* t : texts) {
        Call c(QString::fromUtf8(t), 150, 50);
        c.in.PictureCache = &cache;
        QElapsedTimer timer;
        timer.start();
        c.draw(200, 60);
        EXPECT_LT(timer.elapsed(), 2000) << t;
        EXPECT_LE(c.out.ExtentX, 16384 + 200) << t;
        c.in.HitTest = true;
        c.in.X = 10;
        c.in.Y = 5;
        c.measure();
    }
}

TEST(MiniHTMLPixels, ListBulletSitsOnTheBaseOfItsLine)
{
    // The combo box makes the line 25 high; the bullet belongs at its bottom, drawn once.
    Call c("<UL><LI>x<CONTROL TYPE=\"COMBO\" ID=\"k\" WIDTH=\"40\">");
    const QImage img = c.draw(200, 80);
    const int gh = QFontMetrics(testFont()).lineSpacing();
    const int lineBottom = gh + 25;   // the <UL> line, then the item's line
    const QRect bulletColumn(1, 0, 11, 80);
    auto dark = [](QRgb p) { return qGray(p) < 128; };
    EXPECT_GT(countPixels(img, bulletColumn, dark), 0);
    EXPECT_EQ(countPixels(img, QRect(1, 0, 11, lineBottom - gh), dark), 0);
}

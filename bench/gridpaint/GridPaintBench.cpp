// The mini-HTML renderer against QTextDocument with the same content as HTML.
//   bench_gridpaint   (offscreen; run a Release build)
// Targets: 20 typical cell texts, each measured and drawn with word wrap into a 120 x 40 cell, at
// least as fast as QTextDocument (setHtml, setTextWidth, drawContents per cell) in the same run;
// a 1 MB hostile text of entities and tags measured in under 1 s, 2 MB in about twice that; a hit
// test under 100 microseconds per cell. The grid paints a page of 20 columns x 40 rows of these
// cells in under 50 ms, at most 3 x the same page with the tags stripped. Times are the best of
// five runs.
#include "grid/ZodUvuz.h"
#include "grid/minihtml/MiniHTML.h"
#include "grid/pictures/Pictures.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTextDocument>
#include <QUrl>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Cell {
    const char* mini;
    const char* html;
};

// Typical cells: bold and italic runs, a link, FONT COLOR, a container picture, a control, line
// breaks and list lines. The HTML side shows a control as its value.
const Cell kCells[] = {
    {"<B>Müller</B>, Hans", "<b>Müller</b>, Hans"},
    {"<I>offen</I> seit 12.03.", "<i>offen</i> seit 12.03."},
    {"<A HREF=\"mailto:a@b.de\">a@b.de</A>", "<a href=\"mailto:a@b.de\">a@b.de</a>"},
    {"<FONT COLOR=\"clred\">überfällig</FONT> 3 Tage", "<font color=\"#ff0000\">überfällig</font> 3 Tage"},
    {"<IMG SRC=\"logo\"> Firma GmbH", "<img src=\"logo\"> Firma GmbH"},
    {"Menge: <CONTROL TYPE=\"EDIT\" ID=\"m\" VALUE=\"12\" WIDTH=\"40\">", "Menge: 12"},
    {"Zeile eins<BR>Zeile zwei", "Zeile eins<br>Zeile zwei"},
    {"<UL><LI>Punkt eins</UL>", "<ul><li>Punkt eins</li></ul>"},
    {"<B>Summe:</B> <FONT COLOR=\"#008000\">1.234,50 &euro;</FONT>", "<b>Summe:</b> <font color=\"#008000\">1.234,50 &euro;</font>"},
    {"Bitte <U>nicht</U> ändern", "Bitte <u>nicht</u> ändern"},
    {"<B><I>Wichtig</I></B> &amp; dringend", "<b><i>Wichtig</i></b> &amp; dringend"},
    {"Status: <FONT COLOR=\"clblue\"><B>gesendet</B></FONT>", "Status: <font color=\"#0000ff\"><b>gesendet</b></font>"},
    {"<A HREF=\"http://x.de/a\">Angebot</A> vom 1.2.", "<a href=\"http://x.de/a\">Angebot</a> vom 1.2."},
    {"<CONTROL TYPE=\"CHECK\" ID=\"c\" VALUE=\"TRUE\" WIDTH=\"16\"> erledigt", "[x] erledigt"},
    {"Straße 12<BR>12345 Stadt", "Straße 12<br>12345 Stadt"},
    {"<FONT SIZE=\"2\">klein</FONT> und normal", "<font size=\"2\">klein</font> und normal"},
    {"<IMG SRC=\"logo\"><B>Kunde</B>", "<img src=\"logo\"><b>Kunde</b>"},
    {"Ein längerer Text, der in der Zelle umbrechen muss", "Ein längerer Text, der in der Zelle umbrechen muss"},
    {"<S>alt</S> <B>neu</B>", "<s>alt</s> <b>neu</b>"},
    {"<UL><LI><I>Anlage</I> fehlt</UL>", "<ul><li><i>Anlage</i> fehlt</li></ul>"},
};
constexpr int kCellCount = int(sizeof kCells / sizeof kCells[0]);
constexpr int kRounds = 200;

double bestOf5(const std::function<void()>& f)
{
    double best = 1e18;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    minihtml::MiniHTMLUnitStartup();
    QWidget window;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);

    QImage logo(16, 16, QImage::Format_RGB32);
    logo.fill(Qt::blue);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    logo.save(&buffer, "PNG");
    pictures::TPictureContainer container;
    pictures::TPictureItem* item = container.Items().Add();
    item->Name = QStringLiteral("logo");
    item->Picture()->LoadFromBytes(png);

    QImage canvas(120, 40, QImage::Format_RGB32);
    const QRect cell(0, 0, 120, 40);
    std::vector<QString> mini;
    std::vector<QString> html;
    for (const Cell& c : kCells) {
        mini.push_back(QString::fromUtf8(c.mini));
        html.push_back(QString::fromUtf8(c.html));
    }

    minihtml::TMiniHTMLInput in;
    in.Rect = cell;
    in.Font = font;
    in.FontColor = gfx::clBlack;
    in.PictureContainer = &container;
    in.Window = &window;
    minihtml::TMiniHTMLResult out;
    const double ours = bestOf5([&] {
        QPainter p(&canvas);
        for (int r = 0; r < kRounds; ++r)
            for (const QString& t : mini) {
                in.Text = t;
                in.MeasureOnly = true;
                minihtml::DrawMiniHTML(&p, in, out);
                in.MeasureOnly = false;
                minihtml::DrawMiniHTML(&p, in, out);
            }
    });
    const double peer = bestOf5([&] {
        QPainter p(&canvas);
        for (int r = 0; r < kRounds; ++r)
            for (const QString& t : html) {
                QTextDocument doc;
                doc.setDefaultFont(font);
                doc.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("logo")), logo);
                doc.setHtml(t);
                doc.setTextWidth(cell.width());
                doc.drawContents(&p, QRectF(cell));
            }
    });
    const double cells = double(kRounds) * kCellCount;
    std::printf("renderer: %.1f us per cell, QTextDocument %.1f us per cell, ratio %.2f (target <= 1)\n",
                ours * 1000 / cells, peer * 1000 / cells, ours / peer);

    // Hit tests at a point on each cell.
    in.HitTest = true;
    in.X = 30;
    in.Y = 8;
    const double hits = bestOf5([&] {
        for (int r = 0; r < kRounds; ++r)
            for (const QString& t : mini) {
                in.Text = t;
                minihtml::DrawMiniHTML(nullptr, in, out);
            }
    });
    std::printf("hit test: %.1f us per cell (target < 100)\n", hits * 1000 / cells);
    in.HitTest = false;

    // Hostile texts: entities and tags, measured whole.
    // Once with line breaks, once as one endless word (a single line).
    for (const QString& unit : {QStringLiteral("&amp;&lt;<B>x</B><FONT COLOR=\"clred\">&euro;</FONT><A HREF=\"a\">l</A> <I>&quot;</I><BR>"),
                               QStringLiteral("&amp;&lt;<B>x</B><FONT COLOR=\"clred\">&euro;</FONT><A HREF=\"a\">l</A><I>&quot;</I>")})
    for (int megabytes : {1, 2}) {
        QString text;
        while (text.size() < megabytes * 1024 * 1024)
            text += unit;
        in.Text = text;
        in.MeasureOnly = true;
        in.Rect = QRect(0, 0, 400, 400);
        const double ms = bestOf5([&] { minihtml::DrawMiniHTML(nullptr, in, out); });
        std::printf("hostile %d MB (%lld characters): %.0f ms measured, %d line(s) (target %s)\n", megabytes,
                    static_cast<long long>(text.size()), ms, out.Lines, megabytes == 1 ? "< 1000 ms" : "about 2 x");
    }

    // A page of the grid: 20 columns x 40 rows of the typical cells, and the same page stripped.
    for (bool stripped : {false, true}) {
        grid::TZedEzeravIvur g;
        g.SetColCount(21);
        g.SetRowCount(41);
        g.SetDefaultColWidth(120);
        g.SetDefaultRowHeight(40);
        g.SetPictureContainer(&container);
        g.resize(21 * 121 + 40, 41 * 41 + 40);
        g.show();
        QApplication::processEvents();
        for (int r = 1; r <= 40; ++r)
            for (int c = 1; c <= 20; ++c) {
                const QString& t = mini[size_t((r * 20 + c) % kCellCount)];
                g.SetCells(c, r, stripped ? minihtml::StripMiniHTMLTags(t) : t);
            }
        QImage page(g.viewport()->size(), QImage::Format_RGB32);
        const double ms = bestOf5([&] {
            QPainter p(&page);
            g.PaintTo(p, page.rect());
        });
        static double tagged = 0;
        if (!stripped) {
            tagged = ms;
            std::printf("grid page 20 x 40 mini-HTML cells (%d x %d pixels): %.1f ms (target < 50)\n", page.width(),
                        page.height(), ms);
        } else {
            std::printf("grid page stripped: %.1f ms, mini-HTML page / stripped %.2f (target <= 3)\n", ms, tagged / ms);
        }
    }
    return 0;
}

// What the grid paints around and across its cells: the flat frame of the modern looks, the filter
// button of header cells, and the mirrored cells of a right-to-left grid.
#include "grid/ZodUvuz.h"
#include "platform/grid/GridColors.h"

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace grid;

namespace {

void keep(const QImage& img, const char* name)
{
    if (qEnvironmentVariableIsSet("QLY_SCREENSHOT_DIR"))
        img.save(qEnvironmentVariable("QLY_SCREENSHOT_DIR") + QStringLiteral("/%1.png").arg(QLatin1String(name)));
}

// A window of a known background with one grid in it.
struct Window {
    QWidget window;
    TZedEzeravIvur* g;
    Window()
    {
        QPalette pal = window.palette();
        pal.setColor(QPalette::Window, QColor(0x20, 0xA0, 0x40));
        window.setPalette(pal);
        window.setAutoFillBackground(true);
        window.resize(380, 200);
        g = new TZedEzeravIvur(&window);
        g->setGeometry(10, 10, 360, 180);
        for (int c = 0; c < g->ColCount(); ++c)
            g->SetCells(c, 0, QStringLiteral("Head %1").arg(c));
        window.show();
        QApplication::processEvents();
    }
    QImage shot() { return g->grab().toImage(); }
};

// A grid whose column 2 header carries a filter button.
class FilterGrid : public TZedEzeravIvur {
public:
    using TZedEzeravIvur::TZedEzeravIvur;
    bool FilterButtonColumn(int col) override { return col == 2; }
};

} // namespace

TEST(GridFrame, ModernLooksDrawTheFlatFrameOthersKeepTheirs)
{
    Window w;
    const int width = w.g->width(), height = w.g->height();
    // 0xB99D7F (blue-grey) with themed drawing, else grey.
    const QRgb ring = w.g->ThemedDrawing() ? qRgb(0x7F, 0x9D, 0xB9) : qRgb(0x80, 0x80, 0x80);
    const QRgb parent = qRgb(0x20, 0xA0, 0x40);
    struct Case {
        TGridLook look;
        bool flat;
        bool frame;
        const char* name;
    } cases[] = {{glXP, false, true, "frame-xp"},          {glSoft, false, true, "frame-soft"},
                 {glZarn, false, true, "frame-zarn"},      {glListView, false, true, "frame-listview"},
                 {glStandard, false, false, "frame-standard"}, {glClassic, false, false, "frame-classic"},
                 {glXP, true, false, "frame-xp-flat"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        w.g->SetLook(c.look);
        w.g->SetFlat(c.flat);
        EXPECT_EQ(w.g->FlatFrameShown(), c.frame);
        const QImage img = w.shot();
        keep(img, c.name);
        // The ring one pixel inside the edge on all four sides, the outermost ring in the parent's colour.
        for (QPoint inner : {QPoint(width / 2, 1), QPoint(1, height / 2), QPoint(width - 2, height / 2),
                             QPoint(width / 2, height - 2)}) {
            if (c.frame)
                EXPECT_EQ(img.pixel(inner) | 0xFF000000u, ring) << inner.x() << "," << inner.y();
        }
        for (QPoint outer : {QPoint(width / 2, 0), QPoint(0, height / 2), QPoint(width - 1, height / 2),
                             QPoint(width / 2, height - 1)}) {
            if (c.frame)
                EXPECT_EQ(img.pixel(outer) | 0xFF000000u, parent) << outer.x() << "," << outer.y();
            else
                EXPECT_NE(img.pixel(outer) | 0xFF000000u, parent) << outer.x() << "," << outer.y();
        }
    }
    // No frame, no flat frame.
    w.g->SetLook(glXP);
    w.g->SetFlat(false);
    w.g->setFrameShape(QFrame::NoFrame);
    EXPECT_FALSE(w.g->FlatFrameShown());
}

TEST(GridFrame, FilterButtonInTheHeaderOfItsColumn)
{
    QWidget window;
    auto* g = new FilterGrid(&window);
    g->setGeometry(0, 0, 360, 120);
    g->SetFixedCols(0);
    for (int c = 0; c < g->ColCount(); ++c)
        g->SetCells(c, 0, QStringLiteral("A rather long header %1").arg(c));
    window.resize(360, 120);
    window.show();
    QApplication::processEvents();
    const QImage img = g->PaintToImage();
    keep(g->grab().toImage(), "filter-button");
    auto darkIn = [&](const QRect& r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                n += qGray(img.pixel(x, y)) < 128;
        return n;
    };
    // The rightmost 16 pixels of header 2 show the button; the text stops before it.
    const QRect h2 = g->CellRect(2, 0);
    const QRect button(h2.right() - 15, h2.top() + 2, 14, h2.height() - 4);
    EXPECT_GT(darkIn(button), 20);
    // A data cell below header 2 shows none.
    const QRect cell = g->CellRect(2, 1);
    EXPECT_EQ(darkIn(QRect(cell.right() - 15, cell.top() + 2, 14, cell.height() - 4)), 0);
    // The funnel differs from text: its middle column of pixels is dark from top to near bottom.
    int funnelColumn = 0;
    const int mx = h2.right() - 16 + 7;
    for (int y = h2.top(); y <= h2.bottom(); ++y)
        funnelColumn += qGray(img.pixel(mx, y)) < 128;
    EXPECT_GE(funnelColumn, 8);
}

TEST(GridMirror, RightToLeftCellsRunFromTheRightEdge)
{
    Window w;
    TZedEzeravIvur& g = *w.g;
    g.SetCells(2, 3, QStringLiteral("x"));
    const std::vector<QRect> ltr = [&] {
        std::vector<QRect> out;
        for (int c = 0; c < g.ColCount(); ++c)
            out.push_back(g.CellRect(c, 3));
        return out;
    }();
    g.setLayoutDirection(Qt::RightToLeft);
    QApplication::processEvents();
    const int vw = g.viewport()->width();
    // Every cell is its left-to-right rectangle mirrored within the viewport's width.
    for (int c = 0; c < g.ColCount(); ++c) {
        const QRect r = g.CellRect(c, 3);
        EXPECT_EQ(r.size(), ltr[size_t(c)].size()) << c;
        EXPECT_EQ(r.left(), vw - ltr[size_t(c)].left() - ltr[size_t(c)].width()) << c;
        EXPECT_EQ(r.top(), ltr[size_t(c)].top()) << c;
    }
    EXPECT_EQ(g.CellRect(0, 0).right(), vw - 1) << "the fixed column stands at the right edge";
    EXPECT_LT(g.CellRect(1, 0).right(), g.CellRect(0, 0).left());
    // The painted fixed column is on the right, the unused area on the left.
    const QImage img = g.PaintToImage();
    keep(w.window.grab().toImage(), "right-to-left");
    keep(img, "right-to-left-paint");
    const QRect fixedCell = g.CellRect(0, 2);
    const QRgb window = tk::ToQColor(g.Color(), g.palette()).rgb();
    EXPECT_NE(img.pixel(fixedCell.center()) | 0xFF000000u, window | 0xFF000000u);
    EXPECT_EQ(img.pixel(3, img.height() / 2) | 0xFF000000u, window | 0xFF000000u);
    // Left-justified text stands at the right of its cell, also in the last, partly covered column.
    auto darkIn = [&](const QRect& r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = std::max(0, r.left()); x <= r.right(); ++x)
                n += qGray(img.pixel(x, y)) < 100;
        return n;
    };
    const QRect x23 = g.CellRect(2, 3);
    EXPECT_GT(darkIn(QRect(x23.center().x(), x23.top(), x23.width() / 2, x23.height())), 0);
    EXPECT_EQ(darkIn(QRect(x23.left(), x23.top(), x23.width() / 2, x23.height())), 0);
    const QRect head4 = g.CellRect(4, 0);
    EXPECT_GT(darkIn(QRect(head4.left(), head4.top() + 3, head4.width() / 2, head4.height() - 6)), 0)
        << "the header's text is not clipped away by the fixed column's side";
    // Input follows the mirrored cells: a click on the mirrored rectangle selects that cell.
    const QRect target = g.CellRect(2, 3);
    EXPECT_EQ(g.MouseCoord(target.center().x(), target.center().y()).X, 2);
    QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, target.center());
    EXPECT_EQ(g.Col(), 2);
    EXPECT_EQ(g.Row(), 3);
    // The arrow keys follow the view: Left moves to the next column.
    g.setFocus();
    QTest::keyClick(&g, Qt::Key_Left);
    EXPECT_EQ(g.Col(), 3);
}

// A key that scrolls by a row or a column moves the pixels already on screen and paints only what
// comes into view; what stays on screen must equal a full repaint of the grid.
#include "InputFixture.h"
#include "grid/GridOptions.h"
#include "grid/ZodUvuzFooter.h"

#include <QApplication>
#include <QPaintEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

using namespace grid;
using namespace inputtest;

namespace {

// Adds up the area of the viewport's paint events.
class PaintArea : public QObject {
public:
    qint64 pixels = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            for (const QRect& r : static_cast<QPaintEvent*>(e)->region())
                pixels += qint64(r.width()) * r.height();
        return false;
    }
};

// A widget as it stands in the window's backing store (the offscreen screen reads it back).
QImage onScreen(QWidget* w)
{
    const QPoint at = w->mapTo(w->window(), QPoint());
    return w->screen()->grabWindow(w->window()->winId(), at.x(), at.y(), w->width(), w->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// A widget painted again as a whole.
QImage repainted(QWidget* w) { return w->grab().toImage().convertToFormat(QImage::Format_RGB32); }

struct ScrollCase {
    const char* name;
    std::function<void(TZedEzeravIvur&)> setup;
    // What scrolls: a key, or a new left column and top row when `key` is 0.
    Qt::Key key;
    QPoint shift;   // columns, rows
    // Whether the pixels may move (else the viewport is painted again whole).
    bool moves;
};

} // namespace

TEST(ScrollPaint, ScrollingMovesPixelsAndMatchesAFullRepaint)
{
    const std::vector<ScrollCase> cases = {
        {"Down from the last visible row", [](TZedEzeravIvur&) {}, Qt::Key_Down, {0, 1}, true},
        {"Up from the top row", [](TZedEzeravIvur& g) { g.FocusCell(2, g.TopRow(), true); }, Qt::Key_Up, {0, -1}, true},
        {"three rows at once", [](TZedEzeravIvur&) {}, Qt::Key(0), {0, 3}, true},
        {"Right from the last visible column",
         [](TZedEzeravIvur& g) { g.FocusCell(g.LeftCol() + g.VisibleColCount() - 1, g.TopRow() + 1, true); },
         Qt::Key_Right, {1, 0}, true},
        {"Left from the first scrolled column, two fixed columns, mixed widths, a merged header",
         [](TZedEzeravIvur& g) {
             g.SetFixedCols(2);
             for (int c = 0; c < g.ColCount(); ++c)
                 g.SetColWidths(c, c % 2 ? 45 : 70);
             g.MergeCells(4, 0, 3, 1);
             g.SetLeftCol(5);
             g.FocusCell(g.LeftCol(), g.TopRow() + 1, true);
         },
         Qt::Key_Left, {-1, 0}, true},
        {"two columns at once", [](TZedEzeravIvur&) {}, Qt::Key(0), {2, 0}, true},
        {"fixed rows and columns, mixed heights, a merged range across the edge",
         [](TZedEzeravIvur& g) {
             g.SetFixedRows(2);
             g.SetFixedCols(2);
             for (int r = 0; r < g.RowCount(); ++r)
                 g.SetRowHeights(r, r % 3 == 0 ? 31 : 19);
             g.SetCells(3, 5, "merged");
             g.MergeCells(3, 5, 2, 4);
             g.SetTopRow(6);
             g.FocusCell(3, g.TopRow() + g.VisibleRowCount() - 1, true);
         },
         Qt::Key_Down, {0, 1}, true},
        {"active row colour, Down inside the page",
         [](TZedEzeravIvur& g) {
             g.SetActiveRowShow(true);
             g.SetActiveRowColor(0x80FFFF);
             g.FocusCell(2, g.TopRow() + 2, true);
         },
         Qt::Key_Down, {0, 0}, true},
        {"bands, active row colour and a floating footer",
         [](TZedEzeravIvur& g) {
             g.Bands()->SetActive(true);
             g.SetActiveRowShow(true);
             g.SetActiveRowColor(0x80FFFF);
             g.FloatingFooter()->SetVisible(true);
             g.FocusCell(2, g.TopRow() + g.VisibleRowCount() - 1, true);
         },
         Qt::Key_Down, {0, 1}, true},
        {"vertical gradient behind the cells",
         [](TZedEzeravIvur& g) {
             g.BackGround()->SetDisplay(bdGradientVert);
             g.BackGround()->SetColor(0xFFFFFF);
             g.BackGround()->SetColorTo(0x0000FF);
             g.BackGround()->SetCells(bcAll);
         },
         Qt::Key_Down, {0, 1}, false},
        {"a child window over the rows",
         [](TZedEzeravIvur& g) {
             auto* child = new QWidget(g.viewport());
             child->setAutoFillBackground(true);
             child->setGeometry(120, 120, 60, 20);
             child->show();
         },
         Qt::Key_Down, {0, 1}, false},
    };
    for (const ScrollCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto g = std::make_unique<TZedEzeravIvur>();
        g->SetColCount(14);
        g->SetRowCount(60);
        for (int r = 0; r < 60; ++r)
            for (int col = 0; col < 14; ++col)
                g->SetCells(col, r, QStringLiteral("r%1c%2").arg(r).arg(col));
        g->resize(420, 300);
        g->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(g.get()));
        g->SetTopRow(10);
        g->FocusCell(2, g->TopRow() + g->VisibleRowCount() - 1, true);
        c.setup(*g);
        QApplication::processEvents();

        PaintArea area;
        g->viewport()->installEventFilter(&area);
        const QPoint first(g->LeftCol(), g->TopRow());
        if (c.key) {
            QTest::keyClick(g.get(), c.key);
        } else {
            g->SetLeftCol(first.x() + c.shift.x());
            g->SetTopRow(first.y() + c.shift.y());
        }
        QApplication::processEvents();
        g->viewport()->removeEventFilter(&area);

        EXPECT_EQ(QPoint(g->LeftCol(), g->TopRow()), first + c.shift);
        const qint64 whole = qint64(g->viewport()->width()) * g->viewport()->height();
        if (c.moves)
            EXPECT_LT(area.pixels, whole / 3) << area.pixels << " of " << whole;
        else   // all but what a child window covers
            EXPECT_GT(area.pixels, whole * 9 / 10) << area.pixels << " of " << whole;
        const QImage shown = onScreen(g->viewport());
        const QImage fresh = repainted(g->viewport());
        ASSERT_EQ(shown.size(), fresh.size());
        EXPECT_TRUE(shown == fresh);
        if (shown != fresh) {
            saveShot(QPixmap::fromImage(shown), QStringLiteral("scroll-shown.png"));
            saveShot(QPixmap::fromImage(fresh), QStringLiteral("scroll-fresh.png"));
        }
    }
}

TEST(ScrollPaint, TheScrollBarIsRepaintedOnlyWhenItsLookChanges)
{
    TZedEzeravIvur g;
    g.SetColCount(4);
    g.SetRowCount(3000);
    g.resize(300, 200);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    QScrollBar* bar = g.verticalScrollBar();
    ASSERT_TRUE(bar->isVisible());
    g.FocusCell(1, g.TopRow() + g.VisibleRowCount() - 1, true);
    QApplication::processEvents();
    int paints = 0;
    struct Counter : QObject {
        int* n;
        explicit Counter(int* count) : n(count) {}
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint)
                ++*n;
            return false;
        }
    } counter(&paints);
    // Steps of one row among 3,000 move the thumb now and then; the last steps reach the end,
    // where the bar looks different again.
    auto step = [&](Qt::Key key, int times) {
        for (int i = 0; i < times; ++i) {
            bar->installEventFilter(&counter);   // not while grabbing
            QTest::keyClick(&g, key);
            QApplication::processEvents();
            bar->removeEventFilter(&counter);
            ASSERT_TRUE(onScreen(bar) == repainted(bar)) << "after " << i + 1 << " keys";
        }
    };
    step(Qt::Key_Down, 40);
    EXPECT_GT(paints, 0);
    EXPECT_LT(paints, 20);
    step(Qt::Key_PageDown, 3);
    g.FocusCell(1, 2990, true);
    QApplication::processEvents();
    step(Qt::Key_Down, 12);
    EXPECT_EQ(bar->value(), bar->maximum());
    step(Qt::Key_Up, 30);
}

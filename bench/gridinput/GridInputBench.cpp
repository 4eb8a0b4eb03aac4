// Input handling of the string grid on 100,000 rows x 20 columns.
//   bench_gridinput        (offscreen; run a Release build)
// Targets: one Ctrl+wheel notch (zoom) under 20 ms; 1,000 pointer moves over a page of mini-HTML
// cells with links under 1 ms per move; 1,000 Down keys with OnSelectionChanged under 1 ms per
// key, the painted area per key far below the whole grid; a sort by a click on the sort row within
// 1.2 x SortByColumn on the same rows. Times are the best of five runs.
#include "grid/ZodUvuz.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

using namespace grid;

namespace {
constexpr int kRows = 100000;
constexpr int kCols = 20;

std::unique_ptr<TZedEzeravIvur> bigGrid()
{
    auto g = std::make_unique<TZedEzeravIvur>();
    g->BeginUpdate();
    g->SetColCount(kCols);
    g->SetRowCount(kRows);
    for (int r = 1; r < kRows; ++r)
        for (int c = 1; c < kCols; ++c)
            g->SetCells(c, r, QStringLiteral("r%1c%2_%3").arg((r * 7919) % kRows).arg(c).arg(r % 13));
    g->EndUpdate();
    g->resize(1200, 800);
    g->show();
    QApplication::processEvents();
    return g;
}

double bestOf(int runs, const std::function<void()>& prepare, const std::function<void()>& work)
{
    double best = 1e100;
    for (int i = 0; i < runs; ++i) {
        prepare();
        QElapsedTimer t;
        t.start();
        work();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

void report(const char* what, double value, double limit, const char* unit)
{
    std::printf("%-52s %10.3f %-6s (limit %.3f) %s\n", what, value, unit, limit, value <= limit ? "ok" : "MISSED");
}

class PaintArea : public QObject {
public:
    qint64 pixels = 0;
    int full = 0;
    QSize size;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) {
            const QRegion r = static_cast<QPaintEvent*>(e)->region();
            for (const QRect& rect : r)
                pixels += qint64(rect.width()) * rect.height();
            if (r.boundingRect().size() == size)
                ++full;
        }
        return false;
    }
};
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    auto g = bigGrid();
    QWidget* vp = g->viewport();

    // Zoom: one notch with Ctrl.
    const QPoint at = g->CellRect(2, 2).center();
    int sign = 1;
    const double zoom = bestOf(5, [] {}, [&] {
        QWheelEvent ev(at, vp->mapToGlobal(at), QPoint(), QPoint(0, 120 * sign), Qt::NoButton, Qt::ControlModifier,
                       Qt::NoScrollPhase, false);
        QApplication::sendEvent(vp, &ev);
        QApplication::processEvents();
        sign = -sign;
    });
    report("Ctrl+wheel notch (zoom)", zoom, 20, "ms");

    // Pointer moves over a page of mini-HTML cells with links.
    for (int r = g->TopRow(); r < g->TopRow() + g->VisibleRowCount(); ++r)
        for (int c = 1; c < kCols; ++c)
            g->SetCells(c, r, QStringLiteral("<b>%1</b> <a href=\"http://example.org/%1\">link</a>").arg(r));
    QApplication::processEvents();
    std::vector<QPoint> points;
    for (int i = 0; i < 1000; ++i) {
        const int r = g->TopRow() + i % g->VisibleRowCount();
        const int c = 1 + (i * 7) % (std::min(kCols - 1, g->VisibleColCount()));
        points.push_back(g->CellRect(c, r).topLeft() + QPoint(4 + i % 40, 8));
    }
    int enters = 0;
    g->OnAnchorEnter = [&](QObject*, int, int, const QString&) { ++enters; };
    const double moves = bestOf(5, [] {}, [&] {
        for (const QPoint& p : points)
            QTest::mouseMove(vp, p);
        QApplication::processEvents();
    });
    report("pointer move over mini-HTML cells with links", moves / 1000, 1, "ms");
    std::printf("  anchors entered: %d in 5 x 1000 moves\n", enters);

    // Down keys with a selection handler.
    int changes = 0;
    g->OnSelectionChanged = [&](QObject*, int, int, int, int) { ++changes; };
    PaintArea area;
    area.size = vp->size();
    vp->installEventFilter(&area);
    // Within the page (Down and Up in turn), and from the top downwards (scrolling).
    const double keys = bestOf(5, [&] { g->FocusCell(1, 5, true); QApplication::processEvents(); area.pixels = 0; area.full = 0; }, [&] {
        for (int i = 0; i < 1000; ++i) {
            QTest::keyClick(g.get(), i % 2 ? Qt::Key_Up : Qt::Key_Down);
            QApplication::processEvents();
        }
    });
    report("Down/Up key with OnSelectionChanged (in the page)", keys / 1000, 1, "ms");
    std::printf("  painted per key: %.1f %% of the viewport, whole-viewport repaints: %d of 1000 (handler calls %d)\n",
                100.0 * double(area.pixels) / 1000.0 / (double(area.size.width()) * area.size.height()), area.full,
                changes);
    const double scrolling = bestOf(5, [&] { g->FocusCell(1, 1, true); g->SetTopRow(1); QApplication::processEvents(); area.pixels = 0; area.full = 0; }, [&] {
        for (int i = 0; i < 1000; ++i) {
            QTest::keyClick(g.get(), Qt::Key_Down);
            QApplication::processEvents();
        }
    });
    vp->removeEventFilter(&area);
    report("Down key with OnSelectionChanged (scrolling)", scrolling / 1000, 1, "ms");
    std::printf("  painted per key: %.1f %% of the viewport, whole-viewport repaints: %d of 1000 (handler calls %d)\n",
                100.0 * double(area.pixels) / 1000.0 / (double(area.size.width()) * area.size.height()), area.full,
                changes);

    // A sort by a click on the sort row against SortByColumn.
    g->SortSettings()->SetShow(true);
    auto unsort = [&] {
        g->SortSettings()->Column = 0;
        g->SortSettings()->Direction = sdAscending;
        g->RestoreRowOrder();
    };
    const double direct = bestOf(5, unsort, [&] {
        g->SortSettings()->Column = 3;
        g->SortByColumn();
    });
    const double click = bestOf(5, unsort, [&] { QTest::mouseClick(vp, Qt::LeftButton, {}, g->CellRect(3, 0).center()); });
    std::printf("%-52s %10.3f ms\n", "SortByColumn", direct);
    report("header-click sort / SortByColumn", click / direct, 1.2, "x");
    return 0;
}

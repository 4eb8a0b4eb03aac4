// Paging with the vertical scroll bar moves the rows already on screen and paints what comes into
// view: what the window then shows must equal a full repaint of the grid, also when the rows do not
// fill the view (a part row's worth of empty space under the last row).
#include "GridFixture.h"
#include "ScreenPixels.h"
#include <QScrollBar>
#include <functional>
#include <gtest/gtest.h>

using namespace gridtest;
using namespace qlytest;
using namespace xdb;

namespace {

void ClickBar(QScrollBar* bar, QStyle::SubControl part, int times)
{
    for (int i = 0; i < times; ++i) {
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, ScrollBarPoint(bar, part));
        QApplication::processEvents();
    }
}

// Drags the thumb by about `records` records and lets it go.
void DragThumb(QScrollBar* bar, int records)
{
    const QPoint from = ScrollBarPoint(bar, QStyle::SC_ScrollBarSlider);
    const int track = ScrollBarRect(bar, QStyle::SC_ScrollBarGroove).height() -
                      ScrollBarRect(bar, QStyle::SC_ScrollBarSlider).height();
    const QPoint to = from + QPoint(0, track * records / std::max(1, bar->maximum() - bar->minimum()));
    QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, from);
    QMouseEvent move(QEvent::MouseMove, to, bar->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &move);
    QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, to);
    QApplication::processEvents();
}

struct PagingCase {
    const char* name;
    std::function<void(ListGrid&)> setup;
    int clickedRow;                         // data row clicked first; -1: the last whole row
    std::function<void(QScrollBar*)> use;   // what the user does with the bar
};

} // namespace

TEST(GridScrollPaint, PagingWithTheScrollBarEqualsAFullRepaint)
{
    const auto multiSelect = [](ListGrid& g) { g.grid->SetOptions(g.grid->Options() | dgMultiSelect | dgIndicator); };
    const std::vector<PagingCase> cases = {
        {"row 5, the track below the thumb", [](ListGrid&) {}, 4,
         [](QScrollBar* bar) { ClickBar(bar, QStyle::SC_ScrollBarAddPage, 1); }},
        {"row 5 selected, the track below the thumb twice", multiSelect, 4,
         [](QScrollBar* bar) { ClickBar(bar, QStyle::SC_ScrollBarAddPage, 2); }},
        {"the last row, the track below the thumb", [](ListGrid&) {}, -1,
         [](QScrollBar* bar) { ClickBar(bar, QStyle::SC_ScrollBarAddPage, 1); }},
        {"the track above the thumb, from the middle", [](ListGrid& g) { g.ds.SetRecNo(60); }, 3,
         [](QScrollBar* bar) { ClickBar(bar, QStyle::SC_ScrollBarSubPage, 1); }},
        {"the arrow below three times, a selected row and the indicator", multiSelect, 4,
         [](QScrollBar* bar) { ClickBar(bar, QStyle::SC_ScrollBarAddLine, 3); }},
        {"the thumb dragged a few records", multiSelect, 4, [](QScrollBar* bar) { DragThumb(bar, 7); }},
    };
    // Rows that fill the view exactly, and two heights that leave a part row under the last row.
    for (const int height : {298, 289, 307}) {
        for (const PagingCase& c : cases) {
            SCOPED_TRACE(c.name);
            SCOPED_TRACE(height);
            ListGrid g(120);
            g.grid->resize(420, height);
            ASSERT_TRUE(QTest::qWaitForWindowExposed(g.grid.get()));
            c.setup(g);
            QApplication::processEvents();
            const int rows = g.grid->VisibleRowCount();
            ASSERT_GT(rows, 6);
            g.Click(2, c.clickedRow >= 0 ? c.clickedRow : rows - 1);
            QApplication::processEvents();
            const int before = g.ds.RecNo();
            QScrollBar* bar = g.grid->verticalScrollBar();
            ASSERT_TRUE(bar->isVisible());
            c.use(bar);
            EXPECT_NE(g.ds.RecNo(), before) << "the bar moves the current record";
            EXPECT_EQ(bar->value(), g.ds.RecNo()) << "the thumb shows the current record";
            const QImage shown = OnScreen(g.grid->viewport());
            g.grid->viewport()->update();
            QApplication::processEvents();
            const auto [differing, where] = DifferingPixels(shown, OnScreen(g.grid->viewport()));
            EXPECT_EQ(differing, 0) << "record " << before << " -> " << g.ds.RecNo() << ", in x " << where.x() << ".."
                                    << where.right() << " y " << where.y() << ".." << where.bottom();
        }
    }
}

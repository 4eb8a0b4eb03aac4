// Scroll bars and sizing: always-visible and flat bars, thumb hints, stretching, whole-row
// heights, sizing all columns together and scrolling while dragging.
#include "RowsFixture.h"

#include <QCoreApplication>
#include <QImage>
#include <QScrollBar>
#include <QTimer>
#include <gtest/gtest.h>

using namespace grid;
using namespace rowtest;

TEST(Scroll, ArithmeticHelpers)
{
    struct Case {
        qint64 a, b, c, want;
    };
    const Case cases[] = {{10, 3, 4, 8},  {5, 1, 2, 3},   {-5, 1, 2, -3}, {7, 1, -2, -4},
                          {1, 1, 3, 0},   {2, 1, 3, 1},   {9, 9, 0, -1},  {3000000000LL, 3, 2, 4500000000LL}};
    for (const Case& c : cases)
        EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.want) << c.a << "*" << c.b << "/" << c.c;

    // 100 normal rows of 21 px (lines 1 px) under a fixed row, 250 px high, top row 40.
    const int fixed = 1 + 22;
    const int total = 1 + 100 * 22;
    const int above = 1 + 39 * 22;
    const TProportionalScroll s = ProportionalScrollInfo(250, fixed, total, above, 0, false);
    const float d = float(250 - fixed) / float(total);
    EXPECT_FALSE(s.fits);
    EXPECT_EQ(s.nMax, int((d + 127.0f) / (1.0f - d)));
    EXPECT_EQ(s.nPage, s.nMax - 126);
    EXPECT_EQ(s.nPos, int(double(above) / (total - 250) * 128.0));
    EXPECT_TRUE(ProportionalScrollInfo(500, fixed, 300, 0, 5, true).fits);
}

TEST(Scroll, AlwaysVisibleBarIsDisabledWhileEverythingFits)
{
    auto g = makeGrid(3, 3);
    g->resize(300, 300);
    g->show();
    g->SetScrollBarAlways(saVert);
    EXPECT_EQ(g->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_FALSE(g->verticalScrollBar()->isEnabled());
    g->SetRowCount(100);
    g->UpdateScrollBarsAlways();
    EXPECT_TRUE(g->verticalScrollBar()->isEnabled());
    EXPECT_NE(g->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST(Scroll, IntegralHeightFitsWholeRows)
{
    auto g = makeGrid(3, 3);
    g->SetDefaultRowHeight(21);
    g->SetIntegralHeight(true);
    g->SetBounds(0, 0, 400, 200);
    EXPECT_EQ(g->height(), 193);   // 200 + 2 - (198 mod 21)
    g->show();
    g->resize(400, 240);           // resizing keeps whole rows as well
    EXPECT_EQ(g->height(), 240 + 2 - (238 % 21));
    g->SetIntegralHeight(false);
    g->SetBounds(0, 0, 400, 200);
    EXPECT_EQ(g->height(), 200);
}

TEST(Scroll, StretchColumnFillsTheClientWidth)
{
    auto g = makeGrid(3, 3);
    g->resize(400, 200);
    for (int c = 0; c < 3; ++c)
        g->SetColWidths(c, 50);
    g->ColumnSize()->SetStretch(true);
    g->StretchColumn(1);
    const int client = g->viewport()->width();
    EXPECT_EQ(g->ColWidths(1), client - 100 - 1);
    EXPECT_THROW(g->StretchColumn(3), tk::EInvalidGridOperation);
    EXPECT_EQ(g->ColWidths(1), client - 100 - 1);

    // The automatic path (a width change) falls back to the last column.
    g->ColumnSize()->StretchColumn = 7;
    g->SetColWidths(0, 60);
    EXPECT_EQ(g->ColWidths(2), client - 60 - (client - 101) - 1);

    // Others wider than the client: the default width while not scrolled.
    g->ColumnSize()->StretchColumn = 2;
    g->SetColWidths(0, 500);
    EXPECT_EQ(g->ColWidths(2), g->DefaultColWidth());
}

TEST(Scroll, StretchSetOnAShownGridTakesEffectAtOnce)
{
    QWidget window;
    window.resize(420, 220);
    auto* g = new grid::TZedEzeravIvur(&window);
    g->setGeometry(10, 10, 400, 200);
    g->SetColCount(4);
    for (int c = 0; c < 4; ++c)
        g->SetCells(c, 0, QStringLiteral("Col %1").arg(c));
    window.show();
    QCoreApplication::processEvents();
    ASSERT_EQ(g->ColWidths(3), g->DefaultColWidth());
    const int before = g->viewport()->width();

    g->ColumnSize()->SetStretch(true);   // no resize follows
    const int others = 3 * g->DefaultColWidth();
    EXPECT_EQ(g->ColWidths(3), g->viewport()->width() - others - 1);
    EXPECT_EQ(g->viewport()->width(), before);
    QCoreApplication::processEvents();
    const QImage shot = window.grab().toImage();
    if (qEnvironmentVariableIsSet("QLY_SCREENSHOT_DIR"))
        shot.save(qEnvironmentVariable("QLY_SCREENSHOT_DIR") + QStringLiteral("/grid-stretch.png"));
    // The header row reaches the viewport's right edge: no empty strip beside the last column.
    const QPoint inLast = g->viewport()->mapTo(&window, QPoint(g->viewport()->width() - 3, 5));
    EXPECT_NE(shot.pixelColor(inLast), QColor(Qt::white));

    // Another column named while on stretches that one.
    g->ColumnSize()->SetStretch(false);
    g->SetColWidths(3, 64);
    g->ColumnSize()->StretchColumn = 1;
    g->ColumnSize()->SetStretch(true);
    EXPECT_EQ(g->ColWidths(1), g->viewport()->width() - 3 * 64 - 1);

    // A grid without a window is left to its first resize.
    grid::TZedEzeravIvur loose;
    loose.resize(400, 200);
    loose.ColumnSize()->SetStretch(true);
    EXPECT_EQ(loose.ColWidths(4), loose.DefaultColWidth());
}

TEST(Scroll, SizingOneColumnSizesTheOthersOnce)
{
    auto g = makeGrid(3, 4);
    for (int c = 0; c < 4; ++c)
        g->SetColWidths(c, 40);
    g->MouseActions()->AllColumnSize = true;
    std::vector<int> ended;
    g->OnEndColumnSize = [&](QObject*, int c) { ended.push_back(c); };
    g->SetSizingRecord(2, 40, -1, 0);
    g->SetColWidths(2, 80);
    EXPECT_EQ(g->ColWidths(1), 80);
    EXPECT_EQ(g->ColWidths(3), 80);
    EXPECT_EQ(g->ColWidths(0), 40);   // fixed
    EXPECT_EQ(ended, std::vector<int>{2});
    g->SetColWidths(1, 90);            // no sizing record: nothing else moves
    EXPECT_EQ(g->ColWidths(3), 80);

    g->MouseActions()->AllRowSize = true;
    g->SetSizingRecord(-1, 0, 1, 21);
    g->SetRowHeights(1, 42);
    EXPECT_EQ(g->RowHeights(2), 42);
    EXPECT_EQ(g->RowHeights(0), g->DefaultRowHeight());
}

TEST(Scroll, TheThumbHintShowsTheRowUnderTheThumbAndSynchFollowsIt)
{
    for (bool synch : {false, true}) {
        SCOPED_TRACE(synch);
        auto g = makeGrid(200, 3);
        g->resize(300, 300);
        g->show();
        g->ScrollHints = shVertical;
        g->SetScrollSynch(synch);
        QScrollBar* bar = g->verticalScrollBar();
        bar->setSliderDown(true);
        bar->setSliderPosition(89);
        EXPECT_EQ(g->ScrollHintText(), "Row : 90");
        EXPECT_EQ(g->TopRow(), synch ? 90 : 1);
        bar->setSliderDown(false);
        EXPECT_EQ(g->ScrollHintText(), "");
        EXPECT_EQ(g->TopRow(), 90);
    }
}

TEST(Scroll, DraggingNearAnEdgeScrollsAfterTheDelays)
{
    auto g = makeGrid(200, 3);
    g->resize(300, 300);
    g->show();
    g->SetTopRow(50);
    g->DragScrollOptions()->Active = true;
    g->DragOverScroll(150, 150, false);   // not near an edge
    EXPECT_EQ(g->DragScrollTimer(), nullptr);
    g->DragOverScroll(150, 10, false);
    ASSERT_NE(g->DragScrollTimer(), nullptr);
    EXPECT_EQ(g->DragScrollTimer()->interval(), 1000);
    g->DragScrollTick();
    EXPECT_EQ(g->DragScrollTimer()->interval(), 250);
    EXPECT_EQ(g->TopRow(), 49);
    bool allow = false;
    g->OnDragScroll = [&](QObject*, int, int, int& dir, bool& can) {
        EXPECT_EQ(dir, int(dsdUp));
        can = allow;
    };
    g->DragScrollTick();
    EXPECT_EQ(g->TopRow(), 49);
    allow = true;
    g->DragScrollTick();
    EXPECT_EQ(g->TopRow(), 48);
    g->DragOverScroll(0, 0, true);
    EXPECT_EQ(g->DragScrollTimer(), nullptr);
}

TEST(Scroll, FlatBarsShowTheScrollColour)
{
    auto g = makeGrid(200, 3);
    g->resize(300, 300);
    g->SetScrollColor(0x0000FF);   // red
    g->SetScrollWidth(12);
    g->SetScrollType(ssFlat);
    g->show();
    QScrollBar* bar = g->verticalScrollBar();
    bar->setValue(0);
    EXPECT_EQ(bar->width(), 12);
    const QImage barImage = bar->grab().toImage();
    // Below the thumb (at the top) the groove shows.
    EXPECT_EQ(barImage.pixelColor(bar->width() / 2, bar->height() - 3), QColor(255, 0, 0));
}

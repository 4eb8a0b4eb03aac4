#pragma once
// What a widget shows on the (offscreen) screen, compared with a fresh paint; the parts of a
// scroll bar to click.
#include <QImage>
#include <QRect>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWidget>
#include <algorithm>
#include <utility>

namespace qlytest {

// The widget as it stands in the window's backing store (the offscreen screen reads it back).
inline QImage OnScreen(QWidget* w)
{
    const QPoint at = w->mapTo(w->window(), QPoint());
    return w->screen()
        ->grabWindow(w->window()->winId(), at.x(), at.y(), w->width(), w->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// A part of the scroll bar (the groove, the thumb, the track above or below it, an arrow button).
inline QRect ScrollBarRect(QScrollBar* bar, QStyle::SubControl part)
{
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    option.upsideDown = bar->invertedAppearance();
    option.subControls = QStyle::SC_All;
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, part, bar);
}

inline QPoint ScrollBarPoint(QScrollBar* bar, QStyle::SubControl part) { return ScrollBarRect(bar, part).center(); }

// The number of pixels that differ between two pictures, and the rectangle around them.
inline std::pair<int, QRect> DifferingPixels(const QImage& a, const QImage& b)
{
    int n = 0;
    QRect where;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y)
        for (int x = 0; x < std::min(a.width(), b.width()); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) {
                ++n;
                where |= QRect(x, y, 1, 1);
            }
    return {n, where};
}

} // namespace qlytest

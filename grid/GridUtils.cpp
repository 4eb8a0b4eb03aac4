#include "grid/GridUtils.h"

#include <QPainter>
#include <cmath>

namespace grid {

namespace {
QColor rgb(TColor c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }
int part(TColor c, int shift) { return int((c >> shift) & 0xFF); }
TColor make(int r, int g, int b) { return TColor(r & 0xFF) | TColor(g & 0xFF) << 8 | TColor(b & 0xFF) << 16; }
} // namespace

int RoundHalfEven(double value) { return int(std::nearbyint(value)); }

TColor GradientColorAt(TColor from, TColor to, int start, int end, int pos)
{
    if (to == gfx::clNone || end == start)
        return from;
    const double span = double(end - start);
    int c[3];
    for (int i = 0; i < 3; ++i) {
        const int f = part(from, 8 * i), t = part(to, 8 * i);
        c[i] = f + RoundHalfEven(double(t - f) / span * pos);
    }
    return make(c[0], c[1], c[2]);
}

void DrawGradientFill(QPainter& painter, TColor from, TColor to, int steps, const QRect& rect, bool horizontal)
{
    if (to == gfx::clNone) {
        painter.fillRect(rect, rgb(from));
        return;
    }
    if (steps <= 0)
        steps = 1;
    const double band = double(horizontal ? rect.width() : rect.height()) / steps;
    const int across = RoundHalfEven(band) + 1;
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    for (int n = 0; n < steps; ++n) {
        int c[3];
        for (int i = 0; i < 3; ++i) {
            const int f = part(from, 8 * i), t = part(to, 8 * i);
            c[i] = f + RoundHalfEven(double(n) * (t - f) / steps);
        }
        const int offset = RoundHalfEven(n * band);
        const QRect r = horizontal ? QRect(rect.left() + offset, rect.top(), across, rect.height())
                                   : QRect(rect.left(), rect.top() + offset, rect.width(), across);
        painter.fillRect(r, rgb(make(c[0], c[1], c[2])));
    }
    painter.restore();
}

} // namespace grid

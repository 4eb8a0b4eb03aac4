#pragma once
// Free routines the grid family shares.
#include "platform/graphics/Graphics.h"
#include <QRect>

class QPainter;

namespace grid {

using gfx::TColor;

// Delphi-style rounding: halves go to the even neighbour.
int RoundHalfEven(double value);

// The colour at `pos` of a gradient from `from` (at `start`) to `to` (at `end`): `from` when `to` is
// clNone or the range is empty. Colours are plain RGB values (0x00BBGGRR).
TColor GradientColorAt(TColor from, TColor to, int start, int end, int pos);

// Fills `rect` with `steps` bands from `from` to `to` (left to right when horizontal, else top to
// bottom); with `to` = clNone the rectangle is plain `from`. The last band stops one step short of `to`.
void DrawGradientFill(QPainter& painter, TColor from, TColor to, int steps, const QRect& rect, bool horizontal);

} // namespace grid

#pragma once
// Colour resolution for painted controls: every TColor (plain, system, clNone, clDefault) becomes
// an RGB value through the widget's palette. The two caption gradient colours have no palette role;
// they get fixed values from one table. Colour comparisons are made on resolved values.
#include "platform/graphics/Graphics.h"
#include <QColor>
#include <QPalette>

namespace tk {

using gfx::TColor;

constexpr TColor clGradientActiveCaption = gfx::SystemColor(27);
constexpr TColor clGradientInactiveCaption = gfx::SystemColor(28);

// RGB value (0x00BBGGRR) of a colour; clNone and clDefault come back unchanged.
TColor ResolveColor(TColor c, const QPalette& palette);
QColor ToQColor(TColor c, const QPalette& palette); // invalid for clNone / clDefault
// True when both colours resolve to the same RGB value.
bool SameColor(TColor a, TColor b, const QPalette& palette);

} // namespace tk

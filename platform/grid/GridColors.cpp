#include "platform/grid/GridColors.h"

namespace tk {

namespace {
struct FixedColor {
    TColor system;
    TColor rgb;
};
// System colours without a palette role: the classic desktop scheme's values.
constexpr FixedColor kFixedColors[] = {
    {clGradientActiveCaption, gfx::RGBColor(166, 202, 240)},
    {clGradientInactiveCaption, gfx::RGBColor(192, 192, 192)},
};
} // namespace

TColor ResolveColor(TColor c, const QPalette& palette)
{
    if (c == gfx::clNone || c == gfx::clDefault)
        return c;
    for (const FixedColor& f : kFixedColors)
        if (f.system == c)
            return f.rgb;
    return gfx::ColorToRGB(c, &palette);
}

QColor ToQColor(TColor c, const QPalette& palette)
{
    if (c == gfx::clNone || c == gfx::clDefault)
        return QColor();
    const TColor rgb = ResolveColor(c, palette);
    return QColor(gfx::RValue(rgb), gfx::GValue(rgb), gfx::BValue(rgb));
}

bool SameColor(TColor a, TColor b, const QPalette& palette)
{
    return ResolveColor(a, palette) == ResolveColor(b, palette);
}

} // namespace tk

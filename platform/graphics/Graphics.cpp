#include "platform/graphics/Graphics.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>

namespace gfx {

QPalette::ColorRole SystemColorRole(TColor c)
{
    if (!IsSystemColor(c))
        return QPalette::NoRole;
    switch (c & 0xFF) {
    case 0: return QPalette::Button;           // scroll bar
    case 1: return QPalette::Window;           // desktop
    case 2: return QPalette::Highlight;        // active caption
    case 3: return QPalette::Mid;              // inactive caption
    case 4: return QPalette::Window;           // menu
    case 5: return QPalette::Base;             // window
    case 6: return QPalette::Shadow;           // window frame
    case 7: return QPalette::WindowText;       // menu text
    case 8: return QPalette::Text;             // window text
    case 9: return QPalette::HighlightedText;  // caption text
    case 10: return QPalette::Button;          // active border
    case 11: return QPalette::Button;          // inactive border
    case 12: return QPalette::Mid;             // application work space
    case 13: return QPalette::Highlight;
    case 14: return QPalette::HighlightedText;
    case 15: return QPalette::Button;          // button face
    case 16: return QPalette::Dark;            // button shadow
    case 17: return QPalette::PlaceholderText; // grey text
    case 18: return QPalette::ButtonText;
    case 19: return QPalette::WindowText;      // inactive caption text
    case 20: return QPalette::Light;           // button highlight
    case 21: return QPalette::Shadow;          // 3D dark shadow
    case 22: return QPalette::Midlight;        // 3D light
    case 23: return QPalette::ToolTipText;
    case 24: return QPalette::ToolTipBase;
    case 26: return QPalette::Link;            // hot light
    case 29: return QPalette::Highlight;       // menu highlight
    case 30: return QPalette::Window;          // menu bar
    default: return QPalette::NoRole;
    }
}

TColor ColorToRGB(TColor c, const QPalette* palette)
{
    if (!IsSystemColor(c))
        return c;
    const QPalette pal = palette ? *palette : QGuiApplication::palette();
    const QPalette::ColorRole role = SystemColorRole(c);
    if (role == QPalette::NoRole)
        return clBlack;
    return FromQColor(pal.color(QPalette::Active, role));
}

QColor ToQColor(TColor c, const QPalette* palette)
{
    if (c == clNone || c == clDefault)
        return QColor();
    const TColor rgb = ColorToRGB(c, palette);
    return QColor(RValue(rgb), GValue(rgb), BValue(rgb));
}

TColor FromQColor(const QColor& c)
{
    if (!c.isValid())
        return clNone;
    return RGBColor(c.red(), c.green(), c.blue());
}

bool IsFixedPitch(const QFont& font)
{
    const QFontMetrics fm(font);
    return fm.horizontalAdvance(QLatin1Char('W')) == fm.horizontalAdvance(QLatin1Char('i'));
}

QFont FixedPitchFont(const QString& family, int pixelSize)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    if (!IsFixedPitch(font)) {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPixelSize(pixelSize);
    }
    return font;
}

QFont FontOfSize(const QString& family, int pointSize)
{
    QFont font(family);
    font.setPointSize(pointSize);
    return font;
}

}  // namespace gfx

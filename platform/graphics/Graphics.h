#pragma once
// Colour and font basics of the toolkit: 0x00BBGGRR colour values with the special values
// clNone and clDefault and the system colours (mapped to palette roles), and small font helpers.
#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>
#include <cstdint>

namespace gfx {

// A colour as 0x00BBGGRR; values with the top byte 0xFF name a system colour (low byte = index).
using TColor = std::int32_t;

constexpr TColor clNone = 0x1FFFFFFF;     // "no colour": the caller draws nothing / uses its own
constexpr TColor clDefault = 0x20000000;  // the caller's default colour

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clMoneyGreen = 0xC0DCC0;
constexpr TColor clSkyBlue = 0xF0CAA6;
constexpr TColor clCream = 0xF0FBFF;
constexpr TColor clMedGray = 0xA4A0A0;

constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000u);
constexpr TColor SystemColor(int index) { return static_cast<TColor>(0xFF000000u | static_cast<std::uint32_t>(index)); }
constexpr TColor clScrollBar = SystemColor(0);
constexpr TColor clBackground = SystemColor(1);
constexpr TColor clActiveCaption = SystemColor(2);
constexpr TColor clInactiveCaption = SystemColor(3);
constexpr TColor clMenu = SystemColor(4);
constexpr TColor clWindow = SystemColor(5);
constexpr TColor clWindowFrame = SystemColor(6);
constexpr TColor clMenuText = SystemColor(7);
constexpr TColor clWindowText = SystemColor(8);
constexpr TColor clCaptionText = SystemColor(9);
constexpr TColor clActiveBorder = SystemColor(10);
constexpr TColor clInactiveBorder = SystemColor(11);
constexpr TColor clAppWorkSpace = SystemColor(12);
constexpr TColor clHighlight = SystemColor(13);
constexpr TColor clHighlightText = SystemColor(14);
constexpr TColor clBtnFace = SystemColor(15);
constexpr TColor clBtnShadow = SystemColor(16);
constexpr TColor clGrayText = SystemColor(17);
constexpr TColor clBtnText = SystemColor(18);
constexpr TColor clInactiveCaptionText = SystemColor(19);
constexpr TColor clBtnHighlight = SystemColor(20);
constexpr TColor cl3DDkShadow = SystemColor(21);
constexpr TColor cl3DLight = SystemColor(22);
constexpr TColor clInfoText = SystemColor(23);
constexpr TColor clInfoBk = SystemColor(24);
constexpr TColor clHotLight = SystemColor(26);
constexpr TColor clMenuHighlight = SystemColor(29);
constexpr TColor clMenuBar = SystemColor(30);

constexpr bool IsSystemColor(TColor c) { return (static_cast<std::uint32_t>(c) & 0xFF000000u) == 0xFF000000u; }
constexpr TColor RGBColor(int r, int g, int b) { return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16); }
constexpr int RValue(TColor c) { return c & 0xFF; }
constexpr int GValue(TColor c) { return (c >> 8) & 0xFF; }
constexpr int BValue(TColor c) { return (c >> 16) & 0xFF; }

// The palette role that stands for a system colour (QPalette::NoRole for an unknown index).
QPalette::ColorRole SystemColorRole(TColor c);

// Resolves a system colour through the palette (the application palette when none is given);
// plain colours come back unchanged; clNone and clDefault come back as they are.
TColor ColorToRGB(TColor c, const QPalette* palette = nullptr);

// The QColor of a colour value; clNone and clDefault give an invalid QColor.
QColor ToQColor(TColor c, const QPalette* palette = nullptr);
// The colour value of a QColor (alpha ignored); an invalid QColor gives clNone.
TColor FromQColor(const QColor& c);

// True when "W" and "i" have the same advance in the font.
bool IsFixedPitch(const QFont& font);
// The font with the family name at the pixel size; when that family is missing or not of fixed
// pitch, the system's fixed font at that pixel size.
QFont FixedPitchFont(const QString& family, int pixelSize);
// A font of the family at a point size (the toolkit's Font.Size).
QFont FontOfSize(const QString& family, int pointSize);

}  // namespace gfx

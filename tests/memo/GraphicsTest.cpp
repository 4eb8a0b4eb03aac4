#include "platform/graphics/Graphics.h"

#include <QFontDatabase>
#include <QPalette>
#include <gtest/gtest.h>

using namespace gfx;

TEST(Graphics, ColourValuesAreBgrAndSystemColoursFollowThePalette)
{
    EXPECT_EQ(ToQColor(0xE2E2E2), QColor(0xE2, 0xE2, 0xE2));
    EXPECT_EQ(ToQColor(0x800000), QColor(0, 0, 0x80));  // navy: blue in the high byte
    EXPECT_EQ(ToQColor(clRed), QColor(255, 0, 0));
    EXPECT_FALSE(ToQColor(clNone).isValid());
    EXPECT_FALSE(ToQColor(clDefault).isValid());
    EXPECT_EQ(FromQColor(QColor(1, 2, 3)), 0x030201);
    EXPECT_EQ(FromQColor(QColor()), clNone);

    QPalette pal;
    pal.setColor(QPalette::Button, QColor(10, 20, 30));
    pal.setColor(QPalette::Highlight, QColor(40, 50, 60));
    pal.setColor(QPalette::Base, QColor(70, 80, 90));
    EXPECT_EQ(ToQColor(clBtnFace, &pal), QColor(10, 20, 30));
    EXPECT_EQ(ToQColor(clHighlight, &pal), QColor(40, 50, 60));
    EXPECT_EQ(ColorToRGB(clWindow, &pal), RGBColor(70, 80, 90));
    EXPECT_EQ(ColorToRGB(clNone, &pal), clNone);
    EXPECT_TRUE(IsSystemColor(clWindowText));
    EXPECT_FALSE(IsSystemColor(clWhite));
}

TEST(Graphics, FixedPitchFontFallsBackToTheSystemFixedFont)
{
    const QFont f = FixedPitchFont(QStringLiteral("COURIER NEW"), 13);
    EXPECT_TRUE(IsFixedPitch(f));
    EXPECT_EQ(f.pixelSize(), 13);
    QFont sans(QStringLiteral("DejaVu Sans"));
    sans.setPixelSize(13);
    if (!IsFixedPitch(sans)) {
        const QFont g = FixedPitchFont(QStringLiteral("DejaVu Sans"), 13);
        EXPECT_TRUE(IsFixedPitch(g));
    }
    EXPECT_EQ(FontOfSize(QStringLiteral("Courier New"), 10).pointSize(), 10);
}

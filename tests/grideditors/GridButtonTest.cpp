// The grid family's flat speed button.
#include "grid/editors/GridButton.h"
#include "platform/graphics/VisualStyles.h"

#include <QAction>
#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

using namespace grid::editors;

TEST(ZodUvuzButton, CheckStyleGroupsAndAllUp)
{
    QWidget parent;
    auto* check = new TZodUvuzButton(&parent);
    check->SetStyle(tasCheck);
    int clicks = 0;
    check->OnClick = [&](QObject*) { ++clicks; };
    parent.show();
    QTest::mouseClick(check, Qt::LeftButton);
    EXPECT_TRUE(check->Down());
    QTest::mouseClick(check, Qt::LeftButton);
    EXPECT_FALSE(check->Down());
    EXPECT_EQ(clicks, 2);

    auto* a = new TZodUvuzButton(&parent);
    auto* b = new TZodUvuzButton(&parent);
    a->SetGroupIndex(1);
    b->SetGroupIndex(1);
    a->SetDown(true);
    EXPECT_TRUE(a->Down());
    QTest::mouseClick(b, Qt::LeftButton);
    EXPECT_TRUE(b->Down());
    EXPECT_FALSE(a->Down());
    b->SetDown(false);   // all up is not allowed
    EXPECT_TRUE(b->Down());
    b->SetAllowAllUp(true);
    EXPECT_TRUE(a->AllowAllUp());   // the group takes it
    b->SetDown(false);
    EXPECT_FALSE(b->Down());

    // A plain button without a group is never down.
    auto* plain = new TZodUvuzButton(&parent);
    plain->SetDown(true);
    EXPECT_FALSE(plain->Down());
}

TEST(ZodUvuzButton, DropDownPartRaisesOnlyOnDropDown)
{
    TZodUvuzButton b;
    b.resize(60, 22);
    b.SetDropDownButton(true);
    int clicks = 0, drops = 0;
    b.OnClick = [&](QObject*) { ++clicks; };
    b.OnDropDown = [&](QObject*) { ++drops; };
    b.show();
    QTest::mouseClick(&b, Qt::LeftButton, {}, QPoint(55, 10));
    EXPECT_EQ(drops, 1);
    EXPECT_EQ(clicks, 0);
    QTest::mouseClick(&b, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(drops, 1);
    EXPECT_EQ(clicks, 1);
}

TEST(ZodUvuzButton, DisabledGlyphAndShade)
{
    TZodUvuzButton b;
    QImage g(4, 4, QImage::Format_RGB32);
    g.fill(qRgb(255, 0, 255));   // the transparent colour (bottom-left)
    g.setPixel(1, 1, qRgb(90, 120, 150));
    b.SetGlyph(g);
    EXPECT_EQ(b.GlyphDisabled.pixel(1, 1) & 0xFFFFFF, qRgb(156, 156, 156) & 0xFFFFFF);
    EXPECT_EQ(b.Shade().pixel(1, 1) & 0xFFFFFF, 0x808080u);
    EXPECT_EQ(qAlpha(b.Shade().pixel(0, 0)), 0);

    // A second glyph keeps the disabled glyph but gets its own shade.
    QImage g2 = g;
    g2.setPixel(1, 1, qRgb(255, 0, 255));
    g2.setPixel(2, 2, qRgb(10, 10, 10));
    b.SetGlyph(g2);
    EXPECT_EQ(b.GlyphDisabled.pixel(1, 1) & 0xFFFFFF, qRgb(156, 156, 156) & 0xFFFFFF);
    EXPECT_EQ(qAlpha(b.Shade().pixel(1, 1)), 0);
    EXPECT_EQ(b.Shade().pixel(2, 2) & 0xFFFFFF, 0x808080u);
}

TEST(ZodUvuzButton, SchemePresets)
{
    TZodUvuzButton b;
    visualstyles::SetCurrentThemeNameForTest({});
    b.SetAutoThemeAdapt(true);
    EXPECT_EQ(b.Color, gfx::clBtnFace);
    EXPECT_EQ(b.ColorHot, 0xEED2C1u);
    EXPECT_EQ(b.BorderHotColor, 0xC56A31u);
    visualstyles::SetCurrentThemeNameForTest({"luna", "Metallic", "NormalSize"});
    EXPECT_EQ(TZodUvuzButton::CurrentScheme(), 3);
    b.SetAutoThemeAdapt(true);
    EXPECT_EQ(b.Color, 0xECE2E1u);
    EXPECT_EQ(b.ColorTo, 0xB39698u);
    EXPECT_EQ(b.BorderColor, gfx::clNone);
    visualstyles::SetCurrentThemeNameForTest({});
}

TEST(ZodUvuzButton, LayoutByMarginAndSpacing)
{
    TZodUvuzButton b;
    b.resize(100, 30);
    QImage g(10, 10, QImage::Format_RGB32);
    g.fill(Qt::red);
    b.SetGlyph(g);
    b.SetCaption("Go");
    const QRect client(0, 0, 100, 30);
    const int t = b.fontMetrics().boundingRect(QRect(0, 0, 100, 0), Qt::TextShowMnemonic, "Go").width();
    struct Case {
        int margin, spacing;
        int glyphX, textX;
    };
    const std::vector<Case> cases = {
        {-1, 4, (100 - 10 - 4 - t + 1) / 2, (100 - 10 - 4 - t + 1) / 2 + 14},
        {-1, -1, (100 - 10 - t) / 3, 2 * ((100 - 10 - t) / 3) + 10},
        {5, -1, 5, 5 + 10 + (100 - 5 - 10 - t) / 2},
        {2, 3, 2, 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.margin) + "/" + std::to_string(c.spacing));
        b.SetMargin(c.margin);
        b.SetSpacing(c.spacing);
        QPoint gp;
        QRect tb;
        b.CalcLayout(client, gp, tb);
        EXPECT_EQ(gp.x(), c.glyphX);
        EXPECT_EQ(tb.left(), c.textX);
        EXPECT_EQ(gp.y(), (30 - 10 + 1) / 2);
    }
    b.SetMargin(-2);
    EXPECT_EQ(b.Margin(), 2);
}

TEST(ZodUvuzButton, ActionLinkAndMnemonic)
{
    QWidget parent;
    auto* b = new TZodUvuzButton(&parent);
    QAction action("Suchen");
    action.setCheckable(true);
    int triggered = 0;
    QObject::connect(&action, &QAction::triggered, [&] { ++triggered; });
    b->SetGroupIndex(3);
    b->SetAllowAllUp(true);
    b->SetAction(&action);
    EXPECT_EQ(b->Caption(), "Suchen");
    action.setText("Weiter");
    EXPECT_EQ(b->Caption(), "Weiter");
    action.setChecked(true);
    EXPECT_TRUE(b->Down());
    action.setEnabled(false);
    EXPECT_FALSE(b->isEnabled());
    action.setEnabled(true);
    parent.show();
    QTest::mouseClick(b, Qt::LeftButton);
    EXPECT_EQ(triggered, 1);

    int clicks = 0;
    b->OnClick = [&](QObject*) { ++clicks; };
    b->SetAction(nullptr);
    b->SetCaption("&Los");
    QApplication::setActiveWindow(&parent);
    QTest::keyClick(&parent, Qt::Key_L, Qt::AltModifier);
    EXPECT_EQ(clicks, 1);
}

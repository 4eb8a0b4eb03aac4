// The edit with a button: its width rules, alignment, glyph, the three looks of its speed button and
// where the focus goes after a click.
#include "Fixture.h"

#include <QMenu>
#include <QPainter>

using namespace gridedit;
using namespace grid::editors;

namespace {

QImage shot(QWidget* w) { return w->grab().toImage().convertToFormat(QImage::Format_RGB32); }

void press(TZedSpeedButton* b) { QTest::mousePress(b, Qt::LeftButton, {}, QPoint(3, 3)); }
void release(TZedSpeedButton* b, QPoint at = QPoint(3, 3)) { QTest::mouseRelease(b, Qt::LeftButton, {}, at); }

} // namespace

TEST(EditButton, WidthAlignmentAndTextRoom)
{
    TDidEzevBtn e;
    EXPECT_EQ(e.text(), "0");
    EXPECT_EQ(e.ButtonWidth(), 0);
    EXPECT_EQ(e.ButtonControl()->width(), 18);
    // Borderless: one pixel short of the right and bottom edges.
    e.setFrame(false);
    e.resize(121, 22);
    e.show();
    EXPECT_EQ(e.ButtonControl()->geometry(), QRect(121 - 18 - 1, 0, 18, 21));
    // Writing 0 keeps the minimum of 15; any wider value is taken, and the text keeps clear of it.
    struct W { int written, width; };
    for (W w : {W{0, 15}, W{9, 15}, W{25, 25}}) {
        e.SetButtonWidth(w.written);
        EXPECT_EQ(e.ButtonWidth(), w.written);
        EXPECT_EQ(e.ButtonControl()->width(), w.width);
        EXPECT_EQ(e.textMargins().right(), w.width + 3);
        EXPECT_EQ(e.Button()->size(), e.ButtonControl()->size());
    }
    EXPECT_FALSE(e.alignment() & Qt::AlignRight);
    e.SetRightAlign(true);
    EXPECT_TRUE(e.alignment() & Qt::AlignRight);

    TZeiUniEditBtn u;
    EXPECT_EQ(u.text(), "");
}

TEST(EditButton, GlyphIsCentredMovesWhileDownAndShowsItsDisabledImage)
{
    TDidEzevBtn e;
    e.setFrame(false);
    e.resize(120, 24);
    e.show();
    e.SetButtonCaption(QString());
    // Two images of 6 x 6: red enabled, blue disabled.
    QPixmap strip(12, 6);
    {
        strip.fill(Qt::red);
        QPainter p(&strip);
        p.fillRect(6, 0, 6, 6, Qt::blue);
    }
    e.SetGlyph(strip);
    e.ButtonControl()->SetNumGlyphs(2);
    TZedSpeedButton* b = e.Button();
    const QPoint centred((b->width() - 6) / 2, (b->height() - 6) / 2);
    EXPECT_EQ(b->GlyphPos(), centred);
    EXPECT_EQ(shot(b).pixel(centred), qRgb(255, 0, 0));
    press(b);
    EXPECT_EQ(b->GlyphPos(), centred + QPoint(1, 1));
    EXPECT_EQ(shot(b).pixel(centred + QPoint(6, 6)), qRgb(255, 0, 0));
    release(b);
    b->setEnabled(false);
    EXPECT_EQ(shot(b).pixel(centred), qRgb(0, 0, 255));
}

TEST(EditButton, EachLookShowsPressedAndTheThemedLookIsItsOwn)
{
    TDidEzevBtn e;
    e.setFrame(false);
    e.resize(120, 24);
    e.show();
    TZedSpeedButton* b = e.Button();
    auto look = [&](bool xp, bool flat, bool down) {
        b->SetIsWinXP(xp);
        b->SetFlat(flat);
        if (down)
            press(b);
        const QImage img = shot(b);
        if (down)
            release(b);
        return img;
    };
    for (auto [xp, flat] : {std::pair{false, false}, std::pair{false, true}, std::pair{true, false}}) {
        SCOPED_TRACE(xp ? "themed" : flat ? "flat" : "classic");
        EXPECT_NE(look(xp, flat, false), look(xp, flat, true));
    }
    EXPECT_NE(look(true, false, false), look(false, false, false));
    EXPECT_NE(look(false, true, false), look(false, false, false));
    // The edit passes its themed flag on.
    e.SetIsWinXP(true);
    EXPECT_TRUE(b->IsWinXP());
}

TEST(EditButton, ReleaseAnywhereAfterAPressClicksOnceAndFocusesTheEdit)
{
    QWidget window;
    auto* e = new TDidEzevBtn(&window);
    auto* other = new QLineEdit(&window);
    e->setGeometry(0, 0, 120, 24);
    other->setGeometry(0, 40, 120, 24);
    window.show();
    QApplication::setActiveWindow(&window);
    other->setFocus();
    int clicks = 0;
    e->OnClickBtn = [&](QObject* sender) {
        EXPECT_EQ(sender, e);
        ++clicks;
    };
    press(e->Button());
    EXPECT_EQ(clicks, 0);
    release(e->Button(), QPoint(-30, 40));   // the pointer has left the button
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(e->hasFocus());
    // A release without a press on the button does nothing.
    release(e->Button());
    EXPECT_EQ(clicks, 1);
}

TEST(UnitEditButton, StandAloneUnitEditPicksItsUnitFromTheButtonsMenu)
{
    QWidget window;
    auto* e = new TZeiUnitEditBtn(&window);
    e->setGeometry(0, 0, 160, 24);
    window.show();
    QApplication::setActiveWindow(&window);
    e->setFocus();
    EXPECT_EQ(e->text(), "0");
    EXPECT_TRUE(e->RightAlign());
    EXPECT_EQ(e->UnitSpace(), 20);
    int clicks = 0;
    e->OnClickBtn = [&](QObject*) { ++clicks; };

    // F4 opens the (empty) menu; nothing is chosen, the unit stays.
    e->SetUnitID(QStringLiteral("kg"));
    QTest::keyClick(e, Qt::Key_F4);
    EXPECT_TRUE(e->UnitMenu()->isVisible());
    EXPECT_TRUE(e->UnitMenu()->actions().isEmpty());
    e->UnitMenu()->hide();
    EXPECT_EQ(e->UnitID(), "kg");

    // The button opens the menu of Units on its release; the choice becomes the unit.
    e->Units = {QStringLiteral("mm"), QStringLiteral("cm"), QStringLiteral("m")};
    press(e->Button());
    EXPECT_FALSE(e->UnitMenu()->isVisible());
    release(e->Button());
    ASSERT_TRUE(e->UnitMenu()->isVisible());
    ASSERT_EQ(e->UnitMenu()->actions().size(), 3);
    QTest::keyClick(e->UnitMenu(), Qt::Key_Down);
    QTest::keyClick(e->UnitMenu(), Qt::Key_Down);
    QTest::keyClick(e->UnitMenu(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(e->UnitID(), "cm");
    EXPECT_EQ(clicks, 0) << "the unit edit's button opens its menu instead of OnClickBtn";

    // The unit is drawn between the text and the button, in the room UnitSpace keeps.
    const int buttonLeft = e->ButtonControl()->x();
    auto inkIn = [&](int from, int to) {
        const QImage img = e->grab().toImage();
        int dark = 0;
        for (int x = std::max(0, from); x < to; ++x)
            for (int y = 3; y < img.height() - 3; ++y)   // inside the frame
                dark += qGray(img.pixel(x, y)) < 100;
        return dark;
    };
    EXPECT_GT(inkIn(buttonLeft - 3 - 20, buttonLeft - 3), 0);
    if (qEnvironmentVariableIsSet("QLY_SCREENSHOT_DIR"))
        window.grab().save(qEnvironmentVariable("QLY_SCREENSHOT_DIR") + QStringLiteral("/unit-edit.png"));
    e->SetUnitID(QString());
    e->setText(QStringLiteral("12345678901234567890123"));
    e->setCursorPosition(0);
    QApplication::processEvents();
    EXPECT_EQ(inkIn(buttonLeft - 3 - 20, buttonLeft - 3), 0) << "the unit's room stays free of text";
    e->SetUnitSpace(0);
    EXPECT_GT(inkIn(buttonLeft - 3 - 20, buttonLeft - 3), 0) << "without unit room the text reaches the button";
}

TEST_F(GridEditFixture, DatePickerCoversItsBorderInTheSystemWindowColour)
{
    open(2, 2, "29.02.2024", edDateEdit);
    auto* p = grid->GridDatePicker();
    ASSERT_EQ(grid->ShownEditorControl(), p);
    const QImage img = p->grab().toImage();
    const QRgb window = gfx::ToQColor(gfx::clWindow).rgb();
    const int w = img.width(), h = img.height();
    for (QPoint at : {QPoint(0, h / 2), QPoint(1, h / 2), QPoint(w / 2, 0), QPoint(w / 2, 1), QPoint(w - 1, h / 2),
                      QPoint(w - 2, h / 2), QPoint(w / 2, h - 1), QPoint(w / 2, h - 2)})
        EXPECT_EQ(img.pixel(at), window) << at.x() << "," << at.y();
    // Inside, the cell's own colour.
    EXPECT_EQ(p->palette().color(QPalette::Base), gfx::ToQColor(grid->cellBrush));
}

TEST_F(GridEditFixture, CombosAndButtonEditsFollowTheThemedLook)
{
    const bool themed = grid->ThemedDrawing();
    EXPECT_EQ(grid->GridEditBtn()->IsWinXP(), themed);
    EXPECT_EQ(grid->GridUnitEditBtn()->IsWinXP(), themed);
    EXPECT_EQ(grid->GridUniEditBtn()->IsWinXP(), themed);
    EXPECT_EQ(grid->GridCombo()->IsWinXP, themed);
    EXPECT_EQ(grid->GridUniCombo()->IsWinXP, themed);
}

#include "controls/nbStatusBar.h"
#include "QStringPrint.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {
// Counts how often each panel is drawn.
class CountingBar : public TnbStatusBar {
public:
    using TnbStatusBar::TnbStatusBar;
    std::map<const TnbStatusPanel*, int> draws;
protected:
    void DrawPanel(QPainter& p, TnbStatusPanel* panel, const QRect& r) override
    {
        ++draws[panel];
        TnbStatusBar::DrawPanel(p, panel, r);
    }
};
}

TEST(StatusBar, PartsAreFixedWidthsAndTheLastFillsTheBar)
{
    TnbStatusBar bar;
    bar.resize(400, 19);
    for (int w : { 22, 100, 50 })
        bar.Panels().Add()->SetWidth(w);
    const int h = bar.height();
    EXPECT_EQ(bar.PanelRect(0), QRect(0, 0, 22, h));
    EXPECT_EQ(bar.PanelRect(1), QRect(22, 0, 100, h));
    EXPECT_EQ(bar.PanelRect(2), QRect(122, 0, 278, h));
    EXPECT_EQ(bar.PanelAt(QPoint(130, 5)), 2);
    EXPECT_EQ(TnbStatusBar::Version(), "1.12");

    TnbStatusPanel* led = bar.Panels().Add();
    led->SetStyle(psLed);
    led->SetWidth(10);
    EXPECT_EQ(led->Width(), 40) << "an LED panel is at least 40 wide";
}

TEST(StatusBar, ClockTimerFollowsTheClockPanels)
{
    TnbStatusBar bar;
    EXPECT_EQ(bar.ClockTimer(), nullptr);
    TnbStatusPanel* date = bar.Panels().Add();
    date->SetStyle(psDate);
    ASSERT_NE(bar.ClockTimer(), nullptr);
    EXPECT_EQ(bar.ClockTimer()->interval(), 100000);
    TnbStatusPanel* time = bar.Panels().Add();
    time->SetStyle(psTime);
    EXPECT_EQ(bar.ClockTimer()->interval(), 1000);
    bar.Panels().Delete(time->Index());
    EXPECT_EQ(bar.ClockTimer()->interval(), 100000);
    date->SetStyle(psText);
    EXPECT_EQ(bar.ClockTimer(), nullptr);
}

TEST(StatusBar, ProgressGeometryRoundsHalvesToEven)
{
    TnbStatusBar bar;
    TnbStatusPanel* p = bar.Panels().Add();
    TnbProgressBar& pb = p->ProgressBar();
    const QRect r(0, 0, 100, 19);

    // 45 of 100 with 10 boxes: 4.5 boxes round to 4.
    pb.SetPosition(45);
    auto boxes = TnbStatusBar::ProgressRects(r, pb);
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0], QRect(1, 1, 8, 13));
    EXPECT_EQ(boxes[3].left(), 31);
    pb.SetPosition(55);
    EXPECT_EQ(TnbStatusBar::ProgressRects(r, pb).size(), 6u) << "5.5 rounds to 6";
    EXPECT_EQ(TnbStatusBar::ProgressText(pb), "55%");
    pb.SetPosition(100);
    EXPECT_EQ(TnbStatusBar::ProgressRects(r, pb).size(), 10u) << "the extra box at Max lies outside the panel";

    pb.SetSmooth(true);
    pb.SetPosition(50);
    boxes = TnbStatusBar::ProgressRects(r, pb);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], QRect(1, 1, 47, 13));

    pb.SetPosition(200);
    EXPECT_EQ(pb.Position(), 50) << "positions beyond Max are refused";
    pb.SetMax(30);
    EXPECT_EQ(pb.Position(), 30) << "lowering Max lowers Position";
    pb.SetBoxCount(51);
    pb.SetBoxCount(0);
    EXPECT_EQ(pb.BoxCount(), 10);
}

TEST(StatusBar, DegenerateProgressPaintsEmptyWithoutCrash)
{
    TnbStatusBar bar;
    bar.resize(200, 19);
    TnbStatusPanel* p = bar.Panels().Add();
    p->SetStyle(psProgress);
    p->SetWidth(120);
    p->ProgressBar().SetMax(0); // Max == Min
    EXPECT_TRUE(TnbStatusBar::ProgressRects(bar.PanelRect(0), p->ProgressBar()).empty());
    EXPECT_EQ(TnbStatusBar::ProgressText(p->ProgressBar()), "");
    p->ProgressBar().SetBoxCount(0);
    QImage img(bar.size(), QImage::Format_ARGB32);
    bar.render(&img);
    SUCCEED();
}

TEST(StatusBar, SameTextDoesNotRedrawAndKeyPanelsFollowTheKeys)
{
    CountingBar bar;
    bar.resize(300, 19);
    TnbStatusPanel* text = bar.Panels().Add();
    text->SetWidth(100);
    TnbStatusPanel* caps = bar.Panels().Add();
    caps->SetStyle(psCapsLock);
    bar.show();
    QTest::qWait(50);
    bar.draws.clear();
    text->SetText(text->Text());
    QTest::qWait(50);
    EXPECT_EQ(bar.draws[text], 0);
    text->SetText("neu");
    QTest::qWait(50);
    EXPECT_GE(bar.draws[text], 1);

    const bool before = TnbStatusBar::KeyToggled(psCapsLock);
    bar.draws.clear();
    QTest::keyPress(&bar, Qt::Key_CapsLock);
    QTest::qWait(50);
    EXPECT_NE(TnbStatusBar::KeyToggled(psCapsLock), before);
    EXPECT_GE(bar.draws[caps], 1);
    EXPECT_EQ(TnbStatusBar::PanelText(caps, QDateTime()), "CAPS");

    // A key that an edit passes on to its parents still toggles once.
    QWidget parent;
    auto* edit = new QLineEdit(&parent);
    parent.show();
    const bool mid = TnbStatusBar::KeyToggled(psCapsLock);
    QTest::keyPress(edit, Qt::Key_CapsLock);
    EXPECT_NE(TnbStatusBar::KeyToggled(psCapsLock), mid);
    QTest::keyRelease(edit, Qt::Key_CapsLock);
    QTest::keyPress(edit, Qt::Key_CapsLock);
    EXPECT_EQ(TnbStatusBar::KeyToggled(psCapsLock), mid);
}

TEST(StatusBar, PanelMouseEventsGetPanelRelativeX)
{
    TnbStatusBar bar;
    bar.resize(300, 19);
    bar.Panels().Add()->SetWidth(100);
    TnbStatusPanel* second = bar.Panels().Add();
    int seenX = -1, clicks = 0, barClicks = 0;
    second->OnMouseDown = [&](TnbStatusPanel*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int) { seenX = x; };
    second->OnClick = [&](TnbStatusPanel*) { ++clicks; };
    bar.OnClick = [&] { ++barClicks; };
    bar.show();
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(130, 5));
    EXPECT_EQ(seenX, 30);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(barClicks, 1);
    second->SetEnabled(false);
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(130, 5));
    EXPECT_EQ(clicks, 1) << "a disabled panel gets no click";
    EXPECT_EQ(barClicks, 2);
}

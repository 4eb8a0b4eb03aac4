// The progress panel with a clock of the test's own, and the progress label.
#include "controls/ProgressPanel.h"

#include <QLabel>
#include <gtest/gtest.h>

namespace {

struct FakeClock {
    qint64 now = 1000000;
    std::function<qint64()> fn() { return [this] { return now; }; }
};

} // namespace

TEST(ProgressPanel, RowsAndTimes)
{
    FakeClock clock;
    TProgressPanel panel;
    panel.SetClock(clock.fn());
    panel.SetDateTimeFormat(QStringLiteral("nn:ss"));
    panel.SetMax(100);
    EXPECT_EQ(panel.LeftText(), QStringLiteral("100"));

    panel.Start();
    clock.now += 10000;
    panel.SetPosition(25);
    EXPECT_EQ(panel.LeftText(), QStringLiteral("75"));
    EXPECT_EQ(panel.DoneText(), QStringLiteral("25"));
    EXPECT_EQ(panel.TimeNeededText(), QStringLiteral("00:10"));
    EXPECT_EQ(panel.TimeLeftText(), QStringLiteral("00:30"));

    // "nn" is minutes, "ss" seconds: 2 min 5 s needed at 50 of 100.
    clock.now += 115000;
    panel.SetPosition(50);
    EXPECT_EQ(panel.TimeNeededText(), QStringLiteral("02:05"));
    EXPECT_EQ(panel.TimeLeftText(), QStringLiteral("02:05"));

    EXPECT_EQ(FormatElapsedTime(QStringLiteral("nn:ss:zzz"), 61234), QStringLiteral("01:01:234"));
    EXPECT_EQ(FormatElapsedTime(QStringLiteral("h'h' n"), 3600000 + 7 * 60000), QStringLiteral("1h 7"));
}

TEST(ProgressPanel, RangeAndRefuseMaxBelowMin)
{
    TProgressPanel panel;
    panel.SetMax(10);
    panel.SetPosition(4);
    panel.SetPosition(11);
    panel.SetPosition(-1);
    EXPECT_EQ(panel.Position(), 4);

    panel.SetMin(2);
    try {
        panel.SetMax(1);
        FAIL() << "a maximum below the minimum was taken";
    } catch (const EPropertyOutOfRange& e) {
        EXPECT_EQ(e.message(), QStringLiteral("TProgressPanel property out of range"));
    }
    EXPECT_EQ(panel.Max(), 10);
    EXPECT_THROW(panel.SetMin(11), EPropertyOutOfRange);
    EXPECT_EQ(panel.Min(), 2);

    // A maximum of 0 cannot be lowered to -1 (an empty source with its first row ignored).
    TProgressPanel empty;
    EXPECT_THROW(empty.SetMax(-1), EPropertyOutOfRange);
    EXPECT_EQ(empty.Max(), 0);
    // Steps beyond the maximum leave the panel there.
    empty.StepIt();
    EXPECT_EQ(empty.Position(), 0);
}

TEST(ProgressPanel, RefreshRateThrottlesLabelsButShowsTheEnd)
{
    FakeClock clock;
    TProgressPanel panel;
    panel.SetClock(clock.fn());
    panel.SetMax(100);
    panel.Start();
    QStringList shown;
    for (int i = 0; i < 100; ++i) {
        clock.now += 10;
        panel.StepIt();
        if (shown.isEmpty() || shown.last() != panel.DoneText())
            shown.append(panel.DoneText());
    }
    // Updates after more than 400 ms (steps 41 and 82), and the last position always.
    EXPECT_EQ(shown, QStringList({"0", "41", "82", "100"}));
    EXPECT_EQ(panel.Position(), 100);
    EXPECT_EQ(panel.LeftText(), QStringLiteral("0"));
}

TEST(ProgressLabel, DoneGreenThenFailedRed)
{
    TProgressLabel label;
    label.SetDescription(QStringLiteral("Verbinde"));
    ASSERT_EQ(label.StatusLabel(), nullptr);
    label.ShowDone();
    QLabel* status = label.StatusLabel();
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(label.ProgressLabel()->text(), QStringLiteral("..."));
    EXPECT_EQ(status->text(), QStringLiteral("Erledigt."));
    EXPECT_EQ(status->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    EXPECT_GE(status->x(), label.ProgressLabel()->x() + label.ProgressLabel()->width() + label.Padding());
    EXPECT_GE(label.width(), status->x() + status->width());

    label.SetFailedString(QStringLiteral("Fehler!"));
    label.ShowFailed();
    EXPECT_EQ(label.StatusLabel(), status);
    EXPECT_EQ(status->text(), QStringLiteral("Fehler!"));
    EXPECT_EQ(status->palette().color(QPalette::WindowText), QColor(255, 0, 0));
}

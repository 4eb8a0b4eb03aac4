#include "controls/ZedSpin.h"
#include "QStringPrint.h"

#include <QApplication>
#include <QStyleFactory>
#include "platform/graphics/VisualStyles.h"
#include <QLabel>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class SpinEditTest : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    // A shown window with the edit and a second focus target.
    QWidget window;
    TZedSpinEdit* MakeEdit()
    {
        auto* e = new TZedSpinEdit(&window);
        e->setGeometry(10, 10, 80, 22);
        other = new QLineEdit(&window);
        other->setGeometry(10, 40, 80, 22);
        window.show();
        QApplication::setActiveWindow(&window);
        return e;
    }
    void Type(TZedSpinEdit* e, const QString& s)
    {
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, s);
    }
    void Leave() { other->setFocus(); }
    QLineEdit* other = nullptr;
};

TZedSpinEdit* Threads(TZedSpinEdit* e)
{
    e->SetMinValue(1);
    e->SetMaxValue(64);
    e->SetValue(1);
    return e;
}

TZedSpinEdit* Minutes(TZedSpinEdit* e)
{
    e->SetSpinType(sptFloat);
    e->SetMinFloatValue(0.1);
    e->SetMaxFloatValue(1440.0);
    e->SetPrecision(1);
    e->SetIncrementFloat(1.0);
    e->SetIncrementFloatPage(1.0);
    e->SetMaxLength(4);
    e->SetFloatValue(5.0);
    return e;
}

} // namespace

TEST_F(SpinEditTest, IntegerLimitsOnStepsTypingAndLeaving)
{
    TZedSpinEdit* e = Threads(MakeEdit());
    e->SetValue(64);
    e->UpClick();
    EXPECT_EQ(e->text(), "64");

    Type(e, "100");
    EXPECT_EQ(e->text(), "100");
    EXPECT_EQ(e->Value(), 64) << "a read with the focus still in the edit is already clamped";
    Leave();
    EXPECT_EQ(e->text(), "64");

    Type(e, "0");
    Leave();
    EXPECT_EQ(e->text(), "1");

    e->setText("abc");
    EXPECT_EQ(e->Value(), 1) << "not a number reads MinValue";
}

TEST_F(SpinEditTest, NoClampingWhenBothIntegerLimitsAreZero)
{
    TZedSpinEdit* e = MakeEdit();
    e->SetValue(-5000);
    EXPECT_EQ(e->Value(), -5000);
    e->SetValue(123456);
    e->UpClick();
    EXPECT_EQ(e->Value(), 123457);
    e->SetIncrementPage(10);
    e->setFocus();
    QTest::keyClick(e, Qt::Key_PageDown);
    EXPECT_EQ(e->Value(), 123447);
}

TEST_F(SpinEditTest, LettersSignsAndGroupSeparatorsAreRefusedInIntegers)
{
    TZedSpinEdit* e = MakeEdit();
    Type(e, "1.440");
    EXPECT_EQ(e->text(), "1440") << "the group separator cannot be typed";
    e->setText("1.440");
    EXPECT_EQ(e->Value(), 0) << "text with a group separator is not a number";
    Type(e, "12a+");
    EXPECT_EQ(e->text(), "12");
    QTest::keyClick(e, Qt::Key_Minus);
    EXPECT_EQ(e->text(), "12") << "minus does nothing unless Signed";
    e->SetSigned(true);
    QTest::keyClick(e, Qt::Key_Minus);
    EXPECT_EQ(e->text(), "-12");
    QTest::keyClick(e, Qt::Key_Minus);
    EXPECT_EQ(e->text(), "12");
}

TEST_F(SpinEditTest, MinutesFieldWithGermanDecimalComma)
{
    TZedSpinEdit* e = Minutes(MakeEdit());
    EXPECT_EQ(e->text(), "5,0");
    e->UpClick();
    EXPECT_EQ(e->text(), "6,0");

    Type(e, "2.5");
    EXPECT_EQ(e->text(), "2,5") << "a typed point becomes the decimal comma";
    QTest::keyClick(e, Qt::Key_Comma);
    EXPECT_EQ(e->text(), "2,5") << "a second separator and a second decimal are refused";
    QTest::keyClick(e, Qt::Key_7);
    EXPECT_EQ(e->text(), "2,5");
    EXPECT_DOUBLE_EQ(e->FloatValue(), 2.5);

    Type(e, "12345");
    EXPECT_EQ(e->text(), "1234") << "MaxLength limits typing";
    e->SetFloatValue(1440.0);
    EXPECT_EQ(e->text(), "1440,0") << "MaxLength does not cut texts the program writes";

    Type(e, "0");
    EXPECT_DOUBLE_EQ(e->FloatValue(), 0.1);
    Leave();
    EXPECT_EQ(e->text(), "0,1");

    e->setText("x");
    EXPECT_DOUBLE_EQ(e->FloatValue(), 0.1) << "a non-number reads MinFloatValue";
    e->setText("2000");
    EXPECT_DOUBLE_EQ(e->FloatValue(), 1440.0);
}

TEST_F(SpinEditTest, FloatFormatsFollowPrecision)
{
    TZedSpinEdit* e = MakeEdit();
    e->SetSpinType(sptFloat);
    struct Case { int precision; double value; const char* text; };
    for (const Case& c : { Case{ 2, 3.14159, "3,14" }, Case{ 0, 2.5, "2,5" }, Case{ -1, 1234.5678, "1235" }, Case{ 1, 12345.0, "12345,0" } }) {
        e->SetPrecision(c.precision);
        e->SetFloatValue(c.value);
        EXPECT_EQ(e->text(), QString::fromLatin1(c.text)) << c.precision;
    }
}

TEST_F(SpinEditTest, SmartIncrementChangesTheDigitLeftOfTheCaret)
{
    TZedSpinEdit* e = MakeEdit();
    e->SetIncrementSmart(true);
    e->setText("123");
    e->setFocus();
    e->setCursorPosition(2);
    QTest::keyClick(e, Qt::Key_Up);
    EXPECT_EQ(e->text(), "133");
    e->setCursorPosition(3);
    QTest::keyClick(e, Qt::Key_Down);
    EXPECT_EQ(e->text(), "132");
    e->setCursorPosition(0);
    QTest::keyClick(e, Qt::Key_Up);
    EXPECT_EQ(e->text(), "133") << "caret at 0: plain step";

    e->SetSpinType(sptFloat);
    e->SetPrecision(2);
    e->setText("12,34");
    e->setCursorPosition(5);
    QTest::keyClick(e, Qt::Key_Up);
    EXPECT_EQ(e->text(), "12,35");
    e->setCursorPosition(4);
    QTest::keyClick(e, Qt::Key_Up);
    EXPECT_EQ(e->text(), "12,45");
    e->setCursorPosition(2);
    QTest::keyClick(e, Qt::Key_Up);
    EXPECT_EQ(e->text(), "13,45");
}

TEST_F(SpinEditTest, HexadecimalKind)
{
    TZedSpinEdit* e = MakeEdit();
    e->SetSpinType(sptHex);
    EXPECT_EQ(e->text(), "0x0");
    e->SetHexValue(0xABC);
    EXPECT_EQ(e->text(), "0xABC");
    EXPECT_EQ(e->HexValue(), 0xABC);
    e->SetIncrement(16);
    e->UpClick();
    EXPECT_EQ(e->text(), "0xACC");

    e->setFocus();
    e->setCursorPosition(1);
    QTest::keyClick(e, Qt::Key_5);
    EXPECT_EQ(e->text(), "0xACC") << "nothing can be typed into the prefix";
    e->setCursorPosition(5);
    QTest::keyClicks(e, "fz");
    EXPECT_EQ(e->text(), "0xACCf");
    EXPECT_EQ(e->HexValue(), 0xACCF);
    e->setCursorPosition(2);
    QTest::keyClick(e, Qt::Key_Backspace);
    EXPECT_EQ(e->text(), "0xACCf");
    e->setCursorPosition(1);
    QTest::keyClick(e, Qt::Key_Delete);
    EXPECT_EQ(e->text(), "0xACCf");

    e->SetMaxValue(0xFF);
    Leave();
    EXPECT_EQ(e->text(), "0xFF") << "leaving always rewrites, clamped to the integer limits";
}

TEST_F(SpinEditTest, DateStepsByCaretField)
{
    TZedSpinEdit* e = MakeEdit();
    e->SetSpinType(sptDate);
    e->SetDateValue(QDateTime(QDate(2024, 1, 31), QTime(0, 0)));
    EXPECT_EQ(e->text(), "31.01.2024");
    e->setCursorPosition(0);
    e->UpClick();
    EXPECT_EQ(e->text(), "01.02.2024") << "day field";
    e->setCursorPosition(4);
    e->DownClick();
    EXPECT_EQ(e->text(), "01.01.2024") << "month field";
    e->SetDateValue(QDateTime(QDate(2024, 1, 31), QTime(0, 0)));
    e->setCursorPosition(4);
    e->UpClick();
    EXPECT_EQ(e->text(), "29.02.2024") << "a month step keeps the day where the month allows it";
    e->setCursorPosition(8);
    e->UpClick();
    EXPECT_EQ(e->text(), "28.02.2025");

    e->SetMinDateValue(QDateTime(QDate(2025, 1, 1), QTime(0, 0)));
    e->SetMaxDateValue(QDateTime(QDate(2025, 12, 31), QTime(0, 0)));
    e->setCursorPosition(8);
    e->UpClick();
    EXPECT_EQ(e->text(), "31.12.2025");
    e->setText("kein Datum");
    EXPECT_EQ(e->DateValue().date(), QDate(2025, 1, 1));
}

TEST_F(SpinEditTest, TimeStepsAndSeconds)
{
    TZedSpinEdit* e = MakeEdit();
    e->SetSpinType(sptTime);
    e->SetTimeValue((10 * 3600 + 30 * 60 + 15) / 86400.0);
    EXPECT_EQ(e->text(), "10:30:15");
    e->setCursorPosition(0);
    e->UpClick();
    EXPECT_EQ(e->text(), "11:30:15");
    e->setCursorPosition(4);
    e->UpClick();
    EXPECT_EQ(e->text(), "11:31:15");
    e->setCursorPosition(7);
    e->DownClick();
    EXPECT_EQ(e->text(), "11:31:14");
    e->SetShowSeconds(false);
    EXPECT_EQ(e->text(), "11:31");

    e->SetTimeValue(0.5 / 24.0); // 0:30
    e->setCursorPosition(0);
    e->DownClick();
    EXPECT_EQ(e->text(), "0:30") << "no step below zero";

    e->setFocus();
    e->selectAll();
    QTest::keyClicks(e, "8.15");
    EXPECT_EQ(e->text(), "8:15") << "a point becomes the time separator";
}

TEST_F(SpinEditTest, ArrowButtonClicksOnceOrRepeatsWhileHeld)
{
    TZedSpinEdit* e = MakeEdit();
    DAvoRorurAroruDadaze* up = e->SpinButton()->UpButton();
    QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_EQ(e->Value(), 1) << "a short click steps once";

    QTest::mousePress(up, Qt::LeftButton);
    ASSERT_NE(up->RepeatTimer(), nullptr);
    EXPECT_EQ(up->RepeatTimer()->interval(), 400);
    QTest::qWait(750);
    EXPECT_EQ(up->RepeatTimer()->interval(), 100);
    QTest::mouseRelease(up, Qt::LeftButton);
    EXPECT_GE(e->Value(), 4) << "held: after 400 ms, then every 100 ms, and the release click";
    EXPECT_FALSE(up->RepeatTimer()->isActive());

    const int before = e->Value();
    QTest::mouseClick(e->SpinButton()->DownButton(), Qt::LeftButton);
    EXPECT_EQ(e->Value(), before - 1);
}

TEST_F(SpinEditTest, ReadOnlyAndEditorDisabled)
{
    TZedSpinEdit* e = MakeEdit();
    e->SetValue(7);
    e->setReadOnly(true);
    e->UpClick();
    EXPECT_EQ(e->Value(), 7);
    e->setReadOnly(false);
    e->SetEditorEnabled(false);
    e->setFocus();
    e->setCursorPosition(1);
    QTest::keyClick(e, Qt::Key_3);
    QTest::keyClick(e, Qt::Key_Backspace);
    QTest::keyClick(e, Qt::Key_Delete);
    EXPECT_EQ(e->text(), "7");
    QTest::keyClick(e, Qt::Key_Up);
    EXPECT_EQ(e->text(), "8") << "steps still work";
}

TEST_F(SpinEditTest, ChangeEventAndLabelFollowingEnabled)
{
    TZedSpinEdit* e = MakeEdit();
    int changes = 0;
    e->OnChange = [&] { ++changes; };
    e->SetValue(3);
    EXPECT_EQ(changes, 1);
    e->SetLabelCaption("Anzahl");
    ASSERT_NE(e->Label(), nullptr);
    EXPECT_EQ(e->Label()->parentWidget(), &window);
    e->SetLabelPosition(lpTopLeft);
    EXPECT_EQ(e->Label()->x(), e->x());
    EXPECT_EQ(e->Label()->y(), e->y() - e->Label()->height() - 4);
    e->setEnabled(false);
    EXPECT_FALSE(e->Label()->isEnabled());
    EXPECT_EQ(TZedSpinEdit::Version(), "1.4.0.0");
}

TEST_F(SpinEditTest, ArrowsFollowTheVisualStyle)
{
    TZedSpinEdit* e = MakeEdit();
    ASSERT_TRUE(visualstyles::LoadThemeLibrary());
    QStyle* themed = QStyleFactory::create("Fusion");
    QStyle* classic = QStyleFactory::create("Windows");
    ASSERT_TRUE(themed && classic);
    QApplication::setStyle(classic);
    EXPECT_FALSE(visualstyles::IsThemeActive());
    QImage a = e->SpinButton()->grab().toImage();
    QApplication::setStyle(themed);
    EXPECT_TRUE(visualstyles::IsThemeActive());
    QImage b = e->SpinButton()->grab().toImage();
    EXPECT_NE(a, b) << "the classic and the themed arrows look different";
    EXPECT_FALSE(a.isNull());
}

// The hint window's size computation.
#include "recipients/datagrid/XDBGridHints.h"
#include <QFontMetrics>
#include <gtest/gtest.h>

using namespace xdb;

TEST(HintWindow, CalcHintRectWithoutWrap)
{
    TXHintWindow w;
    QFont f = w.font();
    f.setPointSize(10);
    TXHintData data;
    data.font = f;
    const QString text = QStringLiteral("Ein ziemlich langer Hinweistext");
    const QFontMetrics fm(f);
    const QRect r = w.CalcHintRect(1000, text, &data);
    EXPECT_EQ(r.topLeft(), QPoint(0, 0));
    // Text size plus 6 pixels of width and 2 of height; the window takes the data's font.
    const QRect text1 = fm.boundingRect(QRect(0, 0, 1000, 100000), Qt::TextWordWrap, text);
    EXPECT_EQ(r.width(), text1.width() + 6);
    EXPECT_EQ(r.height(), text1.height() + 2);
    EXPECT_LT(r.height(), 2 * fm.height());   // one line
    EXPECT_EQ(w.font(), f);
    EXPECT_FALSE(w.WordWrap());

    // Centred text of odd width gets one more pixel.
    data.alignment = db::taCenter;
    const QRect c = w.CalcHintRect(1000, text, &data);
    EXPECT_EQ(c.width() % 2, 0);
    // Without data: left aligned, no wrap.
    const QRect plain = w.CalcHintRect(1000, text, nullptr);
    EXPECT_EQ(w.Alignment(), db::taLeftJustify);
    EXPECT_GE(plain.width(), 7);
}

TEST(HintWindow, CalcHintRectWrapsToMaxWidth)
{
    TXHintWindow w;
    TXHintData data;
    data.wordWrap = true;
    const QString text = QStringLiteral("eins zwei drei vier fünf sechs sieben acht neun zehn elf zwölf");
    const QFontMetrics fm(w.font());
    const int max = fm.horizontalAdvance(QStringLiteral("eins zwei drei")) + 4;
    const QRect r = w.CalcHintRect(max, text, &data);
    // Several lines; a result not wider than the maximum takes the maximum.
    EXPECT_EQ(r.width(), max + 6);
    EXPECT_GE(r.height(), 3 * fm.height() + 2);
}

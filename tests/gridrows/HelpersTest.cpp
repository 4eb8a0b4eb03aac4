// The drop-marker arrows and the pressed form button.
#include "RowsFixture.h"

#include <QFontMetrics>
#include <QImage>
#include <gtest/gtest.h>

using namespace grid;
using namespace rowtest;

TEST(Helpers, TheGridKeepsFourArrowsAndAButtonInItsWindow)
{
    QWidget form;
    auto* g = new TZedEzeravIvur(&form);
    for (int d = 0; d < 4; ++d) {
        ASSERT_NE(g->ArrowWindow(d), nullptr);
        EXPECT_EQ(g->ArrowWindow(d)->parentWidget(), &form);
        EXPECT_FALSE(g->ArrowWindow(d)->isVisible());
        EXPECT_EQ(g->ArrowWindow(d)->focusPolicy(), Qt::NoFocus);
    }
    ASSERT_NE(g->PopupButton(), nullptr);
    EXPECT_FALSE(g->PopupButton()->isEnabled());
    QPointer<TArrowWindow> arrow = g->ArrowWindow(2);
    delete g;
    EXPECT_TRUE(arrow.isNull());

    TZedEzeravIvur designed(nullptr, true);
    EXPECT_EQ(designed.ArrowWindow(0), nullptr);
}

TEST(Helpers, ArrowOfDirectionTwoIsALimeRightArrow)
{
    QWidget host;
    host.resize(40, 40);
    TArrowWindow arrow(&host, 2);
    arrow.show();
    host.show();
    const QRect bounds = arrow.mask().boundingRect();
    EXPECT_GE(bounds.left(), 0);
    EXPECT_GE(bounds.top(), 0);
    EXPECT_LE(bounds.right(), 8);
    EXPECT_LE(bounds.bottom(), 10);
    EXPECT_TRUE(arrow.mask().contains(QPoint(2, 5)));    // the shaft
    EXPECT_TRUE(arrow.mask().contains(QPoint(6, 5)));    // the head
    EXPECT_FALSE(arrow.mask().contains(QPoint(1, 1)));   // beside the shaft
    const QImage shot = host.grab().toImage();
    EXPECT_EQ(shot.pixelColor(arrow.x() + 2, arrow.y() + 5), QColor(0, 255, 0));
    EXPECT_NE(shot.pixelColor(arrow.x() + 1, arrow.y() + 1), QColor(0, 255, 0));
}

TEST(Helpers, PopupButtonDrawsItsMiniHTMLCaptionWithoutTheTags)
{
    auto inkColumns = [](TPopupButton& b) {
        const QImage img = b.grab().toImage();
        int first = img.width(), last = -1;
        for (int x = 2; x < img.width() - 2; ++x)
            for (int y = 2; y < img.height() - 2; ++y)
                if (qGray(img.pixel(x, y)) < 100) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
        return last < 0 ? 0 : last - first + 1;
    };
    QWidget host;
    TPopupButton b(&host);
    b.resize(160, 24);
    b.SetCaption("<B>OK</B>");
    const int tagged = inkColumns(b);
    QFont bold = b.font();
    bold.setBold(true);
    EXPECT_GT(tagged, 0);
    EXPECT_LE(tagged, QFontMetrics(bold).horizontalAdvance("OK") + 2);
    b.SetCaption("<OK");   // no closing tag: the plain text with its "<"
    EXPECT_GT(inkColumns(b), QFontMetrics(b.font()).horizontalAdvance("OK"));
}

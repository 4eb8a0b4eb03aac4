#include "app/ProgramIcon.h"
#include "TestUtil.h"

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <gtest/gtest.h>

TEST(ProgramIcon, ReadOnFirstUseInEverySize)
{
    qlytest::TempDir dir;
    const QString pattern = dir.file("icon-%1.png");
    const QIcon icon = app::LazyPngIcon(pattern, {16, 48, 64});
    EXPECT_TRUE(icon.isNull()) << "none of its files exists yet";
    // The files come after the icon was made: it reads them on first use, not before. The one of
    // 64 is missing and left out.
    const QColor colours[] = {Qt::red, QColor(0, 0, 255, 128)};
    for (int i : {0, 1}) {
        const int size = i == 0 ? 16 : 48;
        QImage image(size, size, QImage::Format_ARGB32);
        image.fill(colours[i]);
        ASSERT_TRUE(image.save(pattern.arg(size), "PNG"));
    }
    EXPECT_FALSE(icon.isNull());
    const QIcon copy = icon;
    EXPECT_EQ(copy.availableSizes(), (QList<QSize>{QSize(16, 16), QSize(48, 48)}));
    EXPECT_EQ(icon.pixmap(16, 16).toImage().pixelColor(3, 3), colours[0]);
    EXPECT_EQ(icon.pixmap(48, 48).toImage().pixelColor(10, 10), colours[1]);
    EXPECT_EQ(icon.pixmap(32, 32).size(), QSize(32, 32)) << "a size between is scaled from the next larger one";
}

// The file list's picture view.
#include "QtPrint.h"
#include "TestUtil.h"

#include "controls/shell/OrvFileList.h"
#include "controls/shell/OrvThumbnails.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

quint32 Crc32(const QByteArray& data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char ch : data) {
        crc ^= quint8(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A PNG with a tEXt chunk, the way desktop thumbnailers write it (Qt's writer cannot store a key
// holding ":").
QByteArray PngWithText(const QImage& image, const QByteArray& key, const QByteArray& value)
{
    QByteArray png;
    QBuffer buf(&png);
    buf.open(QIODevice::WriteOnly);
    image.save(&buf, "PNG");
    const QByteArray body = "tEXt" + key + '\0' + value;
    QByteArray chunk;
    const quint32 len = quint32(body.size() - 4), crc = Crc32(body);
    for (int i = 3; i >= 0; --i)
        chunk += char((len >> (8 * i)) & 0xFF);
    chunk += body;
    for (int i = 3; i >= 0; --i)
        chunk += char((crc >> (8 * i)) & 0xFF);
    png.insert(8 + 25, chunk); // after the signature and IHDR
    return png;
}

QImage IconImage(QTreeWidgetItem* item, const QSize& size)
{
    return item->icon(0).pixmap(size).toImage().convertToFormat(QImage::Format_RGB32);
}

TEST(Thumbnails, PicturesInTheSilverFramePlaceholderOtherwise)
{
    qlytest::TempDir dir;
    QImage wide(200, 100, QImage::Format_RGB32);
    wide.fill(QColor(255, 0, 0));
    ASSERT_TRUE(wide.save(dir.file("rot.png")));
    QImage tall(60, 120, QImage::Format_RGB32);
    tall.fill(QColor(0, 0, 255));
    ASSERT_TRUE(tall.save(dir.file("blau.jpg"), "JPEG", 95));
    qlytest::writeFileBytes(dir.file("text.txt"), "kein Bild");

    TOrvFileList list;
    list.SetViewStyle(vsReport);
    list.AddFile(dir.file("rot.png"));
    list.SetThumbnails(true);
    EXPECT_EQ(list.ViewStyle(), vsIcon);
    list.AddFile(dir.file("blau.jpg"));
    list.AddFile(dir.file("text.txt"));
    const QSize size(list.ThumbnailWidth(), list.ThumbnailHeight());
    EXPECT_EQ(size, QSize(100, 100));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return list.topLevelItem(0)->data(0, TOrvFileList::ThumbnailRole).toBool()
               && list.topLevelItem(1)->data(0, TOrvFileList::ThumbnailRole).toBool();
    }, 5000));
    QTest::qWait(200);

    const QImage red = IconImage(list.topLevelItem(0), size);
    ASSERT_EQ(red.size(), size);
    EXPECT_EQ(QColor(red.pixel(0, 0)), QColor(192, 192, 192));     // the frame
    EXPECT_EQ(QColor(red.pixel(99, 99)), QColor(192, 192, 192));
    EXPECT_EQ(QColor(red.pixel(50, 50)), QColor(255, 0, 0));        // 100 x 50, centred
    EXPECT_NE(QColor(red.pixel(50, 10)), QColor(255, 0, 0));        // above the picture
    const QImage blue = IconImage(list.topLevelItem(1), size);
    const QColor b(blue.pixel(50, 50));
    EXPECT_LT(b.red(), 30);
    EXPECT_GT(b.blue(), 220);
    EXPECT_NE(QColor(blue.pixel(10, 50)).blue(), b.blue());         // 50 x 100, centred
    // No picture: the placeholder stays.
    EXPECT_FALSE(list.topLevelItem(2)->data(0, TOrvFileList::ThumbnailRole).toBool());
    EXPECT_EQ(QColor(IconImage(list.topLevelItem(2), size).pixel(0, 0)), QColor(192, 192, 192));

    // A thumbnail of an older fill is dropped.
    list.Clear();
    list.AddFile(dir.file("text.txt"));
    QImage green(10, 10, QImage::Format_RGB32);
    green.fill(Qt::green);
    list.ThumbnailReady(dir.file("text.txt"), list.FillGeneration() - 1, green);
    EXPECT_FALSE(list.topLevelItem(0)->data(0, TOrvFileList::ThumbnailRole).toBool());
    list.ThumbnailReady(dir.file("text.txt"), list.FillGeneration(), green);
    EXPECT_TRUE(list.topLevelItem(0)->data(0, TOrvFileList::ThumbnailRole).toBool());

    // Off: the report view again, the file icons back.
    list.SetThumbnails(false);
    EXPECT_EQ(list.ViewStyle(), vsReport);
    EXPECT_FALSE(list.isHeaderHidden());
    EXPECT_FALSE(list.topLevelItem(0)->data(0, TOrvFileList::ThumbnailRole).isValid());
}

TEST(Thumbnails, TheDesktopCacheServesOtherFilesWhileItIsValid)
{
    qlytest::TempDir dir;
    const QString doc = dir.file("brief.odt");
    qlytest::writeFileBytes(doc, "not a picture");
    const QString cache = qEnvironmentVariable("XDG_CACHE_HOME") + "/thumbnails/normal";
    ASSERT_TRUE(QDir().mkpath(cache));
    const QString name = QCryptographicHash::hash(QUrl::fromLocalFile(doc).toEncoded(), QCryptographicHash::Md5).toHex() + ".png";
    QImage thumb(128, 64, QImage::Format_RGB32);
    thumb.fill(Qt::yellow);
    auto writeThumb = [&](qint64 mtime) {
        qlytest::writeFileBytes(cache + "/" + name, PngWithText(thumb, "Thumb::MTime", QByteArray::number(mtime)));
    };
    const qint64 mtime = QFileInfo(doc).lastModified().toSecsSinceEpoch();
    writeThumb(mtime);
    const QImage img = MakeThumbnail(doc, QSize(100, 100));
    EXPECT_EQ(img.size(), QSize(100, 50));
    writeThumb(mtime - 10); // made for an older state of the file
    EXPECT_TRUE(MakeThumbnail(doc, QSize(100, 100)).isNull());
    ::remove(QFile::encodeName(cache + "/" + name).constData());
}

TEST(FileListScreenshot, ReportAndPictureViews)
{
    qlytest::TempDir dir;
    QImage pic(160, 120, QImage::Format_RGB32);
    pic.fill(QColor(30, 120, 200));
    ASSERT_TRUE(pic.save(dir.file("Foto.png")));
    qlytest::writeFileBytes(dir.file("Angebot.txt"), QByteArray(3000, 'x'));
    qlytest::writeFileBytes(dir.file("Preisliste mit langem Namen.csv"), "a;b");
    TOrvFileList list;
    list.resize(620, 240);
    for (const char* f : {"Foto.png", "Angebot.txt", "Preisliste mit langem Namen.csv"})
        list.AddFile(dir.file(f));
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    const QString out = qEnvironmentVariable("QLY_SCREENSHOT_DIR");
    if (!out.isEmpty())
        list.grab().save(out + "/filelist-report.png");
    list.SetThumbnails(true);
    QTest::qWaitFor([&] { return list.topLevelItem(0)->data(0, TOrvFileList::ThumbnailRole).toBool(); }, 5000);
    QTest::qWait(100);
    const QImage shot = list.grab().toImage();
    if (!out.isEmpty())
        shot.save(out + "/filelist-thumbnails.png");
    EXPECT_FALSE(shot.isNull());
}

} // namespace

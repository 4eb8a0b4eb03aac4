// Pictures: GIF frames, files that are no pictures, devices, PNG and WMF, the container and cache.
#include "grid/pictures/GifBlocks.h"
#include "grid/pictures/Pictures.h"
#include "TestPictures.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace pictures;
using testpictures::rectangleWmf;
using testpictures::threeFrameGif;

namespace {

QImage drawn(const THTMLPicture& pic, int w, int h, const QRect& target)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    pic.Draw(p, target);
    return img;
}

QRect coloured(const QImage& img)
{
    QRect r;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != qRgb(255, 255, 255))
                r |= QRect(x, y, 1, 1);
    return r;
}

} // namespace

TEST(Pictures, GifFramesAreFoundByTheirBlocks)
{
    const QByteArray gif = threeFrameGif();
    ASSERT_GE(gif.indexOf(QByteArray::fromHex("21f904")), 0);
    EXPECT_EQ(GifFrames(gif).size(), 3u);
    THTMLPicture pic;
    pic.LoadFromBytes(gif);
    EXPECT_TRUE(pic.IsGIF());
    EXPECT_EQ(pic.GIFFrameCount(), 3);
    EXPECT_EQ(pic.Width(), 10);
    EXPECT_EQ(pic.Height(), 8);
    pic.SetFrame(2);
    EXPECT_EQ(pic.FrameWidth(), 7);
    EXPECT_EQ(pic.FrameHeight(), 5);
    EXPECT_EQ(pic.FrameOffset(), QPoint(2, 1));
    const QImage img = drawn(pic, 20, 20, QRect(0, 0, 20, 20));
    EXPECT_EQ(coloured(img), QRect(0, 0, 7, 5));
    EXPECT_EQ(img.pixel(3, 2), qRgb(255, 0, 0));
    pic.SetFrame(3);
    EXPECT_EQ(pic.FrameWidth(), 3);
    EXPECT_EQ(drawn(pic, 20, 20, QRect(0, 0, 20, 20)).pixel(1, 1), qRgb(0, 0, 255));
    // A frame the picture lacks draws nothing and raises nothing.
    pic.SetFrame(4);
    EXPECT_EQ(coloured(drawn(pic, 20, 20, QRect(0, 0, 20, 20))), QRect());
    // A GIF cut inside its last frame keeps the frames before it.
    EXPECT_EQ(GifFrames(gif.left(gif.size() - 6)).size(), 2u);
    EXPECT_TRUE(GifFrames("GIF8").empty());
}

TEST(Pictures, ATextFileIsNoPicture)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("note.txt");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Das ist kein Bild.\n");
    f.close();
    THTMLPicture pic;
    pic.LoadFromFile(path);
    EXPECT_TRUE(pic.Empty());
    QFile again(path);
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    try {
        pic.LoadFromStream(&again);
        FAIL() << "no error";
    } catch (const EPictureError& e) {
        EXPECT_EQ(e.message(), "Could not load image. Invalid format");
    }
}

TEST(Pictures, DevicesAndFifosReturnAtOnce)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe");
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    QElapsedTimer t;
    t.start();
    for (const QString& path : {QStringLiteral("/dev/zero"), fifo, dir.path(), dir.filePath("missing.png")}) {
        THTMLPicture pic;
        pic.LoadFromFile(path);
        EXPECT_TRUE(pic.Empty()) << path.toStdString();
        THTMLPicture source;
        source.LoadFromSource("FILE://" + path);
        EXPECT_TRUE(source.Empty());
        EXPECT_EQ(source.CacheKey, "FILE://" + path);
        TFilePicture file;
        EXPECT_THROW(file.SetFilename(path), EPictureError);
    }
    EXPECT_LT(t.elapsed(), 2000);
}

TEST(Pictures, PngAndWmfDrawWhereTheyBelong)
{
    QImage png(32, 16, QImage::Format_RGB32);
    png.fill(Qt::green);
    QByteArray bytes;
    QBuffer b(&bytes);
    b.open(QIODevice::WriteOnly);
    png.save(&b, "PNG");
    THTMLPicture pic;
    pic.LoadFromBytes(bytes);
    EXPECT_EQ(coloured(drawn(pic, 64, 64, QRect(0, 0, 64, 64))), QRect(QPoint(0, 0), QPoint(31, 15)));
    pic.Stretch = true;
    EXPECT_EQ(coloured(drawn(pic, 64, 64, QRect(0, 0, 64, 32))), QRect(0, 0, 64, 32));

    THTMLPicture wmf;
    wmf.LoadFromBytes(rectangleWmf());
    EXPECT_EQ(wmf.Width(), 100);
    EXPECT_EQ(wmf.Height(), 60);
    const QImage img = drawn(wmf, 120, 80, QRect(0, 0, 120, 80));
    EXPECT_EQ(img.pixel(30, 20), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(5, 5), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(60, 40), qRgb(255, 255, 255));
    const QRect red = coloured(img);
    EXPECT_NEAR(red.left(), 10, 1);
    EXPECT_NEAR(red.top(), 10, 1);
    EXPECT_NEAR(red.right(), 49, 1);
    EXPECT_NEAR(red.bottom(), 29, 1);

    // Assign copies the bytes; a file picture reads its size.
    THTMLPicture copy;
    copy.Assign(&wmf);
    EXPECT_EQ(copy.Width(), 100);
    copy.Assign(nullptr);
    EXPECT_TRUE(copy.Empty());
    QTemporaryDir dir;
    const QString path = dir.filePath("p.png");
    png.save(path);
    TFilePicture file;
    file.SetFilename(path);
    EXPECT_EQ(QSize(file.Width(), file.Height()), QSize(32, 16));
}

TEST(Pictures, ContainerCacheAndResources)
{
    TPictureContainer container;
    EXPECT_EQ(container.Version(), "1.0.0.0");
    container.SetVersion("9.9");
    EXPECT_EQ(container.property("Version").toString(), "1.0.0.0");
    TPictureItem* first = container.Items().Add();
    first->Name = "Logo";
    TPictureItem* second = container.Items().Add();
    second->Name = "logo";
    EXPECT_EQ(container.PictureByName("LOGO"), first->Picture());
    EXPECT_EQ(container.PictureByName("other"), nullptr);

    THTMLPictureCache cache;
    THTMLPicture* res = cache.AddEmpty();
    res->LoadFromSource("res://logo.png");
    EXPECT_FALSE(res->Empty());
    EXPECT_EQ(res->Width(), 4);
    EXPECT_EQ(cache.FindCached("res://logo.png"), res);
    EXPECT_EQ(cache.FindCached("RES://LOGO.PNG"), nullptr);
    THTMLPicture* url = cache.AddEmpty();
    url->LoadFromSource("https://example.invalid/x.png");
    EXPECT_TRUE(url->Empty());
    EXPECT_TRUE(url->FetchInProgress);
    EXPECT_EQ(url->SourceToFetch, "https://example.invalid/x.png");
}

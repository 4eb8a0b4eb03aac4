// Pictures: GIF frames, files that are no pictures, devices, PNG and WMF, the container and cache.
#include "grid/pictures/GifBlocks.h"
#include "grid/pictures/Pictures.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace pictures;

namespace {

void put16(QByteArray& b, int v)
{
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
}
void put32(QByteArray& b, quint32 v)
{
    put16(b, int(v & 0xFFFF));
    put16(b, int(v >> 16));
}

// LZW data of code size 2 that never grows past 3-bit codes: a clear code before every two pixels.
QByteArray lzwPixels(int count, int colour)
{
    QByteArray out;
    quint32 acc = 0;
    int bits = 0;
    auto code = [&](int c) {
        acc |= quint32(c) << bits;
        bits += 3;
        while (bits >= 8) {
            out.append(char(acc & 0xFF));
            acc >>= 8;
            bits -= 8;
        }
    };
    for (int i = 0; i < count; ++i) {
        if (i % 2 == 0)
            code(4);
        code(colour);
    }
    code(5);
    if (bits > 0)
        out.append(char(acc & 0xFF));
    QByteArray blocks;
    blocks.append(char(2));   // minimum code size
    for (qsizetype i = 0; i < out.size(); i += 255) {
        const QByteArray part = out.mid(i, 255);
        blocks.append(char(part.size()));
        blocks.append(part);
    }
    blocks.append(char(0));
    return blocks;
}

// A GIF 10 x 8 of three frames (white, red 7 x 5 at 2,1, blue 3 x 3) with a comment whose bytes
// look like a frame start.
QByteArray threeFrameGif()
{
    QByteArray g("GIF89a");
    put16(g, 10);
    put16(g, 8);
    g.append(char(0x81));   // global colour table of 4 entries
    g.append(char(0));
    g.append(char(0));
    const unsigned char colours[] = {255, 255, 255, 255, 0, 0, 0, 0, 255, 0, 0, 0};
    g.append(reinterpret_cast<const char*>(colours), sizeof colours);
    // A comment holding 21 F9 04 ... 2C.
    const unsigned char fake[] = {0x21, 0xF9, 0x04, 0, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 9, 0, 9, 0, 0};
    g.append(char(0x21));
    g.append(char(0xFE));
    g.append(char(sizeof fake));
    g.append(reinterpret_cast<const char*>(fake), sizeof fake);
    g.append(char(0));
    struct F { int x, y, w, h, colour; };
    for (const F& f : {F{0, 0, 10, 8, 0}, F{2, 1, 7, 5, 1}, F{0, 0, 3, 3, 2}}) {
        const unsigned char gce[] = {0x21, 0xF9, 0x04, 0x04, 10, 0, 0, 0};
        g.append(reinterpret_cast<const char*>(gce), sizeof gce);
        g.append(char(0x2C));
        put16(g, f.x);
        put16(g, f.y);
        put16(g, f.w);
        put16(g, f.h);
        g.append(char(0));
        g.append(lzwPixels(f.w * f.h, f.colour));
    }
    g.append(char(0x3B));
    return g;
}

// A placeable WMF of 100 x 60 units at 96 units per inch: a red filled rectangle (10,10)-(50,30).
QByteArray rectangleWmf()
{
    QByteArray records;
    auto record = [&](int function, std::initializer_list<int> params) {
        put32(records, quint32(3 + params.size()));
        put16(records, function);
        for (int p : params)
            put16(records, p);
    };
    record(0x020B, {0, 0});        // SetWindowOrg(y, x)
    record(0x020C, {60, 100});     // SetWindowExt(y, x)
    record(0x02FC, {0, 0x00FF, 0x0000, 0});   // CreateBrushIndirect: solid, red
    record(0x012D, {0});           // SelectObject
    record(0x02FA, {5, 0, 0, 0, 0});          // CreatePenIndirect: no pen
    record(0x012D, {1});
    record(0x041B, {30, 50, 10, 10});         // Rectangle(bottom, right, top, left)
    record(0x0000, {});            // end
    QByteArray w;
    put32(w, 0x9AC6CDD7u);
    put16(w, 0);
    for (int v : {0, 0, 100, 60})
        put16(w, v);
    put16(w, 96);
    put32(w, 0);
    quint16 sum = 0;
    for (int i = 0; i < 20; i += 2)
        sum ^= quint16(quint8(w[i]) | (quint8(w[i + 1]) << 8));
    put16(w, sum);
    put16(w, 1);      // in memory
    put16(w, 9);      // header words
    put16(w, 0x0300);
    put32(w, quint32((18 + records.size()) / 2));
    put16(w, 2);      // objects
    put32(w, 7);      // largest record in words
    put16(w, 0);
    return w + records;
}

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

// The screenshot's PNG writer.
#include "excreport/SivrelPng.h"
#include <QBuffer>
#include <QImageReader>
#include <QTemporaryDir>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <cstring>
#include <random>
#include <zlib.h>

using namespace excreport;

namespace {

struct PngChunk {
    QByteArray type;
    QByteArray data;
    uint32_t crc;
};

uint32_t Get32(const QByteArray& b, qsizetype at)
{
    return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 | uint32_t(uint8_t(b[at + 2])) << 8
           | uint32_t(uint8_t(b[at + 3]));
}

std::vector<PngChunk> Chunks(const QByteArray& png)
{
    std::vector<PngChunk> chunks;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const uint32_t length = Get32(png, at);
        chunks.push_back({png.mid(at + 4, 4), png.mid(at + 8, length), Get32(png, at + 8 + length)});
        at += 12 + length;
    }
    return chunks;
}

std::array<uint32_t, 256> Greys()
{
    std::array<uint32_t, 256> p{};
    for (uint32_t i = 0; i < 256; ++i)
        p[i] = i << 16 | (255 - i) << 8 | (i * 7 & 0xFF);
    return p;
}

} // namespace

TEST(SivrelPng, SmallImageLayoutAndDecoding)
{
    const int width = 1366, height = 3;
    const qsizetype stride = 1368;  // rows padded like a bitmap's: the padding is no part of the image
    std::vector<uint8_t> indices(size_t(stride * height), 0xEE);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            indices[size_t(y * stride + x)] = uint8_t((x + y * 3) % 256);
    const QByteArray png = EncodeIndexedPng(width, height, indices.data(), stride, Greys());
    EXPECT_EQ(png.left(8), QByteArray("\x89PNG\r\n\x1a\n", 8));
    // The CRC was computed with Python's zlib.crc32.
    EXPECT_EQ(png.mid(8, 25).toHex(), QByteArray("0000000d49484452" "00000556" "00000003" "0803000000" "4f9ca4c3"));
    EXPECT_EQ(png.right(12).toHex(), QByteArray("0000000049454e44ae426082"));
    const auto chunks = Chunks(png);
    ASSERT_EQ(chunks.size(), 4u);
    EXPECT_EQ(chunks[1].type, "PLTE");
    EXPECT_EQ(chunks[1].data.size(), 768);
    EXPECT_EQ(chunks[2].type, "IDAT");

    QImage decoded;
    ASSERT_TRUE(decoded.loadFromData(png, "PNG"));
    ASSERT_EQ(decoded.format(), QImage::Format_Indexed8);
    ASSERT_EQ(decoded.size(), QSize(width, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(decoded.pixelIndex(x, y), (x + y * 3) % 256) << x << "," << y;
    EXPECT_EQ(decoded.color(200) & 0xFFFFFFu, Greys()[200]);
}

TEST(SivrelPng, LargeImageIsCutIntoFullIdatChunks)
{
    const int side = 2000;
    std::vector<uint8_t> indices(size_t(side) * side);
    std::mt19937 random(25);
    for (uint8_t& b : indices)
        b = uint8_t(random());
    const QByteArray png = EncodeIndexedPng(side, side, indices.data(), side, Greys());
    const auto chunks = Chunks(png);
    QByteArray stream;
    int idat = 0;
    for (size_t i = 0; i < chunks.size(); ++i) {
        const QByteArray typed = chunks[i].type + chunks[i].data;
        EXPECT_EQ(chunks[i].crc, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), uInt(typed.size()))));
        if (chunks[i].type != "IDAT")
            continue;
        ++idat;
        stream += chunks[i].data;
        if (chunks[i + 1].type == "IDAT")
            EXPECT_EQ(chunks[i].data.size(), 262143);
        else
            EXPECT_LE(chunks[i].data.size(), 262143);
    }
    EXPECT_GT(idat, 10);
    // One zlib stream of the filter bytes and the rows.
    std::vector<uint8_t> raw(size_t(side) * (side + 1) + 1);
    uLongf length = uLongf(raw.size());
    ASSERT_EQ(uncompress(raw.data(), &length, reinterpret_cast<const Bytef*>(stream.constData()), uLong(stream.size())), Z_OK);
    ASSERT_EQ(length, uLongf(side) * (side + 1));
    for (int y = 0; y < side; y += 397) {
        EXPECT_EQ(raw[size_t(y) * (side + 1)], 0);
        EXPECT_EQ(std::memcmp(&raw[size_t(y) * (side + 1) + 1], &indices[size_t(y) * side], size_t(side)), 0);
    }
}

TEST(SivrelPng, ScreenImageIsReducedAndWrittenOnlyWithAName)
{
    QImage screen(300, 200, QImage::Format_RGB32);
    screen.fill(QColor(10, 120, 200));
    for (int x = 0; x < 300; ++x)
        screen.setPixelColor(x, x % 200, QColor(250, 250, 0));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Screenshot.png"));
    EXPECT_FALSE(SaveScreenshotPNG(screen, QString()));
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
    ASSERT_TRUE(SaveScreenshotPNG(screen, path));
    QImage back(path);
    ASSERT_EQ(back.size(), screen.size());
    EXPECT_EQ(back.format(), QImage::Format_Indexed8);
    EXPECT_EQ(back.colorCount(), 256) << "palette padded to 256 entries";
    EXPECT_EQ(back.pixelColor(5, 100), QColor(10, 120, 200));
    EXPECT_EQ(back.pixelColor(7, 7), QColor(250, 250, 0));
}

#include "excreport/SivrelPng.h"
#include <QSaveFile>
#include <zlib.h>

namespace excreport {

namespace {

constexpr size_t IdatSize = 262143;

void Put32(QByteArray& out, uint32_t v)
{
    out += char(v >> 24);
    out += char(v >> 16);
    out += char(v >> 8);
    out += char(v);
}

void Chunk(QByteArray& out, const char* type, const uint8_t* data, size_t length)
{
    Put32(out, uint32_t(length));
    const qsizetype start = out.size();
    out.append(type, 4);
    if (length)
        out.append(reinterpret_cast<const char*>(data), qsizetype(length));
    Put32(out, PngCrc32(reinterpret_cast<const uint8_t*>(out.constData() + start), length + 4));
}

} // namespace

uint32_t PngCrc32(const uint8_t* data, size_t length, uint32_t crc)
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t c = crc ^ 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i)
        c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

QByteArray EncodeIndexedPng(int width, int height, const uint8_t* indices, qsizetype stride,
                            const std::array<uint32_t, 256>& palette)
{
    QByteArray out("\x89PNG\r\n\x1a\n", 8);
    uint8_t header[13] = {};
    for (int i = 0; i < 4; ++i) {
        header[i] = uint8_t(uint32_t(width) >> (24 - 8 * i));
        header[4 + i] = uint8_t(uint32_t(height) >> (24 - 8 * i));
    }
    header[8] = 8;
    header[9] = 3;
    Chunk(out, "IHDR", header, sizeof header);
    uint8_t colours[768];
    for (int i = 0; i < 256; ++i) {
        colours[i * 3] = uint8_t(palette[size_t(i)] >> 16);
        colours[i * 3 + 1] = uint8_t(palette[size_t(i)] >> 8);
        colours[i * 3 + 2] = uint8_t(palette[size_t(i)]);
    }
    Chunk(out, "PLTE", colours, sizeof colours);

    std::vector<uint8_t> buffer(IdatSize);
    z_stream z{};
    deflateInit(&z, 9);
    z.next_out = buffer.data();
    z.avail_out = uInt(IdatSize);
    const auto feed = [&](const uint8_t* data, size_t length) {
        z.next_in = const_cast<Bytef*>(data);
        z.avail_in = uInt(length);
        while (z.avail_in > 0) {
            deflate(&z, Z_NO_FLUSH);
            if (z.avail_out == 0) {
                Chunk(out, "IDAT", buffer.data(), IdatSize);
                z.next_out = buffer.data();
                z.avail_out = uInt(IdatSize);
            }
        }
    };
    const uint8_t filter = 0;
    for (int y = 0; y < height; ++y) {
        feed(&filter, 1);
        feed(indices + y * stride, size_t(width));
    }
    while (deflate(&z, Z_FINISH) != Z_STREAM_END) {
        Chunk(out, "IDAT", buffer.data(), IdatSize - z.avail_out);
        z.next_out = buffer.data();
        z.avail_out = uInt(IdatSize);
    }
    if (z.avail_out < IdatSize)
        Chunk(out, "IDAT", buffer.data(), IdatSize - z.avail_out);
    deflateEnd(&z);
    Chunk(out, "IEND", nullptr, 0);
    return out;
}

QByteArray ScreenshotPng(const QImage& image)
{
    const QImage indexed = image.format() == QImage::Format_Indexed8
                               ? image
                               : image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
    std::array<uint32_t, 256> palette{};
    const QList<QRgb> table = indexed.colorTable();
    for (int i = 0; i < 256 && i < table.size(); ++i)
        palette[size_t(i)] = table[i] & 0xFFFFFFu;
    return EncodeIndexedPng(indexed.width(), indexed.height(), indexed.constBits(), indexed.bytesPerLine(), palette);
}

bool SaveScreenshotPNG(const QImage& image, const QString& fileName)
{
    if (fileName.isEmpty() || image.isNull())
        return false;
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(ScreenshotPng(image));
    return file.commit();
}

} // namespace excreport

#include "grid/pictures/GifBlocks.h"

namespace pictures {

namespace {
int byteAt(const QByteArray& b, qsizetype i) { return static_cast<unsigned char>(b[i]); }
int wordAt(const QByteArray& b, qsizetype i) { return byteAt(b, i) | (byteAt(b, i + 1) << 8); }

// Skips a chain of data sub-blocks starting at `pos`; -1 when it runs past the end.
qsizetype skipSubBlocks(const QByteArray& b, qsizetype pos)
{
    while (pos < b.size()) {
        const int len = byteAt(b, pos);
        ++pos;
        if (len == 0)
            return pos;
        pos += len;
    }
    return -1;
}
} // namespace

bool IsGifData(const QByteArray& bytes)
{
    return bytes.size() >= 5 && bytes.startsWith("GIF8");
}

std::vector<TGifFrame> GifFrames(const QByteArray& b)
{
    std::vector<TGifFrame> frames;
    if (!IsGifData(b) || b.size() < 13)
        return frames;
    qsizetype pos = 13;
    const int flags = byteAt(b, 10);
    if (flags & 0x80)
        pos += 3 * (qsizetype(1) << ((flags & 7) + 1));
    qsizetype frameStart = -1;   // a graphic control extension waiting for its image
    while (pos < b.size()) {
        const int block = byteAt(b, pos);
        if (block == 0x3B)
            break;
        if (block == 0x21) {
            if (pos + 1 >= b.size())
                break;
            const bool control = byteAt(b, pos + 1) == 0xF9;
            const qsizetype start = pos;
            pos = skipSubBlocks(b, pos + 2);
            if (pos < 0)
                break;
            if (control)
                frameStart = start;
            continue;
        }
        if (block != 0x2C || pos + 10 > b.size())
            break;
        TGifFrame f;
        f.offset = int(frameStart >= 0 ? frameStart : pos);
        f.rect = QRect(wordAt(b, pos + 1), wordAt(b, pos + 3), wordAt(b, pos + 5), wordAt(b, pos + 7));
        const int local = byteAt(b, pos + 9);
        pos += 10;
        if (local & 0x80)
            pos += 3 * (qsizetype(1) << ((local & 7) + 1));
        pos += 1;   // LZW minimum code size
        if (pos > b.size())
            break;
        pos = skipSubBlocks(b, pos);
        if (pos < 0)
            break;
        frames.push_back(f);
        frameStart = -1;
    }
    return frames;
}

} // namespace pictures

#pragma once
// Pictures the tests build byte by byte: a GIF of three frames and a placeable metafile.
#include <QByteArray>
#include <initializer_list>

namespace testpictures {

inline void put16(QByteArray& b, int v)
{
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
}
inline void put32(QByteArray& b, quint32 v)
{
    put16(b, int(v & 0xFFFF));
    put16(b, int(v >> 16));
}

// LZW data of code size 2 that never grows past 3-bit codes: a clear code before every two pixels.
inline QByteArray lzwPixels(int count, int colour)
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
inline QByteArray threeFrameGif()
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
inline QByteArray rectangleWmf()
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

} // namespace testpictures

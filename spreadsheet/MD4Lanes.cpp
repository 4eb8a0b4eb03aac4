#include "spreadsheet/MD4Lanes.h"

#include <QtEndian>
#include <cstdint>
#include <cstring>

namespace xls {

namespace {

constexpr int Lanes = 8;
typedef uint32_t V __attribute__((vector_size(Lanes * 4)));
constexpr uint32_t Init[4] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};

// One message in a lane: its whole 64-byte blocks straight from its bytes, then one or two
// blocks of the last bytes with the padding and the bit length.
struct Lane {
    int message = -1;
    const uint8_t* next = nullptr;
    qint64 wholeBlocks = 0;
    uint8_t tail[128] = {};
    int tailBlocks = 0;
    int tailDone = 0;

    void start(int index, QByteArrayView bytes)
    {
        message = index;
        next = reinterpret_cast<const uint8_t*>(bytes.data());
        wholeBlocks = bytes.size() / 64;
        const qint64 rest = bytes.size() % 64;
        std::memset(tail, 0, sizeof tail);
        if (rest) std::memcpy(tail, next + wholeBlocks * 64, size_t(rest));
        tail[rest] = 0x80;
        tailBlocks = rest < 56 ? 1 : 2;
        qToLittleEndian<quint64>(quint64(bytes.size()) * 8, tail + tailBlocks * 64 - 8);
        tailDone = 0;
    }
    const uint8_t* block() const { return wholeBlocks > 0 ? next : tail + 64 * tailDone; }
    // Moves to the next block; false once the message is through.
    bool advance()
    {
        if (wholeBlocks > 0) {
            --wholeBlocks;
            next += 64;
            return true;
        }
        return ++tailDone < tailBlocks;
    }
};

#define QLY_ROTL(x, s) (((x) << (s)) | ((x) >> (32 - (s))))
#define QLY_R1(a, b, c, d, k, s) a = QLY_ROTL(a + ((b & c) | (~b & d)) + x[k], s)
#define QLY_R2(a, b, c, d, k, s) a = QLY_ROTL(a + ((b & c) | (b & d) | (c & d)) + x[k] + 0x5A827999u, s)
#define QLY_R3(a, b, c, d, k, s) a = QLY_ROTL(a + (b ^ c ^ d) + x[k] + 0x6ED9EBA1u, s)

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#endif
void digestAll(const QByteArrayView* messages, int count, QByteArray* out)
{
    Lane lanes[Lanes];
    V a, b, c, d;
    int taken = 0, busy = 0;
    for (int l = 0; l < Lanes; ++l) {
        a[l] = Init[0], b[l] = Init[1], c[l] = Init[2], d[l] = Init[3];
        if (taken < count) {
            lanes[l].start(taken, messages[taken]);
            ++taken;
            ++busy;
        }
    }
    static const uint8_t idle[64] = {};
    while (busy > 0) {
        // Word j of every lane's block side by side: each half block of the eight lanes is an
        // 8 x 8 matrix of words, transposed.
        const uint8_t* block[Lanes];
        for (int l = 0; l < Lanes; ++l) block[l] = lanes[l].message >= 0 ? lanes[l].block() : idle;
        V x[16];
        for (int half = 0; half < 2; ++half) {
            V r[Lanes];
            for (int l = 0; l < Lanes; ++l) std::memcpy(&r[l], block[l] + 32 * half, sizeof(V));
#if Q_BYTE_ORDER != Q_LITTLE_ENDIAN
            for (int l = 0; l < Lanes; ++l)
                for (int j = 0; j < 8; ++j) r[l][j] = qFromLittleEndian<quint32>(block[l] + 32 * half + 4 * j);
#endif
            V t[8], u[8];
            for (int k = 0; k < 8; k += 2) {
                t[k] = __builtin_shufflevector(r[k], r[k + 1], 0, 8, 1, 9, 4, 12, 5, 13);
                t[k + 1] = __builtin_shufflevector(r[k], r[k + 1], 2, 10, 3, 11, 6, 14, 7, 15);
            }
            for (int k = 0; k < 8; k += 4) {
                u[k] = __builtin_shufflevector(t[k], t[k + 2], 0, 1, 8, 9, 4, 5, 12, 13);
                u[k + 1] = __builtin_shufflevector(t[k], t[k + 2], 2, 3, 10, 11, 6, 7, 14, 15);
                u[k + 2] = __builtin_shufflevector(t[k + 1], t[k + 3], 0, 1, 8, 9, 4, 5, 12, 13);
                u[k + 3] = __builtin_shufflevector(t[k + 1], t[k + 3], 2, 3, 10, 11, 6, 7, 14, 15);
            }
            for (int j = 0; j < 4; ++j) {
                x[8 * half + j] = __builtin_shufflevector(u[j], u[j + 4], 0, 1, 2, 3, 8, 9, 10, 11);
                x[8 * half + j + 4] = __builtin_shufflevector(u[j], u[j + 4], 4, 5, 6, 7, 12, 13, 14, 15);
            }
        }
        const V a0 = a, b0 = b, c0 = c, d0 = d;
        QLY_R1(a, b, c, d, 0, 3); QLY_R1(d, a, b, c, 1, 7); QLY_R1(c, d, a, b, 2, 11); QLY_R1(b, c, d, a, 3, 19);
        QLY_R1(a, b, c, d, 4, 3); QLY_R1(d, a, b, c, 5, 7); QLY_R1(c, d, a, b, 6, 11); QLY_R1(b, c, d, a, 7, 19);
        QLY_R1(a, b, c, d, 8, 3); QLY_R1(d, a, b, c, 9, 7); QLY_R1(c, d, a, b, 10, 11); QLY_R1(b, c, d, a, 11, 19);
        QLY_R1(a, b, c, d, 12, 3); QLY_R1(d, a, b, c, 13, 7); QLY_R1(c, d, a, b, 14, 11); QLY_R1(b, c, d, a, 15, 19);
        QLY_R2(a, b, c, d, 0, 3); QLY_R2(d, a, b, c, 4, 5); QLY_R2(c, d, a, b, 8, 9); QLY_R2(b, c, d, a, 12, 13);
        QLY_R2(a, b, c, d, 1, 3); QLY_R2(d, a, b, c, 5, 5); QLY_R2(c, d, a, b, 9, 9); QLY_R2(b, c, d, a, 13, 13);
        QLY_R2(a, b, c, d, 2, 3); QLY_R2(d, a, b, c, 6, 5); QLY_R2(c, d, a, b, 10, 9); QLY_R2(b, c, d, a, 14, 13);
        QLY_R2(a, b, c, d, 3, 3); QLY_R2(d, a, b, c, 7, 5); QLY_R2(c, d, a, b, 11, 9); QLY_R2(b, c, d, a, 15, 13);
        QLY_R3(a, b, c, d, 0, 3); QLY_R3(d, a, b, c, 8, 9); QLY_R3(c, d, a, b, 4, 11); QLY_R3(b, c, d, a, 12, 15);
        QLY_R3(a, b, c, d, 2, 3); QLY_R3(d, a, b, c, 10, 9); QLY_R3(c, d, a, b, 6, 11); QLY_R3(b, c, d, a, 14, 15);
        QLY_R3(a, b, c, d, 1, 3); QLY_R3(d, a, b, c, 9, 9); QLY_R3(c, d, a, b, 5, 11); QLY_R3(b, c, d, a, 13, 15);
        QLY_R3(a, b, c, d, 3, 3); QLY_R3(d, a, b, c, 11, 9); QLY_R3(c, d, a, b, 7, 11); QLY_R3(b, c, d, a, 15, 15);
        a += a0, b += b0, c += c0, d += d0;
        for (int l = 0; l < Lanes; ++l) {
            Lane& lane = lanes[l];
            if (lane.message < 0 || lane.advance()) continue;
            QByteArray digest(16, Qt::Uninitialized);
            auto* p = reinterpret_cast<uchar*>(digest.data());
            qToLittleEndian<quint32>(a[l], p);
            qToLittleEndian<quint32>(b[l], p + 4);
            qToLittleEndian<quint32>(c[l], p + 8);
            qToLittleEndian<quint32>(d[l], p + 12);
            out[lane.message] = digest;
            a[l] = Init[0], b[l] = Init[1], c[l] = Init[2], d[l] = Init[3];
            if (taken < count) {
                lane.start(taken, messages[taken]);
                ++taken;
            } else {
                lane.message = -1;
                --busy;
            }
        }
    }
}

#undef QLY_ROTL
#undef QLY_R1
#undef QLY_R2
#undef QLY_R3

}

QList<QByteArray> MD4Digests(const QList<QByteArrayView>& messages)
{
    QList<QByteArray> out(messages.size());
    digestAll(messages.constData(), int(messages.size()), out.data());
    return out;
}

}

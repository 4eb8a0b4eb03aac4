#include "DrawingTestUtil.h"
#include "XlsTestUtil.h"

namespace xlstest {

QByteArray esc(int version, int instance, int type, const QByteArray& data)
{
    return u16((version & 0xF) | (instance << 4)) + u16(type) + u32(uint32_t(data.size())) + data;
}

static QByteArray uids(int instance) { return QByteArray(16, '\x11') + ((instance & 1) ? QByteArray(16, '\x22') : QByteArray()); }

QByteArray blip(int type, int instance, const QByteArray& bytes) { return esc(0, instance, type, uids(instance) + u8(0xFF) + bytes); }

QByteArray metafileBlip(int type, int instance, int fullSize, const QByteArray& stored, int compression)
{
    QByteArray header = u32(uint32_t(fullSize)) + u32(0) + u32(0) + u32(100) + u32(100) + u32(12700) + u32(12700) +
                        u32(uint32_t(stored.size())) + u8(compression) + u8(0xFE);
    return esc(0, instance, type, uids(instance) + header + stored);
}

QByteArray bse(int winType, const QByteArray& blipRecord, const QString& name, int sizeDelta)
{
    QByteArray b = u8(winType) + u8(winType) + QByteArray(16, '\x33') + u16(0xFF) + u32(uint32_t(blipRecord.size() + sizeDelta)) +
                   u32(1) + u32(0) + u8(0) + u8(name.size()) + u8(0) + u8(0);
    if (!name.isEmpty()) b += u8(0) + name.toLatin1();
    return esc(2, winType, 0xF007, b + blipRecord);
}

QByteArray emptyBse() { return esc(2, 0, 0xF007, QByteArray(36, 0)); }

QByteArray drawingGroup(const QByteArray& bses, const QByteArray& rest)
{
    int count = 0;
    for (int o = 0; o + 8 <= bses.size(); ++count)
        o += 8 + int(uint8_t(bses[o + 4]) | (uint8_t(bses[o + 5]) << 8) | (uint8_t(bses[o + 6]) << 16));
    const QByteArray bstore = bses.isEmpty() ? QByteArray() : esc(0xF, count, 0xF001, bses);
    return esc(0xF, 0, 0xF000, bstore + rest);
}

QByteArray dgg(uint32_t maxShapeId, const QList<QPair<uint32_t, uint32_t>>& clusters, uint32_t savedShapes, uint32_t savedDrawings)
{
    QByteArray d = u32(maxShapeId) + u32(uint32_t(clusters.size() + 1)) + u32(savedShapes) + u32(savedDrawings);
    for (const auto& c : clusters) d += u32(c.first) + u32(c.second);
    return esc(0, 0, 0xF006, d);
}

}

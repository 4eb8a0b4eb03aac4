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

namespace xlstest {

QByteArray objBody(int objectType, int objectId, int options, const QByteArray& more)
{
    return u16(0x15) + u16(18) + u16(objectType) + u16(objectId) + u16(options) + QByteArray(12, 0) + more + u32(0);
}

QByteArray txoRecords(const QString& text, int piece)
{
    QByteArray out = rec(0x01B6, u16(0x0212) + QByteArray(8, 0) + u16(text.size()) + u16(16) + u32(0));
    if (text.isEmpty()) return out;
    const QByteArray latin = text.toLatin1();
    for (int o = 0; o < latin.size(); o += piece) out += rec(0x003C, u8(0) + latin.mid(o, piece));
    return out + rec(0x003C, u16(0) + u16(0) + u32(0) + u16(text.size()) + QByteArray(6, 0));
}

QByteArray noteRecord(int row, int col, int objectId, const QString& author)
{
    return rec(0x001C, u16(row) + u16(col) + u16(0) + u16(objectId) + u16(author.size()) + u8(0) + author.toLatin1() + u8(0));
}

QByteArray sheetDrawing(int drawingId, const QList<TestShape>& shapes, uint32_t rootFlags)
{
    struct Piece { QByteArray escher, after; };
    QList<Piece> pieces;
    QByteArray all;
    for (const TestShape& s : shapes) {
        const QByteArray anchor = esc(0, 0, 0xF010, u16(2) + u16(1) + u16(0) + u16(1) + u16(0) + u16(3) + u16(0) + u16(5) + u16(0));
        const QByteArray body = esc(2, s.type, 0xF00A, u32(s.id) + u32(s.flags)) + s.opt + anchor + esc(0, 0, 0xF011, {});
        const QByteArray textBox = s.txo.isEmpty() ? QByteArray() : esc(0, 0, 0xF00D, {});
        const QByteArray container = esc(0xF, 0, 0xF004, body + textBox);
        pieces.append({container.left(container.size() - textBox.size()), rec(0x005D, s.obj)});
        if (!textBox.isEmpty()) pieces.append({textBox, s.txo});
        all += container;
    }
    const QByteArray root = esc(0xF, 0, 0xF004, esc(1, 0, 0xF009, QByteArray(16, 0)) + esc(2, 0, 0xF00A, u32(0x400) + u32(rootFlags)));
    const QByteArray group = esc(0xF, 0, 0xF003, root + all).left(8) + root;
    const QByteArray dg = esc(0, drawingId, 0xF008, u32(uint32_t(shapes.size() + 1)) + u32(0x400 + uint32_t(shapes.size())));
    const QByteArray head = esc(0xF, 0, 0xF002, dg + group + all).left(8) + dg + group;
    QByteArray out;
    if (pieces.isEmpty()) return rec(0x00EC, head);
    pieces[0].escher.prepend(head);
    for (const Piece& p : pieces) out += rec(0x00EC, p.escher) + p.after;
    return out;
}

}

namespace xlstest {

RecordList::RecordList(const QByteArray& records)
{
    for (int o = 0; o + 4 <= records.size();) {
        const uint16_t id = uint16_t(uint8_t(records[o]) | (uint8_t(records[o + 1]) << 8));
        const int len = uint8_t(records[o + 2]) | (uint8_t(records[o + 3]) << 8);
        m_records.append({id, records.mid(o + 4, len)});
        o += 4 + len;
    }
}

uint16_t RecordList::PeekRecordId() { return m_records.isEmpty() ? 0 : m_records.first().first; }

QByteArray RecordList::ReadRecord(uint16_t& id)
{
    auto r = m_records.takeFirst();
    id = r.first;
    return r.second;
}

QByteArray font8(const QString& name, int height20)
{
    return rec(0x0031, u16(height20) + u16(0) + u16(0x7FFF) + u16(400) + u16(0) + u8(0) + u8(0) + u8(0) + u8(0) + u8(name.size()) + u8(0) + name.toLatin1());
}

}

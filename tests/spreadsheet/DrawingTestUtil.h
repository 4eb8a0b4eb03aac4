#pragma once
// Builders of drawing records (the Office drawing format inside MSODRAWINGGROUP and MSODRAWING)
// for hand-built workbooks.
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <cstdint>

namespace xlstest {

// One drawing record: header (version, instance, type, length of `data`) and data.
QByteArray esc(int version, int instance, int type, const QByteArray& data);
// A BLIP of a bitmap (one identifier, two for an odd instance, the tag byte, the bytes).
QByteArray blip(int type, int instance, const QByteArray& bytes);
// A metafile BLIP: identifier(s), the 34-byte metafile header and the stored bytes.
QByteArray metafileBlip(int type, int instance, int fullSize, const QByteArray& stored, int compression);
// A BSE holding the BLIP; `sizeDelta` puts its size field off by that much.
QByteArray bse(int winType, const QByteArray& blipRecord, const QString& name = {}, int sizeDelta = 0);
QByteArray emptyBse();
// The DGG container with a BStore of the given BSEs (none: no BStore) and further records.
QByteArray drawingGroup(const QByteArray& bses, const QByteArray& rest = {});
QByteArray dgg(uint32_t maxShapeId, const QList<QPair<uint32_t, uint32_t>>& clusters, uint32_t savedShapes, uint32_t savedDrawings);

}

namespace xlstest {

// A shape of a hand-built sheet drawing: its SP with flags, properties (an OPT record or none),
// the body of its OBJ record and, for a text, the TXO record with its CONTINUE records.
struct TestShape {
    uint32_t id = 0x401;
    int type = 202;
    uint32_t flags = 0x0A00;
    QByteArray opt;
    QByteArray obj;
    QByteArray txo;
};
// The common-object sub-record and the end sub-record.
QByteArray objBody(int objectType, int objectId, int options = 0x6011, const QByteArray& more = {});
// A TXO record and the CONTINUE records of its 8-bit text (pieces of at most `piece`
// characters, each with its flag byte) and of its runs.
QByteArray txoRecords(const QString& text, int piece = 8223);
QByteArray noteRecord(int row, int col, int objectId, const QString& author);
// The MSODRAWING, OBJ and TXO records of a sheet drawing with the shapes.
QByteArray sheetDrawing(int drawingId, const QList<TestShape>& shapes, uint32_t rootFlags = 0x05);

}

#include "spreadsheet/MoveCopy.h"

namespace xlstest {

// The records of a byte sequence of BIFF records, handed out one by one.
class RecordList : public xls::TRecordSource {
public:
    explicit RecordList(const QByteArray& records);
    uint16_t PeekRecordId() override;
    QByteArray ReadRecord(uint16_t& id) override;
    int Left() const { return int(m_records.size()); }
private:
    QList<QPair<uint16_t, QByteArray>> m_records;
};

// A BIFF8 FONT record.
QByteArray font8(const QString& name, int height20 = 200);

}

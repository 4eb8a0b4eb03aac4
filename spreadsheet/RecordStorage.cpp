#include "spreadsheet/RecordStorage.h"
#include "spreadsheet/XLSUtils.h"

#include <cstring>

namespace xls {

TStoredRecord* TBaseRecordStorage::AddRec(uint32_t header, const uint8_t* data)
{
    auto* r = new TStoredRecord;
    r->Id = uint16_t(header);
    int len = int(header >> 16);
    r->Data = data ? QByteArray(reinterpret_cast<const char*>(data), len) : QByteArray(len, 0);
    m_items.append(r);
    return r;
}

qint64 TBaseRecordStorage::TotalSize() const
{
    qint64 s = 0;
    for (auto* r : m_items)
        if (r) s += r->Length() + 4;
    return s;
}

void TBaseRecordStorage::CopyTo(TBaseRecordStorage& other) const
{
    for (auto* r : m_items)
        if (r) other.AddRec(RecordHeader(r->Id, r->Length()), r->Bytes());
}

void TBaseRecordStorage::Clear()
{
    qDeleteAll(m_items);
    m_items.clear();
}

QByteArray TBaseRecordStorage::WriteAll() const
{
    QByteArray out;
    for (auto* r : m_items) {
        if (!r) continue;
        uint8_t h[4];
        PutWord(h, r->Id);
        PutWord(h + 2, r->Length());
        out.append(reinterpret_cast<const char*>(h), 4);
        out.append(r->Data);
    }
    return out;
}

void TRecordStorageDefault::Clear()
{
    TBaseRecordStorage::Clear();
    m_templates.Clear();
    for (SlotEntry& e : m_slots) e = SlotEntry();
}

void TRecordStorageDefault::setDefaults(const QList<TemplateDef>& defs, const QList<uint16_t>& markers)
{
    Clear();
    m_slotIds.clear();
    m_markerIds = markers;
    for (const TemplateDef& d : defs) {
        TStoredRecord* t = m_templates.AddRec(RecordHeader(d.id, uint16_t(d.data.size())),
                                              reinterpret_cast<const uint8_t*>(d.data.constData()));
        setSlot(d.id, t);
        m_slotIds.append(d.id);
    }
}

void TRecordStorageDefault::MoveDefault(TStoredRecord* block)
{
    if (!m_slotIds.contains(block->Id))
        throw EXLSError(QStringLiteral("[int] Unknown move default record %1")
                            .arg(QString::number(block->Id, 16).toUpper().rightJustified(4, '0')));
    setSlot(block->Id, block);
}

void TRecordStorageDefault::setSlot(uint16_t id, TStoredRecord* r)
{
    SlotEntry& e = m_slots[id & 0x1FF];
    Q_ASSERT(e.id == 0xFFFF || e.id == id);
    e.id = id;
    e.record = r;
}

void TRecordStorageDefault::storeDefault(uint16_t id, const uint8_t* data, int length)
{
    for (TStoredRecord* r : m_items) {
        if (r->Id != id) continue;
        // Stored already: a record of another length replaces the data with its own length.
        if (data) r->Data = QByteArray(reinterpret_cast<const char*>(data), length);
        return;
    }
    int at = -1;
    for (int i = 0; i < m_templates.Count(); ++i)
        if (m_templates.Item(i) && m_templates.Item(i)->Id == id) { at = i; break; }
    if (at < 0)
        throw EXLSError(QStringLiteral("Excpected default record %1 not found.")
                            .arg(QString::number(id, 16).toUpper().rightJustified(4, '0')));
    TStoredRecord* last = nullptr;
    for (int i = 0; i <= at; ++i) {
        TStoredRecord* t = m_templates.Item(i);
        if (!t) continue;
        auto* b = new TStoredRecord(*t);
        m_items.append(b);
        MoveDefault(b);
        delete t;
        m_templates.SetItem(i, nullptr);
        last = b;
    }
    if (data && last) {
        // Shorter data (a BIFF5 BOF) keeps the template's tail; longer data gets its own length.
        if (length >= last->Length()) last->Data = QByteArray(reinterpret_cast<const char*>(data), length);
        else std::memcpy(last->Bytes(), data, size_t(length));
    }
}

void TRecordStorageDefault::UpdateDefault(uint32_t header, const uint8_t* data)
{
    uint16_t id = uint16_t(header);
    uint16_t slot = slotFor(id);
    if (slot == 0) {
        AddRec(header, data);   // no slot here: kept as a raw record
        return;
    }
    storeDefault(slot, data, int(header >> 16));
}

void TRecordStorageDefault::UpdateInternal(uint16_t markerId)
{
    if (!m_markerIds.contains(markerId))
        throw EXLSError(QStringLiteral("[int] Unknown int. default record %1")
                            .arg(QString::number(markerId, 16).toUpper().rightJustified(4, '0')));
    storeDefault(markerId, nullptr, 0);
}

static QByteArray words(std::initializer_list<int> ws)
{
    QByteArray b;
    for (int w : ws) {
        b.append(char(w & 0xFF));
        b.append(char((w >> 8) & 0xFF));
    }
    return b;
}

static QByteArray bofData(int type)
{
    QByteArray b = words({0x0600, type, 0x18AF, 0x07CD});
    b += words({0x80C9, 0x0000, 0x0106, 0x0000});
    return b;
}

static QByteArray doubleData(double d)
{
    QByteArray b(8, 0);
    PutDouble(reinterpret_cast<uint8_t*>(b.data()), d);
    return b;
}

void TRecordStorageGlobals::SetDefaultData()
{
    QByteArray writeAccess(112, ' ');
    writeAccess[0] = 0;
    writeAccess[1] = 0;
    writeAccess[2] = 0;
    QByteArray recalc = words({0x01C1, 0}) + words({0xFFFF, 0x00FF});
    setDefaults({{0x0809, bofData(5)},
                 {0x005C, writeAccess},
                 {0x0042, words({1200})},
                 {0x0161, words({0})},
                 {0x013D, QByteArray()},
                 {0x009C, words({14})},
                 {0x0019, words({0})},
                 {0x0012, words({0})},
                 {0x0013, words({0})},
                 {0x01AF, words({0})},
                 {0x003D, words({100, 100, 10000, 7000, 0x0038, 0, 0, 1, 600})},
                 {0x0040, words({0})},
                 {0x008D, words({0})},
                 {0x0022, words({0})},
                 {0x000E, words({1})},
                 {0x01B7, words({0})},
                 {0x00DA, words({0})},
                 {0x8001, QByteArray()},
                 {0x8002, QByteArray()},
                 {0x008C, words({1, 46})},
                 {0x01C1, recalc},
                 {0x8003, QByteArray()},
                 {0x8004, QByteArray()},
                 {0x8005, QByteArray()},
                 {0x000A, QByteArray()}},
                {0x8001, 0x8002, 0x8003, 0x8004, 0x8005});
}

uint16_t TRecordStorageGlobals::slotFor(uint16_t id) const
{
    if ((id & 0xFF) == 0x09) return 0x0809;
    if (id >= 0x8000 || id == 0x013D || id == 0x003D) return 0;   // markers, TABID, WINDOW1
    return m_slotIds.contains(id) ? id : 0;
}

QString TRecordStorageGlobals::UserName() const
{
    TStoredRecord* r = Slot(0x005C);
    if (!r || r->Length() <= 3) return QString();
    int n = qMin(109, r->Length() - 3);
    return AnsiCodec().toUnicode(r->Data.constData() + 3, n).trimmed();
}

void TRecordStorageGlobals::SetUserName(const QString& name)
{
    TStoredRecord* r = Slot(0x005C);
    if (!r) return;
    QByteArray b = AnsiCodec().fromUnicode(name.left(109));
    r->Data = QByteArray(112, ' ');
    std::memcpy(r->Data.data() + 3, b.constData(), size_t(b.size()));
    r->Data[0] = char(b.size());
    r->Data[1] = 0;
    r->Data[2] = 0;
}

bool TRecordStorageGlobals::Flag(uint16_t id) const
{
    TStoredRecord* r = Slot(id);
    return r && r->Length() >= 2 && GetWord(r->Bytes()) == 1;
}

void TRecordStorageGlobals::SetFlag(uint16_t id, bool on)
{
    TStoredRecord* r = Slot(id);
    if (r && r->Length() >= 2) PutWord(r->Bytes(), on ? 1 : 0);
}

void TRecordStorageSheet::SetDefaultData()
{
    QByteArray setup = words({0, 100, 1, 1, 1, 0x06B6, 0, 0}) + doubleData(0.5) + doubleData(0.5) + words({0});
    QByteArray dims(14, 0);
    QByteArray window2 = words({0x04B6, 0, 0, 0x40, 0, 0, 0, 0, 0});
    QByteArray selection(15, 0);
    selection[0] = 3;
    PutWord(reinterpret_cast<uint8_t*>(selection.data()) + 1, 1);
    PutWord(reinterpret_cast<uint8_t*>(selection.data()) + 3, 1);
    PutWord(reinterpret_cast<uint8_t*>(selection.data()) + 5, 0);
    PutWord(reinterpret_cast<uint8_t*>(selection.data()) + 7, 1);
    PutWord(reinterpret_cast<uint8_t*>(selection.data()) + 9, 1);
    PutWord(reinterpret_cast<uint8_t*>(selection.data()) + 11, 1);
    selection[13] = 1;
    selection[14] = 1;
    setDefaults({{0x0809, bofData(0x10)},
                 {0x000D, words({1})},
                 {0x000C, words({100})},
                 {0x000F, words({1})},
                 {0x0011, words({0})},
                 {0x0010, doubleData(0.001)},
                 {0x005F, words({1})},
                 {0x002B, words({0})},
                 {0x002A, words({0})},
                 {0x0082, words({1})},
                 {0x0080, words({0, 0, 0, 0})},
                 {0x0225, words({0, 255})},
                 {0x0081, words({0x04C1})},
                 {0x8101, QByteArray()},
                 {0x8102, QByteArray()},
                 {0x8103, QByteArray()},
                 {0x0083, words({0})},
                 {0x0084, words({0})},
                 {0x00A1, setup},
                 {0x0012, words({0})},
                 {0x0055, words({8})},
                 {0x8104, QByteArray()},
                 {0x8105, QByteArray()},
                 {0x0200, dims},
                 {0x023E, window2},
                 {0x8106, QByteArray()},
                 {0x001D, selection},
                 {0x000A, QByteArray()}},
                {0x8101, 0x8102, 0x8103, 0x8104, 0x8105, 0x8106});
}

uint16_t TRecordStorageSheet::slotFor(uint16_t id) const
{
    if ((id & 0xFF) == 0x09) return 0x0809;
    if (id >= 0x8000) return 0;
    return m_slotIds.contains(id) ? id : 0;
}

}

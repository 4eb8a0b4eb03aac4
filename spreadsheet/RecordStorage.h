#pragma once
// Record storages: the BIFF records the model does not turn into objects, in file order, and
// the settings records of the workbook and of every sheet in slots that always hold a complete
// set with default values.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <cstdint>

namespace xls {

struct TStoredRecord {
    uint16_t Id = 0;
    QByteArray Data;
    uint16_t Length() const { return uint16_t(Data.size()); }
    const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(Data.constData()); }
    uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(Data.data()); }
};

// Header as the record loop reads it: id in the low word, length in the high word.
inline uint32_t RecordHeader(uint16_t id, uint16_t length) { return uint32_t(id) | (uint32_t(length) << 16); }

class TBaseRecordStorage {
public:
    TBaseRecordStorage() = default;
    virtual ~TBaseRecordStorage() { Clear(); }
    TBaseRecordStorage(const TBaseRecordStorage&) = delete;
    TBaseRecordStorage& operator=(const TBaseRecordStorage&) = delete;

    TStoredRecord* AddRec(uint32_t header, const uint8_t* data);
    int Count() const { return int(m_items.size()); }
    TStoredRecord* Item(int i) const { return m_items[i]; }
    void SetItem(int i, TStoredRecord* r) { m_items[i] = r; }
    qint64 TotalSize() const;
    void CopyTo(TBaseRecordStorage& other) const;
    virtual void Clear();
    // The records as one byte sequence of headers and bodies (the form a writer would emit).
    QByteArray WriteAll() const;

protected:
    QList<TStoredRecord*> m_items;
};

class TRecordStorage : public TBaseRecordStorage {
public:
    virtual void SetDefaultData() = 0;
    virtual int StorageCode() const = 0;
    // Files a settings record into its slot; an id without a slot is kept as a raw record.
    virtual void UpdateDefault(uint32_t header, const uint8_t* data) = 0;
    virtual void UpdateInternal(uint16_t markerId) = 0;
};

class TRecordStorageDefault : public TRecordStorage {
public:
    ~TRecordStorageDefault() override { Clear(); }
    void Clear() override;
    void UpdateDefault(uint32_t header, const uint8_t* data) override;
    void UpdateInternal(uint16_t markerId) override;
    virtual void MoveDefault(TStoredRecord* block);
    bool HasSlot(uint16_t id) const { return m_slotIds.contains(id); }
    // The record of a slot: the stored one, or its template.
    TStoredRecord* Slot(uint16_t id) const
    {
        const SlotEntry& e = m_slots[id & 0x1FF];
        return e.id == id ? e.record : nullptr;
    }
    const TBaseRecordStorage& Templates() const { return m_templates; }

protected:
    struct TemplateDef { uint16_t id; QByteArray data; };
    void setDefaults(const QList<TemplateDef>& defs, const QList<uint16_t>& markers);
    // id the record loop hands over -> slot id (BOF variants -> 0x0809); 0 = no slot
    virtual uint16_t slotFor(uint16_t id) const = 0;
    void storeDefault(uint16_t id, const uint8_t* data, int length);

    TBaseRecordStorage m_templates;
    // Slots by the low 9 bits of the id: the ids of both storages differ there.
    struct SlotEntry {
        uint16_t id = 0xFFFF;
        TStoredRecord* record = nullptr;
    };
    SlotEntry m_slots[512];
    void setSlot(uint16_t id, TStoredRecord* r);
    QList<uint16_t> m_slotIds;
    QList<uint16_t> m_markerIds;
};

class TRecordStorageGlobals : public TRecordStorageDefault {
public:
    TRecordStorageGlobals() { SetDefaultData(); }
    void SetDefaultData() override;
    int StorageCode() const override { return 0; }
    QString UserName() const;
    void SetUserName(const QString& name);
    bool Flag(uint16_t id) const;
    void SetFlag(uint16_t id, bool on);
protected:
    uint16_t slotFor(uint16_t id) const override;
};

class TRecordStorageSheet : public TRecordStorageDefault {
public:
    TRecordStorageSheet() { SetDefaultData(); }
    void SetDefaultData() override;
    int StorageCode() const override { return -1; }
protected:
    uint16_t slotFor(uint16_t id) const override;
};

}

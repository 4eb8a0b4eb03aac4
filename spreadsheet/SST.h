#pragma once
// The shared string table: every text cell refers to one entry; equal strings are stored once
// in a hash trie keyed by the string's bytes, and each entry counts its users.
#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>

#include "spreadsheet/Pool.h"

namespace xls {

class TXLSStream;
class TXFonts;

// One string: characters (8- or 16-bit), formatting runs and phonetic bytes.
struct TSSTEntry {
    // The key: characters, runs (first character and font index, 4 bytes each), phonetic
    // bytes. An entry and its bytes live together in the table's arena (the bytes right after
    // the entry's fields); the table frees them all at once.
    uint32_t DataSize = 0;
    uint32_t Index = 0xFFFF;       // position in the SST record, 0xFFFF for a cell's own text
    uint32_t RefCount = 0;
    uint16_t CharCount = 0;
    uint16_t RunCount = 0;
    uint8_t Options = 0;           // bit 0 16-bit, bit 2 phonetic, bit 3 runs
    const char* Data() const { return reinterpret_cast<const char*>(this) + sizeof(TSSTEntry); }
    char* Data() { return reinterpret_cast<char*>(this) + sizeof(TSSTEntry); }
    uint32_t PhoneticSize() const
    {
        return DataSize - ((Options & 1) ? 2u * CharCount : CharCount) - 4u * RunCount;
    }
    QString Text() const;
    int RunFont(int run) const;    // font index of a formatting run
};

// Append-only storage for the bytes of the strings; the last allocation can be taken back.
class TStringArena {
public:
    TStringArena() = default;
    ~TStringArena() { Clear(); }
    TStringArena(const TStringArena&) = delete;
    TStringArena& operator=(const TStringArena&) = delete;
    char* Alloc(size_t n);
    TSSTEntry* AllocEntry(size_t dataSize);   // an entry with room for its bytes after it (not zeroed)
    void TakeBack(char* p);   // p must be the last allocation
    void Clear();
private:
    QList<char*> m_chunks;
    char* m_cur = nullptr;
    size_t m_left = 0;      // populated bytes after m_cur
    char* m_end = nullptr;  // end of the newest chunk
};

// The set of entries keyed by their contents, found by a 32-bit hash. Held flat rather than as a
// tree of 256-way nodes with chains: one array of slots (open addressing, linear probing), each
// slot holding an entry's full hash beside it, so a probe compares hashes in the array and looks
// at an entry only when its hash matches; entries with equal hashes take the next free slots.
// The array doubles when three quarters are taken. (Chains of linked items missed the cache on
// every step of a large table.) A slot names its entry by its number in the list of entries
// (in the order they came), so a slot is 8 bytes.
class THashTrie {
public:
    THashTrie() = default;
    virtual ~THashTrie();
    THashTrie(const THashTrie&) = delete;
    THashTrie& operator=(const THashTrie&) = delete;

    void* AddOrFind(void* entry, bool* found = nullptr);
    void* AddOrFind(void* entry, uint32_t hash, bool* found);   // with the entry's hash
    // Asks for the slot a hash starts at to be brought into the cache ahead of its use.
    void Prefetch(uint32_t hash) const { if (m_slots) __builtin_prefetch(&m_slots[home(hash, m_mask)]); }
    void* Find(const void* entry, uint32_t hash) const;
    void Insert(void* entry, uint32_t hash);
    void Reserve(size_t count);   // room for that many entries without growing
    void ClearTrie();             // releases every entry
    size_t Count() const { return size_t(m_items.size()); }
    template <class F> void ForEach(F f) const;

protected:
    virtual uint32_t Hash(const void* entry) const = 0;
    virtual void Release(void* entry) = 0;
    virtual bool Equal(const void* a, const void* b) const = 0;
    void dropSlots();   // forgets every entry without releasing it

private:
    struct Slot {
        uint32_t hash;
        uint32_t item;   // entry number + 1; 0: free
    };
    Slot* m_slots = nullptr;
    size_t m_mask = 0;   // slot count - 1 (a power of two)
    QList<void*> m_items;   // the entries in the order they came
    static size_t home(uint32_t hash, size_t mask)
    {
        // the hash's bits mixed, so hashes differing only in their high bits spread
        return size_t((uint64_t(hash) * 0x9E3779B97F4A7C15ull) >> 32) & mask;
    }
    void rehash(size_t slotCount);
    void place(uint32_t item, uint32_t hash);   // into a free slot, no search for an equal entry
    void* value(const Slot& s) const { return m_items[s.item - 1]; }
};

template <class F> void THashTrie::ForEach(F f) const
{
    for (void* e : m_items) f(e);
}

// Entries of the string table: the hash is the CRC-32 of the key bytes; equal entries have keys
// of the same width, length and bytes. Entry blocks live in the table's arena, so releasing one
// frees nothing by itself.
class TSSTHashTrie : public THashTrie {
protected:
    uint32_t Hash(const void* entry) const override;
    void Release(void*) override {}
    bool Equal(const void* a, const void* b) const override;
};

class TSST2 : public TSSTHashTrie {
public:
    explicit TSST2(TXFonts* fonts) : m_fonts(fonts) {}
    ~TSST2() override { Clear(); }

    void ReadSST(TXLSStream& stream, int recordLength);
    TSSTEntry* EntryAt(int index) const;
    TSSTEntry* AddText(const QString& text);
    static QString EntryText(const TSSTEntry* e) { return e->Text(); }
    void ReleaseIndex() { m_byIndex.clear(); m_missing = nullptr; }
    void Clear();
    int IndexCount() const { return int(m_byIndex.size()); }
    uint32_t TotalCount() const { return m_total; }
    void SetMaxRecordSize(int s) { m_maxRecordSize = s; }
    int UniqueCount() const { return int(Count()); }

private:
    TXFonts* m_fonts;
    TStringArena m_arena;
    QList<TSSTEntry*> m_byIndex;
    TSSTEntry* m_missing = nullptr;   // the empty text of strings declared but not written
    uint32_t m_declared = 0;          // the count the table declares
    uint32_t m_total = 0;
    int m_maxRecordSize = 8224;
    // reading state
    TXLSStream* m_stream = nullptr;
    int m_left = 0;
    void nextContinue();
    void readBytes(uint8_t* dst, int n);   // across CONTINUE records, no option bytes
    TSSTEntry* readEntry();
    TSSTEntry* readEntryInPlace();
};

}

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
    XLS_POOLED
    // The key: characters, runs (first character and font index, 4 bytes each), phonetic
    // bytes. The bytes live in the table's string arena.
    const char* Data = nullptr;
    uint32_t DataSize = 0;
    uint32_t Index = 0xFFFF;       // position in the SST record, 0xFFFF for a cell's own text
    uint32_t RefCount = 0;
    uint32_t PhoneticSize = 0;
    uint16_t CharCount = 0;
    uint16_t RunCount = 0;
    uint8_t Options = 0;           // bit 0 16-bit, bit 2 phonetic, bit 3 runs
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
    void TakeBack(char* p);   // p must be the last allocation
    void Clear();
private:
    QList<char*> m_chunks;
    char* m_cur = nullptr;
    size_t m_left = 0;
};

// A 256-way trie over 32-bit hashes. Each node uses the next 8 bits; a slot holds a chain of up
// to 8 entries or a child node. At level 3 the hash is used up: chains there are never split.
class THashTrie {
public:
    THashTrie() = default;
    virtual ~THashTrie();
    THashTrie(const THashTrie&) = delete;
    THashTrie& operator=(const THashTrie&) = delete;

    void* AddOrFind(void* entry, bool* found = nullptr);
    void* Find(void* entry, uint32_t hash) const;
    void Insert(void* entry, uint32_t hash);
    void ClearTrie();
    template <class F> void ForEach(F f) const;

protected:
    virtual uint32_t Hash(const void* entry) const = 0;
    virtual void Release(void* entry) = 0;
    virtual bool Equal(const void* a, const void* b) const = 0;

private:
    struct Node;
    struct TLinkedItem {
        XLS_POOLED
        void* value;
        TLinkedItem* next;
        uint32_t hash;   // the entry's full hash, compared before the entries themselves
    };
    struct Slot {
        Node* child = nullptr;
        TLinkedItem* chain = nullptr;
    };
    struct Node {
        int level = 0;
        int filled = 0;
        Slot items[256];
    };
    Node* m_root = nullptr;
    // Inserts the entry unless an equal one exists; returns that one, or nullptr.
    void* insertAt(Node* n, void* entry, uint32_t hashRotated, uint32_t fullHash);
    TLinkedItem* link(void* entry, TLinkedItem* next, uint32_t hash) { return new TLinkedItem{entry, next, hash}; }
    void freeNode(Node* n);
    template <class F> static void walk(const Node* n, F& f);
};

template <class F> void THashTrie::walk(const Node* n, F& f)
{
    for (const Slot& s : n->items) {
        if (s.child) walk(s.child, f);
        for (TLinkedItem* i = s.chain; i; i = i->next) f(i->value);
    }
}
template <class F> void THashTrie::ForEach(F f) const
{
    if (m_root) walk(m_root, f);
}

class TSSTHashTrie : public THashTrie {
protected:
    uint32_t Hash(const void* entry) const override;
    void Release(void* entry) override;
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
    int UniqueCount() const;

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
};

}

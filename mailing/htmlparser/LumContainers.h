#pragma once
// Generic containers of fixed-size items in one block: a vector and a chained hash with a free
// list. How items and keys are initialised, freed, copied, hashed, compared and streamed comes
// from trait classes (the item and key handlers).
#include "mailing/htmlparser/LumStreams.h"

#include <QIODevice>
#include <memory>
#include <utility>
#include <vector>

class ELumContainerError : public ELumError {
public:
    using ELumError::ELumError;
};

class TLumErrorObject {
public:
    virtual ~TLumErrorObject() = default;
    virtual const char* ClassName() const = 0;

protected:
    [[noreturn]] void Error(const QString& text) const;
    [[noreturn]] void Error(const char* format, qint64 number) const;
};

// Format flags of the stream form.
enum : int { lfSignature = 1, lfVersion = 2, lfHeader = 4, lfAll = 7 };

namespace lum {
// Items a block for n items holds.
int BlockCapacity(int n);
// A block shrinks when the count falls below this threshold of the old count m.
int ShrinkThreshold(int m);
// The bucket count for a wish: the next number of the form 4k + 3.
int HashCountFor(int n);
} // namespace lum

// ---- item handlers

struct TLumWideStringItem {
    using Item = QString;
    static constexpr int ItemSize = 4;
    static void Init(Item& i) { i.clear(); }
    static void Free(Item& i) { i = QString(); }
    static void Copy(Item& d, const Item& s) { d = s; }
    static void Read(TLumReader& r, Item& i) { i = r.ReadWideString(); }
    static void Write(TLumWriter& w, const Item& i) { w.WriteWideString(i); }
};

struct TLumCardinalItem {
    using Item = quint32;
    static constexpr int ItemSize = 4;
    static void Init(Item& i) { i = 0; }
    static void Free(Item&) {}
    static void Copy(Item& d, const Item& s) { d = s; }
    static void Read(TLumReader& r, Item& i) { i = r.ReadUnsigned(); }
    static void Write(TLumWriter& w, const Item& i) { w.WriteUnsigned(i); }
};

struct TLumWideString2Cardinal {
    QString Name;
    QString Value;
    quint32 Id = 0;
};

struct TLumWideString2CardinalItem {
    using Item = TLumWideString2Cardinal;
    static constexpr int ItemSize = 12;
    static void Init(Item& i) { i = Item(); }
    static void Free(Item& i) { i = Item(); }
    static void Copy(Item& d, const Item& s) { d = s; }
    static void Read(TLumReader& r, Item& i)
    {
        i.Name = r.ReadWideString();
        i.Value = r.ReadWideString();
        i.Id = r.ReadUnsigned();
    }
    static void Write(TLumWriter& w, const Item& i)
    {
        w.WriteWideString(i.Name);
        w.WriteWideString(i.Value);
        w.WriteUnsigned(i.Id);
    }
};

// ---- key handlers

struct TLumCardinalKey {
    using Key = quint32;
    static quint32 Hash(Key x)
    {
        x *= 4097; x ^= x >> 22; x *= 17; x ^= x >> 9;
        x *= 1025; x ^= x >> 2; x *= 129; x ^= x >> 12;
        return x;
    }
    static bool Same(Key a, Key b) { return a == b; }
    static void Read(TLumReader& r, Key& k) { k = r.ReadUnsigned(); }
    static void Write(TLumWriter& w, Key k) { w.WriteUnsigned(k); }
};

struct TLumWideStringKey {
    using Key = QString;
    static quint32 Hash(const Key& k) { return lum::HashWideString(k, 0); }
    static quint32 HashBuf(const char16_t* p, qsizetype n) { return lum::HashWideBuf(p, quint32(n), 0); }
    static bool Same(const Key& a, const Key& b) { return lum::SameWideStrings(a, b); }
    static bool SameBuf(const char16_t* p, qsizetype n, const Key& k) { return lum::SameText(p, n, k); }
    static void Read(TLumReader& r, Key& k) { k = r.ReadWideString(); }
    static void Write(TLumWriter& w, const Key& k) { w.WriteWideString(k); }
};

struct TLumWideStringKeyIgnoreCase : TLumWideStringKey {
    static quint32 Hash(const Key& k)
    {
        return lum::HashIgnoreCase(reinterpret_cast<const char16_t*>(k.utf16()), quint32(k.size()), 0);
    }
    static quint32 HashBuf(const char16_t* p, qsizetype n) { return lum::HashIgnoreCase(p, quint32(n), 0); }
    static bool Same(const Key& a, const Key& b) { return lum::SameWideStringsIgnoreCase(a, b); }
    static bool SameBuf(const char16_t* p, qsizetype n, const Key& k) { return lum::SameTextIgnoreCase(p, n, k); }
};

// ---- containers

class TLumContainer : public TLumErrorObject {
public:
    int Count() const { return fCount; }
    virtual void LoadFromReader(TLumReader& reader, int flags) = 0;
    virtual void SaveToWriter(TLumWriter& writer, int flags) const = 0;
    void LoadFromStream(QIODevice* stream, int flags = lfAll);
    void SaveToStream(QIODevice* stream, int flags = lfAll) const;

protected:
    void ReadSignature(TLumReader& reader, int flags, const char* signature, int itemSize);
    void WriteSignature(TLumWriter& writer, int flags, const char* signature, int itemSize) const;
    int fCount = 0;
};

template <class IT>
class TLumVector : public TLumContainer {
public:
    using Item = typename IT::Item;

    TLumVector() = default;
    TLumVector(const TLumVector&) = delete;
    TLumVector& operator=(const TLumVector&) = delete;
    const char* ClassName() const override { return "TLumVector"; }

    int Capacity() const { return fCapacity; }
    Item& Items(int index)
    {
        if (index < 0 || index >= fCount)
            Error("List index out of bounds (%d)", index);
        return fItems[index];
    }
    const Item& Items(int index) const { return const_cast<TLumVector*>(this)->Items(index); }

    Item& Add()
    {
        SetCount(fCount + 1);
        return fItems[fCount - 1];
    }

    void SetCount(int n)
    {
        if (n < 0)
            Error("List index out of bounds (%d)", n);
        if (n > fCount) {
            if (n > fCapacity)
                Realloc(lum::BlockCapacity(n));
            for (int i = fCount; i < n; ++i)
                IT::Init(fItems[i]);
            fCount = n;
        } else if (n < fCount) {
            const int old = fCount;
            for (int i = fCount - 1; i >= n; --i)
                IT::Free(fItems[i]);
            fCount = n;
            if (n < lum::ShrinkThreshold(old))
                Realloc(lum::BlockCapacity(n));
        }
    }

    virtual void Clear()
    {
        for (int i = fCount - 1; i >= 0; --i)
            IT::Free(fItems[i]);
        fItems.reset();
        fCount = 0;
        fCapacity = 0;
    }

    void Assign(const TLumVector& source)
    {
        if (&source == this)
            return;
        Clear();
        SetCount(source.fCount);
        for (int i = 0; i < fCount; ++i)
            IT::Copy(fItems[i], source.fItems[i]);
    }

    void LoadFromReader(TLumReader& reader, int flags) override
    {
        ReadSignature(reader, flags, "DIVC", IT::ItemSize);
        const int n = reader.ReadInteger();
        if (n < 0)
            Error("List index out of bounds (%d)", n);
        Clear();
        for (int i = 0; i < n; ++i) // item by item: a damaged count cannot claim memory up front
            IT::Read(reader, Add());
    }

    void SaveToWriter(TLumWriter& writer, int flags) const override
    {
        WriteSignature(writer, flags, "DIVC", IT::ItemSize);
        writer.WriteInteger(fCount);
        for (int i = 0; i < fCount; ++i)
            IT::Write(writer, fItems[i]);
    }

private:
    void Realloc(int capacity)
    {
        std::unique_ptr<Item[]> block(capacity > 0 ? new Item[capacity] : nullptr);
        for (int i = 0; i < fCount && i < capacity; ++i)
            block[i] = std::move(fItems[i]);
        fItems = std::move(block);
        fCapacity = capacity;
    }

    std::unique_ptr<Item[]> fItems;
    int fCapacity = 0;
};

template <class KT, class IT>
class TLumHash : public TLumContainer {
public:
    using Key = typename KT::Key;
    using Item = typename IT::Item;
    static constexpr quint32 kNone = 0x80000000u;
    static constexpr quint32 kDeleted = 0x40000000u;

    TLumHash() { Clear(); }
    TLumHash(const TLumHash&) = delete;
    TLumHash& operator=(const TLumHash&) = delete;
    const char* ClassName() const override { return "TLumHash"; }

    int HashCount() const { return fHashCount; }
    int EntryCount() const { return fEntryCount; }
    int Capacity() const { return fCapacity; }

    Item* Find(const Key& key)
    {
        const quint32 i = Lookup(key, KT::Hash(key));
        return i == kNone ? nullptr : &fEntries[i].item;
    }
    const Item* Find(const Key& key) const { return const_cast<TLumHash*>(this)->Find(key); }

    // Lookup by a key given as a buffer of code units (string keys only).
    const Item* FindBuf(const char16_t* p, qsizetype n) const
    {
        quint32 i = fBuckets[KT::HashBuf(p, n) % quint32(fHashCount)];
        while (i != kNone) {
            if (KT::SameBuf(p, n, fEntries[i].key))
                return &fEntries[i].item;
            i = fEntries[i].link;
        }
        return nullptr;
    }

    Item& FindOrAdd(const Key& key)
    {
        const quint32 h = KT::Hash(key);
        quint32 i = Lookup(key, h);
        if (i != kNone)
            return fEntries[i].item;
        if (fFreeHead != kNone) {
            i = fFreeHead;
            fFreeHead = fEntries[i].link & ~kDeleted;
        } else {
            if (fEntryCount + 1 > fCapacity)
                Realloc(lum::BlockCapacity(fEntryCount + 1));
            i = quint32(fEntryCount++);
        }
        Entry& e = fEntries[i];
        e.key = key;
        IT::Init(e.item);
        LinkAtEnd(i, h);
        ++fCount;
        if (fCount >= fHashCount) {
            fHashCount = lum::HashCountFor(lum::BlockCapacity(fCount));
            Rehash();
        }
        return fEntries[i].item;
    }

    bool Delete(const Key& key)
    {
        const quint32 h = KT::Hash(key);
        quint32* link = &fBuckets[h % quint32(fHashCount)];
        while (*link != kNone) {
            const quint32 i = *link;
            Entry& e = fEntries[i];
            if (KT::Same(e.key, key)) {
                *link = e.link;
                e.link = fFreeHead | kDeleted;
                fFreeHead = i;
                e.key = Key();
                IT::Free(e.item);
                --fCount;
                if (fCount < lum::ShrinkThreshold(fEntryCount))
                    Pack();
                return true;
            }
            link = &e.link;
        }
        return false;
    }

    bool IsDeleted(int index) const
    {
        CheckIndex(index);
        return (fEntries[index].link & kDeleted) != 0;
    }
    const Key& Keys(int index) const
    {
        CheckLive(index);
        return fEntries[index].key;
    }
    Item& Items(int index)
    {
        CheckLive(index);
        return fEntries[index].item;
    }

    void Clear()
    {
        fEntries.reset();
        fCapacity = 0;
        fEntryCount = 0;
        fCount = 0;
        fFreeHead = kNone;
        fHashCount = 3;
        fBuckets.assign(3, kNone);
    }

    void SetHashCount(int n)
    {
        if (n < fCount)
            Error("Invalid HashCount (%d)", n);
        fHashCount = lum::HashCountFor(n);
        Rehash();
    }

    // Removes the deleted entries from the block, keeping the others in their order.
    void Pack()
    {
        int j = 0;
        for (int i = 0; i < fEntryCount; ++i)
            if (!(fEntries[i].link & kDeleted)) {
                if (i != j)
                    fEntries[j] = std::move(fEntries[i]);
                ++j;
            }
        fEntryCount = j;
        Realloc(lum::BlockCapacity(j));
        fFreeHead = kNone;
        Rehash();
    }

    void LoadFromReader(TLumReader& reader, int flags) override
    {
        ReadSignature(reader, flags, "DIHC", IT::ItemSize);
        const quint32 n = reader.ReadUnsigned();
        Clear();
        for (quint32 k = 0; k < n; ++k) {
            if (fEntryCount + 1 > fCapacity)
                Realloc(lum::BlockCapacity(fEntryCount + 1));
            Entry& e = fEntries[fEntryCount];
            KT::Read(reader, e.key);
            IT::Read(reader, e.item);
            e.link = kNone;
            ++fEntryCount;
            ++fCount;
        }
        if (fCount >= fHashCount)
            fHashCount = lum::HashCountFor(lum::BlockCapacity(fCount));
        Rehash();
    }

    void SaveToWriter(TLumWriter& writer, int flags) const override
    {
        WriteSignature(writer, flags, "DIHC", IT::ItemSize);
        writer.WriteUnsigned(quint32(fCount));
        for (int i = 0; i < fEntryCount; ++i)
            if (!(fEntries[i].link & kDeleted)) {
                KT::Write(writer, fEntries[i].key);
                IT::Write(writer, fEntries[i].item);
            }
    }

private:
    struct Entry {
        quint32 link = kNone;
        Key key{};
        Item item{};
    };

    void CheckIndex(int index) const
    {
        if (index < 0 || index >= fEntryCount)
            Error("List index out of bounds (%d)", index);
    }
    void CheckLive(int index) const
    {
        CheckIndex(index);
        if (fEntries[index].link & kDeleted)
            Error(QStringLiteral("Item is deleted"));
    }

    quint32 Lookup(const Key& key, quint32 h) const
    {
        quint32 i = fBuckets[h % quint32(fHashCount)];
        while (i != kNone) {
            if (KT::Same(fEntries[i].key, key))
                return i;
            i = fEntries[i].link;
        }
        return kNone;
    }

    void LinkAtEnd(quint32 index, quint32 h)
    {
        fEntries[index].link = kNone;
        quint32* link = &fBuckets[h % quint32(fHashCount)];
        while (*link != kNone)
            link = &fEntries[*link].link;
        *link = index;
    }

    void Rehash()
    {
        fBuckets.assign(size_t(fHashCount), kNone);
        for (int i = 0; i < fEntryCount; ++i)
            if (!(fEntries[i].link & kDeleted))
                LinkAtEnd(quint32(i), KT::Hash(fEntries[i].key));
    }

    void Realloc(int capacity)
    {
        std::unique_ptr<Entry[]> block(capacity > 0 ? new Entry[capacity] : nullptr);
        for (int i = 0; i < fEntryCount && i < capacity; ++i)
            block[i] = std::move(fEntries[i]);
        fEntries = std::move(block);
        fCapacity = capacity;
    }

    std::unique_ptr<Entry[]> fEntries;
    int fCapacity = 0;
    int fEntryCount = 0; // live and deleted
    int fHashCount = 3;
    quint32 fFreeHead = kNone;
    std::vector<quint32> fBuckets;
};

// ---- typed containers

class TLumWideStringVector : public TLumVector<TLumWideStringItem> {
public:
    const char* ClassName() const override { return "TLumWideStringVector"; }
};

class TLumWideString2CardinalVector : public TLumVector<TLumWideString2CardinalItem> {
public:
    const char* ClassName() const override { return "TLumWideString2CardinalVector"; }
};

template <class KT, class IT>
class TLumWideStringHash : public TLumHash<KT, IT> {
public:
    const char* ClassName() const override { return "TLumWideStringHash"; }
};

template <class IT>
class TLumCardinalHash : public TLumHash<TLumCardinalKey, IT> {
public:
    const char* ClassName() const override { return "TLumCardinalHash"; }
};

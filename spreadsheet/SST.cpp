#include "spreadsheet/SST.h"
#include "spreadsheet/Formats.h"
#include "spreadsheet/XLSStream.h"
#include "spreadsheet/XLSUtils.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace xls {

QString TSSTEntry::Text() const
{
    const auto* p = reinterpret_cast<const uint8_t*>(Data());
    if (Options & 1) {
        QString s(CharCount, Qt::Uninitialized);
        QChar* d = s.data();
        for (int i = 0; i < CharCount; ++i) d[i] = QChar(GetWord(p + 2 * i));
        return s;
    }
    return QString::fromLatin1(Data(), CharCount);
}

int TSSTEntry::RunFont(int run) const
{
    const int charBytes = (Options & 1) ? 2 * CharCount : CharCount;
    if (run < 0 || run >= RunCount) return -1;
    return GetWord(reinterpret_cast<const uint8_t*>(Data()) + charBytes + 4 * run + 2);
}

char* TStringArena::Alloc(size_t n)
{
#ifdef XLS_POOL_OFF
    // one block per string, so the sanitizer sees every overrun
    char* own = static_cast<char*>(std::malloc(n ? n : 1));
    if (!own) throw std::bad_alloc();
    m_chunks.append(own);
    m_cur = own + n;
    return own;
#endif
    if (n > m_left) {
        auto steps = [](size_t bytes) { return (bytes + PopulateStep - 1) / PopulateStep * PopulateStep; };
        if (m_cur && size_t(m_end - m_cur) >= n) {
            // the next parts of the chunk
            char* populated = m_cur + m_left;
            const size_t grow = qMin(steps(n - m_left), size_t(m_end - populated));
            PopulateRange(populated, grow);
            m_left += grow;
        } else {
            const size_t size = qMax(BigChunkSize, n);
            char* c = static_cast<char*>(AllocBigChunk(size, false));
            m_chunks.append(c);
            m_cur = c;
            m_end = c + size;
            m_left = qMin(steps(n), size);
            PopulateRange(c, m_left);
        }
    }
    char* r = m_cur;
    m_cur += n;
    m_left -= n;
    return r;
}

void TStringArena::TakeBack(char* p)
{
#ifdef XLS_POOL_OFF
    if (p && !m_chunks.isEmpty() && m_chunks.last() == p) std::free(m_chunks.takeLast());
    return;
#endif
    if (p && !m_chunks.isEmpty() && p >= m_chunks.last() && p <= m_cur) {
        m_left += size_t(m_cur - p);
        m_cur = p;
    }
}

void TStringArena::Clear()
{
#ifdef XLS_POOL_OFF
    for (char* c : m_chunks) std::free(c);
    m_chunks.clear();
    return;
#endif
    for (char* c : m_chunks) FreeBigChunk(c);
    m_chunks.clear();
    m_cur = nullptr;
    m_left = 0;
    m_end = nullptr;
}

TSSTEntry* TStringArena::AllocEntry(size_t dataSize)
{
    // Entries stay aligned: every block, the fields and their bytes, is a multiple of 8 bytes.
    const size_t bytes = (sizeof(TSSTEntry) + dataSize + 7) & ~size_t(7);
    auto* e = new (Alloc(bytes)) TSSTEntry;
    e->DataSize = uint32_t(dataSize);
    return e;
}

// ---- hash trie

THashTrie::~THashTrie()
{
    // Entries are released by the derived class (its Release is gone by now).
    dropSlots();
}

void THashTrie::dropSlots()
{
    if (m_slots) FreeBigChunk(m_slots);
    m_slots = nullptr;
    m_mask = 0;
    m_items = QList<void*>();
}

void THashTrie::ClearTrie()
{
    for (void* e : m_items) Release(e);
    dropSlots();
}

void THashTrie::place(uint32_t item, uint32_t hash)
{
    size_t i = home(hash, m_mask);
    while (m_slots[i].item) i = (i + 1) & m_mask;
    m_slots[i] = Slot{hash, item};
}

void THashTrie::rehash(size_t slotCount)
{
    // A big array's pages are populated at once: probes land anywhere in it.
    auto* table = static_cast<Slot*>(AllocBigChunk(slotCount * sizeof(Slot)));
    std::memset(table, 0, slotCount * sizeof(Slot));
    Slot* old = m_slots;
    const size_t oldCount = old ? m_mask + 1 : 0;
    m_slots = table;
    m_mask = slotCount - 1;
    for (size_t i = 0; i < oldCount; ++i)
        if (old[i].item) place(old[i].item, old[i].hash);
    if (old) FreeBigChunk(old);
}

void THashTrie::Reserve(size_t count)
{
    // Never more than a million entries ahead: beyond that the array grows as it fills.
    count = qMin<size_t>(count, size_t(1) << 20);
    size_t table = 16;
    while (table / 4 * 3 < count) table *= 2;
    if (!m_slots || table > m_mask + 1) rehash(table);
    m_items.reserve(qsizetype(count));
}

void* THashTrie::Find(const void* entry, uint32_t hash) const
{
    if (!m_slots) return nullptr;
    for (size_t i = home(hash, m_mask); m_slots[i].item; i = (i + 1) & m_mask)
        if (m_slots[i].hash == hash && Equal(value(m_slots[i]), entry)) return value(m_slots[i]);
    return nullptr;
}

void THashTrie::Insert(void* entry, uint32_t hash)
{
    if (!m_slots || (size_t(m_items.size()) + 1) * 4 > (m_mask + 1) * 3) rehash(m_slots ? 2 * (m_mask + 1) : 16);
    if (Find(entry, hash)) return;
    m_items.append(entry);
    place(uint32_t(m_items.size()), hash);
}

void* THashTrie::AddOrFind(void* entry, bool* found) { return AddOrFind(entry, Hash(entry), found); }

void* THashTrie::AddOrFind(void* entry, uint32_t h, bool* found)
{
    if (!m_slots || (size_t(m_items.size()) + 1) * 4 > (m_mask + 1) * 3) rehash(m_slots ? 2 * (m_mask + 1) : 16);
    size_t i = home(h, m_mask);
    for (; m_slots[i].item; i = (i + 1) & m_mask)
        if (m_slots[i].hash == h && Equal(value(m_slots[i]), entry)) {
            if (found) *found = true;
            return value(m_slots[i]);
        }
    m_items.append(entry);
    m_slots[i] = Slot{h, uint32_t(m_items.size())};
    if (found) *found = false;
    return entry;
}

uint32_t TSSTHashTrie::Hash(const void* entry) const
{
    const auto* e = static_cast<const TSSTEntry*>(entry);
    return Crc32(reinterpret_cast<const uint8_t*>(e->Data()), e->DataSize);
}

bool TSSTHashTrie::Equal(const void* a, const void* b) const
{
    const auto* x = static_cast<const TSSTEntry*>(a);
    const auto* y = static_cast<const TSSTEntry*>(b);
    // The key holds the characters' bytes; the width must agree too.
    return (x->Options & 1) == (y->Options & 1) && x->CharCount == y->CharCount && x->DataSize == y->DataSize &&
           (x->DataSize == 0 || std::memcmp(x->Data(), y->Data(), x->DataSize) == 0);
}

// ---- string table

void TSST2::Clear()
{
    m_byIndex.clear();
    m_missing = nullptr;
    m_declared = 0;
    dropSlots();   // the entries go with the arena
    m_arena.Clear();
    m_total = 0;
}

TSSTEntry* TSST2::EntryAt(int index) const
{
    if (index >= m_byIndex.size() && m_missing && uint32_t(index) < m_declared) return m_missing;
    if (index < 0 || index >= m_byIndex.size())
        throw EXLSError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return m_byIndex[index];
}

void TSST2::nextContinue()
{
    uint16_t id, len;
    if (m_stream->ReadHeader(id, len) < 4 || id != 0x003C)
        throw EXLSError(QStringLiteral("CONTINUE record is missing in SST"));
    m_left = len;
}

void TSST2::readBytes(uint8_t* dst, int n)
{
    while (n > 0) {
        if (m_left == 0) nextContinue();
        int k = qMin(n, m_left);
        if (m_stream->ReadBody(dst, k) < k) throw EXLSError(QStringLiteral("Unexpected end of file in SST"));
        dst += k;
        n -= k;
        m_left -= k;
    }
}

// A string that lies whole in the rest of the record is taken from the stream's bytes in place.
TSSTEntry* TSST2::readEntryInPlace()
{
    const uint8_t* p = m_stream->PeekBody(m_left);
    if (!p || m_left < 3) return nullptr;
    const int count = GetWord(p);
    const uint8_t opt = p[2];
    switch (opt) {
    case 0: case 1: case 4: case 5: case 8: case 9: case 12: case 13: break;
    default: return nullptr;   // the full read raises the error
    }
    int pos = 3;
    int runCount = 0;
    uint32_t phoneticSize = 0;
    if (opt & 8) {
        if (m_left < pos + 2) return nullptr;
        runCount = GetWord(p + pos);
        pos += 2;
    }
    if (opt & 4) {
        if (m_left < pos + 4) return nullptr;
        phoneticSize = GetDWord(p + pos);
        pos += 4;
    }
    const qint64 charBytes = (opt & 1) ? 2 * qint64(count) : count;
    const qint64 keySize = charBytes + 4 * qint64(runCount) + phoneticSize;
    if (pos + keySize > m_left) return nullptr;
    TSSTEntry* e = m_arena.AllocEntry(size_t(keySize));
    e->CharCount = uint16_t(count);
    e->RunCount = uint16_t(runCount);
    e->Options = opt;
    auto* d = reinterpret_cast<uint8_t*>(e->Data());
    std::memcpy(d, p + pos, size_t(keySize));
    if (runCount && m_fonts && m_fonts->Count() > 0) {
        for (int r = 0; r < runCount; ++r)
            if (TXFont* f = m_fonts->Item(GetWord(d + charBytes + 4 * r + 2))) ++f->UsageCount;
    }
    m_stream->SkipBody(int(pos + keySize));
    m_left -= int(pos + keySize);
    return e;
}

TSSTEntry* TSST2::readEntry()
{
    if (TSSTEntry* e = readEntryInPlace()) return e;
    uint8_t head[3];
    readBytes(head, 3);
    TSSTEntry h;   // the entry's fields, until its block is taken from the arena
    h.CharCount = GetWord(head);
    uint8_t opt = head[2];
    switch (opt) {
    case 0: case 1: case 4: case 5: case 8: case 9: case 12: case 13: break;
    default:
        throw EXLSError(QStringLiteral("STT: Unhandled string type in Read (%1)")
                            .arg(QString::number(opt, 16).toUpper().rightJustified(2, '0')));
    }
    uint8_t extra[6];
    int extraLen = ((opt & 8) ? 2 : 0) + ((opt & 4) ? 4 : 0);
    readBytes(extra, extraLen);
    int ep = 0;
    if (opt & 8) { h.RunCount = GetWord(extra); ep = 2; }
    uint32_t phoneticSize = 0;
    if (opt & 4) phoneticSize = GetDWord(extra + ep);
    // Characters that go on into a CONTINUE record may change width there: such entries are
    // stored with 16-bit characters.
    bool wide = (opt & 1) || (h.CharCount > m_left);
    h.Options = uint8_t((opt & ~1) | (wide ? 1 : 0));
    const int charBytes = wide ? 2 * h.CharCount : h.CharCount;
    const qint64 runBytes = 4 * qint64(h.RunCount);
    // A phonetic block cannot be larger than the rest of the stream.
    if (phoneticSize > uint32_t(m_stream->Size() - m_stream->Position() + m_left))
        throw EXLSError(QStringLiteral("SST: phonetic block larger than the file"));
    h.DataSize = uint32_t(charBytes + runBytes + phoneticSize);
    TSSTEntry* e = m_arena.AllocEntry(h.DataSize);
    *e = h;
    char* block = reinterpret_cast<char*>(e);
    struct TakeBackOnError {
        TStringArena& a;
        char* p;
        bool armed = true;
        ~TakeBackOnError() { if (armed) a.TakeBack(p); }
    } guardBytes{m_arena, block};
    auto* d = reinterpret_cast<uint8_t*>(e->Data());
    int done = 0;
    bool partWide = opt & 1;
    while (done < e->CharCount) {
        if (m_left == 0) {
            nextContinue();
            if (m_left == 0) continue;   // an empty CONTINUE
            uint8_t o;
            readBytes(&o, 1);
            partWide = (o == 1);
            if (m_left == 0) continue;   // a piece with nothing but its option byte
        }
        int avail = partWide ? m_left / 2 : m_left;
        if (avail == 0) throw EXLSError(QStringLiteral("SST: string split inside a character"));
        int k = qMin(e->CharCount - done, avail);
        if (partWide) {
            if (!wide) throw EXLSError(QStringLiteral("SST split error: unicode part in compressed string."));
            readBytes(d + 2 * done, 2 * k);
        } else if (wide) {
            // read the 8-bit part into the upper half of its place, then widen it
            uint8_t* dst = d + 2 * done;
            readBytes(dst + k, k);
            for (int i = 0; i < k; ++i) {
                dst[2 * i] = dst[k + i];
                dst[2 * i + 1] = 0;
            }
        } else {
            readBytes(d + done, k);
        }
        done += k;
    }
    if (runBytes) {
        readBytes(d + charBytes, int(runBytes));
        if (m_fonts && m_fonts->Count() > 0) {
            for (int r = 0; r < e->RunCount; ++r)
                if (TXFont* f = m_fonts->Item(GetWord(d + charBytes + 4 * r + 2))) ++f->UsageCount;
        }
    }
    if (phoneticSize) readBytes(d + charBytes + runBytes, int(phoneticSize));
    guardBytes.armed = false;
    return e;
}

void TSST2::ReadSST(TXLSStream& stream, int recordLength)
{
    m_stream = &stream;
    m_left = recordLength;
    uint8_t head[8];
    readBytes(head, 8);
    m_total = GetDWord(head);
    uint32_t unique = GetDWord(head + 4);
    // Each string takes three bytes at least: no more can follow than the stream holds.
    const qint64 expected = qMin<qint64>(unique, (stream.Size() - stream.Position() + m_left) / 3);
    m_byIndex.reserve(qsizetype(expected));
    Reserve(Count() + size_t(expected));
    // Each string goes into the table a few strings after it was read, its slot asked for in the
    // meantime: the table is too big for the cache, and a string's slot is anywhere in it.
    constexpr int Delay = 8;
    struct Pending {
        TSSTEntry* entry;
        uint32_t hash;
    } pending[Delay];
    int first = 0, waiting = 0;
    auto settle = [&] {
        const Pending p = pending[first];
        first = (first + 1) % Delay;
        --waiting;
        bool found = false;
        m_byIndex.append(static_cast<TSSTEntry*>(AddOrFind(p.entry, p.hash, &found)));
        // a repeated string gives its block back when nothing was taken from the arena after it
        if (found && waiting == 0) m_arena.TakeBack(reinterpret_cast<char*>(p.entry));
    };
    try {
        for (uint32_t i = 0; i < unique; ++i) {
            // Writers may declare more strings than they write: the table ends with its records.
            if (m_left == 0 && stream.PeekRecordId() != 0x003C) break;
            TSSTEntry* e = readEntry();
            e->Index = i;
            const uint32_t h = Hash(e);
            Prefetch(h);
            if (waiting == Delay) settle();
            pending[(first + waiting) % Delay] = Pending{e, h};
            ++waiting;
        }
        while (waiting > 0) settle();
    } catch (...) {
        while (waiting > 0) settle();   // the strings read so far stay in the index
        throw;
    }
    if (uint32_t(m_byIndex.size()) < unique) {
        // The missing strings are empty texts.
        TSSTEntry* e = m_arena.AllocEntry(0);
        e->Index = uint32_t(m_byIndex.size());
        bool found = false;
        m_missing = static_cast<TSSTEntry*>(AddOrFind(e, &found));
        if (found) m_arena.TakeBack(reinterpret_cast<char*>(e));
        m_declared = unique;
    }
    // Whatever is left of the record (padding) is skipped.
    if (m_left > 0) stream.Seek(m_left, TXLSStream::soFromCurrent);
    m_stream = nullptr;
}

TSSTEntry* TSST2::AddText(const QString& text)
{
    bool wide = false;
    for (QChar c : text)
        if (c.unicode() > 255) { wide = true; break; }
    const int count = int(qMin<qsizetype>(text.size(), 0xFFFF));
    QByteArray bytes;
    if (wide) {
        bytes.resize(count * 2);
        for (int i = 0; i < count; ++i) PutWord(reinterpret_cast<uint8_t*>(bytes.data()) + 2 * i, text[i].unicode());
    } else {
        bytes = text.left(count).toLatin1();
    }
    ++m_total;
    // The entry is made in the arena and given back when an equal one is there.
    TSSTEntry* e = m_arena.AllocEntry(size_t(bytes.size()));
    e->CharCount = uint16_t(count);
    e->Options = wide ? 1 : 0;
    std::memcpy(e->Data(), bytes.constData(), size_t(bytes.size()));
    const uint32_t h = Hash(e);
    if (auto* found = static_cast<TSSTEntry*>(Find(e, h))) {
        m_arena.TakeBack(reinterpret_cast<char*>(e));
        ++found->RefCount;
        return found;
    }
    e->Index = 0xFFFF;
    e->RefCount = 1;
    Insert(e, h);
    return e;
}

}

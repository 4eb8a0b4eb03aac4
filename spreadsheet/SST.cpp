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
    const auto* p = reinterpret_cast<const uint8_t*>(Data);
    if (Options & 1) {
        QString s(CharCount, Qt::Uninitialized);
        QChar* d = s.data();
        for (int i = 0; i < CharCount; ++i) d[i] = QChar(GetWord(p + 2 * i));
        return s;
    }
    return QString::fromLatin1(Data, CharCount);
}

int TSSTEntry::RunFont(int run) const
{
    const int charBytes = (Options & 1) ? 2 * CharCount : CharCount;
    if (run < 0 || run >= RunCount) return -1;
    return GetWord(reinterpret_cast<const uint8_t*>(Data) + charBytes + 4 * run + 2);
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
        const size_t size = qMax(BigChunkSize, n);
        char* c = static_cast<char*>(AllocBigChunk(size));
        m_chunks.append(c);
        m_cur = c;
        m_left = size;
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
}

// ---- trie

THashTrie::~THashTrie() { ClearTrie(); }

void THashTrie::freeNode(Node* n)
{
    for (Slot& s : n->items) {
        if (s.child) freeNode(s.child);
        for (TLinkedItem* i = s.chain; i;) {
            TLinkedItem* next = i->next;
            Release(i->value);
            delete i;
            i = next;
        }
    }
    delete n;
}

void THashTrie::ClearTrie()
{
    if (m_root) freeNode(m_root);
    m_root = nullptr;
}

static inline uint32_t rotr(uint32_t h, int bits)
{
    bits &= 31;
    return bits ? (h >> bits) | (h << (32 - bits)) : h;
}

void* THashTrie::Find(void* entry, uint32_t hash) const
{
    const Node* n = m_root;
    uint32_t h = hash;
    while (n) {
        const Slot& s = n->items[h & 0xFF];
        if (s.child) {
            n = s.child;
            h = rotr(h, 8);
            continue;
        }
        for (TLinkedItem* i = s.chain; i; i = i->next)
            if (i->hash == hash && Equal(i->value, entry)) return i->value;
        return nullptr;
    }
    return nullptr;
}

void* THashTrie::insertAt(Node* n, void* entry, uint32_t h, uint32_t full)
{
    while (true) {
        Slot& s = n->items[h & 0xFF];
        if (s.child) {
            n = s.child;
            h = rotr(h, 8);
            continue;
        }
        if (!s.chain) {
            s.chain = link(entry, nullptr, full);
            ++n->filled;
            return nullptr;
        }
        int length = 0;
        for (TLinkedItem* i = s.chain; i; i = i->next, ++length)
            if (i->hash == full && Equal(i->value, entry)) return i->value;
        if (length < 8 || n->level >= 3) {
            s.chain = link(entry, s.chain, full);
            return nullptr;
        }
        // Split the chain into a child of the next level (oldest entries first).
        Node* child = new Node;
        child->level = n->level + 1;
        TLinkedItem* old = s.chain;
        s.chain = nullptr;
        s.child = child;
        void* items[8];
        uint32_t hashes[8];
        int k = 0;
        for (TLinkedItem* i = old; i; ++k) {
            items[k] = i->value;
            hashes[k] = i->hash;
            TLinkedItem* next = i->next;
            delete i;
            i = next;
        }
        for (int i = k - 1; i >= 0; --i) insertAt(child, items[i], rotr(hashes[i], 8 * child->level), hashes[i]);
        n = child;
        h = rotr(h, 8);
    }
}

void THashTrie::Insert(void* entry, uint32_t hash)
{
    if (!m_root) m_root = new Node;
    insertAt(m_root, entry, hash, hash);
}

void* THashTrie::AddOrFind(void* entry, bool* found)
{
    const uint32_t h = Hash(entry);
    if (!m_root) m_root = new Node;
    void* e = insertAt(m_root, entry, h, h);   // one walk: finds or inserts
    if (found) *found = e != nullptr;
    return e ? e : entry;
}

uint32_t TSSTHashTrie::Hash(const void* entry) const
{
    const auto* e = static_cast<const TSSTEntry*>(entry);
    return Crc32(reinterpret_cast<const uint8_t*>(e->Data), e->DataSize);
}

void TSSTHashTrie::Release(void* entry) { delete static_cast<TSSTEntry*>(entry); }

bool TSSTHashTrie::Equal(const void* a, const void* b) const
{
    const auto* x = static_cast<const TSSTEntry*>(a);
    const auto* y = static_cast<const TSSTEntry*>(b);
    // The key holds the characters' bytes; the width must agree too.
    return (x->Options & 1) == (y->Options & 1) && x->CharCount == y->CharCount && x->DataSize == y->DataSize &&
           (x->DataSize == 0 || std::memcmp(x->Data, y->Data, x->DataSize) == 0);
}

// ---- table

void TSST2::Clear()
{
    m_byIndex.clear();
    m_missing = nullptr;
    m_declared = 0;
    ClearTrie();
    m_arena.Clear();
    m_total = 0;
}

int TSST2::UniqueCount() const
{
    int n = 0;
    ForEach([&](void*) { ++n; });
    return n;
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

TSSTEntry* TSST2::readEntry()
{
    uint8_t head[3];
    readBytes(head, 3);
    auto* e = new TSSTEntry;
    std::unique_ptr<TSSTEntry> guard(e);
    e->CharCount = GetWord(head);
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
    if (opt & 8) { e->RunCount = GetWord(extra); ep = 2; }
    if (opt & 4) e->PhoneticSize = GetDWord(extra + ep);
    // Characters that go on into a CONTINUE record may change width there: such entries are
    // stored with 16-bit characters.
    bool wide = (opt & 1) || (e->CharCount > m_left);
    e->Options = uint8_t((opt & ~1) | (wide ? 1 : 0));
    const int charBytes = wide ? 2 * e->CharCount : e->CharCount;
    const qint64 runBytes = 4 * qint64(e->RunCount);
    // A phonetic block cannot be larger than the rest of the stream.
    if (e->PhoneticSize > uint32_t(m_stream->Size() - m_stream->Position() + m_left))
        throw EXLSError(QStringLiteral("SST: phonetic block larger than the file"));
    e->DataSize = uint32_t(charBytes + runBytes + e->PhoneticSize);
    char* block = m_arena.Alloc(e->DataSize);
    e->Data = block;
    struct TakeBackOnError {
        TStringArena& a;
        char* p;
        bool armed = true;
        ~TakeBackOnError() { if (armed) a.TakeBack(p); }
    } guardBytes{m_arena, block};
    auto* d = reinterpret_cast<uint8_t*>(block);
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
    if (e->PhoneticSize) readBytes(d + charBytes + runBytes, int(e->PhoneticSize));
    guardBytes.armed = false;
    return guard.release();
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
    m_byIndex.reserve(qsizetype(qMin<qint64>(unique, (stream.Size() - stream.Position() + m_left) / 3)));
    for (uint32_t i = 0; i < unique; ++i) {
        // Writers may declare more strings than they write: the table ends with its records.
        if (m_left == 0 && stream.PeekRecordId() != 0x003C) break;
        TSSTEntry* e = readEntry();
        e->Index = uint32_t(m_byIndex.size());
        bool found = false;
        auto* use = static_cast<TSSTEntry*>(AddOrFind(e, &found));
        if (found) {
            m_arena.TakeBack(const_cast<char*>(e->Data));
            delete e;
        }
        m_byIndex.append(use);
    }
    if (uint32_t(m_byIndex.size()) < unique) {
        // The missing strings are empty texts.
        auto* e = new TSSTEntry;
        e->Index = uint32_t(m_byIndex.size());
        bool found = false;
        m_missing = static_cast<TSSTEntry*>(AddOrFind(e, &found));
        if (found) delete e;
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
    TSSTEntry probe;
    probe.Data = bytes.constData();
    probe.DataSize = uint32_t(bytes.size());
    probe.CharCount = uint16_t(count);
    probe.Options = wide ? 1 : 0;
    if (auto* found = static_cast<TSSTEntry*>(Find(&probe, Hash(&probe)))) {
        ++found->RefCount;
        return found;
    }
    auto* e = new TSSTEntry(probe);
    char* block = m_arena.Alloc(size_t(bytes.size()));
    std::memcpy(block, bytes.constData(), size_t(bytes.size()));
    e->Data = block;
    e->Index = 0xFFFF;
    e->RefCount = 1;
    Insert(e, Hash(e));
    return e;
}

}

#include "spreadsheet/CompoundFile.h"
#include "spreadsheet/XLSUtils.h"

#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace xls {

namespace {
constexpr uint32_t EndOfChain = 0xFFFFFFFE;
constexpr uint32_t FreeSect = 0xFFFFFFFF;
constexpr uint32_t NoStream = 0xFFFFFFFF;
constexpr uint32_t MiniCutoff = 4096;
const uint8_t Signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

[[noreturn]] void bad(const char* what)
{
    throw EXLSError(QStringLiteral("Damaged compound file: %1").arg(QLatin1String(what)));
}
}

bool TCompoundFile::IsCompoundFile(const QByteArray& data)
{
    return data.size() >= 512 && std::memcmp(data.constData(), Signature, 8) == 0;
}

const uint8_t* TCompoundFile::sector(uint32_t id, qint64 need) const
{
    if (id >= m_sectorCount) bad("sector past the end of the file");
    qint64 off = (qint64(id) + 1) << m_sectorShift;
    if (need > SectorSize() || off + need > m_data.size()) bad("sector past the end of the file");
    return reinterpret_cast<const uint8_t*>(m_data.constData()) + off;
}

// Follows a chain through `table`; at most `maxLength` links are taken (the rest of a longer
// chain is not needed). A link outside the table or a repeated sector is an error.
QVector<uint32_t> TCompoundFile::chain(uint32_t start, const QVector<uint32_t>& table, uint32_t limit,
                                       qint64 maxLength) const
{
    QVector<uint32_t> out;
    if (start == EndOfChain || maxLength <= 0) return out;
    std::vector<bool> seen(table.size(), false);
    uint32_t id = start;
    while (id != EndOfChain && out.size() < maxLength) {
        if (id >= uint32_t(table.size()) || id >= limit) bad("sector id out of range");
        if (seen[id]) bad("cycle in a sector chain");
        seen[id] = true;
        out.append(id);
        id = table[id];
    }
    return out;
}

void PrepareForWrite(char* p, qint64 n)
{
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif
    static const auto page = uintptr_t(sysconf(_SC_PAGESIZE) > 0 ? sysconf(_SC_PAGESIZE) : 4096);
    const auto from = (reinterpret_cast<uintptr_t>(p) + page - 1) & ~(page - 1);
    const auto to = (reinterpret_cast<uintptr_t>(p) + uintptr_t(n)) & ~(page - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), size_t(to - from), MADV_POPULATE_WRITE);
}

QByteArray LargeBuffer(qint64 size)
{
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    // Huge pages would save more, but after an idle spell the kernel compacts memory to find
    // them and the read stalls for longer than it saves.
    if (size >= (qint64(8) << 20)) PrepareForWrite(out.data(), size);
    return out;
}

// The chain of a stream of `size` bytes as runs of consecutive sectors in the file.
QVector<TCompoundFile::Run> TCompoundFile::chainRuns(uint32_t start, uint64_t size) const
{
    const qint64 ss = SectorSize();
    const qint64 need = qint64((size + ss - 1) / ss);
    if (size > uint64_t(m_data.size())) bad("stream larger than the file");
    QVector<uint32_t> ids = chain(start, m_fat, m_sectorCount, need);
    if (ids.size() < need) bad("sector chain shorter than its stream");
    QVector<Run> runs;
    const auto* base = reinterpret_cast<const uint8_t*>(m_data.constData());
    qint64 done = 0;
    for (qsizetype i = 0; i < ids.size();) {
        qsizetype j = i + 1;
        while (j < ids.size() && ids[j] == ids[j - 1] + 1) ++j;
        const qint64 n = qMin<qint64>(qint64(j - i) * ss, qint64(size) - done);
        const uint8_t* from = sector(ids[i], qMin(ss, n));
        if ((from - base) + n > m_data.size()) bad("sector past the end of the file");
        runs.append({done, n, reinterpret_cast<const char*>(from)});
        done += n;
        i = j;
    }
    return runs;
}

QByteArray TCompoundFile::readChain(uint32_t start, uint64_t size) const
{
    const QVector<Run> runs = chainRuns(start, size);
    // One run of sectors: a view into the file's bytes, no copy.
    if (runs.size() == 1) return QByteArray::fromRawData(runs[0].data, qsizetype(size));
    QByteArray out = LargeBuffer(qint64(size));
    for (const Run& r : runs) std::memcpy(out.data() + r.offset, r.data, size_t(r.length));
    return out;
}

QVector<TCompoundFile::Run> TCompoundFile::StreamRuns(int index) const
{
    if (index < 0 || index >= m_entries.size()) bad("no such entry");
    const Entry& e = m_entries[index];
    if (e.type != etStream) bad("entry is no stream");
    if (e.size < MiniCutoff) return {};
    return chainRuns(e.start, e.size);
}

void TCompoundFile::Open(const QByteArray& data)
{
    m_data = data;
    m_fat.clear();
    m_miniFat.clear();
    m_entries.clear();
    m_miniStream.clear();
    if (!IsCompoundFile(data)) bad("no compound file header");
    const auto* h = reinterpret_cast<const uint8_t*>(data.constData());
    uint16_t major = GetWord(h + 0x1A);
    m_sectorShift = GetWord(h + 0x1E);
    if (!((major == 3 && m_sectorShift == 9) || (major == 4 && m_sectorShift == 12)))
        bad("unknown version or sector size");
    if (GetWord(h + 0x20) != 6) bad("unknown mini sector size");
    const qint64 ss = SectorSize();
    m_sectorCount = uint32_t(qMax<qint64>(0, (qint64(data.size()) - ss + ss - 1) / ss));
    if (m_sectorCount == 0) bad("no sectors");

    const uint32_t fatSectors = GetDWord(h + 0x2C);
    const uint32_t dirStart = GetDWord(h + 0x30);
    const uint32_t miniFatStart = GetDWord(h + 0x3C);
    const uint32_t miniFatSectors = GetDWord(h + 0x40);
    uint32_t difatStart = GetDWord(h + 0x44);
    const uint32_t difatSectors = GetDWord(h + 0x48);
    if (fatSectors > m_sectorCount || difatSectors > m_sectorCount || miniFatSectors > m_sectorCount)
        bad("sector counts larger than the file");

    // DIFAT: 109 ids in the header, then a chain of DIFAT sectors.
    QVector<uint32_t> fatIds;
    for (int i = 0; i < 109 && uint32_t(fatIds.size()) < fatSectors; ++i) fatIds.append(GetDWord(h + 0x4C + 4 * i));
    {
        std::vector<bool> seen(m_sectorCount, false);
        const int perSector = int(ss / 4) - 1;
        uint32_t d = difatStart;
        uint32_t taken = 0;
        while (uint32_t(fatIds.size()) < fatSectors) {
            if (d == EndOfChain || d == FreeSect || taken >= difatSectors) bad("DIFAT shorter than the FAT");
            if (d >= m_sectorCount || seen[d]) bad("bad DIFAT chain");
            seen[d] = true;
            ++taken;
            const uint8_t* s = sector(d, ss);
            for (int i = 0; i < perSector && uint32_t(fatIds.size()) < fatSectors; ++i) fatIds.append(GetDWord(s + 4 * i));
            d = GetDWord(s + 4 * perSector);
        }
    }
    m_fat.reserve(qsizetype(fatSectors) * (ss / 4));
    for (uint32_t id : fatIds) {
        const uint8_t* s = sector(id, ss);
        for (int i = 0; i < ss / 4; ++i) m_fat.append(GetDWord(s + 4 * i));
    }

    // Directory: 128-byte entries along its chain.
    QVector<uint32_t> dirIds = chain(dirStart, m_fat, m_sectorCount, m_sectorCount);
    if (dirIds.isEmpty()) bad("no directory");
    for (uint32_t id : dirIds) {
        const uint8_t* s = sector(id, ss);
        for (int k = 0; k < ss / 128; ++k) {
            const uint8_t* e = s + 128 * k;
            Entry en;
            int nameBytes = GetWord(e + 0x40);
            if (nameBytes > 64) nameBytes = 64;
            int chars = nameBytes / 2 - 1;
            for (int i = 0; i < chars; ++i) en.name += QChar(GetWord(e + 2 * i));
            en.type = e[0x42];
            en.left = GetDWord(e + 0x44);
            en.right = GetDWord(e + 0x48);
            en.child = GetDWord(e + 0x4C);
            en.start = GetDWord(e + 0x74);
            en.size = GetDWord(e + 0x78);
            if (major == 4) en.size |= uint64_t(GetDWord(e + 0x7C)) << 32;
            m_entries.append(en);
        }
    }
    if (m_entries[0].type != etRoot) bad("no root entry");

    // Mini FAT and the mini stream (the root entry's chain).
    QVector<uint32_t> mfIds = chain(miniFatStart, m_fat, m_sectorCount, miniFatSectors);
    for (uint32_t id : mfIds) {
        const uint8_t* s = sector(id, ss);
        for (int i = 0; i < ss / 4; ++i) m_miniFat.append(GetDWord(s + 4 * i));
    }
    const Entry& root = m_entries[0];
    if (root.size > 0 && root.start != EndOfChain) m_miniStream = readChain(root.start, root.size);
}

QVector<int> TCompoundFile::Children(int storage) const
{
    QVector<int> out;
    if (storage < 0 || storage >= m_entries.size()) return out;
    std::vector<bool> seen(m_entries.size(), false);
    // In-order walk of the red-black tree below the storage, iterative with a stack.
    QVector<uint32_t> stack;
    uint32_t cur = m_entries[storage].child;
    while (true) {
        while (cur != NoStream) {
            if (cur >= uint32_t(m_entries.size()) || seen[cur]) bad("bad directory tree");
            seen[cur] = true;
            stack.append(cur);
            cur = m_entries[cur].left;
        }
        if (stack.isEmpty()) break;
        uint32_t n = stack.takeLast();
        if (m_entries[n].type != etEmpty) out.append(int(n));
        cur = m_entries[n].right;
    }
    return out;
}

QByteArray TCompoundFile::ReadStream(int index) const
{
    if (index < 0 || index >= m_entries.size()) bad("no such entry");
    const Entry& e = m_entries[index];
    if (e.type != etStream) bad("entry is no stream");
    if (e.size == 0) return QByteArray();
    if (e.size >= MiniCutoff) return readChain(e.start, e.size);
    // Small streams live in 64-byte sectors of the mini stream.
    const qint64 need = qint64((e.size + 63) / 64);
    QVector<uint32_t> ids = chain(e.start, m_miniFat, uint32_t(m_miniStream.size() / 64 + ((m_miniStream.size() % 64) ? 1 : 0)), need);
    if (ids.size() < need) bad("mini sector chain shorter than its stream");
    QByteArray out(qsizetype(e.size), Qt::Uninitialized);
    qint64 done = 0;
    for (uint32_t id : ids) {
        qint64 n = qMin<qint64>(64, qint64(e.size) - done);
        qint64 off = qint64(id) * 64;
        if (off + n > m_miniStream.size()) bad("mini sector past the end of the mini stream");
        std::memcpy(out.data() + done, m_miniStream.constData() + off, size_t(n));
        done += n;
    }
    return out;
}

}

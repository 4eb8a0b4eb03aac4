#include "spreadsheet/XLSStream.h"
#include "spreadsheet/CompoundFile.h"
#include "spreadsheet/XLSUtils.h"

#include <QCryptographicHash>
#include <QFile>
#include <QThread>
#include <algorithm>
#include <cstdint>
#include <climits>
#include <cstring>
#include <thread>
#include <vector>
#include <sys/mman.h>
#include <unistd.h>

namespace xls {

void TRC4::Init(const uint8_t* key, int len)
{
    for (int i = 0; i < 256; ++i) m_s[i] = uint8_t(i);
    uint8_t j = 0;
    for (int i = 0; i < 256; ++i) {
        j = uint8_t(j + m_s[i] + key[i % len]);
        std::swap(m_s[i], m_s[j]);
    }
    m_i = m_j = 0;
}

void TRC4::Crypt(uint8_t* p, qint64 n)
{
    for (qint64 k = 0; k < n; ++k) {
        m_i = uint8_t(m_i + 1);
        m_j = uint8_t(m_j + m_s[m_i]);
        std::swap(m_s[m_i], m_s[m_j]);
        p[k] ^= m_s[uint8_t(m_s[m_i] + m_s[m_j])];
    }
}

void TRC4::Skip(qint64 n)
{
    for (qint64 k = 0; k < n; ++k) {
        m_i = uint8_t(m_i + 1);
        m_j = uint8_t(m_j + m_s[m_i]);
        std::swap(m_s[m_i], m_s[m_j]);
    }
}

TXLSStream::TXLSStream(TExtraObjects* extras, bool keepExtras) : m_extras(extras), m_keepExtras(keepExtras) {}

TXLSStream::~TXLSStream() { Close(); }

void TXLSStream::Close()
{
    m_data.clear();
    m_runs.clear();
    m_size = 0;
    m_run = 0;
    m_runAt = m_runEnd = 0;
    m_runData = nullptr;
    m_source.clear();
    if (m_file) {
        if (m_map) m_file->unmap(m_map);
        m_map = nullptr;
        m_mapSize = 0;
        m_file.reset();
    }
    m_pos = 0;
    m_drawingMode = false;
    m_pieceRead = 0;
    m_encrypted = false;
    m_block = -1;
}

TExcelVersion TXLSStream::Open(const QString& fileName)
{
    Close();
    auto f = std::make_unique<QFile>(fileName);
    if (!f->open(QIODevice::ReadOnly))
        throw EXLSError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, f->errorString()));
    // The file is mapped and stays mapped while the stream is open: a workbook stream whose
    // sectors follow each other is read in place.
    const qint64 size = f->size();
    uchar* mapped = size > 0 ? f->map(0, size) : nullptr;
    if (!mapped) return OpenData(f->readAll());
#ifndef MADV_POPULATE_READ
#define MADV_POPULATE_READ 22
#endif
    // Every byte of the file is read at least once: its pages are mapped in one call rather
    // than fault by fault (older kernels refuse the advice, and the pages fault in as before).
    madvise(mapped, size_t(size), MADV_POPULATE_READ);
    TExcelVersion v;
    try {
        v = OpenData(QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), qsizetype(size)));
    } catch (...) {
        f->unmap(mapped);
        throw;
    }
    m_file = std::move(f);
    m_map = mapped;
    m_mapSize = size;
    m_released = 0;
    m_releaseAt = 0;
    const auto data = reinterpret_cast<uintptr_t>(m_runs.isEmpty() ? nullptr : m_runs[0].data);
    if (data < uintptr_t(mapped) || data > uintptr_t(mapped) + uintptr_t(size)) {
        // The stream was copied out of its scattered sectors: the file's pages are not needed.
        madvise(mapped, size_t(size), MADV_DONTNEED);
        m_released = size;
    }
    return v;
}

TExcelVersion TXLSStream::OpenData(const QByteArray& data)
{
    if (m_file) Close();
    else setWhole(QByteArray());
    m_source = data;
    TExcelVersion v = TCompoundFile::IsCompoundFile(data) ? openCompound(m_source) : openPlain(m_source);
    if (v == xvNone) {
        Close();
        throw EXLSError(QStringLiteral("The file is not an Excel workbook"));
    }
    return v;
}

TExcelVersion TXLSStream::openPlain(const QByteArray& file)
{
    setWhole(file);
    if (file.size() < 4) return xvNone;
    const auto* p = reinterpret_cast<const uint8_t*>(file.constData());
    uint16_t id = GetWord(p);
    if ((id & 0xFF) != 0x09) return xvNone;
    if (id < 0x0100) return xvExcel21;
    if ((id & 0xFF00) == 0x0200) return xvExcel30;
    if ((id & 0xFF00) == 0x0400) return xvExcel40;
    return xvNone;
}

TExcelVersion TXLSStream::openCompound(const QByteArray& file)
{
    TCompoundFile cf;
    cf.Open(file);
    int book = -1, workbook = -1;
    QList<int> extraStreams;
    const QVector<int> kids = cf.Children(0);
    for (int idx : kids) {
        const TCompoundFile::Entry& e = cf.Entries()[idx];
        QString lower = e.name;
        for (QChar& c : lower)
            if (c >= 'A' && c <= 'Z') c = QChar(c.unicode() + 32);
        if (e.type == TCompoundFile::etStream && lower == QLatin1String("workbook")) {
            if (workbook < 0) workbook = idx;
            continue;
        }
        if (e.type == TCompoundFile::etStream && lower == QLatin1String("book")) {
            if (book < 0) book = idx;
            continue;
        }
        if (!m_keepExtras || !m_extras) continue;
        if (e.type == TCompoundFile::etStream && book < 0 && workbook < 0) {
            extraStreams.append(idx);
        } else if (e.type == TCompoundFile::etStorage) {
            TExtraObjects::Storage st;
            st.name = e.name;
            // Copy every stream below the storage, named by its path.
            QList<QPair<int, QString>> todo{{idx, QString()}};
            int guard = 0;
            while (!todo.isEmpty() && ++guard <= cf.Entries().size()) {
                auto [sIdx, prefix] = todo.takeFirst();
                for (int c : cf.Children(sIdx)) {
                    const TCompoundFile::Entry& ce = cf.Entries()[c];
                    if (ce.type == TCompoundFile::etStream) {
                        QByteArray d = cf.ReadStream(c);
                        d.detach();   // kept beyond the read: never a view into the file
                        st.streams.append({prefix + ce.name, d});
                    }
                    else if (ce.type == TCompoundFile::etStorage) todo.append({c, prefix + ce.name + '/'});
                }
            }
            m_extras->storages.append(st);
        }
    }
    if (book < 0 && workbook < 0) throw EXLSError(QStringLiteral("The file is not an Excel workbook"));
    for (int idx : extraStreams) {
        QByteArray d = cf.ReadStream(idx);
        d.detach();
        m_extras->streams.append({cf.Entries()[idx].name, d});
    }
    try {
        const int entry = workbook >= 0 ? workbook : book;
        // A stream scattered over several runs of sectors is read where it lies, run by run.
        const QVector<TCompoundFile::Run> runs = cf.StreamRuns(entry);
        if (runs.size() > 1) {
            setWhole(QByteArray());
            m_runs.clear();
            for (const TCompoundFile::Run& r : runs) m_runs.append({r.offset, r.length, r.data});
            m_size = runs.last().offset + runs.last().length;
            m_runEnd = -1;   // no run chosen yet
            selectRun();
        } else {
            setWhole(cf.ReadStream(entry));
        }
    } catch (const EXLSError&) {
        return xvNone;
    }
    // The stream's name only chooses the stream: programs write BIFF8 records into a "Book"
    // stream too. The version is the one of the first BOF record; a BOF without a known version
    // falls back to the name.
    TExcelVersion v = workbook >= 0 ? xvExcel97 : xvExcel50;
    uint8_t p[6];
    if (m_size >= 6) copyAt(0, reinterpret_cast<char*>(p), 6);
    if (m_size >= 6 && GetWord(p) == 0x0809 && GetWord(p + 2) >= 2) {
        const uint16_t biff = GetWord(p + 4);
        if (biff == 0x0600) v = xvExcel97;
        else if (biff == 0x0500) v = xvExcel50;
    }
    return v;
}

void TXLSStream::setWhole(const QByteArray& data)
{
    m_data = data;
    m_runs = {Run{0, m_data.size(), m_data.constData()}};
    m_size = m_data.size();
    m_pos = 0;
    m_run = 0;
    m_runAt = 0;
    m_runEnd = m_size;
    m_runData = m_data.constData();
}

// Makes the run that holds m_pos the current one; at the end of a run the next one is taken, so
// the current run ends at m_pos only at the end of the stream.
void TXLSStream::selectRun()
{
    if (m_pos >= m_runAt && (m_pos < m_runEnd || (m_pos == m_runEnd && m_run == m_runs.size() - 1))) return;
    if (m_runs.isEmpty()) return;
    int i = m_run;
    if (m_pos >= m_runEnd) {
        while (i + 1 < m_runs.size() && m_runs[i].at + m_runs[i].length <= m_pos) ++i;
    } else {
        // back: the last run starting at or before m_pos
        const auto it = std::upper_bound(m_runs.cbegin(), m_runs.cend(), m_pos, [](qint64 pos, const Run& r) { return pos < r.at; });
        i = it == m_runs.cbegin() ? 0 : int(it - m_runs.cbegin()) - 1;
    }
    m_run = i;
    m_runAt = m_runs[i].at;
    m_runEnd = m_runs[i].at + m_runs[i].length;
    m_runData = m_runs[i].data;
}

// Copies `n` stream bytes from `pos` on, over as many runs as they span; the caller keeps
// pos + n within the stream.
void TXLSStream::copyAt(qint64 pos, char* to, qint64 n) const
{
    int i = m_run;
    if (pos < m_runAt || pos >= m_runEnd) {
        const auto it = std::upper_bound(m_runs.cbegin(), m_runs.cend(), pos, [](qint64 p, const Run& r) { return p < r.at; });
        i = it == m_runs.cbegin() ? 0 : int(it - m_runs.cbegin()) - 1;
    }
    while (n > 0 && i < m_runs.size()) {
        const Run& r = m_runs[i++];
        const qint64 take = qMin(n, r.at + r.length - pos);
        if (take <= 0) continue;
        std::memcpy(to, r.data + (pos - r.at), size_t(take));
        to += take;
        pos += take;
        n -= take;
    }
}

int TXLSStream::readRaw(uint8_t* buf, int count)
{
    if (count <= 0) return 0;
    qint64 n = qMin<qint64>(count, m_size - m_pos);
    if (n <= 0) return 0;
    if (m_pos + n <= m_runEnd) std::memcpy(buf, here(), size_t(n));
    else copyAt(m_pos, reinterpret_cast<char*>(buf), n);
    m_pos += n;
    if (m_pos >= m_runEnd) selectRun();
    if (m_map && m_pos >= m_releaseAt) releaseReadPages();
    return int(n);
}

// The records are read front to back: the pages of the mapped file well behind the read position
// leave the process's resident set (the system keeps them cached, and reading there again would
// only load them anew), so a large file does not add its size to the reader's memory.
void TXLSStream::releaseReadPages()
{
    constexpr qint64 Step = qint64(1) << 20;
    const auto base = reinterpret_cast<uintptr_t>(m_map);
    const auto data = reinterpret_cast<uintptr_t>(m_runData);
    if (data < base || data > base + uintptr_t(m_mapSize)) {
        m_releaseAt = m_size + 1;   // a copy of the stream, not a view: nothing to give back
        return;
    }
    // The read position in the file. Runs of sectors usually follow each other in the file; where
    // one lies before the last, its pages are only given back once the read passes them again.
    const qint64 at = qint64(data - base) + (m_pos - m_runAt);
    if (at - m_released >= 2 * Step) {
        static const qint64 page = sysconf(_SC_PAGESIZE) > 0 ? sysconf(_SC_PAGESIZE) : 4096;
        const qint64 upTo = (at - Step) / page * page;
        if (upTo > m_released) {
            madvise(m_map + m_released, size_t(upTo - m_released), MADV_DONTNEED);
            m_released = upTo;
        }
    }
    m_releaseAt = m_pos + (m_released + 2 * Step - at);   // the next look, a step further on
}

int TXLSStream::readHeader(uint16_t& id, uint16_t& length)
{
    uint8_t h[4];
    int n = readRaw(h, 4);
    if (n < 4) {
        id = length = 0;
        return n;
    }
    id = GetWord(h);
    length = GetWord(h + 2);
    return 4;
}

int TXLSStream::ReadPlain(uint8_t* buf, int count) { return readRaw(buf, count); }

int TXLSStream::readBody(uint8_t* buf, int count)
{
    if (!m_drawingMode) {
        qint64 pos = m_pos;
        int n = readRaw(buf, count);
        if (m_encrypted) decryptAt(buf, n, pos);
        return n;
    }
    int done = 0;
    while (done < count) {
        int room = m_pieceLength - m_pieceRead;
        if (room <= 0) {
            uint16_t id, len;
            if (ReadHeader(id, len) < 4) break;
            if (id != 0x003C && id != 0x00EB && id != 0x1066)
                throw EXLSError(QStringLiteral("CONTINUE record is missing"));
            m_pieceLength = len;
            m_pieceRead = 0;
            continue;
        }
        int want = qMin(room, count - done);
        qint64 pos = m_pos;
        int n = readRaw(buf + done, want);
        if (m_encrypted) decryptAt(buf + done, n, pos);
        m_pieceRead += n;
        done += n;
        if (n < want) break;
    }
    return done;
}

uint16_t TXLSStream::PeekRecordId()
{
    if (m_size - m_pos < 4) return 0;
    if (m_pos + 2 <= m_runEnd) return GetWord(reinterpret_cast<const uint8_t*>(here()));
    uint8_t id[2];
    copyAt(m_pos, reinterpret_cast<char*>(id), 2);
    return GetWord(id);
}

qint64 TXLSStream::Seek(qint64 offset, TSeekOrigin origin)
{
    qint64 base = origin == soFromBeginning ? 0 : origin == soFromCurrent ? m_pos : m_size;
    m_pos = qBound<qint64>(0, base + offset, m_size);
    selectRun();
    return m_pos;
}

void TXLSStream::BeginDrawingMode(int pieceLength)
{
    m_drawingMode = true;
    m_pieceRead = 0;
    m_pieceLength = pieceLength;
}

void TXLSStream::EndDrawingMode()
{
    m_drawingMode = false;
    m_pieceRead = 0;
}

void TXLSStream::SkipRestOfPiece()
{
    if (m_pieceLength > m_pieceRead) Seek(m_pieceLength - m_pieceRead, soFromCurrent);
    m_pieceRead = m_pieceLength;
}

qint64 TXLSStream::ReadDrawingBody(char* to, qint64 count)
{
    constexpr qint64 Share = qint64(4) << 20;   // bytes worth a thread of their own
    const int threads = int(qBound<qint64>(1, count / Share, qint64(qBound(1, QThread::idealThreadCount(), 8))));
    if (!m_drawingMode || m_encrypted || threads < 2 || count > INT_MAX) {
        if (count >= (qint64(8) << 20)) PrepareForWrite(to, count);
        return readBody(reinterpret_cast<uint8_t*>(to), int(qMin<qint64>(count, INT_MAX)));
    }
    // The pieces first: where each lies in the stream and where it goes; the records between
    // them must continue the drawing as readBody requires.
    struct Piece { qint64 from, to, length; };
    QList<Piece> pieces;
    qint64 done = 0;
    while (done < count) {
        if (m_pieceLength - m_pieceRead <= 0) {
            if (m_size - m_pos < 4) break;
            uint8_t h[4];
            copyAt(m_pos, reinterpret_cast<char*>(h), 4);
            m_pos += 4;
            const uint16_t id = GetWord(h);
            if (id != 0x003C && id != 0x00EB && id != 0x1066) {
                selectRun();
                throw EXLSError(QStringLiteral("CONTINUE record is missing"));
            }
            m_pieceLength = GetWord(h + 2);
            m_pieceRead = 0;
            continue;
        }
        const qint64 n = std::min({qint64(m_pieceLength - m_pieceRead), count - done, m_size - m_pos});
        if (n <= 0) break;
        pieces.append({m_pos, done, n});
        m_pos += n;
        m_pieceRead += int(n);
        done += n;
    }
    // Then the copies, each thread filling one share of the target.
    const qint64 share = (done + threads - 1) / threads;
    auto work = [&](int t) {
        const qint64 lo = qint64(t) * share, hi = qMin(done, lo + share);
        if (hi <= lo) return;
        PrepareForWrite(to + lo, hi - lo);
        auto it = std::upper_bound(pieces.cbegin(), pieces.cend(), lo, [](qint64 at, const Piece& p) { return at < p.to; });
        if (it != pieces.cbegin()) --it;
        for (; it != pieces.cend() && it->to < hi; ++it) {
            const qint64 a = qMax(lo, it->to), b = qMin(hi, it->to + it->length);
            if (b > a) copyAt(it->from + (a - it->to), to + a, b - a);
        }
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads; ++t) helpers.emplace_back(work, t);
    work(0);
    for (std::thread& h : helpers) h.join();
    selectRun();
    if (m_map && m_pos >= m_releaseAt) releaseReadPages();
    return done;
}

int TXLSStream::ReadString(int count, QString& text)
{
    uint8_t opt = 0;
    if (ReadBody(&opt, 1) < 1) throw EXLSError(QStringLiteral("Unexpected end of file"));
    if (opt == 1) {
        QByteArray b(count * 2, 0);
        if (ReadBody(reinterpret_cast<uint8_t*>(b.data()), count * 2) < count * 2)
            throw EXLSError(QStringLiteral("Unexpected end of file"));
        text = WideFromBytes(reinterpret_cast<const uint8_t*>(b.constData()), count * 2 + 2);
        return count * 2 + 1;
    }
    QByteArray b(count, 0);
    if (ReadBody(reinterpret_cast<uint8_t*>(b.data()), count) < count)
        throw EXLSError(QStringLiteral("Unexpected end of file"));
    text = AnsiCodec().toUnicode(b);
    return count + 1;
}

static QByteArray md5(const QByteArray& b) { return QCryptographicHash::hash(b, QCryptographicHash::Md5); }

void TXLSStream::loadBlockKey(qint64 block)
{
    QByteArray in(reinterpret_cast<const char*>(m_keyBase), 5);
    uint8_t n[4];
    PutDWord(n, uint32_t(block));
    in.append(reinterpret_cast<const char*>(n), 4);
    QByteArray key = md5(in);
    m_rc4.Init(reinterpret_cast<const uint8_t*>(key.constData()), 16);
    m_block = block;
    m_keyPos = block * 1024;
}

// The keystream position always equals the stream position: block n of 1024 bytes uses the
// key of block n from its start.
void TXLSStream::decryptAt(uint8_t* buf, int n, qint64 pos)
{
    int done = 0;
    while (done < n) {
        qint64 p = pos + done;
        qint64 block = p / 1024;
        if (block != m_block || m_keyPos > p) loadBlockKey(block);
        m_rc4.Skip(p - m_keyPos);
        int chunk = int(qMin<qint64>(n - done, (block + 1) * 1024 - p));
        m_rc4.Crypt(buf + done, chunk);
        m_keyPos = p + chunk;
        done += chunk;
    }
}

bool TXLSStream::CheckPassword(const uint8_t* fp, int length, const QString& password)
{
    if (length < 54) throw EXLSError(QStringLiteral("Invalid FILEPASS record"));
    QString pw = password.left(31);
    QByteArray pwBytes;
    for (QChar c : pw) {
        pwBytes.append(char(c.unicode() & 0xFF));
        pwBytes.append(char(c.unicode() >> 8));
    }
    QByteArray h0 = md5(pwBytes).left(5);
    QByteArray salt(reinterpret_cast<const char*>(fp + 6), 16);
    QByteArray buf;
    for (int i = 0; i < 16; ++i) buf += h0 + salt;
    QByteArray h1 = md5(buf);
    std::memcpy(m_keyBase, h1.constData(), 5);
    loadBlockKey(0);
    uint8_t verifier[16], hash[16];
    std::memcpy(verifier, fp + 22, 16);
    std::memcpy(hash, fp + 38, 16);
    m_rc4.Crypt(verifier, 16);
    m_rc4.Crypt(hash, 16);
    m_block = -1;
    QByteArray check = md5(QByteArray(reinterpret_cast<const char*>(verifier), 16));
    if (std::memcmp(check.constData(), hash, 16) != 0) return false;
    m_encrypted = true;
    return true;
}

}

#pragma once
// The byte source of the workbook reader: detects the kind of file (compound file with a
// "Workbook" or "Book" stream, or a plain BIFF2-4 file), reads record headers and bodies,
// follows the pieces of a drawing group and decrypts RC4-protected BIFF8 workbooks.
#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <cstring>
#include <memory>

class QFile;

namespace xls {

enum TExcelVersion : uint8_t { xvNone, xvExcelUnknown, xvExcel21, xvExcel30, xvExcel40, xvExcel50, xvExcel97 };

// RC4 stream cipher: key scheduling with a key of any length, then XOR with the keystream.
class TRC4 {
public:
    void Init(const uint8_t* key, int len);
    void Crypt(uint8_t* p, qint64 n);
    void Skip(qint64 n);
private:
    uint8_t m_s[256] = {};
    uint8_t m_i = 0, m_j = 0;
};

// The other streams and storages of a compound file, kept as they were.
class TExtraObjects {
public:
    struct Stream { QString name; QByteArray data; };
    struct Storage { QString name; QList<Stream> streams; };  // streams by path inside the storage
    QList<Stream> streams;
    QList<Storage> storages;
    void Clear() { streams.clear(); storages.clear(); }
};

class TXLSStream {
public:
    enum TSeekOrigin { soFromBeginning, soFromCurrent, soFromEnd };

    explicit TXLSStream(TExtraObjects* extras = nullptr, bool keepExtras = false);
    ~TXLSStream();

    TXLSStream(const TXLSStream&) = delete;
    TXLSStream& operator=(const TXLSStream&) = delete;

    TExcelVersion Open(const QString& fileName);
    TExcelVersion OpenData(const QByteArray& data);   // a file's bytes held in memory
    void Close();

    int ReadHeader(uint16_t& id, uint16_t& length)
    {
        // The common case in place: four bytes there, no page release due.
        if (m_pos + 4 <= m_runEnd && !(m_map && m_pos + 4 >= m_releaseAt)) {
            const auto* p = reinterpret_cast<const uint8_t*>(here());
            id = uint16_t(p[0] | (p[1] << 8));
            length = uint16_t(p[2] | (p[3] << 8));
            m_pos += 4;
            return 4;
        }
        return readHeader(id, length);
    }
    int ReadBody(uint8_t* buf, int count)
    {
        if (!m_drawingMode && !m_encrypted && count > 0 && count <= m_runEnd - m_pos &&
            !(m_map && m_pos + count >= m_releaseAt)) {
            std::memcpy(buf, here(), size_t(count));
            m_pos += count;
            return count;
        }
        return readBody(buf, count);
    }
    // The next `count` bytes of a record body in place, or nullptr where they must be read with
    // ReadBody (not all there, decrypted or pieced together, split over two runs of sectors, or
    // pages to give back on the way). SkipBody then moves past at most that many.
    const uint8_t* PeekBody(int count) const
    {
        if (m_drawingMode || m_encrypted || count <= 0 || count > m_runEnd - m_pos || (m_map && m_pos + count >= m_releaseAt))
            return nullptr;
        return reinterpret_cast<const uint8_t*>(here());
    }
    void SkipBody(int count) { m_pos += count; }
    int ReadPlain(uint8_t* buf, int count);
    uint16_t PeekRecordId();
    qint64 Seek(qint64 offset, TSeekOrigin origin);
    qint64 Position() const { return m_pos; }
    qint64 Size() const { return m_size; }

    // Drawing mode: bodies continue over the following CONTINUE / MSODRAWINGGROUP / 0x1066
    // records; `pieceLength` is the length of the record whose body starts now.
    void BeginDrawingMode(int pieceLength);
    void EndDrawingMode();
    // Moves past what is left of the current drawing piece.
    void SkipRestOfPiece();
    // In drawing mode: reads `count` bytes as ReadBody does into memory not yet touched; a large
    // body is copied by a few threads, each mapping and filling its share of `to`.
    qint64 ReadDrawingBody(char* to, qint64 count);

    int ReadString(int count, QString& text);
    bool CheckPassword(const uint8_t* filepass, int length, const QString& password);
    bool Encrypted() const { return m_encrypted; }

private:
    // A piece of the stream held in one place: `length` bytes from stream position `at` on.
    struct Run {
        qint64 at = 0;
        qint64 length = 0;
        const char* data = nullptr;
    };
    QByteArray m_data;   // the stream where it is held in one piece (may be a view into m_source)
    QList<Run> m_runs;   // the stream's pieces in order: one for m_data, or the runs of sectors
                         // of a scattered workbook stream, read in place in m_source
    qint64 m_size = 0;
    int m_run = 0;            // the run holding m_pos (at its end only at the end of the stream)
    qint64 m_runAt = 0;       // its start
    qint64 m_runEnd = 0;      // and its end in stream positions
    const char* m_runData = nullptr;
    QByteArray m_source; // the file's bytes, kept while the stream is open
    std::unique_ptr<QFile> m_file;
    uchar* m_map = nullptr;
    qint64 m_mapSize = 0;
    qint64 m_released = 0;   // bytes of the mapping given back below the read position
    qint64 m_releaseAt = 0;  // stream position from which on more can be given back
    qint64 m_pos = 0;
    TExtraObjects* m_extras;
    bool m_keepExtras;
    bool m_drawingMode = false;
    int m_pieceRead = 0;
    int m_pieceLength = 0;
    bool m_encrypted = false;
    uint8_t m_keyBase[5] = {};
    TRC4 m_rc4;
    qint64 m_block = -1;
    qint64 m_keyPos = 0;

    const char* here() const { return m_runData + (m_pos - m_runAt); }
    void setWhole(const QByteArray& data);
    void selectRun();
    void copyAt(qint64 pos, char* to, qint64 n) const;
    TExcelVersion openCompound(const QByteArray& file);
    TExcelVersion openPlain(const QByteArray& file);
    int readRaw(uint8_t* buf, int count);
    int readHeader(uint16_t& id, uint16_t& length);
    int readBody(uint8_t* buf, int count);
    void releaseReadPages();
    void loadBlockKey(qint64 block);
    void decryptAt(uint8_t* buf, int n, qint64 pos);
};

}

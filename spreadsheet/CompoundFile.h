#pragma once
// Read-only compound-file (structured storage) reader over a file's bytes: version 3 and 4
// sector sizes, FAT, DIFAT, mini FAT and the directory tree. Every sector id, chain and size is
// checked; a damaged file raises EXLSError in bounded time.
#include <QByteArray>
#include <QString>
#include <QVector>
#include <cstdint>

namespace xls {

// An uninitialized buffer of `size` bytes for data that is written once, in full, right after
// (a stream gathered from its sectors, the drawing group joined over its CONTINUE records): a
// large one has its pages mapped in one call, so filling it costs no page fault per 4 KB.
QByteArray LargeBuffer(qint64 size);
// Maps the pages of memory about to be written in one call (whole pages inside [p, p + n)).
void PrepareForWrite(char* p, qint64 n);

class TCompoundFile {
public:
    enum EntryType { etEmpty = 0, etStorage = 1, etStream = 2, etRoot = 5 };
    struct Entry {
        QString name;
        int type = etEmpty;
        uint32_t left = 0xFFFFFFFF, right = 0xFFFFFFFF, child = 0xFFFFFFFF;
        uint32_t start = 0;
        uint64_t size = 0;
    };

    static bool IsCompoundFile(const QByteArray& data);

    // Parses header, FAT, mini FAT and directory. The data is shared, not copied.
    void Open(const QByteArray& data);

    const QVector<Entry>& Entries() const { return m_entries; }
    // The children of a storage (0 = root) in directory-tree order.
    QVector<int> Children(int storage) const;
    // The stream's bytes; a stream stored in one run of sectors is a view into the file's
    // bytes, valid while those live.
    QByteArray ReadStream(int entry) const;
    // A piece of a stream that lies in consecutive sectors: `length` bytes from stream offset
    // `offset` on, at `data` in the file's bytes.
    struct Run {
        qint64 offset = 0;
        qint64 length = 0;
        const char* data = nullptr;
    };
    // A stream in regular sectors as its runs in stream order (checked as ReadStream checks
    // them), to be read in place while the file's bytes live; empty for a stream that lives in
    // the mini stream or has no bytes.
    QVector<Run> StreamRuns(int entry) const;
    int SectorSize() const { return 1 << m_sectorShift; }

private:
    QByteArray m_data;
    int m_sectorShift = 9;
    uint32_t m_sectorCount = 0;   // whole or partial sectors after the header
    QVector<uint32_t> m_fat;
    QVector<uint32_t> m_miniFat;
    QVector<Entry> m_entries;
    QByteArray m_miniStream;

    const uint8_t* sector(uint32_t id, qint64 need) const;
    QVector<uint32_t> chain(uint32_t start, const QVector<uint32_t>& table, uint32_t limit, qint64 maxLength) const;
    QVector<Run> chainRuns(uint32_t start, uint64_t size) const;
    QByteArray readChain(uint32_t start, uint64_t size) const;
};

}

#include "spreadsheet/Hyperlink.h"
#include "spreadsheet/FormulaHandler.h"
#include "spreadsheet/XLSUtils.h"

#include <cstring>

namespace xls {

namespace {

// The moniker classes as their 16 bytes on disk.
const uint8_t urlMoniker[16] = {0xE0, 0xC9, 0xEA, 0x79, 0xF9, 0xBA, 0xCE, 0x11, 0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B};
const uint8_t fileMoniker[16] = {0x03, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// UTF-16 characters with a closing NUL, which is dropped.
QString wide(const uint8_t* p, qint64 bytes)
{
    const int n = int(bytes / 2);
    QString s(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i) s[i] = QChar(GetWord(p + 2 * i));
    if (!s.isEmpty() && s.back() == QChar(0)) s.chop(1);
    return s;
}

struct Reader {
    const uint8_t* data;
    int length;
    int pos;
    uint32_t dword()
    {
        CheckRange(length, pos, 4);
        const uint32_t v = GetDWord(data + pos);
        pos += 4;
        return v;
    }
    uint16_t word()
    {
        CheckRange(length, pos, 2);
        const uint16_t v = GetWord(data + pos);
        pos += 2;
        return v;
    }
    void skip(qint64 n)
    {
        CheckRange(length, pos, n);
        pos += int(n);
    }
    // a 32-bit character count, then the characters
    QString counted()
    {
        const qint64 bytes = 2 * qint64(dword());
        CheckRange(length, pos, bytes);
        QString s = wide(data + pos, bytes);
        pos += int(bytes);
        return s;
    }
};

}   // namespace

void THyperlink::Read(const uint8_t* data, int length, TRecordSource& source)
{
    CheckRange(length, 0, 32);
    Row1 = GetWord(data);
    Row2 = GetWord(data + 2);
    Col1 = GetWord(data + 4);
    Col2 = GetWord(data + 6);
    Options = GetDWord(data + 28);
    const uint32_t o = Options;
    if (!(o & 0x160) && (o & 0x01) && (o & 0x02)) m_type = hltURL;
    else if (!(o & 0x160) && (o & 0x01)) m_type = hltFile;
    else if (!(o & 0x60) && (o & 0x01) && (o & 0x02) && (o & 0x100)) m_type = hltUNC;
    else if (o & 0x08) m_type = hltWorkbook;
    else m_type = hltUnknown;

    if (m_type == hltUnknown) {
        m_raw = QByteArray(reinterpret_cast<const char*>(data), length);
    } else {
        Reader r{data, length, 32};
        if (o & 0x10) m_description = r.counted();
        if (o & 0x80) m_frame = r.counted();
        m_encoding = m_type;
        if (m_type == hltURL || m_type == hltFile) {
            CheckRange(length, r.pos, 16);
            if (std::memcmp(data + r.pos, urlMoniker, 16) == 0) m_encoding = hltURL;
            else if (std::memcmp(data + r.pos, fileMoniker, 16) == 0) m_encoding = hltFile;
            r.pos += 16;
        }
        if (m_encoding == hltURL) {
            const uint32_t bytes = r.dword();
            CheckRange(length, r.pos, bytes);
            m_address = wide(data + r.pos, bytes);
            r.pos += int(bytes);
        } else if (m_encoding == hltFile) {
            const int up = r.word();
            const uint32_t ansiLength = r.dword();
            CheckRange(length, r.pos, ansiLength);
            QByteArray ansi(reinterpret_cast<const char*>(data + r.pos), ansiLength);
            if (ansi.endsWith('\0')) ansi.chop(1);
            r.pos += int(ansiLength);
            r.skip(24);
            const uint32_t size = r.dword();
            QString path;
            if (size != 0) {
                Reader part{data, length, r.pos};
                const uint32_t bytes = part.dword();
                part.skip(2);
                CheckRange(length, part.pos, bytes);
                path = wide(data + part.pos, bytes);
                r.skip(size);
            } else {
                path = AnsiCodec().toUnicode(ansi);
            }
            m_address = QStringLiteral("..\\").repeated(up) + path;
        } else if (m_encoding == hltUNC) {
            m_address = r.counted();
        }
        if (o & 0x08) {
            m_location = r.counted();
            if (m_type == hltWorkbook) m_address = m_location;
        }
    }
    if (source.PeekRecordId() == 0x0800) {
        uint16_t id;
        const QByteArray tip = source.ReadRecord(id);
        if (tip.size() > 10) m_toolTip = wide(reinterpret_cast<const uint8_t*>(tip.constData()) + 10, tip.size() - 10);
    }
}

void THyperlink::SetAddress(const QString& address)
{
    m_location.clear();
    static const char* const urls[] = {"http://", "https://", "www.", "ftp://", "mailto:"};
    m_type = hltFile;
    bool url = false;
    for (const char* u : urls)
        if (address.startsWith(QLatin1String(u), Qt::CaseInsensitive)) url = true;
    if (url) {
        m_type = hltURL;
    } else if (address.startsWith(QLatin1String("\\\\"))) {
        m_type = hltUNC;
    } else if (m_handler) {
        // a reference into the workbook when it compiles as one
        QByteArray tokens;
        int n = 0;
        try {
            n = m_handler->EncodeFormula(address, tokens, 255);
        } catch (const EXLSError&) {
            n = 0;
        }
        if (n > 0) {
            m_type = hltWorkbook;
            m_location = '#' + address;
        }
    }
    m_encoding = m_type;
    m_address = address;
    Changed = true;
}

THyperlink* THyperlinks::Items(int index) const
{
    if (index < 0 || index >= Count()) throw EXLSError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return m_items[size_t(index)].get();
}

THyperlink* THyperlinks::Add()
{
    m_items.push_back(std::make_unique<THyperlink>(m_nextId++, m_handler));
    return m_items.back().get();
}

void THyperlinks::Delete(int index)
{
    Items(index);
    m_items.erase(m_items.begin() + index);
}

void THyperlinks::ReadHLINK(TRecordSource& source, int length, const uint8_t* data)
{
    auto link = std::make_unique<THyperlink>(m_nextId, m_handler);
    link->Read(data, length, source);
    ++m_nextId;
    m_items.push_back(std::move(link));
}

}

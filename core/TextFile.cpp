#include "core/TextFile.h"

#include <QIODevice>
#include <QStringDecoder>

namespace core {

namespace {

// Windows-1252 where it differs from Latin-1 (0x80..0x9F).
const char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                                  0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                  0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

const QByteArrayView kBom("\xEF\xBB\xBF");

// The length of the part of data that ends with the last line end; a CR as the very last byte
// is left out unless the file ends there (an LF may follow it in the next piece).
qsizetype WholeLines(QByteArrayView data, bool atEnd)
{
    if (atEnd)
        return data.size();
    for (qsizetype i = data.size() - 1; i >= 0; --i) {
        if (data[i] == '\n')
            return i + 1;
        if (data[i] == '\r' && i + 1 < data.size())
            return i + 1;
    }
    return 0;
}

} // namespace

QString DecodeWindows1252(QByteArrayView data)
{
    QString text(data.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < data.size(); ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        out[i] = (b >= 0x80 && b < 0xA0) ? QChar(kCp1252High[b - 0x80]) : QChar(b);
    }
    return text;
}

QString DecodeTextFile(const QByteArray& bytes)
{
    QByteArrayView data(bytes);
    if (data.startsWith(kBom))
        data = data.sliced(3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(data);
    if (!utf8.hasError())
        return text;
    return DecodeWindows1252(data);
}

// ---- TextFileLineReader -----------------------------------------------------------------------

TextFileLineReader::TextFileLineReader(QIODevice& device, qint64 pieceSize)
    : m_device(device), m_pieceSize(pieceSize > 0 ? pieceSize : qint64(1) << 20)
{
    const qint64 start = device.pos();
    // First pass: is the whole file (after a byte-order mark) valid UTF-8? Pieces end after a
    // line end, where no UTF-8 sequence can be cut.
    QByteArray piece;
    bool first = true;
    while (ReadPiece(piece)) {
        QByteArrayView data(piece);
        if (first && data.startsWith(kBom))
            data = data.sliced(3);
        first = false;
        if (!data.isValidUtf8()) {
            m_utf8 = false;
            break;
        }
    }
    if (!m_error.isEmpty())
        return;
    m_carry.clear();
    m_atEnd = false;
    if (!device.seek(start)) {
        Fail();
        return;
    }
    // The byte-order mark is dropped whatever the encoding.
    const QByteArray head = device.peek(3);
    if (head == kBom)
        device.read(3);
}

bool TextFileLineReader::Fail()
{
    m_error = m_device.errorString();
    if (m_error.isEmpty())
        m_error = QStringLiteral("Lesefehler");
    m_atEnd = true;
    m_carry.clear();
    m_text.clear();
    m_pos = 0;
    return false;
}

bool TextFileLineReader::ReadPiece(QByteArray& piece)
{
    if (m_atEnd && m_carry.isEmpty())
        return false;
    piece = std::move(m_carry);
    m_carry = QByteArray();
    for (;;) {
        if (!m_atEnd) {
            const qsizetype had = piece.size();
            piece.resize(had + m_pieceSize);
            const qint64 got = m_device.read(piece.data() + had, m_pieceSize);
            if (got < 0)
                return Fail();
            piece.resize(had + got);
            if (got == 0)
                m_atEnd = true;
        }
        const qsizetype whole = WholeLines(piece, m_atEnd);
        if (whole > 0 || m_atEnd) {
            m_carry = piece.sliced(whole);
            piece.truncate(whole);
            return !piece.isEmpty() || !m_carry.isEmpty();
        }
        // A line longer than a piece: read on.
    }
}

bool TextFileLineReader::LoadText()
{
    QByteArray piece;
    while (ReadPiece(piece)) {
        if (piece.isEmpty())
            continue;
        m_text = m_utf8 ? QString::fromUtf8(piece) : DecodeWindows1252(piece);
        m_pos = 0;
        return true;
    }
    m_text.clear();
    m_pos = 0;
    return false;
}

bool TextFileLineReader::NextLine(QStringView& line)
{
    if (m_pos >= m_text.size() && !LoadText())
        return false;
    const qsizetype n = m_text.size();
    const QChar* d = m_text.constData();
    qsizetype e = m_pos;
    while (e < n && d[e] != QLatin1Char('\n') && d[e] != QLatin1Char('\r'))
        ++e;
    line = QStringView(d + m_pos, e - m_pos);
    if (e >= n)
        m_lineEnd = QLatin1StringView();
    else if (d[e] == QLatin1Char('\n'))
        m_lineEnd = QLatin1StringView("\n");
    else if (e + 1 < n && d[e + 1] == QLatin1Char('\n'))
        m_lineEnd = QLatin1StringView("\r\n");
    else
        m_lineEnd = QLatin1StringView("\r");
    if (e < n && d[e] == QLatin1Char('\r') && e + 1 < n && d[e + 1] == QLatin1Char('\n'))
        ++e;
    m_pos = e + 1;
    return true;
}

} // namespace core

#include "core/TextFile.h"

#include <QIODevice>
#include <QStringDecoder>
#include <stdexcept>

namespace core {

// The byte-order mark at the start of a file is taken off before decoding; a U+FEFF after it (or
// at the start of a later piece) is text and stays.
constexpr auto kKeepBom = QStringDecoder::Flag::ConvertInitialBom;

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

std::optional<TByteOrderMark> ByteOrderMark(QByteArrayView head)
{
    if (head.startsWith(kBom))
        return TByteOrderMark{TextEncoding::Utf8, 3};
    if (head.startsWith("\xFF\xFE"))
        return TByteOrderMark{TextEncoding::Utf16LE, 2};
    if (head.startsWith("\xFE\xFF"))
        return TByteOrderMark{TextEncoding::Utf16BE, 2};
    return std::nullopt;
}

QString DecodeTextFile(const QByteArray& bytes)
{
    QByteArrayView data(bytes);
    if (const auto bom = ByteOrderMark(data); bom && bom->encoding != TextEncoding::Utf8) {
        TextDecoder decoder(bom->encoding);
        QString text = decoder.Decode(data.sliced(bom->length));
        return text + decoder.Finish(); // in this order: Finish gives what Decode left
    }
    if (data.startsWith(kBom))
        data = data.sliced(3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | kKeepBom);
    QString text = utf8.decode(data);
    if (!utf8.hasError())
        return text;
    return DecodeWindows1252(data);
}

// ---- TextSniffer ----------------------------------------------------------------------------

namespace {

// What a byte is when the file is read as 8-bit text: 0 text, 1 NUL, 2 another control
// character, 3 a byte Windows-1252 leaves undefined.
struct ByteClasses {
    unsigned char of[256];
    constexpr ByteClasses() : of()
    {
        for (int b = 0; b < 32; ++b)
            of[b] = 2;
        of[0] = 1;
        of[9] = of[10] = of[12] = of[13] = 0;
        of[0x1A] = 0;  // the end-of-file mark some old programs write
        of[0x7F] = 2;
        of[0x81] = of[0x8D] = of[0x8F] = of[0x90] = of[0x9D] = 3;
    }
};
constexpr ByteClasses kByteClasses;

bool IsControl(char16_t c)
{
    return (c < 0x20 && c != 9 && c != 10 && c != 12 && c != 13 && c != 0x1A) || c == 0x7F;
}

} // namespace

void TextSniffer::Feed(QByteArrayView bytes)
{
    m_size += bytes.size();
    if (!m_started) {
        m_head.append(bytes);
        if (m_head.size() < 3)
            return;
        m_started = true;
        m_bom = ByteOrderMark(m_head);
        const QByteArray head = std::move(m_head);
        m_head = QByteArray();
        FeedText(QByteArrayView(head).sliced(m_bom ? m_bom->length : 0));
        return;
    }
    FeedText(bytes);
}

void TextSniffer::FeedText(QByteArrayView data)
{
    if (m_bom && m_bom->encoding != TextEncoding::Utf8) {
        if (!m_utf16)
            m_utf16.emplace(m_bom->encoding == TextEncoding::Utf16LE ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE, kKeepBom);
        const QString text = m_utf16->decode(data);
        m_chars += text.size();
        for (QChar c : text) {
            if (c.unicode() == 0)
                ++m_nul;
            else if (IsControl(c.unicode()))
                ++m_controls;
            else if (c.unicode() == 0xFFFD || c.unicode() == 0xFFFF)
                ++m_undefined;
        }
        return;
    }
    m_chars += data.size();
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    qint64 counts[4] = {0, 0, 0, 0};
    for (qsizetype i = 0; i < data.size(); ++i)
        ++counts[kByteClasses.of[p[i]]];
    m_nul += counts[1];
    m_controls += counts[2];
    m_undefined += counts[3];
    if (!m_utf8)
        return;
    // Valid UTF-8 up to an incomplete sequence at the end, which waits for the next piece.
    QByteArray joined = m_carry;
    joined.append(data);
    const qsizetype n = joined.size();
    qsizetype i = n;
    int continuation = 0;
    while (i > 0 && continuation < 3 && (static_cast<unsigned char>(joined[i - 1]) & 0xC0) == 0x80) {
        --i;
        ++continuation;
    }
    qsizetype cut = n;
    if (i > 0) {
        const auto lead = static_cast<unsigned char>(joined[i - 1]);
        const int need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (need > 1 && n - (i - 1) < need)
            cut = i - 1;
    }
    if (!QByteArrayView(joined).first(cut).isValidUtf8())
        m_utf8 = false;
    m_carry = joined.sliced(cut);
    if (m_carry.size() > 3)
        m_utf8 = false;
}

TTextFileKind TextSniffer::Finish()
{
    if (!m_started) {
        m_started = true;
        m_bom = ByteOrderMark(m_head);
        const QByteArray head = std::move(m_head);
        m_head = QByteArray();
        FeedText(QByteArrayView(head).sliced(m_bom ? m_bom->length : 0));
    }
    TTextFileKind kind;
    kind.size = m_size;
    kind.bomLength = m_bom ? m_bom->length : 0;
    if (m_bom && m_bom->encoding != TextEncoding::Utf8) {
        if (m_utf16 && m_utf16->hasError())
            ++m_undefined;
        kind.encoding = m_bom->encoding;
        kind.isText = m_nul == 0 && (m_controls + m_undefined) * 20 <= m_chars;
        return kind;
    }
    if (!m_carry.isEmpty())
        m_utf8 = false;
    kind.encoding = m_utf8 ? TextEncoding::Utf8 : TextEncoding::Windows1252;
    const qint64 bad = m_controls + (m_utf8 ? 0 : m_undefined);
    kind.isText = m_nul == 0 && bad * 20 <= m_chars;
    return kind;
}

// ---- TextDecoder ----------------------------------------------------------------------------

TextDecoder::TextDecoder(TextEncoding encoding) : m_encoding(encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        m_decoder.emplace(QStringDecoder::Utf8, kKeepBom);
        break;
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE:
    case TextEncoding::Windows1252:
        break;
    }
}

namespace {

// A surrogate without its partner becomes a replacement character (the UTF-16 decoder passes
// it through, and no later step can store it).
void ReplaceLoneSurrogates(QString& text)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
}

} // namespace

QString TextDecoder::Decode(QByteArrayView bytes)
{
    if (m_encoding == TextEncoding::Windows1252)
        return DecodeWindows1252(bytes);
    if (m_encoding == TextEncoding::Utf8)
        return m_decoder->decode(bytes);
    // UTF-16 by hand: the library's decoder keeps an odd last byte and a high surrogate at the
    // end to itself and never gives them out at the end of the file.
    const bool le = m_encoding == TextEncoding::Utf16LE;
    QString text;
    text.reserve((bytes.size() + 3) / 2);
    if (!m_pendingHigh.isNull()) {
        text += m_pendingHigh;
        m_pendingHigh = QChar();
    }
    qsizetype i = 0;
    auto unit = [le](uchar first, uchar second) { return QChar(le ? char16_t(first | second << 8) : char16_t(first << 8 | second)); };
    if (m_oddByte >= 0 && !bytes.isEmpty()) {
        text += unit(uchar(m_oddByte), uchar(bytes[0]));
        m_oddByte = -1;
        i = 1;
    }
    for (; i + 1 < bytes.size(); i += 2)
        text += unit(uchar(bytes[i]), uchar(bytes[i + 1]));
    if (i < bytes.size())
        m_oddByte = uchar(bytes[i]);
    // A high surrogate at the end waits for the next piece, which may start with its partner.
    if (!text.isEmpty() && text.back().isHighSurrogate()) {
        m_pendingHigh = text.back();
        text.chop(1);
    }
    ReplaceLoneSurrogates(text);
    return text;
}

QString TextDecoder::Finish()
{
    if (m_encoding == TextEncoding::Windows1252)
        return QString();
    // An incomplete sequence at the end comes out as a replacement character.
    if (m_encoding == TextEncoding::Utf8)
        return m_decoder->decode(QByteArrayView());
    QString text;
    if (!m_pendingHigh.isNull())
        text += QChar(QChar::ReplacementCharacter);
    if (m_oddByte >= 0)
        text += QChar(QChar::ReplacementCharacter);
    m_pendingHigh = QChar();
    m_oddByte = -1;
    return text;
}

// ---- TextFileReader -------------------------------------------------------------------------

TextFileReader::TextFileReader(QIODevice& device, qint64 pieceSize)
    : m_device(device), m_pieceSize(pieceSize > 0 ? pieceSize : qint64(256) << 10), m_start(device.pos())
{
}

TTextFileKind TextFileReader::Kind()
{
    if (!m_device.seek(m_start))
        throw std::runtime_error(m_device.errorString().toStdString());
    TextSniffer sniffer;
    QByteArray piece(m_pieceSize, Qt::Uninitialized);
    for (;;) {
        const qint64 got = m_device.read(piece.data(), m_pieceSize);
        if (got < 0)
            throw std::runtime_error(m_device.errorString().toStdString());
        if (got == 0)
            break;
        sniffer.Feed(QByteArrayView(piece.constData(), got));
        if (m_progress)
            m_progress();
    }
    if (!m_device.seek(m_start))
        throw std::runtime_error(m_device.errorString().toStdString());
    return sniffer.Finish();
}

void TextFileReader::Start(const TTextFileKind& kind)
{
    if (!m_device.seek(m_start + kind.bomLength))
        throw std::runtime_error(m_device.errorString().toStdString());
    m_decoder.emplace(kind.encoding);
    m_atEnd = false;
}

bool TextFileReader::Read(QString& text)
{
    if (!m_decoder)
        Start(TTextFileKind{});
    QByteArray piece(m_pieceSize, Qt::Uninitialized);
    while (!m_atEnd) {
        const qint64 got = m_device.read(piece.data(), m_pieceSize);
        if (got < 0)
            throw std::runtime_error(m_device.errorString().toStdString());
        if (got == 0) {
            m_atEnd = true;
            text = m_decoder->Finish();
            return !text.isEmpty();
        }
        text = m_decoder->Decode(QByteArrayView(piece.constData(), got));
        if (m_progress)
            m_progress();
        if (!text.isEmpty())
            return true;
    }
    return false;
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
        m_text = m_utf8 ? QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | kKeepBom).decode(piece)
                         : DecodeWindows1252(piece);
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

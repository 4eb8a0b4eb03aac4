#include "excreport/SivrelStream.h"
#include "excreport/SivrelTypes.h"
#include <cstring>

namespace excreport {

QByteArray SivrelScramble(QByteArray bytes)
{
    for (char& c : bytes)
        c = static_cast<char>(static_cast<uint8_t>(c) ^ SivrelStringKey);
    return bytes;
}

void TSivrelStream::ReadBuffer(void* dest, qsizetype count)
{
    if (count < 0 || count > Left())
        throw EReadError(QStringLiteral("Stream read error"));
    std::memcpy(dest, m_data.constData() + m_pos, static_cast<size_t>(count));
    m_pos += count;
}

QByteArray TSivrelStream::ReadBytes(qsizetype count)
{
    if (count < 0 || count > Left())
        throw EReadError(QStringLiteral("Stream read error"));
    QByteArray out = m_data.mid(m_pos, count);
    m_pos += count;
    return out;
}

void TSivrelStream::Skip(qsizetype count)
{
    if (count < 0 || count > Left())
        throw EReadError(QStringLiteral("Stream read error"));
    m_pos += count;
}

uint8_t TSivrelStream::ReadByte()
{
    uint8_t v;
    ReadBuffer(&v, 1);
    return v;
}

uint16_t TSivrelStream::ReadWord()
{
    uint8_t b[2];
    ReadBuffer(b, 2);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t TSivrelStream::ReadLongWord()
{
    uint8_t b[4];
    ReadBuffer(b, 4);
    return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
}

QString TSivrelStream::ReadScrambled()
{
    const uint32_t n = ReadLongWord();
    return QString::fromUtf8(SivrelScramble(ReadBytes(static_cast<qsizetype>(n))));
}

void TSivrelStream::WriteBuffer(const void* src, qsizetype count)
{
    m_data.append(static_cast<const char*>(src), count);
}

void TSivrelStream::WriteByte(uint8_t v)
{
    m_data.append(static_cast<char>(v));
}

void TSivrelStream::WriteWord(uint16_t v)
{
    WriteByte(static_cast<uint8_t>(v));
    WriteByte(static_cast<uint8_t>(v >> 8));
}

void TSivrelStream::WriteLongWord(uint32_t v)
{
    WriteWord(static_cast<uint16_t>(v));
    WriteWord(static_cast<uint16_t>(v >> 16));
}

void TSivrelStream::WriteScrambled(const QString& text)
{
    const QByteArray bytes = SivrelScramble(text.toUtf8());
    WriteLongWord(static_cast<uint32_t>(bytes.size()));
    m_data.append(bytes);
}

} // namespace excreport

#include "mailing/htmlparser/LumStreams.h"

#include <bit>
#include <cstring>

TLumFiler::TLumFiler(QIODevice* stream, int bufferSize)
    : fStream(stream), fBuffer(new quint8[bufferSize > 0 ? bufferSize : 1]),
      fBufSize(bufferSize > 0 ? bufferSize : 1)
{
}

// ---- reader

void TLumReader::ReadBuffer(void* target, qint64 length)
{
    quint8* out = static_cast<quint8*>(target);
    while (length > 0) {
        if (fBufPos >= fBufCount) {
            const qint64 got = fStream ? fStream->read(reinterpret_cast<char*>(fBuffer.get()), fBufSize) : -1;
            if (got <= 0)
                throw ELumStreamError(QStringLiteral("Stream read error"));
            fBufCount = int(got);
            fBufPos = 0;
        }
        const qint64 n = std::min<qint64>(length, fBufCount - fBufPos);
        std::memcpy(out, fBuffer.get() + fBufPos, size_t(n));
        fBufPos += int(n);
        out += n;
        length -= n;
    }
}

quint8 TLumReader::ReadByte()
{
    quint8 b;
    ReadBuffer(&b, 1);
    return b;
}

static void InvalidType()
{
    throw ELumStreamError(QStringLiteral("Invalid Element Type"));
}

quint32 TLumReader::ReadData(int count, quint32 start)
{
    quint32 v = start;
    for (int i = 0; i < count; ++i) {
        v &= ~(quint32(0xFF) << (8 * i));
        v |= quint32(ReadByte()) << (8 * i);
    }
    return v;
}

quint8 TLumReader::ReadByteElement()
{
    const quint8 t = ReadByte();
    if (t != 2 && t != 3)
        InvalidType();
    return ReadByte();
}

quint32 TLumReader::ReadUnsigned()
{
    const quint8 t = ReadByte();
    if (t < 2 || t > 12 || (t - 1) % 3 == 0)
        InvalidType();
    return ReadData((t + 2) / 3, 0);
}

qint32 TLumReader::ReadInteger()
{
    const quint8 t = ReadByte();
    if (t < 1 || t > 12)
        InvalidType();
    const bool negative = (t - 1) % 3 == 0;
    return qint32(ReadData((t + 2) / 3, negative ? 0xFFFFFFFFu : 0u));
}

QString TLumReader::ReadWideString()
{
    const quint8 t = ReadByte();
    if (t == 29 || t == 34)
        return QString();
    if (t >= 30 && t <= 33) {
        const quint32 len = ReadData(t - 29, 0);
        QByteArray bytes;
        bytes.resize(qsizetype(len));
        ReadBuffer(bytes.data(), len);
        // 8-bit text is read as UTF-8 when valid, otherwise as Latin-1
        QString s = QString::fromUtf8(bytes);
        if (s.contains(QChar::ReplacementCharacter) && !bytes.contains("\xEF\xBF\xBD"))
            s = QString::fromLatin1(bytes);
        return s;
    }
    if (t >= 35 && t <= 38) {
        const quint32 bytes = ReadData(t - 34, 0);
        QString s;
        s.resize(qsizetype(bytes / 2));
        ReadBuffer(s.data(), qint64(bytes / 2) * 2);
        if (bytes % 2)
            ReadByte(); // an odd byte count carries no whole unit
        return s;
    }
    InvalidType();
    return QString();
}

// ---- writer

TLumWriter::~TLumWriter()
{
    try {
        Flush();
    } catch (...) {
    }
}

void TLumWriter::WriteBuffer(const void* source, qint64 length)
{
    const quint8* in = static_cast<const quint8*>(source);
    while (length > 0) {
        if (fBufPos >= fBufSize)
            Flush();
        const qint64 n = std::min<qint64>(length, fBufSize - fBufPos);
        std::memcpy(fBuffer.get() + fBufPos, in, size_t(n));
        fBufPos += int(n);
        fBufCount = std::max(fBufCount, fBufPos);
        in += n;
        length -= n;
    }
}

void TLumWriter::Flush()
{
    const int n = fBufCount;
    fBufPos = 0;
    fBufCount = 0;
    if (n > 0 && (!fStream || fStream->write(reinterpret_cast<const char*>(fBuffer.get()), n) != n))
        throw ELumStreamError(QStringLiteral("Stream write error"));
}

void TLumWriter::WriteByte(quint8 b)
{
    WriteBuffer(&b, 1);
}

void TLumWriter::WriteByteElement(quint8 b)
{
    const quint8 data[2] = {3, b};
    WriteBuffer(data, 2);
}

namespace {

// Number of significant bits.
int BitCount(quint32 v)
{
    return 32 - std::countl_zero(v);
}

} // namespace

void TLumWriter::WriteUnsigned(quint32 v)
{
    const int b = BitCount(v);
    const int n = b == 0 ? 1 : (b + 7) / 8;
    quint8 data[5];
    data[0] = quint8(b == 8 * n ? 3 * n : 3 * n - 1);
    for (int i = 0; i < n; ++i)
        data[1 + i] = quint8(v >> (8 * i));
    WriteBuffer(data, 1 + n);
}

void TLumWriter::WriteInteger(qint32 v)
{
    if (v >= 0) {
        WriteUnsigned(quint32(v));
        return;
    }
    const int b = BitCount(~quint32(v));
    int n = 1;
    while (b > 8 * n - 1)
        ++n;
    quint8 data[5];
    data[0] = quint8(3 * n - 2);
    for (int i = 0; i < n; ++i)
        data[1 + i] = quint8(quint32(v) >> (8 * i));
    WriteBuffer(data, 1 + n);
}

void TLumWriter::WriteWideString(const QString& s)
{
    if (s.isEmpty()) {
        WriteByte(34);
        return;
    }
    const quint32 bytes = quint32(s.size()) * 2;
    const int n = (BitCount(bytes) + 7) / 8;
    quint8 head[5];
    head[0] = quint8(34 + n);
    for (int i = 0; i < n; ++i)
        head[1 + i] = quint8(bytes >> (8 * i));
    WriteBuffer(head, 1 + n);
    WriteBuffer(s.utf16(), bytes);
}

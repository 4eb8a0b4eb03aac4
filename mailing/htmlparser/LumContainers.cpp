#include "mailing/htmlparser/LumContainers.h"

#include <bit>
#include <cstring>

void TLumErrorObject::Error(const QString& text) const
{
    throw ELumContainerError(QStringLiteral("Class ") + QString::fromLatin1(ClassName()) + QStringLiteral(": ") + text);
}

void TLumErrorObject::Error(const char* format, qint64 number) const
{
    Error(QString::asprintf(format, int(number)));
}

namespace lum {

namespace {
int PowerAndQuarter(int n, int& q)
{
    const int p = int(std::bit_floor(unsigned(n)));
    q = p < 8 ? 2 : p / 4;
    return p;
}
} // namespace

int BlockCapacity(int n)
{
    if (n <= 0)
        return 0;
    int q;
    const int p = PowerAndQuarter(n, q);
    for (int k = 0; k <= 4; ++k)
        if (p + k * q >= n)
            return p + k * q;
    return p + 4 * q;
}

int ShrinkThreshold(int m)
{
    if (m <= 2)
        return m;
    int q;
    const int p = PowerAndQuarter(m - 1, q);
    const int d = m - q;
    for (int k = -1; k <= 2; ++k)
        if (p + k * q + 1 > d)
            return p + k * q + 1;
    return p + 3 * q + 1;
}

int HashCountFor(int n)
{
    if (n <= 3)
        return 3;
    return n + ((3 - n % 4) + 4) % 4;
}

} // namespace lum

void TLumContainer::LoadFromStream(QIODevice* stream, int flags)
{
    if (!stream)
        Error(QStringLiteral("Stream is nil"));
    TLumBinaryReader reader(stream, 4096);
    LoadFromReader(reader, flags);
}

void TLumContainer::SaveToStream(QIODevice* stream, int flags) const
{
    if (!stream)
        Error(QStringLiteral("Stream is nil"));
    TLumBinaryWriter writer(stream, 4096);
    SaveToWriter(writer, flags);
    writer.Flush();
}

void TLumContainer::ReadSignature(TLumReader& reader, int flags, const char* signature, int itemSize)
{
    if (flags & lfSignature) {
        char sig[4];
        reader.ReadBuffer(sig, 4);
        if (std::memcmp(sig, signature, 4) != 0)
            Error(QStringLiteral("Invalid stream format"));
    }
    if ((flags & lfVersion) && reader.ReadUnsigned() != 1)
        Error(QStringLiteral("Invalid stream format"));
    if (flags & lfHeader) {
        const int size = reader.ReadInteger();
        if (size != itemSize)
            Error("Invalid ItemSize (%d)", size);
    }
}

void TLumContainer::WriteSignature(TLumWriter& writer, int flags, const char* signature, int itemSize) const
{
    if (flags & lfSignature)
        writer.WriteBuffer(signature, 4);
    if (flags & lfVersion)
        writer.WriteUnsigned(1);
    if (flags & lfHeader)
        writer.WriteInteger(itemSize);
}

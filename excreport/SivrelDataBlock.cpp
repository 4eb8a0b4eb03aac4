#include "excreport/SivrelDataBlock.h"
#include "excreport/SivrelOptions.h"
#include "excreport/SivrelStream.h"
#include "excreport/SivrelTypes.h"
#include <QFile>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <unistd.h>
#include <zlib.h>

namespace excreport {

namespace {

// Options, L and the debug block from a payload; the options land in `options` only when all of
// it is sound.
bool ReadPayload(TSivrelStream& s, uint16_t version, TSivrelModuleOptions& options, QByteArray& debugInfo)
{
    TSivrelModuleOptions loaded(QString(), false);
    loaded.Assign(&options);
    try {
        loaded.LoadFromStream(s, version);
        const uint32_t length = s.ReadLongWord();
        if (length > static_cast<uint64_t>(s.Left()))
            return false;
        debugInfo = s.ReadBytes(static_cast<qsizetype>(length));
    } catch (const EReadError&) {
        return false;
    }
    options.Assign(&loaded);
    return true;
}

uint32_t Le32(const char* p)
{
    const auto* u = reinterpret_cast<const uint8_t*>(p);
    return uint32_t(u[0]) | (uint32_t(u[1]) << 8) | (uint32_t(u[2]) << 16) | (uint32_t(u[3]) << 24);
}

void Put32(QByteArray& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>(v >> (8 * i)));
}

QByteArray Header(uint16_t version)
{
    QByteArray out;
    out.append(static_cast<char>(version));
    out.append(static_cast<char>(version >> 8));
    out.append(8, '\0');
    return out;
}

} // namespace

QByteArray SivrelDeflate(const QByteArray& data)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    QByteArray out(static_cast<qsizetype>(size), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.constData()),
                  static_cast<uLong>(data.size()), Z_BEST_COMPRESSION) != Z_OK)
        return QByteArray();
    out.truncate(static_cast<qsizetype>(size));
    return out;
}

std::optional<QByteArray> SivrelInflate(const QByteArray& data, qsizetype limit)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return std::nullopt;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = static_cast<uInt>(data.size());
    // Inflate straight into the result, doubling it as needed (up to one byte beyond the limit,
    // which tells an oversized stream).
    QByteArray out(std::min<qsizetype>(std::max<qsizetype>(data.size() * 4, 4096), limit + 1), Qt::Uninitialized);
    qsizetype used = 0;
    int rc = Z_OK;
    for (;;) {
        if (used == out.size()) {
            if (out.size() > limit)
                break;
            out.resize(std::min<qsizetype>(out.size() * 2, limit + 1));
        }
        z.next_out = reinterpret_cast<Bytef*>(out.data() + used);
        z.avail_out = static_cast<uInt>(out.size() - used);
        const uInt before = z.avail_out;
        rc = inflate(&z, Z_NO_FLUSH);
        used += before - z.avail_out;
        if (rc == Z_STREAM_END || (rc != Z_OK && rc != Z_BUF_ERROR))
            break;
        if (z.avail_in == 0 && z.avail_out != 0) {
            rc = Z_DATA_ERROR; // input ended inside the stream
            break;
        }
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END || used > limit)
        return std::nullopt;
    out.truncate(used);
    return out;
}

bool SivrelReadResourceBlock(const QByteArray& resource, TSivrelModuleOptions& options, TSivrelDataInfo& info)
{
    if (resource.size() < 14 || Le32(resource.constData()) != SivrelDataMagic)
        return false;
    const auto* u = reinterpret_cast<const uint8_t*>(resource.constData());
    const uint16_t version = static_cast<uint16_t>(u[4] | (u[5] << 8));
    QByteArray payload = resource.mid(14);
    if (version >= 450) {
        const auto inflated = SivrelInflate(payload);
        if (!inflated || inflated->isEmpty())
            return false;
        payload = *inflated;
    }
    TSivrelStream s(payload);
    QByteArray debugInfo;
    if (!ReadPayload(s, version, options, debugInfo))
        return false;
    info.DataVersion = version;
    std::copy(u + 6, u + 14, info.Reserved.begin());
    info.DebugInfo = debugInfo;
    return true;
}

bool SivrelReadAppendedBlock(const QString& file, TSivrelModuleOptions& options, TSivrelDataInfo& info)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = f.size();
    if (size < 18 || !f.seek(size - 8))
        return false;
    const QByteArray tail = f.read(8);
    if (tail.size() != 8 || Le32(tail.constData() + 4) != SivrelDataMagic)
        return false;
    const uint32_t n = Le32(tail.constData());
    if (n < 10 || n > static_cast<uint64_t>(size - 8) || !f.seek(size - 8 - n))
        return false;
    const QByteArray block = f.read(n);
    if (block.size() != static_cast<qsizetype>(n))
        return false;
    const auto* u = reinterpret_cast<const uint8_t*>(block.constData());
    const uint16_t version = static_cast<uint16_t>(u[0] | (u[1] << 8));
    TSivrelStream s(block.mid(10));
    QByteArray debugInfo;
    if (!ReadPayload(s, version, options, debugInfo))
        return false;
    info.DataVersion = version;
    std::copy(u + 2, u + 10, info.Reserved.begin());
    info.DebugInfo = debugInfo;
    return true;
}

std::optional<QByteArray> SivrelReadElfSection(const QString& file, const char* name)
{
    if (elf_version(EV_CURRENT) == EV_NONE)
        return std::nullopt;
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<QByteArray> result;
    if (Elf* elf = elf_begin(fd, ELF_C_READ, nullptr)) {
        size_t names = 0;
        if (elf_kind(elf) == ELF_K_ELF && elf_getshdrstrndx(elf, &names) == 0) {
            for (Elf_Scn* scn = elf_nextscn(elf, nullptr); scn && !result; scn = elf_nextscn(elf, scn)) {
                GElf_Shdr shdr;
                if (!gelf_getshdr(scn, &shdr) || shdr.sh_type == SHT_NOBITS)
                    continue;
                const char* sectionName = elf_strptr(elf, names, shdr.sh_name);
                if (!sectionName || std::strcmp(sectionName, name) != 0)
                    continue;
                if (Elf_Data* data = elf_rawdata(scn, nullptr))
                    result = QByteArray(static_cast<const char*>(data->d_buf), static_cast<qsizetype>(data->d_size));
                else
                    result = QByteArray();
            }
        }
        elf_end(elf);
    }
    ::close(fd);
    return result;
}

bool SivrelLoadDataBlock(const QString& file, TSivrelModuleOptions& options, TSivrelDataInfo& info)
{
    if (const auto section = SivrelReadElfSection(file, SivrelDataSection))
        if (section->size() >= 4 && Le32(section->constData()) == SivrelDataMagic)
            return SivrelReadResourceBlock(*section, options, info);
    return SivrelReadAppendedBlock(file, options, info);
}

bool SivrelCarriesData(const QString& file)
{
    if (const auto section = SivrelReadElfSection(file, SivrelDataSection))
        if (section->size() >= 4 && Le32(section->constData()) == SivrelDataMagic)
            return true;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly) || f.size() < 4 || !f.seek(f.size() - 4))
        return false;
    const QByteArray magic = f.read(4);
    return magic.size() == 4 && Le32(magic.constData()) == SivrelDataMagic;
}

QByteArray SivrelMakeResourceBlock(uint16_t version, const QByteArray& options, const QByteArray& debugInfo)
{
    QByteArray payload = options;
    Put32(payload, static_cast<uint32_t>(debugInfo.size()));
    payload += debugInfo;
    QByteArray out;
    Put32(out, SivrelDataMagic);
    out += Header(version);
    out += version >= 450 ? SivrelDeflate(payload) : payload;
    return out;
}

QByteArray SivrelMakeAppendedBlock(uint16_t version, const QByteArray& options, const QByteArray& debugInfo)
{
    QByteArray block = Header(version) + options;
    Put32(block, static_cast<uint32_t>(debugInfo.size()));
    block += debugInfo;
    const uint32_t n = static_cast<uint32_t>(block.size());
    Put32(block, n);
    Put32(block, SivrelDataMagic);
    return block;
}

} // namespace excreport

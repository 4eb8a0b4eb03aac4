#include "excreport/SivrelDataBlock.h"
#include "excreport/SivrelOptions.h"
#include "excreport/SivrelStream.h"
#include "excreport/SivrelTypes.h"
#include <QFile>
#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <new>
#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <sys/stat.h>
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

// Inflates a zlib stream that lies in memory or in a file, piece by piece.
class TInflater {
public:
    // Running out of memory throws std::bad_alloc (the data may be sound).
    TInflater(const char* data, qsizetype size) : m_data(data), m_left(size) { Init(); }
    TInflater(int fd, qint64 offset, qint64 size)
        : m_fd(fd), m_at(offset), m_left(size), m_in(std::make_unique<char[]>(InputPiece))
    {
        Init();
    }
    ~TInflater()
    {
        if (m_ok)
            inflateEnd(&m_z);
    }
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;

    // Up to n bytes into dest; fewer at the stream's end or where it is damaged or cut.
    qsizetype Read(char* dest, qsizetype n)
    {
        qsizetype got = 0;
        while (got < n && m_ok && !m_ended) {
            if (m_z.avail_in == 0 && !Refill()) {
                m_ok = false; // the input ends inside the stream
                break;
            }
            m_z.next_out = reinterpret_cast<Bytef*>(dest + got);
            m_z.avail_out = static_cast<uInt>(std::min<qsizetype>(n - got, UINT_MAX));
            const uInt before = m_z.avail_out;
            const int rc = inflate(&m_z, Z_NO_FLUSH);
            got += before - m_z.avail_out;
            if (rc == Z_MEM_ERROR)
                throw std::bad_alloc();
            if (rc == Z_STREAM_END)
                m_ended = true;
            else if (rc != Z_OK && !(rc == Z_BUF_ERROR && m_z.avail_in == 0))
                m_ok = false;
        }
        return got;
    }
    bool Skip(qsizetype n)
    {
        char scratch[16384];
        while (n > 0) {
            const qsizetype step = std::min<qsizetype>(n, sizeof scratch);
            if (Read(scratch, step) != step)
                return false;
            n -= step;
        }
        return true;
    }
    bool Ended() const { return m_ended; }

private:
    void Init()
    {
        const int rc = inflateInit(&m_z);
        if (rc == Z_MEM_ERROR)
            throw std::bad_alloc();
        m_ok = rc == Z_OK;
    }
    bool Refill()
    {
        if (m_left <= 0)
            return false;
        if (m_fd < 0) {
            m_z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(m_data));
            m_z.avail_in = static_cast<uInt>(std::min<qsizetype>(m_left, UINT_MAX));
            m_data += m_z.avail_in;
            m_left -= m_z.avail_in;
            return true;
        }
        const ssize_t n = ::pread(m_fd, m_in.get(), static_cast<size_t>(std::min<qint64>(m_left, InputPiece)), m_at);
        if (n <= 0)
            return false;
        m_at += n;
        m_left -= n;
        m_z.next_in = reinterpret_cast<Bytef*>(m_in.get());
        m_z.avail_in = static_cast<uInt>(n);
        return true;
    }

    z_stream m_z{};
    bool m_ok = false;
    bool m_ended = false;
    const char* m_data = nullptr;
    int m_fd = -1;
    qint64 m_at = 0;
    qint64 m_left = 0;
    static constexpr qint64 InputPiece = 65536;
    std::unique_ptr<char[]> m_in; // file input, read a piece at a time
};

// The head of a compressed payload: the options (into `options` only when they are sound) and
// the debug block's length L; `at` is where the block starts. Inflates a little at first and more
// only while the options are cut off.
bool InflateHead(TInflater& z, uint16_t version, TSivrelModuleOptions& options, qsizetype& at, uint32_t& length)
{
    QByteArray head;
    qsizetype want = 4096;
    for (;;) {
        const qsizetype before = head.size();
        head.resize(want);
        head.truncate(before + z.Read(head.data() + before, want - before));
        TSivrelModuleOptions loaded(QString(), false);
        loaded.Assign(&options);
        try {
            TSivrelStream s(head);
            loaded.LoadFromStream(s, version);
            length = s.ReadLongWord();
            at = s.Position();
            options.Assign(&loaded);
            return true;
        } catch (const EReadError&) {
        }
        if (head.size() < want || want > SivrelMaxInflatedSize)
            return false;
        want = std::min<qsizetype>(want * 4, SivrelMaxInflatedSize + 1);
    }
}

// The debug block of a compressed payload: `skip` bytes, then `length` bytes; the rest of the
// stream must end within the size limit.
std::optional<QByteArray> InflateDebug(TInflater& z, qsizetype skip, uint32_t length)
{
    qsizetype total = skip + static_cast<qsizetype>(length);
    if (total > SivrelMaxInflatedSize || !z.Skip(skip))
        return std::nullopt;
    QByteArray block(static_cast<qsizetype>(length), Qt::Uninitialized);
    if (z.Read(block.data(), block.size()) != block.size())
        return std::nullopt;
    char scratch[4096];
    while (!z.Ended()) {
        const qsizetype got = z.Read(scratch, sizeof scratch);
        total += got;
        if (got == 0 || total > SivrelMaxInflatedSize)
            return std::nullopt;
    }
    return block;
}

// Where an ELF file's section lies: offset and size, nothing when it has none (or is no ELF file).
std::optional<std::pair<qint64, qint64>> SectionPlace(int fd, const char* name)
{
    if (elf_version(EV_CURRENT) == EV_NONE)
        return std::nullopt;
    std::optional<std::pair<qint64, qint64>> result;
    if (Elf* elf = elf_begin(fd, ELF_C_READ, nullptr)) {
        size_t names = 0;
        if (elf_kind(elf) == ELF_K_ELF && elf_getshdrstrndx(elf, &names) == 0) {
            for (Elf_Scn* scn = elf_nextscn(elf, nullptr); scn && !result; scn = elf_nextscn(elf, scn)) {
                GElf_Shdr shdr;
                if (!gelf_getshdr(scn, &shdr) || shdr.sh_type == SHT_NOBITS)
                    continue;
                const char* sectionName = elf_strptr(elf, names, shdr.sh_name);
                if (sectionName && std::strcmp(sectionName, name) == 0)
                    result = std::make_pair(static_cast<qint64>(shdr.sh_offset), static_cast<qint64>(shdr.sh_size));
            }
        }
        elf_end(elf);
    }
    return result;
}

QByteArray ReadAt(int fd, qint64 offset, qint64 size)
{
    QByteArray out(static_cast<qsizetype>(size), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < out.size()) {
        const ssize_t n = ::pread(fd, out.data() + got, static_cast<size_t>(out.size() - got), offset + got);
        if (n <= 0)
            break;
        got += n;
    }
    out.truncate(got);
    return out;
}

} // namespace

struct TSivrelDebugSource::Impl {
    int fd = -1;
    qint64 offset = 0, size = 0;
    qsizetype skip = 0;
    uint32_t length = 0;
    int version = 467;
    std::once_flag once;
    std::optional<TLoaded> loaded;
    ~Impl()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

const TSivrelDebugSource::TLoaded* TSivrelDebugSource::Get() const
{
    if (!d)
        return nullptr;
    Impl& impl = *d;
    // Without the memory for it (a report after the memory ran out) the block is none this time:
    // the report goes on without lines, and a later one tries again.
    try {
        ReadOnce(impl);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return impl.loaded ? &*impl.loaded : nullptr;
}

void TSivrelDebugSource::ReadOnce(Impl& impl)
{
    std::call_once(impl.once, [&impl] {
        if (impl.fd < 0)
            return;
        TInflater z(impl.fd, impl.offset, impl.size);
        if (auto block = InflateDebug(z, impl.skip, impl.length)) {
            TSivrelUnitIndex index = SivrelIndexUnits(*block, impl.version);
            impl.loaded = TLoaded{std::move(*block), std::move(index)};
        }
        ::close(impl.fd);
        impl.fd = -1;
    });
}

TSivrelDebugSource TSivrelDebugSource::FromBytes(QByteArray block, int dataVersion)
{
    TSivrelDebugSource source;
    source.d = std::make_shared<Impl>();
    source.d->version = dataVersion;
    TSivrelUnitIndex index = SivrelIndexUnits(block, dataVersion);
    source.d->loaded = TLoaded{std::move(block), std::move(index)};
    return source;
}

TSivrelDebugSource TSivrelDebugSource::FromFile(int fd, qint64 offset, qint64 size, qsizetype skip, uint32_t length,
                                                int dataVersion)
{
    TSivrelDebugSource source;
    source.d = std::make_shared<Impl>();
    source.d->fd = fd;
    source.d->offset = offset;
    source.d->size = size;
    source.d->skip = skip;
    source.d->length = length;
    source.d->version = dataVersion;
    return source;
}

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
    QByteArray debugInfo;
    if (version >= 450) {
        TSivrelModuleOptions loaded(QString(), false);
        loaded.Assign(&options);
        qsizetype at = 0;
        uint32_t length = 0;
        {
            TInflater z(resource.constData() + 14, resource.size() - 14);
            if (!InflateHead(z, version, loaded, at, length))
                return false;
        }
        TInflater z(resource.constData() + 14, resource.size() - 14);
        auto block = InflateDebug(z, at, length);
        if (!block)
            return false;
        options.Assign(&loaded);
        debugInfo = std::move(*block);
    } else {
        TSivrelStream s(resource.mid(14));
        if (!ReadPayload(s, version, options, debugInfo))
            return false;
    }
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
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<QByteArray> result;
    if (const auto place = SectionPlace(fd, name))
        result = ReadAt(fd, place->first, place->second);
    ::close(fd);
    return result;
}

bool SivrelOpenDataBlock(const QString& file, TSivrelModuleOptions& options, TSivrelDataInfo& info,
                         TSivrelDebugSource& debug)
{
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (const auto place = SectionPlace(fd, SivrelDataSection)) {
        const auto [offset, size] = *place;
        const QByteArray head = ReadAt(fd, offset, std::min<qint64>(size, 14));
        if (head.size() >= 4 && Le32(head.constData()) == SivrelDataMagic) {
            const auto* u = reinterpret_cast<const uint8_t*>(head.constData());
            const uint16_t version = head.size() == 14 ? static_cast<uint16_t>(u[4] | (u[5] << 8)) : 0;
            if (version >= 450) {
                TInflater z(fd, offset + 14, size - 14);
                qsizetype at = 0;
                uint32_t length = 0;
                if (!InflateHead(z, version, options, at, length)) {
                    ::close(fd);
                    return false;
                }
                info.DataVersion = version;
                std::copy(u + 6, u + 14, info.Reserved.begin());
                info.DebugInfo.reset();
                debug = TSivrelDebugSource::FromFile(fd, offset + 14, size - 14, at, length, version);
                return true;
            }
            // Uncompressed (and cut) blocks are read whole.
            const QByteArray section = ReadAt(fd, offset, size);
            ::close(fd);
            if (!SivrelReadResourceBlock(section, options, info))
                return false;
            debug = TSivrelDebugSource::FromBytes(*info.DebugInfo, info.DataVersion);
            info.DebugInfo.reset();
            return true;
        }
    }
    ::close(fd);
    if (!SivrelReadAppendedBlock(file, options, info))
        return false;
    debug = TSivrelDebugSource::FromBytes(*info.DebugInfo, info.DataVersion);
    info.DebugInfo.reset();
    return true;
}

bool SivrelLoadDataBlock(const QString& file, TSivrelModuleOptions& options, TSivrelDataInfo& info)
{
    TSivrelModuleOptions loaded(QString(), false);
    loaded.Assign(&options);
    TSivrelDataInfo opened;
    TSivrelDebugSource debug;
    if (!SivrelOpenDataBlock(file, loaded, opened, debug))
        return false;
    const TSivrelDebugSource::TLoaded* block = debug.Get();
    if (!block)
        return false;
    options.Assign(&loaded);
    info.DataVersion = opened.DataVersion;
    info.Reserved = opened.Reserved;
    info.DebugInfo = block->Block;
    return true;
}

bool SivrelCarriesData(const QString& file)
{
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool carries = false;
    if (const auto place = SectionPlace(fd, SivrelDataSection)) {
        const QByteArray magic = ReadAt(fd, place->first, std::min<qint64>(place->second, 4));
        carries = magic.size() == 4 && Le32(magic.constData()) == SivrelDataMagic;
    }
    if (!carries) {
        const struct stat st = [fd] {
            struct stat out {};
            ::fstat(fd, &out);
            return out;
        }();
        const QByteArray magic = st.st_size >= 4 ? ReadAt(fd, st.st_size - 4, 4) : QByteArray();
        carries = magic.size() == 4 && Le32(magic.constData()) == SivrelDataMagic;
    }
    ::close(fd);
    return carries;
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

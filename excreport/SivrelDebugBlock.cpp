#include "excreport/SivrelDebugBlock.h"
#include "excreport/SivrelStream.h"
#include <QByteArrayView>
#include <algorithm>

namespace excreport {

namespace {

// Bounded reader: every read checks the bytes left and sets ok to false when they run out.
struct Cursor {
    const uint8_t* p;
    size_t left;
    bool ok = true;

    bool Need(size_t n)
    {
        if (!ok || n > left)
            ok = false;
        return ok;
    }
    uint8_t U8()
    {
        if (!Need(1))
            return 0;
        --left;
        return *p++;
    }
    uint16_t U16()
    {
        if (!Need(2))
            return 0;
        const uint16_t v = static_cast<uint16_t>(p[0] | (p[1] << 8));
        p += 2;
        left -= 2;
        return v;
    }
    uint32_t U32()
    {
        if (!Need(4))
            return 0;
        const uint32_t v = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
        p += 4;
        left -= 4;
        return v;
    }
    void Skip(size_t n)
    {
        if (Need(n)) {
            p += n;
            left -= n;
        }
    }
    // The raw bytes of an xstr, still scrambled.
    QByteArrayView RawXStr()
    {
        const uint8_t n = U8();
        if (!Need(n))
            return QByteArrayView();
        QByteArrayView v(p, n);
        p += n;
        left -= n;
        return v;
    }
    QString XStr()
    {
        const uint8_t n = U8();
        if (!Need(n))
            return QString();
        QByteArray bytes(reinterpret_cast<const char*>(p), n);
        p += n;
        left -= n;
        return QString::fromUtf8(SivrelScramble(bytes));
    }
};

bool SkipNameTable(Cursor& c, int version)
{
    if (version >= 405)
        c.Skip(c.U32());
    return c.ok;
}

struct Entry {
    int32_t lineDelta = 0;
    uint32_t addressDelta = 0;
    bool named = false;
    QByteArrayView name; // still scrambled: names are decoded only for the entry that is hit
};

bool ReadEntry(Cursor& c, int version, Entry& e)
{
    const uint8_t b = c.U8();
    if (!c.ok)
        return false;
    if ((b & 1) == 0) {
        e.lineDelta = ((b >> 6) & 3) + 1;
        e.addressDelta = ((b >> 1) & 0x1F) + 1;
        e.named = false;
    } else if ((b & 2) == 0) {
        e.lineDelta = ((b >> 5) & 7) + 1;
        e.addressDelta = ((b >> 2) & 7) + 1;
        e.named = true;
    } else if ((b & 8) == 0) {
        const uint16_t w = static_cast<uint16_t>(b | (c.U8() << 8));
        e.lineDelta = ((w >> 11) & 0x1F) + 1;
        e.addressDelta = ((w >> 4) & 0x7F) + 1;
        e.named = (b & 4) != 0;
    } else {
        const uint32_t hi = uint32_t(c.U8()) | (uint32_t(c.U8()) << 8) | (uint32_t(c.U8()) << 16);
        const uint32_t d = b | (hi << 8);
        e.named = (b & 4) != 0;
        if (version >= 423 && (d >> 4) == 0x0FFEFFFEu) {
            e.lineDelta = static_cast<int16_t>(c.U16()) + 1;
            e.addressDelta = uint32_t(c.U16()) + 1;
        } else {
            e.lineDelta = static_cast<int16_t>(static_cast<uint16_t>(((d >> 4) & 0xFFFF) + 1));
            const uint32_t bits = d >> 20;
            e.addressDelta = bits == 0xFFF ? 0 : bits + 1;
        }
    }
    e.name = e.named ? c.RawXStr() : QByteArrayView();
    return c.ok;
}

QString Decode(QByteArrayView raw)
{
    return QString::fromUtf8(SivrelScramble(raw.toByteArray()));
}

QString RoutineName(QByteArrayView raw)
{
    QString name = Decode(raw);
    if (name.startsWith(u'@'))
        name[0] = u'_';
    return name;
}

constexpr char ScrambledDot = static_cast<char>('.' ^ SivrelStringKey);

} // namespace

namespace {

struct UnitHeader {
    QByteArrayView rawName;
    int32_t firstLine = 0;
    uint64_t offset = 0, size = 0;
    uint32_t dataLength = 0;
};

// Reads a unit's header and checks that its line data is there (the cursor stays before it).
bool ReadUnitHeader(Cursor& c, UnitHeader& u)
{
    u.rawName = c.RawXStr();
    u.firstLine = static_cast<int32_t>(c.U32());
    u.offset = c.U32();
    u.size = c.U32();
    u.dataLength = c.U32();
    return c.Need(u.dataLength);
}

// The line of the target in one unit whose range holds it; NotFound when its entries end first.
TSivrelLookup FindInUnit(const UnitHeader& u, const uint8_t* lineData, int version, uint64_t target,
                         TSivrelLineInfo& info)
{
    Cursor data{lineData, u.dataLength};
    int64_t line = u.firstLine;
    uint64_t current = u.offset;
    QByteArrayView cls, rememberedClass, routine;
    auto hitIn = [&](uint64_t first, uint64_t last) {
        if (target < first || target > last)
            return false;
        // The unit's name is only decoded for the unit that holds the offset.
        info.UnitName = Decode(u.rawName);
        if (!info.UnitName.contains(u'.'))
            info.UnitName += QStringLiteral(".pas");
        info.ClassName = Decode(cls);
        info.ProcedureName = RoutineName(routine);
        info.Line = static_cast<int32_t>(line);
        return true;
    };
    while (data.left > 0 && current <= target) {
        Entry e;
        if (!ReadEntry(data, version, e))
            return TSivrelLookup::Unreadable;
        QByteArrayView nameClass, nameRoutine;
        if (e.named) {
            if (e.name.startsWith(ScrambledDot)) {
                nameClass = rememberedClass;
                nameRoutine = e.name.sliced(1);
            } else {
                const qsizetype dot = e.name.indexOf(ScrambledDot);
                nameClass = dot < 0 ? QByteArrayView() : e.name.first(dot);
                nameRoutine = dot < 0 ? e.name : e.name.sliced(dot + 1);
            }
            if (!nameClass.isEmpty())
                rememberedClass = nameClass;
            // The class goes with the routine it names: the first name of a unit names its own
            // range, later names the ranges after their entry.
            if (routine.isEmpty()) {
                cls = nameClass;
                routine = nameRoutine;
            }
        }
        if (e.addressDelta > 0 && hitIn(current, current + e.addressDelta - 1))
            return TSivrelLookup::Found;
        if (e.named) {
            cls = nameClass;
            routine = nameRoutine;
        }
        line += e.lineDelta;
        current += e.addressDelta;
    }
    if (data.left == 0 && hitIn(current, u.offset + u.size - 1))
        return TSivrelLookup::Found;
    return TSivrelLookup::NotFound;
}

} // namespace

TSivrelUnitIndex SivrelIndexUnits(const QByteArray& block, int version)
{
    TSivrelUnitIndex index;
    const auto* begin = reinterpret_cast<const uint8_t*>(block.constData());
    Cursor c{begin, static_cast<size_t>(block.size())};
    if (!SkipNameTable(c, version))
        return index;
    const uint32_t unitCount = c.U32();
    if (!c.ok)
        return index;
    for (uint32_t n = 0; n < unitCount; ++n) {
        const uint32_t header = static_cast<uint32_t>(c.p - begin);
        UnitHeader u;
        if (!ReadUnitHeader(c, u)) {
            index.Units.clear();
            return index;
        }
        c.Skip(u.dataLength);
        if (u.size > 0)
            index.Units.push_back({static_cast<uint32_t>(u.offset), static_cast<uint32_t>(u.size), header});
    }
    std::stable_sort(index.Units.begin(), index.Units.end(),
                     [](const auto& a, const auto& b) { return a.Offset < b.Offset; });
    for (size_t i = 1; i < index.Units.size(); ++i)
        if (uint64_t(index.Units[i - 1].Offset) + index.Units[i - 1].Size > index.Units[i].Offset) {
            index.Units.clear();
            return index;
        }
    index.Usable = true;
    return index;
}

TSivrelLookup SivrelFindLine(const QByteArray& block, int version, uint64_t target, TSivrelLineInfo& info,
                             const TSivrelUnitIndex* index)
{
    const auto* begin = reinterpret_cast<const uint8_t*>(block.constData());
    if (index && index->Usable) {
        const auto it = std::upper_bound(index->Units.begin(), index->Units.end(), target,
                                         [](uint64_t t, const auto& u) { return t < u.Offset; });
        if (it == index->Units.begin() || target - std::prev(it)->Offset >= std::prev(it)->Size)
            return TSivrelLookup::NotFound;
        Cursor c{begin + std::prev(it)->Header, static_cast<size_t>(block.size()) - std::prev(it)->Header};
        UnitHeader u;
        if (!ReadUnitHeader(c, u))
            return TSivrelLookup::Unreadable;
        return FindInUnit(u, c.p, version, target, info);
    }
    Cursor c{begin, static_cast<size_t>(block.size())};
    if (!SkipNameTable(c, version))
        return TSivrelLookup::Unreadable;
    const uint32_t unitCount = c.U32();
    for (uint32_t n = 0; c.ok && n < unitCount; ++n) {
        UnitHeader u;
        if (!ReadUnitHeader(c, u))
            break;
        if (target >= u.offset && target - u.offset < u.size) {
            const TSivrelLookup result = FindInUnit(u, c.p, version, target, info);
            if (result != TSivrelLookup::NotFound)
                return result;
        }
        c.Skip(u.dataLength);
    }
    return c.ok ? TSivrelLookup::NotFound : TSivrelLookup::Unreadable;
}

std::optional<uint32_t> SivrelFindName(const QByteArray& block, int version, const QString& qualifiedName)
{
    if (version < 405)
        return std::nullopt;
    Cursor c{reinterpret_cast<const uint8_t*>(block.constData()), static_cast<size_t>(block.size())};
    const uint32_t length = c.U32();
    if (!c.Need(length))
        return std::nullopt;
    Cursor table{c.p, length};
    while (table.left > 0) {
        const QString name = table.XStr();
        const uint32_t offset = table.U32();
        table.U32();
        if (!table.ok)
            return std::nullopt;
        if (name == qualifiedName)
            return offset;
    }
    return std::nullopt;
}

// ------------------------------------------------------------------ writer

QByteArray SivrelShortString(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.size() > 255) {
        // Cut on a character boundary.
        qsizetype n = 255;
        while (n > 0 && (static_cast<uint8_t>(bytes[n]) & 0xC0) == 0x80)
            --n;
        bytes.truncate(n);
    }
    QByteArray out(1, static_cast<char>(bytes.size()));
    out += SivrelScramble(bytes);
    return out;
}

namespace {

void Put32(QByteArray& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>(v >> (8 * i)));
}

void Put16(QByteArray& out, uint16_t v)
{
    out.append(static_cast<char>(v));
    out.append(static_cast<char>(v >> 8));
}

} // namespace

TSivrelDebugBlockWriter::TSivrelDebugBlockWriter(int dataVersion) : m_version(dataVersion) {}

void TSivrelDebugBlockWriter::AddName(const QString& qualifiedName, uint32_t codeOffset)
{
    m_names += SivrelShortString(qualifiedName);
    Put32(m_names, codeOffset);
    Put32(m_names, 0);
}

void TSivrelDebugBlockWriter::BeginUnit(const QString& unitName, int32_t firstLine, uint32_t codeOffset,
                                        uint32_t size)
{
    EndUnit();
    m_unitHeader = SivrelShortString(unitName);
    Put32(m_unitHeader, static_cast<uint32_t>(firstLine));
    Put32(m_unitHeader, codeOffset);
    Put32(m_unitHeader, size);
    m_lineData.clear();
    m_inUnit = true;
}

void TSivrelDebugBlockWriter::EndUnit()
{
    if (!m_inUnit)
        return;
    m_units += m_unitHeader;
    Put32(m_units, static_cast<uint32_t>(m_lineData.size()));
    m_units += m_lineData;
    ++m_unitCount;
    m_inUnit = false;
}

void TSivrelDebugBlockWriter::AddEntry(int64_t lineDelta, uint64_t addressDelta, const QString& name)
{
    // Steps that no single entry holds are split: first the address in steps with no line change,
    // then the line in steps of no address; the name goes on the last piece.
    const QByteArray nameBytes = name.isEmpty() ? QByteArray() : SivrelShortString(name);
    const uint64_t maxAddress = m_version >= 423 ? 0x10000 : 0xFFF;
    while (addressDelta > maxAddress) {
        WriteEntry(0, static_cast<uint32_t>(maxAddress), QByteArray());
        addressDelta -= maxAddress;
    }
    if (lineDelta > 32767 || lineDelta < -32767) {
        if (addressDelta > 0)
            WriteEntry(0, static_cast<uint32_t>(addressDelta), QByteArray());
        addressDelta = 0;
        while (lineDelta > 32767 || lineDelta < -32767) {
            const int32_t step = lineDelta > 0 ? 32767 : -32767;
            WriteEntry(step, 0, QByteArray());
            lineDelta -= step;
        }
    }
    WriteEntry(static_cast<int32_t>(lineDelta), static_cast<uint32_t>(addressDelta), nameBytes);
}

void TSivrelDebugBlockWriter::WriteEntry(int32_t ld, uint32_t ad, const QByteArray& name)
{
    const bool named = !name.isEmpty();
    if (!named && ld >= 1 && ld <= 4 && ad >= 1 && ad <= 32) {
        m_lineData.append(static_cast<char>(((ld - 1) << 6) | ((ad - 1) << 1)));
    } else if (named && ld >= 1 && ld <= 8 && ad >= 1 && ad <= 8) {
        m_lineData.append(static_cast<char>(((ld - 1) << 5) | ((ad - 1) << 2) | 1));
    } else if (ld >= 1 && ld <= 32 && ad >= 1 && ad <= 128) {
        Put16(m_lineData, static_cast<uint16_t>(((ld - 1) << 11) | ((ad - 1) << 4) | (named ? 4 : 0) | 3));
    } else {
        const uint32_t lineBits = static_cast<uint16_t>(ld - 1);
        const uint32_t addressBits = ad == 0 ? 0xFFF : ad - 1;
        const bool fitsLong = ad <= 0xFFF && ld >= -32768 && ld <= 32767;
        const uint32_t d = (addressBits << 20) | (lineBits << 4) | (named ? 4 : 0) | 0xB;
        const bool looksLikeEscape = ((d >> 4) == 0x0FFEFFFEu);
        if (fitsLong && !(looksLikeEscape && m_version >= 423)) {
            Put32(m_lineData, d);
        } else {
            // Escape: a marker and the two deltas in 16 bits each.
            Put32(m_lineData, (0x0FFEFFFEu << 4) | (named ? 4 : 0) | 0xB);
            Put16(m_lineData, static_cast<uint16_t>(ld - 1));
            Put16(m_lineData, static_cast<uint16_t>(ad - 1));
        }
    }
    m_lineData += name;
}

QByteArray TSivrelDebugBlockWriter::Finish()
{
    EndUnit();
    QByteArray out;
    if (m_version >= 405) {
        Put32(out, static_cast<uint32_t>(m_names.size()));
        out += m_names;
    }
    Put32(out, m_unitCount);
    out += m_units;
    return out;
}

} // namespace excreport

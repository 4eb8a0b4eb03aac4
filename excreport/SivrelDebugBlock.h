#pragma once
// The debug-information block of a module: a line table per unit and a table of qualified routine
// names. Code offsets count from the module's load base + 0x1000.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace excreport {

constexpr uint64_t SivrelCodeOffsetBase = 0x1000;

struct TSivrelLineInfo {
    QString UnitName;
    QString ClassName;
    QString ProcedureName;
    int32_t Line = 0;
};

enum class TSivrelLookup {
    Found,      // the offset lies in a unit's code
    NotFound,   // the block was read to its end without a hit
    Unreadable, // a length or an entry runs beyond the block's end
};

// The units of a block sorted by code offset, so that a look-up goes straight to its unit.
// Usable only when every unit header could be read and no two units overlap; otherwise look-ups
// walk the block.
struct TSivrelUnitIndex {
    struct Unit {
        uint32_t Offset, Size, Header; // Header: the unit's position in the block
    };
    std::vector<Unit> Units;
    bool Usable = false;
};
TSivrelUnitIndex SivrelIndexUnits(const QByteArray& block, int dataVersion);

// Line look-up of a code offset, through the index when one is given. Every length is checked
// against the bytes left, so a cut or damaged block ends the look-up as Unreadable.
TSivrelLookup SivrelFindLine(const QByteArray& block, int dataVersion, uint64_t codeOffset,
                             TSivrelLineInfo& info, const TSivrelUnitIndex* index = nullptr);

// Exact, case-sensitive look-up of a qualified name ("Class.Routine") in the name table (data
// version 405 and up); the code offset, or nothing.
std::optional<uint32_t> SivrelFindName(const QByteArray& block, int dataVersion, const QString& qualifiedName);

// Builds a block: names first, then units with their line entries; each entry picks the shortest form.
class TSivrelDebugBlockWriter {
public:
    explicit TSivrelDebugBlockWriter(int dataVersion);

    void AddName(const QString& qualifiedName, uint32_t codeOffset);
    // A unit covers [codeOffset, codeOffset + size - 1]; the line entries follow.
    void BeginUnit(const QString& unitName, int32_t firstLine, uint32_t codeOffset, uint32_t size);
    // The current range has addressDelta bytes and is followed by the line lineDelta further on.
    // A name names the ranges after this entry (the first name of a unit also its own range).
    void AddEntry(int64_t lineDelta, uint64_t addressDelta, const QString& name = QString());
    void EndUnit();
    QByteArray Finish();

private:
    void WriteEntry(int32_t lineDelta, uint32_t addressDelta, const QByteArray& name);

    int m_version;
    QByteArray m_names;
    QByteArray m_units;
    uint32_t m_unitCount = 0;
    QByteArray m_unitHeader;
    QByteArray m_lineData;
    bool m_inUnit = false;
};

// Scrambled short string of the block: a length byte and up to 255 bytes (UTF-8, cut at 255).
QByteArray SivrelShortString(const QString& text);

} // namespace excreport

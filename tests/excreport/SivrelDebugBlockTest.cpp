#include "excreport/SivrelDebugBlock.h"
#include "excreport/SivrelStream.h"
#include <QList>
#include <gtest/gtest.h>
#include <map>
#include <random>

using namespace excreport;

namespace {

void Put32(QByteArray& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char(v >> (8 * i)));
}

QByteArray XStr(const QByteArray& s)
{
    return QByteArray(1, char(s.size())) + SivrelScramble(s);
}

// A unit of hand-written line data.
QByteArray Unit(const QByteArray& name, int32_t firstLine, uint32_t offset, uint32_t size, const QByteArray& data)
{
    QByteArray b = XStr(name);
    Put32(b, uint32_t(firstLine));
    Put32(b, offset);
    Put32(b, size);
    Put32(b, uint32_t(data.size()));
    return b + data;
}

QByteArray Block(const QByteArray& nameTable, const QList<QByteArray>& units, bool withNameTable = true)
{
    QByteArray b;
    if (withNameTable) {
        Put32(b, uint32_t(nameTable.size()));
        b += nameTable;
    }
    Put32(b, uint32_t(units.size()));
    for (const QByteArray& u : units)
        b += u;
    return b;
}

// Unit "Main", first line 10, code 0x100 .. 0x13F: entries 00, 05 + "TForm1.Click", 1B 00 F0 FF.
QByteArray WorkedExample()
{
    QByteArray names = XStr("TForm1.Click");
    Put32(names, 0x101);
    Put32(names, 0);
    const QByteArray data = QByteArray("\x00", 1) + QByteArray("\x05") + XStr("TForm1.Click")
                            + QByteArray("\x1B\x00\xF0\xFF", 4);
    return Block(names, {Unit("Main", 10, 0x100, 0x40, data)});
}

struct Expect {
    uint64_t offset;
    TSivrelLookup result;
    int line;
    QString cls, routine;
};

// Each case is looked up by walking the block and through its unit index.
void CheckTable(const QByteArray& block, int version, const std::vector<Expect>& table, const QString& unit)
{
    const TSivrelUnitIndex index = SivrelIndexUnits(block, version);
    for (const TSivrelUnitIndex* through : {static_cast<const TSivrelUnitIndex*>(nullptr), &index}) {
        SCOPED_TRACE(through ? "index" : "walk");
        for (const Expect& e : table) {
            TSivrelLineInfo info;
            const TSivrelLookup r = SivrelFindLine(block, version, e.offset, info, through);
            EXPECT_EQ(r, e.result) << "offset 0x" << std::hex << e.offset;
            if (r == TSivrelLookup::Found && e.result == TSivrelLookup::Found) {
                EXPECT_EQ(info.Line, e.line) << "offset 0x" << std::hex << e.offset;
                EXPECT_EQ(info.ClassName, e.cls) << "offset 0x" << std::hex << e.offset;
                EXPECT_EQ(info.ProcedureName, e.routine) << "offset 0x" << std::hex << e.offset;
                EXPECT_EQ(info.UnitName, unit);
            }
        }
    }
}

} // namespace

TEST(SivrelDebugBlock, WorkedExample)
{
    const QByteArray block = WorkedExample();
    CheckTable(block, 467,
               {
                   {0x0FF, TSivrelLookup::NotFound, 0, "", ""},
                   {0x100, TSivrelLookup::Found, 10, "", ""},
                   {0x101, TSivrelLookup::Found, 11, "TForm1", "Click"},
                   {0x102, TSivrelLookup::Found, 11, "TForm1", "Click"},
                   {0x103, TSivrelLookup::Found, 14, "TForm1", "Click"},
                   {0x120, TSivrelLookup::Found, 14, "TForm1", "Click"},
                   {0x13F, TSivrelLookup::Found, 14, "TForm1", "Click"},
                   {0x140, TSivrelLookup::NotFound, 0, "", ""},
               },
               "Main.pas");
    EXPECT_EQ(SivrelFindName(block, 467, "TForm1.Click"), std::optional<uint32_t>(0x101));
    EXPECT_EQ(SivrelFindName(block, 467, "tform1.click"), std::nullopt);
    EXPECT_EQ(SivrelFindName(block, 467, "TForm1"), std::nullopt);
}

TEST(SivrelDebugBlock, Version404HasNoNameTable)
{
    const QByteArray data = QByteArray("\x05") + XStr("TForm1.Click") + QByteArray("\x00", 1);
    const QByteArray block = Block({}, {Unit("Main.cpp", 1, 0, 0x10, data)}, false);
    EXPECT_EQ(SivrelFindName(block, 404, "TForm1.Click"), std::nullopt);
    CheckTable(block, 404,
               {{0, TSivrelLookup::Found, 1, "TForm1", "Click"}, {2, TSivrelLookup::Found, 2, "TForm1", "Click"}},
               "Main.cpp");
}

TEST(SivrelDebugBlock, EntryFormsAndNames)
{
    // long entry, address bits 0xFFF: +4 lines at the same address; then short 00.
    QByteArray sameAddress;
    Put32(sameAddress, (0xFFFu << 20) | (3u << 4) | 0xB);
    sameAddress += QByteArray("\x00", 1);
    CheckTable(Block({}, {Unit("A", 1, 0, 4, sameAddress)}), 467,
               {{0, TSivrelLookup::Found, 5, "", ""}, {1, TSivrelLookup::Found, 6, "", ""}}, "A.pas");

    // Long entry stepping back 3 lines; word entry with a name; escape entry (from 423 on).
    QByteArray mixed;
    Put32(mixed, (1u << 20) | (uint32_t(uint16_t(-3 - 1)) << 4) | 0xB); // -3 lines, 2 bytes
    mixed += QByteArray("\x37\x08", 2) + XStr("@Init");                  // word named: +2 lines, 4 bytes
    Put32(mixed, (0x0FFEFFFEu << 4) | 0xB);                              // escape: +100 lines, 300 bytes
    mixed += QByteArray("\x63\x00\x2B\x01", 4);
    mixed += QByteArray("\x05") + XStr(".Run");                          // remembered class: none yet
    mixed += QByteArray("\x05") + XStr("TFoo.Go");
    mixed += QByteArray("\x05") + XStr(".Stop");
    mixed += QByteArray("\x00", 1);
    const QByteArray block = Block({}, {Unit("U.cpp", 50, 0x1000, 0x200, mixed)});
    CheckTable(block, 467,
               {
                   {0x1000, TSivrelLookup::Found, 50, "", ""},
                   {0x1002, TSivrelLookup::Found, 47, "", "_Init"},
                   {0x1005, TSivrelLookup::Found, 47, "", "_Init"},
                   {0x1006, TSivrelLookup::Found, 49, "", "_Init"},
                   {0x1131, TSivrelLookup::Found, 49, "", "_Init"},
                   {0x1132, TSivrelLookup::Found, 149, "", "_Init"},
                   // The range before "TFoo.Go" still belongs to Run: class and routine go together.
                   {0x1134, TSivrelLookup::Found, 150, "", "Run"},
                   {0x1136, TSivrelLookup::Found, 151, "TFoo", "Go"},
                   {0x1138, TSivrelLookup::Found, 152, "TFoo", "Stop"},
                   {0x11FF, TSivrelLookup::Found, 153, "TFoo", "Stop"},
               },
               "U.cpp");
    // Below 423 the escape marker is an ordinary long entry (-1 line, 0xFFF bytes).
    TSivrelLineInfo info;
    ASSERT_EQ(SivrelFindLine(block, 422, 0x1006, info), TSivrelLookup::Found);
    EXPECT_EQ(info.Line, 49);
}

TEST(SivrelDebugBlock, UnitIndexFindsTheUnitTheWalkFinds)
{
    // Units out of code order with a gap between them; a unit without code is left out.
    const QByteArray b = Block({}, {Unit("B.cpp", 20, 0x300, 0x10, QByteArray("\x00", 1)),
                                    Unit("Empty.cpp", 1, 0x250, 0, QByteArray()),
                                    Unit("A.cpp", 10, 0x100, 0x20, QByteArray("\x00", 1))});
    const TSivrelUnitIndex index = SivrelIndexUnits(b, 467);
    ASSERT_TRUE(index.Usable);
    ASSERT_EQ(index.Units.size(), 2u);
    EXPECT_EQ(index.Units[0].Offset, 0x100u);
    const struct {
        uint64_t offset;
        TSivrelLookup result;
        const char* unit;
        int line;
    } cases[] = {
        {0x0FF, TSivrelLookup::NotFound, "", 0},  {0x100, TSivrelLookup::Found, "A.cpp", 10},
        {0x11F, TSivrelLookup::Found, "A.cpp", 11}, {0x120, TSivrelLookup::NotFound, "", 0},
        {0x2FF, TSivrelLookup::NotFound, "", 0},  {0x300, TSivrelLookup::Found, "B.cpp", 20},
        {0x30F, TSivrelLookup::Found, "B.cpp", 21}, {0x310, TSivrelLookup::NotFound, "", 0},
    };
    for (const auto& c : cases)
        for (const TSivrelUnitIndex* through : {static_cast<const TSivrelUnitIndex*>(nullptr), &index}) {
            TSivrelLineInfo info;
            EXPECT_EQ(SivrelFindLine(b, 467, c.offset, info, through), c.result) << std::hex << c.offset;
            EXPECT_EQ(info.UnitName, c.unit) << std::hex << c.offset;
            EXPECT_EQ(info.Line, c.line) << std::hex << c.offset;
        }

    // Overlapping units: no index, and the first unit in the block answers.
    const QByteArray overlapping = Block({}, {Unit("First.cpp", 1, 0x100, 0x20, QByteArray("\x00", 1)),
                                              Unit("Second.cpp", 5, 0x110, 0x20, QByteArray("\x00", 1))});
    const TSivrelUnitIndex none = SivrelIndexUnits(overlapping, 467);
    EXPECT_FALSE(none.Usable);
    TSivrelLineInfo info;
    ASSERT_EQ(SivrelFindLine(overlapping, 467, 0x118, info, &none), TSivrelLookup::Found);
    EXPECT_EQ(info.UnitName, "First.cpp");
}

TEST(SivrelDebugBlock, CutBlockEndsCleanly)
{
    const QByteArray block = WorkedExample();
    for (qsizetype cut = 0; cut < block.size(); ++cut) {
        TSivrelLineInfo info;
        EXPECT_EQ(SivrelFindLine(block.left(cut), 467, 0x120, info), TSivrelLookup::Unreadable) << cut;
        const TSivrelUnitIndex index = SivrelIndexUnits(block.left(cut), 467);
        EXPECT_FALSE(index.Usable) << cut;
        EXPECT_EQ(SivrelFindLine(block.left(cut), 467, 0x120, info, &index), TSivrelLookup::Unreadable) << cut;
        const auto name = SivrelFindName(block.left(cut), 467, "TForm1.Click");
        EXPECT_TRUE(!name || cut >= 4 + 21) << cut;
    }
    // Lengths beyond the end: name table, unit count, line data, a name inside the line data.
    QByteArray hugeTable;
    Put32(hugeTable, 0xFFFFFFF0u);
    TSivrelLineInfo info;
    EXPECT_EQ(SivrelFindLine(hugeTable, 467, 0, info), TSivrelLookup::Unreadable);
    EXPECT_EQ(SivrelFindName(hugeTable, 467, "x"), std::nullopt);
    QByteArray manyUnits;
    Put32(manyUnits, 0);
    Put32(manyUnits, 0xFFFFFFFFu);
    EXPECT_EQ(SivrelFindLine(manyUnits, 467, 0, info), TSivrelLookup::Unreadable);
    QByteArray badName = Block({}, {Unit("A", 1, 0, 8, QByteArray("\x05\x30") + "ab")});
    EXPECT_EQ(SivrelFindLine(badName, 467, 1, info), TSivrelLookup::Unreadable);
}

TEST(SivrelDebugBlock, WriterRoundTrip)
{
    // Rows (offset, line) of two units with small, large and backward steps; the writer must choose
    // forms that the reader decodes to the same rows at both sides of the escape form's version.
    struct Row {
        uint32_t offset;
        int32_t line;
        QString name;
    };
    std::mt19937 rng(7);
    std::vector<Row> rows;
    uint32_t offset = 0x40;
    int32_t line = 3;
    for (int i = 0; i < 400; ++i) {
        rows.push_back({offset, line, i % 37 == 0 ? QString("TC%1.R%2").arg(i % 3).arg(i) : QString()});
        const int kind = int(rng() % 10);
        offset += kind == 0 ? 70000 : kind == 1 ? 0 : kind == 2 ? 3000 : 1 + rng() % 40;
        line += kind == 3 ? -int32_t(rng() % 500) : kind == 4 ? 40000 : int32_t(rng() % 6);
    }
    const uint32_t end = offset + 5;
    for (int version : {422, 467}) {
        TSivrelDebugBlockWriter w(version);
        w.AddName("TC0.R0", rows[0].offset);
        w.BeginUnit("Big.cpp", rows[0].line, rows[0].offset, end - rows[0].offset);
        // The name of row i goes on the entry before it (row 0: on its own entry).
        for (size_t i = 0; i + 1 < rows.size(); ++i)
            w.AddEntry(rows[i + 1].line - rows[i].line, rows[i + 1].offset - rows[i].offset,
                       i == 0 ? rows[0].name : rows[i + 1].name);
        const QByteArray block = w.Finish();
        EXPECT_EQ(SivrelFindName(block, version, "TC0.R0"), std::optional<uint32_t>(0x40));
        QString routine;
        for (size_t i = 0; i < rows.size(); ++i) {
            if (!rows[i].name.isEmpty())
                routine = rows[i].name.section('.', 1);
            const uint32_t next = i + 1 < rows.size() ? rows[i + 1].offset : end;
            if (next == rows[i].offset)
                continue;
            for (uint32_t probe : {rows[i].offset, next - 1}) {
                TSivrelLineInfo info;
                ASSERT_EQ(SivrelFindLine(block, version, probe, info), TSivrelLookup::Found) << version << " " << i;
                EXPECT_EQ(info.Line, rows[i].line) << version << " row " << i;
                EXPECT_EQ(info.ProcedureName, routine) << version << " row " << i;
            }
        }
    }
}

// The reporter's debug-block reader (walking the block and through its unit index, which must
// agree) and option stream on arbitrary bytes.
// Input: byte 0 picks the data version (400 + b % 80), bytes 1-4 the code offset looked up, the rest
// is the block (and, read a second time, an option stream).
// Seeds (tests/fuzz-corpus/debugblock/): worked-example.bin is a version-467 block with one name and
// unit "Main" (first line 10, code 0x100..0x13F, entries 00, 05 "TForm1.Click", 1B 00 F0 FF), looked
// up at 0x120; version-404.bin is the same unit without the name table, looked up at 0x101.
#include "excreport/SivrelDebugBlock.h"
#include "excreport/SivrelOptions.h"
#include "excreport/SivrelStream.h"
#include "excreport/SivrelTypes.h"
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5)
        return 0;
    const int version = 400 + data[0] % 80;
    const uint32_t offset = uint32_t(data[1]) | (uint32_t(data[2]) << 8) | (uint32_t(data[3]) << 16)
                            | (uint32_t(data[4]) << 24);
    const QByteArray block(reinterpret_cast<const char*>(data + 5), static_cast<qsizetype>(size - 5));

    excreport::TSivrelLineInfo info;
    const auto walked = excreport::SivrelFindLine(block, version, offset, info);
    // The unit index must give the walk's answer.
    const excreport::TSivrelUnitIndex index = excreport::SivrelIndexUnits(block, version);
    excreport::TSivrelLineInfo indexed;
    const auto found = excreport::SivrelFindLine(block, version, offset, indexed, &index);
    if (found != walked || indexed.Line != info.Line || indexed.UnitName != info.UnitName
        || indexed.ProcedureName != info.ProcedureName || indexed.ClassName != info.ClassName)
        __builtin_trap();
    excreport::SivrelFindName(block, version, QStringLiteral("TForm1.Click"));

    excreport::TSivrelModuleOptions options(QString(), false);
    excreport::TSivrelStream stream(block);
    try {
        options.LoadFromStream(stream, version);
    } catch (const excreport::EReadError&) {
    }
    return 0;
}

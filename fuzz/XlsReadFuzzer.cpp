// Feeds arbitrary bytes to the workbook reader as a file held in memory (compound file or
// plain BIFF), then asks every sheet for its extents and the texts of its cells, with and
// without formula texts.
#include "spreadsheet/XLSBook.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4 << 20) return 0;
    xls::TXLSBook book;
    book.OnPassword = [](xls::TXLSBook*, QString& p) { p = QStringLiteral("fuzz"); };
    try {
        book.LoadFromData(QByteArray(reinterpret_cast<const char*>(data), int(size)));
    } catch (const xls::EXLSError&) {
        // a reader error is a normal outcome; the model read so far must still be sound
    }
    size_t sum = 0;
    for (int i = 0; i < book.Sheets().Count(); ++i) {
        xls::TSheet* s = book.Sheets()[i];
        sum += size_t(s->Name().size());
        const int lastRow = qMin<int>(s->LastRow(), s->FirstRow() + 200);
        const int lastCol = qMin<int>(s->LastCol(), s->FirstCol() + 40);
        for (int show = 0; show < 2; ++show) {
            book.ShowFormulas = show == 1;
            for (int r = s->FirstRow(); r <= lastRow; ++r)
                for (int c = s->FirstCol(); c <= lastCol; ++c) {
                    try {
                        sum += size_t(s->CellText(c, r).size());
                    } catch (const xls::EXLSError&) {
                        // formula text of a damaged formula
                    }
                }
        }
        s->Cells().ForEach([&](uint32_t key, xls::TCell*) {
            book.ShowFormulas = true;
            try {
                sum += size_t(s->CellText(int(key & 0xFF), int(key >> 8)).size());
            } catch (const xls::EXLSError&) {
            }
        });
    }
    return sum == size_t(-1);
}

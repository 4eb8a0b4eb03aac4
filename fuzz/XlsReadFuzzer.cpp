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
    // names, and the properties of cell areas with their formula texts; the texts compiled again
    book.ShowFormulas = false;
    xls::TFormulaHandler& h = book.FormulaHandler();
    auto recompile = [&](const QString& text) {
        QByteArray tokens;
        try {
            sum += size_t(h.EncodeFormula(text, tokens, 1024));
        } catch (const xls::EXLSError&) {
        }
    };
    auto guarded = [&](auto&& f) {
        try {
            f();
        } catch (const xls::EXLSError&) {
        }
    };
    for (int i = 0; i < h.InternalNames().Count() && i < 200; ++i) {
        xls::TInternalName* n = h.InternalNames().Items(i);
        guarded([&] {
            sum += size_t(n->Name().size()) + size_t(n->BuiltInName());
            const QString d = n->Definition();
            sum += size_t(d.size());
            recompile(d);
            sum += size_t(n->Col1() + n->Row2() + n->ExtSheet());
        });
    }
    for (int i = 0; i < book.Sheets().Count(); ++i) {
        xls::TSheet* s = book.Sheets()[i];
        sum += size_t(s->MergedCells().Count());
        for (int k = 0; k < s->Validations().Count() && k < 50; ++k)
            guarded([&] { recompile(s->Validations().Items(k)->Expression1() + s->Validations().Items(k)->Expression2()); });
        for (int k = 0; k < s->Hyperlinks().Count() && k < 50; ++k)
            sum += size_t(s->Hyperlinks().Items(k)->Address().size() + s->Hyperlinks().Items(k)->ToolTip().size());
        for (int k = 0; k < s->ConditionalFormats().Count() && k < 50; ++k)
            guarded([&] { recompile(s->ConditionalFormats().Items(k)->Condition1.Formula1()); });
    }
    return sum == size_t(-1);
}

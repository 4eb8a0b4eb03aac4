// The grid's exchange forms on arbitrary bytes: the grid text stream (LoadFromStream), the
// private clipboard cell form (ReadCellsFromStream), the tab / line-break text block
// (PasteTextAt) and CSV files (LoadFromCSV).
// Input: with bit 3 of byte 0 set the rest is a CSV file, bits 4-5 pick its delimiter (found by
// the grid, ";", ",", TAB); otherwise byte 0 picks the form (% 3) and bit 2 the grid's
// Multilinecells; the rest is the stream, the cell block or the text (UTF-8).
// Property: whatever a grid made of the input, saving it in the same form and loading that into
// a fresh grid gives the same cells (and, for the text stream, the same bytes when saved again).
// A text block is checked without Multilinecells only when no cell holds a line break.
// Streams and blocks that ask for more than 256 columns or rows are left out (they only cost
// memory).
// Seeds (tests/fuzz-corpus/gridexchange/): a text stream with widths and a multi-line cell, a
// cell block written by a grid, a text block with quoted multi-line fields, a text block with
// tabs, quotes and a lone CR in multi-line cells, CSV files with quoted fields.
#include "grid/GridUtils.h"
#include "grid/ZodUvuz.h"
#include "platform/grid/ObjectStream.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <unistd.h>

namespace {

constexpr int kLimit = 256;

std::unique_ptr<grid::TZedEzeravIvur> MakeGrid(bool multi)
{
    auto g = std::make_unique<grid::TZedEzeravIvur>();
    g->SetColCount(3);
    g->SetRowCount(3);
    g->SetGridOptions(g->GridOptions() | tk::goEditing);
    g->Multilinecells = multi;
    g->MultiLineClipboardQuoting = multi;
    return g;
}

bool SameCells(grid::TZedEzeravIvur& a, grid::TZedEzeravIvur& b)
{
    if (a.ColCount() != b.ColCount() || a.RowCount() != b.RowCount())
        return false;
    for (int r = 0; r < a.RowCount(); ++r)
        for (int c = 0; c < a.ColCount(); ++c)
            if (a.Cells(c, r) != b.Cells(c, r))
                return false;
    return true;
}

QByteArray Saved(grid::TZedEzeravIvur& g)
{
    QBuffer buf;
    buf.open(QIODevice::ReadWrite);
    g.SaveToStream(buf);
    return buf.data();
}

void Load(grid::TZedEzeravIvur& g, const QByteArray& bytes)
{
    QBuffer buf;
    buf.setData(bytes);
    buf.open(QIODevice::ReadOnly);
    g.LoadFromStream(buf);
}

void TextStream(const QByteArray& bytes, bool multi)
{
    const qsizetype eol = bytes.indexOf('\n');
    const QList<QByteArray> counts = bytes.left(eol < 0 ? bytes.size() : eol).trimmed().split(',');
    if (counts.size() == 2 && (counts[0].trimmed().toLongLong() > kLimit || counts[1].trimmed().toLongLong() > kLimit))
        return;
    auto a = MakeGrid(multi);
    Load(*a, bytes);
    const QByteArray once = Saved(*a);
    auto b = MakeGrid(multi);
    Load(*b, once);
    if (!SameCells(*a, *b) || Saved(*b) != once) {
        fprintf(stderr, "saved:\n%s\nsaved again:\n%s\n", once.constData(), Saved(*b).constData());
        __builtin_trap(); // the text stream a grid writes does not load back as that grid
    }
}

void CellForm(const QByteArray& bytes, bool multi)
{
    try {
        qsizetype pos = 0;
        std::unique_ptr<QObject> header(tk::ReadComponent(bytes, pos));
        if (!header || header->property("RowCount").toLongLong() > kLimit
            || header->property("ColCount").toLongLong() > kLimit)
            return;
    } catch (const std::exception&) {
        // a header the grid must refuse itself
    }
    auto a = MakeGrid(multi);
    a->Navigation()->AllowFmtClipboard = true;
    try {
        QBuffer buf;
        buf.setData(bytes);
        buf.open(QIODevice::ReadOnly);
        a->ReadCellsFromStream(QPoint(0, 0), buf);
    } catch (const std::exception&) {
    }
    if (a->ColCount() > kLimit || a->RowCount() > kLimit)
        return;
    QBuffer out;
    out.open(QIODevice::ReadWrite);
    a->WriteCellsToStream(tk::TGridRect{0, 0, a->ColCount() - 1, a->RowCount() - 1}, out);
    auto b = MakeGrid(multi);
    b->Navigation()->AllowFmtClipboard = true;
    out.seek(0);
    b->ReadCellsFromStream(QPoint(0, 0), out); // what a grid wrote must read without an error
    if (b->ColCount() < a->ColCount() || b->RowCount() < a->RowCount())
        __builtin_trap();
    for (int r = 0; r < a->RowCount(); ++r)
        for (int c = 0; c < a->ColCount(); ++c)
            if (a->Cells(c, r) != b->Cells(c, r))
                __builtin_trap(); // a cell block a grid writes does not read back as its cells
}

// A copy writes every line break of a cell as character 11, which a paste reads as CR LF: the
// kind of line break is not carried.
QString Breaks(QString s)
{
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

// A text for the log: control characters, quotes and backslashes escaped.
QByteArray Shown(const QString& s)
{
    QByteArray out;
    for (const QChar ch : s) {
        const char16_t c = ch.unicode();
        if (c < 0x20 || c == u'"' || c == u'\\' || c > 0x7e)
            out += "\\x" + QByteArray::number(uint(c), 16) + ';';
        else
            out += char(c);
    }
    return out;
}

void TextBlock(const QByteArray& bytes, bool multi)
{
    const QString text = QString::fromUtf8(bytes);
    auto a = MakeGrid(multi);
    int cols = 0, breaks = 0;
    a->GetTextDimensions(text, cols, breaks);
    if (cols > kLimit || breaks > kLimit)
        return;
    a->PasteTextAt(0, 0, text);
    // Without Multilinecells and its clipboard quoting a copy writes line breaks of a cell as
    // bare LFs in quotes, which a grid without Multilinecells does not take as one cell.
    if (!multi)
        for (int r = 0; r < a->RowCount(); ++r)
            for (int c = 0; c < a->ColCount(); ++c) {
                const QString& t = a->Cells(c, r);
                if (t.contains(QLatin1Char('\n')) || t.contains(QLatin1Char('\r')))
                    return;
            }
    const QString copied = a->RangeToText(tk::TGridRect{0, 0, a->ColCount() - 1, a->RowCount() - 1}, false);
    auto b = MakeGrid(multi);
    b->PasteTextAt(0, 0, copied);
    for (int r = 0; r < a->RowCount(); ++r)
        for (int c = 0; c < a->ColCount(); ++c)
            if (Breaks(a->Cells(c, r)) != Breaks(b->Cells(c, r))) {
                fprintf(stderr, "cell %d,%d: [%s] then [%s]\ncopied:\n%s\n", c, r, Shown(a->Cells(c, r)).constData(),
                        Shown(b->Cells(c, r)).constData(), Shown(copied).constData());
                __builtin_trap(); // the text block a copy makes does not paste back as the cells
            }
}

QString g_csvDir;

void WriteFile(const QString& name, const QByteArray& bytes)
{
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        __builtin_trap();
}

// A CSV file (LoadFromCSV) with the delimiter given or found; its cells written back with the
// grid's CSV field coding (CellTextToCSVField: quoted, CR LF as character 11) load as the same
// cells.
void Csv(const QByteArray& bytes, uint8_t mode)
{
    static const QChar delimiters[] = {QChar(), QLatin1Char(';'), QLatin1Char(','), QLatin1Char('\t')};
    const QChar delimiter = delimiters[(mode >> 4) & 3];
    if (bytes.count('\n') + bytes.count('\r') > kLimit)
        return;
    const QString in = g_csvDir + QStringLiteral("/in.csv"), out = g_csvDir + QStringLiteral("/out.csv");
    WriteFile(in, bytes);
    auto a = MakeGrid(true);
    a->Delimiter = delimiter;
    a->LoadFromCSV(in);
    if (a->ColCount() > kLimit)
        return;
    const QChar back = delimiter.isNull() ? QLatin1Char(';') : delimiter;
    QString text;
    for (int r = 0; r < a->RowCount(); ++r) {
        for (int c = 0; c < a->ColCount(); ++c) {
            QString field = a->Cells(c, r);
            grid::CellTextToCSVField(field);
            if (c)
                text += back;
            text += field;
        }
        text += QLatin1String("\r\n");
    }
    WriteFile(out, text.toUtf8());
    auto b = MakeGrid(true);
    b->Delimiter = back;
    b->LoadFromCSV(out);
    if (!SameCells(*a, *b)) {
        for (int r = 0; r < std::min(a->RowCount(), b->RowCount()); ++r)
            for (int c = 0; c < std::min(a->ColCount(), b->ColCount()); ++c)
                if (a->Cells(c, r) != b->Cells(c, r))
                    fprintf(stderr, "cell %d,%d: [%s] then [%s]\n", c, r, Shown(a->Cells(c, r)).constData(),
                            Shown(b->Cells(c, r)).constData());
        fprintf(stderr, "%dx%d then %dx%d; written:\n%s\n", a->ColCount(), a->RowCount(), b->ColCount(), b->RowCount(),
                Shown(text).constData());
        __builtin_trap(); // the cells of a CSV file written back do not load as the same cells
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication app(*argc, *argv);
    g_csvDir = QDir::tempPath() + QStringLiteral("/qly-fuzz-gridcsv-%1").arg(::getpid());
    QDir().mkpath(g_csvDir);
    std::atexit([] { QDir(g_csvDir).removeRecursively(); });
    // QLY_FUZZ_CELL_SEED=<file>: writes a cell block of a small grid there (a seed) and ends.
    if (const char* seed = std::getenv("QLY_FUZZ_CELL_SEED")) {
        auto g = MakeGrid(true);
        g->Navigation()->AllowFmtClipboard = true;
        g->SetCells(0, 0, QStringLiteral("Name"));
        g->SetCells(1, 1, QStringLiteral("two\r\nlines"));
        g->SetCells(2, 2, QStringLiteral("\u00e4\t%"));
        QFile out(QString::fromLocal8Bit(seed));
        if (!out.open(QIODevice::WriteOnly) || !out.putChar(1))
            std::exit(1);
        g->WriteCellsToStream(tk::TGridRect{0, 0, 2, 2}, out);
        out.close();
        std::exit(0);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 8192)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    const bool multi = data[0] & 4;
    if (data[0] & 8) {
        Csv(bytes, data[0]);
        return 0;
    }
    switch (data[0] % 3) {
    case 0: TextStream(bytes, multi); break;
    case 1: CellForm(bytes, multi); break;
    default: TextBlock(bytes, multi); break;
    }
    return 0;
}

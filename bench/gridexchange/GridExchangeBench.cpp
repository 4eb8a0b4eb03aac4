// Bulk transfers of the string grid, timed by wall clock in one run (run it in a Release build,
// on the offscreen platform, pinned to one processor on a shared machine):
//  - CSV: LoadFromCSV of 100,000 x 20 fields (";", some quoted, about 26 MB) against sqlite3's
//    `.import` into an in-memory database and Python's csv.reader into lists, in the same run.
//    Targets: within 1.5 x sqlite3 and faster than Python.
//  - Clipboard, 100,000 cells (10,000 x 10): the text copy (under 150 ms and at most 3 x a plain
//    join of a std::vector<QStringList>), the text paste (under 200 ms), the private cell form with
//    properties on 1 % of the cells written and read (under 600 ms each).
//  - Grid text stream: save and load of 100,000 x 20, each no slower than the CSV load.
//  - Workbook: LoadFromXLS of a 65,000 x 10 workbook (made with xlwt) within 1.3 x a plain read of
//    the workbook to every cell text.
//  - Footer: UpdateFooter(-1) over 100,000 rows with five functions under 50 ms.
//   QT_QPA_PLATFORM=offscreen bench_gridexchange [--csv-only]
#include "grid/ZodUvuz.h"
#include "grid/ZodUvuzFooter.h"
#include "spreadsheet/XLSBook.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

namespace {

double ms(QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

void line(const char* what, double value, const char* unit, const QString& verdict)
{
    std::printf("%-52s %10.1f %s  %s\n", what, value, unit, qPrintable(verdict));
}

QString check(bool ok) { return ok ? QStringLiteral("ok") : QStringLiteral("MISSED"); }

void makeCSV(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    QByteArray out;
    out.reserve(28 << 20);
    for (int r = 0; r < 100000; ++r) {
        for (int c = 0; c < 20; ++c) {
            if (c)
                out += ';';
            switch (c % 5) {
            case 0: out += QByteArray::number(r * 20 + c); break;
            case 1: out += "\"Kunde " + QByteArray::number(r) + "; Filiale\""; break;
            case 2: out += "user" + QByteArray::number(r) + "@example.com"; break;
            case 3: out += "M\xc3\xbcllerstra\xc3\x9f" "e " + QByteArray::number(c); break;
            default: out += QByteArray::number(r % 997) + ",25"; break;
            }
        }
        out += "\r\n";
    }
    f.write(out);
}

// Seconds a peer reports for its own work (the last line of its output), or -1.
double peer(const QString& program, const QStringList& args, const QByteArray& input = QByteArray())
{
    QProcess p;
    p.start(program, args);
    if (!input.isEmpty()) {
        p.write(input);
        p.closeWriteChannel();
    }
    QElapsedTimer t;
    t.start();
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
        return -1;
    }
    bool ok = false;
    const double v = p.readAllStandardOutput().trimmed().split('\n').last().toDouble(&ok);
    return ok ? v : ms(t) / 1000.0;
}

std::unique_ptr<grid::TZedEzeravIvur> makeGrid(int cols, int rows)
{
    auto g = std::make_unique<grid::TZedEzeravIvur>();
    g->SetColCount(cols);
    g->SetRowCount(rows);
    g->SetGridOptions(g->GridOptions() | tk::goEditing);
    return g;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString csv = dir.filePath("big.csv");
    makeCSV(csv);
    std::printf("CSV file: %lld bytes\n", qlonglong(QFileInfo(csv).size()));

    // --- CSV and peers
    double csvMs = 0;
    {
        auto g = makeGrid(2, 2);
        QElapsedTimer t;
        t.start();
        g->LoadFromCSV(csv);
        csvMs = ms(t);
    }
    // sqlite3 prints nothing: its whole process is timed.
    const double sqliteS = peer("/usr/bin/sqlite3", {":memory:", "-cmd", ".mode csv", "-cmd", ".separator ;",
                                                     QStringLiteral(".import %1 t").arg(csv)});
    const double pythonS = peer("/usr/bin/python3",
                                {"-c",
                                 "import csv,sys,time\nt=time.perf_counter()\n"
                                 "rows=list(csv.reader(open(sys.argv[1],newline='',encoding='utf-8'),delimiter=';'))\n"
                                 "print(time.perf_counter()-t)",
                                 csv});
    line("LoadFromCSV 100,000 x 20", csvMs, "ms", "");
    if (argc > 1 && QByteArray(argv[1]) == "--csv-only")
        return 0;
    line("  sqlite3 .import (in memory)", sqliteS * 1000, "ms",
         check(sqliteS > 0 && csvMs <= 1.5 * sqliteS * 1000) + " (within 1.5 x)");
    line("  Python csv.reader into lists", pythonS * 1000, "ms", check(pythonS > 0 && csvMs < pythonS * 1000));

    // --- clipboard
    {
        auto g = makeGrid(10, 10000);
        std::vector<QStringList> plain(10000);
        for (int r = 0; r < 10000; ++r)
            for (int c = 0; c < 10; ++c) {
                const QString text = QStringLiteral("Zelle %1/%2").arg(r).arg(c);
                g->SetCells(c, r, text);
                plain[size_t(r)] << text;
            }
        QElapsedTimer t;
        t.start();
        QString joined;
        for (const QStringList& row : plain) {
            joined += row.join(QLatin1Char('\t'));
            joined += QLatin1String("\r\n");
        }
        const double joinMs = ms(t);
        t.restart();
        g->CopyRangeToClipboard(tk::TGridRect{0, 0, 9, 9999}, false);
        const double copyMs = ms(t);
        line("text copy of 100,000 cells", copyMs, "ms",
             check(copyMs < 150 && copyMs <= 3 * joinMs) + QStringLiteral(" (join %1 ms)").arg(joinMs, 0, 'f', 1));
        auto b = makeGrid(10, 2);
        t.restart();
        b->PasteFromClipboardAt(0, 0);
        const double pasteMs = ms(t);
        line("text paste of 100,000 cells", pasteMs, "ms", check(pasteMs < 200));

        for (int i = 0; i < 1000; ++i)
            g->GetCellProperties(i % 10, i * 10)->SetBrushColor(0x00FF00);
        QBuffer buf;
        buf.open(QIODevice::WriteOnly);
        t.restart();
        g->WriteCellsToStream(tk::TGridRect{0, 0, 9, 9999}, buf);
        const double writeMs = ms(t);
        buf.close();
        buf.open(QIODevice::ReadOnly);
        auto c = makeGrid(10, 10000);
        t.restart();
        c->ReadCellsFromStream(QPoint(0, 0), buf);
        const double readMs = ms(t);
        line("private form write, 100,000 cells, 1 % properties", writeMs, "ms", check(writeMs < 600));
        line("private form read", readMs, "ms", check(readMs < 600));
    }

    // --- stream
    {
        auto g = makeGrid(2, 2);
        g->LoadFromCSV(csv);
        QBuffer buf;
        buf.open(QIODevice::WriteOnly);
        QElapsedTimer t;
        t.start();
        g->SaveToStream(buf);
        const double saveMs = ms(t);
        buf.close();
        buf.open(QIODevice::ReadOnly);
        auto b = makeGrid(2, 2);
        t.restart();
        b->LoadFromStream(buf);
        const double loadMs = ms(t);
        line("SaveToStream 100,000 x 20", saveMs, "ms", check(saveMs <= csvMs));
        line("LoadFromStream 100,000 x 20", loadMs, "ms", check(loadMs <= csvMs));
    }

    // --- workbook
    {
        const QString xls = dir.filePath("book.xls");
        QProcess p;
        p.start("/usr/bin/python3", {"-c", R"PY(
import sys, xlwt
wb = xlwt.Workbook(encoding='utf-8')
s = wb.add_sheet('Adressen')
for r in range(65000):
    row = s.row(r)
    row.write(0, r + 1)
    row.write(1, 'Kunde %d' % r)
    row.write(2, 'user%d@example.com' % r)
    row.write(3, 'München')
    row.write(4, 'Straße %d' % (r % 997))
    row.write(5, r * 1.25)
    row.write(6, 39448 + r % 3650)
    row.write(7, 'Gruppe %d' % (r % 40))
    row.write(8, (r * 7919) % 100000 / 100.0)
    row.write(9, 'aktiv' if r % 3 else 'inaktiv')
    if r % 1000 == 999: s.flush_row_data()
wb.save(sys.argv[1])
)PY", xls});
        p.waitForFinished(600000);
        QElapsedTimer t;
        t.start();
        {
            xls::TXLSBook book;
            book.Filename = xls;
            book.Read();
            const xls::TSheet* s = book.Sheets()[0];
            qsizetype total = 0;
            for (int r = s->FirstRow(); r <= s->LastRow(); ++r)
                for (int c = s->FirstCol(); c <= s->LastCol(); ++c)
                    total += s->CellText(c, r).size();
            (void)total;
        }
        const double plainMs = ms(t);
        auto g = makeGrid(2, 2);
        t.restart();
        g->LoadFromXLS(xls);
        const double loadMs = ms(t);
        line("LoadFromXLS 65,000 x 10", loadMs, "ms",
             check(loadMs <= 1.3 * plainMs) + QStringLiteral(" (plain read %1 ms)").arg(plainMs, 0, 'f', 1));
    }

    // --- footer
    {
        auto g = makeGrid(6, 100001);
        for (int r = 1; r < 100000; ++r)
            for (int c = 1; c <= 5; ++c)
                g->SetCells(c, r, QString::number(r % 1000) + QStringLiteral(".5"));
        g->FloatingFooter()->SetVisible(true);
        for (int c = 1; c <= 5; ++c)
            g->SetFooterCalc(c, c);
        QElapsedTimer t;
        t.start();
        g->UpdateFooter(-1);
        const double footerMs = ms(t);
        line("UpdateFooter(-1), 100,000 rows, 5 functions", footerMs, "ms", check(footerMs < 50));
    }
    return 0;
}

// Reads a 65,000-row x 10-column BIFF8 workbook (numbers and shared strings, written by xlwt)
// to every cell text, and xlrd on the same file in the same run. Each side runs as a process of
// its own, in turns, three pairs; each reports the processor time of its work (reading and every
// cell's text, without the start-up of Python or of the program) and of its whole process, and
// its peak resident size; the wall-clock time of each process, start to end, is shown beside.
//   bench_spreadsheet [workbook.xls]   (without a file one is made in a temporary folder)
//   bench_spreadsheet --child <workbook.xls>   (one read, as the benchmark runs it)
// Targets, as the median of the three pairs (the worst pair is shown beside it): the work and the
// whole process at least 10 times faster than xlrd's, and a peak resident size no larger than
// xlrd's. Run it pinned to one processor (taskset -c N) on a shared machine.
#include "spreadsheet/XLSBook.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QList>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <ctime>
#include <sys/resource.h>

namespace {

const char* const makeBook = R"PY(
import sys, xlwt
cities = ['Berlin', 'Hamburg', 'München', 'Köln', 'Frankfurt am Main', 'Stuttgart', 'Düsseldorf', 'Leipzig']
wb = xlwt.Workbook(encoding='utf-8')
s = wb.add_sheet('Adressen')
for r in range(65000):
    row = s.row(r)
    row.write(0, r + 1)
    row.write(1, 'Kunde %d' % r)
    row.write(2, 'user%d@example.com' % r)
    row.write(3, cities[r % len(cities)])
    row.write(4, 'Straße %d' % (r % 997))
    row.write(5, r * 1.25)
    row.write(6, 39448 + r % 3650)
    row.write(7, 'Gruppe %d' % (r % 40))
    row.write(8, (r * 7919) % 100000 / 100.0)
    row.write(9, 'aktiv' if r % 3 else 'inaktiv')
    if r % 1000 == 999: s.flush_row_data()
wb.save(sys.argv[1])
)PY";

const char* const readXlrd = R"PY(
import sys, time, resource, xlrd
cpu0 = time.process_time()
b = xlrd.open_workbook(sys.argv[1])
n = 0
for s in b.sheets():
    for r in range(s.nrows):
        for c in range(s.ncols):
            v = s.cell_value(r, c)
            n += len(v) if isinstance(v, str) else len('%.15g' % v)
cpu = time.process_time()
print('work=%.4f whole=%.4f chars=%d peakkb=%d' % (cpu - cpu0, cpu, n, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss))
)PY";

// Processor time of the whole process so far (start-up included).
double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

long peakKb()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

// One read to every cell text, then the model is freed; prints what the benchmark compares.
int child(const QString& path)
{
    qint64 chars = 0, cells = 0;
    const double cpu0 = cpuSeconds();
    auto book = std::make_unique<xls::TXLSBook>();
    book->Filename = path;
    book->Read();
    for (int i = 0; i < book->Sheets().Count(); ++i) {
        xls::TSheet* s = book->Sheets()[i];
        const int firstRow = s->FirstRow(), lastRow = s->LastRow(), firstCol = s->FirstCol(), lastCol = s->LastCol();
        for (int r = firstRow; r <= lastRow; ++r)
            for (int c = firstCol; c <= lastCol; ++c) {
                chars += s->CellText(c, r).size();
                ++cells;
            }
    }
    const double cpu1 = cpuSeconds();
    book.reset();
    const double cpu = cpuSeconds();
    std::printf("work=%.4f whole=%.4f chars=%lld peakkb=%ld cells=%lld free=%.4f\n", cpu1 - cpu0, cpu, (long long)chars,
                peakKb(), (long long)cells, cpu - cpu1);
    return 0;
}

struct Run {
    double work = 0, whole = 0, wall = 0, free = 0;
    long peakKb = 0;
    qint64 chars = 0, cells = 0;
};

// Runs the program to its end; its last output line holds "name=value" fields.
bool runChild(const QString& program, const QStringList& args, Run& out)
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(1200000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
        return false;
    }
    out.wall = double(t.nsecsElapsed()) / 1e9;
    for (const QByteArray& field : p.readAllStandardOutput().trimmed().split('\n').last().split(' ')) {
        const QByteArray name = field.left(field.indexOf('=')), value = field.mid(field.indexOf('=') + 1);
        if (name == "work") out.work = value.toDouble();
        else if (name == "whole") out.whole = value.toDouble();
        else if (name == "chars") out.chars = value.toLongLong();
        else if (name == "peakkb") out.peakKb = value.toLong();
        else if (name == "cells") out.cells = value.toLongLong();
        else if (name == "free") out.free = value.toDouble();
    }
    return true;
}

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}

int main(int argc, char** argv)
{
    if (argc == 3 && QByteArray(argv[1]) == "--child") {
        // No application object: the child is what a reading program needs, nothing more.
        return child(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : tmp.filePath("bench65000.xls");
    if (argc <= 1) {
        std::printf("making %s with xlwt ...\n", qPrintable(path));
        QProcess p;
        p.start("/usr/bin/python3", {"-c", makeBook, path});
        if (!p.waitForFinished(600000) || p.exitCode() != 0) {
            std::fprintf(stderr, "xlwt failed: %s\n", p.readAllStandardError().constData());
            return 1;
        }
    }
    const double fileMb = double(QFileInfo(path).size()) / (1024.0 * 1024.0);
    const QString self = QCoreApplication::applicationFilePath();

    QList<double> workRatio, wholeRatio, wallRatio, memRatio;
    Run ours, xlrd;
    for (int pair = 0; pair < 3; ++pair) {
        if (!runChild("/usr/bin/python3", {"-c", readXlrd, path}, xlrd)) return 1;
        if (!runChild(self, {"--child", path}, ours)) return 1;
        workRatio << xlrd.work / ours.work;
        wholeRatio << xlrd.whole / ours.whole;
        wallRatio << xlrd.wall / ours.wall;
        memRatio << double(xlrd.peakKb) / double(ours.peakKb);
        std::printf("pair %d: work ours %.3f s (then %.3f s to free the model) xlrd %.3f s (%.1fx)   "
                    "whole process ours %.3f s xlrd %.3f s (%.1fx)   wall clock ours %.3f s xlrd %.3f s (%.1fx)   "
                    "peak ours %.1f MB xlrd %.1f MB (%.2fx)\n",
                    pair + 1, ours.work, ours.free, xlrd.work, workRatio.last(), ours.whole, xlrd.whole, wholeRatio.last(),
                    ours.wall, xlrd.wall, wallRatio.last(), double(ours.peakKb) / 1024.0, double(xlrd.peakKb) / 1024.0,
                    memRatio.last());
        if (ours.chars != xlrd.chars)
            std::printf("  note: %lld characters of cell text, xlrd %lld\n", (long long)ours.chars, (long long)xlrd.chars);
    }
    std::printf("file: %.1f MB, %lld cells, %lld characters of cell text\n", fileMb, (long long)ours.cells, (long long)ours.chars);
    auto worst = [](const QList<double>& v) { return *std::min_element(v.begin(), v.end()); };
    std::printf("speed of the work (xlrd / ours, processor time): median %.1fx, worst %.1fx (target >= 10x)\n",
                median(workRatio), worst(workRatio));
    std::printf("whole process with start-up (xlrd / ours, processor time): median %.1fx, worst %.1fx (target >= 10x)\n", median(wholeRatio),
                worst(wholeRatio));
    std::printf("whole process, wall clock from start to end (xlrd / ours): median %.1fx, worst %.1fx\n", median(wallRatio),
                worst(wallRatio));
    std::printf("peak resident size (xlrd / ours): median %.2fx, worst %.2fx (target >= 1x)\n", median(memRatio), worst(memRatio));
    const bool ok = median(workRatio) >= 10 && median(wholeRatio) >= 10 && median(memRatio) >= 1;
    std::printf("%s\n", ok ? "targets met" : "TARGETS MISSED");
    return ok ? 0 : 2;
}

// Reads a 65,000-row x 10-column BIFF8 workbook (numbers and shared strings, written by xlwt)
// to every cell text, beside xlrd and catdoc's xls2csv (which writes every cell as CSV) on the same
// file in the same run. Each side runs as a process of its own, in turns, five pairs by default;
// ours and xlrd report the processor time of their work (reading and every cell's text, without
// the start-up of Python or of the program); for every process the benchmark takes the processor
// time of the whole process, its peak resident size and its wall-clock time from the system.
//   bench_spreadsheet [workbook.xls] [pairs]   (without a file one is made in a temporary folder)
//   bench_spreadsheet --child <workbook.xls> [--free]   (one read, as the benchmark runs it)
// The child, like a command that reads a workbook and exits, leaves its model to the system at
// exit; with --free it frees the model first and reports the time that took (the import wizard
// and the grid free theirs).
// Targets, as the median of the pairs (the worst pair is shown beside it): the whole process at
// least 12 times faster than xlrd's and 3 times faster than xls2csv's, and a peak resident size
// no larger than xls2csv's. xls2csv is skipped with a note when catdoc is not installed. Run it
// pinned to one processor (taskset -c N) on a shared machine.
#include "spreadsheet/XLSBook.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QList>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

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

// One read to every cell text; prints what the benchmark compares.
int child(const QString& path, bool freeModel)
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
    if (freeModel) book.reset();
    else (void)book.release();   // the process ends: the system takes its memory back at once
    const double cpu = cpuSeconds();
    std::printf("work=%.4f whole=%.4f chars=%lld peakkb=%ld cells=%lld free=%.4f\n", cpu1 - cpu0, cpu, (long long)chars,
                peakKb(), (long long)cells, cpu - cpu1);
    return 0;
}

struct Run {
    double work = 0, process = 0, wall = 0, free = 0;
    long peakKb = 0;
    qint64 chars = 0, cells = 0;
};

// Runs the program to its end, its output into a file (or thrown away); the output's last line
// may hold "name=value" fields. The processor time, peak and wall-clock time come from the system.
bool runChild(const QString& program, const QStringList& args, Run& out, bool keepOutput = true)
{
    QTemporaryDir tmp;
    const QByteArray outPath = keepOutput ? tmp.filePath("out").toLocal8Bit() : QByteArray("/dev/null");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    QList<QByteArray> bytes{program.toLocal8Bit()};
    for (const QString& a : args)
        bytes << a.toLocal8Bit();
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        return false;
    }
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    out.wall = double(t.nsecsElapsed()) / 1e9;
    out.process = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    out.peakKb = ru.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed (status %d)\n", argv[0], status);
        return false;
    }
    if (!keepOutput)
        return true;
    QFile f(QString::fromLocal8Bit(outPath));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& field : f.readAll().trimmed().split('\n').last().split(' ')) {
        const QByteArray name = field.left(field.indexOf('=')), value = field.mid(field.indexOf('=') + 1);
        if (name == "work") out.work = value.toDouble();
        else if (name == "chars") out.chars = value.toLongLong();
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
    if ((argc == 3 || argc == 4) && QByteArray(argv[1]) == "--child") {
        // No application object: the child is what a reading program needs, nothing more.
        return child(QString::fromLocal8Bit(argv[2]), argc == 4 && QByteArray(argv[3]) == "--free");
    }
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    const bool given = argc > 1 && QFileInfo(QString::fromLocal8Bit(argv[1])).isFile();
    const QString path = given ? QString::fromLocal8Bit(argv[1]) : tmp.filePath("bench65000.xls");
    const int pairs = std::max(1, argc > (given ? 2 : 1) ? std::atoi(argv[given ? 2 : 1]) : 5);
    if (!given) {
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
    const QString xls2csv = QStandardPaths::findExecutable("xls2csv");
    if (xls2csv.isEmpty())
        std::printf("xls2csv not found (Debian package catdoc): its comparison is skipped\n");
    double load[1] = {0};
    if (getloadavg(load, 1) == 1)
        std::printf("load average %.2f at the start\n", load[0]);

    QList<double> workRatio, wholeRatio, wallRatio, memRatio, catWhole, catWall, catMem;
    Run ours, xlrd, cat;
    for (int pair = 0; pair < pairs; ++pair) {
        if (!runChild("/usr/bin/python3", {"-c", readXlrd, path}, xlrd)) return 1;
        if (!runChild(self, {"--child", path}, ours)) return 1;
        workRatio << xlrd.work / ours.work;
        wholeRatio << xlrd.process / ours.process;
        wallRatio << xlrd.wall / ours.wall;
        memRatio << double(xlrd.peakKb) / double(ours.peakKb);
        std::printf("pair %d: work ours %.3f s xlrd %.3f s (%.1fx) | "
                    "whole process ours %.3f s xlrd %.3f s (%.1fx) | wall clock ours %.3f s xlrd %.3f s (%.1fx) | "
                    "peak ours %.1f MB xlrd %.1f MB\n",
                    pair + 1, ours.work, xlrd.work, workRatio.last(), ours.process, xlrd.process, wholeRatio.last(),
                    ours.wall, xlrd.wall, wallRatio.last(), double(ours.peakKb) / 1024.0, double(xlrd.peakKb) / 1024.0);
        if (ours.chars != xlrd.chars)
            std::printf("  note: %lld characters of cell text, xlrd %lld\n", (long long)ours.chars, (long long)xlrd.chars);
        if (!xls2csv.isEmpty()) {
            if (!runChild(xls2csv, {path}, cat, false)) return 1;
            if (!runChild(self, {"--child", path}, ours)) return 1;
            catWhole << cat.process / ours.process;
            catWall << cat.wall / ours.wall;
            catMem << double(cat.peakKb) / double(ours.peakKb);
            std::printf("        whole process ours %.3f s xls2csv %.3f s (%.1fx) | wall clock ours %.3f s xls2csv %.3f s (%.1fx) | "
                        "peak ours %.1f MB xls2csv %.1f MB\n",
                        ours.process, cat.process, catWhole.last(), ours.wall, cat.wall, catWall.last(),
                        double(ours.peakKb) / 1024.0, double(cat.peakKb) / 1024.0);
        }
        std::fflush(stdout);
    }
    std::printf("file: %.1f MB, %lld cells, %lld characters of cell text\n", fileMb, (long long)ours.cells, (long long)ours.chars);
    Run freed;
    if (runChild(self, {"--child", path, "--free"}, freed))
        std::printf("freeing the model (as the import wizard and the grid do), once: %.3f s\n", freed.free);
    auto worst = [](const QList<double>& v) { return *std::min_element(v.begin(), v.end()); };
    std::printf("speed of the work (xlrd / ours, processor time): median %.1fx, worst %.1fx\n", median(workRatio), worst(workRatio));
    std::printf("whole process (xlrd / ours, processor time): median %.1fx, worst %.1fx (target >= 12x)\n", median(wholeRatio),
                worst(wholeRatio));
    std::printf("whole process, wall clock (xlrd / ours): median %.1fx, worst %.1fx\n", median(wallRatio), worst(wallRatio));
    std::printf("peak resident size (xlrd / ours): median %.2fx, worst %.2fx\n", median(memRatio), worst(memRatio));
    bool ok = median(wholeRatio) >= 12;
    if (!catWhole.isEmpty()) {
        std::printf("whole process (xls2csv / ours, processor time): median %.1fx, worst %.1fx (target >= 3x)\n",
                    median(catWhole), worst(catWhole));
        std::printf("whole process, wall clock (xls2csv / ours): median %.1fx, worst %.1fx\n", median(catWall), worst(catWall));
        std::printf("peak resident size (xls2csv / ours): median %.2fx, worst %.2fx (target >= 1x)\n", median(catMem),
                    worst(catMem));
        ok = ok && median(catWhole) >= 3 && median(catMem) >= 1;
    }
    if (getloadavg(load, 1) == 1)
        std::printf("load average %.2f at the end\n", load[0]);
    std::printf("%s\n", ok ? "targets met" : "TARGETS MISSED");
    return ok ? 0 : 2;
}

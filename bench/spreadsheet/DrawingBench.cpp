// Reads a BIFF8 workbook of about 40 MB with 300 pictures and 200 embedded charts (made by
// LibreOffice from a generated flat-ODF file) with its drawings and charts modelled, and the same
// workbook's cells without them; gnumeric's ssconvert converts the full file to CSV for
// comparison. Every read is a process of its own, our reader's and ssconvert's taking turns so
// that both meet the same load: three rounds, each telling the process's wall time and CPU time
// (user + system, all threads) as the parent sees them, and our read's own time and peak
// resident memory. Reported: median and worst of the three, the ratios per round.
//   bench_spreadsheet_drawing [folder]   (the workbooks are made there once, default: a temporary folder)
//   bench_spreadsheet_drawing --child <workbook.xls>
// Targets: the full read under 1.5 s; peak memory under twice the file size plus 50 MB; at least
// 5 times faster than ssconvert (median over the rounds, process wall time against process wall
// time).
#include "spreadsheet/XLSBook.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

const char* const makeSource = R"PY(
import base64, os, random, struct, sys, zlib
out_full, out_cells, pictures, charts, rows = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
rnd = random.Random(7)
def png(w, h):
    raw = b''.join(b'\0' + rnd.randbytes(w * 3) for _ in range(h))
    def chunk(t, d): return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
    return b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0)) + chunk(b'IDAT', zlib.compress(raw, 0)) + chunk(b'IEND', b'')
head = '''<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" xmlns:chart="urn:oasis:names:tc:opendocument:xmlns:chart:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink" xmlns:loext="urn:org:documentfoundation:names:experimental:office:xmlns:loext:1.0"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.spreadsheet"><office:body><office:spreadsheet>
<table:table table:name="Daten"><table:table-column table:number-columns-repeated="3"/>
'''
def write(path, shapes):
    with open(path, 'w') as f:
        f.write(head)
        for r in range(rows):
            extra = ''
            if shapes and r < pictures:
                extra += ('<draw:frame svg:width="2cm" svg:height="2cm" svg:x="8cm" svg:y="0cm"><draw:image loext:mime-type="image/png">'
                          '<office:binary-data>%s</office:binary-data></draw:image></draw:frame>' % base64.b64encode(png(210, 200)).decode())
            if shapes and r < charts:
                extra += ('<draw:frame svg:width="6cm" svg:height="4cm" svg:x="11cm" svg:y="0cm"><draw:object><office:document '
                          'office:mimetype="application/vnd.oasis.opendocument.chart" office:version="1.3"><office:body><office:chart>'
                          '<chart:chart chart:class="chart:bar"><chart:plot-area table:cell-range-address="Daten.C%d:Daten.C%d">'
                          '<chart:axis chart:dimension="x" chart:name="primary-x"/><chart:axis chart:dimension="y" chart:name="primary-y"/>'
                          '<chart:series chart:values-cell-range-address="Daten.C%d:Daten.C%d"/></chart:plot-area></chart:chart>'
                          '</office:chart></office:body></office:document></draw:object></draw:frame>' % (r + 1, r + 5, r + 1, r + 5))
            f.write('<table:table-row><table:table-cell office:value-type="string"><text:p>Kunde %d</text:p>%s</table:table-cell>'
                    '<table:table-cell office:value-type="string"><text:p>k%d@example.de</text:p></table:table-cell>'
                    '<table:table-cell office:value-type="float" office:value="%d"><text:p>%d</text:p></table:table-cell></table:table-row>\n'
                    % (r, extra, r, r, r))
        f.write('</table:table></office:spreadsheet></office:body></office:document>\n')
write(out_full, True)
write(out_cells, False)
)PY";

int child(const QString& path)
{
    QElapsedTimer t;
    t.start();
    xls::TXLSBook book;
    book.Filename = path;
    book.Read();
    const double secs = double(t.nsecsElapsed()) / 1e9;
    int shapes = 0, charts = 0;
    for (int i = 0; i < book.Sheets().Count(); ++i) {
        book.Sheets()[i]->Drawing().ForEachShape([&](xls::TShape*) { ++shapes; });
        charts += book.Sheets()[i]->Charts().Count();
    }
    long peakKb = 0;
    QFile status("/proc/self/status");
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:")) peakKb = line.mid(6).trimmed().split(' ').first().toLong();
    std::printf("secs=%.4f peak=%ld pictures=%d shapes=%d charts=%d cells=%d\n", secs, peakKb, book.MSOPictures().Count(), shapes,
                charts, int(book.Sheets()[0]->LastRow()) + 1);
    return 0;
}

// CPU time of the children reaped so far, in seconds.
double childCpu()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs a process to its end; `wall` and `cpu` as the parent sees them, its last output line's
// fields in the map (empty on failure).
QMap<QByteArray, double> runProcess(const QString& program, const QStringList& args, double& wall, double& cpu)
{
    QMap<QByteArray, double> out;
    const double cpu0 = childCpu();
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(program, args);
    const bool done = p.waitForFinished(3600000);
    wall = double(t.nsecsElapsed()) / 1e9;
    cpu = childCpu() - cpu0;
    if (!done || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return out;
    out["ok"] = 1;
    const QList<QByteArray> lines = p.readAllStandardOutput().trimmed().split('\n');
    for (const QByteArray& field : lines.last().split(' '))
        if (field.contains('=')) out[field.left(field.indexOf('='))] = field.mid(field.indexOf('=') + 1).toDouble();
    return out;
}

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

QByteArray loadAverage()
{
    QFile f("/proc/loadavg");
    return f.open(QIODevice::ReadOnly) ? f.readAll().split(' ').mid(0, 3).join(' ') : QByteArray("?");
}

bool make(const QString& dir, const QString& full)
{
    std::printf("making the workbooks in %s with LibreOffice ...\n", qPrintable(dir));
    QProcess gen;
    gen.start("/usr/bin/python3", {"-c", makeSource, dir + "/drawings.fods", dir + "/cells.fods", "300", "200", "2000"});
    if (!gen.waitForFinished(600000) || gen.exitCode() != 0) return false;
    for (const char* name : {"drawings.fods", "cells.fods"}) {
        QProcess conv;
        conv.start("soffice", {"--headless", "-env:UserInstallation=file://" + dir + "/profile", "--convert-to", "xls:MS Excel 97",
                               "--outdir", dir, dir + "/" + name});
        if (!conv.waitForFinished(3600000)) return false;
    }
    return QFileInfo::exists(full);
}

}

int main(int argc, char** argv)
{
    if (argc == 3 && QByteArray(argv[1]) == "--child") return child(QString::fromLocal8Bit(argv[2]));
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : tmp.path();
    const QString full = dir + "/drawings.xls", cells = dir + "/cells.xls";
    if (!QFileInfo::exists(full) && !make(dir, full)) return 1;
    const double size = double(QFileInfo(full).size());
    const QString self = QCoreApplication::applicationFilePath();
    std::printf("load average before: %s\n", loadAverage().constData());
    QList<double> readSecs, wallSecs, cpuSecs, cellSecs, ssWall, ssCpu, wallRatio, cpuRatio, peaks;
    QMap<QByteArray, double> last;
    for (int round = 0; round < 3; ++round) {
        double wall = 0, cpu = 0, sw = 0, sc = 0, cw = 0, cc = 0;
        last = runProcess(self, {"--child", full}, wall, cpu);
        const auto ss = runProcess("ssconvert", {"-T", "Gnumeric_stf:stf_csv", full, dir + "/out.csv"}, sw, sc);
        const auto c = runProcess(self, {"--child", cells}, cw, cc);
        if (last.isEmpty() || c.isEmpty()) return 1;
        if (ss.isEmpty()) {
            std::printf("ssconvert failed\n");
            return 1;
        }
        readSecs << last["secs"];
        wallSecs << wall;
        cpuSecs << cpu;
        cellSecs << c["secs"];
        peaks << last["peak"] * 1024.0;
        ssWall << sw;
        ssCpu << sc;
        wallRatio << sw / wall;
        cpuRatio << sc / cpu;
        std::printf("round %d: ours %.3f s wall (read %.3f s), %.3f s CPU; ssconvert %.3f s wall, %.3f s CPU; %.1fx wall, %.1fx CPU\n",
                    round + 1, wall, last["secs"], cpu, sw, sc, sw / wall, sc / cpu);
    }
    const double peak = *std::max_element(peaks.begin(), peaks.end());
    auto worst = [](const QList<double>& v) { return *std::max_element(v.begin(), v.end()); };
    auto least = [](const QList<double>& v) { return *std::min_element(v.begin(), v.end()); };
    std::printf("file %.1f MB: %d pictures, %d shapes, %d charts, %d rows\n", size / 1e6, int(last["pictures"]), int(last["shapes"]),
                int(last["charts"]), int(last["cells"]));
    std::printf("read with drawings and charts: median %.3f s, worst %.3f s (target < 1.5 s); cells-only workbook: median %.3f s\n",
                median(readSecs), worst(readSecs), median(cellSecs));
    std::printf("our process: wall median %.3f s, worst %.3f s; CPU median %.3f s, worst %.3f s\n", median(wallSecs), worst(wallSecs),
                median(cpuSecs), worst(cpuSecs));
    std::printf("ssconvert to CSV: wall median %.3f s, worst %.3f s; CPU median %.3f s, worst %.3f s\n", median(ssWall), worst(ssWall),
                median(ssCpu), worst(ssCpu));
    std::printf("ssconvert / ours, wall: median %.1fx, worst %.1fx (target >= 5x); CPU: median %.1fx, worst %.1fx\n", median(wallRatio),
                least(wallRatio), median(cpuRatio), least(cpuRatio));
    std::printf("peak memory %.1f MB (target < %.1f MB)\n", peak / 1e6, (2 * size + 50e6) / 1e6);
    std::printf("load average after: %s\n", loadAverage().constData());
    const bool ok = median(readSecs) < 1.5 && peak < 2 * size + 50e6 && median(wallRatio) >= 5;
    std::printf("%s\n", ok ? "targets met" : "TARGETS MISSED");
    return ok ? 0 : 2;
}

// Reads a BIFF8 workbook of about 40 MB with 300 pictures and 200 embedded charts (made by
// LibreOffice from a generated flat-ODF file) with its drawings and charts modelled, and the same
// workbook's cells without them; gnumeric's ssconvert converts the full file to CSV for
// comparison. Each read runs as a process of its own (three runs, the median reported) and tells
// its wall time and peak resident memory.
//   bench_spreadsheet_drawing [folder]   (the workbooks are made there once, default: a temporary folder)
//   bench_spreadsheet_drawing --child <workbook.xls>
// Targets: the full read under 1.5 s; peak memory under twice the file size plus 50 MB; at least
// 5 times faster than ssconvert.
#include "spreadsheet/XLSBook.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

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

QMap<QByteArray, double> runChild(const QString& program, const QString& path)
{
    QMap<QByteArray, double> out;
    QProcess p;
    p.start(program, {"--child", path});
    if (!p.waitForFinished(600000) || p.exitCode() != 0) return out;
    for (const QByteArray& field : p.readAllStandardOutput().trimmed().split('\n').last().split(' '))
        out[field.left(field.indexOf('='))] = field.mid(field.indexOf('=') + 1).toDouble();
    return out;
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
    QList<double> fullSecs, cellSecs, peaks;
    QMap<QByteArray, double> last;
    for (int run = 0; run < 3; ++run) {
        last = runChild(self, full);
        const auto c = runChild(self, cells);
        if (last.isEmpty() || c.isEmpty()) return 1;
        fullSecs << last["secs"];
        cellSecs << c["secs"];
        peaks << last["peak"] * 1024.0;
    }
    QElapsedTimer t;
    t.start();
    QProcess ss;
    ss.start("ssconvert", {"-T", "Gnumeric_stf:stf_csv", full, dir + "/out.csv"});
    ss.waitForFinished(3600000);
    const double ssSecs = double(t.nsecsElapsed()) / 1e9;
    std::sort(fullSecs.begin(), fullSecs.end());
    std::sort(cellSecs.begin(), cellSecs.end());
    const double peak = *std::max_element(peaks.begin(), peaks.end());
    std::printf("file %.1f MB: %d pictures, %d shapes, %d charts, %d rows\n", size / 1e6, int(last["pictures"]), int(last["shapes"]),
                int(last["charts"]), int(last["cells"]));
    std::printf("read with drawings and charts: median %.3f s (target < 1.5 s); cells-only workbook: median %.3f s\n", fullSecs[1],
                cellSecs[1]);
    std::printf("peak memory %.1f MB (target < %.1f MB)\n", peak / 1e6, (2 * size + 50e6) / 1e6);
    std::printf("ssconvert to CSV %.2f s: %.1fx our read (target >= 5x)\n", ssSecs, ssSecs / fullSecs[1]);
    const bool ok = fullSecs[1] < 1.5 && peak < 2 * size + 50e6 && ssSecs / fullSecs[1] >= 5;
    std::printf("%s\n", ok ? "targets met" : "TARGETS MISSED");
    return ok ? 0 : 2;
}

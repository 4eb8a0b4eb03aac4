// Speed of the plain-text alternative and the picture scan of an HTML mail, against Python's
// html2text on the same file in the same run. Target: ours at least 20 times faster.
//   bench_htmltext [size in KB, default 1024] [rounds, default 5]
#include "mailing/HtmlMailText.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

// A newsletter as an editor writes it: a style block, then articles with headings, paragraphs
// with entities and links, pictures, tables and lists.
QByteArray Newsletter(qsizetype targetBytes)
{
    QByteArray html =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Newsletter Dezember</title>\n"
        "<style type=\"text/css\">\nbody { font-family: Arial, sans-serif; margin: 0; }\n"
        "p { line-height: 1.4; color: #333333; }\n.teaser td { padding: 4px 8px; }\n</style></head>\n"
        "<body style=\"background-color: #ffffff\">\n";
    int n = 0;
    while (html.size() < targetBytes) {
        ++n;
        const QByteArray k = QByteArray::number(n);
        html += "<h2>Artikel " + k + ": Neues aus M&uuml;nchen &amp; K&ouml;ln</h2>\n"
                "<p>Liebe Leserinnen und Leser,&nbsp;wir freuen uns &uuml;ber <b>" + k +
                "</b> neue Kunden. Mehr dazu auf <a href=\"https://example.de/artikel/" + k +
                "?utm_source=mail&amp;id=" + k + "\">unserer Seite</a> &#8211; oder schreiben Sie an "
                "<a href=\"mailto:info@example.de\">info@example.de</a>.</p>\n"
                "<p><img src=\"https://cdn.example.de/bilder/" + k + ".jpg\" alt=\"Bild " + k +
                "\" width=\"600\" height=\"300\"></p>\n"
                "<table class=\"teaser\" width=\"100%\"><tr><td background=\"https://cdn.example.de/bg.png\">"
                "Preis:&nbsp;19,99&nbsp;&euro;</td><td>Rabatt &gt; 10&nbsp;%</td></tr>\n"
                "<tr><td colspan=\"2\"><ul><li>Erster Punkt</li><li>Zweiter Punkt mit &quot;Zitat&quot;</li>"
                "<li>Dritter&#160;Punkt</li></ul></td></tr></table>\n"
                "<!-- Ende Artikel " + k + " -->\n";
    }
    html += "<p><img src=\"/tmp/quillory-bench-missing.png\"></p></body></html>\n";
    return html;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qsizetype kb = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 5;

    QTemporaryDir dir;
    const QString path = dir.filePath("newsletter.html");
    const QByteArray bytes = Newsletter(kb * 1024);
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }

    // ours: read, decode, plain text and picture scan; the best of several rounds
    qint64 best = std::numeric_limits<qint64>::max();
    qint64 bestRead = best, bestPlain = best, bestScan = best;
    qsizetype lines = 0, pictures = 0;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        const QString html = QString::fromUtf8(f.readAll());
        const qint64 read = t.nsecsElapsed();
        lines = htmlmail::PlainTextLines(html).size();
        const qint64 plain = t.nsecsElapsed();
        pictures = htmlmail::ScanPictures({html}).size();
        const qint64 all = t.nsecsElapsed();
        best = std::min(best, all);
        bestRead = std::min(bestRead, read);
        bestPlain = std::min(bestPlain, plain - read);
        bestScan = std::min(bestScan, all - plain);
    }
    const double ours = best / 1e9;

    // html2text: the conversion alone, timed inside Python (interpreter start not counted)
    QProcess py;
    py.start("/usr/bin/python3",
             {"-c",
              "import sys, time, html2text\n"
              "best = bestRead = None\n"
              "for _ in range(int(sys.argv[2])):\n"
              "    t = time.perf_counter()\n"
              "    s = open(sys.argv[1], encoding='utf-8').read()\n"
              "    r = time.perf_counter() - t\n"
              "    out = html2text.HTML2Text().handle(s)\n"
              "    d = time.perf_counter() - t\n"
              "    best = d if best is None else min(best, d)\n"
              "    bestRead = r if bestRead is None else min(bestRead, r)\n"
              "print(best, bestRead)\n",
              path, QString::number(std::min(rounds, 3))});
    if (!py.waitForFinished(600000) || py.exitCode() != 0) {
        std::fprintf(stderr, "html2text failed: %s\n", py.readAllStandardError().constData());
        return 1;
    }
    const QList<QByteArray> figures = py.readAllStandardOutput().trimmed().split(' ');
    const double theirs = figures.value(0).toDouble();
    const double theirsRead = figures.value(1).toDouble();
    const double oursConvert = (bestPlain + bestScan) / 1e9;

    std::printf("input:      %lld bytes, %lld plain-text lines, %lld picture references\n",
                static_cast<long long>(bytes.size()), static_cast<long long>(lines),
                static_cast<long long>(pictures));
    std::printf("ours:       %.4f s (best of %d; read and decode %.4f, plain text %.4f, picture scan %.4f)\n",
                ours, rounds, bestRead / 1e9, bestPlain / 1e9, bestScan / 1e9);
    std::printf("html2text:  %.4f s (best of %d; read and decode %.4f, conversion %.4f)\n", theirs,
                std::min(rounds, 3), theirsRead, theirs - theirsRead);
    const double ratio = (theirs - theirsRead) / oursConvert;
    std::printf("ratio:      %.1f x conversion alone (target: at least 20 x) %s; %.1f x with reading the file\n",
                ratio, ratio >= 20 ? "met" : "NOT MET", theirs / ours);
    return 0;
}

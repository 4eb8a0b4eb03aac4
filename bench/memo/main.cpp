// Source memo benchmark, run by hand in a Release build:
//   cmake -S . -B build-memo-rel -G Ninja -DCMAKE_BUILD_TYPE=Release -DQLY_BENCH=ON
//   cmake --build build-memo-rel --target bench_memo && QT_QPA_PLATFORM=offscreen build-memo-rel/bench/memo/bench_memo
// Targets: load under 300 ms, every page repaint under 16 ms, every keystroke under 5 ms (keys go
// through the window with the program's typing aids: web styler, parameter hint after every key,
// completion timer), export of the 5 MB document as HTML and as RTF under 1 s each.
#include "htmleditor/memo/ZedMemo.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

QByteArray MultiLineDocument(qsizetype bytes)
{
    QByteArray doc = "<html>\r\n<head><title>Newsletter</title>\r\n<style>td { font-size: 12px; }</style>\r\n</head>\r\n<body>\r\n";
    int i = 0;
    while (doc.size() < bytes) {
        doc += "  <table width=\"100%\" cellpadding=\"0\"><tr><td class='c" + QByteArray::number(i % 7)
            + "'>Hallo %Vorname% %Nachname%, item " + QByteArray::number(i) + "</td></tr></table>\r\n";
        doc += "  <!-- block " + QByteArray::number(i) + " -->\r\n";
        doc += "  <p>Visit <a href=\"https://example.org/p/" + QByteArray::number(i)
            + "\">our shop</a> - prices from 12.50 EUR</p>\r\n";
        ++i;
    }
    doc += "</body>\r\n</html>\r\n";
    return doc;
}

QByteArray SingleLineDocument(qsizetype bytes)
{
    QByteArray doc = "<html><head><title>Newsletter</title></head><body>";
    int i = 0;
    while (doc.size() < bytes) {
        doc += "<table width=\"100%\"><tr><td class='c" + QByteArray::number(i % 7) + "'>Hallo %Vorname%, item "
            + QByteArray::number(i) + "</td></tr></table><!-- b" + QByteArray::number(i) + " --><p><a href=\"https://example.org/"
            + QByteArray::number(i) + "\">shop</a></p>";
        ++i;
    }
    doc += "</body></html>";
    return doc;
}

// CPU time of the main thread, so a busy machine distorts the figures less than wall time.
double CpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Stats {
    double max = 0, sum = 0, cpuMax = 0, cpuSum = 0;
    int n = 0;
    int cpuMaxAt = -1;
    int cpuOver5 = 0;
    void Add(double ms, double cpu)
    {
        if (cpu > cpuMax)
            cpuMaxAt = n;
        max = std::max(max, ms);
        sum += ms;
        cpuMax = std::max(cpuMax, cpu);
        cpuSum += cpu;
        if (cpu >= 5)
            ++cpuOver5;
        ++n;
    }
    double Avg() const { return n ? sum / n : 0; }
    double CpuAvg() const { return n ? cpuSum / n : 0; }
};

double Ms(QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

void Run(const char* name, const QByteArray& data, const QString& file, bool horizontal)
{
    {
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write(data);
    }
    TZedMemo memo;
    TZedWebMemoStyler styler;
    memo.SetSyntaxStyles(&styler);
    memo.resize(1200, 900);
    memo.show();
    QApplication::processEvents();
    memo.setFocus();

    QElapsedTimer t;
    t.start();
    double cpu = CpuMs();
    memo.Lines().LoadFromFile(file);
    const double load = Ms(t);
    const double loadCpu = CpuMs() - cpu;
    memo.viewport()->repaint();

    Stats pages;
    const int rows = memo.VisibleRows();
    const int cols = memo.VisibleCols();
    const int pageCount = horizontal ? 300 : (memo.Lines().Count() + rows - 1) / rows;
    for (int i = 1; i < pageCount; ++i) {
        t.restart();
        cpu = CpuMs();
        if (horizontal)
            memo.SetLeftColumn(i * cols);
        else
            memo.SetTopLine(i * rows);
        memo.viewport()->repaint();
        pages.Add(Ms(t), CpuMs() - cpu);
    }

    Stats keys, typing;
    const int mid = memo.Lines().Count() / 2;
    memo.SetCaretLine(mid);
    memo.SetCaretCol(int(memo.LineText(mid).length() / 2));
    memo.viewport()->repaint();
    for (int i = 0; i < 1000; ++i) {
        const QChar ch = (i % 10 == 9) ? QLatin1Char(' ') : QChar(u'a' + i % 26);
        QKeyEvent press(QEvent::KeyPress, ch == QLatin1Char(' ') ? int(Qt::Key_Space) : int(ch.toUpper().unicode()),
                        Qt::NoModifier, QString(ch));
        t.restart();
        cpu = CpuMs();
        QApplication::sendEvent(&memo, &press);
        const double typed = CpuMs() - cpu;
        memo.viewport()->repaint();
        keys.Add(Ms(t), CpuMs() - cpu);
        typing.Add(typed, typed);
    }
    std::printf("%s: %d lines, %.1f MB\n", name, memo.Lines().Count(), data.size() / 1048576.0);
    std::printf("  load          wall %8.1f ms, cpu %8.1f ms   (target < 300)\n", load, loadCpu);
    std::printf("  page repaint  wall max %6.2f avg %5.2f ms, cpu max %6.2f avg %5.2f ms, %d pages   (target < 16)\n",
                pages.max, pages.Avg(), pages.cpuMax, pages.CpuAvg(), pages.n);
    std::printf("  keystroke     wall max %6.2f avg %5.2f ms, cpu max %6.2f avg %5.2f ms, %d keys, %d of them >= 5 ms cpu"
                "   (target < 5)\n",
                keys.max, keys.Avg(), keys.cpuMax, keys.CpuAvg(), keys.n, keys.cpuOver5);
    std::printf("  of which the edit itself: cpu max %6.2f avg %5.2f ms (slowest #%d), the rest is painting\n",
                typing.cpuMax, typing.CpuAvg(), typing.cpuMaxAt);
    std::printf("  (slowest page #%d, slowest key #%d by cpu)\n", pages.cpuMaxAt, keys.cpuMaxAt);
    if (horizontal)
        return;
    t.restart();
    cpu = CpuMs();
    const QStringList html = memo.ExportHtml();
    const double htmlMs = Ms(t), htmlCpu = CpuMs() - cpu;
    t.restart();
    cpu = CpuMs();
    const QString rtf = memo.ExportRtf();
    const double rtfMs = Ms(t), rtfCpu = CpuMs() - cpu;
    std::printf("  export        HTML wall %8.1f cpu %8.1f ms (%lld lines), RTF wall %8.1f cpu %8.1f ms (%.1f MB)"
                "   (target < 1000 each)\n",
                htmlMs, htmlCpu, (long long)html.size(), rtfMs, rtfCpu, rtf.size() / 1048576.0);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    // "multi" or "single" runs one of the two documents (for a profile of one).
    const QByteArray only = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (only.isEmpty() || only == "multi")
        Run("5 MB HTML, many lines", MultiLineDocument(5 * 1024 * 1024), dir.filePath(QStringLiteral("multi.html")), false);
    if (only.isEmpty() || only == "single")
        Run("1 MB HTML, one line", SingleLineDocument(1024 * 1024), dir.filePath(QStringLiteral("single.html")), true);
    return 0;
}

// File lists and the download dialog, run by hand in a Release build (-DQLY_BENCH=ON):
//   bench_shell [search|download|all]
// 1. Search: a tree of 100,000 files (100 folders of 1,000, ten "*.pdf" in each) is searched by
//    TOrvFileList::StartSearch with the filter "*.pdf" until OnEndSearch, and by
//    `find DIR -name '*.pdf'` in the same run (warm cache for both). Target: within 3 times
//    find's time; the event loop never held longer than 100 ms (a 5 ms timer measures the
//    longest gap between its ticks).
// 2. Download: 500 MB from the local test server (tests/app/data/http_server.py) with the
//    download dialog and with `curl -o` on the same URL. Target: within 1.5 times curl's time;
//    the resident memory grows by less than 32 MB during the download.
#include "app/OrvDownloadDialog.h"
#include "controls/shell/OrvFileList.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

long RssKb()
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

// The longest gap between ticks of a 5 ms timer while it runs.
class StallMeter {
public:
    StallMeter()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.elapsed();
            if (now - m_last > m_longest) {
                m_longest = now - m_last;
                m_at = now;
            }
            m_last = now;
        });
        m_clock.start();
        m_timer.start();
    }
    qint64 Longest() const { return m_longest; }
    qint64 At() const { return m_at; } // when the longest gap ended (ms after the start)

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0, m_longest = 0, m_at = 0;
};

double RunProcess(const QString& program, const QStringList& args)
{
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, args);
    p.waitForFinished(-1);
    return t.elapsed() / 1000.0;
}

bool Search()
{
    QTemporaryDir dir;
    std::printf("search: making 100,000 files...\n");
    std::fflush(stdout);
    for (int d = 0; d < 100; ++d) {
        const QString folder = dir.path() + QStringLiteral("/ordner%1").arg(d, 3, 10, QLatin1Char('0'));
        QDir().mkpath(folder);
        for (int f = 0; f < 1000; ++f) {
            QFile file(folder + QStringLiteral("/datei%1.%2").arg(f, 4, 10, QLatin1Char('0')).arg(f % 100 == 0 ? "pdf" : "txt"));
            file.open(QIODevice::WriteOnly);
        }
    }
    RunProcess(QStringLiteral("find"), {dir.path(), QStringLiteral("-name"), QStringLiteral("*.pdf")}); // warm the cache
    const double find = RunProcess(QStringLiteral("find"), {dir.path(), QStringLiteral("-name"), QStringLiteral("*.pdf")});

    TOrvFileList list;
    list.SearchOptions.SetFilter(QStringLiteral("*.pdf"));
    QEventLoop loop;
    list.OnEndSearch = [&] { loop.quit(); };
    StallMeter stalls;
    QElapsedTimer t;
    t.start();
    list.StartSearch(dir.path());
    const qint64 startCall = t.elapsed();
    loop.exec();
    const double search = t.elapsed() / 1000.0;
    const bool ok = search <= 3 * find && stalls.Longest() <= 100 && list.Count() == 1000;
    std::printf("search: StartSearch returned after %lld ms; the longest stall ended %lld ms after the start\n", startCall, stalls.At());
    std::printf("search: %d files found in %.3f s, find %.3f s, ratio %.2f (target <= 3), longest stall %lld ms (target <= 100) %s\n",
                list.Count(), search, find, search / find, stalls.Longest(), ok ? "OK" : "MISSED");
    return ok;
}

bool Download()
{
    QProcess server;
    server.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(QLY_SOURCE_DIR "/tests/app/data/http_server.py")});
    if (!server.waitForStarted(5000) || !server.waitForReadyRead(5000)) {
        std::printf("download: the test server did not start\n");
        return false;
    }
    const int port = server.readLine().trimmed().toInt();
    const qint64 size = 500LL * 1024 * 1024;
    const QString url = QStringLiteral("http://127.0.0.1:%1/bytes/%2").arg(port).arg(size);
    QTemporaryDir dir;
    const double curl = RunProcess(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-o"), dir.path() + "/curl.bin", url});

    app::TOrvDownloadDialog dlg;
    dlg.Source = url;
    dlg.Destination = dir.path() + "/dialog.bin";
    dlg.AlwaysOverwrite = true;
    dlg.ShowMessage = [](const QString& m) { std::printf("download: message %s\n", qPrintable(m)); };
    const long before = RssKb();
    long peak = before;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { peak = std::max(peak, RssKb()); });
    sampler.start(20);
    QElapsedTimer t;
    t.start();
    dlg.Execute();
    const double mine = (t.elapsed() - 300) / 1000.0; // without the window's 300 ms start delay
    sampler.stop();
    const qint64 got = QFileInfo(dlg.Destination).size();
    const long growthMb = (peak - before) / 1024;
    const bool ok = got == size && mine <= 1.5 * curl && growthMb < 32;
    std::printf("download: %lld bytes in %.3f s (+0.3 s start delay), curl %.3f s, ratio %.2f (target <= 1.5), memory growth %ld MB "
                "(target < 32) %s\n",
                got, mine, curl, mine / curl, growthMb, ok ? "OK" : "MISSED");
    server.kill();
    server.waitForFinished(2000);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString what = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("all");
    bool ok = true;
    if (what == QLatin1String("search") || what == QLatin1String("all"))
        ok = Search() && ok;
    if (what == QLatin1String("download") || what == QLatin1String("all"))
        ok = Download() && ok;
    return ok ? 0 : 1;
}

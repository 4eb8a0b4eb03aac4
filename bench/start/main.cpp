// Program start, run by hand in a Release build (-DQLY_BENCH=ON):
//   bench_start [runs]
// 1. Launch to main window shown: starts the program (offscreen, its own XDG folders) with
//    QLY_QUIT_AFTER_SHOW and takes the time until it reports the shown window. The first run
//    creates the settings and the database; the others start on them. Target: under 0.6 s.
// 2. Memory: the main window in a child process of this benchmark, shown; the resident memory
//    of the process (and of its child processes) after the start, then again after the content
//    page's editor and the preview have started the web engine.
#include "app/MainForm.h"
#include "htmleditor/HtmlPreview.h"
#include "platform/app/Application.h"

#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolButton>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>
#include <unistd.h>

namespace {

void Wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Resident memory of a process in kB.
long RssKb(int pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

// The processes below pid (the web engine's helpers).
std::vector<int> Descendants(int pid)
{
    std::map<int, std::vector<int>> children;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool ok = false;
        const int p = entry.toInt(&ok);
        if (!ok)
            continue;
        std::ifstream in("/proc/" + std::to_string(p) + "/stat");
        std::string stat;
        std::getline(in, stat);
        const auto close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        int ppid = 0;
        std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid);
        children[ppid].push_back(p);
    }
    std::vector<int> out, todo{pid};
    while (!todo.empty()) {
        const int p = todo.back();
        todo.pop_back();
        for (int c : children[p]) {
            out.push_back(c);
            todo.push_back(c);
        }
    }
    return out;
}

void PrintMemory(const char* when)
{
    const int self = int(QCoreApplication::applicationPid());
    long helpers = 0;
    const std::vector<int> below = Descendants(self);
    for (int p : below)
        helpers += RssKb(p);
    std::printf("  %-34s program %6.1f MB, %zu helper processes %6.1f MB, together %6.1f MB\n", when, RssKb(self) / 1024.0,
                below.size(), helpers / 1024.0, (RssKb(self) + helpers) / 1024.0);
    std::fflush(stdout);
}

// The child: the main window as the program makes it, then the web engine.
int MemoryChild(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    platform::Application app(argc, argv);
    app.SetTitle(QStringLiteral("Quillory"));
    app::TMainForm window;
    window.show();
    Wait(500);
    PrintMemory("after the start (no web engine):");
    window.EditFrom->setText(QStringLiteral("info@x.de"));
    window.RadioButtonHtmlMail->setChecked(true);
    window.SpeedButtonContent->click(); // the editor's view
    window.WebBrowserP->SetDocument(QStringLiteral("<p>Hallo</p>")); // the preview's view
    Wait(2000);
    PrintMemory("with the web engine started:");
    return 0;
}

QProcessEnvironment PrivateEnvironment(const QString& root)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", root + "/config");
    env.insert("XDG_DATA_HOME", root + "/data");
    env.insert("XDG_CACHE_HOME", root + "/cache");
    env.insert("XDG_RUNTIME_DIR", root + "/run");
    // The web engine refuses to start its sandbox as root.
    if (::geteuid() == 0)
        env.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QDir().mkpath(root + "/run");
    QFile::setPermissions(root + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return env;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && QByteArray(argv[1]) == "--memory-child")
        return MemoryChild(argc, argv);

    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(2, std::atoi(argv[1])) : 6;
    QTemporaryDir dir;
    const QProcessEnvironment env = PrivateEnvironment(dir.path());

    std::printf("launch to main window shown (%s)\n", QLY_PROGRAM);
    std::vector<double> later;
    for (int i = 0; i < runs; ++i) {
        QProcessEnvironment e = env;
        e.insert("QLY_QUIT_AFTER_SHOW", "1");
        QProcess p;
        p.setProcessEnvironment(e);
        p.setProcessChannelMode(QProcess::SeparateChannels);
        p.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer t;
        t.start();
        p.start(QLY_PROGRAM, {});
        QByteArray out;
        double shown = -1;
        while (shown < 0 && p.waitForReadyRead(30000)) {
            out += p.readAllStandardOutput();
            if (out.contains("shown="))
                shown = double(t.nsecsElapsed()) / 1e9;
        }
        p.waitForFinished(30000);
        if (shown < 0) {
            std::printf("  run %d: no window reported (%s)\n", i + 1, out.constData());
            return 1;
        }
        std::printf("  run %d: %.3f s%s\n", i + 1, shown, i == 0 ? " (first start: settings and database created)" : "");
        if (i > 0)
            later.push_back(shown);
    }
    std::sort(later.begin(), later.end());
    std::printf("  later starts: median %.3f s, worst %.3f s   (target < 0.6)\n", later[later.size() / 2], later.back());

    std::printf("memory after the start\n");
    std::fflush(stdout);
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    child.setStandardErrorFile(QProcess::nullDevice());
    child.start(QCoreApplication::applicationFilePath(), {"--memory-child"});
    child.waitForFinished(120000);
    return child.exitCode();
}

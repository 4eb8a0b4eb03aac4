// Program start, run by hand in a Release build (-DQLY_BENCH=ON):
//   bench_start [runs [program [other]]]     (program: another build's quillory)
//   With "other" (a second build's quillory) the starts of the two alternate, each pair's ratio
//   program/other is printed with the median and worst, and the memory part is left out.
// 1. Launch to main window shown: starts the program (offscreen, its own XDG folders) with
//    QLY_QUIT_AFTER_SHOW and takes the time until it reports the shown window. The first run
//    creates the settings and the database; the others start on them. Target: under 0.1 s.
//    Also the CPU time (user + system) of each run, start to exit right after the window is
//    shown: less sensitive to a busy machine than the wall time. Pin it (taskset -c N
//    bench_start) on a shared machine; the load average is printed first.
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
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
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
    QElapsedTimer t;
    t.start();
    window.SpeedButtonContent->click(); // the editor's view: loads the web-engine module, starts the engine
    const double content = double(t.nsecsElapsed()) / 1e9;
    t.restart();
    window.WebBrowserP->SetDocument(QStringLiteral("<p>Hallo</p>")); // the preview's view
    std::printf("  content page first shown in %.3f s, first preview document in %.3f s\n", content,
                double(t.nsecsElapsed()) / 1e9);
    Wait(2000);
    PrintMemory("with the web engine started:");
    return 0;
}

struct TStart {
    double Shown = -1; // seconds from launch to the reported window
    double Cpu = -1;   // user + system seconds of the whole run
    long PeakKb = 0;   // the program's peak resident memory
    QByteArray Output;
};

// Starts the program with its output on a pipe and takes the time until it reports the shown
// window, then its resource use when it has ended.
TStart StartOnce(const QByteArray& path, const QProcessEnvironment& env)
{
    std::vector<QByteArray> vars;
    for (const QString& v : env.toStringList())
        vars.push_back(v.toLocal8Bit());
    std::vector<char*> envp;
    for (QByteArray& v : vars)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    QByteArray program = path;
    char* argv[] = {program.data(), nullptr};
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    TStart r;
    QElapsedTimer t;
    t.start();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], 1);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 2);
        ::close(fds[0]);
        ::execve(program.constData(), argv, envp.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) {
        r.Output.append(buf, n);
        if (r.Shown < 0 && r.Output.contains("shown="))
            r.Shown = double(t.nsecsElapsed()) / 1e9;
    }
    ::close(fds[0]);
    int status = 0;
    struct rusage ru {};
    if (::wait4(pid, &status, 0, &ru) == pid) {
        r.PeakKb = ru.ru_maxrss;
        r.Cpu = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    }
    return r;
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

    {
        std::ifstream load("/proc/loadavg");
        std::string avg;
        std::getline(load, avg);
        std::printf("load average: %s\n", avg.c_str());
    }
    const QByteArray program = argc > 2 ? QByteArray(argv[2]) : QByteArray(QLY_PROGRAM);
    std::printf("launch to main window shown (%s)\n", program.constData());
    if (argc > 3) {
        // Alternating pairs, after one start of each that creates the settings and the database.
        const QByteArray other(argv[3]);
        std::printf("against %s, alternating\n", other.constData());
        QProcessEnvironment e = env;
        e.insert("QLY_QUIT_AFTER_SHOW", "1");
        StartOnce(program, e);
        StartOnce(other, e);
        std::vector<double> ours, theirs, ratios, cpuRatios;
        for (int i = 0; i < runs; ++i) {
            const TStart a = StartOnce(program, e);
            const TStart b = StartOnce(other, e);
            if (a.Shown < 0 || b.Shown < 0) {
                std::printf("  pair %d: no window reported\n", i + 1);
                return 1;
            }
            ours.push_back(a.Shown);
            theirs.push_back(b.Shown);
            ratios.push_back(a.Shown / b.Shown);
            cpuRatios.push_back(a.Cpu / b.Cpu);
            std::printf("  pair %d: %.3f s (CPU %.3f s), other %.3f s (CPU %.3f s), ratio %.3f\n", i + 1, a.Shown, a.Cpu,
                        b.Shown, b.Cpu, a.Shown / b.Shown);
        }
        for (auto* v : {&ours, &theirs, &ratios, &cpuRatios})
            std::sort(v->begin(), v->end());
        std::printf("  program: median %.3f s, worst %.3f s; other: median %.3f s, worst %.3f s\n", ours[ours.size() / 2],
                    ours.back(), theirs[theirs.size() / 2], theirs.back());
        std::printf("  ratio program/other: median %.3f, worst %.3f; CPU ratio median %.3f, worst %.3f\n",
                    ratios[ratios.size() / 2], ratios.back(), cpuRatios[cpuRatios.size() / 2], cpuRatios.back());
        return 0;
    }
    std::vector<double> later, laterCpu;
    for (int i = 0; i < runs; ++i) {
        QProcessEnvironment e = env;
        e.insert("QLY_QUIT_AFTER_SHOW", "1");
        const TStart r = StartOnce(program, e);
        if (r.Shown < 0) {
            std::printf("  run %d: no window reported (%s)\n", i + 1, r.Output.constData());
            return 1;
        }
        std::printf("  run %d: %.3f s, CPU %.3f s, peak RSS %.1f MB%s\n", i + 1, r.Shown, r.Cpu, r.PeakKb / 1024.0,
                    i == 0 ? " (first start: settings and database created)" : "");
        if (i > 0) {
            later.push_back(r.Shown);
            laterCpu.push_back(r.Cpu);
        }
    }
    std::sort(later.begin(), later.end());
    std::sort(laterCpu.begin(), laterCpu.end());
    std::printf("  later starts: median %.3f s, worst %.3f s   (target < 0.1)\n", later[later.size() / 2], later.back());
    std::printf("  CPU (user + system): median %.3f s, worst %.3f s\n", laterCpu[laterCpu.size() / 2], laterCpu.back());

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

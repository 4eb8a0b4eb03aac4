// The first exception report of a run, run by hand in a Release build (-DQLY_BENCH=ON):
//   bench_firstreport [runs [other]]
// Each run is a new process of this program (the first report of a process is the one measured):
// the main window is shown, Shift+Alt+E is pressed in the SMTP server field as the user does it,
// and the time from the key to the report dialog's show is taken; the dialog is answered with
// Escape and the program ends. "other" names another build of this benchmark: its runs alternate
// with this one's and each pair's ratio is printed (this build's time / the other's).
// Run it under xvfb-run to have the libraries of a real display loaded (Mesa and what it pulls
// in); offscreen when no display is set. Target: under 1 s on an idle machine.
#include "app/MainForm.h"
#include "excreport/SivrelOutputs.h"
#include "platform/app/Application.h"
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Notes the first show of a reporter window and answers it with Escape.
class DialogWatch : public QObject {
public:
    QElapsedTimer Clock;
    double Shown = -1;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* w = qobject_cast<QWidget*>(watched);
        if (event->type() == QEvent::Show && w && w->isWindow() && w->property("sivrelReporterWindow").toBool()
            && Shown < 0 && Clock.isValid()) {
            Shown = double(Clock.nsecsElapsed()) / 1e9;
            QTimer::singleShot(0, w, [w] { QTest::keyClick(w, Qt::Key_Escape); });
        }
        return false;
    }
};

int Child(int argc, char** argv)
{
    platform::Application app(argc, argv);
    excreport::SivrelInstallReportOutputs();
    DialogWatch watch;
    app.installEventFilter(&watch);
    app::TMainForm window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 2;
    QTimer::singleShot(0, &app, [&] {
        QApplication::setActiveWindow(&window);
        window.EditSmtpServer->setFocus();
        watch.Clock.start();
        QTest::keyClick(window.EditSmtpServer, Qt::Key_E, Qt::ShiftModifier | Qt::AltModifier);
        std::printf("report=%.6f\n", watch.Shown);
        std::fflush(stdout);
        app.quit();
    });
    return app.exec();
}

// Seconds to the dialog in a new process of the program, or -1.
double RunOnce(const QString& program, const QProcessEnvironment& env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(program, {QStringLiteral("--child")});
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    const QByteArray out = p.readAllStandardOutput();
    const qsizetype at = out.indexOf("report=");
    return at < 0 ? -1 : out.mid(at + 7).trimmed().toDouble();
}

void PrintFigures(const char* what, std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    std::printf("  %-28s median %.3f, best %.3f, worst %.3f\n", what, v[v.size() / 2], v.front(), v.back());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && QByteArray(argv[1]) == "--child")
        return Child(argc, argv);
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 6;
    const QString other = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("DISPLAY")) && !env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Private folders: the report log goes to the state folder below HOME.
    for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        env.insert(QString::fromLatin1(var), dir.path() + u'/' + QString::fromLatin1(var));
    env.remove(QStringLiteral("QLY_SIVREL_AUTOANSWER"));
    {
        std::ifstream load("/proc/loadavg");
        std::string avg;
        std::getline(load, avg);
        std::printf("load average: %s\nplatform: %s\n", avg.c_str(),
                    qPrintable(env.value(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"))));
    }
    std::vector<double> ours, theirs, ratios;
    for (int i = 0; i < runs; ++i) {
        const double a = RunOnce(QCoreApplication::applicationFilePath(), env);
        if (a < 0) {
            std::printf("  run %d: no report dialog\n", i + 1);
            return 1;
        }
        ours.push_back(a);
        if (other.isEmpty()) {
            std::printf("  run %d: %.3f s\n", i + 1, a);
            continue;
        }
        const double b = RunOnce(other, env);
        if (b < 0) {
            std::printf("  run %d: no report dialog from %s\n", i + 1, qPrintable(other));
            return 1;
        }
        theirs.push_back(b);
        ratios.push_back(a / b);
        std::printf("  pair %d: %.3f s, other %.3f s, ratio %.3f\n", i + 1, a, b, a / b);
    }
    std::printf("key to first report dialog (%d runs):\n", runs);
    PrintFigures("this build (s):", ours);
    if (!other.isEmpty()) {
        PrintFigures("other build (s):", theirs);
        PrintFigures("ratio this/other:", ratios);
    }
    std::printf("  target: under 1 s on an idle machine\n");
    return 0;
}

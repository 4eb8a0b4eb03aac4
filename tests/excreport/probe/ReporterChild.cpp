// Child program of the capture tests: it carries its reporter data and switches the reporter on
// at start. argv[1] names the case, argv[2] the file that gets what the listener and the outputs
// saw, one line each.
#include "excreport/SivrelCapture.h"
#include "excreport/SivrelExcept.h"
#include "excreport/SivrelGui.h"
#include "excreport/SivrelListeners.h"
#include "excreport/SivrelModules.h"
#include "excreport/SivrelReport.h"
#include "platform/app/Application.h"
#include <QDir>
#include <QElapsedTimer>
#include <QWidget>
#include <QFile>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <stdexcept>
#include <atomic>
#include <thread>
#include <unistd.h>

using namespace excreport;

namespace {

QString g_recordFile;

void Out(const QString& line)
{
    QFile f(g_recordFile);
    if (f.open(QIODevice::Append))
        f.write(line.toUtf8() + '\n');
}

QString MessageOf(const std::exception_ptr& e)
{
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& x) {
        return QString::fromUtf8(x.what());
    } catch (...) {
        return QString();
    }
}

struct EChildCustom : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct EAbort : std::exception {};
struct EQuietStop : EAbort {};

class FileOutputs : public TSivrelReportOutputs {
public:
    bool terminate = false;
    bool crash = false;
    bool hang = false;
    void ShowCustomMessage(const QString& caption, const QString& message) override
    {
        Out("custom " + caption + "|" + message);
        SivrelMessageBox(caption, message);
    }
    QString BuildTexts() override { return QStringLiteral("report"); }
    bool IsDuplicate() override
    {
        while (hang) // a report step that never ends
            QThread::sleep(1);
        return false;
    }
    void CaptureScreen() override {}
    void ReleaseScreen() override {}
    QString MessageText() override { return {}; }
    bool IsConsole() override { return false; }
    void ShowReportDialog() override
    {
        if (crash) {
            volatile int* volatile nothing = nullptr; // the compiler can neither know it is null nor drop the write
            *nothing = 3;
        }
        Out("dialog");
        Delivered();
        SivrelReport().TerminateRequested = terminate;
    }
    void ShowConsoleReport() override { Out("console"); }
    void ShowRequestDialog() override {}
    void SaveScreenshot() override {}
    void DeleteScreenshot() override {}
    void WriteLog() override
    {
        Out("log");
        Delivered();
    }
    // The report was shown and logged.
    std::atomic<bool> reported{false};
    std::atomic<int> delivered{0};
    void Delivered()
    {
        if (++delivered == 2)
            reported = true;
    }
    void AppendRequestSection() override {}
    void CopyToClipboard() override {}
    void SendReport() override {}
};

int g_throwLine = 0;

__attribute__((noinline)) void ThrowingSlot()
{
    g_throwLine = __LINE__; throw std::runtime_error("Exception Log Check");
}

__attribute__((noinline)) void NullSlot()
{
    volatile int* volatile nothing = nullptr; // the compiler can neither know it is null nor drop the write
    g_throwLine = __LINE__; *nothing = 1;
}

__attribute__((noinline)) int Recurse(int depth)
{
    volatile char room[512];
    room[0] = static_cast<char>(depth);
    if (depth < 0) // never: the recursion runs until the stack ends
        return 0;
    return Recurse(depth + 1) + room[0];
}

__attribute__((noinline)) void OverflowSlot()
{
    Recurse(0);
}

__attribute__((noinline)) void AbortSlot()
{
    g_throwLine = __LINE__; std::abort();
}

__attribute__((noinline)) void WorkerFault()
{
    volatile int* volatile nothing = nullptr; // the compiler can neither know it is null nor drop the write
    *nothing = 2;
}

__attribute__((noinline)) void WorkerThrow()
{
    throw std::runtime_error("worker failed");
}

class Worker : public QThread {
public:
    bool fault = true;

protected:
    void run() override
    {
        if (fault)
            WorkerFault();
        else
            WorkerThrow();
    }
};

__attribute__((noinline)) void StartWorker(const QString& which)
{
    if (which == "thread-segv") {
        std::thread(&WorkerFault).join();
    } else if (which == "thread-throw") {
        std::thread(&WorkerThrow).join();
    } else {
        auto* worker = new Worker;
        worker->fault = which == "qthread-segv";
        QObject::connect(worker, &QThread::finished, QCoreApplication::instance(), [] {
            Out("finished");
            QTimer::singleShot(50, [] { QCoreApplication::quit(); });
        });
        worker->start();
        // Something after the call: an optimising compiler would jump to start() in place of
        // calling it, and this routine's frame would be gone from the thread's creator frames.
        asm volatile("" ::: "memory");
    }
}

// Busy for the given time, or until the flag is set; with a step, the events are served after
// every step.
__attribute__((noinline)) void Busy(int totalMs, int stepMs, const std::atomic<bool>* until = nullptr)
{
    QElapsedTimer total;
    total.start();
    while (total.elapsed() < totalMs && !(until && *until)) {
        QElapsedTimer step;
        step.start();
        while (step.elapsed() < stepMs && !(until && *until))
            g_throwLine = __LINE__; // the busy line
        QCoreApplication::processEvents();
    }
}

__attribute__((noinline)) void CaughtSlot()
{
    try {
        throw std::runtime_error("caught");
    } catch (const std::exception& e) {
        Out(QStringLiteral("handled %1").arg(e.what()));
    }
}

__attribute__((noinline)) void ThrowingAbortSlot()
{
    throw EQuietStop();
}

__attribute__((noinline)) void ThrowingCustomSlot()
{
    throw EChildCustom("custom");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const QString which = QString::fromLocal8Bit(argv[1]);
    g_recordFile = QString::fromLocal8Bit(argv[2]);

    // A restarted instance only says how it was started.
    QFile previous(g_recordFile);
    if (which == "restart" && previous.open(QIODevice::ReadOnly) && previous.readAll().contains("dialog\n")) {
        QStringList args;
        for (int i = 0; i < argc; ++i)
            args << QString::fromLocal8Bit(argv[i]);
        Out("restarted " + args.mid(1).join(' ') + " in " + QDir::currentPath());
        return 0;
    }

    platform::Application app(argc, argv);
    app.OnException = [](std::exception_ptr e) { Out("plain " + MessageOf(e)); };
    Out(QStringLiteral("active %1").arg(SivrelActive() ? 1 : 0));
    try {
        CurrentSivrelLogOptions();
    } catch (const EAssertionFailed& e) {
        Out("assertion " + e.Message());
    }

    FileOutputs outputs;
    SivrelSetReportOutputs(&outputs);
    TSivrelListener listener;
    listener.ExceptionNotify = [](const TSivrelExceptionRecord& r, bool&) {
        Out("class " + SivrelClassName(*SivrelExceptionType(r.ExceptionObject)));
        Out("message " + MessageOf(r.ExceptionObject));
        Out(QStringLiteral("thread %1").arg(r.ThreadId == uint32_t(getpid()) ? "main" : "other"));
        if (r.CallStack && r.CallStack->Count() > 0) {
            const TSivrelDebugInfo& first = r.CallStack->Items(0);
            Out(QStringLiteral("first %1 %2 %3").arg(first.ProcedureName, first.UnitName).arg(first.Line));
            QStringList routines;
            for (int i = 0; i < r.CallStack->Count(); ++i)
                if (r.CallStack->Items(i).Kind != 0)
                    routines << r.CallStack->Items(i).ProcedureName;
            Out("stack " + routines.join(' '));
        }
        Out(QStringLiteral("line %1").arg(g_throwLine));
    };
    SivrelListeners().Add(&listener);

    if (which.startsWith("thread-") || which.startsWith("qthread-")) {
        QTimer::singleShot(0, [which] { StartWorker(which); });
        if (which.startsWith("thread-"))
            QTimer::singleShot(200, [] { QCoreApplication::quit(); });
        QTimer::singleShot(20000, [] { QCoreApplication::exit(3); });
        const int code = app.exec();
        Out("survived");
        return code;
    }
    if (which.startsWith("freeze")) {
        QWidget window;
        window.show();
        const auto options = CurrentSivrelLogOptions();
        options->SetFreezeTimeout(1);
        options->SetFreezeActive(true);
        if (which == "freeze-off")
            options->SetFreezeActive(false);
        if (which == "freeze-inactive")
            options->SetActive(false);
        if (which == "freeze") {
            // Frozen until the report was shown and logged, however long the machine takes to build it.
            QTimer::singleShot(300, [&outputs] {
                Busy(60000, 60000, &outputs.reported);
                QTimer::singleShot(100, [] { QCoreApplication::quit(); });
            });
        } else {
            QTimer::singleShot(300, [which] { Busy(3500, which == "freeze-answers" ? 450 : 3500); });
            QTimer::singleShot(4200, [] { QCoreApplication::quit(); });
        }
        const int code = app.exec();
        Out("survived");
        return code;
    }
    if (which == "segv-hang") {
        outputs.hang = true;
        QTimer::singleShot(0, &NullSlot);
        app.exec();
        Out("survived");
        return 0;
    }
    if (which == "segv-custom") {
        const auto options = CurrentSivrelLogOptions();
        options->SetCustomMessageClasses({"EAccessViolation"});
        options->SetCustomMessages({"Ein Speicherfehler ist aufgetreten."});
        QTimer::singleShot(0, &NullSlot);
        app.exec();
        Out("survived");
        return 0;
    }
    if (which == "segv" || which == "overflow" || which == "sigabrt") {
        QTimer::singleShot(0, which == "segv" ? &NullSlot : which == "overflow" ? &OverflowSlot : &AbortSlot);
        app.exec();
        Out("survived");
        return 0;
    }
    if (which == "caught" || which == "report-fault") {
        outputs.crash = which == "report-fault";
        QTimer::singleShot(0, which == "caught" ? &CaughtSlot : &ThrowingSlot);
        QTimer::singleShot(100, [] { QCoreApplication::quit(); });
        const int code = app.exec();
        Out("survived");
        return code;
    }
    if (which == "slot" || which == "abort" || which == "custom" || which == "restart") {
        if (which == "restart") {
            outputs.terminate = true;
            CurrentSivrelLogOptions()->SetTerminateAction(taRestart);
            QDir::setCurrent(QDir::rootPath()); // the restart goes back to the start folder
        }
        QTimer::singleShot(0, which == "abort" ? &ThrowingAbortSlot : which == "custom" ? &ThrowingCustomSlot : &ThrowingSlot);
        QTimer::singleShot(100, [] { QCoreApplication::quit(); });
        const int code = app.exec();
        Out(QStringLiteral("line %1").arg(g_throwLine));
        Out("after");
        return code;
    }
    if (which == "escape") {
        g_throwLine = __LINE__; throw std::runtime_error("escaped main");
    }
    return 2;
}

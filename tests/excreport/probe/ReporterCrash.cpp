// A window program with the reporter and its outputs on that fails in the way argv[1] names:
// segv (null pointer written in a slot), throw (an exception from a slot), abort (abort() in a
// slot), thread (null pointer written in another thread).
#include "excreport/SivrelListeners.h"
#include "excreport/SivrelExcept.h"
#include "excreport/SivrelModules.h"
#include "excreport/SivrelOutputs.h"
#include "platform/app/Application.h"
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace {

// A volatile pointer: the compiler cannot know it is null and drop or replace the write.
volatile int* volatile g_nothing = nullptr;

__attribute__((noinline)) void WriteThroughNull()
{
    *g_nothing = 1; // crash line: WriteThroughNull
}

__attribute__((noinline)) void ThrowFromSlot()
{
    throw std::runtime_error("Slot failed"); // crash line: ThrowFromSlot
}

__attribute__((noinline)) void AbortInSlot()
{
    std::abort(); // crash line: AbortInSlot
}

__attribute__((noinline)) void WorkerFault()
{
    *g_nothing = 2; // crash line: WorkerFault
}

// Busy until the freeze report is in the log, however long the machine takes to build it.
__attribute__((noinline)) void BusyLoop(const QString& log)
{
    QElapsedTimer clock;
    clock.start();
    volatile unsigned spin = 0;
    while (clock.elapsed() < 60000 && (++spin % 65536 != 0 || !QFile::exists(log))) // crash line: BusyLoop (the call the window thread is caught in)
        ;
}

} // namespace

int main(int argc, char** argv)
{
    platform::Application app(argc, argv);
    excreport::SivrelInstallReportOutputs();
    QWidget window;
    window.show();
    const QString which = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (which == "freeze") {
        auto options = excreport::CurrentSivrelLogOptions();
        options->SetFreezeTimeout(1);
        options->SetFreezeActive(true);
    }
    // The freeze watch needs the window thread answering for a while before it is blocked.
    const bool freeze = which == "freeze";
    QTimer::singleShot(freeze ? 300 : 0, &app, [&] {
        if (which == "segv")
            WriteThroughNull();
        else if (which == "throw")
            ThrowFromSlot();
        else if (which == "abort")
            AbortInSlot();
        else if (which == "thread")
            std::thread(&WorkerFault).join();
        else if (which == "freeze")
            BusyLoop(excreport::CurrentSivrelLogOptions()->LogFileName());
    });
    // A reported exception lets the program go on (a freeze report: once it has ended).
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (freeze && excreport::SivrelPublishedRecord())
            return;
        std::printf("went on\n");
        std::fflush(stdout);
        app.quit();
    });
    QTimer::singleShot(freeze ? 400 : 300, &app, [&] { poll.start(50); });
    return app.exec();
}

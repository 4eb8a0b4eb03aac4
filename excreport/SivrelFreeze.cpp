#include "excreport/SivrelFreeze.h"
#include "excreport/SivrelCapture.h"
#include "excreport/SivrelExcept.h"
#include "excreport/SivrelModules.h"
#include "excreport/SivrelRaise.h"
#include "excreport/SivrelReport.h"
#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <csignal>
#include <execinfo.h>
#include <mutex>
#include <thread>
#include <ucontext.h>
#include <unistd.h>

namespace excreport {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int ProbeMs = 50;

// The main thread's state at one moment, noted by its signal handler.
struct Snapshot {
    std::atomic<bool> taken{false};
    uintptr_t rip = 0;
    uintptr_t rsp = 0;
    int frameCount = 0;
    uintptr_t frames[SivrelMaxRaiseFrames];
};
Snapshot g_snapshot;

int SnapshotSignal()
{
    return SIGRTMIN + 7;
}

void SnapshotHandler(int, siginfo_t*, void* context)
{
    const auto* uc = static_cast<const ucontext_t*>(context);
    g_snapshot.rip = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
    g_snapshot.rsp = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
    void* frames[SivrelMaxRaiseFrames + 8];
    const int n = backtrace(frames, SivrelMaxRaiseFrames + 8);
    int first = 0;
    while (first < n && reinterpret_cast<uintptr_t>(frames[first]) != g_snapshot.rip)
        ++first;
    if (first == n)
        first = 0;
    g_snapshot.frameCount = 0;
    for (int i = first; i < n && g_snapshot.frameCount < SivrelMaxRaiseFrames; ++i)
        g_snapshot.frames[g_snapshot.frameCount++] = reinterpret_cast<uintptr_t>(frames[i]);
    g_snapshot.taken.store(true);
}

// The main window: the first visible parentless top-level window that is not a tool window.
QWidget* MainWindow()
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && !w->parentWidget() && (w->windowFlags() & Qt::WindowType_Mask) != Qt::Tool)
            return w;
    return nullptr;
}

class FreezeWatch {
public:
    void Start()
    {
        std::lock_guard lock(m_mutex);
        if (m_thread.joinable())
            return;
        InstallSnapshotHandler();
        m_stop = false;
        m_thread = std::thread([this] { Run(); });
    }
    void Stop()
    {
        std::thread thread;
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
            thread = std::move(m_thread);
        }
        if (thread.joinable() && thread.get_id() != std::this_thread::get_id())
            thread.join();
        else if (thread.joinable())
            thread.detach();
    }

private:
    static void InstallSnapshotHandler()
    {
        static std::once_flag once;
        std::call_once(once, [] {
            struct sigaction sa {};
            sa.sa_sigaction = &SnapshotHandler;
            sa.sa_flags = SA_SIGINFO | SA_RESTART;
            sigemptyset(&sa.sa_mask);
            sigaction(SnapshotSignal(), &sa, nullptr);
        });
    }

    // Sleeps up to ms milliseconds; false when asked to end.
    bool Pause(int ms)
    {
        const auto until = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < until) {
            if (m_stop)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return !m_stop;
    }

    // Asks the GUI thread for something and waits up to ProbeMs for the answer.
    template <typename Call>
    bool AskGui(QObject* context, Call call)
    {
        auto answered = std::make_shared<std::atomic<bool>>(false);
        if (!QMetaObject::invokeMethod(
                context, [answered, call] { call(); answered->store(true); }, Qt::QueuedConnection))
            return true; // nothing to ask: counts as an answer
        const auto until = Clock::now() + std::chrono::milliseconds(ProbeMs);
        while (!answered->load() && Clock::now() < until && !m_stop)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return answered->load();
    }

    int TimeoutMs()
    {
        try {
            return std::max(0, CurrentSivrelLogOptions()->FreezeTimeout()) * 1000;
        } catch (const EAssertionFailed&) {
            return 0;
        }
    }

    void Run()
    {
        // 1. The main window, once there is one.
        QPointer<QWidget> window;
        while (!m_stop && !window) {
            QCoreApplication* app = QCoreApplication::instance();
            QWidget* found = nullptr;
            if (app && AskGui(app, [&found] { found = MainWindow(); }) && found)
                window = found;
            else if (!Pause(ProbeMs))
                return;
        }
        // 2. Probes; a window that no longer exists counts as answering.
        while (!m_stop) {
            int missed = 0;
            int timeout = 0;
            do {
                QWidget* target = window.data();
                if (target && !AskGui(target, [] {}) && window) {
                    missed += ProbeMs;
                } else {
                    for (int i = 0; i < 5; ++i)
                        if (!Pause(ProbeMs))
                            return;
                    missed = 0;
                }
                timeout = TimeoutMs();
            } while (!m_stop && (timeout == 0 || missed < timeout));
            if (m_stop)
                return;
            ReportFreeze();
        }
    }

    void ReportFreeze()
    {
        g_snapshot.taken = false;
        if (pthread_kill(SivrelMainThread(), SnapshotSignal()) != 0)
            return;
        for (int i = 0; i < 200 && !g_snapshot.taken; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (!g_snapshot.taken || !g_snapshot.rip || !g_snapshot.rsp)
            return;
        QString message;
        try {
            message = CurrentSivrelLogOptions()->FreezeMessage();
        } catch (const EAssertionFailed&) {
            return;
        }
        TExceptNotifyParams params;
        params.ThreadId = SivrelMainThreadId();
        params.GuiThreadHeld = true;
        params.StackStart = g_snapshot.rsp;
        params.StackTop = SivrelMainStackTop();
        if (g_snapshot.frameCount > 1)
            params.Frames.assign(g_snapshot.frames + 1, g_snapshot.frames + g_snapshot.frameCount);
        DispatchException(std::make_exception_ptr(EFrozenApplication(message)), g_snapshot.rip, params, 0);
    }

    std::mutex m_mutex;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

FreezeWatch& Watch()
{
    static FreezeWatch& watch = *new FreezeWatch;
    return watch;
}

} // namespace

void SivrelRegisterFreezeWatch()
{
    SivrelSetFreezeControl({[] { Watch().Start(); }, [] { Watch().Stop(); }});
}

} // namespace excreport

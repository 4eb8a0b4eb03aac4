#include "excreport/SivrelExcept.h"
#include "excreport/SivrelModules.h"
#include <atomic>
#include <mutex>

namespace excreport {

namespace {

std::atomic<TSivrelModulesList*> g_modules{nullptr};
std::mutex g_modulesMutex;

std::mutex g_freezeMutex;
TSivrelFreezeControl g_freeze;

} // namespace

TSivrelModulesList* SivrelModules()
{
    return g_modules.load(std::memory_order_acquire);
}

TSivrelModulesList* SivrelCreateModules()
{
    std::lock_guard lock(g_modulesMutex);
    if (!g_modules.load())
        g_modules.store(new TSivrelModulesList, std::memory_order_release);
    return g_modules.load();
}

void SivrelFreeModules()
{
    std::lock_guard lock(g_modulesMutex);
    delete g_modules.exchange(nullptr);
}

std::shared_ptr<TSivrelModuleOptionsEx> CurrentSivrelLogOptions()
{
    if (TSivrelModulesList* list = SivrelModules()) {
        if (const TSivrelModuleRef self = list->ModuleInfo(SivrelThisModule()); self && self->Options) {
            self->Options->MarkAsCurrent();
            return std::shared_ptr<TSivrelModuleOptionsEx>(self, self->Options.get());
        }
    }
    throw EAssertionFailed(QStringLiteral("Cannot use 'CurrentSivrelLogOptions' function without SivrelLog activate."));
}

void SivrelSetFreezeControl(const TSivrelFreezeControl& control)
{
    std::lock_guard lock(g_freezeMutex);
    g_freeze = control;
}

void StartFreezeDetector()
{
    try {
        if (!SivrelModules() || !CurrentSivrelLogOptions()->FreezeActive())
            return;
    } catch (const EAssertionFailed&) {
        return; // no entry for this module
    }
    std::lock_guard lock(g_freezeMutex);
    if (g_freeze.Start)
        g_freeze.Start();
}

void StopFreezeDetector()
{
    std::lock_guard lock(g_freezeMutex);
    if (g_freeze.Stop)
        g_freeze.Stop();
}

} // namespace excreport

// ---------------------------------------------------------------- activation and dispatch

#include "excreport/SivrelCapture.h"
#include "excreport/SivrelHook.h"
#include "excreport/SivrelListeners.h"
#include "excreport/SivrelRaise.h"
#include "excreport/SivrelReport.h"
#include "excreport/SivrelFreeze.h"
#include "excreport/SivrelSignals.h"
#include "excreport/SivrelThreads.h"
#include "excreport/SivrelSupport.h"
#include "platform/app/Application.h"
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QLineEdit>
#include <QThread>
#include <QWidget>
#include <QWindow>
#include <condition_variable>
#include <dlfcn.h>
#include <execinfo.h>
#include <thread>
#include <unistd.h>

namespace excreport {

namespace {

std::atomic<bool> g_active{false};
std::atomic<bool> g_handlingEnabled{false};
// This module is a library and the main program carries the reporter: its exceptions go to the
// program's reporter, and this module installs no hooks of its own.
std::atomic<bool> g_forwarding{false};
std::atomic<bool> g_hooksInstalled{false};
pid_t g_mainThreadId = 0;
pthread_t g_mainThread{};
uintptr_t g_mainStackTop = 0;
std::terminate_handler g_previousTerminate = nullptr;
uintptr_t g_ownHandleException = 0;
uintptr_t g_ownShowException = 0;
std::exception_ptr g_lastUnhandled;

// The reporter is switched on by a constructor that runs before this file's dynamic
// initialisation, and off after the static objects are gone: its state lives in function-local
// objects that are made on first use and never destroyed.

// ReportLock: re-entrant.
std::recursive_mutex& ReportLock()
{
    static std::recursive_mutex& lock = *new std::recursive_mutex;
    return lock;
}
thread_local bool t_inHandler = false;

// The report thread: made at the activation, it waits for one report at a time.
class ReportThread {
public:
    void Start()
    {
        std::lock_guard lock(m_mutex);
        if (m_thread.joinable())
            return;
        m_stop = false;
        m_thread = std::thread([this] { Run(); });
    }
    void Stop()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }
    bool Running() const { return m_thread.joinable(); }
    pid_t Id() const { return m_id.load(); }
    // Hands the job over; Done() tells when it has run.
    void Post(std::function<void()> job)
    {
        {
            std::lock_guard lock(m_mutex);
            m_job = std::move(job);
            m_done = false;
        }
        m_wake.notify_all();
    }
    bool Done()
    {
        std::lock_guard lock(m_mutex);
        return m_done;
    }

private:
    void Run()
    {
        m_id = gettid();
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stop || m_job; });
            if (m_job) {
                std::function<void()> job = std::move(m_job);
                m_job = nullptr;
                lock.unlock();
                job();
                lock.lock();
                m_done = true;
            } else if (m_stop) {
                return;
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::function<void()> m_job;
    bool m_done = true;
    bool m_stop = false;
    std::atomic<pid_t> m_id{0};
    std::thread m_thread;
};
ReportThread& TheReportThread()
{
    static ReportThread& thread = *new ReportThread;
    return thread;
}

// Whether an input event's target belongs to one of the reporter's own windows (marked with the
// property "sivrelReporterWindow"). Qt hands mouse and key input to the window object (a QWindow)
// first and only then to the widget under the pointer or with the focus: both count.
bool IsReporterTarget(QObject* target)
{
    const auto marked = [](const QWidget* w) { return w && w->window()->property("sivrelReporterWindow").toBool(); };
    if (auto* widget = qobject_cast<QWidget*>(target))
        return marked(widget);
    if (auto* window = qobject_cast<QWindow*>(target)) {
        for (QWindow* w = window; w; w = w->parent())
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top->windowHandle() == w)
                    return marked(top);
    }
    return false;
}

// While a GUI thread waits for a report: mouse-button and key input is dropped with a beep,
// except for the reporter's own windows.
class InputBlocker : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
            break;
        default:
            return false;
        }
        if (IsReporterTarget(watched))
            return false;
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress)
            QApplication::beep();
        return true;
    }
};

bool OnGuiThread()
{
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

void NoteFocus(TExceptNotifyParams& params)
{
    if (!OnGuiThread() || !qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    QWidget* focus = QApplication::focusWidget();
    if (!focus)
        return;
    params.FocusClass = QString::fromLatin1(focus->metaObject()->className()).left(256);
    if (auto* edit = qobject_cast<QLineEdit*>(focus)) {
        params.FocusText = edit->text().left(256);
        if (edit->echoMode() != QLineEdit::Normal)
            params.FocusText.fill(u'*');
    } else {
        params.FocusText = focus->windowTitle().left(256);
    }
}

// The main window to the front: the first visible parentless window that is not a tool window.
void MainWindowToFront()
{
    if (!OnGuiThread() || !qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || w->parentWidget() || (w->windowFlags() & Qt::WindowType_Mask) == Qt::Tool)
            continue;
        if (w->isMinimized())
            w->showNormal();
        w->raise();
        w->activateWindow();
        return;
    }
}

// The frames and raise address of an exception: from its raise note, else from here.
void Origin(const std::exception_ptr& error, const void* givenAddress, uintptr_t& address, std::vector<uintptr_t>& frames)
{
    if (const auto note = SivrelRaiseRecord(error)) {
        address = SivrelRaiseAddress(*note);
        // The first frame is the raise itself, which the call stack starts with.
        frames.assign(note->Frames.begin() + (note->Frames.empty() ? 0 : 1), note->Frames.end());
        return;
    }
    address = reinterpret_cast<uintptr_t>(givenAddress);
    void* here[SivrelMaxRaiseFrames];
    const int n = backtrace(here, SivrelMaxRaiseFrames);
    frames.assign(reinterpret_cast<uintptr_t*>(here) + (n > 1 ? 1 : 0), reinterpret_cast<uintptr_t*>(here) + n);
    if (!address && !frames.empty())
        address = frames.front() - 1;
}

// The application's handler and message display, taken over.
void ReporterHandleException(platform::Application& app, std::exception_ptr error)
{
    if (ExceptionManager(&error, nullptr, 1))
        reinterpret_cast<platform::Application::ExceptionRoutine>(g_ownHandleException)(app, error);
}

void ReporterShowException(platform::Application& app, std::exception_ptr error)
{
    if (!g_handlingEnabled || ExceptionManager(&error, nullptr, 1))
        reinterpret_cast<platform::Application::ExceptionRoutine>(g_ownShowException)(app, error);
}

// An exception that nothing caught: one report, then the program ends with exit code 1.
[[noreturn]] void ReporterTerminate()
{
    const std::exception_ptr error = std::current_exception();
    if (error && g_active && error != g_lastUnhandled) {
        g_lastUnhandled = error;
        ExceptionManager(&error, nullptr, 0);
    }
    std::fflush(nullptr);
    if (gettid() == getpid())
        std::exit(1);
    _exit(1);
}

} // namespace

bool SivrelActive()
{
    return g_active.load();
}

bool SivrelForwarding()
{
    return g_forwarding.load();
}

pthread_t SivrelMainThread()
{
    return g_mainThread;
}

pid_t SivrelMainThreadId()
{
    return g_mainThreadId;
}

uintptr_t SivrelMainStackTop()
{
    return g_mainStackTop;
}

bool SivrelIsReportThread()
{
    return TheReportThread().Id() == gettid();
}

void InstallHooks();

bool SivrelActivate()
{
    std::lock_guard lock(ReportLock());
    if (g_active)
        return true;
    g_active = true;
    const uintptr_t main = SivrelMainModule();
    g_forwarding = SivrelThisModule() != main && SivrelCarriesData(ModuleFileName(main));
    SivrelCreateOwnSharedBlock();
    SivrelNoteStartValues();
    SivrelCreateModules();
    try {
        const auto options = CurrentSivrelLogOptions();
        const TSivrelModuleRef self = SivrelModules()->ModuleInfo(SivrelThisModule());
        if (!self || !self->DebugInfo.Present())
            throw EAssertionFailed(QStringLiteral("no debug block"));
    } catch (const EAssertionFailed&) {
        SivrelFreeModules();
        g_active = false;
        return false;
    }
    g_mainThreadId = gettid();
    g_mainThread = pthread_self();
    g_mainStackTop = CurrentStackTop();
    TSivrelReportState& r = SivrelReport();
    r.WorkingOptions.SetDefaults();
    r.TerminateRequested = false;
    r.ReportsThisRun = 0;
    r.LastReportedAddress = 0;
    SivrelThreads().Clear();
    ClearWarning();
    g_handlingEnabled = true;

    if (!g_forwarding)
        InstallHooks();
    SivrelRegisterFreezeWatch();
    StartFreezeDetector();
    return true;
}

void InstallHooks()
{
    g_hooksInstalled = true;
    g_previousTerminate = std::set_terminate(&ReporterTerminate);
    // The raise and thread hooks in one pass over each module's import slots.
    SivrelHookRaiseAndThreads(SivrelRedirectableModules());
    SivrelSetRaiseActive(true);
    g_ownHandleException = HookProcedure(reinterpret_cast<uintptr_t*>(&platform::Application::HandleExceptionSlot),
                                         reinterpret_cast<uintptr_t>(&ReporterHandleException),
                                         QStringLiteral("platform::Application::HandleException"));
    g_ownShowException = HookProcedure(reinterpret_cast<uintptr_t*>(&platform::Application::ShowExceptionSlot),
                                       reinterpret_cast<uintptr_t>(&ReporterShowException),
                                       QStringLiteral("platform::Application::ShowException"));
    TheReportThread().Start();
    SivrelInstallSignalHandlers();
}

void SivrelDeactivate()
{
    SivrelCloseOwnSharedBlock();
    if (!g_active.exchange(false))
        return;
    // The watch may wait for ReportLock in a report of its own: stop it before taking the lock.
    StopFreezeDetector();
    SivrelSetFreezeControl({});
    std::lock_guard lock(ReportLock());
    if (g_hooksInstalled.exchange(false)) {
        std::set_terminate(g_previousTerminate);
        SivrelRemoveSignalHandlers();
        SivrelSetRaiseActive(false);
        UnhookProcedure(reinterpret_cast<uintptr_t*>(&platform::Application::HandleExceptionSlot));
        UnhookProcedure(reinterpret_cast<uintptr_t*>(&platform::Application::ShowExceptionSlot));
        TheReportThread().Stop();
    }
    SivrelThreads().Clear();
    SivrelReport().CallStack.reset();
    SivrelListeners().Clear();
    SivrelFreeModules();
}

bool DispatchException(std::exception_ptr object, uintptr_t address, TExceptNotifyParams params, uint8_t mode)
{
    // The report thread never waits for a report (the one it builds holds the lock).
    if (!g_active || SivrelIsReportThread())
        return true;
    std::unique_lock lock(ReportLock(), std::defer_lock);
    if (OnGuiThread()) {
        // Another thread's report may need the GUI thread's windows: serve them while waiting.
        InputBlocker blocker;
        QCoreApplication::instance()->installEventFilter(&blocker);
        while (!lock.try_lock()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        QCoreApplication::instance()->removeEventFilter(&blocker);
    } else {
        lock.lock();
    }
    if (t_inHandler)
        return true;
    t_inHandler = true;
    struct Leave {
        ~Leave() { t_inHandler = false; }
    } leave;
    try {
        if (!CurrentSivrelLogOptions()->Active())
            return true;
    } catch (const EAssertionFailed&) {
        return true;
    }
    if (mode == 1 || mode == 0)
        MainWindowToFront();
    if (params.ThreadId == 0)
        params.ThreadId = gettid();
    NoteFocus(params);

    bool result = true;
    SivrelSetWaitingThread(gettid());
    const auto job = [&] { result = ReportException(object, address, params, mode); };
    if (!TheReportThread().Running()) {
        job();
    } else {
        TheReportThread().Post(job);
        const bool gui = OnGuiThread();
        InputBlocker blocker;
        if (gui)
            QCoreApplication::instance()->installEventFilter(&blocker);
        while (!TheReportThread().Done()) {
            if (gui)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            SivrelServeListenerCall();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (gui)
            QCoreApplication::instance()->removeEventFilter(&blocker);
    }
    TSivrelReportState& r = SivrelReport();
    SivrelPublishRecord(nullptr);
    SivrelSetWaitingThread(0);
    r.Record = TSivrelExceptionRecord();
    r.CallStack.reset();
    r.Exception = nullptr;
    return result;
}

} // namespace excreport

extern "C" bool ExceptionManager(const void* exceptObject, const void* exceptAddr, uint8_t mode)
{
    using namespace excreport;
    if (!g_active || !exceptObject || SivrelIsReportThread())
        return true;
    if (g_forwarding) {
        // The program's entry answers (the first "ExceptionManager" of the process that is not
        // this module's own).
        using Entry = bool (*)(const void*, const void*, uint8_t);
        const auto entry = reinterpret_cast<Entry>(dlsym(RTLD_DEFAULT, "ExceptionManager"));
        if (entry && SivrelModuleOfAddress(reinterpret_cast<uintptr_t>(entry)) != SivrelThisModule())
            return entry(exceptObject, exceptAddr, mode);
    }
    const std::exception_ptr& error = *static_cast<const std::exception_ptr*>(exceptObject);
    if (!IsReportable(error) || !g_handlingEnabled)
        return true;
    TExceptNotifyParams params;
    uintptr_t address = 0;
    Origin(error, exceptAddr, address, params.Frames);
    return DispatchException(error, address, params, mode);
}

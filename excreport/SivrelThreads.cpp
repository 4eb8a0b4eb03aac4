#include "excreport/SivrelThreads.h"
#include "excreport/SivrelExcept.h"
#include "excreport/SivrelHook.h"
#include "excreport/SivrelRaise.h"
#include "excreport/SivrelReport.h"
#include "excreport/SivrelSignals.h"
#include <QThread>
#include <atomic>
#include <cstring>
#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <link.h>
#include <pthread.h>
#include <unistd.h>

namespace excreport {

namespace {

using CreateFunction = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
using ExitFunction = void (*)(void*);
using RunMethod = void (*)(QThread*);

std::atomic<uintptr_t> g_realCreate{0};
std::atomic<uintptr_t> g_realExit{0};

// What the wrapper needs to start the routine; the record is found again by its address.
struct StartBlock {
    void* (*routine)(void*);
    void* parameter;
    const TSivrelThreadRecord* record;
};

// Removes the calling thread's record when the thread ends, however it ends.
struct RecordGuard {
    bool armed = false;
    ~RecordGuard()
    {
        if (armed)
            SivrelThreads().RemoveCurrentThread();
    }
};
thread_local RecordGuard t_recordGuard;

// Index of QThread::run in the virtual method table, from its pointer to member.
int RunSlot()
{
    struct Access : QThread {
        static int Slot()
        {
            const auto member = &Access::run;
            uintptr_t raw = 0;
            std::memcpy(&raw, &member, sizeof raw);
            return (raw & 1) ? static_cast<int>((raw - 1) / sizeof(uintptr_t)) : -1;
        }
    };
    static const int slot = Access::Slot();
    return slot;
}

// The call came from QThread::start: the parameter is the thread object.
bool FromThreadStart(const void* returnAddress)
{
    Dl_info info{};
    void* symbol = nullptr;
    if (!dladdr1(returnAddress, &info, &symbol, RTLD_DL_SYMENT) || !info.dli_sname)
        return false;
    return std::strcmp(info.dli_sname, "_ZN7QThread5startENS_8PriorityE") == 0;
}

// Runs an exception's report for the thread it ends; a cancellation passes on.
void ReportThreadException()
{
    const std::exception_ptr error = std::current_exception();
    ExceptionManager(&error, nullptr, 0);
}

void RunWrapper(QThread* thread)
{
    uintptr_t previous = 0;
    bool own = false;
    {
        TSivrelThreadsList& list = SivrelThreads();
        std::lock_guard lock(list.Mutex());
        const int i = list.IndexOfObject(thread);
        if (i >= 0) {
            previous = list.Items(i).PreviousRun;
            own = list.Items(i).ThreadId == gettid();
        }
    }
    if (!previous)
        return;
    try {
        reinterpret_cast<RunMethod>(previous)(thread);
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        // Reported here, then run() returns as usual: the toolkit does not catch an exception
        // leaving run(), and passing it on would end the whole program.
        if (own)
            ReportThreadException();
    }
}

void* StartWrapper(void* argument)
{
    const StartBlock block = *static_cast<StartBlock*>(argument);
    delete static_cast<StartBlock*>(argument);
    {
        TSivrelThreadsList& list = SivrelThreads();
        std::lock_guard lock(list.Mutex());
        for (int i = list.Count() - 1; i >= 0; --i)
            if (&list.Items(i) == block.record) {
                list.Items(i).ThreadId = gettid();
                t_recordGuard.armed = true;
                break;
            }
    }
    SivrelPrepareThreadForFaults();
    void* result = nullptr;
    try {
        result = block.routine(block.parameter);
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        ReportThreadException();
        result = reinterpret_cast<void*>(-1);
    }
    SivrelThreads().RemoveCurrentThread();
    t_recordGuard.armed = false;
    return result;
}

int CreateHook(pthread_t* thread, const pthread_attr_t* attributes, void* (*routine)(void*), void* parameter)
{
    const auto real = reinterpret_cast<CreateFunction>(g_realCreate.load());
    if (!SivrelActive())
        return real(thread, attributes, routine, parameter);
    auto record = std::make_unique<TSivrelThreadRecord>();
    record->StartAddress = reinterpret_cast<uintptr_t>(routine);
    record->Parameter = parameter;
    void* frames[SivrelMaxCreatorFrames + 1];
    const int n = backtrace(frames, SivrelMaxCreatorFrames + 1);
    if (n > 1)
        record->CreatorFrames.assign(reinterpret_cast<uintptr_t*>(frames) + 1, reinterpret_cast<uintptr_t*>(frames) + n);
    if (FromThreadStart(__builtin_return_address(0)) && parameter && RunSlot() >= 0) {
        record->ThreadObject = parameter;
        record->ThreadFunction = record->StartAddress;
        record->StartAddress = 0;
        const uintptr_t table = *static_cast<const uintptr_t*>(parameter);
        record->PreviousRun = HookMethod(table, RunSlot(), reinterpret_cast<uintptr_t>(&RunWrapper));
    }
    auto* block = new StartBlock{routine, parameter, record.get()};
    TSivrelThreadsList& list = SivrelThreads();
    std::lock_guard lock(list.Mutex());
    TSivrelThreadRecord& added = list.Add(std::move(record));
    const int result = real(thread, attributes, &StartWrapper, block);
    if (result != 0) {
        delete block;
        list.Delete(list.Count() - 1);
    } else {
        added.ThreadHandle = *thread;
    }
    return result;
}

[[noreturn]] void ExitHook(void* result)
{
    SivrelThreads().RemoveCurrentThread();
    t_recordGuard.armed = false;
    reinterpret_cast<ExitFunction>(g_realExit.load())(result);
    __builtin_unreachable();
}

} // namespace

void SivrelRedirectNewModules()
{
    if (!SivrelActive())
        return;
    // A module already redirected holds the hooks in its slots, so it is left as it is.
    SivrelHookRaiseAndThreads(SivrelRedirectableModules());
}

std::vector<TSivrelImportRedirect> SivrelThreadRedirects()
{
    if (!g_realCreate.load())
        g_realCreate.store(reinterpret_cast<uintptr_t>(dlsym(RTLD_DEFAULT, "pthread_create")));
    if (!g_realExit.load())
        g_realExit.store(reinterpret_cast<uintptr_t>(dlsym(RTLD_DEFAULT, "pthread_exit")));
    return {{"pthread_create", g_realCreate.load(), reinterpret_cast<uintptr_t>(&CreateHook)},
            {"pthread_exit", g_realExit.load(), reinterpret_cast<uintptr_t>(&ExitHook)}};
}

bool SivrelHookThreads(const std::vector<uintptr_t>& modules)
{
    std::vector<TSivrelImportRedirect> redirects = SivrelThreadRedirects();
    return HookImports(modules, redirects);
}

bool SivrelHookRaiseAndThreads(const std::vector<uintptr_t>& modules)
{
    std::vector<TSivrelImportRedirect> redirects = SivrelThreadRedirects();
    redirects.insert(redirects.begin(), SivrelRaiseRedirect());
    return HookImports(modules, redirects);
}

} // namespace excreport

// The program exports this for the loader of the libraries it loads on first call.
extern "C" void SivrelModulesLoaded()
{
    excreport::SivrelRedirectNewModules();
}

#include "excreport/SivrelListeners.h"
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace excreport {

TSivrelExceptionNotify SivrelExceptionNotify;
TSivrelActionNotify SivrelActionNotify;
TSivrelActionNotify SivrelActionErrorNotify;

namespace {

std::atomic<const TSivrelExceptionRecord*> g_published{nullptr};
std::atomic<pid_t> g_waiting{0};

// The queue slot: one call for one thread (ListenerCallLock).
std::mutex g_callLock;
const std::function<void()>* g_queued = nullptr;
pid_t g_queuedFor = 0;

void RunGuarded(const std::function<void()>& procedure)
{
    try {
        procedure();
    } catch (...) {
        // a listener's failure never reaches the report
    }
}

template <typename Event>
bool AnySet(Event TSivrelListener::*event, const Event& procedure)
{
    const TSivrelLogList& list = SivrelListeners();
    for (int i = 0; i < list.Count(); ++i)
        if (list.Items(i)->*event)
            return true;
    return static_cast<bool>(procedure);
}

void FireAction(TSivrelActionNotify TSivrelListener::*event, const TSivrelActionNotify& procedure,
                const TSivrelExceptionRecord& record, int action, bool& flag)
{
    const TSivrelExceptionRecord copy = record;
    const TSivrelLogList& list = SivrelListeners();
    for (int i = list.Count() - 1; i >= 0; --i)
        if (const auto& e = list.Items(i)->*event)
            e(copy, action, flag);
    if (procedure)
        procedure(copy, action, flag);
}

} // namespace

TSivrelLogList& SivrelListeners()
{
    static TSivrelLogList& list = *new TSivrelLogList;
    return list;
}

bool HasExceptionNotify()
{
    return AnySet(&TSivrelListener::ExceptionNotify, SivrelExceptionNotify);
}

bool HasActionNotify()
{
    return AnySet(&TSivrelListener::ActionNotify, SivrelActionNotify);
}

bool HasActionErrorNotify()
{
    return AnySet(&TSivrelListener::ActionErrorNotify, SivrelActionErrorNotify);
}

void FireExceptionNotify(const TSivrelExceptionRecord& record, bool& handled)
{
    const TSivrelLogList& list = SivrelListeners();
    for (int i = list.Count() - 1; i >= 0; --i)
        if (const auto& e = list.Items(i)->ExceptionNotify)
            e(record, handled);
    if (SivrelExceptionNotify)
        SivrelExceptionNotify(record, handled);
}

void FireActionNotify(const TSivrelExceptionRecord& record, int action, bool& execute)
{
    FireAction(&TSivrelListener::ActionNotify, SivrelActionNotify, record, action, execute);
}

void FireActionErrorNotify(const TSivrelExceptionRecord& record, int action, bool& retry)
{
    FireAction(&TSivrelListener::ActionErrorNotify, SivrelActionErrorNotify, record, action, retry);
}

void SivrelPublishRecord(const TSivrelExceptionRecord* record)
{
    g_published.store(record);
}

const TSivrelExceptionRecord* SivrelPublishedRecord()
{
    return g_published.load();
}

void SivrelSetWaitingThread(pid_t thread)
{
    g_waiting.store(thread);
}

pid_t SivrelWaitingThread()
{
    return g_waiting.load();
}

void RunInFaultingThread(const std::function<void()>& procedure)
{
    const TSivrelExceptionRecord* record = g_published.load();
    const pid_t waiting = record && g_waiting.load() ? g_waiting.load() : record ? static_cast<pid_t>(record->ThreadId) : 0;
    if (!record || waiting == gettid()) {
        RunGuarded(procedure);
        return;
    }
    {
        std::lock_guard lock(g_callLock);
        g_queued = &procedure;
        g_queuedFor = waiting;
    }
    for (;;) {
        {
            std::lock_guard lock(g_callLock);
            if (!g_queued)
                return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool SivrelServeListenerCall()
{
    std::lock_guard lock(g_callLock);
    if (!g_queued || g_queuedFor != gettid())
        return false;
    RunGuarded(*g_queued);
    g_queued = nullptr;
    return true;
}

} // namespace excreport

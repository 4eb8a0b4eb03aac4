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

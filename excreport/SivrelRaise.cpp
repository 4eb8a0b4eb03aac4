#include "excreport/SivrelRaise.h"
#include "excreport/SivrelCallStack.h"
#include "excreport/SivrelHook.h"
#include <atomic>
#include <cerrno>
#include <dlfcn.h>
#include <cstring>
#include <execinfo.h>
#include <mutex>
#include <typeinfo>
#include <unistd.h>
#include <unordered_map>

namespace excreport {

namespace {

using ThrowFunction = void (*)(void*, std::type_info*, void (*)(void*));

std::atomic<uintptr_t> g_realThrow{0};
std::atomic<bool> g_active{false};

struct Note {
    TSivrelRaiseRecord record;
    void (*destructor)(void*) = nullptr;
};

// Made on first use and never freed: throws may come before this file's dynamic initialisation
// (the reporter's constructor) and objects may be destroyed during the process's exit.
std::mutex& NotesLock()
{
    static std::mutex& lock = *new std::mutex;
    return lock;
}
std::unordered_map<const void*, Note>& Notes()
{
    static auto& notes = *new std::unordered_map<const void*, Note>;
    return notes;
}

void DestroyThrown(void* object)
{
    void (*destructor)(void*) = nullptr;
    {
        std::lock_guard lock(NotesLock());
        const auto it = Notes().find(object);
        if (it != Notes().end()) {
            destructor = it->second.destructor;
            Notes().erase(it);
        }
    }
    if (destructor)
        destructor(object);
}

[[noreturn]] void ThrowHook(void* object, std::type_info* type, void (*destructor)(void*))
{
    const auto real = reinterpret_cast<ThrowFunction>(g_realThrow.load(std::memory_order_relaxed));
    if (g_active.load(std::memory_order_relaxed)) {
        const int savedErrno = errno; // the program's last error survives the note
        Note note;
        note.destructor = destructor;
        const uintptr_t ret = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
        void* frames[SivrelMaxRaiseFrames + 1];
        const int n = backtrace(frames, SivrelMaxRaiseFrames + 1);
        // The first frame is this hook: keep the frames from the raise on.
        int first = 0;
        while (first < n && reinterpret_cast<uintptr_t>(frames[first]) != ret)
            ++first;
        if (first == n)
            first = n > 0 ? 1 : 0;
        note.record.ReturnAddress = ret;
        note.record.ThreadId = gettid();
        note.record.Frames.assign(reinterpret_cast<uintptr_t*>(frames) + first, reinterpret_cast<uintptr_t*>(frames) + n);
        {
            std::lock_guard lock(NotesLock());
            Notes().insert_or_assign(object, std::move(note));
        }
        destructor = &DestroyThrown;
        errno = savedErrno;
    }
    real(object, type, destructor);
    __builtin_unreachable();
}

// The thrown object an exception_ptr holds (libstdc++ keeps it as its only member).
const void* ThrownObject(const std::exception_ptr& error)
{
    static_assert(sizeof(std::exception_ptr) == sizeof(void*));
    const void* object = nullptr;
    std::memcpy(&object, static_cast<const void*>(&error), sizeof object);
    return object;
}

} // namespace

TSivrelImportRedirect SivrelRaiseRedirect()
{
    static const bool warm = [] {
        void* frames[2];
        return backtrace(frames, 2) > 0;
    }();
    (void)warm;
    // The real function is known before the first slot leads to the hook.
    if (!g_realThrow.load())
        g_realThrow.store(reinterpret_cast<uintptr_t>(dlsym(RTLD_DEFAULT, "__cxa_throw")));
    return {"__cxa_throw", g_realThrow.load(), reinterpret_cast<uintptr_t>(&ThrowHook)};
}

bool SivrelHookRaise(const std::vector<uintptr_t>& modules)
{
    std::vector<TSivrelImportRedirect> redirects{SivrelRaiseRedirect()};
    return HookImports(modules, redirects);
}

void SivrelSetRaiseActive(bool on)
{
    g_active.store(on);
}

bool SivrelRaiseActive()
{
    return g_active.load();
}

std::optional<TSivrelRaiseRecord> SivrelRaiseRecord(const std::exception_ptr& error)
{
    if (!error)
        return std::nullopt;
    std::lock_guard lock(NotesLock());
    const auto it = Notes().find(ThrownObject(error));
    if (it == Notes().end())
        return std::nullopt;
    return it->second.record;
}

uintptr_t SivrelRaiseAddress(const TSivrelRaiseRecord& record)
{
    const uintptr_t call = SivrelCallBefore(record.ReturnAddress);
    return call ? call : record.ReturnAddress - 1;
}

int SivrelRaiseRecordCount()
{
    std::lock_guard lock(NotesLock());
    return static_cast<int>(Notes().size());
}

} // namespace excreport

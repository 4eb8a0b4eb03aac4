// Libraries the program calls only for some of its work (mailing, imports, help, metafiles) are
// not linked the usual way: mapping and relocating them and everything they pull in was a large
// part of every start. The build gives each function the program calls from them a stub (see
// cmake/QlyLazyLibraries.cmake); the first call of a stub comes here, loads the library and
// puts the function's address into the stub's slot, so later calls jump straight to it.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <errno.h>
#include <dlfcn.h>
#include <mutex>
#include <unistd.h>

namespace {

struct TLazyLibrary {
    const char* Soname;
    void* Handle;
};

struct TLazySymbol {
    void** Slot;
    const char* Name;
    TLazyLibrary* Library;
};

std::mutex& LoadLock()
{
    static std::mutex lock;
    return lock;
}

// What the loader would have said at start, and its exit code.
[[noreturn]] void Fail(const char* what)
{
    const char* program = program_invocation_name ? program_invocation_name : "quillory";
    std::fprintf(stderr, "%s: %s\n", program, what);
    std::fflush(stderr);
    ::_exit(127);
}

} // namespace

extern "C" __attribute__((visibility("hidden"))) void* QlyLazyResolve(TLazySymbol* symbol)
{
    TLazyLibrary& library = *symbol->Library;
    bool loaded = false;
    void* handle = nullptr;
    {
        std::lock_guard lock(LoadLock());
        handle = library.Handle;
        if (!handle) {
            // Global, like a library linked the usual way; never unloaded.
            handle = ::dlopen(library.Soname, RTLD_NOW | RTLD_GLOBAL);
            if (!handle) {
                char text[1024];
                const char* error = ::dlerror();
                std::snprintf(text, sizeof text, "error while loading shared libraries: %s", error ? error : library.Soname);
                Fail(text);
            }
            library.Handle = handle;
            loaded = true;
        }
    }
    if (loaded) {
        // The exception reporter redirects the calls of every loaded module (thread starts,
        // raised exceptions); a library loaded now gets the same.
        using TModulesLoaded = void (*)();
        if (const auto notify = reinterpret_cast<TModulesLoaded>(::dlsym(RTLD_DEFAULT, "SivrelModulesLoaded")))
            notify();
    }
    void* function = ::dlsym(handle, symbol->Name);
    if (!function) {
        char text[1024];
        std::snprintf(text, sizeof text, "symbol lookup error: %s: undefined symbol: %s", library.Soname, symbol->Name);
        Fail(text);
    }
    std::atomic_ref<void*>(*symbol->Slot).store(function, std::memory_order_release);
    return function;
}

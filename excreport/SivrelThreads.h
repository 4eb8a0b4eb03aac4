#pragma once
// Thread tracking: every thread the program starts goes through the reporter's pthread_create
// hook, which records it (with the frames of the code that started it) and starts it through a
// wrapper that reports an exception ending the thread. A toolkit thread object's run method is
// wrapped the same way, so the thread still ends through the toolkit's own path.
#include "excreport/SivrelHook.h"
#include <cstdint>
#include <vector>

namespace excreport {

// Redirects pthread_create and pthread_exit in the modules; true when any module was changed.
bool SivrelHookThreads(const std::vector<uintptr_t>& modules);
// Its redirections, for HookImports with others.
std::vector<TSivrelImportRedirect> SivrelThreadRedirects();
// SivrelHookRaise and SivrelHookThreads in one pass over each module's slots.
bool SivrelHookRaiseAndThreads(const std::vector<uintptr_t>& modules);
// The raise and thread hooks for the modules loaded since the last call (or the activation).
void SivrelRedirectNewModules();

} // namespace excreport

// SivrelRedirectNewModules for a module of the process that loaded libraries (the program
// exports it; reached through dlsym).
extern "C" void SivrelModulesLoaded();

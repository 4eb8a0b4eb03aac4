#pragma once
// The raise hook: every C++ throw of the redirected modules notes where it was raised, in which
// thread and the frames at that moment, for the thrown object itself. The note lives as long as
// the object (the hook wraps its destructor), so a re-raise elsewhere still finds the frames of
// the original raise.
#include "excreport/SivrelHook.h"
#include <cstdint>
#include <exception>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace excreport {

constexpr int SivrelMaxRaiseFrames = 64;

struct TSivrelRaiseRecord {
    uintptr_t ReturnAddress = 0;      // behind the call that raised
    pid_t ThreadId = 0;
    std::vector<uintptr_t> Frames;    // return addresses, starting with ReturnAddress
};

// Redirects __cxa_throw in the modules (see HookImport); true when any module was changed.
// The first call also warms up backtrace(), which loads the unwinder on first use.
bool SivrelHookRaise(const std::vector<uintptr_t>& modules);
// The redirection SivrelHookRaise makes, for HookImports with others (same first-call work).
TSivrelImportRedirect SivrelRaiseRedirect();
// While off, the hook passes every throw straight on (notes already made stay until their objects go).
void SivrelSetRaiseActive(bool on);
bool SivrelRaiseActive();

// The note of the object an exception_ptr holds, if that object was raised through the hook.
std::optional<TSivrelRaiseRecord> SivrelRaiseRecord(const std::exception_ptr& error);
// The raise address of a note: the call instruction before its return address.
uintptr_t SivrelRaiseAddress(const TSivrelRaiseRecord& record);
// Number of notes held (objects raised through the hook and still alive).
int SivrelRaiseRecordCount();

} // namespace excreport

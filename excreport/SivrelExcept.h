#pragma once
// The reporter's process-wide state: the module list, this module's options and the switch of
// the freeze watch.
#include "excreport/SivrelTypes.h"
#include <exception>
#include <pthread.h>
#include <sys/types.h>

namespace excreport {

class TSivrelModulesList;
class TSivrelModuleOptionsEx;

// An assertion of the reporter that does not hold.
class EAssertionFailed : public ESivrelError {
public:
    using ESivrelError::ESivrelError;
};

// The process's module list, or nullptr while there is none.
TSivrelModulesList* SivrelModules();
// Makes the module list when there is none yet and hands it back.
TSivrelModulesList* SivrelCreateModules();
// Frees the module list (the deactivation). Nothing else may be using it.
void SivrelFreeModules();

// The options of the module that holds the reporter (its entry in the module list, made on first
// use); the pointer keeps the entry alive while a refresh drops it. Raises EAssertionFailed
// "Cannot use 'CurrentSivrelLogOptions' function without SivrelLog activate." when there is no
// module list or no entry for this module.
std::shared_ptr<TSivrelModuleOptionsEx> CurrentSivrelLogOptions();

// The freeze watch registers how it is started and stopped; until then both do nothing.
struct TSivrelFreezeControl {
    void (*Start)() = nullptr;
    void (*Stop)() = nullptr;
};
void SivrelSetFreezeControl(const TSivrelFreezeControl& control);
// Starts the watch when this module's options have FreezeActive on (nothing without a module list).
void StartFreezeDetector();
void StopFreezeDetector();

// ---------------------------------------------------------------- activation and dispatch

struct TExceptNotifyParams;

// Switches the reporter on: only when this module carries its data block with a debug block
// (otherwise it stays off and the program handles its exceptions itself). Installs the raise
// hook, the terminate handler and the application's hook slots, starts the report thread and,
// when the options ask for it, the freeze watch. True when the reporter is on.
bool SivrelActivate();
// Switches it off again and removes this module's shared block. The hooks stay until the hook
// engine's finalization but pass everything straight on.
void SivrelDeactivate();
bool SivrelActive();
// This module is a library whose exceptions go to the main program's reporter.
bool SivrelForwarding();

// One report at a time, built on the report thread while the calling thread waits (a GUI thread
// keeps painting and drops input, and any thread serves the listeners' calls). True when the
// caller shall run its own handling: the reporter was off or busy in this very thread, this
// module's options are switched off, or the report was declined.
bool DispatchException(std::exception_ptr object, uintptr_t address, TExceptNotifyParams params, uint8_t mode);

// The reporter's thread: true inside it.
bool SivrelIsReportThread();
// The main thread (the one that switched the reporter on), its id and the upper end of its stack.
pthread_t SivrelMainThread();
pid_t SivrelMainThreadId();
uintptr_t SivrelMainStackTop();

} // namespace excreport

// The entry through which any module hands an exception to the program's reporter. exceptObject
// points to a std::exception_ptr; exceptAddr is the raise address when known. Mode 0: automatic,
// 1: from the application's exception handler. True: the caller runs its own handling.
extern "C" bool ExceptionManager(const void* exceptObject, const void* exceptAddr, uint8_t mode);

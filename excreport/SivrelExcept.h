#pragma once
// The reporter's process-wide state: the module list, this module's options and the switch of
// the freeze watch.
#include "excreport/SivrelTypes.h"

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

} // namespace excreport

#pragma once
// Fatal signals (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT) become reports: the handler notes the
// registers and frames into memory made before the fault, hands the fault to the reporter's fault
// thread and waits for the report; then the signal takes its default course (exit status and core
// dump stay the system's).
#include <cstdint>
#include <sys/types.h>

namespace excreport {

// Installs the handlers (keeping the previous ones) and starts the fault thread.
void SivrelInstallSignalHandlers();
// Puts the previous handlers back and ends the fault thread.
void SivrelRemoveSignalHandlers();
// Gives the calling thread its alternate signal stack (64 KB, with its fault note), so that a
// stack overflow can still be reported. The thread keeps it until it ends.
void SivrelPrepareThreadForFaults();

} // namespace excreport

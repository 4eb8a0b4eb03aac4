#pragma once
// The freeze watch: while this module's Active and FreezeActive are on, a thread probes the main
// window; when it has not answered for FreezeTimeout seconds, the main thread's registers and
// frames are noted (a real-time signal, whose handler returns at once) and an EFrozenApplication
// with FreezeMessage is reported as if raised where the main thread stood.

namespace excreport {

// Registers the watch as the reporter's freeze detector (the activation calls it).
void SivrelRegisterFreezeWatch();

} // namespace excreport

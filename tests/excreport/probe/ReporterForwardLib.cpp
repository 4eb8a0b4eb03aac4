// A library that carries the reporter itself: loaded into a program with the reporter, it hands
// its exceptions to the program's reporter.
#include "excreport/SivrelExcept.h"

extern "C" bool probe_forwarding()
{
    return excreport::SivrelForwarding();
}

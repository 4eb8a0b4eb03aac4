// The program's main, through -Wl,--wrap=main (programs only, see qly_reporter_data): a program
// started again as the reporter's helper shows one window of a report instead of running.
#include "excreport/SivrelGui.h"

extern "C" int __real_main(int argc, char** argv);
extern "C" int __wrap_main(int argc, char** argv)
{
    if (excreport::SivrelHelperRequested())
        return excreport::SivrelRunHelper(argc, argv);
    return __real_main(argc, argv);
}

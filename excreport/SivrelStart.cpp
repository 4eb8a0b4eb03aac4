// Switches the reporter on before the program's own static objects are made and off after they
// are gone. Linked into a program by qly_reporter_data(... ACTIVATE), which asks for the anchor.
#include "excreport/SivrelExcept.h"
#include "excreport/SivrelGui.h"
#include "excreport/SivrelTypes.h"
#include <cstdio>
#include <exception>

extern "C" {
// Referenced by the link option -Wl,--undefined=SivrelStartAnchor, so this object is linked in.
int SivrelStartAnchor = 0;
}

namespace {

__attribute__((constructor(102))) void SivrelStart()
{
    if (excreport::SivrelHelperRequested())
        return; // a helper shows one window of a report and ends
    try {
        excreport::SivrelActivate();
    } catch (const excreport::ESivrelError& e) {
        std::fprintf(stderr, "[ERROR] - Activation: %s\n", e.what());
        excreport::SivrelDeactivate();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "[ERROR] - Activation: %s\n", e.what());
        excreport::SivrelDeactivate();
    }
}

__attribute__((destructor(102))) void SivrelStop()
{
    excreport::SivrelDeactivate();
}

} // namespace

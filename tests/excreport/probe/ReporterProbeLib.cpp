// Shared object for the module-list tests: it carries its own reporter data block.
#include <cstdint>

extern "C" {

volatile int ProbeLibSink = 0;

__attribute__((noinline)) int probe_c_function(int v)
{
    ProbeLibSink = ProbeLibSink + v;
    return ProbeLibSink * 3;
}

__attribute__((noinline)) void probe_call(void (*callback)())
{
    callback(); // MARK:probe_call
    ProbeLibSink = ProbeLibSink + 1;
}

}

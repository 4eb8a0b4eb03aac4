// Shared object for the module-list tests: it carries its own reporter data block.
#include <cstdint>

extern "C" {

volatile int ProbeLibSink = 0;

__attribute__((noinline)) int probe_c_function(int v)
{
    ProbeLibSink = ProbeLibSink + v;
    return ProbeLibSink * 3;
}

// A throw inside the library itself (through its own import of __cxa_throw).
__attribute__((noinline)) void probe_throw()
{
    throw 42;
}

__attribute__((noinline)) void probe_call(void (*callback)())
{
    callback(); // MARK:probe_call
    ProbeLibSink = ProbeLibSink + 1;
}

}

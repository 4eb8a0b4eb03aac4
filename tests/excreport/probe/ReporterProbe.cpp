// Probe program for the reporter's data block: each routine calls Mark from a marked line; Mark
// prints its return address relative to the program's load base. The test looks these up in the
// program's debug block.
#include "ReporterProbeHeader.h"
#include <cstdint>
#include <cstdio>

extern "C" const char __ehdr_start[];
volatile int ProbeSink = 0;

__attribute__((noinline)) void Mark(const char* what)
{
    const auto ret = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
    std::printf("%s %llx\n", what, static_cast<unsigned long long>(ret - reinterpret_cast<uintptr_t>(__ehdr_start)));
    ProbeSink = ProbeSink + 1;
}

namespace probe {

__attribute__((noinline)) void FreeFunction()
{
    Mark("free"); // MARK:free
    ProbeSink = ProbeSink + 1;
}

class Widget {
public:
    __attribute__((noinline)) void Method();
    int value = 0;
};

void Widget::Method()
{
    Mark("method"); // MARK:method
    value = ProbeSink + 1;
}

__attribute__((always_inline)) inline void InlinedHelper()
{
    Mark("inlined"); // MARK:inlined
    ProbeSink = ProbeSink + 2;
}

__attribute__((noinline)) void CallsInlined()
{
    ProbeSink = ProbeSink + 3;
    InlinedHelper();
    ProbeSink = ProbeSink + 4;
}

} // namespace probe

int main()
{
    probe::FreeFunction();
    probe::Widget w;
    w.Method();
    auto lambda = []() __attribute__((noinline)) {
        Mark("lambda"); // MARK:lambda
        ProbeSink = ProbeSink + 1;
    };
    lambda();
    probe::CallsInlined();
    HeaderFunction();
    return w.value > 0 ? 0 : 1;
}

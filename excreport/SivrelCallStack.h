#pragma once
// Finding calls on a raw stack: the fallback when the unwinder could not walk the stack.
#include <cstdint>
#include <vector>

namespace excreport {

// At most this many bytes of stack are scanned.
constexpr uintptr_t SivrelMaxStackScan = 102400;

// One call found on the stack. When the call is a direct call, Target is the routine it called
// (a PLT entry resolved to its GOT target), else 0.
struct TSivrelStackCall {
    uintptr_t Call = 0;
    uintptr_t Target = 0;
};

// Scans the 8-byte slots of [start, end) (at most SivrelMaxStackScan bytes from start) for values
// that point just behind an x86-64 call instruction; the calls in stack order. Memory that cannot
// be read is skipped, never touched.
std::vector<TSivrelStackCall> SivrelScanStack(uintptr_t start, uintptr_t end);

// The call instruction that ends exactly at ReturnAddress (its start), or 0; Target as above.
uintptr_t SivrelCallBefore(uintptr_t returnAddress, uintptr_t* target = nullptr);

} // namespace excreport

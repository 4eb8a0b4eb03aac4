#include "excreport/SivrelCapture.h"
#include <gtest/gtest.h>
#include <csignal>
#include <stdexcept>

using namespace excreport;

namespace shop {
struct EAbort : std::exception {};
struct ESilentStop : EAbort {};
} // namespace shop

namespace {

struct Marker {
    virtual ~Marker() = default;
};
struct Both : std::runtime_error, Marker {
    Both() : std::runtime_error("both") {}
};

template <typename T>
std::exception_ptr Thrown(T value)
{
    try {
        throw value;
    } catch (...) {
        return std::current_exception();
    }
}

} // namespace

TEST(SivrelCapture, ClassesMatchByNameUpTheirBases)
{
    const struct {
        std::exception_ptr error;
        const char* name;
        bool kindOf;
    } cases[] = {
        {Thrown(shop::ESilentStop()), "EAbort", true},
        {Thrown(shop::ESilentStop()), "  eabort ", true},
        {Thrown(shop::ESilentStop()), "shop::EAbort", true},
        {Thrown(shop::ESilentStop()), "other::EAbort", false},
        {Thrown(shop::ESilentStop()), "std::exception", true},
        {Thrown(shop::ESilentStop()), "Abort", false},
        {Thrown(Both()), "Marker", true},
        {Thrown(Both()), "exception", true},
        {Thrown(Both()), "std::logic_error", false},
        {Thrown(EAccessViolation("x", 0)), "EExternal", true},
        {Thrown(EAccessViolation("x", 0)), "excreport::ESivrelError", true},
        {Thrown(42), "int", true},
        {Thrown(42), "", false},
        {nullptr, "EAbort", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsKindOfByName(c.error, c.name), c.kindOf) << c.name;

    EXPECT_FALSE(IsReportable(Thrown(shop::ESilentStop())));
    EXPECT_FALSE(IsReportable(nullptr));
    EXPECT_TRUE(IsReportable(Thrown(std::runtime_error("x"))));
    EXPECT_TRUE(IsReportable(Thrown(42)));
    EXPECT_EQ(SivrelClassName(*SivrelExceptionType(Thrown(shop::ESilentStop()))), "shop::ESilentStop");
}

TEST(SivrelCapture, FaultsBecomeExternalExceptions)
{
    const uintptr_t rip = 0x55d0c0ffee12;
    const struct {
        TSivrelFault fault;
        const char* cls;
        const char* message;
    } cases[] = {
        {{SIGSEGV, SEGV_MAPERR, rip, 0x10, 4, false}, "EAccessViolation",
         "Access violation at address 000055D0C0FFEE12. Read of address 0000000000000010."},
        {{SIGSEGV, SEGV_ACCERR, rip, 0x7f0000001000, 6, false}, "EAccessViolation",
         "Access violation at address 000055D0C0FFEE12. Write of address 00007F0000001000."},
        {{SIGBUS, BUS_ADRERR, rip, 0x20, 4, false}, "EAccessViolation",
         "Access violation at address 000055D0C0FFEE12. Read of address 0000000000000020."},
        {{SIGSEGV, SEGV_MAPERR, rip, 0x7ffd00000ff8, 6, true}, "EStackOverflow", "Stack overflow."},
        {{SIGFPE, FPE_INTDIV, rip, 0, 0, false}, "EDivByZero", "Division by zero."},
        {{SIGFPE, FPE_INTOVF, rip, 0, 0, false}, "EMathError", "Integer overflow."},
        {{SIGFPE, FPE_FLTINV, rip, 0, 0, false}, "EMathError", "Invalid floating point operation."},
        {{SIGILL, ILL_ILLOPC, rip, 0, 0, false}, "EIllegalInstruction",
         "Illegal instruction at address 000055D0C0FFEE12."},
        {{SIGABRT, 0, rip, 0, 0, false}, "EProcessAbort", "Abnormal program termination."},
    };
    for (const auto& c : cases) {
        const std::exception_ptr e = SivrelFaultException(c.fault);
        EXPECT_TRUE(IsKindOfByName(e, c.cls)) << c.message;
        EXPECT_TRUE(IsKindOfByName(e, "EExternal")) << c.message;
        try {
            std::rethrow_exception(e);
        } catch (const EExternal& x) {
            EXPECT_EQ(x.Message(), c.message);
            EXPECT_EQ(x.ExceptionAddress(), rip);
        }
    }
}

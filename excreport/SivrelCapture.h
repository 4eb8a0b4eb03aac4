#pragma once
// The exceptions of the reporter's capture: the classes that stand for faults (signals) and a
// frozen main window, and the tests of an exception's class by name.
#include "excreport/SivrelTypes.h"
#include <exception>
#include <typeinfo>

namespace excreport {

// A fault the system reported (a signal), not an exception the program raised.
class EExternal : public ESivrelError {
public:
    EExternal(const QString& message, uintptr_t address) : ESivrelError(message), m_address(address) {}
    // The instruction that faulted.
    uintptr_t ExceptionAddress() const { return m_address; }

private:
    uintptr_t m_address;
};

#define SIVREL_EXTERNAL(Name)                 \
    class Name : public EExternal {           \
    public:                                   \
        using EExternal::EExternal;           \
    };
SIVREL_EXTERNAL(EAccessViolation)
SIVREL_EXTERNAL(EStackOverflow)
SIVREL_EXTERNAL(EDivByZero)
SIVREL_EXTERNAL(EMathError)
SIVREL_EXTERNAL(EIllegalInstruction)
SIVREL_EXTERNAL(EProcessAbort)
#undef SIVREL_EXTERNAL

// The exception of a freeze report.
class EFrozenApplication : public ESivrelError {
public:
    using ESivrelError::ESivrelError;
};

// What a fatal-signal handler notes about a fault (plain values: it may not allocate).
struct TSivrelFault {
    int Signal = 0;
    int Code = 0;                 // si_code
    uintptr_t Address = 0;        // the faulting instruction (RIP)
    uintptr_t DataAddress = 0;    // si_addr: the memory address of SIGSEGV and SIGBUS
    uint64_t PageFaultError = 0;  // the CPU's page-fault error code (bit 1: a write)
    bool InStackGuard = false;    // the data address lies in the thread's stack guard area
};

// The exception object for a fault: EAccessViolation "Access violation at address X. Read of
// address Y." (or "Write of"), EStackOverflow "Stack overflow.", EDivByZero "Division by zero.",
// EMathError, EIllegalInstruction, EProcessAbort "Abnormal program termination."; addresses with
// 16 hexadecimal digits.
std::exception_ptr SivrelFaultException(const TSivrelFault& fault);

// The class of the object an exception_ptr holds, or nullptr.
const std::type_info* SivrelExceptionType(const std::exception_ptr& error);
// The class's name without "class " or namespaces' decoration: "db::EAbort".
QString SivrelClassName(const std::type_info& type);
// The class or one of its bases has the name, compared without regard to case after trimming it;
// a name without "::" also matches the last part of a qualified name ("EAbort" matches
// "db::EAbort").
bool IsKindOfByName(const std::type_info* type, const QString& className);
inline bool IsKindOfByName(const std::exception_ptr& error, const QString& className)
{
    return IsKindOfByName(SivrelExceptionType(error), className);
}
// An exception that may be reported: an object that is not an "EAbort". (A thread's cancellation,
// abi::__forced_unwind, never reaches an exception_ptr: catch it by type and rethrow it.)
bool IsReportable(const std::exception_ptr& error);

} // namespace excreport

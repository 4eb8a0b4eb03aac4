#include "excreport/SivrelCapture.h"
#include <csignal>
#include <cstdlib>
#include <cxxabi.h>

namespace excreport {

namespace {

QString Hex16(uintptr_t value)
{
    return QStringLiteral("%1").arg(static_cast<qulonglong>(value), 16, 16, QLatin1Char('0')).toUpper();
}

} // namespace

std::exception_ptr SivrelFaultException(const TSivrelFault& f)
{
    switch (f.Signal) {
    case SIGSEGV:
    case SIGBUS:
        if (f.InStackGuard)
            return std::make_exception_ptr(EStackOverflow(QStringLiteral("Stack overflow."), f.Address));
        return std::make_exception_ptr(EAccessViolation(
            QStringLiteral("Access violation at address %1. %2 of address %3.")
                .arg(Hex16(f.Address), (f.PageFaultError & 2) ? QStringLiteral("Write") : QStringLiteral("Read"),
                     Hex16(f.DataAddress)),
            f.Address));
    case SIGFPE:
        switch (f.Code) {
        case FPE_INTDIV:
        case FPE_FLTDIV:
            return std::make_exception_ptr(EDivByZero(QStringLiteral("Division by zero."), f.Address));
        case FPE_INTOVF:
            return std::make_exception_ptr(EMathError(QStringLiteral("Integer overflow."), f.Address));
        case FPE_FLTOVF:
            return std::make_exception_ptr(EMathError(QStringLiteral("Floating point overflow."), f.Address));
        case FPE_FLTUND:
            return std::make_exception_ptr(EMathError(QStringLiteral("Floating point underflow."), f.Address));
        default:
            return std::make_exception_ptr(EMathError(QStringLiteral("Invalid floating point operation."), f.Address));
        }
    case SIGILL:
        return std::make_exception_ptr(EIllegalInstruction(
            QStringLiteral("Illegal instruction at address %1.").arg(Hex16(f.Address)), f.Address));
    case SIGABRT:
        return std::make_exception_ptr(EProcessAbort(QStringLiteral("Abnormal program termination."), f.Address));
    default:
        return std::make_exception_ptr(
            EExternal(QStringLiteral("External exception %1 at address %2.").arg(f.Signal).arg(Hex16(f.Address)),
                      f.Address));
    }
}

const std::type_info* SivrelExceptionType(const std::exception_ptr& error)
{
    return error ? error.__cxa_exception_type() : nullptr;
}

QString SivrelClassName(const std::type_info& type)
{
    int status = 0;
    char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    const QString name = QString::fromUtf8(status == 0 && demangled ? demangled : type.name());
    std::free(demangled);
    return name;
}

namespace {

bool NameMatches(const std::type_info& type, const QString& wanted)
{
    const QString name = SivrelClassName(type);
    if (name.compare(wanted, Qt::CaseInsensitive) == 0)
        return true;
    if (wanted.contains(QStringLiteral("::")))
        return false;
    const qsizetype colons = name.lastIndexOf(QStringLiteral("::"));
    return colons >= 0 && QStringView(name).mid(colons + 2).compare(wanted, Qt::CaseInsensitive) == 0;
}

bool KindOf(const std::type_info* type, const QString& wanted, int depth)
{
    if (!type || depth > 64)
        return false;
    if (NameMatches(*type, wanted))
        return true;
    if (const auto* single = dynamic_cast<const abi::__si_class_type_info*>(type))
        return KindOf(single->__base_type, wanted, depth + 1);
    if (const auto* multi = dynamic_cast<const abi::__vmi_class_type_info*>(type))
        for (unsigned i = 0; i < multi->__base_count; ++i)
            if (KindOf(multi->__base_info[i].__base_type, wanted, depth + 1))
                return true;
    return false;
}

} // namespace

bool IsKindOfByName(const std::type_info* type, const QString& className)
{
    const QString wanted = className.trimmed();
    return !wanted.isEmpty() && KindOf(type, wanted, 0);
}

bool IsReportable(const std::exception_ptr& error)
{
    return SivrelExceptionType(error) && !IsKindOfByName(error, QStringLiteral("EAbort"));
}

} // namespace excreport

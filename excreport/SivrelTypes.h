#pragma once
// Shared types of the exception reporter: errors, call-stack entries, exported routines.
#include <QString>
#include <cstdint>
#include <memory>
#include <stdexcept>

namespace excreport {

// The reporter's errors carry their message as text, like the toolkit's exception classes.
class ESivrelError : public std::runtime_error {
public:
    explicit ESivrelError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    QString Message() const { return m_message; }
private:
    QString m_message;
};

// A value that cannot be converted or assigned.
class EConvertError : public ESivrelError {
public:
    using ESivrelError::ESivrelError;
};

// A stream ended before the bytes asked for.
class EReadError : public ESivrelError {
public:
    using ESivrelError::ESivrelError;
};

struct TSivrelModuleInfo;
using TSivrelModuleRef = std::shared_ptr<TSivrelModuleInfo>;

// One entry of a call stack.
//   Kind: 0 nothing known (or hidden as a repeat), 1 module only, 2 export name without unit,
//         3 export name split into unit (and class) and routine, 4 line from the debug block.
struct TSivrelDebugInfo {
    uint8_t Kind = 0;
    TSivrelModuleRef Module;
    uintptr_t Address = 0;
    QString UnitName;
    QString ClassName;
    QString ProcedureName;
    int32_t Line = 0;
};

// One exported routine of a module; it covers Address .. Address + Size inclusive.
struct TSivrelFunctionInfo {
    QString Name;
    uintptr_t Address = 0;
    int32_t Size = 0;
};

} // namespace excreport

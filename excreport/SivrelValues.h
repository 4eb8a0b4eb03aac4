#pragma once
// The values of the report's general section and the report date.
#include <QChar>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <ctime>
#include <exception>

namespace excreport {

// "Fri, 11 Dec 2026 01:02:03 +0100": English day and month names, the zone of the local time at
// that moment as hours and minutes.
QString ReportDate(std::time_t when);
// Megabytes rounded (halves to even) with " Mb"; gigabytes with at most two decimals and " Gb".
QString FormatMb(uint64_t bytes);
QString FormatGb(uint64_t bytes, QChar decimalPoint);
// Each argument in double quotes, separated by one blank.
QString QuotedArguments(const QStringList& arguments);
// The class name of the exception, or "Unknown exception type.".
QString ExceptionTypeText(const std::exception_ptr& error);
// The message of the exception with a final full stop, or "Unknown error message.".
QString ExceptionMessageText(const std::exception_ptr& error);
// The file name of the module that holds the address; the main program's name when nothing is
// mapped there; empty when the memory there belongs to no module.
QString ModuleNameOfAddress(uintptr_t address);
// PRETTY_NAME of an os-release file.
QString OsPrettyName(const QString& file = QStringLiteral("/etc/os-release"));
// The system locale's language and territory in its own language.
QString SystemLanguageName();
// The start of this process, from the kernel's records.
std::time_t ProcessStartTime();

// What the pipeline knows of the exception.
struct TSivrelValueSources {
    std::exception_ptr Exception;
    uintptr_t Address = 0;
    std::time_t ExceptionTime = 0;
    QString FocusClass;
    QString FocusText;
    // The active window's class and title, taken by the caller where widgets may be read.
    QString FormClass;
    QString FormText;
};
// The 23 items, unblanked.
std::array<QString, 23> GatherReportValues(const TSivrelValueSources& sources);

} // namespace excreport

#pragma once
// The report text: header and general section, call-stack table, module table and CPU section,
// joined into one text with CR LF line ends; the request section is appended later.
#include "excreport/SivrelTypes.h"
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace excreport {

class TSivrelModuleOptions;

// The texts of the report being processed (one report at a time).
struct TSivrelReportTexts {
    QString HeaderText;
    QString CPUText;
    QString ReportText;
    QString MailText;
    QString IntroText;
    QString MessageText;
    QString RequestText;
    QString DupAddress;
    QString DupModule;
    QString DupType;
    QString DupMessage;
};

// Registers of the CPU section, in the order RAX, RDI, RBX, RSI, RCX, RSP, RDX, RIP.
using TSivrelRegisters = std::array<uint64_t, 8>;

// Everything the report text is made of.
struct TSivrelReportInput {
    // Values of the items 1.1 .. 5.4 (index 0 .. 22), as they shall appear.
    std::array<QString, 23> Items;
    // A console or web program: the items of "Active Controls" are left out.
    bool HideActiveControls = false;
    std::vector<TSivrelDebugInfo> CallStack;
    std::vector<TSivrelModuleRef> Modules;
    std::optional<TSivrelRegisters> Registers;
    uintptr_t StackPointer = 0;
    uintptr_t ExceptionAddress = 0;
    // Copies memory when all of it is readable (by default the reporter's own reader).
    std::function<bool(uintptr_t, void*, size_t)> ReadMemory;
};

// A numbered section list of the general section.
class TLogItem {
public:
    void Clear();
    void AddSection(const QString& caption);
    void AddItem(const QString& caption, const QString& value, bool visible);
    // The aligned text: empty sections removed, values of a section in one column, dash lines as
    // long as their section's longest line; every line ends with CR LF.
    QString GetText() const;

private:
    QString m_text;
    int m_section = 0;
    int m_item = 0;
};

QString PadRight(const QString& text, int width);
// Characters below 32 become blanks; the dialog's variant keeps CR and LF.
QString Blanked(const QString& text);
QString DialogBlanked(const QString& text);
// Address as 16 upper-case hex digits.
QString SivrelHexAddress(uint64_t value, int digits = 16);

// The header line and the general section.
QString BuildReportHeader(const TSivrelReportInput& input, const TSivrelModuleOptions& options);
QString BuildCallStackTable(const std::vector<TSivrelDebugInfo>& stack, const TSivrelModuleOptions& options);
QString BuildModulesTable(const std::vector<TSivrelModuleRef>& modules, const TSivrelModuleOptions& options);
QString BuildCPUText(const TSivrelReportInput& input, const TSivrelModuleOptions& options);
// The folder of a module's file without its trailing "/" (the root stays "/").
QString ModuleFolder(const QString& path);
// Fills every field of the texts but MessageText and RequestText; returns ReportText.
QString BuildStackReport(const TSivrelReportInput& input, const TSivrelModuleOptions& options, TSivrelReportTexts& texts);
// Appends the request section to ReportText and MailText when the report is no duplicate, LogFlags
// bit 1 is set and RequestText is not empty.
void AppendRequestSection(TSivrelReportTexts& texts, const TSivrelModuleOptions& options, bool duplicate);

} // namespace excreport

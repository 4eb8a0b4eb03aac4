#pragma once
// The report pipeline: one report at a time, from the faulting module's options to the outputs
// (dialog, log, mail), with the reporter's internal error and warning channel and the final
// termination. The outputs are reached through TSivrelReportOutputs.
#include "excreport/SivrelLists.h"
#include "excreport/SivrelModules.h"
#include <QString>
#include <array>
#include <atomic>
#include <optional>
#include <exception>
#include <memory>
#include <sys/types.h>
#include <vector>

namespace excreport {

enum TSivrelLogErrorCode : int {
    eeNone = 0,
    eeShowError = 1,
    eeLogError = 2,
    eeEmailMAPIError = 3,
    eeEmailShellError = 4,
    eeEmailSMTPError = 5,
};
QString SivrelLogErrorCodeName(TSivrelLogErrorCode code);

// The values that travel with one exception to the pipeline.
struct TExceptNotifyParams {
    uintptr_t StackTop = 0;     // upper end of the faulting thread's stack, or 0
    uintptr_t StackStart = 0;   // where a stack scan starts, or 0
    pid_t ThreadId = 0;         // the thread the report is about
    QString FocusClass;
    QString FocusText;
    // The GUI thread cannot serve the report's windows: it crashed, or it is frozen.
    bool GuiThreadHeld = false;
    // The return addresses collected at the fault (raise hook, signal handler, freeze snapshot).
    std::vector<uintptr_t> Frames;
    // The registers of a fault (a signal): RAX, RDI, RBX, RSI, RCX, RSP, RDX, RIP.
    std::optional<std::array<uint64_t, 8>> Registers;
};

// The report's outputs. The pipeline calls them on its own thread; a failure is an exception.
class TSivrelReportOutputs {
public:
    virtual ~TSivrelReportOutputs() = default;
    // A custom message instead of a report (caption: text 0 of the options).
    virtual void ShowCustomMessage(const QString& caption, const QString& message) = 0;
    // Builds the report texts and gives the whole report text.
    virtual QString BuildTexts() = 0;
    // The report equals one already in the log.
    virtual bool IsDuplicate() = 0;
    virtual void CaptureScreen() = 0;
    virtual void ReleaseScreen() = 0;
    // The short message of the exception (for a web page and the dialog's first line).
    virtual QString MessageText() = 0;
    // No window can be shown: the report goes to the standard output.
    virtual bool IsConsole() = 0;
    // The report dialog; the user's terminate or restart choice sets TerminateRequested.
    virtual void ShowReportDialog() = 0;
    virtual void ShowConsoleReport() = 0;
    virtual void ShowRequestDialog() = 0;
    virtual void SaveScreenshot() = 0;
    virtual void DeleteScreenshot() = 0;
    // The log step; the pipeline runs it before the report is shown, so that a report is kept
    // even when the program is ended while its dialog is open.
    virtual void WriteLog() = 0;
    // After the request dialog: the report's entry in the log gets the user's words.
    virtual void CompleteLog() {}
    // Without a log, the answers of the request dialog are only added to the texts.
    virtual void AppendRequestSection() = 0;
    virtual void CopyToClipboard() = 0;
    virtual void SendReport() = 0;
};
// The outputs in use (not owned); without any the pipeline only runs the listeners.
void SivrelSetReportOutputs(TSivrelReportOutputs* outputs);
TSivrelReportOutputs* SivrelReportOutputs();

// The process-wide values of the report in progress.
struct TSivrelReportState {
    bool Handled = true;
    bool Execute = true;
    bool Retry = false;
    bool SendSwitch = false;
    bool ScreenshotSwitch = false;
    bool CopySwitch = false;
    bool Duplicate = false;
    bool TerminateRequested = false;
    int ReportsThisRun = 0;
    TSivrelLogErrorCode LastWarningCode = eeNone;
    QString LastWarning;
    uintptr_t LastReportedAddress = 0;
    std::exception_ptr Exception;        // the exception being reported
    uintptr_t ExceptionAddress = 0;
    TExceptNotifyParams Params;          // the values gathered at the fault (focus, thread, stack)
    TSivrelModuleOptionsEx WorkingOptions{QString(), false};
    std::unique_ptr<TSivrelStackList> CallStack;
    TSivrelExceptionRecord Record;       // published to the listeners while the report runs
};
TSivrelReportState& SivrelReport();

// The thread records of the program's threads (their creators' frames follow a worker's stack).
TSivrelThreadsList& SivrelThreads();

// Grows with every step of a report: a fatal-signal handler waiting for its report gives up only
// when this stands still and no window of the reporter is open.
extern std::atomic<uint64_t> SivrelReportProgress;
// The number of the reporter's windows open now (its own or a helper process's).
extern std::atomic<int> SivrelWindowsOpen;
// Counts a window of the reporter as open for its lifetime.
struct TSivrelWindowOpen {
    TSivrelWindowOpen() { SivrelWindowsOpen.fetch_add(1); }
    ~TSivrelWindowOpen() { SivrelWindowsOpen.fetch_sub(1); }
    TSivrelWindowOpen(const TSivrelWindowOpen&) = delete;
    TSivrelWindowOpen& operator=(const TSivrelWindowOpen&) = delete;
};

// Produces one report; True when the caller shall run its own handling. Mode: 0 automatic, 1 from
// the application's handler.
bool ReportException(std::exception_ptr object, uintptr_t address, const TExceptNotifyParams& params, uint8_t mode);

// "[ERROR] - Section: <section> - Address: <16 hex digits> - Message: "<message>"" on stderr for
// the exception in flight (not for an "EAbort").
void InternalError(const QString& section);
// Notes the warning and writes "[WARNING] - Code: <name> - Address: ... - Message: "..."" on stderr.
void InternalWarning(TSivrelLogErrorCode code, const QString& message);
// For the exception in flight: "[<word>] <message>", or "General '<word>' error.".
void WarnFromException(TSivrelLogErrorCode code, const QString& word);
void ClearWarning();
// SendMode is not smNone, the report is no duplicate, and the send switch is on or ShowDialog off.
bool ShouldSend();

// The arguments and folder a restart uses (noted at the activation).
void SivrelNoteStartValues();
QStringList SivrelStartArguments();
QString SivrelStartDirectory();
// Starts the program again (Restart) with the noted arguments in the noted folder, in a process
// group of its own and without our descriptors above 2; then ends this process with exit code 1.
[[noreturn]] void RestartOrTerminate(bool restart);

} // namespace excreport

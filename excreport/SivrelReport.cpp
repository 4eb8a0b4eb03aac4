#include "excreport/SivrelReport.h"
#include "excreport/SivrelCapture.h"
#include "excreport/SivrelExcept.h"
#include "excreport/SivrelListeners.h"
#include "excreport/SivrelRaise.h"
#include "excreport/SivrelSupport.h"
#include "excreport/SivrelThreads.h"
#include <QDir>
#include <QFile>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace excreport {

std::atomic<uint64_t> SivrelReportProgress{0};
std::atomic<int> SivrelWindowsOpen{0};

namespace {

std::atomic<TSivrelReportOutputs*> g_outputs{nullptr};
// Noted by the activation, which may run before this file's dynamic initialisation.
QStringList& StartArguments()
{
    static QStringList& list = *new QStringList;
    return list;
}
QString& StartDirectory()
{
    static QString& folder = *new QString;
    return folder;
}

QString Hex16(uintptr_t value)
{
    return QStringLiteral("%1").arg(static_cast<qulonglong>(value), 16, 16, QLatin1Char('0')).toUpper();
}

// The message and raise address of the exception in flight.
void InFlight(QString* message, uintptr_t* address, bool* isException)
{
    const std::exception_ptr error = std::current_exception();
    *address = 0;
    if (const auto note = SivrelRaiseRecord(error))
        *address = SivrelRaiseAddress(*note);
    *isException = false;
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const ESivrelError& e) {
        *message = e.Message();
        *isException = true;
    } catch (const std::exception& e) {
        *message = QString::fromUtf8(e.what());
        *isException = true;
    } catch (...) {
    }
}

void WriteDebugOutput(const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

// A listener may have changed the report: the duplicate test runs again after it.
void AfterListener()
{
    if (TSivrelReportOutputs* out = SivrelReportOutputs(); out && SivrelPublishedRecord())
        SivrelReport().Duplicate = out->IsDuplicate();
}

void Notify(int action, bool& flag)
{
    if (HasActionNotify()) {
        RunInFaultingThread([&] { FireActionNotify(SivrelReport().Record, action, flag); });
        AfterListener();
    }
}

// An output step with its actions before and after: skipped when a listener clears Execute,
// repeated while a listener asks for a retry after a failure.
void RunAction(int before, int after, TSivrelLogErrorCode code, const QString& word, const std::function<void()>& step)
{
    TSivrelReportState& r = SivrelReport();
    r.Execute = true;
    ClearWarning();
    Notify(before, r.Execute);
    if (!r.Execute)
        return;
    for (;;) {
        try {
            step();
            r.Execute = true;
            Notify(after, r.Execute);
            return;
        } catch (...) {
            WarnFromException(code, word);
        }
        r.Retry = false;
        if (HasActionErrorNotify()) {
            RunInFaultingThread([&] { FireActionErrorNotify(r.Record, after, r.Retry); });
            AfterListener();
        }
        if (!r.Retry)
            return;
    }
}

} // namespace

QString SivrelLogErrorCodeName(TSivrelLogErrorCode code)
{
    static const char* const names[] = {"eeNone", "eeShowError", "eeLogError", "eeEmailMAPIError", "eeEmailShellError",
                                        "eeEmailSMTPError"};
    return code >= eeNone && code <= eeEmailSMTPError ? QString::fromLatin1(names[code]) : QString::number(code);
}

void SivrelSetReportOutputs(TSivrelReportOutputs* outputs)
{
    g_outputs.store(outputs);
}

TSivrelReportOutputs* SivrelReportOutputs()
{
    return g_outputs.load();
}

TSivrelReportState& SivrelReport()
{
    static TSivrelReportState& state = *new TSivrelReportState;
    return state;
}

TSivrelThreadsList& SivrelThreads()
{
    // Never freed: threads may end during the process's exit.
    static TSivrelThreadsList& list = *new TSivrelThreadsList;
    return list;
}

void InternalError(const QString& section)
{
    if (IsKindOfByName(std::current_exception(), QStringLiteral("EAbort")))
        return;
    QString message;
    uintptr_t address = 0;
    bool isException = false;
    InFlight(&message, &address, &isException);
    if (!isException)
        message = QStringLiteral("General internal error.");
    WriteDebugOutput(QStringLiteral("[ERROR] - Section: %1 - Address: %2 - Message: \"%3\"")
                         .arg(section, Hex16(address), message));
}

void InternalWarning(TSivrelLogErrorCode code, const QString& message)
{
    TSivrelReportState& r = SivrelReport();
    r.LastWarningCode = code;
    r.LastWarning = message;
    QString ignored;
    uintptr_t address = 0;
    bool isException = false;
    InFlight(&ignored, &address, &isException);
    WriteDebugOutput(QStringLiteral("[WARNING] - Code: %1 - Address: %2 - Message: \"%3\"")
                         .arg(SivrelLogErrorCodeName(code), Hex16(address ? address : r.ExceptionAddress), message));
}

void WarnFromException(TSivrelLogErrorCode code, const QString& word)
{
    QString message;
    uintptr_t address = 0;
    bool isException = false;
    InFlight(&message, &address, &isException);
    InternalWarning(code, isException ? QStringLiteral("[%1] %2").arg(word, message)
                                      : QStringLiteral("General '%1' error.").arg(word));
}

void ClearWarning()
{
    SivrelReport().LastWarningCode = eeNone;
    SivrelReport().LastWarning.clear();
}

bool ShouldSend()
{
    const TSivrelReportState& r = SivrelReport();
    return r.WorkingOptions.SendMode() != smNone && !r.Duplicate
           && (r.SendSwitch || !r.WorkingOptions.ShowDialog());
}

bool ReportException(std::exception_ptr object, uintptr_t address, const TExceptNotifyParams& params, uint8_t mode)
{
    (void)mode; // dialog and console alike for a desktop program; there is no web output
    TSivrelReportState& r = SivrelReport();
    TSivrelReportOutputs* out = SivrelReportOutputs();
    QString section;
    const auto enter = [&](const QString& step) {
        section = step;
        SivrelReportProgress.fetch_add(1, std::memory_order_relaxed);
    };
    enter(QStringLiteral("1"));
    bool result = false;
    // Whether the user saw or the log kept anything of this exception: a pipeline that fails
    // before that leaves the exception to the program's own handling.
    bool delivered = false;
    try {
        TSivrelModulesList* modules = SivrelModules();
        if (!modules)
            return true;
        if (address)
            r.LastReportedAddress = address;
        r.Exception = object;
        r.ExceptionAddress = address;
        r.Params = params;
        modules->DropChangedModules();

        enter(QStringLiteral("101"));
        TSivrelModuleRef module = address ? modules->ModuleOfAddress(address) : nullptr;
        enter(QStringLiteral("102"));
        if (!module || !module->DebugInfo.Present())
            module = modules->ModuleInfo(SivrelThisModule());
        enter(QStringLiteral("103"));
        if (!module || !module->DebugInfo.Present())
            module = modules->ModuleInfo(SivrelMainModule());
        if (!module)
            throw ESivrelError(QStringLiteral("No module entry for the report."));

        enter(QStringLiteral("104"));
        TSivrelModuleOptionsEx& options = r.WorkingOptions;
        options.Assign(module->Options.get());
        options.SetModuleName(module->FileName);
        r.SendSwitch = options.SendMode() != smNone;
        r.ScreenshotSwitch = options.AttachScreenshot();
        r.CopySwitch = false;
        r.Duplicate = false;

        enter(QStringLiteral("2"));
        if (options.UseCustomMessages()) {
            const QStringList& classes = options.CustomMessageClasses();
            for (int i = 0; i < classes.size(); ++i) {
                if (!IsKindOfByName(object, classes[i]))
                    continue;
                enter(QStringLiteral("201"));
                const QString message = options.CustomMessages().value(i);
                if (!message.isEmpty() && out)
                    out->ShowCustomMessage(options.GetText(0), message);
                r.Exception = nullptr;
                return false;
            }
        }

        enter(QStringLiteral("3"));
        const uintptr_t stackTop = params.StackTop ? params.StackTop : CurrentStackTop();
        const uintptr_t stackStart = params.StackStart;

        enter(QStringLiteral("4"));
        r.CallStack = modules->BuildCallStack(address, params.Frames, stackStart, stackTop);
        enter(QStringLiteral("5"));
        {
            TSivrelThreadsList& threads = SivrelThreads();
            std::lock_guard lock(threads.Mutex());
            enter(QStringLiteral("5010"));
            const int i = threads.IndexOfId(params.ThreadId);
            if (i >= 0 && !threads.Items(i).CreatorFrames.empty()) {
                enter(QStringLiteral("502"));
                const auto creator = modules->BuildCallStack(0, threads.Items(i).CreatorFrames, 0, 0);
                enter(QStringLiteral("504"));
                for (int j = 0; j < creator->Count(); ++j)
                    r.CallStack->Add(creator->Items(j));
            }
        }

        enter(QStringLiteral("6"));
        r.Handled = true;
        modules->RefreshModules();
        // Modules loaded since the activation get the raise and thread hooks now.
        SivrelRedirectNewModules();

        enter(QStringLiteral("7"));
        r.Record = TSivrelExceptionRecord();
        r.Record.CallStack = r.CallStack.get();
        r.Record.ModuleOptions = &options;
        enter(QStringLiteral("701"));
        r.Record.ExceptionAddress = address;
        r.Record.ExceptionObject = object;
        r.Record.ThreadId = static_cast<uint32_t>(params.ThreadId);
        enter(QStringLiteral("702"));
        r.Record.LogText = out ? out->BuildTexts() : QString();
        enter(QStringLiteral("703"));
        r.Record.ModulesList = modules;
        enter(QStringLiteral("704"));
        SivrelPublishRecord(&r.Record);
        r.Duplicate = out && out->IsDuplicate();
        enter(QStringLiteral("705"));
        ClearWarning();
        enter(QStringLiteral("706"));
        if (out)
            out->CaptureScreen();
        if (HasExceptionNotify()) {
            RunInFaultingThread([&] { FireExceptionNotify(r.Record, r.Handled); });
            AfterListener();
        }

        enter(QStringLiteral("8"));
        if (!r.Handled) {
            result = true;
        } else {
            enter(QStringLiteral("9"));
            ++r.ReportsThisRun;
            enter(QStringLiteral("10"));
            if (out)
                out->MessageText();

            // The log comes first: a report whose dialog is open is already kept, also when the
            // program is ended (or ends itself after a fatal signal) before the dialog closes.
            enter(QStringLiteral("15"));
            if (options.SaveLog() && out)
                RunAction(2, 3, eeLogError, QStringLiteral("Log"), [&] {
                    out->WriteLog();
                    delivered = true;
                });

            enter(QStringLiteral("11"));
            if (options.ShowDialog()) {
                enter(QStringLiteral("12"));
                r.Execute = true;
                ClearWarning();
                Notify(0, r.Execute);
                if (r.Execute && out) {
                    enter(QStringLiteral("13"));
                    const bool console = out->IsConsole();
                    for (;;) {
                        try {
                            if (console)
                                out->ShowConsoleReport();
                            else
                                out->ShowReportDialog();
                            r.Execute = true;
                            delivered = true;
                        } catch (...) {
                            r.Execute = false;
                            WarnFromException(eeShowError, console ? QStringLiteral("Console") : QStringLiteral("GUI"));
                        }
                        // A listener may veto the termination the user chose: the dialog comes back.
                        if (!r.TerminateRequested || console || !HasActionNotify())
                            break;
                        Notify(6, r.TerminateRequested);
                        if (r.TerminateRequested)
                            break;
                    }
                }
                enter(QStringLiteral("14"));
                Notify(1, r.Execute);
            }
            if (out) {
                out->ShowRequestDialog();
                if (ShouldSend())
                    out->SaveScreenshot();
                out->ReleaseScreen();
            }

            enter(QStringLiteral("15"));
            if (options.SaveLog()) {
                if (out) {
                    try {
                        out->CompleteLog();
                    } catch (...) {
                        WarnFromException(eeLogError, QStringLiteral("Log"));
                    }
                }
            } else if (out) {
                out->AppendRequestSection();
            }
            if (r.CopySwitch && out)
                out->CopyToClipboard();

            enter(QStringLiteral("16"));
            if (ShouldSend() && out) {
                const bool client = options.SendMode() == smMailClient;
                RunAction(4, 5, client ? eeEmailShellError : eeEmailSMTPError,
                          client ? QStringLiteral("Mail") : QStringLiteral("SMTP"), [&] { out->SendReport(); });
                out->DeleteScreenshot();
            }
        }

        enter(QStringLiteral("17"));
        r.CallStack.reset();
        enter(QStringLiteral("18"));
        if (r.TerminateRequested) {
            enter(QStringLiteral("19"));
            RestartOrTerminate(options.TerminateAction() == taRestart);
        }
    } catch (...) {
        InternalError(section);
        if (!delivered)
            result = true;
    }
    r.Exception = nullptr;
    return result;
}

void SivrelNoteStartValues()
{
    QFile f(QStringLiteral("/proc/self/cmdline"));
    StartArguments().clear();
    if (f.open(QIODevice::ReadOnly)) {
        QByteArray all = f.readAll();
        if (all.endsWith('\0'))
            all.chop(1);
        for (const QByteArray& a : all.split('\0'))
            StartArguments() << QFile::decodeName(a);
    }
    StartDirectory() = QDir::currentPath();
}

QStringList SivrelStartArguments()
{
    return StartArguments();
}

QString SivrelStartDirectory()
{
    return StartDirectory();
}

void RestartOrTerminate(bool restart)
{
    if (restart) {
        std::vector<QByteArray> args;
        for (const QString& a : StartArguments())
            args.push_back(QFile::encodeName(a));
        std::vector<char*> argv;
        for (QByteArray& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const QByteArray folder = QFile::encodeName(StartDirectory());
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (!folder.isEmpty())
            posix_spawn_file_actions_addchdir_np(&actions, folder.constData());
        posix_spawn_file_actions_addclosefrom_np(&actions, 3);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        pid_t child = 0;
        const int error = argv.size() > 1
                              ? posix_spawn(&child, "/proc/self/exe", &actions, &attributes, argv.data(), environ)
                              : ENOENT;
        if (error != 0)
            WriteDebugOutput(QStringLiteral("[ERROR] - Restart: the program could not be started again: %1")
                                 .arg(QString::fromLocal8Bit(std::strerror(error))));
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    std::fflush(nullptr);
    _exit(1);
}

} // namespace excreport
